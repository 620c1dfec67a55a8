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
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_faults.h"

std::string temp_path;
std::string install_name = "Not Yet Scanned";
std::string server_name[10];
std::string server_path[10];
std::string crnt_file_name;
std::string crnt_file_path;

namespace {
const char* const kSource = "Installer-f/utils";

bool ends_with(const std::string& s, const char* tail)
{
	const size_t n = std::char_traits<char>::length(tail);
	return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Extracts and deletes the archive; the extraction's result.
int extract_archive(const std::string& archive, const std::string& destination)
{
	std::string folder = destination;
	if (!folder.empty() && folder.back() == '/') folder.pop_back();
	const size_t slash = folder.rfind('/');
	folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);

	// The archive layer refuses entry names that would leave the folder, and
	// gives an application's executable its mode before it is put in place.
	const bool mac_exec = destination.find("Contents/MacOS/") != std::string::npos;
	const int flags = mac_exec ? extract_executable : 0;
	const int err = ends_with(archive, ".7z") ? p7z_to_file(archive, folder, nullptr, 0, flags)
	                                          : zip_to_file(archive, folder, nullptr, 0, flags);
	if (err != 0 && halt_on_local_fault(err, dest_dir_path, destination)) {
		// Every later file would fail the same way: one question, asked by the page.
	} else if (err != 0) {
		stg.install_problems = 1;
		__MACIBM_alert(0, UTL_translate_string("The installer cannot extract a file."),
		               UTL_translate_string("Error: ") + error_str(err),
		               UTL_translate_string("Compressed File: ") + archive,
		               UTL_translate_string("Destination: ") + destination, alert_warning, kSource, 2391);
	}
	int chmod_err = 0;
	// A link from the archive may point anywhere: its target's mode is not ours to change.
	if (mac_exec && !is_sim_link(destination, nullptr))
		chmod_err = make_file_executable(destination);
	if (stg.log_actions) {
		xer << "EXPANDING file " << destination << ", with result=" << err << ".\n";
		xer << "CHMODING  file " << destination << ", with result=" << chmod_err << ".\n";
	}
	delete_file(archive);
	return err;
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
	extract_archive(archive, destination);
}

bool halt_on_local_fault(int err, const std::string& folder, const std::string& file)
{
	const local_fault kind = classify_local_error(err, folder);
	if (kind == fault_none) return false;
	halt_run(kind, err, folder, file);
	return true;
}

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
	grab_halt_clear();
}

// Per stream: the global-scenery file of the stream is being asked for as
// ".7z" after its ".zip" failed (maker releases hold pre-made tiles as .7z).
static int ask_7z[4] = {0, 0, 0, 0};

int grab_files()
{
	const int count = (int)sim_info.size();
	next.inflight_kb = 0;
	// Stopped for the page's question: nothing moves until it was answered.
	if (grab_halted()) return 0;
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
			stream_retry& retry = retry_of(i, next.stream_file[i]);
			// A file that failed waits for its next try; the other streams go on.
			if (!retry.pacer.due(xtim.elapsed)) continue;
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
				const int err = extract_archive(archive, destination);
				if (grab_halted()) {
					// The file is fetched again when the run goes on.
					halt_streams();
					return 0;
				}
				// A file that did not extract is not installed, and not retried.
				if (err == 0) v.have_is_want = 1;
				next.done_download_kb += v.download_kb;
				next.done_install_kb += v.install_kb;
				finished = true;
			}
		} else {
			stg.action = v.have_is_want ? 2 : 3;
			finished = true;
		}
		if (finished) adjust_streams(i);
	}

	for (int i = 0; i < 4; ++i)
		if (next.active[i] && next.stream_file[i] < count) return 0;

	next.all_done = 1;
	// Folders of dropped files are tried at every run, so one killed
	// between its deletions still ends without their empty folders.
	std::set<std::string> folders = deleted_files;
	add_gone_folders(folders);
	delete_empty_folders(folders);
	return 1;
}
