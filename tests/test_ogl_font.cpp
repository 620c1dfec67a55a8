// The glyph atlas and the UTF-8 text measures, checked against FreeType's
// own metrics and bitmaps read by the test.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/UTL/UTL_stats.h"

namespace {

// The test's own view of a font, loaded exactly as the layer loads it.
struct ft_ref {
	FT_Library lib{};
	FT_Face face{};
	explicit ft_ref(const char* file)
	{
		std::string path = std::string(VENTORA_TEST_BIN_DIR) + "/Resources/" + file;
		EXPECT_EQ(FT_Init_FreeType(&lib), 0);
		EXPECT_EQ(FT_New_Face(lib, path.c_str(), 0, &face), 0) << path;
		FT_Set_Char_Size(face, 0, (FT_F26Dot6)(10.5f * 64), 72, 72);
	}
	~ft_ref()
	{
		FT_Done_Face(face);
		FT_Done_FreeType(lib);
	}
	FT_GlyphSlot load(unsigned int code)
	{
		EXPECT_EQ(FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT), 0);
		return face->glyph;
	}
	float advance(unsigned int code) { return (float)load(code)->metrics.horiAdvance / 64.0f; }
};

// Bytes in a heap block of exactly their size, so a read past the end trips ASan.
struct exact_bytes {
	std::unique_ptr<unsigned char[]> p;
	size_t n;
	explicit exact_bytes(const std::string& s) : p(new unsigned char[s.size() ? s.size() : 1]), n(s.size())
	{
		memcpy(p.get(), s.data(), s.size());
	}
	const unsigned char* b() const { return p.get(); }
	const unsigned char* e() const { return p.get() + n; }
};

struct alert_catcher {
	std::vector<alert_record> alerts;
	alert_catcher()
	{
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
	}
	~alert_catcher() { MACIBM_set_alert_sink({}); }
};

}  // namespace

TEST(OglFontUtf8, DecodeAndStepStayInsideTheText)
{
	struct row {
		const char* name;
		std::string bytes;
		unsigned int code;      // decoded at the start
		size_t next;            // offset of the next character
		size_t prev_from_end;   // offset one character back from the end
	};
	const row rows[] = {
	    {"ascii", "A", 65, 1, 0},
	    {"two bytes", "\xC3\xA9", 0xE9, 2, 0},
	    {"three bytes", "\xE2\x82\xAC", 0x20AC, 3, 0},
	    {"four bytes", "\xF0\x9F\x98\x80", 0x1F600, 4, 0},
	    {"leading continuation bytes", "\x80\x80" "A", 0, 2, 2},
	    {"cut short after the lead", "\xE2\x82", 0, 2, 0},
	    {"lone lead at the end", "a\xC3", 'a', 1, 1},
	    {"bad lead", "\xFF" "b", 0, 1, 1},
	    {"only continuation bytes", "\x80\xBF", 0, 2, 0},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		exact_bytes t(r.bytes);
		EXPECT_EQ(OGL_utf8_decode(t.b(), t.e()), r.code);
		EXPECT_EQ((size_t)(OGL_utf8_next(t.b(), t.b(), t.e()) - t.b()), r.next);
		EXPECT_EQ((size_t)(OGL_utf8_prev(t.e(), t.b()) - t.b()), r.prev_from_end);
	}
	// A forward step from inside a character backs up to its lead byte first,
	// never before the start of the range.
	exact_bytes t("x\xE2\x82\xACy");
	EXPECT_EQ(OGL_utf8_next(t.b() + 2, t.b(), t.e()), t.b() + 4);
	EXPECT_EQ(OGL_utf8_next(t.b() + 2, t.b() + 2, t.e()), t.b() + 4);
	EXPECT_EQ(OGL_utf8_prev(t.b(), t.b()), t.b());
}

TEST(OglFontUtf8, MeasuresAndFitsOnBrokenTextReadOnlyTheirRange)
{
	ft_ref ref("DejaVuSans.ttf");
	const float a = ref.advance('A'), zero = ref.advance(0);
	{
		exact_bytes t("\x80\x80" "A");  // starts with continuation bytes
		EXPECT_FLOAT_EQ(OGL_measure_range(t.b(), t.e(), 0), zero + a);
		EXPECT_EQ(OGL_fit_reverse(t.b(), t.e(), 1000, 0), t.b());
		EXPECT_EQ(OGL_fit_reverse(t.b(), t.e(), a - 0.5f, 0), t.e());
		EXPECT_EQ(OGL_fit_forward(t.b(), t.e(), 1000, 0), t.e());
	}
	{
		exact_bytes t("A\xE2\x82");  // ends in the middle of a character
		EXPECT_FLOAT_EQ(OGL_measure_range(t.b(), t.e(), 0), a + zero);
		EXPECT_EQ(OGL_fit_forward(t.b(), t.e(), a, 0), t.b() + 1);
		EXPECT_EQ(OGL_fit_reverse(t.b(), t.e(), 1000, 0), t.b());
	}
	exact_bytes empty("");
	EXPECT_EQ(OGL_measure_range(empty.b(), empty.b(), 0), 0.0f);
	EXPECT_EQ(OGL_fit_forward(empty.b(), empty.b(), 10, 0), empty.b());
	EXPECT_EQ(OGL_fit_reverse(empty.b(), empty.b(), 10, 0), empty.b());
}

