// The web demo through the installer's real window under X: a release built
// by the maker-side mode, served on loopback, every page reached by real
// clicks, in English, French and German.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <png.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "DIzivoz/Files/io_utils.h"
#include "Installer-f/prefs_window.h"
#include "Installer-f/wizard.h"
#include "tests/support/demo_release.h"
#include "tests/support/demo_release_fixture.h"
#include "tests/support/test_files.h"

namespace {

using WizardGui = vtest::DemoReleaseTest;

std::string file_of(const std::string& p) { return vtest::read_file_bytes(p); }

// Left edges of the icons in the elements pictures (Quit, Back, Next, two
// map buttons, Store, Preferences, and the right edge of Preferences), one
// column per language, as the wizard cuts them.
int icon_w(int icon, int lang) { return (int)interface_icon_width(icon, lang); }

struct rgba_image {
	int w = 0, h = 0;
	std::vector<unsigned char> px;
	const unsigned char* at(int x, int y) const { return &px[((size_t)y * w + x) * 4]; }
};

rgba_image read_png(const std::string& path)
{
	rgba_image img;
	png_image pi{};
	pi.version = PNG_IMAGE_VERSION;
	if (!png_image_begin_read_from_file(&pi, path.c_str())) return img;
	pi.format = PNG_FORMAT_RGBA;
	img.px.resize(PNG_IMAGE_SIZE(pi));
	if (!png_image_finish_read(&pi, nullptr, img.px.data(), 0, nullptr)) {
		img.px.clear();
		return img;
	}
	img.w = (int)pi.width;
	img.h = (int)pi.height;
	return img;
}

// Compares one icon of a window picture with what the elements picture and
// the background give there: the icon's plain band, filtered across a half-unit left edge, tinted white, at the look's
// alpha over the background picture. Returns a description of the worst
// pixel when more than a few pixels differ, else "".
std::string icon_mismatch(const rgba_image& shot, const rgba_image& elems, const rgba_image& bg, int icon, int lang,
                          float left, float alpha)
{
	const int w = icon_w(icon, lang), s0 = (int)btn_cuts[icon][lang];
	const int band_row0 = 46, bottom = 12, height = 22;  // t 0.359375 of 128 rows; 22 units high from y 12
	int bad = 0, worst = 0;
	std::string where;
	for (int c = (int)std::floor(left); c < (int)std::ceil(left + w); ++c) {
		const float u = s0 + (c + 0.5f - left) - 0.5f;  // texel index of the pixel centre
		const int i0 = (int)std::floor(u);
		const float f = u - i0;
		if (i0 < s0 || i0 + (f > 0 ? 1 : 0) >= s0 + w) continue;  // the edge columns sample outside the icon
		for (int j = 0; j < height; ++j) {
			const int y = bottom + j;
			// Texture rows count from the picture's last row.
			const int row = elems.h - 1 - (band_row0 + j);
			const unsigned char* a = elems.at(i0, row);
			const unsigned char* b = elems.at(std::min(i0 + 1, elems.w - 1), row);
			// Between two texels, only where both are opaque: what the loader
			// keeps in the colour of a transparent texel is its own business.
			if (f > 0.01f && (a[3] < 255 || b[3] < 255)) continue;
			const unsigned char* back = bg.at(c, bg.h - 1 - y);
			const unsigned char* got = shot.at(c, shot.h - 1 - y);
			const float ta = ((1 - f) * a[3] + f * b[3]) / 255.0f * alpha;
			for (int k = 0; k < 3; ++k) {
				const float tex = (1 - f) * a[k] + f * b[k];
				const float want = tex * ta + back[k] * (1 - ta);
				const int d = (int)std::lround(std::fabs(want - got[k]));
				if (d > 6) ++bad;
				if (d > worst) {
					worst = d;
					where = "pixel (" + std::to_string(c) + ", " + std::to_string(y) + ") channel " + std::to_string(k) +
					        ": " + std::to_string(got[k]) + " instead of " + std::to_string((int)std::lround(want));
				}
			}
		}
	}
	// Rounding of the software renderer at a few edge pixels aside.
	if (bad <= w * height * 3 / 100) return "";
	return std::to_string(bad) + " channel values differ, worst at " + where;
}

}  // namespace

