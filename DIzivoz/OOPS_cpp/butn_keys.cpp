#include "DIzivoz/OOPS_cpp/butn_keys.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/OOPS_cpp/butn.h"

// Built with the command registry it binds to.
keys_class keys __attribute__((init_priority(260)));

void (*MACIBM_handleclick_target)(int force) = nullptr;  // the shell sets it

const key_name_row kKeyNameTable[111] = {
	{8, "VNTM_VK_BACK", "Backspace"},
	{9, "VNTM_VK_TAB", "Tab"},
	{12, "VNTM_VK_CLEAR", "Clear"},
	{13, "VNTM_VK_RETURN", "Return"},
	{27, "VNTM_VK_ESCAPE", "Escape"},
	{32, "VNTM_VK_SPACE", "Space"},
	{33, "VNTM_VK_PRIOR", "PageUp"},
	{34, "VNTM_VK_NEXT", "PageDown"},
	{35, "VNTM_VK_END", "End"},
	{36, "VNTM_VK_HOME", "Home"},
	{37, "VNTM_VK_LEFT", "Left"},
	{38, "VNTM_VK_UP", "Up"},
	{39, "VNTM_VK_RIGHT", "Right"},
	{40, "VNTM_VK_DOWN", "Down"},
	{41, "VNTM_VK_SELECT", "Select"},
	{42, "VNTM_VK_PRINT", "Print"},
	{43, "VNTM_VK_EXECUTE", "Execute"},
	{44, "VNTM_VK_SNAPSHOT", "Snapshot"},
	{45, "VNTM_VK_INSERT", "Insert"},
	{46, "VNTM_VK_DELETE", "Delete"},
	{47, "VNTM_VK_HELP", "Help"},
	{48, "VNTM_VK_0", "0"},
	{49, "VNTM_VK_1", "1"},
	{50, "VNTM_VK_2", "2"},
	{51, "VNTM_VK_3", "3"},
	{52, "VNTM_VK_4", "4"},
	{53, "VNTM_VK_5", "5"},
	{54, "VNTM_VK_6", "6"},
	{55, "VNTM_VK_7", "7"},
	{56, "VNTM_VK_8", "8"},
	{57, "VNTM_VK_9", "9"},
	{65, "VNTM_VK_A", "A"},
	{66, "VNTM_VK_B", "B"},
	{67, "VNTM_VK_C", "C"},
	{68, "VNTM_VK_D", "D"},
	{69, "VNTM_VK_E", "E"},
	{70, "VNTM_VK_F", "F"},
	{71, "VNTM_VK_G", "G"},
	{72, "VNTM_VK_H", "H"},
	{73, "VNTM_VK_I", "I"},
	{74, "VNTM_VK_J", "J"},
	{75, "VNTM_VK_K", "K"},
	{76, "VNTM_VK_L", "L"},
	{77, "VNTM_VK_M", "M"},
	{78, "VNTM_VK_N", "N"},
	{79, "VNTM_VK_O", "O"},
	{80, "VNTM_VK_P", "P"},
	{81, "VNTM_VK_Q", "Q"},
	{82, "VNTM_VK_R", "R"},
	{83, "VNTM_VK_S", "S"},
	{84, "VNTM_VK_T", "T"},
	{85, "VNTM_VK_U", "U"},
	{86, "VNTM_VK_V", "V"},
	{87, "VNTM_VK_W", "W"},
	{88, "VNTM_VK_X", "X"},
	{89, "VNTM_VK_Y", "Y"},
	{90, "VNTM_VK_Z", "Z"},
	{96, "VNTM_VK_NUMPAD0", "Numpad-0"},
	{97, "VNTM_VK_NUMPAD1", "Numpad-1"},
	{98, "VNTM_VK_NUMPAD2", "Numpad-2"},
	{99, "VNTM_VK_NUMPAD3", "Numpad-3"},
	{100, "VNTM_VK_NUMPAD4", "Numpad-4"},
	{101, "VNTM_VK_NUMPAD5", "Numpad-5"},
	{102, "VNTM_VK_NUMPAD6", "Numpad-6"},
	{103, "VNTM_VK_NUMPAD7", "Numpad-7"},
	{104, "VNTM_VK_NUMPAD8", "Numpad-8"},
	{105, "VNTM_VK_NUMPAD9", "Numpad-9"},
	{106, "VNTM_VK_MULTIPLY", "Numpad-*"},
	{107, "VNTM_VK_ADD", "Numpad-+"},
	{109, "VNTM_VK_SUBTRACT", "Numpad--"},
	{110, "VNTM_VK_DECIMAL", "Numpad-."},
	{111, "VNTM_VK_DIVIDE", "Numpad-/"},
	{112, "VNTM_VK_F1", "F1"},
	{113, "VNTM_VK_F2", "F2"},
	{114, "VNTM_VK_F3", "F3"},
	{115, "VNTM_VK_F4", "F4"},
	{116, "VNTM_VK_F5", "F5"},
	{117, "VNTM_VK_F6", "F6"},
	{118, "VNTM_VK_F7", "F7"},
	{119, "VNTM_VK_F8", "F8"},
	{120, "VNTM_VK_F9", "F9"},
	{121, "VNTM_VK_F10", "F10"},
	{122, "VNTM_VK_F11", "F11"},
	{123, "VNTM_VK_F12", "F12"},
	{124, "VNTM_VK_F13", "F13"},
	{125, "VNTM_VK_F14", "F14"},
	{126, "VNTM_VK_F15", "F15"},
	{127, "VNTM_VK_F16", "F16"},
	{128, "VNTM_VK_F17", "F17"},
	{129, "VNTM_VK_F18", "F18"},
	{130, "VNTM_VK_F19", "F19"},
	{131, "VNTM_VK_F20", "F20"},
	{132, "VNTM_VK_F21", "F21"},
	{133, "VNTM_VK_F22", "F22"},
	{134, "VNTM_VK_F23", "F23"},
	{135, "VNTM_VK_F24", "F24"},
	{176, "VNTM_VK_EQUAL", "="},
	{177, "VNTM_VK_MINUS", "-"},
	{178, "VNTM_VK_RBRACE", "]"},
	{179, "VNTM_VK_LBRACE", "["},
	{180, "VNTM_VK_QUOTE", "'"},
	{181, "VNTM_VK_SEMICOLON", ";"},
	{182, "VNTM_VK_BACKSLASH", "\\"},
	{183, "VNTM_VK_COMMA", ","},
	{184, "VNTM_VK_SLASH", "/"},
	{185, "VNTM_VK_PERIOD", "."},
	{186, "VNTM_VK_BACKQUOTE", "`"},
	{187, "VNTM_VK_ENTER", "Enter"},
	{188, "VNTM_VK_NUMPAD_ENT", "Numpad-Enter"},
	{189, "VNTM_VK_NUMPAD_EQ", "Numpad-="},
	{0, nullptr, nullptr},
};

