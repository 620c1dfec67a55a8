#include "tests/support/x_session.h"

#include <gtest/gtest.h>

#include <png.h>
#include <cstdio>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace vtest {

namespace {
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int out_fd, int err_fd,
            const std::string& cwd)
{
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	if (out_fd >= 0) posix_spawn_file_actions_adddup2(&fa, out_fd, 1);
	if (err_fd >= 0) posix_spawn_file_actions_adddup2(&fa, err_fd, 2);
	if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
	std::vector<char*> argv, envp;
	for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);
	for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
	envp.push_back(nullptr);
	pid_t pid = -1;
	if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), env.empty() ? environ : envp.data()) != 0) pid = -1;
	posix_spawn_file_actions_destroy(&fa);
	return pid;
}

std::string bin_dir()
{
	const char* b = std::getenv("VENTORA_BIN_DIR");
	return b ? b : VENTORA_TEST_BIN_DIR;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace

xvfb_server::xvfb_server(int width, int height)
{
	int fds[2];
	if (pipe(fds) != 0) return;
	const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
	pid_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", size, "-nolisten", "tcp"}, {}, -1,
	             open("/dev/null", O_WRONLY | O_CLOEXEC), "");
	close(fds[1]);
	std::string num;
	char c;
	while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') num += c;
	close(fds[0]);
	if (!num.empty()) display_ = ":" + num;
}

xvfb_server::~xvfb_server()
{
	if (pid_ > 0) {
		kill(pid_, SIGTERM);
		int st;
		waitpid(pid_, &st, 0);
	}
}

