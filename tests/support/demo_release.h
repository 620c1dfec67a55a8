#pragma once
// A web-demo release built by the maker-side mode from a small master, served
// on loopback with a one-server "serverlist9.txt", and the installer's window
// driven through it page by page with real X input.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/http_server.h"
#include "tests/support/maker_master.h"

namespace vtest {

// The demo master: the folders a simulator copy has, a Linux executable that
// writes a marker file beside itself, a link, a tile with a pre-made .7z
// beside it, one tile without, and files of the other platforms.
std::vector<mtest::master_entry> demo_master();

struct demo_release {
	std::string work;                                  // ends in '/'
	std::string web_host = "www.tarnwick.example";     // serves serverlist9.txt
	std::string file_host = "files.tarnwick.example";  // serves the release
	std::string name;                                  // install-set name
	std::unique_ptr<http_server> server;
	std::string master;                                // the master folder, ends in '/'
};

// Builds the release under work and serves it; empty when ready, else why not.
std::string build_demo_release(const std::string& work, demo_release& out);
// The same from a master of one's own (demo_master() and more, for benchmarks).
std::string build_demo_release(const std::string& work, demo_release& out, const std::vector<mtest::master_entry>& master);
// Text of a server list naming one server of the release.
std::string demo_server_list(const demo_release& r);

// A later product release (build type 0) of the master `entries`, whose
// previous manifest is the one `base_manifest_zip` holds with its records
// made one version older, written under work and served by r's server as
// host (a server list naming it: demo_server_list with that host). Empty
// when ready, else why not. `manifest_zip` receives the new manifest's path.
std::string build_update_release(const demo_release& r, const std::vector<mtest::master_entry>& entries,
                                 const std::string& base_manifest_zip, const std::string& work,
                                 const std::string& host, std::string* manifest_zip);
// The zipped manifest of the demo release.
std::string demo_manifest_zip(const demo_release& r);
std::string demo_server_list(const demo_release& r, const std::string& host);

// What the window run did.
struct gui_run_result {
	std::string failure;                 // empty when every page was reached
	std::vector<std::string> screens;    // screenshot files, one per page
	int exit_status = -1;
	std::string dest;                    // installed folder, ends in '/'
	std::string run_folder;              // the program's own folder
	std::string log;
};

// What a test may do with the running window at its stop page.
struct gui_ctl {
	std::function<void(float x, float y)> click;     // a point of the window, GUI units
	std::function<void(const std::string& key)> key; // xdotool key name
	std::function<bool(const std::string& text, double seconds)> wait_log;
	std::function<std::string()> log;                // the program's log so far
	std::function<bool(const std::string& png)> save_png;  // the window's picture
	// On the licence page: ticks the box and presses Next until page 2 shows
	// (a busy machine may lose either click, or see both in one frame).
	std::function<bool()> accept_licence;
	std::function<unsigned(float x, float y)> pixel; // colour 0xRRGGBB of a point of the window, GUI units
	std::function<void()> close_window;              // the window manager's close message
	std::string run_folder;
	int pid = -1;                                    // the program's process
	std::string display;                             // the run's own X server
	std::function<void(float x, float y, int* sx, int* sy)> screen_point;  // a point of the window on the screen
};

// The program's own translation tables for one language while it lives
// (0: English, none loaded), so a test expects what the window shows.
struct language_table {
	explicit language_table(int lang);
	~language_table();
	language_table(const language_table&) = delete;
	language_table& operator=(const language_table&) = delete;
};
std::string T(const char* s);  // a text as the loaded table gives it

// Centres of a page's bottom icons in a language (GUI x; the icons' y is 23).
float next_x(int lang);
float quit_x(int lang);
float back_x(int lang);
float prefs_x(int lang);
// Next until the log shows `line` (a busy machine may lose a click).
bool next_until(gui_ctl& c, int lang, const std::string& line);

// When VENTORA_KEEP_SHOTS names a folder: the window's picture as name.png
// there, once two looks 100 ms apart agree (the page has drawn what it logged).
void keep_settled_shot(gui_ctl& c, const std::string& name);
// The same for any window that can save its picture.
void keep_settled_shot(const std::function<bool(const std::string& png)>& save, const std::string& name);

struct gui_run_options {
	// Stop the page walk when this page is reached (after its picture), call
	// at_stop, then wait for the program to end.
	int stop_at = 99;
	std::function<void(gui_ctl& ctl)> at_stop;
	double exit_timeout = 30;
	std::string program = "ventora_installer";
	int language = 0;               // 0 English, 1 French, 2 German
	std::string screens_folder;     // where to save the pictures ("" none)
	bool fly = true;                // press "Fly" on the Finish page, else Quit
	bool change_destination = true; // pick the parent folder through the dialog stand-in
	double page_timeout = 60;
	std::vector<std::string> extra_args;
	// Environment of the program beyond the test defaults ("<unset>" removes one).
	std::map<std::string, std::string> extra_env;
	// Move the pointer off the icons (to the window's top right corner)
	// before each page's picture, so every icon shows its plain look.
	bool park_mouse = false;
	// Called as soon as the log shows page `index` (before its picture).
	std::function<void(int index)> on_reached;
	// Called right before the button goes down on each press of Next meant
	// to lead to page `index` (again when a lost press is repeated): where
	// the user's wait starts.
	std::function<void(int index)> before_next;
	// Called with the run folder after each page's screenshot.
	std::function<void(const std::string& page)> on_page;
	// Where the program runs (its copy, its log, home/ with the preferences,
	// the desktop and the install), kept afterwards; empty: a temporary folder.
	std::string run_folder;
	// The folder picked in the destination dialog, relative to the run folder.
	std::string install_parent = "home/Apps";
};

// Starts the program on the current DISPLAY against the served release,
// clicks through every page and reports. The caller keeps `keep` alive to
// look at the run folder afterwards.
gui_run_result run_web_demo_gui(const demo_release& r, const gui_run_options& o, std::shared_ptr<void>& keep);

// Writes the pictures, in order, as one PNG grid of `columns` half-size
// pictures, left to right and top to bottom; empty when written, else why not.
std::string write_contact_sheet(const std::vector<std::string>& pictures, int columns, const std::string& out);

}  // namespace vtest
