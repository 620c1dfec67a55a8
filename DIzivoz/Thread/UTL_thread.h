#pragma once
// Lower thread layer over POSIX threads: threads, processor count, recursive
// critical sections and the blocking message queue every hand-over uses.
#include <pthread.h>

#include <list>
#include <vector>

struct UTL_message_queue {
	pthread_mutex_t mutex;
	pthread_cond_t cond;          // deadlines are measured on the monotonic clock
	std::list<void*> messages;    // oldest first
	int waiters = 0;
};

pthread_t UTL_get_current_thread();
int UTL_count_processors();
void UTL_thread_create(void* (*fn)(void*), void* arg, pthread_t* thread, pthread_t* id,
                       pthread_t* join);
void* UTL_thread_join(pthread_t* thread, pthread_t* join);
[[noreturn]] void UTL_thread_exit(void* value);
int UTL_thread_murder(pthread_t* thread);
void UTL_sleep(int ms);

void UTL_critical_section_create(pthread_mutex_t* cs);
void UTL_critical_section_destroy(pthread_mutex_t* cs);
void UTL_critical_section_lock(pthread_mutex_t* cs);
void UTL_critical_section_unlock(pthread_mutex_t* cs);

void UTL_message_queue_create(UTL_message_queue** out);
void UTL_message_queue_destroy(UTL_message_queue* q);
void UTL_message_queue_write(UTL_message_queue* q, void* message);
// timeout_ms: -1 waits without limit, 0 polls, otherwise waits at most that long.
// Returns the oldest message, or null on time-out.
void* UTL_message_queue_read(UTL_message_queue* q, int timeout_ms);
// Several messages in one go, in order: one lock, and every waiter woken.
void UTL_message_queue_write_all(UTL_message_queue* q, void* const* messages, size_t count);
// Takes every message there is, oldest first, without waiting; how many.
size_t UTL_message_queue_read_all(UTL_message_queue* q, std::vector<void*>& out);
