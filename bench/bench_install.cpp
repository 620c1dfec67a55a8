// Install and checksum throughput of the engine against the tools a user
// would pick for the same bytes:
//  1. a growth table: releases of 200 / 2,000 / 20,000 files of 20 MB /
//     200 MB / 1 GB (five files of a fortieth of the total each, the rest
//     spread log-evenly from 1 KB), served over loopback by nginx (or the
//     project's test server, see --server), and installed
//       - by the product's headless path in a process of its own (this
//         program started again with --engine-child, as build/ventora_demo
//         runs it: the zipped manifest fetched over HTTP and read, the
//         destination checksummed, choose_files and make_dirs, then download
//         frames of 20 ms with a 1 ms pause);
//       - as ONE zip of the same files fetched with curl, then unpacked with
//         unzip (memory: the larger of the two processes, which run one
//         after the other);
//       - as that zip streamed with curl | bsdtar -xf - (memory: the sum of
//         the two, which run at once);
//       - as the same per-file archives fetched by aria2c over four
//         connections, then each unpacked by unzip (both steps timed;
//         memory: the largest process).
//     Only each contender's own work is timed (clearing the destination and
//     removing a zip are not). Rounds are interleaved and their order turns
//     every round; each figure is the median of the rounds with the spread
//     (lowest to highest) beside it, and the load average is printed with
//     every cell. Peak memory of every process is measured by
//     /usr/bin/time -f %M around it, never from this large process.
//  2. the checksum pass over an installed copy of 5,000 files, against
//     md5sum and against xargs -P <cores> md5sum.
// Options: --rounds=N (default 5); --files=200,2000,20000 and
// --mb=20,200,1024 pick the table's rows and columns (default all nine
// cells), or --cells=2000x200,20000x200 picks cells; --server=nginx (the
// default where Debian's nginx-light is installed) serves the releases,
// --server=process the project's own test server in a process of its own
// (the default otherwise), --server=inproc that server in this process;
// --peers=0 runs the engine alone; --aria-files=N runs aria2c only in cells
// of at most N files (default 20000; at about 16 ms a file it takes minutes
// a round there).
// VENTORA_BENCH_PART=1 or 2 runs only that part.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_archive.h"
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
#include "bench/bench_measure.h"
#include "tests/support/grab_release.h"
#include "tests/support/dvd_discs.h"
#include "tests/support/http_server.h"
#include "tests/support/install_driver.h"

