// Repairing a copy and adding and removing scenery through the DVD
// installer's real window: a two-disc set made by the maker, discs
// bind-mounted read-only in this test's own mount namespace and changed by
// an unmount and a mount, a registered copy made from the master.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "DIzivoz/Files/io_utils.h"
#include "Installer-f/utils.h"
#include "Installer-f/wizard.h"
#include "Installer-f/world_map.h"
#include "tests/support/dvd_discs.h"
#include "tests/support/dvd_release_fixture.h"
#include "tests/support/dvd_window.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {


using vtest::wait_for;
using vtest::wizard_window;

// The modified-file question is 780 x 180, centred: 40 units left of and 13
// units above where the 700 x 206 cancel question puts the same point.
void modified_file_question_click(wizard_window& w, float x, float y) { w.question_click(x - 40, y + 13); }

const std::string kScenery = "Global Scenery/-global terrain-/";
const std::string kTileA = kScenery + "+30-090/+35-085.dsf";  // disc 1
const std::string kTileB1 = kScenery + "+40-120/+46-121.dsf";
const std::string kTileB2 = kScenery + "+40-120/+47-122.dsf";
const std::string kTileC = kScenery + "+50+000/+51+003.dsf";  // disc 2

// An installed copy made from the master (what an install from the set
// leaves), with the given tiles, and the registry naming it.
std::string registered_copy(const std::string& home, const std::string& master, const std::vector<std::string>& tiles)
{
	const std::string copy = home + "Apps/Ventora 9/";
	const std::string all = master + "All/";
	auto make_parent = [](const std::string& path) {
		for (size_t s = 1, e; (e = path.find('/', s)) != std::string::npos; s = e + 1) mkdir(path.substr(0, e).c_str(), 0755);
	};
	make_parent(copy);
	for (const char* d : {"Airfoils", "Instructions", "Output", "Resources", "Weapons", "Custom Scenery"})
		mkdir((copy + d).c_str(), 0755);
	for (const std::string& f : vtest::files_below(all)) {
		if (f.size() > 3 && f.compare(f.size() - 3, 3, ".7z") == 0) continue;
		if (f.find("Global Scenery/") == 0 && std::find(tiles.begin(), tiles.end(), f) == tiles.end()) continue;
		make_parent(copy + f);
		char link[512];
		const ssize_t n = readlink((all + f).c_str(), link, sizeof(link) - 1);
		if (n > 0) {
			link[n] = 0;
			symlink(link, (copy + f).c_str());
		} else {
			vtest::write_file_bytes(copy + f, vtest::read_file_bytes(all + f));
		}
	}
	vtest::write_file_bytes(copy + "Ventora", vtest::read_file_bytes(master + "Linux/Ventora"));
	chmod((copy + "Ventora").c_str(), 0755);
	make_parent(home + ".config/Ventora/x");
	vtest::write_file_bytes(home + ".config/Ventora/ventora_install.txt", copy + "\n");
	return copy;
}

struct DvdRepairGui : vtest::DvdReleaseTest {
	void SetUp() override
	{
		ASSERT_NO_FATAL_FAILURE(DvdReleaseTest::SetUp());
		if (IsSkipped()) return;
		ASSERT_EQ(rel->discs.size(), 2u) << rel->maker_output;
		insert_first();
	}

	std::string master(const std::string& rel_path) { return vtest::read_file_bytes(rel->master + "All/" + rel_path); }

	// From the entry page through the repair's pick and scan to its confirmation.
	void to_confirmation(wizard_window& w)
	{
		ASSERT_TRUE(w.wait_log("Wizard page 0: ", 60)) << w.log();
		ASSERT_TRUE(w.click_until(500, 300, "Wizard page 1: Repair Ventora 9")) << w.log();
		ASSERT_TRUE(w.next_until("Wizard page 2: Scanning Ventora for Problems")) << w.log();
		ASSERT_TRUE(w.wait_log("Wizard page 3: Confirm Repairs", 60)) << w.log();
	}
};

