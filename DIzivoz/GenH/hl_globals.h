#pragma once
// Program-wide objects that exist before main (defined in GenC/hl_globals.cpp).
#include <fstream>
#include <string>

#include "DIzivoz/UTL/UTL_log.h"

extern std::string stl_global;  // scratch text filled just before use
extern std::string app_path;    // folder of the application
extern std::string dvd_path;    // mount path of the installation disc
extern std::ofstream ouf;       // shared writer of files with the maker's header
extern log_stream xer;          // the log
extern int app_done;            // quit flag of the main loop
