// The texture manager and the binding cache on a real OpenGL context (Mesa
// under Xvfb): references, loading, fail modes, upload, release, deferred
// loads, and the texture-environment recipes.
#include <gtest/gtest.h>
#include <png.h>
#include <squish.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "DIzivoz/TEX/TEX_dds.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_stats.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "tests/support/files_tmp.h"
#include "tests/support/gl_context.h"
#include "tests/support/tex_fixtures.h"

namespace {

using bytes = std::vector<unsigned char>;

bytes solid(int texels, const bytes& one)
{
	bytes out;
	for (int i = 0; i < texels; ++i) out.insert(out.end(), one.begin(), one.end());
	return out;
}

// A fresh manager state, the capabilities Mesa reports, full texture
// resolution, and alerts captured instead of shown.
class tman_test : public gl_test {
protected:
	void SetUp() override
	{
		gl_test::SetUp();
		MACIBM_alloc_scratch();
		tman.ref_dat.clear();
		tex_hash.clear();
		tman.loaded_count = tman.total_count = tman.deferred_scan_start = 0;
		tman.scene_load_fail = tman.plane_load_fail = tman.instl_load_fail = 0;
		tman.async_current = nullptr;
		tman.async_finish = nullptr;
		TEX_reset_bind();
		glExt.init_extensions();  // what Mesa offers: every feature used here
		num_units = 0;
		mnw.tex_res = 5;
		MACIBM_set_alert_sink([this](const alert_record& r) { alerts.push_back(r); });
	}
	void TearDown() override
	{
		MACIBM_set_alert_sink(nullptr);
		cmdline = UTL_cmdline();
	}

	std::string png(const std::string& rel, int w, int h, int color_type, const bytes& rows)
	{
		tmp.write(rel, vtest::make_png({w, h, color_type, 8}, rows));
		return tmp(rel);
	}
	// An RGBA picture of w x h whose every texel is (r, g, b, a).
	std::string solid_png(const std::string& rel, int w, int h, bytes rgba)
	{
		bytes rows;
		for (int i = 0; i < w * h; ++i) rows.insert(rows.end(), rgba.begin(), rgba.end());
		return png(rel, w, h, PNG_COLOR_TYPE_RGBA, rows);
	}
	bytes read_back(int ref, GLenum fmt, int w, int h, int level = 0)
	{
		TEX_bind_ref(ref, 0, 25);
		bytes out((size_t)w * h * (fmt == GL_RGBA ? 4 : fmt == GL_RGB ? 3 : 1));
		gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
		gl.GetTexImage(GL_TEXTURE_2D, level, fmt, GL_UNSIGNED_BYTE, out.data());
		return out;
	}
	GLint tex_param(int ref, GLenum p)
	{
		TEX_bind_ref(ref, 0, 25);
		GLint v = 0;
		gl.GetTexParameteriv(GL_TEXTURE_2D, p, &v);
		return v;
	}

	files_tmp tmp;
	std::vector<alert_record> alerts;
	glext_restore keep_ext;
};

}  // namespace

TEST_F(tman_test, NamedReferencesAreReusedFromTheTop)
{
	const std::string a = solid_png("a.png", 2, 2, {1, 2, 3, 255});
	const std::string b = solid_png("b.png", 2, 2, {4, 5, 6, 255});
	const std::string c = solid_png("c.png", 2, 2, {7, 8, 9, 255});
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x102, tex_loaded, a), 1137);
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x102, tex_loaded, b), 1138);
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x102, tex_loaded, c), 1139);
	gl_recorder rec;
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x102, tex_loaded, a), 1137);
	EXPECT_EQ(rec.count("TexImage2D") + rec.count("TexSubImage2D"), 0);  // no reload of a loaded name
	EXPECT_EQ(tman.ref_dat[1137].ref_count, 2);
	tman.release_texture(1137);
	tman.release_texture(1137);
	tman.release_texture(1139);
	EXPECT_TRUE(alerts.empty());
	EXPECT_EQ(tman.total_texes(), 3);
	tman.purge_unused_texes();
	EXPECT_EQ(tman.total_texes(), 1);
	EXPECT_EQ(tman.loaded_texes(), 1);
	EXPECT_FALSE(gl.IsTexture(1137));
	rec.clear();
	const std::string d = solid_png("d.png", 2, 2, {1, 1, 1, 255});
	const std::string e = solid_png("e.png", 2, 2, {2, 2, 2, 255});
	const std::string f = solid_png("f.png", 2, 2, {3, 3, 3, 255});
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x102, tex_loaded, d), 1139);
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x102, tex_loaded, e), 1137);
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x102, tex_loaded, f), 1140);
	EXPECT_EQ(rec.count("TexImage2D"), 3);
	// Loading A again after the purge reads the file again into a new slot.
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x102, tex_loaded, a), 1141);
	EXPECT_EQ(read_back(1141, GL_RGBA, 2, 2), (bytes{1, 2, 3, 255, 1, 2, 3, 255, 1, 2, 3, 255, 1, 2, 3, 255}));
	EXPECT_TRUE(alerts.empty());
}

