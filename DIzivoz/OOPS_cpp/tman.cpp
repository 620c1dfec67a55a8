// The texture manager: slot table and references, the two stages of a load,
// release and purge, deferred loads, and the binding cache.
#include "DIzivoz/OOPS_cpp/tman.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_shared.h"
#include "DIzivoz/GenH/hl_maker.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OGL/OGL_ren.h"
#include "DIzivoz/OOPS_cpp/oglp.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/TEX/TEX_bmp.h"
#include "DIzivoz/TEX/TEX_dds.h"
#include "DIzivoz/TEX/TEX_png.h"
#include "DIzivoz/Thread/UTL_thread.h"
#include "DIzivoz/UTL/UTL_cmdline.h"
#include "DIzivoz/UTL/UTL_stats.h"
#include "DIzivoz/UTL/UTL_xtim.h"

tman_class tman;
UTL_stat gKillTex("perf/kill_tex", stat_debug, 0);
tex_load_vars async_vars;
std::unordered_map<std::string, int, tex_name_hash> tex_hash;
unsigned char* scratch_array_temp = nullptr;
int maxtexdim = 0;

namespace {
const char* const tman_src = "DIzivoz/OOPS_cpp/tman";

// Holds the manager's recursive lock for one scope.
class tman_lock {
public:
	explicit tman_lock(pthread_mutex_t* m) : m_(m) { UTL_critical_section_lock(m_); }
	~tman_lock() { UTL_critical_section_unlock(m_); }
	tman_lock(const tman_lock&) = delete;
	tman_lock& operator=(const tman_lock&) = delete;

private:
	pthread_mutex_t* m_;
};

std::string num(const char* fmt, double v)
{
	char b[64];
	std::snprintf(b, sizeof(b), fmt, v);
	return b;
}

void fatal(const std::string& l1, const std::string& l2, const std::string& l3, const std::string& l4)
{
	__MACIBM_alert(0, l1, l2, l3, l4, alert_fatal, tman_src, 0);
}

bool begins_scratch(const std::string& name) { return name.compare(0, 13, "scratch_array") == 0; }
bool has_extension_at_4(const std::string& s) { return s.size() > 4 && s[s.size() - 4] == '.'; }

unsigned char* decode_buffer()
{
	if (!scratch_array_temp) scratch_array_temp = new unsigned char[tman_decode_bytes];
	return scratch_array_temp;
}

bool is_pow2(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Moves an image laid out at desc's stride to rows of tex_w pixels, tex_h
// rows, zeroing the padding and the rows past the image.
void relayout(const TEX_image_desc& desc, unsigned char* px, int bpp, int tex_w, int tex_h)
{
	const size_t in_stride = (size_t)desc.width * bpp + desc.row_padding;
	const size_t out_stride = (size_t)tex_w * bpp;
	const size_t row = (size_t)std::min(desc.width, tex_w) * bpp;
	const int rows = std::min(desc.height, tex_h);
	if (out_stride == in_stride && desc.width <= tex_w) {
		// Already at the texture's stride; the readers zeroed the padding.
	} else if (out_stride < in_stride) {
		for (int y = 0; y < rows; ++y) {
			std::memmove(px + y * out_stride, px + y * in_stride, row);
			std::memset(px + y * out_stride + row, 0, out_stride - row);
		}
	} else {
		for (int y = rows - 1; y >= 0; --y) {
			std::memmove(px + y * out_stride, px + y * in_stride, row);
			std::memset(px + y * out_stride + row, 0, out_stride - row);
		}
	}
	if (tex_h > rows) std::memset(px + rows * out_stride, 0, (tex_h - rows) * out_stride);
}

// Colour of fully transparent texels from the opaque ones around them (the
// 5 x 5 window, clipped), so filtering does not pull in black. Only opaque
// texels are read and only transparent ones written, so the window sums are
// taken from running sums: per row over five columns, then over five rows.
void bleed_alpha(unsigned char* px, int w, int h)
{
	if (w < 1 || h < 1) return;
	// Row sums of (r, g, b, count) over the five columns around each texel,
	// for the five rows around the current one (a ring).
	std::vector<unsigned> ring((size_t)5 * w * 4, 0), col((size_t)w * 4, 0);
	// Prefix sums along the row, branch-free: a transparent texel adds 0.
	std::vector<unsigned> prefix(((size_t)w + 1) * 4, 0);
	auto row_sums = [&](int y, unsigned* out) {
		const unsigned char* r = px + (size_t)y * w * 4;
		unsigned* pre = prefix.data();
		for (int x = 0; x < w; ++x) {
			const unsigned char* q = r + (size_t)x * 4;
			const unsigned m = q[3] != 0;
			pre[(x + 1) * 4 + 0] = pre[x * 4 + 0] + m * q[0];
			pre[(x + 1) * 4 + 1] = pre[x * 4 + 1] + m * q[1];
			pre[(x + 1) * 4 + 2] = pre[x * 4 + 2] + m * q[2];
			pre[(x + 1) * 4 + 3] = pre[x * 4 + 3] + m;
		}
		for (int x = 0; x < w; ++x) {
			const int lo = std::max(0, x - 2), hi = std::min(w, x + 3);
			for (int c = 0; c < 4; ++c) out[(size_t)x * 4 + c] = pre[hi * 4 + c] - pre[lo * 4 + c];
		}
	};
	bool any_clear = false;
	for (size_t i = 3; i < (size_t)w * h * 4 && !any_clear; i += 4) any_clear = px[i] == 0;
	if (!any_clear) return;
	auto slot = [&](int y) { return ring.data() + (size_t)(y % 5) * w * 4; };
	auto add_rows = [&](const unsigned* r, int sign) {
		for (size_t i = 0; i < (size_t)w * 4; ++i) col[i] += sign * r[i];
	};
	for (int y = 0; y < std::min(2, h); ++y) {
		row_sums(y, slot(y));
		add_rows(slot(y), 1);
	}
	for (int y = 0; y < h; ++y) {
		if (y + 2 < h) {
			if (y + 2 >= 5) add_rows(slot(y + 2), -1);  // row y - 3 shares the ring slot
			row_sums(y + 2, slot(y + 2));
			add_rows(slot(y + 2), 1);
		} else if (y - 3 >= 0) {
			add_rows(slot(y - 3), -1);
		}
		unsigned char* r = px + (size_t)y * w * 4;
		for (int x = 0; x < w; ++x) {
			unsigned char* p = r + (size_t)x * 4;
			const unsigned* c = &col[(size_t)x * 4];
			if (p[3] != 0 || c[3] == 0) continue;
			p[0] = (unsigned char)(c[0] / c[3]);
			p[1] = (unsigned char)(c[1] / c[3]);
			p[2] = (unsigned char)(c[2] / c[3]);
		}
	}
}

// Width and height in a PNG or BMP header (0 when the file is too short).
void header_size(const unsigned char* p, long long size, bool png, int& w, int& h)
{
	w = h = 0;
	if (png) {
		if (size < 24) return;
		w = (int)(((unsigned)p[16] << 24) | (p[17] << 16) | (p[18] << 8) | p[19]);
		h = (int)(((unsigned)p[20] << 24) | (p[21] << 16) | (p[22] << 8) | p[23]);
	} else {
		if (size < 26) return;
		w = (int)(p[18] | (p[19] << 8) | (p[20] << 16) | ((unsigned)p[21] << 24));
		h = (int)(p[22] | (p[23] << 8) | (p[24] << 16) | ((unsigned)p[25] << 24));
	}
}

int o_tex[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
int o_mod[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
}  // namespace

// ---------------------------------------------------------------------------
// Binding cache and texture-environment recipes

namespace {
void env_i(GLenum p, GLint v) { gl.TexEnvi(GL_TEXTURE_ENV, p, v); }
void env_colour(float v)
{
	const GLfloat c[4] = {v, v, v, v};
	gl.TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
}

struct arg {
	GLenum src;
	GLenum op;
};
const arg prev_c{GL_PREVIOUS, GL_SRC_COLOR}, tex_c{GL_TEXTURE, GL_SRC_COLOR}, const_c{GL_CONSTANT, GL_SRC_COLOR},
    prim_c{GL_PRIMARY_COLOR, GL_SRC_COLOR}, tex_a_rgb{GL_TEXTURE, GL_SRC_ALPHA}, prev_a_rgb{GL_PREVIOUS, GL_SRC_ALPHA},
    prev_1ma_rgb{GL_PREVIOUS, GL_ONE_MINUS_SRC_ALPHA};
const arg prev_a{GL_PREVIOUS, GL_SRC_ALPHA}, tex_a{GL_TEXTURE, GL_SRC_ALPHA}, const_a{GL_CONSTANT, GL_SRC_ALPHA},
    prev_1ma{GL_PREVIOUS, GL_ONE_MINUS_SRC_ALPHA};

void set_rgb(GLenum fn, std::initializer_list<arg> a, bool as_float = false)
{
	static const GLenum src[3] = {GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB};
	static const GLenum op[3] = {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB};
	auto put = [&](GLenum p, GLenum v) {
		if (as_float) gl.TexEnvf(GL_TEXTURE_ENV, p, (GLfloat)v);
		else env_i(p, (GLint)v);
	};
	put(GL_COMBINE_RGB, fn);
	int i = 0;
	for (const arg& x : a) {
		put(src[i], x.src);
		put(op[i], x.op);
		++i;
	}
}

void set_alpha(GLenum fn, std::initializer_list<arg> a, bool as_float = false)
{
	static const GLenum src[3] = {GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, GL_SOURCE2_ALPHA};
	static const GLenum op[3] = {GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA};
	auto put = [&](GLenum p, GLenum v) {
		if (as_float) gl.TexEnvf(GL_TEXTURE_ENV, p, (GLfloat)v);
		else env_i(p, (GLint)v);
	};
	put(GL_COMBINE_ALPHA, fn);
	int i = 0;
	for (const arg& x : a) {
		put(src[i], x.src);
		put(op[i], x.op);
		++i;
	}
}

// Sets recipe m; false when m is not one of the recipes.
bool set_recipe(int m)
{
	const bool known = m == 1 || m == 2 || (m >= 10 && m <= 24);
	if (!known) return false;
	if (m == 15 || m == 16 || m == 17) env_colour(1.0f);
	env_i(GL_TEXTURE_ENV_MODE, GL_COMBINE);
	switch (m) {
	case 1: set_rgb(GL_ADD, {prev_c, tex_c}); set_alpha(GL_REPLACE, {prev_a}); break;
	case 2: set_rgb(GL_ADD, {prev_c, tex_c}); set_alpha(GL_ADD, {prev_a, tex_a}); break;
	case 10: set_rgb(GL_MODULATE, {prev_c, tex_c}); set_alpha(GL_REPLACE, {tex_a}); break;
	case 11: set_rgb(GL_REPLACE, {prev_c}); set_alpha(GL_SUBTRACT, {tex_a, prev_a}); break;
	case 12: set_rgb(GL_REPLACE, {prev_c}); set_alpha(GL_MODULATE, {prev_1ma, tex_a}); break;
	case 13:
		env_colour(1.0f);
		set_rgb(GL_MODULATE, {prev_c, prev_1ma_rgb});
		set_alpha(GL_REPLACE, {const_a});
		break;
	case 14: set_rgb(GL_REPLACE, {prev_c}); set_alpha(GL_REPLACE, {prev_a}); break;
	case 15: set_rgb(GL_REPLACE, {prev_c}); set_alpha(GL_REPLACE, {const_a}); break;
	case 16: set_rgb(GL_MODULATE, {prev_c, tex_c}); set_alpha(GL_REPLACE, {const_a}); break;
	case 17: set_rgb(GL_REPLACE, {tex_a_rgb}); set_alpha(GL_REPLACE, {const_a}); break;
	case 18: set_rgb(GL_INTERPOLATE, {tex_c, prev_c, tex_a_rgb}); set_alpha(GL_REPLACE, {prev_a}); break;
	case 19: set_rgb(GL_INTERPOLATE, {tex_c, prev_c, prev_a_rgb}); set_alpha(GL_REPLACE, {prev_a}); break;
	case 20: set_rgb(GL_MODULATE, {prev_c, tex_a_rgb}); set_alpha(GL_REPLACE, {prev_a}); break;
	case 21: set_rgb(GL_INTERPOLATE, {tex_c, prev_c, const_c}); set_alpha(GL_INTERPOLATE, {tex_a, prev_a, const_a}); break;
	case 22: set_rgb(GL_INTERPOLATE, {tex_c, const_c, tex_a_rgb}); set_alpha(GL_REPLACE, {prev_a}); break;
	case 23: set_rgb(GL_MODULATE, {prev_c, prim_c}); set_alpha(GL_REPLACE, {prev_a}); break;
	case 24: {
		const GLfloat zero[4] = {0, 0, 0, 0};
		gl.TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, zero);
		set_rgb(GL_INTERPOLATE, {prim_c, const_c, tex_c}, true);
		set_alpha(GL_REPLACE, {tex_a}, true);
		gl.TexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
		break;
	}
	}
	if (m == 11) gl.TexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 4.0f);
	else if (m != 23 && m != 24) gl.TexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
	return true;
}
}  // namespace

void TEX_bind_ref(int texture, int unit, int mode)
{
	if (unit < 0 || unit > 7) return;
	if (gKillTex.value != 0 && texture != 392) texture = tman_placeholder_ref;
	const int m = mode == 0 ? GL_MODULATE : mode;
	if (o_tex[unit] == texture && o_mod[unit] == m) return;
	if (unit > 0) gl.ActiveTexture(GL_TEXTURE0 + unit);
	if (texture != o_tex[unit]) {
		gl.BindTexture(GL_TEXTURE_2D, (GLuint)texture);
		o_tex[unit] = texture;
	}
	if (mode != 25 && m != o_mod[unit]) {
		o_mod[unit] = m;
		if (!glExt.combine_avail || !set_recipe(m)) env_i(GL_TEXTURE_ENV_MODE, m);
	}
	if (unit > 0) gl.ActiveTexture(GL_TEXTURE0);
}

void TEX_reset_bind()
{
	for (int i = 0; i < 8; ++i) o_tex[i] = o_mod[i] = -1;
}

void TEX_set_blend_level(int unit, float level)
{
	if (unit < 0 || unit >= ren.tex_units || unit > 7) return;
	if (unit > 0) gl.ActiveTexture(GL_TEXTURE0 + unit);
	env_colour(level);
	if (unit > 0) gl.ActiveTexture(GL_TEXTURE0);
}

// ---------------------------------------------------------------------------
// Sizes

int check_dxy(int size, std::string name)
{
	if (size >= 1 && size <= 2048) return 1;
	fatal("Trying to create a texture either less than 1 or greater than 2048!", name, "value:", num("%1.0f", size));
	return 0;
}

static float level_scale()
{
	switch (mnw.tex_res) {
	case 0: return 1.0f / 32;
	case 1: return 1.0f / 16;
	case 2: return 1.0f / 8;
	case 3: return 1.0f / 4;
	case 4: return 1.0f / 2;
	default: return 1.0f;
	}
}

float TEX_get_scale(std::string name, int, int flags, int width, int height, int* image_w, int* image_h, int* tex_w,
                    int* tex_h, int force)
{
	float s = level_scale();
	if (flags & tex_flag_res_double) s = std::min(1.0f, 2 * s);
	if (flags & tex_flag_res_half) s = std::min(1.0f, s / 2);
	if (flags & tex_flag_res_full) s = 1;
	if (force == 1) s = 1;
	if (width > 0) s = std::max(s, 1.0f / width);
	if (height > 0) s = std::max(s, 1.0f / height);
	const int maxdim = glExt.max_tex_size;
	while (maxdim > 0 && (s * width > maxdim || s * height > maxdim)) s /= 2;
	// A product like 3 x (1/3) may land a hair under the whole number.
	const int iw = (int)(s * width + 1e-4f), ih = (int)(s * height + 1e-4f);
	*image_w = iw;
	*image_h = ih;
	*tex_w = (flags & tex_flag_any_size) ? iw : TEX_next_pow2(iw);
	*tex_h = (flags & tex_flag_any_size) ? ih : TEX_next_pow2(ih);
	if (!check_dxy(width, name) || !check_dxy(height, name) || !check_dxy(iw, name) || !check_dxy(ih, name) ||
	    !check_dxy(*tex_w, name) || !check_dxy(*tex_h, name))
		return 0;
	return s;
}

// ---------------------------------------------------------------------------
// The manager

tman_class::tman_class()
	: deferred_scan_start(0), loaded_count(0), total_count(0), scene_load_fail(0), plane_load_fail(0),
	  instl_load_fail(0), async_current(nullptr), async_result(0), async_finish(nullptr)
{
	UTL_critical_section_create(&lock);
}

// The context is gone by now: no OpenGL calls.
tman_class::~tman_class() { UTL_critical_section_destroy(&lock); }

float tman_class::scale_rat() { return level_scale(); }

void tman_class::grow_to(int ref)
{
	if (ref >= (int)ref_dat.size()) ref_dat.resize(ref + 1);
}

int tman_class::load_texture(tex_fail_mode mode, int ref, int flags, tex_load_time time, const std::string& name)
{
	if (name.empty()) return 0;
	static double last_call = 0;
	const double now = xtim.microsecs() / 1e6;
	const bool quiet_ref = ref == 0 || ref == 312 || ref == 392 || ref == 398 || ref == 932 || (ref >= 429 && ref <= 444);
	if (now > last_call + 1.0 && time == tex_loaded && !begins_scratch(name) && !quiet_ref)
		REPORT_progress("Loading bitmap " + name + ".", nullptr);
	last_call = now;

	tman_lock hold(&lock);
	if (time < tex_loaded || time > tex_unloaded) {
		fatal("Trying to create an invalid texture load_time!", name, "value:", num("%1.0f", time));
		return 0;
	}
	if (ref < 0 || ref >= tman_first_named_ref) {
		fatal("Trying to bind too low or high a manual_ref!", name, "value:", num("%1.0f", ref));
		return 0;
	}
	const bool named = ref == 0;
	if (named) {
		auto hit = tex_hash.find(name);
		if (hit != tex_hash.end() && hit->second < (int)ref_dat.size()) {
			const int found = hit->second;
			ref_dat[found].ref_count++;
			if (ref_dat[found].load_time != tex_loaded) load_texture_int(mode, found, flags, name, 0);
			return found;
		}
		ref = 0;
		for (int i = (int)ref_dat.size() - 1; i >= tman_first_named_ref; --i)
			if (ref_dat[i].format == 0) {
				ref = i;
				break;
			}
		if (!ref) ref = std::max((int)ref_dat.size(), (int)tman_first_named_ref);
	}
	grow_to(ref);
	ref_dat_struct& slot = ref_dat[ref];
	// The old name leaves the map only when it maps to this slot (two slots
	// may have been loaded under one name).
	auto old = tex_hash.find(slot.name);
	if (old != tex_hash.end() && old->second == ref) tex_hash.erase(old);
	tex_hash.emplace(name, ref);
	if (slot.format == 0) {
		slot.name = name;
		slot.load_time = tex_loaded;
		slot.image_w = slot.image_h = slot.tex_w = slot.tex_h = 0;
		slot.ref_count = named ? 1 : -1;
		slot.flags = flags;
		slot.fail_mode = mode;
		slot.format = GL_RGBA;
		slot.vram = 0;
		total_count++;
	}
	const int r = load_texture_int(mode, ref, flags, name, 1);
	if (!named && r == 0) return 0;
	return ref;
}

int tman_class::load_texture_int(tex_fail_mode mode, int ref, int flags, const std::string& name, int first_load)
{
	tman_lock hold(&lock);
	if (async_finish && !begins_scratch(name)) async_finish->force_finish();
	if (flags < 0 || flags > 0x3FFF) {
		fatal("Trying to bind an invalid filter type!", name, "value:", num("%1.0f", flags));
		return 0;
	}
	GLint m = 0;
	gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &m);
	maxtexdim = m;
	tex_load_vars vars;
	vars.fail_mode = mode;
	vars.ref = ref;
	vars.flags = flags;
	vars.name = name;
	vars.first_load = first_load;
	const int r = load_texture_io(&vars);
	if (r < 0) return 0;
	return load_texture_ogl(&vars, r);
}

