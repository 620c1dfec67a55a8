// The text-editing engine driven through its class face with a monospace
// client: every byte is 6 units wide, lines are 10 high.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "DIzivoz/OOPS_cpp/OGLE.h"

namespace {

struct Mono : OGLE {
	std::string text;
	float vis[4] = {0, 0, 30, 10};  // one line, five bytes wide
	float scroll[2] = {0, 0};
	float wrap = 30;
	float logical_height = -1;
	int scroll_calls = 0;
	std::vector<std::vector<float>> sel_rects;
	std::vector<std::string> drawn;

	void GetVisibleBounds(float r[4]) override
	{
		for (int i = 0; i < 4; ++i) r[i] = vis[i];
	}
	// The whole text hangs from the visible top, moved by the scroll.
	void GetLogicalBounds(float r[4]) override
	{
		r[0] = vis[0] - scroll[0];
		r[2] = r[0] + wrap;
		r[3] = vis[3] - scroll[1];
		r[1] = vis[1] - scroll[1];
	}
	void SetLogicalHeight(float h) override { logical_height = h; }
	void ScrollTo(float o[2]) override
	{
		scroll[0] = o[0];
		scroll[1] = o[1];
		++scroll_calls;
	}
	void GetText(const char** b, const char** e) override
	{
		*b = text.data();
		*e = text.data() + text.size();
	}
	void ReplaceText(int s, int e, const char* nb, const char* ne) override
	{
		text.replace(s, e - s, nb ? std::string(nb, ne) : std::string());
	}
	float GetLineHeight() override { return 10; }
	float MeasureString(const char* b, const char* e) override { return 6.0f * (e - b); }
	int FitStringFwd(const char* b, const char* e, float w) override
	{
		int n = (int)(w / 6);
		if (n > e - b) n = (int)(e - b);
		while (n > 0 && n < e - b && ((unsigned char)b[n] & 0xC0) == 0x80) --n;
		return n;
	}
	int FitStringRev(const char* b, const char* e, float w) override
	{
		int n = (int)(w / 6);
		return n > e - b ? (int)(e - b) : n;
	}
	void DrawString(const char* b, const char* e, float, float) override { drawn.emplace_back(b, e); }
	void DrawSelection(float r[4]) override { sel_rects.push_back({r[0], r[1], r[2], r[3]}); }
	const char* WordBreak(const char* b, const char* e) override
	{
		while (b < e && (unsigned char)*b < 0x80 && isspace((unsigned char)*b)) ++b;
		while (b < e && !((unsigned char)*b < 0x80 && isspace((unsigned char)*b))) ++b;
		return b;
	}

