// The manifest reader, the newer-release alerts and the web-page opener, over
// real files in a temporary folder and a recording stand-in for xdg-open.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_url.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "Installer-f/utils.h"
#include "tests/support/test_files.h"

namespace {

const std::string kSig = "0123456789abcdef0123456789abcdef";


class EngineManifest : public ::testing::Test {
protected:
	void SetUp() override
	{
		char tmpl[] = "/tmp/engine_manifest_XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir = std::string(tmpl) + "/";

		// Stand-in browser opener: records its arguments, one call per line.
		record = dir + "opened.txt";
		std::string bin = dir + "bin/";
		mkdir(bin.c_str(), 0700);
		std::ofstream sh(bin + "xdg-open");
		sh << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << record << "'\n";
		sh.close();
		chmod((bin + "xdg-open").c_str(), 0700);
		const char* old = getenv("PATH");
		old_path = old ? old : "";
		setenv("PATH", (bin.substr(0, bin.size() - 1) + ":" + old_path).c_str(), 1);

		alerts.clear();
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
		std::memset(&stg, 0, sizeof(stg));
		stg_set_start_values();
		app_done = 0;
	}
	void TearDown() override
	{
		MACIBM_set_alert_sink(nullptr);
		setenv("PATH", old_path.c_str(), 1);
		app_done = 0;
		sim_info.clear();
		std::string cmd = "rm -rf '" + dir + "'";
		(void)system(cmd.c_str());
	}

	std::string write(const std::string& name, const std::string& text)
	{
		std::ofstream out(dir + name, std::ios::binary);
		out << text;
		return dir + name;
	}
	static std::string header(int version, const std::string& eol = "\n")
	{
		return "I" + eol + std::to_string(version) + " version" + eol + "INSTALLER" + eol;
	}
	static std::string file_line(const std::string& rest, const std::string& eol = "\n")
	{
		return "FILE " + rest + eol;
	}
	std::vector<std::string> history_paths() const
	{
		std::vector<std::string> out;
		for (const file_history_struct& h : sim_info) out.push_back(h.back().path + "#" + std::to_string(h.size()));
		return out;
	}

