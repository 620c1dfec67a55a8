#pragma once
// The camera behind the viewport: projection and modelview matrices (column
// major) and the planes and bounds of the current view volume. Only its state
// exists yet; both matrices start as the identity.

class xcam_class {
public:
	unsigned char is_ortho{};
	double near_z{}, far_z{}, fake_far_z{};
	double plane_top[3]{}, plane_left[3]{}, plane_right[3]{}, plane_bottom[3]{};
	double ortho_top{}, ortho_left{}, ortho_right{}, ortho_bottom{};
	unsigned char matrices_changed{};
	unsigned char modelview_stale{};
	double projection[16]{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
	double modelview[16]{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

extern xcam_class xcam;