TEST_F(tman_test, ScaleFollowsLevelFlagsAndTheMaximum)
{
	const struct {
		int level, flags, w, h, force, max;
		float s;
		int iw, ih, tw, th;
	} cases[] = {
	    {0, 0x1, 1024, 1024, 2, 0, 1.0f / 32, 32, 32, 32, 32},
	    {0, 0x101, 1024, 1024, 2, 0, 1, 1024, 1024, 1024, 1024},
	    {0, 0x1, 1024, 1024, 1, 0, 1, 1024, 1024, 1024, 1024},
	    {0, 0x1, 2, 2, 2, 0, 0.5f, 1, 1, 1, 1},
	    {3, 0x41, 512, 256, 2, 0, 0.5f, 256, 128, 256, 128},
	    {3, 0x81, 512, 256, 2, 0, 0.125f, 64, 32, 64, 32},
	    {5, 0x1, 1024, 512, 2, 256, 0.25f, 256, 128, 256, 128},
	    {5, 0x1, 300, 5, 2, 0, 1, 300, 5, 512, 8},
	    {5, 0x2001, 300, 5, 2, 0, 1, 300, 5, 300, 5},
	    {0, 0x1, 3, 9, 2, 0, 1.0f / 3, 1, 3, 1, 4},
	};
	for (const auto& c : cases) {
		mnw.tex_res = c.level;
		if (c.max) glExt.max_tex_size = c.max;
		int iw, ih, tw, th;
		EXPECT_FLOAT_EQ(TEX_get_scale("x", 0, c.flags, c.w, c.h, &iw, &ih, &tw, &th, c.force), c.s);
		EXPECT_EQ((std::vector<int>{iw, ih, tw, th}), (std::vector<int>{c.iw, c.ih, c.tw, c.th})) << c.w << " " << c.flags;
		glExt.max_tex_size = 16384;
	}
	mnw.tex_res = 2;
	EXPECT_FLOAT_EQ(tman.scale_rat(), 0.125f);
	EXPECT_TRUE(alerts.empty());
	int iw, ih, tw, th;
	mnw.tex_res = 5;
	EXPECT_EQ(TEX_get_scale("big", 0, 1, 4096, 16, &iw, &ih, &tw, &th, 2), 0);
	ASSERT_FALSE(alerts.empty());
	EXPECT_EQ(alerts[0].line1, "Trying to create a texture either less than 1 or greater than 2048!");
	EXPECT_EQ(alerts[0].line4, "4096");

	// A picture at level 0 loads small, with 0x100 at full size.
	const std::string p = solid_png("s.png", 64, 64, {9, 9, 9, 255});
	mnw.tex_res = 0;
	tman.load_texture(tex_fail_fatal, 20, 0x2, tex_loaded, p);
	tman.load_texture(tex_fail_fatal, 21, 0x102, tex_loaded, p);
	EXPECT_EQ(tman.ref_dat[20].tex_w, 2);
	EXPECT_EQ(tman.ref_dat[21].tex_w, 64);
}

namespace {
std::vector<std::string> g_shown;
std::vector<float> g_progress;
void record_show(const std::string& text, float* progress)
{
	g_shown.push_back(text);
	g_progress.push_back(progress ? *progress : -1);
}
}  // namespace

