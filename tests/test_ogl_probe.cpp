// The OpenGL capability probe, over scripted strings and limits with an
// injected entry-point resolver, and once on the real Mesa context.
#include <SDL.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "Platform/plat_gl.h"
#include "tests/support/gl_context.h"
#include "tests/support/thread_capture.h"

namespace {

std::set<std::string> g_missing;                    // names the resolver refuses
std::map<std::pair<GLenum, GLenum>, GLint> g_limits;  // program limits by target and name
std::vector<std::string> g_asked;                   // names looked up, in order

void APIENTRY fake_get_program(GLenum target, GLenum pname, GLint* out)
{
	auto it = g_limits.find({target, pname});
	*out = it == g_limits.end() ? 500 : it->second;
}
void APIENTRY fake_any() {}

void* fake_resolver(const char* name)
{
	g_asked.push_back(name);
	if (g_missing.count(name)) return nullptr;
	if (strcmp(name, "glGetProgramivARB") == 0) return (void*)&fake_get_program;
	return (void*)&fake_any;
}

const char* const all_exts =
    "GL_ARB_multitexture GL_EXT_texture_edge_clamp GL_ARB_texture_env_add GL_ARB_texture_env_combine "
    "GL_NV_fog_distance GL_ARB_texture_compression GL_ARB_vertex_buffer_object GL_ARB_pixel_buffer_object "
    "GL_ARB_vertex_program GL_ARB_fragment_program GL_SGIS_generate_mipmap GL_EXT_texture_filter_anisotropic "
    "GL_ARB_multisample GL_ARB_point_sprite GL_ARB_depth_texture GL_ARB_occlusion_query GL_ARB_shader_objects "
    "GL_ARB_vertex_shader GL_ARB_fragment_shader GL_EXT_geometry_shader4 GL_ARB_shading_language_100 "
    "GL_EXT_framebuffer_object GL_EXT_blend_func_separate GL_EXT_blend_equation_separate";

struct probe_input {
	const char* vendor = "Vendor";
	const char* renderer = "Renderer";
	const char* version = "2.1";
	const char* extensions = all_exts;
	std::vector<const char*> options;
	std::set<std::string> missing;
	std::map<std::pair<GLenum, GLenum>, GLint> limits;
	int os_version = 0;
};

struct probe_result {
	OGL_extensions ext;
	ren_struct r;
	std::string log;
	std::vector<alert_record> alerts;
	std::vector<std::string> asked;
	bool has_line(const std::string& line) const { return log.find(line + "\n") != std::string::npos; }
};

class probe : public gl_test {
protected:
	probe_result run(const probe_input& in)
	{
		glext_restore keep_ext;
		ren_struct keep_ren = ren;
		UTL_cmdline keep_cmdline = cmdline;
		probe_result out;
		{
			std::vector<const char*> argv{"ventora"};
			argv.insert(argv.end(), in.options.begin(), in.options.end());
			cmdline = UTL_cmdline();
			cmdline.parse_unix((int)argv.size(), argv.data());
			g_missing = in.missing;
			g_limits = in.limits;
			g_asked.clear();
			OGL_os_version = in.os_version;
			plat_set_gl_resolver(&fake_resolver);
			alert_capture alerts;
			log_capture log(log_path());
			gl_recorder rec;
			rec.script_string(GL_VENDOR, in.vendor);
			rec.script_string(GL_RENDERER, in.renderer);
			rec.script_string(GL_VERSION, in.version);
			rec.script_string(GL_EXTENSIONS, in.extensions);
			rec.script_string(GL_SHADING_LANGUAGE_VERSION_ARB, "1.20");
			rec.script_integer(GL_MAX_TEXTURE_UNITS, {4});
			rec.script_integer(GL_MAX_TEXTURE_IMAGE_UNITS_ARB, {16});
			rec.script_integer(GL_MAX_TEXTURE_COORDS_ARB, {8});
			rec.script_integer(GL_MAX_TEXTURE_SIZE, {4096});
			glExt = OGL_extensions();
			glExt.init_extensions();
			out.ext = glExt;
			out.r = ren;
			out.log = log.text();
			out.alerts = alerts.taken();
			out.asked = g_asked;
			plat_set_gl_resolver(nullptr);
			OGL_os_version = 0;
		}
		unlink(log_path().c_str());
		cmdline = keep_cmdline;
		ren = keep_ren;
		return out;
	}
	static std::string log_path() { return "/tmp/ventora_probe_" + std::to_string(getpid()) + ".txt"; }
};

std::string version_of(const probe_result& r)
{
	size_t at = r.log.find("OpenGL Version   : ");
	size_t nl = r.log.find('\n', at);
	return at == std::string::npos ? "" : r.log.substr(at, nl - at);
}

}  // namespace

