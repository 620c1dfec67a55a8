// Frames, panels and buttons drawn on a real context: what reaches OpenGL
// (through the call recorder), how the widgets act on the mouse, the atlas
// cells they cut, and a page of every kind read back at chosen pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/TEX/TEX_png.h"
#include "tests/support/files_tmp.h"
#include "tests/support/gl_context.h"
#include "tests/support/tex_fixtures.h"
#include "tests/support/widget_fixture.h"

namespace {

struct vtx {
	float x, y, s, t;
};

// The textured vertices of the recorded calls, in order.
std::vector<vtx> vertices(const gl_recorder& rec)
{
	std::vector<vtx> out;
	float s = 0, t = 0;
	for (const std::string& c : rec.calls()) {
		float a, b;
		if (std::sscanf(c.c_str(), "TexCoord2f(%f, %f)", &a, &b) == 2) s = a, t = b;
		else if (std::sscanf(c.c_str(), "Vertex2f(%f, %f)", &a, &b) == 2) out.push_back({a, b, s, t});
	}
	return out;
}

// Quads as (x0, x1, y0, y1) and their atlas rectangle in texture pixels.
struct quad {
	float x0, x1, y0, y1, u0, u1, v0, v1;
};
std::vector<quad> quads(const gl_recorder& rec, float tw = 512, float th = 512)
{
	std::vector<quad> out;
	const std::vector<vtx> v = vertices(rec);
	for (size_t i = 0; i + 3 < v.size(); i += 4) {
		quad q{1e9f, -1e9f, 1e9f, -1e9f, 1e9f, -1e9f, 1e9f, -1e9f};
		for (size_t k = i; k < i + 4; ++k) {
			q.x0 = std::min(q.x0, v[k].x), q.x1 = std::max(q.x1, v[k].x);
			q.y0 = std::min(q.y0, v[k].y), q.y1 = std::max(q.y1, v[k].y);
			q.u0 = std::min(q.u0, v[k].s * tw), q.u1 = std::max(q.u1, v[k].s * tw);
			q.v0 = std::min(q.v0, v[k].t * th), q.v1 = std::max(q.v1, v[k].t * th);
		}
		out.push_back(q);
	}
	return out;
}

class WidgetDraw : public gl_widget_test {
protected:
	WidgetDraw() : gl_widget_test(700, 500) {}
	static void click(float x, float y)
	{
		mnw.mouse_x = x;
		mnw.mouse_y = y;
		mnw.mouse_click = mnw.mouse_down = 1;
	}
};

TEST_F(WidgetDraw, ButtonBarReachesOpenGLAsFourPieces)
{
	mnw.wind_x = 5;
	gl_recorder rec;
	BTN_frame1(2, 100.4f, 50, 61, 0);
	EXPECT_EQ(rec.count("Begin"), 1);
	const std::vector<quad> q = quads(rec);
	ASSERT_EQ(q.size(), 4u);
	const float want[4][4] = {{69, 79, 304, 314}, {79, 111, 314, 346}, {111, 121, 314, 321.619f}, {121, 131, 346, 356}};
	for (int i = 0; i < 4; ++i) {
		EXPECT_FLOAT_EQ(q[i].x0, want[i][0] + 5) << i;  // the sub-window origin is added
		EXPECT_FLOAT_EQ(q[i].x1, want[i][1] + 5) << i;
		EXPECT_NEAR(q[i].u0, want[i][2], 0.01) << i;
		EXPECT_NEAR(q[i].u1, want[i][3], 0.01) << i;
		EXPECT_NEAR(q[i].v0, 486, 0.01);
		EXPECT_NEAR(q[i].v1, 512, 0.01);
	}
}

TEST_F(WidgetDraw, PanelsOnTheirTexturesAndTheTitleBarBoxes)
{
	{
		gl_recorder rec;
		BTN_frame2(11, 20, 30, 200, 100, "");
		const std::vector<quad> q = quads(rec);
		ASSERT_GT(q.size(), 2u);
		EXPECT_FLOAT_EQ(q[0].x0, 11);
		EXPECT_FLOAT_EQ(q[0].x1, 46);
		EXPECT_FLOAT_EQ(q[0].y0, 16);
		EXPECT_FLOAT_EQ(q[0].y1, 46);
		// The two title-bar boxes of the sub-window come after the panel.
		const quad& right = q.back();
		EXPECT_FLOAT_EQ(right.x0, 700 - 25);
		EXPECT_FLOAT_EQ(right.y1, 500 - 1);
		EXPECT_NEAR(right.u0, 120, 0.01);
	}
	{
		mnw.wind_type = 0;  // the main screen has no title-bar boxes
		gl_recorder rec;
		BTN_frame2(11, 20, 30, 200, 100, "");
		EXPECT_NEAR(quads(rec).back().u1, 101, 0.01);
	}
	{
		gl_recorder rec;
		BTN_frame2(20, 10, 50, 190, 453, "");
		const std::vector<quad> q = quads(rec, 1024, 128);
		EXPECT_NEAR(q.front().u0, 982, 0.01);
		EXPECT_NEAR(q.front().v0, 2, 0.01);
		EXPECT_NEAR(q.back().u1, 1023, 0.01);
		EXPECT_NEAR(q.back().v1, 43, 0.01);
	}
}

TEST_F(WidgetDraw, SubWindowPanelsArePlacedOneAfterAnother)
{
	float nx = 0, ny = 0;
	gl_recorder rec;
	BTN_subwin(34, 16, -1, -1, 345, -1, "", &nx, &ny);
	EXPECT_FLOAT_EQ(nx, 365);
	EXPECT_FLOAT_EQ(ny, 448);
	const std::vector<quad> q = quads(rec);
	// Style 16 reaches 2 units past the panel (10, 10) 345 x 428.
	EXPECT_FLOAT_EQ(q.front().x0, 8);
	EXPECT_FLOAT_EQ(q.front().y0, 8);
	EXPECT_FLOAT_EQ(q.back().x1, 357);
	EXPECT_FLOAT_EQ(q.back().y1, 440);

	rec.clear();
	mnw.wind_type = 0;
	BTN_fillwin(0, 21);
	const std::vector<quad> w = quads(rec);
	ASSERT_FALSE(w.empty());
	for (const quad& p : w) {
		EXPECT_GE(p.u0, 102 - 0.01);  // only the window panel of style 12
		EXPECT_LE(p.u1, 202 + 0.01);
	}
	EXPECT_FLOAT_EQ(w.back().x1, 709);
	EXPECT_FLOAT_EQ(w.back().y1, 504);
}

TEST_F(WidgetDraw, BadFrameCallsEndInFatalAlerts)
{
	const struct {
		const char* text;
		std::function<void()> call;
	} cases[] = {
		{"Bad BTN_frame1 call!", [] { BTN_frame1(6, 10, 10, 50, 0); }},
		{"Bad BTN_frame0 call!", [] { BTN_frame0(5, 10, 10, 50); }},
		{"BTN_frame0 non-int x_center!", [] { BTN_frame0(6, 10.5f, 10, 50); }},
		{"BTN_frame0 non-int y_center!", [] { BTN_frame0(6, 10, 3.25f, 50); }},
		{"Bad BTN_frame2 call!", [] { BTN_frame2(21, 0, 0, 50, 50, "x"); }},
		{"Bad BTN_frame2 call!", [] { BTN_frame2(10, 0, 0, 50, 50, "x"); }},
	};
	for (const auto& c : cases) {
		alerts.clear();
		gl_recorder rec;
		c.call();
		ASSERT_EQ(alerts.size(), 1u) << c.text;
		EXPECT_EQ(alerts[0].line1, c.text);
		EXPECT_EQ(alerts[0].kind, alert_fatal);
		EXPECT_EQ(alerts[0].source_file, "DIzivoz/OOPS_cpp/butn");
		EXPECT_EQ(rec.count("Begin"), 0) << c.text << ": nothing is drawn";
	}
}

TEST_F(WidgetDraw, PushButtonHitBoxAndPressedLook)
{
	// Width 0 and an empty label: 21 wide, edges included.
	click(110.5f, 100);
	EXPECT_EQ(BTN_action(100, 100, 0, 0, 0, "", "-"), 1);
	click(110.6f, 100);
	EXPECT_EQ(BTN_action(100, 100, 0, 0, 0, "", "-"), 0);
	click(100, 110);
	EXPECT_EQ(BTN_action(100, 100, 0, 0, 0, "", "-"), 1);

	// A mode-1 press draws the pressed bar and swaps once; mode 0 and a lit
	// button do not swap.
	const std::string swap = gl_call_text("Color4f", 1.0f, 1.0f, 1.0f, 1.0f);
	const struct { int lit, mode, swaps; } cases[] = {{0, 1, 1}, {0, 0, 0}, {1, 1, 0}, {0, 2, 1}};
	for (const auto& c : cases) {
		gl_recorder rec;
		click(100, 100);
		EXPECT_EQ(BTN_action(100, 100, 80, c.lit, c.mode, "Next", "-"), 1);
		int swaps = 0;
		for (const std::string& call : rec.calls()) swaps += call == swap;
		EXPECT_EQ(swaps, c.swaps) << "lit " << c.lit << " mode " << c.mode;
	}
}

TEST_F(WidgetDraw, AnOpenMenuSilencesButtonsButNotTheTitleBarBoxes)
{
	mnw.menu_open = 2;
	int v = 0;
	click(100, 100);
	EXPECT_EQ(BTN_action(100, 100, 80, 0, 1, "Go", "-"), 0);
	EXPECT_EQ(BTN_bool(100, 100, &v, "Tick{?Help here", 0), 0);
	EXPECT_EQ(v, 0);
	EXPECT_EQ(stls[stls_entry_help], "");
	click(16, 490);
	EXPECT_EQ(BTN_zap_boxes(0), 1);

	mnw.menu_open = -1;
	no_mouse();
	mnw.mouse_x = 100, mnw.mouse_y = 100;
	EXPECT_EQ(BTN_bool(100, 100, &v, "Tick{?Help here", 0), 0);
	EXPECT_EQ(stls[stls_entry_help], "Help here");
}

TEST_F(WidgetDraw, LeftTitleBoxReturnsBeforeTheRightIsDrawn)
{
	gl_recorder rec;
	click(16, 490);
	EXPECT_EQ(BTN_zap_boxes(0), 1);
	EXPECT_EQ(quads(rec).size(), 1u);
	rec.clear();
	click(700 - 16, 490);
	EXPECT_EQ(BTN_zap_boxes(1), 1);
	const std::vector<quad> q = quads(rec);
	ASSERT_EQ(q.size(), 2u);
	EXPECT_NEAR(q[1].v0, 197, 0.01);
	rec.clear();
	click(350, 490);
	EXPECT_EQ(BTN_zap_boxes(0), 0);
}

TEST_F(WidgetDraw, ChoicesEditTheirVariables)
{
	int choice = 2;
	click(50, 50);
	EXPECT_EQ(BTN_is_int(50, 50, &choice, 2, "|Two"), 1) << "a click on the set choice still counts";
	EXPECT_EQ(choice, 2);
	EXPECT_EQ(BTN_is_int(50, 50, &choice, 3, "|Three"), 1);
	EXPECT_EQ(choice, 3);

	unsigned char byte = 7;
	no_mouse();
	{
		gl_recorder rec;
		BTN_xbyt(50, 50, &byte, "");
		ASSERT_EQ(quads(rec).size(), 2u) << "box and tick";
		EXPECT_NEAR(quads(rec)[1].v0, 197, 0.01);
	}
	EXPECT_EQ(byte, 7);
	click(50, 50);
	BTN_xbyt(50, 50, &byte, "");
	EXPECT_EQ(byte, 0);
	BTN_xbyt(50, 50, &byte, "");
	EXPECT_EQ(byte, 1);

	bool flag = true;
	BTN_xbol(50, 50, &flag, "");
	EXPECT_FALSE(flag);
	char c = 0;
	BTN_xchr(50, 50, &c, "");
	EXPECT_EQ(c, 1);
}

TEST_F(WidgetDraw, TabHitBoxIsUneven)
{
	const float cx = 53, cy = 500 - 38;
	const struct { float mx; int hit; } cases[] = {{cx - 50, 1}, {cx + 40, 1}, {cx - 51, 0}, {cx + 41, 0}, {cx + 45, 0}};
	for (const auto& c : cases) {
		int var = 0;
		click(c.mx, cy);
		EXPECT_EQ(BTN_tab(0, 0, &var, 4, "Tab"), c.hit) << c.mx;
		EXPECT_EQ(var, c.hit ? 4 : 0) << c.mx;
	}
	gl_recorder rec;
	int var = 4;
	no_mouse();
	BTN_tab(1, 1, &var, 4, "");
	const quad q = quads(rec).at(0);
	EXPECT_FLOAT_EQ(q.x0, 88 + 53 - 49);
	EXPECT_FLOAT_EQ(q.y1, 500 - 38 - 32 + 13);
	EXPECT_NEAR(q.v0, 486, 0.01);
}

TEST_F(WidgetDraw, DialFollowsTheHeldMouse)
{
	const struct { float dx, dy; float want; } cases[] = {{-10, 0, 270}, {10, 10, 45}, {0, 25, 0}, {31, 0, 123}};
	for (const auto& c : cases) {
		float heading = 123;
		click(200 + c.dx, 200 + c.dy);
		mnw.mouse_click = 0;  // held, not just pressed
		plot_dir(200, 200, &heading, 0);
		EXPECT_NEAR(heading, c.want, 1e-3) << c.dx << "," << c.dy;
	}
	float heading = 359.5f;
	no_mouse();
	plot_dir(200, 200, &heading, 1);
	EXPECT_FLOAT_EQ(heading, 359.5f);
}

// The atlas as the program reads it, rows from the bottom.
struct atlas_pixels {
	int w = 0, h = 0;
	std::vector<unsigned char> px;
	explicit atlas_pixels(const std::string& path)
	{
		xmap_class file(path);
		unsigned char* p = nullptr;
		TEX_image_desc d;
		if (TEX_load_png(path, &file, p, GL_RGBA, 0, 0, 0, d) == 1) {
			w = d.width, h = d.height;
			px.assign(p, p + size_t(w) * h * 4);
		}
		free(p);
	}
	int painted(float u0, float u1, float v0, float v1) const
	{
		int n = 0;
		for (int v = (int)std::floor(v0); v < (int)std::ceil(v1); ++v)
			for (int u = (int)std::floor(u0); u < (int)std::ceil(u1); ++u)
				n += px[(size_t(v % h) * w + u) * 4 + 3] > 0;
		return n;
	}
};

TEST_F(WidgetDraw, EveryCellTheWidgetsCutHoldsPaint)
{
	const atlas_pixels atlas(std::string(VENTORA_TEST_BIN_DIR) + "/Resources/interface.png");
	ASSERT_EQ(atlas.w, 512);
	const struct { const char* what; std::function<void()> draw; } kinds[] = {
		{"bars", [] { for (int s : {0, 1, 2, 3, 4, 5, 7, 8, 9, 10}) BTN_frame1(s, 300, 200, 120, 0); }},
		{"vertical bar", [] { BTN_frame0(6, 300, 200, 100); }},
		{"panels", [] { for (int s = 11; s <= 19; ++s) BTN_frame2(s, 100, 100, 300, 200, ""); }},
		{"check boxes", [] { int on = 1; BTN_bool(50, 50, &on, "", 0); BTN_bool(50, 50, &on, "", 1); }},
		{"tabs", [] { int v = 1; BTN_tab(0, 0, &v, 1, ""); BTN_tab(1, 0, &v, 2, ""); }},
		{"dial", [] { float h = 0; plot_dir(100, 100, &h, 0); plot_dir(100, 100, &h, 1); }},
		{"title-bar boxes", [] { BTN_zap_boxes(0); BTN_zap_boxes(1); }},
		{"menu arrow", [] { BTN_util_element(50, 50, 167, 187, 9, 9, 0); }},
	};
	for (const auto& k : kinds) {
		gl_recorder rec;
		k.draw();
		const std::vector<quad> q = quads(rec);
		ASSERT_FALSE(q.empty()) << k.what;
		for (const quad& c : q) {
			if (c.u1 - c.u0 < 0.5f || c.v1 - c.v0 < 0.5f) continue;  // an empty cut tile
			EXPECT_GT(atlas.painted(c.u0, c.u1, c.v0, c.v1), 0)
			    << k.what << ": " << c.u0 << ".." << c.u1 << " x " << c.v0 << ".." << c.v1;
		}
	}
}

// Start-up's colours 34-47 from the atlas's sample pixels.
void sample_theme(const atlas_pixels& a)
{
	auto px = [&](int u, int v) { return &a.px[(size_t(v) * a.w + u) * 4]; };
	const int slots[] = {34, 35, 36, 37, 38, 40, 41, 42, 43, 45, 46, 47};
	for (int i = 0; i < 12; ++i) {
		const unsigned char* p = px(319, 155 - 8 * i);
		colr.assign(slots[i], p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f);
	}
	const unsigned char* p = px(395, 115);
	colr.assign(44, p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f);
	for (int c = 0; c < 3; ++c) colr.rgb[39][c] = (colr.rgb[35][c] + colr.rgb[38][c]) / 2;
}

TEST_F(WidgetDraw, PageOfEveryKindLooksRightOnScreen)
{
	const atlas_pixels atlas(std::string(VENTORA_TEST_BIN_DIR) + "/Resources/interface.png");
	ASSERT_EQ(atlas.w, 512);
	sample_theme(atlas);
	MACIBM_alloc_scratch();
	ASSERT_GT(tman.load_texture(tex_fail_fatal, 392, 0x702, tex_loaded, "RESOURCE:interface.png"), 0);
	ASSERT_GT(tman.load_texture(tex_fail_fatal, 395, 0x502, tex_loaded, "RESOURCE:elements_English.png"), 0);
	ASSERT_TRUE(alerts.empty());

	// An 800 x 600 window showing a 700 x 500 sub-window in its middle.
	mnw.wind_x = 50, mnw.wind_y = 50;
	gl_pixel_view();
	OGL_nrml_colors();  // start-up sets ordinary alpha blending
	stls[stls_entry_title] = "Widgets";
	int tick = 0, radio = 1, tab = 0;
	float heading = 45;
	auto page = [&] {
		gl.ClearColor(0.5f, 0.5f, 0.5f, 1);
		gl.Clear(GL_COLOR_BUFFER_BIT);
		OGL_plot_back_col();
		BTN_fillwin(1, 1);
		float nx, ny;
		BTN_subwin(40, 13, -1, -1, 330, 300, "Choices", &nx, &ny);
		BTN_subwin(40, 15, nx, 10, -1, 300, "Progress", &nx, &ny);
		BTN_action(100, 60, 120, 0, 0, "Normal", "-");
		BTN_action(250, 60, 120, 1, 0, "Lit", "-");
		BTN_bool(60, 250, &tick, "|Tick me", 0);
		BTN_is_int(60, 220, &radio, 1, "|First");
		BTN_is_int(60, 200, &radio, 2, "|Second");
		BTN_tab(0, 2, &tab, 0, "General");
		BTN_tab(1, 2, &tab, 1, "Network");
		plot_dir(250, 200, &heading, 1);
		BTN_frame1(4, 520, 250, 280, 0);
		BTN_frame1(5, 450, 250, 140, 0);
		BTN_frame1(9, 450, 200, 80, 0);
		BTN_frame1(10, 450, 160, 100, 0);
		BTN_frame0(6, 620, 120, 100);
		BTN_frame2(20, 400, 30, 250, 80, "Wizard panel");
	};
	no_mouse();
	page();
	auto pixel = [](int x, int y) {
		unsigned char p[4] = {0, 0, 0, 0};
		gl.ReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
		return std::vector<int>{p[0], p[1], p[2]};
	};
	auto lum = [](const std::vector<int>& c) { return (c[0] + c[1] + c[2]) / 3; };
	// Window origin (50, 50): a normal button's middle is white-ish, the lit
	// one tinted with the accent (blue above red), the panel light, the
	// sub-window title bar the accent.
	const std::vector<int> normal = pixel(50 + 60, 50 + 60), lit = pixel(50 + 210, 50 + 60);
	EXPECT_GT(lum(normal), 235);
	EXPECT_GT(lit[2], lit[0] + 20);
	EXPECT_GT(lum(pixel(50 + 200, 50 + 40)), 230) << "panel";
	const std::vector<int> bar = pixel(50 + 350, 50 + 500 - 8);
	EXPECT_GT(bar[2], bar[0] + 80) << "title bar";
	const std::vector<int> box_before = pixel(50 + 60, 50 + 253);

	// A click on the check box ticks it: its middle turns to the accent.
	click(60, 252);
	page();
	EXPECT_EQ(tick, 1);
	no_mouse();
	page();
	const std::vector<int> box_after = pixel(50 + 60 - 4, 50 + 253 - 4);
	EXPECT_GT(lum(box_before), 230);
	EXPECT_GT(box_after[2], box_after[0] + 80);

	// Keep the page for looking at.
	MACIBM_alloc_scratch();
	gl.ReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, scratch_array);
	EXPECT_EQ(write_png_to_disk(std::string(VENTORA_TEST_BIN_DIR) + "/widget_page.png", 800, 600, 3), 1);
}

}  // namespace

