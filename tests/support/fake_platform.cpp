#include "tests/support/fake_platform.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Platform/plat_swap.h"

namespace vtest {

namespace {
fake_platform* current = nullptr;
void count_swap(void*)
{
	if (!current) return;
	++current->swaps;
	if (current->swap_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(current->swap_ms));
}
}  // namespace

fake_platform::fake_platform()
{
	current = this;
	PLAT_set_backend(this);
	APL_set_swap_hook(count_swap);
}
fake_platform::~fake_platform()
{
	PLAT_set_backend(nullptr);
	APL_set_swap_hook(nullptr);
	current = nullptr;
}

void fake_platform::key(int what, int keycode, int typed, uint16_t mods)
{
	EventRecord e{};
	e.what = (uint16_t)what;
	e.message = (uint32_t)((typed & 0x7F) | ((keycode & 0xFF) << 8));
	e.code_point = typed;
	e.unshifted = e.shifted = typed;
	e.modifiers = mods;
	queue.push_back(e);
}

namespace {
EventRecord button(uint16_t what, int h, int v)
{
	EventRecord e{};
	e.what = what;
	e.where_h = h;
	e.where_v = v;
	return e;
}
}  // namespace

void fake_platform::press(int h, int v) { queue.push_back(button(plat_evt_mouse_down, h, v)); }
void fake_platform::release(int h, int v) { queue.push_back(button(plat_evt_mouse_up, h, v)); }

void fake_platform::click(int h, int v)
{
	mouse_h = h;
	mouse_v = v;
	press(h, v);
	release(h, v);
}

void fake_platform::event(const EventRecord& e) { queue.push_back(e); }

void fresh_shell()
{
	mnw = mnw_struct{};
	mnw_set_defaults();
	mnw.x_res = 800;
	mnw.y_res = 600;
	// The pointer moved just now: the help box and the cursor's hiding are
	// timed from here, whatever the test program ran before.
	mnw.move_time = mnw.press_time = xtim.elapsed;
	MACIBM_reset_frame_state();
	MACIBM_reset_setres_for_test();
	MACIBM_clear_menus(1);
	MACIBM_set_app_hooks(app_hooks{nullptr, nullptr, nullptr});
}

bool fake_platform::main_screen(int* w, int* h, int* d)
{
	if (!video_ok) return false;
	*w = screen_w;
	*h = screen_h;
	*d = screen_depth;
	return true;
}

void fake_platform::set_depth(int depth)
{
	depth_log.push_back(depth);
	screen_depth = depth;
}

bool fake_platform::make_window(const plat_window_req& req, plat_window_got& got)
{
	window_asks.push_back(req);
	if (windows_fail || req.aa_samples > max_samples_granted) return false;
	got.window = reinterpret_cast<void*>((intptr_t)handle_counter_++);
	got.context = reinterpret_cast<void*>((intptr_t)handle_counter_++);
	got.rgba = got.double_buffer = 1;
	got.red = got.green = got.blue = 8;
	got.alpha = 8;
	got.depth = 24;
	got.samples = req.aa_samples;
	if (req.threaded) got.threaded_result = threaded_result;
	++windows_alive;
	placed_.push_back({got.window, req.left, req.top});
	if (!front) front = got.window;
	return true;
}

void fake_platform::dispose_window(void* window, void*)
{
	if (!window) return;
	--windows_alive;
	for (size_t i = 0; i < placed_.size(); ++i)
		if (placed_[i].window == window) placed_.erase(placed_.begin() + i);
	if (front == window) front = placed_.empty() ? nullptr : placed_.front().window;
}

void fake_platform::get_window_mouse(void* window, int* x, int* y)
{
	*x = mouse_h;
	*y = mouse_v;
	if (placed_.empty()) return;
	for (const placed& p : placed_)
		if (p.window == window) {
			*x += placed_.front().left - p.left;
			*y += placed_.front().top - p.top;
		}
}

void fake_platform::get_mouse(int* x, int* y)
{
	*x = mouse_h;
	*y = mouse_v;
}

void fake_platform::warp_mouse(void*, int x, int y)
{
	mouse_h = x;
	mouse_v = y;
}

bool fake_platform::wait_for_event(int wait_ms)
{
	if (!queue.empty()) return true;
	waits.push_back(wait_ms);
	if (on_idle) on_idle(*this);
	return woken.exchange(false) || !queue.empty();
}

bool fake_platform::next_event(EventRecord* e, int)
{
	if (queue.empty()) return false;
	*e = queue.front();
	queue.pop_front();
	mouse_h = e->what == plat_evt_mouse_down || e->what == plat_evt_mouse_up ? e->where_h : mouse_h;
	mouse_v = e->what == plat_evt_mouse_down || e->what == plat_evt_mouse_up ? e->where_v : mouse_v;
	return true;
}

bool fake_platform::message_box(const std::string& title, const std::string& text)
{
	boxes.push_back(title + "|" + text);
	return true;
}

}  // namespace vtest
