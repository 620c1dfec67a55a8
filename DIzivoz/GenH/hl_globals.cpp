// The globals unit. Its objects are built before those of every other unit
// (they carry an early initialisation priority, so a unit initialised earlier
// in link order still finds the log and the tables built), in the order they
// are defined here, and destroyed in reverse order at exit. The window record
// is plain data, constant-initialised, and exists from load, as do the
// drawing settings and the camera that the drawing layer defines.
#include "DIzivoz/GenH/hl_globals.h"

#define HL_GLOBALS_INIT __attribute__((init_priority(200)))

std::string stl_global HL_GLOBALS_INIT;
std::string app_path HL_GLOBALS_INIT;
std::string dvd_path HL_GLOBALS_INIT;
std::ofstream ouf HL_GLOBALS_INIT;
log_stream xer HL_GLOBALS_INIT;
stls_struct stls HL_GLOBALS_INIT;
std::vector<menu_struct> menu HL_GLOBALS_INIT;
mnw_struct mnw;
int app_done = 0;
int active_popup_code = 0, select_popup_code = 0, popup_menu_select = 0;

std::string& stls_struct::operator[](int entry)
{
	if (entry == 0) return title;
	int n = entry - 1;
	if (n >= 0 && n < stls_text_count) return text[n];
	n -= stls_text_count;
	if (n >= 0 && n < 3) return after_text[n];
	n -= 3;
	if (n >= 0 && n < 3) return more[n];
	n -= 3;
	if (n == 0) return single;
	n -= 1;
	if (n >= 0 && n < stls_tail_count) return tail[n];
	static std::string scratch;
	scratch.clear();
	xer << "WARNING: string table entry " << entry << " does not exist.\n";
	return scratch;
}
