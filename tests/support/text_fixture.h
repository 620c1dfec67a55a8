#pragma once
// A temporary resource folder for translation files and a log captured to a
// file, for the translation and preference tests.
#include <string>

class text_sandbox {
public:
	text_sandbox();   // makes a fresh folder, points resources at it, opens the log
	~text_sandbox();  // restores the resource root, closes the log, removes the folder

	const std::string& dir() const { return dir_; }
	// Writes a file and any missing folders (bytes exactly as given) into the folder; returns its path.
	std::string write(const std::string& name, const std::string& bytes) const;
	// Everything logged since the last call.
	std::string take_log();

private:
	std::string dir_;
	std::string log_path_;
};

std::string text_read_file(const std::string& path);
