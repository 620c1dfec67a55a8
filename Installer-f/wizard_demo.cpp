// The web-demo flow: Welcome, License, Check Servers, Pick Destination,
// Install and Finish; and the step that starts the installed simulator.

#include <algorithm>
#include <chrono>
#include <cmath>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_extract.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard.h"
#include "Installer-f/wizard_dvd.h"
#include "Installer-f/wizard_faults.h"

int accept_eula_demo = 0;
int demo_install_is_running = 0;

const char* const demo_licence_text =
    "This web demo of Ventora 9 may be used free of charge for evaluation.  You may install it on any number of your own "
    "computers, but you may not sell it, rent it or pass on changed copies.\n\nThe demo is provided as it is, without "
    "any warranty.  Tarnwick is not liable for any damage that its use may cause.";

namespace {
std::string T(const char* s) { return UTL_translate_string(s); }

// Destination-page state.
std::string parent_dir, install_folder, desktop_f;
int sizes_stale = 1;
float totl_inst_rat = 0;
stall_watch arrivals;  // when the install page last saw data arrive
void patch_texts(wizard_step back, wizard_screen& s);
}  // namespace

void stream_reset()
{
	// Extractions under way stop without leaving partial files.
	extract_pool_stop();
	for (int i = 0; i < 4; ++i) {
		if (!next.active[i]) continue;
		// Stop the transfer first, so no late answer lands in a reused file.
		http.cancel(i + 2);
		const int f = next.stream_file[i];
		if (f >= 0 && f < (int)sim_info.size() && !temp_path.empty()) {
			delete_file(temp_path + int_str(i) + ".zip");
			delete_file(temp_path + int_str(i) + ".7z");
		}
	}
	next_reset(xtim.elapsed);
	grab_retry_reset();
}

int demo_start(int first_time, wizard_screen& s)
{
	if (first_time) {
		accept_eula_demo = 0;
		locate_all_ventoras();
		step_names = {T("Welcome"), T("License"), T("Check Servers"), T("Pick Destination"), T("Install"), T("Finish")};
		step_funcs = {demo_start, demo_eula, demo_get_updates, demo_pick_dest, demo_run_patch, demo_done};
		stream_reset();
	}
	s.title = T("Welcome");
	s.prefs_enabled = 1;
	s.body = T("I will guide you through the process of installing the web demo of Ventora 9.");
	if (!all_skyframes.empty())
		s.body += T("\n\nWarning: you already have Ventora 9 installed on this computer.  Are you sure you want to install "
		            "a new demo copy of Ventora 9?");
	s.next = demo_eula;
	return 0;
}

int demo_eula(int, wizard_screen& s)
{
	s.title = T("End User License Agreement (EULA)");
	s.body = T(demo_licence_text);
	s.back = demo_start;
	s.next = accept_eula_demo ? demo_get_updates : nullptr;
	// The box starts at the body's margin, its label 13 units after it.
	OGL_string(45, 257, 100, T("I accept this agreement."), 513, charset_regular, 0);
	BTN_bool(237, 100, &accept_eula_demo, "", 0);
	return 0;
}

int demo_get_updates(int first_time, wizard_screen& s)
{
	if (first_time && stg.stage == stg_stage_ready) stg.stage = stg_stage_read;
	s.title = T("Check Servers");
	s.back = demo_eula;
	s.cancel_hook = directory_download_cancel;
	download_directory_frame(first_time);
	const std::string problem = directory_problem_text();
	if (stg.server_count == -1) {
		s.body = T("I am contacting ") + web_host + T(" to find a demo server.");
		if (!problem.empty()) s.body += "\n\n" + problem;
		return 0;
	}
	switch (stg.stage) {
	case stg_stage_read:
		s.body = T("I am processing information about the available demo.");
		return 0;
	case stg_stage_refused:
		s.body = T("There was a problem reading information from the servers.");
		return 0;
	case stg_stage_ready:
		// Drawn once as the page moves on: it keeps saying what was done.
		s.body = T("I am processing information about the available demo.");
		s.back = nullptr;
		s.next = demo_pick_dest;
		return 1;
	default:
		break;
	}
	manifest_progress(s);
	s.body = UTL_string_sub(T("I am downloading demo info from %1:server name%."), server_name[stg.server_sel]);
	if (!problem.empty()) s.body += "\n\n" + problem;
	return 0;
}

