#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "DIzivoz/UTL/UTL_exce.h"
#include "tests/support/thread_capture.h"

namespace {
class ThreadLayer : public ::testing::Test {
protected:
	void SetUp() override { THREAD_init(); }
	void TearDown() override
	{
		if (THREAD_is_inited()) THREAD_shutdown();
	}
};

// Starts fn on a thread of the layer and waits for it to end.
void run_on_thread(void* (*fn)(void*), void* arg = nullptr)
{
	pthread_t t, id, j;
	THREAD_create(fn, arg, &t, &id, &j, 0);
	UTL_thread_join(&t, &j);
}

std::atomic<int> ran_after_fatal{0};
std::atomic<int> ran_after_warning{0};

void expect_alert(const alert_record& a, const char* l1, const char* l2, int kind, const char* file,
                  int line)
{
	EXPECT_EQ(a.line1, l1);
	EXPECT_EQ(a.line2, l2);
	EXPECT_EQ(a.kind, kind);
	EXPECT_EQ(a.source_file, file);
	EXPECT_EQ(a.source_line, line);
}
}  // namespace

TEST_F(ThreadLayer, WorkerAlertsReachMainThreadFatalFirstThenWarningsInOrder)
{
	alert_capture cap;
	EXPECT_TRUE(THREAD_is_main_thread());
	run_on_thread([](void*) -> void* {
		EXPECT_FALSE(THREAD_is_main_thread());
		__MACIBM_alert(0, "w1", "a", "b", "c", alert_warning, "src/one", 11);
		__MACIBM_alert(0, "picker", "", "", "", alert_picker, "src/one", 12);
		__MACIBM_alert(0, "w2", "", "", "", alert_warning, "src/one", 13);
		ran_after_warning = 1;
		__MACIBM_alert(0, "f1", "x", "y", "z", alert_fatal, "src/one", 14);
		ran_after_fatal = 1;
		return nullptr;
	});
	run_on_thread([](void*) -> void* {
		__MACIBM_alert(0, "f2", "", "", "", alert_fatal, "src/two", 21);
		ran_after_fatal = 1;
		return nullptr;
	});
	EXPECT_EQ(ran_after_warning.load(), 1);
	EXPECT_EQ(ran_after_fatal.load(), 0);
	EXPECT_TRUE(cap.taken().empty());  // nothing is shown off the main thread

	THREAD_check_exception(0);  // fatal records only
	auto a = cap.taken();
	ASSERT_EQ(a.size(), 2u);
	expect_alert(a[0], "f1", "x", alert_fatal, "src/one", 14);
	EXPECT_EQ(a[0].line3, "y");
	EXPECT_EQ(a[0].line4, "z");
	expect_alert(a[1], "f2", "", alert_fatal, "src/two", 21);

	THREAD_check_exception(1);
	a = cap.taken();
	ASSERT_EQ(a.size(), 4u);  // the picker record was dropped
	expect_alert(a[2], "w1", "a", alert_warning, "src/one", 11);
	EXPECT_EQ(a[2].line3, "b");
	EXPECT_EQ(a[2].line4, "c");
	expect_alert(a[3], "w2", "", alert_warning, "src/one", 13);
}

TEST_F(ThreadLayer, ExceptionsAtThreadEntryBecomeFatalRecords)
{
	alert_capture cap;
	run_on_thread([](void*) -> void* { throw std::runtime_error("x"); });
	run_on_thread([](void*) -> void* { throw 42; });
	run_on_thread([](void*) -> void* {
		throw exce_class("own", "record", "3", "4", "src/own", 7, 1);
	});
	THREAD_check_exception(1);
	auto a = cap.taken();
	ASSERT_EQ(a.size(), 3u);
	expect_alert(a[0], "Caught an unhandled C++ exception", "x", alert_fatal,
	             "DIzivoz/Thread/hl_thread", 366);
	expect_alert(a[1], "Caught an unhandled unknown exception", "", alert_fatal,
	             "DIzivoz/Thread/hl_thread", 368);
	expect_alert(a[2], "own", "record", alert_fatal, "src/own", 7);  // made fatal
}