// First in the file, so it runs before any test has started SDL's video.
TEST(ogl_probe_start, entry_points_need_the_library_loaded_by_sdl)
{
	ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
	glext_restore keep;
	EXPECT_NE(glExt.init_entry_points(), 0);
	EXPECT_EQ(aglGetProcAddress("glBindBufferARB"), nullptr);  // nothing to ask yet
	ASSERT_TRUE(gl_test_context());
	EXPECT_EQ(glExt.init_entry_points(), 0);
}

TEST_F(probe, version_text_gives_the_version_number)
{
	const struct { const char* text; const char* line; } cases[] = {
	    {"1.4.2 ATI-1.4.18", "OpenGL Version   : 1.4.2 ATI-1.4.18 (140)"},
	    {"2.1", "OpenGL Version   : 2.1 (210)"},
	    {"1.5.8", "OpenGL Version   : 1.5.8 (150)"},
	    {"4.5 (Compatibility Profile) Mesa 22.3.6", "OpenGL Version   : 4.5 (Compatibility Profile) Mesa 22.3.6 (450)"},
	    {"junk", "OpenGL Version   : junk (100)"},
	    {"", "OpenGL Version   :  (100)"},
	};
	for (const auto& c : cases) {
		probe_input in;
		in.version = c.text;
		EXPECT_EQ(version_of(run(in)), c.line) << c.text;
	}
}

TEST_F(probe, null_strings_count_as_empty_text)
{
	probe_input in;
	in.vendor = in.renderer = in.version = in.extensions = nullptr;
	probe_result r = run(in);
	EXPECT_TRUE(r.has_line("OpenGL Vendor    : "));
	EXPECT_TRUE(r.has_line("OpenGL Version   :  (100)"));
	EXPECT_TRUE(r.has_line("OpenGL Extensions: "));
	EXPECT_STREQ(r.r.gl_renderer, "");
	EXPECT_EQ(r.ext.multitexture_avail, 0);
	ASSERT_EQ(r.alerts.size(), 1u);  // below the floor
	EXPECT_EQ(r.alerts[0].source_line, 590);
}

TEST_F(probe, the_1_4_2_version_without_buffer_objects)
{
	probe_input in;
	in.version = "1.4.2 NVIDIA 1.4.2";
	in.extensions = "GL_ARB_multitexture";
	probe_result r = run(in);
	EXPECT_EQ(r.ext.vbo_avail, 0);
	EXPECT_EQ(r.ext.pbo_avail, 0);
	EXPECT_EQ(r.log.find("Disabling PBOs"), std::string::npos);
	in.extensions = "GL_ARB_multitexture GL_ARB_pixel_buffer_object";
	r = run(in);
	EXPECT_EQ(r.ext.pbo_avail, 0);
	EXPECT_TRUE(r.has_line("Disabling PBOs because VBOs are not available.  This probably means that VBOs are "
	                       "disabled for compatibility reasons."));
}

