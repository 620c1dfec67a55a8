#pragma once
// A fresh temporary folder per test, removed afterwards, with small helpers
// to write and read files in it.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

class files_tmp {
public:
	files_tmp()
	{
		const char* base = getenv("TMPDIR");
		std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vtfiles-XXXXXX";
		char buf[512];
		std::snprintf(buf, sizeof(buf), "%s", tmpl.c_str());
		if (mkdtemp(buf)) root = std::string(buf) + "/";
	}
	~files_tmp()
	{
		if (!root.empty()) {
			const std::string cmd = "chmod -R u+rwx '" + root + "' 2>/dev/null; rm -rf '" + root + "'";
			if (std::system(cmd.c_str())) {
			}
		}
	}
	files_tmp(const files_tmp&) = delete;
	files_tmp& operator=(const files_tmp&) = delete;

	// Absolute path of a name inside the folder.
	std::string operator()(const std::string& rel) const { return root + rel; }

	void write(const std::string& rel, const std::string& bytes) const
	{
		std::ofstream f(root + rel, std::ios::binary | std::ios::trunc);
		f << bytes;
	}
	std::string read(const std::string& rel) const
	{
		std::ifstream f(root + rel, std::ios::binary);
		std::stringstream s;
		s << f.rdbuf();
		return s.str();
	}
	void mkdir(const std::string& rel) const { ::mkdir((root + rel).c_str(), 0755); }

	std::string root;  // ends in '/'
};
