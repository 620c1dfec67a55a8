// Checksum pass and DVD copy-unpack on worker pools.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/grab_fixture.h"
#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"
#include "tests/support/test_files.h"

namespace {

class TasksTest : public vtest::EngineGlobalsTest {
protected:
	void SetUp() override
	{
		EngineGlobalsTest::SetUp();
		temp_path = tmp.path() + "staging/";
		mkdir(temp_path.c_str(), 0700);
		dvd_path = tmp.path() + "dvd/";
		install_name = "Ventora Demo";
	}
	void TearDown() override
	{
		checksum_directory_kill();
		install_files_kill();
		tasks_set_processor_count(0);
		EngineGlobalsTest::TearDown();
	}
	file_version_struct& add(const std::string& path, const std::string& sig, int platform = 0)
	{
		file_version_struct v;
		v.platform = platform;
		v.path = path;
		v.sig_want = sig;
		sim_info.push_back(file_history_struct{v});
		return sim_info.back().back();
	}
	// Loads files as a manifest and marks every file to install.
	void load(const std::vector<vtest::grab_file>& files)
	{
		for (const auto& f : files) {
			file_version_struct& v = add("Top/" + f.rel, f.gone ? "GONE" : vtest::md5_hex(f.data), f.platform);
			v.disk = f.disk;
			v.install = f.gone ? 0 : 1;
		}
	}
	// Runs install_files until it stops being busy.
	int run_disc(int& next_file, int disk)
	{
		for (int i = 0; i < 20000; ++i) {
			int r = install_files(next_file, disk);
			if (r != 0) return r;
			usleep(200);
		}
		return -1;
	}
};

TEST_F(TasksTest, ChecksumOfAMissingDestinationMarksEverythingAbsentAtOnce)
{
	add("Top/a.txt", vtest::md5_hex("a"));
	add("Top/none.txt", "NONE");
	int next_file = 0;
	float progress = -5;
	EXPECT_EQ(1, checksum_directory(next_file, progress));
	EXPECT_EQ(nullptr, checksum_workers);
	EXPECT_EQ("NONE", sim_info[0].back().sig_have);
	EXPECT_EQ(0, sim_info[0].back().have_is_want);
	EXPECT_EQ(1, sim_info[1].back().have_is_want);
	EXPECT_EQ(-5, progress);
}

TEST_F(TasksTest, ChecksumBatchesTenFilesPerTaskFourTasksPerThread)
{
	struct row {
		int processors;
		int files;
		float first_progress;
	};
	for (row r : {row{1, 100, 0.4f}, row{4, 100, 1.0f}, row{1, 25, 1.0f}, row{3, 7, 1.0f}}) {
		SCOPED_TRACE(r.processors);
		SCOPED_TRACE(r.files);
		sim_info.clear();
		ASSERT_EQ(0, system(("rm -rf '" + dest_dir_path + "' && mkdir -p '" + dest_dir_path + "Res'").c_str()));
		for (int f = 0; f < r.files; ++f) {
			const std::string data = "file " + std::to_string(f);
			const std::string rel = "Res/f" + std::to_string(f) + ".txt";
			switch (f % 5) {
			case 0: vtest::write_file_bytes(dest_dir_path + rel, data); break;           // current
			case 1: vtest::write_file_bytes(dest_dir_path + rel, data + " old"); break;  // differs
			case 2: vtest::write_file_bytes(dest_dir_path + rel, ""); break;             // empty: unreadable
			case 3: break;                                                               // absent
			case 4: vtest::write_file_bytes(dest_dir_path + rel, data); break;           // other platform
			}
			file_version_struct& v = add("Top/" + rel, vtest::md5_hex(data), f % 5 == 4 ? 1 : 3);
			v.sig_have = "untouched";
		}
		vtest::temp_folder logdir;
		xer.open(logdir.path() + "log.txt");
		tasks_set_processor_count(r.processors);
		int next_file = 0;
		float progress = 0;
		int done = checksum_directory(next_file, progress);
		EXPECT_FLOAT_EQ(r.first_progress, progress);
		for (int i = 0; i < 20000 && !done; ++i) {
			usleep(100);
			done = checksum_directory(next_file, progress);
		}
		xer.close();
		ASSERT_EQ(1, done);
		EXPECT_EQ(r.files, next_file);
		EXPECT_FLOAT_EQ(1.0f, progress);
		EXPECT_EQ(nullptr, checksum_workers);
		for (int f = 0; f < r.files; ++f) {
			const file_version_struct& v = sim_info[f].back();
			switch (f % 5) {
			case 0: EXPECT_EQ(v.sig_want, v.sig_have) << f; EXPECT_EQ(1, v.have_is_want); break;
			case 1: EXPECT_EQ(vtest::md5_hex("file " + std::to_string(f) + " old"), v.sig_have); EXPECT_EQ(0, v.have_is_want); break;
			case 2:
			case 3: EXPECT_EQ("NONE", v.sig_have) << f; EXPECT_EQ(0, v.have_is_want); break;
			case 4: EXPECT_EQ("untouched", v.sig_have) << f; break;
			}
		}
		const std::string log = vtest::read_file_bytes(logdir.path() + "log.txt");
		const size_t start = log.find(" Start of MD5 at ");
		const size_t end = log.find(" End of MD5 at ");
		EXPECT_NE(std::string::npos, start);
		EXPECT_NE(std::string::npos, end);
		EXPECT_LT(start, end);
	}
}

TEST_F(TasksTest, ChecksumKillWaitsForOutstandingTasks)
{
	mkdir(dest_dir_path.c_str(), 0755);
	for (int f = 0; f < 200; ++f) add("Top/f" + std::to_string(f), vtest::md5_hex("x"));
	tasks_set_processor_count(2);
	int next_file = 0;
	float progress = 0;
	EXPECT_EQ(0, checksum_directory(next_file, progress));
	checksum_directory_kill();
	EXPECT_EQ(nullptr, checksum_workers);
	checksum_directory_kill();  // nothing left: no effect
}

TEST_F(TasksTest, DvdCopyUnpackRunsDiscByDisc)
{
	const std::vector<vtest::grab_file> files = {
	    {"Resources/a.txt", "alpha", 0640, false, 0, 1},
	    {"Ventora.app/Contents/MacOS/Ventora", "#!/bin/sh\n", 0644, false, 0, 1},
	    {"Resources/skip.txt", "unwanted", 0644, false, 1, 2},  // another platform, on disc 2
	    {"Resources/link", "a.txt", 0777, true, 0, 1},
	    {"Custom Scenery/Global Scenery/+40-120.dsf", "tile bytes", 0644, false, 0, 1},
	    {"Resources/b.txt", "bravo", 0600, false, 0, 2},
	    // A link in an application folder: its target outside keeps its mode.
	    {"Ventora.app/Contents/MacOS/helper", tmp.path() + "private.txt", 0777, true, 0, 2},
	};
	vtest::write_file_bytes(tmp.path() + "private.txt", "secret");
	chmod((tmp.path() + "private.txt").c_str(), 0600);
	vtest::write_archives(dvd_path + install_name + "/", "Top", files);
	load(files);
	sim_info[2].back().install = 0;
	ASSERT_EQ(0, make_dirs());

	tasks_set_processor_count(2);
	int next_file = 0;
	EXPECT_EQ(2, run_disc(next_file, 1));
	EXPECT_EQ("alpha", vtest::read_file_bytes(dest_dir_path + "Resources/a.txt"));
	EXPECT_EQ(0640u, vtest::file_mode(dest_dir_path + "Resources/a.txt"));
	EXPECT_EQ(0755u, vtest::file_mode(dest_dir_path + "Ventora.app/Contents/MacOS/Ventora"));
	std::string target;
	EXPECT_EQ(1, is_sim_link(dest_dir_path + "Resources/link", &target));
	EXPECT_EQ("a.txt", target);
	EXPECT_EQ("tile bytes", vtest::read_file_bytes(dest_dir_path + "Custom Scenery/Global Scenery/+40-120.dsf"));
	EXPECT_FALSE(vtest::path_exists(dest_dir_path + "Resources/b.txt"));
	EXPECT_EQ(5, next_file);

	EXPECT_EQ(1, run_disc(next_file, 2));
	EXPECT_EQ("bravo", vtest::read_file_bytes(dest_dir_path + "Resources/b.txt"));
	EXPECT_FALSE(vtest::path_exists(dest_dir_path + "Resources/skip.txt"));
	EXPECT_EQ(nullptr, copy_pool);
	EXPECT_EQ(nullptr, unzip_pool);
	EXPECT_EQ(1, is_sim_link(dest_dir_path + "Ventora.app/Contents/MacOS/helper", nullptr));
	EXPECT_EQ(0600u, vtest::file_mode(tmp.path() + "private.txt"));
	for (int f : {0, 1, 3, 4, 5, 6}) {
		EXPECT_EQ(1, sim_info[f].back().have_is_want) << f;
		EXPECT_EQ(sim_info[f].back().sig_want, sim_info[f].back().sig_have) << f;
	}
	EXPECT_EQ(0, sim_info[2].back().have_is_want);
	std::vector<std::string> names;
	std::vector<int> types;
	EXPECT_EQ(0, opensave_getitems(temp_path, 0, names, types));  // every copy was removed
	std::string msg = "x";
	EXPECT_EQ(0, install_files_get_error(msg));
	EXPECT_EQ("", msg);
}

TEST_F(TasksTest, DvdKillFinishesEveryQueuedFileAndDeletesThePools)
{
	std::vector<vtest::grab_file> files;
	const int total = dvd_pool_tasks + 15;
	for (int i = 0; i < total; ++i) files.push_back({"Resources/f" + std::to_string(i) + ".txt", "data " + std::to_string(i)});
	vtest::write_archives(dvd_path + install_name + "/", "Top", files);
	load(files);
	ASSERT_EQ(0, make_dirs());
	int next_file = 0;
	EXPECT_EQ(0, install_files(next_file, 0));
	EXPECT_EQ(dvd_pool_tasks, next_file);  // as many as the copy pool holds
	install_files_kill();
	EXPECT_EQ(nullptr, copy_pool);
	EXPECT_EQ(nullptr, unzip_pool);
	for (int i = 0; i < total; ++i)
		EXPECT_EQ(i < dvd_pool_tasks, vtest::path_exists(dest_dir_path + files[i].rel)) << i;
}

// Each call retires the unpacked tasks, hands the copied ones on and feeds
// last, so every call leaves the copy pool full again until the list runs
// out: both stages are kept busy between a page's calls.
TEST_F(TasksTest, DvdEveryCallLeavesTheCopyPoolFull)
{
	std::vector<vtest::grab_file> files;
	const int total = 5 * dvd_pool_tasks;
	for (int i = 0; i < total; ++i) files.push_back({"Resources/f" + std::to_string(i) + ".txt", "data " + std::to_string(i)});
	vtest::write_archives(dvd_path + install_name + "/", "Top", files);
	load(files);
	ASSERT_EQ(0, make_dirs());
	tasks_set_processor_count(2);
	int next_file = 0, r = 0, calls = 0, handed_on = 0;
	while ((r = install_files(next_file, 0)) == 0 && ++calls < 200000) {
		if (next_file < total) EXPECT_EQ(dvd_pool_tasks, copy_pool->count_total_tasks()) << "call " << calls;
		handed_on += unzip_pool->count_total_tasks() > 0;
		usleep(200);
	}
	EXPECT_EQ(1, r);
	EXPECT_GT(handed_on, 0);
	for (int i = 0; i < total; ++i) EXPECT_EQ("data " + std::to_string(i), vtest::read_file_bytes(dest_dir_path + files[i].rel)) << i;
}

// Large archives are fed only while the bytes in flight stay within the
// bound (one at least), so their copies never pile up in the temporary
// folder; every file still arrives.
TEST_F(TasksTest, DvdLargeArchivesInFlightStayWithinTheByteBound)
{
	std::vector<vtest::grab_file> files;
	for (int i = 0; i < 12; ++i) files.push_back({"Resources/big" + std::to_string(i) + ".dat", vtest::noise(3000 + i, i)});
	vtest::write_archives(dvd_path + install_name + "/", "Top", files);
	load(files);
	// Listed as 30 MB archives: two fit within the bound, a third does not.
	for (auto& history : sim_info) history.back().download_kb = 30 * 1024;
	ASSERT_EQ(0, make_dirs());
	tasks_set_processor_count(2);
	int next_file = 0, r = 0, calls = 0, most = 0;
	while ((r = install_files(next_file, 0)) == 0 && ++calls < 200000) {
		most = std::max(most, copy_pool->count_total_tasks() + unzip_pool->count_total_tasks());
		usleep(200);
	}
	EXPECT_EQ(1, r);
	EXPECT_EQ(2, most);
	for (const vtest::grab_file& f : files)
		EXPECT_EQ(vtest::md5_hex(f.data), vtest::md5_hex(vtest::read_file_bytes(dest_dir_path + f.rel))) << f.rel;
}

// Files made in the temporary folder while a run goes on.
class created_in {
public:
	explicit created_in(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
	{
		inotify_add_watch(fd_, folder.c_str(), IN_CREATE);
	}
	~created_in() { close(fd_); }
	int count()
	{
		alignas(inotify_event) char buf[65536];
		ssize_t n;
		while ((n = read(fd_, buf, sizeof buf)) > 0)
			for (char* p = buf; p < buf + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
				++count_;
		return count_;
	}

private:
	int fd_;
	int count_ = 0;
};

// An unpacked small copy is written over by a later one (a new file in the
// temporary folder for every archive slows every later create): archives
// longer and shorter than the copy they replace still unpack to their own
// bytes, and nothing is left once the run is done.
TEST_F(TasksTest, DvdCopiesAreWrittenOverRatherThanMadeForEveryFile)
{
	std::vector<vtest::grab_file> files;
	for (int i = 0; i < 4 * dvd_pool_tasks; ++i)
		files.push_back({"Resources/set" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".dat",
		                 i % 2 ? "data " + std::to_string(i) : vtest::noise(20000 + 97 * i, i)});
	// Too large to keep for reuse: removed once unpacked.
	files.push_back({"Resources/large.dat", vtest::noise(1200000, 7)});
	vtest::write_archives(dvd_path + install_name + "/", "Top", files);
	load(files);
	for (size_t i = 0; i < files.size(); ++i) sim_info[i].back().install_kb = files[i].data.size() / 1000.0f + 1;
	ASSERT_EQ(0, make_dirs());
	tasks_set_processor_count(2);
	created_in temp(temp_path);
	int next_file = 0;
	EXPECT_EQ(1, run_disc(next_file, 0));
	std::string msg;
	EXPECT_EQ(0, install_files_get_error(msg)) << msg;
	for (const vtest::grab_file& f : files)
		EXPECT_EQ(vtest::md5_hex(f.data), vtest::md5_hex(vtest::read_file_bytes(dest_dir_path + f.rel))) << f.rel;
	// At most one copy for each task the two pools hold at once.
	EXPECT_LE(temp.count(), 2 * dvd_pool_tasks);
	std::vector<std::string> names;
	std::vector<int> types;
	EXPECT_EQ(0, opensave_getitems(temp_path, 0, names, types));
}

// A copy that fails where an earlier copy was to be written over leaves no
// earlier archive under the failed file's name.
TEST_F(TasksTest, DvdFailedCopyOverAnEarlierCopyLeavesNothingBehind)
{
	std::vector<vtest::grab_file> files;
	for (int i = 0; i < 120; ++i) files.push_back({"Resources/f" + std::to_string(i) + ".txt", "data " + std::to_string(i)});
	vtest::write_archives(dvd_path + install_name + "/", "Top", files);
	load(files);
	ASSERT_EQ(0, make_dirs());
	std::remove((dvd_path + install_name + "/Top/Resources/f100.txt.zip").c_str());
	tasks_set_processor_count(2);
	int next_file = 0;
	EXPECT_EQ(3, run_disc(next_file, 0));
	std::string msg;
	EXPECT_NE(0, install_files_get_error(msg));
	EXPECT_NE(std::string::npos, msg.find("f100.txt.zip")) << msg;
	EXPECT_FALSE(vtest::path_exists(temp_path + vtest::md5_hex("data 100") + "_100.zip"));
	install_files_kill();
	std::vector<std::string> names;
	std::vector<int> types;
	EXPECT_EQ(0, opensave_getitems(temp_path, 0, names, types)) << (names.empty() ? "" : names[0]);
}

TEST_F(TasksTest, DvdCopyAndUnpackFailuresAreReported)
{
	struct row {
		const char* what;
		bool remove_archive;   // the copy fails
		bool corrupt_archive;  // the unpack fails
		bool other_bytes;      // the archive holds other bytes than the manifest signs
	};
	for (row r : {row{"copy", true, false, false}, row{"unpack", false, true, false},
	              row{"other bytes", false, false, true}}) {
		SCOPED_TRACE(r.what);
		sim_info.clear();
		const std::vector<vtest::grab_file> files = {{"Resources/a.txt", "alpha"}};
		vtest::write_archives(dvd_path + install_name + "/", "Top", files);
		load(files);
		ASSERT_EQ(0, make_dirs());
		const std::string source = dvd_path + install_name + "/Top/Resources/a.txt.zip";
		if (r.remove_archive) std::remove(source.c_str());
		if (r.corrupt_archive) vtest::write_file_bytes(source, "this is not a zip archive");
		if (r.other_bytes) vtest::write_file_bytes(source, vtest::make_zip_bytes("a.txt", "omega", 0644, 1700000000, false));
		const std::string temp = temp_path + vtest::md5_hex("alpha") + "_0.zip";

		vtest::temp_folder logdir;
		xer.open(logdir.path() + "log.txt");
		stg.log_actions = 1;
		int next_file = 0;
		EXPECT_EQ(3, run_disc(next_file, 0));
		xer.close();
		std::string msg;
		const int err = install_files_get_error(msg);
		EXPECT_NE(std::string::npos, vtest::read_file_bytes(logdir.path() + "log.txt")
		                                 .find("EXPANDING file " + dest_dir_path + "Resources/a.txt, with result=" +
		                                       std::to_string(err) + ". " + msg + "\n"));
		EXPECT_NE(0, err);
		if (r.remove_archive) {
			EXPECT_EQ("I was unable to copy the file " + source + " from the DVD to the hard drive.", msg);
		} else {
			EXPECT_EQ("I was unable to unzip the file " + temp + " to the folder " + dest_dir_path + "Resources/.",
			          msg);
			EXPECT_TRUE(vtest::path_exists(temp));  // the copy stays for a look
		}
		if (r.other_bytes) {
			EXPECT_EQ(err_signature_mismatch, err);
			EXPECT_FALSE(vtest::path_exists(dest_dir_path + "Resources/a.txt"));
		}
		EXPECT_EQ(0, install_files_get_error(msg));
		EXPECT_EQ("", msg);
		EXPECT_EQ(0, sim_info[0].back().have_is_want);
		install_files_kill();
		EXPECT_EQ(nullptr, copy_pool);
		EXPECT_EQ(nullptr, unzip_pool);
		std::remove(temp.c_str());
	}
}

TEST_F(TasksTest, FaultsEveryLaterFileWouldMeetStopTheRunOnce)
{
	// A fault that repeats for every file is answered once, with the first
	// file that failed as where to go on; a disc that went is asked for again.
	struct row {
		const char* what;
		int answer;           // install_files' one answer
		local_fault kind;     // install_files_halt() after it
	};
	for (const row& r : {row{"disc taken out", 2, fault_disc_gone}, row{"temporary disk full", 3, fault_disk_full}}) {
		SCOPED_TRACE(r.what);
		sim_info.clear();
		ASSERT_EQ(0, system(("rm -rf '" + dest_dir_path + "' '" + dvd_path + "'").c_str()));
		std::vector<vtest::grab_file> files;
		for (int i = 0; i < 40; ++i)
			files.push_back({"Resources/f" + std::to_string(i) + ".txt", "data " + std::to_string(i)});
		vtest::write_archives(dvd_path + install_name + "/", "Top", files);
		load(files);
		ASSERT_EQ(0, make_dirs());
		const std::string set_folder = dvd_path + install_name;
		std::vector<std::string> links;
		if (r.answer == 2) {
			ASSERT_EQ(0, rename(set_folder.c_str(), (set_folder + " out").c_str()));
		} else {
			// Every copy lands on a device that is always full.
			for (int i = 0; i < 40; ++i) {
				links.push_back(temp_path + vtest::md5_hex(files[i].data) + "_" + std::to_string(i) + ".zip");
				ASSERT_EQ(0, symlink("/dev/full", links.back().c_str()));
			}
		}
		int next_file = 0;
		EXPECT_EQ(r.answer, run_disc(next_file, 0));
		EXPECT_EQ(0, next_file);
		EXPECT_EQ(r.kind, install_files_halt().kind);
		std::string msg;
		const int err = install_files_get_error(msg);
		if (r.answer == 3) {
			EXPECT_EQ(ENOSPC, err);
			EXPECT_NE(std::string::npos, msg.find("I was unable to copy the file")) << msg;
		}

		// Put right, the run goes on from that file and ends.
		if (r.answer == 2) {
			ASSERT_EQ(0, rename((set_folder + " out").c_str(), set_folder.c_str()));
		}
		for (const std::string& l : links) unlink(l.c_str());
		EXPECT_EQ(1, run_disc(next_file, 0));
		for (const vtest::grab_file& f : files) EXPECT_EQ(f.data, vtest::read_file_bytes(dest_dir_path + f.rel)) << f.rel;
		EXPECT_TRUE(alerts.empty());
	}
}

TEST_F(TasksTest, DvdCopyIsNamedBySignatureOnlyWhenItIsOne)
{
	struct row {
		std::string sig;
		std::string path;
		std::string temp_name;
	};
	const std::string md5 = vtest::md5_hex("x");
	for (const row& r : {row{md5, "Top/Res/a.txt", md5 + "_12.zip"},
	                     row{"GONE", "Top/Res/a.txt", "12.zip"},
	                     row{"../../../../tmp/evil", "Top/Res/a.txt", "12.zip"},
	                     row{std::string(32, 'A'), "Top/Res/a.txt", "12.zip"},
	                     row{md5, "Top/Global Scenery/+40-120.dsf", md5 + "_12.7z"}}) {
		sim_info.clear();
		for (int f = 0; f < 12; ++f) add("Top/f", md5);
		add(r.path, r.sig);
		dvd_unpack_task t(12, temp_path);
		EXPECT_EQ(temp_path + r.temp_name, t.temp) << r.sig;
		EXPECT_EQ(dvd_path + install_name + "/" + r.path + (r.temp_name.find(".7z") != std::string::npos ? ".7z" : ".zip"),
		          t.source);
		EXPECT_EQ(dest_dir_path + r.path.substr(4), t.destination);
		EXPECT_FALSE(t.copied);
	}
}

}  // namespace

TEST_F(TasksTest, DvdSceneryWrittenAsZipInstallsFromItsZip)
{
	// The maker writes a tile without a pre-made .7z as .zip.
	const std::vector<vtest::grab_file> plain = {{"Custom Scenery/Plain/+40-120.dsf", "tile bytes", 0644, false, 0, 1}};
	vtest::write_archives(dvd_path + install_name + "/", "Top", plain);
	const std::string scenery = dvd_path + install_name + "/Top/Custom Scenery/Global Scenery/";
	ASSERT_EQ(0, system(("mkdir -p '" + scenery + "' && mv '" + dvd_path + install_name +
	                     "/Top/Custom Scenery/Plain/+40-120.dsf.zip' '" + scenery + "'").c_str()));
	load({{"Custom Scenery/Global Scenery/+40-120.dsf", "tile bytes", 0644, false, 0, 1}});
	ASSERT_EQ(0, make_dirs());
	tasks_set_processor_count(1);
	int next_file = 0;
	EXPECT_EQ(1, run_disc(next_file, 1));
	EXPECT_EQ("tile bytes", vtest::read_file_bytes(dest_dir_path + "Custom Scenery/Global Scenery/+40-120.dsf"));
	std::string msg;
	EXPECT_EQ(0, install_files_get_error(msg)) << msg;
	EXPECT_EQ(1, sim_info[0].back().have_is_want);
}

TEST_F(TasksTest, UnpackNeverWritesThroughALinkOutOfTheCopy)
{
	// The copy holds what earlier releases left: a link out and links inside.
	const std::string outside = tmp.path() + "outside";
	ASSERT_EQ(0, system(("mkdir -p '" + outside + "' '" + dest_dir_path + "Resources/sub'").c_str()));
	ASSERT_EQ(0, symlink(outside.c_str(), (dest_dir_path + "Resources/evil").c_str()));
	ASSERT_EQ(0, symlink("../Resources/sub", (dest_dir_path + "Resources/inside").c_str()));
	ASSERT_EQ(0, symlink((dest_dir_path + "Resources/sub").c_str(), (dest_dir_path + "Resources/inside-abs").c_str()));
	struct row {
		const char* rel;
		int answer;            // install_files' end
		const char* lands_at;  // below the copy, when installed
	};
	for (const row& r : {row{"Resources/evil/planted.txt", 3, nullptr},
	                     row{"Resources/inside/ok.txt", 1, "Resources/sub/ok.txt"},
	                     row{"Resources/inside-abs/ok-abs.txt", 1, "Resources/sub/ok-abs.txt"}}) {
		SCOPED_TRACE(r.rel);
		sim_info.clear();
		const std::vector<vtest::grab_file> files = {{r.rel, "payload"}};
		vtest::write_archives(dvd_path + install_name + "/", "Top", files);
		load(files);
		ASSERT_EQ(0, make_dirs());
		int next_file = 0;
		EXPECT_EQ(r.answer, run_disc(next_file, 0));
		std::string msg;
		const int err = install_files_get_error(msg);
		install_files_kill();
		if (r.lands_at) {
			EXPECT_EQ(0, err) << msg;
			EXPECT_EQ("payload", vtest::read_file_bytes(dest_dir_path + r.lands_at));
			EXPECT_EQ(1, sim_info[0].back().have_is_want);
		} else {
			EXPECT_EQ(err_archive_escape, err);
			EXPECT_EQ(0, sim_info[0].back().have_is_want);
		}
		EXPECT_EQ(std::vector<std::string>(), atest::list_tree(outside + "/"));
	}
}
