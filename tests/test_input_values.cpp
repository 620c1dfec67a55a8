// Value widgets on a real context, frame by frame: number fields edited by
// keys and arrows, sliders, the pop-up list and the character field.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"
#include "DIzivoz/OOPS_cpp/butn_values.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "tests/support/gl_context.h"
#include "tests/support/widget_fixture.h"

namespace {

class ValueWidgets : public gl_widget_test {
protected:
	static int key(int ch, int vkey = 0) { return BTN_dispatch_to_focus(ch, vkey, 8); }
};

const float X = 200, Y = 300;

}  // namespace

TEST_F(ValueWidgets, NumberFieldDigitsAndRounding)
{
	// (digits, decimals, min, max, start value, hot digit, typed) -> value
	struct {
		int digits, decimals;
		float min, max, start;
		int hot;
		int ch;
		float want;
	} cases[] = {
	    {3, 1, 0, 99.9f, 12.3f, 2, '5', 12.5f},
	    {2, 1, 0, 9.9f, 4.6f, 1, '7', 4.7f},       // tenths of 4.6 read as 6, not 5
	    {3, 1, -99.9f, 99.9f, -4.6f, 1, '7', -7.6f},  // the sign stays
	    {3, 0, 0, 999, 120, 0, '9', 920},
	    {10, 0, 0, 9999999999.0f, 5, 9, '8', 8},
	    {3, 1, 0, 100, 5, 0, '-', 0},             // negative, then clamped
	    {3, 1, -100, 100, -5, 0, '+', 5},
	    {3, 1, 0, 100, 5, 0, '+', 5},
	    {3, 1, -100, -1, -5, 0, '-', -5},
	};
	for (const auto& c : cases) {
		float v = c.start;
		auto draw = [&] { return BTN_flt_range(X, Y, &v, c.digits, c.decimals, c.min, c.max, "Value|"); };
		press(X + 2 + 10 * c.hot + 1, Y + 4);
		frame(draw);
		no_mouse();
		ASSERT_EQ(key(c.ch), 1) << c.ch;
		EXPECT_EQ(frame(draw), c.want != c.start ? 1 : 0) << c.start;
		EXPECT_FLOAT_EQ(v, c.want) << c.start << " typed " << (char)c.ch;
	}

	// Every frame rounds half away from zero at the given decimals.
	for (float start : {1.25f, -1.25f}) {
		float v = start;
		no_mouse();
		frame([&] { return BTN_flt_range(X, Y, &v, 3, 1, -10, 10, ""); });
		EXPECT_FLOAT_EQ(v, start > 0 ? 1.3f : -1.3f);
	}
}

TEST_F(ValueWidgets, NumberFieldArrowsAndTheFamily)
{
	int streams = 2;
	auto draw = [&] { return BTN_int_range(X, Y, &streams, 1, 1, 4, "Streams|"); };
	press(X + 3, Y + 4);
	frame(draw);
	no_mouse();
	key('7');
	frame(draw);
	EXPECT_EQ(streams, 4);
	key(30, 38);  // up at the top stays
	frame(draw);
	EXPECT_EQ(streams, 4);
	key(31, 40);
	frame(draw);
	EXPECT_EQ(streams, 3);

	// Left and right wrap the hot digit; up and down step its place.
	float v = 10;
	auto draw3 = [&] { return BTN_flt(X, Y + 50, &v, 3, 1, 0, ""); };
	press(X + 3, Y + 54);  // hot digit 0: tens
	frame(draw3);
	no_mouse();
	key(28, 37);  // wraps to the last digit: tenths
	key(30, 38);
	frame(draw3);
	EXPECT_FLOAT_EQ(v, 10.1f);
	key(29, 39);  // back to the tens
	key(30, 38);
	frame(draw3);
	EXPECT_FLOAT_EQ(v, 20.1f);
	v = 150;  // BTN_flt with 3 digits and 1 decimal holds 0 .. 99.9
	frame(draw3);
	EXPECT_FLOAT_EQ(v, 99.9f);
	v = -5;
	frame(draw3);
	EXPECT_FLOAT_EQ(v, 0);

	// The arrow cells above and below each digit, by mouse.
	v = 10;
	press(X + 10 * 1 + 5, Y + 50 + 18);  // up arrow of the units
	EXPECT_EQ(frame(draw3), 1);
	EXPECT_FLOAT_EQ(v, 11);
	press(X + 10 * 2 + 5, Y + 50 - 10);  // down arrow of the tenths
	frame(draw3);
	EXPECT_FLOAT_EQ(v, 10.9f);

	// Ten digits never overflow the int written back.
	int big = 2000000000;
	auto draw10 = [&] { return BTN_int(X, Y + 100, &big, 10, 1, ""); };
	press(X + 3, Y + 104);
	frame(draw10);
	no_mouse();
	key(30, 38);  // + 1 000 000 000
	frame(draw10);
	EXPECT_EQ(big, INT_MAX);
	big = -2000000000;
	key(31, 40);
	frame(draw10);
	EXPECT_EQ(big, INT_MIN);

	// A double is written back only on a change; the display has no input.
	double d = 2.5 + 1e-12;  // its float copy is 2.5, already rounded
	EXPECT_EQ(frame([&] { return BTN_dob_range(X, Y + 150, &d, 3, 1, 0, 10, ""); }), 0);
	EXPECT_EQ(d, 2.5 + 1e-12);
	d = 1.0 / 3;
	EXPECT_EQ(frame([&] { return BTN_dob_range(X, Y + 150, &d, 3, 1, 0, 10, ""); }), 1);
	EXPECT_DOUBLE_EQ(d, 0.30000001192092896);
	BTN_display_number(X, Y + 200, 3.14f, 3, 2, "Pi|");
}

