// The DVD flows' entry page, the install flow, the launch, and the three step
// families the install, repair and scenery flows share: install steps,
// copy-picking steps and the change-disc / check-disc pairs.
#include "Installer-f/wizard_dvd.h"

#include <unistd.h>

#include <algorithm>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_dvd.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard_faults.h"
#include "Installer-f/world_map.h"

int accept_eula = 0;
int dvd_install_is_running = 0;
int repair_is_running = 0;
int scenery_install_is_running = 0;
int num_install_errors = 0;

namespace {

std::string T(const char* s) { return UTL_translate_string(s); }

// A volume holding the installer disc is mounted now; the entry page reads it
// in the frame this brings.
bool disc_arrived()
{
	const std::string keep = dvd_path;
	locate_installer_dvd();
	const bool found = !dvd_path.empty();
	dvd_path = keep;
	return found;
}

// Runs the checksum pass to its end within this frame.
void checksum_now()
{
	int ctr = 0;
	float progress = 0;
	while (!checksum_directory(ctr, progress)) usleep(200);
}

}  // namespace

// ---- page lists -------------------------------------------------------------------

void dvd_set_install_pages()
{
	step_names = {T("Welcome"), T("Pick Destination"), T("License"), T("Select Scenery"), T("Install"), T("Finish")};
	step_funcs = {dvd_start, dvd_pick_install, dvd_eula_install, dvd_scenery_install, dvd_run_install, dvd_done_install};
}

void dvd_set_repair_pages()
{
	step_names = {T("Welcome"),         T("Select Ventora"), T("Scan For Problems"),
	              T("Confirm Repairs"), T("Repair Ventora"), T("Finish")};
	step_funcs = {dvd_start, dvd_pick_repair, dvd_scan_repair, dvd_confirm_repair, dvd_install_repair, dvd_done_repair};
}

void dvd_set_scenery_pages()
{
	step_names = {T("Welcome"),            T("Select Ventora"),  T("Scan Existing Scenery"),
	              T("Select New Scenery"), T("Install Scenery"), T("Finish")};
	step_funcs = {dvd_start,        dvd_pick_scenery,    dvd_scan_scenery,
	              dvd_edit_scenery, dvd_install_scenery, dvd_done_scenery};
}

// ---- entry page ---------------------------------------------------------------------

int dvd_start(int first_time, wizard_screen& s)
{
	static unsigned long long last_walk = 0;
	if (first_time) {
		locate_all_ventoras();
		dvd_set_install_pages();
	}
	s.title = T("Ventora 9 Installer");
	// Waiting for a disc, the mount table is walked a few times a second, not
	// every frame; once the set is known the scan only finishes its reading.
	const unsigned long long now = xtim.microsecs();
	const bool waiting = dvd_path.empty() || install_name == no_install_name;
	if (first_time || !waiting || now - last_walk >= 250000) {
		last_walk = now;
		UTIL_scan_dvd();
	}
	// An idle window still looks for the disc, and is drawn again only when
	// one comes.
	if (dvd_path.empty())
		MACIBM_frame_poll(0.25f, disc_arrived);
	else if (waiting)
		MACIBM_frame_due((float)(250000 - std::min<unsigned long long>(now - last_walk, 250000)) / 1e6f);

	if (dvd_path.empty()) {
		s.body = T("Please insert Ventora 9 DVD number one to begin.");
	} else if (!dvd_install_name_ok(install_name) || stg.stage == stg_stage_refused) {
		s.body = T("This DVD does not appear to be an Ventora 9 DVD.");
	} else if (stg.stage == stg_stage_ready && all_skyframes.empty()) {
		if (stg.has_sim) {
			s.body = UTL_string_sub(T("Welcome to the Ventora 9 Installer.  I will guide you through the process of "
			                          "installing %1:install name%."),
			                        install_name);
			s.next = dvd_pick_install;
		} else {
			s.body = UTL_string_sub(T("This DVD (%1:dvd name%) contains global scenery.  You must install the sim before "
			                          "you install the global scenery."),
			                        install_name);
		}
	} else if (stg.stage == stg_stage_ready) {
		s.body = T("You already have Ventora 9 installed on this computer.  What would you like to do?");
		s.choice_labels.push_back(T("Run Ventora Now"));
		s.choice_steps.push_back(dvd_pick_run_sim);
		if (stg.has_global) {
			s.choice_labels.push_back(T("Add Or Remove Scenery"));
			s.choice_steps.push_back(dvd_pick_scenery);
		}
		if (stg.has_sim) {
			s.choice_labels.push_back(T("Repair Ventora"));
			s.choice_steps.push_back(dvd_pick_repair);
			s.choice_labels.push_back(T("Install A Second Copy of Ventora"));
			s.choice_steps.push_back(dvd_pick_install);
		}
	}
	return 0;
}

