#include "DIzivoz/OOPS_cpp/oglp_2d.h"

#include <algorithm>
#include <cmath>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_shared.h"
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_prefix.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/tman.h"

// Palette colour with the call's alpha (1.0: the global alpha alone).
static inline void pal(int colour, float alpha) { OGL_set_color(colour, alpha); }

float OGL_string(int colour, float x, float y, const std::string& text, float width,
                 charset_t charset, int align)
{
	return OGL_font_string(colour, x, y - 1, text, width, charset, align, 0);
}

float str_dx(const std::string& text) { return OGL_measure_string(text, 0); }

void OGL_line(int colour, float alpha, float x1, float y1, float x2, float y2)
{
	const float ox = mnw.wind_x + 0.5f, oy = mnw.wind_y + 0.5f;
	OGL_setstate(1, 0, 3, 5, 9, 11);
	pal(colour, alpha);
	gl.Begin(GL_LINES);
	gl.Vertex2f(x1 + ox, y1 + oy);
	gl.Vertex2f(x2 + ox, y2 + oy);
	gl.End();
}

void OGL_fillrect(int colour, float alpha, float x, float y, float w, float h)
{
	x += mnw.wind_x;
	y += mnw.wind_y;
	OGL_setstate(1, 0, 3, 5, 9, 11);
	pal(colour, alpha);
	gl.Begin(GL_QUADS);
	gl.Vertex2f(x, y);
	gl.Vertex2f(x, y + h);
	gl.Vertex2f(x + w, y + h);
	gl.Vertex2f(x + w, y);
	gl.End();
}

void OGL_framerect(int colour, float alpha, float x, float y, float w, float h)
{
	const float X = x + mnw.wind_x + 0.5f, Y = y + mnw.wind_y + 0.5f;
	OGL_setstate(1, 0, 3, 5, 9, 11);
	pal(colour, alpha);
	gl.Begin(GL_LINE_LOOP);
	gl.Vertex2f(X, Y);
	gl.Vertex2f(X, Y + h);
	gl.Vertex2f(X + w, Y + h);
	gl.Vertex2f(X + w, Y);
	gl.End();
}

void OGL_fillcircle(int colour, float cx, float cy, float r)
{
	if (!std::isfinite(r)) return;  // no endless loop on a bad radius
	for (float dy = -r; dy <= r; dy += 1.0f) {
		float half = sqrtf(std::max(0.0f, r * r - dy * dy));
		OGL_line(colour, 1.0f, cx - half, cy + dy, cx + half, cy + dy);
	}
}

void OGL_framecircle(int colour, float cx, float cy, float r)
{
	const float X = cx + mnw.wind_x + 0.5f, Y = cy + mnw.wind_y + 0.5f;
	OGL_setstate(1, 0, 3, 4, 9, 11);
	pal(colour, 1.0f);
	gl.Begin(GL_LINE_STRIP);
	for (int d = 0; d <= 360; d += 5) gl.Vertex2f(X + r * lookup_sin[d], Y + r * lookup_cos[d]);
	gl.End();
}

void OGL_arc(int colour, float cx, float cy, float r_inner, float r_outer, float deg_from,
             float deg_to)
{
	if (r_inner > r_outer) return;
	// Non-finite bounds would never end the loops.
	if (!std::isfinite(r_inner) || !std::isfinite(r_outer) || !std::isfinite(deg_from) ||
	    !std::isfinite(deg_to))
		return;
	for (float r = r_inner; r <= r_outer; r += 1.0f) {
		float a0 = deg_from * degtorad;
		float px = cx + r * sinf(a0), py = cy + r * cosf(a0);
		for (float A = deg_from; A <= deg_to; A += 1.0f) {
			float a = A * degtorad;
			float qx = cx + r * sinf(a), qy = cy + r * cosf(a);
			OGL_line(colour, 1.0f, px, py, qx, qy);
			px = qx;
			py = qy;
		}
	}
}

void OGL_grayrect(float x0, float y0, float x1, float y1, float alpha)
{
	const float ox = mnw.wind_x, oy = mnw.wind_y;
	OGL_setstate(1, 0, 3, 5, 9, 11);
	pal(12, alpha);
	gl.Begin(GL_QUADS);
	gl.Vertex2f(x0 + ox, y0 + oy);
	gl.Vertex2f(x0 + ox, y1 + oy);
	gl.Vertex2f(x1 + ox, y1 + oy);
	gl.Vertex2f(x1 + ox, y0 + oy);
	gl.End();
}

void OGL_gray_string(int colour, float x, float y, std::string text)
{
	float half = OGL_measure_string(text, 0) * 0.5f;
	OGL_grayrect(x - half - 2, y - 2, x + half + 2, y + 8, 0.5f);
	OGL_font_string(colour, x - half, y - 1, text, 9999, 0, 0, 0);
}

void OGL_2dquad(int tex_ref, int colour, float alpha, float x1, float y1, float s1, float t1,
                float x2, float y2, float s2, float t2, float x3, float y3, float s3, float t3,
                float x4, float y4, float s4, float t4, int tex_units, int alpha_mode)
{
	const float ox = mnw.wind_x, oy = mnw.wind_y;
	OGL_setstate(1, tex_units, 3, alpha_mode, 9, 11);
	pal(colour, alpha);
	if (tex_ref > 0) tman.bind_ref(tex_ref, 0, tex_ref == 420 ? 17 : 0);
	gl.Begin(GL_QUADS);
	gl.TexCoord2f(s1, t1);
	gl.Vertex2f(x1 + ox, y1 + oy);
	gl.TexCoord2f(s2, t2);
	gl.Vertex2f(x2 + ox, y2 + oy);
	gl.TexCoord2f(s3, t3);
	gl.Vertex2f(x3 + ox, y3 + oy);
	gl.TexCoord2f(s4, t4);
	gl.Vertex2f(x4 + ox, y4 + oy);
	gl.End();
}

