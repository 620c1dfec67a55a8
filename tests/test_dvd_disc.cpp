// The installer discs over folders laid out as discs: finding the disc of the
// set among the mounted volumes, its VERSION lines, the manifest read once,
// the fatal alert, checking and changing discs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_prefix.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dvd.h"
#include "Installer-f/utils_grab.h"
#include "Platform/plat_files.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/files_tmp.h"

namespace {

const std::string kSig = "0123456789abcdef0123456789abcdef";
const std::string kIdentityHeader = "I\n900 version\nDVD\n";

class DvdDisc : public ::testing::Test {
protected:
	void SetUp() override
	{
		alerts.clear();
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
		std::memset(&stg, 0, sizeof(stg));
		stg_set_start_values();
		stg.stage = 0;
		stg.server_count = -1;
		sim_info.clear();
		dvd_path.clear();
		install_name = no_install_name;
		current_disk = 0;
		want_file_disk = 0;
		tmp.mkdir("temp");
		temp_path = tmp("temp/");
		dvd_set_volume_lister([this] { return volumes; });
	}
	void TearDown() override
	{
		dvd_set_volume_lister(nullptr);
		MACIBM_set_alert_sink(nullptr);
		sim_info.clear();
		dvd_path.clear();
		install_name = no_install_name;
	}

	// A folder laid out as a disc: identity file (when given) and files.
	std::string disc(const std::string& name, const std::string& identity,
	                 const std::vector<std::pair<std::string, std::string>>& files = {})
	{
		tmp.mkdir(name);
		if (!identity.empty()) tmp.write(name + "/dvd_version.txt", identity);
		for (const auto& f : files) {
			std::string rel = name + "/";
			for (size_t s = 0, e; (e = f.first.find('/', s)) != std::string::npos; s = e + 1) {
				rel = name + "/" + f.first.substr(0, e);
				tmp.mkdir(rel);
			}
			tmp.write(name + "/" + f.first, f.second);
		}
		return tmp(name + "/");
	}
	std::string manifest_zip(const std::string& manifest)
	{
		const std::string path = tmp("manifest.zip");
		EXPECT_TRUE(atest::write_zip(path, {{"directory.txt", manifest}}));
		return vtest::read_file_bytes(path);
	}