// ---- install flow -------------------------------------------------------------------

namespace {
// Back and Quit during the install of a new copy ask the same: 1 when the
// user chose to cancel, and then the partial copy is gone, registry line and all.
int cancel_question()
{
	return ask_to_stop_job(T("Are you sure you want to cancel the installation?  This will delete the partially "
	                         "installed copy of Ventora 9."),
	                       T("Cancel"), T("the installation and delete partial installation."),
	                       T("the installation process."), T("Cancel Installation"), dvd_install_is_running, [] {
		                       install_files_kill();
		                       discard_partial_install();
	                       });
}

int quit_question() { return dvd_install_is_running ? cancel_question() : 1; }

int dvd_remove_partial(int, wizard_screen& s)
{
	discard_partial_install();
	s.next = dvd_pick_install;
	return 1;
}
}  // namespace

int dvd_pick_install(int first_time, wizard_screen& s)
{
	static std::string parent_dir, install_folder, desktop_f;
	int changed = 0;
	if (first_time) {
		get_OS_abs_path(os_dir_desktop, desktop_f);
		accept_eula = 0;
		dvd_set_install_pages();
		changed = 1;
	}
	if (parent_dir.empty()) {
		get_OS_abs_path(os_dir_default_apps, parent_dir);
		install_folder = install_name;
		changed = 1;
	}
	s.title = T("Pick Install Destination.");
	s.back = dvd_start;
	s.next = dvd_eula_install;

	const std::string change = T("Change Destination"), label = T("Install Name:");
	const int w = (int)(str_dx(change) + 21);
	// The button starts at the body text's margin, however long its label.
	const float cx = 229 + w / 2.0f;
	if (BTN_action(cx, 203, (float)w, 0, 1, change, "-")) {
		std::string picked = parent_dir;
		if (GetFilePathFromUser(2, T("Pick a folder to install Ventora 9 into."), T("Select"), 1, parent_dir, picked)) {
			parent_dir = picked;
			if (parent_dir != "/" && (parent_dir.empty() || parent_dir.back() != '/')) parent_dir += '/';
			changed = 1;
		}
	}
	const int lw = (int)str_dx(label);
	const int x = (int)(cx + w * 0.5f + 20 + lw);
	const std::string before = install_folder;
	BTN_enterstring((float)x, 200, &install_folder, 256, "-" + label, (float)(760 - x), 0);
	if (install_folder != before) changed = 1;

	// A name that leaves its parent folder is no folder name.
	const std::string name_problem = install_name_problem(install_folder);
	if (!name_problem.empty()) {
		dest_dir_path = install_folder.empty() ? parent_dir : parent_dir + install_folder + "/";
		s.next = nullptr;
		s.body = name_problem;
		return 0;
	}
	dest_dir_path = parent_dir + install_folder + "/";
	const bool exists = dir_exists(dest_dir_path);
	if (exists && !install_unfinished(dest_dir_path)) {
		s.next = nullptr;
		s.body = UTL_string_sub(T("The folder '%1:install name%' already exists inside the folder '%2:parent folder%'.\n\n"
		                          "Please change the install name or destination."),
		                        install_folder, parent_dir);
		return 0;
	}
	if (exists) {
		// A stopped install: finished from here on, or removed.
		s.body = unfinished_copy_text(install_folder, parent_dir);
		s.choice_labels.push_back(T("Remove the Partial Copy"));
		s.choice_steps.push_back(dvd_remove_partial);
	} else {
		s.body = UTL_string_sub(T("I will create the folder '%1:install name%' inside the folder '%2:parent folder%'."),
		                        install_folder, parent_dir);
		if (parent_dir == desktop_f)
			s.body += UTL_string_sub(T("\n\n(The folder %1:install name% will appear on your desktop.)"), install_folder);
	}
	if (changed) {
		// A new folder has every file marked absent at once.
		checksum_now();
		set_install_filter(1, 1);
		scenery_take_all();
		recalc_disk_sizes();
	}
	UTIL_disk_space(T("You have enough free disk space to install Ventora 9 at this location."),
	                T("You do not have enough free disk space to install Ventora 9 at this location.  You can install to a "
	                  "different location, or save disk space by installing only some of the global scenery."));
	return 0;
}

