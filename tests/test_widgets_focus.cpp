// The keyboard focus ring with its key queues, and the label syntax and
// line breaking every widget shares.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn.h"

namespace {

const int kShift = 1, kDown = 8, kUp = 16;

// Two focusable widgets, as a number field (mask 208) and a text field
// (mask 500) with their kinds' queues, drawn in one frame.
struct WidgetFocus : ::testing::Test {
	BTN_key_queue qa{}, qb{};
	const int A = BTN_focus_id_at(100.7f, 20.9f);
	const int B = BTN_focus_id_at(40, 300);
	bool draw_a = true, draw_b = true;

	void SetUp() override
	{
		mnw_set_defaults();
		mnw.wind_type = 0;
		focus_id = 0;
		frame();
	}
	void TearDown() override
	{
		focus_id = 0;
		BTN_begin_focus_ring();
	}
	void frame()
	{
		BTN_begin_focus_ring();
		if (draw_a) BTN_register_queue(qa, A, 208, 0);
		if (draw_b) BTN_register_queue(qb, B, 500, 0);
	}
};

TEST_F(WidgetFocus, FocusIdIsTruncatedYPlusXTimes8192) { EXPECT_EQ(A, 819220); }

TEST_F(WidgetFocus, ScriptedKeysMoveTheFocusAndFillTheQueues)
{
	struct step {
		const char* what;
		int ch, vkey, flags;
		int result;
		int focus;  // 1 A, 2 B, 0 none
		int count_a, count_b;
	};
	const step steps[] = {
		{"Tab from nothing focuses the first entry", 0, 9, kDown, 1, 1, 0, 0},
		{"'7' is queued for the number field", '7', 55, kDown, 1, 1, 1, 0},
		{"'x' is refused by the number field", 'x', 88, kDown, 0, 1, 1, 0},
		{"the key-up of Tab never moves the focus", 0, 9, kUp, 0, 1, 1, 0},
		{"Tab moves on; the number field's keys go with its focus", 0, 9, kDown, 1, 2, 0, 0},
		{"'x' is queued for the text field", 'x', 88, kDown, 1, 2, 0, 1},
		{"Backspace is wanted by the text field", 8, 8, kDown, 1, 2, 0, 2},
		{"Return is not wanted by anyone", 13, 13, kDown, 0, 2, 0, 2},
		{"Tab on the last entry wraps to the first", 0, 9, kDown, 1, 1, 0, 0},
		{"shift-Tab on the first wraps to the last", 0, 9, kDown | kShift, 1, 2, 0, 0},
		{"an arrow key is navigation", 0, 37, kDown, 1, 2, 0, 1},
		{"a key-up is queued with its flag", 0, 37, kUp, 1, 2, 0, 2},
	};
	for (const step& s : steps) {
		EXPECT_EQ(BTN_dispatch_to_focus(s.ch, s.vkey, s.flags), s.result) << s.what;
		EXPECT_EQ(focus_id, s.focus == 1 ? A : s.focus == 2 ? B : 0) << s.what;
		EXPECT_EQ(qa.count, s.count_a) << s.what;
		EXPECT_EQ(qb.count, s.count_b) << s.what;
		frame();
	}
	EXPECT_EQ(qb.ids[0], B);
	EXPECT_EQ(qb.flags[1], kUp);
}

TEST_F(WidgetFocus, EmptyRingAlertWindowAndUndrawnFocus)
{
	draw_a = draw_b = false;
	frame();
	EXPECT_EQ(BTN_dispatch_to_focus(0, 9, kDown), 0) << "Tab with an empty ring";
	EXPECT_EQ(focus_id, 0);

	draw_a = draw_b = true;
	frame();
	mnw.wind_type = 994;
	EXPECT_EQ(BTN_dispatch_to_focus(0, 9, kDown), 0) << "alerts take no keys";
	EXPECT_EQ(focus_id, 0);
	mnw.wind_type = 0;

	// A focused widget that was not drawn loses the focus; Tab starts again.
	focus_id = A;
	draw_a = false;
	frame();
	EXPECT_EQ(BTN_dispatch_to_focus('7', 55, kDown), 0);
	EXPECT_EQ(focus_id, 0);
	focus_id = A;
	EXPECT_EQ(BTN_dispatch_to_focus(0, 9, kDown), 1);
	EXPECT_EQ(focus_id, B);
}

TEST_F(WidgetFocus, AFullQueueRefusesTheKey)
{
	focus_id = A;
	for (int i = 0; i < BTN_queue_size; ++i) ASSERT_EQ(BTN_dispatch_to_focus('1', 49, kDown), 1) << i;
	EXPECT_EQ(BTN_dispatch_to_focus('2', 50, kDown), 0);
	EXPECT_EQ(qa.count, BTN_queue_size);
	EXPECT_EQ(qa.chars[BTN_queue_size - 1], '1');
}

TEST_F(WidgetFocus, ConsumingTakesOwnKeysSkipsKeyUpsAndKeepsOthers)
{
	// Two number fields share one queue; keys of the other stay queued.
	const int C = BTN_focus_id_at(200, 20);
	focus_id = A;
	BTN_dispatch_to_focus('4', 52, kDown);
	BTN_dispatch_to_focus('4', 52, kUp);
	qa.chars[qa.count] = '9';  // left by C before the focus came to A
	qa.ids[qa.count] = C;
	qa.flags[qa.count] = kDown;
	++qa.count;
	BTN_dispatch_to_focus('5', 53, kDown);

	std::string got;
	BTN_consume_queue(qa, A, [&](int ch, int, int) { got += (char)ch; });
	EXPECT_EQ(got, "45");
	ASSERT_EQ(qa.count, 1);
	EXPECT_EQ(qa.ids[0], C);
	BTN_consume_queue(qa, C, [&](int ch, int, int) { got += (char)ch; });
	EXPECT_EQ(got, "459");
	EXPECT_EQ(qa.count, 0);
}

TEST_F(WidgetFocus, TakingTheFocusDropsStaleEntriesOfOtherWidgets)
{
	focus_id = A;
	BTN_dispatch_to_focus('3', 51, kDown);
	ASSERT_EQ(qa.count, 1);
	// A click elsewhere clears the focus and B takes it when it registers.
	BTN_unfocus_any();
	BTN_begin_focus_ring();
	BTN_register_queue(qa, A, 208, 0);
	EXPECT_EQ(BTN_register_queue(qb, B, 500, 1), 1);
	EXPECT_EQ(focus_id, B);
	EXPECT_EQ(qa.count, 0) << "the number field's key is gone with its focus";
}

TEST_F(WidgetFocus, FocusHelpers)
{
	EXPECT_EQ(BTN_no_focus_yet(), 1);
	BTN_window_has_focus();
	EXPECT_EQ(BTN_no_focus_yet(), 0);
	frame();
	EXPECT_EQ(BTN_no_focus_yet(), 1);
	BTN_focus_any();
	EXPECT_EQ(focus_id, A);
	EXPECT_EQ(BTN_no_focus_yet(), 0);
	draw_a = draw_b = false;
	frame();
	BTN_focus_any();
	EXPECT_EQ(focus_id, 0);
}

TEST(WidgetLabels, SplitsIntoLeftRightAndHelp)
{
	const struct {
		const char* label;
		const char* left;
		const char* right;
		const char* help;
	} cases[] = {
		{"|English", "", "English", ""},
		{"{?Pick a folder", "", "", "Pick a folder"},
		{"Streams", "Streams", "", ""},
		{"Size|MB{?How much", "Size", "MB", "How much"},
		{"Size{?How much", "Size", "", "How much"},
		{"a{b|c", "a{b", "c", "|c"},          // a brace before the bar is left text, and starts the help
		{"x{?h|y", "x{?h", "y", "h|y"},
		{"a{b|c{?h", "a{b", "c", "h"},
		{"x{", "x", "", ""},                  // nothing after the brace
		{"x{?", "x", "", ""},
		{"", "", "", ""},
	};
	for (const auto& c : cases) {
		std::string l = "junk", r = "junk", h = "junk";
		BTN_expand_label(c.label, l, r, h);
		EXPECT_EQ(l, c.left) << c.label;
		EXPECT_EQ(r, c.right) << c.label;
		EXPECT_EQ(h, c.help) << c.label;
	}
}

TEST(WidgetLabels, BreaksLongLabelsNearTheMiddle)
{
	using lines = std::vector<std::pair<std::string, float>>;
	// The two lines of a broken label lie one line step of the font apart.
	const float up = 100 + OGL_line_step(0) / 2, down = 100 - OGL_line_step(0) / 2;
	const struct {
		const char* text;
		int align;
		lines want;
	} cases[] = {
		{"abcdefgh ijklmnop", 0, {{"abcdefgh", up}, {"ijklmnop", down}}},
		{"abcdefgh ijklmnop", 2, {{"abcdefgh", up}, {"ijklmnop", down}}},
		{"abcdefgh ijklmnop", 1, {{"abcdefgh ijklmnop", 100}}},  // centred: one line
		{"-abcdefgh ijklmnop", 0, {{"abcdefgh ijklmnop", 100}}},  // dash: one line
		{"abcdef ghijk", 0, {{"abcdef ghijk", 100}}},             // 12 characters
		{"abcdef-g ijklm", 0, {{"abcdef", up}, {"g ijklm", down}}}, // tie: the earlier wins
		{"abcdefghijklmnopq", 0, {{"abcdefghijklmnopq", 100}}},   // nowhere to break
		{"a/bcdefghijklmn", 0, {{"a", up}, {"bcdefghijklmn", down}}},
		{"abcdefghijklmno ", 0, {{"abcdefghijklmno ", 100}}},     // break at the last place: none
		{"", 0, {}},
	};
	for (const auto& c : cases) {
		lines got;
		for (const BTN_label_line& l : BTN_label_lines(100, c.align, c.text)) got.push_back({l.text, l.y});
		EXPECT_EQ(got, c.want) << c.text << " align " << c.align;
	}
}

TEST(WidgetLabels, HelpGoesToItsStringTableEntry)
{
	BTN_set_help("Choose where to install");
	EXPECT_EQ(stls[1802], "Choose where to install");
	BTN_set_help("");
}

}  // namespace
