// The updater through its real window under X: a copy installed by the web
// demo from a loopback release, then ventora_updater -path <copy> against the
// same release: no file is fetched, every page is reached, Quit ends it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "Installer-f/wizard.h"
#include "tests/support/demo_release.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

vtest::demo_release* rel = nullptr;
std::string rel_error;

struct UpdaterGui : ::testing::Test {
	static void SetUpTestSuite()
	{
		if (rel) return;
		rel = new vtest::demo_release;
		static vtest::temp_folder work;
		rel_error = vtest::build_demo_release(work.path() + "release/", *rel);
	}
	void SetUp() override
	{
		if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display: run under xvfb-run";
		ASSERT_EQ(rel_error, "");
	}
};

}  // namespace

TEST_F(UpdaterGui, CopyOfTheSameReleaseFetchesNoFile)
{
	vtest::gui_run_options o;
	o.fly = false;
	std::shared_ptr<void> keep;
	rel->server->clear_behaviours();
	vtest::gui_run_result installed = vtest::run_web_demo_gui(*rel, o, keep);
	ASSERT_EQ(installed.failure, "") << installed.log;
	ASSERT_FALSE(installed.dest.empty());
	const std::string registry = vtest::read_file_bytes(installed.run_folder + "home/.config/Ventora/ventora_install.txt");

	const size_t before = rel->server->request_count();
	vtest::shell_app_run run("", {{"LANGUAGE", "en"}, {"LANG", "C.UTF-8"}, {"HOME", installed.run_folder + "home"}},
	                         "ventora_updater");
	ASSERT_TRUE(run.start({"-path", installed.dest, "--pref:_proxy_host=127.0.0.1",
	                       "--pref:_proxy_port_int=" + std::to_string(rel->server->port()), "--missing_strings"}));
	vtest::x_view xv(run.display);
	unsigned long win = 0;
	for (int i = 0; i < 300 && !(win = xv.find_window("Ventora Installer")); ++i) usleep(100000);
	ASSERT_NE(win, 0u) << run.stderr_text();
	auto click = [&](float x, float y) {
		int wx = 0, wy = 0, ww = 0, wh = 0;
		xv.geometry(win, &wx, &wy, &ww, &wh);
		vtest::xdotool(run.display, {"windowfocus", std::to_string(win)});
		vtest::xdotool(run.display, {"mousemove", std::to_string(wx + (int)x), std::to_string(wy + wh - (int)y)});
		std::this_thread::sleep_for(std::chrono::milliseconds(60));
		vtest::xdotool(run.display, {"click", "1"});
	};
	// With -path: Welcome, Search for Updates, Check Disk Space, Install Updates, Finish.
	ASSERT_TRUE(run.wait_log("Wizard page 0: Ventora 9 Web Updater", 30)) << run.log();
	std::this_thread::sleep_for(std::chrono::milliseconds(400));
	click(770 - interface_icon_width(2, 0) / 2, 23);
	ASSERT_TRUE(run.wait_log("Wizard page 1: Search for Updates", 30)) << run.log();
	ASSERT_TRUE(run.wait_log("Wizard page 2: Check Disk Space", 60)) << run.log();
	// The engine may still find files to delete: then the install page runs.
	if (!run.wait_log("Wizard page 4: Finshed Web Update", 2)) {
		std::this_thread::sleep_for(std::chrono::milliseconds(300));
		click(770 - interface_icon_width(2, 0) / 2, 23);
	}
	ASSERT_TRUE(run.wait_log("Wizard page 4: Finshed Web Update", 60)) << run.log();
	std::this_thread::sleep_for(std::chrono::milliseconds(300));
	click(770 - interface_icon_width(0, 0) / 2, 23);  // Quit
	EXPECT_EQ(run.wait_exit(30), 0);
	const std::string log = run.log();
	EXPECT_EQ(log.find("Missing"), std::string::npos);

	// Only the server list and the manifest were asked for.
	const auto reqs = rel->server->requests();
	for (size_t i = before; i < reqs.size(); ++i) {
		const std::string& p = reqs[i].path;
		EXPECT_TRUE(p.find("serverlist9.txt") != std::string::npos || p.find("directory.txt.zip") != std::string::npos)
		    << p;
	}
	EXPECT_EQ(vtest::read_file_bytes(installed.run_folder + "home/.config/Ventora/ventora_install.txt"), registry);
}
