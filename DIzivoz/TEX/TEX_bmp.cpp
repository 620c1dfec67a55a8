// Uncompressed 24-bit BMP reader.
#include "DIzivoz/TEX/TEX_bmp.h"

#include <cstdlib>
#include <cstring>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/xmap.h"

namespace {
const char* const bmp_src = "DIzivoz/TEX/TEX_bmp";

// Little-endian reader that gives 0 past the end of the mapping.
struct le_reader {
	const unsigned char* p;
	const unsigned char* end;
	unsigned long long take(int n)
	{
		unsigned long long v = 0;
		for (int i = 0; i < n; ++i, ++p)
			if (p < end) v |= (unsigned long long)*p << (8 * i);
		return v;
	}
};
}  // namespace

int TEX_load_bmp(const std::string& name, xmap_class* file, unsigned char*& pixels, unsigned long format,
                 int row_width, int pow2, TEX_image_desc& desc)
{
	if (!file || !file->begin) return 0;
	int bpp = 1;
	if (format == GL_RGB) bpp = 3;
	else if (format == GL_RGBA) bpp = 4;
	else if (format != GL_ALPHA) {
		__MACIBM_alert(0, "Illegal desired format for bmp.", name, "", "", alert_fatal, bmp_src, __LINE__);
		return 0;
	}
	const unsigned char* base = reinterpret_cast<const unsigned char*>(file->begin);
	const unsigned char* end = reinterpret_cast<const unsigned char*>(file->end);
	le_reader rd{base, end};
	rd.take(2);                                  // type
	rd.take(4);                                  // file size
	rd.take(2);                                  // reserved
	rd.take(2);
	const unsigned long long offset = rd.take(4);
	rd.take(4);                                  // header size
	const int width = (int)(int32_t)rd.take(4);
	const int height = (int)(int32_t)rd.take(4);
	rd.take(2);                                  // planes
	const int bits = (int)rd.take(2);
	const unsigned long long compression = rd.take(4);
	if (bits != 24) {
		__MACIBM_alert(0, "Wrong bitmap color depth for texture!", "We need 24-bit color.", "", name, alert_fatal,
		               bmp_src, __LINE__);
		return 0;
	}
	if (compression != 0) {
		__MACIBM_alert(0, "Bitmap is compressed!", "", "", name, alert_fatal, bmp_src, __LINE__);
		return 0;
	}
	TEX_read_layout lay;
	if (!TEX_layout_for_read(width, height, bpp, row_width, pow2, lay)) return 0;
	const unsigned long long src_row = ((unsigned long long)width * 3 + 3) & ~3ULL;
	// Every row must lie inside the file.
	if (offset > (unsigned long long)(end - base) || src_row * height > (unsigned long long)(end - base) - offset)
		return 0;

	const size_t stride = lay.stride;
	if (!pixels) {
		pixels = static_cast<unsigned char*>(std::malloc(lay.total));
		if (!pixels) return 0;
	}
	if (lay.clear) std::memset(pixels, 0, lay.total);

	const bool gamma = colr.gamma_on != 0;
	for (int y = 0; y < height; ++y) {
		const unsigned char* s = base + offset + src_row * y;
		unsigned char* d = pixels + stride * y;
		for (int x = 0; x < width; ++x, s += 3) {
			const unsigned char b = s[0], g = s[1], r = s[2];
			if (format == GL_ALPHA) {
				*d++ = (unsigned char)((b + g + r) / 3);
				continue;
			}
			if (format == GL_RGBA && r == 255 && g == 0 && b == 255) {
				std::memset(d, 0, 4);
				d += 4;
				continue;
			}
			*d++ = gamma ? colr.gamma_table[r] : r;
			*d++ = gamma ? colr.gamma_table[g] : g;
			*d++ = gamma ? colr.gamma_table[b] : b;
			if (format == GL_RGBA) *d++ = 255;
		}
	}
	lay.describe(desc, (unsigned)format, width, height);
	return 1;
}
