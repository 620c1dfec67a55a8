#include "DIzivoz/GenC/hl_init.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cctype>
#include <fstream>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_prefix.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_debug.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "DIzivoz/TEX/TEX_utils.h"
#include "Platform/plat_shell.h"

namespace {
show_init_hook g_show_init_hook = nullptr;
const char* const init_src = "DIzivoz/GenC/hl_init";
// The maker's web address on the progress screen.
// STAND-IN: becomes the library's constant when the OpenGL foundation lands.
const char* const maker_site = "www.tarnwick.example";

int counter_now = 0;
std::string start_folder;

// MACIBM_setres's first-call record.
bool setres_seen = false;
int hres_orig = 0, vres_orig = 0, cres_orig = 0, sres_orig = 0;
int current_depth = 0;
bool format_chosen = false;

std::string read_small_file(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::string text;
	if (!in) return text;
	char buf[4096];
	while (in.read(buf, sizeof buf) || in.gcount() > 0) {
		text.append(buf, (size_t)in.gcount());
		if (text.size() > (1u << 20)) break;  // a /proc file never is this long
	}
	return text;
}

std::string trimmed(const std::string& s)
{
	size_t b = 0, e = s.size();
	while (b < e && std::isspace((unsigned char)s[b])) ++b;
	while (e > b && std::isspace((unsigned char)s[e - 1])) --e;
	return s.substr(b, e - b);
}

// "key : value" lines of /proc/cpuinfo, or "KEY=value" lines of os-release:
// the first value of the key.
std::string first_value(const std::string& text, const std::string& key, char sep)
{
	size_t at = 0;
	while (at < text.size()) {
		size_t end = text.find('\n', at);
		if (end == std::string::npos) end = text.size();
		const std::string line = text.substr(at, end - at);
		at = end + 1;
		const size_t s = line.find(sep);
		if (s == std::string::npos || trimmed(line.substr(0, s)) != key) continue;
		std::string v = trimmed(line.substr(s + 1));
		if (sep == '=' && v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
			std::string unq;
			for (size_t i = 1; i + 1 < v.size(); ++i) {
				if (v[i] == '\\' && i + 2 < v.size()) ++i;
				unq += v[i];
			}
			v = unq;
		}
		return v;
	}
	return "";
}
}  // namespace

MACIBM_system_facts MACIBM_read_system_facts(const std::string& os_release, const std::string& cpuinfo,
                                             const std::string& cpufreq)
{
	MACIBM_system_facts f;
	struct utsname u;
	std::string machine;
	if (uname(&u) == 0) {
		f.kernel = u.sysname;
		f.release = u.release;
		machine = u.machine;
	}
	f.distribution = first_value(read_small_file(os_release), "PRETTY_NAME", '=');
	const std::string cpu = read_small_file(cpuinfo);
	// x86 names its model; ARM boards their "Model" or "Hardware"; POWER "cpu".
	for (const char* key : {"model name", "Model", "Hardware", "cpu"}) {
		f.cpu_model = first_value(cpu, key, ':');
		if (!f.cpu_model.empty()) break;
	}
	if (f.cpu_model.empty()) f.cpu_model = machine;
	const long n = sysconf(_SC_NPROCESSORS_ONLN);
	f.cpu_count = n > 0 ? (int)n : 0;
	const std::string mhz = first_value(cpu, "cpu MHz", ':');
	if (!mhz.empty()) f.cpu_mhz = std::lround(std::atof(mhz.c_str()));
	if (f.cpu_mhz <= 0) {
		const long long khz = std::atoll(trimmed(read_small_file(cpufreq)).c_str());
		f.cpu_mhz = khz > 0 ? (long)((khz + 500) / 1000) : 0;
	}
	const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
	if (pages > 0 && page > 0) f.ram_mb = (long long)pages * page / (1024 * 1024);
	return f;
}

