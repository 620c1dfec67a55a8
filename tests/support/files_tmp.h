#pragma once
// A fresh temporary folder per test, removed afterwards, with short names for
// writing and reading files in it.
#include <sys/stat.h>

#include <string>

#include "tests/support/test_files.h"

class files_tmp {
public:
	files_tmp() : root(folder_.path()) {}

	// Absolute path of a name inside the folder.
	std::string operator()(const std::string& rel) const { return root + rel; }

	void write(const std::string& rel, const std::string& bytes) const { vtest::write_file_bytes(root + rel, bytes); }
	std::string read(const std::string& rel) const { return vtest::read_file_bytes(root + rel); }
	void mkdir(const std::string& rel) const { ::mkdir((root + rel).c_str(), 0755); }

private:
	vtest::temp_folder folder_;

public:
	const std::string root;  // ends in '/'
};
