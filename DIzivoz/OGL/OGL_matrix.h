#pragma once
// 4 x 4 matrices of doubles in OpenGL's column-major order: element (row r,
// column c) at index c * 4 + r, translation at 12, 13, 14. Vectors are 3
// doubles. Angles in degrees. Nothing allocates; no function checks its
// input except invertMatrix.

extern const double gIdentity[16];

void setIdentityMatrix(double* m);
void copyMatrix(double* dst, const double* src);
void copyMatrix_wrap(double* dst, const double* src);
void transposeMatrix(double* dst, const double* src);             // dst must not be src
void addMatrices(double* dst, const double* a, const double* b);
void multMatrices(double* dst, const double* a, const double* b);  // dst = a x b; dst must not be a or b
// dst = inverse of src; 1, or 0 for a singular src (dst then untouched).
int invertMatrix(double* dst, const double* src);

void buildFrustumMatrix(double* m, double left, double right, double bottom, double top, double near_v, double far_v);
void buildPerspectiveMatrix(double* m, double fovy_degrees, double aspect, double near_v, double far_v);
void buildOrthoMatrix(double* m, double left, double right, double bottom, double top, double near_v, double far_v);
void buildLookAtMatrix(double* m, double eye_x, double eye_y, double eye_z, double centre_x, double centre_y,
                       double centre_z, double up_x, double up_y, double up_z);
void buildRotation(double* m, double angle_degrees, double x, double y, double z);
void applyTranslation(double* m, double x, double y, double z);  // m = m x translation
void applyRotation(double* m, double angle_degrees, double x, double y, double z);  // m = m x rotation

void vec3_assign(double* v, double x, double y, double z);
// The title, then the four rows, to standard output.
void printMatrix(const char* title, const double* m);
