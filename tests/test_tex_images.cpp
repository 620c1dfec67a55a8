// Image utilities, PNG/BMP reading and writing, DDS files and S3TC: no
// OpenGL context needed.
#include <gtest/gtest.h>
#include <png.h>
#include <squish.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/TEX/TEX_bmp.h"
#include "DIzivoz/TEX/TEX_dds.h"
#include "DIzivoz/TEX/TEX_png.h"
#include "DIzivoz/TEX/TEX_utils.h"
#include "tests/support/files_tmp.h"
#include "tests/support/tex_fixtures.h"

namespace {

using bytes = std::vector<unsigned char>;

struct alert_capture {
	alert_capture() { MACIBM_set_alert_sink([this](const alert_record& r) { seen.push_back(r); }); }
	~alert_capture() { MACIBM_set_alert_sink(nullptr); }
	std::vector<alert_record> seen;
};

TEX_image_desc make_desc(unsigned format, int w, int h, int pad = 0, int mips = 0)
{
	TEX_image_desc d;
	d.format = format;
	d.width = w;
	d.height = h;
	d.row_padding = pad;
	d.has_mipmaps = mips;
	return d;
}

unsigned short rgb565(int r, int g, int b) { return (unsigned short)((r << 11) | (g << 5) | b); }

}  // namespace

TEST(TexUtils, BytesNeeded)
{
	const struct {
		TEX_image_desc d;
		long long bytes;
	} cases[] = {
	    {make_desc(GL_RGBA, 4, 2, 0, 1), 32 + 8 + 4},
	    {make_desc(GL_BGRA, 26581, 30297, 0, 1), 4294967316LL},
	    {make_desc(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 65536, 65536), 65536LL * 65536},
	    {make_desc(GL_RGBA, 4, 2, 0, 0), 32},
	    {make_desc(GL_RGB, 3, 5, 3, 0), 5 * (9 + 3)},
	    {make_desc(GL_ALPHA, 2, 2, 2, 1), 2 * 4 + 1 * 3},
	    {make_desc(GL_BGR, 2, 1, 0, 1), 6 + 3},
	    {make_desc(GL_DEPTH_COMPONENT, 2, 2, 7, 0), 16},
	    {make_desc(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 1, 1), 8},
	    {make_desc(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 6, 6), 64},
	    {make_desc(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 8, 8, 0, 1), 64 + 16 + 16 + 16},
	    {make_desc(GL_LUMINANCE, 4, 4), 0},
	};
	for (const auto& c : cases) EXPECT_EQ(TEX_bytes_needed_for_image(c.d), c.bytes) << std::hex << c.d.format;
}

