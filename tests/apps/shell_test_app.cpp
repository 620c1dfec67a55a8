// A small application on the real shell for the window tests: it starts the
// shell, runs frames until the window is closed and shuts down. What it does
// besides is chosen by SHELL_APP_MODE; it reports what happened as lines in
// "app_report.txt" in its folder (the working folder after start-up).
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "DIzivoz/GenC/hl_about.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_files.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/pref.h"
#include "Installer-f/prefs_window.h"
#include "Installer-f/shell_questions.h"
#include "Platform/plat_shell.h"
#include "Platform/plat_swap.h"

namespace {
std::string mode;
int frame = 0;
int last_type = -100;

std::mutex report_lock;  // the pacing mode reports from a second thread too
void report(const std::string& line)
{
	std::lock_guard<std::mutex> hold(report_lock);
	std::ofstream f("app_report.txt", std::ios::app);
	f << line << "\n";
}

void report_window()
{
	int wx = 0, wy = 0;
	if (mnw.window[0]) SDL_GetWindowPosition(static_cast<SDL_Window*>(mnw.window[0]), &wx, &wy);
	char buf[256];
	std::snprintf(buf, sizeof buf, "wind %d %d %d %d %d res %d %d at %d %d lang %d", mnw.wind_type,
	              (int)mnw.wind_x, (int)mnw.wind_y, (int)mnw.wind_dx, (int)mnw.wind_dy, mnw.x_res, mnw.y_res, wx, wy,
	              mnw.language);
	report(buf);
}

void on_event(const EventRecord& e)
{
	if (e.what == plat_evt_key_down || e.what == plat_evt_key_up || e.what == plat_evt_auto_key) {
		char buf[128];
		std::snprintf(buf, sizeof buf, "key %d typed %d code %d vkey %d flags %d", e.what, e.code_point,
		              (int)((e.message >> 8) & 0xFF), keys.last_vkey, keys.last_flags);
		report(buf);
	}
	if (e.what == 1) report("click " + std::to_string((int)mnw.mouse_x) + " " + std::to_string((int)mnw.mouse_y));
}

void* worker_alert(void*)
{
	__MACIBM_alert(0, "From a worker", "", "", "", alert_warning, "DIzivoz/test", 9);
	return nullptr;
}

// The second window beside the main one. A texture made in the main
// context is drawn by the second window's context, so the second window
// shows its colour only when the two share their objects.
void open_second_window()
{
	mnw.dual_monitor = mnw.second_window = 1;
	const int made = MACIBM_make_context(1);
	int wx = -1, wy = -1;
	if (mnw.window[1]) SDL_GetWindowPosition(static_cast<SDL_Window*>(mnw.window[1]), &wx, &wy);
	report("second window " + std::to_string(made) + " at " + std::to_string(wx) + " " + std::to_string(wy));
	if (!made) return;
	GLuint tex = 0;
	gl.GenTextures(1, &tex);
	gl.BindTexture(GL_TEXTURE_2D, tex);
	const unsigned char magenta[16] = {255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255};
	gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
	gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
	gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, magenta);
	gl.Finish();
	SDL_GL_MakeCurrent(static_cast<SDL_Window*>(mnw.window[1]), mnw.context[1]);
	report("shared " + std::to_string((int)gl.IsTexture(tex)));
	gl.Viewport(0, 0, mnw.x_res, mnw.y_res);
	gl.MatrixMode(GL_PROJECTION);
	gl.LoadIdentity();
	gl.Ortho(0, 1, 0, 1, -1, 1);
	gl.MatrixMode(GL_MODELVIEW);
	gl.LoadIdentity();
	for (GLenum cap : {GL_DEPTH_TEST, GL_CULL_FACE, GL_BLEND, GL_ALPHA_TEST, GL_FOG, GL_LIGHTING}) gl.Disable(cap);
	gl.Enable(GL_TEXTURE_2D);
	gl.BindTexture(GL_TEXTURE_2D, tex);
	gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
	gl.Begin(GL_QUADS);
	gl.TexCoord2f(0, 0), gl.Vertex2f(0, 0);
	gl.TexCoord2f(0, 1), gl.Vertex2f(0, 1);
	gl.TexCoord2f(1, 1), gl.Vertex2f(1, 1);
	gl.TexCoord2f(1, 0), gl.Vertex2f(1, 0);
	gl.End();
	SDL_GL_SwapWindow(static_cast<SDL_Window*>(mnw.window[1]));
	SDL_GL_MakeCurrent(static_cast<SDL_Window*>(mnw.window[0]), mnw.context[0]);
}

