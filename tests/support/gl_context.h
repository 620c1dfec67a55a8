#pragma once
// OpenGL test harness.
//
// The context: one hidden 800 x 600 SDL2 window per test process with a
// compatibility-profile context (double buffer, 24-bit depth), current on the
// main thread and kept in mnw.window[0], mnw.context[0], mnw.x_res and
// mnw.y_res. Once it is current the fixture does what start-up does: the
// capability probe (glExt and ren filled) and OGL_setstate(1, 0, 3, 4, 9, 11).
// It lives until the process ends (Mesa's blocks would otherwise be
// reported as leaks from an unloaded module). Without a display the test
// fails with a message naming xvfb-run; it never skips. Run GL tests as
//   xvfb-run -a -s "-screen 0 1024x768x24" ctest ...
// Under ASan the GL tests read tests/lsan.supp (leaks kept by system
// libraries) by themselves; scripts/test.sh also sets LSAN_OPTIONS.
//
//   TEST_F(gl_test, draws) { ... }          // fixture: context made in SetUp
//   ASSERT_TRUE(gl_test_context());         // or ask for it directly
//
// The call recorder: while a gl_recorder lives, every call through the table
// `gl` is logged as text "Name(arg, arg, ...)" and passed on to the table that
// was in place. glGetString, glGetIntegerv, glGetFloatv and glIsEnabled
// answer from the script when their argument is scripted (still logged, not
// passed on).
//
//   gl_recorder rec;
//   rec.script_enabled(GL_BLEND, false);
//   rec.script_integer(GL_MAX_TEXTURE_UNITS, {2});
//   rec.script_string(GL_RENDERER, "Some card");   // nullptr answers null
//   OGL_setstate(1, 1, 3, 5, 9, 11);
//   EXPECT_EQ(rec.calls(), (std::vector<std::string>{gl_call_text("Enable", GL_TEXTURE_2D), ...}));
//
// Arguments are written the same way by the recorder and by gl_call_text:
// integers (enums included) in decimal, floating values with %g, the
// vectors of the fixed-size pointer calls (Color3fv, LoadMatrixd, ...) as
// {a, b, c}, other pointers as "p" or "null". The recorder does not nest.
//
// glExt entry points: save glExt with a glext_restore guard, then assign
// fakes; a fake may append to the recorder's log with gl_recorder::log:
//   glext_restore keep;
//   glExt.glBindBufferARB = [](GLenum t, GLuint b) { gl_recorder::current()->log("BindBufferARB", t, b); };
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OGL/OGL_ren.h"

// Makes the context on the first call; true once it exists and is current.
// On failure adds a test failure naming xvfb-run and returns false.
bool gl_test_context();

// A 2-D view in pixels over the whole 800 x 600 test window.
void gl_pixel_view();

// Fixture for GL tests: SetUp asserts the context.
class gl_test : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_TRUE(gl_test_context()); }
};

namespace gl_rec_detail {
// Count of values behind the pointer argument of a fixed-size call, 0 when unknown.
int vector_count(const char* name);
inline void put(std::string& s, const char*, const char* v) { s += v ? "p" : "null"; }
template <class T>
void put(std::string& s, const char* name, T v)
{
	if constexpr (std::is_pointer_v<T>) {
		using E = std::remove_cv_t<std::remove_pointer_t<T>>;
		int n = vector_count(name);
		if (v != nullptr && n > 0 && (std::is_same_v<E, GLfloat> || std::is_same_v<E, GLdouble>)) {
			s += '{';
			for (int i = 0; i < n; ++i) {
				if (i) s += ", ";
				char b[40];
				if constexpr (std::is_arithmetic_v<E>) snprintf(b, sizeof b, "%g", (double)v[i]);
				s += b;
			}
			s += '}';
		} else {
			s += v ? "p" : "null";
		}
	} else if constexpr (std::is_floating_point_v<T>) {
		char b[40];
		snprintf(b, sizeof b, "%g", (double)v);
		s += b;
	} else if constexpr (std::is_signed_v<T>) {
		s += std::to_string((long long)v);
	} else {
		s += std::to_string((unsigned long long)v);
	}
}
}  // namespace gl_rec_detail

// The text the recorder writes for a call with these arguments.
template <class... A>
std::string gl_call_text(const char* name, A... args)
{
	std::string s = name;
	s += '(';
	int i = 0;
	((s += (i++ ? ", " : ""), gl_rec_detail::put(s, name, args)), ...);
	s += ')';
	return s;
}

class gl_recorder {
public:
	gl_recorder();   // wraps `gl`
	~gl_recorder();  // puts the wrapped table back
	gl_recorder(const gl_recorder&) = delete;
	gl_recorder& operator=(const gl_recorder&) = delete;

	// The live recorder, null when none.
	static gl_recorder* current();

	const std::vector<std::string>& calls() const { return calls_; }
	void clear() { calls_.clear(); }
	// Calls with this name (the part before '(').
	int count(const std::string& name) const;
	// Only the calls whose name is one of these, in order.
	std::vector<std::string> only(const std::vector<std::string>& names) const;

	// Scripted answers; a query without one passes on (or answers 0/null
	// when passing on is off).
	void script_string(GLenum name, const char* text);
	void script_integer(GLenum pname, std::vector<GLint> values);
	void script_enabled(GLenum cap, bool on);
	void script_float(GLenum pname, std::vector<GLfloat> values);  // glGetFloatv
	void clear_scripts();
	// Off: nothing reaches OpenGL; calls are only logged.
	void pass_through(bool on) { pass_ = on; }

	// Appends a call to the log (for fakes of glExt entry points).
	template <class... A>
	void log(const char* name, A... args) { calls_.push_back(gl_call_text(name, args...)); }

	// Used by the table's wrappers.
	OGL_core_table wrapped;  // the table calls pass on to
	bool pass_ = true;
	struct string_answer { bool null; std::string text; };
	std::map<GLenum, string_answer> strings_;
	std::map<GLenum, std::vector<GLint>> integers_;
	std::map<GLenum, bool> enabled_;
	std::map<GLenum, std::vector<GLfloat>> floats_;

private:
	std::vector<std::string> calls_;
};

// Saves every glExt field and puts them back when it goes.
class glext_restore {
public:
	glext_restore() : saved_(glExt) {}
	~glext_restore() { glExt = saved_; }
	glext_restore(const glext_restore&) = delete;
	glext_restore& operator=(const glext_restore&) = delete;

private:
	OGL_extensions saved_;
};
