// File dialog, list with search, path selectors and the longitude/latitude
// fields: the rules as tables, the modal dialog over a scripted window system
// on real folders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_files.h"
#include "DIzivoz/OOPS_cpp/butn_text.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files_tmp.h"

TEST(file_rules, save_names_start_folders_and_components)
{
	struct row {
		int type;
		std::string typed, want;
	} saves[] = {
	    {11, "plan", "plan.FMS"},      {11, "plan.txt", "plan.FMS"}, {11, "a.b", "a.b.FMS"},
	    {11, ".txt", ".txt.FMS"},      {3, "jet.acf", "jet.ACF"},    {20, "x.abc", "x"},
	    {0, "notes", "notes"},         {19, "read.me.now", "read.me.TXT"},
	};
	for (const row& r : saves) EXPECT_EQ(BTN_save_name(r.type, r.typed), r.want) << r.typed;
	EXPECT_EQ(BTN_opensave_start_folder(11) + BTN_save_name(11, "route"), "Output/FMS plans/route.FMS");

	struct fold {
		int type;
		std::string path, folder, last;
	} folders[] = {
	    {9, "", "Output/situations/", ""},
	    {3, "Aircraft/jet/jet.acf", "Aircraft/jet/", "jet.acf"},
	    {3, "Aircraft/jet/", "Aircraft/", "jet/"},  // a folder starts in its parent
	    {3, "lonely.acf", "", "lonely.acf"},
	    {20, "", "sim/", ""},
	};
	for (const fold& f : folders) {
		EXPECT_EQ(BTN_opensave_folder_of(f.type, f.path), f.folder) << f.path;
		EXPECT_EQ(BTN_last_component(f.path), f.last) << f.path;
	}
}

TEST(file_rules, level_menu_entries_never_split_and_stop_at_299)
{
	std::vector<std::string> names, paths;
	BTN_folder_levels("a-b|c/d/", &names, &paths);
	EXPECT_EQ(names, (std::vector<std::string>{"Skyframe folder", "a b c", "d"}));
	EXPECT_EQ(paths, (std::vector<std::string>{"", "a-b|c/", "a-b|c/d/"}));
	std::string deep;
	for (int i = 0; i < 320; ++i) deep += "f/";
	BTN_folder_levels(deep, &names, &paths);
	EXPECT_EQ(names.size(), 300u);
	EXPECT_EQ(paths.back().size(), 299u * 2);
}

TEST(file_rules, utf8_cuts_fall_on_character_boundaries)
{
	EXPECT_EQ(BTN_cut_utf8("abc", 5), "abc");
	EXPECT_EQ(BTN_cut_utf8("ab\xC3\xA9z", 3), "ab");       // é would be split
	EXPECT_EQ(BTN_cut_utf8("ab\xC3\xA9z", 4), "ab\xC3\xA9");
	EXPECT_EQ(BTN_cut_utf8("\xE2\x82\xAC", 2), "");        // € needs three
}

namespace {

class dialog_test : public ::testing::Test {
protected:
	void SetUp() override
	{
		vtest::fresh_shell();
		saved_app = app_path;
		app_path = tmp.root;
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
		MACIBM_event_proc();  // main screen
	}
	void TearDown() override
	{
		fake.on_idle = nullptr;
		MACIBM_set_alert_sink({});
		app_path = saved_app;
	}
	// Runs the dialog; script(frame, platform) acts between frames.
	int run(int window, int type, std::string* path, std::function<void(int, vtest::fake_platform&)> script)
	{
		frames = 0;
		fake.on_idle = [&](vtest::fake_platform& f) {
			++frames;
			if (frames > 200) f.key(plat_evt_key_down, 53, 27);  // never hang
			else script(frames, f);
		};
		int r = BTN_opensave(window, type, path);
		fake.on_idle = nullptr;
		return r;
	}
	static void type_text(vtest::fake_platform& f, const char* s)
	{
		for (; *s; ++s) f.key(plat_evt_key_down, 0, *s);
	}

	vtest::fake_platform fake;
	files_tmp tmp;
	std::string saved_app;
	std::vector<alert_record> alerts;
	int frames = 0;
};

}  // namespace

TEST_F(dialog_test, return_descends_into_a_folder_then_opens_the_file)
{
	tmp.mkdir("planes");
	tmp.write("planes/jet.acf", "x");
	std::string path;
	int r = run(998, 3, &path, [](int n, vtest::fake_platform& f) {
		if (n == 2 || n == 4) f.key(plat_evt_key_down, 36, 13);
	});
	EXPECT_EQ(r, 1);
	EXPECT_EQ(path, "planes/jet.acf");
	EXPECT_EQ(mnw.wind_type, 0);  // the screen before comes back
	EXPECT_TRUE(alerts.empty());
}

