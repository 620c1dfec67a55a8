// The destination page through the real window: a folder chosen without any
// dialog program on PATH (the window's own folder dialog, driven by real
// clicks and keys, the install going into the folder chosen) and an install
// name far wider than its field; in English, French and German with the
// layout check on.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "Installer-f/wizard.h"
#include "tests/support/demo_release.h"
#include "tests/support/demo_release_fixture.h"
#include "tests/support/dvd_window.h"
#include "tests/support/test_files.h"
#include "tests/support/x_session.h"

namespace {

using DestinationGui = vtest::DemoReleaseTest;

// The dialog is centred in the 800 x 600 window: its points in window units.
const float dlg_x = (800 - 561) / 2, dlg_y = (600 - 474) / 2;

}  // namespace

TEST_F(DestinationGui, NoDialogProgramTheWindowsOwnDialogPicksTheDestination)
{
	const char* langs[] = {"en", "fr", "de"};
	const char* pictures = std::getenv("VENTORA_LAYOUT_PICTURES");
	for (int lang = 0; lang < 3; ++lang) {
		SCOPED_TRACE(langs[lang]);
		vtest::temp_folder run;
		for (const char* d : {"home", "home/Apps", "home/Apps/Alpha", "home/Apps/Mine", "home/Apps/Mine/Deep", "nodialog"})
			mkdir((run.path() + d).c_str(), 0755);
		const std::string home = run.path() + "home/";
		vtest::gui_run_options o;
		o.language = lang;
		o.run_folder = run.path();
		o.change_destination = false;
		o.fly = false;
		// Neither zenity nor kdialog can be found (the test's stand-in comes first on PATH otherwise).
		o.extra_env["PATH"] = run.path() + "nodialog";
		if (pictures) o.screens_folder = std::string(pictures) + "/";
		o.stop_at = 3;
		std::string failure;
		o.at_stop = [&](vtest::gui_ctl& c) {
			auto fail = [&](const std::string& why) {
				const std::string log = c.log();
				failure = why + "\n" + log.substr(log.find("Wizard page 0:") == std::string::npos ? 0 : log.find("Wizard page 0:"));
				return;
			};
			auto shows = [&](const std::string& folder) { return c.wait_log("Folder dialog shows: " + folder + "\n", 20); };
			const std::string opened = "The folder is chosen in the window's own dialog.\n";
			auto open_dialog = [&](int nth) {
				for (int k = 0; k < 3 && vtest::count_in(c.log(), opened) < nth; ++k) {
					c.click(290, 203);
					vtest::wait_for([&] { return vtest::count_in(c.log(), opened) >= nth; }, 5);
				}
				return vtest::count_in(c.log(), opened) >= nth;
			};
			int nth = 1;
			if (lang == 0) {
				// Escape cancels; the page keeps its folder and opens the dialog again.
				if (!open_dialog(nth++)) return fail("the drawn dialog did not open");
				c.key("Escape");
				if (!c.wait_log("The folder choice was cancelled.\n", 20)) return fail("Escape did not cancel");
			}
			if (!open_dialog(nth)) return fail("the drawn dialog did not open");
			if (!c.wait_log("No file dialog program (zenity or kdialog) could be started.\n"
			                "The folder is chosen in the window's own dialog.\n",
			                1))
				return fail("the drawn dialog did not open");
			// It starts in the page's folder, the desktop; the parent button goes up.
			if (!shows(home + "Desktop/")) return fail("the dialog did not start on the desktop");
			c.click(dlg_x + 160, dlg_y + 40);
			if (!shows(home)) return fail("the parent button did not go up");
			// The list has the keys: "Ap" typed ahead and Return open Apps; "mi" and Return, Mine.
			c.key("A");
			c.key("p");
			c.key("Return");
			if (!shows(home + "Apps/")) return fail("Return did not open Apps");
			c.key("m");
			c.key("i");
			c.key("Return");
			if (!shows(home + "Apps/Mine/")) return fail("Return did not open Mine");
			c.key("Return");
			if (!shows(home + "Apps/Mine/Deep/")) return fail("Return did not open Deep");
			c.key("BackSpace");
			const std::string mine = "Folder dialog shows: " + home + "Apps/Mine/\n";
			if (!vtest::wait_for([&] { return vtest::count_in(c.log(), mine) == 2; }, 20))
				return fail("Backspace did not go up");
			// The action button ends at the dialog's x 520.
			c.click(dlg_x + 512, dlg_y + 40);
			if (!c.wait_log("Folder chosen: " + home + "Apps/Mine/\n", 20)) return fail("Select did not choose");
			// The page goes on from there: installed into the chosen folder.
			const float next_x = 770 - interface_icon_width(2, lang) / 2;
			for (int k = 0; k < 6 && !c.wait_log("Wizard page 4:", 5); ++k) c.click(next_x, 23);
			if (!c.wait_log("Wizard page 5:", 120)) return fail("the install did not finish");
			c.click(770 - interface_icon_width(0, lang) / 2, 23);
		};
		std::shared_ptr<void> keep;
		vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
		ASSERT_EQ(failure, "");
		EXPECT_EQ(r.exit_status, 0) << r.log;
		// The install name is the language's own ("Ventora 9 Démo" in French).
		EXPECT_EQ(r.dest.rfind(home + "Apps/Mine/Ventora 9 D", 0), 0u) << r.dest;
		EXPECT_EQ(r.dest.find('/', (home + "Apps/Mine/").size()), r.dest.size() - 1) << r.dest;
		EXPECT_EQ(vtest::read_file_bytes(r.dest + "Ventora"), vtest::read_file_bytes(rel->master + "Linux/Ventora"));
	}
}

