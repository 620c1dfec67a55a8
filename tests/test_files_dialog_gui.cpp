// The file dialog in the shell's real window with real keys (xdotool through
// XTEST): a name typed into the save dialog and Return give the type's path.
#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

TEST(FilesDialogGui, SaveDialogTakesATypedNameAndReturn)
{
	vtest::xvfb_server xvfb(1024, 768);
	ASSERT_FALSE(xvfb.display().empty()) << "Xvfb could not be started (scripts/setup.sh installs it).";
	vtest::shell_app_run app("save_dialog");
	app.display = xvfb.display();
	// The library's file dialog keeps its rows and folder levels 10 units
	// apart, closer than a line of text; the installers never open it.
	app.check_layout = false;
	// The save folder of flight plans, holding a plan already.
	mkdir((app.folder() + "Output").c_str(), 0755);
	mkdir((app.folder() + "Output/FMS plans").c_str(), 0755);
	vtest::write_file_bytes(app.folder() + "Output/FMS plans/old.FMS", "x");
	ASSERT_TRUE(app.start());
	ASSERT_GE(app.wait_line("wind 999", 60), 0) << app.stderr_text();
	usleep(300 * 1000);
	vtest::xdotool(app.display, {"type", "--delay", "60", "route.txt"});
	// Return only once the name is in: the dialog saves whatever is typed by then.
	usleep(500 * 1000);
	vtest::xdotool(app.display, {"key", "Return"});
	const int at = app.wait_line("opensave ", 30);
	ASSERT_GE(at, 0) << app.log();
	EXPECT_EQ(app.report_lines()[at], "opensave 1 'Output/FMS plans/route.FMS'");
	EXPECT_EQ(app.last_wind().type, 0);  // the main screen is back
	vtest::x_view x(app.display);
	ASSERT_TRUE(x.send_close(x.find_window("Ventora Installer")));
	EXPECT_EQ(app.wait_exit(30), 0) << app.stderr_text();
}
