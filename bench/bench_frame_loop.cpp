// The shell's frame loop under Xvfb, on the installer's Welcome page:
//  1. the page left idle: CPU of the whole process (every thread, from
//     /proc/self/stat) per wall second and frames drawn per second; goal at
//     most 0.03 of a core;
//  2. input to screen: clicks put into the event queue from another thread at
//     uneven times while the page idles; time from the click to the end of the
//     swap of the frame that took it (median and largest; compare with the
//     program before a change: no worse);
//  3. the cost of a frame: the page drawn every frame against a bare loop
//     drawing a picture of the same page as one texture (clear, draw, swap,
//     a 17 ms wait); CPU per frame of both and their ratio (the page blends
//     several window-sized layers where the picture is one);
//  4. the drawn alert left open: CPU per wall second, goal at most 0.03.
//
// Run: xvfb-run -a -s "-screen 0 1024x768x24" build-bench/bench_frame_loop [--seconds=N]
// from the build folder (Resources/ is found there). N (default 20) is the
// idle phase; the others take a quarter of it. The machine may be shared:
// run it beside the program it is compared with.
#include <SDL2/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/wizard.h"
#include "Platform/plat_swap.h"
#include "bench/bench_measure.h"
#include "bench/bench_page_frames.h"

// Asks for the next frame at once; absent from a shell that draws every frame anyway.
void MACIBM_frame_animate() __attribute__((weak));

namespace {
double phase_seconds = 20.0;

using bench::now_s;
using bench::process_cpu_s;

std::atomic<int> swaps{0};
bool animate = false;
std::vector<unsigned char> page_pixels;  // the page as the last full frame drew it, bottom row first
bool grab_page = false;

// Click latency: the time a click was queued, and the time its frame was on screen.
std::atomic<double> click_queued{0};
double click_taken = 0;
std::vector<double> latencies;

void update()
{
	wizard_APP_update();
	if (mnw.mouse_click && click_queued.load() > 0) click_taken = click_queued.exchange(0);
	if (animate && MACIBM_frame_animate) MACIBM_frame_animate();
}

void swap(void* w)
{
	if (grab_page) {
		page_pixels.assign(size_t(mnw.x_res) * mnw.y_res * 4, 0);
		gl.ReadBuffer(GL_BACK);
		gl.ReadPixels(0, 0, mnw.x_res, mnw.y_res, GL_RGBA, GL_UNSIGNED_BYTE, page_pixels.data());
		grab_page = false;
	}
	if (w) SDL_GL_SwapWindow(static_cast<SDL_Window*>(w));
	++swaps;
	if (click_taken > 0) {
		latencies.push_back(now_s() - click_taken);
		click_taken = 0;
	}
}

void push_button(Uint32 type)
{
	SDL_Event e{};
	e.type = type;
	e.button.button = SDL_BUTTON_LEFT;
	e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
	e.button.clicks = 1;
	e.button.x = 795;  // the page's top right corner: nothing there reacts
	e.button.y = 5;
	e.button.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(mnw.window[0]));
	SDL_PushEvent(&e);
}

struct rate {
	double cores, fps;
};

rate frames_for(double seconds)
{
	const int s0 = swaps;
	const double w0 = now_s(), c0 = process_cpu_s();
	while (now_s() - w0 < seconds) MACIBM_event_proc();
	const double wall = now_s() - w0;
	return rate{(process_cpu_s() - c0) / wall, (swaps - s0) / wall};
}

// The bare loop on the same window and context: the picture of the page as
// one texture, a 17 ms wait between frames.
rate bare_loop(double seconds)
{
	const bench::frame_rate r = bench::page_frames(static_cast<SDL_Window*>(mnw.window[0]), mnw.x_res, mnw.y_res,
	                                               page_pixels.data(), seconds);
	return rate{r.cores, r.fps};
}

}  // namespace

