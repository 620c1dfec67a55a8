#pragma once
// Named statistics and remote commands: units publish a float or an action
// under a name so an outside tool could watch and drive the program. The
// registries are built on first use, so statistics constructed during static
// initialisation of any unit are safe.
#include <map>
#include <set>

enum UTL_stat_type {
	stat_memory = 0,     // amounts of memory
	stat_timing = 1,
	stat_per_frame = 2,  // counts per frame
	stat_rate = 3,
	stat_debug = 4       // debug switches read as on/off values
};

class UTL_stat {
public:
	UTL_stat(const char* name, UTL_stat_type type, float initial);
	UTL_stat(float* target, const char* name, UTL_stat_type type);
	~UTL_stat();

	void publish();
	static void init_stats();
	static void reset_stats(UTL_stat_type type);

	float value;
	UTL_stat_type type;
	UTL_stat* next;        // link in the list waiting for registration
	float* target;         // the float that holds the statistic
	const char* name;      // never owned

private:
	void register_self();
};

typedef std::map<UTL_stat_type, std::set<UTL_stat*>> UTL_stat_map;

// The registry of published statistics (empty until init_stats).
UTL_stat_map& UTL_all_stats();
// Head of the list of statistics waiting for init_stats.
UTL_stat* UTL_stat_waiting();
// 1 once init_stats has run.
int UTL_stat_initialized();

typedef void (*UTL_remote_cmd_cb)(void* data, int id);

class UTL_remote_cmd {
public:
	UTL_remote_cmd(const char* name, UTL_remote_cmd_cb callback);
	~UTL_remote_cmd();

	static void invoke(void* data, int id);
	void publish();
	static void init_remote_cmds();

	UTL_remote_cmd* next;
	UTL_remote_cmd_cb callback;
	const char* name;
	int id;

	static UTL_remote_cmd* cmd_list;
	static int free_id;
};

// 1 once init_remote_cmds has run.
int UTL_remote_cmds_inited();

void UTL_profiler_init();
void UTL_profiler_start(const char* name);
void UTL_profiler_stop();
