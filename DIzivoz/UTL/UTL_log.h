#pragma once
// The log stream type behind `xer`. Several threads write to the log at once;
// each thread collects its text until a line end and the whole line is then
// written under one lock, so lines never interleave. Until the log is opened
// everything written to it is dropped.
#include <atomic>
#include <fstream>
#include <mutex>
#include <ostream>
#include <string>

class log_streambuf : public std::streambuf {
public:
	log_streambuf();
	~log_streambuf() override;
	bool open(const std::string& path, std::ios::openmode mode);
	bool is_open() const;
	void close();

protected:
	int_type overflow(int_type ch) override;
	std::streamsize xsputn(const char* s, std::streamsize n) override;
	int sync() override;

private:
	std::string& line_buffer();
	void write_complete_lines(std::string& buf);
	mutable std::mutex lock_;
	std::FILE* file_ = nullptr;
	std::atomic<bool> open_{false};  // read without the lock by every write
	unsigned long id_;
	std::string exit_buffer_;  // pending text of a thread whose own buffers are gone
};

class log_stream : public std::ostream {
public:
	log_stream();
	void open(const std::string& path, std::ios::openmode mode = std::ios::out);
	bool is_open() const { return buf_.is_open(); }
	void close();

private:
	log_streambuf buf_;
};

// Where a program's log files go. The program's own folder comes first; when
// a file cannot be made there (a read-only install, a folder in the way) it
// goes to the user's state folder, $XDG_STATE_HOME/ventora/ (by default
// ~/.local/state/ventora/), made when missing; never to standard output.
// The state folder, ending in '/', or empty when there is no home to put it in.
std::string UTL_state_log_folder();
// Opens name for writing in folder (empty: the working folder), else in the
// state folder; null when neither takes it. *used_folder tells which folder took it.
std::FILE* UTL_open_log_file(const std::string& folder, const std::string& name, const char* mode,
                             std::string* used_folder = nullptr);
// The folder the run's log went to, for the other report files (empty until
// start-up sets it: the working folder).
void UTL_set_log_folder(const std::string& folder);
const std::string& UTL_log_folder();
