#include "DIzivoz/Thread/UTL_thread.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_globals.h"

namespace {
const char* const thread_src = "DIzivoz/UTL/UTL_thread";

// A failed platform call is fatal. The caller releases any queue mutex it
// holds before calling this, so a record sent from here can never deadlock.
void os_error(const char* call, int err, int line)
{
	char buf[64];
	std::snprintf(buf, sizeof(buf), "err=%f", (double)err);
	__MACIBM_alert(0, std::string("\"") + call + "\" OS error", buf, "", "", alert_fatal,
	               thread_src, line);
}

inline void check(int err, const char* call, int line)
{
	if (err != 0) os_error(call, err, line);
}
}  // namespace

pthread_t UTL_get_current_thread() { return pthread_self(); }

int UTL_count_processors()
{
	long n = sysconf(_SC_NPROCESSORS_ONLN);
	return n < 1 ? 1 : (int)n;
}

void UTL_thread_create(void* (*fn)(void*), void* arg, pthread_t* thread, pthread_t* id,
                       pthread_t* join)
{
	check(pthread_create(thread, nullptr, fn, arg), "pthread_create", 112);
	*id = *thread;
	*join = *thread;
}

void* UTL_thread_join(pthread_t* thread, pthread_t* /*join*/)
{
	void* value = nullptr;
	int err = pthread_join(*thread, &value);
	if (err != 0) {
		xer << "Warning: wait on thread cleanup failed with error " << err << "\n";
		return nullptr;
	}
	return value;
}

void UTL_thread_exit(void* value) { pthread_exit(value); }

int UTL_thread_murder(pthread_t* thread) { return pthread_cancel(*thread); }

void UTL_sleep(int ms)
{
	if (ms <= 0) return;
	usleep((useconds_t)ms * 1000);
}

void UTL_critical_section_create(pthread_mutex_t* cs)
{
	pthread_mutexattr_t attr;
	check(pthread_mutexattr_init(&attr), "::pthread_mutexattr_init", 179);
	check(pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE), "::pthread_mutexattr_settype",
	      181);
	check(pthread_mutex_init(cs, &attr), "::pthread_mutex_init", 183);
	check(pthread_mutexattr_destroy(&attr), "::pthread_mutexattr_destroy", 185);
}

void UTL_critical_section_destroy(pthread_mutex_t* cs)
{
	check(pthread_mutex_destroy(cs), "::pthread_mutex_destroy", 198);
}

void UTL_critical_section_lock(pthread_mutex_t* cs)
{
	check(pthread_mutex_lock(cs), "pthread_mutex_lock", 211);
}

void UTL_critical_section_unlock(pthread_mutex_t* cs)
{
	check(pthread_mutex_unlock(cs), "pthread_mutex_unlock", 224);
}

void UTL_message_queue_create(UTL_message_queue** out)
{
	UTL_message_queue* q = new UTL_message_queue;
	*out = q;
	check(pthread_mutex_init(&q->mutex, nullptr), "::pthread_mutex_init", 268);
	// Deadlines follow the monotonic clock so that a change of the wall clock
	// cannot stretch or cut a timed read.
	pthread_condattr_t attr;
	int err = pthread_condattr_init(&attr);
	if (err == 0) err = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
	if (err == 0) err = pthread_cond_init(&q->cond, &attr);
	pthread_condattr_destroy(&attr);
	check(err, "::pthread_cond_init", 271);
}

void UTL_message_queue_destroy(UTL_message_queue* q)
{
	if (!q) return;
	check(pthread_mutex_destroy(&q->mutex), "::pthread_mutex_destroy", 287);
	check(pthread_cond_destroy(&q->cond), "::pthread_cond_desroy", 290);
	delete q;
}

void UTL_message_queue_write(UTL_message_queue* q, void* message)
{
	check(pthread_mutex_lock(&q->mutex), "pthread_mutex_lock", 319);
	if (q->waiters > 0) {
		int err = pthread_cond_signal(&q->cond);
		if (err != 0) {
			pthread_mutex_unlock(&q->mutex);
			os_error("pthread_cond_signal", err, 324);
			check(pthread_mutex_lock(&q->mutex), "pthread_mutex_lock", 319);
		}
	}
	q->messages.push_back(message);
	check(pthread_mutex_unlock(&q->mutex), "pthread_mutex_unlock", 330);
}

void UTL_message_queue_write_all(UTL_message_queue* q, void* const* messages, size_t count)
{
	if (count == 0) return;
	check(pthread_mutex_lock(&q->mutex), "pthread_mutex_lock", 319);
	if (q->waiters > 0) {
		int err = count > 1 ? pthread_cond_broadcast(&q->cond) : pthread_cond_signal(&q->cond);
		if (err != 0) {
			pthread_mutex_unlock(&q->mutex);
			os_error("pthread_cond_signal", err, 324);
			check(pthread_mutex_lock(&q->mutex), "pthread_mutex_lock", 319);
		}
	}
	q->messages.insert(q->messages.end(), messages, messages + count);
	check(pthread_mutex_unlock(&q->mutex), "pthread_mutex_unlock", 330);
}

size_t UTL_message_queue_read_all(UTL_message_queue* q, std::vector<void*>& out)
{
	check(pthread_mutex_lock(&q->mutex), "pthread_mutex_lock", 381);
	const size_t n = q->messages.size();
	out.insert(out.end(), q->messages.begin(), q->messages.end());
	q->messages.clear();
	check(pthread_mutex_unlock(&q->mutex), "pthread_mutex_unlock", 412);
	return n;
}

void* UTL_message_queue_read(UTL_message_queue* q, int timeout_ms)
{
	timespec deadline{};
	if (timeout_ms != -1 && timeout_ms != 0) {
		clock_gettime(CLOCK_MONOTONIC, &deadline);
		deadline.tv_sec += timeout_ms / 1000;
		deadline.tv_nsec += (long)(timeout_ms % 1000) * 1000000L;
		if (deadline.tv_nsec > 999999999L) {
			deadline.tv_nsec -= 1000000000L;
			deadline.tv_sec += 1;
		} else if (deadline.tv_nsec < 0) {
			// A negative wait is a deadline already past, not an invalid one.
			deadline.tv_nsec += 1000000000L;
			deadline.tv_sec -= 1;
		}
	}

	check(pthread_mutex_lock(&q->mutex), "pthread_mutex_lock", 381);
	if (timeout_ms == 0 && q->messages.empty()) {
		check(pthread_mutex_unlock(&q->mutex), "pthread_mutex_unlock", 386);
		return nullptr;
	}
	++q->waiters;
	for (;;) {
		if (!q->messages.empty()) {
			--q->waiters;
			void* m = q->messages.front();
			q->messages.pop_front();
			check(pthread_mutex_unlock(&q->mutex), "pthread_mutex_unlock", 412);
			return m;
		}
		int err = timeout_ms == -1 ? pthread_cond_wait(&q->cond, &q->mutex)
		                           : pthread_cond_timedwait(&q->cond, &q->mutex, &deadline);
		if (err == ETIMEDOUT) {
			// A message may have come with the time-out.
			if (!q->messages.empty()) continue;
			--q->waiters;
			check(pthread_mutex_unlock(&q->mutex), "pthread_mutex_unlock", 401);
			return nullptr;
		}
		if (err != 0) {
			--q->waiters;
			pthread_mutex_unlock(&q->mutex);
			os_error("pthread_cond_timedwait", err, 404);
			check(pthread_mutex_lock(&q->mutex), "pthread_mutex_lock", 381);
			++q->waiters;
		}
	}
}
