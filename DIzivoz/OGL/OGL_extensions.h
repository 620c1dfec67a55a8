#pragma once
// What the OpenGL implementation can do: the version, one flag per feature,
// the entry points of the extension families the drawing code uses and a few
// limits. Filled once by init_extensions at start-up, read-only afterwards
// (except that threaded_ogl_failed may clear threaded_avail).
#include "DIzivoz/OGL/OGL_gl.h"

// Entry points by family, in lookup order.
#define OGL_EXT_BUFFER_OBJECTS(X) \
	X(glBindBufferARB) X(glDeleteBuffersARB) X(glGenBuffersARB) X(glIsBufferARB) X(glBufferDataARB) \
	X(glBufferSubDataARB) X(glGetBufferSubDataARB) X(glMapBufferARB) X(glUnmapBufferARB) \
	X(glGetBufferParameterivARB) X(glGetBufferPointervARB)
#define OGL_EXT_ARB_PROGRAMS(X) \
	X(glVertexAttrib1dARB) X(glVertexAttrib1dvARB) X(glVertexAttrib1fARB) X(glVertexAttrib1fvARB) \
	X(glVertexAttrib1sARB) X(glVertexAttrib1svARB) \
	X(glVertexAttrib2dARB) X(glVertexAttrib2dvARB) X(glVertexAttrib2fARB) X(glVertexAttrib2fvARB) \
	X(glVertexAttrib2sARB) X(glVertexAttrib2svARB) \
	X(glVertexAttrib3dARB) X(glVertexAttrib3dvARB) X(glVertexAttrib3fARB) X(glVertexAttrib3fvARB) \
	X(glVertexAttrib3sARB) X(glVertexAttrib3svARB) \
	X(glVertexAttrib4NbvARB) X(glVertexAttrib4NivARB) X(glVertexAttrib4NsvARB) X(glVertexAttrib4NubARB) \
	X(glVertexAttrib4NubvARB) X(glVertexAttrib4NuivARB) X(glVertexAttrib4NusvARB) X(glVertexAttrib4bvARB) \
	X(glVertexAttrib4dARB) X(glVertexAttrib4dvARB) X(glVertexAttrib4fARB) X(glVertexAttrib4fvARB) \
	X(glVertexAttrib4ivARB) X(glVertexAttrib4sARB) X(glVertexAttrib4svARB) X(glVertexAttrib4ubvARB) \
	X(glVertexAttrib4uivARB) X(glVertexAttrib4usvARB) X(glVertexAttribPointerARB) \
	X(glEnableVertexAttribArrayARB) X(glDisableVertexAttribArrayARB) X(glProgramStringARB) \
	X(glBindProgramARB) X(glDeleteProgramsARB) X(glGenProgramsARB) X(glProgramEnvParameter4dARB) \
	X(glProgramEnvParameter4dvARB) X(glProgramEnvParameter4fARB) X(glProgramEnvParameter4fvARB) \
	X(glProgramLocalParameter4dARB) X(glProgramLocalParameter4dvARB) X(glProgramLocalParameter4fARB) \
	X(glProgramLocalParameter4fvARB) X(glGetProgramEnvParameterdvARB) X(glGetProgramEnvParameterfvARB) \
	X(glGetProgramLocalParameterdvARB) X(glGetProgramLocalParameterfvARB) X(glGetProgramivARB) \
	X(glGetProgramStringARB) X(glGetVertexAttribdvARB) X(glGetVertexAttribfvARB) X(glGetVertexAttribivARB) \
	X(glGetVertexAttribPointervARB) X(glIsProgramARB)
#define OGL_EXT_OCCLUSION_QUERIES(X) \
	X(glGenQueriesARB) X(glDeleteQueriesARB) X(glIsQueryARB) X(glBeginQueryARB) X(glEndQueryARB) \
	X(glGetQueryivARB) X(glGetQueryObjectivARB) X(glGetQueryObjectuivARB)
#define OGL_EXT_SHADER_OBJECTS(X) \
	X(glDeleteObjectARB) X(glGetHandleARB) X(glDetachObjectARB) X(glCreateShaderObjectARB) \
	X(glShaderSourceARB) X(glCompileShaderARB) X(glCreateProgramObjectARB) X(glAttachObjectARB) \
	X(glLinkProgramARB) X(glUseProgramObjectARB) X(glValidateProgramARB) \
	X(glUniform1fARB) X(glUniform2fARB) X(glUniform3fARB) X(glUniform4fARB) \
	X(glUniform1iARB) X(glUniform2iARB) X(glUniform3iARB) X(glUniform4iARB) \
	X(glUniform1fvARB) X(glUniform2fvARB) X(glUniform3fvARB) X(glUniform4fvARB) \
	X(glUniform1ivARB) X(glUniform2ivARB) X(glUniform3ivARB) X(glUniform4ivARB) \
	X(glUniformMatrix2fvARB) X(glUniformMatrix3fvARB) X(glUniformMatrix4fvARB) \
	X(glGetObjectParameterfvARB) X(glGetObjectParameterivARB) X(glGetInfoLogARB) \
	X(glGetAttachedObjectsARB) X(glGetUniformLocationARB) X(glGetActiveUniformARB) \
	X(glGetUniformfvARB) X(glGetUniformivARB) X(glGetShaderSourceARB)
