// The updater through its real window under X, each run on an Xvfb of its
// own, against releases served on loopback: a copy of the demo release
// (installed by the web demo's window or by the headless driver) brought up
// to later releases page by page, with the requests the server saw.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "Installer-f/prefs_window.h"
#include "Installer-f/wizard.h"
#include "tests/support/big_copy.h"
#include "tests/support/demo_release.h"
#include "tests/support/demo_release_fixture.h"
#include "tests/support/grab_release.h"
#include "tests/support/install_driver.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

using UpdaterGui = vtest::DemoReleaseTest;

std::string file_of(const std::string& p) { return vtest::read_file_bytes(p); }
bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

// The updater's window: its own X server, run folder and home.
struct updater_window {
	int lang;  // 0 English, 1 French, 2 German
	std::unique_ptr<vtest::xvfb_server> x{new vtest::xvfb_server(1024, 768)};
	vtest::shell_app_run run;
	std::unique_ptr<vtest::x_view> xv;
	unsigned long win = 0;

	explicit updater_window(int language = 0)
	    : lang(language),
	      run("", {{"LANGUAGE", language == 1 ? "fr" : language == 2 ? "de" : "en"}, {"LANG", "C.UTF-8"}},
	          "ventora_updater")
	{
		if (!x->display().empty()) run.display = x->display();
		mkdir((home() + "Apps").c_str(), 0755);
	}
	std::string home() const { return run.folder() + "home/"; }
	std::string registry() const { return home() + ".config/Ventora/ventora_install.txt"; }
	void register_copies(const std::vector<std::string>& copies) const
	{
		mtest::make_dirs(home() + ".config/Ventora/");
		std::string text;
		for (const std::string& c : copies) text += c + "\n";
		vtest::write_file_bytes(registry(), text);
	}
	bool start(const vtest::demo_release& r, std::vector<std::string> args)
	{
		args.insert(args.end(), {"--pref:_proxy_host=127.0.0.1",
		                         "--pref:_proxy_port_int=" + std::to_string(r.server->port()), "--missing_strings"});
		if (!run.start(args)) return false;
		xv.reset(new vtest::x_view(run.display));
		for (int i = 0; i < 300 && !(win = xv->find_window("Ventora Installer")); ++i) usleep(100000);
		return win != 0;
	}
	void click(float x, float y)
	{
		int wx = 0, wy = 0, ww = 0, wh = 0;
		xv->geometry(win, &wx, &wy, &ww, &wh);
		vtest::xdotool(run.display, {"windowfocus", std::to_string(win)});
		vtest::xdotool(run.display, {"mousemove", std::to_string(wx + (int)x), std::to_string(wy + wh - (int)y)});
		std::this_thread::sleep_for(std::chrono::milliseconds(60));
		vtest::xdotool(run.display, {"click", "1"});
	}
	void key(const std::string& k)
	{
		vtest::xdotool(run.display, {"windowfocus", std::to_string(win)});
		vtest::xdotool(run.display, {"key", k});
	}
	int count(const std::string& text) const
	{
		const std::string log = run.log();
		int n = 0;
		for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
		return n;
	}
	// Waits until the log holds text at least n times.
	bool wait_count(const std::string& text, int n, double seconds) const
	{
		const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds((long long)(seconds * 1000));
		do {
			if (count(text) >= n) return true;
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
		} while (std::chrono::steady_clock::now() < end);
		return false;
	}
	// Next, pressed again while a busy machine lost the click, until the
	// page line is in the log n times.
	bool next_to(const std::string& page_line, int n = 1)
	{
		for (int k = 0; k < 6; ++k) {
			click(770 - interface_icon_width(2, lang) / 2, 23);
			if (wait_count(page_line, n, 5)) return true;
		}
		return false;
	}
	void quit_at_next() { click(770 - interface_icon_width(0, lang) / 2, 23); }
	void quit_at_left() { click(30 + interface_icon_width(0, lang) / 2, 23); }
	// The preferences window opens over the page; its close box closes it.
	void open_prefs() { click(40 + interface_icon_width(0, lang) + interface_icon_width(6, lang) / 2, 23); }
	// A point of the preferences window (600 x 380, centred in the 800 x 600 window).
	void click_prefs(float px, float py) { click(100 + px, 110 + py); }
	void close_prefs() { click_prefs(10, 380 - 10); }
	void back() { click(760 - interface_icon_width(2, lang) - interface_icon_width(1, lang) / 2, 23); }
	void fly() { click(500, 350); }