shell_app_run::shell_app_run(const std::string& mode, std::map<std::string, std::string> env,
                             const std::string& program, const std::string& run_folder)
    : dir_(run_folder), mode_(mode), program_(program), env_(std::move(env))
{
	const char* d = std::getenv("DISPLAY");
	display = d ? d : "";
	// A copy of the program: its log lies beside it. A kept folder may hold
	// an older one, maybe a link to the build's own: never written through.
	const std::string src = bin_dir() + "/" + program_;
	unlink(dir_(program_).c_str());
	// What the stand-ins recorded in an earlier run of a kept folder.
	for (const char* old : {"zenity_calls.txt", "zenity_answer.txt", "xdg_open_calls.txt", "app_report.txt"})
		unlink(dir_(old).c_str());
	if (link(src.c_str(), dir_(program_).c_str()) != 0) {
		std::ifstream in(src, std::ios::binary);
		std::ofstream out(dir_(program_), std::ios::binary);
		out << in.rdbuf();
		out.close();
		chmod(dir_(program_).c_str(), 0755);
	}
	dir_.mkdir("bin");
	const std::string folder = dir_.root;
	dir_.write("bin/zenity", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + folder +
	                             "zenity_calls.txt'\n[ -f '" + folder + "zenity_answer.txt' ] || exit 1\ncat '" + folder +
	                             "zenity_answer.txt'\n");
	dir_.write("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + folder + "xdg_open_calls.txt'\n");
	chmod(dir_("bin/zenity").c_str(), 0755);
	chmod(dir_("bin/xdg-open").c_str(), 0755);
	symlink((bin_dir() + "/Resources").c_str(), dir_("Resources").c_str());
	dir_.mkdir("home");
	dir_.mkdir("tmp");
}

shell_app_run::~shell_app_run()
{
	if (pid_ > 0 && status_ < 0) {
		kill(pid_, SIGKILL);
		int st;
		waitpid(pid_, &st, 0);
	}
	// Every window a test drives is also a layout check: the program logs
	// what overlaps, touches or leaves its window, once per problem.
	if (pid_ > 0 && check_layout) {
		std::istringstream in(log());
		std::string line, found;
		while (std::getline(in, line))
			if (line.rfind("Layout: ", 0) == 0) found += line + "\n";
		EXPECT_EQ(found, "") << program_ << " drew elements that overlap or leave the window";
	}
}

bool shell_app_run::start(const std::vector<std::string>& args)
{
	std::map<std::string, std::string> env = {
	    {"PATH", dir_("bin") + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")},
	    {"HOME", dir_("home")},
	    {"XDG_CONFIG_HOME", dir_("home/.config")},
	    {"XDG_DATA_HOME", dir_("home/.local/share")},
	    {"XDG_DESKTOP_DIR", dir_("home/Desktop")},
	    {"TMPDIR", dir_("tmp")},
	    {"LANG", "C.UTF-8"},
	    {"LANGUAGE", "en"},
	    {"SHELL_APP_MODE", mode_},
	    {"SDL_VIDEODRIVER", "x11"},
	    // An idle window waits for input or its own timers only: whatever a
	    // test waits for must wake it, never the idle heartbeat.
	    {"VENTORA_LONGEST_IDLE_MS", "600000"},
	    {"VENTORA_LAYOUT_CHECK", check_layout ? "1" : "0"},
	};
	if (!display.empty()) env["DISPLAY"] = display;
	if (const char* x = std::getenv("XAUTHORITY")) env["XAUTHORITY"] = x;
	if (const char* a = std::getenv("ASAN_OPTIONS")) env["ASAN_OPTIONS"] = a;
	if (const char* u = std::getenv("UBSAN_OPTIONS")) env["UBSAN_OPTIONS"] = u;
	if (const char* l = std::getenv("LSAN_OPTIONS")) env["LSAN_OPTIONS"] = l;
	if (const char* p = std::getenv("VENTORA_LAYOUT_PICTURES")) env["VENTORA_LAYOUT_PICTURES"] = p;
	for (auto& kv : env_) {
		if (kv.second == "<unset>") env.erase(kv.first);
		else env[kv.first] = kv.second;
	}
	std::vector<std::string> envv;
	for (auto& kv : env) envv.push_back(kv.first + "=" + kv.second);
	std::vector<std::string> argv = {dir_(program_)};
	argv.insert(argv.end(), args.begin(), args.end());
	const int out = open(dir_("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
	const int err = open(dir_("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
	pid_ = spawn(argv, envv, out, err, dir_.root);
	close(out);
	close(err);
	return pid_ > 0;
}

int shell_app_run::wait_exit(double seconds)
{
	if (status_ >= 0) return status_;
	for (int i = 0; i < seconds * 100; ++i) {
		int st = 0;
		if (waitpid(pid_, &st, WNOHANG) == pid_) {
			status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
			return status_;
		}
		sleep_ms(10);
	}
	return -1;
}

std::vector<std::string> shell_app_run::report_lines() const
{
	std::vector<std::string> lines;
	std::istringstream in(dir_.read("app_report.txt"));
	std::string l;
	while (std::getline(in, l)) lines.push_back(l);
	return lines;
}

int shell_app_run::wait_line(const std::string& text, double seconds, int from)
{
	// Looks at least once, so a wait of 0 asks whether the line is there now.
	for (int i = 0;; ++i) {
		const std::vector<std::string> lines = report_lines();
		for (int k = from; k < (int)lines.size(); ++k)
			if (lines[k].find(text) != std::string::npos) return k;
		if (i >= seconds * 100) return -1;
		sleep_ms(10);
	}
}

std::string shell_app_run::log() const { return dir_.read("Ventora Installer Log.txt"); }
bool shell_app_run::wait_log(const std::string& text, double seconds) const
{
	// Looks at least once, so a wait of 0 asks whether the line is there now.
	for (int i = 0;; ++i) {
		if (log().find(text) != std::string::npos) return true;
		if (i >= seconds * 100) return false;
		sleep_ms(10);
	}
}

void shell_app_run::kill_now()
{
	if (pid_ > 0 && status_ < 0) {
		kill(pid_, SIGKILL);
		int st;
		waitpid(pid_, &st, 0);
		status_ = 137;
	}
}

std::string shell_app_run::stderr_text() const { return dir_.read("stderr.txt"); }

shell_app_run::wind_info shell_app_run::last_wind() const
{
	wind_info w;
	for (const std::string& l : report_lines())
		if (l.compare(0, 5, "wind ") == 0)
			std::sscanf(l.c_str(), "wind %d %d %d %d %d res %d %d at %d %d lang %d", &w.type, &w.x, &w.y, &w.dx, &w.dy,
			            &w.x_res, &w.y_res, &w.win_x, &w.win_y, &w.lang);
	return w;
}

void shell_app_run::screen_point(float x, float y, int* sx, int* sy) const
{
	const wind_info w = last_wind();
	*sx = w.win_x + (int)(w.x + x);
	*sy = w.win_y + w.y_res - (int)(w.y + y);
}

bool xdotool(const std::string& display, const std::vector<std::string>& args)
{
	std::vector<std::string> argv = {"xdotool"};
	argv.insert(argv.end(), args.begin(), args.end());
	std::vector<std::string> env = {"DISPLAY=" + display, "LANG=C.UTF-8", "LC_ALL=C.UTF-8",
	                                std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin")};
	if (const char* x = std::getenv("XAUTHORITY")) env.push_back(std::string("XAUTHORITY=") + x);
	const pid_t pid = spawn(argv, env, -1, -1, "");
	if (pid <= 0) return false;
	int st = 0;
	waitpid(pid, &st, 0);
	return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

void click_at(const shell_app_run& app, float x, float y, int pause_ms)
{
	int sx, sy;
	app.screen_point(x, y, &sx, &sy);
	if (pause_ms <= 0) {
		xdotool(app.display, {"mousemove", std::to_string(sx), std::to_string(sy), "click", "1"});
		return;
	}
	xdotool(app.display, {"mousemove", std::to_string(sx), std::to_string(sy)});
	std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
	xdotool(app.display, {"click", "1"});
}

namespace {
// A window of the program may go away between listing it and asking for its
// name (start-up windows): Xlib's own handler would end the test process.
int tolerate_x_error(Display*, XErrorEvent* e)
{
	if (e->error_code != BadWindow && e->error_code != BadDrawable && e->error_code != BadMatch)
		std::fprintf(stderr, "x_view: X error %d (request %d)\n", e->error_code, e->request_code);
	return 0;
}
}  // namespace

x_view::x_view(const std::string& display)
{
	XSetErrorHandler(tolerate_x_error);
	dpy_ = XOpenDisplay(display.c_str());
}
x_view::~x_view()
{
	if (dpy_) XCloseDisplay(static_cast<Display*>(dpy_));
}

unsigned long x_view::find_window(const std::string& name)
{
	const std::vector<unsigned long> all = find_windows(name);
	return all.empty() ? 0 : all.front();
}

std::vector<unsigned long> x_view::find_windows(const std::string& name)
{
	Display* d = static_cast<Display*>(dpy_);
	Window root = DefaultRootWindow(d), parent, *kids = nullptr;
	unsigned n = 0;
	std::vector<unsigned long> found;
	if (!XQueryTree(d, root, &root, &parent, &kids, &n)) return found;
	for (unsigned i = 0; i < n; ++i) {
		char* wm_name = nullptr;
		if (XFetchName(d, kids[i], &wm_name) && wm_name) {
			if (name == wm_name) found.push_back(kids[i]);
			XFree(wm_name);
		}
	}
	if (kids) XFree(kids);
	return found;
}

bool x_view::geometry(unsigned long w, int* x, int* y, int* width, int* height)
{
	Display* d = static_cast<Display*>(dpy_);
	XWindowAttributes a;
	if (!XGetWindowAttributes(d, w, &a)) return false;
	Window child;
	XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, x, y, &child);
	*width = a.width;
	*height = a.height;
	return true;
}

unsigned x_view::pixel(int x, int y)
{
	const std::vector<unsigned> p = pixels(x, y, 1, 1);
	return p.empty() ? 0xFFFFFFFFu : p[0];
}

std::vector<unsigned> x_view::pixels(int x, int y, int width, int height)
{
	Display* d = static_cast<Display*>(dpy_);
	std::vector<unsigned> out;
	XImage* img = XGetImage(d, DefaultRootWindow(d), x, y, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
	if (!img) return out;
	out.reserve((size_t)width * (size_t)height);
	for (int row = 0; row < height; ++row)
		for (int col = 0; col < width; ++col) out.push_back((unsigned)(XGetPixel(img, col, row) & 0xFFFFFF));
	XDestroyImage(img);
	return out;
}

bool x_view::map_keysyms(const std::vector<std::string>& names)
{
	Display* d = static_cast<Display*>(dpy_);
	int min_code = 0, max_code = 0, per_code = 0;
	XDisplayKeycodes(d, &min_code, &max_code);
	KeySym* map = XGetKeyboardMapping(d, (KeyCode)min_code, max_code - min_code + 1, &per_code);
	if (!map) return false;
	auto unused = [&](int code) {
		for (int k = 0; k < per_code; ++k)
			if (map[(code - min_code) * per_code + k] != NoSymbol) return false;
		return true;
	};
	bool ok = true;
	int code = max_code;
	for (const std::string& name : names) {
		KeySym sym = XStringToKeysym(name.c_str());
		if (sym == NoSymbol) {
			ok = false;
			continue;
		}
		if (XKeysymToKeycode(d, sym) != 0) continue;
		while (code >= min_code && !unused(code)) --code;
		if (code < min_code) {
			ok = false;
			break;
		}
		XChangeKeyboardMapping(d, code, 1, &sym, 1);
		map[(code - min_code) * per_code] = sym;
	}
	XSync(d, False);
	XFree(map);
	return ok;
}

bool x_view::save_png(unsigned long w, const std::string& path)
{
	Display* d = static_cast<Display*>(dpy_);
	XWindowAttributes a;
	if (!XGetWindowAttributes(d, w, &a)) return false;
	XImage* img = XGetImage(d, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
	if (!img) return false;
	std::FILE* f = std::fopen(path.c_str(), "wb");
	if (!f) {
		XDestroyImage(img);
		return false;
	}
	png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png ? png_create_info_struct(png) : nullptr;
	bool ok = png && info && !setjmp(png_jmpbuf(png));
	if (ok) {
		png_init_io(png, f);
		png_set_IHDR(png, info, a.width, a.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
		             PNG_FILTER_TYPE_DEFAULT);
		png_write_info(png, info);
		std::vector<unsigned char> row(3 * a.width);
		for (int y = 0; y < a.height; ++y) {
			for (int x = 0; x < a.width; ++x) {
				const unsigned long p = XGetPixel(img, x, y);
				row[3 * x] = (p >> 16) & 0xFF;
				row[3 * x + 1] = (p >> 8) & 0xFF;
				row[3 * x + 2] = p & 0xFF;
			}
			png_write_row(png, row.data());
		}
		png_write_end(png, nullptr);
	}
	if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
	std::fclose(f);
	XDestroyImage(img);
	return ok;
}

bool x_view::send_close(unsigned long w)
{
	Display* d = static_cast<Display*>(dpy_);
	XEvent e;
	std::memset(&e, 0, sizeof e);
	e.xclient.type = ClientMessage;
	e.xclient.window = w;
	e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
	e.xclient.format = 32;
	e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
	e.xclient.data.l[1] = CurrentTime;
	const bool ok = XSendEvent(d, w, False, NoEventMask, &e) != 0;
	XFlush(d);
	return ok;
}

void x_view::pointer(int* x, int* y)
{
	Display* d = static_cast<Display*>(dpy_);
	Window r, c;
	int wx, wy;
	unsigned mask;
	XQueryPointer(d, DefaultRootWindow(d), &r, &c, x, y, &wx, &wy, &mask);
}

bool x_view::click_here(unsigned button)
{
	Display* d = static_cast<Display*>(dpy_);
	int ev = 0, err = 0, major = 0, minor = 0;
	if (!d || !XTestQueryExtension(d, &ev, &err, &major, &minor)) return false;
	XTestFakeButtonEvent(d, button, True, CurrentTime);
	XFlush(d);
	// Held as long as xdotool's click holds it.
	std::this_thread::sleep_for(std::chrono::milliseconds(12));
	XTestFakeButtonEvent(d, button, False, CurrentTime);
	XFlush(d);
	return true;
}

}  // namespace vtest
