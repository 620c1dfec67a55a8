#pragma once
// Declarations of drawing and focus calls this branch uses before the
// branches that define them are merged; each block goes when its owner lands.
#include <string>

#if __has_include("DIzivoz/OOPS_cpp/oglp_2d.h")
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#else
typedef int charset_t;
float OGL_string(int colour, float x, float y, const std::string& text, float width, charset_t charset, int align);
float str_dx(const std::string& text);
void OGL_line(int colour, float alpha, float x1, float y1, float x2, float y2);
void OGL_fillrect(int colour, float alpha, float x, float y, float w, float h);
void OGL_number(int colour, float x, float y, float value, int digits, int decimals, charset_t charset);
void OGL_scissors(float x, float y, float w, float h);
void OGL_scissors_end();
void OGL_2dquad_d(int tex_ref, int colour, float alpha, float x, float y, float s, float t, float w, float h, float ds,
                  float dt, int alpha_mode);
#endif

#if __has_include("DIzivoz/OGL/OGL_font.h")
#include "DIzivoz/OGL/OGL_font.h"
#else
float OGL_measure_range(const unsigned char* begin, const unsigned char* end, charset_t charset);
const unsigned char* OGL_fit_forward(const unsigned char* begin, const unsigned char* end, float width,
                                     charset_t charset);
const unsigned char* OGL_fit_reverse(const unsigned char* begin, const unsigned char* end, float width,
                                     charset_t charset);
#endif

int BTN_register_focus(int id, int* chars, int* vkeys, int* flags, int* ids, int* count, int queue_size,
                       int accept_mask, int want_focus);
int BTN_no_focus_yet();
void BTN_expand_label(const std::string& label, std::string& left, std::string& right, std::string& help);
void BTN_util_draw_label(float x, float y, int align, const std::string& text, int lit);
void BTN_frame1(int style, float x_centre, float y_centre, float width, int colour);
void BTN_frame0(int style, float x_centre, float y_centre, float height);
