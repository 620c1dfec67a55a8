#pragma once
// The texture manager `tman`: numbered texture references (slot index and
// OpenGL texture name at once), loading by name or into fixed slots, missing-
// file handling by fail mode, release and purge, deferred scenery loads, and
// the per-unit binding cache with its texture-environment recipes.
#include <pthread.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "DIzivoz/TEX/TEX_utils.h"

// What a missing file does: 0 nothing; 1 scene, 2 plane, 3 instl raise that
// load-fail flag; 4 fatal.
enum tex_fail_mode { tex_fail_silent = 0, tex_fail_scene = 1, tex_fail_plane = 2, tex_fail_instl = 3, tex_fail_fatal = 4 };
// Load state of a slot.
enum tex_load_time { tex_loaded = 100, tex_deferred = 101, tex_unloaded = 102 };

// Filter flags of a load (bits 0-2 the colour kind).
enum tex_flag {
	tex_flag_kind_mask = 0x07,
	tex_flag_mipmaps = 0x08,       // build mipmaps
	tex_flag_clamp = 0x10,         // clamp S and T
	tex_flag_clamp_s = 0x20,       // clamp S only
	tex_flag_res_double = 0x40,    // twice the resolution the texture level picks (capped at full)
	tex_flag_res_half = 0x80,      // half of it
	tex_flag_res_full = 0x100,     // always full resolution
	tex_flag_scratch = 0x200,      // decode into and upload from scratch_array
	tex_flag_half_float = 0x800,   // half-float internal formats
	tex_flag_sized_8bit = 0x1000,  // sized 8-bit internal formats, no automatic mipmaps
	tex_flag_any_size = 0x2000,    // the image size is the texture size: no powers of two
};

enum {
	tman_first_named_ref = 1137,
	tman_placeholder_ref = 932,
	tman_decode_bytes = 2048 * 2048 * 4
};

struct ref_dat_struct {
	std::string name = "un-inited";
	int tex_name = 0;         // OpenGL name bound for the slot: the ref, 932, or 0
	float image_w = 0, image_h = 0;
	float tex_w = 0, tex_h = 0;
	int vram = 0;             // estimated bytes held by the texture
	int format = 0;           // 0: slot not in use
	tex_load_time load_time = tex_loaded;
	int flags = 0;
	tex_fail_mode fail_mode = tex_fail_fatal;
	int ref_count = -1;       // -1: caller-chosen ref or free slot
};

struct tex_load_vars {
	tex_fail_mode fail_mode = tex_fail_fatal;
	int ref = 0;
	int flags = 0;
	int first_load = 0;
	int format = 0;
	int has_mipmaps = 0;
	char bytes_per_pixel = 0;
	int file_alpha = 0;
	int image_w = 0, image_h = 0;
	int tex_w = 0, tex_h = 0;
	std::string name;
	unsigned char* pixels = nullptr;
};

// The library's string hash: h = 5h + c over the bytes.
struct tex_name_hash {
	size_t operator()(const std::string& s) const
	{
		size_t h = 0;
		for (unsigned char c : s) h = 5 * h + c;
		return h;
	}
};
extern std::unordered_map<std::string, int, tex_name_hash> tex_hash;

// Told to finish a registered asynchronous load before another load uses
// the shared decode buffer.
class tman_force_finish_obj {
public:
	virtual void force_finish() = 0;
	virtual ~tman_force_finish_obj() {}
};

class tman_class {
public:
	tman_class();
	~tman_class();
	tman_class(const tman_class&) = delete;
	tman_class& operator=(const tman_class&) = delete;

	int load_texture(tex_fail_mode mode, int ref, int flags, tex_load_time time, const std::string& name);
	int load_texture_int(tex_fail_mode mode, int ref, int flags, const std::string& name, int first_load);
	float scale_rat();
	void force_load_tex(int ref);

	// File stage: 0 no image, 1 pixels from scratch_array, 2 decoded from a
	// file; -1 when a fatal check failed (and its alert returned).
	int load_texture_io(tex_load_vars* vars);
	// Upload stage, or the missing-texture handling for result 0.
	int load_texture_ogl(tex_load_vars* vars, int file_stage_result);

	void bind_ref(int ref, int unit, int mode);
	void release_texture(int ref);
	void unload_texture(int ref);
	void purge_unused_texes();
	int total_texes();
	int loaded_texes();
	int tot_vram();

	int has_scene_load_fail() { return scene_load_fail == 1; }
	int has_plane_load_fail() { return plane_load_fail == 1; }
	int has_instl_load_fail() { return instl_load_fail == 1; }
	void reset_scene_load_fail() { scene_load_fail = 0; }
	void reset_plane_load_fail() { plane_load_fail = 0; }
	void reset_instl_load_fail() { instl_load_fail = 0; }
	void mute_scene_load_fail() { scene_load_fail = 2; }
	void mute_plane_load_fail() { plane_load_fail = 2; }
	void mute_instl_load_fail() { instl_load_fail = 2; }

	void load_all_scenery_texes();
	int num_remaining_async_texes();
	int load_scenery_async_register(tman_force_finish_obj* finish);
	int load_scenery_async_work();
	int load_scenery_async_finalize();

	void reset_bind();
	void set_blend_level(int unit, float level);

	// Fields in the order of the record; tests read and mark slots directly.
	int deferred_scan_start;
	int loaded_count;
	int total_count;
	std::vector<ref_dat_struct> ref_dat;
	int scene_load_fail, plane_load_fail, instl_load_fail;
	tex_load_vars* async_current;
	int async_result;
	tman_force_finish_obj* async_finish;
	pthread_mutex_t lock;

private:
	void free_slot(int ref);
	void ensure_placeholder();
	void grow_to(int ref);
};

extern tman_class tman;
extern tex_load_vars async_vars;

// Shared decode buffer of the manager and the last GL_MAX_TEXTURE_SIZE read.
extern unsigned char* scratch_array_temp;
extern int maxtexdim;

// Scale factor for the texture level and flags (force 1: full size); fills
// the four sizes. 0 when a size check failed and its fatal alert returned.
float TEX_get_scale(std::string name, int, int flags, int width, int height, int* image_w, int* image_h, int* tex_w,
                    int* tex_h, int force);
// 1 when 1 <= size <= 2048, else the fatal alert and 0.
int check_dxy(int size, std::string name);
int load_any_into_scratch(std::string name, int ref, int flags, int& format, int& has_mipmaps, char& bytes_per_pixel,
                          int file_alpha, int* image_w, int* image_h, int* tex_w, int* tex_h);

// Binding cache: every texture bind goes through here. While the debug
// switch "perf/kill_tex" is non-zero every bind but 392 binds 932.
extern class UTL_stat gKillTex;
void TEX_bind_ref(int texture, int unit, int mode);
void TEX_reset_bind();
void TEX_set_blend_level(int unit, float level);