TEST_F(tman_test, LoadingBitmapShowsAfterAPauseOnly)
{
	unsigned long long now = 5'000'000;
	xtim_set_counter([&] { return now; });
	xtim.microsecs();       // the clock starts here
	now += 1000'000'000;    // well past any earlier load of this process
	g_shown.clear();
	MACIBM_set_show_init_hook(record_show);
	const std::string p = solid_png("p.png", 2, 2, {1, 1, 1, 255});
	const struct {
		unsigned long long advance;
		int ref;
		tex_load_time time;
		std::string name;
		bool shown;
	} cases[] = {
	    {2'000'000, 30, tex_loaded, p, true},     // after a pause
	    {500'000, 31, tex_loaded, p, false},      // within a second
	    {2'000'000, 0, tex_loaded, p, false},     // by name
	    {2'000'000, 392, tex_loaded, p, false},   // the interface atlas
	    {2'000'000, 430, tex_loaded, p, false},   // intro tiles
	    {2'000'000, 32, tex_deferred, p, false},  // not loaded now
	    {2'000'000, 33, tex_loaded, "scratch_array_x", false},
	    {2'000'000, 34, tex_loaded, p, true},
	};
	scratch_dx = scratch_dy = 2;
	for (const auto& c : cases) {
		g_shown.clear();
		now += c.advance;
		tman.load_texture(tex_fail_fatal, c.ref, 0x2, c.time, c.name);
		ASSERT_EQ(g_shown.size(), c.shown ? 1u : 0u) << c.ref;
		if (c.shown) {
			EXPECT_EQ(g_shown[0], "Loading bitmap " + p + ".");
		}
	}
	MACIBM_set_show_init_hook(nullptr);
	xtim_set_counter(nullptr);
}

TEST_F(tman_test, FatalChecksAsOneTable)
{
	const std::string p = solid_png("p.png", 2, 2, {1, 1, 1, 255});
	tman.load_texture(tex_fail_fatal, 0, 0x2, tex_loaded, p);  // 1137
	tman.load_texture(tex_fail_silent, 39, 0x2, tex_loaded, tmp("absent.png"));  // makes the placeholder
	tman.load_texture(tex_fail_fatal, 40, 0x2, tex_loaded, p);
	tman.ref_dat.resize(1200);
	tman.ref_dat[1150].format = GL_RGB;  // in use, never counted
	tman.ref_dat[41].load_time = tex_unloaded;
	tman.ref_dat[41].name = "gone.png";
	tmp.write("huge.png", vtest::make_png({2049, 1, PNG_COLOR_TYPE_GRAY, 8}, bytes(2049, 0)));
	const struct {
		std::function<int()> call;
		std::vector<std::string> lines;
		int result;
	} cases[] = {
	    {[&] { return tman.load_texture(tex_fail_fatal, 5, 2, (tex_load_time)99, "x.png"); },
	     {"Trying to create an invalid texture load_time!", "x.png", "value:", "99"}, 0},
	    {[&] { return tman.load_texture(tex_fail_fatal, 1137, 2, tex_loaded, "x.png"); },
	     {"Trying to bind too low or high a manual_ref!", "x.png", "value:", "1137"}, 0},
	    {[&] { return tman.load_texture(tex_fail_fatal, -1, 2, tex_loaded, "x.png"); },
	     {"Trying to bind too low or high a manual_ref!", "x.png", "value:", "-1"}, 0},
	    {[&] { return tman.load_texture(tex_fail_fatal, 6, 0x4000, tex_loaded, p); },
	     {"Trying to bind an invalid filter type!", p, "value:", "16384"}, 0},
	    {[&] { return tman.load_texture(tex_fail_fatal, 7, 0x100, tex_loaded, p); },
	     {"BAD color enum for tman - see tman.h for valid colors!  We cannot pass 0.", "", "", ""}, 0},
	    {[&] { return tman.load_texture(tex_fail_fatal, 8, 0x2, tex_loaded, tmp("huge.png")); },
	     {"Trying to create a texture either less than 1 or greater than 2048!", tmp("huge.png"), "value:", "4096"}, 0},
	    {[&] { tman.release_texture(40); return 0; },
	     {"Trying to release a manual texture - use unload_texture.", "40.000000", p, ""}, 0},
	    {[&] { tman.release_texture(1150); return 0; },
	     {"Ref count is negative - was never reffed.", "1150.000000", "un-inited", ""}, 0},
	    {[&] { tman.release_texture(1137); tman.release_texture(1137); return 0; },
	     {"Ref count went negative", "1137.000000", p, ""}, 0},
	    {[&] { tman.unload_texture(1137); return 0; },
	     {"Error: dynamic textures should be released, not unloaded.", p, "1137.000000", ""}, 0},
	    {[&] { tman.bind_ref(41, 0, 0); return 0; }, {"missing non-scenery texture - how?", "", "ref=    41", "gone.png"}, 0},
	    {[&] { return tman.load_texture(tex_fail_fatal, 9, 0x2, tex_loaded, tmp("none.png")); },
	     {"Trying to load a texture that you do not have!", "This smacks of a mis-installed copy of Ventora!",
	      std::string("Please download a new copy of Ventora from ") + ventora_web_site + ". The missing file is:",
	      tmp("none.png")},
	     0},
	};
	for (const auto& c : cases) {
		alerts.clear();
		gl_recorder rec;
		EXPECT_EQ(c.call(), c.result) << c.lines[0];
		ASSERT_FALSE(alerts.empty()) << c.lines[0];
		const alert_record& a = alerts.back();
		EXPECT_EQ((std::vector<std::string>{a.line1, a.line2, a.line3, a.line4}), c.lines);
		EXPECT_EQ(a.kind, alert_fatal);
		EXPECT_EQ(a.source_file, "DIzivoz/OOPS_cpp/tman");
		// Nothing is uploaded past a failed check.
		EXPECT_EQ(rec.count("TexImage2D") + rec.count("TexSubImage2D"), 0) << c.lines[0];
	}
	EXPECT_EQ(tman.ref_dat[1137].ref_count, 0);  // the second release was refused
}

TEST_F(tman_test, FileSearchPrefersDdsAndDecodesByContent)
{
	bytes px = {200, 10, 10, 255, 200, 10, 10, 255, 200, 10, 10, 255, 200, 10, 10, 255};
	TEX_image_desc d;
	d.format = GL_RGBA;
	d.width = d.height = 2;
	const std::string png_name = solid_png("pic.png", 2, 2, {10, 200, 10, 255});
	ASSERT_EQ(TEX_save_dds(tmp("pic.dds"), px.data(), d), 1);
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 50, 0x2, tex_loaded, png_name), 50);
	EXPECT_EQ(tman.ref_dat[50].format, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT);
	bytes got = read_back(50, GL_RGBA, 2, 2);
	EXPECT_NEAR(got[0], 200, 8);
	EXPECT_NEAR(got[1], 10, 8);

	const char* argv[] = {"prog", "--no_dds"};
	cmdline.parse_unix(2, argv);
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 51, 0x2, tex_loaded, png_name), 51);
	EXPECT_EQ(tman.ref_dat[51].format, GL_RGBA);
	EXPECT_EQ(read_back(51, GL_RGBA, 2, 2)[1], 200);
	cmdline = UTL_cmdline();

	// A .png name whose file is a BMP; a .tga name with only a .bmp beside it;
	// a name without an extension is tried as it is.
	tmp.write("bm.png", vtest::make_bmp(1, 1, {1, 2, 3}));
	tmp.write("only.bmp", vtest::make_bmp(1, 1, {4, 5, 6}));
	tmp.write("noext", vtest::make_bmp(1, 1, {7, 8, 9}));
	const struct {
		std::string name;
		bytes px;
	} cases[] = {{"bm.png", {1, 2, 3}}, {"only.tga", {4, 5, 6}}, {"noext", {7, 8, 9}}};
	int ref = 52;
	for (const auto& c : cases) {
		ASSERT_EQ(tman.load_texture(tex_fail_fatal, ref, 0x1, tex_loaded, tmp(c.name)), ref) << c.name;
		EXPECT_EQ(read_back(ref, GL_RGB, 1, 1), c.px) << c.name;
		++ref;
	}
	EXPECT_TRUE(alerts.empty());
}

TEST_F(tman_test, FailModesBorrowTheGreyPlaceholder)
{
	std::string log_before;
	const std::string missing = tmp("missing.png");
	// Mode 0: silent; a fixed ref gets 0, a named one its ref; both bind 932.
	EXPECT_EQ(tman.load_texture(tex_fail_silent, 60, 0x2, tex_loaded, missing), 0);
	EXPECT_EQ(tman.load_texture(tex_fail_silent, 0, 0x2, tex_loaded, tmp("missing2.png")), 1137);
	EXPECT_EQ(tman.ref_dat[60].tex_name, 932);
	EXPECT_EQ(tman.ref_dat[1137].tex_name, 932);
	EXPECT_EQ(tman.ref_dat[932].format, GL_RGB);
	EXPECT_EQ(read_back(932, GL_RGB, 4, 4), solid(16, {128, 128, 128}));
	TEX_reset_bind();
	gl_recorder rec;
	tman.bind_ref(1137, 0, 0);
	EXPECT_EQ(rec.only({"BindTexture"}), (std::vector<std::string>{gl_call_text("BindTexture", GL_TEXTURE_2D, 932)}));
	// Modes 1-3 raise their flag once; a muted flag stays muted.
	tman.mute_plane_load_fail();
	for (int mode : {1, 2, 3}) EXPECT_EQ(tman.load_texture((tex_fail_mode)mode, 60 + mode, 0x2, tex_loaded, missing), 0);
	EXPECT_EQ(tman.has_scene_load_fail(), 1);
	EXPECT_EQ(tman.has_plane_load_fail(), 0);
	EXPECT_EQ(tman.plane_load_fail, 2);
	EXPECT_EQ(tman.has_instl_load_fail(), 1);
	tman.reset_scene_load_fail();
	EXPECT_EQ(tman.has_scene_load_fail(), 0);
	EXPECT_TRUE(alerts.empty());
	// Mode 4 is fatal.
	EXPECT_EQ(tman.load_texture(tex_fail_fatal, 65, 0x2, tex_loaded, missing), 0);
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].line4, missing);

	// A loaded slot whose reload finds no file gives its texture back.
	const std::string p = solid_png("p.png", 2, 2, {1, 1, 1, 255});
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 66, 0x2, tex_loaded, p), 66);
	const int loaded = tman.loaded_texes();
	std::remove(p.c_str());
	EXPECT_EQ(tman.load_texture(tex_fail_silent, 66, 0x2, tex_loaded, p), 0);
	EXPECT_FALSE(gl.IsTexture(66));
	EXPECT_EQ(tman.loaded_texes(), loaded - 1);
	EXPECT_EQ(tman.ref_dat[66].tex_name, 932);
}

