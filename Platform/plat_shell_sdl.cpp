// SDL2 back end of the shell's window-system layer.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <GL/glx.h>
#include <GL/glxext.h>

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "Platform/plat_shell.h"

namespace {

// SDL scancode -> key code of the original keyboard (ANSI layout numbering).
struct scan_pair {
	int scancode, keycode;
};
const scan_pair kScanToKey[] = {
	{SDL_SCANCODE_A, 0}, {SDL_SCANCODE_S, 1}, {SDL_SCANCODE_D, 2}, {SDL_SCANCODE_F, 3},
	{SDL_SCANCODE_H, 4}, {SDL_SCANCODE_G, 5}, {SDL_SCANCODE_Z, 6}, {SDL_SCANCODE_X, 7},
	{SDL_SCANCODE_C, 8}, {SDL_SCANCODE_V, 9}, {SDL_SCANCODE_NONUSBACKSLASH, 10},
	{SDL_SCANCODE_B, 11}, {SDL_SCANCODE_Q, 12}, {SDL_SCANCODE_W, 13}, {SDL_SCANCODE_E, 14},
	{SDL_SCANCODE_R, 15}, {SDL_SCANCODE_Y, 16}, {SDL_SCANCODE_T, 17}, {SDL_SCANCODE_1, 18},
	{SDL_SCANCODE_2, 19}, {SDL_SCANCODE_3, 20}, {SDL_SCANCODE_4, 21}, {SDL_SCANCODE_6, 22},
	{SDL_SCANCODE_5, 23}, {SDL_SCANCODE_EQUALS, 24}, {SDL_SCANCODE_9, 25}, {SDL_SCANCODE_7, 26},
	{SDL_SCANCODE_MINUS, 27}, {SDL_SCANCODE_8, 28}, {SDL_SCANCODE_0, 29},
	{SDL_SCANCODE_RIGHTBRACKET, 30}, {SDL_SCANCODE_O, 31}, {SDL_SCANCODE_U, 32},
	{SDL_SCANCODE_LEFTBRACKET, 33}, {SDL_SCANCODE_I, 34}, {SDL_SCANCODE_P, 35},
	{SDL_SCANCODE_RETURN, 36}, {SDL_SCANCODE_L, 37}, {SDL_SCANCODE_J, 38},
	{SDL_SCANCODE_APOSTROPHE, 39}, {SDL_SCANCODE_K, 40}, {SDL_SCANCODE_SEMICOLON, 41},
	{SDL_SCANCODE_BACKSLASH, 42}, {SDL_SCANCODE_COMMA, 43}, {SDL_SCANCODE_SLASH, 44},
	{SDL_SCANCODE_N, 45}, {SDL_SCANCODE_M, 46}, {SDL_SCANCODE_PERIOD, 47},
	{SDL_SCANCODE_TAB, 48}, {SDL_SCANCODE_SPACE, 49}, {SDL_SCANCODE_GRAVE, 50},
	{SDL_SCANCODE_BACKSPACE, 51}, {SDL_SCANCODE_ESCAPE, 53}, {SDL_SCANCODE_F17, 64},
	{SDL_SCANCODE_KP_PERIOD, 65}, {SDL_SCANCODE_KP_MULTIPLY, 67}, {SDL_SCANCODE_KP_PLUS, 69},
	{SDL_SCANCODE_NUMLOCKCLEAR, 71}, {SDL_SCANCODE_KP_DIVIDE, 75}, {SDL_SCANCODE_KP_ENTER, 76},
	{SDL_SCANCODE_KP_MINUS, 78}, {SDL_SCANCODE_F18, 79}, {SDL_SCANCODE_F19, 80},
	{SDL_SCANCODE_KP_EQUALS, 81}, {SDL_SCANCODE_KP_0, 82}, {SDL_SCANCODE_KP_1, 83},
	{SDL_SCANCODE_KP_2, 84}, {SDL_SCANCODE_KP_3, 85}, {SDL_SCANCODE_KP_4, 86},
	{SDL_SCANCODE_KP_5, 87}, {SDL_SCANCODE_KP_6, 88}, {SDL_SCANCODE_KP_7, 89},
	{SDL_SCANCODE_F20, 90}, {SDL_SCANCODE_KP_8, 91}, {SDL_SCANCODE_KP_9, 92},
	{SDL_SCANCODE_F5, 96}, {SDL_SCANCODE_F6, 97}, {SDL_SCANCODE_F7, 98}, {SDL_SCANCODE_F3, 99},
	{SDL_SCANCODE_F8, 100}, {SDL_SCANCODE_F9, 101}, {SDL_SCANCODE_F11, 103},
	{SDL_SCANCODE_F13, 105}, {SDL_SCANCODE_F16, 106}, {SDL_SCANCODE_F14, 107},
	{SDL_SCANCODE_F10, 109}, {SDL_SCANCODE_F12, 111}, {SDL_SCANCODE_F15, 113},
	{SDL_SCANCODE_INSERT, 114}, {SDL_SCANCODE_HOME, 115}, {SDL_SCANCODE_PAGEUP, 116},
	{SDL_SCANCODE_DELETE, 117}, {SDL_SCANCODE_F4, 118}, {SDL_SCANCODE_END, 119},
	{SDL_SCANCODE_F2, 120}, {SDL_SCANCODE_PAGEDOWN, 121}, {SDL_SCANCODE_F1, 122},
	{SDL_SCANCODE_LEFT, 123}, {SDL_SCANCODE_RIGHT, 124}, {SDL_SCANCODE_DOWN, 125},
	{SDL_SCANCODE_UP, 126},
};

// Decodes the first character of UTF-8 text; 0 when there is none.
int first_code_point(const char* s, const char** rest)
{
	const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
	int cp = 0, n = 0;
	if (p[0] == 0) {
		*rest = s;
		return 0;
	}
	if (p[0] < 0x80) { cp = p[0]; n = 1; }
	else if ((p[0] & 0xE0) == 0xC0) { cp = p[0] & 0x1F; n = 2; }
	else if ((p[0] & 0xF0) == 0xE0) { cp = p[0] & 0x0F; n = 3; }
	else if ((p[0] & 0xF8) == 0xF0) { cp = p[0] & 0x07; n = 4; }
	else { *rest = s + 1; return 0; }
	for (int i = 1; i < n; ++i) {
		if ((p[i] & 0xC0) != 0x80) { *rest = s + i; return 0; }
		cp = (cp << 6) | (p[i] & 0x3F);
	}
	*rest = s + n;
	return cp;
}

// Threads of this process whose name ends in "gl0": Mesa names the thread
// that runs a context's OpenGL calls "<program>:gl0" (or "gl0").
int driver_gl_threads()
{
	int n = 0;
	DIR* d = opendir("/proc/self/task");
	if (!d) return 0;
	while (dirent* e = readdir(d)) {
		if (e->d_name[0] == '.') continue;
		char path[300], comm[32] = {0};
		std::snprintf(path, sizeof path, "/proc/self/task/%s/comm", e->d_name);
		if (FILE* f = std::fopen(path, "r")) {
			if (std::fgets(comm, sizeof comm, f)) {
				comm[std::strcspn(comm, "\n")] = 0;
				const size_t len = std::strlen(comm);
				if (len >= 3 && std::strcmp(comm + len - 3, "gl0") == 0 && (len == 3 || comm[len - 4] == ':')) ++n;
			}
			std::fclose(f);
		}
	}
	closedir(d);
	return n;
}

// Mesa's software renderers, by the start of their renderer string.
bool is_software_renderer(const char* name)
{
	if (!name) return false;
	for (const char* soft : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"})
		if (std::strncmp(name, soft, std::strlen(soft)) == 0) return true;
	return false;
}

uint16_t mods_from_sdl(Uint16 m)
{
	uint16_t r = 0;
	if (m & KMOD_SHIFT) r |= plat_mod_shift;
	if (m & KMOD_CAPS) r |= plat_mod_caps;
	if (m & KMOD_ALT) r |= plat_mod_option;
	if (m & KMOD_CTRL) r |= plat_mod_control;
	if (m & KMOD_GUI) r |= plat_mod_cmd;
	return r;
}

class sdl_backend : public plat_backend {
public:
	bool video_init() override
	{
		if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
		// The program handles its own signals (the stack dump of a fault).
		SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
		if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
		// With no display SDL falls back to drivers that show nothing; a window
		// nobody can see would wait for clicks forever.
		const char* driver = SDL_GetCurrentVideoDriver();
		if (!driver || !strcmp(driver, "offscreen") || !strcmp(driver, "dummy") || !strcmp(driver, "evdev")) {
			SDL_Quit();
			return false;
		}
		SDL_StartTextInput();
		return true;
	}
	bool video_ready() override { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

	bool main_screen(int* width, int* height, int* depth) override
	{
		SDL_DisplayMode m;
		if (!video_ready() || SDL_GetDesktopDisplayMode(0, &m) != 0) return false;
		*width = m.w;
		*height = m.h;
		*depth = SDL_BITSPERPIXEL(m.format) == 24 ? 32 : (int)SDL_BITSPERPIXEL(m.format);
		return true;
	}
	void set_depth(int) override {}
	void show_menu_bar(bool) override {}

	bool make_window(const plat_window_req& req, plat_window_got& got) override
	{
		// SDL would start its video itself, display or not.
		if (!video_ready()) return false;
		SDL_GL_ResetAttributes();
		SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
		SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
		SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
		SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
		SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
		SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
		SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, req.aa_samples > 0 ? 1 : 0);
		SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, req.aa_samples);
		SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, req.share_with ? 1 : 0);
		Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
		if (!req.framed) flags |= SDL_WINDOW_BORDERLESS;
		// Mesa runs a context's OpenGL on a thread of its own when its
		// "mesa_glthread" option is on; the driver reads its options once,
		// when the display's first visual is chosen (as the first window is
		// made), and every context of the display then has them.
		std::string old_glthread;
		const char* had = std::getenv("mesa_glthread");
		if (had) old_glthread = had;
		const int gl_threads_before = req.threaded ? driver_gl_threads() : 0;
		if (req.threaded) setenv("mesa_glthread", "true", 1);
		// X11 picks the visual when the window is made, so each format tries a new window.
		SDL_Window* w = SDL_CreateWindow(req.title.c_str(), req.left, req.top, req.width, req.height, flags);
		SDL_GLContext c = nullptr;
		if (w) {
			if (req.share_with)
				SDL_GL_MakeCurrent(main_window_ ? static_cast<SDL_Window*>(main_window_) : last_window_,
				                   req.share_with);
			c = SDL_GL_CreateContext(w);
		}
		if (req.threaded) {
			if (had) setenv("mesa_glthread", old_glthread.c_str(), 1);
			else unsetenv("mesa_glthread");
		}
		if (!w) return false;
		if (!c) {
			SDL_DestroyWindow(w);
			return false;
		}
		if (SDL_GL_MakeCurrent(w, c) != 0) {
			SDL_GL_DeleteContext(c);
			SDL_DestroyWindow(w);
			return false;
		}
		SDL_GL_SetSwapInterval(0);
		got.window = w;
		got.context = c;
		int v = 0;
		got.double_buffer = SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &v) == 0 ? v : 0;
		got.red = SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &v) == 0 ? v : 0;
		got.green = SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &v) == 0 ? v : 0;
		got.blue = SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &v) == 0 ? v : 0;
		got.alpha = SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &v) == 0 ? v : 0;
		got.depth = SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &v) == 0 ? v : 0;
		got.samples = SDL_GL_GetAttribute(SDL_GL_MULTISAMPLESAMPLES, &v) == 0 ? v : 0;
		got.rgba = 1;
		if (req.threaded) got.threaded_result = driver_gl_threads() > gl_threads_before ? 0 : 1;
		if (req.index == 0) {
			main_window_ = w;
			main_context_ = c;
			front_ = w;
		}
		last_window_ = w;
		++windows_;
		return true;
	}

	void dispose_window(void* window, void* context) override
	{
		if (context) SDL_GL_DeleteContext(context);
		if (window) {
			SDL_DestroyWindow(static_cast<SDL_Window*>(window));
			--windows_;
		}
		if (window == front_) front_ = main_window_ != window ? main_window_ : nullptr;
		if (window == main_window_) main_window_ = nullptr;
		if (window == last_window_) last_window_ = nullptr;
		if (context == main_context_) main_context_ = nullptr;
	}
	bool make_current(void* window, void* context) override
	{
		return SDL_GL_MakeCurrent(static_cast<SDL_Window*>(window), context) == 0;
	}
	void swap(void* window) override
	{
		if (window) SDL_GL_SwapWindow(static_cast<SDL_Window*>(window));
	}
	void get_mouse(int* x, int* y) override
	{
		*x = *y = 0;
		if (video_ready()) SDL_GetMouseState(x, y);
	}
	void warp_mouse(void* window, int x, int y) override
	{
		if (window) SDL_WarpMouseInWindow(static_cast<SDL_Window*>(window), x, y);
	}

	void get_global_mouse(int* x, int* y) override
	{
		*x = *y = 0;
		if (video_ready()) SDL_GetGlobalMouseState(x, y);
	}
	void warp_global_mouse(int x, int y) override
	{
		if (video_ready()) SDL_WarpMouseGlobal(x, y);
	}

	// The pointer asked of the server: SDL's event state is relative to
	// whichever window the pointer is in, and its global position is cached
	// until it sees raw motion, which synthetic input need not bring.
	void get_window_mouse(void* window, int* x, int* y) override
	{
		*x = *y = 0;
		if (!video_ready() || !window) return;
		SDL_Window* w = static_cast<SDL_Window*>(window);
		SDL_SysWMinfo info;
		SDL_VERSION(&info.version);
		if (SDL_GetWindowWMInfo(w, &info) && info.subsystem == SDL_SYSWM_X11) {
			Window root, child;
			int rx, ry, wx, wy;
			unsigned mask;
			if (XQueryPointer(info.info.x11.display, info.info.x11.window, &root, &child, &rx, &ry, &wx, &wy, &mask)) {
				*x = wx;
				*y = wy;
			}
			return;
		}
		int gx = 0, gy = 0, wx = 0, wy = 0;
		SDL_GetGlobalMouseState(&gx, &gy);
		SDL_GetWindowPosition(w, &wx, &wy);
		*x = gx - wx;
		*y = gy - wy;
	}
	void* front_window() override { return front_; }
	void select_window(void* window) override
	{
		if (!window) return;
		front_ = window;
		SDL_RaiseWindow(static_cast<SDL_Window*>(window));
	}

	bool next_event(EventRecord* e, int wait_ms) override
	{
		if (!pending_.empty()) {
			*e = pending_.front();
			pending_.pop_front();
			return true;
		}
		if (!video_ready()) return false;
		SDL_Event ev;
		while (SDL_PollEvent(&ev))
			if (translate(ev, e)) return true;
		// A poll stops at the mark SDL leaves after what it last read from the
		// window system; events queued behind it (during a wait, or from
		// another thread) belong to this frame too.
		while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1)
			if (translate(ev, e)) return true;
		if (wait_ms > 0 && SDL_WaitEventTimeout(&ev, wait_ms)) return translate(ev, e);
		return false;
	}
	bool wait_for_event(int wait_ms) override
	{
		if (!pending_.empty()) return true;
		if (!video_ready()) return false;
		// Without an event argument nothing is taken from the queue.
		return SDL_WaitEventTimeout(nullptr, wait_ms) == 1;
	}
	void wake() override
	{
		if (!video_ready()) return;
		SDL_Event e{};
		e.type = wake_event_type();
		if (e.type != (Uint32)-1) SDL_PushEvent(&e);
	}
	bool input_pending(bool motion) override
	{
		if (!pending_.empty()) return true;
		if (!video_ready()) return false;
		SDL_PumpEvents();
		// Releases wait for the frame's end: widgets act on the press.
		return SDL_HasEvent(SDL_QUIT) || SDL_HasEvent(SDL_WINDOWEVENT) || SDL_HasEvent(SDL_KEYDOWN) ||
		       SDL_HasEvents(SDL_TEXTEDITING, SDL_TEXTINPUT) || SDL_HasEvent(SDL_MOUSEBUTTONDOWN) ||
		       SDL_HasEvent(SDL_MOUSEWHEEL) || (motion && SDL_HasEvent(SDL_MOUSEMOTION));
	}
	void flush_events() override
	{
		pending_.clear();
		if (video_ready()) {
			SDL_PumpEvents();
			SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
		}
	}
	uint16_t key_modifiers() override { return video_ready() ? mods_from_sdl(SDL_GetModState()) : 0; }
	void show_cursor(bool show) override
	{
		if (video_ready()) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
	}
	void arrow_cursor() override
	{
		if (!video_ready()) return;
		if (!arrow_) arrow_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
		if (arrow_) SDL_SetCursor(arrow_);
	}
	bool message_box(const std::string& title, const std::string& text) override
	{
		// Only a program that has opened the window system shows a box: the
		// command-line paths (and a start with no display) use standard error.
		// Without a display SDL shows nothing yet reports success.
		if (!video_ready()) return false;
		const char* disp = std::getenv("DISPLAY");
		const char* wl = std::getenv("WAYLAND_DISPLAY");
		if ((!disp || !*disp) && (!wl || !*wl)) return false;
		return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(),
		                                static_cast<SDL_Window*>(main_window_)) == 0;
	}

	unsigned long long video_memory() override
	{
		unsigned int mb = 0;
		if (!query_renderer(GLX_RENDERER_VIDEO_MEMORY_MESA, &mb)) return 0;
		return (unsigned long long)mb * 1024ULL * 1024ULL;
	}

	int renderer_accelerated(std::string* name) override
	{
		const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
		if (name) *name = renderer ? renderer : "";
		// The driver's own answer when it gives one; some leave it unset.
		unsigned int accelerated = 2;
		if (query_renderer(GLX_RENDERER_ACCELERATED_MESA, &accelerated) && accelerated <= 1) return (int)accelerated;
		if (!renderer) return -1;
		return is_software_renderer(renderer) ? 0 : 1;
	}

	void* make_loader_context() override
	{
		if (!main_window_ || !main_context_) return nullptr;
		SDL_GL_MakeCurrent(static_cast<SDL_Window*>(main_window_), main_context_);
		SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
		SDL_GLContext c = SDL_GL_CreateContext(static_cast<SDL_Window*>(main_window_));
		SDL_GL_MakeCurrent(static_cast<SDL_Window*>(main_window_), main_context_);
		return c;
	}
	bool set_loader_context(void* ctx) override
	{
		return main_window_ && SDL_GL_MakeCurrent(static_cast<SDL_Window*>(main_window_), ctx) == 0;
	}

