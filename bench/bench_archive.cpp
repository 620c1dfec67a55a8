// Throughput of file signatures and of extraction against the system's own
// tools on the same inputs: calc_file_md5 against md5sum on a page-cached
// 1 GiB file; zip_to_file against unzip on one archive holding a 256 MiB
// file, and against unzip and bsdtar -xf on ONE zip holding 2,000 files (the
// per-file loop over 2,000 one-file archives follows as a secondary line).
// Runs are interleaved, each figure the median of --runs. Prints each pair of
// figures and the ratio (tool time / our time: above 1.0 means we are
// faster). Beside the times, the peak memory (maximum resident set) of
// extracting one 1 GiB file, ours in a fresh process of this program, every
// process measured by /usr/bin/time -f %M (a child of this large process
// would count its parent's pages).
//
// Options: --md5-mib=N --big-mib=N --count=N --runs=N --peak-mib=N
// (defaults 1024 256 2000 5 1024);
// --zip64=1 only checks a round trip of a file larger than 4 GiB (it needs
// that much free memory and disk).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "tests/support/archive_fixtures.h"

extern char** environ;

namespace {

// Runs a program with an argument vector (no shell), its output discarded;
// max_rss_kb, when given, receives its peak resident memory as
// /usr/bin/time measures it.
bool run_tool(const std::vector<std::string>& args_in, long* max_rss_kb = nullptr)
{
	static const std::string mem = "/tmp/ventora-bench-archive-mem." + std::to_string(getpid());
	std::vector<std::string> args = args_in;
	if (max_rss_kb) args.insert(args.begin(), {"/usr/bin/time", "-f", "%M", "-o", mem});
	std::vector<char*> argv;
	for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
	pid_t pid;
	int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
	posix_spawn_file_actions_destroy(&fa);
	if (rc != 0) return false;
	int status = 0;
	waitpid(pid, &status, 0);
	if (max_rss_kb) {
		*max_rss_kb = atol(vtest::read_file_bytes(mem).c_str());
		unlink(mem.c_str());
	}
	return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// zip_to_file in a fresh process of this program; its peak resident memory
// in kB, -1 on failure.
long our_extract_peak_kb(const std::string& zip, const std::string& out)
{
	char self[4096] = {};
	if (readlink("/proc/self/exe", self, sizeof(self) - 1) < 0) return -1;
	long kb = -1;
	return run_tool({self, "--extract=" + zip, "--out=" + out}, &kb) ? kb : -1;
}

double median_of(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Each contender once a round, the rounds one after the other; the median
// seconds of each.
std::vector<double> interleaved(const std::vector<std::function<bool()>>& runs_of, int runs, bool& ok)
{
	std::vector<std::vector<double>> secs(runs_of.size());
	for (int r = 0; r < runs; ++r)
		for (size_t i = 0; i < runs_of.size(); ++i) {
			auto t0 = std::chrono::steady_clock::now();
			ok = runs_of[i]() && ok;
			secs[i].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
		}
	std::vector<double> out;
	for (auto& v : secs) out.push_back(median_of(v));
	return out;
}

// Bytes that deflate to about three quarters of their size, quickly made.
bool write_data_file(const std::string& path, uint64_t size)
{
	FILE* f = fopen(path.c_str(), "wb");
	if (!f) return false;
	std::vector<char> block(1 << 20);
	uint64_t x = 88172645463325252ull;
	for (uint64_t done = 0; done < size;) {
		for (size_t i = 0; i < block.size(); i += 8) {
			x ^= x << 13, x ^= x >> 7, x ^= x << 17;
			for (int k = 0; k < 8; ++k) block[i + k] = static_cast<char>('A' + ((x >> (k * 8)) & 0x3f));
		}
		size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), size - done));
		if (fwrite(block.data(), 1, n, f) != n) {
			fclose(f);
			return false;
		}
		done += n;
	}
	return fclose(f) == 0;
}

