// Install and checksum throughput of the engine against the tools a user
// would pick for the same bytes:
//  1. a release of 2,000 files (200 MB, 1 KB to 20 MB) installed from the
//     loopback server by the engine (in a process of its own, as the
//     installer runs it), against the same files as ONE zip fetched with
//     curl and then unpacked with unzip, and streamed with curl | bsdtar -xf -.
//     Rounds are interleaved; each figure is the median of the rounds, with
//     the spread (lowest to highest) beside it. Peak memory of every process
//     is measured by /usr/bin/time -f %M around it, never from this large
//     process. A per-file curl + unzip loop over the engine's own archives
//     runs once as a secondary line.
//  2. the checksum pass over an installed copy of 5,000 files, against
//     md5sum and against xargs -P <cores> md5sum.
// Options: --rounds=N (default 5), --loop=0 skips the per-file loop.
// VENTORA_BENCH_PART=1 or 2 runs only that part.
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

#include "DIzivoz/Files/io_utils.h"
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

void mkdir_p(const std::string& path)
{
	for (size_t p = path.find('/', 1); p != std::string::npos; p = path.find('/', p + 1)) mkdir(path.substr(0, p).c_str(), 0755);
	mkdir(path.c_str(), 0755);
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

std::string option(int argc, char** argv, const std::string& key, const std::string& def)
{
	for (int i = 1; i < argc; ++i) {
		const std::string a = argv[i];
		if (a.compare(0, key.size() + 1, key + "=") == 0) return a.substr(key.size() + 1);
	}
	return def;
}

// What /usr/bin/time wrote to file, one line a process ("peak KB, user s,
// system s"): the sum of the peaks in MiB, and of the CPU seconds.
double peak_mib_in(const std::string& file, double* cpu = nullptr)
{
	std::ifstream in(file);
	double kb = 0, user = 0, sys = 0, sum = 0, secs = 0;
	while (in >> kb >> user >> sys) {
		sum += kb;
		secs += user + sys;
	}
	if (cpu) *cpu = secs;
	return sum / 1024.0;
}

double median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	if (v.empty()) return 0;
	return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct series {
	std::vector<double> secs, mib, cpu;
	void print(const char* name, double mb) const
	{
		const double m = median(secs);
		std::printf("  %-30s %7.3f s (%.3f-%.3f)  %6.1f MB/s  CPU %5.2f s  peak %5.1f MiB (%.1f-%.1f)\n", name, m,
		            *std::min_element(secs.begin(), secs.end()), *std::max_element(secs.begin(), secs.end()), mb / m,
		            median(cpu), median(mib), *std::min_element(mib.begin(), mib.end()),
		            *std::max_element(mib.begin(), mib.end()));
	}
};

// The engine's side, run in a fresh process: the install pages' work from the
// manifest to the last file, against the server at 127.0.0.1:port.
int engine_child(int argc, char** argv)
{
	MACIBM_set_alert_sink([](const alert_record& a) { std::fprintf(stderr, "alert: %s %s\n", a.line1.c_str(), a.line2.c_str()); });
	stg_set_start_values();
	stg.server_count = 1;
	server_name[0] = kHost;
	server_path[0] = kServerPath;
	dest_dir_path = option(argc, argv, "--dest", "");
	temp_path = option(argc, argv, "--staging", "");
	mkdir(temp_path.c_str(), 0700);
	http.proxy_host = "127.0.0.1";
	http.proxy_port = std::atoi(option(argc, argv, "--port", "0").c_str());
	const double t0 = now_s();
	xtim.elapsed = 0;
	const std::string refused = vtest::prepare_install(option(argc, argv, "--manifest", ""), 0);
	if (!refused.empty()) {
		std::fprintf(stderr, "refused by %s\n", refused.c_str());
		return 1;
	}
	stg.stream_count = std::atoi(option(argc, argv, "--streams", "0").c_str());
	const double t1 = now_s();
	long passes = 0;
	while (grab_files() == 0) { xtim.elapsed = float(now_s() - t0); ++passes; }
	if (std::getenv("VENTORA_BENCH_DEBUG")) std::fprintf(stderr, "prepare %.3f s, loop %.3f s, %ld passes\n", t1 - t0, now_s() - t1, passes);
	if (stg.install_problems) std::fprintf(stderr, "install problems were reported\n");
	return stg.install_problems ? 1 : 0;
}

void print_ratio(const char* what, double ours, double theirs)
{
	std::printf("  %-44s %8.2f x %s\n", what, theirs / ours, theirs >= ours ? "(ours faster)" : "(ours slower)");
}

}  // namespace

