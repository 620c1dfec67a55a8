#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "tests/support/test_files.h"

namespace {

void expect_rgb(const colr_class& c, int i, float r, float g, float b)
{
	EXPECT_FLOAT_EQ(c.rgb[i][0], r) << "index " << i;
	EXPECT_FLOAT_EQ(c.rgb[i][1], g) << "index " << i;
	EXPECT_FLOAT_EQ(c.rgb[i][2], b) << "index " << i;
}
}  // namespace

TEST(FoundPalette, DefaultsBeforeStartUp)
{
	// The program-wide palette as static initialisation left it.
	const colr_class& c = colr;
	struct {
		int first, last;
		float r, g, b;
	} cases[] = {
		{0, 0, 1, 1, 1},         {1, 1, 1, 0.2f, 0.2f},   {8, 8, 1, 0.8f, 0.2f},
		{11, 12, 0, 0, 0},       {17, 17, 0, 0, 0.6f},    {26, 28, 1, 1, 1},
		{30, 30, 0, 0, 0},       {31, 33, 1, 1, 1},       {34, 48, 0, 0, 0},  // sampled at start-up
		{49, 49, 1, 1, 1},       {72, 72, 0.49f, 0.43f, 0.24f}, {78, 78, 0.44f, 0.53f, 0.54f},
		{79, 84, 0, 0, 0},       {85, 85, 1, 0, 1},       {86, 86, 0, 0, 0},
		{88, 88, 1, 1, 1},       {89, 96, 0, 0, 0},       {102, 102, 1, 1, 0.9f},
		{103, 104, 0, 0, 0},     {105, 105, 1, 1, 1},
	};
	for (const auto& k : cases)
		for (int i = k.first; i <= k.last; ++i) expect_rgb(c, i, k.r, k.g, k.b);

	EXPECT_EQ(c.blink_level, 0.0f);
	EXPECT_EQ(c.image_gamma, 1.8);
	EXPECT_EQ(c.display_gamma, 1.8);
	EXPECT_EQ(c.gamma_on, 0);
	for (int i = 0; i < 256; ++i) ASSERT_EQ(c.gamma_table[i], i);
	for (int i = 0; i < colr_spectrum_size; ++i) ASSERT_EQ(c.spectrum[i][0] + c.spectrum[i][1] + c.spectrum[i][2], 0.0f);
}

TEST(FoundPalette, AssignStoresInRangeAndRefusesOutside)
{
	colr_class c;
	c.blink_level = 0.5f;
	c.assign(0, 0.1f, 0.2f, 0.3f);
	c.assign(105, 0.4f, 0.5f, 0.6f);
	expect_rgb(c, 0, 0.1f, 0.2f, 0.3f);
	expect_rgb(c, 105, 0.4f, 0.5f, 0.6f);

	std::vector<unsigned char> before(sizeof(c));
	std::memcpy(before.data(), &c, sizeof(c));
	const std::string path = ::testing::TempDir() + "found_palette_log.txt";
	xer.open(path);
	for (int bad : {-1, 106, 107, 1000, -100000}) c.assign(bad, 9, 9, 9);
	xer.close();
	EXPECT_EQ(std::memcmp(before.data(), &c, sizeof(c)), 0) << "an out-of-range index wrote into the palette";
	EXPECT_NE(vtest::read_file_bytes(path).find("WARNING: palette index 106 is out of range"), std::string::npos);
}

