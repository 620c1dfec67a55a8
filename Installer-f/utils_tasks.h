#pragma once
// Checksum pass and DVD copy-unpack on worker pools. Each driver is called
// once per frame by its wizard step; the kill functions cancel.
#include <string>

#include "DIzivoz/Thread/UTL_worker_threads.h"
#include "Installer-f/utils_faults.h"

// Signs files [first, last) of the destination: sig_have and have_is_want
// of each newest version the install filter accepts.
class checksum_task : public UTL_work_task {
public:
	checksum_task(int first, int last);
	void do_it() override;
	int check_error(std::string& msg) override;

	int first;
	int last;
};

// One file from the disc: the first run copies its archive to the temporary
// folder (on the copy pool), the second unpacks it into place (on the unpack
// pool).
class dvd_unpack_task : public UTL_work_task {
public:
	dvd_unpack_task(int file, const std::string& temp_folder);
	~dvd_unpack_task() override;
	void do_it() override;
	int check_error(std::string& msg) override;

	int file;
	bool copied;
	std::string source;
	std::string temp;
	std::string destination;
	std::string error_text;
	int error_code;
	bool copy_failed = false;  // the error is the copy's (not the unpack's)
	// An earlier, unpacked copy the copy is written over (renamed to temp
	// first), empty for a new file.
	std::string reuse;
	bool unpacked = false;  // temp still holds the copy, for a later task to reuse
	long long copy_bytes = 0;
};

extern UTL_worker_threads* checksum_workers;
extern UTL_worker_threads* copy_pool;
extern UTL_worker_threads* unzip_pool;
// Tasks each DVD pool holds, and the archive bytes (kB) fed and not yet
// collected: enough that both pools keep working while the window draws a
// frame, bounded so that large archives never fill the temporary folder.
constexpr int dvd_pool_tasks = 120;
constexpr double dvd_copies_most_kb = 64 * 1024;
extern int install_err_num;
extern std::string install_err_msg;

// 0 while the pass runs, 1 when complete. next is the caller's counter
// (start it at 0); progress receives next / number of files.
int checksum_directory(int& next, float& progress);
void checksum_directory_kill();

// What the disc install answers.
enum install_result {
	install_busy = 0,       // at work
	install_done = 1,       // all installed
	install_next_disc = 2,  // the next file is on another disc
	install_failed = 3,     // a task failed (read install_files_get_error, then call install_files_kill)
};
// One call of the disc install (an install_result).
// A fault every later file would meet (a full disk, a vanished folder, the
// disc taken out) stops the feeding: the tasks in flight come back, next is
// set to the first file that failed, and the run answers once: 2 for the
// disc (its disc is to be asked for), else 3 with install_files_halt() set,
// after which a further call goes on from that file.
int install_files(int& next, int disk);
// The fault behind the last stop of the run (result 2 for the disc, or 3);
// kind fault_none after a result 3 about one file's own error.
const run_halt& install_files_halt();
int install_files_get_error(std::string& msg);
void install_files_kill();

// A page's share of a frame: the driver called again, with a short pause
// between calls, while it answers 0 and the frame's work budget lasts (the
// frame counts as busy). The last answer.
int checksum_directory_frame(int& next, float& progress);
int install_files_frame(int& next, int disk);

// Test seam: the thread count the checksum and unpack pools use in place of
// the processor count (0 restores the processor count).
void tasks_set_processor_count(int count);
