#include "DIzivoz/OOPS_cpp/OGLE.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

bool is_cont(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// Only ASCII bytes are blanks: lead and continuation bytes are word characters.
bool is_blank(char c)
{
	const unsigned char u = (unsigned char)c;
	return u < 0x80 && std::isspace(u);
}

void text_of(OGLE_Rec* r, const char*& b, const char*& e)
{
	b = e = nullptr;
	r->cb.GetText(r, &b, &e);
	if (!b || !e || e < b) b = e = "";
}

int text_len(OGLE_Rec* r)
{
	const char *b, *e;
	text_of(r, b, e);
	return (int)(e - b);
}

int line_count(OGLE_Rec* r) { return (int)r->line_starts.size(); }

int line_start(OGLE_Rec* r, int i) { return r->line_starts.empty() ? 0 : r->line_starts[i]; }

int line_end(OGLE_Rec* r, int i, int len)
{
	if (i + 1 < line_count(r)) return r->line_starts[i + 1];
	return len;
}

int line_of(OGLE_Rec* r, int pos)
{
	const std::vector<int>& ls = r->line_starts;
	if (ls.empty()) return 0;
	auto it = std::lower_bound(ls.begin(), ls.end(), pos);
	if (it == ls.end()) return (int)ls.size() - 1;
	if (*it == pos) return (int)(it - ls.begin());
	return std::max(0, (int)(it - ls.begin()) - 1);
}

void normalise(OGLE_Rec* r)
{
	if (r->sel_end < r->sel_start) {
		std::swap(r->sel_start, r->sel_end);
		r->caret_at_end = 1 - r->caret_at_end;
	}
	const int len = text_len(r);
	r->sel_start = std::clamp(r->sel_start, 0, len);
	r->sel_end = std::clamp(r->sel_end, 0, len);
}

int point_to_pos(OGLE_Rec* r, float x, float y)
{
	float L[4];
	r->cb.GetLogicalBounds(r, L);
	const char *b, *e;
	text_of(r, b, e);
	const int len = (int)(e - b);
	const float h = r->cb.GetLineHeight(r);
	x = std::clamp(x, L[0], std::max(L[0], L[2]));
	const float lf = h > 0 ? std::floor((L[3] - y) / h) : 0.0f;
	if (lf < 0) return 0;
	if (lf >= (float)line_count(r)) return len;
	const int line = (int)lf;
	const int s = line_start(r, line), le = line_end(r, line, len);
	return s + r->cb.FitStringFwd(r, b + s, b + le, x - L[0]);
}

int vertical_move(OGLE_Rec* r, int p, int dir)
{
	const char *b, *e;
	text_of(r, b, e);
	const int len = (int)(e - b);
	const int line = line_of(r, p);
	if (r->remembered_x == -1.0f) r->remembered_x = r->cb.MeasureString(r, b + line_start(r, line), b + p);
	const int target = line + dir;
	if (target < 0) return 0;
	if (target >= line_count(r)) return len;
	const int s = line_start(r, target), le = line_end(r, target, len);
	return s + r->cb.FitStringFwd(r, b + s, b + le, r->remembered_x);
}

void replace_selection(OGLE_Rec* r, const char* bytes, int n)
{
	r->cb.ReplaceText(r, r->sel_start, r->sel_end, bytes, bytes + n);
	r->sel_start += n;
	r->sel_end = r->sel_start;
	r->caret_at_end = 1;
	OGLE_Repaginate(r);
}

void finish(OGLE_Rec* r)
{
	normalise(r);
	OGLE_RevealSelection(r);
}

}  // namespace

const char* OGLE_utf8_next(const char* begin, const char* end, const char* p)
{
	if (p < begin) p = begin;
	if (p >= end) return end;
	while (p > begin && is_cont((unsigned char)*p)) --p;
	++p;
	while (p < end && is_cont((unsigned char)*p)) ++p;
	return p;
}

int OGLE_utf8_next_pos(const char* begin, const char* end, int pos)
{
	const int len = (int)(end - begin);
	if (pos >= len) return pos + 1;
	if (pos < 0) pos = 0;
	return (int)(OGLE_utf8_next(begin, end, begin + pos) - begin);
}

int OGLE_utf8_prev_pos(const char* begin, const char* end, int pos)
{
	const int len = (int)(end - begin);
	if (pos <= 0) return -1;
	if (pos > len) pos = len;
	// Start of the character that holds pos (pos itself when it starts one).
	while (pos > 0 && pos < len && is_cont((unsigned char)begin[pos])) --pos;
	if (pos == 0) return -1;
	--pos;
	while (pos > 0 && is_cont((unsigned char)begin[pos])) --pos;
	return pos;
}

