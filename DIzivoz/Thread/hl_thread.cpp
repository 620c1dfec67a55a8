#include "DIzivoz/Thread/hl_thread.h"

#include <cxxabi.h>

#include <exception>
#include <memory>
#include <string>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/Thread/hl_report.h"

namespace {
const char* const hl_thread_src = "DIzivoz/Thread/hl_thread";

pthread_t main_thread;
int threads_inited = 0;
UTL_message_queue* warn_exce = nullptr;
UTL_message_queue* quit_exce = nullptr;
UTL_message_queue* call_queue = nullptr;
THREAD_call* free_calls = nullptr;
pthread_mutex_t free_calls_lock;
unsigned int next_cookie = 0;  // wraps without overflow

void* const quit_message = (void*)-1;

// Set by the shell; none until then: threads then never share OpenGL.
thread_gl_sharing gl_sharing{};
}  // namespace

void THREAD_set_gl_sharing(const thread_gl_sharing& sharing) { gl_sharing = sharing; }

std::vector<pthread_t> worker_threads;
std::vector<pthread_t> worker_threads_join;
std::vector<pthread_t> worker_threads_id;

void THREAD_init()
{
	main_thread = UTL_get_current_thread();
	UTL_message_queue_create(&warn_exce);
	UTL_message_queue_create(&quit_exce);
	UTL_critical_section_create(&free_calls_lock);
	UTL_message_queue_create(&call_queue);
	threads_inited = 1;
}

int THREAD_is_inited() { return threads_inited; }

int THREAD_is_main_thread()
{
	return threads_inited && pthread_equal(main_thread, UTL_get_current_thread()) ? 1 : 0;
}

void THREAD_send_exception(const exce_class& e)
{
	// Only warnings and fatal records travel; anything else is dropped.
	if (e.severity != 1 && e.severity != 2) return;
	if (!threads_inited) {
		// No queues yet: every thread counts as the main thread.
		exce_class copy(e);
		copy.Report();
		return;
	}
	if (e.severity == 1) {
		UTL_message_queue_write(warn_exce, new exce_class(e));
		MACIBM_frame_wake();  // an idle window shows it now
		return;
	}
	UTL_message_queue_write(quit_exce, new exce_class(e));
	MACIBM_frame_wake();
	if (!THREAD_is_main_thread()) UTL_thread_exit(nullptr);
}

void THREAD_check_exception(int also_warnings)
{
	if (!threads_inited) return;
	// Held so that a report that unwinds still frees its record.
	while (std::unique_ptr<exce_class> e{(exce_class*)UTL_message_queue_read(quit_exce, 0)})
		e->Report();
	if (!also_warnings) return;
	while (std::unique_ptr<exce_class> e{(exce_class*)UTL_message_queue_read(warn_exce, 0)})
		e->Report();
}

// The forced-unwind object has no C++ type the checker knows; binding it is fine.
__attribute__((no_sanitize("null"))) void* THREAD_launch(void* start)
{
	thread_start_struct* rec = (thread_start_struct*)start;
	// A thread that shares OpenGL starts with its loader context current; when
	// that fails the creator sees share_gl cleared and warns.
	if (rec->share_gl && (!rec->loader || !gl_sharing.set_loader || !gl_sharing.set_loader(rec->loader)))
		rec->share_gl = 0;
	void* (*fn)(void*) = rec->fn;
	void* arg = rec->arg;
	UTL_message_queue_write(rec->start_queue, nullptr);
	rec = nullptr;  // the creator may discard the record from here on

	exce_class failure;
	bool failed = false;
	try {
		return fn(arg);
	} catch (abi::__forced_unwind&) {
		// The thread is being ended (pthread_exit): that unwind must go on.
		throw;
	} catch (exce_class& e) {
		failure = e;
		failure.MakeFatal();
		failed = true;
	} catch (std::exception& e) {
		failure = exce_class("Caught an unhandled C++ exception", e.what(), "", "", hl_thread_src,
		                     366, 2);
		failed = true;
	} catch (...) {
		failure = exce_class("Caught an unhandled unknown exception", "", "", "", hl_thread_src,
		                     368, 2);
		failed = true;
	}
	// Sent outside the handlers: sending a fatal record ends this thread.
	if (failed) THREAD_send_exception(failure);
	return nullptr;
}

