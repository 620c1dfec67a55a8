#include "DIzivoz/OGL/OGL_geometry.h"

#include <algorithm>
#include <cmath>

const double PI2 = 6.283185307179586;

namespace {

const double kPi = 3.141592653589793;

double sign(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }

// Keeps axis-aligned directions exact: (0, b) and (a, 0) become unit axes
// without a division, anything else is normalised.
Vector2 axis_dir(double a, double b)
{
	if (a == 0.0) return {0.0, sign(b)};
	if (b == 0.0) return {sign(a), 0.0};
	const double len = std::sqrt(a * a + b * b);
	return {a / len, b / len};
}

Vector3 sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point3 add(const Point3& p, const Vector3& v, double k) { return {p.x + k * v.dx, p.y + k * v.dy, p.z + k * v.dz}; }
Vector3 scale(const Vector3& v, double k) { return {v.dx * k, v.dy * k, v.dz * k}; }
Vector3 vadd(const Vector3& a, const Vector3& b) { return {a.dx + b.dx, a.dy + b.dy, a.dz + b.dz}; }
double dot(const Vector3& a, const Vector3& b) { return a.dx * b.dx + a.dy * b.dy + a.dz * b.dz; }
double dotp(const Vector3& n, const Point3& p) { return n.dx * p.x + n.dy * p.y + n.dz * p.z; }
Vector3 cross(const Vector3& a, const Vector3& b)
{
	return {a.dy * b.dz - a.dz * b.dy, a.dz * b.dx - a.dx * b.dz, a.dx * b.dy - a.dy * b.dx};
}
double len2(const Vector3& v) { return dot(v, v); }
Vector3 normalise(const Vector3& v)
{
	const double l = std::sqrt(len2(v));
	return l == 0.0 ? v : scale(v, 1.0 / l);
}
bool equal(const Vector3& a, const Vector3& b) { return a.dx == b.dx && a.dy == b.dy && a.dz == b.dz; }
// Whether a x b vanishes, each component pair compared exactly.
bool parallel(const Vector3& a, const Vector3& b)
{
	return a.dy * b.dz == a.dz * b.dy && a.dz * b.dx == a.dx * b.dz && a.dx * b.dy == a.dy * b.dx;
}
double coord_mid(double a, double b) { return a == b ? a : (a + b) * 0.5; }
Point3 midpoint(const Point3& a, const Point3& b) { return {coord_mid(a.x, b.x), coord_mid(a.y, b.y), coord_mid(a.z, b.z)}; }
double coord_lerp(double a, double b, double t) { return a == b ? a : a + (b - a) * t; }

double heading(const Point2& a, const Point2& b)
{
	return (double)std::atan2((float)(b.y - a.y), (float)(b.x - a.x));
}

// Interior angle at a corner from the headings of the side before and after.
double interior_angle(double head_before, double head_after)
{
	double a = kPi - (head_after - head_before);
	if (a > kPi) a -= PI2;
	return a;
}

double side_inset(const double* insets, int i) { return insets ? insets[i] : 1.0; }

// Intersection of the infinite lines through two segments; false when parallel.
bool intersect_lines(const Segment2& a, const Segment2& b, Point2& out)
{
	const double ax = a.p2.x - a.p1.x, ay = a.p2.y - a.p1.y;
	const double bx = b.p2.x - b.p1.x, by = b.p2.y - b.p1.y;
	if (ax * by == ay * bx) return false;
	const double denom = ax * by - ay * bx;
	const double t = ((b.p1.x - a.p1.x) * by - (b.p1.y - a.p1.y) * bx) / denom;
	out = {a.p1.x + t * ax, a.p1.y + t * ay};
	return true;
}

// Where the line through seg meets the plane through plane_pt with normal n;
// false when the line runs parallel to the plane.
bool line_meets_plane(const Segment3& seg, const Point3& plane_pt, const Vector3& n, Point3& out)
{
	const Vector3 d = sub(seg.p2, seg.p1);
	const double den = dot(n, d);
	if (den == 0.0) return false;
	const double t = dot(n, sub(plane_pt, seg.p1)) / den;
	out = add(seg.p1, d, t);
	return true;
}

// The point on all three planes n_i . x = d_i; false when they share no single point.
bool three_planes(const Vector3& n1, double d1, const Vector3& n2, double d2, const Vector3& n3, double d3, Point3& out)
{
	const Vector3 c23 = cross(n2, n3);
	const double det = dot(n1, c23);
	if (det == 0.0) return false;
	const Vector3 v = vadd(vadd(scale(c23, d1), scale(cross(n3, n1), d2)), scale(cross(n1, n2), d3));
	out = {v.dx / det, v.dy / det, v.dz / det};
	return true;
}

double dist(const Point3& a, const Point3& b) { return std::sqrt(len2(sub(a, b))); }

// Projection of p onto the line through a and b.
Point3 project(const Point3& p, const Point3& a, const Point3& b)
{
	const Vector3 ab = sub(b, a);
	const double l2 = len2(ab);
	if (l2 == 0.0) return a;
	return add(a, ab, dot(sub(p, a), ab) / l2);
}

}  // namespace

