#include "DIzivoz/UTL/UTL_log.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

namespace {
std::atomic<unsigned long> next_log_id{1};

// One pending partial line per thread and per log object. The map is reached
// through a plain pointer, which stays readable after the thread's own
// objects are destroyed: a program-wide log is closed by static destruction,
// after the main thread's thread_local objects are gone.
typedef std::unordered_map<unsigned long, std::string> pending_map;
thread_local pending_map* pending = nullptr;
thread_local bool pending_gone = false;

struct pending_owner {
	~pending_owner()
	{
		delete pending;
		pending = nullptr;
		pending_gone = true;
	}
};
}  // namespace

log_streambuf::log_streambuf() : id_(next_log_id++) {}

log_streambuf::~log_streambuf() { close(); }

std::string& log_streambuf::line_buffer()
{
	if (pending_gone) return exit_buffer_;  // the thread is ending
	if (!pending) {
		thread_local pending_owner owner;
		(void)owner;
		pending = new pending_map;
	}
	return (*pending)[id_];
}

bool log_streambuf::open(const std::string& path, std::ios::openmode mode)
{
	std::lock_guard<std::mutex> g(lock_);
	if (file_) std::fclose(file_);
	const char* m = (mode & std::ios::app) ? "ab" : "wb";
	file_ = std::fopen(path.c_str(), m);
	open_ = file_ != nullptr;
	return file_ != nullptr;
}

bool log_streambuf::is_open() const
{
	std::lock_guard<std::mutex> g(lock_);
	return file_ != nullptr;
}

void log_streambuf::close()
{
	std::string& buf = line_buffer();
	std::lock_guard<std::mutex> g(lock_);
	if (file_) {
		if (!buf.empty()) std::fwrite(buf.data(), 1, buf.size(), file_);
		std::fclose(file_);
		file_ = nullptr;
	}
	open_ = false;
	buf.clear();
}

void log_streambuf::write_complete_lines(std::string& buf)
{
	size_t end = buf.rfind('\n');
	if (end == std::string::npos) return;
	{
		std::lock_guard<std::mutex> g(lock_);
		if (file_) std::fwrite(buf.data(), 1, end + 1, file_);
	}
	buf.erase(0, end + 1);
}

log_streambuf::int_type log_streambuf::overflow(int_type ch)
{
	if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
	// Text written while the log is closed is dropped at once, so no part of
	// it turns up once the log is opened.
	if (!open_) return ch;
	char c = traits_type::to_char_type(ch);
	std::string& buf = line_buffer();
	buf.push_back(c);
	if (c == '\n') write_complete_lines(buf);
	return ch;
}

std::streamsize log_streambuf::xsputn(const char* s, std::streamsize n)
{
	if (!open_) return n;
	std::string& buf = line_buffer();
	buf.append(s, static_cast<size_t>(n));
	for (std::streamsize i = 0; i < n; ++i)
		if (s[i] == '\n') {
			write_complete_lines(buf);
			break;
		}
	return n;
}

int log_streambuf::sync()
{
	std::string& buf = line_buffer();
	write_complete_lines(buf);
	std::lock_guard<std::mutex> g(lock_);
	if (file_) std::fflush(file_);
	return 0;
}

log_stream::log_stream() : std::ostream(&buf_) {}

void log_stream::open(const std::string& path, std::ios::openmode mode)
{
	clear();
	if (!buf_.open(path, mode)) setstate(std::ios::failbit);
}

void log_stream::close()
{
	buf_.close();
	clear();
}

namespace {
std::string run_log_folder;

bool make_folders(const std::string& path)
{
	for (size_t at = 1; at <= path.size(); ++at) {
		if (at != path.size() && path[at] != '/') continue;
		const std::string part = path.substr(0, at);
		if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
	}
	struct stat st;
	return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

std::string UTL_state_log_folder()
{
	std::string base;
	const char* state = std::getenv("XDG_STATE_HOME");
	// A relative XDG path is invalid and ignored, as the base directory rules say.
	if (state && state[0] == '/') {
		base = state;
	} else {
		const char* home = std::getenv("HOME");
		if (!home || home[0] != '/') return "";
		base = std::string(home) + "/.local/state";
	}
	while (base.size() > 1 && base.back() == '/') base.pop_back();
	return base + "/ventora/";
}

std::FILE* UTL_open_log_file(const std::string& folder, const std::string& name, const char* mode,
                             std::string* used_folder)
{
	if (std::FILE* f = std::fopen((folder + name).c_str(), mode)) {
		if (used_folder) *used_folder = folder;
		return f;
	}
	const std::string state = UTL_state_log_folder();
	if (state.empty() || state == folder || !make_folders(state.substr(0, state.size() - 1))) return nullptr;
	std::FILE* f = std::fopen((state + name).c_str(), mode);
	if (f && used_folder) *used_folder = state;
	return f;
}

void UTL_set_log_folder(const std::string& folder) { run_log_folder = folder; }
const std::string& UTL_log_folder() { return run_log_folder; }