TEST_F(DvdRepairGui, RepairRestoresADamagedAndAMissingFileAcrossBothDiscs)
{
	wizard_window w;
	const std::string copy = registered_copy(w.home(), rel->master, {kTileA});
	// Damaged: on the first disc; missing: on the second.
	vtest::write_file_bytes(copy + "Airfoils/naca0012.afl", "bent");
	ASSERT_EQ(unlink((copy + "Instructions/Read Me.txt").c_str()), 0);
	ASSERT_TRUE(w.start());
	to_confirmation(w);
	EXPECT_TRUE(w.wait_log("Wizard text: I need to install approximately 2 files to repair " + copy +
	                           ".\\n\\nClick continue to begin repairing Ventora.",
	                       10))
	    << w.log();

	// The damaged file looks changed by its user: the engine asks before
	// overwriting it.
	const std::string asked = "Question: I am about to install: " + copy + "Airfoils/naca0012.afl";
	ASSERT_TRUE(w.next_until(asked)) << w.log();
	ASSERT_TRUE(w.wait_log("Question asked: I am about to install: ", 30)) << w.log();
	// The overwrite button: the first column, first row, whatever its width.
	modified_file_question_click(w, 40, select_alert_make_question("", 0).buttons[0].y);
	ASSERT_TRUE(w.wait_log("Wizard page 4: Repairing Ventora", 30)) << w.log();
	ASSERT_TRUE(w.wait_log("Wizard page -1: Repairing Ventora - Please Change DVDs", 120)) << w.log();
	EXPECT_TRUE(w.wait_log("Wizard text: Please insert DVD number 2 and click continue.", 10)) << w.log();
	EXPECT_EQ(vtest::read_file_bytes(copy + "Airfoils/naca0012.afl"), master("Airfoils/naca0012.afl"));
	ASSERT_EQ(drive->insert(rel->discs[1]), "");
	ASSERT_TRUE(w.next_until("Repairing Ventora - Checking DVD")) << w.log();
	ASSERT_TRUE(w.wait_log("Wizard page 5: Finished Repairing Ventora.", 120)) << w.log();
	EXPECT_TRUE(w.wait_log("Wizard text: I have finished repairing " + copy, 10)) << w.log();
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();

	EXPECT_EQ(vtest::read_file_bytes(copy + "Instructions/Read Me.txt"), master("Instructions/Read Me.txt"));
	EXPECT_EQ(vtest::read_file_bytes(copy + "Airfoils/naca0012.afl"), master("Airfoils/naca0012.afl"));
	// Scenery is not the repair's business: no tile came or went.
	EXPECT_TRUE(vtest::path_exists(copy + kTileA));
	EXPECT_FALSE(vtest::path_exists(copy + kTileC));
	EXPECT_EQ(w.log().find("STRING "), std::string::npos) << w.log();
}

TEST_F(DvdRepairGui, StopAfterARepairErrorEndsOnTheErrorPage)
{
	// The second disc with the missing file's archive damaged.
	const std::string bad = tmp.path() + "bad_disc/";
	ASSERT_EQ(copy_file_recursive(rel->discs[1], bad), 0);
	std::string victim;
	for (const std::string& f : vtest::files_below(bad))
		if (f.find("Instructions/Read Me.txt.zip") != std::string::npos) victim = f;
	ASSERT_FALSE(victim.empty());
	chmod((bad + victim).c_str(), 0644);
	vtest::write_file_bytes(bad + victim, "not a zip archive at all");

	wizard_window w;
	const std::string copy = registered_copy(w.home(), rel->master, {});
	ASSERT_EQ(unlink((copy + "Instructions/Read Me.txt").c_str()), 0);
	ASSERT_TRUE(w.start());
	to_confirmation(w);
	ASSERT_TRUE(w.next_until("Wizard page 4: Repairing Ventora")) << w.log();
	ASSERT_TRUE(w.wait_log("Repairing Ventora - Please Change DVDs", 120)) << w.log();
	ASSERT_EQ(drive->insert(bad), "");
	ASSERT_TRUE(w.next_until("Repairing Ventora - Checking DVD")) << w.log();
	// Once its window is up; the question's whole text is in the log by then.
	ASSERT_TRUE(w.wait_log("Question asked: An error occurred during the repair:", 120)) << w.log();
	const std::string log = w.log();
	const size_t q = log.find("Question: An error occurred during the repair:");
	EXPECT_NE(log.find("Ventora may not be usable until you are able to repair the sim without errors.", q),
	          std::string::npos)
	    << log.substr(q);
	// Stop: straight to the repair's finish page with the error text.
	w.question_click(96, 56);
	ASSERT_TRUE(w.wait_log("Wizard page 5: Finished Repairing Ventora.", 60)) << w.log();
	EXPECT_TRUE(w.wait_log("Wizard text: There were errors during the repair; your copy of Ventora may not be usable.",
	                       10))
	    << w.log();
	// No Run choice there; Quit ends.
	w.click(500, 350);
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
	EXPECT_EQ(w.log().find("Launching: "), std::string::npos);
	EXPECT_FALSE(vtest::path_exists(copy + "Instructions/Read Me.txt"));
}

