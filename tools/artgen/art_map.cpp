// The world map of scenery tiles, from the binned GSHHG shorelines: every
// shoreline edge is gathered, and land is what lies under an odd number of
// crossings counted down each column from the (open-sea) north pole, so
// lakes and islands in lakes come out right and Antarctica's open ring
// closes at the south pole by itself.
#include "art_theme.h"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace art {
namespace {

struct Edge {
    float x0, y0, x1, y1;  // longitude, latitude
};

bool read_int_var(int nc, const char* name, std::vector<int>& out, size_t n) {
    int id;
    out.assign(n, 0);
    return nc_inq_varid(nc, name, &id) == NC_NOERR && nc_get_var_int(nc, id, out.data()) == NC_NOERR;
}
bool read_short_var(int nc, const char* name, std::vector<short>& out, size_t n) {
    int id;
    out.assign(n, 0);
    return nc_inq_varid(nc, name, &id) == NC_NOERR && nc_get_var_short(nc, id, out.data()) == NC_NOERR;
}
bool read_scalar(int nc, const char* name, int& v) {
    int id;
    return nc_inq_varid(nc, name, &id) == NC_NOERR && nc_get_var_int(nc, id, &v) == NC_NOERR;
}

bool load_edges(const std::string& path, std::vector<Edge>& edges, std::string& error) {
    int nc;
    if (nc_open(path.c_str(), NC_NOWRITE, &nc) != NC_NOERR) {
        error = "cannot open shoreline file " + path;
        return false;
    }
    int bin_minutes = 0, nx = 0, ny = 0, nbins = 0, nseg = 0, npts = 0;
    bool ok = read_scalar(nc, "Bin_size_in_minutes", bin_minutes) &&
              read_scalar(nc, "N_bins_in_360_longitude_range", nx) &&
              read_scalar(nc, "N_bins_in_180_degree_latitude_range", ny) &&
              read_scalar(nc, "N_bins_in_file", nbins) && read_scalar(nc, "N_segments_in_file", nseg) &&
              read_scalar(nc, "N_points_in_file", npts);
    std::vector<int> first_seg, seg_info, first_pt;
    std::vector<short> nseg_bin, dx, dy;
    ok = ok && nbins == nx * ny && nbins > 0 && nseg > 0 && npts > 0 &&
         read_int_var(nc, "Id_of_first_segment_in_a_bin", first_seg, nbins) &&
         read_short_var(nc, "N_segments_in_a_bin", nseg_bin, nbins) &&
         read_int_var(nc, "Embedded_npts_levels_exit_entry_for_a_segment", seg_info, nseg) &&
         read_int_var(nc, "Id_of_first_point_in_a_segment", first_pt, nseg) &&
         read_short_var(nc, "Relative_longitude_from_SW_corner_of_bin", dx, npts) &&
         read_short_var(nc, "Relative_latitude_from_SW_corner_of_bin", dy, npts);
    nc_close(nc);
    if (!ok) {
        error = "shoreline file " + path + " is not a binned GSHHG file";
        return false;
    }
    const double size = bin_minutes / 60.0;
    for (int b = 0; b < nbins; ++b) {
        double lon_sw = (b % nx) * size, lat_sw = 90.0 - (b / nx + 1) * size;
        if (lon_sw >= 180.0) lon_sw -= 360.0;  // whole bins move, so no edge crosses the seam
        for (int s = first_seg[b]; s < first_seg[b] + nseg_bin[b]; ++s) {
            if (s < 0 || s >= nseg) continue;
            int n = seg_info[s] >> 9;
            int exit_side = (seg_info[s] >> 3) & 7, entry_side = seg_info[s] & 7;
            int level = (seg_info[s] >> 6) & 7;
            int p0 = first_pt[s];
            // Levels 5 and 6 repeat Antarctica as its grounding line; its ice
            // front, at level 1, is the shore a map shows.
            if (level >= 5) continue;
            if (n < 2 || p0 < 0 || p0 + n > npts) continue;
            auto pt = [&](int k, float& x, float& y) {
                x = float(lon_sw + (unsigned short)dx[p0 + k] / 65535.0 * size);
                y = float(lat_sw + (unsigned short)dy[p0 + k] / 65535.0 * size);
            };
            float ax, ay, bx, by;
            pt(0, ax, ay);
            float fx = ax, fy = ay;
            for (int k = 1; k < n; ++k) {
                pt(k, bx, by);
                edges.push_back({ax, ay, bx, by});
                ax = bx; ay = by;
            }
            // A shoreline wholly inside its bin is a closed ring.
            if (exit_side == 4 && entry_side == 4 && (ax != fx || ay != fy)) edges.push_back({ax, ay, fx, fy});
        }
    }
    return true;
}

}  // namespace

bool make_map(Canvas& c, const std::string& gshhg_path, std::string& error) {
    std::vector<Edge> edges;
    if (!load_edges(gshhg_path, edges, error)) return false;

    // Land cover of each map pixel from 4 x 4 samples.
    const int MW = 504, MH = 252, S = 4, W = MW * S, H = MH * S;
    std::vector<float> cover(size_t(MW) * MH, 0.0f);
    std::vector<std::vector<float>> columns(W);
    for (const Edge& e : edges) {
        float lo = std::min(e.x0, e.x1), hi = std::max(e.x0, e.x1);
        int x0 = std::max(0, int(std::ceil((lo + 180.0f) * W / 360.0f - 0.5f)));
        int x1 = std::min(W - 1, int(std::floor((hi + 180.0f) * W / 360.0f - 0.5f)));
        for (int x = x0; x <= x1; ++x) {
            float lon = -180.0f + (x + 0.5f) * 360.0f / W;
            // Half-open on longitude, so a vertex shared by two edges counts once.
            if (!((e.x0 <= lon && lon < e.x1) || (e.x1 <= lon && lon < e.x0))) continue;
            float t = (lon - e.x0) / (e.x1 - e.x0);
            columns[x].push_back(e.y0 + t * (e.y1 - e.y0));
        }
    }
    for (int x = 0; x < W; ++x) {
        std::vector<float>& ys = columns[x];
        std::sort(ys.begin(), ys.end(), std::greater<float>());
        size_t k = 0;
        bool land = false;
        for (int y = H - 1; y >= 0; --y) {
            float lat = -90.0f + (y + 0.5f) * 180.0f / H;
            while (k < ys.size() && ys[k] > lat) { land = !land; ++k; }
            if (land) cover[size_t(y / S) * MW + x / S] += 1.0f / (S * S);
        }
    }

    using namespace theme;
    const Col sea = rgb(207, 227, 250), land = rgb(250, 251, 252), coast = rgb(100, 116, 139);
    const Col lit_sea = rgb(196, 196, 196), lit_land = rgb(255, 255, 255);
    for (int y = 0; y < MH; ++y)
        for (int x = 0; x < MW; ++x) {
            float a = cover[size_t(y) * MW + x];
            float edge = 1.0f - std::fabs(2.0f * a - 1.0f);  // strongest where the shore cuts the pixel
            Col plain = mix(mix(sea, land, a), coast, 0.55f * edge);
            Col lit = mix(mix(lit_sea, lit_land, a), rgb(120, 120, 120), 0.5f * edge);
            // Tile lines every 14 pixels (10 degrees).
            bool line = x % 14 == 13 || y % 14 == 13;
            if (line) {
                plain = mix(plain, rgb(148, 163, 184), 0.25f);
                lit = mix(lit, rgb(150, 150, 150), 0.6f);
            }
            c.put(x, y, plain);
            c.put(x, y + MH, lit);
        }
    return true;
}

}  // namespace art
