// The DVD repair and scenery pages in process on a real context, over an
// installed copy in a temporary folder: the scans' filters and totals, the
// repair count, the stop questions, the map page's start, the finish pages,
// and the world map's icons and recomputing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard_dvd.h"
#include "Installer-f/world_map.h"
#include "tests/support/files_tmp.h"
#include "tests/support/gl_context.h"
#include "tests/support/grab_release.h"

namespace {

const int kSimFiles = 60;  // more than one frame's worth of checksum tasks on one thread

std::string sim_name(int i)
{
	char b[32];
	std::snprintf(b, sizeof(b), "Data/f%03d.txt", i);
	return b;
}
std::string sim_data(int i) { return "contents of file " + std::to_string(i) + "\n"; }
const char* const kTileIn = "Global Scenery/+40-120/+47-122.dsf";   // installed, cell (5, 13)
const char* const kTileOut = "Global Scenery/+30-090/+35-085.dsf";  // offered only, cell (9, 12)

struct DvdRepairPages : gl_test {
	void SetUp() override
	{
		gl_test::SetUp();
		MACIBM_set_alert_sink([](const alert_record&) {});
		set_abort_alert_handler([this](const abort_question& q) {
			questions.push_back(q);
			return answer;
		});
		tasks_set_processor_count(1);
		// One driver call a frame: the texts of a running pass are seen.
		MACIBM_frame_work_budget(1);
		std::memset(&stg, 0, sizeof(stg));
		stg_set_start_values();
		stg.stage = 3;
		repair_is_running = scenery_install_is_running = 0;
		num_install_errors = 0;
		mnw.language = 0;
		mnw.wind_x = mnw.wind_y = 0;
		mnw.mouse_x = mnw.mouse_y = -100;
		mnw.mouse_click = mnw.mouse_down = 0;

		// The manifest: the sim files, then two tiles.
		std::string manifest = "I\n900 version\nINSTALLER\nDIR Top/Data/\n";
		for (int i = 0; i < kSimFiles; ++i)
			manifest += "FILE 0 0 1 4 4 " + vtest::md5_hex(sim_data(i)) + " " + sim_name(i).substr(5) + "\n";
		manifest += "DIR Top/Global Scenery/+40-120/\nFILE 0 0 1 40 40 " + vtest::md5_hex("tile in") + " +47-122.dsf\n";
		manifest += "DIR Top/Global Scenery/+30-090/\nFILE 0 0 1 40 40 " + vtest::md5_hex("tile out") + " +35-085.dsf\n";
		tmp.write("directory.txt", manifest);
		ASSERT_EQ(read_directory(tmp("directory.txt")), 3);

		// The copy: every sim file but one damaged and one missing; one tile.
		dest_dir_path = tmp("copy/");
		tmp.mkdir("copy");
		tmp.mkdir("copy/Data");
		tmp.mkdir("copy/Global Scenery");
		tmp.mkdir("copy/Global Scenery/+40-120");
		for (int i = 0; i < kSimFiles; ++i)
			if (i != 7) tmp.write("copy/" + sim_name(i), i == 3 ? "damaged" : sim_data(i));
		tmp.write(std::string("copy/") + kTileIn, "tile in");
	}
	void TearDown() override
	{
		install_files_kill();
		checksum_directory_kill();
		set_abort_alert_handler(nullptr);
		MACIBM_set_alert_sink(nullptr);
		tasks_set_processor_count(0);
		MACIBM_frame_work_budget(0);
		sim_info.clear();
		repair_is_running = scenery_install_is_running = 0;
		num_install_errors = 0;
	}

	// Frames of a step until it returns nonzero; the busy frames are kept.
	wizard_screen run(wizard_step step, int* result, std::vector<wizard_screen>* busy = nullptr)
	{
		wizard_screen s;
		for (int i = 0; i < 20000; ++i) {
			s = wizard_screen();
			*result = step(i == 0, s);
			if (*result) break;
			if (busy) busy->push_back(s);
			usleep(1000);
		}
		return s;
	}
	wizard_screen frame(wizard_step step, int first_time, int* result)
	{
		wizard_screen s;
		*result = step(first_time, s);
		return s;
	}
	int cells_chosen()
	{
		int n = 0;
		for (auto& column : stg.scenery_selected)
			for (int c : column) n += c != 0;
		return n;
	}