TEST_F(ValueWidgets, FocusedNumberFieldTakesDigitsFromTheKeyboardLayer)
{
	float v = 0;
	keys_class k;
	auto draw = [&] { return BTN_flt_range(X, Y, &v, 2, 0, 0, 99, ""); };
	press(X + 13, Y + 4);  // hot digit 1
	frame(draw);
	no_mouse();
	auto send = [&](int key_code, int ch) {
		EventRecord e{};
		e.what = plat_evt_key_down;
		e.message = (uint32_t)(key_code << 8 | ch);
		e.code_point = e.unshifted = e.shifted = ch;
		k.handle_key_raw(&e);
	};
	send(26, '7');
	send(7, 'x');
	EXPECT_EQ(k.last_vkey, 88) << "the letter was not left to the keyboard layer";
	EXPECT_EQ(frame(draw), 1);
	EXPECT_FLOAT_EQ(v, 7);
}

TEST_F(ValueWidgets, VerticalSlider)
{
	int v = 0;
	// min = max: only the track.
	{
		int track_calls = 0;
		{
			OGL_setstate_forget();
			gl_recorder track_only;
			BTN_frame0(6, 50, 300, 200);
			track_calls = track_only.count("Vertex2f");
		}
		ASSERT_GT(track_calls, 0);
		OGL_setstate_forget();
		gl_recorder rec;
		EXPECT_EQ(BTN_vert_slider(0, 50, 200, 400, 0, 0, &v), 0);
		EXPECT_EQ(rec.count("Vertex2f"), track_calls);
		EXPECT_EQ(rec.count("Begin"), 1);
	}
	// Grabbing the thumb (min at the top) and dragging to the bottom.
	v = 0;
	press(50, 390);
	EXPECT_EQ(BTN_vert_slider(1, 50, 200, 400, 0, 100, &v), 1);
	hold(50, 211);
	EXPECT_EQ(BTN_vert_slider(1, 50, 200, 400, 0, 100, &v), 1);
	EXPECT_EQ(v, 100);
	hold(50, 300);
	BTN_vert_slider(1, 50, 200, 400, 0, 100, &v);
	EXPECT_EQ(v, 50);
	no_mouse();
	EXPECT_EQ(BTN_vert_slider(1, 50, 200, 400, 0, 100, &v), 0);
	// Arrows step by one, the track by ten towards the mouse.
	press(50, 405);
	BTN_vert_slider(1, 50, 200, 400, 0, 100, &v);
	EXPECT_EQ(v, 49);
	press(50, 195);
	BTN_vert_slider(1, 50, 200, 400, 0, 100, &v);
	EXPECT_EQ(v, 50);
	press(50, 230);  // below the thumb
	BTN_vert_slider(1, 50, 200, 400, 0, 100, &v);
	EXPECT_EQ(v, 60);
	no_mouse();
	BTN_vert_slider(4, 50, 200, 400, 0, 100, &v);
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].line1, "Too many sliders!");
	EXPECT_EQ(alerts[0].kind, alert_fatal);
}

TEST_F(ValueWidgets, HorizontalSlider)
{
	float v = 0.5f;
	hold(150, 300);
	EXPECT_EQ(BTN_horz_slider(100, 300, 200, 10, 0, 1, &v, 1, "Volume|", "50%"), 1);
	EXPECT_FLOAT_EQ(v, 0.25f);
	hold(400, 300);  // past the end, inside the slack: clamped
	BTN_horz_slider(100, 300, 200, 10, 0, 1, &v, 1, "", "");
	EXPECT_FLOAT_EQ(v, 0.25f) << "outside the 20-unit slack";
	hold(310, 300);
	BTN_horz_slider(100, 300, 200, 10, 0, 1, &v, 1, "", "");
	EXPECT_FLOAT_EQ(v, 1);
	EXPECT_EQ(BTN_horz_slider(100, 300, 200, 10, 0, 1, &v, 0, "", ""), 0);  // not editable
	no_mouse();
	EXPECT_EQ(BTN_horz_slider(100, 300, 200, 10, 2, 2, &v, 1, "", ""), 0);  // an empty range draws
}

