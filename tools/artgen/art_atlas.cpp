// The interface atlas, 512 x 512: every cell the widgets, the shell's cursor
// and the file dialog cut, plus the pixels start-up reads the theme from.
#include "art_theme.h"

#include <cmath>

namespace art {
namespace {

using namespace theme;

Box cell(int u0, int v0, int u1, int v1) { return Box{u0, v0, u1, v1}; }

// A rounded card with a one-pixel line, inset into the box.
void card(Canvas& c, Box b, float il, float ib, float ir, float it, float r, Col fill, Col line) {
    float x0 = b.u0 + il, y0 = b.v0 + ib, x1 = b.u1 - ir, y1 = b.v1 - it;
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0, y0, x1, y1, r); }, line);
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0 + 1, y0 + 1, x1 - 1, y1 - 1, r - 1); }, fill);
}

// A soft shadow around where a card will stand.
void shadow_under(Canvas& c, Box b, float il, float ib, float ir, float it, float r) {
    for (int k = 3; k >= 1; --k) {
        float x0 = b.u0 + il - k + 1, y0 = b.v0 + ib - k, x1 = b.u1 - ir + k - 1, y1 = b.v1 - it + k - 2;
        c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0, y0, x1, y1, r + k); },
               rgb(15, 23, 42, 0.035f));
    }
}

// A panel of the nine-slice styles: shadow (optional), card, optional header.
void panel_cell(Canvas& c, Box b, float r, Col fill, Col line, bool drop_shadow, float header, Col head,
                Col head_line, bool head_flush) {
    float il = drop_shadow ? 3 : 1, ib = drop_shadow ? 4 : 1, ir = il, it = drop_shadow ? 1 : 1;
    if (drop_shadow) shadow_under(c, b, il, ib, ir, it, r);
    float x0 = b.u0 + il, y0 = b.v0 + ib, x1 = b.u1 - ir, y1 = b.v1 - it;
    float htop = y1 - header;
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0, y0, x1, y1, r); },
           [=](float, float y) { return header > 0 && head_flush && y > htop ? head_line : line; });
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0 + 1, y0 + 1, x1 - 1, y1 - 1, r - 1); },
           [=](float, float y) { return header > 0 && y > htop ? head : fill; });
    if (header > 0 && !head_flush)  // a separator under the header
        c.fill(b, [=](float x, float y) {
            return std::max(std::fabs(y - (htop - 0.5f)) - 0.5f, std::fabs(x - (x0 + x1) / 2) - ((x1 - x0) / 2 - 1));
        }, line);
}

// Horizontal bar of a frame1 style: a rounded rectangle across the strip.
void bar(Canvas& c, Box b, float iv, float r, Col fill, Col line) {
    card(c, b, 1, iv, 1, iv, r, fill, line);
}

void chevron(Canvas& c, Box clip, float cx, float cy, float dx, float dy, float half, float thick, Col col) {
    // A "v" whose tip points along (dx, dy).
    float px = -dy, py = dx;
    float tipx = cx + dx * half * 0.5f, tipy = cy + dy * half * 0.5f;
    float ax = tipx - dx * half + px * half, ay = tipy - dy * half + py * half;
    float bx = tipx - dx * half - px * half, by = tipy - dy * half - py * half;
    c.fill(clip, [=](float x, float y) {
        return std::min(d_segment(x, y, ax, ay, tipx, tipy, thick), d_segment(x, y, bx, by, tipx, tipy, thick));
    }, col);
}

void triangle(Canvas& c, Box clip, float cx, float cy, float dx, float dy, float len, float half, Col col) {
    float px = -dy, py = dx;
    std::vector<float> xy = {cx + dx * len / 2, cy + dy * len / 2,
                             cx - dx * len / 2 + px * half, cy - dy * len / 2 + py * half,
                             cx - dx * len / 2 - px * half, cy - dy * len / 2 - py * half};
    c.polygon(xy, col, clip);
}

// ---- cursors ---------------------------------------------------------------

using Dist = Canvas::Dist;

void outlined(Canvas& c, Box b, const Dist& d) {
    c.fill(b, [&](float x, float y) { return d(x, y) - 1.5f; }, rgb(255, 255, 255));
    c.fill(b, d, ink());
}

