// Scenery library against scenery trees made in a temporary working folder:
// discovery, library statements, reports, lookups, file searches, tile paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "DIzivoz/Files/io_dsf_tile.h"
#include "DIzivoz/Files/io_locate.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/TEX/TEX_png.h"
#include "DIzivoz/TEX/TEX_utils.h"
#include "tests/support/test_files.h"
#include "tests/support/tex_fixtures.h"

namespace {

const std::string H = "I\n800 version\nLIBRARY\n";

// A fresh working folder holding the scenery tree, the log captured to a file
// in it, alerts captured, and the random table as start-up fills it.
class scenery_tree {
public:
	scenery_tree()
	{
		if (!getcwd(old_cwd_, sizeof(old_cwd_))) old_cwd_[0] = 0;
		if (chdir(tmp_.path().c_str()) != 0) throw std::runtime_error("chdir");
		log_path_ = tmp_.path() + "log.txt";
		xer.open(log_path_);
		MACIBM_set_alert_sink([this](const alert_record& r) {
			alerts.push_back(r);
			problems_at_alert.push_back(package_problems);
		});
		std::srand(1);
		for (float& r : randrat) r = (float)(std::rand() * std::pow(2.0, -31) * 0.9999);
	}
	~scenery_tree()
	{
		xer.close();
		MACIBM_set_alert_sink(nullptr);
		if (old_cwd_[0] && chdir(old_cwd_) != 0) std::abort();
	}

	// A file (folders made as needed), relative to the working folder.
	void write(const std::string& rel, const std::string& bytes) const
	{
		std::filesystem::create_directories(std::filesystem::path(tmp_.path() + rel).parent_path());
		std::ofstream out(tmp_.path() + rel, std::ios::binary | std::ios::trunc);
		out << bytes;
	}
	void mkdir(const std::string& rel) const { std::filesystem::create_directories(tmp_.path() + rel); }

	std::string take_log()
	{
		xer.close();
		std::string text = vtest::read_file_bytes(log_path_);
		xer.open(log_path_);
		return text;
	}
	// The message lines of the reports logged since the last take_log.
	std::vector<std::string> take_report_messages()
	{
		std::vector<std::string> out;
		std::istringstream in(take_log());
		std::string line;
		bool next_is_message = false;
		while (std::getline(in, line)) {
			if (next_is_message) out.push_back(line.substr(2));
			next_is_message = line.rfind("***Error with scenery file ", 0) == 0;
		}
		return out;
	}

	std::vector<alert_record> alerts;
	std::vector<std::vector<int>> problems_at_alert;

private:
	vtest::temp_folder tmp_;
	char old_cwd_[4096];
	std::string log_path_;
};

// Chain of a virtual path as text: package:ratio flags:path@region/cells.
std::string dump_chain(const std::string& vpath)
{
	std::string s;
	for (const lib_entry* e = DSF_LibraryChain(vpath); e; e = e->next) {
		if (!s.empty()) s += " | ";
		s += std::to_string(e->package) + ":" + std::to_string(e->ratio);
		if (e->is_exclude) s += "X";
		if (e->is_export) s += "E";
		if (e->is_backup) s += "B";
		s += ":" + e->path + "@";
		if (!e->region) {
			s += "-";
		} else {
			int n = 0;
			for (unsigned char c : e->region->cells) n += c;
			s += e->region->name + "/" + std::to_string(n);
		}
	}
	return s;
}

std::string pkg(int i) { return "Custom Scenery/p" + std::to_string(i) + "/"; }

// Writes up to four packages p0..p3 (a null text: no library file) and scans.
void scan_packages(scenery_tree& t, const std::vector<const char*>& libs)
{
	for (size_t i = 0; i < libs.size(); ++i) {
		t.mkdir(pkg((int)i));
		if (libs[i]) t.write(pkg((int)i) + "library.txt", libs[i]);
	}
	DSF_ScanSceneryFolder();
}

}  // namespace

// ---- discovery --------------------------------------------------------------

TEST(FilesScenery, DiscoveryOrderFlagsAndLogBlock)
{
	scenery_tree t;
	for (const char* d : {"Custom Scenery/Alps", "Custom Scenery/-global terrain-", "Custom Scenery/-global overlays-",
	                      "Custom Scenery/.hidden", "Custom Scenery/alpine2", "Global Scenery/G1",
	                      "Resources/default scenery/def b", "Resources/default scenery/Def a"})
		t.mkdir(d);
	t.write("Custom Scenery/not a folder", "x");
	t.take_log();
	DSF_ScanSceneryFolder();
	const std::vector<std::string> want = {
	    "Custom Scenery/alpine2/",
	    "Custom Scenery/Alps/",
	    "Global Scenery/G1/",
	    "Custom Scenery/-global overlays-/",
	    "Custom Scenery/-global terrain-/",
	    "Resources/default scenery/Def a/",
	    "Resources/default scenery/def b/",
	};
	EXPECT_EQ(scenery_packages, want);
	EXPECT_EQ(package_problems, std::vector<int>(7, 0));
	EXPECT_EQ(package_is_custom, (std::vector<int>{1, 1, 0, 1, 1, 0, 0}));
	EXPECT_EQ(t.take_log(),
	          "I found the following scenery packages (prioritized in this order):\n"
	          "  0 Custom Scenery/alpine2/\n"
	          "  1 Custom Scenery/Alps/\n"
	          "  2 Global Scenery/G1/\n"
	          "  3 Custom Scenery/-global overlays-/\n"
	          "  4 Custom Scenery/-global terrain-/\n"
	          "  5 Resources/default scenery/Def a/\n"
	          "  6 Resources/default scenery/def b/\n"
	          "\n");
	EXPECT_TRUE(t.alerts.empty());
}