TEST(FoundPalette, LightsAndSpectrum)
{
	colr_class c;
	c.assign(105, 1, 0.5f, 0.75f);
	c.set_lites_for_interface();
	expect_rgb(c, 105, 1, 0.75f, 0.75f);

	c.spectrum_init(5);  // unknown type: nothing changes
	EXPECT_EQ(c.spectrum[500][0] + c.spectrum[500][1] + c.spectrum[500][2], 0.0f);

	c.spectrum_init(0);
	struct {
		int i;
		float r, g, b;
	} rainbow[] = {
		{0, 1, 0, 0}, {100, 1, 0.16f, 0.04f}, {200, 1, 0.32f, 0.08f}, {400, 1, 1, 0},
		{600, 0, 1, 0}, {700, 0, 0.5f, 0.5f}, {800, 0, 0, 1},
	};
	for (const auto& k : rainbow) {
		EXPECT_NEAR(c.spectrum[k.i][0], k.r, 1e-5) << k.i;
		EXPECT_NEAR(c.spectrum[k.i][1], k.g, 1e-5) << k.i;
		EXPECT_NEAR(c.spectrum[k.i][2], k.b, 1e-5) << k.i;
	}
	EXPECT_NEAR(c.spectrum[999][0], 0.8f, 0.01f);  // nearly violet
	EXPECT_NEAR(c.spectrum[999][2], 0.8f, 0.01f);

	for (int type = 1; type <= 3; ++type) {
		c.spectrum_init(type);
		for (int ch = 0; ch < 3; ++ch) EXPECT_FLOAT_EQ(c.spectrum[250][ch], ch == type - 1 ? 0.25f : 0.0f);
	}
}

TEST(FoundCommands, RegistryLookupAndPathListing)
{
	cmnd_class r;
	ASSERT_EQ(r.count(), 1);
	EXPECT_EQ(r.symbol[0], "cmnd_nothing");
	EXPECT_EQ(r.name[0], "sim/-none-/-none-");
	EXPECT_EQ(r.description[0], "Do nothing at all!");
	EXPECT_EQ(r.kind[0], 3);
	EXPECT_EQ(r.get_cmnd_by_name("sim/-none-/-none-"), 0);
	EXPECT_EQ(r.get_cmnd_by_name("no/such"), 0);

	typedef std::vector<std::string> list;
	struct {
		std::string prefix;
		list want;
	} fresh[] = {
		{"", {"sim/"}},
		{"sim/", {"-none-/"}},
		{"sim/-none-/", {"-none-"}},
		{"sim/-none-/-none-", {}},
		{"sim/-no", {"ne-/"}},
		{"SIM/", {}},
	};
	for (const auto& k : fresh) {
		list out = {"stale"};
		r.get_cmds_in_path(k.prefix, out);
		EXPECT_EQ(out, k.want) << "'" << k.prefix << "'";
	}

	EXPECT_EQ(r.add_cmd("view/forward", "Look ahead"), 1);
	EXPECT_EQ(r.add_cmd("sim/flaps/up", "Flaps up"), 2);
	EXPECT_EQ(r.add_cmd("sim/flaps/up", "Duplicate"), 3);
	EXPECT_EQ(r.get_cmnd_by_name("view/forward"), 1);
	EXPECT_EQ(r.get_cmnd_by_name("sim/flaps/up"), 2);  // the first of equal names
	EXPECT_EQ(r.get_cmnd_by_name("view/Forward"), 0);
	EXPECT_EQ(r.symbol[1], "DYNAMIC");
	EXPECT_EQ(r.kind[1], 2);

	list out;
	r.get_cmds_in_path("", out);
	EXPECT_EQ(out, (list{"sim/", "view/", "sim/", "sim/"}));
	r.get_cmds_in_path("sim/", out);
	EXPECT_EQ(out, (list{"-none-/", "flaps/", "flaps/"}));
	r.get_cmds_in_path("sim/flaps/", out);
	EXPECT_EQ(out, (list{"up", "up"}));

	// A command added at run time can be pressed and released.
	r.press_one(2);
	r.press_one(2);
	r.release_one(2);
	r.single_press(2);
	r.press_always(2);
	EXPECT_EQ(r.press_count[2], 1);
	EXPECT_EQ(r.press_count[0], 0);
	r.press_one(99);  // an unknown number is ignored
	r.release_one(-1);
	EXPECT_EQ(r.press_count.size(), r.name.size());
}

TEST(FoundCommands, FocusAndPlaneFocus)
{
	focus_id = 123 + 45 * 8192;
	BTN_unfocus_any();
	EXPECT_EQ(focus_id, 0);
	EXPECT_EQ(get_plane_focus(), 0);
	set_plane_focus(3);
	EXPECT_EQ(get_plane_focus(), 3);
	set_plane_focus(0);
}
