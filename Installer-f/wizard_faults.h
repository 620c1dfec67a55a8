#pragma once
// What the pages tell the user about failures: why a transfer failed and
// when it is tried again, what stopped a run and the one question about it,
// a download that stalls, a name that cannot be a folder, a launch that
// failed. Every text passes through the translation.
#include <functional>
#include <string>

#include "DIzivoz/OOPS_cpp/http.h"
#include "Installer-f/utils_faults.h"

// The system's reason for an error code, in the page's language.
std::string reason_text(int code);
// Why a transfer from `server` failed, as one sentence.
std::string net_failure_text(const net_failure& f, const std::string& server);
// When the next try comes: "I am trying again in 8 seconds." (now, when due).
std::string retry_text(float wait);
// The problem with the server list or the manifest for the page, once a few
// tries have failed in a row; empty before.
std::string directory_problem_text();
// What stopped a run: the fault, where, and the system's text of the error.
std::string local_fault_text(const run_halt& h);

// The one question about a stopped run: head, what went wrong, and that
// Continue goes on where the run stopped; the flow's two buttons. Returns
// what abort_alert returns (1 the first button, 0 the second, 3 closed).
int halt_question(const std::string& head, const run_halt& h, const std::string& caption1,
                  const std::string& text1, const std::string& caption2, const std::string& text2);

// The one question before a running job is stopped (Back, Quit, another
// page of its flow): the job's texts, already translated, with Continue as
// the second button. Stop (the first button) runs stop() and clears running,
// and answers true; Continue or a closed question leaves the job running.
bool ask_to_stop_job(const std::string& message, const std::string& stop_caption, const std::string& stop_text,
                     const std::string& go_on_text, const std::string& title, int& running,
                     const std::function<void()>& stop);

// Logs a problem a page shows, once per change of its text (support and
// tests read the log); callers pass the text without its countdown.
void page_notice(const std::string& text);

// Seconds since the downloaded amount last grew (frame clock); 0 while it grows.
struct stall_watch {
	float last_kb = -1;
	float since = 0;
	float stalled_for(float kb, float now);
	void reset() { *this = stall_watch(); }
};
// Seconds without data after which the install page says the download stalled.
const float stall_notice_seconds = 5;
// The install page's text while nothing arrives.
std::string stalled_text(float seconds);

// What is wrong with an install folder name, as the page says it; empty
// when the name can be made into a folder.
std::string install_name_problem(const std::string& name);
