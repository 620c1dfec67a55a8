#include "DIzivoz/UTL/UTL_xtim.h"

#include <cstring>

xtim_class xtim;
const float xtim_flag_intervals[9] = {10.0f, 5.0f, 2.0f, 1.0f, 0.5f, 0.2f, 0.1f, 0.05f, 0.025f};

xtim_class::xtim_class()
{
	std::memset(static_cast<void*>(this), 0, sizeof(*this));
	first_frame = 1;
	factor[0] = factor[1] = 1.0f;
	frame_prd[0] = frame_prd[1] = 0.02f;
	prd_ratio = 1.0f;
	time_of_day[0] = time_of_day[1] = 43200.0f;
	prd_max = 0.05263158f;
	day_of_year = 90.0f;
}

void xtim_class::xtim_update() {}
unsigned long long xtim_class::microsecs() { return 0; }
int xtim_class::del_time(unsigned long long*) { return 0; }
void xtim_class::profile_chart(std::string, int) {}
void xtim_class::current_month_day(int* month, int* day) { *month = 0; *day = 1; }
void xtim_class::xtim_hrs_min_sec(float, float* h, float* m, float* s) { *h = *m = *s = 0; }
void xtim_set_counter(std::function<unsigned long long()>) {}
