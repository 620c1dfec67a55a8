#pragma once
// Error record that carries an alert from another thread to the main thread.
#include <string>

class exce_class {
public:
	exce_class();
	exce_class(std::string msg1, std::string msg2, std::string msg3, std::string msg4,
	           const char* file, int line, int severity);
	exce_class(const exce_class&) = default;
	exce_class& operator=(const exce_class&) = default;
	virtual ~exce_class();

	void MakeFatal();
	// Shows the record as an alert (on the main thread); a fatal record ends the
	// program. Defined with the report (Thread/hl_report), which it goes through.
	void Report();
	void LogAndContinue();

	std::string msg1;
	std::string msg2;
	std::string msg3;
	std::string msg4;
	const char* file;  // a string constant, never owned
	int line;
	int severity;      // 1 warning, 2 fatal
};