void cursor_arrow(Canvas& c, int col, int row, float deg) {
    Box b = cell(col * 32 + 200, row * 32 + 293, col * 32 + 230, row * 32 + 323);
    float cx = b.u0 + 15, cy = b.v0 + 15;
    float a = deg * float(M_PI) / 180.0f, dx = std::cos(a), dy = std::sin(a);
    float px = -dy, py = dx;
    float tx = cx + dx * 10, ty = cy + dy * 10;
    float sx = cx - dx * 10, sy = cy - dy * 10;
    outlined(c, b, [=](float x, float y) {
        float d = d_segment(x, y, sx, sy, tx, ty, 1.4f);
        d = std::min(d, d_segment(x, y, tx, ty, tx - dx * 7 + px * 7, ty - dy * 7 + py * 7, 1.4f));
        d = std::min(d, d_segment(x, y, tx, ty, tx - dx * 7 - px * 7, ty - dy * 7 - py * 7, 1.4f));
        return d;
    });
}

void cursor_hand(Canvas& c, int col, int row, int kind) {
    // kind 0 open hand, 1 closed hand, 2 pointing hand, 3 pointing and pressed
    Box b = cell(col * 32 + 200, row * 32 + 293, col * 32 + 230, row * 32 + 323);
    float cx = b.u0 + 15, cy = b.v0 + 13;
    outlined(c, b, [=](float x, float y) {
        float d = d_round_rect(x, y, cx - 6.5f, cy - 8, cx + 6.5f, cy + 3, 3.5f);
        float fx[4] = {cx - 4.8f, cx - 1.6f, cx + 1.6f, cx + 4.8f};
        for (int i = 0; i < 4; ++i) {
            float top;
            if (kind == 0) top = cy + (i == 1 || i == 2 ? 11.5f : 9.5f);
            else if (kind == 1) top = cy + 4.5f;
            else top = i == 0 ? cy + (kind == 2 ? 13.0f : 11.0f) : cy + 4.5f;  // the index finger, beside the thumb
            d = std::min(d, d_segment(x, y, fx[i], cy, fx[i], top, 1.1f));
        }
        float tl = kind == 1 || kind == 3 ? 4.0f : 7.0f;
        d = std::min(d, d_segment(x, y, cx - 6, cy - 4, cx - 6 - tl * 0.8f, cy - 4 + tl * 0.6f, 1.5f));
        return d;
    });
}

// ---- small icons -----------------------------------------------------------

void folder(Canvas& c, Box b, Col body, Col tab) {
    float x0 = b.u0 + 0.5f, y0 = b.v0 + 1.5f, x1 = b.u1 - 0.5f, y1 = b.v1 - 2.5f;
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0, y1 - 3, x0 + (x1 - x0) * 0.45f, y1 + 1.5f, 1); }, tab);
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0, y0, x1, y1, 1.2f); }, body);
}

void document(Canvas& c, Box b, Col band) {
    float x0 = b.u0 + 1.5f, y0 = b.v0 + 0.5f, x1 = b.u1 - 1.5f, y1 = b.v1 - 0.5f;
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0, y0, x1, y1, 1.2f); }, border_strong());
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0 + 1, y0 + 1, x1 - 1, y1 - 1, 0.6f); }, panel());
    c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0 + 1, y0 + 1, x1 - 1, y0 + 5, 0.5f); }, band);
    for (int k = 0; k < 2; ++k) {
        float ly = y1 - 3 - k * 2.2f;
        c.fill(b, [=](float x, float y) { return d_segment(x, y, x0 + 2.5f, ly, x1 - 2.5f, ly, 0.45f); }, muted());
    }
}

}  // namespace

