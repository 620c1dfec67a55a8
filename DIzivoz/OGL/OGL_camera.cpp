#include "DIzivoz/OGL/OGL_camera.h"

#include <algorithm>
#include <cmath>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OGL/OGL_matrix.h"

UTL_stat gKillCull("perf/kill_cull", stat_debug, 0);
UTL_stat gKillClip("perf/kill_clip", stat_debug, 0);
UTL_stat gExtraNear("shadow/extra_near", stat_debug, 0);

static const double deg_to_rad = 0.017453292519943295;

static void normalise_if_long(double* v)
{
	double len = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
	if (len > 0) {
		v[0] /= len;
		v[1] /= len;
		v[2] /= len;
	}
}

static void normalise_if_long(float* v)
{
	float len = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
	if (len > 0) {
		v[0] /= len;
		v[1] /= len;
		v[2] /= len;
	}
}

template <class T, class U, class V>
static void cross3(T* out, const U* a, const V* b)
{
	T x = a[1] * b[2] - a[2] * b[1];
	T y = a[2] * b[0] - a[0] * b[2];
	T z = a[0] * b[1] - a[1] * b[0];
	out[0] = x;
	out[1] = y;
	out[2] = z;
}

// m x (x, y, z, w), all four components.
static void transform4(const double* m, const double in[4], double out[4])
{
	for (int r = 0; r < 4; ++r) out[r] = m[r] * in[0] + m[4 + r] * in[1] + m[8 + r] * in[2] + m[12 + r] * in[3];
}

// Constant-initialised: exists from load, before any unit's constructors.
xcam_class xcam;

xcam_class::xcam_class(xcam_class* other)
{
	if (other) *this = *other;
}

void xcam_class::SetupOrtho(double left, double right, double bottom, double top, double near_v, double far_v)
{
	is_ortho = 1;
	buildOrthoMatrix(projection, left, right, bottom, top, near_v, far_v);
	ortho_top = top;
	ortho_left = left;
	ortho_right = right;
	ortho_bottom = bottom;
	near_z = -near_v;
	far_z = fake_far_z = -far_v;
	matrices_changed = 1;
}

// The central tenth of lo..hi, in single precision.
static void narrowed(double lo, double hi, double& nlo, double& nhi)
{
	float flo = (float)lo, fhi = (float)hi;
	float mn = std::min(flo, fhi), mx = std::max(flo, fhi);
	float a = flo + 0.45f * (fhi - flo);
	float b = flo + 0.55f * (fhi - flo);
	nlo = std::min(std::max(a, mn), mx);
	nhi = std::min(std::max(b, mn), mx);
}

void xcam_class::SetupFrustum(double left, double right, double bottom, double top, double near_v, double far_v)
{
	is_ortho = 0;
	double nl, nr, nb, nt;
	narrowed(left, right, nl, nr);
	narrowed(bottom, top, nb, nt);
	if (gKillClip.value != 0) buildFrustumMatrix(projection, nl, nr, nb, nt, near_v, far_v);
	else buildFrustumMatrix(projection, left, right, bottom, top, near_v, far_v);
	bool cull = gKillCull.value != 0;
	double L = cull ? nl : left, R = cull ? nr : right, B = cull ? nb : bottom, T = cull ? nt : top;
	double TL[3] = {L, T, -near_v}, TR[3] = {R, T, -near_v}, BL[3] = {L, B, -near_v}, BR[3] = {R, B, -near_v};
	normalise_if_long(TL);
	normalise_if_long(TR);
	normalise_if_long(BL);
	normalise_if_long(BR);
	cross3(plane_top, TL, TR);
	cross3(plane_left, BL, TL);
	cross3(plane_right, TR, BR);
	cross3(plane_bottom, BR, BL);
	normalise_if_long(plane_top);
	normalise_if_long(plane_right);
	normalise_if_long(plane_bottom);
	normalise_if_long(plane_left);
	near_z = -near_v;
	far_z = fake_far_z = -far_v;
	matrices_changed = 1;
}

void xcam_class::SetupPerspective(double fovy_degrees, double aspect, double near_v, double far_v)
{
	double ymax = near_v * tan(M_PI * fovy_degrees / 360.0);
	SetupFrustum(-ymax * aspect, ymax * aspect, -ymax, ymax, near_v, far_v);
}

void xcam_class::SetFakeFarClippingPlane(double distance)
{
	fake_far_z = std::max((float)-distance, (float)far_z);
}

void xcam_class::ResetFakeFarClippingPlane() { fake_far_z = far_z; }

bool xcam_class::GetFOVHalfCosines(float* horizontal, float* vertical)
{
	if (is_ortho) return false;
	if (horizontal) *horizontal = (float)((plane_left[0] - plane_right[0]) * 0.5);
	if (vertical) *vertical = (float)((plane_bottom[1] - plane_top[1]) * 0.5);
	return true;
}