// A copy whose folder an earlier release made a link out of it: the repair
// refuses to write through it, asks about the error, and nothing outside
// the copy changes.
TEST_F(DvdRepairGui, RepairNeverWritesThroughALinkOutOfTheCopy)
{
	wizard_window w;
	const std::string copy = registered_copy(w.home(), rel->master, {});
	const std::string outside = tmp.path() + "outside/";
	ASSERT_EQ(mkdir(outside.c_str(), 0755), 0);
	ASSERT_EQ(system(("rm -rf '" + copy + "Airfoils'").c_str()), 0);
	ASSERT_EQ(symlink(outside.c_str(), (copy + "Airfoils").c_str()), 0);
	ASSERT_TRUE(w.start());
	to_confirmation(w);
	ASSERT_TRUE(w.next_until("Wizard page 4: Repairing Ventora")) << w.log();
	ASSERT_TRUE(w.wait_log("Question asked: An error occurred during the repair:", 120)) << w.log();
	const std::string log = w.log();
	EXPECT_NE(log.find("it would be written outside " + copy + "Airfoils/."), std::string::npos) << log;
	w.question_click(96, 56);
	ASSERT_TRUE(w.wait_log("Wizard page 5: Finished Repairing Ventora.", 60)) << w.log();
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();
	EXPECT_EQ(vtest::files_below(outside), std::vector<std::string>());
	EXPECT_EQ(vtest::read_file_bytes(copy + "Ventora"), vtest::read_file_bytes(rel->master + "Linux/Ventora"));
}

float cell_x(int j) { return world_map_x + world_map_cell * j + 7; }
float cell_y(int i) { return world_map_y + world_map_cell * i + 7; }

TEST_F(DvdRepairGui, SceneryPageShowsInstalledTilesAndAddsAndRemoves)
{
	wizard_window w;
	const std::string copy = registered_copy(w.home(), rel->master, {kTileA, kTileB1, kTileB2});
	ASSERT_TRUE(w.start());
	ASSERT_TRUE(w.wait_log("Wizard page 0: ", 60)) << w.log();
	ASSERT_TRUE(w.click_until(500, 325, "Wizard page 1: Select Ventora 9 to Add or Remove Scenery")) << w.log();
	ASSERT_TRUE(w.next_until("Wizard page 2: Scanning Ventora 9 for Installed Scenery")) << w.log();
	ASSERT_TRUE(w.wait_log("Wizard page 3: Select Scenery", 60)) << w.log();

	const vtest::tile_cell A = vtest::dvd_master_cells[0], B = vtest::dvd_master_cells[1],
	                       C = vtest::dvd_master_cells[2];
	auto look = [&](vtest::tile_cell c) { return w.steady_block(cell_x(c.lon), cell_y(c.lat) - 4); };
	const auto a0 = look(A), b0 = look(B), c0 = look(C);
	// B away, C in: each look changes.
	w.click(cell_x(B.lon), cell_y(B.lat));
	ASSERT_TRUE(wait_for([&] { return look(B) != b0; }, 10));
	const auto b_off = look(B);
	w.click(cell_x(C.lon), cell_y(C.lat));
	ASSERT_TRUE(wait_for([&] { return look(C) != c0; }, 10));
	const auto c_on = look(C);
	// Choose all: A and B look as they did at the start, so the installed
	// tiles were shown chosen; C as now.
	w.click(world_map_icons_right - interface_icon_width(4, 0) - 10 - interface_icon_width(3, 0) / 2, world_map_icons_y + 11);
	ASSERT_TRUE(wait_for([&] { return look(B) == b0; }, 10));
	EXPECT_EQ(look(A), a0);
	EXPECT_EQ(look(C), c_on);
	// B away again.
	w.click(cell_x(B.lon), cell_y(B.lat));
	ASSERT_TRUE(wait_for([&] { return look(B) == b_off; }, 10));

	ASSERT_TRUE(w.next_until("Wizard page 4: Installing New Scenery")) << w.log();
	ASSERT_TRUE(w.wait_log("Wizard page -1: Installing Scenery - Please change DVDs", 120)) << w.log();
	ASSERT_EQ(drive->insert(rel->discs[1]), "");
	ASSERT_TRUE(w.next_until("Installing Scenery - Verifying DVD")) << w.log();
	ASSERT_TRUE(w.wait_log("Wizard page 5: Finished With Add/Remove Scenery", 120)) << w.log();
	EXPECT_TRUE(w.wait_log(
	    "Wizard text: I have successfully added and removed scenery to match your choices on the map.", 10))
	    << w.log();
	w.click(w.quit_right_x(), 23);
	EXPECT_EQ(w.wait_exit(60), 0) << w.log();

	EXPECT_EQ(vtest::read_file_bytes(copy + kTileC), master(kTileC));
	EXPECT_EQ(vtest::read_file_bytes(copy + kTileA), master(kTileA));
	EXPECT_FALSE(vtest::path_exists(copy + kTileB1));
	EXPECT_FALSE(vtest::path_exists(copy + kTileB2));
	// The simulator's files are not the scenery flow's business.
	EXPECT_EQ(vtest::read_file_bytes(copy + "Airfoils/naca0012.afl"), master("Airfoils/naca0012.afl"));
	EXPECT_EQ(w.log().find("STRING "), std::string::npos) << w.log();
}

