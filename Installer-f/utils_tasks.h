#pragma once
// Checksum pass and DVD copy-unpack on worker pools. Each driver is called
// once per frame by its wizard step; the kill functions cancel.
#include <string>

// 0 while the pass runs, 1 when complete. next is the caller's counter
// (start it at 0); progress receives next / number of files.
int checksum_directory(int& next, float& progress);
void checksum_directory_kill();

// 0 busy, 1 all installed, 2 the next file is on another disc, 3 a task
// failed (read install_files_get_error, then call install_files_kill).
int install_files(int& next, int disk);
int install_files_get_error(std::string& msg);
void install_files_kill();
