// Where the frames cut the interface atlas, and the file dialog's preview
// reading, without a window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DIzivoz/OOPS_cpp/butn.h"
#include "tests/support/files_tmp.h"

namespace {

struct piece_want {
	float x0, x1, u0, u1;
};

void expect_columns(const std::vector<BTN_piece>& got, const std::vector<piece_want>& want, const char* what)
{
	ASSERT_EQ(got.size(), want.size()) << what;
	for (size_t i = 0; i < want.size(); ++i) {
		EXPECT_FLOAT_EQ(got[i].x0, want[i].x0) << what << " piece " << i;
		EXPECT_FLOAT_EQ(got[i].x1, want[i].x1) << what << " piece " << i;
		EXPECT_NEAR(got[i].u0, want[i].u0, 0.01) << what << " piece " << i;
		EXPECT_NEAR(got[i].u1, want[i].u1, 0.01) << what << " piece " << i;
	}
}

TEST(WidgetFrames, BarIsRoundedAndCutAtItsRightCap)
{
	// Centred at 100 (not 100.4), 62 wide: cap, tile, cut tile, cap.
	const std::vector<BTN_piece> p = BTN_frame1_pieces(2, 100.4f, 50, 61);
	expect_columns(p, {{69, 79, 304, 314}, {79, 111, 314, 346}, {111, 121, 314, 321.62f}, {121, 131, 346, 356}},
	               "button");
	for (const BTN_piece& q : p) {
		EXPECT_FLOAT_EQ(q.y0, 37);
		EXPECT_FLOAT_EQ(q.y1, 63);
		EXPECT_FLOAT_EQ(q.v0, 486);
		EXPECT_FLOAT_EQ(q.v1, 512);
	}
}

TEST(WidgetFrames, BarEdgeCases)
{
	// Exactly twice the cap: both caps and one empty tile.
	expect_columns(BTN_frame1_pieces(3, 50, 0, 20), {{40, 50, 304, 314}, {50, 50, 314, 314}, {50, 60, 346, 356}},
	               "caps only");
	// The menu bar and the title band sit 3 units below the given centre;
	// the number field adds its inset of 4.
	EXPECT_FLOAT_EQ(BTN_frame1_pieces(0, 0, 100, 40)[0].y0, 84);
	EXPECT_FLOAT_EQ(BTN_frame1_pieces(1, 0, 100, 40)[0].y1, 110);
	const std::vector<BTN_piece> field = BTN_frame1_pieces(9, 100, 0, 40);
	EXPECT_FLOAT_EQ(field.front().x0, 78);
	EXPECT_FLOAT_EQ(field.back().x1, 122);
	for (int bad : {-1, 6, 11}) EXPECT_TRUE(BTN_frame1_pieces(bad, 0, 0, 50).empty()) << bad;
}

TEST(WidgetFrames, VerticalBarCutsItsLastTileByTwoThirds)
{
	// 58 long around 100: bottom cap, a whole tile, a tile cut to 18 units
	// whose texture ends at 258 + 18 * 20 / 30, the top cap.
	const std::vector<BTN_piece> p = BTN_frame0_pieces(40, 100, 50);
	ASSERT_EQ(p.size(), 4u);
	const float want[4][4] = {{71, 81, 248, 258}, {81, 101, 258, 278}, {101, 119, 258, 270}, {119, 129, 278, 288}};
	for (int i = 0; i < 4; ++i) {
		EXPECT_FLOAT_EQ(p[i].y0, want[i][0]) << i;
		EXPECT_FLOAT_EQ(p[i].y1, want[i][1]) << i;
		EXPECT_NEAR(p[i].v0, want[i][2], 0.01) << i;
		EXPECT_NEAR(p[i].v1, want[i][3], 0.01) << i;
		EXPECT_FLOAT_EQ(p[i].x0, 30);
		EXPECT_FLOAT_EQ(p[i].u1, 122);
	}
}

TEST(WidgetFrames, PanelsAreNineSlicesBeyondTheirRectangle)
{
	// Style 11, 200 x 100 at (20, 30): corners 35 x 30 over 11 .. 229, 16 .. 134.
	const std::vector<BTN_piece> p = BTN_frame2_pieces(11, 20, 30, 200, 100);
	ASSERT_FALSE(p.empty());
	const BTN_piece& first = p.front();
	const BTN_piece& last = p.back();
	EXPECT_FLOAT_EQ(first.x0, 11);
	EXPECT_FLOAT_EQ(first.y0, 16);
	EXPECT_FLOAT_EQ(first.x1, 46);
	EXPECT_FLOAT_EQ(first.y1, 46);
	EXPECT_FLOAT_EQ(first.u0, 1);
	EXPECT_FLOAT_EQ(first.u1, 36);
	EXPECT_FLOAT_EQ(first.v0, 358);
	EXPECT_FLOAT_EQ(first.v1, 388);
	EXPECT_FLOAT_EQ(last.x0, 194);
	EXPECT_FLOAT_EQ(last.x1, 229);
	EXPECT_FLOAT_EQ(last.y0, 104);
	EXPECT_FLOAT_EQ(last.y1, 134);
	EXPECT_FLOAT_EQ(last.u0, 66);
	EXPECT_FLOAT_EQ(last.v1, 458);
	// Middle tiles are 30 x 40; the last of a row is cut with its texture.
	float covered = 0;
	for (const BTN_piece& q : p) {
		EXPECT_NEAR(q.u1 - q.u0, q.x1 - q.x0, 1e-3);
		EXPECT_NEAR(q.v1 - q.v0, q.y1 - q.y0, 1e-3);
		covered += (q.x1 - q.x0) * (q.y1 - q.y0);
	}
	EXPECT_FLOAT_EQ(covered, 218 * 118);
	// Rows from the bottom up, each from left to right.
	for (size_t i = 1; i < p.size(); ++i)
		EXPECT_TRUE(p[i].y0 > p[i - 1].y0 || (p[i].y0 == p[i - 1].y0 && p[i].x0 > p[i - 1].x0)) << i;
}

TEST(WidgetFrames, PanelStyleSeventeenHasItsOwnCut)
{
	const std::vector<BTN_piece> p = BTN_frame2_pieces(17, 100, 100, 60, 30);
	// Left column 26 wide from 70 .. 96, right column 26 wide from 98 .. 112,
	// 2-wide tiles from 96 .. 98; bottom 14 rows, top 20 rows, 8-high tiles.
	const BTN_piece& bl = p.front();
	EXPECT_FLOAT_EQ(bl.x1 - bl.x0, 26);
	EXPECT_FLOAT_EQ(bl.y1 - bl.y0, 14);
	EXPECT_FLOAT_EQ(bl.u1, 96);
	EXPECT_FLOAT_EQ(bl.v1, 329);
	const BTN_piece& tr = p.back();
	EXPECT_FLOAT_EQ(tr.x1 - tr.x0, 26);
	EXPECT_FLOAT_EQ(tr.y1 - tr.y0, 20);
	EXPECT_FLOAT_EQ(tr.u0, 98);
	EXPECT_FLOAT_EQ(tr.u1, 112);
	EXPECT_FLOAT_EQ(tr.v0, 337);
	EXPECT_FLOAT_EQ(tr.v1, 357);
	EXPECT_FLOAT_EQ(tr.x1, 168);
	EXPECT_FLOAT_EQ(tr.y1, 132);
	EXPECT_FLOAT_EQ(p[1].u1 - p[1].u0, 2);
}

TEST(WidgetFrames, WizardPanelCutsTheElementsPicture)
{
	const std::vector<BTN_piece> p = BTN_frame2_pieces(20, 10, 50, 190, 453);
	EXPECT_FLOAT_EQ(p.front().x0, 9);
	EXPECT_FLOAT_EQ(p.front().y0, 49);
	EXPECT_FLOAT_EQ(p.front().u0, 982);
	EXPECT_FLOAT_EQ(p.front().u1, 996);
	EXPECT_FLOAT_EQ(p.front().v0, 2);
	EXPECT_FLOAT_EQ(p.front().v1, 14);
	EXPECT_FLOAT_EQ(p.back().u1, 1023);
	EXPECT_FLOAT_EQ(p.back().v1, 43);
	EXPECT_FLOAT_EQ(p.back().y1, 504);
	for (int bad : {10, 21}) EXPECT_TRUE(BTN_frame2_pieces(bad, 0, 0, 50, 50).empty()) << bad;
	// A panel lower than its two corner rows still has one row of tiles.
	const std::vector<BTN_piece> low = BTN_frame2_pieces(16, 0, 0, 100, 0);
	std::vector<float> rows;
	for (const BTN_piece& q : low)
		if (rows.empty() || rows.back() != q.y0) rows.push_back(q.y0);
	EXPECT_EQ(rows.size(), 3u);
}

TEST(WidgetDial, HeadingFromTheMouse)
{
	const struct { float mx, my, deg; } cases[] = {
		{-10, 0, 270}, {10, 10, 45}, {0, 10, 0}, {0, -10, 180}, {10, 0, 90}, {-10, -10, 225},
	};
	for (const auto& c : cases) EXPECT_NEAR(plot_dir_heading(50, 60, 50 + c.mx, 60 + c.my), c.deg, 1e-3) << c.mx << "," << c.my;
}

// An aircraft file: binary header ('i' little-endian or 'a' big-endian, then
// the version word), then the 2092-byte block the preview reads.
std::string acf_file(char order, int total, const std::vector<std::pair<int, std::string>>& texts)
{
	std::string s(1, order);
	const unsigned v = 10000;
	if (order == 'i') s += std::string{char(v & 255), char(v >> 8 & 255), 0, 0};
	else s += std::string{0, 0, char(v >> 8 & 255), char(v & 255)};
	std::string block(2092, '\0');
	for (const auto& t : texts) {
		std::string bytes = t.second;
		if (order == 'a')  // big-endian files hold each 4-byte word reversed
			for (size_t w = 0; w + 4 <= bytes.size(); w += 4) std::swap(bytes[w], bytes[w + 3]), std::swap(bytes[w + 1], bytes[w + 2]);
		block.replace(t.first, bytes.size(), bytes);
	}
	s += block;
	s.resize(5 + total);
	return s;
}

TEST(WidgetPreview, AircraftTextsFromSmallFiles)
{
	files_tmp tmp;
	tmp.write("plane.acf", acf_file('i', 2092, {{1552, "Ventora Trainer"}, {1052, "Tarnwick Works"}, {1012, "T-1"},
	                                            {2052, std::string(40, 'z')}}));
	BTN_preview p = BTN_read_acf_preview(tmp("plane.acf"));
	EXPECT_EQ(p.ok, 1);
	EXPECT_EQ(p.texts[0], "Ventora Trainer");
	EXPECT_EQ(p.texts[1], "Tarnwick Works");
	EXPECT_EQ(p.texts[2], std::string(40, 'z')) << "a text without its end stops at the block's end";
	EXPECT_EQ(p.texts[3], "T-1");

	tmp.write("big.acf", acf_file('a', 2092, {{1552, "Swap"}}));
	EXPECT_EQ(BTN_read_acf_preview(tmp("big.acf")).texts[0], "Swap");

	tmp.write("short.acf", acf_file('i', 2091, {{1552, "Cut"}}));
	p = BTN_read_acf_preview(tmp("short.acf"));
	EXPECT_EQ(p.ok, 0) << "one byte short of the block";
	EXPECT_EQ(p.texts[0], "");

	tmp.write("wrong.acf", "not an aircraft");
	EXPECT_EQ(BTN_read_acf_preview(tmp("wrong.acf")).ok, 0);
	EXPECT_EQ(BTN_read_acf_preview(tmp("missing.acf")).ok, 0);
}

TEST(WidgetPreview, FlightCommentFromItsCommLine)
{
	files_tmp tmp;
	const struct { const char* body; const char* comment; } cases[] = {
		{"I\n10001 Version\nTIME 12\ncomm \t Evening flight over the bay\r\nCOMM second\n", "Evening flight over the bay"},
		{"I\n10001 Version\nTIME 12\n", ""},
		{"I\n10001 Version\nCOMMENT no\nComm yes\n", "yes"},
	};
	for (const auto& c : cases) {
		tmp.write("f.fdr", c.body);
		BTN_preview p = BTN_read_fdr_preview(tmp("f.fdr"));
		EXPECT_EQ(p.ok, 1) << c.body;
		EXPECT_EQ(p.comment, c.comment) << c.body;
	}
	tmp.write("bad.fdr", "I\n9 Version\nCOMM x\n");
	EXPECT_EQ(BTN_read_fdr_preview(tmp("bad.fdr")).comment, "");
}

}  // namespace
