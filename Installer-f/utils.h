#pragma once
// Installation engine: the manifest model and its reader, the install filters,
// the per-file update decision and the disk-space totals.
#include <cstdint>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/GenH/hl_maker.h"  // ventora_web_site, named in the newer-format text

// A file's signature: an MD5 in 32 lower-case hex, "GONE", "NONE" or empty.
// It reads, compares and converts like the text it was made from. A manifest
// may hold a million of them, so an MD5 is kept as its 16 bytes; any other
// text (a broken manifest, a test's stand-in) is kept whole on the heap.
class file_sig {
public:
	file_sig() = default;
	file_sig(std::string_view text);
	file_sig(const std::string& text) : file_sig(std::string_view(text)) {}
	file_sig(const char* text) : file_sig(std::string_view(text)) {}
	file_sig(const file_sig& other);
	file_sig(file_sig&& other) noexcept;
	file_sig& operator=(const file_sig& other);
	file_sig& operator=(file_sig&& other) noexcept;
	~file_sig();

	std::string str() const;
	operator std::string() const { return str(); }
	bool empty() const { return kind_ == kind::empty; }

	friend bool operator==(const file_sig& a, const file_sig& b);
	friend bool operator!=(const file_sig& a, const file_sig& b) { return !(a == b); }
	friend std::ostream& operator<<(std::ostream& out, const file_sig& s) { return out << s.str(); }

private:
	enum class kind : uint8_t { empty, md5, gone, none, text };
	void clear();
	union {
		uint8_t md5_[16] = {};
		std::string* text_;  // owned, for kind::text
	};
	kind kind_ = kind::empty;
};

// One FILE line of the manifest: one version of one file. A manifest may
// list a million files: the small fields are kept small.
struct file_version_struct {
	int16_t platform = 0;    // 0 every platform; 1, 2, 3 one choice; 6 also for choice 3
	int16_t disk = 0;        // disc holding the archive
	int version = 0;
	float download_kb = 0;   // archive size
	float install_kb = 0;    // installed size
	file_sig sig_want;       // MD5 (32 lower-case hex) or "GONE"
	file_sig sig_have;       // MD5 found on disk, "NONE" for absent, empty until checked
	std::string path;        // DIR text + name; first component is the release's top folder
	int16_t have_is_want = 0;// sig_have == sig_want
	int16_t is_global = 0;   // global-scenery tile file
	int16_t lat_index = 0;   // 0..17 for global-scenery files
	int16_t lon_index = 0;   // 0..35 for global-scenery files
	int16_t install = 0;     // fetch and install (set by choose_files)
	int16_t remove = 0;      // delete the installed copy (set by choose_files)
	float progress_start = 0;// share of the install total before this file
};

// All versions of one file, oldest first; the last one is installed. Never empty.
using file_history_struct = std::vector<file_version_struct>;

// The whole manifest in manifest order; the index is the file number.
extern std::vector<file_history_struct> sim_info;

// Absolute folder paths the download loop has deleted; emptied by read_directory.
extern std::set<std::string> deleted_files;

// Absolute destination folder of the installation, ending in "/".
extern std::string dest_dir_path;

// Reads the unzipped "directory.txt" at path into sim_info. Returns 3 when
// read, 2 when the header is not accepted (after new_format) or the manifest
// holds a path that must not be installed. message, when not empty, is the
// progress text of the caller's step; it goes to the log.
int read_directory(const std::string& path, const std::string& message = std::string());

int is_global_scenery_f(const char* path);
// Tile of a scenery file name such as +40-120.dsf; 1 when on the 36 x 18 grid.
int find_sector(int* lon_index, int* lat_index, std::string path);

// Newer-release alerts: tell the user, open the web page, ask the program to quit.
void new_installer(std::string url);
void new_format(std::string path);
extern const char* const ventora_download_page;  // opened by new_format

// Install filters.
void set_install_filter(int want_sim, int want_global);
int want_this_f(int file, int version);
void scenery_take_all();
void scenery_from_install();
void trim_dest_folder(std::string& path);
std::string suffix_for_file(int file);
int path_has_no_file(std::string path);

// Update decision: 1 when every file is decided, 0 when the user cancelled.
int choose_files();
void recalc_disk_sizes();

// The modified-file question. Answers: 1 replace/delete this file, 2 keep it,
// 3 cancel the installation, 4 replace/delete every modified file of this
// folder, 5 keep every modified file of this folder.
int select_alert(std::string path, int is_delete);

// What the question shows: a modal sub-window of type 996, cleared to palette
// colour 34 with its background frame (BTN_fillwin(1, 21)); three lines of
// text in text_colour, regular font, left-aligned, wrapped to the window width
// minus 40; five BTN_action buttons (lit 0, mode 1, side text "-") centred on
// (x, y). All texts are already translated.
struct select_alert_button {
	float x, y, width;
	std::string label;
	int result;
};
struct select_alert_question {
	int window_type = 996;
	int text_colour = 43;
	std::string title;      // in the title bar
	std::string message1;   // first, below the title bar
	std::string path;       // on the lines after message1
	std::string message2;   // on the lines after the path
	// Checked in this order. Buttons of one x form a column; the shell
	// widens a column to its longest label and places the columns side by
	// side from the left edge, each button on its own y.
	std::vector<select_alert_button> buttons;
};
// The shell shows the question and returns the result of the button clicked,
// or any other value when the window was closed some other way (taken as 3).
using select_alert_asker = std::function<int(const select_alert_question&)>;
// Installs the asker; an empty function restores the default, which without a
// shell keeps the old file (answer 2).
void select_alert_set_asker(select_alert_asker asker);
// The question's content for a path, as select_alert builds it.
select_alert_question select_alert_make_question(const std::string& path, int is_delete);