// Both flows in French and German with nothing to copy from a disc: a
// sound copy repaired (no file), one tile removed.
TEST_F(DvdRepairGui, FrenchAndGermanRepairAndSceneryPagesHaveEveryText)
{
	for (int lang : {1, 2}) {
		SCOPED_TRACE(lang);
		{
			wizard_window w(lang);
			const std::string copy = registered_copy(w.home(), rel->master, {kTileA, kTileC});
			ASSERT_TRUE(w.start());
			ASSERT_TRUE(w.wait_log("Wizard page 0: ", 60)) << w.log();
			ASSERT_TRUE(w.click_until(500, 300, "Wizard page 1: ")) << w.log();
			ASSERT_TRUE(w.next_until("Wizard page 2: ")) << w.log();
			ASSERT_TRUE(w.wait_log("Wizard page 3: ", 60)) << w.log();
			EXPECT_TRUE(w.wait_log(" 0 ", 10)) << w.log();
			ASSERT_TRUE(w.next_until("Wizard page 4: ")) << w.log();
			ASSERT_TRUE(w.wait_log("Wizard page 5: ", 60)) << w.log();
			w.click(w.quit_right_x(), 23);
			EXPECT_EQ(w.wait_exit(60), 0) << w.log();
			EXPECT_EQ(w.log().find("STRING "), std::string::npos) << w.log();
		}
		{
			wizard_window w(lang);
			const std::string copy = registered_copy(w.home(), rel->master, {kTileA, kTileC});
			ASSERT_TRUE(w.start());
			ASSERT_TRUE(w.wait_log("Wizard page 0: ", 60)) << w.log();
			ASSERT_TRUE(w.click_until(500, 325, "Wizard page 1: ")) << w.log();
			ASSERT_TRUE(w.next_until("Wizard page 2: ")) << w.log();
			ASSERT_TRUE(w.wait_log("Wizard page 3: ", 60)) << w.log();
			const vtest::tile_cell C = vtest::dvd_master_cells[2];
			const auto before = w.steady_block(cell_x(C.lon), cell_y(C.lat) - 4);
			w.click(cell_x(C.lon), cell_y(C.lat));
			ASSERT_TRUE(wait_for([&] { return w.steady_block(cell_x(C.lon), cell_y(C.lat) - 4) != before; }, 10));
			ASSERT_TRUE(w.next_until("Wizard page 4: ")) << w.log();
			ASSERT_TRUE(w.wait_log("Wizard page 5: ", 60)) << w.log();
			w.click(w.quit_right_x(), 23);
			EXPECT_EQ(w.wait_exit(60), 0) << w.log();
			EXPECT_EQ(w.log().find("STRING "), std::string::npos) << w.log();
			EXPECT_FALSE(vtest::path_exists(copy + kTileC));
			EXPECT_TRUE(vtest::path_exists(copy + kTileA));
		}
	}
}

}  // namespace
