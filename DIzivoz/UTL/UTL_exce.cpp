#include "DIzivoz/UTL/UTL_exce.h"

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/Thread/hl_thread.h"

// The shell's orderly shutdown, when the shell is linked in.
extern void MACIBM_finishup(int) __attribute__((weak));

exce_class::exce_class() : file("no exception"), line(0), severity(2) {}

exce_class::exce_class(std::string m1, std::string m2, std::string m3, std::string m4,
                       const char* f, int l, int s)
    : msg1(std::move(m1)), msg2(std::move(m2)), msg3(std::move(m3)), msg4(std::move(m4)),
      file(f), line(l), severity(s)
{
}

exce_class::~exce_class() {}

void exce_class::MakeFatal() { severity = 2; }

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
	if (MACIBM_finishup) MACIBM_finishup(1);
}

void exce_class::LogAndContinue()
{
	xer << "Logging " << (severity == 0 ? "non-fatal" : "fatal")
	    << " Exception thrown from file: " << (file ? file : "") << ", line " << line << ".\n";
	xer << msg1 << "\n" << msg2 << "\n" << msg3 << "\n" << msg4 << "\n";
	xer.flush();
}
