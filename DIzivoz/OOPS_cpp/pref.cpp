#include "DIzivoz/OOPS_cpp/pref.h"
#include "DIzivoz/GenH/hl_maker.h"

#include <climits>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/UTL/UTL_cmdline.h"

pref_class pref;

namespace {

const int k_pref_version = 9002;

// Reads a number the way atoi does (blanks, a sign, digits up to the first
// other character, 0 when none), saturating instead of overflowing.
int read_int(const std::string& text)
{
	size_t i = 0;
	while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
	bool neg = false;
	if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
	long long v = 0;
	while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
		if (v <= (long long)INT_MAX + 1) v = v * 10 + (text[i] - '0');
		++i;
	}
	if (neg) return v > (long long)INT_MAX + 1 ? INT_MIN : (int)-v;
	return v > INT_MAX ? INT_MAX : (int)v;
}

// A key given as "--pref:<key>" holds for this run only: what the file said
// (the line, or that there was none) goes back at exit, unless the value was
// changed during the run, as the preferences window does.
struct one_run_value {
	bool stored = false;   // the file had a line for the key
	std::string stored_text;
	std::string in_effect;  // as written, once start-up has settled it
};
std::map<std::string, one_run_value> one_run;

bool given_for_run(const std::string& key)
{
	return cmdline.has_option(("--pref:" + key).c_str());
}

// The value given for key: "--pref:<key>" on the command line first, then
// the file. False when neither has it.
bool find_value(const std::map<std::string, std::string>& values, const std::string& key,
                std::string* out)
{
	const std::string option = "--pref:" + key;
	if (cmdline.has_option(option.c_str())) {
		one_run_value& r = one_run[key];
		auto it = values.find(key);
		r.stored = it != values.end();
		r.stored_text = r.stored ? it->second : std::string();
		*out = cmdline.get_option(option.c_str());
		return true;
	}
	auto it = values.find(key);
	if (it == values.end()) return false;
	*out = it->second;
	return true;
}

}  // namespace

std::string pref_file_path(int type)
{
	switch (type) {
	case 10: return "Resources/preferences/Res Skyframe.prf";
	case 11: {
		std::string folder;
		get_OS_abs_path(os_dir_prefs, folder);
		if (folder.empty()) return std::string();
		if (folder.back() != '/') folder += '/';
		return folder + "Ventora Installer.prf";
	}
	case 12: return "Resources/preferences/Cal Ventora.prf";
	default: return std::string();
	}
}

scan_class::scan_class(const std::string& path, int in_mode) : mode(in_mode)
{
	if (path.empty()) {
		// No preferences folder: leave the shared writer to whoever holds it.
		if (mode == 1) xer << "WARNING: no folder for the preference file; settings not saved.\n";
		return;
	}
	if (mode == 2) return;
	if (mode == 1) {
		writing = ouf_open(path, file_type_text, k_pref_version, "no-copyright-string");
		return;
	}
	xmap_class map(path);
	static const int versions[] = {k_pref_version, 0};
	if (!map.check_file(file_type_text, versions, nullptr, nullptr)) return;
	while (map.cursor < map.end) {
		std::string key, value;
		map.TXT_str_scan_space(&key);
		map.TXT_str_scan_eoln(key.empty() ? nullptr : &value);
		if (!key.empty()) values[key] = value;  // a later line wins
	}
}

scan_class::~scan_class()
{
	if (writing && ouf.is_open()) ouf.close();
	writing = 0;
	values.clear();
}

// Write mode: true when the key's stored line (or none) was written in its
// place, because the value is a one-run value the run did not change.
bool scan_class::write_stored(const std::string& key, const std::string& text)
{
	auto it = one_run.find(key);
	if (mode == 2) {
		if (it != one_run.end()) it->second.in_effect = text;
		return true;
	}
	if (it == one_run.end() || it->second.in_effect != text) return false;
	if (writing && it->second.stored) ouf << key << " " << it->second.stored_text << "\n";
	return true;
}

int scan_class::int_io(int* value, const std::string& key)
{
	if (mode != 0) {
		if (write_stored(key, std::to_string(*value))) return 0;
		if (writing) ouf << key << " " << *value << "\n";
		return 0;
	}
	std::string text;
	if (!find_value(values, key, &text)) return 0;
	*value = read_int(text);
	return 1;
}

