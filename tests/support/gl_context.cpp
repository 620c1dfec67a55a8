#include "tests/support/gl_context.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"

// ---------------------------------------------------------------- context

#if defined(VENTORA_SANITIZED)
// GL tests read the suppressions of system libraries even when started
// without scripts/test.sh; LSAN_OPTIONS still takes precedence.
extern "C" const char* __lsan_default_options() { return "suppressions=" VENTORA_TEST_SRC_DIR "/lsan.supp"; }
#endif

static std::string g_context_error;  // why the context could not be made

static bool make_context()
{
	SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
	// Without a display SDL falls back to an off-screen driver whose context
	// is not the window the program gets: refuse it.
	const char* display = getenv("DISPLAY");
	const char* wayland = getenv("WAYLAND_DISPLAY");
	if ((display == nullptr || *display == 0) && (wayland == nullptr || *wayland == 0)) {
		g_context_error = "DISPLAY is not set";
		return false;
	}
	// A display busy with many test processes connecting at once can refuse
	// a connection, and SDL then falls back to a driver that shows nothing:
	// ask again a few times before giving up.
	for (int attempt = 0;; ++attempt) {
		if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
			g_context_error = std::string("SDL video did not start (") + SDL_GetError() + ")";
			return false;
		}
		const char* driver = SDL_GetCurrentVideoDriver();
		if (driver != nullptr && (strcmp(driver, "x11") == 0 || strcmp(driver, "wayland") == 0)) break;
		g_context_error = std::string("SDL video driver is ") + (driver ? driver : "none") + ", not a display";
		SDL_QuitSubSystem(SDL_INIT_VIDEO);
		if (attempt == 9) return false;
		SDL_Delay(300);
	}
	SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
	SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
	SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
	SDL_Window* win = SDL_CreateWindow("Ventora test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
	                                   800, 600, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
	if (win == nullptr) {
		g_context_error = std::string("no OpenGL window (") + SDL_GetError() + ")";
		return false;
	}
	SDL_GLContext ctx = SDL_GL_CreateContext(win);
	if (ctx == nullptr) {
		g_context_error = std::string("no OpenGL context (") + SDL_GetError() + ")";
		SDL_DestroyWindow(win);
		return false;
	}
	SDL_GL_MakeCurrent(win, ctx);
	mnw.window[0] = win;
	mnw.context[0] = ctx;
	mnw.x_res = 800;
	mnw.y_res = 600;
	// What start-up does once the context is current: the probe, then the
	// first state.
	if (glExt.init_entry_points() != 0) {
		g_context_error = std::string("OpenGL library not loaded (") + SDL_GetError() + ")";
		return false;
	}
	glExt.init_extensions();
	OGL_setstate(1, 0, 3, 4, 9, 11);
	return true;
}

void gl_pixel_view()
{
	gl.Viewport(0, 0, 800, 600);
	gl.MatrixMode(GL_PROJECTION);
	gl.LoadIdentity();
	gl.Ortho(0, 800, 0, 600, -1, 1);
	gl.MatrixMode(GL_MODELVIEW);
	gl.LoadIdentity();
}

bool gl_test_context()
{
	static bool made = false;
	if (made) {
		// A test may have switched contexts; the fixture's is current again.
		SDL_GL_MakeCurrent((SDL_Window*)mnw.window[0], (SDL_GLContext)mnw.context[0]);
		return true;
	}
	made = make_context();
	if (!made) {
		ADD_FAILURE() << "OpenGL test needs a display: " << g_context_error
		              << ". Run it under xvfb-run -a -s \"-screen 0 1024x768x24\".";
	}
	return made;
}

// ---------------------------------------------------------------- recorder

static gl_recorder* g_rec = nullptr;

gl_recorder* gl_recorder::current() { return g_rec; }

int gl_rec_detail::vector_count(const char* name)
{
	static const std::map<std::string, int> counts = {
	    {"Color3fv", 3}, {"Color4fv", 4}, {"Vertex3fv", 3}, {"Vertex3dv", 3}, {"Normal3fv", 3},
	    {"LoadMatrixd", 16}, {"LoadMatrixf", 16}, {"MultMatrixd", 16}, {"ClipPlane", 4},
	    {"Fogfv", 4}, {"Lightfv", 4}, {"LightModelfv", 4}, {"Materialfv", 4},
	    {"TexEnvfv", 4}, {"TexParameterfv", 4}, {"TexGenfv", 4}};
	auto it = counts.find(name);
	return it == counts.end() ? 0 : it->second;
}

