// File and folder operations, folder listings, launching, discs and the
// writer of the maker's file header.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "Platform/plat_files.h"

// The shell's orderly shutdown, when the shell is linked in.

namespace {

int fail_at(int line, int code)
{
	sErrFile = io_utils_src;
	sErrLine = line;
	return code;
}

void strip_one_slash(std::string& p)
{
	if (p.size() > 1 && p.back() == '/') p.pop_back();
}

bool ends_with_ci(const std::string& s, const char* tail)
{
	const size_t n = std::strlen(tail);
	return s.size() >= n && strncasecmp(s.c_str() + s.size() - n, tail, n) == 0;
}

}  // namespace

int make_folder(const std::string& path_in)
{
	std::string path = path_in;
	strip_one_slash(path);
	set_path_to_full(path);
	if (mkdir(path.c_str(), 0755) != 0) return fail_at(462, errno);
	return 0;
}

int show_make_dir_err(int code) { return (code == 0 || code == EEXIST || code == -48) ? 0 : 1; }

int show_del_err(int) { return 0; }

int delete_file(const std::string& path_in)
{
	if (path_in.empty()) return ENOENT;
	std::string path = path_in;
	set_path_to_full(path);
	if (path.back() == '/') {
		if (rmdir(path.c_str()) != 0) return fail_at(209, errno);
		return 0;
	}
	if (unlink(path.c_str()) != 0) return fail_at(214, errno);
	return 0;
}

int rename_file(const std::string& folder, const std::string& old_name, const std::string& new_name)
{
	std::string from = folder + old_name, to = folder + new_name;
	set_path_to_full(from);
	set_path_to_full(to);
	if (rename(from.c_str(), to.c_str()) != 0) return fail_at(438, errno);
	return 0;
}

int copy_file(const std::string& src_in, const std::string& dst_in)
{
	std::string src = src_in, dst = dst_in;
	set_path_to_full(src);
	set_path_to_full(dst);
	const int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
	if (in < 0) return ENOENT;
	struct stat sst, dst_st;
	const bool have_src_stat = fstat(in, &sst) == 0;
	// Copying a file onto itself would truncate it before it is read.
	if (have_src_stat && stat(dst.c_str(), &dst_st) == 0 && dst_st.st_dev == sst.st_dev &&
	    dst_st.st_ino == sst.st_ino) {
		close(in);
		return EINVAL;
	}
	const int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
	if (out < 0) {
		close(in);
		return ENOENT;
	}
	std::vector<char> buf(65536);
	int result = 0;
	for (;;) {
		const ssize_t got = read(in, buf.data(), buf.size());
		if (got < 0) {
			if (errno == EINTR) continue;
			result = errno;
			break;
		}
		if (got == 0) break;
		ssize_t done = 0;
		while (done < got) {
			const ssize_t w = write(out, buf.data() + done, (size_t)(got - done));
			if (w < 0 && errno == EINTR) continue;
			if (w <= 0) {
				result = w < 0 ? errno : ENOSPC;
				break;
			}
			done += w;
		}
		if (result) break;
	}
	close(in);
	if (close(out) != 0 && result == 0) result = errno;
	if (have_src_stat) chmod(dst.c_str(), sst.st_mode & 0777);
	return result;
}

namespace {

typedef std::vector<std::pair<dev_t, ino_t>> folder_chain;

int copy_tree(const std::string& src, const std::string& dst, folder_chain& chain)
{
	if (!dir_exists(src)) return copy_file(src, dst);
	std::string full = src;
	set_path_to_full(full);
	struct stat st;
	if (stat(full.c_str(), &st) != 0) return copy_file(src, dst);
	for (const auto& f : chain)
		if (f.first == st.st_dev && f.second == st.st_ino) {
			xer << "Not copying " << src << ": it leads back into a folder being copied.\n";
			return 0;
		}
	make_folder(dst + "/");
	std::vector<std::string> names;
	std::vector<int> types;
	opensave_getitems(src + "/", 0, names, types);
	const size_t depth = chain.size();
	chain.emplace_back(st.st_dev, st.st_ino);
	// The destination counts too: a tree copied into itself is copied once.
	std::string full_dst = dst;
	set_path_to_full(full_dst);
	struct stat dst_st;
	if (stat(full_dst.c_str(), &dst_st) == 0) chain.emplace_back(dst_st.st_dev, dst_st.st_ino);
	int result = 0;
	for (const std::string& n : names) {
		result = copy_tree(src + "/" + n, dst + "/" + n, chain);
		if (result) break;
	}
	chain.resize(depth);
	return result;
}

}  // namespace

