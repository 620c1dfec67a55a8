// Screen helpers on the real context: screenshots, scissors, the swap, the
// spectrum colour and material settings.
#include <SDL.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "Platform/plat_swap.h"
#include "tests/support/text_fixture.h"
#include "tests/support/gl_context.h"

namespace fs = std::filesystem;

class OglView : public gl_test {};

namespace {

// An offscreen frame of any size, bound for drawing and reading while it lives.
struct offscreen {
	GLuint fbo = 0, rb = 0;
	offscreen(int w, int h)
	{
		glGenFramebuffers(1, &fbo);
		glGenRenderbuffers(1, &rb);
		glBindRenderbuffer(GL_RENDERBUFFER, rb);
		glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
		glBindFramebuffer(GL_FRAMEBUFFER, fbo);
		glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb);
		EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), (GLenum)GL_FRAMEBUFFER_COMPLETE);
		glViewport(0, 0, w, h);
	}
	~offscreen()
	{
		glBindFramebuffer(GL_FRAMEBUFFER, 0);
		glDeleteFramebuffers(1, &fbo);
		glDeleteRenderbuffers(1, &rb);
	}
};

// Clears a rectangle of the bound frame to a colour.
void paint(int x, int y, int w, int h, float r, float g, float b)
{
	glEnable(GL_SCISSOR_TEST);
	glScissor(x, y, w, h);
	glClearColor(r, g, b, 1);
	glClear(GL_COLOR_BUFFER_BIT);
	glDisable(GL_SCISSOR_TEST);
}

struct size_saver {
	int x = mnw.x_res, y = mnw.y_res;
	~size_saver()
	{
		mnw.x_res = x;
		mnw.y_res = y;
	}
};

struct cwd_in_temp {
	fs::path old = fs::current_path();
	fs::path dir = fs::temp_directory_path() / ("ogl_view_" + std::to_string(getpid()));
	cwd_in_temp()
	{
		fs::remove_all(dir);
		fs::create_directories(dir);
		fs::current_path(dir);
	}
	~cwd_in_temp()
	{
		fs::current_path(old);
		fs::remove_all(dir);
	}
};

bool read_png_rgb(const std::string& path, int& w, int& h, std::vector<unsigned char>& rgb)
{
	png_image img{};
	img.version = PNG_IMAGE_VERSION;
	if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
	img.format = PNG_FORMAT_RGB;
	w = (int)img.width;
	h = (int)img.height;
	rgb.resize(PNG_IMAGE_SIZE(img));
	// Bottom row first, as OpenGL reads.
	return png_image_finish_read(&img, nullptr, rgb.data(), -(png_int_32)PNG_IMAGE_ROW_STRIDE(img),
	                             nullptr) != 0;
}

}  // namespace

TEST_F(OglView, ScreenshotsMatchTheFrameAndTakeTheNextFreeNumber)
{
	MACIBM_alloc_scratch();
	size_saver keep;
	cwd_in_temp cwd;
	const int W = 801, H = 601;  // rows that are not a multiple of 4 bytes
	offscreen frame(W, H);
	mnw.x_res = W;
	mnw.y_res = H;
	paint(0, 0, W, H, 0, 0, 0);
	paint(0, 0, 400, 300, 1, 0, 0);
	paint(400, 300, 401, 301, 0, 0, 1);
	paint(17, 500, 3, 7, 0, 1, 0);
	std::vector<unsigned char> want((size_t)W * H * 3);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, want.data());
	glPixelStorei(GL_PACK_ALIGNMENT, 4);

	{ std::ofstream("screenshot_0.png") << "x"; }
	{ std::ofstream("screenshot_1.png") << "x"; }
	OGL_screenshot(0);
	EXPECT_FALSE(fs::exists("screenshot_2.png")) << "write 0 writes nothing";
	OGL_screenshot(1);
	ASSERT_TRUE(fs::exists("screenshot_2.png"));
	int w = 0, h = 0;
	std::vector<unsigned char> got;
	ASSERT_TRUE(read_png_rgb("screenshot_2.png", w, h, got));
	EXPECT_EQ(w, W);
	EXPECT_EQ(h, H);
	EXPECT_TRUE(got == want) << "the PNG holds the frame pixel for pixel";
	GLint align = 0;
	glGetIntegerv(GL_PACK_ALIGNMENT, &align);
	EXPECT_EQ(align, 4) << "pack alignment restored";

	OGL_screenshot(1);  // the count goes on from 2
	EXPECT_TRUE(fs::exists("screenshot_3.png"));
}

