// The about window in the shell's real window under an X server of its own:
// server lists and updater archives served on loopback through the proxy
// preference, driven by real clicks (xdotool). The test application opens the
// window again each time it is closed and reports what it shows.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/archive_fixtures.h"
#include "tests/support/http_server.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"
#include "tests/support/x_session_fixture.h"

namespace {

using vtest::shell_app_run;

const std::string kHead = "I\n820 version\nSERVERS\n";
const std::string kLists = "lists.example";
const std::string kArchiveHost = "dl.example";
const unsigned long kFolder755 = 0x41ED0000ul, kFile755 = 0x81ED0000ul, kFile644 = 0x81A40000ul;

std::string newer_final(const std::string& archive_path = "/ventora/updater.zip")
{
	return kHead + "FINAL 9.20r1\nFINAL_VERSION 92001\nFINAL_INSTALLER_MAC mac.example /mac.zip\n" +
	       "FINAL_INSTALLER_LIN " + kArchiveHost + " " + archive_path + "\n";
}

class AboutGui : public vtest::XServerTest {
protected:
	void SetUp() override
	{
		ASSERT_NO_FATAL_FAILURE(XServerTest::SetUp());
		app.display = xvfb.display();
		// A Resources folder of its own: the window writes into Resources/preferences/.
		const std::string res = app.folder() + "Resources";
		char target[4096] = {0};
		const ssize_t n = readlink(res.c_str(), target, sizeof target - 1);
		ASSERT_GT(n, 0);
		unlink(res.c_str());
		mkdir(res.c_str(), 0755);
		if (DIR* d = opendir(target)) {
			while (dirent* e = readdir(d)) {
				const std::string name = e->d_name;
				if (name == "." || name == ".." || name == "preferences") continue;
				symlink((std::string(target) + "/" + name).c_str(), (res + "/" + name).c_str());
			}
			closedir(d);
		}
	}
	void start(const std::string& first_list)
	{
		if (!first_list.empty()) server.put_file(kLists, "/serverlist9.txt", first_list);
		ASSERT_TRUE(app.start({"--pref:_proxy_host=127.0.0.1", "--pref:_proxy_port_int=" + std::to_string(server.port()),
		                       "--pref:_web_host=" + kLists}));
	}
	// The index of the report line "about open k".
	int wait_open(int k)
	{
		const int i = app.wait_line("about open " + std::to_string(k), 60);
		EXPECT_GE(i, 0) << "opening " << k << "\n" << app.stderr_text() << app.log();
		wait_wind_993();
		return i;
	}
	void wait_wind_993()
	{
		for (int i = 0; i < 2000 && app.last_wind().type != 993; ++i) usleep(10000);
	}
	// The text of the first report line after `from` that holds `text`; empty on time-out.
	std::string wait_report(const std::string& text, int from, double seconds = 60)
	{
		const int i = app.wait_line(text, seconds, from);
		if (i < 0) return "";
		return app.report_lines()[i];
	}
	void click(float x, float y) { vtest::click_at(app, x, y, 50); }
	// Clicks until a report line holding `text` follows line `from` (a press can
	// be lost on a busy X server); the line, or empty.
	std::string click_until(float x, float y, const std::string& text, int from)
	{
		for (int tries = 0; tries < 4; ++tries) {
			click(x, y);
			const std::string l = wait_report(text, from, 8);
			if (!l.empty()) return l;
		}
		return "";
	}
	// Closes the window by its close box; the next opening follows at once.
	void close_about(int k)
	{
		for (int tries = 0; tries < 4; ++tries) {
			click(10, (float)app.last_wind().dy - 10);
			if (app.wait_line("about closed " + std::to_string(k), 8) >= 0) return;
		}
		ADD_FAILURE() << "the about window did not close\n" << report_text();
	}
	std::string report_text()
	{
		std::string t;
		for (const std::string& l : app.report_lines()) t += l + "\n";
		return t;
	}
	size_t list_requests()
	{
		size_t n = 0;
		for (const auto& r : server.requests())
			if (r.path == "/serverlist9.txt") ++n;
		return n;
	}
	void serve_archive(const std::vector<atest::zip_entry>& entries, const std::string& path = "/ventora/updater.zip")
	{
		const std::string zip = files.path() + "updater.zip";
		ASSERT_TRUE(atest::write_zip(zip, entries));
		server.put_file(kArchiveHost, path, vtest::read_file_bytes(zip));
	}
	// A stand-in updater: it writes its arguments and working folder, one a line.
	std::string stand_in() const
	{
		return "#!/bin/sh\n{ for a in \"$@\"; do echo \"$a\"; done; pwd; } > '" + app.folder() + "updater_args.txt'\n";
	}
	void finish()
	{
		vtest::write_file_bytes(app.folder() + "about_done", "");
		close_about(opened);
		vtest::x_view x(app.display);
		ASSERT_TRUE(x.ok());
		for (int i = 0; i < 100 && app.last_wind().type != 0; ++i) usleep(20000);
		const unsigned long w = x.find_window("Ventora Installer");
		ASSERT_NE(w, 0u);
		ASSERT_TRUE(x.send_close(w));
		EXPECT_EQ(app.wait_exit(30), 0) << app.stderr_text();
	}

