// The DVD installer through its real window: a two-disc set made by the
// maker, discs bind-mounted read-only in this test's own mount namespace and
// changed by an unmount and a mount; pages reached by real clicks.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>

#include "DIzivoz/Files/io_utils.h"
#include "Installer-f/wizard.h"
#include "Installer-f/world_map.h"
#include "tests/support/dvd_discs.h"
#include "tests/support/dvd_release_fixture.h"
#include "tests/support/dvd_window.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

using vtest::count_in;
using vtest::wait_for;
using vtest::wizard_window;

std::string bin_dir()
{
	const char* b = std::getenv("VENTORA_BIN_DIR");
	return std::string(b ? b : VENTORA_TEST_BIN_DIR) + "/";
}

// Through the first pages to the scenery map; false (with a reason) when a page was not reached.
std::string walk_to_map(wizard_window& w)
{
	if (!w.wait_log("Wizard page 0: ", 60)) return "no entry page";
	if (!w.next_until("Wizard page 1: ")) return "no destination page";
	if (!w.next_until("Wizard page 2: ")) return "no licence page";
	for (int k = 0; k < 3; ++k) {
		w.click(230, 103);
		if (w.next_until("Wizard page 3: ", 5, 1)) return "";
	}
	return "no scenery page";
}

struct DvdInstallGui : vtest::DvdReleaseTest {
	void SetUp() override
	{
		ASSERT_NO_FATAL_FAILURE(DvdReleaseTest::SetUp());
		if (!IsSkipped()) insert_first();
	}
	// The window started and walked through the map to the install page.
	void to_install(wizard_window& w, const std::string& page = "Wizard page 4: ")
	{
		ASSERT_TRUE(w.start());
		ASSERT_EQ(walk_to_map(w), "") << w.log();
		ASSERT_TRUE(w.next_until(page)) << w.log();
	}
};

const std::string kScenery = "Global Scenery/-global terrain-/";

// Centre of a map cell (longitude band j, latitude band i), GUI units.
float cell_x(int j) { return world_map_x + world_map_cell * j + 7; }
float cell_y(int i) { return world_map_y + world_map_cell * i + 7; }