void tman_class::force_load_tex(int ref)
{
	tman_lock hold(&lock);
	if (ref < 0 || ref >= (int)ref_dat.size()) return;
	const ref_dat_struct& s = ref_dat[ref];
	if (s.load_time != tex_loaded) load_texture_int(s.fail_mode, ref, s.flags, s.name, 1);
}

int tman_class::load_texture_io(tex_load_vars* v)
{
	int fmt = GL_RGB, bpp = 3;
	v->file_alpha = 0;
	switch (v->flags & tex_flag_kind_mask) {
	case 1: case 7: break;
	case 2: fmt = GL_RGBA, bpp = 4; break;
	case 3: fmt = GL_ALPHA, bpp = 1; break;
	case 4: v->file_alpha = 1; break;
	case 5: fmt = GL_RGBA, bpp = 4, v->file_alpha = 1; break;
	case 6: fmt = GL_DEPTH_COMPONENT, bpp = 1; break;
	default:
		fatal("BAD color enum for tman - see tman.h for valid colors!  We cannot pass 0.", "", "", "");
		return -1;
	}
	v->format = fmt;
	v->bytes_per_pixel = (char)bpp;
	v->has_mipmaps = 0;
	int result = 0;
	if (begins_scratch(v->name)) {
		if (!check_dxy(scratch_dx, v->name) || !check_dxy(scratch_dy, v->name)) return -1;
		if (TEX_get_scale(v->name, 0, v->flags, scratch_dx, scratch_dy, &v->image_w, &v->image_h, &v->tex_w,
		                  &v->tex_h, 1) <= 0)
			return -1;
		v->pixels = scratch_array;
		result = 1;
	} else if (!v->name.empty()) {
		char b = v->bytes_per_pixel;
		const int r = load_any_into_scratch(v->name, v->ref, v->flags, v->format, v->has_mipmaps, b, v->file_alpha,
		                                    &v->image_w, &v->image_h, &v->tex_w, &v->tex_h);
		if (r < 0) return -1;
		v->bytes_per_pixel = b;
		if (r) {
			v->pixels = scratch_array_temp;
			result = 2;
		}
	}
	if (v->flags & tex_flag_scratch) v->pixels = scratch_array;
	return result;
}

