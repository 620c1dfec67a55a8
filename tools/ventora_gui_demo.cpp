// The web demo through the installer's window: builds a release with the
// maker-side mode, serves it with a one-server list on 127.0.0.1, and either
// leaves the installer to the user (--interactive) or clicks through every
// page in three languages, saving a picture of each and one sheet of all of
// them per language. --seconds=N: how long the whole release takes to come
// (0: as fast as loopback goes).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "tests/support/demo_release.h"
#include "tests/support/test_files.h"
#include "tools/tool_options.h"

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

// Bytes of every file under a folder.
long long folder_bytes(const std::string& dir)
{
	std::vector<std::string> names;
	std::vector<int> types;
	opensave_getitems(dir, 0, names, types);
	long long n = 0;
	for (size_t i = 0; i < names.size(); ++i) {
		const std::string p = dir + names[i];
		struct stat st;
		if (lstat(p.c_str(), &st) != 0) continue;
		if (S_ISDIR(st.st_mode)) n += folder_bytes(p + "/");
		else if (S_ISREG(st.st_mode)) n += st.st_size;
	}
	return n;
}
}  // namespace

const char* const usage =
    "Usage: ventora_gui_demo [options]\n"
    "Builds a small release with the maker-side mode, serves it on 127.0.0.1 and\n"
    "installs it through the installer's window: every page is clicked through in\n"
    "English, French and German and a picture of each is saved under WORK/screens/.\n"
    "  --work=FOLDER     where the release, the home folder and the pictures go\n"
    "                    (default \"demo\")\n"
    "  --seconds=N       how long the whole release takes to come (default 5; 0 as\n"
    "                    fast as loopback goes)\n"
    "  --interactive     start the installer for you to click through instead\n"
    "  --program=FILE    the installer --interactive starts\n"
    "  -h, --help        show this text\n";

int main(int argc, char** argv)
{
	tool_options::check(argc, argv, "ventora_gui_demo",
	                    {{"--work", true}, {"--seconds", true}, {"--interactive", false}, {"--program", true}}, usage);
	// A mistyped number would silently mean "as fast as loopback goes".
	const std::string seconds_text = option(argc, argv, "--seconds", "5");
	char* end = nullptr;
	const double install_seconds = std::strtod(seconds_text.c_str(), &end);
	if (end == seconds_text.c_str() || *end || !(install_seconds >= 0) || install_seconds > 3600) {
		std::fprintf(stderr, "ventora_gui_demo: --seconds must be a number of seconds from 0 to 3600, not \"%s\".\n%s",
		             seconds_text.c_str(), usage);
		return 2;
	}
	const std::string work = folder(option(argc, argv, "--work", "demo"));
	const std::string screens = work + "screens/";
	vtest::demo_release rel;
	const std::string err = vtest::build_demo_release(work + "release/", rel);
	if (!err.empty()) {
		std::fprintf(stderr, "ventora_gui_demo: %s\n", err.c_str());
		return 1;
	}
	// Served as over a slow line, so the install page is seen at work: the
	// whole release takes some seconds.
	const long long release_bytes = folder_bytes(rel.work + "www/" + rel.file_host + "/" + rel.name + "/");
	if (install_seconds > 0) {
		rel.server->set_rate_limit((long long)(release_bytes / install_seconds) + 1);
		// The manifest, small as it is, takes one and a half seconds: the
		// check of the servers is seen too.
		const std::string manifest = "/" + rel.name + "/directory.txt.zip";
		vtest::http_behaviour slow;
		slow.slow_chunk = (int)std::max(1LL, (long long)vtest::read_file_bytes(vtest::demo_manifest_zip(rel)).size() / 12);
		slow.slow_delay_ms = 125;
		rel.server->set_behaviour(manifest, slow);
	}
	std::printf("Release \"%s\" (%lld bytes) served on 127.0.0.1:%u\n", rel.name.c_str(), release_bytes,
	            rel.server->port());
	std::fflush(stdout);
	const std::string home = work + "home/";
	if (option(argc, argv, "--interactive", "") == "1") {
		// The user's own run: preferences and desktop under the work folder.
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
	// A fresh home (its preferences are a hidden folder): the installs of an
	// earlier run would stand in the way.
	std::error_code ec;
	std::filesystem::remove_all(home, ec);
	std::filesystem::remove_all(screens, ec);
	mkdir(screens.c_str(), 0755);
	static const char* const codes[] = {"en", "fr", "de"};
	int failures = 0;
	for (int lang = 0; lang < 3; ++lang) {
		vtest::gui_run_options o;
		o.language = lang;
		o.screens_folder = screens;
		o.fly = lang == 0;
		o.run_folder = work;
		o.install_parent = std::string("home/Apps/") + codes[lang];
		o.park_mouse = true;
		// The install page's picture once a good part of the release came
		// (the release holds more than one platform takes: at most the time
		// the whole of it would take).
		o.on_reached = [&](int page) {
			if (page != 4 || install_seconds <= 0) return;
			const long long at_install = rel.server->body_bytes_sent();
			for (int i = 0; i < install_seconds * 100 && rel.server->body_bytes_sent() - at_install < release_bytes * 2 / 5; ++i)
				usleep(10000);
		};
		std::shared_ptr<void> keep;
		vtest::gui_run_result r = vtest::run_web_demo_gui(rel, o, keep);
		for (const std::string& s : r.screens) std::printf("%s\n", s.c_str());
		if (!r.failure.empty()) {
			std::fprintf(stderr, "ventora_gui_demo: %s\n", r.failure.c_str());
			++failures;
		} else {
			std::printf("Installed into %s (exit status %d)\n", r.dest.c_str(), r.exit_status);
		}
		const std::string sheet = screens + "all-pages-" + codes[lang] + ".png";
		const std::string sheet_err = vtest::write_contact_sheet(r.screens, 3, sheet);
		if (sheet_err.empty()) std::printf("All pages at a glance: %s\n", sheet.c_str());
		else std::fprintf(stderr, "ventora_gui_demo: %s\n", sheet_err.c_str());
		std::fflush(stdout);
	}
	return failures ? 1 : 0;
}
