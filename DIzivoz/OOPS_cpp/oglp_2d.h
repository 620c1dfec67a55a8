#pragma once
// 2-D drawing primitives, numbers, text entry points, the viewport, the
// buffer swap, screenshots, the background and small 3-D helpers. 2-D calls
// take GUI units of the current sub-window and add its origin themselves;
// one-pixel lines and outlines add half a pixel to land on pixel centres.
#include <string>

#include "DIzivoz/OOPS_cpp/oglp.h"

// ---- text ---------------------------------------------------------------------
// Draws at y - 1 with proportional advances; the y a following line starts at.
float OGL_string(int colour, float x, float y, const std::string& text, float width,
                 charset_t charset, int align);
// Width of the text in the regular font.
float str_dx(const std::string& text);

// ---- 2-D primitives -----------------------------------------------------------
void OGL_line(int colour, float alpha, float x1, float y1, float x2, float y2);
void OGL_fillrect(int colour, float alpha, float x, float y, float w, float h);
void OGL_framerect(int colour, float alpha, float x, float y, float w, float h);
void OGL_fillcircle(int colour, float cx, float cy, float r);
void OGL_framecircle(int colour, float cx, float cy, float r);
void OGL_arc(int colour, float cx, float cy, float r_inner, float r_outer, float deg_from,
             float deg_to);
void OGL_grayrect(float x0, float y0, float x1, float y1, float alpha);
void OGL_gray_string(int colour, float x, float y, std::string text);
void OGL_2dquad(int tex_ref, int colour, float alpha, float x1, float y1, float s1, float t1,
                float x2, float y2, float s2, float t2, float x3, float y3, float s3, float t3,
                float x4, float y4, float s4, float t4, int tex_units, int alpha_mode);
void OGL_2dquad_d(int tex_ref, int colour, float alpha, float x, float y, float s, float t, float w,
                  float h, float ds, float dt, int alpha_mode);
// State, colour and interface texture for cells; the cell advance (0 regular,
// 10 bold), or 0 with a fatal alert for another charset.
int OGL_strtex(charset_t charset, int colour, float* s0, float* t0, float* s1, float* t1);
void OGL_char(int colour, float x, float y, float s0, float t0, float s1, float t1, int ch,
              charset_t charset);
void OGL_number(int colour, float x, float y, float value, int digits, int decimals,
                charset_t charset);
// Parts of a number as OGL_number reads them.
struct OGL_number_parts {
	double a;        // magnitude
	float scaled;    // magnitude times 10^decimals
	double rounded;  // scaled + 0.5
	bool neg;        // a sign shows: negative and not shown as zero
};
OGL_number_parts OGL_number_split(float value, int decimals);
// Digit at 10^place of a rounded value, '0' for NaN and infinity.
char OGL_number_digit(double rounded, int place);
// The text the regular-font path of OGL_number draws.
std::string OGL_number_text(float value, int digits, int decimals);

// ---- viewport, screen and background --------------------------------------------
extern int back_dx, back_dy;

void OGL_viewport(int type, float left, float vp_left, float bottom, float vp_bottom, float right,
                  float vp_right, float near_z, float top, float vp_top, float far_z, float zoom,
                  int keep_aspect);
void OGL_screensize(int type, float x0, float y0, float x1, float y1);
void OGL_pix_specs(int);
void OGL_scissors(float x, float y, float w, float h);
void OGL_scissors_end();
void OGL_sbuff();
void OGL_plot_back_col();
void OGL_screenshot(int write);
void OGL_make_back_tex();
void OGL_plot_back_tex();
void OGL_spectrum_rgb(float v);
void OGL_setspec(float s);
void OGL_poly_offset(int n);
void OGL_printer();

// ---- 3-D helpers (model coordinates; caller owns glBegin/glEnd where noted) --------
void OGL_3dline(float x1, float y1, float z1, float x2, float y2, float z2);
void OGL_3dquad(float* p1, float* p2, float* p3, float* p4);
void OGL_3dquad_st(float* p1, float* p2, float* p3, float* p4, float s0, float t0, float s1,
                   float t1);
void OGL_cube(float x, float y, float z, float size_x, float height, float size_z, float s0,
              float s1, float t0, float t1, float angle);
void OGL_disc(float x, float y, float z, float r);
