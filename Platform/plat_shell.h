#pragma once
// The shell's window-system layer: one window with an OpenGL context, the
// event queue turned into event records, the cursor, the native alert and the
// main screen. The program uses the SDL2 back end; unit tests install a fake
// one (PLAT_set_backend) that scripts events and records what was asked.
#include <cstdint>
#include <string>
#include <vector>

// One platform event as the frame loop and the keyboard layer read it.
// Key events: message holds the character code in bits 0-7 and the key code
// (the numbering of kKeyTranslations, or a code outside it) in bits 8-15;
// code_point is the typed character (composed characters included),
// unshifted/shifted the key's display characters without and with shift.
struct EventRecord {
	uint16_t what;        // kind, below
	uint32_t message;
	uint32_t when;        // milliseconds
	int where_h, where_v; // window pixels, y downwards
	uint16_t modifiers;   // plat_mod_* bits
	int code_point;
	int unshifted;
	int shifted;
	void* window;         // mouse buttons: the window pressed in, null for the main one
};

enum {
	plat_evt_null = 0,
	plat_evt_mouse_down = 1,
	plat_evt_mouse_up = 2,
	plat_evt_key_down = 3,
	plat_evt_key_up = 4,
	plat_evt_auto_key = 5,
	plat_evt_update = 6,
	plat_evt_activate = 8,
	plat_evt_os = 15,
	// Not kinds of the original queue: the wheel (message = signed delta) and
	// the window's close request.
	plat_evt_wheel = 100,
	plat_evt_quit = 101
};

enum {
	plat_mod_active = 0x0001,
	plat_mod_cmd = 0x0100,
	plat_mod_shift = 0x0200,
	plat_mod_caps = 0x0400,
	plat_mod_option = 0x0800,
	plat_mod_control = 0x1000
};

// What start-up asks of one window and its context.
struct plat_window_req {
	int index;          // 0 main, 1 second screen
	int left, top;      // screen position of the window's top-left
	int width, height;
	int framed;         // title bar and frame, else borderless
	int aa_samples;     // 0 none, else samples per pixel
	void* share_with;   // context to share objects with, or null
	std::string title;
	int threaded = 0;   // ask the driver to run OpenGL on a thread of its own
};

// What the window system granted, read back from the context.
struct plat_window_got {
	void* window = nullptr;
	void* context = nullptr;
	int rgba = 0, double_buffer = 0;
	int red = 0, green = 0, blue = 0, alpha = 0, depth = 0;
	int samples = 0;
	// Asked for threaded: 0 when the driver's OpenGL thread runs, else not 0.
	int threaded_result = -1;
};

class plat_backend {
public:
	virtual ~plat_backend() = default;
	// Starts the video layer; false when there is no display.
	virtual bool video_init() = 0;
	virtual bool video_ready() = 0;
	// Main monitor size and depth; false when unknown.
	virtual bool main_screen(int* width, int* height, int* depth) = 0;
	// Display depth change and menu bar: nothing on this system but a record.
	virtual void set_depth(int depth) = 0;
	virtual void show_menu_bar(bool show) = 0;
	// Makes window and context and makes the context current; false when
	// either cannot be had (nothing is left behind then).
	virtual bool make_window(const plat_window_req& req, plat_window_got& got) = 0;
	virtual void dispose_window(void* window, void* context) = 0;
	virtual bool make_current(void* window, void* context) = 0;
	virtual void swap(void* window) = 0;
	// Mouse in window pixels, y downwards.
	virtual void get_mouse(int* x, int* y) = 0;
	virtual void warp_mouse(void* window, int x, int y) = 0;
	// The pointer on the whole screen, and putting it back there.
	virtual void get_global_mouse(int* x, int* y) = 0;
	virtual void warp_global_mouse(int x, int y) = 0;
	// With a second window: the pointer in the pixels of one given window
	// (y downwards; outside it the values run past its edges), the window in
	// front (null when there is none) and bringing one to the front.
	virtual void get_window_mouse(void* window, int* x, int* y) = 0;
	virtual void* front_window() = 0;
	virtual void select_window(void* window) = 0;
	// True for a back end with no real OpenGL behind its contexts (tests).
	virtual bool fake_gl() { return false; }
	// Takes the next queued event; with wait_ms > 0 waits that long for one.
	virtual bool next_event(EventRecord* e, int wait_ms) = 0;
	// Sleeps until any event is queued (pointer motion included), wake() is
	// called or wait_ms have passed; takes nothing. True when an event waits.
	virtual bool wait_for_event(int wait_ms)
	{
		(void)wait_ms;
		return false;
	}
	// From any thread: ends a wait_for_event at once.
	virtual void wake() {}
	// True when input waits to be taken: keys, buttons, the wheel, window
	// events and, with motion, pointer motion.
	virtual bool input_pending(bool motion)
	{
		(void)motion;
		return false;
	}
	virtual void flush_events() = 0;
	virtual uint16_t key_modifiers() = 0;
	virtual void show_cursor(bool show) = 0;
	virtual void arrow_cursor() = 0;
	// Native stop alert; false when none could be shown.
	virtual bool message_box(const std::string& title, const std::string& text) = 0;
	// Video memory in bytes, 0 when the system does not tell.
	virtual unsigned long long video_memory() = 0;
	// Worker-thread context sharing with the main one, and making it current.
	virtual void* make_loader_context() = 0;
	virtual bool set_loader_context(void* ctx) = 0;
	// Of the current context: 1 when its renderer has 3-D acceleration, 0
	// when it draws in software, -1 when unknown; `name` gets the renderer.
	virtual int renderer_accelerated(std::string* name)
	{
		if (name) name->clear();
		return -1;
	}
};

// The back end in use: the SDL one unless a test installed another.
plat_backend& PLAT();
void PLAT_set_backend(plat_backend* b);  // null restores SDL
plat_backend* PLAT_sdl_backend();

// Translation tables of the SDL back end, shared with tests: SDL scancode to
// the key code of kKeyTranslations (-1 when the table has none).
int PLAT_scancode_to_keycode(int scancode);
