#pragma once
// PNG reading into the in-memory image layout and PNG writing, through libpng.
#include <png.h>

#include <string>

#include "DIzivoz/TEX/TEX_utils.h"

class xmap_class;

// The PNG file being read or written; one PNG operation at a time.
extern std::string ping_path;

// pixels null: the reader allocates with malloc; the caller frees it.
// format: GL_RGB, GL_RGBA or GL_ALPHA. row_width pads each row to that many
// pixels (0: none); pow2 pads rows and height to powers of two and wins.
// file_alpha: the file's own alpha decides between RGB and RGBA.
int TEX_load_png(const std::string& name, xmap_class* file, unsigned char*& pixels, unsigned long format,
                 int row_width, int pow2, int file_alpha, TEX_image_desc& desc);
// 1 when the whole file was written and closed.
int TEX_save_png(const std::string& name, const TEX_image_desc& desc, const unsigned char* pixels);
// Writes the image in scratch_array (4 channels: RGBA, else RGB).
int write_png_to_disk(std::string name, int width, int height, int channels);

void my_error(png_structp png_ptr, png_const_charp message);
void my_warning(png_structp png_ptr, png_const_charp message);
png_voidp my_malloc(png_structp png_ptr, png_alloc_size_t size);
void my_free(png_structp png_ptr, png_voidp ptr);
void my_readbuf(png_structp png_ptr, png_bytep data, png_size_t length);
