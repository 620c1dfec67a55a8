#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "Platform/plat_files.h"
#include "tests/support/files_tmp.h"

namespace {

std::string pattern(size_t n)
{
	std::string s(n, 0);
	for (size_t i = 0; i < n; ++i) s[i] = (char)((i * 131 + i / 251) & 0xFF);
	return s;
}

mode_t mode_of(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

bool is_link(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Collects alerts for the length of a test.
struct alert_capture {
	alert_capture()
	{
		MACIBM_set_alert_sink([this](const alert_record& r) { seen.push_back(r); });
	}
	~alert_capture() { MACIBM_set_alert_sink(nullptr); }
	std::vector<alert_record> seen;
};

}  // namespace

TEST(FilesOps, MakeDeleteRenameAndTheirFailureRecords)
{
	files_tmp t;
	EXPECT_EQ(make_folder(t("a/")), 0);
	EXPECT_EQ(make_folder(t("a")), EEXIST);
	EXPECT_EQ(show_make_dir_err(EEXIST), 0);
	EXPECT_EQ(show_make_dir_err(-48), 0);
	EXPECT_EQ(show_make_dir_err(0), 0);
	EXPECT_EQ(show_make_dir_err(ENOENT), 1);
	const mode_t mask = umask(0);
	umask(mask);
	EXPECT_EQ(mode_of(t("a")), 0755u & ~mask);

	sErrLine = -1;
	EXPECT_EQ(make_folder(t("x/b/c/")), ENOENT);
	EXPECT_STREQ(sErrFile, "DIzivoz/Files/io_utils");
	EXPECT_EQ(sErrLine, 462);

	sErrLine = -1;
	EXPECT_EQ(delete_file(""), ENOENT);
	EXPECT_EQ(sErrLine, -1);  // nothing was tried
	t.write("a/f", "x");
	EXPECT_EQ(delete_file(t("a/")), ENOTEMPTY);
	EXPECT_EQ(sErrLine, 209);
	EXPECT_EQ(delete_file(t("a/missing")), ENOENT);
	EXPECT_EQ(sErrLine, 214);
	EXPECT_EQ(show_del_err(ENOENT), 0);

	t.write("a/g", "new");
	EXPECT_EQ(rename_file(t("a/"), "g", "f"), 0);  // replaces the existing target
	EXPECT_EQ(t.read("a/f"), "new");
	EXPECT_FALSE(file_exists(t("a/g")));
	EXPECT_EQ(rename_file(t("a/"), "g", "h"), ENOENT);
	EXPECT_EQ(sErrLine, 438);

	EXPECT_EQ(delete_file(t("a/f")), 0);
	EXPECT_EQ(delete_file(t("a/")), 0);
	EXPECT_FALSE(dir_exists(t("a")));
}

TEST(FilesOps, ExistenceSizesAndLinks)
{
	files_tmp t;
	t.mkdir("d");
	t.write("f", "12345");
	ASSERT_EQ(symlink("d", t("ld").c_str()), 0);
	ASSERT_EQ(symlink("f", t("lf").c_str()), 0);
	ASSERT_EQ(symlink("nowhere", t("dangling").c_str()), 0);

	const struct {
		const char* rel;
		int dir, file, link;
		int64_t size;
	} cases[] = {
	    {"d", 1, 0, 0, -1},  {"d/", 1, 0, 0, -1}, {"f", 0, 1, 0, 5},        {"ld", 1, 0, 1, -1},
	    {"lf", 0, 1, 1, 5}, {"missing", 0, 0, 0, -1}, {"dangling", 0, 0, 1, -1},
	};
	for (const auto& c : cases) {
		EXPECT_EQ(dir_exists(t(c.rel)), c.dir) << c.rel;
		EXPECT_EQ(file_exists(t(c.rel)), c.file) << c.rel;
		EXPECT_EQ(is_sim_link(t(c.rel), nullptr), c.link) << c.rel;
		EXPECT_EQ(APL_file_size(t(c.rel)), c.size) << c.rel;
	}
	std::string target;
	EXPECT_EQ(is_sim_link(t("dangling"), &target), 1);
	EXPECT_EQ(target, "nowhere");

	// Sizes beyond 32 bits come back whole.
	const std::string big = t("big");
	t.write("big", "");
	ASSERT_EQ(truncate(big.c_str(), 5000000000LL), 0);
	EXPECT_EQ(APL_file_size(big), 5000000000LL);

	EXPECT_EQ(make_file_executable(t("f")), 0);
	EXPECT_EQ(mode_of(t("f")), 0755u);
	EXPECT_EQ(make_file_executable(t("missing")), ENOENT);
}

TEST(FilesOps, FreeSpaceOfTheContainingFolder)
{
	files_tmp t;
	uint64_t total = 0, free_bytes = 0;
	EXPECT_EQ(get_free_space(t("not-made-yet/"), &total, &free_bytes), 0);  // only its parent must exist
	EXPECT_GT(total, 0u);
	EXPECT_LE(free_bytes, total);
	EXPECT_EQ(get_free_space(t("file"), nullptr, &free_bytes), 0);
	total = free_bytes = 7;
	EXPECT_EQ(get_free_space(t("no/such/thing"), &total, &free_bytes), ENOENT);
	EXPECT_EQ(total, 7u);
	EXPECT_EQ(free_bytes, 7u);
}

TEST(FilesOps, CopyKeepsContentAndPermissions)
{
	files_tmp t;
	const struct {
		size_t size;
		mode_t mode;
	} cases[] = {{0, 0644}, {65536, 0755}, {65537, 0600}, {131072, 0750}};
	for (const auto& c : cases) {
		const std::string name = "src" + std::to_string(c.size);
		t.write(name, pattern(c.size));
		chmod(t(name).c_str(), c.mode | S_ISUID);
		t.write("dst", "old content that is longer than some sources");
		EXPECT_EQ(copy_file(t(name), t("dst")), 0) << c.size;
		EXPECT_EQ(t.read("dst"), pattern(c.size)) << c.size;
		EXPECT_EQ(mode_of(t("dst")), c.mode) << c.size;  // set-id bits dropped
	}
	EXPECT_EQ(copy_file(t("missing"), t("dst2")), ENOENT);
	EXPECT_EQ(copy_file(t("src0"), t("nofolder/dst")), ENOENT);

	// A copy onto itself must not empty the file.
	EXPECT_NE(copy_file(t("src65536"), t("src65536")), 0);
	EXPECT_EQ(t.read("src65536"), pattern(65536));
	ASSERT_EQ(symlink("src65537", t("alias").c_str()), 0);
	EXPECT_NE(copy_file(t("src65537"), t("alias")), 0);
	EXPECT_EQ(t.read("src65537"), pattern(65537));
}

TEST(FilesOps, RecursiveCopyFollowsLinksButNotCycles)
{
	files_tmp t;
	t.mkdir("outside");
	t.write("outside/o.txt", "outside");
	t.mkdir("src");
	t.mkdir("src/sub");
	t.write("src/a.txt", "a");
	t.write("src/.hidden", "h");
	t.write("src/sub/b.bin", pattern(70000));
	chmod(t("src/sub/b.bin").c_str(), 0700);
	ASSERT_EQ(symlink("../a.txt", t("src/sub/to_file").c_str()), 0);
	ASSERT_EQ(symlink(t("outside").c_str(), t("src/to_outside").c_str()), 0);
	ASSERT_EQ(symlink("..", t("src/sub/loop").c_str()), 0);  // leads back to src

	EXPECT_EQ(copy_file_recursive(t("src"), t("dst")), 0);
	EXPECT_EQ(t.read("dst/a.txt"), "a");
	EXPECT_EQ(t.read("dst/sub/b.bin"), pattern(70000));
	EXPECT_EQ(mode_of(t("dst/sub/b.bin")), 0700u);
	EXPECT_FALSE(is_link(t("dst/sub/to_file")));
	EXPECT_EQ(t.read("dst/sub/to_file"), "a");
	EXPECT_TRUE(dir_exists(t("dst/to_outside")));
	EXPECT_FALSE(is_link(t("dst/to_outside")));
	EXPECT_EQ(t.read("dst/to_outside/o.txt"), "outside");
	EXPECT_FALSE(file_exists(t("dst/.hidden")));
	EXPECT_FALSE(dir_exists(t("dst/sub/loop")));  // the cycle was skipped

	// A single file goes through the plain copy.
	EXPECT_EQ(copy_file_recursive(t("src/a.txt"), t("one.txt")), 0);
	EXPECT_EQ(t.read("one.txt"), "a");
	EXPECT_EQ(copy_file_recursive(t("src/none"), t("none")), ENOENT);

	// A tree copied into itself is copied once, not again inside the copy.
	EXPECT_EQ(copy_file_recursive(t("src"), t("src/sub/copy")), 0);
	EXPECT_EQ(t.read("src/sub/copy/a.txt"), "a");
	EXPECT_EQ(t.read("src/sub/copy/sub/b.bin"), pattern(70000));
	EXPECT_FALSE(dir_exists(t("src/sub/copy/sub/copy")));
}

TEST(FilesOps, RecursiveDeleteAsksTheFileSystemWhatEachEntryIs)
{
	files_tmp t;
	t.mkdir("keep");
	t.write("keep/k.txt", "k");
	t.mkdir("tree");
	t.mkdir("tree/maps.txt");  // a folder with a file-like name
	t.write("tree/maps.txt/inner.png", "p");
	t.mkdir("tree/deep");
	t.mkdir("tree/deep/er");
	t.write("tree/deep/er/x", "x");
	ASSERT_EQ(symlink(t("keep").c_str(), t("tree/link_to_folder").c_str()), 0);
	ASSERT_EQ(symlink(t("keep/k.txt").c_str(), t("tree/deep/link_to_file").c_str()), 0);
	ASSERT_EQ(symlink("missing", t("tree/dangling").c_str()), 0);

	EXPECT_EQ(recursive_delete_folder(t("tree/")), 0);
	EXPECT_FALSE(dir_exists(t("tree")));
	EXPECT_FALSE(is_link(t("tree")));
	EXPECT_EQ(t.read("keep/k.txt"), "k");  // link targets untouched

	// A hidden entry is not listed, so its folder cannot be removed.
	t.mkdir("hid");
	t.mkdir("hid/a");
	t.write("hid/a/.dot", "d");
	t.write("hid/z", "z");
	EXPECT_EQ(recursive_delete_folder(t("hid/")), ENOTEMPTY);
	EXPECT_EQ(t.read("hid/a/.dot"), "d");
	EXPECT_EQ(t.read("hid/z"), "z");  // the walk ended at the failure
}

TEST(FilesOps, ListingFiltersTypesAndSorting)
{
	files_tmp t;
	for (const char* f : {"readme.TXT", "image.png", ".hidden.txt", "b.dat", "A.dat", "c.DAT",
	                      "plane.acf", "pic.BMP", "panel-2.png", "x", "tile.dsf"})
		t.write(f, "");
	t.mkdir("data");
	t.mkdir("Zed.txt");
	t.mkdir("target");
	ASSERT_EQ(symlink("target", t("flink").c_str()), 0);

	std::vector<std::string> names;
	std::vector<int> types;
	const struct {
		int filter;
		std::vector<std::string> names;
		std::vector<int> types;
	} cases[] = {
	    // A link to a folder is no folder; a folder named like a text file is typed by its name.
	    {ftype_txt, {"data", "readme.TXT", "target", "Zed.txt"}, {1, 19, 1, 19}},
	    {0,
	     {"A.dat", "b.dat", "c.DAT", "data", "flink", "image.png", "panel-2.png", "pic.BMP",
	      "plane.acf", "readme.TXT", "target", "tile.dsf", "x", "Zed.txt"},
	     {0, 0, 0, 1, 0, 2, 2, 2, 3, 19, 1, 17, 0, 19}},
	    {ftype_folders_and_images,
	     {"data", "image.png", "pic.BMP", "target"},
	     {1, 2, 2, 1}},
	    {ftype_folder, {"data", "target"}, {1, 1}},
	    {ftype_nothing, {}, {}},
	};
	for (const auto& c : cases) {
		EXPECT_EQ(opensave_getitems(t.root, c.filter, names, types), (int)c.names.size()) << c.filter;
		EXPECT_EQ(names, c.names) << c.filter;
		EXPECT_EQ(types, c.types) << c.filter;
	}
	EXPECT_EQ(opensave_getitems(t("nowhere/"), 0, names, types), 0);
	EXPECT_TRUE(names.empty());

	alert_capture alerts;
	EXPECT_EQ(opensave_getitems(t("data"), 0, names, types), 0);
	ASSERT_EQ(alerts.seen.size(), 1u);
	EXPECT_EQ(alerts.seen[0].line1, "Working path does not appear to be a directory!");
	EXPECT_EQ(alerts.seen[0].line2, "This is not consistent with my labelling practices!");
	EXPECT_EQ(alerts.seen[0].line3, "I need to end all paths with the directory indicator!");
	EXPECT_EQ(alerts.seen[0].line4, t("data"));
	EXPECT_EQ(alerts.seen[0].kind, alert_fatal);
	EXPECT_EQ(alerts.seen[0].source_file, "DIzivoz/Files/io_utils");
	EXPECT_EQ(alerts.seen[0].source_line, 686);
}

TEST(FilesOps, ImageListingLeavesOutCockpitPanels)
{
	// The exclusion looks at the path as given, so list relative to a folder
	// of the test's own.
	files_tmp t;
	char here[4096];
	ASSERT_TRUE(getcwd(here, sizeof(here)));
	ASSERT_EQ(chdir(t.root.c_str()), 0);
	for (const char* d : {"resources", "resources/BITMAPS", "resources/BITMAPS/cockpit",
	                      "resources/BITMAPS/cockpit/-panels-", "resources/BITMAPS/cockpit/dials"})
		t.mkdir(d);
	for (const char* f : {"gauge.png", "gauge-3.png", "-panel.png", "notes.txt", "-panels-/x.png"})
		t.write(std::string("resources/BITMAPS/cockpit/") + f, "");
	std::vector<std::string> names;
	std::vector<int> types;
	const struct {
		const char* folder;
		std::vector<std::string> names;
	} cases[] = {
	    // Only the first 32 characters of the panels folder are compared.
	    {"resources/BITMAPS/cockpit/", {"dials", "gauge.png"}},
	    {"resources/BITMAPS/cockpit/-panels-/", {}},
	};
	for (const auto& c : cases) {
		EXPECT_EQ(opensave_getitems(c.folder, ftype_folders_and_images, names, types), (int)c.names.size());
		EXPECT_EQ(names, c.names) << c.folder;
	}
	EXPECT_EQ(opensave_getitems("resources/BITMAPS/cockpit/-panels-/", 0, names, types), 1);
	ASSERT_EQ(chdir(here), 0);
}

TEST(FilesOps, ListingOfTheCommandRegistry)
{
	cmnd.add_cmd("ftest/zeta", "z");
	cmnd.add_cmd("ftest/alpha/one", "1");
	cmnd.add_cmd("ftest/alpha/two", "2");
	std::vector<std::string> names;
	std::vector<int> types;
	EXPECT_EQ(opensave_getitems("ftest/", ftype_commands, names, types), 3);
	EXPECT_EQ(names, (std::vector<std::string>{"alpha", "alpha", "zeta"}));
	EXPECT_EQ(types, (std::vector<int>{1, 1, 21}));
}

TEST(FilesOps, LargeAddressFlagOfWindowsExecutables)
{
	files_tmp t;
	std::string exe(200, 0);
	exe[0] = 'M';
	exe[1] = 'Z';
	exe[60] = (char)0x80;  // PE header at 128
	exe.replace(128, 4, std::string("PE\0\0", 4));
	exe[128 + 22] = 0x02;
	std::string no_pe = exe;
	no_pe[129] = 'X';
	t.write("app.exe", exe);
	t.write("nope.exe", no_pe);
	t.write("text.txt", std::string(80, 'a'));
	t.write("short.exe", "MZ");
	std::string far = exe.substr(0, 64);
	far[60] = (char)0xF0;  // points past the end
	t.write("far.exe", far);

	const struct {
		const char* rel;
		int result;
	} cases[] = {{"text.txt", err_not_mz}, {"short.exe", EIO}, {"nope.exe", err_not_pe},
	             {"far.exe", EIO},          {"missing.exe", ENOENT}};
	for (const auto& c : cases) EXPECT_EQ(make_file_large_address_aware(t(c.rel)), c.result) << c.rel;
	EXPECT_EQ(t.read("nope.exe"), no_pe);

	for (int round = 0; round < 2; ++round) {
		EXPECT_EQ(make_file_large_address_aware(t("app.exe")), 0);
		std::string want = exe;
		want[128 + 22] = 0x22;
		EXPECT_EQ(t.read("app.exe"), want);
	}
}

TEST(FilesOps, HeaderWriter)
{
	files_tmp t;
	ASSERT_EQ(ouf_open(t("prefs.PRF"), file_type_text, 9002, "no-copyright-string"), 1);
	ouf << "key value\n";
	ouf.close();
	EXPECT_FALSE(file_exists(t("prefs.PRF")));
	EXPECT_EQ(t.read("prefs.prf"), "I\n9002 version\nkey value\n");

	ASSERT_EQ(ouf_open(t("c.txt"), file_type_text, 900, " (c) someone"), 1);
	ouf << 1.5 << "\n";
	ouf.close();
	EXPECT_EQ(t.read("c.txt"), "I\n900 version (c) someone\n1.500000\n");

	// One missing folder level is made on the second attempt.
	ASSERT_EQ(ouf_open(t("new/b.dat"), file_type_binary, 0x01020384, "no-copyright-string"), 1);
	ouf.close();
	EXPECT_EQ(t.read("new/b.dat"), std::string("i\x84\x03\x02\x01", 5));

	alert_capture alerts;
	sErrLine = -1;
	EXPECT_EQ(ouf_open(t("two/levels/f.TXT"), file_type_text, 1, "no-copyright-string"), 0);
	EXPECT_EQ(sErrLine, 462);  // the one parent level could not be made
	EXPECT_FALSE(dir_exists(t("two")));
	ASSERT_EQ(alerts.seen.size(), 1u);
	EXPECT_EQ(alerts.seen[0].kind, alert_warning);
	EXPECT_EQ(alerts.seen[0].line1,
	          "I could not save the file! Could the directory that the file sits in be missing? Or "
	          "flagged as READ-ONLY by the operating system? (Windows machines typically do this).");
	EXPECT_EQ(alerts.seen[0].line2, t("two/levels/f.txt"));
	EXPECT_EQ(alerts.seen[0].line3,
	          "Could the file be flagged as read-only? This happens in Windows if you copy it from a CD!");
	EXPECT_EQ(alerts.seen[0].line4,
	          "Try putting this app in the background and then flag the file as NOT read-only, or "
	          "creating the folder listed in the path above.");
	EXPECT_EQ(alerts.seen[0].source_file, "DIzivoz/Files/io_utils");
	EXPECT_EQ(alerts.seen[0].source_line, 844);

	EXPECT_EQ(ouf_open(t("bad.txt"), 3, 1, "no-copyright-string"), 0);
	ASSERT_EQ(alerts.seen.size(), 2u);
	EXPECT_EQ(alerts.seen[1].line1, "Bad ouf_open type!");
	EXPECT_EQ(alerts.seen[1].line2, t("bad.txt"));
	EXPECT_EQ(alerts.seen[1].kind, alert_fatal);
	EXPECT_EQ(alerts.seen[1].source_line, 792);
	ouf.close();
	ouf.clear();
}

TEST(FilesLaunch, WhatALaunchRuns)
{
	files_tmp t;
	auto exe = [&](const std::string& rel) {
		t.write(rel, "#!/bin/sh\n");
		chmod(t(rel).c_str(), 0755);
	};
	exe("Ventora");
	t.mkdir("Sim.app");
	exe("Sim.app/Sim");
	t.mkdir("Mac.app");
	t.mkdir("Mac.app/Contents");
	t.mkdir("Mac.app/Contents/MacOS");
	exe("Mac.app/Contents/MacOS/Mac");
	t.mkdir("Empty.app");
	t.write("plain.txt", "");
	const struct {
		const char* rel;
		const char* runs;
	} cases[] = {{"Ventora", "Ventora"},       {"Ventora.app", "Ventora"}, {"Sim.app", "Sim.app/Sim"},
	             {"Sim.app/", "Sim.app/Sim"},  {"Mac.app", "Mac.app/Contents/MacOS/Mac"},
	             {"Empty.app", nullptr},       {"plain.txt", nullptr},    {"missing", nullptr}};
	for (const auto& c : cases)
		EXPECT_EQ(APL_launch_target(t(c.rel)), c.runs ? t(c.runs) : std::string()) << c.rel;
}

TEST(FilesLaunch, FailedLaunchReturnsAndTheProgramGoesOn)
{
	files_tmp t;
	t.write("not_exec", "#!/bin/sh\n");
	chmod(t("not_exec").c_str(), 0644);
	t.write("bad_interp", "#!/no/such/shell\n");
	chmod(t("bad_interp").c_str(), 0755);
	const struct {
		const char* rel;
		int err;
	} cases[] = {{"missing", ENOENT}, {"not_exec", EACCES}, {"bad_interp", ENOENT}, {"not_exec.app", EACCES},
	             {"Gone.app", ENOENT}};
	for (const auto& c : cases) {
		EXPECT_EQ(launch_app(t(c.rel), "/x"), c.err) << c.rel;
		EXPECT_EQ(MACIBM_launch_in_place(t(c.rel), "/x", 1), c.err) << c.rel;
	}

	// What a failed launch names: a bundle name that is no folder stands for
	// the executable a Linux copy has, which is what was tried.
	t.mkdir("Folder.app");
	const struct {
		const char* rel;
		const char* tried;
	} named[] = {{"Gone.app", "Gone"}, {"not_exec.app", "not_exec"}, {"Folder.app", "Folder.app"},
	             {"bad_interp", "bad_interp"}, {"missing", "missing"}};
	for (const auto& n : named) EXPECT_EQ(launch_path(t(n.rel)), t(n.tried)) << n.rel;
}

TEST(FilesLaunchDeathTest, SuccessfulLaunchPassesThePathAndExits)
{
	files_tmp t;
	// The program records its arguments and whether it inherited descriptor 9.
	t.write("prog", "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" > \"$(dirname \"$0\")/args.tmp\"\n"
	                "[ -e /proc/$$/fd/9 ] && echo inherited >> \"$(dirname \"$0\")/args.tmp\"\n"
	                "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/args\"\n");
	chmod(t("prog").c_str(), 0755);
	const std::string log = t("log.txt");
	auto run = [&](const std::string& arg) {
		xer.open(log);
		dup2(open("/dev/null", O_RDONLY), 9);  // opened without close-on-exec
		MACIBM_launch_in_place(t("prog"), arg, 1);
	};
	const struct {
		std::string arg, args, logged;
	} cases[] = {{"/games/My Sim/", t("prog") + "|-path|/games/My Sim/|", "Launching: " + t("prog") + " with /games/My Sim/\n"},
	             {"", t("prog") + "|", "Launching: " + t("prog") + " with \n"}};
	for (const auto& c : cases) {
		unlink(t("args").c_str());
		EXPECT_EXIT(run(c.arg), ::testing::ExitedWithCode(1), "");
		for (int i = 0; i < 300 && !file_exists(t("args")); ++i)
			std::this_thread::sleep_for(std::chrono::milliseconds(10));
		EXPECT_EQ(t.read("args"), c.args);
		EXPECT_NE(t.read("log.txt").find(c.logged), std::string::npos) << t.read("log.txt");
	}
}

TEST(FilesOps, VolumesAndDiscs)
{
	std::string root = "unset";
	ASSERT_EQ(APL_volume_root(1, root), 0);
	EXPECT_EQ(root.back(), '/');
	EXPECT_EQ(APL_volume_root(0, root), -35);
	EXPECT_EQ(APL_volume_root(1000000, root), -35);

	const int proc = APL_volume_of_path("/proc/self/");
	ASSERT_GT(proc, 0);
	ASSERT_EQ(APL_volume_root(proc, root), 0);
	EXPECT_EQ(root, "/proc/");
	EXPECT_EQ(APL_is_dvd_disk((short)proc), 0);
	EXPECT_EQ(APL_is_dvd_disk(0), 0);

	// Only volumes backed by a device can be ejected; nothing else is touched.
	EXPECT_EQ(eject_dvd("/no/such/disc/"), -43);
	EXPECT_EQ(eject_dvd("/proc/self"), ENODEV);
}

TEST(FilesOps, LoadingASystemLibrary)
{
	alert_capture alerts;
	APL_bundle_ref ref = nullptr;
	EXPECT_EQ(load_bundle_by_filename("OpenGL.framework", 1, &ref), 0);
	EXPECT_NE(ref, nullptr);
	EXPECT_TRUE(alerts.seen.empty());

	const struct {
		const char* name;
		int alert, result;
		const char* line1;
		int line;
	} cases[] = {{"", 1, -50, "Could not make strsing.", 1718},
	             {"NoSuchThing.framework", 1, -37, "Could not load code for framework", 1748},
	             {"../x.framework", 1, -43, "Could not find bundle in frameworks folder", 1737},
	             {"NoSuchThing.framework", 0, -37, nullptr, 0}};
	for (const auto& c : cases) {
		alerts.seen.clear();
		EXPECT_EQ(load_bundle_by_filename(c.name, c.alert, nullptr), c.result) << c.name;
		if (!c.line1) {
			EXPECT_TRUE(alerts.seen.empty());
			continue;
		}
		ASSERT_EQ(alerts.seen.size(), 1u) << c.name;
		EXPECT_EQ(alerts.seen[0].line1, c.line1);
		EXPECT_EQ(alerts.seen[0].line4, c.name);
		EXPECT_EQ(alerts.seen[0].kind, alert_fatal);
		EXPECT_EQ(alerts.seen[0].source_line, c.line);
	}
}
