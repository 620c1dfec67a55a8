#include "DIzivoz/GenC/hl_mnw.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_pacing.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Platform/plat_shell.h"

int quit_requested = 0;

namespace {
const char* const mnw_src = "DIzivoz/GenC/hl_mnw";
const int popup_menu = 1519;
const int menu_count = 1520;
const int item_limit = 300;

int win_started = 0;
int OS_mouse_showing = 1;
int mouse_was_plugin = 0;
short menu_x = 0;  // running left edge of the next menu-bar title

void default_quit() { app_done = 1; }
void (*event_observer)(const EventRecord&) = nullptr;
app_hooks g_hooks = {nullptr, nullptr, default_quit};

float gui_scale() { return mnw.gui_scale > 0 ? mnw.gui_scale : 1.0f; }

bool in_menu_rect(float x, float y, short l, short b, short r, short t)
{
	return x >= l && x <= r && y >= b && y <= t;
}

// Sub-window types: title, size, modal flag and close box.
struct wind_spec {
	int type;
	int title_entry;   // -1 a fixed title, -2 unchanged
	const char* title;
	float dx, dy;
};
const wind_spec kWinds[] = {
	{1, -1, "EULA", 500, 300},      {2, -1, "Prefs", 600, 380},    {992, -1, "Livery", 561, 474},
	{993, 613, nullptr, 600, 300},  {994, 601, nullptr, 420, 250}, {995, 602, nullptr, 300, 166},
	{996, 602, nullptr, 780, 180},  {997, 602, nullptr, 700, 206}, {998, 614, nullptr, 561, 474},
	{999, 77, nullptr, 330, 474},
};

bool has_close_box(int type) { return !(type == 994 || type == 995 || type == 996 || type == 998 || type == 999); }

// Open-menu handling of a press that hit no title.
void click_open_menu()
{
	if (mnw.menu_open >= 0 && mnw.menu_open < (int)menu.size()) {
		menu_struct& m = menu[mnw.menu_open];
		for (size_t i = 0; i < m.items.size(); ++i) {
			const item_struct& it = m.items[i];
			if (it.label.empty() || it.label[0] == '-' || it.label[0] == '=') continue;
			if (!in_menu_rect(mnw.mouse_x, mnw.mouse_y, it.left, it.bottom, it.right, it.top)) continue;
			if (mnw.menu_open == popup_menu) {
				popup_menu_select = (int)i;
				select_popup_code = active_popup_code;
				active_popup_code = 0;
			} else {
				APP_handlemenu(it.command);
			}
			mnw.menu_open = -1;
			mnw.mouse_click = 0;
			return;
		}
	}
	mnw.menu_open = -1;
}

bool two_windows() { return mnw.dual_monitor && mnw.second_window && mnw.window[1]; }

// A point in the pixels of window w (y downwards) into GUI units: the second
// window continues to the right of the first; in the first the point is
// relative to the open sub-window.
void mouse_from_window(void* w, int h, int v)
{
	mnw.mouse_x = h / gui_scale();
	mnw.mouse_y = (mnw.y_res - v) / gui_scale();
	if (two_windows() && w == mnw.window[1]) {
		mnw.wind_mouse = 0;
		mnw.mouse_x += mnw.x_res / gui_scale();
		return;
	}
	mnw.wind_mouse = mnw.wind_main;
	mnw.mouse_x -= mnw.wind_x;
	mnw.mouse_y -= mnw.wind_y;
}

// The window the pointer lies in goes to the front (its title bar counts).
void* front_from_mouse()
{
	void* front = PLAT().front_window() == mnw.window[1] ? mnw.window[1] : mnw.window[0];
	bool holds[2];
	for (int i = 0; i < 2; ++i) {
		int x = 0, y = 0;
		PLAT().get_window_mouse(mnw.window[i], &x, &y);
		holds[i] = x >= 0 && x <= mnw.x_res && y >= -20 && y <= mnw.y_res;
	}
	if (holds[0] != holds[1]) {
		void* w = mnw.window[holds[0] ? 0 : 1];
		if (w != front) PLAT().select_window(w);
		front = w;
	}
	return front;
}

void read_mouse()
{
	int h = 0, v = 0;
	if (!two_windows()) {
		PLAT().get_mouse(&h, &v);
		mouse_from_window(mnw.window[0], h, v);
		return;
	}
	void* front = front_from_mouse();
	PLAT().get_window_mouse(front, &h, &v);
	mouse_from_window(front, h, v);
}

void texture_fail_alerts()
{
	static const char* const lines[3][2] = {
	    {"Some scenery textures could not be loaded.",
	     "This may be an installation problem or you may have a damaged add-on scenery package."},
	    {"Some textures for the aircraft you selected could not be loaded.",
	     "This may be an installation problem or you may have a damaged add-on aircraft package."},
	    {"Some textures could not be loaded.",
	     "This may be an installation problem.  Run the installer/updater again to get these missing textures."}};
	for (int i = 0; i < 3; ++i) {
		if (mnw.wind_type != 0) return;
		if (!shell_tex_fail(i)) continue;
		// Muted first: the alert runs frames of its own.
		shell_tex_mute(i);
		__MACIBM_alert(0, lines[i][0], lines[i][1], "Please see the log.txt file for a detailed list of missing files.",
		               "", alert_warning, mnw_src, 1588 + i);
	}
}
}  // namespace

