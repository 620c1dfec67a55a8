// Entry point of the installer.
#include <cstdio>
#include <string>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/pref.h"
#include "DIzivoz/UTL/UTL_cmdline.h"

int main(int argc, char** argv)
{
	// The informational options end the program here, before any window.
	cmdline.init_unix(argc, const_cast<const char**>(argv));

	stg_set_start_values();
	pref.IO_set(11, 0);

	// The simulator starts the updater with "-path <folder of the copy>".
	std::string update_path;
	if (argc > 2 && std::string(argv[1]) == "-path") update_path = argv[2];

	std::fprintf(stderr, "Ventora installer: the window and the wizard are not available in this build.\n");
	app_done = 1;

	// What shutdown does with its save flag set.
	if (!cmdline.has_option("--fps_test")) pref.IO_set(11, 1);
	return 0;
}
