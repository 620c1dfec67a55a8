#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_shared.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_camera.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "DIzivoz/TEX/TEX_png.h"
#include "DIzivoz/TEX/TEX_utils.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Platform/plat_swap.h"

int back_dx = 0, back_dy = 0;

void OGL_screensize(int type, float x0, float y0, float x1, float y1)
{
	if (type == 2) {
		x0 = y0 = 0;
		x1 = (float)mnw.x_res;
		y1 = (float)mnw.y_res;
	} else if (type == 3) {
		x0 *= mnw.gui_scale;
		y0 *= mnw.gui_scale;
		x1 *= mnw.gui_scale;
		y1 *= mnw.gui_scale;
	}
	gl.Viewport((GLint)x0, (GLint)y0, (GLsizei)(x1 - x0), (GLsizei)(y1 - y0));
}

void OGL_scissors(float x, float y, float w, float h)
{
	const float s = mnw.gui_scale, ox = mnw.wind_x, oy = mnw.wind_y;
	const float x0 = (x + ox) * s, y0 = (y + oy) * s;
	int wi = (int)((x + ox + w) * s - x0), hi = (int)((y + oy + h) * s - y0);
	gl.Enable(GL_SCISSOR_TEST);
	gl.Scissor((GLint)x0, (GLint)y0, std::max(wi, 0), std::max(hi, 0));
}

void OGL_scissors_end() { gl.Disable(GL_SCISSOR_TEST); }

void OGL_sbuff()
{
	if (ren.monochrome)
		gl.Color4f(0, 1, 0, ren.global_alpha);
	else
		gl.Color4f(1, 1, 1, ren.global_alpha);
	xtim.profile_chart("sb1", 0);
	APL_swap_current();
	xtim.profile_chart("sb2", 0);
}

void OGL_screenshot(int write)
{
	static int shot = -1;
	const int W = mnw.x_res, H = mnw.y_res;
	const int w = std::clamp(W, 0, 2048), h = std::clamp(H, 0, 2048);
	if (!scratch_array) MACIBM_alloc_scratch();
	// Rows of any width come back packed, as the writer expects them.
	GLint old_align = 4;
	gl.GetIntegerv(GL_PACK_ALIGNMENT, &old_align);
	gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
	gl.ReadPixels((GLint)((W - w) * 0.5), (GLint)((H - h) * 0.5), w, h, GL_RGB, GL_UNSIGNED_BYTE,
	              scratch_array);
	gl.PixelStorei(GL_PACK_ALIGNMENT, old_align);
	if (!write) return;
	std::string name;
	struct stat st;
	do {
		++shot;
		name = "screenshot_" + std::to_string(shot) + ".png";
	} while (stat(name.c_str(), &st) == 0);
	if (!write_png_to_disk(name, w, h, 3)) xer << "Could not write the screenshot " << name << "\n";
}

void OGL_spectrum_rgb(float v)
{
	static const float stops[7][3] = {{0, 0, 0}, {1, 0, 0},   {1, 0.32f, 0.08f}, {1, 1, 0},
	                                  {0, 1, 0}, {0, 0, 1},   {0.8f, 0, 0.8f}};
	float c[3] = {0, 0, 0};
	if (v >= 0) {  // below 0 and NaN: black
		if (v > 1) v = 1;
		int k = std::min((int)(v * 6.0f), 5);
		float f = (v - (float)k / 6.0f) * 6.0f;
		for (int i = 0; i < 3; ++i) c[i] = (1 - f) * stops[k][i] + f * stops[k + 1][i];
	}
	if (ren.monochrome) {
		float g = std::clamp(c[0] + c[1] + c[2], 0.01f, 1.0f);
		c[0] = 0;
		c[1] = g;
		c[2] = 0;
	}
	gl.Color4f(c[0], c[1], c[2], ren.global_alpha);
}