// Each flag: off below its core version without the extension, on from its
// core version, on below it with (each of) its extension(s).
TEST_F(probe, each_flag_by_core_version_and_by_extension)
{
	struct flag_case {
		const char* name;
		int OGL_extensions::*flag;
		const char* core;       // version text at the core version, null when never core
		const char* below;      // version text just below it
		std::vector<std::string> exts;  // each alone turns it on
		std::string needs;      // extensions it depends on
	};
	const std::string shader_objs = "GL_ARB_shader_objects";
	const flag_case cases[] = {
	    {"multitexture", &OGL_extensions::multitexture_avail, "1.3", "1.2", {"GL_ARB_multitexture"}, ""},
	    {"tex_clamp", &OGL_extensions::tex_clamp_avail, "1.2", "1.1", {"GL_EXT_texture_edge_clamp", "GL_SGIS_texture_edge_clamp"}, ""},
	    {"add_env", &OGL_extensions::add_env_avail, "1.3", "1.2", {"GL_ARB_texture_env_add", "GL_EXT_texture_env_add"}, ""},
	    {"combine", &OGL_extensions::combine_avail, "1.3", "1.2", {"GL_ARB_texture_env_combine", "GL_EXT_texture_env_combine"}, ""},
	    {"dis_fog", &OGL_extensions::dis_fog_avail, nullptr, "4.5", {"GL_NV_fog_distance"}, ""},
	    {"tex_comp", &OGL_extensions::tex_comp_avail, "1.3", "1.2", {"GL_ARB_texture_compression"}, ""},
	    {"vbo", &OGL_extensions::vbo_avail, "1.5", "1.4", {"GL_ARB_vertex_buffer_object"}, ""},
	    {"pbo", &OGL_extensions::pbo_avail, "2.1", "2.0", {"GL_ARB_pixel_buffer_object"}, "GL_ARB_vertex_buffer_object"},
	    {"vprog", &OGL_extensions::vprog_avail, nullptr, "4.5", {"GL_ARB_vertex_program"}, ""},
	    {"fprog", &OGL_extensions::fprog_avail, nullptr, "4.5", {"GL_ARB_fragment_program"}, "GL_ARB_vertex_program"},
	    {"automini", &OGL_extensions::automini_avail, "1.4", "1.3", {"GL_SGIS_generate_mipmap"}, ""},
	    {"aniso", &OGL_extensions::aniso_avail, nullptr, "4.5", {"GL_EXT_texture_filter_anisotropic"}, ""},
	    {"fsaa", &OGL_extensions::fsaa_avail, "1.3", "1.2", {"GL_ARB_multisample"}, ""},
	    {"sprites", &OGL_extensions::sprites_avail, "2.0", "1.5", {"GL_ARB_point_sprite"}, ""},
	    {"depth_tex", &OGL_extensions::depth_tex_avail, "1.4", "1.3", {"GL_ARB_depth_texture"}, ""},
	    {"occlude", &OGL_extensions::occlude_avail, "1.5", "1.4", {"GL_ARB_occlusion_query"}, ""},
	    {"shad_objs", &OGL_extensions::shad_objs_avail, "2.0", "1.5", {"GL_ARB_shader_objects"}, ""},
	    {"vshader", &OGL_extensions::vshader_avail, "2.0", "1.5", {"GL_ARB_vertex_shader"}, shader_objs},
	    {"fshader", &OGL_extensions::fshader_avail, "2.0", "1.5", {"GL_ARB_fragment_shader"}, shader_objs},
	    {"gshader", &OGL_extensions::gshader_avail, nullptr, "4.5", {"GL_EXT_geometry_shader4"}, shader_objs},
	    {"glsl", &OGL_extensions::glsl_avail, "2.0", "1.5", {"GL_ARB_shading_language_100"},
	     shader_objs + " GL_ARB_vertex_shader GL_ARB_fragment_shader"},
	    {"framebuf", &OGL_extensions::framebuf_avail, nullptr, "4.5", {"GL_EXT_framebuffer_object"}, ""},
	    {"sblend", &OGL_extensions::sblend_avail, nullptr, "4.5",
	     {"GL_EXT_blend_func_separate GL_EXT_blend_equation_separate"}, ""},
	};
	for (const flag_case& c : cases) {
		SCOPED_TRACE(c.name);
		probe_input in;
		in.options = {"--force_run"};  // low versions stay quiet
		std::string exts = "GL_ARB_multitexture " + c.needs;
		in.extensions = exts.c_str();
		in.version = c.below;
		if (c.flag != &OGL_extensions::multitexture_avail) {
			EXPECT_EQ(run(in).ext.*c.flag, 0);
		}
		if (c.core) {
			in.version = c.core;
			EXPECT_EQ(run(in).ext.*c.flag, 1) << "at core version " << c.core;
		}
		in.version = c.below;
		for (const std::string& e : c.exts) {
			std::string with = exts + " " + e;
			in.extensions = with.c_str();
			EXPECT_EQ(run(in).ext.*c.flag, 1) << "with " << e;
		}
	}
	// Separate blending needs both of its extensions.
	for (const char* one : {"GL_EXT_blend_func_separate", "GL_EXT_blend_equation_separate"}) {
		probe_input in;
		in.extensions = one;
		EXPECT_EQ(run(in).ext.sblend_avail, 0) << one;
	}
}

