// Image sizes, in-place scaling and flips, keying, compositing and the
// loaders that pick the PNG or BMP reader by content.
#include "DIzivoz/TEX/TEX_utils.h"

#include <squish.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/TEX/TEX_bmp.h"
#include "DIzivoz/TEX/TEX_png.h"

namespace {
const char* const utils_src = "DIzivoz/TEX/TEX_utils";

int squish_flag(unsigned format)
{
	switch (format) {
	case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
	case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT: return squish::kDxt1;
	case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT: return squish::kDxt3;
	default: return squish::kDxt5;
	}
}

// Bytes of one level, 0 for a format we do not know.
long long level_bytes(unsigned format, long long w, long long h, int pad)
{
	switch (format) {
	case GL_DEPTH_COMPONENT:
	case GL_DEPTH_COMPONENT24: return w * h * 4;
	case GL_ALPHA: return h * (w + pad);
	case GL_RGB:
	case GL_BGR: return h * (3 * w + pad);
	case GL_RGBA:
	case GL_BGRA: return h * (4 * w + pad);
	case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
	case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT:
	case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT:
	case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT:
		// libsquish counts in int: past 32768 a side its count would overflow.
		if (w <= 32768 && h <= 32768) return squish::GetStorageRequirements((int)w, (int)h, squish_flag(format));
		return ((w + 3) / 4) * ((h + 3) / 4) * (squish_flag(format) == squish::kDxt1 ? 8 : 16);
	default: return 0;
	}
}

void flip_colour_block(DXTColBlock* b)
{
	std::swap(b->row[0], b->row[3]);
	std::swap(b->row[1], b->row[2]);
}

// Three-colour block (col0 <= col1) that uses index 3 somewhere.
int has_transparent_texel(const DXTColBlock* b)
{
	if (b->col0 > b->col1) return 0;
	for (int r = 0; r < 4; ++r)
		for (int t = 0; t < 4; ++t)
			if (((b->row[r] >> (2 * t)) & 3) == 3) return 1;
	return 0;
}

unsigned short gamma_565(unsigned short c)
{
	int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
	r = colr.gamma_table[(r << 3) | (r >> 2)] >> 3;
	g = colr.gamma_table[(g << 2) | (g >> 4)] >> 2;
	b = colr.gamma_table[(b << 3) | (b >> 2)] >> 3;
	return (unsigned short)((r << 11) | (g << 5) | b);
}

bool has_extension_at_4(const std::string& s) { return s.size() > 4 && s[s.size() - 4] == '.'; }
}  // namespace

int TEX_next_pow2(int n)
{
	int p = 1;
	while (p < n && p < (1 << 30)) p <<= 1;
	return p;
}

bool TEX_layout_for_read(int width, int height, int bpp, int row_width, int pow2, TEX_read_layout& out)
{
	const int tex_w = pow2 ? TEX_next_pow2(width) : width, tex_h = pow2 ? TEX_next_pow2(height) : height;
	if (width < 1 || height < 1 || tex_w > 2048 || tex_h > 2048) return false;
	if (!pow2 && row_width > 0 && row_width < width) return false;
	out.padding = 0;
	if (pow2) out.padding = (tex_w - width) * bpp;
	else if (row_width > 0) out.padding = (row_width - width) * bpp;
	out.stride = (size_t)width * bpp + out.padding;
	out.total = out.stride * tex_h;
	out.clear = out.padding || tex_h != height;
	return true;
}

long long TEX_bytes_needed_for_image(const TEX_image_desc& desc)
{
	long long w = desc.width, h = desc.height, total = 0;
	if (w < 1 || h < 1) return 0;
	for (;;) {
		const long long b = level_bytes(desc.format, w, h, desc.row_padding);
		if (b == 0 && !(w == 0 || h == 0)) return 0;
		total += b;
		if (!desc.has_mipmaps || (w == 1 && h == 1)) break;
		w = std::max(1LL, w / 2);
		h = std::max(1LL, h / 2);
	}
	return total;
}

