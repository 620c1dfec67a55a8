// PNG reading and writing through libpng. libpng reports errors by jumping
// back to the setjmp of the operation, so no C++ object with a destructor
// lives in the frames it jumps over.
#include "DIzivoz/TEX/TEX_png.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_shared.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/xmap.h"

std::string ping_path;

namespace {
const char* const png_src = "DIzivoz/TEX/TEX_png";
xmap_class* g_read_file = nullptr;  // the mapping my_readbuf reads from

void ping_fatal(const char* what, const std::string& name)
{
	__MACIBM_alert(0, "PING-FILE ERROR!", what, name, "", alert_fatal, png_src, __LINE__);
}
}  // namespace

void my_error(png_structp png_ptr, png_const_charp message)
{
	// We are inside libpng's C frames: nothing may unwind through them, not
	// even an alert sink that throws.
	try {
		__MACIBM_alert(0, "PNG error!", message ? message : "", ping_path, "", alert_warning, png_src, __LINE__);
	} catch (...) {
	}
	png_longjmp(png_ptr, 1);
}

void my_warning(png_structp, png_const_charp message)
{
	try {
		xer << "PNG warning! " << (message ? message : "") << ", " << ping_path << "\n";
	} catch (...) {
	}
}

png_voidp my_malloc(png_structp, png_alloc_size_t size) { return std::malloc(size ? size : 1); }

void my_free(png_structp, png_voidp ptr) { std::free(ptr); }

void my_readbuf(png_structp png_ptr, png_bytep data, png_size_t length)
{
	xmap_class* f = g_read_file;
	if (!f || !f->cursor || (size_t)(f->end - f->cursor) < length) {
		png_error(png_ptr, "PNG Read Error, overran end of buffer!");
		return;
	}
	std::memcpy(data, f->cursor, length);
	f->cursor += length;
}

int TEX_load_png(const std::string& name, xmap_class* file, unsigned char*& pixels, unsigned long format,
                 int row_width, int pow2, int file_alpha, TEX_image_desc& desc)
{
	ping_path = name;
	png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, my_error, my_warning, nullptr,
	                                           my_malloc, my_free);
	if (!png) {
		ping_fatal("!png_ptr", name);
		return 0;
	}
	png_infop info = png_create_info_struct(png);
	if (!info) {
		png_destroy_read_struct(&png, nullptr, nullptr);
		ping_fatal("!info_ptr", name);
		return 0;
	}
	if (!file || !file->begin || file->end - file->begin <= 7) {
		png_destroy_read_struct(&png, &info, nullptr);
		return 0;
	}
	if (png_sig_cmp(reinterpret_cast<png_const_bytep>(file->begin), 0, 8) != 0) {
		png_destroy_read_struct(&png, &info, nullptr);
		ping_fatal("is_png=!png_sig_cmp(png_io_buf,0,8)", name);
		return 0;
	}

	// Touched between setjmp and a jump back: volatile so they keep their values.
	png_bytep* volatile rows = nullptr;
	unsigned char* volatile owned = nullptr;
	if (setjmp(png_jmpbuf(png))) {
		if (rows) std::free(rows);
		png_destroy_read_struct(&png, &info, nullptr);
		g_read_file = nullptr;
		if (owned) {
			std::free(owned);
			pixels = nullptr;
		}
		ping_fatal("setjmp(png_ptr->jmpbuf", name);
		return 0;
	}
	g_read_file = file;
	file->cursor = file->begin + 8;
	png_set_read_fn(png, nullptr, my_readbuf);
	png_set_sig_bytes(png, 8);
	png_read_info(png, info);

	png_uint_32 width = 0, height = 0;
	int depth = 0, color = 0, interlace = 0;
	png_get_IHDR(png, info, &width, &height, &depth, &color, &interlace, nullptr, nullptr);

	double file_gamma = 0;
	if (!png_get_gAMA(png, info, &file_gamma)) file_gamma = 1.0 / colr.image_gamma;
	png_set_gamma(png, colr.display_gamma, file_gamma);

	const bool has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
	if (color == PNG_COLOR_TYPE_PALETTE && depth <= 8) png_set_expand(png);
	if (color == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand(png);
	if (has_trns) png_set_expand(png);
	if (depth == 16) png_set_strip_16(png);
	if (depth < 8) png_set_packing(png);

	// A tRNS chunk becomes an alpha channel, so such a file has alpha.
	const bool alpha = (color & PNG_COLOR_MASK_ALPHA) || has_trns;
	if (file_alpha) {
		if (alpha && format == GL_RGB) format = GL_RGBA;
		if (!alpha && format == GL_RGBA) format = GL_RGB;
	}
	if (format == GL_RGBA && !alpha) png_set_filler(png, 255, PNG_FILLER_AFTER);
	if ((format == GL_RGB || format == GL_ALPHA) && alpha) png_set_strip_alpha(png);
	const bool grey = !(color & PNG_COLOR_MASK_COLOR);
	if (grey && format != GL_ALPHA) png_set_gray_to_rgb(png);
	if (!grey && format == GL_ALPHA) png_set_rgb_to_gray(png, 1, -1, -1);

	int bpp = 3;
	if (format == GL_RGB) bpp = 3;
	else if (format == GL_RGBA) bpp = 4;
	else if (format == GL_ALPHA) bpp = 1;
	else {
		__MACIBM_alert(0, "Illegal bits per pixel", "", "", "", alert_fatal, png_src, __LINE__);
		png_destroy_read_struct(&png, &info, nullptr);
		g_read_file = nullptr;
		return 0;
	}
	png_set_interlace_handling(png);
	png_read_update_info(png, info);

	const int w = (int)width, h = (int)height;
	TEX_read_layout lay;
	if (!TEX_layout_for_read(w, h, bpp, row_width, pow2, lay) || png_get_rowbytes(png, info) != (size_t)w * bpp) {
		png_destroy_read_struct(&png, &info, nullptr);
		g_read_file = nullptr;
		return 0;
	}
	const size_t stride = lay.stride;
	if (!pixels) {
		owned = static_cast<unsigned char*>(std::malloc(lay.total));
		if (!owned) png_error(png, "out of memory for the picture");
		pixels = owned;
	}
	if (lay.clear) std::memset(pixels, 0, lay.total);

	rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * h));
	if (!rows) png_error(png, "out of memory for rows");
	for (int i = 0; i < h; ++i) rows[i] = pixels + (size_t)(h - 1 - i) * stride;
	png_read_image(png, rows);
	std::free(rows);
	rows = nullptr;
	png_destroy_read_struct(&png, &info, nullptr);
	g_read_file = nullptr;

	lay.describe(desc, (unsigned)format, w, h);
	return 1;
}

