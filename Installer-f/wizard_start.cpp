// Decisions of the entry point that need no window.
#include "Installer-f/wizard.h"

int should_copy_self(const std::string& bundle, const std::string& temp, const std::string& dvd)
{
	if (dvd.empty() || bundle.empty()) return 0;
	// A disc mounted at the root would hold every path; nothing to copy then.
	if (dvd == "/") return 0;
	std::string b = bundle, t = temp;
	if (b.back() != '/') b += '/';
	if (!t.empty() && t.back() != '/') t += '/';
	// Already the copy in the temporary folder.
	if (!t.empty() && b.compare(0, t.size(), t) == 0) return 0;
	const size_t n = b.size() < dvd.size() ? b.size() : dvd.size();
	return b.compare(0, n, dvd, 0, n) == 0 ? 1 : 0;
}

std::string path_argument(int argc, const char* const* argv, const std::string& start)
{
	if (argc <= 2 || !argv[1] || !argv[2] || std::string(argv[1]) != "-path") return std::string();
	std::string p = argv[2];
	if (p.empty()) return std::string();
	if (p[0] != '/') {
		std::string base = start;
		if (!base.empty() && base.back() != '/') base += '/';
		p = base + p;
	}
	if (p.back() != '/') p += '/';
	return p;
}