void mnw_set_defaults()
{
	mnw.wind_type = -1;
	mnw.menu_open = -1;
	mnw.tex_res = 5;
	mnw.x_res_req = 800;
	mnw.y_res_req = 600;
	mnw.bit_depth_req = 32;
	mnw.gui_scale = 1.0f;
	mnw.language = -1;
}

void MACIBM_set_app_hooks(const app_hooks& h)
{
	g_hooks = h;
	if (!g_hooks.quit) g_hooks.quit = default_quit;
}
void APP_update()
{
	if (g_hooks.update) g_hooks.update();
}
void APP_handlemenu(int value)
{
	if (g_hooks.handlemenu) g_hooks.handlemenu(value);
}

std::string& mouse_help_text() { return stls[stls_entry_help]; }

void MACIBM_reset_frame_state()
{
	win_started = 0;
	pacing_reset();
	quit_requested = 0;
	OS_mouse_showing = 1;
	mouse_was_plugin = 0;
}

void MACIBM_event_proc()
{
	xtim.profile_chart("init", 0);
	return_hit = escape_hit = delete_hit = 0;
	mnw.mouse_click = mnw.mouse_release = mnw.key_hit = 0;
	if (mnw.wind_type == -1) mnw.wind_type = 0;
	if (!win_started) {
		win_started = 1;
		MACIBM_startwind(mnw.wind_type, 0);
	}
	xtim.profile_chart("startwin", 0);

	pacing_wait_for_frame();
	read_mouse();

	EventRecord e;
	while (PLAT().next_event(&e, 0)) {
		pacing_count_event();
		APL_handlewin(&e);
		if (e.what == plat_evt_os) break;
	}
	// Nothing new: what is on the screen stays, neither drawn nor swapped.
	if (pacing_frame_unchanged()) {
		pacing_skip_frame();
		return;
	}
	xtim.profile_chart("event", 0);
	xtim.profile_chart("netlist", 0);

	if (mnw.wind_type == 0) {
		THREAD_check_exception(1);
		texture_fail_alerts();
		// The window's close button quits only from the main screen.
		if (mnw.wind_type == 0 && quit_requested) {
			quit_requested = 0;
			g_hooks.quit();
		}
	}

	xtim.xtim_update();
	shell_run_repeat_keys();
	mnw.cursor_kind = 0;

	if (mnw.menu_open >= 0) {
		for (int i = 0; i < (int)menu.size() && i < popup_menu; ++i) {
			const menu_struct& m = menu[i];
			if (m.parent_menu != -1 || i == mnw.menu_open) continue;
			if (in_menu_rect(mnw.mouse_x, mnw.mouse_y, m.left, m.bottom, m.right, m.top)) MACIBM_handleclick(0);
		}
	}
	xtim.profile_chart("menu", 0);

	shell_begin_focus_ring();
	if (mnw.wind_modal == 0) {
		APP_update();
		xtim.first_frame = 0;
	}
	{
		// The mouse help and an open menu lie over the window on purpose:
		// no layout boxes.
		const int recording = g_layout_record;
		g_layout_record = 0;
		mouse_help_per_wind(mnw.wind_type);
		standard_gui();
		g_layout_record = recording;
	}
	BTN_layout_frame_end(mnw.wind_dx, mnw.wind_dy);
	const bool worked_on = pacing_work_after_drawing();
	const unsigned long long swap_start = xtim.microsecs();
	// A recorded movie wants every frame.
	if (shell_mov_per_frame())
		MACIBM_frame_animate();
	else if (!pacing_frame_superseded())
		shell_sbuff();
	if (worked_on) pacing_swap_took(xtim.microsecs() - swap_start);
	xtim.profile_chart("sbuff", 0);
	++xtim.frame_count;
	pacing_end_frame();
	xtim.profile_chart("oglwork", 0);
	xtim.profile_chart("finish", 1);
}

