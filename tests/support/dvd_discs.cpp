#include "tests/support/dvd_discs.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/support/demo_release.h"
#include "tests/support/grab_release.h"
#include "tests/support/test_files.h"

extern char** environ;

namespace vtest {

namespace {

// Plain storage: the constructor below runs before any C++ object of this
// file is constructed.
char namespace_problem_text[256] = "not entered";

void set_problem(const char* what, int err)
{
	snprintf(namespace_problem_text, sizeof(namespace_problem_text), "%s: %s%s", what, std::strerror(err),
	         err == EINVAL ? " (the process already has threads)" : "");
}

bool write_proc(const char* path, const char* text)
{
	const int fd = open(path, O_WRONLY | O_CLOEXEC);
	if (fd < 0) return false;
	const size_t n = std::strlen(text);
	const bool ok = write(fd, text, n) == (ssize_t)n;
	close(fd);
	return ok;
}

// unshare(CLONE_NEWUSER) refuses a process that already has threads, so this
// runs at load time, before main and before anything can start one. The uid
// and gid map to themselves: files keep their owner and modes mean what they
// mean outside.
__attribute__((constructor(101))) void enter_disc_namespace()
{
	const uid_t uid = getuid();
	const gid_t gid = getgid();
	if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return set_problem("unshare(CLONE_NEWUSER | CLONE_NEWNS) failed", errno);
	char uid_line[64], gid_line[64];
	snprintf(uid_line, sizeof(uid_line), "%u %u 1\n", (unsigned)uid, (unsigned)uid);
	snprintf(gid_line, sizeof(gid_line), "%u %u 1\n", (unsigned)gid, (unsigned)gid);
	if (!write_proc("/proc/self/setgroups", "deny") || !write_proc("/proc/self/uid_map", uid_line) ||
	    !write_proc("/proc/self/gid_map", gid_line))
		return set_problem("cannot write the uid and gid maps", errno);
	// Mounts made here must never reach the machine's namespace.
	if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
		return set_problem("cannot make the mounts private", errno);
	namespace_problem_text[0] = 0;
}

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }

// The flags the kernel keeps locked on a mount of a more privileged
// namespace; a remount must carry them again.
unsigned long locked_flags(const std::string& path)
{
	struct statvfs sv;
	if (statvfs(path.c_str(), &sv) != 0) return 0;
	unsigned long f = 0;
	if (sv.f_flag & ST_NOSUID) f |= MS_NOSUID;
	if (sv.f_flag & ST_NODEV) f |= MS_NODEV;
	if (sv.f_flag & ST_NOEXEC) f |= MS_NOEXEC;
	if (sv.f_flag & ST_NOATIME) f |= MS_NOATIME;
	if (sv.f_flag & ST_NODIRATIME) f |= MS_NODIRATIME;
	if (sv.f_flag & ST_RELATIME) f |= MS_RELATIME;
	return f;
}

void make_dirs(const std::string& path)
{
	std::string p;
	std::stringstream in(path);
	std::string part;
	while (std::getline(in, part, '/')) {
		if (part.empty()) continue;
		p += "/" + part;
		mkdir(p.c_str(), 0755);
	}
}

void walk(const std::string& root, const std::string& rel, std::vector<std::string>& out)
{
	DIR* d = opendir((root + rel).c_str());
	if (!d) return;
	while (dirent* e = readdir(d)) {
		const std::string name = e->d_name;
		if (name == "." || name == "..") continue;
		struct stat st;
		if (lstat((root + rel + name).c_str(), &st) != 0) continue;
		if (S_ISDIR(st.st_mode)) walk(root, rel + name + "/", out);
		else out.push_back(rel + name);
	}
	closedir(d);
}

std::string bin_dir()
{
	const char* b = std::getenv("VENTORA_BIN_DIR");
	return std::string(b ? b : VENTORA_TEST_BIN_DIR) + "/";
}

// Runs a program, its output into a file; the exit status or -1.
int run_program(const std::vector<std::string>& args, const std::string& out_file)
{
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	posix_spawn_file_actions_addopen(&fa, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	posix_spawn_file_actions_adddup2(&fa, 1, 2);
	std::vector<char*> argv;
	for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);
	// Without a display the maker builds unattended (with one it opens a
	// window and waits at its closing alert).
	std::vector<char*> envp;
	for (char** e = environ; *e; ++e)
		if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0) envp.push_back(*e);
	envp.push_back(nullptr);
	pid_t pid = -1;
	const int err = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
	posix_spawn_file_actions_destroy(&fa);
	if (err != 0) return -1;
	int st = 0;
	while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
	}
	return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

