// The web demo through the installer's real window under X: a release built
// by the maker-side mode, served on loopback, every page reached by real
// clicks, in English, French and German.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "DIzivoz/Files/io_utils.h"
#include "tests/support/demo_release.h"
#include "tests/support/demo_release_fixture.h"
#include "tests/support/test_files.h"

namespace {

using WizardGui = vtest::DemoReleaseTest;

std::string file_of(const std::string& p) { return vtest::read_file_bytes(p); }

}  // namespace

TEST_F(WizardGui, WebDemoInstallsThroughEveryPageAndFlies)
{
	vtest::gui_run_options o;
	std::shared_ptr<void> keep;
	rel->server->clear_behaviours();
	const size_t before = rel->server->request_count();
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	ASSERT_EQ(r.failure, "") << r.log;
	// "Fly" starts the installed program in place of the installer.
	EXPECT_EQ(r.exit_status, 1);
	ASSERT_EQ(r.dest, r.run_folder + "home/Apps/Ventora 9 Demo/");
	for (int i = 0; i < 200 && access((r.dest + "flew.txt").c_str(), F_OK) != 0; ++i) usleep(20000);
	EXPECT_EQ(file_of(r.dest + "flew.txt"), "flown\n");

	// The tree: bytes, executables, links, no other platform's files.
	const std::string m = rel->master;
	for (const char* f : {"Instructions/Read Me.txt", "Airfoils/naca0012.afl", "Aircraft/General Aviation/Cirrus TheJet/c4.acf",
	                      "Global Scenery/-global terrain-/+40-120/+47-122.dsf",
	                      "Global Scenery/-global terrain-/+40-120/+46-121.dsf", "Resources/plugins/PluginAdminLin.vnp"})
		EXPECT_EQ(file_of(r.dest + f), file_of(m + "All/" + f)) << f;
	EXPECT_EQ(file_of(r.dest + "Ventora"), file_of(m + "Linux/Ventora"));
	struct stat st{};
	ASSERT_EQ(stat((r.dest + "Ventora").c_str(), &st), 0);
	EXPECT_TRUE(st.st_mode & S_IXUSR);
	char target[256] = {0};
	ASSERT_GT(readlink((r.dest + "Resources/text/English/current.txt").c_str(), target, sizeof target - 1), 0);
	EXPECT_STREQ(target, "Ventora.txt");
	EXPECT_NE(access((r.dest + "Ventora.exe").c_str(), F_OK), 0);
	EXPECT_NE(access((r.dest + "Ventora.app").c_str(), F_OK), 0);

	// The registry names the copy; the dialog stand-in was asked for a folder.
	EXPECT_EQ(file_of(r.run_folder + "home/.config/Ventora/ventora_install.txt"), r.dest + "\n");
	EXPECT_NE(file_of(r.run_folder + "zenity_calls.txt").find("--directory"), std::string::npos);

	// Requests: the list once, the manifest once, each wanted file once
	// (a pre-made tile as .zip then .7z), nothing of the other platforms.
	std::map<std::string, int> gets;
	const auto reqs = rel->server->requests();
	for (size_t i = before; i < reqs.size(); ++i) ++gets[reqs[i].host + reqs[i].path];
	EXPECT_EQ(gets[rel->web_host + "/serverlist9.txt"], 1);
	for (auto& g : gets) {
		EXPECT_EQ(g.second, 1) << g.first;
		EXPECT_EQ(g.first.find("/Windows/"), std::string::npos);
		EXPECT_EQ(g.first.find("/Macintosh/"), std::string::npos);
	}
	EXPECT_EQ(gets.count(rel->file_host + "/" + rel->name + "/All/Global Scenery/-global terrain-/+40-120/+46-121.dsf.7z"), 1u);

	// Nothing of the download is left in the temporary folder.
	std::vector<std::string> names;
	std::vector<int> types;
	const std::string tmp = r.run_folder + "tmp/ventora-" + std::to_string(getuid()) + "/";
	opensave_getitems(tmp, 0, names, types);
	for (const std::string& n : names) EXPECT_TRUE(n.find(".zip") == std::string::npos && n.find(".7z") == std::string::npos) << n;
}

TEST_F(WizardGui, FrenchAndGermanPagesHaveEveryText)
{
	for (int lang : {1, 2}) {
		vtest::gui_run_options o;
		o.language = lang;
		o.fly = false;
		std::shared_ptr<void> keep;
		vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
		ASSERT_EQ(r.failure, "") << r.log;
		EXPECT_EQ(r.exit_status, 0) << lang;
		EXPECT_EQ(r.log.find("STRING "), std::string::npos) << r.log;
		EXPECT_EQ(r.log.find("ERROR: language"), std::string::npos) << r.log;
	}
}