int copy_file_recursive(const std::string& src, const std::string& dst)
{
	folder_chain chain;
	return copy_tree(src, dst, chain);
}

int recursive_delete_folder(const std::string& folder)
{
	std::vector<std::string> names;
	std::vector<int> types;
	opensave_getitems(folder, 0, names, types);
	for (const std::string& n : names) {
		// Ask the file system, not the listing: a folder may have a file-like
		// name, and a link to a folder is removed as a link.
		std::string full = folder + n;
		set_path_to_full(full);
		struct stat st;
		const bool real_folder = lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
		const int err = real_folder ? recursive_delete_folder(folder + n + "/") : delete_file(folder + n);
		if (err) return err;
	}
	return delete_file(folder);
}

int dir_exists(const std::string& path_in)
{
	std::string path = path_in;
	strip_one_slash(path);
	set_path_to_full(path);
	struct stat st;
	return (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? 1 : 0;
}

int file_exists(const std::string& path_in)
{
	std::string path = path_in;
	set_path_to_full(path);
	struct stat st;
	return (!path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ? 1 : 0;
}

int64_t APL_file_size(const std::string& path_in)
{
	std::string path = path_in;
	set_path_to_full(path);
	struct stat st;
	if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
	return (int64_t)st.st_size;
}

int make_file_executable(const std::string& path_in)
{
	std::string path = path_in;
	set_path_to_full(path);
	return chmod(path.c_str(), 0755) == 0 ? 0 : errno;
}

int is_sim_link(const std::string& path_in, std::string* target)
{
	std::string path = path_in;
	set_path_to_full(path);
	struct stat st;
	if (path.empty() || lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
	if (target) {
		char buf[500];
		const ssize_t n = readlink(path.c_str(), buf, 499);
		target->assign(buf, n > 0 ? (size_t)n : 0);
	}
	return 1;
}

int get_free_space(const std::string& path_in, uint64_t* total, uint64_t* free_bytes)
{
	std::string path = path_in, folder;
	set_path_to_full(path);
	get_path_with_path(folder, path);
	if (folder.empty()) folder = ".";
	uint64_t t = 0, f = 0;
	if (int err = APL_free_space(folder, &t, &f)) return err;
	if (total) *total = t;
	if (free_bytes) *free_bytes = f;
	return 0;
}

std::string launch_path(const std::string& app)
{
	std::string path = app;
	strip_one_slash(path);
	set_path_to_full(path);
	const std::string exe = APL_launch_target(path);
	if (!exe.empty() && exe.size() <= 499) return exe;
	// No executable found: name the one a Linux copy has, not a bundle that
	// does not exist here.
	struct stat st;
	const size_t n = path.size();
	if (n > 4 && path.compare(n - 4, 4, ".app") == 0 && stat(path.c_str(), &st) != 0) return path.substr(0, n - 4);
	return path;
}

int launch_app(const std::string& app, const std::string& arg)
{
	const std::string path = launch_path(app);
	xer << "Launching: " << path << " with " << arg << "\n";
	std::vector<std::string> argv{path};
	if (!arg.empty()) {
		argv.push_back("-path");
		argv.push_back(arg);
	}
	// Learn whether the exec worked before anything is shut down, so a
	// failed launch leaves this program running.
	if (int err = APL_spawn(path, argv, nullptr)) {
		xer << "Launch failed: " << error_str(err) << " (" << err << ")\n";
		xer.flush();
		return err;
	}
	xer.flush();
	return 0;
}

int eject_dvd(const std::string& path_in)
{
	std::string path = path_in;
	set_path_to_full(path);
	return APL_eject_volume_of(path);
}

int APL_is_dvd_disk(short volume)
{
	std::string root, device, type;
	if (APL_volume_info(volume, root, device, type) != 0) return 0;
	if (type == "iso9660" || type == "udf") return 1;
	return (device.compare(0, 7, "/dev/sr") == 0 || device.compare(0, 8, "/dev/scd") == 0 ||
	        device.compare(0, 10, "/dev/cdrom") == 0)
	           ? 1
	           : 0;
}

int load_bundle_by_filename(const char* name, int alert, APL_bundle_ref* out)
{
	auto fail = [&](int code, const char* text, int line) {
		if (alert) __MACIBM_alert(0, text, "", "", name ? name : "", alert_fatal, io_utils_src, line);
		return code;
	};
	if (!name || !*name) return fail(-50, "Could not make strsing.", 1718);
	// A framework "X.framework" is the shared library libX.
	std::string base = name;
	if (ends_with_ci(base, ".framework")) base.resize(base.size() - 10);
	if (base.empty() || base.find('/') != std::string::npos)
		return fail(-43, "Could not find bundle in frameworks folder", 1737);
	void* handle = nullptr;
	for (const char* suffix : {".so.1", ".so.0", ".so"}) {
		handle = dlopen(("lib" + base + suffix).c_str(), RTLD_NOW | RTLD_GLOBAL);
		if (handle) break;
	}
	if (!handle) return fail(-37, "Could not load code for framework", 1748);
	if (out) *out = handle;
	else dlclose(handle);
	return 0;
}

int opensave_getitems(const std::string& folder_in, int filter, std::vector<std::string>& names,
                      std::vector<int>& types)
{
	names.clear();
	types.clear();
	if (filter == ftype_nothing) return 0;
	if (filter == ftype_commands) {
		cmnd.get_cmds_in_path(folder_in, names);
		std::sort(names.begin(), names.end());
		types.assign(names.size(), ftype_commands);
		for (size_t i = 0; i < names.size(); ++i)
			if (!names[i].empty() && names[i].back() == '/') {
				names[i].pop_back();
				types[i] = ftype_folder;
			}
		return (int)names.size();
	}
	std::string folder = folder_in;
	set_path_to_full(folder);
	if (folder.size() > 1 && folder.back() != '/') {
		__MACIBM_alert(0, "Working path does not appear to be a directory!",
		               "This is not consistent with my labelling practices!",
		               "I need to end all paths with the directory indicator!", folder_in,
		               alert_fatal, io_utils_src, 686);
		return 0;
	}
	DIR* d = opendir(folder.empty() ? "." : folder.c_str());
	if (!d) return 0;
	static const std::pair<const char*, int> ext_types[] = {
	    {".AFL", ftype_afl}, {".WPN", ftype_wpn}, {".ACF", ftype_acf}, {".OBJ", ftype_obj},
	    {".SIT", ftype_sit}, {".SMO", ftype_smo}, {".TXT", ftype_txt}, {".FMS", ftype_fms},
	    {".TRA", ftype_tra}, {".CAR", ftype_car}, {".SPA", ftype_spa}, {".REG", ftype_reg},
	    {".WAV", ftype_wav}, {".BMP", ftype_image}, {".PNG", ftype_image}, {".FDR", ftype_fdr},
	    {".DSF", ftype_dsf}, {".HGT", ftype_hgt}};
	std::vector<std::pair<std::string, int>> kept;
	while (dirent* e = readdir(d)) {
		const std::string name = e->d_name;
		int type;
		if (e->d_type == DT_DIR) {
			type = ftype_folder;
		} else if (e->d_type == DT_UNKNOWN) {
			struct stat st;
			type = (lstat((folder + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? ftype_folder : 0;
		} else {
			type = 0;
		}
		if (type == ftype_folder && is_sim_link(folder_in + name, nullptr)) type = 0;
		if (name.size() >= 4)
			for (const auto& et : ext_types)
				if (ends_with_ci(name, et.first)) {
					type = et.second;
					break;
				}
		if (filter == ftype_folders_and_images) {
			const std::string whole = folder_in + name;
			static const char panels[] = "Resources/bitmaps/cockpit/-panels-/";
			if (whole.size() >= 32 && strncasecmp(whole.c_str(), panels, 32) == 0) continue;
			if (whole.size() >= 6) {
				const char* tail = whole.c_str() + whole.size() - 6;
				if (strncasecmp(tail, "-1.", 3) == 0 || strncasecmp(tail, "-2.", 3) == 0 ||
				    strncasecmp(tail, "-3.", 3) == 0 || strncasecmp(tail, "-4.", 3) == 0)
					continue;
			}
		}
		if (name.empty() || name[0] == '.') continue;
		if (type == ftype_folder || type == filter || filter == 0 ||
		    (filter == ftype_folders_and_images && type == ftype_image))
			kept.emplace_back(name, type);
	}
	closedir(d);
	auto lower = [](std::string s) {
		for (char& c : s) c = (char)std::tolower((unsigned char)c);
		return s;
	};
	std::stable_sort(kept.begin(), kept.end(),
	                 [&](const auto& a, const auto& b) { return lower(a.first) < lower(b.first); });
	for (const auto& k : kept) {
		names.push_back(k.first);
		types.push_back(k.second);
	}
	return (int)names.size();
}

int make_file_large_address_aware(const std::string& path_in)
{
	std::string path = path_in;
	set_path_to_full(path);
	const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
	if (fd < 0) return errno;
	auto done = [fd](int code) {
		close(fd);
		return code;
	};
	unsigned char dos[64];
	if (read(fd, dos, sizeof(dos)) != (ssize_t)sizeof(dos)) return done(EIO);
	if (dos[0] != 0x4D || dos[1] != 0x5A) return done(err_not_mz);
	const uint32_t pe_at = dos[60] | (dos[61] << 8) | (dos[62] << 16) | ((uint32_t)dos[63] << 24);
	if (lseek(fd, (off_t)pe_at, SEEK_SET) < 0) return done(errno);
	unsigned char pe[24];
	if (read(fd, pe, sizeof(pe)) != (ssize_t)sizeof(pe)) return done(EIO);
	if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return done(err_not_pe);
	pe[22] |= 0x20;  // large address aware
	if (lseek(fd, (off_t)pe_at, SEEK_SET) < 0) return done(errno);
	if (write(fd, pe, sizeof(pe)) != (ssize_t)sizeof(pe)) return done(EIO);
	return close(fd) == 0 ? 0 : errno;
}

int ouf_open(std::string path, int type, int version, std::string copyright)
{
	if (type != file_type_binary && type != file_type_text) {
		__MACIBM_alert(0, "Bad ouf_open type!", path, "", "", alert_fatal, io_utils_src, 792);
		return 0;
	}
	set_path_to_full(path);
	if (path.size() > 3)
		for (size_t i = path.size() - 3; i < path.size(); ++i)
			if (path[i] >= 'A' && path[i] <= 'Z') path[i] = (char)(path[i] - 'A' + 'a');
	for (int attempt = 0; attempt < 2; ++attempt) {
		ouf.clear();
		if (ouf.is_open()) ouf.close();
		ouf.clear();
		ouf.open(path, type == file_type_binary ? std::ios::out | std::ios::trunc | std::ios::binary
		                                        : std::ios::out | std::ios::trunc);
		if (ouf.is_open()) {
			if (type == file_type_binary) {
				const char hdr[5] = {'i', (char)(version & 0xFF), (char)((version >> 8) & 0xFF),
				                     (char)((version >> 16) & 0xFF), (char)((version >> 24) & 0xFF)};
				ouf.write(hdr, 5);
			} else {
				ouf << std::fixed << "I\n" << version << " version";
				if (copyright != "no-copyright-string") ouf << copyright;
				ouf << "\n";
			}
			if (ouf.good()) return 1;
		}
		if (attempt == 0) {
			std::string parent, trimmed = path;
			strip_one_slash(trimmed);
			get_path_with_path(parent, trimmed);
			if (!parent.empty()) {
				// make_folder would prefix app_path a second time.
				std::string p = parent;
				if (p.size() > 1 && p.back() == '/') p.pop_back();
				if (mkdir(p.c_str(), 0755) != 0) fail_at(462, errno);
			}
		}
	}
	__MACIBM_alert(0,
	               "I could not save the file! Could the directory that the file sits in be missing? "
	               "Or flagged as READ-ONLY by the operating system? (Windows machines typically do "
	               "this).",
	               path,
	               "Could the file be flagged as read-only? This happens in Windows if you copy it "
	               "from a CD!",
	               "Try putting this app in the background and then flag the file as NOT read-only, "
	               "or creating the folder listed in the path above.",
	               alert_warning, io_utils_src, 844);
	return 0;
}
