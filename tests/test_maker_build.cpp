// The release builder over real master folders: manifests, disc layout,
// archives, histories, refusals and the round trip through the engine.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <sstream>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/make_installer.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/fake_platform.h"
#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"
#include "tests/support/maker_master.h"

namespace {

using mtest::master_entry;

struct fatal_stop {};

const char* const kRelease = "Ventora 9.10r1";

void clear_marks()
{
	for (int* m : {&found_all_fold, &found_apl_fold, &found_win_fold, &found_LIN_fold, &found_ins_fold, &found_wpn_fold,
	               &found_afl_fold, &found_acf_fold, &found_res_fold, &found_out_fold, &found_cus_fold, &found_glo_fold,
	               &found_plug, &found_redt, &found_orbt, &found_men_file, &found_tex_file, &found_com_file})
		*m = 0;
}

class MakerTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		master = tmp.path() + "Ventora 9.00/";
		out = tmp.path() + "DVD_Masters/";
		old_manifest = tmp.path() + "old/directory.txt";
		mtest::make_dirs(out);
		mtest::make_dirs(tmp.path() + "old");
		maker_set_folders(master, out, old_manifest);
		build_type = 1;
		clear_marks();
		MACIBM_set_alert_sink([this](const alert_record& a) {
			alerts.push_back(a);
			if (a.kind == alert_fatal) throw fatal_stop{};
		});
		maker_set_progress_hooks(
		    [this](const std::string& status, const std::string& path) {
			    progress.push_back(status + "|" + path);
			    if (on_progress) on_progress();
		    },
		    [this]() { return poll_key; });
	}
	void TearDown() override
	{
		MACIBM_set_alert_sink(nullptr);
		maker_set_progress_hooks(nullptr, nullptr);
		mnw.window[0] = nullptr;
		ogl_inited = 0;
		maker_set_folders(maker_default_src_fold, maker_default_dst_fold_base, maker_default_old_dir_path);
		build_type = maker_default_build_type;
		if (ouf.is_open()) ouf.close();
		ouf.clear();
		sim_info.clear();
		sim_info_index.clear();
	}

	// Runs the build; false when a fatal alert stopped it.
	bool build()
	{
		try {
			build_install();
			return true;
		} catch (const fatal_stop&) {
			return false;
		}
	}
	const alert_record& last_alert() const { return alerts.back(); }

	std::string disc(int n) const { return out + "disk_" + std::to_string(n) + "/"; }
	std::string release(int n) const { return disc(n) + sim_name + "/"; }

	// The manifest as the build zipped it.
	std::string built_manifest()
	{
		const std::string where = tmp.path() + "unzipped/";
		mtest::make_dirs(where);
		std::string name;
		EXPECT_EQ(0, zip_to_file(release(0) + "directory.txt.zip", where, &name, 0));
		EXPECT_EQ("directory.txt", name);
		return vtest::read_file_bytes(where + "directory.txt");
	}

	// One current FILE line as the builder writes it for a master file.
	std::string file_line(int platform, const std::string& rel, const std::string& data,
	                      const std::string& suffix = ".zip")
	{
		const int64_t archive = mtest::size_of(release(0) + rel + suffix);
		EXPECT_GT(archive, 0) << rel;
		return "FILE 0 " + std::to_string(platform) + " 91001 " + std::to_string(archive / 1000) + " " +
		       std::to_string(data.size() / 1000) + " " + vtest::md5_hex(data) + " " +
		       rel.substr(rel.rfind('/') + 1) + "\n";
	}

	std::string data_of(const std::string& rel)
	{
		for (const master_entry& e : entries)
			if (e.rel == rel) return e.data;
		ADD_FAILURE() << "no entry " << rel;
		return "";
	}

	void write(std::vector<master_entry> list)
	{
		entries = std::move(list);
		mtest::write_master(master, entries);
	}

	vtest::temp_folder tmp;
	std::string master, out, old_manifest;
	std::vector<master_entry> entries;
	std::vector<alert_record> alerts;
	std::vector<std::string> progress;
	std::function<void()> on_progress;
	int poll_key = 0;
};

const char* const kHeader = "I\n900 version\nINSTALLER\n\n";

// ---------------------------------------------------------------------------
// A whole product build