OGLE_Rec* OGLE_Create(const OGLE_Callbacks* callbacks, void* ref)
{
	OGLE_Rec* r = new OGLE_Rec;
	r->cb = *callbacks;
	r->ref = ref;
	r->sel_start = r->sel_end = 0;
	r->caret_at_end = 1;
	r->remembered_x = -1.0f;
	return r;
}

void OGLE_Destroy(OGLE_Rec* rec) { delete rec; }

void* OGLE_GetRef(OGLE_Rec* rec) { return rec->ref; }

void OGLE_GetSelection(OGLE_Rec* rec, int* start, int* end)
{
	if (start) *start = rec->sel_start;
	if (end) *end = rec->sel_end;
}

void OGLE_SetSelection(OGLE_Rec* rec, int start, int end)
{
	rec->sel_start = start;
	rec->sel_end = end;
	normalise(rec);
}

void OGLE_Repaginate(OGLE_Rec* r)
{
	float L[4];
	r->cb.GetLogicalBounds(r, L);
	const float W = L[2] - L[0];
	const char *b, *e;
	text_of(r, b, e);
	const int len = (int)(e - b);
	const float h = r->cb.GetLineHeight(r);
	std::vector<int>& ls = r->line_starts;
	if (ls.empty())
		ls.push_back(0);
	else
		ls[0] = 0;

	int s = 0;
	size_t idx = 0;
	for (;;) {
		const char* p = b + s;
		const char* line_end = p;
		float width = 0;
		for (;;) {
			const char* q = p;
			while (q < e && is_blank(*q) && *q != '\n' && *q != '\r') {
				const char* n = r->cb.MBCS_Next(r, q);
				q = n > q ? std::min(n, e) : q + 1;
			}
			width += r->cb.MeasureString(r, p, q);
			if (q >= e) {
				line_end = e;
				break;
			}
			if (*q == '\n' || *q == '\r') {
				line_end = q + 1;
				break;
			}
			const char* we = r->cb.WordBreak(r, q, e);
			if (!we || we <= q || we > e) we = std::min(e, q + 1);
			const float ww = r->cb.MeasureString(r, q, we);
			if (width + ww > W) {
				if (q == b + s) {
					// A word wider than the line on an empty line: one whole character.
					const char* n = r->cb.MBCS_Next(r, q);
					line_end = n > q ? std::min(n, e) : q + 1;
				} else {
					line_end = q;
				}
				break;
			}
			width += ww;
			p = we;
			if (we >= e) {
				line_end = e;
				break;
			}
		}
		const int a = (int)(line_end - b);
		++idx;
		if (a >= len) {
			if (idx < ls.size() && ls[idx] == a)
				ls.resize(idx + 1);
			else
				ls.resize(std::min(idx, ls.size()));
			break;
		}
		if (idx < ls.size())
			ls[idx] = a;
		else
			ls.push_back(a);
		s = a;
	}
	r->cb.SetLogicalHeight(r, (float)ls.size() * h);
}

void OGLE_Draw(OGLE_Rec* r, int draw_caret)
{
	float V[4], L[4];
	r->cb.GetVisibleBounds(r, V);
	r->cb.GetLogicalBounds(r, L);
	const float h = r->cb.GetLineHeight(r);
	const char *b, *e;
	text_of(r, b, e);
	const int len = (int)(e - b);
	const int n = line_count(r);
	if (n == 0 || h <= 0) return;
	const int first = std::max(0, (int)std::floor((L[3] - V[3]) / h));
	const int last = std::min(n, (int)std::ceil((L[3] - V[1]) / h));

	if (r->sel_start < r->sel_end) {
		for (int i = first; i < last; ++i) {
			const int B = line_start(r, i), E = line_end(r, i, len);
			if (E <= r->sel_start) continue;
			if (B >= r->sel_end) break;
			float rect[4] = {L[0], L[3] - (i + 1) * h, L[2], L[3] - i * h};
			if (B >= r->sel_start) {
				if (E >= r->sel_end) rect[2] = L[0] + r->cb.MeasureString(r, b + B, b + r->sel_end);
			} else {
				rect[0] = L[0] + r->cb.MeasureString(r, b + B, b + r->sel_start);
				if (r->sel_end < E) rect[2] = L[0] + r->cb.MeasureString(r, b + B, b + r->sel_end);
			}
			r->cb.DrawSelection(r, rect);
		}
	}
	for (int i = first; i < last; ++i)
		r->cb.DrawString(r, b + line_start(r, i), b + line_end(r, i, len), L[0], L[3] - (i + 1) * h);

	if (draw_caret && r->sel_start == r->sel_end) {
		for (int i = first; i < last; ++i) {
			const int B = line_start(r, i), E = line_end(r, i, len);
			if ((B <= r->sel_start && r->sel_start < E) || (i == n - 1 && r->sel_start == E)) {
				const float x = L[0] + r->cb.MeasureString(r, b + B, b + r->sel_start);
				float rect[4] = {x, L[3] - (i + 1) * h, x, L[3] - i * h};
				r->cb.DrawSelection(r, rect);
				break;
			}
		}
	}
}

