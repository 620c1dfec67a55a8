#include "DIzivoz/OGL/OGL_shader.h"

#include <climits>
#include <cstdio>
#include <stdexcept>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/UTL/UTL_stats.h"

namespace {

const char* const shader_src = "DIzivoz/OGL/OGL_shader";
const char* const shader_folder = "Resources/shaders/";
const char* const no_prefix = "// no prefix\n";
// Builds tried by one reload command before a shader that stays broken is
// given up.
const int glsl_reload_tries = 5;

// Placed before every GLSL source: the platform switches, then whether the
// card only has the first, limited generation of shaders.
std::string platform_prefix()
{
	std::string p = "#define APL 0\n#define IBM 0\n#define LIN 1\n";
	p += glExt.first_gen_shaders ? "#define LIMITED 1\n" : "#define LIMITED 0\n";
	return p;
}

std::vector<std::string> names_of(const char** names)
{
	std::vector<std::string> out;
	if (names)
		for (const char** n = names; *n; ++n) out.push_back(*n);
	return out;
}

std::string number_text(double v)
{
	char b[64];
	snprintf(b, sizeof b, "%f", v);
	return b;
}

// A mapped file the GL can take whole, or null.
bool mapped_ok(const xmap_class& m) { return m.begin != nullptr && m.end - m.begin <= (long)INT_MAX; }

UTL_remote_cmd cmd_do_pick_tex("Reload Pixel Shaders...", [](void*, int) { do_reload(); });

}  // namespace

// ---------------------------------------------------------------- GLSL programs

OGL_shader* OGL_shader::current_shader = nullptr;
std::set<OGL_shader*> OGL_shader::shaders;

OGL_shader::OGL_shader(const std::string& vertex_file, const std::string& fragment_file, const char* in_prefix,
                       const std::vector<std::string>& names)
	: uniform_names(names)
{
	init(vertex_file, fragment_file, in_prefix);
}

OGL_shader::OGL_shader(const char* vertex_file, const char* fragment_file, const char* in_prefix,
                       const char** names)
	: uniform_names(names_of(names))
{
	init(vertex_file ? vertex_file : "", fragment_file ? fragment_file : "", in_prefix);
}

void OGL_shader::init(const std::string& vertex_file, const std::string& fragment_file, const char* in_prefix)
{
	shaders.insert(this);
	program = glExt.glCreateProgramObjectARB();
	vertex_path = shader_folder + vertex_file;
	fragment_path = shader_folder + fragment_file;
	prefix = (in_prefix && *in_prefix) ? in_prefix : no_prefix;
	uniform_locs.assign(uniform_names.size(), 0);
	try {
		reload(0);
	} catch (...) {
		// An alert that unwinds leaves no registered half-object behind.
		destroy_objects();
		throw;
	}
}

OGL_shader::~OGL_shader() { destroy_objects(); }

void OGL_shader::destroy_objects()
{
	if (current_shader == this) unbind_shaders();
	shaders.erase(this);
	if (fragment_obj) glExt.glDeleteObjectARB(fragment_obj);
	if (vertex_obj) glExt.glDeleteObjectARB(vertex_obj);
	if (program) glExt.glDeleteObjectARB(program);
	fragment_obj = vertex_obj = program = 0;
}

int OGL_shader::build_stage(GLhandleARB& obj, GLenum kind, const std::string& path, const std::string& platform,
                            int line)
{
	if (obj) {
		glExt.glDetachObjectARB(program, obj);
		glExt.glDeleteObjectARB(obj);
		obj = 0;
	}
	xmap_class file(path);
	if (!mapped_ok(file)) {
		__MACIBM_alert(0, "We were unable to load the shader file:", path, "",
		               "Re-run the Ventora installer/updater to correct this problem.", alert_fatal, shader_src, line);
		return -1;
	}
	obj = glExt.glCreateShaderObjectARB(kind);
	const GLcharARB* texts[3] = {platform.data(), prefix.data(), file.begin};
	const GLint lengths[3] = {(GLint)platform.size(), (GLint)prefix.size(), (GLint)(file.end - file.begin)};
	glExt.glShaderSourceARB(obj, 3, texts, lengths);
	GLint ok = 0;
	glExt.glCompileShaderARB(obj);
	glExt.glGetObjectParameterivARB(obj, GL_OBJECT_COMPILE_STATUS_ARB, &ok);
	if (ok == 0) log_shader_obj(path, platform + prefix, obj);
	glExt.glAttachObjectARB(program, obj);
	return ok ? 1 : 0;
}