TEST_F(WizardGui, WebDemoInstallsThroughEveryPageAndFlies)
{
	vtest::gui_run_options o;
	std::shared_ptr<void> keep;
	rel->server->clear_behaviours();
	const size_t before = rel->server->request_count();
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	ASSERT_EQ(r.failure, "") << r.log;
	// "Fly" starts the installed program in place of the installer.
	EXPECT_EQ(r.exit_status, 1);
	ASSERT_EQ(r.dest, r.run_folder + "home/Apps/Ventora 9 Demo/");
	for (int i = 0; i < 200 && access((r.dest + "flew.txt").c_str(), F_OK) != 0; ++i) usleep(20000);
	EXPECT_EQ(file_of(r.dest + "flew.txt"), "flown\n");

	// The tree: bytes, executables, links, no other platform's files.
	const std::string m = rel->master;
	for (const char* f : {"Instructions/Read Me.txt", "Airfoils/naca0012.afl", "Aircraft/General Aviation/Cirrus TheJet/c4.acf",
	                      "Global Scenery/-global terrain-/+40-120/+47-122.dsf",
	                      "Global Scenery/-global terrain-/+40-120/+46-121.dsf", "Resources/plugins/PluginAdminLin.vnp"})
		EXPECT_EQ(file_of(r.dest + f), file_of(m + "All/" + f)) << f;
	EXPECT_EQ(file_of(r.dest + "Ventora"), file_of(m + "Linux/Ventora"));
	struct stat st{};
	ASSERT_EQ(stat((r.dest + "Ventora").c_str(), &st), 0);
	EXPECT_TRUE(st.st_mode & S_IXUSR);
	char target[256] = {0};
	ASSERT_GT(readlink((r.dest + "Resources/text/English/current.txt").c_str(), target, sizeof target - 1), 0);
	EXPECT_STREQ(target, "Ventora.txt");
	EXPECT_NE(access((r.dest + "Ventora.exe").c_str(), F_OK), 0);
	EXPECT_NE(access((r.dest + "Ventora.app").c_str(), F_OK), 0);

	// The registry names the copy; the dialog stand-in was asked for a folder.
	EXPECT_EQ(file_of(r.run_folder + "home/.config/Ventora/ventora_install.txt"), r.dest + "\n");
	EXPECT_NE(file_of(r.run_folder + "zenity_calls.txt").find("--directory"), std::string::npos);

	// Requests: the list once, the manifest once, each wanted file once
	// (a pre-made tile as .zip then .7z), nothing of the other platforms.
	std::map<std::string, int> gets;
	const auto reqs = rel->server->requests();
	for (size_t i = before; i < reqs.size(); ++i) ++gets[reqs[i].host + reqs[i].path];
	EXPECT_EQ(gets[rel->web_host + "/serverlist9.txt"], 1);
	for (auto& g : gets) {
		EXPECT_EQ(g.second, 1) << g.first;
		EXPECT_EQ(g.first.find("/Windows/"), std::string::npos);
		EXPECT_EQ(g.first.find("/Macintosh/"), std::string::npos);
	}
	EXPECT_EQ(gets.count(rel->file_host + "/" + rel->name + "/All/Global Scenery/-global terrain-/+40-120/+46-121.dsf.7z"), 1u);

	// Nothing of the download is left in the temporary folder.
	std::vector<std::string> names;
	std::vector<int> types;
	const std::string tmp = r.run_folder + "tmp/ventora-" + std::to_string(getuid()) + "/";
	opensave_getitems(tmp, 0, names, types);
	for (const std::string& n : names) EXPECT_TRUE(n.find(".zip") == std::string::npos && n.find(".7z") == std::string::npos) << n;
}

