// The one look of every picture: light panels, thin borders, dark text and a
// single blue accent.
#pragma once
#include "art_canvas.h"

namespace art {
namespace theme {
inline Col accent() { return rgb(37, 99, 235); }
inline Col accent_dark() { return rgb(29, 78, 216); }
inline Col accent_soft() { return rgb(219, 234, 254); }
inline Col accent_line() { return rgb(147, 197, 253); }
inline Col panel() { return rgb(255, 255, 255); }
inline Col panel_soft() { return rgb(248, 250, 252); }
inline Col panel_grey() { return rgb(241, 245, 249); }
inline Col border() { return rgb(203, 213, 225); }
inline Col border_strong() { return rgb(148, 163, 184); }
inline Col backdrop() { return rgb(226, 232, 240); }
inline Col ink() { return rgb(15, 23, 42); }
inline Col ink_soft() { return rgb(51, 65, 85); }
inline Col muted() { return rgb(100, 116, 139); }
inline Col shadow() { return rgb(15, 23, 42, 0.10f); }
}  // namespace theme

void make_atlas(Canvas& c);
void make_elements(Canvas& c, int language);
void make_background(Canvas& c);
void make_intro(Canvas& c);
bool make_map(Canvas& c, const std::string& gshhg_path, std::string& error);
}  // namespace art
