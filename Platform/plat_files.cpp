// Linux services behind the files layer.
#include "Platform/plat_files.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <mutex>

namespace {

std::string env(const char* name)
{
	const char* v = getenv(name);
	return v ? std::string(v) : std::string();
}

std::string home_folder()
{
	std::string h = env("HOME");
	if (h.empty()) {
		if (passwd* pw = getpwuid(getuid()))
			if (pw->pw_dir) h = pw->pw_dir;
	}
	return h;
}

void strip_slashes(std::string& p)
{
	while (p.size() > 1 && p.back() == '/') p.pop_back();
}

// mkdir -p; 0 or errno.
int make_folders(const std::string& path, mode_t mode)
{
	std::string part;
	size_t i = 0;
	while (i <= path.size()) {
		size_t e = path.find('/', i);
		if (e == std::string::npos) e = path.size();
		part = path.substr(0, e);
		if (!part.empty() && mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return errno;
		i = e + 1;
	}
	struct stat st;
	if (stat(path.c_str(), &st) != 0) return errno;
	return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// A folder only this user can use: a real folder, ours, no access for others.
bool private_folder_ok(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
	       (st.st_mode & 077) == 0;
}

bool is_exec_file(const std::string& p)
{
	struct stat st;
	return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(p.c_str(), X_OK) == 0;
}

bool is_folder(const std::string& p)
{
	struct stat st;
	return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string base_name(const std::string& p)
{
	const size_t s = p.rfind('/');
	return s == std::string::npos ? p : p.substr(s + 1);
}

bool ends_with(const std::string& s, const char* tail)
{
	const size_t n = std::strlen(tail);
	return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Mount points are written with octal escapes for blanks and the like.
std::string unescape_mount(const std::string& s)
{
	std::string out;
	for (size_t i = 0; i < s.size(); ++i) {
		if (s[i] == '\\' && i + 3 < s.size()) {
			const std::string oct = s.substr(i + 1, 3);
			if (oct.find_first_not_of("01234567") == std::string::npos) {
				out += (char)std::strtol(oct.c_str(), nullptr, 8);
				i += 3;
				continue;
			}
		}
		out += s[i];
	}
	return out;
}

struct mount_row {
	std::string root, device, fstype;
};

std::vector<mount_row> read_mounts()
{
	std::vector<mount_row> rows;
	std::ifstream in("/proc/self/mountinfo");
	std::string line;
	while (std::getline(in, line)) {
		std::vector<std::string> f;
		size_t i = 0;
		while (i < line.size()) {
			const size_t e = line.find(' ', i);
			f.push_back(line.substr(i, e == std::string::npos ? std::string::npos : e - i));
			if (e == std::string::npos) break;
			i = e + 1;
		}
		size_t dash = 0;
		for (size_t k = 6; k < f.size(); ++k)
			if (f[k] == "-") { dash = k; break; }
		if (f.size() < 5 || dash == 0 || dash + 2 >= f.size()) continue;
		mount_row r;
		r.root = unescape_mount(f[4]);
		if (r.root.empty() || r.root.back() != '/') r.root += '/';
		r.fstype = f[dash + 1];
		r.device = unescape_mount(f[dash + 2]);
		rows.push_back(r);
	}
	return rows;
}

std::mutex temp_lock;
std::string temp_base_cached, temp_cached;

}  // namespace

int APL_executable_path(std::string& out)
{
	char buf[PATH_MAX];
	const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
	if (n <= 0) return errno ? errno : ENOENT;
	out.assign(buf, (size_t)n);
	return 0;
}

int APL_desktop_folder(std::string& out)
{
	std::string d = env("XDG_DESKTOP_DIR");
	if (!d.empty() && d[0] != '/') d.clear();  // only an absolute folder counts
	const std::string home = home_folder();
	if (d.empty()) {
		std::string cfg = env("XDG_CONFIG_HOME");
		if (cfg.empty() || cfg[0] != '/') cfg = home + "/.config";
		std::ifstream in(cfg + "/user-dirs.dirs");
		std::string line;
		while (std::getline(in, line)) {
			size_t i = line.find_first_not_of(" \t");
			if (i == std::string::npos || line.compare(i, 16, "XDG_DESKTOP_DIR=") != 0) continue;
			std::string v = line.substr(i + 16);
			while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) v.pop_back();
			if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
			if (v.compare(0, 5, "$HOME") == 0) v = home + v.substr(5);
			if (!v.empty() && v[0] == '/') d = v;
		}
	}
	if (d.empty()) {
		if (home.empty()) return ENOENT;
		d = home + "/Desktop";
	}
	strip_slashes(d);
	// Like the other standard folders it is made when missing, so a folder
	// chosen inside it can be created.
	if (int err = make_folders(d, 0755)) return err;
	out = d;
	return 0;
}

int APL_temp_folder(std::string& out)
{
	std::string base = env("TMPDIR");
	if (base.empty() || base[0] != '/') base = "/tmp";
	strip_slashes(base);
	std::lock_guard<std::mutex> g(temp_lock);
	if (!temp_cached.empty() && temp_base_cached == base && private_folder_ok(temp_cached)) {
		out = temp_cached;
		return 0;
	}
	std::string p = (base == "/" ? std::string() : base) + "/ventora-" + std::to_string(getuid());
	mkdir(p.c_str(), 0700);
	if (!private_folder_ok(p)) {
		// Someone else's or a link: never use it, make a fresh one instead.
		std::string tmpl = p + "-XXXXXX";
		std::vector<char> buf(tmpl.begin(), tmpl.end());
		buf.push_back(0);
		if (!mkdtemp(buf.data())) return errno;
		p = buf.data();
	}
	temp_base_cached = base;
	temp_cached = p;
	out = p;
	return 0;
}

int APL_prefs_folder(std::string& out)
{
	std::string cfg = env("XDG_CONFIG_HOME");
	if (cfg.empty() || cfg[0] != '/') {
		const std::string home = home_folder();
		if (home.empty()) return ENOENT;
		cfg = home + "/.config";
	}
	strip_slashes(cfg);
	const std::string p = cfg + "/Ventora";
	if (int err = make_folders(p, 0755)) return err;
	out = p;
	return 0;
}

std::string APL_launch_target(const std::string& path_in)
{
	std::string path = path_in;
	strip_slashes(path);
	if (is_folder(path)) {
		std::string name = base_name(path);
		if (ends_with(name, ".app")) name.resize(name.size() - 4);
		std::string self;
		if (APL_executable_path(self) == 0) self = base_name(self);
		const std::string tries[] = {path + "/" + name, path + "/Contents/MacOS/" + name,
		                             self.empty() ? std::string() : path + "/" + self};
		for (const std::string& t : tries)
			if (!t.empty() && is_exec_file(t)) return t;
		return std::string();
	}
	if (is_exec_file(path)) return path;
	if (ends_with(path, ".app")) {
		const std::string bare = path.substr(0, path.size() - 4);
		if (is_exec_file(bare)) return bare;
	}
	return std::string();
}

int APL_spawn(const std::string& exe, const std::vector<std::string>& args, int* pid_out)
{
	int fds[2];
	if (pipe2(fds, O_CLOEXEC) != 0) return errno;
	std::vector<char*> argv;
	for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);
	const pid_t pid = fork();
	if (pid < 0) {
		const int err = errno;
		close(fds[0]);
		close(fds[1]);
		return err;
	}
	if (pid == 0) {
		close(fds[0]);
		// The new program inherits only the standard streams: the log, the
		// header writer and any socket stay with this one.
		close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
		execv(exe.c_str(), argv.data());
		int err = errno;
		ssize_t w = write(fds[1], &err, sizeof(err));
		(void)w;
		_exit(127);
	}
	close(fds[1]);
	int child_err = 0;
	ssize_t n;
	do {
		n = read(fds[0], &child_err, sizeof(child_err));
	} while (n < 0 && errno == EINTR);
	close(fds[0]);
	if (n == (ssize_t)sizeof(child_err)) {
		// The exec failed: collect the child so it does not linger.
		int status;
		while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
		}
		return child_err ? child_err : ENOEXEC;
	}
	if (pid_out) *pid_out = (int)pid;
	return 0;
}

int APL_volume_info(int index, std::string& root, std::string& device, std::string& fstype)
{
	const std::vector<mount_row> rows = read_mounts();
	if (index < 1 || index > (int)rows.size()) return -35;
	root = rows[index - 1].root;
	device = rows[index - 1].device;
	fstype = rows[index - 1].fstype;
	return 0;
}

std::vector<std::string> APL_volume_roots()
{
	static const char* const skipped[] = {"proc",   "sysfs",      "cgroup",      "cgroup2",  "devpts",
	                                      "autofs", "debugfs",    "tracefs",     "securityfs", "pstore",
	                                      "bpf",    "mqueue",     "hugetlbfs",   "configfs", "fusectl",
	                                      "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs"};
	std::vector<std::string> roots;
	for (const mount_row& r : read_mounts()) {
		bool skip = false;
		for (const char* t : skipped)
			if (r.fstype == t) skip = true;
		if (!skip) roots.push_back(r.root);
	}
	return roots;
}

int APL_volume_root(int index, std::string& root)
{
	std::string dev, type;
	return APL_volume_info(index, root, dev, type);
}

int APL_volume_of_path(const std::string& path)
{
	char buf[PATH_MAX];
	if (!realpath(path.c_str(), buf)) return 0;
	std::string p = buf;
	if (p.back() != '/') p += '/';
	const std::vector<mount_row> rows = read_mounts();
	int best = 0;
	size_t best_len = 0;
	for (size_t i = 0; i < rows.size(); ++i) {
		const std::string& r = rows[i].root;
		// The later of two mounts on one point is the one that is seen.
		if (p.compare(0, r.size(), r) == 0 && r.size() >= best_len) {
			best = (int)i + 1;
			best_len = r.size();
		}
	}
	return best;
}

int APL_eject_volume_of(const std::string& path)
{
	const int vol = APL_volume_of_path(path);
	if (vol == 0) return -43;
	std::string root, device, type;
	if (APL_volume_info(vol, root, device, type) != 0) return -35;
	if (device.compare(0, 5, "/dev/") != 0) return ENODEV;
	const int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0) return errno;
	int err = 0;
	if (ioctl(fd, CDROMEJECT, 0) != 0) err = errno;
	close(fd);
	return err;
}

int APL_free_space(const std::string& folder, uint64_t* total, uint64_t* free_bytes)
{
	struct statvfs vs;
	if (statvfs(folder.empty() ? "." : folder.c_str(), &vs) != 0) return errno;
	if (total) *total = (uint64_t)vs.f_blocks * vs.f_frsize;
	if (free_bytes) *free_bytes = (uint64_t)vs.f_bavail * vs.f_frsize;
	return 0;
}
