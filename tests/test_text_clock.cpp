// The frame clock driven by an injected microsecond counter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/UTL/UTL_xtim.h"

namespace {

unsigned long long g_now_us = 0;

class ClockTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		g_now_us = 5000000;  // origin is wherever the counter stands at the first query
		xtim_set_counter([] { return g_now_us; });
		xtim = xtim_class();
		mnw = mnw_struct();
		mnw.wind_type = 0;
	}
	void TearDown() override { xtim_set_counter(nullptr); }

	// One frame at `t` seconds after the first frame.
	void frame_at(double t)
	{
		g_now_us = 5000000 + (unsigned long long)std::llround(t * 1e6);
		xtim.xtim_update();
	}
};

const float e0 = 0.02f * std::pow(0.5f, 0.25f);  // estimate after the very first frame

TEST_F(ClockTest, MainEstimatorClampsEachStepAndTheRange)
{
	frame_at(0.0);
	EXPECT_FLOAT_EQ(xtim.elapsed, 0.0f);
	EXPECT_FLOAT_EQ(xtim.prd_ratio, 0.5f);
	EXPECT_NEAR(xtim.frame_prd[0], 0.0168f, 0.0001f);
	EXPECT_FLOAT_EQ(xtim.frame_prd[0], e0);
	EXPECT_FLOAT_EQ(xtim.frame_prd[1], e0);
	EXPECT_FLOAT_EQ(xtim.frame_prd[2], e0);

	// Nine frames do not measure; the tenth after the first does.
	for (int i = 1; i <= 9; ++i) frame_at(0.1 * i);
	EXPECT_FLOAT_EQ(xtim.frame_prd[1], e0);
	frame_at(1.0);
	EXPECT_FLOAT_EQ(xtim.prd_ratio, 1.5f);
	EXPECT_NEAR(xtim.frame_prd[1], e0 * std::pow(1.5f, 0.25f), 1e-6f);

	// Slow frames never push the estimate past 1/19 s.
	double t = 1.0;
	for (int i = 0; i < 400; ++i) frame_at(t += 0.5);
	EXPECT_FLOAT_EQ(xtim.frame_prd[1], 0.05263158f);

	// Frames at the estimated period keep it where it is.
	float held = xtim.frame_prd[1];
	for (int i = 0; i < 30; ++i) frame_at(t += held);
	EXPECT_NEAR(xtim.prd_ratio, 1.0f, 1e-3f);
	EXPECT_NEAR(xtim.frame_prd[1], held, 1e-5f);

	// Frames with no time between them never go below the floor.
	for (int i = 0; i < 1000; ++i) frame_at(t);
	EXPECT_FLOAT_EQ(xtim.frame_prd[1], 0.0010001f);
}

TEST_F(ClockTest, SubWindowsUseTheirOwnEstimatorOrNone)
{
	frame_at(0.0);
	for (int i = 1; i <= 9; ++i) frame_at(e0 * i);
	double t = e0 * 9;

	// A dialog of type 1 runs the second estimator from its start value.
	mnw.wind_type = 1;
	frame_at(t += 1.0);
	EXPECT_FLOAT_EQ(xtim.prd_ratio, 1.5f);
	EXPECT_NEAR(xtim.frame_prd[0], 0.0221f, 0.0001f);
	for (int i = 0; i < 4; ++i) frame_at(t += 1.0);

	// Back on the main screen the time spent in the dialog is not counted.
	mnw.wind_type = 0;
	frame_at(t += e0);
	EXPECT_FLOAT_EQ(xtim.prd_ratio, 0.5f);
	EXPECT_NEAR(xtim.frame_prd[0], e0 * std::pow(0.5f, 0.25f), 1e-6f);

	// Full-window types freeze the period.
	float frozen = xtim.frame_prd[0];
	for (int type : {994, 996, 999}) {
		mnw.wind_type = type;
		for (int i = 0; i < 25; ++i) frame_at(t += 3.0);
		EXPECT_FLOAT_EQ(xtim.frame_prd[0], frozen) << type;
	}
	// A second monitor always uses the main estimator.
	mnw.dual_monitor = 1;
	for (int i = 0; i < 10; ++i) frame_at(t += 3.0);
	EXPECT_NE(xtim.frame_prd[0], frozen);
}

