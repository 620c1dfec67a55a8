// Text drawn through OGL_font_string, read back as the recorder's glyph
// quads and compared with quads computed from FreeType's metrics by the test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "tests/support/gl_context.h"

namespace {

struct ft_metrics {
	FT_Library lib{};
	FT_Face face{};
	explicit ft_metrics(const char* file)
	{
		std::string path = std::string(VENTORA_TEST_BIN_DIR) + "/Resources/" + file;
		FT_Init_FreeType(&lib);
		FT_New_Face(lib, path.c_str(), 0, &face);
		FT_Set_Char_Size(face, 0, (FT_F26Dot6)(10.5f * 64), 72, 72);
	}
	~ft_metrics()
	{
		FT_Done_Face(face);
		FT_Done_FreeType(lib);
	}
	struct glyph {
		int w, h;
		float left, bottom, advance;
	};
	glyph get(unsigned int code)
	{
		FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT);
		const FT_Glyph_Metrics& m = face->glyph->metrics;
		return {(int)(m.width >> 6), (int)(m.height >> 6), m.horiBearingX / 64.0f,
		        (m.horiBearingY - m.height) / 64.0f, m.horiAdvance / 64.0f};
	}
	float trunc_width(const std::string& s)
	{
		float w = 0;
		for (char c : s) w += truncf(get((unsigned char)c).advance);
		return w;
	}
};

struct vtx {
	float x, y;
};

// Vertex lists of each glBegin/glEnd group in the recorder's log.
std::vector<std::vector<vtx>> quads_by_line(const std::vector<std::string>& calls)
{
	std::vector<std::vector<vtx>> lines;
	bool in = false;
	for (const std::string& c : calls) {
		if (c == gl_call_text("Begin", GL_QUADS)) {
			lines.emplace_back();
			in = true;
		} else if (c == "End()") {
			in = false;
		} else if (in && c.rfind("Vertex2f(", 0) == 0) {
			vtx v;
			sscanf(c.c_str(), "Vertex2f(%f, %f)", &v.x, &v.y);
			lines.back().push_back(v);
		}
	}
	return lines;
}

struct expect_line {
	std::string text;  // characters drawn (ASCII)
	float y;           // baseline, relative to the call's y
};

struct text_case {
	const char* name;
	std::string text;
	float width;       // negative: narrow wrap between "abc" and "abc "
	int align;
	int fixed;
	std::vector<expect_line> lines;
	float ret;         // returned y relative to the call's y
};

const unsigned int failed_code = 0x416;  // given a failed entry by the test

}  // namespace

class OglText : public gl_test {
protected:
	void SetUp() override
	{
		gl_test::SetUp();
		saved_ = mnw;
		mnw.wind_x = 30;
		mnw.wind_y = 40;
	}
	void TearDown() override
	{
		mnw.wind_x = saved_.wind_x;
		mnw.wind_y = saved_.wind_y;
	}
	mnw_struct saved_;
};

