#pragma once
// Text from two TrueType fonts: glyphs are rendered once by FreeType into one
// 8-bit coverage atlas per font (1024 wide, growing downward in powers of
// two), uploaded as an alpha texture and drawn as one quad per glyph.
// Main thread only.
#include <memory>
#include <string>
#include <vector>
#include <unordered_map>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "DIzivoz/OOPS_cpp/oglp.h"

class UTL_stat;

struct OGL_char_info {
	int x0, y0;      // atlas column and row of the glyph's top-left bitmap pixel
	int x1, y1;      // x0 + bitmap width, y0 + bitmap rows
	float left;      // pen to bitmap left edge
	float bottom;    // baseline to bitmap bottom edge (negative below)
	float advance;   // pen advance
	int error;       // FreeType error of a glyph that failed to load, else 0
};

class OGL_font_info {
public:
	explicit OGL_font_info(int tex_ref);
	~OGL_font_info();
	OGL_font_info(const OGL_font_info&) = delete;
	OGL_font_info& operator=(const OGL_font_info&) = delete;

	// Loads the face and empties the atlas.
	void clear(const std::string& path, float size);
	// Puts the glyph into cache and atlas; its advance (0 for a failed glyph).
	float require_char(unsigned int code);
	// Uploads the atlas when it changed since the last upload.
	void sync_tex();
	// Emits the glyph's quad inside the caller's GL_QUADS; its advance.
	float draw_char(unsigned int code, float x, float y);

	// Cached entry of a code point, null when never asked for.
	const OGL_char_info* find(unsigned int code) const;

	int tex_ref;
	int atlas_rows;
	int dirty;
	int shelf_x;
	int shelf_top;
	int shelf_height;
	float line_height;
	float descent;
	float ascent;
	std::unordered_map<unsigned int, OGL_char_info> chars;
	std::unique_ptr<unsigned char[]> pixels;  // atlas_rows x 1024
	FT_Face face;
};

enum { font_atlas_width = 1024 };

// Fonts by charset, null until first used; never destroyed.
extern OGL_font_info* sFont[2];
extern const char* const fnames[2];
extern const float fsizes[2];
// "font/tex_mem": atlas rows of both fonts (1 KB each).
extern UTL_stat g_font_tex_mem;

// The font of a charset (0 or 1), made and loaded on first use.
OGL_font_info* OGL_font_get(charset_t charset);

float OGL_font_string(int colour, float x, float y, const std::string& text, float width,
                      charset_t charset, int align, int fixed_advance);
// Whoever watches the text drawn (the layout check while it records): text()
// at each drawing call, giving the group its lines share, then line() for
// every line drawn, its box in GUI units of the current sub-window.
struct OGL_text_watch {
	int (*text)();
	void (*line)(int group, float x0, float y0, float x1, float y1, const std::string& line);
};
// Null: nobody watches.
void OGL_font_watch(const OGL_text_watch* watch);
// Lines the text takes when drawn with this wrapping width (0 or 9999: no
// wrapping, one line per line end); 0 for empty text.
int OGL_wrap_lines(const std::string& text, float width, charset_t charset);
// The lines themselves, as drawing breaks them.
std::vector<std::string> OGL_wrap_split(const std::string& text, float width, charset_t charset);
// Distance between the baselines of wrapped lines: the face's line height.
float OGL_line_step(charset_t charset);
float OGL_measure_string(const std::string& text, charset_t charset);
float OGL_measure_range(const unsigned char* begin, const unsigned char* end, charset_t charset);
float OGL_measure_char(unsigned int code, charset_t charset);
const unsigned char* OGL_fit_forward(const unsigned char* begin, const unsigned char* end,
                                     float width, charset_t charset);
const unsigned char* OGL_fit_reverse(const unsigned char* begin, const unsigned char* end,
                                     float width, charset_t charset);
// Reloads charset 0 or 1, or both with 2, and empties its atlas.
void OGL_font_reset(charset_t charset);

// UTF-8 as the text layer reads it. A sequence cut short by `end` decodes to 0.
unsigned int OGL_utf8_decode(const unsigned char* p, const unsigned char* end);
// Next character: back over continuation bytes (never before `begin`) to the
// lead byte, then past it and every continuation byte (never past `end`).
const unsigned char* OGL_utf8_next(const unsigned char* p, const unsigned char* begin,
                                   const unsigned char* end);
// Previous character: one back, then back over continuation bytes; never
// before `begin`.
const unsigned char* OGL_utf8_prev(const unsigned char* p, const unsigned char* begin);