namespace {

const char* const kHost = "releases.test";

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

// Five files of a fortieth of the total each, the rest spread log-evenly from 1 KB.
std::vector<size_t> release_sizes(int count, size_t total)
{
	std::vector<size_t> sizes;
	const size_t big = total / 40;
	for (int i = 0; i < 5 && i < count; ++i) sizes.push_back(big);
	std::vector<double> raw;
	double sum = 0;
	for (int i = 5; i < count; ++i) {
		const double u = double((i * 7919) % (count - 5)) / double(count - 5);
		raw.push_back(std::pow(2000.0, u));
		sum += raw.back();
	}
	const double rest = double(total - sizes.size() * big);
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

std::vector<long> number_list(const std::string& text)
{
	std::vector<long> out;
	std::stringstream in(text);
	std::string item;
	while (std::getline(in, item, ','))
		if (!item.empty()) out.push_back(std::atol(item.c_str()));
	return out;
}

// What /usr/bin/time wrote to file, one line a process ("peak KB, user s,
// system s"): the peaks in MiB, and the CPU seconds of them all.
std::vector<double> peaks_mib_in(const std::string& file, double* cpu = nullptr, double* system = nullptr)
{
	std::ifstream in(file);
	double kb = 0, user = 0, sys = 0, secs = 0, kernel = 0;
	std::vector<double> peaks;
	while (in >> kb >> user >> sys) {
		peaks.push_back(kb / 1024.0);
		secs += user + sys;
		kernel += sys;
	}
	if (cpu) *cpu = secs;
	if (system) *system = kernel;
	return peaks;
}

double median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	if (v.empty()) return 0;
	return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Sockets of this machine in TIME_WAIT (IPv4), as /proc/net/tcp lists them:
// what one round leaves for the next to meet; with a port, only the clients'
// side of connections to that port.
int time_wait_sockets(unsigned short remote_port = 0)
{
	std::ifstream in("/proc/net/tcp");
	std::string line;
	int n = 0;
	std::getline(in, line);
	while (std::getline(in, line)) {
		std::istringstream f(line);
		std::string sl, local, remote, st;
		if (f >> sl >> local >> remote >> st && st == "06" &&
		    (!remote_port || std::strtoul(remote.substr(remote.find(':') + 1).c_str(), nullptr, 16) == remote_port))
			++n;
	}
	return n;
}

// The engine's side, run in a fresh process: what build/ventora_demo does
// from the manifest's download to the last file, against the server at
// 127.0.0.1:port.
int engine_child(int argc, char** argv)
{
	MACIBM_set_alert_sink([](const alert_record& a) { std::fprintf(stderr, "alert: %s %s\n", a.line1.c_str(), a.line2.c_str()); });
	const double t0 = now_s();
	vtest::point_engine_at((unsigned short)std::atoi(option(argc, argv, "--port", "0").c_str()), kHost,
	                       option(argc, argv, "--path", ""), option(argc, argv, "--dest", ""),
	                       option(argc, argv, "--staging", ""));
	auto elapsed = [&] { return float(now_s() - t0); };
	if (!vtest::fetch_manifest(elapsed).empty()) {
		std::fprintf(stderr, "the manifest could not be fetched\n");
		return 1;
	}
	const std::string refused = vtest::prepare_install(temp_path + "directory.txt", elapsed());
	if (!refused.empty()) {
		std::fprintf(stderr, "refused by %s\n", refused.c_str());
		return 1;
	}
	const double t1 = now_s();
	while (!vtest::install_frame(20)) {
		xtim.elapsed = elapsed();
		usleep(1000);
	}
	if (std::getenv("VENTORA_BENCH_DEBUG")) std::fprintf(stderr, "set-up %.3f s, download frames %.3f s\n", t1 - t0, now_s() - t1);
	const int problems = stg.install_problems;
	vtest::release_engine();
	if (problems) std::fprintf(stderr, "install problems were reported\n");
	return problems ? 1 : 0;
}

// The loopback server alone, in a process of its own: prints its port, then
// serves until it is ended.
int server_child(int argc, char** argv)
{
	vtest::http_server server(option(argc, argv, "--root", ""));
	std::printf("port %u\n", server.port());
	std::fflush(stdout);
	for (;;) pause();
}

// This program started again as the server; its pid and port, or pid -1.
struct server_process {
	pid_t pid = -1;
	unsigned short port = 0;
};

server_process start_server_process(const std::string& self, const std::string& root)
{
	server_process sp;
	int fds[2];
	if (pipe(fds) != 0) return sp;
	const pid_t pid = fork();
	if (pid == 0) {
		dup2(fds[1], 1);
		close(fds[0]);
		close(fds[1]);
		const std::string arg = "--root=" + root;
		execl(self.c_str(), self.c_str(), "--server-child", arg.c_str(), (char*)nullptr);
		_exit(127);
	}
	close(fds[1]);
	FILE* in = fdopen(fds[0], "r");
	unsigned port = 0;
	if (pid > 0 && in && std::fscanf(in, "port %u", &port) == 1) {
		sp.pid = pid;
		sp.port = (unsigned short)port;
	} else if (pid > 0) {
		kill(pid, SIGKILL);
		waitpid(pid, nullptr, 0);
	}
	if (in) std::fclose(in);
	return sp;
}

// nginx serving the same folder on a free loopback port, as a release's
// download servers would (pid -1 when nginx is not installed or did not start).
server_process start_nginx(const std::string& root, const std::string& work)
{
	server_process sp;
	const int probe = socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in a{};
	a.sin_family = AF_INET;
	a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t len = sizeof(a);
	if (probe < 0 || bind(probe, (sockaddr*)&a, sizeof(a)) != 0 || getsockname(probe, (sockaddr*)&a, &len) != 0) {
		if (probe >= 0) close(probe);
		return sp;
	}
	close(probe);
	const unsigned short port = ntohs(a.sin_port);
	mkdir_p(work);
	const std::string conf = work + "nginx.conf";
	// As root its worker would otherwise read the private temporary folder as nobody.
	std::ofstream(conf) << (geteuid() == 0 ? "user root;\n" : "") << "worker_processes 1;\ndaemon off;\npid " << work << "nginx.pid;\nerror_log " << work
	                    << "error.log;\nevents { worker_connections 4096; }\nhttp {\n  access_log off;\n  sendfile on;\n"
	                    << "  client_body_temp_path " << work << ";\n  proxy_temp_path " << work << ";\n"
	                    << "  fastcgi_temp_path " << work << ";\n  uwsgi_temp_path " << work << ";\n  scgi_temp_path "
	                    << work << ";\n  server {\n    listen 127.0.0.1:" << port << ";\n    root " << root << kHost
	                    << ";\n  }\n}\n";
	const pid_t pid = fork();
	if (pid == 0) {
		execlp(access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx", "nginx", "-q", "-p", work.c_str(), "-c", conf.c_str(), (char*)nullptr);
		_exit(127);
	}
	if (pid < 0) return sp;
	// Ready once it answers a connection.
	for (int i = 0; i < 200; ++i) {
		const int s = socket(AF_INET, SOCK_STREAM, 0);
		const bool up = connect(s, (sockaddr*)&a, sizeof(a)) == 0;
		close(s);
		if (up) {
			sp.pid = pid;
			sp.port = port;
			return sp;
		}
		if (waitpid(pid, nullptr, WNOHANG) == pid) return sp;
		usleep(10000);
	}
	kill(pid, SIGKILL);
	waitpid(pid, nullptr, 0);
	return sp;
}

void stop_server_process(server_process& sp)
{
	if (sp.pid <= 0) return;
	kill(sp.pid, SIGTERM);
	waitpid(sp.pid, nullptr, 0);
	sp.pid = -1;
}

struct series {
	std::vector<double> secs, mib, cpu, step1;
	void add(double s, double m, double c, double first = -1)
	{
		secs.push_back(s);
		mib.push_back(m);
		cpu.push_back(c);
		step1.push_back(first);
	}
	void print(const char* name, double mb, const char* memory_is) const
	{
		const double m = median(secs);
		std::printf("  %-32s %8.3f s (%.3f-%.3f) %7.1f MB/s  CPU %6.2f s  peak %6.1f MiB (%s)\n", name, m,
		            *std::min_element(secs.begin(), secs.end()), *std::max_element(secs.begin(), secs.end()), mb / m,
		            median(cpu), median(mib), memory_is);
	}
};

struct cell_result {
	int files = 0;
	double mb = 0;
	double ours = 0, unzip = 0, bsdtar = 0, aria = 0, aria_dl = 0;
	double ours_mib = 0, unzip_mib = 0, bsdtar_mib = 0, aria_mib = 0;
	std::string load;
};

// One cell of the table: the release made and served, every contender run
// `rounds` times, interleaved.
cell_result run_cell(int file_count, double total_mb, int rounds, bool peers, bool with_aria, const std::string& work,
                     const std::string& www, unsigned short port, const std::string& self)
{
	cell_result res;
	res.files = file_count;
	const std::string cell = std::to_string(file_count) + "x" + std::to_string((long)total_mb);
	const std::string server_path = "/bench/" + cell + "/";
	const std::string archive_root = www + kHost + server_path;
	const std::string plain = work + "plain/";
	mkdir_p(archive_root);
	mkdir_p(plain);

	// The release: per-file archives, their zipped manifest, and the same
	// files as one zip, made one file at a time so a large release never sits
	// in memory.
	const std::vector<size_t> sizes = release_sizes(file_count, size_t(total_mb * 1048576.0));
	std::string manifest = vtest::manifest_text("Top", {});
	const size_t header = manifest.size();
	std::set<std::string> folders;
	std::vector<std::string> rels;
	size_t bytes = 0;
	std::printf("\nPreparing %d archives and one zip of them all (%.1f MB of files)...\n", file_count, total_mb);
	std::fflush(stdout);
	for (int i = 0; i < file_count; ++i) {
		vtest::grab_file f;
		f.rel = "Resources/set" + std::to_string(i % 40) + "/file " + std::to_string(i) + ".dat";
		f.data = content(sizes[i], unsigned(i + 1));
		bytes += f.data.size();
		const std::string dir = f.rel.substr(0, f.rel.rfind('/'));
		if (folders.insert(dir).second) mkdir_p(plain + dir);
		vtest::write_archives(archive_root, "Top", {f});
		vtest::write_file_bytes(plain + f.rel, f.data);
		manifest += vtest::manifest_text("Top", {f}).substr(header);
		rels.push_back(f.rel);
	}
	res.mb = bytes / 1048576.0;
	vtest::write_file_bytes(work + "directory.txt", manifest);
	std::string().swap(manifest);
	if (file_to_zip(work + "directory.txt", archive_root + "directory.txt.zip") != 0)
		std::fprintf(stderr, "the manifest could not be zipped\n");
	const std::string one_zip = archive_root + "all.zip";
	run_command("cd " + shell_quote(plain) + " && bsdtar --format zip --options zip:compression=deflate -cf " +
	            shell_quote(one_zip) + " Resources");
	run_command("rm -rf " + shell_quote(plain));
	sync();
	// Every contender reads what the server sends from the page cache.
	run_command("find " + shell_quote(archive_root) + " -type f -exec cat {} + > /dev/null");

	const std::string proxy = "-x 127.0.0.1:" + std::to_string(port) + " ";
	const std::string zip_url = shell_quote(std::string("http://") + kHost + url_path(server_path + "all.zip"));
	const std::string mem = work + "mem.txt";
	const std::string timed = "/usr/bin/time -a -o " + shell_quote(mem) + " -f '%M %U %S' ";
	const std::string dest = work + "dest/";
	const std::string staging = work + "staging/";
	const std::string ref_zip = work + "all.zip";
	const std::string dl = work + "dl/";

	// aria2c's list (each archive to its own place below dl/) and the
	// extraction script that follows it.
	{
		std::string list, script = "set -e\n";
		for (const std::string& d : folders) script += "mkdir -p " + shell_quote(dest + d) + "\n";
		for (const std::string& rel : rels) {
			list += std::string("http://") + kHost + url_path(server_path + "Top/" + rel + ".zip") + "\n  out=Top/" + rel +
			        ".zip\n";
			script += "unzip -o -q " + shell_quote(dl + "Top/" + rel + ".zip") + " -d " +
			          shell_quote(dest + rel.substr(0, rel.rfind('/'))) + "\n";
		}
		vtest::write_file_bytes(work + "aria2.txt", list);
		vtest::write_file_bytes(work + "unzip_all.sh", script);
	}

	auto clear = [&] {
		run_command("rm -rf " + shell_quote(dest) + " " + shell_quote(staging) + " " + shell_quote(mem) + " " +
		            shell_quote(ref_zip) + " " + shell_quote(dl));
		sync();
	};
	auto timed_run = [&](const std::string& cmd, double* cpu, std::vector<double>* peaks, double* system = nullptr) {
		run_command("rm -f " + shell_quote(mem));
		const double t = run_command(cmd);
		*peaks = peaks_mib_in(mem, cpu, system);
		return t;
	};
	auto max_of = [](const std::vector<double>& v) { return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()); };
	auto sum_of = [](const std::vector<double>& v) {
		double s = 0;
		for (double x : v) s += x;
		return s;
	};

	series ours, unzip, bsdtar, aria;
	// Ours, round by round: kernel time (a pile of sockets left behind would
	// grow it) and the client-side sockets in TIME_WAIT right after the run.
	std::vector<double> ours_sys;
	std::vector<int> ours_waiting;
	std::vector<std::function<void()>> contenders;
	contenders.push_back([&] {
		double cpu = 0, sys = 0;
		std::vector<double> p;
		const double t = timed_run(timed + shell_quote(self) + " --engine-child --port=" + std::to_string(port) +
		                               " --path=" + shell_quote(server_path) + " --dest=" + shell_quote(dest) +
		                               " --staging=" + shell_quote(staging),
		                           &cpu, &p, &sys);
		ours.add(t, max_of(p), cpu);
		ours_sys.push_back(sys);
		ours_waiting.push_back(time_wait_sockets(port));
		// Every file arrived, or the figure means nothing.
		const size_t got = vtest::files_below(dest).size();
		if (got != (size_t)file_count) std::printf("  ours installed %zu of %d files!\n", got, file_count);
	});
	if (peers) {
		contenders.push_back([&] {
			double c1 = 0, c2 = 0;
			std::vector<double> p1, p2;
			const double t1 = timed_run(timed + "curl -s -f " + proxy + "-o " + shell_quote(ref_zip) + " " + zip_url, &c1, &p1);
			const double t2 = timed_run(timed + "unzip -q -o " + shell_quote(ref_zip) + " -d " + shell_quote(dest), &c2, &p2);
			unzip.add(t1 + t2, std::max(max_of(p1), max_of(p2)), c1 + c2, t1);
		});
		contenders.push_back([&] {
			double cpu = 0;
			std::vector<double> p;
			run_command("mkdir -p " + shell_quote(dest));
			const double t = timed_run(timed + "curl -s -f " + proxy + zip_url + " | " + timed + "bsdtar -xf - -C " +
			                               shell_quote(dest),
			                           &cpu, &p);
			bsdtar.add(t, sum_of(p), cpu);
		});
		if (with_aria) contenders.push_back([&] {
			double c1 = 0, c2 = 0;
			std::vector<double> p1, p2;
			const double t1 = timed_run(timed + "aria2c -q -j 4 -x 1 --all-proxy=http://127.0.0.1:" + std::to_string(port) +
			                                " --file-allocation=none --allow-overwrite=true --auto-file-renaming=false" +
			                                " --summary-interval=0 --console-log-level=error -d " + shell_quote(dl) +
			                                " -i " + shell_quote(work + "aria2.txt"),
			                            &c1, &p1);
			const double t2 = timed_run(timed + "bash " + shell_quote(work + "unzip_all.sh"), &c2, &p2);
			aria.add(t1 + t2, std::max(max_of(p1), max_of(p2)), c1 + c2, t1);
		});
	}
	const std::string load_before = bench::load_average();
	for (int r = 0; r < rounds; ++r) {
		for (size_t k = 0; k < contenders.size(); ++k) {
			clear();
			contenders[(k + r) % contenders.size()]();
		}
		std::printf("  round %d of %d done (load %s; %d sockets in TIME_WAIT)\n", r + 1, rounds, bench::load_average().c_str(),
		            time_wait_sockets());
		std::fflush(stdout);
	}
	clear();
	res.load = load_before + " / " + bench::load_average();
	std::printf("  ours round by round: system time");
	for (double x : ours_sys) std::printf(" %.2f", x);
	std::printf(" s (most / least %.2f); client-side sockets in TIME_WAIT after it",
	            *std::max_element(ours_sys.begin(), ours_sys.end()) /
	                std::max(0.005, *std::min_element(ours_sys.begin(), ours_sys.end())));
	for (int x : ours_waiting) std::printf(" %d", x);
	std::printf("\n");

	std::printf("Install of %d files, %.1f MB, from 127.0.0.1, median of %d interleaved rounds (spread), load %s:\n",
	            file_count, res.mb, rounds, res.load.c_str());
	ours.print("engine, product's headless path", res.mb, "its process");
	res.ours = median(ours.secs);
	res.ours_mib = median(ours.mib);
	if (peers) {
		unzip.print("curl, then unzip (one zip)", res.mb, "larger of the two");
		bsdtar.print("curl | bsdtar -xf - (one zip)", res.mb, "sum of the two");
		if (with_aria) {
			aria.print("aria2c x4, then unzip each", res.mb, "largest process");
			std::printf("  %-32s %8.3f s of it downloading\n", "", median(aria.step1));
		}
		res.unzip = median(unzip.secs);
		res.bsdtar = median(bsdtar.secs);
		res.aria = with_aria ? median(aria.secs) : -1;
		res.aria_dl = with_aria ? median(aria.step1) : -1;
		res.unzip_mib = median(unzip.mib);
		res.bsdtar_mib = median(bsdtar.mib);
		res.aria_mib = with_aria ? median(aria.mib) : -1;
	}
	std::fflush(stdout);
	run_command("rm -rf " + shell_quote(archive_root));
	return res;
}

void print_ratio(const char* what, double ours, double theirs)
{
	std::printf("  %-44s %8.2f x %s\n", what, theirs / ours, theirs >= ours ? "(ours faster)" : "(ours slower)");
}

}  // namespace

int main(int argc, char** argv)
{
	if (argc > 1 && std::string(argv[1]) == "--engine-child") return engine_child(argc, argv);
	if (argc > 1 && std::string(argv[1]) == "--server-child") return server_child(argc, argv);
	MACIBM_set_alert_sink([](const alert_record& a) { std::fprintf(stderr, "alert: %s %s\n", a.line1.c_str(), a.line2.c_str()); });
	stg_set_start_values();
	stg.server_count = 1;
	vtest::temp_folder tmp;
	temp_path = tmp.path() + "staging/";
	mkdir(temp_path.c_str(), 0700);
	const int rounds = std::max(1, std::atoi(option(argc, argv, "--rounds", "5").c_str()));
	const bool peers = option(argc, argv, "--peers", "1") != "0";
	const int aria_files = std::atoi(option(argc, argv, "--aria-files", "20000").c_str());

	const char* part_env = std::getenv("VENTORA_BENCH_PART");
	const int part = part_env ? std::atoi(part_env) : 0;

	// ---- 1. install ----
	if (part != 2) {
		std::vector<std::pair<int, double>> cells;
		const std::string picked = option(argc, argv, "--cells", "");
		if (!picked.empty()) {
			std::stringstream in(picked);
			std::string item;
			while (std::getline(in, item, ','))
				if (item.find('x') != std::string::npos)
					cells.push_back({std::atoi(item.c_str()), std::atof(item.c_str() + item.find('x') + 1)});
		} else {
			for (long f : number_list(option(argc, argv, "--files", "200,2000,20000")))
				for (long m : number_list(option(argc, argv, "--mb", "20,200,1024"))) cells.push_back({int(f), double(m)});
		}
		char self_buf[4096] = {};
		if (readlink("/proc/self/exe", self_buf, sizeof(self_buf) - 1) < 0) return 1;
		const std::string self = self_buf;
		const std::string www = tmp.path() + "www/";
		mkdir(www.c_str(), 0755);
		std::unique_ptr<vtest::http_server> inproc;
		server_process sp;
		unsigned short port = 0;
		// A real web server where one is installed: the project's own server
		// starts a thread for every connection and bounds small files itself.
		std::string server_kind = option(argc, argv, "--server", "");
		if (server_kind.empty())
			server_kind = std::system("command -v nginx >/dev/null 2>&1 || test -x /usr/sbin/nginx") == 0 ? "nginx" : "process";
		const bool own_process = server_kind != "inproc";
		if (server_kind == "nginx") {
			sp = start_nginx(www, tmp.path() + "nginx/");
			if (sp.pid < 0) {
				std::fprintf(stderr, "nginx did not start (Debian package nginx-light)\n");
				return 1;
			}
			port = sp.port;
		} else if (own_process) {
			sp = start_server_process(self, www);
			if (sp.pid < 0) {
				std::fprintf(stderr, "the server process did not start\n");
				return 1;
			}
			port = sp.port;
		} else {
			inproc.reset(new vtest::http_server(www));
			port = inproc->port();
		}
		std::printf("Server: %s, 127.0.0.1:%u; %d cores\n", server_kind == "nginx" ? "nginx" : own_process ? "the project's, a process of its own" : "the project's, in this process", port,
		            UTL_count_processors());
		std::vector<cell_result> table;
		for (const auto& c : cells) {
			const std::string work = tmp.path() + "cell/";
			mkdir_p(work);
			table.push_back(run_cell(c.first, c.second, rounds, peers, c.first <= aria_files, work, www, port, self));
			run_command("rm -rf " + shell_quote(work));
		}
		stop_server_process(sp);
		inproc.reset();

		std::printf("\nGrowth table (medians of %d interleaved rounds; time ratio = peer's time / ours, above 1: ours faster;\n"
		            "memory ratio = our peak / the peer's):\n", rounds);
		std::printf("  %6s %8s %9s | %9s %6s %6s | %9s %6s %6s | %9s %6s %6s | load before / after\n", "files", "MB",
		            "ours s", "curl+unz", "time", "mem", "curl|bsd", "time", "mem", "aria2c", "time", "mem");
		for (const cell_result& c : table) {
			if (!peers) {
				std::printf("  %6d %8.1f %9.3f | load %s\n", c.files, c.mb, c.ours, c.load.c_str());
				continue;
			}
			char aria[64] = "  (not run)             ";
			if (c.aria > 0)
				std::snprintf(aria, sizeof aria, "%9.3f %6.2f %6.2f", c.aria, c.aria / c.ours, c.ours_mib / c.aria_mib);
			std::printf("  %6d %8.1f %9.3f | %9.3f %6.2f %6.2f | %9.3f %6.2f %6.2f | %s | %s\n", c.files, c.mb, c.ours,
			            c.unzip, c.unzip / c.ours, c.ours_mib / c.unzip_mib, c.bsdtar, c.bsdtar / c.ours,
			            c.ours_mib / c.bsdtar_mib, aria, c.load.c_str());
		}
		if (peers) {
			std::printf("  goals: at most 1.3x the time of curl + unzip where files are small (time ratio >= 0.77),\n"
			            "         ahead of it where they are large, and faster than aria2c + unzip (time ratio > 1):\n");
			for (const cell_result& c : table)
				std::printf("    %6d files %8.1f MB: vs curl + unzip %s; vs aria2c %s\n", c.files, c.mb,
				            c.unzip / c.ours >= 1 ? "ahead" : c.unzip / c.ours >= 1 / 1.3 ? "within 1.3x" : "NOT within 1.3x",
				            c.aria <= 0 ? "not run" : c.aria > c.ours ? "met" : "NOT met");
		}
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
