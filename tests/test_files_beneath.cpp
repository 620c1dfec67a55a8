// Paths beneath a copy: whatever links the copy holds, nothing is made,
// renamed, linked or deleted outside it, and links that stay inside work.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_beneath.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "tests/support/archive_fixtures.h"
#include "tests/support/test_files.h"

namespace {

const unsigned long kFile644 = 0x81A40000ul;
const unsigned long kLink = 0xA1ED0000ul;

class Beneath : public ::testing::Test {
protected:
	// copy/ holds a real folder and links of every kind; outside/ holds a
	// file and a folder someone could aim at.
	void SetUp() override
	{
		root = tmp.path() + "copy/";
		outside = tmp.path() + "outside/";
		ASSERT_EQ(0, system(("mkdir -p '" + root + "real/deep' '" + outside + "folder'").c_str()));
		vtest::write_file_bytes(outside + "victim.txt", "outside");
		vtest::write_file_bytes(root + "real/file.txt", "inside");
		link("real", "in-rel");
		link(root + "real", "in-abs");
		link("real/../real/deep", "in-up-down");
		link("in-rel", "in-chain");
		link(outside, "out-abs");
		link("../outside", "out-rel");
		link("real/../../outside", "out-via-real");
		link(tmp.path() + "copy/../outside", "out-abs-dots");
		link("loop-b", "loop-a");
		link("loop-a", "loop-b");
		link("real/file.txt", "to-file");
		before = atest::list_tree(outside);
	}
	void link(const std::string& text, const std::string& name)
	{
		ASSERT_EQ(0, symlink(text.c_str(), (root + name).c_str())) << name;
	}
	void expect_outside_untouched() { EXPECT_EQ(before, atest::list_tree(outside)); }

