#include "DIzivoz/OOPS_cpp/butn_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_string.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_pending.h"

OGLE_Rec* ogle = nullptr;
int focused_field_id = 0;
int OGLE_x = 0, OGLE_y = 0, OGLE_entry_dx = 0;
std::string* OGLE_input = nullptr;
float OGLE_dx = 0, OGLE_dy = 0;
int OGLE_edit = 0;

namespace {
int char_slot[64], vkey_slot[64], flag_slot[64], id_slot[64];
int ctr_slot = 0;

const char* text_begin() { return OGLE_input ? OGLE_input->data() : ""; }
const char* text_end() { return OGLE_input ? OGLE_input->data() + OGLE_input->size() : ""; }

// The cut to max_len never leaves half a character.
void cut_at_boundary(std::string& s, int max_len)
{
	size_t n = (size_t)std::max(0, max_len);
	if (s.size() <= n) return;
	while (n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80) --n;
	s.resize(n);
}
}  // namespace

void OGLE_GetVisibleBounds(OGLE_Rec*, float r[4])
{
	r[0] = (float)OGLE_x;
	r[1] = (float)OGLE_y - 2;
	r[2] = (float)OGLE_x + OGLE_entry_dx;
	r[3] = (float)OGLE_y + 9;
}

void OGLE_GetLogicalBounds(OGLE_Rec*, float r[4])
{
	// Wraps only past w + 1024 units: a one-line field.
	r[0] = OGLE_x - OGLE_dx;
	r[1] = OGLE_y - 2 - OGLE_dy;
	r[2] = OGLE_x + OGLE_entry_dx - OGLE_dx + 1024;
	r[3] = OGLE_y + 9 - OGLE_dy;
}

void OGLE_SetLogicalHeight(OGLE_Rec*, float) {}

void OGLE_ScrollTo(OGLE_Rec*, float o[2])
{
	OGLE_dx = o[0];
	OGLE_dy = o[1];
}

void OGLE_GetText(OGLE_Rec*, const char** b, const char** e)
{
	*b = text_begin();
	*e = text_end();
}

void OGLE_ReplaceTextFunc(OGLE_Rec*, int start, int end, const char* nb, const char* ne)
{
	OGLE_edit = 1;
	if (!OGLE_input) return;
	std::string& s = *OGLE_input;
	start = std::clamp(start, 0, (int)s.size());
	end = std::clamp(end, start, (int)s.size());
	if (!nb || !ne || ne <= nb)
		s.erase(start, end - start);
	else
		s.replace(start, end - start, nb, ne - nb);
}

float OGLE_GetLineHeight(OGLE_Rec*) { return 11; }

float OGLE_MeasureString(OGLE_Rec*, const char* b, const char* e)
{
	return OGL_measure_range((const unsigned char*)b, (const unsigned char*)e, 0);
}

int OGLE_FitStringFwd(OGLE_Rec*, const char* b, const char* e, float width)
{
	const unsigned char* ub = (const unsigned char*)b;
	return (int)(OGL_fit_forward(ub, (const unsigned char*)e, width, 0) - ub);
}

int OGLE_FitStringRev(OGLE_Rec*, const char* b, const char* e, float width)
{
	const unsigned char* ue = (const unsigned char*)e;
	return (int)(ue - OGL_fit_reverse((const unsigned char*)b, ue, width, 0));
}

void OGLE_DrawSelection(OGLE_Rec*, float r[4])
{
	if (r[2] != r[0])
		OGL_fillrect(8, 1.0f, r[0], r[1], r[2] - r[0], r[3] - r[1]);
	else
		OGL_line(45, colr.blink_level, r[0], r[1], r[2], r[3]);
}

const char* OGLE_WordBreak(OGLE_Rec*, const char* b, const char* e)
{
	// Bytes of 0x80 and above belong to words.
	auto blank = [](char c) { return (unsigned char)c < 0x80 && std::isspace((unsigned char)c); };
	while (b < e && blank(*b)) ++b;
	while (b < e && !blank(*b)) ++b;
	return b;
}

const char* OGLE_MBCS_Next(OGLE_Rec*, const char* p) { return OGLE_utf8_next(text_begin(), text_end(), p); }
int OGLE_MBCS_NextPos(OGLE_Rec*, int pos) { return OGLE_utf8_next_pos(text_begin(), text_end(), pos); }
int OGLE_MBCS_PrevPos(OGLE_Rec*, int pos) { return OGLE_utf8_prev_pos(text_begin(), text_end(), pos); }

const OGLE_Callbacks OGLE_cbs = {
    OGLE_GetVisibleBounds, OGLE_GetLogicalBounds, OGLE_SetLogicalHeight, OGLE_ScrollTo,
    OGLE_GetText,          OGLE_ReplaceTextFunc,  OGLE_GetLineHeight,    OGLE_MeasureString,
    OGLE_FitStringFwd,     OGLE_FitStringRev,     OGLE_DrawString,       OGLE_DrawSelection,
    OGLE_WordBreak,        OGLE_MBCS_Next,        OGLE_MBCS_NextPos,     OGLE_MBCS_PrevPos,
};

