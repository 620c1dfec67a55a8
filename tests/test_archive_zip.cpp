// Extraction of .zip archives: folders, files with modes and dates, links,
// AppleDouble side entries, damaged input and hostile entry names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <ctime>
#include <thread>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "tests/support/archive_fixtures.h"
#include "tools/sanitizer_options.h"

using atest::zip_entry;

// Sanitizer builds: a buffer that cannot be had comes back empty, as it does
// in the program, instead of ending the run.
// This replaces the built-in options, so it repeats the TLS one.
extern "C" const char* __asan_default_options()
{
	return "allocator_may_return_null=1:" VENTORA_ASAN_TLS_OPTION;
}

namespace {

const unsigned long kFile644 = 0x81A40000ul;  // regular file, rw-r--r--
const unsigned long kFile750 = 0x81E80000ul;  // regular file, rwxr-x---
const unsigned long kLink = 0xA1ED0000ul;     // symbolic link, rwxr-xr-x

std::string xattr_of(const std::string& path, const char* name)
{
	char buf[70000];
	ssize_t n = lgetxattr(path.c_str(), name, buf, sizeof(buf));
	return n < 0 ? std::string("<none>") : std::string(buf, static_cast<size_t>(n));
}

// Whether this folder's file system keeps user attributes at all.
bool xattrs_supported(const std::string& folder)
{
	std::string probe = folder + "xattr_probe";
	vtest::write_file_bytes(probe, "x");
	bool ok = setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
	unlink(probe.c_str());
	return ok;
}

class ZipExtract : public ::testing::Test {
protected:
	vtest::temp_folder tmp;
	std::string out;   // the output folder given to the extraction
	std::string zip;
	std::unique_ptr<atest::log_capture> log;

	void SetUp() override
	{
		ASSERT_FALSE(tmp.path().empty());
		out = tmp.path() + "out/";
		ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
		zip = tmp.path() + "in.zip";
		log.reset(new atest::log_capture(tmp.path() + "log.txt"));
	}
	void TearDown() override { log.reset(); }

