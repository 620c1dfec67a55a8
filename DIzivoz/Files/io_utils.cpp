// Error table, path conventions, standard folders, platform path
// conversions and application resources.
#include "DIzivoz/Files/io_utils.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "DIzivoz/GenH/hl_globals.h"
#include "Platform/plat_files.h"

thread_local const char* sErrFile = "";
thread_local int sErrLine = -1;
const char* const io_utils_src = "DIzivoz/Files/io_utils";
int g_case_sensitive = 0;

// The errno rows are keyed by the constants, so the text follows the
// condition whatever number this system gives it.
const err_msg_row kErrMsgs[] = {
    {EAGAIN, "Resource temporarily unavailable"},
    {EDEADLK, "Resource deadlock avoided"},
    {ENAMETOOLONG, "File name too long"},
    {ENOSYS, "Function not implemented"},
    {ENOTEMPTY, "Directory not empty"},
    {EILSEQ, "Wide character encoding error"},
    {E2BIG, "Argument list too long"},
    {EACCES, "Permission denied. Perhaps you do not have access to a directory or file system"},
    {EBADF, "Bad file descriptor"},
    {EBUSY, "Device busy"},
    {ECHILD, "No child processes"},
    {EDOM, "Numerical argument out of domain"},
    {EEXIST, "File exists"},
    {EFAULT, "Bad address"},
    {EFBIG, "File too large"},
    {EINTR, "Interrupted system call"},
    {EINVAL, "Invalid argument"},
    {EIO, "Input/output error"},
    {EISDIR, "Is a directory"},
    {EMFILE, "Too many open files"},
    {EMLINK, "Too many links"},
    {ENFILE, "Too many open files in system"},
    {ENODEV, "Operation not supported by device"},
    {ENOENT, "No such file or directory"},
    {ENOEXEC, "Exec format error"},
    {ENOLCK, "No locks available"},
    {ENOMEM, "Out of memory"},
    {ENOSPC, "No space left on device. Perhaps your hard drive is full"},
    {ENOTDIR, "Not a directory"},
    {ENOTTY, "Inappropriate ioctl for device"},
    {ENXIO, "Device not configured"},
    {EPERM, "Operation not permitted. Perhaps you do not have access to a directory or file system"},
    {EPIPE, "Broken pipe"},
    {ERANGE, "Result too large"},
    {EROFS, "The destination file system is read-only"},
    {ESPIPE, "Illegal seek"},
    {ESRCH, "No such process"},
    {EXDEV, "Cross-device link"},
    {-43, "File not found"},
    {-50, "param err"},
    {-33, "Directory is full"},
    {-34, "The disk is full"},
    {-35, "no such volume"},
    {-36, "An internal I/O error occurred"},
    {-37, "bad name"},
    {-38, "file not open"},
    {-39, "end of file"},
    {-40, "position error"},
    {-41, "Memory is full"},
    {-42, "Too many files open"},
    {-44, "A disk is write protected"},
    {-45, "File locked"},
    {-46, "Hard disk is locked"},
    {-47, "A file is in use by another application"},
    {-48, "duplicate file name"},
    {-49, "File already open with write permissions by another application"},
    {-51, "refnum error"},
    {-52, "get file position error"},
    {-53, "A needed volume is offline"},
    {-54, "Permissions error - perhaps you do not have access to a directory"},
    {-56, "no such drive"},
    {-57, "Not a macintosh disk"},
    {-60, "bad master directory block"},
    {-61, "Write permissions error - perhaps you do not have enough access to a directory"},
    {-120, "directory not found"},
    {-108, "Out of memory (memory is full)"},
    {-5000, "You have insufficient privileges for this operation"},
    {err_zip_open, "We were unable to open a zip file. It may be missing or damaged"},
    {err_zip_read, "We were unable to read from a zip file. It may be missing or damaged"},
    {err_zip_create, "We were unable to create a zip file"},
    {err_zip_write, "We were unable to write to a zip file. It may be missing or damaged"},
    {err_zip_rsrc_too_big,
     "We cannot compress a zip file because its source file resource fork is more than 2 GB. The "
     "source file is probably damaged"},
    {err_file_open_read, "We could not open a file to read from it"},
    {err_net_reconnect, "We were unable to connct to the network due to an internal reconnect error"},
    {err_net_bad_state, "We wre unable to connect to the network due to a bad state error"},
    {err_net_alloc, "We could not allocate a connection to the network"},
    {err_net_write, "We could not write the incoming file from the web to disk"},
    {err_net_no_server, "We could not find the server over the network"},
    {err_zip_rsrc_header,
     "Part of the downloaded zip file is corrupted (the resource fork header is bad)"},
    {err_archive_escape, "An archive entry would be written outside its destination folder."},
    {err_signature_mismatch, "The downloaded file does not match its signature. It is damaged"},
    {err_archive_too_big, "The downloaded file is larger than the release lists. It is damaged"},
    {0, nullptr}};

