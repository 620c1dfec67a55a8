// The shell's frame loop, sub-windows, menus, cursor, start-up pieces and
// alerts over a scripted window system.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>
#include <sys/stat.h>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_files.h"
#include "tests/support/thread_capture.h"

namespace {

class Shell : public ::testing::Test {
protected:
	void SetUp() override
	{
		vtest::fresh_shell();
		ogl_inited = 0;
		app_done = 0;
		for (int i = 0; i < 3; ++i) shell_tex_fail_set_for_test(i, 0);
	}
	void TearDown() override
	{
		MACIBM_set_alert_sink({});
		MACIBM_set_app_hooks(app_hooks{nullptr, nullptr, nullptr});
		ogl_inited = 0;
		app_done = 0;
	}
	void capture_alerts()
	{
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
	}
	// Window pixels (y downwards) of a point of the open sub-window.
	int px(float x) { return (int)(x + mnw.wind_x); }
	int py(float y) { return (int)(mnw.y_res - (y + mnw.wind_y)); }

	vtest::fake_platform fake;
	std::vector<alert_record> alerts;
};

TEST_F(Shell, FirstFrameOpensTheMainScreen)
{
	EXPECT_EQ(mnw.wind_type, -1);
	MACIBM_event_proc();
	EXPECT_EQ(mnw.wind_type, 0);
	EXPECT_EQ(mnw.wind_modal, 0);
	EXPECT_EQ(fake.swaps, 1);
}

TEST_F(Shell, EventsBecomeTheFrameInputFlags)
{
	struct row {
		const char* name;
		std::function<void(vtest::fake_platform&)> script;
		int click, release, key_hit, key_down, wheel;
	};
	EventRecord wheel{};
	wheel.what = plat_evt_wheel;
	wheel.message = (uint32_t)-3;
	EventRecord expose{};
	expose.what = plat_evt_update;
	const row rows[] = {
	    {"press and release in one frame", [](vtest::fake_platform& f) { f.click(10, 10); }, 1, 1, 0, 0, 0},
	    {"key down", [](vtest::fake_platform& f) { f.key(plat_evt_key_down, 0, 'a'); }, 0, 0, 1, 1, 0},
	    {"key down and up", [](vtest::fake_platform& f) {
		     f.key(plat_evt_key_down, 0, 'a');
		     f.key(plat_evt_key_up, 0, 'a');
	     }, 0, 0, 1, 0, 0},
	    {"repeat", [](vtest::fake_platform& f) { f.key(plat_evt_auto_key, 0, 'a'); }, 0, 0, 1, 0, 0},
	    {"wheel twice", [&](vtest::fake_platform& f) { f.event(wheel); f.event(wheel); }, 0, 0, 0, 0, -6},
	    {"expose", [&](vtest::fake_platform& f) { f.event(expose); }, 0, 0, 0, 0, 0},
	};
	for (const row& r : rows) {
		SetUp();
		MACIBM_event_proc();  // first frame opens the main screen
		r.script(fake);
		MACIBM_event_proc();
		EXPECT_EQ(mnw.mouse_click, r.click) << r.name;
		EXPECT_EQ(mnw.mouse_release, r.release) << r.name;
		EXPECT_EQ(mnw.key_hit, r.key_hit) << r.name;
		EXPECT_EQ(mnw.key_down, r.key_down) << r.name;
		EXPECT_EQ(mnw.wheel_delta, r.wheel) << r.name;
		EXPECT_EQ(mnw.wind_type, 0) << r.name;
		// The next frame clears the per-frame flags, not the held ones.
		MACIBM_event_proc();
		EXPECT_EQ(mnw.mouse_click + mnw.mouse_release + mnw.key_hit, 0) << r.name;
		EXPECT_EQ(mnw.key_down, r.key_down) << r.name;
	}
}

TEST_F(Shell, ExposeKeepsTheOpenSubWindowAndItsInput)
{
	MACIBM_event_proc();
	MACIBM_startwind(2, 0);
	EventRecord w{};
	w.what = plat_evt_wheel;
	w.message = 2;
	fake.event(w);
	MACIBM_event_proc();
	EventRecord expose{};
	expose.what = plat_evt_update;
	fake.event(expose);
	MACIBM_event_proc();
	EXPECT_EQ(mnw.wind_type, 2);
	EXPECT_EQ(mnw.wheel_delta, 2);
}

TEST_F(Shell, IdleWaitsGrowUntilInputAndTakeEveryQueuedEvent)
{
	MACIBM_frame_longest_idle(1000);
	for (int i = 0; i < 10; ++i) MACIBM_event_proc();
	// A tick after the first frames, then twice as long each quiet frame.
	EXPECT_EQ(fake.waits, (std::vector<int>{17, 17, 17, 34, 68, 136, 272, 544, 1000, 1000}));
	fake.waits.clear();
	for (int i = 0; i < 50; ++i) fake.key(plat_evt_auto_key, 0, 'a');  // a flood
	MACIBM_event_proc();
	EXPECT_TRUE(fake.waits.empty());  // queued input ends the wait at once
	EXPECT_TRUE(fake.queue.empty());
	for (int i = 0; i < 3; ++i) MACIBM_event_proc();
	EXPECT_EQ(fake.waits, (std::vector<int>{17, 17, 34}));
	MACIBM_frame_longest_idle(0);
}

// A busy page's frame: where drawing is quick it stays near 45 ms (over 20
// frames/s); where drawing is slow it grows, up to a tenth of a second, so
// the work keeps most of it.
TEST_F(Shell, BusyFramesGiveTheWorkMostOfTheTimeWhateverTheDrawingCosts)
{
	struct row {
		int swap_ms;
		unsigned long long least_budget_us, most_budget_us;
		double least_work_share;
	};
	const row rows[] = {{0, 30000, 40000, 0.75}, {8, 80000, 95000, 0.8}};
	static unsigned long long budget, worked;
	for (const row& r : rows) {
		SetUp();
		fake.swap_ms = r.swap_ms;
		MACIBM_set_app_hooks(app_hooks{[] {
			                               frame_work w;
			                               budget = w.budget();
			                               const unsigned long long start = xtim.microsecs();
			                               while (w.more()) std::this_thread::sleep_for(std::chrono::microseconds(200));
			                               worked += xtim.microsecs() - start;
		                               },
		                               nullptr, nullptr});
		for (int i = 0; i < 12; ++i) MACIBM_event_proc();  // the frame's cost settles
		worked = 0;
		const unsigned long long start = xtim.microsecs();
		for (int i = 0; i < 5; ++i) MACIBM_event_proc();
		const double share = double(worked) / double(xtim.microsecs() - start);
		EXPECT_GE(budget, r.least_budget_us) << "swap " << r.swap_ms << " ms";
		EXPECT_LE(budget, r.most_budget_us) << "swap " << r.swap_ms << " ms";
		EXPECT_GE(share, r.least_work_share) << "swap " << r.swap_ms << " ms";
	}
	fake.swap_ms = 0;
}

TEST_F(Shell, WhatAFrameDrewDecidesTheNextWait)
{
	struct row {
		const char* name;
		std::function<void()> in_frame;
		int least_ms, most_ms;   // the wait before the next frame; 0 0: none
		std::vector<int> after;  // the three waits after that: the flag lasts one frame
	};
	const std::vector<int> settling = {17, 17, 34}, quiet = {8000, 8000, 8000};
	const row rows[] = {
	    {"polled work goes on", [] { MACIBM_frame_busy(); }, 0, 0, settling},
	    {"what it drew is out of date", [] { MACIBM_frame_superseded(); }, 0, 0, settling},
	    {"a pulsing caret", [] { MACIBM_frame_animate(); }, 17, 17, settling},
	    {"a pulsing palette entry", [] { OGL_set_color(81); }, 17, 17, settling},
	    {"a steady palette entry", [] { OGL_set_color(43); }, 8000, 8000, quiet},
	    {"something due in 5 s", [] { MACIBM_frame_due(5); }, 4000, 5000, quiet},
	    {"two things due", [] { MACIBM_frame_due(5); MACIBM_frame_due(3); }, 2000, 3000, quiet},
	    {"a sub-window opens", [] { MACIBM_startwind(2, 0); }, 17, 17, settling},
	};
	static std::function<void()> act;
	MACIBM_frame_longest_idle(8000);  // below the 10 s of the cursor hiding
	for (const row& r : rows) {
		SetUp();
		MACIBM_set_app_hooks(app_hooks{[] { if (act) act(); }, nullptr, nullptr});
		act = nullptr;
		for (int i = 0; i < 20; ++i) MACIBM_event_proc();
		ASSERT_EQ(fake.waits.back(), 8000) << r.name;
		act = r.in_frame;
		MACIBM_frame_wake();  // an idle window draws only what woke it
		MACIBM_event_proc();
		act = nullptr;
		fake.waits.clear();
		MACIBM_event_proc();
		if (r.most_ms == 0) {
			EXPECT_TRUE(fake.waits.empty()) << r.name;
		} else {
			ASSERT_EQ(fake.waits.size(), 1u) << r.name;
			EXPECT_GE(fake.waits[0], r.least_ms) << r.name;
			EXPECT_LE(fake.waits[0], r.most_ms) << r.name;
		}
		fake.waits.clear();
		for (int i = 0; i < 3; ++i) MACIBM_event_proc();
		EXPECT_EQ(fake.waits, r.after) << r.name;
	}
	act = nullptr;
	MACIBM_frame_longest_idle(0);
}

// Once idle, a wait that runs out with nothing new leaves the screen alone:
// neither the page nor the swap runs. Whatever ends the wait early, or a due
// time it was set to end at, brings the frame that shows it.
TEST_F(Shell, AnIdleWindowDrawsOnlyWhatEndedItsWait)
{
	struct row {
		const char* name;
		std::function<void(vtest::fake_platform&)> during_wait;
		bool drawn;
	};
	const row rows[] = {
	    {"nothing", nullptr, false},
	    {"a key", [](vtest::fake_platform& f) { f.key(plat_evt_key_down, 0, 'a'); }, true},
	    {"a click", [](vtest::fake_platform& f) { f.click(10, 10); }, true},
	    {"the pointer moves", [](vtest::fake_platform& f) { f.mouse_h += 5; }, true},
	    {"a worker's wake", [](vtest::fake_platform&) { MACIBM_frame_wake(); }, true},
	};
	static int updates = 0;
	MACIBM_frame_longest_idle(8000);
	for (const row& r : rows) {
		SetUp();
		MACIBM_set_app_hooks(app_hooks{[] { ++updates; }, nullptr, nullptr});
		for (int i = 0; i < 12; ++i) MACIBM_event_proc();
		const int skipped = MACIBM_frames_skipped();
		updates = 0;
		fake.swaps = 0;
		fake.on_idle = r.during_wait;
		MACIBM_event_proc();
		fake.on_idle = nullptr;
		EXPECT_EQ(updates, r.drawn ? 1 : 0) << r.name;
		EXPECT_EQ(fake.swaps, r.drawn ? 1 : 0) << r.name;
		EXPECT_EQ(MACIBM_frames_skipped() - skipped, r.drawn ? 0 : 1) << r.name;
	}
	// A due time set by the last drawn frame holds over the frames not drawn.
	SetUp();
	static bool due = false;
	MACIBM_set_app_hooks(app_hooks{[] {
		                               ++updates;
		                               if (due) MACIBM_frame_due(3);
	                               },
	                               nullptr, nullptr});
	for (int i = 0; i < 12; ++i) MACIBM_event_proc();
	due = true;
	MACIBM_frame_wake();
	MACIBM_event_proc();
	due = false;
	updates = 0;
	fake.waits.clear();
	MACIBM_event_proc();
	ASSERT_EQ(fake.waits.size(), 1u);
	EXPECT_LE(fake.waits[0], 3000);
	EXPECT_EQ(updates, 1);  // the wait ran out at the due time: drawn
	MACIBM_set_app_hooks(app_hooks{nullptr, nullptr, nullptr});
	MACIBM_frame_longest_idle(0);
}

TEST_F(Shell, CloseRequestQuitsOnlyFromTheMainScreen)
{
	static int quits;
	quits = 0;
	MACIBM_set_app_hooks(app_hooks{nullptr, nullptr, [] { ++quits; }});
	MACIBM_event_proc();
	MACIBM_startwind(2, 0);
	EventRecord q{};
	q.what = plat_evt_quit;
	fake.event(q);
	MACIBM_event_proc();
	MACIBM_event_proc();
	EXPECT_EQ(quits, 0);
	MACIBM_startwind(0, 0);
	MACIBM_event_proc();
	EXPECT_EQ(quits, 1);
	MACIBM_event_proc();
	EXPECT_EQ(quits, 1);
}

TEST_F(Shell, DefaultQuitSetsTheQuitFlag)
{
	MACIBM_event_proc();
	EventRecord q{};
	q.what = plat_evt_quit;
	fake.event(q);
	MACIBM_event_proc();
	EXPECT_EQ(app_done, 1);
}

TEST_F(Shell, MouseIsRelativeToTheSubWindow)
{
	MACIBM_event_proc();
	MACIBM_startwind(2, 0);
	EXPECT_EQ(mnw.wind_x, 100);
	EXPECT_EQ(mnw.wind_y, 110);
	fake.mouse_h = 150;
	fake.mouse_v = 300;
	MACIBM_event_proc();
	EXPECT_EQ(mnw.mouse_x, 50);
	EXPECT_EQ(mnw.mouse_y, 190);
	EXPECT_EQ(mnw.wind_mouse, 2);
}

// Two windows side by side on a wide screen: the pointer's window comes to
// the front, and in the second one the mouse continues to the right of the
// first, in whole-window units.
TEST_F(Shell, SecondWindowContinuesTheMouseToTheRight)
{
	fake.screen_w = 1700;
	fake.screen_h = 700;
	MACIBM_setres(1);
	ASSERT_EQ(MACIBM_make_context(0), 1);
	mnw.dual_monitor = mnw.second_window = 1;
	ASSERT_EQ(MACIBM_make_context(1), 1);
	ASSERT_EQ(fake.window_asks.size(), 2u);
	const plat_window_req& second = fake.window_asks[1];
	EXPECT_EQ(second.index, 1);
	EXPECT_EQ(second.left, 800);
	EXPECT_EQ(second.top, 40);
	EXPECT_EQ(second.share_with, mnw.context[0]);
	void* const w0 = mnw.window[0];
	void* const w1 = mnw.window[1];
	ASSERT_NE(w1, nullptr);
	EXPECT_EQ(mnw.pixel_format, w0);  // the format stays the first window's

	MACIBM_event_proc();
	MACIBM_startwind(2, 0);  // Prefs at (100, 110)
	struct row {
		const char* name;
		int h, v;  // pointer in the first window's pixels
		void* front;
		float x, y;
		int wind_mouse;
		size_t selects;  // selections made so far
	} rows[] = {
	    {"first window", 150, 300, w0, 50, 190, 2, 0},
	    {"into the second", 850, 300, w1, 850, 300, 0, 1},
	    {"its title bar", 850, -10, w1, 850, 610, 0, 1},
	    {"on the shared edge", 800, 300, w1, 800, 300, 0, 1},
	    {"right of both", 1700, 300, w1, 1700, 300, 0, 1},
	    {"back in the first", 100, 100, w0, 0, 390, 2, 2},
	    {"above both", 100, -30, w0, 0, 520, 2, 2},
	};
	for (const row& r : rows) {
		fake.mouse_h = r.h;
		fake.mouse_v = r.v;
		MACIBM_event_proc();
		EXPECT_EQ(fake.front, r.front) << r.name;
		EXPECT_EQ(mnw.mouse_x, r.x) << r.name;
		EXPECT_EQ(mnw.mouse_y, r.y) << r.name;
		EXPECT_EQ(mnw.wind_mouse, r.wind_mouse) << r.name;
		EXPECT_EQ(fake.selects.size(), r.selects) << r.name;
	}
	EXPECT_EQ(fake.selects, (std::vector<void*>{w1, w0}));

	// A press is placed in the window it happened in.
	EventRecord press{};
	press.what = plat_evt_mouse_down;
	press.where_h = 50;
	press.where_v = 300;
	press.window = w1;
	fake.event(press);
	MACIBM_event_proc();
	EXPECT_EQ(mnw.mouse_click, 1);
	EXPECT_EQ(mnw.mouse_x, 850);
	EXPECT_EQ(mnw.mouse_y, 300);
	EXPECT_EQ(mnw.wind_mouse, 0);

	// Without the switches the second window is not looked at.
	for (int* sw : {&mnw.dual_monitor, &mnw.second_window}) {
		*sw = 0;
		fake.mouse_h = 850;
		fake.mouse_v = 300;
		MACIBM_event_proc();
		EXPECT_EQ(mnw.mouse_x, 750);
		EXPECT_EQ(mnw.wind_mouse, 2);
		EXPECT_EQ(fake.selects.size(), 2u);
		*sw = 1;
	}

	// Shutdown disposes both windows.
	MACIBM_finishup(0);
	EXPECT_EQ(fake.windows_alive, 0);
	EXPECT_EQ(mnw.window[1], nullptr);
}

TEST_F(Shell, SubWindowOrigins)
{
	struct row {
		int x_res, y_res, type;
		float x, y, dx, dy;
		int modal;
	} rows[] = {
	    {800, 600, 1, 150, 150, 500, 300, 1},     // EULA
	    {2048, 768, 994, 302, 259, 420, 250, 1},  // two screens: centred on the first
	    {400, 300, 992, 0, 0, 561, 474, 1},       // larger than the window
	    {800, 600, 0, 0, 0, 800, 600, 0},
	    {800, 600, -1, 0, 0, 800, 600, 0},
	    {801, 601, 995, 251, 218, 300, 166, 1},   // halves round away from zero
	};
	for (const row& r : rows) {
		mnw.x_res = r.x_res;
		mnw.y_res = r.y_res;
		mnw.mouse_down = mnw.mouse_click = mnw.wheel_delta = 1;
		mnw.menu_open = 3;
		MACIBM_startwind(r.type, 0);
		EXPECT_EQ(mnw.wind_x, r.x) << r.type;
		EXPECT_EQ(mnw.wind_y, r.y) << r.type;
		EXPECT_EQ(mnw.wind_dx, r.dx) << r.type;
		EXPECT_EQ(mnw.wind_dy, r.dy) << r.type;
		EXPECT_EQ(mnw.wind_modal, r.modal) << r.type;
		EXPECT_EQ(mnw.wind_type, r.type);
		EXPECT_EQ(mnw.wind_main, r.type);
		EXPECT_EQ(mnw.mouse_down + mnw.mouse_click + mnw.wheel_delta, 0);
		EXPECT_EQ(mnw.menu_open, -1);
	}
	MACIBM_startwind(2, 0);
	EXPECT_EQ(stls[0], "Prefs");
	EXPECT_EQ(menu[1519].left, -1);
	EXPECT_EQ(menu[1519].top, -1);
}

TEST_F(Shell, CloseBoxAndReturnPerType)
{
	const int types[] = {1, 2, 992, 993, 994, 995, 996, 997, 998, 999};
	for (int type : types) {
		const bool closes = !(type == 994 || type == 995 || type == 996 || type == 998 || type == 999);
		for (int how = 0; how < 3; ++how) {
			MACIBM_event_proc();
			MACIBM_startwind(type, 0);
			if (how == 0) fake.click(px(10), py(mnw.wind_dy - 10));                 // left close box
			if (how == 1) fake.click(px(mnw.wind_dx - 5), py(mnw.wind_dy - 1));     // right close box
			if (how == 2) fake.key(plat_evt_key_down, 36, 13);                      // Return
			MACIBM_event_proc();
			EXPECT_EQ(mnw.wind_type, closes ? 0 : type) << type << " way " << how;
		}
		// A press below the title row leaves it open.
		MACIBM_startwind(type, 0);
		fake.click(px(10), py(mnw.wind_dy - 25));
		MACIBM_event_proc();
		EXPECT_EQ(mnw.wind_type, type);
	}
}

TEST_F(Shell, HelpBoxHeight)
{
	const int rows[][2] = {{400, 100}, {10, 60}, {0, 60}, {449, 100}, {450, 110}, {5000, 300}};
	for (auto& r : rows) EXPECT_EQ(mouse_help_height(r[0]), r[1]) << r[0];
}

TEST_F(Shell, HelpTextIsEmptiedEveryFrame)
{
	MACIBM_event_proc();
	mouse_help_text() = "Some help";
	MACIBM_event_proc();
	EXPECT_TRUE(mouse_help_text().empty());
}

TEST_F(Shell, DrawnCursorCells)
{
	struct row {
		int kind, held, col, row;
	} rows[] = {{3, 0, 0, 1},   {4, 0, 1, 1},  {5, 0, 0, 0},  {6, 0, 1, 0},   {7, 0, 2, 1},
	            {8, 0, 3, 1},   {9, 0, 2, 0},  {10, 0, 3, 0}, {11, 0, 4, 1},  {11, 1, 5, 1},
	            {12, 0, 4, 0},  {12, 1, 5, 0}, {13, 1, -1, 1}, {14, 0, -1, 0}};
	for (const row& r : rows) {
		int c = 9, w = 9;
		ASSERT_TRUE(cursor_cell(r.kind, r.held, &c, &w)) << r.kind;
		EXPECT_EQ(c, r.col) << r.kind;
		EXPECT_EQ(w, r.row) << r.kind;
	}
	int c, w;
	EXPECT_FALSE(cursor_cell(2, 0, &c, &w));
	EXPECT_FALSE(cursor_cell(15, 0, &c, &w));
}

TEST_F(Shell, CursorHidesForDrawnKindsAndShowsInPanels)
{
	MACIBM_event_proc();
	fake.cursor_log.clear();
	mnw.cursor_kind = 5;
	mouse_help_per_wind(0);
	mnw.cursor_kind = 5;
	mouse_help_per_wind(0);  // already hidden: no second call
	mnw.cursor_kind = 5;
	mouse_help_per_wind(994);  // panels always show the arrow
	EXPECT_EQ(mnw.cursor_kind, 0);
	mnw.cursor_kind = 1;
	mouse_help_per_wind(0);
	mnw.cursor_kind = 0;
	mouse_help_per_wind(0);  // a widget's cursor goes back to the arrow
	EXPECT_EQ(fake.cursor_log, (std::vector<std::string>{"hide", "show", "arrow"}));
}

TEST_F(Shell, TextureFailuresAlertOnceEachOnTheMainScreenOnly)
{
	capture_alerts();
	MACIBM_event_proc();
	MACIBM_startwind(2, 0);
	for (int i = 0; i < 3; ++i) shell_tex_fail_set_for_test(i, 1);
	MACIBM_event_proc();
	EXPECT_TRUE(alerts.empty());
	MACIBM_startwind(0, 0);
	MACIBM_event_proc();
	MACIBM_event_proc();
	ASSERT_EQ(alerts.size(), 3u);
	const char* first[] = {"Some scenery textures could not be loaded.",
	                       "Some textures for the aircraft you selected could not be loaded.",
	                       "Some textures could not be loaded."};
	for (int i = 0; i < 3; ++i) {
		EXPECT_EQ(alerts[i].line1, first[i]);
		EXPECT_EQ(alerts[i].line3, "Please see the log.txt file for a detailed list of missing files.");
		EXPECT_EQ(alerts[i].kind, alert_warning);
		EXPECT_EQ(alerts[i].return_window, 0);
		EXPECT_EQ(alerts[i].source_file, "DIzivoz/GenC/hl_mnw");
		EXPECT_EQ(alerts[i].source_line, 1588 + i);
	}
	EXPECT_EQ(alerts[2].line2,
	          "This may be an installation problem.  Run the installer/updater again to get these missing textures.");
}

TEST_F(Shell, MenusOpenCloseAndChoose)
{
	static std::vector<int> chosen;
	chosen.clear();
	MACIBM_set_app_hooks(app_hooks{nullptr, [](int v) { chosen.push_back(v); }, nullptr});
	MACIBM_event_proc();
	MACIBM_create_menu(0, 0, "File");
	MACIBM_append_menu(0, 0, 11, "Open", 0);
	MACIBM_append_menu(0, 1, 12, "-", 0);
	MACIBM_append_menu(0, 2, 13, "=Shown", 0);
	MACIBM_append_menu(0, 3, 14, "Quit", 0);
	MACIBM_create_menu(1, 0, "Plugins");
	MACIBM_create_menu(2, 0, "Help");
	const menu_struct& m = menu[0];
	EXPECT_EQ(m.parent_menu, -1);
	EXPECT_EQ(m.bottom, 582);
	EXPECT_EQ(m.top, 600);
	EXPECT_EQ(menu[1].left, m.right);
	EXPECT_EQ(menu[2].left, menu[1].left);  // "Plugins" does not advance
	EXPECT_EQ(m.items[0].top, 580);
	EXPECT_EQ(m.items[0].bottom, 568);
	EXPECT_EQ(m.items[1].bottom, 566);
	EXPECT_EQ(m.items[3].bottom, 542);

	auto at = [&](float x, float y) { fake.click((int)x, (int)(600 - y)); MACIBM_event_proc(); };
	at(m.left + 2, m.bottom + 2);
	EXPECT_EQ(mnw.menu_open, 0);
	at(m.left + 2, m.bottom + 2);  // second click closes
	EXPECT_EQ(mnw.menu_open, -1);
	at(m.left + 2, m.bottom + 2);
	at(m.items[0].left + 5, m.items[0].bottom + 5);
	EXPECT_EQ(chosen, std::vector<int>{11});
	EXPECT_EQ(mnw.menu_open, -1);
	at(m.left + 2, m.bottom + 2);
	at(m.items[1].left + 5, m.items[1].bottom + 1);  // separator: closes, no command
	EXPECT_EQ(mnw.menu_open, -1);
	at(m.left + 2, m.bottom + 2);
	at(m.items[2].left + 5, m.items[2].bottom + 5);  // '=' item
	EXPECT_EQ(chosen, std::vector<int>{11});

	// Removing moves the later items up; a missing one does nothing.
	MACIBM_remove_menu_item(0, 1);
	EXPECT_EQ(menu[0].items.size(), 3u);
	EXPECT_EQ(menu[0].items[2].bottom, 544);
	MACIBM_remove_menu_item(0, 40);
	EXPECT_EQ(menu[0].items.size(), 3u);
}

TEST_F(Shell, PopUpPickGoesToThePopUpCodes)
{
	MACIBM_event_proc();
	menu[1519].items.assign(2, item_struct{});
	menu[1519].items[0] = item_struct{"one", 0, 100, 300, 200, 312};
	menu[1519].items[1] = item_struct{"two", 0, 100, 288, 200, 300};
	mnw.menu_open = 1519;
	active_popup_code = 77;
	fake.click(150, 600 - 292);
	MACIBM_event_proc();
	EXPECT_EQ(popup_menu_select, 1);
	EXPECT_EQ(select_popup_code, 77);
	EXPECT_EQ(active_popup_code, 0);
	EXPECT_EQ(mnw.menu_open, -1);
}

TEST_F(Shell, MenuRangeErrors)
{
	capture_alerts();
	struct row {
		std::function<void()> call;
		const char* line1;
		int line;
	} rows[] = {
	    {[] { MACIBM_create_menu(1520, 0, "x"); }, "Menu index out of range in create_menu!", 72},
	    {[] { MACIBM_create_menu(-1, 0, "x"); }, "Menu index out of range in create_menu!", 72},
	    {[] { MACIBM_append_menu(1520, 0, 0, "x", 0); }, "Menu index out of range in append_menu!", 112},
	    {[] { MACIBM_append_menu(-2, 0, 0, "x", 0); }, "Menu index out of range in append_menu!", 112},
	    {[] { MACIBM_append_menu(0, 300, 0, "x", 0); }, "Item index out of range in append_menu!", 113},
	    {[] { MACIBM_append_menu(0, 0, 0, std::string(40, 'x'), 0); }, "Menu name too long in append_menu!", 114},
	    {[] { MACIBM_remove_menu_item(1520, 0); }, "Menu index out of range in remove_menu_item!", 181},
	    {[] { MACIBM_remove_menu_item(0, 300); }, "Item index out of range in remove_menu_item!", 182},
	};
	for (const row& r : rows) {
		alerts.clear();
		r.call();
		ASSERT_EQ(alerts.size(), 1u) << r.line1;
		EXPECT_EQ(alerts[0].line1, r.line1);
		EXPECT_EQ(alerts[0].kind, alert_fatal);
		EXPECT_EQ(alerts[0].source_line, r.line);
	}
	MACIBM_create_menu(0, 0, std::string(45, 't'));
	EXPECT_EQ(menu[0].title.size(), 40u);
}

TEST_F(Shell, MenuFile)
{
	capture_alerts();
	vtest::temp_folder dir;
	const std::string folder = dir.path();
	mkdir((folder + "menus").c_str(), 0755);
	mkdir((folder + "menus/English").c_str(), 0755);
	mnw.language = 0;
	{
		std::ofstream f(folder + "menus/English/shell.txt");
		f << "I\r\n1 version\r\n0 File\r\n101 Open\r\n102 Close\r\n-\r\n0 Edit\r\n201 Copy\r\n-\r\n1 Recent\r\n301 a.txt\r\n-\r\n\r\n0 Ignored\r\n";
	}
	MACIBM_read_menus(folder, "shell.txt");
	EXPECT_TRUE(alerts.empty());
	EXPECT_EQ(menu[0].title, "File");
	ASSERT_EQ(menu[0].items.size(), 2u);
	EXPECT_EQ(menu[0].items[1].label, "Close");
	EXPECT_EQ(menu[0].items[1].command, 102);
	EXPECT_EQ(menu[1].title, "Edit");
	EXPECT_EQ(menu[2].title, "Recent");
	EXPECT_EQ(menu[2].parent_menu, 0);
	EXPECT_EQ(menu[2].top, menu[0].items[1].top);
	EXPECT_EQ(menu[3].title, "");

	{
		std::ofstream f(folder + "menus/English/bad.txt");
		f << "I\n2 version\n0 File\n";
	}
	MACIBM_read_menus(folder, "bad.txt");
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].line1, "Cannot open file!");
	EXPECT_EQ(alerts[0].line2, folder + "menus/English/bad.txt");
	EXPECT_EQ(alerts[0].line3, "Trash this copy and re-install Ventora.");
	EXPECT_EQ(alerts[0].source_line, 967);
}