TEST_F(ValueWidgets, PopUpList)
{
	int sel = 7;
	EXPECT_EQ(BTN_textlist(X, Y, &sel, "A-B-C", "Pick|"), 0);
	EXPECT_EQ(sel, 2);  // clamped: the third item shows

	// Opening, picking through the shell's codes.
	const int key_code = (int)(Y * 1024 + X);
	press(X + 10, Y + 3);
	BTN_textlist(X, Y, &sel, "A-B-C", "");
	EXPECT_EQ(active_popup_code, key_code);
	EXPECT_EQ(mnw.menu_open, 1519);
	ASSERT_GT(menu.size(), 1519u);
	ASSERT_EQ(menu[1519].items.size(), 3u);
	EXPECT_EQ(menu[1519].items[2].bottom, (short)(Y - 3));  // the current item over the box
	EXPECT_EQ(menu[1519].items[0].label, "A");
	select_popup_code = key_code;
	popup_menu_select = 0;
	active_popup_code = 0;
	no_mouse();
	EXPECT_EQ(BTN_textlist(X, Y, &sel, "A-B-C", ""), 1);
	EXPECT_EQ(sel, 0);
	EXPECT_EQ(select_popup_code, 0);

	// Near the bottom edge the box moves up frame by frame; the caller's
	// selection stays until a pick.
	int low = 0;
	const float ly = 20;
	press(X + 10, ly + 3);
	BTN_textlist(X, ly, &low, "a-b-c-d-e", "");
	no_mouse();
	const short first_bottom = menu[1519].items[4].bottom;
	for (int i = 0; i < 5; ++i) BTN_textlist(X, ly, &low, "a-b-c-d-e", "");
	EXPECT_EQ(low, 0);
	EXPECT_GE(menu[1519].items[4].bottom, 0);
	EXPECT_GT(menu[1519].items[4].bottom, first_bottom);
	active_popup_code = 0;
	mnw.menu_open = -1;

	// Programming errors.
	EXPECT_EQ(BTN_textlist(X, Y, &sel, "A|B", ""), 0);
	std::string many = "x";
	for (int i = 0; i < 300; ++i) many += "-x";
	EXPECT_EQ(BTN_textlist(X, Y, &sel, many, ""), 0);
	ASSERT_EQ(alerts.size(), 2u);
	EXPECT_EQ(alerts[0].line1, "Found | char in text string!");
	EXPECT_EQ(alerts[1].line1, "BTN_text_list overflow!");
	EXPECT_EQ(alerts[1].kind, alert_fatal);
	std::string three_hundred = "x";
	for (int i = 0; i < 299; ++i) three_hundred += "-x";
	BTN_textlist(X, Y, &sel, three_hundred, "");
	EXPECT_EQ(alerts.size(), 2u);
}

TEST_F(ValueWidgets, CharacterFieldStepsRoundItsAlphabet)
{
	struct {
		char c;
		int dir;
		char want;
	} steps[] = {
	    {' ', 1, '0'}, {'9', 1, 'A'}, {'Z', 1, '-'}, {'-', 1, ' '}, {' ', -1, '-'},
	    {'0', -1, ' '}, {'a', 1, 'B'}, {'z', 1, '-'}, {'#', 1, '0'}, {'#', -1, '-'}, {0, 1, '0'},
	};
	for (const auto& s : steps) EXPECT_EQ(BTN_chars_step(s.c, s.dir), s.want) << (int)s.c << " " << s.dir;
	EXPECT_EQ(std::strlen(BTN_chars_alphabet), 38u);

	char code[5] = "AB9-";
	auto draw = [&] {
		BTN_chars(X, Y, code, 4, "Code|");
		return 0;
	};
	press(X + 15, Y + 3);  // cell 1
	frame(draw);
	no_mouse();
	BTN_dispatch_to_focus('x', 88, 8);
	frame(draw);
	EXPECT_STREQ(code, "AX9-");
	BTN_dispatch_to_focus(31, 40, 8);  // down steps forward: the hot cell is now 2
	frame(draw);
	EXPECT_STREQ(code, "AXA-");
	BTN_dispatch_to_focus(29, 39, 8);
	BTN_dispatch_to_focus(29, 39, 8);  // wraps to cell 0
	BTN_dispatch_to_focus('7', 55, 8);
	frame(draw);
	EXPECT_STREQ(code, "7XA-");
	// Mouse on the arrows: above steps back, below forward.
	press(X + 35, Y + 15);
	frame(draw);
	EXPECT_STREQ(code, "7XAZ");
	EXPECT_EQ(mnw.cursor_kind, 13);
	press(X + 5, Y - 10);
	frame(draw);
	EXPECT_STREQ(code, "8XAZ");
}
