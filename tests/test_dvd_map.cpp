// The world map's hit-testing and painting as a table over the tile grid:
// toggles, borders, drags, presses outside the map.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Installer-f/world_map.h"

namespace {

typedef int grid[stg_lon_cells][stg_lat_cells];

// Sub-window origin (10, 20): cell (j, i) spans x from the map's corner + 10 + 14 j, y + 20 + 14 i, 14 wide.
const float OX = 10, OY = 20;
float ex(int j) { return world_map_x + OX + world_map_cell * j; }  // left edge of column j
float ey(int i) { return world_map_y + OY + world_map_cell * i; }  // bottom edge of row i
float cx(int j) { return ex(j) + 7; }
float cy(int i) { return ey(i) + 7; }

struct frame {
	float mx, my;
	int pressed, held;
};
struct cell_value {
	int j, i, value;
};

struct row {
	const char* name;
	std::vector<cell_value> before;
	int o_use_before;
	std::vector<frame> frames;
	std::vector<int> changed;  // per frame
	int o_use_after;
	std::vector<cell_value> after;  // every other cell keeps its value
};

TEST(DvdMap, PaintingTable)
{
	const row rows[] = {
	    {"click chooses a tile", {}, 0, {{cx(3), cy(4), 1, 1}, {cx(3), cy(4), 0, 0}}, {1, 0}, 1, {{3, 4, 1}}},
	    {"click clears a chosen tile", {{3, 4, 1}}, 1, {{cx(3), cy(4), 1, 1}}, {1}, 0, {{3, 4, 0}}},
	    // Press and release in one frame: the frame sees the press but no hold.
	    {"quick tap chooses a tile", {}, 0, {{cx(3), cy(4), 1, 0}, {cx(3), cy(4), 0, 0}}, {1, 0}, 1, {{3, 4, 1}}},
	    {"quick tap clears a chosen tile", {{3, 4, 1}}, 1, {{cx(3), cy(4), 1, 0}}, {1}, 0, {{3, 4, 0}}},
	    {"quick tap on a border changes nothing", {{2, 4, 1}}, 0, {{ex(3), cy(4), 1, 0}}, {0}, 1, {{2, 4, 1}}},
	    {"vertical border: the right cell decides, zero width paints nothing",
	     {{2, 4, 1}}, 0, {{ex(3), cy(4), 1, 1}}, {0}, 1, {{2, 4, 1}}},
	    {"horizontal border: the upper cell decides",
	     {{3, 4, 1}}, 1, {{cx(3), ey(5), 1, 1}}, {0}, 1, {{3, 4, 1}}},
	    {"drag from a chosen tile clears the rectangle",
	     {{3, 4, 1}, {4, 5, 1}, {5, 6, 1}, {6, 6, 1}}, 1,
	     {{cx(3), cy(4), 1, 1}, {cx(5), cy(6), 0, 1}}, {1, 1}, 0,
	     {{3, 4, 0}, {4, 5, 0}, {5, 6, 0}, {6, 6, 1}}},
	    {"drag backwards from an unchosen tile chooses the rectangle", {}, 0,
	     {{cx(5), cy(6), 1, 1}, {cx(4), cy(5), 0, 1}}, {1, 1}, 1,
	     {{4, 5, 1}, {5, 5, 1}, {4, 6, 1}, {5, 6, 1}}},
	    {"drag ending exactly on an edge does not take the next cell", {}, 0,
	     {{cx(0), cy(0), 1, 1}, {ex(2), ey(1), 0, 1}}, {1, 1}, 1,
	     {{0, 0, 1}, {1, 0, 1}}},
	    {"press outside keeps the earlier value", {}, 1,
	     {{200, cy(0), 1, 1}, {cx(1), cy(0), 0, 1}}, {0, 1}, 1, {{0, 0, 1}, {1, 0, 1}}},
	    {"press outside keeps the earlier value (clearing)", {{0, 0, 1}, {1, 0, 1}}, 0,
	     {{200, cy(0), 1, 1}, {cx(0), cy(0), 0, 1}}, {0, 1}, 0, {{0, 0, 0}, {1, 0, 1}}},
	    {"top right cell", {}, 0, {{cx(35), cy(17), 1, 1}}, {1}, 1, {{35, 17, 1}}},
	    {"release frame paints nothing", {}, 1, {{cx(3), cy(3), 0, 0}}, {0}, 1, {}},
	};
	for (const row& r : rows) {
		SCOPED_TRACE(r.name);
		grid wanted;
		std::memset(wanted, 0, sizeof(wanted));
		for (const cell_value& c : r.before) wanted[c.j][c.i] = c.value;
		world_map_drag d;
		d.o_use = r.o_use_before;
		d.o_x = d.o_y = -1000;
		grid expected;
		std::memcpy(expected, wanted, sizeof(wanted));
		for (const cell_value& c : r.after) expected[c.j][c.i] = c.value;
		for (size_t f = 0; f < r.frames.size(); ++f) {
			world_map_mouse m;
			m.ox = OX;
			m.oy = OY;
			m.mx = r.frames[f].mx;
			m.my = r.frames[f].my;
			m.pressed = r.frames[f].pressed;
			m.held = r.frames[f].held;
			EXPECT_EQ(world_map_paint(wanted, m, d), r.changed[f]) << "frame " << f;
		}
		EXPECT_EQ(d.o_use, r.o_use_after);
		for (int j = 0; j < stg_lon_cells; ++j)
			for (int i = 0; i < stg_lat_cells; ++i) EXPECT_EQ(wanted[j][i], expected[j][i]) << j << "," << i;
	}
}

}  // namespace