const std::string& disc_namespace_problem()
{
	static const std::string problem = namespace_problem_text;
	return problem;
}

// ---- the drive ----------------------------------------------------------------------

disc_drive::disc_drive(const std::string& mount_point) : root_(mount_point)
{
	if (root_.empty() || root_.back() != '/') root_ += '/';
	make_dirs(root_);
}

disc_drive::~disc_drive()
{
	if (!disc_.empty() && umount2(root_.c_str(), 0) != 0) umount2(root_.c_str(), MNT_DETACH);
}

std::string disc_drive::insert(const std::string& disc_folder)
{
	if (!disc_namespace_problem().empty()) return "no private mount namespace: " + disc_namespace_problem();
	if (!disc_.empty()) {
		const std::string e = eject();
		if (!e.empty()) return e;
	}
	const std::string target = root_.substr(0, root_.size() - 1);
	if (mount(disc_folder.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
		return errno_text("bind mount of " + disc_folder + " on " + target);
	// A disc is read-only.
	if (mount("none", target.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY | locked_flags(target), nullptr) != 0) {
		const std::string why = errno_text("read-only remount of " + target);
		umount2(target.c_str(), MNT_DETACH);
		return why;
	}
	disc_ = disc_folder;
	return "";
}

std::string disc_drive::eject()
{
	if (disc_.empty()) return "";
	const std::string target = root_.substr(0, root_.size() - 1);
	// A program still holding a file open on the disc gets it taken away
	// lazily, as a drive would.
	if (umount2(target.c_str(), 0) != 0 && umount2(target.c_str(), MNT_DETACH) != 0)
		return errno_text("unmount of " + target);
	disc_.clear();
	return "";
}

// ---- the disc set -----------------------------------------------------------------

const tile_cell dvd_master_cells[3] = {{9, 12}, {5, 13}, {18, 14}};

std::vector<mtest::master_entry> dvd_master()
{
	std::vector<mtest::master_entry> m = demo_master();
	m.push_back({"All/Global Scenery/-global terrain-/+30-090/+35-085.dsf", noise(15000, 11)});
	m.push_back({"All/Global Scenery/-global terrain-/+30-090/+35-085.dsf.7z", make_7z_bytes("+35-085.dsf", noise(15000, 11))});
	m.push_back({"All/Global Scenery/-global terrain-/+50+000/+51+003.dsf", noise(12000, 12)});
	m.push_back({"All/Aircraft/General Aviation/Cirrus TheJet/c4.txt", "Cirrus TheJet\nfour seats\n"});
	return m;
}

std::string build_dvd_release(const std::string& work, dvd_release& out, const dvd_release_options& o)
{
	out = dvd_release();
	out.work = work;
	if (out.work.empty() || out.work.back() != '/') out.work += '/';
	out.master = out.work + "master/";
	const std::string masters = out.work + "DVD_Masters/";
	make_dirs(masters);
	std::vector<mtest::master_entry> m = dvd_master();
	m.insert(m.end(), o.extra.begin(), o.extra.end());
	mtest::write_master(out.master, m);
	chmod((out.master + "Linux/Ventora").c_str(), 0755);

	const std::string log = out.work + "maker output.txt";
	const int rc = run_program({bin_dir() + "ventora_maker", "--master=" + out.master, "--output=" + masters,
	                            "--disc_limit_kb=" + std::to_string(o.disc_limit_kb)},
	                           log);
	out.maker_output = read_file_bytes(log);
	if (rc != 0) return "ventora_maker exited " + std::to_string(rc) + ": " + out.maker_output;

	for (int n = 0;; ++n) {
		const std::string d = masters + "disk_" + std::to_string(n) + "/";
		if (!path_exists(d)) break;
		// The maker lays out folders on the first three discs whether used or not.
		if (!files_below(d).empty()) out.discs.push_back(d);
	}
	if (out.discs.empty()) return "the maker made no disc";
	std::istringstream id(read_file_bytes(out.discs[0] + "dvd_version.txt"));
	std::string line;
	while (std::getline(id, line))
		if (line.compare(0, 8, "VERSION ") == 0) out.name = line.substr(8);
	if (out.name.empty()) return "no VERSION line on the first disc";
	return "";
}

std::vector<std::string> files_below(const std::string& folder)
{
	std::vector<std::string> out;
	walk(folder.back() == '/' ? folder : folder + "/", "", out);
	std::sort(out.begin(), out.end());
	return out;
}

}  // namespace vtest