TEST_F(Shell, CpuNames)
{
	auto four = [](const char* s) {
		return (unsigned)(unsigned char)s[0] << 24 | (unsigned)(unsigned char)s[1] << 16 |
		       (unsigned)(unsigned char)s[2] << 8 | (unsigned)(unsigned char)s[3];
	};
	struct row {
		unsigned v;
		const char* name;
	} rows[] = {{264, " (G3) "},          {316, " (G5/FX) "},         {four("i5iv"), " (Pentium 4) "},
	            {four("ixxx"), " (X86) "}, {four("abcd"), " (abcd) "}, {0x69000001u, " (unknown intel) "},
	            {0, " (unknown PowerPC) "}, {0x01020304u, " (unknown PowerPC) "}};
	for (const row& r : rows) EXPECT_EQ(MACIBM_cpu_name(r.v), r.name) << r.v;
}

namespace {
// One line of a shell command's output, read independently of the code under test.
std::string sh_line(const std::string& cmd)
{
	std::string out;
	if (FILE* p = popen(cmd.c_str(), "r")) {
		char buf[512];
		while (fgets(buf, sizeof buf, p)) out += buf;
		pclose(p);
	}
	while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
	return out;
}
}  // namespace

TEST_F(Shell, LogHeaderNamesThisMachine)
{
	vtest::temp_folder dir;
	const std::string path = dir.path() + "log.txt";
	xer.open(path, std::ios::out | std::ios::trunc);
	app_path.clear();
	MACIBM_write_log_header();
	xer.close();
	const std::string text = vtest::read_file_bytes(path);
	EXPECT_EQ(text.find("Installer log.txt for Ventora Web Demo Installer 2.04r1 compiled on Apr 30 2008 20:35:27\n\n"
	                    "This log file is generated automatically by Tarnwick applications"),
	          0u);
	std::string system = sh_line("uname -s") + " " + sh_line("uname -r");
	const std::string distro = sh_line("sh -c '. /etc/os-release 2>/dev/null && printf %s \"$PRETTY_NAME\"'");
	if (!distro.empty()) system += ", " + distro;
	const std::string model = sh_line("grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'");
	const long long mem_kb = std::atoll(sh_line("awk '/^MemTotal:/ {print $2}' /proc/meminfo").c_str());
	ASSERT_GT(mem_kb, 0);
	const std::string cpu_start = "CPU type: " + sh_line("getconf _NPROCESSORS_ONLN") + " x (" + (model.empty() ? "" : model + ")");
	const size_t at = text.find("\n" + system + "\n" + cpu_start);
	ASSERT_NE(at, std::string::npos) << text;
	const std::string cpu_line = text.substr(text.find("CPU type: ", at));
	EXPECT_EQ(cpu_line.find("Mac OS"), std::string::npos);
	EXPECT_NE(cpu_line.find(" Bus speed (mhz): ? RAM (MB): " + std::to_string(mem_kb / 1024) + "\n"
	                        "\nSkyframe folder:'', case sensitive=0\n\n"),
	          std::string::npos)
	    << cpu_line;
	// A speed is known on any machine that names one.
	const std::string mhz = sh_line("grep -m1 '^cpu MHz' /proc/cpuinfo | cut -d: -f2-");
	if (!mhz.empty()) {
		EXPECT_NE(cpu_line.find("CPU speed (mhz): " + std::to_string(std::lround(std::atof(mhz.c_str()))) + " "),
		          std::string::npos)
		    << cpu_line;
	}
}

