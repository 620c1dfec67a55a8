// The keyboard focus ring, the key queues of the focusable widgets, the label
// syntax and the hover help.
#include <algorithm>
#include <cstdlib>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn.h"

std::vector<focus_info_t> focus_ring;
int wind_focus = 0;

int BTN_focus_id_at(float x, float y) { return (int)y + (int)x * 8192; }

void BTN_begin_focus_ring()
{
	focus_ring.clear();  // keeps its capacity
	wind_focus = 0;
}

namespace {
// Packs the entries of one queue whose id is `keep` to the front; every
// other entry goes. Used when the focus moves, so keys typed for a widget
// that no longer has the focus never pile up.
void keep_only(int* chars, int* vkeys, int* flags, int* ids, int* count, int keep)
{
	int n = 0;
	for (int i = 0; i < *count; ++i) {
		if (ids[i] == 0 || ids[i] != keep) continue;
		chars[n] = chars[i];
		vkeys[n] = vkeys[i];
		flags[n] = flags[i];
		ids[n] = ids[i];
		++n;
	}
	for (int i = n; i < *count; ++i) chars[i] = vkeys[i] = flags[i] = ids[i] = 0;
	*count = n;
}

void focus_changed_to(int id)
{
	for (const focus_info_t& f : focus_ring)
		if (f.count) keep_only(f.chars, f.vkeys, f.flags, f.ids, f.count, id);
}

void set_focus(int id)
{
	if (id == focus_id) return;
	focus_id = id;
	focus_changed_to(id);
}
}  // namespace

int BTN_register_focus(int id, int* chars, int* vkeys, int* flags, int* ids, int* count, int queue_size,
                       int accept_mask, int want_focus)
{
	focus_ring.push_back(focus_info_t{id, chars, vkeys, flags, ids, count, queue_size, accept_mask});
	if (want_focus) set_focus(id);
	return focus_id == id ? 1 : 0;
}

int BTN_register_queue(BTN_key_queue& q, int id, int accept_mask, int want_focus)
{
	return BTN_register_focus(id, q.chars, q.vkeys, q.flags, q.ids, &q.count, BTN_queue_size, accept_mask,
	                          want_focus);
}

void BTN_consume_queue(BTN_key_queue& q, int id, const std::function<void(int, int, int)>& handle)
{
	int n = 0;
	const int count = std::min(std::max(q.count, 0), (int)BTN_queue_size);
	for (int i = 0; i < count; ++i) {
		if (q.ids[i] == id && id != 0) {
			if ((q.chars[i] != 0 || q.vkeys[i] != 0) && !(q.flags[i] & 16)) handle(q.chars[i], q.vkeys[i], q.flags[i]);
			continue;  // handled or not, this widget's entry is used up
		}
		if (q.ids[i] == 0) continue;
		q.chars[n] = q.chars[i];
		q.vkeys[n] = q.vkeys[i];
		q.flags[n] = q.flags[i];
		q.ids[n] = q.ids[i];
		++n;
	}
	for (int i = n; i < count; ++i) q.chars[i] = q.vkeys[i] = q.flags[i] = q.ids[i] = 0;
	q.count = n;
}

namespace {
// The accept-mask bit a key needs.
int key_class(int ch, int vkey)
{
	if (vkey == 27) return 0x008;
	if (vkey == 9) return 0x001;
	if (vkey == 13 || vkey == 187) return 0x002;
	if (vkey == 8 || vkey == 46) return 0x004;
	if (vkey >= 33 && vkey <= 40) return 0x010;
	if (ch == '+' || ch == '-') return 0x080;
	if (ch >= '0' && ch <= '9') return 0x040;
	if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) return 0x020;
	if ((ch >= 32 && ch < 127) || ch >= 128) return 0x100;
	return 0x200;
}

int tab_from_nothing(int vkey, int flags)
{
	if (vkey == 9 && !(flags & 16) && !focus_ring.empty()) {
		set_focus(focus_ring.front().id);
		return 1;
	}
	return 0;
}
}  // namespace

int BTN_dispatch_to_focus(int ch, int vkey, int flags)
{
	if (mnw.wind_type == 994) return 0;  // alerts take no keys through the ring
	if (focus_id == 0) return tab_from_nothing(vkey, flags);
	int at = -1;
	for (size_t i = 0; i < focus_ring.size(); ++i)
		if (focus_ring[i].id == focus_id) {
			at = (int)i;
			break;
		}
	if (at < 0) {  // the focused widget was not drawn last frame
		set_focus(0);
		return tab_from_nothing(vkey, flags);
	}
	const focus_info_t& f = focus_ring[at];
	if (vkey == 9 && !(f.accept_mask & 0x001)) {
		if (flags & 16) return 0;
		const int n = (int)focus_ring.size();
		const int next = (flags & 1) ? (at + n - 1) % n : (at + 1) % n;
		set_focus(focus_ring[next].id);
		return 1;
	}
	if (!(f.accept_mask & key_class(ch, vkey))) return 0;
	if (!f.count || *f.count < 0 || *f.count >= f.queue_size) return 0;  // a full queue refuses the key
	const int i = *f.count;
	f.chars[i] = ch;
	f.vkeys[i] = vkey;
	f.flags[i] = flags;
	f.ids[i] = focus_id;
	*f.count = i + 1;
	return 1;
}

void BTN_focus_any() { set_focus(focus_ring.empty() ? 0 : focus_ring.front().id); }

void BTN_window_has_focus() { wind_focus = 1; }

int BTN_no_focus_yet() { return wind_focus == 0 && focus_id == 0 ? 1 : 0; }

void BTN_expand_label(const std::string& label, std::string& left, std::string& right, std::string& help)
{
	const size_t bar = label.rfind('|');
	const size_t brace = label.rfind('{');
	left.clear();
	right.clear();
	help.clear();
	if (bar != std::string::npos) {
		left = label.substr(0, bar);
		// A brace before the bar is text of the left part: the right part
		// then runs to the end.
		right = brace != std::string::npos && brace > bar ? label.substr(bar + 1, brace - bar - 1)
		                                                   : label.substr(bar + 1);
	} else {
		left = brace == std::string::npos ? label : label.substr(0, brace);
	}
	// The help always starts two characters after the last brace, wherever
	// the bar is.
	if (brace != std::string::npos && brace + 2 <= label.size()) help = label.substr(brace + 2);
}

std::vector<BTN_label_line> BTN_label_lines(float y, int align, const std::string& text)
{
	std::vector<BTN_label_line> lines;
	if (text.empty()) return lines;
	if (text[0] == '-') {
		lines.push_back({text.substr(1), y});
		return lines;
	}
	const int len = (int)text.size();
	if (align != 1 && len > 12) {
		const int mid = len / 2;
		int best = 0;
		for (int i = 0; i < len; ++i) {
			const char c = text[i];
			if ((c == ' ' || c == '-' || c == '/') && std::abs(i - mid) < std::abs(best - mid)) best = i;
		}
		if (best > 0 && best < len - 1) {
			// One line step of the font apart.
			const float half = OGL_line_step(0) * 0.5f;
			lines.push_back({text.substr(0, best), y + half});
			lines.push_back({text.substr(best + 1), y - half});
			return lines;
		}
	}
	lines.push_back({text, y});
	return lines;
}

void BTN_set_help(const std::string& help) { stls[stls_entry_help] = help; }
