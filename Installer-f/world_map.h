#pragma once
// The world map of global-scenery tiles on the DVD scenery pages: offered
// tiles tinted, chosen ones brighter; a click toggles a tile, a drag paints a
// rectangle of tiles, two icons choose all or none.
#include "DIzivoz/GenH/hl_stg.h"

// Where the map lies on its pages, GUI units: the lower-left corner and the
// size of a cell (the map is 36 x 18 cells); below it, the Choose All and
// Clear All icons end at the map's right edge on the row at icons_y. The
// page's text above needs the room of seven lines in every language.
const float world_map_x = 248, world_map_y = 100, world_map_cell = 14;
const float world_map_icons_right = world_map_x + 504, world_map_icons_y = 70;

// Drawn, read and edited once per frame by the page showing it.
void UTIL_world_map();

// What the map reads of the frame: sub-window origin, mouse, press and hold.
struct world_map_mouse {
	float ox = 0, oy = 0;
	float mx = 0, my = 0;
	int pressed = 0;  // the button went down this frame
	int held = 0;     // the button is held (0 on a press whose release came in the same frame)
};
// The drag anchor (the mouse at the last press) and the value a drag writes;
// kept between frames.
struct world_map_drag {
	float o_x = 0, o_y = 0;
	int o_use = 0;
};
// One frame of hit-testing and painting on the wanted-tiles grid; 1 when the
// grid changed. Tiles not offered are written too (they are never drawn or
// counted).
int world_map_paint(int (&wanted)[stg_lon_cells][stg_lat_cells], const world_map_mouse& m, world_map_drag& d);
// The map's drag state (the page's) for tests.
world_map_drag& world_map_state();
