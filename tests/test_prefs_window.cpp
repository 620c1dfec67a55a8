// The installer's preferences window through the shell's frame loop on a real
// context: clicks and keys scripted between frames, the settings read live,
// then saved by the preference writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenC/hl_shell_calls.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/pref.h"
#include "Installer-f/prefs_window.h"
#include "tests/support/fake_platform.h"
#include "tests/support/gl_context.h"
#include "tests/support/files_tmp.h"
#include "tests/support/test_files.h"

namespace {

class PrefsWindow : public gl_test {
protected:
	void SetUp() override
	{
		gl_test::SetUp();
		setenv("XDG_CONFIG_HOME", (box.root + "config").c_str(), 1);
		MACIBM_reset_frame_state();
		MACIBM_clear_menus(1);
		MACIBM_set_app_hooks(app_hooks{nullptr, nullptr, nullptr});
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
		mnw.wind_type = 0;
		mnw.menu_open = -1;
		app_done = 0;
		stg_set_start_values();
		stg.stream_count = stg.log_actions = stg.get_beta = 0;
		http.proxy_host.clear();
		http.proxy_port_text.clear();
		http.proxy_port = 0;
		fake.on_idle = [this](vtest::fake_platform& f) { idle(f); };
	}
	void TearDown() override
	{
		fake.on_idle = nullptr;
		MACIBM_set_alert_sink({});
		app_done = 0;
	}

	// Each frame without input runs the next step of the script; a step may
	// queue input for the frame after it. Past the script: the close box.
	void idle(vtest::fake_platform& f)
	{
		++idle_frames;
		if (idle_frames > 400) {  // a window that never closes fails, not hangs
			app_done = 1;
			return;
		}
		if (step < steps.size()) steps[step++](f);
		else if (close_at_end) click_at(f, 10, mnw.wind_dy - 10);
	}
	// A point of the open sub-window as window pixels (y downwards).
	static void click_at(vtest::fake_platform& f, float x, float y)
	{
		f.click((int)(x + mnw.wind_x), (int)(mnw.y_res - (y + mnw.wind_y)));
	}
	static void type(vtest::fake_platform& f, const std::string& s)
	{
		for (char c : s) f.key(plat_evt_key_down, 0, c);
	}
	static void backspaces(vtest::fake_platform& f, int n)
	{
		for (int i = 0; i < n; ++i) f.key(plat_evt_key_down, 51, 8);
	}

	files_tmp box;
	vtest::fake_platform fake;
	std::vector<alert_record> alerts;
	std::vector<std::function<void(vtest::fake_platform&)>> steps;
	size_t step = 0;
	int idle_frames = 0;
	bool close_at_end = true;
};

}  // namespace

TEST_F(PrefsWindow, ClicksAndKeysChangeTheSettingsLiveAndTheWriterSavesThem)
{
	std::vector<int> streams_seen;
	int wind_seen = -1;
	const prefs_layout_t& L = prefs_layout();
	steps = {
	    [&](vtest::fake_platform&) { wind_seen = mnw.wind_type; },
	    [&](vtest::fake_platform& f) { click_at(f, L.manual_streams_x, L.manual_streams_y + 3); },
	    [&](vtest::fake_platform&) { streams_seen.push_back(stg.stream_count); },
	    [&](vtest::fake_platform& f) { click_at(f, L.beta_x, L.beta_y + 3); },
	    [&](vtest::fake_platform& f) { click_at(f, L.log_x, L.log_y + 3); },
	    [&](vtest::fake_platform& f) { type(f, "proxy.lan"); },  // host has the focus by itself
	    [&](vtest::fake_platform& f) { click_at(f, L.port_x + 15, L.port_y + 4); },
	    [&](vtest::fake_platform& f) { type(f, "3128"); },
	    [&](vtest::fake_platform&) { streams_seen.push_back(http.proxy_port); },
	};
	handle_prefs();

	EXPECT_EQ(wind_seen, 2);
	EXPECT_EQ(mnw.wind_type, 0);  // closed by its close box
	EXPECT_EQ(app_done, 0);
	EXPECT_EQ(streams_seen, (std::vector<int>{1, 3128}));
	EXPECT_EQ(stg.stream_count, 1);
	EXPECT_EQ(stg.get_beta, 1);
	EXPECT_EQ(stg.log_actions, 1);
	EXPECT_EQ(http.proxy_host, "proxy.lan");
	EXPECT_EQ(http.proxy_port_text, "3128");
	EXPECT_EQ(http.proxy_port, 3128);
	EXPECT_EQ(stg.platform, 3);  // untouched: Linux

	pref.IO_set(11, 1);
	EXPECT_EQ(vtest::read_file_bytes(pref_file_path(11)),
	          "I\n9002 version\n_stream_count 1\n_log_actions 1\n_proxy_host proxy.lan\n"
	          "_proxy_port 3128\n_proxy_port_int 3128\n_get_beta 1\n");
	for (const alert_record& a : alerts) ADD_FAILURE() << a.line1 << " / " << a.line2 << " " << a.source_file << ":" << a.source_line;
}