void manifest_progress(wizard_screen& s)
{
	int percent = 0;
	s.progress = 0;
	if (down_class* d = http.slot[1]) {
		if (d->mExpected < 0) {
			percent = -1;
			s.progress = -0.01f;
		} else if (d->mExpected > 0) {
			percent = (int)(d->mReceived * 100 / d->mExpected);
			s.progress = (float)d->mReceived / (float)d->mExpected;
		}
	}
	if (percent == -1)
		s.progress_text = T("I am checking the net for the latest version of Ventora 9 right now, and I am connecting to "
		                    "the server...");
	else
		s.progress_text = UTL_string_sub(T("I am checking the net for the latest version of Ventora 9 right now, and I "
		                                   "am %1:progress%% done checking."),
		                                 int_str(percent));
}

namespace {
// Back and Quit during the install ask the same: 1 when the user chose to
// cancel, and then the partial copy is gone, registry line and all.
int cancel_question()
{
	return ask_to_stop_job(T("Are you sure you want to cancel the installation?  This will delete the partially "
	                         "installed copy of the Ventora 9 demo."),
	                       T("Cancel"), T("the demo installation and delete partial installation."),
	                       T("the demo installation process."), T("Cancel Installation"), demo_install_is_running, [] {
		                       stream_reset();
		                       discard_partial_install();
	                       });
}

int quit_question() { return demo_install_is_running ? cancel_question() : 1; }

// The remove choice of an unfinished copy: back to the page, the folder gone.
int demo_remove_partial(int, wizard_screen& s)
{
	discard_partial_install();
	s.next = demo_pick_dest;
	return 1;
}
}  // namespace

int demo_pick_dest(int first_time, wizard_screen& s)
{
	if (first_time) {
		if (demo_install_is_running && !cancel_question()) {
			s.next = demo_run_patch;
			return 1;
		}
		stream_reset();
		get_OS_abs_path(os_dir_desktop, desktop_f);
		sizes_stale = 1;
	}
	if (parent_dir.empty()) {
		get_OS_abs_path(os_dir_default_apps, parent_dir);
		install_folder = UTL_string_sub(T("%1:install name% Demo"), "Ventora 9");
		sizes_stale = 1;
	}
	s.title = T("Pick Install Destination.");
	s.back = demo_eula;
	s.next = demo_run_patch;

	const std::string change = T("Change Destination"), label = T("Install Name:");
	const int bw = (int)(str_dx(change) + 21), lw = (int)str_dx(label);
	// The button starts at the body text's margin, however long its label.
	const float cx = 229 + bw / 2.0f;
	if (BTN_action(cx, 203, (float)bw, 0, 1, change, "-")) {
		std::string picked;
		if (GetFilePathFromUser(2, T("Pick a folder to install the Ventora 9 demo into."), T("Select"), 0, parent_dir,
		                        picked)) {
			parent_dir = picked == "/" || (!picked.empty() && picked.back() == '/') ? picked : picked + "/";
			sizes_stale = 1;
		}
	}
	const int fx = (int)(cx + bw / 2.0f + 20 + lw);
	const std::string before = install_folder;
	BTN_enterstring((float)fx, 200, &install_folder, 256, "-" + label, (float)(760 - fx), 0);
	if (install_folder != before) sizes_stale = 1;

	dest_dir_path = install_folder.empty() ? parent_dir : parent_dir + install_folder + "/";
	// A name that leaves its parent folder cannot be installed into.
	const std::string name_problem = install_name_problem(install_folder);
	if (!name_problem.empty()) {
		s.next = nullptr;
		s.body = name_problem;
		return 0;
	}
	const bool exists = dir_exists(dest_dir_path);
	if (exists && !install_unfinished(dest_dir_path)) {
		s.next = nullptr;
		s.body = UTL_string_sub(T("The folder '%1:install name%' already exists inside the folder '%2:parent folder%'.\n\n"
		                          "Please change the install name or destination."),
		                        install_folder, parent_dir);
		return 0;
	}
	if (exists) {
		// An install that was stopped (a killed run): finished from here on,
		// the files already there are kept; or removed.
		s.body = unfinished_copy_text(install_folder, parent_dir);
		s.choice_labels.push_back(T("Remove the Partial Copy"));
		s.choice_steps.push_back(demo_remove_partial);
	} else {
		s.body = UTL_string_sub(T("I will create the folder '%1:install name%' inside the folder '%2:parent folder%'."),
		                        install_folder, parent_dir);
		if (parent_dir == desktop_f)
			s.body += UTL_string_sub(T("\n\n(The folder %1:install name% will appear on your desktop.)"), install_folder);
	}
	// The destination's files are signed a frame at a time (an unfinished
	// copy may hold many); the sizes follow once they are.
	static int scan_next = -1;  // -1: no pass under way
	if (sizes_stale) {
		sizes_stale = 0;
		checksum_directory_kill();  // a pass of another destination
		scan_next = 0;
	}
	if (scan_next >= 0) {
		s.cancel_hook = checksum_directory_kill;
		float progress = 0;
		if (!checksum_directory_frame(scan_next, progress)) {
			s.next = nullptr;
			s.body += "\n\n" + UTL_string_sub(T("I am scanning %1:folder path% to see what files need updating."),
			                                  dest_dir_path);
			return 0;
		}
		scan_next = -1;
		set_install_filter(1, 1);
		scenery_take_all();
		recalc_disk_sizes();
	}
	if (!UTIL_disk_space(T("You have enough free disk space to install the Ventora 9 demo at this location."),
	                     T("You do not have enough free disk space to install the Ventora 9 demo at this location.  You "
	                       "can install to a different location, or save disk space by installing only some of the global "
	                       "scenery.")))
		s.next = nullptr;
	return 0;
}