TEST(OglFontMeasure, FitsAtEqualWidthAndStringStopsAtNul)
{
	for (int cs = 0; cs < 2; ++cs) {
		SCOPED_TRACE(cs);
		ft_ref ref(cs ? "DejaVuSansBold.ttf" : "DejaVuSans.ttf");
		const float wa = ref.advance('a'), wb = ref.advance(0xE9), wc = ref.advance('W');
		exact_bytes t("a\xC3\xA9W");
		const float all = wa + wb + wc;
		EXPECT_FLOAT_EQ(OGL_measure_range(t.b(), t.e(), cs), all);
		EXPECT_EQ(OGL_fit_forward(t.b(), t.e(), all, cs), t.e());
		EXPECT_EQ(OGL_fit_forward(t.b(), t.e(), all - 0.25f, cs), t.b() + 3);
		EXPECT_EQ(OGL_fit_forward(t.b(), t.e(), wa - 0.25f, cs), t.b());
		EXPECT_EQ(OGL_fit_reverse(t.b(), t.e(), all, cs), t.b());
		EXPECT_EQ(OGL_fit_reverse(t.b(), t.e(), wb + wc, cs), t.b() + 1);
		EXPECT_EQ(OGL_fit_reverse(t.b(), t.e(), wc, cs), t.b() + 3);
		EXPECT_EQ(OGL_fit_reverse(t.b(), t.e(), wc - 0.25f, cs), t.e());

		EXPECT_FLOAT_EQ(OGL_measure_string(std::string("a\xC3\xA9W", 4), cs), all);
		EXPECT_FLOAT_EQ(OGL_measure_string(std::string("aW\0a\xC3\xA9", 6), cs), wa + wc);
		EXPECT_EQ(OGL_measure_string("", cs), 0.0f);
		EXPECT_FLOAT_EQ(OGL_measure_char('W', cs), wc);
		// Newlines and spaces count with their own advances.
		EXPECT_FLOAT_EQ(OGL_measure_string("a\n a", cs), 2 * wa + ref.advance('\n') + ref.advance(' '));
	}
}

TEST(OglFontAtlas, FirstGlyphMakesASixteenRowAtlasAndResetTakesItBack)
{
	ft_ref ref("DejaVuSans.ttf");
	// The first code point whose glyph is 9 to 16 rows high.
	unsigned int code = 0;
	for (unsigned int c : {'|', '(', '[', '{', 'J', 'g', 'Q'}) {
		int h = (int)(ref.load(c)->metrics.height >> 6);
		if (h >= 9 && h <= 16) {
			code = c;
			break;
		}
	}
	ASSERT_NE(code, 0u);

	OGL_font_info* f = OGL_font_get(0);
	OGL_font_reset(0);
	EXPECT_EQ(f->atlas_rows, 0);
	EXPECT_TRUE(f->chars.empty());
	const float before = g_font_tex_mem.value;
	f->require_char(code);
	EXPECT_EQ(f->atlas_rows, 16);
	EXPECT_EQ(f->dirty, 1);
	EXPECT_FLOAT_EQ(g_font_tex_mem.value, before + 16);
	OGL_font_reset(0);
	EXPECT_EQ(f->atlas_rows, 0);
	EXPECT_EQ(f->dirty, 0);
	EXPECT_FLOAT_EQ(g_font_tex_mem.value, before);

	// The statistic is registered under its name as a memory statistic.
	UTL_stat::init_stats();
	bool found = false;
	for (UTL_stat* s : UTL_all_stats()[stat_memory]) found |= std::string(s->name) == "font/tex_mem";
	EXPECT_TRUE(found);

	// A fresh font holding only a space has no rows yet, but changed.
	f->require_char(' ');
	EXPECT_EQ(f->atlas_rows, 0);
	EXPECT_EQ(f->dirty, 1);
	OGL_font_reset(0);
}