// The frame's mouse whenever it changes, with the window in front.
void report_mouse()
{
	static std::string last;
	const int front = PLAT().front_window() == mnw.window[1] ? 1 : 0;
	const std::string line = "mouse " + std::to_string((int)mnw.mouse_x) + " " + std::to_string((int)mnw.mouse_y) +
	                         " wind " + std::to_string(mnw.wind_mouse) + " front " + std::to_string(front);
	if (line != last) report(line);
	last = line;
}

// The about window, opened again each time it is closed until the file
// "about_done" exists.
int about_openings = 0;
void about_loop()
{
	// The frame that closes the window runs the update again before it returns.
	static bool inside = false;
	if (inside || std::ifstream("about_done").good()) return;
	inside = true;
	++about_openings;
	report("about open " + std::to_string(about_openings));
	MACIBM_about();
	report("about closed " + std::to_string(about_openings));
	inside = false;
}

void report_about()
{
	static std::string last;
	// The wait before the frame now shown: taken at the previous swap.
	static int wait_before = 0;
	const int waited = wait_before;
	wait_before = MACIBM_frame_waited(nullptr);
	const about_view& v = MACIBM_about_view();
	if (!v.open) return;
	const std::string line = "about state " + std::to_string(v.ins_state) + " fetches " +
	                         std::to_string(v.list_fetches) + " button '" + v.button + "' status '" + v.status + "'";
	if (line != last) {
		report(line);
		report("about frame after a wait of " + std::to_string(waited) + " ms");
	}
	last = line;
}

// Pacing: each click or key flips the colour of a square; the frame that
// takes the input says how the wait before it ended, and the swap says when
// the frame that shows it is on screen. "quiet" comes once the window idles;
// "skipped N" counts the frames since not drawn, seen from another thread.
int inputs = 0, inputs_shown = 0, quiet_reports = 0, quiet_streak_reported = 0;
void pacing_frame()
{
	int frame_woken = 0;
	const int frame_waited = MACIBM_frame_waited(&frame_woken);
	report("frame " + std::to_string(frame) + " waited " + std::to_string(frame_waited) + " ms, woken " +
	       std::to_string(frame_woken));
	if (mnw.mouse_click || mnw.key_hit) {
		++inputs;
		int woken = 0;
		const int waited = MACIBM_frame_waited(&woken);
		report("input " + std::to_string(inputs) + " in frame " + std::to_string(frame) + " after a wait of " +
		       std::to_string(waited) + " ms, woken " + std::to_string(woken));
	}
	// The quiet count is of the frames before this one: this one is quiet
	// too when its wait ran out, and the next frame is not drawn.
	if (MACIBM_quiet_frames() == 0) quiet_streak_reported = 0;
	if (MACIBM_quiet_frames() >= 1 && !frame_woken && !mnw.mouse_click && !mnw.key_hit && !quiet_streak_reported) {
		quiet_streak_reported = 1;
		report("quiet " + std::to_string(++quiet_reports) + " mouse " + std::to_string((int)mnw.mouse_x) + " " +
		       std::to_string((int)mnw.mouse_y) + " skipped " + std::to_string(MACIBM_frames_skipped()));
	}
	shell_fillrect(inputs % 2 ? 58 : 40, 1.0f, 300, 250, 200, 100);
}

// The installer's preferences window: its settings, the control that has the
// keyboard focus and the text selection, whenever any of them changes; the
// open pop-up's items once per opening.
void report_prefs()
{
	static std::string last;
	if (mnw.wind_type != 2) return;
	const prefs_layout_t& L = prefs_layout();
	const struct {
		const char* name;
		float x, y;
	} fields[] = {{"host", L.host_x, L.host_y}, {"port", L.port_x, L.port_y}, {"streams", L.streams_x, L.streams_y}};
	std::string focus = focus_id ? std::to_string(focus_id) : "none";
	for (const auto& f : fields)
		if (focus_id && focus_id == BTN_focus_id_at(f.x, f.y)) focus = f.name;
	int s = -1, e = -1;
	if (ogle) OGLE_GetSelection(ogle, &s, &e);
	char buf[512];
	std::snprintf(buf, sizeof buf, "prefs platform %d log %d beta %d streams %d host '%s' port '%s' %d focus %s sel %d %d menu %d",
	              stg.platform, stg.log_actions, stg.get_beta, stg.stream_count, http.proxy_host.c_str(),
	              http.proxy_port_text.c_str(), http.proxy_port, focus.c_str(), s, e, mnw.menu_open);
	if (buf == last) return;
	const bool opened = mnw.menu_open >= 0 && last.find("menu " + std::to_string(mnw.menu_open)) == std::string::npos;
	if (opened && mnw.menu_open < (int)menu.size())
		for (const item_struct& it : menu[mnw.menu_open].items)
			report("item '" + it.label + "' at " + std::to_string((it.left + it.right) / 2) + " " +
			       std::to_string((it.bottom + it.top) / 2));
	report(buf);
	last = buf;
}

