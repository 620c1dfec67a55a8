// The shell's real window under Xvfb: the test application started in a
// folder of its own, driven with real X input (xdotool through XTEST) and
// read back with Xlib.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/support/x_session.h"
#include "tests/support/x_session_fixture.h"

namespace {

using vtest::click_at;
using vtest::shell_app_run;
using vtest::x_view;
using vtest::xdotool;

class ShellWindow : public vtest::XServerTest {
protected:
	std::string display_or_fail()
	{
		if (xvfb.display().empty()) ADD_FAILURE() << "Xvfb could not be started (scripts/setup.sh installs it).";
		return xvfb.display();
	}
	// Starts the application on a screen of another size (a server of its
	// own, kept by the fixture) and waits for its main screen.
	void start_on_screen(shell_app_run& app, int width, int height)
	{
		other_screen = std::make_unique<vtest::xvfb_server>(width, height);
		ASSERT_FALSE(other_screen->display().empty());
		app.display = other_screen->display();
		ASSERT_TRUE(app.start());
		ASSERT_GE(app.wait_line("ready", 20), 0) << app.stderr_text();
	}
	std::unique_ptr<vtest::xvfb_server> other_screen;
};

// A window of the application: 800 x 600 with its top-left corner there.
void expect_geometry(x_view& x, unsigned long w, int want_x, int want_y)
{
	int wx, wy, ww, wh;
	ASSERT_TRUE(x.geometry(w, &wx, &wy, &ww, &wh));
	EXPECT_EQ(wx, want_x);
	EXPECT_EQ(wy, want_y);
	EXPECT_EQ(ww, 800);
	EXPECT_EQ(wh, 600);
}

// Closes the window as a window manager does and expects a clean end.
void close_cleanly(shell_app_run& app)
{
	x_view x(app.display);
	ASSERT_TRUE(x.ok());
	const unsigned long w = x.find_window("Ventora Installer");
	ASSERT_NE(w, 0u);
	ASSERT_TRUE(x.send_close(w));
	EXPECT_EQ(app.wait_exit(15), 0) << app.stderr_text();
	EXPECT_GE(app.wait_line("quit", 1), 0);
}

TEST_F(ShellWindow, FramedWindowOnALargeScreenLogsAndClosesCleanly)
{
	shell_app_run app("idle");
	app.display = display_or_fail();
	ASSERT_TRUE(app.start());
	ASSERT_GE(app.wait_line("ready", 20), 0) << app.stderr_text();
	x_view x(app.display);
	const unsigned long w = x.find_window("Ventora Installer");
	ASSERT_NE(w, 0u);
	expect_geometry(x, w, 0, 40);
	// The main screen's mark (palette 40) at the bottom left, background elsewhere.
	EXPECT_NE(x.pixel(10, 40 + 590), x.pixel(400, 40 + 300));

	close_cleanly(app);
	const std::string log = app.log();
	EXPECT_EQ(log.find("Installer log.txt for Ventora Web Demo Installer 2.04r1"), 0u);
	for (const char* line : {"AGL_RGBA         : 1\n", "AGL_DOUBLEBUFFER : 1\n", "AGL_RED_SIZE     : 8\n",
	                         "AGL_GREEN_SIZE   : 8\n", "AGL_BLUE_SIZE    : 8\n", "AGL_ALPHA_SIZE   : ",
	                         "AGL_DEPTH_SIZE   : "})
		EXPECT_NE(log.find(line), std::string::npos) << line;
	// Xvfb's renderer is Mesa's software one: used, and named as such.
	EXPECT_NE(log.find("The OpenGL renderer 'llvmpipe"), std::string::npos) << log;
	EXPECT_NE(log.find("' draws in software, without 3-D acceleration.\n"), std::string::npos);
	EXPECT_EQ(log.find("Enabling threaded OGL"), std::string::npos);
}

TEST_F(ShellWindow, ThreadedOpenGLOptionRunsTheDriversThread)
{
	shell_app_run app("idle");
	app.display = display_or_fail();
	ASSERT_TRUE(app.start({"--use_threaded_ogl"}));
	ASSERT_GE(app.wait_line("ready", 20), 0) << app.stderr_text();
	x_view x(app.display);
	ASSERT_NE(x.find_window("Ventora Installer"), 0u);
	// Drawn as without the option.
	EXPECT_NE(x.pixel(10, 40 + 590), x.pixel(400, 40 + 300));
	close_cleanly(app);
	EXPECT_NE(app.log().find("Enabling threaded OGL - got 0\n"), std::string::npos) << app.log();
}

// A screen wide enough for two windows side by side: the second window's
// context draws a texture the main one made, the pointer's window comes to
// the front and its mouse continues to the right of the first window, and
// closing the second window quits cleanly.
TEST_F(ShellWindow, SecondWindowSharesTexturesAndTakesTheMouse)
{
	shell_app_run app("two_windows");
	ASSERT_NO_FATAL_FAILURE(start_on_screen(app, 1700, 700));
	EXPECT_GE(app.wait_line("second window 1 at 800 40", 0), 0);
	EXPECT_GE(app.wait_line("shared 1", 0), 0);
	x_view x(app.display);
	const std::vector<unsigned long> ws = x.find_windows("Ventora Installer");
	ASSERT_EQ(ws.size(), 2u);
	// The stacking order says nothing of which is which.
	int x0, y0, w0, h0;
	ASSERT_TRUE(x.geometry(ws[0], &x0, &y0, &w0, &h0));
	const unsigned long second = x0 == 0 ? ws[1] : ws[0];
	expect_geometry(x, x0 == 0 ? ws[0] : ws[1], 0, 40);
	expect_geometry(x, second, 800, 40);
	EXPECT_EQ(x.pixel(800 + 400, 40 + 300), 0xFF00FFu);
	// The main window still gets the shell's drawing.
	EXPECT_NE(x.pixel(10, 40 + 590), x.pixel(400, 40 + 300));

	struct row {
		int sx, sy;        // screen point
		const char* seen;  // the frame's mouse and the window in front
	} rows[] = {
	    {900, 240, "mouse 900 400 wind 0 front 1"},
	    {900, 30, "mouse 900 610 wind 0 front 1"},   // above it, in its title strip
	    {100, 340, "mouse 100 300 wind 0 front 0"},
	    {1250, 639, "mouse 1250 1 wind 0 front 1"},  // its bottom row
	};
	for (const row& r : rows) {
		const int from = (int)app.report_lines().size();
		xdotool(app.display, {"mousemove", std::to_string(r.sx), std::to_string(r.sy)});
		EXPECT_GE(app.wait_line(r.seen, 10, from), 0) << r.seen;
	}
	const int from = (int)app.report_lines().size();
	xdotool(app.display, {"click", "1"});
	EXPECT_GE(app.wait_line("click 1250 1", 10, from), 0);

	ASSERT_TRUE(x.send_close(second));
	EXPECT_EQ(app.wait_exit(15), 0) << app.stderr_text();
	EXPECT_GE(app.wait_line("quit", 1), 0);
}

TEST_F(ShellWindow, FramelessWindowFillsASmallScreen)
{
	shell_app_run app("idle");
	ASSERT_NO_FATAL_FAILURE(start_on_screen(app, 800, 600));
	x_view x(app.display);
	const unsigned long w = x.find_window("Ventora Installer");
	ASSERT_NE(w, 0u);
	expect_geometry(x, w, 0, 0);
	close_cleanly(app);
}

TEST_F(ShellWindow, DrawnAlertClosesByButtonOrReturnAndRestoresTheMouse)
{
	for (int by_return = 0; by_return < 2; ++by_return) {
		shell_app_run app("alert");
		app.display = display_or_fail();
		ASSERT_TRUE(app.start());
		ASSERT_GE(app.wait_line("wind 994", 20), 0) << app.stderr_text();
		x_view x(app.display);
		int sx, sy, bx, by;
		app.screen_point(210, 125, &sx, &sy);
		app.screen_point(-50, 125, &bx, &by);  // left of the panel
		usleep(300 * 1000);
		const unsigned panel = x.pixel(sx, sy), back = x.pixel(bx, by);
		EXPECT_NE(panel, back);
		// A press elsewhere on the panel does not close it.
		click_at(app, 10, 240);
		usleep(300 * 1000);
		EXPECT_LT(app.wait_line("alert returned", 0.2), 0);
		if (by_return) xdotool(app.display, {"key", "Return"});
		else click_at(app, 210, 18);
		ASSERT_GE(app.wait_line("alert returned", 10), 0);
		EXPECT_EQ(app.last_wind().type, 0);
		// The pointer is back where it was when the alert opened.
		const std::vector<std::string> lines = app.report_lines();
		int bx0 = -1, by0 = -1, ax = -2, ay = -2;
		for (const std::string& l : lines) {
			std::sscanf(l.c_str(), "mouse before %d %d", &bx0, &by0);
			std::sscanf(l.c_str(), "alert returned, mouse %d %d", &ax, &ay);
		}
		EXPECT_EQ(ax, bx0);
		EXPECT_EQ(ay, by0);
		usleep(300 * 1000);
		EXPECT_EQ(x.pixel(sx, sy), x.pixel(bx, by));  // the panel is gone
		close_cleanly(app);
		EXPECT_NE(app.log().find("\nSomething to say\nSecond line\n\n\n(DIzivoz/test line 1)\n"), std::string::npos);
	}
}

TEST_F(ShellWindow, WorkerAlertWaitsUntilPrefsCloses)
{
	shell_app_run app("worker");
	app.display = display_or_fail();
	ASSERT_TRUE(app.start());
	const int prefs = app.wait_line("wind 2 ", 20);
	ASSERT_GE(prefs, 0) << app.stderr_text();
	usleep(500 * 1000);
	EXPECT_LT(app.wait_line("wind 994", 0.1), 0);
	click_at(app, 10, app.last_wind().dy - 10);  // the close box
	ASSERT_GE(app.wait_line("wind 994", 10, prefs), 0);
	xdotool(app.display, {"key", "Return"});
	ASSERT_GE(app.wait_line("wind 0 ", 10, prefs + 1), 0);
	close_cleanly(app);
	EXPECT_NE(app.log().find("From a worker"), std::string::npos);
}

TEST_F(ShellWindow, EngineQuestionsAnsweredByClicks)
{
	struct row {
		const char* mode;
		const char* window;
		float x, y;  // a button, or the close box when y < 0
		const char* answer;
		const char* language;  // the questions' longest texts must fit too
	} rows[] = {
	    // The first column's rows: keep this file, then the whole installation.
	    {"select", "wind 996", 40, 53, "select 2", "en"},
	    {"select", "wind 996", 40, 28, "select 3", "fr"},
	    {"select", "wind 996", 40, 28, "select 3", "de"},
	    {"abort", "wind 997", 96, 56, "abort 1", "en"},
	    {"abort", "wind 997", 96, 31, "abort 0", "de"},
	    {"abort", "wind 997", 10, -1, "abort 3", "en"},
	};
	for (const row& r : rows) {
		shell_app_run app(r.mode, {{"LANGUAGE", r.language}});
		app.display = display_or_fail();
		ASSERT_TRUE(app.start());
		ASSERT_GE(app.wait_line(r.window, 20), 0) << app.stderr_text();
		usleep(200 * 1000);
		click_at(app, r.x, r.y < 0 ? app.last_wind().dy - 10 : r.y);
		EXPECT_GE(app.wait_line(r.answer, 10), 0) << r.answer;
		close_cleanly(app);
	}
}

TEST_F(ShellWindow, LanguagePickerUnderCLocale)
{
	shell_app_run app("idle", {{"LANG", "C"}, {"LANGUAGE", "<unset>"}, {"LC_ALL", "<unset>"}});
	app.display = display_or_fail();
	ASSERT_TRUE(app.start());
	ASSERT_GE(app.wait_line("wind 994", 20), 0) << app.stderr_text();
	usleep(200 * 1000);
	const int dx = app.last_wind().dx;
	click_at(app, dx / 2.0f - 25 + 5, 180 - 40);  // the third choice
	usleep(200 * 1000);
	click_at(app, dx / 2.0f, 18);  // "Accept"
	ASSERT_GE(app.wait_line("ready", 10), 0);
	EXPECT_EQ(app.last_wind().lang, 2);
	close_cleanly(app);
}

TEST_F(ShellWindow, FatalAlertLeavesItsReportsAndEnds)
{
	shell_app_run app("fatal");
	app.display = display_or_fail();
	vtest::write_file_bytes(app.folder() + "stack_crawl.txt", "earlier dump\n");
	ASSERT_TRUE(app.start());
	ASSERT_GE(app.wait_line("wind 994", 20), 0) << app.stderr_text();
	usleep(200 * 1000);
	xdotool(app.display, {"key", "Return"});
	EXPECT_EQ(app.wait_exit(15), 1);
	const std::string crawl = vtest::read_file_bytes(app.folder() + "stack_crawl.txt");
	EXPECT_EQ(crawl.find("earlier dump\n"), 0u);
	EXPECT_GT(crawl.size(), 20u);
	EXPECT_TRUE(vtest::path_exists(app.folder() + "MemoryLog.txt"));
	const std::string log = app.log();
	EXPECT_NE(log.find("\nFatal line\n\n\n\n(DIzivoz/test line 2)\n"), std::string::npos);
	// No preferences written on a fatal end.
	EXPECT_FALSE(vtest::path_exists(app.folder() + "home/.config/Ventora/Ventora Installer.prf"));
}

TEST_F(ShellWindow, NoDisplayIsAFatalAlertOnStandardError)
{
	shell_app_run app("idle", {{"DISPLAY", "<unset>"}, {"WAYLAND_DISPLAY", "<unset>"}});
	app.display.clear();
	ASSERT_TRUE(app.start());
	EXPECT_EQ(app.wait_exit(20), 1);
	EXPECT_NE(app.stderr_text().find("I could not set up the graphics for Ventora!"), std::string::npos)
	    << app.stderr_text();
	EXPECT_NE(app.log().find("(DIzivoz/GenC/hl_init line 1586)"), std::string::npos);
}

TEST_F(ShellWindow, TypedKeysReachTheKeyboardLayer)
{
	shell_app_run app("idle");
	app.display = display_or_fail();
	ASSERT_TRUE(app.start());
	ASSERT_GE(app.wait_line("ready", 20), 0) << app.stderr_text();
	// Keys this keyboard lacks, on spare keycodes of their own.
	ASSERT_TRUE(x_view(app.display).map_keysyms({"eacute", "dead_acute"}));
	const int from = (int)app.report_lines().size();
	xdotool(app.display, {"type", "aA"});
	xdotool(app.display, {"type", "\xC3\xA9"});
	xdotool(app.display, {"key", "dead_acute", "e"});
	xdotool(app.display, {"key", "shift+Tab", "KP_Enter"});
	struct want {
		const char* line;
	} wants[] = {
	    {"key 3 typed 97 code 0 vkey 65 flags 0"},  // a
	    {"key 3 typed 65 code 0 vkey 65 flags 1"},  // shift+a
	    {"key 3 typed 233 "},                        // é
	    {"key 3 typed 233 code 14 vkey 69 flags 0"}, // dead acute, then e
	    {"key 3 typed 9 code 48 vkey 9 flags 1"},   // shift+Tab
	    {"key 3 typed 0 code 76 vkey 188 flags 0"}, // keypad Enter
	};
	int at = from;
	for (const want& w : wants) {
		const int k = app.wait_line(w.line, 10, at);
		std::string seen;
		for (const std::string& l : app.report_lines()) seen += l + "\n";
		EXPECT_GE(k, 0) << w.line << "\n" << seen;
		if (k >= 0) at = k + 1;
	}
	close_cleanly(app);
}

// An idle window sleeps in the event wait and, while nothing changes, draws
// and swaps nothing; a click or a key ends the wait and the frame that takes
// it is the frame that shows it. The window's longest wait is ten minutes
// here: only the input can have woken it.
TEST_F(ShellWindow, ClickAndKeyWakeAnIdleWindowAndShowInTheFrameThatTakesThem)
{
	shell_app_run app("pacing");
	app.display = display_or_fail();
	ASSERT_TRUE(app.start());
	ASSERT_GE(app.wait_line("ready", 20), 0) << app.stderr_text();
	int sx = 0, sy = 0;
	app.screen_point(400, 300, &sx, &sy);  // the square the inputs flip
	xdotool(app.display, {"mousemove", std::to_string(sx), std::to_string(sy)});
	x_view x(app.display);
	ASSERT_TRUE(x.ok());

	// The index of the first "quiet" line after `from` with the pointer on
	// the square, and the frames not drawn by then.
	auto wait_quiet = [&](int from, int* skipped) {
		for (int tries = 0; tries < 3000; ++tries) {
			const std::vector<std::string> lines = app.report_lines();
			for (int i = from; i < (int)lines.size(); ++i) {
				int n = 0, mx = 0, my = 0;
				if (std::sscanf(lines[i].c_str(), "quiet %d mouse %d %d skipped %d", &n, &mx, &my, skipped) == 4 &&
				    std::abs(mx - 400) <= 2 && std::abs(my - 300) <= 2)
					return i;
			}
			usleep(10000);
		}
		return -1;
	};
	// The index of the first "skipped" line after `from` counting at least `least`.
	auto wait_skipped = [&](int from, int least) {
		for (int tries = 0; tries < 3000; ++tries) {
			const std::vector<std::string> lines = app.report_lines();
			for (int i = from; i < (int)lines.size(); ++i) {
				int n = 0;
				if (std::sscanf(lines[i].c_str(), "skipped %d", &n) == 1 && n >= least) return i;
			}
			usleep(10000);
		}
		return -1;
	};
	struct input {
		const char* name;
		std::vector<std::string> xdotool_args;
	} inputs[] = {{"click", {"click", "1"}}, {"key", {"key", "space"}}, {"click after a key", {"click", "1"}}};
	int from = 0;
	for (int k = 0; k < 3; ++k) {
		const input& in = inputs[k];
		int skipped = 0;
		const int quiet = wait_quiet(from, &skipped);
		ASSERT_GE(quiet, 0) << in.name << ": the window never went idle";
		// Four idle frames not drawn: the wait is half a second long by now.
		ASSERT_GE(wait_skipped(quiet, skipped + 4), 0) << in.name << ": every idle frame was drawn";
		const unsigned before = x.pixel(sx, sy);
		ASSERT_TRUE(xdotool(app.display, in.xdotool_args)) << in.name;
		const std::string n = std::to_string(k + 1);
		const int took = app.wait_line("input " + n + " in frame ", 30, quiet);
		ASSERT_GE(took, 0) << in.name << ": not taken";
		int frame = 0, waited = 0, woken = 0;
		ASSERT_EQ(std::sscanf(app.report_lines()[took].c_str(), "input %*d in frame %d after a wait of %d ms, woken %d",
		                      &frame, &waited, &woken),
		          3);
		// Taken out of a long idle wait, which the input ended.
		EXPECT_GE(waited, 500) << in.name;
		EXPECT_EQ(woken, 1) << in.name;
		// No frame was drawn between going idle and the input.
		const std::vector<std::string> lines = app.report_lines();
		std::string seen;
		for (const std::string& l : lines) seen += l + "\n";
		for (int i = quiet + 1; i < took; ++i) {
			int f = 0, w = 0, early = 0;
			if (std::sscanf(lines[i].c_str(), "frame %d waited %d ms, woken %d", &f, &w, &early) == 3)
				EXPECT_EQ(f, frame) << in.name << ": drawn while idle: " << lines[i] << "\n" << seen;
		}
		const int shown = app.wait_line("shown input " + n + " in frame " + std::to_string(frame), 30, took);
		EXPECT_GE(shown, 0) << in.name << ": not shown by the frame that took it";
		bool flipped = false;
		for (int i = 0; i < 3000 && !flipped; ++i) {
			flipped = x.pixel(sx, sy) != before;
			if (!flipped) usleep(10000);
		}
		EXPECT_TRUE(flipped) << in.name;
		from = std::max(took, shown) + 1;
	}
	close_cleanly(app);
}

}  // namespace
