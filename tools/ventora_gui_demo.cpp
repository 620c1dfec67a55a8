// The web demo through the installer's window: builds a release with the
// maker-side mode, serves it with a one-server list on 127.0.0.1, and either
// leaves the installer to the user (--interactive) or clicks through every
// page, saving a picture of each.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/demo_release.h"

namespace {
std::string option(int argc, char** argv, const std::string& key, const std::string& def)
{
	for (int i = 1; i < argc; ++i) {
		std::string a = argv[i];
		if (a.compare(0, key.size() + 1, key + "=") == 0) return a.substr(key.size() + 1);
		if (a == key) return "1";
	}
	return def;
}
std::string folder(std::string p)
{
	if (!p.empty() && p[0] != '/') {
		char cwd[4096];
		if (getcwd(cwd, sizeof cwd)) p = std::string(cwd) + "/" + p;
	}
	if (p.empty() || p.back() != '/') p += '/';
	return p;
}
}  // namespace

int main(int argc, char** argv)
{
	const std::string work = folder(option(argc, argv, "--work", "demo"));
	const std::string screens = work + "screens/";
	vtest::demo_release rel;
	const std::string err = vtest::build_demo_release(work + "release/", rel);
	if (!err.empty()) {
		std::fprintf(stderr, "ventora_gui_demo: %s\n", err.c_str());
		return 1;
	}
	std::printf("Release \"%s\" served on 127.0.0.1:%u\n", rel.name.c_str(), rel.server->port());
	std::fflush(stdout);
	if (option(argc, argv, "--interactive", "") == "1") {
		// The user's own run: preferences and desktop under the work folder.
		const std::string home = work + "home/";
		mkdir(home.c_str(), 0755);
		mkdir((home + "Desktop").c_str(), 0755);
		setenv("HOME", home.c_str(), 1);
		setenv("XDG_CONFIG_HOME", (home + ".config").c_str(), 1);
		setenv("XDG_DESKTOP_DIR", (home + "Desktop").c_str(), 1);
		const std::string cmd = "\"" + option(argc, argv, "--program", "") + "\" --pref:_proxy_host=127.0.0.1 --pref:_proxy_port_int=" +
		                        std::to_string(rel.server->port());
		std::printf("Preferences and desktop under %s\n", home.c_str());
		return std::system(cmd.c_str()) == 0 ? 0 : 1;
	}
	mkdir(screens.c_str(), 0755);
	int failures = 0;
	for (int lang = 0; lang < 3; ++lang) {
		vtest::gui_run_options o;
		o.language = lang;
		o.screens_folder = screens;
		o.fly = lang == 0;
		std::shared_ptr<void> keep;
		vtest::gui_run_result r = vtest::run_web_demo_gui(rel, o, keep);
		for (const std::string& s : r.screens) std::printf("%s\n", s.c_str());
		if (!r.failure.empty()) {
			std::fprintf(stderr, "ventora_gui_demo: %s\n", r.failure.c_str());
			++failures;
		} else {
			std::printf("Installed into %s (exit status %d)\n", r.dest.c_str(), r.exit_status);
		}
		std::fflush(stdout);
	}
	return failures ? 1 : 0;
}