TEST_F(MakerTest, ProductBuildWritesManifestIdentityAndArchives)
{
	write(mtest::full_master());
	ASSERT_TRUE(build()) << last_alert().line1 << " / " << last_alert().line2;
	EXPECT_EQ(kRelease, sim_name);
	EXPECT_EQ(0, reg);

	// The checklist closes a finished build, after a word on the empty file left out.
	ASSERT_EQ(2u, alerts.size());
	EXPECT_EQ(alert_warning, alerts[0].kind);
	EXPECT_EQ("These empty files were left out of the release:", alerts[0].line1);
	EXPECT_EQ("All/Resources/empty.txt", alerts[0].line2);
	EXPECT_EQ("", alerts[0].line3 + alerts[0].line4);
	EXPECT_EQ(alert_warning, alerts[1].kind);
	EXPECT_EQ("OK compression is done. Checklist if doing net:", alerts[1].line1);
	EXPECT_EQ("Upload the -NET uploads- folder stuff.", alerts[1].line3);
	EXPECT_EQ("Extract directory.txt.zip to the next previous directory file for use next time.", alerts[1].line4);

	std::string exe = mtest::pe_exe_bytes();
	exe[mtest::pe_flags_offset] |= 0x20;
	const std::string expected =
	    std::string(kHeader) +
	    "\nDIR All/Aircraft/Cirrus/\n" + file_line(0, "All/Aircraft/Cirrus/c4.acf", data_of("All/Aircraft/Cirrus/c4.acf")) +
	    "\nDIR All/Airfoils/\n" + file_line(0, "All/Airfoils/naca.afl", "airfoil") +
	    "\nDIR All/Custom Scenery/\n" + file_line(0, "All/Custom Scenery/readme.txt", "custom") +
	    "\nDIR All/Global Scenery/-global terrain-/\n" +
	    file_line(0, "All/Global Scenery/-global terrain-/+40-120.dsf", "tile bytes", ".7z") +
	    "\nDIR All/Instructions/\n" + file_line(0, "All/Instructions/Manual.txt", "read me") +
	    "\nDIR All/Resources/bitmaps/Earth Orbit Textures/\n" +
	    file_line(0, "All/Resources/bitmaps/Earth Orbit Textures/e.png", "orbit") +
	    "\nDIR All/Resources/\n" + file_line(0, "All/Resources/dangling", "nowhere/at/all") +
	    "\nDIR All/Resources/default scenery/900 red terrain/\n" +
	    file_line(0, "All/Resources/default scenery/900 red terrain/r.txt", "red") +
	    "\nDIR All/Resources/\n" + file_line(0, "All/Resources/folder_link", "menus") +
	    file_line(0, "All/Resources/link_to_menu", "menus/English/Ventora.txt") +
	    "\nDIR All/Resources/menus/English/\n" + file_line(0, "All/Resources/menus/English/Ventora.txt", "menus") +
	    "\nDIR All/Resources/plugins/\n" + file_line(1, "All/Resources/plugins/PluginAdminMac.vnp", "admin") +
	    file_line(0, "All/Resources/plugins/readme.txt", "plug") +
	    file_line(2, "All/Resources/plugins/VNTM.dll", "dll") + file_line(6, "All/Resources/plugins/VNTM.so", "so") +
	    "\nDIR All/Resources/text/English/\n" + file_line(0, "All/Resources/text/English/Ventora.txt", "text") +
	    "\nDIR All/Weapons/\n" + file_line(0, "All/Weapons/gun.wpn", "bang") +
	    "\nDIR Linux/\n" + file_line(3, "Linux/Ventora", "#!/bin/sh\necho fly\n") +
	    "\nDIR Macintosh/\n" + file_line(1, "Macintosh/tool.exe", mtest::pe_exe_bytes()) +
	    "\nDIR Macintosh/Ventora.app/Contents/MacOS/\n" +
	    file_line(1, "Macintosh/Ventora.app/Contents/MacOS/Ventora", "mac binary") +
	    "\nDIR Windows/\n" + file_line(2, "Windows/Ventora.exe", exe);
	EXPECT_EQ(expected, built_manifest());
	EXPECT_GE(mtest::size_of(release(0) + "All/Aircraft/Cirrus/c4.acf.zip"), 4000);  // sizes above 1 KB count

	// Only the Windows folder's executables are changed, in the master itself.
	EXPECT_EQ(exe, vtest::read_file_bytes(master + "Windows/Ventora.exe"));
	EXPECT_EQ(mtest::pe_exe_bytes(), vtest::read_file_bytes(master + "Macintosh/tool.exe"));

	EXPECT_EQ("I\n900 version\nDVD\n\nVERSION Ventora 9.10r1\n", vtest::read_file_bytes(disc(0) + "dvd_version.txt"));
	EXPECT_FALSE(vtest::path_exists(release(0) + "directory.txt"));

	// Disc 0 holds the archives; discs 1 and 2 only the prepared folders.
	std::vector<std::string> files0;
	for (const std::string& p : atest::list_tree(disc(0)))
		if (p.back() != '/') files0.push_back(p);
	const std::string r = std::string(kRelease) + "/";
	std::vector<std::string> want0 = {"dvd_version.txt", r + "directory.txt.zip"};
	for (const char* rel :
	     {"All/Aircraft/Cirrus/c4.acf.zip", "All/Airfoils/naca.afl.zip", "All/Custom Scenery/readme.txt.zip",
	      "All/Global Scenery/-global terrain-/+40-120.dsf.7z", "All/Instructions/Manual.txt.zip",
	      "All/Resources/bitmaps/Earth Orbit Textures/e.png.zip", "All/Resources/dangling.zip",
	      "All/Resources/default scenery/900 red terrain/r.txt.zip", "All/Resources/folder_link.zip",
	      "All/Resources/link_to_menu.zip", "All/Resources/menus/English/Ventora.txt.zip",
	      "All/Resources/plugins/PluginAdminMac.vnp.zip", "All/Resources/plugins/readme.txt.zip",
	      "All/Resources/plugins/VNTM.dll.zip", "All/Resources/plugins/VNTM.so.zip",
	      "All/Resources/text/English/Ventora.txt.zip", "All/Weapons/gun.wpn.zip", "Linux/Ventora.zip",
	      "Macintosh/tool.exe.zip", "Macintosh/Ventora.app/Contents/MacOS/Ventora.zip", "Windows/Ventora.exe.zip"})
		want0.push_back(r + rel);
	std::sort(want0.begin(), want0.end());
	EXPECT_EQ(want0, files0);
	// Folders are made only for accepted files, on the disc that got them:
	// a one-disc release has no other disc trees.
	const auto tree0 = atest::list_tree(disc(0));
	EXPECT_NE(tree0.end(), std::find(tree0.begin(), tree0.end(), r + "Windows/"));
	EXPECT_EQ(tree0.end(), std::find(tree0.begin(), tree0.end(), r + "All/Output/"));
	EXPECT_EQ(tree0.end(), std::find(tree0.begin(), tree0.end(), r + "All/Custom Scenery/DSF 900 Mars World-Wide/"));
	for (int n : {1, 2, 3}) EXPECT_FALSE(vtest::path_exists(disc(n))) << n;

	// The pre-made .7z is the master's own file, linked, not copied.
	struct stat a, b;
	ASSERT_EQ(0, stat((release(0) + "All/Global Scenery/-global terrain-/+40-120.dsf.7z").c_str(), &a));
	ASSERT_EQ(0, stat((master + "All/Global Scenery/-global terrain-/+40-120.dsf.7z").c_str(), &b));
	EXPECT_EQ(a.st_ino, b.st_ino);

	// Each archive holds its master file; links stay links.
	struct row {
		const char* rel;
		bool link;
	};
	for (row x : {row{"All/Aircraft/Cirrus/c4.acf", false}, row{"Windows/Ventora.exe", false},
	              row{"All/Resources/link_to_menu", true}, row{"All/Resources/dangling", true},
	              row{"All/Resources/folder_link", true}}) {
		SCOPED_TRACE(x.rel);
		const std::string where = tmp.path() + "x/" + x.rel + "/";
		mtest::make_dirs(where);
		std::string name;
		ASSERT_EQ(0, zip_to_file(release(0) + x.rel + ".zip", where, &name, 0));
		const std::string leaf = std::string(x.rel).substr(std::string(x.rel).rfind('/') + 1);
		EXPECT_EQ(leaf, name);
		if (x.link) {
			std::string target;
			EXPECT_EQ(1, is_sim_link(where + leaf, &target));
			EXPECT_EQ(data_of(x.rel), target);
		} else {
			EXPECT_EQ(vtest::read_file_bytes(master + x.rel), vtest::read_file_bytes(where + leaf));
		}
	}
}

// The manifest reads back into the engine and installs from the disc masters.
TEST_F(MakerTest, ProductBuildInstallsFromTheDiscMasters)
{
	write(mtest::full_master());
	ASSERT_TRUE(build());
	const std::string manifest = tmp.path() + "unzipped/directory.txt";
	built_manifest();

	stg = stg_struct{};
	stg_set_start_values();
	stg.platform = 3;
	ASSERT_EQ(3, read_directory(manifest));
	ASSERT_EQ(21u, sim_info.size());
	for (const file_history_struct& h : sim_info) {
		ASSERT_EQ(1u, h.size()) << h[0].path;
		EXPECT_EQ(91001, h[0].version);
		EXPECT_EQ(0, h[0].disk);
	}
	EXPECT_EQ("All/Global Scenery/-global terrain-/+40-120.dsf", sim_info[3].back().path);
	EXPECT_EQ(1, sim_info[3].back().is_global);
	EXPECT_EQ(6, sim_info[14].back().platform);

	dest_dir_path = tmp.path() + "Ventora 9/";
	temp_path = tmp.path() + "staging/";
	mkdir(temp_path.c_str(), 0700);
	dvd_path = disc(0);
	install_name = sim_name;
	set_install_filter(1, 1);
	int next_file = 0;
	float prog = 0;
	for (int i = 0; i < 20000 && !checksum_directory(next_file, prog); ++i) usleep(100);
	scenery_take_all();
	recalc_disk_sizes();
	ASSERT_EQ(1, choose_files());
	ASSERT_EQ(0, make_dirs());
	next_file = 0;
	int r = 0;
	for (int i = 0; i < 20000 && (r = install_files(next_file, 0)) == 0; ++i) usleep(200);
	install_files_kill();
	ASSERT_EQ(1, r);

	const std::string d = dest_dir_path;
	EXPECT_EQ(data_of("All/Aircraft/Cirrus/c4.acf"), vtest::read_file_bytes(d + "Aircraft/Cirrus/c4.acf"));
	EXPECT_EQ("tile bytes", vtest::read_file_bytes(d + "Global Scenery/-global terrain-/+40-120.dsf"));
	EXPECT_EQ("so", vtest::read_file_bytes(d + "Resources/plugins/VNTM.so"));
	EXPECT_EQ("#!/bin/sh\necho fly\n", vtest::read_file_bytes(d + "Ventora"));
	std::string target;
	EXPECT_EQ(1, is_sim_link(d + "Resources/dangling", &target));
	EXPECT_EQ("nowhere/at/all", target);
	EXPECT_EQ(1, is_sim_link(d + "Resources/folder_link", &target));
	EXPECT_EQ("menus", target);
	// Other platforms' files stay out.
	for (const char* rel : {"Resources/plugins/VNTM.dll", "Resources/plugins/PluginAdminMac.vnp", "Ventora.exe",
	                        "tool.exe", "Ventora.app/Contents/MacOS/Ventora"})
		EXPECT_FALSE(vtest::path_exists(d + rel)) << rel;
}

