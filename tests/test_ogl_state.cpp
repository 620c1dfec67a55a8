// The cached state switch, the palette colour rule and the cached buffer
// binds, seen through the call recorder.
#include <cstring>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/UTL/UTL_stats.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "tests/support/gl_context.h"

using strings = std::vector<std::string>;

namespace {
struct state_args { int fog, tex, lit, alpha, dr, dw; };
void set(const state_args& a) { OGL_setstate(a.fog, a.tex, a.lit, a.alpha, a.dr, a.dw); }

std::string on(GLenum cap) { return gl_call_text("Enable", cap); }
std::string off(GLenum cap) { return gl_call_text("Disable", cap); }
std::string unit(int i) { return gl_call_text("ActiveTexture", (GLenum)(GL_TEXTURE0 + i)); }

// Every call but the seeding queries.
strings without_queries(const strings& calls)
{
	strings out;
	for (const std::string& c : calls)
		if (c.compare(0, 10, "IsEnabled(") != 0) out.push_back(c);
	return out;
}
}  // namespace

TEST_F(gl_test, state_cache_calls_only_what_changes)
{
	const GLenum T = GL_TEXTURE_2D;
	struct cache_case {
		const char* what;
		bool all_enabled;            // what the seeding queries find
		int units;                   // texture units of ren
		std::vector<state_args> pre; // calls before the one watched
		state_args call;
		strings expect;
		int num_units;               // after the call
	};
	const cache_case cases[] = {
	    {"a repeat issues none", false, 8, {{1, 1, 3, 5, 9, 11}}, {1, 1, 3, 5, 9, 11}, {}, 1},
	    {"first call with depth_write 11 issues none", false, 8, {}, {1, 0, 3, 4, 9, 11}, {}, 1},
	    {"first call with depth_write 10", false, 8, {}, {1, 0, 3, 4, 9, 10}, {gl_call_text("DepthMask", GL_TRUE)}, 1},
	    {"depth writes off again", false, 8, {{1, 0, 3, 4, 9, 10}}, {1, 0, 3, 4, 9, 11},
	     {gl_call_text("DepthMask", GL_FALSE)}, 1},
	    {"3 units on 2", false, 2, {}, {1, 3, 3, 4, 9, 11},
	     {on(T), unit(0), on(T), unit(1), on(T), unit(0)}, 2},
	    {"3 units on 2, asked again", false, 2, {{1, 3, 3, 4, 9, 11}}, {1, 3, 3, 4, 9, 11}, {on(T), unit(0)}, 2},
	    {"from 2 units to none", false, 2, {{1, 3, 3, 4, 9, 11}}, {1, 0, 3, 4, 9, 11},
	     {off(T), unit(0), off(T), unit(1), off(T), unit(0)}, 0},
	    {"from 3 units to 1", false, 8, {{1, 3, 3, 4, 9, 11}}, {1, 1, 3, 4, 9, 11},
	     {on(T), unit(1), off(T), unit(2), off(T), unit(0)}, 1},
	    {"-1 units", true, 8, {}, {1, -1, 3, 4, 9, 11}, {off(GL_FOG), off(T), off(GL_LIGHTING), off(GL_LIGHT0),
	                                                     off(GL_BLEND), off(GL_ALPHA_TEST), off(GL_DEPTH_TEST)}, 0},
	    {"-1 stores 0", false, 8, {{1, -1, 3, 4, 9, 11}}, {1, 0, 3, 4, 9, 11}, {}, 0},
	    {"everything on", false, 8, {}, {0, 1, 2, 7, 8, 10},
	     {on(GL_FOG), on(T), on(GL_LIGHTING), on(GL_LIGHT0), on(GL_BLEND), on(GL_ALPHA_TEST), on(GL_DEPTH_TEST),
	      gl_call_text("DepthMask", GL_TRUE)}, 1},
	    {"blend only", false, 8, {}, {1, 0, 3, 5, 9, 11}, {on(GL_BLEND)}, 1},
	    {"alpha test only after both", false, 8, {{1, 0, 3, 7, 9, 11}}, {1, 0, 3, 6, 9, 11}, {off(GL_BLEND)}, 1},
	    {"blend after alpha test", false, 8, {{1, 0, 3, 6, 9, 11}}, {1, 0, 3, 5, 9, 11},
	     {on(GL_BLEND), off(GL_ALPHA_TEST)}, 1},
	    {"seeded from enabled state", true, 8, {}, {0, 1, 2, 7, 8, 11}, {}, 1},
	};
	ren_struct keep = ren;
	for (const cache_case& c : cases) {
		SCOPED_TRACE(c.what);
		OGL_setstate_forget();
		ren.tex_units = c.units;
		gl_recorder rec;
		rec.pass_through(false);
		for (GLenum cap : {GL_FOG, GL_TEXTURE_2D, GL_LIGHTING, GL_BLEND, GL_ALPHA_TEST, GL_DEPTH_TEST})
			rec.script_enabled(cap, c.all_enabled);
		for (const state_args& a : c.pre) set(a);
		rec.clear();
		set(c.call);
		EXPECT_EQ(without_queries(rec.calls()), c.expect);
		EXPECT_EQ(num_units, c.num_units);
	}
	ren = keep;
	OGL_setstate_forget();
}

