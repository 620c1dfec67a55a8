// One test page drawn on the real context and read back before the swap:
// a filled rectangle, a one-pixel line and an outline, text, and the
// background tiles of a picture placed on the window.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OGL/OGL_camera.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "tests/support/gl_context.h"

namespace fs = std::filesystem;

namespace {

struct frame_pixels {
	int w, h;
	std::vector<unsigned char> rgb;
	frame_pixels() : w(mnw.x_res), h(mnw.y_res), rgb((size_t)w * h * 3)
	{
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
		glPixelStorei(GL_PACK_ALIGNMENT, 4);
	}
	const unsigned char* at(int x, int y) const { return &rgb[((size_t)y * w + x) * 3]; }
	bool lit(int x, int y) const
	{
		const unsigned char* p = at(x, y);
		return p[0] > 40 || p[1] > 40 || p[2] > 40;
	}
	unsigned rgb_at(int x, int y) const
	{
		const unsigned char* p = at(x, y);
		return (unsigned)p[0] << 16 | (unsigned)p[1] << 8 | p[2];
	}
};

// A PNG of w x h whose four quadrants have their own colour (top row first).
void write_quadrant_png(const std::string& path, int w, int h, const unsigned q[4])
{
	std::vector<unsigned char> px((size_t)w * h * 4);
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			// q: bottom-left, bottom-right, top-left, top-right
			int top = y < h / 2, right = x >= w / 2;
			unsigned c = q[(top ? 2 : 0) + right];
			unsigned char* p = &px[((size_t)y * w + x) * 4];
			p[0] = c >> 16;
			p[1] = c >> 8;
			p[2] = c;
			p[3] = 255;
		}
	png_image img{};
	img.version = PNG_IMAGE_VERSION;
	img.width = w;
	img.height = h;
	img.format = PNG_FORMAT_RGBA;
	ASSERT_TRUE(png_image_write_to_file(&img, path.c_str(), 0, px.data(), 0, nullptr));
}

class OglPage : public gl_test {
protected:
	void SetUp() override
	{
		gl_test::SetUp();
		MACIBM_alloc_scratch();
		MACIBM_fill_lookup();
		saved_ = mnw;
		mnw.wind_type = 0;
		mnw.wind_x = mnw.wind_y = 0;
		OGL_pix_specs(0);
		OGL_nrml_colors();  // the context's blending, as the shell sets it up
		colr.assign(50, 1, 0, 0);  // entries above 45 are drawn as stored
		colr.assign(51, 0, 1, 0);
		colr.assign(52, 1, 1, 1);
		gl.ClearColor(0, 0, 0, 1);
		gl.Clear(GL_COLOR_BUFFER_BIT);
	}
	void TearDown() override
	{
		mnw.wind_type = saved_.wind_type;
		mnw.wind_x = saved_.wind_x;
		mnw.wind_y = saved_.wind_y;
	}
	mnw_struct saved_;
};

}  // namespace

