// Extraction that cannot lose the installed file: everything is written under
// a temporary name and renamed into place whole; memory stays bounded by a
// constant whatever an entry holds or claims.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <functional>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/grab_release.h"
#include "tests/support/test_files.h"

#if defined(__SANITIZE_ADDRESS__)
#define VENTORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VENTORA_ASAN 1
#endif
#endif

namespace {

using atest::zip_entry;

const unsigned long kFile644 = 0x81A40000ul;
const unsigned long kFile600 = 0x81800000ul;
const unsigned long kLink = 0xA1ED0000ul;
const long long kMiB = 1 << 20;

// A field of /proc/self/status in kB; -1 when missing.
long long status_kb(const char* field)
{
	std::ifstream in("/proc/self/status");
	std::string line;
	const size_t n = strlen(field);
	while (std::getline(in, line))
		if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') return atoll(line.c_str() + n + 1);
	return -1;
}

// Measures the peak memory of one call: the high-water mark is reset first
// (clear_refs 5), so earlier work in the process does not count.
struct peak_meter {
	long long rss0_kb = 0;
	bool reset = false;
	peak_meter()
	{
		std::ofstream("/proc/self/clear_refs") << "5";
		rss0_kb = status_kb("VmRSS");
		reset = status_kb("VmHWM") <= rss0_kb + 1024;
	}
	long long peak_kb() const { return status_kb("VmHWM"); }
	void expect_small(const char* what) const
	{
		SCOPED_TRACE(what);
		const long long peak = peak_kb();
		ASSERT_GT(peak, 0);
		if (reset) {
			EXPECT_LT(peak - rss0_kb, 32 * 1024) << "peak " << peak << " kB from " << rss0_kb << " kB";
		}
#ifndef VENTORA_ASAN
		// Above what the process holds before the call (its libraries: drawing,
		// movie codecs), even where the high-water mark could not be reset.
		EXPECT_LT(peak, rss0_kb + 64 * 1024) << "peak " << peak << " kB from " << rss0_kb << " kB";
#endif
	}
};

// Names in a folder (not recursive), sorted.
std::vector<std::string> names_in(const std::string& folder)
{
	std::vector<std::string> out;
	if (DIR* d = opendir(folder.c_str())) {
		while (dirent* e = readdir(d))
			if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) out.push_back(e->d_name);
		closedir(d);
	}
	std::sort(out.begin(), out.end());
	return out;
}

struct file_state {
	std::string bytes;
	unsigned mode = 0;
	time_t mtime = 0;
	bool operator==(const file_state& o) const { return bytes == o.bytes && mode == o.mode && mtime == o.mtime; }
};
file_state state_of(const std::string& path)
{
	file_state s;
	struct stat st;
	if (lstat(path.c_str(), &st) == 0) {
		s.mode = st.st_mode & 07777;
		s.mtime = st.st_mtime;
	}
	s.bytes = vtest::read_file_bytes(path);
	return s;
}

class SafeExtract : public ::testing::Test {
protected:
	vtest::temp_folder tmp;
	std::string out, zip;
	std::unique_ptr<atest::log_capture> log;

	void SetUp() override
	{
		out = tmp.path() + "out/";
		ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
		zip = tmp.path() + "in.zip";
		log.reset(new atest::log_capture(tmp.path() + "log.txt"));
	}
	void TearDown() override { log.reset(); }

	// An installed file of an earlier release: its bytes, mode and date.
	file_state install_previous(const std::string& name)
	{
		const std::string path = out + name;
		EXPECT_TRUE(vtest::write_file_bytes(path, "previous version\n"));
		chmod(path.c_str(), 0640);
		struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
		utimensat(AT_FDCWD, path.c_str(), times, 0);
		return state_of(path);
	}
};

// One MiB of a short repeating text: compresses fast, and no two bytes at the
// same distance from a period's start differ.
std::string big_piece()
{
	std::string piece;
	while (piece.size() < size_t(kMiB)) piece += "Ventora scenery tile, row 0123456789. ";
	piece.resize(kMiB);
	return piece;
}