void warm(const std::string& path)
{
	std::string d;
	calc_file_md5(path, d);
}

void report(const char* what, double ours, double tool, double mib)
{
	printf("%-34s ours %8.3f s (%8.1f MiB/s)   tool %8.3f s (%8.1f MiB/s)   ratio %.2f\n", what, ours, mib / ours,
	       tool, mib / tool, tool / ours);
}

long opt(int argc, char** argv, const char* name, long def)
{
	size_t n = strlen(name);
	for (int i = 1; i < argc; ++i)
		if (strncmp(argv[i], name, n) == 0 && argv[i][n] == '=') return atol(argv[i] + n + 1);
	return def;
}

}  // namespace

// A file past 4 GiB, mostly a hole, through file_to_zip and zip_to_file.
int zip64_round_trip(const std::string& folder)
{
	std::string src = folder + "huge.bin", zip = folder + "huge.zip", out = folder + "out64/";
	const uint64_t size = (uint64_t(4) << 30) + (uint64_t(1) << 20) + 12345;
	FILE* f = fopen(src.c_str(), "wb");
	if (!f) return 1;
	const char head[] = "start of the file", tail[] = "end of the file";
	bool ok = fwrite(head, 1, sizeof(head), f) == sizeof(head) && fseeko(f, off_t(size - sizeof(tail)), SEEK_SET) == 0 &&
	          fwrite(tail, 1, sizeof(tail), f) == sizeof(tail);
	ok = fclose(f) == 0 && ok;
	std::string before, after;
	auto t0 = std::chrono::steady_clock::now();
	int rc = ok ? calc_file_md5(src, before) : -1;
	if (rc == 0) rc = file_to_zip(src, zip);
	unlink(src.c_str());
	mkdir(out.c_str(), 0755);
	if (rc == 0) rc = zip_to_file(zip, out, nullptr, 0);
	if (rc == 0) rc = calc_file_md5(out + "huge.bin", after);
	if (rc) fprintf(stderr, "failed with %d (%s)\n", rc, error_str(rc).c_str());
	ok = ok && rc == 0;
	struct stat st;
	ok = ok && stat((out + "huge.bin").c_str(), &st) == 0 && uint64_t(st.st_size) == size && before == after;
	unlink((out + "huge.bin").c_str());
	unlink(zip.c_str());
	printf("Round trip of a %llu-byte file: %s (%.1f s)\n", static_cast<unsigned long long>(size),
	       ok ? "identical" : "FAILED",
	       std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

	// A stored entry past 4 GiB, then an entry whose header lies past 4 GiB.
	t0 = std::chrono::steady_clock::now();
	zipFile zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
	bool ok2 = zf != nullptr;
	zip_fileinfo zi = {};
	zi.external_fa = 0x81A40000ul;
	std::vector<char> block(64 << 20, 'z');
	ok2 = ok2 && zipOpenNewFileInZip4_64(zf, "stored.bin", &zi, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0, -MAX_WBITS,
	                                     DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, (3 << 8) | 20, 0, 1) == ZIP_OK;
	for (uint64_t done = 0; ok2 && done < size;) {
		unsigned n = static_cast<unsigned>(std::min<uint64_t>(block.size(), size - done));
		ok2 = zipWriteInFileInZip(zf, block.data(), n) == ZIP_OK;
		done += n;
	}
	ok2 = ok2 && zipCloseFileInZip(zf) == ZIP_OK;
	ok2 = ok2 && zipOpenNewFileInZip4_64(zf, "after.txt", &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6, 0,
	                                     -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, (3 << 8) | 20, 0,
	                                     0) == ZIP_OK &&
	      zipWriteInFileInZip(zf, "after", 5) == ZIP_OK && zipCloseFileInZip(zf) == ZIP_OK;
	if (zf) ok2 = zipClose(zf, nullptr) == ZIP_OK && ok2;
	rc = ok2 ? zip_to_file(zip, out, nullptr, 0) : -1;
	if (rc) fprintf(stderr, "stored zip64 failed with %d\n", rc);
	ok2 = ok2 && rc == 0 && stat((out + "stored.bin").c_str(), &st) == 0 && uint64_t(st.st_size) == size &&
	      vtest::read_file_bytes(out + "after.txt") == "after";
	unlink((out + "stored.bin").c_str());
	unlink(zip.c_str());
	printf("Stored entry of %llu bytes and one behind it: %s (%.1f s)\n", static_cast<unsigned long long>(size),
	       ok2 ? "extracted" : "FAILED",
	       std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
	return ok && ok2 ? 0 : 1;
}

int main(int argc, char** argv)
{
	// The extraction whose memory is measured, in a process of its own.
	for (int i = 1; i < argc; ++i)
		if (strncmp(argv[i], "--extract=", 10) == 0) {
			std::string out;
			for (int k = 1; k < argc; ++k)
				if (strncmp(argv[k], "--out=", 6) == 0) out = argv[k] + 6;
			return zip_to_file(argv[i] + 10, out, nullptr, 0) == 0 ? 0 : 1;
		}
	const long md5_mib = opt(argc, argv, "--md5-mib", 1024);
	const long big_mib = opt(argc, argv, "--big-mib", 256);
	const long count = opt(argc, argv, "--count", 2000);
	const int runs = static_cast<int>(opt(argc, argv, "--runs", 5));
	const long peak_mib = opt(argc, argv, "--peak-mib", 1024);
	vtest::temp_folder tmp;
	if (tmp.path().empty()) return 1;
	if (opt(argc, argv, "--zip64", 0)) {
		xer.open(tmp.path() + "log.txt");
		int rc = zip64_round_trip(tmp.path());
		xer.close();
		if (rc) fputs(vtest::read_file_bytes(tmp.path() + "log.txt").c_str(), stderr);
		return rc;
	}
	bool ok = true;

	// MD5 of a page-cached file.
	std::string big = tmp.path() + "md5.bin";
	if (!write_data_file(big, uint64_t(md5_mib) << 20)) return 1;
	warm(big);
	std::string digest;
	std::vector<double> t = interleaved({[&] { return calc_file_md5(big, digest) == 0; },
	                                     [&] { return run_tool({"md5sum", big}); }},
	                                    runs, ok);
	double ours = t[0], tool = t[1];
	report("MD5 signature", ours, tool, double(md5_mib));
	unlink(big.c_str());

	// One archive holding one big file.
	std::string src = tmp.path() + "big.dat", zip = tmp.path() + "big.dat.zip";
	std::string out_ours = tmp.path() + "ours/", out_tool = tmp.path() + "tool/";
	mkdir(out_ours.c_str(), 0755);
	mkdir(out_tool.c_str(), 0755);
	if (!write_data_file(src, uint64_t(big_mib) << 20) || file_to_zip(src, zip) != 0) return 1;
	unlink(src.c_str());
	warm(zip);
	t = interleaved({[&] { return zip_to_file(zip, out_ours, nullptr, 0) == 0; },
	                 [&] { return run_tool({"unzip", "-o", "-qq", zip, "-d", out_tool}); }},
	                runs, ok);
	ours = t[0], tool = t[1];
	report(("Extract one " + std::to_string(big_mib) + " MiB file").c_str(), ours, tool, double(big_mib));
	unlink((out_ours + "big.dat").c_str());
	unlink((out_tool + "big.dat").c_str());
	unlink(zip.c_str());

	// Peak memory of one large file: it is streamed, so a constant.
	if (peak_mib > 0) {
		if (!write_data_file(src, uint64_t(peak_mib) << 20) || file_to_zip(src, zip) != 0) return 1;
		unlink(src.c_str());
		long tool_kb = -1;
		const auto t0 = std::chrono::steady_clock::now();
		const long ours_kb = our_extract_peak_kb(zip, out_ours);
		const double ours_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
		unlink((out_ours + "big.dat").c_str());
		const auto t1 = std::chrono::steady_clock::now();
		const bool tool_ok = run_tool({"unzip", "-o", "-qq", zip, "-d", out_tool}, &tool_kb);
		const double tool_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
		unlink((out_tool + "big.dat").c_str());
		unlink(zip.c_str());
		if (ours_kb < 0 || !tool_ok) ok = false;
		report(("Extract one " + std::to_string(peak_mib) + " MiB file").c_str(), ours_s, tool_s, double(peak_mib));
		printf("%-34s ours %8.1f MiB                    tool %8.1f MiB\n", "  peak memory (max resident set)",
		       ours_kb / 1024.0, tool_kb / 1024.0);
	}

	// Many one-file archives.
	std::vector<std::string> zips;
	std::string one = tmp.path() + "small";
	mkdir((tmp.path() + "zips").c_str(), 0755);
	for (long i = 0; i < count; ++i) {
		std::string name = tmp.path() + "zips/file" + std::to_string(i) + ".txt";
		if (!write_data_file(name, 4096 + uint64_t(i % 7) * 1000)) return 1;
		zips.push_back(name + ".zip");
		if (file_to_zip(name, zips.back()) != 0) return 1;
		unlink(name.c_str());
	}
	for (const std::string& z : zips) warm(z);
	double total_mib = 0;
	for (long i = 0; i < count; ++i) total_mib += (4096 + double(i % 7) * 1000) / (1 << 20);

	// The same files as ONE zip, as a user would fetch them: ours, unzip and
	// bsdtar, each into an emptied folder.
	std::string files_dir = tmp.path() + "plain/";
	mkdir(files_dir.c_str(), 0755);
	for (long i = 0; i < count; ++i)
		write_data_file(files_dir + "file" + std::to_string(i) + ".txt", 4096 + uint64_t(i % 7) * 1000);
	const std::string one_zip = tmp.path() + "all.zip";
	const std::string pack = "cd '" + files_dir + "' && bsdtar --format zip --options zip:compression=deflate -cf '" +
	                         one_zip + "' . && rm -rf '" + files_dir + "'";
	if (system(pack.c_str()) != 0) return 1;
	warm(one_zip);
	auto emptied = [&](const std::string& dir) {
		std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
		return system(cmd.c_str()) == 0;
	};
	std::vector<double> in_one = interleaved(
	    {[&] { return emptied(out_ours) && zip_to_file(one_zip, out_ours, nullptr, 0) == 0; },
	     [&] { return emptied(out_tool) && run_tool({"unzip", "-o", "-qq", one_zip, "-d", out_tool}); },
	     [&] { return emptied(out_tool) && run_tool({"bsdtar", "-xf", one_zip, "-C", out_tool}); }},
	    runs, ok);
	report(("Extract " + std::to_string(count) + " files of one zip, unzip").c_str(), in_one[0], in_one[1], total_mib);
	report(("Extract " + std::to_string(count) + " files of one zip, bsdtar").c_str(), in_one[0], in_one[2], total_mib);

	// Secondary: one archive a file, one tool start a file.
	t = interleaved({[&] {
		                 for (const std::string& z : zips)
			                 if (zip_to_file(z, out_ours, nullptr, 0) != 0) return false;
		                 return true;
	                 },
	                 [&] {
		                 for (const std::string& z : zips)
			                 if (!run_tool({"unzip", "-o", "-qq", z, "-d", out_tool})) return false;
		                 return true;
	                 }},
	                std::min(runs, 3), ok);
	report(("Extract " + std::to_string(count) + " one-file archives").c_str(), t[0], t[1], total_mib);

	if (!ok) fprintf(stderr, "some runs failed\n");
	return ok ? 0 : 1;
}