	void set(const std::string& t, float w)
	{
		text = t;
		wrap = w;
		Repaginate();
	}
	std::pair<int, int> sel()
	{
		int s, e;
		GetSelection(&s, &e);
		return {s, e};
	}
};

// The plain-function interface over the same client, for what the class face hides.
struct Plain {
	std::string text;
	float wrap = 30;
	static Plain* of(OGLE_Rec* r) { return static_cast<Plain*>(OGLE_GetRef(r)); }
	static OGLE_Callbacks callbacks()
	{
		OGLE_Callbacks c{};
		c.GetVisibleBounds = [](OGLE_Rec*, float r[4]) {
			r[0] = 0;
			r[1] = 0;
			r[2] = 30;
			r[3] = 10;
		};
		c.GetLogicalBounds = [](OGLE_Rec* rec, float r[4]) {
			r[0] = 0;
			r[1] = 0;
			r[2] = of(rec)->wrap;
			r[3] = 10;
		};
		c.SetLogicalHeight = [](OGLE_Rec*, float) {};
		c.ScrollTo = [](OGLE_Rec*, float*) {};
		c.GetText = [](OGLE_Rec* rec, const char** b, const char** e) {
			*b = of(rec)->text.data();
			*e = *b + of(rec)->text.size();
		};
		c.ReplaceText = [](OGLE_Rec* rec, int s, int e, const char* nb, const char* ne) {
			of(rec)->text.replace(s, e - s, nb ? std::string(nb, ne) : std::string());
		};
		c.GetLineHeight = [](OGLE_Rec*) { return 10.0f; };
		c.MeasureString = [](OGLE_Rec*, const char* b, const char* e) { return 6.0f * (e - b); };
		c.FitStringFwd = [](OGLE_Rec*, const char* b, const char* e, float w) {
			int n = (int)(w / 6);
			return n > e - b ? (int)(e - b) : n;
		};
		c.FitStringRev = [](OGLE_Rec*, const char*, const char*, float) { return 0; };
		c.DrawString = [](OGLE_Rec*, const char*, const char*, float, float) {};
		c.DrawSelection = [](OGLE_Rec*, float*) {};
		c.WordBreak = [](OGLE_Rec*, const char* b, const char* e) {
			while (b < e && isspace((unsigned char)*b)) ++b;
			while (b < e && !isspace((unsigned char)*b)) ++b;
			return b;
		};
		c.MBCS_Next = [](OGLE_Rec* rec, const char* p) {
			const std::string& t = of(rec)->text;
			return OGLE_utf8_next(t.data(), t.data() + t.size(), p);
		};
		c.MBCS_NextPos = [](OGLE_Rec* rec, int p) {
			const std::string& t = of(rec)->text;
			return OGLE_utf8_next_pos(t.data(), t.data() + t.size(), p);
		};
		c.MBCS_PrevPos = [](OGLE_Rec* rec, int p) {
			const std::string& t = of(rec)->text;
			return OGLE_utf8_prev_pos(t.data(), t.data() + t.size(), p);
		};
		return c;
	}
};

struct PlainEngine {
	Plain client;
	OGLE_Rec* rec;
	PlainEngine(const std::string& t, float wrap)
	{
		client.text = t;
		client.wrap = wrap;
		const OGLE_Callbacks c = Plain::callbacks();
		rec = OGLE_Create(&c, &client);
		OGLE_Repaginate(rec);
	}
	~PlainEngine() { OGLE_Destroy(rec); }
};

}  // namespace

TEST(EditEngine, PaginationByWordsLineBreaksAndOverlongWords)
{
	const std::string e_acute = "\xC3\xA9";
	struct {
		std::string text;
		float width;
		std::vector<int> starts;
	} cases[] = {
	    {"aaa bbb ccc", 30, {0, 4, 8}},
	    {"abc\ndef", 1000, {0, 4}},
	    {"abc\n", 1000, {0}},         // no empty last line
	    {"", 30, {0}},                // empty text: one line at 0
	    {"abcdefgh", 30, {0, 1, 2, 3}},  // a word wider than the line loses one byte per line until it fits
	    // A word of three two-byte characters in a width of less than one character:
	    // each line holds one whole character.
	    {e_acute + e_acute + e_acute, 5, {0, 2, 4}},
	    {"ab\r\ncd", 1000, {0, 3, 4}},
	    {"a  b", 1000, {0}},
	};
	for (const auto& c : cases) {
		PlainEngine eng(c.text, c.width);
		EXPECT_EQ(eng.rec->line_starts, c.starts) << "text '" << c.text << "' width " << c.width;
	}

	// A shrinking text drops the stale starts; a text ending in a break keeps an
	// empty last line only when the previous pagination had it at that place.
	PlainEngine eng("aaa bbb ccc", 30);
	eng.client.text = "aaa";
	OGLE_Repaginate(eng.rec);
	EXPECT_EQ(eng.rec->line_starts, std::vector<int>({0}));
	eng.client.text = "aaa\nb";
	OGLE_Repaginate(eng.rec);
	eng.client.text = "aaa\n";
	OGLE_Repaginate(eng.rec);
	EXPECT_EQ(eng.rec->line_starts, std::vector<int>({0, 4}));
}