std::string error_str(int code)
{
	if (code == 0) return std::string();
	for (const err_msg_row* r = kErrMsgs; r->text; ++r)
		if (r->code == code) return r->text;
	return "Error code " + std::to_string(code);
}

// ---- text encodings -------------------------------------------------------

namespace {
// Unicode code points of the Mac OS Roman bytes 0x80..0xFF.
const unsigned short kMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, 0x00AF,
    0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

void append_utf8(std::string& out, unsigned cp)
{
	if (cp < 0x80) {
		out += (char)cp;
	} else if (cp < 0x800) {
		out += (char)(0xC0 | (cp >> 6));
		out += (char)(0x80 | (cp & 0x3F));
	} else if (cp < 0x10000) {
		out += (char)(0xE0 | (cp >> 12));
		out += (char)(0x80 | ((cp >> 6) & 0x3F));
		out += (char)(0x80 | (cp & 0x3F));
	} else {
		out += (char)(0xF0 | (cp >> 18));
		out += (char)(0x80 | ((cp >> 12) & 0x3F));
		out += (char)(0x80 | ((cp >> 6) & 0x3F));
		out += (char)(0x80 | (cp & 0x3F));
	}
}

// Decodes one UTF-8 sequence at i; false when malformed.
bool next_code_point(const std::string& s, size_t& i, unsigned& cp)
{
	const unsigned char c = (unsigned char)s[i];
	int more;
	if (c < 0x80) { cp = c; more = 0; }
	else if (c >= 0xC0 && c <= 0xDF) { cp = c & 0x1F; more = 1; }
	else if (c >= 0xE0 && c <= 0xEF) { cp = c & 0x0F; more = 2; }
	else if (c >= 0xF0 && c <= 0xF7) { cp = c & 0x07; more = 3; }
	else return false;
	if (more && i + more >= s.size()) return false;  // cut by the end
	for (int k = 1; k <= more; ++k) {
		const unsigned char cc = (unsigned char)s[i + k];
		if (cc < 0x80 || cc > 0xBF) return false;
		cp = (cp << 6) | (cc & 0x3F);
	}
	i += more + 1;
	return true;
}

int unicode_to_mac_roman(unsigned cp)
{
	if (cp < 0x80) return (int)cp;
	for (int k = 0; k < 128; ++k)
		if (kMacRoman[k] == cp) return 0x80 + k;
	return -1;
}
}  // namespace

bool is_valid_utf8_structure(const std::string& s)
{
	size_t i = 0;
	unsigned cp;
	while (i < s.size())
		if (!next_code_point(s, i, cp)) return false;
	return true;
}

std::string mac_roman_to_utf8(const std::string& in)
{
	std::string out;
	out.reserve(in.size() * 2);
	for (unsigned char c : in) append_utf8(out, c < 0x80 ? c : kMacRoman[c - 0x80]);
	return out;
}

void CFStringToSTL(const std::string& in, std::string& out, int encoding)
{
	out.clear();
	size_t i = 0;
	unsigned cp;
	while (i < in.size()) {
		const size_t start = i;
		if (!next_code_point(in, i, cp)) return;
		if (encoding == enc_mac_roman) {
			const int b = unicode_to_mac_roman(cp);
			if (b < 0) return;
			out += (char)b;
		} else {
			out.append(in, start, i - start);
		}
	}
}

// ---- paths ----------------------------------------------------------------

void set_path_to_right_dirchars(std::string& path)
{
	if (!is_valid_utf8_structure(path)) path = mac_roman_to_utf8(path);
	// ':' is an ordinary file-name character here and stays.
	for (char& c : path)
		if (c == '\\') c = '/';
}

void set_path_to_full(std::string& path)
{
	path = app_path + path;
	if (g_case_sensitive && !path.empty()) {
		// The repair keeps the length, so a buffer of the path's own size serves.
		std::vector<char> buf(path.begin(), path.end());
		buf.push_back(0);
		findPath(buf.data());
		path = buf.data();
	}
}

void findPath(char* path)
{
	struct stat st;
	if (!path || !*path || stat(path, &st) == 0) return;
	const size_t n = std::strlen(path);
	size_t start = (path[0] == '/') ? 1 : 0;
	while (start < n) {
		size_t stop = start;
		while (stop < n && path[stop] != '/') ++stop;
		std::string folder;
		if (start == 0) folder = ".";
		else if (start == 1 && path[0] == '/') folder = "/";
		else folder.assign(path, start - 1);
		DIR* d = opendir(folder.c_str());
		if (!d) return;
		const size_t len = stop - start;
		bool found = false;
		while (dirent* e = readdir(d)) {
			if (std::strlen(e->d_name) == len && strncasecmp(e->d_name, path + start, len) == 0) {
				std::memcpy(path + start, e->d_name, len);
				found = true;
				break;
			}
		}
		closedir(d);
		if (!found || stop >= n) return;
		start = stop + 1;
	}
}

