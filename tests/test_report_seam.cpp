// The report seam: any layer raises, the report hands over to the main
// thread, the registered presenter shows; frame requests reach the loop.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/Thread/hl_thread.h"

namespace {
struct shown {
	alert_record alert;
	bool on_main;
};
std::mutex shown_lock;
std::vector<shown> presented;

void test_presenter(const alert_record& a)
{
	std::lock_guard<std::mutex> g(shown_lock);
	presented.push_back({a, THREAD_is_main_thread() != 0});
}

std::vector<shown> taken()
{
	std::lock_guard<std::mutex> g(shown_lock);
	return presented;
}

std::atomic<int> busy{0}, animate{0}, wake{0};

class ReportSeam : public ::testing::Test {
protected:
	void SetUp() override
	{
		saved_presenter = REPORT_presenter();
		saved_frames = REPORT_frame_requests();
		presented.clear();
		busy = animate = wake = 0;
		THREAD_init();
	}
	void TearDown() override
	{
		if (THREAD_is_inited()) THREAD_shutdown();
		REPORT_set_presenter(saved_presenter);
		REPORT_set_frame_requests(saved_frames);
	}
	alert_presenter saved_presenter = nullptr;
	frame_requests saved_frames{};
};
}  // namespace

TEST_F(ReportSeam, TheShellRegistersItsPresenterAndFrameLoopBeforeMain)
{
	// Linking the shell is enough: nothing in this test started it.
	EXPECT_NE(saved_presenter, nullptr);
	EXPECT_NE(saved_frames.busy, nullptr);
	EXPECT_NE(saved_frames.animate, nullptr);
	EXPECT_NE(saved_frames.wake, nullptr);
	EXPECT_NE(saved_frames.run_frame, nullptr);
	EXPECT_NE(saved_frames.open_window, nullptr);
	EXPECT_NE(saved_frames.progress, nullptr);
}

TEST_F(ReportSeam, WorkerAlertReachesThePresenterOnceOnTheMainThreadAndWakesTheLoop)
{
	REPORT_set_presenter(test_presenter);
	frame_requests f = saved_frames;
	f.wake = [] { ++wake; };
	REPORT_set_frame_requests(f);

	std::thread worker([] {
		__MACIBM_alert(3, "From a worker", "b", "c", "d", alert_warning, "DIzivoz/Files/somewhere", 42);
	});
	worker.join();
	EXPECT_TRUE(taken().empty()) << "nothing is shown off the main thread";
	EXPECT_EQ(wake.load(), 1) << "an idle window is woken to show it";

	THREAD_check_exception(1);
	THREAD_check_exception(1);  // taken once: a second look finds nothing
	const auto got = taken();
	ASSERT_EQ(got.size(), 1u);
	EXPECT_TRUE(got[0].on_main);
	EXPECT_EQ(got[0].alert.line1, "From a worker");
	EXPECT_EQ(got[0].alert.line4, "d");
	EXPECT_EQ(got[0].alert.kind, alert_warning);
	EXPECT_EQ(got[0].alert.source_file, "DIzivoz/Files/somewhere");
	EXPECT_EQ(got[0].alert.source_line, 42);

	// On the main thread the presenter is called at once.
	__MACIBM_alert(0, "Here", "", "", "", alert_warning, "x", 1);
	ASSERT_EQ(taken().size(), 2u);
	EXPECT_EQ(taken()[1].alert.line1, "Here");
}

TEST_F(ReportSeam, ASinkStandsInFrontOfThePresenterUntilRemoved)
{
	REPORT_set_presenter(test_presenter);
	std::vector<std::string> sunk;
	MACIBM_set_alert_sink([&](const alert_record& a) { sunk.push_back(a.line1); });
	__MACIBM_alert(0, "to the sink", "", "", "", alert_fatal, "x", 1);
	MACIBM_set_alert_sink({});
	__MACIBM_alert(0, "to the presenter", "", "", "", alert_warning, "x", 2);
	EXPECT_EQ(sunk, std::vector<std::string>{"to the sink"});
	ASSERT_EQ(taken().size(), 1u);
	EXPECT_EQ(taken()[0].alert.line1, "to the presenter");
}

TEST_F(ReportSeam, FrameRequestsFromAnyLayerReachTheFrameLoop)
{
	frame_requests f{};
	f.busy = [] { ++busy; };
	f.animate = [] { ++animate; };
	f.wake = [] { ++wake; };
	REPORT_set_frame_requests(f);
	MACIBM_frame_busy();
	MACIBM_frame_animate();
	MACIBM_frame_animate();
	std::thread([] { MACIBM_frame_wake(); }).join();
	EXPECT_EQ(busy.load(), 1);
	EXPECT_EQ(animate.load(), 2);
	EXPECT_EQ(wake.load(), 1);

	// Requests the loop has not registered are dropped, never a crash.
	REPORT_set_frame_requests(frame_requests{});
	MACIBM_frame_busy();
	MACIBM_frame_wake();
	REPORT_run_frame();
	REPORT_open_window(0);
	REPORT_progress("nothing to show it", nullptr);
	EXPECT_EQ(busy.load(), 1);
}

TEST(ReportSeamDeathTest, WithoutAPresenterAFatalAlertIsPrintedAndEndsTheProcess)
{
	EXPECT_EXIT(
	    {
		    REPORT_set_presenter(nullptr);
		    __MACIBM_alert(0, "No shell here", "second", "", "", alert_fatal, "DIzivoz/TEX/TEX_png", 7);
	    },
	    ::testing::ExitedWithCode(1), "No shell here second.*DIzivoz/TEX/TEX_png line 7");
}
