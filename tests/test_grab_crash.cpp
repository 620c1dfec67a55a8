// A headless update killed with SIGKILL at chosen points, then run again:
// the second run must end with exactly the release, ask no question and
// fetch only what the first left unfinished.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <set>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"
#include "tests/support/install_driver.h"
#include "tests/support/test_files.h"

namespace {

using vtest::grab_file;

const char* const kHost = "releases.test";
const char* const kServerPath = "/ventora/Ventora 9 Demo/";

// Where the child stops: the point's name and a test of the path (and of
// anything else the test wants to see first).
std::function<bool(const char*, const std::string&)> g_stop_when;

void stop_hook(const char* point, const std::string& path)
{
	if (g_stop_when && g_stop_when(point, path)) kill(getpid(), SIGKILL);
}

std::vector<grab_file> release_one()
{
	return {
	    {"Resources/big.bin", vtest::noise(6 << 20, 1), 0644},
	    {"Ventora.app/Contents/MacOS/Ventora", "mac binary, first\n", 0644},
	    {"Ventora", "#!/bin/sh\necho first\n", 0755},
	    {"Resources/link", "a.txt", 0777, true},
	    {"Resources/a.txt", "alpha\n", 0644},
	    {"Resources/old/x1.txt", "dropped one\n", 0644},
	    {"Resources/old/deeper/x2.txt", "dropped two\n", 0600},
	    {"Resources/keep.txt", "kept\n", 0640},
	};
}

// The next release: four files changed, the two under old/ dropped, one new.
// A changed or dropped file lists its older version first.
std::vector<grab_file> release_two()
{
	std::vector<grab_file> out;
	for (const grab_file& f : release_one()) {
		out.push_back(f);
		grab_file next = f;
		next.mtime += 86400;
		if (f.rel == "Resources/big.bin") next.data = vtest::noise(6 << 20, 2);
		else if (f.rel == "Ventora.app/Contents/MacOS/Ventora") next.data = "mac binary, second\n";
		else if (f.rel == "Ventora") next.data = "#!/bin/sh\necho second\n";
		else if (f.rel == "Resources/link") next.data = "keep.txt";
		else if (f.rel.find("/old/") != std::string::npos) next.gone = true;
		else continue;
		out.push_back(next);
	}
	out.push_back({"Resources/new/n.txt", "brand new\n", 0644});
	return out;
}

// A disc release: the same files and a scenery tile, which discs hold as .7z.
std::vector<grab_file> on_disc(std::vector<grab_file> files, int edition)
{
	const std::string tile = "Custom Scenery/Global Scenery/+40-120.dsf";
	files.push_back({tile, vtest::noise(200000, 10), 0644});
	if (edition == 2) files.push_back({tile, vtest::noise(200000, 11), 0644});
	return files;
}

// Everything below a folder: names (folders end in '/'), each file's bytes,
// mode and date (none for scenery tiles: a .7z item keeps no date), each
// link's text.
std::map<std::string, std::string> tree_of(const std::string& root)
{
	std::map<std::string, std::string> out;
	for (const std::string& rel : atest::list_tree(root)) {
		const std::string path = root + rel;
		std::string target;
		if (!rel.empty() && rel.back() == '/')
			out[rel] = "folder";
		else if (is_sim_link(path, &target))
			out[rel] = "link " + target;
		else
			out[rel] = "file mode " + std::to_string(vtest::file_mode(path)) + " time " +
			           (rel.find("Global Scenery/") != std::string::npos ? "-" : std::to_string(vtest::file_mtime(path))) +
			           " md5 " + vtest::md5_hex(vtest::read_file_bytes(path));
	}
	return out;
}

class CrashTest : public ::testing::Test {
protected:
	CrashTest() : server(tmp.path() + "www/") {}

	void SetUp() override
	{
		// As in the program: a killed client must not end the server's process.
		signal(SIGPIPE, SIG_IGN);
		xer.open(tmp.path() + "log.txt");
		MACIBM_set_alert_sink([](const alert_record&) {});
		select_alert_set_asker([this](const select_alert_question& q) {
			questions.push_back(q.path);
			return 2;
		});
	}
	void TearDown() override
	{
		vtest::release_engine();
		select_alert_set_asker(nullptr);
		MACIBM_set_alert_sink(nullptr);
		set_crash_point_hook(nullptr);
		xer.close();
	}

	void publish(const std::vector<grab_file>& files)
	{
		server.clear_behaviours();
		vtest::write_archives(server.root() + kHost + kServerPath, "Top", files);
		vtest::write_file_bytes(tmp.path() + "directory.txt", vtest::manifest_text("Top", files));
	}

	// One whole run of the install pages into dest; false when it did not finish.
	bool run_install(const std::string& dest)
	{
		vtest::release_engine();
		vtest::point_engine_at(server, kHost, kServerPath, dest, tmp.path() + "staging/");
		if (!vtest::prepare_install(tmp.path() + "directory.txt", xtim.elapsed).empty()) return false;
		for (int frame = 0; frame < 5000; ++frame) {
			if (vtest::install_frame(20)) return true;
			xtim.elapsed += 0.02f;
		}
		return false;
	}

