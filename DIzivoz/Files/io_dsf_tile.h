#pragma once
// Relative path of the scenery file of a one-degree tile.
#include <string>

// *out becomes the 19 characters "+40-130/+47-123.dsf" for the tile whose
// south-west corner is at lat, lon: the ten-degree folder, then the tile.
void return_latlon_str_dsf(int lat, int lon, std::string* out);
