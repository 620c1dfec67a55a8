#include "DIzivoz/UTL/UTL_xtim.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <mutex>
#include <sstream>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"

xtim_class xtim;
const float xtim_flag_intervals[9] = {10.0f, 5.0f, 2.0f, 1.0f, 0.5f, 0.2f, 0.1f, 0.05f, 0.025f};

namespace {

const float k_prd_start = 0.02f;
const float k_prd_min = 0.0010001f;
const float k_prd_max = 0.05263158f;  // 1/19 s
const float k_ratio_min = 0.5f;
const float k_ratio_max = 1.5f;
const float k_press_window = 0.25f;

// The time base. Statics are constant-initialised, so any unit may ask for
// the time during its own static initialisation.
std::mutex& counter_lock()
{
	static std::mutex m;
	return m;
}
std::function<unsigned long long()>* g_counter = nullptr;  // null: the monotonic clock
std::atomic<bool> g_origin_set{false};
unsigned long long g_origin = 0;

unsigned long long platform_counter()
{
	if (g_counter) return (*g_counter)();
	return (unsigned long long)std::chrono::duration_cast<std::chrono::microseconds>(
	           std::chrono::steady_clock::now().time_since_epoch())
	    .count();
}

unsigned long long since_origin()
{
	unsigned long long now = platform_counter();
	if (!g_origin_set.load(std::memory_order_acquire)) {
		std::lock_guard<std::mutex> hold(counter_lock());
		if (!g_origin_set.load(std::memory_order_relaxed)) {
			g_origin = now;
			g_origin_set.store(true, std::memory_order_release);
		}
	}
	return now >= g_origin ? now - g_origin : 0;
}

struct estimator {
	int counter = 0;
	float estimate = k_prd_start;
	float last = 0.0f;
};

// What the update keeps between frames.
struct update_state {
	bool started = false;
	double start_time = 0.0;
	estimator main_est;
	estimator sub_est;
	float sim_last[9] = {};
	float real_last[9] = {};
	float prev_mouse_x = 999.0f;
	float prev_mouse_y = 999.0f;
	unsigned long long shared_del = 0;  // the null del_time's last time
	bool frame_marked = false;
	double last_frame_mark = 0.0;
};

update_state g_state;

// One measurement every ten frames, moving the estimate by at most the
// fourth root of the clamped ratio.
void run_estimator(estimator& est, xtim_class& clock)
{
	int taken = est.counter++;
	if (taken % 10 == 0) {
		float ratio = (clock.elapsed - est.last) * 0.1f / est.estimate;
		if (ratio < k_ratio_min) ratio = k_ratio_min;
		if (ratio > k_ratio_max) ratio = k_ratio_max;
		clock.prd_ratio = ratio;
		est.estimate *= std::pow(ratio, 0.25f);
		if (est.estimate < k_prd_min) est.estimate = k_prd_min;
		if (est.estimate > k_prd_max) est.estimate = k_prd_max;
		est.last = clock.elapsed;
	}
	clock.frame_prd[0] = clock.frame_prd[1] = clock.frame_prd[2] = est.estimate;
}

}  // namespace

void xtim_set_counter(std::function<unsigned long long()> counter)
{
	std::lock_guard<std::mutex> hold(counter_lock());
	delete g_counter;
	g_counter = counter ? new std::function<unsigned long long()>(std::move(counter)) : nullptr;
	g_origin_set.store(false);
	g_origin = 0;
	g_state = update_state();
}

xtim_class::xtim_class()
{
	std::memset(static_cast<void*>(this), 0, sizeof(*this));
	first_frame = 1;
	factor[0] = factor[1] = 1.0f;
	frame_prd[0] = frame_prd[1] = k_prd_start;
	prd_ratio = 1.0f;
	time_of_day[0] = time_of_day[1] = 43200.0f;
	prd_max = k_prd_max;
	day_of_year = 90.0f;
}

unsigned long long xtim_class::microsecs() { return since_origin(); }

int xtim_class::del_time(unsigned long long* last)
{
	unsigned long long now = since_origin();
	unsigned long long& prev = last ? *last : g_state.shared_del;
	unsigned long long d = now - prev;
	prev = now;
	return (int)(unsigned int)(d & 0xffffffffULL);
}