TEST_F(OglText, LinesWrapAlignAndStepAsTheGlyphMetricsSay)
{
	ft_metrics ft("DejaVuSans.ttf");
	const float narrow = ft.trunc_width("abc") + 1;  // above "abc", not above "abc "
	ASSERT_LE(narrow, ft.trunc_width("abc "));
	const float x = 100, y = 200;
	const std::string bad = "a\xD0\x96" "b";  // U+0416 between two letters

	// Wrapped lines step by the face's own line height.
	const float L = OGL_line_step(0);
	ASSERT_FLOAT_EQ(L, roundf(OGL_font_get(0)->line_height));
	const text_case cases[] = {
	    {"one line at width 9999", "abc def", 9999, 0, 0, {{"abc def", 0}}, 0},
	    {"one line at width 0", "abc def", 0, 0, 0, {{"abc def", 0}}, 0},
	    {"narrow wrap", "abc def", -1, 0, 0, {{"abc", 0}, {"def", -L}}, -2 * L},
	    {"a character past the width begins the next line", "abcd", ft.trunc_width("abc") + 0.5f, 0, 0,
	     {{"abc", 0}, {"d", -L}}, -2 * L},
	    {"over-long word breaks inside", "abcdef", 25, 0, 10, {{"ab", 0}, {"cd", -L}, {"ef", -2 * L}}, -3 * L},
	    {"a path breaks after a '/', not at its blanks", "at /aa/b c/dd.", 95, 0, 10, {{"at /aa/", 0}, {"b c/dd.", -L}},
	     -2 * L},
	    {"a '/' inside a word is no break", "at kb/s now", 65, 0, 10, {{"at", 0}, {"kb/s", -L}, {"now", -2 * L}},
	     -3 * L},
	    {"a full stop after a path at the width stays with its word", "at /aa/bb/.", 100, 0, 10,
	     {{"at /aa/", 0}, {"bb/.", -L}}, -2 * L},
	    {"a closing quote after a path stays with it", "in '/aa/bb/'.", 120, 0, 10, {{"in '/aa/", 0}, {"bb/'.", -L}},
	     -2 * L},
	    {"a word wider than the line keeps a character for its full stop", "abcdef.", 60, 0, 10,
	     {{"abcde", 0}, {"f.", -L}}, -2 * L},
	    {"a number keeps its unit at the wrap edge", "size 1024 KB", 110, 0, 10, {{"size", 0}, {"1024 KB", -L}},
	     -2 * L},
	    {"punctuation after a blank stays with the word before", "ab cd :", 60, 0, 10, {{"ab", 0}, {"cd :", -L}},
	     -2 * L},
	    {"a number before a number may break", "in 10 20", 70, 0, 10, {{"in 10", 0}, {"20", -L}}, -2 * L},
	    {"trailing LF, no wrap", "ab\n", 0, 0, 0, {{"ab", 0}}, 0},
	    {"trailing LF, wrapping", "ab\n", 500, 0, 0, {{"ab", 0}}, -L},
	    {"CR LF yields an empty line", "ab\r\ncd", 500, 0, 0, {{"ab", 0}, {"", -L}, {"cd", -2 * L}}, -3 * L},
	    {"newlines without wrap stay on one height", "ab\ncd", 0, 0, 0, {{"ab", 0}, {"cd", 0}}, 0},
	    {"leading spaces of the text are drawn", "  ab", 0, 0, 0, {{"  ab", 0}}, 0},
	    {"spaces after a wrap are skipped", "abc   def", -1, 0, 0, {{"abc", 0}, {"def", -L}}, -2 * L},
	    {"spaces after a newline are skipped", "ab\n  cd", 0, 0, 0, {{"ab", 0}, {"cd", 0}}, 0},
	    {"centred lines", "abc def", -1, 1, 0, {{"abc", 0}, {"def", -L}}, -2 * L},
	    {"right-aligned lines", "abc def", -1, 2, 0, {{"abc", 0}, {"def", -L}}, -2 * L},
	    {"fixed advance 10", "Wi", 0, 0, 10, {{"Wi", 0}}, 0},
	};

	OGL_font_info* f = OGL_font_get(0);
	for (const text_case& c : cases) {
		SCOPED_TRACE(c.name);
		const float width = c.width < 0 ? narrow : c.width;
		OGL_measure_string(c.text, 0);  // glyphs in the atlas before recording
		gl_recorder rec;
		float ret = OGL_font_string(5, x, y, c.text, width, 0, c.align, c.fixed);
		EXPECT_FLOAT_EQ(ret, y + c.ret);
		// Counting the lines breaks them where drawing does.
		if (!c.fixed) {
			EXPECT_EQ(OGL_wrap_lines(c.text, width, 0), (int)c.lines.size());
			const std::vector<std::string> split = OGL_wrap_split(c.text, width, 0);
			for (size_t i = 0; i < split.size() && i < c.lines.size(); ++i) EXPECT_EQ(split[i], c.lines[i].text);
		}
		auto lines = quads_by_line(rec.calls());
		ASSERT_EQ(lines.size(), c.lines.size());
		for (size_t i = 0; i < lines.size(); ++i) {
			const expect_line& e = c.lines[i];
			const float lw = c.fixed ? (float)(c.fixed * e.text.size()) : ft.trunc_width(e.text);
			float pen = x + mnw.wind_x - (c.align == 1 ? lw * 0.5f : c.align == 2 ? lw : 0);
			const float Y = y + mnw.wind_y + e.y;
			ASSERT_EQ(lines[i].size(), 4 * e.text.size()) << "line " << i;
			for (size_t k = 0; k < e.text.size(); ++k) {
				auto g = ft.get((unsigned char)e.text[k]);
				const float xl = floorf(pen + g.left), yb = floorf(Y + g.bottom);
				const vtx want[4] = {{xl, yb}, {xl, yb + g.h}, {xl + g.w, yb + g.h}, {xl + g.w, yb}};
				for (int v = 0; v < 4; ++v) {
					EXPECT_FLOAT_EQ(lines[i][4 * k + v].x, want[v].x) << "char " << k << " vertex " << v;
					EXPECT_FLOAT_EQ(lines[i][4 * k + v].y, want[v].y) << "char " << k << " vertex " << v;
				}
				pen += c.fixed ? (float)c.fixed : g.advance;
			}
		}
	}

	// A failed glyph advances by 0 and draws nothing.
	OGL_char_info failed{};
	failed.error = 6;
	f->chars[failed_code] = failed;
	OGL_measure_string("ab", 0);
	{
		gl_recorder rec;
		OGL_font_string(5, x, y, bad, 0, 0, 0, 0);
		auto lines = quads_by_line(rec.calls());
		ASSERT_EQ(lines.size(), 1u);
		ASSERT_EQ(lines[0].size(), 8u);
		auto a = ft.get('a'), b = ft.get('b');
		EXPECT_FLOAT_EQ(lines[0][4].x, floorf(x + mnw.wind_x + a.advance + b.left));
	}
	EXPECT_EQ(OGL_measure_string(bad, 0), ft.get('a').advance + ft.get('b').advance);
	OGL_font_reset(0);
}