int load_any_into_scratch(std::string name, int, int flags, int& format, int& has_mipmaps, char& bpp, int file_alpha,
                          int* image_w, int* image_h, int* tex_w, int* tex_h)
{
	if (bpp < 1 || bpp > 4) {
		fatal("Trying to bind too low or high a number of bytes!", name, "value:", num("%1.0f", bpp));
		return -1;
	}
	unsigned char* dest = (flags & tex_flag_scratch) ? scratch_array : decode_buffer();
	if (!dest) return 0;
	const bool ext = has_extension_at_4(name);
	const bool no_dds = cmdline.has_option("--no_dds") != 0;
	const std::string stem = ext ? name.substr(0, name.size() - 4) : name;
	const std::string dds_name = (ext && !no_dds) ? stem + ".dds" : name;
	const std::string tries[4] = {dds_name, dds_name, ext ? stem + ".png" : name, ext ? stem + ".bmp" : name};
	xmap_class file;
	std::string path;
	for (const std::string& t : tries)
		if (file.retry(t)) {
			path = t;
			break;
		}
	if (!file.begin) return 0;
	const long long size = file.end - file.begin;
	if (size <= 7) return 0;
	const unsigned char* head = reinterpret_cast<const unsigned char*>(file.begin);
	const unsigned want = bpp == 1 ? GL_ALPHA : bpp == 4 ? GL_RGBA : GL_RGB;
	TEX_image_desc desc;
	unsigned char* px = dest;
	bool dds = false;
	if (std::memcmp(head, "DDS ", 4) == 0) {
		unsigned char* in = nullptr;
		if (!TEX_load_dds(path, &file, in, desc) || !desc.has_mipmaps) return 0;
		dds = true;
		px = in;
	} else {
		const bool bmp = head[0] == 'B' && head[1] == 'M';
		const bool png = !bmp && png_sig_cmp(head, 0, 8) == 0;
		if (!bmp && !png) return 0;
		// Refuse sizes the decode buffer cannot hold before decoding.
		int w = 0, h = 0;
		header_size(head, size, png, w, h);
		if (!check_dxy(TEX_next_pow2(std::max(w, 1)) * (w >= 1), name) ||
		    !check_dxy(TEX_next_pow2(std::max(h, 1)) * (h >= 1), name))
			return -1;
		const int ok = bmp ? TEX_load_bmp(path, &file, px, want, 0, 1, desc)
		                   : TEX_load_png(path, &file, px, want, 0, 1, file_alpha, desc);
		if (!ok) return 0;
	}
	switch (desc.format) {
	case GL_RGBA: case GL_BGRA: case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT: case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT:
	case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: bpp = 4; break;
	case GL_ALPHA: bpp = 1; break;
	default: bpp = 3; break;
	}
	format = (int)desc.format;
	has_mipmaps = desc.has_mipmaps;
	const float s = TEX_get_scale(name, 0, flags, desc.width, desc.height, image_w, image_h, tex_w, tex_h, 2);
	if (s <= 0) return -1;
	float k = 1.0f / s;
	if (dds) {
		while (k > 1.001f) {
			TEX_image_desc lvl = desc;
			lvl.has_mipmaps = 0;
			if (desc.width == 1 && desc.height == 1) break;
			px += TEX_bytes_needed_for_image(lvl);
			desc.width = std::max(1, desc.width / 2);
			desc.height = std::max(1, desc.height / 2);
			k /= 2;
		}
		const long long bytes = TEX_bytes_needed_for_image(desc);
		if (bytes <= 0 || bytes > tman_decode_bytes) return 0;
		std::memmove(dest, px, (size_t)bytes);
		if (TEX_flip_y(desc, dest) && desc.format == GL_COMPRESSED_RGB_S3TC_DXT1_EXT) {
			format = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
			bpp = 4;
		}
		return 1;
	}
	const int ki = (int)std::lround(k);
	if (ki != 1) TEX_downscale(desc, dest, std::min(ki, desc.width), std::min(ki, desc.height));
	// Rows at the texture's width, so the upload takes them as they lie.
	relayout(desc, dest, bpp, *tex_w, *tex_h);
	return 1;
}

