#pragma once
// The command line as one map from option key ("--lang", "-h", "--pref:xyz")
// to value (the text after the first '='). Filled once by start-up, read-only
// afterwards; options are tested by literal key where they act.
#include <map>
#include <string>

class UTL_cmdline {
public:
	// Parses argv[1..argc-1], then answers the informational options.
	void init_unix(int argc, const char** argv);
	// The same for a whole command line in one string (blank-separated).
	void init_win(const char* line);
	// --cmnds, --version, -h, --help: print to standard output and exit(0).
	// Returns only when none of them was given.
	void init_common();
	// The parsing steps of init_unix and init_win alone, without answering
	// the informational options.
	void parse_unix(int argc, const char** argv);
	void parse_win(const char* line);
	// What init_common prints: 1 and the text when an informational option
	// was given, else 0.
	int informational_text(std::string* out);

	int has_option(const char* key);
	std::string get_option(const char* key);

private:
	void add_option(const std::string& key, const std::string& value);
	std::map<std::string, std::string> options_;
};

extern UTL_cmdline cmdline;

// Texts of the informational options.
extern const char* const cmdline_version_line;
extern const char* const cmdline_usage_text;
