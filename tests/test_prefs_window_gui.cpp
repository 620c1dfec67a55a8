// The installer's preferences window under X with real input (xdotool through
// XTEST). The shell's test application opens it as the wizard's Preferences
// icon does and reports the live settings, the control with the keyboard
// focus and the text selection whenever they change; every step waits for the
// change it causes. What the window leaves is read back from the preference
// file the program writes at its end.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <string>

#include "Installer-f/prefs_window.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"
#include "tests/support/x_session_fixture.h"

namespace {

using vtest::xdotool;

struct prefs_state {
	int platform = -1, log = -1, beta = -1, streams = -1, port_number = 0, sel_start = -1, sel_end = -1, menu = -2;
	std::string host, port, focus;
	bool valid = false;
};

prefs_state parse(const std::string& line)
{
	static const std::regex re(
	    "prefs platform (-?\\d+) log (-?\\d+) beta (-?\\d+) streams (-?\\d+) host '(.*)' port '(.*)' (-?\\d+) "
	    "focus (\\S+) sel (-?\\d+) (-?\\d+) menu (-?\\d+)");
	std::smatch m;
	prefs_state s;
	if (!std::regex_match(line, m, re)) return s;
	s.platform = std::stoi(m[1]);
	s.log = std::stoi(m[2]);
	s.beta = std::stoi(m[3]);
	s.streams = std::stoi(m[4]);
	s.host = m[5];
	s.port = m[6];
	s.port_number = std::stoi(m[7]);
	s.focus = m[8];
	s.sel_start = std::stoi(m[9]);
	s.sel_end = std::stoi(m[10]);
	s.menu = std::stoi(m[11]);
	s.valid = true;
	return s;
}

const char* const kPrefsFile =
    "I\n9002 version\n_stream_count 0\n_log_actions 0\n_proxy_host proxy.example.org\n_proxy_port 8080\n"
    "_proxy_port_int 8080\n_get_beta 0\n";

class PrefsWindowGui : public vtest::XServerTest {
protected:
	void SetUp() override
	{
		ASSERT_NO_FATAL_FAILURE(XServerTest::SetUp());
		app.display = xvfb.display();
		const std::string dir = app.folder() + "home/.config/Ventora/";
		mkdir((app.folder() + "home/.config").c_str(), 0755);
		mkdir(dir.c_str(), 0755);
		vtest::write_file_bytes(dir + "Ventora Installer.prf", kPrefsFile);
		ASSERT_TRUE(app.start());
		ASSERT_GE(app.wait_line("wind 2 ", 60), 0) << app.stderr_text();
		vtest::x_view x(app.display);
		const unsigned long w = x.find_window("Ventora Installer");
		ASSERT_NE(w, 0u);
		xdotool(app.display, {"windowfocus", std::to_string(w)});
		// The host field takes the focus by itself, its whole text selected.
		wait_for("the host field focused", [](const prefs_state& s) {
			return s.focus == "host" && s.sel_start == 0 && s.sel_end == 17;
		});
	}

	prefs_state state() const
	{
		prefs_state s;
		for (const std::string& l : app.report_lines())
			if (l.compare(0, 6, "prefs ") == 0) s = parse(l);
		return s;
	}
	std::string last_state_line() const
	{
		std::string last;
		for (const std::string& l : app.report_lines())
			if (l.compare(0, 6, "prefs ") == 0) last = l;
		return last;
	}
	// Waits until the window's reported state satisfies `ok`.
	// After a failure nothing more is awaited: the test ends at once.
	prefs_state wait_for(const std::string& what, const std::function<bool(const prefs_state&)>& ok)
	{
		for (int i = 0; i < 2000 && !HasFailure(); ++i) {
			const prefs_state s = state();
			if (s.valid && ok(s)) return s;
			usleep(10000);
		}
		if (HasFailure()) return state();
		std::string seen;
		for (const std::string& l : app.report_lines())
			if (l.compare(0, 4, "key ") != 0) seen += l + "\n";
		ADD_FAILURE() << what << " never came; the window reported:\n" << seen;
		return state();
	}