	std::string dir, record, old_path;
	std::vector<alert_record> alerts;
};

TEST_F(EngineManifest, ReadsManifestTexts)
{
	auto body = [](const std::string& eol) {
		return "DIR Top/" + eol + "DISK 2" + eol + "FILE 0 1 900 512 1024 " + kSig + " Resources/a b.txt" + eol;
	};
	struct row {
		const char* name;
		std::string text;
		std::vector<std::string> histories;  // newest path # number of versions
	} rows[] = {
	    {"LF", header(900) + body("\n"), {"Top/Resources/a b.txt#1"}},
	    {"CR", header(900, "\r") + body("\r"), {"Top/Resources/a b.txt#1"}},
	    {"CR LF", header(900, "\r\n") + body("\r\n"), {"Top/Resources/a b.txt#1"}},
	    {"header 840", header(840) + body("\n"), {"Top/Resources/a b.txt#1"}},
	    {"no final line end", header(900) + "FILE 0 0 1 1 1 " + kSig + " T/x", {"T/x#1"}},
	    {"histories of consecutive lines",
	     header(900) + file_line("0 0 1 1 1 " + kSig + " T/a") + file_line("0 0 2 1 1 " + kSig + " T/a") +
	         file_line("0 0 3 1 1 " + kSig + " T/b") + file_line("0 0 4 1 1 " + kSig + " T/a"),
	     {"T/a#2", "T/b#1", "T/a#1"}},
	    {"special names dropped",
	     header(900) + file_line("0 0 1 1 1 " + kSig + " T/Earth Orbit Textures/e.png") +
	         file_line("0 0 1 1 1 " + kSig + " T/900 red terrain.ter") + file_line("0 0 1 1 1 " + kSig + " T/c"),
	     {"T/c#1"}},
	    {"special names are looked for in the name only",
	     header(900) + "DIR T/Earth Orbit Textures/\n" + file_line("0 0 1 1 1 " + kSig + " e.png"),
	     {"T/Earth Orbit Textures/e.png#1"}},
	    {"unknown lines and keywords without a blank skipped",
	     header(900) + "# comment\nFILE\nDIRX Bad/\n   \n\tFILE\t0 0 1 1 1 " + kSig + " T/d\nDIR\nFILES x\n",
	     {"T/d#1"}},
	    {"leading blanks and inner blanks of DIR kept",
	     header(900) + "  DIR   Top Folder/ \nFILE 0 0 1 1 1 " + kSig + "   n.txt  \n", {"Top Folder/ n.txt  #1"}},
	    {"dots inside a name are ordinary", header(900) + file_line("0 0 1 1 1 " + kSig + " T/a..b/..c"),
	     {"T/a..b/..c#1"}},
	};
	for (const row& r : rows) {
		sim_info.push_back(file_history_struct(1));  // replaced by the read
		deleted_files.insert("/old/");
		stg.total_download_kb = stg.total_install_kb = 5;
		stg.count_install = stg.count_delete = 5;
		EXPECT_EQ(read_directory(write("directory.txt", r.text)), 3) << r.name;
		EXPECT_EQ(history_paths(), r.histories) << r.name;
		EXPECT_TRUE(deleted_files.empty()) << r.name;
		EXPECT_EQ(stg.total_download_kb + stg.total_install_kb, 0.f) << r.name;
		EXPECT_EQ(stg.count_install + stg.count_delete, 0) << r.name;
		EXPECT_TRUE(alerts.empty()) << r.name;
		EXPECT_EQ(app_done, 0) << r.name;
	}
}

TEST_F(EngineManifest, StoresTheFieldsOfAFileLine)
{
	std::string text = header(900) + "DIR Top/\nFILE 0 1 900 512 1024 " + kSig + " Resources/a.txt\n" +
	                   "DISK 3\nFILE 7 -3 901 0 0 GONE Resources/b.txt\nFILE 0 9 -5 1 2 " + kSig + " c\n";
	ASSERT_EQ(read_directory(write("directory.txt", text), "Scanning..."), 3);
	ASSERT_EQ(sim_info.size(), 3u);
	const file_version_struct& a = sim_info[0][0];
	EXPECT_EQ(a.platform, 1);
	EXPECT_EQ(a.version, 900);
	EXPECT_EQ(a.download_kb, 512.f);
	EXPECT_EQ(a.install_kb, 1024.f);
	EXPECT_EQ(a.sig_want, kSig);
	EXPECT_EQ(a.sig_have, "");
	EXPECT_EQ(a.path, "Top/Resources/a.txt");
	EXPECT_EQ(a.disk, 0);
	EXPECT_EQ(a.have_is_want + a.install + a.remove + a.is_global, 0);
	const file_version_struct& b = sim_info[1][0];
	EXPECT_EQ(b.platform, 0);  // clamped; the first number is ignored
	EXPECT_EQ(b.version, 901);
	EXPECT_EQ(b.sig_want, "GONE");
	EXPECT_EQ(b.disk, 3);
	EXPECT_EQ(sim_info[2][0].platform, 6);
	EXPECT_EQ(sim_info[2][0].version, -5);
	EXPECT_EQ(sim_info[2][0].path, "Top/c");
	EXPECT_EQ(stg.has_sim, 1);
	EXPECT_EQ(stg.has_global, 0);
}

TEST_F(EngineManifest, SceneryTiles)
{
	struct {
		const char* path;
		int is_global, lat, lon;
	} rows[] = {
	    {"Top/Resources/default scenery/DSF 820/+40-120.DSF", 1, 13, 6},
	    {"Top/Global Scenery/readme.dsf", 1, 8, 17},
	    {"Top/Custom Scenery/-global terrain-/-10+170.dsf", 1, 8, 35},
	    {"Top/Global Scenery/+40-120.txt", 0, -1, -1},
	    {"Top/Global Scenery/+95+000.dsf", 0, -1, -1},  // off the grid: an ordinary file
	    {"Top/Resources/+40-120.dsf", 0, -1, -1},
	};
	std::string text = header(900);
	for (auto& r : rows) text += file_line("0 0 1 1 1 " + kSig + " " + r.path);
	ASSERT_EQ(read_directory(write("directory.txt", text)), 3);
	ASSERT_EQ(sim_info.size(), std::size(rows));
	int cells = 0;
	for (size_t i = 0; i < std::size(rows); ++i) {
		const file_version_struct& v = sim_info[i].back();
		EXPECT_EQ(v.is_global, rows[i].is_global) << rows[i].path;
		if (rows[i].is_global) {
			EXPECT_EQ(v.lat_index, rows[i].lat) << rows[i].path;
			EXPECT_EQ(v.lon_index, rows[i].lon) << rows[i].path;
			EXPECT_EQ(stg_tile(stg.scenery_available, rows[i].lat + 18 * rows[i].lon), 1) << rows[i].path;
			++cells;
		}
	}
	int total = 0;
	for (int c = 0; c < stg_tile_cells; ++c) total += stg_tile(stg.scenery_available, c);
	EXPECT_EQ(total, cells);
	EXPECT_EQ(stg_tile(stg.scenery_available, 121), 1);
	EXPECT_EQ(stg.has_global, 1);
	EXPECT_EQ(stg.has_sim, 1);

	// Reading a manifest without scenery clears the offered tiles.
	ASSERT_EQ(read_directory(write("directory.txt", header(900) + file_line("0 0 1 1 1 " + kSig + " T/a"))), 3);
	total = 0;
	for (int c = 0; c < stg_tile_cells; ++c) total += stg_tile(stg.scenery_available, c);
	EXPECT_EQ(total, 0);
	EXPECT_EQ(stg.has_global, 0);

	int lon = 0, lat = 0;
	EXPECT_EQ(find_sector(&lon, &lat, "+40-120.dsf/"), 1);
	EXPECT_EQ(lat, 13);
	EXPECT_EQ(lon, 6);
	EXPECT_EQ(find_sector(&lon, &lat, ""), 1);  // -1, -1 is still on the grid
	EXPECT_EQ(is_global_scenery_f(nullptr), 0);
	EXPECT_EQ(is_global_scenery_f("Global Scenery/x.DsF"), 1);
	EXPECT_EQ(is_global_scenery_f("Global Scenery/xdsf"), 0);
	EXPECT_EQ(is_global_scenery_f("global scenery/x.dsf"), 0);  // folder names are case-sensitive
}

// A release as the builder writes it, read and then decided against what a
// checksum pass found on disk.
TEST_F(EngineManifest, ReadThenDecide)
{
	const std::string a1(32, 'a'), a2(32, 'b'), l1(32, 'c'), x(32, 'e');
	std::string text = header(900) +
	                   file_line("0 0 900 5 10 " + a1 + " All/Resources/a.txt") +
	                   file_line("0 0 901 5 30 " + a2 + " All/Resources/a.txt") +
	                   file_line("0 0 91001 0 0 GONE All/Resources/moved.txt") +
	                   file_line("0 3 901 2 20 " + l1 + " Linux/Resources/moved.txt") +
	                   file_line("0 0 91001 0 0 GONE All/Resources/old.txt") +
	                   file_line("0 2 901 2 40 " + l1 + " Windows/Resources/w.txt") +
	                   "DISK 1\n" + file_line("0 0 901 7 50 " + x + " All/Global Scenery/+40-120.dsf");
	ASSERT_EQ(read_directory(write("directory.txt", text)), 3);
	ASSERT_EQ(sim_info.size(), 6u);
	EXPECT_EQ(sim_info[0].size(), 2u);
	EXPECT_EQ(sim_info[5].back().disk, 1);

	// On disk: a.txt of the older release, moved.txt in its old place (the
	// same destination), old.txt modified, the scenery tile absent.
	const char* have[] = {nullptr, "", "", "NONE", "", "NONE"};
	sim_info[0].back().sig_have = a1;
	sim_info[1].back().sig_have = l1;
	sim_info[2].back().sig_have = l1;
	sim_info[3].back().sig_have = x;
	for (int f = 4; f < 6; ++f) sim_info[f].back().sig_have = have[f];
	scenery_take_all();
	dest_dir_path = dir + "dest/";

	std::vector<std::string> asked;
	select_alert_set_asker([&](const select_alert_question& q) {
		asked.push_back(q.path);
		return 1;
	});
	ASSERT_EQ(choose_files(), 1);
	select_alert_set_asker(nullptr);
	EXPECT_EQ(asked, std::vector<std::string>{dest_dir_path + "Resources/old.txt"});

	struct {
		int install, remove;
	} want[] = {{1, 0}, {0, 0}, {0, 0}, {0, 1}, {0, 0}, {1, 0}};
	for (int f = 0; f < 6; ++f) {
		EXPECT_EQ(sim_info[f].back().install, want[f].install) << f;
		EXPECT_EQ(sim_info[f].back().remove, want[f].remove) << f;
	}
	EXPECT_FLOAT_EQ(sim_info[5].back().progress_start, 30.f / 80.f);

	recalc_disk_sizes();
	EXPECT_EQ(stg.count_install, 3);  // a.txt, moved.txt (not yet checked as equal), the tile
	EXPECT_FLOAT_EQ(stg.total_install_kb, 100);
	EXPECT_EQ(stg.count_delete, 1);  // old.txt; moved.txt lives on under its new entry
}

TEST_F(EngineManifest, NewerFormatIsRefused)
{
	std::string path = write("directory.txt", header(901) + file_line("0 0 1 1 1 " + kSig + " T/a"));
	EXPECT_EQ(read_directory(path), 2);
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].kind, alert_warning);
	EXPECT_EQ(alerts[0].line1,
	          "OK I am checking the Tarnwick servers and I am finding file formats that are newer than I can understand!");
	EXPECT_EQ(alerts[0].line2, "In other words, you need to get a new installer!");
	EXPECT_EQ(alerts[0].line3, std::string("No problem... grab it at the download section of ") + ventora_web_site + ".");
	EXPECT_EQ(alerts[0].line4, path);
	EXPECT_EQ(stg.format_status, 2);
	EXPECT_EQ(app_done, 1);
	EXPECT_TRUE(sim_info.empty());
	EXPECT_EQ(vtest::read_file_bytes(record), std::string(ventora_download_page) + "\n");

	// Wrong keyword or a damaged first line are refused the same way.
	for (std::string text : {std::string("I\n900 version\nSERVERS\n"), std::string("X\n900 version\nINSTALLER\n")}) {
		alerts.clear();
		EXPECT_EQ(read_directory(write("directory.txt", text)), 2);
		EXPECT_EQ(alerts.size(), 1u);
	}
}