TEST_F(tman_test, BleedingColoursTransparentTexelsNearOpaqueOnes)
{
	// 4 x 4, file top row first: the only opaque texel is red at file (0, 3),
	// i.e. texture row 0, column 0. The others are transparent blue.
	bytes rows;
	for (int y = 0; y < 4; ++y)
		for (int x = 0; x < 4; ++x) {
			const bool red = y == 3 && x == 0;
			const bytes t = red ? bytes{255, 0, 0, 255} : bytes{0, 0, 255, 0};
			rows.insert(rows.end(), t.begin(), t.end());
		}
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 70, 0x2, tex_loaded, png("b.png", 4, 4, PNG_COLOR_TYPE_RGBA, rows)), 70);
	const bytes got = read_back(70, GL_RGBA, 4, 4);
	for (int y = 0; y < 4; ++y)
		for (int x = 0; x < 4; ++x) {
			const unsigned char* t = &got[(y * 4 + x) * 4];
			const bool near = x <= 2 && y <= 2;
			EXPECT_EQ(bytes(t, t + 4), near ? (y || x ? bytes{255, 0, 0, 0} : bytes{255, 0, 0, 255}) : (bytes{0, 0, 255, 0}))
			    << x << "," << y;
		}
	// A random 13 x 11 picture against the window average worked texel by texel.
	unsigned seed = 99;
	auto rnd = [&] { return (seed = seed * 1103515245 + 12345) >> 16; };
	const int w = 13, h = 11;
	bytes file_rows((size_t)w * h * 4);
	for (size_t i = 0; i < file_rows.size(); i += 4) {
		file_rows[i] = (unsigned char)rnd(), file_rows[i + 1] = (unsigned char)rnd(), file_rows[i + 2] = (unsigned char)rnd();
		file_rows[i + 3] = (rnd() % 3) ? 0 : 255;
	}
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 72, 0x2002, tex_loaded, png("r.png", w, h, PNG_COLOR_TYPE_RGBA, file_rows)), 72);
	const bytes tex = read_back(72, GL_RGBA, w, h);
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			const unsigned char* src = &file_rows[((size_t)(h - 1 - y) * w + x) * 4];
			bytes want(src, src + 4);
			if (!src[3]) {
				unsigned sum[3] = {0, 0, 0}, n = 0;
				for (int yy = std::max(0, y - 2); yy <= std::min(h - 1, y + 2); ++yy)
					for (int xx = std::max(0, x - 2); xx <= std::min(w - 1, x + 2); ++xx) {
						const unsigned char* q = &file_rows[((size_t)(h - 1 - yy) * w + xx) * 4];
						if (!q[3]) continue;
						for (int c = 0; c < 3; ++c) sum[c] += q[c];
						++n;
					}
				if (n)
					for (int c = 0; c < 3; ++c) want[c] = (unsigned char)(sum[c] / n);
			}
			EXPECT_EQ(bytes(&tex[((size_t)y * w + x) * 4], &tex[((size_t)y * w + x) * 4] + 4), want) << x << "," << y;
		}
	// The padding of a 3 x 1 picture (texture 4 x 1) bleeds too, within two texels.
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 71, 0x2, tex_loaded,
	                            png("c.png", 3, 1, PNG_COLOR_TYPE_RGBA, {9, 9, 9, 255, 0, 0, 0, 0, 0, 0, 0, 0})),
	          71);
	EXPECT_EQ(read_back(71, GL_RGBA, 4, 1), (bytes{9, 9, 9, 255, 9, 9, 9, 0, 9, 9, 9, 0, 0, 0, 0, 0}));
}

