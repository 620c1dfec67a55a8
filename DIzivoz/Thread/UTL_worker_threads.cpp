#include "DIzivoz/Thread/UTL_worker_threads.h"

#include "DIzivoz/Thread/hl_thread.h"

namespace {
// How long the owner waits for a finished task before it looks for fatal
// records: a pool thread that raised one has ended and may never retire.
const int retired_wait_slice_ms = 20;
}

UTL_worker_threads::UTL_worker_threads(int thread_count, int max_tasks_)
    : work(nullptr), retired(nullptr), max_tasks(max_tasks_), total_tasks(0)
{
	if (thread_count < 1) thread_count = 1;
	UTL_message_queue_create(&work);
	UTL_message_queue_create(&retired);
	threads.resize(thread_count);
	joins.resize(thread_count);
	ids.resize(thread_count);
	for (int i = 0; i < thread_count; ++i)
		UTL_thread_create(thread_func, this, &threads[i], &ids[i], &joins[i]);
}

UTL_worker_threads::~UTL_worker_threads() noexcept(false)
{
	for (size_t i = 0; i < threads.size(); ++i) UTL_message_queue_write(work, nullptr);
	for (size_t i = 0; i < threads.size(); ++i) UTL_thread_join(&threads[i], &joins[i]);
	UTL_message_queue_destroy(work);
	UTL_message_queue_destroy(retired);
}

void UTL_worker_threads::enqueue_task(UTL_work_task* task)
{
	++total_tasks;
	UTL_message_queue_write(work, task);
}

void UTL_worker_threads::enqueue_tasks(const std::vector<UTL_work_task*>& tasks)
{
	total_tasks += (int)tasks.size();
	std::vector<void*> messages(tasks.begin(), tasks.end());
	UTL_message_queue_write_all(work, messages.data(), messages.size());
}

int UTL_worker_threads::has_free_slot() { return total_tasks < max_tasks ? 1 : 0; }

int UTL_worker_threads::free_slots() { return total_tasks < max_tasks ? max_tasks - total_tasks : 0; }

size_t UTL_worker_threads::check_retired_tasks(std::vector<UTL_work_task*>& out)
{
	std::vector<void*> got;
	const size_t n = UTL_message_queue_read_all(retired, got);
	for (void* t : got) out.push_back((UTL_work_task*)t);
	total_tasks -= (int)n;
	return n;
}

UTL_work_task* UTL_worker_threads::check_retired_tasks()
{
	UTL_work_task* t = (UTL_work_task*)UTL_message_queue_read(retired, 0);
	if (t) --total_tasks;
	return t;
}

UTL_work_task* UTL_worker_threads::wait_retired_tasks()
{
	if (total_tasks <= 0) return nullptr;
	for (;;) {
		UTL_work_task* t = (UTL_work_task*)UTL_message_queue_read(retired, retired_wait_slice_ms);
		if (t) {
			--total_tasks;
			return t;
		}
		THREAD_check_exception(0);
	}
}

int UTL_worker_threads::count_total_tasks() { return total_tasks; }

void* UTL_worker_threads::thread_func(void* p)
{
	UTL_worker_threads* pool = (UTL_worker_threads*)p;
	for (;;) {
		UTL_work_task* t = (UTL_work_task*)UTL_message_queue_read(pool->work, -1);
		if (!t) return nullptr;
		t->do_it();
		UTL_message_queue_write(pool->retired, t);
	}
}
