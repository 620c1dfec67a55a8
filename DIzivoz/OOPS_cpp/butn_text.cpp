#include "DIzivoz/OOPS_cpp/butn_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "DIzivoz/OGL/OGL_font.h"

OGLE_Rec* ogle = nullptr;
int focused_field_id = 0;
int OGLE_x = 0, OGLE_y = 0, OGLE_entry_dx = 0;
std::string* OGLE_input = nullptr;
float OGLE_dx = 0, OGLE_dy = 0;
int OGLE_edit = 0;

namespace {
const char* text_begin() { return OGLE_input ? OGLE_input->data() : ""; }
const char* text_end() { return OGLE_input ? OGLE_input->data() + OGLE_input->size() : ""; }
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
	// A one-line field: the line is always wider than the text, so the
	// engine never wraps it. A wrapped line would be scrolled to a second row
	// and drawn outside the field, leaving it blank.
	const float text_w = OGL_measure_range((const unsigned char*)text_begin(), (const unsigned char*)text_end(), 0);
	r[0] = OGLE_x - OGLE_dx;
	r[1] = OGLE_y - 2 - OGLE_dy;
	r[2] = OGLE_x - OGLE_dx + std::max((float)OGLE_entry_dx, text_w) + 1024;
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
