#pragma once
// The shell's side of alerts: the drawn and native presenters behind the
// report (Thread/hl_report), and the orderly shutdown.
#include <string>

#include "DIzivoz/Thread/hl_report.h"

// The report's presenter: the drawn modal alert, native before the window is
// up or while another alert is shown; a fatal alert ends the program.
void MACIBM_present_alert(const alert_record& a);

// Wires the shell to the report seam and the thread layer: the presenter, the
// shutdown, the frame loop's requests, OpenGL sharing for threads. Every
// program that links the library has it done before main; start-up does it
// again (a test may have changed them).
void MACIBM_register_shell();

// Orderly shutdown: flag 1 on a normal quit (writes the preferences unless
// "--fps_test", stops the threads), 0 after a fatal error.
void MACIBM_finishup(int flag);
void IBM_turnoff();
// Starts another program in place of this one (launch_app); once it runs this
// program ends with status 1, after the orderly shutdown when finish is set.
// Returns only the error of a start that failed.
int MACIBM_launch_in_place(const std::string& app, const std::string& arg, int finish);
// Three-choice question in sub-window 995: 1, 2 or 3.
int MACIBM_nuke_alert(std::string name, int three_choices);
// The native stop alert: a box when a display exists, standard error always.
void MACIBM_native_alert(const std::string& line1, const std::string& line2, const std::string& line3,
                         const std::string& line4);
// Ends the program after a fatal error: the log and files are flushed and
// closed, then the process ends at once (pool threads may still run).
[[noreturn]] void MACIBM_fatal_exit();