	// An update's walk through the pages: Welcome, (the copy picker without
	// -path: every later page one further on), Search for Updates, and when
	// the scan finds work Check Disk Space and Installing, to Finish. The
	// hooks run on their page; a fatal failure in one ends the walk.
	struct walk {
		std::vector<std::string> args;
		std::string plan;  // the scan's plan line, looked for on Check Disk Space
		bool picker = false;
		bool finds_work = true;
		bool titled = true;  // page lines with their English titles
		double finish_seconds = 60;
		std::function<void()> on_start, on_welcome, on_picker, on_disk;
	};
	std::string page(const walk& p, int n, const char* title) const
	{
		return "Wizard page " + std::to_string(n) + ":" + (p.titled ? std::string(" ") + title : std::string());
	}
	static bool hook(const std::function<void()>& f)
	{
		if (f) f();
		return !::testing::Test::HasFatalFailure();
	}
	// Up to the Search for Updates page, the scan under way.
	void to_scan(const vtest::demo_release& r, const walk& p)
	{
		ASSERT_TRUE(start(r, p.args)) << run.stderr_text();
		if (!hook(p.on_start)) return;
		ASSERT_TRUE(run.wait_log(page(p, 0, "Ventora 9 Web Updater"), 30)) << run.log();
		if (!hook(p.on_welcome)) return;
		const int k = p.picker ? 1 : 0;
		if (p.picker) {
			ASSERT_TRUE(next_to(page(p, 1, "Pick Destination"))) << run.log();
			if (!hook(p.on_picker)) return;
		}
		ASSERT_TRUE(next_to(page(p, 1 + k, "Search for Updates"))) << run.log();
	}
	void to_finish(const vtest::demo_release& r, const walk& p)
	{
		ASSERT_NO_FATAL_FAILURE(to_scan(r, p));
		const int k = p.picker ? 1 : 0;
		if (p.finds_work) {
			ASSERT_TRUE(run.wait_log(page(p, 2 + k, "Check Disk Space"), 60)) << run.log();
			if (!p.plan.empty()) {
				EXPECT_NE(run.log().find(p.plan), std::string::npos) << p.plan << " not in:\n" << run.log();
			}
			if (!hook(p.on_disk)) return;
			std::this_thread::sleep_for(std::chrono::milliseconds(300));
			ASSERT_TRUE(next_to(page(p, 3 + k, "Installing"))) << run.log();
		}
		ASSERT_TRUE(run.wait_log(page(p, 4 + k, "Finshed Web Update"), p.finish_seconds)) << run.log();
	}
	// Quit on the Finish page; the program ends well.
	void quit_from_finish()
	{
		std::this_thread::sleep_for(std::chrono::milliseconds(300));
		quit_at_next();
		EXPECT_EQ(run.wait_exit(30), 0) << run.stderr_text();
	}
};

// The demo release installed headless into dest (made here), as the web
// demo would: every file of this platform and every tile.
std::string install_headless(const vtest::demo_release& r, const std::string& dest, const std::string& staging)
{
	vtest::temp_folder unz;
	std::string name;
	if (zip_to_file(vtest::demo_manifest_zip(r), unz.path(), &name, 0) != 0) return "manifest";
	mtest::make_dirs(dest);
	vtest::point_engine_at(*r.server, r.file_host, "/" + r.name + "/", dest, staging);
	std::string err = vtest::prepare_install(unz.path() + name, 0);
	for (int i = 0; err.empty() && !vtest::install_frame(50); ++i)
		if (i > 2000) err = "install never ended";
	vtest::release_engine();
	// The folders a copy is recognised by, also when the manifest lists no file in one.
	for (const char* f : {"Airfoils", "Instructions", "Output", "Resources"}) mkdir((dest + f).c_str(), 0755);
	return err;
}