TEST(FilesScenery, DiscoveryWithMissingRootsAndRescan)
{
	scenery_tree t;
	t.mkdir("Global Scenery/G1");
	t.write("Global Scenery/G1/library.txt", H + "EXPORT v a\n");
	DSF_ScanSceneryFolder();
	EXPECT_EQ(scenery_packages, std::vector<std::string>{"Global Scenery/G1/"});
	EXPECT_EQ(dump_chain("v"), "0:1E:a@-");
	package_problems[0] = 1;

	// A rescan forgets packages, flags and registry; no roots: nothing at all.
	std::filesystem::remove_all("Global Scenery");
	t.take_log();
	DSF_ScanSceneryFolder();
	EXPECT_TRUE(scenery_packages.empty());
	EXPECT_TRUE(package_problems.empty());
	EXPECT_TRUE(package_is_custom.empty());
	EXPECT_EQ(DSF_LibrarySize(), 0u);
	EXPECT_EQ(t.take_log(), "I found the following scenery packages (prioritized in this order):\n\n");
}

TEST(FilesScenery, PackageNamesWithColonAndBackslashAreReadLikeOthers)
{
	scenery_tree t;
	t.mkdir("Custom Scenery/a:b\\c");
	t.write("Custom Scenery/a:b\\c/library.txt", H + "EXPORT v x:y.obj\n");
	DSF_ScanSceneryFolder();
	ASSERT_EQ(scenery_packages, std::vector<std::string>{"Custom Scenery/a:b\\c/"});
	EXPECT_EQ(dump_chain("v"), "0:1E:x:y.obj@-");
	EXPECT_TRUE(t.alerts.empty());
	std::string p = "v";
	ASSERT_TRUE(DSF_LookupLibraryResourceAnywhere(p, 0));
	EXPECT_EQ(p, "Custom Scenery/a:b\\c/x:y.obj");
}

// ---- library statements -----------------------------------------------------

TEST(FilesScenery, StatementsBuildChains)
{
	const char* none = nullptr;
	const struct {
		const char* what;
		std::vector<const char*> libs;  // packages p0..p3
		std::string vpath;
		std::string chain;
		std::vector<std::string> reports;
	} cases[] = {
	    {"every keyword",
	     {"EXPORT v a\nEXPORT_EXTEND v b\nEXPORT_EXCLUDE v c\nEXPORT_BACKUP v d\nEXPORT_RATIO 5 v e\n"},
	     "v", "0:1E:a@- | 0:1:b@- | 0:1X:c@- | 0:5E:e@- | 0:1B:d@-", {}},
	    {"tabs and CR line ends", {"\tEXPORT\tv\ta\r  EXPORT_EXTEND v b\r\n"}, "v", "0:1E:a@- | 0:1:b@-", {}},
	    {"keyword at a line end, the file's end or before a non-blank",
	     {"EXPORT\nEXPORTS v a\nEXPORT_EXTENDx v b\nREGION\nEXPORT"}, "v", "", {}},
	    {"statement ending at the file's last byte", {"EXPORT v a b"}, "v", "0:1E:a b@-", {}},
	    {"real path keeps inner and trailing blanks", {"EXPORT v  my  file.obj  \t\nEXPORT v x\n"}, "v",
	     "0:1E:my  file.obj  \t@- | 0:1E:x@-", {}},
	    {"backslashes in both paths", {"EXPORT lib\\v.obj objs\\a.obj\n"}, "lib/v.obj", "0:1E:objs/a.obj@-", {}},
	    {"comments and unknown lines are skipped", {"# EXPORT v x\n\n   \nfoo bar\n\n\nEXPORT v a\n"}, "v",
	     "0:1E:a@-", {}},
	    {"ratio -1", {"EXPORT_RATIO -1 v a\n"}, "v", "0:16777215E:a@-",
	     {"Library error: you cannot have a ratio of more than 2^24 lib items for a -> v."}},
	    {"ratio 0", {"EXPORT_RATIO 0 v a\n"}, "v", "0:0E:a@-", {}},
	    {"ratio 2^24 + 1 keeps the low bits", {"EXPORT_RATIO 16777217 v a\n"}, "v", "0:1E:a@-",
	     {"Library error: you cannot have a ratio of more than 2^24 lib items for a -> v."}},
	    {"ratio digits wrap", {"EXPORT_RATIO +4294967298 v a\n"}, "v", "0:2E:a@-", {}},
	    {"ratio missing at the end of the file", {"EXPORT_RATIO "}, "", "0:0E:@-", {}},
	    {"higher priority first", {"EXPORT v a\n", "EXPORT v b\n"}, "v", "0:1E:a@- | 1:1E:b@-", {}},
	    {"backups from packages 1 and 3",
	     {"EXPORT v a\n", "EXPORT_BACKUP v b\n", "EXPORT v c\n", "EXPORT_BACKUP v d\nEXPORT v e\n"}, "v",
	     "0:1E:a@- | 2:1E:c@- | 3:1E:e@- | 3:1B:d@- | 1:1B:b@-", {}},
	    {"a backup first, then a lower package's entry", {"EXPORT_BACKUP v b\n", "EXPORT v a\n"}, "v",
	     "1:1E:a@- | 0:1B:b@-", {}},
	    {"no library file in a package", {none, "EXPORT v a\n"}, "v", "1:1E:a@-", {}},
	    {"region scope ends with its file",
	     {"REGION_DEFINE r\nREGION_RECT 0 0 0 0\nREGION r\nEXPORT v a\nEXPORT v b\n", "REGION r\nEXPORT v c\n"},
	     "v", "0:1E:a@r/1 | 0:1E:b@r/1 | 1:1E:c@-", {"REGION r - region unknown.  Ingoring"}},
	    {"REGION_DEFINE twice",
	     {"REGION_DEFINE r\nREGION_RECT 0 0 0 0\nREGION_DEFINE r\nREGION_RECT 1 1 1 1\nREGION r\nEXPORT v a\n"}, "v",
	     "0:1E:a@r/1",
	     {"REGION_DEFINE r - region already defined.  Ignoring.",
	      "REGION_RECT command used but no region has been defined."}},
	    {"REGION_RECT out of range", {"REGION_DEFINE r\nREGION_RECT 10 10 5 20\nREGION r\nEXPORT v a\n"}, "v",
	     "0:1E:a@r/0", {"The boundaries to a REGION_RECT command are out of range: 190,100->185,110"}},
	    {"REGION_RECT whole globe", {"REGION_DEFINE r\nREGION_RECT -180 -90 179 89\nREGION r\nEXPORT v a\n"}, "v",
	     "0:1E:a@r/64800", {}},
	    {"rectangles add up", {"REGION_DEFINE r\nREGION r\nEXPORT v a\nREGION_RECT 0 0 1 1\nREGION_RECT 1 1 2 2\n"},
	     "v", "0:1E:a@r/7", {}},
	    {"absurd numbers fail the bounds check",
	     {"REGION_DEFINE r\nREGION_RECT 2147483647 0 0 0\nREGION_RECT 0 0 99999999999 0\nREGION r\nEXPORT v a\n"},
	     "v", "0:1E:a@r/0",
	     {"The boundaries to a REGION_RECT command are out of range: 2147483827,90->180,90",
	      "The boundaries to a REGION_RECT command are out of range: 180,90->1215752371,90"}},
	    {"number ending at the file's last byte", {"REGION_DEFINE r\nREGION r\nEXPORT v a\nREGION_RECT -180 -90 179 8"},
	     "v", "0:1E:a@r/35640", {}},
	    {"a region statement ends after its arguments", {"REGION_DEFINE r REGION r EXPORT v a b\n"}, "v",
	     "0:1E:a b@r/0", {}},
	    {"REGION_RECT without a region skips its line", {"REGION_RECT 0 0 1 1 EXPORT v a\nEXPORT v b\n"}, "v",
	     "0:1E:b@-", {"REGION_RECT command used but no region has been defined."}},
	    {"REGION unknown keeps the current region",
	     {"REGION_DEFINE r\nREGION r\nREGION q\nEXPORT v a\n"}, "v", "0:1E:a@r/0",
	     {"REGION q - region unknown.  Ingoring"}},
	    {"REGION_BITMAP without a region", {"REGION_BITMAP x.png\nEXPORT v a\n"}, "v", "0:1E:a@-",
	     {"REGION_BITMAP used with no region defined.  REGION_BITMAP will be ignored."}},
	    {"REGION_BITMAP after a failed REGION_DEFINE",
	     {"REGION_DEFINE r\nREGION_DEFINE r\nREGION_BITMAP x.png\n"}, "v", "",
	     {"REGION_DEFINE r - region already defined.  Ignoring.",
	      "REGION_BITMAP used with no region defined.  REGION_BITMAP will be ignored."}},
	};
	for (const auto& c : cases) {
		scenery_tree t;
		std::vector<std::string> texts;
		for (const char* l : c.libs) texts.push_back(l ? H + l : std::string());
		std::vector<const char*> libs;
		for (size_t i = 0; i < texts.size(); ++i) libs.push_back(c.libs[i] ? texts[i].c_str() : nullptr);
		scan_packages(t, libs);
		EXPECT_EQ(dump_chain(c.vpath), c.chain) << c.what;
		EXPECT_EQ(t.take_report_messages(), c.reports) << c.what;
		EXPECT_EQ(t.alerts.size(), c.reports.empty() ? 0u : 1u) << c.what;
	}
}