	// The disc flow: decide, delete, then copy and unpack disc by disc on the
	// worker pools; false when it did not finish.
	bool run_dvd(const std::string& dest)
	{
		vtest::release_engine();
		stg = stg_struct{};
		stg_set_start_values();
		dest_dir_path = dest;
		temp_path = tmp.path() + "staging/";
		mkdir(temp_path.c_str(), 0700);
		dvd_path = tmp.path() + "dvd/";
		install_name = "Ventora Demo";
		if (read_directory(tmp.path() + "directory.txt") != 3) return false;
		set_install_filter(1, 1);
		int next_file = 0;
		float progress = 0;
		while (!checksum_directory(next_file, progress)) usleep(100);
		scenery_take_all();
		recalc_disk_sizes();
		if (!choose_files() || make_dirs() != 0) return false;
		delete_files();
		next_file = 0;
		for (int polls = 0; polls < 200000; ++polls) {
			const int r = install_files(next_file, 0);
			if (r == 1) return true;
			if (r != 0) return false;
			usleep(100);
		}
		return false;
	}

	void publish_disc(const std::vector<grab_file>& files)
	{
		vtest::write_archives(tmp.path() + "dvd/Ventora Demo/", "Top", files);
		vtest::write_file_bytes(tmp.path() + "directory.txt", vtest::manifest_text("Top", files));
	}

	// The same run in a child process; how the child ended.
	int run_in_child(const std::function<bool()>& run)
	{
		fflush(nullptr);
		pid_t pid = fork();
		if (pid == 0) {
			set_crash_point_hook(stop_hook);
			_exit(run() ? 0 : 3);
		}
		int status = 0;
		waitpid(pid, &status, 0);
		return status;
	}

	// The same run in a child process; how the child ended.
	int run_install_in_child(const std::string& dest)
	{
		fflush(nullptr);
		pid_t pid = fork();
		if (pid == 0) {
			set_crash_point_hook(stop_hook);
			_exit(run_install(dest) ? 0 : 3);
		}
		int status = 0;
		waitpid(pid, &status, 0);
		// Requests the child sent just before it died reach the server's log
		// first, so they are not counted as the next run's.
		EXPECT_TRUE(server.settle(60000));
		return status;
	}

	// Archive paths requested since request number from.
	std::multiset<std::string> requests_since(size_t from)
	{
		std::multiset<std::string> out;
		const auto all = server.requests();
		const std::string prefix = std::string(kServerPath) + "Top/";
		for (size_t i = from; i < all.size(); ++i)
			if (all[i].path.compare(0, prefix.size(), prefix) == 0) out.insert(all[i].path.substr(prefix.size()));
		return out;
	}