// The demo master with some files changed, added or left out.
std::vector<mtest::master_entry> master_with(const std::map<std::string, std::string>& changed,
                                             const std::set<std::string>& dropped)
{
	std::vector<mtest::master_entry> out;
	for (mtest::master_entry e : vtest::demo_master()) {
		if (dropped.count(e.rel)) continue;
		auto c = changed.find(e.rel);
		if (c != changed.end()) e.data = c->second;
		out.push_back(e);
	}
	for (auto& c : changed) {
		bool known = false;
		for (auto& e : out) known = known || e.rel == c.first;
		if (!known) out.push_back({c.first, c.second});
	}
	return out;
}

struct snapshot {
	std::string bytes;
	std::time_t mtime;
};
std::map<std::string, snapshot> snap(const std::string& dest, const std::vector<std::string>& files)
{
	std::map<std::string, snapshot> m;
	for (const std::string& f : files) m[f] = {file_of(dest + f), vtest::file_mtime(dest + f)};
	return m;
}

// Paths the server was asked for since request `from`, host + path.
std::multiset<std::string> asked_since(const vtest::demo_release& r, size_t from)
{
	std::multiset<std::string> s;
	const auto reqs = r.server->requests();
	for (size_t i = from; i < reqs.size(); ++i) s.insert(reqs[i].host + reqs[i].path);
	return s;
}

// Serves the demo release's server list again when a test ends.
struct list_restorer {
	const vtest::demo_release& r;
	~list_restorer() { r.server->put_file(r.web_host, "/serverlist9.txt", vtest::demo_server_list(r)); }
};

const char* const untouched_files[] = {"Airfoils/naca0012.afl", "Resources/menus/English/Ventora.txt", "Ventora",
                                       "Global Scenery/-global terrain-/+40-120/+47-122.dsf"};

}  // namespace

// A copy the web demo installed, updated from the same release: straight from
// the scan to "already up to date", nothing fetched or deleted (its tiles are
// the copy's own), and the choice on Finish starts the installed program.
TEST_F(UpdaterGui, CopyOfTheSameReleaseIsUpToDateAndItsChoiceFlies)
{
	vtest::gui_run_options o;
	o.fly = false;
	std::shared_ptr<void> keep;
	rel->server->clear_behaviours();
	vtest::gui_run_result installed = vtest::run_web_demo_gui(*rel, o, keep);
	ASSERT_EQ(installed.failure, "") << installed.log;
	ASSERT_FALSE(installed.dest.empty());
	const std::string registry = file_of(installed.run_folder + "home/.config/Ventora/ventora_install.txt");
	const std::vector<std::string> files(std::begin(untouched_files), std::end(untouched_files));
	const auto before_files = snap(installed.dest, files);

	const size_t before = rel->server->request_count();
	updater_window w;
	// With -path: Welcome, Search for Updates, Check Disk Space, Install Updates, Finish.
	updater_window::walk up_to_date{{"-path", installed.dest}};
	up_to_date.finds_work = false;
	ASSERT_NO_FATAL_FAILURE(w.to_finish(*rel, up_to_date));
	std::string log = w.run.log();
	EXPECT_NE(log.find("Update: 0 to install, 0 to delete"), std::string::npos) << log;
	EXPECT_NE(log.find("Update result: This copy of Ventora (" + installed.dest + ") is already up to date."),
	          std::string::npos)
	    << log;
	EXPECT_EQ(log.find("Wizard page 3:"), std::string::npos);
	std::this_thread::sleep_for(std::chrono::milliseconds(400));
	w.fly();
	EXPECT_EQ(w.run.wait_exit(30), 1);
	for (int i = 0; i < 200 && !exists(installed.dest + "flew.txt"); ++i) usleep(20000);
	EXPECT_EQ(file_of(installed.dest + "flew.txt"), "flown\n");
	EXPECT_EQ(w.run.log().find("Missing"), std::string::npos);

	for (auto& f : before_files) {
		EXPECT_EQ(file_of(installed.dest + f.first), f.second.bytes) << f.first;
		EXPECT_EQ(vtest::file_mtime(installed.dest + f.first), f.second.mtime) << f.first;
	}
	// Only the server list and the manifest were asked for.
	for (const std::string& p : asked_since(*rel, before))
		EXPECT_TRUE(p.find("serverlist9.txt") != std::string::npos || p.find("directory.txt.zip") != std::string::npos)
		    << p;
	EXPECT_EQ(file_of(installed.run_folder + "home/.config/Ventora/ventora_install.txt"), registry);
}