void tman_class::ensure_placeholder()
{
	grow_to(tman_placeholder_ref);
	ref_dat_struct& p = ref_dat[tman_placeholder_ref];
	if (p.format != 0) return;
	// A small grey texture, so a missing picture shows as grey, not as nothing.
	static const unsigned char grey[4 * 4 * 3] = {
	    128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,
	    128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128};
	TEX_bind_ref(tman_placeholder_ref, 0, 25);
	gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
	gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, grey);
	gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
	gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
	p.name = "t_blank_gray";
	p.tex_name = tman_placeholder_ref;
	p.image_w = p.image_h = p.tex_w = p.tex_h = 4;
	p.vram = 4 * 4 * 3;
	p.format = GL_RGB;
	p.load_time = tex_loaded;
	p.flags = 1;
	p.fail_mode = tex_fail_fatal;
	p.ref_count = -1;
	total_count++;
	loaded_count++;
}

int tman_class::load_texture_ogl(tex_load_vars* v, int result)
{
	const int ref = v->ref;
	if (ref < 0 || ref >= (int)ref_dat.size()) {
		fatal("(manual_ref>=ref_dat.size()!",
		      "maybe we tried to load some texture thatis not avail, and we have not loaded the t_blank_gray yet?", "", "");
		return 0;
	}
	if (result == 0) {
		ensure_placeholder();
		ref_dat_struct& s = ref_dat[ref];
		const ref_dat_struct& p = ref_dat[tman_placeholder_ref];
		if (ref != tman_placeholder_ref) {
			// A slot that held its own picture gives it up.
			if (s.vram > 0 && s.tex_name == ref) {
				GLuint t = (GLuint)ref;
				gl.DeleteTextures(1, &t);
				if (s.load_time == tex_loaded) loaded_count--;
			}
			s.tex_name = p.tex_name;
			s.image_w = p.image_w;
			s.image_h = p.image_h;
			s.tex_w = p.tex_w;
			s.tex_h = p.tex_h;
			s.vram = 0;
			s.format = p.format;
			s.load_time = tex_loaded;
		}
		switch (v->fail_mode) {
		case tex_fail_silent: return 0;
		case tex_fail_scene: if (scene_load_fail == 0) scene_load_fail = 1; break;
		case tex_fail_plane: if (plane_load_fail == 0) plane_load_fail = 1; break;
		case tex_fail_instl: if (instl_load_fail == 0) instl_load_fail = 1; break;
		case tex_fail_fatal:
			fatal("Trying to load a texture that you do not have!", "This smacks of a mis-installed copy of Ventora!",
			      std::string("Please download a new copy of Ventora from ") + ventora_web_site + ". The missing file is:",
			      v->name);
			return 0;
		default: break;
		}
		xer << "WARNING: we are missing the texture: " << v->name << ".\n";
		return 0;
	}

	if (ref == 0) {
		fatal("Trying to bind a null ref!", "ref=     0, tex=     0", "", ref_dat[ref].name);
		fatal("Trying to bind a null tex!", "ref=     0, tex=     0", "", ref_dat[ref].name);
		return 0;
	}
	const int flags = v->flags;
	if (!(flags & tex_flag_any_size) && (!is_pow2(v->tex_w) || !is_pow2(v->tex_h))) {
		fatal("load_tex: Trying to read a texture that is not a power of 2!", v->name, "", "");
		return 0;
	}
	if (!check_dxy(v->tex_w, v->name) || !check_dxy(v->tex_h, v->name)) return 0;

	const int fmt = v->format;
	const int bpp = v->bytes_per_pixel;
	const bool dxt = TEX_is_dxt((unsigned)fmt);
	const bool want_mips = (flags & tex_flag_mipmaps) != 0;
	const bool bleed = bpp == 4 && result == 2 && !dxt && !v->has_mipmaps;
	GLint internal = fmt == GL_BGRA ? GL_RGBA : fmt == GL_BGR ? GL_RGB : fmt;
	if (flags & tex_flag_half_float) {
		if (internal == GL_RGB) internal = GL_RGB16F_ARB;
		else if (internal == GL_RGBA) internal = GL_RGBA16F_ARB;
		else if (internal == GL_ALPHA) internal = GL_ALPHA16F_ARB;
	}
	if (flags & tex_flag_sized_8bit) {
		if (internal == GL_RGB) internal = GL_RGB8;
		else if (internal == GL_RGBA) internal = GL_RGBA8;
	}
	if (fmt == GL_DEPTH_COMPONENT) internal = GL_DEPTH_COMPONENT24;
	const bool auto_mips = want_mips && glExt.automini_avail && !dxt && !(flags & tex_flag_sized_8bit);
	ref_dat_struct& s = ref_dat[ref];
	const bool reuse = s.load_time == tex_loaded && s.format == fmt && s.vram > 0 && (int)s.tex_w == v->tex_w &&
	                   (int)s.tex_h == v->tex_h && s.tex_name == ref && (!want_mips || auto_mips);
	const bool soft_mips = want_mips && !v->has_mipmaps && !auto_mips;

	if (s.vram == 0) loaded_count++;
	s.name = v->name;
	s.load_time = tex_loaded;
	s.tex_name = ref;
	s.image_w = (float)v->image_w;
	s.image_h = (float)v->image_h;
	s.tex_w = (float)v->tex_w;
	s.tex_h = (float)v->tex_h;
	s.format = fmt;
	s.flags = flags;
	s.vram = (int)((double)v->tex_w * v->tex_h * bpp * (want_mips ? 1.33 : 1.0));

	unsigned char* px = v->pixels;
	if (bleed && px) bleed_alpha(px, v->tex_w, v->tex_h);

	const int units_before = num_units;
	if (units_before == 0) {
		gl.Enable(GL_TEXTURE_2D);
		num_units = 1;
	}
	TEX_bind_ref(ref, 0, 25);
	gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
	TEX_image_desc lvl;
	lvl.format = (unsigned)fmt;
	lvl.width = v->tex_w;
	lvl.height = v->tex_h;
	const GLenum data_fmt = fmt == GL_DEPTH_COMPONENT ? GL_DEPTH_COMPONENT : (GLenum)fmt;
	for (int level = 0; px; ++level) {
		if (auto_mips) gl.TexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
		if (dxt) {
			gl.CompressedTexImage2D(GL_TEXTURE_2D, level, (GLenum)fmt, lvl.width, lvl.height, 0,
			                        (GLsizei)TEX_bytes_needed_for_image(lvl), px);
		} else if (reuse) {
			gl.TexSubImage2D(GL_TEXTURE_2D, level, 0, 0, lvl.width, lvl.height, data_fmt, GL_UNSIGNED_BYTE, px);
		} else {
			gl.TexImage2D(GL_TEXTURE_2D, level, internal, lvl.width, lvl.height, 0, data_fmt, GL_UNSIGNED_BYTE, px);
		}
		if (lvl.width == 1 && lvl.height == 1) break;
		if (v->has_mipmaps) {
			px += TEX_bytes_needed_for_image(lvl);
			lvl.width = std::max(1, lvl.width / 2);
			lvl.height = std::max(1, lvl.height / 2);
		} else if (soft_mips) {
			TEX_downscale(lvl, px, lvl.width > 1 ? 2 : 1, lvl.height > 1 ? 2 : 1);
		} else {
			break;
		}
	}
	if (dxt) {
		GLint compressed = 0, bytes = 0;
		gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED, &compressed);
		if (compressed) {
			gl.GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &bytes);
			s.vram = (int)(bytes * (want_mips ? 1.33 : 1.0));
		}
	}
	const GLint clamp = glExt.tex_clamp_avail ? GL_CLAMP_TO_EDGE : GL_CLAMP;
	gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (flags & (tex_flag_clamp | tex_flag_clamp_s)) ? clamp : GL_REPEAT);
	gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (flags & tex_flag_clamp) ? clamp : GL_REPEAT);
	if (glExt.aniso_avail) gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
	const bool nearest = ref == 392 || ref == 393 || ref == 421 || (ref >= 427 && ref <= 444);
	if (nearest) {
		gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
		gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
	} else {
		gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
		gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, want_mips ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
	}
	if (fmt == GL_DEPTH_COMPONENT) {
		gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
		gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
	}
	if (units_before == 0) {
		gl.Disable(GL_TEXTURE_2D);
		num_units = 0;
	}
	return ref;
}

