#pragma once
// The rules all drawing code shares: the cached state switch, the palette
// colour rule, the font selector and the cached buffer binds.

// Font selector: 0 regular, 1 bold (the font layer's reset also takes 2, both).
typedef int charset_t;
enum { charset_regular = 0, charset_bold = 1, charset_both = 2 };

// The one switch for fog, texture units, lighting, blending, alpha test,
// depth test and depth writes; a call that matches the cached state makes no
// OpenGL call. Arguments: fog non-zero = off; tex_units to enable (<= 0
// none); lighting 2 on, else off; alpha_mode 4 neither, 5 blend, 6 alpha
// test, 7 both; depth_read 8 on, else off; depth_write 10 on, else off.
void OGL_setstate(int fog, int tex_units, int lighting, int alpha_mode, int depth_read, int depth_write);
// Texture units OGL_setstate last enabled (after clamping); starts at 1.
extern int num_units;
// Tests only: forget the cache, so the next call seeds it from OpenGL again.
void OGL_setstate_forget();

// Sets the OpenGL colour of palette index `index` (0..105): entries 45 and
// below are lit by entry 105, monochrome draws green of the intensity, the
// alpha is `alpha` times the global alpha, opaque above 0.99.
void OGL_set_color(int index, float alpha = 1.0f);

// Ordinary alpha blending, and additive; neither touches the state cache.
void OGL_nrml_colors();
void OGL_glow_colors();

// Bind a buffer object as the array or element-array buffer, only when it is
// not the one bound last by the same call ("num_xdl_bind", "num_xdl_bind_ind"
// count the real binds).
void OGL_bind_vbo(const unsigned long& buffer);
void OGL_bind_vbo_ind(const unsigned long& buffer);
