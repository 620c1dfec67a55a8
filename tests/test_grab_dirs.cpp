// Folder tree, deletions and the cancel question.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "DIzivoz/Files/io_archive.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/grab_fixture.h"
#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"

namespace {

class DirsTest : public vtest::EngineGlobalsTest {
protected:
	void TearDown() override
	{
		set_abort_alert_handler(nullptr);
		EngineGlobalsTest::TearDown();
	}
	void add(const std::string& path, int install, int remove, int platform = 0)
	{
		file_version_struct v;
		v.platform = platform;
		v.path = path;
		v.sig_want = remove ? "GONE" : std::string(32, 'a');
		v.sig_have = std::string(32, 'a');
		v.have_is_want = 1;
		v.install = install;
		v.remove = remove;
		sim_info.push_back(file_history_struct{v});
	}
	bool is_dir(const std::string& p)
	{
		struct stat st{};
		return lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
	}
};

TEST_F(DirsTest, MakesChainNeededAndUserFoldersAndRenamesFrameworkEntries)
{
	dest_dir_path = tmp.path() + "a/b/Sim/";
	add("Top/Resources/plugins/x/y.txt", 1, 0);
	add("Top/Custom/skip/me.txt", 0, 0);        // not to install
	add("Top/Other/plat/me.txt", 1, 0, 1);      // another platform
	add("Top/../escape/me.txt", 1, 0);          // would leave the destination

	// A framework holding a real "Current" folder and one whose "Current" is a link.
	const std::string fw = dest_dir_path + "Resources/plugins/";
	ASSERT_EQ(0, system(("mkdir -p '" + fw + "VNTM.framework/Versions/Current' '" + fw +
	                     "VNTM.framework/Resources' '" + fw + "VNTWidgets.framework/Versions/A'")
	                        .c_str()));
	ASSERT_EQ(0, symlink("A", (fw + "VNTWidgets.framework/Versions/Current").c_str()));

	EXPECT_EQ(0, make_dirs());
	EXPECT_TRUE(alerts.empty());
	for (const char* d : {"Resources/plugins/x", "Output", "Output/FMS plans", "Output/logbooks", "Output/movies",
	                      "Output/situations", "Resources/preferences"})
		EXPECT_TRUE(is_dir(dest_dir_path + d)) << d;
	EXPECT_FALSE(is_dir(dest_dir_path + "Custom"));
	EXPECT_FALSE(is_dir(dest_dir_path + "Other"));
	EXPECT_FALSE(vtest::path_exists(tmp.path() + "a/b/escape"));
	EXPECT_FALSE(vtest::path_exists(dest_dir_path + "escape"));

	EXPECT_TRUE(is_dir(fw + "VNTM.framework/Versions/_Current"));
	EXPECT_FALSE(vtest::path_exists(fw + "VNTM.framework/Versions/Current"));
	EXPECT_TRUE(is_dir(fw + "VNTM.framework/_Resources"));
	std::string target;
	EXPECT_EQ(1, is_sim_link(fw + "VNTWidgets.framework/Versions/Current", &target));
	EXPECT_FALSE(vtest::path_exists(fw + "VNTWidgets.framework/Versions/_Current"));

	// Running it again over the existing tree is no error.
	EXPECT_EQ(0, make_dirs());
	EXPECT_TRUE(alerts.empty());
}

TEST_F(DirsTest, FolderErrorsStopForTheTreeButNotForUserFolders)
{
	// The chain runs into a regular file: the code comes back after one warning.
	vtest::write_file_bytes(tmp.path() + "plain", "x");
	dest_dir_path = tmp.path() + "plain/Sim/";
	const int err = make_dirs();
	EXPECT_EQ(ENOTDIR, err);
	ASSERT_EQ(1u, alerts.size());
	EXPECT_EQ(alert_warning, alerts[0].kind);
	EXPECT_EQ("I am unable to install or update Ventora. An error occurred while creating new folders. Make sure "
	          "you are installing to a directory that you have access to!",
	          alerts[0].line1);
	EXPECT_EQ("Error: " + error_str(ENOTDIR), alerts[0].line2);
	EXPECT_EQ("Install Location: " + dest_dir_path, alerts[0].line3);
	EXPECT_EQ("Install Path:" + tmp.path() + "plain/Sim", alerts[0].line4);

	// A user folder blocked by a file raises the warning for each folder
	// inside it; the rest are still made and the result is 0.
	alerts.clear();
	dest_dir_path = tmp.path() + "dest/";
	ASSERT_EQ(0, mkdir(dest_dir_path.c_str(), 0755));
	vtest::write_file_bytes(dest_dir_path + "Output", "a file where a folder belongs");
	EXPECT_EQ(0, make_dirs());
	ASSERT_EQ(4u, alerts.size());  // the four folders inside Output
	EXPECT_EQ("Install Path:" + dest_dir_path + "Output/FMS plans", alerts[0].line4);
	EXPECT_EQ("Install Path:" + dest_dir_path + "Output/situations", alerts[3].line4);
	EXPECT_TRUE(is_dir(dest_dir_path + "Resources/preferences"));
}

TEST_F(DirsTest, DeleteFilesRemovesMarkedFilesAndEmptiedFolders)
{
	ASSERT_EQ(0, system(("mkdir -p '" + dest_dir_path + "Output/old' '" + dest_dir_path + "Keep/sub'").c_str()));
	vtest::write_file_bytes(dest_dir_path + "Output/old/x.txt", "old");
	vtest::write_file_bytes(dest_dir_path + "Output/still.txt", "here");
	vtest::write_file_bytes(dest_dir_path + "Keep/sub/k.txt", "keep");
	vtest::write_file_bytes(tmp.path() + "outside.txt", "outside");
	ASSERT_EQ(0, system(("mkdir -p '" + dest_dir_path + "Nest/a'").c_str()));
	vtest::write_file_bytes(dest_dir_path + "Nest/a/b.txt", "nested");
	add("Top/Output/old/x.txt", 0, 1);
	add("Top/Keep/sub/k.txt", 0, 0);
	add("Top/Missing/gone.txt", 0, 1);     // already absent: no error
	add("Top/../outside.txt", 0, 1);       // would leave the destination
	add("Top/Nest/a/b.txt", 0, 1);         // empties Nest/a/, and with it Nest/

	vtest::temp_folder logdir;
	xer.open(logdir.path() + "log.txt");
	stg.log_actions = 1;
	delete_files();
	xer.close();

	EXPECT_FALSE(vtest::path_exists(dest_dir_path + "Output/old/x.txt"));
	EXPECT_FALSE(vtest::path_exists(dest_dir_path + "Output/old"));
	EXPECT_TRUE(vtest::path_exists(dest_dir_path + "Output/still.txt"));
	EXPECT_TRUE(vtest::path_exists(dest_dir_path + "Keep/sub/k.txt"));
	EXPECT_TRUE(vtest::path_exists(tmp.path() + "outside.txt"));
	EXPECT_EQ("NONE", sim_info[0].back().sig_have);
	EXPECT_EQ(0, sim_info[0].back().have_is_want);
	EXPECT_EQ(0, stg.action);
	EXPECT_TRUE(alerts.empty());

	const std::string log = vtest::read_file_bytes(logdir.path() + "log.txt");
	EXPECT_NE(std::string::npos,
	          log.find("DELETING  file " + dest_dir_path + "Output/old/x.txt, with result=0.\n"));
	EXPECT_NE(std::string::npos, log.find("DELETING  file " + dest_dir_path + "Missing/gone.txt, with result=2.\n"));
	EXPECT_NE(std::string::npos, log.find("cleanup: DELETING  file " + dest_dir_path + "Output/old/, with result=0.\n"));
	EXPECT_EQ(std::string::npos, log.find("cleanup: DELETING  file " + dest_dir_path + "Output/,"));
	// A folder is looked at before the folders that hold it.
	const size_t inner = log.find("cleanup: DELETING  file " + dest_dir_path + "Nest/a/, with result=0.\n");
	const size_t outer = log.find("cleanup: DELETING  file " + dest_dir_path + "Nest/, with result=0.\n");
	ASSERT_NE(std::string::npos, inner);
	ASSERT_NE(std::string::npos, outer);
	EXPECT_LT(inner, outer);
	EXPECT_FALSE(vtest::path_exists(dest_dir_path + "Nest"));
	EXPECT_TRUE(vtest::path_exists(dest_dir_path));
}

TEST_F(DirsTest, FoldersDeletionsAndRenamesNeverReachThroughALinkOutOfTheCopy)
{
	// What an earlier release left: links out of the copy, absolute and
	// relative, to a folder holding files, an empty folder, a framework and a
	// killed extraction's leftover.
	const std::string outside = tmp.path() + "outside/";
	ASSERT_EQ(0, system(("mkdir -p '" + outside + "empty' '" + outside + "VNTM.framework/Versions/Current' '" +
	                     dest_dir_path + "Resources/plugins'").c_str()));
	vtest::write_file_bytes(outside + "victim.txt", "keep me");
	vtest::write_file_bytes(outside + std::string(extract_temp_prefix) + "0123456789abcdef", "keep me too");
	ASSERT_EQ(0, symlink(outside.c_str(), (dest_dir_path + "Resources/evil").c_str()));
	ASSERT_EQ(0, symlink("../../outside", (dest_dir_path + "Resources/evil-rel").c_str()));
	ASSERT_EQ(0, symlink((outside + "VNTM.framework").c_str(),
	                     (dest_dir_path + "Resources/plugins/VNTM.framework").c_str()));
	const std::vector<std::string> before = atest::list_tree(outside);
	for (const char* link : {"evil", "evil-rel"}) {
		SCOPED_TRACE(link);
		sim_info.clear();
		const std::string under = std::string("Top/Resources/") + link + "/";
		add(under + "victim.txt", 0, 1);       // dropped: deleted through the link?
		add(under + "empty/gone.txt", 0, 1);   // its folder chain reaches outside/empty/
		add(under + "new/planted.txt", 1, 0);  // needs the folder outside/new/
		add(under + "x.txt", 0, 0);            // its folder is searched for leftovers
		alerts.clear();
		vtest::temp_folder logdir;
		xer.open(logdir.path() + "log.txt");
		EXPECT_EQ(0, make_dirs());
		delete_files();
		remove_extract_leftovers();
		xer.close();
		EXPECT_EQ(before, atest::list_tree(outside));
		EXPECT_EQ("keep me", vtest::read_file_bytes(outside + "victim.txt"));
		EXPECT_TRUE(alerts.empty());
		// Dropped files behind the link are refused: they count as not deleted.
		EXPECT_EQ(2, undeleted_file_count());
		EXPECT_EQ(std::string(32, 'a'), sim_info[0].back().sig_have);
		EXPECT_EQ(1, sim_info[1].back().have_is_want);
		const std::string log = vtest::read_file_bytes(logdir.path() + "log.txt");
		EXPECT_NE(std::string::npos, log.find("Could not delete the dropped file " + dest_dir_path + "Resources/" +
		                                      link + "/victim.txt: " + error_str(err_archive_escape)));
		EXPECT_NE(std::string::npos, log.find("WARNING: not making the folder " + dest_dir_path + "Resources/" + link +
		                                      "/new: a link on its way leads out of the copy."));
	}
	EXPECT_TRUE(is_dir(outside + "VNTM.framework/Versions/Current"));  // not renamed to _Current
}

TEST_F(DirsTest, AbortAlertPassesTheQuestionAndKeepsItsResults)
{
	EXPECT_EQ(3, abort_alert("m", "c1", "t1", "c2", "t2"));  // no shell: a closed window

	struct row {
		int answer;  // what the shell's loop gave
		int result;
	};
	// Anything but a click on one of the two buttons is a closed window.
	for (row r : {row{1, 1}, row{0, 0}, row{3, 3}, row{2, 3}, row{-1, 3}}) {
		abort_question seen;
		set_abort_alert_handler([&](const abort_question& q) {
			seen = q;
			return r.answer;
		});
		EXPECT_EQ(r.result, abort_alert("Stop?", "CANCEL", "stop now", "CONTINUE", "go on")) << r.answer;
		EXPECT_EQ(997, seen.window_type);
		EXPECT_EQ("Stop?", seen.message);
		EXPECT_EQ("CANCEL", seen.caption1);
		EXPECT_EQ("stop now", seen.text1);
		EXPECT_EQ("CONTINUE", seen.caption2);
		EXPECT_EQ("go on", seen.text2);
	}
}

TEST(DestRelativePath, RefusesEscapingPaths)
{
	struct row {
		const char* rel;
		int ok;
	};
	for (row r : {row{"Resources/a.txt", 1}, row{"a.txt", 1}, row{"a..b/c", 1}, row{"", 0}, row{"/etc/passwd", 0},
	              row{"../x", 0}, row{"a/../../x", 0}, row{"a/./b", 0}, row{"a/..", 0}})
		EXPECT_EQ(r.ok, dest_relative_path_ok(r.rel)) << r.rel;
}

}  // namespace
