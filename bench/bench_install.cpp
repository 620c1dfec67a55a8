// Install and checksum throughput of the engine against shell tools:
//  1. a release of 2,000 files (200 MB, 1 KB to 20 MB) installed from the
//     loopback server with 1 and with 4 streams, against a loop of curl +
//     unzip over the same archives;
//     beside each time, the peak memory: of this process (engine and loopback
//     server) for the engine, of the largest child for the shell loop;
//  2. the checksum pass over an installed copy of 5,000 files, against
//     md5sum and against xargs -P <cores> md5sum.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/Thread/UTL_thread.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"
#include "tests/support/install_driver.h"

namespace {

const char* const kHost = "releases.test";
const char* const kServerPath = "/bench/Ventora 9 Demo/";

double now_s()
{
	using namespace std::chrono;
	return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Half noise, half text: archives compress about as the product's files do.
std::string content(size_t n, unsigned seed)
{
	std::string out(n, '\0');
	static const char text[] = "Ventora flight model table 0.125 0.250 0.500 1.000\n";
	for (size_t i = 0; i < n; ++i) {
		if ((i / 4096) % 2 == 0) {
			seed = seed * 1103515245u + 12345u;
			out[i] = char(seed >> 16);
		} else {
			out[i] = text[i % (sizeof(text) - 1)];
		}
	}
	return out;
}

// File sizes: five of 20 MB, the rest spread log-evenly from 1 KB, scaled so
// the whole release is 200 MB.
std::vector<size_t> release_sizes(int count, size_t total)
{
	std::vector<size_t> sizes;
	const size_t big = 20u << 20;
	for (int i = 0; i < 5; ++i) sizes.push_back(big);
	std::vector<double> raw;
	double sum = 0;
	for (int i = 5; i < count; ++i) {
		const double u = double((i * 7919) % (count - 5)) / double(count - 5);
		raw.push_back(std::pow(2000.0, u));
		sum += raw.back();
	}
	const double rest = double(total - 5 * big);
	for (double r : raw) sizes.push_back(std::max<size_t>(1024, size_t(r / sum * rest)));
	return sizes;
}

std::string shell_quote(const std::string& s)
{
	std::string out = "'";
	for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
	return out + "'";
}

std::string url_path(const std::string& s)
{
	std::string out;
	for (char c : s) out += c == ' ' ? std::string("%20") : std::string(1, c);
	return out;
}

double run_command(const std::string& cmd)
{
	const double t0 = now_s();
	if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "command failed: %s\n", cmd.c_str());
	return now_s() - t0;
}

// A field of /proc/self/status in kB.
long status_kb(const char* field)
{
	std::ifstream in("/proc/self/status");
	std::string line;
	const size_t n = std::strlen(field);
	while (std::getline(in, line))
		if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
	return -1;
}

// Resident memory of this process in MiB: resets the high-water mark and
// returns the current size; then the peak since that reset.
double reset_peak_mib()
{
	std::ofstream("/proc/self/clear_refs") << "5";
	return status_kb("VmRSS") / 1024.0;
}
double peak_mib() { return status_kb("VmHWM") / 1024.0; }

// One install of the published release into dest with the engine; seconds.
double engine_install(const std::string& manifest, const std::string& dest, int streams)
{
	dest_dir_path = dest;
	if (!vtest::prepare_install(manifest, 0).empty()) return -1;
	stg.stream_count = streams;
	// Earlier runs' dirty pages would otherwise be written back during this one.
	sync();
	const double t0 = now_s();
	xtim.elapsed = 0;
	next_reset(0);
	while (grab_files() == 0) xtim.elapsed = float(now_s() - t0);
	const double secs = now_s() - t0;
	if (stg.install_problems) std::fprintf(stderr, "install problems were reported\n");
	return secs;
}

void print_ratio(const char* what, double ours, double theirs)
{
	std::printf("  %-44s %8.2f x %s\n", what, theirs / ours, theirs >= ours ? "(ours faster)" : "(ours slower)");
}

}  // namespace

