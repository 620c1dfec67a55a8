// Failures as a user meets them, through the installers' real windows: a
// file or list the server does not have, a destination disk too small or
// filling up during the install, the disc taken out during the install, a
// copy that cannot be started, and the proxy port in the preferences. Disks
// and discs are mounted in this test's own mount namespace.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/wizard.h"
#include "Installer-f/wizard_faults.h"
#include "tests/support/demo_release.h"
#include "tests/support/demo_release_fixture.h"
#include "tests/support/dvd_discs.h"
#include "tests/support/dvd_release_fixture.h"
#include "tests/support/dvd_window.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

using vtest::count_in;
using vtest::language_table;
using vtest::next_until;
using vtest::next_x;
using vtest::quit_x;
using vtest::T;
using vtest::wait_for;
using vtest::wizard_window;

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Pictures of the pages for a look, when VENTORA_KEEP_SHOTS names a folder.
void keep_shot(wizard_window& w, const std::string& name)
{
	vtest::keep_settled_shot([&](const std::string& png) { return w.save_png(png); }, name);
}
void keep_shot(vtest::gui_ctl& c, const std::string& name) { vtest::keep_settled_shot(c, name); }

// The tests spread over the three languages, so each language's fault pages
// go through the window's layout check; what they expect is translated by
// the program's own tables (language_table).

// A translated text up to its first argument.
std::string lead(const char* fmt)
{
	const std::string t = T(fmt);
	return t.substr(0, t.find("%1:"));
}

// Archive files (".zip" or ".7z") left in a run's private temporary folder.
std::vector<std::string> temp_archives(const std::string& run_folder)
{
	std::vector<std::string> out;
	for (const std::string& f : vtest::files_below(run_folder + "tmp/"))
		if (f.find(".zip") != std::string::npos || f.find(".7z") != std::string::npos) out.push_back(f);
	return out;
}

// ---- the web demo ------------------------------------------------------------------

using WebFaults = vtest::DemoReleaseTest;

