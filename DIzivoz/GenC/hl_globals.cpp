// The globals unit: its objects are constructed in the order they are defined.
#include "DIzivoz/GenH/hl_globals.h"

std::string stl_global;
std::string app_path;
std::string dvd_path;
std::ofstream ouf;
log_stream xer;
int app_done = 0;