void TEX_downscale(TEX_image_desc& desc, unsigned char* pixels, int fx, int fy)
{
	if (fx < 1 || fy < 1 || !pixels) return;
	const int bpp = desc.format == GL_RGBA ? 4 : desc.format == GL_RGB ? 3 : 1;
	const int nw = desc.width / fx, nh = desc.height / fy;
	const int in_stride = desc.width * bpp + desc.row_padding;
	const int out_stride = nw * bpp + desc.row_padding;
	// The average over all fx x fy pixels: a factor of 3 sums nine.
	const unsigned area = (unsigned)fx * (unsigned)fy;
	for (int y = 0; y < nh; ++y) {
		unsigned char* out = pixels + (size_t)y * out_stride;
		for (int x = 0; x < nw; ++x) {
			for (int c = 0; c < bpp; ++c) {
				unsigned sum = 0;
				for (int dy = 0; dy < fy; ++dy) {
					const unsigned char* in = pixels + (size_t)(y * fy + dy) * in_stride + (size_t)x * fx * bpp + c;
					for (int dx = 0; dx < fx; ++dx) sum += in[dx * bpp];
				}
				out[x * bpp + c] = (unsigned char)(sum / area);
			}
		}
		if (desc.row_padding) std::memset(out + nw * bpp, 0, desc.row_padding);
	}
	desc.width = nw;
	desc.height = nh;
}

void TEX_chroma_key(const TEX_image_desc& desc, unsigned char* pixels, unsigned char* key, int threshold)
{
	const int stride = desc.width * 4 + desc.row_padding;
	for (int y = 0; y < desc.height; ++y) {
		unsigned char* p = pixels + (size_t)y * stride;
		for (int x = 0; x < desc.width; ++x, p += 4) {
			const int d = std::abs(p[0] - key[0]) + std::abs(p[1] - key[1]) + std::abs(p[2] - key[2]);
			if (d < threshold) p[3] = 0;
		}
	}
}

void TEX_composite(const TEX_image_desc& sd, const TEX_image_desc& dd, unsigned char* src, unsigned char* dst,
                   float x1, float y1, float x2, float y2)
{
	const int sb = sd.format == GL_RGBA ? 4 : 3, db = dd.format == GL_RGBA ? 4 : 3;
	const int s_stride = sd.width * sb + sd.row_padding, d_stride = dd.width * db + dd.row_padding;
	const int j0 = std::max(0, (int)std::floor(x1)), j1 = std::min((int)std::ceil(x2), dd.width);
	const int i0 = std::max(0, (int)std::floor(y1)), i1 = std::min((int)std::ceil(y2), dd.height);
	for (int i = i0; i < i1; ++i)
		for (int j = j0; j < j1; ++j) {
			const float u = x1 == x2 ? sd.width / 2.0f : sd.width / (x2 - x1) * (j - x1);
			const float v = y1 == y2 ? sd.height / 2.0f : sd.height / (y2 - y1) * (i - y1);
			const int u0 = (int)std::floor(u), v0 = (int)std::floor(v);
			const float fu = u - u0, fv = v - v0;
			const int px[4] = {u0, u0 + 1, u0, u0 + 1}, py[4] = {v0, v0, v0 + 1, v0 + 1};
			float w[4] = {(1 - fu) * (1 - fv), fu * (1 - fv), (1 - fu) * fv, fu * fv};
			const unsigned char* sp[4];
			for (int k = 0; k < 4; ++k) {
				const bool inside = px[k] >= 0 && px[k] < sd.width && py[k] >= 0 && py[k] < sd.height;
				sp[k] = inside ? src + (size_t)py[k] * s_stride + (size_t)px[k] * sb : nullptr;
				if (!inside) w[k] = 0;
			}
			unsigned char* dp = dst + (size_t)i * d_stride + (size_t)j * db;
			if (sb == 4) {
				if (db == 4) {
					float a = dp[3];
					for (int k = 0; k < 4; ++k)
						if (sp[k]) a += w[k] * sp[k][3];
					dp[3] = (unsigned char)std::clamp(a, 0.0f, 255.0f);
				}
				for (int k = 0; k < 4; ++k)
					if (sp[k]) w[k] *= sp[k][3] / 255.0f;
			} else if (db == 4) {
				const float a = dp[3] + 255.0f * (w[0] + w[1] + w[2] + w[3]);
				dp[3] = (unsigned char)std::clamp(a, 0.0f, 255.0f);
			}
			const float wsum = w[0] + w[1] + w[2] + w[3];
			for (int c = 0; c < 3; ++c) {
				float v2 = dp[c] * (1 - wsum);
				for (int k = 0; k < 4; ++k)
					if (sp[k]) v2 += w[k] * sp[k][c];
				dp[c] = (unsigned char)std::clamp(v2 + 0.5f, 0.0f, 255.0f);
			}
		}
}