TEST(OglFontAtlas, ShelvesPackGaplessAndHoldFreeTypesPixels)
{
	ft_ref ref("DejaVuSansBold.ttf");
	OGL_font_info* f = OGL_font_get(1);
	OGL_font_reset(1);
	const float before = g_font_tex_mem.value;

	// Enough glyphs for several shelves.
	std::vector<unsigned int> codes;
	for (unsigned int c = 0x21; c < 0x300; ++c) codes.push_back(c);
	int expect_x = 0, expect_top = 0, expect_h = 0;
	for (unsigned int c : codes) {
		FT_GlyphSlot g = ref.load(c);
		const int w = (int)(g->metrics.width >> 6), h = (int)(g->metrics.height >> 6);
		if (expect_x + w > 1024) {
			expect_top += expect_h;
			expect_x = 0;
			expect_h = 0;
		}
		expect_h = std::max(expect_h, h);

		EXPECT_FLOAT_EQ(f->require_char(c), (float)g->metrics.horiAdvance / 64.0f);
		const OGL_char_info* ci = f->find(c);
		ASSERT_NE(ci, nullptr);
		ASSERT_EQ(ci->error, 0);
		EXPECT_EQ(ci->x0, expect_x) << c;
		EXPECT_EQ(ci->y0, expect_top) << c;
		EXPECT_EQ(ci->x1, expect_x + w);
		EXPECT_EQ(ci->y1, expect_top + h);
		EXPECT_FLOAT_EQ(ci->left, (float)g->metrics.horiBearingX / 64.0f);
		EXPECT_FLOAT_EQ(ci->bottom, (float)(g->metrics.horiBearingY - g->metrics.height) / 64.0f);
		// Pixels: the glyph's top scanline at row y0.
		ASSERT_EQ((int)g->bitmap.width, w);
		ASSERT_EQ((int)g->bitmap.rows, h);
		for (int r = 0; r < h; ++r)
			ASSERT_EQ(memcmp(f->pixels.get() + (size_t)(ci->y0 + r) * 1024 + ci->x0,
			                 g->bitmap.buffer + (size_t)r * g->bitmap.pitch, (size_t)w),
			          0)
			    << "code " << c << " row " << r;
		expect_x += w;
	}
	EXPECT_GT(expect_top, 0) << "several shelves were needed";
	int rows = f->atlas_rows;
	EXPECT_GE(rows, expect_top + expect_h);
	EXPECT_EQ(rows & (rows - 1), 0) << "power of two";
	EXPECT_LT(rows / 2, expect_top + expect_h) << "smallest power of two";
	EXPECT_FLOAT_EQ(g_font_tex_mem.value, before + (float)rows);

	// A glyph asked for again is found, not rendered again.
	const size_t n = f->chars.size();
	const int sx = f->shelf_x;
	f->require_char('A');
	EXPECT_EQ(f->chars.size(), n);
	EXPECT_EQ(f->shelf_x, sx);
	OGL_font_reset(1);
	EXPECT_FLOAT_EQ(g_font_tex_mem.value, before);
}

TEST(OglFontAtlas, MissingFontRaisesItsAlertAndGlyphsFailQuietly)
{
	namespace fs = std::filesystem;
	fs::path empty = fs::temp_directory_path() / ("ogl_font_empty_" + std::to_string(getpid()));
	fs::create_directories(empty);
	OGL_font_get(1);
	{
		alert_catcher caught;
		UTL_set_resource_root(empty.string());
		OGL_font_reset(1);
		UTL_set_resource_root("");
		ASSERT_EQ(caught.alerts.size(), 1u);
		const alert_record& a = caught.alerts[0];
		EXPECT_EQ(a.line1, "Error: unable to make font from file");
		EXPECT_EQ(a.line2, "RESOURCE:DejaVuSansBold.ttf");
		EXPECT_EQ(a.line3, "");
		EXPECT_EQ(a.line4, "");
		EXPECT_EQ(a.kind, alert_fatal);
		EXPECT_EQ(a.source_file, "DIzivoz/OGL/OGL_font");
		EXPECT_EQ(a.source_line, 164);
	}
	// Without a face every glyph is a cached failure of advance 0.
	OGL_font_info* f = sFont[1];
	EXPECT_EQ(OGL_measure_string("Ab", 1), 0.0f);
	const OGL_char_info* ci = f->find('A');
	ASSERT_NE(ci, nullptr);
	EXPECT_NE(ci->error, 0);
	EXPECT_EQ(ci->x1, 0);
	EXPECT_EQ(ci->advance, 0.0f);
	EXPECT_EQ(f->atlas_rows, 0);

	OGL_font_reset(1);  // found again
	EXPECT_GT(OGL_measure_string("Ab", 1), 10.0f);
	fs::remove_all(empty);
}
