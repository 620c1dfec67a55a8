// The DVD flows' steps in process, over folders laid out as discs: the entry
// page's rules and choices, the install-step family across two discs and on
// a task failure, the change-disc / check-disc pairs, and the launch picker.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_dvd.h"
#include "Installer-f/utils_grab.h"
#include "Installer-f/utils_tasks.h"
#include "Installer-f/wizard_dvd.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/files_tmp.h"
#include "tests/support/grab_release.h"
#include "tests/support/test_files.h"

namespace {

const std::string kIdentity = "I\n900 version\nDVD\nVERSION Set\n";
// The signature of what the disc's archive of name holds.
std::string sig(const std::string& name) { return vtest::md5_hex("bytes of " + name); }
// a.txt on the first disc, b.txt and a tile on the second.
const std::string kManifest = "I\n900 version\nINSTALLER\nDIR Top/\nFILE 0 0 1 4 4 " + sig("a.txt") +
                              " a.txt\nDISK 1\nFILE 0 0 1 4 4 " + sig("b.txt") +
                              " b.txt\nDIR Top/Global Scenery/+40-120/\nFILE 0 0 1 4 4 " + sig("+47-122.dsf") +
                              " +47-122.dsf\n";

struct screen_seen {
	int result = 0;
	wizard_screen s;
};

class DvdSteps : public ::testing::Test {
protected:
	static void SetUpTestSuite()
	{
		static files_tmp home;
		home.mkdir("config");
		setenv("XDG_CONFIG_HOME", home("config").c_str(), 1);
		registry = home("config/Ventora/ventora_install.txt");
	}

	void SetUp() override
	{
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
		set_abort_alert_handler([this](const abort_question& q) {
			questions.push_back(q);
			return answer;
		});
		tasks_set_processor_count(2);
		// One driver call a frame: the texts of a running pass are seen.
		MACIBM_frame_work_budget(1);
		std::memset(&stg, 0, sizeof(stg));
		stg_set_start_values();
		stg.stage = 0;
		sim_info.clear();
		dvd_path.clear();
		install_name = "Set";
		current_disk = 0;
		want_file_disk = 0;
		dvd_install_is_running = repair_is_running = scenery_install_is_running = 0;
		num_install_errors = 0;
		tmp.mkdir("temp");
		temp_path = tmp("temp/");
		dest_dir_path = tmp("dest/");
		std::remove(registry.c_str());
		dvd_set_volume_lister([this] { return volumes; });
	}
	void TearDown() override
	{
		install_files_kill();
		checksum_directory_kill();
		dvd_set_volume_lister(nullptr);
		set_abort_alert_handler(nullptr);
		MACIBM_set_alert_sink(nullptr);
		tasks_set_processor_count(0);
		MACIBM_frame_work_budget(0);
		sim_info.clear();
		dvd_path.clear();
		install_name = no_install_name;
		all_skyframes.clear();
		dvd_install_is_running = repair_is_running = scenery_install_is_running = 0;
	}

	// A folder laid out as a disc of the set, holding zip archives of the
	// given files (content = the file's own name unless "corrupt").
	std::string disc(const std::string& name, const std::vector<std::string>& files, const std::string& bad = "")
	{
		tmp.mkdir(name);
		tmp.write(name + "/dvd_version.txt", kIdentity);
		for (const std::string& f : files) {
			std::string rel = name + "/Set/" + f + ".zip";
			for (size_t s = 0, e; (e = rel.find('/', s)) != std::string::npos; s = e + 1) tmp.mkdir(rel.substr(0, e));
			const std::string leaf = f.substr(f.rfind('/') + 1);
			if (f == bad)
				tmp.write(rel, "not a zip archive");
			else
				EXPECT_TRUE(atest::write_zip(tmp(rel), {{leaf, "bytes of " + leaf}}));
		}
		return tmp(name + "/");
	}

	// The manifest read, the empty destination signed, every tile taken.
	void load_manifest()
	{
		tmp.write("temp/directory.txt", kManifest);
		ASSERT_EQ(read_directory(temp_path + "directory.txt"), 3);
		stg.stage = 3;
		set_install_filter(1, 1);
		int ctr = 0;
		float progress = 0;
		while (!checksum_directory(ctr, progress)) usleep(100);
		scenery_take_all();
		recalc_disk_sizes();
	}

