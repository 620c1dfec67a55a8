#include "DIzivoz/OGL/OGL_gl.h"

// Both tables are constant-initialised, so drawing code run from static
// constructors already finds libGL's functions.
#define OGL_TABLE_INIT(ret, name, params, args) &gl##name,
const OGL_core_table gl_libgl = {OGL_CORE_FUNCS(OGL_TABLE_INIT)};
OGL_core_table gl = {OGL_CORE_FUNCS(OGL_TABLE_INIT)};
#undef OGL_TABLE_INIT