// A later release made with the demo's manifest as its previous one: only the
// changed and the new file are fetched, the dropped aircraft and its emptied
// folders go, nothing else is touched; a second run fetches nothing and says
// "already up to date".
TEST_F(UpdaterGui, PreviousReleaseFetchesOnlyWhatChangedAndDeletesWhatWasDropped)
{
	vtest::temp_folder work;
	const std::string host = "update-b.tarnwick.example";
	const std::string err = vtest::build_update_release(
	    *rel,
	    master_with({{"All/Instructions/Read Me.txt", "Ventora 9, updated.\n"},
	                 {"All/Resources/text/English/News.txt", "New in this release.\n"}},
	                {"All/Aircraft/General Aviation/Cirrus TheJet/c4.acf"}),
	    vtest::demo_manifest_zip(*rel), work.path() + "b/", host, nullptr);
	ASSERT_EQ(err, "");
	list_restorer restore{*rel};

	updater_window w;
	const std::string dest = w.home() + "Apps/Ventora 9/";
	ASSERT_EQ(install_headless(*rel, dest, w.run.folder() + "stage/"), "");
	ASSERT_TRUE(exists(dest + "Aircraft/General Aviation/Cirrus TheJet/c4.acf"));
	w.register_copies({dest});
	const std::string registry = file_of(w.registry());
	const std::vector<std::string> files(std::begin(untouched_files), std::end(untouched_files));
	const auto before_files = snap(dest, files);
	rel->server->put_file(rel->web_host, "/serverlist9.txt", vtest::demo_server_list(*rel, host));

	size_t before = rel->server->request_count();
	updater_window::walk update{{"-path", dest}, "Update: 2 to install, 1 to delete"};
	ASSERT_NO_FATAL_FAILURE(w.to_finish(*rel, update));
	EXPECT_NE(w.run.log().find("Update result: I have finished updating " + dest + "."), std::string::npos);
	w.quit_from_finish();

	const std::string b = "/" + rel->name + "/";
	const std::multiset<std::string> want = {rel->web_host + "/serverlist9.txt", host + b + "directory.txt.zip",
	                                         host + b + "All/Instructions/Read Me.txt.zip",
	                                         host + b + "All/Resources/text/English/News.txt.zip"};
	EXPECT_EQ(asked_since(*rel, before), want);
	EXPECT_EQ(file_of(dest + "Instructions/Read Me.txt"), "Ventora 9, updated.\n");
	EXPECT_EQ(file_of(dest + "Resources/text/English/News.txt"), "New in this release.\n");
	EXPECT_FALSE(exists(dest + "Aircraft/General Aviation/Cirrus TheJet/c4.acf"));
	EXPECT_FALSE(exists(dest + "Aircraft/General Aviation/Cirrus TheJet"));
	EXPECT_FALSE(exists(dest + "Aircraft/General Aviation"));
	for (auto& f : before_files) {
		EXPECT_EQ(file_of(dest + f.first), f.second.bytes) << f.first;
		EXPECT_EQ(vtest::file_mtime(dest + f.first), f.second.mtime) << f.first;
	}
	EXPECT_EQ(file_of(w.registry()), registry);

	// Again: nothing to fetch.
	updater_window again;
	again.register_copies({dest});
	before = rel->server->request_count();
	updater_window::walk up_to_date{{"-path", dest}};
	up_to_date.finds_work = false;
	ASSERT_NO_FATAL_FAILURE(again.to_finish(*rel, up_to_date));
	EXPECT_NE(again.run.log().find("is already up to date."), std::string::npos) << again.run.log();
	again.quit_from_finish();
	const std::multiset<std::string> lists = {rel->web_host + "/serverlist9.txt", host + b + "directory.txt.zip"};
	EXPECT_EQ(asked_since(*rel, before), lists);
}

