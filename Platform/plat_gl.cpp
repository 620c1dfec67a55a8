#include "Platform/plat_gl.h"

#include <SDL.h>

static plat_gl_resolver g_resolver = nullptr;

int plat_gl_load_library()
{
	if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return -1;
	// Reference-counted in SDL: a window made with SDL_WINDOW_OPENGL holds
	// one already, so this only confirms the library is there.
	return SDL_GL_LoadLibrary(nullptr) == 0 ? 0 : -1;
}

void* aglGetProcAddress(const char* name)
{
	if (name == nullptr) return nullptr;
	if (g_resolver) return g_resolver(name);
	if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return nullptr;
	return SDL_GL_GetProcAddress(name);
}

plat_gl_resolver plat_set_gl_resolver(plat_gl_resolver resolver)
{
	plat_gl_resolver prev = g_resolver;
	g_resolver = resolver;
	return prev;
}