TEST_F(Shell, SystemFactsFromTheirFiles)
{
	vtest::temp_folder dir;
	struct row {
		const char* name;
		const char* os_release;  // nullptr: no such file
		const char* cpuinfo;
		const char* cpufreq;
		std::string distro, model_prefix;
		long mhz;
	} rows[] = {
	    {"x86, double quotes", "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
	     "processor\t: 0\nmodel name\t: AMD Ryzen 7 5800X\ncpu MHz\t\t: 3799.512\nprocessor\t: 1\n"
	     "model name\t: other\n",
	     nullptr, "Debian GNU/Linux 12 (bookworm)", "AMD Ryzen 7 5800X", 3800},
	    {"ARM board, single quotes, speed from cpufreq", "PRETTY_NAME='Raspbian 11'\n",
	     "processor\t: 0\nBogoMIPS\t: 108.00\nHardware\t: BCM2835\nModel\t\t: Raspberry Pi 4 Model B\n",
	     "1500000\n", "Raspbian 11", "Raspberry Pi 4 Model B", 1500},
	    {"unquoted name, no model: the machine", "PRETTY_NAME=Alpine\n", "processor\t: 0\n", nullptr, "Alpine", "", 0},
	    {"no os-release, empty cpuinfo", nullptr, "", "", "", "", 0},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		const std::string osr = dir.path() + "os-release", cpu = dir.path() + "cpuinfo", freq = dir.path() + "freq";
		unlink(osr.c_str());
		unlink(freq.c_str());
		if (r.os_release) vtest::write_file_bytes(osr, r.os_release);
		vtest::write_file_bytes(cpu, r.cpuinfo);
		if (r.cpufreq) vtest::write_file_bytes(freq, r.cpufreq);
		const MACIBM_system_facts f = MACIBM_read_system_facts(osr, cpu, freq);
		EXPECT_EQ(f.kernel, sh_line("uname -s"));
		EXPECT_EQ(f.distribution, r.distro);
		EXPECT_EQ(f.cpu_model, r.model_prefix.empty() ? sh_line("uname -m") : r.model_prefix);
		EXPECT_EQ(f.cpu_mhz, r.mhz);
		EXPECT_GT(f.cpu_count, 0);
		EXPECT_GT(f.ram_mb, 0);
	}
	// Unknown facts read "?" in the line shapes, never a made-up value.
	MACIBM_system_facts none;
	EXPECT_EQ(MACIBM_system_lines(none),
	          "?\nCPU type: ? x (?) CPU speed (mhz): ? Bus speed (mhz): ? RAM (MB): ?\n");
}

