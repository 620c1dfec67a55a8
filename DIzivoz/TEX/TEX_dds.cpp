// DDS reading (no copy: the pixels stay in the mapping) and writing, and the
// S3TC helpers over libsquish.
#include "DIzivoz/TEX/TEX_dds.h"

#include <squish.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/OOPS_cpp/xmap.h"

namespace {
const char* const dds_src = "DIzivoz/TEX/TEX_dds";
const int dds_header_bytes = 128;

unsigned read32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((unsigned)p[3] << 24); }

void put32(unsigned char* p, unsigned v)
{
	p[0] = v & 0xFF;
	p[1] = (v >> 8) & 0xFF;
	p[2] = (v >> 16) & 0xFF;
	p[3] = (v >> 24) & 0xFF;
}

int squish_format(unsigned format)
{
	switch (format) {
	case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT: return squish::kDxt3;
	case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: return squish::kDxt5;
	default: return squish::kDxt1;
	}
}

int squish_fit(TEX_s3tc_quality q)
{
	switch (q) {
	case s3tc_range_fit: return squish::kColourRangeFit;
	case s3tc_cluster_fit: return squish::kColourClusterFit;
	default: return squish::kColourIterativeClusterFit;
	}
}
}  // namespace

int TEX_load_dds(const std::string&, xmap_class* file, unsigned char*& pixels, TEX_image_desc& desc)
{
	if (!file || !file->begin) return 0;
	const unsigned char* p = reinterpret_cast<const unsigned char*>(file->begin);
	const long long size = file->end - file->begin;
	if (size < dds_header_bytes || std::memcmp(p, "DDS ", 4) != 0) return 0;
	const unsigned flags = read32(p + 8);
	const unsigned height = read32(p + 12), width = read32(p + 16);
	const unsigned pf_flags = read32(p + 80);
	const unsigned caps = read32(p + 108);
	unsigned format = 0;
	if (pf_flags & 0x4) {
		if (!std::memcmp(p + 84, "DXT1", 4)) format = GL_COMPRESSED_RGB_S3TC_DXT1_EXT;
		else if (!std::memcmp(p + 84, "DXT3", 4)) format = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
		else if (!std::memcmp(p + 84, "DXT5", 4)) format = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
		else return 0;
	}
	if (pf_flags & 0x40) format = (pf_flags & 0x1) ? GL_BGRA : GL_BGR;
	if (!format) return 0;
	// Sizes whose byte counts could not be held are not images we read.
	if (width < 1 || height < 1 || width > 32768 || height > 32768) return 0;
	TEX_image_desc d;
	d.format = format;
	d.width = (int)width;
	d.height = (int)height;
	d.row_padding = 0;
	d.has_mipmaps = ((flags & 0x20000) && (caps & 0x400000)) ? 1 : 0;
	// The file must hold every level its header promises.
	const long long need = TEX_bytes_needed_for_image(d);
	if (need <= 0 || need > size - dds_header_bytes) return 0;
	desc = d;
	pixels = const_cast<unsigned char*>(p + dds_header_bytes);
	return 1;
}

