// The render-to-texture target on the real Mesa context: framebuffer objects
// with a depth renderbuffer or a depth texture, the copy fallback halved to
// fit the window, `mnw` described as the target and restored, textures kept
// or recreated by size, mipmaps and the incomplete-framebuffer alert.
#include <cstring>

#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_framebuffer.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "tests/support/gl_periphery.h"
#include "tests/support/thread_capture.h"

namespace {

struct mnw_view {
	float ortho[4];
	float margin_x;
	int x_res, y_res;
	bool operator==(const mnw_view& o) const
	{
		return memcmp(ortho, o.ortho, sizeof ortho) == 0 && margin_x == o.margin_x && x_res == o.x_res &&
		       y_res == o.y_res;
	}
};

mnw_view view_of_mnw()
{
	return {{mnw.ortho_left, mnw.ortho_bottom, mnw.ortho_right, mnw.ortho_top}, mnw.margin_x, mnw.x_res, mnw.y_res};
}

std::string view_text(const mnw_view& v)
{
	char b[160];
	snprintf(b, sizeof b, "ortho (%g, %g, %g, %g) margin %g window %d x %d", v.ortho[0], v.ortho[1], v.ortho[2],
	         v.ortho[3], v.margin_x, v.x_res, v.y_res);
	return b;
}

// A quad in the target's clip space at depth z.
void quad(float x0, float y0, float x1, float y1, float z, float r, float g, float b)
{
	gl.Color3f(r, g, b);
	gl.Begin(GL_QUADS);
	gl.Vertex3f(x0, y0, z);
	gl.Vertex3f(x1, y0, z);
	gl.Vertex3f(x1, y1, z);
	gl.Vertex3f(x0, y1, z);
	gl.End();
}

struct texture_image {
	int w = 0, h = 0;
	std::vector<unsigned char> rgba;
	std::array<int, 3> at(int x, int y) const
	{
		const unsigned char* p = &rgba[((size_t)y * w + x) * 4];
		return {p[0], p[1], p[2]};
	}
};

texture_image read_texture(int ref, int level = 0)
{
	texture_image t;
	gl.BindTexture(GL_TEXTURE_2D, (GLuint)ref);
	gl.GetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &t.w);
	gl.GetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &t.h);
	t.rgba.assign((size_t)t.w * t.h * 4, 0);
	gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
	gl.GetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, t.rgba.data());
	TEX_reset_bind();
	return t;
}

GLint framebuffer_binding()
{
	GLint b = -1;
	gl.GetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &b);
	return b;
}

class framebuffer_test : public gl_test {
protected:
	void SetUp() override
	{
		gl_test::SetUp();
		if (HasFatalFailure()) return;
		ASSERT_TRUE(glExt.framebuf_avail);
		MACIBM_alloc_scratch();
		mnw.tex_res = 5;
		mnw.x_res = 800;
		mnw.y_res = 600;
		gl_plain_state();
		OGL_setstate_forget();
		TEX_reset_bind();
		// A window description the passes must give back untouched.
		mnw.ortho_left = -1.5f;
		mnw.ortho_bottom = -2.25f;
		mnw.ortho_right = 801.5f;
		mnw.ortho_top = 603.75f;
		mnw.margin_x = 12.5f;
		before = view_of_mnw();
	}
	void TearDown() override
	{
		// Also reached when SetUp found no context.
		if (glExt.glBindFramebufferEXT) glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
		mnw.x_res = 800;
		mnw.y_res = 600;
	}
	// The target's viewport and an identity projection, as a caller sets them
	// from mnw; depth test and writes on when asked.
	void target_view(bool depth)
	{
		gl.Viewport(0, 0, mnw.x_res, mnw.y_res);
		gl.MatrixMode(GL_PROJECTION);
		gl.LoadIdentity();
		gl.MatrixMode(GL_MODELVIEW);
		gl.LoadIdentity();
		OGL_setstate(1, 0, 3, 4, depth ? 8 : 9, depth ? 10 : 11);
		gl.ClearDepth(1.0);
		gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
	}
	void end_view() { OGL_setstate(1, 0, 3, 4, 9, 11); }

	mnw_view before{};
};

}  // namespace

