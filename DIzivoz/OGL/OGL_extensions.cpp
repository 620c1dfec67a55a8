#include "DIzivoz/OGL/OGL_extensions.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "Platform/plat_gl.h"

OGL_extensions glExt;
int OGL_os_version = 0;
// What the probe found and the switches every primitive reads; constant-
// initialised, so it exists from load with the global alpha at 1.
ren_struct ren;

static const char* const ext_src = "DIzivoz/OGL/OGL_extensions";

#define OGL_EXT_ONE(name, type) +1
static_assert(0 OGL_EXT_ALL_ENTRY_POINTS(OGL_EXT_ONE) == 150, "the probe looks up 150 entry points");
#undef OGL_EXT_ONE

int OGL_extensions::init_entry_points() { return plat_gl_load_library(); }

void OGL_extensions::threaded_ogl_failed()
{
	if (threaded_avail == 0) return;
	threaded_avail = 0;
	__MACIBM_alert(0, "There was a problem setting up OpenGL.",
	               "You can still fly, but you may experience pauses during flight while scenery loads.",
	               "", "(Please send your log.txt file to Tarnwick for debugging purposes.)",
	               alert_warning, ext_src, 637);
}

// The strings live here, not in the driver: ren keeps pointing at them even
// when the answer came from somewhere shorter-lived.
static std::string s_vendor, s_renderer, s_version, s_extensions;

// glGetString's text; null counts as empty.
static std::string gl_text(GLenum name)
{
	const GLubyte* s = gl.GetString(name);
	return s ? std::string((const char*)s) : std::string();
}

static GLint gl_int(GLenum pname)
{
	GLint v[4] = {0, 0, 0, 0};  // a few queries answer more than one value
	gl.GetIntegerv(pname, v);
	return v[0];
}

static int version_number(const std::string& version)
{
	int major = 0, minor = 0;
	if (sscanf(version.c_str(), "%d.%d", &major, &minor) == 2) return major * 100 + minor * 10;
	static const struct { const char* prefix; int v; } known[] = {
	    {"1.1", 110}, {"1.2", 120}, {"1.3", 130}, {"1.4", 140}, {"1.5", 150}, {"2.0", 200}, {"2.1", 210}};
	for (const auto& k : known)
		if (version.compare(0, 3, k.prefix) == 0) return k.v;
	return 100;
}

// Looks up each entry point of a family; a missing one is logged and
// switches the family off, the remaining lookups still go on.
template <class T>
static void look_up(T& field, const char* name, int& flag)
{
	field = (T)aglGetProcAddress(name);
	if (field == nullptr) {
		xer << "WARNING: extension missing proc " << name << "\n";
		flag = 0;
	}
}

