// Frames, panels, sub-window backgrounds, the file dialog's side panels, and
// the label drawing they share with every widget.
#include <cmath>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"

static const char* const butn_src = "DIzivoz/OOPS_cpp/butn";

float io_dx = 290, io_cx = 155, io_dy = 220, io_cy = 0;

void BTN_util_draw_label(float x, float y, int align, const std::string& text, int lit)
{
	// Label alignment 0 ends at x, 1 is centred, 2 starts at x.
	const int font_align = align == 0 ? 2 : align == 1 ? 1 : 0;
	// The two lines of a broken label are one text.
	const bool own = g_layout_record && !BTN_layout_owner();
	if (own) BTN_layout_own_begin(BTN_layout_new_group());
	for (const BTN_label_line& line : BTN_label_lines(y, align, text))
		OGL_string(lit ? 81 : 43, x, line.y, line.text, 9999, 0, font_align);
	if (own) BTN_layout_own_end();
}

// Quads of one frame on a texture of tw x th pixels, in one colour.
static void draw_pieces(const std::vector<BTN_piece>& pieces, int tex_ref, float tw, float th, int colour)
{
	const float ox = mnw.wind_x, oy = mnw.wind_y;
	OGL_setstate(1, 1, 3, 5, 9, 11);
	OGL_set_color(colour, 1.0f);
	tman.bind_ref(tex_ref, 0, 0);
	gl.Begin(GL_QUADS);
	for (const BTN_piece& p : pieces) {
		gl.TexCoord2f(p.u0 / tw, p.v0 / th);
		gl.Vertex2f(p.x0 + ox, p.y0 + oy);
		gl.TexCoord2f(p.u0 / tw, p.v1 / th);
		gl.Vertex2f(p.x0 + ox, p.y1 + oy);
		gl.TexCoord2f(p.u1 / tw, p.v1 / th);
		gl.Vertex2f(p.x1 + ox, p.y1 + oy);
		gl.TexCoord2f(p.u1 / tw, p.v0 / th);
		gl.Vertex2f(p.x1 + ox, p.y0 + oy);
	}
	gl.End();
}

void BTN_frame1(int style, float x_centre, float y_centre, float width, int colour)
{
	const std::vector<BTN_piece> pieces = BTN_frame1_pieces(style, x_centre, y_centre, width);
	if (pieces.empty()) {
		__MACIBM_alert(0, "Bad BTN_frame1 call!", "", "", "", alert_fatal, butn_src, 182);
		return;
	}
	draw_pieces(pieces, 392, 512, 512, colour);
}

void BTN_frame0(int style, float x_centre, float y_centre, float height)
{
	if (style != 6) {
		__MACIBM_alert(0, "Bad BTN_frame0 call!", "", "", "", alert_fatal, butn_src, 246);
		return;
	}
	if (x_centre != std::floor(x_centre)) {
		__MACIBM_alert(0, "BTN_frame0 non-int x_center!", "", "", "", alert_fatal, butn_src, 247);
		return;
	}
	if (y_centre != std::floor(y_centre)) {
		__MACIBM_alert(0, "BTN_frame0 non-int y_center!", "", "", "", alert_fatal, butn_src, 248);
		return;
	}
	draw_pieces(BTN_frame0_pieces(x_centre, y_centre, height), 392, 512, 512, 0);
}

void BTN_frame2(int style, float x, float y, float w, float h, std::string title)
{
	const std::vector<BTN_piece> pieces = BTN_frame2_pieces(style, x, y, w, h);
	if (pieces.empty()) {
		__MACIBM_alert(0, "Bad BTN_frame2 call!", "", "", "", alert_fatal, butn_src, 339);
		return;
	}
	if (style == 20) draw_pieces(pieces, 395, 1024, 128, 0);
	else draw_pieces(pieces, 392, 512, 512, 0);
	static const int title_colour[] = {40, 43, 43, 43, 47, 43, 43, 43, 43, 43};
	const float tx = style == 20 ? x + 10 : x + w / 2 - str_dx(title) / 2;
	const float ty = style == 11 ? y + h - 13 : y + h - 16;
	OGL_string(title_colour[style - 11], tx, ty, title, 9999, 0, 0);
	// The window's own frame (11, 12) is not a panel: its title bar and
	// close box sit on its border.
	if (style != 11 && style != 12) BTN_layout_add(layout_panel, x, y, x + w, y + h, "panel");
	if (style == 11 && mnw.wind_type != 0 && !(mnw.wind_type >= 994 && mnw.wind_type <= 999)) BTN_zap_boxes(0);
}

