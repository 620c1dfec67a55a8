#include "tests/support/demo_release.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/TEX/TEX_png.h"
#include "DIzivoz/TEX/TEX_utils.h"
#include "DIzivoz/UTL/UTL_log.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/make_installer.h"
#include "Installer-f/wizard.h"
#include "tests/support/grab_release.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace vtest {

std::vector<mtest::master_entry> demo_master()
{
	return {
	    {"All/Instructions/Read Me.txt", "Ventora 9 web demo.\nFly well.\n"},
	    {"All/Weapons/", ""},
	    {"All/Airfoils/naca0012.afl", "A\n900 version\nAIRFOIL\n0.12\n"},
	    {"All/Aircraft/General Aviation/Cirrus TheJet/c4.acf", std::string(40000, 'a')},
	    {"All/Output/", ""},
	    {"All/Custom Scenery/", ""},
	    {"All/Global Scenery/-global terrain-/+40-120/+47-122.dsf", noise(30000, 7)},
	    {"All/Global Scenery/-global terrain-/+40-120/+46-121.dsf", noise(20000, 8)},
	    {"All/Global Scenery/-global terrain-/+40-120/+46-121.dsf.7z", make_7z_bytes("+46-121.dsf", noise(20000, 8))},
	    {"All/Resources/menus/English/Ventora.txt", "File\nEdit\nView\n"},
	    {"All/Resources/text/English/Ventora.txt", "Welcome aboard.\n"},
	    {"All/Resources/text/English/current.txt", "Ventora.txt", true},
	    {"All/Resources/plugins/PluginAdminLin.vnp", noise(5000, 3)},
	    {"All/Resources/default scenery/900 red terrain/", ""},
	    {"All/Resources/bitmaps/Earth Orbit Textures/", ""},
	    {"Macintosh/Ventora.app/Contents/MacOS/Ventora", "mac binary"},
	    {"Windows/Ventora.exe", mtest::pe_exe_bytes()},
	    {"Linux/Ventora", "#!/bin/sh\necho flown > \"$(dirname \"$0\")/flew.txt\"\n"},
	};
}

std::string build_demo_release(const std::string& work, demo_release& out)
{
	return build_demo_release(work, out, demo_master());
}

std::string build_demo_release(const std::string& work, demo_release& out, const std::vector<mtest::master_entry>& master)
{
	out.work = work;
	recursive_delete_folder(work);
	mtest::make_dirs(work);
	out.master = work + "master/";
	const std::string masters = work + "DVD_Masters/";
	mtest::write_master(out.master, master);
	chmod((out.master + "Linux/Ventora").c_str(), 0755);
	mkdir(masters.c_str(), 0755);
	xer.open(work + "build log.txt");
	std::string fatal;
	MACIBM_set_alert_sink([&](const alert_record& a) {
		if (a.kind == alert_fatal) fatal = a.line1 + " " + a.line2;
	});
	maker_set_folders(out.master, masters, "");
	build_type = 1;
	maker_set_progress_hooks([](const std::string&, const std::string&) {}, [] { return 0; });
	build_install();
	xer.close();
	MACIBM_set_alert_sink(nullptr);
	if (!fatal.empty()) return "the maker stopped: " + fatal;
	out.name = sim_name;

	const std::string www = work + "www/";
	mkdir(www.c_str(), 0755);
	if (symlink((masters + "disk_0").c_str(), (www + out.file_host).c_str()) != 0) return "cannot link the server folder";
	out.server.reset(new http_server(www));
	out.server->put_file(out.web_host, "/serverlist9.txt", demo_server_list(out));
	return "";
}

std::string demo_server_list(const demo_release& r)
{
	return demo_server_list(r, r.file_host);
}

std::string demo_server_list(const demo_release& r, const std::string& host)
{
	return "I\n820 version\nSERVERS\n\nFINAL " + r.name + "\n\nSERVER " + host +
	       "\n/\nLoopback|Demo server on this machine\n\nENDOFLIST\n";
}

std::string demo_manifest_zip(const demo_release& r)
{
	return r.work + "DVD_Masters/disk_0/" + r.name + "/directory.txt.zip";
}

