// The camera: set-up, planes, axes, projection to pixels, view-volume bounds,
// the light camera and the debug switches, checked against GL and GLU.
#include <GL/glu.h>

#include <cmath>
#include <cstring>

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OGL/OGL_camera.h"
#include "DIzivoz/OGL/OGL_matrix.h"
#include "tests/support/gl_context.h"

namespace {

double dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The world point of clip-cube corner i of a camera (x bit 0, y bit 1, z bit 2).
void world_corner(const xcam_class& c, int i, double out[3])
{
	double inv_p[16], inv_mv[16], both[16];
	ASSERT_EQ(invertMatrix(inv_p, c.projection), 1);
	ASSERT_EQ(invertMatrix(inv_mv, c.modelview), 1);
	multMatrices(both, inv_mv, inv_p);
	double p[4] = {(i & 1) ? 1.0 : -1.0, (i & 2) ? 1.0 : -1.0, (i & 4) ? 1.0 : -1.0, 1}, q[4];
	for (int r = 0; r < 4; ++r) q[r] = both[r] * p[0] + both[4 + r] * p[1] + both[8 + r] * p[2] + both[12 + r] * p[3];
	for (int k = 0; k < 3; ++k) out[k] = q[k] / q[3];
}

void eye_of(const double* mv, const double world[3], double out[3])
{
	for (int r = 0; r < 3; ++r) out[r] = mv[r] * world[0] + mv[4 + r] * world[1] + mv[8 + r] * world[2] + mv[12 + r];
}

struct stat_on {
	UTL_stat& s;
	stat_on(UTL_stat& st, float v) : s(st) { s.value = v; }
	~stat_on() { s.value = 0; }
};

}  // namespace

static_assert(xcam_class().is_ortho == 1 && xcam_class().matrices_changed == 1 && xcam_class().modelview_stale == 1,
              "the camera is constant-initialised with its flags set");

TEST(ogl_camera, construction_and_copies)
{
	xcam_class a;
	EXPECT_EQ(memcmp(a.projection, gIdentity, sizeof gIdentity), 0);
	EXPECT_EQ(memcmp(a.modelview, gIdentity, sizeof gIdentity), 0);
	a.SetupPerspective(60, 1.5, 1, 500);
	a.LookAtPtFromPt(1, 2, 3, 0, 0, 0, 0, 1, 0);
	a.modelview_stale = 0;
	xcam_class b(&a), c(a), d;
	d = a;
	for (const xcam_class* copy : {&b, &c, &d}) {
		EXPECT_EQ(memcmp(copy->modelview, a.modelview, sizeof a.modelview), 0);
		EXPECT_EQ(memcmp(copy->plane_left, a.plane_left, sizeof a.plane_left), 0);
		EXPECT_EQ(copy->far_z, a.far_z);
		EXPECT_EQ(copy->is_ortho, 0);
		EXPECT_EQ(copy->modelview_stale, 0);
	}
	xcam_class e(nullptr);  // nothing to copy: the defaults
	EXPECT_EQ(e.is_ortho, 1);
	EXPECT_EQ(memcmp(e.modelview, gIdentity, sizeof gIdentity), 0);
}

