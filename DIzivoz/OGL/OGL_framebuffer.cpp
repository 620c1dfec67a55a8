#include "DIzivoz/OGL/OGL_framebuffer.h"

#include <cstdio>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_shared.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/oglp.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "DIzivoz/Thread/UTL_thread.h"
#include "DIzivoz/UTL/UTL_stats.h"

namespace {
UTL_stat g_fbo_flushes("fbo/flush_per_frame", stat_per_frame, 0);

// The texture manager's lock for one scope (released also when an alert
// unwinds).
class tman_hold {
public:
	tman_hold() { UTL_critical_section_lock(&tman.lock); }
	~tman_hold() { UTL_critical_section_unlock(&tman.lock); }
	tman_hold(const tman_hold&) = delete;
	tman_hold& operator=(const tman_hold&) = delete;
};
}  // namespace

OGL_framebuffer::OGL_framebuffer(int in_tex_ref, fbo_id in_fbo, int in_tex_flags, int in_render_w, int in_render_h,
                                 unsigned long in_depth_rb)
	: fbo(in_fbo),
	  depth_rb(in_depth_rb),
	  tex_ref(in_tex_ref),
	  tex_flags(in_tex_flags),
	  render_w(in_render_w),
	  render_h(in_render_h)
{
}

void OGL_framebuffer::set_render_size(int w, int h)
{
	render_w = w;
	render_h = h;
}

int OGL_framebuffer::check_target(int w, int h, const char* name, int flags)
{
	tman_hold hold;
	if (tex_ref >= 0 && tex_ref < (int)tman.ref_dat.size()) {
		const ref_dat_struct& slot = tman.ref_dat[(size_t)tex_ref];
		// By the size asked for: the texture itself may be the next power of
		// two up, which no request of another size would match.
		if (slot.format != 0 && slot.load_time == tex_loaded && slot.image_w == (float)w && slot.image_h == (float)h)
			return 1;
	}
	scratch_dx = w;
	scratch_dy = h;
	tman.load_texture(tex_fail_fatal, tex_ref, flags, tex_loaded, name);
	return 0;
}

void OGL_framebuffer::begin_render(int in_use_fbo)
{
	use_fbo = in_use_fbo;
	pass_w = render_w;
	pass_h = render_h;
	if (glExt.framebuf_avail && use_fbo) {
		GLint bound = 0;
		gl.GetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
		saved_fbo = bound;
		glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
		if (!check_target(render_w, render_h, "scratch_array-fbo", tex_flags | 0x1500)) {
			if ((tex_flags & 7) == 6) {
				gl.DrawBuffer(GL_NONE);
				gl.ReadBuffer(GL_NONE);
				glExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D,
				                                (GLuint)tex_ref, 0);
			} else {
				glExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
				                                (GLuint)tex_ref, 0);
				if (depth_rb) {
					glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, (GLuint)depth_rb);
					glExt.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, render_w, render_h);
					glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
				}
				// 0 detaches a depth buffer left from an earlier pass.
				glExt.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
				                                   (GLuint)depth_rb);
			}
			const GLenum status = glExt.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
			if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
				char value[64];
				snprintf(value, sizeof value, "%f", (double)status);
				__MACIBM_alert(0, "ERROR: incomplete framebuffer.", value, "", "", alert_fatal,
				               "DIzivoz/OGL/OGL_framebuffer", 74);
			}
		}
	} else {
		// Halve until the corner fits the window (never below one pixel).
		while (pass_w > 1 && mnw.x_res < pass_w) pass_w >>= 1;
		while (pass_h > 1 && mnw.y_res < pass_h) pass_h >>= 1;
		check_target(pass_w, pass_h, "scratch_array-mTexID", tex_flags | 0x500);
	}
	saved_ortho[0] = mnw.ortho_left;
	saved_ortho[1] = mnw.ortho_bottom;
	saved_ortho[2] = mnw.ortho_right;
	saved_ortho[3] = mnw.ortho_top;
	saved_margin_x = mnw.margin_x;
	saved_win_w = (float)mnw.x_res;
	saved_win_h = (float)mnw.y_res;
	mnw.ortho_left = 0;
	mnw.ortho_bottom = 0;
	mnw.ortho_right = (float)pass_w;
	mnw.ortho_top = (float)pass_h;
	mnw.x_res = pass_w;
	mnw.y_res = pass_h;
	mnw.margin_x = 0;
	TEX_reset_bind();
}

void OGL_framebuffer::end_render()
{
	g_fbo_flushes.value += 1;
	mnw.ortho_left = saved_ortho[0];
	mnw.ortho_bottom = saved_ortho[1];
	mnw.ortho_right = saved_ortho[2];
	mnw.ortho_top = saved_ortho[3];
	mnw.margin_x = saved_margin_x;
	mnw.x_res = (int)saved_win_w;
	mnw.y_res = (int)saved_win_h;
	if (use_fbo && glExt.framebuf_avail) {
		glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, (GLuint)saved_fbo);
		if (tex_flags & 0x08) {
			OGL_setstate(1, 1, 3, 5, 9, 11);
			tman.bind_ref(tex_ref, 0, 0);
			glExt.glGenerateMipmapEXT(GL_TEXTURE_2D);
		}
	} else {
		OGL_setstate(1, 1, 3, 5, 9, 11);
		tman.bind_ref(tex_ref, 0, 0);
		gl.CopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, pass_w, pass_h);
	}
}