// ---------------------------------------------------------------------------
// The product with change log, over the previous release's manifest

const char* const kOldManifest =
    "I\n900 version\nINSTALLER\n\n"
    "DIR All/Aircraft/Cirrus/\n"
    "FILE 0 0 90000 3 3 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa c4.acf\n"
    "DIR All/Airfoils/\n"
    "FILE 0 0 85000 1 1 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb naca.afl\n"
    "FILE 0 0 86000 0 0 GONE naca.afl\n"
    "FILE 0 0 90000 0 0 %AIRFOIL% naca.afl\n"
    "DIR All/Instructions/\n"
    "FILE 0 0 90000 7 9 cccccccccccccccccccccccccccccccc Old Manual.txt\n"
    "DIR All/Resources/\n"
    "FILE 0 0 80000 1 2 dddddddddddddddddddddddddddddddd old_gone.txt\n"
    "FILE 0 0 90000 0 0 GONE old_gone.txt\n"
    "DIR All/Global Scenery/-global terrain-/\n"
    "FILE 0 0 90000 5 5 eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee +50-120.dsf\n"
    "DIR Windows/\n"
    "FILE 0 2 90000 1 1 ffffffffffffffffffffffffffffffff Ventora.exe\n"
    "DIR All/Resources/plugins/\n"
    "FILE 0 6 90000 1 1 11111111111111111111111111111111 VNTM.so\n";

std::string old_manifest_text()
{
	std::string t = kOldManifest;
	t.replace(t.find("%AIRFOIL%"), 9, vtest::md5_hex("airfoil"));
	return t;
}

TEST_F(MakerTest, ChangeLogBuildKeepsHistoriesAndMarksVanishedFilesGone)
{
	build_type = 0;
	write(mtest::full_master());
	vtest::write_file_bytes(old_manifest, old_manifest_text());
	ASSERT_TRUE(build()) << last_alert().line1 << " / " << last_alert().line2;

	std::string exe = mtest::pe_exe_bytes();
	exe[mtest::pe_flags_offset] |= 0x20;
	const std::string expected =
	    std::string(kHeader) + "\nDIR All/Aircraft/Cirrus/\n" +
	    "FILE 0 0 90000 3 3 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa c4.acf\n" +
	    file_line(0, "All/Aircraft/Cirrus/c4.acf", data_of("All/Aircraft/Cirrus/c4.acf")) +
	    "\nDIR All/Airfoils/\n" + "FILE 0 0 85000 1 1 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb naca.afl\n" +
	    file_line(0, "All/Airfoils/naca.afl", "airfoil") +
	    "\nDIR All/Custom Scenery/\n" + file_line(0, "All/Custom Scenery/readme.txt", "custom") +
	    "\nDIR All/Instructions/\n" + file_line(0, "All/Instructions/Manual.txt", "read me") +
	    "\nDIR All/Resources/\n" + file_line(0, "All/Resources/dangling", "nowhere/at/all") +
	    file_line(0, "All/Resources/folder_link", "menus") +
	    file_line(0, "All/Resources/link_to_menu", "menus/English/Ventora.txt") +
	    "\nDIR All/Resources/menus/English/\n" + file_line(0, "All/Resources/menus/English/Ventora.txt", "menus") +
	    "\nDIR All/Resources/plugins/\n" + file_line(1, "All/Resources/plugins/PluginAdminMac.vnp", "admin") +
	    file_line(0, "All/Resources/plugins/readme.txt", "plug") +
	    file_line(2, "All/Resources/plugins/VNTM.dll", "dll") +
	    "FILE 0 6 90000 1 1 11111111111111111111111111111111 VNTM.so\n" +
	    file_line(6, "All/Resources/plugins/VNTM.so", "so") +
	    "\nDIR All/Resources/text/English/\n" + file_line(0, "All/Resources/text/English/Ventora.txt", "text") +
	    "\nDIR All/Weapons/\n" + file_line(0, "All/Weapons/gun.wpn", "bang") +
	    "\nDIR Linux/\n" + file_line(3, "Linux/Ventora", "#!/bin/sh\necho fly\n") +
	    "\nDIR Macintosh/\n" + file_line(1, "Macintosh/tool.exe", mtest::pe_exe_bytes()) +
	    "\nDIR Macintosh/Ventora.app/Contents/MacOS/\n" +
	    file_line(1, "Macintosh/Ventora.app/Contents/MacOS/Ventora", "mac binary") +
	    "\nDIR Windows/\n" + "FILE 0 2 90000 1 1 ffffffffffffffffffffffffffffffff Ventora.exe\n" +
	    file_line(2, "Windows/Ventora.exe", exe) +
	    // Vanished files follow; the tile is not part of this release kind.
	    "\nDIR All/Instructions/\n" + "FILE 0 0 90000 7 9 cccccccccccccccccccccccccccccccc Old Manual.txt\n" +
	    "FILE 0 0 91001 0 0 GONE Old Manual.txt\n" + "\nDIR All/Resources/\n" +
	    "FILE 0 0 80000 1 2 dddddddddddddddddddddddddddddddd old_gone.txt\n" +
	    "FILE 0 0 90000 0 0 GONE old_gone.txt\n";
	EXPECT_EQ(expected, built_manifest());
	EXPECT_FALSE(vtest::path_exists(release(0) + "All/Global Scenery"));

	// Histories read back oldest first under one path.
	ASSERT_EQ(3, read_directory(tmp.path() + "unzipped/directory.txt"));
	ASSERT_EQ(2u, sim_info[0].size());
	EXPECT_EQ(90000, sim_info[0][0].version);
	EXPECT_EQ(91001, sim_info[0][1].version);
	const file_history_struct& vanished = sim_info[sim_info.size() - 2];
	ASSERT_EQ(2u, vanished.size());
	EXPECT_EQ("All/Instructions/Old Manual.txt", vanished.back().path);
	EXPECT_EQ("GONE", vanished.back().sig_want);
}

