#pragma once
// One demo release per test program, built at the first test that needs it
// and served on loopback for the rest; tests skip without a display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/demo_release.h"
#include "tests/support/test_files.h"

namespace vtest {

struct DemoReleaseTest : ::testing::Test {
	static demo_release* rel;
	static std::string rel_error;

	static void SetUpTestSuite()
	{
		if (rel) return;
		rel = new demo_release;
		static temp_folder work;
		rel_error = build_demo_release(work.path() + "release/", *rel);
	}
	void SetUp() override
	{
		if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display: run under xvfb-run";
		ASSERT_EQ(rel_error, "");
	}
};

inline demo_release* DemoReleaseTest::rel = nullptr;
inline std::string DemoReleaseTest::rel_error;

}  // namespace vtest