int DecColor565(unsigned short& c)
{
	int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
	if (g) --g;
	else if (b) --b;
	else if (r) --r;
	else return 0;
	c = (unsigned short)((r << 11) | (g << 5) | b);
	return 1;
}

int IncColor565(unsigned short& c)
{
	int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
	if (g < 63) ++g;
	else if (b < 31) ++b;
	else if (r < 31) ++r;
	else return 0;
	c = (unsigned short)((r << 11) | (g << 5) | b);
	return 1;
}

void nv_gamma_correct(DXTColBlock* block)
{
	const bool four = block->col0 > block->col1;
	unsigned short c0 = gamma_565(block->col0), c1 = gamma_565(block->col1);
	if (four ? c0 < c1 : c0 > c1) {
		std::swap(c0, c1);
		// Point every texel at the same colour as before: 0 and 1 swap, and
		// in a four-colour block the two blends swap too.
		for (int r = 0; r < 4; ++r) {
			unsigned char out = 0;
			for (int t = 0; t < 4; ++t) {
				int idx = (block->row[r] >> (2 * t)) & 3;
				if (idx < 2) idx ^= 1;
				else if (four) idx ^= 1;
				out |= (unsigned char)(idx << (2 * t));
			}
			block->row[r] = out;
		}
	}
	if (c0 == c1) {
		if (four) {
			if (!DecColor565(c1)) IncColor565(c0);
		} else {
			if (!IncColor565(c1)) DecColor565(c0);
		}
	}
	block->col0 = c0;
	block->col1 = c1;
}

int nv_flip_blocks_dxtc1(DXTColBlock* row, int count, int flag)
{
	for (int i = 0; i < count; ++i) {
		DXTColBlock* b = row + i;
		if (has_transparent_texel(b)) flag = 1;
		flip_colour_block(b);
		if (colr.gamma_on) nv_gamma_correct(b);
	}
	return flag;
}

int nv_flip_blocks_dxtc3(DXTColBlock* row, int count, int flag)
{
	unsigned char* p = reinterpret_cast<unsigned char*>(row);
	for (int i = 0; i < count; ++i, p += 16) {
		DXT3AlphaBlock* a = reinterpret_cast<DXT3AlphaBlock*>(p);
		std::swap(a->row[0], a->row[3]);
		std::swap(a->row[1], a->row[2]);
		DXTColBlock* b = reinterpret_cast<DXTColBlock*>(p + 8);
		flip_colour_block(b);
		if (colr.gamma_on) nv_gamma_correct(b);
	}
	return flag;
}

void nv_flip_dxt5_alpha(DXT5AlphaBlock* block)
{
	unsigned char* bits = block->row;
	const unsigned lo = bits[0] | (bits[1] << 8) | (bits[2] << 16);
	const unsigned hi = bits[3] | (bits[4] << 8) | (bits[5] << 16);
	const unsigned r[4] = {lo & 0xFFF, lo >> 12, hi & 0xFFF, hi >> 12};
	const unsigned nlo = r[3] | (r[2] << 12), nhi = r[1] | (r[0] << 12);
	bits[0] = nlo & 0xFF;
	bits[1] = (nlo >> 8) & 0xFF;
	bits[2] = (nlo >> 16) & 0xFF;
	bits[3] = nhi & 0xFF;
	bits[4] = (nhi >> 8) & 0xFF;
	bits[5] = (nhi >> 16) & 0xFF;
}

