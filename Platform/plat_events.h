#pragma once
// The platform key event the keyboard layer reads. The shell fills one from
// each SDL key event (and the text typed with it); tests build them directly.

enum { keyDown = 3, keyUp = 4, autoKey = 5 };

// Modifier bits of EventRecord::modifiers. The command key is never reported.
enum { cmdKey = 0x100, shiftKey = 0x200, alphaLock = 0x400, optionKey = 0x800, controlKey = 0x1000 };

struct EventRecord {
	unsigned short what;      // keyDown, keyUp or autoKey
	unsigned long message;    // bits 0-7 character, bits 8-15 platform key code
	unsigned long when;
	int where_h, where_v;
	unsigned short modifiers;
	// What the keyboard layout gives for this key; layout 0 when none was read.
	int layout;
	int typed;      // code point typed, composed characters included; 0 none
	int unshifted;  // display character without modifiers
	int shifted;    // display character with shift
};