std::string MACIBM_system_lines(const MACIBM_system_facts& f)
{
	auto known = [](long long v) { return v > 0 ? std::to_string(v) : std::string("?"); };
	std::string s = f.kernel.empty() ? std::string("?") : f.kernel;
	if (!f.release.empty()) s += " " + f.release;
	if (!f.distribution.empty()) s += ", " + f.distribution;
	s += "\n";
	s += "CPU type: " + known(f.cpu_count) + " x (" + (f.cpu_model.empty() ? std::string("?") : f.cpu_model) + ") ";
	// The bus speed is not something Linux tells.
	s += "CPU speed (mhz): " + known(f.cpu_mhz) + " Bus speed (mhz): ? RAM (MB): " + known(f.ram_mb) + "\n";
	return s;
}

int g_mon_x_res_now = 0, g_mon_y_res_now = 0;

void MACIBM_set_show_init_hook(show_init_hook hook) { g_show_init_hook = hook; }

const std::string& MACIBM_start_folder() { return start_folder; }

void MACIBM_show_init(const std::string& text, float* progress)
{
	if (g_show_init_hook) {
		g_show_init_hook(text, progress);
		return;
	}
	if (!plot_init_lights || !mnw.context[0]) return;
	const float mx = mnw.margin_x;
	shell_plot_back_col();
	shell_frame2(15, mx + 10, 31, 460, 200, "");
	shell_string(49, mx + 22, 210, maker_site, 440, 0, 0);
	float frac = progress ? *progress : counter_now++ / 100.0f;
	frac = std::clamp(frac, 0.02f, 1.0f);
	const float x0 = mx + 8;
	// In a window narrower than the layout the bar still ends inside it.
	const float x1 = std::min(mx + 1016, mnw.x_res - 8.0f);
	shell_frame1(4, (x0 + x1) / 2, 15, x1 - x0);
	shell_frame1(5, x0 + frac * (x1 - x0) / 2, 15, frac * (x1 - x0));
	shell_string(61, mx + 22, 60, text, 440, 0, 0);
	shell_sbuff();
}

std::string MACIBM_cpu_name(unsigned int cput)
{
	struct row {
		unsigned int value;
		const char* name;
	};
	auto four = [](const char* s) {
		return (unsigned)(unsigned char)s[0] << 24 | (unsigned)(unsigned char)s[1] << 16 |
		       (unsigned)(unsigned char)s[2] << 8 | (unsigned)(unsigned char)s[3];
	};
	const row rows[] = {{264, " (G3) "},          {268, " (G4) "},          {272, " (G4/7450) "},
	                    {273, " (G4/7455) "},     {274, " (G4/7447) "},     {288, " (G3/750FX) "},
	                    {313, " (G5) "},          {316, " (G5/FX) "},       {four("i486"), " (i486) "},
	                    {four("i586"), " (Pentium) "}, {four("i5ii"), " (Pentium II) "},
	                    {four("i5iv"), " (Pentium 4) "}, {four("i5pr"), " (Pentium Pro) "},
	                    {four("ixxx"), " (X86) "}};
	for (const row& r : rows)
		if (r.value == cput) return r.name;
	char c[4] = {(char)(cput >> 24), (char)(cput >> 16), (char)(cput >> 8), (char)cput};
	bool printable = true;
	for (char ch : c) printable = printable && std::isprint((unsigned char)ch);
	if (printable) return " (" + std::string(c, 4) + ") ";
	return c[0] == 'i' ? " (unknown intel) " : " (unknown PowerPC) ";
}

void MACIBM_write_log_header()
{
	xer << "Installer log.txt for " << "Ventora Web Demo Installer 2.04r1" << " compiled on Apr 30 2008 20:35:27\n\n";
	xer << "This log file is generated automatically by Tarnwick applications and contains diagnostics about your "
	       "graphics hardware, installation, and any error conditions.\n";
	xer << "If you need to contact tech support or file a bug, please send us this file. NOTE: this file is "
	       "rewritten every time you start ANY of your Skyframe applications.\n\n";
	xer << MACIBM_system_lines(MACIBM_read_system_facts());
	xer << "\nSkyframe folder:'" << app_path << "', case sensitive=" << g_case_sensitive << "\n\n";
	xer.flush();
}

