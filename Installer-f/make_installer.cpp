#include "Installer-f/make_installer.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <iostream>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "Installer-f/utils.h"
#include "Platform/plat_shell.h"

bool no_case_compare_string::operator()(const std::string& a, const std::string& b) const
{
	return strcasecmp(a.c_str(), b.c_str()) < 0;
}

// ---- settings -------------------------------------------------------------------
const char* const maker_default_src_fold = "/Ventora 9.00/";
const char* const maker_default_dst_fold_base = "/DVD_Masters/";
const char* const maker_default_old_dir_path = "/directory.txt";
double maker_disc_limit_kb = 630000;

int build_type = maker_default_build_type;
int reg = 0;
std::string old_dir_path = maker_default_old_dir_path;
std::string src_fold = maker_default_src_fold;
std::string dst_fold_base = maker_default_dst_fold_base;
std::string dst_folder;
std::string sim_name = "-";
const std::string ALL_str = "All";
const std::string APL_str = "Macintosh";
const std::string WIN_str = "Windows";
const std::string LIN_str = "Linux";

maker_expected_paths mk_paths;

int found_all_fold = 0, found_apl_fold = 0, found_win_fold = 0, found_LIN_fold = 0;
int found_ins_fold = 0, found_wpn_fold = 0, found_afl_fold = 0, found_acf_fold = 0;
int found_res_fold = 0, found_out_fold = 0, found_cus_fold = 0, found_glo_fold = 0;
int found_plug = 0, found_redt = 0, found_orbt = 0;
int found_men_file = 0, found_tex_file = 0, found_com_file = 0;

std::vector<std::string> comp_files;
std::set<std::string> comp_paths;
int num_files_rec = 0, num_files_use = 0, num_files_com = 0;
double zip_size_dvd = 0;
int dvd_now = 0;
std::string prev_dir;
std::map<std::string, int, no_case_compare_string> sim_info_index;