void OGL_shader::reload(int reloading)
{
	const std::string platform = platform_prefix();
	for (int tries = 1;; ++tries) {
		int vs = build_stage(vertex_obj, GL_VERTEX_SHADER_ARB, vertex_path, platform, 151);
		if (vs < 0) return;
		int fs = build_stage(fragment_obj, GL_FRAGMENT_SHADER_ARB, fragment_path, platform, 175);
		if (fs < 0) return;
		bool failed = vs == 0 || fs == 0;

		GLint linked = 0;
		glExt.glLinkProgramARB(program);
		glExt.glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
		if (linked == 0) {
			log_shader_obj(vertex_path + "+" + fragment_path, platform + prefix, program);
			failed = true;
		}
		for (size_t i = 0; i < uniform_names.size(); ++i)
			uniform_locs[i] = glExt.glGetUniformLocationARB(program, uniform_names[i].c_str());
		if (!failed) return;

		__MACIBM_alert(0, "There was a problem processing a GLSL pixel shader.",
		               "You may need to rerun the installer or update your graphics drivers.", vertex_path,
		               fragment_path, reloading ? alert_warning : alert_fatal, shader_src, 219);
		// A fatal alert returns only to a test's sink: nothing to retry then.
		if (reloading == 0) return;
		// Each warning gives the user a chance to mend the files; a build that
		// keeps failing is left broken rather than asked about forever.
		if (tries == glsl_reload_tries) {
			xer << "WARNING: giving up on the GLSL shader " << vertex_path << " + " << fragment_path << " after "
			    << tries << " failed builds.\n";
			xer.flush();
			return;
		}
	}
}

void OGL_shader::bind()
{
	if (current_shader == this) return;
	glExt.glUseProgramObjectARB(program);
	current_shader = this;
}

void OGL_shader::unbind_shaders()
{
	if (current_shader == nullptr) return;
	glExt.glUseProgramObjectARB(0);
	current_shader = nullptr;
}

int OGL_shader::get_uniform_loc(int index) const
{
	if (index < 0 || (size_t)index >= uniform_locs.size())
		throw std::out_of_range("OGL_shader::get_uniform_loc: no uniform " + std::to_string(index));
	return uniform_locs[(size_t)index];
}

void OGL_shader::reload_all_shaders(int reloading)
{
	for (OGL_shader* s : shaders) s->reload(reloading);
}

void do_reload() { OGL_shader::reload_all_shaders(1); }

void log_shader_obj(const std::string& name, const std::string& prefix, GLhandleARB object)
{
	GLint length = 0;  // the terminator counted
	glExt.glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
	std::string text;
	if (length > 0) {
		std::vector<GLcharARB> buf((size_t)length + 1, 0);
		GLsizei got = 0;
		glExt.glGetInfoLogARB(object, length, &got, buf.data());
		if (got > length - 1) got = length - 1;
		if (got < 0) got = 0;
		text.assign(buf.data(), (size_t)got);
	}
	xer << "=====" << name << "=====\n"
	    << "   (prefix:\n"
	    << prefix << "end prefix)\n"
	    << text << "\n";
	xer.flush();
}

// ---------------------------------------------------------------- variant families

OGL_shader_conditional::OGL_shader_conditional(const char* vertex_file, const char* fragment_file,
                                               const char** in_uniforms, const char** in_flags,
                                               const int* in_ranges, const char* in_prefix)
	: prefix(in_prefix ? in_prefix : ""),
	  vertex_name(vertex_file ? vertex_file : ""),
	  fragment_name(fragment_file ? fragment_file : ""),
	  uniform_names(names_of(in_uniforms)),
	  flag_names(names_of(in_flags))
{
	long long count = 1;
	for (size_t i = 0; i < flag_names.size(); ++i) {
		int r = in_ranges ? in_ranges[i] : 2;
		if (r < 1) throw std::invalid_argument("OGL_shader_conditional: flag " + flag_names[i] + " has range " +
		                                       std::to_string(r));
		count *= r;
		if (count > INT_MAX) throw std::length_error("OGL_shader_conditional: too many variants");
		flag_ranges.push_back(r);
	}
	variants.assign((size_t)count, nullptr);
}

OGL_shader_conditional::~OGL_shader_conditional()
{
	for (OGL_shader*& v : variants) {
		delete v;
		v = nullptr;
	}
}

void OGL_shader_conditional::check_id(int id) const
{
	if (id < 0 || (size_t)id >= variants.size())
		throw std::out_of_range("OGL_shader_conditional: no variant " + std::to_string(id) + " of " +
		                        std::to_string(variants.size()));
}

int OGL_shader_conditional::id_from_flags(int* values)
{
	int id = 0, scale = 1;
	for (size_t i = 0; i < flag_ranges.size(); ++i) {
		if (values[i] < 0 || values[i] >= flag_ranges[i])
			throw std::out_of_range("OGL_shader_conditional: flag " + flag_names[i] + " has no value " +
			                        std::to_string(values[i]));
		id += values[i] * scale;
		scale *= flag_ranges[i];
	}
	return id;
}

int OGL_shader_conditional::flags_from_id(int id, int* values)
{
	check_id(id);
	for (size_t i = 0; i < flag_ranges.size(); ++i) {
		values[i] = id % flag_ranges[i];
		id /= flag_ranges[i];
	}
	return (int)flag_ranges.size();
}