bool MACIBM_palette_from_picture(const unsigned char* pixels, int width, int height)
{
	if (!pixels || width < 396 || height < 156) {
		xer << "The interface picture is missing or too small; the palette keeps its defaults.\n";
		return false;
	}
	auto take = [&](int entry, int x, int y) {
		const unsigned char* p = pixels + ((long long)y * width + x) * 4;
		colr.assign(entry, p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f);
	};
	const int entries[] = {34, 35, 36, 37, 38, 40, 41, 42, 43, 45, 46, 47};
	for (int i = 0; i < 12; ++i) take(entries[i], 319, 155 - 8 * i);
	take(44, 395, 115);
	colr.assign(39, (colr.rgb[35][0] + colr.rgb[38][0]) / 2, (colr.rgb[35][1] + colr.rgb[38][1]) / 2,
	            (colr.rgb[35][2] + colr.rgb[38][2]) / 2);
	return true;
}

bool MACIBM_palette_from_scratch() { return MACIBM_palette_from_picture(scratch_array, scratch_dx, scratch_dy); }

bool MACIBM_palette_from_interface_picture()
{
	// The texture manager keeps its decoded pixels in a layout of its own; the
	// palette samples the same pixels of the picture itself, rows from the bottom.
	std::string folder;
	get_OS_abs_path(os_dir_this_app, folder);
	unsigned char* pixels = nullptr;
	TEX_image_desc desc;
	if (!TEX_load_any_ext(folder + "Resources/interface.png", pixels, GL_RGBA, 0, 0, desc) || !pixels)
		return MACIBM_palette_from_picture(nullptr, 0, 0);
	const bool ok = MACIBM_palette_from_picture(pixels, desc.width, desc.height);
	std::free(pixels);
	return ok;
}

bool MACIBM_window_is_framed(int x_res, int y_res, int mon_w, int mon_h)
{
	return x_res + 20 < mon_w && y_res + 20 < mon_h;
}

std::vector<int> MACIBM_aa_levels_to_try(int aa_level_req)
{
	std::vector<int> out;
	for (int level = 4; level >= 1; --level)
		if (aa_level_req > level - 1) out.push_back(level);
	out.push_back(0);
	return out;
}

bool MACIBM_depth_change_wanted(int mon_w, int mon_h, int set_res)
{
	return mon_w < 1024 || mon_h < 768 || set_res != 0;
}

void MACIBM_reset_setres_for_test()
{
	setres_seen = false;
	hres_orig = vres_orig = cres_orig = sres_orig = 0;
	current_depth = 0;
	format_chosen = false;
	counter_now = 0;
}

void MACIBM_setres(int flag)
{
	mnw.x_res = mnw.x_res_req;
	mnw.y_res = mnw.y_res_req;
	mnw.bit_depth = mnw.bit_depth_req;
	int w = 0, h = 0, depth = 0;
	if (flag == 1) PLAT().video_init();
	if (!PLAT().main_screen(&w, &h, &depth)) return;
	if (flag == 1) PLAT().show_menu_bar(false);
	if (current_depth) depth = current_depth;
	g_mon_x_res_now = w;
	g_mon_y_res_now = h;
	if (mnw.fit_screen) {
		mnw.x_res_req = mnw.x_res = w - 40;
		mnw.y_res_req = mnw.y_res = h - 60;
	}
	const bool wanted = MACIBM_depth_change_wanted(w, h, mnw.set_res);
	if (!setres_seen) {
		setres_seen = true;
		hres_orig = w;
		vres_orig = h;
		cres_orig = depth;
		sres_orig = wanted ? 1 : 0;
	}
	if (flag == 1) {
		if (wanted && depth != mnw.bit_depth_req) {
			PLAT().set_depth(mnw.bit_depth_req);
			current_depth = mnw.bit_depth_req;
		}
	} else if (sres_orig && depth != cres_orig) {
		PLAT().set_depth(cres_orig);
		current_depth = cres_orig;
	}
}

