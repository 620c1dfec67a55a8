// Shader programs on the real Mesa context: GLSL programs and flag families
// drawn and read back, the build-failure texts and log blocks, rebuilds on
// command, and ARB assembly programs with their error loop.
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_shader.h"
#include "DIzivoz/UTL/UTL_stats.h"
#include "tests/support/files_tmp.h"
#include "tests/support/gl_periphery.h"
#include "tests/support/thread_capture.h"

namespace {

const char* const plain_vert = "void main() { gl_Position = ftransform(); }\n";

// Colour from the three flags and the platform switches.
const char* const family_frag =
    "uniform float gain;\n"
    "void main() {\n"
    "  gl_FragColor = gain * vec4(float(FLAG_A) - 0.5 * float(APL + IBM),\n"
    "                      0.5 * float(FLAG_B),\n"
    "                      0.25 * float(FLAG_C) + 0.5 * float(LIN) + 0.125 * float(LIMITED), 1.0);\n"
    "}\n";

const char* const tint_frag =
    "uniform float gain;\n"
    "uniform vec3 tint;\n"
    "void main() { gl_FragColor = vec4(tint * gain, 1.0); }\n";
// The repaired text declares the uniforms the other way round and drops gain.
const char* const tint_only_frag =
    "uniform vec3 tint;\n"
    "void main() { gl_FragColor = vec4(tint, 1.0); }\n";
const char* const broken_frag = "void main() { gl_FragColor = vec4(1.0) +; }\n";

std::string platform_text()
{
	return std::string("#define APL 0\n#define IBM 0\n#define LIN 1\n") +
	       (glExt.first_gen_shaders ? "#define LIMITED 1\n" : "#define LIMITED 0\n");
}

// The whole info log of an object, read with the core entry points.
std::string full_log(GLuint obj, bool program)
{
	GLint len = 0;
	if (program) glGetProgramiv(obj, GL_INFO_LOG_LENGTH, &len);
	else glGetShaderiv(obj, GL_INFO_LOG_LENGTH, &len);
	std::string s((size_t)std::max(len, 0) + 1, '\0');
	GLsizei got = 0;
	if (program) glGetProgramInfoLog(obj, (GLsizei)s.size(), &got, &s[0]);
	else glGetShaderInfoLog(obj, (GLsizei)s.size(), &got, &s[0]);
	s.resize((size_t)got);
	return s;
}

std::string block(const std::string& name, const std::string& prefix, const std::string& log)
{
	return "=====" + name + "=====\n   (prefix:\n" + prefix + "end prefix)\n" + log + "\n";
}

class shader_test : public gl_test {
protected:
	void SetUp() override
	{
		gl_test::SetUp();
		if (HasFatalFailure()) return;
		ASSERT_TRUE(glExt.glsl_avail);
		app_path = tmp.root;
		tmp.mkdir("Resources");
		tmp.mkdir("Resources/shaders");
		gl_plain_state();
		while (gl.GetError() != GL_NO_ERROR) {
		}
	}
	void TearDown() override
	{
		OGL_shader::unbind_shaders();
		OGL_shader_prog::unbind_shaders();
		app_path = saved_app_path;
	}
	void shader_file(const std::string& name, const std::string& text) { tmp.write("Resources/shaders/" + name, text); }

	files_tmp tmp;
	std::string saved_app_path = app_path;
};

// A fake of glUseProgramObjectARB that logs to the recorder and passes on.
decltype(glExt.glUseProgramObjectARB) g_real_use = nullptr;
void APIENTRY logged_use(GLhandleARB h)
{
	gl_recorder::current()->log("UseProgramObjectARB", h);
	g_real_use(h);
}

}  // namespace

