#include "DIzivoz/OOPS_cpp/butn_values.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/UTL/UTL_xtim.h"

namespace {
const char* const butn_src = "DIzivoz/OOPS_cpp/butn";

// Number fields share one queue and one hot digit; the character field has its own.
BTN_key_queue num_keys;
int hot_digit = 0;
BTN_key_queue chr_keys;
int hot_pos = 0;

int grab[5];  // vertical slider slots 0-3, then the horizontal slider

long long pow10ll(int n)
{
	long long p = 1;
	while (n-- > 0) p *= 10;
	return p;
}

bool menu_closed() { return mnw.menu_open == -1; }

bool inside(float px, float py, float x0, float x1, float y0, float y1)
{
	return x0 <= px && px <= x1 && y0 <= py && py <= y1;
}

// One cell of the interface atlas centred at (cx, cy); pixels / 512.
void atlas_cell(int colour, float cx, float cy, float w, float h, float s0, float t0, float s1, float t1)
{
	OGL_2dquad_d(392, colour, 1.0f, cx - w / 2, cy - h / 2, s0 / 512.0f, t0 / 512.0f, w, h, (s1 - s0) / 512.0f,
	             (t1 - t0) / 512.0f, 5);
}

void digit_arrows(float x, float y, int cells)
{
	for (int k = 0; k < cells; ++k) {
		atlas_cell(0, x + 10 * k + 6, y - 10, 14, 18, 83, 178, 97, 196);
		atlas_cell(0, x + 10 * k + 6, y + 18, 14, 18, 83, 197, 97, 215);
	}
}

// The visible part of a number or character field (frame style 9 centred at
// cx, `width` wide), with its arrow cells above and below when it has them.
void record_field(float cx, float y, float width, bool arrows, const std::string& what)
{
	if (!g_layout_record) return;
	const float c = std::round(cx), half = std::round(width / 2) + 2;
	BTN_layout_add(layout_field, c - half + 1, arrows ? y - 12 : y - 3, c + half - 1, arrows ? y + 20 : y + 12, what);
}

// Texts a widget draws inside itself that need no check (digits in their cells).
struct layout_pause {
	int was = g_layout_record;
	layout_pause() { g_layout_record = 0; }
	~layout_pause() { g_layout_record = was; }
};

void fatal(const char* text, int line) { __MACIBM_alert(0, text, "", "", "", alert_fatal, butn_src, line); }
}  // namespace

// ---- number fields

int BTN_flt_range(float x, float y, float* value, int digits, int decimals, float min, float max, std::string label)
{
	digits = std::clamp(digits, 1, 10);
	decimals = std::clamp(decimals, 0, digits);
	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	const float r = x + digits * 10;
	const float mx = mnw.mouse_x, my = mnw.mouse_y;
	const int id = (int)y + (int)x * 8192;
	const bool over_digits = inside(mx, my, x, r, y - 2, y + 8);
	if (over_digits) BTN_set_help(help);
	int want = 0;
	if (over_digits && mnw.mouse_click && menu_closed()) {
		hot_digit = (int)((mx - 2 - x) / 10);
		want = 1;
	}
	const int has = BTN_register_queue(num_keys, id, 208, want);
	if (has) hot_digit = std::clamp(hot_digit, 0, digits - 1);

	const float before = *value;
	double v = *value;
	const long long scale = pow10ll(decimals);
	auto place = [&](int k) { return std::pow(10.0, digits - decimals - k - 1); };
	BTN_consume_queue(num_keys, id, [&](int ch, int vkey, int) {
		const int hot = std::clamp(hot_digit, 0, digits - 1);
		if (vkey == 37) {
			hot_digit = hot - 1 < 0 ? digits - 1 : hot - 1;
		} else if (vkey == 39) {
			hot_digit = hot + 1 >= digits ? 0 : hot + 1;
		} else if (vkey == 38) {
			v += place(hot);
		} else if (vkey == 40) {
			v -= place(hot);
		} else if (ch >= '0' && ch <= '9') {
			// Digits of the rounded whole number of smallest units: a float's
			// 4.6 must read 6 in its tenths.
			const bool negative = v < 0;
			long long n = std::llround(std::fabs(v) * (double)scale);
			const long long p = pow10ll(digits - hot - 1);
			const long long cur = (n / p) % 10;
			n += (ch - '0' - cur) * p;
			v = (double)n / (double)scale;
			if (negative) v = -v;
			hot_digit = hot + 1 >= digits ? 0 : hot + 1;
		} else if (ch == '+') {
			if (min < 0) v = std::fabs(v);
		} else if (ch == '-') {
			if (max >= 0) v = -std::fabs(v);
		}
	});

	if (!over_digits && mnw.mouse_click && menu_closed() && inside(mx, my, x, r, y - 18, y + 24)) {
		for (int k = 0; k < digits && k < 10; ++k)
			if (x + 10 * k <= mx && mx <= x + 10 * k + 10) {
				const double step = (double)pow10ll(digits - 1 - k) / (double)scale;
				v += my > y + 3 ? step : -step;
				break;
			}
	}

	v = std::clamp(v, (double)min, (double)max);
	v = std::trunc(std::round(v * (double)scale)) / (double)scale;
	*value = (float)v;

	BTN_frame1(9, x + digits * 5 - 1, y + 3, digits * 10 + 15, 0);
	digit_arrows(x, y, digits);
	record_field(x + digits * 5 - 1, y, digits * 10 + 15, true, left + right);
	BTN_util_draw_label(x - 12, y, 0, left, 0);
	BTN_util_draw_label(r + 12, y, 2, right, 0);
	if (has) OGL_fillrect(8, 1.0f, x + 2 + 10 * hot_digit, y - 2, 9, 11);
	layout_pause digits_inside;
	OGL_number(45, x + 3, y, *value, digits, decimals, 1);
	return *value != before;
}

