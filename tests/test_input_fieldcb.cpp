// The text field's side of the editing engine: its callbacks over the font
// layer and the field geometry, UTF-8 encoding of queued keys, the word break.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"

namespace {
// Binds the callbacks to a string the way a focused field does, and unbinds.
struct bound_field {
	std::string text;
	explicit bound_field(const std::string& t, int x = 100, int y = 50, int w = 80) : text(t)
	{
		OGLE_x = x;
		OGLE_y = y;
		OGLE_entry_dx = w;
		OGLE_dx = OGLE_dy = 0;
		OGLE_input = &text;
		OGLE_edit = 0;
	}
	~bound_field() { OGLE_input = nullptr; }
	const char* at(int i) const { return text.data() + i; }
};
}  // namespace

TEST(FieldCallbacks, Utf8EncodingOfQueuedCharacters)
{
	struct {
		int cp;
		std::string bytes;  // empty: not inserted
	} cases[] = {
	    {'a', "a"},
	    {0xE9, "\xC3\xA9"},
	    {0x7FF, "\xDF\xBF"},
	    {0x800, "\xE0\xA0\x80"},
	    {0x20AC, "\xE2\x82\xAC"},
	    {0xFFFF, "\xEF\xBF\xBF"},
	    {0x10000, "\xF0\x90\x80\x80"},
	    {0x1F600, "\xF0\x9F\x98\x80"},
	    {0x10FFFF, "\xF4\x8F\xBF\xBF"},
	    {0x110000, ""},
	    {0xD800, ""},  // surrogates are not characters
	    {0xDFFF, ""},
	    {-5, ""},
	    {8, "\x08"},   // backspace and the arrows reach the engine as keys
	    {28, "\x1C"},
	    {31, "\x1F"},
	    {0, ""},       // Home, End, Page Up/Down come with control codes
	    {1, ""},
	    {4, ""},
	    {9, ""},
	    {13, ""},
	    {27, ""},
	    {127, ""},     // Delete
	    {' ', " "},
	};
	for (const auto& c : cases) {
		char out[4] = {};
		const int n = BTN_utf8_encode(c.cp, out);
		EXPECT_EQ(std::string(out, n), c.bytes) << "code point " << c.cp;
	}
}

TEST(FieldCallbacks, WordBreakTreatsOnlyAsciiBlanksAsSpace)
{
	struct {
		std::string text;
		int end;
	} cases[] = {
	    {"  ab cd", 4},
	    {"ab", 2},
	    {"", 0},
	    {"   ", 3},
	    {"\xC3\xA9t\xC3\xA9 x", 5},
	    {"a\xC2\x85" "b c", 4},  // U+0085's continuation byte is no blank
	    {"a\xC2\xA0" "b c", 4},
	    {"\tq\nr", 2},
	};
	for (const auto& c : cases) {
		const char* b = c.text.data();
		EXPECT_EQ(OGLE_WordBreak(nullptr, b, b + c.text.size()) - b, c.end) << c.text;
	}
}

TEST(FieldCallbacks, GeometryStepsAndEditsOfTheBoundString)
{
	bound_field f("a\xC3\xA9z", 100, 50, 80);
	OGLE_dx = 7;
	OGLE_dy = 1;
	float v[4], l[4];
	OGLE_GetVisibleBounds(nullptr, v);
	OGLE_GetLogicalBounds(nullptr, l);
	EXPECT_EQ(std::vector<float>(v, v + 4), std::vector<float>({100, 48, 180, 59}));
	EXPECT_EQ(std::vector<float>(l, l + 4), std::vector<float>({93, 47, 180 - 7 + 1024, 58}));
	float to[2] = {12, 0};
	OGLE_ScrollTo(nullptr, to);
	EXPECT_EQ(OGLE_dx, 12);
	EXPECT_EQ(OGLE_dy, 0);
	EXPECT_EQ(OGLE_GetLineHeight(nullptr), 11);

	EXPECT_EQ(OGLE_MBCS_NextPos(nullptr, 1), 3);
	EXPECT_EQ(OGLE_MBCS_NextPos(nullptr, 4), 5);  // past the end: the engine clamps
	EXPECT_EQ(OGLE_MBCS_PrevPos(nullptr, 3), 1);
	EXPECT_EQ(OGLE_MBCS_PrevPos(nullptr, 0), -1);
	EXPECT_EQ(OGLE_MBCS_Next(nullptr, f.at(2)), f.at(3));

	const char* b;
	const char* e;
	OGLE_GetText(nullptr, &b, &e);
	EXPECT_EQ(std::string(b, e), f.text);

	const std::string x = "XY";
	OGLE_ReplaceTextFunc(nullptr, 1, 3, x.data(), x.data() + 2);
	EXPECT_EQ(f.text, "aXYz");
	EXPECT_EQ(OGLE_edit, 1);
	OGLE_ReplaceTextFunc(nullptr, 1, 3, nullptr, nullptr);
	EXPECT_EQ(f.text, "az");
	OGLE_ReplaceTextFunc(nullptr, 1, 99, nullptr, nullptr);  // a range past the end is cut to it
	EXPECT_EQ(f.text, "a");
}

TEST(FieldCallbacks, MeasureAndFitGoThroughTheRegularFont)
{
	bound_field f("Wa\xC3\xA9W");
	const unsigned char* u = (const unsigned char*)f.text.data();
	const float ww = OGL_measure_char('W', 0), wa = OGL_measure_char('a', 0), we = OGL_measure_char(0xE9, 0);
	ASSERT_GT(ww, 0);
	const char* b = f.text.data();
	const char* e = b + f.text.size();
	EXPECT_FLOAT_EQ(OGLE_MeasureString(nullptr, b, e), OGL_measure_range(u, u + f.text.size(), 0));
	EXPECT_FLOAT_EQ(OGLE_MeasureString(nullptr, b, b + 2), ww + wa);
	EXPECT_EQ(OGLE_FitStringFwd(nullptr, b, e, ww + wa + we), 4);  // byte counts, whole characters
	EXPECT_EQ(OGLE_FitStringFwd(nullptr, b, e, ww + wa + we - 0.5f), 2);
	EXPECT_EQ(OGLE_FitStringRev(nullptr, b, e, we + ww), 3);
	EXPECT_EQ(OGLE_FitStringRev(nullptr, b, e, 0), 0);

	// The engine over these callbacks keeps a long text on one line and
	// scrolls the caret into the 80-unit field.
	f.text = std::string(60, 'm');
	OGLE_Callbacks cb = {OGLE_GetVisibleBounds, OGLE_GetLogicalBounds, OGLE_SetLogicalHeight, OGLE_ScrollTo,
	                     OGLE_GetText,          OGLE_ReplaceTextFunc,  OGLE_GetLineHeight,    OGLE_MeasureString,
	                     OGLE_FitStringFwd,     OGLE_FitStringRev,     nullptr,               nullptr,
	                     OGLE_WordBreak,        OGLE_MBCS_Next,        OGLE_MBCS_NextPos,     OGLE_MBCS_PrevPos};
	OGLE_Rec* rec = OGLE_Create(&cb, nullptr);
	OGLE_Repaginate(rec);
	EXPECT_EQ(rec->line_starts, std::vector<int>({0}));
	OGLE_SetSelection(rec, 60, 60);
	OGLE_RevealSelection(rec);
	const float full = OGL_measure_range((const unsigned char*)f.text.data(),
	                                     (const unsigned char*)f.text.data() + 60, 0);
	EXPECT_FLOAT_EQ(OGLE_dx, full - 80);
	OGLE_Destroy(rec);
}