	// A fresh run of one install member, every file on the one disc given;
	// questions are answered with `reply`.
	void start_on_one_disc(const std::string& disc, int* running, int reply)
	{
		recursive_delete_folder(dest_dir_path);
		sim_info.clear();
		load_manifest();
		for (auto& h : sim_info) h.back().disk = 0;
		volumes = {disc};
		dvd_path = disc;
		current_disk = 0;
		*running = 0;
		questions.clear();
		answer = reply;
	}

	// Frames of one step until it returns nonzero (or `limit` seconds pass).
	screen_seen run(wizard_step step, std::vector<wizard_screen>* busy = nullptr, double limit = 20)
	{
		screen_seen out;
		for (int i = 0; i < limit * 1000; ++i) {
			out.s = wizard_screen();
			out.result = step(i == 0, out.s);
			if (out.result) return out;
			if (busy) busy->push_back(out.s);
			usleep(1000);
		}
		return out;
	}

	static std::string registry;
	files_tmp tmp;
	std::vector<std::string> volumes;
	std::vector<alert_record> alerts;
	std::vector<abort_question> questions;
	int answer = 3;
};
std::string DvdSteps::registry;

struct member_row {
	const char* name;
	wizard_step step;
	int* running;
	const char* title;
	std::string body;            // with the destination filled in
	const char* file_line;       // prefix while a file is shown
	const char* final_line;
	wizard_step back, check_disc, finish;
	bool registers;
	const char* stop_caption;
	wizard_step stop_next;
	bool stop_keeps_flag;
};

std::vector<member_row> member_rows(const std::string& dest)
{
	return {
	    {"install", dvd_run_install, &dvd_install_is_running, "Installing Ventora",
	     "I am installing Ventora in " + dest + ".", "Installing: ", "Finishing up...", dvd_scenery_install,
	     dvd_verify_disk_install, dvd_done_install, true, "Cancel", dvd_scenery_install, true},
	    {"repair", dvd_install_repair, &repair_is_running, "Repairing Ventora", "I am repairing " + dest + ".",
	     "Repairing: ", "Finishing up...", dvd_confirm_repair, dvd_verify_disk_repair, dvd_done_repair, false, "Stop",
	     dvd_done_repair, false},
	    {"scenery", dvd_install_scenery, &scenery_install_is_running, "Installing New Scenery",
	     "I am installing new scenery for " + dest + ",", "Installing: ", "Finishing Up...", dvd_edit_scenery,
	     dvd_verify_disk_scenery, dvd_done_scenery, false, "Stop", dvd_done_scenery, false},
	};
}

TEST_F(DvdSteps, InstallFamilyCopiesAcrossTwoDiscsWithEachMembersTextsAndTargets)
{
	const std::string d0 = disc("d0", {"Top/a.txt"});
	const std::string d1 = disc("d1", {"Top/b.txt", "Top/Global Scenery/+40-120/+47-122.dsf"});
	for (const member_row& m : member_rows(dest_dir_path)) {
		SCOPED_TRACE(m.name);
		recursive_delete_folder(dest_dir_path);
		std::remove(registry.c_str());
		sim_info.clear();
		load_manifest();
		volumes = {d0};
		dvd_path = d0;
		current_disk = 0;
		*m.running = 0;

		// First disc: its file, then the wish for the second disc.
		std::vector<wizard_screen> busy;
		screen_seen r = run(m.step, &busy);
		ASSERT_EQ(r.result, 1);
		EXPECT_EQ(r.s.next, m.check_disc);
		EXPECT_EQ(want_file_disk, 1);
		EXPECT_EQ(*m.running, 1);
		EXPECT_EQ(vtest::read_file_bytes(dest_dir_path + "a.txt"), "bytes of a.txt");
		EXPECT_FALSE(vtest::path_exists(dest_dir_path + "b.txt"));
		// The copy is registered before any file is copied (install only).
		EXPECT_EQ(vtest::path_exists(registry), m.registers);
		if (m.registers) {
			EXPECT_EQ(vtest::read_file_bytes(registry), dest_dir_path + "\n");
		}
		ASSERT_FALSE(busy.empty());
		for (const wizard_screen& s : busy) {
			EXPECT_EQ(s.title, m.title);
			EXPECT_EQ(s.body, m.body);
			EXPECT_EQ(s.back, m.back);
			EXPECT_EQ(s.next, nullptr);
			EXPECT_EQ(s.cancel_hook, install_files_kill);
			EXPECT_GE(s.progress, 0);
			EXPECT_LE(s.progress, 1);
			const bool file_line = s.progress_text.rfind(m.file_line, 0) == 0;
			EXPECT_TRUE(file_line || s.progress_text == m.final_line) << s.progress_text;
		}

		// The first disc is still in: the check goes back to the change page.
		wizard_screen c;
		EXPECT_EQ(m.check_disc(1, c), 1);
		EXPECT_NE(c.next, m.step);
		// The second disc: copying resumes where it stopped.
		volumes = {d1};
		c = wizard_screen();
		EXPECT_EQ(m.check_disc(1, c), 1);
		EXPECT_EQ(c.next, m.step);
		EXPECT_EQ(current_disk, 1);

		r = run(m.step);
		ASSERT_EQ(r.result, 1);
		EXPECT_EQ(r.s.next, m.finish);
		EXPECT_EQ(r.s.back, nullptr);
		EXPECT_EQ(*m.running, 0);
		EXPECT_EQ(num_install_errors, 0);
		EXPECT_EQ(vtest::read_file_bytes(dest_dir_path + "b.txt"), "bytes of b.txt");
		EXPECT_EQ(vtest::read_file_bytes(dest_dir_path + "Global Scenery/+40-120/+47-122.dsf"), "bytes of +47-122.dsf");
	}
	EXPECT_TRUE(questions.empty());
}

TEST_F(DvdSteps, TaskFailureAsksAndOnlyTheStopButtonStops)
{
	const std::string d0 = disc("d0", {"Top/a.txt", "Top/b.txt", "Top/Global Scenery/+40-120/+47-122.dsf"}, "Top/b.txt");
	for (const member_row& m : member_rows(dest_dir_path)) {
		for (int reply : {3, 0, 1}) {
			SCOPED_TRACE(std::string(m.name) + " answer " + std::to_string(reply));
			start_on_one_disc(d0, m.running, reply);

			screen_seen r = run(m.step);
			ASSERT_EQ(questions.size(), 1u);
			const abort_question& q = questions[0];
			EXPECT_EQ(q.caption1, m.stop_caption);
			EXPECT_EQ(q.caption2, "Continue");
			EXPECT_NE(q.message.find("I was unable to unzip the file"), std::string::npos) << q.message;
			EXPECT_EQ(num_install_errors, 1);
			ASSERT_EQ(r.result, 1);
			if (reply == 1) {
				EXPECT_EQ(r.s.next, m.stop_next);
				EXPECT_EQ(*m.running, m.stop_keeps_flag ? 1 : 0);
			} else {
				// Continue or a closed question: the run goes on to its end.
				EXPECT_EQ(r.s.next, m.finish);
				EXPECT_EQ(*m.running, 0);
				EXPECT_EQ(vtest::read_file_bytes(dest_dir_path + "a.txt"), "bytes of a.txt");
			}
			install_files_kill();
			*m.running = 0;
		}
	}
}

// A fault met by the page's first frame is asked about over that page: the
// frame shows the page (its title is what gets drawn and logged), and the
// question comes with the next frame.
TEST_F(DvdSteps, FaultMetInThePagesFirstFrameIsAskedOnceThePageIsShown)
{
	const std::string d0 = disc("d0", {"Top/a.txt", "Top/b.txt", "Top/Global Scenery/+40-120/+47-122.dsf"}, "Top/a.txt");
	// The first frame works until the bad archive has come back.
	MACIBM_frame_work_budget(20000000);
	for (const member_row& m : member_rows(dest_dir_path)) {
		SCOPED_TRACE(m.name);
		start_on_one_disc(d0, m.running, 0);

		wizard_screen first;
		EXPECT_EQ(m.step(1, first), 0);
		EXPECT_TRUE(questions.empty());
		EXPECT_EQ(first.title, m.title);
		EXPECT_EQ(first.body, m.body);
		EXPECT_EQ(first.next, nullptr);

		wizard_screen second;
		m.step(0, second);
		ASSERT_EQ(questions.size(), 1u);
		EXPECT_NE(questions[0].message.find("I was unable to unzip the file"), std::string::npos);
		// Continue: the run goes on to its end, asked once.
		screen_seen r;
		for (int i = 0; i < 20000 && !r.result; ++i) {
			r.s = wizard_screen();
			r.result = m.step(0, r.s);
			usleep(1000);
		}
		EXPECT_EQ(r.result, 1);
		EXPECT_EQ(r.s.next, m.finish);
		EXPECT_EQ(questions.size(), 1u) << questions.back().message;
		EXPECT_EQ(vtest::read_file_bytes(dest_dir_path + "b.txt"), "bytes of b.txt");
		install_files_kill();
		*m.running = 0;
	}
}

TEST_F(DvdSteps, DiscPairsAskForTheWantedDiscAndCheckIt)
{
	const std::string d0 = disc("d0", {"Top/a.txt"});
	const std::string d1 = disc("d1", {"Top/b.txt"});
	const std::string empty_set = disc("empty_set", {});
	tmp.mkdir("empty_set/Set");
	load_manifest();
	struct row {
		wizard_step change, check;
		const char* change_title;
		const char* check_title;
		wizard_step back, install;
	} rows[] = {
	    {dvd_switch_disk_install, dvd_verify_disk_install, "Installing Ventora - Please Change DVDs",
	     "Installing Ventora - Checking DVD...", dvd_scenery_install, dvd_run_install},
	    {dvd_switch_disk_repair, dvd_verify_disk_repair, "Repairing Ventora - Please Change DVDs",
	     "Repairing Ventora - Checking DVD", dvd_confirm_repair, dvd_install_repair},
	    {dvd_switch_disk_scenery, dvd_verify_disk_scenery, "Installing Scenery - Please change DVDs",
	     "Installing Scenery - Verifying DVD", dvd_edit_scenery, dvd_install_scenery},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.change_title);
		volumes = {d0};
		dvd_path = d0;
		current_disk = 0;
		want_file_disk = 1;  // b.txt, DISK 1 in the manifest
		wizard_screen s;
		EXPECT_EQ(r.change(1, s), 0);
		EXPECT_EQ(s.title, r.change_title);
		EXPECT_EQ(s.body, "Please insert DVD number 2 and click continue.");
		EXPECT_EQ(s.back, r.back);
		EXPECT_EQ(s.next, r.check);
		// A folder is no optical disc: forgotten, never ejected.
		EXPECT_EQ(dvd_path, "");
		EXPECT_TRUE(vtest::path_exists(d0 + "Set/Top/a.txt.zip"));

		s = wizard_screen();
		EXPECT_EQ(r.check(1, s), 1);
		EXPECT_EQ(s.title, r.check_title);
		EXPECT_EQ(s.next, r.change);
		EXPECT_EQ(current_disk, 0);

		// The page the check leads back to says what the drive held, on
		// every frame of that page and on that page only.
		const std::string ask = "Please insert DVD number 2 and click continue.";
		const struct {
			const char* what;
			std::vector<std::string> vols;
			std::string said;
		} refused[] = {
		    {"another disc of the set", {d0}, "The disc in the drive is DVD number 1, not DVD number 2."},
		    {"nothing of the set", {}, "No DVD of this set was found in the drive."},
		    {"a disc of the set without the files", {empty_set}, "The disc in the drive does not hold the files of DVD number 2."},
		};
		wizard_reset_last();
		for (const auto& f : refused) {
			SCOPED_TRACE(f.what);
			volumes = f.vols;
			s = wizard_screen();
			EXPECT_EQ(r.check(1, s), 1);
			EXPECT_EQ(s.next, r.change);
			for (int first : {1, 0}) {
				s = wizard_screen();
				r.change(first, s);
				EXPECT_EQ(s.body, f.said + "\n\n" + ask);
			}
		}
		s = wizard_screen();
		r.change(1, s);
		EXPECT_EQ(s.body, ask);

		volumes = {d0, d1};
		s = wizard_screen();
		EXPECT_EQ(r.check(1, s), 1);
		EXPECT_EQ(s.next, r.install);
		EXPECT_EQ(dvd_path, d1);
		EXPECT_EQ(current_disk, 1);
	}
	// Disc numbers are shown from 1.
	want_file_disk = 0;
	wizard_screen s;
	dvd_switch_disk_install(0, s);
	EXPECT_EQ(s.body, "Please insert DVD number 1 and click continue.");
}

