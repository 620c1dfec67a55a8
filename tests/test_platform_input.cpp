// Which queued input ends a busy frame's work early, on the SDL back end.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "Platform/plat_shell.h"

namespace {

SDL_Event event_of(Uint32 type)
{
	SDL_Event e{};
	e.type = type;
	return e;
}

}  // namespace

// Presses, keys, the wheel and window events end the work at once; releases
// wait for the frame's end (widgets act on the press), and pointer motion
// only when the work asks for it.
TEST(PlatformInput, PressesEndAFramesWorkAndReleasesWait)
{
	if (!std::getenv("DISPLAY") || SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no display";
	PLAT_set_backend(nullptr);
	plat_backend& p = PLAT();
	struct row {
		const char* what;
		Uint32 type;
		bool with_motion, without_motion;
	};
	const row rows[] = {
	    {"button press", SDL_MOUSEBUTTONDOWN, true, true},
	    {"button release", SDL_MOUSEBUTTONUP, false, false},
	    {"key press", SDL_KEYDOWN, true, true},
	    {"key release", SDL_KEYUP, false, false},
	    {"typed text", SDL_TEXTINPUT, true, true},
	    {"wheel", SDL_MOUSEWHEEL, true, true},
	    {"window event", SDL_WINDOWEVENT, true, true},
	    {"quit", SDL_QUIT, true, true},
	    {"pointer motion", SDL_MOUSEMOTION, true, false},
	};
	for (const row& r : rows) {
		p.flush_events();
		ASSERT_FALSE(p.input_pending(true)) << r.what;
		SDL_Event e = event_of(r.type);
		ASSERT_EQ(SDL_PushEvent(&e), 1) << r.what;
		EXPECT_EQ(p.input_pending(true), r.with_motion) << r.what;
		EXPECT_EQ(p.input_pending(false), r.without_motion) << r.what;
	}
	p.flush_events();
	SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
