#include "DIzivoz/OOPS_cpp/butn_layout.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include <unistd.h>

#include "DIzivoz/GenH/hl_window.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_font.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/TEX/TEX_png.h"
#include "DIzivoz/UTL/UTL_log.h"

namespace {
std::vector<layout_box> g_boxes;
int g_next_group = 1;
std::vector<int> g_owners;
std::set<std::string> g_logged;

int from_environment()
{
	const char* v = std::getenv("VENTORA_LAYOUT_CHECK");
	return v && *v && *v != '0' ? 1 : 0;
}

const char* kind_name(int k)
{
	static const char* const names[] = {"text", "button", "check box", "field", "pop-up", "slider",
	                                    "bar",  "map",    "icon",      "tab", "panel"};
	return k >= 0 && k <= layout_panel ? names[k] : "box";
}

std::string describe(const layout_box& b)
{
	std::string what = b.what;
	if (what.size() > 48) what = what.substr(0, 45) + "...";
	char r[96];
	std::snprintf(r, sizeof r, " [%.0f,%.0f %.0f,%.0f]", b.x0, b.y0, b.x1, b.y1);
	return std::string(kind_name(b.kind)) + " '" + what + "'" + r;
}

int g_scene_frames = 0;
int g_scene_window = -99;
int g_pictures = 0;

void save_picture()
{
	static const char* folder = std::getenv("VENTORA_LAYOUT_PICTURES");
	if (!folder || !*folder || g_pictures >= 200) return;
	char name[64];
	std::snprintf(name, sizeof name, "/%d-%03d-w%d-l%d.png", (int)getpid(), g_pictures++, mnw.wind_type, mnw.language);
	OGL_screenshot(0);
	const std::string path = std::string(folder) + name;
	if (write_png_to_disk(path, std::min(mnw.x_res, 2048), std::min(mnw.y_res, 2048), 3))
		xer << "Layout picture: " << path << "\n" << std::flush;
}

// Distance between the boxes along one axis; negative when they overlap.
float apart(float a0, float a1, float b0, float b1) { return std::max(b0 - a1, a0 - b1); }
}  // namespace

namespace {
// The text layer's lines, watched while recording.
int text_group()
{
	if (!g_layout_record) return 0;
	return BTN_layout_owner() ? BTN_layout_owner() : BTN_layout_new_group();
}
void text_line(int group, float x0, float y0, float x1, float y1, const std::string& line)
{
	BTN_layout_add(layout_text, x0, y0, x1, y1, line, group);
}
const OGL_text_watch text_watch = {text_group, text_line};

int recording_from_environment()
{
	const int on = from_environment();
	if (on) OGL_font_watch(&text_watch);
	return on;
}
}  // namespace

int g_layout_record = recording_from_environment();

void BTN_layout_enable(int on)
{
	g_layout_record = on;
	// The text layer pays nothing for the watch while nothing records.
	OGL_font_watch(on ? &text_watch : nullptr);
	BTN_layout_clear();
}

int BTN_layout_new_group() { return g_next_group++; }

void BTN_layout_add(int kind, float x0, float y0, float x1, float y1, const std::string& what, int group)
{
	if (!g_layout_record) return;
	layout_box b;
	b.kind = kind;
	b.group = group ? group : BTN_layout_new_group();
	b.window = mnw.wind_type;
	b.x0 = std::min(x0, x1);
	b.x1 = std::max(x0, x1);
	b.y0 = std::min(y0, y1);
	b.y1 = std::max(y0, y1);
	b.what = what;
	// An element drawn twice in a frame (a button's pressed look) counts once.
	for (const layout_box& o : g_boxes)
		if (o.kind == b.kind && o.window == b.window && o.x0 == b.x0 && o.y0 == b.y0 && o.x1 == b.x1 &&
		    o.y1 == b.y1 && o.what == b.what)
			return;
	g_boxes.push_back(b);
}