TEST_F(tman_test, UploadReusesStorageAndSetsParameters)
{
	const std::string a = solid_png("a.png", 4, 4, {1, 2, 3, 255});
	const std::string b = solid_png("b.png", 4, 4, {4, 5, 6, 255});
	const std::string big = solid_png("big.png", 8, 8, {7, 8, 9, 255});
	gl_recorder rec;
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 80, 0x2, tex_loaded, a), 80);
	EXPECT_EQ(rec.count("TexImage2D"), 1);
	EXPECT_EQ(rec.count("TexSubImage2D"), 0);
	rec.clear();
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 80, 0x2, tex_loaded, b), 80);
	EXPECT_EQ(rec.count("TexImage2D"), 0);
	EXPECT_EQ(rec.count("TexSubImage2D"), 1);
	EXPECT_EQ(read_back(80, GL_RGBA, 4, 4), solid(16, {4, 5, 6, 255}));
	rec.clear();
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 80, 0x2, tex_loaded, big), 80);  // new size: new storage
	EXPECT_EQ(rec.count("TexImage2D"), 1);
	EXPECT_EQ(rec.count("TexSubImage2D"), 0);
	// Mipmaps built in software (no automatic generation): one upload per level.
	glExt.automini_avail = 0;
	rec.clear();
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 81, 0x0A, tex_loaded, big), 81);
	EXPECT_EQ(rec.count("TexImage2D"), 4);
	EXPECT_EQ(read_back(81, GL_RGBA, 1, 1, 3), (bytes{7, 8, 9, 255}));
	glExt.automini_avail = 1;
	rec.clear();
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 82, 0x0A, tex_loaded, big), 82);
	EXPECT_EQ(rec.count("TexImage2D"), 1);
	EXPECT_EQ(rec.count("PixelStorei"), 1);

	const struct {
		int ref, flags;
		GLint wrap_s, wrap_t, min, mag;
	} cases[] = {
	    {83, 0x2, GL_REPEAT, GL_REPEAT, GL_LINEAR, GL_LINEAR},
	    {84, 0x12, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR},
	    {85, 0x22, GL_CLAMP_TO_EDGE, GL_REPEAT, GL_LINEAR, GL_LINEAR},
	    {86, 0x0A, GL_REPEAT, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},
	    {392, 0x702, GL_REPEAT, GL_REPEAT, GL_NEAREST, GL_NEAREST},
	    {435, 0x412, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_NEAREST, GL_NEAREST},
	};
	for (const auto& c : cases) {
		ASSERT_EQ(tman.load_texture(tex_fail_fatal, c.ref, c.flags, tex_loaded, a), c.ref);
		EXPECT_EQ(tex_param(c.ref, GL_TEXTURE_WRAP_S), c.wrap_s) << c.ref;
		EXPECT_EQ(tex_param(c.ref, GL_TEXTURE_WRAP_T), c.wrap_t) << c.ref;
		EXPECT_EQ(tex_param(c.ref, GL_TEXTURE_MIN_FILTER), c.min) << c.ref;
		EXPECT_EQ(tex_param(c.ref, GL_TEXTURE_MAG_FILTER), c.mag) << c.ref;
		GLfloat aniso = 0;
		gl.GetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &aniso);
		EXPECT_EQ(aniso, 1.0f);
	}
	// Without edge clamping the older clamp mode is used.
	glExt.tex_clamp_avail = 0;
	rec.clear();
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 87, 0x12, tex_loaded, a), 87);
	EXPECT_EQ(rec.only({"TexParameteri"})[0], gl_call_text("TexParameteri", GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP));

	// Depth data from scratch_array compares.
	scratch_dx = scratch_dy = 4;
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 88, 0x6, tex_loaded, "scratch_array_depth"), 88);
	EXPECT_EQ(tex_param(88, GL_TEXTURE_COMPARE_MODE), GL_COMPARE_R_TO_TEXTURE);
	EXPECT_EQ(tex_param(88, GL_TEXTURE_COMPARE_FUNC), GL_LEQUAL);
	EXPECT_TRUE(alerts.empty());
}

TEST_F(tman_test, MemoryEstimateCountsAndUnload)
{
	mnw.bit_depth = 32;
	const int base = tman.tot_vram();
	EXPECT_EQ(base, 800 * 600 * 4);
	const std::string p = solid_png("p.png", 512, 512, {1, 2, 3, 255});
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 90, 0x2, tex_loaded, p), 90);
	EXPECT_EQ(tman.tot_vram(), base + 1048576);
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 91, 0xA, tex_loaded, p), 91);
	EXPECT_EQ(tman.tot_vram(), base + 1048576 + 1394606);
	EXPECT_EQ(tman.total_texes(), 2);
	EXPECT_EQ(tman.loaded_texes(), 2);
	tman.unload_texture(90);
	EXPECT_FALSE(gl.IsTexture(90));
	EXPECT_EQ(tman.ref_dat[90].load_time, tex_unloaded);
	EXPECT_EQ(tman.ref_dat[90].name, "un-inited");
	EXPECT_EQ(tman.tot_vram(), base + 1394606);
	EXPECT_EQ(tman.total_texes(), 1);
	EXPECT_EQ(tman.loaded_texes(), 1);
}

TEST_F(tman_test, PixelsLandWhereTheCallerLooks)
{
	// 0x200: scratch_array holds the picture bottom-up at the texture's stride.
	bytes rows(3 * 5 * 3);
	for (size_t i = 0; i < rows.size(); ++i) rows[i] = (unsigned char)(i + 1);
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 100, 0x201, tex_loaded, png("s.png", 3, 5, PNG_COLOR_TYPE_RGB, rows)), 100);
	for (int y = 0; y < 8; ++y)
		for (int x = 0; x < 12; ++x)
			EXPECT_EQ(scratch_array[y * 12 + x], (y < 5 && x < 9) ? rows[(4 - y) * 9 + x] : 0) << y << "," << x;
	EXPECT_EQ(read_back(100, GL_RGB, 4, 8), bytes(scratch_array, scratch_array + 4 * 8 * 3));

	// A 2 x 2 RGB texture (rows of 6 bytes) reads back intact.
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 101, 0x1, tex_loaded,
	                            png("t.png", 2, 2, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})),
	          101);
	EXPECT_EQ(read_back(101, GL_RGB, 2, 2), (bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));

	// Scaled down by 3 (a 3 x 6 picture at level 0): nine pixels averaged, rows at the new width.
	mnw.tex_res = 0;
	bytes six(3 * 6 * 3);
	for (size_t i = 0; i < six.size(); ++i) six[i] = (unsigned char)(i % 3 == 0 ? 90 : 30);
	six[0] = 180;  // top-left pixel: in the upper block (file rows 0-2 land in texture row 1)
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 102, 0x1, tex_loaded, png("u.png", 3, 6, PNG_COLOR_TYPE_RGB, six)), 102);
	EXPECT_EQ(tman.ref_dat[102].tex_w, 1);
	EXPECT_EQ(tman.ref_dat[102].tex_h, 2);
	EXPECT_EQ(read_back(102, GL_RGB, 1, 2), (bytes{90, 30, 30, 100, 30, 30}));

	// A DDS chain uploads compressed, its memory as OpenGL reports it.
	mnw.tex_res = 5;
	bytes img(16 * 16 * 3, 77);
	TEX_image_desc d;
	d.format = GL_RGB;
	d.width = d.height = 16;
	ASSERT_EQ(TEX_save_dds(tmp("c.dds"), img.data(), d), 1);
	gl_recorder rec;
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 103, 0x1, tex_loaded, tmp("c.png")), 103);
	EXPECT_EQ(rec.count("CompressedTexImage2D"), 5);
	EXPECT_EQ(tman.ref_dat[103].format, GL_COMPRESSED_RGB_S3TC_DXT1_EXT);
	EXPECT_EQ(tman.ref_dat[103].vram, 128);
	EXPECT_NEAR(read_back(103, GL_RGB, 16, 16)[0], 77, 4);
	EXPECT_TRUE(alerts.empty());
}