TEST_F(WizardGui, FrenchAndGermanPagesHaveEveryText)
{
	for (int lang : {1, 2}) {
		vtest::gui_run_options o;
		o.language = lang;
		o.fly = false;
		std::shared_ptr<void> keep;
		vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
		ASSERT_EQ(r.failure, "") << r.log;
		EXPECT_EQ(r.exit_status, 0) << lang;
		EXPECT_EQ(r.log.find("STRING "), std::string::npos) << r.log;
		EXPECT_EQ(r.log.find("ERROR: language"), std::string::npos) << r.log;
	}
}

TEST_F(WizardGui, NewerInstallerOpensItsAddressAndEnds)
{
	rel->server->put_file(rel->web_host, "/serverlist9.txt",
	                      "I\n820 version\nSERVERS\nINS_VERSION 20403 new http://www.tarnwick.example/new_installer\n" +
	                          vtest::demo_server_list(*rel).substr(std::string("I\n820 version\nSERVERS\n").size()));
	const size_t before = rel->server->request_count();
	vtest::gui_run_options o;
	o.stop_at = 1;
	o.at_stop = [](vtest::gui_ctl& c) {
		ASSERT_TRUE(c.accept_licence()) << c.log();
		// The alert saying why comes once the list is read; Return dismisses
		// it, and then the address opens.
		const std::string calls = c.run_folder + "xdg_open_calls.txt";
		for (int i = 0; i < 1200 && access(calls.c_str(), F_OK) != 0; ++i) {
			c.key("Return");
			usleep(100000);
		}
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	rel->server->put_file(rel->web_host, "/serverlist9.txt", vtest::demo_server_list(*rel));
	EXPECT_EQ(file_of(r.run_folder + "xdg_open_calls.txt"), "http://www.tarnwick.example/new_installer\n");
	EXPECT_EQ(r.exit_status, 0) << r.log;
	// No manifest was asked for.
	const auto reqs = rel->server->requests();
	for (size_t i = before; i < reqs.size(); ++i) EXPECT_EQ(reqs[i].path.find("directory.txt"), std::string::npos);
}

TEST_F(WizardGui, PreferencesIconOpensTheWindowAndTheInstallerSavesItsChoices)
{
	vtest::gui_run_options o;
	o.stop_at = 0;
	o.park_mouse = true;
	std::string failure;
	o.at_stop = [&](vtest::gui_ctl& c) {
		// The colours of a 9 x 9 square of the window around a point.
		auto square = [&](float x, float y) {
			std::vector<unsigned> px;
			for (int dy = -4; dy <= 4; ++dy)
				for (int dx = -4; dx <= 4; ++dx) px.push_back(c.pixel(x + dx, y + dy));
			return px;
		};
		// Waits until the square around a point differs from `from` (or, with
		// back, is `from` again).
		auto wait_square = [&](float x, float y, const std::vector<unsigned>& from, bool back) {
			for (int i = 0; i < 1000; ++i) {
				if ((square(x, y) == from) == back) return true;
				usleep(20000);
			}
			return false;
		};
		// The 600 x 380 window centred in the 800 x 600 one; a point of its title bar.
		const float ox = (800 - 600) / 2, oy = (600 - 380) / 2, title_x = 400, title_y = oy + 380 - 10;
		const std::vector<unsigned> welcome = square(title_x, title_y);
		c.click(40 + interface_icon_width(0, 0) + interface_icon_width(6, 0) / 2, 23);
		if (!wait_square(title_x, title_y, welcome, false)) {
			failure = "the window did not open";
			return;
		}
		const prefs_layout_t& L = prefs_layout();
		const struct {
			const char* what;
			float x, y;
		} boxes[] = {{"log", L.log_x, L.log_y}, {"beta", L.beta_x, L.beta_y}, {"streams", L.manual_streams_x, L.manual_streams_y}};
		for (const auto& b : boxes) {
			const float x = ox + b.x, y = oy + b.y + 3;
			const std::vector<unsigned> before = square(x, y);
			c.click(x, y);
			if (!wait_square(x, y, before, false)) failure += std::string(b.what) + " was not ticked; ";
		}
		// Return, which no field takes, closes the window.
		c.key("Return");
		if (!wait_square(title_x, title_y, welcome, true)) failure += "the window did not close; ";
		c.click(30 + interface_icon_width(0, 0) / 2, 23);  // Quit
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	EXPECT_EQ(failure, "");
	EXPECT_EQ(r.exit_status, 0) << r.log;
	const std::string prefs = file_of(r.run_folder + "home/.config/Ventora/Ventora Installer.prf");
	for (const char* line : {"\n_stream_count 1\n", "\n_log_actions 1\n", "\n_get_beta 1\n"})
		EXPECT_NE(prefs.find(line), std::string::npos) << line << " not in\n" << prefs;
}

TEST_F(WizardGui, MissingManifestIsAskedForAtAWideningPaceAndQuitWorks)
{
	const std::string manifest = "/" + rel->name + "/directory.txt.zip";
	vtest::http_behaviour b;
	b.status = 404;
	rel->server->set_behaviour(manifest, b);
	vtest::gui_run_options o;
	o.stop_at = 1;
	size_t asked = 0;
	const size_t before = rel->server->request_count();
	o.at_stop = [&](vtest::gui_ctl& c) {
		ASSERT_TRUE(c.accept_licence()) << c.log();
		usleep(5500000);
		const auto reqs = rel->server->requests();
		for (size_t i = before; i < reqs.size(); ++i) asked += reqs[i].path == manifest;
		// After the first tries the page says why, while the tries go on.
		EXPECT_TRUE(c.wait_log("Wizard notice: The server " + rel->file_host + " answered: 404 Not Found.", 1)) << c.log();
		c.click(30 + 56 / 2, 23);  // Quit
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	rel->server->clear_behaviours();
	// Tries at 0, 1, 3 s (and perhaps one at the edge of 7 s): never hundreds.
	EXPECT_GE(asked, 2u);
	EXPECT_LE(asked, 4u);
	EXPECT_EQ(r.exit_status, 0);
	EXPECT_EQ(access((r.run_folder + "home/.config/Ventora/ventora_install.txt").c_str(), F_OK), -1);
}

TEST_F(WizardGui, CorruptArchiveEndsWithoutTheFlyChoice)
{
	vtest::http_behaviour b;
	b.raw = "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nConnection: close\r\n\r\nnot a zip!!!";
	const std::string bad = "/" + rel->name + "/All/Airfoils/naca0012.afl.zip";
	rel->server->set_behaviour(bad, b);
	vtest::gui_run_options o;
	o.stop_at = 3;
	o.change_destination = false;
	o.at_stop = [](vtest::gui_ctl& c) {
		c.click(770 - 101 / 2.0f, 23);
		// The extraction warning waits for Return; then the Finish page.
		for (int i = 0; i < 100 && !c.wait_log("Wizard page 5:", 0.2); ++i) c.key("Return");
		ASSERT_TRUE(c.wait_log("Wizard page 5:", 5));
		usleep(300000);
		c.click(500, 350);                      // where "Fly" would be: nothing there
		usleep(300000);
		c.click(770 - 56 / 2.0f, 23);           // Quit in Next's place
	};
	std::shared_ptr<void> keep;
	vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
	rel->server->clear_behaviours();
	EXPECT_EQ(r.exit_status, 0) << r.log;
	EXPECT_EQ(r.log.find("Starting "), std::string::npos);
	ASSERT_FALSE(r.dest.empty());
	EXPECT_NE(access((r.dest + "Instructions/Read Me.txt").c_str(), F_OK), -1);
	EXPECT_EQ(access((r.dest + "flew.txt").c_str(), F_OK), -1);
}

TEST_F(WizardGui, IconsMatchTheLanguagesPictureOnEveryPage)
{
	// Slow answers keep the manifest and install pages up long enough for their pictures.
	const std::string manifest = "/" + rel->name + "/directory.txt.zip";
	const std::string tile = "/" + rel->name + "/All/Global Scenery/-global terrain-/+40-120/+47-122.dsf.zip";
	const long long manifest_size = (long long)file_of(rel->server->root() + rel->file_host + manifest).size();
	ASSERT_GT(manifest_size, 0);
	vtest::http_behaviour slow_list;
	slow_list.slow_chunk = (int)std::max(1LL, manifest_size / 15);
	slow_list.slow_delay_ms = 150;
	vtest::http_behaviour slow_tile;
	slow_tile.slow_chunk = 2000;
	slow_tile.slow_delay_ms = 200;

	// Per picture: Back active, Next active, Preferences active, last page (Quit in Next's place).
	struct page_icons {
		const char* shot;
		bool back, next, prefs, last;
	};
	const page_icons pages[] = {
	    {"0-welcome", false, true, true, false},        {"1-license", true, false, false, false},
	    {"1-license-ticked", true, true, false, false}, {"2-servers", true, false, false, false},
	    {"3-destination", true, true, false, false},    {"3-destination-changed", true, true, false, false},
	    {"4-install", true, false, false, false},       {"5-finish", false, true, false, true},
	};
	const rgba_image bg = read_png(std::string(VENTORA_SOURCE_DIR) + "/Resources/background.png");
	ASSERT_EQ(bg.w, 1024);
	const char* const names[] = {"English", "French", "German"};
	const char* const codes[] = {"en", "fr", "de"};
	for (int lang : {0, 1, 2}) {
		SCOPED_TRACE(names[lang]);
		const rgba_image elems = read_png(std::string(VENTORA_SOURCE_DIR) + "/Resources/elements_" + names[lang] + ".png");
		ASSERT_EQ(elems.w, 1024);
		rel->server->clear_behaviours();
		rel->server->set_behaviour(manifest, slow_list);
		rel->server->set_behaviour(tile, slow_tile);
		vtest::temp_folder shots;
		vtest::gui_run_options o;
		o.language = lang;
		o.fly = false;
		o.park_mouse = true;
		o.screens_folder = shots.path();
		std::shared_ptr<void> keep;
		vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
		rel->server->clear_behaviours();
		ASSERT_EQ(r.failure, "") << r.log;
		for (const page_icons& p : pages) {
			const std::string file = shots.path() + p.shot + "-" + codes[lang] + ".png";
			const rgba_image shot = read_png(file);
			ASSERT_EQ(shot.w, 800) << file;
			ASSERT_EQ(shot.h, 600) << file;
			const int quit_w = icon_w(0, lang), next_icon = p.last ? 0 : 2, next_w = icon_w(next_icon, lang);
			struct placed {
				const char* what;
				int icon;
				float left, alpha;
			};
			std::vector<placed> icons = {
			    {"Preferences", 6, 40.0f + quit_w, p.prefs ? 1.0f : 0.5f},
			    {"Store", 5, 400 - icon_w(5, lang) / 2.0f, 1},
			    {"Next", next_icon, 770.0f - next_w, p.next ? 1.0f : 0.5f},
			    {"Back", 1, 760.0f - next_w - icon_w(1, lang), p.back ? 1.0f : 0.5f},
			};
			if (!p.last) icons.push_back({"Quit", 0, 30, 1});
			for (const placed& i : icons)
				EXPECT_EQ(icon_mismatch(shot, elems, bg, i.icon, lang, i.left, i.alpha), "") << p.shot << ": " << i.what;
		}
	}
}

TEST_F(WizardGui, BackDuringInstallAsksAndOnlyCancelDeletesTheCopy)
{
	// The tile comes slowly, so the install is still running when Back is pressed.
	const std::string tile = "/" + rel->name + "/All/Global Scenery/-global terrain-/+40-120/+47-122.dsf.zip";
	vtest::http_behaviour slow;
	slow.slow_chunk = 1000;
	slow.slow_delay_ms = 300;
	// Where the answers are: the question is a 700 x 206 panel centred in the 800 x 600 window.
	struct answer_case {
		const char* name;
		float x, y;
		int answer;
		bool deletes;
	};
	const answer_case cases[] = {
	    {"Cancel", 50 + 96, 197 + 56, 1, true},
	    {"Continue", 50 + 96, 197 + 31, 0, false},
	    {"close box", 50 + 12, 197 + 196, 3, false},
	};
	const int lang = 0;
	for (const answer_case& c : cases) {
		SCOPED_TRACE(c.name);
		rel->server->clear_behaviours();
		rel->server->set_behaviour(tile, slow);
		const size_t before = rel->server->request_count();
		size_t after_cancel = 0;
		std::string dest_at_cancel = "?";
		vtest::gui_run_options o;
		o.fly = false;
		o.stop_at = 4;
		o.change_destination = false;
		o.at_stop = [&](vtest::gui_ctl& ctl) {
			const std::string registry = ctl.run_folder + "home/.config/Ventora/ventora_install.txt";
			const std::string reg = file_of(registry);
			dest_at_cancel = reg.substr(0, reg.find('\n'));
			const int next_w = icon_w(2, lang);
			ctl.click(760.0f - next_w - icon_w(1, lang) / 2.0f, 23);  // Back
			for (int k = 0; k < 5 && !ctl.wait_log("Question asked: Are you sure you want to cancel", 5); ++k)
				ctl.click(760.0f - next_w - icon_w(1, lang) / 2.0f, 23);
			ASSERT_TRUE(ctl.wait_log("Question asked: Are you sure you want to cancel", 1));
			const std::string answered = "Question answered: " + std::to_string(c.answer);
			for (int k = 0; k < 5 && !ctl.wait_log(answered, 3); ++k) ctl.click(c.x, c.y);
			ASSERT_TRUE(ctl.wait_log(answered, 1)) << ctl.log();
			if (c.deletes) {
				// Back on the destination page, which offers the install again.
				ASSERT_TRUE(ctl.wait_log("Question answered: 1\nWizard page 3: Pick Install Destination.", 20)) << ctl.log();
				after_cancel = rel->server->request_count();
				// Its line left the registry with it.
				EXPECT_EQ(file_of(registry).find(dest_at_cancel), std::string::npos) << file_of(registry);
				ctl.click(30 + icon_w(0, lang) / 2.0f, 23);  // Quit
			} else {
				ASSERT_TRUE(ctl.wait_log("Wizard page 5:", 60)) << ctl.log();
				ctl.click(770 - icon_w(0, lang) / 2.0f, 23);  // Quit in Next's place
			}
		};
		std::shared_ptr<void> keep;
		vtest::gui_run_result r = vtest::run_web_demo_gui(*rel, o, keep);
		rel->server->clear_behaviours();
		EXPECT_EQ(r.exit_status, 0) << r.log;
		ASSERT_FALSE(dest_at_cancel.empty()) << r.log;
		std::map<std::string, int> gets;
		const auto reqs = rel->server->requests();
		for (size_t i = before; i < reqs.size(); ++i) ++gets[reqs[i].path];
		if (c.deletes) {
			// The partial copy is gone and nothing was fetched or written after the answer.
			EXPECT_EQ(r.dest, "");
			EXPECT_FALSE(vtest::path_exists(dest_at_cancel)) << dest_at_cancel;
			EXPECT_EQ(rel->server->request_count(), after_cancel);
		} else {
			// The install went on where it was: every file fetched once, the tile whole.
			EXPECT_EQ(gets[tile], 1);
			for (auto& g : gets) EXPECT_EQ(g.second, 1) << g.first;
			EXPECT_TRUE(file_of(r.dest + "Global Scenery/-global terrain-/+40-120/+47-122.dsf") ==
			            file_of(rel->master + "All/Global Scenery/-global terrain-/+40-120/+47-122.dsf"));
			EXPECT_EQ(file_of(r.dest + "Instructions/Read Me.txt"), file_of(rel->master + "All/Instructions/Read Me.txt"));
		}
		// Nothing of the downloads is left in the temporary folder.
		std::vector<std::string> names;
		std::vector<int> types;
		opensave_getitems(r.run_folder + "tmp/ventora-" + std::to_string(getuid()) + "/", 0, names, types);
		for (const std::string& n : names)
			EXPECT_TRUE(n.find(".zip") == std::string::npos && n.find(".7z") == std::string::npos) << n;
	}
}
