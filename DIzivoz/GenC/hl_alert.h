#pragma once
// The program's one way of telling the user something.
#include <functional>
#include <string>

enum { alert_picker = 0, alert_warning = 1, alert_fatal = 2 };

void __MACIBM_alert(int return_window, std::string line1, std::string line2, std::string line3,
                    std::string line4, int kind, const char* source_file, int source_line);

// What an alert carried; tests capture these instead of showing them.
struct alert_record {
	int return_window;
	std::string line1, line2, line3, line4;
	int kind;
	std::string source_file;
	int source_line;
};

// Test seam: when a sink is set, every alert on the main thread goes to it
// instead of being shown, and a fatal alert does not end the process (the sink
// may throw to unwind the caller). Pass an empty function to restore.
void MACIBM_set_alert_sink(std::function<void(const alert_record&)> sink);

// Orderly shutdown: flag 1 on a normal quit (writes the preferences unless
// "--fps_test", stops the threads), 0 after a fatal error.
void MACIBM_finishup(int flag);
void IBM_turnoff();
// Three-choice question in sub-window 995: 1, 2 or 3.
int MACIBM_nuke_alert(std::string name, int three_choices);
// The native stop alert: a box when a display exists, standard error always.
void MACIBM_native_alert(const std::string& line1, const std::string& line2, const std::string& line3,
                         const std::string& line4);
// Ends the program after a fatal error: the log and files are flushed and
// closed, then the process ends at once (pool threads may still run).
[[noreturn]] void MACIBM_fatal_exit();
