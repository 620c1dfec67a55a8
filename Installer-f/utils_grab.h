#pragma once
// The download loop: fetches every file marked for installation from the
// chosen server over up to four HTTP streams, extracts each archive into
// place and deletes files the release no longer has.
#include <string>

#include "DIzivoz/OOPS_cpp/http.h"

// The wizard's download globals (read by the engine, set by the wizard).
extern std::string temp_path;          // private temporary folder, ending in "/"
extern std::string install_name;       // name of the install set ("Not Yet Scanned" at start)
extern std::string server_name[10];    // host of each server of the list
extern std::string server_path[10];    // path of each server, ending in install name + "/"
extern std::string crnt_file_name;     // archive name of the file being worked on
extern std::string crnt_file_path;     // server path of that archive

// One non-blocking pass over the four streams (slots 2-5). Returns 1 when the
// whole run is finished (after the empty-folder clean-up), otherwise 0.
// Extraction failures never end the run: they set stg.install_problems.
int grab_files();

// Extracts one downloaded archive into the folder of destination (".7z" by
// the 7z reader, anything else as a zip), makes files under
// "Contents/MacOS/" executable and deletes the archive. A failed extraction
// sets stg.install_problems and raises a warning alert.
void extract_and_delete_file(std::string archive, std::string destination);

// A failed write or extraction that would fail again for every later file
// (full disk, read-only or vanished folder) stops the download loop once
// (grab_halted) instead of being reported per file; true when err is such a
// fault. folder is the folder written into, file the file being written.
bool halt_on_local_fault(int err, const std::string& folder, const std::string& file);

// Stopped, and every extraction handed out before has come back: the page
// may ask its question, which covers them all.
bool grab_halt_settled();

// The download's retries, for the page: the soonest next try among the
// streams whose file failed (failures 0 when none has).
struct grab_retry_info {
	int failures = 0;   // failed tries in a row of that file, on any server
	float wait = 0;     // seconds until its next try
	net_failure why;    // why the last try failed
	std::string url;    // the file's path on the server
};
grab_retry_info grab_retry_status();

// Forgets every stream's retry schedule and a stop of the loop (a new run, or
// the user chose to go on).
void grab_retry_reset();