	files_tmp tmp;
	std::vector<std::string> volumes;
	std::vector<alert_record> alerts;
};

TEST_F(DvdDisc, LocateTakesTheFirstQualifyingVolumeInMountOrder)
{
	const std::string none = disc("none", "");
	const std::string wrong_kw = disc("wrong_kw", "I\n900 version\nINSTALLER\nVERSION X\n");
	const std::string wrong_ver = disc("wrong_ver", "I\n840 version\nDVD\nVERSION X\n");
	const std::string first = disc("first", kIdentityHeader + "VERSION A\n", {{"A/f.zip", "z"}});
	const std::string second = disc("second", kIdentityHeader + "VERSION A\n", {{"A/g.zip", "z"}});
	// A root without its '/' is given one.
	const std::string bare = second.substr(0, second.size() - 1);

	struct row {
		const char* name;
		std::vector<std::string> vols;
		std::string wanted;
		std::string before, after;
	} rows[] = {
	    {"identity: first good one wins", {none, wrong_kw, wrong_ver, first, second}, "", "", first},
	    {"identity: none qualifies keeps empty", {none, wrong_kw, wrong_ver}, "", "", ""},
	    {"identity: none qualifies keeps old", {none}, "", "/old/", "/old/"},
	    {"wanted: the volume holding it", {first, bare}, "A/g.zip", "", second},
	    {"wanted: a folder cannot be read", {first}, "A", "/old/", "/old/"},
	    {"wanted: missing keeps old", {first, second}, "A/h.zip", "/old/", "/old/"},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		volumes = r.vols;
		dvd_path = r.before;
		locate_installer_dvd(r.wanted);
		EXPECT_EQ(dvd_path, r.after);
	}
}

TEST_F(DvdDisc, VersionLinesNameTheSet)
{
	struct row {
		const char* name;
		std::string identity;
		std::string expected;  // no_install_name when unchanged
		int server_count;
	} rows[] = {
	    {"plain", kIdentityHeader + "VERSION Ventora 9\n", "Ventora 9", 0},
	    {"blanks and tabs, CR LF, trailing blanks kept", kIdentityHeader + "\t  VERSION \t My Set  \r\nX\n",
	     "My Set  ", 0},
	    {"later line overwrites", kIdentityHeader + "VERSION one\nOTHER two\nVERSION three\n", "three", 0},
	    {"letter after the word: not a VERSION line", kIdentityHeader + "VERSIONS x\n", no_install_name, 0},
	    {"VERSION alone at the end of the data", kIdentityHeader + "junk line\nVERSION", "", 0},
	    {"VERSION with NUL after it", kIdentityHeader + std::string("VERSION\0rest\n", 13), "", 0},
	    {"no VERSION line", kIdentityHeader + "NAME x\n", no_install_name, 0},
	    {"wrong keyword changes nothing", "I\n900 version\nINSTALLER\nVERSION x\n", no_install_name, -1},
	    {"wrong version changes nothing", "I\n1000 version\nDVD\nVERSION x\n", no_install_name, -1},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		install_name = no_install_name;
		stg.server_count = -1;
		stg.stage = 1;  // stop before the manifest
		const std::string root = disc("d", r.identity);
		volumes = {root};
		dvd_path = root;
		UTIL_scan_dvd();
		EXPECT_EQ(install_name, r.expected);
		EXPECT_EQ(stg.server_count, r.server_count);
	}
	EXPECT_TRUE(alerts.empty());
}

TEST_F(DvdDisc, ScanFindsTheDiscAndReadsTheManifestOnce)
{
	const std::string manifest = "I\n900 version\nINSTALLER\nDIR Top/\nFILE 0 1 10 1 1 " + kSig +
	                             " a.txt\nDISK 1\nFILE 0 1 10 1 1 " + kSig + " b.txt\n";
	const std::string root = disc("d1", kIdentityHeader + "VERSION Set\n", {{"Set/directory.txt.zip", manifest_zip(manifest)}});
	volumes = {};
	UTIL_scan_dvd();  // nothing mounted yet
	EXPECT_EQ(dvd_path, "");
	EXPECT_EQ(stg.stage, 0);

	volumes = {root};
	UTIL_scan_dvd();
	EXPECT_EQ(dvd_path, root);
	EXPECT_EQ(install_name, "Set");
	ASSERT_EQ(stg.stage, 3);
	ASSERT_EQ(sim_info.size(), 2u);
	EXPECT_EQ(sim_info[1].back().disk, 1);

	// Read once: a later frame does not touch the disc's manifest again.
	tmp.write("d1/Set/directory.txt.zip", "broken");
	sim_info[0].back().install = 7;
	UTIL_scan_dvd();
	EXPECT_EQ(stg.stage, 3);
	EXPECT_EQ(sim_info[0].back().install, 7);
	EXPECT_TRUE(alerts.empty());
}

TEST_F(DvdDisc, BadManifestIsStageTwo)
{
	const std::string root =
	    disc("d", kIdentityHeader + "VERSION Set\n", {{"Set/directory.txt.zip", manifest_zip("I\n900 version\nINSTALLER\nFILE 0 1 1 1 1 " + kSig + " ../escape\n")}});
	volumes = {root};
	UTIL_scan_dvd();
	EXPECT_EQ(stg.stage, 2);
}

TEST_F(DvdDisc, ManifestThatCannotBeExtractedIsFatal)
{
	for (const char* content : {"", "not a zip"}) {
		SCOPED_TRACE(content);
		alerts.clear();
		install_name = no_install_name;
		dvd_path.clear();
		const std::string root = disc("d", kIdentityHeader + "VERSION Set\n");
		if (*content) {
			tmp.mkdir("d/Set");
			tmp.write("d/Set/directory.txt.zip", content);
		}
		volumes = {root};
		UTIL_scan_dvd();
		ASSERT_EQ(alerts.size(), 1u);
		const alert_record& a = alerts[0];
		EXPECT_EQ(a.kind, alert_fatal);
		EXPECT_EQ(a.source_file, "Installer-f/main");
		EXPECT_EQ(a.source_line, 428);
		EXPECT_EQ(a.line1, "DVD scan: The installer cannot extract a file.");
		EXPECT_EQ(a.line2.rfind("Error: ", 0), 0u);
		EXPECT_GT(a.line2.size(), 8u);
		EXPECT_EQ(a.line3, "Compressed File  " + root + "Set/directory.txt.zip.");
		EXPECT_EQ(a.line4, "Destination Path: " + temp_path + ".");
		EXPECT_EQ(stg.stage, 0);
	}
}

TEST_F(DvdDisc, NamesThatAreNoFolderNameReadNothing)
{
	// A manifest beside the disc root that "..", for one, would reach.
	tmp.write("directory.txt.zip", manifest_zip("I\n900 version\nINSTALLER\nFILE 0 1 1 1 1 " + kSig + " T/a\n"));
	for (const char* name : {"..", ".", "a/b", ""}) {
		SCOPED_TRACE(name);
		install_name = no_install_name;
		dvd_path.clear();
		const std::string root = disc("d", kIdentityHeader + "VERSION " + name + "\n");
		volumes = {root};
		UTIL_scan_dvd();
		EXPECT_EQ(install_name, name);
		EXPECT_EQ(dvd_install_name_ok(install_name), 0);
		EXPECT_EQ(stg.stage, 0);
		EXPECT_TRUE(sim_info.empty());
		EXPECT_TRUE(alerts.empty());
	}
	EXPECT_EQ(dvd_install_name_ok("Ventora 9"), 1);
	EXPECT_EQ(dvd_install_name_ok(no_install_name), 0);
}

// Manifest with a file per disc: 0 on disc 0, 1 (scenery) and 2 on disc 1.
class DvdChange : public DvdDisc {
protected:
	void SetUp() override
	{
		DvdDisc::SetUp();
		install_name = "Set";
		auto add = [](const std::string& path, int disk) {
			file_version_struct v;
			v.path = path;
			v.disk = disk;
			v.sig_want = kSig;
			sim_info.push_back({v});
		};
		add("Top/a.txt", 0);
		add("Top/Global Scenery/+40-120.dsf", 1);
		add("Top/b.txt", 1);
		d0 = disc("d0", kIdentityHeader + "VERSION Set\n", {{"Set/Top/a.txt.zip", "z"}});
		d1 = disc("d1", kIdentityHeader + "VERSION Set\n",
		          {{"Set/Top/Global Scenery/+40-120.dsf.zip", "z"}, {"Set/Top/b.txt.zip", "z"}});
		d1b = disc("d1b", kIdentityHeader + "VERSION Set\n", {{"Set/Top/Global Scenery/+40-120.dsf.7z", "z"}});
	}
	std::string d0, d1, d1b;
};

TEST_F(DvdChange, VerifyFindsTheDiscHoldingTheWantedArchive)
{
	struct row {
		const char* name;
		std::vector<std::string> vols;
		int want;
		int result;
		std::string path_after;
		int disk_after;
	} rows[] = {
	    {"wrong disc only", {d0}, 2, 0, "", 5},
	    {"right disc after others", {d0, d1}, 2, 1, d1, 1},
	    {"archive on the first disc", {d1, d0}, 0, 1, d0, 0},
	    {"scenery under .7z", {d1b}, 1, 1, d1b, 1},
	    {"scenery the maker wrote as .zip", {d0, d1}, 1, 1, d1, 1},
	    {"nothing mounted", {}, 0, 0, "", 5},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		volumes = r.vols;
		dvd_path.clear();
		current_disk = 5;
		want_file_disk = r.want;
		EXPECT_EQ(UTIL_verify_disk(), r.result);
		EXPECT_EQ(dvd_path, r.path_after);
		EXPECT_EQ(current_disk, r.disk_after);
	}
	// The archive name follows what the disc holds.
	dvd_path = d1;
	EXPECT_EQ(dvd_archive_rel(1), "Set/Top/Global Scenery/+40-120.dsf.zip");
	dvd_path = d1b;
	EXPECT_EQ(dvd_archive_rel(1), "Set/Top/Global Scenery/+40-120.dsf.7z");
	EXPECT_EQ(dvd_archive_rel(2), "Set/Top/b.txt.zip");
}

TEST_F(DvdChange, SwitchLeavesAFolderAloneAndAsksForTheWantedDisc)
{
	volumes = {d0};
	dvd_path = d0;
	want_file_disk = 2;
	EXPECT_EQ(UTIL_switch_disk(0), 1);
	EXPECT_EQ(dvd_path, d0);
	// Not an optical disc: forgotten, never ejected.
	EXPECT_EQ(UTIL_switch_disk(1), 1);
	EXPECT_EQ(dvd_path, "");
	EXPECT_TRUE(vtest::path_exists(d0 + "Set/Top/a.txt.zip"));
	want_file_disk = 0;
	EXPECT_EQ(UTIL_switch_disk(1), 0);
	EXPECT_EQ(current_disk, 0);
}

TEST(DvdVolumes, MountTableListsRealRootsWithoutPseudoFileSystems)
{
	const std::vector<std::string> roots = APL_volume_roots();
	ASSERT_FALSE(roots.empty());
	for (const std::string& r : roots) {
		EXPECT_EQ(r.back(), '/');
		EXPECT_NE(r, "/proc/");
		EXPECT_NE(r, "/sys/");
	}
	EXPECT_NE(std::find(roots.begin(), roots.end(), std::string("/")), roots.end());
}

}  // namespace
