// Installation engine: manifest reader, install filters, newer-release alerts,
// the per-file update decision and the disk-space totals.
#include "Installer-f/utils.h"

#include "Installer-f/utils_scan.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_string.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/UTL/UTL_translate.h"

std::vector<file_history_struct> sim_info;
std::set<std::string> deleted_files;
std::string dest_dir_path;

const char* const ventora_download_page = default_download_page;

static const char* const utils_src = "Installer-f/utils";

// ---------------------------------------------------------------------------
// Manifest reader

namespace {

// A path we would write below the destination folder must stay inside it.
bool path_is_safe(const std::string& path)
{
	if (path.empty() || path[0] == '/') return false;
	size_t start = 0;
	while (start <= path.size()) {
		size_t slash = path.find('/', start);
		size_t stop = (slash == std::string::npos) ? path.size() : slash;
		std::string comp = path.substr(start, stop - start);
		if (comp.empty() || comp == "..") return false;
		if (slash == std::string::npos) break;
		start = slash + 1;
	}
	return true;
}

void clear_manifest_results()
{
	sim_info.clear();
	std::memset(stg.scenery_available, 0, sizeof(stg.scenery_available));
	stg.has_global = 0;
	stg.has_sim = 0;
}

}  // namespace

int read_directory(const std::string& path, const std::string& message)
{
	deleted_files.clear();
	stg.total_download_kb = 0;
	stg.total_install_kb = 0;
	stg.count_install = 0;
	stg.count_delete = 0;
	clear_manifest_results();

	if (!message.empty()) xer << message << "\n";

	xmap_class map(path);
	if (map.begin == nullptr) {
		__MACIBM_alert(0, "I tried to read a directory file that does not exist!", "The file is:", path, "",
		               alert_fatal, utils_src, 197);
		return 2;
	}

	static const int versions[] = {840, 900, 0};
	if (map.check_file(10001, versions, "INSTALLER", nullptr) == 0) {
		new_format(path);
		return 2;
	}

	text_scanner in{map.cursor, map.end};
	// One entry a FILE line at most, made room for at once: a vector that
	// doubles holds up to twice what it needs while it is copied.
	size_t lines = 0;
	for (const char* p = in.p; p < in.e; ++p) {
		if ((p == in.p || p[-1] == '\n' || p[-1] == '\r') && in.e - p > 4 && std::memcmp(p, "FILE", 4) == 0) ++lines;
		const void* nl = std::memchr(p, '\n', (size_t)(in.e - p));
		if (!nl) break;
		p = (const char*)nl;
	}
	sim_info.reserve(lines);
	// The text read so far is let go as the reader moves on, so the whole
	// file is never resident beside what was made of it.
	const long page = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;
	const char* released = map.begin;
	std::string dir_text;
	int disk = 0;
	std::string last_path;
	bool have_last = false;

	while (!in.at_end()) {
		if (in.p - released >= (8 << 20)) {
			const char* upto = map.begin + ((in.p - map.begin) / page) * page;
			madvise((void*)released, (size_t)(upto - released), MADV_DONTNEED);
			released = upto;
		}
		const char* line_start = in.p;
		std::string word = in.token();
		if (in.at_end() || !TXT_is_blank(*in.p)) {
			// Not a keyword followed by a blank: skip the line whole.
			in.skip_line();
			continue;
		}
		if (word == "DIR") {
			dir_text = in.rest_of_line();
		} else if (word == "DISK") {
			disk = in.number();
			in.skip_line();
		} else if (word == "FILE") {
			file_version_struct v;
			in.number();  // reserved, written 0
			const int platform = in.number();
			v.platform = (int16_t)(platform < 0 ? 0 : platform > 6 ? 6 : platform);
			v.version = in.number();
			v.download_kb = (float)in.number();
			v.install_kb = (float)in.number();
			v.sig_want = in.token();
			std::string name = in.rest_of_line();
			v.disk = (int16_t)disk;

			bool special = name.find("900 red terrain") != std::string::npos ||
			               name.find("Earth Orbit Textures") != std::string::npos;
			v.path = dir_text + name;
			v.is_global = is_global_scenery_f(v.path.c_str());
			int lon = 0, lat = 0;
			if (v.is_global && !find_sector(&lon, &lat, v.path)) v.is_global = 0;
			v.lon_index = (int16_t)lon;
			v.lat_index = (int16_t)lat;
			if (special) continue;

			if (!have_last || v.path != last_path) sim_info.emplace_back();
			last_path = v.path;
			have_last = true;

			if (v.path.empty() || path_has_no_file(v.path)) {
				__MACIBM_alert(0, "I am reading the directory text file and found a path that has no file!",
				               "This is impossible to download or delete!", "It is:", v.path, alert_fatal,
				               utils_src, 262);
				clear_manifest_results();
				return 2;
			}
			if (!path_is_safe(v.path)) {
				const char* line_end = line_start;
				while (line_end < in.e && !TXT_is_eoln(*line_end)) ++line_end;
				xer << "Refusing the manifest, unsafe path in line: " << std::string(line_start, line_end)
				    << "\n";
				clear_manifest_results();
				return 2;
			}
			sim_info.back().push_back(v);
		} else {
			in.skip_line();
		}
	}

	int scenery_files = 0, sim_files = 0;
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& v = h.back();
		if (v.is_global) {
			stg.scenery_available[v.lon_index][v.lat_index] = 1;
			++scenery_files;
		} else {
			++sim_files;
		}
	}
	stg.has_global = scenery_files > 0;
	stg.has_sim = sim_files > 0;
	return 3;
}

