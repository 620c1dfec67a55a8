// Entry point of the installer programs. They differ only in the wizard's
// first step, VENTORA_WIZARD_START (demo_start, net_start or dvd_start).
#include <cstdio>
#include <string>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/pref.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "Installer-f/shell_questions.h"
#include "Installer-f/utils_extract.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/prefs_window.h"
#include "Installer-f/wizard.h"
#include "Installer-f/wizard_dvd.h"
#include "Installer-f/utils_dvd.h"

#ifndef VENTORA_WIZARD_START
#define VENTORA_WIZARD_START demo_start
#endif

int main(int argc, char** argv)
{
	// 1-2. A copy running from the installer disc starts a copy of itself
	// from the temporary folder instead.
	std::string T, B;
	get_OS_abs_path(os_dir_temp, T);
	get_OS_abs_path(os_dir_this_bundle, B);
	if (!B.empty() && B.back() != '/') B += '/';
	locate_installer_dvd();
	if (should_copy_self(B, T, dvd_path)) {
		const std::string N = path_last_component(B);
		// A copy left by an earlier run may be of another disc set.
		if (dir_exists(T + N)) recursive_delete_folder(T + N);
		const int err = copy_file_recursive(B, T + N);
		// A failed copy is not started: the program then runs from the disc.
		if (err == 0) {
			MACIBM_launch_in_place(T + N, "", 0);
			std::fprintf(stderr, "Could not start the copy in %s; running from the disc.\n", (T + N).c_str());
		} else {
			std::fprintf(stderr, "Could not copy %s to %s (%d); running from the disc.\n", B.c_str(), (T + N).c_str(),
			             err);
		}
	}

	// 3-4. Shell, then the icon picture of the user's language.
	MACIBM_init(argc, argv);
	install_shell_questions();
	MACIBM_set_app_hooks(app_hooks{wizard_APP_update, nullptr, wizard_close_request});
	handle_prefs_target = handle_prefs;
	const char* elements = mnw.language == 1   ? "RESOURCE:elements_French.png"
	                       : mnw.language == 2 ? "RESOURCE:elements_German.png"
	                                           : "RESOURCE:elements_English.png";
	tman.load_texture(tex_fail_fatal, 395, 1282, tex_loaded, elements);

	// 5. The system's folders, for the log.
	const struct {
		const char* label;
		os_dir_type kind;
	} dirs[] = {{"os_dir_this_app\t\t=", os_dir_this_app},
	            {"os_dir_desktop\t\t=", os_dir_desktop},
	            {"os_dir_default_apps\t=", os_dir_default_apps},
	            {"os_dir_temp\t\t\t=", os_dir_temp},
	            {"os_dir_prefs\t\t\t=", os_dir_prefs}};
	for (int i = 0; i < 5; ++i) {
		std::string p;
		get_OS_abs_path(dirs[i].kind, p);
		xer << dirs[i].label << p << (i == 4 ? "\n\n" : "\n");
	}
	xer << std::flush;

	// 6. Starting state.
	temp_path = T;
	stls[stls_entry_alert_button] = "OK";
	install_name = no_install_name;
	stg_set_start_values();
	g_wizard = VENTORA_WIZARD_START;

	// 7-9. Preferences, -path, the install registry.
	pref.IO_set(11, 0);
	prefs_sync_proxy_port();
	pref.IO_set(11, 2);
	cmd_line_path = path_argument(argc, argv, MACIBM_start_folder());
	locate_all_ventoras();

	// 10-11. Frames until the wizard ends.
	while (!app_done) MACIBM_event_proc();
	// However the program was asked to end, no extraction runs on into the exit.
	extract_pool_stop();
	MACIBM_finishup(1);
	return 0;
}