// A one-entry zip whose entry holds size bytes of a short repeating text,
// written in pieces so that the test itself stays small.
bool write_big_zip(const std::string& path, const std::string& name, uint64_t size)
{
	zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
	if (!zf) return false;
	zip_fileinfo zi = {};
	zi.external_fa = kFile644;
	bool ok = zipOpenNewFileInZip4_64(zf, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1, 0,
	                                  -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, (3 << 8) | 20, 0,
	                                  size >= 0xffffffffu) == ZIP_OK;
	const std::string piece = big_piece();
	for (uint64_t done = 0; ok && done < size;) {
		unsigned n = static_cast<unsigned>(std::min<uint64_t>(piece.size(), size - done));
		ok = zipWriteInFileInZip(zf, piece.data(), n) == ZIP_OK;
		done += n;
	}
	ok = zipCloseFileInZip(zf) == ZIP_OK && ok;
	return zipClose(zf, nullptr) == ZIP_OK && ok;
}

TEST_F(SafeExtract, OneGibibyteEntryExtractsInBoundedMemory)
{
	const uint64_t kSize = uint64_t(1) << 30;
	ASSERT_TRUE(write_big_zip(zip, "scenery.bin", kSize));
	const file_state before = install_previous("scenery.bin");
	{
		peak_meter meter;
		ASSERT_EQ(zip_to_file(zip, out, nullptr, 0), 0);
		meter.expect_small("1 GiB entry");
	}
	struct stat st;
	ASSERT_EQ(stat((out + "scenery.bin").c_str(), &st), 0);
	EXPECT_EQ(uint64_t(st.st_size), kSize);
	EXPECT_EQ(st.st_mode & 07777, 0644u);
	EXPECT_NE(st.st_mtime, before.mtime);
	EXPECT_EQ(names_in(out), std::vector<std::string>{"scenery.bin"});
	// Its CRC was checked on the way; spot-check the end as well.
	std::ifstream in(out + "scenery.bin", std::ios::binary);
	in.seekg(static_cast<std::streamoff>(kSize - 6));
	char tail[7] = {};
	in.read(tail, 6);
	EXPECT_EQ(std::string(tail, 6), big_piece().substr(kMiB - 6));
	unlink((out + "scenery.bin").c_str());
	unlink(zip.c_str());
}

TEST_F(SafeExtract, EntryClaimingTwoToTheSixtyThreeBytesFailsInBoundedMemory)
{
	// Deflated zeros claiming 2^63 bytes: the data runs out long before.
	const uint64_t kClaim = uint64_t(1) << 63;
	struct claim_case {
		const char* what;
		zip_entry entry;
	} cases[] = {
	    {"deflated", {"huge", std::string(8 * kMiB, '\0'), kFile644, 0, 0, 0, 0, 0, 0, false, kClaim}},
	    {"stored", {"huge", "tiny", kFile644, 0, 0, 0, 0, 0, 0, true, kClaim}},
	};
	for (const claim_case& c : cases) {
		SCOPED_TRACE(c.what);
		ASSERT_TRUE(atest::write_zip64(zip, {c.entry}));
		const file_state before = install_previous("huge");
		peak_meter meter;
		EXPECT_EQ(zip_to_file(zip, out, nullptr, 0), err_zip_read);
		meter.expect_small(c.what);
		EXPECT_TRUE(state_of(out + "huge") == before);
		EXPECT_EQ(names_in(out), std::vector<std::string>{"huge"});  // no temporary file left
		EXPECT_NE(log->text().find("Zip to file failed with error 20002. file = DIzivoz/Files/io_utils line = 1306. "
		                           "inFile=" +
		                           out + "huge.\n"),
		          std::string::npos)
		    << log->text();
	}
}

// Writes above this many bytes fail with EFBIG while the object lives.
struct file_size_limit {
	struct rlimit old {};
	void (*old_handler)(int) = nullptr;
	explicit file_size_limit(rlim_t bytes)
	{
		getrlimit(RLIMIT_FSIZE, &old);
		old_handler = signal(SIGXFSZ, SIG_IGN);
		struct rlimit lim = old;
		lim.rlim_cur = bytes;
		setrlimit(RLIMIT_FSIZE, &lim);
	}
	~file_size_limit()
	{
		setrlimit(RLIMIT_FSIZE, &old);
		signal(SIGXFSZ, old_handler);
	}
};