int dvd_eula_install(int, wizard_screen& s)
{
	s.title = T("End User License Agreement (EULA)");
	s.body = T("Ventora 9 is licensed, not sold, to you for use on your own computers.  You may install this copy on any "
	           "number of computers that you own, as long as only one of them runs it at a time.\n\n") +
	         T("You may not rent, lend or sell the software on these discs, nor pass on changed copies of it.\n\n") +
	         T("The software is provided as it is, without any warranty.  Tarnwick is not liable for any damage that its "
	           "use may cause.");
	s.back = dvd_pick_install;
	s.next = accept_eula ? dvd_scenery_install : nullptr;
	// The box starts at the body's margin, its label 13 units after it.
	OGL_string(45, 257, 100, T("I accept this agreement."), 513, charset_regular, 0);
	BTN_bool(237, 100, &accept_eula, "", 0);
	return 0;
}

int dvd_scenery_install(int first_time, wizard_screen& s)
{
	if (first_time) {
		if (dvd_install_is_running && !cancel_question()) {
			s.next = dvd_run_install;
			return 1;
		}
		checksum_now();
		recalc_disk_sizes();
	}
	UTIL_world_map();
	s.body = T("Please pick the scenery you would like to install now.  You can use this installer to add more scenery or "
	           "remove scenery later.  If you fly into an area with no scenery installed, you will see only ocean.\n\n"
	           "Click on the world map to pick select regions to install.");
	s.title = T("Select Scenery");
	s.back = dvd_eula_install;
	s.next = dvd_run_install;
	if (!UTIL_disk_space(T("You have enough free disk space to install Ventora 9 with the selected scenery."),
	                     T("You do not have enough free disk space to install Ventora 9 with the selected scenery; change "
	                       "the install location to another hard driver or select less scenery."), 1))
		s.next = nullptr;
	return 0;
}

int dvd_done_install(int, wizard_screen& s)
{
	s.title = T("Finished Installing Ventora");
	if (num_install_errors <= 0) {
		s.body = T("Installation was successful.");
		s.choice_labels.push_back(T("Run Ventora Now"));
		s.choice_steps.push_back(dvd_do_run_sim);
	} else {
		s.body = T("There were errors during the install; your copy of Ventora may not be usable.\n\nYou can click Go Back "
		           "and use the repair and add-remove scenery functions to try to reinstall any missing or damaged files.");
	}
	s.body += undeleted_files_text();
	s.back = dvd_start;
	s.next = wizard_quit;
	return 0;
}

// ---- install-step family ------------------------------------------------------------