TEST(FilesScenery, RectCellsFollowTheCellFormula)
{
	scenery_tree t;
	scan_packages(t, {(H + "REGION_DEFINE r\nREGION_RECT -1 -2 0 3\nREGION r\nEXPORT v a\n").c_str()});
	const lib_entry* e = DSF_LibraryChain("v");
	ASSERT_TRUE(e && e->region);
	for (int lon = -180; lon < 180; ++lon)
		for (int lat = -90; lat < 90; ++lat) {
			const bool inside = lon >= -1 && lon <= 0 && lat >= -2 && lat <= 3;
			ASSERT_EQ(e->region->cells[(lon + 180) * 180 + (lat + 90)], inside ? 1 : 0) << lon << "," << lat;
		}
}

namespace {
// Starts the process's peak resident size (VmHWM) again from its present size.
void peak_rss_reset() { std::ofstream("/proc/self/clear_refs") << "5"; }
// A size line of /proc/self/status in bytes.
long long status_bytes(const char* key)
{
	std::ifstream in("/proc/self/status");
	std::string line;
	while (std::getline(in, line))
		if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key)) * 1024;
	return -1;
}
}  // namespace

TEST(FilesScenery, RegionsCostMemoryOnlyForDifferentCells)
{
	// 10,000 regions each: never given a cell; all given the same one and
	// used; each given its own cell and used.
	std::string unused = H, same = H, own = H;
	for (int i = 0; i < 10000; ++i) {
		const std::string n = std::to_string(i);
		unused += "REGION_DEFINE r" + n + "\n";
		same += "REGION_DEFINE r" + n + "\nREGION_RECT 10 20 10 20\nREGION r" + n + "\nEXPORT_EXTEND v p" + n + "\n";
		own += "REGION_DEFINE r" + n + "\nREGION_RECT " + std::to_string(i % 360 - 180) + " " +
		       std::to_string(i / 360 - 90) + " " + std::to_string(i % 360 - 180) + " " +
		       std::to_string(i / 360 - 90) + "\nREGION r" + n + "\nEXPORT_EXTEND v p" + n + "\n";
	}
	const struct {
		const char* what;
		const std::string& text;
	} cases[] = {{"unused", unused}, {"same cells", same}, {"own cells", own}};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		scenery_tree t;
		t.mkdir(pkg(0));
		t.write(pkg(0) + "library.txt", c.text);
		const long long before = status_bytes("VmRSS:");
		peak_rss_reset();
		DSF_ScanSceneryFolder();
		const long long grown = status_bytes("VmHWM:") - before;
		EXPECT_LT(grown, 64ll << 20);
		if (&c.text == &unused) continue;
		std::vector<const lib_entry*> entries;
		for (const lib_entry* e = DSF_LibraryChain("v"); e; e = e->next) entries.push_back(e);
		ASSERT_EQ(entries.size(), 10000u);
		std::string p = "v";
		if (&c.text == &same) {
			for (const lib_entry* e : entries) ASSERT_EQ(e->region->cells.block, entries[0]->region->cells.block);
			EXPECT_TRUE(DSF_LookupLibraryResource(10, 20, p, 0));
			p = "v";
			EXPECT_FALSE(DSF_LookupLibraryResource(10, 21, p, 0));
			EXPECT_TRUE(t.alerts.empty());
			continue;
		}
		// Each region holds its cell until the different sets reach their
		// bound; the rest are reported and hold none.
		std::set<const unsigned char*> held;
		for (size_t i = 0; i < entries.size(); ++i) {
			const lib_cells& cells = entries[i]->region->cells;
			if (cells.block == DSF_no_cells) continue;
			EXPECT_EQ(cells[(i % 360) * 180 + i / 360], 1) << i;
			EXPECT_TRUE(held.insert(cells.block).second) << i;
		}
		EXPECT_EQ(held.size(), 512u);
		for (const unsigned char* b : held) ASSERT_EQ(std::count(b, b + 64800, 1), 1);
		EXPECT_TRUE(DSF_LookupLibraryResource(-180, -90, p, 0));
		EXPECT_EQ(p, pkg(0) + "p0");
		const std::vector<std::string> reports = t.take_report_messages();
		ASSERT_EQ(reports.size(), 10000u - 512u);
		EXPECT_EQ(reports[0], "REGION_DEFINE r512 - more than 512 different regions.  The region will be empty.");
		EXPECT_EQ(t.alerts.size(), 1u);
	}
}

