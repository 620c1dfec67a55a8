#include "Installer-f/wizard_faults.h"

#include <errno.h>

#include <cmath>
#include <cstring>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/wizard.h"

namespace {
std::string T(const char* s) { return UTL_translate_string(s); }

// Failed tries in a row before the page speaks of the problem: one failure
// may be a hiccup the next try mends.
const int tries_before_notice = 2;
}  // namespace

std::string reason_text(int code)
{
	std::string text = error_str(code);
	// A code the installer's own table lacks (a refused connection) by the
	// system's name, not its number.
	if (code > 0 && text.rfind("Error code ", 0) == 0) {
		const std::string system = std::strerror(code);
		if (system.rfind("Unknown error", 0) != 0) text = system;
	}
	return T(text.c_str());
}

std::string net_failure_text(const net_failure& f, const std::string& server_name)
{
	// Through a proxy, a connection that fails is the proxy's: named as such,
	// with the port tried, so a wrong proxy setting is told from a server down.
	if (http.UseProxy(server_name.c_str(), 80)) {
		const std::string port = int_str(http.proxy_port);
		if (f.kind == net_fail_no_server)
			return UTL_string_sub(T("I cannot find the proxy %1:proxy% (port %2:port%)."), http.proxy_host, port);
		if (f.kind == net_fail_connection && f.os_error)
			return UTL_string_sub(T("I cannot connect to the proxy %1:proxy% on port %2:port%: %3:error%."),
			                      http.proxy_host, port, reason_text(f.os_error));
		if (f.kind == net_fail_connection)
			return UTL_string_sub(T("I cannot connect to the proxy %1:proxy% on port %2:port%."), http.proxy_host, port);
	}
	const std::string& server = server_name;
	switch (f.kind) {
	case net_fail_answer: {
		std::string answer = int_str(f.status);
		if (!f.reason.empty()) answer += " " + f.reason;
		return UTL_string_sub(T("The server %1:server% answered: %2:answer%."), server, answer);
	}
	case net_fail_no_server: return UTL_string_sub(T("I cannot find the server %1:server%."), server);
	case net_fail_short: return UTL_string_sub(T("The answer from %1:server% broke off before its end."), server);
	case net_fail_long:
		return UTL_string_sub(T("The answer from %1:server% went on past the length it announced."), server);
	case net_fail_too_big:
		return UTL_string_sub(T("The file from %1:server% is larger than the release lists: it is damaged."), server);
	case net_fail_stalled:
		return UTL_string_sub(T("Nothing has arrived from %1:server% for %2:time%."), server,
		                      time_str(http_stall_seconds));
	case net_fail_local_file:
		return UTL_string_sub(T("I cannot write the downloaded file: %1:error%."), reason_text(f.os_error));
	default:
		if (f.os_error)
			return UTL_string_sub(T("I cannot connect to %1:server%: %2:error%."), server, reason_text(f.os_error));
		return UTL_string_sub(T("I cannot connect to %1:server%."), server);
	}
}

std::string retry_text(float wait)
{
	if (!(wait > 0)) return T("I am trying again now.");
	return UTL_string_sub(T("I am trying again in %1:time%."), time_str(std::ceil(wait)));
}

std::string directory_problem_text()
{
	const directory_retry_info r = download_directory_retry();
	if (r.failures < tries_before_notice) return std::string();
	const std::string why = net_failure_text(r.why, r.server);
	page_notice(why);
	return why + " " + retry_text(r.wait);
}

std::string local_fault_text(const run_halt& h)
{
	std::string text;
	switch (h.kind) {
	case fault_disk_full: text = UTL_string_sub(T("The disk that holds %1:folder% is full."), h.folder); break;
	case fault_not_writable: text = UTL_string_sub(T("I am not allowed to write into %1:folder%."), h.folder); break;
	case fault_folder_gone: text = UTL_string_sub(T("The folder %1:folder% is no longer there."), h.folder); break;
	case fault_disc_gone: text = T("The DVD is no longer in the drive."); break;
	default: text = UTL_string_sub(T("I cannot write into %1:folder%."), h.folder); break;
	}
	// A writer that gave no reason, on a disk found full: the reason is the full disk.
	const int shown = h.kind == fault_disk_full && h.code == err_zip_write ? ENOSPC : h.code;
	return text + " (" + reason_text(shown) + ")";
}

int halt_question(const std::string& head, const run_halt& h, const std::string& caption1, const std::string& text1,
                  const std::string& caption2, const std::string& text2)
{
	const std::string message =
	    head + "\n\n" + local_fault_text(h) + "\n\n" + T("Fix this, then click Continue to go on where I stopped.");
	return abort_alert(message, caption1, text1, caption2, text2);
}

bool ask_to_stop_job(const std::string& message, const std::string& stop_caption, const std::string& stop_text,
                     const std::string& go_on_text, const std::string& title, int& running,
                     const std::function<void()>& stop)
{
	if (abort_alert(message, stop_caption, stop_text, T("Continue"), go_on_text, title) != 1) return false;
	stop();
	running = 0;
	return true;
}

void page_notice(const std::string& text)
{
	static std::string last;
	if (text == last) return;
	last = text;
	std::string line = text;
	STR_replace_all(line, "\n", "\\n");
	xer << "Wizard notice: " << line << "\n" << std::flush;
}

float stall_watch::stalled_for(float kb, float now)
{
	if (kb != last_kb) {
		last_kb = kb;
		since = now;
		return 0;
	}
	return now - since;
}

std::string stalled_text(float seconds)
{
	return UTL_string_sub(T("The download has stalled: nothing has arrived for %1:time%."), time_str(seconds));
}

std::string install_name_problem(const std::string& name)
{
	if (name.empty()) return T("Please pick a name for your Ventora 9 installation...");
	if (name.find('/') != std::string::npos)
		return UTL_string_sub(T("The name '%1:install name%' cannot be used: a folder name cannot hold a '/'."), name);
	if (name == "." || name == "..")
		return UTL_string_sub(T("The name '%1:install name%' cannot be used: it stands for an existing folder."), name);
	// Longer names are refused by the system when the folder is made.
	if (name.size() > 255) return T("The name is too long for a folder name; please pick a shorter one.");
	return std::string();
}
