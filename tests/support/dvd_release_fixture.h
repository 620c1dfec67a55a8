#pragma once
// One disc set per test program, made by the real maker at the first test
// that needs it, and a drive for each test; tests skip without a private
// mount namespace or a display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/dvd_discs.h"
#include "tests/support/test_files.h"

namespace vtest {

struct DvdReleaseTest : ::testing::Test {
	static dvd_release* rel;
	static std::string rel_error;

	static void SetUpTestSuite()
	{
		if (rel || !disc_namespace_problem().empty()) return;
		static temp_folder work;
		rel = new dvd_release;
		rel_error = build_dvd_release(work.path() + "release/", *rel);
	}
	// The drive is empty; insert_first() puts the first disc in.
	void SetUp() override
	{
		SKIP_WITHOUT_DISC_NAMESPACE();
		if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display: run under xvfb-run";
		ASSERT_EQ(rel_error, "");
		ASSERT_GE(rel->discs.size(), 2u) << rel->maker_output;
		drive.reset(new disc_drive(tmp.path() + "drive/"));
	}
	void TearDown() override { drive.reset(); }
	void insert_first() { ASSERT_EQ(drive->insert(rel->discs[0]), ""); }

	temp_folder tmp;
	std::unique_ptr<disc_drive> drive;
};

inline dvd_release* DvdReleaseTest::rel = nullptr;
inline std::string DvdReleaseTest::rel_error;

}  // namespace vtest
