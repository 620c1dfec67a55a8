// The installer's main job without a window: a small release is built by the
// maker-side mode, served on loopback, and installed (or updated) from there
// the way the web-demo pages drive the engine. Run it twice to see an update
// that downloads nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/make_installer.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_grab.h"
#include "tests/support/http_server.h"
#include "tests/support/install_driver.h"
#include "tests/support/maker_master.h"
#include "tools/tool_options.h"

namespace {

const char* const kHost = "www.ventora-demo.test";

std::string option(int argc, char** argv, const std::string& key, const std::string& def)
{
	for (int i = 1; i < argc; ++i) {
		std::string a = argv[i];
		if (a.compare(0, key.size() + 1, key + "=") == 0) return a.substr(key.size() + 1);
	}
	return def;
}

std::string absolute(std::string p)
{
	if (!p.empty() && p[0] != '/') {
		char cwd[4096];
		if (getcwd(cwd, sizeof cwd)) p = std::string(cwd) + "/" + p;
	}
	if (p.empty() || p.back() != '/') p += '/';
	return p;
}

// The demo master: every part of the layout the builder expects, a few files
// for each platform, a link and an executable.
std::vector<mtest::master_entry> demo_master()
{
	std::vector<mtest::master_entry> m = {
		{"All/Instructions/Read Me.txt", "Ventora 9 web demo.\nFly well.\n"},
		{"All/Weapons/", ""},
		{"All/Airfoils/naca0012.afl", "A\n900 version\nAIRFOIL\n0.12\n"},
		{"All/Aircraft/General Aviation/Cirrus TheJet/c4.acf", std::string(40000, 'a')},
		{"All/Output/", ""},
		{"All/Custom Scenery/", ""},
		{"All/Global Scenery/-global terrain-/+40-120/+47-122.dsf", vtest::noise(30000, 7)},
		{"All/Resources/menus/English/Ventora.txt", "File\nEdit\nView\n"},
		{"All/Resources/text/English/Ventora.txt", "Welcome aboard.\n"},
		{"All/Resources/text/English/current.txt", "Ventora.txt", true},
		{"All/Resources/plugins/PluginAdminLin.vnp", vtest::noise(5000, 3)},
		{"All/Resources/default scenery/900 red terrain/", ""},
		{"All/Resources/bitmaps/Earth Orbit Textures/", ""},
		{"Macintosh/Ventora.app/Contents/MacOS/Ventora", "mac binary"},
		{"Windows/Ventora.exe", mtest::pe_exe_bytes()},
		{"Linux/Ventora", "#!/bin/sh\necho \"Ventora 9 demo is installed.\"\n"},
	};
	return m;
}

int fail(const std::string& why)
{
	std::fprintf(stderr, "ventora_demo: %s\n", why.c_str());
	return 1;
}

}  // namespace

const char* const usage =
    "Usage: ventora_demo [options]\n"
    "Builds a small release with the maker-side mode, serves it on 127.0.0.1 and\n"
    "installs it without a window; a second run into the same folder finds nothing\n"
    "to download.\n"
    "  --dest=FOLDER   where the copy is installed (default \"Ventora Demo\")\n"
    "  --work=FOLDER   where the release is built, emptied first (default \"demo-work\")\n"
    "  -h, --help      show this text\n";

int main(int argc, char** argv)
{
	tool_options::check(argc, argv, "ventora_demo", {{"--dest", true}, {"--work", true}}, usage);
	const std::string work = absolute(option(argc, argv, "--work", "demo-work"));
	dest_dir_path = absolute(option(argc, argv, "--dest", "Ventora Demo"));
	std::printf("Release build folder: %s\nDestination:          %s\n", work.c_str(), dest_dir_path.c_str());

	// A fresh release every run: the disc masters must not exist yet.
	recursive_delete_folder(work);
	const std::string master = work + "master/";
	const std::string masters = work + "DVD_Masters/";
	mtest::write_master(master, demo_master());
	chmod((master + "Linux/Ventora").c_str(), 0755);
	mkdir(masters.c_str(), 0755);
	xer.open(work + "build log.txt");

	// No window: alerts are printed, and a fatal one ends the run.
	MACIBM_set_alert_sink([](const alert_record& a) {
		std::FILE* out = a.kind == alert_fatal ? stderr : stdout;
		for (const std::string* l : {&a.line1, &a.line2, &a.line3, &a.line4})
			if (!l->empty()) std::fprintf(out, "  | %s\n", l->c_str());
		std::fflush(out);
		if (a.kind == alert_fatal) std::exit(1);
	});
	maker_set_folders(master, masters, "");
	build_type = 1;
	maker_set_progress_hooks([](const std::string&, const std::string&) {}, [] { return 0; });
	std::printf("Building the release with the maker-side mode:\n");
	build_install();
	xer.close();

	// Serve disc 0 as the download server's folder.
	const std::string www = work + "www/";
	mkdir(www.c_str(), 0755);
	if (symlink((masters + "disk_0").c_str(), (www + kHost).c_str()) != 0) return fail("cannot link the server folder");
	vtest::http_server server(www);
	std::printf("Serving the release \"%s\" on 127.0.0.1:%u\n", sim_name.c_str(), server.port());

	// The web-demo pages, without their window.
	xer.open(work + "install log.txt");
	vtest::point_engine_at(server, kHost, "/" + sim_name + "/", dest_dir_path, work + "staging/");
	stg.log_actions = 1;
	install_name = sim_name;

	const auto t0 = std::chrono::steady_clock::now();
	auto now = [&] { return std::chrono::duration<float>(std::chrono::steady_clock::now() - t0).count(); };
	const std::string fetched = vtest::fetch_manifest(now);
	if (!fetched.empty()) return fail(fetched);

	const std::string refused = vtest::prepare_install(temp_path + "directory.txt", now());
	if (!refused.empty()) return fail("the install was refused by " + refused);
	if (stg.count_install == 0 && stg.count_delete == 0) {
		std::printf("The copy in %s is up to date: nothing to download.\n", dest_dir_path.c_str());
		return 0;
	}
	std::printf("Installing %d files (%.0f KB to download), deleting %d.\n", stg.count_install, stg.total_download_kb,
	            stg.count_delete);
	int shown = -1;
	for (;;) {
		const int done = vtest::install_frame(20);
		xtim.elapsed = now();
		const int pct = stg.total_install_kb > 0 ? (int)(100 * next.done_install_kb / stg.total_install_kb) : 100;
		if (pct / 10 != shown / 10 || done) {
			std::printf("  %3d%%\n", pct > 100 ? 100 : pct);
			shown = pct;
		}
		if (done) break;
		usleep(1000);
	}
	vtest::release_engine();
	xer.close();
	if (stg.install_problems) return fail("some files could not be installed; see the install log");
	std::printf("Done in %.3f s. Start the simulator: \"%sVentora\"\n", now(), dest_dir_path.c_str());
	return 0;
}
