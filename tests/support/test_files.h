#pragma once
// File helpers shared by the tests: a temporary folder per test and whole-file
// reads and writes.
#include <cstddef>
#include <string>

namespace vtest {

// A fresh empty folder under the system's temporary folder, removed with
// everything in it by the destructor (read-only folders made by a test too).
class temp_folder {
public:
	temp_folder();
	~temp_folder();
	temp_folder(const temp_folder&) = delete;
	temp_folder& operator=(const temp_folder&) = delete;
	const std::string& path() const { return path_; }  // ends in '/'
	std::string file(const std::string& rel) const { return path_ + rel; }

private:
	std::string path_;
};

std::string read_file_bytes(const std::string& path);  // empty when unreadable
bool write_file_bytes(const std::string& path, const std::string& bytes);
bool path_exists(const std::string& path);  // lstat succeeds

// n bytes that do not compress, the same for the same seed.
std::string noise(size_t n, unsigned seed);

}  // namespace vtest
