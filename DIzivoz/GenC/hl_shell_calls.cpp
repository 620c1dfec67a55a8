#include "DIzivoz/GenC/hl_shell_calls.h"

#include <algorithm>
#include <cmath>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"
#include "DIzivoz/OOPS_cpp/qtim.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/TEX/TEX_utils.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include <cstring>
#include "Platform/plat_shell.h"
#include "Platform/plat_swap.h"

// The drawing calls need a context; a scripted window system has none.
static bool can_draw() { return mnw.context[0] && !PLAT().fake_gl(); }

void shell_pix_specs()
{
	if (can_draw()) {
		OGL_pix_specs(0);
		return;
	}
	// The fields alone.
	mnw.gui_scale = 1.0f;
	mnw.ortho_left = mnw.ortho_bottom = 0;
	mnw.ortho_right = (float)mnw.x_res;
	mnw.ortho_top = (float)mnw.y_res;
	mnw.center_x = mnw.x_res / 2.0f;
	mnw.center_y = 384.0f;
	mnw.margin_x = mnw.wind_type == -1 ? 0.0f : std::max(0.0f, (mnw.x_res - 1024) / 2.0f);
	mnw.margin_y = std::max(0.0f, (float)(mnw.y_res - 768));
}

void shell_viewport_2d()
{
	if (can_draw()) OGL_viewport(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0);
}

void shell_flush()
{
	if (can_draw()) gl.Flush();
}

void shell_sbuff()
{
	if (can_draw()) OGL_sbuff();
	else APL_swap_window(mnw.window[0]);
}

void shell_plot_back_col()
{
	if (can_draw()) OGL_plot_back_col();
}

void shell_nrml_colors()
{
	if (can_draw()) OGL_nrml_colors();
}

void shell_string(int colour, float x, float y, const std::string& text, float wrap, int font, int align)
{
	if (can_draw()) OGL_string(colour, x, y, text, wrap, (charset_t)font, align);
}

void shell_fillrect(int colour, float alpha, float x, float y, float w, float h)
{
	if (can_draw()) OGL_fillrect(colour, alpha, x, y, w, h);
}

float shell_string_y(int colour, float x, float y, const std::string& text, float wrap)
{
	if (can_draw()) return OGL_string(colour, x, y, text, wrap, (charset_t)charset_regular, 0);
	if (text.empty()) return y;
	const float w = 7.0f * text.size();
	return y - 10.0f * (wrap > 0 ? std::ceil(w / wrap) : 1.0f);
}

float shell_str_dx(const std::string& text) { return can_draw() ? str_dx(text) : 7.0f * text.size(); }

void shell_line(int colour, float alpha, float x1, float y1, float x2, float y2)
{
	if (can_draw()) OGL_line(colour, alpha, x1, y1, x2, y2);
}

void shell_cursor_quad(float x, float y, float u0, float v0, float u1, float v1)
{
	if (!can_draw()) return;
	OGL_2dquad(392, 49, 1.0f, x - 15, y - 15, u0, v0, x + 15, y - 15, u1, v0, x + 15, y + 15, u1, v1, x - 15,
	           y + 15, u0, v1, 1, 0);
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
	// A drawing call that raised the alert may have left a begin/end block or
	// a display list open; ending one that is not open only sets an error,
	// which is read and dropped with the rest.
	gl.End();
	gl.EndList();
	for (int i = 0; i < 30 && gl.GetError() != GL_NO_ERROR; ++i) {
	}
	shell_nrml_colors();
	if (glExt.glsl_avail && glExt.glUseProgramObjectARB) glExt.glUseProgramObjectARB(0);
	if (glExt.framebuf_avail && glExt.glBindFramebufferEXT) glExt.glBindFramebufferEXT(0x8D40, 0);
	gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
	gl.Disable(GL_SCISSOR_TEST);
}

void shell_frame1(int style, float cx, float y, float w)
{
	if (can_draw()) BTN_frame1(style, cx, y, w, 0);
}

void shell_frame2(int style, float x, float y, float w, float h, const std::string& title)
{
	if (can_draw()) BTN_frame2(style, x, y, w, h, title);
}

void shell_util_element(float x, float y, float cx, float cy, float w, float h)
{
	if (can_draw()) BTN_util_element(x, y, cx, cy, w, h, 0);
}

void shell_fillwin(int style, int inner)
{
	if (can_draw()) BTN_fillwin(style, inner);
}

static float wx_global = 0, wy_global = 0;
void shell_subwin_alert()
{
	if (can_draw()) BTN_subwin(0, 13, -1, 35, -1, -1, "", &wx_global, &wy_global);
}

// The widgets also take the press without a context (tests on a scripted
// window system): the hit test is theirs, only the drawing is skipped.
int shell_action(float x, float y, float w, const std::string& label)
{
	if (can_draw()) return BTN_action(x, y, w, 0, 1, label, "-");
	if (w <= 0) w = 7.0f * label.size() + 21;
	return mnw.mouse_click && mnw.menu_open < 0 && std::fabs(mnw.mouse_x - x) <= w / 2 &&
	       std::fabs(mnw.mouse_y - y) <= 10;
}

int shell_is_int(float x, float y, int* var, int value, const std::string& label)
{
	if (can_draw()) return BTN_is_int(x, y, var, value, label);
	if (mnw.mouse_click && mnw.mouse_x >= x && mnw.mouse_x <= x + 100 && std::fabs(mnw.mouse_y - y) <= 8) {
		*var = value;
		return 1;
	}
	return 0;
}

void shell_begin_focus_ring() { BTN_begin_focus_ring(); }
void shell_zap_boxes()
{
	if (can_draw()) BTN_zap_boxes(1);
}

int shell_load_interface_textures()
{
	if (!can_draw()) return 0;
	tman.load_texture(tex_fail_fatal, 396, 0x502, tex_loaded, "RESOURCE:map.png");
	tman.load_texture(tex_fail_fatal, 397, 0x501, tex_loaded, "RESOURCE:background.png");
	tman.load_texture(tex_fail_fatal, 392, 0x702, tex_loaded, "RESOURCE:interface.png");
	return 1;
}

void shell_reset_bind() { tman.reset_bind(); }

int shell_tex_fail(int which)
{
	if (which == 0) return tman.has_scene_load_fail();
	if (which == 1) return tman.has_plane_load_fail();
	return which == 2 ? tman.has_instl_load_fail() : 0;
}
void shell_tex_mute(int which)
{
	if (which == 0) tman.mute_scene_load_fail();
	if (which == 1) tman.mute_plane_load_fail();
	if (which == 2) tman.mute_instl_load_fail();
}
void shell_tex_fail_set_for_test(int which, int on)
{
	if (which == 0) tman.scene_load_fail = on;
	if (which == 1) tman.plane_load_fail = on;
	if (which == 2) tman.instl_load_fail = on;
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
