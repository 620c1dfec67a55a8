#pragma once
// Programmable shading: GLSL programs built from a vertex and a fragment file
// under "Resources/shaders/", families of GLSL variants picked by integer
// flags and compiled on first use, and ARB assembly programs. Every live
// object is registered so all GLSL programs can be rebuilt from their files
// while the program runs. Binding remembers the bound program, so binding it
// again costs no OpenGL call. Main thread only.
#include <set>
#include <string>
#include <vector>

#include "DIzivoz/OGL/OGL_extensions.h"

class OGL_shader {
public:
	OGL_shader(const std::string& vertex_file, const std::string& fragment_file, const char* prefix,
	           const std::vector<std::string>& uniform_names);
	// uniform_names: null-terminated; a null array means none.
	OGL_shader(const char* vertex_file, const char* fragment_file, const char* prefix,
	           const char** uniform_names);
	~OGL_shader();
	OGL_shader(const OGL_shader&) = delete;
	OGL_shader& operator=(const OGL_shader&) = delete;

	// Builds from the files; reloading 0 at construction (a failure is
	// fatal), otherwise a failure warns and the build starts over from the
	// files until it succeeds.
	void reload(int reloading);
	void bind();
	static void unbind_shaders();
	// Location of uniform_names[index]; std::out_of_range outside them.
	int get_uniform_loc(int index) const;
	static void reload_all_shaders(int reloading);

	GLhandleARB program = 0;
	GLhandleARB vertex_obj = 0;
	GLhandleARB fragment_obj = 0;
	std::string vertex_path;
	std::string fragment_path;
	std::string prefix;
	std::vector<std::string> uniform_names;
	std::vector<int> uniform_locs;

	static OGL_shader* current_shader;
	static std::set<OGL_shader*> shaders;

private:
	void init(const std::string& vertex_file, const std::string& fragment_file, const char* in_prefix);
	// One stage: 1 compiled, 0 failed to compile, -1 its file could not be
	// read (the fatal alert was raised).
	int build_stage(GLhandleARB& obj, GLenum kind, const std::string& path, const std::string& platform,
	                int line);
	void destroy_objects();
};

class OGL_shader_conditional {
public:
	// uniform_names and flag_names null-terminated (null: none); flag_ranges
	// one value per flag, or null for switches (range 2). Compiles nothing.
	OGL_shader_conditional(const char* vertex_file, const char* fragment_file, const char** uniform_names,
	                       const char** flag_names, const int* flag_ranges, const char* prefix);
	~OGL_shader_conditional();
	OGL_shader_conditional(const OGL_shader_conditional&) = delete;
	OGL_shader_conditional& operator=(const OGL_shader_conditional&) = delete;

	// Mixed radix, first flag least significant. A value or id outside the
	// family throws std::out_of_range.
	int id_from_flags(int* values);
	int flags_from_id(int id, int* values);
	void build(int id);
	void bind(int id);
	// Builds the variant first when it is not built yet.
	int get_uniform_loc(int id, int index) const;

	int variant_count() const { return (int)variants.size(); }

	std::string prefix;
	std::string vertex_name;
	std::string fragment_name;
	std::vector<std::string> uniform_names;
	std::vector<std::string> flag_names;
	std::vector<int> flag_ranges;
	mutable std::vector<OGL_shader*> variants;

private:
	void check_id(int id) const;
	OGL_shader* built(int id) const;
};

// Targets of the two program types, indexed by OGL_shader_prog::type.
extern const GLenum shader_types[2];

class OGL_shader_prog {
public:
	// type 0 fragment program, 1 vertex program.
	OGL_shader_prog(int type, const char* file);
	~OGL_shader_prog();
	OGL_shader_prog(const OGL_shader_prog&) = delete;
	OGL_shader_prog& operator=(const OGL_shader_prog&) = delete;

	void reload(int reloading);
	void bind();
	static void unbind_shaders();
	static void reload_all_shaders(int reloading);

	GLuint program = 0;
	int type = 0;
	std::string path;

	static OGL_shader_prog* current_shader[2];
	static std::set<OGL_shader_prog*> shaders;
};

// Writes an object's info log to the log file as one block.
void log_shader_obj(const std::string& name, const std::string& prefix, GLhandleARB object);
// Rebuilds every GLSL program from its files (the "Reload Pixel Shaders..."
// command); assembly programs are left alone.
void do_reload();