void OGL_extensions::init_extensions()
{
	// 1. the strings
	s_vendor = gl_text(GL_VENDOR);
	s_renderer = gl_text(GL_RENDERER);
	s_version = gl_text(GL_VERSION);
	s_extensions = gl_text(GL_EXTENSIONS);
	ren.gl_vendor = s_vendor.c_str();
	ren.gl_renderer = s_renderer.c_str();
	ren.gl_version = s_version.c_str();
	ren.gl_extensions = s_extensions.c_str();
	const std::string& exts = s_extensions;
	auto has_ext = [&](const char* name) { return exts.find(name) != std::string::npos; };

	// 2. the version
	int V = version_number(s_version);

	// 3. feature flags: core from a version, or by extension below it
	auto feature = [&](int core, const char* ext1, const char* ext2 = nullptr) {
		if (core > 0 && V >= core) return 1;
		return (has_ext(ext1) || (ext2 && has_ext(ext2))) ? 1 : 0;
	};
	const int never = 0;
	multitexture_avail = feature(130, "GL_ARB_multitexture");
	tex_clamp_avail = feature(120, "GL_EXT_texture_edge_clamp", "GL_SGIS_texture_edge_clamp");
	add_env_avail = feature(130, "GL_ARB_texture_env_add", "GL_EXT_texture_env_add");
	combine_avail = feature(130, "GL_ARB_texture_env_combine", "GL_EXT_texture_env_combine");
	dis_fog_avail = feature(never, "GL_NV_fog_distance");
	tex_comp_avail = feature(130, "GL_ARB_texture_compression");
	vbo_avail = feature(150, "GL_ARB_vertex_buffer_object");
	pbo_avail = feature(210, "GL_ARB_pixel_buffer_object");
	vprog_avail = feature(never, "GL_ARB_vertex_program");
	fprog_avail = feature(never, "GL_ARB_fragment_program");
	automini_avail = feature(140, "GL_SGIS_generate_mipmap");
	aniso_avail = feature(never, "GL_EXT_texture_filter_anisotropic");
	fsaa_avail = feature(130, "GL_ARB_multisample");
	sprites_avail = feature(200, "GL_ARB_point_sprite");
	depth_tex_avail = feature(140, "GL_ARB_depth_texture");
	occlude_avail = feature(150, "GL_ARB_occlusion_query");
	shad_objs_avail = feature(200, "GL_ARB_shader_objects");
	vshader_avail = feature(200, "GL_ARB_vertex_shader");
	fshader_avail = feature(200, "GL_ARB_fragment_shader");
	gshader_avail = feature(never, "GL_EXT_geometry_shader4");
	glsl_avail = feature(200, "GL_ARB_shading_language_100");
	framebuf_avail = feature(never, "GL_EXT_framebuffer_object");
	sblend_avail = (has_ext("GL_EXT_blend_func_separate") && has_ext("GL_EXT_blend_equation_separate")) ? 1 : 0;

	// 4. renderer workarounds
	auto renderer_has = [&](const char* s) { return s_renderer.find(s) != std::string::npos; };
	if (OGL_os_version != 0) {
		if (OGL_os_version < 0x1040 && renderer_has("NVIDIA NV34MAP OpenGL Engine") &&
		    !cmdline.has_option("--use_pixel_counters")) {
			xer << "Disabling occlusion queries on OS X 10.3 for nVidia.\n";
			occlude_avail = 0;
		} else if (OGL_os_version <= 0x1048 && renderer_has("NVIDIA GeForce 7300 GT OpenGL Engine") &&
		           !cmdline.has_option("--use_pixel_counters")) {
			xer << "Disabling occlusion queries on OS X 10.4 for nVidia 7300 GT on 10.4.8.\n";
			occlude_avail = 0;
		}
	}
	if (glsl_avail && renderer_has("Intel GMA 950 OpenGL Engine") && !cmdline.has_option("--use_glsl")) {
		xer << "Disabling GLSL for GMA 950.\n";
		glsl_avail = 0;
	}
	if (sprites_avail &&
	    (s_renderer == "ATI Radeon HD 2600 PRO OpenGL Engine" || s_renderer == "ATI Radeon HD 2400 XT OpenGL Engine") &&
	    !cmdline.has_option("--use_sprites")) {
		xer << "Disabling point sprites for Radeon HD on OS X.\n";
		sprites_avail = 0;
	}
	if (glsl_avail && s_vendor.find("NVIDIA") != std::string::npos && !has_ext("GL_NV_fragment_program2"))
		first_gen_shaders = 1;

	// 5. entry points of the families that are on
#define OGL_EXT_LOOK(name, type) look_up(name, #name, family_flag);
	if (vbo_avail) { int& family_flag = vbo_avail; OGL_EXT_BUFFER_OBJECTS(OGL_EXT_LOOK) }
	if (vprog_avail) { int& family_flag = vprog_avail; OGL_EXT_ARB_PROGRAMS(OGL_EXT_LOOK) }
	if (occlude_avail) { int& family_flag = occlude_avail; OGL_EXT_OCCLUSION_QUERIES(OGL_EXT_LOOK) }
	if (shad_objs_avail) { int& family_flag = shad_objs_avail; OGL_EXT_SHADER_OBJECTS(OGL_EXT_LOOK) }
	if (gshader_avail) { int& family_flag = gshader_avail; OGL_EXT_GEOMETRY_SHADER(OGL_EXT_LOOK) }
	if (vshader_avail) { int& family_flag = vshader_avail; OGL_EXT_VERTEX_SHADER(OGL_EXT_LOOK) }
	if (framebuf_avail) { int& family_flag = framebuf_avail; OGL_EXT_FRAMEBUFFER_OBJECTS(OGL_EXT_LOOK) }
	if (tex_comp_avail) { int& family_flag = tex_comp_avail; OGL_EXT_COMPRESSED_TEXTURES(OGL_EXT_LOOK) }
	if (sblend_avail) { int& family_flag = sblend_avail; OGL_EXT_SEPARATE_BLENDING(OGL_EXT_LOOK) }
#undef OGL_EXT_LOOK

	// 6. pixel buffers ride on vertex buffers
	if (pbo_avail && !vbo_avail) {
		xer << "Disabling PBOs because VBOs are not available.  This probably means that VBOs are disabled for "
		       "compatibility reasons.\n";
		pbo_avail = 0;
	}

	// 7. dependencies
	if (!vprog_avail) fprog_avail = 0;
	if (!shad_objs_avail) fshader_avail = vshader_avail = gshader_avail = 0;
	if (!vshader_avail || !fshader_avail) glsl_avail = 0;

	// 8. fragment-program limits
	auto program_limit = [&](GLenum target, GLenum pname) {
		GLint v = 0;
		if (glGetProgramivARB) glGetProgramivARB(target, pname, &v);
		return v;
	};
	GLint fp_inst = 0, fp_alu = 0, fp_tex = 0, fp_ind = 0;
	if (fprog_avail) {
		fp_inst = program_limit(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB);
		fp_alu = program_limit(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_ALU_INSTRUCTIONS_ARB);
		fp_tex = program_limit(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_TEX_INSTRUCTIONS_ARB);
		fp_ind = program_limit(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_TEX_INDIRECTIONS_ARB);
		if (fp_inst == 0 && !cmdline.has_option("--use_fprogs")) fprog_avail = 0;
		if (fp_inst <= 99) first_gen_shaders = 1;
	}
	// 9. vertex-program limit
	GLint vp_inst = 0;
	if (vprog_avail) {
		vp_inst = program_limit(GL_VERTEX_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB);
		if (vp_inst == 0 && !cmdline.has_option("--use_vprogs")) vprog_avail = 0;
	}

	// 10. shader limits
	GLint vs_attribs = 0, vs_uniforms = 0, vs_varyings = 0, vs_combined = 0, vs_images = 0, fs_uniforms = 0;
	if (vshader_avail) {
		vs_attribs = gl_int(GL_MAX_VERTEX_ATTRIBS_ARB);
		vs_uniforms = gl_int(GL_MAX_VERTEX_UNIFORM_COMPONENTS_ARB);
		vs_varyings = gl_int(GL_MAX_VARYING_FLOATS_ARB);
		vs_combined = gl_int(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS_ARB);
		vs_images = gl_int(GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS_ARB);
	}
	if (fshader_avail) fs_uniforms = gl_int(GL_MAX_FRAGMENT_UNIFORM_COMPONENTS_ARB);
	std::string glsl_version = "n/a";
	if (glsl_avail) {
		const GLubyte* s = gl.GetString(GL_SHADING_LANGUAGE_VERSION_ARB);
		glsl_version = s ? (const char*)s : "<null string>";
	}

	// 11. limits into ren
	ren.max_aniso = 1.0f;
	ren.tex_units = gl_int(GL_MAX_TEXTURE_UNITS);
	ren.frag_tex_image_units = fprog_avail ? gl_int(GL_MAX_TEXTURE_IMAGE_UNITS_ARB) : ren.tex_units;
	ren.tex_coord_sets = vprog_avail ? gl_int(GL_MAX_TEXTURE_COORDS_ARB) : ren.tex_units;
	if (aniso_avail) {
		GLfloat a = 1.0f;
		gl.GetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &a);
		ren.max_aniso = a;
	}
	max_tex_size = gl_int(GL_MAX_TEXTURE_SIZE);
	GLfloat point_range[2] = {0, 0};
	gl.GetFloatv(GL_POINT_SIZE_RANGE, point_range);
	if (ren.tex_units == 0) ren.tex_units = 1;

	// 12. command-line overrides
	if (cmdline.has_option("--no_vbos")) vbo_avail = pbo_avail = 0;
	if (cmdline.has_option("--no_pbos")) pbo_avail = 0;
	if (cmdline.has_option("--no_sprites")) sprites_avail = 0;
	if (cmdline.has_option("--no_pixel_counters")) occlude_avail = 0;
	if (cmdline.has_option("--no_aniso_filtering")) {
		aniso_avail = 0;
		ren.max_aniso = 1.0f;
	}
	if (cmdline.has_option("--no_hw_mipmap")) automini_avail = 0;
	if (cmdline.has_option("--no_vshaders")) vprog_avail = 0;
	if (cmdline.has_option("--no_fshaders")) fprog_avail = 0;
	if (cmdline.has_option("--no_glsl")) glsl_avail = 0;
	if (cmdline.has_option("--no_fbos")) framebuf_avail = 0;
	if (cmdline.has_option("--no_threaded_ogl")) threaded_avail = 0;
	if (cmdline.has_option("--no_sblend")) sblend_avail = 0;

	// 13. the threaded engine is never offered
	threaded_avail = 0;

	// 14. the report
	xer << "OpenGL Vendor    : " << s_vendor << "\n";
	xer << "OpenGL Render    : " << s_renderer << "\n";
	xer << "OpenGL Version   : " << s_version << " (" << V << ")\n";
	xer << "OpenGL Extensions: " << s_extensions << "\n";
	xer << "tex_clamp_avail  : " << tex_clamp_avail << "\n";
	xer << "add_env_avail    : " << add_env_avail << "\n";
	xer << "combine_avail    : " << combine_avail << "\n";
	xer << "dis_fog_avail    : " << dis_fog_avail << "\n";
	xer << "tex_comp_avail   : " << tex_comp_avail << "\n";
	xer << "vbo_avail        : " << vbo_avail << "\n";
	xer << "pbo_avail        : " << pbo_avail << "\n";
	xer << "vprog_avail      : " << vprog_avail << " (" << vp_inst << ")\n";
	xer << "fprog_avail      : " << fprog_avail << " (" << fp_inst << "/" << fp_alu << "/" << fp_tex << "/" << fp_ind
	    << ")\n";
	xer << "automini_avail   : " << automini_avail << "\n";
	xer << "aniso_avail      : " << aniso_avail << "\n";
	xer << "fsaa_avail       : " << fsaa_avail << "\n";
	xer << "sprites_avail    : " << sprites_avail << "\n";
	xer << "depth_tex_avail  : " << depth_tex_avail << "\n";
	xer << "occlude_avail    : " << occlude_avail << "\n";
	xer << "shad_objs_avail  : " << shad_objs_avail << "\n";
	xer << "vshader_avail    : " << vshader_avail << " (" << vs_attribs << "/" << vs_uniforms << "/" << vs_varyings
	    << "/" << vs_combined << "/" << vs_images << "/" << fs_uniforms << ")\n";
	xer << "fshader_avail    : " << fshader_avail << " (" << fs_uniforms << ")\n";
	xer << "gshader_avail    : " << gshader_avail << "\n";
	xer << "glsl_avail       : " << glsl_avail << " (" << glsl_version << ")\n";
	xer << "framebuf_avail   : " << framebuf_avail << "\n";
	xer << "sblend_avail     : " << sblend_avail << "\n";
	xer << "threaded_avail   : " << threaded_avail << "\n";
	xer << "first-gen shaders: " << first_gen_shaders << "\n";
	xer << "max tex units    : " << ren.tex_units << " (" << ren.frag_tex_image_units << "/" << ren.tex_coord_sets
	    << ")\n";
	xer << "max iso filtering: " << ren.max_aniso << "\n";
	xer << "max texture size : " << max_tex_size << "\n";
	xer << "max point size   : " << point_range[1] << "\n";

	// 15. GLSL samples from every image unit
	if (glsl_avail && ren.frag_tex_image_units > ren.tex_units) ren.tex_units = ren.frag_tex_image_units;

	// 16. the hardware floor, then the software renderer
	if (!multitexture_avail && V < 110) {
		const char* l1 =
		    "Your graphics hardware cannot support Ventora. Ventora requires a graphics card with 16 MB of VRAM and "
		    "multitexturing.";
		if (cmdline.has_option("--force_run"))
			__MACIBM_alert(0, l1, "Your system does not meet Ventora's hardware requirements.",
			               "You have used the force-run command inline option to run Ventora anyway, but it may crash.",
			               std::string("Please see ") + ventora_web_site +
			                   " for system requirements and tech support information.",
			               alert_warning, ext_src, 590);
		else
			__MACIBM_alert(0, l1, "First, try updating your graphics drivers.",
			               "If this does not help, check your graphics card specifications.",
			               std::string("For tech support, please contact ") + ventora_support_email + ".",
			               alert_fatal, ext_src, 590);
	}
	if (s_renderer == "GENERIC" || s_renderer == "Generic" || s_renderer == "generic" ||
	    s_renderer == "Mesa GLX Indirect")
		__MACIBM_alert(0, "I can not find a 3-D accelerator card that can handle OpenGL that has correctly installed drivers.",
		               "I will still let you run the simulator, but the frame rate will NOT allow for a good simulation.",
		               std::string("You may want to run ") + ventora_older_edition +
		                   " instead, or get a 3-D accelerator card that can handle OpenGL.",
		               std::string("See ") + ventora_web_site + " for a list of currently compatible 3-D video cards.",
		               alert_warning, ext_src, 601);
}