TEST_F(DvdSteps, EntryPageRulesAndChoices)
{
	tmp.mkdir("copy");
	const std::string copy = tmp("copy/");
	const std::string plain = tmp("");
	struct row {
		const char* name;
		std::string path, set;
		int stage, has_sim, has_global;
		bool registered;
		std::string body;
		wizard_step next;
		std::vector<std::string> choices;
	} rows[] = {
	    {"no disc", "", "Set", 3, 1, 1, false, "Please insert Ventora 9 DVD number one to begin.", nullptr, {}},
	    {"no VERSION line", plain, no_install_name, 0, 1, 1, false, "This DVD does not appear to be an Ventora 9 DVD.",
	     nullptr, {}},
	    {"name that is no folder name", plain, "..", 0, 1, 1, false, "This DVD does not appear to be an Ventora 9 DVD.",
	     nullptr, {}},
	    {"bad manifest", plain, "Set", 2, 1, 1, false, "This DVD does not appear to be an Ventora 9 DVD.", nullptr, {}},
	    {"first install", plain, "Set", 3, 1, 1, false,
	     "Welcome to the Ventora 9 Installer.  I will guide you through the process of installing Set.",
	     dvd_pick_install, {}},
	    {"scenery disc, no sim", plain, "Set", 3, 0, 1, false,
	     "This DVD (Set) contains global scenery.  You must install the sim before you install the global scenery.",
	     nullptr, {}},
	    {"registered copy, full set", plain, "Set", 3, 1, 1, true,
	     "You already have Ventora 9 installed on this computer.  What would you like to do?", nullptr,
	     {"Run Ventora Now", "Add Or Remove Scenery", "Repair Ventora", "Install A Second Copy of Ventora"}},
	    {"registered copy, scenery disc", plain, "Set", 3, 0, 1, true,
	     "You already have Ventora 9 installed on this computer.  What would you like to do?", nullptr,
	     {"Run Ventora Now", "Add Or Remove Scenery"}},
	    {"registered copy, no scenery", plain, "Set", 3, 1, 0, true,
	     "You already have Ventora 9 installed on this computer.  What would you like to do?", nullptr,
	     {"Run Ventora Now", "Repair Ventora", "Install A Second Copy of Ventora"}},
	    {"manifest being read", plain, "Set", 1, 1, 1, false, "", nullptr, {}},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		volumes.clear();
		dvd_path = r.path;
		install_name = r.set;
		stg.stage = r.stage;
		stg.has_sim = r.has_sim;
		stg.has_global = r.has_global;
		std::remove(registry.c_str());
		if (r.registered) {
			dest_dir_path = copy;
			register_new_ventora();
		}
		wizard_screen s;
		EXPECT_EQ(dvd_start(1, s), 0);
		EXPECT_EQ(s.title, "Ventora 9 Installer");
		EXPECT_EQ(s.body, r.body);
		EXPECT_EQ(s.next, r.next);
		EXPECT_EQ(s.back, nullptr);
		EXPECT_EQ(s.choice_labels, r.choices);
		// Each choice goes to its picking step.
		for (size_t i = 0; i < s.choice_labels.size(); ++i) {
			const std::string& l = s.choice_labels[i];
			const wizard_step want = l == "Run Ventora Now"         ? dvd_pick_run_sim
			                         : l == "Add Or Remove Scenery" ? dvd_pick_scenery
			                         : l == "Repair Ventora"        ? dvd_pick_repair
			                                                        : dvd_pick_install;
			EXPECT_EQ(s.choice_steps[i], want) << l;
		}
		// The install flow's page list.
		ASSERT_EQ(step_funcs.size(), 6u);
		EXPECT_EQ(step_funcs[0], dvd_start);
		EXPECT_EQ(step_funcs[4], dvd_run_install);
		EXPECT_EQ(step_names[3], "Select Scenery");
	}
}