std::string build_update_release(const demo_release& r, const std::vector<mtest::master_entry>& entries,
                                 const std::string& base_manifest_zip, const std::string& work,
                                 const std::string& host, std::string* manifest_zip)
{
	recursive_delete_folder(work);
	mtest::make_dirs(work);
	// The previous manifest, its current records one release older, so the
	// new release's records are new versions of them.
	std::string name;
	if (zip_to_file(base_manifest_zip, work, &name, 0) != 0) return "cannot unzip " + base_manifest_zip;
	std::istringstream in(read_file_bytes(work + name));
	std::string text, line;
	const std::string now = std::to_string((int)maker_release_version);
	while (std::getline(in, line)) {
		std::istringstream f(line);
		std::string word, reserved, platform, version;
		if (f >> word >> reserved >> platform >> version && word == "FILE" && version == now) {
			const size_t at = line.find(" " + now + " ");
			line.replace(at + 1, now.size(), std::to_string((int)maker_release_version - 1));
		}
		text += line + "\n";
	}
	const std::string previous = work + "previous directory.txt";
	write_file_bytes(previous, text);

	const std::string master = work + "master/";
	const std::string masters = work + "DVD_Masters/";
	mtest::write_master(master, entries);
	for (const mtest::master_entry& e : entries)
		if (e.rel == "Linux/Ventora") chmod((master + e.rel).c_str(), 0755);
	mkdir(masters.c_str(), 0755);
	xer.open(work + "build log.txt");
	std::string fatal;
	MACIBM_set_alert_sink([&](const alert_record& a) {
		if (a.kind == alert_fatal) fatal = a.line1 + " " + a.line2;
	});
	maker_set_folders(master, masters, previous);
	build_type = 0;
	maker_set_progress_hooks([](const std::string&, const std::string&) {}, [] { return 0; });
	build_install();
	build_type = 1;
	xer.close();
	MACIBM_set_alert_sink(nullptr);
	if (!fatal.empty()) return "the maker stopped: " + fatal;
	if (sim_name != r.name) return "the release is named " + sim_name;
	const std::string link = r.work + "www/" + host;
	unlink(link.c_str());
	if (symlink((masters + "disk_0").c_str(), link.c_str()) != 0) return "cannot link the server folder";
	if (manifest_zip) *manifest_zip = masters + "disk_0/" + r.name + "/directory.txt.zip";
	return "";
}

language_table::language_table(int lang)
{
	UTL_translate_clear();
	if (lang) UTL_translate_load(lang, "");
}
language_table::~language_table() { UTL_translate_clear(); }
std::string T(const char* s) { return UTL_translate_string(s); }

float next_x(int lang) { return 770 - interface_icon_width(2, lang) / 2; }
float quit_x(int lang) { return 30 + interface_icon_width(0, lang) / 2; }
float back_x(int lang) { return 760 - interface_icon_width(2, lang) - interface_icon_width(1, lang) / 2; }
float prefs_x(int lang) { return 40 + interface_icon_width(0, lang) + interface_icon_width(6, lang) / 2; }

bool next_until(gui_ctl& c, int lang, const std::string& line)
{
	for (int k = 0; k < 6; ++k) {
		c.click(next_x(lang), 23);
		if (c.wait_log(line, 5)) return true;
	}
	return false;
}

namespace {
struct gui_keep {
	std::unique_ptr<xvfb_server> x;  // destroyed after the program
	std::unique_ptr<shell_app_run> run;
};

bool wait_for(const std::function<bool()>& ok, double seconds)
{
	const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds((long long)(seconds * 1000));
	while (std::chrono::steady_clock::now() < end) {
		if (ok()) return true;
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	}
	return false;
}
}  // namespace

