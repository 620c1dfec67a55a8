#include "tests/support/install_driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "tests/support/http_server.h"

namespace vtest {

void point_engine_at(const http_server& server, const std::string& host, const std::string& path,
                     const std::string& dest, const std::string& staging)
{
	point_engine_at(server.port(), host, path, dest, staging);
}

void point_engine_at(unsigned short port, const std::string& host, const std::string& path, const std::string& dest,
                     const std::string& staging)
{
	sim_info.clear();
	stg = stg_struct{};
	stg_set_start_values();
	stg.server_count = 1;
	server_name[0] = host;
	server_path[0] = path;
	dest_dir_path = dest;
	temp_path = staging;
	mkdir(staging.c_str(), 0700);
	http.proxy_host = "127.0.0.1";
	http.proxy_port = port;
	xtim.elapsed = 0;
}

void release_engine()
{
	http.kill_all();
	grab_retry_reset();
	http.proxy_host.clear();
	http.proxy_port = 0;
	checksum_directory_kill();
	sim_info.clear();
}

std::string fetch_manifest(const std::function<float()>& now)
{
	const std::string zipped = temp_path + "directory.txt.zip";
	int r = 0;
	while ((r = http.net_check(1, server_name[0], server_path[0] + "directory.txt.zip", zipped)) == 0) {
		xtim.elapsed = now();
		usleep(1000);
	}
	if (r != 1) return "the manifest could not be downloaded";
	std::string unzipped;
	if (zip_to_file(zipped, temp_path, &unzipped, 0) != 0) return "the manifest could not be unzipped";
	return std::string();
}

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
	grab_retry_reset();
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