	void screen(float x, float y, int* sx, int* sy) const { app.screen_point(x, y, sx, sy); }
	void click(float x, float y) { vtest::click_at(app, x, y); }
	void key(const std::vector<std::string>& names)
	{
		std::vector<std::string> args = {"key"};
		args.insert(args.end(), names.begin(), names.end());
		xdotool(app.display, args);
	}
	void type(const std::string& text) { xdotool(app.display, {"type", text}); }
	// A drag from one point to another, the button held until the window
	// shows the selection the drag made. The press needs no wait: its event
	// carries its own position.
	void drag(float x0, float x1, float y, const std::function<bool(const prefs_state&)>& dragged)
	{
		int sx0, sx1, sy;
		screen(x0, y, &sx0, &sy);
		screen(x1, y, &sx1, &sy);
		xdotool(app.display, {"mousemove", std::to_string(sx0), std::to_string(sy), "mousedown", "1",
		                      "mousemove", std::to_string(sx1), std::to_string(sy)});
		wait_for("the drag", dragged);
		xdotool(app.display, {"mouseup", "1"});
	}
	// Closes the window, then the program, and returns what it saved.
	std::string close_and_read_file(bool by_return)
	{
		if (by_return) key({"Return"});
		else click(10, app.last_wind().dy - 10);  // the close box
		EXPECT_GE(app.wait_line("prefs closed", 20), 0) << last_state_line();
		vtest::x_view x(app.display);
		EXPECT_TRUE(x.send_close(x.find_window("Ventora Installer")));
		EXPECT_EQ(app.wait_exit(30), 0) << app.stderr_text();
		return vtest::read_file_bytes(app.folder() + "home/.config/Ventora/Ventora Installer.prf");
	}

	vtest::shell_app_run app{"prefs"};
	const prefs_layout_t& L = prefs_layout();
};

}  // namespace

TEST_F(PrefsWindowGui, CheckBoxesTabNumberFieldAndPopUpAnswerRealInput)
{
	using S = const prefs_state&;
	// A click on an item of the open pop-up, where the window said it is.
	auto pick = [&](const std::string& label) {
		float x = -1, y = -1;
		for (const std::string& l : app.report_lines())
			if (l.rfind("item '" + label + "' at ", 0) == 0) std::sscanf(l.c_str() + l.find(" at ") + 4, "%f %f", &x, &y);
		click(x, y);
	};
	struct step {
		const char* what;
		std::function<void()> act;
		std::function<bool(S)> then;
	};
	const step steps[] = {
	    {"tick log", [&] { click(L.log_x, L.log_y + 3); }, [](S s) { return s.log == 1; }},
	    {"tick beta", [&] { click(L.beta_x, L.beta_y + 3); }, [](S s) { return s.beta == 1; }},
	    {"untick beta", [&] { click(L.beta_x, L.beta_y + 3); }, [](S s) { return s.beta == 0; }},
	    {"manual streams", [&] { click(L.manual_streams_x, L.manual_streams_y + 3); }, [](S s) { return s.streams == 1; }},
	    // The ring runs in drawing order: streams, host, port.
	    {"Tab", [&] { key({"Tab"}); }, [](S s) { return s.focus == "port" && s.sel_start == 0 && s.sel_end == 4; }},
	    {"Tab wraps", [&] { key({"Tab"}); }, [](S s) { return s.focus == "streams"; }},
	    {"Tab", [&] { key({"Tab"}); }, [](S s) { return s.focus == "host"; }},
	    {"shift+Tab", [&] { key({"shift+Tab"}); }, [](S s) { return s.focus == "streams"; }},
	    {"Up", [&] { key({"Up"}); }, [](S s) { return s.streams == 2; }},
	    {"digit", [&] { type("4"); }, [](S s) { return s.streams == 4; }},
	    {"Down", [&] { key({"Down"}); }, [](S s) { return s.streams == 3; }},
	    {"digit over the limit", [&] { type("9"); }, [](S s) { return s.streams == 4; }},
	    {"digit under the limit", [&] { type("0"); }, [](S s) { return s.streams == 1; }},
	    {"arrow above the digit", [&] { click(L.streams_x + 5, L.streams_y + 16); }, [](S s) { return s.streams == 2; }},
	    {"arrow below the digit", [&] { click(L.streams_x + 5, L.streams_y - 10); }, [](S s) { return s.streams == 1; }},
	    {"open the pop-up", [&] { click(L.platform_x + 10, L.platform_y + 3); }, [](S s) { return s.menu >= 0; }},
	    {"pick Windows", [&] { pick("Windows"); }, [](S s) { return s.platform == 2 && s.menu == -1; }},
	    {"open it again", [&] { click(L.platform_x + 10, L.platform_y + 3); }, [](S s) { return s.menu >= 0; }},
	    {"pick Macintosh", [&] { pick("Macintosh"); }, [](S s) { return s.platform == 1 && s.menu == -1; }},
	};
	ASSERT_EQ(state().platform, 3);
	for (const step& st : steps) {
		SCOPED_TRACE(st.what);
		st.act();
		wait_for(st.what, st.then);
		if (HasFailure()) break;
	}
	const prefs_state end = state();
	EXPECT_EQ(end.log, 1);
	EXPECT_EQ(end.beta, 0);
	EXPECT_EQ(end.streams, 1);
	EXPECT_EQ(end.host, "proxy.example.org");

	// Return, which no field takes, closes the window.
	EXPECT_EQ(close_and_read_file(true),
	          "I\n9002 version\n_stream_count 1\n_log_actions 1\n_proxy_host proxy.example.org\n_proxy_port 8080\n"
	          "_proxy_port_int 8080\n_get_beta 0\n");
}

