#pragma once
// The command line of the project's own tools: --help (or -h) prints the
// usage text and ends with 0; an option the tool does not know, or one
// without the value it needs, prints why and the usage text to standard
// error and ends with 2, before anything is read or written.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tool_options {

struct known {
	const char* key;   // "--dest"
	bool takes_value;  // given as key=value; otherwise the key alone
};

inline void check(int argc, char** argv, const char* program, const std::vector<known>& options, const char* usage)
{
	for (int i = 1; i < argc; ++i) {
		const std::string a = argv[i];
		if (a == "--help" || a == "-h") {
			std::fputs(usage, stdout);
			std::exit(0);
		}
	}
	for (int i = 1; i < argc; ++i) {
		const std::string a = argv[i];
		const size_t eq = a.find('=');
		const std::string key = a.substr(0, eq);
		const known* k = nullptr;
		for (const known& o : options)
			if (key == o.key) k = &o;
		std::string why;
		if (!k) why = "unknown option \"" + a + "\"";
		else if (k->takes_value && (eq == std::string::npos || eq + 1 == a.size()))
			why = "option " + key + " needs a value (" + key + "=...)";
		else if (!k->takes_value && eq != std::string::npos)
			why = "option " + key + " takes no value";
		if (why.empty()) continue;
		std::fprintf(stderr, "%s: %s.\n%s", program, why.c_str(), usage);
		std::exit(2);
	}
}

}  // namespace tool_options
