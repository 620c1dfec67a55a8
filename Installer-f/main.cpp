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
#include "Installer-f/utils_grab.h"
#include "Installer-f/prefs_window.h"
#include "Installer-f/wizard.h"

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
	if (should_copy_self(B, T, dvd_path)) {
		const std::string N = path_last_component(B);
		copy_file_recursive(B, T + N);
		launch_app(T + N, "", 0);
		return 1;
	}

	// 3-4. Shell, then the icon picture of the user's language.
	MACIBM_init(argc, argv);
	install_shell_questions();
	MACIBM_set_app_hooks(app_hooks{wizard_APP_update, nullptr, nullptr});
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
	cmd_line_path = path_argument(argc, argv, MACIBM_start_folder());
	locate_all_ventoras();

	// 10-11. Frames until the wizard ends.
	while (!app_done) MACIBM_event_proc();
	MACIBM_finishup(1);
	return 0;
}