TEST(FilesScenery, HeadersThatFailAreReportedAndSkipped)
{
	const struct {
		const char* what;
		std::string text;
	} cases[] = {
	    {"version 801", "I\n801 version\nLIBRARY\nEXPORT v a\n"},
	    {"other keyword", "I\n800 version\nLIBRARIES\nEXPORT v a\n"},
	    {"no header", "EXPORT v a\n"},
	};
	for (const auto& c : cases) {
		scenery_tree t;
		scan_packages(t, {c.text.c_str()});
		EXPECT_EQ(DSF_LibrarySize(), 0u) << c.what;
		const std::string log = t.take_log();
		EXPECT_NE(log.find("***Error with scenery file \"Custom Scenery/p0/library.txt\" (DIzivoz/Files/io_locate: 401.)\n"
		                   "  Incorrect version for scenery library file.  Will skip.\n"),
		          std::string::npos)
		    << c.what << log;
		ASSERT_EQ(t.alerts.size(), 1u) << c.what;
		EXPECT_EQ(t.alerts[0].line2, "Custom Scenery/p0/") << c.what;
	}
}

TEST(FilesScenery, FileOfWholePagesIsReadToItsLastByteAndNoFurther)
{
	const long page = sysconf(_SC_PAGESIZE);
	for (const std::string tail : {"EXPORT v last", "REGION_DEFINE r\nREGION r\nEXPORT v last\nREGION_RECT 0 0 0 1"}) {
		scenery_tree t;
		std::string text = H + "#";
		text += std::string(page - text.size() - 1 - tail.size(), 'x') + "\n" + tail;
		ASSERT_EQ((long)text.size(), page);
		scan_packages(t, {text.c_str()});
		const lib_entry* e = DSF_LibraryChain("v");
		ASSERT_TRUE(e) << tail;
		EXPECT_EQ(e->path, "last");
		if (e->region) {
			EXPECT_EQ(e->region->cells[180 * 180 + 91], 1);
		}
	}
}

// ---- reports ----------------------------------------------------------------

TEST(FilesScenery, ReportsLogAndAlertOncePerPackage)
{
	scenery_tree t;
	t.mkdir("Custom Scenery/C1");
	t.mkdir("Global Scenery/G1");
	DSF_ScanSceneryFolder();
	t.take_log();
	const char* first = "Error loading the scenery package:";
	const char* last = "Please see the log.txt file for detailed error information.";
	const struct {
		bool fatal;
		const char* file;
		bool alert;
		const char* line2;
		const char* line3;
		int kind;
	} rows[] = {
	    {false, "Earth nav data/+40-130/+47-123.dsf", true, "Earth nav data/+40-130/+47-123.dsf",
	     "The scenery may not look correct.", 1},
	    {false, "Earth nav data/+40-130/+47-123.dsf", true, "Earth nav data/+40-130/+47-123.dsf",
	     "The scenery may not look correct.", 1},
	    {false, "Custom Scenery/C1/objects/a.obj", true, "Custom Scenery/C1/", "The scenery may not look correct.", 1},
	    {false, "Custom Scenery/C1/library.txt", false, "", "", 0},
	    {true, "elsewhere.dsf", true, "elsewhere.dsf", "Ventora cannot run with this corrupt file.", 2},
	    {true, "Custom Scenery/C1/x.dsf", true, "Custom Scenery/C1/",
	     "Ventora cannot run with this package installed - you may need to remove the custom  scenery package.", 2},
	    {true, "Global Scenery/G1/x.dsf", true, "Global Scenery/G1/",
	     "Ventora cannot run with this package installed - You may need to reinstall Ventora.", 2},
	};
	int n = 0;
	for (const auto& r : rows) {
		const size_t before = t.alerts.size();
		if (r.fatal) __DSF_FatalError("DIzivoz/Sim/reader", 77 + n, r.file, "bad %s number %d", "thing", n);
		else __DSF_NonFatalError("DIzivoz/Sim/reader", 77 + n, r.file, "bad %s number %d", "thing", n);
		EXPECT_EQ(t.take_log(), std::string("***Error with scenery file \"") + r.file + "\" (DIzivoz/Sim/reader: " +
		                            std::to_string(77 + n) + ".)\n  bad thing number " + std::to_string(n) + "\n")
		    << n;
		ASSERT_EQ(t.alerts.size(), before + (r.alert ? 1 : 0)) << n;
		if (r.alert) {
			const alert_record& a = t.alerts.back();
			EXPECT_EQ(a.line1, first);
			EXPECT_EQ(a.line2, r.line2) << n;
			EXPECT_EQ(a.line3, r.line3) << n;
			EXPECT_EQ(a.line4, last);
			EXPECT_EQ(a.kind, r.kind) << n;
			EXPECT_EQ(a.source_file, "DIzivoz/Files/io_locate");
			EXPECT_EQ(a.source_line, r.fatal ? 352 : 310);
		}
		++n;
	}
	// The package's flag was set before each package alert was shown.
	EXPECT_EQ(t.problems_at_alert[2], (std::vector<int>{1, 0}));
	EXPECT_EQ(t.problems_at_alert[4], (std::vector<int>{1, 0}));
	EXPECT_EQ(t.problems_at_alert[5], (std::vector<int>{1, 1}));
}

