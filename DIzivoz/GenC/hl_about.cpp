#include "DIzivoz/GenC/hl_about.h"

#include "DIzivoz/GenC/hl_alert.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/UTL/UTL_translate.h"

bool about_read_serverlist(const std::string& path, about_serverlist* out)
{
	xmap_class m(path);
	const int versions[] = {820, 0};
	if (!m.begin || m.check_file(file_type_text, versions, "SERVERS", nullptr) != 820) {
		xer << "The server list " << path << " has no valid header; no version information.\n";
		return false;
	}
	about_serverlist l;
	std::istringstream in(std::string(m.cursor, m.end));
	std::string line;
	auto to_int = [](const std::string& s, int* v) {
		char* e = nullptr;
		long n = std::strtol(s.c_str(), &e, 10);
		if (e == s.c_str()) return;
		*v = (int)n;
	};
	while (std::getline(in, line)) {
		if (!line.empty() && line.back() == '\r') line.pop_back();
		std::istringstream f(line);
		std::string key;
		if (!(f >> key)) continue;
		std::string rest;
		std::getline(f >> std::ws, rest);
		while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
		std::istringstream rf(rest);
		std::string a, b;
		rf >> a >> b;
		if (key == "BETA") l.version_str_net_beta = rest;
		else if (key == "FINAL") {
			l.version_str_net = rest;
			l.version_str_found = 1;
		}
		// A Linux program starts a Linux updater; the _MAC lines are skipped.
		else if (key == "BETA_INSTALLER_LIN") l.beta_server = a, l.beta_path = b;
		else if (key == "FINAL_INSTALLER_LIN") l.final_server = a, l.final_path = b;
		else if (key == "BETA_VERSION") to_int(a, &l.version_beta);
		else if (key == "FINAL_VERSION") to_int(a, &l.version_final);
	}
	*out = l;
	return true;
}

about_decision about_decide(const about_serverlist& l)
{
	about_decision d;
	const std::string site = ventora_web_site;
	if (l.version_final == -1) {
		d.err_msg = UTL_translate_string("Can't connect to the net to find latest version.");
		return d;
	}
	if (l.version_final == about_this_version) {
		d.is_latest = 1;
		d.err_msg = UTL_translate_string("Your version of Ventora is up to date.");
		return d;
	}
	if (l.version_final < about_this_version) {
		if (l.version_beta < about_this_version + 1) {
			d.is_latest = 1;
			d.err_msg = UTL_translate_string("You have the latest Ventora beta.");
			return d;
		}
		d.is_beta = 1;
	}
	d.installer_server = d.is_beta ? l.beta_server : l.final_server;
	d.installer_path = d.is_beta ? l.beta_path : l.final_path;
	// The download takes a bare host name and an absolute path; anything else
	// counts as no archive (the client would stop the program on it).
	const bool host_ok = !d.installer_server.empty() && d.installer_server.back() != '/';
	const bool path_ok = !d.installer_path.empty() && d.installer_path[0] == '/';
	if (host_ok && path_ok) {
		d.ins_state = 1;
		return d;
	}
	if (!d.installer_server.empty() || !d.installer_path.empty())
		xer << "The server list names an updater archive that cannot be fetched: " << d.installer_server << " "
		    << d.installer_path << "\n";
	d.installer_server.clear();
	d.installer_path.clear();
	d.err_msg = d.is_beta ? UTL_translate_string("A newer beta of Ventora is available on the web site ") + site + "."
	                      : UTL_translate_string("A newer version of Ventora is available on the web site ") + site + ".";
	return d;
}

// ---- the window ---------------------------------------------------------------