void APL_handlewin(EventRecord* e)
{
	switch (e->what) {
	case plat_evt_key_down:
		shell_handle_key_raw(e);
		mnw.key_hit = 1;
		mnw.key_down = 1;
		break;
	case plat_evt_key_up:
		shell_handle_key_raw(e);
		mnw.key_down = 0;
		break;
	case plat_evt_auto_key:
		shell_handle_key_raw(e);
		mnw.key_hit = 1;
		break;
	case plat_evt_mouse_down:
		// Where the press happened: the position read before the pump may
		// predate the motion that came with it.
		MACIBM_load_mxy(e->window, e->where_h, e->where_v);
		mnw.mouse_click = 1;
		MACIBM_handleclick(0);
		break;
	case plat_evt_mouse_up:
		mnw.mouse_release = 1;
		break;
	case plat_evt_wheel:
		mnw.wheel_delta += (int32_t)e->message;
		break;
	case plat_evt_quit:
		quit_requested = 1;
		break;
	case plat_evt_update:
		// The window keeps its contents; reopening the sub-window would drop
		// the focus and the click in progress.
		break;
	case plat_evt_activate:
		if (e->modifiers & plat_mod_active) PLAT().show_menu_bar(false);
		break;
	default:
		break;
	}
	if (event_observer) event_observer(*e);
}

void MACIBM_set_event_observer(void (*observer)(const EventRecord& e)) { event_observer = observer; }

void MACIBM_load_mxy(void* w, int x, int y) { mouse_from_window(w, x, y); }

void MACIBM_startwind(int type, int)
{
	plot_init_lights = 1;
	mouse_help_per_wind(type);
	shell_viewport_2d();
	mnw.wind_dx = (float)mnw.x_res;
	mnw.wind_dy = (float)mnw.y_res;
	mnw.wind_modal = 0;
	for (const wind_spec& w : kWinds) {
		if (w.type != type) continue;
		stls[stls_entry_title] = w.title ? std::string(w.title) : stls[w.title_entry];
		mnw.wind_dx = w.dx;
		mnw.wind_dy = w.dy;
		mnw.wind_modal = 1;
	}
	BTN_unfocus_any();
	mnw.menu_open = -1;
	mnw.wind_type = mnw.wind_main = type;

	const float s = gui_scale();
	const float usable_x = mnw.x_res > 2 * mnw.y_res ? mnw.x_res / 2.0f : (float)mnw.x_res;
	float x = std::trunc(std::round((usable_x - s * mnw.wind_dx) / 2) / s);
	float y = std::trunc(std::round((mnw.y_res - s * mnw.wind_dy) / 2) / s);
	mnw.wind_x = std::max(0.0f, x);
	mnw.wind_y = std::max(0.0f, y);
	mnw.mouse_down = mnw.mouse_click = mnw.wheel_delta = 0;
	if ((int)menu.size() > popup_menu) {
		menu_struct& p = menu[popup_menu];
		p.left = p.bottom = p.right = p.top = -1;
	}
}

void MACIBM_handleclick(int force)
{
	if (mnw.wind_type == 0) {
		for (int i = 0; i < (int)menu.size() && i < popup_menu; ++i) {
			const menu_struct& m = menu[i];
			if (m.parent_menu != -1 && m.parent_menu != mnw.menu_open) continue;
			if (!in_menu_rect(mnw.mouse_x, mnw.mouse_y, m.left, m.bottom, m.right, m.top)) continue;
			mnw.menu_open = mnw.menu_open == i ? -1 : i;
			mnw.mouse_click = 0;
			return;
		}
		click_open_menu();
		return;
	}
	if (!has_close_box(mnw.wind_type)) return;
	const bool in_box = (mnw.mouse_x >= 0 && mnw.mouse_x <= 25) ||
	                    (mnw.mouse_x >= mnw.wind_dx - 25 && mnw.mouse_x <= mnw.wind_dx);
	const bool in_row = mnw.mouse_y >= mnw.wind_dy - 20 && mnw.mouse_y <= mnw.wind_dy;
	if ((in_box && in_row) || force) {
		shell_zap_boxes();
		shell_sbuff();
		return_hit = 0;
		MACIBM_startwind(0, force);
		return;
	}
	click_open_menu();
}

