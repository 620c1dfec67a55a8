// The network-update flow: Welcome, Pick Destination, Search for Updates,
// Check Disk Space, Install Updates and Finish, over an installed copy.
#include <unistd.h>

#include <cstdio>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard.h"
#include "Installer-f/wizard_faults.h"

namespace {
std::string T(const char* s) { return UTL_translate_string(s); }
const char* const net_src = "Installer-f/wizard_net";

int ctr = 0;               // files checksummed so far
unsigned long long scan_start = 0;  // microseconds at the scan's start, 0 before it
int nothing_to_update = 0; // the last decision found nothing to install or delete

// A -path that is no simulator folder is reported once and dropped: nothing
// may be installed into or deleted from an arbitrary folder.
void check_cmd_line_path()
{
	if (cmd_line_path.empty()) return;
	const std::string keep = dest_dir_path;
	dest_dir_path = cmd_line_path;
	const int ok = dir_exists(cmd_line_path) && path_is_to_a_sim();
	dest_dir_path = keep;
	if (ok) return;
	__MACIBM_alert(0, T("You selected the folder path:"), cmd_line_path,
	               T("But it does not appear to be an installed copy of Ventora 9."),
	               T("Please be sure to select the folder that contains the Ventora application."), alert_warning,
	               net_src, 40);
	cmd_line_path.clear();
}
}  // namespace

int net_start(int first_time, wizard_screen& s)
{
	if (first_time) {
		// Back from a running scan: its tasks still read the manifest.
		checksum_directory_kill();
		locate_all_ventoras();
		check_cmd_line_path();
		step_names = {T("Welcome")};
		step_funcs = {net_start};
		if (cmd_line_path.empty()) {
			step_names.push_back(T("Pick Destination"));
			step_funcs.push_back(net_pick_dest);
		}
		step_names.insert(step_names.end(), {T("Search for Updates"), T("Check Disk Space"), T("Install Updates"),
		                                     T("Finish")});
		step_funcs.insert(step_funcs.end(), {net_get_updates, net_check_disk, net_run_patch, net_done});
		stream_reset();
	}
	if (!cmd_line_path.empty()) dest_dir_path = cmd_line_path;
	else if (dest_dir_path.empty() && all_skyframes.size() == 1) dest_dir_path = all_skyframes[0];

	s.title = T("Ventora 9 Web Updater");
	s.prefs_enabled = 1;
	s.body = T("I will guide you through the process of updating your copy of Ventora 9 to the latest version.");
	s.next = cmd_line_path.empty() ? net_pick_dest : net_get_updates;
	return 0;
}

int net_pick_dest(int first_time, wizard_screen& s)
{
	if (first_time) {
		checksum_directory_kill();
		stream_reset();
	}
	s.title = T("Pick Destination");
	s.prefs_enabled = 1;
	s.body.clear();
	if (all_skyframes.size() >= 2)
		s.body = T("You have more than one copy of Ventora 9 installed on this computer.  ");
	s.body += T("Please select which copy of Ventora 9 you would like to update.");
	UTIL_pick_install();
	s.back = net_start;
	s.next = dest_dir_path.empty() ? nullptr : net_get_updates;
	return 0;
}