	vtest::temp_folder files;
	vtest::http_server server{files.path() + "www/"};
	shell_app_run app{"about"};
	int opened = 1;
};

}  // namespace

TEST_F(AboutGui, ServerListsDecideStatusButtonAndStateWithOneFetchPerOpening)
{
	const std::string lin = "FINAL_INSTALLER_LIN dl.example /ventora/final.zip\nBETA_INSTALLER_LIN dl.example /ventora/beta.zip\n";
	struct row {
		const char* what;
		std::string list;  // empty: the server answers 404
		int state;
		std::string button, status;
	} rows[] = {
	    {"up to date", kHead + "FINAL 9.10r1\nFINAL_VERSION 91001\n" + lin, 4, "",
	     "Your version of Ventora is up to date."},
	    {"newer final", kHead + "FINAL 9.20r1\nFINAL_VERSION 92001\n" + lin, 1, "Update Ventora!", ""},
	    {"newer beta", kHead + "BETA 9.10b4\nBETA_VERSION 91004\nFINAL 9.00r1\nFINAL_VERSION 90001\n" + lin, 1,
	     " Get New Beta! ", ""},
	    {"latest beta", kHead + "BETA 9.10r1\nBETA_VERSION 91001\nFINAL_VERSION 90001\n" + lin, 4, "",
	     "You have the latest Ventora beta."},
	    {"newer final, archives for the other system only",
	     kHead + "FINAL_VERSION 92001\nFINAL_INSTALLER_MAC mac.example /mac.zip\n", 4, "",
	     "A newer version of Ventora is available on the web site www.tarnwick.example."},
	    {"newer beta, archive path without its leading slash",
	     kHead + "FINAL_VERSION 90001\nBETA_VERSION 95000\nBETA_INSTALLER_LIN dl.example ventora/beta.zip\n", 4, "",
	     "A newer beta of Ventora is available on the web site www.tarnwick.example."},
	    {"no list (404)", "", 4, "", "Can't connect to the net to find latest version."},
	    {"a page that is no server list", "<html><body>Moved</body></html>\nFINAL_VERSION 92001\n", 4, "",
	     "Can't connect to the net to find latest version."},
	    {"list without a FINAL_VERSION line", kHead + "FINAL 9.20r1\n", 4, "",
	     "Can't connect to the net to find latest version."},
	};
	start(rows[0].list);
	const int n = (int)(sizeof rows / sizeof rows[0]);
	for (int k = 1; k <= n; ++k) {
		const row& r = rows[k - 1];
		SCOPED_TRACE(r.what);
		const int at = wait_open(k);
		ASSERT_GE(at, 0);
		const std::string want = "about state " + std::to_string(r.state) + " fetches " + std::to_string(k) +
		                         " button '" + r.button + "' status '" + r.status + "'";
		const std::string got = wait_report("about state " + std::to_string(r.state) + " fetches " + std::to_string(k), at);
		EXPECT_EQ(got, want) << app.log();
		EXPECT_EQ(list_requests(), (size_t)k) << report_text();
		if (k == 2) {
			// The web-site button opens the maker's page in the browser.
			for (int tries = 0; tries < 4 && vtest::read_file_bytes(app.folder() + "xdg_open_calls.txt").empty(); ++tries) {
				click(191, 17);
				for (int i = 0; i < 300 && vtest::read_file_bytes(app.folder() + "xdg_open_calls.txt").empty(); ++i)
					usleep(10000);
			}
			EXPECT_EQ(vtest::read_file_bytes(app.folder() + "xdg_open_calls.txt"), "http://www.tarnwick.example/\n");
		}
		if (k < n) {
			if (rows[k].list.empty()) unlink((files.path() + "www/" + kLists + "/serverlist9.txt").c_str());
			else server.put_file(kLists, "/serverlist9.txt", rows[k].list);
			close_about(k);
			opened = k + 1;
		}
	}
	// The list file was made in a folder made for it.
	struct stat st;
	EXPECT_EQ(stat((app.folder() + "Resources/preferences").c_str(), &st), 0);
	EXPECT_TRUE(S_ISDIR(st.st_mode));
	usleep(300 * 1000);
	EXPECT_EQ(list_requests(), (size_t)n);  // nothing fetched after the decision
	finish();
}