TEST_F(DvdInstallGui, InstallsChosenTilesAcrossBothDiscs)
{
	wizard_window w;
	ASSERT_TRUE(w.start());
	ASSERT_EQ(walk_to_map(w), "") << w.log();

	const vtest::tile_cell A = vtest::dvd_master_cells[0], B = vtest::dvd_master_cells[1],
	                       C = vtest::dvd_master_cells[2];
	const vtest::tile_cell N = {C.lon + 1, C.lat};  // beside C, not offered
	auto look = [&](vtest::tile_cell c) { return w.steady_block(cell_x(c.lon), cell_y(c.lat) - 4); };
	// Every offered tile starts chosen.
	const auto a_chosen = look(A), b_chosen = look(B), c_chosen = look(C), n_plain = look(N);

	// Clear all: the offered tiles dim, the others stay plain map.
	w.click(world_map_icons_right - interface_icon_width(4, 0) / 2, world_map_icons_y + 11);
	ASSERT_TRUE(wait_for([&] { return w.block(cell_x(A.lon), cell_y(A.lat) - 4) != a_chosen; }, 10));
	const auto b_offered = look(B);
	EXPECT_NE(b_offered, b_chosen);
	EXPECT_EQ(look(N), n_plain);

	// A tile by a held click, one by a quick tap (press and release often
	// seen in one frame), one by a drag that also runs over a tile not offered.
	w.click(cell_x(A.lon), cell_y(A.lat));
	EXPECT_TRUE(wait_for([&] { return look(A) == a_chosen; }, 10));
	w.tap(cell_x(B.lon), cell_y(B.lat));
	EXPECT_TRUE(wait_for([&] { return look(B) == b_chosen; }, 10));
	w.drag(cell_x(C.lon), cell_y(C.lat), cell_x(N.lon), cell_y(N.lat));
	EXPECT_TRUE(wait_for([&] { return look(C) == c_chosen; }, 10));
	// A second tap takes B away again.
	w.tap(cell_x(B.lon), cell_y(B.lat));
	EXPECT_TRUE(wait_for([&] { return look(B) == b_offered; }, 10));
	EXPECT_EQ(look(A), a_chosen);
	EXPECT_EQ(look(N), n_plain);

	// Install: the second disc is asked for.
	const std::string change = "Installing Ventora - Please Change DVDs";
	const std::string check = "Installing Ventora - Checking DVD...";
	ASSERT_TRUE(w.next_until("Wizard page 4: Installing Ventora")) << w.log();
	ASSERT_TRUE(w.wait_log(change, 120)) << w.log();
	// A wrong disc (the first again) comes back to the same page.
	ASSERT_EQ(drive->insert(rel->discs[0]), "");
	const int changes = w.count(change);
	ASSERT_TRUE(w.next_until(check)) << w.log();
	ASSERT_TRUE(w.wait_count(change, changes, 20)) << w.log();
	// The right one resumes the install.
	ASSERT_EQ(drive->insert(rel->discs[1]), "");
	const int checks = w.count(check);
	ASSERT_TRUE(w.next_until(check)) << w.log();
	ASSERT_TRUE(w.wait_log("Wizard page 5: Finished Installing Ventora", 180)) << w.log();
	EXPECT_EQ(w.count(check), checks + 1);
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
	EXPECT_EQ(w.log().find("STRING "), std::string::npos);

	// The registry names the new copy: the set's name in the default parent.
	const std::string dest = w.home() + "Desktop/" + rel->name + "/";
	EXPECT_EQ(vtest::read_file_bytes(w.home() + ".config/Ventora/ventora_install.txt"), dest + "\n");

	// Bytes and modes of the simulator's files; only the chosen tiles.
	const std::string m = rel->master;
	for (const char* f : {"Instructions/Read Me.txt", "Airfoils/naca0012.afl",
	                      "Aircraft/General Aviation/Cirrus TheJet/c4.acf",
	                      "Aircraft/General Aviation/Cirrus TheJet/c4.txt", "Resources/plugins/PluginAdminLin.vnp"})
		EXPECT_EQ(vtest::read_file_bytes(dest + f), vtest::read_file_bytes(m + "All/" + f)) << f;
	EXPECT_EQ(vtest::read_file_bytes(dest + "Ventora"), vtest::read_file_bytes(m + "Linux/Ventora"));
	struct stat st{};
	ASSERT_EQ(stat((dest + "Ventora").c_str(), &st), 0);
	EXPECT_TRUE(st.st_mode & S_IXUSR);
	EXPECT_EQ(vtest::read_file_bytes(dest + kScenery + "+30-090/+35-085.dsf"),
	          vtest::read_file_bytes(m + "All/" + kScenery + "+30-090/+35-085.dsf"));
	EXPECT_EQ(vtest::read_file_bytes(dest + kScenery + "+50+000/+51+003.dsf"),
	          vtest::read_file_bytes(m + "All/" + kScenery + "+50+000/+51+003.dsf"));
	EXPECT_FALSE(vtest::path_exists(dest + kScenery + "+40-120/+47-122.dsf"));
	EXPECT_FALSE(vtest::path_exists(dest + kScenery + "+40-120/+46-121.dsf"));
}

// A copy of the simulator in a folder and the registry naming it.
std::string registered_copy(const std::string& home, const std::string& master)
{
	const std::string copy = home + "Apps/Ventora 9/";
	mkdir((home + "Apps").c_str(), 0755);
	mkdir(copy.c_str(), 0755);
	for (const char* d : {"Airfoils", "Instructions", "Output", "Resources"}) mkdir((copy + d).c_str(), 0755);
	vtest::write_file_bytes(copy + "Ventora", vtest::read_file_bytes(master + "Linux/Ventora"));
	chmod((copy + "Ventora").c_str(), 0755);
	mkdir((home + ".config").c_str(), 0755);
	mkdir((home + ".config/Ventora").c_str(), 0755);
	vtest::write_file_bytes(home + ".config/Ventora/ventora_install.txt", copy + "\n");
	return copy;
}