namespace {

const char* const list_file = "Resources/preferences/serverlist9.txt";
const char* const archive_file = "Resources/preferences/installer.zip";

// Statics of the window; reset at each opening.
std::string version_str_net, version_str_net_beta;
int version_final = -1, version_beta = -1;
int version_str_found = 0;
int is_beta = 0, is_latest = 0;
std::string installer_server, installer_path, installer_app_name, err_msg;
int ins_state = 0;
about_view view;

// A translated text with "%s", "%d" and "%%" filled in without printf, so a
// translation with other conversions cannot read past its arguments.
std::string fill_text(const std::string& fmt, const std::string& s, long long n)
{
	std::string out;
	for (size_t i = 0; i < fmt.size(); ++i) {
		if (fmt[i] == '%' && i + 1 < fmt.size()) {
			const char c = fmt[i + 1];
			if (c == '%') out += '%';
			else if (c == 's') out += s;
			else if (c == 'd') out += std::to_string(n);
			else {
				out += fmt[i];
				continue;
			}
			++i;
			continue;
		}
		out += fmt[i];
	}
	return out;
}

// The first component of an archive entry's name: the item the archive holds.
std::string top_item(const std::string& entry)
{
	std::string t = entry.substr(0, entry.find('/'));
	if (t == "." || t == "..") t.clear();
	return t;
}

void take_list(int result)
{
	about_serverlist l;
	if (result == net_finished) about_read_serverlist(app_path + list_file, &l);
	version_str_net = l.version_str_net;
	version_str_net_beta = l.version_str_net_beta;
	version_final = l.version_final;
	version_beta = l.version_beta;
	version_str_found = l.version_str_found;
	const about_decision d = about_decide(l);
	is_beta = d.is_beta;
	is_latest = d.is_latest;
	installer_server = d.installer_server;
	installer_path = d.installer_path;
	err_msg = d.err_msg;
	ins_state = d.ins_state;
}

void step_download()
{
	const int r = http.net_check(1, installer_server, installer_path, app_path + archive_file);
	if (r == net_busy) {
		const down_class* d = http.slot[1];
		// A percentage only when the size is known and positive.
		if (d && d->mExpected > 0)
			err_msg = fill_text(UTL_translate_string("Downloading the installer...%d%% complete"), "",
			               std::min<long long>(100, d->mReceived * 100 / d->mExpected));
		else
			err_msg = UTL_translate_string("Downloading the installer...");
		return;
	}
	if (r == net_failed) {
		err_msg = UTL_translate_string("I was unable to download the installer from the net.");
		ins_state = 4;
		return;
	}
	std::string first;
	const int err = zip_to_file(archive_file, "", &first, 0);
	if (err) {
		err_msg = fill_text(UTL_translate_string("There was an error unzipping the installer: %s (%d)"), error_str(err), err);
		ins_state = 4;
		return;
	}
	installer_app_name = top_item(first);
	ins_state = 3;
}

void step_launch()
{
	// An archive without a named item would start this program again.
	int err = ENOENT;
	if (!installer_app_name.empty()) {
		std::string folder;
		get_OS_abs_path(os_dir_this_app, folder);
		err = MACIBM_launch_in_place(installer_app_name, folder, 1);
	}
	// Only a start that failed comes back.
	err_msg = fill_text(UTL_translate_string("There was an error launching the installer: %s (%d)"), error_str(err), err);
	ins_state = 4;
}

void draw()
{
	shell_plot_back_col();
	shell_fillwin(1, 21);
	shell_subwin_alert();
	const float wrap = mnw.wind_dx - 40;
	std::string current;
	if (is_beta && !version_str_net_beta.empty())
		current = UTL_string_sub(UTL_translate_string("The current beta version of Ventora is now %1:version%."),
		                         version_str_net_beta);
	else if (version_str_found)
		current = UTL_string_sub(UTL_translate_string("The current version of Ventora is now %1:version%."),
		                         version_str_net);
	else
		current = UTL_string_sub(UTL_translate_string("I could not find the current version of Ventora on %1:web site%."),
		                         ventora_web_site);
	struct line {
		int colour;
		std::string text;
	} lines[] = {
	    {43, current},
	    {43, about_build_name},
	    {47, UTL_translate_string("Written and kept up by the Ventora team at Tarnwick.")},
	    {47, ventora_web_site},
	    {47, UTL_translate_string("Art, intro screen and icons: the Tarnwick art team and its artwork generator.")},
	    {47, UTL_translate_string("Code subroutines: zlib, libpng, FreeType, minizip, libarchive, SDL2 and the FFmpeg libraries.")},
	    {47, UTL_translate_string("Linux port: the Tarnwick platform team, on SDL2, Mesa and POSIX.")},
	    {47, UTL_translate_string("Airport and navigation data: the Tarnwick data team.")},
	    {47, UTL_string_sub(UTL_translate_string("Additional elevation data and forest prototypes: the Tarnwick scenery team (%1:web page%)."),
	                        std::string(ventora_web_site) + "/scenery")},
	};
	// Inside the panel (y 35 .. height - 28): the credits from 6 units below
	// its top, 6 units between them; the status above the buttons, in dark
	// orange on the white panel (contrast about 7:1), two lines at most.
	float y = mnw.wind_dy - 43;
	for (const line& l : lines) y = shell_string_y(l.colour, 20, y, l.text, wrap) - 6;
	if (ins_state == 2 || ins_state == 4) shell_string_y(about_status_colour, 20, 56, err_msg, wrap);
}

}  // namespace

