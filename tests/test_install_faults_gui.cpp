// Failures as a user meets them, through the installers' real windows: a
// file or list the server does not have, a destination disk too small or
// filling up during the install, the disc taken out during the install, a
// copy that cannot be started, and the proxy port in the preferences. Disks
// and discs are mounted in this test's own mount namespace.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "Installer-f/wizard.h"
#include "tests/support/demo_release.h"
#include "tests/support/demo_release_fixture.h"
#include "tests/support/dvd_discs.h"
#include "tests/support/dvd_window.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

using vtest::count_in;
using vtest::wait_for;
using vtest::wizard_window;

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Pictures of the pages for a look, when VENTORA_KEEP_SHOTS names a folder.
std::string shot_path(const std::string& name)
{
	const char* keep = std::getenv("VENTORA_KEEP_SHOTS");
	return keep ? std::string(keep) + "/" + name + ".png" : std::string();
}
void keep_shot(wizard_window& w, const std::string& name)
{
	if (!shot_path(name).empty()) w.save_png(shot_path(name));
}
void keep_shot(vtest::gui_ctl& c, const std::string& name)
{
	if (!shot_path(name).empty()) c.save_png(shot_path(name));
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
		std::string path;    // what the server does not have
		int page;            // where the user waits
		std::string notice;  // what the page says
		vtest::http_behaviour fault;
	};
	const std::string file = "/" + rel->name + "/All/Airfoils/naca0012.afl.zip";
	vtest::http_behaviour missing;
	missing.status = 404;
	vtest::http_behaviour stalls;
	stalls.stall_after = 100;
	const row rows[] = {
	    {"server list", "/serverlist9.txt", 2, "The server " + rel->web_host + " answered: 404 Not Found.", missing},
	    {"file", file, 4, "The server " + rel->file_host + " answered: 404 Not Found.", missing},
	    // Nothing more arrives: the rate and time left give way to saying so.
	    {"stalled file", file, 4, "The download has stalled: nothing has arrived for 5 seconds.", stalls},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		rel->server->clear_behaviours();
		rel->server->set_behaviour(r.path, r.fault);
		size_t asked = 0;
		std::string run_log;
		vtest::gui_run_options o;
		o.stop_at = r.page;
		o.change_destination = false;
		o.at_stop = [&](vtest::gui_ctl& c) {
			ASSERT_TRUE(c.wait_log("Wizard notice: " + r.notice, 30)) << c.log();
			pause_ms(300);
			keep_shot(c, std::string("missing-") + r.what);
			// Eight seconds of the page: tries near 0, 1, 3 and 7 s, never a flood.
			const size_t from = rel->server->request_count();
			pause_ms(8000);
			const auto reqs = rel->server->requests();
			for (size_t i = from; i < reqs.size(); ++i) asked += reqs[i].path == r.path;
			run_log = c.log();
			c.click(30 + interface_icon_width(0, 0) / 2, 23);  // Quit
		};
		if (r.page == 2) {
			// The list never comes: the page after the licence is the one that waits.
			o.stop_at = 1;
			o.at_stop = [&, inner = o.at_stop](vtest::gui_ctl& c) {
				c.click(230, 103);
				c.click(770 - interface_icon_width(2, 0) / 2, 23);
				ASSERT_TRUE(c.wait_log("Wizard page 2:", 30)) << c.log();
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
		// The page speaks of the next try while it waits.
		EXPECT_NE(run_log.find("Wizard notice: " + r.notice), std::string::npos);
		// Quit took the partial archives with it.
		EXPECT_EQ(temp_archives(res.run_folder), std::vector<std::string>{});
	}
}

// From the first page: the program's desktop, where the demo goes by default,
// becomes a disk of size_kb; then on through the licence to the destination page.
void to_destination_on_small_disk(vtest::gui_ctl& c, std::unique_ptr<vtest::small_volume>& disk, int size_kb)
{
	disk.reset(new vtest::small_volume(c.run_folder + "home/Desktop", size_kb));
	ASSERT_EQ(disk->problem(), "");
	const float next = 770 - interface_icon_width(2, 0) / 2;
	c.click(next, 23);
	ASSERT_TRUE(c.wait_log("Wizard page 1:", 30));
	c.click(230, 103);
	c.click(next, 23);
	ASSERT_TRUE(c.wait_log("Wizard page 3:", 60)) << c.log();
}

TEST_F(WebFaults, DestinationOnATooSmallDiskIsReportedAndNextStaysOff)
{
	SKIP_WITHOUT_DISC_NAMESPACE();
	std::unique_ptr<vtest::small_volume> disk;
	std::string seen;
	vtest::gui_run_options o;
	o.stop_at = 0;
	o.at_stop = [&](vtest::gui_ctl& c) {
		to_destination_on_small_disk(c, disk, 64);
		if (::testing::Test::HasFatalFailure()) return;
		const float next = 770 - interface_icon_width(2, 0) / 2;
		ASSERT_TRUE(c.wait_log("Wizard notice: Disk size: ", 20)) << c.log();
		keep_shot(c, "small-disk");
		for (int k = 0; k < 3; ++k) {
			c.click(next, 23);
			pause_ms(500);
		}
		seen = c.log();
		c.click(30 + interface_icon_width(0, 0) / 2, 23);  // Quit
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
	EXPECT_EQ(res.exit_status, 0) << res.log;
	// The report measures the small disk, not the one it is mounted on.
	EXPECT_NE(seen.find("Wizard notice: Disk size: " + size_string(65) + "\\n"), std::string::npos) << seen;
	EXPECT_NE(seen.find("You do not have enough free disk space to install the Ventora 9 demo at this location."),
	          std::string::npos)
	    << seen;
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
	std::unique_ptr<vtest::small_volume> disk;
	std::string filler, seen;
	vtest::gui_run_options o;
	o.stop_at = 0;
	o.change_destination = false;
	o.fly = false;
	o.at_stop = [&](vtest::gui_ctl& c) {
		to_destination_on_small_disk(c, disk, 4096);
		if (::testing::Test::HasFatalFailure()) return;
		c.click(770 - interface_icon_width(2, 0) / 2, 23);
		ASSERT_TRUE(c.wait_log("Wizard page 4:", 30)) << c.log();
		filler = disk->fill();
		const std::string asked = "Question asked: An error occurred during installation:\n\nThe disk that holds ";
		ASSERT_TRUE(c.wait_log(asked, 60)) << c.log();
		pause_ms(1000);
		keep_shot(c, "web-disk-full-question");
		// Space made, Continue (the question is 700 x 206 in the middle of the window).
		unlink(filler.c_str());
		for (int k = 0; k < 5 && !c.wait_log("Question answered: 0", 3); ++k) c.click(50 + 96, 197 + 31);
		ASSERT_TRUE(c.wait_log("Wizard page 5:", 60)) << c.log();
		seen = c.log();
		c.click(770 - interface_icon_width(0, 0) / 2, 23);  // Quit in Next's place
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
	rel->server->clear_behaviours();
	EXPECT_EQ(res.exit_status, 0) << res.log;
	EXPECT_EQ(count_in(seen, "Question asked:"), 1) << seen;
	EXPECT_EQ(seen.find("The installer cannot extract a file."), std::string::npos) << seen;
	// Finished without problems: the tile came whole after the answer.
	EXPECT_NE(seen.find("Wizard text: I have finished installing the Ventora 9 web demo at: "), std::string::npos)
	    << seen;
	EXPECT_EQ(vtest::read_file_bytes(res.run_folder + "home/Desktop/Ventora 9 Demo/Global Scenery/-global terrain-/+40-120/+47-122.dsf"),
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
		pause_ms(300);
		keep_shot(c, "preferences");
		// The 600 x 380 window in the middle of the 800 x 600 one; its close box at the top left.
		for (int k = 0; k < 5 && !c.wait_log("Preferences window closed", 3); ++k) c.click(110, 480);
		ASSERT_TRUE(c.wait_log("Preferences window closed: proxy 127.0.0.1 port " + port + "\n", 1)) << c.log();
		// The program still reaches the server through that port.
		c.click(770 - interface_icon_width(2, 0) / 2, 23);
		ASSERT_TRUE(c.wait_log("Wizard page 1:", 30));
		c.click(230, 103);
		c.click(770 - interface_icon_width(2, 0) / 2, 23);
		EXPECT_TRUE(c.wait_log("Wizard page 3:", 60)) << c.log();
		c.click(30 + interface_icon_width(0, 0) / 2, 23);  // Quit
	};
	o.extra_args = {"--pref:_proxy_port=1"};
	std::shared_ptr<void> keep;
	vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
	EXPECT_EQ(res.exit_status, 0) << res.log;
	// What is saved names the port in use twice.
	const std::string saved = vtest::read_file_bytes(res.run_folder + "home/.config/Ventora/Ventora Installer.prf");
	EXPECT_NE(saved.find("_proxy_port " + port + "\n_proxy_port_int " + port + "\n"), std::string::npos) << saved;
}

// ---- the disc installer ------------------------------------------------------------

vtest::dvd_release* discs = nullptr;
std::string discs_error;

struct DiscFaults : ::testing::Test {
	static void SetUpTestSuite()
	{
		if (discs || !vtest::disc_namespace_problem().empty()) return;
		static vtest::temp_folder work;
		discs = new vtest::dvd_release;
		discs_error = vtest::build_dvd_release(work.path() + "release/", *discs);
	}
	void SetUp() override
	{
		SKIP_WITHOUT_DISC_NAMESPACE();
		if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display: run under xvfb-run";
		ASSERT_EQ(discs_error, "");
		ASSERT_GE(discs->discs.size(), 2u) << discs->maker_output;
		drive.reset(new vtest::disc_drive(tmp.path() + "drive/"));
	}
	void TearDown() override { drive.reset(); }

	// A copy of the first disc whose first archive in manifest order is a
	// pipe: the installer's copy of it waits until the test has done what it
	// wants to happen mid-install, then gets the archive's bytes.
	std::string held_disc()
	{
		const std::string disc = tmp.path() + "held_disc/";
		if (copy_file_recursive(discs->discs[0], disc) != 0) return "";
		const std::string set = disc + discs->name + "/";
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

	vtest::temp_folder tmp;
	std::unique_ptr<vtest::disc_drive> drive;
	std::string held_archive, held_bytes;
};

// Through the first pages to the install page.
std::string walk_to_install(wizard_window& w)
{
	if (!w.wait_log("Wizard page 0: ", 60)) return "no entry page";
	if (!w.next_until("Wizard page 1: ")) return "no destination page";
	if (!w.next_until("Wizard page 2: ")) return "no licence page";
	for (int k = 0; k < 3; ++k) {
		w.click(230, 103);
		if (w.next_until("Wizard page 3: ", 5, 1)) break;
	}
	if (!w.next_until("Wizard page 4: Installing Ventora")) return "no install page";
	return "";
}

const char* const kChangeDisc = "Wizard page -1: Installing Ventora - Please Change DVDs";

// The second disc asked for (one more change-disc page than `changes`) and
// given; the install ends on its finish page.
std::string finish_with_second_disc(wizard_window& w, vtest::disc_drive& drive, const std::string& disc, int changes)
{
	if (!w.wait_count(kChangeDisc, changes, 120)) return "no disc change";
	if (!drive.insert(disc).empty()) return "cannot insert the second disc";
	if (!w.next_until("Wizard page 5: Finished Installing Ventora", 10, 12)) return "no finish page";
	return "";
}

TEST_F(DiscFaults, DiscTakenOutMidInstallLeadsToTheChangeDiscPage)
{
	const std::string disc = held_disc();
	ASSERT_NE(disc, "");
	ASSERT_EQ(drive->insert(disc), "");
	wizard_window w;
	ASSERT_TRUE(w.start());
	std::thread walker;
	std::string walked = "?";
	walker = std::thread([&] { walked = walk_to_install(w); });
	release_held([&] { EXPECT_EQ(drive->eject(), ""); });
	walker.join();
	ASSERT_EQ(walked, "") << w.log();

	// No question per file: the page that asks for the disc.
	ASSERT_TRUE(w.wait_log("Wizard text: Please insert DVD number 1 and click continue.", 60)) << w.log();
	pause_ms(300);
	keep_shot(w, "disc-taken-out");
	EXPECT_EQ(w.count("Question"), 0) << w.log();
	const int changes = w.count(kChangeDisc);
	const int installs = w.count("Wizard page 4: Installing Ventora");
	ASSERT_EQ(drive->insert(discs->discs[0]), "");
	ASSERT_TRUE(w.next_until("Wizard page 4: Installing Ventora")) << w.log();
	EXPECT_GT(w.count("Wizard page 4: Installing Ventora"), installs);
	ASSERT_EQ(finish_with_second_disc(w, *drive, discs->discs[1], changes), "") << w.log();
	EXPECT_TRUE(w.wait_log("Wizard text: Installation was successful.", 10)) << w.log();
	EXPECT_EQ(w.count("Question"), 0) << w.log();
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();

	const std::string dest = w.home() + "Desktop/" + discs->name + "/";
	const std::string m = discs->master;
	for (const char* f : {"Instructions/Read Me.txt", "Airfoils/naca0012.afl", "Aircraft/General Aviation/Cirrus TheJet/c4.acf"})
		EXPECT_EQ(vtest::read_file_bytes(dest + f), vtest::read_file_bytes(m + "All/" + f)) << f;
	EXPECT_EQ(vtest::read_file_bytes(dest + "Ventora"), vtest::read_file_bytes(m + "Linux/Ventora"));
}

TEST_F(DiscFaults, DestinationFillingUpMidInstallAsksOnce)
{
	const std::string disc = held_disc();
	ASSERT_NE(disc, "");
	ASSERT_EQ(drive->insert(disc), "");
	wizard_window w;
	vtest::small_volume desktop(w.home() + "Desktop", 4096);
	ASSERT_EQ(desktop.problem(), "");
	ASSERT_TRUE(w.start());
	std::string walked = "?", filler;
	std::thread walker([&] { walked = walk_to_install(w); });
	release_held([&] { filler = desktop.fill(); });
	walker.join();
	ASSERT_EQ(walked, "") << w.log();

	// One question, saying what is wrong; the later files wait for the answer.
	const std::string asked = "Question asked: An error occurred during installation:\n\nThe disk that holds ";
	ASSERT_TRUE(w.wait_log(asked, 60)) << w.log();
	pause_ms(1000);
	keep_shot(w, "disk-full-question");
	EXPECT_EQ(w.count("Question asked:"), 1) << w.log();
	EXPECT_NE(w.log().find("is full. (No space left on device"), std::string::npos) << w.log();

	// Space made, Continue: the install goes on where it stopped and succeeds.
	unlink(filler.c_str());
	w.question_click(96, 31);
	ASSERT_TRUE(w.wait_log("Question answered: 0", 30)) << w.log();
	ASSERT_EQ(finish_with_second_disc(w, *drive, discs->discs[1], 0), "") << w.log();
	EXPECT_TRUE(w.wait_log("Wizard text: Installation was successful.", 10)) << w.log();
	EXPECT_EQ(w.count("Question asked:"), 1) << w.log();
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
	const std::string dest = w.home() + "Desktop/" + discs->name + "/";
	for (const char* f : {"Instructions/Read Me.txt", "Airfoils/naca0012.afl", "Aircraft/General Aviation/Cirrus TheJet/c4.acf"})
		EXPECT_EQ(vtest::read_file_bytes(dest + f), vtest::read_file_bytes(discs->master + "All/" + f)) << f;
}

TEST_F(DiscFaults, CopyThatCannotBeStartedSaysSoAndNamesItsExecutable)
{
	ASSERT_EQ(drive->insert(discs->discs[0]), "");
	wizard_window w;
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
	ASSERT_TRUE(w.wait_log("Wizard page -1: Ventora 9 could not be started.", 30)) << w.log();
	EXPECT_TRUE(w.wait_log("Wizard text: I could not start " + copy + "Ventora (", 5)) << w.log();
	pause_ms(300);
	keep_shot(w, "launch-failed");
	EXPECT_EQ(w.log().find("Ventora.app ("), std::string::npos);
	EXPECT_EQ(w.log().find("Installation was successful."), std::string::npos);
	// Back (beside Quit in Next's place) returns to the entry page; the program goes on.
	ASSERT_TRUE(w.click_until(760 - interface_icon_width(0, 0) - interface_icon_width(1, 0) / 2, 23, "Wizard page 0: "))
	    << w.log();
	w.click(w.quit_left_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
}

}  // namespace
