#pragma once
// The installer discs: finding the mounted disc of the set, reading its
// identity and manifest once, checking that the disc in the drive holds the
// archive the engine wants next, and ejecting a disc.
#include <functional>
#include <string>
#include <vector>

extern int current_disk;    // disc last verified in the drive (manifest numbering, first 0)
extern int want_file_disk;  // sim_info index of the file whose disc is wanted next

// Stores into dvd_path the root ('/'-terminated) of the first mounted volume,
// in mount order, that is a disc of the set (wanted empty: its
// "dvd_version.txt" passes the header check) or holds `wanted` (relative to
// the root). dvd_path keeps its value when none qualifies.
void locate_installer_dvd(const std::string& wanted = std::string());

// One frame of the entry page's disc scan: finds a disc, reads the set's name
// from its VERSION line, then extracts and reads the manifest once.
void UTIL_scan_dvd();

// 1 when the disc in the drive holds the archive of file want_file_disk
// (current_disk then becomes its disc), else 0.
int UTIL_verify_disk();

// Ejects the current disc when `eject` is set and returns the disc of file
// want_file_disk.
int UTIL_switch_disk(int eject);

// Whether a mounted volume is a disc of the set (holds the set's folder): 1
// with *number its disc in the manifest's numbering (the disc of the first
// archive found on it, -1 when it holds none), else 0. For saying what the
// drive holds when it is not the disc asked for.
int dvd_set_disc_in_drive(int* number);

// The set's name becomes folders on the disc and the default destination:
// empty, ".", ".." or a name holding '/' is no name of a set.
int dvd_install_name_ok(const std::string& name);

// Archive of file `file` on the disc in the drive: its path below dvd_path
// with suffix_for_file's suffix, else with the other one when only that
// exists (the maker writes ".zip" when it has no pre-made ".7z").
std::string dvd_archive_rel(int file);

// Test seam: the volume roots in mount order come from `lister` instead of
// the mount table; an empty function restores the mount table.
void dvd_set_volume_lister(std::function<std::vector<std::string>()> lister);
