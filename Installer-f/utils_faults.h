#pragma once
// Failures the installation meets, and what to do about them: the pace of
// retries after a failed transfer, and which local errors will repeat for
// every remaining file (so the run stops once and asks) and which concern one
// file only.
#include <string>

// ---- retry pacing ---------------------------------------------------------------

// Nominal wait before the next try after `failures` failed tries in a row:
// 0, then 1 s doubling up to 30 s.
float retry_delay(int failures);

// The schedule of one thing tried again and again (a file on one server, the
// server list, the manifest). Times are frame-clock seconds.
struct retry_pacer {
	int failures = 0;    // failed tries in a row
	float next_try = 0;  // no try before this time

	// Counts a failure at `now`; jitter in [0, 1) shortens the wait by up to
	// a fifth, so clients that failed together do not come back together.
	void failed(float now, float jitter);
	void reset() { *this = retry_pacer(); }
	bool due(float now) const { return now >= next_try; }
	float wait_left(float now) const { return next_try > now ? next_try - now : 0; }
};

// A jitter value in [0, 1) from the C library's generator.
float retry_jitter();

// Failed tries of one file on one server before it is asked of the next server.
const int retry_tries_per_server = 3;

// ---- local faults -----------------------------------------------------------------

enum local_fault {
	fault_none = 0,      // this file only (a damaged archive): asked about per file
	fault_disk_full,     // no space, or the user's quota is used up
	fault_not_writable,  // read-only volume, or no permission
	fault_folder_gone,   // the folder written into is no longer there
	fault_disc_gone,     // the installer disc is no longer in the drive
	fault_cannot_write,  // any other failed write of the disk
};

// What a failed write or extraction into `folder` (errno or an archive
// code) means for the rest of the run.
local_fault classify_local_error(int err, const std::string& folder);

// A failed copy of an archive from the disc to the temporary folder: the
// disc taken out, or a fault of the temporary folder's disk; anything else
// (one unreadable archive) is the file's own.
local_fault classify_copy_error(int err, bool disc_present, const std::string& temp_folder);

// A run stopped by a fault that would repeat for every remaining file.
struct run_halt {
	local_fault kind = fault_none;
	int code = 0;         // the error
	std::string folder;   // where it happened
	std::string file;     // the file being written
};

// The download loop's stop: set once by the first such fault, cleared when
// the user chose to go on.
bool grab_halted();
const run_halt& grab_halt();
void grab_halt_set(const run_halt& h);
void grab_halt_clear();
