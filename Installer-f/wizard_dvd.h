#pragma once
// The DVD flows: the entry page, install, repair, add or remove scenery and
// launch. Install pages, the entry page, the copy-picking, install-step and
// disc-change families live in wizard_dvd.cpp; the repair and scenery pages
// proper in wizard_dvd_repair.cpp.
#include <string>

#include "Installer-f/wizard.h"

// ---- flow state ----------------------------------------------------------------
extern int accept_eula;                 // the DVD licence box is ticked
extern int dvd_install_is_running;      // install past its set-up frame
extern int repair_is_running;           // repair past its set-up frame
extern int scenery_install_is_running;  // scenery run past its set-up frame
extern int num_install_errors;          // task failures of the current run

// ---- entry page and install flow (wizard_dvd.cpp) ------------------------------
int dvd_start(int first_time, wizard_screen& s);
int dvd_pick_install(int first_time, wizard_screen& s);
int dvd_eula_install(int first_time, wizard_screen& s);
int dvd_scenery_install(int first_time, wizard_screen& s);
int dvd_done_install(int first_time, wizard_screen& s);

// Install-step family: one algorithm, three members.
int dvd_run_install(int first_time, wizard_screen& s);
int dvd_install_repair(int first_time, wizard_screen& s);
int dvd_install_scenery(int first_time, wizard_screen& s);

// Copy-picking family.
int dvd_pick_run_sim(int first_time, wizard_screen& s);
int dvd_pick_repair(int first_time, wizard_screen& s);
int dvd_pick_scenery(int first_time, wizard_screen& s);

// Change-disc and check-disc pairs, one per flow.
int dvd_switch_disk_install(int first_time, wizard_screen& s);
int dvd_switch_disk_repair(int first_time, wizard_screen& s);
int dvd_switch_disk_scenery(int first_time, wizard_screen& s);
int dvd_verify_disk_install(int first_time, wizard_screen& s);
int dvd_verify_disk_repair(int first_time, wizard_screen& s);
int dvd_verify_disk_scenery(int first_time, wizard_screen& s);

// ---- repair and scenery pages (wizard_dvd_repair.cpp) --------------------------
int dvd_scan_repair(int first_time, wizard_screen& s);
int dvd_confirm_repair(int first_time, wizard_screen& s);
int dvd_done_repair(int first_time, wizard_screen& s);
int dvd_scan_scenery(int first_time, wizard_screen& s);
int dvd_edit_scenery(int first_time, wizard_screen& s);
int dvd_done_scenery(int first_time, wizard_screen& s);

// Page lists of the three flows (names translated when set).
void dvd_set_install_pages();
void dvd_set_repair_pages();
void dvd_set_scenery_pages();
