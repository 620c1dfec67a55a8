// The updater's scan of an installed 5,000-file copy through its window (the
// Search for Updates page polling the checksum pool; the clock starts right
// before the press of Next that leads to that page and stops when the log
// shows the scan's end) against the headless checksum pass over the same
// copy in a process of its own (this program started again with --headless;
// the server list and the manifest fetched over loopback as the page fetches
// them, unzipped and read, included), each after a `sync`: five rounds in
// alternating order; the
// medians, their spread (least..most) and headless time / window time
// (goal: at least 0.9). Needs an X display (xvfb-run) and ventora_updater
// beside this program.
//
// Run: xvfb-run -a -s "-screen 0 1024x768x24" build-bench/bench_update_scan [--bytes=N] [--rounds=N]
// The machine may be shared with other work: read the spread.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/Thread/UTL_thread.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard.h"
#include "bench/bench_measure.h"
#include "tests/support/big_copy.h"
#include "tests/support/http_server.h"
#include "tests/support/install_driver.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

const char* const kWebHost = "www.tarnwick.example";
const char* const kFileHost = "bulk.tarnwick.example";
const char* const kName = "Ventora 9.10r1";

using bench::now_s;

// What the updater's page does, without a window: the server list and the
// zipped manifest fetched over loopback (the proxy form, as the window is
// started), the manifest unzipped and read, then the checksum pass polled as
// fast as it answers.
double headless_pass(unsigned short port, const std::string& staging, const std::string& copy, int* matched)
{
	const double t0 = now_s();
	vtest::point_engine_at(port, kFileHost, std::string("/") + kName + "/", copy, staging);
	web_host = kWebHost;
	install_name = kName;
	stg.server_count = -1;
	for (int polls = 0; stg.stage == 0 && polls < 200000; ++polls) {
		xtim.elapsed = float(now_s() - t0);
		UTL_download_directory();
		if (stg.stage == 0) usleep(50);
	}
	if (stg.stage == 1) UTL_download_directory();
	if (stg.stage != 3) {
		std::fprintf(stderr, "the manifest could not be had (stage %d)\n", stg.stage);
		return -1;
	}
	set_install_filter(1, 1);
	int next_file = 0;
	float progress = 0;
	while (!checksum_directory(next_file, progress)) usleep(50);
	const double t = now_s() - t0;
	*matched = 0;
	for (const auto& h : sim_info) *matched += h.back().have_is_want;
	vtest::release_engine();
	return t;
}

// The same scan through ventora_updater's window, from the press of Next to
// the log's line for the scan's end; -1 on failure.
double window_pass(vtest::http_server& server, const std::string& copy, std::string* why)
{
	vtest::xvfb_server x(1024, 768);
	vtest::shell_app_run run("", {{"LANGUAGE", "en"}, {"LANG", "C.UTF-8"}, {"VENTORA_LONGEST_IDLE_MS", "<unset>"}},
	                         "ventora_updater");
	if (!x.display().empty()) run.display = x.display();
	if (!run.start({"-path", copy, "--pref:_proxy_host=127.0.0.1", "--pref:_proxy_port_int=" + std::to_string(server.port())})) {
		*why = "the updater did not start";
		return -1;
	}
	vtest::x_view xv(run.display);
	unsigned long win = 0;
	for (int i = 0; i < 300 && !(win = xv.find_window("Ventora Installer")); ++i) usleep(100000);
	if (!win || !run.wait_log("Wizard page 0:", 30)) {
		*why = "no window: " + run.stderr_text();
		return -1;
	}
	int wx = 0, wy = 0, ww = 0, wh = 0;
	xv.geometry(win, &wx, &wy, &ww, &wh);
	const int nx = wx + (int)(770 - interface_icon_width(2, 0) / 2), ny = wy + wh - 23;
	double pressed = -1;
	std::unique_ptr<bench::log_watch> scanned;
	for (int k = 0; k < 6 && !run.wait_log("Wizard page 1:", 5); ++k) {
		vtest::xdotool(run.display, {"windowfocus", std::to_string(win)});
		vtest::xdotool(run.display, {"mousemove", std::to_string(nx), std::to_string(ny)});
		usleep(60000);
		scanned.reset(new bench::log_watch(run.folder() + "Ventora Installer Log.txt", "Scanned ", 300));
		pressed = now_s();
		// From this process: xdotool takes tens of milliseconds to start.
		if (!xv.click_here(1)) vtest::xdotool(run.display, {"click", "1"});
	}
	const double end = scanned ? scanned->wait() : -1;
	if (end < 0) {
		*why = "the scan never ended: " + run.log();
		return -1;
	}
	const double t = end - pressed;
	const std::string log = run.log();
	if (std::getenv("BENCH_SHOW_LOG")) std::fprintf(stderr, "%s\n", log.c_str());
	const size_t at = log.find(" files in ", log.find("Scanned "));
	if (at != std::string::npos) std::fprintf(stderr, "  window: the scan itself %.3f s\n", std::atof(log.c_str() + at + 10));
	run.kill_now();
	run.wait_exit(10);
	return t;
}

}  // namespace

