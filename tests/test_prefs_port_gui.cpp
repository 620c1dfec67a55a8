// The proxy in the installer's real window: a connection that fails through
// the proxy names the proxy and the port tried, and the preferences' port
// field takes only 1-65535, saying so beside the field, with the proxy kept
// on the port in use. In three languages, with the layout check on.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/wizard.h"
#include "Installer-f/wizard_faults.h"
#include "tests/support/demo_release.h"
#include "tests/support/demo_release_fixture.h"
#include "tests/support/dvd_window.h"
#include "tests/support/test_files.h"

namespace {

using vtest::back_x;
using vtest::language_table;
using vtest::next_x;
using vtest::prefs_x;
using vtest::quit_x;
using vtest::T;

// Clicks until the log holds the line `count` times.
bool click_until(vtest::gui_ctl& c, float x, const std::string& line, int count)
{
	for (int k = 0; k < 6; ++k) {
		c.click(x, 23);
		if (vtest::wait_for([&] { return vtest::count_in(c.log(), line) >= count; }, 5)) return true;
	}
	return false;
}

using PrefsPort = vtest::DemoReleaseTest;

TEST_F(PrefsPort, FailureNamesTheProxyAndTheFieldTakesOnlyPortNumbers)
{
	struct row {
		int lang;
		const char* typed;
	};
	const row rows[] = {{0, "abc"}, {1, "0"}, {2, "70000"}};
	for (const row& r : rows) {
		SCOPED_TRACE(r.typed);
		language_table table(r.lang);
		// Nothing listens on port 1 of the loopback.
		const std::string refused = "Wizard notice: " + UTL_string_sub(T("I cannot connect to the proxy %1:proxy% on port "
		                                                                 "%2:port%: %3:error%."),
		                                                               "127.0.0.1", "1", reason_text(ECONNREFUSED));
		const std::string hint = "Preferences note: " + T("From 1 to 65535.");
		const std::string kept =
		    "Preferences note: " + UTL_string_sub(T("Use a port from 1 to 65535; port %1:port% stays in use."), "1");
		vtest::gui_run_options o;
		o.language = r.lang;
		o.stop_at = 0;
		o.extra_args = {"--pref:_proxy_port_int=1"};
		o.at_stop = [&](vtest::gui_ctl& c) {
			ASSERT_TRUE(click_until(c, next_x(r.lang), "Wizard page 1:", 1)) << c.log();
			ASSERT_TRUE(c.accept_licence()) << c.log();
			ASSERT_TRUE(c.wait_log(refused, 60)) << c.log();
			vtest::keep_settled_shot(c, "proxy-refused-" + std::to_string(r.lang));
			ASSERT_TRUE(click_until(c, back_x(r.lang), "Wizard page 1:", 2)) << c.log();
			ASSERT_TRUE(click_until(c, back_x(r.lang), "Wizard page 0:", 2)) << c.log();

			ASSERT_TRUE(click_until(c, prefs_x(r.lang), "Preferences window opened", 1)) << c.log();
			ASSERT_TRUE(c.wait_log(hint, 10)) << c.log();
			// The host field has the focus; Tab selects the whole port text.
			c.key("Tab");
			c.key("ctrl+a");
			for (const char* k = r.typed; *k; ++k) c.key(std::string(1, *k));
			ASSERT_TRUE(c.wait_log(kept, 10)) << c.log();
			vtest::keep_settled_shot(c, std::string("port-") + r.typed + "-" + std::to_string(r.lang));
			// The 600 x 380 window in the middle of the 800 x 600 one; its close box at the top left.
			for (int k = 0; k < 5 && !c.wait_log("Preferences window closed", 3); ++k) c.click(110, 480);
			EXPECT_TRUE(c.wait_log("Preferences window closed: proxy 127.0.0.1 port 1\n", 1)) << c.log();
			c.click(quit_x(r.lang), 23);
		};
		std::shared_ptr<void> keep;
		const vtest::gui_run_result res = vtest::run_web_demo_gui(*rel, o, keep);
		EXPECT_EQ(res.exit_status, 0) << res.log;
		// The proxy was given for the run and never changed: nothing of it is saved.
		const std::string saved =
		    vtest::read_file_bytes(res.run_folder + "home/.config/Ventora/Ventora Installer.prf");
		EXPECT_EQ(saved.find("_proxy"), std::string::npos) << saved;
		EXPECT_NE(saved.find("_stream_count"), std::string::npos) << saved;
	}
}

}  // namespace