TEST_F(probe, renderer_workarounds)
{
	struct wk_case {
		const char* what;
		const char* vendor;
		const char* renderer;
		std::vector<const char*> options;
		const char* extensions;
		int os_version;
		int OGL_extensions::*flag;
		int expect;
		const char* log_line;  // null: none of the workaround lines
	};
	std::string no_fp2 = all_exts;
	std::string with_fp2 = no_fp2 + " GL_NV_fragment_program2";
	const wk_case cases[] = {
	    {"Radeon name", "ATI", "ATI Radeon HD 2600 PRO OpenGL Engine", {}, all_exts, 0,
	     &OGL_extensions::sprites_avail, 0, "Disabling point sprites for Radeon HD on OS X."},
	    {"other Radeon name", "ATI", "ATI Radeon HD 2400 XT OpenGL Engine", {}, all_exts, 0,
	     &OGL_extensions::sprites_avail, 0, "Disabling point sprites for Radeon HD on OS X."},
	    {"Radeon name and one more", "ATI", "ATI Radeon HD 2600 PRO OpenGL Engine2", {}, all_exts, 0,
	     &OGL_extensions::sprites_avail, 1, nullptr},
	    {"Radeon with --use_sprites", "ATI", "ATI Radeon HD 2600 PRO OpenGL Engine", {"--use_sprites"}, all_exts, 0,
	     &OGL_extensions::sprites_avail, 1, nullptr},
	    {"GMA 950", "Intel", "Intel GMA 950 OpenGL Engine", {}, all_exts, 0, &OGL_extensions::glsl_avail, 0,
	     "Disabling GLSL for GMA 950."},
	    {"GMA 950 with --use_glsl", "Intel", "Intel GMA 950 OpenGL Engine", {"--use_glsl"}, all_exts, 0,
	     &OGL_extensions::glsl_avail, 1, nullptr},
	    {"NVIDIA without fragment_program2", "NVIDIA Corporation", "GeForce", {}, no_fp2.c_str(), 0,
	     &OGL_extensions::first_gen_shaders, 1, nullptr},
	    {"NVIDIA with fragment_program2", "NVIDIA Corporation", "GeForce", {}, with_fp2.c_str(), 0,
	     &OGL_extensions::first_gen_shaders, 0, nullptr},
	    {"NV34 on 10.3", "NVIDIA", "NVIDIA NV34MAP OpenGL Engine", {}, all_exts, 0x1039,
	     &OGL_extensions::occlude_avail, 0, "Disabling occlusion queries on OS X 10.3 for nVidia."},
	    {"NV34 with pixel counters", "NVIDIA", "NVIDIA NV34MAP OpenGL Engine", {"--use_pixel_counters"}, all_exts,
	     0x1039, &OGL_extensions::occlude_avail, 1, nullptr},
	    {"7300 GT on 10.4.8", "NVIDIA", "NVIDIA GeForce 7300 GT OpenGL Engine", {}, all_exts, 0x1048,
	     &OGL_extensions::occlude_avail, 0, "Disabling occlusion queries on OS X 10.4 for nVidia 7300 GT on 10.4.8."},
	    {"7300 GT on 10.4.9", "NVIDIA", "NVIDIA GeForce 7300 GT OpenGL Engine", {}, all_exts, 0x1049,
	     &OGL_extensions::occlude_avail, 1, nullptr},
	    {"NV34 on an unknown OS", "NVIDIA", "NVIDIA NV34MAP OpenGL Engine", {}, all_exts, 0,
	     &OGL_extensions::occlude_avail, 1, nullptr},
	};
	for (const wk_case& c : cases) {
		SCOPED_TRACE(c.what);
		probe_input in;
		in.vendor = c.vendor;
		in.renderer = c.renderer;
		in.options = c.options;
		in.extensions = c.extensions;
		in.os_version = c.os_version;
		probe_result r = run(in);
		EXPECT_EQ(r.ext.*c.flag, c.expect);
		if (c.log_line) {
			EXPECT_TRUE(r.has_line(c.log_line)) << r.log;
		} else {
			EXPECT_EQ(r.log.find("Disabling"), std::string::npos) << r.log;
		}
	}
}