TEST(FilesScenery, TwoErrorsInOneLibraryFileGiveTwoLogEntriesAndOneAlert)
{
	scenery_tree t;
	scan_packages(t, {(H + "REGION a\nREGION b\n").c_str(), (H + "REGION c\n").c_str()});
	EXPECT_EQ(t.take_report_messages(),
	          (std::vector<std::string>{"REGION a - region unknown.  Ingoring", "REGION b - region unknown.  Ingoring",
	                                    "REGION c - region unknown.  Ingoring"}));
	ASSERT_EQ(t.alerts.size(), 2u);
	EXPECT_EQ(t.alerts[0].line2, pkg(0));
	EXPECT_EQ(t.alerts[1].line2, pkg(1));
}

TEST(FilesScenery, LongReportIsCutAtItsBuffer)
{
	scenery_tree t;
	const std::string path(10000, 'p');
	__DSF_NonFatalError("src", 1, path.c_str(), "%s and more", path.c_str());
	const std::string log = t.take_log();
	EXPECT_NE(log.find("\n  " + std::string(4095, 'p') + "\n"), std::string::npos);
	ASSERT_EQ(t.alerts.size(), 1u);
	EXPECT_EQ(t.alerts[0].line2, path);
}

// ---- lookups ------------------------------------------------------------------

TEST(FilesScenery, LibraryLookups)
{
	const char* none = nullptr;
	const int in = 5, out = 20;  // a cell inside and one outside "REGION_RECT 0 0 9 9"
	const struct {
		const char* what;
		std::vector<const char*> libs;
		int lon, lat;
		float r;              // randrat at the seed used
		const char* single;   // null: false
		std::vector<std::string> multiple;
	} cases[] = {
	    {"package run, low draw", {"EXPORT v a1\nEXPORT v a2\n", none, "EXPORT v c\n"}, 0, 0, 0.49f, "p0/a1",
	     {"p0/a1", "p0/a2"}},
	    {"package run, high draw", {"EXPORT v a1\nEXPORT v a2\n", none, "EXPORT v c\n"}, 0, 0, 0.5f, "p0/a2",
	     {"p0/a1", "p0/a2"}},
	    {"region inside", {"REGION_DEFINE r\nREGION_RECT 0 0 9 9\nREGION r\nEXPORT v r\n", "EXPORT_BACKUP v b\n"}, in,
	     in, 0.9f, "p0/r", {"p0/r"}},
	    {"region outside: the backup", {"REGION_DEFINE r\nREGION_RECT 0 0 9 9\nREGION r\nEXPORT v r\n", "EXPORT_BACKUP v b\n"},
	     out, out, 0.1f, "p1/b", {"p1/b"}},
	    {"a cell off the globe lies in no region",
	     {"REGION_DEFINE r\nREGION_RECT -180 -90 179 89\nREGION r\nEXPORT v r\n", "EXPORT_BACKUP v b\n"}, 180, 90, 0.1f,
	     "p1/b", {"p1/b"}},
	    {"EXTEND goes on", {"EXPORT_EXTEND v a\n", "EXPORT_EXTEND v b\n", "EXPORT v c\n", "EXPORT v d\n"}, 0, 0, 0.9f,
	     "p2/c", {"p0/a", "p1/b", "p2/c"}},
	    {"ratio 3 then EXPORT, target 0", {"EXPORT_RATIO 3 v A\nEXPORT v B\n"}, 0, 0, 0.0f, "p0/A",
	     {"p0/A", "p0/A", "p0/A", "p0/B"}},
	    {"target 2", {"EXPORT_RATIO 3 v A\nEXPORT v B\n"}, 0, 0, 0.74f, "p0/A", {"p0/A", "p0/A", "p0/A", "p0/B"}},
	    {"target 3", {"EXPORT_RATIO 3 v A\nEXPORT v B\n"}, 0, 0, 0.75f, "p0/B", {"p0/A", "p0/A", "p0/A", "p0/B"}},
	    {"EXCLUDE stops at itself", {"EXPORT_EXTEND v a\nEXPORT_EXCLUDE v x\nEXPORT v b\n", "EXPORT v c\n"}, 0, 0, 0.9f,
	     "p0/x", {"p0/a", "p0/x"}},
	    {"all ratios 0", {"EXPORT_RATIO 0 v a\nEXPORT_RATIO 0 v b\n"}, 0, 0, 0.5f, nullptr, {}},
	    {"a zero ratio is never drawn", {"EXPORT_RATIO 0 v a\nEXPORT v b\n"}, 0, 0, 0.0f, "p0/b", {"p0/b"}},
	    {"unknown name", {"EXPORT w a\n"}, 0, 0, 0.5f, nullptr, {}},
	    {"a table value of 1 chooses the last weighted entry", {"EXPORT v a\nEXPORT v b\nEXPORT_RATIO 0 v c\n"}, 0, 0,
	     1.0f, "p0/b", {"p0/a", "p0/b"}},
	};
	for (const auto& c : cases) {
		scenery_tree t;
		std::vector<std::string> texts;
		for (const char* l : c.libs) texts.push_back(l ? H + l : std::string());
		std::vector<const char*> libs;
		for (size_t i = 0; i < texts.size(); ++i) libs.push_back(c.libs[i] ? texts[i].c_str() : nullptr);
		scan_packages(t, libs);
		const int seed = 123457;  // reads slot 3457
		randrat[3457] = c.r;
		std::string p = "v";
		const bool found = DSF_LookupLibraryResource(c.lon, c.lat, p, seed);
		EXPECT_EQ(found, c.single != nullptr) << c.what;
		EXPECT_EQ(p, c.single ? "Custom Scenery/" + std::string(c.single) : "v") << c.what;
		std::vector<std::string> want, got = {"stale"};
		for (const std::string& m : c.multiple) want.push_back("Custom Scenery/" + m);
		EXPECT_EQ(DSF_LookupLibraryResourceMultiple(c.lon, c.lat, "v", got), !want.empty()) << c.what;
		EXPECT_EQ(got, want) << c.what;
	}
}