void THREAD_create(void* (*fn)(void*), void* arg, pthread_t* thread, pthread_t* id, pthread_t* join,
                   int share_gl)
{
	int share = gl_sharing.available && gl_sharing.available() ? share_gl : 0;
	void* loader = nullptr;
	if (share) {
		loader = gl_sharing.make_loader();
		if (!loader) {
			share = 0;
			gl_sharing.failed();
		}
	}
	thread_start_struct rec{fn, arg, nullptr, share, loader};
	UTL_message_queue_create(&rec.start_queue);
	UTL_thread_create(THREAD_launch, &rec, thread, id, join);
	UTL_message_queue_read(rec.start_queue, -1);
	UTL_message_queue_destroy(rec.start_queue);
	if (rec.share_gl != share) gl_sharing.failed();
}

void THREAD_make_workers()
{
	int n = UTL_count_processors();
	xer << "CPU count        : " << n << "\n";
	for (int i = 0; i < n; ++i) {
		pthread_t t, id, j;
		THREAD_create(xtaskproc, nullptr, &t, &id, &j, 1);
		worker_threads.push_back(t);
		worker_threads_join.push_back(j);
		worker_threads_id.push_back(id);
	}
}

void* xtaskproc(void*)
{
	for (;;) {
		void* m = UTL_message_queue_read(call_queue, -1);
		if (m == quit_message) return nullptr;
		THREAD_call* call = (THREAD_call*)m;
		void* result = call->fn(call->arg);
		UTL_critical_section_lock(&call->lock);
		call->result = result;
		UTL_critical_section_unlock(&call->lock);
		UTL_message_queue_write(call->reply, (void*)(intptr_t)call->cookie);
	}
}

THREAD_call* THREAD_run_async(void* (*fn)(void*), void* arg)
{
	UTL_critical_section_lock(&free_calls_lock);
	next_cookie += 4;
	if (next_cookie == 0) next_cookie = 4;
	int cookie = (int)next_cookie;
	THREAD_call* call = free_calls;
	if (call) free_calls = call->next;
	UTL_critical_section_unlock(&free_calls_lock);

	if (!call) {
		call = new THREAD_call;
		call->next = nullptr;
		UTL_message_queue_create(&call->reply);
		UTL_critical_section_create(&call->lock);
	}
	call->fn = fn;
	call->arg = arg;
	call->result = nullptr;
	call->done = 0;
	call->cookie = cookie;
	UTL_message_queue_write(call_queue, call);
	return call;
}

int THREAD_is_done(THREAD_call* call, int timeout_ms)
{
	THREAD_check_exception(0);
	void* m = UTL_message_queue_read(call->reply, timeout_ms);
	THREAD_check_exception(0);
	if (!m) return 0;
	UTL_critical_section_lock(&call->lock);
	call->done = 1;
	UTL_critical_section_unlock(&call->lock);
	return 1;
}

void* THREAD_cleanup(THREAD_call* call)
{
	THREAD_check_exception(0);
	UTL_critical_section_lock(&call->lock);
	if (call->done == 0) {
		UTL_critical_section_unlock(&call->lock);
		__MACIBM_alert(0, "Thread cleanup called on not-done call.", "", "", "", alert_fatal,
		               hl_thread_src, 610);
		return nullptr;  // only reached when the alert did not end the program
	}
	void* result = call->result;
	UTL_critical_section_unlock(&call->lock);
	UTL_critical_section_lock(&free_calls_lock);
	call->next = free_calls;
	free_calls = call;
	UTL_critical_section_unlock(&free_calls_lock);
	return result;
}

void THREAD_shutdown()
{
	if (!threads_inited) return;
	size_t n = worker_threads.size();
	for (size_t i = 0; i < n; ++i) UTL_message_queue_write(call_queue, quit_message);
	for (size_t i = 0; i < n; ++i) UTL_thread_join(&worker_threads[i], &worker_threads_join[i]);
	// Joined handles are dead: a later start of the layer must not join them again.
	worker_threads.clear();
	worker_threads_join.clear();
	worker_threads_id.clear();

	UTL_critical_section_destroy(&free_calls_lock);
	UTL_message_queue_destroy(call_queue);
	call_queue = nullptr;
	while (THREAD_call* c = free_calls) {
		free_calls = c->next;
		UTL_message_queue_destroy(c->reply);
		UTL_critical_section_destroy(&c->lock);
		delete c;
	}
	UTL_message_queue_destroy(warn_exce);
	UTL_message_queue_destroy(quit_exce);
	warn_exce = quit_exce = nullptr;
	threads_inited = 0;
	xer << "Clean exit from threads.\n";
}
