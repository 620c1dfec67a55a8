// Entry point of the installer.
#include "DIzivoz/GenH/hl_globals.h"

int main(int argc, char** argv)
{
	(void)argc;
	(void)argv;
	return 0;
}
