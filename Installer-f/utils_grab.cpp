#include "Installer-f/utils_grab.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>

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
#include "Installer-f/utils_faults.h"

std::string temp_path;
std::string install_name = "Not Yet Scanned";
std::string server_name[10];
std::string server_path[10];
std::string crnt_file_name;
std::string crnt_file_path;

namespace {
const char* const kSource = "Installer-f/utils";
// Archives handed to the extraction threads at once while transfers keep the loop busy.
const size_t extract_batch = 4;

// Files whose extraction met a fault every later file would meet: fetched
// again, before any new file, once the user chose to go on.
std::vector<int> redo_files;

// Download files whose extraction is over, open and nameless, for the
// streams to write their next archives into: a file made and deleted for
// every download costs the file system more than the download itself.
struct spare_archive {
	int fd;
	long long size;
};
std::vector<spare_archive> spare_archives;
const size_t spare_archives_most = 8;

void return_archive(int fd, long long size)
{
	if (fd < 0) return;
	if (spare_archives.size() < spare_archives_most)
		spare_archives.push_back({fd, size});
	else
		close(fd);
}

void drop_spare_archives()
{
	for (const spare_archive& a : spare_archives) close(a.fd);
	spare_archives.clear();
}

// Gives the slot a file for its next download: a spare one, else one made
// under the stream's archive name, whose name goes at once. When none can be
// made, the download makes its own under that name (and meets the same
// fault, which it reports as it always has).
void give_archive(int slot, const std::string& name)
{
	if (!spare_archives.empty()) {
		// The shortest: the least often cut back.
		auto shortest = std::min_element(spare_archives.begin(), spare_archives.end(),
		                                 [](const spare_archive& a, const spare_archive& b) { return a.size < b.size; });
		const spare_archive a = *shortest;
		spare_archives.erase(shortest);
		http.use_file(slot, a.fd, a.size);
		return;
	}
	std::string path = app_path + name;
	const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
	if (fd < 0) return;
	unlink(path.c_str());
	http.use_file(slot, fd, 0);
}

// Applies a finished extraction: a file that did not extract is not
// installed, and not retried, unless the fault stops the run.
void apply_extraction(extract_job& job)
{
	if (job.recycle) {
		// A stopped run starts again with new files.
		if (grab_halted())
			close(job.fd);
		else
			return_archive(job.fd, job.size);
		job.fd = -1;
	}
	if (job.error != 0 && job.file >= 0 && job.file < (int)sim_info.size() &&
	    halt_on_local_fault(job.error, dest_dir_path, job.destination)) {
		extract_job_report(job, true);
		redo_files.push_back(job.file);
		next.done_download_kb -= sim_info[job.file].back().download_kb;
		return;
	}
	extract_job_report(job);
	if (job.file < 0 || job.file >= (int)sim_info.size()) return;
	file_version_struct& v = sim_info[job.file].back();
	if (job.error == 0) v.have_is_want = 1;
	next.done_install_kb += v.install_kb;
}

// Hands a downloaded archive over to the extraction pool; when the pool is
// full the main thread extracts it itself.
void hand_over(int file, const std::string& archive, const std::string& destination, int slot, bool recycle)
{
	long long size = 0;
	const int fd = http.finished_file(slot, &size);
	extract_job job = extract_job_take(file, archive, destination, fd, recycle, size);
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

// Per stream: the retry schedule of its file on the server in use; a new
// file or another server starts a fresh one.
struct stream_retry {
	int file = -1;
	int server = -1;
	retry_pacer pacer;
	net_failure why;
	std::string url;  // what was asked for
};
stream_retry stream_retries[4];

stream_retry& retry_of(int stream, int file)
{
	stream_retry& r = stream_retries[stream];
	if (r.file != file || r.server != server_index()) {
		r = stream_retry();
		r.file = file;
		r.server = server_index();
	}
	return r;
}

// A failed try of a stream's file: the next one waits, and a file that keeps
// failing on one server is asked of the next one.
void failed_try(int stream, int slot, const std::string& url)
{
	stream_retry& r = stream_retries[stream];
	r.why = http.last_failure[slot];
	r.url = url;
	r.pacer.failed(xtim.elapsed, retry_jitter());
	if (r.pacer.failures >= retry_tries_per_server && stg.server_count > 1)
		stg.server_sel = (server_index() + 1) % std::min(stg.server_count, 10);
}

// The first fault of a run that stops it (fault_none counts as a failed write).
void halt_run(local_fault kind, int err, const std::string& folder, const std::string& file)
{
	if (grab_halted()) return;
	run_halt h;
	h.kind = kind == fault_none ? fault_cannot_write : kind;
	h.code = err;
	h.folder = folder;
	h.file = file;
	grab_halt_set(h);
	xer << "Stopped the run: " << file << ": " << error_str(err) << " (" << err << ")\n" << std::flush;
}

// Stops the streams for the page's question: their transfers end and their
// partial archives go; each keeps its file for when the run goes on.
void halt_streams()
{
	drop_spare_archives();
	for (int i = 0; i < 4; ++i) {
		http.cancel(i + 2);
		if (temp_path.empty()) continue;
		delete_file(temp_path + std::to_string(i) + ".zip");
		delete_file(temp_path + std::to_string(i) + ".7z");
	}
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

bool halt_on_local_fault(int err, const std::string& folder, const std::string& file)
{
	const local_fault kind = classify_local_error(err, folder);
	if (kind == fault_none) return false;
	halt_run(kind, err, folder, file);
	return true;
}

bool grab_halt_settled() { return grab_halted() && extract_pool_outstanding() == 0; }

grab_retry_info grab_retry_status()
{
	grab_retry_info out;
	for (int i = 0; i < 4; ++i) {
		const stream_retry& r = stream_retries[i];
		if (!next.active[i] || r.file != next.stream_file[i] || r.pacer.failures == 0) continue;
		const float wait = r.pacer.wait_left(xtim.elapsed);
		if (out.failures == 0 || wait < out.wait) {
			out.failures = r.pacer.failures;
			out.wait = wait;
			out.why = r.why;
			out.url = r.url;
		}
	}
	return out;
}

void grab_retry_reset()
{
	for (stream_retry& r : stream_retries) r = stream_retry();
	redo_files.clear();
	drop_spare_archives();
	grab_halt_clear();
}

// Per stream: the global-scenery file of the stream is being asked for as
// ".7z" after its ".zip" failed (maker releases hold pre-made tiles as .7z).
static int ask_7z[4] = {0, 0, 0, 0};

int grab_files()
{
	// Finished archives go to the extraction threads a few at a time, and all
	// of them whenever the pass ends otherwise than busy with transfers.
	struct flush_at_end {
		size_t at_least = 1;
		~flush_at_end() { extract_pool_flush(at_least); }
	} flush;
	const int count = (int)sim_info.size();
	next.inflight_kb = 0;
	const bool was_halted = grab_halted();
	bool moved = collect_extractions() > 0;
	// Stopped for the page's question: nothing moves until it was answered;
	// extractions still running come back and are counted under the same stop.
	if (grab_halted()) {
		if (!was_halted) halt_streams();
		return 0;
	}
	const unsigned long long transfers_were = http.progress();
	for (int i = 0; i < 4; ++i) {
		if (!next.active[i]) continue;
		if (next.wants_file[i]) {
			ask_7z[i] = 0;
			if (!redo_files.empty()) {
				next.stream_file[i] = redo_files.back();
				redo_files.pop_back();
			} else {
				next.stream_file[i] = next.next_file;
				next.next_file = std::max(0, std::min(count, next.next_file + 1));
			}
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
			stream_retry& retry = retry_of(i, next.stream_file[i]);
			// A file that failed waits for its next try; the other streams go on.
			if (!retry.pacer.due(xtim.elapsed)) continue;
			http.keep_file(slot, true);
			if (!http.slot[slot] && !http.has_file(slot)) give_archive(slot, archive);
			const bool recycled = http.has_file(slot);
			const int got = http.net_check(slot, server_name[server_index()], url, archive);
			if (got == 2 && http.last_failure[slot].kind == net_fail_local_file) {
				// The temporary folder cannot take the download: a disk
				// error, never a network retry.
				const int err = http.last_failure[slot].os_error;
				halt_run(classify_local_error(err, temp_path), err, temp_path, archive);
				halt_streams();
				return 0;
			}
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
				// Only this file is asked for again, on this stream, when its
				// wait is over.
				stg.download_failed = 1;
				failed_try(i, slot, url);
				next.wants_file[i] = 0;
			} else {
				retry.pacer.reset();
				// The failure text stays while another stream's file waits for its retry.
				stg.download_failed = grab_retry_status().failures > 0 ? 1 : 0;
				// Extracted while the streams go on; installed once collected.
				hand_over(next.stream_file[i], archive, destination, slot, recycled);
				next.done_download_kb += v.download_kb;
				finished = true;
			}
		} else {
			stg.action = v.have_is_want ? 2 : 3;
			finished = true;
		}
		if (finished) adjust_streams(i);
		moved |= finished;
		// An extraction done in place may have stopped the run.
		if (grab_halted()) {
			halt_streams();
			return 0;
		}
	}
	for (int i = 0; i < 4; ++i)
		if (next.active[i] && next.stream_file[i] < count) {
			// A pass that found nothing to do waits a moment for the network
			// instead of asking every socket again at once.
			if (!moved && http.progress() == transfers_were) {
				extract_pool_flush(1);
				http.wait(1);
			}
			flush.at_least = extract_batch;
			return 0;
		}
	// Files to fetch again keep the run going (a stream free for one takes it next pass).
	if (!redo_files.empty()) return 0;
	if (extract_pool_outstanding() > 0) {
		extract_pool_flush(1);
		collect_extractions();
		// The last extractions may stop the run, or give files to fetch again.
		if (extract_pool_outstanding() > 0 || grab_halted() || !redo_files.empty()) return 0;
	}
	extract_pool_stop();
	drop_spare_archives();
	for (int i = 0; i < 4; ++i) http.drop_file(i + 2);
	// Nothing more to fetch: the connections kept for their server's close
	// go now (those it has closed leave nothing behind).
	http.close_parked(true);

	next.all_done = 1;
	// Folders of dropped files are tried at every run, so one killed
	// between its deletions still ends without their empty folders.
	std::set<std::string> folders = deleted_files;
	add_gone_folders(folders);
	delete_empty_folders(folders);
	return 1;
}