namespace {
template <class... A>
void rec_log(const char* name, A... args)
{
	g_rec->log(name, args...);
}

template <class... A>
void rec_log_tuple(const char* name, const std::tuple<A...>& args)
{
	std::apply([name](auto... a) { g_rec->log(name, a...); }, args);
}

template <class T>
T rec_default()
{
	if constexpr (!std::is_void_v<T>) return T{};
}

#define REC_THUNK(ret, name, params, args)                     \
	ret rec_##name params                                       \
	{                                                           \
		rec_log_tuple(#name, std::make_tuple args);             \
		if (!g_rec->pass_) return rec_default<ret>();           \
		return g_rec->wrapped.name args;                        \
	}
OGL_CORE_FUNCS(REC_THUNK)
#undef REC_THUNK

const GLubyte* rec_script_GetString(GLenum name)
{
	rec_log("GetString", name);
	auto it = g_rec->strings_.find(name);
	if (it != g_rec->strings_.end())
		return it->second.null ? nullptr : (const GLubyte*)it->second.text.c_str();
	return g_rec->pass_ ? g_rec->wrapped.GetString(name) : nullptr;
}

void rec_script_GetIntegerv(GLenum pname, GLint* params)
{
	rec_log("GetIntegerv", pname, params);
	auto it = g_rec->integers_.find(pname);
	if (it != g_rec->integers_.end()) {
		for (size_t i = 0; i < it->second.size(); ++i) params[i] = it->second[i];
		return;
	}
	if (g_rec->pass_) g_rec->wrapped.GetIntegerv(pname, params);
	else params[0] = 0;
}

void rec_script_GetFloatv(GLenum pname, GLfloat* params)
{
	rec_log("GetFloatv", pname, params);
	auto it = g_rec->floats_.find(pname);
	if (it != g_rec->floats_.end()) {
		for (size_t i = 0; i < it->second.size(); ++i) params[i] = it->second[i];
		return;
	}
	if (g_rec->pass_) g_rec->wrapped.GetFloatv(pname, params);
	else params[0] = 0;
}

GLboolean rec_script_IsEnabled(GLenum cap)
{
	rec_log("IsEnabled", cap);
	auto it = g_rec->enabled_.find(cap);
	if (it != g_rec->enabled_.end()) return it->second ? GL_TRUE : GL_FALSE;
	return g_rec->pass_ ? g_rec->wrapped.IsEnabled(cap) : GL_FALSE;
}
}  // namespace

gl_recorder::gl_recorder()
{
	if (g_rec != nullptr) ADD_FAILURE() << "gl_recorder does not nest";
	wrapped = gl;
	g_rec = this;
#define REC_SET(ret, name, params, args) gl.name = &rec_##name;
	OGL_CORE_FUNCS(REC_SET)
#undef REC_SET
	gl.GetString = &rec_script_GetString;
	gl.GetIntegerv = &rec_script_GetIntegerv;
	gl.IsEnabled = &rec_script_IsEnabled;
	gl.GetFloatv = &rec_script_GetFloatv;
}

gl_recorder::~gl_recorder()
{
	gl = wrapped;
	if (g_rec == this) g_rec = nullptr;
}

int gl_recorder::count(const std::string& name) const
{
	int n = 0;
	for (const std::string& c : calls_)
		if (c.compare(0, name.size() + 1, name + "(") == 0) ++n;
	return n;
}

std::vector<std::string> gl_recorder::only(const std::vector<std::string>& names) const
{
	std::vector<std::string> out;
	for (const std::string& c : calls_)
		for (const std::string& n : names)
			if (c.compare(0, n.size() + 1, n + "(") == 0) {
				out.push_back(c);
				break;
			}
	return out;
}

void gl_recorder::script_string(GLenum name, const char* text)
{
	strings_[name] = string_answer{text == nullptr, text ? text : ""};
}

void gl_recorder::script_integer(GLenum pname, std::vector<GLint> values)
{
	if (values.empty()) values.push_back(0);
	integers_[pname] = std::move(values);
}

void gl_recorder::script_enabled(GLenum cap, bool on) { enabled_[cap] = on; }

void gl_recorder::script_float(GLenum pname, std::vector<GLfloat> values)
{
	if (values.empty()) values.push_back(0);
	floats_[pname] = std::move(values);
}

void gl_recorder::clear_scripts()
{
	floats_.clear();
	strings_.clear();
	integers_.clear();
	enabled_.clear();
}
