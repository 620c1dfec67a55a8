// The shell's frame loop against a bare SDL loop in the same run, under Xvfb:
// the application idle on the main screen, then with the drawn alert open,
// then a bare loop (clear, swap, one 17 ms wait). Prints frames per second,
// CPU time per frame and the ratios.
//
// Goals: at most 62 frames/s idle; the main screen at most 1.5 times the bare
// loop's CPU per frame; an open alert well below one core.
//
// Run: xvfb-run -a -s "-screen 0 1024x768x24" build/bench_frame_loop [--seconds=N]
// from a folder holding Resources/ (the build folder does).
#include <SDL2/SDL.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "Platform/plat_swap.h"

namespace {
double seconds_per_phase = 3.0;
int swaps = 0;

double cpu_seconds()
{
	rusage r;
	getrusage(RUSAGE_SELF, &r);
	return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}
double wall_seconds()
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct figures {
	double fps, cpu_ms;
};

void counting_swap(void* w)
{
	++swaps;
	if (w) SDL_GL_SwapWindow(static_cast<SDL_Window*>(w));
}

// While the alert is open: after the phase's time, a Return closes it.
double alert_start = 0;
void alert_swap(void* w)
{
	counting_swap(w);
	if (wall_seconds() - alert_start > seconds_per_phase) {
		SDL_Event e{};
		e.type = SDL_KEYDOWN;
		e.key.keysym.scancode = SDL_SCANCODE_RETURN;
		e.key.keysym.sym = SDLK_RETURN;
		SDL_PushEvent(&e);
	}
}

void print(const char* name, const figures& f)
{
	std::printf("%-14s %8.1f frames/s %8.3f ms CPU per frame\n", name, f.fps, f.cpu_ms);
}
}  // namespace

int main(int argc, char** argv)
{
	for (int i = 1; i < argc; ++i)
		if (std::strncmp(argv[i], "--seconds=", 10) == 0) seconds_per_phase = std::atof(argv[i] + 10);
	// English without asking: the picker would wait for a person.
	setenv("LANGUAGE", "en", 0);
	const char* args[] = {argv[0]};
	MACIBM_init(1, args);
	APL_set_swap_hook(counting_swap);

	// Idle main screen.
	MACIBM_event_proc();
	swaps = 0;
	double w0 = wall_seconds(), c0 = cpu_seconds();
	while (wall_seconds() - w0 < seconds_per_phase) MACIBM_event_proc();
	figures idle{swaps / (wall_seconds() - w0), (cpu_seconds() - c0) * 1000 / swaps};

	// The drawn alert.
	APL_set_swap_hook(alert_swap);
	swaps = 0;
	alert_start = w0 = wall_seconds();
	c0 = cpu_seconds();
	__MACIBM_alert(0, "Benchmark", "", "", "", alert_warning, "bench/frame_loop", 1);
	figures alert{swaps / (wall_seconds() - w0), (cpu_seconds() - c0) * 1000 / swaps};
	APL_set_swap_hook(nullptr);

	// A bare loop on the same window: clear, swap, one tick's wait.
	SDL_Window* win = static_cast<SDL_Window*>(mnw.window[0]);
	int frames = 0;
	w0 = wall_seconds();
	c0 = cpu_seconds();
	while (wall_seconds() - w0 < seconds_per_phase) {
		gl.Clear(GL_COLOR_BUFFER_BIT);
		SDL_GL_SwapWindow(win);
		SDL_Event e;
		while (SDL_PollEvent(&e)) {
		}
		SDL_WaitEventTimeout(&e, 17);
		++frames;
	}
	figures bare{frames / (wall_seconds() - w0), (cpu_seconds() - c0) * 1000 / frames};

	print("main screen", idle);
	print("alert open", alert);
	print("bare loop", bare);
	const double alert_core = alert.fps * alert.cpu_ms / 1000;
	std::printf("main/bare CPU per frame %.2f (goal <= 1.5); idle %.1f frames/s (goal <= 62); alert uses %.2f of a core\n",
	            idle.cpu_ms / bare.cpu_ms, idle.fps, alert_core);
	MACIBM_finishup(0);
	return 0;
}