Point2 CoordTranslator::Forward(const Point2& p) const
{
	return {dst_min.x + (p.x - src_min.x) * (dst_max.x - dst_min.x) / (src_max.x - src_min.x),
	        dst_min.y + (p.y - src_min.y) * (dst_max.y - dst_min.y) / (src_max.y - src_min.y)};
}

Point2 CoordTranslator::Reverse(const Point2& p) const
{
	return {src_min.x + (p.x - dst_min.x) * (src_max.x - src_min.x) / (dst_max.x - dst_min.x),
	        src_min.y + (p.y - dst_min.y) * (src_max.y - src_min.y) / (dst_max.y - dst_min.y)};
}

bool Is_CCW_Between(const Vector2& a, const Vector2& b, const Vector2& c)
{
	double alpha = std::atan2((float)a.dy, (float)a.dx);
	double beta = std::atan2((float)b.dy, (float)b.dx);
	double gamma = std::atan2((float)c.dy, (float)c.dx);
	if (alpha == gamma) return true;
	if (alpha <= -kPi) alpha += PI2;
	if (beta <= -kPi) beta += PI2;
	if (gamma <= -kPi) gamma += PI2;
	if (alpha > beta) beta += PI2;
	if (gamma < alpha) gamma += PI2;
	return alpha < beta && beta < gamma;
}

void MoveSegLeft(const Segment2& s, double dist, Segment2& out)
{
	const double dx = s.p2.x - s.p1.x, dy = s.p2.y - s.p1.y;
	if (dx == 0.0 && dy == 0.0) {
		out = s;
		return;
	}
	const Vector2 n = axis_dir(-dy, dx);
	out.p1 = {s.p1.x + dist * n.dx, s.p1.y + dist * n.dy};
	out.p2 = {s.p2.x + dist * n.dx, s.p2.y + dist * n.dy};
}

void InsetPolygon(const Polygon2& poly, const double* insets, double ratio, bool is_ring, Polygon2& out,
                  void (*on_insert)(int, void*), void* ref)
{
	out.clear();
	const int n = (int)poly.size();
	if (n == 0) return;
	std::vector<Segment2> sides(n), moved(n);
	for (int i = 0; i < n; ++i) {
		sides[i] = {poly[i], poly[(i + 1) % n]};
		MoveSegLeft(sides[i], ratio * side_inset(insets, i), moved[i]);
	}
	int spikes = 0;
	for (int j = 0; j < n; ++j) {
		const int prev = j == 0 ? n - 1 : j - 1;
		if (!is_ring && j == 0) {
			out.push_back(moved[0].p1);
		} else if (!is_ring && j == n - 1) {
			out.push_back(moved[prev].p2);
		} else if (!(sides[j].p2 == sides[prev].p1)) {
			Point2 corner;
			// Parallel moved sides meet nowhere; the end of the earlier one keeps
			// one output point per input point.
			out.push_back(intersect_lines(moved[prev], moved[j], corner) ? corner : moved[prev].p2);
		} else {
			Segment2 cap{moved[prev].p2, moved[j].p1}, cap_moved;
			MoveSegLeft(cap, ratio * side_inset(insets, j), cap_moved);
			out.push_back(cap_moved.p1);
			out.push_back(cap_moved.p2);
			if (on_insert) on_insert(spikes + j, ref);
			++spikes;
		}
	}
}