void xtim_class::profile_chart(std::string label, int end_of_frame)
{
	since_origin();  // any first time query fixes the origin, a silent marker too
	if (mnw.profiling == 0) return;
	int d = del_time(nullptr);
	std::ostringstream line;
	line << std::fixed << label << "=" << std::setw(6) << std::setprecision(0) << (double)d * 0.1
	     << " | ";
	if (end_of_frame) {
		double now = (double)since_origin() / 1000000.0;
		if (!g_state.frame_marked) {
			g_state.frame_marked = true;
			g_state.last_frame_mark = now;
		}
		double total = now - g_state.last_frame_mark;
		g_state.last_frame_mark = now;
		line << "   total: " << std::setw(5) << std::setprecision(3) << total
		     << " sec for topwi=" << mnw.wind_type << "\n";
	}
	xer << line.str();
}

void xtim_class::xtim_update()
{
	update_state& st = g_state;

	double now = (double)since_origin() / 1000000.0;
	if (!st.started) {
		st.started = true;
		st.start_time = now;
	}
	elapsed = (float)(now - st.start_time);

	if (mnw.wind_type == 0 || mnw.dual_monitor != 0) {
		run_estimator(st.main_est, *this);
		st.sub_est.last = elapsed;
	} else if (mnw.wind_type >= 994 && mnw.wind_type <= 999) {
		st.main_est.last = elapsed;
		st.sub_est.last = elapsed;
	} else {
		st.main_est.last = elapsed;
		run_estimator(st.sub_est, *this);
	}

	for (int i = 0; i < 9; ++i) {
		float interval = xtim_flag_intervals[i];
		sim_flags[i] = 0;
		if (std::fabs(sim_time - st.sim_last[i]) > interval) {
			sim_flags[i] = 1;
			st.sim_last[i] = sim_time;
		}
		real_flags[i] = 0;
		if (std::fabs(elapsed - st.real_last[i]) > interval) {
			real_flags[i] = 1;
			st.real_last[i] = elapsed;
		}
	}

	mnw.mouse_hold = (mnw.mouse_down && elapsed > mnw.press_time + k_press_window) ? 1 : 0;
	mnw.mouse_double = (mnw.mouse_click && elapsed < mnw.press_time + k_press_window) ? 1 : 0;
	mnw.mouse_tap = (mnw.mouse_release && elapsed < mnw.press_time + k_press_window) ? 1 : 0;
	if (mnw.mouse_click) {
		mnw.mouse_down = 1;
		mnw.move_time = mnw.press_time = elapsed;
		BTN_unfocus_any();
	}
	if (mnw.mouse_release) {
		mnw.mouse_down = 0;
		mnw.mouse_hold = 0;
	}
	if (std::fabs(mnw.mouse_x - st.prev_mouse_x) > 0.5f ||
	    std::fabs(mnw.mouse_y - st.prev_mouse_y) > 0.5f)
		mnw.move_time = elapsed;
	st.prev_mouse_x = mnw.mouse_x;
	st.prev_mouse_y = mnw.mouse_y;

	float p = 0.7f + 0.3f * std::sin(20.0f * elapsed);
	colr.assign(79, p, p, p);
	colr.assign(80, p, 0.5f * p, 0.0f);
	colr.assign(81, p, 0.3f * p, 0.3f * p);
	colr.assign(82, 0.3f * p, 0.3f * p, p);
	colr.assign(83, 0.2f * p, 0.8f * p, 0.2f * p);
	colr.assign(84, 0.7f * p, 0.7f * p, 0.2f * p);
	// The caret's blink level lives beside the palette, not in an entry.
	colr.blink_level = p;
}

void xtim_class::current_month_day(int* month, int* day)
{
	static const int days_in_month[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	if (!(day_of_year >= 0.0f)) {  // negative or not a number: the first of January
		*month = 0;
		*day = 1;
		return;
	}
	int before = 0;
	for (int m = 0; m < 12; ++m) {
		if ((float)(before + days_in_month[m]) > day_of_year) {
			*month = m;
			*day = (int)day_of_year - before + 1;
			return;
		}
		before += days_in_month[m];
	}
	// Past the year's end: the last day of December.
	*month = 11;
	*day = 31;
}

void xtim_class::xtim_hrs_min_sec(float seconds, float* hours, float* minutes, float* secs)
{
	float h = std::trunc(seconds / 3600.0f);
	float m = std::trunc(seconds / 60.0f) - std::trunc(h * 60.0f);
	float s = std::trunc(seconds) - std::trunc(h * 3600.0f) - std::trunc(m * 60.0f);
	*hours = h;
	*minutes = m;
	*secs = s;
}
