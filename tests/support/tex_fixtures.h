#pragma once
// Image files made by tests with libpng directly (not through the program's
// writer), and small BMP files made byte by byte.
#include <string>
#include <vector>

namespace vtest {

struct png_spec {
	int width = 1, height = 1;
	int color_type = 2;  // PNG_COLOR_TYPE_*
	int bit_depth = 8;
	bool interlace = false;
	double gamma = 0;  // 0: no gAMA chunk
	std::vector<unsigned char> palette;  // RGB triples
	std::vector<unsigned char> trns;     // raw tRNS bytes (palette alphas, or the 16-bit grey/RGB key)
};

// rows: top-down, tightly packed at the spec's bit depth. Returns the bytes.
std::string make_png(const png_spec& spec, const std::vector<unsigned char>& rows);

// A 24-bit BMP; rgb: bottom-up rows of R, G, B triples (converted to the
// file's B, G, R order with 4-byte row alignment).
std::string make_bmp(int width, int height, const std::vector<unsigned char>& rgb, int bits = 24,
                     int compression = 0);

}  // namespace vtest
