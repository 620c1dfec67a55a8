#pragma once
// The world map of global-scenery tiles on the DVD scenery pages: offered
// tiles tinted, chosen ones brighter; a click toggles a tile, a drag paints a
// rectangle of tiles, two icons choose all or none.
#include "DIzivoz/GenH/hl_stg.h"

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