TEST_F(OglText, EmptyTextDrawsNothingAndReturnsY)
{
	gl_recorder rec;
	EXPECT_EQ(OGL_font_string(5, 10, 20, "", 100, 0, 0, 0), 20.0f);
	EXPECT_TRUE(rec.calls().empty());
}

TEST_F(OglText, GlyphQuadsTakeTheirAtlasRectangle)
{
	OGL_font_get(1);
	OGL_font_reset(1);
	OGL_measure_string("Hg", 1);
	OGL_font_info* f = sFont[1];
	const OGL_char_info* g = f->find('g');
	ASSERT_NE(g, nullptr);
	gl_recorder rec;
	gl.Begin(GL_QUADS);
	EXPECT_FLOAT_EQ(f->draw_char('g', 10.5f, 20), g->advance);
	gl.End();
	const float H = (float)f->atlas_rows;
	const float xl = floorf(10.5f + g->left), yb = floorf(20 + g->bottom);
	const float xr = xl + (g->x1 - g->x0), yt = yb + (g->y1 - g->y0);
	const float s0 = g->x0 / 1024.0f, s1 = g->x1 / 1024.0f, t0 = g->y0 / H, t1 = g->y1 / H;
	EXPECT_EQ(rec.calls(), (std::vector<std::string>{
	                           gl_call_text("Begin", GL_QUADS),
	                           gl_call_text("TexCoord2f", s0, t1), gl_call_text("Vertex2f", xl, yb),
	                           gl_call_text("TexCoord2f", s0, t0), gl_call_text("Vertex2f", xl, yt),
	                           gl_call_text("TexCoord2f", s1, t0), gl_call_text("Vertex2f", xr, yt),
	                           gl_call_text("TexCoord2f", s1, t1), gl_call_text("Vertex2f", xr, yb),
	                           "End()"}));
	// A code point never asked for draws nothing.
	rec.clear();
	EXPECT_EQ(f->draw_char(0x5D0, 0, 0), 0.0f);
	EXPECT_TRUE(rec.calls().empty());
}

