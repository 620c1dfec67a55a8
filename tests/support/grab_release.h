#pragma once
// Builds small releases for the engine tests: per-file .zip archives as the
// servers and discs hold them, and the manifest text that lists them.
#include <ctime>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace vtest {

struct grab_file {
	std::string rel;            // path below the release's top folder
	std::string data;           // file bytes, or the link text of a link
	unsigned mode = 0644;
	bool link = false;
	int platform = 0;
	int disk = 0;
	bool gone = false;          // listed as "GONE" (no archive)
	std::time_t mtime = 1700000000;  // even seconds survive the DOS date
};

std::string md5_hex(const std::string& data);

// A .zip holding one entry with the given mode and date (local time).
std::string make_zip_bytes(const std::string& entry_name, const std::string& data, unsigned mode,
                           std::time_t mtime, bool link);

// A .7z holding one item (no folders, modes or dates are expected back).
std::string make_7z_bytes(const std::string& item_name, const std::string& data);

// Manifest text: the maker's header for version 900 and "INSTALLER", one
// DISK line whenever the disc changes and one FILE line per file, each named
// top + "/" + rel.
std::string manifest_text(const std::string& top, const std::vector<grab_file>& files);

// Writes archive_root + top + "/" + rel + ".zip" for every file that is not
// gone (folders made as needed); a path holding "Global Scenery" gets a .7z.
void write_archives(const std::string& archive_root, const std::string& top,
                    const std::vector<grab_file>& files);

// Mode bits (07777) and modification time of path; lstat for links.
unsigned file_mode(const std::string& path);
std::time_t file_mtime(const std::string& path);

}  // namespace vtest