TEST_F(WizardGui, NewerInstallerOpensItsAddressAndEnds)
{
	rel->server->put_file(rel->web_host, "/serverlist9.txt",
	                      "I\n820 version\nSERVERS\nINS_VERSION 20403 new http://www.tarnwick.example/new_installer\n" +
	                          vtest::demo_server_list(*rel).substr(std::string("I\n820 version\nSERVERS\n").size()));
	const size_t before = rel->server->request_count();
	vtest::gui_run_options o;
	o.stop_at = 1;
	o.at_stop = [](vtest::gui_ctl& c) {
		c.click(230, 103);
		c.click(770 - 101 / 2, 23);
		// The alert saying why; Return dismisses it.
		for (int i = 0; i < 100 && access((c.run_folder + "xdg_open_calls.txt").c_str(), F_OK) != 0; ++i) {
			c.key("Return");
			usleep(100000);
		}
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	rel->server->put_file(rel->web_host, "/serverlist9.txt", vtest::demo_server_list(*rel));
	EXPECT_EQ(file_of(r.run_folder + "xdg_open_calls.txt"), "http://www.tarnwick.example/new_installer\n");
	EXPECT_EQ(r.exit_status, 0) << r.log;
	// No manifest was asked for.
	const auto reqs = rel->server->requests();
	for (size_t i = before; i < reqs.size(); ++i) EXPECT_EQ(reqs[i].path.find("directory.txt"), std::string::npos);
}

TEST_F(WizardGui, MissingManifestIsAskedForAtAWideningPaceAndQuitWorks)
{
	const std::string manifest = "/" + rel->name + "/directory.txt.zip";
	vtest::http_behaviour b;
	b.status = 404;
	rel->server->set_behaviour(manifest, b);
	vtest::gui_run_options o;
	o.stop_at = 1;
	size_t asked = 0;
	const size_t before = rel->server->request_count();
	o.at_stop = [&](vtest::gui_ctl& c) {
		c.click(230, 103);
		c.click(770 - 101 / 2, 23);
		ASSERT_TRUE(c.wait_log("Wizard page 2:", 30));
		usleep(5500000);
		const auto reqs = rel->server->requests();
		for (size_t i = before; i < reqs.size(); ++i) asked += reqs[i].path == manifest;
		c.click(30 + 56 / 2, 23);  // Quit
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	rel->server->clear_behaviours();
	// Tries at 0, 1, 3 s (and perhaps one at the edge of 7 s): never hundreds.
	EXPECT_GE(asked, 2u);
	EXPECT_LE(asked, 4u);
	EXPECT_EQ(r.exit_status, 0);
	EXPECT_EQ(access((r.run_folder + "home/.config/Ventora/ventora_install.txt").c_str(), F_OK), -1);
}

TEST_F(WizardGui, CorruptArchiveEndsWithoutTheFlyChoice)
{
	vtest::http_behaviour b;
	b.raw = "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nConnection: close\r\n\r\nnot a zip!!!";
	const std::string bad = "/" + rel->name + "/All/Airfoils/naca0012.afl.zip";
	rel->server->set_behaviour(bad, b);
	vtest::gui_run_options o;
	o.stop_at = 3;
	o.change_destination = false;
	o.at_stop = [](vtest::gui_ctl& c) {
		c.click(770 - 101 / 2.0f, 23);
		// The extraction warning waits for Return; then the Finish page.
		for (int i = 0; i < 100 && !c.wait_log("Wizard page 5:", 0.2); ++i) c.key("Return");
		ASSERT_TRUE(c.wait_log("Wizard page 5:", 5));
		usleep(300000);
		c.click(500, 350);                      // where "Fly" would be: nothing there
		usleep(300000);
		c.click(770 - 56 / 2.0f, 23);           // Quit in Next's place
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	rel->server->clear_behaviours();
	EXPECT_EQ(r.exit_status, 0) << r.log;
	EXPECT_EQ(r.log.find("Starting "), std::string::npos);
	ASSERT_FALSE(r.dest.empty());
	EXPECT_NE(access((r.dest + "Instructions/Read Me.txt").c_str(), F_OK), -1);
	EXPECT_EQ(access((r.dest + "flew.txt").c_str(), F_OK), -1);
}
