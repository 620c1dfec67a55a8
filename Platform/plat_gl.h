#pragma once
// OpenGL library and entry points by name, over SDL's GL loader.

// Loads the OpenGL library through SDL (already loaded once a GL window
// exists); 0, or -1 when SDL's video is not started or the load fails.
int plat_gl_load_library();

// An OpenGL entry point by name, null when there is none. SDL answers
// non-null even for invented names, so tests inject their own resolver.
void* aglGetProcAddress(const char* name);

// Replaces the resolver behind aglGetProcAddress; null puts SDL's back.
// Returns the resolver that was in place (null meaning SDL's).
using plat_gl_resolver = void* (*)(const char* name);
plat_gl_resolver plat_set_gl_resolver(plat_gl_resolver resolver);