TEST_F(ThreadLayer, ThrownExceptionAtThreadEntryEndsTheProgram)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(
	    {
		    run_on_thread([](void*) -> void* { throw std::runtime_error("x"); });
		    THREAD_check_exception(1);
	    },
	    ::testing::ExitedWithCode(1),
	    "Caught an unhandled C\\+\\+ exception x.*\\(DIzivoz/Thread/hl_thread line 366\\)");
	EXPECT_EXIT(
	    {
		    run_on_thread([](void*) -> void* { throw 1.5; });
		    THREAD_check_exception(1);
	    },
	    ::testing::ExitedWithCode(1),
	    "Caught an unhandled unknown exception.*\\(DIzivoz/Thread/hl_thread line 368\\)");
}

// The older fatal record is shown first and its alert ends the program, so
// the later fatal record and the warning are never shown.
TEST_F(ThreadLayer, FirstFatalRecordEndsTheProgramBeforeLaterOnes)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	static const std::string path = ::testing::TempDir() + "thread_two_fatals_log.txt";
	std::remove(path.c_str());
	EXPECT_EXIT(
	    {
		    log_capture log(path);
		    run_on_thread([](void*) -> void* {
			    __MACIBM_alert(0, "first fatal", "", "", "", alert_fatal, "src/a", 1);
			    return nullptr;
		    });
		    run_on_thread([](void*) -> void* {
			    __MACIBM_alert(0, "a warning", "", "", "", alert_warning, "src/b", 2);
			    __MACIBM_alert(0, "second fatal", "", "", "", alert_fatal, "src/b", 3);
			    return nullptr;
		    });
		    THREAD_check_exception(1);
	    },
	    ::testing::ExitedWithCode(1), "first fatal");
	const std::string text = slurp_file(path);
	EXPECT_NE(text.find("first fatal\n"), std::string::npos) << text;
	EXPECT_NE(text.find("(src/a line 1)\n"), std::string::npos) << text;
	EXPECT_EQ(text.find("second fatal"), std::string::npos) << text;
	EXPECT_EQ(text.find("a warning"), std::string::npos) << text;
}

TEST_F(ThreadLayer, AsyncCallsOnGeneralWorkers)
{
	log_capture log(::testing::TempDir() + "thread_layer_log.txt");
	alert_capture cap;
	THREAD_make_workers();
	const int n = UTL_count_processors();
	EXPECT_EQ(worker_threads.size(), (size_t)n);

	auto plus_one = [](void* p) -> void* { return (void*)((intptr_t)p + 1); };
	THREAD_call* c1 = THREAD_run_async(plus_one, (void*)10);
	THREAD_call* c2 = THREAD_run_async(plus_one, (void*)20);
	const int cookie1 = c1->cookie, cookie2 = c2->cookie;
	EXPECT_NE(cookie1, 0);
	EXPECT_EQ(cookie2, cookie1 + 4);
	EXPECT_EQ(THREAD_is_done(c1, -1), 1);
	EXPECT_EQ(THREAD_is_done(c1, 0), 0);  // the reply is consumed once
	EXPECT_EQ(THREAD_cleanup(c1), (void*)11);
	EXPECT_EQ(THREAD_is_done(c2, 5000), 1);
	EXPECT_EQ(THREAD_cleanup(c2), (void*)21);

	// Records are recycled.
	THREAD_call* c3 = THREAD_run_async(plus_one, (void*)30);
	EXPECT_TRUE(c3 == c1 || c3 == c2);
	EXPECT_EQ(c3->cookie, cookie2 + 4);

	// Cleaning up a call that has not been seen done is fatal.
	static std::atomic<int> gate{0};
	THREAD_call* slow = THREAD_run_async(
	    [](void*) -> void* {
		    while (!gate) std::this_thread::yield();
		    return nullptr;
	    },
	    nullptr);
	EXPECT_EQ(THREAD_cleanup(slow), nullptr);
	auto a = cap.taken();
	ASSERT_EQ(a.size(), 1u);
	expect_alert(a[0], "Thread cleanup called on not-done call.", "", alert_fatal,
	             "DIzivoz/Thread/hl_thread", 610);
	gate = 1;
	EXPECT_EQ(THREAD_is_done(slow, -1), 1);
	THREAD_cleanup(slow);
	EXPECT_EQ(THREAD_is_done(c3, -1), 1);
	EXPECT_EQ(THREAD_cleanup(c3), (void*)31);

	THREAD_shutdown();
	EXPECT_FALSE(THREAD_is_inited());
	const std::string text = log.text();
	EXPECT_NE(text.find("CPU count        : " + std::to_string(n) + "\n"), std::string::npos);
	EXPECT_NE(text.find("Clean exit from threads.\n"), std::string::npos);
}