TEST_F(MakerTest, ChangeLogBuildRefusesBadPreviousManifests)
{
	build_type = 0;
	write(mtest::full_master());
	struct row {
		const char* what;
		std::string manifest;  // empty: no previous manifest at all
		std::string line1, line2, line4;
		std::string line3;  // empty: not compared
	};
	const std::string head = "I\n900 version\nINSTALLER\n\n";
	const row rows[] = {
	    {"missing", "", "I tried to read a directory file that does not exist!", "The file is:", ""},
	    // The reader takes the header but refuses the body (a path leaving the folder).
	    {"refused by the reader", head + "DIR All/../../\nFILE 0 0 1 1 1 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa a.txt\n",
	     "I could not read the old directory!",
	     "This means that this installer will not delete old files (needed even for the Ventora / USA scenery install).",
	     "So fix this.",
	     "It also means I will forget to fix this, and release without an old directory, and think that older versions "
	     "of stuff is all user-modified cause I don't recognize it!"},
	    {"the same file twice, by letter case",
	     head + "DIR All/Aircraft/\nFILE 0 0 1 1 1 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa a.txt\n"
	            "DIR All/aircraft/\nFILE 0 0 1 1 1 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa A.txt\n",
	     "WARNING: you appear to have a file TWICE in an old directory file.", "", "All/aircraft/A.txt"},
	    {"this release's version already there",
	     head + "DIR All/Aircraft/\nFILE 0 0 90000 1 1 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa a.txt\n"
	            "FILE 0 0 91001 1 1 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb a.txt\n",
	     "", "version_number 91001.000000", "All/Aircraft/a.txt"},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		alerts.clear();
		unlink(old_manifest.c_str());
		if (!r.manifest.empty()) vtest::write_file_bytes(old_manifest, r.manifest);
		EXPECT_FALSE(build());
		ASSERT_FALSE(alerts.empty());
		if (!r.line1.empty()) {
			EXPECT_EQ(r.line1, last_alert().line1);
		}
		EXPECT_EQ(r.line2, last_alert().line2);
		if (!r.line4.empty()) {
			EXPECT_EQ(r.line4, last_alert().line4);
		}
		if (r.line2 == "version_number 91001.000000") {
			EXPECT_EQ("in file ", last_alert().line3);
		}
		if (!r.line3.empty()) {
			EXPECT_EQ(r.line3, last_alert().line3);
		}
		// Nothing is written before the previous manifest is accepted.
		EXPECT_FALSE(vtest::path_exists(disc(0)));
	}
}

// A product build's manifest holds this release's version, so it cannot be
// the previous manifest of another build of the same release.
TEST_F(MakerTest, ProductManifestCannotServeAsPreviousManifest)
{
	write(mtest::full_master());
	ASSERT_TRUE(build());
	built_manifest();
	ASSERT_EQ(0, rename((tmp.path() + "unzipped/directory.txt").c_str(), old_manifest.c_str()));

	build_type = 0;
	maker_set_folders(master, tmp.path() + "second/", old_manifest);
	mtest::make_dirs(tmp.path() + "second");
	EXPECT_FALSE(build());
	EXPECT_EQ("version_number 91001.000000", last_alert().line2);
	EXPECT_EQ("All/Aircraft/Cirrus/c4.acf", last_alert().line4);
}

// ---------------------------------------------------------------------------
// Refusals

TEST_F(MakerTest, MasterFaultsStopTheBuild)
{
	struct row {
		const char* what;
		std::vector<master_entry> add;
		std::vector<std::string> remove;  // master-relative, removed with everything below
		int type;
		std::string line1, line2, line3, line4;  // "*" matches anything
	};
	const std::string m = "<M>";  // stands for the master folder in the expected lines
	const row rows[] = {
	    {"file ending in a blank", {{"All/Aircraft/a.txt ", "x"}}, {}, 1, "*",
	     "You tried to include a file or directory with a space at the end!", "*", m + "All/Aircraft/a.txt "},
	    {"folder ending in a blank", {{"All/Aircraft/Old /a.txt", "x"}}, {}, 1, "*",
	     "You tried to include a file or directory with a space at the end!", "*", m + "All/Aircraft/Old /"},
	    {"colon", {{"All/Aircraft/a:b.txt", "x"}}, {}, 1, "*", "found a  : in the path!", m + "All/Aircraft/a:b.txt", ""},
	    {"backslash", {{"All/Aircraft/a\\b.txt", "x"}}, {}, 1, "*", "found a \\ in the path!",
	     m + "All/Aircraft/a\\b.txt", ""},
	    {"unexpected All sub-folder", {{"All/Extras/a.txt", "x"}}, {}, 1, "*", "Extras", m + "All/Extras/", "Extras/"},
	    {"file in the All folder", {{"All/stray.txt", "x"}}, {}, 1, "*",
	     "I FOUND A FILE INSIDE THE 'ALL' FOLDER! WE SHOULD ONLY HAVE FOLDERS THERE!", m + "All/stray.txt", ""},
	    {"copy in a name", {{"All/Aircraft/Photocopy.png", "x"}}, {}, 1, "*", "found a copy file!",
	     m + "All/Aircraft/Photocopy.png", ""},
	    {"file in a folder named copy", {{"All/Aircraft/copy/a.txt", "x"}}, {}, 1, "*", "found a copy file!",
	     m + "All/Aircraft/copy/a.txt", ""},
	    {"source file", {{"All/Aircraft/x.cpp", "x"}}, {}, 1, "*", "found a .cpp file!", m + "All/Aircraft/x.cpp", ""},
	    {"upper-case source file", {{"All/Aircraft/X.CPP", "x"}}, {}, 1, "*", "found a .CPP file!",
	     m + "All/Aircraft/X.CPP", ""},
	    {"kept preferences file", {{"All/Resources/preferences/keep.txt", "x"}}, {}, 1, "*",
	     "I found this preferences file!", "keep.txt", "And is_good_file says I should keep it!!!!"},
	    {"Linux folder missing", {}, {"Linux"}, 1, "*", "!found_X86_fold", m + "Linux/", ""},
	    {"plug-ins folder misspelt", {{"All/Resources/Plugins/readme.txt", "x"}}, {"All/Resources/plugins"}, 1, "*",
	     "!found_plug\t ", m + "All/Resources/plugins/", ""},
	    {"red terrain missing from the product", {}, {"All/Resources/default scenery"}, 1, "*", "!found_redt\t ",
	     m + "All/Resources/default scenery/900 red terrain/", ""},
	    {"text file missing", {}, {"All/Resources/text"}, 1, "*", "!found_tex_file",
	     m + "All/Resources/text/English/Ventora.txt", ""},
	    {"restricted data present", {{"All/Resources/restricted/ac_threat.dat", "x"}}, {}, 1, "*", " found_com_file",
	     m + "All/Resources/restricted/ac_threat.dat", ""},
	    {"file outside the platform folders", {{"stray.txt", "x"}}, {}, 1, "*", "", "", ""},
	    {"Windows executable without headers", {{"Windows/tool.exe", std::string(100, 'x')}}, {}, 1,
	     "Oops! We could not make a windows exe file large-address-aware!", "error# 20013.000000",
	     m + "Windows/tool.exe", ""},
	    {"unknown build type", {}, {}, 7, "I can not tell what type of install this is!", "", "", ""},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		ASSERT_EQ(0, system(("rm -rf '" + master + "' '" + out + "disk_0'").c_str()));
		write(mtest::full_master());
		mtest::write_master(master, r.add);
		for (const std::string& rm : r.remove) ASSERT_EQ(0, system(("rm -rf '" + master + rm + "'").c_str()));
		clear_marks();
		alerts.clear();
		build_type = r.type;
		if (r.type == 7) {
			// The build itself refuses nothing; the selection does.
			EXPECT_TRUE(build());
			ASSERT_FALSE(alerts.empty());
			EXPECT_EQ("OK compression is done. Checklist if doing net:", last_alert().line1);
			EXPECT_FALSE(vtest::path_exists(disc(0)));
			try {
				is_good_file(master + "All/Weapons/gun.wpn", 0, 0);
				ADD_FAILURE() << "no fatal alert";
			} catch (const fatal_stop&) {
			}
		} else {
			EXPECT_FALSE(build());
		}
		ASSERT_FALSE(alerts.empty());
		const alert_record& a = last_alert();
		EXPECT_EQ(alert_fatal, a.kind);
		EXPECT_EQ("Installer-f/make_installer", a.source_file);
		auto expect_line = [&](const std::string& want, const std::string& got) {
			if (want == "*") {
				EXPECT_FALSE(got.empty());
				return;
			}
			std::string w = want;
			if (w.compare(0, m.size(), m) == 0) w = master + w.substr(m.size());
			EXPECT_EQ(w, got);
		};
		expect_line(r.line1, a.line1);
		expect_line(r.line2, a.line2);
		expect_line(r.line3, a.line3);
		expect_line(r.line4, a.line4);
	}
}