void OGL_shader_conditional::build(int id)
{
	check_id(id);
	std::vector<int> values(flag_ranges.size());
	flags_from_id(id, values.data());
	std::string defines = prefix;
	for (size_t i = 0; i < flag_names.size(); ++i) {
		char line[64];
		snprintf(line, sizeof line, " %d\n", values[i]);
		defines += "#define " + flag_names[i] + line;
	}
	delete variants[(size_t)id];  // a rebuild replaces the variant
	variants[(size_t)id] = nullptr;
	variants[(size_t)id] = new OGL_shader(vertex_name, fragment_name, defines.c_str(), uniform_names);
}

OGL_shader* OGL_shader_conditional::built(int id) const
{
	check_id(id);
	if (variants[(size_t)id] == nullptr) const_cast<OGL_shader_conditional*>(this)->build(id);
	return variants[(size_t)id];
}

void OGL_shader_conditional::bind(int id) { built(id)->bind(); }

int OGL_shader_conditional::get_uniform_loc(int id, int index) const { return built(id)->get_uniform_loc(index); }

// ---------------------------------------------------------------- assembly programs

const GLenum shader_types[2] = {GL_FRAGMENT_PROGRAM_ARB, GL_VERTEX_PROGRAM_ARB};
OGL_shader_prog* OGL_shader_prog::current_shader[2] = {nullptr, nullptr};
std::set<OGL_shader_prog*> OGL_shader_prog::shaders;

OGL_shader_prog::OGL_shader_prog(int in_type, const char* file)
{
	if (in_type != 0 && in_type != 1)
		throw std::out_of_range("OGL_shader_prog: no program type " + std::to_string(in_type));
	shaders.insert(this);
	type = in_type;
	glExt.glGenProgramsARB(1, &program);
	path = std::string(shader_folder) + (file ? file : "");
	try {
		reload(0);
	} catch (...) {
		if (current_shader[type] == this) unbind_shaders();
		glExt.glDeleteProgramsARB(1, &program);
		shaders.erase(this);
		throw;
	}
}

OGL_shader_prog::~OGL_shader_prog()
{
	if (current_shader[type] == this) unbind_shaders();
	glExt.glDeleteProgramsARB(1, &program);
	shaders.erase(this);
}

void OGL_shader_prog::reload(int reloading)
{
	const GLenum target = shader_types[type];
	glExt.glBindProgramARB(target, program);
	for (;;) {
		xmap_class file(path);
		if (!mapped_ok(file)) {
			__MACIBM_alert(0, "Unable to load shader", path, "", "You may need to reinstall Ventora.", alert_fatal,
			               shader_src, 407);
			break;
		}
		// Errors left by earlier calls are not this program's.
		for (int i = 0; i < 64 && gl.GetError() != GL_NO_ERROR; ++i) {
		}
		glExt.glProgramStringARB(target, GL_PROGRAM_FORMAT_ASCII_ARB, (GLsizei)(file.end - file.begin), file.begin);
		const GLenum err = gl.GetError();
		if (err == GL_NO_ERROR) {
			GLint native = 1;
			glExt.glGetProgramivARB(target, GL_PROGRAM_UNDER_NATIVE_LIMITS_ARB, &native);
			if (native == 0) {
				xer << "Warning: pixel shader " << path << " not under native limits.\n";
				xer.flush();
			}
			break;
		}
		GLint position = -1;
		gl.GetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &position);
		if (position == -1) {
			// The text was not at fault: reading it again would fail the same way.
			xer << "OpenGL error " << err << " loading " << path << " (no error position).\n";
			xer.flush();
			break;
		}
		const GLubyte* message = gl.GetString(GL_PROGRAM_ERROR_STRING_ARB);
		__MACIBM_alert(0, "There was an error with your fragment program", number_text(position), "",
		               message ? (const char*)message : "", reloading ? alert_warning : alert_fatal, shader_src,
		               421);
		if (reloading == 0) break;  // reached only when a test's sink takes the fatal alert
	}
	glExt.glBindProgramARB(target, current_shader[type] ? current_shader[type]->program : 0);
}

void OGL_shader_prog::bind()
{
	if (current_shader[type] == this) return;
	const GLenum target = shader_types[type];
	gl.Enable(target);
	glExt.glBindProgramARB(target, program);
	current_shader[type] = this;
}

void OGL_shader_prog::unbind_shaders()
{
	for (int t = 0; t < 2; ++t) {
		if (current_shader[t] == nullptr) continue;
		gl.Disable(shader_types[t]);
		glExt.glBindProgramARB(shader_types[t], 0);
		current_shader[t] = nullptr;
	}
}

void OGL_shader_prog::reload_all_shaders(int reloading)
{
	for (OGL_shader_prog* s : shaders) s->reload(reloading);
}
