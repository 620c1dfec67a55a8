// A 2,000-file disc installed through the DVD installer's window against a
// loop without a window that calls install_files as fast as it returns, in a
// process of its own (this program started again with --loop), each after a
// `sync`: five rounds in alternating order; the medians, their spread
// (least..most) and the ratio loop / window (goal: at least 0.9). The window's
// clock starts right before the press of Next that leads to the install page
// and stops at the Finish page's first frame; the loop's covers its own
// set-up too (the disc's manifest read, the checksum pass, choose_files,
// make_dirs). The disc is
// a folder bind-mounted read-only in this process's own mount namespace
// (its children share it); the window runs on a private X server.
// Then two pages left idle for --seconds (default 20), the installer's CPU
// from /proc (goal: at most 0.03 of a core each): the world map of the
// scenery page, and the entry page waiting for a disc with the drive empty.
//
// Run: xvfb-run -a -s "-screen 0 1024x768x24" build-bench/bench_dvd_install [--seconds=N] [--rounds=N]
// The machine may be shared with other work: read the spread.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_prefix.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_dvd.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard.h"
#include "bench/bench_measure.h"
#include "tests/support/dvd_discs.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

using bench::now_s;

bool wait_for(const std::function<bool()>& ok, double seconds, int step_ms = 20)
{
	const double end = now_s() + seconds;
	while (now_s() < end) {
		if (ok()) return true;
		std::this_thread::sleep_for(std::chrono::milliseconds(step_ms));
	}
	return ok();
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

void read_all(const std::string& folder)
{
	for (const std::string& f : vtest::files_below(folder)) vtest::read_file_bytes(folder + f);
}

// Through the window: entry, destination, licence, scenery, install, finish.
// Seconds from the press of Next that leads to the install page to the
// Finish page's first frame; -1 on failure.
// The program as it runs for a user: an idle window wakes once a second at most.
const std::map<std::string, std::string> user_env = {{"LANGUAGE", "en"}, {"VENTORA_LONGEST_IDLE_MS", "<unset>"}};

// With map_seconds > 0 the scenery page is left idle that long first and
// *map_cpu receives the program's share of a core meanwhile.
double window_install(double map_seconds = 0, double* map_cpu = nullptr)
{
	vtest::xvfb_server x(1024, 768);
	if (x.display().empty()) return -1;
	vtest::shell_app_run run("", user_env, "ventora_dvd_installer");
	run.display = x.display();
	mkdir((run.folder() + "home/Desktop").c_str(), 0755);
	if (!run.start()) return -1;
	vtest::x_view xv(run.display);
	unsigned long win = 0;
	if (!wait_for([&] { return (win = xv.find_window("Ventora Installer")) != 0; }, 60)) return -1;
	double pressed = -1;     // when the button last went down
	double press_took = -1;  // and how long xdotool took to press it
	auto click = [&](float gx, float gy) {
		int wx = 0, wy = 0, ww = 0, wh = 0;
		xv.geometry(win, &wx, &wy, &ww, &wh);
		vtest::xdotool(run.display, {"windowfocus", std::to_string(win)});
		vtest::xdotool(run.display, {"mousemove", std::to_string(wx + (int)gx), std::to_string(wy + wh - (int)gy)});
		std::this_thread::sleep_for(std::chrono::milliseconds(60));
		pressed = now_s();
		// From this process: xdotool takes tens of milliseconds to start.
		if (!xv.click_here(1)) vtest::xdotool(run.display, {"click", "1"});
		press_took = now_s() - pressed;
	};
	const float next_x = 770 - interface_icon_width(2, 0) / 2;
	auto next_until = [&](const std::string& line) {
		for (int k = 0; k < 6; ++k) {
			click(next_x, 23);
			if (run.wait_log(line, 10)) return true;
		}
		return false;
	};
	if (!run.wait_log("Wizard page 0: ", 60) || !next_until("Wizard page 1: ") || !next_until("Wizard page 2: "))
		return -1;
	bool ticked = false;
	for (int k = 0; k < 3 && !ticked; ++k) {
		click(230, 103);
		ticked = next_until("Wizard page 3: ");
	}
	if (!ticked) return -1;
	if (map_seconds > 0) {
		// The pointer off the map and the icons, then the page alone.
		int wx = 0, wy = 0, ww = 0, wh = 0;
		xv.geometry(win, &wx, &wy, &ww, &wh);
		vtest::xdotool(run.display, {"mousemove", std::to_string(wx + 795), std::to_string(wy + 5)});
		std::this_thread::sleep_for(std::chrono::seconds(1));
		*map_cpu = bench::process_cores(run.pid(), map_seconds);
	}
	// The user's wait starts with the press of Next that leads to the
	// install page (whose first frame already does the set-up), and ends
	// with the Finish page's first frame. A lost press is made again.
	double t0 = -1;
	std::unique_ptr<bench::log_watch> finish, install;
	for (int k = 0; k < 6 && t0 < 0; ++k) {
		finish.reset(new bench::log_watch(run.folder() + "Ventora Installer Log.txt", "Wizard page 5: ", 1200));
		install.reset(new bench::log_watch(run.folder() + "Ventora Installer Log.txt", "Wizard page 4: ", 30));
		click(next_x, 23);
		if (run.wait_log("Wizard page 4: ", 10)) t0 = pressed;
	}
	if (t0 < 0) return -1;
	const double page5 = finish->wait();
	if (page5 < 0) return -1;
	const double secs = page5 - t0;
	std::printf("  window: the click took %.3f s; install page's first frame %.3f s after the press, Finish page %.3f s after that\n",
	            press_took, install->wait() - t0, page5 - install->wait());
	click(770 - interface_icon_width(0, 0) / 2, 23);
	run.wait_exit(30);
	// The run folder goes with this call: count the copy here.
	std::printf("  window: %zu files installed\n", vtest::files_below(run.folder() + "home/Desktop/").size());
	return secs;
}

// The same install without a window: the disc read, every file chosen, then
// install_files called back to back. Seconds of the whole run, set-up
// included; -1 on failure.
double loop_install(const std::string& disc_root, const std::string& dest)
{
	const double t0 = now_s();
	std::memset(&stg, 0, sizeof(stg));
	stg_set_start_values();
	stg.stage = 0;
	sim_info.clear();
	dvd_path = disc_root;
	install_name = no_install_name;
	current_disk = 0;
	for (int i = 0; i < 10 && stg.stage == 0; ++i) UTIL_scan_dvd();
	if (stg.stage != 3) return -1;
	dest_dir_path = dest;
	set_install_filter(1, 1);
	int ctr = 0;
	float progress = 0;
	while (!checksum_directory(ctr, progress)) {
	}
	scenery_take_all();
	recalc_disk_sizes();
	if (!choose_files() || make_dirs() != 0) return -1;
	delete_files();
	const double t1 = now_s();
	int f = 0, r = 0;
	while ((r = install_files(f, current_disk)) == 0) {
	}
	const double secs = now_s() - t0;
	if (r != 1) {
		std::fprintf(stderr, "install_files ended with %d\n", r);
		return -1;
	}
	std::printf("  loop:   %zu files installed (set-up %.3f s)\n", vtest::files_below(dest).size(), t1 - t0);
	return secs;
}

// The entry page with the drive empty: the program's share of a core over seconds.
double waiting_page_cpu(double seconds)
{
	vtest::xvfb_server x(1024, 768);
	if (x.display().empty()) return -1;
	vtest::shell_app_run run("", user_env, "ventora_dvd_installer");
	run.display = x.display();
	if (!run.start() || !run.wait_log("Wizard page 0: ", 60)) return -1;
	std::this_thread::sleep_for(std::chrono::seconds(1));
	const double cpu = bench::process_cores(run.pid(), seconds);
	const bool waiting = run.log().find("Please insert Ventora 9 DVD number one to begin.") != std::string::npos;
	run.kill_now();
	return waiting ? cpu : -1;
}

}  // namespace