// Empty files are never packaged; the alert before the checklist names two
// and counts the rest, which standard output lists whole.
TEST_F(MakerTest, EmptyFilesLeftOutAreNamed)
{
	std::vector<master_entry> m = mtest::full_master();
	for (const char* rel : {"All/Aircraft/e1.acf", "All/Aircraft/e2.acf", "Linux/e3.txt"}) m.push_back({rel, ""});
	m.push_back({"All/Aircraft/e4.ac", ""});  // refused by its name anyway: not counted
	write(m);
	std::ostringstream printed;
	std::streambuf* was = std::cout.rdbuf(printed.rdbuf());
	const bool built = build();
	std::cout.rdbuf(was);
	ASSERT_TRUE(built) << last_alert().line1;
	ASSERT_EQ(2u, alerts.size());
	EXPECT_EQ("These empty files were left out of the release:", alerts[0].line1);
	EXPECT_EQ("All/Aircraft/e1.acf", alerts[0].line2);
	EXPECT_EQ("All/Aircraft/e2.acf", alerts[0].line3);
	EXPECT_EQ("... and 2 more, all listed above.", alerts[0].line4);
	EXPECT_NE(std::string::npos, printed.str().find("Empty files left out of the release:\n" + master +
	                                                "All/Aircraft/e1.acf\n" + master + "All/Aircraft/e2.acf\n" +
	                                                master + "All/Resources/empty.txt\n" + master + "Linux/e3.txt\n"))
	    << printed.str();
	const std::string text = built_manifest();
	for (const char* name : {" e1.acf\n", " e2.acf\n", " e3.txt\n", " e4.ac\n", " empty.txt\n"})
		EXPECT_EQ(std::string::npos, text.find(name)) << name;
}

// Folders that cannot serve are named before anything is written: a missing
// master or output, and an output inside the master (also through a link).
TEST_F(MakerTest, UnusableFoldersAreNamedBeforeAnythingIsWritten)
{
	write(mtest::full_master());
	mtest::make_dirs(master + "All/Output/discs");
	ASSERT_EQ(0, symlink(master.c_str(), (tmp.path() + "via_link").c_str()));
	struct row {
		const char* what;
		std::string master, output;
		std::string line1, line2;
	};
	const std::string nowhere = tmp.path() + "nowhere/";
	const row rows[] = {
	    {"missing master", nowhere, out, "The master folder is missing!", nowhere},
	    {"missing output", master, nowhere, "The output folder is missing!", nowhere},
	    {"output is the master", master, master, "The output folder is inside the master folder!", master},
	    {"output below the master", master, master + "All/Output/discs/", "The output folder is inside the master folder!",
	     master + "All/Output/discs/"},
	    {"output inside through a link", master, tmp.path() + "via_link/All/Output/",
	     "The output folder is inside the master folder!", tmp.path() + "via_link/All/Output/"},
	};
	const auto before = atest::list_tree(tmp.path());
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		maker_set_folders(r.master, r.output, old_manifest);
		alerts.clear();
		EXPECT_FALSE(build());
		ASSERT_EQ(1u, alerts.size());
		EXPECT_EQ(alert_fatal, alerts[0].kind);
		EXPECT_EQ(r.line1, alerts[0].line1);
		EXPECT_EQ(r.line2, alerts[0].line2);
		EXPECT_EQ(before, atest::list_tree(tmp.path()));
	}
}

// Names that look like refused ones but are not.
TEST_F(MakerTest, LookAlikesAreAccepted)
{
	std::vector<master_entry> m = mtest::full_master();
	for (const char* rel : {"All/Aircraft/Copy.png", "Macintosh/stray.txt", "All/Aircraft/Extras/a.txt",
	                        "All/Aircraft/name with blanks.acf", "All/Aircraft/x.acf", "All/Aircraft/clip.mov.txt"})
		m.push_back({rel, "x"});
	m.push_back({"All/Aircraft/model.ac", "refused"});
	m.push_back({"All/Aircraft/notes.bak", "refused"});
	m.push_back({"All/install_pfc Aircraft/pfc.acf", "refused"});
	m.push_back({"All/Aircraft/copy/"});                        // a folder named copy holding nothing
	m.push_back({"All/Aircraft/Plane.acf/inner.txt", "inside"});  // typed like a file: never entered
	m.push_back({"All/Aircraft/tool.exe", mtest::pe_exe_bytes()});  // not in the Windows folder
	write(m);
	ASSERT_EQ(0, mkfifo((master + "All/Aircraft/pipe.acf").c_str(), 0644));  // refused, never opened
	ASSERT_TRUE(build()) << last_alert().line2;
	for (const char* rel : {"All/Aircraft/Copy.png", "Macintosh/stray.txt", "All/Aircraft/Extras/a.txt",
	                        "All/Aircraft/name with blanks.acf", "All/Aircraft/x.acf", "All/Aircraft/clip.mov.txt"})
		EXPECT_TRUE(vtest::path_exists(release(0) + rel + ".zip")) << rel;
	for (const char* rel : {"All/Aircraft/model.ac", "All/Aircraft/notes.bak", "All/install_pfc Aircraft/pfc.acf",
	                        "All/Aircraft/pipe.acf", "All/Aircraft/Plane.acf", "All/Aircraft/Plane.acf/inner.txt"})
		EXPECT_FALSE(vtest::path_exists(release(0) + rel + ".zip")) << rel;
	const std::string text = built_manifest();
	EXPECT_NE(std::string::npos, text.find("FILE 0 0 91001 0 0 " + vtest::md5_hex("x") + " name with blanks.acf\n"));
	EXPECT_EQ(std::string::npos, text.find("Plane.acf"));
	EXPECT_EQ(mtest::pe_exe_bytes(), vtest::read_file_bytes(master + "All/Aircraft/tool.exe"));
	EXPECT_TRUE(vtest::path_exists(release(0) + "All/Aircraft/tool.exe.zip"));
}

// ---------------------------------------------------------------------------
// Scenery releases select their own files

TEST_F(MakerTest, SceneryReleasesHoldOnlyTheirScenery)
{
	write(mtest::full_master());
	mtest::write_master(master, {{"All/Custom Scenery/DSF 900 Moon World-Wide/+10+010.dsf", "grey"}});
	// Red terrain and orbit textures are required of the product only.
	ASSERT_EQ(0, system(("rm -rf '" + master + "All/Resources/default scenery' '" + master + "All/Resources/bitmaps'").c_str()));
	struct row {
		int type;
		const char* name;
		int reg;
		const char* only;
	};
	for (row r : {row{2, "Mars", 1, "All/Custom Scenery/DSF 900 Mars World-Wide/+00+000.dsf"},
	              row{3, "Moon", 2, "All/Custom Scenery/DSF 900 Moon World-Wide/+10+010.dsf"}}) {
		SCOPED_TRACE(r.name);
		ASSERT_EQ(0, system(("rm -rf '" + out + "disk_0'").c_str()));
		clear_marks();
		build_type = r.type;
		ASSERT_TRUE(build()) << last_alert().line2;
		EXPECT_EQ(r.name, sim_name);
		EXPECT_EQ(r.reg, reg);
		EXPECT_EQ(std::vector<std::string>{master + r.only}, comp_files);
		EXPECT_EQ(std::string("I\n900 version\nDVD\n\nVERSION ") + r.name + "\n",
		          vtest::read_file_bytes(disc(0) + "dvd_version.txt"));
		EXPECT_TRUE(vtest::path_exists(release(0) + r.only + ".zip"));
	}
}