TEST_F(framebuffer_test, depth_renderbuffer_keeps_the_near_quad)
{
	const float flushes = stat_value("fbo/flush_per_frame");
	OGL_framebuffer target(600, 55, 0x02, 256, 256, 77);
	target.begin_render(1);
	EXPECT_EQ(framebuffer_binding(), 55);
	EXPECT_EQ(view_of_mnw(), (mnw_view{{0, 0, 256, 256}, 0, 256, 256})) << view_text(view_of_mnw());
	target_view(true);
	quad(-1, -1, 0.5f, 1, -0.5f, 1, 0, 0);  // near, drawn first
	quad(-0.5f, -1, 1, 1, 0.5f, 0, 1, 0);   // far, overlapping it
	end_view();
	target.end_render();
	EXPECT_EQ(view_of_mnw(), before) << view_text(view_of_mnw());
	EXPECT_EQ(framebuffer_binding(), 0);
	EXPECT_EQ(stat_value("fbo/flush_per_frame"), flushes + 1);

	texture_image t = read_texture(600);
	ASSERT_EQ(t.w, 256);
	ASSERT_EQ(t.h, 256);
	EXPECT_TRUE(near_rgb(t.at(10, 128), {255, 0, 0}));
	EXPECT_TRUE(near_rgb(t.at(128, 128), {255, 0, 0})) << "overlap " << rgb_text(t.at(128, 128));
	EXPECT_TRUE(near_rgb(t.at(240, 128), {0, 255, 0}));
	GLint w = 0, fmt = 0;
	glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 77);
	glExt.glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_WIDTH_EXT, &w);
	glExt.glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_INTERNAL_FORMAT_EXT, &fmt);
	glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
	EXPECT_EQ(w, 256);
	EXPECT_EQ(fmt, GL_DEPTH_COMPONENT24);
}

TEST_F(framebuffer_test, depth_texture_target_takes_the_depth)
{
	OGL_framebuffer target(605, 59, 0x06, 64, 64, 0);
	target.begin_render(1);
	target_view(true);
	quad(-1, -1, 1, 1, 0.0f, 1, 1, 1);
	end_view();
	GLint draw = -1;
	gl.GetIntegerv(GL_DRAW_BUFFER, &draw);
	EXPECT_EQ(draw, GL_NONE);
	target.end_render();
	EXPECT_EQ(view_of_mnw(), before);
	float depth[64 * 64];
	gl.BindTexture(GL_TEXTURE_2D, 605);
	gl.GetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depth);
	TEX_reset_bind();
	EXPECT_NEAR(depth[32 * 64 + 32], 0.5f, 0.01f);
	EXPECT_NEAR(depth[0], 0.5f, 0.01f);
}

TEST_F(framebuffer_test, copy_path_halves_the_pass_to_fit_the_window)
{
	glext_restore keep_ext;
	ren_struct keep_ren = ren;
	UTL_cmdline keep_cmdline = cmdline;
	{
		const char* argv[] = {"ventora", "--no_fbos"};
		cmdline = UTL_cmdline();
		cmdline.parse_unix(2, argv);
		alert_capture quiet;
		glExt.init_extensions();
	}
	cmdline = keep_cmdline;
	ren = keep_ren;
	ASSERT_EQ(glExt.framebuf_avail, 0);

	// The window outside the pass is white: none of it may reach the texture.
	gl.Viewport(0, 0, 800, 600);
	gl.ClearColor(1, 1, 1, 1);
	gl.Clear(GL_COLOR_BUFFER_BIT);
	gl.ClearColor(0, 0, 0, 1);

	OGL_framebuffer target(601, 60, 0x01, 1024, 1024, 0);
	target.begin_render(1);  // asks for a framebuffer object; there is none
	EXPECT_EQ(framebuffer_binding(), 0);
	EXPECT_EQ(target.pass_w, 512);
	EXPECT_EQ(target.pass_h, 512);
	EXPECT_EQ(view_of_mnw(), (mnw_view{{0, 0, 512, 512}, 0, 512, 512})) << view_text(view_of_mnw());
	target_view(false);
	quad(-1, -1, 0, 1, 0, 1, 0, 0);
	quad(0, -1, 1, 1, 0, 0, 0, 1);
	end_view();
	{
		gl_recorder rec;
		target.end_render();
		EXPECT_EQ(rec.only({"CopyTexSubImage2D"}),
		          (std::vector<std::string>{gl_call_text("CopyTexSubImage2D", GL_TEXTURE_2D, 0, 0, 0, 0, 0, 512, 512)}));
	}
	EXPECT_EQ(view_of_mnw(), before) << view_text(view_of_mnw());
	texture_image t = read_texture(601);
	ASSERT_EQ(t.w, 512);
	ASSERT_EQ(t.h, 512);
	const struct {
		int x, y;
		std::array<int, 3> rgb;
	} probes[] = {{0, 0, {255, 0, 0}}, {255, 300, {255, 0, 0}}, {256, 300, {0, 0, 255}}, {511, 511, {0, 0, 255}}};
	for (const auto& p : probes)
		EXPECT_TRUE(near_rgb(t.at(p.x, p.y), p.rgb)) << p.x << "," << p.y << " " << rgb_text(t.at(p.x, p.y));
}

