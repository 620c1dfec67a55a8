#pragma once
// Installer discs for tests: a private user and mount namespace entered
// before any thread starts, folders bind-mounted read-only as discs in a
// drive (a disc change is an unmount and a mount), and a disc set made by the
// real ventora_maker from a small master.
#include <string>
#include <vector>

#include "tests/support/maker_master.h"

namespace vtest {

// Empty when this process runs in its own user and mount namespace (entered
// at load time, before main), else why not.
const std::string& disc_namespace_problem();

#define SKIP_WITHOUT_DISC_NAMESPACE()                                                                   \
	do {                                                                                                \
		if (!vtest::disc_namespace_problem().empty())                                                   \
			GTEST_SKIP() << "discs need a private mount namespace: " << vtest::disc_namespace_problem(); \
	} while (0)

// A drive: a mount point on which one disc folder at a time is mounted
// read-only. The destructor takes the disc out.
class disc_drive {
public:
	// mount_point: made when missing; given a trailing '/'.
	explicit disc_drive(const std::string& mount_point);
	~disc_drive();
	disc_drive(const disc_drive&) = delete;
	disc_drive& operator=(const disc_drive&) = delete;

	// Empty when done, else why not. insert takes out a disc already in.
	std::string insert(const std::string& disc_folder);
	std::string eject();
	const std::string& root() const { return root_; }  // ends in '/'
	const std::string& disc() const { return disc_; }  // folder in the drive, empty when none

private:
	std::string root_;
	std::string disc_;
};

// A small volume of its own: a tmpfs of size_kb mounted on a folder (made
// when missing) in this process's private mount namespace, so a program
// started from here sees a disk that is nearly full or fills up. The
// destructor takes it out.
class small_volume {
public:
	small_volume(const std::string& folder, int size_kb);
	~small_volume();
	small_volume(const small_volume&) = delete;
	small_volume& operator=(const small_volume&) = delete;
	const std::string& problem() const { return problem_; }  // empty when mounted
	// Writes a file of zeros until the volume is full; its path.
	std::string fill();

private:
	std::string folder_;
	std::string problem_;
};

// The master of a disc set: the folders a simulator copy has, a Linux
// executable that writes "flew.txt" beside itself, sim files, and scenery
// tiles in three cells (+30-090 with a pre-made .7z, +40-120 one tile with
// and one without, +50+000 without).
std::vector<mtest::master_entry> dvd_master();

// Grid cells (longitude band, latitude band) of the master's three tiles.
struct tile_cell {
	int lon, lat;
};
extern const tile_cell dvd_master_cells[3];

struct dvd_release_options {
	int disc_limit_kb = 40;                      // passed to the maker
	std::vector<mtest::master_entry> extra;       // more master entries
};

struct dvd_release {
	std::string work;                // ends in '/'
	std::string master;              // the master folder, ends in '/'
	std::string name;                // the set's name (VERSION line of disc 1)
	std::vector<std::string> discs;  // disk_0/, disk_1/ ... in order, each ending in '/'
	std::string maker_output;        // what the maker printed
};

// Runs the built ventora_maker over a master written under work; empty when
// the set was made, else why not.
std::string build_dvd_release(const std::string& work, dvd_release& out, const dvd_release_options& o = {});

// Every file below a folder (relative paths, sorted), links as files.
std::vector<std::string> files_below(const std::string& folder);

}  // namespace vtest