int main(int argc, char** argv)
{
	if (argc > 1 && std::string(argv[1]) == "--engine-child") return engine_child(argc, argv);
	MACIBM_set_alert_sink([](const alert_record& a) { std::fprintf(stderr, "alert: %s %s\n", a.line1.c_str(), a.line2.c_str()); });
	stg_set_start_values();
	stg.server_count = 1;
	vtest::temp_folder tmp;
	temp_path = tmp.path() + "staging/";
	mkdir(temp_path.c_str(), 0700);
	const int rounds = std::max(1, std::atoi(option(argc, argv, "--rounds", "5").c_str()));
	const bool loop = option(argc, argv, "--loop", "1") != "0";

	const char* part_env = std::getenv("VENTORA_BENCH_PART");
	const int part = part_env ? std::atoi(part_env) : 0;

	// ---- 1. install ----
	if (part != 2) {
	const int file_count = 2000;
	const size_t total = 200u << 20;
	std::vector<vtest::grab_file> files;
	const std::vector<size_t> sizes = release_sizes(file_count, total);
	size_t bytes = 0;
	const std::string plain = tmp.path() + "plain/";
	for (int i = 0; i < file_count; ++i) {
		vtest::grab_file f;
		f.rel = "Resources/set" + std::to_string(i % 40) + "/file " + std::to_string(i) + ".dat";
		f.data = content(sizes[i], unsigned(i + 1));
		bytes += f.data.size();
		files.push_back(std::move(f));
	}
	static vtest::http_server server(tmp.path() + "www/");
	std::printf("Preparing %d archives and one zip of them all (%.1f MB of files)...\n", file_count, bytes / 1048576.0);
	const std::string archive_root = server.root() + kHost + kServerPath;
	vtest::write_archives(archive_root, "Top", files);
	vtest::write_file_bytes(tmp.path() + "directory.txt", vtest::manifest_text("Top", files));
	// The same files as one zip, deflated as the engine's archives are.
	std::set<std::string> folders;
	for (const auto& f : files) folders.insert(plain + f.rel.substr(0, f.rel.rfind('/')));
	run_command("mkdir -p " + shell_quote(plain));
	for (const auto& d : folders) mkdir_p(d);
	for (auto& f : files) {
		vtest::write_file_bytes(plain + f.rel, f.data);
		std::string().swap(f.data);
	}
	const std::string one_zip = archive_root + "all.zip";
	run_command("cd " + shell_quote(plain) + " && bsdtar --format zip --options zip:compression=deflate -cf " +
	            shell_quote(one_zip) + " Resources");
	run_command("rm -rf " + shell_quote(plain));
	struct stat zst;
	stat(one_zip.c_str(), &zst);
	std::printf("One zip: %.1f MB; the per-file archives are served from the same folder.\n", zst.st_size / 1048576.0);

	const std::string port = std::to_string(server.port());
	const std::string proxy = "-x 127.0.0.1:" + port + " ";
	const std::string zip_url = shell_quote(std::string("http://") + kHost + url_path(std::string(kServerPath) + "all.zip"));
	const std::string mem = tmp.path() + "mem.txt";
	const std::string timed = "/usr/bin/time -a -o " + shell_quote(mem) + " -f '%M %U %S' ";
	char self[4096] = {};
	if (readlink("/proc/self/exe", self, sizeof(self) - 1) < 0) return 1;
	const std::string dest = tmp.path() + "dest/";
	const std::string ref_zip = temp_path + "all.zip";

	struct contender {
		const char* name;
		std::string command;
		series s;
	};
	std::vector<contender> runs = {
	    {"engine (automatic streams)",
	     timed + shell_quote(self) + " --engine-child --port=" + port + " --manifest=" + shell_quote(tmp.path() + "directory.txt") +
	         " --dest=" + shell_quote(dest) + " --staging=" + shell_quote(temp_path)},
	    {"curl, then unzip (one zip)",
	     timed + "curl -s -f " + proxy + "-o " + shell_quote(ref_zip) + " " + zip_url + " && " + timed + "unzip -q -o " +
	         shell_quote(ref_zip) + " -d " + shell_quote(dest) + " && rm -f " + shell_quote(ref_zip)},
	    {"curl | bsdtar -xf - (one zip)",
	     "mkdir -p " + shell_quote(dest) + " && " + timed + "curl -s -f " + proxy + zip_url + " | " + timed +
	         "bsdtar -xf - -C " + shell_quote(dest)},
	};
	for (int r = 0; r < rounds; ++r) {
		for (contender& c : runs) {
			run_command("rm -rf " + shell_quote(dest) + " " + shell_quote(mem));
			sync();
			c.s.secs.push_back(run_command(c.command));
			double cpu = 0;
			c.s.mib.push_back(peak_mib_in(mem, &cpu));
			c.s.cpu.push_back(cpu);
		}
		std::printf("  round %d of %d done\n", r + 1, rounds);
		std::fflush(stdout);
	}

	// Secondary: curl + unzip per file over the engine's own archives.
	double loop_secs = 0, loop_mib = 0;
	if (loop) {
		run_command("rm -rf " + shell_quote(dest) + " " + shell_quote(mem));
		std::string script = "set -e\n";
		for (const auto& d : folders) script += "mkdir -p " + shell_quote(dest + d.substr(plain.size())) + "\n";
		for (const auto& f : files) {
			script += "curl -s -f " + proxy + "-o " + shell_quote(ref_zip) + " " +
			          shell_quote(std::string("http://") + kHost + url_path(std::string(kServerPath) + "Top/" + f.rel + ".zip")) +
			          "\nunzip -o -q " + shell_quote(ref_zip) + " -d " + shell_quote(dest + f.rel.substr(0, f.rel.rfind('/'))) +
			          "\nrm -f " + shell_quote(ref_zip) + "\n";
		}
		vtest::write_file_bytes(tmp.path() + "ref.sh", script);
		sync();
		loop_secs = run_command(timed + "bash " + shell_quote(tmp.path() + "ref.sh"));
		loop_mib = peak_mib_in(mem);
	}

	const double mb = bytes / 1048576.0;
	std::printf("\nInstall of %d files, %.1f MB, from 127.0.0.1, median of %d interleaved rounds (spread):\n", file_count,
	            mb, rounds);
	for (const contender& c : runs) c.s.print(c.name, mb);
	if (loop)
		std::printf("  %-30s %7.3f s (one run)  %7.1f MB/s  peak %6.1f MiB (largest process)\n",
		            "curl + unzip per file (loop)", loop_secs, mb / loop_secs, loop_mib);
	const double ours = median(runs[0].s.secs), unzip = median(runs[1].s.secs), bsdtar = median(runs[2].s.secs);
	print_ratio("curl + unzip time / engine time", ours, unzip);
	print_ratio("curl | bsdtar time / engine time", ours, bsdtar);
	if (loop) print_ratio("per-file loop time / engine time", ours, loop_secs);
	const double our_mib = median(runs[0].s.mib), unzip_mib = median(runs[1].s.mib), bsdtar_mib = median(runs[2].s.mib);
	std::printf("  %-44s %8.2f x\n", "engine peak / (curl + unzip) peaks", our_mib / unzip_mib);
	std::printf("  %-44s %8.2f x\n", "engine peak / (curl + bsdtar) peaks", our_mib / bsdtar_mib);
	std::printf("  goal: at least as fast as curl + unzip: %s; as curl | bsdtar: %s\n", ours <= unzip ? "met" : "NOT met",
	            ours <= bsdtar ? "met" : "not yet");
	std::printf("  goal: peak memory at most twice the peers' sum: %s\n",
	            our_mib <= 2 * std::min(unzip_mib, bsdtar_mib) ? "met" : "NOT met");
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
