#include "DIzivoz/GenC/hl_alert.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_debug.h"
#include "DIzivoz/UTL/UTL_mem.h"
#include "DIzivoz/UTL/UTL_exce.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/pref.h"
#include "Platform/plat_shell.h"
#include <unistd.h>
#include <vector>

namespace {
int in_alert = 0;

void drawn_alert(int return_window, const std::string& line1, const std::string& line2,
                 const std::string& line3, const std::string& line4, int kind, const std::string& where)
{
	shell_alert_reset_gl();
	int mouse_h = 0, mouse_v = 0;
	PLAT().get_global_mouse(&mouse_h, &mouse_v);
	MACIBM_startwind(994, 0);
	// The title bar names the kind of message. Set on every pass: a program's
	// first frame starts its window again, which would empty the title.
	const std::string title = kind == alert_warning ? UTL_translate_string("Warning")
	                          : kind == alert_fatal ? UTL_translate_string("Error")
	                          : kind == alert_picker ? std::string("Language/")
	                                                 : stls[stls_entry_title];
	while (mnw.wind_type == 994) {
		stls[stls_entry_title] = title;
		shell_plot_back_col();
		shell_fillwin(1, 21);
		shell_subwin_alert();
		if (kind == alert_warning || kind == alert_fatal) {
			const float cx = mnw.wind_dx / 2, wrap = 0.9f * mnw.wind_dx;
			shell_string(43, cx, 205, line1, wrap, 0, 1);
			shell_string(43, cx, 165, line2, wrap, 0, 1);
			shell_string(43, cx, 125, line3, wrap, 0, 1);
			shell_string(43, cx, 85, line4, wrap, 0, 1);
			if (kind == alert_fatal) shell_string(43, cx, 45, where, wrap, 0, 1);
		}
		if (kind == alert_picker) {
			std::vector<int> langs;
			UTL_lang_get_languages(langs);
			float y = 180;
			for (int lang : langs) {
				shell_is_int(mnw.wind_dx / 2 - 25, y, &mnw.language, lang, UTL_lang_get_button(lang));
				y -= 20;
			}
		}
		// The caption's entry is never filled: an empty button would say nothing.
		const std::string caption = stls[stls_entry_alert_button].empty() ? std::string("OK") : stls[stls_entry_alert_button];
		const std::string label = kind == alert_picker ? std::string("Accept") : caption;
		if (shell_action(mnw.wind_dx / 2, 18, 0, label) || return_hit) {
			return_hit = 0;
			// This pass is never shown: its boxes must not meet the next alert's.
			BTN_layout_clear();
			if (kind == alert_fatal) break;
			MACIBM_startwind(return_window, 0);
			PLAT().warp_global_mouse(mouse_h, mouse_v);
			break;
		}
		if (mnw.wind_type == 994) MACIBM_event_proc();
	}
}

}  // namespace

// The report's presenter: runs on the main thread.
void MACIBM_present_alert(const alert_record& a)
{
	const std::string where = "(" + a.source_file + " line " + std::to_string(a.source_line) + ")";

	// A fatal alert leaves a stack dump beside the log for the bug report.
	if (a.kind == alert_fatal) {
		if (std::FILE* f = UTL_open_log_file(UTL_log_folder(), "stack_crawl.txt", "a")) {
			UTL_dump_stack(f, nullptr, nullptr);
			std::fclose(f);
		}
	}

	// The frame-rate test shows nothing and never waits for anyone.
	if (cmdline.has_option("--fps_test")) {
		xer << a.line1 << "\n" << a.line2 << "\n" << a.line3 << "\n" << a.line4 << "\n" << where << "\n";
		xer.flush();
		if (a.kind == alert_fatal) MACIBM_fatal_exit();
		return;
	}

	const int was_in_alert = in_alert;
	in_alert = 1;
	if (!ogl_inited || was_in_alert) {
		MACIBM_native_alert(a.line1, a.line2, a.line3, a.line4);
		if (a.kind == alert_fatal) std::fprintf(stderr, "%s\n", where.c_str());
	} else if (!a.line1.empty() || !a.line2.empty() || !a.line3.empty() || !a.line4.empty()) {
		drawn_alert(a.return_window, a.line1, a.line2, a.line3, a.line4, a.kind, where);
	}

	if (a.kind == alert_warning || a.kind == alert_fatal || was_in_alert)
		dump_mem_stats("This is the dump_mem_stats call from the following code: if(type==t_exit || type == t_alert || recursive_error)");
	xer << "\n" << a.line1 << "\n" << a.line2 << "\n" << a.line3 << "\n" << a.line4 << "\n" << where << "\n";
	xer.flush();
	if ((a.kind == alert_picker || a.kind == alert_warning) && !was_in_alert) {
		in_alert = 0;
		return;
	}
	MACIBM_finishup(0);
	app_done = 1;
	MACIBM_fatal_exit();
}

void MACIBM_native_alert(const std::string& line1, const std::string& line2, const std::string& line3,
                         const std::string& line4)
{
	// No length limit: the box and the stream take the whole text.
	const std::string text = line1 + " " + line2 + "\n\n" + line3 + " " + line4;
	std::fprintf(stderr, "%s\n", text.c_str());
	std::fflush(stderr);
	PLAT().message_box("Ventora Installer", text);
}

void MACIBM_fatal_exit()
{
	xer.flush();
	xer.close();
	std::fflush(nullptr);
	_exit(1);
}

void MACIBM_finishup(int flag)
{
	// Shutdown belongs to the main thread (it joins the workers and closes the
	// window); from another thread it only asks the main loop to end.
	if (THREAD_is_inited() && !THREAD_is_main_thread()) {
		app_done = 1;
		return;
	}
	if (flag == 1) {
		if (!cmdline.has_option("--fps_test")) {
			pref.IO_set(11, 1);
			shell_keys_save();
		}
		shell_mov_stop_thread();
		THREAD_shutdown();
	}
	MACIBM_setres(0);
	if (mnw.second_window) MACIBM_nuke_context(1);
	MACIBM_nuke_context(0);
	xer.close();
	PLAT().show_menu_bar(true);
	PLAT().flush_events();
}

void IBM_turnoff() {}

int MACIBM_launch_in_place(const std::string& app, const std::string& arg, int finish)
{
	if (int err = launch_app(app, arg)) return err;
	if (finish) MACIBM_finishup(1);
	xer.flush();
	std::exit(1);
}

int MACIBM_nuke_alert(std::string name, int three_choices)
{
	MACIBM_startwind(995, 0);
	int result = 3;
	while (mnw.wind_type == 995) {
		shell_plot_back_col();
		shell_fillwin(1, 21);
		shell_string(43, 20, mnw.wind_dy - 40, stls[611] + name + " " + stls[612], mnw.wind_dx - 40, 0, 0);
		const std::string b1 = stls[608], b2 = stls[609], b3 = stls[610];
		const float x = shell_str_dx(b1) / 2 + 20;
		int hit = 0;
		if (shell_action(x, 60, 0, b1)) hit = 1;
		else if (shell_action(x, 25, 0, b2)) hit = 2;  // under the first button
		else if (three_choices && shell_action(mnw.wind_dx - shell_str_dx(b3) / 2 - 20, 25, 0, b3)) hit = 3;
		if (hit) {
			result = hit;
			MACIBM_startwind(0, 0);
			break;
		}
		if (mnw.wind_type == 995) MACIBM_event_proc();
	}
	return result;
}