TEST_F(DvdInstallGui, RegisteredCopyOffersFourChoicesAndRunStartsIt)
{
	for (int lang : {0, 1, 2}) {
		SCOPED_TRACE(lang);
		wizard_window w(lang);
		const std::string copy = registered_copy(w.home(), rel->master);
		ASSERT_TRUE(w.start());
		ASSERT_TRUE(w.wait_log("Wizard page 0: ", 60));
		// Each choice, from the bottom up, reaches its page; Back returns.
		const struct {
			float y;
			const char* title;
		} choices[] = {{275, "Pick Install Destination."},
		               {300, "Repair Ventora 9"},
		               {325, "Select Ventora 9 to Add or Remove Scenery"}};
		for (const auto& c : choices) {
			const std::string page = std::string("Wizard page 1: ") + (lang == 0 ? c.title : "");
			const int entries = w.count("Wizard page 0: ");
			ASSERT_TRUE(w.click_until(500, c.y, page)) << c.title << "\n" << w.log();
			ASSERT_TRUE(w.back_until("Wizard page 0: ")) << w.log();
			EXPECT_GT(w.count("Wizard page 0: "), entries);
		}
		// Run with one copy starts it at once.
		w.click_until(500, 350, "Launching: ");
		EXPECT_EQ(w.wait_exit(60), 1) << w.log();
		EXPECT_TRUE(wait_for([&] { return vtest::path_exists(copy + "flew.txt"); }, 20));
		EXPECT_EQ(w.log().find("STRING "), std::string::npos) << w.log();
		EXPECT_EQ(w.log().find("ERROR: language"), std::string::npos) << w.log();
	}
}

TEST_F(DvdInstallGui, FrenchAndGermanInstallPagesHaveEveryText)
{
	for (int lang : {1, 2}) {
		SCOPED_TRACE(lang);
		ASSERT_EQ(drive->insert(rel->discs[0]), "");
		wizard_window w(lang);
		ASSERT_NO_FATAL_FAILURE(to_install(w));
		ASSERT_TRUE(w.wait_log("Wizard page -1: ", 120)) << w.log();
		ASSERT_EQ(drive->insert(rel->discs[1]), "");
		ASSERT_TRUE(w.next_until("Wizard page -1: ")) << w.log();
		ASSERT_TRUE(w.wait_log("Wizard page 5: ", 180)) << w.log();
		w.click(w.quit_right_x(), 23);
		EXPECT_EQ(w.wait_exit(60), 0) << w.log();
		EXPECT_EQ(w.log().find("STRING "), std::string::npos) << w.log();
		EXPECT_EQ(w.log().find("ERROR: language"), std::string::npos) << w.log();
	}
}

// A disc that is not the one asked for is named on the page the check leads
// back to: another disc of the set, then an empty drive.
TEST_F(DvdInstallGui, WrongDiscIsNamedOnTheDiscPage)
{
	const struct {
		const char* other_disc;
		const char* no_disc;
		const char* ask;
	} said[] = {
	    {"The disc in the drive is DVD number 1, not DVD number 2.", "No DVD of this set was found in the drive.",
	     "Please insert DVD number 2 and click continue."},
	    {"Le disque dans le lecteur est le DVD numéro 1 et non le DVD numéro 2.",
	     "Aucun DVD de cette série n'a été trouvé dans le lecteur.",
	     "Veuillez insérer le DVD numéro 2 et cliquer sur Suivant."},
	    {"Im Laufwerk liegt die DVD Nummer 1, nicht die DVD Nummer 2.", "Im Laufwerk wurde keine DVD dieses Satzes gefunden.",
	     "Bitte legen Sie die DVD Nummer 2 ein und klicken Sie auf Weiter."},
	};
	for (int lang : {0, 1, 2}) {
		SCOPED_TRACE(lang);
		ASSERT_EQ(drive->insert(rel->discs[0]), "");
		wizard_window w(lang);
		ASSERT_NO_FATAL_FAILURE(to_install(w));
		// The first request says nothing of a refused disc.
		const std::string ask = std::string("Wizard text: ") + said[lang].ask + "\n";
		ASSERT_TRUE(w.wait_log(ask, 120)) << w.log();

		const struct {
			const char* what;
			bool disc_one;
			const char* text;
		} tries[] = {{"disc one again", true, said[lang].other_disc}, {"empty drive", false, said[lang].no_disc}};
		for (const auto& t : tries) {
			SCOPED_TRACE(t.what);
			if (t.disc_one) ASSERT_EQ(drive->insert(rel->discs[0]), "");
			else ASSERT_EQ(drive->eject(), "");
			const std::string page = std::string("Wizard text: ") + t.text + "\\n\\n" + said[lang].ask + "\n";
			ASSERT_TRUE(w.next_until(page)) << w.log();
			if (const char* keep = std::getenv("VENTORA_KEEP_PAGE"))
				w.save_png(std::string(keep) + "/wrong_disc_" + std::to_string(lang) + (t.disc_one ? "_other" : "_none") +
				           ".png");
		}
		// The right disc goes on without a word of the earlier ones.
		ASSERT_EQ(drive->insert(rel->discs[1]), "");
		ASSERT_TRUE(w.next_until("Wizard page -1: ")) << w.log();
		ASSERT_TRUE(w.wait_log("Wizard page 5: ", 180)) << w.log();
		EXPECT_EQ(w.count(ask), 1) << w.log();
		w.click(w.quit_right_x(), 23);
		EXPECT_EQ(w.wait_exit(60), 0) << w.log();
		EXPECT_EQ(w.log().find("STRING "), std::string::npos) << w.log();
	}
}

