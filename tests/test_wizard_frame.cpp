// The wizard's frame driven by scripted steps on a real context: which step
// a frame ends on, first_time, the terminal and null steps.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/wizard.h"
#include "Installer-f/wizard_dvd.h"
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

template <int N>
int idle_step(int, wizard_screen& s)
{
	s.title = "Page";
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

// Every flow's page list in every language, each page current in turn: the
// names not current stand where they stood (a bold name that wraps where its
// regular form does not took the room of the names below), and the list
// keeps clear of its panel's border.
TEST_F(WizardFrame, PageListStandsStillWhicheverPageIsCurrent)
{
	const std::vector<wizard_step> idle = {idle_step<0>, idle_step<1>, idle_step<2>,
	                                       idle_step<3>, idle_step<4>, idle_step<5>};
	void (*const flows[])() = {dvd_set_install_pages, dvd_set_repair_pages, dvd_set_scenery_pages};
	for (int lang : {0, 1, 2}) {
		UTL_translate_clear();
		if (lang) UTL_translate_load(lang, "");
		for (auto flow : flows) {
			flow();
			step_funcs = idle;
			SCOPED_TRACE(std::string(lang ? kLangInfo[lang].file : "English") + ", " + step_names[3]);
			// Baseline of each name's first line, by the page that was current.
			std::vector<std::vector<float>> first_y(step_names.size());
			for (size_t here = 0; here < step_names.size(); ++here) {
				g_wizard = idle[here];
				BTN_layout_enable(1);
				frame();
				std::vector<layout_box> list;
				for (const layout_box& b : BTN_layout_boxes())
					if (b.x1 <= 200 || (b.kind == layout_panel && b.x0 == 10)) list.push_back(b);
				EXPECT_EQ(testing::PrintToString(BTN_layout_problems(list, 800, 600)), "{}") << "current " << here;
				for (size_t j = 0; j < step_names.size(); ++j) {
					float y = -1;
					for (const layout_box& b : list)
						if (b.kind == layout_text && b.x0 == 30 && step_names[j].rfind(b.what, 0) == 0 && b.y1 > y)
							y = b.y1;
					ASSERT_GE(y, 0) << step_names[j];
					first_y[j].push_back(y);
				}
			}
			BTN_layout_enable(0);
			for (size_t j = 0; j < step_names.size(); ++j)
				for (size_t here = 0; here < step_names.size(); ++here) {
					if (here == j) continue;
					const size_t other = j == 0 ? 1 : 0;
					EXPECT_EQ(first_y[j][here], first_y[j][other]) << step_names[j] << " with page " << here << " current";
				}
		}
	}
	UTL_translate_clear();
}

// A page that moves on starts its work (an install, a scan) in the very next
// frame: no tick's wait between the click and the new page's first frame.
TEST_F(WizardFrame, ANewPageFollowsAtOnce)
{
	struct row {
		const char* name;
		int result;        // what step A answers in the woken frame
		bool shown;        // that frame swapped
		bool waits_after;  // a wait before the next frame
	};
	const row rows[] = {
	    {"A moves on to B", 1, false, false},
	    {"A stays", 0, true, true},
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
		const int swaps = fake.swaps;
		MACIBM_event_proc();
		EXPECT_EQ(g_wizard, r.result ? step_b : step_a) << r.name;
		// The page left is not shown again: B's first frame shows next.
		EXPECT_EQ(fake.swaps - swaps, r.shown ? 1 : 0) << r.name;
		fake.waits.clear();
		MACIBM_event_proc();
		EXPECT_EQ(!fake.waits.empty(), r.waits_after) << r.name;
		if (!r.waits_after) {
			EXPECT_EQ(fake.swaps - swaps, 1) << r.name;
		}
		MACIBM_frame_longest_idle(0);
		MACIBM_set_app_hooks(app_hooks{nullptr, nullptr, nullptr});
	}
}

// Every character of the pages' texts in all three languages has its glyph
// in both fonts' atlases before the first frame draws: none is added (and
// the atlas uploaded again in the middle of a frame) when a page changes.
TEST_F(WizardFrame, EveryGlyphOfThePagesIsInTheAtlasBeforeTheFirstFrame)
{
	OGL_font_reset(charset_regular);
	OGL_font_reset(charset_bold);
	g_wizard = step_a;
	frame();
	for (const char* file : {"French.txt", "German.txt"}) {
		std::ifstream in(std::string(VENTORA_SOURCE_DIR) + "/Resources/" + file, std::ios::binary);
		const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		ASSERT_GT(text.size(), 1000u) << file;
		for (charset_t c : {charset_regular, charset_bold}) {
			OGL_font_info* f = OGL_font_get(c);
			const size_t glyphs = f->chars.size();
			EXPECT_EQ(f->dirty, 0) << file;
			OGL_measure_string(text, c);
			EXPECT_EQ(f->chars.size(), glyphs) << file << ", charset " << c;
			EXPECT_EQ(f->dirty, 0) << file << ", charset " << c;
		}
	}
}