TEST_F(SafeExtract, FailedExtractionLeavesThePreviousFileByteForByte)
{
	const std::string big = vtest::noise(300000, 3);
	struct failure_case {
		const char* what;
		bool seven_z;
		std::function<void()> damage;  // applied to the archive once written
		rlim_t limit;                  // 0: no limit on written files
		int code;
		std::string log_line;          // empty: none expected
	} cases[] = {
	    {"zip data fails its CRC", false,
	     [&] {
		     std::string bytes = vtest::read_file_bytes(zip);
		     size_t at = bytes.find(big.substr(1000, 64));
		     ASSERT_NE(at, std::string::npos);
		     bytes[at + 5] ^= 0x55;
		     ASSERT_TRUE(vtest::write_file_bytes(zip, bytes));
	     },
	     0, UNZ_CRCERROR, "line = 1308. inFile=" + out + "f.\n"},
	    {"zip write fails (file size limit)", false, nullptr, 100000, EFBIG, "line = 1321. inFile=" + out + "f.\n"},
	    {"7z write fails (file size limit)", true, nullptr, 100000, err_zip_write, ""},
	};
	for (const failure_case& c : cases) {
		SCOPED_TRACE(c.what);
		const std::string archive = tmp.path() + (c.seven_z ? "in.7z" : "in.zip");
		if (c.seven_z)
			ASSERT_TRUE(atest::write_7z(archive, {{"f", big}}));
		else
			ASSERT_TRUE(atest::write_zip(archive, {{"f", big, kFile644, 2020, 0, 1, 0, 0, 0, true}}));
		if (c.damage) c.damage();
		const file_state before = install_previous("f");
		int rc;
		{
			std::unique_ptr<file_size_limit> limit(c.limit ? new file_size_limit(c.limit) : nullptr);
			rc = c.seven_z ? p7z_to_file(archive, out, nullptr, 0) : zip_to_file(archive, out, nullptr, 0);
		}
		EXPECT_EQ(rc, c.code);
		EXPECT_TRUE(state_of(out + "f") == before);
		EXPECT_EQ(names_in(out), std::vector<std::string>{"f"});
		if (!c.log_line.empty()) EXPECT_NE(log->text().find(c.log_line), std::string::npos) << log->text();
		unlink(archive.c_str());
	}
}

TEST_F(SafeExtract, FileUnlikeItsListingIsRefusedAndThePreviousOneStays)
{
	// The caller lists f with the signature of "wanted bytes\n" and a size
	// bound: other bytes, other link text or more bytes than the bound are
	// refused before f is replaced; the listed bytes go in place.
	const std::string wanted = "wanted bytes\n";
	const unsigned long link_fa = 0xA1FF0000ul;  // a link, rwxrwxrwx
	struct row {
		const char* what;
		bool seven_z;
		atest::zip_entry entry;  // for a .7z: its name and data
		uint64_t max_bytes;
		int code;
	} rows[] = {
	    {"zip, listed bytes", false, {"f", wanted, kFile644}, 1000, 0},
	    {"zip, other bytes", false, {"f", "other bytes!\n", kFile644}, 1000, err_signature_mismatch},
	    {"zip, link with other text", false, {"f", "elsewhere", link_fa}, 1000, err_signature_mismatch},
	    {"zip, past the bound", false, {"f", std::string(5000, 'z'), kFile644}, 1000, err_archive_too_big},
	    {"zip, only another file", false, {"g", wanted, kFile644}, 1000, err_signature_mismatch},
	    {"7z, listed bytes", true, {"f", wanted}, 1000, 0},
	    {"7z, other bytes", true, {"f", "other bytes!\n"}, 1000, err_signature_mismatch},
	    {"7z, past the bound", true, {"f", std::string(5000, 'z')}, 1000, err_archive_too_big},
	};
	extract_expect expect;
	expect.path = out + "f";
	expect.md5 = vtest::md5_hex(wanted);
	for (const row& r : rows) {
		SCOPED_TRACE(r.what);
		const std::string archive = tmp.path() + (r.seven_z ? "in.7z" : "in.zip");
		if (r.seven_z)
			ASSERT_TRUE(atest::write_7z(archive, {{r.entry.name, r.entry.data}}));
		else
			ASSERT_TRUE(atest::write_zip(archive, {r.entry}));
		unlink((out + "g").c_str());
		const file_state before = install_previous("f");
		expect.max_bytes = r.max_bytes;
		set_extract_expect(&expect);
		const int rc = r.seven_z ? p7z_to_file(archive, out, nullptr, 0) : zip_to_file(archive, out, nullptr, 0);
		set_extract_expect(nullptr);
		EXPECT_EQ(r.code, rc);
		if (r.code == 0) {
			EXPECT_EQ(wanted, vtest::read_file_bytes(out + "f"));
		} else {
			EXPECT_TRUE(state_of(out + "f") == before);
		}
		for (const std::string& n : names_in(out)) EXPECT_TRUE(n == "f" || n == "g") << n;
		unlink(archive.c_str());
	}
}