int nv_flip_blocks_dxtc5(DXTColBlock* row, int count, int flag)
{
	unsigned char* p = reinterpret_cast<unsigned char*>(row);
	for (int i = 0; i < count; ++i, p += 16) {
		nv_flip_dxt5_alpha(reinterpret_cast<DXT5AlphaBlock*>(p));
		DXTColBlock* b = reinterpret_cast<DXTColBlock*>(p + 8);
		flip_colour_block(b);
		if (colr.gamma_on) nv_gamma_correct(b);
	}
	return flag;
}

int TEX_flip_y(const TEX_image_desc& desc, unsigned char* pixels)
{
	const unsigned f = desc.format;
	const bool plain = f == GL_ALPHA || f == GL_RGB || f == GL_RGBA || f == GL_BGR || f == GL_BGRA;
	if (!plain && !TEX_is_dxt(f)) {
		__MACIBM_alert(0, "Illegal format!", "", "", "", alert_fatal, utils_src, __LINE__);
		return 0;
	}
	int result = 0;
	int w = desc.width, h = desc.height;
	if (w < 1 || h < 1 || !pixels) return 0;
	unsigned char* level = pixels;
	for (;;) {
		const long long bytes = level_bytes(f, w, h, desc.row_padding);
		if (plain) {
			const size_t row = (size_t)(bytes / h);
			std::vector<unsigned char> tmp(row);
			for (int k = 0; k < h / 2; ++k) {
				unsigned char* a = level + k * row;
				unsigned char* b = level + (size_t)(h - 1 - k) * row;
				std::memcpy(tmp.data(), a, row);
				std::memcpy(a, b, row);
				std::memcpy(b, tmp.data(), row);
			}
		} else if (h >= 8) {
			const int bsize = (f == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT || f == GL_COMPRESSED_RGBA_S3TC_DXT5_EXT) ? 16 : 8;
			// Partial blocks at the right edge are still blocks of the row.
			const int per_row = (w + 3) / 4, rows = h / 4;
			const size_t row_bytes = (size_t)per_row * bsize;
			std::vector<unsigned char> tmp(row_bytes);
			for (int k = 0; k < rows / 2; ++k) {
				unsigned char* a = level + k * row_bytes;
				unsigned char* b = level + (size_t)(rows - 1 - k) * row_bytes;
				for (unsigned char* r : {a, b}) {
					DXTColBlock* blocks = reinterpret_cast<DXTColBlock*>(r);
					if (bsize == 8) result |= nv_flip_blocks_dxtc1(blocks, per_row, 0);
					else if (f == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT) nv_flip_blocks_dxtc3(blocks, per_row, 0);
					else nv_flip_blocks_dxtc5(blocks, per_row, 0);
				}
				std::memcpy(tmp.data(), a, row_bytes);
				std::memcpy(a, b, row_bytes);
				std::memcpy(b, tmp.data(), row_bytes);
			}
		}
		if (!desc.has_mipmaps || (w == 1 && h == 1)) break;
		level += bytes;
		w = std::max(1, w / 2);
		h = std::max(1, h / 2);
	}
	return result;
}

int TEX_load_any(const std::string& path, unsigned char*& pixels, unsigned long format, int row_width, int pow2,
                 TEX_image_desc& desc)
{
	xmap_class file(path);
	if (!file.begin || file.end - file.begin <= 7) return 0;
	if (file.begin[0] == 'B' && file.begin[1] == 'M')
		return TEX_load_bmp(path, &file, pixels, format, row_width, pow2, desc);
	if (png_sig_cmp(reinterpret_cast<png_const_bytep>(file.begin), 0, 8) == 0)
		return TEX_load_png(path, &file, pixels, format, row_width, pow2, 0, desc);
	return 0;
}

int TEX_load_any_ext(const std::string& path, unsigned char*& pixels, unsigned long format, int row_width, int pow2,
                     TEX_image_desc& desc)
{
	const std::string stem = has_extension_at_4(path) ? path.substr(0, path.size() - 4) : path;
	if (TEX_load_any(stem + ".png", pixels, format, row_width, pow2, desc)) return 1;
	return TEX_load_any(stem + ".bmp", pixels, format, row_width, pow2, desc);
}