int demo_run_patch(int first_time, wizard_screen& s)
{
	if (!demo_install_is_running) {
		if (!choose_files() || make_dirs() != 0) {
			s.next = demo_pick_dest;
			return 1;
		}
		stream_reset();
		demo_install_is_running = 1;
		totl_inst_rat = 0;
		install_started(dest_dir_path);
		register_new_ventora();
	}
	s.title = T("Installing");
	s.quit_question = quit_question;
	if (!patch_work_loop(demo_pick_dest, s)) {
		if (!grab_halt_settled()) return 0;
		// The question comes over the page it belongs to, once that is shown.
		if (first_time) {
			MACIBM_frame_busy();
			return 0;
		}
		// Asked once for a fault every later file would meet; Continue tries again.
		const int r = halt_question(T("An error occurred during installation:"), grab_halt(), T("Cancel"),
		                            T("the demo installation and delete partial installation."), T("Continue"),
		                            T("the demo installation process."));
		grab_halt_clear();
		if (r != 1) return 0;
		stream_reset();
		discard_partial_install();
		demo_install_is_running = 0;
		s.next = demo_pick_dest;
		return 1;
	}
	s.next = demo_done;
	demo_install_is_running = 0;
	install_finished(dest_dir_path);
	return 1;
}

void patch_smoothing_reset()
{
	totl_inst_rat = 0;
	arrivals.reset();
}

namespace {
// The install page's text while a file fails: what happened and when it is
// tried again.
std::string download_failure_text()
{
	// With one server there is no other server to try.
	std::string text =
	    stg.server_count > 1
	        ? T("I can not download the file '%1:filename%'.\n\nYour internet connection may not be working, or the "
	            "server could be undergoing maintainance or an upgrade right now.\n\nI am trying another server now to "
	            "see if I can still get you a download...")
	        : T("I can not download the file '%1:filename%'.\n\nYour internet connection may not be working, or the "
	            "server could be undergoing maintainance or an upgrade right now.");
	const grab_retry_info r = grab_retry_status();
	text = UTL_string_sub(text, r.failures > 0 ? r.url : crnt_file_path);
	if (r.failures > 0) {
		const std::string why = net_failure_text(r.why, server_name[std::max(0, std::min(stg.server_sel, 9))]);
		page_notice(why);
		text += "\n\n" + why + " " + retry_text(r.wait);
	}
	return text;
}
}  // namespace

