#pragma once
// Keyboard translation: platform key events become (code point, virtual key,
// modifier flags), reach the focused widget or the per-frame flags, and press
// the commands bound to keys. Virtual keys use the Windows VK numbering with
// 176-189 for punctuation and the Enter keys. Flags: 1 shift, 2 alt, 4 ctrl,
// 8 key down, 16 key up, neither for an auto-repeat.
#include <string>
#include <vector>

#include "Platform/plat_shell.h"

struct key_name_row {
	int vkey;
	const char* code_name;
	const char* display_name;
};
struct key_translation {
	int key_code;  // platform key code
	int vkey;
};
struct ascii_mapping {
	unsigned char ch;
	unsigned char vkey;
};
struct char_translation {
	unsigned char ch;
	unsigned char vkey;
	unsigned char shift;
};

extern const key_name_row kKeyNameTable[111];       // ends with a row of null names
extern const key_translation kKeyTranslations[64];  // ends with vkey 0
extern const ascii_mapping kAsciiMappings[50];      // ends with character 0
extern const char_translation kCharTranslations[104];  // ends with character 0

struct key_binding {
	int vkey;
	int flags;    // modifiers 0-7
	int command;  // index into cmnd
	int held;     // 1 while the bound key is down
};

class keys_class {
public:
	keys_class();

	int last_vkey;   // of the last event no widget took
	int last_flags;  // its modifiers, key-down and key-up bits removed
	std::vector<key_binding> bindings;
	std::vector<int> free_vkeys;  // numbers up to max_vkey the name table leaves free
	int max_vkey;

	void handle_key_raw(EventRecord* event);
	void handle_key(int vkey, int flags);
	void execute_key_cmnd(int vkey, int flags);
	void run_repeat_keys();
	int key_bound_to(int vkey, int flags);
	std::string get_key_for_cmnd(int cmnd);
	std::string vkey_to_str(int vkey);
	std::string vkey_to_code(int vkey);
	int str_to_vkey(const std::string& s);
	std::string flag_to_str(int flags);
	std::string flag_to_code(int flags);
	int str_to_flag(const std::string& s);
	int ascii_to_vkey(int ch, int& vkey, int& flags);
	void keys_io(int write);
	void debug();
	void keys_wind(int flag);
};

extern keys_class keys;

// One byte of the system encoding (UTF-8) as a code point: below 128 itself, else 0.
int script_to_utf32(int byte);

// Where Return closes an open sub-window: the shell's MACIBM_handleclick
// unless a test points it elsewhere; null does nothing.
extern void (*MACIBM_handleclick_target)(int force);