TEST(EditEngine, KeyTableAtBothEnds)
{
	// (text, selection, key, shift) -> (text, selection, caret_at_end)
	struct {
		const char* text;
		int s, e, cae;
		char key;
		int shift;
		const char* out;
		int os, oe, ocae;
	} cases[] = {
	    {"abc", 0, 0, 0, 8, 0, "abc", 0, 0, 1},     // backspace at 0: only caret_at_end changes
	    {"abc", 3, 3, 1, 8, 0, "ab", 2, 2, 1},
	    {"abc", 1, 3, 0, 8, 0, "a", 1, 1, 1},       // a selection is deleted
	    {"abc", 0, 0, 0, 127, 0, "bc", 0, 0, 1},    // delete takes the character after the caret
	    {"abc", 1, 1, 1, 127, 1, "ac", 1, 1, 1},
	    {"abc", 3, 3, 0, 127, 0, "abc", 3, 3, 1},   // delete at the end: only caret_at_end changes
	    {"abc", 0, 2, 0, 127, 0, "c", 0, 0, 1},     // ... and a selection whole
	    {"abc", 0, 0, 1, 28, 0, "abc", 0, 0, 1},    // left at 0 stays
	    {"abc", 3, 3, 1, 29, 0, "abc", 3, 3, 1},    // right at the end stays
	    {"abc", 1, 2, 1, 28, 0, "abc", 1, 1, 1},    // a selection collapses to its start
	    {"abc", 1, 2, 1, 29, 0, "abc", 2, 2, 1},    // ... or its end
	    {"abc", 1, 1, 1, 29, 1, "abc", 1, 2, 1},    // shift-right grows the end
	    {"abc", 1, 2, 0, 28, 1, "abc", 0, 2, 0},    // shift-left moves the start when the caret is there
	    {"abc", 2, 2, 1, 28, 1, "abc", 1, 2, 0},    // shift-left from a caret swaps the ends
	    {"abc", 1, 1, 1, 30, 0, "abc", 0, 0, 1},    // up on the first line goes to 0
	    {"abc", 1, 1, 1, 31, 0, "abc", 3, 3, 1},    // down on the last line goes to the end
	    {"abc", 0, 3, 1, 'x', 0, "x", 1, 1, 1},     // typing replaces the selection
	    {"abc", 3, 3, 1, 'd', 1, "abcd", 4, 4, 1},
	};
	for (const auto& c : cases) {
		PlainEngine eng(c.text, 1000);
		OGLE_SetSelection(eng.rec, c.s, c.e);
		eng.rec->caret_at_end = c.cae;
		OGLE_Key(eng.rec, c.key, c.shift);
		int s, e;
		OGLE_GetSelection(eng.rec, &s, &e);
		EXPECT_EQ(eng.client.text, c.out) << c.text << " key " << (int)c.key;
		EXPECT_EQ(s, c.os) << c.text << " key " << (int)c.key;
		EXPECT_EQ(e, c.oe) << c.text << " key " << (int)c.key;
		EXPECT_EQ(eng.rec->caret_at_end, c.ocae) << c.text << " key " << (int)c.key;
	}
}

TEST(EditEngine, VerticalMovesKeepTheColumnAndShiftMovesTheOppositeEnd)
{
	// Lines "aaaa " / "bbbbb " / "cccc" at width 30.
	PlainEngine eng("aaaa bbbbb cccc", 30);
	ASSERT_EQ(eng.rec->line_starts, std::vector<int>({0, 5, 11}));
	int s, e;
	struct {
		char key;
		int pos;
	} walk[] = {{31, 7}, {31, 13}, {30, 7}, {30, 2}, {30, 0}};
	OGLE_SetSelection(eng.rec, 2, 2);
	for (const auto& w : walk) {
		OGLE_Key(eng.rec, w.key, 0);
		OGLE_GetSelection(eng.rec, &s, &e);
		EXPECT_EQ(s, w.pos) << "key " << (int)w.key;
		EXPECT_EQ(e, w.pos) << "key " << (int)w.key;
		if (w.pos) {
			EXPECT_FLOAT_EQ(eng.rec->remembered_x, 12);  // kept through up and down
		}
	}
	OGLE_Key(eng.rec, 29, 0);  // any other key forgets it
	EXPECT_EQ(eng.rec->remembered_x, -1.0f);

	// Shift-down with the caret at the end moves the start: the quirk of the table.
	OGLE_SetSelection(eng.rec, 1, 2);
	eng.rec->caret_at_end = 1;
	OGLE_Key(eng.rec, 31, 1);
	OGLE_GetSelection(eng.rec, &s, &e);
	EXPECT_EQ(s, 2);
	EXPECT_EQ(e, 6);  // the start went to 6 and the ends swapped
	EXPECT_EQ(eng.rec->caret_at_end, 0);
}

