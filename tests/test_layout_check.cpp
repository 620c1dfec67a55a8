// The debug record of drawn boxes and the layout check over it: which pairs
// of boxes count as overlapping or touching, labels that do not fit their
// element, and what real widgets and wrapped text record on a context.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/prefs_window.h"
#include "tests/support/gl_context.h"

namespace {

layout_box box(int kind, int group, float x0, float y0, float x1, float y1, const char* what = "x")
{
	layout_box b;
	b.kind = kind;
	b.group = group;
	b.x0 = x0, b.y0 = y0, b.x1 = x1, b.y1 = y1;
	b.what = what;
	return b;
}

std::string joined(const std::vector<std::string>& v)
{
	std::string s;
	for (const std::string& p : v) s += p + "\n";
	return s;
}

struct LayoutRecord : gl_test {
	void SetUp() override
	{
		gl_test::SetUp();
		saved_ = mnw;
		mnw.wind_x = mnw.wind_y = 0;
		mnw.wind_type = 0;
		mnw.menu_open = -1;
		mnw.mouse_x = mnw.mouse_y = -100;
		mnw.mouse_click = 0;
		BTN_layout_enable(1);
	}
	void TearDown() override
	{
		BTN_layout_enable(0);
		mnw = saved_;
	}
	mnw_struct saved_;
};

}  // namespace

TEST(LayoutCheck, PairsThatOverlapTouchOrDoNotFit)
{
	const int T = layout_text, B = layout_button, P = layout_panel;
	layout_box page = box(P, 9, 210, 50, 790, 503);
	page.side_margin = 20;  // the wizard page's body margins
	struct {
		const char* name;
		std::vector<layout_box> boxes;
		const char* want;  // part of the one problem expected, "" for none
	} cases[] = {
	    {"apart", {box(B, 1, 0, 0, 100, 20), box(T, 2, 103, 0, 200, 12)}, ""},
	    {"one unit apart touches", {box(B, 1, 0, 0, 100, 20), box(T, 2, 101, 0, 200, 12)}, "touch"},
	    {"overlap", {box(B, 1, 0, 0, 100, 20), box(B, 2, 50, 10, 150, 30)}, "touch"},
	    {"apart on one axis is enough", {box(B, 1, 0, 0, 100, 20), box(B, 2, 50, 22, 150, 40)}, ""},
	    {"texts share the inner leading", {box(T, 1, 0, 0, 100, 12.2f), box(T, 2, 0, 12, 100, 24.2f)}, ""},
	    {"texts that cross", {box(T, 1, 0, 0, 100, 12), box(T, 2, 0, 10, 100, 22)}, "overlap"},
	    {"lines of one text", {box(T, 1, 0, 0, 100, 12), box(T, 1, 0, 5, 100, 17)}, ""},
	    {"label inside its button", {box(B, 1, 0, 0, 100, 21), box(T, 1, 10, 5, 90, 17)}, ""},
	    {"label edge to edge", {box(B, 1, 0, 0, 100, 21), box(T, 1, 1, 5, 99, 17)}, "does not fit inside"},
	    {"label too tall", {box(B, 1, 0, 0, 100, 21), box(T, 1, 10, 5, 90, 25)}, "does not fit inside"},
	    {"on a panel with room", {box(P, 1, 0, 0, 200, 200), box(T, 2, 6, 6, 194, 18)}, ""},
	    {"closer than 6 to a panel's border", {box(P, 1, 0, 0, 200, 200), box(T, 2, 20, 20, 197, 32)},
	     "too close to the border"},
	    {"near the panel's bottom", {box(P, 1, 0, 0, 200, 200), box(B, 2, 20, 3, 100, 24)}, "too close to the border"},
	    {"across a panel's border", {box(P, 1, 0, 0, 200, 200), box(B, 2, 190, 20, 260, 41)}, "too close to the border"},
	    {"beside a panel is not on it", {box(P, 1, 0, 0, 200, 200), box(B, 2, 201, 20, 260, 41)}, ""},
	    {"a page's body margin", {page, box(B, 2, 222, 192, 358, 213)}, "too close to the border"},
	    {"at the body margin", {page, box(B, 2, 230, 192, 366, 213), box(T, 3, 250, 430, 770, 442)}, ""},
	    {"past the right edge", {box(T, 1, 700, 0, 801, 12)}, "leaves the window"},
	    {"below the bottom", {box(B, 1, 10, -1, 100, 20)}, "leaves the window"},
	};
	for (auto& c : cases) {
		const std::vector<std::string> got = BTN_layout_problems(c.boxes, 800, 600);
		if (!*c.want) {
			EXPECT_TRUE(got.empty()) << c.name << ": " << joined(got);
			continue;
		}
		ASSERT_EQ(got.size(), 1u) << c.name << ": " << joined(got);
		EXPECT_NE(got[0].find(c.want), std::string::npos) << c.name << ": " << got[0];
	}
	// Boxes of different sub-windows are never compared.
	std::vector<layout_box> two = {box(B, 1, 0, 0, 100, 20), box(B, 2, 0, 0, 100, 20)};
	two[1].window = 2;
	EXPECT_TRUE(BTN_layout_problems(two, 800, 600).empty());
}