static bool ends_with_dsf_nocase(const std::string& s)
{
	if (s.size() <= 4) return false;
	const char* t = s.c_str() + s.size() - 4;
	return t[0] == '.' && (t[1] == 'd' || t[1] == 'D') && (t[2] == 's' || t[2] == 'S') &&
	       (t[3] == 'f' || t[3] == 'F');
}

int is_global_scenery_f(const char* path)
{
	if (path == nullptr) return 0;
	std::string s(path);
	bool in_folder = s.find("Global Scenery/") != std::string::npos ||
	                 s.find("/-global overlays-/") != std::string::npos ||
	                 s.find("/-global terrain-/") != std::string::npos ||
	                 s.find("/default scenery/DSF 820") != std::string::npos;
	return (in_folder && ends_with_dsf_nocase(s)) ? 1 : 0;
}

int find_sector(int* lon_index, int* lat_index, std::string path)
{
	if (!path.empty() && path.back() == '/') path.pop_back();
	size_t slash = path.rfind('/');
	std::string name = (slash == std::string::npos) ? path : path.substr(slash + 1);
	int lat = str_to_int(name.substr(0, 3));
	int lon = str_to_int(name.size() > 3 ? name.substr(3, 4) : std::string());
	*lat_index = (lat + 90) / 10;
	*lon_index = (lon + 180) / 10;
	return (*lat_index >= 0 && *lat_index <= 17 && *lon_index >= 0 && *lon_index <= 35) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Newer-release alerts

void new_installer(std::string url)
{
	__MACIBM_alert(0, UTL_translate_string("There is a newer version of the Ventora web demo installer available."),
	               UTL_translate_string("I will take you to the web page where you can downoad it."), "", "",
	               alert_warning, utils_src, 331);
	go_to_URL(url);
	app_done = 1;
}

void new_format(std::string path)
{
	__MACIBM_alert(
	    0,
	    UTL_translate_string("OK I am checking the Tarnwick servers and I am finding file formats that are newer than I can understand!"),
	    UTL_translate_string("In other words, you need to get a new installer!"),
	    UTL_translate_string("No problem... grab it at the download section of ") + ventora_web_site + ".",
	    path, alert_warning, utils_src, 343);
	go_to_URL(download_page);
	stg.format_status = 2;
	app_done = 1;
}

// ---------------------------------------------------------------------------
// Install filters

static int g_want_sim = 1;
static int g_want_global = 1;

void set_install_filter(int want_sim, int want_global)
{
	g_want_sim = want_sim;
	g_want_global = want_global;
}

int want_this_f(int file, int version)
{
	if (file < 0 || file >= (int)sim_info.size()) return 0;
	const file_history_struct& h = sim_info[file];
	if (version < 0 || version >= (int)h.size()) return 0;
	const file_version_struct& v = h[version];
	if (v.is_global ? !g_want_global : !g_want_sim) return 0;
	return (v.platform == stg.platform || v.platform == 0 || (v.platform == 6 && stg.platform == 3)) ? 1 : 0;
}

void scenery_take_all()
{
	std::memcpy(stg.scenery_selected, stg.scenery_available, sizeof(stg.scenery_selected));
}

void scenery_from_install()
{
	std::memset(stg.scenery_selected, 0, sizeof(stg.scenery_selected));
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& v = h.back();
		if (v.is_global && v.sig_have != "NONE") stg.scenery_selected[v.lon_index][v.lat_index] = 1;
	}
}

void trim_dest_folder(std::string& path)
{
	size_t slash = path.find('/');
	if (slash != std::string::npos) path.erase(0, slash + 1);
}