	vtest::temp_folder tmp;
	std::string root, outside;
	std::vector<std::string> before;
};

struct via {
	const char* folder;  // first component below the copy
	int result;          // of making, renaming and deleting through it
	const char* real;    // where it lands below the copy, when it does
};
const via kVias[] = {
    {"real", 0, "real"},
    {"in-rel", 0, "real"},
    {"in-abs", 0, "real"},
    {"in-up-down", 0, "real/deep"},
    {"in-chain", 0, "real"},
    {"out-abs", err_archive_escape, nullptr},
    {"out-rel", err_archive_escape, nullptr},
    {"out-via-real", err_archive_escape, nullptr},
    {"out-abs-dots", err_archive_escape, nullptr},
    {"loop-a", ELOOP, nullptr},
    {"to-file", ENOTDIR, nullptr},
    {"missing", ENOENT, nullptr},
};

TEST_F(Beneath, FolderFileAndRenameFollowOnlyLinksThatStayInside)
{
	for (const via& v : kVias) {
		SCOPED_TRACE(v.folder);
		const std::string at = root + v.folder + "/";
		// victim.txt exists outside: deleting it through the link must fail.
		EXPECT_EQ(v.result == 0 ? ENOENT : v.result, beneath_unlink(root, at + "victim.txt"));
		EXPECT_EQ(v.result, beneath_mkdir(root, at + "made"));
		if (v.real) {
			EXPECT_TRUE(vtest::path_exists(root + v.real + "/made"));
			vtest::write_file_bytes(root + v.real + "/from.txt", "x");
			EXPECT_EQ(0, beneath_rename(root, at, "from.txt", "to.txt", true));
			EXPECT_EQ("x", vtest::read_file_bytes(root + v.real + "/to.txt"));
			EXPECT_EQ(0, beneath_unlink(root, at + "to.txt"));
			EXPECT_EQ(0, beneath_unlink(root, at + "made/"));
			EXPECT_FALSE(vtest::path_exists(root + v.real + "/made"));
		} else {
			EXPECT_EQ(v.result, beneath_rename(root, at, "victim.txt", "moved.txt", true));
			EXPECT_EQ(v.result, beneath_unlink(root, at + "folder/"));
		}
		expect_outside_untouched();
	}
	// The last component is what is acted on, never followed: the link
	// itself is removed, and a link is not renamed when asked to keep it.
	EXPECT_EQ(EPERM, beneath_rename(root, root, "out-abs", "moved", true));
	EXPECT_EQ(0, beneath_unlink(root, root + "out-abs"));
	EXPECT_FALSE(vtest::path_exists(root + "out-abs"));
	// Paths that are not below the copy at all.
	for (const std::string& p : {outside + "victim.txt", root.substr(0, root.size() - 1), root + "..", std::string()})
		EXPECT_EQ(err_archive_escape, beneath_unlink(root, p)) << p;
	expect_outside_untouched();
}

TEST_F(Beneath, KeptRootFollowsACopyRemovedAndMadeAgain)
{
	EXPECT_EQ(0, beneath_mkdir(root, root + "real/a"));
	ASSERT_EQ(0, system(("rm -rf '" + root + "' && mkdir -p '" + root + "real'").c_str()));
	EXPECT_EQ(0, beneath_mkdir(root, root + "real/b"));
	EXPECT_TRUE(vtest::path_exists(root + "real/b"));
	EXPECT_EQ(0, beneath_mkdir(root, root + "top"));
	EXPECT_TRUE(vtest::path_exists(root + "top"));
}

TEST_F(Beneath, ExtractionWithARootRefusesEveryEntryALinkWouldLeadOut)
{
	atest::log_capture log(tmp.path() + "log.txt");
	struct row {
		const char* name;
		const char* out;        // output folder below the copy
		std::vector<atest::zip_entry> entries;
		int result;
		const char* lands_at;   // below the copy, when extracted
	};
	const std::vector<row> rows = {
	    {"file through the output folder", "out-abs/", {{"planted.txt", "x", kFile644}}, err_archive_escape, nullptr},
	    {"file through a subfolder", "", {{"out-rel/planted.txt", "x", kFile644}}, err_archive_escape, nullptr},
	    {"link through a link", "out-rel/", {{"l", "/etc", kLink}}, err_archive_escape, nullptr},
	    {"folder entry", "", {{"out-abs/newdir/", "", 0x41ED0000ul}}, err_archive_escape, nullptr},
	    {"resource fork of a file outside",
	     "",
	     {{"__MACOSX/out-abs/._victim.txt", atest::apple_double("TEXTvntr", "f"), kFile644}},
	     err_archive_escape,
	     nullptr},
	    {"file through a link inside", "in-abs/", {{"ok.txt", "ok", kFile644}}, 0, "real/ok.txt"},
	    {"link through a link inside", "in-rel/", {{"ok-link", "file.txt", kLink}}, 0, "real/ok-link"},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		const std::string zip = tmp.path() + "a.zip";
		ASSERT_TRUE(atest::write_zip(zip, r.entries));
		beneath_root_scope scope(root);
		EXPECT_EQ(r.result, zip_to_file(zip, root + r.out, nullptr, 0));
		if (r.lands_at) EXPECT_TRUE(vtest::path_exists(root + r.lands_at));
		else EXPECT_NE(std::string::npos, log.text().find("Zip to file refused the entry " + r.entries[0].name));
		expect_outside_untouched();
	}
	// The same for a .7z item.
	const std::string sz = tmp.path() + "a.7z";
	ASSERT_TRUE(atest::write_7z(sz, {{"planted.txt", "x"}}));
	{
		beneath_root_scope scope(root);
		EXPECT_EQ(err_archive_escape, p7z_to_file(sz, root + "out-rel/", nullptr, 0));
		EXPECT_EQ(0, p7z_to_file(sz, root + "in-rel/", nullptr, 0));
	}
	EXPECT_EQ("x", vtest::read_file_bytes(root + "real/planted.txt"));
	EXPECT_NE(std::string::npos, log.text().find("7z extraction refused the item planted.txt"));
	expect_outside_untouched();
	// Without a root the extractor is what it was: the caller's folder is taken as given.
	EXPECT_EQ(nullptr, beneath_root());
}

}  // namespace
