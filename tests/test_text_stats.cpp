// Named statistics and remote commands.
#include <gtest/gtest.h>

#include <vector>

#include "DIzivoz/UTL/UTL_stats.h"

namespace {

bool registered(UTL_stat* s)
{
	UTL_stat_map& all = UTL_all_stats();
	auto it = all.find(s->type);
	return it != all.end() && it->second.count(s) == 1;
}

// Constructed during static initialisation, like the library's own statistics.
UTL_stat early_count("test/early_count", stat_per_frame, 4.0f);

TEST(TextStats, StatisticsWaitForInitThenResetOnlyTheirOwnValues)
{
	ASSERT_EQ(UTL_stat_initialized(), 0);
	float external = 9.0f;
	UTL_stat own("test/own", stat_per_frame, 3.0f);
	UTL_stat bound(&external, "test/bound", stat_per_frame);
	UTL_stat memory("test/memory", stat_memory, 7.0f);

	EXPECT_EQ(own.target, &own.value);
	EXPECT_EQ(bound.target, &external);
	EXPECT_FALSE(registered(&early_count));
	EXPECT_FALSE(registered(&own));
	EXPECT_TRUE(UTL_all_stats().empty());

	// Newest first on the waiting list, which init_stats leaves in place.
	EXPECT_EQ(UTL_stat_waiting(), &memory);
	EXPECT_EQ(memory.next, &bound);
	EXPECT_EQ(bound.next, &own);

	UTL_stat::init_stats();
	EXPECT_EQ(UTL_stat_initialized(), 1);
	for (UTL_stat* s : {&early_count, &own, &bound, &memory}) EXPECT_TRUE(registered(s)) << s->name;
	EXPECT_EQ(UTL_stat_waiting(), &memory);

	UTL_stat late("test/late", stat_debug, 1.0f);
	EXPECT_TRUE(registered(&late));
	EXPECT_EQ(late.next, nullptr);

	bound.value = 5.0f;
	UTL_stat::reset_stats(stat_per_frame);
	EXPECT_EQ(own.value, 0.0f);
	EXPECT_EQ(early_count.value, 0.0f);
	EXPECT_EQ(bound.value, 0.0f);
	EXPECT_EQ(external, 9.0f) << "a float of another unit is not touched";
	EXPECT_EQ(memory.value, 7.0f);
	EXPECT_EQ(late.value, 1.0f);
	UTL_stat::reset_stats(stat_rate);  // a kind with nothing registered

	// The registry outlives these locals in the program; drop them here.
	for (UTL_stat* s : {&own, &bound, &memory, &late}) UTL_all_stats()[s->type].erase(s);
}

struct call {
	void* data;
	int id;
};
std::vector<call> g_calls;
void first_cb(void* data, int id) { g_calls.push_back({data, id}); }
void second_cb(void* data, int id) { g_calls.push_back({data, id + 1000}); }

TEST(TextStats, RemoteCommandsAreNumberedAndInvokedByNumber)
{
	UTL_remote_cmd first("Test/First", first_cb);
	UTL_remote_cmd second("Test/Second", second_cb);
	EXPECT_EQ(second.id, first.id + 1);
	EXPECT_EQ(UTL_remote_cmd::cmd_list, &second);
	EXPECT_EQ(second.next, &first);
	EXPECT_EQ(UTL_remote_cmd::free_id, second.id + 1);

	int data = 0;
	UTL_remote_cmd::invoke(&data, second.id);
	UTL_remote_cmd::invoke(&data, first.id);
	UTL_remote_cmd::invoke(&data, second.id + 1);  // no such command
	ASSERT_EQ(g_calls.size(), 2u);
	EXPECT_EQ(g_calls[0].data, &data);
	EXPECT_EQ(g_calls[0].id, second.id + 1000);
	EXPECT_EQ(g_calls[1].id, first.id);

	EXPECT_EQ(UTL_remote_cmds_inited(), 0);
	UTL_remote_cmd::init_remote_cmds();
	EXPECT_EQ(UTL_remote_cmds_inited(), 1);

	UTL_remote_cmd::cmd_list = first.next;  // the locals leave the list
}

}  // namespace
