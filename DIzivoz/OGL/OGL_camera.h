#pragma once
// The camera behind the viewport: projection and modelview matrices (column
// major, eye looking down -z) and the planes and bounds of the current view
// volume. Constant-initialised: both matrices start as the identity and the
// three flags at 1.
#include "DIzivoz/UTL/UTL_stats.h"

class xcam_class {
public:
	constexpr xcam_class() = default;
	// Copies *other; with null the defaults stay.
	explicit xcam_class(xcam_class* other);
	xcam_class(const xcam_class&) = default;
	xcam_class& operator=(const xcam_class&) = default;

	// Projection set-up.
	void SetupOrtho(double left, double right, double bottom, double top, double near_v, double far_v);
	void SetupFrustum(double left, double right, double bottom, double top, double near_v, double far_v);
	void SetupPerspective(double fovy_degrees, double aspect, double near_v, double far_v);
	// The fake far plane is never farther than the real one.
	void SetFakeFarClippingPlane(double distance);
	void ResetFakeFarClippingPlane();
	// Cosines of the half angles of a symmetric frustum; false for ortho.
	bool GetFOVHalfCosines(float* horizontal, float* vertical);

	// Modelview operations.
	void Identity();
	void LookAtPtFromPt(double eye_x, double eye_y, double eye_z, double centre_x, double centre_y, double centre_z,
	                    double up_x, double up_y, double up_z);
	void LookAtPtFromDir(double x, double y, double z, double azimuth_degrees, double elevation_degrees,
	                     double distance);
	void Translate(double x, double y, double z);
	void Rotate(double angle_degrees, double x, double y, double z);

	// World-space axes of the view (a stale modelview is read back first).
	void CalcUp(double out[3]);
	void CalcDirection(double out[3]);
	void CalcRight(double out[3]);
	void CalcBillboardGround(float right[3], float up[3]);
	void CalcBillboardCamera(float right[3], float up[3]);
	// A world point in GUI units of the current sub-window.
	void mtr_to_pix(const double world[3], double pixel[2]);

	// World box of the view volume cut at max_distance within the band
	// y_low <= y <= y_high; false when nothing of it lies in the band (or a
	// matrix cannot be inverted), with the box left at +-9.9e9.
	bool GetFrustumBounds(double max_distance, double y_low, double y_high, double min_out[3], double max_out[3]);
	// Grows (min, max) by the part of segment a-b within the band.
	static void accum_segment(double y_low, double y_high, const double a[3], const double b[3], double min[3],
	                          double max[3]);
	// Makes this an orthographic light camera looking along light_dir that
	// encloses the view volume of `view`. When a matrix of `view` cannot be
	// inverted, this camera and the outputs are left unchanged.
	void LookAtCamera(xcam_class* view, double light_dir[3], double distance, double& near_out, double& far_out);

	unsigned char is_ortho{1};
	double near_z{}, far_z{}, fake_far_z{};
	double plane_top[3]{}, plane_left[3]{}, plane_right[3]{}, plane_bottom[3]{};
	double ortho_top{}, ortho_left{}, ortho_right{}, ortho_bottom{};
	unsigned char matrices_changed{1};
	unsigned char modelview_stale{1};  // read the modelview back from OpenGL before use
	double projection[16]{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
	double modelview[16]{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

private:
	void fetch_stale_modelview();
	void transposed_point(double px, double py, double pz, double out[3]);
};

extern xcam_class xcam;

// Debug switches of the camera (kind 4, 0 in normal running).
extern UTL_stat gKillCull;   // "perf/kill_cull": side planes from the central tenth
extern UTL_stat gKillClip;   // "perf/kill_clip": projection from the central tenth
extern UTL_stat gExtraNear;  // "shadow/extra_near": light box near plane pulled towards the light