TEST(ogl_camera, side_planes_and_half_cosines)
{
	const double h = sqrt(0.5);
	xcam_class c;
	c.matrices_changed = 0;
	c.SetupFrustum(-1, 1, -1, 1, 1, 100);
	const double want[4][3] = {{h, 0, -h}, {-h, 0, -h}, {0, -h, -h}, {0, h, -h}};
	const double* got[4] = {c.plane_left, c.plane_right, c.plane_top, c.plane_bottom};
	for (int p = 0; p < 4; ++p)
		for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[p][k], want[p][k], 1e-12) << p << " " << k;
	EXPECT_EQ(c.is_ortho, 0);
	EXPECT_EQ(c.matrices_changed, 1);
	EXPECT_EQ(c.near_z, -1);
	EXPECT_EQ(c.far_z, -100);
	EXPECT_EQ(c.fake_far_z, -100);
	float hc = 0, vc = 0;
	EXPECT_TRUE(c.GetFOVHalfCosines(&hc, &vc));
	EXPECT_NEAR(hc, h, 1e-6);
	EXPECT_NEAR(vc, h, 1e-6);
	EXPECT_TRUE(c.GetFOVHalfCosines(nullptr, &vc));

	// A symmetric perspective: the half cosines are those of the half angles.
	c.SetupPerspective(60, 2, 1, 100);
	EXPECT_TRUE(c.GetFOVHalfCosines(&hc, &vc));
	EXPECT_NEAR(vc, cos(30 * M_PI / 180), 1e-6);
	EXPECT_NEAR(hc, cos(atan(2 * tan(30 * M_PI / 180))), 1e-6);

	// Planes of any frustum: the corners lie on them, the near centre inside.
	const double frusta[][6] = {{-1, 1, -1, 1, 1, 100}, {-2, 3, -0.5, 1.5, 0.5, 100}, {0.2, 0.9, -0.7, -0.1, 2, 9}};
	for (const auto& f : frusta) {
		c.SetupFrustum(f[0], f[1], f[2], f[3], f[4], f[5]);
		double TL[3] = {f[0], f[3], -f[4]}, TR[3] = {f[1], f[3], -f[4]}, BL[3] = {f[0], f[2], -f[4]},
		       BR[3] = {f[1], f[2], -f[4]}, centre[3] = {(f[0] + f[1]) / 2, (f[2] + f[3]) / 2, -f[4]};
		const struct { const double* plane; const double* a; const double* b; } sides[] = {
		    {c.plane_top, TL, TR}, {c.plane_left, BL, TL}, {c.plane_right, TR, BR}, {c.plane_bottom, BR, BL}};
		for (const auto& s : sides) {
			EXPECT_NEAR(dot(s.plane, s.plane), 1, 1e-12);
			EXPECT_NEAR(dot(s.plane, s.a), 0, 1e-12);
			EXPECT_NEAR(dot(s.plane, s.b), 0, 1e-12);
			EXPECT_GT(dot(s.plane, centre), 0);
		}
	}

	// Ortho: false, outputs untouched; planes kept from the last frustum.
	double left_before[3];
	memcpy(left_before, c.plane_left, sizeof left_before);
	c.SetupOrtho(-10, 10, -5, 5, 1, 50);
	hc = vc = 42;
	EXPECT_FALSE(c.GetFOVHalfCosines(&hc, &vc));
	EXPECT_EQ(hc, 42);
	EXPECT_EQ(vc, 42);
	EXPECT_EQ(memcmp(c.plane_left, left_before, sizeof left_before), 0);
	EXPECT_EQ(c.ortho_left, -10);
	EXPECT_EQ(c.ortho_top, 5);
	EXPECT_EQ(c.far_z, -50);

	// The fake far plane is never beyond the far plane.
	c.SetFakeFarClippingPlane(20);
	EXPECT_EQ(c.fake_far_z, -20);
	c.SetFakeFarClippingPlane(80);
	EXPECT_EQ(c.fake_far_z, -50);
	c.SetFakeFarClippingPlane(20);
	c.ResetFakeFarClippingPlane();
	EXPECT_EQ(c.fake_far_z, -50);
}

