// Where the frames cut the interface atlas, what the file dialog's preview
// reads from a file, and the dial's heading: the parts of the widgets that
// need no drawing.
#include <cctype>
#include <cmath>
#include <cstring>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/xmap.h"

namespace {
struct bar_style {
	int style;
	float L, B, S, H, F, I;
	float centre_dy;
};
const bar_style bar_styles[] = {
	{0, 1, 487, 100, 26, 10, 0, -3},   {1, 102, 487, 100, 26, 20, 0, -3}, {2, 304, 486, 52, 26, 10, 0, 0},
	{3, 304, 459, 52, 26, 10, 0, 0},   {4, 112, 161, 28, 16, 10, 0, 0},   {5, 83, 161, 28, 16, 10, 0, 0},
	{7, 240, 242, 65, 24, 10, 0, 0},   {8, 289, 219, 16, 16, 7, 0, 0},    {9, 262, 133, 51, 26, 10, 4, 0},
	{10, 357, 488, 68, 24, 26, 4, 0},
};

struct panel_style {
	int style;
	float L, B, C, X, Y, I;
};
const panel_style panel_styles[] = {
	{11, 1, 358, 100, 9, 14, 4},  {12, 102, 358, 100, 9, 14, 4}, {13, 203, 358, 100, 9, 14, 4},
	{14, 304, 358, 100, 9, 14, 4}, {15, 405, 358, 100, 9, 14, 4}, {16, 1, 289, 68, 2, 2, 2},
	{17, 70, 315, 42, 8, 13, 2},   {18, 113, 315, 42, 8, 13, 2},  {19, 440, 12, 44, 6, 9, 4},
	{20, 982, 2, 41, 1, 1, 1},
};

// One axis of a stretchable frame: a near piece, repeated middle tiles cut
// at the far piece, and the far piece.
struct axis_cut {
	float near_len, far_len;        // drawn lengths of the end pieces
	float a_near0, a_near1;         // atlas range of the near piece
	float a_mid0, a_mid1;           // atlas range of one middle tile
	float a_far0, a_far1;           // atlas range of the far piece
	float tile_len;                 // drawn length of a whole tile
};
struct span {
	float p0, p1, a0, a1;
};

// The pieces along one axis from `from` to `to`. A cut tile keeps one atlas
// pixel per unit unless `scale` says otherwise.
std::vector<span> cut_axis(const axis_cut& c, float from, float to, int tiles, float scale)
{
	std::vector<span> out;
	out.push_back({from, from + c.near_len, c.a_near0, c.a_near1});
	const float far0 = to - c.far_len;
	float p = from + c.near_len;
	for (int i = 0; i < tiles; ++i, p += c.tile_len) {
		float q = p + c.tile_len;
		if (q > far0) {
			const float len = std::max(0.0f, far0 - p);
			const float tex = std::min(len * scale, c.a_mid1 - c.a_mid0);
			out.push_back({p, std::max(p, far0), c.a_mid0, c.a_mid0 + tex});
		} else {
			out.push_back({p, q, c.a_mid0, c.a_mid1});
		}
	}
	out.push_back({far0, to, c.a_far0, c.a_far1});
	return out;
}
}  // namespace

std::vector<BTN_piece> BTN_frame1_pieces(int style, float x_centre, float y_centre, float width)
{
	std::vector<BTN_piece> out;
	const bar_style* s = nullptr;
	for (const bar_style& b : bar_styles)
		if (b.style == style) s = &b;
	if (!s) return out;
	const float xc = std::round(x_centre);
	const float w = 2.0f * std::round(width / 2.0f) + s->I;
	const float tile = s->S - 2 * s->F;
	const int tiles = (int)((w - 2 * s->F) / tile) + 1;
	axis_cut c{s->F, s->F, s->L, s->L + s->F, s->L + s->F, s->L + s->S - s->F, s->L + s->S - s->F, s->L + s->S, tile};
	const float yc = y_centre + s->centre_dy;
	const float y0 = yc - s->H / 2, y1 = yc + s->H / 2;
	for (const span& sp : cut_axis(c, xc - w / 2, xc + w / 2, std::max(tiles, 1), tile / (s->S - s->F)))
		out.push_back({sp.p0, y0, sp.p1, y1, sp.a0, s->B, sp.a1, s->B + s->H});
	return out;
}