int TEX_save_dds(const std::string& name, const unsigned char* pixels, const TEX_image_desc& in_desc)
{
	if (in_desc.format != GL_RGBA && in_desc.format != GL_RGB) {
		__MACIBM_alert(0, "rel_assert Error! Possibly an out of range vector! Attach the debugger and see who called this!",
		               "in_desc.format == GL_RGBA || in_desc.format == GL_RGB", "TEX_save_dds",
		               "Please report this to Tarnwick.", alert_fatal, dds_src, __LINE__);
		return 0;
	}
	const int w0 = in_desc.width, h0 = in_desc.height;
	if (!pixels || w0 < 1 || h0 < 1) return 0;
	FILE* fp = std::fopen(name.c_str(), "wb");
	if (!fp) return 0;
	const int sq = in_desc.format == GL_RGB ? squish::kDxt1 : squish::kDxt5;
	int levels = 1;
	for (int w = w0, h = h0; w > 1 || h > 1; ++levels) {
		if (w > 1) w /= 2;
		if (h > 1) h /= 2;
	}

	// DDS rows run top-down.
	const int bpp = in_desc.format == GL_RGB ? 3 : 4;
	const size_t stride = (size_t)w0 * bpp + in_desc.row_padding;
	std::vector<unsigned char> work((size_t)w0 * h0 * 4);
	for (int y = 0; y < h0; ++y) {
		const unsigned char* s = pixels + (size_t)(h0 - 1 - y) * stride;
		unsigned char* d = work.data() + (size_t)y * w0 * 4;
		for (int x = 0; x < w0; ++x, s += bpp, d += 4) {
			d[0] = s[0];
			d[1] = s[1];
			d[2] = s[2];
			d[3] = bpp == 4 ? s[3] : 255;
		}
	}

	unsigned char header[dds_header_bytes] = {};
	std::memcpy(header, "DDS ", 4);
	put32(header + 4, 124);
	put32(header + 8, 0xA1007);
	put32(header + 12, (unsigned)h0);
	put32(header + 16, (unsigned)w0);
	put32(header + 20, (unsigned)squish::GetStorageRequirements(w0, h0, sq));
	put32(header + 28, (unsigned)levels);
	put32(header + 76, 32);
	put32(header + 80, 0x4);
	std::memcpy(header + 84, sq == squish::kDxt1 ? "DXT1" : "DXT5", 4);
	put32(header + 108, 0x401008);
	bool ok = std::fwrite(header, 1, sizeof(header), fp) == sizeof(header);

	std::vector<unsigned char> blocks((size_t)squish::GetStorageRequirements(w0, h0, sq));
	int w = w0, h = h0;
	for (int level = 0; ok; ++level) {
		const int bytes = squish::GetStorageRequirements(w, h, sq);
		squish::CompressImage(work.data(), w, h, blocks.data(), sq | squish::kColourIterativeClusterFit);
		ok = std::fwrite(blocks.data(), 1, (size_t)bytes, fp) == (size_t)bytes;
		if (w == 1 && h == 1) break;
		// Halve the working image in place.
		unsigned char* img = work.data();
		const int nw = w > 1 ? w / 2 : 1, nh = h > 1 ? h / 2 : 1;
		for (int y = 0; y < nh; ++y)
			for (int x = 0; x < nw; ++x)
				for (int c = 0; c < 4; ++c) {
					unsigned v;
					if (w > 1 && h > 1)
						v = (img[((2 * y) * w + 2 * x) * 4 + c] + img[((2 * y) * w + 2 * x + 1) * 4 + c] +
						     img[((2 * y + 1) * w + 2 * x) * 4 + c] + img[((2 * y + 1) * w + 2 * x + 1) * 4 + c]) >> 2;
					else if (w == 1)
						v = (img[(2 * y) * 4 + c] + img[(2 * y + 1) * 4 + c]) >> 1;
					else
						v = (img[(2 * x) * 4 + c] + img[(2 * x + 1) * 4 + c]) >> 1;
					img[(y * nw + x) * 4 + c] = (unsigned char)v;
				}
		w = nw;
		h = nh;
	}
	// A full disk often shows only when the buffered bytes are flushed.
	if (std::fflush(fp) != 0 || std::ferror(fp)) ok = false;
	if (std::fclose(fp) != 0) ok = false;
	return ok ? 1 : 0;
}

void TEX_encode_s3tc(const TEX_image_desc& src_desc, const TEX_image_desc& dst_desc, const unsigned char* rgba,
                     unsigned char* blocks, TEX_s3tc_quality quality)
{
	squish::CompressImage(rgba, src_desc.width, src_desc.height, blocks,
	                      squish_format(dst_desc.format) | squish_fit(quality));
}

void TEX_decode_s3tc(const TEX_image_desc& src_desc, const TEX_image_desc&, const unsigned char* blocks,
                     unsigned char* rgba)
{
	squish::DecompressImage(rgba, src_desc.width, src_desc.height, blocks, squish_format(src_desc.format));
}
