// The maker executable: a release it builds installs over the network
// through the engine; its options and its failures end it with a status.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"
#include "tests/support/install_driver.h"
#include "tests/support/maker_master.h"

namespace {

const char* const kHost = "releases.test";

struct run_result {
	int status = -1;
	std::string out, err;
};

std::string shell_arg(const std::string& s) { return "'" + s + "'"; }

class MakerExeTest : public ::testing::Test {
protected:
	MakerExeTest() : server(tmp.path() + "www/") {}

	void SetUp() override
	{
		exe = std::string(VENTORA_TEST_BIN_DIR) + "/ventora_maker";
		ASSERT_EQ(0, access(exe.c_str(), X_OK)) << "build the ventora_maker target first";
		master = tmp.path() + "Ventora 9.00/";
		out = server.root() + kHost + "/ventora/";
		mtest::make_dirs(out);
		mtest::write_master(master, mtest::full_master());
	}
	void TearDown() override
	{
		vtest::release_engine();
		MACIBM_set_alert_sink(nullptr);
	}

	run_result run(const std::string& args, const std::string& as_user = "", const std::string& cwd = "")
	{
		run_result r;
		const std::string o = tmp.path() + "stdout.txt", e = tmp.path() + "stderr.txt";
		// No display: the maker prints its progress and needs nobody at a window.
		const int rc = std::system(((cwd.empty() ? "" : "cd " + shell_arg(cwd) + " && ") + "env -u DISPLAY -u WAYLAND_DISPLAY " + as_user + shell_arg(exe) + " " + args + " >" +
		                            shell_arg(o) + " 2>" + shell_arg(e))
		                               .c_str());
		r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
		r.out = vtest::read_file_bytes(o);
		r.err = vtest::read_file_bytes(e);
		return r;
	}

	run_result run_as_nobody(const std::string& args)
	{
		return run(args, "setpriv --reuid=nobody --regid=nogroup --clear-groups ");
	}

