#pragma once
// The yardstick of the window benchmarks: a picture of a page drawn as one
// texture on the current context each frame, swapped, events taken, a 17 ms
// wait between frames; the least a frame loop showing that page can cost.
#include <SDL2/SDL.h>

#include "DIzivoz/OGL/OGL_gl.h"
#include "bench/bench_measure.h"

namespace bench {

struct frame_rate {
	double cores, fps;
};

inline frame_rate page_frames(SDL_Window* win, int w, int h, const void* rgba, double seconds)
{
	GLuint tex = 0;
	gl.GenTextures(1, &tex);
	gl.BindTexture(GL_TEXTURE_2D, tex);
	gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
	gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
	gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
	gl.Viewport(0, 0, w, h);
	gl.MatrixMode(GL_PROJECTION);
	gl.LoadIdentity();
	gl.Ortho(0, 1, 0, 1, -1, 1);
	gl.MatrixMode(GL_MODELVIEW);
	gl.LoadIdentity();
	for (GLenum cap : {GL_DEPTH_TEST, GL_CULL_FACE, GL_BLEND, GL_ALPHA_TEST, GL_FOG, GL_LIGHTING}) gl.Disable(cap);
	gl.Enable(GL_TEXTURE_2D);
	gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
	int frames = 0;
	const double w0 = now_s(), c0 = process_cpu_s();
	while (now_s() - w0 < seconds) {
		gl.Clear(GL_COLOR_BUFFER_BIT);
		gl.Begin(GL_QUADS);
		gl.TexCoord2f(0, 0), gl.Vertex2f(0, 0);
		gl.TexCoord2f(1, 0), gl.Vertex2f(1, 0);
		gl.TexCoord2f(1, 1), gl.Vertex2f(1, 1);
		gl.TexCoord2f(0, 1), gl.Vertex2f(0, 1);
		gl.End();
		SDL_GL_SwapWindow(win);
		SDL_Event e;
		while (SDL_PollEvent(&e)) {
		}
		SDL_WaitEventTimeout(&e, 17);
		++frames;
	}
	const double wall = now_s() - w0;
	gl.DeleteTextures(1, &tex);
	return frame_rate{(process_cpu_s() - c0) / wall, frames / wall};
}

}  // namespace bench
