#pragma once
// Extraction of downloaded archives on worker threads. The download loop
// hands each finished archive over and goes on with its transfers at once;
// finished extractions come back to the main thread, which alone applies
// their results, writes their log lines and raises their alerts.
#include <cstddef>
#include <string>

// One archive to put in place.
struct extract_job {
	int file = -1;            // file number in sim_info
	std::string archive;      // where it was downloaded (the name the user is told of)
	std::string destination;  // the file it installs
	int fd = -1;              // the archive, open for reading; its name is already gone
	bool recycle = false;     // fd is a reusable download file: left open, and handed back with the job
	long long size = 0;       // its length
	int open_error = 0;       // errno when it could not be opened
	int error = 0;            // the extraction's result code
	int chmod_error = 0;      // result of making an application's executable runnable
};

// Takes the archive (fd, when the download kept it open, else opened here)
// and deletes its name, so that the stream may download its next archive
// there at once. A recycled fd has no name left to delete.
extract_job extract_job_take(int file, const std::string& archive, const std::string& destination, int fd = -1,
                             bool recycle = false, long long size = 0);

// The file work of one job: extraction into the destination's folder (".7z"
// by the 7z reader, anything else as a zip), the mode of an application's
// executable; closes the archive, or empties it when it is recycled. Runs on
// any thread.
void extract_job_run(extract_job& job);

// The main thread's part of a finished job: with stg.log_actions the
// expansion and mode lines are logged; a failure sets stg.install_problems
// and raises the warning alert, unless it stopped the run (stopped_run),
// which asks its own question and fetches the file again.
void extract_job_report(const extract_job& job, bool stopped_run = false);

// Queues the job for the extraction pool (made on first use); false, and
// the job untouched, when the pool has no room for it. Queued jobs reach the
// pool's threads together at the next extract_pool_flush: one hand-off for
// all the archives of a pass.
bool extract_pool_submit(extract_job& job);
// Hands the queued jobs over when there are at least this many.
void extract_pool_flush(size_t at_least = 1);

// Hands over one finished job, in the order they finished; false when none
// has finished yet.
bool extract_pool_collect(extract_job& out);

// Jobs handed to the pool and not yet collected.
int extract_pool_outstanding();

// Ends the pool: jobs not started are dropped, running ones stop at their
// next piece; no partial file is left, and the files they were replacing
// stay as they were. Their results are not collected. Safe to call at any
// time; the pool is made again on the next submit.
void extract_pool_stop();