TEST_F(DvdInstallGui, CorruptArchiveOnDiscTwoAsksAndContinueEndsOnTheErrorPage)
{
	// Disc 2 with one of its archives damaged.
	const std::string bad = tmp.path() + "bad_disc/";
	ASSERT_EQ(copy_file_recursive(rel->discs[1], bad), 0);
	std::string victim;
	for (const std::string& f : vtest::files_below(bad))
		if (f.size() > 4 && f.compare(f.size() - 4, 4, ".zip") == 0 && f.find("/All/") != std::string::npos &&
		    f.find("Global Scenery") == std::string::npos)
			victim = f;
	ASSERT_FALSE(victim.empty());
	chmod((bad + victim).c_str(), 0644);
	vtest::write_file_bytes(bad + victim, "not a zip archive at all");

	wizard_window w;
	ASSERT_NO_FATAL_FAILURE(to_install(w, "Wizard page 4: Installing Ventora"));
	ASSERT_TRUE(w.wait_log("Installing Ventora - Please Change DVDs", 120)) << w.log();
	ASSERT_EQ(drive->insert(bad), "");
	ASSERT_TRUE(w.next_until("Installing Ventora - Checking DVD...")) << w.log();
	// Once its window is up; the question's whole text is in the log by then.
	ASSERT_TRUE(w.wait_log("Question asked: An error occurred during installation:", 120)) << w.log();
	const std::string log = w.log();
	const size_t q = log.find("Question: An error occurred during installation:");
	EXPECT_NE(log.find("I was unable to unzip the file", q), std::string::npos) << log.substr(q);
	EXPECT_NE(log.find("or you can cancel the installation.", q), std::string::npos) << log.substr(q);
	// Continue: the install goes on and ends on the error page.
	w.question_click(96, 31);
	ASSERT_TRUE(w.wait_log("Wizard page 5: Finished Installing Ventora", 120)) << w.log();
	// No Run choice on the error page: a click there does nothing; Quit ends.
	w.click(500, 350);
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
	EXPECT_EQ(w.log().find("Launching: "), std::string::npos);
}

