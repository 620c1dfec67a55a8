// Preference files: the installer's own file and the display settings file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/OOPS_cpp/pref.h"
#include "tests/support/text_fixture.h"

namespace {

class Prefs : public ::testing::Test {
protected:
	void SetUp() override
	{
		setenv("XDG_CONFIG_HOME", (box.dir() + "config").c_str(), 1);
		stg.stream_count = stg.log_actions = stg.get_beta = 0;
		http.proxy_host.clear();
		http.proxy_port_text.clear();
		http.proxy_port = 0;
		path = pref_file_path(11);
	}
	void TearDown() override { MACIBM_set_alert_sink({}); }

	text_sandbox box;
	std::string path;
};

TEST_F(Prefs, InstallerFileLivesInThePreferencesFolder)
{
	EXPECT_EQ(path, box.dir() + "config/Ventora/Ventora Installer.prf");
	EXPECT_EQ(pref_file_path(10), "Resources/preferences/Res Skyframe.prf");
	EXPECT_EQ(pref_file_path(12), "Resources/preferences/Cal Ventora.prf");
	EXPECT_EQ(pref_file_path(13), "");
}

TEST_F(Prefs, NoFileKeepsDefaultsAndSavingWritesOnlyTheIntegers)
{
	pref.IO_set(11, 0);
	EXPECT_EQ(stg.stream_count, 0);
	EXPECT_EQ(stg.log_actions, 0);
	EXPECT_EQ(stg.get_beta, 0);
	EXPECT_EQ(http.proxy_port, 0);
	EXPECT_EQ(http.proxy_host, "");
	EXPECT_EQ(http.proxy_port_text, "");

	pref.IO_set(11, 1);
	EXPECT_EQ(text_read_file(path),
	          "I\n9002 version\n_stream_count 0\n_log_actions 0\n_proxy_port_int 0\n_get_beta 0\n");
}

TEST_F(Prefs, SavedValuesReadBackWhole)
{
	stg.stream_count = 3;
	stg.log_actions = 1;
	stg.get_beta = 1;
	http.proxy_host = "my proxy host  ";
	http.proxy_port_text = "8080";
	http.proxy_port = 8080;
	pref.IO_set(11, 1);
	EXPECT_EQ(text_read_file(path),
	          "I\n9002 version\n_stream_count 3\n_log_actions 1\n_proxy_host my proxy host  \n"
	          "_proxy_port 8080\n_proxy_port_int 8080\n_get_beta 1\n");

	stg.stream_count = stg.log_actions = stg.get_beta = 0;
	http.proxy_host = http.proxy_port_text = "";
	http.proxy_port = 0;
	pref.IO_set(11, 0);
	EXPECT_EQ(stg.stream_count, 3);
	EXPECT_EQ(stg.log_actions, 1);
	EXPECT_EQ(stg.get_beta, 1);
	EXPECT_EQ(http.proxy_host, "my proxy host  ");
	EXPECT_EQ(http.proxy_port_text, "8080");
	EXPECT_EQ(http.proxy_port, 8080);

	// A line end typed into a text cannot smuggle in a setting of its own.
	http.proxy_host = "host\n_stream_count 4";
	pref.IO_set(11, 1);
	stg.stream_count = 0;
	pref.IO_set(11, 0);
	EXPECT_EQ(http.proxy_host, "host");
	EXPECT_EQ(stg.stream_count, 3);
}

TEST_F(Prefs, LinesAreReadAsAtoiReadsThemAndLaterKeysWin)
{
	box.write("config/Ventora/Ventora Installer.prf",
	          "I\r\n9002 version\r\n\r\n"
	          "_stream_count 1\r\n"
	          "   _stream_count    2\r\n"
	          "_log_actions\r\n"
	          "_get_beta 12abc\r\n"
	          "_proxy_port_int 99999999999\r\n"
	          "_unknown_key 5\r\n"
	          "_proxy_port  -7 \r\n");
	stg.log_actions = 9;
	pref.IO_set(11, 0);
	EXPECT_EQ(stg.stream_count, 2);
	EXPECT_EQ(stg.log_actions, 0) << "a key alone reads as 0";
	EXPECT_EQ(stg.get_beta, 12);
	EXPECT_EQ(http.proxy_port, INT_MAX);
	EXPECT_EQ(http.proxy_port_text, "-7 ");
	EXPECT_EQ(http.proxy_host, "");
}

TEST_F(Prefs, WrongHeaderReadsNothing)
{
	const char* files[] = {
	    "I\n9001 version\n_stream_count 4\n",
	    "I\n900 version\n_stream_count 4\n",
	    "X\n9002 version\n_stream_count 4\n",
	    "_stream_count 4\n",
	    "I\n",
	};
	for (const char* text : files) {
		box.write("config/Ventora/Ventora Installer.prf", text);
		stg.stream_count = 1;
		pref.IO_set(11, 0);
		EXPECT_EQ(stg.stream_count, 1) << text;
	}
}

TEST_F(Prefs, UnwritableFileWarnsAndGoesOn)
{
	std::vector<alert_record> seen;
	MACIBM_set_alert_sink([&](const alert_record& r) { seen.push_back(r); });
	ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);  // a folder where the file belongs
	stg.stream_count = 2;
	pref.IO_set(11, 1);
	ASSERT_EQ(seen.size(), 1u);
	EXPECT_EQ(seen[0].kind, alert_warning);
	EXPECT_EQ(seen[0].line2, path);
	EXPECT_EQ(stg.stream_count, 2);
	pref.IO_set(11, 0);  // reading a folder finds nothing
	EXPECT_EQ(stg.stream_count, 2);
}

