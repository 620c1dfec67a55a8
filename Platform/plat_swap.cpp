#include "Platform/plat_swap.h"

#include <SDL.h>

static APL_swap_hook s_swap_hook = nullptr;

void APL_set_swap_hook(APL_swap_hook hook) { s_swap_hook = hook; }

void APL_swap_window(void* window)
{
	if (s_swap_hook) {
		s_swap_hook(window);
		return;
	}
	if (window) SDL_GL_SwapWindow(static_cast<SDL_Window*>(window));
}

void APL_swap_current() { APL_swap_window(SDL_GL_GetCurrentWindow()); }