int BTN_flt(float x, float y, float* value, int digits, int decimals, int allow_negative, std::string label)
{
	digits = std::clamp(digits, 1, 10);
	decimals = std::clamp(decimals, 0, digits);
	const float max = (float)((double)(pow10ll(digits) - 1) / (double)pow10ll(decimals));
	return BTN_flt_range(x, y, value, digits, decimals, allow_negative ? -max : 0, max, label);
}

namespace {
// A float copy written back into an int never overflows it.
int to_int(float f)
{
	if (!(f == f)) return 0;
	if (f >= 2147483647.0f) return INT_MAX;
	if (f <= -2147483648.0f) return INT_MIN;
	return (int)f;
}
}  // namespace

int BTN_int(float x, float y, int* value, int digits, int allow_negative, std::string label)
{
	float f = (float)*value;
	const int r = BTN_flt(x, y, &f, digits, 0, allow_negative, label);
	*value = to_int(f);
	return r;
}

int BTN_int_range(float x, float y, int* value, int digits, float min, float max, std::string label)
{
	float f = (float)*value;
	const int r = BTN_flt_range(x, y, &f, digits, 0, min, max, label);
	*value = to_int(f);
	return r;
}

int BTN_dob_range(float x, float y, double* value, int digits, int decimals, float min, float max, std::string label)
{
	float f = (float)*value;
	const int r = BTN_flt_range(x, y, &f, digits, decimals, min, max, label);
	if (r) *value = f;
	return r;
}

int BTN_fltij(int i, int j, float* value, int digits, int decimals, int allow_negative, std::string label)
{
	return BTN_flt(i * 75 + 75 - digits * 10, j * 50 + 25, value, digits, decimals, allow_negative, label);
}

int BTN_flt_rangeij(int i, int j, float* value, int digits, int decimals, float min, float max, std::string label)
{
	return BTN_flt_range(i * 75 + 75 - digits * 10, j * 50 + 25, value, digits, decimals, min, max, label);
}

void BTN_display_number(float x, float y, float value, int digits, int decimals, std::string label)
{
	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	const float r = x + digits * 10;
	if (inside(mnw.mouse_x, mnw.mouse_y, x, r, y - 2, y + 8)) BTN_set_help(help);
	BTN_frame1(9, x + digits * 5 - 1, y + 3, digits * 10 + 15, 0);
	record_field(x + digits * 5 - 1, y, digits * 10 + 15, false, left + right);
	BTN_util_draw_label(x - 12, y, 0, left, 0);
	BTN_util_draw_label(r + 12, y, 2, right, 0);
	layout_pause digits_inside;
	OGL_number(45, x + 4, y, value, digits, decimals, 1);
}

// ---- sliders