TEST_F(tman_test, BindCacheSkipsRepeatsAndRestoresUnitZero)
{
	gl_recorder rec;
	TEX_bind_ref(5, 0, 0);
	TEX_bind_ref(5, 0, 0);
	EXPECT_EQ(rec.calls(), (std::vector<std::string>{gl_call_text("BindTexture", GL_TEXTURE_2D, 5),
	                                                 gl_call_text("TexEnvi", GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE)}));
	TEX_bind_ref(6, 3, GL_REPLACE);
	rec.clear();
	TEX_bind_ref(6, 3, GL_MODULATE);  // only the mode changes
	EXPECT_EQ(rec.calls(), (std::vector<std::string>{gl_call_text("ActiveTexture", GL_TEXTURE3),
	                                                 gl_call_text("TexEnvi", GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE),
	                                                 gl_call_text("ActiveTexture", GL_TEXTURE0)}));
	rec.clear();
	TEX_bind_ref(7, 2, 25);
	TEX_bind_ref(7, 2, 25);  // mode 25 never short-cuts
	EXPECT_EQ(rec.calls(), (std::vector<std::string>{gl_call_text("ActiveTexture", GL_TEXTURE2),
	                                                 gl_call_text("BindTexture", GL_TEXTURE_2D, 7),
	                                                 gl_call_text("ActiveTexture", GL_TEXTURE0),
	                                                 gl_call_text("ActiveTexture", GL_TEXTURE2),
	                                                 gl_call_text("ActiveTexture", GL_TEXTURE0)}));
	// The diagnostic switch binds 932 for everything but the interface atlas.
	gKillTex.value = 1;
	rec.clear();
	TEX_bind_ref(395, 1, 25);
	TEX_bind_ref(392, 1, 25);
	gKillTex.value = 0;
	EXPECT_EQ(rec.only({"BindTexture"}), (std::vector<std::string>{gl_call_text("BindTexture", GL_TEXTURE_2D, 932),
	                                                                gl_call_text("BindTexture", GL_TEXTURE_2D, 392)}));
	// After a reset the same bind reaches OpenGL again.
	tman.reset_bind();
	rec.clear();
	TEX_bind_ref(5, 0, 0);
	EXPECT_EQ(rec.count("BindTexture"), 1);
	// Recipe 24 passes everything after the mode and the colour as floats.
	rec.clear();
	TEX_bind_ref(5, 0, 24);
	EXPECT_EQ(rec.count("TexEnvi"), 1);
	EXPECT_EQ(rec.calls()[1], gl_call_text("TexEnvfv", GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, std::vector<GLfloat>(4, 0.0f).data()));
	EXPECT_EQ(rec.count("TexEnvf"), 11);
	// Without a combine environment a recipe number is set as the mode itself.
	glExt.combine_avail = 0;
	rec.clear();
	TEX_bind_ref(5, 0, 18);
	EXPECT_EQ(rec.calls(), (std::vector<std::string>{gl_call_text("TexEnvi", GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, 18)}));
	// Blend level: units past what OpenGL offers are ignored.
	rec.clear();
	tman.set_blend_level(ren.tex_units, 0.5f);
	EXPECT_TRUE(rec.calls().empty());
	tman.set_blend_level(1, 0.5f);
	GLfloat c[4] = {0.5f, 0.5f, 0.5f, 0.5f};
	EXPECT_EQ(rec.calls(), (std::vector<std::string>{gl_call_text("ActiveTexture", GL_TEXTURE1),
	                                                 gl_call_text("TexEnvfv", GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c),
	                                                 gl_call_text("ActiveTexture", GL_TEXTURE0)}));
}

TEST_F(tman_test, EveryRecipeReadsBack)
{
	const GLenum P = GL_PREVIOUS, T = GL_TEXTURE, C = GL_CONSTANT, Q = GL_PRIMARY_COLOR;
	const GLenum SC = GL_SRC_COLOR, SA = GL_SRC_ALPHA, MA = GL_ONE_MINUS_SRC_ALPHA;
	const struct {
		int mode;
		GLenum rgb, alpha;
		std::vector<GLint> rgb_args;    // source, operand pairs
		std::vector<GLint> alpha_args;
		float alpha_scale;
	} cases[] = {
	    {1, GL_ADD, GL_REPLACE, {P, SC, T, SC}, {P, SA}, 1},
	    {2, GL_ADD, GL_ADD, {P, SC, T, SC}, {P, SA, T, SA}, 1},
	    {10, GL_MODULATE, GL_REPLACE, {P, SC, T, SC}, {T, SA}, 1},
	    {11, GL_REPLACE, GL_SUBTRACT, {P, SC}, {T, SA, P, SA}, 4},
	    {12, GL_REPLACE, GL_MODULATE, {P, SC}, {P, MA, T, SA}, 1},
	    {13, GL_MODULATE, GL_REPLACE, {P, SC, P, MA}, {C, SA}, 1},
	    {14, GL_REPLACE, GL_REPLACE, {P, SC}, {P, SA}, 1},
	    {15, GL_REPLACE, GL_REPLACE, {P, SC}, {C, SA}, 1},
	    {16, GL_MODULATE, GL_REPLACE, {P, SC, T, SC}, {C, SA}, 1},
	    {17, GL_REPLACE, GL_REPLACE, {T, SA}, {C, SA}, 1},
	    {18, GL_INTERPOLATE, GL_REPLACE, {T, SC, P, SC, T, SA}, {P, SA}, 1},
	    {19, GL_INTERPOLATE, GL_REPLACE, {T, SC, P, SC, P, SA}, {P, SA}, 1},
	    {20, GL_MODULATE, GL_REPLACE, {P, SC, T, SA}, {P, SA}, 1},
	    {21, GL_INTERPOLATE, GL_INTERPOLATE, {T, SC, P, SC, C, SC}, {T, SA, P, SA, C, SA}, 1},
	    {22, GL_INTERPOLATE, GL_REPLACE, {T, SC, C, SC, T, SA}, {P, SA}, 1},
	    {23, GL_MODULATE, GL_REPLACE, {P, SC, Q, SC}, {P, SA}, 1},
	    {24, GL_INTERPOLATE, GL_REPLACE, {Q, SC, C, SC, T, SC}, {T, SA}, 1},
	};
	const GLenum rgb_src[3] = {GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB};
	const GLenum rgb_op[3] = {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB};
	const GLenum a_src[3] = {GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, GL_SOURCE2_ALPHA};
	const GLenum a_op[3] = {GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA};
	auto env = [](GLenum p) {
		GLint v = 0;
		gl.GetTexEnviv(GL_TEXTURE_ENV, p, &v);
		return v;
	};
	for (const auto& c : cases) {
		TEX_bind_ref(1, 0, 14);  // something else first, then a fresh default for 23's scale
		gl.TexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
		TEX_bind_ref(1, 0, c.mode);
		EXPECT_EQ(env(GL_TEXTURE_ENV_MODE), GL_COMBINE) << c.mode;
		EXPECT_EQ(env(GL_COMBINE_RGB), (GLint)c.rgb) << c.mode;
		EXPECT_EQ(env(GL_COMBINE_ALPHA), (GLint)c.alpha) << c.mode;
		std::vector<GLint> rgb, alpha;
		for (size_t i = 0; i < c.rgb_args.size() / 2; ++i) {
			rgb.push_back(env(rgb_src[i]));
			rgb.push_back(env(rgb_op[i]));
		}
		for (size_t i = 0; i < c.alpha_args.size() / 2; ++i) {
			alpha.push_back(env(a_src[i]));
			alpha.push_back(env(a_op[i]));
		}
		EXPECT_EQ(rgb, c.rgb_args) << c.mode;
		EXPECT_EQ(alpha, c.alpha_args) << c.mode;
		GLfloat scale = 0;
		gl.GetTexEnvfv(GL_TEXTURE_ENV, GL_ALPHA_SCALE, &scale);
		EXPECT_EQ(scale, c.alpha_scale) << c.mode;
		if (c.mode == 13 || c.mode == 15 || c.mode == 16 || c.mode == 17 || c.mode == 24) {
			GLfloat col[4];
			gl.GetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, col);
			EXPECT_EQ(col[0], c.mode == 24 ? 0.0f : 1.0f) << c.mode;
		}
	}
}

