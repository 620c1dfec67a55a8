#include "DIzivoz/GenC/hl_pacing.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Platform/plat_shell.h"

namespace {
// Frame pacing. The flags are raised while a frame is built and read by the
// wait before the next one.
const int tick_ms = 17;
const int longest_idle_default_ms = 2000;
// A busy frame: polled work, then the drawing; together this long, 45 ms
// (over 20 frames/s) where the drawing is quick. Where it is slow (a software
// renderer) the frame grows, up to a tenth of a second, so that the drawing
// takes no more than a fifteenth of it and the work keeps the rest.
const unsigned long long busy_frame_least_us = 45000, busy_frame_most_us = 100000;
const unsigned long long least_work_us = 20000;
// Work stops for pointer motion only after this much of it: moving the
// pointer over a busy page must not shrink its work to nothing.
const unsigned long long motion_work_us = 16000;
const unsigned long long input_look_us = 2000;

struct pacing_state {
	int busy = 0;
	int animate = 0;
	int superseded = 0;
	unsigned long long due_us = 0;  // 0: nothing due
	int quiet = 0;
	int events = 0;                  // events the pump took this frame
	int flagged = 0;                 // busy or animated when its wait began
	int waited_ms = 0;               // the wait before this frame, 0 none
	int woken = 0;                   // an event or a wake ended it
	float mouse_x = -1e9f, mouse_y = -1e9f;
	int wind_type = -2;
	unsigned long long frame_start_us = 0;
	unsigned long long work_us = 0;       // polled work in this frame
	unsigned long long other_us = 10000;  // the rest of a busy frame, smoothed
	unsigned long long swap_us = 3000;    // the swap after work went on past the drawing, smoothed
	std::function<bool()> then;           // work to go on with once the frame is drawn
	bool (*idle_poll)() = nullptr;        // asked while idle, instead of a frame
	unsigned long long poll_every_us = 0;
	int due_hit = 0;                      // the wait ended at a due time
	int wait_ends_due = 0;                // the wait was set to end at it
	unsigned long long kept_due_us = 0;   // the last frame's due time and poll,
	bool (*kept_poll)() = nullptr;        // kept over a frame that is not drawn
	unsigned long long drawn_us = 0;      // when a frame was last drawn
};
pacing_state pace;

unsigned long long busy_frame_us() { return std::clamp(pace.other_us * 15, busy_frame_least_us, busy_frame_most_us); }
// With work after the drawing: the part before it.
unsigned long long work_before_drawing_us() { return busy_frame_us() / 3; }

int longest_idle_set = 0;
int work_budget_set = 0;
int longest_idle_ms()
{
	if (longest_idle_set > 0) return longest_idle_set;
	static const int ms = [] {
		// Tests that must see every wake raise it far past their patience.
		const char* v = std::getenv("VENTORA_LONGEST_IDLE_MS");
		const int n = v ? std::atoi(v) : 0;
		return n > 0 ? n : longest_idle_default_ms;
	}();
	return ms;
}

bool texture_alert_waits()
{
	if (mnw.wind_type != 0) return false;
	for (int i = 0; i < 3; ++i)
		if (shell_tex_fail(i)) return true;
	return false;
}

// How long the loop may sleep before the next frame, in milliseconds.
int frame_wait_ms()
{
	pace.wait_ends_due = 0;
	if (pace.busy || texture_alert_waits()) return 0;
	long long ms = tick_ms;
	if (!pace.animate && pace.quiet >= 2) {
		const int doublings = std::min(pace.quiet - 1, 16);
		ms = std::min<long long>((long long)tick_ms << doublings, longest_idle_ms());
	}
	if (pace.due_us) {
		const unsigned long long now = xtim.microsecs();
		const long long left = pace.due_us > now ? (long long)((pace.due_us - now + 999) / 1000) : 0;
		pace.wait_ends_due = left <= ms;
		ms = std::min(ms, left);
	}
	return (int)ms;
}

}  // namespace

// Counts the frame just drawn as quiet or not.
void pacing_end_frame()
{
	const bool moved = mnw.mouse_x != pace.mouse_x || mnw.mouse_y != pace.mouse_y;
	const bool changed = mnw.wind_type != pace.wind_type;
	const bool held = mnw.mouse_down || mnw.key_down;
	// A dialog's loop raises its flags before the frame's wait.
	if (pace.events || moved || changed || held || pace.busy || pace.animate || pace.flagged)
		pace.quiet = 0;
	else
		++pace.quiet;
	pace.mouse_x = mnw.mouse_x;
	pace.mouse_y = mnw.mouse_y;
	pace.wind_type = mnw.wind_type;
	pace.drawn_us = xtim.microsecs();
	if (pace.work_us) {
		const unsigned long long total = xtim.microsecs() - pace.frame_start_us;
		const unsigned long long other = total > pace.work_us ? total - pace.work_us : 0;
		pace.other_us = (pace.other_us * 3 + other) / 4;
	}
}


// The page's work once the frame is drawn: the renderer draws the picture
// meanwhile, and the swap finds it done. True when work ran.
bool pacing_work_after_drawing()
{
	std::function<bool()> then = std::move(pace.then);
	pace.then = nullptr;
	if (!then || mnw.wind_type != 0 || app_done || work_budget_set > 0) return false;
	shell_flush();
	const unsigned long long start = xtim.microsecs();
	const unsigned long long frame_us = busy_frame_us();
	const unsigned long long end = pace.frame_start_us + frame_us - std::min(pace.swap_us, frame_us / 3);
	unsigned long long next_look = start + input_look_us;
	for (unsigned long long now = start; now < end && then(); now = xtim.microsecs()) {
		if (now < next_look) continue;
		next_look = now + input_look_us;
		if (PLAT().input_pending(true)) break;
	}
	pace.work_us += xtim.microsecs() - start;
	return true;
}

