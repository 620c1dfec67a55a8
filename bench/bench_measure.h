#pragma once
// What the window benchmarks share: clocks, a process's CPU time from /proc,
// medians with their spread, options, and this program started again as the
// headless side of a comparison.
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace bench {

inline double now_s()
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// User + system time of a process (0: this one), every thread, in seconds; -1 when unknown.
inline double process_cpu_s(int pid = 0)
{
	std::ifstream in(pid ? "/proc/" + std::to_string(pid) + "/stat" : std::string("/proc/self/stat"));
	std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
	const size_t close = text.rfind(')');
	if (close == std::string::npos) return -1;
	std::istringstream f(text.substr(close + 2));
	std::string field;
	unsigned long long utime = 0, stime = 0;
	for (int i = 3; i <= 15 && (f >> field); ++i) {
		if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
		if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
	}
	return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// A process's share of one core over `seconds` of wall time; -1 when it ended.
inline double process_cores(int pid, double seconds)
{
	const double c0 = process_cpu_s(pid), w0 = now_s();
	while (now_s() - w0 < seconds) usleep(100000);
	const double c1 = process_cpu_s(pid);
	return c0 < 0 || c1 < 0 ? -1 : (c1 - c0) / (now_s() - w0);
}

// The 1, 5 and 15 minute load averages, as /proc/loadavg gives them.
inline std::string load_average()
{
	std::ifstream in("/proc/loadavg");
	std::string a, b, c;
	in >> a >> b >> c;
	return a + " " + b + " " + c;
}

// Watches a growing log file from another thread, reading only what was
// added each time the file changes (every 2 ms where it cannot be told of
// changes), for at most `seconds`: when `text` first showed up (-1: not yet,
// or never). The watch starts where the file ends now.
class log_watch {
public:
	log_watch(const std::string& file, const std::string& text, double seconds)
	{
		long long from = 0;
		{
			std::ifstream in(file, std::ios::binary | std::ios::ate);
			if (in) from = (long long)in.tellg();
		}
		// Woken by the file's change: a polling step would be counted
		// against the program.
		const int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
		if (fd >= 0 && inotify_add_watch(fd, file.c_str(), IN_MODIFY) < 0) {
			close(fd);
			notify_ = -1;
		} else {
			notify_ = fd;
		}
		thread_ = std::thread([this, file, text, seconds, from] {
			const double end = now_s() + seconds;
			long long at = from;
			std::string tail;
			for (bool first = true; now_s() < end; first = false) {
				if (!first) {
					if (notify_ >= 0) {
						pollfd p{notify_, POLLIN, 0};
						if (poll(&p, 1, 20) > 0) {
							char buf[4096];
							while (read(notify_, buf, sizeof buf) > 0) {
							}
						}
					} else {
						usleep(2000);
					}
				}
				std::ifstream in(file, std::ios::binary);
				if (in) {
					in.seekg(at);
					std::string added((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
					at += (long long)added.size();
					tail += added;
					if (tail.find(text) != std::string::npos) {
						seen_ = now_s();
						return;
					}
					// A line cut at the end of the read is kept for the next look.
					if (tail.size() > text.size()) tail.erase(0, tail.size() - text.size());
				}
			}
		});
	}
	~log_watch()
	{
		wait();
		if (notify_ >= 0) close(notify_);
	}
	double wait()
	{
		if (thread_.joinable()) thread_.join();
		return seen_;
	}

private:
	std::thread thread_;
	int notify_ = -1;
	double seen_ = -1;
};

struct spread {
	double median = -1, least = -1, most = -1;
};

inline spread spread_of(std::vector<double> v)
{
	spread s;
	if (v.empty()) return s;
	std::sort(v.begin(), v.end());
	s.least = v.front();
	s.most = v.back();
	s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
	return s;
}

// "--key=value" of the command line, else def.
inline std::string option(int argc, char** argv, const char* key, const char* def)
{
	const size_t n = std::strlen(key);
	for (int i = 1; i < argc; ++i)
		if (std::strncmp(argv[i], key, n) == 0 && argv[i][n] == '=') return argv[i] + n + 1;
	return def;
}

inline bool has_flag(int argc, char** argv, const char* flag)
{
	for (int i = 1; i < argc; ++i)
		if (std::strcmp(argv[i], flag) == 0) return true;
	return false;
}

// This program started again with args (after a `sync`, so neither side of
// a comparison pays for the other's unwritten data); the number it prints on
// a line "seconds <x>", or -1.
inline double run_self_seconds(const std::vector<std::string>& args)
{
	char self[4096] = {0};
	if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return -1;
	std::string cmd = "'" + std::string(self) + "'";
	for (const std::string& a : args) cmd += " '" + a + "'";
	sync();
	FILE* p = popen(cmd.c_str(), "r");
	if (!p) return -1;
	double secs = -1;
	char line[1024];
	while (std::fgets(line, sizeof line, p))
		if (std::strncmp(line, "seconds ", 8) == 0) secs = std::atof(line + 8);
		else std::fputs(line, stderr);
	return pclose(p) == 0 ? secs : -1;
}

}  // namespace bench