// ---------------------------------------------------------------------------
// Discs, progress and failures while packaging

// A pre-made archive (holes only) that fills disc 0: the next file goes to
// disc 1 and the running total starts again from 0. Sizes past 4 GB count whole.
TEST_F(MakerTest, FullDiscMovesTheNextFileToTheNextDisc)
{
	struct row {
		int64_t bytes;
		const char* kb;
	};
	for (row r : {row{630000000, "630000"}, row{5000000000LL, "5000000"}}) {
		SCOPED_TRACE(r.kb);
		ASSERT_EQ(0, system(("rm -rf '" + master + "' '" + out + "disk_0' '" + out + "disk_1' '" + out + "disk_2'").c_str()));
		clear_marks();
		write(mtest::full_master());
		mtest::make_sparse(master + "All/Global Scenery/-global terrain-/+40-120.dsf.7z", r.bytes);
		ASSERT_TRUE(build()) << last_alert().line2;

		const std::string text = built_manifest();
		const std::string tile =
		    std::string("FILE 0 0 91001 ") + r.kb + " 0 " + vtest::md5_hex("tile bytes") + " +40-120.dsf\nDISK 1\n";
		EXPECT_NE(std::string::npos, text.find(tile)) << text;
		EXPECT_EQ(1, dvd_now);
		EXPECT_LT(zip_size_dvd, 100);
		EXPECT_EQ(std::string::npos, text.find("DISK 2"));
		EXPECT_TRUE(vtest::path_exists(release(0) + "All/Global Scenery/-global terrain-/+40-120.dsf.7z"));
		EXPECT_FALSE(vtest::path_exists(release(0) + "All/Instructions/Manual.txt.zip"));
		EXPECT_TRUE(vtest::path_exists(release(1) + "All/Instructions/Manual.txt.zip"));
		EXPECT_TRUE(vtest::path_exists(release(1) + "Windows/Ventora.exe.zip"));
		// The manifest and identity file stay on disc 0.
		EXPECT_TRUE(vtest::path_exists(release(0) + "directory.txt.zip"));
		EXPECT_FALSE(vtest::path_exists(disc(1) + "dvd_version.txt"));

		ASSERT_EQ(3, read_directory(tmp.path() + "unzipped/directory.txt"));
		EXPECT_EQ(0, sim_info[3].back().disk);  // the tile
		EXPECT_EQ(1, sim_info[4].back().disk);  // the next file
		EXPECT_EQ(1, sim_info.back().back().disk);
	}
}

// The disc is full only past the limit: exactly 630000 KB (whole KB, the
// rest dropped) stays on it.
TEST_F(MakerTest, DiscIsFullOnlyPastTheLimit)
{
	struct row {
		int64_t bytes;
		bool next_disc;
	};
	for (row r : {row{630000000, false}, row{630000999, false}, row{630001000, true}}) {
		SCOPED_TRACE(r.bytes);
		ASSERT_EQ(0, system(("rm -rf '" + master + "' '" + out + "disk_0' '" + out + "disk_1' '" + out + "disk_2'").c_str()));
		clear_marks();
		std::vector<master_entry> m = mtest::full_master();
		for (master_entry& e : m)
			if (e.rel == "All/Aircraft/Cirrus/c4.acf") e.data = "c4";  // every other archive is under 1 KB
		write(m);
		mtest::make_sparse(master + "All/Global Scenery/-global terrain-/+40-120.dsf.7z", r.bytes);
		ASSERT_TRUE(build()) << last_alert().line2;
		const std::string text = built_manifest();
		EXPECT_EQ(r.next_disc, text.find("+40-120.dsf\nDISK 1\n") != std::string::npos) << text;
		EXPECT_EQ(r.next_disc ? 1 : 0, dvd_now);
		EXPECT_EQ(r.next_disc ? 0.0 : 630000.0, zip_size_dvd);
		EXPECT_EQ(r.next_disc, vtest::path_exists(release(1) + "Windows/Ventora.exe.zip"));
	}
}

// Lines of vanished files come after the last DISK line, so they count on the last disc.
TEST_F(MakerTest, VanishedFilesFollowTheLastDisc)
{
	build_type = 0;
	write(mtest::full_master());
	mtest::make_sparse(master + "Windows/Ventora.exe.7z", 700000000);  // the last file fills disc 0
	vtest::write_file_bytes(old_manifest, "I\n900 version\nINSTALLER\n\nDIR All/Instructions/\n"
	                                      "FILE 0 0 90000 7 9 cccccccccccccccccccccccccccccccc Old Manual.txt\n");
	ASSERT_TRUE(build()) << last_alert().line1 << " / " << last_alert().line2;
	const std::string text = built_manifest();
	const std::string tail = " Ventora.exe\nDISK 1\n\nDIR All/Instructions/\n"
	                         "FILE 0 0 90000 7 9 cccccccccccccccccccccccccccccccc Old Manual.txt\n"
	                         "FILE 0 0 91001 0 0 GONE Old Manual.txt\n";
	ASSERT_GE(text.size(), tail.size());
	EXPECT_EQ(tail, text.substr(text.size() - tail.size()));

	ASSERT_EQ(3, read_directory(tmp.path() + "unzipped/directory.txt"));
	const file_history_struct& gone = sim_info.back();
	ASSERT_EQ(2u, gone.size());
	EXPECT_EQ("All/Instructions/Old Manual.txt", gone.back().path);
	for (const file_version_struct& v : gone) EXPECT_EQ(1, v.disk);
	EXPECT_EQ(0, sim_info[sim_info.size() - 2].back().disk);  // the executable stays on the disc it filled
}

// Folders are prepared for three discs; a fourth and fifth get theirs when reached.
TEST_F(MakerTest, DiscsBeyondTheThirdGetTheirFolders)
{
	std::vector<master_entry> m = mtest::full_master();
	write(m);
	for (const char* tile : {"+41-120.dsf", "+42-120.dsf", "+43-120.dsf"})
		mtest::write_master(master, {{std::string("All/Global Scenery/-global terrain-/") + tile, tile}});
	for (const char* tile : {"+40-120.dsf", "+41-120.dsf", "+42-120.dsf", "+43-120.dsf"})
		mtest::make_sparse(master + "All/Global Scenery/-global terrain-/" + tile + ".7z", 700000000);
	ASSERT_TRUE(build()) << last_alert().line1 << " / " << last_alert().line2;
	EXPECT_EQ(4, dvd_now);
	const std::string text = built_manifest();
	for (int n = 1; n <= 4; ++n) EXPECT_NE(std::string::npos, text.find("DISK " + std::to_string(n) + "\n"));
	EXPECT_TRUE(vtest::path_exists(release(3) + "All/Global Scenery/-global terrain-/+43-120.dsf.7z"));
	EXPECT_TRUE(vtest::path_exists(release(4) + "Windows/Ventora.exe.zip"));
}

