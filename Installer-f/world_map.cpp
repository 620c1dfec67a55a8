#include "Installer-f/world_map.h"

#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OGL/OGL_gl.h"
#include "DIzivoz/OOPS_cpp/butn_layout.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "DIzivoz/OOPS_cpp/tman.h"
#include "Installer-f/utils.h"
#include "Installer-f/wizard.h"

#include <algorithm>

namespace {

const float map_x = world_map_x, map_y = world_map_y, cell = world_map_cell;
const int map_texture = 396;
world_map_drag drag_state;

}  // namespace

world_map_drag& world_map_state() { return drag_state; }

int world_map_paint(int (&wanted)[stg_lon_cells][stg_lat_cells], const world_map_mouse& m, world_map_drag& d)
{
	if (m.pressed) {
		d.o_x = m.mx;
		d.o_y = m.my;
		// Edges included: on a shared edge the cell visited last wins.
		for (int j = 0; j < stg_lon_cells; ++j)
			for (int i = 0; i < stg_lat_cells; ++i) {
				const float x0 = map_x + m.ox + cell * j, y0 = map_y + m.oy + cell * i;
				if (x0 <= m.mx && m.mx <= x0 + cell && y0 <= m.my && m.my <= y0 + cell)
					d.o_use = wanted[j][i] == 0 ? 1 : 0;
			}
	}
	// A press counts as held on its own frame: a quick tap whose release came
	// in the same frame has already cleared the held state, and must still
	// toggle its tile.
	if (!m.held && !m.pressed) return 0;
	const float left = std::min(d.o_x, m.mx), right = std::max(d.o_x, m.mx);
	const float bottom = std::min(d.o_y, m.my), top = std::max(d.o_y, m.my);
	int changed = 0;
	for (int j = 0; j < stg_lon_cells; ++j)
		for (int i = 0; i < stg_lat_cells; ++i) {
			const float x0 = map_x + m.ox + cell * j, y0 = map_y + m.oy + cell * i;
			// Positive overlap on both axes: a zero-width drag paints only the
			// cell strictly containing the point (none on a border).
			if (x0 + cell > left && x0 < right && y0 + cell > bottom && y0 < top) {
				wanted[j][i] = d.o_use;
				changed = 1;
			}
		}
	return changed;
}

void UTIL_world_map()
{
	OGL_setstate(1, 1, 3, 5, 9, 11);
	tman.bind_ref(map_texture, 0, 0);

	world_map_mouse m;
	m.ox = mnw.wind_x;
	m.oy = mnw.wind_y;
	m.mx = mnw.mouse_x;
	m.my = mnw.mouse_y;
	m.pressed = mnw.mouse_click;
	m.held = mnw.mouse_down;
	int changed = world_map_paint(stg.scenery_selected, m, drag_state);

	const float x0 = map_x + m.ox, y0 = map_y + m.oy;
	BTN_layout_add(layout_map, map_x, map_y, map_x + 504, map_y + 252, "world map");
	gl.Begin(GL_QUADS);
	gl.Color4f(1, 1, 1, 1);
	gl.TexCoord2f(0, 0);
	gl.Vertex2f(x0, y0);
	gl.TexCoord2f(0, 0.4921875f);
	gl.Vertex2f(x0, y0 + 252);
	gl.TexCoord2f(0.984375f, 0.4921875f);
	gl.Vertex2f(x0 + 504, y0 + 252);
	gl.TexCoord2f(0.984375f, 0);
	gl.Vertex2f(x0 + 504, y0);
	for (int j = 0; j < stg_lon_cells; ++j)
		for (int i = 0; i < stg_lat_cells; ++i) {
			if (!stg.scenery_available[j][i]) continue;
			OGL_set_color(72, stg.scenery_selected[j][i] ? 1.0f : 0.5f);
			const float cx0 = x0 + cell * j, cy0 = y0 + cell * i, cx1 = cx0 + cell, cy1 = cy0 + cell;
			const float s0 = cell * j / 512.0f, s1 = (cell * j + cell) / 512.0f;
			const float t0 = (cell * i + 252) / 512.0f, t1 = (cell * i + 266) / 512.0f;
			gl.TexCoord2f(s0, t0);
			gl.Vertex2f(cx0, cy0);
			gl.TexCoord2f(s0, t1);
			gl.Vertex2f(cx0, cy1);
			gl.TexCoord2f(s1, t1);
			gl.Vertex2f(cx1, cy1);
			gl.TexCoord2f(s1, t0);
			gl.Vertex2f(cx1, cy0);
		}
	gl.End();

	// The drag's outline only for a press on the map: a button still held
	// from the click that opened the page has no origin here.
	const world_map_drag& d = drag_state;
	if (m.held && d.o_x >= x0 && d.o_x <= x0 + 504 && d.o_y >= y0 && d.o_y <= y0 + 252) {
		OGL_setstate(1, 0, 3, 5, 9, 11);
		gl.Color4f(0, 0, 0, 0.5f);
		gl.Begin(GL_LINE_LOOP);
		gl.Vertex2f(m.mx, m.my);
		gl.Vertex2f(d.o_x, m.my);
		gl.Vertex2f(d.o_x, d.o_y);
		gl.Vertex2f(m.mx, d.o_y);
		gl.End();
	}

	int w = 0;
	if (interface_rect(world_map_icons_right, world_map_icons_y, 4, -1, &w, 1, 0)) {
		for (auto& column : stg.scenery_selected)
			for (int& c : column) c = 0;
		changed = 1;
	}
	if (interface_rect(world_map_icons_right - 10 - w, world_map_icons_y, 3, -1, &w, 1, 0)) {
		for (auto& column : stg.scenery_selected)
			for (int& c : column) c = 1;
		recalc_disk_sizes();
		return;
	}
	if (changed) recalc_disk_sizes();
}
