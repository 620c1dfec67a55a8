// Matrix helpers against OpenGL's and GLU's own matrices, read back with
// glGetDoublev (Mesa keeps them in single precision).
#include <GL/glu.h>

#include <cmath>
#include <functional>

#include "DIzivoz/OGL/OGL_matrix.h"
#include "tests/support/gl_context.h"

namespace {

void expect_near_matrix(const double* got, const double* want, const char* what)
{
	for (int i = 0; i < 16; ++i)
		EXPECT_NEAR(got[i], want[i], 1e-6 * std::max(1.0, fabs(want[i]))) << what << ", element " << i;
}

// What OpenGL makes of some matrix calls on the modelview stack.
void gl_matrix(const std::function<void()>& calls, double* out)
{
	gl_libgl.MatrixMode(GL_MODELVIEW);
	gl_libgl.PushMatrix();
	gl_libgl.LoadIdentity();
	calls();
	gl_libgl.GetDoublev(GL_MODELVIEW_MATRIX, out);
	gl_libgl.PopMatrix();
}

const double some_matrix[16] = {0.8, -0.3, 0.2, 0, 0.4, 0.9, -0.5, 0, -0.1, 0.6, 0.7, 0, 3, -2, 5, 1};

struct box { double l, r, b, t, n, f; };
const box boxes[] = {{-1, 1, -1, 1, 1, 100}, {-2, 3, -0.5, 1.5, 0.1, 1000}, {0, 800, 0, 600, -1, 1},
                     {-0.3, 0.1, 0.2, 0.9, 2, 7}};

}  // namespace

TEST_F(gl_test, frustum_and_ortho_match_opengl)
{
	for (const box& x : boxes) {
		double mine[16], theirs[16];
		if (x.n > 0) {
			buildFrustumMatrix(mine, x.l, x.r, x.b, x.t, x.n, x.f);
			gl_matrix([&] { gl_libgl.Frustum(x.l, x.r, x.b, x.t, x.n, x.f); }, theirs);
			expect_near_matrix(mine, theirs, "frustum");
		}
		buildOrthoMatrix(mine, x.l, x.r, x.b, x.t, x.n, x.f);
		gl_matrix([&] { gl_libgl.Ortho(x.l, x.r, x.b, x.t, x.n, x.f); }, theirs);
		expect_near_matrix(mine, theirs, "ortho");
	}
	const struct { double fovy, aspect, n, f; } persp[] = {{45, 4.0 / 3, 1, 100}, {90, 1, 0.5, 50}, {20, 0.5, 3, 3000}};
	for (const auto& p : persp) {
		double mine[16], theirs[16];
		buildPerspectiveMatrix(mine, p.fovy, p.aspect, p.n, p.f);
		gl_matrix([&] { gluPerspective(p.fovy, p.aspect, p.n, p.f); }, theirs);
		expect_near_matrix(mine, theirs, "perspective");
	}
}

TEST_F(gl_test, rotations_and_translations_match_opengl)
{
	const struct { double angle, x, y, z; } rotations[] = {
	    {90, 1, 0, 0}, {90, -1, 0, 0}, {30, 0, 1, 0}, {30, 0, -1, 0}, {45, 0, 0, 1}, {45, 0, 0, -1},
	    {-70, 0, 0, 2.5}, {33, 1, 2, 3}, {120, -1, 1, 0.5}, {200, 0, 3, -4}, {15, 1e-3, 0, 1e-3}};
	for (const auto& r : rotations) {
		double mine[16], theirs[16];
		buildRotation(mine, r.angle, r.x, r.y, r.z);
		gl_matrix([&] { gl_libgl.Rotated(r.angle, r.x, r.y, r.z); }, theirs);
		expect_near_matrix(mine, theirs, "rotation");
		// Applied to a matrix that is not the identity.
		copyMatrix(mine, some_matrix);
		applyRotation(mine, r.angle, r.x, r.y, r.z);
		gl_matrix([&] { gl_libgl.LoadMatrixd(some_matrix); gl_libgl.Rotated(r.angle, r.x, r.y, r.z); }, theirs);
		expect_near_matrix(mine, theirs, "applied rotation");
	}
	double m[16];
	buildRotation(m, 90, 0, 0, 1);
	EXPECT_EQ(m[4], -1);  // m(0,1)
	EXPECT_EQ(m[1], 1);   // m(1,0)
	EXPECT_NEAR(m[0], 0, 1e-15);
	buildRotation(m, 90, 0, 0, -1);
	EXPECT_EQ(m[4], 1);
	EXPECT_EQ(m[1], -1);
	for (double axis_len : {0.0, 5e-5}) {  // no axis to speak of: the identity stays
		buildRotation(m, 40, axis_len, axis_len, 0);
		expect_near_matrix(m, gIdentity, "short axis");
	}
	double mine[16], theirs[16];
	copyMatrix(mine, some_matrix);
	applyTranslation(mine, 1.5, -2, 7);
	gl_matrix([&] { gl_libgl.LoadMatrixd(some_matrix); gl_libgl.Translated(1.5, -2, 7); }, theirs);
	expect_near_matrix(mine, theirs, "translation");
	double other[16];
	buildRotation(other, 33, 1, 2, 3);
	applyTranslation(other, 4, 5, 6);
	multMatrices(mine, some_matrix, other);
	gl_matrix([&] { gl_libgl.LoadMatrixd(some_matrix); gl_libgl.MultMatrixd(other); }, theirs);
	expect_near_matrix(mine, theirs, "product");
}

