// 2-D primitives and numbers: the number texts as a table, and the calls
// each primitive makes, read through the recorder.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "DIzivoz/OOPS_cpp/oglp_2d.h"

TEST(OglNumber, TextPathDigitsSignsPointsCommasAndOverflow)
{
	const float inf = std::numeric_limits<float>::infinity();
	const float nan = std::numeric_limits<float>::quiet_NaN();
	struct row {
		float value;
		int digits, decimals;
		const char* text;
	};
	const row rows[] = {
	    {-0.04f, 3, 1, "-00.0"},        // shows as non-zero: signed, leading zeros
	    {-0.004f, 3, 1, "00.0"},        // shows as zero: no sign
	    {0, 3, 1, "00.0"},
	    {1000, 3, 0, "1.00x3"},         // too many places
	    {123456, 3, 0, "1.23x5"},
	    {5, 1, 1, "0.05x2"},            // no room for the decimal
	    {12.5f, 4, 2, "12.50"},
	    {1234567, 7, 0, "1,234,567"},
	    {-1234.5f, 6, 1, "-01,234.5"},
	    {3e9f, 10, 0, "3,000,000,000"},  // past 2^31: true digits
	    {2147483648.0f, 10, 0, "2,147,483,648"},
	    {inf, 3, 0, "0.00x0"},           // never loops, every digit '0'
	    {-inf, 3, 0, "-0.00x0"},
	    {inf, 10, 0, "0,000,000,000"},
	    {nan, 3, 1, "00.0"},
	    {7, 0, 0, "0.07x2"},           // no places at all
	};
	for (const row& r : rows) {
		SCOPED_TRACE(std::to_string(r.value) + " " + std::to_string(r.digits) + "." +
		             std::to_string(r.decimals));
		EXPECT_EQ(OGL_number_text(r.value, r.digits, r.decimals), r.text);
	}
}

// ---- primitives through the recorder ------------------------------------------

#include <cstdio>
#include <functional>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_prefix.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "tests/support/gl_context.h"

namespace {

struct vtx {
	float x, y;
};
struct group {
	int mode;
	std::vector<vtx> v;
};

std::vector<group> groups_of(const std::vector<std::string>& calls)
{
	std::vector<group> out;
	bool in = false;
	for (const std::string& c : calls) {
		int mode;
		if (sscanf(c.c_str(), "Begin(%d)", &mode) == 1) {
			out.push_back({mode, {}});
			in = true;
		} else if (c == "End()") {
			in = false;
		} else if (in && c.rfind("Vertex2f(", 0) == 0) {
			vtx p;
			sscanf(c.c_str(), "Vertex2f(%f, %f)", &p.x, &p.y);
			out.back().v.push_back(p);
		}
	}
	return out;
}

class OglPrims : public gl_test {
protected:
	void SetUp() override
	{
		gl_test::SetUp();
		MACIBM_fill_lookup();
		if (ren.tex_units < 1) ren.tex_units = 8;  // as the probe leaves it
		ox_ = mnw.wind_x;
		oy_ = mnw.wind_y;
		mnw.wind_x = 30;
		mnw.wind_y = 40;
	}
	void TearDown() override
	{
		mnw.wind_x = ox_;
		mnw.wind_y = oy_;
	}
	float ox_ = 0, oy_ = 0;
};

}  // namespace

