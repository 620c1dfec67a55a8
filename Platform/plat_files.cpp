#include "Platform/plat_files.h"

int APL_executable_path(std::string&) { return 2; }
int APL_desktop_folder(std::string&) { return 2; }
int APL_temp_folder(std::string&) { return 2; }
int APL_prefs_folder(std::string&) { return 2; }
std::string APL_launch_target(const std::string&) { return ""; }
int APL_spawn(const std::string&, const std::vector<std::string>&, int*) { return 2; }
int APL_volume_root(int, std::string&) { return -35; }
int APL_volume_info(int, std::string&, std::string&, std::string&) { return -35; }
int APL_volume_of_path(const std::string&) { return 0; }
int APL_eject_volume_of(const std::string&) { return -35; }
int APL_free_space(const std::string&, uint64_t*, uint64_t*) { return 2; }
