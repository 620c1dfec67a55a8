#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "tests/support/dvd_discs.h"
#include "tests/support/test_files.h"

extern char** environ;

TEST(Log, WritesBeforeOpenAreDroppedAndLinesStayWhole)
{
	log_stream log;
	log << "dropped " << 42 << "\n";
	EXPECT_TRUE(log.good());
	const std::string path = ::testing::TempDir() + "ventora_log_test.txt";
	log.open(path);
	ASSERT_TRUE(log.is_open());
	std::vector<std::thread> threads;
	for (int t = 0; t < 8; ++t)
		threads.emplace_back([&log, t] {
			for (int i = 0; i < 200; ++i) log << "thread " << t << " line " << i << " end\n";
		});
	for (auto& th : threads) th.join();
	log.close();
	const std::string text = vtest::read_file_bytes(path);
	EXPECT_EQ(text.find("dropped"), std::string::npos);
	std::istringstream in(text);
	std::string line;
	int count = 0;
	while (std::getline(in, line)) {
		++count;
		EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
		EXPECT_EQ(line.substr(line.size() - 4), " end") << line;
	}
	EXPECT_EQ(count, 8 * 200);
}

TEST(Alert, SinkCapturesFatalWithoutEndingProcess)
{
	std::vector<alert_record> seen;
	MACIBM_set_alert_sink([&](const alert_record& r) { seen.push_back(r); });
	__MACIBM_alert(0, "a", "b", "c", "d", alert_fatal, "DIzivoz/OOPS_cpp/xmap", 133);
	MACIBM_set_alert_sink({});
	ASSERT_EQ(seen.size(), 1u);
	EXPECT_EQ(seen[0].kind, 2);
	EXPECT_EQ(seen[0].source_file, "DIzivoz/OOPS_cpp/xmap");
	EXPECT_EQ(seen[0].source_line, 133);
}

// Without a window a fatal alert logs its lines and source, leaves a stack
// dump and a memory report in the working folder, and ends with status 1.
TEST(AlertDeathTest, FatalAlertLeavesDumpsAndEndsWithStatusOne)
{
	vtest::temp_folder dir;
	EXPECT_EXIT(
	    {
		    if (chdir(dir.path().c_str()) != 0) std::exit(3);
		    xer.open(dir.path() + "log.txt");
		    __MACIBM_alert(0, "first", "second", "third", "fourth", alert_fatal, "Installer-f/utils", 1234);
	    },
	    ::testing::ExitedWithCode(1), "first second");
	EXPECT_NE(vtest::read_file_bytes(dir.path() + "log.txt").find("\nfirst\nsecond\nthird\nfourth\n(Installer-f/utils line 1234)\n"),
	          std::string::npos);
	EXPECT_NE(vtest::read_file_bytes(dir.path() + "stack_crawl.txt"), "");
	EXPECT_NE(vtest::read_file_bytes(dir.path() + "MemoryLog.txt"), "");
}

// The installer started without a display from a folder it cannot write (a
// read-only mount): its log, memory report and stack dump go to the user's
// state folder; standard output stays empty. A writable folder keeps them.
TEST(LogFolder, ReadOnlyProgramFolderLogsToTheStateFolder)
{
	SKIP_WITHOUT_DISC_NAMESPACE();
	const char* bin = std::getenv("VENTORA_BIN_DIR");
	const std::string build = std::string(bin ? bin : VENTORA_TEST_BIN_DIR) + "/";
	struct row {
		const char* name;
		bool read_only;
		bool xdg_set;
		const char* state;  // relative to the test folder; "" when the logs stay beside the program
	} rows[] = {
	    {"read-only, XDG_STATE_HOME set", true, true, "xdg/ventora/"},
	    {"read-only, default state folder", true, false, "home/.local/state/ventora/"},
	    {"writable program folder", false, true, ""},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		vtest::temp_folder dir;
		const std::string app = dir.path() + "app/";
		mkdir(app.c_str(), 0755);
		mkdir((dir.path() + "home").c_str(), 0755);
		ASSERT_TRUE(vtest::write_file_bytes(app + "ventora_installer", vtest::read_file_bytes(build + "ventora_installer")));
		chmod((app + "ventora_installer").c_str(), 0755);
		symlink((build + "Resources").c_str(), (app + "Resources").c_str());
		std::unique_ptr<vtest::disc_drive> drive;
		std::string run = app;
		if (r.read_only) {
			drive.reset(new vtest::disc_drive(dir.path() + "ro/"));
			ASSERT_EQ(drive->insert(app), "");
			run = drive->root();
		}
		std::vector<std::string> env = {"HOME=" + dir.path() + "home", "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
		if (r.xdg_set) env.push_back("XDG_STATE_HOME=" + dir.path() + "xdg");
		for (char** e = environ; *e; ++e)
			if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0 || std::strncmp(*e, "UBSAN_OPTIONS=", 14) == 0 ||
			    std::strncmp(*e, "LSAN_OPTIONS=", 13) == 0)
				env.push_back(*e);
		std::vector<char*> envp, argv;
		for (std::string& e : env) envp.push_back(&e[0]);
		envp.push_back(nullptr);
		std::string exe = run + "ventora_installer";
		argv.push_back(&exe[0]);
		argv.push_back(nullptr);
		posix_spawn_file_actions_t fa;
		posix_spawn_file_actions_init(&fa);
		posix_spawn_file_actions_addopen(&fa, 1, (dir.path() + "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		posix_spawn_file_actions_addopen(&fa, 2, (dir.path() + "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		pid_t pid = -1;
		ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), envp.data()), 0);
		posix_spawn_file_actions_destroy(&fa);
		int st = 0;
		ASSERT_EQ(waitpid(pid, &st, 0), pid);
		// No display: the graphics alert ends the program.
		EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) != 0) << st;
		EXPECT_NE(vtest::read_file_bytes(dir.path() + "stderr.txt").find("I could not set up the graphics"),
		          std::string::npos);
		EXPECT_EQ(vtest::read_file_bytes(dir.path() + "stdout.txt"), "");
		const std::string logs = r.state[0] ? dir.path() + r.state : run;
		const std::string log = vtest::read_file_bytes(logs + "Ventora Installer Log.txt");
		EXPECT_EQ(log.rfind("Installer log.txt for Ventora Web Demo Installer", 0), 0u) << logs;
		EXPECT_NE(log.find("I could not set up the graphics"), std::string::npos);
		EXPECT_EQ(vtest::read_file_bytes(logs + "MemoryLog.txt").rfind("dump_mem_stats: ", 0), 0u);
		EXPECT_NE(vtest::read_file_bytes(logs + "stack_crawl.txt"), "");
		if (!r.state[0]) {
			EXPECT_FALSE(vtest::path_exists(dir.path() + "xdg"));
			EXPECT_FALSE(vtest::path_exists(dir.path() + "home/.local"));
		}
	}
}
