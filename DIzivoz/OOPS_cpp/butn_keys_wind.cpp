// The key-assignment screen: the binding list, the key a row takes, and the
// command a row is bound to, chosen by group.
#include <algorithm>
#include <string>
#include <vector>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/butn_values.h"

namespace {
int list_scroll = 0;
int selected_row = -1;

// Each folder of a path listing once, in registry order.
std::vector<std::string> entries_in(const std::string& prefix)
{
	std::vector<std::string> all, out;
	cmnd.get_cmds_in_path(prefix, all);
	for (const std::string& e : all)
		if (std::find(out.begin(), out.end(), e) == out.end()) out.push_back(e);
	return out;
}

std::string up_to_last_slash(const std::string& s)
{
	const size_t p = s.find_last_of('/');
	return p == std::string::npos ? std::string() : s.substr(0, p + 1);
}
}  // namespace

void keys_class::keys_wind(int flag)
{
	float list_next_x, ny, col_next_x = 0, col_y = 0, nx, unused;
	BTN_subwin(34, 16, -1, -1, 345, -1, "", &list_next_x, &ny);
	const float cx = list_next_x + 20;  // 30 units right of the list panel
	BTN_subwin(34, 13, cx, -1, 184, 170, "", &col_next_x, &col_y);
	BTN_subwin(34, 15, cx, col_y, 184, 100, "", &col_next_x, &col_y);
	BTN_subwin(34, 13, cx, col_y, 184, -1, "", &col_next_x, &col_y);
	BTN_subwin(34, 13, col_next_x, -1, -1, -1, "", &nx, &unused);

	OGL_string(43, cx + 92, 160,
	           "Select the key you'd like to program from the list on the left of this screen and hit any key you "
	           "like! Then select the group above and the item at right to assign some funtion to that keypress!",
	           164, 0, 1);

	if (BTN_action(cx + 92, 30, 0, 0, 0, "Add New Key Assignment", "")) {
		bindings.push_back({0, 0, cmnd.get_cmnd_by_name("sim/operation/none"), 0});
		if (bindings.size() > 34) list_scroll = (int)bindings.size() - 34;
	}

	const int n = (int)bindings.size();
	BTN_vert_slider(0, 20, 30, 690, 0, std::max(0, n - 34), &list_scroll);
	list_scroll = std::clamp(list_scroll, 0, std::max(0, n - 34));
	if (selected_row >= n) selected_row = -1;

	for (int r = 0; r < 34; ++r) {
		const int i = list_scroll + r;
		if (i >= n) break;
		const key_binding& b = bindings[i];
		const float y = 689 - 20.0f * r;
		std::string text = "-";
		const std::string mods = flag_to_str(b.flags);
		if (mods != "<none>") text += mods + " ";
		text += vkey_to_str(b.vkey);
		if (BTN_action(78, y, 120, selected_row == i, 0, text, "")) selected_row = selected_row == i ? -1 : i;
		if (b.command >= 0 && b.command < cmnd.count()) {
			const std::string& name = cmnd.name[b.command];
			OGL_string(45, 140, y - 4, name.size() > 4 ? name.substr(4) : std::string(), 9999, 0, 0);
		}
	}

	if (selected_row >= 0 && mnw.key_hit) {
		key_binding& sel = bindings[selected_row];
		sel.vkey = last_vkey;
		sel.flags = last_flags;
		for (int i = 0; i < n; ++i)
			if (i != selected_row && bindings[i].vkey == sel.vkey && bindings[i].flags == sel.flags)
				bindings[i].vkey = bindings[i].flags = 0;
	}

	if (flag != 0 || selected_row < 0) return;
	key_binding& sel = bindings[selected_row];
	if (sel.command < 0 || sel.command >= cmnd.count()) return;
	const std::string name = cmnd.name[sel.command];
	OGL_string(47, cx + 5, 270, name, 174, 0, 0);
	OGL_string(47, cx + 5, 240, cmnd.description[sel.command], 174, 0, 0);

	const std::string group = up_to_last_slash(name);
	const std::string parent = up_to_last_slash(group.empty() ? group : group.substr(0, group.size() - 1));
	const float x1 = col_next_x + 10;
	float y = 685;
	for (const std::string& e : entries_in(parent)) {
		int on = parent + e == group;
		if (BTN_bool(x1, y, &on, "|" + e, 1) && parent + e != group) {
			// A newly picked group binds its first command.
			const std::vector<std::string> first = entries_in(parent + e);
			if (!first.empty()) sel.command = cmnd.get_cmnd_by_name(parent + e + first[0]);
			return;
		}
		y -= 15;
	}
	float x2 = x1 + 148;
	y = 685;
	for (const std::string& e : entries_in(group)) {
		int on = group + e == name;
		if (BTN_bool(x2, y, &on, "|" + e, 1)) sel.command = cmnd.get_cmnd_by_name(group + e);
		y -= 15;
		if (y < 20) {
			y = 685;
			x2 += 148;
		}
	}
}