int main(int argc, char** argv)
{
	MACIBM_set_alert_sink(
	    [](const alert_record& a) { std::fprintf(stderr, "alert: %s %s\n", a.line1.c_str(), a.line2.c_str()); });
	if (bench::has_flag(argc, argv, "--loop")) {
		temp_path = bench::option(argc, argv, "--temp", "");
		const double secs = loop_install(bench::option(argc, argv, "--disc", ""), bench::option(argc, argv, "--dest", ""));
		std::printf("seconds %.6f\n", secs);
		return secs < 0;
	}
	if (!vtest::disc_namespace_problem().empty()) {
		std::printf("skipped: discs need a private mount namespace: %s\n", vtest::disc_namespace_problem().c_str());
		return 0;
	}
	const double idle_seconds = std::atof(bench::option(argc, argv, "--seconds", "20").c_str());
	const int rounds = std::max(1, std::atoi(bench::option(argc, argv, "--rounds", "5").c_str()));
	vtest::temp_folder tmp;

	// 2,000 files of 1 KB to 64 KB beside the small master, all on one disc.
	const int file_count = 2000;
	vtest::dvd_release_options o;
	o.disc_limit_kb = 10 * 1000 * 1000;
	size_t bytes = 0;
	for (int i = 0; i < file_count; ++i) {
		const size_t n = 1024 + (size_t)((i * 7919u) % 63) * 1024;
		o.extra.push_back({"All/Resources/bench/set" + std::to_string(i % 40) + "/file " + std::to_string(i) + ".dat",
		                   content(n, unsigned(i + 1))});
		bytes += n;
	}
	std::printf("Making the disc: %d files, %.1f MB, with ventora_maker...\n", file_count, bytes / 1048576.0);
	vtest::dvd_release rel;
	const std::string err = vtest::build_dvd_release(tmp.path() + "set/", rel, o);
	if (!err.empty() || rel.discs.size() != 1) {
		std::fprintf(stderr, "no disc: %s (%zu discs)\n", err.c_str(), rel.discs.size());
		return 1;
	}
	vtest::disc_drive drive(tmp.path() + "drive/");
	if (!drive.insert(rel.discs[0]).empty()) return 1;
	sync();
	// Both sides read the disc from the page cache.
	read_all(drive.root());

	double map_cpu = -1;
	auto loop_run = [&](int k) {
		const std::string dest = tmp.path() + "loop" + std::to_string(k) + "/";
		const std::string temp = tmp.path() + "temp" + std::to_string(k) + "/";
		mkdir(temp.c_str(), 0700);
		const double secs =
		    bench::run_self_seconds({"--loop", "--disc=" + drive.root(), "--dest=" + dest, "--temp=" + temp});
		std::system(("rm -rf '" + dest + "' '" + temp + "'").c_str());
		return secs;
	};
	auto window_run = [&](int k) {
		sync();
		return k == 0 ? window_install(idle_seconds, &map_cpu) : window_install();
	};
	std::vector<double> windows, loops;
	for (int k = 0; k < rounds; ++k) {
		double w = -1, l = -1;
		if (k % 2 == 0) {
			w = window_run(k);
			l = loop_run(k);
		} else {
			l = loop_run(k);
			w = window_run(k);
		}
		if (w < 0 || l < 0) {
			std::fprintf(stderr, "a run failed (window %.2f s, loop %.2f s)\n", w, l);
			return 1;
		}
		std::printf("  round %d: window %.3f s, loop %.3f s  (load %s)\n", k + 1, w, l, bench::load_average().c_str());
		std::fflush(stdout);
		windows.push_back(w);
		loops.push_back(l);
	}
	drive.eject();
	const double waiting_cpu = waiting_page_cpu(idle_seconds);

	const bench::spread ws = bench::spread_of(windows), ls = bench::spread_of(loops);
	std::printf("Install of a disc of %d small bench files and the demo master, median of %d (least..most),\n"
	            "load average %s:\n", file_count, rounds, bench::load_average().c_str());
	std::printf("  through the window                      %8.3f s (%.3f..%.3f)\n", ws.median, ws.least, ws.most);
	std::printf("  loop calling install_files, own process %8.3f s (%.3f..%.3f)\n", ls.median, ls.least, ls.most);
	const double ratio = ls.median / ws.median;
	std::printf("  ratio loop / window                     %8.2f   goal >= 0.9: %s\n", ratio, ratio >= 0.9 ? "met" : "NOT met");
	std::printf("Pages idle for %.0f s (CPU of the whole installer from /proc):\n", idle_seconds);
	std::printf("  scenery page (world map)                %8.3f of a core   goal <= 0.03: %s\n", map_cpu,
	            map_cpu >= 0 && map_cpu <= 0.03 ? "met" : "NOT met");
	std::printf("  entry page waiting for a disc           %8.3f of a core   goal <= 0.03: %s\n", waiting_cpu,
	            waiting_cpu >= 0 && waiting_cpu <= 0.03 ? "met" : "NOT met");
	return 0;
}
