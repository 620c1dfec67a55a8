#pragma once
// The frame clock: one notion of time for the whole program. The frame loop
// calls xtim_update once per frame; everything else reads `elapsed`.
#include <functional>
#include <string>

class xtim_class {
public:
	xtim_class();

	int first_frame;      // 1 until the frame loop clears it after the first update
	int spare_a[3];
	float factor[2];
	float frame_prd[3];   // smoothed frame period in seconds
	float prd_ratio;      // last clamped ratio of measured to estimated period
	int frame_count;      // frames run (advanced by the frame loop)
	float elapsed;        // seconds since the first update
	float sim_time;       // second running time, never advanced here
	int spare_b[2];
	float time_of_day[2]; // seconds after midnight
	int spare_c;
	float prd_max;        // largest frame period, 1/19 s
	int spare_d[2];
	float day_of_year;    // day of the year counted from 0
	int spare_e[2];
	int sim_flags[9];     // once-per-interval flags on sim_time
	int real_flags[9];    // once-per-interval flags on elapsed

	void xtim_update();
	unsigned long long microsecs();
	int del_time(unsigned long long* last);
	void profile_chart(std::string label, int end_of_frame);
	void current_month_day(int* month, int* day);
	void xtim_hrs_min_sec(float seconds, float* hours, float* minutes, float* secs);
};

extern xtim_class xtim;

// Intervals of the flag arrays, in index order (seconds).
extern const float xtim_flag_intervals[9];

// Test seam: replace the platform's microsecond counter (an empty function
// restores the monotonic clock). Installing a counter also forgets the time
// origin and everything the update keeps between frames, so the next time
// query starts the clock afresh.
void xtim_set_counter(std::function<unsigned long long()> counter);