int MACIBM_make_context(int index)
{
	if (index < 0 || index > 1) return 0;
	plat_window_req req;
	req.index = index;
	req.left = index == 1 ? mnw.x_res : 0;
	req.width = mnw.x_res;
	req.height = mnw.y_res;
	req.framed = MACIBM_window_is_framed(mnw.x_res, mnw.y_res, g_mon_x_res_now, g_mon_y_res_now) ? 1 : 0;
	req.top = req.framed ? 40 : 0;
	req.share_with = index == 1 ? mnw.context[0] : nullptr;
	req.title = "Ventora Installer";
	req.threaded = cmdline.has_option("--use_threaded_ogl") ? 1 : 0;
	if (index == 1) shell_setstate_second_window();

	static const int samples_of_level[5] = {0, 2, 4, 8, 16};
	plat_window_got got;
	bool made = false;
	// The format is chosen once; later windows ask for the level it gave.
	std::vector<int> levels = format_chosen ? std::vector<int>{mnw.aa_level} : MACIBM_aa_levels_to_try(mnw.aa_level_req);
	for (int level : levels) {
		req.aa_samples = samples_of_level[level];
		if (PLAT().make_window(req, got)) {
			made = true;
			mnw.aa_level = level;
			break;
		}
	}
	if (!made) return 0;
	// The format is the first window's (the window carries its visual here).
	if (!format_chosen) mnw.pixel_format = got.window;
	format_chosen = true;
	mnw.window[index] = got.window;
	mnw.context[index] = got.context;

	xer << "AGL_RGBA         : " << got.rgba << "\n";
	xer << "AGL_DOUBLEBUFFER : " << got.double_buffer << "\n";
	xer << "AGL_RED_SIZE     : " << got.red << "\n";
	xer << "AGL_GREEN_SIZE   : " << got.green << "\n";
	xer << "AGL_BLUE_SIZE    : " << got.blue << "\n";
	xer << "AGL_ALPHA_SIZE   : " << got.alpha << "\n";
	xer << "AGL_DEPTH_SIZE   : " << got.depth << "\n";
	if (unsigned long long vram = PLAT().video_memory()) xer << "VRAM             : " << vram << "\n";
	xer.flush();

	const int err = shell_init_entry_points();
	if (err != 0) {
		char buf[64];
		std::snprintf(buf, sizeof buf, "Error=%f", (double)err);
		__MACIBM_alert(0, "Could not open OpenGL framework", "", buf, "", alert_fatal, init_src, 736);
		return 0;
	}
	// The driver's own OpenGL thread, when asked for (Mesa's "glthread").
	if (req.threaded) {
		xer << "Enabling threaded OGL - got " << got.threaded_result << "\n";
		xer.flush();
	}
	// A renderer without 3-D acceleration is taken all the same (Mesa's
	// software renderer is a real OpenGL), and named in the log as such.
	std::string renderer;
	if (PLAT().renderer_accelerated(&renderer) == 0) {
		xer << "The OpenGL renderer '" << renderer << "' draws in software, without 3-D acceleration.\n";
		xer.flush();
	}
	shell_default_gl_state(mnw.aa_level);
	if (index == 1) {
		// The shell draws in the main window: its context is current again,
		// and the binding cache forgets what the other context was given.
		PLAT().make_current(mnw.window[0], mnw.context[0]);
		shell_reset_bind();
	}
	return 1;
}

void MACIBM_nuke_context(int index)
{
	if (index < 0 || index > 1) return;
	if (mnw.window[index] || mnw.context[index]) PLAT().dispose_window(mnw.window[index], mnw.context[index]);
	mnw.window[index] = nullptr;
	mnw.context[index] = nullptr;
}

void* MACIBM_make_context_loader()
{
	if (!mnw.pixel_format) return nullptr;
	void* ctx = PLAT().make_loader_context();
	if (!ctx) {
		xer << "We could not create a context for our worker threads.\n";
		xer.flush();
	}
	return ctx;
}

int MACIBM_set_context_loader(void* ctx) { return PLAT().set_loader_context(ctx) ? 1 : 0; }