TEST_F(EngineManifest, FatalAlerts)
{
	struct {
		const char* name;
		bool create;
		std::string text;
		std::vector<std::string> lines;  // 2..4; the first is checked below
		const char* line1;
	} rows[] = {
	    {"missing file", false, "", {"The file is:", "@path", ""},
	     "I tried to read a directory file that does not exist!"},
	    {"path without a file", true, header(900) + "DIR Top/sub/\n" + file_line("0 0 1 1 1 " + kSig + " more/"),
	     {"This is impossible to download or delete!", "It is:", "Top/sub/more/"},
	     "I am reading the directory text file and found a path that has no file!"},
	    {"line ends before the name", true, header(900) + "DIR Top/\nFILE 0 0 1\n",
	     {"This is impossible to download or delete!", "It is:", "Top/"},
	     "I am reading the directory text file and found a path that has no file!"},
	};
	for (auto& r : rows) {
		alerts.clear();
		std::string path = dir + "absent.txt";
		if (r.create) path = write("directory.txt", r.text);
		EXPECT_EQ(read_directory(path), 2) << r.name;
		ASSERT_EQ(alerts.size(), 1u) << r.name;
		EXPECT_EQ(alerts[0].kind, alert_fatal) << r.name;
		EXPECT_EQ(alerts[0].source_file, "Installer-f/utils") << r.name;
		EXPECT_EQ(alerts[0].line1, r.line1) << r.name;
		EXPECT_EQ(alerts[0].line2, r.lines[0]) << r.name;
		EXPECT_EQ(alerts[0].line3, r.lines[1] == "@path" ? path : r.lines[1]) << r.name;
		EXPECT_EQ(alerts[0].line4, r.lines[2] == "@path" ? path : r.lines[2]) << r.name;
		EXPECT_TRUE(sim_info.empty()) << r.name;
		EXPECT_EQ(stg.format_status, 0) << r.name;
	}
}

