#pragma once
// The one way any layer tells the user something or asks the frame loop for
// a frame. A caller raises; the report hands the alert to the main thread
// when it is raised elsewhere; the presenter the shell registers at start-up
// shows it. Library layers include this, never the shell's headers.
#include <functional>
#include <string>

enum { alert_picker = 0, alert_warning = 1, alert_fatal = 2 };

// What an alert carried.
struct alert_record {
	int return_window;
	std::string line1, line2, line3, line4;
	int kind;
	std::string source_file;
	int source_line;
};

// Any thread, any stage. Off the main thread the alert travels there as an
// error record and the call returns (a fatal one ends the calling thread).
// On the main thread it goes to the presenter; a fatal alert does not return
// unless a test's presenter lets it.
void __MACIBM_alert(int return_window, std::string line1, std::string line2, std::string line3,
                    std::string line4, int kind, const char* source_file, int source_line);

// The shell's presenter (the drawn modal alert, native before the window is
// up), registered before main by the shell's alert unit. Without one, alerts
// go to standard error and the log, and a fatal one ends the process with
// status 1. A plain function, so that it may be set before main.
using alert_presenter = void (*)(const alert_record&);
void REPORT_set_presenter(alert_presenter presenter);
alert_presenter REPORT_presenter();

using alert_sink_fn = std::function<void(const alert_record&)>;

// Test seam: a sink stands in front of the presenter and takes every alert
// raised on the main thread; a fatal alert then does not end the process (the
// sink may throw to unwind the caller). An empty function restores.
void MACIBM_set_alert_sink(alert_sink_fn sink);

// What the frame loop does with the frame requests below; the shell registers
// them at start-up. Without them the requests do nothing.
struct frame_requests {
	void (*busy)();     // this frame polled work that goes on: the next frame follows at once
	void (*animate)();  // what this frame drew changes with the clock: the next one tick later
	void (*wake)();     // any thread: end the loop's wait at once
	void (*open_window)(int type);  // a modal sub-window of the library (file dialogs) opens or closes
	void (*run_frame)();            // one whole frame, for such a modal loop
	void (*progress)(const std::string& text, float* progress);  // the start-up progress screen
};
void REPORT_set_frame_requests(const frame_requests& requests);
frame_requests REPORT_frame_requests();

// This frame polled work that goes on (downloads, a worker pool): the next
// frame follows without waiting for input.
void MACIBM_frame_busy();
// What this frame drew changes with the clock (the pulsing caret, a recorded
// movie): the next frame follows after one tick.
void MACIBM_frame_animate();
// Any thread: ends the frame loop's wait at once (a queued alert).
void MACIBM_frame_wake();
// A modal loop of the library: opens sub-window type (0 the main screen) and
// runs one frame at a time until it leaves. Without a frame loop the window
// type is not kept and no frame runs.
void REPORT_open_window(int type);
void REPORT_run_frame();
// A step of a long load on the progress screen (progress 0..1, or null to
// step on); without a shell nothing is shown.
void REPORT_progress(const std::string& text, float* progress);

// The shell's shutdown, for an error record that must end the program from a
// thread that cannot show it (flag as MACIBM_finishup's).
void REPORT_set_finisher(void (*finish)(int flag));
void REPORT_finish(int flag);