namespace {

// A change that came with no input, wake or due time still shows by then.
const unsigned long long redraw_anyway_us = 16000000;

}  // namespace

// True when the frame after the wait would draw what is on the screen:
// the window idled, and the wait ran out with no input, wake or due time.
bool pacing_frame_unchanged()
{
	if (pace.waited_ms <= 0 || pace.woken || pace.due_hit || pace.events || pace.flagged) return false;
	if (pace.quiet < 2 || mnw.wind_type != pace.wind_type) return false;
	if (mnw.mouse_x != pace.mouse_x || mnw.mouse_y != pace.mouse_y || mnw.mouse_down || mnw.key_down) return false;
	if (texture_alert_waits()) return false;
	return xtim.microsecs() - pace.drawn_us < redraw_anyway_us;
}

namespace {

std::atomic<int> frames_skipped{0};

}  // namespace

// What the last drawn frame asked for holds through a frame not drawn.
void pacing_skip_frame()
{
	frames_skipped.fetch_add(1, std::memory_order_relaxed);
	pace.due_us = pace.kept_due_us;
	pace.idle_poll = pace.kept_poll;
	++pace.quiet;
}


void pacing_wait_for_frame()
{
	const int ms = frame_wait_ms();
	pace.waited_ms = ms;
	pace.due_hit = 0;
	if (ms > 0 && pace.idle_poll && pace.poll_every_us) {
		// Slices of the wait, each ended by a look that needs no drawing.
		const unsigned long long end = xtim.microsecs() + (unsigned long long)ms * 1000;
		pace.woken = 0;
		for (;;) {
			const unsigned long long now = xtim.microsecs();
			if (now >= end) break;
			const int slice = (int)((std::min(end - now, pace.poll_every_us) + 999) / 1000);
			if (PLAT().wait_for_event(slice) || pace.idle_poll()) {
				pace.woken = 1;
				break;
			}
		}
	} else {
		pace.woken = ms > 0 && PLAT().wait_for_event(ms);
	}
	pace.due_hit = !pace.woken && pace.wait_ends_due;
	pace.kept_due_us = pace.due_us;
	pace.kept_poll = pace.idle_poll;
	pace.idle_poll = nullptr;
	pace.then = nullptr;
	pace.flagged = pace.busy || pace.animate;
	pace.busy = pace.animate = pace.superseded = 0;
	pace.due_us = 0;
	pace.events = 0;
	pace.work_us = 0;
	pace.frame_start_us = xtim.microsecs();
}


void MACIBM_pace_busy() { pace.busy = 1; }
void MACIBM_pace_animate() { pace.animate = 1; }
void MACIBM_pace_wake() { PLAT().wake(); }
void MACIBM_frame_superseded()
{
	pace.superseded = 1;
	pace.busy = 1;
}
bool pacing_frame_superseded() { return pace.superseded != 0; }

void MACIBM_frame_due(float seconds)
{
	const unsigned long long at = xtim.microsecs() + (unsigned long long)std::max(0.0f, seconds * 1e6f);
	if (!pace.due_us || at < pace.due_us) pace.due_us = at;
}
void MACIBM_frame_poll(float seconds, bool (*ask)())
{
	pace.idle_poll = ask;
	pace.poll_every_us = (unsigned long long)(std::max(0.001f, seconds) * 1e6f);
}
int MACIBM_quiet_frames() { return pace.quiet; }
int MACIBM_frames_skipped() { return frames_skipped.load(std::memory_order_relaxed); }
void MACIBM_frame_longest_idle(int ms) { longest_idle_set = ms; }
void MACIBM_frame_work_budget(int us) { work_budget_set = us; }
int MACIBM_frame_waited(int* woken)
{
	if (woken) *woken = pace.woken;
	return pace.waited_ms;
}

frame_work::frame_work(std::function<bool()> then) : start_(xtim.microsecs()), next_look_(0)
{
	pace.busy = 1;
	const unsigned long long other = pace.other_us, frame_us = busy_frame_us();
	budget_ = frame_us > other ? frame_us - other : 0;
	budget_ = std::clamp(budget_, least_work_us, frame_us - 5000);
	if (then) {
		budget_ = work_before_drawing_us();
		pace.then = std::move(then);
	}
	if (work_budget_set > 0) budget_ = (unsigned long long)work_budget_set;
	next_look_ = start_ + input_look_us;
}

frame_work::~frame_work() { pace.work_us += xtim.microsecs() - start_; }

void frame_work::drop_then() { pace.then = nullptr; }

bool frame_work::more()
{
	// An answer that ends the program (a newer installer) ends its work too.
	if (app_done) return false;
	const unsigned long long now = xtim.microsecs();
	const unsigned long long spent = now - start_;
	if (spent >= budget_) return false;
	if (now < next_look_) return true;
	next_look_ = now + input_look_us;
	return !PLAT().input_pending(spent >= motion_work_us);
}

void pacing_count_event() { ++pace.events; }
void pacing_swap_took(unsigned long long us) { pace.swap_us = (pace.swap_us * 3 + us) / 4; }
void pacing_reset() { pace = pacing_state(); }