// A release whose only change is a dropped file still updates the copy.
TEST_F(UpdaterGui, DeletionOnlyReleaseGoesThroughTheInstallPage)
{
	vtest::temp_folder work;
	const std::string host = "update-d.tarnwick.example";
	ASSERT_EQ(vtest::build_update_release(*rel, master_with({}, {"All/Aircraft/General Aviation/Cirrus TheJet/c4.acf"}),
	                                      vtest::demo_manifest_zip(*rel), work.path() + "d/", host, nullptr),
	          "");
	list_restorer restore{*rel};
	updater_window w;
	const std::string dest = w.home() + "Apps/Ventora 9/";
	ASSERT_EQ(install_headless(*rel, dest, w.run.folder() + "stage/"), "");
	rel->server->put_file(rel->web_host, "/serverlist9.txt", vtest::demo_server_list(*rel, host));

	const size_t before = rel->server->request_count();
	updater_window::walk update{{"-path", dest}, "Update: 0 to install, 1 to delete"};
	ASSERT_NO_FATAL_FAILURE(w.to_finish(*rel, update));
	EXPECT_NE(w.run.log().find("Update result: I have finished updating " + dest + "."), std::string::npos);
	w.quit_from_finish();
	EXPECT_FALSE(exists(dest + "Aircraft/General Aviation/Cirrus TheJet/c4.acf"));
	EXPECT_TRUE(exists(dest + "Instructions/Read Me.txt"));
	for (const std::string& p : asked_since(*rel, before))
		EXPECT_TRUE(p.find("serverlist9.txt") != std::string::npos || p.find("directory.txt.zip") != std::string::npos)
		    << p;
}

// A dropped file that cannot be deleted (immutable, which also stops root):
// the update goes on and its Finish page says so, in each language, with
// the --missing_strings check on.
TEST_F(UpdaterGui, FinishPageCountsTheOldFilesThatCouldNotBeRemoved)
{
	vtest::temp_folder work;
	const std::string host = "update-u.tarnwick.example";
	const std::string dropped = "Aircraft/General Aviation/Cirrus TheJet/c4.acf";
	ASSERT_EQ(vtest::build_update_release(*rel, master_with({}, {"All/" + dropped}), vtest::demo_manifest_zip(*rel),
	                                      work.path() + "u/", host, nullptr),
	          "");
	list_restorer restore{*rel};
	const char* const said[] = {
	    "I could not remove 1 old file. The log names it and why; the next update will try again.",
	    "Je n'ai pas pu supprimer 1 ancien fichier. Le journal indique lequel et pourquoi ; la prochaine mise à jour "
	    "réessaiera.",
	    "Ich konnte 1 alte Datei nicht entfernen. Das Protokoll nennt sie und den Grund; die nächste Aktualisierung "
	    "versucht es erneut."};
	for (int lang : {0, 1, 2}) {
		SCOPED_TRACE(lang);
		updater_window w(lang);
		const std::string dest = w.home() + "Apps/Ventora 9/";
		ASSERT_EQ(install_headless(*rel, dest, w.run.folder() + "stage/"), "");
		struct immutable {
			std::string path;
			bool on = false;
			void set(bool v)
			{
				on = system(("chattr " + std::string(v ? "+i" : "-i") + " '" + path + "' 2>/dev/null").c_str()) == 0 && v;
			}
			~immutable() { set(false); }
		} stuck{dest + dropped};
		stuck.set(true);
		if (!stuck.on) GTEST_SKIP() << "no immutable attribute here";
		rel->server->put_file(rel->web_host, "/serverlist9.txt", vtest::demo_server_list(*rel, host));

		updater_window::walk update{{"-path", dest}};
		update.titled = false;  // the titles are translated
		ASSERT_NO_FATAL_FAILURE(w.to_finish(*rel, update));
		w.quit_from_finish();
		const std::string log = w.run.log();
		EXPECT_NE(log.find("Could not delete the dropped file " + dest + dropped + ": "), std::string::npos) << log;
		EXPECT_NE(log.find(std::string("\n\n") + said[lang]), std::string::npos) << log;
		EXPECT_EQ(log.find("STRING "), std::string::npos) << log;
		EXPECT_TRUE(exists(dest + dropped));
	}
}