TEST_F(DvdInstallGui, BackFromTheInstallContinuesWhenTheQuestionIsClosedAndCancelDeletes)
{
	wizard_window w;
	ASSERT_NO_FATAL_FAILURE(to_install(w, "Wizard page 4: Installing Ventora"));
	ASSERT_TRUE(w.wait_log("Installing Ventora - Please Change DVDs", 120)) << w.log();
	const std::string dest = w.home() + "Desktop/" + rel->name + "/";
	ASSERT_TRUE(vtest::path_exists(dest + "Airfoils/naca0012.afl"));

	// Back (to the scenery page) asks; closing the question continues.
	const std::string question = "Question: Are you sure you want to cancel the installation?";
	const std::string asked_line = "Question asked: Are you sure you want to cancel the installation?";
	ASSERT_TRUE(w.back_until(question)) << w.log();
	ASSERT_TRUE(w.wait_count(asked_line, 0, 30)) << w.log();
	w.question_click(12, 196);
	ASSERT_TRUE(w.wait_count("Wizard page 4: Installing Ventora", 1, 30)) << w.log();
	// The install resumes where it stopped: straight back to the disc change.
	ASSERT_TRUE(w.wait_count("Installing Ventora - Please Change DVDs", 1, 60)) << w.log();
	EXPECT_TRUE(vtest::path_exists(dest + "Airfoils/naca0012.afl"));
	EXPECT_EQ(count_in(w.log(), "Starting install at "), 1);

	// Back again and Cancel: the partial copy is deleted.
	const int asked = w.count(question);
	ASSERT_TRUE(w.back_until(question)) << w.log();
	EXPECT_EQ(w.count(question), asked + 1);
	ASSERT_TRUE(w.wait_count(asked_line, 1, 30)) << w.log();
	w.question_click(96, 56);
	ASSERT_TRUE(wait_for([&] { return !vtest::path_exists(dest); }, 30)) << w.log();
	ASSERT_TRUE(w.wait_count("Wizard page 3: Select Scenery", 1, 30)) << w.log();
	// The registry keeps its line; a folder that is gone is skipped when read.
	w.click(w.quit_left_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
}

// Processes running the executable at `exe`.
std::vector<pid_t> pids_of(const std::string& exe)
{
	std::vector<pid_t> out;
	DIR* d = opendir("/proc");
	if (!d) return out;
	while (dirent* e = readdir(d)) {
		const pid_t pid = (pid_t)std::atoi(e->d_name);
		if (pid <= 0) continue;
		char buf[4096];
		const ssize_t n = readlink(("/proc/" + std::string(e->d_name) + "/exe").c_str(), buf, sizeof buf - 1);
		if (n > 0 && std::string(buf, (size_t)n) == exe) out.push_back(pid);
	}
	closedir(d);
	return out;
}

// Starts a program with an environment; its pid.
pid_t spawn_with(const std::string& exe, const std::map<std::string, std::string>& env, const std::string& out)
{
	std::vector<std::string> envs;
	for (const auto& kv : env) envs.push_back(kv.first + "=" + kv.second);
	std::vector<char*> envp, argv = {const_cast<char*>(exe.c_str()), nullptr};
	for (std::string& e : envs) envp.push_back(&e[0]);
	envp.push_back(nullptr);
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	posix_spawn_file_actions_adddup2(&fa, 1, 2);
	pid_t pid = -1;
	const int err = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), envp.data());
	posix_spawn_file_actions_destroy(&fa);
	return err == 0 ? pid : -1;
}