TEST_F(dialog_test, escape_cancels_and_an_empty_folder_ignores_return_and_backspace)
{
	std::string path = "kept";
	int r = run(998, 3, &path, [](int n, vtest::fake_platform& f) {
		if (n == 2) f.key(plat_evt_key_down, 36, 13);  // nothing to open
		if (n == 3) f.key(plat_evt_key_down, 51, 8);   // root: nowhere to go up
		if (n == 5) f.key(plat_evt_key_down, 53, 27);
	});
	EXPECT_EQ(r, 0);
	EXPECT_EQ(path, "kept");
	EXPECT_GE(frames, 5);
	EXPECT_TRUE(alerts.empty());
}

TEST_F(dialog_test, save_replaces_the_extension_in_the_types_folder)
{
	tmp.mkdir("Output");
	tmp.mkdir("Output/FMS plans");
	std::string path;
	int r = run(999, 11, &path, [](int n, vtest::fake_platform& f) {
		if (n == 2) type_text(f, "route.txt");
		if (n == 4) f.key(plat_evt_key_down, 36, 13);
	});
	EXPECT_EQ(r, 1);
	EXPECT_EQ(path, "Output/FMS plans/route.FMS");
}

TEST_F(dialog_test, a_folder_emptied_while_open_keeps_the_selection_in_range)
{
	tmp.mkdir("box");
	for (const char* n : {"a.acf", "b.acf", "c.acf"}) tmp.write(std::string("box/") + n, "x");
	std::string path = "box/b.acf";
	int r = run(998, 3, &path, [this](int n, vtest::fake_platform& f) {
		if (n == 2)
			for (const char* x : {"a.acf", "b.acf", "c.acf"}) unlink(tmp(std::string("box/") + x).c_str());
		if (n == 4) f.key(plat_evt_key_down, 36, 13);  // nothing left to open
		if (n == 6) f.key(plat_evt_key_down, 51, 8);   // up to the root
		if (n == 8) f.key(plat_evt_key_down, 36, 13);  // into "box" again
		if (n == 10) f.key(plat_evt_key_down, 53, 27);
	});
	EXPECT_EQ(r, 0);
	EXPECT_EQ(path, "box/b.acf");
	EXPECT_TRUE(alerts.empty());
}

TEST_F(dialog_test, bad_arguments_are_fatal_with_their_lines)
{
	std::string p;
	struct row {
		int window, type, line;
		std::string text;
	} rows[] = {{997, 3, 1608, "Bad open_save arg to BTN_opensave!"}, {998, 22, 1609, "Bad file_type arg to BTN_opensave!"}};
	for (const row& r : rows) {
		alerts.clear();
		EXPECT_EQ(BTN_opensave(r.window, r.type, &p), 0);
		ASSERT_EQ(alerts.size(), 1u);
		EXPECT_EQ(alerts[0].line1, r.text);
		EXPECT_EQ(alerts[0].kind, alert_fatal);
		EXPECT_EQ(alerts[0].source_file, "DIzivoz/OOPS_cpp/butn");
		EXPECT_EQ(alerts[0].source_line, r.line);
	}
}

TEST_F(dialog_test, lat_lon_fields_round_trip)
{
	struct row { float lon, lat; } rows[] = {{-0.5f, 0.25f}, {-122.5f, 47.75f}, {10.0f, -33.9f}};
	for (const row& r : rows) {
		float x = 20, y = 400, lon = r.lon, lat = r.lat;
		EXPECT_EQ(enter_lat_lon(&x, &y, &lon, &lat), 0) << r.lon << " " << r.lat << " -> " << lon << " " << lat;
		EXPECT_FLOAT_EQ(lon, r.lon);
		EXPECT_FLOAT_EQ(lat, r.lat);
		EXPECT_EQ(y, 300);
	}
}

namespace {

// What the application's update draws each frame in the selector tests.
std::function<void()> frame_body;
void run_body() { if (frame_body) frame_body(); }

class widget_test : public dialog_test {
protected:
	void SetUp() override
	{
		dialog_test::SetUp();
		MACIBM_set_app_hooks(app_hooks{run_body, nullptr, nullptr});
	}
	void TearDown() override
	{
		frame_body = nullptr;
		xtim_set_counter({});
		dialog_test::TearDown();
	}
	void frames_n(int n)
	{
		for (int i = 0; i < n; ++i) MACIBM_event_proc();
	}
	// Window pixels of a point of the open sub-window.
	int px(float x) { return (int)(x + mnw.wind_x); }
	int py(float y) { return (int)(mnw.y_res - (y + mnw.wind_y)); }
};

}  // namespace