gui_run_result run_web_demo_gui(const demo_release& r, const gui_run_options& o, std::shared_ptr<void>& keep)
{
	gui_run_result res;
	static const char* const langs[] = {"en", "fr", "de"};
	auto k = std::make_shared<gui_keep>();
	keep = k;
	std::map<std::string, std::string> env = {{"LANGUAGE", langs[o.language]}, {"LANG", "C.UTF-8"}};
	for (const auto& kv : o.extra_env) env[kv.first] = kv.second;
	k->run.reset(new shell_app_run("", env, o.program, o.run_folder));
	shell_app_run& run = *k->run;
	// A private X server per run: clicks and windows of tests running side
	// by side never meet.
	k->x.reset(new xvfb_server(1024, 768));
	if (!k->x->display().empty()) run.display = k->x->display();
	res.run_folder = run.folder();
	mkdir((res.run_folder + "home/Desktop").c_str(), 0755);
	mtest::make_dirs(res.run_folder + o.install_parent);
	const std::string display = run.display;
	std::vector<std::string> args = {"--pref:_proxy_host=127.0.0.1",
	                                 "--pref:_proxy_port_int=" + std::to_string(r.server->port()), "--missing_strings"};
	args.insert(args.end(), o.extra_args.begin(), o.extra_args.end());
	if (!run.start(args)) {
		res.failure = "the program did not start";
		return res;
	}
	x_view xv(display);
	unsigned long win = 0;
	wait_for([&] { return (win = xv.find_window("Ventora Installer")) != 0; }, 30);
	if (!win) {
		res.failure = "no window";
		run.kill_now();
		return res;
	}
	auto point = [&](float x, float y, int* sx, int* sy) {
		int wx = 0, wy = 0, ww = 0, wh = 0;
		xv.geometry(win, &wx, &wy, &ww, &wh);
		*sx = wx + (int)x;
		*sy = wy + wh - (int)y;
	};
	int next_target = -1;  // the page a press of Next is meant to lead to
	auto click = [&](float x, float y) {
		int sx, sy;
		point(x, y, &sx, &sy);
		xdotool(display, {"windowfocus", std::to_string(win)});
		xdotool(display, {"mousemove", std::to_string(sx), std::to_string(sy)});
		std::this_thread::sleep_for(std::chrono::milliseconds(60));
		// A timed press goes out at once from this process: xdotool takes
		// tens of milliseconds to start before it presses.
		const bool timed = next_target >= 0 && o.before_next;
		if (timed) o.before_next(next_target);
		next_target = -1;
		if (!timed || !xv.click_here(1)) xdotool(display, {"click", "1"});
	};
	auto park = [&] {
		int sx, sy;
		point(795, 595, &sx, &sy);
		xdotool(display, {"mousemove", std::to_string(sx), std::to_string(sy)});
	};
	// Next, pressed again when a busy machine lost the click (the page did not
	// change in 5 s). The press keeps its own place, so the pointer can be
	// parked at once, before the next page's first frame.
	auto next_until = [&](float x, int index) {
		const std::string line = "Wizard page " + std::to_string(index) + ":";
		for (int k = 0; k < 6; ++k) {
			next_target = index;
			click(x, 23);
			if (o.park_mouse) park();
			if (run.wait_log(line, 5)) return;
		}
	};
	// The band of the page's title: it changes only when another page is drawn.
	auto title_look = [&] {
		int sx, sy;
		point(230, 495, &sx, &sy);
		return xv.pixels(sx, sy, 540, 20);
	};
	std::vector<unsigned> last_title;
	auto page = [&](int index, const std::string& name) -> bool {
		const std::string line = "Wizard page " + std::to_string(index) + ":";
		if (!run.wait_log(line, o.page_timeout)) {
			res.failure = "page " + name + " not reached";
			return false;
		}
		if (o.on_reached) o.on_reached(index);
		if (o.park_mouse) park();
		// The log line comes with the page's first frame, before it is shown:
		// its picture once its title is on the screen.
		wait_for(
		    [&] {
			    const std::vector<unsigned> t = title_look();
			    return t != last_title && std::count(t.begin(), t.end(), t.empty() ? 0 : t[0]) != (long)t.size();
		    },
		    o.page_timeout);
		// A page that was left at once may show the next one's title by
		// now: the next page would wait for a change that has come.
		if (!run.wait_log("Wizard page " + std::to_string(index + 1) + ":", 0)) last_title = title_look();
		// Where frames are quick the pointer may have been parked just after
		// that frame: a few more.
		std::this_thread::sleep_for(std::chrono::milliseconds(100));
		if (!o.screens_folder.empty()) {
			const std::string file = o.screens_folder + std::to_string(index) + "-" + name + "-" + langs[o.language] + ".png";
			if (xv.save_png(win, file)) res.screens.push_back(file);
		}
		if (o.on_page) o.on_page(name);
		return true;
	};
	const float next_x = 770 - (interface_icon_width(2, o.language)) / 2;
	// Next after the box was clicked; a lost click on the box leaves Next
	// disabled: tick it again.
	auto go_past_licence = [&] {
		next_until(next_x, 2);
		for (int k = 0; k < 3 && !run.wait_log("Wizard page 2:", 0); ++k) {
			click(230, 103);
			next_until(next_x, 2);
		}
		return run.wait_log("Wizard page 2:", 0);
	};
	gui_ctl ctl;
	ctl.click = click;
	ctl.accept_licence = [&] {
		click(230, 103);
		return go_past_licence();
	};
	ctl.key = [&](const std::string& key) {
		xdotool(display, {"windowfocus", std::to_string(win)});
		xdotool(display, {"key", key});
	};
	ctl.wait_log = [&](const std::string& text, double seconds) { return run.wait_log(text, seconds); };
	ctl.log = [&] { return run.log(); };
	ctl.save_png = [&](const std::string& png) { return xv.save_png(win, png); };
	ctl.pixel = [&](float x, float y) {
		int sx, sy;
		point(x, y, &sx, &sy);
		return xv.pixel(sx, sy);
	};
	ctl.close_window = [&] { xv.send_close(win); };
	ctl.pid = run.pid();
	ctl.run_folder = res.run_folder;
	ctl.display = display;
	ctl.screen_point = point;
	bool stopped = false;
	auto stop_here = [&](int index) {
		if (index != o.stop_at || stopped) return false;
		stopped = true;
		if (o.at_stop) o.at_stop(ctl);
		return true;
	};
	bool ok = page(0, "welcome");
	if (ok && stop_here(0)) ok = false;
	if (ok) next_until(next_x, 1);
	if (ok) ok = page(1, "license");
	if (ok && stop_here(1)) ok = false;
	if (ok) {
		// The picture once Next has lit up (the tick was seen and drawn); a
		// lost click on the box is made again.
		auto next_look = [&] {
			std::vector<unsigned> out;
			for (int dx = -12; dx <= 12; dx += 4) {
				int sx, sy;
				point(next_x + dx, 23, &sx, &sy);
				out.push_back(xv.pixel(sx, sy));
			}
			return out;
		};
		const std::vector<unsigned> dim = next_look();
		for (int k = 0; k < 3; ++k) {
			click(230, 103);
			if (wait_for([&] { return next_look() != dim; }, 10)) break;
		}
		if (!o.screens_folder.empty()) {
			const std::string file = o.screens_folder + "1-license-ticked-" + langs[o.language] + ".png";
			if (xv.save_png(win, file)) res.screens.push_back(file);
		}
		go_past_licence();
	}
	if (ok) ok = page(2, "servers");
	if (ok && stop_here(2)) ok = false;
	if (ok) ok = page(3, "destination");
	if (ok && stop_here(3)) ok = false;
	if (ok && o.change_destination) {
		// The page's sentence names the folder: its picture once the chosen
		// one is on the screen. While the dialog is up the window shows the
		// frame as far as the pressed button (the button shows its pressed
		// look before acting), without the sentence.
		auto body_look = [&] {
			int sx, sy;
			point(230, 455, &sx, &sy);
			return xv.pixels(sx, sy, 540, 60);
		};
		const std::vector<unsigned> before = body_look();
		write_file_bytes(res.run_folder + "zenity_answer.txt", res.run_folder + o.install_parent + "\n");
		click(290, 203);
		wait_for([&] { return file_exists(res.run_folder + "zenity_calls.txt"); }, 20);
		wait_for(
		    [&] {
			    const std::vector<unsigned> b = body_look();
			    return b != before && std::count(b.begin(), b.end(), b.empty() ? 0 : b[0]) != (long)b.size();
		    },
		    o.page_timeout);
		if (!o.screens_folder.empty()) {
			const std::string file = o.screens_folder + "3-destination-changed-" + langs[o.language] + ".png";
			if (xv.save_png(win, file)) res.screens.push_back(file);
		}
	}
	if (ok) next_until(next_x, 4);
	if (ok) ok = page(4, "install");
	if (ok && stop_here(4)) ok = false;
	if (ok) ok = page(5, "finish");
	if (ok && stop_here(5)) ok = false;
	if (ok) {
		if (o.fly) click(500, 350);
		else click(770 - interface_icon_width(0, o.language) / 2, 23);
	}
	res.exit_status = run.wait_exit(ok || stopped ? o.exit_timeout : 1);
	if (res.exit_status < 0) run.kill_now();
	res.log = run.log();
	// The installed folder, as the registry keeps it (the last one: a kept
	// run folder may list earlier installs before it).
	std::ifstream reg(res.run_folder + "home/.config/Ventora/ventora_install.txt");
	std::string line;
	res.dest.clear();
	while (std::getline(reg, line))
		if (!line.empty()) res.dest = line;
	return res;
}

