// The path of one platform key event, from the record to the focused widget,
// the per-frame flags and the key bindings.
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"

namespace {
// The last key-down, so its key-up reports the same character.
int down_cp = 0, down_vkey = 0, down_flags = 0;

int translate_vkey(keys_class& k, int key_code, int unshifted, int shifted)
{
	for (const key_translation* t = kKeyTranslations; t->vkey; ++t)
		if (t->key_code == key_code) return t->vkey;
	for (const ascii_mapping* a = kAsciiMappings; a->ch; ++a)
		if (unshifted == a->ch || shifted == a->ch) return a->vkey;
	const int nfree = (int)k.free_vkeys.size();
	if (key_code < nfree) return k.free_vkeys[key_code];
	return key_code - nfree + k.max_vkey + 1;
}

int fixed_code_point(int vkey, int typed)
{
	switch (vkey) {
	case 8: return 8;
	case 9: return 9;
	case 13: return 13;
	case 27: return 27;
	case 37: return 28;
	case 39: return 29;
	case 38: return 30;
	case 40: return 31;
	case 110: return '.';
	default: break;
	}
	if (vkey >= 96 && vkey <= 105) return '0' + vkey - 96;
	return typed;
}
}  // namespace

void keys_class::handle_key_raw(EventRecord* ev)
{
	const bool down = ev && ev->what == plat_evt_key_down, up = ev && ev->what == plat_evt_key_up;
	if (!ev || (!down && !up && ev->what != plat_evt_auto_key)) return;

	// 1. Codes and modifiers.
	const int key_code = (int)((ev->message >> 8) & 0xFF);
	const int char_code = (int)(ev->message & 0xFF);
	int flags = 0;
	if (ev->modifiers & plat_mod_shift) flags |= 1;
	if (ev->modifiers & plat_mod_option) flags |= 2;
	if (ev->modifiers & plat_mod_control) flags |= 4;
	if (down) flags |= 8;
	if (up) flags |= 16;

	// 2. Characters: the shell read them from the keyboard layout (composed
	// characters included); without display characters the event's own byte.
	const int typed = ev->code_point;
	int unshifted = ev->unshifted, shifted = ev->shifted;
	if (!unshifted && !shifted) unshifted = shifted = char_code;

	// 3-4. Virtual key and the fixed code points of control keys.
	const int vkey = translate_vkey(*this, key_code, unshifted, shifted);
	int cp = fixed_code_point(vkey, typed);

	// 5. A key-up reports the character of its key-down unless the modifiers changed.
	const int mods = flags & ~(8 | 16);
	if (down) {
		down_cp = cp;
		down_vkey = vkey;
		down_flags = mods;
	} else if (up && vkey == down_vkey && mods == down_flags) {
		cp = down_cp;
	}

	// 6-7.
	if (flags == 0 && vkey == 0 && cp == 0) return;
	if (BTN_dispatch_to_focus(cp, vkey, flags) == 1) return;

	// 8. Keys no widget took.
	if (!up) {
		if (vkey == 13 || vkey == 187) return_hit = 1;
		if (vkey == 27) escape_hit = 1;
		if (vkey == 8 || vkey == 46) delete_hit = 1;
		if (mnw.wind_type > 0 && return_hit) {
			if (MACIBM_handleclick_target) MACIBM_handleclick_target(1);
			return;
		}
		if (cp > 0 && (cp & 127)) mnw.key_last = cp & 127;
	}

	// 9-10.
	last_vkey = vkey;
	last_flags = mods;
	if (mnw.wind_type == 999) return;
	handle_key(vkey, flags);
}
