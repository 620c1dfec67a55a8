#include "tests/support/tex_fixtures.h"

#include <png.h>

#include <cstring>
#include <stdexcept>

namespace vtest {

namespace {
void append(png_structp png, png_bytep data, png_size_t n)
{
	static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}
void no_flush(png_structp) {}
void le(std::string& s, unsigned v, int n)
{
	for (int i = 0; i < n; ++i) s.push_back((char)((v >> (8 * i)) & 0xFF));
}
}  // namespace

std::string make_png(const png_spec& spec, const std::vector<unsigned char>& rows)
{
	std::string out;
	png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png_create_info_struct(png);
	if (setjmp(png_jmpbuf(png))) {
		png_destroy_write_struct(&png, &info);
		throw std::runtime_error("make_png failed");
	}
	png_set_write_fn(png, &out, append, no_flush);
	png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.color_type,
	             spec.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
	             PNG_FILTER_TYPE_DEFAULT);
	if (spec.gamma > 0) png_set_gAMA(png, info, spec.gamma);
	std::vector<png_color> pal;
	for (size_t i = 0; i + 2 < spec.palette.size(); i += 3)
		pal.push_back(png_color{spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
	if (!pal.empty()) png_set_PLTE(png, info, pal.data(), (int)pal.size());
	png_color_16 key{};
	if (!spec.trns.empty()) {
		if (spec.color_type == PNG_COLOR_TYPE_PALETTE) {
			png_set_tRNS(png, info, spec.trns.data(), (int)spec.trns.size(), nullptr);
		} else {
			auto word = [&](size_t i) { return (png_uint_16)((spec.trns[i] << 8) | spec.trns[i + 1]); };
			if (spec.color_type == PNG_COLOR_TYPE_GRAY) key.gray = word(0);
			else {
				key.red = word(0);
				key.green = word(2);
				key.blue = word(4);
			}
			png_set_tRNS(png, info, nullptr, 0, &key);
		}
	}
	png_write_info(png, info);
	const size_t stride = png_get_rowbytes(png, info);
	std::vector<png_bytep> ptrs(spec.height);
	std::vector<unsigned char> copy(rows);
	copy.resize(stride * spec.height);
	for (int i = 0; i < spec.height; ++i) ptrs[i] = copy.data() + stride * i;
	png_write_image(png, ptrs.data());
	png_write_end(png, info);
	png_destroy_write_struct(&png, &info);
	return out;
}

std::string make_bmp(int width, int height, const std::vector<unsigned char>& rgb, int bits, int compression)
{
	const int row = (width * 3 + 3) & ~3;
	std::string s = "BM";
	le(s, 54 + row * height, 4);
	le(s, 0, 4);
	le(s, 54, 4);
	le(s, 40, 4);
	le(s, (unsigned)width, 4);
	le(s, (unsigned)height, 4);
	le(s, 1, 2);
	le(s, (unsigned)bits, 2);
	le(s, (unsigned)compression, 4);
	le(s, row * height, 4);
	le(s, 2835, 4);
	le(s, 2835, 4);
	le(s, 0, 4);
	le(s, 0, 4);
	for (int y = 0; y < height; ++y) {
		for (int x = 0; x < width; ++x) {
			const size_t i = ((size_t)y * width + x) * 3;
			s.push_back((char)rgb[i + 2]);
			s.push_back((char)rgb[i + 1]);
			s.push_back((char)rgb[i]);
		}
		for (int p = width * 3; p < row; ++p) s.push_back(0);
	}
	return s;
}

}  // namespace vtest