void OGLE_RevealSelection(OGLE_Rec* r)
{
	float V[4], L[4];
	r->cb.GetVisibleBounds(r, V);
	r->cb.GetLogicalBounds(r, L);
	const float h = r->cb.GetLineHeight(r);
	const char *b, *e;
	text_of(r, b, e);
	const int caret = r->caret_at_end ? r->sel_end : r->sel_start;
	const int i = line_of(r, caret);
	const float x = L[0] + r->cb.MeasureString(r, b + line_start(r, i), b + caret);
	const float t = L[3] - (i - r->caret_at_end + 1) * h;
	float scroll[2] = {V[0] - L[0], V[1] - L[1]};
	const float old[2] = {scroll[0], scroll[1]};
	if (V[0] > x) scroll[0] = x - L[0];
	if (x > V[2]) scroll[0] = x - L[0] - (V[2] - V[0]);
	if (V[1] > t) scroll[1] = t - L[1];
	if (t > V[3]) scroll[1] = t - L[1] - (V[3] - V[1]);
	if (scroll[0] != old[0] || scroll[1] != old[1]) r->cb.ScrollTo(r, scroll);
}

void OGLE_Key(OGLE_Rec* r, char key, int shift)
{
	const signed char k = (signed char)key;
	if (k != 30 && k != 31) r->remembered_x = -1.0f;
	const bool empty = r->sel_start == r->sel_end;
	switch (k) {
	case 8:
	case 127: {
		// Backspace takes the character before the caret, delete (127) the
		// one after it; either takes a selection whole.
		int from = r->sel_start, to = r->sel_end;
		if (empty && k == 8) from = std::max(0, r->sel_start > 0 ? r->cb.MBCS_PrevPos(r, r->sel_start) : 0);
		if (empty && k == 127) to = std::min(r->cb.MBCS_NextPos(r, r->sel_start), text_len(r));
		if (from < to) {
			r->cb.ReplaceText(r, from, to, nullptr, nullptr);
			r->sel_start = r->sel_end = from;
			OGLE_Repaginate(r);
		}
		r->caret_at_end = 1;
		break;
	}
	case 28:
	case 29: {
		auto step = [&](int p) { return k == 28 ? r->cb.MBCS_PrevPos(r, p) : r->cb.MBCS_NextPos(r, p); };
		if (shift) {
			if (r->caret_at_end)
				r->sel_end = step(r->sel_end);
			else
				r->sel_start = step(r->sel_start);
		} else if (empty) {
			r->sel_start = r->sel_end = step(r->sel_start);
		} else if (k == 28) {
			r->sel_end = r->sel_start;
		} else {
			r->sel_start = r->sel_end;
		}
		break;
	}
	case 30:
	case 31: {
		const int dir = k == 30 ? -1 : 1;
		if (shift) {
			// Shift with up/down moves the end opposite to the one left/right move.
			if (r->caret_at_end)
				r->sel_start = vertical_move(r, r->sel_start, dir);
			else
				r->sel_end = vertical_move(r, r->sel_end, dir);
		} else if (empty) {
			r->sel_start = r->sel_end = vertical_move(r, r->sel_start, dir);
		} else if (k == 30) {
			r->sel_end = r->sel_start;
		} else {
			r->sel_start = r->sel_end;
		}
		break;
	}
	default:
		replace_selection(r, &key, 1);
		break;
	}
	finish(r);
}

void OGLE_Key_MBCS(OGLE_Rec* r, int byte_count, const char* bytes, int shift)
{
	if (byte_count <= 0 || !bytes) return;
	if (byte_count == 1) {
		OGLE_Key(r, bytes[0], shift);
		return;
	}
	r->remembered_x = -1.0f;
	replace_selection(r, bytes, byte_count);
	finish(r);
}

void OGLE_Click(OGLE_Rec* r, float x, float y, int extend)
{
	r->remembered_x = -1.0f;
	const int c = point_to_pos(r, x, y);
	if (!extend) {
		r->sel_start = r->sel_end = c;
		r->caret_at_end = 1;
	} else if (c < r->sel_start) {
		r->sel_start = c;
		r->caret_at_end = 0;
	} else {
		r->sel_end = c;
		r->caret_at_end = 1;
	}
	finish(r);
}

void OGLE_Drag(OGLE_Rec* r, float x, float y)
{
	r->remembered_x = -1.0f;
	const int c = point_to_pos(r, x, y);
	if (r->caret_at_end)
		r->sel_end = c;
	else
		r->sel_start = c;
	finish(r);
}

