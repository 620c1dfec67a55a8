// Install filters, the per-file update decision, the modified-file question
// and the disk-space totals, over hand-built manifest models.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/shell_questions.h"
#include "Installer-f/utils.h"

namespace {

struct asked_question {
	std::string path;
	int is_delete;
};

class EngineDecide : public ::testing::Test {
protected:
	void SetUp() override
	{
		sim_info.clear();
		asked.clear();
		answers.clear();
		std::memset(&stg, 0, sizeof(stg));
		stg_set_start_values();
		set_install_filter(1, 1);
		dest_dir_path = "/dest/";
		select_alert_set_asker([this](const select_alert_question& q) {
			asked.push_back({q.path, q.message1 == "I am about to DELETE:" ? 1 : 0});
			int a = answers.empty() ? 99 : answers.front();
			if (!answers.empty()) answers.erase(answers.begin());
			return a;
		});
	}
	void TearDown() override
	{
		select_alert_set_asker(nullptr);
		sim_info.clear();
	}

	// Adds a file whose history has the given signatures (oldest first).
	file_version_struct& add(const std::string& path, std::vector<std::string> sigs, const std::string& have,
	                         int platform = 0, float install_kb = 10)
	{
		file_history_struct h;
		for (const std::string& s : sigs) {
			file_version_struct v;
			v.platform = platform;
			v.path = path;
			v.sig_want = s;
			v.download_kb = install_kb / 2;
			v.install_kb = install_kb;
			h.push_back(v);
		}
		h.back().sig_have = have;
		h.back().have_is_want = have == h.back().sig_want;
		sim_info.push_back(h);
		return sim_info.back().back();
	}
	file_version_struct& add_tile(const std::string& name, int lat, int lon, std::vector<std::string> sigs,
	                              const std::string& have, bool selected)
	{
		file_version_struct& v = add("Top/Global Scenery/" + name, sigs, have);
		v.is_global = 1;
		v.lat_index = lat;
		v.lon_index = lon;
		stg.scenery_selected[lon][lat] = selected;
		stg.scenery_available[lon][lat] = 1;
		return v;
	}

