// Message-queue round trips and worker-pool throughput against a plain
// std::mutex + std::condition_variable queue written here as the reference.
//
// Round trip: one thread echoes every message from a request queue to a reply
// queue; the main thread sends one and waits for its echo, N times.
// Pool: N tiny tasks through a pool of T threads, fed as the owner does it
// (enqueue while a slot is free, take retired tasks back, repeat), against
// the same pattern over the reference queues.
//
// Options: --trips=N --tasks=N --threads=N --runs=N (defaults 200000 500000 4 3).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DIzivoz/Thread/UTL_thread.h"
#include "DIzivoz/Thread/UTL_worker_threads.h"

namespace {
struct ref_queue {
	std::mutex m;
	std::condition_variable cv;
	std::deque<void*> q;
	void write(void* p)
	{
		{
			std::lock_guard<std::mutex> g(m);
			q.push_back(p);
		}
		cv.notify_one();
	}
	void* read_wait()
	{
		std::unique_lock<std::mutex> g(m);
		cv.wait(g, [this] { return !q.empty(); });
		void* p = q.front();
		q.pop_front();
		return p;
	}
	void* poll()
	{
		std::lock_guard<std::mutex> g(m);
		if (q.empty()) return nullptr;
		void* p = q.front();
		q.pop_front();
		return p;
	}
};

double seconds_since(std::chrono::steady_clock::time_point t)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

void* const stop = (void*)-1;

double trips_ours(long n)
{
	UTL_message_queue *req, *rep;
	UTL_message_queue_create(&req);
	UTL_message_queue_create(&rep);
	std::thread echo([&] {
		for (;;) {
			void* m = UTL_message_queue_read(req, -1);
			UTL_message_queue_write(rep, m);
			if (m == stop) return;
		}
	});
	auto t0 = std::chrono::steady_clock::now();
	for (long i = 1; i <= n; ++i) {
		UTL_message_queue_write(req, (void*)i);
		UTL_message_queue_read(rep, -1);
	}
	double s = seconds_since(t0);
	UTL_message_queue_write(req, stop);
	UTL_message_queue_read(rep, -1);
	echo.join();
	UTL_message_queue_destroy(req);
	UTL_message_queue_destroy(rep);
	return s;
}

double trips_ref(long n)
{
	ref_queue req, rep;
	std::thread echo([&] {
		for (;;) {
			void* m = req.read_wait();
			rep.write(m);
			if (m == stop) return;
		}
	});
	auto t0 = std::chrono::steady_clock::now();
	for (long i = 1; i <= n; ++i) {
		req.write((void*)i);
		rep.read_wait();
	}
	double s = seconds_since(t0);
	req.write(stop);
	rep.read_wait();
	echo.join();
	return s;
}

struct tiny_task : UTL_work_task {
	unsigned long x = 0;
	void do_it() override
	{
		for (int i = 0; i < 64; ++i) x = x * 6364136223846793005ul + 1442695040888963407ul;
	}
	int check_error(std::string&) override { return 0; }
};

double pool_ours(long n, int threads)
{
	std::vector<tiny_task> tasks(256);
	std::vector<tiny_task*> idle;
	for (auto& t : tasks) idle.push_back(&t);
	auto t0 = std::chrono::steady_clock::now();
	{
		UTL_worker_threads pool(threads, (int)tasks.size());
		long sent = 0, back = 0;
		while (back < n) {
			while (sent < n && pool.has_free_slot() && !idle.empty()) {
				pool.enqueue_task(idle.back());
				idle.pop_back();
				++sent;
			}
			UTL_work_task* t = pool.wait_retired_tasks();
			do {
				idle.push_back((tiny_task*)t);
				++back;
			} while ((t = pool.check_retired_tasks()));
		}
	}
	return seconds_since(t0);
}

double pool_ref(long n, int threads)
{
	std::vector<tiny_task> tasks(256);
	std::vector<tiny_task*> idle;
	for (auto& t : tasks) idle.push_back(&t);
	auto t0 = std::chrono::steady_clock::now();
	ref_queue work, retired;
	std::vector<std::thread> pool;
	for (int i = 0; i < threads; ++i)
		pool.emplace_back([&] {
			while (void* p = work.read_wait()) {
				((tiny_task*)p)->do_it();
				retired.write(p);
			}
		});
	long sent = 0, back = 0;
	while (back < n) {
		while (sent < n && !idle.empty()) {
			work.write(idle.back());
			idle.pop_back();
			++sent;
		}
		void* t = retired.read_wait();
		do {
			idle.push_back((tiny_task*)t);
			++back;
		} while ((t = retired.poll()));
	}
	for (int i = 0; i < threads; ++i) work.write(nullptr);
	for (auto& t : pool) t.join();
	return seconds_since(t0);
}

long opt(int argc, char** argv, const char* name, long def)
{
	size_t len = std::strlen(name);
	for (int i = 1; i < argc; ++i)
		if (std::strncmp(argv[i], name, len) == 0 && argv[i][len] == '=') return std::atol(argv[i] + len + 1);
	return def;
}

template <class F>
double best(int runs, F f)
{
	double b = 1e30;
	for (int i = 0; i < runs; ++i) {
		double s = f();
		if (s < b) b = s;
	}
	return b;
}
}  // namespace

int main(int argc, char** argv)
{
	const long trips = opt(argc, argv, "--trips", 200000);
	const long tasks = opt(argc, argv, "--tasks", 500000);
	const int threads = (int)opt(argc, argv, "--threads", 4);
	const int runs = (int)opt(argc, argv, "--runs", 3);

	double a = best(runs, [&] { return trips_ours(trips); });
	double b = best(runs, [&] { return trips_ref(trips); });
	std::printf("queue round trips (%ld): ours %.3f s (%.2f us/trip), reference %.3f s (%.2f us/trip), ratio %.2f\n",
	            trips, a, a * 1e6 / trips, b, b * 1e6 / trips, b / a);

	a = best(runs, [&] { return pool_ours(tasks, threads); });
	b = best(runs, [&] { return pool_ref(tasks, threads); });
	std::printf("pool, %ld small tasks on %d threads: ours %.3f s (%.0f tasks/s), reference %.3f s (%.0f tasks/s), ratio %.2f\n",
	            tasks, threads, a, tasks / a, b, tasks / b, b / a);
	std::printf("(ratio = reference time / our time: above 1.0 means we are faster)\n");
	return 0;
}
