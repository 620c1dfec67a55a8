// Failing platform calls of the lower thread layer. The test program puts its
// own versions of a few POSIX calls in front of the C library's; each fails
// once, on the thread that asked for it, and otherwise passes straight through.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <chrono>
#include <string>
#include <thread>

#include "DIzivoz/Thread/UTL_thread.h"
#include "tests/support/thread_capture.h"

namespace {
thread_local int fail_mutex_init = 0;
thread_local int fail_cond_init = 0;
thread_local int fail_cond_signal = 0;
thread_local int fail_cond_wait = 0;

int take(int& flag)
{
	int e = flag;
	flag = 0;
	return e;
}

template <typename F>
F next_symbol(const char* name, const char* version)
{
	void* p = version ? dlvsym(RTLD_NEXT, name, version) : nullptr;
	if (!p) p = dlsym(RTLD_NEXT, name);
	return (F)p;
}
}  // namespace

extern "C" {
int pthread_mutex_init(pthread_mutex_t* m, const pthread_mutexattr_t* a)
{
	static auto real = next_symbol<int (*)(pthread_mutex_t*, const pthread_mutexattr_t*)>(
	    "pthread_mutex_init", nullptr);
	if (int e = take(fail_mutex_init)) return e;
	return real(m, a);
}
int pthread_cond_init(pthread_cond_t* c, const pthread_condattr_t* a)
{
	static auto real = next_symbol<int (*)(pthread_cond_t*, const pthread_condattr_t*)>(
	    "pthread_cond_init", "GLIBC_2.3.2");
	if (int e = take(fail_cond_init)) return e;
	return real(c, a);
}
int pthread_cond_signal(pthread_cond_t* c)
{
	static auto real = next_symbol<int (*)(pthread_cond_t*)>("pthread_cond_signal", "GLIBC_2.3.2");
	if (int e = take(fail_cond_signal)) return e;
	return real(c);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m)
{
	static auto real = next_symbol<int (*)(pthread_cond_t*, pthread_mutex_t*)>("pthread_cond_wait",
	                                                                           "GLIBC_2.3.2");
	if (int e = take(fail_cond_wait)) return e;
	return real(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t)
{
	static auto real = next_symbol<int (*)(pthread_cond_t*, pthread_mutex_t*, const timespec*)>(
	    "pthread_cond_timedwait", "GLIBC_2.3.2");
	if (int e = take(fail_cond_wait)) return e;
	return real(c, m, t);
}
}

namespace {
void expect_os_alert(const alert_record& a, const std::string& call, const char* err, int line)
{
	EXPECT_EQ(a.line1, "\"" + call + "\" OS error");
	EXPECT_EQ(a.line2, err);
	EXPECT_EQ(a.line3, "");
	EXPECT_EQ(a.line4, "");
	EXPECT_EQ(a.kind, alert_fatal);
	EXPECT_EQ(a.source_file, "DIzivoz/UTL/UTL_thread");
	EXPECT_EQ(a.source_line, line);
	EXPECT_EQ(a.return_window, 0);
}
}  // namespace

TEST(ThreadOsError, FailedInitialisationNamesTheCallAndItsCode)
{
	enum { queue, section };
	struct {
		int what;
		int* flag;
		int err;
		const char* call;
		const char* line2;
		int line;
	} cases[] = {
	    {queue, &fail_mutex_init, 22, "::pthread_mutex_init", "err=22.000000", 268},
	    {queue, &fail_cond_init, 12, "::pthread_cond_init", "err=12.000000", 271},
	    {section, &fail_mutex_init, 11, "::pthread_mutex_init", "err=11.000000", 183},
	};
	for (auto& c : cases) {
		alert_capture cap;
		*c.flag = c.err;
		if (c.what == queue) {
			UTL_message_queue* q = nullptr;
			UTL_message_queue_create(&q);
			EXPECT_NE(q, nullptr);
			delete q;  // half made: its platform objects are not torn down
		} else {
			pthread_mutex_t cs;
			UTL_critical_section_create(&cs);
		}
		auto a = cap.taken();
		ASSERT_EQ(a.size(), 1u) << c.call;
		expect_os_alert(a[0], c.call, c.line2, c.line);
	}
}

// A fatal alert raised inside a queue call finds the queue's mutex free, so a
// record sent from there cannot deadlock; the call then carries on.
TEST(ThreadOsError, QueueMutexIsFreeWhileTheAlertRuns)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	int mutex_free = -1;
	alert_record last{};
	MACIBM_set_alert_sink([&](const alert_record& r) {
		mutex_free = pthread_mutex_trylock(&q->mutex) == 0;
		if (mutex_free) pthread_mutex_unlock(&q->mutex);
		last = r;
	});

	// Signal fails while a reader waits: the message is still queued.
	int a = 0, b = 0;
	void* got = nullptr;
	std::thread reader([&] { got = UTL_message_queue_read(q, -1); });
	for (;;) {
		pthread_mutex_lock(&q->mutex);
		int w = q->waiters;
		pthread_mutex_unlock(&q->mutex);
		if (w) break;
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	fail_cond_signal = 22;
	UTL_message_queue_write(q, &a);
	EXPECT_EQ(mutex_free, 1);
	expect_os_alert(last, "pthread_cond_signal", "err=22.000000", 324);
	UTL_message_queue_write(q, &b);  // wakes the reader
	reader.join();
	EXPECT_EQ(got, &a);
	EXPECT_EQ(UTL_message_queue_read(q, 0), &b);

	// A failed wait, timed or not: the read goes on waiting afterwards.
	for (int timeout : {50, -1}) {
		mutex_free = -1;
		last = alert_record{};
		std::thread writer([&] {
			if (timeout != -1) return;
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
			UTL_message_queue_write(q, &a);
		});
		auto t0 = std::chrono::steady_clock::now();
		fail_cond_wait = 22;
		void* m = UTL_message_queue_read(q, timeout);
		auto took = std::chrono::steady_clock::now() - t0;
		writer.join();
		EXPECT_EQ(mutex_free, 1) << timeout;
		expect_os_alert(last, "pthread_cond_timedwait", "err=22.000000", 404);
		if (timeout == -1) {
			EXPECT_EQ(m, &a);
		} else {
			EXPECT_EQ(m, nullptr);
			EXPECT_GE(took, std::chrono::milliseconds(50));
		}
	}
	MACIBM_set_alert_sink(nullptr);
	UTL_message_queue_destroy(q);
}