TEST_F(OglView, ScreenshotOfAWideWindowIsItsCentre)
{
	size_saver keep;
	mnw.x_res = 3000;
	mnw.y_res = 1000;
	gl_recorder rec;
	rec.pass_through(false);
	OGL_screenshot(0);
	EXPECT_EQ(rec.only({"ReadPixels"}),
	          (std::vector<std::string>{gl_call_text("ReadPixels", 476, 0, 2048, 1000, GL_RGB,
	                                                 GL_UNSIGNED_BYTE, (void*)scratch_array)}));
}

TEST_F(OglView, ScissorsTakeWindowPixelsAndNeverANegativeSize)
{
	const float keep_x = mnw.wind_x, keep_y = mnw.wind_y, keep_s = mnw.gui_scale;
	mnw.wind_x = 100;
	mnw.wind_y = 50;
	mnw.gui_scale = 1;
	struct row {
		float x, y, w, h;
		GLint box[4];
	};
	const row rows[] = {
	    {10, 20, 30, 40, {110, 70, 30, 40}},
	    {10, 20, -5, 40, {110, 70, 0, 40}},
	    {10.7f, 20.2f, 5.5f, -1, {110, 70, 5, 0}},
	};
	for (const row& r : rows) {
		OGL_scissors(r.x, r.y, r.w, r.h);
		GLint box[4];
		glGetIntegerv(GL_SCISSOR_BOX, box);
		EXPECT_EQ(std::vector<GLint>(box, box + 4), std::vector<GLint>(r.box, r.box + 4));
		EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
	}
	OGL_scissors_end();
	EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
	mnw.wind_x = keep_x;
	mnw.wind_y = keep_y;
	mnw.gui_scale = keep_s;
}

static std::vector<void*> g_swapped;