void xcam_class::Identity()
{
	setIdentityMatrix(modelview);
	matrices_changed = 1;
}

void xcam_class::LookAtPtFromPt(double ex, double ey, double ez, double cx, double cy, double cz, double ux,
                                double uy, double uz)
{
	buildLookAtMatrix(modelview, ex, ey, ez, cx, cy, cz, ux, uy, uz);
	matrices_changed = 1;
}

void xcam_class::LookAtPtFromDir(double x, double y, double z, double azimuth, double elevation, double d)
{
	double az = azimuth * deg_to_rad, el = elevation * deg_to_rad;
	LookAtPtFromPt(x + d * cos(el) * cos(az), y + d * sin(el), z + d * cos(el) * sin(az), x, y, z, 0, 1, 0);
}

void xcam_class::Translate(double x, double y, double z)
{
	applyTranslation(modelview, x, y, z);
	matrices_changed = 1;
}

void xcam_class::Rotate(double angle, double x, double y, double z)
{
	applyRotation(modelview, angle, x, y, z);
	matrices_changed = 1;
}

void xcam_class::fetch_stale_modelview()
{
	if (!modelview_stale) return;
	modelview_stale = 0;
	matrices_changed = 1;
	gl.GetDoublev(GL_MODELVIEW_MATRIX, modelview);
}

// Transpose of the modelview times (px, py, pz, 1), normalised.
void xcam_class::transposed_point(double px, double py, double pz, double out[3])
{
	fetch_stale_modelview();
	const double* m = modelview;
	for (int i = 0; i < 3; ++i) out[i] = m[i * 4 + 0] * px + m[i * 4 + 1] * py + m[i * 4 + 2] * pz + m[i * 4 + 3];
	normalise_if_long(out);
}

void xcam_class::CalcUp(double out[3]) { transposed_point(0, 1, 0, out); }
void xcam_class::CalcDirection(double out[3]) { transposed_point(0, 0, -1, out); }

void xcam_class::CalcRight(double out[3])
{
	double d[3], u[3];
	CalcDirection(d);
	CalcUp(u);
	cross3(out, d, u);
}

void xcam_class::CalcBillboardGround(float right[3], float up[3])
{
	double d[3];
	CalcDirection(d);
	right[0] = (float)-d[2];
	right[1] = 0;
	right[2] = (float)d[0];
	normalise_if_long(right);
	cross3(up, right, d);
	normalise_if_long(up);
}

void xcam_class::CalcBillboardCamera(float right[3], float up[3])
{
	double d[3], u[3];
	CalcDirection(d);
	CalcUp(u);
	cross3(right, d, u);
	normalise_if_long(right);
	for (int i = 0; i < 3; ++i) up[i] = (float)u[i];
}

void xcam_class::mtr_to_pix(const double world[3], double pixel[2])
{
	double p[4] = {world[0], world[1], world[2], 1}, eye[4], clip[4];
	transform4(modelview, p, eye);
	transform4(projection, eye, clip);
	if (clip[3] != 0) {
		clip[0] /= clip[3];
		clip[1] /= clip[3];
	}
	GLfloat vp[4] = {0, 0, 0, 0};
	gl.GetFloatv(GL_VIEWPORT, vp);
	// The scale is 0 until the window's pixel specs are set; GUI units are
	// window pixels then.
	const double scale = mnw.gui_scale > 0 ? mnw.gui_scale : 1.0;
	pixel[0] = ((clip[0] + 1) * 0.5 * vp[2] + vp[0] - mnw.wind_x) / scale;
	pixel[1] = ((clip[1] + 1) * 0.5 * vp[3] + vp[1] - mnw.wind_y) / scale;
}

void xcam_class::accum_segment(double y_low, double y_high, const double a_in[3], const double b_in[3], double min[3],
                               double max[3])
{
	const double* a = a_in;
	const double* b = b_in;
	if (a[1] > b[1]) std::swap(a, b);
	auto grow = [&](const double* p) {
		for (int k = 0; k < 3; ++k) {
			float v = (float)p[k];
			if (v < (float)min[k]) min[k] = v;
			if (v > (float)max[k]) max[k] = v;
		}
	};
	// The point of the segment at level y.
	auto at = [&](double y, double out[3]) {
		out[1] = y;
		if ((float)a[1] == (float)b[1]) {
			out[0] = (a[0] + b[0]) * 0.5;
			out[2] = (a[2] + b[2]) * 0.5;
			return;
		}
		double t = (y - a[1]) / (b[1] - a[1]);
		for (int k : {0, 2}) {
			double v = a[k] + (b[k] - a[k]) * t;
			out[k] = std::min(std::max(v, std::min(a[k], b[k])), std::max(a[k], b[k]));
		}
	};
	float ay = (float)a[1], by = (float)b[1], lo = (float)y_low, hi = (float)y_high;
	double p[3];
	if (a[1] == b[1]) {
		if (lo <= ay && ay <= hi) {
			grow(a);
			grow(b);
		}
		return;
	}
	if (lo != hi) {
		if (lo <= ay && ay <= hi) grow(a);
		if (lo <= by && by <= hi) grow(b);
		if (ay < lo && lo < by) {
			at(y_low, p);
			grow(p);
		}
		if (ay < hi && hi < by) {
			at(y_high, p);
			grow(p);
		}
		return;
	}
	if (ay <= lo && lo <= by) {
		at(y_low, p);
		grow(p);
	}
}

