// The maker's build in the application window under Xvfb: the progress strip
// read back from the screen, 'q' typed through XTEST stopping the build, and
// what a stopped build leaves for the installer.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dvd.h"
#include "Installer-f/utils_grab.h"
#include "tests/support/maker_master.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"
#include "tests/support/x_session_fixture.h"

namespace {

using vtest::shell_app_run;
using vtest::x_view;
using vtest::xdotool;

const unsigned kWhite = 0xFFFFFF;  // palette 0: the strip
const char* const kRelease = "Ventora 9.10r1/";

bool dark(unsigned rgb) { return (rgb >> 16) < 0x40 && ((rgb >> 8) & 0xFF) < 0x40 && (rgb & 0xFF) < 0x40; }

class MakerWindow : public vtest::XServerTest {
protected:
	void SetUp() override
	{
		ASSERT_NO_FATAL_FAILURE(XServerTest::SetUp());
		// Long folders make each path line longer than the status line.
		master = tmp.path() + "the release master/Ventora 9.00/";
		out = tmp.path() + "the release output/DVD_Masters/";
		mtest::make_dirs(out);
	}
	// Starts the maker and waits for its window; false when it never came.
	bool start(shell_app_run& app, x_view& x)
	{
		app.display = xvfb.display();
		if (!app.start({"--master=" + master, "--output=" + out})) return false;
		for (int i = 0; i < 6000 && app.wait_exit(0.01) < 0; ++i) {
			win = x.find_window("Ventora Installer");
			if (win && x.geometry(win, &wx, &wy, &ww, &wh)) return true;
		}
		return false;
	}
	// The alert's title bar holds a word: the first row down the window's
	// middle that differs from the background is the bar; its middle stretch
	// must hold pixels that are not the bar's colour.
	bool alert_title_has_text(x_view& x)
	{
		const std::vector<unsigned> shot = x.pixels(wx, wy, ww, wh);
		if (shot.size() != (size_t)ww * wh) return false;
		const unsigned back = shot[(size_t)(wh / 2) * ww + 20];
		int top = -1;
		for (int y = 0; y < wh && top < 0; ++y)
			if (shot[(size_t)y * ww + ww / 2 - 150] != back) top = y;
		if (top < 0) return false;
		const unsigned bar = shot[(size_t)(top + 8) * ww + ww / 2 - 150];
		int text = 0;
		for (int y = top + 3; y < top + 20; ++y)
			for (int gx = ww / 2 - 60; gx < ww / 2 + 60; ++gx) text += shot[(size_t)y * ww + gx] != bar;
		return text > 20;
	}
	// The alert's title once the alert has run more frames than its first:
	// the pointer moves, so frames follow, and the picture settles again.
	bool settled_title_has_text(shell_app_run& app, x_view& x, int nudge)
	{
		xdotool(xvfb.display(), {"mousemove", std::to_string(sx(400 + nudge)), std::to_string(sy(300))});
		return wait_alert(app, x) && alert_title_has_text(x);
	}
	// Waits until an alert's white panel is on the screen and the picture
	// holds still (two reads alike); false when the program ended first.
	bool wait_alert(shell_app_run& app, x_view& x)
	{
		std::vector<unsigned> last;
		for (int i = 0; i < 6000 && app.wait_exit(0.005) < 0; ++i) {
			// Inside the panel, left of where its centred lines can reach.
			if (x.pixel(sx(203), sy(300)) != kWhite) continue;
			std::vector<unsigned> now = x.pixels(wx, wy, ww, wh);
			if (!now.empty() && now == last) return true;
			last = std::move(now);
		}
		return false;
	}
	// Window point of GUI units (origin bottom left) to the screen.
	int sx(int gx) const { return wx + gx; }
	int sy(int gy) const { return wy + wh - 1 - gy; }

