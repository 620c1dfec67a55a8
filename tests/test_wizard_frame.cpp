// The wizard's frame driven by scripted steps on a real context: which step
// a frame ends on, first_time, the terminal and null steps.
#include <gtest/gtest.h>

#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/wizard.h"
#include "tests/support/fake_platform.h"
#include "tests/support/gl_context.h"

namespace {
std::vector<int> firsts;
int result_now = 0;
int step_b(int first_time, wizard_screen& s);
int step_c(int, wizard_screen&) { return 0; }
int step_a(int first_time, wizard_screen& s)
{
	firsts.push_back(first_time);
	s.title = "A";
	s.back = step_c;
	s.next = step_b;
	s.choice_labels = {"Choice"};
	s.choice_steps = {step_c};
	return result_now;
}
int step_b(int, wizard_screen& s)
{
	s.next = wizard_quit;
	return 0;
}

struct WizardFrame : gl_test {
	void SetUp() override
	{
		gl_test::SetUp();
		MACIBM_set_alert_sink([](const alert_record&) {});
		stg_set_start_values();
		step_names.clear();
		step_funcs.clear();
		firsts.clear();
		result_now = 0;
		app_done = 0;
		wizard_reset_last();
		mnw.language = 0;
		mnw.wind_x = mnw.wind_y = 0;
		mnw.menu_open = -1;
		no_click();
	}
	void TearDown() override
	{
		MACIBM_set_alert_sink(nullptr);
		app_done = 0;
		g_wizard = demo_start;
	}
	void no_click()
	{
		mnw.mouse_x = mnw.mouse_y = -100;
		mnw.mouse_click = 0;
	}
	void click_at(float x, float y)
	{
		mnw.mouse_x = x;
		mnw.mouse_y = y;
		mnw.mouse_click = 1;
	}
	void frame()
	{
		wizard_APP_update();
		no_click();
	}
};
}  // namespace

TEST_F(WizardFrame, FirstTimeOnlyOnTheFrameAfterAChange)
{
	g_wizard = step_a;
	frame();
	frame();
	click_at(500, 350);  // the choice leads to C
	frame();
	EXPECT_EQ(g_wizard, step_c);
	// Set back before C ran: A was the last step called, so no first frame.
	g_wizard = step_a;
	frame();
	g_wizard = step_c;
	frame();
	g_wizard = step_a;
	frame();
	EXPECT_EQ(firsts, (std::vector<int>{1, 0, 0, 0, 1}));
}

TEST_F(WizardFrame, LaterAssignmentsWin)
{
	struct {
		const char* what;
		float x, y;
		int result;
		wizard_step want;
	} cases[] = {
	    {"nothing", -100, -100, 0, step_a},
	    {"Next", 770 - 101 / 2.0f, 23, 0, step_b},
	    {"Back", 760 - 101 - 89 / 2.0f, 23, 0, step_c},
	    {"choice", 500, 350, 0, step_c},
	    {"choice and a result", 500, 350, 1, step_b},
	    {"Back and a result", 760 - 101 - 89 / 2.0f, 23, 1, step_b},
	};
	for (auto& c : cases) {
		g_wizard = step_a;
		result_now = c.result;
		frame();  // first frame of A
		result_now = c.result;
		g_wizard = step_a;
		click_at(c.x, c.y);
		frame();
		EXPECT_EQ(g_wizard, c.want) << c.what;
	}
}

TEST_F(WizardFrame, QuitAsNextEndsOnTheFollowingFrameAndNullEndsAtOnce)
{
	g_wizard = step_b;
	frame();
	click_at(30 + 28, 23);  // no Quit icon on the left on this page
	frame();
	EXPECT_EQ(app_done, 0);
	click_at(770 - 28, 23);  // the Quit icon in Next's place
	frame();
	EXPECT_EQ(g_wizard, wizard_quit);
	EXPECT_EQ(app_done, 0);
	frame();
	EXPECT_EQ(app_done, 1);

	app_done = 0;
	g_wizard = nullptr;
	frame();
	EXPECT_EQ(app_done, 1);
}

// A page that moves on starts its work (an install, a scan) in the very next
// frame: no tick's wait between the click and the new page's first frame.
TEST_F(WizardFrame, ANewPageFollowsAtOnce)
{
	struct row {
		const char* name;
		int result;        // what step A answers in the woken frame
		bool waits_after;  // a wait before the next frame
	};
	const row rows[] = {
	    {"A moves on to B", 1, false},
	    {"A stays", 0, true},
	};
	for (const row& r : rows) {
		SetUp();
		vtest::fake_platform fake;
		vtest::fresh_shell();
		MACIBM_set_app_hooks(app_hooks{wizard_APP_update, nullptr, nullptr});
		MACIBM_frame_longest_idle(1000);
		g_wizard = step_a;
		for (int i = 0; i < 12; ++i) MACIBM_event_proc();
		ASSERT_EQ(fake.waits.back(), 1000) << r.name;
		result_now = r.result;
		MACIBM_frame_wake();
		MACIBM_event_proc();
		EXPECT_EQ(g_wizard, r.result ? step_b : step_a) << r.name;
		fake.waits.clear();
		MACIBM_event_proc();
		EXPECT_EQ(!fake.waits.empty(), r.waits_after) << r.name;
		MACIBM_frame_longest_idle(0);
		MACIBM_set_app_hooks(app_hooks{nullptr, nullptr, nullptr});
	}
}
