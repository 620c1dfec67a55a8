#include "DIzivoz/Files/io_beneath.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/openat2.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <vector>

#include "DIzivoz/Files/io_utils.h"

namespace {

const int kMaxLinks = 40;  // as the kernel allows on one lookup

void push_components(std::deque<std::string>& todo, const std::string& text)
{
	std::vector<std::string> parts;
	size_t start = 0;
	while (start <= text.size()) {
		size_t slash = text.find('/', start);
		if (slash == std::string::npos) slash = text.size();
		if (slash > start) parts.push_back(text.substr(start, slash - start));
		start = slash + 1;
	}
	for (auto it = parts.rbegin(); it != parts.rend(); ++it) todo.push_front(*it);
}

void close_fd(int& fd)
{
	if (fd >= 0) close(fd);
	fd = -1;
}

// Opens the real folders of chain one by one from root_fd, never following a link.
int walk_chain(int root_fd, const std::vector<std::string>& chain, int& out)
{
	int cur = fcntl(root_fd, F_DUPFD_CLOEXEC, 0);
	if (cur < 0) return errno;
	for (const std::string& c : chain) {
		int fd = openat(cur, c.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
		const int e = errno;
		close(cur);
		if (fd < 0) return e;
		cur = fd;
	}
	out = cur;
	return 0;
}

// The remainder of an absolute link text below root, or false when the
// text leads elsewhere. Compared with root as written and as resolved.
bool below_root(const std::string& text, const std::string& root, std::string& rest)
{
	std::string forms[2] = {root, std::string()};
	char real[PATH_MAX];
	if (realpath(root.c_str(), real)) forms[1] = std::string(real) + "/";
	for (const std::string& r : forms) {
		if (r.empty()) continue;
		const std::string bare = r.substr(0, r.size() - 1);
		if (text == bare || text == r) {
			rest.clear();
			return true;
		}
		if (text.compare(0, r.size(), r) == 0) {
			rest = text.substr(r.size());
			return true;
		}
	}
	return false;
}

thread_local const std::string* tl_root = nullptr;

// The root folder of this thread's last extraction, kept open: the
// extractions of a run all start at the same copy. Closed when the thread
// ends or forgets it; walks outside an extraction keep nothing open.
struct kept_root {
	std::string path;
	int fd = -1;
	~kept_root() { close_fd(fd); }
	int get(const std::string& root, bool fresh)
	{
		if (fd >= 0 && !fresh && path == root) return fd;
		close_fd(fd);
		path = root;
		fd = open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
		return fd >= 0 ? fd : -errno;
	}
	void forget()
	{
		close_fd(fd);
		path.clear();
	}
};
thread_local kept_root tl_kept;

// Component by component, never following a link the kernel would: the
// walk for links the kernel's own beneath-lookup refuses (absolute ones that
// stay in the copy) and for kernels without it.
int walk_beneath(int root_fd, const std::string& root, const std::string& rel, int& out)
{
	out = -1;
	std::deque<std::string> todo;
	push_components(todo, rel);
	std::vector<std::string> chain;  // real folders walked so far, below root
	int cur = fcntl(root_fd, F_DUPFD_CLOEXEC, 0);
	int err = cur < 0 ? errno : 0;
	int links = 0;
	while (!err && !todo.empty()) {
		const std::string c = todo.front();
		todo.pop_front();
		if (c == ".") continue;
		if (c == "..") {
			if (chain.empty()) {
				err = err_archive_escape;
				break;
			}
			chain.pop_back();
			close_fd(cur);
			err = walk_chain(root_fd, chain, cur);
			continue;
		}
		int fd = openat(cur, c.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
		struct stat st;
		if (fd < 0 || fstat(fd, &st) != 0) {
			err = errno;
			if (fd >= 0) close(fd);
			break;
		}
		if (S_ISDIR(st.st_mode)) {
			chain.push_back(c);
			close_fd(cur);
			cur = fd;
			continue;
		}
		if (!S_ISLNK(st.st_mode)) {
			close(fd);
			err = ENOTDIR;
			break;
		}
		char buf[PATH_MAX];
		const ssize_t n = readlinkat(fd, "", buf, sizeof(buf));
		close(fd);
		if (n < 0 || n >= static_cast<ssize_t>(sizeof(buf))) {
			err = n < 0 ? errno : ENAMETOOLONG;
			break;
		}
		if (++links > kMaxLinks) {
			err = ELOOP;
			break;
		}
		const std::string text(buf, static_cast<size_t>(n));
		if (text.empty()) {
			err = ENOENT;
			break;
		}
		if (text[0] == '/') {
			// An absolute link is followed only when it names a place in the copy.
			std::string rest;
			if (!below_root(text, root, rest)) {
				err = err_archive_escape;
				break;
			}
			chain.clear();
			close_fd(cur);
			cur = fcntl(root_fd, F_DUPFD_CLOEXEC, 0);
			if (cur < 0) err = errno;
			push_components(todo, rest);
		} else {
			push_components(todo, text);
		}
	}
	if (err) {
		close_fd(cur);
		return err;
	}
	out = cur;
	return 0;
}

// Opens the folder named by rel (components below root) beneath root.
int open_beneath(const std::string& root, const std::string& rel, int& out)
{
	out = -1;
	if (rel.empty()) {
		// The root itself: never a kept descriptor of a folder since removed.
		out = open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
		return out >= 0 ? 0 : errno;
	}
	const bool keep = tl_root != nullptr;
	for (int fresh = 0; fresh < 2; ++fresh) {
		const int root_fd = tl_kept.get(root, fresh || !keep);
		if (root_fd < 0) return -root_fd;
		struct forget {
			bool on;
			~forget()
			{
				if (on) tl_kept.forget();
			}
		} after{!keep};
		struct open_how how = {};
		how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
		how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
		const int fd = static_cast<int>(syscall(SYS_openat2, root_fd, rel.c_str(), &how, sizeof(how)));
		if (fd >= 0) {
			out = fd;
			return 0;
		}
		int err = errno;
		if (err == EXDEV || err == ELOOP || err == ENOSYS || err == EAGAIN || err == EPERM || err == EINVAL ||
		    err == E2BIG)
			err = walk_beneath(root_fd, root, rel, out);
		// A kept root may be a folder since removed or replaced: once more from a fresh one.
		if (err == 0 || err == err_archive_escape || fresh || !keep) return err;
	}
	return ENOENT;
}

// Splits path below root into the folder part and the last component.
int split_below(const std::string& root_in, const std::string& path_in, std::string& root, std::string& folder,
                std::string& leaf)
{
	root = root_in;
	set_path_to_full(root);
	if (root.empty() || root.back() != '/') root += '/';
	std::string path = path_in;
	set_path_to_full(path);
	if (!path.empty() && path.back() == '/') path.pop_back();
	if (path.size() <= root.size() || path.compare(0, root.size(), root) != 0) return err_archive_escape;
	const std::string rel = path.substr(root.size());
	const size_t slash = rel.rfind('/');
	folder = slash == std::string::npos ? std::string() : rel.substr(0, slash);
	leaf = slash == std::string::npos ? rel : rel.substr(slash + 1);
	if (leaf.empty() || leaf == "." || leaf == "..") return err_archive_escape;
	return 0;
}

}  // namespace

int beneath_open_parent(const std::string& root_in, const std::string& path, int& dir_fd, std::string* leaf_out)
{
	dir_fd = -1;
	std::string root, folder, leaf;
	if (int err = split_below(root_in, path, root, folder, leaf)) return err;
	if (int err = open_beneath(root, folder, dir_fd)) return err;
	if (leaf_out) *leaf_out = leaf;
	return 0;
}

int beneath_unlink(const std::string& root, const std::string& path)
{
	std::string leaf;
	int dir = -1;
	int err = beneath_open_parent(root, path, dir, &leaf);
	const bool folder = !path.empty() && path.back() == '/';
	if (!err && unlinkat(dir, leaf.c_str(), folder ? AT_REMOVEDIR : 0) != 0) err = errno;
	close_fd(dir);
	return err;
}

int beneath_mkdir(const std::string& root, const std::string& path, mode_t mode)
{
	std::string leaf;
	int dir = -1;
	int err = beneath_open_parent(root, path, dir, &leaf);
	if (!err && mkdirat(dir, leaf.c_str(), mode) != 0) err = errno;
	close_fd(dir);
	return err;
}

int beneath_rename(const std::string& root, const std::string& folder, const std::string& from, const std::string& to,
                   bool keep_links)
{
	if (to.empty() || to.find('/') != std::string::npos) return EINVAL;
	std::string leaf;
	int dir = -1;
	int err = beneath_open_parent(root, folder + from, dir, &leaf);
	struct stat st;
	if (!err && keep_links && fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
		err = EPERM;
	if (!err && renameat(dir, leaf.c_str(), dir, to.c_str()) != 0) err = errno;
	close_fd(dir);
	return err;
}

beneath_root_scope::beneath_root_scope(const std::string& root) : saved_(tl_root), root_(root)
{
	tl_root = &root_;
}

beneath_root_scope::~beneath_root_scope() { tl_root = saved_; }

const std::string* beneath_root() { return tl_root; }

void beneath_forget_root() { tl_kept.forget(); }
