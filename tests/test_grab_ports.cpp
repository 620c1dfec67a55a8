// A release of more files than the machine has local ports for, installed
// in one run: in a network namespace of the test's own, with a small port
// range, so that every port an ended connection still holds is missed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_grab.h"
#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"
#include "tests/support/install_driver.h"
#include "tests/support/tcp_states.h"
#include "tests/support/test_files.h"

namespace {

const char* const kHost = "releases.test";
const char* const kServerPath = "/ventora/Ventora 9 Demo/";

// What the child reports back through its pipe.
struct outcome {
	char skipped[160];   // why the namespace could not be made, empty when it was
	int finished;        // the run reported itself finished
	int files;
	int installed;       // files whose bytes came out right
	int problems;        // stg.install_problems
	int retries;         // a transfer failed at some point
	int client_waiting;  // our side's connections in TIME_WAIT after the run
	int requests;        // requests the server answered
};

bool write_text(const char* path, const std::string& text)
{
	const int fd = open(path, O_WRONLY | O_CLOEXEC);
	if (fd < 0) return false;
	const bool ok = write(fd, text.data(), text.size()) == (ssize_t)text.size();
	return close(fd) == 0 && ok;
}

// A private network namespace with its loopback up and only `ports` local
// ports; empty when ready, else why not.
std::string private_network(int first_port, int ports)
{
	if (unshare(CLONE_NEWNET) != 0) return std::string("no network namespace: ") + strerror(errno);
	const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	ifreq ifr;
	memset(&ifr, 0, sizeof(ifr));
	strcpy(ifr.ifr_name, "lo");
	const bool up = s >= 0 && ioctl(s, SIOCGIFFLAGS, &ifr) == 0 && (ifr.ifr_flags |= IFF_UP, true) &&
	                ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
	const int err = errno;
	if (s >= 0) close(s);
	if (!up) return std::string("no loopback in the namespace: ") + strerror(err);
	const std::string range = std::to_string(first_port) + " " + std::to_string(first_port + ports - 1);
	if (!write_text("/proc/sys/net/ipv4/ip_local_port_range", range))
		return std::string("the port range cannot be set: ") + strerror(errno);
	return "";
}

// Runs in the child, inside the namespace.
outcome install_many(int file_count, int first_port, int ports, bool small)
{
	outcome out;
	memset(&out, 0, sizeof(out));
	const std::string why = private_network(first_port, ports);
	if (!why.empty()) {
		snprintf(out.skipped, sizeof(out.skipped), "%s", why.c_str());
		return out;
	}
	vtest::temp_folder tmp;
	vtest::http_server server(tmp.path() + "www/");
	std::vector<vtest::grab_file> files;
	for (int i = 0; i < file_count; ++i)
		files.push_back({"Resources/set" + std::to_string(i % 20) + "/f" + std::to_string(i) + ".dat",
		                 vtest::noise(small ? 1 + i % 50 : 8000 + i % 4000, i)});
	vtest::write_archives(server.root() + kHost + kServerPath, "Top", files);
	vtest::write_file_bytes(tmp.path() + "directory.txt", vtest::manifest_text("Top", files));
	vtest::point_engine_at(server, kHost, kServerPath, tmp.path() + "Ventora 9/", tmp.path() + "staging/");
	xer.open(tmp.path() + "log.txt");
	out.files = file_count;
	if (!vtest::prepare_install(tmp.path() + "directory.txt", xtim.elapsed).empty()) return out;
	stg.stream_count = 4;
	// Frames of the install page; a run held up by missing ports retries at
	// its own pace and never gets through in this many.
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
	while (!out.finished && std::chrono::steady_clock::now() < until) {
		out.finished = vtest::install_frame(20, [&] { out.retries |= stg.download_failed; });
		xtim.elapsed += 0.02f;
	}
	out.problems = stg.install_problems;
	for (const vtest::grab_file& f : files)
		out.installed += vtest::read_file_bytes(dest_dir_path + f.rel) == f.data ? 1 : 0;
	vtest::release_engine();
	out.client_waiting = vtest::count_tcp_state(vtest::tcp_time_wait, -1, server.port());
	out.requests = (int)server.request_count();
	xer.close();
	return out;
}

// Runs fn in a forked child and hands its outcome back.
outcome in_child(const std::function<outcome()>& fn)
{
	outcome out;
	memset(&out, 0, sizeof(out));
	int p[2];
	if (pipe2(p, O_CLOEXEC) != 0) {
		snprintf(out.skipped, sizeof(out.skipped), "no pipe");
		return out;
	}
	const pid_t child = fork();
	if (child == 0) {
		close(p[0]);
		const outcome o = fn();
		const bool ok = write(p[1], &o, sizeof(o)) == (ssize_t)sizeof(o);
		_exit(ok ? 0 : 1);
	}
	close(p[1]);
	size_t got = 0;
	char* to = (char*)&out;
	pollfd pf{p[0], POLLIN, 0};
	while (got < sizeof(out) && poll(&pf, 1, 200000) > 0) {
		const ssize_t n = read(p[0], to + got, sizeof(out) - got);
		if (n <= 0) break;
		got += (size_t)n;
	}
	close(p[0]);
	if (got < sizeof(out)) {
		kill(child, SIGKILL);
		memset(&out, 0, sizeof(out));
	}
	int st = 0;
	waitpid(child, &st, 0);
	EXPECT_EQ(sizeof(out), got) << "the child ended without its outcome";
	return out;
}

TEST(GrabPorts, MoreFilesThanLocalPortsInstallInOneRun)
{
	// 100 local ports: each connection's port must be free again as soon as
	// its file is in.
	const struct {
		const char* name;
		int files;
		bool small;        // files of a few bytes, else of about 10 KB
		int most_waiting;  // of our connections in TIME_WAIT after the run
	} cases[] = {
	    // Told "Connection: close", the server closes first: the waits are its own.
	    {"2,000 files of 8 to 12 KB", 2000, false, 10},
	    {"3,000 files of a few bytes", 3000, true, 10},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		const outcome o = in_child([&] { return install_many(c.files, 41000, 100, c.small); });
		if (o.skipped[0]) GTEST_SKIP() << o.skipped;
		EXPECT_TRUE(o.finished);
		EXPECT_EQ(c.files, o.installed);
		EXPECT_EQ(0, o.problems);
		EXPECT_EQ(0, o.retries) << "a transfer failed on the way";
		EXPECT_EQ(c.files, o.requests);
		EXPECT_LE(o.client_waiting, c.most_waiting);
		std::printf("  %s: %d files, %d requests, %d of our connections waiting after the run\n", c.name, o.files,
		            o.requests, o.client_waiting);
	}
}

}  // namespace
