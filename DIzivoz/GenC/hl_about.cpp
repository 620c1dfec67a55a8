#include "DIzivoz/GenC/hl_about.h"

#include <cstdlib>
#include <sstream>

#include "DIzivoz/GenC/hl_maker.h"
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
	if (!d.installer_server.empty() && !d.installer_path.empty()) {
		d.ins_state = 1;
		return d;
	}
	d.err_msg = d.is_beta ? UTL_translate_string("A newer beta of Ventora is available on the web site ") + site + "."
	                      : UTL_translate_string("A newer version of Ventora is available on the web site ") + site + ".";
	return d;
}