namespace {

TEST_F(WidgetDraw, BoxedValueIsSizedByItsFont)
{
	const struct { int charset; const char* value; float half; } cases[] = {
		{1, "abc", 21},   // 10 per byte + 7 = 37, drawn 2 x 19 + 4
		{7, "abc", 52},   // unknown font: 100 wide
	};
	for (const auto& c : cases) {
		gl_recorder rec;
		OGL_boxed_string(200, 100, "Left|Right", c.value, c.charset, 45);
		const std::vector<quad> q = quads(rec);
		ASSERT_FALSE(q.empty());
		EXPECT_FLOAT_EQ(q.front().x0, 200 - c.half) << c.charset;
		EXPECT_NEAR(q.front().u0, 262, 0.01) << "the number-field bar";
	}
}

// An aircraft file (binary header, little-endian, then the 2092-byte block)
// cut to `block` bytes, with its icon beside it.
void write_plane(files_tmp& tmp, const std::string& name, int block)
{
	std::string s = std::string("i") + std::string{char(10000 & 255), char(10000 >> 8), 0, 0};
	std::string data(2092, '\0');
	data.replace(1552, 7, "Trainer");
	s += data.substr(0, block);
	tmp.write(name + ".acf", s);
	tmp.write(name + "_icon.png", vtest::make_png({2, 2, 6, 8}, std::vector<unsigned char>(16, 200)));
}

TEST_F(WidgetDraw, FileDialogShowsTheAircraftIconOnlyForAWholeFile)
{
	files_tmp tmp;
	write_plane(tmp, "whole", 2092);
	write_plane(tmp, "short", 2000);
	MACIBM_alloc_scratch();
	auto icon_quads = [](const gl_recorder& rec) {
		int n = 0;
		for (const quad& q : quads(rec)) n += q.x0 == 341 && q.x1 == 541 && q.y0 == 80 && q.y1 == 280;
		return n;
	};
	{
		gl_recorder rec;
		stand_io_dialog(998, 3, tmp("whole.acf"));
		EXPECT_EQ(icon_quads(rec), 1);
	}
	{
		gl_recorder rec;
		stand_io_dialog(998, 3, tmp("short.acf"));
		EXPECT_EQ(icon_quads(rec), 0) << "a truncated file shows no picture";
	}
	tmp.write("f.fdr", "I\n10001 Version\nCOMM Evening flight\n");
	gl_recorder rec;
	stand_io_dialog(998, 8, tmp("f.fdr"));
	EXPECT_EQ(icon_quads(rec), 0);
	for (const alert_record& a : alerts) ADD_FAILURE() << a.line1 << " / " << a.line2 << " / " << a.line3 << " / " << a.line4;
}

}  // namespace