TEST_F(gl_test, state_cache_seeds_once_and_sets_real_opengl_state)
{
	ren_struct keep = ren;
	ren.tex_units = 8;
	OGL_setstate_forget();
	{
		gl_recorder rec;
		OGL_setstate(1, 1, 3, 5, 9, 11);
		EXPECT_EQ(rec.count("IsEnabled"), 6);
		rec.clear();
		OGL_setstate(1, 0, 3, 4, 9, 11);
		EXPECT_EQ(rec.count("IsEnabled"), 0);  // seeded once
		rec.clear();
		OGL_setstate(1, 1, 3, 7, 9, 11);
		EXPECT_EQ(without_queries(rec.calls()).size(), 3u);
	}
	EXPECT_TRUE(gl_libgl.IsEnabled(GL_BLEND));
	EXPECT_TRUE(gl_libgl.IsEnabled(GL_ALPHA_TEST));
	EXPECT_TRUE(gl_libgl.IsEnabled(GL_TEXTURE_2D));
	EXPECT_FALSE(gl_libgl.IsEnabled(GL_DEPTH_TEST));
	OGL_setstate(1, 0, 3, 4, 9, 11);
	EXPECT_FALSE(gl_libgl.IsEnabled(GL_BLEND));
	EXPECT_FALSE(gl_libgl.IsEnabled(GL_TEXTURE_2D));
	ren = keep;
	OGL_setstate_forget();
}

