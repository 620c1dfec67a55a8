#include "DIzivoz/UTL/UTL_exce.h"

#include "DIzivoz/GenH/hl_globals.h"

exce_class::exce_class() : file("no exception"), line(0), severity(2) {}

exce_class::exce_class(std::string m1, std::string m2, std::string m3, std::string m4,
                       const char* f, int l, int s)
    : msg1(std::move(m1)), msg2(std::move(m2)), msg3(std::move(m3)), msg4(std::move(m4)),
      file(f), line(l), severity(s)
{
}

exce_class::~exce_class() {}

void exce_class::MakeFatal() { severity = 2; }

void exce_class::LogAndContinue()
{
	xer << "Logging " << (severity == 0 ? "non-fatal" : "fatal")
	    << " Exception thrown from file: " << (file ? file : "") << ", line " << line << ".\n";
	xer << msg1 << "\n" << msg2 << "\n" << msg3 << "\n" << msg4 << "\n";
	xer.flush();
}