double CalcMaxInset(const Polygon2& poly, const double* insets, bool is_ring)
{
	const int n = (int)poly.size();
	if (is_ring ? n == 0 : n <= 1) return 0.0;
	const int sides = is_ring ? n : n - 1;
	auto pt = [&](int i) { return poly[((i % n) + n) % n]; };
	double result = 0.0;
	bool have = false;
	for (int i = 0; i < sides; ++i) {
		const double e = side_inset(insets, i);
		const double d = side_inset(insets, i == 0 ? n - 1 : i - 1);
		const double f = side_inset(insets, (i + 1) % n);
		const double h = heading(pt(i), pt(i + 1));
		const double th_start = interior_angle(heading(pt(i - 1), pt(i)), h);
		const double th_end = interior_angle(h, heading(pt(i + 1), pt(i + 2)));
		const double start_term = e / std::tan(th_start) + d / std::sin(th_start);
		// The end corner is shared with the next side, so its weight moves it.
		const double end_term = e / std::tan(th_end) + f / std::sin(th_end);
		double sum = 0.0;
		if (is_ring || i != 0) sum += start_term;
		if (is_ring || i != sides - 1) sum += end_term;
		if (sum > 0.0) {
			const double len = std::hypot(pt(i + 1).x - pt(i).x, pt(i + 1).y - pt(i).y);
			const double r = len / sum;
			// The first side that limits the inset sets the result; a side that
			// never collapses sets no limit.
			if (!have || r < result) result = r;
			have = true;
		}
	}
	return result;
}

void ReducePolygon(Polygon2& poly, double max_err_sq, double min_cos, double keep_len, double min_len)
{
	bool removed_any = true;
	while (removed_any && poly.size() >= 3) {
		removed_any = false;
		for (size_t i = 0; i < poly.size() && poly.size() >= 3; ++i) {
			const size_t n = poly.size();
			const Point2& p = poly[i];
			const Point2& a = poly[(i + n - 1) % n];
			const Point2& b = poly[(i + 1) % n];
			const double o = (p.x - a.x) * (p.x - a.x) + (p.y - a.y) * (p.y - a.y);
			const double r = (b.x - p.x) * (b.x - p.x) + (b.y - p.y) * (b.y - p.y);
			bool remove = false;
			if (o < min_len * min_len || r < min_len * min_len) {
				remove = true;
			} else if (o > keep_len * keep_len && r > keep_len * keep_len) {
				remove = false;
			} else {
				const double lx = b.x - a.x, ly = b.y - a.y;
				const double l2 = lx * lx + ly * ly;
				double w;
				if (l2 == 0.0) {
					w = o;
				} else {
					const double t = ((p.x - a.x) * lx + (p.y - a.y) * ly) / l2;
					const double fx = a.x + t * lx - p.x, fy = a.y + t * ly - p.y;
					w = fx * fx + fy * fy;
				}
				const Vector2 d1 = axis_dir(p.x - a.x, p.y - a.y);
				const Vector2 d2 = axis_dir(b.x - p.x, b.y - p.y);
				remove = w < max_err_sq && d1.dx * d2.dx + d1.dy * d2.dy > min_cos;
			}
			if (remove) {
				poly.erase(poly.begin() + (long)i);
				removed_any = true;
			}
		}
	}
}

void MoveSegLeft(const Segment3& s, double dist, Segment3& out, const Vector3& up)
{
	const Vector3 n = normalise(cross(up, sub(s.p2, s.p1)));
	out.p1 = add(s.p1, n, dist);
	out.p2 = add(s.p2, n, dist);
}