	vtest::temp_folder tmp;
	vtest::http_server server;
	std::string exe, master, out;
};

TEST_F(MakerExeTest, BuiltReleaseInstallsOverTheNetwork)
{
	// Servers carry every file as a .zip, so the tile is packed here rather
	// than shipped as the disc's pre-made .7z.
	ASSERT_EQ(0, unlink((master + "All/Global Scenery/-global terrain-/+40-120.dsf.7z").c_str()));
	const run_result r = run("--master=" + shell_arg(master) + " --output=" + shell_arg(out) + " --build_type=1");
	ASSERT_EQ(0, r.status) << r.err;
	// Progress goes to standard output, the checklist to standard error.
	EXPECT_NE(std::string::npos, r.out.find("reg: 0: total files to compress: 21. now doing: 20.")) << r.out;
	EXPECT_NE(std::string::npos, r.err.find("OK compression is done. Checklist if doing net:")) << r.err;
	EXPECT_NE(std::string::npos,
	          r.err.find("These empty files were left out of the release: All/Resources/empty.txt"))
	    << r.err;
	EXPECT_NE(std::string::npos, r.out.find("Empty files left out of the release:\n" + master + "All/Resources/empty.txt\n"))
	    << r.out;

	const std::string release = out + "disk_0/Ventora 9.10r1/";
	const std::string staging = tmp.path() + "staging/";
	mkdir(staging.c_str(), 0700);
	ASSERT_EQ(0, zip_to_file(release + "directory.txt.zip", staging, nullptr, 0));

	std::vector<alert_record> alerts;
	MACIBM_set_alert_sink([&](const alert_record& a) { alerts.push_back(a); });
	vtest::point_engine_at(server, kHost, "/ventora/disk_0/Ventora 9.10r1/", tmp.path() + "Ventora 9/", staging);

	ASSERT_EQ("", vtest::prepare_install(staging + "directory.txt", xtim.elapsed));
	bool done = false;
	for (int frame = 0; frame < 3000 && !done; ++frame) {
		done = vtest::install_frame(20);
		xtim.elapsed += 0.02f;
	}
	ASSERT_TRUE(done);
	EXPECT_EQ(0, stg.install_problems);
	EXPECT_TRUE(alerts.empty()) << alerts[0].line1;

	const std::string d = dest_dir_path;
	EXPECT_EQ(vtest::read_file_bytes(master + "All/Aircraft/Cirrus/c4.acf"), vtest::read_file_bytes(d + "Aircraft/Cirrus/c4.acf"));
	EXPECT_EQ("tile bytes", vtest::read_file_bytes(d + "Global Scenery/-global terrain-/+40-120.dsf"));
	EXPECT_EQ("so", vtest::read_file_bytes(d + "Resources/plugins/VNTM.so"));
	EXPECT_EQ("menus", vtest::read_file_bytes(d + "Resources/link_to_menu"));  // through the restored link
	EXPECT_EQ("#!/bin/sh\necho fly\n", vtest::read_file_bytes(d + "Ventora"));
	EXPECT_FALSE(vtest::path_exists(d + "Ventora.exe"));
	EXPECT_FALSE(vtest::path_exists(d + "Resources/plugins/VNTM.dll"));
}

TEST_F(MakerExeTest, OptionsAndFailuresEndWithAStatus)
{
	struct row {
		const char* what;
		std::string args;
		int status;
		const char* err_has;
	};
	mtest::make_dirs(out + "disk_0");  // a build never writes over an earlier one
	const row rows[] = {
	    {"help", "--help", 0, ""},
	    {"unknown option", "--ouput=" + shell_arg(out), 2, "unknown option"},
	    {"bad build type", "--build_type=x", 2, "--build_type must be 0, 1, 2 or 3"},
	    {"disc limit not a number", "--disc_limit_kb=12k", 2, "--disc_limit_kb must be a positive number"},
	    {"disc limit zero", "--disc_limit_kb=0", 2, "--disc_limit_kb must be a positive number"},
	    {"disc folder exists", "--master=" + shell_arg(master) + " --output=" + shell_arg(out), 1,
	     "THIS MAY SIMPLY BE BECAUSE THE FOLDER ALREADY EXISTS THOUGH!"},
	    {"previous manifest missing",
	     "--master=" + shell_arg(master) + " --output=" + shell_arg(tmp.path()) + " --build_type=0 --previous=" +
	         shell_arg(tmp.path() + "none.txt"),
	     1, "I tried to read a directory file that does not exist!"},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		const run_result res = run(r.args);
		EXPECT_EQ(r.status, res.status) << res.err;
		EXPECT_NE(std::string::npos, res.err.find(r.err_has)) << res.err;
	}
	EXPECT_NE(std::string::npos, run("-h").out.find("--master=FOLDER"));

	// Started from inside the master with an output there too: refused, and
	// nothing (not even the failure's own reports) is left in the master.
	mtest::make_dirs(master + "All/Output/discs");
	const std::vector<std::string> before = atest::list_tree(master);
	const run_result inside = run("--master=. --output=All/Output/discs", "", master);
	EXPECT_EQ(1, inside.status);
	EXPECT_NE(std::string::npos, inside.err.find("The output folder is inside the master folder!")) << inside.err;
	EXPECT_EQ(before, atest::list_tree(master));
	// Nothing was written by the refused runs.
	EXPECT_FALSE(vtest::path_exists(tmp.path() + "disk_0"));
}

// Run as an unprivileged user (root reads everything): a master file or
// folder the maker cannot read stops it, named, rather than being left out of
// the release; nothing of the stopped build stays in the output.
TEST_F(MakerExeTest, UnreadableMasterFileOrFolderStopsTheBuild)
{
	if (geteuid() != 0) GTEST_SKIP() << "needs root to run the maker as the user nobody";
	ASSERT_EQ(0, chmod(tmp.path().c_str(), 0755));
	ASSERT_EQ(0, chmod(out.c_str(), 0777));
	const std::string file = master + "All/Aircraft/secret.acf", folder = master + "All/Weapons/locked/";
	vtest::write_file_bytes(file, "no one may read this");
	mtest::make_dirs(folder);
	vtest::write_file_bytes(folder + "inside.wpn", "or this");
	// The operator owns the master (the build links and patches files in it).
	ASSERT_EQ(0, std::system(("chown -R nobody:nogroup " + shell_arg(master)).c_str()));
	struct row {
		const char* what;
		std::string locked;
		int status;
		std::string err_has;
	};
	const row rows[] = {
	    {"file", file, 1, "I cannot read this file of the master! " + file},
	    {"folder", folder, 1, "I cannot read this folder of the master! " + folder},
	    // Not the "already exists" guess: the reason itself.
	    {"output not writable", out, 1, "Could not make the dst_folder! " + out + "disk_0/\n\nPermission denied"},
	    {"all readable again", "", 0, "OK compression is done."},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		chmod(file.c_str(), r.locked == file ? 0 : 0644);
		chmod(folder.c_str(), r.locked == folder ? 0 : 0755);
		chmod(out.c_str(), r.locked == out ? 0555 : 0777);
		const run_result res = run_as_nobody("--master=" + shell_arg(master) + " --output=" + shell_arg(out));
		EXPECT_EQ(r.status, res.status) << res.err;
		EXPECT_NE(std::string::npos, res.err.find(r.err_has)) << res.err;
		EXPECT_EQ(r.status == 0, vtest::path_exists(out + "disk_0/Ventora 9.10r1/directory.txt.zip"));
		if (r.status != 0) {
			EXPECT_FALSE(vtest::path_exists(out + "disk_0")) << "left in the way of the next build";
		}
	}
}

}  // namespace

TEST_F(MakerExeTest, SmallDiscLimitSpreadsTheReleaseOverDiscs)
{
	const run_result r = run("--master=" + shell_arg(master) + " --output=" + shell_arg(out) + " --disc_limit_kb=1");
	ASSERT_EQ(0, r.status) << r.err;
	const std::string staging = tmp.path() + "staging/";
	mkdir(staging.c_str(), 0700);
	ASSERT_EQ(0, zip_to_file(out + "disk_0/Ventora 9.10r1/directory.txt.zip", staging, nullptr, 0));
	ASSERT_EQ(3, read_directory(staging + "directory.txt"));
	int last_disk = 0;
	for (size_t f = 0; f < sim_info.size(); ++f) {
		const file_version_struct& v = sim_info[f].back();
		EXPECT_GE(v.disk, last_disk);  // discs follow manifest order
		last_disk = v.disk;
		// Each archive lies on the disc the manifest names.
		if (v.sig_want != "GONE")
			EXPECT_TRUE(vtest::path_exists(out + "disk_" + std::to_string(v.disk) + "/Ventora 9.10r1/" + v.path +
			                               suffix_for_file((int)f)) ||
			            vtest::path_exists(out + "disk_" + std::to_string(v.disk) + "/Ventora 9.10r1/" + v.path + ".zip"))
			    << v.path;
	}
	EXPECT_GE(last_disk, 1);
	EXPECT_TRUE(vtest::path_exists(out + "disk_0/dvd_version.txt"));
	sim_info.clear();
}
