#pragma once
// The window and input record `mnw`: the application window and context, the
// requested and actual size, the open virtual sub-window, the cursor, and the
// mouse and key input of the current frame. Plain fields, main thread only.
// Every field is zero before main (constant-initialised, so no unit can see
// it unbuilt), except the two legacy words.
#include <functional>
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

// Start-up's defaults: sub-window -1 until the first frame, no menu, texture
// level 5, 800 x 600 x 32 requested, GUI scale 1, language unknown.
void mnw_set_defaults();

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

struct EventRecord;

// Pop-up menu (slot 1519): the code of the widget that opened it, and the code
// and item index of the last pick.
extern int active_popup_code, select_popup_code, popup_menu_select;


// One frame of the application (events, clock, application update, overlays, swap).
// Before it takes the events it waits for the next frame to be due: at once
// after a frame that polled work, one tick after input or a drawn animation,
// and ever longer (up to two seconds) while nothing changes, up to the time
// something drawn changes by itself. Input or wake() ends the wait at once.
// A wait that ran out with nothing new leaves the screen as it is: no
// drawing and no swap (a frame is drawn anyway every 16 s).
void MACIBM_event_proc();
// This frame polled work that goes on (downloads, a worker pool): the next
// frame follows without waiting for input.
void MACIBM_frame_busy();
// What this frame drew changes with the clock (the pulsing caret, a recorded
// movie): the next frame follows after one tick.
void MACIBM_frame_animate();
// Something drawn this frame changes by itself in `seconds` (a help box, a
// timer): the loop wakes by then.
void MACIBM_frame_due(float seconds);
// While the window idles after this frame, poll() is asked every `seconds`
// without a frame; the next frame comes when it answers true (a disc that
// was inserted) or for any other reason.
void MACIBM_frame_poll(float seconds, bool (*poll)());
// Any thread: ends the frame loop's wait at once (a queued alert).
void MACIBM_frame_wake();
// Frames in a row that had nothing new to show (no input, work or animation).
int MACIBM_quiet_frames();
// Frames not drawn so far because nothing had changed; any thread may ask.
int MACIBM_frames_skipped();
// The longest wait of an idle window in milliseconds: the environment's
// VENTORA_LONGEST_IDLE_MS, else two seconds; ms > 0 sets it (tests), 0 restores.
void MACIBM_frame_longest_idle(int ms);
// Test seam: the work budget of every frame in microseconds; 1 makes a page
// call its driver once a frame, 0 restores the budget that keeps 20 frames/s.
void MACIBM_frame_work_budget(int us);
// The wait before the current frame in milliseconds (0: none); woken is set
// when input or a wake ended it before its time.
int MACIBM_frame_waited(int* woken);

// Work polled from a frame: the frame is busy, and more() is true while its
// budget lasts (what keeps the window at 20 frames/s or better with the
// drawing it needs) and no input waits, so the page calls its driver again.
// With `then`, the work goes on once the frame is drawn, while its picture is
// rendered: the shell calls then() again until it answers false or the frame
// has had its time; the work before the drawing takes a third of the frame.
class frame_work {
public:
	explicit frame_work(std::function<bool()> then = nullptr);
	~frame_work();
	frame_work(const frame_work&) = delete;
	frame_work& operator=(const frame_work&) = delete;
	bool more();
	// The budget of this frame, in microseconds.
	unsigned long long budget() const { return budget_; }
	// The work ended or its page was left: nothing goes on after the drawing.
	static void drop_then();

private:
	unsigned long long start_, budget_, next_look_;
};
void APL_handlewin(EventRecord* e);
void MACIBM_load_mxy(void* w, int x, int y);

void MACIBM_startwind(int type, int flag);
void MACIBM_handleclick(int force);
void standard_gui();
void mouse_help_per_wind(int type);
void MACIBM_clear_menus(int mode);
void MACIBM_clear_menu(int i);
void MACIBM_clear_items(int i);
void MACIBM_create_menu(int index, int parent_code, std::string title);
void MACIBM_append_menu(int menu, int item, int value, std::string label, int n);
void MACIBM_remove_menu_item(int menu, int item);
void MACIBM_read_menus(std::string folder, std::string file);
float menu_dx(std::string s);
int accept_item();
int has_optionkey();
int has_shiftkey();
int has_capslock();

// The mouse-help text widgets leave for this frame (string-table entry 1802).
std::string& mouse_help_text();
// Height of the help box for a text of n characters.
int mouse_help_height(int chars);
// Texture cell (column, row) of drawn cursor kind 3..14; false for other kinds.
bool cursor_cell(int kind, int held, int* col, int* row);

// The application's side of the frame loop. The installer's code sets them;
// tests drive the real window with their own. The quit request (window close)
// waits for the main screen, then runs quit (default: app_done = 1).
struct app_hooks {
	void (*update)();
	void (*handlemenu)(int value);
	void (*quit)();
};
void MACIBM_set_app_hooks(const app_hooks& h);
void APP_update();
void APP_handlemenu(int value);
// Set by a close request until the main screen runs the application's quit.
extern int quit_requested;
// Test seam: called with every event after the shell and the keyboard layer
// handled it (null: none).
void MACIBM_set_event_observer(void (*observer)(const EventRecord& e));
// Resets the frame routine's first-frame latch (tests that restart the shell).
void MACIBM_reset_frame_state();
