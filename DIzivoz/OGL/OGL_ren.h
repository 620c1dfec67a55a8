#pragma once
// Drawing settings shared by the drawing code: what the capability probe
// found and the switches every primitive reads. Zero before main except the
// global alpha.
#include <vector>

struct ren_struct {
	float max_aniso{};            // 1.0 when anisotropic filtering is off
	int tex_units{};              // at least 1 after the probe
	int frag_tex_image_units{};
	int tex_coord_sets{};
	const char* gl_vendor{};
	const char* gl_renderer{};
	const char* gl_version{};
	const char* gl_extensions{};
	int monochrome{};             // draw every colour as green of its intensity
	float global_alpha{1.0f};     // multiplied into every drawing alpha
};

extern ren_struct ren;