void InsetPolygon(const Polygon3& poly, const double* insets, double ratio, bool is_ring, const Vector3& up,
                  Polygon3& out)
{
	out.clear();
	const int n = (int)poly.size();
	if (n == 0) return;
	std::vector<Segment3> sides(n), moved(n);
	for (int i = 0; i < n; ++i) {
		sides[i] = {poly[i], poly[(i + 1) % n]};
		MoveSegLeft(sides[i], ratio * side_inset(insets, i), moved[i], up);
	}
	for (int j = 0; j < n; ++j) {
		const int prev = j == 0 ? n - 1 : j - 1;
		if (!is_ring && j == 0) {
			out.push_back(moved[0].p1);
		} else if (!is_ring && j == n - 1) {
			out.push_back(moved[prev].p2);
		} else if (!(sides[j].p2 == sides[prev].p1)) {
			const Vector3 plane_n = normalise(cross(sub(moved[prev].p2, moved[prev].p1), up));
			Point3 corner;
			out.push_back(line_meets_plane(moved[j], moved[prev].p1, plane_n, corner) ? corner : moved[prev].p2);
		} else {
			Segment3 cap{moved[prev].p2, moved[j].p1}, cap_moved;
			MoveSegLeft(cap, ratio * side_inset(insets, j), cap_moved, up);
			out.push_back(cap_moved.p1);
			out.push_back(cap_moved.p2);
		}
	}
}

void ExtendBoundingSphereToPt1(const Point3& p, Sphere3& s)
{
	const Vector3 u = normalise(sub(p, s.c));
	const double r = std::sqrt(s.radius_squared);
	const Point3 far = add(s.c, u, -r);
	s.c = midpoint(far, p);
	s.radius_squared = len2(sub(p, s.c));
}

void ExtendBoundingSphereToPt(const Point3& p, Sphere3& s)
{
	if (s.radius_squared < len2(sub(p, s.c))) ExtendBoundingSphereToPt1(p, s);
}

void ExtendBoundingSphereToSphere(const Sphere3& add_s, Sphere3& s)
{
	if (add_s.radius_squared == 0.0) return;
	if (s.radius_squared == 0.0) {
		s = add_s;
		return;
	}
	const double ra = std::sqrt(add_s.radius_squared), rs = std::sqrt(s.radius_squared);
	const Vector3 d = sub(add_s.c, s.c);
	if ((rs - ra) * (rs - ra) >= len2(d)) {
		// One sphere holds the other: keep the larger.
		if (ra > rs) s = add_s;
		return;
	}
	const Vector3 u = normalise(d);
	const Point3 far_s = add(s.c, u, -rs);
	const Point3 far_a = add(add_s.c, u, ra);
	s.c = midpoint(far_a, far_s);
	s.radius_squared = len2(sub(far_s, s.c));
}

void FastBoundingSphere(const std::vector<Point3>& pts, Sphere3& s)
{
	if (pts.empty()) return;
	std::vector<Point3> sorted(pts);
	std::sort(sorted.begin(), sorted.end(), lesser_y_then_x_then_z());
	const Point3& first = sorted.front();
	const Point3& last = sorted.back();
	s.c = midpoint(first, last);
	s.radius_squared = len2(sub(first, s.c));
	for (size_t i = 1; i + 1 < sorted.size(); ++i) ExtendBoundingSphereToPt(sorted[i], s);
}

bool PointInPolygon3(const Polygon3& poly, const Point3& p)
{
	const size_t n = poly.size();
	if (n < 3) return false;
	const Vector3 nrm = normalise(cross(sub(poly[1], poly[0]), sub(poly[1], poly[2])));
	for (size_t i = 0; i < n; ++i) {
		const Point3& a = poly[i];
		const Point3& b = poly[(i + 1) % n];
		const Vector3 e = normalise(cross(nrm, sub(b, a)));
		if (dot(e, sub(p, a)) > 0.0) return false;
	}
	return true;
}