	std::vector<asked_question> asked;
	std::vector<int> answers;
};

TEST_F(EngineDecide, StartValuesDefaultToLinuxAndResetStreams)
{
	// Every field dirty, as after an earlier run of the wizard.
	std::memset(&stg, 0, sizeof(stg));
	stg.stage = stg.platform = stg.format_status = stg.download_failed = stg.install_problems = 1;
	stg.server_count = 5;
	stg.server_sel = 4;
	stg.action = 1;
	stg.file_progress = 0.5f;
	stg.stream_count = 2;
	stg.total_download_kb = stg.total_install_kb = 7;
	stg.log_actions = stg.get_beta = 1;
	stg_set_start_values();
	EXPECT_EQ(stg.platform, 3);
	EXPECT_EQ(stg.stage + stg.format_status + stg.download_failed + stg.install_problems + stg.server_sel, 0);
	EXPECT_EQ(stg.server_count, -1);
	EXPECT_EQ(stg.action, 3);
	EXPECT_EQ(stg.file_progress, 0.f);
	EXPECT_EQ(stg.stream_count, 0);
	EXPECT_EQ(stg.total_download_kb + stg.total_install_kb, 0.f);
	// Preferences: left for the preference file.
	EXPECT_EQ(stg.log_actions, 1);
	EXPECT_EQ(stg.get_beta, 1);

	std::memset(&next, 0x55, sizeof(next));
	next_reset(12.5f);
	EXPECT_EQ(next.next_file, 0);
	EXPECT_EQ(next.all_done, 0);
	for (int i = 0; i < 4; ++i) {
		EXPECT_EQ(next.active[i], i < 2) << i;
		EXPECT_EQ(next.wants_file[i], i < 2) << i;
		EXPECT_EQ(next.stream_file[i], 0) << i;
	}
	EXPECT_EQ(next.start_time, 12.5f);
	EXPECT_EQ(next.inflight_kb + next.done_download_kb + next.done_install_kb, 0.f);
}

TEST_F(EngineDecide, FiltersByPlatformAndKind)
{
	for (int p = 0; p <= 6; ++p) add("Top/f" + std::to_string(p), {"A"}, "NONE", p);
	add_tile("+40-120.dsf", 13, 6, {"A"}, "NONE", true);

	struct {
		int choice;
		const char* wanted;  // per platform 0..6
	} rows[] = {{3, "1001001"}, {1, "1100000"}, {2, "1010000"}};
	for (auto& r : rows) {
		stg.platform = r.choice;
		for (int p = 0; p <= 6; ++p)
			EXPECT_EQ(want_this_f(p, 0), r.wanted[p] - '0') << "choice " << r.choice << " platform " << p;
		EXPECT_EQ(want_this_f(7, 0), 1);
	}
	stg.platform = 3;
	set_install_filter(0, 1);
	EXPECT_EQ(want_this_f(0, 0), 0);
	EXPECT_EQ(want_this_f(7, 0), 1);
	set_install_filter(1, 0);
	EXPECT_EQ(want_this_f(0, 0), 1);
	EXPECT_EQ(want_this_f(7, 0), 0);
	// Out of range is simply not wanted.
	EXPECT_EQ(want_this_f(8, 0), 0);
	EXPECT_EQ(want_this_f(0, 1), 0);
	EXPECT_EQ(want_this_f(-1, 0), 0);
}

TEST_F(EngineDecide, PathHelpers)
{
	struct {
		const char* in;
		const char* trimmed;
	} rows[] = {{"Top/Resources/a.txt", "Resources/a.txt"}, {"a.txt", "a.txt"}, {"Top/", ""}, {"", ""}};
	for (auto& r : rows) {
		std::string s = r.in;
		trim_dest_folder(s);
		EXPECT_EQ(s, r.trimmed) << r.in;
	}
	EXPECT_EQ(path_has_no_file("Top/dir/"), 1);
	EXPECT_EQ(path_has_no_file("Top/dir"), 0);
	EXPECT_EQ(path_has_no_file(""), 0);

	add("Top/Global Scenery/+40-120/+40-120.dsf", {"A"}, "NONE");
	add("Top/Resources/a.txt", {"A"}, "NONE");
	EXPECT_EQ(suffix_for_file(0), ".7z");
	EXPECT_EQ(suffix_for_file(1), ".zip");
}

TEST_F(EngineDecide, SceneryTileSelection)
{
	add_tile("+40-120.dsf", 13, 6, {"A"}, "A", false);
	add_tile("+10+010.dsf", 10, 19, {"A"}, "NONE", false);
	add("Top/Resources/a.txt", {"A"}, "A");

	scenery_take_all();
	EXPECT_EQ(std::memcmp(stg.scenery_selected, stg.scenery_available, sizeof(stg.scenery_selected)), 0);
	EXPECT_EQ(stg_tile(stg.scenery_selected, 13 + 18 * 6), 1);

	scenery_from_install();
	EXPECT_EQ(stg.scenery_selected[6][13], 1);   // installed
	EXPECT_EQ(stg.scenery_selected[19][10], 0);  // offered, not installed
	int total = 0;
	for (int c = 0; c < stg_tile_cells; ++c) total += stg_tile(stg.scenery_selected, c);
	EXPECT_EQ(total, 1);

	// A checksum pass that found nothing leaves every tile unselected.
	sim_info[0].back().sig_have = "NONE";
	scenery_from_install();
	total = 0;
	for (int c = 0; c < stg_tile_cells; ++c) total += stg_tile(stg.scenery_selected, c);
	EXPECT_EQ(total, 0);
}

// One file per row, decided alone.
TEST_F(EngineDecide, DecisionPerFile)
{
	struct row {
		const char* name;
		std::vector<std::string> sigs;
		const char* have;
		int tile;       // -1 not scenery, 0 deselected tile, 1 selected tile
		int platform;
		int answer;     // given when asked
		int install, remove;
		int asked_delete;  // -1 not asked
		int count_install, count_delete;  // totals, estimated before any answer
	} rows[] = {
	    {"absent", {"A"}, "NONE", -1, 0, 0, 1, 0, -1, 1, 0},
	    {"absent and gone", {"A", "GONE"}, "NONE", -1, 0, 0, 0, 0, -1, 0, 0},
	    {"current", {"A", "B"}, "B", -1, 0, 0, 0, 0, -1, 0, 0},
	    {"older release", {"A", "B", "C"}, "A", -1, 0, 0, 1, 0, -1, 1, 0},
	    {"gone, untouched older", {"A", "GONE"}, "A", -1, 0, 0, 0, 1, -1, 0, 1},
	    {"modified, overwrite", {"A", "B"}, "X", -1, 0, 1, 1, 0, 0, 1, 0},
	    {"modified, keep", {"A", "B"}, "X", -1, 0, 2, 0, 0, 0, 1, 0},
	    {"gone and modified, delete", {"A", "GONE"}, "X", -1, 0, 1, 0, 1, 1, 0, 1},
	    {"gone and modified, keep", {"A", "GONE"}, "X", -1, 0, 2, 0, 0, 1, 0, 1},
	    {"not yet checksummed counts as present", {"A"}, "", -1, 0, 2, 0, 0, 0, 1, 0},
	    {"other platform", {"A"}, "X", -1, 1, 1, 0, 0, -1, 0, 0},
	    {"selected tile, absent", {"A"}, "NONE", 1, 0, 0, 1, 0, -1, 1, 0},
	    {"deselected tile, current", {"A"}, "A", 0, 0, 0, 0, 1, -1, 0, 1},
	    {"deselected tile, absent", {"A"}, "NONE", 0, 0, 0, 0, 0, -1, 0, 0},
	    {"deselected tile, modified", {"A"}, "X", 0, 0, 1, 0, 1, 1, 0, 0},
	};
	for (const row& r : rows) {
		SetUp();
		if (r.tile < 0) {
			add("Top/Resources/a.txt", r.sigs, r.have, r.platform);
		} else {
			add_tile("+40-120.dsf", 13, 6, r.sigs, r.have, r.tile == 1);
		}
		answers = {r.answer};
		ASSERT_EQ(choose_files(), 1) << r.name;
		const file_version_struct& v = sim_info[0].back();
		EXPECT_EQ(v.install, r.install) << r.name;
		EXPECT_EQ(v.remove, r.remove) << r.name;
		if (r.asked_delete < 0) {
			EXPECT_TRUE(asked.empty()) << r.name;
		} else {
			ASSERT_EQ(asked.size(), 1u) << r.name;
			EXPECT_EQ(asked[0].is_delete, r.asked_delete) << r.name;
			EXPECT_EQ(asked[0].path, r.tile < 0 ? "/dest/Resources/a.txt" : "/dest/Global Scenery/+40-120.dsf")
			    << r.name;
		}
		// A lone file to install starts at 0; with nothing to install, 0.5.
		EXPECT_EQ(v.progress_start, r.install ? 0.f : 0.5f) << r.name;
		recalc_disk_sizes();
		EXPECT_EQ(stg.count_install, r.count_install) << r.name;
		EXPECT_EQ(stg.count_delete, r.count_delete) << r.name;
		EXPECT_FLOAT_EQ(stg.total_install_kb, 10.f * r.count_install) << r.name;
		EXPECT_FLOAT_EQ(stg.total_download_kb, 5.f * r.count_install) << r.name;
	}
}

TEST_F(EngineDecide, ProgressStartsFollowInstallSizes)
{
	add("Top/a", {"A"}, "NONE", 0, 100);
	add("Top/b", {"B"}, "B", 0, 50);  // already there
	add("Top/c", {"C"}, "NONE", 0, 300);
	add("Top/d", {"D"}, "NONE", 0, 0);
	ASSERT_EQ(choose_files(), 1);
	EXPECT_FLOAT_EQ(sim_info[0].back().progress_start, 0.f);
	EXPECT_FLOAT_EQ(sim_info[1].back().progress_start, 0.25f);
	EXPECT_FLOAT_EQ(sim_info[2].back().progress_start, 0.25f);
	EXPECT_FLOAT_EQ(sim_info[3].back().progress_start, 1.f);
}

TEST_F(EngineDecide, FolderWideAnswersAndTheLogLine)
{
	std::string log_path = ::testing::TempDir() + "engine_decide_log.txt";
	xer.open(log_path);
	add("Top/A/x", {"A"}, "X1");
	add("Top/A/y", {"A"}, "X2");
	add("Top/A/sub/z", {"A"}, "X3");
	add("Top/B/x", {"A", "GONE"}, "X4");
	add("Top/B/y", {"A", "GONE"}, "X5");
	answers = {5, 2, 4};
	ASSERT_EQ(choose_files(), 1);
	xer.close();

	// Kept once for /dest/A/: y is not asked, the subfolder is.
	ASSERT_EQ(asked.size(), 3u);
	EXPECT_EQ(asked[0].path, "/dest/A/x");
	EXPECT_EQ(asked[1].path, "/dest/A/sub/z");
	EXPECT_EQ(asked[2].path, "/dest/B/x");
	EXPECT_EQ(asked[2].is_delete, 1);
	EXPECT_EQ(sim_info[0].back().install, 0);
	EXPECT_EQ(sim_info[1].back().install, 0);
	EXPECT_EQ(sim_info[2].back().install, 0);
	EXPECT_EQ(sim_info[3].back().remove, 1);
	EXPECT_EQ(sim_info[4].back().remove, 1);  // delete-all for /dest/B/

	std::ifstream in(log_path);
	std::stringstream ss;
	ss << in.rdbuf();
	EXPECT_NE(ss.str().find("File: /dest/A/x  sig_want=A  sig_have=X1\n"), std::string::npos) << ss.str();
	EXPECT_EQ(ss.str().find("/dest/A/y  sig_want"), std::string::npos);
	std::remove(log_path.c_str());
}

TEST_F(EngineDecide, CancelStopsAtOnce)
{
	add("Top/a", {"A"}, "NONE");
	add("Top/b", {"B"}, "X");
	add("Top/c", {"C", "GONE"}, "C");
	struct {
		int answer;
	} rows[] = {{3}, {0}, {6}};  // cancel, and a window closed another way
	for (auto r : rows) {
		// Flags left over from an earlier decision must not survive a cancel.
		sim_info[1].back().install = 1;
		sim_info[2].back().remove = 1;
		answers = {r.answer};
		asked.clear();
		EXPECT_EQ(choose_files(), 0) << r.answer;
		EXPECT_EQ(sim_info[0].back().install, 1) << r.answer;
		EXPECT_EQ(sim_info[1].back().install, 0) << r.answer;
		EXPECT_EQ(sim_info[2].back().remove, 0) << r.answer;  // not visited
	}
}

// A file that moved from the All folder to a platform folder keeps its place
// on disk but is listed twice: the vanished entry must not delete it, and the
// copy from the old entry is no "modified" file.
TEST_F(EngineDecide, EntriesSharingADestination)
{
	struct {
		const char* have;
		bool new_first;  // the new entry comes first in the manifest
		int answer;      // to the one install question of a modified copy
		int old_remove, new_install;
		int install_questions;
	} rows[] = {{"A", false, 0, 0, 1, 0},    {"B", false, 0, 0, 0, 0}, {"NONE", false, 0, 0, 1, 0},
	            {"A", true, 0, 0, 1, 0},     {"X", false, 1, 0, 1, 1},  {"X", true, 2, 0, 0, 1}};
	for (auto& r : rows) {
		SetUp();
		if (r.new_first) add("Linux/Resources/a.txt", {"B"}, r.have, 3);
		add("All/Resources/a.txt", {"A", "GONE"}, r.have, 0);
		if (!r.new_first) add("Linux/Resources/a.txt", {"B"}, r.have, 3);
		const file_version_struct& old_v = sim_info[r.new_first ? 1 : 0].back();
		const file_version_struct& new_v = sim_info[r.new_first ? 0 : 1].back();
		answers = {r.answer};
		ASSERT_EQ(choose_files(), 1) << r.have;
		ASSERT_EQ((int)asked.size(), r.install_questions) << r.have;
		if (!asked.empty()) {
			EXPECT_EQ(asked[0].is_delete, 0) << r.have;
		}
		EXPECT_EQ(old_v.remove, r.old_remove) << r.have;
		EXPECT_EQ(new_v.install, r.new_install) << r.have;
		// The totals agree: a file living on under the new entry is no deletion.
		recalc_disk_sizes();
		EXPECT_EQ(stg.count_delete, r.old_remove) << r.have;
	}
	// When the new entry is another platform's, the old copy is deleted as before.
	SetUp();
	add("All/Resources/a.txt", {"A", "GONE"}, "A", 0);
	add("Windows/Resources/a.txt", {"B"}, "A", 2);
	ASSERT_EQ(choose_files(), 1);
	EXPECT_EQ(sim_info[0].back().remove, 1);
	EXPECT_EQ(sim_info[1].back().install, 0);
	recalc_disk_sizes();
	EXPECT_EQ(stg.count_delete, 1);
}

TEST_F(EngineDecide, QuestionTextsAndAnswers)
{
	struct {
		int is_delete;
		const char* m1;
		const char* m2;
		const char* b1;
		const char* b4;
	} rows[] = {
	    {1, "I am about to DELETE:",
	     "because we no longer use this file, but it appears you have modified it. What to do?",
	     "DELETE THE OLD FILE", "DELETE EVERY OLD FILE IN THIS DIRECTORY"},
	    {0, "I am about to install:", "but it appears you have modified this file. What to do?",
	     "OVERWRITE THE OLD FILE", "OVERWRITE EVERY OLD FILE IN THIS DIRECTORY"},
	};
	for (auto& r : rows) {
		select_alert_question q = select_alert_make_question("/dest/x", r.is_delete);
		EXPECT_EQ(q.window_type, 996);
		EXPECT_EQ(q.message1, r.m1);
		EXPECT_EQ(q.message2, r.m2);
		EXPECT_EQ(q.path, "/dest/x");
		ASSERT_EQ(q.buttons.size(), 5u);
		struct {
			float x, y, w;
			std::string label;
			int result;
		} want[] = {{96, 78, 160, r.b1, 1},
		            {96, 53, 160, "KEEP THE OLD FILE", 2},
		            {308, 78, 260, r.b4, 4},
		            {308, 53, 260, "KEEP EVERY OLD FILE IN THIS DIRECTORY", 5},
		            {96, 28, 160, "CANCEL THE WHOLE INSTALLATION!", 3}};
		for (int i = 0; i < 5; ++i) {
			EXPECT_EQ(q.buttons[i].x, want[i].x) << i;
			EXPECT_EQ(q.buttons[i].y, want[i].y) << i;
			EXPECT_EQ(q.buttons[i].width, want[i].w) << i;
			EXPECT_EQ(q.buttons[i].label, want[i].label) << i;
			EXPECT_EQ(q.buttons[i].result, want[i].result) << i;
		}
	}
	for (int a : {1, 2, 3, 4, 5}) {
		answers = {a};
		EXPECT_EQ(select_alert("/dest/x", 0), a);
	}
	answers = {-1};
	EXPECT_EQ(select_alert("/dest/x", 0), 3);

	// Without a shell to ask, the old file is kept.
	select_alert_set_asker(nullptr);
	EXPECT_EQ(select_alert("/dest/x", 1), 2);
}

TEST_F(EngineDecide, QuestionButtonsWidenToTheirLabelsAndStayApart)
{
	// 8 units a character: wider than the interface font's capitals.
	auto measure = [](const std::string& t) { return 8.0f * (float)t.size(); };
	for (const char* file : {"", "French.txt", "German.txt"}) {
		UTL_translate_clear();
		if (*file) UTL_translate_load(1, std::string(VENTORA_SOURCE_DIR) + "/Resources/" + file);
		for (int is_delete : {0, 1}) {
			const select_alert_question q = select_alert_make_question("/dest/x", is_delete);
			const std::vector<select_alert_button> b = select_alert_layout(q, measure);
			ASSERT_EQ(b.size(), q.buttons.size());
			for (size_t i = 0; i < b.size(); ++i) {
				SCOPED_TRACE(std::string(file) + " " + b[i].label);
				EXPECT_GE(b[i].width, measure(b[i].label) + 24);
				EXPECT_GE(b[i].x - b[i].width / 2, 16);
				EXPECT_LE(b[i].x + b[i].width / 2, 780 - 16);  // the window is 780 wide
				EXPECT_EQ(b[i].y, q.buttons[i].y);
				for (size_t k = 0; k < i; ++k)
					if (b[k].y == b[i].y)
						EXPECT_GE(std::fabs(b[k].x - b[i].x), (b[k].width + b[i].width) / 2 + 10) << b[k].label;
			}
		}
	}
	UTL_translate_clear();
}

TEST_F(EngineDecide, DiskTotals)
{
	stg.total_download_kb = 99;
	add("Top/new", {"A"}, "NONE", 0, 100);                 // counted
	add("Top/old", {"A", "B"}, "A", 3, 40);                // counted (replace)
	add("Top/same", {"A"}, "A", 0, 1000);                  // installed already
	add("Top/gone", {"A", "GONE"}, "A", 0, 1000);          // present and dropped: to delete
	add("Top/win", {"A"}, "NONE", 2, 1000);                // other platform
	add_tile("+40-120.dsf", 13, 6, {"A"}, "NONE", true);    // selected: counted (10)
	add_tile("+10+010.dsf", 10, 19, {"A"}, "A", false);     // deselected, installed: to delete
	add_tile("+20+010.dsf", 11, 19, {"A"}, "NONE", false);  // deselected, absent: nothing
	recalc_disk_sizes();
	EXPECT_FLOAT_EQ(stg.total_install_kb, 150);
	EXPECT_FLOAT_EQ(stg.total_download_kb, 75);
	EXPECT_EQ(stg.count_install, 3);
	EXPECT_EQ(stg.count_delete, 2);

	set_install_filter(1, 0);
	recalc_disk_sizes();
	EXPECT_EQ(stg.count_install, 2);
	EXPECT_EQ(stg.count_delete, 1);
}

}  // namespace
