#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "DIzivoz/Files/io_utils.h"
#include "tests/support/files_tmp.h"

TEST(FilesErrors, TextOfEachKindOfCode)
{
	const struct {
		int code;
		const char* text;
	} cases[] = {
	    {0, ""},
	    {ENOENT, "No such file or directory"},
	    {ENOTEMPTY, "Directory not empty"},        // keyed by the constant, not 66
	    {EAGAIN, "Resource temporarily unavailable"},
	    {EDEADLK, "Resource deadlock avoided"},
	    {ENOSPC, "No space left on device. Perhaps your hard drive is full"},
	    {-43, "File not found"},
	    {-5000, "You have insufficient privileges for this operation"},
	    {20001, "We were unable to open a zip file. It may be missing or damaged"},
	    {20007, "We were unable to connct to the network due to an internal reconnect error"},
	    {20012, "Part of the downloaded zip file is corrupted (the resource fork header is bad)"},
	    {20013, "Error code 20013"},
	    {20014, "Error code 20014"},
	    {err_archive_escape, "An archive entry would be written outside its destination folder."},
	    {err_signature_mismatch, "The downloaded file does not match its signature. It is damaged"},
	    {err_archive_too_big, "The downloaded file is larger than the release lists. It is damaged"},
	    {-1, "Error code -1"},
	    {123456, "Error code 123456"},
	};
	for (const auto& c : cases) EXPECT_EQ(error_str(c.code), c.text) << c.code;
}

TEST(FilesErrors, TableHoldsEveryRowOnceAndEndsWithNull)
{
	int rows = 0;
	for (const err_msg_row* r = kErrMsgs; r->text; ++r) {
		++rows;
		for (const err_msg_row* s = r + 1; s->text; ++s) EXPECT_NE(r->code, s->code) << r->text;
	}
	EXPECT_EQ(rows, 82);  // 79 rows of the original table, the archive-escape row and the two damaged-download rows
}

TEST(FilesErrors, LastFailingStepIsKeptPerThread)
{
	sErrFile = "";
	sErrLine = -1;
	std::thread([] { EXPECT_NE(make_folder("/proc/no/such/folder/"), 0); EXPECT_EQ(sErrLine, 462); }).join();
	EXPECT_STREQ(sErrFile, "");
	EXPECT_EQ(sErrLine, -1);
	EXPECT_NE(make_folder("/proc/no/such/folder/"), 0);
	EXPECT_STREQ(sErrFile, "DIzivoz/Files/io_utils");
	EXPECT_EQ(sErrLine, 462);
}

TEST(FilesPaths, NormalisingDirchars)
{
	const struct {
		std::string in, out;
	} cases[] = {
	    {"C:\\Data\\file.txt", "C:/Data/file.txt"},  // ':' is an ordinary character here
	    {"a//b/./c:d", "a//b/./c:d"},
	    {"caf\x8E", "caf\xC3\xA9"},                  // Mac OS Roman e acute
	    {"caf\xC3\xA9\\x", "caf\xC3\xA9/x"},          // already UTF-8: not converted again
	    {"end\xC3", "end\xE2\x88\x9A"},              // cut sequence: taken as Mac OS Roman
	    {"\xE2\x82\xAC", "\xE2\x82\xAC"},             // three-byte sequence
	    {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},     // four-byte sequence
	    {"\x80\xFF", "\xC3\x84\xCB\x87"},            // lone continuation and 0xFF
	    {"\xDB", "\xE2\x82\xAC"},                    // euro sign
	};
	for (const auto& c : cases) {
		std::string p = c.in;
		set_path_to_right_dirchars(p);
		EXPECT_EQ(p, c.out) << c.in;
	}
}

TEST(FilesPaths, FolderPartAndLastComponent)
{
	const struct {
		const char* in;
		const char* folder;
	} cases[] = {{"a/b/c.txt", "a/b/"}, {"a/b/c/", "a/b/"}, {"c.txt", ""}, {"/x", "/"},
	             {"x", ""},             {"a/", "a/"},       {"", ""},     {"/", "/"}};
	for (const auto& c : cases) {
		std::string out = "junk";
		get_path_with_path(out, c.in);
		EXPECT_EQ(out, c.folder) << c.in;
		EXPECT_EQ(std::string(c.folder) + path_last_component(c.in), c.in);
	}
}