void standard_gui()
{
	if (mnw.menu_open < 0 || mnw.menu_open >= (int)menu.size()) return;
	const int open = mnw.menu_open;
	if (open != popup_menu) {
		shell_frame1(0, mnw.x_res / 2.0f, mnw.y_res - 9.0f, (float)mnw.x_res);
		for (int i = 0; i < (int)menu.size(); ++i)
			if (menu[i].parent_menu == -1 && !menu[i].title.empty())
				shell_string(38, menu[i].left + 10.0f, menu[i].bottom + 6.0f, menu[i].title, 0, 0, 0);
	}
	menu_struct& m = menu[open];
	short l = 32767, b = 32767, r = -32768, t = -32768;
	int hover = -1;
	for (size_t i = 0; i < m.items.size(); ++i) {
		const item_struct& it = m.items[i];
		if (it.label.empty()) continue;
		l = std::min(l, it.left);
		r = std::max(r, it.right);
		b = std::min<short>(b, it.bottom - 2);
		t = std::max<short>(t, it.top + 2);
		if (it.label[0] != '-' && it.label[0] != '=' &&
		    in_menu_rect(mnw.mouse_x, mnw.mouse_y, it.left, it.bottom, it.right, it.top - 1))
			hover = (int)i;
	}
	if (l <= r) shell_frame2(17, l, b, r - l, t - b, "");
	if (m.parent_menu == -1) shell_fillrect(36, 0.25f, m.left, m.bottom, m.right - m.left, m.top - m.bottom);
	if (hover >= 0) {
		const item_struct& it = m.items[hover];
		shell_fillrect(36, 0.25f, it.left, it.bottom, it.right - it.left, it.top - it.bottom);
	}
	for (size_t i = 0; i < m.items.size(); ++i) {
		const item_struct& it = m.items[i];
		if (i > 0 && it.left != m.items[i - 1].left) shell_line(35, 1, it.left, b, it.left, t);
		if (it.label.empty()) continue;
		if (it.label[0] == '-') {
			shell_line(35, 1, it.left, it.bottom + 1, it.right - 1, it.bottom + 1);
			shell_line(37, 1, it.left, it.bottom, it.right - 1, it.bottom);
		} else {
			shell_string(38, it.left + (open == popup_menu ? 3.0f : 18.0f), it.bottom + 3.0f, it.label, 0, 0, 0);
		}
	}
	for (const menu_struct& s : menu)
		if (s.parent_menu == open && &s != &m) shell_util_element(s.right - 8, s.bottom + 6, 167, 187, 9, 9);
}

int mouse_help_height(int chars) { return std::clamp(chars / 50 * 10 + 20, 60, 300); }

bool cursor_cell(int kind, int held, int* col, int* row)
{
	static const int cells[12][2] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}, {2, 1}, {3, 1},
	                                 {2, 0}, {3, 0}, {4, 1}, {4, 0}, {-1, 1}, {-1, 0}};
	if (kind < 3 || kind > 14) return false;
	*col = cells[kind - 3][0];
	*row = cells[kind - 3][1];
	if ((kind == 11 || kind == 12) && held) *col = 5;
	return true;
}

