#pragma once
// Support for tests that drive the shell's real window: the test application
// run in a folder of its own, real X input through xdotool (XTEST), pixels
// and the window manager's close message through Xlib, and a private Xvfb
// server for other screen sizes.
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/files_tmp.h"

namespace vtest {

// A private X server: Xvfb on a free display number.
class xvfb_server {
public:
	xvfb_server(int width, int height);
	~xvfb_server();
	const std::string& display() const { return display_; }  // ":N", empty when it failed

private:
	pid_t pid_ = -1;
	std::string display_;
};

// The test application run in its own folder (a copy beside its own log,
// Resources linked), with its own HOME, XDG folders and TMPDIR.
class shell_app_run {
public:
	// program: an executable of the build folder (the shell's test
	// application, or an installer program). Its folder also gets bin/ first
	// on PATH with recording stand-ins of zenity and xdg-open: each call's
	// arguments go to a line of zenity_calls.txt / xdg_open_calls.txt, and
	// zenity prints the contents of zenity_answer.txt (and fails when it is
	// missing, as a cancel does). An idle window's longest wait is ten
	// minutes (env VENTORA_LONGEST_IDLE_MS; "<unset>" in env restores it).
	// run_folder: where to run, kept afterwards; empty: a temporary folder.
	explicit shell_app_run(const std::string& mode, std::map<std::string, std::string> env = {},
	                       const std::string& program = "shell_test_app", const std::string& run_folder = "");
	~shell_app_run();

	bool start(const std::vector<std::string>& args = {});
	// Waits for the process to end; the exit status, or -1 on time-out (then killed).
	int wait_exit(double seconds);
	// Waits until the report holds a line containing `text` (after line `from`);
	// the index of that line, or -1 on time-out.
	int wait_line(const std::string& text, double seconds, int from = 0);
	std::vector<std::string> report_lines() const;
	std::string log() const;       // "Ventora Installer Log.txt"
	// Waits until the log holds `text`; false on time-out.
	bool wait_log(const std::string& text, double seconds) const;
	// Ends the program with a signal (time-outs of tests).
	void kill_now();
	std::string stderr_text() const;
	const std::string& folder() const { return dir_.root; }
	pid_t pid() const { return pid_; }  // the running program, -1 before start

	// The last "wind" line's values: type, x, y, dx, dy, x_res, y_res, window x, y.
	struct wind_info {
		int type = -99, x = 0, y = 0, dx = 0, dy = 0, x_res = 0, y_res = 0, win_x = 0, win_y = 0, lang = -1;
	};
	wind_info last_wind() const;
	// Screen point of a point of the open sub-window (GUI units, origin bottom left).
	void screen_point(float x, float y, int* sx, int* sy) const;

	std::string display;
	// The program records what it draws and logs layout problems; the run
	// fails when its log holds any. Runs that draw test layouts turn it off.
	bool check_layout = true;

private:
	files_tmp dir_;
	std::string mode_;
	std::string program_;
	std::map<std::string, std::string> env_;
	pid_t pid_ = -1;
	int status_ = -1;
};

// Runs xdotool with the arguments on the display; true when it exited 0.
bool xdotool(const std::string& display, const std::vector<std::string>& args);

// Clicks a point of the program's open sub-window (GUI units, origin bottom
// left). pause_ms > 0: the pointer rests there that long before the press.
void click_at(const shell_app_run& app, float x, float y, int pause_ms = 0);

// Xlib views of a display.
class x_view {
public:
	explicit x_view(const std::string& display);
	~x_view();
	bool ok() const { return dpy_ != nullptr; }
	// The top-level window named `name` (WM_NAME), 0 when none.
	unsigned long find_window(const std::string& name);
	// Every top-level window of that name, bottom of the stack first.
	std::vector<unsigned long> find_windows(const std::string& name);
	// Its position on the screen and size.
	bool geometry(unsigned long w, int* x, int* y, int* width, int* height);
	// Colour of a screen pixel as 0xRRGGBB.
	unsigned pixel(int x, int y);
	// The same for a screen rectangle, row by row (empty when it cannot be read).
	std::vector<unsigned> pixels(int x, int y, int width, int height);
	// Writes the window's pixels (XGetImage) to a PNG file.
	bool save_png(unsigned long w, const std::string& path);
	// Asks the window to close as a window manager would (WM_DELETE_WINDOW).
	bool send_close(unsigned long w);
	void pointer(int* x, int* y);
	// Presses a mouse button where the pointer is and releases it 12 ms
	// later, from this connection (no helper process to start first); false
	// when the server has no XTEST.
	bool click_here(unsigned button = 1);
	// Gives each keysym (by name) that no key bears an unused keycode of its
	// own, so xdotool finds it on the keymap: for a keysym off the keymap it
	// maps a spare key for a moment, and a program that reads the key after
	// the mapping is undone sees nothing. False when one could not be placed.
	bool map_keysyms(const std::vector<std::string>& names);

private:
	void* dpy_ = nullptr;
};

}  // namespace vtest