TEST(ogl_camera, narrowing_switches)
{
	xcam_class plain, narrowed;
	plain.SetupFrustum(-2, 2, -1, 3, 1, 100);
	double central[16];
	buildFrustumMatrix(central, -0.2, 0.2, 0.8, 1.2, 1, 100);
	{
		stat_on clip(gKillClip, 1);
		narrowed.SetupFrustum(-2, 2, -1, 3, 1, 100);
	}
	for (int i = 0; i < 16; ++i) EXPECT_NEAR(narrowed.projection[i], central[i], 1e-5) << i;
	EXPECT_EQ(memcmp(narrowed.plane_left, plain.plane_left, sizeof plain.plane_left), 0);
	{
		stat_on cull(gKillCull, 1);
		narrowed.SetupFrustum(-2, 2, -1, 3, 1, 100);
	}
	EXPECT_EQ(memcmp(narrowed.projection, plain.projection, sizeof plain.projection), 0);
	xcam_class want;
	want.SetupFrustum(-0.2f, 0.2f, 0.8f, 1.2f, 1, 100);
	for (int k = 0; k < 3; ++k) {
		EXPECT_NEAR(narrowed.plane_left[k], want.plane_left[k], 1e-6);
		EXPECT_NEAR(narrowed.plane_top[k], want.plane_top[k], 1e-6);
	}
	EXPECT_EQ(gKillCull.type, stat_debug);
	EXPECT_STREQ(gKillClip.name, "perf/kill_clip");
	EXPECT_STREQ(gExtraNear.name, "shadow/extra_near");
}

TEST_F(gl_test, modelview_operations_match_opengl)
{
	xcam_class c;
	c.LookAtPtFromPt(3, 4, 5, -1, 2, 0, 0, 1, 0);
	c.Translate(1, -2, 0.5);
	c.Rotate(37, 0.2, 1, -0.3);
	double theirs[16];
	gl_libgl.MatrixMode(GL_MODELVIEW);
	gl_libgl.PushMatrix();
	gl_libgl.LoadIdentity();
	gluLookAt(3, 4, 5, -1, 2, 0, 0, 1, 0);
	gl_libgl.Translated(1, -2, 0.5);
	gl_libgl.Rotated(37, 0.2, 1, -0.3);
	gl_libgl.GetDoublev(GL_MODELVIEW_MATRIX, theirs);
	gl_libgl.PopMatrix();
	for (int i = 0; i < 16; ++i) EXPECT_NEAR(c.modelview[i], theirs[i], 1e-6 * std::max(1.0, fabs(theirs[i])));
	c.matrices_changed = 0;
	c.Identity();
	EXPECT_EQ(memcmp(c.modelview, gIdentity, sizeof gIdentity), 0);
	EXPECT_EQ(c.matrices_changed, 1);

	// From a direction: the eye sits at the distance along azimuth and elevation.
	c.LookAtPtFromDir(1, 2, 3, 90, 30, 10);
	double inv[16];
	ASSERT_EQ(invertMatrix(inv, c.modelview), 1);
	EXPECT_NEAR(inv[12], 1, 1e-9);
	EXPECT_NEAR(inv[13], 2 + 10 * sin(30 * M_PI / 180), 1e-9);
	EXPECT_NEAR(inv[14], 3 + 10 * cos(30 * M_PI / 180), 1e-9);
}