int main(int argc, char** argv)
{
	for (int i = 1; i < argc; ++i)
		if (std::strncmp(argv[i], "--seconds=", 10) == 0) phase_seconds = std::atof(argv[i] + 10);
	if (!std::getenv("DISPLAY")) {
		std::fprintf(stderr, "bench_frame_loop: no display; run it under xvfb-run\n");
		return 1;
	}
	// English without asking: the picker would wait for a person.
	setenv("LANGUAGE", "en", 0);
	const char* args[] = {argv[0]};
	MACIBM_init(1, args);
	MACIBM_set_app_hooks(app_hooks{update, nullptr, nullptr});
	tman.load_texture(tex_fail_fatal, 395, 1282, tex_loaded, "RESOURCE:elements_English.png");
	stls[stls_entry_alert_button] = "OK";
	install_name = no_install_name;
	stg_set_start_values();
	g_wizard = demo_start;
	APL_set_swap_hook(swap);
	// The pointer over nothing that lights up.
	SDL_WarpMouseInWindow(static_cast<SDL_Window*>(mnw.window[0]), 795, 5);
	for (int i = 0; i < 10; ++i) MACIBM_event_proc();

	// 1. Idle.
	const rate idle = frames_for(phase_seconds);

	// 2. Clicks at uneven times while the page idles.
	const int clicks = std::max(8, (int)(phase_seconds / 2));
	std::atomic<bool> clicking{true};
	std::thread clicker([&] {
		unsigned seed = 12345;
		for (int i = 0; i < clicks; ++i) {
			seed = seed * 1103515245u + 12345u;
			std::this_thread::sleep_for(std::chrono::milliseconds(250 + (seed >> 16) % 500));
			click_queued = now_s();
			push_button(SDL_MOUSEBUTTONDOWN);
			push_button(SDL_MOUSEBUTTONUP);
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(100));
		clicking = false;
	});
	while (clicking || latencies.size() < (size_t)clicks) {
		MACIBM_event_proc();
		if (!clicking && latencies.size() < (size_t)clicks && now_s() - click_queued.load() > 5) break;
	}
	clicker.join();

	// 3. A frame drawn every tick, against the bare loop drawing its picture.
	animate = true;
	grab_page = true;
	MACIBM_frame_wake();  // an idle window draws nothing until something ends its wait
	frames_for(0.5);
	const rate drawn = frames_for(phase_seconds / 4);
	animate = false;
	const rate bare = bare_loop(phase_seconds / 4);

	// 4. The alert, closed by Return from another thread after its time.
	for (int i = 0; i < 5; ++i) MACIBM_event_proc();
	std::thread closer([] {
		std::this_thread::sleep_for(std::chrono::duration<double>(phase_seconds / 4));
		SDL_Event e{};
		e.type = SDL_KEYDOWN;
		e.key.keysym.scancode = SDL_SCANCODE_RETURN;
		e.key.keysym.sym = SDLK_RETURN;
		SDL_PushEvent(&e);
	});
	const double w0 = now_s(), c0 = process_cpu_s();
	const int s0 = swaps;
	__MACIBM_alert(0, "Benchmark", "", "", "", alert_warning, "bench/frame_loop", 1);
	const double alert_wall = now_s() - w0;
	const rate alert{(process_cpu_s() - c0) / alert_wall, (swaps - s0) / alert_wall};
	closer.join();

	std::printf("Frame loop on the Welcome page (whole process, every thread; the machine may be shared):\n");
	std::printf("  idle %4.0f s                 %6.3f of a core  %6.1f frames/s   goal <= 0.03: %s\n", phase_seconds,
	            idle.cores, idle.fps, idle.cores <= 0.03 ? "met" : "NOT met");
	std::sort(latencies.begin(), latencies.end());
	std::printf("  click to screen            median %6.1f ms, largest %6.1f ms (%zu clicks)\n",
	            bench::spread_of(latencies).median * 1000, latencies.empty() ? -1.0 : latencies.back() * 1000, latencies.size());
	const double page_ms = drawn.fps > 0 ? drawn.cores / drawn.fps * 1000 : -1;
	const double bare_ms = bare.fps > 0 ? bare.cores / bare.fps * 1000 : -1;
	std::printf("  page drawn every frame     %6.3f ms CPU per frame (%5.1f frames/s)\n", page_ms, drawn.fps);
	std::printf("  bare loop, same picture    %6.3f ms CPU per frame (%5.1f frames/s)\n", bare_ms, bare.fps);
	std::printf("  page / bare                %6.2f\n", page_ms / bare_ms);
	std::printf("  alert open %4.0f s           %6.3f of a core  %6.1f frames/s   goal <= 0.03: %s\n", alert_wall,
	            alert.cores, alert.fps, alert.cores <= 0.03 ? "met" : "NOT met");
	MACIBM_finishup(0);
	return 0;
}
