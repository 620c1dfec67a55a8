#pragma once
// The engine's globals made plain for a test: no file listed, this
// platform, every file and tile wanted, the install in tmp/dest/, and the
// alerts collected instead of shown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "Installer-f/utils.h"
#include "tests/support/test_files.h"

namespace vtest {

struct EngineGlobalsTest : ::testing::Test {
	void SetUp() override
	{
		sim_info.clear();
		stg = stg_struct{};
		stg.platform = 3;
		set_install_filter(1, 1);
		dest_dir_path = tmp.path() + "dest/";
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
	}
	void TearDown() override
	{
		MACIBM_set_alert_sink(nullptr);
		sim_info.clear();
	}

	temp_folder tmp;
	std::vector<alert_record> alerts;
};

}  // namespace vtest
