// The installer's window against the engine without a window:
//  1. a release of 2,000 files (200 MB) built by the maker-side mode, written
//     out and synced before either side runs, served on loopback by this
//     process; five rounds, in alternating order, each installing it through
//     the installer's window and through the install driver in a process of
//     its own (this program started again with --driver, as build/ventora_demo
//     runs it: the manifest fetched over HTTP and read, the destination
//     checksummed, choose_files and make_dirs, then download frames of 20 ms
//     with a 1 ms pause), each side after a `sync`. The window's clock starts
//     right before the click on Next that leads to the install page and stops
//     when the Finish page's first frame logs its line; the driver's covers
//     its whole run, set-up included. The medians, their spread (least..most)
//     and the ratio of the medians (goal: the window at least 0.9 of the
//     driver);
//  2. the Welcome and Finish pages left idle for --seconds (default 20): the
//     installer's CPU over that time from /proc (goal: at most 0.03 of a core),
//     beside a bare SDL loop drawing a picture of the Welcome page (clear,
//     draw, swap, one 17 ms wait), the program's old pace.
//
// Run: xvfb-run -a -s "-screen 0 1024x768x24" build-bench/bench_wizard_install [--files=N] [--mb=N] [--seconds=N] [--rounds=N]
// from the build folder (the installer and its Resources/ are found there).
// The machine may be shared with other work: the rounds interleave so that
// load hurts both sides alike; read the spread and the load averages printed.
#include <SDL2/SDL.h>
#include <dirent.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/wizard.h"
#include "bench/bench_measure.h"
#include "bench/bench_page_frames.h"
#include "tests/support/demo_release.h"
#include "tests/support/install_driver.h"
#include "tests/support/test_files.h"

