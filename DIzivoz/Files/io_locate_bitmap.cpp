#include "DIzivoz/Files/io_locate_bitmap.h"

#include <cstdlib>

#if __has_include("DIzivoz/TEX/TEX_utils.h")
#include "DIzivoz/TEX/TEX_utils.h"
#define DSF_HAVE_IMAGE_LOADER 1
#endif

bool DSF_region_bitmaps_supported()
{
#ifdef DSF_HAVE_IMAGE_LOADER
	return true;
#else
	return false;
#endif
}

int DSF_load_region_bitmap(const std::string& path, unsigned char*& pixels, int& width, int& height)
{
	pixels = nullptr;
	width = height = 0;
#ifdef DSF_HAVE_IMAGE_LOADER
	TEX_image_desc desc;
	if (!TEX_load_any_ext(path, pixels, 6406 /* alpha: one byte per pixel */, 0, 0, desc)) return 0;
	width = desc.width;
	height = desc.height;
	return 1;
#else
	(void)path;
	return 0;
#endif
}

void DSF_free_region_bitmap(unsigned char* pixels) { std::free(pixels); }
