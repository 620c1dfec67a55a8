#pragma once
// Archives, folders and log capture for the archive tests: .zip files made
// with minizip's writer, .7z files with libarchive's 7z writer.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace atest {

struct zip_entry {
	std::string name;
	std::string data;
	unsigned long external_fa = 0;
	// DOS date as minizip takes it: full year, month 0..11.
	int year = 0, mon = 0, mday = 0, hour = 0, min = 0, sec = 0;
	bool stored = false;  // no compression
	uint64_t claimed_size = 0;  // write_zip64 only: recorded size when not 0
};
bool write_zip(const std::string& path, const std::vector<zip_entry>& entries);

// A .zip whose every entry keeps its sizes and header offset in zip64
// extra fields (as archives past 4 GiB do), written byte by byte.
bool write_zip64(const std::string& path, const std::vector<zip_entry>& entries);

struct sevenz_item {
	std::string name;
	std::string data;
	bool folder = false;
};
bool write_7z(const std::string& path, const std::vector<sevenz_item>& items);

// AppleDouble data as the maker's writer lays it out: Finder information
// (16 bytes given, 16 zero) at 50, the fork at 82.
std::string apple_double(const std::string& finfo16, const std::string& fork);


// Names found below folder (recursively, links not followed), sorted, each
// relative to folder; folders end in '/'.
std::vector<std::string> list_tree(const std::string& folder);

// Points the program log at a file for the life of the object.
struct log_capture {
	std::string path;
	explicit log_capture(const std::string& file);
	~log_capture();
	std::string text();  // everything logged so far
};

}  // namespace atest