TEST_F(gl_test, view_axes_and_a_stale_modelview_read_back_from_opengl)
{
	gl_libgl.MatrixMode(GL_MODELVIEW);
	gl_libgl.PushMatrix();
	gl_libgl.LoadIdentity();
	gluLookAt(2, 3, 4, 2, 3, -6, 0, 1, 0);  // looking down -z from (2, 3, 4)
	gl_libgl.Rotated(90, 0, 1, 0);          // then turned: looking down -x... in world terms
	double theirs[16];
	gl_libgl.GetDoublev(GL_MODELVIEW_MATRIX, theirs);
	xcam_class c;
	c.matrices_changed = 0;
	double dir[3], up[3], right[3];
	{
		gl_recorder rec;
		c.CalcDirection(dir);
		EXPECT_EQ(rec.count("GetDoublev"), 1);
		rec.clear();
		c.CalcUp(up);
		EXPECT_EQ(rec.count("GetDoublev"), 0);  // read once
	}
	gl_libgl.PopMatrix();
	EXPECT_EQ(c.modelview_stale, 0);
	EXPECT_EQ(c.matrices_changed, 1);
	for (int i = 0; i < 16; ++i) EXPECT_EQ(c.modelview[i], theirs[i]);
	// The view direction is the world direction the eye looks along: the
	// rotation turned the world, so the camera now faces +x in world terms.
	EXPECT_NEAR(dir[0], 1, 1e-6);
	EXPECT_NEAR(dir[1], 0, 1e-6);
	EXPECT_NEAR(dir[2], 0, 1e-6);
	EXPECT_NEAR(up[1], 1, 1e-6);
	c.CalcRight(right);
	EXPECT_NEAR(right[2], 1, 1e-6);  // direction x up
	float br[3], bu[3];
	c.CalcBillboardGround(br, bu);
	EXPECT_NEAR(br[2], 1, 1e-6);
	EXPECT_NEAR(bu[1], 1, 1e-6);
	c.CalcBillboardCamera(br, bu);
	EXPECT_NEAR(br[2], 1, 1e-6);
	EXPECT_NEAR(bu[1], 1, 1e-6);
}

TEST_F(gl_test, world_to_pixel_matches_glu_project)
{
	mnw_struct keep = mnw;
	xcam_class c;
	c.SetupPerspective(50, 800.0 / 600.0, 1, 1000);
	c.LookAtPtFromPt(10, 20, 30, 0, 0, 0, 0, 1, 0);
	gl_libgl.Viewport(0, 0, 800, 600);
	const GLint vp[4] = {0, 0, 800, 600};
	const double points[][3] = {{0, 0, 0}, {5, -3, 2}, {-8, 4, 10}, {30, 10, -40}};
	// A GUI scale not yet set (0) counts as 1: GUI units are window pixels.
	const struct { float ox, oy, scale, divisor; } windows[] = {{0, 0, 1, 1}, {100, 50, 2, 2}, {100, 50, 0, 1}};
	for (const auto& w : windows)
		for (const auto& p : points) {
			mnw.wind_x = w.ox;
			mnw.wind_y = w.oy;
			mnw.gui_scale = w.scale;
			double px[2], gx, gy, gz;
			c.mtr_to_pix(p, px);
			ASSERT_EQ(gluProject(p[0], p[1], p[2], c.modelview, c.projection, vp, &gx, &gy, &gz), GL_TRUE);
			EXPECT_NEAR(px[0], (gx - w.ox) / w.divisor, 1e-6 * 800);
			EXPECT_NEAR(px[1], (gy - w.oy) / w.divisor, 1e-6 * 600);
		}
	// Clip w of exactly 0 (a point in the eye's plane): x and y undivided.
	c.Identity();
	c.SetupFrustum(-1, 1, -1, 1, 1, 100);
	mnw.wind_x = mnw.wind_y = 0;
	mnw.gui_scale = 1;
	const double side[3] = {0.5, 0.25, 0};
	double px[2];
	c.mtr_to_pix(side, px);
	EXPECT_DOUBLE_EQ(px[0], (0.5 + 1) * 0.5 * 800);
	EXPECT_DOUBLE_EQ(px[1], (0.25 + 1) * 0.5 * 600);
	mnw = keep;
}

