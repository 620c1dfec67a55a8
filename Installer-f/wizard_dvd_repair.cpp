// The DVD repair and add-or-remove-scenery pages proper: the checksum scans,
// the repair confirmation, the map page and the two finish pages. Picking the
// copy, installing and changing discs are shared with the install flow.
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard_dvd.h"
#include "Installer-f/wizard_faults.h"
#include "Installer-f/world_map.h"

namespace {
std::string T(const char* s) { return UTL_translate_string(s); }

int num_file_install = 0;  // files the repair will reinstall

// The two scan pages: one algorithm, texts and targets per member.
struct scan_member {
	int want_sim, want_global;
	const char* title;
	const char* body;
	wizard_step pick;
	wizard_step next;
	int ctr;
};

scan_member scan_repair_member = {
    1, 0, "Scanning Ventora for Problems",
    "I am scanning %1:folder% for missing or damaged files.\n\nNote: if you have updated this copy of Ventora from "
    "the Internet, the repair operation will remove the updates.  Once the repair has finished, you should reapply "
    "the updates from the web.",
    dvd_pick_repair, dvd_confirm_repair, 0};
scan_member scan_scenery_member = {
    0, 1, "Scanning Ventora 9 for Installed Scenery",
    "I am scanning %1:install folder% to see what scenery you already have installed.\n\nNote: I am only checking "
    "for the scenery already installed from your DVDs.  This scan will not show any custom scenery downloaded from "
    "the internet.",
    dvd_pick_scenery, dvd_edit_scenery, 0};

int scan_step(scan_member& m, int first_time, wizard_screen& s)
{
	if (first_time) {
		m.ctr = 0;
		set_install_filter(m.want_sim, m.want_global);
	}
	s.title = T(m.title);
	s.body = UTL_string_sub(T(m.body), dest_dir_path);
	s.cancel_hook = checksum_directory_kill;
	float progress = 0;
	if (checksum_directory_frame(m.ctr, progress)) {
		s.back = nullptr;
		s.next = m.next;
		return 1;
	}
	// The total counts every manifest file, whatever the filter.
	s.progress_text =
	    UTL_string_sub(T("Scanning %1:number% of %2:total% files."), int_str(m.ctr), int_str((int)sim_info.size()));
	s.progress = progress;
	s.back = m.pick;
	s.next = nullptr;
	return 0;
}

std::string done_scenery_text(int count_install, int count_delete, int errors);

}  // namespace

int dvd_scan_repair(int first_time, wizard_screen& s) { return scan_step(scan_repair_member, first_time, s); }
int dvd_scan_scenery(int first_time, wizard_screen& s) { return scan_step(scan_scenery_member, first_time, s); }

int dvd_confirm_repair(int first_time, wizard_screen& s)
{
	if (first_time) {
		if (repair_is_running &&
		    !ask_to_stop_job(T("Are you sure you want to stop the repair operation?  Ventora may not be usable "
		                       "until repairs are complete.  You can run the repair operation on Ventora again "
		                       "later to complete repairs."),
		                     T("Stop"), T("the repair operation."), T("the repair operation."), T("Stop Repair"),
		                     repair_is_running, install_files_kill)) {
			s.next = dvd_install_repair;
			return 1;
		}
		recalc_disk_sizes();
		num_file_install = 0;
		for (int i = 0; i < (int)sim_info.size(); ++i) {
			const int newest = (int)sim_info[i].size() - 1;
			if (!sim_info[i][newest].have_is_want && want_this_f(i, newest)) ++num_file_install;
		}
	}
	s.title = T("Confirm Repairs");
	s.body = UTL_string_sub(UTL_translate_plural(num_file_install,
	                                             "I need to install approximately %1:count% file to repair %2:path%.",
	                                             "I need to install approximately %1:count% files to repair %2:path%."),
	                        int_str(num_file_install), dest_dir_path);
	s.back = dvd_pick_repair;
	s.next = dvd_install_repair;
	if (!UTIL_disk_space(T("You have enough free disk space to repair this copy of Ventora."),
	                     T("You do not have enough free disk space to repair this copy of Ventora."))) {
		s.next = nullptr;
		return 0;
	}
	s.body += T("\n\nClick continue to begin repairing Ventora.");
	return 0;
}

int dvd_edit_scenery(int first_time, wizard_screen& s)
{
	if (first_time) {
		if (scenery_install_is_running &&
		    !ask_to_stop_job(T("Are you sure you want to stop scenery installation?  You can add or remove more "
		                       "scenery later."),
		                     T("Stop"), T("the scenery install."), T("the scenery install."),
		                     T("Stop Scenery Installation"), scenery_install_is_running, install_files_kill)) {
			s.next = dvd_install_scenery;
			return 1;
		}
		scenery_from_install();
		recalc_disk_sizes();
	}
	UTIL_world_map();
	s.body = T("Click on the world map to select what scenery you would like to install.  Scenery that you deselect "
	           "will be removed; scenery that you select will be installed.  If you fly into an area with no scenery "
	           "installed, you will see only ocean.");
	s.title = T("Select Scenery");
	s.back = dvd_pick_scenery;
	s.next = dvd_install_scenery;
	if (!UTIL_disk_space(T("You have enough free disk space to install this scenery."),
	                     T("You do not have enough free disk space to install this scenery."), 1))
		s.next = nullptr;
	return 0;
}

int dvd_done_repair(int, wizard_screen& s)
{
	s.title = T("Finished Repairing Ventora.");
	if (num_install_errors > 0) {
		s.body = T("There were errors during the repair; your copy of Ventora may not be usable.\n\nYou can click Go "
		           "Back and use the repair and add-remove scenery functions to try to reinstall any missing or "
		           "damaged files.");
	} else {
		s.body = UTL_string_sub(T("I have finished repairing %1:install path% - click Go Back to return to the main menu."),
		                        dest_dir_path);
		s.choice_labels.push_back(T("Run Ventora Now"));
		s.choice_steps.push_back(dvd_do_run_sim);
	}
	s.body += undeleted_files_text();
	s.back = dvd_start;
	s.next = wizard_quit;
	return 0;
}

namespace {
// The finish sentence by what was installed and deleted, and whether tasks failed.
std::string done_scenery_text(int count_install, int count_delete, int errors)
{
	static const char* const ok[4] = {
	    "I have successfully installed more scenery to match your choices on the map.",
	    "I have successfully added and removed scenery to match your choices on the map.",
	    "I have successfully removed scenery to match your choices on the map.",
	    "I have successfully updated scenery to match your choices on the map."};
	static const char* const failed[4] = {"There were errors while installing more your scenery.",
	                                      "There were errors while adding and removing your scenery.",
	                                      "There were errors while removing your scenery.",
	                                      "There were errors while updating your scenery."};
	const int column = count_install > 0 ? (count_delete > 0 ? 1 : 0) : (count_delete > 0 ? 2 : 3);
	if (errors <= 0) return T(ok[column]);
	return T(failed[column]) + T("  Your copy of Ventora may not be usable.\n\nYou can click Go Back and use the repair "
	                             "and add-remove scenery functions to try to reinstall any missing or damaged files.");
}
}  // namespace

int dvd_done_scenery(int, wizard_screen& s)
{
	s.title = T("Finished With Add/Remove Scenery");
	s.body = done_scenery_text(stg.count_install, stg.count_delete, num_install_errors) + undeleted_files_text();
	if (num_install_errors <= 0) {
		s.choice_labels.push_back(T("Run Ventora Now"));
		s.choice_steps.push_back(dvd_do_run_sim);
	}
	s.back = dvd_start;
	s.next = wizard_quit;
	return 0;
}