const key_translation kKeyTranslations[64] = {
	{18, 49}, {19, 50}, {20, 51}, {21, 52}, {22, 54}, {23, 53}, {25, 57}, {26, 55},
	{28, 56}, {29, 48}, {65, 110}, {67, 106}, {69, 107}, {71, 12}, {75, 111}, {76, 188},
	{78, 109}, {81, 189}, {82, 96}, {83, 97}, {84, 98}, {85, 99}, {86, 100}, {87, 101},
	{88, 102}, {89, 103}, {91, 104}, {92, 105}, {36, 13}, {48, 9}, {49, 32}, {51, 8},
	{53, 27}, {64, 128}, {79, 129}, {80, 130}, {90, 131}, {96, 116}, {97, 117}, {98, 118},
	{99, 114}, {100, 119}, {101, 120}, {103, 122}, {105, 124}, {106, 127}, {107, 125}, {109, 121},
	{111, 123}, {113, 126}, {114, 47}, {115, 36}, {116, 33}, {117, 46}, {118, 115}, {119, 35},
	{120, 113}, {121, 34}, {122, 112}, {123, 37}, {124, 39}, {125, 40}, {126, 38}, {0, 0},
};

// The period is listed twice; the first row decides.
const ascii_mapping kAsciiMappings[50] = {
	{'.', 185}, {' ', 32}, {'a', 65}, {'b', 66}, {'c', 67}, {'d', 68}, {'e', 69}, {'f', 70},
	{'g', 71}, {'h', 72}, {'i', 73}, {'j', 74}, {'k', 75}, {'l', 76}, {'m', 77}, {'n', 78},
	{'o', 79}, {'p', 80}, {'q', 81}, {'r', 82}, {'s', 83}, {'t', 84}, {'u', 85}, {'v', 86},
	{'w', 87}, {'x', 88}, {'y', 89}, {'z', 90}, {'=', 176}, {'-', 177}, {']', 178}, {'[', 179},
	{'\'', 180}, {';', 181}, {'\\', 182}, {',', 183}, {'/', 184}, {'.', 185}, {'`', 186}, {'0', 48},
	{'1', 49}, {'2', 50}, {'3', 51}, {'4', 52}, {'5', 53}, {'6', 54}, {'7', 55}, {'8', 56},
	{'9', 57}, {0, 0},
};