TEST_F(DvdInstallGui, StartedFromTheDiscRunsACopyFromTheTemporaryFolder)
{
	// Disc 1 with the installer on it: program and resources.
	const std::string disc = tmp.path() + "disc_with_installer/";
	ASSERT_EQ(copy_file_recursive(rel->discs[0], disc), 0);
	mkdir((disc + "Installer").c_str(), 0755);
	ASSERT_EQ(copy_file_recursive(bin_dir() + "ventora_dvd_installer", disc + "Installer/ventora_dvd_installer"), 0);
	chmod((disc + "Installer/ventora_dvd_installer").c_str(), 0755);
	std::string res = bin_dir() + "Resources";
	ASSERT_EQ(copy_file_recursive(res + "/", disc + "Installer/Resources/"), 0);
	ASSERT_EQ(drive->insert(disc), "");

	vtest::xvfb_server x(1024, 768);
	ASSERT_FALSE(x.display().empty());
	const std::string root = tmp.path() + "run/";
	for (const char* d : {"", "home", "home/Desktop", "tmp"}) mkdir((root + d).c_str(), 0755);
	std::map<std::string, std::string> env = {
	    {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
	    {"HOME", root + "home"},
	    {"XDG_CONFIG_HOME", root + "home/.config"},
	    {"XDG_DESKTOP_DIR", root + "home/Desktop"},
	    {"TMPDIR", root + "tmp"},
	    {"LANG", "C.UTF-8"},
	    {"LANGUAGE", "en"},
	    {"SDL_VIDEODRIVER", "x11"},
	    {"DISPLAY", x.display()},
	};
	for (const char* v : {"XAUTHORITY", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
		if (const char* s = std::getenv(v)) env[v] = s;
	const pid_t pid = spawn_with(drive->root() + "Installer/ventora_dvd_installer", env, root + "first.txt");
	ASSERT_GT(pid, 0);
	int st = 0;
	ASSERT_EQ(waitpid(pid, &st, 0), pid);
	ASSERT_TRUE(WIFEXITED(st));
	EXPECT_EQ(WEXITSTATUS(st), 1) << vtest::read_file_bytes(root + "first.txt");
	// The disc is read-only: the first process wrote no log there.
	EXPECT_FALSE(vtest::path_exists(drive->root() + "Installer/Ventora Installer Log.txt"));

	// The copy in the temporary folder shows the entry page.
	const std::string copy = root + "tmp/ventora-" + std::to_string(getuid()) + "/Installer/";
	const std::string copy_log = copy + "Ventora Installer Log.txt";
	ASSERT_TRUE(wait_for(
	    [&] { return vtest::read_file_bytes(copy_log).find("Wizard page 0: Ventora 9 Installer") != std::string::npos; },
	    60))
	    << vtest::read_file_bytes(copy_log);
	EXPECT_TRUE(vtest::path_exists(copy + "Resources/interface.png"));
	// It does not copy itself again; closing its window ends it.
	vtest::x_view xv(x.display());
	unsigned long win = 0;
	ASSERT_TRUE(wait_for([&] { return (win = xv.find_window("Ventora Installer")) != 0; }, 30));
	xv.send_close(win);
	EXPECT_TRUE(wait_for([&] { return xv.find_window("Ventora Installer") == 0; }, 30));
	EXPECT_EQ(vtest::read_file_bytes(copy_log).find("Launching: "), std::string::npos);
	// The copy is no child of this test: make sure it has ended before its
	// X server goes.
	const std::string copy_exe = copy + "ventora_dvd_installer";
	EXPECT_TRUE(wait_for([&] { return pids_of(copy_exe).empty(); }, 30));
	for (pid_t p : pids_of(copy_exe)) kill(p, SIGKILL);
}

// A new copy whose install never finished (the program was killed): picking
// its folder again offers to finish it or to remove it, never a dead end.
TEST_F(DvdInstallGui, UnfinishedCopyIsOfferedForFinishingOrRemoval)
{
	wizard_window w(0);
	const std::string parent = w.home() + "Desktop/";
	const std::string copy = parent + rel->name + "/";
	mkdir(parent.c_str(), 0755);
	mkdir(copy.c_str(), 0755);
	mkdir((copy + "Airfoils").c_str(), 0755);
	vtest::write_file_bytes(copy + "Airfoils/naca0012.afl", "half");
	mkdir((w.home() + ".config").c_str(), 0755);
	mkdir((w.home() + ".config/Ventora").c_str(), 0755);
	const std::string registry = w.home() + ".config/Ventora/ventora_install.txt";
	const std::string unfinished = w.home() + ".config/Ventora/ventora_install_unfinished.txt";
	vtest::write_file_bytes(registry, copy + "\n");
	vtest::write_file_bytes(unfinished, copy + "\n");
	ASSERT_TRUE(w.start());
	ASSERT_TRUE(w.wait_log("Wizard page 0: ", 60));
	// "Install A Second Copy of Ventora", the lowest of the entry page's choices.
	ASSERT_TRUE(w.click_until(500, 275, "Wizard page 1: Pick Install Destination.")) << w.log();
	const std::string offer = "Wizard text: The folder '" + rel->name + "' inside the folder '" + parent +
	                          "' holds an installation that did not finish.\\n\\nNext finishes it and keeps the "
	                          "files already installed.";
	ASSERT_TRUE(w.wait_log(offer, 10)) << w.log();
	const char* keep = std::getenv("VENTORA_KEEP_SHOTS");
	if (keep) w.save_png(std::string(keep) + "/disc-unfinished-copy.png");
	// Removed: the page offers a new install there.
	ASSERT_TRUE(w.click_until(500, 350, "Wizard text: I will create the folder '" + rel->name + "'")) << w.log();
	EXPECT_FALSE(vtest::path_exists(copy));
	EXPECT_EQ(vtest::read_file_bytes(registry), "");
	EXPECT_EQ(vtest::read_file_bytes(unfinished), "");
	w.click(w.quit_left_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
}

}  // namespace
