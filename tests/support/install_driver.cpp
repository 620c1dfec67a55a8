#include "tests/support/install_driver.h"

#include <unistd.h>

#include <chrono>

#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"

namespace vtest {

std::string prepare_install(const std::string& manifest, float now)
{
	if (read_directory(manifest) != 3) return "read_directory";
	set_install_filter(1, 1);
	int next_file = 0;
	float progress = 0;
	// The checksum pool answers within a few seconds even on a slow machine.
	int polls = 0;
	while (!checksum_directory(next_file, progress)) {
		if (++polls > 200000) return "checksum_directory";
		usleep(100);
	}
	scenery_take_all();
	recalc_disk_sizes();
	if (!choose_files()) return "choose_files";
	if (make_dirs() != 0) return "make_dirs";
	next_reset(now);
	return "";
}

int install_frame(int budget_ms, const std::function<void()>& each_pass)
{
	const auto start = std::chrono::steady_clock::now();
	int done = 0;
	do {
		done = grab_files();
		if (each_pass) each_pass();
	} while (!done && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(budget_ms));
	return done;
}

}  // namespace vtest