TEST_F(OglPrims, EachPrimitiveSetsItsStateAndVerticesWithTheOriginOnce)
{
	struct row {
		const char* name;
		std::function<void()> draw;
		bool blend, texture;
		std::vector<group> want;
	};
	const float r6 = sqrtf(6.0f);
	const row rows[] = {
	    {"line: half pixel", [] { OGL_line(3, 1, 10, 20, 30, 40); }, true, false,
	     {{GL_LINES, {{40.5f, 60.5f}, {60.5f, 80.5f}}}}},
	    {"fillrect: no half pixel", [] { OGL_fillrect(3, 1, 10, 20, 5, 6); }, true, false,
	     {{GL_QUADS, {{40, 60}, {40, 66}, {45, 66}, {45, 60}}}}},
	    {"framerect: half pixel", [] { OGL_framerect(3, 0.5f, 10, 20, 5, 6); }, true, false,
	     {{GL_LINE_LOOP, {{40.5f, 60.5f}, {40.5f, 66.5f}, {45.5f, 66.5f}, {45.5f, 60.5f}}}}},
	    {"grayrect", [] { OGL_grayrect(1, 2, 3, 4, 0.5f); }, true, false,
	     {{GL_QUADS, {{31, 42}, {31, 44}, {33, 44}, {33, 42}}}}},
	    {"fillcircle r 0", [] { OGL_fillcircle(3, 10, 20, 0); }, true, false,
	     {{GL_LINES, {{40.5f, 60.5f}, {40.5f, 60.5f}}}}},
	    {"fillcircle r 2.5", [] { OGL_fillcircle(3, 10, 20, 2.5f); }, true, false,
	     {{GL_LINES, {{40.5f, 58}, {40.5f, 58}}},
	      {GL_LINES, {{38.5f, 59}, {42.5f, 59}}},
	      {GL_LINES, {{40.5f - r6, 60}, {40.5f + r6, 60}}},
	      {GL_LINES, {{40.5f - r6, 61}, {40.5f + r6, 61}}},
	      {GL_LINES, {{38.5f, 62}, {42.5f, 62}}},
	      {GL_LINES, {{40.5f, 63}, {40.5f, 63}}}}},
	    {"arc from 0 to 0", [] { OGL_arc(3, 10, 20, 10, 12.5f, 0, 0); }, true, false,
	     {{GL_LINES, {{40.5f, 70.5f}, {40.5f, 70.5f}}},
	      {GL_LINES, {{40.5f, 71.5f}, {40.5f, 71.5f}}},
	      {GL_LINES, {{40.5f, 72.5f}, {40.5f, 72.5f}}}}},
	    {"2dquad with reference 0", [] { OGL_2dquad(0, 3, 1, 1, 2, 0, 0, 1, 4, 0, 1, 3, 4, 1, 1, 3, 2, 1, 0, 1, 5); },
	     true, true, {{GL_QUADS, {{31, 42}, {31, 44}, {33, 44}, {33, 42}}}}},
	    {"2dquad_d with reference 0", [] { OGL_2dquad_d(0, 3, 1, 1, 2, 0, 0, 4, 5, 1, 1, 6); }, false, true,
	     {{GL_QUADS, {{31, 42}, {31, 47}, {35, 47}, {35, 42}}}}},
	    {"back colour over the whole window", [] { OGL_plot_back_col(); }, true, false,
	     {{GL_QUADS, {{0, 0}, {0, (float)mnw.y_res}, {(float)mnw.x_res, (float)mnw.y_res}, {(float)mnw.x_res, 0}}}}},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		// A state the primitive has to change.
		OGL_setstate(1, r.texture ? 0 : 1, 3, r.blend ? 4 : 5, 9, 11);
		std::vector<std::string> calls;
		{
			gl_recorder rec;
			r.draw();
			calls = rec.calls();
			EXPECT_EQ(rec.count("BindTexture"), 0);
		}
		EXPECT_EQ(gl.IsEnabled(GL_BLEND), r.blend ? GL_TRUE : GL_FALSE);
		EXPECT_EQ(gl.IsEnabled(GL_TEXTURE_2D), r.texture ? GL_TRUE : GL_FALSE);
		auto got = groups_of(calls);
		ASSERT_EQ(got.size(), r.want.size());
		for (size_t g = 0; g < got.size(); ++g) {
			EXPECT_EQ(got[g].mode, r.want[g].mode);
			ASSERT_EQ(got[g].v.size(), r.want[g].v.size()) << "group " << g;
			for (size_t k = 0; k < got[g].v.size(); ++k) {
				EXPECT_NEAR(got[g].v[k].x, r.want[g].v[k].x, 1e-4) << "group " << g << " vertex " << k;
				EXPECT_NEAR(got[g].v[k].y, r.want[g].v[k].y, 1e-4) << "group " << g << " vertex " << k;
			}
		}
	}
}

