#include "DIzivoz/OOPS_cpp/butn_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/OOPS_cpp/butn_values.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/UTL/UTL_xtim.h"

std::string type_ahead;
float last_type_ahead = 0;
int current_list_id = 0;

namespace {

int level = 0;
BTN_key_queue list_keys;

void butn_fatal(const std::string& text, int line)
{
	__MACIBM_alert(0, text, "", "", "", alert_fatal, "DIzivoz/OOPS_cpp/butn", line);
}

bool valid_window(int t) { return t == 998 || t == 999; }
bool valid_type(int t) { return t >= 0 && t <= 21; }

std::string lower(std::string s)
{
	for (char& c : s) c = (char)std::tolower((unsigned char)c);
	return s;
}

}  // namespace

std::string BTN_opensave_start_folder(int file_type)
{
	switch (file_type) {
	case 9: return "Output/situations/";
	case 10: return "Output/movies/";
	case 11: return "Output/FMS plans/";
	// The two sibling programs keep their files in folders of their own.
	case 13: return "Tools/Terrain Editor/";
	case 14: return "Tools/Terrain Editor/cars/";
	case 15: return "Tools/Scenery Planner/";
	case 16: return "Tools/Scenery Planner/regions/";
	case 20: case 21: return "sim/";
	default: return "";
	}
}

std::string BTN_opensave_extension(int file_type)
{
	switch (file_type) {
	case 2: return ".BMP";
	case 3: return ".ACF";
	case 4: return ".AFL";
	case 5: return ".WPN";
	case 6: return ".WAV";
	case 7: return ".OBJ";
	case 9: return ".SIT";
	case 10: return ".SMO";
	case 11: return ".FMS";
	case 13: return ".TRA";
	case 14: return ".CAR";
	case 15: return ".SPA";
	case 16: return ".REG";
	case 18: return ".HGT";
	case 19: return ".TXT";
	default: return "";
	}
}