	vtest::temp_folder tmp;
	std::string master, out;
	unsigned long win = 0;
	int wx = 0, wy = 0, ww = 0, wh = 0;
};

// A few thousand files: the strip is seen and the build frozen while it is
// up; 'q' then stops it with the fatal alert, and nothing the installer would
// take is left.
TEST_F(MakerWindow, StripShowsProgressAndQStopsTheBuild)
{
	std::vector<mtest::master_entry> m = mtest::full_master();
	for (int i = 0; i < 3000; ++i) {
		char rel[64];
		std::snprintf(rel, sizeof rel, "All/Aircraft/bulk/s%02d/f%04d.txt", i / 100, i);
		m.push_back({rel, "bulk " + std::to_string(i)});
	}
	mtest::write_master(master, m);

	shell_app_run app("", {}, "ventora_maker");
	x_view x(xvfb.display());
	ASSERT_TRUE(x.ok());
	ASSERT_TRUE(start(app, x)) << app.stderr_text();
	ASSERT_EQ(ww, 800);
	ASSERT_EQ(wh, 600);

	// The strip's corners are white once it is drawn; then the build is held.
	bool shown = false;
	for (int i = 0; i < 6000 && !shown; ++i) {
		shown = x.pixel(sx(0), sy(0)) == kWhite && x.pixel(sx(799), sy(29)) == kWhite && x.pixel(sx(2), sy(15)) == kWhite;
		if (!shown) {
			ASSERT_LT(app.wait_exit(0.005), 0) << "the maker ended before its strip was seen";
		}
	}
	ASSERT_TRUE(shown);
	ASSERT_EQ(0, kill(app.pid(), SIGSTOP));
	if (const char* keep = std::getenv("VENTORA_KEEP_PAGE")) x.save_png(win, std::string(keep) + "/maker_strip.png");
	EXPECT_FALSE(vtest::path_exists(out + "disk_0/" + kRelease + "directory.txt.zip")) << "the build was over";

	// 1024 x 30 from the bottom left: every row of it white at both ends and
	// above and below the text, the background right above it.
	const unsigned back = x.pixel(sx(400), sy(300));
	EXPECT_NE(back, kWhite);
	const std::vector<unsigned> shot = x.pixels(wx, wy + wh - 31, ww, 31);  // GUI rows 30 down to 0
	ASSERT_EQ(shot.size(), 31u * 800);
	auto at = [&](int gx, int gy) { return shot[(size_t)(30 - gy) * 800 + gx]; };
	for (int gx = 0; gx < 800; ++gx) {
		ASSERT_EQ(at(gx, 30), back) << gx;
		for (int gy : {29, 28, 27, 1, 0}) ASSERT_EQ(at(gx, gy), kWhite) << gx << "," << gy;
	}
	for (int gy = 0; gy < 30; ++gy)
		for (int gx = 0; gx < 9; ++gx) ASSERT_EQ(at(gx, gy), kWhite) << "left of the texts " << gx << "," << gy;

	// The status line over GUI rows 19..24 and the path over 8..11, both from
	// x 10 in black (palette 12). The status is a short line, the path longer.
	struct band {
		const char* what;
		int from, to;
	};
	int right_end[2] = {-1, -1};
	const band bands[] = {{"status", 19, 24}, {"path", 8, 11}};
	for (int b = 0; b < 2; ++b) {
		SCOPED_TRACE(bands[b].what);
		int left = 9999;
		bool black = false;
		for (int gy = bands[b].from; gy <= bands[b].to; ++gy)
			for (int gx = 0; gx < 800; ++gx) {
				const unsigned p = at(gx, gy);
				if (p != kWhite) {
					left = std::min(left, gx);
					right_end[b] = std::max(right_end[b], gx);
				}
				black |= dark(p);
			}
		EXPECT_GE(left, 10);
		EXPECT_LE(left, 13);
		EXPECT_TRUE(black);
	}
	EXPECT_GT(right_end[0], 200);
	EXPECT_LT(right_end[0], 450);
	EXPECT_GT(right_end[1], right_end[0]);

	// 'q' is queued while the build is held; the build takes it at a later strip.
	ASSERT_TRUE(xdotool(xvfb.display(), {"mousemove", std::to_string(sx(400)), std::to_string(sy(300))}));
	ASSERT_TRUE(xdotool(xvfb.display(), {"key", "q"}));
	ASSERT_EQ(0, kill(app.pid(), SIGCONT));
	ASSERT_TRUE(wait_alert(app, x)) << app.stderr_text();
	if (const char* keep = std::getenv("VENTORA_KEEP_PAGE")) x.save_png(win, std::string(keep) + "/maker_stopped.png");
	EXPECT_TRUE(alert_title_has_text(x));
	EXPECT_TRUE(settled_title_has_text(app, x, 1));
	ASSERT_TRUE(xdotool(xvfb.display(), {"key", "Return"}));
	ASSERT_EQ(1, app.wait_exit(60)) << app.stderr_text();
	EXPECT_NE(std::string::npos,
	          app.log().find("\nYou pressed Q, so the build was stopped.\nThe disc folders it had begun were removed."
	                         "\n\n\n(Installer-f/make_installer line 214)\n"))
	    << app.log();
	EXPECT_NE("", vtest::read_file_bytes(app.folder() + "stack_crawl.txt"));

	// Neither installer takes the output: no identity for the disc search, no
	// manifest for a set name given outright.
	// Nothing is left in the way of the next build either.
	EXPECT_FALSE(vtest::path_exists(out + "disk_0"));
	std::vector<alert_record> alerts;
	MACIBM_set_alert_sink([&](const alert_record& a) { alerts.push_back(a); });
	dvd_set_volume_lister([this] { return std::vector<std::string>{out + "disk_0/"}; });
	temp_path = tmp.path() + "temp/";
	mtest::make_dirs(temp_path);
	stg.stage = 0;
	dvd_path.clear();
	install_name = no_install_name;
	UTIL_scan_dvd();
	EXPECT_EQ("", dvd_path);
	EXPECT_TRUE(alerts.empty());
	dvd_path = out + "disk_0/";
	install_name = "Ventora 9.10r1";
	UTIL_scan_dvd();
	EXPECT_EQ(0, stg.stage);
	EXPECT_TRUE(sim_info.empty());
	ASSERT_EQ(1u, alerts.size());
	EXPECT_EQ("DVD scan: The installer cannot extract a file.", alerts[0].line1);
	dvd_set_volume_lister(nullptr);
	MACIBM_set_alert_sink(nullptr);
	dvd_path.clear();
	install_name = no_install_name;
}

// A build that runs to its end in the window closes with the checklist; once
// it is dismissed the program ends normally with the whole release written.
TEST_F(MakerWindow, FinishedBuildEndsAfterItsChecklist)
{
	mtest::write_master(master, mtest::full_master());
	shell_app_run app("", {}, "ventora_maker");
	x_view x(xvfb.display());
	ASSERT_TRUE(x.ok());
	ASSERT_TRUE(start(app, x)) << app.stderr_text();
	ASSERT_TRUE(xdotool(xvfb.display(), {"mousemove", std::to_string(sx(400)), std::to_string(sy(300))}));
	// The word on the empty file left out, then the checklist, each titled;
	// Return dismisses each once it is on the screen.
	int status = -1;
	int nudge = 0;
	for (const char* page : {"maker_empty_files", "maker_checklist"}) {
		SCOPED_TRACE(page);
		ASSERT_TRUE(wait_alert(app, x)) << app.stderr_text();
		if (const char* keep = std::getenv("VENTORA_KEEP_PAGE")) x.save_png(win, std::string(keep) + "/" + page + ".png");
		EXPECT_TRUE(alert_title_has_text(x));
		EXPECT_TRUE(settled_title_has_text(app, x, ++nudge));
		const std::vector<unsigned> before = x.pixels(wx, wy, ww, wh);
		ASSERT_TRUE(xdotool(xvfb.display(), {"key", "Return"}));
		// Gone when the picture changes (the next alert) or the program ends.
		bool changed = false;
		for (int i = 0; i < 6000 && !changed; ++i) {
			status = app.wait_exit(0.01);
			changed = status >= 0 || x.pixels(wx, wy, ww, wh) != before;
		}
		ASSERT_TRUE(changed);
	}
	if (status < 0) status = app.wait_exit(60);
	ASSERT_EQ(0, status) << app.stderr_text();
	EXPECT_NE(std::string::npos, app.log().find("\nThese empty files were left out of the release:\nAll/Resources/empty.txt\n"))
	    << app.log();
	EXPECT_NE(std::string::npos, app.log().find("\nOK compression is done. Checklist if doing net:\n")) << app.log();
	EXPECT_TRUE(vtest::path_exists(out + "disk_0/dvd_version.txt"));
	EXPECT_TRUE(vtest::path_exists(out + "disk_0/" + kRelease + "directory.txt.zip"));
	EXPECT_FALSE(vtest::path_exists(out + "disk_0/" + kRelease + "directory.txt"));
	EXPECT_EQ("", vtest::read_file_bytes(app.folder() + "stdout.txt"));
}

// With no language known the shell first asks for one; that picker and the
// fatal alert after it (the master is missing) both carry their titles.
TEST_F(MakerWindow, LanguagePickerAndFatalAlertHaveTitles)
{
	master = tmp.path() + "no master/";
	shell_app_run app("", {{"LANGUAGE", "<unset>"}}, "ventora_maker");
	x_view x(xvfb.display());
	ASSERT_TRUE(x.ok());
	ASSERT_TRUE(start(app, x)) << app.stderr_text();
	int nudge = 0;
	for (const char* page : {"maker_picker", "maker_no_master"}) {
		SCOPED_TRACE(page);
		ASSERT_TRUE(wait_alert(app, x)) << app.stderr_text();
		EXPECT_TRUE(settled_title_has_text(app, x, ++nudge));
		if (const char* keep = std::getenv("VENTORA_KEEP_PAGE")) x.save_png(win, std::string(keep) + "/" + page + ".png");
		const std::vector<unsigned> before = x.pixels(wx, wy, ww, wh);
		ASSERT_TRUE(xdotool(xvfb.display(), {"key", "Return"}));
		bool changed = false;
		for (int i = 0; i < 6000 && !changed; ++i) changed = app.wait_exit(0.01) >= 0 || x.pixels(wx, wy, ww, wh) != before;
		ASSERT_TRUE(changed);
	}
	ASSERT_EQ(1, app.wait_exit(60)) << app.stderr_text();
	EXPECT_NE(std::string::npos, app.log().find("\nThe master folder is missing!\n" + master + "\n")) << app.log();
	EXPECT_FALSE(vtest::path_exists(out + "disk_0"));
}

}  // namespace
