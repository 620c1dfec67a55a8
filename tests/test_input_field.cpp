// The text field on a real context, driven frame by frame: the mouse, keys
// queued through the focus ring, focus changes, and what it draws.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "tests/support/gl_context.h"
#include "tests/support/widget_fixture.h"

namespace {

float adv(const std::string& s)
{
	const unsigned char* b = (const unsigned char*)s.data();
	return OGL_measure_range(b, b + s.size(), 0);
}

class TextField : public gl_widget_test {
protected:
	void SetUp() override
	{
		focused_field_id = 0;
		gl_widget_test::SetUp();
	}
	void TearDown() override
	{
		gl_widget_test::TearDown();
		OGLE_input = nullptr;
	}
	// Keys of one frame's event polling, offered to last frame's ring.
	static void type(int ch, int vkey = 0, int flags = 8)
	{
		EXPECT_EQ(BTN_dispatch_to_focus(ch, vkey, flags), 1) << "key " << ch << " was not queued";
		BTN_dispatch_to_focus(ch, vkey, 16);  // its key-up passes through and is skipped
	}
	static std::pair<int, int> sel()
	{
		int s, e;
		OGLE_GetSelection(ogle, &s, &e);
		return {s, e};
	}
};

const float X = 100, Y = 200, W = 120;

}  // namespace

TEST_F(TextField, AutoFocusSelectsAllAndTypingReplacesIt)
{
	std::string s = "hello";
	auto draw = [&] { return BTN_enterstring(X, Y, &s, 40, "Name:|", W, 1); };
	EXPECT_EQ(frame(draw), 0);
	EXPECT_EQ(focus_id, (int)Y + (int)X * 8192);
	EXPECT_EQ(sel(), std::make_pair(0, 5));
	type('x', 'X');
	EXPECT_EQ(frame(draw), 1);
	EXPECT_EQ(s, "x");
	EXPECT_EQ(sel(), std::make_pair(1, 1));
	EXPECT_EQ(frame(draw), 0);  // nothing new
}

TEST_F(TextField, ClickPlacesTheCaretAndDragSelects)
{
	std::string s = "abcdef";
	auto draw = [&] { return BTN_enterstring(X, Y, &s, 40, "", W, 0); };
	frame(draw);
	EXPECT_EQ(focus_id, 0);
	press(X + adv("ab") + 0.5f, Y + 4);
	frame(draw);
	EXPECT_EQ(focus_id, (int)Y + (int)X * 8192);
	EXPECT_EQ(sel(), std::make_pair(2, 2)) << "a click selected instead of placing the caret";
	hold(X + adv("abcd") + 0.5f, Y + 4);
	frame(draw);
	EXPECT_EQ(sel(), std::make_pair(2, 4));
	hold(X - 50, Y + 40);  // held outside: follows, clamped to the field
	frame(draw);
	EXPECT_EQ(sel(), std::make_pair(0, 2));
	no_mouse();
	type(29, 39);  // right arrow collapses to the end
	frame(draw);
	EXPECT_EQ(sel(), std::make_pair(2, 2));
	EXPECT_EQ(s, "abcdef");
}

TEST_F(TextField, Utf8InputStepsAndTheLengthCut)
{
	std::string s = "ab";
	auto draw = [&] { return BTN_enterstring(X, Y, &s, 10, "", W, 1); };
	frame(draw);
	type(29, 39);
	frame(draw);
	type(0xE9, 69);
	frame(draw);
	EXPECT_EQ(s, "ab\xC3\xA9");
	EXPECT_EQ(sel(), std::make_pair(4, 4));
	type(28, 37);
	frame(draw);
	EXPECT_EQ(sel(), std::make_pair(2, 2)) << "left stopped inside the two bytes";
	type(0x1F600, 0);
	frame(draw);
	EXPECT_EQ(s, "ab\xF0\x9F\x98\x80\xC3\xA9");
	type(8, 8);
	frame(draw);
	EXPECT_EQ(s, "ab\xC3\xA9");

	// max_len 3: a fourth byte is cut again, and never half a character.
	std::string t = "abc";
	focus_id = 0;
	auto draw3 = [&] { return BTN_enterstring(X, Y + 40, &t, 3, "", W, 1); };
	frame(draw3);
	type(29, 39);
	frame(draw3);
	type('d', 'D');
	EXPECT_EQ(frame(draw3), 1);
	EXPECT_EQ(t, "abc");
	t = "ab";
	frame(draw3);
	type(29, 39);
	frame(draw3);
	type(0xE9, 69);
	EXPECT_EQ(frame(draw3), 1);
	EXPECT_EQ(t, "ab") << "the cut left half of a two-byte character";
}

