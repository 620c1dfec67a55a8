#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "tests/support/test_files.h"

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
