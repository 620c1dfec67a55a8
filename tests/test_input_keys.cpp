// Keyboard tables, key names and key bindings over the command registry.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"

TEST(KeyTables, ShapesAndFreeNumbers)
{
	int rows = 0;
	std::set<int> used;
	while (kKeyNameTable[rows].code_name) {
		used.insert(kKeyNameTable[rows].vkey);
		ASSERT_NE(kKeyNameTable[rows].display_name, nullptr);
		++rows;
	}
	EXPECT_EQ(rows, 110);
	EXPECT_EQ(kKeyNameTable[110].display_name, nullptr);
	EXPECT_EQ(used.size(), 110u) << "a virtual key is named twice";

	int n = 0;
	while (kKeyTranslations[n].vkey) ++n;
	EXPECT_EQ(n, 63);
	n = 0;
	while (kAsciiMappings[n].ch) ++n;
	EXPECT_EQ(n, 49);
	EXPECT_EQ(kAsciiMappings[0].ch, '.');
	EXPECT_EQ(kAsciiMappings[37].ch, '.');  // listed twice
	n = 0;
	while (kCharTranslations[n].ch) ++n;
	EXPECT_EQ(n, 103);

	keys_class k;
	EXPECT_EQ(k.max_vkey, 189);
	std::vector<int> expected;
	auto range = [&](int a, int b) {
		for (int i = a; i <= b; ++i) expected.push_back(i);
	};
	range(0, 7), range(10, 11), range(14, 26), range(28, 31), range(58, 64), range(91, 95), range(108, 108),
	    range(136, 175);
	EXPECT_EQ(k.free_vkeys, expected);
	EXPECT_EQ(k.free_vkeys.size(), 80u);
	EXPECT_EQ(k.last_vkey, 0);
	EXPECT_TRUE(k.bindings.empty());
}

TEST(KeyTables, RowsAsWritten)
{
	// Samples from each stretch of every table, both ends included.
	struct {
		int vkey;
		const char *code, *name;
	} names[] = {
	    {8, "VNTM_VK_BACK", "Backspace"},     {33, "VNTM_VK_PRIOR", "PageUp"},   {47, "VNTM_VK_HELP", "Help"},
	    {48, "VNTM_VK_0", "0"},               {90, "VNTM_VK_Z", "Z"},            {105, "VNTM_VK_NUMPAD9", "Numpad-9"},
	    {109, "VNTM_VK_SUBTRACT", "Numpad--"}, {135, "VNTM_VK_F24", "F24"},     {182, "VNTM_VK_BACKSLASH", "\\"},
	    {186, "VNTM_VK_BACKQUOTE", "`"},      {188, "VNTM_VK_NUMPAD_ENT", "Numpad-Enter"},
	    {189, "VNTM_VK_NUMPAD_EQ", "Numpad-="},
	};
	keys_class k;
	for (const auto& c : names) {
		EXPECT_EQ(k.vkey_to_code(c.vkey), c.code);
		EXPECT_EQ(k.vkey_to_str(c.vkey), c.name);
	}
	EXPECT_EQ(kKeyTranslations[0].key_code, 18);
	EXPECT_EQ(kKeyTranslations[0].vkey, 49);
	EXPECT_EQ(kKeyTranslations[28].key_code, 36);
	EXPECT_EQ(kKeyTranslations[28].vkey, 13);
	EXPECT_EQ(kKeyTranslations[62].key_code, 126);
	EXPECT_EQ(kKeyTranslations[62].vkey, 38);

	struct {
		int ch, vkey, flags, found;
	} chars[] = {
	    {13, 13, 0, 1},  {28, 37, 0, 1},  {31, 40, 0, 1},   {' ', 32, 0, 1},  {'a', 65, 0, 1}, {'Z', 90, 1, 1},
	    {'`', 186, 0, 1}, {'~', 186, 1, 1}, {'>', 185, 1, 1}, {'?', 184, 1, 1}, {')', 48, 1, 1}, {127, 0, 0, 0},
	    {0xE9, 0, 0, 0}, {0, 0, 0, 0},
	};
	for (const auto& c : chars) {
		int v = -1, f = -1;
		EXPECT_EQ(k.ascii_to_vkey(c.ch, v, f), c.found) << c.ch;
		EXPECT_EQ(v, c.vkey) << c.ch;
		EXPECT_EQ(f, c.flags) << c.ch;
	}
}

