#pragma once
// Values start-up fills that every layer reads: the image scratch buffer, the
// lookup tables and whether OpenGL is up.

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