int scan_class::str_io(std::string* value, const std::string& key)
{
	if (mode != 0) {
		// A line end inside the text would start a line of its own in the
		// file and could never be read back as part of this value.
		std::string line = value->substr(0, value->find_first_of(std::string("\r\n\0", 3)));
		if (write_stored(key, line)) return 0;
		if (writing && !line.empty()) ouf << key << " " << line << "\n";
		return 0;
	}
	std::string text;
	if (!find_value(values, key, &text)) return 0;
	*value = text;
	return 1;
}

void pref_class::IO_set(int type, int write)
{
	// Requested sizes kept by the preference code itself for the life of the program.
	static int x_res_req_PLN = 0, y_res_req_PLN = 0;
	static int x_res_req_WRL = 0, y_res_req_WRL = 0;
	static int x_res_req_ALL = 0, y_res_req_ALL = 0;
	static int keylist_up = 0;

	if (type != 10 && type != 11 && type != 12) return;
	const int mode = write == 2 ? 2 : write ? 1 : 0;
	if (mode == 0) one_run.clear();
	scan_class scan(mode == 2 ? std::string("-") : pref_file_path(type), mode);

	if (type == 10) {
		if (mode == 1) {
			mnw.prefs_found = 1;
			x_res_req_ALL = mnw.x_res_req;
			y_res_req_ALL = mnw.y_res_req;
		}
		scan.int_io(&x_res_req_PLN, "_x_res_req_PLN");
		scan.int_io(&y_res_req_PLN, "_y_res_req_PLN");
		scan.int_io(&x_res_req_WRL, "_x_res_req_WRL");
		scan.int_io(&y_res_req_WRL, "_y_res_req_WRL");
		scan.int_io(&x_res_req_ALL, "_x_res_req_ALL");
		scan.int_io(&y_res_req_ALL, "_y_res_req_ALL");
		if (mode == 0) {
			mnw.x_res_req = x_res_req_ALL;
			mnw.y_res_req = y_res_req_ALL;
		}
		scan.int_io(&mnw.bit_depth_req, "_col_res_req");
		scan.int_io(&mnw.set_res, "_set_res");
		scan.int_io(&mnw.language, "_lang");
		scan.int_io(&mnw.aa_level_req, "_alias_req");
		scan.int_io(&keylist_up, "_keylist_up");
		scan.int_io(&mnw.second_window, "_sec_mon_inuse");
		scan.int_io(&mnw.prefs_found, "_prefs_found");
		if (mnw.x_res_req < 600 || mnw.x_res_req > 9999) mnw.x_res_req = 1024;
		if (mnw.y_res_req < 600 || mnw.y_res_req > 9999) mnw.y_res_req = 768;
	} else if (type == 11) {
		scan.int_io(&stg.stream_count, "_stream_count");
		scan.int_io(&stg.log_actions, "_log_actions");
		scan.str_io(&http.proxy_host, "_proxy_host");
		scan.str_io(&http.proxy_port_text, "_proxy_port");
		scan.int_io(&http.proxy_port, "_proxy_port_int");
		scan.int_io(&stg.get_beta, "_get_beta");
		if (mode == 0) {
			// The port text follows the port number at start-up: one given
			// for the run makes the other one-run too.
			const char* const pair[2][2] = {{"_proxy_port", "_proxy_port_int"}, {"_proxy_port_int", "_proxy_port"}};
			for (const auto& p : pair) {
				const char* k = p[0];
				if (given_for_run(p[1]) && !one_run.count(k)) {
					one_run_value& r = one_run[k];
					auto it = scan.values.find(k);
					r.stored = it != scan.values.end();
					r.stored_text = r.stored ? it->second : std::string();
				}
			}
		}
		// The hosts are written only when changed (an empty text is not written).
		struct host_pref {
			std::string* value;
			const char* def;
			const char* key;
		} hosts[] = {{&web_host, default_web_host, "_web_host"},
		             {&store_host, default_store_host, "_store_host"},
		             {&download_page, default_download_page, "_download_page"}};
		for (auto& h : hosts) {
			if (mode != 0) {
				std::string v = *h.value == h.def ? std::string() : *h.value;
				scan.str_io(&v, h.key);
			} else {
				scan.str_io(h.value, h.key);
				if (h.value->empty()) *h.value = h.def;
			}
		}
	}
	if (scan.writing && ouf.is_open()) ouf.close();
	scan.writing = 0;
	// What was read is in effect until start-up settles it further.
	if (mode == 0 && !one_run.empty()) IO_set(type, 2);
}

int pref_class::IO_sta(int, int, std::string) { return 0; }