TEST(KeyNames, ToAndFromText)
{
	keys_class k;
	struct {
		int flags;
		const char *str, *code;
	} flags[] = {
	    {0, "<none>", "0"},
	    {1, "SHIFT", "vntm_ShiftFlag"},
	    {3, "SHIFT+ALT", "vntm_ShiftFlag+vntm_OptionAltFlag"},
	    {5, "SHIFT+CTRL", "vntm_ShiftFlag+vntm_ControlFlag"},
	    {7, "SHIFT+ALT+CTRL", "vntm_ShiftFlag+vntm_OptionAltFlag+vntm_ControlFlag"},
	    {8 | 16, "<none>", "0"},  // key-down and key-up bits are not modifiers
	};
	for (const auto& c : flags) {
		EXPECT_EQ(k.flag_to_str(c.flags), c.str);
		EXPECT_EQ(k.flag_to_code(c.flags), c.code);
	}
	struct {
		const char* s;
		int flags;
	} to_flag[] = {{"SHIFT+CTRL", 5}, {"CTRL-ALT", 6}, {"shift", 0}, {"", 0}, {"xSHIFTx", 1}};
	for (const auto& c : to_flag) EXPECT_EQ(k.str_to_flag(c.s), c.flags) << c.s;

	struct {
		const char* s;
		int vkey;
	} to_vkey[] = {
	    {"pageup", 33}, {"PAGEUP", 33}, {"Numpad-Enter", 188}, {"a", 65}, {"KEY12", 12}, {"KEY200", 200},
	    {"KEY7a", 0},   {"key12", 0},   {"KEY", 0},            {"KEY-5", 0}, {"KEY99999999999", 0}, {"Page", 0},
	    {"", 0},
	};
	for (const auto& c : to_vkey) EXPECT_EQ(k.str_to_vkey(c.s), c.vkey) << c.s;
	EXPECT_EQ(k.vkey_to_str(200), "KEY200");
	EXPECT_EQ(k.vkey_to_code(200), "200");
	EXPECT_EQ(k.vkey_to_str(220), "KEY220");
	EXPECT_EQ(script_to_utf32('a'), 'a');
	EXPECT_EQ(script_to_utf32(0xE9), 0);
}

TEST(KeyBindings, PressHoldAndReleaseThroughTheRegistry)
{
	keys_class k;
	const int cmd = cmnd.add_cmd("test/keys/brake", "Brake while held");
	const int other = cmnd.add_cmd("test/keys/gear", "Gear");
	k.bindings.push_back({65, 1, cmd, 0});    // shift-A
	k.bindings.push_back({65, 0, other, 0});  // plain A
	k.bindings.push_back({13, 0, other, 0});

	EXPECT_EQ(k.get_key_for_cmnd(cmd), "SHIFT-a");
	EXPECT_EQ(k.get_key_for_cmnd(other), "a");
	EXPECT_EQ(k.get_key_for_cmnd(9999), "");
	EXPECT_EQ(k.key_bound_to(65, 1), cmd);
	EXPECT_EQ(k.key_bound_to(65, 0), other);
	EXPECT_EQ(k.key_bound_to(66, 0), 0);

	const int before = cmnd.press_count[cmd];
	k.handle_key(65, 9);  // shift-A down
	EXPECT_EQ(cmnd.press_count[cmd], before + 1);
	EXPECT_EQ(cmnd.press_count[other], 0) << "the plain binding fired on shift-A";
	EXPECT_EQ(k.bindings[0].held, 1);
	k.handle_key(65, 1);  // auto-repeat: neither down nor up
	k.run_repeat_keys();
	k.run_repeat_keys();
	EXPECT_EQ(cmnd.press_count[cmd], before + 1);
	EXPECT_EQ(k.bindings[0].held, 1);
	k.handle_key(65, 16);  // key-up after shift went up still releases
	EXPECT_EQ(cmnd.press_count[cmd], before);
	EXPECT_EQ(k.bindings[0].held, 0);
	k.handle_key(65, 16);  // a second key-up releases nothing
	EXPECT_EQ(cmnd.press_count[cmd], before);

	k.handle_key(13, 8);  // Return goes to bindings like any key
	EXPECT_EQ(cmnd.press_count[other], 1);
	k.handle_key(0, 8);  // vkey 0 runs nothing, even the "no key" binding
	k.keys_io(0);
	ASSERT_EQ(k.bindings.size(), 1u);
	EXPECT_EQ(k.bindings[0].vkey, 0);
	EXPECT_EQ(k.bindings[0].command, 0);
	k.handle_key(0, 8);
	EXPECT_EQ(cmnd.press_count[0], 0);
	k.keys_io(1);  // writes nothing, keeps the list
	EXPECT_EQ(k.bindings.size(), 1u);
}
