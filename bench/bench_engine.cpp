// Time to read a large release manifest and to decide on it: read_directory,
// choose_files and recalc_disk_sizes over N files (two versions each, one in
// eight a scenery tile), with the disk state a checksum pass would leave
// (a third absent, a third current, a third of the older release).
//
// Options: --files=N --runs=N (defaults 100000 3); --versions=1 lists one
// version a file, --gone lists every file as dropped. The peak resident
// memory is printed at the end (also what `/usr/bin/time -f %M` reports).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "Installer-f/utils.h"

namespace {

// Resident and peak resident memory now, in MB.
// This process's resident and peak memory in KB (VmRSS, VmHWM).
void read_memory(long& rss, long& hwm)
{
	rss = hwm = 0;
	if (FILE* f = std::fopen("/proc/self/status", "r")) {
		char line[256];
		while (std::fgets(line, sizeof(line), f)) {
			if (std::strncmp(line, "VmRSS:", 6) == 0) rss = std::atol(line + 6);
			if (std::strncmp(line, "VmHWM:", 6) == 0) hwm = std::atol(line + 6);
		}
		std::fclose(f);
	}
}

void print_memory(const char* when)
{
	long rss = 0, hwm = 0;
	read_memory(rss, hwm);
	std::printf("  %s: resident %.1f MB, peak %.1f MB\n", when, rss / 1024.0, hwm / 1024.0);
}

double best_of(int runs, const std::function<void()>& run)
{
	double best = 1e30;
	for (int i = 0; i < runs; ++i) {
		auto t0 = std::chrono::steady_clock::now();
		run();
		double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
		if (s < best) best = s;
	}
	return best;
}

std::string sig(int n, int v)
{
	char buf[40];
	std::snprintf(buf, sizeof(buf), "%016x%016x", n, v);
	return buf;
}

}  // namespace

int main(int argc, char** argv)
{
	int files = 100000, runs = 3, versions = 2;
	bool gone = false;
	for (int i = 1; i < argc; ++i) {
		if (std::strncmp(argv[i], "--files=", 8) == 0) files = std::atoi(argv[i] + 8);
		if (std::strncmp(argv[i], "--runs=", 7) == 0) runs = std::atoi(argv[i] + 7);
		if (std::strncmp(argv[i], "--versions=", 11) == 0) versions = std::atoi(argv[i] + 11) == 1 ? 1 : 2;
		if (std::strcmp(argv[i], "--gone") == 0) gone = true;
	}

	char tmpl[] = "/tmp/bench_engine_XXXXXX";
	if (!mkdtemp(tmpl)) return 1;
	std::string path = std::string(tmpl) + "/directory.txt";
	{
		std::ofstream out(path);
		out << "I\n900 version\nINSTALLER\n";
		for (int n = 0; n < files; ++n) {
			if (n % 100 == 0) out << "\nDIR All/Resources/folder " << n / 100 << "/\n";
			std::string name = (n % 8 == 7) ? "Global Scenery/+" + std::to_string(10 + n % 70) + "+" +
			                                      std::to_string(100 + n % 70) + "/f" + std::to_string(n) + ".dsf"
			                                : "file " + std::to_string(n) + ".txt";
			if (versions == 2) out << "FILE 0 0 900 10 20 " << sig(n, 0) << " " << name << "\n";
			if (gone)
				out << "FILE 0 0 91001 0 0 GONE " << name << "\n";
			else
				out << "FILE 0 0 901 12 24 " << sig(n, 1) << " " << name << "\n";
		}
	}
	struct stat text;
	if (stat(path.c_str(), &text) == 0)
		std::printf("manifest: %d files, %d version(s) each, %.1f MB of text\n", files, versions,
		            (double)text.st_size / 1e6);

	double t_read = best_of(runs, [&] { read_directory(path); });
	std::printf("read_directory: %d files in %.3f s\n", (int)sim_info.size(), t_read);
	print_memory("after reading");
	double path_bytes = 0;
	for (const file_history_struct& h : sim_info)
		for (const file_version_struct& v : h) path_bytes += (double)v.path.size();

	scenery_take_all();
	dest_dir_path = "/dest/";
	double t_choose = best_of(runs, [&] {
		for (size_t f = 0; f < sim_info.size(); ++f) {
			file_version_struct& v = sim_info[f].back();
			v.sig_have = (f % 3 == 0) ? "NONE" : (f % 3 == 1) ? v.sig_want : sim_info[f][0].sig_want;
			v.have_is_want = f % 3 == 1;
		}
		choose_files();
	});
	std::printf("choose_files: %.3f s\n", t_choose);
	print_memory("after choosing");

	double t_recalc = best_of(runs, [] { recalc_disk_sizes(); });
	std::printf("recalc_disk_sizes: %.4f s (install %d files, %.0f KB)\n", t_recalc, stg.count_install,
	            stg.total_install_kb);

	// This process's own peak (it forks nothing).
	long rss = 0, peak_kb = 0;
	read_memory(rss, peak_kb);
	std::printf("peak resident memory: %.1f MB (%.0f bytes a file)\n", (double)peak_kb / 1024.0,
	            (double)peak_kb * 1024.0 / (files > 0 ? files : 1));
	// The goal counts what an entry costs beside its path's own characters.
	std::printf("  beyond the paths' text (%.1f MB): %.0f bytes a file\n", path_bytes / 1e6,
	            ((double)peak_kb * 1024.0 - path_bytes) / (files > 0 ? files : 1));
	unlink(path.c_str());
	rmdir(tmpl);
	return 0;
}