// Without -path: one registered copy is taken as it is; of two, the one
// ticked in the picker is updated; a -path that is no copy is reported and
// the picker offered.
TEST_F(UpdaterGui, WithoutPathTheRegisteredCopiesArePicked)
{
	struct row {
		const char* name;
		int copies;         // installed copies
		bool registered;    // all of them registered, else none
		int tick;           // picker row to tick, -1 none
		bool bad_path;      // start with a -path that is no copy
		bool find_it;       // "Find It" on the first copy's Resources folder
		int updated;        // copy expected in the result
	} rows[] = {
	    {"one copy", 1, true, -1, false, false, 0},
	    {"second of two", 2, true, 1, false, false, 1},
	    {"bad -path, one copy", 1, true, -1, true, false, 0},
	    {"found by Find It", 1, false, -1, false, true, 0},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		updater_window w;
		std::vector<std::string> copies;
		for (int i = 0; i < r.copies; ++i) {
			copies.push_back(w.home() + "Apps/Ventora 9 copy " + std::to_string(i) + "/");
			ASSERT_EQ(install_headless(*rel, copies.back(), w.run.folder() + "stage/"), "");
		}
		if (r.registered) w.register_copies(copies);
		std::vector<std::string> args;
		if (r.bad_path) args = {"-path", w.home() + "Apps/"};
		updater_window::walk picked{args};
		picked.picker = true;
		picked.finds_work = false;
		if (r.bad_path)
			picked.on_start = [&] {
				// The warning waits for Return.
				for (int i = 0; i < 100 && !w.run.wait_log("Wizard page 0:", 0.2); ++i) w.key("Return");
				EXPECT_NE(w.run.log().find("does not appear to be an installed copy"), std::string::npos)
				    << w.run.log();
			};
		picked.on_picker = [&] {
			std::this_thread::sleep_for(std::chrono::milliseconds(400));
			if (r.tick >= 0) {
				w.click(250, 400 - 25.0f * r.tick + 3);
				std::this_thread::sleep_for(std::chrono::milliseconds(300));
			}
			if (r.find_it) {
				// The button follows the question's width: along its line until the
				// dialog stand-in is asked.
				vtest::write_file_bytes(w.run.folder() + "zenity_answer.txt", copies[0] + "Resources\n");
				for (int x = 700; x >= 480 && !exists(w.run.folder() + "zenity_calls.txt"); x -= 20) {
					w.click((float)x, 403);
					std::this_thread::sleep_for(std::chrono::milliseconds(300));
				}
				ASSERT_TRUE(exists(w.run.folder() + "zenity_calls.txt"));
				std::this_thread::sleep_for(std::chrono::milliseconds(500));
				EXPECT_EQ(file_of(w.registry()), copies[0] + "\n");
			}
		};
		ASSERT_NO_FATAL_FAILURE(w.to_finish(*rel, picked));
		EXPECT_NE(w.run.log().find("This copy of Ventora (" + copies[r.updated] + ") is already up to date."),
		          std::string::npos)
		    << w.run.log();
		w.quit_from_finish();
	}
}

// Opens of the files in some folders, counted through inotify.
class open_counter {
public:
	explicit open_counter(const std::vector<std::string>& folders) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
	{
		for (const std::string& f : folders)
			if (fd_ < 0 || inotify_add_watch(fd_, f.c_str(), IN_OPEN) < 0) ok_ = false;
	}
	~open_counter()
	{
		if (fd_ >= 0) close(fd_);
	}
	bool ok() const { return fd_ >= 0 && ok_; }
	// Files opened so far (folders being listed are not counted); -1 when
	// events were lost.
	int count()
	{
		alignas(inotify_event) char buf[1 << 16];
		for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;)
			for (ssize_t at = 0; at < n;) {
				const inotify_event* e = reinterpret_cast<const inotify_event*>(buf + at);
				if (e->mask & IN_Q_OVERFLOW) ok_ = false;
				else if (!(e->mask & IN_ISDIR)) ++opened_;
				at += (ssize_t)sizeof(inotify_event) + e->len;
			}
		return ok_ ? opened_ : -1;
	}