TEST(ogl_camera, accum_segment_cases)
{
	const struct { const char* what; double lo, hi; double a[3], b[3]; bool grows; double min[3], max[3]; } cases[] = {
	    {"level inside", 0, 10, {1, 5, 2}, {3, 5, 4}, true, {1, 5, 2}, {3, 5, 4}},
	    {"level outside", 0, 10, {1, 11, 2}, {3, 11, 4}, false, {}, {}},
	    {"crosses both levels", 0, 10, {0, -10, 0}, {20, 30, 40}, true, {5, 0, 10}, {10, 10, 20}},
	    {"reversed ends", 0, 10, {20, 30, 40}, {0, -10, 0}, true, {5, 0, 10}, {10, 10, 20}},
	    {"one end inside", 0, 10, {0, 5, 0}, {10, 15, -10}, true, {0, 5, -5}, {5, 10, 0}},
	    {"wholly above", 0, 10, {0, 11, 0}, {10, 15, -10}, false, {}, {}},
	    {"thin band", 2, 2, {0, 0, 0}, {4, 4, 8}, true, {2, 2, 4}, {2, 2, 4}},
	    {"thin band missed", 5, 5, {0, 0, 0}, {4, 4, 8}, false, {}, {}},
	    {"ends equal in single precision", 1, 1, {0, 1, 0}, {4, 1 + 1e-12, 8}, true, {2, 1, 4}, {2, 1, 4}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		double mn[3] = {9.9e9, 9.9e9, 9.9e9}, mx[3] = {-9.9e9, -9.9e9, -9.9e9};
		xcam_class::accum_segment(c.lo, c.hi, c.a, c.b, mn, mx);
		EXPECT_EQ(mx[0] >= mn[0], c.grows);
		if (!c.grows) continue;
		for (int k = 0; k < 3; ++k) {
			EXPECT_NEAR(mn[k], c.min[k], 1e-6) << k;
			EXPECT_NEAR(mx[k], c.max[k], 1e-6) << k;
		}
	}
}

TEST(ogl_camera, frustum_bounds)
{
	// Ortho: the box exactly, cut at the nearer of far and max_distance.
	xcam_class c;
	c.SetupOrtho(-10, 10, -5, 5, 1, 100);
	double mn[3], mx[3];
	ASSERT_TRUE(c.GetFrustumBounds(50, -100, 100, mn, mx));
	const double omin[3] = {-10, -5, -50}, omax[3] = {10, 5, -1};
	for (int k = 0; k < 3; ++k) {
		EXPECT_EQ(mn[k], omin[k]);
		EXPECT_EQ(mx[k], omax[k]);
	}
	// A band wholly above the view: false and the sentinel box.
	EXPECT_FALSE(c.GetFrustumBounds(50, 6, 9, mn, mx));
	for (int k = 0; k < 3; ++k) {
		EXPECT_EQ(mn[k], 9.9e9);
		EXPECT_EQ(mx[k], -9.9e9);
	}
	// A band through the middle cuts y.
	ASSERT_TRUE(c.GetFrustumBounds(50, 0, 2, mn, mx));
	EXPECT_EQ(mn[1], 0);
	EXPECT_EQ(mx[1], 2);

	// Perspective, uncut: the box of GLU's unprojected window corners.
	c.SetupPerspective(50, 4.0 / 3, 1, 200);
	c.LookAtPtFromPt(10, 20, 30, 0, 0, 0, 0, 1, 0);
	const GLint vp[4] = {0, 0, 800, 600};
	double want_min[3] = {1e30, 1e30, 1e30}, want_max[3] = {-1e30, -1e30, -1e30};
	for (int i = 0; i < 8; ++i) {
		double w[3];
		ASSERT_EQ(gluUnProject((i & 1) ? 800 : 0, (i & 2) ? 600 : 0, (i & 4) ? 1 : 0, c.modelview, c.projection, vp,
		                       &w[0], &w[1], &w[2]),
		          GL_TRUE);
		for (int k = 0; k < 3; ++k) {
			want_min[k] = std::min(want_min[k], w[k]);
			want_max[k] = std::max(want_max[k], w[k]);
		}
	}
	ASSERT_TRUE(c.GetFrustumBounds(1000, -1e6, 1e6, mn, mx));
	for (int k = 0; k < 3; ++k) {
		EXPECT_NEAR(mn[k], want_min[k], 1e-6 * std::max(1.0, fabs(want_min[k])));
		EXPECT_NEAR(mx[k], want_max[k], 1e-6 * std::max(1.0, fabs(want_max[k])));
	}
	// Cut at a distance: with the identity view, no point farther than it.
	c.Identity();
	ASSERT_TRUE(c.GetFrustumBounds(40, -1e6, 1e6, mn, mx));
	EXPECT_NEAR(mn[2], -40, 1e-4);
	EXPECT_NEAR(mx[2], -1, 1e-6);
	EXPECT_FALSE(c.GetFrustumBounds(40, 1e5, 2e5, mn, mx));
	// A modelview that cannot be inverted: false, never an unset matrix.
	memset(c.modelview, 0, sizeof c.modelview);
	mn[0] = 0;
	EXPECT_FALSE(c.GetFrustumBounds(40, -1e6, 1e6, mn, mx));
	EXPECT_EQ(mn[0], 9.9e9);
}

TEST(ogl_camera, light_camera_encloses_the_view)
{
	xcam_class view;
	view.SetupPerspective(60, 1.5, 1, 300);
	view.LookAtPtFromPt(10, 5, 30, 0, 0, 0, 0, 1, 0);
	double light[3] = {0.3, -1, 0.2};
	double len = sqrt(dot(light, light));
	for (double& v : light) v /= len;
	for (float extra : {0.0f, 5.0f}) {
		SCOPED_TRACE(extra);
		stat_on pull(gExtraNear, extra);
		xcam_class sun;
		double near_out = 0, far_out = 0;
		sun.LookAtCamera(&view, light, 500, near_out, far_out);
		EXPECT_EQ(sun.is_ortho, 1);
		EXPECT_EQ(near_out, -sun.near_z);
		EXPECT_EQ(far_out, -sun.far_z);
		EXPECT_EQ(sun.fake_far_z, sun.far_z);
		for (int i = 0; i < 8; ++i) {
			double w[3], e[3];
			world_corner(view, i, w);
			eye_of(sun.modelview, w, e);
			EXPECT_GE(e[0], sun.ortho_left - 1e-6);
			EXPECT_LE(e[0], sun.ortho_right + 1e-6);
			EXPECT_GE(e[1], sun.ortho_bottom - 1e-6);
			EXPECT_LE(e[1], sun.ortho_top + 1e-6);
			EXPECT_GE(e[2], sun.far_z - 1e-6);
			EXPECT_LE(e[2], sun.near_z - extra + 1e-6);
		}
		// The light looks along its direction.
		double d[3];
		sun.modelview_stale = 0;
		sun.CalcDirection(d);
		for (int k = 0; k < 3; ++k) EXPECT_NEAR(d[k], light[k], 1e-9);
		// The projection is the light box.
		double box[16];
		buildOrthoMatrix(box, sun.ortho_left, sun.ortho_right, sun.ortho_bottom, sun.ortho_top, near_out, far_out);
		EXPECT_EQ(memcmp(box, sun.projection, sizeof box), 0);
	}
	// A view that cannot be inverted leaves the light camera and the outputs alone.
	xcam_class flat(view), sun;
	memset(flat.modelview, 0, sizeof flat.modelview);
	sun.SetupOrtho(-1, 1, -1, 1, 1, 2);
	xcam_class before(sun);
	double near_out = 7, far_out = 8;
	sun.LookAtCamera(&flat, light, 500, near_out, far_out);
	EXPECT_EQ(memcmp(sun.projection, before.projection, sizeof sun.projection), 0);
	EXPECT_EQ(memcmp(sun.modelview, before.modelview, sizeof sun.modelview), 0);
	EXPECT_EQ(sun.ortho_left, before.ortho_left);
	EXPECT_EQ(sun.ortho_top, before.ortho_top);
	EXPECT_EQ(sun.near_z, before.near_z);
	EXPECT_EQ(sun.far_z, before.far_z);
	EXPECT_EQ(near_out, 7);
	EXPECT_EQ(far_out, 8);
}
