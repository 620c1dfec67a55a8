#pragma once
// The download loop: fetches every file marked for installation from the
// chosen server over up to four HTTP streams, extracts each archive into
// place and deletes files the release no longer has.
#include <string>

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