private:
	int fd_;
	bool ok_ = true;
	int opened_ = 0;
};

// Back during the scan of a 5,000-file copy stops it and Next scans again
// from the first file; Quit during the scan ends the program at once, with
// nothing changed.
TEST_F(UpdaterGui, BackAndQuitDuringTheScanOfAFiveThousandFileCopy)
{
	const std::string host = "bulk.tarnwick.example";
	updater_window w;
	const std::string dest = w.home() + "Apps/Ventora 9/";
	ASSERT_EQ(vtest::make_big_copy(*rel->server, host, rel->name, dest, 5000, 2 << 20), "");
	list_restorer restore{*rel};
	rel->server->put_file(rel->web_host, "/serverlist9.txt", vtest::demo_server_list(*rel, host));
	const std::string scanning = "Scanning " + dest + ": 5000 files";

	const updater_window::walk scan{{"-path", dest}};
	ASSERT_NO_FATAL_FAILURE(w.to_scan(*rel, scan));
	ASSERT_TRUE(w.wait_count(scanning, 1, 60)) << w.run.log();
	w.back();
	ASSERT_TRUE(w.wait_count("Wizard page 0:", 2, 10)) << w.run.log();
	ASSERT_EQ(w.count("Scanned "), 0) << "the scan ended before Back: " << w.run.log();
	ASSERT_TRUE(w.next_to("Wizard page 1: Search for Updates", 2)) << w.run.log();
	ASSERT_TRUE(w.wait_count(scanning, 2, 60)) << w.run.log();
	ASSERT_TRUE(w.run.wait_log("Wizard page 4: Finshed Web Update", 120)) << w.run.log();
	EXPECT_EQ(w.count("Scanned 5000 files in"), 1) << w.run.log();
	EXPECT_EQ(w.count("Update: 0 to install, 0 to delete"), 1) << w.run.log();
	w.quit_from_finish();

	// Quit ends the scan: only the tasks already queued finish, far from
	// every file (counted by what was opened, which load cannot change).
	std::vector<std::string> bulk;
	for (int i = 0; i < 50; ++i) bulk.push_back(dest + "Resources/bulk/" + std::to_string(i) + "/");
	open_counter opens(bulk);
	ASSERT_TRUE(opens.ok());
	updater_window q;
	ASSERT_NO_FATAL_FAILURE(q.to_scan(*rel, scan));
	ASSERT_TRUE(q.wait_count(scanning, 1, 60)) << q.run.log();
	q.quit_at_left();
	EXPECT_EQ(q.run.wait_exit(60), 0) << q.run.stderr_text();
	const int opened = opens.count();
	EXPECT_GE(opened, 0) << "inotify lost events";
	EXPECT_LT(opened, 2500);
	EXPECT_EQ(q.count("Scanned "), 0) << q.run.log();
	EXPECT_EQ(mtest::size_of(dest + "Resources/bulk/49/f4999.dat"), 2 << 20);
	EXPECT_FALSE(exists(q.registry()));
}

// Two streams chosen: the server never sees more than two file transfers at
// once, and does see two.
TEST_F(UpdaterGui, TwoStreamsNeverFetchMoreThanTwoFilesAtOnce)
{
	updater_window w;
	const std::string dest = w.home() + "Apps/Ventora 9/";
	ASSERT_EQ(install_headless(*rel, dest, w.run.folder() + "stage/"), "");
	const char* const missing[] = {"Instructions/Read Me.txt", "Airfoils/naca0012.afl",
	                               "Aircraft/General Aviation/Cirrus TheJet/c4.acf",
	                               "Resources/menus/English/Ventora.txt", "Resources/text/English/Ventora.txt",
	                               "Resources/plugins/PluginAdminLin.vnp"};
	vtest::http_behaviour slow;
	slow.slow_chunk = 16;
	slow.slow_delay_ms = 40;
	for (const char* m : missing) {
		ASSERT_EQ(unlink((dest + m).c_str()), 0) << m;
		rel->server->set_behaviour("/" + rel->name + "/All/" + m + ".zip", slow);
	}
	updater_window::walk update{{"-path", dest, "--pref:_stream_count=2"}, "Update: 6 to install, 0 to delete"};
	update.finish_seconds = 120;
	update.on_disk = [&] { rel->server->reset_peak_requests(); };
	ASSERT_NO_FATAL_FAILURE(w.to_finish(*rel, update));
	const size_t peak = rel->server->peak_requests();
	rel->server->clear_behaviours();
	EXPECT_EQ(peak, 2u);
	for (const char* m : missing) EXPECT_TRUE(exists(dest + m)) << m;
	w.quit_from_finish();
}