TEST_F(Shell, DepthDecision)
{
	struct row {
		int w, h, depth, set_res;
		std::vector<int> at_start, at_exit;
	} rows[] = {
	    {1024, 768, 16, 0, {}, {}},
	    {1000, 700, 16, 0, {32}, {32, 16}},
	    {1280, 1024, 16, 1, {32}, {32, 16}},
	    {1000, 700, 32, 0, {}, {}},
	};
	for (const row& r : rows) {
		MACIBM_reset_setres_for_test();
		fake.screen_w = r.w;
		fake.screen_h = r.h;
		fake.screen_depth = r.depth;
		fake.depth_log.clear();
		mnw.set_res = r.set_res;
		MACIBM_setres(1);
		EXPECT_EQ(fake.depth_log, r.at_start) << r.w;
		EXPECT_EQ(g_mon_x_res_now, r.w);
		EXPECT_FALSE(fake.menu_bar_shown);
		MACIBM_setres(0);
		EXPECT_EQ(fake.depth_log, r.at_exit) << r.w;
	}
}

TEST_F(Shell, WindowRuleAndFormatAttempts)
{
	struct row {
		int x_res, y_res, aa_req, max_samples;
		bool framed;
		int top;
		std::vector<int> asked;
		int aa_level;
		int result;
	} rows[] = {
	    {800, 600, 0, 16, true, 40, {0}, 0, 1},
	    {1005, 600, 0, 16, false, 0, {0}, 0, 1},   // less than 20 pixels to the right edge
	    {800, 749, 0, 16, false, 0, {0}, 0, 1},
	    {800, 600, 4, 4, true, 40, {16, 8, 4}, 2, 1},
	    {800, 600, 2, 0, true, 40, {4, 2, 0}, 0, 1},
	    {800, 600, 1, -1, true, 40, {2, 0}, 0, 0},
	};
	for (const row& r : rows) {
		MACIBM_reset_setres_for_test();
		fake.window_asks.clear();
		fake.max_samples_granted = r.max_samples;
		fake.screen_w = 1024;
		fake.screen_h = 768;
		mnw.x_res_req = r.x_res;
		mnw.y_res_req = r.y_res;
		mnw.aa_level_req = r.aa_req;
		MACIBM_setres(1);
		EXPECT_EQ(MACIBM_make_context(0), r.result) << r.x_res;
		std::vector<int> asked;
		for (auto& a : fake.window_asks) {
			asked.push_back(a.aa_samples);
			EXPECT_EQ(a.framed != 0, r.framed) << r.x_res;
			EXPECT_EQ(a.top, r.top);
			EXPECT_EQ(a.left, 0);
			EXPECT_EQ(a.width, r.x_res);
			EXPECT_EQ(a.title, "Ventora Installer");
		}
		EXPECT_EQ(asked, r.asked) << r.x_res;
		if (r.result) {
			EXPECT_EQ(mnw.aa_level, r.aa_level);
			MACIBM_nuke_context(0);
			EXPECT_EQ(mnw.window[0], nullptr);
		}
	}
	EXPECT_EQ(fake.windows_alive, 0);
}