TEST_F(SafeExtract, ItemOverALinkReplacesTheLinkNotItsTarget)
{
	const std::string target = tmp.path() + "outside.txt";
	ASSERT_TRUE(vtest::write_file_bytes(target, "not the installer's"));
	struct link_case {
		const char* what;
		bool seven_z;
	} cases[] = {{"7z item", true}, {"zip entry", false}};
	for (const link_case& c : cases) {
		SCOPED_TRACE(c.what);
		unlink((out + "item").c_str());
		ASSERT_EQ(symlink(target.c_str(), (out + "item").c_str()), 0);
		const std::string archive = tmp.path() + (c.seven_z ? "in.7z" : "in.zip");
		if (c.seven_z)
			ASSERT_TRUE(atest::write_7z(archive, {{"item", "new bytes"}}));
		else
			ASSERT_TRUE(atest::write_zip(archive, {{"item", "new bytes", kFile600, 2020, 0, 1}}));
		ASSERT_EQ(c.seven_z ? p7z_to_file(archive, out, nullptr, 0) : zip_to_file(archive, out, nullptr, 0), 0);
		EXPECT_EQ(is_sim_link(out + "item", nullptr), 0);
		EXPECT_EQ(vtest::read_file_bytes(out + "item"), "new bytes");
		EXPECT_EQ(vtest::read_file_bytes(target), "not the installer's");
		EXPECT_EQ(names_in(out), std::vector<std::string>{"item"});
	}
}

TEST_F(SafeExtract, ExecutableFlagSetsTheModeBeforeTheFileIsInPlace)
{
	const std::string target = tmp.path() + "target";
	ASSERT_TRUE(vtest::write_file_bytes(target, "t"));
	chmod(target.c_str(), 0600);
	struct mode_case {
		const char* what;
		bool seven_z;
		zip_entry entry;
		unsigned want;  // 0: a link, whose target keeps its mode
	} cases[] = {
	    {"zip file stored 0600", false, {"prog", "#!/bin/sh\n", kFile600, 2020, 0, 1}, 0755},
	    {"zip file without attributes", false, {"prog", "#!/bin/sh\n", 0}, 0755},
	    {"7z item", true, {"prog", "#!/bin/sh\n"}, 0755},
	    {"zip link", false, {"prog", target, kLink}, 0},
	};
	for (const mode_case& c : cases) {
		SCOPED_TRACE(c.what);
		const std::string archive = tmp.path() + (c.seven_z ? "in.7z" : "in.zip");
		if (c.seven_z)
			ASSERT_TRUE(atest::write_7z(archive, {{c.entry.name, c.entry.data}}));
		else
			ASSERT_TRUE(atest::write_zip(archive, {c.entry}));
		const int rc = c.seven_z ? p7z_to_file(archive, out, nullptr, 0, extract_executable)
		                         : zip_to_file(archive, out, nullptr, 0, extract_executable);
		ASSERT_EQ(rc, 0);
		struct stat st;
		ASSERT_EQ(lstat((out + "prog").c_str(), &st), 0);
		if (c.want) {
			EXPECT_TRUE(S_ISREG(st.st_mode));
			EXPECT_EQ(st.st_mode & 07777, c.want);
		} else {
			EXPECT_TRUE(S_ISLNK(st.st_mode));
			ASSERT_EQ(stat(target.c_str(), &st), 0);
			EXPECT_EQ(st.st_mode & 07777, 0600u);
		}
	}
}

TEST_F(SafeExtract, TemporaryNamesFollowOnePattern)
{
	struct name_case {
		std::string name;
		bool ours;
	} cases[] = {
	    {std::string(extract_temp_prefix) + "0123456789abcdef", true},
	    {std::string(extract_temp_prefix) + "0123456789ABCDEF", false},
	    {std::string(extract_temp_prefix) + "0123456789abcde", false},
	    {std::string(extract_temp_prefix) + "0123456789abcdef0", false},
	    {std::string("x") + extract_temp_prefix + "0123456789abcdef", false},
	    {"notes.txt", false},
	};
	for (const name_case& c : cases) {
		EXPECT_EQ(is_extract_temp_name(c.name), c.ours) << c.name;
	}
}

}  // namespace