TEST_F(gl_test, look_at_matches_glu)
{
	const double cases[][9] = {{0, 0, 5, 0, 0, 0, 0, 1, 0},   {3, 4, 5, -1, 2, 0, 0, 1, 0},
	                           {10, 2, -3, 0, 0, 0, 0, 0, 1}, {-2, 7, 1, 4, -3, 2, 0.3, 1, 0.2},
	                           {1, 2, 3, 1, 2, 4, 0, 1, 0}};
	for (const auto& c : cases) {
		double mine[16], theirs[16];
		buildLookAtMatrix(mine, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]);
		gl_matrix([&] { gluLookAt(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]); }, theirs);
		expect_near_matrix(mine, theirs, "look-at");
	}
	// The eye on the centre keeps a zero forward vector: the third row is 0.
	double m[16];
	buildLookAtMatrix(m, 1, 2, 3, 1, 2, 3, 0, 1, 0);
	for (int c = 0; c < 4; ++c) EXPECT_EQ(m[c * 4 + 2], 0.0);
}

TEST(ogl_matrix, a_matrix_times_its_inverse_is_the_identity)
{
	double frustum[16], look[16], rot[16], permuted[16] = {0, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 3, 0, 4, 0, 0};
	buildFrustumMatrix(frustum, -2, 3, -0.5, 1.5, 0.1, 1000);
	buildLookAtMatrix(look, 3, 4, 5, -1, 2, 0, 0, 1, 0);
	buildRotation(rot, 33, 1, 2, 3);
	applyTranslation(rot, 4, -5, 6);
	const double* cases[] = {gIdentity, some_matrix, frustum, look, rot, permuted};
	for (const double* src : cases) {
		double inv[16], prod[16];
		ASSERT_EQ(invertMatrix(inv, src), 1);
		multMatrices(prod, src, inv);
		for (int i = 0; i < 16; ++i) EXPECT_NEAR(prod[i], gIdentity[i], 1e-9) << i;
		multMatrices(prod, inv, src);
		for (int i = 0; i < 16; ++i) EXPECT_NEAR(prod[i], gIdentity[i], 1e-9) << i;
	}
	double inv[16];
	ASSERT_EQ(invertMatrix(inv, gIdentity), 1);
	for (int i = 0; i < 16; ++i) EXPECT_EQ(inv[i], gIdentity[i]);

	// Singular: a zero row, two equal columns, all zero. dst stays as it was.
	double zero_row[16], equal_cols[16], zeros[16] = {};
	copyMatrix(zero_row, some_matrix);
	zero_row[1] = zero_row[5] = zero_row[9] = zero_row[13] = 0;
	copyMatrix(equal_cols, some_matrix);
	for (int r = 0; r < 4; ++r) equal_cols[4 + r] = equal_cols[r];
	for (const double* src : {(const double*)zero_row, (const double*)equal_cols, (const double*)zeros}) {
		double dst[16];
		for (int i = 0; i < 16; ++i) dst[i] = 42 + i;
		EXPECT_EQ(invertMatrix(dst, src), 0);
		for (int i = 0; i < 16; ++i) EXPECT_EQ(dst[i], 42 + i);
	}
}

TEST(ogl_matrix, transpose_and_sum)
{
	double t[16], s[16];
	transposeMatrix(t, some_matrix);
	for (int r = 0; r < 4; ++r)
		for (int c = 0; c < 4; ++c) EXPECT_EQ(t[c * 4 + r], some_matrix[r * 4 + c]);
	addMatrices(s, some_matrix, gIdentity);
	for (int i = 0; i < 16; ++i) EXPECT_EQ(s[i], some_matrix[i] + gIdentity[i]);
}

TEST(ogl_matrix, print_matrix_text)
{
	double m[16];
	setIdentityMatrix(m);
	applyTranslation(m, 1.5, -2, 0.25);
	testing::internal::CaptureStdout();
	printMatrix("view", m);
	EXPECT_EQ(testing::internal::GetCapturedStdout(),
	          "view\n"
	          " [ 1.000000 0.000000 0.000000 1.500000 ]\n"
	          " [ 0.000000 1.000000 0.000000 -2.000000 ]\n"
	          " [ 0.000000 0.000000 1.000000 0.250000 ]\n"
	          " [ 0.000000 0.000000 0.000000 1.000000 ]\n\n");
}