TEST_F(Prefs, NoPreferencesFolderLeavesTheSharedWriterAlone)
{
	box.write("plain", "a file, not a folder");
	setenv("XDG_CONFIG_HOME", (box.dir() + "plain/config").c_str(), 1);
	ASSERT_EQ(pref_file_path(11), "");

	const std::string other = box.dir() + "other.txt";
	ouf.open(other);
	ouf << "kept\n";
	stg.stream_count = 2;
	pref.IO_set(11, 1);
	EXPECT_TRUE(ouf.is_open()) << "someone else's file stays open";
	ouf << "still mine\n";
	ouf.close();
	EXPECT_EQ(text_read_file(other), "kept\nstill mine\n");
	EXPECT_NE(box.take_log().find("WARNING: "), std::string::npos);

	pref.IO_set(11, 0);  // nothing to read either
	EXPECT_EQ(stg.stream_count, 2);
}

TEST_F(Prefs, DisplaySettingsKeepSizesInRange)
{
	char old_dir[4096];
	ASSERT_NE(getcwd(old_dir, sizeof(old_dir)), nullptr);
	ASSERT_EQ(chdir(box.dir().c_str()), 0);
	box.write("Resources/preferences/Res Skyframe.prf",
	          "I\n9002 version\n_x_res_req_ALL 500\n_y_res_req_ALL 10000\n_lang 2\n_col_res_req 16\n"
	          "_sec_mon_inuse 1\n");
	mnw = mnw_struct();
	pref.IO_set(10, 0);
	EXPECT_EQ(mnw.second_window, 1);
	EXPECT_EQ(mnw.x_res_req, 1024);
	EXPECT_EQ(mnw.y_res_req, 768);
	EXPECT_EQ(mnw.language, 2);
	EXPECT_EQ(mnw.bit_depth_req, 16);
	EXPECT_EQ(mnw.prefs_found, 0);

	mnw.x_res_req = 1280;
	mnw.y_res_req = 960;
	pref.IO_set(10, 1);
	EXPECT_EQ(mnw.prefs_found, 1);
	std::string written = text_read_file("Resources/preferences/Res Skyframe.prf");
	EXPECT_NE(written.find("\n_x_res_req_ALL 1280\n_y_res_req_ALL 960\n"), std::string::npos) << written;
	EXPECT_NE(written.find("\n_prefs_found 1\n"), std::string::npos) << written;
	EXPECT_NE(written.find("\n_sec_mon_inuse 1\n"), std::string::npos) << written;

	mnw.x_res_req = 0;
	pref.IO_set(10, 0);
	EXPECT_EQ(mnw.x_res_req, 1280);
	EXPECT_EQ(mnw.y_res_req, 960);

	pref.IO_set(12, 1);
	EXPECT_EQ(text_read_file("Resources/preferences/Cal Ventora.prf"), "I\n9002 version\n");
	ASSERT_EQ(chdir(old_dir), 0);
}

}  // namespace
