#include "art_canvas.h"

#include <png.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace art {

static std::string g_font_dir = "/usr/share/fonts/truetype/dejavu";

void Canvas::set_font_dir(const std::string& dir) { g_font_dir = dir; }

Col Canvas::get(int u, int v) const {
    if (u < 0 || v < 0 || u >= w_ || v >= h_) return Col{};
    const float* p = &px_[(size_t(v) * w_ + u) * 4];
    return Col{p[0], p[1], p[2], p[3]};
}

void Canvas::put(int u, int v, Col c) {
    if (u < 0 || v < 0 || u >= w_ || v >= h_) return;
    float* p = &px_[(size_t(v) * w_ + u) * 4];
    p[0] = c.r; p[1] = c.g; p[2] = c.b; p[3] = c.a;
}

void Canvas::blend(int u, int v, Col c, float cover) {
    if (u < 0 || v < 0 || u >= w_ || v >= h_) return;
    float sa = c.a * std::min(1.0f, std::max(0.0f, cover));
    if (sa <= 0.0f) return;
    float* p = &px_[(size_t(v) * w_ + u) * 4];
    float da = p[3];
    float oa = sa + da * (1.0f - sa);
    for (int k = 0; k < 3; ++k) {
        float s = k == 0 ? c.r : k == 1 ? c.g : c.b;
        p[k] = oa > 0 ? (s * sa + p[k] * da * (1.0f - sa)) / oa : 0.0f;
    }
    p[3] = oa;
}

void Canvas::fill(Box clip, const Dist& dist, const Paint& paint) {
    int u0 = std::max(0, clip.u0), v0 = std::max(0, clip.v0);
    int u1 = std::min(w_, clip.u1), v1 = std::min(h_, clip.v1);
    for (int v = v0; v < v1; ++v)
        for (int u = u0; u < u1; ++u) {
            float x = u + 0.5f, y = v + 0.5f;
            float cover = 0.5f - dist(x, y);
            if (cover <= 0.0f) continue;
            blend(u, v, paint(x, y), cover);
        }
}

static bool inside_poly(const std::vector<float>& xy, float x, float y) {
    bool in = false;
    size_t n = xy.size() / 2;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        float xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
}

void Canvas::polygon(const std::vector<float>& xy, Col c, Box clip) {
    for (int v = std::max(0, clip.v0); v < std::min(h_, clip.v1); ++v)
        for (int u = std::max(0, clip.u0); u < std::min(w_, clip.u1); ++u) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    hits += inside_poly(xy, u + (sx + 0.5f) / 4, v + (sy + 0.5f) / 4);
            if (hits) blend(u, v, c, hits / 16.0f);
        }
}

// ---- text ------------------------------------------------------------------

namespace {
struct Fonts {
    FT_Library lib = nullptr;
    std::map<bool, FT_Face> faces;
    FT_Face face(bool bold) {
        if (!lib && FT_Init_FreeType(&lib)) throw std::runtime_error("FreeType would not start");
        auto it = faces.find(bold);
        if (it != faces.end()) return it->second;
        std::string path = g_font_dir + (bold ? "/DejaVuSansBold.ttf" : "/DejaVuSans.ttf");
        FT_Face f = nullptr;
        if (FT_New_Face(lib, path.c_str(), 0, &f)) {
            // The system folder names the bold face with a dash.
            std::string alt = g_font_dir + (bold ? "/DejaVuSans-Bold.ttf" : "/DejaVuSans.ttf");
            if (FT_New_Face(lib, alt.c_str(), 0, &f)) throw std::runtime_error("cannot open font " + path);
        }
        faces[bold] = f;
        return f;
    }
};
Fonts g_fonts;

std::vector<uint32_t> decode_utf8(const std::string& s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        uint32_t cp;
        int n;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c >> 5) == 6) { cp = c & 0x1f; n = 2; }
        else if ((c >> 4) == 14) { cp = c & 0x0f; n = 3; }
        else { cp = c & 0x07; n = 4; }
        for (int k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3f);
        out.push_back(cp);
        i += n;
    }
    return out;
}
}  // namespace

float Canvas::text_width(const std::string& utf8, int px, bool bold) {
    FT_Face f = g_fonts.face(bold);
    FT_Set_Pixel_Sizes(f, 0, px);
    float w = 0;
    for (uint32_t cp : decode_utf8(utf8)) {
        if (FT_Load_Char(f, cp, FT_LOAD_DEFAULT)) continue;
        w += f->glyph->advance.x / 64.0f;
    }
    return w;
}

float Canvas::text(const std::string& utf8, float x, float v, int px, bool bold, Col c) {
    FT_Face f = g_fonts.face(bold);
    FT_Set_Pixel_Sizes(f, 0, px);
    float pen = std::round(x);
    int base = int(std::round(v));
    for (uint32_t cp : decode_utf8(utf8)) {
        if (FT_Load_Char(f, cp, FT_LOAD_RENDER)) continue;
        FT_GlyphSlot g = f->glyph;
        const FT_Bitmap& bm = g->bitmap;
        for (unsigned r = 0; r < bm.rows; ++r)
            for (unsigned k = 0; k < bm.width; ++k) {
                unsigned char cov = bm.buffer[r * bm.pitch + k];
                if (!cov) continue;
                blend(int(pen) + g->bitmap_left + int(k), base + g->bitmap_top - 1 - int(r), c, cov / 255.0f);
            }
        pen += g->advance.x / 64.0f;
    }
    return pen - std::round(x);
}

// ---- PNG --------------------------------------------------------------------

static void png_append(png_structp p, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(p));
    out->insert(out->end(), data, data + n);
}
static void png_noflush(png_structp) {}

std::vector<unsigned char> Canvas::png() const {
    std::vector<unsigned char> out;
    std::vector<unsigned char> rowbuf(size_t(w_) * 4);
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    if (setjmp(png_jmpbuf(p))) {
        png_destroy_write_struct(&p, &info);
        throw std::runtime_error("PNG encoding failed");
    }
    png_set_write_fn(p, &out, png_append, png_noflush);
    png_set_compression_level(p, 9);
    png_set_IHDR(p, info, w_, h_, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(p, info);
    for (int row = 0; row < h_; ++row) {
        int v = h_ - 1 - row;
        for (int u = 0; u < w_; ++u) {
            const float* s = &px_[(size_t(v) * w_ + u) * 4];
            float a = std::min(1.0f, std::max(0.0f, s[3]));
            for (int k = 0; k < 4; ++k) {
                float x = k < 3 ? (a > 0 ? s[k] : 0.0f) : a;
                rowbuf[size_t(u) * 4 + k] = (unsigned char)std::lround(std::min(1.0f, std::max(0.0f, x)) * 255.0f);
            }
        }
        png_write_row(p, rowbuf.data());
    }
    png_write_end(p, info);
    png_destroy_write_struct(&p, &info);
    return out;
}

bool Canvas::write(const std::string& path) const {
    std::vector<unsigned char> bytes = png();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace art