int TEX_save_png(const std::string& name, const TEX_image_desc& desc, const unsigned char* pixels)
{
	int bpp = 1;
	int color = PNG_COLOR_TYPE_GRAY;
	if (desc.format == GL_RGB) {
		bpp = 3;
		color = PNG_COLOR_TYPE_RGB;
	} else if (desc.format == GL_RGBA) {
		bpp = 4;
		color = PNG_COLOR_TYPE_RGB_ALPHA;
	} else if (desc.format != GL_ALPHA) {
		__MACIBM_alert(0, "Illegal pixel format for png-write.", name, "", "", alert_fatal, png_src, __LINE__);
		return 0;
	}
	if (!pixels || desc.width < 1 || desc.height < 1) return 0;
	ping_path = name;
	FILE* volatile fp = std::fopen(name.c_str(), "wb");
	if (!fp) return 0;
	png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, my_error, my_warning);
	png_infop info = png ? png_create_info_struct(png) : nullptr;
	if (!png || !info) {
		png_destroy_write_struct(&png, &info);
		std::fclose(fp);
		return 0;
	}
	png_bytep* volatile rows = nullptr;
	if (setjmp(png_jmpbuf(png))) {
		if (rows) std::free(rows);
		png_destroy_write_struct(&png, &info);
		std::fclose(fp);
		return 0;
	}
	png_init_io(png, fp);
	png_set_filter(png, 0, PNG_FILTER_NONE);
	png_set_compression_level(png, 9);
	png_set_compression_mem_level(png, 8);
	png_set_compression_strategy(png, 0);
	png_set_compression_window_bits(png, 15);
	png_set_compression_method(png, 8);
	png_set_compression_buffer_size(png, 8192);
	png_set_gAMA(png, info, 1.0 / 1.8);
	png_set_IHDR(png, info, desc.width, desc.height, 8, color, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
	             PNG_FILTER_TYPE_DEFAULT);
	const size_t stride = (size_t)desc.width * bpp + desc.row_padding;
	rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * desc.height));
	if (!rows) png_error(png, "out of memory for rows");
	for (int i = 0; i < desc.height; ++i)
		rows[i] = const_cast<png_bytep>(pixels + (size_t)(desc.height - 1 - i) * stride);
	png_write_info(png, info);
	png_write_image(png, rows);
	png_write_end(png, info);
	std::free(rows);
	rows = nullptr;
	png_destroy_write_struct(&png, &info);
	// A full disk often shows only when the buffered bytes are flushed.
	const bool failed = std::fflush(fp) != 0 || std::ferror(fp);
	if (std::fclose(fp) != 0 || failed) return 0;
	return 1;
}

int write_png_to_disk(std::string name, int width, int height, int channels)
{
	TEX_image_desc desc;
	desc.format = channels == 4 ? GL_RGBA : GL_RGB;
	desc.width = width;
	desc.height = height;
	return TEX_save_png(name, desc, scratch_array);
}