bool IntersectLinesAroundJunction(const Line3& a, const Line3& b, const Point3& junction, Point3& out)
{
	if (parallel(a.v, b.v)) return false;
	const Vector3 nrm = normalise(cross(a.v, b.v));
	const Vector3 na = normalise(cross(a.v, nrm));
	const Vector3 nb = normalise(cross(nrm, b.v));
	if (equal(na, nb)) return false;
	const double da = dotp(na, a.p), db = dotp(nb, b.p);
	const Vector3 u = cross(na, nb);
	const double P = dot(na, na), Q = dot(nb, nb), R = dot(na, nb);
	const double S = P * Q - R * R;
	if (S == 0.0) return false;
	const double c1 = (da * Q - db * R) / S, c2 = (db * P - da * R) / S;
	const Point3 base{c1 * na.dx + c2 * nb.dx, c1 * na.dy + c2 * nb.dy, c1 * na.dz + c2 * nb.dz};
	const double nu = dot(nrm, u);
	if (nu == 0.0) return false;
	const double t = (dotp(nrm, junction) - dotp(nrm, base)) / nu;
	out = add(base, u, t);
	return true;
}

void BezierCurve(const Point3& p1, const Point3& p2, bool has_c1, bool has_c2, const Point3& c1, const Point3& c2,
                 int segments, double skip_start, double skip_end, std::vector<Point3>& out)
{
	int n;
	if (has_c1) n = std::max(segments, 1);
	else if (has_c2) n = segments > 0 ? segments : 1;
	else n = 1;
	const Point3 k1 = has_c1 ? c1 : p1;
	const Point3 k2 = has_c2 ? c2 : p2;
	const Vector3 line = sub(p2, p1);
	if (n > 1 && parallel(sub(k1, p1), line) && parallel(sub(k2, p1), line)) n = 1;
	out.clear();
	out.push_back(p1);
	for (int i = 1; i < n; ++i) {
		const float t = (float)i / (float)n;
		const float s = 1.0f - t;
		const double w0 = (double)s * s * s;
		const double w1 = (float)(3.0f * s * s * t);
		const double w2 = (float)(3.0f * s * t * t);
		const double w3 = (double)t * t * t;
		const Point3 q{w0 * p1.x + w1 * k1.x + w2 * k2.x + w3 * p2.x, w0 * p1.y + w1 * k1.y + w2 * k2.y + w3 * p2.y,
		               w0 * p1.z + w1 * k1.z + w2 * k2.z + w3 * p2.z};
		if (skip_start > 0 && dist(q, p1) < skip_start) continue;
		if (skip_end > 0 && dist(q, p2) < skip_end) continue;
		out.push_back(q);
	}
	out.push_back(p2);
}

int ChainToQuadStrip(const std::vector<Point3>& pts, const std::vector<Vector3>& ups,
                     const std::vector<double>& widths, std::vector<Point3>& strip)
{
	const size_t n = pts.size();
	if (n < 2) return (int)strip.size();
	strip.clear();
	for (size_t i = 0; i < n; ++i) {
		const double h = 0.5 * widths[i];
		const Point3& p = pts[i];
		if (i == 0 || i == n - 1) {
			const Vector3 dir = i == 0 ? sub(pts[1], pts[0]) : sub(pts[n - 1], pts[n - 2]);
			const Vector3 s = scale(normalise(cross(dir, ups[i])), h);
			strip.push_back(add(p, s, 1.0));
			strip.push_back(add(p, s, -1.0));
			continue;
		}
		const Vector3 d_in = normalise(sub(p, pts[i - 1]));
		const Vector3 d_out = normalise(sub(pts[i + 1], p));
		Vector3 s_in = normalise(cross(d_in, ups[i]));
		Vector3 s_out = normalise(cross(d_out, ups[i]));
		const double c = dot(s_in, s_out);
		s_in = scale(s_in, h);
		s_out = scale(s_out, h);
		if (c > 0.9995 || c < -0.9995) {
			// Nearly straight or turning back: the incoming side keeps the strip's width.
			strip.push_back(add(p, s_in, 1.0));
			strip.push_back(add(p, s_in, -1.0));
			continue;
		}
		for (double side : {1.0, -1.0}) {
			const Point3 a = add(p, s_in, side), b = add(p, s_out, side);
			Point3 q;
			if (parallel(s_in, s_out) ||
			    !three_planes(s_in, dotp(s_in, a), s_out, dotp(s_out, b), ups[i], dotp(ups[i], p), q))
				q = a;
			strip.push_back(q);
		}
	}
	return (int)strip.size();
}