TEST(FilesPaths, FullPathPrefixAndCaseRepair)
{
	files_tmp t;
	t.mkdir("Resources");
	t.mkdir("Resources/plugins");
	t.write("Resources/plugins/x.txt", "x");
	std::string p = t("resources/Plugins/x.txt");
	set_path_to_full(p);
	EXPECT_EQ(p, t("resources/Plugins/x.txt"));  // switch off: used as given

	g_case_sensitive = 1;
	p = t("resources/Plugins/x.txt");
	set_path_to_full(p);
	EXPECT_EQ(p, t("Resources/plugins/x.txt"));
	p = t("resources/nothing/x.txt");
	set_path_to_full(p);
	EXPECT_EQ(p, t("Resources/nothing/x.txt"));  // stops at the first unmatched component
	g_case_sensitive = 0;
}

TEST(FilesPaths, PlatformConversionsOverPlainPaths)
{
	files_tmp t;
	t.write("f.txt", "x");
	fs_file_ref ref;
	std::string name, back;
	ASSERT_EQ(FilePathToFSRefAndName(t("f.txt").c_str(), &ref, &name), 0);
	EXPECT_EQ(name, "f.txt");
	ASSERT_EQ(FSRefToFilePath(&ref, back), 0);
	char real[4096];
	ASSERT_TRUE(realpath(t.root.c_str(), real));
	EXPECT_EQ(back, real);
	ASSERT_EQ(FilePathToFSRefAndName(t("f.txt").c_str(), &ref, nullptr), 0);
	ASSERT_EQ(FSRefToFilePath(&ref, back), 0);
	EXPECT_EQ(back, std::string(real) + "/f.txt");
	EXPECT_EQ(FilePathToFSRefAndName(t("missing/f.txt").c_str(), &ref, &name), -43);
	EXPECT_EQ(FilePathToFSRefAndName(t("missing").c_str(), &ref, nullptr), -43);

	std::string roman;
	CFStringToSTL("caf\xC3\xA9 \xE2\x82\xAC", roman, enc_mac_roman);
	EXPECT_EQ(roman, "caf\x8E \xDB");
	CFStringToSTL("ab\xE4\xB8\xADzz", roman, enc_mac_roman);  // stops before a CJK character
	EXPECT_EQ(roman, "ab");

	std::string cfm = "/Vol/caf\xC3\xA9/";
	ConvertPathToCFM(cfm);
	EXPECT_EQ(cfm, "Vol:caf\x8E:");
	cfm = "/a/\xE4\xB8\xAD";
	ConvertPathToCFM(cfm);
	EXPECT_EQ(cfm, "/a/\xE4\xB8\xAD");
	cfm = "/a/\xE4\xB8\xAD/";  // unconvertible, but a folder still ends in ':'
	ConvertPathToCFM(cfm);
	EXPECT_EQ(cfm, "/a/\xE4\xB8\xAD:");
}

