#include "DIzivoz/GenC/hl_shell_calls.h"

#include <algorithm>
#include <cmath>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "Platform/plat_shell.h"

namespace {
void set_colour(int colour, float alpha)
{
	if (colour < 0 || colour >= colr_count) colour = 0;
	gl.Color4f(colr.rgb[colour][0], colr.rgb[colour][1], colr.rgb[colour][2], alpha);
}
// Sub-window coordinates to window coordinates.
float wx(float x) { return x + mnw.wind_x; }
float wy(float y) { return y + mnw.wind_y; }
int tex_fail_flags[3];
}  // namespace

// STAND-IN until the viewport layer lands: the fields OGL_pix_specs fills and
// the full-window 2-D view.
void shell_pix_specs()
{
	mnw.gui_scale = 1.0f;
	mnw.ortho_left = 0;
	mnw.ortho_bottom = 0;
	mnw.ortho_right = (float)mnw.x_res;
	mnw.ortho_top = (float)mnw.y_res;
	mnw.center_x = mnw.x_res / 2.0f;
	mnw.center_y = 384.0f;
	mnw.margin_x = std::max(0.0f, (mnw.x_res - 1024) / 2.0f);
	mnw.margin_y = std::max(0.0f, (float)(mnw.y_res - 768));
	shell_viewport_2d();
}

// STAND-IN until the viewport layer lands.
void shell_viewport_2d()
{
	if (!mnw.context[0]) return;
	gl.Viewport(0, 0, mnw.x_res, mnw.y_res);
	gl.MatrixMode(GL_PROJECTION);
	gl.LoadIdentity();
	gl.Ortho(0, mnw.x_res, 0, mnw.y_res, -1, 1);
	gl.MatrixMode(GL_MODELVIEW);
	gl.LoadIdentity();
}

// STAND-IN until the buffer-swap layer lands.
void shell_sbuff() { PLAT().swap(mnw.window[0]); }

// STAND-IN until the background layer lands: clears to palette 34.
void shell_plot_back_col()
{
	if (!mnw.context[0]) return;
	gl.ClearColor(colr.rgb[34][0], colr.rgb[34][1], colr.rgb[34][2], 1.0f);
	gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// STAND-IN until the drawing-state layer lands.
void shell_nrml_colors()
{
	if (mnw.context[0]) gl.Color4f(1, 1, 1, 1);
}

// STAND-IN until the text layer lands: no text is drawn.
void shell_string(int, float, float, const std::string&, float, int, int) {}

// STAND-IN until the 2-D layer lands: a plain filled quad.
void shell_fillrect(int colour, float alpha, float x, float y, float w, float h)
{
	if (!mnw.context[0]) return;
	gl.Disable(GL_TEXTURE_2D);
	gl.Enable(GL_BLEND);
	gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
	set_colour(colour, alpha > 0.99f ? 1.0f : alpha);
	gl.Begin(GL_QUADS);
	gl.Vertex2f(wx(x), wy(y));
	gl.Vertex2f(wx(x + w), wy(y));
	gl.Vertex2f(wx(x + w), wy(y + h));
	gl.Vertex2f(wx(x), wy(y + h));
	gl.End();
}

// STAND-IN until the text layer lands: 7 units a byte.
float shell_str_dx(const std::string& text) { return 7.0f * text.size(); }

// STAND-IN until the 2-D layer lands.
void shell_line(int colour, float alpha, float x1, float y1, float x2, float y2)
{
	if (!mnw.context[0]) return;
	set_colour(colour, alpha);
	gl.Begin(GL_LINES);
	gl.Vertex2f(wx(x1), wy(y1));
	gl.Vertex2f(wx(x2), wy(y2));
	gl.End();
}

// STAND-IN until the 2-D layer and texture manager land: an untextured square.
void shell_cursor_quad(float x, float y, float, float, float, float)
{
	shell_fillrect(49, 1.0f, x - 15, y - 15, 30, 30);
}

// STAND-IN until the drawing-state layer lands.
void shell_setstate_second_window() {}

// STAND-IN until the capability probe lands: SDL loaded libGL with the context.
int shell_init_entry_points() { return mnw.context[0] ? 0 : 1; }
// STAND-IN until the capability probe lands.
void shell_init_extensions() {}

void shell_default_gl_state(int aa_level)
{
	const GLfloat zero[4] = {0, 0, 0, 0};
	gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, zero);
	gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
	gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
	gl.AlphaFunc(GL_GREATER, 0);
	gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
	gl.DepthFunc(GL_LEQUAL);
	gl.Fogi(GL_FOG_MODE, GL_LINEAR);
	gl.Hint(GL_FOG_HINT, GL_FASTEST);
	gl.FrontFace(GL_CW);
	gl.CullFace(GL_BACK);
	gl.ShadeModel(GL_SMOOTH);
	gl.Enable(GL_DITHER);
	gl.Disable(GL_COLOR_LOGIC_OP);
	gl.Disable(GL_STENCIL_TEST);
	gl.Disable(GL_TEXTURE_1D);
	gl.Disable(GL_NORMALIZE);
	gl.Disable(GL_SCISSOR_TEST);
	gl.ColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
	gl.Enable(GL_COLOR_MATERIAL);
	if (aa_level > 0) gl.Enable(GL_MULTISAMPLE);
	else gl.Disable(GL_MULTISAMPLE);
	gl.DepthMask(GL_FALSE);
}

