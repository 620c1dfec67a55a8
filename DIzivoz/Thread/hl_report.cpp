#include "DIzivoz/Thread/hl_report.h"

#include <cstdio>
#include <mutex>
#include <unistd.h>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_exce.h"

namespace {
std::mutex seam_lock;
// Plain values, constant-initialised: the shell may register before main.
alert_presenter presenter = nullptr;
alert_sink_fn sink;
frame_requests frames{};
void (*finisher)(int) = nullptr;

// No shell: the alert is said on standard error and in the log.
void bare_present(const alert_record& a)
{
	const std::string where = "(" + a.source_file + " line " + std::to_string(a.source_line) + ")";
	std::fprintf(stderr, "%s %s\n\n%s %s\n", a.line1.c_str(), a.line2.c_str(), a.line3.c_str(),
	             a.line4.c_str());
	if (a.kind == alert_fatal) std::fprintf(stderr, "%s\n", where.c_str());
	std::fflush(stderr);
	xer << "\n" << a.line1 << "\n" << a.line2 << "\n" << a.line3 << "\n" << a.line4 << "\n" << where << "\n";
	xer.flush();
	if (a.kind != alert_fatal) return;
	xer.close();
	std::fflush(nullptr);
	_exit(1);
}
}  // namespace

void REPORT_set_presenter(alert_presenter p)
{
	std::lock_guard<std::mutex> g(seam_lock);
	presenter = p;
}

alert_presenter REPORT_presenter()
{
	std::lock_guard<std::mutex> g(seam_lock);
	return presenter;
}

void MACIBM_set_alert_sink(alert_sink_fn s)
{
	std::lock_guard<std::mutex> g(seam_lock);
	sink = std::move(s);
}

void __MACIBM_alert(int return_window, std::string line1, std::string line2, std::string line3,
                    std::string line4, int kind, const char* source_file, int source_line)
{
	// Only the main thread shows alerts: from any other thread the alert travels
	// there as a record (a fatal one ends the calling thread here).
	if (THREAD_is_inited() && !THREAD_is_main_thread()) {
		THREAD_send_exception(exce_class(line1, line2, line3, line4, source_file, source_line, kind));
		return;
	}
	alert_sink_fn taker;
	alert_presenter show = nullptr;
	{
		std::lock_guard<std::mutex> g(seam_lock);
		taker = sink;
		show = presenter;
	}
	const alert_record a{return_window,         std::move(line1), std::move(line2), std::move(line3),
	                     std::move(line4),      kind,             source_file ? source_file : "",
	                     source_line};
	if (taker) taker(a);
	else if (show) show(a);
	else bare_present(a);
}

void exce_class::Report()
{
	if (!THREAD_is_inited() || THREAD_is_main_thread()) {
		__MACIBM_alert(0, msg1, msg2, msg3, msg4, severity, file, line);
		return;
	}
	// Only the main thread can show an alert: log it and ask the program to stop.
	xer << "EXCEPTION REPORTED FROM THREAD!!  File: " << (file ? file : "") << ", line " << line
	    << ".\n";
	xer << msg1 << "\n" << msg2 << "\n" << msg3 << "\n" << msg4 << "\n";
	xer.flush();
	app_done = 1;
	REPORT_finish(1);
}

void REPORT_set_frame_requests(const frame_requests& r)
{
	std::lock_guard<std::mutex> g(seam_lock);
	frames = r;
}

frame_requests REPORT_frame_requests()
{
	std::lock_guard<std::mutex> g(seam_lock);
	return frames;
}

namespace {
// Read under the lock, called outside it: a request may come from any thread.
template <typename F>
void request(F frame_requests::*which)
{
	void (*fn)() = nullptr;
	{
		std::lock_guard<std::mutex> g(seam_lock);
		fn = frames.*which;
	}
	if (fn) fn();
}
}  // namespace

void MACIBM_frame_busy() { request(&frame_requests::busy); }
void MACIBM_frame_animate() { request(&frame_requests::animate); }
void MACIBM_frame_wake() { request(&frame_requests::wake); }
void REPORT_run_frame() { request(&frame_requests::run_frame); }

void REPORT_open_window(int type)
{
	void (*fn)(int) = nullptr;
	{
		std::lock_guard<std::mutex> g(seam_lock);
		fn = frames.open_window;
	}
	if (fn) fn(type);
}

void REPORT_progress(const std::string& text, float* progress)
{
	void (*fn)(const std::string&, float*) = nullptr;
	{
		std::lock_guard<std::mutex> g(seam_lock);
		fn = frames.progress;
	}
	if (fn) fn(text, progress);
}

void REPORT_set_finisher(void (*finish)(int))
{
	std::lock_guard<std::mutex> g(seam_lock);
	finisher = finish;
}

void REPORT_finish(int flag)
{
	void (*fn)(int) = nullptr;
	{
		std::lock_guard<std::mutex> g(seam_lock);
		fn = finisher;
	}
	if (fn) fn(flag);
}