// Standard folders under a controlled environment.
class FilesFolders : public ::testing::Test {
protected:
	void SetUp() override
	{
		for (const char* v : {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR"}) {
			const char* old = getenv(v);
			saved_.push_back({v, old ? old : "", old != nullptr});
		}
		setenv("HOME", t("home").c_str(), 1);
		unsetenv("XDG_CONFIG_HOME");
		unsetenv("XDG_DESKTOP_DIR");
		t.mkdir("home");
	}
	void TearDown() override
	{
		for (const auto& s : saved_) {
			if (s.set) setenv(s.name, s.value.c_str(), 1);
			else unsetenv(s.name);
		}
	}
	std::string folder(os_dir_type which)
	{
		std::string out = "unchanged";
		get_OS_abs_path(which, out);
		return out;
	}
	struct saved {
		const char* name;
		std::string value;
		bool set;
	};
	std::vector<saved> saved_;
	files_tmp t;
};

TEST_F(FilesFolders, ApplicationFolderAndBundle)
{
	const std::string bin = VENTORA_TEST_BIN_DIR;
	char real[4096];
	ASSERT_TRUE(realpath(bin.c_str(), real));
	EXPECT_EQ(folder(os_dir_this_app), std::string(real) + "/");
	EXPECT_EQ(folder(os_dir_this_bundle), std::string(real));
	EXPECT_EQ(folder((os_dir_type)77), std::string(real) + "/");
}

TEST_F(FilesFolders, DesktopFromEnvironmentUserDirsOrHome)
{
	EXPECT_EQ(folder(os_dir_desktop), t("home/Desktop/"));
	EXPECT_TRUE(dir_exists(t("home/Desktop/")));  // made when missing
	t.mkdir("home/.config");
	t.write("home/.config/user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
	EXPECT_EQ(folder(os_dir_desktop), t("home/Bureau/"));
	EXPECT_EQ(folder(os_dir_default_apps), t("home/Bureau/"));
	setenv("XDG_DESKTOP_DIR", t("elsewhere/").c_str(), 1);
	EXPECT_EQ(folder(os_dir_desktop), t("elsewhere/"));
	// A desktop that cannot be made leaves the answer as it was.
	t.write("file", "");
	setenv("XDG_DESKTOP_DIR", t("file/Desktop").c_str(), 1);
	EXPECT_EQ(folder(os_dir_desktop), "unchanged");
}

TEST_F(FilesFolders, PreferencesFolderIsMadeWhenMissing)
{
	EXPECT_EQ(folder(os_dir_prefs), t("home/.config/Ventora/"));
	EXPECT_TRUE(dir_exists(t("home/.config/Ventora/")));
	setenv("XDG_CONFIG_HOME", t("cfg").c_str(), 1);
	EXPECT_EQ(folder(os_dir_prefs), t("cfg/Ventora/"));
	EXPECT_TRUE(dir_exists(t("cfg/Ventora")));
	setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
	EXPECT_EQ(folder(os_dir_prefs), t("home/.config/Ventora/"));
}

TEST_F(FilesFolders, TemporaryFolderIsPrivateToTheUser)
{
	setenv("TMPDIR", t("tmp").c_str(), 1);
	t.mkdir("tmp");
	const std::string mine = t("tmp/ventora-" + std::to_string(getuid()) + "/");
	EXPECT_EQ(folder(os_dir_temp), mine);
	struct stat st;
	ASSERT_EQ(lstat(mine.c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0700u);
	EXPECT_EQ(folder(os_dir_temp), mine);  // same folder again

	// A folder others may enter is never used: a fresh one is made instead.
	setenv("TMPDIR", t("open").c_str(), 1);
	t.mkdir("open");
	const std::string shared = t("open/ventora-" + std::to_string(getuid()));
	::mkdir(shared.c_str(), 0777);
	chmod(shared.c_str(), 0777);
	std::string got = folder(os_dir_temp);
	EXPECT_NE(got, shared + "/");
	EXPECT_EQ(got.compare(0, shared.size() + 1, shared + "-"), 0) << got;
	ASSERT_EQ(lstat(got.c_str(), &st), 0);
	EXPECT_TRUE(S_ISDIR(st.st_mode));
	EXPECT_EQ(st.st_mode & 077, 0u);

	// Nor is a link planted in its place.
	setenv("TMPDIR", t("linked").c_str(), 1);
	t.mkdir("linked");
	t.mkdir("target");
	chmod(t("target").c_str(), 0700);
	ASSERT_EQ(symlink(t("target").c_str(), t("linked/ventora-" + std::to_string(getuid())).c_str()), 0);
	got = folder(os_dir_temp);
	EXPECT_EQ(got.find(t("target")), std::string::npos);
	EXPECT_EQ(got.compare(0, t("linked/").size(), t("linked/")), 0) << got;
}

TEST(FilesResources, PrefixAndLookup)
{
	const struct {
		const char* in;
		int is_res;
		const char* after;
	} cases[] = {{"RESOURCE:map.png", 1, "map.png"},
	             {"resource:map.png", 0, "resource:map.png"},
	             {"RESOURCE:", 1, ""},
	             {"RESOURCE", 0, "RESOURCE"},
	             {"x/RESOURCE:a", 0, "x/RESOURCE:a"}};
	for (const auto& c : cases) {
		std::string p = c.in;
		EXPECT_EQ(UTL_path_is_resource(p), c.is_res) << c.in;
		EXPECT_EQ(p, c.after);
	}

	// The build copies the fonts beside the program.
	EXPECT_EQ(UTL_resource_get_file("DejaVuSans.ttf"),
	          std::string(VENTORA_TEST_BIN_DIR) + "/Resources/DejaVuSans.ttf");

	files_tmp t;
	t.write("French.txt", "I\n");
	t.mkdir("sub");
	UTL_set_resource_root(t.root);
	EXPECT_EQ(UTL_resource_get_file("French.txt"), t("French.txt"));
	EXPECT_EQ(UTL_resource_get_file("German.txt"), "");
	EXPECT_EQ(UTL_resource_get_file(""), "");
	EXPECT_EQ(UTL_resource_get_file("sub"), "");              // a folder is no resource
	EXPECT_EQ(UTL_resource_get_file("../French.txt"), "");    // never outside the folder
	EXPECT_EQ(UTL_resource_get_file("sub/../French.txt"), "");
	t.write("caf\x8E.txt", "");
	EXPECT_EQ(UTL_resource_get_file("caf\x8E.txt"), "");  // not UTF-8 text
	t.write("only_here.txt", "");
	UTL_set_resource_root("");
	EXPECT_EQ(UTL_resource_get_file("only_here.txt"), "");  // the program's own folder again
}