namespace {

struct install_member {
	int* running;
	wizard_step retreat;      // choose_files was cancelled
	wizard_step folder_fail;  // make_dirs failed
	int registers;
	const char* title;
	const char* body;
	wizard_step back;
	const char* file_line;
	const char* final_line;
	wizard_step finish;
	wizard_step check_disc;
	const char* error_head;
	const char* error_text;
	const char* stop_caption;
	const char* stop_text;
	const char* continue_caption;
	const char* continue_text;
	int stop_kills;         // Stop drains the pools and clears the flag
	wizard_step stop_next;
	int f;                  // next file index
	int held;               // a result kept from the page's first frame
};

install_member install_members[3] = {
    {&dvd_install_is_running, dvd_scenery_install, dvd_pick_install, 1, "Installing Ventora",
     "I am installing Ventora in %1:file path%.", dvd_scenery_install, "Installing: %1:file%", "Finishing up...",
     dvd_done_install, dvd_verify_disk_install, "An error occurred during installation:",
     "You can continue with the installation and attempt to repair the damaged files later, or you can cancel the "
     "installation.",
     "Cancel", "the install.", "Continue", "the install.", 0, dvd_scenery_install, 0},
    {&repair_is_running, dvd_confirm_repair, dvd_confirm_repair, 0, "Repairing Ventora", "I am repairing %1:file path%.",
     dvd_confirm_repair, "Repairing: %1:file path%", "Finishing up...", dvd_done_repair, dvd_verify_disk_repair,
     "An error occurred during the repair:",
     "Ventora may not be usable until you are able to repair the sim without errors.", "Stop", "the repair.", "Continue",
     "the repair.", 1, dvd_done_repair, 0},
    {&scenery_install_is_running, dvd_edit_scenery, dvd_edit_scenery, 0, "Installing New Scenery",
     "I am installing new scenery for %1:install path%,", dvd_edit_scenery, "Installing: %1:file%", "Finishing Up...",
     dvd_done_scenery, dvd_verify_disk_scenery, "An error occurred during scenery installation:",
     "You can continue with the installation and attempt to reinstall the damaged files later, or you can stop the "
     "installation",
     "Stop", "the scenery install.", "Continue", "the scenery install.", 1, dvd_done_scenery, 0},
};

int install_step(install_member& m, int first_time, wizard_screen& s)
{
	if (!*m.running) {
		m.f = 0;
		m.held = 0;
		xer << "Starting install at " << (double)xtim.microsecs() / 1e6 << "\n" << std::flush;
		if (!choose_files()) {
			s.next = m.retreat;
			return 1;
		}
		if (make_dirs() != 0) {
			s.next = m.folder_fail;
			return 1;
		}
		// The copy enters the registry before any file is copied, as unfinished.
		if (m.registers) {
			install_started(dest_dir_path);
			register_new_ventora();
		}
		delete_files();
		*m.running = 1;
		num_install_errors = 0;
	}
	s.title = T(m.title);
	s.cancel_hook = install_files_kill;
	if (m.registers) s.quit_question = quit_question;

	const int count = (int)sim_info.size();
	int r = m.held ? m.held : install_files_frame(m.f, current_disk);
	m.held = 0;
	// A question comes over the page it belongs to: the first frame's work
	// may already have met a fault, and is answered once the page is shown.
	if (r == install_failed && first_time) {
		m.held = r;
		r = install_busy;
		MACIBM_frame_busy();
	}
	switch (r) {
	case install_busy:
		s.back = m.back;
		s.next = nullptr;
		s.body = UTL_string_sub(T(m.body), dest_dir_path);
		if (m.f < 0)
			s.progress = 0;
		else if (m.f < count)
			s.progress = sim_info[m.f].back().progress_start;
		else
			s.progress = 1;
		s.progress_text = m.f >= 0 && m.f < count ? UTL_string_sub(T(m.file_line), sim_info[m.f].back().path)
		                                          : T(m.final_line);
		return 0;
	case install_done:
		s.back = nullptr;
		s.next = m.finish;
		*m.running = 0;
		if (m.registers) install_finished(dest_dir_path);
		return 1;
	case install_next_disc:
		want_file_disk = m.f;
		s.next = m.check_disc;
		return 1;
	case install_failed: {
		const run_halt halt = install_files_halt();
		if (halt.kind != fault_none) {
			// Once for a fault every later file would meet; Continue goes on
			// from the first file that failed.
			std::string ignored;
			install_files_get_error(ignored);
			const int answer = halt_question(T(m.error_head), halt, T(m.stop_caption), T(m.stop_text),
			                                 T(m.continue_caption), T(m.continue_text));
			if (answer != 1) return 0;
			num_install_errors += 1;
			if (m.stop_kills) {
				install_files_kill();
				*m.running = 0;
			}
			s.next = m.stop_next;
			return 1;
		}
		num_install_errors += 1;
		const int answer = UTIL_cancel_install(T(m.error_head), T(m.error_text), T(m.stop_caption), T(m.stop_text),
		                                       T(m.continue_caption), T(m.continue_text));
		// Only the Stop (or Cancel) button stops; a closed question continues.
		if (answer != 1) return 0;
		if (m.stop_kills) {
			install_files_kill();
			*m.running = 0;
		}
		s.next = m.stop_next;
		return 1;
	}
	default:
		return 0;
	}
}

}  // namespace