void tman_class::bind_ref(int ref, int unit, int mode)
{
	tman_lock hold(&lock);
	if (ref < 0 || ref >= (int)ref_dat.size()) {
		TEX_bind_ref(0, unit, mode);
		return;
	}
	const ref_dat_struct& s = ref_dat[ref];
	int texture = s.tex_name;
	if (ref != 0 && s.load_time != tex_loaded) {
		if (s.load_time != tex_deferred) {
			fatal("missing non-scenery texture - how?", "", num("ref=%6.0f", ref), s.name);
			return;
		}
		texture = tman_placeholder_ref;
	}
	TEX_bind_ref(texture, unit, mode);
}

void tman_class::release_texture(int ref)
{
	tman_lock hold(&lock);
	const std::string name = ref >= 0 && ref < (int)ref_dat.size() ? ref_dat[ref].name : std::string();
	if (ref < tman_first_named_ref) {
		fatal("Trying to release a manual texture - use unload_texture.", num("%f", ref), name, "");
		return;
	}
	if (ref >= (int)ref_dat.size()) return;
	ref_dat_struct& s = ref_dat[ref];
	if (s.ref_count == -1) {
		fatal("Ref count is negative - was never reffed.", num("%f", ref), name, "");
		return;
	}
	if (s.ref_count == 0) {
		fatal("Ref count went negative", num("%f", ref), name, "");
		return;
	}
	s.ref_count--;
}