TEST_F(TextField, ControlCodesAreNotText)
{
	std::string s = "abc";
	auto draw = [&] { return BTN_enterstring(X, Y, &s, 40, "", W, 1); };
	frame(draw);
	type(29, 39);
	frame(draw);
	struct {
		int ch, vkey;
	} keys[] = {{1, 36}, {4, 35}, {11, 33}, {12, 34}, {127, 46}, {0, 36}};
	for (const auto& k : keys) {
		type(k.ch, k.vkey);
		EXPECT_EQ(frame(draw), 0) << k.ch;
	}
	EXPECT_EQ(s, "abc");
	type(8, 8);  // backspace edits
	EXPECT_EQ(frame(draw), 1);
	EXPECT_EQ(s, "ab");
	type(28, 37);
	frame(draw);
	type(127, 46);  // the Delete key takes the character after the caret
	EXPECT_EQ(frame(draw), 1);
	EXPECT_EQ(s, "a");
	EXPECT_EQ(sel(), std::make_pair(1, 1));
	// Tab and Return are not the field's: they go back to the keyboard layer.
	EXPECT_EQ(BTN_dispatch_to_focus(13, 13, 8), 0);
}

TEST_F(TextField, KeysQueuedBeforeAFocusLossAreDropped)
{
	std::string a = "first", b = "second";
	const float BX = 300;
	// B is drawn before A, so the shared engine is B's when A takes its keys.
	auto draw = [&] {
		int r = BTN_enterstring(BX, Y, &b, 40, "", W, 0);
		r |= BTN_enterstring(X, Y, &a, 40, "", W, 0) << 1;
		return r;
	};
	press(X + 1, Y + 4);
	frame(draw);
	no_mouse();
	frame(draw);
	type('q', 'Q');  // queued for A
	press(BX + 1, Y + 4);  // the same frame's click moves the focus to B
	EXPECT_EQ(frame(draw), 0);
	EXPECT_EQ(a, "first");
	EXPECT_EQ(b, "second") << "A's key edited B's string";
	EXPECT_EQ(focus_id, (int)Y + (int)BX * 8192);
	no_mouse();
	type('z', 'Z');
	EXPECT_EQ(frame(draw), 1);
	EXPECT_EQ(b, "zsecond");
}

TEST_F(TextField, TwoFieldsAtOnePositionShareFocusAndKeys)
{
	std::string a = "one", b = "two";
	int got_a = 0, got_b = 0;
	auto draw = [&] {
		got_a = BTN_enterstring(X, Y, &a, 40, "", W, 0);
		got_b = BTN_enterstring(X + 0.4f, Y + 0.7f, &b, 40, "", W, 0);
		return 0;
	};
	press(X + 1, Y + 4);
	frame(draw);
	EXPECT_EQ(focus_id, (int)Y + (int)X * 8192);
	no_mouse();
	type('z', 'Z');
	frame(draw);
	// One queue entry: the first field drawn takes it.
	EXPECT_EQ(got_a + got_b, 1);
	EXPECT_EQ(a.size() + b.size(), 7u);
}

TEST_F(TextField, CharacterBufferFormAndItsLimit)
{
	char buf[600];
	std::strcpy(buf, "abc");
	auto draw = [&] { return BTN_enterstring(X, Y, buf, 499, "", W, 1); };
	frame(draw);
	type(29, 39);
	frame(draw);
	type('d', 'D');
	EXPECT_EQ(frame(draw), 1);
	EXPECT_STREQ(buf, "abcd");

	// 499 bytes and one more: the fatal alert, and the buffer is left alone.
	std::memset(buf, 'a', 499);
	buf[499] = 0;
	buf[500] = 'Z';
	auto draw_big = [&] { return BTN_enterstring(X, Y, buf, 1000, "", W, 1); };
	frame(draw_big);
	type(29, 39);
	frame(draw_big);
	type('b', 'B');
	frame(draw_big);
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].line1, "String too long!");
	EXPECT_EQ(alerts[0].kind, alert_fatal);
	EXPECT_EQ(alerts[0].source_file, "DIzivoz/GenH/hl_string");
	EXPECT_EQ(alerts[0].source_line, 137);
	EXPECT_EQ(std::strlen(buf), 499u);
	EXPECT_EQ(buf[500], 'Z');
}

TEST_F(TextField, VectorListCallbacks)
{
	std::vector<std::string> names = {"a", "b"};
	std::vector<int> types = {7, 9};
	EXPECT_EQ(BTN_name_from_vector(1, &names), "b");
	EXPECT_EQ(BTN_type_from_vector(0, &types), 7);
	EXPECT_EQ(BTN_name_from_vector(2, &names), "");
	EXPECT_EQ(BTN_type_from_vector(-1, &types), 0);
}