TEST_F(ClockTest, IntervalFlagsFireOncePerIntervalWithoutCatchingUp)
{
	struct step {
		double t;
		int one_second;
	};
	const step steps[] = {{0.0, 0},  {0.5, 0}, {1.0, 0}, {1.01, 1}, {1.5, 0},  {2.0, 0},
	                      {2.02, 1}, {5.0, 1}, {5.5, 0}, {6.0, 0},  {6.01, 1}, {6.02, 0}};
	for (const step& s : steps) {
		frame_at(s.t);
		EXPECT_EQ(xtim.real_flags[3], s.one_second) << "t=" << s.t;
		for (int i = 0; i < 9; ++i) EXPECT_EQ(xtim.sim_flags[i], 0) << "sim flag " << i;
	}
	// The 0.025 s flag last fired at 6.0 s (6.01 and 6.02 were too soon).
	frame_at(6.04);
	EXPECT_EQ(xtim.real_flags[8], 1);
	EXPECT_EQ(xtim.real_flags[7], 0);
}

TEST_F(ClockTest, MouseTimingGivesHoldDoubleAndTap)
{
	frame_at(0.0);
	focus_id = 7;
	mnw.mouse_x = mnw.mouse_y = 100.0f;
	frame_at(0.9);
	float moved_at = mnw.move_time;
	EXPECT_FLOAT_EQ(moved_at, 0.9f);

	mnw.mouse_click = 1;
	frame_at(1.0);
	mnw.mouse_click = 0;
	EXPECT_EQ(mnw.mouse_down, 1);
	EXPECT_EQ(mnw.mouse_double, 0);
	EXPECT_FLOAT_EQ(mnw.press_time, 1.0f);
	EXPECT_EQ(focus_id, 0);

	frame_at(1.2);
	EXPECT_EQ(mnw.mouse_hold, 0);
	frame_at(1.3);
	EXPECT_EQ(mnw.mouse_hold, 1);

	mnw.mouse_release = 1;
	frame_at(1.31);
	mnw.mouse_release = 0;
	EXPECT_EQ(mnw.mouse_tap, 0) << "released 0.31 s after the press";
	EXPECT_EQ(mnw.mouse_hold, 0);
	EXPECT_EQ(mnw.mouse_down, 0);

	mnw.mouse_click = 1;
	frame_at(1.6);
	EXPECT_EQ(mnw.mouse_double, 0) << "0.6 s after the previous press";
	frame_at(1.8);
	EXPECT_EQ(mnw.mouse_double, 1) << "0.2 s after the previous press";
	mnw.mouse_click = 0;

	mnw.mouse_release = 1;
	frame_at(1.9);
	EXPECT_EQ(mnw.mouse_tap, 1);
	mnw.mouse_release = 0;
	frame_at(1.95);
	EXPECT_EQ(mnw.mouse_tap, 0);

	// Small jitter is not movement; more than half a unit is.
	mnw.mouse_x += 0.4f;
	frame_at(2.5);
	EXPECT_FLOAT_EQ(mnw.move_time, 1.8f);
	mnw.mouse_y -= 0.6f;
	frame_at(2.6);
	EXPECT_FLOAT_EQ(mnw.move_time, 2.6f);
}

TEST_F(ClockTest, PulsingColoursAndBlinkLevel)
{
	colr.assign(105, 0.25f, 0.5f, 0.75f);
	frame_at(0.0);
	frame_at(0.1);
	float p = 0.7f + 0.3f * std::sin(20.0f * xtim.elapsed);
	struct want {
		int index;
		float r, g, b;
	};
	const want wants[] = {{79, p, p, p},
	                      {80, p, 0.5f * p, 0.0f},
	                      {81, p, 0.3f * p, 0.3f * p},
	                      {82, 0.3f * p, 0.3f * p, p},
	                      {83, 0.2f * p, 0.8f * p, 0.2f * p},
	                      {84, 0.7f * p, 0.7f * p, 0.2f * p}};
	for (const want& w : wants) {
		EXPECT_NEAR(colr.rgb[w.index][0], w.r, 1e-5f) << w.index;
		EXPECT_NEAR(colr.rgb[w.index][1], w.g, 1e-5f) << w.index;
		EXPECT_NEAR(colr.rgb[w.index][2], w.b, 1e-5f) << w.index;
	}
	EXPECT_NEAR(colr.blink_level, p, 1e-5f);
	// The last real entry is left alone.
	EXPECT_FLOAT_EQ(colr.rgb[105][0], 0.25f);
	EXPECT_FLOAT_EQ(colr.rgb[105][1], 0.5f);
	EXPECT_FLOAT_EQ(colr.rgb[105][2], 0.75f);
}