int net_get_updates(int first_time, wizard_screen& s)
{
	if (first_time) {
		checksum_directory_kill();
		ctr = 0;
		scan_start = 0;
		// Simulator files and global scenery both take part in an update.
		set_install_filter(1, 1);
		// Read the manifest again, so every local signature is recomputed.
		if (stg.stage == stg_stage_ready) stg.stage = stg_stage_read;
	}
	s.title = T("Search for Updates");
	s.back = cmd_line_path.empty() ? net_pick_dest : net_start;
	s.next = nullptr;
	s.cancel_hook = directory_download_cancel;
	download_directory_frame(first_time);
	const std::string problem = directory_problem_text();
	if (stg.server_count == -1) {
		s.body = T("I am contacting ") + web_host + T(" to find an update server.");
		if (!problem.empty()) s.body += "\n\n" + problem;
		return 0;
	}
	switch (stg.stage) {
	case stg_stage_fetch: {
		manifest_progress(s);
		s.body = UTL_string_sub(T("I am downloading patch info from %1:server name%."), server_name[stg.server_sel]);
		if (!problem.empty()) s.body += "\n\n" + problem;
		return 0;
	}
	case stg_stage_read: s.body = T("I am processing information about the available patches."); return 0;
	case stg_stage_refused: s.body = T("There was a problem reading information from the servers."); return 0;
	default: break;
	}

	s.cancel_hook = checksum_directory_kill;
	if (!scan_start) {
		scan_start = xtim.microsecs() | 1;
		xer << "Scanning " << dest_dir_path << ": " << sim_info.size() << " files\n" << std::flush;
	}
	// Polled closely for most of the frame, and no idle wait between frames:
	// the pool holds only four tasks a thread, which a frame outlasts, and a
	// coarse poll leaves finished threads idle.
	float progress = 0;
	const int done = checksum_directory_frame(ctr, progress);
	// Also in the frame that moves on, which is drawn once.
	s.body = UTL_string_sub(T("I am scanning %1:folder path% to see what files need updating."), dest_dir_path);
	if (done) {
		char took[32];
		std::snprintf(took, sizeof took, "%.3f", (xtim.microsecs() - scan_start) / 1e6);
		xer << "Scanned " << ctr << " files in " << took << " s\n" << std::flush;
		s.back = nullptr;
		s.next = net_check_disk;
		// The copy's own tiles are the wanted ones: an update refreshes the
		// scenery the user has, never deletes it for want of a selection and
		// never adds tiles the user removed.
		scenery_from_install();
		recalc_disk_sizes();
		return 1;
	}
	s.progress_text =
	    UTL_string_sub(T("Scanning %1:number% of %2:total% files."), int_str(ctr), int_str((int)sim_info.size()));
	s.progress = progress;
	return 0;
}

int net_check_disk(int first_time, wizard_screen& s)
{
	if (first_time) stream_reset();
	s.title = T("Check Disk Space");
	s.back = net_get_updates;
	s.next = net_run_patch;
	s.show_servers = 1;
	// A release that only drops files still has work to do.
	nothing_to_update = stg.count_install == 0 && stg.count_delete == 0;
	if (first_time)
		xer << "Update: " << stg.count_install << " to install, " << stg.count_delete << " to delete\n" << std::flush;
	if (nothing_to_update) {
		s.next = net_done;
		return 1;
	}
	if (!UTIL_disk_space(T("You have enough free disk space to update Ventora 9"),
	                     T("You do not have enough free disk space to update Ventora 9."))) {
		s.next = nullptr;
		s.body = T("There is a newer version of Ventora 9 available, but you do not have enough free disk space to "
		           "download and install the update.\n\nPlease free some space on your hard drive.");
		return 0;
	}
	s.body = UTL_string_sub(T("You are about to download %1:download size% of compressed data to update to "
	                          "%2:install name%."),
	                        size_string(stg.total_download_kb), install_name);
	return 0;
}

int net_run_patch(int first_time, wizard_screen& s)
{
	if (first_time) {
		if (!choose_files() || make_dirs() != 0) {
			s.next = net_check_disk;
			return 1;
		}
		stream_reset();
		patch_smoothing_reset();
	}
	s.title = T("Installing");
	if (!patch_work_loop(net_check_disk, s)) {
		if (!grab_halt_settled()) return 0;
		// Asked once for a fault every later file would meet; Continue tries again.
		const int r = halt_question(T("An error occurred during the update:"), grab_halt(), T("Stop"), T("the update."),
		                            T("Continue"), T("the update."));
		grab_halt_clear();
		if (r != 1) return 0;
		stream_reset();
		s.next = net_check_disk;
		return 1;
	}
	// An update that ran to its end also finishes a copy whose install was stopped.
	install_finished(dest_dir_path);
	s.next = net_done;
	return 1;
}

int net_done(int first_time, wizard_screen& s)
{
	s.back = nullptr;
	s.next = wizard_quit;
	s.title = T("Finshed Web Update");
	if (nothing_to_update) {
		s.body = UTL_string_sub(T("This copy of Ventora (%1:install path%) is already up to date."), dest_dir_path);
	} else if (stg.install_problems) {
		s.body = T("There were problems updating Ventora.  You can try this updater again using a different server.");
	} else {
		s.body = UTL_string_sub(T("I have finished updating %1:install path%."), dest_dir_path);
	}
	s.body += undeleted_files_text();
	if (first_time) xer << "Update result: " << s.body << "\n" << std::flush;
	if (stg.install_problems && !nothing_to_update) return 0;
	s.choice_labels.push_back(T("Fly Ventora Now"));
	s.choice_steps.push_back(dvd_do_run_sim);
	return 0;
}