namespace {

const char* const src_file = "Installer-f/make_installer";

// Where the restricted threat data must never be shipped from.
const char* const restricted_res_folder = "Resources/restricted";

// Set by a fatal alert that came back (a capturing sink); every step stops.
bool stopped = false;

maker_progress_fn progress_show;
maker_poll_key_fn progress_poll;

// Disc folders this build made: a build that stops takes them away again, so
// the next build into the same output starts clean.
std::vector<std::string> made_discs;

// Master files the rules would ship but that are empty, so never packaged.
std::vector<std::string> empty_files;

// What is left to say about them: "" when they are gone (or there were none).
std::string remove_unfinished_discs()
{
	if (ouf.is_open()) ouf.close();
	ouf.clear();
	std::string left;
	for (const std::string& d : made_discs) {
		if (!dir_exists(d) || recursive_delete_folder(d) == 0) continue;
		const std::string say = "Remove " + d + " before the next build into this output folder.";
		xer << say << "\n";
		std::cerr << say << std::endl;
		if (left.empty()) left = say;
	}
	made_discs.clear();
	return left;
}

void fatal(const std::string& l1, const std::string& l2, const std::string& l3, const std::string& l4, int line)
{
	stopped = true;
	remove_unfinished_discs();
	__MACIBM_alert(0, l1, l2, l3, l4, alert_fatal, src_file, line);
}

void compute_expected_paths()
{
	maker_expected_paths& p = mk_paths;
	p.all_fold = src_fold + ALL_str + "/";
	p.apl_fold = src_fold + APL_str + "/";
	p.win_fold = src_fold + WIN_str + "/";
	p.lin_fold = src_fold + LIN_str + "/";
	p.ins_fold = p.all_fold + "Instructions/";
	p.wpn_fold = p.all_fold + "Weapons/";
	p.afl_fold = p.all_fold + "Airfoils/";
	p.acf_fold = p.all_fold + "Aircraft/";
	p.pfc_fold = p.all_fold + "install_pfc Aircraft/";
	p.res_fold = p.all_fold + "Resources/";
	p.out_fold = p.all_fold + "Output/";
	p.cus_fold = p.all_fold + "Custom Scenery/";
	p.glo_fold = p.all_fold + "Global Scenery/";
	p.plug_fold = p.all_fold + "Resources/plugins/";
	p.redt_fold = p.all_fold + "Resources/default scenery/900 red terrain/";
	p.orbt_fold = p.all_fold + "Resources/bitmaps/Earth Orbit Textures/";
	p.glo_over = p.all_fold + "Global Scenery/-global overlays-";
	p.glo_terr = p.all_fold + "Global Scenery/-global terrain-";
	p.mars = p.all_fold + "Custom Scenery/DSF 900 Mars World-Wide";
	p.moon = p.all_fold + "Custom Scenery/DSF 900 Moon World-Wide";
	p.men_file = p.all_fold + "Resources/menus/English/Ventora.txt";
	p.tex_file = p.all_fold + "Resources/text/English/Ventora.txt";
	p.com_file = p.all_fold + restricted_res_folder + "/ac_threat.dat";
}

struct expected_paths_init {
	expected_paths_init() { compute_expected_paths(); }
} expected_paths_init_now;

bool has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }
bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }
bool ends(const std::string& s, const char* tail)
{
	const size_t n = std::char_traits<char>::length(tail);
	return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

std::string disc_folder(int n) { return dst_fold_base + "disk_" + std::to_string(n) + "/"; }

// Size in bytes; a link counts as its own text, never as what it points to.
int64_t entry_size(const std::string& path)
{
	std::string p = path;
	set_path_to_full(p);
	struct stat st;
	if (p.empty() || lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
	return (int64_t)st.st_size;
}

// Whole kilobytes as the manifest carries them.
int64_t kb_of(int64_t bytes) { return bytes / 1000; }

std::string real_text(double v)
{
	char buf[64];
	std::snprintf(buf, sizeof(buf), "%f", v);
	return buf;
}

bool window_up() { return ogl_inited && mnw.window[0]; }

// The strip along the bottom of the window; the rest of the window is left alone.
void draw_strip(const std::string& status, const std::string& path)
{
	shell_fillrect(0, 1.0f, 0, 0, 1024, 30);
	shell_string(12, 10, 17, status, 9999, charset_regular, 0);
	shell_string(12, 10, 7, path, 9999, charset_regular, 0);
	shell_sbuff();
}

// Takes one pending event of the window: the character of a key press or
// auto-repeat, else 0. Events behind it wait for the next strip.
int poll_window_key()
{
	PLAT().make_current(mnw.window[0], mnw.context[0]);
	EventRecord e;
	if (!PLAT().next_event(&e, 0)) return 0;
	if (e.what != plat_evt_key_down && e.what != plat_evt_auto_key) return 0;
	return (int)(e.message & 0xFF);
}

void show_progress(const std::string& status, const std::string& path)
{
	const bool window = window_up();
	if (progress_show) progress_show(status, path);
	else if (window) draw_strip(status, path);
	else std::cout << status << " " << path << std::endl;
	const int key = progress_poll ? progress_poll() : window ? poll_window_key() : 0;
	if (key == 'q') {
		stopped = true;
		const bool begun = !made_discs.empty();
		const std::string left = remove_unfinished_discs();
		__MACIBM_alert(0, "You pressed Q, so the build was stopped.",
		               !begun ? "" : left.empty() ? "The disc folders it had begun were removed." : left, "", "",
		               alert_fatal, src_file, 214);
	}
}

void write_file_line(int platform, int version, int64_t dl_kb, int64_t in_kb, const std::string& sig,
                     const std::string& name)
{
	ouf << "FILE 0 " << platform << " " << version << " " << dl_kb << " " << in_kb << " " << sig << " "
	    << name << "\n";
}

void write_dir_line(const std::string& folder)
{
	if (folder == prev_dir) return;
	prev_dir = folder;
	ouf << "\nDIR " << folder << "\n";
}

// A disc folder made now (not found already there) is this build's.
int make_disc_folder(const std::string& folder)
{
	const int err = make_folder(folder);
	if (err == 0) made_discs.push_back(folder);
	return err;
}

// Every folder of an archive's folder chain below the disc masters root.
void make_chain(const std::string& file)
{
	std::vector<std::string> chain;
	std::string p = file;
	for (;;) {
		const size_t s = p.rfind('/');
		if (s == std::string::npos) break;
		p.erase(s);
		if (p.empty() || p.size() < dst_fold_base.size()) break;
		chain.push_back(p);
	}
	for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
		const bool disc = it->size() > dst_fold_base.size() && it->find('/', dst_fold_base.size()) == std::string::npos;
		if (disc) make_disc_folder(*it + "/");
		else make_folder(*it);
	}
}

// The master file's content as the scan sees it.
enum content_state { content_ok, content_unreadable, content_empty, content_other };
content_state content_of(const std::string& path, int* err)
{
	if (is_sim_link(path, nullptr)) return content_ok;
	std::string full = path;
	set_path_to_full(full);
	struct stat st;
	if (lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return content_other;
	const int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0) {
		*err = errno;
		return content_unreadable;
	}
	close(fd);
	return st.st_size == 0 ? content_empty : content_ok;
}

// Both folders as the file system resolves them (links and ".." followed).
bool folder_inside(const std::string& inner, const std::string& outer)
{
	std::string a = inner, b = outer;
	set_path_to_full(a);
	set_path_to_full(b);
	char ra[PATH_MAX], rb[PATH_MAX];
	if (!realpath(a.c_str(), ra) || !realpath(b.c_str(), rb)) return false;
	std::string x = std::string(ra) + "/", y = std::string(rb) + "/";
	if (y == "//") y = "/";
	return x.compare(0, y.size(), y) == 0;
}

}  // namespace