TEST(EditEngine, ClickDragAndRevealThroughTheClassFace)
{
	Mono m;
	m.set("hello world again", 1000);  // one long line in a 30-unit window
	m.Click(13, 5, 0);                 // byte 2
	EXPECT_EQ(m.sel(), std::make_pair(2, 2));
	m.Drag(25, 5);  // forward to byte 4
	EXPECT_EQ(m.sel(), std::make_pair(2, 4));
	m.Drag(0, 5);  // back past the anchor: ends swap, caret at the start
	EXPECT_EQ(m.sel(), std::make_pair(0, 2));
	m.Drag(-50, 5);  // clamped to the field
	EXPECT_EQ(m.sel(), std::make_pair(0, 2));
	m.Click(25, 5, 1);  // extend past the end
	EXPECT_EQ(m.sel(), std::make_pair(0, 4));

	// Moving the caret past the right edge scrolls just far enough to show it.
	m.SetSelection(17, 17);
	m.RevealSelection();
	EXPECT_FLOAT_EQ(m.scroll[0], 17 * 6 - 30);
	const int calls = m.scroll_calls;
	m.RevealSelection();  // already visible: no call
	EXPECT_EQ(m.scroll_calls, calls);
	m.Key(28, 0);  // one step left stays visible
	EXPECT_EQ(m.scroll_calls, calls);
	m.SetSelection(0, 0);
	m.RevealSelection();
	EXPECT_FLOAT_EQ(m.scroll[0], 0);

	// A point on the scrolled text maps through the logical rectangle.
	m.SetSelection(17, 17);
	m.RevealSelection();
	m.Click(1, 5, 0);
	EXPECT_EQ(m.sel(), std::make_pair(12, 12));

	// The class face steps over whole UTF-8 characters of its own text.
	m.set("a\xC3\xA9" "b", 1000);
	m.SetSelection(3, 3);
	m.Key(28, 0);
	EXPECT_EQ(m.sel(), std::make_pair(1, 1));
	m.Key(29, 1);
	EXPECT_EQ(m.sel(), std::make_pair(1, 3));
	m.SetSelection(3, 3);
	m.Key(8, 0);
	EXPECT_EQ(m.text, "ab");
}

TEST(EditEngine, DrawsSelectionPerLineTheTextAndTheCaret)
{
	Mono m;
	m.vis[1] = -20;  // three lines visible
	m.set("aaa bbb ccc", 30);
	m.SetSelection(1, 9);
	m.Draw(1);
	ASSERT_EQ(m.sel_rects.size(), 3u);
	EXPECT_EQ(m.sel_rects[0], std::vector<float>({6, 0, 30, 10}));
	EXPECT_EQ(m.sel_rects[1], std::vector<float>({0, -10, 30, 0}));
	EXPECT_EQ(m.sel_rects[2], std::vector<float>({0, -20, 6, -10}));
	EXPECT_EQ(m.drawn, std::vector<std::string>({"aaa ", "bbb ", "ccc"}));

	// Caret: drawn as a zero-width rectangle, also at the very end of the last line.
	m.sel_rects.clear();
	m.SetSelection(11, 11);
	m.Draw(1);
	ASSERT_EQ(m.sel_rects.size(), 1u);
	EXPECT_EQ(m.sel_rects[0], std::vector<float>({18, -20, 18, -10}));
	m.sel_rects.clear();
	m.Draw(0);
	EXPECT_TRUE(m.sel_rects.empty());

	// Empty text: the caret at the logical left.
	m.set("", 30);
	m.SetSelection(0, 0);
	m.Draw(1);
	ASSERT_EQ(m.sel_rects.size(), 1u);
	EXPECT_EQ(m.sel_rects[0], std::vector<float>({0, 0, 0, 10}));
	EXPECT_FLOAT_EQ(m.logical_height, 10);
}