TEST_F(gl_test, palette_colour_rule)
{
	colr_class keep_colr = colr;
	ren_struct keep_ren = ren;
	colr.rgb[105][0] = colr.rgb[105][1] = colr.rgb[105][2] = 0.5f;  // dimmed lights
	for (int i : {45, 46}) {
		colr.rgb[i][0] = 1;
		colr.rgb[i][1] = 0.8f;
		colr.rgb[i][2] = 0.5f;
	}
	colr.rgb[11][0] = colr.rgb[11][1] = colr.rgb[11][2] = 0;
	colr.rgb[0][0] = colr.rgb[0][1] = colr.rgb[0][2] = 1;
	// Opaque colours carry their alpha of 1 explicitly.
	const GLfloat dimmed[4] = {0.5f, 0.4f, 0.25f, 1}, full[4] = {1, 0.8f, 0.5f, 1};
	const GLfloat black_mono[4] = {0, 0.01f, 0, 1}, white_mono[4] = {0, 1, 0, 1}, mono45[4] = {0, 1, 0, 1};
	struct colour_case {
		const char* what;
		int index;
		float alpha, global_alpha;
		int monochrome;
		std::string expect;
	};
	const colour_case cases[] = {
	    {"45 is lit by entry 105", 45, 1, 1, 0, gl_call_text("Color4fv", dimmed)},
	    {"46 is drawn as stored", 46, 1, 1, 0, gl_call_text("Color4fv", full)},
	    {"monochrome black", 11, 1, 1, 1, gl_call_text("Color4fv", black_mono)},
	    {"monochrome is cut to 1", 46, 1, 1, 1, gl_call_text("Color4fv", white_mono)},
	    {"monochrome of a lit entry", 45, 1, 1, 1, gl_call_text("Color4fv", mono45)},
	    {"0.995 is opaque", 46, 0.995f, 1, 0, gl_call_text("Color4fv", full)},
	    {"0.99 is not", 46, 0.99f, 1, 0, gl_call_text("Color4f", 1.0f, 0.8f, 0.5f, 0.99f)},
	    {"the call's alpha", 45, 0.5f, 1, 0, gl_call_text("Color4f", 0.5f, 0.4f, 0.25f, 0.5f)},
	    {"the global alpha", 46, 1, 0.25f, 0, gl_call_text("Color4f", 1.0f, 0.8f, 0.5f, 0.25f)},
	    {"both alphas", 46, 0.5f, 0.5f, 0, gl_call_text("Color4f", 1.0f, 0.8f, 0.5f, 0.25f)},
	};
	for (const colour_case& c : cases) {
		SCOPED_TRACE(c.what);
		ren.global_alpha = c.global_alpha;
		ren.monochrome = c.monochrome;
		gl_recorder rec;
		rec.pass_through(false);
		OGL_set_color(c.index, c.alpha);
		EXPECT_EQ(rec.calls(), strings{c.expect});
	}
	{
		ren = keep_ren;
		gl_recorder rec;
		rec.pass_through(false);
		OGL_set_color(46);  // no alpha argument: the global alpha alone
		OGL_set_color(106);  // outside the palette: nothing drawn, nothing read
		OGL_set_color(-1);
		EXPECT_EQ(rec.calls(), strings{gl_call_text("Color4fv", full)});
	}
	ren = keep_ren;
	colr = keep_colr;
}

TEST_F(gl_test, blend_helpers)
{
	gl_recorder rec;
	rec.pass_through(false);
	OGL_nrml_colors();
	OGL_glow_colors();
	EXPECT_EQ(rec.calls(), (strings{gl_call_text("BlendFunc", GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
	                                gl_call_text("BlendFunc", GL_SRC_ALPHA, GL_ONE)}));
}

static UTL_stat* find_stat(const char* name)
{
	for (UTL_stat* s = UTL_stat_waiting(); s; s = s->next)
		if (strcmp(s->name, name) == 0) return s;
	for (auto& kind : UTL_all_stats())
		for (UTL_stat* s : kind.second)
			if (strcmp(s->name, name) == 0) return s;
	return nullptr;
}

TEST_F(gl_test, buffer_binds_skip_a_repeat_and_count_real_binds)
{
	glext_restore keep;
	glExt.glBindBufferARB = [](GLenum target, GLuint buffer) {
		gl_recorder::current()->log("BindBufferARB", target, buffer);
	};
	gl_recorder rec;
	EXPECT_EQ(find_stat("num_xdl_bind"), nullptr);  // made on the first bind
	OGL_bind_vbo(7);
	UTL_stat* stat = find_stat("num_xdl_bind");
	ASSERT_NE(stat, nullptr);
	EXPECT_EQ(stat->type, stat_per_frame);
	EXPECT_EQ(stat->value, 1.0f);
	OGL_bind_vbo(7);
	OGL_bind_vbo_ind(7);  // its own cache
	OGL_bind_vbo_ind(7);
	OGL_bind_vbo(8);
	OGL_bind_vbo(7);
	EXPECT_EQ(rec.calls(), (strings{"BindBufferARB(34962, 7)", "BindBufferARB(34963, 7)", "BindBufferARB(34962, 8)",
	                                "BindBufferARB(34962, 7)"}));
	EXPECT_EQ(stat->value, 3.0f);
	UTL_stat* ind = find_stat("num_xdl_bind_ind");
	ASSERT_NE(ind, nullptr);
	EXPECT_EQ(ind->value, 1.0f);
	// Without the entry point nothing is called.
	glExt.glBindBufferARB = nullptr;
	OGL_bind_vbo(9);
	EXPECT_EQ(stat->value, 3.0f);
}
