#include "DIzivoz/OGL/OGL_matrix.h"

#include <cmath>
#include <cstdio>
#include <cstring>

static const double deg_to_rad = 0.017453292519943295;

#define M(m, r, c) (m)[(c)*4 + (r)]

const double gIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void setIdentityMatrix(double* m) { memcpy(m, gIdentity, sizeof gIdentity); }
void copyMatrix(double* dst, const double* src) { memcpy(dst, src, 16 * sizeof(double)); }
void copyMatrix_wrap(double* dst, const double* src) { copyMatrix(dst, src); }

void transposeMatrix(double* dst, const double* src)
{
	for (int r = 0; r < 4; ++r)
		for (int c = 0; c < 4; ++c) M(dst, r, c) = M(src, c, r);
}

void addMatrices(double* dst, const double* a, const double* b)
{
	for (int i = 0; i < 16; ++i) dst[i] = a[i] + b[i];
}

void multMatrices(double* dst, const double* a, const double* b)
{
	for (int r = 0; r < 4; ++r)
		for (int c = 0; c < 4; ++c)
			M(dst, r, c) = M(a, r, 0) * M(b, 0, c) + M(a, r, 1) * M(b, 1, c) + M(a, r, 2) * M(b, 2, c) +
			               M(a, r, 3) * M(b, 3, c);
}

int invertMatrix(double* dst, const double* src)
{
	double wtmp[4][8];
	double* r0 = wtmp[0];
	double* r1 = wtmp[1];
	double* r2 = wtmp[2];
	double* r3 = wtmp[3];
	double* rows[4] = {r0, r1, r2, r3};
	for (int i = 0; i < 4; ++i) {
		for (int c = 0; c < 4; ++c) rows[i][c] = M(src, i, c);
		for (int c = 0; c < 4; ++c) rows[i][4 + c] = (i == c) ? 1.0 : 0.0;
	}
	auto swap = [](double*& a, double*& b) {
		double* t = a;
		a = b;
		b = t;
	};
	// Eliminates column k of row r by the pivot row p.
	auto eliminate = [](double* p, double* r, int k) {
		double f = r[k] / p[k];
		for (int c = k + 1; c < 4; ++c) r[c] -= f * p[c];
		for (int c = 4; c < 8; ++c)
			if (p[c] != 0.0) r[c] -= f * p[c];
	};
	// column 0
	if (fabs(r3[0]) > fabs(r2[0])) swap(r3, r2);
	if (fabs(r2[0]) > fabs(r1[0])) swap(r2, r1);
	if (fabs(r1[0]) > fabs(r0[0])) swap(r1, r0);
	if (r0[0] == 0.0) return 0;
	eliminate(r0, r1, 0);
	eliminate(r0, r2, 0);
	eliminate(r0, r3, 0);
	// column 1
	if (fabs(r3[1]) > fabs(r2[1])) swap(r3, r2);
	if (fabs(r2[1]) > fabs(r1[1])) swap(r2, r1);
	if (r1[1] == 0.0) return 0;
	eliminate(r1, r2, 1);
	eliminate(r1, r3, 1);
	// column 2
	if (fabs(r3[2]) > fabs(r2[2])) swap(r3, r2);
	if (r2[2] == 0.0) return 0;
	eliminate(r2, r3, 2);
	if (r3[3] == 0.0) return 0;
	// back substitution
	auto scale = [](double* r, double s) {
		for (int c = 4; c < 8; ++c) r[c] *= s;
	};
	auto back = [](double* p, double* r, int k) {
		double f = r[k];
		for (int c = 4; c < 8; ++c) r[c] -= f * p[c];
	};
	scale(r3, 1.0 / r3[3]);
	back(r3, r2, 3);
	back(r3, r1, 3);
	back(r3, r0, 3);
	scale(r2, 1.0 / r2[2]);
	back(r2, r1, 2);
	back(r2, r0, 2);
	scale(r1, 1.0 / r1[1]);
	back(r1, r0, 1);
	scale(r0, 1.0 / r0[0]);
	double* out[4] = {r0, r1, r2, r3};
	for (int r = 0; r < 4; ++r)
		for (int c = 0; c < 4; ++c) M(dst, r, c) = out[r][4 + c];
	return 1;
}

void buildFrustumMatrix(double* m, double l, double r, double b, double t, double n, double f)
{
	for (int i = 0; i < 16; ++i) m[i] = 0;
	M(m, 0, 0) = 2 * n / (r - l);
	M(m, 1, 1) = 2 * n / (t - b);
	M(m, 0, 2) = (r + l) / (r - l);
	M(m, 1, 2) = (t + b) / (t - b);
	M(m, 2, 2) = -(f + n) / (f - n);
	M(m, 3, 2) = -1;
	M(m, 2, 3) = -2 * f * n / (f - n);
}

