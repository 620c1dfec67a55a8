#include "Platform/plat_forks.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

const char* const plat_rsrc_attr = "user.com.apple.ResourceFork";
const char* const plat_finfo_attr = "user.com.apple.FinderInfo";

int plat_write_fork(const std::string& path, const char* attr, const void* data, size_t len)
{
	if (lsetxattr(path.c_str(), attr, data, len, 0) == 0) return 0;
	int err = errno;
	if (err != EACCES) return err;
	// User attributes need write access; an extracted file may be read-only.
	struct stat st;
	if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & S_IWUSR))
		return err;
	if (chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) return err;
	int rc = lsetxattr(path.c_str(), attr, data, len, 0) == 0 ? 0 : errno;
	if (chmod(path.c_str(), st.st_mode & 07777) != 0 && rc == 0) rc = errno;
	return rc;
}

int plat_read_fork(const std::string& path, const char* attr, std::vector<char>& out)
{
	out.clear();
	for (int tries = 0; tries < 4; ++tries) {
		ssize_t n = lgetxattr(path.c_str(), attr, nullptr, 0);
		if (n < 0) return errno;
		out.resize(static_cast<size_t>(n));
		if (n == 0) return 0;
		ssize_t got = lgetxattr(path.c_str(), attr, out.data(), out.size());
		if (got >= 0) {
			out.resize(static_cast<size_t>(got));
			return 0;
		}
		if (errno != ERANGE) return errno;  // ERANGE: it grew meanwhile, ask again
	}
	return ERANGE;
}

bool plat_fork_unsupported(int err)
{
	return err == ENOTSUP || err == EOPNOTSUPP || err == E2BIG || err == ENOSPC || err == ERANGE || err == EPERM;
}