std::string suffix_for_file(int file)
{
	if (file < 0 || file >= (int)sim_info.size()) return ".zip";
	return sim_info[file].back().path.find("Global Scenery") != std::string::npos ? ".7z" : ".zip";
}

int path_has_no_file(std::string path)
{
	return (!path.empty() && path.back() == '/') ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Update decision

static std::string dest_path_of(const file_version_struct& v)
{
	std::string rel = v.path;
	trim_dest_folder(rel);
	return dest_dir_path + rel;
}

namespace {

// The part of a manifest path below the release's top folder: what decides
// the destination.
std::string_view dest_rel_of(const file_version_struct& v)
{
	const size_t slash = v.path.find('/');
	std::string_view p(v.path);
	return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Files by destination, without a copy of every path: a manifest may hold
// a million files, and a map of their paths costs more than the manifest.
class dest_index {
public:
	// Over the files include accepts (every file without one).
	explicit dest_index(const std::function<bool(int)>& include = nullptr)
	{
		if (!include) keys_.reserve(sim_info.size());
		for (int f = 0; f < (int)sim_info.size(); ++f)
			if (!include || include(f)) keys_.emplace_back(key_of(f), f);
		std::sort(keys_.begin(), keys_.end());
	}
	// Calls fn(o) for every indexed file o whose destination is f's (f too when indexed).
	void each_same(int f, const std::function<void(int)>& fn) const
	{
		const std::string_view rel = dest_rel_of(sim_info[f].back());
		const uint64_t k = key_of(f);
		auto it = std::lower_bound(keys_.begin(), keys_.end(), std::make_pair(k, -1));
		for (; it != keys_.end() && it->first == k; ++it)
			if (it->second == f || dest_rel_of(sim_info[it->second].back()) == rel) fn(it->second);
	}

private:
	static uint64_t key_of(int f) { return std::hash<std::string_view>()(dest_rel_of(sim_info[f].back())); }
	std::vector<std::pair<uint64_t, int>> keys_;
};

}  // namespace

static bool tile_selected(const file_version_struct& v)
{
	return stg.scenery_selected[v.lon_index][v.lat_index] != 0;
}

int choose_files()
{
	const int n = (int)sim_info.size();

	// Entries that share one destination (a file moved between platform
	// folders keeps its place on disk but gets a new history).
	const dest_index by_dest;
	auto effectively_gone = [](const file_version_struct& v) {
		return v.sig_want == "GONE" || (v.is_global && !tile_selected(v));
	};
	// Another wanted entry installs or keeps this destination.
	auto claimed_by_other = [&](int f) {
		bool claimed = false;
		by_dest.each_same(f, [&](int o) {
			if (o != f && want_this_f(o, (int)sim_info[o].size() - 1) && !effectively_gone(sim_info[o].back()))
				claimed = true;
		});
		return claimed;
	};
	auto is_known_release = [&](int f, const std::string& sig) {
		bool known = false;
		by_dest.each_same(f, [&](int o) {
			for (const file_version_struct& old : sim_info[o])
				if (old.sig_want == sig) known = true;
		});
		return known;
	};

	std::set<std::string> replace_all, keep_all;

	// A cancel leaves the files not yet visited undecided, never with the
	// flags of an earlier decision.
	for (file_history_struct& h : sim_info) {
		h.back().install = 0;
		h.back().remove = 0;
	}

	for (int f = 0; f < n; ++f) {
		file_version_struct& v = sim_info[f].back();
		int take = want_this_f(f, (int)sim_info[f].size() - 1);
		if (!take) continue;

		bool gone = v.sig_want == "GONE";
		bool present = v.sig_have != "NONE";
		bool same = present && v.sig_have == v.sig_want;
		if (v.is_global && !tile_selected(v)) {
			gone = true;
			same = false;
		}

		if (!present) {
			if (gone) take = 0;
		} else if (same) {
			take = 0;
		} else if (gone && claimed_by_other(f)) {
			take = 0;  // the file lives on under the other entry
		} else if (is_known_release(f, v.sig_have)) {
			// untouched older release: replace or delete silently
		} else {
			const std::string dpath = dest_path_of(v);
			std::string folder = dpath.substr(0, dpath.rfind('/') + 1);
			if (replace_all.count(folder)) {
				take = 1;
			} else if (keep_all.count(folder)) {
				take = 0;
			} else {
				xer << "File: " << dpath << "  sig_want=" << v.sig_want << "  sig_have=" << v.sig_have << "\n";
				switch (select_alert(dpath, gone ? 1 : 0)) {
				case 1: take = 1; break;
				case 2: take = 0; break;
				case 4: replace_all.insert(folder); take = 1; break;
				case 5: keep_all.insert(folder); take = 0; break;
				default: return 0;
				}
			}
		}
		v.install = take && !gone;
		v.remove = take && gone;
	}

	double sum = 0;
	for (file_history_struct& h : sim_info)
		if (h.back().install) sum += h.back().install_kb;
	if (sum > 0) {
		double run = 0;
		for (file_history_struct& h : sim_info) {
			file_version_struct& v = h.back();
			v.progress_start = (float)(run / sum);
			if (v.install) run += v.install_kb;
		}
	} else {
		for (file_history_struct& h : sim_info) h.back().progress_start = 0.5f;
	}
	return 1;
}

void recalc_disk_sizes()
{
	stg.total_download_kb = 0;
	stg.total_install_kb = 0;
	stg.count_install = 0;
	stg.count_delete = 0;
	for (int f = 0; f < (int)sim_info.size(); ++f) {
		const file_version_struct& v = sim_info[f].back();
		int wanted = want_this_f(f, (int)sim_info[f].size() - 1);
		if (v.sig_want != "GONE" && v.have_is_want == 0 && wanted && (!v.is_global || tile_selected(v))) {
			stg.total_download_kb += v.download_kb;
			stg.total_install_kb += v.install_kb;
			stg.count_install += 1;
		}
		if (v.is_global && !tile_selected(v) && v.have_is_want == 1 && wanted) stg.count_delete += 1;
	}
	// Files the release dropped that the copy still holds are work too: a
	// release that only drops files must not look like nothing to do. A file
	// that lives on under another wanted entry is not deleted.
	auto kept = [](int f) {
		const file_version_struct& v = sim_info[f].back();
		return want_this_f(f, (int)sim_info[f].size() - 1) && v.sig_want != "GONE" &&
		       (!v.is_global || tile_selected(v));
	};
	std::vector<int> dropped;
	for (int f = 0; f < (int)sim_info.size(); ++f) {
		const file_version_struct& v = sim_info[f].back();
		if (want_this_f(f, (int)sim_info[f].size() - 1) && v.sig_want == "GONE" && v.sig_have != "NONE")
			dropped.push_back(f);
	}
	if (dropped.empty()) return;
	const dest_index kept_dests(kept);
	for (int f : dropped) {
		bool lives_on = false;
		kept_dests.each_same(f, [&](int) { lives_on = true; });
		if (!lives_on) stg.count_delete += 1;
	}
}

// ---------------------------------------------------------------------------
// The modified-file question

static int default_asker(const select_alert_question& q)
{
	// No shell to ask through: keep the user's file.
	xer << "No one to ask about " << q.path << ": keeping the old file.\n";
	return 2;
}

static select_alert_asker g_asker;

void select_alert_set_asker(select_alert_asker asker)
{
	g_asker = std::move(asker);
}

select_alert_question select_alert_make_question(const std::string& path, int is_delete)
{
	select_alert_question q;
	q.title = UTL_translate_string("Modified File");
	q.path = path;
	if (is_delete) {
		q.message1 = UTL_translate_string("I am about to DELETE:");
		q.message2 = UTL_translate_string("because we no longer use this file, but it appears you have modified it. What to do?");
	} else {
		q.message1 = UTL_translate_string("I am about to install:");
		q.message2 = UTL_translate_string("but it appears you have modified this file. What to do?");
	}
	// Three rows: this file, every file, and the whole installation on its
	// own, so the longest labels of every language fit the window's width.
	q.buttons = {
	    {96, 78, 160, UTL_translate_string(is_delete ? "DELETE THE OLD FILE" : "OVERWRITE THE OLD FILE"), 1},
	    {96, 53, 160, UTL_translate_string("KEEP THE OLD FILE"), 2},
	    {308, 78, 260,
	     UTL_translate_string(is_delete ? "DELETE EVERY OLD FILE IN THIS DIRECTORY"
	                                    : "OVERWRITE EVERY OLD FILE IN THIS DIRECTORY"),
	     4},
	    {308, 53, 260, UTL_translate_string("KEEP EVERY OLD FILE IN THIS DIRECTORY"), 5},
	    {96, 28, 160, UTL_translate_string("CANCEL THE WHOLE INSTALLATION!"), 3},
	};
	return q;
}

int select_alert(std::string path, int is_delete)
{
	select_alert_question q = select_alert_make_question(path, is_delete);
	int answer = g_asker ? g_asker(q) : default_asker(q);
	// A window closed any other way cancels.
	return (answer >= 1 && answer <= 5) ? answer : 3;
}
