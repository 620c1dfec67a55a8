// The contact sheet of a run's pictures: half-size pictures in a grid, in
// order from the top left, read back with libpng's own reader.
#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/demo_release.h"
#include "tests/support/test_files.h"

namespace {

// A picture of w x h whose rows (top first) have the colours given per row.
std::string write_rows(const std::string& path, int w, const std::vector<unsigned>& rows)
{
	std::vector<unsigned char> px;
	for (unsigned c : rows)
		for (int x = 0; x < w; ++x) px.insert(px.end(), {(unsigned char)(c >> 16), (unsigned char)(c >> 8), (unsigned char)c});
	png_image img{};
	img.version = PNG_IMAGE_VERSION;
	img.width = (png_uint_32)w;
	img.height = (png_uint_32)rows.size();
	img.format = PNG_FORMAT_RGB;
	EXPECT_TRUE(png_image_write_to_file(&img, path.c_str(), 0, px.data(), 0, nullptr)) << path;
	return path;
}

struct rgb_image {
	int w = 0, h = 0;
	std::vector<unsigned char> px;
	unsigned at(int x, int y) const
	{
		const unsigned char* p = &px[((size_t)y * w + x) * 3];
		return (unsigned)p[0] << 16 | (unsigned)p[1] << 8 | p[2];
	}
};

// The stored bytes as they are: the writer marks its files with a gamma that
// libpng's simple reader would apply.
rgb_image read_rgb(const std::string& path)
{
	rgb_image r;
	std::FILE* f = std::fopen(path.c_str(), "rb");
	if (!f) return r;
	png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png ? png_create_info_struct(png) : nullptr;
	if (png && info && !setjmp(png_jmpbuf(png))) {
		png_init_io(png, f);
		png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
		if (png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB && png_get_bit_depth(png, info) == 8) {
			r.w = (int)png_get_image_width(png, info);
			r.h = (int)png_get_image_height(png, info);
			png_bytepp rows = png_get_rows(png, info);
			for (int y = 0; y < r.h; ++y) r.px.insert(r.px.end(), rows[y], rows[y] + 3 * r.w);
		}
	}
	png_destroy_read_struct(&png, &info, nullptr);
	std::fclose(f);
	return r;
}

}  // namespace

TEST(DemoSheet, PicturesAtHalfSizeInOrderFromTheTopLeft)
{
	vtest::temp_folder dir;
	const unsigned red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, white = 0xFFFFFF, grey = 0x303030;
	const std::vector<std::string> pictures = {
	    write_rows(dir.file("a.png"), 8, {red, red, red, green, green, green}),  // red above green
	    write_rows(dir.file("b.png"), 8, std::vector<unsigned>(6, blue)),
	    write_rows(dir.file("c.png"), 8, std::vector<unsigned>(6, white)),
	};
	ASSERT_EQ(vtest::write_contact_sheet(pictures, 2, dir.file("sheet.png")), "");
	const rgb_image s = read_rgb(dir.file("sheet.png"));
	// Two columns of 4 x 3 cells, 16 pixels apart and from the edges.
	ASSERT_EQ(s.w, 2 * 4 + 3 * 16);
	ASSERT_EQ(s.h, 2 * 3 + 3 * 16);
	struct {
		const char* where;
		int x, y;
		unsigned colour;
	} cases[] = {
	    {"first picture's top", 16, 16, red},     {"first picture's bottom", 19, 18, green},
	    {"second picture", 36, 17, blue},         {"third picture, second row", 16, 35, white},
	    {"the empty fourth cell", 36, 35, grey},  {"the margin", 0, 0, grey},
	    {"between the columns", 25, 17, grey},
	};
	for (const auto& c : cases) EXPECT_EQ(s.at(c.x, c.y), c.colour) << c.where;

	EXPECT_NE(vtest::write_contact_sheet({dir.file("missing.png")}, 3, dir.file("none.png")), "");
	EXPECT_FALSE(vtest::path_exists(dir.file("none.png")));
}
