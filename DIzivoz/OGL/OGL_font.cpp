#include "DIzivoz/OGL/OGL_font.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_shared.h"
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/UTL/UTL_stats.h"
#include "DIzivoz/OOPS_cpp/tman.h"

static const char* const font_unit = "DIzivoz/OGL/OGL_font";

OGL_font_info* sFont[2] = {nullptr, nullptr};
const char* const fnames[2] = {"RESOURCE:DejaVuSans.ttf", "RESOURCE:DejaVuSansBold.ttf"};
const float fsizes[2] = {10.5f, 10.5f};
UTL_stat g_font_tex_mem("font/tex_mem", stat_memory, 0.0f);

static FT_Library sLibrary = nullptr;

// ---- UTF-8 ------------------------------------------------------------------

static inline bool is_cont(unsigned char b) { return (b & 0xC0) == 0x80; }

unsigned int OGL_utf8_decode(const unsigned char* p, const unsigned char* end)
{
	if (p >= end) return 0;
	unsigned char b = *p;
	if (b < 0x80) return b;
	int more;
	unsigned int code;
	if ((b & 0xE0) == 0xC0) {
		more = 1;
		code = b & 0x1F;
	} else if ((b & 0xF0) == 0xE0) {
		more = 2;
		code = b & 0x0F;
	} else if ((b & 0xF8) == 0xF0) {
		more = 3;
		code = b & 0x07;
	} else {
		return 0;
	}
	if (end - p <= more) return 0;  // cut short: never read past the end
	for (int i = 1; i <= more; ++i) code = (code << 6) | (p[i] & 0x3F);
	return code;
}

const unsigned char* OGL_utf8_next(const unsigned char* p, const unsigned char* begin,
                                   const unsigned char* end)
{
	while (p > begin && p < end && is_cont(*p)) --p;
	if (p < end) ++p;
	while (p < end && is_cont(*p)) ++p;
	return p;
}

const unsigned char* OGL_utf8_prev(const unsigned char* p, const unsigned char* begin)
{
	if (p <= begin) return begin;
	--p;
	while (p > begin && is_cont(*p)) --p;
	return p;
}

// ---- font object --------------------------------------------------------------

OGL_font_info::OGL_font_info(int in_tex_ref)
	: tex_ref(in_tex_ref),
	  atlas_rows(0),
	  dirty(0),
	  shelf_x(0),
	  shelf_top(0),
	  shelf_height(0),
	  line_height(0),
	  descent(0),
	  ascent(0),
	  face(nullptr)
{
}

OGL_font_info::~OGL_font_info()
{
	if (face) FT_Done_Face(face);
}

const OGL_char_info* OGL_font_info::find(unsigned int code) const
{
	auto it = chars.find(code);
	return it == chars.end() ? nullptr : &it->second;
}

void OGL_font_info::clear(const std::string& path, float size)
{
	if (!sLibrary && FT_Init_FreeType(&sLibrary) != 0) {
		sLibrary = nullptr;
		__MACIBM_alert(0, "Unable to initialize freetype.", "", "", "", alert_fatal, font_unit, 126);
		return;
	}

	g_font_tex_mem.value -= (float)atlas_rows;
	atlas_rows = 0;
	dirty = 0;
	chars.clear();
	pixels.reset();
	if (face) FT_Done_Face(face);
	face = nullptr;
	shelf_x = shelf_top = shelf_height = 0;

	std::string resolved = path;
	if (UTL_path_is_resource(resolved))
		resolved = UTL_resource_get_file(resolved);
	else
		set_path_to_full(resolved);

	FT_Face f = nullptr;
	if (FT_New_Face(sLibrary, resolved.c_str(), 0, &f) != 0) {
		__MACIBM_alert(0, "Error: unable to make font from file", path, "", "", alert_fatal, font_unit,
		               164);
		return;
	}
	face = f;
	if (FT_Set_Char_Size(face, 0, (FT_F26Dot6)(size * 64.0f), 72, 72) != 0) {
		__MACIBM_alert(0, "Error: unable to set char size for font", path, "", "", alert_fatal,
		               font_unit, 168);
		return;
	}
	float em = (float)face->units_per_EM;
	if (em <= 0) em = 1;
	line_height = (float)face->height * size / em;
	descent = -(float)face->descender * size / em;
	ascent = (float)face->ascender * size / em;
}