void make_atlas(Canvas& c) {
    // Frame1 bars (left edge, bottom row, length, height).
    // 0: the shell's menu bar, reaching the atlas top; 1: a sub-window's title band.
    {
        Box b = cell(1, 487, 101, 512);
        c.fill(b, [](float, float) { return -1.0f; }, [](float, float y) {
            return y < 488 ? border() : panel_soft();
        });
        bar(c, cell(102, 487, 202, 513), 3, 6, panel_grey(), border());
        // Rows 0 and 1 are what a repeating texture shows above row 511.
        for (int u = 1; u < 202; ++u)
            for (int v = 0; v < 2; ++v) c.put(u, v, c.get(u, 511));
    }
    // 2, 3: push button, normal and lit or pressed.
    {
        Box n = cell(304, 486, 356, 512), l = cell(304, 459, 356, 485);
        c.fill(n, [=](float x, float y) { return d_round_rect(x, y, 305, 487, 355, 509, 5); }, rgb(15, 23, 42, 0.08f));
        card(c, n, 1, 3, 1, 2, 5, panel(), border());
        c.fill(l, [=](float x, float y) { return d_round_rect(x, y, 305, 460, 355, 482, 5); }, rgb(29, 78, 216, 0.15f));
        card(c, l, 1, 2, 1, 3, 5, accent_soft(), accent());
    }
    // 4, 5: progress track and its fill.
    bar(c, cell(112, 161, 140, 177), 3, 5, backdrop(), border());
    bar(c, cell(83, 161, 111, 177), 3, 5, accent(), accent_dark());
    // 7, 8: slider track and fill; the fill sits 4 units above the track's centre
    // when drawn, so its line lies 4 pixels below its own cell's middle.
    card(c, cell(240, 242, 305, 266), 1, 9, 1, 9, 3, backdrop(), border());
    card(c, cell(289, 219, 305, 235), 1, 1, 1, 9, 3, accent(), accent_dark());
    // 9: number field (digits drawn 3 units below its middle).
    card(c, cell(262, 133, 313, 159), 1, 7, 1, 4, 3, panel(), border_strong());
    // 10: pop-up list box with its chevron in the right cap.
    {
        Box b = cell(357, 488, 425, 512);
        card(c, b, 1, 3, 1, 3, 5, panel(), border_strong());
        chevron(c, b, 412, 500, 0, -1, 3.5f, 0.8f, ink_soft());
    }
    // Frame0 style 6: the vertical slider's track.
    card(c, cell(102, 248, 122, 288), 7, 2, 7, 2, 3, backdrop(), border());

    // Frame2 panels (left edge, bottom row, square size).
    panel_cell(c, cell(1, 358, 101, 458), 8, panel(), border(), true, 26, accent(), accent_dark(), true);
    panel_cell(c, cell(102, 358, 202, 458), 8, panel(), border(), true, 26, panel_grey(), border(), false);
    panel_cell(c, cell(203, 358, 303, 458), 6, panel(), border(), true, 0, Col{}, Col{}, false);
    panel_cell(c, cell(304, 358, 404, 458), 6, panel_soft(), border(), false, 0, Col{}, Col{}, false);
    panel_cell(c, cell(405, 358, 505, 458), 6, rgb(239, 246, 255), accent_line(), false, 0, Col{}, Col{}, false);
    panel_cell(c, cell(1, 289, 69, 357), 4, panel(), border_strong(), false, 0, Col{}, Col{}, false);
    panel_cell(c, cell(70, 315, 112, 357), 5, panel_grey(), border(), false, 0, Col{}, Col{}, false);
    panel_cell(c, cell(113, 315, 155, 357), 5, panel(), accent_line(), false, 0, Col{}, Col{}, false);
    panel_cell(c, cell(440, 12, 484, 56), 6, panel(), border(), true, 0, Col{}, Col{}, false);

    // Check box (look 0) and radio choice (look 1): box and tick, 18 x 18.
    {
        Box box0 = cell(139, 178, 157, 196), tick0 = cell(139, 197, 157, 215);
        card(c, box0, 2, 2, 2, 2, 3, panel(), border_strong());
        card(c, tick0, 2, 2, 2, 2, 3, accent(), accent_dark());
        c.fill(tick0, [](float x, float y) {
            return std::min(d_segment(x, y, 143.5f, 206.5f, 146.8f, 203.2f, 1.0f),
                            d_segment(x, y, 146.8f, 203.2f, 152.8f, 209.8f, 1.0f));
        }, panel());
        Box box1 = cell(83, 123, 101, 141), tick1 = cell(83, 142, 101, 160);
        c.fill(box1, [](float x, float y) { return d_circle(x, y, 92, 132, 7); }, border_strong());
        c.fill(box1, [](float x, float y) { return d_circle(x, y, 92, 132, 6); }, panel());
        c.fill(tick1, [](float x, float y) { return d_circle(x, y, 92, 151, 7); }, accent());
        c.fill(tick1, [](float x, float y) { return d_circle(x, y, 92, 151, 2.8f); }, panel());
    }
    // Tabs: selected (upper) and not.
    {
        Box s = cell(204, 486, 302, 512), n = cell(204, 459, 302, 485);
        c.fill(s, [](float x, float y) { return d_round_rect(x, y, 205, 480, 301, 511, 5); }, border());
        c.fill(s, [](float x, float y) { return d_round_rect(x, y, 206, 480, 300, 510, 4); }, panel());
        c.fill(s, [](float x, float y) { return d_round_rect(x, y, 205, 486, 301, 489, 0.5f); }, accent());
        c.fill(n, [](float x, float y) { return d_round_rect(x, y, 205, 453, 301, 483, 5); }, border());
        c.fill(n, [](float x, float y) { return d_round_rect(x, y, 206, 453, 300, 482, 4); }, panel_grey());
        c.fill(n, [](float x, float y) { return std::fabs(y - 459.5f) - 0.5f; }, border());
    }
    // Direction dial, needles (look 1 lower, look 0 upper).
    {
        Box d = cell(178, 160, 234, 218);
        // A ring: the needle is drawn first and shows through the middle.
        c.fill(d, [](float x, float y) { return std::fabs(d_circle(x, y, 206, 189, 25.5f)) - 1.5f; }, panel());
        c.fill(d, [](float x, float y) { return std::fabs(d_circle(x, y, 206, 189, 26.0f)) - 0.6f; }, border_strong());
        for (int k = 0; k < 12; ++k) {
            float a = k * float(M_PI) / 6, s = std::sin(a), co = std::cos(a);
            float r0 = k % 3 == 0 ? 19.5f : 21.5f;
            c.fill(d, [=](float x, float y) {
                return d_segment(x, y, 206 + s * r0, 189 + co * r0, 206 + s * 23.5f, 189 + co * 23.5f, 0.6f);
            }, k == 0 ? accent() : muted());
        }
        for (int look = 0; look < 2; ++look) {
            int v0 = look == 1 ? 272 : 315;
            Box b = cell(156, v0, 166, v0 + 42);
            Col col = look == 1 ? accent() : ink_soft();
            c.polygon({161, float(v0 + 41), 165, float(v0 + 24), 157, float(v0 + 24)}, col, b);
            c.fill(b, [=](float x, float y) { return d_segment(x, y, 161, v0 + 25.0f, 161, v0 + 5.0f, 1.0f); }, col);
            c.fill(b, [=](float x, float y) { return d_circle(x, y, 161, v0 + 21.0f, 2.5f); }, col);
        }
    }
    // Title-bar boxes (look 0 lower, other look upper), on the accent title bar.
    {
        Box a = cell(120, 178, 138, 196), p = cell(120, 197, 138, 215);
        c.fill(a, [](float x, float y) { return std::fabs(d_circle(x, y, 129, 187, 5.5f)) - 0.75f; }, rgb(255, 255, 255, 0.9f));
        c.fill(a, [](float x, float y) { return d_circle(x, y, 129, 187, 4.8f); }, rgb(255, 255, 255, 0.18f));
        c.fill(p, [](float x, float y) { return d_circle(x, y, 129, 206, 6.2f); }, rgb(255, 255, 255));
        c.fill(p, [](float x, float y) { return std::min(d_segment(x, y, 126.5f, 203.5f, 131.5f, 208.5f, 0.8f),
                                                         d_segment(x, y, 126.5f, 208.5f, 131.5f, 203.5f, 0.8f)); },
               accent());
    }
    // Shell menu arrow: a small triangle pointing right around (167, 187).
    triangle(c, cell(158, 178, 176, 196), 167.5f, 187, 1, 0, 6, 3.5f, ink_soft());

    // Digit-wheel arrows (14 x 18): down below, up above.
    chevron(c, cell(83, 178, 97, 196), 90, 188, 0, -1, 3.2f, 0.75f, muted());
    chevron(c, cell(83, 197, 97, 215), 90, 205, 0, 1, 3.2f, 0.75f, muted());
    // Vertical slider: down arrow, thumb, up arrow (18 wide).
    {
        Box dn = cell(83, 216, 101, 238), th = cell(83, 240, 101, 264), up = cell(83, 266, 101, 288);
        card(c, dn, 2, 3, 2, 3, 4, panel_grey(), border());
        chevron(c, dn, 92, 227, 0, -1, 3.5f, 0.8f, ink_soft());
        card(c, up, 2, 3, 2, 3, 4, panel_grey(), border());
        chevron(c, up, 92, 277, 0, 1, 3.5f, 0.8f, ink_soft());
        card(c, th, 3, 1, 3, 1, 5, panel(), border_strong());
        for (int k = -1; k <= 1; ++k)
            c.fill(th, [=](float x, float y) { return d_segment(x, y, 89, 252 + 3.0f * k, 95, 252 + 3.0f * k, 0.45f); }, muted());
    }
    // Horizontal slider knob: centred 2 pixels below its cell's middle.
    {
        Box k = cell(262, 267, 282, 289);
        c.fill(k, [](float x, float y) { return d_circle(x, y, 272, 275.5f, 8.5f); }, rgb(15, 23, 42, 0.12f));
        c.fill(k, [](float x, float y) { return d_circle(x, y, 272, 276, 7.5f); }, accent());
        c.fill(k, [](float x, float y) { return d_circle(x, y, 272, 276, 6.3f); }, panel());
    }

    // Cursors, 30 x 30 cells at u = 32c + 200, v = 32r + 293.
    cursor_arrow(c, -1, 1, 90);   // 13 up
    cursor_arrow(c, -1, 0, 270);  // 14 down
    cursor_arrow(c, 0, 1, 180);   // 3
    cursor_arrow(c, 1, 1, 0);     // 4
    cursor_arrow(c, 0, 0, 270);   // 5
    cursor_arrow(c, 1, 0, 90);    // 6
    cursor_arrow(c, 2, 1, 135);   // 7
    cursor_arrow(c, 3, 1, 45);    // 8
    cursor_arrow(c, 2, 0, 225);   // 9
    cursor_arrow(c, 3, 0, 315);   // 10
    cursor_hand(c, 4, 1, 0);      // 11
    cursor_hand(c, 5, 1, 1);      // 11 held
    cursor_hand(c, 4, 0, 2);      // 12
    cursor_hand(c, 5, 0, 3);      // 12 held

    // File-dialog item icons, 12 x 12 at v 82..94 (given in 256ths).
    folder(c, cell(34, 82, 46, 94), rgb(245, 158, 11), rgb(217, 119, 6));
    const struct { int u; Col band; } docs[] = {
        {48, rgb(37, 99, 235)},  {62, rgb(22, 163, 74)},  {90, rgb(147, 51, 234)}, {104, rgb(234, 88, 12)},
        {118, rgb(13, 148, 136)}, {132, rgb(220, 38, 38)}, {146, rgb(100, 116, 139)},
    };
    for (const auto& d : docs) document(c, cell(d.u, 82, d.u + 12, 94), d.band);
    // Browse icon of the path fields, 26 x 26.
    {
        Box b = cell(208, 133, 234, 159);
        card(c, b, 1, 1, 1, 1, 5, panel(), border_strong());
        folder(c, cell(213, 139, 229, 153), accent(), accent_dark());
        for (int k = 0; k < 3; ++k)
            c.fill(b, [=](float x, float y) { return d_circle(x, y, 217.5f + 3.5f * k, 144.5f, 1.1f); }, panel());
    }

    // Theme colours, one pixel each, read at start-up: column 319 from row 155
    // down in steps of 8 gives entries 34-38 and 40-43 and 45-47; (395, 115) 44.
    const struct { int v; Col c; } theme_px[] = {
        {155, rgb(203, 213, 225)},  // 34 backdrop behind dialogs
        {147, rgb(248, 250, 252)},  // 35 menu background
        {139, rgb(37, 99, 235)},    // 36 menu highlight
        {131, rgb(255, 255, 255)},  // 37 highlighted menu text
        {123, rgb(15, 23, 42)},     // 38 menu text and pop-up list items
        {115, rgb(255, 255, 255)},  // 40 sub-window titles (on the accent title bar)
        {107, rgb(29, 78, 216)},    // 41 selected tab label
        {99, rgb(71, 85, 105)},     // 42 other tab labels
        {91, rgb(30, 41, 59)},      // 43 labels and alert text
        {83, rgb(15, 23, 42)},      // 45 field, list and step-list text, caret
        {75, rgb(100, 116, 139)},   // 46 quiet text
        {67, rgb(30, 58, 138)},     // 47 help text and side-panel titles
    };
    for (const auto& t : theme_px) c.put(319, t.v, t.c);
    c.put(395, 115, rgb(37, 99, 235));  // 44 accent
}

}  // namespace art