TEST(ShaderFamily, VariantIdsAreMixedRadixFirstFlagLeast)
{
	// Ids need no context: nothing is compiled until a bind.
	const char* flags[] = {"FLAG_A", "FLAG_B", "FLAG_C", nullptr};
	const int ranges[] = {2, 3, 2};
	OGL_shader_conditional fam("v.vert", "f.frag", nullptr, flags, ranges, nullptr);
	EXPECT_EQ(fam.variant_count(), 12);
	const struct {
		int a, b, c, id;
	} table[] = {{0, 0, 0, 0}, {1, 0, 0, 1}, {0, 1, 0, 2}, {1, 2, 0, 5}, {0, 0, 1, 6}, {1, 2, 1, 11}};
	for (const auto& t : table) {
		int v[3] = {t.a, t.b, t.c};
		EXPECT_EQ(fam.id_from_flags(v), t.id);
		int back[3] = {-1, -1, -1};
		EXPECT_EQ(fam.flags_from_id(t.id, back), 3);
		EXPECT_EQ(back[0], t.a);
		EXPECT_EQ(back[1], t.b);
		EXPECT_EQ(back[2], t.c);
	}
	// Outside the family: an error, never a write beyond the variants.
	int back[3];
	EXPECT_THROW(fam.flags_from_id(12, back), std::out_of_range);
	EXPECT_THROW(fam.flags_from_id(-1, back), std::out_of_range);
	EXPECT_THROW(fam.bind(12), std::out_of_range);
	EXPECT_THROW(fam.get_uniform_loc(-1, 0), std::out_of_range);
	int bad[3] = {0, 3, 0};
	EXPECT_THROW(fam.id_from_flags(bad), std::out_of_range);

	// Without ranges every flag is a switch.
	const char* two[] = {"X", "Y", nullptr};
	OGL_shader_conditional switches(nullptr, nullptr, nullptr, two, nullptr, nullptr);
	EXPECT_EQ(switches.variant_count(), 4);
	EXPECT_EQ(switches.flag_ranges, (std::vector<int>{2, 2}));
	OGL_shader_conditional none(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
	EXPECT_EQ(none.variant_count(), 1);
}

TEST_F(shader_test, family_variants_draw_the_colour_of_their_flags_and_platform)
{
	shader_file("plain.vert", plain_vert);
	shader_file("family.frag", family_frag);
	const char* uniforms[] = {"gain", nullptr};
	const char* flags[] = {"FLAG_A", "FLAG_B", "FLAG_C", nullptr};
	const int ranges[] = {2, 3, 2};
	alert_capture alerts;
	OGL_shader_conditional fam("plain.vert", "family.frag", uniforms, flags, ranges, "// family\n");
	const int limited = glExt.first_gen_shaders ? 1 : 0;
	for (int id = 0; id < fam.variant_count(); ++id) {
		int v[3];
		fam.flags_from_id(id, v);
		gl.Clear(GL_COLOR_BUFFER_BIT);
		fam.bind(id);
		ASSERT_NE(OGL_shader::current_shader, nullptr);
		int loc = fam.get_uniform_loc(id, 0);
		ASSERT_GE(loc, 0) << "variant " << id;
		glExt.glUniform1fARB(loc, 1.0f);
		gl_full_quad();
		std::array<int, 3> want = {v[0] * 255, (int)(v[1] * 0.5 * 255 + 0.5),
		                           (int)((0.25 * v[2] + 0.5 + 0.125 * limited) * 255 + 0.5)};
		auto got = gl_pixel(400, 300);
		EXPECT_TRUE(near_rgb(got, want)) << "variant " << id << " drew " << rgb_text(got) << " not " << rgb_text(want);
	}
	EXPECT_TRUE(alerts.taken().empty());
	// Each variant carries its own definitions after the family's prefix.
	ASSERT_NE(fam.variants[11], nullptr);
	EXPECT_EQ(fam.variants[11]->prefix, "// family\n#define FLAG_A 1\n#define FLAG_B 2\n#define FLAG_C 1\n");
	EXPECT_EQ(fam.variants[11]->vertex_path, "Resources/shaders/plain.vert");
	// Variants are registered while the family lives and gone with it.
	size_t registered = OGL_shader::shaders.size();
	EXPECT_GE(registered, 12u);
}

TEST_F(shader_test, binding_a_bound_program_costs_no_call)
{
	shader_file("plain.vert", plain_vert);
	shader_file("family.frag", family_frag);
	const char* flags[] = {"FLAG_A", "FLAG_B", "FLAG_C", nullptr};
	const int ranges[] = {2, 3, 2};
	OGL_shader_conditional fam("plain.vert", "family.frag", nullptr, flags, ranges, nullptr);
	size_t before = OGL_shader::shaders.size();
	{
		glext_restore keep;
		g_real_use = glExt.glUseProgramObjectARB;
		glExt.glUseProgramObjectARB = &logged_use;
		gl_recorder rec;
		fam.bind(11);
		fam.bind(11);
		EXPECT_EQ(rec.count("UseProgramObjectARB"), 1);
		fam.bind(3);
		fam.bind(11);
		EXPECT_EQ(rec.count("UseProgramObjectARB"), 3);
		OGL_shader::unbind_shaders();
		OGL_shader::unbind_shaders();
		EXPECT_EQ(rec.only({"UseProgramObjectARB"}),
		          (std::vector<std::string>{gl_call_text("UseProgramObjectARB", fam.variants[11]->program),
		                                    gl_call_text("UseProgramObjectARB", fam.variants[3]->program),
		                                    gl_call_text("UseProgramObjectARB", fam.variants[11]->program),
		                                    gl_call_text("UseProgramObjectARB", 0u)}));
	}
	// Only the two variants bound were built.
	EXPECT_EQ(OGL_shader::shaders.size(), before + 2);
	int built = 0;
	for (OGL_shader* v : fam.variants) built += v != nullptr;
	EXPECT_EQ(built, 2);
}

TEST_F(shader_test, a_destroyed_bound_shader_is_unbound_and_unregistered)
{
	shader_file("plain.vert", plain_vert);
	shader_file("tint.frag", tint_frag);
	size_t before = OGL_shader::shaders.size();
	auto* s = new OGL_shader(std::string("plain.vert"), std::string("tint.frag"), "", {"tint", "gain"});
	EXPECT_EQ(s->prefix, "// no prefix\n");
	EXPECT_EQ(OGL_shader::shaders.size(), before + 1);
	s->bind();
	EXPECT_EQ(OGL_shader::current_shader, s);
	delete s;
	EXPECT_EQ(OGL_shader::current_shader, nullptr);
	EXPECT_EQ(OGL_shader::shaders.size(), before);
	GLint in_use = -1;
	gl.GetIntegerv(GL_CURRENT_PROGRAM, &in_use);
	EXPECT_EQ(in_use, 0);
	// Null names and an index outside them.
	OGL_shader t("plain.vert", "tint.frag", nullptr, (const char**)nullptr);
	EXPECT_TRUE(t.uniform_names.empty());
	EXPECT_THROW(t.get_uniform_loc(0), std::out_of_range);
}

TEST_F(shader_test, missing_files_at_construction_are_fatal)
{
	shader_file("plain.vert", plain_vert);
	const struct {
		const char* vert;
		const char* frag;
		std::string missing;
		int line;
	} cases[] = {
	    {"absent.vert", "absent.frag", "Resources/shaders/absent.vert", 151},
	    {"plain.vert", "absent.frag", "Resources/shaders/absent.frag", 175},
	    {"empty.vert", "absent.frag", "Resources/shaders/empty.vert", 151},
	};
	shader_file("empty.vert", "");
	for (const auto& c : cases) {
		alert_capture alerts;
		OGL_shader s(c.vert, c.frag, nullptr, (const char**)nullptr);
		auto got = alerts.taken();
		ASSERT_EQ(got.size(), 1u) << c.missing;
		EXPECT_EQ(got[0].kind, alert_fatal);
		EXPECT_EQ(got[0].line1, "We were unable to load the shader file:");
		EXPECT_EQ(got[0].line2, c.missing);
		EXPECT_EQ(got[0].line3, "");
		EXPECT_EQ(got[0].line4, "Re-run the Ventora installer/updater to correct this problem.");
		EXPECT_EQ(got[0].source_file, "DIzivoz/OGL/OGL_shader");
		EXPECT_EQ(got[0].source_line, c.line);
	}
}

TEST_F(shader_test, failed_build_at_construction_logs_each_object_then_is_fatal)
{
	shader_file("broken.vert", "void main() { gl_Position = ; }\n");
	shader_file("tint.frag", tint_frag);
	std::string log_path = tmp("log.txt");
	log_capture log(log_path);
	std::vector<alert_record> seen;
	std::string log_at_alert;
	MACIBM_set_alert_sink([&](const alert_record& r) {
		seen.push_back(r);
		log_at_alert = log.text();
	});
	OGL_shader s("broken.vert", "tint.frag", "// mine\n", (const char**)nullptr);
	MACIBM_set_alert_sink(nullptr);

	ASSERT_EQ(seen.size(), 1u);
	EXPECT_EQ(seen[0].kind, alert_fatal);
	EXPECT_EQ(seen[0].line1, "There was a problem processing a GLSL pixel shader.");
	EXPECT_EQ(seen[0].line2, "You may need to rerun the installer or update your graphics drivers.");
	EXPECT_EQ(seen[0].line3, "Resources/shaders/broken.vert");
	EXPECT_EQ(seen[0].line4, "Resources/shaders/tint.frag");
	EXPECT_EQ(seen[0].source_line, 219);
	// The fragment stage was still compiled (it has no block) and the link tried.
	GLint frag_ok = 0;
	glExt.glGetObjectParameterivARB(s.fragment_obj, GL_OBJECT_COMPILE_STATUS_ARB, &frag_ok);
	EXPECT_EQ(frag_ok, 1);
	const std::string prefix = platform_text() + "// mine\n";
	std::string vert_log = full_log(s.vertex_obj, false);
	std::string link_log = full_log(s.program, true);
	EXPECT_FALSE(vert_log.empty());
	EXPECT_EQ(log_at_alert, block("Resources/shaders/broken.vert", prefix, vert_log) +
	                            block("Resources/shaders/broken.vert+Resources/shaders/tint.frag", prefix, link_log));
	// A failed build still asks for the locations (none exist).
	EXPECT_TRUE(s.uniform_locs.empty());
}

TEST_F(shader_test, an_empty_info_log_is_written_empty)
{
	shader_file("plain.vert", plain_vert);
	shader_file("tint.frag", tint_frag);
	OGL_shader s("plain.vert", "tint.frag", nullptr, (const char**)nullptr);
	GLint len = -1;
	glExt.glGetObjectParameterivARB(s.vertex_obj, GL_OBJECT_INFO_LOG_LENGTH_ARB, &len);
	EXPECT_EQ(len, 0);  // a clean compile on Mesa
	std::string path = tmp("log.txt");
	log_capture log(path);
	log_shader_obj("clean", "P\n", s.vertex_obj);
	EXPECT_EQ(log.text(), "=====clean=====\n   (prefix:\nP\nend prefix)\n\n");
}

TEST_F(shader_test, reload_command_warns_until_the_file_is_repaired_then_uniforms_are_fresh)
{
	shader_file("plain.vert", plain_vert);
	shader_file("tint.frag", tint_frag);
	OGL_shader s(std::string("plain.vert"), std::string("tint.frag"), nullptr, {"gain", "tint"});
	ASSERT_GE(s.get_uniform_loc(0), 0);
	ASSERT_GE(s.get_uniform_loc(1), 0);
	GLhandleARB program = s.program;

	shader_file("tint.frag", broken_frag);
	std::vector<alert_record> seen;
	std::vector<int> gain_loc_at_warning;
	MACIBM_set_alert_sink([&](const alert_record& r) {
		seen.push_back(r);
		gain_loc_at_warning.push_back(s.get_uniform_loc(0));
		if (seen.size() == 2) shader_file("tint.frag", tint_only_frag);
	});
	// Through the registered command, as an outside tool would press it.
	int id = 0;
	for (UTL_remote_cmd* c = UTL_remote_cmd::cmd_list; c; c = c->next)
		if (std::string(c->name) == "Reload Pixel Shaders...") id = c->id;
	ASSERT_NE(id, 0);
	{
		log_capture log(tmp("log.txt"));
		UTL_remote_cmd::invoke(nullptr, id);
	}
	MACIBM_set_alert_sink(nullptr);

	ASSERT_EQ(seen.size(), 2u);
	for (const alert_record& r : seen) {
		EXPECT_EQ(r.kind, alert_warning);
		EXPECT_EQ(r.line1, "There was a problem processing a GLSL pixel shader.");
		EXPECT_EQ(r.source_line, 219);
	}
	EXPECT_EQ(gain_loc_at_warning, (std::vector<int>{-1, -1}));
	// Rebuilt in the same program object, with its locations read again.
	EXPECT_EQ(s.program, program);
	EXPECT_EQ(s.get_uniform_loc(0), -1);  // gain is gone
	EXPECT_EQ(s.get_uniform_loc(1), glGetUniformLocation(s.program, "tint"));
	EXPECT_GE(s.get_uniform_loc(1), 0);
	s.bind();
	glExt.glUniform3fARB(s.get_uniform_loc(1), 0.0f, 1.0f, 0.0f);
	gl_full_quad();
	EXPECT_TRUE(near_rgb(gl_pixel(10, 10), {0, 255, 0})) << rgb_text(gl_pixel(10, 10));
}

TEST_F(shader_test, reload_of_a_file_that_stays_broken_warns_five_times_then_gives_up)
{
	shader_file("plain.vert", plain_vert);
	shader_file("tint.frag", tint_frag);
	OGL_shader s(std::string("plain.vert"), std::string("tint.frag"), nullptr, {"tint"});
	shader_file("tint.frag", broken_frag);
	int warnings = 0;
	MACIBM_set_alert_sink([&](const alert_record& r) {
		EXPECT_EQ(r.kind, alert_warning);
		// A loop without end is cut here, so the test fails instead of hanging.
		if (++warnings == 50) shader_file("tint.frag", tint_only_frag);
	});
	std::string log;
	{
		log_capture capture(tmp("log.txt"));
		OGL_shader::reload_all_shaders(1);
		log = capture.text();
	}
	EXPECT_EQ(warnings, 5);
	EXPECT_NE(log.find("WARNING: giving up on the GLSL shader Resources/shaders/plain.vert + "
	                   "Resources/shaders/tint.frag after 5 failed builds.\n"),
	          std::string::npos)
	    << log;
	// Still registered: mended files build on the next command.
	shader_file("tint.frag", tint_only_frag);
	warnings = 0;
	OGL_shader::reload_all_shaders(1);
	MACIBM_set_alert_sink(nullptr);
	EXPECT_EQ(warnings, 0);
	s.bind();
	glExt.glUniform3fARB(s.get_uniform_loc(0), 0.0f, 0.0f, 1.0f);
	gl_full_quad();
	EXPECT_TRUE(near_rgb(gl_pixel(10, 10), {0, 0, 255})) << rgb_text(gl_pixel(10, 10));
}

// ---------------------------------------------------------------- assembly programs

namespace {
const char* const green_fp =
    "!!ARBfp1.0\n"
    "PARAM c = {0.0, 1.0, 0.0, 1.0};\n"
    "MOV result.color, c;\n"
    "END\n";
const char* const blue_fp =
    "!!ARBfp1.0\n"
    "PARAM c = {0.0, 0.0, 1.0, 1.0};\n"
    "MOV result.color, c;\n"
    "END\n";
const char* const broken_fp =
    "!!ARBfp1.0\n"
    "MOV result.color, nonsense;\n"
    "END\n";

GLint bound_program(GLenum target)
{
	GLint p = -1;
	glExt.glGetProgramivARB(target, GL_PROGRAM_BINDING_ARB, &p);
	return p;
}

decltype(glExt.glProgramStringARB) g_real_string = nullptr;
int g_string_calls = 0;
// Hands the driver a format it does not know: an error with no position.
void APIENTRY bad_format_string(GLenum target, GLenum, GLsizei len, const void* text)
{
	++g_string_calls;
	g_real_string(target, 0x1234, len, text);
}
decltype(glExt.glGetProgramivARB) g_real_get_program = nullptr;
void APIENTRY over_limits(GLenum target, GLenum pname, GLint* out)
{
	if (pname == GL_PROGRAM_UNDER_NATIVE_LIMITS_ARB) *out = 0;
	else g_real_get_program(target, pname, out);
}
}  // namespace

TEST_F(shader_test, assembly_program_draws_and_restores_its_types_binding)
{
	ASSERT_TRUE(glExt.fprog_avail);
	shader_file("green.fp", green_fp);
	shader_file("blue.fp", blue_fp);
	alert_capture alerts;
	OGL_shader_prog green(0, "green.fp");
	EXPECT_EQ(green.path, "Resources/shaders/green.fp");
	EXPECT_EQ(bound_program(GL_FRAGMENT_PROGRAM_ARB), 0);
	green.bind();
	EXPECT_EQ(OGL_shader_prog::current_shader[0], &green);
	gl_full_quad();
	EXPECT_TRUE(near_rgb(gl_pixel(400, 300), {0, 255, 0})) << rgb_text(gl_pixel(400, 300));

	// Loading another leaves the bound one bound.
	OGL_shader_prog blue(0, "blue.fp");
	EXPECT_EQ(bound_program(GL_FRAGMENT_PROGRAM_ARB), (GLint)green.program);
	blue.bind();
	gl_full_quad();
	EXPECT_TRUE(near_rgb(gl_pixel(400, 300), {0, 0, 255}));
	OGL_shader_prog::unbind_shaders();
	EXPECT_FALSE(gl.IsEnabled(GL_FRAGMENT_PROGRAM_ARB));
	EXPECT_EQ(bound_program(GL_FRAGMENT_PROGRAM_ARB), 0);
	EXPECT_EQ(OGL_shader_prog::current_shader[0], nullptr);
	EXPECT_TRUE(alerts.taken().empty());
	EXPECT_THROW(OGL_shader_prog(2, "green.fp"), std::out_of_range);
}

TEST_F(shader_test, broken_assembly_program_warns_on_reload_until_repaired)
{
	shader_file("prog.fp", green_fp);
	OGL_shader_prog prog(0, "prog.fp");
	shader_file("prog.fp", broken_fp);
	std::vector<alert_record> seen;
	MACIBM_set_alert_sink([&](const alert_record& r) {
		seen.push_back(r);
		if (seen.size() == 3) shader_file("prog.fp", blue_fp);
	});
	OGL_shader_prog::reload_all_shaders(1);
	MACIBM_set_alert_sink(nullptr);
	ASSERT_EQ(seen.size(), 3u);
	for (const alert_record& r : seen) {
		EXPECT_EQ(r.kind, alert_warning);
		EXPECT_EQ(r.line1, "There was an error with your fragment program");
		// The driver's position of the error, as a %f number, and its message.
		double pos = -1;
		char rest = 0;
		EXPECT_EQ(sscanf(r.line2.c_str(), "%lf%c", &pos, &rest), 1) << r.line2;
		EXPECT_NE(r.line2.find(".000000"), std::string::npos) << r.line2;
		EXPECT_GE(pos, 0);
		EXPECT_LE(pos, (double)strlen(broken_fp));
		EXPECT_EQ(r.line3, "");
		EXPECT_FALSE(r.line4.empty());
		EXPECT_EQ(r.source_file, "DIzivoz/OGL/OGL_shader");
		EXPECT_EQ(r.source_line, 421);
	}
	prog.bind();
	gl_full_quad();
	EXPECT_TRUE(near_rgb(gl_pixel(400, 300), {0, 0, 255}));
}

TEST_F(shader_test, broken_or_missing_assembly_program_at_construction_is_fatal_once)
{
	shader_file("broken.fp", broken_fp);
	{
		alert_capture alerts;
		OGL_shader_prog prog(0, "broken.fp");
		auto got = alerts.taken();
		ASSERT_EQ(got.size(), 1u);
		EXPECT_EQ(got[0].kind, alert_fatal);
		EXPECT_EQ(got[0].line1, "There was an error with your fragment program");
		EXPECT_EQ(got[0].source_line, 421);
	}
	{
		alert_capture alerts;
		OGL_shader_prog prog(1, "absent.vp");
		auto got = alerts.taken();
		ASSERT_EQ(got.size(), 1u);
		EXPECT_EQ(got[0].kind, alert_fatal);
		EXPECT_EQ(got[0].line1, "Unable to load shader");
		EXPECT_EQ(got[0].line2, "Resources/shaders/absent.vp");
		EXPECT_EQ(got[0].line3, "");
		EXPECT_EQ(got[0].line4, "You may need to reinstall Ventora.");
		EXPECT_EQ(got[0].source_line, 407);
	}
}

TEST_F(shader_test, errors_not_caused_by_the_text_are_never_retried)
{
	shader_file("green.fp", green_fp);
	{
		// An error left pending by earlier code is not the program's.
		alert_capture alerts;
		gl.Enable(0xDEAD);
		OGL_shader_prog prog(0, "green.fp");
		EXPECT_TRUE(alerts.taken().empty());
		prog.bind();
		gl_full_quad();
		EXPECT_TRUE(near_rgb(gl_pixel(400, 300), {0, 255, 0}));
		OGL_shader_prog::unbind_shaders();
	}
	{
		// An error at position -1 on a reload: logged once, no warning, no loop.
		OGL_shader_prog prog(0, "green.fp");
		glext_restore keep;
		g_real_string = glExt.glProgramStringARB;
		g_string_calls = 0;
		glExt.glProgramStringARB = &bad_format_string;
		alert_capture alerts;
		log_capture log(tmp("log.txt"));
		prog.reload(1);
		EXPECT_EQ(g_string_calls, 1);
		EXPECT_TRUE(alerts.taken().empty());
		EXPECT_NE(log.text().find("Resources/shaders/green.fp (no error position)"), std::string::npos) << log.text();
	}
	{
		glext_restore keep;
		g_real_get_program = glExt.glGetProgramivARB;
		glExt.glGetProgramivARB = &over_limits;
		log_capture log(tmp("log2.txt"));
		OGL_shader_prog prog(0, "green.fp");
		EXPECT_EQ(log.text(), "Warning: pixel shader Resources/shaders/green.fp not under native limits.\n");
	}
}