float OGL_font_info::require_char(unsigned int code)
{
	auto found = chars.find(code);
	if (found != chars.end()) return found->second.advance;

	// A font whose face failed to load (its fatal alert returned to a test)
	// gives failed glyphs rather than touching a null face.
	FT_Error err = face ? FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT)
	                    : (FT_Error)FT_Err_Invalid_Face_Handle;
	if (err != 0) {
		OGL_char_info bad{};
		bad.error = err;
		chars.emplace(code, bad);
		return 0;
	}
	FT_GlyphSlot g = face->glyph;
	int w = (int)(g->metrics.width >> 6);
	int h = (int)(g->metrics.height >> 6);
	// The atlas is one width; a wider glyph keeps its left part.
	w = std::clamp(w, 0, (int)font_atlas_width);
	h = std::max(h, 0);

	if (shelf_x + w > font_atlas_width) {
		shelf_top += shelf_height;
		shelf_x = 0;
		shelf_height = 0;
	}
	shelf_height = std::max(shelf_height, h);

	if (shelf_top + shelf_height > atlas_rows) {
		int n = atlas_rows + shelf_height;
		int rows = 1;
		while (rows < n) rows *= 2;
		std::unique_ptr<unsigned char[]> grown(new unsigned char[(size_t)rows * font_atlas_width]);
		size_t old_bytes = (size_t)atlas_rows * font_atlas_width;
		if (old_bytes) memcpy(grown.get(), pixels.get(), old_bytes);
		memset(grown.get() + old_bytes, 0, (size_t)rows * font_atlas_width - old_bytes);
		pixels = std::move(grown);
		g_font_tex_mem.value += (float)(rows - atlas_rows);
		atlas_rows = rows;
	}

	OGL_char_info ci;
	ci.x0 = shelf_x;
	ci.y0 = shelf_top;
	ci.x1 = shelf_x + w;
	ci.y1 = shelf_top + h;
	ci.left = (float)g->metrics.horiBearingX / 64.0f;
	ci.bottom = (float)(g->metrics.horiBearingY - g->metrics.height) / 64.0f;
	ci.advance = (float)g->metrics.horiAdvance / 64.0f;
	ci.error = 0;
	chars.emplace(code, ci);

	// Copy by the bitmap's own size and pitch: where it differs from the
	// metrics the rectangle keeps zeros rather than another glyph's pixels.
	const FT_Bitmap& bm = g->bitmap;
	int cw = std::min(w, (int)bm.width);
	int ch = std::min(h, (int)bm.rows);
	for (int r = 0; r < ch; ++r) {
		const unsigned char* src =
		    bm.pitch >= 0 ? bm.buffer + (size_t)r * bm.pitch
		                  : bm.buffer + (size_t)(bm.rows - 1 - r) * (size_t)(-bm.pitch);
		unsigned char* dst = pixels.get() + (size_t)(shelf_top + r) * font_atlas_width + shelf_x;
		if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
			memcpy(dst, src, (size_t)cw);
		} else if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
			for (int c = 0; c < cw; ++c) dst[c] = (src[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
		}
	}

	dirty = 1;
	shelf_x += w;
	return ci.advance;
}

void OGL_font_info::sync_tex()
{
	if (!dirty) return;
	// An atlas of spaces only has no rows: it stays dirty until it has some,
	// since the texture manager refuses a height of 0.
	if (atlas_rows == 0) return;
	dirty = 0;
	scratch_dx = font_atlas_width;
	scratch_dy = atlas_rows;
	if (!scratch_array) MACIBM_alloc_scratch();
	size_t bytes = (size_t)atlas_rows * font_atlas_width;
	if (bytes > (size_t)scratch_array_bytes) bytes = (size_t)scratch_array_bytes;
	memcpy(scratch_array, pixels.get(), bytes);
	tman.load_texture(tex_fail_fatal, tex_ref, 0x503, tex_loaded, "scratch_array-fonts");
}

