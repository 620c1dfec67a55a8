// Push button, check box and its adapters, radio choice, tab, direction
// dial, title-bar boxes and single atlas cells.
#include <cmath>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"

static bool menu_is_open() { return mnw.menu_open != -1; }
static bool mouse_in(float x0, float x1, float y0, float y1)
{
	return mnw.mouse_x >= x0 && mnw.mouse_x <= x1 && mnw.mouse_y >= y0 && mnw.mouse_y <= y1;
}

void BTN_util_element(float x, float y, float u, float v, float hw, float hh, int colour)
{
	const float s0 = (u - hw) / 512, s1 = (u + hw) / 512, t0 = (v - hh) / 512, t1 = (v + hh) / 512;
	OGL_2dquad(392, colour, 1.0f, x - hw, y - hh, s0, t0, x - hw, y + hh, s0, t1, x + hw, y + hh, s1, t1, x + hw,
	           y - hh, s1, t0, 1, 5);
}

int BTN_action(float x, float y, float width, int lit, int mode, std::string label, std::string side_text)
{
	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	if (width <= 0) width = str_dx(label) + 21;
	BTN_frame1(2, x, y, width, 0);
	if (lit) BTN_frame1(3, x, y, width, 0);
	int group = 0;
	if (g_layout_record) {
		// The bar's visible part, and its label inside it.
		group = BTN_layout_new_group();
		BTN_layout_add(layout_button, x - width / 2 + 1, y - 10, x + width / 2 - 1, y + 11, left, group);
		BTN_layout_own_begin(group);
	}
	BTN_util_draw_label(x, y - 3, 1, left, mode == 2 && lit);
	if (group) BTN_layout_own_end();
	if (side_text != "-") OGL_string(45, x + width / 2 + 10, y + 7, side_text, 500, 0, 0);
	const int hit = !menu_is_open() && mnw.mouse_click && mouse_in(x - width / 2, x + width / 2, y - 10, y + 10);
	if (hit && mode != 0 && !lit) {
		// Show the pressed look before the caller acts on the click.
		BTN_frame1(3, x, y, width, 0);
		BTN_util_draw_label(x, y - 3, 1, left, 0);
		OGL_sbuff();
	}
	return hit;
}

int BTN_bool(float x, float y, int* var, std::string label, int look)
{
	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	const float bu = look == 1 ? 92 : 148, bv = look == 1 ? 132 : 187, tv = look == 1 ? 151 : 206;
	BTN_util_element(x, y + 3, bu, bv, 9, 9, 0);
	if (*var) BTN_util_element(x, y + 3, bu, tv, 9, 9, 0);
	BTN_layout_add(layout_check, x - 7, y - 4, x + 7, y + 10, left + right);
	BTN_util_draw_label(x - 12, y, 0, left, 0);
	BTN_util_draw_label(x + 12, y, 2, right, 0);
	if (!menu_is_open() && mouse_in(x - 8, x + 8, y - 4, y + 12)) {
		BTN_set_help(help);
		if (mnw.mouse_click) {
			*var = !*var;
			return 1;
		}
	}
	return 0;
}

int BTN_xbol(float x, float y, bool* var, std::string label)
{
	int copy = *var ? 1 : 0;
	const int r = BTN_bool(x, y, &copy, label, 0);
	*var = copy != 0;
	return r;
}

int BTN_xchr(float x, float y, char* var, std::string label)
{
	int copy = *var;
	const int r = BTN_bool(x, y, &copy, label, 0);
	*var = (char)copy;
	return r;
}

int BTN_xbyt(float x, float y, unsigned char* var, std::string label)
{
	int copy = *var;
	const int r = BTN_bool(x, y, &copy, label, 0);
	*var = (unsigned char)copy;
	return r;
}

int BTN_is_int(float x, float y, int* var, int value, std::string label)
{
	int copy = *var == value ? 1 : 0;
	const int r = BTN_bool(x, y, &copy, label, 1);
	if (copy) *var = value;
	return r;
}

int BTN_tab(int column, int row, int* var, int value, std::string label)
{
	const float cx = column * 88 + 53, cy = mnw.wind_dy - 38 - row * 32;
	int r = 0;
	if (mnw.mouse_click && mouse_in(cx - 50, cx + 40, cy - 13, cy + 13)) {
		*var = value;
		r = 1;
	}
	const bool on = *var == value;
	const float v0 = on ? 486 : 459, v1 = on ? 512 : 485;
	OGL_2dquad(392, 0, 1.0f, cx - 49, cy - 13, 204 / 512.0f, v0 / 512, cx - 49, cy + 13, 204 / 512.0f, v1 / 512,
	           cx + 49, cy + 13, 302 / 512.0f, v1 / 512, cx + 49, cy - 13, 302 / 512.0f, v0 / 512, 1, 5);
	int group = 0;
	if (g_layout_record) {
		group = BTN_layout_new_group();
		BTN_layout_add(layout_tab, cx - 49, cy - 13, cx + 49, cy + 11, label, group);
		BTN_layout_own_begin(group);
	}
	OGL_string(on ? 41 : 42, cx - 40, cy - 4, label, 9999, 0, 0);
	if (group) BTN_layout_own_end();
	return r;
}

void plot_dir(float x, float y, float* heading, int look)
{
	const float a = -*heading * (float)M_PI / 180.0f, c = std::cos(a), s = std::sin(a);
	auto rx = [&](float dx, float dy) { return x + dx * c - dy * s; };
	auto ry = [&](float dx, float dy) { return y + dx * s + dy * c; };
	const float v0 = look == 1 ? 272 : 315, v1 = look == 1 ? 314 : 357;
	OGL_2dquad(392, 0, 1.0f, rx(-5, -21), ry(-5, -21), 156 / 512.0f, v0 / 512, rx(-5, 21), ry(-5, 21), 156 / 512.0f,
	           v1 / 512, rx(5, 21), ry(5, 21), 166 / 512.0f, v1 / 512, rx(5, -21), ry(5, -21), 166 / 512.0f, v0 / 512,
	           1, 5);
	OGL_2dquad(392, 0, 1.0f, x - 28, y - 29, 178 / 512.0f, 160 / 512.0f, x - 28, y + 29, 178 / 512.0f, 218 / 512.0f,
	           x + 28, y + 29, 234 / 512.0f, 218 / 512.0f, x + 28, y - 29, 234 / 512.0f, 160 / 512.0f, 1, 5);
	OGL_number(45, x - 14, y - 2, *heading, 3, 0, 1);
	if (mnw.mouse_down && std::fabs(mnw.mouse_x - x) <= 30 && std::fabs(mnw.mouse_y - y) <= 30)
		*heading = plot_dir_heading(x, y, mnw.mouse_x, mnw.mouse_y);
}

int BTN_zap_boxes(int look)
{
	const float w = mnw.wind_dx, h = mnw.wind_dy, v = look == 0 ? 187 : 206;
	BTN_util_element(16, h - 10, 129, v, 9, 9, 0);
	if (mnw.mouse_click && mouse_in(7, 25, h - 19, h - 1)) return 1;
	BTN_util_element(w - 16, h - 10, 129, v, 9, 9, 0);
	return mnw.mouse_click && mouse_in(w - 25, w - 7, h - 19, h - 1) ? 1 : 0;
}
