// The server list from the maker's web host, the drawn server and its zipped
// manifest, one step per frame.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_faults.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_scan.h"
#include "Installer-f/wizard.h"

std::string server_desc[10];
std::string cmd_line_path;

namespace {
const char* const servers_src = "Installer-f/wizard_servers";

// Pacing of the server list's and the manifest's tries (the manifest's per
// server), on the frame clock.
retry_pacer list_retry;
retry_pacer manifest_retry[10];
int manifest_failures = 0;  // failed manifest tries in a row, on any server
// Why the last try failed: kept while the next try is under way, whose
// transfer starts with a clean failure record.
net_failure list_why, manifest_why;

// The list or the manifest is fetched or read now (not waiting for a retry,
// not finished, not failed for good).
bool directory_work_now()
{
	const float now = xtim.elapsed;
	if (stg.server_count == -1) return list_retry.due(now);
	if (stg.stage == stg_stage_fetch) {
		if (stg.server_count < 1) return true;
		const int sel = stg.server_sel >= 0 && stg.server_sel < 10 ? stg.server_sel : 0;
		return manifest_retry[sel].due(now);
	}
	return stg.stage == stg_stage_read;
}
}  // namespace

void download_directory_reset()
{
	list_retry.reset();
	for (retry_pacer& p : manifest_retry) p.reset();
	manifest_failures = 0;
	list_why = manifest_why = net_failure();
}

directory_retry_info download_directory_retry()
{
	directory_retry_info out;
	const float now = xtim.elapsed;
	if (stg.server_count == -1) {
		out.failures = list_retry.failures;
		out.wait = list_retry.wait_left(now);
		out.why = list_why;
		out.server = web_host;
	} else if (stg.stage == stg_stage_fetch && stg.server_count > 0) {
		const int sel = stg.server_sel >= 0 && stg.server_sel < 10 ? stg.server_sel : 0;
		out.failures = manifest_failures;
		out.wait = manifest_retry[sel].wait_left(now);
		out.why = manifest_why;
		out.server = server_name[sel];
	}
	return out;
}

void directory_download_cancel()
{
	http.cancel(0);
	http.cancel(1);
	if (!temp_path.empty()) delete_file(temp_path + "directory.txt.zip");
}

server_list_info parse_server_body(const char* p, const char* end, int beta, const std::string& start_name)
{
	server_list_info info;
	info.install_name = start_name;
	text_scanner in{p, end};
	while (!in.at_end()) {
		in.skip_blanks();
		if (in.keyword("BETA")) {
			std::string n = in.line();
			if (beta) info.install_name = n, info.found_name = 1;
		} else if (in.keyword("FINAL")) {
			std::string n = in.line();
			if (!beta) info.install_name = n, info.found_name = 1;
		} else if (in.keyword("INS_VERSION")) {
			// Not the header's number form: a version past a billion stays there.
			in.skip_blanks();
			int sign = 1;
			if (!in.at_end() && (*in.p == '-' || *in.p == '+')) sign = *in.p++ == '-' ? -1 : 1;
			long long v = 0;
			while (!in.at_end() && !TXT_is_white(*in.p)) {
				v = v * 10 + (*in.p++ - '0');
				if (v > 1000000000LL || v < -1000000000LL) v = v > 0 ? 1000000000LL : -1000000000LL;
			}
			in.token();
			const std::string address = in.token();
			in.line();
			if (sign * v > installer_version) {
				info.newer_installer = 1;
				info.newer_address = address;
				return info;
			}
		} else if (in.keyword("ENDOFLIST")) {
			break;
		} else if (in.keyword("SERVER")) {
			const std::string host = in.line();
			const std::string path = in.line();
			const std::string desc = in.line();
			std::string why;
			if (host.empty()) why = "empty host";
			else if (host.find('/') != std::string::npos) why = "host with '/'";
			else if (path.empty() || path[0] != '/') why = "path not beginning with '/'";
			else if (info.count >= 10) why = "more than ten servers";
			if (!why.empty()) {
				info.skipped.push_back(why + ": " + host + " " + path);
				continue;
			}
			info.name[info.count] = host;
			// The name in effect now: a BETA or FINAL line further down does
			// not reach this record.
			info.path[info.count] = path + info.install_name + "/";
			info.desc[info.count] = desc;
			++info.count;
		} else {
			in.line();
		}
	}
	return info;
}