	int extract(const std::vector<zip_entry>& entries, std::string* name_io = nullptr, int use_name = 0)
	{
		EXPECT_TRUE(atest::write_zip(zip, entries));
		return zip_to_file(zip, out, name_io, use_name);
	}
};

TEST_F(ZipExtract, FoldersFilesModesAndDates)
{
	zip_entry folder{"a/"};
	zip_entry dated{"a/b.txt", "hello", kFile644, 2021, 2, 4, 5, 6, 8};
	zip_entry exec{"a/run", std::string("\0\1\2\3", 4), kFile750, 1999, 11, 31, 23, 59, 58, true};
	zip_entry bare{"plain.txt", "no attributes"};
	std::string first;
	time_t before = time(nullptr);
	ASSERT_EQ(extract({folder, dated, exec, bare}, &first), 0);
	EXPECT_EQ(first, "a/");

	struct stat st;
	ASSERT_EQ(stat((out + "a/b.txt").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 07777, 0644u);
	struct tm t = {};
	t.tm_year = 121, t.tm_mon = 2, t.tm_mday = 4, t.tm_hour = 5, t.tm_min = 6, t.tm_sec = 8, t.tm_isdst = -1;
	EXPECT_EQ(st.st_mtime, mktime(&t));
	EXPECT_EQ(st.st_atime, mktime(&t));
	EXPECT_EQ(vtest::read_file_bytes(out + "a/b.txt"), "hello");

	ASSERT_EQ(stat((out + "a/run").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 07777, 0750u);
	EXPECT_EQ(vtest::read_file_bytes(out + "a/run"), std::string("\0\1\2\3", 4));

	// Attributes of 0: default permissions and the current time.
	ASSERT_EQ(stat((out + "plain.txt").c_str(), &st), 0);
	mode_t mask = umask(0);
	umask(mask);
	EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
	EXPECT_GE(st.st_mtime, before);
}

TEST_F(ZipExtract, ExtractingAgainReplacesFilesAndKeepsFolders)
{
	ASSERT_EQ(extract({{"d/"}, {"d/f.txt", "old contents", kFile644, 2020, 0, 1}}), 0);
	ASSERT_EQ(chmod((out + "d/f.txt").c_str(), 0444), 0);  // a read-only file is replaced too
	ASSERT_EQ(extract({{"d/"}, {"d/f.txt", "new", kFile644, 2020, 0, 1}}), 0);
	EXPECT_EQ(vtest::read_file_bytes(out + "d/f.txt"), "new");
}

TEST_F(ZipExtract, DosAttributesWithoutModeKeepTheFileReadable)
{
	zip_entry e{"dos.txt", "from a DOS archiver", 0x20, 2020, 5, 6, 7, 8, 10};
	ASSERT_EQ(extract({e}), 0);
	struct stat st;
	ASSERT_EQ(stat((out + "dos.txt").c_str(), &st), 0);
	EXPECT_NE(st.st_mode & 0600, 0u);
	EXPECT_EQ(vtest::read_file_bytes(out + "dos.txt"), "from a DOS archiver");
}

TEST_F(ZipExtract, UseNameWritesUnderTheGivenName)
{
	std::string name = "renamed.txt";
	ASSERT_EQ(extract({{"original.txt", "data", kFile644, 2020, 0, 1}, {"sub/"}}, &name, 1), 0);
	EXPECT_EQ(vtest::read_file_bytes(out + "renamed.txt"), "data");
	EXPECT_FALSE(vtest::path_exists(out + "original.txt"));
	EXPECT_EQ(name, "original.txt");
	EXPECT_TRUE(dir_exists(out + "sub/")) << "a folder entry keeps its stored name";
}

TEST_F(ZipExtract, LinkEntryReplacesAnExistingFile)
{
	ASSERT_TRUE(vtest::write_file_bytes(out + "lnk", "was a file"));
	ASSERT_EQ(extract({{"target.txt", "t", kFile644, 2020, 0, 1}, {"lnk", "target.txt", kLink, 0, 0, 0, 0, 0, 0, true}}),
	          0);
	std::string text;
	ASSERT_EQ(is_sim_link(out + "lnk", &text), 1);
	EXPECT_EQ(text, "target.txt");
	EXPECT_EQ(vtest::read_file_bytes(out + "lnk"), "t");
}

TEST_F(ZipExtract, AppleDoubleOnlyAfterItsDataEntry)
{
	if (!xattrs_supported(tmp.path())) GTEST_SKIP() << "no user attributes here";
	std::string finfo("TEXTttxt\x01\x00\x00\x10\x00\x20\x00\x00", 16);
	std::string ad = atest::apple_double(finfo, "0123456789");
	struct order_case {
		bool fork_first;
		bool restored;
	} cases[] = {{false, true}, {true, false}};
	for (const order_case& c : cases) {
		SCOPED_TRACE(c.fork_first ? "fork first" : "data first");
		unlink((out + "x").c_str());
		zip_entry data{"x", "data", kFile644, 2020, 0, 1};
		zip_entry side{"__MACOSX/._x", ad};
		ASSERT_EQ(extract(c.fork_first ? std::vector<zip_entry>{side, data} : std::vector<zip_entry>{data, side}), 0);
		EXPECT_EQ(vtest::read_file_bytes(out + "x"), "data");
		EXPECT_FALSE(vtest::path_exists(out + "._x"));
		if (c.restored) {
			EXPECT_EQ(xattr_of(out + "x", "user.com.apple.ResourceFork"), "0123456789");
			EXPECT_EQ(xattr_of(out + "x", "user.com.apple.FinderInfo"), finfo + std::string(16, '\0'));
		} else {
			EXPECT_EQ(xattr_of(out + "x", "user.com.apple.ResourceFork"), "<none>");
		}
	}
}

TEST_F(ZipExtract, ForkOnAReadOnlyFileIsStillRestored)
{
	if (!xattrs_supported(tmp.path())) GTEST_SKIP() << "no user attributes here";
	ASSERT_EQ(extract({{"ro", "data", 0x81240000ul, 2020, 0, 1}, {"__MACOSX/._ro", atest::apple_double("", "fork")}}), 0);
	EXPECT_EQ(xattr_of(out + "ro", "user.com.apple.ResourceFork"), "fork");
	struct stat st;
	ASSERT_EQ(stat((out + "ro").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 07777, 0444u);
}

TEST_F(ZipExtract, ForkTheFileSystemCannotHoldIsLoggedNotFatal)
{
	// Larger than any user attribute may be.
	std::string fork(70000, 'r');
	ASSERT_EQ(extract({{"big", "data", kFile644, 2020, 0, 1}, {"__MACOSX/._big", atest::apple_double("", fork)}}), 0);
	EXPECT_EQ(vtest::read_file_bytes(out + "big"), "data");
	EXPECT_NE(log->text().find("WARNING: the resource fork of " + out + "big (70000 bytes) could not be stored here"),
	          std::string::npos)
	    << log->text();
}

TEST_F(ZipExtract, DamagedAppleDoubleStopsTheExtraction)
{
	std::string good = atest::apple_double("", "fork");
	std::string filler_text = good;
	filler_text.replace(8, 16, "Mac OS X        ");
	std::string table_cut = good.substr(0, 40);  // two entries announced, 14 bytes of table
	std::string fork_beyond = good;
	fork_beyond[49] = 100;  // fork length runs past the end
	struct damage_case {
		const char* what;
		std::string data;
	} cases[] = {{"filler holds text", filler_text},
	             {"shorter than the header", good.substr(0, 20)},
	             {"entry table cut", table_cut},
	             {"fork beyond the data", fork_beyond}};
	for (const damage_case& c : cases) {
		SCOPED_TRACE(c.what);
		unlink((out + "later").c_str());
		ASSERT_TRUE(vtest::write_file_bytes(out + "f", "previous"));
		int rc = extract({{"f", "data", kFile644, 2020, 0, 1}, {"__MACOSX/._f", c.data}, {"later", "x"}});
		EXPECT_EQ(rc, err_zip_rsrc_header);
		EXPECT_FALSE(vtest::path_exists(out + "later"));
		// A file goes into place with its fork or not at all.
		EXPECT_EQ(vtest::read_file_bytes(out + "f"), "previous");
		EXPECT_EQ(atest::list_tree(out), (std::vector<std::string>{"f"}));
	}
	std::string text = log->text();
	EXPECT_NE(text.find("Unzip RF failed with error 20012. file = DIzivoz/Files/io_utils line = 1459. inFile=" + out +
	                    "f.\n"),
	          std::string::npos)
	    << text;
	EXPECT_NE(text.find("UNZIP zip_to_file failed with err=20012\n"), std::string::npos);
}

TEST_F(ZipExtract, InputThatIsNoArchive)
{
	ASSERT_TRUE(atest::write_zip(tmp.path() + "good.zip", {{"f", std::string(5000, 'z'), kFile644, 2020, 0, 1}}));
	std::string good = vtest::read_file_bytes(tmp.path() + "good.zip");
	struct bad_case {
		const char* what;
		std::string bytes;
	} cases[] = {{"empty", ""}, {"text", "this is not a zip file at all\n"}, {"truncated", good.substr(0, good.size() / 2)},
	             {"end record cut", good.substr(0, good.size() - 5)}};
	for (const bad_case& c : cases) {
		SCOPED_TRACE(c.what);
		ASSERT_TRUE(vtest::write_file_bytes(zip, c.bytes));
		EXPECT_EQ(zip_to_file(zip, out, nullptr, 0), err_zip_open);
	}
	EXPECT_EQ(zip_to_file(tmp.path() + "missing.zip", out, nullptr, 0), err_zip_open);
	EXPECT_TRUE(atest::list_tree(out).empty());

	std::string text = log->text();
	std::string expect = "OK I am about to report that I could not open a zip file for extraction!\n"
	                     "That incoming file is " + zip + "\nIn c-form, it is " + zip + "\nThe size is " +
	                     std::to_string(zip.size()) + "\nZip to file failed with error err = 20001. file = "
	                     "DIzivoz/Files/io_utils line = 1500. zip_file=" + zip + ", out_dir=" + out + ".\n";
	EXPECT_NE(text.find(expect), std::string::npos) << text;
}

TEST_F(ZipExtract, CorruptEntryDataFailsItsCheck)
{
	ASSERT_TRUE(atest::write_zip(zip, {{"ok", "first"}, {"bad", "0123456789abcdef", kFile644, 2020, 0, 1, 0, 0, 0, true}}));
	std::string bytes = vtest::read_file_bytes(zip);
	size_t at = bytes.find("0123456789abcdef");
	ASSERT_NE(at, std::string::npos);
	bytes[at + 3] = 'X';  // stored data no longer matches its CRC
	ASSERT_TRUE(vtest::write_file_bytes(zip, bytes));
	int rc = zip_to_file(zip, out, nullptr, 0);
	EXPECT_EQ(rc, UNZ_CRCERROR);
	EXPECT_EQ(vtest::read_file_bytes(out + "ok"), "first");  // earlier entries stay
	std::string text = log->text();
	std::string code = std::to_string(UNZ_CRCERROR);
	EXPECT_NE(text.find("Zip to file failed with error " + code + ". file = DIzivoz/Files/io_utils line = 1308. inFile=" +
	                    out + "bad.\nUNZIP zip_to_file failed with err=" + code +
	                    "\nZip to file failed with error err = " + code +
	                    ". file = DIzivoz/Files/io_utils line = 1539. zip_file=" + zip + ", out_dir=" + out + ".\n"),
	          std::string::npos)
	    << text;
}

TEST_F(ZipExtract, FolderEntryNeedsItsParent)
{
	EXPECT_EQ(extract({{"p/q/"}}), ENOENT);
	EXPECT_FALSE(vtest::path_exists(out + "p"));
}

// Entries that would write outside the output folder are refused; nothing
// outside it is touched.
TEST_F(ZipExtract, HostileNamesAreRefused)
{
	std::string outside = tmp.path() + "outside/";
	ASSERT_EQ(mkdir(outside.c_str(), 0755), 0);
	ASSERT_TRUE(vtest::write_file_bytes(outside + "victim", "keep me"));
	struct hostile_case {
		const char* what;
		std::vector<zip_entry> entries;
		int code;
	} cases[] = {
	    {"parent", {{"../x", "evil"}}, err_archive_escape},
	    {"absolute", {{"/abs", "evil"}}, err_archive_escape},
	    {"parent inside", {{"a/"}, {"a/../../x", "evil"}}, err_archive_escape},
	    {"parent folder", {{"../newdir/"}}, err_archive_escape},
	    {"write through own link", {{"l", "../outside", kLink}, {"l/victim", "evil", kFile644}}, err_archive_escape},
	    {"link to absolute folder",
	     {{"m", outside.substr(0, outside.size() - 1), kLink}, {"m/./victim", "evil", kFile644}},
	     err_archive_escape},
	    {"fork through own link",
	     {{"n", "../outside", kLink}, {"__MACOSX/n/._victim", atest::apple_double("", "evil")}},
	     err_archive_escape},
	    {"fork with parent", {{"__MACOSX/../._victim", atest::apple_double("", "evil")}}, err_archive_escape},
	    {"folder through own link", {{"k", "../outside", kLink}, {"k/sub/"}}, err_archive_escape},
	    {"name of 256 bytes", {{std::string(256, 'n'), "evil"}}, ENAMETOOLONG},
	};
	for (const hostile_case& c : cases) {
		SCOPED_TRACE(c.what);
		EXPECT_EQ(extract(c.entries), c.code);
		EXPECT_EQ(atest::list_tree(outside), std::vector<std::string>{"victim"});
		EXPECT_EQ(vtest::read_file_bytes(outside + "victim"), "keep me");
		EXPECT_EQ(xattr_of(outside + "victim", "user.com.apple.ResourceFork"), "<none>");
		std::vector<std::string> around;
		for (const std::string& n : atest::list_tree(tmp.path()))
			if (n.compare(0, 4, "out/") != 0) around.push_back(n);
		EXPECT_EQ(around, (std::vector<std::string>{"in.zip", "log.txt", "outside/", "outside/victim"}))
		    << "only the output folder may change";
		for (const std::string& n : atest::list_tree(out)) EXPECT_LT(n.size(), 256u);
	}
	std::string text = log->text();
	EXPECT_NE(text.find("Zip to file refused the entry ../x: it would be written outside " + out + ".\n"),
	          std::string::npos)
	    << text;
	EXPECT_NE(text.find("UNZIP zip_to_file failed with err=20015\n"), std::string::npos);
	EXPECT_EQ(error_str(err_archive_escape), "An archive entry would be written outside its destination folder.");
}

TEST_F(ZipExtract, NamesTheSystemWouldReadDifferently)
{
	// A NUL inside a stored name: the system would stop reading the name there.
	ASSERT_TRUE(atest::write_zip(zip, {{"a/", ""}, {"a/..#/x", "evil"}}));
	std::string bytes = vtest::read_file_bytes(zip);
	for (size_t at = bytes.find("..#"); at != std::string::npos; at = bytes.find("..#", at)) bytes[at + 2] = '\0';
	ASSERT_TRUE(vtest::write_file_bytes(zip, bytes));
	EXPECT_EQ(zip_to_file(zip, out, nullptr, 0), err_archive_escape);
	EXPECT_EQ(atest::list_tree(out), std::vector<std::string>{"a/"});

	EXPECT_EQ(extract({{"", "no name"}}), EINVAL);
	EXPECT_TRUE(vtest::path_exists(out)) << "the output folder itself stays";
}

TEST_F(ZipExtract, SideEntryNamesOnlyFilesBelowTheOutputFolder)
{
	// The "._" that marks the side entry is looked for in the entry's name,
	// never in the output folder's own path.
	std::string odd = tmp.path() + "x._out/", twin = tmp.path() + "xout/";
	ASSERT_EQ(mkdir(odd.c_str(), 0755), 0);
	ASSERT_EQ(mkdir(twin.c_str(), 0755), 0);
	ASSERT_TRUE(vtest::write_file_bytes(twin + "foo", "not ours"));
	ASSERT_TRUE(atest::write_zip(zip, {{"__MACOSX/foo", atest::apple_double("EVILEVIL", "evil")}}));
	EXPECT_EQ(zip_to_file(zip, odd, nullptr, 0), 0);
	EXPECT_EQ(xattr_of(twin + "foo", "user.com.apple.ResourceFork"), "<none>");
	EXPECT_EQ(xattr_of(twin + "foo", "user.com.apple.FinderInfo"), "<none>");
	EXPECT_NE(log->text().find("WARNING: the entry __MACOSX/foo names no data file and was skipped.\n"), std::string::npos);
}

TEST_F(ZipExtract, Zip64RecordsGiveSizesAndOffsets)
{
	std::string big(300000, '\0');
	for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * i) >> 5);
	std::vector<zip_entry> entries = {{"s/"},
	                                  {"s/stored.bin", big, kFile644, 0, 0, 0, 0, 0, 0, true},
	                                  {"s/deflated.txt", "deflated data deflated data", kFile750},
	                                  {"s/ln", "stored.bin", kLink, 0, 0, 0, 0, 0, 0, true}};
	ASSERT_TRUE(atest::write_zip64(zip, entries));
	ASSERT_EQ(zip_to_file(zip, out, nullptr, 0), 0) << log->text();
	EXPECT_EQ(vtest::read_file_bytes(out + "s/stored.bin"), big);
	EXPECT_EQ(vtest::read_file_bytes(out + "s/deflated.txt"), "deflated data deflated data");
	std::string text;
	EXPECT_EQ(is_sim_link(out + "s/ln", &text), 1);
	EXPECT_EQ(text, "stored.bin");

	std::string altered = vtest::read_file_bytes(zip);
	size_t at = altered.find("s/stored.bin");
	at = altered.find(big.substr(0, 64), at);
	ASSERT_NE(at, std::string::npos);
	altered[at + 10] ^= 1;
	ASSERT_TRUE(vtest::write_file_bytes(zip, altered));
	EXPECT_EQ(zip_to_file(zip, out, nullptr, 0), UNZ_CRCERROR);
	EXPECT_NE(log->text().find("line = 1308. inFile=" + out + "s/stored.bin.\n"), std::string::npos);
}

TEST_F(ZipExtract, EntryClaimingMoreThanItHoldsIsShort)
{
	// A record may claim any size: entries are streamed, so the claim costs
	// no memory and fails as a short entry; a link's text cannot be that long.
	const uint64_t kHuge = uint64_t(1) << 60;
	struct huge_case {
		const char* what;
		zip_entry entry;
		std::string line;
	} cases[] = {
	    {"file", {"huge", "x", kFile644, 0, 0, 0, 0, 0, 0, true, kHuge},
	     "Zip to file failed with error 20002. file = DIzivoz/Files/io_utils line = 1306. inFile=" + out + "huge.\n"},
	    {"link", {"huge", "x", kLink, 0, 0, 0, 0, 0, 0, true, kHuge},
	     "Zip to symlink failed with error 36. file = DIzivoz/Files/io_utils line = 1264. inFile=" + out + "huge.\n"},
	    {"fork", {"__MACOSX/._ok", "x", 0, 0, 0, 0, 0, 0, 0, true, kHuge},
	     "Unzip RF failed with error 20002. file = DIzivoz/Files/io_utils line = 1391. inFile=" + out + "ok.\n"},
	};
	for (const huge_case& c : cases) {
		SCOPED_TRACE(c.what);
		const int code = std::string(c.what) == "link" ? ENAMETOOLONG : err_zip_read;
		ASSERT_TRUE(atest::write_zip64(zip, {{"ok", "first", kFile644}, c.entry}));
		EXPECT_EQ(zip_to_file(zip, out, nullptr, 0), code);
		// A data file waits for its fork entry: when that fails, it is not put in place.
		const bool fork = std::string(c.what) == "fork";
		EXPECT_EQ(atest::list_tree(out), fork ? std::vector<std::string>{} : std::vector<std::string>{"ok"});
		unlink((out + "ok").c_str());
		EXPECT_NE(log->text().find(c.line + "UNZIP zip_to_file failed with err=" + std::to_string(code) + "\n"),
		          std::string::npos)
		    << log->text();
	}
}

TEST_F(ZipExtract, ThreadsExtractAtOnce)
{
	// Pool threads extract side by side; each failure reports its own step.
	const int kThreads = 6;
	std::vector<std::string> dirs;
	for (int i = 0; i < kThreads; ++i) {
		std::string z = tmp.path() + "t" + std::to_string(i) + ".zip";
		dirs.push_back(out + "t" + std::to_string(i) + "/");
		ASSERT_EQ(mkdir(dirs.back().c_str(), 0755), 0);
		if (i % 3 == 2) {
			ASSERT_TRUE(vtest::write_file_bytes(z, "not a zip"));
		} else if (i % 3 == 1) {
			ASSERT_TRUE(atest::write_zip(z, {{"f", std::string(100000, 'a' + i), kFile644, 2020, 0, 1}, {"../x", "evil"}}));
		} else {
			ASSERT_TRUE(atest::write_zip64(z, {{"f", std::string(100000, 'a' + i), kFile644}}));
		}
	}
	std::vector<int> results(kThreads, -1);
	std::vector<std::thread> threads;
	for (int i = 0; i < kThreads; ++i)
		threads.emplace_back([&, i] {
			for (int round = 0; round < 20; ++round)
				results[i] = zip_to_file(tmp.path() + "t" + std::to_string(i) + ".zip", dirs[i], nullptr, 0);
		});
	for (std::thread& t : threads) t.join();
	for (int i = 0; i < kThreads; ++i) {
		SCOPED_TRACE(i);
		EXPECT_EQ(results[i], i % 3 == 2 ? err_zip_open : i % 3 == 1 ? err_archive_escape : 0);
		if (i % 3 != 2) {
			EXPECT_EQ(vtest::read_file_bytes(dirs[i] + "f"), std::string(100000, 'a' + i));
		}
	}
	std::string text = log->text();
	for (int i = 0; i < kThreads; ++i) {
		if (i % 3 == 0) continue;
		std::string expect = "Zip to file failed with error err = " +
		                     std::string(i % 3 == 2 ? "20001. file = DIzivoz/Files/io_utils line = 1500"
		                                            : "20015. file = DIzivoz/Files/io_utils line = 1539") +
		                     ". zip_file=" + tmp.path() + "t" + std::to_string(i) + ".zip, out_dir=" + dirs[i] + ".\n";
		EXPECT_NE(text.find(expect), std::string::npos) << expect;
	}
	EXPECT_FALSE(vtest::path_exists(out + "x"));
}

TEST_F(ZipExtract, LinksTheUserMadeAreFollowed)
{
	// An installation may hold a link to a folder on another disk.
	std::string other = tmp.path() + "other/";
	ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
	ASSERT_EQ(symlink(other.c_str(), (out + "Custom Scenery").c_str()), 0);
	ASSERT_EQ(extract({{"Custom Scenery/pack.dat", "scenery", kFile644, 2020, 0, 1}}), 0);
	EXPECT_EQ(vtest::read_file_bytes(other + "pack.dat"), "scenery");
}

TEST_F(ZipExtract, LinkReplacedByAFileIsNoLongerALink)
{
	ASSERT_EQ(extract({{"d", "elsewhere", kLink}, {"d", "now a file", kFile644, 2020, 0, 1}}), 0);
	EXPECT_EQ(is_sim_link(out + "d", nullptr), 0);
	EXPECT_EQ(vtest::read_file_bytes(out + "d"), "now a file");
}

}  // namespace
