#pragma once
// Program-wide objects that exist before main (defined in GenH/hl_globals.cpp,
// built in the order they are listed here and destroyed in reverse order).
#include <fstream>
#include <string>
#include <vector>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_prefix.h"
#include "DIzivoz/UTL/UTL_log.h"

// The text table of the shell and widgets. Its strings also form one
// numbered sequence of entries: 0 the open sub-window's title, 1..1800 the
// numbered texts, 1801..1803 the three strings after them (1802 the help text
// of the widget under the mouse), 1804..1806, 1807, then 1808..2207.
enum {
	stls_text_count = 1800,
	stls_tail_count = 400,
	stls_entry_title = 0,
	stls_entry_alert_button = 603,
	stls_entry_cancel = 607,
	stls_entry_help = 1802,
	stls_entry_count = 1 + stls_text_count + 3 + 3 + 1 + stls_tail_count
};

struct stls_struct {
	std::string title;
	std::string text[stls_text_count];
	std::string after_text[3];  // [1] is the hover help
	int int_a = 0;
	std::string more[3];
	int int_b = 0;
	std::string single;
	int int_c = 0;
	std::string tail[stls_tail_count];

	// Entry n of the numbered sequence. An entry outside it is logged and
	// gives a scratch string that is emptied on every such call.
	std::string& operator[](int entry);
};

extern std::string stl_global;  // scratch text filled just before use
extern std::string app_path;    // folder of the application
extern std::string dvd_path;    // mount path of the installation disc
extern std::ofstream ouf;       // shared writer of files with the maker's header
extern log_stream xer;          // the log; writes before it is opened are dropped
extern stls_struct stls;        // texts of the shell and widgets
extern std::vector<menu_struct> menu;  // the shell's menus
// mnw (GenH/hl_window.h) is defined here too; the drawing settings (ren,
// OGL/OGL_ren.h), the camera (xcam, OGL/OGL_camera.h), the installer state,
// texture manager and frame clock live in their own units.
extern int app_done;            // quit flag of the main loop
