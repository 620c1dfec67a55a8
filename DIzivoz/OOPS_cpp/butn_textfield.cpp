// The text field itself: its drawing callbacks and BTN_enterstring in both forms.
#include <algorithm>
#include <cstring>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_string.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/OGL/OGL_font.h"

namespace {
BTN_key_queue field_keys;  // char_slot, vkey_slot, flag_slot, id_slot and ctr_slot

// The cut to max_len never leaves half a character.
void cut_at_boundary(std::string& s, int max_len)
{
	size_t n = (size_t)std::max(0, max_len);
	if (s.size() <= n) return;
	while (n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80) --n;
	s.resize(n);
}
}  // namespace

void OGLE_DrawSelection(OGLE_Rec*, float r[4])
{
	if (r[2] != r[0])
		OGL_fillrect(8, 1.0f, r[0], r[1], r[2] - r[0], r[3] - r[1]);
	else {
		OGL_line(45, colr.blink_level, r[0], r[1], r[2], r[3]);
		MACIBM_frame_animate();  // the caret pulses with the frame clock
	}
}

const OGLE_Callbacks OGLE_cbs = {
    OGLE_GetVisibleBounds, OGLE_GetLogicalBounds, OGLE_SetLogicalHeight, OGLE_ScrollTo,
    OGLE_GetText,          OGLE_ReplaceTextFunc,  OGLE_GetLineHeight,    OGLE_MeasureString,
    OGLE_FitStringFwd,     OGLE_FitStringRev,     OGLE_DrawString,       OGLE_DrawSelection,
    OGLE_WordBreak,        OGLE_MBCS_Next,        OGLE_MBCS_NextPos,     OGLE_MBCS_PrevPos,
};

int BTN_enterstring(float x, float y, std::string* text, int max_len, std::string label, float w, int auto_focus)
{
	const int id = (int)y + (int)x * 8192;
	if (!ogle) ogle = OGLE_Create(&OGLE_cbs, nullptr);

	const float mx = mnw.mouse_x, my = mnw.mouse_y;
	const bool clicked = mnw.menu_open == -1 && mnw.mouse_click && x <= mx && mx <= x + w && y <= my && my <= y + 8;
	const int want = clicked || (auto_focus && BTN_no_focus_yet());
	const int has = BTN_register_queue(field_keys, id, 500, want);
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
	BTN_consume_queue(field_keys, id, [&](int ch, int vkey, int flags) {
		if (!has) return;
		// The Delete key's code is no text: the engine's forward delete.
		if (vkey == 46) {
			OGLE_Key(ogle, 127, flags & 1);
			return;
		}
		char bytes[4];
		const int n = BTN_utf8_encode(ch, bytes);
		if (n) OGLE_Key_MBCS(ogle, n, bytes, flags & 1);
	});

	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	BTN_frame1(9, x + w / 2 - 2, y + 3, w + 10, 0);
	BTN_util_draw_label(x - 12, y, 0, left, 0);
	BTN_util_draw_label(x + w + 6, y, 2, right, 0);
	// The field's text is clipped to the field: only the field is a box.
	BTN_layout_add(layout_field, x - 8, y - 3, x + w + 4, y + 12, left);
	const int recording = g_layout_record;
	g_layout_record = 0;
	OGL_scissors(x - 1, y - 3, w + 2, 11);
	if (has) {
		// Never scrolled past the text's end (a cut to max_len, deletes): the
		// text fills the field up to its caret rather than sliding out of it.
		const unsigned char* b = (const unsigned char*)text->data();
		const float max_dx = std::max(0.0f, OGL_measure_range(b, b + text->size(), 0) + 1 - w);
		if (OGLE_dx > max_dx) OGLE_dx = max_dx;
		OGLE_Draw(ogle, 1);
	} else
		OGL_string(45, x, y, *text, 9999, 0, 0);
	OGL_scissors_end();
	g_layout_record = recording;

	if (OGLE_edit && (int)text->size() > max_len) {
		cut_at_boundary(*text, max_len);
		if (has) {
			int a, e;
			OGLE_GetSelection(ogle, &a, &e);
			e = std::min(e, (int)text->size());
			OGLE_SetSelection(ogle, std::min(a, e), e);
			OGLE_Repaginate(ogle);
		}
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

