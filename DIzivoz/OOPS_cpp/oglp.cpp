#include "DIzivoz/OOPS_cpp/oglp.h"

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/UTL/UTL_stats.h"

int num_units = 1;

// The cached state of OGL_setstate (one set for the program's one context).
static struct {
	bool seeded = false;
	int fog, tex, lit, alB, alT, deR, deW;
} o;

void OGL_setstate_forget()
{
	o.seeded = false;
	num_units = 1;
}

void OGL_setstate(int fog, int tex_units, int lighting, int alpha_mode, int depth_read, int depth_write)
{
	if (!o.seeded) {
		o.seeded = true;
		o.fog = gl.IsEnabled(GL_FOG) ? 0 : 1;
		o.tex = gl.IsEnabled(GL_TEXTURE_2D) ? num_units : 0;
		o.lit = gl.IsEnabled(GL_LIGHTING) ? 2 : 3;
		o.alB = gl.IsEnabled(GL_BLEND) ? 1 : 0;
		o.alT = gl.IsEnabled(GL_ALPHA_TEST) ? 1 : 0;
		o.deR = gl.IsEnabled(GL_DEPTH_TEST) ? 8 : 9;
		o.deW = 11;  // not read from OpenGL
	}
	if (fog != o.fog) {
		if (fog) gl.Disable(GL_FOG);
		else gl.Enable(GL_FOG);
	}
	int tex_store = o.tex;
	if (tex_units != o.tex) {
		if (tex_units > 0) gl.Enable(GL_TEXTURE_2D);
		else gl.Disable(GL_TEXTURE_2D);
		int n = tex_units < 0 ? 0 : tex_units;
		if (n > ren.tex_units) n = ren.tex_units;
		num_units = n;
		int old = o.tex;
		if (n > 1 || old > 1) {
			for (int i = 0; i < 8; ++i)
				if (old <= i && i < n) {
					gl.ActiveTexture(GL_TEXTURE0 + i);
					gl.Enable(GL_TEXTURE_2D);
				}
			for (int i = 0; i < 8; ++i)
				if (n <= i && i < old) {
					gl.ActiveTexture(GL_TEXTURE0 + i);
					gl.Disable(GL_TEXTURE_2D);
				}
			gl.ActiveTexture(GL_TEXTURE0);
		}
		tex_store = n;
	}
	if (lighting != o.lit) {
		if (lighting == 2) {
			gl.Enable(GL_LIGHTING);
			gl.Enable(GL_LIGHT0);
		} else {
			gl.Disable(GL_LIGHTING);
			gl.Disable(GL_LIGHT0);
		}
	}
	int want_blend = (alpha_mode == 5 || alpha_mode == 7) ? 1 : 0;
	int want_test = (alpha_mode == 6 || alpha_mode == 7) ? 1 : 0;
	if (want_blend != o.alB) {
		if (want_blend) gl.Enable(GL_BLEND);
		else gl.Disable(GL_BLEND);
	}
	if (want_test != o.alT) {
		if (want_test) gl.Enable(GL_ALPHA_TEST);
		else gl.Disable(GL_ALPHA_TEST);
	}
	if (depth_read != o.deR) {
		if (depth_read == 8) gl.Enable(GL_DEPTH_TEST);
		else gl.Disable(GL_DEPTH_TEST);
	}
	if (depth_write != o.deW) gl.DepthMask(depth_write == 10 ? GL_TRUE : GL_FALSE);

	o.fog = fog;
	o.tex = tex_store;
	o.lit = lighting;
	o.alB = want_blend;
	o.alT = want_test;
	o.deR = depth_read;
	o.deW = depth_write;
}

void OGL_set_color(int index, float alpha)
{
	if (index < 0 || index >= colr_count) {
		xer << "Bad palette index " << index << ", colour left unchanged.\n";
		return;
	}
	// The frame clock makes these entries pulse: the next frame differs.
	if (index >= 79 && index <= 84) MACIBM_frame_animate();
	float c[3] = {colr.rgb[index][0], colr.rgb[index][1], colr.rgb[index][2]};
	if (index <= 45)
		for (int k = 0; k < 3; ++k) c[k] *= colr.rgb[105][k];
	if (ren.monochrome) {
		float g = c[0] + c[1] + c[2];
		if (g < 0.01f) g = 0.01f;
		if (g > 1.0f) g = 1.0f;
		c[0] = 0;
		c[1] = g;
		c[2] = 0;
	}
	float a = alpha * ren.global_alpha;
	// Opaque is an explicit alpha of 1: after a translucent colour, Mesa kept
	// drawing the next opaque icon translucent when only three channels were set.
	if (a > 0.99f) {
		const float opaque[4] = {c[0], c[1], c[2], 1.0f};
		gl.Color4fv(opaque);
	} else {
		gl.Color4f(c[0], c[1], c[2], a);
	}
}

void OGL_nrml_colors() { gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); }
void OGL_glow_colors() { gl.BlendFunc(GL_SRC_ALPHA, GL_ONE); }

// One cached bind; the statistic is made on the first real bind.
static void bind_cached(GLenum target, const unsigned long& buffer, unsigned long& last, UTL_stat*& stat,
                        const char* stat_name)
{
	if (buffer == last) return;
	// Without buffer objects there is nothing to bind through.
	if (glExt.glBindBufferARB == nullptr) return;
	glExt.glBindBufferARB(target, (GLuint)buffer);
	last = buffer;
	if (stat == nullptr) stat = new UTL_stat(stat_name, stat_per_frame, 0);
	stat->value += 1;
}

void OGL_bind_vbo(const unsigned long& buffer)
{
	static unsigned long last_vbo = 0;
	static UTL_stat* stat = nullptr;
	bind_cached(GL_ARRAY_BUFFER_ARB, buffer, last_vbo, stat, "num_xdl_bind");
}

void OGL_bind_vbo_ind(const unsigned long& buffer)
{
	static unsigned long last_vbo = 0;
	static UTL_stat* stat = nullptr;
	bind_cached(GL_ELEMENT_ARRAY_BUFFER_ARB, buffer, last_vbo, stat, "num_xdl_bind_ind");
}