int BTN_vert_slider(int slot, float x, float y_bottom, float y_top, int min, int max, int* value)
{
	BTN_frame0(6, x, (y_bottom + y_top) / 2, y_top - y_bottom);
	if (!(min < max)) return 0;
	if (slot < 0 || slot > 3) {
		fatal("Too many sliders!", __LINE__);
		return 0;
	}
	const float mx = mnw.mouse_x, my = mnw.mouse_y;
	const float hi = y_top - 10, lo = y_bottom + 9;
	auto thumb_at = [&](int v) {
		const float t = hi + (lo - hi) * (float)(v - min) / (float)(max - min);
		return std::clamp(t, std::min(lo, hi), std::max(lo, hi));
	};
	float thumb = thumb_at(*value);
	if (mnw.mouse_down) {
		if (inside(mx, my, x - 11, x + 11, thumb - 11, thumb + 11)) grab[slot] = 1;
	} else {
		grab[slot] = 0;
	}
	if (grab[slot]) {
		float v = min + (float)(max - min) * (my - (y_top - 11)) / ((y_bottom + 11) - (y_top - 11));
		v = std::clamp(v, (float)min, (float)max);
		*value = (int)v;
	} else if (mnw.mouse_click || (mnw.mouse_down && mnw.mouse_hold && xtim.real_flags[5])) {
		long long v = *value;
		if (x - 11 <= mx && mx <= x + 11) {
			if (y_top <= my && my <= y_top + 20)
				v -= 1;
			else if (y_bottom - 20 <= my && my <= y_bottom)
				v += 1;
			else if (y_bottom <= my && my <= y_top)
				v += my >= thumb ? -10 : 10;
		}
		*value = (int)std::clamp<long long>(v, min, max);
	}
	thumb = thumb_at(*value);
	const int colour = grab[slot] ? 47 : 0;
	atlas_cell(colour, x, y_top + 8, 18, 22, 83, 266, 101, 288);
	atlas_cell(colour, x, thumb, 18, 24, 83, 240, 101, 264);
	atlas_cell(colour, x, y_bottom - 10, 18, 22, 83, 216, 101, 238);
	return grab[slot];
}

int BTN_horz_slider(float x, float y, float width, int fill_colour, float min, float max, float* value, int editable,
                    std::string label, std::string value_text)
{
	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	if (max - min < 0.01f) {
		if (max >= min)
			max = min + 0.01f;
		else
			min = max + 0.01f;
	}
	BTN_frame1(7, x + width / 2, y, width, 0);
	BTN_layout_add(layout_slider, x + 1, y - 3, x + width - 1, y + 3, left + right);
	BTN_util_draw_label(x - 8, y, 0, left, 0);
	BTN_util_draw_label(x + width + 8, y, 2, right, 0);
	const float mx = mnw.mouse_x, my = mnw.mouse_y;
	if (inside(mx, my, x, x + width, y - 7, y + 7)) BTN_set_help(help);
	OGL_string(43, x + width / 2, y + 10, value_text, 9999, 0, 1);

	int result = 0;
	const float lo = std::min(min, max), hi = std::max(min, max);
	if (editable && mnw.mouse_down && width != 0 && inside(mx, my, x - 20, x + width + 20, y - 20, y + 20)) {
		*value = std::clamp(min + (max - min) * (mx - x) / width, lo, hi);
		result = 1;
	}
	float f = width * (*value - min) / (max - min);
	f = std::clamp(f, 0.0f, std::max(0.0f, width));
	if (fill_colour != 12 && f > 0) {
		const float F = 2 * std::round((float)(int)f / 2);
		BTN_frame1(8, x + F / 2, y + 4, F, fill_colour);
	}
	if (editable) atlas_cell(0, x + f, y + 2, 20, 22, 262, 267, 282, 289);
	if (!mnw.mouse_down) grab[4] = 0;
	return result;
}

// ---- pop-up text list

namespace {
int popup_shift_key = 0, popup_shift = 0;  // keeps an open list on screen
}