TEST_F(OglPage, RectanglesLinesOutlinesAndTextLightTheirPixels)
{
	OGL_fillrect(50, 1, 100, 100, 50, 40);
	OGL_line(51, 1, 200, 100, 260, 100);
	OGL_framerect(51, 1, 300, 100, 20, 10);
	const float tx = 400, ty = 100;
	const std::string text = "Ventora \xC3\xA9t\xC3\xA9 gyp";
	OGL_font_string(52, tx, ty, text, 9999, 0, 0, 0);

	// Bold text and numbers higher up, to look at.
	OGL_font_string(52, 100, 300, "The quick brown fox jumps over the lazy dog 0123456789", 9999, 1, 0, 0);
	OGL_font_string(52, 100, 280, "Wrapped text steps down ten units per line when it is too wide.", 200, 0, 0, 0);
	OGL_number(52, 100, 200, 1234567, 7, 0, 0);
	OGL_number(52, 300, 200, -12.5f, 4, 2, 1);
	frame_pixels f;

	// Filled rectangle: exactly x 100..149, y 100..139.
	EXPECT_EQ(f.rgb_at(100, 100), 0xFF0000u);
	EXPECT_EQ(f.rgb_at(149, 139), 0xFF0000u);
	EXPECT_FALSE(f.lit(99, 100));
	EXPECT_FALSE(f.lit(150, 100));
	EXPECT_FALSE(f.lit(100, 99));
	EXPECT_FALSE(f.lit(100, 140));
	// One-pixel line on row 100, columns 200..259.
	for (int x = 200; x < 260; ++x) ASSERT_EQ(f.rgb_at(x, 100), 0x00FF00u) << x;
	EXPECT_FALSE(f.lit(200, 99));
	EXPECT_FALSE(f.lit(200, 101));
	EXPECT_FALSE(f.lit(199, 100));
	EXPECT_FALSE(f.lit(260, 100));
	// Outline on the pixel centres of columns 300 and 320, rows 100 and 110.
	for (auto [x, y] : {std::pair{300, 100}, {320, 100}, {320, 110}, {300, 110}, {310, 100}, {300, 105},
	                    {320, 105}, {310, 110}})
		EXPECT_EQ(f.rgb_at(x, y), 0x00FF00u) << x << "," << y;
	EXPECT_FALSE(f.lit(310, 105));
	EXPECT_FALSE(f.lit(299, 105));
	EXPECT_FALSE(f.lit(321, 105));
	EXPECT_FALSE(f.lit(310, 99));

	// Text: lit only inside the union of its glyph boxes, and lit there.
	OGL_font_info* font = sFont[0];
	std::vector<std::array<int, 4>> boxes;
	float pen = tx;
	const unsigned char* b = (const unsigned char*)text.data();
	const unsigned char* e = b + text.size();
	for (const unsigned char* p = b; p < e; p = OGL_utf8_next(p, b, e)) {
		const OGL_char_info* c = font->find(OGL_utf8_decode(p, e));
		ASSERT_NE(c, nullptr);
		int xl = (int)floorf(pen + c->left), yb = (int)floorf(ty + c->bottom);
		boxes.push_back({xl, yb, xl + (c->x1 - c->x0), yb + (c->y1 - c->y0)});
		pen += c->advance;
	}
	int inside_lit = 0;
	for (int y = (int)ty - 10; y < (int)ty + 20; ++y)
		for (int x = (int)tx - 10; x < (int)pen + 10; ++x) {
			bool in = false;
			for (auto& bx : boxes) in |= x >= bx[0] && x < bx[2] && y >= bx[1] && y < bx[3];
			if (in)
				inside_lit += f.lit(x, y);
			else
				ASSERT_FALSE(f.lit(x, y)) << "outside every glyph box: " << x << "," << y;
		}
	EXPECT_GT(inside_lit, 60);

	// Save the page to look at.
	if (const char* keep = getenv("VENTORA_KEEP_PAGE")) {
		fs::path old = fs::current_path();
		fs::current_path(keep);
		OGL_screenshot(1);
		fs::current_path(old);
	}
}

TEST_F(OglPage, AlertResetEndsWhatADrawingCallLeftOpenBeforeTheAlertDraws)
{
	const struct {
		const char* what;
		bool block, list;
	} cases[] = {{"nothing open", false, false},
	             {"begin/end block", true, false},
	             {"display list", false, true},
	             {"block inside a list", true, true}};
	const GLuint list = glGenLists(1);
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		gl.Clear(GL_COLOR_BUFFER_BIT);
		if (c.list) glNewList(list, GL_COMPILE);
		if (c.block) {
			glBegin(GL_QUADS);
			glVertex2f(0, 0);
		}
		shell_alert_reset_gl();
		EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
		GLint open_list = -1;
		glGetIntegerv(GL_LIST_INDEX, &open_list);
		EXPECT_EQ(open_list, 0);
		OGL_fillrect(50, 1, 100, 100, 50, 40);
		frame_pixels f;
		EXPECT_EQ(f.rgb_at(120, 120), 0xFF0000u);
	}
	glDeleteLists(list, 1);
}

