#pragma once
// Images in memory: the descriptor, sizes, in-place scaling, keying,
// compositing, vertical flips (plain and S3TC blocks) and the generic loaders.
#include <cstddef>
#include <string>

#include "DIzivoz/OGL/OGL_gl.h"

// Rows run bottom-up; each row is width x bytes per pixel followed by
// row_padding bytes; mipmap levels follow each other with the same padding.
struct TEX_image_desc {
	unsigned format = 0;  // an OpenGL format constant, the S3TC ones included
	int width = 0;
	int height = 0;
	int row_padding = 0;
	int has_mipmaps = 0;  // the whole chain down to 1 x 1 follows level 0
};

// Standard S3TC block layouts.
struct DXTColBlock {
	unsigned short col0;
	unsigned short col1;
	unsigned char row[4];  // 2-bit indices, one byte per texel row
};
struct DXT3AlphaBlock {
	unsigned short row[4];  // 4-bit alphas
};
struct DXT5AlphaBlock {
	unsigned char alpha0;
	unsigned char alpha1;
	unsigned char row[6];  // sixteen 3-bit indices, rows of 12 bits
};

inline bool TEX_is_dxt(unsigned format)
{
	return format == GL_COMPRESSED_RGB_S3TC_DXT1_EXT || format == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT ||
	       format == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT || format == GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
}

// 64-bit: a header may declare sizes whose chain passes 4 GiB.
long long TEX_bytes_needed_for_image(const TEX_image_desc& desc);
void TEX_downscale(TEX_image_desc& desc, unsigned char* pixels, int fx, int fy);
void TEX_chroma_key(const TEX_image_desc& desc, unsigned char* pixels, unsigned char* key_rgb, int threshold);
void TEX_composite(const TEX_image_desc& src_desc, const TEX_image_desc& dst_desc, unsigned char* src,
                   unsigned char* dst, float x1, float y1, float x2, float y2);
int TEX_flip_y(const TEX_image_desc& desc, unsigned char* pixels);

// 1 when the file was read as BMP or PNG. pixels null: the reader allocates
// with malloc and the caller frees the buffer.
int TEX_load_any(const std::string& path, unsigned char*& pixels, unsigned long format, int row_width, int pow2,
                 TEX_image_desc& desc);
// The stem with ".png", then with ".bmp".
int TEX_load_any_ext(const std::string& path, unsigned char*& pixels, unsigned long format, int row_width,
                     int pow2, TEX_image_desc& desc);

int nv_flip_blocks_dxtc1(DXTColBlock* row, int count, int flag);
int nv_flip_blocks_dxtc3(DXTColBlock* row, int count, int flag);
int nv_flip_blocks_dxtc5(DXTColBlock* row, int count, int flag);
void nv_flip_dxt5_alpha(DXT5AlphaBlock* block);
void nv_gamma_correct(DXTColBlock* block);
int DecColor565(unsigned short& c);
int IncColor565(unsigned short& c);

// Smallest power of two not below n (1 for n up to 1).
int TEX_next_pow2(int n);

// Where the BMP and PNG readers put a picture's rows: each row width x bpp
// bytes, padded to the next power of two (pow2) or to row_width pixels,
// rows for the whole texture height. False for a size the readers refuse:
// empty, a texture side above 2048, or row_width narrower than the picture.
struct TEX_read_layout {
	int padding = 0;     // bytes after each row
	size_t stride = 0;   // bytes per row
	size_t total = 0;    // bytes of the buffer
	bool clear = false;  // padding or rows beyond the picture: zero the buffer first
	// The descriptor of a picture read this way (no mipmaps).
	void describe(TEX_image_desc& desc, unsigned format, int width, int height) const
	{
		desc.format = format;
		desc.width = width;
		desc.height = height;
		desc.row_padding = padding;
		desc.has_mipmaps = 0;
	}
};
bool TEX_layout_for_read(int width, int height, int bpp, int row_width, int pow2, TEX_read_layout& out);