TEST_F(EngineManifest, HostilePathsRefuseTheManifest)
{
	std::string log_path = dir + "log.txt";
	xer.open(log_path);
	const char* names[] = {"/etc/passwd", "Top/../../etc/passwd", "../x", "Top/..", "Top//x", "Top/sub/../../../x"};
	for (const char* name : names) {
		std::string text = header(900) + file_line("0 0 1 1 1 " + kSig + " T/ok") +
		                   file_line("0 0 1 1 1 " + kSig + " " + name);
		EXPECT_EQ(read_directory(write("directory.txt", text)), 2) << name;
		EXPECT_TRUE(sim_info.empty()) << name;
		EXPECT_EQ(stg.has_sim, 0) << name;
		EXPECT_TRUE(alerts.empty()) << name;
		EXPECT_EQ(stg.format_status, 0) << name;
		EXPECT_EQ(app_done, 0) << name;
	}
	// A hostile DIR text is caught in the joined path.
	EXPECT_EQ(read_directory(write("directory.txt", header(900) + "DIR /abs/\n" +
	                                                    file_line("0 0 1 1 1 " + kSig + " x"))),
	          2);
	xer.close();
	std::string log = vtest::read_file_bytes(log_path);
	EXPECT_NE(log.find("FILE 0 0 1 1 1 " + kSig + " Top/../../etc/passwd"), std::string::npos) << log;
	EXPECT_FALSE(std::ifstream(record).good());  // no web page for a damaged manifest
}

