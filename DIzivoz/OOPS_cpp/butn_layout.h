#pragma once
// A debug record of the boxes a frame draws: every text line, button, field,
// check box, pop-up, icon, bar and map, in window coordinates, so that a
// layout can be checked for elements that overlap, touch, or leave the
// window. Off unless VENTORA_LAYOUT_CHECK is set in the environment (or a
// test turns it on); then each frame is checked as it is shown and every
// new problem is written to the log once, as a line starting "Layout: ".
#include <string>
#include <vector>

enum layout_kind {
	layout_text = 0,  // one drawn line of text
	layout_button,
	layout_check,
	layout_field,
	layout_popup,
	layout_slider,
	layout_bar,
	layout_map,
	layout_icon,
	layout_tab,
	layout_panel,  // a framed panel: what lies on it keeps clear of its border
};

struct layout_box {
	int kind = layout_text;
	int group = 0;   // boxes of one group (the lines of a text, a button and its label) are not compared
	int window = 0;  // sub-window type it was drawn in
	float x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // window coordinates, y up
	std::string what;                      // the text, or the label of an element
	float side_margin = 0;                 // panels: room kept at the left and right (at least the border margin)
};

// Room every box on a panel keeps from the panel's border.
constexpr float kPanelMargin = 6;

// 1 while boxes are recorded.
extern int g_layout_record;

// Turns recording on or off (the environment decides at start-up).
void BTN_layout_enable(int on);
// A new group for a text call or an element.
int BTN_layout_new_group();
// Records a box given in GUI units of the current sub-window.
void BTN_layout_add(int kind, float x0, float y0, float x1, float y1, const std::string& what, int group = 0);
// The last panel recorded keeps `margin` units free at its left and right
// (a page's body margins).
void BTN_layout_side_margin(float margin);
// Texts drawn until the matching end belong to the element of `group` (a
// button's label): they are checked to lie inside it with a margin.
void BTN_layout_own_begin(int group);
void BTN_layout_own_end();
// The group that texts join now: the owning element's, else 0 (a group of their own).
int BTN_layout_owner();
const std::vector<layout_box>& BTN_layout_boxes();
void BTN_layout_clear();

// Problems among boxes drawn in one frame: two elements that overlap or
// come closer than 2 units (text lines of different texts may share the
// font's inner leading, 1 unit), a label that does not lie inside its
// element with 3 units to spare at each end, a box on a panel closer than
// kPanelMargin to its border (or than the panel's side margin to its left or
// right), and any box past the edges of the window of `width` x `height` units.
std::vector<std::string> BTN_layout_problems(const std::vector<layout_box>& boxes, float width, float height);

// A new page begins (the sub-window changing is one too). With
// VENTORA_LAYOUT_PICTURES naming a folder, a picture of each page's second
// frame is saved there, for looking at every page a run went through.
void BTN_layout_new_scene();

// End of a frame: checks the frame's boxes, logs new problems, starts afresh.
void BTN_layout_frame_end(float width, float height);
