#include "tests/support/test_files.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace vtest {

temp_folder::temp_folder()
{
	const char* tmp = getenv("TMPDIR");
	std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ventora-test-XXXXXX";
	std::vector<char> buf(pattern.begin(), pattern.end());
	buf.push_back('\0');
	if (!mkdtemp(buf.data())) throw std::runtime_error("temp_folder: mkdtemp failed");
	path_ = std::string(buf.data()) + "/";
}

temp_folder::~temp_folder()
{
	if (path_.empty()) return;
	// Read-only folders made by a test must not stop the removal.
	nftw(path_.c_str(),
	     [](const char* p, const struct stat*, int type, struct FTW*) {
		     if (type == FTW_D) chmod(p, 0700);
		     return 0;
	     },
	     16, FTW_PHYS);
	nftw(path_.c_str(),
	     [](const char* p, const struct stat*, int type, struct FTW*) {
		     if (type == FTW_DP) rmdir(p);
		     else unlink(p);
		     return 0;
	     },
	     16, FTW_DEPTH | FTW_PHYS);
}

std::string read_file_bytes(const std::string& path)
{
	std::ifstream f(path, std::ios::binary);
	std::ostringstream ss;
	ss << f.rdbuf();
	return ss.str();
}

bool write_file_bytes(const std::string& path, const std::string& bytes)
{
	std::ofstream f(path, std::ios::binary | std::ios::trunc);
	f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
	return static_cast<bool>(f);
}

bool path_exists(const std::string& path)
{
	struct stat st;
	return lstat(path.c_str(), &st) == 0;
}

std::string noise(size_t n, unsigned seed)
{
	std::string out(n, '\0');
	for (size_t i = 0; i < n; ++i) {
		seed = seed * 1103515245u + 12345u;
		out[i] = char(seed >> 16);
	}
	return out;
}

}  // namespace vtest