TEST_F(widget_test, editing_the_shown_name_keeps_the_folder)
{
	std::string path = "Aircraft/jet/jet.acf";
	frame_body = [&] { BTN_select_path_stl(100, 300, 998, 3, &path, 100, "Plane:", 200, 1); };
	frames_n(2);
	for (int i = 0; i < 7; ++i) fake.key(plat_evt_key_down, 51, 8);
	type_text(fake, "b.acf");
	frames_n(2);
	EXPECT_EQ(path, "Aircraft/jet/b.acf");

	// The buffer form with a name and a path: typed text is kept in both (the
	// field took the focus by itself with its text selected, so typing replaces it).
	char name[500] = "jet.acf";
	std::string full = "Aircraft/jet/jet.acf";
	frame_body = [&] { BTN_select_file_chr(100, 250, 998, 3, name, &full, 100, "Plane:", 200); };
	BTN_unfocus_any();  // the first field is gone; this one takes the focus by itself
	frames_n(2);
	type_text(fake, "x");
	frames_n(2);
	EXPECT_STREQ(name, "x");
	EXPECT_EQ(full, "Aircraft/jet/x");
	EXPECT_TRUE(alerts.empty());
}

TEST_F(widget_test, the_browse_icon_runs_the_dialog)
{
	tmp.mkdir("planes");
	tmp.write("planes/jet.acf", "x");
	std::string path = "planes/old.acf";
	int clicked = 0, dialog_frames = 0;
	frame_body = [&] { clicked += BTN_select_path_stl(100, 300, 998, 3, &path, 100, "Plane:", 200, 0); };
	frames_n(2);
	fake.on_idle = [&](vtest::fake_platform& f) {
		if (mnw.wind_type != 998) return;
		if (++dialog_frames == 2) f.key(plat_evt_key_down, 36, 13);  // opens the selected jet.acf
	};
	fake.click(px(100 - 17), py(300 + 3));
	frames_n(1);
	fake.on_idle = nullptr;
	EXPECT_EQ(clicked, 1);
	EXPECT_EQ(path, "planes/jet.acf");
	EXPECT_EQ(mnw.wind_type, 0);
}

TEST_F(widget_test, type_ahead_searches_case_insensitively_and_restarts_after_a_second)
{
	unsigned long long us = 1000000;
	xtim_set_counter([&] { return us; });
	std::vector<std::string> names = {"Apple", "banana", "Bandit", "cherry", "Cobra"};
	std::vector<int> types(names.size(), 0);
	int centre = 2, sel = 2;
	frame_body = [&] {
		BTN_list_and_search(0, 10, 180, 0, 0, &centre, &sel, 0, (int)names.size() - 1, nullptr, "",
		                    BTN_name_from_vector, &names, nullptr, nullptr, BTN_type_from_vector, &types);
	};
	frames_n(1);
	fake.click(px(100), py(180));  // focus the list
	frames_n(2);
	type_text(fake, "BAND");
	us += 100000;
	frames_n(1);
	EXPECT_EQ(sel, 2);
	us += 300000;
	type_text(fake, "c");  // within a second: "BANDc" matches nothing
	frames_n(1);
	EXPECT_EQ(sel, 2);
	us += 1500000;
	type_text(fake, "C");
	frames_n(1);
	EXPECT_EQ(sel, 3);
	EXPECT_EQ(type_ahead, "C");
	us += 200000;
	type_text(fake, "o");
	frames_n(1);
	EXPECT_EQ(sel, 4);
}

// The folder chooser lists folders only: hidden ones left out, a link to a
// folder kept, a folder whose name looks like a file type kept, files and
// dangling links dropped, sorted without regard to case.
TEST(file_rules, folder_chooser_lists_folders)
{
	files_tmp t;
	for (const char* d : {"b", "A", ".hidden", "X.PNG", "real"}) t.mkdir(d);
	t.write("c.txt", "x");
	ASSERT_EQ(symlink((t.root + "real").c_str(), t("L").c_str()), 0);
	ASSERT_EQ(symlink((t.root + "gone").c_str(), t("dangling").c_str()), 0);
	EXPECT_EQ(BTN_subfolders(t.root), (std::vector<std::string>{"A", "b", "L", "real", "X.PNG"}));
	EXPECT_TRUE(BTN_subfolders(t.root + "missing/").empty());
}
