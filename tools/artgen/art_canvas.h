// Small software canvas for the artwork generator: straight-alpha float
// pixels, rows counted from the bottom like texture rows, anti-aliased
// shapes from signed distances, FreeType text, deterministic PNG output.
#pragma once
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace art {

struct Col {
    float r = 0, g = 0, b = 0, a = 0;
};
inline Col rgb(int r, int g, int b, float a = 1.0f) { return Col{r / 255.0f, g / 255.0f, b / 255.0f, a}; }
inline Col mix(Col x, Col y, float t) {
    return Col{x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}
inline Col with_alpha(Col c, float a) { c.a = a; return c; }

struct Box {            // pixel rectangle, u0 <= u < u1, v0 <= v < v1
    int u0, v0, u1, v1;
};

class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), px_(size_t(w) * h * 4, 0.0f) {}
    int width() const { return w_; }
    int height() const { return h_; }

    Col get(int u, int v) const;
    void put(int u, int v, Col c);                 // replaces the pixel
    void blend(int u, int v, Col c, float cover);  // c over the pixel, scaled by cover

    // Fills every pixel of the box whose centre's signed distance (negative
    // inside) gives coverage; colour may vary with position.
    using Dist = std::function<float(float, float)>;
    using Paint = std::function<Col(float, float)>;
    void fill(Box clip, const Dist& dist, const Paint& paint);
    void fill(Box clip, const Dist& dist, Col c) { fill(clip, dist, [c](float, float) { return c; }); }

    // Polygon fill by 4 x 4 samples per pixel (even-odd).
    void polygon(const std::vector<float>& xy, Col c, Box clip);

    // Text on a baseline at (x, v); returns the advance.
    float text(const std::string& utf8, float x, float v, int px, bool bold, Col c);
    static float text_width(const std::string& utf8, int px, bool bold);
    static void set_font_dir(const std::string& dir);

    // Bytes of an RGBA PNG with file row 0 at the top (v = height - 1).
    std::vector<unsigned char> png() const;
    bool write(const std::string& path) const;

private:
    int w_, h_;
    std::vector<float> px_;
};

// Signed distances.
inline float d_round_rect(float x, float y, float x0, float y0, float x1, float y1, float r) {
    float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
    float hx = (x1 - x0) * 0.5f - r, hy = (y1 - y0) * 0.5f - r;
    float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - r;
}
inline float d_circle(float x, float y, float cx, float cy, float r) {
    return std::hypot(x - cx, y - cy) - r;
}
inline float d_segment(float x, float y, float ax, float ay, float bx, float by, float half_thick) {
    float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? std::min(1.0f, std::max(0.0f, (px * dx + py * dy) / len2)) : 0.0f;
    return std::hypot(px - dx * t, py - dy * t) - half_thick;
}

}  // namespace art
