#pragma once
// The one place the scenery library reads a region bitmap: through the image
// loader, one byte per pixel, rows bottom-up with no padding.
#include <string>

// Nonzero when path (its extension replaced by ".png", then ".bmp") loaded;
// pixels then points at width * height bytes the caller frees with
// DSF_free_region_bitmap (also safe on null).
int DSF_load_region_bitmap(const std::string& path, unsigned char*& pixels, int& width, int& height);
void DSF_free_region_bitmap(unsigned char* pixels);