void mouse_help_per_wind(int type)
{
	std::string& help = mouse_help_text();
	const float still = xtim.elapsed - mnw.move_time;
	// The help box and the hidden cursor come with time alone.
	if (!help.empty() && still <= 1.0f) MACIBM_frame_due(1.0f - still + 0.001f);
	if (type == 0 && still <= 10.0f) MACIBM_frame_due(10.0f - still + 0.001f);
	if (!help.empty() && xtim.elapsed - mnw.move_time > 1.0f) {
		const float H = (float)mouse_help_height((int)help.size());
		float x, y;
		if (10 - mnw.wind_x > mnw.mouse_x - 415) x = 10 - mnw.wind_x;
		else x = std::min(mnw.mouse_x - 415, mnw.x_res - 410 - mnw.wind_x);
		if (10 - mnw.wind_y > mnw.mouse_y + 15) y = 10 - mnw.wind_y;
		else y = std::min(mnw.mouse_y + 15, mnw.y_res - 20 - mnw.wind_y - H);
		shell_frame2(14, x - 10, y - 10, 420, H + 20, "");
		shell_string(47, x + 3, y + H - 10, help, 394, 0, 0);
	}
	help.clear();
	xtim.profile_chart("help", 0);

	if (type == 0 && xtim.elapsed - mnw.move_time > 10.0f) mnw.cursor_kind = 2;
	if (type >= 992 && type <= 999) {
		mnw.cursor_kind = 0;
		if (!OS_mouse_showing) {
			PLAT().show_cursor(true);
			OS_mouse_showing = 1;
		}
	} else if (mnw.cursor_kind > 1) {
		if (OS_mouse_showing) {
			PLAT().show_cursor(false);
			OS_mouse_showing = 0;
		}
	} else if (!OS_mouse_showing) {
		PLAT().show_cursor(true);
		OS_mouse_showing = 1;
	}
	if (mouse_was_plugin && mnw.cursor_kind != 1) {
		PLAT().arrow_cursor();
		mouse_was_plugin = 0;
	}
	if (mnw.cursor_kind == 1) mouse_was_plugin = 1;

	int c = 0, r = 0;
	if (cursor_cell(mnw.cursor_kind, mnw.mouse_down, &c, &r)) {
		const float u = (c * 32 + 200) / 512.0f, v = (r * 32 + 293) / 512.0f;
		shell_cursor_quad(mnw.mouse_x, mnw.mouse_y, u, v, u + 30 / 512.0f, v + 30 / 512.0f);
	}
}

void MACIBM_clear_menus(int mode)
{
	if (mode != 1) return;
	menu.assign(menu_count, menu_struct{});
	for (int i = 0; i < menu_count; ++i) MACIBM_clear_menu(i);
}

void MACIBM_clear_menu(int i)
{
	if (i < 0 || i >= (int)menu.size()) return;
	menu[i].title.clear();
	menu[i].parent_menu = -1;
	menu[i].left = menu[i].bottom = menu[i].right = menu[i].top = 0;
	menu[i].items.clear();
}

void MACIBM_clear_items(int i)
{
	if (i >= 0 && i < (int)menu.size()) menu[i].items.clear();
}

float menu_dx(std::string s)
{
	if (mnw.language == 100000) return 8.0f * s.size();
	return shell_str_dx(s);
}

void MACIBM_create_menu(int index, int parent_code, std::string title)
{
	if (index > popup_menu || index < 0) {
		__MACIBM_alert(0, "Menu index out of range in create_menu!", "", "", title, alert_fatal, mnw_src, 72);
		return;
	}
	if ((int)menu.size() < menu_count) MACIBM_clear_menus(1);
	if (title.size() >= 40) title.resize(40);
	const short w = (short)(menu_dx(title) + 30);
	menu_struct& m = menu[index];
	m.title = title;
	if (parent_code != 0) {
		const int pm = parent_code / item_limit, pi = parent_code % item_limit;
		m.parent_menu = pm;
		if (pm >= 0 && pm < (int)menu.size() && pi >= 0 && pi < (int)menu[pm].items.size()) {
			const item_struct& it = menu[pm].items[pi];
			m.left = it.left;
			m.bottom = it.bottom;
			m.right = it.right;
			m.top = it.top;
		}
		return;
	}
	m.parent_menu = -1;
	if (index == 0) menu_x = 0;
	m.left = menu_x;
	m.right = (short)(menu_x + w);
	m.bottom = (short)(mnw.y_res - 18);
	m.top = (short)mnw.y_res;
	if (title != "Plugins") menu_x = m.right;
}