void tman_class::free_slot(int ref)
{
	ref_dat_struct& s = ref_dat[ref];
	if (s.tex_name != 0 && s.tex_name != tman_placeholder_ref) {
		GLuint t = (GLuint)s.tex_name;
		gl.DeleteTextures(1, &t);
	}
	if (s.load_time == tex_loaded && s.vram > 0) loaded_count--;
	if (s.format != 0) total_count--;
	auto it = tex_hash.find(s.name);
	if (it != tex_hash.end() && it->second == ref) tex_hash.erase(it);
	s = ref_dat_struct();
	s.load_time = tex_unloaded;
}

void tman_class::unload_texture(int ref)
{
	tman_lock hold(&lock);
	if (ref > 1136) {
		const std::string name = ref < (int)ref_dat.size() ? ref_dat[ref].name : std::string();
		fatal("Error: dynamic textures should be released, not unloaded.", name, num("%f", ref), "");
		return;
	}
	if (ref < 0 || ref >= (int)ref_dat.size()) return;
	free_slot(ref);
}

void tman_class::purge_unused_texes()
{
	tman_lock hold(&lock);
	for (int i = tman_first_named_ref; i < (int)ref_dat.size(); ++i)
		if (ref_dat[i].ref_count == 0) free_slot(i);
}