TEST_F(Shell, ThreadedOptionAndSoftwareRendererAreLogged)
{
	const UTL_cmdline keep = cmdline;
	const struct {
		const char* what;
		bool option;
		int threaded_result, accelerated;
		bool asked;
		const char* threaded_line;  // null: none
		bool software_line;
	} rows[] = {
	    {"plain", false, 0, 1, false, nullptr, false},
	    {"threaded", true, 0, 1, true, "Enabling threaded OGL - got 0\n", false},
	    {"threaded refused", true, 1, 1, true, "Enabling threaded OGL - got 1\n", false},
	    {"software renderer", false, 0, 0, false, nullptr, true},
	    {"acceleration unknown", false, 0, -1, false, nullptr, false},
	};
	vtest::temp_folder tmp;
	for (const auto& r : rows) {
		SCOPED_TRACE(r.what);
		const char* argv[] = {"shell", "--use_threaded_ogl"};
		cmdline = UTL_cmdline();
		cmdline.parse_unix(r.option ? 2 : 1, argv);
		fake.window_asks.clear();
		fake.threaded_result = r.threaded_result;
		fake.accelerated = r.accelerated;
		fake.renderer = "Soft Renderer 1.0";
		std::string log;
		{
			log_capture capture(tmp.path() + "log.txt");
			MACIBM_reset_setres_for_test();
			MACIBM_setres(1);
			// A renderer without acceleration is used all the same.
			ASSERT_EQ(MACIBM_make_context(0), 1);
			log = capture.text();
		}
		MACIBM_nuke_context(0);
		ASSERT_EQ(fake.window_asks.size(), 1u);
		EXPECT_EQ(fake.window_asks[0].threaded, r.asked ? 1 : 0);
		EXPECT_EQ(log.find("Enabling threaded OGL") != std::string::npos, r.threaded_line != nullptr) << log;
		if (r.threaded_line) {
			EXPECT_NE(log.find(r.threaded_line), std::string::npos) << log;
		}
		EXPECT_EQ(log.find("The OpenGL renderer 'Soft Renderer 1.0' draws in software, without 3-D acceleration.\n") !=
		              std::string::npos,
		          r.software_line)
		    << log;
	}
	cmdline = keep;
}