int dvd_run_install(int first_time, wizard_screen& s) { return install_step(install_members[0], first_time, s); }
int dvd_install_repair(int first_time, wizard_screen& s) { return install_step(install_members[1], first_time, s); }
int dvd_install_scenery(int first_time, wizard_screen& s) { return install_step(install_members[2], first_time, s); }

// ---- copy-picking family --------------------------------------------------------------

namespace {

struct pick_member {
	const char* title;
	wizard_step next;
	int straight_on;      // one registered copy: go on without showing the page
	void (*pages)();      // first frame: stop the checksum pool, set this page list
	const char* request;
};

const pick_member pick_members[3] = {
    {"Run Ventora", dvd_do_run_sim, 1, nullptr, "Please pick which copy of Ventora 9 you would like to run."},
    {"Repair Ventora 9", dvd_scan_repair, 0, dvd_set_repair_pages,
     "Please pick which copy of Ventora 9 you would like to repair."},
    {"Select Ventora 9 to Add or Remove Scenery", dvd_scan_scenery, 0, dvd_set_scenery_pages,
     "Please pick which copy of Ventora 9 you would like to add scenery to."},
};

int pick_step(const pick_member& m, int first_time, wizard_screen& s)
{
	if (first_time) {
		if (m.pages) {
			checksum_directory_kill();
			m.pages();
		}
		// A destination left from another flow (a new copy not yet made) is
		// not a registered copy to work on.
		bool listed = false;
		for (const std::string& p : all_skyframes) listed = listed || p == dest_dir_path;
		if (!listed) dest_dir_path.clear();
	}
	s.title = T(m.title);
	s.back = dvd_start;
	s.next = m.next;
	if (all_skyframes.size() == 1) {
		dest_dir_path = all_skyframes[0];
		if (m.straight_on) return 1;
	}
	UTIL_pick_install();
	if (dest_dir_path.empty()) s.next = nullptr;
	if (all_skyframes.size() > 1)
		s.body = T("You have more than one copy of Ventora 9 installed on this computer.  ") + T(m.request);
	return 0;
}

}  // namespace

int dvd_pick_run_sim(int first_time, wizard_screen& s) { return pick_step(pick_members[0], first_time, s); }

// Starts the copy of dest_dir_path (every flow's run choice ends here).
int dvd_do_run_sim(int first_time, wizard_screen& s)
{
	static wizard_step came_from = nullptr;
	static int err = 0;
	static std::string tried;
	if (first_time) {
		const std::string app = dest_dir_path + "Ventora.app";
		tried = launch_path(app);
		xer << "Starting " << app << "\n" << std::flush;
		// The page the user came from; the one-copy run page would start it again at once.
		came_from = wizard_previous_step();
		if (came_from == dvd_pick_run_sim || came_from == dvd_do_run_sim) came_from = dvd_start;
		// Ends this process on success.
		err = MACIBM_launch_in_place(app, "", 1);
	}
	// Only a failed launch gets here: its own page says so, with what was tried.
	s.title = T("Ventora 9 could not be started.");
	s.body = UTL_string_sub(T("I could not start %1:file% (%2:error%)."), tried, reason_text(err));
	s.back = came_from;
	s.next = wizard_quit;
	return 0;
}
int dvd_pick_repair(int first_time, wizard_screen& s) { return pick_step(pick_members[1], first_time, s); }
int dvd_pick_scenery(int first_time, wizard_screen& s) { return pick_step(pick_members[2], first_time, s); }