TEST_F(probe, a_refused_name_clears_its_family_and_the_lookups_go_on)
{
	probe_input in;
	in.missing = {"glGetQueryivARB"};
	probe_result r = run(in);
	EXPECT_TRUE(r.has_line("WARNING: extension missing proc glGetQueryivARB"));
	EXPECT_EQ(r.ext.occlude_avail, 0);
	EXPECT_EQ(r.ext.glGetQueryivARB, nullptr);
	EXPECT_NE(r.ext.glGetQueryObjectuivARB, nullptr);  // the rest of its family
	EXPECT_NE(r.ext.glBindBufferARB, nullptr);          // and the other families
	EXPECT_NE(r.ext.glBlendEquationSeparateEXT, nullptr);
	EXPECT_EQ(r.ext.vbo_avail, 1);
	// Every family of the table is looked up, in order; a family that is off is not.
	EXPECT_EQ(r.asked.size(), 150u);
	EXPECT_EQ(r.asked.front(), "glBindBufferARB");
	EXPECT_EQ(r.asked.back(), "glBlendEquationSeparateEXT");
	in.extensions = "GL_ARB_multitexture";
	in.version = "1.2";
	r = run(in);
	EXPECT_EQ(r.asked, std::vector<std::string>{});
}

TEST_F(probe, dependencies_and_native_limits)
{
	probe_input in;
	in.missing = {"glBindProgramARB"};  // ARB programs off: fragment programs follow
	probe_result r = run(in);
	EXPECT_EQ(r.ext.vprog_avail, 0);
	EXPECT_EQ(r.ext.fprog_avail, 0);
	in.missing = {"glLinkProgramARB"};  // shader objects off: every shader flag follows
	r = run(in);
	EXPECT_EQ(r.ext.shad_objs_avail, 0);
	EXPECT_EQ(r.ext.vshader_avail + r.ext.fshader_avail + r.ext.gshader_avail + r.ext.glsl_avail, 0);
	in.missing = {"glGetAttribLocationARB"};  // vertex shader off: GLSL follows
	r = run(in);
	EXPECT_EQ(r.ext.fshader_avail, 1);
	EXPECT_EQ(r.ext.glsl_avail, 0);
	EXPECT_TRUE(r.has_line("glsl_avail       : 0 (n/a)"));
	in.missing = {};

	const auto fp = std::make_pair((GLenum)GL_FRAGMENT_PROGRAM_ARB, (GLenum)GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB);
	const auto vp = std::make_pair((GLenum)GL_VERTEX_PROGRAM_ARB, (GLenum)GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB);
	const struct { const char* what; GLint fp_limit; GLint vp_limit; std::vector<const char*> options;
	               int fprog, vprog, first_gen; } cases[] = {
	    {"fragment limit 0", 0, 500, {}, 0, 1, 1},
	    {"fragment limit 0 with --use_fprogs", 0, 500, {"--use_fprogs"}, 1, 1, 1},
	    {"fragment limit 64", 64, 500, {}, 1, 1, 1},
	    {"fragment limit 100", 100, 500, {}, 1, 1, 0},
	    {"vertex limit 0", 500, 0, {}, 1, 0, 0},
	    {"vertex limit 0 with --use_vprogs", 500, 0, {"--use_vprogs"}, 1, 1, 0},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		in.limits = {{fp, c.fp_limit}, {vp, c.vp_limit}};
		in.options = c.options;
		r = run(in);
		EXPECT_EQ(r.ext.fprog_avail, c.fprog);
		EXPECT_EQ(r.ext.vprog_avail, c.vprog);
		EXPECT_EQ(r.ext.first_gen_shaders, c.first_gen);
	}
	in.limits = {{fp, 64}};
	r = run(in);
	EXPECT_TRUE(r.has_line("fprog_avail      : 1 (64/500/500/500)")) << r.log;
	EXPECT_TRUE(r.has_line("vprog_avail      : 1 (500)")) << r.log;
}