TEST_F(PrefsWindowGui, ProxyFieldsEditByClickDragSelectDeleteAndBackspace)
{
	using S = const prefs_state&;
	const float hy = L.host_y + 4, start = L.host_x + 1, end = L.host_x + L.proxy_w - 3;

	// A click past the text puts the caret at its end; Backspace eats backwards.
	click(end, hy);
	wait_for("caret at the end", [](S s) { return s.sel_start == 17 && s.sel_end == 17; });
	key({"BackSpace", "BackSpace", "BackSpace"});
	wait_for("three backspaces", [](S s) { return s.host == "proxy.example." && s.sel_start == 14; });

	// At the text's start, Delete eats forwards.
	click(start, hy);
	wait_for("caret at the start", [](S s) { return s.sel_start == 0 && s.sel_end == 0; });
	key({"Delete", "Delete", "Delete", "Delete", "Delete", "Delete"});
	wait_for("six deletes", [](S s) { return s.host == "example." && s.sel_start == 0 && s.sel_end == 0; });

	// Inside the text: Delete takes the character after the caret, Backspace the one before.
	click(L.host_x + 20, hy);
	const prefs_state in = wait_for("caret inside", [](S s) { return s.sel_start > 1 && s.sel_start == s.sel_end; });
	std::string want = "example.";
	const int c = in.sel_start;
	ASSERT_LT(c, (int)want.size());
	want.erase(c, 1);
	key({"Delete"});
	wait_for("delete inside", [&](S s) { return s.host == want && s.sel_start == c; });
	want.erase(c - 1, 1);
	key({"BackSpace"});
	wait_for("backspace inside", [&](S s) { return s.host == want && s.sel_start == c - 1; });

	// A drag selects; typing replaces the selection.
	const int n = (int)want.size();
	drag(start, end, hy, [n](S s) { return s.sel_start == 0 && s.sel_end == n; });
	type("lan.test");
	wait_for("typed over the selection", [](S s) { return s.host == "lan.test" && s.sel_start == 8; });

	// Dragged backwards the caret is the selection's start: shift+Right moves
	// that end, and Delete takes what is selected.
	drag(end, start, hy, [](S s) { return s.sel_start == 0 && s.sel_end == 8; });
	key({"shift+Right"});
	wait_for("shift+Right", [](S s) { return s.sel_start == 1 && s.sel_end == 8; });
	key({"Delete"});
	wait_for("selection deleted", [](S s) { return s.host == "l" && s.sel_start == 1 && s.sel_end == 1; });

	// Tab selects the whole port; typing replaces it and sets the number.
	key({"Tab"});
	wait_for("port selected", [](S s) { return s.focus == "port" && s.sel_start == 0 && s.sel_end == 4; });
	type("3128");
	wait_for("port typed", [](S s) { return s.port == "3128" && s.port_number == 3128; });
	// Selected from the keyboard and emptied, the port text leaves the number as it was.
	key({"shift+Left", "shift+Left", "shift+Left", "shift+Left"});
	wait_for("port selected backwards", [](S s) { return s.sel_start == 0 && s.sel_end == 4; });
	key({"BackSpace"});
	wait_for("port emptied", [](S s) { return s.port.empty() && s.port_number == 3128; });

	// Closed, the window writes the port in use back into the text: both are saved alike.
	EXPECT_EQ(close_and_read_file(false), "I\n9002 version\n_stream_count 0\n_log_actions 0\n_proxy_host l\n"
	                                      "_proxy_port 3128\n_proxy_port_int 3128\n_get_beta 0\n");
}
