#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "DIzivoz/Thread/UTL_thread.h"
#include "tests/support/thread_capture.h"

namespace {
using clk = std::chrono::steady_clock;

long ms_since(clk::time_point t)
{
	return (long)std::chrono::duration_cast<std::chrono::milliseconds>(clk::now() - t).count();
}

struct queue_holder {
	UTL_message_queue* q = nullptr;
	queue_holder() { UTL_message_queue_create(&q); }
	~queue_holder() { UTL_message_queue_destroy(q); }
};
}  // namespace

TEST(ThreadQueue, ReadTimeouts)
{
	queue_holder h;
	auto t0 = clk::now();
	EXPECT_EQ(UTL_message_queue_read(h.q, 0), nullptr);
	EXPECT_LT(ms_since(t0), 20);

	t0 = clk::now();
	EXPECT_EQ(UTL_message_queue_read(h.q, 50), nullptr);
	EXPECT_GE(ms_since(t0), 50);

	// A timed read that finds a message returns it at once.
	int x = 0;
	UTL_message_queue_write(h.q, &x);
	t0 = clk::now();
	EXPECT_EQ(UTL_message_queue_read(h.q, 5000), &x);
	EXPECT_LT(ms_since(t0), 1000);
}

// Short timed reads over more than a second: one deadline at least falls
// across a whole second and must still come after a few milliseconds.
TEST(ThreadQueue, ShortWaitsAcrossASecondBoundary)
{
	queue_holder h;
	auto start = clk::now();
	long longest = 0;
	while (ms_since(start) < 1020) {
		auto t0 = clk::now();
		EXPECT_EQ(UTL_message_queue_read(h.q, 5), nullptr);
		long took = ms_since(t0);
		EXPECT_GE(took, 5);
		if (took > longest) longest = took;
	}
	EXPECT_LT(longest, 500);
}

TEST(ThreadQueue, BlockingReaderWakesForMessageIncludingNull)
{
	queue_holder h;
	std::atomic<int> got{0};
	void* seen = (void*)1;
	std::thread reader([&] {
		seen = UTL_message_queue_read(h.q, -1);
		got = 1;
	});
	std::this_thread::sleep_for(std::chrono::milliseconds(30));
	EXPECT_EQ(got.load(), 0);
	UTL_message_queue_write(h.q, nullptr);
	reader.join();
	EXPECT_EQ(got.load(), 1);
	EXPECT_EQ(seen, nullptr);
}

TEST(ThreadQueue, CompetingReadersGetEachMessageOnceInOrder)
{
	queue_holder h;
	const int readers = 4, per_writer = 2000, writers = 2;
	const uintptr_t stop = 0xffffffff;
	std::vector<std::vector<uintptr_t>> seen(readers);
	std::vector<std::thread> threads;
	for (int r = 0; r < readers; ++r)
		threads.emplace_back([&, r] {
			for (;;) {
				uintptr_t m = (uintptr_t)UTL_message_queue_read(h.q, r % 2 ? -1 : 7);
				if (m == stop) return;
				if (m) seen[r].push_back(m);
			}
		});
	std::vector<std::thread> wr;
	for (int w = 0; w < writers; ++w)
		wr.emplace_back([&, w] {
			for (int i = 1; i <= per_writer; ++i)
				UTL_message_queue_write(h.q, (void*)(uintptr_t)((w << 20) | i));
		});
	for (auto& t : wr) t.join();
	for (int r = 0; r < readers; ++r) UTL_message_queue_write(h.q, (void*)stop);
	for (auto& t : threads) t.join();

	std::vector<int> count(writers << 20 | (per_writer + 1), 0);
	for (auto& v : seen) {
		// Each reader sees every writer's messages in the order written.
		std::vector<int> last(writers, 0);
		for (uintptr_t m : v) {
			int w = (int)(m >> 20), i = (int)(m & 0xfffff);
			EXPECT_GT(i, last[w]);
			last[w] = i;
			++count[m];
		}
	}
	for (int w = 0; w < writers; ++w)
		for (int i = 1; i <= per_writer; ++i) ASSERT_EQ(count[(w << 20) | i], 1) << w << " " << i;
}

