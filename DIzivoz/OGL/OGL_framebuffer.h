#pragma once
// Drawing into a texture of the texture manager. Between begin_render and
// end_render everything drawn lands in the texture under a fixed reference:
// through a framebuffer object (with an optional depth renderbuffer) when
// the driver has them and the caller asks, else in the back buffer's corner,
// copied into the texture at the end (the pass is halved until it fits the
// window). During a pass `mnw` describes the target instead of the window.
// Main thread only; passes do not nest.
#include "DIzivoz/OGL/OGL_extensions.h"

// The caller's fixed name of a framebuffer object; bound as it is, never
// generated.
typedef GLuint fbo_id;

class OGL_framebuffer {
public:
	// Stores the arguments; no OpenGL call.
	OGL_framebuffer(int tex_ref, fbo_id fbo, int tex_flags, int render_w, int render_h, unsigned long depth_rb);

	void set_render_size(int w, int h);
	void begin_render(int use_fbo);
	void end_render();

	fbo_id fbo;
	unsigned long depth_rb;  // 0: no depth buffer
	int saved_fbo = 0;
	int use_fbo = 0;
	int tex_ref;
	int tex_flags;  // texture-manager flags: bits 0-2 colour kind (6 depth), 0x08 mipmaps
	int render_w, render_h;
	int pass_w = 0, pass_h = 0;
	float saved_ortho[4] = {0, 0, 0, 0};
	float saved_margin_x = 0;
	float saved_win_w = 0, saved_win_h = 0;

private:
	// The target texture at w x h: kept (1) when loaded at that size, else
	// (re)created from the scratch buffer (0).
	int check_target(int w, int h, const char* name, int flags);
};
