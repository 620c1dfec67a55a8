#include "Installer-f/utils_grab.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_extract.h"

std::string temp_path;
std::string install_name = "Not Yet Scanned";
std::string server_name[10];
std::string server_path[10];
std::string crnt_file_name;
std::string crnt_file_path;

namespace {
const char* const kSource = "Installer-f/utils";

// Applies a finished extraction: a file that did not extract is not
// installed, and not retried.
void apply_extraction(const extract_job& job)
{
	extract_job_report(job);
	if (job.file < 0 || job.file >= (int)sim_info.size()) return;
	file_version_struct& v = sim_info[job.file].back();
	if (job.error == 0) v.have_is_want = 1;
	next.done_install_kb += v.install_kb;
}

// Hands a downloaded archive over to the extraction pool; when the pool is
// full the main thread extracts it itself.
void hand_over(int file, const std::string& archive, const std::string& destination, int fd)
{
	extract_job job = extract_job_take(file, archive, destination, fd);
	if (extract_pool_submit(job)) return;
	extract_job_run(job);
	apply_extraction(job);
}

// Collects every extraction that has finished since the last pass; how many.
int collect_extractions()
{
	int n = 0;
	extract_job job;
	while (extract_pool_collect(job)) {
		apply_extraction(job);
		++n;
	}
	return n;
}

// The server in use, kept inside the server arrays.
int server_index() { return std::max(0, std::min(stg.server_sel, 9)); }

// Draws another server after a failed transfer, preferring low indices.
void redraw_server()
{
	const double r = (double)std::rand() / 2147483648.0;
	int sel = (int)(stg.server_count * std::pow(r, 1.5));
	if (sel > stg.server_count - 1) sel = stg.server_count - 1;
	if (sel < 0) sel = 0;
	stg.server_sel = sel;
}

// Joins or retires streams by the download rate once stream i finished a file.
void adjust_streams(int i)
{
	float secs = xtim.elapsed - next.start_time;
	if (secs < 1.0f) secs = 1.0f;
	const float rate = (next.done_download_kb + next.inflight_kb) / secs;
	int wanted = stg.stream_count;
	if (wanted == 0) {
		if (rate > 200) wanted = 9;
		else if (rate > 150) wanted = 8;
		else if (rate > 100) wanted = 6;
		else if (rate > 50) wanted = 4;
		else wanted = 2;
	}
	int active = 0;
	for (int s = 0; s < 4; ++s) active += next.active[s] ? 1 : 0;
	if (active < wanted) {
		for (int s = 0; s < 4; ++s)
			if (!next.active[s]) {
				next.active[s] = 1;
				next.wants_file[s] = 1;
				break;
			}
	}
	if (wanted < active)
		next.active[i] = 0;
	else
		next.wants_file[i] = 1;
}
}  // namespace

void extract_and_delete_file(std::string archive, std::string destination)
{
	extract_job job = extract_job_take(-1, archive, destination);
	extract_job_run(job);
	extract_job_report(job);
}

// Per stream: the global-scenery file of the stream is being asked for as
// ".7z" after its ".zip" failed (maker releases hold pre-made tiles as .7z).
static int ask_7z[4] = {0, 0, 0, 0};

int grab_files()
{
	const int count = (int)sim_info.size();
	next.inflight_kb = 0;
	bool moved = collect_extractions() > 0;
	const unsigned long long transfers_were = http.progress();
	for (int i = 0; i < 4; ++i) {
		if (!next.active[i]) continue;
		if (next.wants_file[i]) {
			ask_7z[i] = 0;
			next.stream_file[i] = next.next_file;
			next.next_file = std::max(0, std::min(count, next.next_file + 1));
		}
		if (next.stream_file[i] >= count || next.stream_file[i] < 0) continue;
		file_version_struct& v = sim_info[next.stream_file[i]].back();
		const std::string suffix = ask_7z[i] ? ".7z" : ".zip";
		const std::string url = server_path[server_index()] + v.path + suffix;
		std::string rel = v.path;
		trim_dest_folder(rel);
		const std::string destination = dest_dir_path + rel;
		next.wants_file[i] = 0;
		crnt_file_name = url.substr(url.rfind('/') + 1);
		crnt_file_path = url;

		bool finished = false;
		if (!v.path.empty() && v.path.back() == '/') {
			__MACIBM_alert(0, "I am working through the list and found a path that has no file!",
			               "This is impossible to download or delete!", "It is:", v.path, alert_fatal, kSource,
			               2420);
			// Reached only when the alert returns: a folder is neither fetched nor deleted.
			finished = true;
		} else if (!dest_relative_path_ok(rel)) {
			// A manifest path that would leave the destination is neither
			// fetched nor deleted.
			if (v.install || v.remove) {
				stg.install_problems = 1;
				xer << "WARNING: refusing a path outside the destination: " << v.path << "\n";
			}
			finished = true;
		} else if (v.remove) {
			stg.action = 0;
			const int err = delete_file(destination);
			if (stg.log_actions)
				xer << "now we want to nuke a file: DELETING  file " << destination << ", with result=" << err
				    << ".\n";
			add_folder_chain(destination, deleted_files);
			crash_point("delete-done", destination);
			if (err && show_del_err(err))
				__MACIBM_alert(0, "Could not delete a file that I no longer want to have!", error_str(err),
				               destination, "", alert_fatal, kSource, 2445);
			finished = true;
		} else if (v.install) {
			stg.action = 1;
			const std::string archive = temp_path + std::to_string(i) + suffix;
			const int slot = i + 2;
			http.keep_file(slot, true);
			const int got = http.net_check(slot, server_name[server_index()], url, archive);
			if (got == 0) {
				float percent = 0;
				if (const down_class* d = http.slot[slot]) {
					if (d->mExpected == -1)
						percent = -1.0f;
					else if (d->mExpected > 0)
						percent = (float)((double)d->mReceived * 100.0 / (double)d->mExpected);
				}
				stg.file_progress = percent * 0.01f;
				next.inflight_kb += stg.file_progress * v.download_kb;
			} else if (got == 2 && v.is_global && !ask_7z[i]) {
				// Asked for once more as a pre-made ".7z" before the file counts as failed.
				ask_7z[i] = 1;
			} else if (got == 2) {
				ask_7z[i] = 0;
				// Only this file is asked for again, on this stream, from
				// another server.
				stg.download_failed = 1;
				redraw_server();
				next.wants_file[i] = 0;
			} else {
				stg.download_failed = 0;
				// Extracted while the streams go on; installed once collected.
				hand_over(next.stream_file[i], archive, destination, http.finished_file(slot));
				next.done_download_kb += v.download_kb;
				finished = true;
			}
		} else {
			stg.action = v.have_is_want ? 2 : 3;
			finished = true;
		}
		if (finished) adjust_streams(i);
		moved |= finished;
	}

	for (int i = 0; i < 4; ++i)
		if (next.active[i] && next.stream_file[i] < count) {
			// A pass that found nothing to do waits a moment for the network
			// instead of asking every socket again at once.
			if (!moved && http.progress() == transfers_were) http.wait(1);
			return 0;
		}
	if (extract_pool_outstanding() > 0) {
		collect_extractions();
		if (extract_pool_outstanding() > 0) return 0;
	}
	extract_pool_stop();

	next.all_done = 1;
	// Folders of dropped files are tried at every run, so one killed
	// between its deletions still ends without their empty folders.
	std::set<std::string> folders = deleted_files;
	add_gone_folders(folders);
	delete_empty_folders(folders);
	return 1;
}