std::string path_last_component(const std::string& path)
{
	const size_t n = path.size();
	if (n == 0) return std::string();
	size_t from = n - 1;
	if (n - 1 > 1 && path[n - 1] == '/') from = n - 2;
	const size_t slash = path.rfind('/', from);
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

void get_path_with_path(std::string& out, const std::string& path)
{
	out = path.substr(0, path.size() - path_last_component(path).size());
}

void MACIBM_set_app_path(std::string* out, int flag)
{
	std::string exe;
	if (!out || APL_executable_path(exe) != 0) return;
	std::string folder;
	get_path_with_path(folder, exe);  // ends in '/'
	set_path_to_right_dirchars(folder);
	if (flag == 1 && folder.size() > 1) folder.pop_back();
	*out = folder;
}

void get_OS_abs_path(os_dir_type which, std::string& out)
{
	if (which == os_dir_this_app) return MACIBM_set_app_path(&out, 0);
	if (which == os_dir_this_bundle) return MACIBM_set_app_path(&out, 1);
	std::string found;
	int err;
	switch (which) {
	case os_dir_desktop:
	case os_dir_default_apps: err = APL_desktop_folder(found); break;
	case os_dir_temp: err = APL_temp_folder(found); break;
	case os_dir_prefs: err = APL_prefs_folder(found); break;
	default: return MACIBM_set_app_path(&out, 0);
	}
	if (err != 0 || found.empty()) return;
	if (found.back() != '/') found += '/';
	set_path_to_right_dirchars(found);
	out = found;
}

void ConvertPathToCFM(std::string& path)
{
	std::string roman;
	CFStringToSTL(path, roman, enc_mac_roman);
	// A character with no Mac OS Roman form: keep the path as it was, but a
	// folder still ends in ':'.
	if (mac_roman_to_utf8(roman) != path) {
		if (!path.empty() && path.back() == '/') path.back() = ':';
		return;
	}
	std::string out;
	size_t i = 0;
	if (!roman.empty() && roman[0] == '/') i = 1;  // the volume comes first
	else out += ':';                              // relative form
	for (; i < roman.size(); ++i) out += roman[i] == '/' ? ':' : roman[i];
	path = out;
}

int FilePathToFSRefAndName(const char* path, fs_file_ref* ref, std::string* name)
{
	if (!path) return -50;
	std::string target = path;
	if (name) {
		*name = path_last_component(target);
		target.resize(target.size() - name->size());
		if (target.size() > 1 && target.back() == '/') target.pop_back();
		if (target.empty()) target = ".";
	}
	char buf[PATH_MAX];
	if (!realpath(target.c_str(), buf)) return -43;
	if (ref) ref->path = buf;
	return 0;
}

int FSRefToFilePath(const fs_file_ref* ref, std::string& out)
{
	if (!ref || ref->path.empty() || ref->path.size() > 2046) return -1;
	std::string p = ref->path;
	while (p.size() > 1 && p.back() == '/') p.pop_back();
	out = p;
	return 0;
}

// ---- resources ------------------------------------------------------------

namespace {
std::mutex res_lock;
std::string res_root;  // empty: <application folder>/Resources/
}

void UTL_set_resource_root(const std::string& folder)
{
	std::lock_guard<std::mutex> g(res_lock);
	res_root = folder;
	if (!res_root.empty() && res_root.back() != '/') res_root += '/';
}

int UTL_path_is_resource(std::string& path)
{
	static const char prefix[] = "RESOURCE:";
	if (path.size() >= 9 && path.compare(0, 9, prefix) == 0) {
		path.erase(0, 9);
		return 1;
	}
	return 0;
}

std::string UTL_resource_get_file(const std::string& name)
{
	if (name.empty() || name[0] == '/' || !is_valid_utf8_structure(name)) return std::string();
	// A resource name never climbs out of the resources folder.
	size_t s = 0;
	while (s <= name.size()) {
		size_t e = name.find('/', s);
		if (e == std::string::npos) e = name.size();
		if (name.compare(s, e - s, "..") == 0 && e - s == 2) return std::string();
		s = e + 1;
	}
	std::string root;
	{
		std::lock_guard<std::mutex> g(res_lock);
		root = res_root;
	}
	if (root.empty()) {
		MACIBM_set_app_path(&root, 0);
		if (root.empty()) return std::string();
		root += "Resources/";
	}
	const std::string full = root + name;
	struct stat st;
	if (stat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::string();
	return full;
}