TEST_F(LayoutRecord, WidgetsRecordWhatTheyShowAndALongLabelDoesNotFit)
{
	mnw.wind_x = 100;  // boxes are in the sub-window's own units
	BTN_action(200, 100, 0, 0, 1, "Find It", "-");
	BTN_action(200, 150, 40, 0, 1, "OVERWRITE EVERY OLD FILE", "-");
	int on = 1;
	BTN_bool(300, 100, &on, "|ticked", 0);
	const std::vector<layout_box> boxes = BTN_layout_boxes();
	ASSERT_GE(boxes.size(), 5u);
	const layout_box& button = boxes[0];
	EXPECT_EQ(button.kind, layout_button);
	const float w = str_dx("Find It") + 21;
	EXPECT_FLOAT_EQ(button.x0, 200 - w / 2 + 1);
	EXPECT_FLOAT_EQ(button.x1, 200 + w / 2 - 1);
	EXPECT_EQ(boxes[1].kind, layout_text);
	EXPECT_EQ(boxes[1].group, button.group);
	EXPECT_EQ(boxes[1].what, "Find It");

	const std::string problems = joined(BTN_layout_problems(boxes, 800, 600));
	EXPECT_NE(problems.find("'OVERWRITE EVERY OLD FILE'"), std::string::npos) << problems;
	EXPECT_EQ(problems.find("'Find It'"), std::string::npos) << problems;
	EXPECT_EQ(problems.find("ticked"), std::string::npos) << problems;
	BTN_layout_clear();
}

TEST_F(LayoutRecord, WrappedTextStaysInItsWidthAndStepsByTheFontsLineHeight)
{
	const std::string text = "I have finished installing the Ventora 9 web demo at: /home/pilot/Apps/Ventora 9 Demo/.";
	const float width = str_dx("I have finished installing the Ventora 9 web demo at: /home/pilot/Apps/Vent");
	OGL_string(45, 20, 300, text, width, 0, 0);
	const std::vector<layout_box>& boxes = BTN_layout_boxes();
	ASSERT_EQ(boxes.size(), 2u);
	// The path breaks after a '/', never inside the folder name.
	EXPECT_EQ(boxes[0].what, "I have finished installing the Ventora 9 web demo at: /home/pilot/Apps/");
	EXPECT_EQ(boxes[1].what, "Ventora 9 Demo/.");
	for (const layout_box& b : boxes) EXPECT_LE(b.x1 - b.x0, width) << b.what;
	EXPECT_FLOAT_EQ(boxes[0].y0 - boxes[1].y0, OGL_line_step(0));
	EXPECT_GE(OGL_line_step(0), boxes[0].y1 - boxes[0].y0 - 1);
	BTN_layout_clear();
}

TEST_F(LayoutRecord, PreferencesWindowFitsEveryLanguageWithEveryControlShown)
{
	const int saved_streams = stg.stream_count;
	stg.stream_count = 2;  // the number field beside its check box is shown
	for (int lang : {0, 1, 2}) {
		const char* file = kLangInfo[lang].file ? kLangInfo[lang].file : "";
		SCOPED_TRACE(*file ? file : "English");
		UTL_translate_clear();
		if (lang) UTL_translate_load(lang, "");
		MACIBM_startwind(2, 0);
		if (!*file) {
			// In English every control is where the window tests aim.
			const prefs_layout_t got = prefs_window_layout(), want = prefs_layout();
			const float* g = &got.platform_x;
			const float* w = &want.platform_x;
			for (size_t i = 0; i < sizeof got / sizeof(float); ++i) EXPECT_EQ(g[i], w[i]) << "field " << i;
		}
		BTN_layout_clear();
		prefs_draw_frame();
		const std::vector<layout_box> boxes = BTN_layout_boxes();
		int fields = 0;
		for (const layout_box& b : boxes) fields += b.kind == layout_field;
		EXPECT_EQ(fields, 3);  // the streams number and the two proxy fields
		EXPECT_EQ(joined(BTN_layout_problems(boxes, mnw.wind_dx, mnw.wind_dy)), "");
	}
	UTL_translate_clear();
	MACIBM_startwind(0, 0);
	stg.stream_count = saved_streams;
	BTN_layout_clear();
}