TEST_F(OglPage, BackgroundTilesPlaceAPictureOnTheWindow)
{
	fs::path old = fs::current_path();
	fs::path dir = fs::temp_directory_path() / ("ogl_page_" + std::to_string(getpid()));
	fs::create_directories(dir / "Resources/bitmaps");
	fs::current_path(dir);
	const unsigned q[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};  // BL, BR, TL, TR
	write_quadrant_png("Resources/bitmaps/intro.png", 1000, 700, q);
	mnw.wind_type = -1;
	OGL_make_back_tex();
	EXPECT_EQ(back_dx, 1000);
	EXPECT_EQ(back_dy, 700);
	gl.Clear(GL_COLOR_BUFFER_BIT);
	OGL_plot_back_tex();
	mnw.wind_type = 0;
	frame_pixels f;
	if (const char* keep = getenv("VENTORA_KEEP_PAGE")) {
		fs::current_path(keep);
		OGL_screenshot(1);
	}
	fs::current_path(old);
	fs::remove_all(dir);

	// Right edges meet at x 800 (picture x 200..999 shows); the picture's
	// bottom 600 rows show. Quadrant edges: picture (500, 350) -> window (300, 350).
	struct probe {
		int x, y;
		unsigned rgb;
	};
	const probe probes[] = {
	    {0, 0, q[0]},     {296, 346, q[0]}, {304, 346, q[1]}, {799, 0, q[1]},   {296, 354, q[2]},
	    {0, 599, q[2]},   {304, 354, q[3]}, {799, 599, q[3]}, {310, 100, q[1]}, {315, 100, q[1]},
	    {310, 520, q[3]}, {315, 515, q[3]}, {100, 512, q[2]}, {100, 509, q[2]},
	};
	for (const probe& p : probes) EXPECT_EQ(f.rgb_at(p.x, p.y), p.rgb) << p.x << "," << p.y;
}

// ---- viewport ------------------------------------------------------------------

TEST_F(OglPage, PixSpecsLayOutTheWindow)
{
	struct row {
		int w, h, type;
		float margin_x, margin_y;
	};
	const row rows[] = {
	    {800, 600, 0, 0, 0},
	    {1280, 1024, 0, 128, 256},
	    {1280, 1024, -1, 0, 256},  // no sub-window yet
	};
	const int keep_w = mnw.x_res, keep_h = mnw.y_res;
	for (const row& r : rows) {
		SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h) + " type " + std::to_string(r.type));
		mnw.x_res = r.w;
		mnw.y_res = r.h;
		mnw.wind_type = r.type;
		gl.Viewport(1, 2, 3, 4);
		OGL_pix_specs(0);
		EXPECT_EQ(mnw.gui_scale, 1.0f);
		EXPECT_EQ(mnw.margin_x, r.margin_x);
		EXPECT_EQ(mnw.margin_y, r.margin_y);
		EXPECT_EQ(mnw.center_x, r.w * 0.5f);
		EXPECT_EQ(mnw.center_y, 384.0f);
		EXPECT_EQ(mnw.ortho_left, 0.0f);
		EXPECT_EQ(mnw.ortho_bottom, 0.0f);
		EXPECT_EQ(mnw.ortho_right, (float)r.w);
		EXPECT_EQ(mnw.ortho_top, (float)r.h);
		GLint vp[4];
		glGetIntegerv(GL_VIEWPORT, vp);
		if (r.type >= 0)
			EXPECT_EQ(std::vector<GLint>(vp, vp + 4), (std::vector<GLint>{0, 0, r.w, r.h}));
		else
			EXPECT_EQ(std::vector<GLint>(vp, vp + 4), (std::vector<GLint>{1, 2, 3, 4})) << "no viewport yet";
	}
	mnw.x_res = keep_w;
	mnw.y_res = keep_h;
	mnw.wind_type = 0;
	OGL_pix_specs(0);
}