TEST_F(MakerTest, ProgressEveryTwentyFilesAndQStopsTheBuild)
{
	write(mtest::full_master());
	ASSERT_TRUE(build());
	ASSERT_EQ(1u, progress.size());
	EXPECT_EQ("reg: 0: total files to compress: 21. now doing: 20.|" + release(0) +
	              "Macintosh/Ventora.app/Contents/MacOS/Ventora.zip",
	          progress[0]);

	// A 'q' waiting at the packaging progress stops the build before the next
	// file, and what it had begun goes with it.
	ASSERT_EQ(0, system(("rm -rf '" + out + "disk_0'").c_str()));
	progress.clear();
	alerts.clear();
	poll_key = 'q';
	on_progress = [this]() {
		EXPECT_TRUE(vtest::path_exists(release(0) + "Macintosh/Ventora.app/Contents/MacOS/Ventora.zip"));
		EXPECT_FALSE(vtest::path_exists(release(0) + "Windows/Ventora.exe.zip"));
	};
	EXPECT_FALSE(build());
	on_progress = nullptr;
	EXPECT_EQ(1u, progress.size());
	ASSERT_EQ(1u, alerts.size());
	EXPECT_EQ(alert_fatal, alerts[0].kind);
	EXPECT_EQ("You pressed Q, so the build was stopped.", alerts[0].line1);
	EXPECT_EQ("The disc folders it had begun were removed.", alerts[0].line2);
	EXPECT_EQ("", alerts[0].line3 + alerts[0].line4);
	EXPECT_FALSE(vtest::path_exists(disc(0)));

	// The scan reports every 500 files met; a 'q' waiting then stops the build.
	std::vector<master_entry> bulk;
	for (int i = 0; i < 500; ++i) {
		char name[64];
		std::snprintf(name, sizeof(name), "All/Aircraft/bulk/f%03d.txt", i);
		bulk.push_back({name, "b"});
	}
	mtest::write_master(master, bulk);
	progress.clear();
	alerts.clear();
	poll_key = 'q';
	EXPECT_FALSE(build());
	ASSERT_EQ(1u, progress.size());
	EXPECT_EQ("reg: 0: total files recursed: 500. will compress: 500.|" + master + "All/Aircraft/bulk/f499.txt",
	          progress[0]);
	ASSERT_EQ(1u, alerts.size());
	EXPECT_EQ("You pressed Q, so the build was stopped.", alerts[0].line1);
	EXPECT_EQ("The disc folders it had begun were removed.", alerts[0].line2);
	EXPECT_TRUE(comp_files.size() == 500u);
	EXPECT_FALSE(vtest::path_exists(disc(0)));

	// Nothing of the stopped builds stands in the way of the next one.
	poll_key = 0;
	alerts.clear();
	ASSERT_TRUE(build()) << last_alert().line1 << " / " << last_alert().line2;
	EXPECT_TRUE(vtest::path_exists(release(0) + "directory.txt.zip"));
}

// With the shell's window up and no hooks, the strip is drawn and swapped
// (instead of printed) and exactly one queued event is taken per strip; only
// a lower-case 'q' pressed or repeating stops the build.
TEST_F(MakerTest, WindowStripTakesOneEventAndOnlyLowerCaseQStops)
{
	write(mtest::full_master());  // 21 files: one strip, while packaging
	struct row {
		const char* what;
		std::function<void(vtest::fake_platform&)> queue;
		bool stops;
		size_t left;  // events still queued after the build
	};
	const row rows[] = {
	    {"q pressed", [](vtest::fake_platform& f) { f.key(plat_evt_key_down, 12, 'q'); }, true, 0},
	    {"q repeating", [](vtest::fake_platform& f) { f.key(plat_evt_auto_key, 12, 'q'); }, true, 0},
	    {"q released", [](vtest::fake_platform& f) { f.key(plat_evt_key_up, 12, 'q'); }, false, 0},
	    {"shifted Q", [](vtest::fake_platform& f) { f.key(plat_evt_key_down, 12, 'Q', plat_mod_shift); }, false, 0},
	    {"another key", [](vtest::fake_platform& f) { f.key(plat_evt_key_down, 13, 'w'); }, false, 0},
	    {"nothing queued", [](vtest::fake_platform&) {}, false, 0},
	    {"q behind a click", [](vtest::fake_platform& f) {
		     f.press(5, 5);
		     f.key(plat_evt_key_down, 12, 'q');
	     }, false, 1},
	};
	maker_set_progress_hooks(nullptr, nullptr);
	vtest::fake_platform fake;
	static int window;
	mnw.window[0] = &window;
	ogl_inited = 1;
	std::ostringstream printed;
	struct restore {
		std::streambuf* was;
		~restore() { std::cout.rdbuf(was); }
	} keep{std::cout.rdbuf(printed.rdbuf())};
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		ASSERT_EQ(0, system(("rm -rf '" + out + "disk_0'").c_str()));
		fake.queue.clear();
		fake.swaps = 0;
		alerts.clear();
		r.queue(fake);
		EXPECT_EQ(!r.stops, build());
		EXPECT_EQ(1, fake.swaps);
		EXPECT_EQ(r.left, fake.queue.size());
		ASSERT_FALSE(alerts.empty());
		if (r.stops) {
			EXPECT_EQ(alert_fatal, last_alert().kind);
			EXPECT_EQ("You pressed Q, so the build was stopped.", last_alert().line1);
			EXPECT_EQ("Installer-f/make_installer", last_alert().source_file);
			EXPECT_EQ(214, last_alert().source_line);
			EXPECT_FALSE(vtest::path_exists(release(0) + "directory.txt.zip"));
			EXPECT_FALSE(vtest::path_exists(disc(0) + "dvd_version.txt"));
		} else {
			EXPECT_EQ(alert_warning, last_alert().kind);
			EXPECT_TRUE(vtest::path_exists(release(0) + "directory.txt.zip"));
		}
	}
	EXPECT_EQ("", printed.str());
}

// A build that fails at its last step takes its unfinished discs away (never
// an earlier build's), so the next build into the same output succeeds.
TEST_F(MakerTest, FailedBuildLeavesNothingInTheWayOfTheNext)
{
	write(mtest::full_master());
	mtest::make_dirs(out + "keep/disk_7");  // the operator's own, beside the discs
	// Something already sits where the zipped manifest goes.
	bool plain_written = false;
	on_progress = [this, &plain_written]() {
		mkdir((release(0) + "directory.txt.zip").c_str(), 0755);
		plain_written = vtest::path_exists(release(0) + "directory.txt");
	};
	EXPECT_FALSE(build());
	EXPECT_TRUE(plain_written);
	EXPECT_EQ("zip!=0", last_alert().line1);
	EXPECT_EQ(release(0) + "directory.txt", last_alert().line3);
	EXPECT_EQ(release(0) + "directory.txt.zip", last_alert().line4);
	EXPECT_FALSE(vtest::path_exists(disc(0)));
	EXPECT_TRUE(vtest::path_exists(out + "keep/disk_7"));

	on_progress = nullptr;
	alerts.clear();
	ASSERT_TRUE(build()) << last_alert().line1 << " / " << last_alert().line2;
	EXPECT_EQ(0u, built_manifest().find(kHeader));

	// A disc folder that was there before the build is reported, never removed.
	alerts.clear();
	EXPECT_FALSE(build());
	EXPECT_EQ("Could not make the dst_folder!", last_alert().line1);
	EXPECT_EQ("THIS MAY SIMPLY BE BECAUSE THE FOLDER ALREADY EXISTS THOUGH!", last_alert().line3);
	EXPECT_TRUE(vtest::path_exists(release(0) + "directory.txt.zip"));
}