TEST_F(OglView, SwapShowsTheCurrentWindowInWhiteWithTheGlobalAlpha)
{
	g_swapped.clear();
	APL_set_swap_hook([](void* w) { g_swapped.push_back(w); });
	ren.global_alpha = 0.5f;
	{
		gl_recorder rec;
		OGL_sbuff();
		EXPECT_EQ(rec.calls(), (std::vector<std::string>{gl_call_text("Color4f", 1.0f, 1.0f, 1.0f, 0.5f)}));
	}
	ren.monochrome = 1;
	{
		gl_recorder rec;
		OGL_sbuff();
		EXPECT_EQ(rec.calls(), (std::vector<std::string>{gl_call_text("Color4f", 0.0f, 1.0f, 0.0f, 0.5f)}));
	}
	ren.monochrome = 0;
	ren.global_alpha = 1;
	// Profile markers on both sides of the swap.
	{
		text_sandbox box;
		box.take_log();
		mnw.profiling = 1;
		OGL_sbuff();
		mnw.profiling = 0;
		std::string log = box.take_log();
		EXPECT_NE(log.find("sb1="), std::string::npos) << log;
		EXPECT_LT(log.find("sb1="), log.find("sb2="));
	}
	// The window of the current context, not window 0: a second window made
	// current with the same context is the one swapped.
	SDL_Window* other = SDL_CreateWindow("Ventora second", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
	ASSERT_NE(other, nullptr) << SDL_GetError();
	ASSERT_EQ(SDL_GL_MakeCurrent(other, mnw.context[0]), 0) << SDL_GetError();
	OGL_sbuff();
	SDL_GL_MakeCurrent(static_cast<SDL_Window*>(mnw.window[0]), mnw.context[0]);
	SDL_DestroyWindow(other);
	APL_set_swap_hook(nullptr);
	EXPECT_EQ(g_swapped, (std::vector<void*>{mnw.window[0], mnw.window[0], mnw.window[0], other}));
	EXPECT_NE(mnw.window[0], nullptr);
}

TEST_F(OglView, SpectrumColoursAndMaterialSettings)
{
	const float nan = std::numeric_limits<float>::quiet_NaN();
	struct row {
		float v;
		float rgb[3];
	};
	const row rows[] = {
	    {0.25f, {1, 0.16f, 0.04f}},  // halfway red to orange
	    {-1, {0, 0, 0}},
	    {2, {0.8f, 0, 0.8f}},        // violet
	    {1, {0.8f, 0, 0.8f}},
	    {0, {0, 0, 0}},
	    {nan, {0, 0, 0}},
	};
	ren.global_alpha = 0.75f;
	for (const row& r : rows) {
		SCOPED_TRACE(r.v);
		OGL_spectrum_rgb(r.v);
		GLfloat c[4];
		glGetFloatv(GL_CURRENT_COLOR, c);
		for (int i = 0; i < 3; ++i) EXPECT_NEAR(c[i], r.rgb[i], 1e-5);
		EXPECT_FLOAT_EQ(c[3], 0.75f);
	}
	ren.monochrome = 1;
	OGL_spectrum_rgb(0.25f);  // green of the component sum, cut to 1
	GLfloat c[4];
	glGetFloatv(GL_CURRENT_COLOR, c);
	EXPECT_FLOAT_EQ(c[0], 0);
	EXPECT_FLOAT_EQ(c[1], 1);
	OGL_spectrum_rgb(-1);  // black still shows a little
	glGetFloatv(GL_CURRENT_COLOR, c);
	EXPECT_FLOAT_EQ(c[1], 0.01f);
	ren.monochrome = 0;
	ren.global_alpha = 1;

	OGL_setspec(0.5f);
	GLfloat spec[4];
	glGetLightfv(GL_LIGHT0, GL_SPECULAR, spec);
	EXPECT_EQ(std::vector<float>(spec, spec + 4), (std::vector<float>{0.5f, 0.5f, 0.5f, 1}));
	glGetMaterialfv(GL_FRONT, GL_SPECULAR, spec);
	EXPECT_EQ(std::vector<float>(spec, spec + 4), (std::vector<float>{0.5f, 0.5f, 0.5f, 1}));
	glGetMaterialfv(GL_FRONT, GL_SHININESS, spec);
	EXPECT_EQ(spec[0], 128);

	OGL_poly_offset(2);
	EXPECT_TRUE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
	GLfloat f;
	glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &f);
	EXPECT_EQ(f, -20);
	glGetFloatv(GL_POLYGON_OFFSET_UNITS, &f);
	EXPECT_EQ(f, -1);
	OGL_poly_offset(0);
	EXPECT_FALSE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
}

TEST_F(OglView, ScreensizeSetsOnlyTheViewport)
{
	const float keep = mnw.gui_scale;
	mnw.gui_scale = 2;
	struct row {
		int type;
		float x0, y0, x1, y1;
		std::vector<GLint> vp;
	};
	const row rows[] = {
	    {2, 5, 5, 5, 5, {0, 0, mnw.x_res, mnw.y_res}},
	    {3, 10, 20, 110.7f, 70, {20, 40, 201, 100}},
	    {1, 10, 20, 110, 70, {10, 20, 100, 50}},
	};
	for (const row& r : rows) {
		OGL_screensize(r.type, r.x0, r.y0, r.x1, r.y1);
		GLint vp[4];
		glGetIntegerv(GL_VIEWPORT, vp);
		EXPECT_EQ(std::vector<GLint>(vp, vp + 4), r.vp) << "type " << r.type;
	}
	mnw.gui_scale = keep;
	glViewport(0, 0, mnw.x_res, mnw.y_res);
}
