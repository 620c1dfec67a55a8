#pragma once
// The window and input record `mnw`: the application window and context, the
// requested and actual size, the open virtual sub-window, the cursor, and the
// mouse and key input of the current frame. Plain fields, main thread only.
// Every field is zero before main (constant-initialised, so no unit can see
// it unbuilt), except the two legacy words. Every layer reads it; the shell
// (GenC/hl_mnw) fills it.
#include <string>
#include <vector>

struct mnw_struct {
	int aa_level_req{};        // multisample level asked for, 0..4
	int aa_level{};            // multisample level obtained
	void* pixel_format{};      // chosen once, reused for second window and workers
	void* window[2]{};         // 0 application window, 1 second-screen window
	void* context[2]{};        // 0 main context, 1 shares with 0
	int dual_monitor{};
	int second_window{};
	int wind_main{};           // sub-window type shown in window 0
	int wind_type{};           // open sub-window: 0 main, 1, 2, 992..999; -1 before the first frame
	int wind_mouse{};          // sub-window under the mouse this frame
	int wind_modal{};          // 1 while a modal sub-window is open
	float wind_x{}, wind_y{};    // sub-window origin, GUI units
	float wind_dx{}, wind_dy{};  // sub-window size, GUI units
	int cursor_kind{};         // 0 arrow, 1 platform cursor, 2 hidden, 3..14 drawn
	int menu_open{};           // open shell menu, -1 none
	int x_res{}, y_res{};        // GL window size in pixels
	int bit_depth{};
	int set_res{};
	int tex_res{};             // texture resolution level 0..5
	int x_res_req{}, y_res_req{};
	int bit_depth_req{};
	float center_x{}, center_y{};
	float margin_x{}, margin_y{};
	int fit_screen{};
	float ortho_left{}, ortho_bottom{}, ortho_right{}, ortho_top{};
	float gui_scale{};         // window pixels per GUI unit
	float mouse_x{}, mouse_y{};  // GUI units relative to the sub-window
	int mouse_click{};         // a press arrived this frame
	int mouse_tap{};           // a release within 0.25 s of the press
	int mouse_double{};        // a press within 0.25 s of the previous press
	int mouse_release{};       // a release arrived this frame
	int mouse_down{};          // the button is held
	int mouse_hold{};          // held for more than 0.25 s
	int wheel_delta{};         // wheel sum since the sub-window opened
	int key_hit{};             // key-down or auto-repeat this frame
	int key_last{};            // virtual key of the last key
	float move_time{};         // clock time of the last move or press
	float press_time{};        // clock time of the last press
	int key_down{};
	int language{};            // -1 unknown, 0 English, 1 French, 2 German
	int profiling{};
	int key_flag{};
	int prefs_found{};         // a preference file was read
	int legacy_view{1};         // kept for the simulator's use: 1, unread here
	int legacy_panel{-1};        // kept for the simulator's use: -1, unread here
};

extern mnw_struct mnw;


// Shell menus: one item of a menu and one menu.
struct item_struct {
	std::string label;   // '-' first: separator; '=' first: shown, not choosable
	int command;         // code passed on when chosen
	short left, bottom, right, top;
};

struct menu_struct {
	std::string title;   // at most 40 characters
	int parent_menu;     // -1 a title of the menu bar, else the menu it hangs on
	short left, bottom, right, top;
	std::vector<item_struct> items;
};

// Pop-up menu (slot 1519): the code of the widget that opened it, and the code
// and item index of the last pick.
extern int active_popup_code, select_popup_code, popup_menu_select;
