// The OpenGL test harness itself: the context, the call recorder, glExt
// swapping and the entry-point resolver.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "Platform/plat_gl.h"
#include "tests/support/gl_context.h"

extern char** environ;

using strings = std::vector<std::string>;

TEST_F(gl_test, context_is_an_800_by_600_double_buffered_compatibility_context)
{
	EXPECT_NE(mnw.window[0], nullptr);
	EXPECT_NE(mnw.context[0], nullptr);
	EXPECT_EQ(mnw.x_res, 800);
	EXPECT_EQ(mnw.y_res, 600);
	GLint vp[4] = {};
	gl_libgl.GetIntegerv(GL_VIEWPORT, vp);
	EXPECT_EQ(vp[2], 800);
	EXPECT_EQ(vp[3], 600);
	GLint depth = 0;
	gl_libgl.GetIntegerv(GL_DEPTH_BITS, &depth);
	EXPECT_GE(depth, 24);  // asked for 24; Mesa may give more
	GLboolean dbl = GL_FALSE;
	gl_libgl.GetBooleanv(GL_DOUBLEBUFFER, &dbl);
	EXPECT_EQ(dbl, GL_TRUE);
	// Fixed-function calls are legal only in a compatibility context.
	gl_libgl.GetError();
	gl_libgl.MatrixMode(GL_PROJECTION);
	gl_libgl.LoadIdentity();
	gl_libgl.Begin(GL_POINTS);
	gl_libgl.Vertex2f(0, 0);
	gl_libgl.End();
	EXPECT_EQ(gl_libgl.GetError(), (GLenum)GL_NO_ERROR);
	EXPECT_TRUE(gl_test_context());  // a second call finds it made
	// Start-up's probe has run on it.
	EXPECT_GE(ren.tex_units, 1);
	EXPECT_GT(glExt.max_tex_size, 0);
	EXPECT_NE(glExt.glBindBufferARB, nullptr);
	EXPECT_NE(ren.gl_renderer, nullptr);
}