namespace {

using bench::now_s;

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

// The install driver as build/ventora_demo runs it, in this process (started
// again with --driver): manifest, preparation, then 20 ms download frames
// with a 1 ms pause; seconds of the whole run, -1 on failure.
double driver_install(unsigned short port, const std::string& host, const std::string& path,
                      const std::string& dest, const std::string& staging)
{
	vtest::point_engine_at(port, host, path, dest, staging);
	install_name = path.substr(1, path.size() - 2);
	const double t0 = now_s();
	auto elapsed = [&] { return float(now_s() - t0); };
	if (!vtest::fetch_manifest(elapsed).empty()) return -1;
	const std::string refused = vtest::prepare_install(temp_path + "directory.txt", elapsed());
	if (!refused.empty()) {
		std::fprintf(stderr, "the driver's install was refused by %s\n", refused.c_str());
		return -1;
	}
	const double start = now_s();
	while (!vtest::install_frame(20)) {
		xtim.elapsed = elapsed();
		usleep(1000);
	}
	const double secs = now_s() - t0;
	std::fprintf(stderr, "  driver: set-up %.3f s, download frames %.3f s\n", start - t0, now_s() - start);
	if (stg.install_problems) std::fprintf(stderr, "the driver reported install problems\n");
	vtest::release_engine();
	return secs;
}

// perf record of the running program (found by its executable's path)
// into <folder>/window<n>.data until it ends.
void profile(const std::string& exe, const std::string& folder, int n)
{
	DIR* d = opendir("/proc");
	if (!d) return;
	int pid = -1;
	while (struct dirent* e = readdir(d)) {
		char link[4096] = {0};
		const std::string path = std::string("/proc/") + e->d_name + "/exe";
		if (readlink(path.c_str(), link, sizeof link - 1) > 0 && exe == link) pid = std::atoi(e->d_name);
	}
	closedir(d);
	if (pid <= 0) return;
	const char* events = std::getenv("VENTORA_BENCH_PERF_EVENTS");  // e.g. sched:sched_switch for waits
	std::system(("perf record -q -g " + std::string(events ? "-e " + std::string(events) : "-F 499") + " -p " +
	             std::to_string(pid) + " -o '" + folder + "/window" + std::to_string(n) +
	             ".data' > /dev/null 2>&1 &")
	                .c_str());
}

struct rgba_picture {
	int w = 0, h = 0;
	std::vector<unsigned char> px;
};

rgba_picture read_png(const std::string& path)
{
	rgba_picture p;
	png_image pi{};
	pi.version = PNG_IMAGE_VERSION;
	if (!png_image_begin_read_from_file(&pi, path.c_str())) return p;
	pi.format = PNG_FORMAT_RGBA;
	p.px.resize(PNG_IMAGE_SIZE(pi));
	// Bottom row first, as OpenGL wants it.
	if (!png_image_finish_read(&pi, nullptr, p.px.data(), -(png_int_32)PNG_IMAGE_ROW_STRIDE(pi), nullptr)) return p;
	p.w = (int)pi.width;
	p.h = (int)pi.height;
	return p;
}

// A bare loop drawing the picture over a whole 800 x 600 window; CPU seconds
// per wall second and frames per second.
bool bare_page_loop(const rgba_picture& page, double seconds, double* cores, double* fps)
{
	if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
	SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
	SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
	SDL_Window* win = SDL_CreateWindow("bare page", 0, 0, 800, 600, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
	if (!win) return false;
	SDL_GLContext ctx = SDL_GL_CreateContext(win);
	if (!ctx) return false;
	SDL_GL_SetSwapInterval(0);
	const bench::frame_rate r = bench::page_frames(win, page.w, page.h, page.px.data(), seconds);
	*cores = r.cores;
	*fps = r.fps;
	SDL_GL_DeleteContext(ctx);
	SDL_DestroyWindow(win);
	SDL_Quit();
	return true;
}

}  // namespace

int main(int argc, char** argv)
{
	MACIBM_set_alert_sink([](const alert_record& a) { std::fprintf(stderr, "alert: %s %s\n", a.line1.c_str(), a.line2.c_str()); });
	if (bench::has_flag(argc, argv, "--driver")) {
		const double secs = driver_install((unsigned short)std::atoi(bench::option(argc, argv, "--port", "0").c_str()),
		                                   bench::option(argc, argv, "--host", ""), bench::option(argc, argv, "--path", ""),
		                                   bench::option(argc, argv, "--dest", ""), bench::option(argc, argv, "--staging", ""));
		std::printf("seconds %.6f\n", secs);
		return secs < 0;
	}
	if (!std::getenv("DISPLAY")) {
		std::fprintf(stderr, "bench_wizard_install: no display; run it under xvfb-run\n");
		return 1;
	}
	const int file_count = std::atoi(bench::option(argc, argv, "--files", "2000").c_str());
	const size_t total = size_t(std::atof(bench::option(argc, argv, "--mb", "200").c_str()) * 1048576.0);
	const double idle_seconds = std::atof(bench::option(argc, argv, "--seconds", "20").c_str());
	const int rounds = std::max(1, std::atoi(bench::option(argc, argv, "--rounds", "5").c_str()));

	// ---- the release, written out before either side runs ----
	vtest::temp_folder tmp;
	std::vector<mtest::master_entry> master = vtest::demo_master();
	const std::vector<size_t> sizes = release_sizes(file_count, total);
	size_t bytes = 0;
	for (int i = 0; i < file_count; ++i) {
		master.push_back({"All/Resources/set" + std::to_string(i % 40) + "/file " + std::to_string(i) + ".dat",
		                  content(sizes[i], unsigned(i + 1))});
		bytes += sizes[i];
	}
	std::printf("Building a release of %d files (%.1f MB) with the maker-side mode...\n", file_count, bytes / 1048576.0);
	std::fflush(stdout);
	vtest::demo_release rel;
	const std::string err = vtest::build_demo_release(tmp.path() + "release/", rel, master);
	master.clear();
	master.shrink_to_fit();
	if (!err.empty()) {
		std::fprintf(stderr, "bench_wizard_install: %s\n", err.c_str());
		return 1;
	}
	sync();
	// Both installs read the archives from the page cache.
	std::system(("find '" + rel.work + "DVD_Masters/' -type f -exec cat {} + > /dev/null").c_str());

	// ---- 1. the install, rounds in alternating order ----
	// The program as it runs for a user: the idle window wakes once a second at most.
	const std::map<std::string, std::string> user_env = {{"VENTORA_LONGEST_IDLE_MS", "<unset>"}};
	double finish_cpu = -1;
	int window_runs = 0;
	auto window_install = [&](bool measure_finish) {
		double pressed = -1, page4 = -1, page5 = -1;
		std::unique_ptr<bench::log_watch> finish, install;
		vtest::gui_run_options o;
		o.fly = false;
		o.change_destination = false;
		o.stop_at = 4;
		o.page_timeout = 600;
		o.extra_env = user_env;
		o.run_folder = tmp.path() + "window" + std::to_string(window_runs++) + "/";
		// The Finish page's first frame is watched for from the press on, so
		// the walk's own work on the install page never delays the stamp.
		o.before_next = [&](int index) {
			if (index != 4) return;
			finish.reset(new bench::log_watch(o.run_folder + "Ventora Installer Log.txt", "Wizard page 5:", 600));
			install.reset(new bench::log_watch(o.run_folder + "Ventora Installer Log.txt", "Wizard page 4:", 60));
			if (const char* perf = std::getenv("VENTORA_BENCH_PERF")) profile(o.run_folder + "ventora_installer", perf, window_runs);
			pressed = now_s();
		};
		o.at_stop = [&](vtest::gui_ctl& c) {
			if (finish) page5 = finish->wait();
			if (install) page4 = install->wait();
			std::fprintf(stderr, "  window: install page's first frame %.3f s after the press, Finish page %.3f s after that\n",
			             page4 - pressed, page5 - page4);
			if (measure_finish && page5 > 0) {
				usleep(1000000);  // the page settles
				finish_cpu = bench::process_cores(c.pid, idle_seconds);
			}
			c.click(770 - interface_icon_width(0, 0) / 2, 23);  // Quit in Next's place
		};
		std::shared_ptr<void> keep;
		sync();
		vtest::gui_run_result r = vtest::run_web_demo_gui(rel, o, keep);
		if (!r.failure.empty() || pressed < 0 || page5 < 0) {
			std::fprintf(stderr, "bench_wizard_install: the window install did not finish: %s\n%s\n", r.failure.c_str(),
			             r.log.c_str());
			return -1.0;
		}
		keep.reset();
		std::system(("rm -rf '" + o.run_folder + "'").c_str());
		return page5 - pressed;
	};
	auto driver_run = [&](int round) {
		const std::string dest = tmp.path() + "driver" + std::to_string(round) + "/";
		const double secs = bench::run_self_seconds({"--driver", "--port=" + std::to_string(rel.server->port()),
		                                             "--host=" + rel.file_host, "--path=/" + rel.name + "/",
		                                             "--dest=" + dest, "--staging=" + tmp.path() + "staging" + std::to_string(round) + "/"});
		std::system(("rm -rf '" + dest + "' '" + tmp.path() + "staging" + std::to_string(round) + "/'").c_str());
		return secs;
	};
	std::vector<double> windows, drivers;
	for (int k = 0; k < rounds; ++k) {
		double w = -1, d = -1;
		if (k % 2 == 0) {
			w = window_install(k == 0);
			d = driver_run(k);
		} else {
			d = driver_run(k);
			w = window_install(false);
		}
		if (w < 0 || d < 0) {
			std::fprintf(stderr, "bench_wizard_install: round %d failed (window %.2f s, driver %.2f s)\n", k + 1, w, d);
			return 1;
		}
		std::printf("  round %d: window %.3f s, driver %.3f s  (load %s)\n", k + 1, w, d, bench::load_average().c_str());
		std::fflush(stdout);
		windows.push_back(w);
		drivers.push_back(d);
	}
	const bench::spread ws = bench::spread_of(windows), ds = bench::spread_of(drivers);
	const double mb = bytes / 1048576.0;
	std::printf("\nInstall of %d files, %.1f MB, from 127.0.0.1 (window: click to Finish page; driver: whole run),\n"
	            "median of %d (least..most), load average %s:\n",
	            file_count, mb, rounds, bench::load_average().c_str());
	std::printf("  install driver, own process  %8.3f s (%.3f..%.3f)  %8.1f MB/s\n", ds.median, ds.least, ds.most,
	            mb / ds.median);
	std::printf("  installer window             %8.3f s (%.3f..%.3f)  %8.1f MB/s\n", ws.median, ws.least, ws.most,
	            mb / ws.median);
	const double ratio = ds.median / ws.median;
	std::printf("  window MB/s / driver MB/s    %8.2f   goal >= 0.9: %s\n", ratio, ratio >= 0.9 ? "met" : "NOT met");
	std::fflush(stdout);

	// ---- 2. idle pages ----
	double welcome_cpu = -1;
	vtest::temp_folder shots;
	vtest::gui_run_options w;
	w.stop_at = 0;
	w.park_mouse = true;
	w.screens_folder = shots.path();
	w.extra_env = user_env;
	w.at_stop = [&](vtest::gui_ctl& c) {
		welcome_cpu = bench::process_cores(c.pid, idle_seconds);
		c.click(30 + interface_icon_width(0, 0) / 2, 23);  // Quit
	};
	std::shared_ptr<void> keep2;
	vtest::gui_run_result wr = vtest::run_web_demo_gui(rel, w, keep2);
	keep2.reset();
	if (welcome_cpu < 0 || wr.screens.empty()) {
		std::fprintf(stderr, "bench_wizard_install: the Welcome page was not measured: %s\n", wr.failure.c_str());
		return 1;
	}
	const rgba_picture page = read_png(wr.screens.front());
	double bare_cores = -1, bare_fps = 0;
	if (page.w != 800 || !bare_page_loop(page, idle_seconds, &bare_cores, &bare_fps)) {
		std::fprintf(stderr, "bench_wizard_install: the bare loop could not run: %s\n", SDL_GetError());
		return 1;
	}
	std::printf("\nPages idle for %.0f s (CPU of the whole installer from /proc):\n", idle_seconds);
	std::printf("  Welcome                      %8.3f of a core   goal <= 0.03: %s\n", welcome_cpu,
	            welcome_cpu <= 0.03 ? "met" : "NOT met");
	std::printf("  Finish                       %8.3f of a core   goal <= 0.03: %s\n", finish_cpu,
	            finish_cpu >= 0 && finish_cpu <= 0.03 ? "met" : "NOT met");
	std::printf("  bare loop drawing Welcome    %8.3f of a core (%.1f frames/s)\n", bare_cores, bare_fps);
	MACIBM_set_alert_sink(nullptr);
	return 0;
}
