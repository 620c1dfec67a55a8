#include "DIzivoz/UTL/UTL_stats.h"

// Plain pointers and ints are constant-initialised before any constructor of
// any unit runs, so statistics built earlier in link order can still queue.
static UTL_stat* s_waiting = nullptr;
static int s_stat_initialized = 0;
static int s_inited = 0;

UTL_remote_cmd* UTL_remote_cmd::cmd_list = nullptr;
int UTL_remote_cmd::free_id = 1;

UTL_stat_map& UTL_all_stats()
{
	// Built on first use and never destroyed: statistics of other units may
	// still be registered or read while static objects are being torn down.
	static UTL_stat_map* all = new UTL_stat_map;
	return *all;
}

UTL_stat* UTL_stat_waiting() { return s_waiting; }
int UTL_stat_initialized() { return s_stat_initialized; }
int UTL_remote_cmds_inited() { return s_inited; }

UTL_stat::UTL_stat(const char* in_name, UTL_stat_type in_type, float initial)
	: value(initial), type(in_type), next(nullptr), target(&value), name(in_name)
{
	register_self();
}

UTL_stat::UTL_stat(float* in_target, const char* in_name, UTL_stat_type in_type)
	: type(in_type), next(nullptr), target(in_target), name(in_name)
{
	register_self();
}

UTL_stat::~UTL_stat() {}

void UTL_stat::register_self()
{
	if (s_stat_initialized) {
		publish();
	} else {
		next = s_waiting;
		s_waiting = this;
	}
}

void UTL_stat::publish() { UTL_all_stats()[type].insert(this); }

void UTL_stat::init_stats()
{
	for (UTL_stat* s = s_waiting; s; s = s->next) s->publish();
	s_stat_initialized = 1;
}

void UTL_stat::reset_stats(UTL_stat_type kind)
{
	UTL_stat_map& all = UTL_all_stats();
	auto it = all.find(kind);
	if (it == all.end()) return;
	for (UTL_stat* s : it->second) s->value = 0.0f;
}

UTL_remote_cmd::UTL_remote_cmd(const char* in_name, UTL_remote_cmd_cb in_callback)
	: next(cmd_list), callback(in_callback), name(in_name), id(free_id++)
{
	cmd_list = this;
}

UTL_remote_cmd::~UTL_remote_cmd() {}

void UTL_remote_cmd::invoke(void* data, int want)
{
	for (UTL_remote_cmd* c = cmd_list; c; c = c->next)
		if (c->id == want) {
			if (c->callback) c->callback(data, want);
			return;
		}
}

void UTL_remote_cmd::publish() {}

void UTL_remote_cmd::init_remote_cmds() { s_inited = 1; }

void UTL_profiler_init() {}
void UTL_profiler_start(const char*) {}
void UTL_profiler_stop() {}
