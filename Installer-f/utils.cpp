#include "Installer-f/utils.h"

std::vector<file_history_struct> sim_info;
std::set<std::string> deleted_files;
std::string dest_dir_path;

const char* const ventora_web_site = "www.tarnwick.example";
const char* const ventora_download_page = "https://www.tarnwick.example/demo_download.html";

int read_directory(const std::string&, const std::string&) { return 2; }
int is_global_scenery_f(const char*) { return 0; }
int find_sector(int*, int*, std::string) { return 0; }
void new_installer(std::string) {}
void new_format(std::string) {}
void set_install_filter(int, int) {}
int want_this_f(int, int) { return 0; }
void scenery_take_all() {}
void scenery_from_install() {}
void trim_dest_folder(std::string&) {}
std::string suffix_for_file(int) { return ".zip"; }
int path_has_no_file(std::string) { return 0; }
int choose_files() { return 0; }
void recalc_disk_sizes() {}
int select_alert(std::string, int) { return 3; }
void select_alert_set_asker(select_alert_asker) {}
select_alert_question select_alert_make_question(const std::string&, int) { return {}; }