private:
	// The event that only ends a wait, registered once.
	static Uint32 wake_event_type()
	{
		static const Uint32 type = SDL_RegisterEvents(1);
		return type;
	}

	// One value of the current renderer through GLX_MESA_query_renderer; false
	// when the main window is not an X11 one or the extension is missing.
	bool query_renderer(int attribute, unsigned int* value)
	{
		if (!main_window_) return false;
		SDL_SysWMinfo info;
		SDL_VERSION(&info.version);
		if (!SDL_GetWindowWMInfo(static_cast<SDL_Window*>(main_window_), &info) ||
		    info.subsystem != SDL_SYSWM_X11)
			return false;
		Display* d = info.info.x11.display;
		const char* exts = glXQueryExtensionsString(d, DefaultScreen(d));
		if (!exts || !std::strstr(exts, "GLX_MESA_query_renderer")) return false;
		auto query = reinterpret_cast<PFNGLXQUERYCURRENTRENDERERINTEGERMESAPROC>(
		    glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXQueryCurrentRendererIntegerMESA")));
		return query && query(attribute, value);
	}

	// One SDL event into one record; false for events the shell does not use.
	bool translate(const SDL_Event& ev, EventRecord* e)
	{
		std::memset(e, 0, sizeof(*e));
		e->when = ev.common.timestamp;
		int mx = 0, my = 0;
		SDL_GetMouseState(&mx, &my);
		e->where_h = mx;
		e->where_v = my;
		e->modifiers = mods_from_sdl(SDL_GetModState());
		switch (ev.type) {
		case SDL_QUIT:
			e->what = plat_evt_quit;
			return true;
		case SDL_MOUSEBUTTONDOWN:
		case SDL_MOUSEBUTTONUP:
			if (ev.button.button != SDL_BUTTON_LEFT) return false;
			e->what = ev.type == SDL_MOUSEBUTTONDOWN ? plat_evt_mouse_down : plat_evt_mouse_up;
			e->where_h = ev.button.x;
			e->where_v = ev.button.y;
			e->window = SDL_GetWindowFromID(ev.button.windowID);
			return true;
		case SDL_MOUSEWHEEL:
			e->what = plat_evt_wheel;
			e->message = (uint32_t)(ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -ev.wheel.y : ev.wheel.y);
			return true;
		case SDL_WINDOWEVENT:
			if (ev.window.event == SDL_WINDOWEVENT_EXPOSED) {
				e->what = plat_evt_update;
				return true;
			}
			// With a second window SDL sends no quit when one of them is
			// closed: the close of either is the quit request.
			if (ev.window.event == SDL_WINDOWEVENT_CLOSE && windows_ > 1) {
				e->what = plat_evt_quit;
				return true;
			}
			if (ev.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
				if (SDL_Window* w = SDL_GetWindowFromID(ev.window.windowID)) front_ = w;
				e->what = plat_evt_activate;
				e->modifiers |= plat_mod_active;
				return true;
			}
			return false;
		case SDL_KEYDOWN:
		case SDL_KEYUP: {
			// Modifier keys change the modifiers of later keys; they are no keys of their own.
			const SDL_Scancode sc = ev.key.keysym.scancode;
			if ((sc >= SDL_SCANCODE_LCTRL && sc <= SDL_SCANCODE_RGUI) || sc == SDL_SCANCODE_CAPSLOCK ||
			    sc == SDL_SCANCODE_MODE)
				return false;
			const int code = PLAT_scancode_to_keycode(ev.key.keysym.scancode);
			const SDL_Keycode unshifted = SDL_GetKeyFromScancode(ev.key.keysym.scancode);
			e->what = ev.type == SDL_KEYUP ? plat_evt_key_up : (ev.key.repeat ? plat_evt_auto_key : plat_evt_key_down);
			e->modifiers = mods_from_sdl(ev.key.keysym.mod);
			e->unshifted = (unshifted & SDLK_SCANCODE_MASK) ? 0 : (int)unshifted;
			e->shifted = (e->unshifted >= 'a' && e->unshifted <= 'z') ? e->unshifted - 32 : e->unshifted;
			if (ev.type == SDL_KEYDOWN) {
				// The character the key typed comes as the text event right after it.
				SDL_PumpEvents();
				SDL_Event t;
				// Only the event right after it: a later text belongs to a later key.
				if (SDL_PeepEvents(&t, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
				    t.type == SDL_TEXTINPUT) {
					SDL_PeepEvents(&t, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
					const char* rest = t.text.text;
					e->code_point = first_code_point(rest, &rest);
					if (e->modifiers & plat_mod_shift) e->shifted = e->code_point;
					queue_text(rest);  // more than one character: the rest as typed keys
				} else if (e->unshifted > 0 && e->unshifted < 0x80 &&
				           (e->unshifted < 0x20 || e->unshifted == 0x7F)) {
					e->code_point = e->unshifted;  // Return, Tab, Escape, Backspace
				}
			}
			// Character keys outside the table keep a code outside it too.
			const int keycode = code >= 0 ? code : 0x80 | (ev.key.keysym.scancode & 0x7F);
			const int ch = e->code_point > 0 && e->code_point < 0x80 ? e->code_point
			               : (e->unshifted > 0 && e->unshifted < 0x80 ? e->unshifted : 0);
			e->message = (uint32_t)(ch & 0xFF) | ((uint32_t)(keycode & 0xFF) << 8);
			return true;
		}
		case SDL_TEXTINPUT: {
			// Text with no key-down of its own (synthetic input, input methods):
			// a key-down and key-up per character.
			queue_text(ev.text.text);
			if (pending_.empty()) return false;
			*e = pending_.front();
			pending_.pop_front();
			return true;
		}
		default:
			return false;
		}
	}

	void queue_text(const char* s)
	{
		while (s && *s) {
			const int cp = first_code_point(s, &s);
			if (cp <= 0) continue;
			EventRecord k{};
			k.what = plat_evt_key_down;
			k.code_point = cp;
			k.unshifted = k.shifted = cp;
			k.modifiers = mods_from_sdl(SDL_GetModState());
			k.message = (uint32_t)(cp < 0x80 ? cp : 0);
			// No key code: character keys carry the code of no key.
			k.message |= 0xFFu << 8;
			pending_.push_back(k);
			k.what = plat_evt_key_up;
			pending_.push_back(k);
		}
	}

	std::deque<EventRecord> pending_;
	void* main_window_ = nullptr;
	void* main_context_ = nullptr;
	SDL_Window* last_window_ = nullptr;
	void* front_ = nullptr;
	int windows_ = 0;
	SDL_Cursor* arrow_ = nullptr;
};

sdl_backend g_sdl;
plat_backend* g_backend = nullptr;

}  // namespace

int PLAT_scancode_to_keycode(int scancode)
{
	for (const scan_pair& p : kScanToKey)
		if (p.scancode == scancode) return p.keycode;
	return -1;
}

plat_backend* PLAT_sdl_backend() { return &g_sdl; }
plat_backend& PLAT() { return g_backend ? *g_backend : g_sdl; }
void PLAT_set_backend(plat_backend* b) { g_backend = b; }