void BTN_layout_side_margin(float margin)
{
	for (auto b = g_boxes.rbegin(); b != g_boxes.rend(); ++b)
		if (b->kind == layout_panel) {
			b->side_margin = margin;
			return;
		}
}

void BTN_layout_own_begin(int group) { g_owners.push_back(group); }
void BTN_layout_own_end()
{
	if (!g_owners.empty()) g_owners.pop_back();
}
int BTN_layout_owner() { return g_owners.empty() ? 0 : g_owners.back(); }

void BTN_layout_new_scene() { g_scene_frames = 0; }

const std::vector<layout_box>& BTN_layout_boxes() { return g_boxes; }

void BTN_layout_clear()
{
	g_boxes.clear();
	g_owners.clear();
}

std::vector<std::string> BTN_layout_problems(const std::vector<layout_box>& boxes, float width, float height)
{
	const float gap = 2, leading = 1, margin = 3;
	std::vector<std::string> out;
	for (size_t i = 0; i < boxes.size(); ++i) {
		const layout_box& a = boxes[i];
		if (a.x0 < 0 || a.y0 < 0 || a.x1 > width || a.y1 > height) out.push_back(describe(a) + " leaves the window");
		if (a.kind == layout_panel) {
			// What lies on a panel keeps clear of its border.
			const float side = std::max(kPanelMargin, a.side_margin);
			for (const layout_box& b : boxes) {
				if (b.kind == layout_panel || b.window != a.window || b.group == a.group) continue;
				if (apart(a.x0, a.x1, b.x0, b.x1) >= 0 || apart(a.y0, a.y1, b.y0, b.y1) >= 0) continue;
				const float room = std::min(std::min(b.x0 - a.x0, a.x1 - b.x1) - side,
				                            std::min(b.y0 - a.y0, a.y1 - b.y1) - kPanelMargin);
				if (room < -0.5f) out.push_back(describe(b) + " is too close to the border of " + describe(a));
			}
			continue;
		}
		for (size_t j = i + 1; j < boxes.size(); ++j) {
			const layout_box& b = boxes[j];
			if (a.window != b.window) continue;
			if (b.kind == layout_panel) continue;
			if (a.group == b.group) {
				// A label and its element: the label lies inside, clear of both ends.
				if ((a.kind == layout_text) == (b.kind == layout_text)) continue;
				const layout_box& t = a.kind == layout_text ? a : b;
				const layout_box& e = a.kind == layout_text ? b : a;
				if (t.x0 < e.x0 + margin || t.x1 > e.x1 - margin || t.y0 < e.y0 - leading || t.y1 > e.y1 + leading)
					out.push_back(describe(t) + " does not fit inside " + describe(e));
				continue;
			}
			const float need = a.kind == layout_text && b.kind == layout_text ? -leading : gap;
			if (apart(a.x0, a.x1, b.x0, b.x1) < need && apart(a.y0, a.y1, b.y0, b.y1) < need)
				out.push_back(describe(a) + " and " + describe(b) + (need > 0 ? " touch" : " overlap"));
		}
	}
	return out;
}

void BTN_layout_frame_end(float width, float height)
{
	if (!g_layout_record) return;
	if (mnw.wind_type != g_scene_window) {
		g_scene_window = mnw.wind_type;
		g_scene_frames = 0;
	}
	if (++g_scene_frames == 2) save_picture();
	// A frame that opened a sub-window also drew the screen below it first.
	std::vector<layout_box> shown;
	for (const layout_box& b : g_boxes)
		if (b.window == mnw.wind_type) shown.push_back(b);
	for (const std::string& p : BTN_layout_problems(shown, width, height)) {
		const std::string line = "window " + std::to_string(mnw.wind_type) + ": " + p;
		if (g_logged.insert(line).second) xer << "Layout: " << line << "\n" << std::flush;
	}
	BTN_layout_clear();
}