void shell_alert_reset_gl()
{
	if (!mnw.context[0]) return;
	for (int i = 0; i < 30 && gl.GetError() != GL_NO_ERROR; ++i) {
	}
	shell_nrml_colors();
	gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
	gl.Disable(GL_SCISSOR_TEST);
}

// STAND-IN until the frames layer lands: a flat bar 10 units high.
void shell_frame1(int style, float cx, float y, float w)
{
	shell_fillrect(style, 1.0f, cx - w / 2, y - 5, w, 10);
}

// STAND-IN until the frames layer lands: a filled panel.
void shell_frame2(int style, float x, float y, float w, float h, const std::string&)
{
	shell_fillrect(style, 1.0f, x, y, w, h);
}

// STAND-IN until the artwork lands.
void shell_util_element(float x, float y, float, float, float w, float h)
{
	shell_fillrect(38, 1.0f, x, y, w, h);
}

// STAND-IN until the frames layer lands: the sub-window's panel.
void shell_fillwin(int, int) { shell_fillrect(35, 1.0f, 0, 0, mnw.wind_dx, mnw.wind_dy); }
void shell_subwin_alert() { shell_fillrect(36, 1.0f, 2, 2, mnw.wind_dx - 4, mnw.wind_dy - 4); }

// STAND-IN until the button widgets land: a 20-high rectangle that takes a press.
int shell_action(float x, float y, float w, const std::string&)
{
	if (w <= 0) w = 80;
	shell_fillrect(40, 1.0f, x - w / 2, y - 10, w, 20);
	return mnw.mouse_click && mnw.menu_open < 0 && std::fabs(mnw.mouse_x - x) <= w / 2 &&
	       std::fabs(mnw.mouse_y - y) <= 10;
}

// STAND-IN until the choice widgets land: a 12-unit box left of the label.
int shell_is_int(float x, float y, int* var, int value, const std::string&)
{
	shell_fillrect(*var == value ? 43 : 41, 1.0f, x, y - 6, 12, 12);
	if (mnw.mouse_click && mnw.mouse_x >= x && mnw.mouse_x <= x + 100 && std::fabs(mnw.mouse_y - y) <= 8) {
		*var = value;
		return 1;
	}
	return 0;
}

// STAND-IN until the focus ring lands.
void shell_begin_focus_ring() {}
// STAND-IN until the button widgets land.
void shell_zap_boxes() {}

// STAND-IN until the texture manager lands: nothing is loaded.
int shell_load_interface_textures() { return 0; }
void shell_reset_bind() {}

// STAND-IN until the texture manager lands: flags only a test raises.
int shell_tex_fail(int which) { return which >= 0 && which < 3 ? tex_fail_flags[which] : 0; }
void shell_tex_mute(int which)
{
	if (which >= 0 && which < 3) tex_fail_flags[which] = 0;
}
void shell_tex_fail_set_for_test(int which, int on)
{
	if (which >= 0 && which < 3) tex_fail_flags[which] = on;
}

// STAND-IN until the keyboard layer lands: Return, Escape and Delete flags,
// the last key, and Return closing an open sub-window.
void shell_handle_key_raw(EventRecord* e)
{
	if (e->what == plat_evt_key_up) return;
	const int code = (e->message >> 8) & 0xFF;
	if (code == 36) return_hit = 1;
	if (code == 53) escape_hit = 1;
	if (code == 51 || code == 117) delete_hit = 1;
	if (mnw.wind_type != 0 && return_hit) {
		MACIBM_handleclick(1);
		return;
	}
	if (e->code_point > 0 && (e->code_point & 0x7F)) mnw.key_last = e->code_point & 0x7F;
}
void shell_run_repeat_keys() {}
void shell_keys_save() {}

// STAND-IN until the movie recorder lands: it never swaps.
int shell_mov_per_frame() { return 0; }
