#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_camera.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "tests/support/found_units.h"
#include "tests/support/test_files.h"

namespace {

// Index of the first nonzero byte of obj outside the given (offset, size)
// fields, or -1 when every other byte is zero.
template <class T>
long first_nonzero_byte(const T& obj, std::initializer_list<std::pair<size_t, size_t>> skip)
{
	std::vector<unsigned char> bytes(sizeof(T));
	std::memcpy(bytes.data(), static_cast<const void*>(&obj), sizeof(T));
	for (const auto& f : skip) std::memset(bytes.data() + f.first, 0, f.second);
	for (size_t i = 0; i < bytes.size(); ++i)
		if (bytes[i]) return (long)i;
	return -1;
}

}  // namespace

// Runs first in this program: nothing has touched the globals yet.
TEST(FoundGlobals, StateBeforeStartUp)
{
	EXPECT_FALSE(xer.is_open());
	xer << "dropped before the log is open " << 1 << "\n";
	EXPECT_TRUE(xer.good());
	EXPECT_FALSE(ouf.is_open());
	EXPECT_TRUE(app_path.empty());
	EXPECT_TRUE(dvd_path.empty());
	EXPECT_TRUE(stl_global.empty());
	EXPECT_EQ(app_done, 0);
	EXPECT_TRUE(menu.empty());

	for (int e = 0; e < stls_entry_count; ++e) ASSERT_TRUE(stls[e].empty()) << e;
	EXPECT_EQ(stls.int_a + stls.int_b + stls.int_c, 0);

	EXPECT_EQ(mnw.wind_type, 0);
	EXPECT_EQ(mnw.menu_open, 0);
	EXPECT_EQ(mnw.x_res_req, 0);
	EXPECT_EQ(mnw.gui_scale, 0.0f);
	EXPECT_EQ(mnw.window[0], nullptr);
	EXPECT_EQ(mnw.legacy_view, 1);
	EXPECT_EQ(mnw.legacy_panel, -1);
	EXPECT_EQ(first_nonzero_byte(mnw, {{offsetof(mnw_struct, legacy_view), sizeof(int)},
	                                   {offsetof(mnw_struct, legacy_panel), sizeof(int)}}),
	          -1);

	EXPECT_EQ(ren.global_alpha, 1.0f);
	EXPECT_EQ(ren.tex_units, 0);
	EXPECT_EQ(ren.gl_vendor, nullptr);
	EXPECT_EQ(first_nonzero_byte(ren, {{offsetof(ren_struct, global_alpha), sizeof(float)}}), -1);

	for (int i = 0; i < 16; ++i) {
		const double want = (i % 5 == 0) ? 1.0 : 0.0;
		EXPECT_EQ(xcam.projection[i], want) << i;
		EXPECT_EQ(xcam.modelview[i], want) << i;
	}
}

TEST(FoundGlobals, ConstantsHoldEvenDuringStaticInitialisation)
{
	const found_early_view& early = found_seen_during_static_init();
	EXPECT_EQ(early.build_name0, "Ventora 9.10r1");
	EXPECT_EQ(early.build_name2, "Moon");
	EXPECT_EQ(early.no_install_name, "Not Yet Scanned");
	EXPECT_EQ(early.acf_path_def, "Aircraft/General Aviation/Cirrus TheJet/c4.acf");
	EXPECT_FLOAT_EQ(early.degtorad, 0.01745329f);
	EXPECT_FLOAT_EQ(early.radtodeg, 57.29578f);
	// This unit's own copies agree.
	EXPECT_EQ(build_name[1], "Mars");
	EXPECT_EQ(data_path, "Resources/default data/");
	EXPECT_FLOAT_EQ(nmtomtrs, 1852.0f);
}

TEST(FoundGlobals, StringTableEntriesMapOntoItsFields)
{
	struct {
		int entry;
		std::string* field;
	} cases[] = {
		{0, &stls.title},
		{1, &stls.text[0]},
		{603, &stls.text[602]},  // the alert's button caption
		{607, &stls.text[606]},
		{1800, &stls.text[1799]},
		{1801, &stls.after_text[0]},
		{1802, &stls.after_text[1]},  // hover help
		{1803, &stls.after_text[2]},
		{1804, &stls.more[0]},
		{1807, &stls.single},
		{1808, &stls.tail[0]},
		{2207, &stls.tail[399]},
	};
	for (const auto& c : cases) EXPECT_EQ(&stls[c.entry], c.field) << c.entry;

	const std::string path = ::testing::TempDir() + "found_globals_log.txt";
	xer.open(path);
	for (int bad : {-1, 2208, 100000}) {
		std::string& s = stls[bad];
		s = "written to nowhere";
		EXPECT_TRUE(stls[bad].empty()) << bad;
	}
	xer.close();
	EXPECT_NE(vtest::read_file_bytes(path).find("WARNING: string table entry 2208 does not exist."), std::string::npos);
	EXPECT_TRUE(stls.tail[399].empty());
	EXPECT_TRUE(stls.title.empty());
}

TEST(FoundGlobals, StartUpDefaultsOfTheWindowRecord)
{
	mnw_struct saved = mnw;
	mnw_set_defaults();
	EXPECT_EQ(mnw.wind_type, -1);
	EXPECT_EQ(mnw.menu_open, -1);
	EXPECT_EQ(mnw.tex_res, 5);
	EXPECT_EQ(mnw.x_res_req, 800);
	EXPECT_EQ(mnw.y_res_req, 600);
	EXPECT_EQ(mnw.bit_depth_req, 32);
	EXPECT_EQ(mnw.gui_scale, 1.0f);
	EXPECT_EQ(mnw.language, -1);
	EXPECT_EQ(mnw.wind_modal, 0);
	mnw = saved;
}

TEST(FoundGlobals, LogDropsEverythingWrittenWhileClosed)
{
	const std::string path = ::testing::TempDir() + "found_closed_log.txt";
	log_stream log;
	log << "before the open, no line end " << 1;
	log.open(path);
	log << "first\n";
	log.close();
	log << "after the close\n" << "half a line";
	log.open(path, std::ios::app);
	log << "second\n";
	log.close();
	EXPECT_TRUE(log.good());
	EXPECT_EQ(vtest::read_file_bytes(path), "first\nsecond\n");
}