TEST_F(OglPrims, CirclesAndArcsFollowTheDegreeTables)
{
	gl_recorder rec;
	OGL_framecircle(3, 10, 20, 4);
	auto g = groups_of(rec.calls());
	ASSERT_EQ(g.size(), 1u);
	EXPECT_EQ(g[0].mode, GL_LINE_STRIP);
	ASSERT_EQ(g[0].v.size(), 73u);
	EXPECT_FLOAT_EQ(g[0].v.front().x, g[0].v.back().x);  // closed
	EXPECT_FLOAT_EQ(g[0].v.front().y, g[0].v.back().y);
	EXPECT_FLOAT_EQ(g[0].v[0].y, 64.5f);                  // 0 degrees points up
	EXPECT_NEAR(g[0].v[18].x, 44.5f, 1e-4);               // 90 degrees to the right
	EXPECT_EQ(gl.IsEnabled(GL_BLEND), GL_FALSE);          // outlined circles do not blend

	rec.clear();
	OGL_arc(3, 10, 20, 5, 4, 0, 90);  // inner above outer: nothing
	EXPECT_TRUE(rec.calls().empty());

	// Arc 10 to 12.5 over 0..2 degrees: radii 10, 11 and 12, three points each.
	rec.clear();
	OGL_arc(3, 0, 0, 10, 12.5f, 0, 2);
	g = groups_of(rec.calls());
	ASSERT_EQ(g.size(), 9u);
	for (int r = 0; r < 3; ++r) {
		EXPECT_FLOAT_EQ(g[3 * r].v[0].x, g[3 * r].v[1].x);  // first segment of zero length
		float dx = g[3 * r + 2].v[1].x - 30.5f, dy = g[3 * r + 2].v[1].y - 40.5f;
		EXPECT_NEAR(sqrtf(dx * dx + dy * dy), 10.0f + r, 1e-3);
		EXPECT_NEAR(atan2f(dx, dy) / degtorad, 2.0f, 1e-3);   // clockwise from up
	}
}

TEST_F(OglPrims, StrtexRefusesABadCharsetWithoutBinding)
{
	std::vector<alert_record> alerts;
	MACIBM_set_alert_sink([&](const alert_record& a) { alerts.push_back(a); });
	float s0 = -1, t0 = -1, s1 = -1, t1 = -1;
	gl_recorder rec;
	EXPECT_EQ(OGL_strtex(2, 3, &s0, &t0, &s1, &t1), 0);
	EXPECT_EQ(rec.count("BindTexture"), 0);
	MACIBM_set_alert_sink({});
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].line1, "String proc with bad charset!");
	EXPECT_EQ(alerts[0].line2 + alerts[0].line3 + alerts[0].line4, "");
	EXPECT_EQ(alerts[0].kind, alert_fatal);
	EXPECT_EQ(alerts[0].source_file, "DIzivoz/OOPS_cpp/oglp");
	EXPECT_EQ(alerts[0].source_line, 495);

	EXPECT_EQ(OGL_strtex(1, 3, &s0, &t0, &s1, &t1), 10);
	EXPECT_EQ(s0, 0.0f);
	EXPECT_EQ(t1, 15.0f);
	EXPECT_EQ(OGL_strtex(0, 3, &s0, &t0, &s1, &t1), 0);
}