TEST_F(OglText, StringEntryDrawsOneUnitLowerWithProportionalAdvances)
{
	const std::string text = "Wide words wrap";
	OGL_measure_string(text, 1);
	std::vector<std::string> direct, entry;
	float r1, r2;
	{
		gl_recorder rec;
		r1 = OGL_font_string(7, 10, 49, text, 40, 1, 2, 0);
		direct = rec.only({"Begin", "TexCoord2f", "Vertex2f", "End"});
	}
	{
		gl_recorder rec;
		r2 = OGL_string(7, 10, 50, text, 40, 1, 2);
		entry = rec.only({"Begin", "TexCoord2f", "Vertex2f", "End"});
	}
	EXPECT_EQ(r1, r2);
	EXPECT_EQ(entry, direct);
	EXPECT_EQ(str_dx(text), OGL_measure_string(text, 0));
}

TEST_F(OglText, AtlasUploadsOnlyWhenItChangedAndNeverWithoutRows)
{
	auto uploads = [](const gl_recorder& r) { return r.count("TexImage2D") + r.count("TexSubImage2D"); };
	OGL_font_info* f = OGL_font_get(0);
	OGL_font_reset(0);
	{
		gl_recorder rec;
		OGL_font_string(5, 10, 10, "   ", 0, 0, 0, 0);  // spaces only: no rows yet
		EXPECT_EQ(f->atlas_rows, 0);
		EXPECT_EQ(uploads(rec), 0);
	}
	{
		gl_recorder rec;
		OGL_font_string(5, 10, 10, "ab", 0, 0, 0, 0);
		EXPECT_EQ(uploads(rec), 1);
		rec.clear();
		OGL_font_string(5, 10, 10, "ba ab", 0, 0, 0, 0);  // nothing new
		EXPECT_EQ(uploads(rec), 0);
		EXPECT_EQ(rec.count("Begin"), 1);
		rec.clear();
		OGL_font_string(5, 10, 10, "cd\nab\nef", 0, 0, 0, 0);  // new glyphs on lines 1 and 3
		EXPECT_EQ(uploads(rec), 2);
		EXPECT_EQ(rec.count("Begin"), 3);
	}
	GLint w = 0, h = 0, fmt = 0;
	glBindTexture(GL_TEXTURE_2D, 393);
	glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
	glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
	glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &fmt);
	EXPECT_EQ(w, 1024);
	EXPECT_EQ(h, f->atlas_rows);
	EXPECT_EQ(fmt, GL_ALPHA);
	// The texture holds the atlas bytes.
	std::vector<unsigned char> got((size_t)w * h);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, got.data());
	glPixelStorei(GL_PACK_ALIGNMENT, 4);
	EXPECT_EQ(memcmp(got.data(), f->pixels.get(), got.size()), 0);
	TEX_reset_bind();
}

TEST_F(OglText, BrokenUtf8DrawsWhatItDecodesAndStopsAtTheEnd)
{
	struct row {
		std::string text;
		size_t glyphs;
	};
	// Continuation bytes at the start decode as one code 0; a character cut
	// off by the end decodes as code 0 too.
	const row rows[] = {{"\x80\x80" "A", 2}, {"A\xE2\x82", 2}, {"\xC3", 1}, {"\xFF\xFE", 2}};
	for (const row& r : rows) {
		gl_recorder rec;
		EXPECT_EQ(OGL_font_string(5, 0, 0, r.text, 0, 0, 0, 0), 0.0f);
		EXPECT_EQ((size_t)rec.count("Vertex2f"), 4 * r.glyphs);
	}
}