double LongerSideOfQuad(const std::vector<Point3>& strip)
{
	const Point3 &q0 = strip[0], &q1 = strip[1], &q2 = strip[2], &q3 = strip[3];
	const Vector3 d = sub(q1, q3);
	const double l2 = len2(d);
	const double a = l2 == 0.0 ? 0.0 : dot(sub(q0, q3), d) / l2;
	if (a >= 1.0) return dist(q0, project(q1, q2, q0));
	return -dist(q1, project(q0, q3, q1));
}

void ReverseQuadStrip(std::vector<Point3>& strip) { std::reverse(strip.begin(), strip.end()); }

namespace {
// Walks one side of the strip (every other point from `first`) to the segment
// holding the cut; false when the side is shorter than the cut.
bool find_cut(const std::vector<Point3>& strip, size_t first, double cut, bool strict, size_t& k, Point3& at)
{
	double total = 0.0;
	for (size_t i = first; i + 2 < strip.size(); i += 2) {
		const double len = dist(strip[i], strip[i + 2]);
		if (strict ? total + len > cut : total + len >= cut) {
			const double t = len == 0.0 ? 0.0 : (cut - total) / len;
			const Point3 &a = strip[i], &b = strip[i + 2];
			if (t == 0.0) at = a;
			else if (t == 1.0) at = b;
			else at = {coord_lerp(a.x, b.x, t), coord_lerp(a.y, b.y, t), coord_lerp(a.z, b.z, t)};
			k = i;
			return true;
		}
		total += len;
	}
	return false;
}
}  // namespace

void RemoveFromQuadStripFront(std::vector<Point3>& strip, double dist_cut, std::vector<Point3>& removed,
                              bool square_ends)
{
	removed.clear();
	if (strip.size() <= 3 || !(dist_cut > 0.0)) return;
	double cut_even = dist_cut, cut_odd = dist_cut;
	if (square_ends) {
		const double l = LongerSideOfQuad(strip);
		if (l >= 0) cut_even = dist_cut + l;
		else cut_odd = dist_cut - l;
	}
	size_t k_odd = 0, k_even = 0;
	Point3 odd_cut, even_cut;
	if (!find_cut(strip, 1, cut_odd, true, k_odd, odd_cut)) return;
	if (!find_cut(strip, 0, cut_even, false, k_even, even_cut)) return;
	const size_t last_removed = std::max(k_odd, k_even + 1);
	removed.assign(strip.begin(), strip.begin() + (long)std::min(last_removed + 1, strip.size()));
	removed.push_back(even_cut);
	removed.push_back(odd_cut);
	const size_t last_dropped = std::min(k_odd, k_even + 1);
	strip.erase(strip.begin(), strip.begin() + (long)std::min(last_dropped + 1, strip.size()));
	const bool already = (strip.size() > 0 && strip[0] == even_cut) || (strip.size() > 1 && strip[1] == odd_cut);
	if (!already) strip.insert(strip.begin(), {even_cut, odd_cut});
}

void RemoveFromQuadStripBack(std::vector<Point3>& strip, double dist_cut, std::vector<Point3>& removed,
                             bool square_ends)
{
	ReverseQuadStrip(strip);
	RemoveFromQuadStripFront(strip, dist_cut, removed, square_ends);
	ReverseQuadStrip(strip);
}

void ClipToHalfPlane3(const Polygon3& poly, const Plane3& plane, Polygon3& out)
{
	out.clear();
	const size_t n = poly.size();
	for (size_t j = 0; j < n; ++j) {
		const Point3& a = poly[j];
		const Point3& b = poly[(j + 1) % n];
		const double da = dotp(plane.n, a) - plane.ndist;
		const double db = dotp(plane.n, b) - plane.ndist;
		if (da <= 0.0) out.push_back(a);
		if ((da < 0.0 && db > 0.0) || (da > 0.0 && db < 0.0)) {
			const double t = da / (da - db);
			const Point3 x = add(a, sub(b, a), t);
			if (!(x == a) && !(x == b)) out.push_back(x);
		}
	}
}