server_list_info parse_server_list_file(const std::string& path, int beta, const std::string& start_name)
{
	server_list_info info;
	xmap_class map(path);
	static const int versions[] = {820, 0};
	if (!map.begin || map.check_file(10001, versions, "SERVERS", nullptr) == 0) {
		info.install_name = start_name;
		return info;
	}
	info = parse_server_body(map.cursor, map.end, beta, start_name);
	info.header_ok = 1;
	return info;
}

int draw_server(float r, int count)
{
	if (count < 1) return 0;
	const double w = r > 0 ? std::pow((double)r, 1.5) : 0.0;
	int sel = (int)(count * w);
	if (sel < 0) sel = 0;
	if (sel > count - 1) sel = count - 1;
	return sel;
}

void UTL_download_directory()
{
	const float now = xtim.elapsed;
	if (stg.server_count == -1) {
		if (!list_retry.due(now)) return;
		const std::string local = temp_path + "serverlist9.txt";
		const int r = http.net_check(0, web_host, "/serverlist9.txt", local);
		if (r == net_busy) return;
		if (r == net_failed) {
			list_retry.failed(now, retry_jitter());
			list_why = http.last_failure[0];
			return;
		}
		list_retry.reset();
		server_list_info info = parse_server_list_file(local, stg.get_beta, install_name);
		if (!info.header_ok) {
			new_format(local);
			return;
		}
		for (const std::string& s : info.skipped) xer << "Server list: skipped a record (" << s << ")\n";
		if (info.newer_installer) {
			new_installer(info.newer_address);
			return;
		}
		install_name = info.install_name;
		for (int k = 0; k < info.count; ++k) {
			server_name[k] = info.name[k];
			server_path[k] = info.path[k];
			server_desc[k] = info.desc[k];
		}
		stg.server_count = info.count;
		stg.server_sel = draw_server((float)(std::rand() / 2147483648.0), info.count);
		// No server to ask: the manifest cannot be had.
		if (info.count == 0) {
			xer << "Server list: no usable server.\n";
			stg.stage = stg_stage_refused;
		}
		return;
	}
	if (stg.stage == stg_stage_fetch) {
		if (stg.server_count < 1) {
			stg.stage = stg_stage_refused;
			return;
		}
		if (stg.server_sel < 0 || stg.server_sel >= stg.server_count) stg.server_sel = 0;
		if (!manifest_retry[stg.server_sel].due(now)) return;
		const std::string archive = temp_path + "directory.txt.zip";
		const int r = http.net_check(1, server_name[stg.server_sel], server_path[stg.server_sel] + "directory.txt.zip",
		                             archive);
		if (r == net_busy) return;
		if (r == net_failed) {
			manifest_retry[stg.server_sel].failed(now, retry_jitter());
			++manifest_failures;
			manifest_why = http.last_failure[1];
			stg.server_sel = stg.server_count > 1 ? std::rand() % stg.server_count : 0;
			return;
		}
		manifest_retry[stg.server_sel].reset();
		manifest_failures = 0;
		const int err = zip_to_file(archive, temp_path, nullptr, 0);
		if (err == 0) {
			stg.stage = stg_stage_read;
		} else {
			__MACIBM_alert(0, UTL_translate_string("The installer cannot extract a file."),
			               UTL_string_sub(UTL_translate_string("Error: %1:message%."), error_str(err)),
			               UTL_string_sub(UTL_translate_string("Compressed File  %1:file%."), archive),
			               UTL_string_sub(UTL_translate_string("Destination Path: %1:file%."), temp_path), alert_warning,
			               servers_src, 95);
			manifest_retry[stg.server_sel].failed(now, retry_jitter());
		}
		delete_file(archive);
		return;
	}
	if (stg.stage == stg_stage_read) {
		stg.stage = read_directory(temp_path + "directory.txt",
		                           UTL_translate_string("Scanning directory text file to see if you already have Ventora installed..."));
	}
}

void download_directory_frame(int first_time)
{
	// A page's first frame only shows the page: it is on the screen (and its
	// title in the log) before an answer can raise an alert over it. Even one
	// poll can take a whole answer when the program is held up between
	// sending and reading.
	if (first_time) {
		MACIBM_frame_busy();
		return;
	}
	UTL_download_directory();
	if (directory_work_now()) {
		frame_work work;
		while (work.more()) {
			usleep(200);
			UTL_download_directory();
			if (!directory_work_now()) break;
		}
	}
	// A retry starts by itself when its time comes.
	const directory_retry_info r = download_directory_retry();
	if (r.wait > 0) MACIBM_frame_due(r.wait);
}
