#include "DIzivoz/GenH/hl_stg.h"

#include <cstring>

stg_struct stg;   // zero at load
next_struct next; // zero at load

void stg_set_start_values()
{
	stg.format_status = 0;
	stg.download_failed = 0;
	stg.install_problems = 0;
	stg.server_count = -1;
	stg.server_sel = 0;
	stg.stage = stg_stage_fetch;
	stg.action = 3;
	stg.file_progress = 0;
	stg.stream_count = 0;
	stg.total_download_kb = 0;
	stg.total_install_kb = 0;
	// A Linux installer installs the Linux files.
	stg.platform = 3;
}

void next_reset(float now)
{
	std::memset(&next, 0, sizeof(next));
	next.active[0] = next.active[1] = 1;
	next.wants_file[0] = next.wants_file[1] = 1;
	next.start_time = now;
}
