#pragma once
// A test with an X server of its own (1024 x 768), so input and windows of
// tests running side by side never meet; it fails at once without one.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/x_session.h"

namespace vtest {

struct XServerTest : ::testing::Test {
	void SetUp() override
	{
		ASSERT_FALSE(xvfb.display().empty()) << "Xvfb could not be started (scripts/setup.sh installs it).";
	}

	xvfb_server xvfb{1024, 768};
};

}  // namespace vtest