TEST_F(OglPage, ViewportProjectionsMatchOpenGLsOwn)
{
	auto gl_matrix = [](auto setup) {
		glMatrixMode(GL_PROJECTION);
		glLoadIdentity();
		setup();
		std::vector<double> m(16);
		glGetDoublev(GL_PROJECTION_MATRIX, m.data());
		return m;
	};
	struct row {
		const char* name;
		std::function<void()> call;
		std::function<void()> reference;
		std::vector<GLint> viewport;
	};
	const row rows[] = {
	    {"2-D", [] { OGL_viewport(2, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 1, 0); },
	     [] { glOrtho(0, 800, 0, 600, -1, 1); }, {0, 0, 800, 600}},
	    {"2-D keeping the aspect", [] { OGL_viewport(2, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 1, 1); },
	     [] { glOrtho(0, 800, 0, 450, -1, 1); }, {0, 0, 800, 600}},
	    {"2-D zoomed", [] { OGL_viewport(2, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 2, 0); },
	     [] { glOrtho(0, 400, 0, 300, -1, 1); }, {0, 0, 800, 600}},
	    {"3-D slopes times near", [] { OGL_viewport(3, -0.5f, 10, -0.4f, 20, 0.5f, 410, 2, 0.4f, 320, 100, 1, 0); },
	     [] { glFrustum(-1, 1, -0.8, 0.8, 2, 100); }, {10, 20, 400, 300}},
	    {"3-D keeping the aspect", [] { OGL_viewport(3, -0.5f, 0, -0.5f, 0, 0.5f, 400, 2, 0.5f, 200, 100, 1, 1); },
	     [] { glFrustum(-1, 1, -0.5, 0.5, 2, 100); }, {0, 0, 400, 200}},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		std::vector<double> want = gl_matrix(r.reference);
		r.call();
		std::vector<double> got(16), mv(16);
		glGetDoublev(GL_PROJECTION_MATRIX, got.data());
		glGetDoublev(GL_MODELVIEW_MATRIX, mv.data());
		for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], want[i], 1e-6 * (1 + fabs(want[i]))) << i;
		for (int i = 0; i < 16; ++i) EXPECT_EQ(mv[i], i % 5 == 0 ? 1.0 : 0.0) << "modelview identity";
		GLint vp[4];
		glGetIntegerv(GL_VIEWPORT, vp);
		EXPECT_EQ(std::vector<GLint>(vp, vp + 4), r.viewport);
		EXPECT_EQ(xcam.modelview_stale, 0);
	}
	OGL_pix_specs(0);
}

TEST_F(OglPage, BackgroundPictureMissingOrTooLargeRaisesItsAlert)
{
	fs::path old = fs::current_path();
	fs::path dir = fs::temp_directory_path() / ("ogl_back_" + std::to_string(getpid()));
	fs::create_directories(dir / "Resources/bitmaps");
	fs::current_path(dir);
	std::vector<alert_record> alerts;
	MACIBM_set_alert_sink([&](const alert_record& a) { alerts.push_back(a); });
	back_dx = back_dy = 7;
	mnw.wind_type = -1;
	OGL_make_back_tex();  // missing
	const unsigned q[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
	write_quadrant_png("Resources/bitmaps/intro.png", 2049, 8, q);
	OGL_make_back_tex();  // wider than the 2048-pixel rows
	mnw.wind_type = 0;
	OGL_make_back_tex();  // only before the first sub-window: nothing
	MACIBM_set_alert_sink({});
	fs::current_path(old);
	fs::remove_all(dir);

	ASSERT_EQ(alerts.size(), 2u);
	for (const alert_record& a : alerts) {
		EXPECT_EQ(a.line1, "Trying to load a texture that you do not have!");
		EXPECT_EQ(a.line2, "This smacks of a mis-installed copy of Ventora!");
		EXPECT_EQ(a.line3, "Please download a new copy of Ventora from www.tarnwick.example. The missing file is:");
		EXPECT_EQ(a.line4, "Resources/bitmaps/intro.png");
		EXPECT_EQ(a.kind, alert_fatal);
		EXPECT_EQ(a.source_file, "DIzivoz/OOPS_cpp/oglp");
		EXPECT_EQ(a.source_line, 1156);
	}
	EXPECT_EQ(back_dx, 7);
	EXPECT_EQ(back_dy, 7);
	back_dx = back_dy = 0;
}

TEST_F(OglPage, QuadsBindTheirTextureWithItsEnvironmentAndBackColourFillsTheWindow)
{
	mnw.wind_x = 40;
	mnw.wind_y = 30;
	glext_restore keep;
	glExt.combine_avail = 1;  // as the probe finds it on Mesa
	TEX_reset_bind();
	GLint env = 0;
	OGL_2dquad(5, 50, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 5);
	glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
	EXPECT_EQ(env, GL_MODULATE);
	OGL_2dquad(420, 50, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 5);
	glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
	EXPECT_EQ(env, GL_COMBINE) << "reference 420 draws with environment recipe 17";
	OGL_2dquad(5, 50, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 5);

	colr.assign(34, 0, 0, 1);
	gl.Clear(GL_COLOR_BUFFER_BIT);
	OGL_plot_back_col();
	frame_pixels f;
	EXPECT_EQ(f.rgb_at(0, 0), 0x0000FFu);
	EXPECT_EQ(f.rgb_at(799, 599), 0x0000FFu);
	EXPECT_EQ(f.rgb_at(400, 10), 0x0000FFu);
}
