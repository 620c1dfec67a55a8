#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DIzivoz/Thread/UTL_worker_threads.h"
#include "DIzivoz/Thread/hl_thread.h"
#include "tests/support/thread_capture.h"

namespace {
// A task that waits until released, then records when it finished.
class gated_task : public UTL_work_task {
public:
	explicit gated_task(int id_) : id(id_) {}
	void do_it() override
	{
		while (!release) std::this_thread::sleep_for(std::chrono::microseconds(200));
		finish_order = ++finished;
	}
	int check_error(std::string& msg) override
	{
		if (id % 2) return 0;
		msg = "even task " + std::to_string(id);
		return 5;
	}
	int id;
	std::atomic<bool> release{false};
	int finish_order = 0;
	static std::atomic<int> finished;
};
std::atomic<int> gated_task::finished{0};
}  // namespace

TEST(ThreadPool, SlotAccountingAndRetiredInFinishingOrder)
{
	gated_task::finished = 0;
	UTL_worker_threads pool(2, 8);
	std::vector<std::unique_ptr<gated_task>> tasks;
	for (int i = 0; i < 8; ++i) {
		ASSERT_EQ(pool.has_free_slot(), 1);
		tasks.emplace_back(new gated_task(i));
		pool.enqueue_task(tasks.back().get());
	}
	EXPECT_EQ(pool.has_free_slot(), 0);
	EXPECT_EQ(pool.count_total_tasks(), 8);

	// Nothing has finished yet: polling gives null and changes nothing.
	EXPECT_EQ(pool.check_retired_tasks(), nullptr);
	EXPECT_EQ(pool.count_total_tasks(), 8);

	// Tasks run two at a time in enqueue order; finish each pair back to front.
	// Each comes back when it finishes, not in the order it was enqueued.
	for (int pair = 0; pair < 8; pair += 2) {
		for (int i : {pair + 1, pair}) {
			tasks[i]->release = true;
			EXPECT_EQ(pool.wait_retired_tasks(), tasks[i].get()) << i;
			EXPECT_EQ(pool.has_free_slot(), 1);
		}
		if (pair == 0) {
			EXPECT_EQ(pool.count_total_tasks(), 6);
			std::string msg;
			EXPECT_EQ(tasks[1]->check_error(msg), 0);
			EXPECT_EQ(tasks[0]->check_error(msg), 5);
			EXPECT_EQ(msg, "even task 0");
		}
	}
	EXPECT_EQ(pool.count_total_tasks(), 0);
	EXPECT_EQ(pool.wait_retired_tasks(), nullptr);  // none left: no waiting
}

TEST(ThreadPool, DeletingPoolRunsQueuedTasksAndLeavesThemToOwner)
{
	gated_task::finished = 0;
	std::vector<std::unique_ptr<gated_task>> tasks;
	auto* pool = new UTL_worker_threads(1, 30);
	for (int i = 0; i < 4; ++i) {
		tasks.emplace_back(new gated_task(i));
		pool->enqueue_task(tasks.back().get());
	}
	std::thread releaser([&] {
		std::this_thread::sleep_for(std::chrono::milliseconds(30));
		for (auto& t : tasks) t->release = true;
	});
	delete pool;  // blocks until the queued tasks have run
	releaser.join();
	EXPECT_EQ(gated_task::finished.load(), 4);
	for (auto& t : tasks) EXPECT_GT(t->finish_order, 0);
}

namespace {
class fatal_task : public UTL_work_task {
public:
	void do_it() override
	{
		__MACIBM_alert(0, "Task failed hard.", "", "", "", alert_fatal, "src/task", 3);
		ran_after = 1;
	}
	int check_error(std::string&) override { return 0; }
	std::atomic<int> ran_after{0};
};
struct fatal_shown {};
}  // namespace

// A pool thread's fatal alert reaches the owner waiting for the task, which
// would otherwise wait forever for a task that never retires.
TEST(ThreadPool, FatalAlertOnPoolThreadReachesWaitingOwner)
{
	THREAD_init();
	{
		MACIBM_set_alert_sink([](const alert_record& r) {
			if (r.kind == alert_fatal) throw fatal_shown();
		});
		auto* pool = new UTL_worker_threads(1, 4);
		fatal_task task;
		pool->enqueue_task(&task);
		EXPECT_THROW(pool->wait_retired_tasks(), fatal_shown);
		EXPECT_EQ(task.ran_after.load(), 0);
		MACIBM_set_alert_sink(nullptr);
		delete pool;  // its only thread has ended; the join still succeeds
	}
	THREAD_shutdown();
}

// Tasks handed over in one go run on every thread, keep their slots
// counted, and come back in one go.
namespace {
class counted_task : public gated_task {
public:
	using gated_task::gated_task;
	void do_it() override
	{
		++running;
		gated_task::do_it();
	}
	static std::atomic<int> running;
};
std::atomic<int> counted_task::running{0};
}  // namespace

TEST(ThreadPool, TasksHandedOverAndTakenBackTogether)
{
	gated_task::finished = 0;
	counted_task::running = 0;
	UTL_worker_threads pool(3, 8);
	std::vector<std::unique_ptr<counted_task>> tasks;
	std::vector<UTL_work_task*> batch;
	for (int i = 0; i < 6; ++i) {
		tasks.emplace_back(new counted_task(i));
		batch.push_back(tasks.back().get());
	}
	pool.enqueue_tasks(batch);
	EXPECT_EQ(pool.count_total_tasks(), 6);
	EXPECT_EQ(pool.free_slots(), 2);
	std::vector<UTL_work_task*> back;
	EXPECT_EQ(pool.check_retired_tasks(back), 0u);
	EXPECT_TRUE(back.empty());

	// Every thread took one while none may finish.
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	while (counted_task::running < 3 && std::chrono::steady_clock::now() < until)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_EQ(counted_task::running, 3);

	for (auto& t : tasks) t->release = true;
	while (back.size() < 6 && std::chrono::steady_clock::now() < until) {
		pool.check_retired_tasks(back);
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	ASSERT_EQ(back.size(), 6u);
	std::vector<int> order(7, 0);
	for (UTL_work_task* t : back) order[static_cast<counted_task*>(t)->finish_order]++;
	for (int k = 1; k <= 6; ++k) EXPECT_EQ(order[k], 1) << k;
	EXPECT_EQ(pool.count_total_tasks(), 0);
	EXPECT_EQ(pool.free_slots(), 8);
	EXPECT_EQ(pool.wait_retired_tasks(), nullptr);
}