const char_translation kCharTranslations[104] = {
	{13, 13, 0}, {27, 27, 0}, {9, 9, 0}, {8, 8, 0}, {28, 37, 0}, {29, 39, 0},
	{30, 38, 0}, {31, 40, 0}, {' ', 32, 0}, {'0', 48, 0}, {'1', 49, 0}, {'2', 50, 0},
	{'3', 51, 0}, {'4', 52, 0}, {'5', 53, 0}, {'6', 54, 0}, {'7', 55, 0}, {'8', 56, 0},
	{'9', 57, 0}, {'a', 65, 0}, {'b', 66, 0}, {'c', 67, 0}, {'d', 68, 0}, {'e', 69, 0},
	{'f', 70, 0}, {'g', 71, 0}, {'h', 72, 0}, {'i', 73, 0}, {'j', 74, 0}, {'k', 75, 0},
	{'l', 76, 0}, {'m', 77, 0}, {'n', 78, 0}, {'o', 79, 0}, {'p', 80, 0}, {'q', 81, 0},
	{'r', 82, 0}, {'s', 83, 0}, {'t', 84, 0}, {'u', 85, 0}, {'v', 86, 0}, {'w', 87, 0},
	{'x', 88, 0}, {'y', 89, 0}, {'z', 90, 0}, {'A', 65, 1}, {'B', 66, 1}, {'C', 67, 1},
	{'D', 68, 1}, {'E', 69, 1}, {'F', 70, 1}, {'G', 71, 1}, {'H', 72, 1}, {'I', 73, 1},
	{'J', 74, 1}, {'K', 75, 1}, {'L', 76, 1}, {'M', 77, 1}, {'N', 78, 1}, {'O', 79, 1},
	{'P', 80, 1}, {'Q', 81, 1}, {'R', 82, 1}, {'S', 83, 1}, {'T', 84, 1}, {'U', 85, 1},
	{'V', 86, 1}, {'W', 87, 1}, {'X', 88, 1}, {'Y', 89, 1}, {'Z', 90, 1}, {'=', 176, 0},
	{'-', 177, 0}, {']', 178, 0}, {'[', 179, 0}, {'\'', 180, 0}, {';', 181, 0}, {'\\', 182, 0},
	{',', 183, 0}, {'/', 184, 0}, {'.', 185, 0}, {'`', 186, 0}, {'!', 49, 1}, {'@', 50, 1},
	{'#', 51, 1}, {'$', 52, 1}, {'%', 53, 1}, {'^', 54, 1}, {'&', 55, 1}, {'*', 56, 1},
	{'(', 57, 1}, {')', 48, 1}, {'+', 176, 1}, {'_', 177, 1}, {'}', 178, 1}, {'{', 179, 1},
	{'"', 180, 1}, {':', 181, 1}, {'|', 182, 1}, {'<', 183, 1}, {'>', 185, 1}, {'?', 184, 1},
	{'~', 186, 1}, {0, 0, 0},
};

keys_class::keys_class() : last_vkey(0), last_flags(0), max_vkey(0)
{
	bool used[256] = {};
	for (const key_name_row* r = kKeyNameTable; r->code_name; ++r) {
		used[r->vkey] = true;
		if (r->vkey > max_vkey) max_vkey = r->vkey;
	}
	for (int v = 0; v <= max_vkey; ++v)
		if (!used[v]) free_vkeys.push_back(v);
}

void keys_class::handle_key(int vkey, int flags)
{
	if (vkey) execute_key_cmnd(vkey, flags);
}

