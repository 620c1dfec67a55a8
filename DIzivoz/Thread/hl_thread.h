#pragma once
// Upper thread layer: the main thread, the two error queues, threads started
// with a handshake, and the general worker threads that run asynchronous calls.
#include <pthread.h>

#include <vector>

#include "DIzivoz/Thread/UTL_thread.h"
#include "DIzivoz/UTL/UTL_exce.h"

struct THREAD_call {
	THREAD_call* next;
	UTL_message_queue* reply;
	pthread_mutex_t lock;  // guards result and done
	void* (*fn)(void*);
	void* arg;
	void* result;
	int done;
	int cookie;            // never 0
};

struct thread_start_struct {
	void* (*fn)(void*);
	void* arg;
	UTL_message_queue* start_queue;
	int share_gl;
	void* loader;
};

// How a thread started with share_gl gets an OpenGL context sharing the
// window's: the shell registers it (the thread layer knows no OpenGL).
struct thread_gl_sharing {
	bool (*available)();           // threaded OpenGL may be tried
	void* (*make_loader)();        // a context for the new thread, or null
	int (*set_loader)(void* ctx);  // makes it current on the calling thread; 1 on success
	void (*failed)();              // sharing could not be had
};
void THREAD_set_gl_sharing(const thread_gl_sharing& sharing);

void THREAD_init();
int THREAD_is_inited();
int THREAD_is_main_thread();
void THREAD_create(void* (*fn)(void*), void* arg, pthread_t* thread, pthread_t* id, pthread_t* join,
                   int share_gl);
void THREAD_make_workers();
void THREAD_shutdown();

THREAD_call* THREAD_run_async(void* (*fn)(void*), void* arg);
int THREAD_is_done(THREAD_call* call, int timeout_ms);
void* THREAD_cleanup(THREAD_call* call);
void* xtaskproc(void*);

// Hands a record to the main thread. A fatal record sent from another thread
// ends that thread: nothing after the call runs there.
void THREAD_send_exception(const exce_class& e);
// Main thread: shows queued fatal records, then (also_warnings) warnings.
void THREAD_check_exception(int also_warnings);
// Entry routine of every thread THREAD_create starts; start is the creator's start record.
void* THREAD_launch(void* start);

// Handles of the general workers, in creation order.
extern std::vector<pthread_t> worker_threads;
extern std::vector<pthread_t> worker_threads_join;
extern std::vector<pthread_t> worker_threads_id;
