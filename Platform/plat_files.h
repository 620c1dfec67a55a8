#pragma once
// Linux services behind the files layer: standard folders, launching a
// program, mounted volumes, disc eject and free space.
#include <cstdint>
#include <string>
#include <vector>

// Absolute path of the running executable; 0 or errno.
int APL_executable_path(std::string& out);
// Standard folders, absolute, without a trailing '/'; 0 or an error code
// (out untouched on failure).
int APL_desktop_folder(std::string& out);  // made when missing
int APL_temp_folder(std::string& out);   // private per-user folder, made when needed
int APL_prefs_folder(std::string& out);  // made when missing

// What a launch of `path` runs: a regular executable as it is; "X.app"
// that is not a folder runs "X"; a folder runs the executable inside it
// named like the folder (without ".app"), else Contents/MacOS/<that>, else
// one named like the running program. Empty when nothing fits.
std::string APL_launch_target(const std::string& path);
// Forks and executes `exe` with `argv` (argv[0] included). Returns 0 once
// the exec has succeeded in the child (its pid in *pid), else the errno
// of the failed fork or exec. The child never returns.
int APL_spawn(const std::string& exe, const std::vector<std::string>& argv, int* pid);

// Mounted volumes in mount order, 1-based; 0 and the root folder (ending
// in '/') or -35 when no volume has that index.
int APL_volume_root(int index, std::string& root);
// Roots of the mounted volumes in mount order, from one read of the mount
// table, without pseudo and automount file systems (a look inside an
// automount point can hang until it times out).
std::vector<std::string> APL_volume_roots();
// Device and file-system type of the volume with that index.
int APL_volume_info(int index, std::string& root, std::string& device, std::string& fstype);
// Volume index whose root holds `path` (the longest matching root); 0 if none.
int APL_volume_of_path(const std::string& path);
// Ejects the medium in the device of the volume holding `path`.
int APL_eject_volume_of(const std::string& path);
// Total and free bytes of the file system holding `folder`.
int APL_free_space(const std::string& folder, uint64_t* total, uint64_t* free_bytes);