// 300 letters typed into the Install Name field (which keeps 256 bytes):
// the field keeps showing the text's end by its caret, and a drag at its end
// selects among letters that are drawn.
TEST_F(DestinationGui, InstallNameFarWiderThanItsFieldStaysVisible)
{
	const char* langs[] = {"en", "fr", "de"};
	const char* pictures = std::getenv("VENTORA_LAYOUT_PICTURES");
	for (int lang = 0; lang < 3; ++lang) {
		SCOPED_TRACE(langs[lang]);
		vtest::gui_run_options o;
		o.language = lang;
		o.change_destination = false;
		o.stop_at = 3;
		std::string failure;
		o.at_stop = [&](vtest::gui_ctl& c) {
			const std::string& display = c.display;
			auto move = [&](float x, float y) {
				int sx, sy;
				c.screen_point(x, y, &sx, &sy);
				vtest::xdotool(display, {"mousemove", std::to_string(sx), std::to_string(sy)});
			};
			// The field ends at x 760, its text on y 200 (box 198 .. 209).
			c.click(740, 203);
			vtest::xdotool(display, {"type", "--delay", "2", std::string(300, 'N')});
			// A drag from the field's end leftwards, after every letter: its
			// selection band shows once the keys are all taken.
			move(755, 203);
			vtest::xdotool(display, {"mousedown", "1"});
			move(700, 203);
			auto band = [&] {
				int n = 0;
				for (float x = 712; x < 744; x += 2) {
					const unsigned p = c.pixel(x, 203);
					n += (p >> 16 & 255) > 200 && (p >> 8 & 255) > 150 && (p & 255) < 120;
				}
				return n >= 4;
			};
			const bool selected = vtest::wait_for(band, 60);
			vtest::xdotool(display, {"mouseup", "1"});
			if (!selected) {
				failure = "no selection band in the field";
				return;
			}
			if (pictures) c.save_png(std::string(pictures) + "/3-long-name-" + langs[lang] + ".png");
			// Letters on either side of the band: dark pixels in the field's text rows.
			auto dark_in = [&](float x0, float x1) {
				int n = 0;
				for (float x = x0; x < x1; x += 1)
					for (float y = 199; y <= 207; y += 1) {
						const unsigned p = c.pixel(x, y);
						n += (p >> 16 & 255) < 120 && (p >> 8 & 255) < 120 && (p & 255) < 160;
					}
				return n;
			};
			if (dark_in(600, 698) < 40) failure += "no letters left of the selection; ";
			// Quit, at the bar's left end.
			c.click(34 + interface_icon_width(0, lang) / 2, 23);
		};
		std::shared_ptr<void> keep;
		vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
		EXPECT_EQ(failure, "");
		EXPECT_EQ(r.exit_status, 0);
	}
}