#define OGL_EXT_VERTEX_SHADER(X) X(glBindAttribLocationARB) X(glGetActiveAttribARB) X(glGetAttribLocationARB)
#define OGL_EXT_GEOMETRY_SHADER(X) X(glProgramParameteriEXT)
#define OGL_EXT_FRAMEBUFFER_OBJECTS(X) \
	X(glIsRenderbufferEXT) X(glBindRenderbufferEXT) X(glDeleteRenderbuffersEXT) X(glGenRenderbuffersEXT) \
	X(glRenderbufferStorageEXT) X(glGetRenderbufferParameterivEXT) X(glIsFramebufferEXT) \
	X(glBindFramebufferEXT) X(glDeleteFramebuffersEXT) X(glGenFramebuffersEXT) \
	X(glCheckFramebufferStatusEXT) X(glFramebufferTexture1DEXT) X(glFramebufferTexture2DEXT) \
	X(glFramebufferTexture3DEXT) X(glFramebufferRenderbufferEXT) \
	X(glGetFramebufferAttachmentParameterivEXT) X(glGenerateMipmapEXT)
#define OGL_EXT_COMPRESSED_TEXTURES(X) \
	X(glCompressedTexImage3DARB) X(glCompressedTexImage2DARB) X(glCompressedTexImage1DARB) \
	X(glCompressedTexSubImage3DARB) X(glCompressedTexSubImage2DARB) X(glCompressedTexSubImage1DARB) \
	X(glGetCompressedTexImageARB)
#define OGL_EXT_SEPARATE_BLENDING(X) X(glBlendFuncSeparateEXT) X(glBlendEquationSeparateEXT)

#define OGL_EXT_ALL_ENTRY_POINTS(X) \
	OGL_EXT_BUFFER_OBJECTS(X) OGL_EXT_ARB_PROGRAMS(X) OGL_EXT_OCCLUSION_QUERIES(X) OGL_EXT_SHADER_OBJECTS(X) \
	OGL_EXT_VERTEX_SHADER(X) OGL_EXT_GEOMETRY_SHADER(X) OGL_EXT_FRAMEBUFFER_OBJECTS(X) \
	OGL_EXT_COMPRESSED_TEXTURES(X) OGL_EXT_SEPARATE_BLENDING(X)

// The availability flags, in order.
#define OGL_EXT_FLAGS(X) \
	X(multitexture_avail) X(tex_clamp_avail) X(add_env_avail) X(combine_avail) X(dis_fog_avail) \
	X(tex_comp_avail) X(vbo_avail) X(pbo_avail) X(vprog_avail) X(fprog_avail) X(automini_avail) \
	X(aniso_avail) X(fsaa_avail) X(sprites_avail) X(depth_tex_avail) X(occlude_avail) X(shad_objs_avail) \
	X(vshader_avail) X(fshader_avail) X(gshader_avail) X(glsl_avail) X(first_gen_shaders) \
	X(framebuf_avail) X(sblend_avail) X(threaded_avail)

class OGL_extensions {
public:
	constexpr OGL_extensions() = default;

	// 0 once SDL has loaded the OpenGL library, else an error code.
	int init_entry_points();
	// The probe: fills the flags, entry points and limits, the strings and
	// limits of `ren`, writes the report to the log and raises the hardware
	// alerts. Called once, with the context current.
	void init_extensions();
	// Clears the threaded-loading permission and warns once.
	void threaded_ogl_failed();

#define OGL_EXT_FIELD(name) decltype(&::name) name = nullptr;
	OGL_EXT_ALL_ENTRY_POINTS(OGL_EXT_FIELD)
#undef OGL_EXT_FIELD

	// threaded_avail: worker threads may get a shared loader context. No
	// shared loader contexts exist here, so it starts 0.
#define OGL_EXT_FLAG_FIELD(name) int name = 0;
	OGL_EXT_FLAGS(OGL_EXT_FLAG_FIELD)
#undef OGL_EXT_FLAG_FIELD

	int max_tex_size = 0;  // GL_MAX_TEXTURE_SIZE
};

extern OGL_extensions glExt;

// The OS version the renderer workarounds compare with, as 0xMMmp (0x1048 is
// 10.4.8); 0 when unknown, which applies none of them. Linux has no such
// version, so it stays 0 unless a test sets it.
extern int OGL_os_version;
