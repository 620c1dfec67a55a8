#pragma once
// What a unit saw of the shared constants while it was being initialised,
// before main and before the program-wide objects were built.
#include <string>

struct found_early_view {
	std::string build_name0, build_name2, no_install_name, acf_path_def;
	float degtorad, radtodeg;
};

const found_early_view& found_seen_during_static_init();