TEST(FilesScenery, AnywhereLookupsIgnoreRegions)
{
	scenery_tree t;
	scan_packages(t, {(H + "REGION_DEFINE r\nREGION r\nEXPORT v a\n").c_str(), (H + "EXPORT_BACKUP v b\n").c_str()});
	std::string p = "v";
	ASSERT_TRUE(DSF_LookupLibraryResource(0, 0, p, 0));  // the region holds no cell
	EXPECT_EQ(p, pkg(1) + "b");
	p = "v";
	ASSERT_TRUE(DSF_LookupLibraryResourceAnywhere(p, 0));
	EXPECT_EQ(p, pkg(0) + "a");
	std::vector<std::string> out;
	ASSERT_TRUE(DSF_LookupLibraryResourceAnywhereMultiple("v", out));
	EXPECT_EQ(out, std::vector<std::string>{pkg(0) + "a"});
	// Seeds read their slot of the table; a negative one stays inside it.
	randrat[7] = 0.0f;
	p = "v";
	EXPECT_TRUE(DSF_LookupLibraryResourceAnywhere(p, -9993));
}

TEST(FilesScenery, HugeRatiosMakeAProportionateListOfBoundedSize)
{
	scenery_tree t;
	scan_packages(t, {(H + "EXPORT_RATIO -1 v A\nEXPORT_RATIO 3 v B\nEXPORT_RATIO 0 v C\nEXPORT v D\n").c_str()});
	t.take_log();
	std::vector<std::string> out;
	ASSERT_TRUE(DSF_LookupLibraryResourceMultiple(0, 0, "v", out));
	EXPECT_EQ(std::count(out.begin(), out.end(), pkg(0) + "A"), 9999);
	EXPECT_EQ(std::count(out.begin(), out.end(), pkg(0) + "B"), 1);
	EXPECT_EQ(std::count(out.begin(), out.end(), pkg(0) + "C"), 0);
	EXPECT_EQ(std::count(out.begin(), out.end(), pkg(0) + "D"), 1);
	EXPECT_EQ(out.size(), 10001u);
	EXPECT_EQ(t.take_log(), "Library list for v has weights adding up to 16777219: listing them scaled to 10000.\n");

	// The single draw still weighs the whole ratios.
	randrat[0] = 0.99999f;
	std::string p = "v";
	ASSERT_TRUE(DSF_LookupLibraryResource(0, 0, p, 0));
	EXPECT_EQ(p, pkg(0) + "A");
	randrat[0] = 1.0f - 0x1p-22f;  // 16777220 (the total in single precision) times this: target 16777216, B
	p = "v";
	ASSERT_TRUE(DSF_LookupLibraryResource(0, 0, p, 0));
	EXPECT_EQ(p, pkg(0) + "B");
}

// ---- file searches --------------------------------------------------------------

TEST(FilesScenery, NoLibCandidatesPerType)
{
	const std::string B = "Custom Scenery/K/Earth nav data/";
	const struct {
		int type;
		const char* name;
		std::vector<std::string> candidates;
	} cases[] = {
	    {0, "x.txt", {B + "x.txt", "Resources/x.txt"}},
	    {1, "t.png",
	     {B + "t.dds", B + "t.png", B + "t.bmp", B + "custom terrain textures/t.dds",
	      B + "custom terrain textures/t.png", B + "custom terrain textures/t.bmp", B + "custom object textures/t.dds",
	      B + "custom object textures/t.png", B + "custom object textures/t.bmp", "Resources/bitmaps/terrain/t.dds",
	      "Resources/bitmaps/terrain/t.png", "Resources/bitmaps/terrain/t.bmp", "Resources/t.dds", "Resources/t.png",
	      "Resources/t.bmp"}},
	    {1, "abc",
	     {B + "abc", B + "abc", B + "abc", B + "custom terrain textures/abc", B + "custom terrain textures/abc",
	      B + "custom terrain textures/abc", B + "custom object textures/abc", B + "custom object textures/abc",
	      B + "custom object textures/abc", "Resources/bitmaps/terrain/abc", "Resources/bitmaps/terrain/abc",
	      "Resources/bitmaps/terrain/abc", "Resources/abc", "Resources/abc", "Resources/abc"}},
	    {2, "g.ter",
	     {B + "g.ter", B + "custom terrain textures/g.ter", "Resources/bitmaps/terrain/g.ter", "Resources/g.ter"}},
	    {3, "o.obj", {B + "o.obj", B + "custom objects/o.obj", "Resources/objects/o.obj", "Resources/o.obj"}},
	    {7, "o.obj", {B + "o.obj", B + "custom objects/o.obj", "Resources/objects/o.obj", "Resources/o.obj"}},
	    {8, "o.obj", {B + "o.obj"}},
	};
	for (const auto& c : cases) {
		// Nothing exists: every candidate is logged in order, result empty.
		{
			scenery_tree t;
			std::string result = "stale";
			DSF_LocateResourceNoLib(c.type, c.name, B, true, result);
			EXPECT_EQ(result, "") << c.type << c.name;
			std::string want;
			for (const std::string& cand : c.candidates)
				want += "Failed to find resource '" + std::string(c.name) + "' at '" + cand + "'\n";
			EXPECT_EQ(t.take_log(), want) << c.type << c.name;
			DSF_LocateResourceNoLib(c.type, c.name, B, false, result);
			EXPECT_EQ(t.take_log(), "");
		}
		// Each distinct candidate, placed with every later one, wins.
		for (size_t k = 0; k < c.candidates.size(); ++k) {
			if (k && c.candidates[k] == c.candidates[k - 1]) continue;
			scenery_tree t;
			for (size_t j = k; j < c.candidates.size(); ++j) t.write(c.candidates[j], "f");
			if (k) t.mkdir(c.candidates[0]);  // a folder by the name is no file
			std::string result;
			DSF_LocateResourceNoLib(c.type, c.name, B, true, result);
			EXPECT_EQ(result, c.candidates[k]) << c.type << c.name << k;
			EXPECT_EQ(t.take_log(), "");
		}
	}
}