TEST_F(PrefsWindow, UntickedStreamsAreAutomaticAndAClearedPortKeepsTheLastNumber)
{
	stg.stream_count = 3;
	http.proxy_host = "h";
	http.proxy_port_text = "8080";
	http.proxy_port = 8080;
	std::vector<int> seen;
	const prefs_layout_t& L = prefs_layout();
	steps = {
	    [&](vtest::fake_platform&) { seen.push_back(stg.stream_count); },  // shown as set
	    [&](vtest::fake_platform& f) { click_at(f, L.manual_streams_x, L.manual_streams_y + 3); },  // off
	    [&](vtest::fake_platform&) { seen.push_back(stg.stream_count); },
	    [&](vtest::fake_platform& f) { click_at(f, L.port_x + L.port_w - 3, L.port_y + 4); },  // caret at the end
	    [&](vtest::fake_platform& f) { backspaces(f, 4); },
	    [&](vtest::fake_platform&) { seen.push_back(http.proxy_port); },
	    [&](vtest::fake_platform& f) { type(f, "x1"); },                   // no port: the one in use stays
	    [&](vtest::fake_platform&) { seen.push_back(http.proxy_port); },
	    [&](vtest::fake_platform& f) { backspaces(f, 2); },
	    [&](vtest::fake_platform& f) { type(f, "3128"); },
	    [&](vtest::fake_platform&) { seen.push_back(http.proxy_port); },
	    [&](vtest::fake_platform& f) { type(f, "00"); },                   // 312800: above 65535
	    [&](vtest::fake_platform&) { seen.push_back(http.proxy_port); },
	    [&](vtest::fake_platform& f) { backspaces(f, 6); },
	};
	handle_prefs();
	// Typing 312800 passed 3128 and 31280 on its way; what ends as no port leaves the
	// port the window opened with.
	EXPECT_EQ(seen, (std::vector<int>{3, 0, 8080, 8080, 3128, 8080}));
	// A cleared text keeps the last port, and the field says it again.
	EXPECT_EQ(http.proxy_port_text, "8080");
	EXPECT_EQ(http.proxy_port, 8080);
	EXPECT_TRUE(http.UseProxy("example.org", 80));

	pref.IO_set(11, 1);
	EXPECT_EQ(vtest::read_file_bytes(pref_file_path(11)), "I\n9002 version\n_stream_count 0\n_log_actions 0\n_proxy_host "
	                                                      "h\n_proxy_port 8080\n_proxy_port_int 8080\n_get_beta 0\n");
}

TEST_F(PrefsWindow, PlatformPopUpIsZeroBasedOverTheOneBasedSetting)
{
	stg.platform = 1;  // shows Macintosh
	int shown = -1;
	const float list_x = prefs_layout().platform_x, list_y = prefs_layout().platform_y;
	steps = {
	    [&](vtest::fake_platform& f) { click_at(f, list_x + 10, list_y + 3); },  // open the list
	    [&](vtest::fake_platform&) {
		    ASSERT_GT(menu.size(), 1519u);
		    ASSERT_EQ(menu[1519].items.size(), 3u);
		    shown = mnw.menu_open;
	    },
	    [&](vtest::fake_platform& f) {
		    const item_struct& it = menu[1519].items[1];  // Windows
		    click_at(f, (it.left + it.right) / 2.0f, (it.bottom + it.top) / 2.0f);
	    },
	};
	handle_prefs();
	EXPECT_EQ(shown, 1519);
	EXPECT_EQ(menu.size() > 1519 ? menu[1519].items[0].label : "", "Macintosh");
	EXPECT_EQ(stg.platform, 2);
}

TEST_F(PrefsWindow, QuitWhileOpenEndsTheLoop)
{
	close_at_end = false;
	steps = {[&](vtest::fake_platform&) { app_done = 1; }};
	handle_prefs();
	EXPECT_EQ(mnw.wind_type, 2);
	EXPECT_LT(idle_frames, 10);
}