void maker_set_folders(const std::string& master, const std::string& disc_masters,
                       const std::string& previous_manifest)
{
	src_fold = master;
	dst_fold_base = disc_masters;
	old_dir_path = previous_manifest;
	compute_expected_paths();
}

void maker_set_progress_hooks(maker_progress_fn show, maker_poll_key_fn poll)
{
	progress_show = std::move(show);
	progress_poll = std::move(poll);
}

// ---- the scan ----------------------------------------------------------------------

void pref_level(const std::string& folder)
{
	// A new scan starts afresh; inner levels stop with the one that failed.
	static int depth = 0;
	if (depth == 0) stopped = false;
	struct level {
		level() { ++depth; }
		~level() { --depth; }
	} this_level;

	// A folder we cannot list would silently leave its files out of the release.
	{
		std::string full = folder;
		set_path_to_full(full);
		DIR* d = opendir(full.c_str());
		if (!d)
			return fatal("I cannot read this folder of the master!", folder, std::strerror(errno),
			             "Its files would be missing from the release: make it readable, or take it out.", 238);
		closedir(d);
	}

	std::vector<std::string> names;
	std::vector<int> types;
	opensave_getitems(folder, 0, names, types);
	const std::string all_folder = src_fold + ALL_str + "/";
	const maker_expected_paths& p = mk_paths;

	for (size_t i = 0; i < names.size() && !stopped; ++i) {
		const std::string& name = names[i];
		const bool is_folder = types[i] == ftype_folder;
		const std::string path = folder + name + (is_folder ? "/" : "");

		if (!name.empty() && name.back() == ' ')
			return fatal("Who put this here?", "You tried to include a file or directory with a space at the end!",
			             "The installer cannot carry that name to every platform.", path, 248);
		if (has(path, ":")) return fatal("Who put this here?", "found a  : in the path!", path, "", 250);
		if (has(path, "\\")) return fatal("Who put this here?", "found a \\ in the path!", path, "", 252);

		if (is_folder) {
			const std::pair<const std::string*, int*> marks[] = {
			    {&p.all_fold, &found_all_fold}, {&p.apl_fold, &found_apl_fold}, {&p.win_fold, &found_win_fold},
			    {&p.lin_fold, &found_LIN_fold}, {&p.ins_fold, &found_ins_fold}, {&p.wpn_fold, &found_wpn_fold},
			    {&p.afl_fold, &found_afl_fold}, {&p.acf_fold, &found_acf_fold}, {&p.res_fold, &found_res_fold},
			    {&p.out_fold, &found_out_fold}, {&p.cus_fold, &found_cus_fold}, {&p.glo_fold, &found_glo_fold},
			    {&p.plug_fold, &found_plug},    {&p.redt_fold, &found_redt},    {&p.orbt_fold, &found_orbt}};
			for (const auto& m : marks)
				if (path == *m.first) {
					*m.second = 1;
					break;
				}
			if (folder == all_folder) {
				static const char* const allowed[] = {"Aircraft/",       "Airfoils/",  "Instructions/",
				                                      "Output/",         "install_pfc Aircraft/", "Resources/",
				                                      "Weapons/",        "Custom Scenery/", "Global Scenery/"};
				bool ok = false;
				for (const char* a : allowed) ok |= (name + "/") == a;
				if (!ok) return fatal("What is this folder doing in the All folder?!", name, path, name + "/", 273);
			}
			pref_level(path);
			continue;
		}

		if (path == p.men_file) found_men_file = 1;
		if (path == p.tex_file) found_tex_file = 1;
		if (path == p.com_file) found_com_file = 1;
		if (has(path, "copy")) return fatal("Clean up the master first!", "found a copy file!", path, "", 282);
		if (has(path, ".cpp")) return fatal("Clean up the master first!", "found a .cpp file!", path, "", 283);
		if (has(path, ".CPP")) return fatal("Clean up the master first!", "found a .CPP file!", path, "", 284);
		if (folder == all_folder)
			return fatal("Clean up the master first!",
			             "I FOUND A FILE INSIDE THE 'ALL' FOLDER! WE SHOULD ONLY HAVE FOLDERS THERE!", path, "", 287);
		++num_files_rec;
		if (is_good_file(path, 0, 0)) {
			if (stopped) return;
			int err = 0;
			const content_state c = content_of(path, &err);
			if (c == content_unreadable)
				return fatal("I cannot read this file of the master!", path, std::strerror(err),
				             "It would be missing from the release: make it readable, or take it out.", 289);
			if (c == content_empty) empty_files.push_back(path);
		}
		if (is_good_file(path, 0, 1)) {
			if (stopped) return;
			if (has(folder, "/All/Resources/preferences/"))
				return fatal("Clean up the master first!", "I found this preferences file!", name,
				             "And is_good_file says I should keep it!!!!", 292);
			++num_files_use;
			comp_files.push_back(path);
			const std::string rel = path.substr(src_fold.size());
			for (int n = 0; n < 3; ++n) {
				dst_folder = disc_folder(n);
				std::string out = dst_folder + sim_name + "/" + rel;
				for (;;) {
					const size_t s = out.rfind('/');
					if (s == std::string::npos) break;
					out.erase(s);
					if (out.empty() || out.size() < dst_fold_base.size()) break;
					comp_paths.insert(out);
				}
			}
		}
		if (stopped) return;
		if (num_files_rec % 500 == 0)
			show_progress("reg: " + std::to_string(reg) + ": total files recursed: " + std::to_string(num_files_rec) +
			                  ". will compress: " + std::to_string(num_files_use) + ".",
			              path);
	}
}