int main(int argc, char** argv)
{
	MACIBM_set_alert_sink([](const alert_record& a) { std::fprintf(stderr, "alert: %s %s\n", a.line1.c_str(), a.line2.c_str()); });
	stg_set_start_values();
	if (bench::has_flag(argc, argv, "--headless")) {
		int matched = 0;
		const double secs = headless_pass((unsigned short)std::atoi(bench::option(argc, argv, "--port", "0").c_str()),
		                                  bench::option(argc, argv, "--staging", ""), bench::option(argc, argv, "--copy", ""),
		                                  &matched);
		std::printf("matched %d\nseconds %.6f\n", matched, secs);
		return 0;
	}
	if (!std::getenv("DISPLAY")) {
		std::fprintf(stderr, "needs an X display: run under xvfb-run\n");
		return 2;
	}
	const int count = 5000;
	const long long size = std::atoll(bench::option(argc, argv, "--bytes", "262144").c_str());
	const int rounds = std::max(1, std::atoi(bench::option(argc, argv, "--rounds", "5").c_str()));

	vtest::temp_folder tmp;
	mkdir((tmp.path() + "www").c_str(), 0755);
	vtest::http_server server(tmp.path() + "www/");
	const std::string copy = tmp.path() + "copy/";
	const std::string err = vtest::make_big_copy(server, kFileHost, kName, copy, count, size);
	if (!err.empty()) {
		std::fprintf(stderr, "%s\n", err.c_str());
		return 1;
	}
	server.put_file(kWebHost, "/serverlist9.txt",
	                std::string("I\n820 version\nSERVERS\n\nFINAL ") + kName + "\n\nSERVER " + kFileHost +
	                    "\n/\nBulk|Loopback\n\nENDOFLIST\n");
	sync();
	// Both sides read the copy from the page cache.
	std::system(("find '" + copy + "' -type f -exec cat {} + > /dev/null").c_str());

	int headless_runs = 0;
	auto headless = [&] {
		const std::string staging = tmp.path() + "staging" + std::to_string(headless_runs++) + "/";
		return bench::run_self_seconds(
		    {"--headless", "--port=" + std::to_string(server.port()), "--staging=" + staging, "--copy=" + copy});
	};
	auto window = [&] {
		sync();
		std::string why;
		const double w = window_pass(server, copy, &why);
		if (w <= 0) std::fprintf(stderr, "window pass failed: %s\n", why.c_str());
		return w;
	};
	std::vector<double> windows, headlesses;
	for (int k = 0; k < rounds; ++k) {
		double w = -1, h = -1;
		if (k % 2 == 0) {
			w = window();
			h = headless();
		} else {
			h = headless();
			w = window();
		}
		if (w <= 0 || h <= 0) return 1;
		std::printf("  round %d: window %.3f s, headless %.3f s  (load %s)\n", k + 1, w, h, bench::load_average().c_str());
		std::fflush(stdout);
		windows.push_back(w);
		headlesses.push_back(h);
	}
	const bench::spread ws = bench::spread_of(windows), hs = bench::spread_of(headlesses);
	std::printf("Scan of an installed copy of %d files of %lld KB, %d cores, median of %d (least..most), load average %s:\n",
	            count, size / 1024, UTL_count_processors(), rounds, bench::load_average().c_str());
	std::printf("  through the updater's window        %8.3f s (%.3f..%.3f)\n", ws.median, ws.least, ws.most);
	std::printf("  headless checksum pass, own process %8.3f s (%.3f..%.3f)\n", hs.median, hs.least, hs.most);
	const double ratio = hs.median / ws.median;
	std::printf("  headless time / window time         %8.2f   goal >= 0.9: %s\n", ratio, ratio >= 0.9 ? "met" : "NOT met");
	MACIBM_set_alert_sink(nullptr);
	return 0;
}