TEST_F(OglPrims, QuadNormalsCubeAndDiscStructure)
{
	float a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {1, 0, 1}, d[3] = {0, 0, 1};
	float e[3] = {2, 2, 2};
	struct row {
		const char* name;
		float *p1, *p2, *p3, *p4;
		std::string normal;
	};
	// (p3 - p2) x (p2 - p1)
	const row rows[] = {
	    {"floor quad", a, b, c, d, gl_call_text("Normal3f", 0.0f, 1.0f, 0.0f)},
	    {"reversed", d, c, b, a, gl_call_text("Normal3f", 0.0f, -1.0f, 0.0f)},
	    {"degenerate: all one point", e, e, e, e, gl_call_text("Normal3f", 0.0f, 1.0f, 0.0f)},
	    {"degenerate: collinear", a, b, b, a, gl_call_text("Normal3f", 0.0f, 1.0f, 0.0f)},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		gl_recorder rec;
		rec.pass_through(false);
		OGL_3dquad(r.p1, r.p2, r.p3, r.p4);
		ASSERT_EQ(rec.calls().size(), 9u);
		EXPECT_EQ(rec.calls()[0], r.normal);
		EXPECT_EQ(rec.calls()[1], gl_call_text("TexCoord2f", 1.0f, 1.0f));
		EXPECT_EQ(rec.calls()[7], gl_call_text("TexCoord2f", 0.0f, 1.0f));
		rec.clear();
		OGL_3dquad_st(r.p1, r.p2, r.p3, r.p4, 0.25f, 0.5f, 0.75f, 1);
		EXPECT_EQ(rec.calls()[0], r.normal);
		EXPECT_EQ(rec.only({"TexCoord2f"}),
		          (std::vector<std::string>{gl_call_text("TexCoord2f", 0.25f, 0.5f),
		                                    gl_call_text("TexCoord2f", 0.25f, 1.0f),
		                                    gl_call_text("TexCoord2f", 0.75f, 1.0f),
		                                    gl_call_text("TexCoord2f", 0.75f, 0.5f)}));
	}

	gl_recorder rec;
	rec.pass_through(false);
	OGL_cube(1, 2, 3, 4, 5, 6, 0, 1, 0, 1, 30);
	EXPECT_EQ(rec.only({"PushMatrix", "Translatef", "Rotatef", "Begin", "End", "PopMatrix"}),
	          (std::vector<std::string>{"PushMatrix()", gl_call_text("Translatef", 1.0f, 2.0f, 3.0f),
	                                    gl_call_text("Rotatef", -30.0f, 0.0f, 0.0f, 1.0f),
	                                    gl_call_text("Begin", GL_QUAD_STRIP), "End()",
	                                    gl_call_text("Begin", GL_QUADS), "End()", "PopMatrix()"}));
	EXPECT_EQ(rec.count("Vertex3f"), 10 + 8);
	rec.clear();
	OGL_disc(0, 0, 0, 10);
	std::vector<std::string> begins = rec.only({"Begin"});
	EXPECT_EQ(begins, (std::vector<std::string>{gl_call_text("Begin", GL_TRIANGLE_FAN),
	                                            gl_call_text("Begin", GL_TRIANGLE_FAN),
	                                            gl_call_text("Begin", GL_QUAD_STRIP),
	                                            gl_call_text("Begin", GL_QUAD_STRIP),
	                                            gl_call_text("Begin", GL_QUAD_STRIP)}));
	EXPECT_EQ(rec.count("Vertex3f"), 2 * 14 + 3 * 26);
	EXPECT_EQ(rec.count("Normal3f"), 2);  // the bands set none
}

TEST_F(OglPrims, PlotscaleColoursItsPointsFromTheSpectrum)
{
	colr.spectrum_init(0);
	struct row {
		const char* name;
		float lo, hi;
		int first, last;  // spectrum entries of the bottom and top points
	};
	const row rows[] = {
	    {"rising", 0, 10, 0, 996},
	    {"hi below lo", 10, 0, 0, 996},
	    {"hi equal to lo", 5, 5, 0, 0},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		gl_recorder rec;
		colr.spectrum_plotscale(100, 20, r.lo, r.hi, 1);
		EXPECT_EQ(colr.spectrum_lo, r.lo);
		EXPECT_EQ(colr.spectrum_hi, r.hi);
		auto pts = rec.only({"PointSize", "Begin", "End"});
		auto g = groups_of(rec.calls());
		ASSERT_FALSE(g.empty());
		const group& points = g.back();
		EXPECT_EQ(points.mode, GL_POINTS);
		ASSERT_EQ(points.v.size(), 250u);
		EXPECT_FLOAT_EQ(points.v.front().x, 130.0f);
		EXPECT_FLOAT_EQ(points.v.front().y, 60.0f);
		EXPECT_FLOAT_EQ(points.v.back().y, 60.0f + 996);
		EXPECT_EQ(rec.count("PointSize"), 2);
		EXPECT_EQ(rec.only({"PointSize"}).back(), gl_call_text("PointSize", 1.0f));
		auto colours = rec.only({"Color3fv"});
		ASSERT_GE(colours.size(), 250u);
		EXPECT_EQ(colours[colours.size() - 250], gl_call_text("Color3fv", (const float*)colr.spectrum[r.first]));
		EXPECT_EQ(colours.back(), gl_call_text("Color3fv", (const float*)colr.spectrum[r.last]));
	}
}