TEST_F(Shell, PaletteFromAPicture)
{
	MACIBM_alloc_scratch();
	scratch_dx = 512;
	scratch_dy = 512;
	// Each pixel's colour tells where it lies: red = column / 2, green = row, blue 7.
	for (int y = 0; y < 256; ++y)
		for (int x = 0; x < 512; ++x) {
			unsigned char* p = scratch_array + (y * 512 + x) * 4;
			p[0] = (unsigned char)(x / 2);
			p[1] = (unsigned char)y;
			p[2] = 7;
			p[3] = 255;
		}
	ASSERT_TRUE(MACIBM_palette_from_scratch());
	const int rows[][2] = {{34, 155}, {35, 147}, {36, 139}, {37, 131}, {38, 123}, {40, 115},
	                       {41, 107}, {42, 99},  {43, 91},  {45, 83},  {46, 75},  {47, 67}};
	for (auto& r : rows) {
		EXPECT_FLOAT_EQ(colr.rgb[r[0]][0], 159 / 255.0f) << r[0];
		EXPECT_FLOAT_EQ(colr.rgb[r[0]][1], r[1] / 255.0f) << r[0];
		EXPECT_FLOAT_EQ(colr.rgb[r[0]][2], 7 / 255.0f) << r[0];
	}
	EXPECT_FLOAT_EQ(colr.rgb[44][0], 197 / 255.0f);
	EXPECT_FLOAT_EQ(colr.rgb[44][1], 115 / 255.0f);
	EXPECT_FLOAT_EQ(colr.rgb[39][1], (147 + 123) / 2 / 255.0f);
	scratch_dx = 100;
	EXPECT_FALSE(MACIBM_palette_from_scratch());
}