TEST(ThreadQueue, SingleReaderGetsFifoOrder)
{
	queue_holder h;
	int a, b, c;
	UTL_message_queue_write(h.q, &a);
	UTL_message_queue_write(h.q, &b);
	UTL_message_queue_write(h.q, &c);
	EXPECT_EQ(UTL_message_queue_read(h.q, 0), &a);
	EXPECT_EQ(UTL_message_queue_read(h.q, -1), &b);
	EXPECT_EQ(UTL_message_queue_read(h.q, 10), &c);
	EXPECT_EQ(UTL_message_queue_read(h.q, 0), nullptr);
}

TEST(ThreadCriticalSection, RecursiveLockNeedsAsManyUnlocks)
{
	pthread_mutex_t cs;
	UTL_critical_section_create(&cs);
	UTL_critical_section_lock(&cs);
	UTL_critical_section_lock(&cs);

	auto try_from_other = [&cs] {
		int r = -1;
		std::thread t([&] {
			r = pthread_mutex_trylock(&cs);
			if (r == 0) pthread_mutex_unlock(&cs);
		});
		t.join();
		return r;
	};
	EXPECT_NE(try_from_other(), 0);
	UTL_critical_section_unlock(&cs);
	EXPECT_NE(try_from_other(), 0);
	UTL_critical_section_unlock(&cs);
	EXPECT_EQ(try_from_other(), 0);
	UTL_critical_section_destroy(&cs);
}

// Failing platform calls are fatal alerts naming the call and its error code.
TEST(ThreadCriticalSection, PlatformFailuresRaiseFatalAlerts)
{
#ifdef __SANITIZE_THREAD__
	GTEST_SKIP() << "the misuse that makes the calls fail is what the race checker reports";
#endif
	alert_capture cap;
	pthread_mutex_t cs;
	UTL_critical_section_create(&cs);
	UTL_critical_section_unlock(&cs);  // not held: EPERM
	UTL_critical_section_lock(&cs);
	UTL_critical_section_destroy(&cs);  // held: EBUSY
	UTL_critical_section_unlock(&cs);
	UTL_critical_section_destroy(&cs);

	auto a = cap.taken();
	ASSERT_EQ(a.size(), 2u);
	struct {
		const char* line1;
		const char* line2;
		int line;
	} want[] = {{"\"pthread_mutex_unlock\" OS error", "err=1.000000", 224},
	            {"\"::pthread_mutex_destroy\" OS error", "err=16.000000", 198}};
	for (size_t i = 0; i < 2; ++i) {
		EXPECT_EQ(a[i].line1, want[i].line1);
		EXPECT_EQ(a[i].line2, want[i].line2);
		EXPECT_EQ(a[i].line3, "");
		EXPECT_EQ(a[i].line4, "");
		EXPECT_EQ(a[i].kind, alert_fatal);
		EXPECT_EQ(a[i].source_file, "DIzivoz/UTL/UTL_thread");
		EXPECT_EQ(a[i].source_line, want[i].line);
		EXPECT_EQ(a[i].return_window, 0);
	}
}

TEST(ThreadLower, ProcessorCountAndSleep)
{
	EXPECT_GE(UTL_count_processors(), 1);
	auto t0 = clk::now();
	UTL_sleep(-5);
	UTL_sleep(0);
	EXPECT_LT(ms_since(t0), 5);
	UTL_sleep(20);
	EXPECT_GE(ms_since(t0), 20);
}

TEST(ThreadLower, JoinReturnsExitValueAndFailedJoinOnlyLogs)
{
	log_capture log(::testing::TempDir() + "thread_join_log.txt");
	pthread_t t, id, j;
	static int token;
	UTL_thread_create([](void*) -> void* { UTL_thread_exit(&token); }, nullptr, &t, &id, &j);
	EXPECT_TRUE(pthread_equal(t, id) && pthread_equal(t, j));
	EXPECT_EQ(UTL_thread_join(&t, &j), &token);

	pthread_t self = pthread_self();
	EXPECT_EQ(UTL_thread_join(&self, &self), nullptr);  // joining oneself: EDEADLK
	EXPECT_NE(log.text().find("Warning: wait on thread cleanup failed with error 35\n"),
	          std::string::npos)
	    << log.text();
}