TEST_F(EngineManifest, NewInstallerAlert)
{
	new_installer("https://downloads.example/installer.html");
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].kind, alert_warning);
	EXPECT_EQ(alerts[0].line1, "There is a newer version of the Ventora web demo installer available.");
	EXPECT_EQ(alerts[0].line2, "I will take you to the web page where you can downoad it.");
	EXPECT_EQ(alerts[0].line3 + alerts[0].line4, "");
	EXPECT_EQ(app_done, 1);
	EXPECT_EQ(stg.format_status, 0);
	EXPECT_EQ(vtest::read_file_bytes(record), "https://downloads.example/installer.html\n");
}

TEST_F(EngineManifest, WebPageOpener)
{
	struct {
		std::string url;
		const char* opened;  // null: not opened
	} rows[] = {
	    {"http://a.example/x?y=1&z=2", "http://a.example/x?y=1&z=2"},
	    {"www.a.example/page", "http://www.a.example/page"},
	    {"file:///etc/passwd", nullptr},
	    {"/etc/passwd", nullptr},
	    {"--help", nullptr},
	    {"", nullptr},
	    {"https://a.example/" + std::string(481, 'a'), "full"},  // 499 characters
	};
	for (auto& r : rows) {
		unlink(record.c_str());
		go_to_URL(r.url);
		std::string want = r.opened == nullptr ? "" : (std::string(r.opened) == "full" ? r.url : r.opened) + "\n";
		EXPECT_EQ(vtest::read_file_bytes(record), want) << r.url;
	}
	EXPECT_TRUE(alerts.empty());

	// Longer addresses are opened whole, not refused.
	unlink(record.c_str());
	const std::string longer = "https://a.example/" + std::string(482, 'a');
	go_to_URL(longer);
	EXPECT_EQ(vtest::read_file_bytes(record), longer + "\n");
	EXPECT_TRUE(alerts.empty());

	// No opener on the PATH: logged, the program goes on.
	setenv("PATH", "/nonexistent", 1);
	go_to_URL("http://a.example/");
	EXPECT_TRUE(alerts.empty());
}

// Zombie children of this process (state Z in /proc).
int zombie_children()
{
	int zombies = 0;
	std::ifstream kids("/proc/self/task/" + std::to_string(getpid()) + "/children");
	int pid = 0;
	while (kids >> pid) {
		std::ifstream st("/proc/" + std::to_string(pid) + "/stat");
		std::string line;
		std::getline(st, line);
		const size_t close = line.rfind(')');
		if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') ++zombies;
	}
	return zombies;
}

// An opener that outlives the short wait is still reaped when it ends.
TEST_F(EngineManifest, SlowWebPageOpenerIsReaped)
{
	std::ofstream sh(dir + "bin/xdg-open", std::ios::trunc);
	sh << "#!/bin/sh\nsleep 2.3\nprintf '%s\\n' \"$*\" >> '" << record << "'\n";
	sh.close();
	go_to_URL("http://slow.example/");
	for (int i = 0; i < 300 && vtest::read_file_bytes(record).empty(); ++i) usleep(10000);
	EXPECT_EQ(vtest::read_file_bytes(record), "http://slow.example/\n");
	int zombies = 1;
	for (int i = 0; i < 100 && (zombies = zombie_children()) > 0; ++i) usleep(10000);
	EXPECT_EQ(zombies, 0);
}

}  // namespace
