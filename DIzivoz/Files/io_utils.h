#pragma once
// Files layer: error codes and their texts, path conventions, standard
// folders, application resources, file and folder operations, and the
// writer of the maker's file header.
#include <cstdint>
#include <string>
#include <vector>

// ---- error codes ---------------------------------------------------------
// 0 is success; positive codes are errno values, negative ones the old
// file-system codes, 20001.. the program's own.
const int err_zip_open = 20001;
const int err_zip_read = 20002;
const int err_zip_create = 20003;
const int err_zip_write = 20004;
const int err_zip_rsrc_too_big = 20005;
const int err_file_open_read = 20006;
const int err_net_reconnect = 20007;
const int err_net_bad_state = 20008;
const int err_net_alloc = 20009;
const int err_net_write = 20010;
const int err_net_no_server = 20011;
const int err_zip_rsrc_header = 20012;
const int err_not_mz = 20013;
const int err_not_pe = 20014;
const int err_archive_escape = 20015;
const int err_signature_mismatch = 20021;  // an installed file differs from its listed signature
const int err_archive_too_big = 20022;     // an archive holds more than its file's listed size

struct err_msg_row {
	int code;
	const char* text;
};
extern const err_msg_row kErrMsgs[];  // ends with {0, nullptr}

std::string error_str(int code);

// Where the last failing file step was raised (per thread; read by the
// archive code for its log lines). Never cleared.
extern thread_local const char* sErrFile;
extern thread_local int sErrLine;
// Source name every file-layer step records.
extern const char* const io_utils_src;

// ---- paths ---------------------------------------------------------------
enum os_dir_type {
	os_dir_this_app = 0,
	os_dir_this_bundle = 1,
	os_dir_desktop = 2,
	os_dir_default_apps = 3,
	os_dir_temp = 4,
	os_dir_prefs = 5
};

extern int g_case_sensitive;  // 0: paths are used with the case given

void set_path_to_right_dirchars(std::string& path);
void set_path_to_full(std::string& path);
void findPath(char* path);
void get_OS_abs_path(os_dir_type which, std::string& out);
void MACIBM_set_app_path(std::string* out, int flag);
void get_path_with_path(std::string& out, const std::string& path);
// The last component of a path, one trailing '/' included.
std::string path_last_component(const std::string& path);

// Text encodings of the conversions below.
enum { enc_utf8 = 0x08000100, enc_mac_roman = 0 };
// Text of `in` (UTF-8) in the given encoding; ends before the first
// character the encoding cannot hold.
void CFStringToSTL(const std::string& in, std::string& out, int encoding);
// '/' path to the old ':'-separated form in Mac OS Roman.
void ConvertPathToCFM(std::string& path);
// A file reference is a plain absolute path here.
struct fs_file_ref {
	std::string path;
};
int FilePathToFSRefAndName(const char* path, fs_file_ref* ref, std::string* name);
int FSRefToFilePath(const fs_file_ref* ref, std::string& out);

// Mac OS Roman <-> UTF-8 for whole strings.
std::string mac_roman_to_utf8(const std::string& in);
bool is_valid_utf8_structure(const std::string& in);

// ---- resources -----------------------------------------------------------
int UTL_path_is_resource(std::string& path);
std::string UTL_resource_get_file(const std::string& name);
// Test seam: resources are looked up in this folder instead of
// <application folder>/Resources/. An empty string restores the default.
void UTL_set_resource_root(const std::string& folder);

// ---- file and folder operations -------------------------------------------
enum {
	ftype_any = 0,
	ftype_folder = 1,
	ftype_image = 2,
	ftype_acf = 3,
	ftype_afl = 4,
	ftype_wpn = 5,
	ftype_wav = 6,
	ftype_obj = 7,
	ftype_fdr = 8,
	ftype_sit = 9,
	ftype_smo = 10,
	ftype_fms = 11,
	ftype_folders_and_images = 12,
	ftype_tra = 13,
	ftype_car = 14,
	ftype_spa = 15,
	ftype_reg = 16,
	ftype_dsf = 17,
	ftype_hgt = 18,
	ftype_txt = 19,
	ftype_nothing = 20,
	ftype_commands = 21
};

int make_folder(const std::string& path);
int show_make_dir_err(int code);
int show_del_err(int code);
int delete_file(const std::string& path);
int rename_file(const std::string& folder, const std::string& old_name, const std::string& new_name);
int copy_file(const std::string& src, const std::string& dst);
int copy_file_recursive(const std::string& src, const std::string& dst);
int recursive_delete_folder(const std::string& folder);
int dir_exists(const std::string& path);
int file_exists(const std::string& path);
int64_t APL_file_size(const std::string& path);  // -1: missing or a folder
int make_file_executable(const std::string& path);
int is_sim_link(const std::string& path, std::string* target);
int get_free_space(const std::string& path, uint64_t* total, uint64_t* free_bytes);
// Starts another program with "-path arg" (none when arg is empty): 0 once it
// runs, else the error that kept it from starting. This program goes on;
// ending it is the caller's (MACIBM_launch_in_place).
int launch_app(const std::string& app, const std::string& arg);
// The executable launch_app runs for app: the platform's choice, else for a
// bundle name "X.app" the executable "X" it should have been.
std::string launch_path(const std::string& app);
int eject_dvd(const std::string& path);
int APL_is_dvd_disk(short volume);
// A loaded code library (null when none).
typedef void* APL_bundle_ref;
int load_bundle_by_filename(const char* name, int alert, APL_bundle_ref* out);
int opensave_getitems(const std::string& folder, int filter, std::vector<std::string>& names,
                      std::vector<int>& types);
int make_file_large_address_aware(const std::string& path);

// ---- the maker's header writer ---------------------------------------------
enum { file_type_binary = 10000, file_type_text = 10001 };
int ouf_open(std::string path, int type, int version, std::string copyright);
