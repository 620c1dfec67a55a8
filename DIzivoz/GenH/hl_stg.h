#pragma once
// The installer's state records, shared by the wizard, the installer preferences
// and the installation engine. Plain data, touched on the main thread only.
// Tile grids are [lon_index][lat_index]: cell lat + 18 * lon of the flat grid.

enum { stg_lon_cells = 36, stg_lat_cells = 18, stg_tile_cells = stg_lon_cells * stg_lat_cells };

// Where the manifest stands.
enum stg_stage {
	stg_stage_fetch = 0,    // to be fetched
	stg_stage_read = 1,     // fetched, to be read
	stg_stage_refused = 2,  // read and not accepted
	stg_stage_ready = 3,    // read: the release is known
};

struct stg_struct {
	int stage;            // manifest stage (stg_stage)
	int platform;         // platform choice: 1, 2 or 3 (3 = Linux, our default)
	int log_actions;      // pref "_log_actions": log every install/extract/chmod/delete
	int format_status;    // 2 once the newer-format alert ran
	int download_failed;  // 1 after a failed transfer, 0 after a completed one
	int install_problems; // 1 once an archive could not be extracted
	int server_count;     // servers in the server list; -1 until it is read
	int server_sel;       // server in use, 0..server_count-1
	int scenery_selected[stg_lon_cells][stg_lat_cells];  // tiles the user wants
	int scenery_available[stg_lon_cells][stg_lat_cells]; // tiles the manifest offers
	int action;           // 0 deleting, 1 downloading, 2 skip installed, 3 skip unwanted
	float file_progress;  // current download 0..1, -0.01 when the length is unknown
	int stream_count;     // pref "_stream_count": 1..4, 0 automatic
	int get_beta;         // pref "_get_beta"
	float total_download_kb;
	float total_install_kb;
	int count_install;
	int count_delete;
	int has_global;       // manifest holds global-scenery files
	int has_sim;          // manifest holds other files
};

// Download loop state over four streams; stream i uses HTTP slot i + 2.
struct next_struct {
	int next_file;        // next file number to hand out
	int all_done;
	int active[4];
	int wants_file[4];
	int stream_file[4];
	float start_time;     // frame-clock seconds at the start of the run
	float inflight_kb;
	float done_download_kb;
	float done_install_kb;
};

extern stg_struct stg;
extern next_struct next;

// Start values the entry point gives stg before the preferences are read.
void stg_set_start_values();

// What the install steps do on their first frame: streams 0 and 1 active and
// wanting a file, 2 and 3 idle, counters zero, start_time = now.
void next_reset(float now);

// Cell helpers for the flat view of the tile grids.
inline int& stg_tile(int (&grid)[stg_lon_cells][stg_lat_cells], int cell)
{
	return grid[cell / stg_lat_cells][cell % stg_lat_cells];
}
