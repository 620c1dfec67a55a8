#pragma once
// DDS files (DXT1/3/5 and uncompressed BGR/BGRA) and S3TC through libsquish.
#include <string>

#include "DIzivoz/TEX/TEX_utils.h"

class xmap_class;

enum TEX_s3tc_quality {
	s3tc_range_fit = 0,            // fastest
	s3tc_cluster_fit = 1,
	s3tc_iterative_cluster_fit = 2  // best
};

// pixels points into the mapping at offset 128 (valid while it is open).
int TEX_load_dds(const std::string& name, xmap_class* file, unsigned char*& pixels, TEX_image_desc& desc);
// GL_RGB becomes DXT1, GL_RGBA DXT5, with the full mipmap chain.
int TEX_save_dds(const std::string& name, const unsigned char* pixels, const TEX_image_desc& desc);
void TEX_encode_s3tc(const TEX_image_desc& src_desc, const TEX_image_desc& dst_desc, const unsigned char* rgba,
                     unsigned char* blocks, TEX_s3tc_quality quality);
void TEX_decode_s3tc(const TEX_image_desc& src_desc, const TEX_image_desc& dst_desc, const unsigned char* blocks,
                     unsigned char* rgba);