float OGL_font_info::draw_char(unsigned int code, float x, float y)
{
	auto it = chars.find(code);
	if (it == chars.end() || it->second.error) return 0;
	const OGL_char_info& c = it->second;
	float H = (float)atlas_rows;
	float s0 = (float)c.x0 / (float)font_atlas_width, s1 = (float)c.x1 / (float)font_atlas_width;
	float t0 = (float)c.y0 / H, t1 = (float)c.y1 / H;
	float xl = floorf(x + c.left), yb = floorf(y + c.bottom);
	float xr = xl + (float)(c.x1 - c.x0), yt = yb + (float)(c.y1 - c.y0);
	gl.TexCoord2f(s0, t1);
	gl.Vertex2f(xl, yb);
	gl.TexCoord2f(s0, t0);
	gl.Vertex2f(xl, yt);
	gl.TexCoord2f(s1, t0);
	gl.Vertex2f(xr, yt);
	gl.TexCoord2f(s1, t1);
	gl.Vertex2f(xr, yb);
	return c.advance;
}

// ---- free functions -----------------------------------------------------------

void OGL_font_reset(charset_t charset)
{
	if (charset == 2) {
		OGL_font_reset(0);
		OGL_font_reset(1);
		return;
	}
	if (charset != 0 && charset != 1) return;
	if (!sFont[charset]) return;
	sFont[charset]->clear(fnames[charset], fsizes[charset]);
}

OGL_font_info* OGL_font_get(charset_t charset)
{
	// Callers pass 0 or 1; anything else falls back to the regular font
	// rather than indexing past the table.
	int c = (charset == 1) ? 1 : 0;
	if (!sFont[c]) {
		sFont[c] = new OGL_font_info(393 + c);
		OGL_font_reset(c);
	}
	return sFont[c];
}

float OGL_measure_string(const std::string& text, charset_t charset)
{
	OGL_font_info* f = OGL_font_get(charset);
	if (text.empty()) return 0;
	const unsigned char* b = (const unsigned char*)text.data();
	const unsigned char* e = b + text.size();
	const unsigned char* nul = (const unsigned char*)memchr(b, 0, text.size());
	if (nul) e = nul;
	float w = 0;
	for (const unsigned char* p = b; p < e; p = OGL_utf8_next(p, b, e))
		w += f->require_char(OGL_utf8_decode(p, e));
	return w;
}

float OGL_measure_range(const unsigned char* begin, const unsigned char* end, charset_t charset)
{
	OGL_font_info* f = OGL_font_get(charset);
	if (begin == end) return 0;
	float w = 0;
	for (const unsigned char* p = begin; p < end; p = OGL_utf8_next(p, begin, end))
		w += f->require_char(OGL_utf8_decode(p, end));
	return w;
}

float OGL_measure_char(unsigned int code, charset_t charset)
{
	return OGL_font_get(charset)->require_char(code);
}

const unsigned char* OGL_fit_forward(const unsigned char* begin, const unsigned char* end,
                                     float width, charset_t charset)
{
	OGL_font_info* f = OGL_font_get(charset);
	if (begin == end) return begin;
	float sum = 0;
	for (const unsigned char* p = begin; p < end; p = OGL_utf8_next(p, begin, end)) {
		sum += f->require_char(OGL_utf8_decode(p, end));
		if (sum > width) return p;
	}
	return end;
}

const unsigned char* OGL_fit_reverse(const unsigned char* begin, const unsigned char* end,
                                     float width, charset_t charset)
{
	OGL_font_info* f = OGL_font_get(charset);
	if (begin == end) return begin;
	float sum = 0;
	const unsigned char* p = end;
	while (p > begin) {
		const unsigned char* q = OGL_utf8_prev(p, begin);
		sum += f->require_char(OGL_utf8_decode(q, end));
		if (sum > width) return p;
		p = q;
	}
	return begin;
}

// State, colour, atlas and bind for one line of glyph quads.
static void font_line_begin(OGL_font_info* f, int colour)
{
	f->sync_tex();
	OGL_setstate(1, 1, 3, 5, 9, 11);
	OGL_set_color(colour);
	tman.bind_ref(f->tex_ref, 0, 0);
	gl.Begin(GL_QUADS);
}

float OGL_line_step(charset_t charset) { return roundf(OGL_font_get(charset)->line_height); }