TEST_F(ClockTest, MicrosecondsAndDeltaTimes)
{
	EXPECT_EQ(xtim.microsecs(), 0u);  // the first query fixes the origin
	g_now_us += 1234;
	EXPECT_EQ(xtim.microsecs(), 1234u);

	unsigned long long mark = 0;
	EXPECT_EQ(xtim.del_time(&mark), 1234);
	EXPECT_EQ(mark, 1234u);
	g_now_us += 100;
	EXPECT_EQ(xtim.del_time(&mark), 100);

	// The null form keeps one shared mark.
	EXPECT_EQ(xtim.del_time(nullptr), 1334);
	g_now_us += 50;
	EXPECT_EQ(xtim.del_time(nullptr), 50);

	// Only the low 32 bits of a difference are returned.
	g_now_us += (1ULL << 32) + 5;
	EXPECT_EQ(xtim.del_time(&mark), 55);
}

TEST_F(ClockTest, AnyFirstTimeQueryFixesTheOrigin)
{
	const std::function<void()> first_queries[] = {
	    [] { xtim.microsecs(); },
	    [] { xtim.del_time(nullptr); },
	    [] { xtim.profile_chart("silent", 1); },  // not profiling, still a time query
	    [] { xtim.xtim_update(); },
	};
	for (size_t i = 0; i < 4; ++i) {
		xtim_set_counter([] { return g_now_us; });
		g_now_us = 9000000;
		first_queries[i]();
		g_now_us += 700;
		EXPECT_EQ(xtim.microsecs(), 700u) << "query " << i;
	}
}

TEST_F(ClockTest, CalendarAndHoursMinutesSeconds)
{
	struct day_case {
		float day_of_year;
		int month, day;
	};
	const day_case days[] = {{90, 3, 1}, {0, 0, 1}, {30.9f, 0, 31}, {31, 1, 1},
	                         {58.5f, 1, 28}, {59, 2, 1}, {364, 11, 31},
	                         {365, 11, 31}, {400, 11, 31}, {-3, 0, 1}};
	for (const day_case& c : days) {
		xtim.day_of_year = c.day_of_year;
		int month = -1, day = -1;
		xtim.current_month_day(&month, &day);
		EXPECT_EQ(month, c.month) << c.day_of_year;
		EXPECT_EQ(day, c.day) << c.day_of_year;
	}
	xtim = xtim_class();
	int month = -1, day = -1;
	xtim.current_month_day(&month, &day);
	EXPECT_EQ(month, 3);
	EXPECT_EQ(day, 1);

	struct hms_case {
		float seconds, h, m, s;
	};
	const hms_case hms[] = {{3725, 1, 2, 5}, {59.9f, 0, 0, 59}, {7200, 2, 0, 0}, {86399, 23, 59, 59}};
	for (const hms_case& c : hms) {
		float h = -1, m = -1, s = -1;
		xtim.xtim_hrs_min_sec(c.seconds, &h, &m, &s);
		EXPECT_EQ(h, c.h) << c.seconds;
		EXPECT_EQ(m, c.m) << c.seconds;
		EXPECT_EQ(s, c.s) << c.seconds;
	}
}

TEST_F(ClockTest, ProfilingMarkersLogOnlyWhenProfiling)
{
	std::string path = std::string(VENTORA_TEST_BIN_DIR) + "/text_clock_profile.log";
	xer.open(path);
	xtim.del_time(nullptr);
	g_now_us += 500;
	xtim.profile_chart("off", 1);
	mnw.profiling = 1;
	g_now_us += 500;
	xtim.profile_chart("draw", 0);
	g_now_us += 2500;
	xtim.profile_chart("swap", 1);
	g_now_us += 20000;
	xtim.profile_chart("swap", 1);
	xer.close();

	std::ifstream in(path);
	std::stringstream got;
	got << in.rdbuf();
	EXPECT_EQ(got.str(),
	          "draw=   100 | swap=   250 |    total: 0.000 sec for topwi=0\n"
	          "swap=  2000 |    total: 0.020 sec for topwi=0\n");
	std::remove(path.c_str());
}

}  // namespace