int main()
{
	MACIBM_set_alert_sink([](const alert_record& a) { std::fprintf(stderr, "alert: %s %s\n", a.line1.c_str(), a.line2.c_str()); });
	stg_set_start_values();
	stg.server_count = 1;
	vtest::temp_folder tmp;
	temp_path = tmp.path() + "staging/";
	mkdir(temp_path.c_str(), 0700);

	// VENTORA_BENCH_PART=1 or 2 runs only that part.
	const char* part_env = std::getenv("VENTORA_BENCH_PART");
	const int part = part_env ? std::atoi(part_env) : 0;

	// ---- 1. install ----
	if (part != 2) {
	const int file_count = 2000;
	const size_t total = 200u << 20;
	std::vector<vtest::grab_file> files;
	const std::vector<size_t> sizes = release_sizes(file_count, total);
	size_t bytes = 0;
	for (int i = 0; i < file_count; ++i) {
		vtest::grab_file f;
		f.rel = "Resources/set" + std::to_string(i % 40) + "/file " + std::to_string(i) + ".dat";
		f.data = content(sizes[i], unsigned(i + 1));
		bytes += f.data.size();
		files.push_back(std::move(f));
	}
	static vtest::http_server server(tmp.path() + "www/");
	std::printf("Preparing %d archives (%.1f MB of files)...\n", file_count, bytes / 1048576.0);
	const std::string archive_root = server.root() + kHost + kServerPath;
	vtest::write_archives(archive_root, "Top", files);
	vtest::write_file_bytes(tmp.path() + "directory.txt", vtest::manifest_text("Top", files));
	for (auto& f : files) std::string().swap(f.data);

	vtest::point_engine_at(server, kHost, kServerPath, tmp.path() + "one/", temp_path);

	const std::string manifest = tmp.path() + "directory.txt";
	// The first start figure still holds what the allocator kept from
	// preparing the release.
	const double one_start = reset_peak_mib();
	const double one = engine_install(manifest, tmp.path() + "one/", 1);
	const double one_peak = peak_mib();
	const double four_start = reset_peak_mib();
	const double four = engine_install(manifest, tmp.path() + "four/", 4);
	const double four_peak = peak_mib();

	// Reference: curl + unzip per file, one after the other.
	const std::string ref_dest = tmp.path() + "ref/";
	std::string script = "set -e\n";
	std::set<std::string> folders;
	for (const auto& f : files) folders.insert(ref_dest + f.rel.substr(0, f.rel.rfind('/')));
	for (const auto& d : folders) script += "mkdir -p " + shell_quote(d) + "\n";
	const std::string ref_zip = temp_path + "ref.zip";
	for (const auto& f : files) {
		script += "curl -s -f -x 127.0.0.1:" + std::to_string(server.port()) + " -o " + shell_quote(ref_zip) + " " +
		          shell_quote(std::string("http://") + kHost + url_path(std::string(kServerPath) + "Top/" + f.rel + ".zip")) +
		          "\nunzip -o -q " + shell_quote(ref_zip) + " -d " + shell_quote(ref_dest + f.rel.substr(0, f.rel.rfind('/'))) +
		          "\nrm -f " + shell_quote(ref_zip) + "\n";
	}
	vtest::write_file_bytes(tmp.path() + "ref.sh", script);
	sync();
	const double ref = run_command("bash " + shell_quote(tmp.path() + "ref.sh"));
	struct rusage children = {};
	getrusage(RUSAGE_CHILDREN, &children);
	const double ref_peak = children.ru_maxrss / 1024.0;

	std::printf("\nInstall of %d files, %.1f MB, from 127.0.0.1:\n", file_count, bytes / 1048576.0);
	std::printf("  engine, 1 stream          %8.3f s  %8.1f MB/s  peak %7.1f MiB (%.1f at start)\n", one,
	            bytes / 1048576.0 / one, one_peak, one_start);
	std::printf("  engine, 4 streams         %8.3f s  %8.1f MB/s  peak %7.1f MiB (%.1f at start)\n", four,
	            bytes / 1048576.0 / four, four_peak, four_start);
	std::printf("  curl + unzip shell loop   %8.3f s  %8.1f MB/s  peak %7.1f MiB (largest child)\n", ref,
	            bytes / 1048576.0 / ref, ref_peak);
	print_ratio("shell loop time / engine 1 stream time", one, ref);
	print_ratio("shell loop time / engine 4 streams time", four, ref);
	std::printf("  %-44s %8.2f x\n", "engine 1 stream time / engine 4 streams time", one / four);
	std::printf("  goal: the install beats the shell loop: %s\n", (one < ref && four < ref) ? "met" : "NOT met");
	}
	if (part == 1) return 0;

	// ---- 2. checksum ----
	const std::string manifest = tmp.path() + "directory.txt";
	const int sum_count = 5000;
	const std::string copy = tmp.path() + "copy/";
	std::vector<vtest::grab_file> installed;
	std::string list;
	size_t sum_bytes = 0;
	for (int i = 0; i < sum_count; ++i) {
		vtest::grab_file f;
		f.rel = "Resources/dir" + std::to_string(i % 50) + "/f" + std::to_string(i) + ".bin";
		const size_t n = 1024 + size_t((i * 2654435761u) % (80 * 1024));
		const std::string data = content(n, unsigned(i + 7));
		mkdir((copy).c_str(), 0755);
		mkdir((copy + "Resources").c_str(), 0755);
		mkdir((copy + f.rel.substr(0, f.rel.rfind('/'))).c_str(), 0755);
		vtest::write_file_bytes(copy + f.rel, data);
		f.data = data;
		sum_bytes += n;
		list += copy + f.rel + '\0';
		installed.push_back(std::move(f));
	}
	vtest::write_file_bytes(manifest, vtest::manifest_text("Top", installed));
	installed.clear();
	vtest::write_file_bytes(tmp.path() + "list0", list);
	const std::string list_file = shell_quote(tmp.path() + "list0");
	const int cores = UTL_count_processors();
	// Warm the page cache so every contender reads from memory.
	run_command("xargs -0 cat < " + list_file + " > /dev/null");

	dest_dir_path = copy;
	auto checksum_pass = [&](int threads) {
		read_directory(manifest);
		set_install_filter(1, 1);
		tasks_set_processor_count(threads);
		const double t0 = now_s();
		int next_file = 0;
		float progress = 0;
		while (!checksum_directory(next_file, progress)) usleep(50);
		tasks_set_processor_count(0);
		return now_s() - t0;
	};
	const double ours_one = checksum_pass(1);
	const double ours = checksum_pass(0);
	int matched = 0;
	for (const auto& h : sim_info) matched += h.back().have_is_want;

	const double serial = run_command("xargs -0 md5sum < " + list_file + " > /dev/null");
	const double parallel = run_command("xargs -0 -n 100 -P " + std::to_string(cores) + " md5sum < " + list_file + " > /dev/null");

	std::printf("\nChecksum of %d installed files, %.1f MB, %d cores (%d matched):\n", sum_count,
	            sum_bytes / 1048576.0, cores, matched);
	std::printf("  checksum_directory, 1 thread   %8.3f s\n", ours_one);
	std::printf("  checksum_directory        %8.3f s\n", ours);
	std::printf("  md5sum                    %8.3f s\n", serial);
	std::printf("  xargs -P %-2d md5sum        %8.3f s\n", cores, parallel);
	print_ratio("md5sum time / checksum_directory time", ours, serial);
	print_ratio("parallel md5sum time / checksum_directory time", ours, parallel);
	std::printf("  goal: at least as fast as parallel md5sum: %s\n", ours <= parallel ? "met" : "NOT met");

	http.kill_all();
	MACIBM_set_alert_sink(nullptr);
	return 0;
}