int BTN_utf8_encode(int c, char out[4])
{
	if (c < 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
	// Home, End, Page Up/Down and Delete come as control codes: never text.
	if ((c < 32 && c != 8 && (c < 28 || c > 31)) || c == 127) return 0;
	if (c < 0x80) {
		out[0] = (char)c;
		return 1;
	}
	if (c < 0x800) {
		out[0] = (char)(0xC0 | (c >> 6));
		out[1] = (char)(0x80 | (c & 0x3F));
		return 2;
	}
	if (c < 0x10000) {
		out[0] = (char)(0xE0 | (c >> 12));
		out[1] = (char)(0x80 | ((c >> 6) & 0x3F));
		out[2] = (char)(0x80 | (c & 0x3F));
		return 3;
	}
	out[0] = (char)(0xF0 | (c >> 18));
	out[1] = (char)(0x80 | ((c >> 12) & 0x3F));
	out[2] = (char)(0x80 | ((c >> 6) & 0x3F));
	out[3] = (char)(0x80 | (c & 0x3F));
	return 4;
}

int BTN_enterstring(float x, float y, std::string* text, int max_len, std::string label, float w, int auto_focus)
{
	const int id = (int)y + (int)x * 8192;
	if (!ogle) ogle = OGLE_Create(&OGLE_cbs, nullptr);

	const float mx = mnw.mouse_x, my = mnw.mouse_y;
	const bool clicked = mnw.menu_open == -1 && mnw.mouse_click && x <= mx && mx <= x + w && y <= my && my <= y + 8;
	const int want = clicked || (auto_focus && BTN_no_focus_yet());
	const int has = BTN_register_focus(id, char_slot, vkey_slot, flag_slot, id_slot, &ctr_slot, 64, 500, want);
	OGLE_edit = 0;

	if (has) {
		OGLE_x = (int)x;
		OGLE_y = (int)y;
		OGLE_input = text;
		OGLE_entry_dx = (int)w;
	}
	bool prepare = has != 0;
	if (has && id != focused_field_id) {
		// Newly focused: from the start, all selected unless clicked into.
		OGLE_dx = OGLE_dy = 0;
		if (!clicked) OGLE_SetSelection(ogle, 0, (int)text->size());
		OGLE_Repaginate(ogle);
	}
	if (prepare) {
		focused_field_id = id;
		int s, e;
		OGLE_GetSelection(ogle, &s, &e);
		e = std::clamp(e, 0, (int)text->size());
		s = std::clamp(s, 0, e);
		OGLE_SetSelection(ogle, s, e);
		if (mnw.mouse_click)
			OGLE_Click(ogle, mx, my, 0);
		else if (mnw.mouse_down)
			OGLE_Drag(ogle, mx, my);
	}

	// Keys of this id. A field that lost the focus drops its late keys: the
	// shared engine is bound to another field's string by now.
	bool any_left = false;
	for (int i = 0; i < ctr_slot && i < 64; ++i) {
		if (id_slot[i] == id && (char_slot[i] || vkey_slot[i])) {
			if (has && !(flag_slot[i] & 16)) {
				char bytes[4];
				const int n = BTN_utf8_encode(char_slot[i], bytes);
				if (n) OGLE_Key_MBCS(ogle, n, bytes, flag_slot[i] & 1);
			}
			char_slot[i] = vkey_slot[i] = flag_slot[i] = id_slot[i] = 0;
		}
		if (id_slot[i]) any_left = true;
	}
	if (!any_left) ctr_slot = 0;

	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	BTN_frame1(9, x + w / 2 - 2, y + 3, w + 10, 0);
	BTN_util_draw_label(x - 12, y, 0, left, 0);
	BTN_util_draw_label(x + w + 6, y, 2, right, 0);
	OGL_scissors(x - 1, y - 3, w + 2, 11);
	if (has)
		OGLE_Draw(ogle, 1);
	else
		OGL_string(45, x, y, *text, 9999, 0, 0);
	OGL_scissors_end();

	if (OGLE_edit && (int)text->size() > max_len) {
		cut_at_boundary(*text, max_len);
		if (has) OGLE_Repaginate(ogle);
	}
	return OGLE_edit;
}

int BTN_enterstring(float x, float y, char* text, int max_len, std::string label, float w, int auto_focus)
{
	std::string s(text, strnlen(text, chr_buf_size));
	const int r = BTN_enterstring(x, y, &s, max_len, label, w, auto_focus);
	copy_to_chr(s, text);
	// The engine must not keep pointing at this call's copy.
	if (OGLE_input == &s) OGLE_input = nullptr;
	return r;
}

std::string BTN_name_from_vector(int index, void* vec)
{
	const std::vector<std::string>* v = static_cast<const std::vector<std::string>*>(vec);
	if (!v || index < 0 || index >= (int)v->size()) return std::string();
	return (*v)[index];
}

int BTN_type_from_vector(int index, void* vec)
{
	const std::vector<int>* v = static_cast<const std::vector<int>*>(vec);
	if (!v || index < 0 || index >= (int)v->size()) return 0;
	return (*v)[index];
}