namespace {
bool is_quote_at(const unsigned char* p, const unsigned char* e)
{
	if (*p == '\'' || *p == '"') return true;
	const unsigned int c = OGL_utf8_decode(p, e);
	return c == 0xAB || c == 0xBB || (c >= 0x2018 && c <= 0x201F);
}

// Marks the bytes of the text that lie inside a file path: from a '/' that
// begins a word (after a blank, a quote or an opening parenthesis) up to
// the path's last '/' before a quote, a line end or the end of a sentence.
// Inside a path a line breaks after a '/', never at one of its blanks, so a
// folder name stays whole.
void mark_paths(const unsigned char* b, const unsigned char* e, std::vector<unsigned char>& in_path)
{
	in_path.assign((size_t)(e - b), 0);
	for (const unsigned char* p = b; p < e; ++p) {
		if (*p != '/') continue;
		bool starts = p == b || p[-1] == ' ' || p[-1] == '(' || p[-1] == '\'' || p[-1] == '"';
		if (!starts) {
			const unsigned char* q = OGL_utf8_prev(p, b);
			starts = is_quote_at(q, e);
		}
		if (!starts) continue;
		const unsigned char* last = p;
		const unsigned char* q = p;
		for (; q < e; q = OGL_utf8_next(q, b, e)) {
			if (*q == 10 || *q == 13 || is_quote_at(q, e)) break;
			if (*q == '.' && q + 1 < e && q[1] == ' ') break;
			if (*q == '/') last = q;
		}
		for (const unsigned char* r = p; r <= last; ++r) in_path[(size_t)(r - b)] = 1;
		p = q < e ? q : e - 1;
	}
}

bool is_digit_at(const unsigned char* p) { return *p >= '0' && *p <= '9'; }

bool is_letter(unsigned int c)
{
	return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

// Marks that close a word or sentence and so never begin a line. Straight
// quotes open as often as they close: callers decide.
bool is_closing(unsigned int c)
{
	switch (c) {
	case '.': case ',': case ';': case ':': case '!': case '?': case ')': case ']': case '}':
	case '%': case 0xBB: case 0x2019: case 0x201D: case 0x203A: case 0x2026:
		return true;
	default: return false;
	}
}

// A blank at p where a line may break: not before closing punctuation
// ("chemin »."), not after an opening guillemet, and not between a number
// and the word that follows it ("1024 KB", "5 seconds").
bool may_break_at_space(const unsigned char* b, const unsigned char* e, const unsigned char* p)
{
	if (p + 1 < e && is_closing(OGL_utf8_decode(p + 1, e))) return false;
	if (p > b) {
		const unsigned char* q = OGL_utf8_prev(p, b);
		const unsigned int before = OGL_utf8_decode(q, e);
		if (before == 0xAB || before == 0x2039) return false;
		if (is_digit_at(q) && p + 1 < e && is_letter(OGL_utf8_decode(p + 1, e))) return false;
	}
	return true;
}

struct wrap_line {
	const unsigned char* end;
	float width;
};

// One line from `start`: where it ends and how wide it is, rendering its
// glyphs into the atlas. A character that would end past the width begins
// the next line, so a wrapped line never runs over the width it was given.
// `width` 0 means no wrapping.
wrap_line measure_line(OGL_font_info* f, const unsigned char* b, const unsigned char* e, const unsigned char* start,
                       float width, int fixed_advance, const std::vector<unsigned char>* in_path)
{
	const bool wrapping = width > 0;
	const unsigned char* pos = start;
	const unsigned char* brk = start;
	float cur = 0, brk_w = 0;
	bool overflow = false;
	while (pos < e) {
		unsigned int code = OGL_utf8_decode(pos, e);
		if (code == 13 || code == 10) break;
		const bool path = in_path && (*in_path)[(size_t)(pos - b)];
		if (code == 32 && !path && may_break_at_space(b, e, pos)) {
			brk = pos;
			brk_w = cur;
		}
		float adv = f->require_char(code);
		const float add = fixed_advance ? (float)fixed_advance : truncf(adv);
		if (wrapping && cur > 0 && cur + add > width) {
			overflow = true;
			break;
		}
		cur += add;
		pos = OGL_utf8_next(pos, b, e);
		// Inside a path a line may break after a '/', unless what follows
		// closes the sentence: a full stop never starts a line alone.
		if (code == '/' && path && pos < e && pos - 1 > start && !is_closing(OGL_utf8_decode(pos, e)) &&
		    *pos != '\'' && *pos != '"') {
			brk = pos;
			brk_w = cur;
		}
	}
	if (overflow && brk > start) return {brk, brk_w};
	// A word wider than the line: its last character that fits goes on with
	// the punctuation that closes it.
	if (overflow && is_closing(OGL_utf8_decode(pos, e))) {
		const unsigned char* last = OGL_utf8_prev(pos, b);
		if (last > start) {
			const unsigned int code = OGL_utf8_decode(last, e);
			return {last, cur - (fixed_advance ? (float)fixed_advance : truncf(f->require_char(code)))};
		}
	}
	return {pos, cur};
}

// Where the line after one ending at `end` begins: past one line end and
// the blanks that follow.
const unsigned char* next_line_start(const unsigned char* end, const unsigned char* e)
{
	if (end < e && (*end == 13 || *end == 10)) ++end;
	while (end < e && *end == 32) ++end;
	return end;
}
}  // namespace

namespace {
const OGL_text_watch* text_watch = nullptr;
}

void OGL_font_watch(const OGL_text_watch* watch) { text_watch = watch; }

float OGL_font_string(int colour, float x, float y, const std::string& text, float width,
                      charset_t charset, int align, int fixed_advance)
{
	if (text.empty()) return y;
	const float ox = mnw.wind_x, oy = mnw.wind_y;
	const float X = x + ox;
	float Y = y + oy;
	OGL_font_info* f = OGL_font_get(charset);
	const bool wrapping = width > 0 && width < 9999;
	const float step = roundf(f->line_height);

	const unsigned char* b = (const unsigned char*)text.data();
	const unsigned char* e = b + text.size();
	static std::vector<unsigned char> in_path;
	const bool paths = wrapping && memchr(b, '/', text.size()) != nullptr;
	if (paths) mark_paths(b, e, in_path);
	const OGL_text_watch* watch = text_watch;
	const int group = watch ? watch->text() : 0;
	const unsigned char* start = b;
	for (;;) {
		const wrap_line line = measure_line(f, b, e, start, wrapping ? width : 0, fixed_advance, paths ? &in_path : nullptr);
		const unsigned char* line_end = line.end;
		const float line_w = line.width;

		font_line_begin(f, colour);
		float pen = X;
		if (align == 1)
			pen = X - line_w * 0.5f;
		else if (align == 2)
			pen = X - line_w;
		const float pen0 = pen;
		for (const unsigned char* p = start; p < line_end; p = OGL_utf8_next(p, b, e)) {
			float adv = f->draw_char(OGL_utf8_decode(p, e), pen, Y);
			pen += fixed_advance ? (float)fixed_advance : adv;
		}
		gl.End();
		if (watch && pen > pen0)
			watch->line(group, pen0 - ox, Y - oy - f->descent, pen - ox, Y - oy + f->ascent,
			            std::string((const char*)start, (size_t)(line_end - start)));

		if (wrapping) Y -= step;

		start = next_line_start(line_end, e);
		if (start >= e) return Y - oy;
	}
}

std::vector<std::string> OGL_wrap_split(const std::string& text, float width, charset_t charset)
{
	std::vector<std::string> lines;
	if (text.empty()) return lines;
	OGL_font_info* f = OGL_font_get(charset);
	const bool wrapping = width > 0 && width < 9999;
	const unsigned char* b = (const unsigned char*)text.data();
	const unsigned char* e = b + text.size();
	std::vector<unsigned char> in_path;
	const bool paths = wrapping && memchr(b, '/', text.size()) != nullptr;
	if (paths) mark_paths(b, e, in_path);
	for (const unsigned char* start = b;;) {
		const unsigned char* end = measure_line(f, b, e, start, wrapping ? width : 0, 0, paths ? &in_path : nullptr).end;
		lines.emplace_back((const char*)start, (size_t)(end - start));
		start = next_line_start(end, e);
		if (start >= e) return lines;
	}
}

int OGL_wrap_lines(const std::string& text, float width, charset_t charset)
{
	return (int)OGL_wrap_split(text, width, charset).size();
}
