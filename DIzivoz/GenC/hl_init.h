#pragma once
// Application shell start-up: the values start-up fills and the progress
// screen. Only what the texture and drawing layers need exists so far.
#include <string>
#include <vector>

#include "DIzivoz/GenH/hl_shared.h"

// One progress screen; progress may be null. Until the shell draws, the text
// goes to the log; tests may watch the calls.
void MACIBM_show_init(const std::string& text, float* progress);
using show_init_hook = void (*)(const std::string& text, float* progress);
void MACIBM_set_show_init_hook(show_init_hook hook);

extern int g_case_sensitive;  // defined with the path helpers
extern int g_mon_x_res_now, g_mon_y_res_now;

// The one start-up of the shell: log and its header, command line, threads,
// window and context, interface textures and palette, first sub-window and
// language. A window that cannot be had is a fatal alert.
void MACIBM_init(int argc, const char* const* argv);
// 1 at start (reads the monitor, may change depth), 0 at exit (restores it).
void MACIBM_setres(int flag);
// Window index (0 main, 1 second screen) with its context; 1 on success.
int MACIBM_make_context(int index);
void MACIBM_nuke_context(int index);
void* MACIBM_make_context_loader();
int MACIBM_set_context_loader(void* ctx);
void MACIBM_setupforlang();

// The folder the process was started in (before start-up made the
// application folder the working folder), ending in '/'.
const std::string& MACIBM_start_folder();

// Pieces of start-up that tests reach alone.
std::string MACIBM_cpu_name(unsigned int cput);
void MACIBM_write_log_header();
// What the log header says about the machine. Empty texts and 0 stand for
// facts the system did not give.
struct MACIBM_system_facts {
	std::string kernel, release;  // uname
	std::string distribution;     // PRETTY_NAME of os-release
	std::string cpu_model;
	int cpu_count = 0;
	long cpu_mhz = 0;
	long long ram_mb = 0;
};
// Reads the facts; the files are parameters so that tests can give their own.
MACIBM_system_facts MACIBM_read_system_facts(const std::string& os_release = "/etc/os-release",
                                             const std::string& cpuinfo = "/proc/cpuinfo",
                                             const std::string& cpufreq =
                                                 "/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq");
// The header's system and CPU lines for those facts.
std::string MACIBM_system_lines(const MACIBM_system_facts& f);
// Palette entries 34..47 from the picture the texture manager left in the
// scratch buffer (RGBA, first row the bottom one); false when it is too small.
bool MACIBM_palette_from_scratch();
bool MACIBM_palette_from_picture(const unsigned char* rgba, int width, int height);
// The same from "Resources/interface.png" itself.
bool MACIBM_palette_from_interface_picture();
// Window placement of MACIBM_make_context: framed unless the window leaves less
// than 20 pixels to the monitor's edge.
bool MACIBM_window_is_framed(int x_res, int y_res, int mon_w, int mon_h);
// Multisample levels tried, best first (4 → 16 samples ... 0 → none).
std::vector<int> MACIBM_aa_levels_to_try(int aa_level_req);
// Whether the depth change is wanted (screen below 1024 x 768, or set_res).
bool MACIBM_depth_change_wanted(int mon_w, int mon_h, int set_res);
// Forgets what the first MACIBM_setres and the pixel format remembered.
void MACIBM_reset_setres_for_test();
