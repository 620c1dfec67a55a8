#include "Installer-f/utils_dvd.h"

#include <algorithm>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_prefix.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_grab.h"
#include "Platform/plat_files.h"

int current_disk = 0;
int want_file_disk = 0;

namespace {

std::function<std::vector<std::string>()> volume_lister;

std::vector<std::string> volume_roots()
{
	std::vector<std::string> roots = volume_lister ? volume_lister() : APL_volume_roots();
	for (std::string& r : roots)
		if (r.empty() || r.back() != '/') r += '/';
	return roots;
}

bool is_set_identity(const std::string& path)
{
	xmap_class map(path);
	if (!map.begin) return false;
	static const int versions[] = {900, 0};
	return map.check_file(file_type_text, versions, "DVD", nullptr) == 900;
}

bool is_readable_file(const std::string& path)
{
	xmap_class map(path);
	return map.begin != nullptr || (file_exists(path) && APL_file_size(path) == 0);
}

// The set's name from the identity file's VERSION lines (the last one wins).
void scan_version_lines(const char* p, const char* end)
{
	static const char key[] = "VERSION";
	const size_t key_len = sizeof(key) - 1;
	while (p < end) {
		while (p < end && TXT_is_blank(*p)) ++p;
		if (p >= end) break;
		if ((size_t)(end - p) >= key_len && std::equal(key, key + key_len, p) &&
		    (p + key_len == end || TXT_is_white(p[key_len]))) {
			p += key_len;
			while (p < end && TXT_is_blank(*p)) ++p;
			const char* start = p;
			while (p < end && !TXT_is_eoln(*p)) ++p;
			install_name.assign(start, p);
			while (p < end && TXT_is_white(*p)) ++p;
			continue;
		}
		while (p < end && !TXT_is_eoln(*p)) ++p;
		while (p < end && TXT_is_white(*p)) ++p;
	}
}

std::string other_suffix(const std::string& suffix) { return suffix == ".7z" ? ".zip" : ".7z"; }

}  // namespace

void dvd_set_volume_lister(std::function<std::vector<std::string>()> lister) { volume_lister = std::move(lister); }

int dvd_install_name_ok(const std::string& name)
{
	if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return 0;
	return name == no_install_name ? 0 : 1;
}

void locate_installer_dvd(const std::string& wanted)
{
	for (const std::string& root : volume_roots()) {
		const bool ok = wanted.empty() ? is_set_identity(root + "dvd_version.txt") : is_readable_file(root + wanted);
		if (ok) {
			dvd_path = root;
			return;
		}
	}
}

void UTIL_scan_dvd()
{
	if (dvd_path.empty()) locate_installer_dvd();
	if (!dvd_path.empty() && install_name == no_install_name) {
		xmap_class map(dvd_path + "dvd_version.txt");
		static const int versions[] = {900, 0};
		if (map.begin && map.check_file(file_type_text, versions, "DVD", nullptr) == 900) {
			stg.server_count = 0;
			scan_version_lines(map.cursor, map.end);
		}
	}
	// A name that is no folder name would lead the reads below outside the disc.
	if (install_name == no_install_name || !dvd_install_name_ok(install_name) || stg.stage != stg_stage_fetch) return;

	const std::string archive = dvd_path + install_name + "/directory.txt.zip";
	const int err = zip_to_file(archive, temp_path, nullptr, 0);
	if (err != 0) {
		__MACIBM_alert(0, UTL_translate_string("DVD scan: The installer cannot extract a file."),
		               UTL_string_sub(UTL_translate_string("Error: %1:message%."), error_str(err)),
		               UTL_string_sub(UTL_translate_string("Compressed File  %1:file%."), archive),
		               UTL_string_sub(UTL_translate_string("Destination Path: %1:file%."), temp_path), alert_fatal,
		               "Installer-f/main", 428);
		return;
	}
	stg.stage = read_directory(
	    temp_path + "directory.txt",
	    UTL_translate_string("Scanning directory text file to see if you already have Ventora installed..."));
}

int dvd_set_disc_in_drive(int* number)
{
	*number = -1;
	if (!dvd_install_name_ok(install_name)) return 0;
	for (const std::string& root : volume_roots()) {
		const std::string set = root + install_name + "/";
		if (!dir_exists(set)) continue;
		for (const file_history_struct& h : sim_info) {
			if (h.empty()) continue;
			const std::string base = set + h.back().path;
			if (file_exists(base + ".zip") || file_exists(base + ".7z")) {
				*number = h.back().disk;
				break;
			}
		}
		return 1;
	}
	return 0;
}

std::string dvd_archive_rel(int file)
{
	if (file < 0 || file >= (int)sim_info.size()) return std::string();
	const std::string suffix = suffix_for_file(file);
	const std::string base = install_name + "/" + sim_info[file].back().path;
	if (!dvd_path.empty() && !file_exists(dvd_path + base + suffix) &&
	    file_exists(dvd_path + base + other_suffix(suffix)))
		return base + other_suffix(suffix);
	return base + suffix;
}

int UTIL_verify_disk()
{
	if (want_file_disk < 0 || want_file_disk >= (int)sim_info.size()) return 0;
	const file_version_struct& v = sim_info[want_file_disk].back();
	const std::string suffix = suffix_for_file(want_file_disk);
	for (const std::string& s : {suffix, other_suffix(suffix)}) {
		const std::string rel = install_name + "/" + v.path + s;
		locate_installer_dvd(rel);
		if (!dvd_path.empty() && file_exists(dvd_path + rel)) {
			current_disk = v.disk;
			return 1;
		}
	}
	return 0;
}

int UTIL_switch_disk(int eject)
{
	if (eject && !dvd_path.empty()) {
		// The raw eject must never reach a hard or USB disk that is mounted.
		if (APL_is_dvd_disk((short)APL_volume_of_path(dvd_path)))
			eject_dvd(dvd_path);
		else
			xer << "Not ejecting " << dvd_path << ": it is not an optical disc.\n";
		dvd_path.clear();
	}
	if (want_file_disk < 0 || want_file_disk >= (int)sim_info.size()) return 0;
	return sim_info[want_file_disk].back().disk;
}