// A list that comes slowly keeps the window polling: no frame waits for
// input while it comes, so the frame that receives it shows it (the window's
// longest idle wait is ten minutes here).
TEST_F(AboutGui, ASlowListShowsInTheFrameThatReceivesIt)
{
	vtest::http_behaviour slow;
	slow.slow_chunk = 40;
	slow.slow_delay_ms = 200;
	server.set_behaviour("/serverlist9.txt", slow);
	start(newer_final());
	const int at = wait_open(1);
	ASSERT_GE(at, 0);
	const int got = app.wait_line("about state 1", 60, at);
	ASSERT_GE(got, 0) << report_text();
	const int wait_line = app.wait_line("about frame after a wait of", 10, got);
	ASSERT_GE(wait_line, 0) << report_text();
	EXPECT_EQ(app.report_lines()[wait_line], "about frame after a wait of 0 ms") << report_text();
	finish();
}

TEST_F(AboutGui, UpdateDownloadsUnpacksAndStartsTheUpdaterInPlaceOfTheProgram)
{
	serve_archive({{"Updater/", "", kFolder755}, {"Updater/Updater", stand_in(), kFile755}});
	start(newer_final());
	const int at = wait_open(1);
	ASSERT_FALSE(wait_report("about state 1", at).empty()) << app.log();
	click(492, 17);
	int status = app.wait_exit(30);
	if (status == -1) {  // the press was lost
		click(492, 17);
		status = app.wait_exit(60);
	}
	EXPECT_EQ(status, 1) << app.stderr_text() << app.log();
	// The updater ran with the application folder, from the working folder.
	std::string args;
	for (int i = 0; i < 500 && (args = vtest::read_file_bytes(app.folder() + "updater_args.txt")).empty(); ++i)
		usleep(10000);
	std::string folder = app.folder();
	EXPECT_EQ(args, "-path\n" + folder + "\n" + folder.substr(0, folder.size() - 1) + "\n");
	EXPECT_EQ(vtest::read_file_bytes(app.folder() + "Updater/Updater"), stand_in());
	EXPECT_TRUE(vtest::path_exists(app.folder() + "Resources/preferences/installer.zip"));
	EXPECT_NE(app.log().find("Launching: Updater/Updater with " + folder + "\n"), std::string::npos) << app.log();
}