// Corner i of the clip cube: x from bit 0, y from bit 1, z from bit 2 (0 near).
static double cube(int i, int bit) { return (i >> bit) & 1 ? 1.0 : -1.0; }

bool xcam_class::GetFrustumBounds(double max_distance, double y_low, double y_high, double min_out[3],
                                  double max_out[3])
{
	for (int k = 0; k < 3; ++k) {
		min_out[k] = 9.9e9;
		max_out[k] = -9.9e9;
	}
	double inv_mv[16], inv_proj[16];
	if (!invertMatrix(inv_mv, modelview)) return false;
	double z_lim = std::max(far_z, -max_distance);
	double corners[8][3];
	if (is_ortho) {
		for (int i = 0; i < 8; ++i) {
			double eye[4] = {(i & 1) ? ortho_right : ortho_left, (i & 2) ? ortho_top : ortho_bottom,
			                 (i & 4) ? z_lim : near_z, 1};
			double w[4];
			transform4(inv_mv, eye, w);
			for (int k = 0; k < 3; ++k) corners[i][k] = w[k];
		}
	} else {
		if (!invertMatrix(inv_proj, projection)) return false;
		for (int i = 0; i < 8; ++i) {
			double clip[4] = {cube(i, 0), cube(i, 1), cube(i, 2), 1}, eye[4], w[4];
			transform4(inv_proj, clip, eye);
			for (int k = 0; k < 3; ++k) eye[k] /= eye[3];
			eye[3] = 1;
			if (eye[2] < -max_distance) {
				float f = (float)(-max_distance / eye[2]);
				for (int k = 0; k < 3; ++k) eye[k] *= f;
			}
			transform4(inv_mv, eye, w);
			for (int k = 0; k < 3; ++k) corners[i][k] = w[k];
		}
	}
	static const int edges[12][2] = {{0, 1}, {1, 3}, {3, 2}, {2, 0}, {4, 5}, {5, 7},
	                                 {7, 6}, {6, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
	for (const auto& e : edges) accum_segment(y_low, y_high, corners[e[0]], corners[e[1]], min_out, max_out);
	return max_out[0] >= min_out[0];
}

void xcam_class::LookAtCamera(xcam_class* view, double light_dir[3], double distance, double& near_out,
                              double& far_out)
{
	double inv_proj[16], inv_mv[16];
	if (!invertMatrix(inv_proj, view->projection) || !invertMatrix(inv_mv, view->modelview)) return;
	double E[3] = {inv_mv[12], inv_mv[13], inv_mv[14]};
	buildLookAtMatrix(modelview, E[0] - distance * light_dir[0], E[1] - distance * light_dir[1],
	                  E[2] - distance * light_dir[2], E[0], E[1], E[2], 0, 1, 0);
	matrices_changed = 1;
	double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
	for (int i = 0; i < 8; ++i) {
		double clip[4] = {cube(i, 0), cube(i, 1), cube(i, 2), 1}, eye[4], world[4], light[4];
		transform4(inv_proj, clip, eye);
		transform4(inv_mv, eye, world);
		for (int k = 0; k < 3; ++k) world[k] /= world[3];
		world[3] = 1;
		transform4(modelview, world, light);
		for (int k = 0; k < 3; ++k) {
			if (i == 0 || light[k] < lo[k]) lo[k] = light[k];
			if (i == 0 || light[k] > hi[k]) hi[k] = light[k];
		}
	}
	double extra = gExtraNear.value;
	is_ortho = 1;
	buildOrthoMatrix(projection, lo[0], hi[0], lo[1], hi[1], -(hi[2] + extra), -lo[2]);
	ortho_top = hi[1];
	ortho_left = lo[0];
	ortho_right = hi[0];
	ortho_bottom = lo[1];
	near_z = hi[2] + extra;
	far_z = fake_far_z = lo[2];
	matrices_changed = 1;
	near_out = -(hi[2] + extra);
	far_out = -lo[2];
}