std::string BTN_last_component(const std::string& path)
{
	if (path.size() < 2) return path;
	size_t cut = path.find_last_of('/', path.size() - 2);
	return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string BTN_opensave_folder_of(int file_type, const std::string& path)
{
	if (path.empty()) return BTN_opensave_start_folder(file_type);
	if (path.find('/') == std::string::npos) return "";
	return path.substr(0, path.size() - BTN_last_component(path).size());
}

std::string BTN_save_name(int file_type, const std::string& typed)
{
	std::string name = typed;
	if (name.size() > 4 && name[name.size() - 4] == '.') name.resize(name.size() - 4);
	return name + BTN_opensave_extension(file_type);
}

void BTN_folder_levels(const std::string& folder, std::vector<std::string>* names, std::vector<std::string>* paths)
{
	names->assign(1, "Skyframe folder");
	paths->assign(1, "");
	size_t start = 0;
	while (start < folder.size() && names->size() < 300) {
		size_t slash = folder.find('/', start);
		if (slash == std::string::npos) slash = folder.size();
		std::string part = folder.substr(start, slash - start);
		// The menu splits its entries at '-' and refuses '|'.
		for (char& c : part)
			if (c == '-' || c == '|') c = ' ';
		names->push_back(part);
		paths->push_back(folder.substr(0, std::min(slash + 1, folder.size())));
		start = slash + 1;
	}
}

std::string BTN_cut_utf8(const std::string& s, int max_bytes)
{
	if (max_bytes < 0) max_bytes = 0;
	if ((int)s.size() <= max_bytes) return s;
	size_t n = (size_t)max_bytes;
	while (n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80) --n;
	return s.substr(0, n);
}

int BTN_list_and_search(int slider_id, float x, float y, float w, float h, int* centre, int* selected, int first,
                        int last, std::string* name_field, const std::string& label,
                        std::string (*name_cb)(int, void*), void* name_data,
                        std::string (*second_cb)(int, void*), void* second_data, int (*type_cb)(int, void*),
                        void* type_data)
{
	x = std::round(x);
	y = std::round(y);
	if (w <= 0) w = io_dx > 0 ? io_dx : 290;
	if (h <= 0) h = io_dy > 0 ? io_dy : 220;
	const float bottom = y - h / 2, top = y + h / 2;
	const int r = (int)(h / 20) - 1;
	const bool have = last >= first;
	auto clamp_sel = [&]() {
		if (!have) return;
		*centre = std::clamp(*centre, first, last);
		*selected = std::clamp(*selected, first, last);
	};
	auto into_view = [&]() {
		if (*selected > *centre + r) *centre = *selected - r;
		if (*selected < *centre - r) *centre = *selected + r;
	};
	const int id = (int)y + (int)x * 8192;
	const bool inside = mnw.mouse_x >= x && mnw.mouse_x <= x + w && mnw.mouse_y >= bottom && mnw.mouse_y <= top;
	const bool clicked = mnw.menu_open < 0 && mnw.mouse_click && inside;
	const int had = focus_id == id;
	BTN_register_queue(list_keys, id, 496, clicked);
	if (focus_id == id && !had && current_list_id != id) {
		type_ahead.clear();
		current_list_id = id;
	}
	BTN_consume_queue(list_keys, id, [&](int ch, int vkey, int) {
		if (!have) return;
		if (vkey == 40) {
			*selected = std::min(*selected + 1, last);
			into_view();
		} else if (vkey == 38) {
			*selected = std::max(*selected - 1, first);
			into_view();
		} else if (ch >= 32 && ch < 127) {
			if (xtim.elapsed - last_type_ahead > 1.0f) type_ahead.assign(1, (char)ch);
			else type_ahead += (char)ch;
			last_type_ahead = xtim.elapsed;
			const std::string want = lower(type_ahead);
			for (int i = first; i <= last; ++i)
				if (lower(name_cb(i, name_data)).compare(0, want.size(), want) == 0) {
					*selected = i;
					into_view();
					break;
				}
		}
	});
	if (name_field) BTN_enterstring(x + 35, y - 131, name_field, 36, label, 252, 1);

	int result = 0;
	if (have) {
		{
			// The frame is the list's own border, not a panel holding boxes:
			// the list is recorded as one box below.
			const int recording = g_layout_record;
			g_layout_record = 0;
			BTN_frame2(16, x, bottom, w, h, "");
			g_layout_record = recording;
		}
		if (last > first) BTN_vert_slider(slider_id, x + w + 16, bottom, top, first, last, centre);
		if (inside && mnw.wheel_delta) {
			*centre += mnw.wheel_delta;
			mnw.wheel_delta = 0;
		}
		clamp_sel();
		if (inside && mnw.mouse_click) {
			*selected = *centre - (int)std::lround((mnw.mouse_y - y) / 10);
			if (mnw.mouse_double) result = 1;
		}
		clamp_sel();
		// The list is one box; its rows, 10 units apart and clipped by nothing
		// but the list, are its content.
		BTN_layout_add(layout_field, x, bottom, x + w, top, label);
		const int recording = g_layout_record;
		g_layout_record = 0;
		for (int i = -r; i <= r; ++i) {
			const int item = *centre + i;
			if (item < first || item > last) continue;
			const float row = y - 10 * i;
			if (item == *selected) OGL_fillrect(12, 0.25f, x + 18, row - 5, w - 22, 10);
			OGL_string(45, x + 20, row - 3, name_cb(item, name_data), 9999, charset_regular, 0);
			if (second_cb) OGL_string(45, x + 242, row - 3, second_cb(item, second_data), 9999, charset_regular, 0);
			int u = -1;
			switch (type_cb ? type_cb(item, type_data) : 0) {
			case 1: u = 17; break;
			case 3: u = 24; break;
			case 4: u = 31; break;
			case 5: u = 45; break;
			case 7: u = 73; break;
			case 9: u = 52; break;
			case 10: u = 59; break;
			case 11: u = 66; break;
			}
			if (u >= 0)
				OGL_2dquad(392, 0, 1.0f, x + 4, row - 6, u / 256.0f, 41 / 256.0f, x + 4, row + 6, u / 256.0f,
				           47 / 256.0f, x + 16, row + 6, (u + 6) / 256.0f, 47 / 256.0f, x + 16, row - 6,
				           (u + 6) / 256.0f, 41 / 256.0f, 1, 5);
		}
		g_layout_record = recording;
		if (focus_id == id) OGL_framerect(45, 1, x, bottom, w, h);
	}
	return result;
}

int BTN_opensave(int window_type, int file_type, std::string* path)
{
	if (!valid_window(window_type)) {
		butn_fatal("Bad open_save arg to BTN_opensave!", 1608);
		return 0;
	}
	if (!valid_type(file_type)) {
		butn_fatal("Bad file_type arg to BTN_opensave!", 1609);
		return 0;
	}
	const int was = mnw.wind_type;
	std::string folder = BTN_opensave_folder_of(file_type, *path);
	std::string typed;
	std::vector<std::string> names;
	std::vector<int> types;
	auto relist = [&]() {
		names.clear();
		types.clear();
		opensave_getitems(folder, file_type, names, types);
	};
	relist();
	int sel = (int)names.size() / 2, centre = sel;
	const bool save = window_type == 999;
	REPORT_open_window(window_type);
	auto leave = [&](int r) {
		REPORT_open_window(was);
		return r;
	};
	while (mnw.wind_type == window_type) {
		relist();
		const int n = (int)names.size();
		if (n > 0) {
			sel = std::clamp(sel, 0, n - 1);
			centre = std::clamp(centre, 0, n - 1);
		} else {
			sel = centre = 0;
		}
		stand_io_dialog(window_type, file_type, n ? folder + names[sel] : std::string("-"));
		const int dbl = BTN_list_and_search(0, 10, 180, 0, 0, &centre, &sel, 0, n - 1, save ? &typed : nullptr,
		                                    "File:", BTN_name_from_vector, &names, nullptr, nullptr,
		                                    BTN_type_from_vector, &types);
		std::vector<std::string> lnames, lpaths;
		BTN_folder_levels(folder, &lnames, &lpaths);
		std::string menu;
		for (size_t i = 0; i < lnames.size(); ++i) {
			if (i) menu += '-';
			menu += lnames[i];
			if (i) OGL_string(47, 30 + 10 * (float)(i - 1), 405 - 10 * (float)(i - 1), lnames[i], 9999, charset_regular, 0);
		}
		level = (int)lnames.size() - 1;
		const int picked_level = level;
		const int menu_hit = BTN_textlist(150, 434, &level, menu, "");
		const int go = save ? BTN_action(282, 18, 0, 0, 0, "Save", "") : BTN_action(280, 18, 0, 0, 0, "Open", "");
		const int cancel = BTN_action(33, 18, 0, 0, 0, stls[stls_entry_cancel], "");
		if (cancel || escape_hit) return leave(0);
		if (menu_hit && level != picked_level && level >= 0 && level < (int)lpaths.size()) {
			folder = lpaths[level];
			relist();
			sel = centre = (int)names.size() / 2;
		} else if (save && (go || return_hit) && !typed.empty()) {
			*path = folder + BTN_save_name(file_type, typed);
			return leave(1);
		} else if ((dbl || (!save && (return_hit || go))) && n > 0) {
			if (types[sel] == 1) {
				folder += names[sel] + "/";
				relist();
				sel = (int)names.size() / 2;
			} else if (!save) {
				*path = folder + names[sel];
				return leave(1);
			}
		} else if (delete_hit && !folder.empty()) {
			folder.pop_back();
			size_t cut = folder.find_last_of('/');
			folder = cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
			relist();
			sel = (int)names.size() / 2;
		}
		REPORT_run_frame();
	}
	return 0;
}

namespace {

int select_path(float x, float y, int window_type, int file_type, std::string* path, int max_len,
                const std::string& label, float w, int auto_focus, const char* who, int line)
{
	if (!valid_window(window_type)) {
		butn_fatal(std::string("Bad open_save arg to ") + who + "!", line);
		return 0;
	}
	if (!valid_type(file_type)) {
		butn_fatal(std::string("Bad file_type arg to ") + who + "!", line + 1);
		return 0;
	}
	std::string left, right, help;
	BTN_expand_label(label, left, right, help);
	BTN_util_draw_label(x - 32, y, 0, left, 0);
	BTN_util_draw_label(x + w + 6, y, 2, right, 0);
	OGL_2dquad(392, 0, 1.0f, x - 30, y - 10, 0.40625f, 133 / 512.0f, x - 30, y + 16, 0.40625f, 159 / 512.0f, x - 4,
	           y + 16, 0.45703125f, 159 / 512.0f, x - 4, y - 10, 0.45703125f, 133 / 512.0f, 1, 5);
	const bool whole = file_type == 20 || file_type == 21;
	std::string shown = whole ? *path : BTN_last_component(*path);
	const std::string before = shown;
	BTN_enterstring(x, y, &shown, max_len, "", w, auto_focus);
	if (shown != before) {
		// Only the shown last component was edited: the folder part stays.
		*path = whole ? shown : path->substr(0, path->size() - before.size()) + shown;
	}
	const bool over = mnw.mouse_x >= x - 28 && mnw.mouse_x <= x - 6 && mnw.mouse_y >= y - 8 && mnw.mouse_y <= y + 12;
	if (over) {
		if (!help.empty()) BTN_set_help(help);
		if (mnw.mouse_click) {
			BTN_opensave(window_type, file_type, path);
			return 1;
		}
	}
	return 0;
}

void too_long_check(const std::string& s)
{
	if (s.size() >= 500) __MACIBM_alert(0, "String too long!", "", "", "", alert_fatal, "DIzivoz/GenH/hl_string", 137);
}

}  // namespace

int BTN_select_path_stl(float x, float y, int window_type, int file_type, std::string* path, int max_len,
                        std::string label, float w, int auto_focus)
{
	return select_path(x, y, window_type, file_type, path, max_len, label, w, auto_focus, "BTN_select_file_stl", 668);
}

int BTN_select_path_chr(float x, float y, int window_type, int file_type, char* path, int max_len,
                        std::string label, float w, int auto_focus)
{
	std::string s = path;
	int r = select_path(x, y, window_type, file_type, &s, max_len, label, w, auto_focus, "BTN_select_file_chr", 700);
	if ((int)s.size() >= max_len) s = BTN_cut_utf8(s, max_len - 1);
	too_long_check(s);
	if (s.size() >= 500) return r;
	std::memcpy(path, s.c_str(), s.size() + 1);
	return r;
}

int BTN_select_file_chr(float x, float y, int window_type, int file_type, char* name, std::string* path,
                        int max_len, std::string label, float w)
{
	std::string full = path->substr(0, path->size() - BTN_last_component(*path).size()) + name;
	int r = select_path(x, y, window_type, file_type, &full, max_len, label, w, 1, "BTN_select_file_chr", 715);
	// Typed text is kept as well as a dialog choice.
	std::string leaf = BTN_cut_utf8(BTN_last_component(full), max_len - 1);
	too_long_check(leaf);
	if (leaf.size() >= 500) return r;
	*path = full;
	std::memcpy(name, leaf.c_str(), leaf.size() + 1);
	return r;
}

int enter_lat_lon(float* x, float* y, float* lon, float* lat)
{
	int changed = 0;
	auto one = [&](float* v, float dx, int digits, const char* label) {
		float d = std::trunc(*v);
		float minutes = d != 0 ? std::fabs(*v - d) * 60 : *v * 60;
		const float lo = d != 0 ? 0 : -60;
		// Only an edit rebuilds the value: the fields' own rounding of an
		// untouched value must not drift it.
		int edited = BTN_flt(*x + dx, *y, &d, digits, 0, 1, label);
		edited |= BTN_flt_range(*x + 50, *y, &minutes, 5, 3, lo, 60, "");
		if (edited) {
			const float nv = d != 0 ? d + (d > 0 ? 1 : -1) * minutes / 60 : minutes / 60;
			if (nv != *v) {
				*v = nv;
				changed = 1;
			}
		}
	};
	*y -= 50;
	one(lon, 0, 3, "lon:");
	*y -= 50;
	one(lat, 10, 2, "lat:");
	return changed;
}

namespace {
// Rows shown above and below the centre row of the chooser's 300-unit list.
const int chooser_rows_around = 300 / 20 - 1;

std::string padded_name(int i, void* v)
{
	const auto& names = *static_cast<std::vector<std::string>*>(v);
	return i >= 0 && i < (int)names.size() ? names[i] : std::string();
}

int padded_type(int i, void* v)
{
	const auto& types = *static_cast<std::vector<int>*>(v);
	return i >= 0 && i < (int)types.size() ? types[i] : 0;
}
}  // namespace

std::vector<std::string> BTN_subfolders(const std::string& folder)
{
	std::vector<std::string> out;
	DIR* d = opendir(folder.c_str());
	if (!d) return out;
	while (dirent* e = readdir(d)) {
		const std::string name = e->d_name;
		if (name.empty() || name[0] == '.') continue;
		struct stat st;
		// A link to a folder is a folder one can install into.
		if (stat((folder + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) out.push_back(name);
	}
	closedir(d);
	std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
		const std::string la = lower(a), lb = lower(b);
		return la != lb ? la < lb : a < b;
	});
	return out;
}

int BTN_choose_folder(const std::string& title, const std::string& action_label, const std::string& start,
                      std::string* chosen)
{
	auto is_folder = [](const std::string& p) {
		struct stat st;
		return !p.empty() && p[0] == '/' && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
	};
	std::string folder = start;
	if (!is_folder(folder)) {
		const char* home = std::getenv("HOME");
		folder = home && is_folder(home) ? home : "/";
	}
	if (folder.back() != '/') folder += '/';

	const int was = mnw.wind_type;
	const int type = 998;
	std::vector<std::string> names;
	std::vector<int> types;
	int sel = 0, centre = 0;
	auto relist = [&]() {
		xer << "Folder dialog shows: " << folder << "\n";
		xer.flush();
		BTN_layout_new_scene();  // each folder is a page of its own for the layout pictures
		names = BTN_subfolders(folder);
		types.assign(names.size(), 1);
		// The first folder on the list's top row, selected; letters typed
		// next search this folder afresh.
		type_ahead.clear();
		sel = 0;
		centre = chooser_rows_around;
	};
	auto go_up = [&]() {
		if (folder == "/") return;
		folder.pop_back();
		folder = folder.substr(0, folder.find_last_of('/') + 1);
		relist();
	};
	relist();
	REPORT_open_window(type);
	stls[stls_entry_title] = title;
	auto leave = [&](int r) {
		REPORT_open_window(was);
		return r;
	};
	const std::string cancel_label = UTL_translate_string("Cancel"), up_label = UTL_translate_string("Parent Folder");
	const std::string empty_text = UTL_translate_string("This folder contains no folders.");
	while (mnw.wind_type == type && !app_done) {
		const int n = (int)names.size();
		OGL_plot_back_col();
		BTN_fillwin(1, 21);
		// The folder being looked at, above its list.
		OGL_string(47, 20, 420, folder, 520, charset_regular, 0);
		int dbl = 0;
		if (n > 0) {
			// Rows past the last folder are blank, so a short list starts at the top.
			dbl = BTN_list_and_search(0, 20, 240, 500, 300, &centre, &sel, 0, std::max(n - 1, chooser_rows_around),
			                          nullptr, "", padded_name, &names, nullptr, nullptr, padded_type, &types);
			if (sel >= n) {
				sel = n - 1;
				dbl = 0;
			}
			// The keys go to the list whenever nothing else holds them: typing
			// a name's first letters works from the start.
			if (focus_id == 0) BTN_focus_any();
		} else {
			BTN_frame2(16, 20, 90, 500, 300, "");
			OGL_string(45, 40, 370, empty_text, 460, charset_regular, 0);
		}
		const float cw = str_dx(cancel_label) + 21, uw = str_dx(up_label) + 21, aw = str_dx(action_label) + 21;
		const int cancel = BTN_action(20 + cw / 2, 40, cw, 0, 1, cancel_label, "-");
		const float up_left = std::max(150.0f, 20 + cw + 16);
		const int up = BTN_action(up_left + uw / 2, 40, uw, 0, 1, up_label, "-");
		const int take = BTN_action(520 - aw / 2, 40, aw, 1, 1, action_label, "-");
		if (cancel || escape_hit) return leave(0);
		if (take) {
			*chosen = folder;
			return leave(1);
		}
		if ((dbl || return_hit) && n > 0) {
			folder += names[std::clamp(sel, 0, n - 1)] + "/";
			relist();
		} else if (up || delete_hit) {
			go_up();
		}
		REPORT_run_frame();
	}
	return leave(0);
}