int patch_work_loop(wizard_step back, wizard_screen& s)
{
	s.show_servers = 1;
	// Quit stops the extractions, ends the transfers and removes their partial archives.
	s.cancel_hook = stream_reset;
	int done = 0, passes = 0;
	{
		// Downloads go on while the frame is rendered; a run that ends then
		// is seen in the next frame (a further pass answers 1 again). A run
		// stopped on a local fault waits for the user's answer.
		frame_work work([] { return grab_files() == 0 && !grab_halted(); });
		while (!(done = grab_files())) {
			if (grab_halted()) {
				frame_work::drop_then();
				s.back = back;
				s.next = nullptr;
				return 0;
			}
			++passes;
			const float f = 5 * xtim.frame_prd[0];
			const float target = stg.total_install_kb > 0 ? next.done_install_kb / stg.total_install_kb : 1.0f;
			totl_inst_rat = (1 - f) * totl_inst_rat + f * target;
			if (!(totl_inst_rat >= 0)) totl_inst_rat = 0;
			if (totl_inst_rat > 1) totl_inst_rat = 1;
			if (!work.more()) break;
		}
	}
	if (passes) patch_texts(back, s);
	if (!done) return 0;
	frame_work::drop_then();
	stream_reset();
	s.back = nullptr;
	return 1;
}

namespace {
// What the last pass of the frame left is what the frame shows.
void patch_texts(wizard_step back, wizard_screen& s)
{
	std::string text;
	switch (stg.action) {
	case 0: text = UTL_string_sub(T("Deleting %1:file% because that file is no longer needed!"), crnt_file_name); break;
	case 1:
		text = UTL_string_sub(T("Downloading and installing %1:file%, currently %2:progress%% done with that file."),
		                      crnt_file_name, int_str(stg.file_progress > 0 ? (int)(stg.file_progress * 100) : 0));
		break;
	case 2: text = UTL_string_sub(T("Skipping %1:file% because it is already installed."), crnt_file_name); break;
	default: text = UTL_string_sub(T("Skipping %1:file% because you don't need it."), crnt_file_name); break;
	}
	const float got = next.done_download_kb + next.inflight_kb;
	const float elapsed = xtim.elapsed - next.start_time;
	const float rate = got / (elapsed > 1 ? elapsed : 1);
	std::string body;
	const float quiet = arrivals.stalled_for(got, xtim.elapsed);
	if (quiet >= stall_notice_seconds) {
		// The average rate would still read as if data came.
		body = stalled_text(quiet);
		page_notice(stalled_text(stall_notice_seconds));
	} else if (totl_inst_rat > 0.01f && rate > 0) {
		int n = 0;
		for (int i = 0; i < 4; ++i) n += next.active[i] ? 1 : 0;
		body = UTL_string_sub(
		    UTL_translate_plural(n,
		                         "About %1:time% left in the install, downloading at %2:rate% with %3:number% download "
		                         "stream.",
		                         "About %1:time% left in the install, downloading at %2:rate% with %3:number% "
		                         "simultaneous download streams."),
		    time_str(install_seconds_left(stg.total_download_kb, got, stg.total_install_kb, next.done_install_kb, elapsed)),
		    rate_str(rate), int_str(n));
	}
	if (stg.download_failed) {
		s.body = download_failure_text();
	} else {
		s.body = body;
		s.progress_text = text;
		s.progress = totl_inst_rat;
	}
	s.back = back;
	s.next = nullptr;
}
}  // namespace

int demo_done(int, wizard_screen& s)
{
	s.back = nullptr;
	s.next = wizard_quit;
	s.title = T("Finshed Web Demo Install");
	if (stg.install_problems) {
		s.body = T("There were problem installing the Ventora 9 web demo - it may not be usable.") +
		         undeleted_files_text();
		return 0;
	}
	s.body = UTL_string_sub(T("I have finished installing the Ventora 9 web demo at: %1:file path%."), dest_dir_path) +
	         undeleted_files_text();
	s.choice_labels.push_back(T("Fly Ventora 9 Now"));
	s.choice_steps.push_back(dvd_do_run_sim);
	return 0;
}