void BTN_fillwin(int frame_style_flag, int inner)
{
	const float w = mnw.wind_dx, h = mnw.wind_dy;
	BTN_frame2(frame_style_flag ? 11 : 12, 0, 0, w, h, stls[stls_entry_title]);
	if (inner == 1) BTN_frame1(1, w / 2, h - 50, w, 0);
	else if (inner != 21) BTN_frame2(inner, 10, 10, w - 20, h - 40, "");
}

void BTN_subwin(float top_margin, int style, float x, float y, float w, float h, std::string title, float* next_x,
                float* next_y)
{
	if (x < 0) x = 10;
	if (y < 0) y = 10;
	if (w < 0) w = mnw.wind_dx - 10 - x;
	if (h < 0) h = mnw.wind_dy - 28 - y - top_margin;
	BTN_frame2(style, x, y, w, h, title);
	if (next_x) *next_x = x + w + 10;
	if (next_y) *next_y = y + h + 10;
}

void stand_io_dialog(int window_type, int file_type, std::string path)
{
	static std::string last_path;
	static BTN_preview preview;
	static int icon_loaded = 0;

	OGL_plot_back_col();
	BTN_fillwin(1, 21);
	BTN_frame2(15, 10, 300, io_dx, 120, "");
	if (window_type == 998 && (file_type == 3 || file_type == 8 || file_type == 20)) {
		BTN_frame2(15, 331, 70, 220, 220, "");
		BTN_frame2(15, 331, 300, 220, 120, "");
	}
	const bool changed = path != last_path;
	if (file_type == 3 && (path.find(".acf") != std::string::npos || path.find(".ACF") != std::string::npos)) {
		if (changed) {
			preview = BTN_read_acf_preview(path);
			icon_loaded = 0;
			if (preview.ok && path.size() >= 4) {
				const std::string icon = path.substr(0, path.size() - 4) + "_icon.png";
				icon_loaded = tman.load_texture(tex_fail_silent, 410, 0x511, tex_loaded, icon) ? 1 : 0;
			}
		}
		float ty = 405;
		for (int i = 0; i < 4; ++i) ty = OGL_string(47, 341, ty, preview.texts[i], 200, 0, 0) - 10;
		if (icon_loaded && 410 < (int)tman.ref_dat.size()) {
			const ref_dat_struct& r = tman.ref_dat[410];
			const float s = r.tex_w > 0 ? r.image_w / r.tex_w : 1, t = r.tex_h > 0 ? r.image_h / r.tex_h : 1;
			OGL_2dquad(410, 49, 1.0f, 341, 80, 0, 0, 341, 280, 0, t, 541, 280, s, t, 541, 80, s, 0, 1, 5);
		}
	} else if (file_type == 8 && path.find(".fdr") != std::string::npos) {
		if (changed) preview = BTN_read_fdr_preview(path);
		if (!preview.comment.empty()) OGL_string(47, 341, 270, preview.comment, 200, 0, 0);
	}
	last_path = path;
}

void OGL_boxed_string(float x, float y, const std::string& label, const std::string& value, charset_t charset,
                      int colour)
{
	std::string left, right, third;
	BTN_expand_label(label, left, right, third);
	const float w = charset == 1 ? 10.0f * value.size() + 7 : charset == 0 ? OGL_measure_string(value, 0) + 7 : 100;
	BTN_frame1(9, x, y + 3, w, 0);
	BTN_util_draw_label(x - w / 2 - 8, y, 0, left, 0);
	BTN_util_draw_label(x + w / 2 + 8, y, 2, right, 0);
	OGL_font_string(colour, x - w / 2 + 4, y - 1, value, 9999, charset, 0, 0);
}