// ---- file selection and history keys -------------------------------------------------

int is_good_file(std::string path, int second, int check_readable)
{
	if (second == 0 && check_readable && !is_sim_link(path, nullptr)) {
		// Pipes and devices cannot be packaged, and opening a pipe would wait forever.
		std::string full = path;
		set_path_to_full(full);
		struct stat st;
		if (lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
		xmap_class map(path);
		if (!map.begin || map.end <= map.begin) return 0;
	}

	static const char* const refused_parts[] = {".7z", "Thumbs.db", "work.", "._", ".DS_Store", ".sandboxinfo", ".xSYM"};
	for (const char* r : refused_parts)
		if (has(path, r)) return 0;
	if (ends(path, ".ovw") || ends(path, ".ac")) return 0;
	if (has(path, "serverlist.txt") || has(path, "Ventora Pilot.txt")) return 0;
	static const char* const refused_tails[] = {".prf", ".fms", ".sit", ".mov", ".bak"};
	for (const char* r : refused_tails)
		if (ends(path, r)) return 0;
	if (has(path, ".dsf.txt")) return 0;

	if (has(path, mk_paths.pfc_fold)) return 0;

	const bool global = has(path, mk_paths.glo_over) || has(path, mk_paths.glo_terr);
	const bool mars = has(path, mk_paths.mars);
	const bool moon = has(path, mk_paths.moon);
	const bool orbit = has(path, mk_paths.orbt_fold);
	const bool red = has(path, mk_paths.redt_fold);
	switch (build_type) {
	case 0: return (!global && !mars && !moon && !orbit && !red) ? 1 : 0;
	case 1: return (!mars && !moon) ? 1 : 0;
	case 2: return mars ? 1 : 0;
	case 3: return moon ? 1 : 0;
	default: fatal("I can not tell what type of install this is!", "", "", "", 345); return 0;
	}
}

void chop_platform(std::string& path, int platform)
{
	const size_t slash = path.find('/');
	if (slash == std::string::npos) return fatal("Could not find the dir char!", path, "", "", 352);
	path.erase(0, slash);
	switch (platform) {
	case 0: path = "ALL_os" + path; break;
	case 1: path = "APL_os" + path; break;
	case 2: path = "IBM_os" + path; break;
	case 3: path = "LIN_os" + path; break;
	default: break;
	}
}

void set_dest_dvd(int n) { dst_folder = disc_folder(n); }

// ---- one master file -----------------------------------------------------------------

void comp_file(std::string path)
{
	static std::string sig;
	stopped = false;

	const std::string rel = path.compare(0, src_fold.size(), src_fold) == 0 ? path.substr(src_fold.size()) : path;
	std::string trimmed = rel;
	if (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
	const size_t last = trimmed.rfind('/');
	const std::string name = last == std::string::npos ? trimmed : trimmed.substr(last + 1);
	const std::string folder = last == std::string::npos ? std::string() : trimmed.substr(0, last + 1);

	// Windows executables may use more than 2 GB of address space.
	if (has(path, mk_paths.win_fold) && has(path, ".exe")) {
		const int err = make_file_large_address_aware(path);
		if (err)
			return fatal("Oops! We could not make a windows exe file large-address-aware!", "error# " + real_text(err),
			             path, "", 383);
	}

	const std::string base = dst_folder + sim_name + "/" + rel;
	make_chain(base);
	std::string archive;
	if (file_exists(path + ".7z")) {
		// Already compressed beside the master: share it, never copy it.
		archive = base + ".7z";
		std::string from = path + ".7z", to = archive;
		set_path_to_full(from);
		set_path_to_full(to);
		if (link(from.c_str(), to.c_str()) != 0) return fatal("ERROR: could not make hard link!", "", "", "", 397);
	} else {
		archive = base + ".zip";
		const int err = file_to_zip(path, archive);
		if (err) return fatal("I could not zip a file!", error_str(err), path, archive, 401);
	}

	const int64_t archive_bytes = entry_size(archive);
	if (archive_bytes < 0) return fatal("ERROR: could not get file size!", "", "", "", 405);
	const int64_t src_bytes = entry_size(path);
	if (src_bytes < 0) return fatal("ERROR: could not get src file size!", "", "", "", 407);
	const int64_t dl_kb = kb_of(archive_bytes);
	const int64_t in_kb = kb_of(src_bytes);
	zip_size_dvd += (double)dl_kb;

	// A file we cannot sign must not go out with another file's signature.
	if (calc_file_md5(path, sig) != 0) return fatal("Could not MD5 file!", path, "", "", 413);

	write_dir_line(folder);

	const std::string platform_word = folder.substr(0, folder.find('/'));
	int platform;
	if (!folder.empty() && platform_word == ALL_str) platform = 0;
	else if (!folder.empty() && platform_word == APL_str) platform = 1;
	else if (!folder.empty() && platform_word == WIN_str) platform = 2;
	else if (!folder.empty() && platform_word == LIN_str) platform = 3;
	else return fatal("I cannot tell which platform this file is for!", folder, platform_word, "", 423);

	if (platform == 0 && has(path, "All/Resources/plugins/")) {
		static const std::pair<const char*, int> overrides[] = {
		    {"All/Resources/plugins/VNTM.shlb", 1},
		    {"All/Resources/plugins/VNTWidgets.shlb", 1},
		    {"All/Resources/plugins/VNTM.framework/VNTM", 1},
		    {"All/Resources/plugins/VNTWidgets.framework/VNTWidgets", 1},
		    {"All/Resources/plugins/VNTM.dll", 2},
		    {"All/Resources/plugins/VNTWidgets.dll", 2},
		    {"All/Resources/plugins/VNTM.so", 6},
		    {"All/Resources/plugins/VNTWidgets.so", 6},
		    {"All/Resources/plugins/PluginAdminMac.vnp", 1},
		    {"All/Resources/plugins/PluginAdminWin.vnp", 2},
		    {"All/Resources/plugins/PluginAdminLin.vnp", 6}};
		for (const auto& o : overrides)
			if (has(path, o.first)) platform = o.second;
	}

	std::string key = rel;
	chop_platform(key, platform);
	if (stopped) return;
	auto hit = sim_info_index.find(key);
	if (hit != sim_info_index.end()) {
		file_history_struct& history = sim_info[hit->second];
		for (const file_version_struct& v : history) {
			if (v.sig_want == sig || v.sig_want == "GONE") continue;
			write_file_line(v.platform, v.version, (int64_t)v.download_kb, (int64_t)v.install_kb, v.sig_want, name);
			if (name.empty())
				return fatal("0-size filename!", "Now how am I supposed to deal with this?", "This is in the OLD file list.",
				             name, 454);
		}
		history.front().install = 0;
	}

	write_file_line(platform, maker_release_version, dl_kb, in_kb, sig, name);
	if (name.empty())
		return fatal("0-size filename!", "Now how am I supposed to deal with this?", "This is in the NEW file loop",
		             name, 462);

	if (zip_size_dvd > maker_disc_limit_kb) {
		zip_size_dvd = 0;
		++dvd_now;
		ouf << "DISK " << dvd_now << "\n";
		dst_folder = disc_folder(dvd_now);
	}

	++num_files_com;
	if (num_files_com % 20 == 0)
		show_progress("reg: " + std::to_string(reg) + ": total files to compress: " + std::to_string(num_files_use) +
		                  ". now doing: " + std::to_string(num_files_com) + ".",
		              archive);
}

// ---- one release -------------------------------------------------------------------------

void sub_install()
{
	stopped = false;
	dst_folder = disc_folder(0);
	const std::string target_folder = dst_folder + sim_name + "/";
	const std::string manifest = target_folder + "directory.txt";
	const std::string zipped = target_folder + "directory.txt.zip";
	const std::string identity = dst_folder + "dvd_version.txt";

	zip_size_dvd = 0;
	dvd_now = 0;
	prev_dir = "---";
	num_files_rec = num_files_use = num_files_com = 0;
	comp_paths.clear();
	comp_files.clear();
	sim_info.clear();
	sim_info_index.clear();
	made_discs.clear();
	empty_files.clear();

	// Nothing is written before the two folders are known to be usable.
	if (!dir_exists(src_fold))
		return fatal("The master folder is missing!", src_fold, "There is no folder at this path.",
		             "Give the master folder with --master.", 495);
	if (!dir_exists(dst_fold_base))
		return fatal("The output folder is missing!", dst_fold_base, "There is no folder at this path.",
		             "Make it first, or give another one with --output.", 498);
	if (folder_inside(dst_fold_base, src_fold))
		return fatal("The output folder is inside the master folder!", dst_fold_base, src_fold,
		             "The discs would end up in the release: give an output folder outside the master.", 501);

	if (build_type == 0) {
		if (read_directory(old_dir_path) != 3)
			return fatal("I could not read the old directory!",
			             "This means that this installer will not delete old files (needed even for the Ventora / USA "
			             "scenery install).",
			             "It also means I will forget to fix this, and release without an old directory, and think that "
			             "older versions of stuff is all user-modified cause I don't recognize it!",
			             "So fix this.", 503);
	} else {
		old_dir_path.clear();
		sim_info.clear();
	}

	for (size_t i = 0; i < sim_info.size(); ++i) {
		file_version_struct& first = sim_info[i].front();
		std::string key = first.path;
		chop_platform(key, first.platform);
		if (stopped) return;
		if (sim_info_index.count(key))
			return fatal("WARNING: you appear to have a file TWICE in an old directory file.", "", "", first.path, 516);
		sim_info_index[key] = (int)i;
		first.install = 1;
		for (const file_version_struct& v : sim_info[i])
			if (v.version == maker_release_version)
				return fatal("This version already exists in the old directory! Bump the version number first.",
				             "version_number " + real_text(maker_release_version), "in file ", first.path, 523);
	}

	// A disc folder found already there is an earlier build's: never ours to fill or remove.
	const bool disc_there = dir_exists(dst_folder) || file_exists(dst_folder);
	if (disc_there || make_disc_folder(dst_folder) != 0)
		return fatal("Could not make the dst_folder!", dst_folder,
		             disc_there ? "THIS MAY SIMPLY BE BECAUSE THE FOLDER ALREADY EXISTS THOUGH!" : std::strerror(errno),
		             disc_there ? "Remove it, or give another output folder." : "", 528);
	if (make_folder(target_folder) != 0)
		return fatal("Could not make the target_folder!", target_folder, std::strerror(errno), "", 531);

	ouf_open(manifest, file_type_text, 900, "no-copyright-string");
	ouf << "INSTALLER\n\n";

	pref_level(src_fold);
	if (stopped) return;

	const maker_expected_paths& p = mk_paths;
	struct check {
		int mark;
		const char* text;
		const std::string* path;
		bool only_full_product;
	};
	const check checks[] = {
	    {found_all_fold, "!found_all_fold", &p.all_fold, false},
	    {found_apl_fold, "!found_apl_fold", &p.apl_fold, false},
	    {found_win_fold, "!found_win_fold", &p.win_fold, false},
	    {found_LIN_fold, "!found_X86_fold", &p.lin_fold, false},
	    {found_ins_fold, "!found_ins_fold", &p.ins_fold, false},
	    {found_wpn_fold, "!found_wpn_fold", &p.wpn_fold, false},
	    {found_afl_fold, "!found_afl_fold", &p.afl_fold, false},
	    {found_acf_fold, "!found_acf_fold", &p.acf_fold, false},
	    {found_res_fold, "!found_res_fold", &p.res_fold, false},
	    {found_out_fold, "!found_out_fold", &p.out_fold, false},
	    {found_cus_fold, "!found_cus_fold", &p.cus_fold, false},
	    {found_glo_fold, "!found_glo_fold", &p.glo_fold, false},
	    {found_plug, "!found_plug\t ", &p.plug_fold, false},
	    {found_redt, "!found_redt\t ", &p.redt_fold, true},
	    {found_orbt, "!found_orbt\t ", &p.orbt_fold, true},
	    {found_men_file, "!found_men_file", &p.men_file, false},
	    {found_tex_file, "!found_tex_file", &p.tex_file, false}};
	for (const check& c : checks) {
		if (c.only_full_product && build_type != 1) continue;
		if (!c.mark) return fatal("The master folder is not complete!", c.text, *c.path, "", 566);
	}
	if (found_com_file) return fatal("This file must never ship!", " found_com_file", p.com_file, "", 568);

	// Only the folders of discs that get files: comp_file makes each archive's
	// folder chain as it goes, so no disc is left as an empty tree.
	dst_folder = disc_folder(dvd_now);

	for (const std::string& f : comp_files) {
		comp_file(f);
		if (stopped) return;
	}

	for (file_history_struct& history : sim_info) {
		const file_version_struct& first = history.front();
		if (!first.install) continue;
		if (!is_good_file(src_fold + first.path, 0, 0)) continue;
		if (stopped) return;
		const size_t slash = first.path.rfind('/');
		const std::string name = slash == std::string::npos ? first.path : first.path.substr(slash + 1);
		const std::string folder = slash == std::string::npos ? std::string() : first.path.substr(0, slash + 1);
		write_dir_line(folder);
		for (const file_version_struct& v : history)
			write_file_line(v.platform, v.version, (int64_t)v.download_kb, (int64_t)v.install_kb, v.sig_want, name);
		const file_version_struct& newest = history.back();
		if (newest.sig_want != "GONE") write_file_line(newest.platform, maker_release_version, 0, 0, "GONE", name);
	}

	ouf.close();

	ouf_open(identity, file_type_text, 900, "no-copyright-string");
	ouf << "DVD\n\nVERSION " << sim_name << "\n";
	ouf.close();

	// The plain manifest goes only once its zip is safely written.
	const int zip_err = file_to_zip(manifest, zipped);
	if (zip_err) return fatal("zip!=0", "", manifest, zipped, 601);
	if (delete_file(manifest) != 0) return fatal("del!=0", "", "", manifest, 603);
	made_discs.clear();  // a finished build keeps its discs
}

// ---- entry of the build mode -------------------------------------------------------------

void build_install()
{
	bool known = true;
	switch (build_type) {
	case 0:
	case 1: reg = 0; sim_name = build_name[0]; break;
	case 2: reg = 1; sim_name = build_name[1]; break;
	case 3: reg = 2; sim_name = build_name[2]; break;
	default: known = false; break;
	}
	if (known) {
		sub_install();
		if (stopped) return;
	}
	if (!empty_files.empty()) {
		// The log keeps the whole list; the alert has room for two.
		xer << "Empty files left out of the release:\n";
		for (const std::string& f : empty_files) xer << f << "\n";
		if (!window_up()) {
			std::cout << "Empty files left out of the release:\n";
			for (const std::string& f : empty_files) std::cout << f << "\n";
			std::cout.flush();
		}
		const size_t n = empty_files.size();
		auto rel = [](const std::string& f) { return f.substr(src_fold.size()); };
		__MACIBM_alert(0, "These empty files were left out of the release:", rel(empty_files[0]),
		               n > 1 ? rel(empty_files[1]) : "",
		               n > 2 ? "... and " + std::to_string(n - 2) + " more, all listed " +
		                             (window_up() ? "in the log." : "above.")
		                       : "",
		               alert_warning, src_file, 626);
	}
	__MACIBM_alert(0, "OK compression is done. Checklist if doing net:",
	               "Copy the version string and version number from the shared type header into serverlist.txt in the "
	               "internet folder, and deliver that file to the web host.",
	               "Upload the -NET uploads- folder stuff.",
	               "Extract directory.txt.zip to the next previous directory file for use next time.", alert_warning,
	               src_file, 628);
}