	vtest::temp_folder tmp;
	vtest::http_server server;
	std::vector<std::string> questions;
};

TEST_F(CrashTest, KilledUpdateConvergesOnTheNextRun)
{
	const std::vector<grab_file> two = release_two();
	// What a complete install of the second release looks like.
	publish(two);
	const std::string reference = tmp.path() + "reference/";
	ASSERT_TRUE(run_install(reference));
	const auto want = tree_of(reference);
	ASSERT_EQ(want.count("Resources/old/"), 0u);
	ASSERT_EQ(want.at("Ventora.app/Contents/MacOS/Ventora").compare(0, 12, "file mode 49"), 0);  // 0755

	auto dropped_all_gone = [](const std::string& dest) {
		return !vtest::path_exists(dest + "Resources/old/x1.txt") &&
		       !vtest::path_exists(dest + "Resources/old/deeper/x2.txt");
	};
	struct kill_case {
		const char* what;
		const char* point;
		const char* rel;  // the path the point concerns; empty: any
		bool after_all_deletions;
	} cases[] = {
	    {"mid-write of a large file", "extract-piece", "Resources/big.bin", false},
	    {"between the write and the mode", "extract-written", "Ventora.app/Contents/MacOS/Ventora", false},
	    {"after the last deletion", "delete-done", "", true},
	};
	int n = 0;
	for (const kill_case& c : cases) {
		SCOPED_TRACE(c.what);
		const std::string dest = tmp.path() + "dest" + std::to_string(++n) + "/";
		publish(release_one());
		ASSERT_TRUE(run_install(dest));

		publish(two);
		g_stop_when = [&](const char* point, const std::string& path) {
			if (std::string(point) != c.point) return false;
			if (*c.rel && path != dest + c.rel) return false;
			return !c.after_all_deletions || dropped_all_gone(dest);
		};
		const int status = run_install_in_child(dest);
		g_stop_when = nullptr;
		ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child was not stopped: " << status;

		// Files the killed run did not finish.
		std::multiset<std::string> unfinished;
		std::map<std::string, const grab_file*> newest;
		for (const grab_file& f : two) newest[f.rel] = &f;
		for (const auto& kv : newest) {
			const grab_file& f = *kv.second;
			if (f.gone) continue;
			std::string have;
			if (calc_file_md5(dest + f.rel, have) != 0 || have != vtest::md5_hex(f.data))
				unfinished.insert(f.rel + ".zip");
		}
		if (*c.rel) {
			EXPECT_EQ(unfinished.count(std::string(c.rel) + ".zip"), 1u);
		}

		const size_t before = server.request_count();
		questions.clear();
		ASSERT_TRUE(run_install(dest));
		EXPECT_EQ(0, stg.install_problems);
		EXPECT_EQ(questions, std::vector<std::string>{});
		EXPECT_EQ(requests_since(before), unfinished);
		EXPECT_EQ(tree_of(dest), want);
	}
}

TEST_F(CrashTest, KilledDiscInstallConvergesOnTheNextRun)
{
	const std::vector<grab_file> two = on_disc(release_two(), 2);
	publish_disc(two);
	const std::string reference = tmp.path() + "reference/";
	ASSERT_TRUE(run_dvd(reference));
	const auto want = tree_of(reference);
	ASSERT_EQ(want.count("Resources/old/"), 0u);
	const std::string tile = "Custom Scenery/Global Scenery/+40-120.dsf";

	struct kill_case {
		const char* what;
		const char* point;
		std::string rel;  // empty: after every dropped file is gone
	} cases[] = {
	    {"mid-write of a large file", "extract-piece", "Resources/big.bin"},
	    {"between the write of a 7z item and its rename", "extract-written", tile},
	    {"after the last deletion", "delete-done", ""},
	};
	int n = 0;
	for (const kill_case& c : cases) {
		SCOPED_TRACE(c.what);
		const std::string dest = tmp.path() + "disc" + std::to_string(++n) + "/";
		publish_disc(on_disc(release_one(), 1));
		ASSERT_TRUE(run_dvd(dest));

		publish_disc(two);
		g_stop_when = [&](const char* point, const std::string& path) {
			if (std::string(point) != c.point) return false;
			if (!c.rel.empty()) return path == dest + c.rel;
			return !vtest::path_exists(dest + "Resources/old/x1.txt") &&
			       !vtest::path_exists(dest + "Resources/old/deeper/x2.txt");
		};
		const int status = run_in_child([&] { return run_dvd(dest); });
		g_stop_when = nullptr;
		ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child was not stopped: " << status;

		questions.clear();
		ASSERT_TRUE(run_dvd(dest));
		EXPECT_EQ(questions, std::vector<std::string>{});
		EXPECT_EQ(tree_of(dest), want);
	}
}

TEST_F(CrashTest, ModifiedFileStillRaisesTheQuestionAndLeftoversOnlyOfOursGo)
{
	const std::string dest = tmp.path() + "dest/";
	publish(release_one());
	ASSERT_TRUE(run_install(dest));

	// The user edits a file the next release changes; a killed run left a
	// temporary file; the user keeps files that only look similar.
	ASSERT_TRUE(vtest::write_file_bytes(dest + "Ventora", "#!/bin/sh\necho my own\n"));
	const std::string ours = std::string(extract_temp_prefix) + "00112233445566aa";
	ASSERT_TRUE(vtest::write_file_bytes(dest + "Resources/" + ours, "torn"));
	const std::string user_like[] = {
	    "Resources/" + std::string(extract_temp_prefix) + "notes",                 // not the pattern
	    "Resources/" + std::string(extract_temp_prefix) + "00112233445566aa.bak",  // not the pattern
	    "Output/mine/" + ours,                                                    // no manifest file there
	};
	mkdir((dest + "Output/mine").c_str(), 0755);
	for (const std::string& rel : user_like) ASSERT_TRUE(vtest::write_file_bytes(dest + rel, "user's"));
	const std::string pattern_folder = "Resources/" + std::string(extract_temp_prefix) + "ffffffffffffffff";
	ASSERT_EQ(mkdir((dest + pattern_folder).c_str(), 0755), 0);

	publish(release_two());
	questions.clear();
	ASSERT_TRUE(run_install(dest));
	EXPECT_EQ(questions, std::vector<std::string>{dest + "Ventora"});
	EXPECT_EQ(vtest::read_file_bytes(dest + "Ventora"), "#!/bin/sh\necho my own\n");  // kept, as answered
	EXPECT_EQ(vtest::read_file_bytes(dest + "Resources/big.bin"), release_two()[1].data);
	EXPECT_FALSE(vtest::path_exists(dest + "Resources/" + ours));
	for (const std::string& rel : user_like) {
		EXPECT_EQ(vtest::read_file_bytes(dest + rel), "user's") << rel;
	}
	EXPECT_TRUE(vtest::path_exists(dest + pattern_folder));
}

}  // namespace
