#pragma once
// The installer wizard: one page at a time in the single window, produced by
// a step function per page that fills a fresh screen record every frame.
#include <string>
#include <vector>

#include "DIzivoz/OOPS_cpp/http.h"
#include "Installer-f/utils_faults.h"

struct wizard_screen;
typedef int (*wizard_step)(int first_time, wizard_screen& screen);

struct wizard_screen {
	std::string title;
	std::string body;
	wizard_step back = nullptr;
	wizard_step next = nullptr;
	float progress = -1;  // negative: no bar and no progress text
	std::string progress_text;
	int show_servers = 0;
	int prefs_enabled = 0;
	std::vector<std::string> choice_labels;
	std::vector<wizard_step> choice_steps;
	void (*cancel_hook)() = nullptr;
	// Asked before Quit or the window's close button ends the program; 0
	// keeps it running (the user chose to go on).
	int (*quit_question)() = nullptr;
};

// ---- driver -------------------------------------------------------------------
extern wizard_step g_wizard;
extern std::vector<std::string> step_names;
extern std::vector<wizard_step> step_funcs;
extern float btn_cuts[8][3];

void wizard_APP_update();  // APP_update of the installer
int wizard_quit(int first_time, wizard_screen& screen);
// The shell's quit request (the window's close button): the page's Quit.
void wizard_close_request();
int interface_rect(float x, float y, int icon, int align, int* out_width, int active, int look);
int interface_rect_wrap(float x, float y, int icon, int align, int* out_width, int active, int look);
void function_key(int key);
// The preferences window; until it exists the icon does nothing.
extern void (*handle_prefs_target)();
// Resets the driver's remembered step (tests run flows from their start).
void wizard_reset_last();
// The step of the previous frame (on a step's first frame: the page it came from).
wizard_step wizard_previous_step();
// Width in units of an icon for a language.
float interface_icon_width(int icon, int lang);
// Width of the progress bar for a progress value; 0 when no bar is drawn.
float wizard_bar_width(float progress);
// Wrap width of the page list; the lines of a page name there, broken where
// the wider of its two fonts (current bold, or regular) breaks it; the
// height the name takes.
constexpr float kStepWrap = 164;
std::vector<std::string> wizard_step_lines(const std::string& name);
// The page's body (x 230 to 770) keeps this much of its panel free at each side.
constexpr float kBodyMargin = 20;
float wizard_step_room(const std::string& name);

// ---- text (sizes, times, rates, disk space) -----------------------------------
std::string size_string(float kb);
// Seconds an install has left, from what came and what was installed in
// `elapsed` seconds: the slower of the download and the installing, at least
// 1 while anything remains, 0 when nothing does.
float install_seconds_left(float download_total_kb, float downloaded_kb, float install_total_kb, float installed_kb,
                           float elapsed);
std::string int_str(int n);
std::string flt_str(const char* fmt, float v);
std::string time_str(float seconds);
std::string rate_str(float kb_per_s);
// Draws the disk report below the page's text, or with beside_steps in the
// left column below the list of steps (pages whose middle the world map fills).
int UTIL_disk_space(const std::string& enough_text, const std::string& short_text, int beside_steps = 0);
// The height in the left column below the list of steps and the beta note.
float wizard_steps_bottom();
// What UTIL_disk_space shows and answers, without drawing; ok 0 when the
// volume could not be asked.
struct disk_report {
	int ok = 0;
	int enough = 1;
	std::string text;
};
disk_report UTIL_disk_report(const std::string& enough_text, const std::string& short_text);
int UTIL_cancel_install(std::string head, std::string tail, std::string caption1, std::string text1,
                        std::string caption2, std::string text2);