void update()
{
	++frame;
	if (mode == "two_windows") report_mouse();
	if (mode == "about" && frame >= 3) about_loop();
	// A main-screen mark: a bar in palette 40 at the bottom left.
	shell_plot_back_col();
	shell_fillrect(40, 1.0f, 0, 0, 100, 20);
	if (mode == "pacing") pacing_frame();
	if (frame == 3) {
		report("ready");
		if (mode == "alert") {
			int x = 0, y = 0;
			SDL_GetGlobalMouseState(&x, &y);
			report("mouse before " + std::to_string(x) + " " + std::to_string(y));
			__MACIBM_alert(0, "Something to say", "Second line", "", "", alert_warning, "DIzivoz/test", 1);
			SDL_GetGlobalMouseState(&x, &y);
			report("alert returned, mouse " + std::to_string(x) + " " + std::to_string(y));
		}
		if (mode == "fatal") __MACIBM_alert(0, "Fatal line", "", "", "", alert_fatal, "DIzivoz/test", 2);
		if (mode == "worker") {
			MACIBM_startwind(2, 0);
			std::thread t([] { worker_alert(nullptr); });
			t.join();
		}
		if (mode == "save_dialog") {
			std::string path;
			const int r = BTN_opensave(999, 11, &path);
			report("opensave " + std::to_string(r) + " '" + path + "'");
		}
		if (mode == "select") report("select " + std::to_string(select_alert("/some/file.txt", 0)));
		if (mode == "prefs") {
			handle_prefs();
			report("prefs closed");
		}
		if (mode == "abort")
			report("abort " + std::to_string(abort_alert("Cancel?", "Yes", "stop it", "No", "go on")));
	}
}

// Every swap ends a frame: report sub-window changes, also inside dialog loops.
void swap_and_report(void* window)
{
	if (mnw.wind_type != last_type) {
		last_type = mnw.wind_type;
		report_window();
	}
	if (mode == "about") report_about();
	if (mode == "prefs") report_prefs();
	if (window) SDL_GL_SwapWindow(static_cast<SDL_Window*>(window));
	if (mode == "pacing" && inputs != inputs_shown) {
		inputs_shown = inputs;
		report("shown input " + std::to_string(inputs) + " in frame " + std::to_string(frame));
	}
}
}  // namespace

int main(int argc, char** argv)
{
	const char* m = std::getenv("SHELL_APP_MODE");
	mode = m ? m : "idle";
	MACIBM_set_event_observer(on_event);
	APL_set_swap_hook(swap_and_report);
	MACIBM_init(argc, argv);
	if (mode == "two_windows") open_second_window();
	install_shell_questions();
	// The installer's preferences hold the hosts and the proxy.
	if (mode == "about") pref.IO_set(11, 0);
	if (mode == "prefs") {
		stg_set_start_values();
		pref.IO_set(11, 0);
	}
	MACIBM_set_app_hooks(app_hooks{update, nullptr, nullptr});
	report_window();
	std::atomic<bool> ending{false};
	std::thread skips;
	if (mode == "pacing")
		skips = std::thread([&ending] {
			int seen = 0;
			while (!ending) {
				const int n = MACIBM_frames_skipped();
				if (n != seen) report("skipped " + std::to_string(seen = n));
				std::this_thread::sleep_for(std::chrono::milliseconds(5));
			}
		});
	while (!app_done) {
		MACIBM_event_proc();
	}
	ending = true;
	if (skips.joinable()) skips.join();
	report("quit");
	MACIBM_finishup(1);
	return 0;
}