void MACIBM_setupforlang()
{
	if (mnw.language == 0) UTL_translate_clear();
	else UTL_translate_load(mnw.language, "");
}

void MACIBM_init(int argc, const char* const* argv)
{
	// 1
	MACIBM_register_shell();
	UTL_debug_init();
	PLAT().flush_events();
	PLAT().arrow_cursor();
	// 2
	MACIBM_set_app_path(&app_path, 0);
	const std::string app_folder = app_path;
	app_path.clear();
	// 3: the application folder becomes the working folder, so the resources
	// and the report files resolve there; the starting folder is kept.
	{
		char buf[4096];
		if (getcwd(buf, sizeof buf)) {
			start_folder = buf;
			if (start_folder.empty() || start_folder.back() != '/') start_folder += '/';
		}
		if (!app_folder.empty() && chdir(app_folder.c_str()) != 0) {
		}
	}
	// 4
	{
		std::string folder;
		get_OS_abs_path(os_dir_this_app, folder);
		// A program folder that takes no file (a read-only install) sends the
		// logs to the user's state folder.
		std::string used = folder;
		if (std::FILE* f = UTL_open_log_file(folder, "Ventora Installer Log.txt", "wb", &used)) std::fclose(f);
		UTL_set_log_folder(used);
		xer.open(used + "Ventora Installer Log.txt", std::ios::out | std::ios::trunc);
		xer.setf(std::ios::fixed, std::ios::floatfield);
	}
	// 5
	MACIBM_alloc_scratch();
	// 6
	std::srand(1);
	for (int i = 0; i < 10000; ++i) randrat[i] = (float)(std::rand() * (1.0 / 2147483648.0) * 0.9999);
	const unsigned seed = (unsigned)(xtim.microsecs() & 0xFFFFFFFFu);
	std::srand(seed);
	for (unsigned i = 0; i < seed % 1000; ++i) (void)std::rand();
	// 7
	MACIBM_fill_lookup();
	// 8
	MACIBM_write_log_header();
	// 9
	cmdline.init_unix(argc, const_cast<const char**>(argv));
	THREAD_init();
	// 10
	mnw.x_res_req = 800;
	mnw.y_res_req = 600;
	mnw.tex_res = 5;
	mnw.bit_depth_req = 32;
	mnw.aa_level_req = 0;
	mnw.language = -1;
	mnw.language = UTL_get_default_language();
	// 11
	MACIBM_setres(1);
	// 12
	if (!MACIBM_make_context(0)) {
		__MACIBM_alert(0,
		               "I could not set up the graphics for Ventora! I hope your monitor is at 1024x768 or higher! It must be!",
		               "You do not meet the system requirements or you do not have OpenGL drivers or you entered a bad resolution in Ventora!",
		               "You need at least 256 meg of RAM, 16 meg of VRAM, and OpenGl drivers for your 3-D accelerator card!",
		               "If you reset the resolution, you can try launching Ventora again, since I am resetting Ventora to default resolution now.",
		               alert_fatal, init_src, 1586);
		return;
	}
	// 13
	shell_pix_specs();
	shell_init_extensions();
	THREAD_make_workers();
	// 14
	shell_load_interface_textures();
	// 15
	MACIBM_palette_from_interface_picture();
	// 16
	MACIBM_clear_menus(1);
	MACIBM_startwind(-1, 0);
	shell_pix_specs();
	ogl_inited = 1;
	// 17
	std::vector<int> langs;
	UTL_lang_get_languages(langs);
	if (std::find(langs.begin(), langs.end(), mnw.language) == langs.end())
		mnw.language = langs.size() == 1 ? langs[0] : -1;
	if (mnw.language < 0) {
		mnw.language = 0;
		__MACIBM_alert(-1, "-", "-", "-", "-", alert_picker, init_src, 1669);
	}
	// 18
	MACIBM_setupforlang();
	// 19
	MACIBM_show_init("Will init plugins.", nullptr);
	MACIBM_show_init("Starting application.", nullptr);
}