void keys_class::execute_key_cmnd(int vkey, int flags)
{
	for (key_binding& b : bindings) {
		if (b.vkey != vkey) continue;
		if (b.flags == (flags & 7) && (flags & 8)) {
			cmnd.press_one(b.command);
			b.held = 1;
		}
		// Released whatever the modifiers are now: shift may go up before the key.
		if (b.held && (flags & 16)) {
			cmnd.release_one(b.command);
			b.held = 0;
		}
	}
}

void keys_class::run_repeat_keys()
{
	for (const key_binding& b : bindings)
		if (b.held) cmnd.press_always(b.command);
}

int keys_class::key_bound_to(int vkey, int flags)
{
	for (const key_binding& b : bindings)
		if (b.vkey == vkey && b.flags == flags) return b.command;
	return 0;
}

std::string keys_class::get_key_for_cmnd(int c)
{
	for (const key_binding& b : bindings) {
		if (b.command != c) continue;
		std::string name = vkey_to_str(b.vkey);
		if (!name.empty() && name[0] >= 'A' && name[0] <= 'Z') name[0] = (char)(name[0] - 'A' + 'a');
		if (b.flags & 7) return flag_to_str(b.flags) + "-" + name;
		return name;
	}
	return std::string();
}

std::string keys_class::vkey_to_str(int vkey)
{
	for (const key_name_row* r = kKeyNameTable; r->display_name; ++r)
		if (r->vkey == vkey) return r->display_name;
	char buf[32];
	std::snprintf(buf, sizeof(buf), "KEY%d", vkey);
	return buf;
}

std::string keys_class::vkey_to_code(int vkey)
{
	for (const key_name_row* r = kKeyNameTable; r->code_name; ++r)
		if (r->vkey == vkey) return r->code_name;
	return std::to_string(vkey);
}

int keys_class::str_to_vkey(const std::string& s)
{
	for (const key_name_row* r = kKeyNameTable; r->display_name; ++r)
		if (strcasecmp(r->display_name, s.c_str()) == 0 && std::strlen(r->display_name) == s.size()) return r->vkey;
	if (s.size() > 3 && s.compare(0, 3, "KEY") == 0) {
		// Digits only, few enough to fit an int.
		const std::string rest = s.substr(3);
		if (rest.size() > 9) return 0;
		int n = 0;
		for (char c : rest) {
			if (c < '0' || c > '9') return 0;
			n = n * 10 + (c - '0');
		}
		return n;
	}
	return 0;
}

namespace {
std::string join_flags(int flags, const char* const names[3], const char* none)
{
	std::string out;
	for (int bit = 0; bit < 3; ++bit) {
		if (!(flags & (1 << bit))) continue;
		if (!out.empty()) out += '+';
		out += names[bit];
	}
	return out.empty() ? none : out;
}
}  // namespace

std::string keys_class::flag_to_str(int flags)
{
	static const char* const names[3] = {"SHIFT", "ALT", "CTRL"};
	return join_flags(flags, names, "<none>");
}

std::string keys_class::flag_to_code(int flags)
{
	static const char* const names[3] = {"vntm_ShiftFlag", "vntm_OptionAltFlag", "vntm_ControlFlag"};
	return join_flags(flags, names, "0");
}

int keys_class::str_to_flag(const std::string& s)
{
	int f = 0;
	if (s.find("SHIFT") != std::string::npos) f |= 1;
	if (s.find("ALT") != std::string::npos) f |= 2;
	if (s.find("CTRL") != std::string::npos) f |= 4;
	return f;
}

int keys_class::ascii_to_vkey(int ch, int& vkey, int& flags)
{
	for (const char_translation* r = kCharTranslations; r->ch; ++r)
		if (r->ch == ch) {
			vkey = r->vkey;
			flags = r->shift ? 1 : 0;
			return 1;
		}
	vkey = 0;
	flags = 0;
	return 0;
}

void keys_class::keys_io(int write)
{
	if (write) return;
	bindings.clear();
	bindings.push_back({0, 0, cmnd.get_cmnd_by_name("sim/-none-/-none-"), 0});
}

void keys_class::debug() {}

int script_to_utf32(int byte)
{
	return byte >= 0 && byte < 128 ? byte : 0;
}
