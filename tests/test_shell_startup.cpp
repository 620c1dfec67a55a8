// MACIBM_init's nineteen steps over a scripted window system.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/Files/io_utils.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_files.h"

namespace {

std::vector<std::string> progress_texts;

TEST(ShellStartup, NineteenStepsOnAScriptedWindow)
{
	setenv("LANGUAGE", "en", 1);
	char start[4096];
	ASSERT_NE(getcwd(start, sizeof start), nullptr);
	vtest::fake_platform fake;
	fake.screen_w = 1000;  // narrower than 1024: the depth switch is wanted
	fake.screen_h = 700;
	fake.screen_depth = 16;
	std::vector<alert_record> alerts;
	MACIBM_set_alert_sink([&](const alert_record& a) { alerts.push_back(a); });
	MACIBM_set_show_init_hook([](const std::string& t, float*) { progress_texts.push_back(t); });
	mnw = mnw_struct{};
	mnw_set_defaults();

	const char* argv[] = {"shell_startup"};
	MACIBM_init(1, argv);

	// 3: the application folder is the working folder; the start is kept.
	std::string app;
	get_OS_abs_path(os_dir_this_app, app);
	char now[4096];
	ASSERT_NE(getcwd(now, sizeof now), nullptr);
	EXPECT_EQ(std::string(now) + "/", app);
	EXPECT_EQ(MACIBM_start_folder(), std::string(start) + "/");
	// 4, 8: the log beside the program begins with its header.
	const std::string log = vtest::read_file_bytes(app + "Ventora Installer Log.txt");
	EXPECT_EQ(log.find("Installer log.txt for Ventora Web Demo Installer 2.04r1"), 0u);
	EXPECT_NE(log.find("AGL_DEPTH_SIZE   : 24\n"), std::string::npos);
	// 5-7
	ASSERT_NE(scratch_array, nullptr);
	EXPECT_EQ(reinterpret_cast<uintptr_t>(scratch_array) % 16, 0u);
	std::srand(1);
	for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(randrat[i], (float)(std::rand() * (1.0 / 2147483648.0) * 0.9999));
	EXPECT_FLOAT_EQ(lookup_sin[90], 1.0f);
	EXPECT_NEAR(lookup_cos[360], 1.0f, 1e-6);
	// 10-12: defaults, depth switch to the requested 32 bits, framed window.
	EXPECT_EQ(mnw.x_res, 800);
	EXPECT_EQ(mnw.y_res, 600);
	EXPECT_EQ(mnw.tex_res, 5);
	EXPECT_EQ(fake.depth_log, std::vector<int>{32});
	ASSERT_EQ(fake.window_asks.size(), 1u);
	EXPECT_EQ(fake.window_asks[0].framed, 1);
	EXPECT_EQ(fake.window_asks[0].top, 40);
	EXPECT_EQ(fake.window_asks[0].aa_samples, 0);
	// 16-19
	EXPECT_EQ(menu.size(), 1520u);
	EXPECT_EQ(mnw.wind_type, -1);
	EXPECT_EQ(ogl_inited, 1);
	EXPECT_EQ(mnw.language, 0);
	EXPECT_EQ(progress_texts, (std::vector<std::string>{"Will init plugins.", "Starting application."}));
	EXPECT_TRUE(alerts.empty());

	// Shutdown restores the depth and disposes of the window.
	MACIBM_finishup(0);
	EXPECT_EQ(fake.depth_log, (std::vector<int>{32, 16}));
	EXPECT_EQ(fake.windows_alive, 0);
	EXPECT_EQ(mnw.window[0], nullptr);
	MACIBM_set_alert_sink({});
	MACIBM_set_show_init_hook(nullptr);
	ogl_inited = 0;
	EXPECT_EQ(chdir(start), 0);
}

}  // namespace
