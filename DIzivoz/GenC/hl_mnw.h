#pragma once
// The shell's frame loop, sub-windows and menus over the window record.
#include <functional>
#include <string>
#include <vector>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/Thread/hl_report.h"  // the frame requests any layer makes

struct EventRecord;

// Start-up's defaults: sub-window -1 until the first frame, no menu, texture
// level 5, 800 x 600 x 32 requested, GUI scale 1, language unknown.
void mnw_set_defaults();



// One frame of the application (events, clock, application update, overlays, swap).
// Before it takes the events it waits for the next frame to be due: at once
// after a frame that polled work, one tick after input or a drawn animation,
// and ever longer (up to two seconds) while nothing changes, up to the time
// something drawn changes by itself. Input or wake() ends the wait at once.
// A wait that ran out with nothing new leaves the screen as it is: no
// drawing and no swap (a frame is drawn anyway every 16 s).
void MACIBM_event_proc();
// Something drawn this frame changes by itself in `seconds` (a help box, a
// timer): the loop wakes by then.
void MACIBM_frame_due(float seconds);
// The frame loop's side of the report's requests (MACIBM_frame_busy,
// MACIBM_frame_animate, MACIBM_frame_wake).
void MACIBM_pace_busy();
void MACIBM_pace_animate();
void MACIBM_pace_wake();
// What this frame drew is already out of date (its page was left): it is not
// shown, and the next frame, drawn at once, shows what replaced it.
void MACIBM_frame_superseded();
// While the window idles after this frame, poll() is asked every `seconds`
// without a frame; the next frame comes when it answers true (a disc that
// was inserted) or for any other reason.
void MACIBM_frame_poll(float seconds, bool (*poll)());
// Frames in a row that had nothing new to show (no input, work or animation).
int MACIBM_quiet_frames();
// Frames not drawn so far because nothing had changed; any thread may ask.
int MACIBM_frames_skipped();
// The longest wait of an idle window in milliseconds: the environment's
// VENTORA_LONGEST_IDLE_MS, else two seconds; ms > 0 sets it (tests), 0 restores.
void MACIBM_frame_longest_idle(int ms);
// Test seam: the work budget of every frame in microseconds; 1 makes a page
// call its driver once a frame, 0 restores the frame's own budget.
void MACIBM_frame_work_budget(int us);
// The wait before the current frame in milliseconds (0: none); woken is set
// when input or a wake ended it before its time.
int MACIBM_frame_waited(int* woken);

// Work polled from a frame: the frame is busy, and more() is true while its
// budget lasts (over 20 frames/s where the drawing is quick; where it is
// slow the frame grows so that the drawing takes at most a fifteenth of it)
// and no input waits, so the page calls its driver again.
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