int tman_class::total_texes()
{
	tman_lock hold(&lock);
	return total_count;
}

int tman_class::loaded_texes()
{
	tman_lock hold(&lock);
	return loaded_count;
}

int tman_class::tot_vram()
{
	tman_lock hold(&lock);
	long long total = (long long)mnw.x_res * mnw.y_res * mnw.bit_depth / 8;
	for (const ref_dat_struct& s : ref_dat) total += s.vram;
	return (int)total;
}

void tman_class::load_all_scenery_texes()
{
	tman_lock hold(&lock);
	int count = 0;
	for (int i = deferred_scan_start; i < (int)ref_dat.size(); ++i)
		if (ref_dat[i].load_time == tex_deferred) count++;
	int done = 0;
	for (int i = deferred_scan_start; i < (int)ref_dat.size(); ++i) {
		if (ref_dat[i].load_time != tex_deferred) continue;
		const ref_dat_struct s = ref_dat[i];
		if (done % 40 == 0) {
			const size_t slash = s.name.find_last_of('/');
			const std::string leaf = slash == std::string::npos ? s.name : s.name.substr(slash + 1);
			float progress = (float)done / (float)count;
			UTL_critical_section_unlock(&lock);
			REPORT_progress("Loading scenery texture " + leaf + ".", &progress);
			UTL_critical_section_lock(&lock);
		}
		load_texture_int(s.fail_mode, i, s.flags, s.name, 0);
		done++;
	}
	deferred_scan_start = (int)ref_dat.size();
}