TEST_F(tman_test, RecipesDrawTheirBlend)
{
	// A texture of (200, 100, 0, 128) over a primary colour of blue.
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 120, 0x2, tex_loaded, solid_png("t.png", 2, 2, {200, 100, 0, 128})), 120);
	gl_pixel_view();
	gl.Disable(GL_BLEND);
	gl.Disable(GL_DEPTH_TEST);
	gl.Disable(GL_LIGHTING);
	gl.Enable(GL_TEXTURE_2D);
	gl.DrawBuffer(GL_BACK);
	gl.ReadBuffer(GL_BACK);
	const struct {
		int mode;
		float level;
		int r, g, b;
	} cases[] = {
	    {17, 0, 128, 128, 128},   // the texture's alpha as grey
	    {18, 0, 100, 50, 127},    // decal by the texture's alpha
	    {21, 0.25f, 50, 25, 191}, // a quarter texture, three quarters previous
	};
	for (const auto& c : cases) {
		gl.ClearColor(0, 0, 0, 1);
		gl.Clear(GL_COLOR_BUFFER_BIT);
		tman.set_blend_level(0, c.level);
		tman.bind_ref(120, 0, c.mode);
		gl.Color4f(0, 0, 1, 1);
		gl.Begin(GL_QUADS);
		gl.TexCoord2f(0, 0);
		gl.Vertex2f(0, 0);
		gl.TexCoord2f(1, 0);
		gl.Vertex2f(20, 0);
		gl.TexCoord2f(1, 1);
		gl.Vertex2f(20, 20);
		gl.TexCoord2f(0, 1);
		gl.Vertex2f(0, 20);
		gl.End();
		unsigned char px[4] = {};
		gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
		gl.ReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
		EXPECT_NEAR(px[0], c.r, 2) << c.mode;
		EXPECT_NEAR(px[1], c.g, 2) << c.mode;
		EXPECT_NEAR(px[2], c.b, 2) << c.mode;
	}
	gl.Disable(GL_TEXTURE_2D);
	TEX_bind_ref(0, 0, GL_MODULATE);
}

namespace {
// Finishes a registered asynchronous load: waits for its worker, then
// uploads, as the loader that owns it would.
struct finish_by_joining : tman_force_finish_obj {
	std::thread* worker = nullptr;
	int calls = 0;
	int finalized = 0;
	void force_finish() override
	{
		++calls;
		if (worker && worker->joinable()) worker->join();
		finalized = tman.load_scenery_async_finalize();
	}
};
}  // namespace

TEST_F(tman_test, DeferredSlotsLoadInOneSweep)
{
	g_shown.clear();
	g_progress.clear();
	MACIBM_set_show_init_hook(record_show);
	tmp.mkdir("tiles");
	const std::string p = solid_png("tiles/pic.png", 2, 2, {30, 60, 90, 255});
	for (int ref = 1; ref <= 41; ++ref) ASSERT_EQ(tman.load_texture(tex_fail_fatal, ref, 0x2, tex_loaded, p), ref);
	g_shown.clear();
	for (int ref = 1; ref <= 41; ++ref) tman.ref_dat[ref].load_time = tex_deferred;
	EXPECT_EQ(tman.num_remaining_async_texes(), 41);
	TEX_reset_bind();
	{
		gl_recorder rec;
		tman.bind_ref(5, 0, 0);  // a deferred slot binds the placeholder
		EXPECT_EQ(rec.only({"BindTexture"}), (std::vector<std::string>{gl_call_text("BindTexture", GL_TEXTURE_2D, 932)}));
	}
	g_progress.clear();
	tman.load_all_scenery_texes();
	ASSERT_EQ(g_shown.size(), 2u);
	EXPECT_EQ(g_shown[0], "Loading scenery texture pic.png.");
	EXPECT_EQ(g_shown[1], "Loading scenery texture pic.png.");
	EXPECT_FLOAT_EQ(g_progress[0], 0.0f);
	EXPECT_FLOAT_EQ(g_progress[1], 40.0f / 41.0f);
	EXPECT_EQ(tman.num_remaining_async_texes(), 0);
	EXPECT_EQ(tman.deferred_scan_start, (int)tman.ref_dat.size());
	EXPECT_EQ(tman.ref_dat[41].load_time, tex_loaded);
	MACIBM_set_show_init_hook(nullptr);
	EXPECT_EQ(tman.load_scenery_async_finalize(), 0);  // nothing registered
	// One slot loaded on demand; a loaded slot is left alone.
	tman.ref_dat[7].load_time = tex_deferred;
	gl_recorder rec;
	tman.force_load_tex(7);
	tman.force_load_tex(8);
	EXPECT_EQ(rec.count("TexImage2D") + rec.count("TexSubImage2D"), 1);
	EXPECT_EQ(tman.ref_dat[7].load_time, tex_loaded);
	EXPECT_TRUE(alerts.empty());
}