TEST(ogl_harness, without_a_display_a_gl_test_fails_naming_xvfb_run)
{
	int fd[2];
	ASSERT_EQ(pipe(fd), 0);
	std::vector<std::string> env_s;
	for (char** e = environ; *e; ++e)
		if (strncmp(*e, "DISPLAY=", 8) != 0 && strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0) env_s.push_back(*e);
	std::vector<char*> envp;
	for (std::string& s : env_s) envp.push_back(&s[0]);
	envp.push_back(nullptr);
	std::string filter = "--gtest_filter=gl_test.context_is_an_800_by_600_double_buffered_compatibility_context";
	char exe[] = "/proc/self/exe";
	char* argv[] = {exe, &filter[0], nullptr};
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	posix_spawn_file_actions_adddup2(&fa, fd[1], 1);
	posix_spawn_file_actions_adddup2(&fa, fd[1], 2);
	posix_spawn_file_actions_addclose(&fa, fd[0]);
	pid_t pid = 0;
	ASSERT_EQ(posix_spawn(&pid, exe, &fa, nullptr, argv, envp.data()), 0);
	posix_spawn_file_actions_destroy(&fa);
	close(fd[1]);
	std::string out;
	char buf[4096];
	ssize_t n;
	while ((n = read(fd[0], buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
	close(fd[0]);
	int status = 0;
	waitpid(pid, &status, 0);
	EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << out;
	EXPECT_NE(out.find("xvfb-run"), std::string::npos) << out;
	EXPECT_EQ(out.find("SKIPPED"), std::string::npos) << out;
}

TEST_F(gl_test, recorder_logs_each_call_and_passes_it_on)
{
	gl_libgl.Disable(GL_BLEND);
	{
		gl_recorder rec;
		EXPECT_EQ(gl_recorder::current(), &rec);
		gl.Enable(GL_BLEND);
		GLfloat c[3] = {0.5f, 0.25f, 1};
		gl.Color3fv(c);
		gl.Color4f(0.5f, 0, 1, 0.75f);
		gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
		gl.DepthMask(GL_TRUE);
		gl.Translated(1.5, -2, 0);
		EXPECT_EQ(rec.calls(), (strings{"Enable(3042)", "Color3fv({0.5, 0.25, 1})", "Color4f(0.5, 0, 1, 0.75)",
		                                "TexImage2D(3553, 0, 6408, 4, 4, 0, 6408, 5121, null)",
		                                "DepthMask(1)", "Translated(1.5, -2, 0)"}));
		EXPECT_EQ(rec.calls()[0], gl_call_text("Enable", GL_BLEND));
		EXPECT_EQ(rec.calls()[1], gl_call_text("Color3fv", (const GLfloat*)c));
		EXPECT_EQ(rec.count("Color4f"), 1);
		EXPECT_EQ(rec.count("Color"), 0);
		EXPECT_EQ(rec.only({"DepthMask", "Enable"}), (strings{"Enable(3042)", "DepthMask(1)"}));
		rec.clear();
		EXPECT_TRUE(rec.calls().empty());
		// The calls reached OpenGL.
		EXPECT_EQ(gl.IsEnabled(GL_BLEND), GL_TRUE);
		EXPECT_EQ(rec.calls(), strings{"IsEnabled(3042)"});
	}
	EXPECT_EQ(gl_recorder::current(), nullptr);
	EXPECT_EQ(gl.Enable, gl_libgl.Enable);
	EXPECT_EQ(gl.GetString, gl_libgl.GetString);
	gl_libgl.Disable(GL_BLEND);
}

TEST_F(gl_test, recorder_answers_queries_from_its_script)
{
	gl_recorder rec;
	rec.script_string(GL_RENDERER, "Scripted Card");
	rec.script_string(GL_EXTENSIONS, nullptr);
	rec.script_integer(GL_MAX_TEXTURE_UNITS, {2});
	rec.script_integer(GL_POINT_SIZE_RANGE, {1, 64});
	rec.script_enabled(GL_FOG, true);
	rec.script_float(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, {4.5f});
	GLfloat aniso = 0;
	gl.GetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &aniso);
	EXPECT_EQ(aniso, 4.5f);
	rec.clear();
	EXPECT_STREQ((const char*)gl.GetString(GL_RENDERER), "Scripted Card");
	EXPECT_EQ(gl.GetString(GL_EXTENSIONS), nullptr);
	const char* vendor = (const char*)gl.GetString(GL_VENDOR);  // unscripted: OpenGL's own
	ASSERT_NE(vendor, nullptr);
	EXPECT_STREQ(vendor, (const char*)gl_libgl.GetString(GL_VENDOR));
	GLint units = 0, range[2] = {};
	gl.GetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
	gl.GetIntegerv(GL_POINT_SIZE_RANGE, range);
	EXPECT_EQ(units, 2);
	EXPECT_EQ(range[1], 64);
	EXPECT_EQ(gl.IsEnabled(GL_FOG), GL_TRUE);
	EXPECT_EQ(gl_libgl.IsEnabled(GL_FOG), GL_FALSE);
	EXPECT_EQ(rec.calls(), (strings{"GetString(7937)", "GetString(7939)", "GetString(7936)",
	                                "GetIntegerv(34018, p)", "GetIntegerv(2834, p)", "IsEnabled(2912)"}));
	rec.clear_scripts();
	EXPECT_EQ(gl.IsEnabled(GL_FOG), GL_FALSE);
}

TEST_F(gl_test, recorder_without_passing_on_keeps_opengl_untouched)
{
	gl_libgl.Disable(GL_CULL_FACE);
	{
		gl_recorder rec;
		rec.pass_through(false);
		gl.Enable(GL_CULL_FACE);
		GLint v = 7;
		gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &v);
		EXPECT_EQ(v, 0);
		EXPECT_EQ(gl.GetString(GL_VENDOR), nullptr);
		EXPECT_EQ(rec.count("Enable"), 1);
	}
	EXPECT_EQ(gl_libgl.IsEnabled(GL_CULL_FACE), GL_FALSE);
}

TEST(ogl_harness, glext_entry_points_are_swapped_and_put_back)
{
	auto before = glExt;
	{
		glext_restore keep;
		gl_recorder rec;
		rec.pass_through(false);
		glExt.threaded_avail = 1;
		rec.log("BindBufferARB", GL_ARRAY_BUFFER_ARB, 5u);
		EXPECT_EQ(rec.calls(), strings{"BindBufferARB(34962, 5)"});
	}
	EXPECT_EQ(glExt.threaded_avail, before.threaded_avail);
}

static int g_resolved = 0;
static void* fake_resolver(const char* name)
{
	++g_resolved;
	return strcmp(name, "glKnown") == 0 ? (void*)&fake_resolver : nullptr;
}

TEST_F(gl_test, entry_points_come_from_sdl_or_an_injected_resolver)
{
	EXPECT_EQ(plat_gl_load_library(), 0);
	EXPECT_NE(aglGetProcAddress("glBindBufferARB"), nullptr);
	EXPECT_EQ(aglGetProcAddress(nullptr), nullptr);
	EXPECT_EQ(plat_set_gl_resolver(&fake_resolver), nullptr);
	EXPECT_EQ(aglGetProcAddress("glKnown"), (void*)&fake_resolver);
	EXPECT_EQ(aglGetProcAddress("glBindBufferARB"), nullptr);
	EXPECT_EQ(g_resolved, 2);
	EXPECT_EQ(plat_set_gl_resolver(nullptr), &fake_resolver);
	EXPECT_NE(aglGetProcAddress("glBindBufferARB"), nullptr);
}
