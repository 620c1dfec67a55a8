// A file's signature as the engine keeps it: it must read, compare and copy
// exactly like the text it was made from, whatever the manifest held.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_tasks.h"
#include "tests/support/grab_release.h"
#include "tests/support/test_files.h"

namespace {

const std::string kMd5 = "0123456789abcdef0123456789abcdef";

// Every kind of text a signature can be made from, a manifest's mistakes too.
const std::vector<std::string> kTexts = {
    "",
    "GONE",
    "NONE",
    kMd5,
    "0123456789abcdef0123456789abcdee",  // differs in the last digit only
    "fedcba9876543210fedcba9876543210",
    "00000000000000000000000000000000",
    "ffffffffffffffffffffffffffffffff",
    "0123456789ABCDEF0123456789ABCDEF",   // upper case: not what the checksum pass writes
    kMd5.substr(0, 31),                   // one digit short
    kMd5 + "0",                           // one digit too many
    "0123456789abcdef0123456789abcdeg",   // 32 characters, one not hex
    "gone",
    "NONE ",
    "A",
    "X1",
    std::string(200, 'a'),
};

TEST(FileSig, ReadsAndComparesLikeItsText)
{
	for (const std::string& a : kTexts) {
		SCOPED_TRACE("text '" + a + "'");
		const file_sig sa(a);
		EXPECT_EQ(sa.str(), a);
		EXPECT_EQ(std::string(sa), a);
		EXPECT_EQ(sa.empty(), a.empty());
		std::ostringstream out;
		out << "[" << sa << "]";
		EXPECT_EQ(out.str(), "[" + a + "]");
		for (const std::string& b : kTexts) {
			SCOPED_TRACE("against '" + b + "'");
			const file_sig sb(b);
			EXPECT_EQ(sa == sb, a == b);
			EXPECT_EQ(sa != sb, a != b);
			EXPECT_EQ(sa == b, a == b);
			EXPECT_EQ(b.c_str() == sa, a == b);
		}
	}
}

TEST(FileSig, CopiesMovesAndAssignmentsKeepTheText)
{
	for (const std::string& from : kTexts) {
		for (const std::string& to : kTexts) {
			SCOPED_TRACE("'" + from + "' over '" + to + "'");
			const file_sig source(from);
			file_sig copied(to);
			copied = source;
			EXPECT_EQ(copied.str(), from);
			EXPECT_EQ(source.str(), from);

			file_sig moved(to);
			file_sig temp(source);
			moved = std::move(temp);
			EXPECT_EQ(moved.str(), from);

			file_sig built(std::move(moved));
			EXPECT_EQ(built.str(), from);

			file_sig same(from);
			file_sig& alias = same;
			same = alias;
			EXPECT_EQ(same.str(), from);
			same = std::move(alias);
			EXPECT_EQ(same.str(), from);

			file_sig text(to);
			text = from;  // from a manifest's token
			EXPECT_EQ(text, source);
		}
	}
	// Versions moved as their histories grow keep their signatures.
	std::vector<file_version_struct> versions;
	for (const std::string& t : kTexts) {
		file_version_struct v;
		v.sig_want = t;
		v.sig_have = t + "x";
		versions.push_back(v);
	}
	for (size_t i = 0; i < kTexts.size(); ++i) {
		EXPECT_EQ(versions[i].sig_want.str(), kTexts[i]);
		EXPECT_EQ(versions[i].sig_have.str(), kTexts[i] + "x");
	}
}

// A manifest's signature that is no MD5 is kept as written and never matches
// the file on disk, even when it names the file's MD5 in upper case.
TEST(FileSig, ManifestSignaturesThatAreNoMd5AreKeptAndNeverMatchTheDisk)
{
	vtest::temp_folder tmp;
	stg = stg_struct{};
	stg.platform = 3;
	set_install_filter(1, 1);
	dest_dir_path = tmp.path() + "dest/";
	ASSERT_EQ(mkdir(dest_dir_path.c_str(), 0700), 0);

	const std::string data = "the file's bytes";
	const std::string md5 = vtest::md5_hex(data);
	std::string upper = md5;
	for (char& c : upper) c = (char)std::toupper((unsigned char)c);
	struct row {
		std::string sig;
		int matches;
	} rows[] = {
	    {md5, 1},
	    {upper, 0},
	    {md5.substr(0, 31), 0},
	    {md5 + "0", 0},
	    {md5.substr(0, 31) + "g", 0},
	    {"NONE", 0},  // the file is there
	};
	std::string text = "I\n900 version\nINSTALLER\nDIR Top/\n";
	for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
		text += "FILE 0 0 900 1 1 " + rows[i].sig + " f" + std::to_string(i) + "\n";
		ASSERT_TRUE(vtest::write_file_bytes(dest_dir_path + "f" + std::to_string(i), data));
	}
	ASSERT_TRUE(vtest::write_file_bytes(tmp.path() + "directory.txt", text));
	ASSERT_EQ(read_directory(tmp.path() + "directory.txt"), 3);
	ASSERT_EQ(sim_info.size(), sizeof(rows) / sizeof(rows[0]));

	checksum_task(0, (int)sim_info.size()).do_it();
	for (size_t i = 0; i < sim_info.size(); ++i) {
		SCOPED_TRACE(rows[i].sig);
		const file_version_struct& v = sim_info[i].back();
		EXPECT_EQ(v.sig_want.str(), rows[i].sig);
		EXPECT_EQ(v.sig_have.str(), md5);
		EXPECT_EQ(v.have_is_want, rows[i].matches);
	}
	sim_info.clear();
}

}  // namespace