void OGL_2dquad_d(int tex_ref, int colour, float alpha, float x, float y, float s, float t, float w,
                  float h, float ds, float dt, int alpha_mode)
{
	x += mnw.wind_x;
	y += mnw.wind_y;
	OGL_setstate(1, 1, 3, alpha_mode, 9, 11);
	pal(colour, alpha);
	if (tex_ref > 0) tman.bind_ref(tex_ref, 0, 0);
	gl.Begin(GL_QUADS);
	gl.TexCoord2f(s, t);
	gl.Vertex2f(x, y);
	gl.TexCoord2f(s, t + dt);
	gl.Vertex2f(x, y + h);
	gl.TexCoord2f(s + ds, t + dt);
	gl.Vertex2f(x + w, y + h);
	gl.TexCoord2f(s + ds, t);
	gl.Vertex2f(x + w, y);
	gl.End();
}

int OGL_strtex(charset_t charset, int colour, float* s0, float* t0, float* s1, float* t1)
{
	if (charset != 0 && charset != 1) {
		__MACIBM_alert(0, "String proc with bad charset!", "", "", "", alert_fatal,
		               "DIzivoz/OOPS_cpp/oglp", 495);
		return 0;
	}
	OGL_setstate(1, 1, 3, 5, 9, 11);
	pal(colour, 1.0f);
	tman.bind_ref(392, 0, 0);
	*s0 = 0;
	*t0 = 0;
	*s1 = 14.0f;
	*t1 = 15.0f;
	return charset == 1 ? 10 : 0;
}

void OGL_char(int colour, float x, float y, float, float, float, float, int ch, charset_t charset)
{
	std::string text;
	unsigned int c = (unsigned int)ch;
	if (c < 0x80) {
		text.push_back((char)c);
	} else if (c < 0x800) {
		text.push_back((char)(0xC0 | (c >> 6)));
		text.push_back((char)(0x80 | (c & 0x3F)));
	} else {
		text.push_back((char)(0xE0 | ((c >> 12) & 0x0F)));
		text.push_back((char)(0x80 | ((c >> 6) & 0x3F)));
		text.push_back((char)(0x80 | (c & 0x3F)));
	}
	OGL_font_string(colour, x - mnw.wind_x, y - mnw.wind_y + 1, text, 0, charset, 0,
	                charset == 1 ? 10 : 0);
}

void OGL_number(int colour, float x, float y, float value, int digits, int decimals,
                charset_t charset)
{
	if (charset != 1) {
		OGL_font_string(colour, x, y - 1, OGL_number_text(value, digits, decimals), 9999, charset,
		                0, 0);
		return;
	}
	OGL_number_parts p = OGL_number_split(value, decimals);
	const int n = digits - decimals;
	float s0, t0, s1, t1;
	const float c = (float)OGL_strtex(1, colour, &s0, &t0, &s1, &t1);
	const float X = roundf(x + mnw.wind_x) - c;
	const float Y = roundf(y + mnw.wind_y) - 2;
	auto put = [&](float cx, int ch) { OGL_char(colour, cx, Y, s0, t0, s1, t1, ch, 1); };
	if (p.neg) put(X + 1, '-');
	if (decimals > 0) put(X + (n + 0.5f) * c, '.');
	if (n > 3) put(X + (n - 3 + 0.5f) * c, ',');
	if (n > 6) put(X + (n - 6 + 0.5f) * c, ',');
	if (n > 9) put(X + (n - 9 + 0.5f) * c, ',');
	const int k = std::min(digits, 11);
	float cell = X + c;
	for (int place = k - 1; place >= 0; --place) {
		put(cell, OGL_number_digit(p.rounded, place));
		cell += c;
	}
}

// Vertical colour scale, 1000 units tall, with its end values.
void colr_class::spectrum_plotscale(float x, float y, float lo, float hi, int decimals)
{
	spectrum_hi = hi;
	OGL_number(0, x + 4, y + 996, hi, 5, decimals, 0);
	spectrum_lo = lo;
	OGL_number(0, x + 4, y - 4, lo, 5, decimals, 0);
	spectrum_range = hi - lo;

	const float ox = mnw.wind_x, oy = mnw.wind_y;
	const float vmin = std::min(lo, hi), vmax = std::max(lo, hi);
	OGL_setstate(1, 0, 3, 5, 9, 11);
	gl.PointSize(4);
	gl.Begin(GL_POINTS);
	for (int h = 0; h <= 996; h += 4) {
		float v = lo + (hi - lo) / 999.0f * (float)h;
		v = std::clamp(v, vmin, vmax);
		// An empty range (hi equal to lo) has every point at entry 0.
		float f = spectrum_range != 0 ? (v - lo) / spectrum_range * 1000.0f : 0.0f;
		int idx = std::isfinite(f) ? (int)std::clamp(f, 0.0f, 999.0f) : 0;
		gl.Color3fv(spectrum[idx]);
		gl.Vertex2f(x + ox, y + (float)h + oy);
	}
	gl.End();
	gl.PointSize(1);
}