TEST_F(Shell, NativeAlertBeforeTheWindow)
{
	testing::internal::CaptureStderr();
	__MACIBM_alert(0, "one", "two", "three", "four", alert_warning, "DIzivoz/x", 5);
	const std::string err = testing::internal::GetCapturedStderr();
	EXPECT_NE(err.find("one two\n\nthree four"), std::string::npos);
	ASSERT_EQ(fake.boxes.size(), 1u);
	EXPECT_EQ(fake.boxes[0], "Ventora Installer|one two\n\nthree four");
	// No length limit on the native path.
	const std::string big(2000, 'x');
	testing::internal::CaptureStderr();
	__MACIBM_alert(0, big, big, "", "", alert_warning, "DIzivoz/x", 6);
	EXPECT_NE(testing::internal::GetCapturedStderr().find(big + " " + big), std::string::npos);
	EXPECT_EQ(fake.boxes.size(), 2u);
}

TEST_F(Shell, DrawnAlertClosesByButtonOrReturnAndRestores)
{
	for (int how = 0; how < 2; ++how) {
		MACIBM_event_proc();
		MACIBM_startwind(2, 0);
		ogl_inited = 1;
		fake.mouse_h = 33;
		fake.mouse_v = 44;
		int frames = 0;
		fake.on_idle = [&](vtest::fake_platform& f) {
			if (++frames != 2) return;
			EXPECT_EQ(mnw.wind_type, 994);
			if (how == 0) f.click(px(210), py(18));
			else f.key(plat_evt_key_down, 36, 13);
		};
		__MACIBM_alert(2, "Hello", "", "", "", alert_warning, "DIzivoz/x", 1);
		fake.on_idle = nullptr;
		EXPECT_EQ(mnw.wind_type, 2) << how;
		EXPECT_EQ(fake.mouse_h, 33);
		EXPECT_EQ(fake.mouse_v, 44);
		EXPECT_GE(frames, 2);
		EXPECT_TRUE(fake.boxes.empty());
	}
	// A press elsewhere on the panel does not close it.
	int frames = 0;
	fake.on_idle = [&](vtest::fake_platform& f) {
		++frames;
		if (frames == 2) f.click(px(10), py(240));
		if (frames == 4) f.key(plat_evt_key_down, 36, 13);
	};
	__MACIBM_alert(0, "Hello", "", "", "", alert_warning, "DIzivoz/x", 1);
	fake.on_idle = nullptr;
	EXPECT_GE(frames, 4);
	EXPECT_EQ(mnw.wind_type, 0);
}

