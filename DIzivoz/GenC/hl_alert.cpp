#include "DIzivoz/GenC/hl_alert.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_debug.h"
#include "DIzivoz/UTL/UTL_mem.h"
#include "DIzivoz/UTL/UTL_exce.h"

namespace {
std::mutex sink_lock;
std::function<void(const alert_record&)> alert_sink;
}

void MACIBM_set_alert_sink(std::function<void(const alert_record&)> sink)
{
	std::lock_guard<std::mutex> g(sink_lock);
	alert_sink = std::move(sink);
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
	std::function<void(const alert_record&)> sink;
	{
		std::lock_guard<std::mutex> g(sink_lock);
		sink = alert_sink;
	}
	const std::string file = source_file ? source_file : "";
	if (sink) {
		sink(alert_record{return_window, line1, line2, line3, line4, kind, file, source_line});
		return;
	}
	const std::string where = "(" + file + " line " + std::to_string(source_line) + ")";

	// A fatal alert leaves a stack dump beside the program for the bug report.
	if (kind == alert_fatal) {
		if (std::FILE* f = std::fopen("stack_crawl.txt", "a")) {
			UTL_dump_stack(f, nullptr, nullptr);
			std::fclose(f);
		}
	}

	// The frame-rate test shows nothing and never waits for anyone.
	if (cmdline.has_option("--fps_test")) {
		xer << line1 << "\n" << line2 << "\n" << line3 << "\n" << line4 << "\n" << where << "\n";
		xer.flush();
		if (kind == alert_fatal) std::exit(1);
		return;
	}

	// No window yet: the native alert is the standard error stream.
	std::fprintf(stderr, "%s %s\n%s %s\n", line1.c_str(), line2.c_str(), line3.c_str(), line4.c_str());
	if (kind == alert_fatal) std::fprintf(stderr, "%s\n", where.c_str());

	if (kind == alert_warning || kind == alert_fatal)
		dump_mem_stats("This is the dump_mem_stats call from the following code: if(type==t_exit || type == t_alert || recursive_error)");
	xer << "\n" << line1 << "\n" << line2 << "\n" << line3 << "\n" << line4 << "\n" << where << "\n";
	xer.flush();
	if (kind == alert_fatal) {
		app_done = 1;
		std::exit(1);
	}
}
