#pragma once
// End of frame: shows the back buffer of a window made by the platform layer.

// Swaps the OpenGL buffers of `window` (an SDL_Window*); nothing for null.
void APL_swap_window(void* window);
// Swaps the window of the context current on the calling thread; nothing
// when no context is current.
void APL_swap_current();

// Test seam: when set, swaps go to the hook instead of the window. Pass
// nullptr to restore.
using APL_swap_hook = void (*)(void* window);
void APL_set_swap_hook(APL_swap_hook hook);
