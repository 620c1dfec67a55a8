#pragma once
// A fresh temporary folder per test, removed afterwards (or a folder that is
// kept), with short names for writing and reading files in it.
#include <sys/stat.h>

#include <memory>
#include <string>

#include "tests/support/test_files.h"

class files_tmp {
public:
	files_tmp() : folder_(new vtest::temp_folder), root(folder_->path()) {}
	// A folder of the caller's instead, made when missing and kept afterwards
	// (an empty path: a fresh temporary folder as above).
	explicit files_tmp(const std::string& kept)
	    : folder_(kept.empty() ? new vtest::temp_folder : nullptr),
	      root(kept.empty() ? folder_->path() : kept.back() == '/' ? kept : kept + "/")
	{
		::mkdir(root.c_str(), 0755);
	}

	// Absolute path of a name inside the folder.
	std::string operator()(const std::string& rel) const { return root + rel; }

	void write(const std::string& rel, const std::string& bytes) const { vtest::write_file_bytes(root + rel, bytes); }
	std::string read(const std::string& rel) const { return vtest::read_file_bytes(root + rel); }
	void mkdir(const std::string& rel) const { ::mkdir((root + rel).c_str(), 0755); }

private:
	std::unique_ptr<vtest::temp_folder> folder_;

public:
	const std::string root;  // ends in '/'
};
