// Stand-ins for the repair and scenery pages until wizard_dvd_repair.cpp
// lands; delete this file when it does (they define the same steps).
#include "Installer-f/wizard_dvd.h"

namespace {
int not_yet(wizard_screen& s)
{
	s.title = "Not available";
	s.back = dvd_start;
	return 0;
}
}  // namespace

int dvd_scan_repair(int, wizard_screen& s) { return not_yet(s); }
int dvd_confirm_repair(int, wizard_screen& s) { return not_yet(s); }
int dvd_done_repair(int, wizard_screen& s) { return not_yet(s); }
int dvd_scan_scenery(int, wizard_screen& s) { return not_yet(s); }
int dvd_edit_scenery(int, wizard_screen& s) { return not_yet(s); }
int dvd_done_scenery(int, wizard_screen& s) { return not_yet(s); }