// French and German: every text of the update pages and of the preferences
// window is in the tables (--missing_strings logs any that is not).
TEST_F(UpdaterGui, FrenchAndGermanPagesAndPreferencesHaveEveryText)
{
	for (int lang : {1, 2}) {
		SCOPED_TRACE(lang);
		updater_window w(lang);
		const std::string dest = w.home() + "Apps/Ventora 9/";
		ASSERT_EQ(install_headless(*rel, dest, w.run.folder() + "stage/"), "");
		unlink((dest + "Instructions/Read Me.txt").c_str());  // one file to install
		w.register_copies({dest});
		updater_window::walk update;
		update.picker = true;
		update.titled = false;
		update.on_welcome = [&] {
			std::this_thread::sleep_for(std::chrono::milliseconds(400));
			w.open_prefs();
			std::this_thread::sleep_for(std::chrono::milliseconds(800));
			w.close_prefs();
			std::this_thread::sleep_for(std::chrono::milliseconds(400));
		};
		update.on_picker = [] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };
		ASSERT_NO_FATAL_FAILURE(w.to_finish(*rel, update));
		w.quit_from_finish();
		const std::string log = w.run.log();
		EXPECT_EQ(log.find("STRING "), std::string::npos) << log;
		EXPECT_EQ(log.find("ERROR: language"), std::string::npos) << log;
		EXPECT_TRUE(exists(dest + "Instructions/Read Me.txt"));
	}
}

// Windows chosen in the preferences window's pop-up: the update fetches the
// Windows program, which the Linux copy did not have.
TEST_F(UpdaterGui, WindowsChosenInThePreferencesFetchesTheWindowsFile)
{
	updater_window w;
	const std::string dest = w.home() + "Apps/Ventora 9/";
	ASSERT_EQ(install_headless(*rel, dest, w.run.folder() + "stage/"), "");
	ASSERT_FALSE(exists(dest + "Ventora.exe"));
	const size_t before = rel->server->request_count();
	updater_window::walk update{{"-path", dest}, "Update: 1 to install, 0 to delete"};
	update.on_welcome = [&] {
		std::this_thread::sleep_for(std::chrono::milliseconds(400));
		w.open_prefs();
		std::this_thread::sleep_for(std::chrono::milliseconds(800));
		const prefs_layout_t& L = prefs_layout();
		w.click_prefs(L.platform_x + 10, L.platform_y + 3);  // the pop-up
		std::this_thread::sleep_for(std::chrono::milliseconds(600));
		w.click_prefs(L.platform_x - 2, L.platform_y + 15);  // one 12-unit row above the shown Linux: Windows
		std::this_thread::sleep_for(std::chrono::milliseconds(400));
		w.close_prefs();
		std::this_thread::sleep_for(std::chrono::milliseconds(400));
	};
	ASSERT_NO_FATAL_FAILURE(w.to_finish(*rel, update));
	w.quit_from_finish();
	EXPECT_EQ(file_of(dest + "Ventora.exe").substr(0, 2), "MZ");
	EXPECT_EQ(file_of(dest + "Ventora"), file_of(rel->master + "Linux/Ventora"));  // kept, not deleted
	const auto asked = asked_since(*rel, before);
	EXPECT_EQ(asked.count(rel->file_host + "/" + rel->name + "/Windows/Ventora.exe.zip"), 1u);
	for (const std::string& p : asked) EXPECT_EQ(p.find("/Linux/"), std::string::npos) << p;
}