TEST_F(AboutGui, FailedUpdatesShowTheirTextAndTheProgramGoesOn)
{
	struct row {
		const char* what;
		std::string bytes;  // what the archive path serves; empty: 404
		std::string status_start;
	} rows[] = {
	    {"archive missing (404)", "", "I was unable to download the installer from the net."},
	    {"corrupt archive", "PK\x03\x04 this is no zip at all", "There was an error unzipping the installer: "},
	    {"empty archive (Content-Length 0)", "\x01", "There was an error unzipping the installer: "},
	    {"updater not executable", "\x02", "There was an error launching the installer: "},
	};
	start(newer_final());
	const int n = (int)(sizeof rows / sizeof rows[0]);
	for (int k = 1; k <= n; ++k) {
		const row& r = rows[k - 1];
		SCOPED_TRACE(r.what);
		if (r.bytes.empty()) unlink((files.path() + "www/" + kArchiveHost + "/ventora/updater.zip").c_str());
		else if (r.bytes == "\x01") server.put_file(kArchiveHost, "/ventora/updater.zip", "");
		else if (r.bytes == "\x02") serve_archive({{"Updater/", "", kFolder755}, {"Updater/Updater", stand_in(), kFile644}});
		else server.put_file(kArchiveHost, "/ventora/updater.zip", r.bytes);
		if (k > 1) {
			close_about(k - 1);
			opened = k;
		}
		const int at = wait_open(k);
		ASSERT_GE(at, 0);
		ASSERT_FALSE(wait_report("about state 1", at).empty()) << app.log();
		const std::string got = click_until(492, 17, "about state 4", at);
		EXPECT_NE(got.find("status '" + r.status_start), std::string::npos) << got << "\n" << app.log();
		if (k == 1) {
			// The status reads on its panel: its strongest pixel against the
			// panel beside it has a contrast of at least 4.5:1.
			usleep(300 * 1000);
			vtest::x_view x(app.display);
			ASSERT_TRUE(x.ok());
			auto lum = [](unsigned c) {
				double l = 0;
				const double w[3] = {0.2126, 0.7152, 0.0722};
				for (int i = 0; i < 3; ++i) {
					const double v = ((c >> (16 - 8 * i)) & 255) / 255.0;
					l += w[i] * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
				}
				return l;
			};
			int sx, sy;
			app.screen_point(560, 50, &sx, &sy);
			const double panel = lum(x.pixel(sx, sy));
			double best = 1;
			for (float gy = 54; gy <= 64; gy += 1)
				for (float gx = 20; gx <= 200; gx += 1) {
					app.screen_point(gx, gy, &sx, &sy);
					const double l = lum(x.pixel(sx, sy));
					best = std::max(best, (std::max(l, panel) + 0.05) / (std::min(l, panel) + 0.05));
				}
			EXPECT_GE(best, 4.5);
		}
	}
	EXPECT_FALSE(vtest::path_exists(app.folder() + "updater_args.txt"));
	finish();
}

TEST_F(AboutGui, ClosingDuringTheDownloadCancelsItAndDeletesThePartialArchive)
{
	struct row {
		const char* what;
		vtest::http_behaviour b;
		std::string progress;
	} rows[] = {
	    {"size known", {}, "Downloading the installer...25% complete"},
	    {"size unknown", {}, "Downloading the installer..."},
	};
	rows[0].b.stall_after = 1000;
	rows[1].b.stall_after = 1000;
	rows[1].b.no_length = true;
	server.put_file(kArchiveHost, "/ventora/updater.zip", vtest::noise(4000, 7));
	start(newer_final());
	const std::string partial = app.folder() + "Resources/preferences/installer.zip";
	for (int k = 1; k <= 2; ++k) {
		const row& r = rows[k - 1];
		SCOPED_TRACE(r.what);
		server.set_behaviour("/ventora/updater.zip", r.b);
		const int at = wait_open(k);
		ASSERT_GE(at, 0);
		ASSERT_FALSE(wait_report("about state 1", at).empty()) << app.log();
		ASSERT_FALSE(click_until(492, 17, "about state 2", at).empty()) << app.log();
		EXPECT_FALSE(wait_report("status '" + r.progress + "'", at, 30).empty()) << app.log();
		close_about(k);
		opened = k + 1;
		EXPECT_FALSE(vtest::path_exists(partial));
	}
	const int at = wait_open(3);
	ASSERT_FALSE(wait_report("about state 1", at).empty()) << app.log();
	// Each opening fetched the list once and the archive once.
	size_t archive_requests = 0;
	for (const auto& q : server.requests())
		if (q.path == "/ventora/updater.zip") ++archive_requests;
	EXPECT_EQ(archive_requests, 2u);
	EXPECT_EQ(list_requests(), 3u);
	finish();
}
