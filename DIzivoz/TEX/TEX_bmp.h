#pragma once
// Uncompressed 24-bit BMP reading into the in-memory image layout.
#include <string>

#include "DIzivoz/TEX/TEX_utils.h"

class xmap_class;

// pixels null: the reader allocates with malloc; the caller frees it.
// format: GL_RGB, GL_RGBA (magenta becomes transparent black) or GL_ALPHA.
int TEX_load_bmp(const std::string& name, xmap_class* file, unsigned char*& pixels, unsigned long format,
                 int row_width, int pow2, TEX_image_desc& desc);