void keep_settled_shot(const std::function<bool(const std::string& png)>& save, const std::string& name)
{
	const char* keep = std::getenv("VENTORA_KEEP_SHOTS");
	if (!keep) return;
	const std::string path = std::string(keep) + "/" + name + ".png", look = path + ".look";
	save(path);
	wait_for(
	    [&] {
		    std::this_thread::sleep_for(std::chrono::milliseconds(100));
		    if (!save(look)) return false;
		    const bool same = read_file_bytes(look) == read_file_bytes(path);
		    rename(look.c_str(), path.c_str());
		    return same;
	    },
	    10);
	unlink(look.c_str());
}
void keep_settled_shot(gui_ctl& c, const std::string& name) { keep_settled_shot(c.save_png, name); }

std::string write_contact_sheet(const std::vector<std::string>& pictures, int columns, const std::string& out)
{
	if (pictures.empty() || columns < 1) return "no pictures";
	struct picture {
		TEX_image_desc d;
		unsigned char* px = nullptr;
	};
	std::vector<picture> all;
	auto free_all = [&] {
		for (picture& p : all) std::free(p.px);
	};
	int cell_w = 0, cell_h = 0;
	for (const std::string& f : pictures) {
		picture p;
		if (!TEX_load_any(f, p.px, GL_RGB, 0, 0, p.d) || !p.px) {
			std::free(p.px);
			free_all();
			return "cannot read " + f;
		}
		TEX_downscale(p.d, p.px, 2, 2);
		cell_w = std::max(cell_w, p.d.width);
		cell_h = std::max(cell_h, p.d.height);
		all.push_back(p);
	}
	const int gap = 16, n = (int)all.size(), cols = std::min(columns, n), rows = (n + cols - 1) / cols;
	TEX_image_desc sheet;
	sheet.format = GL_RGB;
	sheet.width = cols * cell_w + (cols + 1) * gap;
	sheet.height = rows * cell_h + (rows + 1) * gap;
	std::vector<unsigned char> px((size_t)sheet.width * sheet.height * 3, 48);
	for (int i = 0; i < n; ++i) {
		const picture& p = all[i];
		const int left = gap + (i % cols) * (cell_w + gap), top = gap + (i / cols) * (cell_h + gap);
		const size_t stride = (size_t)p.d.width * 3 + p.d.row_padding;
		// Rows run bottom-up in both.
		for (int y = 0; y < p.d.height; ++y)
			std::copy_n(p.px + y * stride, (size_t)p.d.width * 3,
			            &px[((size_t)(sheet.height - top - p.d.height + y) * sheet.width + left) * 3]);
	}
	free_all();
	return TEX_save_png(out, sheet, px.data()) ? "" : "cannot write " + out;
}

}  // namespace vtest
