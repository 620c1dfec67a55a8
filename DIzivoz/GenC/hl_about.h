#pragma once
// The about window's online version check: the maker's server list and the
// decision against this build.
#include <string>

const int about_this_version = 91001;
const char* const about_build_name = "Ventora 9.10r1";
// Palette colour of the download status (dark orange), readable on the panel.
const int about_status_colour = 63;

// What the server list says; versions are -1 until read.
struct about_serverlist {
	std::string version_str_net, version_str_net_beta;
	int version_final = -1, version_beta = -1;
	int version_str_found = 0;  // the FINAL line was read
	std::string final_server, final_path, beta_server, beta_path;
};

// Reads the list at path (the maker's text header, version 820, keyword
// "SERVERS"); false, with nothing taken, when the file or its header is wrong.
bool about_read_serverlist(const std::string& path, about_serverlist* out);

// The decision: the status text, and for a newer release with a known
// archive its host and path with ins_state 1 (otherwise 4).
struct about_decision {
	int is_beta = 0, is_latest = 0;
	int ins_state = 4;
	std::string installer_server, installer_path;
	std::string err_msg;
};
about_decision about_decide(const about_serverlist& list);

// The about window (sub-window 993, modal): build, credits, the version check
// on download slot 0 (one fetch per opening) and, when a newer release has an
// archive, its download on slot 1, unpacking into the working folder and the
// start of the updater in place of this program. Returns when it is closed.
void MACIBM_about();

// What the open about window shows, for the window's test program.
struct about_view {
	int open = 0;
	int list_fetches = 0;  // fetches of the server list started since the program began
	int ins_state = 0;     // 0 while the list is fetched, then 1-4
	std::string status;    // the status or progress text
	std::string button;    // the update button's label, empty when none
};
const about_view& MACIBM_about_view();