void OGL_setspec(float s)
{
	const GLfloat spec[4] = {s, s, s, 1.0f};
	gl.Lightfv(GL_LIGHT0, GL_SPECULAR, spec);
	gl.Materialfv(GL_FRONT, GL_SPECULAR, spec);
	gl.Materiali(GL_FRONT, GL_SHININESS, 128);
}

void OGL_poly_offset(int n)
{
	if (n == 0) {
		gl.Disable(GL_POLYGON_OFFSET_FILL);
		return;
	}
	gl.Enable(GL_POLYGON_OFFSET_FILL);
	gl.PolygonOffset((float)n * -10.0f, -1.0f);
}

void OGL_printer() {}

void OGL_3dline(float x1, float y1, float z1, float x2, float y2, float z2)
{
	gl.Vertex3f(x1, y1, z1);
	gl.Vertex3f(x2, y2, z2);
}

// Normal of a quad: (p3 - p2) x (p2 - p1), normalised; up when degenerate.
static void quad_normal(const float* p1, const float* p2, const float* p3)
{
	float a[3], b[3];
	for (int i = 0; i < 3; ++i) {
		a[i] = p3[i] - p2[i];
		b[i] = p2[i] - p1[i];
	}
	float n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
	float len = sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
	if (len > 0 && std::isfinite(len))
		gl.Normal3f(n[0] / len, n[1] / len, n[2] / len);
	else
		gl.Normal3f(0, 1, 0);
}

void OGL_3dquad(float* p1, float* p2, float* p3, float* p4)
{
	quad_normal(p1, p2, p3);
	gl.TexCoord2f(1, 1);
	gl.Vertex3fv(p1);
	gl.TexCoord2f(1, 0);
	gl.Vertex3fv(p2);
	gl.TexCoord2f(0, 0);
	gl.Vertex3fv(p3);
	gl.TexCoord2f(0, 1);
	gl.Vertex3fv(p4);
}

void OGL_3dquad_st(float* p1, float* p2, float* p3, float* p4, float s0, float t0, float s1,
                   float t1)
{
	quad_normal(p1, p2, p3);
	gl.TexCoord2f(s0, t0);
	gl.Vertex3fv(p1);
	gl.TexCoord2f(s0, t1);
	gl.Vertex3fv(p2);
	gl.TexCoord2f(s1, t1);
	gl.Vertex3fv(p3);
	gl.TexCoord2f(s1, t0);
	gl.Vertex3fv(p4);
}

void OGL_cube(float x, float y, float z, float size_x, float height, float size_z, float s0,
              float s1, float t0, float t1, float angle)
{
	const float hx = size_x * 0.5f, hz = size_z * 0.5f;
	// Corners round the box, the first again at the end to close the band.
	const float cx[5] = {-hx, hx, hx, -hx, -hx}, cz[5] = {-hz, -hz, hz, hz, -hz};
	const float side_n[4][3] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}};
	gl.PushMatrix();
	gl.Translatef(x, y, z);
	gl.Rotatef(-angle, 0, 0, 1);
	gl.Begin(GL_QUAD_STRIP);
	for (int k = 0; k < 5; ++k) {
		gl.Normal3fv(side_n[k == 0 ? 0 : k - 1]);
		const float s = (k & 1) ? s1 : s0;
		gl.TexCoord2f(s, t0);
		gl.Vertex3f(cx[k], 0, cz[k]);
		gl.TexCoord2f(s, t1);
		gl.Vertex3f(cx[k], height, cz[k]);
	}
	gl.End();
	gl.Begin(GL_QUADS);
	gl.Normal3f(0, 1, 0);
	for (int k = 0; k < 4; ++k) {
		gl.TexCoord2f((k & 1) ? s1 : s0, t1);
		gl.Vertex3f(cx[k], height, cz[k]);
	}
	gl.Normal3f(0, -1, 0);
	for (int k = 0; k < 4; ++k) {
		gl.TexCoord2f((k & 1) ? s1 : s0, t0);
		gl.Vertex3f(cx[k], 0, cz[k]);
	}
	gl.End();
	gl.PopMatrix();
}