TEST_F(WebFaults, ListOrFileThatDoesNotComeIsAskedForAtAPaceAndThePageSaysWhy)
{
	struct row {
		const char* what;
		int lang;
		std::string path;  // what the server does not have
		int page;          // where the user waits
		std::function<std::string()> notice;  // what the page says
		vtest::http_behaviour fault;
	};
	const std::string file = "/" + rel->name + "/All/Airfoils/naca0012.afl.zip";
	vtest::http_behaviour missing;
	missing.status = 404;
	vtest::http_behaviour stalls;
	stalls.stall_after = 100;
	// The archive and a few bytes more than its length says, in one send.
	const std::string archive = vtest::read_file_bytes(rel->server->root() + rel->file_host + file);
	ASSERT_FALSE(archive.empty());
	vtest::http_behaviour longer;
	longer.raw = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(archive.size()) + "\r\n\r\n" + archive + "0123456789";
	auto answered = [](const std::string& host) {
		return [host] { return UTL_string_sub(T("The server %1:server% answered: %2:answer%."), host, "404 Not Found"); };
	};
	const row rows[] = {
	    {"server list", 0, "/serverlist9.txt", 2, answered(rel->web_host), missing},
	    {"file", 1, file, 4, answered(rel->file_host), missing},
	    // Nothing more arrives: the rate and time left give way to saying so.
	    {"stalled file", 2, file, 4,
	     [] { return UTL_string_sub(T("The download has stalled: nothing has arrived for %1:time%."), time_str(5)); },
	     stalls},
	    // Not an answer that broke off: one that went on past its length.
	    {"longer file", 1, file, 4,
	     [&] { return UTL_string_sub(T("The answer from %1:server% went on past the length it announced."), rel->file_host); },
	     longer},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		language_table table(r.lang);
		const std::string notice = r.notice();
		rel->server->clear_behaviours();
		rel->server->set_behaviour(r.path, r.fault);
		size_t asked = 0;
		std::string run_log;
		vtest::gui_run_options o;
		o.language = r.lang;
		o.stop_at = r.page;
		o.change_destination = false;
		o.at_stop = [&](vtest::gui_ctl& c) {
			ASSERT_TRUE(c.wait_log("Wizard notice: " + notice, 30)) << c.log();
			keep_shot(c, std::string("missing-") + r.what);
			// Eight seconds of the page: tries near 0, 1, 3 and 7 s, never a flood.
			const size_t from = rel->server->request_count();
			pause_ms(8000);
			const auto reqs = rel->server->requests();
			for (size_t i = from; i < reqs.size(); ++i) asked += reqs[i].path == r.path;
			run_log = c.log();
			c.click(quit_x(r.lang), 23);  // Quit
			// Mid-install Quit asks first: Cancel (the question is 700 x 206 in the middle).
			if (r.page == 4) {
				ASSERT_TRUE(c.wait_log("Question asked: ", 30)) << c.log();
				for (int k = 0; k < 5 && !c.wait_log("Question answered: 1", 3); ++k) c.click(50 + 96, 197 + 56);
			}
		};
		if (r.page == 2) {
			// The list never comes: the page after the licence is the one that waits.
			o.stop_at = 1;
			o.at_stop = [&, inner = o.at_stop](vtest::gui_ctl& c) {
				ASSERT_TRUE(c.accept_licence()) << c.log();
				inner(c);
			};
		}
		std::shared_ptr<void> keep;
		vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
		rel->server->clear_behaviours();
		EXPECT_EQ(res.exit_status, 0) << res.log;
		if (r.fault.status) {
			EXPECT_GE(asked, 1u);
		}
		EXPECT_LE(asked, 5u);
		// The page speaks of the next try while it waits, and keeps saying
		// why while that try is under way.
		const size_t first = run_log.find("Wizard notice: " + notice);
		EXPECT_NE(first, std::string::npos);
		if (r.fault.status && first != std::string::npos) {
			// (A file that keeps failing also brings the rate's "stalled".)
			const std::string stalled = "Wizard notice: " + stalled_text(stall_notice_seconds);
			std::istringstream lines(run_log.substr(first));
			for (std::string l; std::getline(lines, l);)
				if (l.rfind("Wizard notice: ", 0) == 0 && l != stalled) EXPECT_EQ(l, "Wizard notice: " + notice);
		}
		// Quit took the partial archives with it.
		EXPECT_EQ(temp_archives(res.run_folder), std::vector<std::string>{});
	}
}

// From the first page: the program's desktop, where the demo goes by default,
// becomes a disk of size_kb; then on through the licence to the destination page.
void to_destination_on_small_disk(vtest::gui_ctl& c, int lang, std::unique_ptr<vtest::small_volume>& disk, int size_kb)
{
	disk.reset(new vtest::small_volume(c.run_folder + "home/Desktop", size_kb));
	ASSERT_EQ(disk->problem(), "");
	ASSERT_TRUE(next_until(c, lang, "Wizard page 1:")) << c.log();
	ASSERT_TRUE(c.accept_licence()) << c.log();
	ASSERT_TRUE(c.wait_log("Wizard page 3:", 60)) << c.log();
}