// A file that cannot be signed stops the build rather than going out with
// another file's signature.
TEST_F(MakerTest, UnsignableFileStopsTheBuild)
{
	sim_name = kRelease;
	dst_folder = out + "disk_0/";
	mtest::make_dirs(release(0) + "All/Aircraft");
	mtest::make_dirs(master + "All/Aircraft");
	const std::string good = master + "All/Aircraft/a.acf";
	vtest::write_file_bytes(good, "signed");
	const std::string pipe = master + "All/Aircraft/pipe.acf";
	ASSERT_EQ(0, mkfifo(pipe.c_str(), 0644));
	vtest::write_file_bytes(pipe + ".7z", "premade");  // linked, so the pipe itself is never read for packing
	sim_info.clear();
	sim_info_index.clear();
	prev_dir = "---";
	ouf_open(tmp.path() + "manifest.txt", file_type_text, 900, "no-copyright-string");
	comp_file(good);
	try {
		comp_file(pipe);
		ADD_FAILURE() << "no fatal alert";
	} catch (const fatal_stop&) {
	}
	ouf.close();
	EXPECT_EQ("Could not MD5 file!", last_alert().line1);
	EXPECT_EQ(pipe, last_alert().line2);
	EXPECT_EQ(alert_fatal, last_alert().kind);
	const std::string text = vtest::read_file_bytes(tmp.path() + "manifest.txt");
	EXPECT_NE(std::string::npos, text.find(" a.acf\n"));
	EXPECT_EQ(std::string::npos, text.find("pipe.acf"));
}

// An archive that cannot be made on the disc stops the build with its own alert.
TEST_F(MakerTest, ArchiveThatCannotBeMadeStopsTheBuild)
{
	sim_name = kRelease;
	dst_folder = out + "disk_0/";
	vtest::write_file_bytes(out + "disk_0", "a file where the disc folder goes");
	write({{"All/Aircraft/a.acf", "plain"}, {"All/Aircraft/t.dsf", "tile"}, {"All/Aircraft/t.dsf.7z", "premade"}});
	sim_info.clear();
	sim_info_index.clear();
	prev_dir = "---";
	struct row {
		const char* rel;
		std::string line1, line3, line4;
		bool line2_empty;
	};
	const std::string a = master + "All/Aircraft/a.acf", t = master + "All/Aircraft/t.dsf";
	const row rows[] = {
	    {"All/Aircraft/a.acf", "I could not zip a file!", a, release(0) + "All/Aircraft/a.acf.zip", false},
	    {"All/Aircraft/t.dsf", "ERROR: could not make hard link!", "", "", true},
	};
	ouf_open(tmp.path() + "manifest.txt", file_type_text, 900, "no-copyright-string");
	for (const row& r : rows) {
		SCOPED_TRACE(r.rel);
		alerts.clear();
		EXPECT_THROW(comp_file(master + r.rel), fatal_stop);
		ASSERT_EQ(1u, alerts.size());
		EXPECT_EQ(alert_fatal, alerts[0].kind);
		EXPECT_EQ(r.line1, alerts[0].line1);
		EXPECT_EQ(r.line2_empty, alerts[0].line2.empty());  // the zip failure names its error
		EXPECT_EQ(r.line3, alerts[0].line3);
		EXPECT_EQ(r.line4, alerts[0].line4);
	}
	ouf.close();
	EXPECT_EQ(std::string("I\n900 version\n"), vtest::read_file_bytes(tmp.path() + "manifest.txt"));
}

// ---------------------------------------------------------------------------
// File selection

TEST_F(MakerTest, FileSelectionByNameAndReleaseKind)
{
	struct row {
		const char* rel;
		int product_log, product, mars, moon;  // accepted by build types 0, 1, 2, 3
	};
	const row rows[] = {
	    {"All/Aircraft/c4.acf", 1, 1, 0, 0},
	    {"All/Aircraft/c4.acf.7z", 0, 0, 0, 0},
	    {"All/Aircraft/Thumbs.db", 0, 0, 0, 0},
	    {"All/Aircraft/work.txt", 0, 0, 0, 0},
	    {"All/Aircraft/._c4.acf", 0, 0, 0, 0},
	    {"All/Aircraft/.DS_Store", 0, 0, 0, 0},
	    {"All/Aircraft/.sandboxinfo", 0, 0, 0, 0},
	    {"Macintosh/Ventora.xSYM/x", 0, 0, 0, 0},
	    {"All/Output/map.ovw", 0, 0, 0, 0},
	    {"All/Aircraft/model.ac", 0, 0, 0, 0},
	    {"All/Aircraft/model.acf", 1, 1, 0, 0},
	    {"All/Resources/serverlist.txt", 0, 0, 0, 0},
	    {"All/Output/Ventora Pilot.txt", 0, 0, 0, 0},
	    {"All/Output/x.prf", 0, 0, 0, 0},
	    {"All/Output/x.fms", 0, 0, 0, 0},
	    {"All/Output/x.sit", 0, 0, 0, 0},
	    {"All/Output/x.mov", 0, 0, 0, 0},
	    {"All/Output/x.mov.txt", 1, 1, 0, 0},
	    {"All/Output/x.bak", 0, 0, 0, 0},
	    {"All/Output/x.dsf.txt", 0, 0, 0, 0},
	    {"All/Output/X.PRF", 1, 1, 0, 0},  // the name tests are case-sensitive
	    {"All/install_pfc Aircraft/a.acf", 0, 0, 0, 0},
	    {"All/Global Scenery/-global terrain-/+40-120.dsf", 0, 1, 0, 0},
	    {"All/Global Scenery/-global overlays-/+40-120.dsf", 0, 1, 0, 0},
	    {"All/Global Scenery/other/+40-120.dsf", 1, 1, 0, 0},
	    {"All/Resources/default scenery/900 red terrain/r.txt", 0, 1, 0, 0},
	    {"All/Resources/bitmaps/Earth Orbit Textures/e.png", 0, 1, 0, 0},
	    {"All/Custom Scenery/DSF 900 Mars World-Wide/a.dsf", 0, 0, 1, 0},
	    {"All/Custom Scenery/DSF 900 Moon World-Wide/a.dsf", 0, 0, 0, 1},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.rel);
		const int want[] = {r.product_log, r.product, r.mars, r.moon};
		for (int type = 0; type < 4; ++type) {
			build_type = type;
			EXPECT_EQ(want[type], is_good_file(master + r.rel, 0, 0)) << "build type " << type;
		}
	}

	// The readability check maps the file: missing and empty files are refused,
	// links are taken as they are.
	build_type = 1;
	write({{"All/Aircraft/a.acf", "x"}, {"All/Aircraft/empty.acf", ""}, {"All/Aircraft/l.acf", "gone", true}});
	EXPECT_EQ(1, is_good_file(master + "All/Aircraft/a.acf", 0, 1));
	EXPECT_EQ(0, is_good_file(master + "All/Aircraft/empty.acf", 0, 1));
	EXPECT_EQ(0, is_good_file(master + "All/Aircraft/missing.acf", 0, 1));
	EXPECT_EQ(1, is_good_file(master + "All/Aircraft/missing.acf", 0, 0));
	EXPECT_EQ(1, is_good_file(master + "All/Aircraft/l.acf", 0, 1));
}

// ---------------------------------------------------------------------------
// History keys

TEST_F(MakerTest, HistoryKeysDropThePlatformFolder)
{
	struct row {
		const char* path;
		int platform;
		const char* key;
	};
	for (row r : {row{"All/Resources/a.txt", 0, "ALL_os/Resources/a.txt"}, row{"Macintosh/X.app", 1, "APL_os/X.app"},
	              row{"Windows/x.exe", 2, "IBM_os/x.exe"}, row{"Linux/x", 3, "LIN_os/x"},
	              row{"All/Resources/plugins/VNTM.so", 6, "/Resources/plugins/VNTM.so"}}) {
		std::string p = r.path;
		chop_platform(p, r.platform);
		EXPECT_EQ(r.key, p);
	}
	std::string none = "nofolder";
	EXPECT_THROW(chop_platform(none, 0), fatal_stop);
	EXPECT_EQ("Could not find the dir char!", last_alert().line1);
	EXPECT_EQ("nofolder", last_alert().line2);
}

}  // namespace