void MACIBM_append_menu(int mi, int item, int value, std::string label, int)
{
	if (mi < 0 || mi > popup_menu) {
		__MACIBM_alert(0, "Menu index out of range in append_menu!", "", "", label, alert_fatal, mnw_src, 112);
		return;
	}
	if (item < 0 || item >= item_limit) {
		__MACIBM_alert(0, "Item index out of range in append_menu!", "", "", label, alert_fatal, mnw_src, 113);
		return;
	}
	if (label.size() >= 40) {
		__MACIBM_alert(0, "Menu name too long in append_menu!", "", "", label, alert_fatal, mnw_src, 114);
		return;
	}
	if ((int)menu.size() < menu_count) MACIBM_clear_menus(1);
	menu_struct& m = menu[mi];
	if ((int)m.items.size() < item + 1) m.items.resize(item + 1, item_struct{});
	item_struct& it = m.items[item];
	it.label = label;
	it.command = value;
	const short h = (!label.empty() && label[0] == '-') ? 2 : 12;
	if (item == 0) {
		if (m.parent_menu == -1) {
			it.bottom = (short)(m.bottom - h - 2);
			it.top = (short)(m.bottom - 2);
		} else {
			it.bottom = (short)(m.bottom - 2);
			it.top = (short)(m.top - 2);
		}
		it.left = m.left;
		it.right = (short)(m.left + 180);
	} else {
		const item_struct& prev = m.items[item - 1];
		it.bottom = (short)(prev.bottom - h);
		it.top = prev.bottom;
		it.left = prev.left;
		it.right = prev.right;
	}
	float W = 0;
	for (int i = 0; i <= item; ++i) W = std::max(W, menu_dx(m.items[i].label) + 30);
	for (int i = 0; i <= item; ++i) {
		m.items[i].left = m.left;
		m.items[i].right = (short)(m.left + W);
	}
}

void MACIBM_remove_menu_item(int mi, int item)
{
	if (mi < 0 || mi > popup_menu) {
		__MACIBM_alert(0, "Menu index out of range in remove_menu_item!", "", "", "", alert_fatal, mnw_src, 181);
		return;
	}
	if (item < 0 || item >= item_limit) {
		__MACIBM_alert(0, "Item index out of range in remove_menu_item!", "", "", "", alert_fatal, mnw_src, 182);
		return;
	}
	if (mi >= (int)menu.size() || item >= (int)menu[mi].items.size()) return;  // nothing to remove
	std::vector<item_struct>& items = menu[mi].items;
	const short h = (short)(items[item].top - items[item].bottom);
	items.erase(items.begin() + item);
	for (size_t i = item; i < items.size(); ++i) {
		items[i].bottom = (short)(items[i].bottom + h);
		items[i].top = (short)(items[i].top + h);
	}
}

void MACIBM_read_menus(std::string folder, std::string file)
{
	const std::string path = folder + "menus/" + UTL_lang_get_folder(mnw.language) + file;
	xmap_class map(path);
	const int versions[] = {1, 0};
	if (!map.begin || !map.check_file(file_type_text, versions, nullptr, nullptr)) {
		__MACIBM_alert(0, "Cannot open file!", path, "Trash this copy and re-install Ventora.", "", alert_fatal,
		               mnw_src, 967);
		return;
	}
	// One line: an integer, a blank, and the rest as text. False at an empty line or the end.
	auto read_line = [&](int* number, std::string* text, bool* dash) -> bool {
		if (map.cursor >= map.end) return false;
		const char* p = map.cursor;
		const char* e = p;
		while (e < map.end && !TXT_is_eoln(*e)) ++e;
		std::string line(p, e);
		// Past exactly one line end (CR LF counts as one).
		if (e < map.end && *e == '\r') ++e;
		if (e < map.end && *e == '\n') ++e;
		map.cursor = e;
		if (line.empty()) return false;
		*dash = line == "-";
		size_t i = 0;
		while (i < line.size() && TXT_is_blank(line[i])) ++i;
		const size_t num_start = i;
		if (i < line.size() && (line[i] == '-' || line[i] == '+')) ++i;
		while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
		*number = std::atoi(line.substr(num_start, i - num_start).c_str());
		while (i < line.size() && TXT_is_blank(line[i])) ++i;
		*text = line.substr(i);
		return true;
	};
	int index = 0, number = 0;
	std::string text;
	bool dash = false;
	while (index <= popup_menu && read_line(&number, &text, &dash)) {
		if (dash) continue;
		MACIBM_create_menu(index, number, text);
		int item = 0;
		while (read_line(&number, &text, &dash)) {
			if (dash) break;
			MACIBM_append_menu(index, item++, number, text, 0);
		}
		++index;
		if (!dash) break;  // an empty line or the end inside a menu ends the reading
	}
}

int accept_item() { return 1; }
int has_optionkey() { return (PLAT().key_modifiers() & plat_mod_option) ? 1 : 0; }
int has_shiftkey() { return (PLAT().key_modifiers() & plat_mod_shift) ? 1 : 0; }
int has_capslock() { return (PLAT().key_modifiers() & plat_mod_caps) ? 1 : 0; }