// ---- change-disc and check-disc pairs -------------------------------------------------

namespace {

struct disc_member {
	const char* change_title;
	wizard_step change_back;
	wizard_step change_step;
	const char* check_title;
	wizard_step check_step;
	wizard_step install_step;
};

const disc_member disc_members[3] = {
    {"Installing Ventora - Please Change DVDs", dvd_scenery_install, dvd_switch_disk_install,
     "Installing Ventora - Checking DVD...", dvd_verify_disk_install, dvd_run_install},
    {"Repairing Ventora - Please Change DVDs", dvd_confirm_repair, dvd_switch_disk_repair,
     "Repairing Ventora - Checking DVD", dvd_verify_disk_repair, dvd_install_repair},
    {"Installing Scenery - Please change DVDs", dvd_edit_scenery, dvd_switch_disk_scenery,
     "Installing Scenery - Verifying DVD", dvd_verify_disk_scenery, dvd_install_scenery},
};

// What the check found in the drive when it was not the disc asked for; the
// change-disc page it leads back to says so, that page only.
struct refused_disc {
	int what = 0;    // 0 nothing refused, 1 another disc of the set, 2 no disc of the set
	int number = -1;  // the other disc's number (manifest numbering), -1 unknown
};
refused_disc last_refused, page_refused;

std::string refusal_text(const refused_disc& r, int wanted)
{
	if (r.what == 2) return T("No DVD of this set was found in the drive.");
	if (r.number >= 0 && r.number != wanted)
		return UTL_string_sub(T("The disc in the drive is DVD number %1:disk number%, not DVD number %2:disk number%."),
		                      int_str(r.number + 1), int_str(wanted + 1));
	return UTL_string_sub(T("The disc in the drive does not hold the files of DVD number %1:disk number%."),
	                      int_str(wanted + 1));
}

int change_disc(const disc_member& m, int first_time, wizard_screen& s)
{
	// The disc goes out on the page's first frame only.
	const int disc = UTIL_switch_disk(first_time);
	if (first_time) {
		page_refused = last_refused;
		last_refused = refused_disc();
	}
	s.title = T(m.change_title);
	s.body = UTL_string_sub(T("Please insert DVD number %1:disk number% and click continue."), int_str(disc + 1));
	if (page_refused.what) s.body = refusal_text(page_refused, disc) + "\n\n" + s.body;
	s.back = m.change_back;
	s.next = m.check_step;
	// Waiting for a disc mid-install is still the install.
	if (m.check_step == dvd_verify_disk_install) s.quit_question = quit_question;
	return 0;
}

int check_disc(const disc_member& m, wizard_screen& s)
{
	s.title = T(m.check_title);
	const int ok = UTIL_verify_disk();
	s.next = ok ? m.install_step : m.change_step;
	last_refused = refused_disc();
	// Straight from the install step it is the install's own look for the
	// next disc: the user has not been asked for one yet.
	if (!ok && wizard_previous_step() != m.install_step)
		last_refused.what = dvd_set_disc_in_drive(&last_refused.number) ? 1 : 2;
	return 1;
}

}  // namespace

int dvd_switch_disk_install(int first_time, wizard_screen& s) { return change_disc(disc_members[0], first_time, s); }
int dvd_switch_disk_repair(int first_time, wizard_screen& s) { return change_disc(disc_members[1], first_time, s); }
int dvd_switch_disk_scenery(int first_time, wizard_screen& s) { return change_disc(disc_members[2], first_time, s); }
int dvd_verify_disk_install(int, wizard_screen& s) { return check_disc(disc_members[0], s); }
int dvd_verify_disk_repair(int, wizard_screen& s) { return check_disc(disc_members[1], s); }
int dvd_verify_disk_scenery(int, wizard_screen& s) { return check_disc(disc_members[2], s); }