TEST_F(probe, command_line_overrides)
{
	const struct { const char* option; std::vector<int OGL_extensions::*> cleared; } cases[] = {
	    {"--no_vbos", {&OGL_extensions::vbo_avail, &OGL_extensions::pbo_avail}},
	    {"--no_pbos", {&OGL_extensions::pbo_avail}},
	    {"--no_sprites", {&OGL_extensions::sprites_avail}},
	    {"--no_pixel_counters", {&OGL_extensions::occlude_avail}},
	    {"--no_aniso_filtering", {&OGL_extensions::aniso_avail}},
	    {"--no_hw_mipmap", {&OGL_extensions::automini_avail}},
	    {"--no_vshaders", {&OGL_extensions::vprog_avail}},
	    {"--no_fshaders", {&OGL_extensions::fprog_avail}},
	    {"--no_glsl", {&OGL_extensions::glsl_avail}},
	    {"--no_fbos", {&OGL_extensions::framebuf_avail}},
	    {"--no_sblend", {&OGL_extensions::sblend_avail}},
	};
	probe_input in;
	probe_result plain = run(in);
	for (const auto& c : cases) {
		SCOPED_TRACE(c.option);
		in.options = {c.option};
		probe_result r = run(in);
#define CHECK_FLAG(name)                                                                   \
	{                                                                                      \
		bool cleared = false;                                                              \
		for (auto f : c.cleared) cleared |= f == &OGL_extensions::name;                    \
		EXPECT_EQ(r.ext.name, cleared ? 0 : plain.ext.name) << #name;                      \
	}
		OGL_EXT_FLAGS(CHECK_FLAG)
#undef CHECK_FLAG
	}
	// --no_vshaders leaves GLSL's vertex shaders alone.
	in.options = {"--no_vshaders"};
	EXPECT_EQ(run(in).ext.vshader_avail, 1);
	in.options = {"--no_aniso_filtering"};
	EXPECT_EQ(run(in).r.max_aniso, 1.0f);
	// The threaded engine is never offered.
	EXPECT_EQ(plain.ext.threaded_avail, 0);
	EXPECT_TRUE(plain.has_line("threaded_avail   : 0"));
}

TEST_F(probe, hardware_floor_alert)
{
	probe_input in;
	in.version = "1.0";
	in.extensions = "";
	probe_result r = run(in);
	ASSERT_EQ(r.alerts.size(), 1u);
	const std::string l1 = "Your graphics hardware cannot support Ventora. Ventora requires a graphics card with 16 MB "
	                       "of VRAM and multitexturing.";
	EXPECT_EQ(r.alerts[0].line1, l1);
	EXPECT_EQ(r.alerts[0].line2, "First, try updating your graphics drivers.");
	EXPECT_EQ(r.alerts[0].line3, "If this does not help, check your graphics card specifications.");
	EXPECT_NE(r.alerts[0].line4.find(ventora_support_email), std::string::npos);
	EXPECT_EQ(r.alerts[0].kind, alert_fatal);
	EXPECT_EQ(r.alerts[0].source_file, "DIzivoz/OGL/OGL_extensions");
	EXPECT_EQ(r.alerts[0].source_line, 590);
	in.options = {"--force_run"};
	r = run(in);
	ASSERT_EQ(r.alerts.size(), 1u);
	EXPECT_EQ(r.alerts[0].line1, l1);
	EXPECT_EQ(r.alerts[0].line2, "Your system does not meet Ventora's hardware requirements.");
	EXPECT_EQ(r.alerts[0].line3, "You have used the force-run command inline option to run Ventora anyway, but it may crash.");
	EXPECT_NE(r.alerts[0].line4.find(ventora_web_site), std::string::npos);
	EXPECT_EQ(r.alerts[0].kind, alert_warning);
	EXPECT_EQ(r.alerts[0].source_line, 590);
	// Multitexturing by extension is enough.
	in.extensions = "GL_ARB_multitexture";
	EXPECT_TRUE(run(in).alerts.empty());
}

TEST_F(probe, software_renderer_alert)
{
	for (const char* name : {"GENERIC", "Generic", "generic", "Mesa GLX Indirect", "Generic ", "llvmpipe"}) {
		SCOPED_TRACE(name);
		probe_input in;
		in.renderer = name;
		probe_result r = run(in);
		bool soft = strcmp(name, "Generic ") != 0 && strcmp(name, "llvmpipe") != 0;
		ASSERT_EQ(r.alerts.size(), soft ? 1u : 0u);
		if (!soft) continue;
		const alert_record& a = r.alerts[0];
		EXPECT_EQ(a.line1, "I can not find a 3-D accelerator card that can handle OpenGL that has correctly installed drivers.");
		EXPECT_EQ(a.line2, "I will still let you run the simulator, but the frame rate will NOT allow for a good simulation.");
		EXPECT_NE(a.line3.find(ventora_older_edition), std::string::npos);
		EXPECT_NE(a.line4.find(ventora_web_site), std::string::npos);
		EXPECT_EQ(a.kind, alert_warning);
		EXPECT_EQ(a.source_line, 601);
	}
}

