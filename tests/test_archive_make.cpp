// One-file .zip creation (and its round trip through extraction), .7z
// extraction and file MD5 signatures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <unzip.h>

#include <ctime>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "tests/support/archive_fixtures.h"

namespace {

struct zip_item {
	std::string name;
	std::string data;
	unsigned long external_fa;
};

// Every entry of a .zip as minizip reads it.
std::vector<zip_item> read_zip(const std::string& path)
{
	std::vector<zip_item> out;
	unzFile zf = unzOpen64(path.c_str());
	if (!zf) return out;
	for (int r = unzGoToFirstFile(zf); r == UNZ_OK; r = unzGoToNextFile(zf)) {
		unz_file_info64 info;
		char name[512];
		if (unzGetCurrentFileInfo64(zf, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) break;
		std::string data(info.uncompressed_size, '\0');
		unzOpenCurrentFile(zf);
		if (!data.empty()) unzReadCurrentFile(zf, &data[0], static_cast<unsigned>(data.size()));
		unzCloseCurrentFile(zf);
		out.push_back({name, data, info.external_fa});
	}
	unzClose(zf);
	return out;
}

bool set_attr(const std::string& path, const char* name, const std::string& value)
{
	return lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

std::string get_attr(const std::string& path, const char* name)
{
	char buf[4096];
	ssize_t n = lgetxattr(path.c_str(), name, buf, sizeof(buf));
	return n < 0 ? std::string("<none>") : std::string(buf, static_cast<size_t>(n));
}

class ArchiveTest : public ::testing::Test {
protected:
	vtest::temp_folder tmp;
	std::unique_ptr<atest::log_capture> log;
	void SetUp() override
	{
		ASSERT_FALSE(tmp.path().empty());
		log.reset(new atest::log_capture(tmp.path() + "log.txt"));
	}
	void TearDown() override { log.reset(); }
	std::string folder(const std::string& name)
	{
		std::string p = tmp.path() + name + "/";
		mkdir(p.c_str(), 0755);
		return p;
	}
};

using FileToZip = ArchiveTest;

TEST_F(FileToZip, RoundTripKeepsBytesModeTimeAndFork)
{
	std::string src = folder("src"), dst = folder("dst");
	std::string bytes;
	for (int i = 0; i < 70000; ++i) bytes += static_cast<char>((i * 7919) >> 3);
	ASSERT_TRUE(vtest::write_file_bytes(src + "data.bin", bytes));
	ASSERT_EQ(chmod((src + "data.bin").c_str(), 0640), 0);
	struct tm t = {};
	t.tm_year = 122, t.tm_mon = 6, t.tm_mday = 9, t.tm_hour = 10, t.tm_min = 11, t.tm_sec = 13, t.tm_isdst = -1;
	time_t when = mktime(&t);
	struct timespec times[2] = {{when, 0}, {when, 0}};
	ASSERT_EQ(utimensat(AT_FDCWD, (src + "data.bin").c_str(), times, 0), 0);
	std::string finfo("APPLaplt\x80\x00\x00\x05\x00\x07\x00\x00", 16);
	bool forks = set_attr(src + "data.bin", "user.com.apple.ResourceFork", "0123456789") &&
	             set_attr(src + "data.bin", "user.com.apple.FinderInfo", finfo + std::string(16, '\0'));

	std::string zip = tmp.path() + "data.bin.zip";
	ASSERT_EQ(file_to_zip(src + "data.bin", zip), 0);
	std::vector<zip_item> items = read_zip(zip);
	ASSERT_EQ(items.size(), forks ? 2u : 1u);
	EXPECT_EQ(items[0].name, "data.bin");
	EXPECT_EQ(items[0].external_fa, 0x81A00000ul);
	if (forks) {
		const std::string& ad = items[1].data;
		EXPECT_EQ(items[1].name, "__MACOSX/._data.bin");
		ASSERT_EQ(ad.size(), 92u);
		EXPECT_EQ(ad.substr(46, 4), std::string("\0\0\0\x0a", 4));
		EXPECT_EQ(ad.substr(50, 16), finfo);
		EXPECT_EQ(ad.substr(66, 16), std::string(16, '\0'));
		EXPECT_EQ(ad.substr(82), "0123456789");
	}

	ASSERT_EQ(zip_to_file(zip, dst, nullptr, 0), 0);
	EXPECT_EQ(vtest::read_file_bytes(dst + "data.bin"), bytes);
	struct stat st;
	ASSERT_EQ(stat((dst + "data.bin").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 07777, 0640u);
	EXPECT_LE(st.st_mtime, when);
	EXPECT_GE(st.st_mtime, when - 1);  // DOS dates count in two seconds
	if (forks) {
		EXPECT_EQ(get_attr(dst + "data.bin", "user.com.apple.ResourceFork"), "0123456789");
		EXPECT_EQ(get_attr(dst + "data.bin", "user.com.apple.FinderInfo"), finfo + std::string(16, '\0'));
	} else {
		// No user attributes on this file system: a fork that arrives is logged.
		ASSERT_TRUE(atest::write_zip(zip, {{"data.bin", "x", 0x81A40000ul},
		                                   {"__MACOSX/._data.bin", atest::apple_double(finfo, "0123456789")}}));
		ASSERT_EQ(zip_to_file(zip, dst, nullptr, 0), 0);
		EXPECT_NE(log->text().find("WARNING: the resource fork of " + dst + "data.bin (10 bytes) could not be stored here"),
		          std::string::npos)
		    << log->text();
	}
}

TEST_F(FileToZip, LinkIsZippedAsItsText)
{
	std::string src = folder("src"), dst = folder("dst");
	ASSERT_TRUE(vtest::write_file_bytes(src + "target", "target bytes"));
	ASSERT_EQ(symlink("target", (src + "lnk").c_str()), 0);
	// The path reaches the link through a linked folder: only the folder resolves.
	ASSERT_EQ(symlink(src.c_str(), (tmp.path() + "via").c_str()), 0);
	std::string zip = tmp.path() + "lnk.zip";
	ASSERT_EQ(file_to_zip(tmp.path() + "via/lnk", zip), 0);
	std::vector<zip_item> items = read_zip(zip);
	ASSERT_EQ(items.size(), 1u);
	EXPECT_EQ(items[0].name, "lnk");
	EXPECT_EQ(items[0].data, "target");
	EXPECT_EQ(items[0].external_fa, 0xA1ED0000ul);

	ASSERT_EQ(zip_to_file(zip, dst, nullptr, 0), 0);
	std::string text;
	ASSERT_EQ(is_sim_link(dst + "lnk", &text), 1);
	EXPECT_EQ(text, "target");
}

TEST_F(FileToZip, ForkWithoutFinderInformationOrWithoutBytes)
{
	std::string src = folder("src");
	ASSERT_TRUE(vtest::write_file_bytes(src + "f", "x"));
	if (!set_attr(src + "f", "user.com.apple.ResourceFork", "")) GTEST_SKIP() << "no user attributes here";
	ASSERT_EQ(file_to_zip(src + "f", tmp.path() + "empty_fork.zip"), 0);
	EXPECT_EQ(read_zip(tmp.path() + "empty_fork.zip").size(), 1u) << "an empty fork gets no side entry";

	ASSERT_TRUE(set_attr(src + "f", "user.com.apple.ResourceFork", "RF"));
	ASSERT_EQ(file_to_zip(src + "f", tmp.path() + "fork.zip"), 0);
	std::vector<zip_item> items = read_zip(tmp.path() + "fork.zip");
	ASSERT_EQ(items.size(), 2u);
	EXPECT_EQ(items[1].data, atest::apple_double("", "RF")) << "Finder information is written as zeros";
}

TEST_F(FileToZip, Failures)
{
	std::string src = folder("src");
	ASSERT_TRUE(vtest::write_file_bytes(src + "empty", ""));
	ASSERT_TRUE(vtest::write_file_bytes(src + "full", "data"));
	struct failure_case {
		const char* what;
		std::string src, zip;
		int code, line;
	} cases[] = {
	    {"empty file", src + "empty", tmp.path() + "a.zip", err_file_open_read, 1089},
	    {"folder", tmp.path() + "src", tmp.path() + "b.zip", err_file_open_read, 1089},
	    {"missing file", src + "missing", tmp.path() + "c.zip", ENOENT, 1050},
	    {"missing folder", tmp.path() + "nowhere/x", tmp.path() + "d.zip", ENOENT, 1050},
	    {"archive not creatable", src + "full", tmp.path() + "nowhere/e.zip", err_zip_create, 1095},
	};
	for (const failure_case& c : cases) {
		SCOPED_TRACE(c.what);
		EXPECT_EQ(file_to_zip(c.src, c.zip), c.code);
		EXPECT_NE(log->text().find("file_to_zip failed with error " + std::to_string(c.code) +
		                           ".\nfile = DIzivoz/Files/io_utils line = " + std::to_string(c.line) + "\n"),
		          std::string::npos)
		    << log->text();
	}
}

using SevenZip = ArchiveTest;

TEST_F(SevenZip, ItemsAreWrittenIntoExistingFolders)
{
	std::string out = folder("out");
	ASSERT_EQ(mkdir((out + "dir").c_str(), 0755), 0);
	std::string binary(100000, '\0');
	for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 31 + (i >> 7));
	std::string arc = tmp.path() + "a.7z";
	ASSERT_TRUE(atest::write_7z(arc, {{"dir", "", true}, {"dir/a.txt", "alpha"}, {"empty", ""}, {"b.bin", binary}}));
	ASSERT_EQ(p7z_to_file(arc, out, nullptr, 0), 0);
	EXPECT_EQ(vtest::read_file_bytes(out + "dir/a.txt"), "alpha");
	EXPECT_EQ(vtest::read_file_bytes(out + "b.bin"), binary);
	EXPECT_TRUE(vtest::path_exists(out + "empty"));

	std::string name;
	ASSERT_TRUE(atest::write_7z(arc, {{"one.txt", "single"}}));
	ASSERT_EQ(p7z_to_file(arc, out, &name, 0), 0);
	EXPECT_EQ(name, out + "one.txt");
	name = "renamed";
	ASSERT_EQ(p7z_to_file(arc, out, &name, 1), 0);
	EXPECT_EQ(vtest::read_file_bytes(out + "renamed"), "single");
	EXPECT_EQ(name, out + "renamed");
}

TEST_F(SevenZip, ItemInAMissingFolder)
{
	std::string out = folder("out");
	std::string arc = tmp.path() + "a.7z", name;
	ASSERT_TRUE(atest::write_7z(arc, {{"nodir/a.txt", "alpha"}}));
	EXPECT_EQ(p7z_to_file(arc, out, &name, 0), ENOENT);
	EXPECT_EQ(name, out + "nodir/a.txt");
	EXPECT_TRUE(atest::list_tree(out).empty());
}

TEST_F(SevenZip, DamagedInput)
{
	std::string out = folder("out");
	std::string payload;
	uint32_t x = 2463534242u;  // xorshift: bytes that do not compress
	for (int i = 0; i < 200000; ++i) {
		x ^= x << 13, x ^= x >> 17, x ^= x << 5;
		payload += static_cast<char>(x);
	}
	std::string arc = tmp.path() + "good.7z";
	ASSERT_TRUE(atest::write_7z(arc, {{"p.bin", payload}}));
	std::string good = vtest::read_file_bytes(arc);
	ASSERT_TRUE(atest::write_zip(tmp.path() + "z.zip", {{"f", "zip data"}}));
	std::string corrupt = good;
	ASSERT_GT(good.size(), 8192u);
	for (size_t i = 64; i < 4096; ++i) corrupt[i] = static_cast<char>(~corrupt[i]);  // packed data, not the header

	struct damage_case {
		const char* what;
		std::string bytes;
		int code;
	} cases[] = {{"text", "not an archive at all", err_zip_open},
	             {"a zip", vtest::read_file_bytes(tmp.path() + "z.zip"), err_zip_open},
	             {"truncated", good.substr(0, good.size() / 2), err_zip_open},  // its table of items lies past the end
	             {"corrupt data", corrupt, err_zip_read}};
	// A file already installed under the item's name survives a damaged item.
	ASSERT_TRUE(vtest::write_file_bytes(out + "p.bin", "installed"));
	for (const damage_case& c : cases) {
		SCOPED_TRACE(c.what);
		ASSERT_TRUE(vtest::write_file_bytes(tmp.path() + "bad.7z", c.bytes));
		EXPECT_EQ(p7z_to_file(tmp.path() + "bad.7z", out, nullptr, 0), c.code);
		EXPECT_EQ(vtest::read_file_bytes(out + "p.bin"), "installed");
	}
	EXPECT_EQ(p7z_to_file(tmp.path() + "missing.7z", out, nullptr, 0), ENOENT);
}

TEST_F(SevenZip, HostileNamesAreRefused)
{
	std::string out = folder("box/out");
	folder("box");
	out = folder("box/out");
	struct hostile_case {
		const char* what;
		std::string name;
		int code;
	} cases[] = {{"parent", "../x", err_archive_escape},
	             {"absolute", tmp.path() + "box/abs", err_archive_escape},
	             {"parent inside", "a/../../x", err_archive_escape},
	             {"name of 256 bytes", std::string(256, 'n'), ENAMETOOLONG}};
	for (const hostile_case& c : cases) {
		SCOPED_TRACE(c.what);
		std::string arc = tmp.path() + "h.7z";
		ASSERT_TRUE(atest::write_7z(arc, {{c.name, "evil"}}));
		EXPECT_EQ(p7z_to_file(arc, out, nullptr, 0), c.code);
		EXPECT_EQ(atest::list_tree(tmp.path() + "box/"), std::vector<std::string>{"out/"});
	}
	EXPECT_NE(log->text().find("7z extraction refused the item ../x: it would be written outside " + out + ".\n"),
	          std::string::npos)
	    << log->text();
}

using FileMd5 = ArchiveTest;

TEST_F(FileMd5, Rfc1321Vectors)
{
	struct vector_case {
		const char* input;
		const char* digest;
	} cases[] = {
	    {"a", "0cc175b9c0f1b6a831c399e269772661"},
	    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
	    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
	    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
	    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
	    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
	     "57edf4a22be3c955ac49da2e2107b67a"},
	};
	for (const vector_case& c : cases) {
		SCOPED_TRACE(c.input);
		ASSERT_TRUE(vtest::write_file_bytes(tmp.path() + "v", c.input));
		std::string digest;
		ASSERT_EQ(calc_file_md5(tmp.path() + "v", digest), 0);
		EXPECT_EQ(digest, c.digest);
	}
}

TEST_F(FileMd5, LinkIsSignedByItsText)
{
	ASSERT_TRUE(vtest::write_file_bytes(tmp.path() + "target", "other bytes"));
	ASSERT_EQ(symlink("abc", (tmp.path() + "abc_link").c_str()), 0);        // dangling
	ASSERT_EQ(symlink("target", (tmp.path() + "t_link").c_str()), 0);       // to a file
	std::string digest;
	ASSERT_EQ(calc_file_md5(tmp.path() + "abc_link", digest), 0);
	EXPECT_EQ(digest, "900150983cd24fb0d6963f7d28e17f72");
	ASSERT_EQ(calc_file_md5(tmp.path() + "t_link", digest), 0);
	EXPECT_EQ(digest, "42aefbae01d2dfd981f7da7d823d689e") << "MD5 of \"target\", not of the file";
}

TEST_F(FileMd5, NothingToReadLeavesTheDigest)
{
	ASSERT_TRUE(vtest::write_file_bytes(tmp.path() + "empty", ""));
	for (const std::string& path : {tmp.path() + "empty", tmp.path() + "missing", tmp.path()}) {
		SCOPED_TRACE(path);
		std::string digest = "unchanged";
		EXPECT_EQ(calc_file_md5(path, digest), err_file_open_read);
		EXPECT_EQ(digest, "unchanged");
	}
}

}  // namespace