TEST(EditEngine, ProgrammaticReplacementAroundTheSelection)
{
	// "0123456789", replace [start, end) by n bytes; selection before -> after.
	struct {
		int start, end;
		const char* repl;
		int s, e;
		int os, oe;
	} cases[] = {
	    {2, 4, "xyz", 6, 8, 7, 9},  // wholly after: moves by the change
	    {2, 4, "xyz", 0, 1, 0, 1},  // wholly before: unchanged
	    {2, 4, "xyz", 2, 3, 2, 4},  // starts inside: end moves by the change
	    {2, 6, "", 3, 4, 2, 2},     // inside and swallowed: both to the range start
	    {2, 4, "xyz", 1, 5, 1, 6},  // spans the range: start stays, end follows the text
	    {2, 4, "", 1, 3, 1, 2},     // ends inside: end becomes the replacement's end
	    {2, 6, "x", 0, 4, 0, 3},
	    {5, 5, "ab", 5, 5, 7, 7},   // insertion at the caret pushes it on
	};
	for (const auto& c : cases) {
		PlainEngine eng("0123456789", 1000);
		OGLE_SetSelection(eng.rec, c.s, c.e);
		const std::string r = c.repl;
		OGLE_ReplaceText(eng.rec, c.start, c.end, r.data(), r.data() + r.size());
		int s, e;
		OGLE_GetSelection(eng.rec, &s, &e);
		EXPECT_EQ(s, c.os) << c.start << ".." << c.end << " '" << c.repl << "' sel " << c.s << ".." << c.e;
		EXPECT_EQ(e, c.oe) << c.start << ".." << c.end << " '" << c.repl << "' sel " << c.s << ".." << c.e;
	}
}

TEST(EditEngine, MultiByteCharactersAreTypedAndSteppedWhole)
{
	PlainEngine eng("ab", 1000);
	OGLE_SetSelection(eng.rec, 1, 1);
	const char euro[] = "\xE2\x82\xAC";
	OGLE_Key_MBCS(eng.rec, 3, euro, 0);
	int s, e;
	OGLE_GetSelection(eng.rec, &s, &e);
	EXPECT_EQ(eng.client.text, "a\xE2\x82\xAC" "b");
	EXPECT_EQ(s, 4);
	OGLE_Key(eng.rec, 28, 0);
	OGLE_GetSelection(eng.rec, &s, &e);
	EXPECT_EQ(s, 1);
	OGLE_Key(eng.rec, 29, 0);
	OGLE_GetSelection(eng.rec, &s, &e);
	EXPECT_EQ(s, 4);
	OGLE_Key(eng.rec, 8, 0);  // backspace removes all three bytes
	EXPECT_EQ(eng.client.text, "ab");
	OGLE_Key_MBCS(eng.rec, 3, euro, 0);
	OGLE_Key(eng.rec, 28, 0);
	OGLE_Key(eng.rec, 127, 0);  // so does delete in front of them
	EXPECT_EQ(eng.client.text, "ab");
	OGLE_GetSelection(eng.rec, &s, &e);
	EXPECT_EQ(s, 1);
	OGLE_Key_MBCS(eng.rec, 1, "z", 0);  // one byte goes the plain key path
	EXPECT_EQ(eng.client.text, "azb");
}

TEST(EditEngine, Utf8Stepping)
{
	const std::string t = "a\xC3\xA9\xF0\x9F\x98\x80z";  // a é 😀 z
	const char* b = t.data();
	const char* e = b + t.size();
	struct {
		int pos, next, prev;
	} cases[] = {
	    {0, 1, -1}, {1, 3, 0}, {2, 3, 0}, {3, 7, 1}, {5, 7, 1}, {7, 8, 3}, {8, 9, 7},
	};
	for (const auto& c : cases) {
		EXPECT_EQ(OGLE_utf8_next_pos(b, e, c.pos), c.next) << c.pos;
		EXPECT_EQ(OGLE_utf8_prev_pos(b, e, c.pos), c.prev) << c.pos;
	}
	EXPECT_EQ(OGLE_utf8_next(b, e, b + 4), b + 7);
	EXPECT_EQ(OGLE_utf8_next(b, e, e), e);
}