static inline void ring_vertex(float xp, float q, int deg)
{
	gl.Vertex3f(xp, q * lookup_cos[deg], -q * lookup_sin[deg]);
}

void OGL_disc(float x, float y, float z, float r)
{
	const float L = 0.38f * r;
	gl.PushMatrix();
	gl.Translatef(x, y, z);
	gl.Begin(GL_TRIANGLE_FAN);
	gl.Normal3f(-1, 0, 0);
	gl.Vertex3f(-r, 0, 0);
	for (int d = 360; d >= 0; d -= 30) ring_vertex(-r, L, d);
	gl.End();
	gl.Begin(GL_TRIANGLE_FAN);
	gl.Normal3f(1, 0, 0);
	gl.Vertex3f(r, 0, 0);
	for (int d = 0; d <= 360; d += 30) ring_vertex(r, L, d);
	gl.End();
	const float bands[3][4] = {{-r, L, -L, r}, {-L, r, L, r}, {L, r, r, L}};
	for (const auto& b : bands) {
		gl.Begin(GL_QUAD_STRIP);
		for (int d = 0; d <= 360; d += 30) {
			ring_vertex(b[0], b[1], d);
			ring_vertex(b[2], b[3], d);
		}
		gl.End();
	}
	gl.PopMatrix();
}

void OGL_viewport(int type, float left, float vp_left, float bottom, float vp_bottom, float right,
                  float vp_right, float near_z, float top, float vp_top, float far_z, float zoom,
                  int keep_aspect)
{
	if (type == 2) {
		left = mnw.ortho_left;
		bottom = mnw.ortho_bottom;
		right = mnw.ortho_right;
		top = mnw.ortho_top;
		vp_left = vp_bottom = 0;
		vp_right = (float)mnw.x_res;
		vp_top = (float)mnw.y_res;
	} else if (type == 3) {
		left *= near_z;
		right *= near_z;
		bottom *= near_z;
		top *= near_z;
		vp_left *= mnw.gui_scale;
		vp_bottom *= mnw.gui_scale;
		vp_right *= mnw.gui_scale;
		vp_top *= mnw.gui_scale;
	}
	const float width = vp_right - vp_left, height = vp_top - vp_bottom;
	// A viewport without width has no aspect to keep.
	if (keep_aspect && width != 0) {
		bottom *= height / width;
		top *= height / width;
	}
	gl.MatrixMode(GL_PROJECTION);
	gl.LoadIdentity();
	if (type == 2)
		xcam.SetupOrtho(left / zoom, right / zoom, bottom / zoom, top / zoom, -1, 1);
	else if (type == 3)
		xcam.SetupFrustum(left / zoom, right / zoom, bottom / zoom, top / zoom, near_z, far_z);
	gl.Viewport((GLint)vp_left, (GLint)vp_bottom, (GLsizei)width, (GLsizei)height);
	xcam.Identity();
	gl.MatrixMode(GL_PROJECTION);
	gl.LoadMatrixd(xcam.projection);
	gl.MatrixMode(GL_MODELVIEW);
	gl.LoadMatrixd(xcam.modelview);
	xcam.modelview_stale = 0;
}

void OGL_pix_specs(int)
{
	const float w = (float)mnw.x_res, h = (float)mnw.y_res;
	mnw.gui_scale = 1.0f;
	mnw.ortho_left = 0;
	mnw.ortho_bottom = 0;
	mnw.ortho_right = w;
	mnw.ortho_top = h;
	mnw.margin_y = std::max(0.0f, h - 768.0f);
	mnw.margin_x = mnw.wind_type == -1 ? 0.0f : std::max(0.0f, (w - 1024.0f) * 0.5f);
	mnw.center_x = w * 0.5f;
	mnw.center_y = 384.0f;
	if (mnw.wind_type >= 0) OGL_viewport(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0);
}

void OGL_plot_back_col()
{
	OGL_fillrect(34, 1.0f, -mnw.wind_x, -mnw.wind_y, (float)mnw.x_res, (float)mnw.y_res);
}