	files_tmp tmp;
	std::vector<abort_question> questions;
	int answer = 0;
};

TEST_F(DvdRepairPages, RepairScanCountsEveryFileAndConfirmationCountsWhatToReinstall)
{
	std::vector<wizard_screen> busy;
	int r = 0;
	wizard_screen s = run(dvd_scan_repair, &r, &busy);
	ASSERT_EQ(r, 1);
	EXPECT_EQ(s.next, dvd_confirm_repair);
	EXPECT_EQ(s.back, nullptr);
	ASSERT_FALSE(busy.empty());
	const int total = kSimFiles + 2;
	// One thread takes four tasks of ten files in the first frame; the total
	// counts the tiles too, which this scan leaves alone.
	EXPECT_EQ(busy[0].progress_text, "Scanning 40 of " + std::to_string(total) + " files.");
	EXPECT_FLOAT_EQ(busy[0].progress, 40.0f / total);
	EXPECT_EQ(busy[0].title, "Scanning Ventora for Problems");
	EXPECT_EQ(busy[0].body.substr(0, 14 + dest_dir_path.size()), "I am scanning " + dest_dir_path);
	EXPECT_EQ(busy[0].back, dvd_pick_repair);
	EXPECT_EQ(busy[0].next, nullptr);
	EXPECT_EQ(busy[0].cancel_hook, checksum_directory_kill);
	EXPECT_EQ(sim_info[kSimFiles].back().sig_have, "");  // tiles were not signed

	s = frame(dvd_confirm_repair, 1, &r);
	EXPECT_EQ(r, 0);
	EXPECT_TRUE(questions.empty());
	EXPECT_EQ(s.title, "Confirm Repairs");
	EXPECT_EQ(s.body, "I need to install approximately 2 files to repair " + dest_dir_path +
	                      ".\n\nClick continue to begin repairing Ventora.");
	EXPECT_EQ(s.back, dvd_pick_repair);
	EXPECT_EQ(s.next, dvd_install_repair);

	// With only the damaged file left, the singular sentence.
	tmp.write("copy/" + sim_name(7), sim_data(7));
	run(dvd_scan_repair, &r);
	s = frame(dvd_confirm_repair, 1, &r);
	EXPECT_EQ(s.body, "I need to install approximately 1 file to repair " + dest_dir_path +
	                      ".\n\nClick continue to begin repairing Ventora.");
}

TEST_F(DvdRepairPages, SceneryScanSignsOnlyTilesAndTheMapStartsFromWhatIsInstalled)
{
	std::vector<wizard_screen> busy;
	int r = 0;
	wizard_screen s = run(dvd_scan_scenery, &r, &busy);
	ASSERT_EQ(r, 1);
	EXPECT_EQ(s.next, dvd_edit_scenery);
	ASSERT_FALSE(busy.empty());
	EXPECT_EQ(busy[0].progress_text, "Scanning 40 of " + std::to_string(kSimFiles + 2) + " files.");
	EXPECT_EQ(busy[0].title, "Scanning Ventora 9 for Installed Scenery");
	EXPECT_EQ(busy[0].back, dvd_pick_scenery);
	EXPECT_EQ(sim_info[3].back().sig_have, "");  // sim files were not signed
	EXPECT_EQ(sim_info[kSimFiles].back().have_is_want, 1);

	// Whatever the wanted grid held before, the page starts from the copy.
	for (auto& column : stg.scenery_selected)
		for (int& c : column) c = 1;
	s = frame(dvd_edit_scenery, 1, &r);
	EXPECT_EQ(r, 0);
	EXPECT_EQ(cells_chosen(), 1);
	EXPECT_TRUE(stg.scenery_selected[5][13]);
	EXPECT_EQ(stg.count_install, 0);
	EXPECT_EQ(stg.count_delete, 0);
	EXPECT_EQ(s.title, "Select Scenery");
	EXPECT_EQ(s.back, dvd_pick_scenery);
	EXPECT_EQ(s.next, dvd_install_scenery);

	// A click on the offered tile chooses it: one to install.
	mnw.mouse_x = world_map_x + 14 * 9 + 7;
	mnw.mouse_y = world_map_y + 14 * 12 + 7;
	mnw.mouse_click = mnw.mouse_down = 1;
	frame(dvd_edit_scenery, 0, &r);
	mnw.mouse_click = mnw.mouse_down = 0;
	EXPECT_TRUE(stg.scenery_selected[9][12]);
	EXPECT_EQ(stg.count_install, 1);
	EXPECT_EQ(stg.count_delete, 0);
}

// Coming back from a running repair or scenery install: only Stop stops.
TEST_F(DvdRepairPages, BackFromARunningInstallAsksAndOnlyStopStops)
{
	int scanned = 0;
	run(dvd_scan_repair, &scanned);
	struct row {
		int answer;
		int result;
		int running_after;
	} rows[] = {{0, 1, 1}, {3, 1, 1}, {1, 0, 0}};
	for (const row& w : rows) {
		SCOPED_TRACE(w.answer);
		questions.clear();
		answer = w.answer;

		repair_is_running = 1;
		int r = -1;
		wizard_screen s = frame(dvd_confirm_repair, 1, &r);
		EXPECT_EQ(r, w.result);
		EXPECT_EQ(repair_is_running, w.running_after);
		ASSERT_EQ(questions.size(), 1u);
		EXPECT_EQ(questions[0].message,
		          "Are you sure you want to stop the repair operation?  Ventora may not be usable until repairs are "
		          "complete.  You can run the repair operation on Ventora again later to complete repairs.");
		EXPECT_EQ(questions[0].caption1, "Stop");
		EXPECT_EQ(questions[0].text1, "the repair operation.");
		EXPECT_EQ(questions[0].caption2, "Continue");
		if (w.result) EXPECT_EQ(s.next, dvd_install_repair);
		else EXPECT_EQ(s.body.substr(0, 32), "I need to install approximately ");

		questions.clear();
		scenery_install_is_running = 1;
		s = frame(dvd_edit_scenery, 1, &r);
		EXPECT_EQ(r, w.result);
		EXPECT_EQ(scenery_install_is_running, w.running_after);
		ASSERT_EQ(questions.size(), 1u);
		EXPECT_EQ(questions[0].message,
		          "Are you sure you want to stop scenery installation?  You can add or remove more scenery later.");
		EXPECT_EQ(questions[0].text1, "the scenery install.");
		if (w.result) EXPECT_EQ(s.next, dvd_install_scenery);
		else EXPECT_EQ(s.next, dvd_install_scenery) << "the map page itself";
	}
}

TEST_F(DvdRepairPages, FinishPagesByOutcome)
{
	const std::string tail = "  Your copy of Ventora may not be usable.\n\nYou can click Go Back and use the repair and "
	                         "add-remove scenery functions to try to reinstall any missing or damaged files.";
	struct row {
		int install, remove, errors;
		std::string body;
	} rows[] = {
	    {2, 0, 0, "I have successfully installed more scenery to match your choices on the map."},
	    {2, 1, 0, "I have successfully added and removed scenery to match your choices on the map."},
	    {0, 1, 0, "I have successfully removed scenery to match your choices on the map."},
	    {0, 0, 0, "I have successfully updated scenery to match your choices on the map."},
	    {1, -1, 2, "There were errors while installing more your scenery." + tail},
	    {1, 3, 1, "There were errors while adding and removing your scenery." + tail},
	    {-1, 3, 1, "There were errors while removing your scenery." + tail},
	    {0, 0, 1, "There were errors while updating your scenery." + tail},
	};
	for (const row& w : rows) {
		SCOPED_TRACE(w.body);
		stg.count_install = w.install;
		stg.count_delete = w.remove;
		num_install_errors = w.errors;
		int r = -1;
		wizard_screen s = frame(dvd_done_scenery, 0, &r);
		EXPECT_EQ(r, 0);
		EXPECT_EQ(s.title, "Finished With Add/Remove Scenery");
		EXPECT_EQ(s.body, w.body);
		EXPECT_EQ(s.back, dvd_start);
		EXPECT_EQ(s.next, wizard_quit);
		if (w.errors) {
			EXPECT_TRUE(s.choice_labels.empty());
		} else {
			EXPECT_EQ(s.choice_labels, std::vector<std::string>{"Run Ventora Now"});
			EXPECT_EQ(s.choice_steps, std::vector<wizard_step>{dvd_do_run_sim});
		}
	}

	int r = -1;
	num_install_errors = 0;
	wizard_screen s = frame(dvd_done_repair, 0, &r);
	EXPECT_EQ(s.title, "Finished Repairing Ventora.");
	EXPECT_EQ(s.body, "I have finished repairing " + dest_dir_path + " - click Go Back to return to the main menu.");
	EXPECT_EQ(s.choice_steps, std::vector<wizard_step>{dvd_do_run_sim});
	EXPECT_EQ(s.back, dvd_start);
	EXPECT_EQ(s.next, wizard_quit);
	num_install_errors = 1;
	s = frame(dvd_done_repair, 0, &r);
	EXPECT_EQ(s.body, "There were errors during the repair; your copy of Ventora may not be usable.\n\nYou can click Go "
	                  "Back and use the repair and add-remove scenery functions to try to reinstall any missing or "
	                  "damaged files.");
	EXPECT_TRUE(s.choice_labels.empty());

	// An old file that could not be deleted (behind a link out of the copy) is
	// counted at the end of every disc flow's Finish page.
	const std::string outside = tmp("outside/");
	tmp.mkdir("outside");
	ASSERT_EQ(0, symlink(outside.c_str(), tmp("copy/evil").c_str()));
	ASSERT_EQ(0, make_dirs());
	EXPECT_EQ(err_archive_escape, delete_dropped_file(dest_dir_path + "evil/old.txt"));
	const std::string said =
	    "\n\nI could not remove 1 old file. The log names it and why; the next update will try again.";
	num_install_errors = 0;
	for (wizard_step done : {dvd_done_repair, dvd_done_scenery, dvd_done_install}) {
		s = frame(done, 0, &r);
		ASSERT_GT(s.body.size(), said.size());
		EXPECT_EQ(said, s.body.substr(s.body.size() - said.size()));
	}
	ASSERT_EQ(0, make_dirs());  // a new run starts with none
	s = frame(dvd_done_repair, 0, &r);
	EXPECT_EQ(std::string::npos, s.body.find("could not remove"));
}

// The map's icons and totals, frame by frame: the totals are recomputed only
// on frames that changed the choice.
TEST_F(DvdRepairPages, MapIconsAndRecomputing)
{
	set_install_filter(0, 1);
	int ctr = 0;
	float progress = 0;
	while (!checksum_directory(ctr, progress)) usleep(100);
	scenery_from_install();
	recalc_disk_sizes();
	world_map_state() = world_map_drag();

	const int kUntouched = -77;
	struct row {
		const char* name;
		float x, y;
		int click, down;
		int recomputed;
		int chosen_after;  // cells of the wanted grid
		int install_after, delete_after;
	} rows[] = {
	    {"hover over a tile", world_map_x + 14 * 9 + 7, world_map_y + 14 * 12 + 7, 0, 0, 0, 1, 0, 0},
	    {"press outside the map", 100, 300, 1, 1, 0, 1, 0, 0},
	    {"held outside the map", 120, 320, 0, 1, 0, 1, 0, 0},
	    {"release", 120, 320, 0, 0, 0, 1, 0, 0},
	    {"choose all (icon 3)", world_map_icons_right - 132 - 10 - 50, world_map_icons_y + 8, 1, 1, 1,
	     stg_lon_cells * stg_lat_cells, 1, 0},
	    {"hover over the icon", world_map_icons_right - 132 - 10 - 50, world_map_icons_y + 8, 0, 0, 0,
	     stg_lon_cells * stg_lat_cells, 1, 0},
	    {"clear all (icon 4)", world_map_icons_right - 80, world_map_icons_y + 8, 1, 1, 1, 0, 0, 1},
	    {"click on the installed tile", world_map_x + 14 * 5 + 7, world_map_y + 14 * 13 + 7, 1, 1, 1, 1, 0, 0},
	    {"held still: the cell is painted again", world_map_x + 14 * 5 + 7, world_map_y + 14 * 13 + 7, 0, 1, 1, 1, 0, 0},
	    {"released", world_map_x + 14 * 5 + 7, world_map_y + 14 * 13 + 7, 0, 0, 0, 1, 0, 0},
	};
	for (const row& w : rows) {
		SCOPED_TRACE(w.name);
		mnw.mouse_x = w.x;
		mnw.mouse_y = w.y;
		mnw.mouse_click = w.click;
		mnw.mouse_down = w.down;
		stg.count_install = stg.count_delete = kUntouched;
		UTIL_world_map();
		EXPECT_EQ(cells_chosen(), w.chosen_after);
		if (w.recomputed) {
			EXPECT_EQ(stg.count_install, w.install_after);
			EXPECT_EQ(stg.count_delete, w.delete_after);
		} else {
			EXPECT_EQ(stg.count_install, kUntouched);
		}
		stg.count_install = w.install_after;
		stg.count_delete = w.delete_after;
	}
	mnw.mouse_click = mnw.mouse_down = 0;
}

}  // namespace