// ---- install registry ---------------------------------------------------------
extern std::vector<std::string> all_skyframes;
void locate_all_ventoras();
void register_new_ventora();
// Takes a folder out of the registry (and out of the unfinished installs).
void unregister_ventora(const std::string& folder);
// An install into folder began: until install_finished it counts as
// unfinished, also after the program was killed.
void install_started(const std::string& folder);
void install_finished(const std::string& folder);
bool install_unfinished(const std::string& folder);
// Deletes the partial copy in dest_dir_path and its registry line.
void discard_partial_install();
// What the destination pages say of an existing folder whose install did not finish.
std::string unfinished_copy_text(const std::string& install_folder, const std::string& parent_dir);
int path_is_to_a_sim();
void UTIL_pick_install();

// ---- server list and manifest ------------------------------------------------
extern std::string server_desc[10];
extern std::string cmd_line_path;
// What a server list says. servers counts the kept records (at most 10).
struct server_list_info {
	int header_ok = 0;
	int newer_installer = 0;  // INS_VERSION above ours
	std::string newer_address;
	int found_name = 0;
	std::string install_name;
	int count = 0;
	// path: the listed path, the install name in effect when the record was
	// read, and "/".
	std::string name[10], path[10], desc[10];
	std::vector<std::string> skipped;        // records left out, why
};
const int installer_version = 20402;
// The body after the header; header_ok is left to the caller.
server_list_info parse_server_body(const char* p, const char* end, int beta, const std::string& start_name);
// The whole file: header (text type, version 820, "SERVERS") then the body.
server_list_info parse_server_list_file(const std::string& path, int beta, const std::string& start_name);
// The biased draw: integer part of count x r^1.5, kept in 0..count-1; 0 when count < 1.
int draw_server(float r, int count);
void UTL_download_directory();
// A page's share of a frame: UTL_download_directory again while the list or
// the manifest is fetched and the frame's work budget lasts (once in the
// page's first frame).
void download_directory_frame(int first_time);
// Forgets the list and manifest transfers' retry state (a new run of the page).
void download_directory_reset();
// The server list's or (once it is read) the manifest's failed tries in a
// row, the wait until the next try, why the last one failed and the server asked.
struct directory_retry_info {
	int failures = 0;
	float wait = 0;
	net_failure why;
	std::string server;
};
directory_retry_info download_directory_retry();
// Ends the list and manifest transfers and deletes the partial manifest archive.
void directory_download_cancel();

// ---- web demo -----------------------------------------------------------------
extern int accept_eula_demo;
extern int demo_install_is_running;
int demo_start(int first_time, wizard_screen& s);
int demo_eula(int first_time, wizard_screen& s);
int demo_get_updates(int first_time, wizard_screen& s);
int demo_pick_dest(int first_time, wizard_screen& s);
int demo_run_patch(int first_time, wizard_screen& s);
int demo_done(int first_time, wizard_screen& s);
// The manifest download's bar and text (slot 1), for the pages that fetch it.
void manifest_progress(wizard_screen& s);
int dvd_do_run_sim(int first_time, wizard_screen& s);
// The install page's work for one frame (grab_files for the frame's work
// budget, the texts and the smoothed bar), shared by the web-demo and
// network-update flows. Back
// goes to `back` while it runs; 1 once everything is done (streams reset,
// Back cleared; the caller sets Next).
int patch_work_loop(wizard_step back, wizard_screen& s);
// Starts the smoothed install bar from 0 (a new run of an install page).
void patch_smoothing_reset();
// Cancels the download streams and deletes their partial archives.
void stream_reset();
// Text of the demo licence page.
extern const char* const demo_licence_text;

// ---- network update -----------------------------------------------------------
int net_start(int first_time, wizard_screen& s);
int net_pick_dest(int first_time, wizard_screen& s);
int net_get_updates(int first_time, wizard_screen& s);
int net_check_disk(int first_time, wizard_screen& s);
int net_run_patch(int first_time, wizard_screen& s);
int net_done(int first_time, wizard_screen& s);

// ---- entry point --------------------------------------------------------------
// 1 when the program runs from the installer disc and must copy itself to
// temp + last component of bundle, which it then starts.
int should_copy_self(const std::string& bundle, const std::string& temp, const std::string& dvd);
// The folder after -path, absolute against start (ending in '/'); empty when absent.
std::string path_argument(int argc, const char* const* argv, const std::string& start);