TEST_F(Shell, AlertInsideAnAlertIsNativeAndEnds)
{
	MACIBM_event_proc();
	ogl_inited = 1;
	EXPECT_EXIT(
	    {
		    fake.on_idle = [](vtest::fake_platform&) {
			    __MACIBM_alert(994, "inner", "", "", "", alert_warning, "DIzivoz/x", 2);
		    };
		    __MACIBM_alert(0, "outer", "", "", "", alert_warning, "DIzivoz/x", 1);
	    },
	    testing::ExitedWithCode(1), "inner");
}

TEST_F(Shell, WorkerAlertWaitsForTheMainScreen)
{
	THREAD_init();
	capture_alerts();
	MACIBM_event_proc();
	MACIBM_startwind(2, 0);
	std::thread t([] { __MACIBM_alert(0, "from a worker", "", "", "", alert_warning, "DIzivoz/x", 3); });
	t.join();
	EXPECT_GE(fake.wakes.load(), 1);  // an idle window wakes for it
	MACIBM_event_proc();
	MACIBM_event_proc();
	EXPECT_TRUE(alerts.empty());
	MACIBM_startwind(0, 0);
	MACIBM_event_proc();
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].line1, "from a worker");
}

TEST_F(Shell, ThreeChoiceQuestion)
{
	struct row {
		int three;
		float x, y;  // the button pressed (sub-window units); y < 0: Return, which closes nothing here
		int result;
	} rows[] = {{1, 20, 60, 1}, {1, 20, 25, 2}, {1, 280, 25, 3}, {0, 20, 25, 2}};
	for (const row& r : rows) {
		MACIBM_event_proc();
		int frames = 0;
		fake.on_idle = [&](vtest::fake_platform& f) {
			if (++frames == 2) f.key(plat_evt_key_down, 36, 13);  // Return does not close 995
			if (frames == 4) f.click(px(r.x), py(r.y));
		};
		EXPECT_EQ(MACIBM_nuke_alert("name", r.three), r.result) << r.x << "," << r.y;
		fake.on_idle = nullptr;
		EXPECT_GE(frames, 4);
		EXPECT_EQ(mnw.wind_type, 0);
	}
}

TEST_F(Shell, ThreeChoiceQuestionPutsTheSecondButtonUnderTheFirst)
{
	const std::string keep1 = stls[608], keep2 = stls[609];
	stls[608] = "First choice, longer";  // 140 units wide here: both buttons centred at 90
	stls[609] = "No";
	MACIBM_event_proc();
	int frames = 0;
	fake.on_idle = [&](vtest::fake_platform& f) {
		++frames;
		if (frames == 2) f.click(px(90), py(25));
		if (frames == 4) f.click(px(90), py(60));  // ends the question when the first click missed
	};
	const int result = MACIBM_nuke_alert("name", 0);
	fake.on_idle = nullptr;
	stls[608] = keep1;
	stls[609] = keep2;
	EXPECT_EQ(result, 2);
	EXPECT_EQ(mnw.wind_type, 0);
}

TEST_F(Shell, ModifierQueries)
{
	struct row {
		uint16_t mods;
		int option, shift, caps;
	} rows[] = {{0, 0, 0, 0}, {plat_mod_option, 1, 0, 0}, {plat_mod_shift | plat_mod_caps, 0, 1, 1},
	            {plat_mod_control | plat_mod_cmd, 0, 0, 0}};
	for (const row& r : rows) {
		fake.modifiers = r.mods;
		EXPECT_EQ(has_optionkey(), r.option);
		EXPECT_EQ(has_shiftkey(), r.shift);
		EXPECT_EQ(has_capslock(), r.caps);
	}
}

TEST_F(Shell, EndianFlip)
{
	struct row16 {
		int16_t in, out;
	} r16[] = {{0x1234, 0x3412}, {0, 0}, {(int16_t)0xFF00, 0x00FF}, {(int16_t)0x80FF, (int16_t)0xFF80}};
	for (auto& r : r16) {
		int16_t v = r.in;
		EXPECT_EQ(EndianFlipShort(&v), r.out);
		EXPECT_EQ(v, r.out);
	}
	int16_t b = 0x1234;
	EndianFlipShort(&b);
	const unsigned char* bytes = reinterpret_cast<unsigned char*>(&b);
	EXPECT_EQ(bytes[0], 0x12);  // little-endian memory now starts with the old high byte
	struct row32 {
		int32_t in, out;
	} r32[] = {{0x12345678, 0x78563412}, {(int32_t)0xFF000080, (int32_t)0x800000FF}, {-1, -1}};
	for (auto& r : r32) {
		int32_t v = r.in;
		EXPECT_EQ(EndianFlipLong(&v), r.out);
		EXPECT_EQ(v, r.out);
	}
}

}  // namespace