TEST(FilesScenery, SecondaryCandidatesPerType)
{
	const std::string P = "Custom Scenery/K/objects/trees/";
	const std::string K = "Custom Scenery/K/";
	const struct {
		int type, parent_type;
		std::string parent;
		const char* name;
		std::vector<std::string> candidates;
	} cases[] = {
	    {0, 3, P, "x.txt", {P + "x.txt", "Resources/x.txt"}},
	    {1, 2, P, "t.png",
	     {P + "t.dds", P + "t.png", P + "t.bmp", K + "custom terrain textures/t.dds", K + "custom terrain textures/t.png",
	      K + "custom terrain textures/t.bmp", "Resources/bitmaps/terrain/t.dds", "Resources/bitmaps/terrain/t.png",
	      "Resources/bitmaps/terrain/t.bmp", "Resources/t.dds", "Resources/t.png", "Resources/t.bmp"}},
	    {1, 3, P, "t.png",
	     {P + "t.dds", P + "t.png", P + "t.bmp", K + "custom object textures/t.dds", K + "custom object textures/t.png",
	      K + "custom object textures/t.bmp", "Resources/bitmaps/terrain/t.dds", "Resources/bitmaps/terrain/t.png",
	      "Resources/bitmaps/terrain/t.bmp", "Resources/t.dds", "Resources/t.png", "Resources/t.bmp"}},
	    {2, 2, P, "g.ter",
	     {P + "g.ter", K + "custom terrain textures/g.ter", "Resources/bitmaps/terrain/g.ter", "Resources/g.ter"}},
	    {5, 3, P, "o.obj", {P + "o.obj", K + "custom objects/o.obj", "Resources/objects/o.obj", "Resources/o.obj"}},
	    {9, 3, P, "o.obj", {P + "o.obj"}},
	    {3, 3, "", "o.obj", {"Resources/objects/o.obj", "Resources/o.obj"}},
	    {3, 3, "Elsewhere/", "o.obj", {"Elsewhere/o.obj", "Resources/objects/o.obj", "Resources/o.obj"}},
	};
	for (const auto& c : cases) {
		const std::string what = std::to_string(c.type) + "/" + std::to_string(c.parent_type) + c.parent;
		{
			scenery_tree t;
			std::string result = "stale";
			DSF_LocateResourceSecondary(c.type, c.parent_type, c.parent, c.name, true, result);
			EXPECT_EQ(result, "") << what;
			std::string want;
			for (const std::string& cand : c.candidates)
				want += "Failed to find resource '" + std::string(c.name) + "' (parent = '" + c.parent + "' at '" +
				        cand + "'\n";
			EXPECT_EQ(t.take_log(), want) << what;
		}
		for (size_t k = 0; k < c.candidates.size(); ++k) {
			scenery_tree t;
			for (size_t j = k; j < c.candidates.size(); ++j) t.write(c.candidates[j], "f");
			std::string result;
			DSF_LocateResourceSecondary(c.type, c.parent_type, c.parent, c.name, true, result);
			EXPECT_EQ(result, c.candidates[k]) << what << " " << k;
		}
	}
}

TEST(FilesScenery, CombinedOperationsJoinLibraryAndFiles)
{
	scenery_tree t;
	scan_packages(t, {(H + "EXPORT lib/o.obj real/o.obj\nEXPORT_RATIO 2 lib/two.obj real/two.obj\n").c_str()});
	const std::string B = pkg(0) + "dsf/";
	t.write(B + "lib/o.obj", "f");  // a plain file by the virtual name
	t.take_log();

	std::string result;
	DSF_LocateResourcePrimary(0, 0, 3, "lib/o.obj", B, true, result, 1);
	EXPECT_EQ(result, pkg(0) + "real/o.obj");
	DSF_LocateResourcePrimary(0, 0, 3, "lib/none.obj", B, true, result, 1);
	EXPECT_EQ(result, "");
	EXPECT_NE(t.take_log().find("Failed to find resource 'lib/none.obj' at '" + B + "lib/none.obj'\n"),
	          std::string::npos);

	std::vector<std::string> out = {"stale"};
	DSF_LocateResourcePrimaryMultiple(0, 0, 3, "lib/o.obj", B, true, out);
	EXPECT_EQ(out, (std::vector<std::string>{pkg(0) + "real/o.obj", B + "lib/o.obj"}));
	// Library holds the name, no file: nothing is logged.
	DSF_LocateResourcePrimaryMultiple(0, 0, 3, "lib/two.obj", B, true, out);
	EXPECT_EQ(out, (std::vector<std::string>{pkg(0) + "real/two.obj", pkg(0) + "real/two.obj"}));
	DSF_LocateResourcePrimaryMultiple(0, 0, 3, "lib/none.obj", B, true, out);
	EXPECT_TRUE(out.empty());
	const std::string log = t.take_log();
	EXPECT_EQ(log.find("two.obj"), std::string::npos);
	EXPECT_NE(log.find("'lib/none.obj'"), std::string::npos);

	const std::string P = pkg(0) + "objects/";
	t.write(pkg(0) + "custom objects/lib/o.obj", "f");
	DSF_LocateResourceSecondaryMultipleWithLibrary(0, 0, 3, 3, P, "lib/o.obj", true, out);
	EXPECT_EQ(out, (std::vector<std::string>{pkg(0) + "real/o.obj", pkg(0) + "custom objects/lib/o.obj"}));
	DSF_LocateResourceSecondaryMultipleWithLibrary(0, 0, 3, 3, P, "lib/two.obj", true, out);
	EXPECT_EQ(out.size(), 2u);
	DSF_LocateResourceSecondaryMultipleWithLibrary(0, 0, 3, 3, P, "lib/none.obj", true, out);
	EXPECT_TRUE(out.empty());
	EXPECT_NE(t.take_log().find("(parent = '" + P + "' at '"), std::string::npos);
}

TEST(FilesScenery, ExtractPackage)
{
	const struct {
		std::string path, package;
	} cases[] = {
	    {"Custom Scenery/Alps/objects/trees/pine.obj", "Custom Scenery/Alps/"},
	    {"Custom Scenery/Alps", ""},
	    {"Custom Scenery/", ""},
	    {"Custom Scenery/Al:ps/a.obj", "Custom Scenery/Al:ps/"},
	    {"Custom Scenery/Alps\\objects\\a.obj", "Custom Scenery/Alps\\"},
	    {"Global Scenery/G1/x", "Global Scenery/G1/"},
	    {"Resources/default scenery/D/x", "Resources/default scenery/D/"},
	    {"Resources/objects/a.obj", ""},
	    {"custom scenery/Alps/a.obj", ""},
	    {"", ""},
	};
	for (const auto& c : cases) EXPECT_EQ(extract_package(c.path), c.package) << c.path;
}