TEST_F(ThreadLayer, FatalRecordFromAsyncCallIsShownByIsDone)
{
	alert_capture cap;
	THREAD_make_workers();
	// The worker that raises the fatal alert ends; the others carry on.
	THREAD_call* c = THREAD_run_async(
	    [](void*) -> void* {
		    __MACIBM_alert(0, "boom", "", "", "", alert_fatal, "src/async", 5);
		    return nullptr;
	    },
	    nullptr);
	EXPECT_EQ(THREAD_is_done(c, 200), 0);
	EXPECT_EQ(THREAD_is_done(c, 0), 0);
	auto a = cap.taken();
	ASSERT_EQ(a.size(), 1u);
	expect_alert(a[0], "boom", "", alert_fatal, "src/async", 5);
	// The call never replies: its record is the caller's to free.
	UTL_message_queue_destroy(c->reply);
	UTL_critical_section_destroy(&c->lock);
	delete c;
}

TEST_F(ThreadLayer, ReportOffTheMainThreadLogsAndAsksToQuit)
{
	log_capture log(::testing::TempDir() + "thread_report_log.txt");
	alert_capture cap;
	app_done = 0;
	run_on_thread([](void*) -> void* {
		exce_class("l1", "l2", "l3", "l4", "src/far", 31, 2).Report();
		return nullptr;
	});
	EXPECT_TRUE(cap.taken().empty());
	EXPECT_EQ(app_done, 1);
	app_done = 0;
	EXPECT_EQ(log.text(), "EXCEPTION REPORTED FROM THREAD!!  File: src/far, line 31.\nl1\nl2\nl3\nl4\n");
}

TEST_F(ThreadLayer, SharedLoaderContextFailureWarnsOnce)
{
	alert_capture cap;
	glExt.threaded_avail = 1;
	run_on_thread([](void*) -> void* { return nullptr; });  // share flag 0: no context asked
	EXPECT_TRUE(cap.taken().empty());
	for (int i = 0; i < 2; ++i) {
		pthread_t t, id, j;
		THREAD_create([](void*) -> void* { return nullptr; }, nullptr, &t, &id, &j, 1);
		UTL_thread_join(&t, &j);
	}
	auto a = cap.taken();
	ASSERT_EQ(a.size(), 1u);
	expect_alert(a[0], "There was a problem setting up OpenGL.",
	             "You can still fly, but you may experience pauses during flight while scenery loads.",
	             alert_warning, "DIzivoz/OGL/OGL_extensions", 637);
	EXPECT_EQ(a[0].line3, "");
	EXPECT_EQ(a[0].line4, "(Please send your log.txt file to Tarnwick for debugging purposes.)");
	EXPECT_EQ(glExt.threaded_avail, 0);
}

TEST(ThreadRecord, DefaultsAndReportBeforeTheLayerStarts)
{
	alert_capture cap;
	exce_class e;
	EXPECT_STREQ(e.file, "no exception");
	EXPECT_EQ(e.line, 0);
	EXPECT_EQ(e.severity, 2);

	// Before the layer starts every thread counts as the main thread.
	ASSERT_FALSE(THREAD_is_inited());
	std::thread([] {
		exce_class("r1", "r2", "r3", "r4", "src/rep", 9, 1).Report();
		// Only warnings and fatal records travel, before the layer starts too.
		THREAD_send_exception(exce_class("kind 0", "", "", "", "src/rep", 10, 0));
		THREAD_send_exception(exce_class("kind 3", "", "", "", "src/rep", 11, 3));
	}).join();
	auto a = cap.taken();
	ASSERT_EQ(a.size(), 1u);
	expect_alert(a[0], "r1", "r2", alert_warning, "src/rep", 9);
	EXPECT_EQ(a[0].line3, "r3");
	EXPECT_EQ(a[0].line4, "r4");
}

TEST(ThreadRecord, LogAndContinueWritesTheRecord)
{
	log_capture log(::testing::TempDir() + "thread_record_log.txt");
	exce_class("one", "two", "three", "four", "src/log", 77, 0).LogAndContinue();
	exce_class e("a", "b", "c", "d", "src/log", 78, 1);
	exce_class copy = e;
	copy.LogAndContinue();
	EXPECT_EQ(log.text(),
	          "Logging non-fatal Exception thrown from file: src/log, line 77.\n"
	          "one\ntwo\nthree\nfour\n"
	          "Logging fatal Exception thrown from file: src/log, line 78.\n"
	          "a\nb\nc\nd\n");
}
