#include "DIzivoz/Files/io_locate_bitmap.h"

#include <cstdlib>

#include "DIzivoz/TEX/TEX_utils.h"

int DSF_load_region_bitmap(const std::string& path, unsigned char*& pixels, int& width, int& height)
{
	pixels = nullptr;
	width = height = 0;
	TEX_image_desc desc;
	if (!TEX_load_any_ext(path, pixels, GL_ALPHA /* 6406: one byte per pixel */, 0, 0, desc)) return 0;
	width = desc.width;
	height = desc.height;
	return 1;
}

// The readers allocate with malloc.
void DSF_free_region_bitmap(unsigned char* pixels) { free(pixels); }
