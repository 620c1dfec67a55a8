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