void buildPerspectiveMatrix(double* m, double fovy, double aspect, double n, double f)
{
	double ymax = n * tan(M_PI * fovy / 360.0);
	buildFrustumMatrix(m, -ymax * aspect, ymax * aspect, -ymax, ymax, n, f);
}

void buildOrthoMatrix(double* m, double l, double r, double b, double t, double n, double f)
{
	for (int i = 0; i < 16; ++i) m[i] = 0;
	M(m, 0, 0) = 2 / (r - l);
	M(m, 0, 3) = -(r + l) / (r - l);
	M(m, 1, 1) = 2 / (t - b);
	M(m, 1, 3) = -(t + b) / (t - b);
	M(m, 2, 2) = -2 / (f - n);
	M(m, 2, 3) = -(f + n) / (f - n);
	M(m, 3, 3) = 1;
}

static void normalise_nonzero(double* v)
{
	double len = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
	if (len == 0.0) return;
	v[0] /= len;
	v[1] /= len;
	v[2] /= len;
}

static void cross(double* out, const double* a, const double* b)
{
	out[0] = a[1] * b[2] - a[2] * b[1];
	out[1] = a[2] * b[0] - a[0] * b[2];
	out[2] = a[0] * b[1] - a[1] * b[0];
}

void buildLookAtMatrix(double* m, double ex, double ey, double ez, double cx, double cy, double cz, double ux,
                       double uy, double uz)
{
	double F[3] = {ex - cx, ey - cy, ez - cz};
	normalise_nonzero(F);
	double up[3] = {ux, uy, uz};
	double S[3];
	cross(S, up, F);
	double U[3];
	cross(U, F, S);  // from S before it is normalised
	normalise_nonzero(S);
	normalise_nonzero(U);
	double eye[3] = {ex, ey, ez};
	const double* rows[3] = {S, U, F};
	for (int r = 0; r < 3; ++r) {
		for (int c = 0; c < 3; ++c) M(m, r, c) = rows[r][c];
		M(m, r, 3) = -(rows[r][0] * eye[0] + rows[r][1] * eye[1] + rows[r][2] * eye[2]);
	}
	M(m, 3, 0) = M(m, 3, 1) = M(m, 3, 2) = 0;
	M(m, 3, 3) = 1;
}

void buildRotation(double* m, double angle, double x, double y, double z)
{
	double s = sin(angle * deg_to_rad), c = cos(angle * deg_to_rad);
	setIdentityMatrix(m);
	if (x != 0.0 && y == 0.0 && z == 0.0) {
		M(m, 1, 1) = M(m, 2, 2) = c;
		M(m, 2, 1) = x > 0 ? s : -s;
		M(m, 1, 2) = x > 0 ? -s : s;
		return;
	}
	if (x == 0.0 && y != 0.0 && z == 0.0) {
		M(m, 0, 0) = M(m, 2, 2) = c;
		M(m, 0, 2) = y > 0 ? s : -s;
		M(m, 2, 0) = y > 0 ? -s : s;
		return;
	}
	if (x == 0.0 && y == 0.0 && z != 0.0) {
		M(m, 0, 0) = M(m, 1, 1) = c;
		M(m, 1, 0) = z > 0 ? s : -s;
		M(m, 0, 1) = z > 0 ? -s : s;
		return;
	}
	double len = sqrt(x * x + y * y + z * z);
	if (len <= 1.0e-4) return;
	x /= len;
	y /= len;
	z /= len;
	double one_c = 1 - c;
	M(m, 0, 0) = x * x * one_c + c;
	M(m, 1, 1) = y * y * one_c + c;
	M(m, 2, 2) = z * z * one_c + c;
	M(m, 0, 1) = x * y * one_c - z * s;
	M(m, 1, 0) = x * y * one_c + z * s;
	M(m, 0, 2) = x * z * one_c + y * s;
	M(m, 2, 0) = x * z * one_c - y * s;
	M(m, 1, 2) = y * z * one_c - x * s;
	M(m, 2, 1) = y * z * one_c + x * s;
}

void applyTranslation(double* m, double x, double y, double z)
{
	for (int r = 0; r < 4; ++r) M(m, r, 3) += M(m, r, 0) * x + M(m, r, 1) * y + M(m, r, 2) * z;
}

void applyRotation(double* m, double angle, double x, double y, double z)
{
	double rot[16], tmp[16];
	buildRotation(rot, angle, x, y, z);
	multMatrices(tmp, m, rot);
	copyMatrix(m, tmp);
}

void vec3_assign(double* v, double x, double y, double z)
{
	v[0] = x;
	v[1] = y;
	v[2] = z;
}

void printMatrix(const char* title, const double* m)
{
	puts(title);
	for (int r = 0; r < 4; ++r)
		printf(" [ %f %f %f %f ]\n%s", M(m, r, 0), M(m, r, 1), M(m, r, 2), M(m, r, 3), r == 3 ? "\n" : "");
}
