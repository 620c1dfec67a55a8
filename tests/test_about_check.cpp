// The about window's version check: server lists read from real files and
// the decision against this build.
#include <gtest/gtest.h>

#include "DIzivoz/GenC/hl_about.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files_tmp.h"

TEST(about_check, server_lists_decide_status_and_offer)
{
	const std::string head = "I\n820 version\nSERVERS\n";
	const std::string lin = "FINAL_INSTALLER_LIN dl.example /ventora/final.zip\nBETA_INSTALLER_LIN dl.example /ventora/beta.zip\n";
	const std::string mac = "FINAL_INSTALLER_MAC mac.example /f.zip\nBETA_INSTALLER_MAC mac.example /b.zip\n";
	struct row {
		const char* what;
		std::string body;
		bool read;
		int state, is_beta, is_latest;
		std::string status, path;
	} rows[] = {
	    {"up to date", head + "FINAL 9.10r1\nFINAL_VERSION 91001\n" + lin, true, 4, 0, 1,
	     "Your version of Ventora is up to date.", ""},
	    {"newer final", head + "FINAL 9.20r1\nFINAL_VERSION 92001\n" + lin, true, 1, 0, 0, "", "/ventora/final.zip"},
	    {"newer beta", head + "FINAL 9.00\nFINAL_VERSION +90000\nBETA_VERSION 91002\n" + lin, true, 1, 1, 0, "",
	     "/ventora/beta.zip"},
	    {"latest beta", head + "FINAL_VERSION 90000\nBETA_VERSION 91001\n", true, 4, 0, 1,
	     "You have the latest Ventora beta.", ""},
	    {"newer final, only mac archives", head + "FINAL_VERSION 92001\n" + mac, true, 4, 0, 0,
	     "A newer version of Ventora is available on the web site www.tarnwick.example.", ""},
	    {"newer beta, no archive", head + "FINAL_VERSION 1\r\nBETA_VERSION 99999\r\n", true, 4, 1, 0,
	     "A newer beta of Ventora is available on the web site www.tarnwick.example.", ""},
	    {"no versions", head + "JUNK line\n\t\n", true, 4, 0, 0, "Can't connect to the net to find latest version.", ""},
	    {"wrong header", "<html>not found</html>\nFINAL_VERSION 92001\n", false, 4, 0, 0,
	     "Can't connect to the net to find latest version.", ""},
	    {"wrong version", "I\n821 version\nSERVERS\nFINAL_VERSION 91001\n", false, 4, 0, 0,
	     "Can't connect to the net to find latest version.", ""},
	};
	files_tmp t;
	for (const row& r : rows) {
		t.write("serverlist9.txt", r.body);
		about_serverlist l;
		EXPECT_EQ(about_read_serverlist(t("serverlist9.txt"), &l), r.read) << r.what;
		about_decision d = about_decide(l);
		EXPECT_EQ(d.ins_state, r.state) << r.what;
		EXPECT_EQ(d.is_beta, r.is_beta) << r.what;
		EXPECT_EQ(d.is_latest, r.is_latest) << r.what;
		EXPECT_EQ(d.err_msg, r.status) << r.what;
		EXPECT_EQ(d.installer_path, r.path) << r.what;
		if (r.state == 1) EXPECT_EQ(d.installer_server, "dl.example") << r.what;
	}
	about_serverlist l;
	ASSERT_TRUE(about_read_serverlist((t.write("s.txt", head + "BETA 9.10b3 (test)  \nFINAL 9.00r2\n"), t("s.txt")), &l));
	EXPECT_EQ(l.version_str_net_beta, "9.10b3 (test)");
	EXPECT_EQ(l.version_str_net, "9.00r2");
	EXPECT_EQ(l.version_str_found, 1);
	EXPECT_FALSE(about_read_serverlist(t("missing.txt"), &l));
}

// A web host preference the client would stop the program on (a trailing
// '/') is no list: the window says so, raises no alert and makes its folder.
TEST(about_window, a_bad_web_host_preference_counts_as_no_list)
{
	vtest::fake_platform fake;
	files_tmp tmp;
	mnw = mnw_struct{};
	mnw_set_defaults();
	mnw.x_res = 800;
	mnw.y_res = 600;
	MACIBM_reset_frame_state();
	MACIBM_set_app_hooks(app_hooks{nullptr, nullptr, nullptr});
	const std::string saved_app = app_path, saved_host = web_host;
	app_path = tmp.root;
	std::vector<alert_record> alerts;
	MACIBM_set_alert_sink([&](const alert_record& a) { alerts.push_back(a); });
	MACIBM_event_proc();
	for (const char* host : {"lists.example/", "", "two words"}) {
		web_host = host;
		int frames = 0;
		about_view seen;
		fake.on_idle = [&](vtest::fake_platform&) {
			seen = MACIBM_about_view();
			if (++frames == 3) MACIBM_startwind(0, 0);
		};
		MACIBM_about();
		fake.on_idle = nullptr;
		EXPECT_EQ(seen.ins_state, 4) << host;
		EXPECT_EQ(seen.status, "Can't connect to the net to find latest version.") << host;
		EXPECT_EQ(seen.button, "") << host;
		EXPECT_TRUE(alerts.empty()) << host;
		EXPECT_EQ(mnw.wind_type, 0);
	}
	EXPECT_TRUE(vtest::path_exists(tmp("Resources/preferences")));
	MACIBM_set_alert_sink({});
	app_path = saved_app;
	web_host = saved_host;
}