void OGL_make_back_tex()
{
	if (mnw.wind_type != -1) return;
	if (!scratch_array) MACIBM_alloc_scratch();
	const size_t full = 2048u * 2048u * 4u, tile = 512u * 512u * 4u;
	memset(scratch_array, 0, full);
	const std::string path = "Resources/bitmaps/intro.png";
	unsigned char* buf = scratch_array;
	TEX_image_desc desc{};
	if (!TEX_load_any(path, buf, GL_RGBA, 2048, 0, desc) || buf != scratch_array) {
		__MACIBM_alert(0, "Trying to load a texture that you do not have!",
		               "This smacks of a mis-installed copy of Ventora!",
		               std::string("Please download a new copy of Ventora from ") + ventora_web_site +
		                   ". The missing file is:",
		               path, alert_fatal, "DIzivoz/OOPS_cpp/oglp", 1156);
		return;
	}
	back_dx = desc.width;
	back_dy = desc.height;

	std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[full]);
	if (!copy) return;
	memcpy(copy.get(), scratch_array, full);
	OGL_setstate(1, 1, 3, 5, 9, 11);
	int ref = 429;
	for (int y0 = 0; y0 < 2048; y0 += 512) {
		for (int x0 = 0; x0 < 2048; x0 += 512) {
			memset(scratch_array, 0, tile);
			const int rows = std::min(back_dy - y0, 512), cols = std::min(back_dx - x0, 512);
			if (rows > 0 && cols > 0)
				for (int r = 0; r < rows; ++r)
					memcpy(scratch_array + (size_t)r * 512 * 4,
					       copy.get() + ((size_t)(y0 + r) * 2048 + (size_t)x0) * 4, (size_t)cols * 4);
			scratch_dx = 512;
			scratch_dy = 512;
			tman.load_texture(tex_fail_fatal, ref, 0x412, tex_loaded, "scratch_array-t_tex_back (tile)");
			++ref;
		}
	}
}

void OGL_plot_back_tex()
{
	const float w = (float)mnw.x_res, h = (float)mnw.y_res;
	float left, right, bottom, top;
	if (mnw.wind_type == -1) {
		right = std::min(w, (float)back_dx);
		left = right - (float)back_dx;
		float excess = std::clamp((float)back_dy - h, 0.0f, 512.0f);
		top = excess + h;
		bottom = top - (float)back_dy;
		if ((float)back_dx < w || (float)back_dy < h) OGL_plot_back_col();
	} else {
		left = mnw.margin_x;
		right = mnw.margin_x + (float)back_dx;
		bottom = 0;
		top = (float)back_dy;
	}
	OGL_setstate(1, 1, 3, ren.global_alpha > 0.99f ? 6 : 5, 9, 11);
	OGL_set_color(0, 1.0f);
	// Each tile holds 512 x 512 picture pixels from the picture's corner, so
	// its quad covers those pixels and the part of the tile the picture fills.
	for (int i = 0; i < 4; ++i) {
		for (int j = 0; j < 4; ++j) {
			const float xa = left + 512.0f * j, ya = bottom + 512.0f * i;
			const float xb = std::min(xa + 512.0f, right), yb = std::min(ya + 512.0f, top);
			if (xb <= xa || yb <= ya) continue;
			if (xb < 0 || xa > w || yb < 0 || ya > h) continue;
			const float s = (xb - xa) / 512.0f, t = (yb - ya) / 512.0f;
			tman.bind_ref(429 + 4 * i + j, 0, 0);
			gl.Begin(GL_QUADS);
			gl.TexCoord2f(0, 0);
			gl.Vertex2f(xa, ya);
			gl.TexCoord2f(0, t);
			gl.Vertex2f(xa, yb);
			gl.TexCoord2f(s, t);
			gl.Vertex2f(xb, yb);
			gl.TexCoord2f(s, 0);
			gl.Vertex2f(xb, ya);
			gl.End();
		}
	}
}