// On Mesa itself: every value read from the context, not assumed.
TEST_F(gl_test, probe_on_the_real_context_writes_its_report)
{
	glext_restore keep_ext;
	ren_struct keep_ren = ren;
	std::string path = "/tmp/ventora_probe_real_" + std::to_string(getpid()) + ".txt";
	alert_capture alerts;
	std::string log;
	{
		log_capture capture(path);
		glExt = OGL_extensions();
		ASSERT_EQ(glExt.init_entry_points(), 0);
		glExt.init_extensions();
		log = capture.text();
	}
	unlink(path.c_str());
	EXPECT_TRUE(alerts.taken().empty());
	auto str = [](GLenum n) { return std::string((const char*)gl_libgl.GetString(n)); };
	auto num = [](GLenum n) { GLint v = 0; gl_libgl.GetIntegerv(n, &v); return v; };
	std::string version = str(GL_VERSION);
	int major = 0, minor = 0;
	ASSERT_EQ(sscanf(version.c_str(), "%d.%d", &major, &minor), 2);
	std::string exts = str(GL_EXTENSIONS);

	std::vector<std::string> lines;
	std::istringstream in(log);
	for (std::string l; std::getline(in, l);) lines.push_back(l);
	ASSERT_GE(lines.size(), 32u) << log;
	EXPECT_EQ(lines[0], "OpenGL Vendor    : " + str(GL_VENDOR));
	EXPECT_EQ(lines[1], "OpenGL Render    : " + str(GL_RENDERER));
	EXPECT_EQ(lines[2], "OpenGL Version   : " + version + " (" + std::to_string(major * 100 + minor * 10) + ")");
	EXPECT_EQ(lines[3], "OpenGL Extensions: " + exts);
	const char* labels[] = {"tex_clamp_avail  : ", "add_env_avail    : ", "combine_avail    : ", "dis_fog_avail    : ",
	                        "tex_comp_avail   : ", "vbo_avail        : ", "pbo_avail        : ", "vprog_avail      : ",
	                        "fprog_avail      : ", "automini_avail   : ", "aniso_avail      : ", "fsaa_avail       : ",
	                        "sprites_avail    : ", "depth_tex_avail  : ", "occlude_avail    : ", "shad_objs_avail  : ",
	                        "vshader_avail    : ", "fshader_avail    : ", "gshader_avail    : ", "glsl_avail       : ",
	                        "framebuf_avail   : ", "sblend_avail     : ", "threaded_avail   : ", "first-gen shaders: ",
	                        "max tex units    : ", "max iso filtering: ", "max texture size : ", "max point size   : "};
	for (size_t i = 0; i < 28; ++i) EXPECT_EQ(lines[4 + i].compare(0, 19, labels[i]), 0) << lines[4 + i];
	EXPECT_EQ(lines.size(), 32u) << log;  // no warnings: every entry point was found

	GLint units = num(GL_MAX_TEXTURE_UNITS), images = num(GL_MAX_TEXTURE_IMAGE_UNITS_ARB);
	EXPECT_EQ(lines[28], "max tex units    : " + std::to_string(units) + " (" + std::to_string(images) + "/" +
	                         std::to_string(num(GL_MAX_TEXTURE_COORDS_ARB)) + ")");
	EXPECT_EQ(lines[30], "max texture size : " + std::to_string(num(GL_MAX_TEXTURE_SIZE)));
	EXPECT_EQ(glExt.max_tex_size, num(GL_MAX_TEXTURE_SIZE));
	// Every family the context offers is loaded; the geometry shader of the
	// old extension only where it is listed.
	bool has_gs4 = exts.find("GL_EXT_geometry_shader4") != std::string::npos;
	EXPECT_EQ(glExt.gshader_avail, has_gs4 ? 1 : 0);
	EXPECT_EQ(glExt.glBindBufferARB != nullptr, true);
	EXPECT_EQ(glExt.glsl_avail, 1);
	EXPECT_EQ(ren.tex_units, std::max(units, images));  // GLSL samples from every image unit
	EXPECT_EQ(ren.frag_tex_image_units, images);
	EXPECT_STREQ(ren.gl_version, version.c_str());
	EXPECT_EQ(glExt.threaded_avail, 0);
	ren = keep_ren;
}
