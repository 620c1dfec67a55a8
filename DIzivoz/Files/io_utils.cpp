// Error table, path conventions, standard folders and resources.
#include "DIzivoz/Files/io_utils.h"

const err_msg_row kErrMsgs[] = {{0, nullptr}};
thread_local const char* sErrFile = "";
thread_local int sErrLine = -1;
const char* const io_utils_src = "DIzivoz/Files/io_utils";
int g_case_sensitive = 0;

std::string error_str(int code) { return code ? "Error code " + std::to_string(code) : ""; }
void set_path_to_right_dirchars(std::string&) {}
void set_path_to_full(std::string&) {}
void findPath(char*) {}
void get_OS_abs_path(os_dir_type, std::string&) {}
void MACIBM_set_app_path(std::string*, int) {}
void get_path_with_path(std::string& out, const std::string&) { out.clear(); }
std::string path_last_component(const std::string& p) { return p; }
void CFStringToSTL(const std::string& in, std::string& out, int) { out = in; }
void ConvertPathToCFM(std::string&) {}
int FilePathToFSRefAndName(const char*, fs_file_ref*, std::string*) { return -43; }
int FSRefToFilePath(const fs_file_ref*, std::string&) { return -1; }
std::string mac_roman_to_utf8(const std::string& in) { return in; }
bool is_valid_utf8_structure(const std::string&) { return true; }
int UTL_path_is_resource(std::string&) { return 0; }
std::string UTL_resource_get_file(const std::string&) { return ""; }
void UTL_set_resource_root(const std::string&) {}
int make_folder(const std::string&) { return 5; }
int show_make_dir_err(int) { return 1; }
int show_del_err(int) { return 0; }
int delete_file(const std::string&) { return 5; }
int rename_file(const std::string&, const std::string&, const std::string&) { return 5; }
int copy_file(const std::string&, const std::string&) { return 5; }
int copy_file_recursive(const std::string&, const std::string&) { return 5; }
int recursive_delete_folder(const std::string&) { return 5; }
int dir_exists(const std::string&) { return 0; }
int file_exists(const std::string&) { return 0; }
int64_t APL_file_size(const std::string&) { return -1; }
int make_file_executable(const std::string&) { return 5; }
int is_sim_link(const std::string&, std::string*) { return 0; }
int get_free_space(const std::string&, uint64_t*, uint64_t*) { return 5; }
int launch_app(const std::string&, const std::string&, int) { return 5; }
int eject_dvd(const std::string&) { return 5; }
int APL_is_dvd_disk(short) { return 0; }
int load_bundle_by_filename(const char*, int, APL_bundle_ref*) { return -43; }
int opensave_getitems(const std::string&, int, std::vector<std::string>& n, std::vector<int>& t)
{
	n.clear();
	t.clear();
	return 0;
}
int make_file_large_address_aware(const std::string&) { return 5; }
int ouf_open(std::string, int, int, std::string) { return 0; }