// ---- tile paths -------------------------------------------------------------------

TEST(FilesScenery, TilePaths)
{
	const struct {
		int lat, lon;
		const char* path;
	} cases[] = {
	    {47, -123, "+40-130/+47-123.dsf"}, {-1, 0, "-10+000/-01+000.dsf"},   {0, -1, "+00-010/+00-001.dsf"},
	    {-90, -180, "-90-180/-90-180.dsf"}, {89, 179, "+80+170/+89+179.dsf"}, {90, 180, "+90+180/+90+180.dsf"},
	    {0, 0, "+00+000/+00+000.dsf"},     {-10, -10, "-10-010/-10-010.dsf"}, {123, 1234, "+00+030/+03+034.dsf"},
	    {-95, -185, "-90-180/-95-185.dsf"},
	};
	for (const auto& c : cases) {
		std::string out = "something much longer than nineteen characters";
		return_latlon_str_dsf(c.lat, c.lon, &out);
		EXPECT_EQ(out, c.path) << c.lat << "," << c.lon;
	}
	for (int v : {INT_MIN, INT_MAX, -1000000}) {
		std::string out;
		return_latlon_str_dsf(v, v, &out);
		EXPECT_EQ(out.size(), 19u) << v;
	}
}

// ---- region bitmaps -----------------------------------------------------------------

namespace {

// A 24-bit BMP made byte by byte; lit pixels (column, row from the bottom)
// are white, all others black.
std::string bmp24(int w, int h, const std::vector<std::pair<int, int>>& lit)
{
	std::vector<unsigned char> rgb((size_t)w * h * 3, 0);
	for (const auto& p : lit)
		for (int k = 0; k < 3; ++k) rgb[((size_t)p.second * w + p.first) * 3 + k] = 255;
	return vtest::make_bmp(w, h, rgb);
}

std::vector<int> lit_cells(const lib_entry* e)
{
	std::vector<int> out;
	if (!e || !e->region) return out;
	for (int k = 0; k < 64800; ++k)
		if (e->region->cells[k]) out.push_back(k);
	return out;
}

int cell(int lon, int lat) { return (lon + 180) * 180 + (lat + 90); }

}  // namespace

TEST(FilesScenery, RegionBitmapFromBmpRewritesEveryCell)
{
	scenery_tree t;
	// Column x is longitude x - 180, row y from the bottom latitude y - 90.
	const std::string map = bmp24(360, 180, {{0, 0}, {359, 179}, {180, 137}});
	t.write(pkg(0) + "maps/world.bmp", map);
	t.write(pkg(0) + "a:b.bmp", map);
	scan_packages(t, {(H + "REGION_DEFINE r\nREGION_RECT 10 10 20 20\nREGION_BITMAP maps\\world.png\n"
	                       "REGION r\nEXPORT v a\n"
	                       "REGION_DEFINE q\nREGION_BITMAP a:b.bmp\nREGION q\nEXPORT w b\n")
	                      .c_str()});
	EXPECT_EQ(t.take_report_messages(), std::vector<std::string>{});
	const std::vector<int> want = {cell(-180, -90), cell(0, 47), cell(179, 89)};
	EXPECT_EQ(lit_cells(DSF_LibraryChain("v")), want);
	EXPECT_EQ(lit_cells(DSF_LibraryChain("w")), want);
	EXPECT_TRUE(t.alerts.empty());

	std::string p = "v";
	EXPECT_TRUE(DSF_LookupLibraryResource(0, 47, p, 0));
	p = "v";
	EXPECT_FALSE(DSF_LookupLibraryResource(15, 15, p, 0));  // the rectangle's cells were rewritten
}

TEST(FilesScenery, RegionBitmapFromPngWrittenByTheProgram)
{
	scenery_tree t;
	// Bottom-up buffer: row y is latitude y - 90, column x longitude x - 180.
	std::vector<unsigned char> px(360 * 180, 0);
	px[0 * 360 + 5] = 1;      // lon -175, lat -90: the faintest grey still counts
	px[100 * 360 + 200] = 255; // lon 20, lat 10
	px[179 * 360 + 359] = 80;  // lon 179, lat 89
	TEX_image_desc desc;
	desc.format = GL_ALPHA;
	desc.width = 360;
	desc.height = 180;
	t.mkdir(pkg(0) + "maps");
	ASSERT_EQ(TEX_save_png(pkg(0) + "maps/grey.png", desc, px.data()), 1);
	scan_packages(t, {(H + "REGION_DEFINE r\nREGION_RECT -180 -90 179 89\nREGION_BITMAP maps/grey.dds\n"
	                       "REGION r\nEXPORT v a\n")
	                      .c_str()});
	EXPECT_EQ(t.take_report_messages(), std::vector<std::string>{});
	EXPECT_EQ(lit_cells(DSF_LibraryChain("v")), (std::vector<int>{cell(-175, -90), cell(20, 10), cell(179, 89)}));
}

TEST(FilesScenery, RegionBitmapsThatCannotServe)
{
	scenery_tree t;
	t.write(pkg(0) + "small.bmp", bmp24(10, 5, {}));
	scan_packages(t, {(H + "REGION_DEFINE r\nREGION_RECT 0 0 0 0\nREGION_BITMAP none.png\nREGION_BITMAP small.png\n"
	                       "REGION r\nEXPORT v a\n")
	                      .c_str()});
	std::vector<std::string> want = {"Unable to load bitmap file 'none.png' for REGION_BITMAP command - will skip."};
	want.push_back("REGION_BITMAP with bitmap small.png has a size of 10, 5 but need sa size of 360x180.");
	EXPECT_EQ(t.take_report_messages(), want);
	EXPECT_EQ(lit_cells(DSF_LibraryChain("v")), std::vector<int>{cell(0, 0)});  // left as it was
	EXPECT_EQ(t.alerts.size(), 1u);
}
