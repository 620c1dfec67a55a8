// Platform key events through the keyboard layer: the triple a widget
// receives, the per-frame flags, the sub-window close and the key bindings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"

namespace {

EventRecord key_event(int kind, int key_code, int ch, int mods, int typed, int unshifted, int shifted)
{
	EventRecord e{};
	e.what = (uint16_t)kind;
	e.message = (uint32_t)((key_code & 0xFF) << 8 | (ch & 0xFF));
	e.modifiers = (uint16_t)mods;
	e.code_point = typed;
	e.unshifted = unshifted;
	e.shifted = shifted;
	return e;
}

std::vector<int> closes;  // what the shell's close target was asked

struct KeyRaw : ::testing::Test {
	BTN_key_queue q{};
	keys_class k;
	void (*saved_target)(int) = nullptr;

	void SetUp() override
	{
		mnw_set_defaults();
		mnw.wind_type = 0;
		focus_id = 0;
		return_hit = escape_hit = delete_hit = 0;
		BTN_begin_focus_ring();
		saved_target = MACIBM_handleclick_target;
		MACIBM_handleclick_target = [](int force) { closes.push_back(force); };
		closes.clear();
	}
	void TearDown() override
	{
		MACIBM_handleclick_target = saved_target;
		focus_id = 0;
		BTN_begin_focus_ring();
	}
	// A focused widget taking every key, so the queue shows the triple.
	void focus_all(int mask = 0x3FF)
	{
		BTN_begin_focus_ring();
		q = BTN_key_queue{};
		BTN_register_queue(q, 4242, mask, 1);
	}
	void send(EventRecord e) { k.handle_key_raw(&e); }
};

const int D = plat_evt_key_down, U = plat_evt_key_up, R = plat_evt_auto_key;
const int SH = plat_mod_shift, OPT = plat_mod_option, CTL = plat_mod_control, CMD = plat_mod_cmd, CAPS = plat_mod_caps;

}  // namespace

TEST_F(KeyRaw, TranslatesEventsIntoTheTriple)
{
	struct {
		const char* what;
		EventRecord ev;
		int cp, vkey, flags;
	} cases[] = {
	    {"Return", key_event(D, 36, 13, 0, 13, 13, 13), 13, 13, 8},
	    {"keypad Enter", key_event(D, 76, 3, 0, 3, 3, 3), 3, 188, 8},
	    {"left arrow", key_event(D, 123, 28, 0, 0, 0, 0), 28, 37, 8},
	    {"up arrow repeat", key_event(R, 126, 30, 0, 0, 0, 0), 30, 38, 0},
	    {"shift a", key_event(D, 0, 'A', SH, 'A', 'a', 'A'), 'A', 65, 9},
	    {"ctrl-option x", key_event(D, 7, 'x', OPT | CTL, 0x2248, 'x', 'X'), 0x2248, 88, 2 | 4 | 8},
	    {"command and caps lock are not reported", key_event(D, 1, 's', CMD | CAPS, 's', 's', 'S'), 's', 83, 8},
	    {"keypad 5", key_event(D, 87, '5', 0, '5', '5', '5'), '5', 101, 8},
	    {"keypad decimal", key_event(D, 65, ',', 0, ',', ',', ','), '.', 110, 8},
	    {"forward delete", key_event(D, 117, 127, 0, 127, 127, 127), 127, 46, 8},
	    {"unknown code 10", key_event(D, 10, 0, 0, 0xA7, 0xA7, 0xB0), 0xA7, 14, 8},
	    {"unknown code 110", key_event(D, 110, 0, 0, 0, 0, 0), 0, 220, 8},
	    {"composed e acute", key_event(D, 14, 'e', 0, 0xE9, 'e', 'E'), 0xE9, 69, 8},
	    {"no layout characters: the event's byte", key_event(D, 24, '=', 0, 0, 0, 0), 0, 176, 8},
	    {"period from either mapping row", key_event(D, 47, '.', 0, '.', '.', '>'), '.', 185, 8},
	};
	for (const auto& c : cases) {
		focus_all();
		send(c.ev);
		ASSERT_EQ(q.count, 1) << c.what;
		EXPECT_EQ(q.chars[0], c.cp) << c.what;
		EXPECT_EQ(q.vkeys[0], c.vkey) << c.what;
		EXPECT_EQ(q.flags[0], c.flags) << c.what;
		EXPECT_EQ(k.vkey_to_str(220), "KEY220");
	}
}

TEST_F(KeyRaw, KeyUpReportsItsKeyDownsCharacterWhileTheModifiersStay)
{
	focus_all();
	send(key_event(D, 0, 'A', SH, 'A', 'a', 'A'));
	send(key_event(U, 0, 'A', SH, 0, 'a', 'A'));  // the layout types nothing on release
	ASSERT_EQ(q.count, 2);
	EXPECT_EQ(q.chars[1], 'A');
	EXPECT_EQ(q.vkeys[1], 65);
	EXPECT_EQ(q.flags[1], 17);

	// Shift went up first: the key-up keeps its own translation.
	focus_all();
	send(key_event(D, 0, 'A', SH, 'A', 'a', 'A'));
	send(key_event(U, 0, 'a', 0, 'a', 'a', 'A'));
	ASSERT_EQ(q.count, 2);
	EXPECT_EQ(q.chars[1], 'a');
	EXPECT_EQ(q.flags[1], 16);
}

