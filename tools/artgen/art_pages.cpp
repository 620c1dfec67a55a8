// Full pictures: the wizard's background, the start-up picture and the
// language pictures of the wizard's icon buttons.
#include "art_theme.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace art {
namespace {
using namespace theme;

struct IconSet {
    int cuts[8];
    const char* labels[7];
};
// Left edges of icons 0..6 and the right edge of icon 6, by language.
const IconSet kIcons[3] = {
    {{0, 56, 145, 246, 357, 489, 605, 701},
     {"Quit", "Back", "Next", "Choose All", "Clear All", "Store", "Preferences"}},
    {{0, 91, 172, 284, 395, 527, 643, 739},
     {"Quitter", "Retour", "Suivant", "Tout choisir", "Tout effacer", "Boutique", "Préférences"}},
    {{0, 96, 181, 256, 367, 499, 615, 723},
     {"Beenden", "Zurück", "Weiter", "Alle wählen", "Alle löschen", "Shop", "Einstellungen"}},
};

void centred_text(Canvas& c, const std::string& s, float cx, float base, int px, bool bold, Col col) {
    float w = Canvas::text_width(s, px, bold);
    c.text(s, cx - w / 2, base, px, bold, col);
}
}  // namespace

void make_elements(Canvas& c, int language) {
    const IconSet& set = kIcons[language];
    // Bands from the bottom: mouse over, held, normal.
    const int band_v[3] = {0, 23, 46};
    for (int i = 0; i < 7; ++i) {
        float x0 = set.cuts[i] + 2.0f, x1 = set.cuts[i + 1] - 2.0f;
        bool primary = i == 2;
        std::string label = set.labels[i];
        // Every label at one size: an icon too narrow for its label is an
        // error of the table above, not a reason for smaller letters.
        const int px = 12;
        if (Canvas::text_width(label, px, primary) > x1 - x0 - 14) {
            std::fprintf(stderr, "ventora_artgen: icon %d of language %d is too narrow for \"%s\"\n", i, language,
                         label.c_str());
            std::exit(1);
        }
        for (int band = 0; band < 3; ++band) {
            int v0 = band_v[band];
            Box b{set.cuts[i], v0, set.cuts[i + 1], v0 + 22};
            Col fill, line, ink_col;
            if (primary) {
                fill = band == 2 ? accent() : band == 0 ? accent_dark() : rgb(30, 64, 175);
                line = band == 2 ? accent_dark() : rgb(30, 64, 175);
                ink_col = panel();
            } else {
                fill = band == 2 ? panel() : band == 0 ? accent_soft() : accent();
                line = band == 2 ? border_strong() : band == 0 ? accent() : accent_dark();
                ink_col = band == 1 ? panel() : ink();
            }
            float y0 = v0 + 1.0f, y1 = v0 + 21.0f;
            c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0, y0, x1, y1, 10); }, line);
            c.fill(b, [=](float x, float y) { return d_round_rect(x, y, x0 + 1, y0 + 1, x1 - 1, y1 - 1, 9); }, fill);
            centred_text(c, label, (x0 + x1) / 2, v0 + 7, px, primary, ink_col);
        }
    }
    // The wizard's large panels (frame style 20), a 41 x 41 cell at (982, 2).
    Box p{982, 2, 1023, 43};
    c.fill(p, [](float x, float y) { return d_round_rect(x, y, 982, 2, 1023, 43, 7); }, border());
    c.fill(p, [](float x, float y) { return d_round_rect(x, y, 983, 3, 1022, 42, 6); }, panel());
}

void make_background(Canvas& c) {
    const int W = c.width(), H = c.height();
    for (int v = 0; v < H; ++v)
        for (int u = 0; u < W; ++u) {
            Col col;
            if (v < 42) col = panel_soft();
            else if (v < 43) col = border();
            else if (v < 504) col = mix(backdrop(), panel_grey(), float(v - 43) / 461.0f);
            else {
                float t = std::min(1.0f, u / 800.0f);
                col = mix(rgb(30, 64, 175), accent(), t);
            }
            c.put(u, v, col);
        }
    // Soft rings in the header band for depth.
    Box head{0, 504, W, H};
    for (int k = 0; k < 3; ++k) {
        float cx = 700 + 60 * k, cy = 560 - 20 * k, r = 120 + 70 * k;
        c.fill(head, [=](float x, float y) { return std::fabs(d_circle(x, y, cx, cy, r)) - 14; },
               rgb(255, 255, 255, 0.05f));
    }
    c.fill(head, [](float x, float y) { return std::fabs(y - 504.5f) - 0.5f; }, rgb(15, 23, 42, 0.25f));
    float w = c.text("Ventora", 24, 541, 30, true, panel());
    c.text("Flight Simulator", 24 + w + 12, 541, 15, false, rgb(255, 255, 255, 0.8f));
}

void make_intro(Canvas& c) {
    const int W = c.width(), H = c.height();
    for (int v = 0; v < H; ++v)
        for (int u = 0; u < W; ++u) {
            float t = float(v) / (H - 1);
            Col sky = t > 0.35f ? mix(rgb(147, 197, 253), rgb(30, 64, 175), (t - 0.35f) / 0.65f)
                                : mix(rgb(219, 234, 254), rgb(147, 197, 253), t / 0.35f);
            c.put(u, v, sky);
        }
    Box all{0, 0, W, H};
    // Layered hills along the bottom.
    for (int k = 0; k < 3; ++k) {
        float base = 70 + 55 * (2 - k), amp = 28 - 6 * k, ph = 1.3f * k;
        Col col = mix(rgb(241, 245, 249), rgb(203, 213, 225), k / 2.0f);
        c.fill(all, [=](float x, float y) {
            return y - (base + amp * std::sin(x / 150.0f + ph) + amp * 0.5f * std::sin(x / 61.0f + 2 * ph));
        }, with_alpha(col, 0.9f));
    }
    // Clouds: each one shape, so overlapping puffs blend as one.
    const float clouds[][2] = {{170, 470}, {790, 560}};
    for (const auto& cl : clouds) {
        float cx = cl[0], cy = cl[1];
        c.fill(all, [=](float x, float y) {
            float d = d_round_rect(x, y, cx - 80, cy - 18, cx + 80, cy + 10, 14);
            d = std::min(d, d_circle(x, y, cx - 30, cy + 10, 28));
            d = std::min(d, d_circle(x, y, cx + 18, cy + 16, 36));
            return d;
        }, rgb(255, 255, 255, 0.45f));
    }
    // A stylised aircraft climbing to the right.
    {
        float cx = 560, cy = 430;
        Col body = rgb(250, 252, 255);
        c.fill(all, [=](float x, float y) { return d_segment(x, y, cx - 90, cy - 30, cx + 90, cy + 30, 7); }, body);
        c.polygon({cx - 10, cy, cx + 25, cy + 12, cx - 40, cy + 80, cx - 55, cy + 75}, body, all);
        c.polygon({cx - 10, cy, cx + 25, cy + 12, cx + 20, cy - 55, cx + 5, cy - 58}, body, all);
        c.polygon({cx - 80, cy - 27, cx - 65, cy - 22, cx - 95, cy + 10, cx - 103, cy + 8}, body, all);
    }
    float w = Canvas::text_width("Ventora", 72, true);
    c.text("Ventora", (W - w) / 2, 600, 72, true, panel());
    float w2 = Canvas::text_width("Flight Simulator", 22, false);
    c.text("Flight Simulator", (W - w2) / 2, 565, 22, false, rgb(255, 255, 255, 0.85f));
}

}  // namespace art
