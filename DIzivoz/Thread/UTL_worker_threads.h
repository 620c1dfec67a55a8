#pragma once
// Fixed pool of threads with a work queue and a retired queue. The owner (the
// main thread) creates tasks, enqueues them while there is a free slot, takes
// finished tasks back and deletes them.
#include <pthread.h>

#include <string>
#include <vector>

#include "DIzivoz/Thread/UTL_thread.h"

class UTL_work_task {
public:
	virtual ~UTL_work_task() {}
	virtual void do_it() = 0;                           // runs on a pool thread
	virtual int check_error(std::string& msg) = 0;      // read by the owner: 0 success
};

class UTL_worker_threads {
public:
	UTL_worker_threads(int thread_count, int max_tasks);
	// Runs every task still queued, then joins the threads. Tasks are not deleted.
	~UTL_worker_threads() noexcept(false);

	void enqueue_task(UTL_work_task* task);
	// Several tasks in one hand-off (the owner checked there is room for them).
	void enqueue_tasks(const std::vector<UTL_work_task*>& tasks);
	int has_free_slot();
	int free_slots();
	UTL_work_task* check_retired_tasks();
	// Every finished task there is, in one hand-off, appended to out; how many.
	size_t check_retired_tasks(std::vector<UTL_work_task*>& out);
	// Waits for the next finished task; null at once when none is in the pool.
	UTL_work_task* wait_retired_tasks();
	int count_total_tasks();

	static void* thread_func(void* pool);

private:
	UTL_worker_threads(const UTL_worker_threads&) = delete;
	UTL_worker_threads& operator=(const UTL_worker_threads&) = delete;

	UTL_message_queue* work;
	UTL_message_queue* retired;
	int max_tasks;
	int total_tasks;
	std::vector<pthread_t> threads;
	std::vector<pthread_t> joins;
	std::vector<pthread_t> ids;
};
