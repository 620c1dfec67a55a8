#pragma once
// A scripted window system for shell tests: events are queued per frame,
// the mouse is set by the test, and swaps, cursor changes, depth switches,
// windows asked for and native alerts are recorded.
#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "Platform/plat_shell.h"

namespace vtest {

class fake_platform : public plat_backend {
public:
	// Installs itself as the shell's back end; the destructor restores SDL.
	fake_platform();
	~fake_platform() override;

	// Script. Events queued before a frame are all taken in that frame.
	void key(int what, int keycode, int code_point, uint16_t mods = 0);
	void click(int h, int v);          // press and release at window pixels
	void press(int h, int v);
	void release(int h, int v);
	void event(const EventRecord& e);

	bool video_init() override { return video_ok; }
	bool video_ready() override { return video_ok; }
	bool main_screen(int* w, int* h, int* d) override;
	void set_depth(int depth) override;
	void show_menu_bar(bool show) override { menu_bar_shown = show; }
	bool make_window(const plat_window_req& req, plat_window_got& got) override;
	void dispose_window(void* window, void* context) override;
	bool make_current(void*, void*) override { return true; }
	void swap(void*) override { ++swaps; }
	void get_mouse(int* x, int* y) override;
	void warp_mouse(void*, int x, int y) override;
	void get_global_mouse(int* x, int* y) override { get_mouse(x, y); }
	void warp_global_mouse(int x, int y) override { warp_mouse(nullptr, x, y); }
	// mouse_h/mouse_v count from the first window's corner; other windows see
	// the pointer moved by the difference of the screen positions asked for.
	void get_window_mouse(void* window, int* x, int* y) override;
	void* front_window() override { return front; }
	void select_window(void* window) override
	{
		selects.push_back(window);
		front = window;
	}
	bool fake_gl() override { return true; }
	bool next_event(EventRecord* e, int wait_ms) override;
	// Returns at once: records the wait and lets on_idle act.
	bool wait_for_event(int wait_ms) override;
	// A wake ends the next wait, as the real one does.
	void wake() override
	{
		++wakes;
		woken = true;
	}
	bool input_pending(bool) override { return !queue.empty(); }
	void flush_events() override { queue.clear(); ++flushes; }
	uint16_t key_modifiers() override { return modifiers; }
	void show_cursor(bool show) override { cursor_log.push_back(show ? "show" : "hide"); }
	void arrow_cursor() override { cursor_log.push_back("arrow"); }
	bool message_box(const std::string& title, const std::string& text) override;
	unsigned long long video_memory() override { return vram; }
	void* make_loader_context() override { return nullptr; }
	bool set_loader_context(void*) override { return false; }
	int renderer_accelerated(std::string* name) override
	{
		if (name) *name = renderer;
		return accelerated;
	}

	bool video_ok = true;
	int screen_w = 1024, screen_h = 768, screen_depth = 32;
	std::vector<int> depth_log;
	bool menu_bar_shown = true;
	std::vector<plat_window_req> window_asks;
	int max_samples_granted = 16;    // asks above this fail
	bool windows_fail = false;
	int windows_alive = 0;
	int swaps = 0;
	int swap_ms = 0;  // each swap of the window takes this long (a slow renderer)
	int flushes = 0;
	int mouse_h = 0, mouse_v = 0;
	uint16_t modifiers = 0;
	std::deque<EventRecord> queue;
	std::vector<int> waits;          // wait_ms of each wait that found nothing queued
	std::atomic<int> wakes{0};  // wake() may come from any thread
	std::atomic<bool> woken{false};
	std::vector<std::string> cursor_log;
	std::vector<std::string> boxes;
	unsigned long long vram = 0;
	int threaded_result = 0;         // given to windows asked for threaded
	int accelerated = 1;             // answer of renderer_accelerated
	std::string renderer = "Fake renderer";
	void* front = nullptr;           // the first window made, or the last selected
	std::vector<void*> selects;
	// Called when a frame waits with the queue empty (a dialog loop's next
	// frame): lets a test act like a user between frames.
	std::function<void(fake_platform&)> on_idle;

private:
	int handle_counter_ = 1;
	struct placed {
		void* window;
		int left, top;
	};
	std::vector<placed> placed_;
};

// The shell as a new process has it before start-up, with an 800 x 600
// window: the record at its defaults, no frame run yet, nothing remembered
// of the screen, empty menus and no application hooks.
void fresh_shell();

}  // namespace vtest
