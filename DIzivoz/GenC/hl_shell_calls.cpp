#include "DIzivoz/GenC/hl_shell_calls.h"

#include <algorithm>
#include <cmath>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"
#include "DIzivoz/OOPS_cpp/oglp.h"
#include "DIzivoz/OOPS_cpp/qtim.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/TEX/TEX_utils.h"
#include <cstring>
#include "Platform/plat_shell.h"
#include "Platform/plat_swap.h"

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

// STAND-IN for OGL_sbuff until the drawing layer is whole: the platform swap it ends in.
void shell_sbuff() { APL_swap_window(mnw.window[0]); }

// STAND-IN until the background layer lands: clears to palette 34.
void shell_plot_back_col()
{
	if (!mnw.context[0]) return;
	gl.ClearColor(colr.rgb[34][0], colr.rgb[34][1], colr.rgb[34][2], 1.0f);
	gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void shell_nrml_colors()
{
	if (mnw.context[0]) OGL_nrml_colors();
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

void shell_setstate_second_window() { OGL_setstate(1, 0, 3, 4, 9, 11); }

// A scripted window system has no OpenGL behind its contexts.
int shell_init_entry_points() { return PLAT().fake_gl() ? 0 : glExt.init_entry_points(); }
void shell_init_extensions()
{
	if (!PLAT().fake_gl()) glExt.init_extensions();
}

void shell_default_gl_state(int aa_level)
{
	if (PLAT().fake_gl()) return;
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
	if (glExt.glsl_avail && glExt.glUseProgramObjectARB) glExt.glUseProgramObjectARB(0);
	if (glExt.framebuf_avail && glExt.glBindFramebufferEXT) glExt.glBindFramebufferEXT(0x8D40, 0);
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

void shell_begin_focus_ring() { BTN_begin_focus_ring(); }
// STAND-IN until the button widgets land.
void shell_zap_boxes() {}

// STAND-IN until the texture manager lands: no textures are made; the
// interface picture is read into the scratch buffer as its loads leave it,
// so start-up samples the palette from the real picture.
int shell_load_interface_textures()
{
	std::string folder;
	get_OS_abs_path(os_dir_this_app, folder);
	unsigned char* pixels = nullptr;
	TEX_image_desc desc;
	if (!TEX_load_any_ext(folder + "Resources/interface.png", pixels, GL_RGBA, 0, 0, desc) || !pixels) {
		xer << "Could not read Resources/interface.png.\n";
		return 0;
	}
	const long long bytes = 4LL * desc.width * desc.height;
	if (!scratch_array) MACIBM_alloc_scratch();
	if (desc.format == GL_RGBA && bytes <= scratch_array_bytes) {
		std::memcpy(scratch_array, pixels, (size_t)bytes);
		scratch_dx = desc.width;
		scratch_dy = desc.height;
	}
	delete[] pixels;
	return 1;
}
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

void shell_handle_key_raw(EventRecord* e)
{
	MACIBM_handleclick_target = MACIBM_handleclick;
	keys.handle_key_raw(e);
}
void shell_run_repeat_keys() { keys.run_repeat_keys(); }
void shell_keys_save() { keys.keys_io(1); }

int shell_mov_per_frame() { return qtim.mov_per_frame(); }
void shell_mov_stop_thread() { qtim.stop_thread(); }