const about_view& MACIBM_about_view() { return view; }

void MACIBM_about()
{
	version_str_net.clear();
	version_str_net_beta.clear();
	version_final = version_beta = -1;
	version_str_found = is_beta = is_latest = 0;
	installer_server.clear();
	installer_path.clear();
	installer_app_name.clear();
	err_msg.clear();
	ins_state = 0;
	int checking = 1;
	make_folder("Resources/");
	const int made = make_folder("Resources/preferences/");
	if (made && made != EEXIST) xer << "About: could not make Resources/preferences/ (" << error_str(made) << ")\n";
	http.cancel(0);
	++view.list_fetches;
	// The host is a preference: a name the client would refuse (and stop the
	// program on) counts as no list.
	if (web_host.empty() || web_host.back() == '/' || web_host.find_first_of(" \t") != std::string::npos) {
		xer << "About: the web host preference '" << web_host << "' is no host name; no version check.\n";
		checking = 0;
		take_list(net_failed);
	}

	MACIBM_startwind(993, 0);
	stls[stls_entry_title] = UTL_translate_string("About Ventora");
	view.open = 1;
	int shown_state = ins_state;
	while (mnw.wind_type == 993) {
		// One fetch per opening: its end, done or failed, decides. A fetch is
		// polled again within the frame's work budget.
		auto poll = [&] {
			if (checking) {
				const int r = http.net_check(0, web_host, "/serverlist9.txt", app_path + list_file);
				if (r != net_busy) {
					checking = 0;
					take_list(r);
				}
			}
			if (ins_state == 2) step_download();
		};
		const bool launch = ins_state == 3;
		if (checking || ins_state == 2) {
			frame_work work;
			poll();
			while ((checking || ins_state == 2) && work.more()) {
				usleep(200);
				poll();
			}
		}
		if (launch) step_launch();
		if (ins_state != shown_state) {
			shown_state = ins_state;
			BTN_layout_new_scene();
		}

		draw();
		const std::string label = ins_state == 1 ? (is_beta ? UTL_translate_string(" Get New Beta! ")
		                                                    : UTL_translate_string("Update Ventora!"))
		                                         : std::string();
		view.ins_state = ins_state;
		view.status = (ins_state == 2 || ins_state == 4) ? err_msg : std::string();
		view.button = label;
		if (shell_action(191, 17, 0, UTL_translate_string("Visit the Ventora web site")))
			go_to_URL(std::string("http://") + ventora_web_site + "/");
		else if (!label.empty() && shell_action(492, 17, 0, label))
			ins_state = 2;
		// The launch comes in the next frame.
		if (ins_state == 3) MACIBM_frame_busy();
		if (mnw.wind_type == 993) MACIBM_event_proc();
	}
	view.open = 0;
	// Closed while working: a late answer must not land, a partial archive
	// must not stay behind.
	if (checking) http.cancel(0);
	if (ins_state == 2) {
		http.cancel(1);
		delete_file(archive_file);
	}
}