TEST_F(tman_test, AsynchronousFileStageRunsOnAWorker)
{
	const std::string far = solid_png("far.png", 4, 4, {10, 20, 30, 255});
	const std::string near = solid_png("near.png", 4, 4, {40, 50, 60, 255});
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x2, tex_loaded, far), 1137);
	tman.ref_dat[1137].load_time = tex_deferred;
	finish_by_joining finish;
	ASSERT_EQ(tman.load_scenery_async_register(&finish), 1);
	std::atomic<int> work_result{-1};
	std::thread worker([&] { work_result = tman.load_scenery_async_work(); });
	finish.worker = &worker;
	// A load on the main thread first finishes the registered one.
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 130, 0x2, tex_loaded, near), 130);
	if (worker.joinable()) worker.join();
	EXPECT_EQ(finish.calls, 1);
	EXPECT_EQ(work_result.load(), 2);
	EXPECT_EQ(finish.finalized, 1137);
	EXPECT_EQ(tman.ref_dat[1137].load_time, tex_loaded);
	EXPECT_EQ(read_back(1137, GL_RGBA, 4, 4), solid(16, {10, 20, 30, 255}));
	EXPECT_EQ(read_back(130, GL_RGBA, 4, 4), solid(16, {40, 50, 60, 255}));
	// Nothing left: registering finds nothing and moves the scan start.
	EXPECT_EQ(tman.load_scenery_async_register(&finish), 0);
	EXPECT_EQ(tman.deferred_scan_start, (int)tman.ref_dat.size());
	EXPECT_TRUE(alerts.empty());
}

TEST_F(tman_test, SharedNameStaysMappedToItsFirstSlot)
{
	scratch_dx = scratch_dy = 8;
	std::memset(scratch_array, 0x55, 8 * 8);
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 393, 0x503, tex_loaded, "scratch_array-fonts"), 393);
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 394, 0x503, tex_loaded, "scratch_array-fonts"), 394);
	EXPECT_EQ(tex_hash.at("scratch_array-fonts"), 393);
	// 394 re-uploads under the shared name: 393's entry stays.
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 394, 0x503, tex_loaded, "scratch_array-fonts"), 394);
	EXPECT_EQ(tex_hash.at("scratch_array-fonts"), 393);
	// Freeing 394 leaves 393 findable.
	tman.unload_texture(394);
	EXPECT_EQ(tex_hash.at("scratch_array-fonts"), 393);
	EXPECT_EQ(read_back(393, GL_ALPHA, 8, 8), bytes(64, 0x55));
	EXPECT_TRUE(alerts.empty());
}

TEST_F(tman_test, DdsSkipsLevelsAndFindsTransparentDxt1)
{
	// A 16 x 16 RGB chain at a quarter of full resolution: two levels skipped,
	// three uploaded (4 x 4, 2 x 2, 1 x 1).
	bytes img(16 * 16 * 3, 60);
	TEX_image_desc d;
	d.format = GL_RGB;
	d.width = d.height = 16;
	ASSERT_EQ(TEX_save_dds(tmp("q.dds"), img.data(), d), 1);
	mnw.tex_res = 3;
	gl_recorder rec;
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 140, 0x9, tex_loaded, tmp("q.dds")), 140);
	EXPECT_EQ(rec.count("CompressedTexImage2D"), 3);
	EXPECT_EQ(tman.ref_dat[140].tex_w, 4);
	mnw.tex_res = 5;

	// A one-level-per-size DXT1 chain of 4 x 8 whose blocks hold transparent
	// texels: the format becomes DXT1 with alpha.
	bytes rgba(4 * 8 * 4, 0);
	for (size_t i = 0; i < rgba.size(); i += 4) rgba[i] = 200, rgba[i + 3] = (i / 4) % 2 ? 255 : 0;
	std::string file(128, '\0');
	auto put = [&](int off, unsigned v) {
		for (int i = 0; i < 4; ++i) file[off + i] = (char)((v >> (8 * i)) & 0xFF);
	};
	std::memcpy(&file[0], "DDS ", 4);
	put(8, 0xA1007);
	put(12, 8);
	put(16, 4);
	put(80, 4);
	std::memcpy(&file[84], "DXT1", 4);
	put(108, 0x401008);
	int w = 4, h = 8;
	for (;;) {
		bytes blocks(squish::GetStorageRequirements(w, h, squish::kDxt1));
		squish::CompressImage(rgba.data(), w, h, blocks.data(), squish::kDxt1);
		file.append(blocks.begin(), blocks.end());
		if (w == 1 && h == 1) break;
		w = std::max(1, w / 2);
		h = std::max(1, h / 2);
	}
	tmp.write("t.dds", file);
	ASSERT_EQ(tman.load_texture(tex_fail_fatal, 141, 0x1, tex_loaded, tmp("t.dds")), 141);
	EXPECT_EQ(tman.ref_dat[141].format, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);

	// A DDS without its mipmap chain is missing.
	put(8, 0x81007);
	tmp.write("n.dds", file);
	EXPECT_EQ(tman.load_texture(tex_fail_silent, 142, 0x1, tex_loaded, tmp("n.dds")), 0);
	EXPECT_EQ(tman.ref_dat[142].tex_name, 932);
	EXPECT_TRUE(alerts.empty());
}
