#include "tests/support/dvd_window.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "Installer-f/wizard.h"
#include "tests/support/x_session.h"

namespace vtest {

namespace {
void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace

bool wait_for(const std::function<bool()>& ok, double seconds)
{
	const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds((long long)(seconds * 1000));
	while (std::chrono::steady_clock::now() < end) {
		if (ok()) return true;
		pause_ms(20);
	}
	return ok();
}

int count_in(const std::string& text, const std::string& what)
{
	int n = 0;
	for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
	return n;
}

wizard_window::wizard_window(int lang, const std::string& program)
    : lang_(lang),
      x_(new xvfb_server(1024, 768)),
      run_(new shell_app_run("", {{"LANGUAGE", lang == 1 ? "fr" : lang == 2 ? "de" : "en"}}, program))
{
	if (!x_->display().empty()) run_->display = x_->display();
	mkdir((run_->folder() + "home/Desktop").c_str(), 0755);
}

wizard_window::~wizard_window()
{
	run_.reset();  // the program before its X server
	xv_.reset();
	x_.reset();
}

bool wizard_window::start(const std::vector<std::string>& args)
{
	if (!run_->start(args)) return false;
	xv_.reset(new x_view(run_->display));
	return wait_for([&] { return (win_ = xv_->find_window("Ventora Installer")) != 0; }, 60);
}

void wizard_window::point(float x, float y, int* sx, int* sy)
{
	int wx = 0, wy = 0, ww = 0, wh = 0;
	xv_->geometry(win_, &wx, &wy, &ww, &wh);
	*sx = wx + (int)x;
	*sy = wy + wh - (int)y;
}

void wizard_window::size(int* w, int* h)
{
	int wx, wy;
	xv_->geometry(win_, &wx, &wy, w, h);
}

void wizard_window::move(float x, float y)
{
	int sx, sy;
	point(x, y, &sx, &sy);
	xdo({"mousemove", std::to_string(sx), std::to_string(sy)});
}

void wizard_window::click(float x, float y)
{
	xdo({"windowfocus", std::to_string(win_)});
	move(x, y);
	pause_ms(60);
	xdo({"mousedown", "1"});
	pause_ms(120);
	xdo({"mouseup", "1"});
}

void wizard_window::tap(float x, float y)
{
	xdo({"windowfocus", std::to_string(win_)});
	move(x, y);
	pause_ms(60);
	xdo({"click", "1"});
}

void wizard_window::drag(float x0, float y0, float x1, float y1)
{
	xdo({"windowfocus", std::to_string(win_)});
	move(x0, y0);
	pause_ms(60);
	xdo({"mousedown", "1"});
	pause_ms(120);
	for (int k = 1; k <= 4; ++k) {
		move(x0 + (x1 - x0) * k / 4, y0 + (y1 - y0) * k / 4);
		pause_ms(80);
	}
	xdo({"mouseup", "1"});
}

std::vector<unsigned> wizard_window::block(float x, float y)
{
	int sx, sy;
	point(x, y, &sx, &sy);
	std::vector<unsigned> out;
	for (int dy = -1; dy <= 1; ++dy)
		for (int dx = -1; dx <= 1; ++dx) out.push_back(xv_->pixel(sx + dx, sy + dy));
	return out;
}

std::vector<unsigned> wizard_window::steady_block(float x, float y)
{
	std::vector<unsigned> a = block(x, y), b;
	for (int i = 0; i < 50; ++i) {
		pause_ms(100);
		b = block(x, y);
		if (a == b) return b;
		a = b;
	}
	return b;
}

std::string wizard_window::log() const { return run_->log() + "\n--- stderr ---\n" + run_->stderr_text(); }

int wizard_window::count(const std::string& text) const { return count_in(run_->log(), text); }

bool wizard_window::wait_count(const std::string& text, int before, double seconds)
{
	return wait_for([&] { return count(text) > before; }, seconds);
}

bool wizard_window::wait_log(const std::string& text, double seconds) { return run_->wait_log(text, seconds); }

bool wizard_window::click_until(float x, float y, const std::string& text, double each, int tries)
{
	const int before = count(text);
	for (int k = 0; k < tries; ++k) {
		click(x, y);
		if (wait_count(text, before, each)) return true;
	}
	return false;
}

float wizard_window::next_x() const { return 770 - interface_icon_width(2, lang_) / 2; }
float wizard_window::back_x() const
{
	return 760 - interface_icon_width(2, lang_) - interface_icon_width(1, lang_) / 2;
}
float wizard_window::quit_right_x() const { return 770 - interface_icon_width(0, lang_) / 2; }
float wizard_window::quit_left_x() const { return 30 + interface_icon_width(0, lang_) / 2; }

bool wizard_window::next_until(const std::string& text, double each, int tries)
{
	return click_until(next_x(), 23, text, each, tries);
}
bool wizard_window::back_until(const std::string& text) { return click_until(back_x(), 23, text); }

void wizard_window::question_point(float x, float y, float* gx, float* gy)
{
	int w = 0, h = 0;
	size(&w, &h);
	*gx = std::trunc(std::round((w - 700) / 2.0f)) + x;
	*gy = std::trunc(std::round((h - 206) / 2.0f)) + y;
}

void wizard_window::question_click(float x, float y)
{
	float gx, gy;
	question_point(x, y, &gx, &gy);
	click(gx, gy);
}

int wizard_window::wait_exit(double seconds) { return run_->wait_exit(seconds); }
const std::string& wizard_window::folder() const { return run_->folder(); }
std::string wizard_window::home() const { return run_->folder() + "home/"; }
void wizard_window::xdo(const std::vector<std::string>& args) { xdotool(run_->display, args); }

}  // namespace vtest