int tman_class::num_remaining_async_texes()
{
	tman_lock hold(&lock);
	int n = 0;
	for (int i = deferred_scan_start; i < (int)ref_dat.size(); ++i)
		if (ref_dat[i].load_time == tex_deferred) n++;
	return n;
}

int tman_class::load_scenery_async_register(tman_force_finish_obj* finish)
{
	for (int i = deferred_scan_start; i < (int)ref_dat.size(); ++i) {
		const ref_dat_struct& s = ref_dat[i];
		if (s.load_time != tex_deferred) continue;
		async_finish = finish;
		async_vars = tex_load_vars();
		async_vars.fail_mode = s.fail_mode;
		async_vars.ref = i;
		async_vars.flags = s.flags;
		async_vars.name = s.name;
		async_vars.first_load = 0;
		async_current = &async_vars;
		return 1;
	}
	deferred_scan_start = (int)ref_dat.size();
	return 0;
}

int tman_class::load_scenery_async_work()
{
	if (!async_current) return 0;
	async_result = load_texture_io(async_current);
	return async_result;
}

int tman_class::load_scenery_async_finalize()
{
	if (!async_current) return 0;
	int r = 0;
	if (async_result >= 0) r = load_texture_ogl(async_current, async_result);
	async_finish = nullptr;
	async_current = nullptr;
	return r;
}

void tman_class::reset_bind() { TEX_reset_bind(); }

void tman_class::set_blend_level(int unit, float level) { TEX_set_blend_level(unit, level); }