TEST_F(TextField, SelectionAndCaretOnScreen)
{
	MACIBM_alloc_scratch();
	ASSERT_GT(tman.load_texture(tex_fail_fatal, 392, 0x702, tex_loaded, "RESOURCE:interface.png"), 0);
	gl_pixel_view();
	OGL_nrml_colors();
	const float saved45[3] = {colr.rgb[45][0], colr.rgb[45][1], colr.rgb[45][2]};
	colr.assign(45, 0, 0, 1);  // text and caret blue
	colr.blink_level = 1;

	std::string s = "ab\xC3\xA9" "cd";  // "abécd"
	auto draw = [&] {
		gl.ClearColor(0, 0, 0, 1);
		gl.Clear(GL_COLOR_BUFFER_BIT);
		return BTN_enterstring(X, Y, &s, 40, "", W, 1);
	};
	auto pixel = [](float x, float y) {
		unsigned char p[4] = {0, 0, 0, 0};
		gl.ReadPixels((int)x, (int)y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
		return std::vector<int>{p[0], p[1], p[2]};
	};
	frame(draw);
	type(29, 39);  // caret to the end, then shift-left twice: "cd" selected
	frame(draw);
	type(28, 37, 9);
	frame(draw);
	type(28, 37, 9);
	frame(draw);
	ASSERT_EQ(sel(), std::make_pair(4, 6));
	const float x_sel = X + adv("ab\xC3\xA9") + 2;
	// Row Y - 2: inside the band (Y - 2 .. Y + 9), below the glyphs (baseline Y - 1).
	const std::vector<int> in_sel = pixel(x_sel, Y - 2);
	EXPECT_GT(in_sel[0], 200) << "selection band (palette 8)";
	EXPECT_GT(in_sel[1], 150);
	EXPECT_LT(in_sel[2], 120);
	const std::vector<int> before_sel = pixel(X + adv("a") * 0.5f, Y - 2);
	EXPECT_FALSE(before_sel[0] > 200 && before_sel[2] < 120) << "the band began before the selection";

	// The caret: a blue line at the caret's x.
	type(28, 37);  // collapse to the start of the selection
	frame(draw);
	ASSERT_EQ(sel(), std::make_pair(4, 4));
	const float xc = X + adv("ab\xC3\xA9");
	bool found = false;
	for (int dx = -1; dx <= 1 && !found; ++dx) {
		const std::vector<int> c = pixel(xc + dx + 0.5f, Y - 2);
		found = c[2] > 150 && c[0] < 100;
	}
	EXPECT_TRUE(found) << "no caret line at x " << xc;
	colr.assign(45, saved45[0], saved45[1], saved45[2]);
	colr.blink_level = 0;
}

// A text far wider than the field stays one line: scrolled sideways so that
// its end and the caret are drawn inside the field, never a blank field.
TEST_F(TextField, LongTextStaysOnOneLineWithTheCaretInView)
{
	MACIBM_alloc_scratch();
	ASSERT_GT(tman.load_texture(tex_fail_fatal, 392, 0x702, tex_loaded, "RESOURCE:interface.png"), 0);
	gl_pixel_view();
	OGL_nrml_colors();
	const float saved45[3] = {colr.rgb[45][0], colr.rgb[45][1], colr.rgb[45][2]};
	colr.assign(45, 0, 0, 1);
	colr.blink_level = 1;
	const float FW = 400;
	struct row {
		const char* name;
		std::string text;
	} rows[] = {
	    {"fits", std::string(20, 'N')},
	    {"just past field + 1024", std::string(180, 'N')},
	    {"narrow letters", std::string(255, 'a')},
	    {"at the length cut", std::string(256, 'N')},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		focused_field_id = 0;
		focus_id = 0;
		std::string s = r.text;
		auto draw = [&] {
			gl.ClearColor(0, 0, 0, 1);
			gl.Clear(GL_COLOR_BUFFER_BIT);
			return BTN_enterstring(X, Y, &s, 256, "", FW, 1);
		};
		frame(draw);
		type(29, 39);  // caret to the end
		frame(draw);
		// A burst of letters in one frame, as a fast typist gives: past
		// max_len they are cut, and the text must not slide out of the field.
		for (int i = 0; i < 30; ++i) type('N', 'N');  // a full queue, key-ups included
		frame(draw);
		frame(draw);
		ASSERT_EQ(ogle->line_starts.size(), 1u) << "the field's line was wrapped";
		EXPECT_EQ(OGLE_dy, 0);
		const int caret = sel().second;
		EXPECT_EQ(caret, (int)s.size());
		const float xc = X - OGLE_dx + adv(s.substr(0, caret));
		EXPECT_GE(xc, X);
		EXPECT_LE(xc, X + FW);
		// A text wider than the field ends at its right edge.
		if (adv(s) > FW) {
			EXPECT_GE(xc, X + FW - 2);
		}
		// Blue glyph pixels across the field, and the caret line.
		int blue = 0;
		std::vector<unsigned char> px((size_t)FW * 11 * 4);
		gl.ReadPixels((int)X, (int)Y - 2, (int)FW, 11, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
		for (size_t i = 0; i < px.size(); i += 4) blue += px[i + 2] > 150 && px[i] < 100;
		EXPECT_GT(blue, 100) << "the field is blank";
		bool caret_drawn = false;
		for (int dx = -1; dx <= 1 && !caret_drawn; ++dx) {
			unsigned char p[4] = {0, 0, 0, 0};
			gl.ReadPixels((int)(xc + dx + 0.5f), (int)Y - 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
			caret_drawn = p[2] > 150 && p[0] < 100;
		}
		EXPECT_TRUE(caret_drawn) << "no caret at x " << xc;
	}
	colr.assign(45, saved45[0], saved45[1], saved45[2]);
	colr.blink_level = 0;
}
