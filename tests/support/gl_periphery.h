#pragma once
// Shared by the shader, render-target and chunk-buffer tests: a plain
// full-window draw, pixel reads and statistics.
#include <array>
#include <cstring>
#include <string>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/UTL/UTL_stats.h"
#include "tests/support/gl_context.h"

// Identity matrices, no depth test, blending, lighting or texturing, the
// whole window as viewport, drawing to and reading from the back buffer.
inline void gl_plain_state(int w = 800, int h = 600)
{
	gl.Viewport(0, 0, w, h);
	gl.MatrixMode(GL_PROJECTION);
	gl.LoadIdentity();
	gl.MatrixMode(GL_MODELVIEW);
	gl.LoadIdentity();
	gl.Disable(GL_DEPTH_TEST);
	gl.Disable(GL_BLEND);
	gl.Disable(GL_ALPHA_TEST);
	gl.Disable(GL_LIGHTING);
	gl.Disable(GL_TEXTURE_2D);
	gl.Disable(GL_FOG);
	gl.DrawBuffer(GL_BACK);
	gl.ReadBuffer(GL_BACK);
	gl.ClearColor(0, 0, 0, 1);
	gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// A quad over the whole viewport at depth z (clip space).
inline void gl_full_quad(float z = 0.0f)
{
	gl.Begin(GL_QUADS);
	gl.Vertex3f(-1, -1, z);
	gl.Vertex3f(1, -1, z);
	gl.Vertex3f(1, 1, z);
	gl.Vertex3f(-1, 1, z);
	gl.End();
}

inline std::array<int, 3> gl_pixel(int x, int y)
{
	unsigned char p[4] = {0, 0, 0, 0};
	gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
	gl.ReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
	return {p[0], p[1], p[2]};
}

inline bool near_rgb(const std::array<int, 3>& got, const std::array<int, 3>& want, int tol = 2)
{
	for (int i = 0; i < 3; ++i)
		if (got[i] < want[i] - tol || got[i] > want[i] + tol) return false;
	return true;
}

inline std::string rgb_text(const std::array<int, 3>& c)
{
	return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

// The value of a named statistic, registered or still waiting.
inline float stat_value(const char* name)
{
	for (UTL_stat* s = UTL_stat_waiting(); s; s = s->next)
		if (strcmp(s->name, name) == 0) return *s->target;
	for (auto& kind : UTL_all_stats())
		for (UTL_stat* s : kind.second)
			if (strcmp(s->name, name) == 0) return *s->target;
	ADD_FAILURE() << "no statistic " << name;
	return -1;
}
