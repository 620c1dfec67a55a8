#pragma once
// Maker-side build mode: scans a master folder and writes the release
// manifest, the disc identity file and one archive per master file into the
// disc masters. Nothing on the installer's user paths calls into it.
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// Case-insensitive ordering of history keys.
struct no_case_compare_string {
	bool operator()(const std::string& a, const std::string& b) const;
};

// ---- settings ---------------------------------------------------------------
// Which release to build: 0 product with change log, 1 product, 2 Mars, 3 Moon.
extern int build_type;
extern int reg;                      // only shown in progress texts
extern std::string old_dir_path;     // previous release's manifest (build type 0)
extern std::string src_fold;         // master folder, ends in '/'
extern std::string dst_fold_base;    // root of the disc masters, ends in '/'
extern std::string dst_folder;       // disc folder being filled
extern std::string sim_name;         // release folder name on every disc
extern const std::string ALL_str, APL_str, WIN_str, LIN_str;

// Defaults of the settings above.
extern const char* const maker_default_src_fold;       // "/Ventora 9.00/"
extern const char* const maker_default_dst_fold_base;  // "/DVD_Masters/"
extern const char* const maker_default_old_dir_path;   // "/directory.txt"
enum { maker_default_build_type = 1, maker_release_version = 91001 };
extern double maker_disc_limit_kb;  // KB of archives per disc, 630000 unless --disc_limit_kb

// Sets the three folders and recomputes every expected master path from the
// new master folder. Start-up does this once with the defaults.
void maker_set_folders(const std::string& master, const std::string& disc_masters,
                       const std::string& previous_manifest);

// Expected parts of the master, full paths (folders end in '/').
struct maker_expected_paths {
	std::string all_fold, apl_fold, win_fold, lin_fold;
	std::string ins_fold, wpn_fold, afl_fold, acf_fold, pfc_fold, res_fold, out_fold;
	std::string cus_fold, glo_fold, plug_fold, redt_fold, orbt_fold;
	std::string glo_over, glo_terr, mars, moon;  // no trailing '/'
	std::string men_file, tex_file, com_file;
};
extern maker_expected_paths mk_paths;

// Marks set by the scan, never cleared.
extern int found_all_fold, found_apl_fold, found_win_fold, found_LIN_fold;
extern int found_ins_fold, found_wpn_fold, found_afl_fold, found_acf_fold;
extern int found_res_fold, found_out_fold, found_cus_fold, found_glo_fold;
extern int found_plug, found_redt, found_orbt;
extern int found_men_file, found_tex_file, found_com_file;

// ---- release state (reset by every build) -------------------------------------
extern std::vector<std::string> comp_files;  // master files to package, scan order
extern std::set<std::string> comp_paths;     // output folders, no trailing '/'
extern int num_files_rec, num_files_use, num_files_com;
extern double zip_size_dvd;                  // KB of archives on the current disc
extern int dvd_now;
extern std::string prev_dir;
extern std::map<std::string, int, no_case_compare_string> sim_info_index;

// ---- the build ------------------------------------------------------------------
void pref_level(const std::string& folder);
void sub_install();
void set_dest_dvd(int n);
void comp_file(std::string path);
int is_good_file(std::string path, int, int check_readable);
void chop_platform(std::string& path, int platform);
void build_install();

// ---- progress -------------------------------------------------------------------
// The build shows its progress as two lines (status, current path) and then
// takes one pending key: 'q' stops the build. Without hooks, once the shell's
// window is up the lines are drawn in a strip along its bottom and one event
// of its queue is taken; with no window they go to standard output and no
// key is taken.
using maker_progress_fn = std::function<void(const std::string& status, const std::string& path)>;
using maker_poll_key_fn = std::function<int()>;  // the pending key's character, or 0
void maker_set_progress_hooks(maker_progress_fn show, maker_poll_key_fn poll);