#include "DIzivoz/OGL/OGL_font.h"

TEST_F(OglPrims, BoldNumbersDrawEachCharacterInItsCell)
{
	struct cell {
		char ch;
		float dx;  // cell x relative to X = round(x + ox) - 10
	};
	struct row {
		const char* name;
		float value;
		int digits, decimals;
		std::vector<cell> cells;
	};
	const row rows[] = {
	    {"123 in two digits", 123, 2, 0, {{'2', 10}, {'3', 20}}},
	    {"sign, point and comma", -1234.5f, 6, 1,
	     {{'-', 1}, {'.', 55}, {',', 25}, {'0', 10}, {'1', 20}, {'2', 30}, {'3', 40}, {'4', 50}, {'5', 60}}},
	    {"three commas past 2^31", 3e9f, 10, 0,
	     {{',', 75}, {',', 45}, {',', 15}, {'3', 10}, {'0', 20}, {'0', 30}, {'0', 40}, {'0', 50},
	      {'0', 60}, {'0', 70}, {'0', 80}, {'0', 90}, {'0', 100}}},
	};
	const float x = 100.4f, y = 200.6f;
	const float X = roundf(x + mnw.wind_x) - 10, base = roundf(y + mnw.wind_y) - 1;
	OGL_measure_string("-.,0123456789", 1);
	OGL_font_info* f = sFont[1];
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		gl_recorder rec;
		OGL_number(3, x, y, r.value, r.digits, r.decimals, 1);
		auto g = groups_of(rec.calls());
		std::vector<group> quads;
		for (auto& q : g)
			if (q.mode == GL_QUADS) quads.push_back(q);
		ASSERT_EQ(quads.size(), r.cells.size());
		for (size_t i = 0; i < quads.size(); ++i) {
			const OGL_char_info* c = f->find((unsigned char)r.cells[i].ch);
			ASSERT_NE(c, nullptr);
			ASSERT_EQ(quads[i].v.size(), 4u);
			EXPECT_FLOAT_EQ(quads[i].v[0].x, floorf(X + r.cells[i].dx + c->left)) << "cell " << i;
			EXPECT_FLOAT_EQ(quads[i].v[0].y, floorf(base + c->bottom)) << "cell " << i;
			EXPECT_FLOAT_EQ(quads[i].v[2].x - quads[i].v[0].x, (float)(c->x1 - c->x0));
		}
	}
}

TEST_F(OglPrims, GrayStringCentresItsTextOnAHalfDarkBox)
{
	const std::string text = "Label";
	const float half = OGL_measure_string(text, 0) * 0.5f;
	gl_recorder rec;
	OGL_gray_string(3, 100, 50, text);
	auto g = groups_of(rec.calls());
	ASSERT_EQ(g.size(), 2u);
	const float l = 100 - half - 2 + 30, r = 100 + half + 2 + 30;
	ASSERT_EQ(g[0].v.size(), 4u);
	EXPECT_FLOAT_EQ(g[0].v[0].x, l);
	EXPECT_FLOAT_EQ(g[0].v[0].y, 48 + 40);
	EXPECT_FLOAT_EQ(g[0].v[2].x, r);
	EXPECT_FLOAT_EQ(g[0].v[2].y, 58 + 40);
	EXPECT_EQ(g[1].v.size(), 4 * text.size());  // the text, one line
	const OGL_char_info* L = sFont[0]->find('L');
	EXPECT_FLOAT_EQ(g[1].v[0].x, floorf(100 - half + 30 + L->left));
	EXPECT_FLOAT_EQ(g[1].v[0].y, floorf(49 + 40 + L->bottom));
}