std::vector<BTN_piece> BTN_frame0_pieces(float x_centre, float y_centre, float height)
{
	std::vector<BTN_piece> out;
	const float len = 2.0f * std::round(height / 2.0f) + 8;
	const int tiles = (int)((len - 20) / 20) + 1;
	axis_cut c{10, 10, 248, 258, 258, 278, 278, 288, 20};
	for (const span& sp : cut_axis(c, y_centre - len / 2, y_centre + len / 2, std::max(tiles, 1), 20.0f / 30.0f))
		out.push_back({x_centre - 10, sp.p0, x_centre + 10, sp.p1, 102, sp.a0, 122, sp.a1});
	return out;
}

std::vector<BTN_piece> BTN_frame2_pieces(int style, float x, float y, float w, float h)
{
	std::vector<BTN_piece> out;
	const panel_style* s = nullptr;
	for (const panel_style& p : panel_styles)
		if (p.style == style) s = &p;
	if (!s) return out;
	const float L = s->L, B = s->B, C = s->C;
	axis_cut cx, cy;
	if (style == 17) {
		cx = {26, 26, L, L + 26, L + 26, L + 28, L + 28, L + 42, 2};
		cy = {14, 20, B, B + 14, B + 14, B + 22, B + 22, B + 42, 8};
	} else {
		const float cw = (float)(int)(0.35f * C), ch = (float)(int)(0.30f * C);
		cx = {cw, cw, L, L + cw, L + cw, L + C - cw, L + C - cw, L + C, C - 2 * cw};
		cy = {ch, ch, B, B + ch, B + ch, B + C - ch, B + C - ch, B + C, C - 2 * ch};
	}
	const float X0 = x - s->X, X1 = x + w + s->X, Y0 = y - s->Y, Y1 = y + h + s->I;
	auto count = [](float inner, float tile) { return std::max(1, (int)std::ceil(inner / tile)); };
	const std::vector<span> cols = cut_axis(cx, X0, X1, count(X1 - X0 - cx.near_len - cx.far_len, cx.tile_len), 1.0f);
	const std::vector<span> rows = cut_axis(cy, Y0, Y1, count(Y1 - Y0 - cy.near_len - cy.far_len, cy.tile_len), 1.0f);
	for (const span& r : rows)
		for (const span& c : cols) out.push_back({c.p0, r.p0, c.p1, r.p1, c.a0, r.a0, c.a1, r.a1});
	return out;
}

float plot_dir_heading(float x, float y, float mx, float my)
{
	float deg = std::atan2(mx - x, my - y) * 180.0f / (float)M_PI;
	while (deg < 0) deg += 360;
	while (deg >= 360) deg -= 360;
	return deg;
}

BTN_preview BTN_read_acf_preview(const std::string& path)
{
	BTN_preview p;
	enum { block = 2092 };
	xmap_class file(path);
	int versions[] = {file_type_binary, 0};
	if (!file.begin || !file.check_file(file_type_binary, versions, nullptr, nullptr)) return p;
	if (file.end - file.cursor < block) return p;  // too short: no texts, no read past the end
	static char buf[block];
	file.read_n_rev(reinterpret_cast<long>(buf), block);
	const int offsets[4] = {1552, 1052, 2052, 1012};
	for (int i = 0; i < 4; ++i) {
		const char* s = buf + offsets[i];
		p.texts[i].assign(s, strnlen(s, block - offsets[i]));
	}
	p.ok = 1;
	return p;
}

BTN_preview BTN_read_fdr_preview(const std::string& path)
{
	BTN_preview p;
	xmap_class file(path);
	int versions[] = {file_type_text, 0};
	if (!file.begin || !file.check_file(file_type_text, versions, nullptr, nullptr)) return p;
	p.ok = 1;
	while (file.cursor < file.end) {
		std::string key, value;
		file.TXT_str_scan_space(&key);
		file.TXT_str_scan_eoln(&value);
		if (key.size() == 4 && std::toupper((unsigned char)key[0]) == 'C' && std::toupper((unsigned char)key[1]) == 'O' &&
		    std::toupper((unsigned char)key[2]) == 'M' && std::toupper((unsigned char)key[3]) == 'M') {
			p.comment = value;
			break;
		}
	}
	return p;
}