TEST(TexUtils, DownscaleAveragesEachBlockAtItsStride)
{
	// 3 x 3 RGB by 2: the four bottom-left pixels, truncated.
	bytes rgb = {10, 20, 30, 11, 21, 31, 99, 99, 99, 12, 22, 32, 13, 23, 34, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
	TEX_image_desc d = make_desc(GL_RGB, 3, 3);
	TEX_downscale(d, rgb.data(), 2, 2);
	EXPECT_EQ(d.width, 1);
	EXPECT_EQ(d.height, 1);
	EXPECT_EQ(bytes(rgb.begin(), rgb.begin() + 3), (bytes{11, 21, 31}));

	// Factor 3 divides by nine.
	bytes nine(27);
	for (int i = 0; i < 9; ++i) nine[i * 3] = nine[i * 3 + 1] = nine[i * 3 + 2] = (unsigned char)(i * 10);
	d = make_desc(GL_RGB, 3, 3);
	TEX_downscale(d, nine.data(), 3, 3);
	EXPECT_EQ(nine[0], 40);

	// 4 x 2 RGBA rows padded by 8 bytes, by 2 x 1: output rows keep the padding, zeroed.
	bytes pad(2 * (16 + 8), 0xEE);
	for (int y = 0; y < 2; ++y)
		for (int x = 0; x < 4; ++x)
			for (int c = 0; c < 4; ++c) pad[y * 24 + x * 4 + c] = (unsigned char)(y * 100 + x * 10 + c);
	d = make_desc(GL_RGBA, 4, 2, 8);
	TEX_downscale(d, pad.data(), 2, 1);
	EXPECT_EQ(d.width, 2);
	EXPECT_EQ(d.height, 2);
	const int stride = 2 * 4 + 8;
	EXPECT_EQ(pad[0], 5);             // (0 + 10) / 2
	EXPECT_EQ(pad[4 + 3], 28);        // (23 + 33) / 2
	EXPECT_EQ(pad[stride + 0], 105);  // second row
	for (int i = 8; i < 16; ++i) EXPECT_EQ(pad[i], 0);
}

TEST(TexUtils, ChromaKeyAndComposite)
{
	bytes px = {100, 100, 100, 255, 103, 99, 100, 255, 110, 100, 100, 255, 0, 0, 0, 0};
	unsigned char key[3] = {100, 100, 100};
	TEX_chroma_key(make_desc(GL_RGBA, 3, 1, 4), px.data(), key, 5);
	EXPECT_EQ(px[3], 0);
	EXPECT_EQ(px[7], 0);    // distance 4
	EXPECT_EQ(px[11], 255); // distance 10

	// A 2 x 1 RGB source stretched over a 4 x 1 RGBA destination: pixel j
	// samples u = j / 2.
	bytes src = {200, 0, 0, 0, 200, 0};
	bytes dst(16, 0);
	TEX_composite(make_desc(GL_RGB, 2, 1), make_desc(GL_RGBA, 4, 1), src.data(), dst.data(), 0, 0, 4, 1);
	// j=0: u 0 -> all of pixel 0; j=1: u 0.5 -> half each; j=2: u 1 -> pixel 1;
	// j=3: u 1.5 -> half of pixel 1, the other half outside (weight 0).
	EXPECT_EQ(bytes(dst.begin(), dst.begin() + 4), (bytes{200, 0, 0, 255}));
	EXPECT_EQ(bytes(dst.begin() + 4, dst.begin() + 8), (bytes{100, 100, 0, 255}));
	EXPECT_EQ(bytes(dst.begin() + 8, dst.begin() + 12), (bytes{0, 200, 0, 255}));
	EXPECT_EQ(bytes(dst.begin() + 12, dst.begin() + 16), (bytes{0, 100, 0, 127}));

	// A half-transparent RGBA source over an opaque RGB destination.
	bytes s2 = {255, 255, 255, 128};
	bytes d2 = {0, 0, 100};
	TEX_composite(make_desc(GL_RGBA, 1, 1), make_desc(GL_RGB, 1, 1), s2.data(), d2.data(), 0, 0, 1, 1);
	EXPECT_EQ(d2, (bytes{128, 128, 178}));
}

TEST(TexUtils, FlipPlainAndDxt)
{
	// Plain rows with padding.
	bytes rows = {1, 2, 0, 3, 4, 0, 5, 6, 0};
	EXPECT_EQ(TEX_flip_y(make_desc(GL_ALPHA, 2, 3, 1), rows.data()), 0);
	EXPECT_EQ(rows, (bytes{5, 6, 0, 3, 4, 0, 1, 2, 0}));

	// A DXT5 image of one block stays as stored; two blocks swap and flip.
	bytes one(16);
	for (int i = 0; i < 16; ++i) one[i] = (unsigned char)(i * 7 + 1);
	bytes keep = one;
	EXPECT_EQ(TEX_flip_y(make_desc(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 4, 4), one.data()), 0);
	EXPECT_EQ(one, keep);

	bytes two(32);
	for (int i = 0; i < 32; ++i) two[i] = (unsigned char)(i * 13 + 5);
	bytes orig = two;
	TEX_flip_y(make_desc(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 4, 8), two.data());
	// Alpha endpoints and colour endpoints move with the block.
	EXPECT_EQ(two[0], orig[16]);
	EXPECT_EQ(two[1], orig[17]);
	EXPECT_EQ(two[8], orig[24]);
	// Colour index rows reversed.
	EXPECT_EQ(two[12], orig[31]);
	EXPECT_EQ(two[15], orig[28]);
	// Alpha rows reversed: decoded alphas of texel row r equal old row 3 - r.
	squish::u8 before[64], after[64];
	squish::Decompress(before, orig.data() + 16, squish::kDxt5);
	squish::Decompress(after, two.data(), squish::kDxt5);
	for (int r = 0; r < 4; ++r)
		for (int t = 0; t < 4; ++t) EXPECT_EQ(after[(r * 4 + t) * 4 + 3], before[((3 - r) * 4 + t) * 4 + 3]);

	// DXT1: a block libsquish made of transparent texels reports transparency.
	const struct {
		unsigned char alpha;
		int transparent;
	} dxt1_cases[] = {{0, 1}, {255, 0}};
	for (const auto& c : dxt1_cases) {
		bytes rgba(4 * 8 * 4);
		for (size_t i = 0; i < rgba.size(); i += 4) {
			rgba[i] = (unsigned char)(i * 3);
			rgba[i + 1] = 90;
			rgba[i + 2] = 200;
			rgba[i + 3] = (i / 4) < 16 ? c.alpha : 255;
		}
		bytes blocks(16);
		squish::CompressImage(rgba.data(), 4, 8, blocks.data(), squish::kDxt1 | squish::kWeightColourByAlpha);
		EXPECT_EQ(TEX_flip_y(make_desc(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 4, 8), blocks.data()), c.transparent);
	}
}

TEST(TexUtils, GammaCorrectionKeepsEachTexelOnItsEndpoint)
{
	colr_class saved = colr;
	colr.gamma_on = 1;
	for (int i = 0; i < 256; ++i) colr.gamma_table[i] = (unsigned char)(255 - i);
	auto corrected = [](unsigned short c) {
		DXTColBlock b{c, c, {0, 0, 0, 0}};
		squish::u8 rgba[64];
		const int r = (c >> 11) & 31, g = (c >> 5) & 63, bl = c & 31;
		(void)b;
		(void)rgba;
		const int r8 = 255 - ((r << 3) | (r >> 2)), g8 = 255 - ((g << 2) | (g >> 4)), b8 = 255 - ((bl << 3) | (bl >> 2));
		const int r5 = r8 >> 3, g6 = g8 >> 2, b5 = b8 >> 3;
		return std::vector<int>{(r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2)};
	};
	const struct {
		unsigned short c0, c1;
	} cases[] = {{rgb565(30, 50, 20), rgb565(3, 10, 4)},   // four colours
	             {rgb565(3, 10, 4), rgb565(30, 50, 20)}};  // three colours
	for (const auto& c : cases) {
		// Row r uses indices 0, 1, 0, 1 ... so every texel sits on an endpoint.
		DXTColBlock block{c.c0, c.c1, {0x44, 0x11, 0x44, 0x11}};
		const bool four = c.c0 > c.c1;
		nv_gamma_correct(&block);
		EXPECT_EQ(block.col0 > block.col1, four);
		squish::u8 rgba[64];
		squish::Decompress(rgba, &block, squish::kDxt1);
		for (int r = 0; r < 4; ++r)
			for (int t = 0; t < 4; ++t) {
				const int idx = (((r & 1) ? 0x11 : 0x44) >> (2 * t)) & 3;
				const auto want = corrected(idx == 0 ? c.c0 : c.c1);
				for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(rgba[(r * 4 + t) * 4 + ch], want[ch]) << r << t << ch;
			}
	}
	colr = saved;

	unsigned short black = 0, white = 0xFFFF, grey = rgb565(5, 0, 7);
	EXPECT_EQ(DecColor565(black), 0);
	EXPECT_EQ(IncColor565(white), 0);
	EXPECT_EQ(DecColor565(grey), 1);
	EXPECT_EQ(grey, rgb565(5, 0, 6));
	unsigned short top_green = rgb565(1, 63, 31);
	EXPECT_EQ(IncColor565(top_green), 1);
	EXPECT_EQ(top_green, rgb565(2, 63, 31));
}

TEST(TexPng, DecodesEveryKindIntoTheWantedFormat)
{
	files_tmp tmp;
	// One 2 x 2 picture of each kind; top row first in the file.
	const struct {
		const char* what;
		vtest::png_spec spec;
		bytes rows;
		unsigned long want;
		int file_alpha;
		unsigned long got_format;
		bytes pixels;  // bottom-up
	} cases[] = {
	    {"grey 1-bit as RGB", {2, 2, PNG_COLOR_TYPE_GRAY, 1}, {0x80, 0x40}, GL_RGB, 0, GL_RGB,
	     {0, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0}},
	    {"grey 2-bit as alpha", {2, 2, PNG_COLOR_TYPE_GRAY, 2}, {0x1B, 0xE4}, GL_ALPHA, 0, GL_ALPHA, {255, 170, 0, 85}},
	    {"grey 8-bit as RGBA", {2, 1, PNG_COLOR_TYPE_GRAY, 8}, {7, 9}, GL_RGBA, 0, GL_RGBA, {7, 7, 7, 255, 9, 9, 9, 255}},
	    {"palette as RGB", {2, 1, PNG_COLOR_TYPE_PALETTE, 8, false, 0, {10, 20, 30, 40, 50, 60}}, {1, 0}, GL_RGB, 0, GL_RGB,
	     {40, 50, 60, 10, 20, 30}},
	    {"palette tRNS as RGBA", {2, 1, PNG_COLOR_TYPE_PALETTE, 8, false, 0, {10, 20, 30, 40, 50, 60}, {0, 128}}, {1, 0},
	     GL_RGBA, 0, GL_RGBA, {40, 50, 60, 128, 10, 20, 30, 0}},
	    {"palette tRNS as RGB with file alpha", {2, 1, PNG_COLOR_TYPE_PALETTE, 4, false, 0, {10, 20, 30, 40, 50, 60}, {0}},
	     {0x10}, GL_RGB, 1, GL_RGBA, {40, 50, 60, 255, 10, 20, 30, 0}},
	    {"palette tRNS as RGB", {2, 1, PNG_COLOR_TYPE_PALETTE, 8, false, 0, {10, 20, 30, 40, 50, 60}, {0}}, {1, 0}, GL_RGB, 0,
	     GL_RGB, {40, 50, 60, 10, 20, 30}},
	    {"16-bit RGB", {1, 1, PNG_COLOR_TYPE_RGB, 16}, {0x12, 0x00, 0x34, 0xFF, 0x56, 0x01}, GL_RGB, 0, GL_RGB, {0x12, 0x34, 0x56}},
	    {"RGBA as RGB", {1, 1, PNG_COLOR_TYPE_RGBA, 8}, {1, 2, 3, 4}, GL_RGB, 0, GL_RGB, {1, 2, 3}},
	    {"RGBA as RGB with file alpha", {1, 1, PNG_COLOR_TYPE_RGBA, 8}, {1, 2, 3, 4}, GL_RGB, 1, GL_RGBA, {1, 2, 3, 4}},
	    {"RGB as RGBA with file alpha", {1, 1, PNG_COLOR_TYPE_RGB, 8}, {1, 2, 3}, GL_RGBA, 1, GL_RGB, {1, 2, 3}},
	    {"RGB as RGBA", {1, 1, PNG_COLOR_TYPE_RGB, 8}, {1, 2, 3}, GL_RGBA, 0, GL_RGBA, {1, 2, 3, 255}},
	    {"RGB as alpha", {1, 1, PNG_COLOR_TYPE_RGB, 8}, {200, 200, 200}, GL_ALPHA, 0, GL_ALPHA, {200}},
	    {"grey+alpha as RGBA", {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8}, {50, 60}, GL_RGBA, 0, GL_RGBA, {50, 50, 50, 60}},
	    {"grey+alpha as alpha", {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8}, {50, 60}, GL_ALPHA, 0, GL_ALPHA, {50}},
	    {"grey tRNS as RGBA", {2, 1, PNG_COLOR_TYPE_GRAY, 8, false, 0, {}, {0, 7}}, {7, 9}, GL_RGBA, 0, GL_RGBA,
	     {7, 7, 7, 0, 9, 9, 9, 255}},
	    {"RGB tRNS as RGB", {1, 1, PNG_COLOR_TYPE_RGB, 8, false, 0, {}, {0, 1, 0, 2, 0, 3}}, {1, 2, 3}, GL_RGB, 0, GL_RGB, {1, 2, 3}},
	    {"interlaced RGB", {3, 3, PNG_COLOR_TYPE_RGB, 8, true}, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9},
	     GL_RGB, 0, GL_RGB, {7, 7, 7, 8, 8, 8, 9, 9, 9, 4, 4, 4, 5, 5, 5, 6, 6, 6, 1, 1, 1, 2, 2, 2, 3, 3, 3}},
	};
	for (const auto& c : cases) {
		tmp.write("a.png", vtest::make_png(c.spec, c.rows));
		xmap_class file(tmp("a.png"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		ASSERT_EQ(TEX_load_png("a.png", &file, p, c.want, 0, 0, c.file_alpha, d), 1) << c.what;
		EXPECT_EQ(d.format, c.got_format) << c.what;
		EXPECT_EQ(d.width, c.spec.width) << c.what;
		EXPECT_EQ(d.row_padding, 0) << c.what;
		EXPECT_EQ(bytes(p, p + c.pixels.size()), c.pixels) << c.what;
		std::free(p);
	}
}

TEST(TexPng, PaddingGammaAndTruncation)
{
	files_tmp tmp;
	// 3 x 5 RGB with pow2: 4 x 8 buffer, 3 bytes of padding, image in rows 0-4.
	bytes rows(3 * 5 * 3);
	for (size_t i = 0; i < rows.size(); ++i) rows[i] = (unsigned char)(i + 1);
	tmp.write("p.png", vtest::make_png({3, 5, PNG_COLOR_TYPE_RGB, 8}, rows));
	{
		xmap_class file(tmp("p.png"));
		bytes buf(4 * 8 * 3, 0x77);
		unsigned char* p = buf.data();
		TEX_image_desc d;
		ASSERT_EQ(TEX_load_png("p.png", &file, p, GL_RGB, 0, 1, 0, d), 1);
		EXPECT_EQ(d.row_padding, 3);
		EXPECT_EQ(d.width, 3);
		EXPECT_EQ(d.height, 5);
		for (int y = 0; y < 8; ++y)
			for (int x = 0; x < 12; ++x) {
				const unsigned char got = buf[y * 12 + x];
				const unsigned char want = (y < 5 && x < 9) ? rows[(4 - y) * 9 + x] : 0;
				EXPECT_EQ(got, want) << y << "," << x;
			}
	}
	// row_width narrower than the image, and pow2 sizes past 2048: refused.
	{
		xmap_class file(tmp("p.png"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		EXPECT_EQ(TEX_load_png("p.png", &file, p, GL_RGB, 2, 0, 0, d), 0);
		EXPECT_EQ(p, nullptr);
	}
	tmp.write("wide.png", vtest::make_png({2049, 1, PNG_COLOR_TYPE_GRAY, 8}, bytes(2049, 1)));
	{
		xmap_class file(tmp("wide.png"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		EXPECT_EQ(TEX_load_png("wide.png", &file, p, GL_RGB, 0, 1, 0, d), 0);
		EXPECT_EQ(p, nullptr);
	}
	// gAMA 1/2.2 against the screen's 1.8: grey 128 reads 110; no gAMA: unchanged.
	for (const double g : {0.45455, 0.0}) {
		tmp.write("g.png", vtest::make_png({1, 1, PNG_COLOR_TYPE_GRAY, 8, false, g}, {128}));
		xmap_class file(tmp("g.png"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		ASSERT_EQ(TEX_load_png("g.png", &file, p, GL_ALPHA, 0, 0, 0, d), 1);
		EXPECT_EQ(p[0], g > 0 ? 110 : 128);
		std::free(p);
	}
	// A truncated file: the libpng error alert, then the fatal one; nothing allocated survives.
	std::string whole = vtest::make_png({64, 64, PNG_COLOR_TYPE_RGB, 8}, bytes(64 * 64 * 3, 9));
	tmp.write("t.png", whole.substr(0, whole.size() / 2));
	{
		alert_capture alerts;
		xmap_class file(tmp("t.png"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		EXPECT_EQ(TEX_load_png("t.png", &file, p, GL_RGB, 0, 0, 0, d), 0);
		EXPECT_EQ(p, nullptr);
		ASSERT_EQ(alerts.seen.size(), 2u);
		EXPECT_EQ(alerts.seen[0].line1, "PNG error!");
		EXPECT_EQ(alerts.seen[0].line2, "PNG Read Error, overran end of buffer!");
		EXPECT_EQ(alerts.seen[0].line3, "t.png");
		EXPECT_EQ(alerts.seen[0].kind, alert_warning);
		EXPECT_EQ(alerts.seen[0].source_file, "DIzivoz/TEX/TEX_png");
		EXPECT_EQ(alerts.seen[1].line1, "PING-FILE ERROR!");
		EXPECT_EQ(alerts.seen[1].line2, "setjmp(png_ptr->jmpbuf");
		EXPECT_EQ(alerts.seen[1].kind, alert_fatal);
	}
	// Not a PNG at all.
	tmp.write("n.png", "definitely not a png");
	{
		alert_capture alerts;
		xmap_class file(tmp("n.png"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		EXPECT_EQ(TEX_load_png("n.png", &file, p, GL_RGB, 0, 0, 0, d), 0);
		ASSERT_EQ(alerts.seen.size(), 1u);
		EXPECT_EQ(alerts.seen[0].line2, "is_png=!png_sig_cmp(png_io_buf,0,8)");
	}
}

namespace {
struct png_chunk {
	std::string type;
	std::string data;
};
std::vector<png_chunk> chunks_of(const std::string& f)
{
	std::vector<png_chunk> out;
	size_t at = 8;
	while (at + 12 <= f.size()) {
		const unsigned char* p = reinterpret_cast<const unsigned char*>(f.data() + at);
		const size_t len = ((size_t)p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
		out.push_back({f.substr(at + 4, 4), f.substr(at + 8, len)});
		at += 12 + len;
	}
	return out;
}
}  // namespace

TEST(TexPng, WriterSettingsAndRoundTrip)
{
	files_tmp tmp;
	const int w = 100, h = 90;
	bytes img((size_t)(w * 4 + 4) * h);
	unsigned seed = 12345;
	for (auto& b : img) b = (unsigned char)((seed = seed * 1103515245 + 12345) >> 16);
	TEX_image_desc d = make_desc(GL_RGBA, w, h, 4);
	ASSERT_EQ(TEX_save_png(tmp("w.png"), d, img.data()), 1);
	const std::string f = tmp.read("w.png");
	const auto chunks = chunks_of(f);
	std::string idat;
	int idat_count = 0;
	bool gama = false;
	for (size_t i = 0; i < chunks.size(); ++i) {
		const auto& c = chunks[i];
		if (c.type == "gAMA") {
			gama = true;
			const unsigned char* p = reinterpret_cast<const unsigned char*>(c.data.data());
			EXPECT_EQ(((unsigned)p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3], 55556u);
		}
		if (c.type == "IDAT") {
			++idat_count;
			if (i + 1 < chunks.size() && chunks[i + 1].type == "IDAT") {
				EXPECT_EQ(c.data.size(), 8192u);
			}
			idat += c.data;
		}
		if (c.type == "IHDR") {
			EXPECT_EQ((unsigned char)c.data[9], 6);
		}
	}
	EXPECT_TRUE(gama);
	EXPECT_GT(idat_count, 2);
	ASSERT_GE(idat.size(), 2u);
	EXPECT_EQ((unsigned char)idat[0], 0x78);
	EXPECT_EQ((unsigned char)idat[1], 0xDA);
	bytes raw((size_t)(w * 4 + 1) * h);
	uLongf raw_len = raw.size();
	ASSERT_EQ(uncompress(raw.data(), &raw_len, reinterpret_cast<const Bytef*>(idat.data()), idat.size()), Z_OK);
	ASSERT_EQ(raw_len, raw.size());
	for (int y = 0; y < h; ++y) EXPECT_EQ(raw[(size_t)y * (w * 4 + 1)], 0) << y;
	// The file is top-down: its first row is the buffer's last.
	EXPECT_EQ(0, std::memcmp(&raw[1], &img[(size_t)(h - 1) * (w * 4 + 4)], w * 4));

	// Round trip through the reader, each format.
	for (const unsigned fmt : {GL_RGB, GL_RGBA, GL_ALPHA}) {
		const int bpp = fmt == GL_RGB ? 3 : fmt == GL_RGBA ? 4 : 1;
		bytes src((size_t)7 * 5 * bpp);
		for (auto& b : src) b = (unsigned char)((seed = seed * 1103515245 + 12345) >> 16);
		ASSERT_EQ(TEX_save_png(tmp("r.png"), make_desc(fmt, 7, 5), src.data()), 1);
		xmap_class file(tmp("r.png"));
		unsigned char* p = nullptr;
		TEX_image_desc got;
		ASSERT_EQ(TEX_load_png("r.png", &file, p, fmt, 0, 0, 0, got), 1);
		EXPECT_EQ(bytes(p, p + src.size()), src) << fmt;
		std::free(p);
	}

	// write_png_to_disk takes scratch_array.
	MACIBM_alloc_scratch();
	std::memcpy(scratch_array, img.data(), 12);
	ASSERT_EQ(write_png_to_disk(tmp("s.png"), 2, 2, 3), 1);
	xmap_class file(tmp("s.png"));
	unsigned char* p = nullptr;
	TEX_image_desc got;
	ASSERT_EQ(TEX_load_png("s.png", &file, p, GL_RGB, 0, 0, 0, got), 1);
	EXPECT_EQ(bytes(p, p + 12), bytes(img.begin(), img.begin() + 12));
	std::free(p);
}

TEST(TexWriters, FullDiskAndBadFormat)
{
	bytes img(64 * 64 * 4, 3);
	{
		alert_capture alerts;  // libpng's write error is reported as a warning
		EXPECT_EQ(TEX_save_png("/dev/full", make_desc(GL_RGBA, 64, 64), img.data()), 0);
	}
	EXPECT_EQ(TEX_save_dds("/dev/full", img.data(), make_desc(GL_RGBA, 64, 64)), 0);
	EXPECT_EQ(TEX_save_dds("/nonexistent-dir/x.dds", img.data(), make_desc(GL_RGB, 4, 4)), 0);

	alert_capture alerts;
	EXPECT_EQ(TEX_save_png("/tmp/never-written.png", make_desc(GL_BGR, 2, 2), img.data()), 0);
	EXPECT_EQ(TEX_save_dds("/tmp/never-written.dds", img.data(), make_desc(GL_ALPHA, 2, 2)), 0);
	ASSERT_EQ(alerts.seen.size(), 2u);
	EXPECT_EQ(alerts.seen[0].line1, "Illegal pixel format for png-write.");
	EXPECT_EQ(alerts.seen[0].line2, "/tmp/never-written.png");
	EXPECT_EQ(alerts.seen[1].line2, "in_desc.format == GL_RGBA || in_desc.format == GL_RGB");
	EXPECT_EQ(alerts.seen[1].line4, "Please report this to Tarnwick.");
	EXPECT_EQ(alerts.seen[1].source_file, "DIzivoz/TEX/TEX_dds");
	EXPECT_NE(access("/tmp/never-written.png", F_OK), 0);
	EXPECT_NE(access("/tmp/never-written.dds", F_OK), 0);
}

TEST(TexBmp, ReadsRowsMagentaAndRefusesBadFiles)
{
	files_tmp tmp;
	// 5 x 2: source rows of 16 bytes; bottom-left pixel magenta.
	bytes rgb(5 * 2 * 3);
	for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = (unsigned char)(i * 5);
	rgb[0] = 255, rgb[1] = 0, rgb[2] = 255;
	const std::string bmp = vtest::make_bmp(5, 2, rgb);
	EXPECT_EQ(bmp.size(), 54u + 2 * 16);
	tmp.write("a.bmp", bmp);
	const struct {
		unsigned long format;
		int pow2;
		int pad;
	} cases[] = {{GL_RGB, 0, 0}, {GL_RGBA, 0, 0}, {GL_ALPHA, 0, 0}, {GL_RGBA, 1, 12}};
	for (const auto& c : cases) {
		xmap_class file(tmp("a.bmp"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		ASSERT_EQ(TEX_load_bmp("a.bmp", &file, p, c.format, 0, c.pow2, d), 1);
		EXPECT_EQ(d.row_padding, c.pad);
		const int bpp = c.format == GL_RGB ? 3 : c.format == GL_RGBA ? 4 : 1;
		const int stride = 5 * bpp + c.pad;
		for (int y = 0; y < 2; ++y)
			for (int x = 0; x < 5; ++x) {
				const unsigned char* s = &rgb[(y * 5 + x) * 3];
				const unsigned char* g = p + y * stride + x * bpp;
				if (c.format == GL_ALPHA) {
					EXPECT_EQ(g[0], (s[0] + s[1] + s[2]) / 3);
				} else if (c.format == GL_RGBA && x == 0 && y == 0) {
					EXPECT_EQ(bytes(g, g + 4), (bytes{0, 0, 0, 0}));
				} else {
					EXPECT_EQ(bytes(g, g + 3), bytes(s, s + 3));
					if (c.format == GL_RGBA) {
						EXPECT_EQ(g[3], 255);
					}
				}
			}
		if (c.pow2) {
			EXPECT_EQ(p[5 * 4], 0);
		}  // padding zeroed
		std::free(p);
	}
	// Refused: 32 bits and compression are fatal; no size, rows past the end: plain 0.
	alert_capture alerts;
	const struct {
		std::string bytes;
		const char* alert;
	} bad[] = {
	    {vtest::make_bmp(1, 1, bytes(3), 32), "Wrong bitmap color depth for texture!"},
	    {vtest::make_bmp(1, 1, bytes(3), 24, 1), "Bitmap is compressed!"},
	    {vtest::make_bmp(0, 1, bytes(3)), nullptr},
	    {vtest::make_bmp(4, 4, bytes(48)).substr(0, 54 + 40), nullptr},
	    {vtest::make_bmp(2049, 1, bytes(2049 * 3)), nullptr},
	};
	for (const auto& b : bad) {
		alerts.seen.clear();
		tmp.write("b.bmp", b.bytes);
		xmap_class file(tmp("b.bmp"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		EXPECT_EQ(TEX_load_bmp("b.bmp", &file, p, GL_RGB, 0, 1, d), 0);
		EXPECT_EQ(p, nullptr);
		if (b.alert) {
			ASSERT_EQ(alerts.seen.size(), 1u);
			EXPECT_EQ(alerts.seen[0].line1, b.alert);
			EXPECT_EQ(alerts.seen[0].kind, alert_fatal);
		} else {
			EXPECT_TRUE(alerts.seen.empty());
		}
	}
}

TEST(TexUtils, LoadAnyPicksByContentAndExtension)
{
	files_tmp tmp;
	tmp.write("pic.png", vtest::make_bmp(1, 1, {1, 2, 3}));  // a BMP under a .png name
	tmp.write("other.bmp", vtest::make_bmp(1, 1, {4, 5, 6}));
	tmp.write("small.png", "1234567");
	const struct {
		std::string path;
		int ext;
		int result;
		bytes px;
	} cases[] = {
	    {"pic.png", 0, 1, {1, 2, 3}},   {"pic", 1, 1, {1, 2, 3}},     {"pic.dds", 1, 1, {1, 2, 3}},
	    {"other", 1, 1, {4, 5, 6}},     {"other.dds", 1, 1, {4, 5, 6}}, {"small.png", 0, 0, {}},
	    {"missing.png", 0, 0, {}},
	};
	for (const auto& c : cases) {
		unsigned char* p = nullptr;
		TEX_image_desc d;
		const int r = c.ext ? TEX_load_any_ext(tmp(c.path), p, GL_RGB, 0, 0, d)
		                    : TEX_load_any(tmp(c.path), p, GL_RGB, 0, 0, d);
		EXPECT_EQ(r, c.result) << c.path;
		if (r) {
			EXPECT_EQ(bytes(p, p + 3), c.px) << c.path;
		}
		std::free(p);
	}
}

namespace {
std::string dds_header(unsigned flags, int w, int h, unsigned pf_flags, const char* code, unsigned caps)
{
	std::string s(128, '\0');
	auto put = [&](int off, unsigned v) {
		for (int i = 0; i < 4; ++i) s[off + i] = (char)((v >> (8 * i)) & 0xFF);
	};
	std::memcpy(&s[0], "DDS ", 4);
	put(4, 124);
	put(8, flags);
	put(12, (unsigned)h);
	put(16, (unsigned)w);
	put(80, pf_flags);
	if (code) std::memcpy(&s[84], code, 4);
	put(108, caps);
	return s;
}
unsigned at32(const std::string& s, int off)
{
	const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data() + off);
	return p[0] | (p[1] << 8) | (p[2] << 16) | ((unsigned)p[3] << 24);
}
}  // namespace

TEST(TexDds, ReaderKindsAndRefusals)
{
	files_tmp tmp;
	const struct {
		const char* what;
		std::string file;
		int result;
		unsigned format;
		int mips;
	} cases[] = {
	    {"DXT1 chain", dds_header(0xA1007, 4, 4, 4, "DXT1", 0x401008) + std::string(8 * 3, 'x'), 1,
	     GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 1},
	    {"DXT3 no chain", dds_header(0x81007, 4, 4, 4, "DXT3", 0x1000) + std::string(16, 'x'), 1,
	     GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0},
	    {"RGB flag and alpha beat DXT5", dds_header(0xA1007, 1, 1, 0x4 | 0x40 | 0x1, "DXT5", 0x401008) + "abcd", 1, GL_BGRA, 1},
	    {"RGB without alpha", dds_header(0x1007, 2, 1, 0x40, nullptr, 0) + "abcdef", 1, GL_BGR, 0},
	    {"unknown code", dds_header(0x1007, 4, 4, 4, "DXT2", 0) + std::string(16, 'x'), 0, 0, 0},
	    {"no format flags", dds_header(0x1007, 4, 4, 0, nullptr, 0) + std::string(16, 'x'), 0, 0, 0},
	    {"zero width", dds_header(0x1007, 0, 4, 4, "DXT1", 0) + std::string(16, 'x'), 0, 0, 0},
	    {"shorter than its chain", dds_header(0xA1007, 8, 8, 4, "DXT1", 0x401008) + std::string(8 * 4 + 8, 'x'), 0, 0, 0},
	    {"bad magic", "DDS?" + dds_header(0x1007, 1, 1, 0x40, nullptr, 0).substr(4) + "abc", 0, 0, 0},
	    {"header cut", dds_header(0x1007, 1, 1, 0x40, nullptr, 0).substr(0, 100), 0, 0, 0},
	    // A chain of 4 GiB + 20 bytes: a 32-bit count would see 20 and accept 20.
	    {"chain past 4 GiB", dds_header(0xA1007, 26581, 30297, 0x41, nullptr, 0x401008) + std::string(20, 'x'), 0, 0, 0},
	};
	for (const auto& c : cases) {
		tmp.write("a.dds", c.file);
		xmap_class file(tmp("a.dds"));
		unsigned char* p = nullptr;
		TEX_image_desc d;
		ASSERT_EQ(TEX_load_dds("a.dds", &file, p, d), c.result) << c.what;
		if (!c.result) continue;
		EXPECT_EQ(d.format, c.format) << c.what;
		EXPECT_EQ(d.has_mipmaps, c.mips) << c.what;
		EXPECT_EQ(p, reinterpret_cast<const unsigned char*>(file.begin) + 128) << c.what;
	}
}

TEST(TexDds, WriterHeaderAndRoundTrip)
{
	files_tmp tmp;
	bytes rgb(4 * 2 * 3, 128);
	ASSERT_EQ(TEX_save_dds(tmp("a.dds"), rgb.data(), make_desc(GL_RGB, 4, 2)), 1);
	std::string f = tmp.read("a.dds");
	EXPECT_EQ(f.size(), 152u);
	EXPECT_EQ(f.substr(0, 4), "DDS ");
	const struct {
		int off;
		unsigned v;
	} fields[] = {{4, 124}, {8, 0xA1007}, {12, 2}, {16, 4}, {20, 8}, {24, 0}, {28, 3}, {76, 32}, {80, 4}, {108, 0x401008}, {112, 0}};
	for (const auto& fl : fields) EXPECT_EQ(at32(f, fl.off), fl.v) << fl.off;
	EXPECT_EQ(f.substr(84, 4), "DXT1");

	bytes one = {1, 2, 3, 4};
	ASSERT_EQ(TEX_save_dds(tmp("b.dds"), one.data(), make_desc(GL_RGBA, 1, 1)), 1);
	f = tmp.read("b.dds");
	EXPECT_EQ(f.size(), 128u + 16);
	EXPECT_EQ(f.substr(84, 4), "DXT5");
	EXPECT_EQ(at32(f, 28), 1u);

	// A smooth RGBA picture with padding: written, read back, decoded, and
	// compared (bottom-up again after the flip) within a tolerance.
	const int w = 16, h = 8, pad = 4;
	bytes img((size_t)(w * 4 + pad) * h);
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			unsigned char* p = &img[(size_t)y * (w * 4 + pad) + x * 4];
			p[0] = (unsigned char)(x * 16);
			p[1] = (unsigned char)(y * 32);
			p[2] = 100;
			p[3] = (unsigned char)(255 - x * 8);
		}
	ASSERT_EQ(TEX_save_dds(tmp("c.dds"), img.data(), make_desc(GL_RGBA, w, h, pad)), 1);
	xmap_class file(tmp("c.dds"));
	unsigned char* p = nullptr;
	TEX_image_desc d;
	ASSERT_EQ(TEX_load_dds("c.dds", &file, p, d), 1);
	EXPECT_EQ(d.has_mipmaps, 1);
	bytes chain(p, p + TEX_bytes_needed_for_image(d));
	TEX_flip_y(d, chain.data());
	bytes decoded((size_t)w * h * 4);
	TEX_decode_s3tc(d, make_desc(GL_RGBA, w, h), chain.data(), decoded.data());
	int worst = 0;
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x)
			for (int c = 0; c < 4; ++c)
				worst = std::max(worst, std::abs(decoded[(y * w + x) * 4 + c] - img[(size_t)y * (w * 4 + pad) + x * 4 + c]));
	EXPECT_LE(worst, 40);
}

TEST(TexDds, EncodeDecodeEachFitAndFormat)
{
	const int w = 8, h = 8;
	bytes rgba((size_t)w * h * 4);
	for (int i = 0; i < w * h; ++i) {
		// Colour along one line per block; alpha steps between halves.
		rgba[i * 4] = (unsigned char)((i % w) * 8 + 40);
		rgba[i * 4 + 1] = (unsigned char)(200 - (i % w) * 8);
		rgba[i * 4 + 2] = 60;
		rgba[i * 4 + 3] = (unsigned char)(i < 32 ? 255 : 170);
	}
	const unsigned formats[] = {GL_COMPRESSED_RGB_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT,
	                            GL_COMPRESSED_RGBA_S3TC_DXT5_EXT};
	for (const unsigned fmt : formats)
		for (const TEX_s3tc_quality q : {s3tc_range_fit, s3tc_cluster_fit, s3tc_iterative_cluster_fit}) {
			const TEX_image_desc dst = make_desc(fmt, w, h);
			bytes blocks(TEX_bytes_needed_for_image(dst));
			TEX_encode_s3tc(make_desc(GL_RGBA, w, h), dst, rgba.data(), blocks.data(), q);
			bytes back(rgba.size());
			TEX_decode_s3tc(dst, make_desc(GL_RGBA, w, h), blocks.data(), back.data());
			int worst = 0;
			for (size_t i = 0; i < rgba.size(); ++i) {
				if (i % 4 == 3 && fmt == GL_COMPRESSED_RGB_S3TC_DXT1_EXT) continue;
				worst = std::max(worst, std::abs(back[i] - rgba[i]));
			}
			EXPECT_LE(worst, 32) << std::hex << fmt << " fit " << q;
		}
}

TEST(TexPng, AThrowingAlertSinkNeverUnwindsThroughLibpng)
{
	files_tmp tmp;
	std::string whole = vtest::make_png({16, 16, PNG_COLOR_TYPE_RGB, 8}, bytes(16 * 16 * 3, 9));
	tmp.write("t.png", whole.substr(0, whole.size() - 20));
	std::vector<std::string> seen;
	MACIBM_set_alert_sink([&](const alert_record& r) {
		seen.push_back(r.line1);
		throw std::runtime_error("unwind");
	});
	xmap_class file(tmp("t.png"));
	unsigned char* p = nullptr;
	TEX_image_desc d;
	// The reader's own fatal alert comes after libpng is gone, so its throw reaches us.
	EXPECT_THROW(TEX_load_png("t.png", &file, p, GL_RGB, 0, 0, 0, d), std::runtime_error);
	MACIBM_set_alert_sink(nullptr);
	EXPECT_EQ(seen, (std::vector<std::string>{"PNG error!", "PING-FILE ERROR!"}));
	EXPECT_EQ(p, nullptr);
}