TEST_F(KeyRaw, KeysNoWidgetTookSetTheFrameFlags)
{
	struct {
		const char* what;
		EventRecord ev;
		int ret, esc, del, last_vkey, key_last;
	} cases[] = {
	    {"Return", key_event(D, 36, 13, 0, 13, 13, 13), 1, 0, 0, 13, 13},
	    {"keypad Enter is not Return", key_event(D, 76, 3, 0, 3, 3, 3), 0, 0, 0, 188, 3},
	    {"an unlisted code takes a free number", key_event(D, 52, 3, 0, 3, 3, 3), 0, 0, 0, 148, 3},
	    {"Escape", key_event(D, 53, 27, 0, 27, 27, 27), 0, 1, 0, 27, 27},
	    {"Backspace", key_event(D, 51, 8, 0, 8, 8, 8), 0, 0, 1, 8, 8},
	    {"Delete", key_event(D, 117, 127, 0, 127, 127, 127), 0, 0, 1, 46, 127},
	    {"Return released", key_event(U, 36, 13, 0, 13, 13, 13), 0, 0, 0, 13, 0},
	    {"Return repeating", key_event(R, 36, 13, 0, 13, 13, 13), 1, 0, 0, 13, 13},
	    {"e acute keeps its low 7 bits", key_event(D, 14, 'e', 0, 0xE9, 'e', 'E'), 0, 0, 0, 69, 0xE9 & 127},
	};
	for (const auto& c : cases) {
		return_hit = escape_hit = delete_hit = 0;
		mnw.key_last = 0;
		k.last_vkey = -1;
		send(c.ev);
		EXPECT_EQ(return_hit, c.ret) << c.what;
		EXPECT_EQ(escape_hit, c.esc) << c.what;
		EXPECT_EQ(delete_hit, c.del) << c.what;
		EXPECT_EQ(k.last_vkey, c.last_vkey) << c.what;
		EXPECT_EQ(mnw.key_last, c.key_last) << c.what;
	}
	EXPECT_TRUE(closes.empty());

	// An event with nothing in it is dropped before anything sees it.
	k.last_vkey = -1;
	send(key_event(R, 0, 0, 0, 0, 0, 0));
	EXPECT_EQ(k.last_vkey, -1);
}

TEST_F(KeyRaw, FocusedNumberFieldTakesDigitsAndLeavesLetters)
{
	const int cmd = cmnd.add_cmd("test/keyraw/x", "");
	k.bindings.push_back({88, 0, cmd, 0});
	focus_all(208);  // a number field's mask
	send(key_event(D, 26, '7', 0, '7', '7', '&'));
	ASSERT_EQ(q.count, 1);
	EXPECT_EQ(q.chars[0], '7');
	EXPECT_EQ(q.ids[0], 4242);
	EXPECT_EQ(k.last_vkey, 0) << "a key the field took reached the keyboard layer";

	send(key_event(D, 7, 'x', 0, 'x', 'x', 'X'));
	EXPECT_EQ(q.count, 1);
	EXPECT_EQ(k.last_vkey, 88);
	EXPECT_EQ(k.last_flags, 0);
	EXPECT_EQ(cmnd.press_count[cmd], 1);
	send(key_event(U, 7, 'x', 0, 'x', 'x', 'X'));
	EXPECT_EQ(cmnd.press_count[cmd], 0);
}

TEST_F(KeyRaw, ReturnInASubWindowClosesItInsteadOfRunningBindings)
{
	const int cmd = cmnd.add_cmd("test/keyraw/return", "");
	k.bindings.push_back({13, 0, cmd, 0});
	mnw.wind_type = 2;
	send(key_event(D, 36, 13, 0, 13, 13, 13));
	EXPECT_EQ(closes, std::vector<int>({1}));
	EXPECT_EQ(cmnd.press_count[cmd], 0);
	EXPECT_EQ(k.last_vkey, 0);

	// On the main screen Return presses its binding.
	closes.clear();
	mnw.wind_type = 0;
	return_hit = 0;
	send(key_event(D, 36, 13, 0, 13, 13, 13));
	EXPECT_TRUE(closes.empty());
	EXPECT_EQ(cmnd.press_count[cmd], 1);
	send(key_event(U, 36, 13, 0, 13, 13, 13));
	EXPECT_EQ(cmnd.press_count[cmd], 0);

	// In the key-assignment window keys reach no binding.
	mnw.wind_type = 999;
	return_hit = 0;
	send(key_event(D, 7, 'x', 0, 'x', 'x', 'X'));
	EXPECT_EQ(k.last_vkey, 88);
	EXPECT_TRUE(closes.empty());
	send(key_event(D, 36, 13, 0, 13, 13, 13));  // Return still closes it
	EXPECT_EQ(closes, std::vector<int>({1}));
	EXPECT_EQ(cmnd.press_count[cmd], 0);
}

TEST_F(KeyRaw, BindingHeldThroughRepeatsAndReleasedAfterShift)
{
	const int cmd = cmnd.add_cmd("test/keyraw/shift-a", "");
	k.bindings.push_back({65, 1, cmd, 0});
	send(key_event(D, 0, 'A', SH, 'A', 'a', 'A'));
	EXPECT_EQ(cmnd.press_count[cmd], 1);
	send(key_event(R, 0, 'A', SH, 'A', 'a', 'A'));
	k.run_repeat_keys();
	EXPECT_EQ(cmnd.press_count[cmd], 1);
	EXPECT_EQ(k.bindings[0].held, 1);
	send(key_event(U, 0, 'a', 0, 0, 'a', 'A'));  // shift already up
	EXPECT_EQ(cmnd.press_count[cmd], 0);
	EXPECT_EQ(k.bindings[0].held, 0);
}
