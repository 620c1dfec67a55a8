#pragma once
// Master folders for the release-builder tests: every part of the expected
// layout, links, a Windows executable and a pre-compressed tile.
#include <cstdint>
#include <string>
#include <vector>

namespace mtest {

struct master_entry {
	std::string rel;   // below the master folder; ending in '/' makes an empty folder
	std::string data;  // file bytes, or the text of a link
	bool link = false;
};

// Makes path and every missing folder above it.
void make_dirs(const std::string& path);
// Writes the entries below root (which ends in '/'), folders made as needed.
void write_master(const std::string& root, const std::vector<master_entry>& entries);

// A minimal Windows executable: MZ header pointing at a PE header at 64,
// whose characteristics word (offset 86) holds 0x0102.
std::string pe_exe_bytes();
const size_t pe_flags_offset = 86;


// One file in every place the builder expects, plus links, executables,
// refused names and a tile with a pre-made .7z beside it.
std::vector<master_entry> full_master();

// A file of the given size made of holes only.
void make_sparse(const std::string& path, int64_t size);

int64_t size_of(const std::string& path);  // lstat; -1 when missing

}  // namespace mtest
