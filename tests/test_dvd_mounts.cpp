// Discs as the installer meets them: folders mounted read-only in this test's
// own mount namespace, seen by a child process and by the mount-table walk,
// changed by an unmount and a mount; a two-disc set from the real maker.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_prefix.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dvd.h"
#include "Installer-f/utils_grab.h"
#include "Platform/plat_files.h"
#include "tests/support/dvd_discs.h"
#include "tests/support/files_tmp.h"
#include "tests/support/x_session.h"

namespace {

const std::string kIdentity = "I\n900 version\nDVD\n\nVERSION Set\n";

// What a child process prints: the file on the disc, and whether its mount
// table lists the mount point.
std::string child_sees(const std::string& root, const std::string& file)
{
	const std::string cmd = "cat '" + root + file + "' 2>/dev/null; grep -c ' " +
	                        root.substr(0, root.size() - 1) + " ' /proc/self/mountinfo";
	std::string out;
	if (FILE* p = popen(cmd.c_str(), "r")) {
		char buf[256];
		size_t n;
		while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
		pclose(p);
	}
	return out;
}

bool listed(const std::string& root)
{
	const std::vector<std::string> roots = APL_volume_roots();
	return std::find(roots.begin(), roots.end(), root) != roots.end();
}

class DvdMounts : public ::testing::Test {
protected:
	void SetUp() override
	{
		SKIP_WITHOUT_DISC_NAMESPACE();
		std::memset(&stg, 0, sizeof(stg));
		stg_set_start_values();
		stg.stage = 0;
		sim_info.clear();
		dvd_path.clear();
		install_name = no_install_name;
		current_disk = 0;
		want_file_disk = 0;
		dvd_set_volume_lister(nullptr);
		tmp.mkdir("temp");
		temp_path = tmp("temp/");
	}
	void TearDown() override
	{
		sim_info.clear();
		dvd_path.clear();
		install_name = no_install_name;
	}
	files_tmp tmp;
};

TEST_F(DvdMounts, ChildAndMountWalkSeeTheDiscInTheDrive)
{
	tmp.mkdir("one");
	tmp.write("one/dvd_version.txt", kIdentity);
	tmp.write("one/label.txt", "first disc\n");
	tmp.mkdir("two");
	tmp.write("two/label.txt", "second disc\n");
	vtest::disc_drive drive(tmp("media/VENTORA_DVD"));
	const std::string root = drive.root();

	ASSERT_EQ(drive.insert(tmp("one/")), "");
	EXPECT_EQ(child_sees(root, "label.txt"), "first disc\n1\n");
	EXPECT_TRUE(listed(root));
	// Read-only, as a disc is.
	std::ofstream w(root + "new.txt");
	EXPECT_FALSE(w.good());
	EXPECT_FALSE(vtest::path_exists(tmp("one/new.txt")));
	locate_installer_dvd();
	EXPECT_EQ(dvd_path, root);

	// A change: the walk no longer finds a disc of the set, the old root is kept.
	ASSERT_EQ(drive.insert(tmp("two/")), "");
	EXPECT_EQ(child_sees(root, "label.txt"), "second disc\n1\n");
	dvd_path.clear();
	locate_installer_dvd();
	EXPECT_EQ(dvd_path, "");
	locate_installer_dvd("label.txt");
	EXPECT_EQ(dvd_path, root);

	ASSERT_EQ(drive.eject(), "");
	EXPECT_EQ(child_sees(root, "label.txt"), "0\n");
	EXPECT_FALSE(listed(root));
	EXPECT_TRUE(vtest::path_exists(tmp("two/label.txt")));
}

TEST_F(DvdMounts, MakerSetSpansTwoDiscsAndReadsFromTheDrive)
{
	vtest::dvd_release rel;
	ASSERT_EQ(vtest::build_dvd_release(tmp("set"), rel), "");
	ASSERT_EQ(rel.discs.size(), 2u) << [&] {
		std::string list;
		for (const std::string& d : rel.discs)
			for (const std::string& f : vtest::files_below(d)) list += d + f + "\n";
		return list;
	}();
	EXPECT_TRUE(vtest::path_exists(rel.discs[0] + "dvd_version.txt"));
	EXPECT_TRUE(vtest::path_exists(rel.discs[0] + rel.name + "/directory.txt.zip"));

	vtest::disc_drive drive(tmp("media/cdrom"));
	ASSERT_EQ(drive.insert(rel.discs[0]), "");
	for (int frame = 0; frame < 3 && stg.stage == 0; ++frame) UTIL_scan_dvd();
	ASSERT_EQ(stg.stage, 3);
	EXPECT_EQ(dvd_path, drive.root());
	EXPECT_EQ(install_name, rel.name);
	EXPECT_TRUE(stg.has_sim);
	EXPECT_TRUE(stg.has_global);
	int offered = 0;
	for (auto& column : stg.scenery_available)
		for (int c : column) offered += c != 0;
	EXPECT_EQ(offered, 3);
	for (const vtest::tile_cell& c : vtest::dvd_master_cells) EXPECT_TRUE(stg.scenery_available[c.lon][c.lat]);

	// Every archive lies on the disc its DISK number says; both discs hold
	// tiles, .7z and .zip ones, and the executable is on the second.
	std::set<int> tile_discs, sim_discs;
	std::set<std::string> tile_suffixes;
	int exe = -1;
	for (size_t i = 0; i < sim_info.size(); ++i) {
		const file_version_struct& v = sim_info[i].back();
		ASSERT_LT(v.disk, 2) << v.path;
		dvd_path = rel.discs[v.disk];
		const std::string archive = dvd_archive_rel((int)i);
		EXPECT_TRUE(vtest::path_exists(rel.discs[v.disk] + archive)) << archive;
		(v.is_global ? tile_discs : sim_discs).insert(v.disk);
		if (v.is_global) tile_suffixes.insert(archive.substr(archive.rfind('.')));
		if (v.path.size() >= 8 && v.path.compare(v.path.size() - 8, 8, "/Ventora") == 0 && v.platform == 3) exe = v.disk;
	}
	EXPECT_EQ(tile_discs, (std::set<int>{0, 1}));
	EXPECT_EQ(sim_discs, (std::set<int>{0, 1}));
	EXPECT_EQ(tile_suffixes, (std::set<std::string>{".7z", ".zip"}));
	EXPECT_EQ(exe, 1);

	// The check-disc walk finds a second-disc archive only once that disc is in.
	int on_second = -1;
	for (size_t i = 0; i < sim_info.size() && on_second < 0; ++i)
		if (sim_info[i].back().disk == 1) on_second = (int)i;
	want_file_disk = on_second;
	dvd_path = drive.root();
	EXPECT_EQ(UTIL_verify_disk(), 0);
	EXPECT_EQ(current_disk, 0);
	ASSERT_EQ(drive.insert(rel.discs[1]), "");
	EXPECT_EQ(UTIL_verify_disk(), 1);
	EXPECT_EQ(current_disk, 1);
	EXPECT_EQ(dvd_path, drive.root());
}

// The window tests start their own X server from inside the namespace.
TEST_F(DvdMounts, PrivateXServerStartsInsideTheNamespace)
{
	vtest::xvfb_server x(640, 480);
	ASSERT_FALSE(x.display().empty());
	vtest::x_view view(x.display());
	EXPECT_TRUE(view.ok());
}

}  // namespace