TEST_F(DvdSteps, WaitingForADiscWalksTheMountsAFewTimesASecond)
{
	int walks = 0;
	dvd_set_volume_lister([&] {
		++walks;
		return volumes;
	});
	install_name = no_install_name;
	wizard_screen s;
	dvd_start(1, s);
	EXPECT_EQ(walks, 1);
	// Frames in quick succession do not walk again...
	const auto start = std::chrono::steady_clock::now();
	for (int i = 0; i < 40; ++i) {
		s = wizard_screen();
		dvd_start(0, s);
		usleep(1000);
	}
	if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200)) {
		EXPECT_EQ(walks, 1);
	}
	EXPECT_EQ(s.body, "Please insert Ventora 9 DVD number one to begin.");
	// ...but a later one does, and finds the disc inserted meanwhile.
	volumes = {disc("d0", {"Top/a.txt"})};
	usleep(300000);
	s = wizard_screen();
	dvd_start(0, s);
	EXPECT_EQ(walks, 2);
	EXPECT_EQ(dvd_path, volumes[0]);
	EXPECT_EQ(install_name, "Set");
}

TEST_F(DvdSteps, RunWithOneCopyGoesStraightToTheLaunch)
{
	all_skyframes = {tmp("")};
	dest_dir_path.clear();
	wizard_screen s;
	EXPECT_EQ(dvd_pick_run_sim(1, s), 1);
	EXPECT_EQ(s.title, "Run Ventora");
	EXPECT_EQ(s.back, dvd_start);
	EXPECT_EQ(s.next, dvd_do_run_sim);
	EXPECT_EQ(dest_dir_path, tmp(""));
}

}  // namespace