TEST_F(framebuffer_test, same_size_reloads_nothing_and_a_new_size_recreates)
{
	glext_restore keep_ext;
	// 100 x 60 lies in a 128 x 64 texture: kept all the same.
	const struct {
		const char* what;
		int fbos;
		int ref;
		int w, h;
	} paths[] = {{"framebuffer object", 1, 602, 64, 64},
	             {"copy", 0, 606, 64, 64},
	             {"framebuffer object, size not a power of two", 1, 607, 100, 60},
	             {"copy, size not a power of two", 0, 608, 100, 60}};
	for (const auto& p : paths) {
		SCOPED_TRACE(p.what);
		glExt.framebuf_avail = p.fbos;
		OGL_framebuffer target(p.ref, 56, 0x02, p.w, p.h, 78);
		auto pass = [&](float r, float g, float b) {
			target.begin_render(1);
			target_view(true);
			quad(-1, -1, 1, 1, 0, r, g, b);
			end_view();
			target.end_render();
		};
		pass(1, 0, 0);
		{
			gl_recorder rec;
			pass(0, 1, 0);
			EXPECT_EQ(rec.count("TexImage2D"), 0);
			EXPECT_EQ(rec.count("TexSubImage2D"), 0);
		}
		EXPECT_TRUE(near_rgb(read_texture(p.ref).at(32, 32), {0, 255, 0}));
		target.set_render_size(128, 128);
		{
			gl_recorder rec;
			pass(0, 0, 1);
			EXPECT_GE(rec.count("TexImage2D"), 1);
		}
		texture_image t = read_texture(p.ref);
		EXPECT_EQ(t.w, 128);
		EXPECT_EQ(t.h, 128);
		EXPECT_TRUE(near_rgb(t.at(127, 127), {0, 0, 255})) << rgb_text(t.at(127, 127));
		EXPECT_EQ(view_of_mnw(), before);
		if (p.fbos) {
			GLint w = 0;
			glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 78);
			glExt.glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_WIDTH_EXT, &w);
			glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
			EXPECT_EQ(w, 128);
		}
	}
}

TEST_F(framebuffer_test, mipmaps_are_built_after_the_pass)
{
	memset(scratch_array, 0, 64 * 64 * 4);  // the first upload is black
	OGL_framebuffer target(603, 57, 0x0A, 64, 64, 0);
	target.begin_render(1);
	target_view(false);
	quad(-1, -1, 1, 1, 0, 0, 1, 0);
	end_view();
	target.end_render();
	texture_image level1 = read_texture(603, 1);
	ASSERT_EQ(level1.w, 32);
	EXPECT_TRUE(near_rgb(level1.at(0, 0), {0, 255, 0})) << rgb_text(level1.at(0, 0));
	EXPECT_TRUE(near_rgb(level1.at(31, 31), {0, 255, 0}));
}

TEST_F(framebuffer_test, an_incomplete_framebuffer_is_fatal)
{
	const fbo_id name = 58;
	GLuint empty = 0;
	gl.GenTextures(1, &empty);
	gl.BindTexture(GL_TEXTURE_2D, empty);  // a texture with no storage
	gl.BindTexture(GL_TEXTURE_2D, 0);
	glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, name);
	glExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT1_EXT, GL_TEXTURE_2D, empty, 0);
	glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
	TEX_reset_bind();

	alert_capture alerts;
	OGL_framebuffer target(604, name, 0x02, 64, 64, 0);
	target.begin_render(1);
	target.end_render();
	auto got = alerts.taken();
	ASSERT_EQ(got.size(), 1u);
	EXPECT_EQ(got[0].kind, alert_fatal);
	EXPECT_EQ(got[0].line1, "ERROR: incomplete framebuffer.");
	EXPECT_EQ(got[0].line2, "36054.000000");
	EXPECT_EQ(got[0].line3, "");
	EXPECT_EQ(got[0].line4, "");
	EXPECT_EQ(got[0].source_file, "DIzivoz/OGL/OGL_framebuffer");
	EXPECT_EQ(got[0].source_line, 74);
	EXPECT_EQ(view_of_mnw(), before);
	GLuint fb = name;
	glExt.glDeleteFramebuffersEXT(1, &fb);
	gl.DeleteTextures(1, &empty);
}