TEST_F(WebFaults, DestinationOnATooSmallDiskIsReportedAndNextStaysOff)
{
	SKIP_WITHOUT_DISC_NAMESPACE();
	const int lang = 2;
	language_table table(lang);
	const std::string report = T("Disk size: %1:total disk space%\nFree disk space: %2:free disk space%\nDisk space "
	                             "needed to install: %3:required disk space%\n\n%4:status message%");
	const std::string disk_size = "Wizard notice: " + report.substr(0, report.find("%1:"));
	const std::string too_little = T("You do not have enough free disk space to install the Ventora 9 demo at this "
	                                 "location.  You can install to a different location, or save disk space by "
	                                 "installing only some of the global scenery.");
	std::unique_ptr<vtest::small_volume> disk;
	std::string seen;
	vtest::gui_run_options o;
	o.language = lang;
	o.stop_at = 0;
	o.at_stop = [&](vtest::gui_ctl& c) {
		to_destination_on_small_disk(c, lang, disk, 64);
		if (::testing::Test::HasFatalFailure()) return;
		ASSERT_TRUE(c.wait_log(disk_size, 20)) << c.log();
		keep_shot(c, "small-disk");
		// Next, then Quit: clicks are taken in order, so a Next that worked
		// shows in the log before the program ends.
		for (int k = 0; k < 3; ++k) c.click(next_x(lang), 23);
		c.click(quit_x(lang), 23);
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
	EXPECT_EQ(res.exit_status, 0) << res.log;
	seen = res.log;
	// The report measures the small disk, not the one it is mounted on.
	EXPECT_NE(seen.find(disk_size + size_string(65) + "\\n"), std::string::npos) << seen;
	EXPECT_NE(seen.find(too_little.substr(0, too_little.find("  "))), std::string::npos) << seen;
	EXPECT_EQ(seen.find("Wizard page 4:"), std::string::npos) << seen;
	disk.reset();
}

TEST_F(WebFaults, DestinationFillingUpMidInstallAsksOnceAndContinueGoesOn)
{
	SKIP_WITHOUT_DISC_NAMESPACE();
	// The tile comes slowly, so the disk fills while it is still on its way.
	const std::string tile = "/" + rel->name + "/All/Global Scenery/-global terrain-/+40-120/+47-122.dsf.zip";
	vtest::http_behaviour slow;
	slow.slow_chunk = 2000;
	slow.slow_delay_ms = 100;
	rel->server->clear_behaviours();
	rel->server->set_behaviour(tile, slow);
	const int lang = 1;
	language_table table(lang);
	const std::string asked =
	    "Question asked: " + T("An error occurred during installation:") + "\n\n" + lead("The disk that holds %1:folder% is full.");
	const std::string finished = "Wizard text: " + lead("I have finished installing the Ventora 9 web demo at: %1:file path%.");
	std::unique_ptr<vtest::small_volume> disk;
	std::string filler, seen;
	vtest::gui_run_options o;
	o.language = lang;
	o.stop_at = 0;
	o.change_destination = false;
	o.fly = false;
	o.at_stop = [&](vtest::gui_ctl& c) {
		to_destination_on_small_disk(c, lang, disk, 4096);
		if (::testing::Test::HasFatalFailure()) return;
		ASSERT_TRUE(next_until(c, lang, "Wizard page 4:")) << c.log();
		filler = disk->fill();
		ASSERT_TRUE(c.wait_log(asked, 60)) << c.log();
		keep_shot(c, "web-disk-full-question");
		// Space made, Continue (the question is 700 x 206 in the middle of the window).
		unlink(filler.c_str());
		for (int k = 0; k < 5 && !c.wait_log("Question answered: 0", 3); ++k) c.click(50 + 96, 197 + 31);
		ASSERT_TRUE(c.wait_log("Wizard page 5:", 60)) << c.log();
		seen = c.log();
		c.click(770 - interface_icon_width(0, lang) / 2, 23);  // Quit in Next's place
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
	rel->server->clear_behaviours();
	EXPECT_EQ(res.exit_status, 0) << res.log;
	EXPECT_EQ(count_in(seen, "Question asked:"), 1) << seen;
	EXPECT_EQ(seen.find(T("The installer cannot extract a file.")), std::string::npos) << seen;
	// Finished without problems: the tile came whole after the answer.
	const size_t at = seen.find(finished);
	ASSERT_NE(at, std::string::npos) << seen;
	std::string dest = seen.substr(at + finished.size());
	dest = dest.substr(0, dest.find('\n'));
	if (!dest.empty() && dest.back() == '.') dest.pop_back();
	EXPECT_EQ(vtest::read_file_bytes(dest + "Global Scenery/-global terrain-/+40-120/+47-122.dsf"),
	          vtest::read_file_bytes(rel->master + "All/Global Scenery/-global terrain-/+40-120/+47-122.dsf"));
	disk.reset();
}

TEST_F(WebFaults, PreferencesShowAndKeepThePortInUse)
{
	// A preferences file whose port text disagrees with the number in use.
	const std::string port = std::to_string(rel->server->port());
	vtest::gui_run_options o;
	o.stop_at = 0;
	std::string prefs_after;
	o.at_stop = [&](vtest::gui_ctl& c) {
		const float prefs_x = 40 + interface_icon_width(0, 0) + interface_icon_width(6, 0) / 2;
		for (int k = 0; k < 5 && !c.wait_log("Preferences window opened", 3); ++k) c.click(prefs_x, 23);
		ASSERT_TRUE(c.wait_log("Preferences window opened", 1)) << c.log();
		keep_shot(c, "preferences");
		// The 600 x 380 window in the middle of the 800 x 600 one; its close box at the top left.
		for (int k = 0; k < 5 && !c.wait_log("Preferences window closed", 3); ++k) c.click(110, 480);
		ASSERT_TRUE(c.wait_log("Preferences window closed: proxy 127.0.0.1 port " + port + "\n", 1)) << c.log();
		// The program still reaches the server through that port.
		ASSERT_TRUE(next_until(c, 0, "Wizard page 1:")) << c.log();
		ASSERT_TRUE(c.accept_licence()) << c.log();
		EXPECT_TRUE(c.wait_log("Wizard page 3:", 60)) << c.log();
		c.click(quit_x(0), 23);  // Quit
	};
	o.extra_args = {"--pref:_proxy_port=1"};
	std::shared_ptr<void> keep;
	vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
	EXPECT_EQ(res.exit_status, 0) << res.log;
	// The proxy was given for this run only and left as it was: none is saved.
	const std::string saved = vtest::read_file_bytes(res.run_folder + "home/.config/Ventora/Ventora Installer.prf");
	EXPECT_EQ(saved.find("_proxy"), std::string::npos) << saved;
	EXPECT_NE(saved.find("_stream_count 0\n"), std::string::npos) << saved;
}

// ---- the disc installer ------------------------------------------------------------

struct DiscFaults : vtest::DvdReleaseTest {

	// A copy of the first disc whose first archive in manifest order is a
	// pipe: the installer's copy of it waits until the test has done what it
	// wants to happen mid-install, then gets the archive's bytes.
	std::string held_disc()
	{
		const std::string disc = tmp.path() + "held_disc/";
		if (copy_file_recursive(rel->discs[0], disc) != 0) return "";
		const std::string set = disc + rel->name + "/";
		std::string name;
		if (zip_to_file(set + "directory.txt.zip", tmp.path(), &name, 0) != 0) return "";
		std::istringstream in(vtest::read_file_bytes(tmp.path() + name));
		std::string line, dir;
		int disk = 0;
		while (std::getline(in, line)) {
			std::istringstream f(line);
			std::string word;
			f >> word;
			if (word == "DIR") dir = line.substr(4);
			if (word == "DISK") f >> disk;
			if (word != "FILE" || disk != 0) continue;
			int reserved, platform;
			std::string version, dl, inst, sig;
			f >> reserved >> platform >> version >> dl >> inst >> sig;
			if (platform != 0 && platform != 3) continue;
			std::string rest;
			std::getline(f, rest);
			held_archive = set + dir + rest.substr(1) + ".zip";
			if (!vtest::path_exists(held_archive)) continue;
			held_bytes = vtest::read_file_bytes(held_archive);
			chmod(held_archive.c_str(), 0644);
			unlink(held_archive.c_str());
			if (mkfifo(held_archive.c_str(), 0644) != 0) return "";
			return disc;
		}
		return "";
	}

	// Waits for the installer to open the held archive, runs `meanwhile`,
	// then hands over the archive's bytes.
	void release_held(const std::function<void()>& meanwhile)
	{
		// A pipe opens for writing only once its reader has it open.
		int fd = -1;
		wait_for([&] { return (fd = open(held_archive.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }, 180);
		ASSERT_GE(fd, 0) << "the installer never read " << held_archive;
		fcntl(fd, F_SETFL, 0);
		meanwhile();
		size_t done = 0;
		while (done < held_bytes.size()) {
			const ssize_t n = write(fd, held_bytes.data() + done, held_bytes.size() - done);
			if (n <= 0) break;
			done += (size_t)n;
		}
		close(fd);
		// From now on the disc holds the plain archive, for a second reading.
		unlink(held_archive.c_str());
		vtest::write_file_bytes(held_archive, held_bytes);
	}

	std::string held_archive, held_bytes;
};

// The disc installer's log lines in one language.
struct disc_lines {
	explicit disc_lines(int lang)
	{
		language_table table(lang);
		install = "Wizard page 4: " + T("Installing Ventora");
		change_disc = "Wizard page -1: " + T("Installing Ventora - Please Change DVDs");
		finish = "Wizard page 5: " + T("Finished Installing Ventora");
		success = "Wizard text: " + T("Installation was successful.");
		insert_first = "Wizard text: " + UTL_string_sub(T("Please insert DVD number %1:disk number% and click continue."), "1");
	}
	std::string install, change_disc, finish, success, insert_first;
};

// Through the first pages to the install page.
std::string walk_to_install(wizard_window& w, const disc_lines& l)
{
	if (!w.wait_log("Wizard page 0: ", 60)) return "no entry page";
	if (!w.next_until("Wizard page 1: ")) return "no destination page";
	if (!w.next_until("Wizard page 2: ")) return "no licence page";
	for (int k = 0; k < 3; ++k) {
		w.click(230, 103);
		if (w.next_until("Wizard page 3: ", 5, 1)) break;
	}
	if (!w.next_until(l.install)) return "no install page";
	return "";
}

// Walks to the install page while the held archive waits: `meanwhile` runs
// once the installer has opened it. Empty when walked, else why not.
std::string walk_holding(DiscFaults& f, wizard_window& w, const disc_lines& l, const std::function<void()>& meanwhile)
{
	std::string walked = "?";
	std::thread walker([&] { walked = walk_to_install(w, l); });
	f.release_held(meanwhile);
	walker.join();
	return walked;
}

// The second disc asked for (one more change-disc page than `changes`) and
// given; the install ends on its finish page.
std::string finish_with_second_disc(wizard_window& w, const disc_lines& l, vtest::disc_drive& drive,
                                    const std::string& disc, int changes)
{
	if (!w.wait_count(l.change_disc, changes, 120)) return "no disc change";
	if (!drive.insert(disc).empty()) return "cannot insert the second disc";
	if (!w.next_until(l.finish, 10, 12)) return "no finish page";
	return "";
}

TEST_F(DiscFaults, DiscTakenOutMidInstallLeadsToTheChangeDiscPage)
{
	const std::string disc = held_disc();
	ASSERT_NE(disc, "");
	ASSERT_EQ(drive->insert(disc), "");
	const int lang = 2;
	const disc_lines l(lang);
	wizard_window w(lang);
	ASSERT_TRUE(w.start());
	ASSERT_EQ(walk_holding(*this, w, l, [&] { EXPECT_EQ(drive->eject(), ""); }), "") << w.log();

	// No question per file: the page that asks for the disc.
	ASSERT_TRUE(w.wait_log(l.insert_first, 60)) << w.log();
	keep_shot(w, "disc-taken-out");
	EXPECT_EQ(w.count("Question"), 0) << w.log();
	const int changes = w.count(l.change_disc);
	const int installs = w.count(l.install);
	ASSERT_EQ(drive->insert(rel->discs[0]), "");
	ASSERT_TRUE(w.next_until(l.install)) << w.log();
	EXPECT_GT(w.count(l.install), installs);
	ASSERT_EQ(finish_with_second_disc(w, l, *drive, rel->discs[1], changes), "") << w.log();
	EXPECT_TRUE(w.wait_log(l.success, 10)) << w.log();
	EXPECT_EQ(w.count("Question"), 0) << w.log();
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();

	const std::string dest = w.home() + "Desktop/" + rel->name + "/";
	const std::string m = rel->master;
	for (const char* f : {"Instructions/Read Me.txt", "Airfoils/naca0012.afl", "Aircraft/General Aviation/Cirrus TheJet/c4.acf"})
		EXPECT_EQ(vtest::read_file_bytes(dest + f), vtest::read_file_bytes(m + "All/" + f)) << f;
	EXPECT_EQ(vtest::read_file_bytes(dest + "Ventora"), vtest::read_file_bytes(m + "Linux/Ventora"));
}

TEST_F(DiscFaults, DestinationFillingUpMidInstallAsksOnce)
{
	const std::string disc = held_disc();
	ASSERT_NE(disc, "");
	ASSERT_EQ(drive->insert(disc), "");
	const int lang = 1;
	const disc_lines l(lang);
	std::string asked, full;
	{
		language_table table(lang);
		asked = "Question asked: " + T("An error occurred during installation:") + "\n\n" +
		        lead("The disk that holds %1:folder% is full.");
		const std::string sentence = UTL_string_sub(T("The disk that holds %1:folder% is full."), "\x01");
		full = sentence.substr(sentence.find('\x01') + 1) + " (" + reason_text(ENOSPC);
	}
	wizard_window w(lang);
	vtest::small_volume desktop(w.home() + "Desktop", 4096);
	ASSERT_EQ(desktop.problem(), "");
	ASSERT_TRUE(w.start());
	std::string filler;
	ASSERT_EQ(walk_holding(*this, w, l, [&] { filler = desktop.fill(); }), "") << w.log();

	// One question, saying what is wrong; the later files wait for the answer.
	ASSERT_TRUE(w.wait_log(asked, 60)) << w.log();
	keep_shot(w, "disk-full-question");
	EXPECT_EQ(w.count("Question asked:"), 1) << w.log();
	EXPECT_NE(w.log().find(full), std::string::npos) << w.log();

	// Space made, Continue: the install goes on where it stopped and succeeds.
	unlink(filler.c_str());
	w.question_click(96, 31);
	ASSERT_TRUE(w.wait_log("Question answered: 0", 30)) << w.log();
	ASSERT_EQ(finish_with_second_disc(w, l, *drive, rel->discs[1], 0), "") << w.log();
	EXPECT_TRUE(w.wait_log(l.success, 10)) << w.log();
	EXPECT_EQ(w.count("Question asked:"), 1) << w.log();
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
	const std::string dest = w.home() + "Desktop/" + rel->name + "/";
	for (const char* f : {"Instructions/Read Me.txt", "Airfoils/naca0012.afl", "Aircraft/General Aviation/Cirrus TheJet/c4.acf"})
		EXPECT_EQ(vtest::read_file_bytes(dest + f), vtest::read_file_bytes(rel->master + "All/" + f)) << f;
}

TEST_F(DiscFaults, CopyThatCannotBeStartedSaysSoAndNamesItsExecutable)
{
	ASSERT_EQ(drive->insert(rel->discs[0]), "");
	const int lang = 1;
	std::string page, text;
	{
		language_table table(lang);
		page = "Wizard page -1: " + T("Ventora 9 could not be started.");
		text = "Wizard text: " + lead("I could not start %1:file% (%2:error%).");
	}
	wizard_window w(lang);
	// A registered copy whose executable is missing.
	const std::string copy = w.home() + "Apps/Ventora 9/";
	for (const char* d : {"Apps", "Apps/Ventora 9", "Apps/Ventora 9/Airfoils", "Apps/Ventora 9/Instructions",
	                      "Apps/Ventora 9/Output", "Apps/Ventora 9/Resources", ".config", ".config/Ventora"})
		mkdir((w.home() + d).c_str(), 0755);
	vtest::write_file_bytes(w.home() + ".config/Ventora/ventora_install.txt", copy + "\n");
	ASSERT_TRUE(w.start());
	ASSERT_TRUE(w.wait_log("Wizard page 0: ", 60));
	ASSERT_TRUE(w.click_until(500, 350, "Launching: ")) << w.log();

	// Its own page, naming the executable a Linux copy has; never "successful".
	ASSERT_TRUE(w.wait_log(page, 30)) << w.log();
	EXPECT_TRUE(w.wait_log(text + copy + "Ventora (", 5)) << w.log();
	keep_shot(w, "launch-failed");
	EXPECT_EQ(w.log().find("Ventora.app ("), std::string::npos);
	EXPECT_EQ(w.log().find(disc_lines(lang).success), std::string::npos);
	// Back (beside Quit in Next's place) returns to the entry page; the program goes on.
	ASSERT_TRUE(w.click_until(760 - interface_icon_width(0, lang) - interface_icon_width(1, lang) / 2, 23, "Wizard page 0: "))
	    << w.log();
	w.click(w.quit_left_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
}

// Quit mid-install asks as Back does; Cancel leaves neither the partial copy
// nor its line in the registry.
TEST_F(DiscFaults, QuitMidInstallAsksAndCancelLeavesNoCopyOrRegistryLine)
{
	const std::string disc = held_disc();
	ASSERT_NE(disc, "");
	ASSERT_EQ(drive->insert(disc), "");
	const int lang = 2;
	const disc_lines l(lang);
	std::string asked;
	{
		language_table table(lang);
		asked = "Question asked: " + T("Are you sure you want to cancel the installation?  This will delete the "
		                               "partially installed copy of Ventora 9.");
	}
	wizard_window w(lang);
	ASSERT_TRUE(w.start());
	std::string walked = "?";
	std::thread walker([&] { walked = walk_to_install(w, l); });
	const std::string dest = w.home() + "Desktop/" + rel->name + "/";
	const std::string registry = w.home() + ".config/Ventora/ventora_install.txt";
	release_held([&] {
		walker.join();
		ASSERT_EQ(walked, "") << w.log();
		EXPECT_NE(vtest::read_file_bytes(registry).find(dest + "\n"), std::string::npos);
		// Continue first: the install goes on.
		ASSERT_TRUE(w.click_until(w.quit_left_x(), 23, asked)) << w.log();
		keep_shot(w, "disc-quit-question");
		w.question_click(96, 31);
		ASSERT_TRUE(w.wait_log("Question answered: 0", 30)) << w.log();
		EXPECT_TRUE(vtest::path_exists(dest));
		// Then Cancel; the copy stops once the held archive is read.
		ASSERT_TRUE(w.click_until(w.quit_left_x(), 23, asked)) << w.log();
		w.question_click(96, 56);
		ASSERT_TRUE(w.wait_log("Question answered: 1", 30)) << w.log();
	});
	if (walker.joinable()) walker.join();
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
	EXPECT_EQ(w.count(asked), 2) << w.log();
	EXPECT_FALSE(vtest::path_exists(dest));
	EXPECT_EQ(vtest::read_file_bytes(registry).find(dest), std::string::npos) << vtest::read_file_bytes(registry);
}

}  // namespace
