#pragma once
// Every core OpenGL call of the drawing code goes through this one table of
// function pointers, set to libGL's own functions. Tests wrap the table to
// record calls or to answer queries from a script; extension entry points are
// held by glExt and can be swapped the same way.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

// X(return type, name without the gl prefix, parameter list, argument list)
#define OGL_CORE_FUNCS(X) \
	X(void, Enable, (GLenum cap), (cap)) \
	X(void, Disable, (GLenum cap), (cap)) \
	X(GLboolean, IsEnabled, (GLenum cap), (cap)) \
	X(const GLubyte*, GetString, (GLenum name), (name)) \
	X(void, GetIntegerv, (GLenum pname, GLint* params), (pname, params)) \
	X(void, GetFloatv, (GLenum pname, GLfloat* params), (pname, params)) \
	X(void, GetDoublev, (GLenum pname, GLdouble* params), (pname, params)) \
	X(void, GetBooleanv, (GLenum pname, GLboolean* params), (pname, params)) \
	X(GLenum, GetError, (void), ()) \
	X(void, Hint, (GLenum target, GLenum mode), (target, mode)) \
	X(void, Finish, (void), ()) \
	X(void, Flush, (void), ()) \
	X(void, PushAttrib, (GLbitfield mask), (mask)) \
	X(void, PopAttrib, (void), ()) \
	/* textures */ \
	X(void, GenTextures, (GLsizei n, GLuint* textures), (n, textures)) \
	X(void, DeleteTextures, (GLsizei n, const GLuint* textures), (n, textures)) \
	X(GLboolean, IsTexture, (GLuint texture), (texture)) \
	X(void, BindTexture, (GLenum target, GLuint texture), (target, texture)) \
	X(void, TexImage2D, (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border, GLenum format, GLenum type, const void* pixels), (target, level, internalformat, width, height, border, format, type, pixels)) \
	X(void, CompressedTexImage2D, (GLenum target, GLint level, GLenum internalformat, GLsizei width, GLsizei height, GLint border, GLsizei imageSize, const void* data), (target, level, internalformat, width, height, border, imageSize, data)) \
	X(void, TexSubImage2D, (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height, GLenum format, GLenum type, const void* pixels), (target, level, xoffset, yoffset, width, height, format, type, pixels)) \
	X(void, CopyTexImage2D, (GLenum target, GLint level, GLenum internalformat, GLint x, GLint y, GLsizei width, GLsizei height, GLint border), (target, level, internalformat, x, y, width, height, border)) \
	X(void, CopyTexSubImage2D, (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y, GLsizei width, GLsizei height), (target, level, xoffset, yoffset, x, y, width, height)) \
	X(void, GetTexImage, (GLenum target, GLint level, GLenum format, GLenum type, void* pixels), (target, level, format, type, pixels)) \
	X(void, TexParameteri, (GLenum target, GLenum pname, GLint param), (target, pname, param)) \
	X(void, TexParameterf, (GLenum target, GLenum pname, GLfloat param), (target, pname, param)) \
	X(void, TexParameterfv, (GLenum target, GLenum pname, const GLfloat* params), (target, pname, params)) \
	X(void, GetTexParameteriv, (GLenum target, GLenum pname, GLint* params), (target, pname, params)) \
	X(void, GetTexParameterfv, (GLenum target, GLenum pname, GLfloat* params), (target, pname, params)) \
	X(void, GetTexLevelParameteriv, (GLenum target, GLint level, GLenum pname, GLint* params), (target, level, pname, params)) \
	X(void, TexEnvi, (GLenum target, GLenum pname, GLint param), (target, pname, param)) \
	X(void, TexEnvf, (GLenum target, GLenum pname, GLfloat param), (target, pname, param)) \
	X(void, TexEnvfv, (GLenum target, GLenum pname, const GLfloat* params), (target, pname, params)) \
	X(void, GetTexEnviv, (GLenum target, GLenum pname, GLint* params), (target, pname, params)) \
	X(void, GetTexEnvfv, (GLenum target, GLenum pname, GLfloat* params), (target, pname, params)) \
	X(void, TexGeni, (GLenum coord, GLenum pname, GLint param), (coord, pname, param)) \
	X(void, TexGenfv, (GLenum coord, GLenum pname, const GLfloat* params), (coord, pname, params)) \
	X(void, ActiveTexture, (GLenum texture), (texture)) \
	X(void, ClientActiveTexture, (GLenum texture), (texture)) \
	X(void, MultiTexCoord2f, (GLenum target, GLfloat s, GLfloat t), (target, s, t)) \
	X(void, PixelStorei, (GLenum pname, GLint param), (pname, param)) \
	X(void, PixelZoom, (GLfloat xfactor, GLfloat yfactor), (xfactor, yfactor)) \
	/* frame buffer */ \
	X(void, ReadPixels, (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels), (x, y, width, height, format, type, pixels)) \
	X(void, DrawPixels, (GLsizei width, GLsizei height, GLenum format, GLenum type, const void* pixels), (width, height, format, type, pixels)) \
	X(void, ReadBuffer, (GLenum mode), (mode)) \
	X(void, DrawBuffer, (GLenum mode), (mode)) \
	X(void, RasterPos2i, (GLint x, GLint y), (x, y)) \
	X(void, RasterPos2f, (GLfloat x, GLfloat y), (x, y)) \
	X(void, Viewport, (GLint x, GLint y, GLsizei width, GLsizei height), (x, y, width, height)) \
	X(void, Scissor, (GLint x, GLint y, GLsizei width, GLsizei height), (x, y, width, height)) \
	X(void, Clear, (GLbitfield mask), (mask)) \
	X(void, ClearColor, (GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha), (red, green, blue, alpha)) \
	X(void, ClearDepth, (GLdouble depth), (depth)) \
	X(void, ClearStencil, (GLint s), (s)) \
	X(void, ColorMask, (GLboolean red, GLboolean green, GLboolean blue, GLboolean alpha), (red, green, blue, alpha)) \
	X(void, DepthMask, (GLboolean flag), (flag)) \
	X(void, DepthFunc, (GLenum func), (func)) \
	X(void, DepthRange, (GLdouble n, GLdouble f), (n, f)) \
	X(void, BlendFunc, (GLenum sfactor, GLenum dfactor), (sfactor, dfactor)) \
	X(void, AlphaFunc, (GLenum func, GLfloat ref), (func, ref)) \
	X(void, StencilFunc, (GLenum func, GLint ref, GLuint mask), (func, ref, mask)) \
	X(void, StencilOp, (GLenum fail, GLenum zfail, GLenum zpass), (fail, zfail, zpass)) \
	X(void, CullFace, (GLenum mode), (mode)) \
	X(void, FrontFace, (GLenum mode), (mode)) \
	X(void, PolygonMode, (GLenum face, GLenum mode), (face, mode)) \
	X(void, PolygonOffset, (GLfloat factor, GLfloat units), (factor, units)) \
	X(void, ShadeModel, (GLenum mode), (mode)) \
	X(void, LineWidth, (GLfloat width), (width)) \
	X(void, PointSize, (GLfloat size), (size)) \
	X(void, LineStipple, (GLint factor, GLushort pattern), (factor, pattern)) \
	X(void, ClipPlane, (GLenum plane, const GLdouble* equation), (plane, equation)) \
	/* immediate mode */ \
	X(void, Begin, (GLenum mode), (mode)) \
	X(void, End, (void), ()) \
	X(void, EndList, (void), ()) \
	X(void, Vertex2i, (GLint x, GLint y), (x, y)) \
	X(void, Vertex2f, (GLfloat x, GLfloat y), (x, y)) \
	X(void, Vertex2d, (GLdouble x, GLdouble y), (x, y)) \
	X(void, Vertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z)) \
	X(void, Vertex3d, (GLdouble x, GLdouble y, GLdouble z), (x, y, z)) \
	X(void, Vertex3fv, (const GLfloat* v), (v)) \
	X(void, Vertex3dv, (const GLdouble* v), (v)) \
	X(void, TexCoord2f, (GLfloat s, GLfloat t), (s, t)) \
	X(void, TexCoord2d, (GLdouble s, GLdouble t), (s, t)) \
	X(void, Normal3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z)) \
	X(void, Normal3fv, (const GLfloat* v), (v)) \
	X(void, Color3f, (GLfloat red, GLfloat green, GLfloat blue), (red, green, blue)) \
	X(void, Color4f, (GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha), (red, green, blue, alpha)) \
	X(void, Color3fv, (const GLfloat* v), (v)) \
	X(void, Color4fv, (const GLfloat* v), (v)) \
	X(void, Color4ub, (GLubyte red, GLubyte green, GLubyte blue, GLubyte alpha), (red, green, blue, alpha)) \
	/* arrays */ \
	X(void, EnableClientState, (GLenum array), (array)) \
	X(void, DisableClientState, (GLenum array), (array)) \
	X(void, VertexPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr), (size, type, stride, ptr)) \
	X(void, TexCoordPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr), (size, type, stride, ptr)) \
	X(void, ColorPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr), (size, type, stride, ptr)) \
	X(void, NormalPointer, (GLenum type, GLsizei stride, const void* ptr), (type, stride, ptr)) \
	X(void, DrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count)) \
	X(void, DrawElements, (GLenum mode, GLsizei count, GLenum type, const void* indices), (mode, count, type, indices)) \
	/* matrices */ \
	X(void, MatrixMode, (GLenum mode), (mode)) \
	X(void, LoadIdentity, (void), ()) \
	X(void, LoadMatrixd, (const GLdouble* m), (m)) \
	X(void, LoadMatrixf, (const GLfloat* m), (m)) \
	X(void, MultMatrixd, (const GLdouble* m), (m)) \
	X(void, PushMatrix, (void), ()) \
	X(void, PopMatrix, (void), ()) \
	X(void, Ortho, (GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar), (left, right, bottom, top, zNear, zFar)) \
	X(void, Frustum, (GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar), (left, right, bottom, top, zNear, zFar)) \
	X(void, Translated, (GLdouble x, GLdouble y, GLdouble z), (x, y, z)) \
	X(void, Translatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z)) \
	X(void, Rotated, (GLdouble angle, GLdouble x, GLdouble y, GLdouble z), (angle, x, y, z)) \
	X(void, Rotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), (angle, x, y, z)) \
	X(void, Scaled, (GLdouble x, GLdouble y, GLdouble z), (x, y, z)) \
	X(void, Scalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z)) \
	/* lighting and fog */ \
	X(void, Lightfv, (GLenum light, GLenum pname, const GLfloat* params), (light, pname, params)) \
	X(void, Lightf, (GLenum light, GLenum pname, GLfloat param), (light, pname, param)) \
	X(void, LightModelfv, (GLenum pname, const GLfloat* params), (pname, params)) \
	X(void, Materialfv, (GLenum face, GLenum pname, const GLfloat* params), (face, pname, params)) \
	X(void, Materiali, (GLenum face, GLenum pname, GLint param), (face, pname, param)) \
	X(void, Fogf, (GLenum pname, GLfloat param), (pname, param)) \
	X(void, Fogi, (GLenum pname, GLint param), (pname, param)) \
	X(void, Fogfv, (GLenum pname, const GLfloat* params), (pname, params)) \
	X(void, ColorMaterial, (GLenum face, GLenum mode), (face, mode))

struct OGL_core_table {
#define OGL_TABLE_FIELD(ret, name, params, args) ret (*name) params;
	OGL_CORE_FUNCS(OGL_TABLE_FIELD)
#undef OGL_TABLE_FIELD
};

// The table the drawing code calls; libGL's functions until a test wraps it.
extern OGL_core_table gl;
// libGL's own functions, for a wrapper to pass calls on to.
extern const OGL_core_table gl_libgl;