void OGLE_ReplaceText(OGLE_Rec* r, int start, int end, const char* new_begin, const char* new_end)
{
	const int len = text_len(r);
	start = std::clamp(start, 0, len);
	end = std::clamp(end, start, len);
	const int n = (new_begin && new_end && new_end > new_begin) ? (int)(new_end - new_begin) : 0;
	const int d = n - (end - start);
	if (start <= r->sel_start && r->sel_start < end) {
		r->sel_end += d;
		if (r->sel_end < r->sel_start) r->sel_start = r->sel_end = std::max(start, r->sel_start + d);
	} else if (r->sel_start >= end) {
		r->sel_start += d;
		r->sel_end += d;
	} else if (r->sel_end >= end) {
		// Starts before the range: the start stays, the end follows the text.
		r->sel_end += d;
	} else if (r->sel_end > start) {
		r->sel_end = start + n;
	}
	r->cb.ReplaceText(r, start, end, new_begin, new_end);
	OGLE_Repaginate(r);
}

// ---- class face

OGLE::OGLE()
{
	OGLE_Callbacks cb;
	cb.GetVisibleBounds = GetVisibleBoundsCB;
	cb.GetLogicalBounds = GetLogicalBoundsCB;
	cb.SetLogicalHeight = SetLogicalHeightCB;
	cb.ScrollTo = ScrollToCB;
	cb.GetText = GetTextCB;
	cb.ReplaceText = ReplaceTextCB;
	cb.GetLineHeight = GetLineHeightCB;
	cb.MeasureString = MeasureStringCB;
	cb.FitStringFwd = FitStringFwdCB;
	cb.FitStringRev = FitStringRevCB;
	cb.DrawString = DrawStringCB;
	cb.DrawSelection = DrawSelectionCB;
	cb.WordBreak = WordBreakCB;
	cb.MBCS_Next = MBCS_NextCB;
	cb.MBCS_NextPos = MBCS_NextPosCB;
	cb.MBCS_PrevPos = MBCS_PrevPosCB;
	rec_ = OGLE_Create(&cb, this);
}

OGLE::~OGLE() { OGLE_Destroy(rec_); }

namespace {
OGLE* self(OGLE_Rec* r) { return static_cast<OGLE*>(r->ref); }
}  // namespace

void OGLE::GetVisibleBoundsCB(OGLE_Rec* r, float rect[4]) { self(r)->GetVisibleBounds(rect); }
void OGLE::GetLogicalBoundsCB(OGLE_Rec* r, float rect[4]) { self(r)->GetLogicalBounds(rect); }
void OGLE::SetLogicalHeightCB(OGLE_Rec* r, float h) { self(r)->SetLogicalHeight(h); }
void OGLE::ScrollToCB(OGLE_Rec* r, float offset[2]) { self(r)->ScrollTo(offset); }
void OGLE::GetTextCB(OGLE_Rec* r, const char** b, const char** e) { self(r)->GetText(b, e); }
void OGLE::ReplaceTextCB(OGLE_Rec* r, int s, int e, const char* nb, const char* ne) { self(r)->ReplaceText(s, e, nb, ne); }
float OGLE::GetLineHeightCB(OGLE_Rec* r) { return self(r)->GetLineHeight(); }
float OGLE::MeasureStringCB(OGLE_Rec* r, const char* b, const char* e) { return self(r)->MeasureString(b, e); }
int OGLE::FitStringFwdCB(OGLE_Rec* r, const char* b, const char* e, float w) { return self(r)->FitStringFwd(b, e, w); }
int OGLE::FitStringRevCB(OGLE_Rec* r, const char* b, const char* e, float w) { return self(r)->FitStringRev(b, e, w); }
void OGLE::DrawStringCB(OGLE_Rec* r, const char* b, const char* e, float x, float y) { self(r)->DrawString(b, e, x, y); }
void OGLE::DrawSelectionCB(OGLE_Rec* r, float rect[4]) { self(r)->DrawSelection(rect); }
const char* OGLE::WordBreakCB(OGLE_Rec* r, const char* b, const char* e) { return self(r)->WordBreak(b, e); }

const char* OGLE::MBCS_NextCB(OGLE_Rec* r, const char* p)
{
	const char *b = nullptr, *e = nullptr;
	self(r)->GetText(&b, &e);
	if (!b || !e) return p + 1;
	return OGLE_utf8_next(b, e, p);
}

int OGLE::MBCS_NextPosCB(OGLE_Rec* r, int pos)
{
	const char *b = nullptr, *e = nullptr;
	self(r)->GetText(&b, &e);
	if (!b || !e) return pos + 1;
	return OGLE_utf8_next_pos(b, e, pos);
}

int OGLE::MBCS_PrevPosCB(OGLE_Rec* r, int pos)
{
	const char *b = nullptr, *e = nullptr;
	self(r)->GetText(&b, &e);
	if (!b || !e) return pos - 1;
	return OGLE_utf8_prev_pos(b, e, pos);
}
