#pragma once
// The about window's online version check: the maker's server list and the
// decision against this build.
#include <string>

const int about_this_version = 91001;
const char* const about_build_name = "Ventora 9.10r1";

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
