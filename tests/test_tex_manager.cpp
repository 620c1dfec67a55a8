// The texture manager and the binding cache on a real OpenGL context (Mesa
// under Xvfb): references, loading, fail modes, upload, release, deferred
// loads, and the texture-environment recipes.
#include <gtest/gtest.h>
#include <png.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_maker.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/oglp.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "DIzivoz/TEX/TEX_dds.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_stats.h"
#include "DIzivoz/UTL/UTL_xtim.h"
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
