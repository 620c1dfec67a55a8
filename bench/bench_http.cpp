// Downloads one 1 GiB file from the loopback server through net_check,
// polled the way the wizard polls it (up to 20 ms of work per frame), and
// the same file with curl, then prints both rates and their ratio.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/Sockets/PCSBSocket.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "tests/support/http_server.h"

extern char** environ;

namespace {

const long long kSize = 1LL << 30;
const char* const kHost = "www.ventora-sim.test";

double now_s()
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double thread_cpu_s()
{
	timespec ts;
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
	return ts.tv_sec + ts.tv_nsec * 1e-9;
}

long long file_size(const std::string& p)
{
	struct stat st;
	return stat(p.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

// curl, direct to the same server (never through an environment proxy);
// seconds taken, or -1.
double run_curl(const vtest::temp_folder& tmp, unsigned short port)
{
	const std::string curl_out = tmp.file("curl.bin");
	const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big.bin";
	const char* argv[] = {"curl", "-s", "--noproxy", "*", "-o", curl_out.c_str(), url.c_str(), nullptr};
	const double c0 = now_s();
	pid_t pid;
	if (posix_spawnp(&pid, "curl", nullptr, nullptr, (char* const*)argv, environ) != 0) {
		fprintf(stderr, "could not start curl\n");
		return -1;
	}
	int status = 0;
	waitpid(pid, &status, 0);
	const double s = now_s() - c0;
	const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && file_size(curl_out) == kSize;
	unlink(curl_out.c_str());
	if (!ok) fprintf(stderr, "curl download failed\n");
	return ok ? s : -1;
}

}  // namespace

int main()
{
	vtest::temp_folder tmp;
	vtest::http_server srv(tmp.file("www/"));
	srv.put_file(kHost, "/big.bin", "");
	const std::string src = tmp.file(std::string("www/") + kHost + "/big.bin");
	{
		FILE* f = fopen(src.c_str(), "wb");
		std::string block(1 << 20, 'v');
		for (long long done = 0; f && done < kSize; done += (long long)block.size()) {
			block[done % 997] ^= 1;
			fwrite(block.data(), 1, block.size(), f);
		}
		if (!f || fclose(f) != 0 || file_size(src) != kSize) {
			fprintf(stderr, "could not write the source file\n");
			return 1;
		}
	}
	srv.put_file("127.0.0.1", "/placeholder", "");
	if (link(src.c_str(), tmp.file("www/127.0.0.1/big.bin").c_str()) != 0) {
		perror("link");
		return 1;
	}

	// The client, through the proxy form, and curl; each twice, best kept.
	http.proxy_host = "127.0.0.1";
	http.proxy_port = srv.port();
	double client_s = 1e9, cpu_s = 0, read_s = 0, write_s = 0, curl_s = 1e9;
	long frames = 0;
	for (int round = 0; round < 2; ++round) {
		const double cs = run_curl(tmp, srv.port());
		if (cs < 0) return 1;
		if (cs < curl_s) curl_s = cs;

		const std::string out = tmp.file("client.bin");
		PCSBSocket::CountReadTime(true);
		const unsigned long long w0 = http_write_time_ns();
		const double t0 = now_s();
		const double cpu0 = thread_cpu_s();
		int result = 0;
		long n = 0;
		while (result == 0) {
			xtim.elapsed = (float)(now_s() - t0);
			const double frame_start = now_s();
			do {
				result = http.net_check(0, kHost, "/big.bin", out);
			} while (result == 0 && now_s() - frame_start < 0.02);
			++n;
		}
		const double s = now_s() - t0;
		const double cpu = thread_cpu_s() - cpu0;
		const double rd = PCSBSocket::ReadTimeNs() * 1e-9;
		const double wr = (http_write_time_ns() - w0) * 1e-9;
		PCSBSocket::CountReadTime(false);
		if (result != 1 || file_size(out) != kSize) {
			fprintf(stderr, "client download failed (result %d, %lld bytes)\n", result, file_size(out));
			return 1;
		}
		unlink(out.c_str());
		if (s < client_s) {
			client_s = s;
			cpu_s = cpu;
			read_s = rd;
			write_s = wr;
			frames = n;
		}
	}

	const double mb = kSize / 1e6;
	const double outside = cpu_s - read_s;
	const double rest = outside - write_s;
	printf("net_check: %.1f MB/s (%.2f s, %ld frames)\n", mb / client_s, client_s, frames);
	printf("curl -o:   %.1f MB/s (%.2f s)\n", mb / curl_s, curl_s);
	printf("ratio:     %.3f\n", curl_s / client_s);
	printf("main thread CPU: %.2f s; in socket reads %.2f s; outside them %.2f s = %.1f%% of one core,\n"
	       "  of which file writes %.2f s and the client's own work %.2f s = %.1f%% of one core\n",
	       cpu_s, read_s, outside, 100.0 * outside / client_s, write_s, rest, 100.0 * rest / client_s);
	return 0;
}
