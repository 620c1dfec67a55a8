#pragma once
// Application shell start-up: the values start-up fills and the progress
// screen. Only what the texture and drawing layers need exists so far.
#include <string>

// The shared 16 MB image scratch buffer (16-byte aligned) and the size of the
// image a caller left in it.
extern unsigned char* scratch_array;
extern int scratch_dx, scratch_dy;
const long long scratch_array_bytes = 16LL * 1024 * 1024;
// Points scratch_array at its storage; start-up calls it, tests may too.
void MACIBM_alloc_scratch();

extern int ogl_inited;
extern int plot_init_lights;
extern float randrat[10000];
extern float lookup_sin[361], lookup_cos[361];
// Fills lookup_sin and lookup_cos for whole degrees 0..360; start-up calls it.
void MACIBM_fill_lookup();

// One progress screen; progress may be null. Until the shell draws, the text
// goes to the log; tests may watch the calls.
void MACIBM_show_init(const std::string& text, float* progress);
using show_init_hook = void (*)(const std::string& text, float* progress);
void MACIBM_set_show_init_hook(show_init_hook hook);