int BTN_textlist(float x, float y, int* selection, std::string items, std::string label)
{
	if (items.find('|') != std::string::npos) {
		fatal("Found | char in text string!", __LINE__);
		return 0;
	}
	std::vector<std::string> list;
	size_t start = 0;
	for (;;) {
		const size_t dash = items.find('-', start);
		list.push_back(items.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
		if (dash == std::string::npos) break;
		start = dash + 1;
	}
	if (list.size() > 300) {
		fatal("BTN_text_list overflow!", __LINE__);
		return 0;
	}
	const int n = (int)list.size();
	*selection = std::clamp(*selection, 0, n - 1);

	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	float widest = 0;
	for (const std::string& s : list) widest = std::max(widest, str_dx(s));
	const float B = (float)(int)widest + 28;
	const float m = (B - 28) / 2;
	BTN_frame1(10, x + 10, y + 5, B, 0);
	int group = 0;
	if (g_layout_record) {
		const float c = std::round(x + 10), half = std::round(B / 2) + 2;
		group = BTN_layout_new_group();
		BTN_layout_add(layout_popup, c - half + 1, y - 4, c + half - 1, y + 14, left + right, group);
	}
	// The labels keep 6 units clear of the list's visible ends (x - m - 5
	// and x + m + 25).
	BTN_util_draw_label(x - m - 11, y, 0, left, 0);
	BTN_util_draw_label(x + m + 31, y, 2, right, 0);

	const int key = (int)(y * 1024 + x);
	const float mx = mnw.mouse_x, my = mnw.mouse_y;
	const bool over = inside(mx, my, x + 10 - m - 15, x + 10 + m + 15, y - 2, y + 8);
	if (mnw.mouse_click && over) active_popup_code = key;

	int result = 0;
	if (select_popup_code == key) {
		*selection = std::clamp(popup_menu_select, 0, n - 1);
		select_popup_code = 0;
		result = 1;
	}
	if (active_popup_code == key) {
		if (popup_shift_key != key) {
			popup_shift_key = key;
			popup_shift = 0;
		}
		const int shown = *selection + popup_shift;
		if ((int)menu.size() <= 1519) menu.resize(1520);
		menu_struct& pm = menu[1519];
		pm.title.clear();
		pm.parent_menu = -1;
		pm.left = (short)(x - m - 2);
		pm.right = (short)(x + m + 4);
		pm.bottom = (short)(y - (n - 1 - shown) * 12);
		pm.top = (short)(pm.bottom + n * 12);
		pm.items.clear();
		for (int i = 0; i < n; ++i) {
			const float b = y - 3 - (i - shown) * 12;
			pm.items.push_back({list[i], i, pm.left, (short)b, pm.right, (short)(b + 12)});
		}
		mnw.menu_open = 1519;
		// Off-screen lists move into view on the next frame; the caller's
		// selection stays until a pick.
		if (y - 3 - (n - 1 - shown) * 12 < 0)
			++popup_shift;
		else if (y - 3 - (0 - shown) * 12 + 12 > mnw.wind_dy)
			--popup_shift;
	} else {
		if (popup_shift_key == key) popup_shift_key = 0;
		if (group) BTN_layout_own_begin(group);
		OGL_string(38, x, y, list[*selection], 9999, 0, 1);
		if (group) BTN_layout_own_end();
		if (over) BTN_set_help(help);
	}
	return result;
}

// ---- character field

const char BTN_chars_alphabet[39] = " 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-";

char BTN_chars_step(char c, int dir)
{
	if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
	int i = 0;
	for (int k = 0; k < 38; ++k)
		if (BTN_chars_alphabet[k] == c) i = k;
	return BTN_chars_alphabet[((i + dir) % 38 + 38) % 38];
}

void BTN_chars(float x, float y, char* text, int length, std::string label)
{
	if (!text || length <= 0) return;
	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	const int id = (int)y + (int)x * 8192;
	const float mx = mnw.mouse_x, my = mnw.mouse_y;
	const float r = x + 10 * length;
	int want = 0;
	bool clicked = false;
	if (mnw.mouse_click && menu_closed() && inside(mx, my, x, r, y - 2, y + 8)) {
		hot_pos = (int)((mx - x) / 10);
		want = 1;
		clicked = true;
	}
	const int has = BTN_register_queue(chr_keys, id, 496, want);
	if (has) hot_pos = std::clamp(hot_pos, 0, length - 1);

	BTN_consume_queue(chr_keys, id, [&](int ch, int vkey, int) {
		const int hot = std::clamp(hot_pos, 0, length - 1);
		if (vkey == 37) {
			hot_pos = hot - 1 < 0 ? length - 1 : hot - 1;
		} else if (vkey == 39) {
			hot_pos = hot + 1 >= length ? 0 : hot + 1;
		} else if (vkey == 38) {
			text[hot] = BTN_chars_step(text[hot], -1);
		} else if (vkey == 40) {
			text[hot] = BTN_chars_step(text[hot], 1);
		} else if (ch == ' ' || ch == '-' || (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') ||
		           (ch >= 'A' && ch <= 'Z')) {
			text[hot] = (char)(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
			hot_pos = hot + 1 >= length ? 0 : hot + 1;
		}
	});

	if (!clicked && inside(mx, my, x, r, y - 18, y + 24) && !inside(mx, my, x, r, y - 2, y + 8)) {
		const int cell = std::min(length - 1, (int)((mx - x) / 10));
		const bool above = my > y + 3;
		mnw.cursor_kind = above ? 13 : 14;
		if (mnw.mouse_click) text[cell] = BTN_chars_step(text[cell], above ? -1 : 1);
	}

	BTN_frame1(9, x + length * 5 + 1, y + 3, length * 10 + 11, 0);
	digit_arrows(x, y, length);
	record_field(x + length * 5 + 1, y, length * 10 + 11, true, left);
	BTN_util_draw_label(x - 6, y, 0, left, 0);
	if (has) OGL_fillrect(8, 1.0f, x + 2 + 10 * hot_pos, y - 2, 9, 11);
	layout_pause letters_inside;
	for (int i = 0; i < length; ++i)
		if (text[i]) OGL_string(45, x + 10 * i + 2, y, std::string(1, text[i]), 9999, 0, 0);
	if (inside(mx, my, x, r, y - 18, y + 24)) BTN_set_help(help);
}

// The text field's draw callback: every line at the field's own place (the
// engine's position is not used).
void OGLE_DrawString(OGLE_Rec*, const char* b, const char* e, float, float)
{
	OGL_string(45, OGLE_x - OGLE_dx, OGLE_y - OGLE_dy, std::string(b, e), 9999, 0, 0);
}
