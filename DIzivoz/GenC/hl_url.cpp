#include "DIzivoz/GenC/hl_url.h"

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"

extern char** environ;

// Only web addresses go to the opener: a server-supplied "file:" or custom
// scheme could start arbitrary local handlers.
static bool is_web_url(const std::string& url)
{
	return url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0;
}

void go_to_URL(std::string url)
{
	// Any length: the address goes to the opener as one argument, never through
	// a fixed buffer.
	// A bare host and path is a web address too.
	if (!url.empty() && url.find("://") == std::string::npos && url[0] != '/' && url[0] != '-')
		url = "http://" + url;
	if (!is_web_url(url)) {
		xer << "Not opening \"" << url << "\": not a web address.\n";
		return;
	}

	char prog[] = "xdg-open";
	char* argv[] = {prog, &url[0], nullptr};
	pid_t pid = 0;
	int err = posix_spawnp(&pid, prog, nullptr, nullptr, argv, environ);
	if (err != 0) {
		xer << "Could not start xdg-open for " << url << ", error " << err << "\n";
		return;
	}
	// The opener hands the page to the browser and exits; reap it when it does
	// so soon, and never hold the frame loop for long.
	for (int i = 0; i < 200; ++i) {
		int status = 0;
		pid_t r = waitpid(pid, &status, WNOHANG);
		if (r == pid || r < 0) return;
		struct timespec ts = {0, 10 * 1000 * 1000};
		nanosleep(&ts, nullptr);
	}
	xer << "xdg-open is still running for " << url << "\n";
	// Reap it whenever it ends, so no finished opener lingers as a zombie.
	std::thread([pid] {
		int status = 0;
		while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
		}
	}).detach();
}
