// The geometry library: offset outlines, polygon reduction, spheres, curves,
// quad strips and clipping, checked on hand-worked cases and seeded random input.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "DIzivoz/OGL/OGL_geometry.h"

namespace {

const double kTol = 1e-9;

void expect_pt(const Point2& got, double x, double y, double tol = kTol)
{
	EXPECT_NEAR(got.x, x, tol);
	EXPECT_NEAR(got.y, y, tol);
}

void expect_pt(const Point3& got, const Point3& want, double tol = kTol)
{
	EXPECT_NEAR(got.x, want.x, tol);
	EXPECT_NEAR(got.y, want.y, tol);
	EXPECT_NEAR(got.z, want.z, tol);
}

double dist3(const Point3& a, const Point3& b)
{
	return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

void record_insert(int at, void* ref) { static_cast<std::vector<int>*>(ref)->push_back(at); }

}  // namespace

TEST(Geometry2, TranslatorRoundTripsAndMapsCorners)
{
	CoordTranslator t{{-180, -90}, {180, 90}, {0, 0}, {1024, 512}};
	expect_pt(t.Forward({-180, -90}), 0, 0);
	expect_pt(t.Forward({180, 90}), 1024, 512);
	expect_pt(t.Forward({0, 0}), 512, 256);
	const Point2 back = t.Reverse(t.Forward({12.345, -67.891}));
	expect_pt(back, 12.345, -67.891, 1e-12);
}

TEST(Geometry2, CcwBetween)
{
	struct Case { Vector2 a, b, c; bool want; };
	const Case cases[] = {
		{{1, 0}, {1, 1}, {0, 1}, true},     // 45 degrees lies between 0 and 90
		{{1, 0}, {1, -1}, {0, 1}, false},   // -45 does not
		{{0, 1}, {1, 0}, {1, 0}, false},    // c itself is not strictly between
		{{3, 4}, {-1, -7}, {3, 4}, true},   // a equal to c: always
		{{0, 1}, {-1, 0}, {0, -1}, true},   // through 180
		{{0, -1}, {1, 0}, {0, 1}, true},    // across the -pi seam
		{{-1, 0}, {0, -1}, {1, 0}, true},   // a at exactly pi
		{{-1, 0}, {0, 1}, {1, 0}, false},
	};
	for (const Case& c : cases)
		EXPECT_EQ(Is_CCW_Between(c.a, c.b, c.c), c.want)
			<< c.a.dx << "," << c.a.dy << " / " << c.b.dx << "," << c.b.dy << " / " << c.c.dx << "," << c.c.dy;
}

TEST(Geometry2, MoveSegLeft)
{
	struct Case { Segment2 s; double d; Point2 p1, p2; };
	const Case cases[] = {
		{{{0, 0}, {10, 0}}, 2, {0, 2}, {10, 2}},
		{{{0, 0}, {0, 10}}, 2, {-2, 0}, {-2, 10}},
		{{{0, 0}, {3, 4}}, 5, {-4, 3}, {-1, 7}},
		{{{1, 1}, {1, 1}}, 5, {1, 1}, {1, 1}},  // degenerate: unmoved
	};
	for (const Case& c : cases) {
		Segment2 out;
		MoveSegLeft(c.s, c.d, out);
		expect_pt(out.p1, c.p1.x, c.p1.y);
		expect_pt(out.p2, c.p2.x, c.p2.y);
	}
}

TEST(Geometry2, InsetSquareRingAndOpenChain)
{
	const Polygon2 square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
	Polygon2 out;
	InsetPolygon(square, nullptr, 0.1, true, out, nullptr, nullptr);
	ASSERT_EQ(out.size(), 4u);
	expect_pt(out[0], 0.1, 0.1);
	expect_pt(out[1], 0.9, 0.1);
	expect_pt(out[2], 0.9, 0.9);
	expect_pt(out[3], 0.1, 0.9);

	const Polygon2 chain{{0, 0}, {10, 0}, {10, 10}};
	InsetPolygon(chain, nullptr, 1.0, false, out, nullptr, nullptr);
	ASSERT_EQ(out.size(), 3u);
	expect_pt(out[0], 0, 1);
	expect_pt(out[1], 9, 1);
	expect_pt(out[2], 9, 10);

	const double weights[] = {2, 1, 1, 1};
	InsetPolygon(square, weights, 0.1, true, out, nullptr, nullptr);
	ASSERT_EQ(out.size(), 4u);
	expect_pt(out[0], 0.1, 0.2);
	expect_pt(out[1], 0.9, 0.2);
}

TEST(Geometry2, InsetKeepsOnePointAtStraightCornersAndTwoAtSpikes)
{
	// A ring with a straight-through vertex: its moved sides are parallel.
	const Polygon2 ring{{0, 0}, {1, 0}, {2, 0}, {2, 2}, {0, 2}};
	Polygon2 out;
	std::vector<int> inserted;
	InsetPolygon(ring, nullptr, 0.5, true, out, record_insert, &inserted);
	ASSERT_EQ(out.size(), ring.size());
	expect_pt(out[1], 1, 0.5);  // the end of the moved side before it
	EXPECT_TRUE(inserted.empty());

	// Out and back twice: each spike corner becomes two points and is announced
	// at its output index.
	const Polygon2 spike{{0, 0}, {4, 0}, {0, 0}, {0, 4}};
	InsetPolygon(spike, nullptr, 1, true, out, record_insert, &inserted);
	EXPECT_EQ(out.size(), spike.size() + 2);
	EXPECT_EQ(inserted, (std::vector<int>{1, 4}));
	// The cap at the tip (4, 0) lies beyond the tip by the inset.
	expect_pt(out[1], 5, 1);
	expect_pt(out[2], 5, -1);
}

TEST(Geometry2, MaxInsetCollapsesASide)
{
	struct Case { Polygon2 poly; std::vector<double> w; bool ring; double want; };
	const std::vector<Case> cases = {
		{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {}, true, 0.5},        // unit square: sides vanish at 0.5
		{{{0, 0}, {4, 0}, {4, 1}, {0, 1}}, {}, true, 0.5},        // the short sides limit it
		{{{0, 0}, {1, 0}}, {}, false, 0.0},                       // one side, no corners
		{{{0, 0}}, {}, false, 0.0},
		{{}, {}, true, 0.0},
	};
	for (const Case& c : cases)
		EXPECT_NEAR(CalcMaxInset(c.poly, c.w.empty() ? nullptr : c.w.data(), c.ring), c.want, 1e-6);

	// Unequal weights: at the computed ratio some side of the inset outline has
	// shrunk to (almost) nothing, and just below it every side still has length.
	const Polygon2 quad{{0, 0}, {6, 0}, {5, 3}, {1, 2}};
	const double w[] = {1.0, 2.5, 0.5, 1.5};
	const double r = CalcMaxInset(quad, w, true);
	ASSERT_GT(r, 0.0);
	auto shortest = [&](double ratio) {
		Polygon2 out;
		InsetPolygon(quad, w, ratio, true, out, nullptr, nullptr);
		double m = 1e9;
		for (size_t i = 0; i < out.size(); ++i)
			m = std::min(m, std::hypot(out[(i + 1) % out.size()].x - out[i].x, out[(i + 1) % out.size()].y - out[i].y));
		return m;
	};
	EXPECT_LT(shortest(r), 1e-4);
	EXPECT_GT(shortest(r * 0.9), 1e-2);

	// A chain whose first side never collapses (it turns right, away from the
	// inset) still reports the limit of a later side.
	const Polygon2 chain{{0, 0}, {10, 0}, {10, -1}, {20, -1}};
	EXPECT_NEAR(CalcMaxInset(chain, nullptr, false), 10.0, 1e-5);
}

TEST(Geometry2, ReducePolygon)
{
	Polygon2 two{{0, 0}, {1, 0}};
	ReducePolygon(two, 1, 0, 10, 0);
	EXPECT_EQ(two.size(), 2u);

	// A nearly straight middle point on a long side goes; the corners stay.
	Polygon2 poly{{0, 0}, {5, 0.001}, {10, 0}, {10, 10}, {0, 10}};
	ReducePolygon(poly, 0.01, 0.9, 100, 0);
	ASSERT_EQ(poly.size(), 4u);
	expect_pt(poly[1], 10, 0);

	// A point closer than min_len to its neighbour goes whatever the angle.
	Polygon2 close{{0, 0}, {10, 0}, {10, 0.01}, {10, 10}, {0, 10}};
	ReducePolygon(close, 0, 1, 0, 0.1);
	EXPECT_EQ(close.size(), 4u);

	// Long sides on both ends keep a point even where it is straight.
	Polygon2 keep{{0, 0}, {5, 0}, {10, 0}, {10, 10}, {0, 10}};
	ReducePolygon(keep, 1, 0.5, 1, 0);
	EXPECT_EQ(keep.size(), 5u);

	// A thin triangle loses a point and then the reduction stops.
	Polygon2 tri{{0, 0}, {10, 0}, {5, 0.0001}};
	ReducePolygon(tri, 1, -1, 100, 0);
	EXPECT_EQ(tri.size(), 2u);
}

TEST(Geometry3, MoveAndInsetIn3D)
{
	Segment3 out;
	MoveSegLeft(Segment3{{0, 0, 0}, {10, 0, 0}}, 2, out, Vector3{0, 1, 0});
	expect_pt(out.p1, {0, 0, -2});
	expect_pt(out.p2, {10, 0, -2});

	// The unit square in the x-z plane seen from above (+y): inset inwards.
	const Polygon3 sq{{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}};
	Polygon3 in;
	InsetPolygon(sq, nullptr, 0.1, true, Vector3{0, 1, 0}, in);
	ASSERT_EQ(in.size(), 4u);
	for (const Point3& p : in) {
		EXPECT_NEAR(p.y, 0, kTol);
		EXPECT_NEAR(std::min(std::fabs(p.x - 0.1), std::fabs(p.x - 0.9)), 0, kTol);
		EXPECT_NEAR(std::min(std::fabs(p.z - 0.1), std::fabs(p.z - 0.9)), 0, kTol);
	}
	const Polygon3 straight{{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {2, 0, 2}, {2, 0, 0}};
	InsetPolygon(straight, nullptr, 0.5, true, Vector3{0, 1, 0}, in);
	EXPECT_EQ(in.size(), straight.size());
}

TEST(Geometry3, BoundingSpheres)
{
	Sphere3 s;
	FastBoundingSphere({{1, 2, 3}}, s);
	expect_pt(s.c, {1, 2, 3});
	EXPECT_EQ(s.radius_squared, 0.0);

	Sphere3 before{{0, 0, 0}, 4};
	Sphere3 t = before;
	ExtendBoundingSphereToPt({1, 1, 0}, t);
	ExtendBoundingSphereToPt({2, 0, 0}, t);  // on the surface
	expect_pt(t.c, before.c);
	EXPECT_EQ(t.radius_squared, 4.0);
	ExtendBoundingSphereToPt({4, 0, 0}, t);
	expect_pt(t.c, {1, 0, 0});
	EXPECT_NEAR(t.radius_squared, 9.0, kTol);

	struct Case { Sphere3 s, add; Sphere3 want; };
	const Case cases[] = {
		{{{0, 0, 0}, 1}, {{5, 5, 5}, 0}, {{0, 0, 0}, 1}},     // empty add: nothing
		{{{0, 0, 0}, 0}, {{5, 5, 5}, 4}, {{5, 5, 5}, 4}},     // empty target takes add
		{{{0, 0, 0}, 100}, {{1, 0, 0}, 1}, {{0, 0, 0}, 100}}, // add inside s: nothing
		{{{1, 0, 0}, 1}, {{0, 0, 0}, 100}, {{0, 0, 0}, 100}}, // s inside add: s becomes add
		{{{0, 0, 0}, 1}, {{4, 0, 0}, 1}, {{2, 0, 0}, 9}},     // apart: both touched
	};
	for (const Case& c : cases) {
		Sphere3 got = c.s;
		ExtendBoundingSphereToSphere(c.add, got);
		expect_pt(got.c, c.want.c);
		EXPECT_NEAR(got.radius_squared, c.want.radius_squared, kTol);
	}

	// Seeded random clouds: the sphere holds every point it was grown by.
	std::mt19937 rng(7);
	std::uniform_real_distribution<double> u(-100, 100);
	for (int round = 0; round < 50; ++round) {
		std::vector<Point3> pts(1 + round * 3);
		for (Point3& p : pts) p = {u(rng), u(rng), u(rng)};
		Sphere3 fs;
		FastBoundingSphere(pts, fs);
		for (const Point3& p : pts) EXPECT_LE(dist3(p, fs.c), std::sqrt(fs.radius_squared) * (1 + 1e-12) + 1e-9);
		Sphere3 grow{pts[0], 1};
		Sphere3 other{{u(rng), u(rng), u(rng)}, 25};
		ExtendBoundingSphereToSphere(other, grow);
		EXPECT_LE(dist3(pts[0], grow.c) + 1, std::sqrt(grow.radius_squared) + 1e-9);
		EXPECT_LE(dist3(other.c, grow.c) + 5, std::sqrt(grow.radius_squared) + 1e-9);
	}
}

TEST(Geometry3, PointInPolygonAndJunction)
{
	const Polygon3 tri{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
	EXPECT_FALSE(PointInPolygon3({{0, 0, 0}, {1, 0, 0}}, {0, 0, 0}));
	// Either orientation of the test: inside one way, so try both windings.
	const Polygon3 rev{{0, 1, 0}, {1, 0, 0}, {0, 0, 0}};
	const bool a = PointInPolygon3(tri, {0.2, 0.2, 5});
	const bool b = PointInPolygon3(rev, {0.2, 0.2, 5});
	EXPECT_TRUE(a || b);
	EXPECT_FALSE(PointInPolygon3(a ? tri : rev, {2, 2, 0}));

	Point3 out{9, 9, 9};
	EXPECT_FALSE(IntersectLinesAroundJunction({{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {2, 0, 0}}, {0, 0, 0}, out));
	expect_pt(out, {9, 9, 9});
	// Two skew lines: x axis, and a line along z through (1, 0, 3) shifted by y = 2.
	ASSERT_TRUE(IntersectLinesAroundJunction({{0, 0, 0}, {1, 0, 0}}, {{1, 2, 3}, {0, 0, 1}}, {0, 5, 0}, out));
	EXPECT_NEAR(out.x, 1, kTol);
	EXPECT_NEAR(out.z, 0, kTol);
	EXPECT_NEAR(out.y, 5, kTol);
}

TEST(Geometry3, Bezier)
{
	const Point3 p1{0, 0, 0}, p2{10, 0, 0};
	std::vector<Point3> out;
	for (int segs : {0, 1, 8}) {
		BezierCurve(p1, p2, false, false, {}, {}, segs, 0, 0, out);
		ASSERT_EQ(out.size(), 2u);
		BezierCurve(p1, p2, true, true, {3, 0, 0}, {6, 0, 0}, segs, 0, 0, out);  // controls on the line
		ASSERT_EQ(out.size(), 2u);
	}
	BezierCurve(p1, p2, true, true, {0, 10, 0}, {10, 10, 0}, 4, 0, 0, out);
	ASSERT_EQ(out.size(), 5u);
	EXPECT_NEAR(out[2].x, 5, 1e-6);
	EXPECT_NEAR(out[2].y, 7.5, 1e-6);
	BezierCurve(p1, p2, true, false, {0, 10, 0}, {}, 10, 3, 3, out);
	for (size_t i = 1; i + 1 < out.size(); ++i) {
		EXPECT_GE(dist3(out[i], p1), 3);
		EXPECT_GE(dist3(out[i], p2), 3);
	}
	EXPECT_LT(out.size(), 11u);
}

TEST(Geometry3, QuadStripAlongChain)
{
	std::vector<Point3> strip{{42, 42, 42}};
	EXPECT_EQ(ChainToQuadStrip({{0, 0, 0}}, {{0, 1, 0}}, {2}, strip), 1);
	ASSERT_EQ(strip.size(), 1u);  // untouched

	const Vector3 up{0, 1, 0};
	ChainToQuadStrip({{0, 0, 0}, {10, 0, 0}}, {up, up}, {2, 2}, strip);
	ASSERT_EQ(strip.size(), 4u);
	expect_pt(strip[0], {0, 0, 1});
	expect_pt(strip[1], {0, 0, -1});
	expect_pt(strip[2], {10, 0, 1});
	expect_pt(strip[3], {10, 0, -1});

	// A right-angle corner: the mitred points lie at half width from both sides.
	ChainToQuadStrip({{0, 0, 0}, {10, 0, 0}, {10, 0, 10}}, {up, up, up}, {2, 2, 2}, strip);
	ASSERT_EQ(strip.size(), 6u);
	expect_pt(strip[2], {9, 0, 1});
	expect_pt(strip[3], {11, 0, -1});

	// Nearly straight and hairpin points still give two points at half width, + then -.
	ChainToQuadStrip({{0, 0, 0}, {10, 0, 0}, {20, 0, 0.001}}, {up, up, up}, {4, 4, 4}, strip);
	ASSERT_EQ(strip.size(), 6u);
	expect_pt(strip[2], {10, 0, 2});
	expect_pt(strip[3], {10, 0, -2});
	ChainToQuadStrip({{0, 0, 0}, {10, 0, 0}, {0, 0, 0.0001}}, {up, up, up}, {4, 4, 4}, strip);
	ASSERT_EQ(strip.size(), 6u);
	expect_pt(strip[2], {10, 0, 2});
	expect_pt(strip[3], {10, 0, -2});
}

TEST(Geometry3, QuadStripTrims)
{
	const Vector3 up{0, 1, 0};
	std::vector<Point3> base;
	ChainToQuadStrip({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}}, {up, up, up, up}, {2, 2, 2, 2}, base);

	std::vector<Point3> strip = base, removed;
	RemoveFromQuadStripFront(strip, 15, removed, false);
	ASSERT_EQ(strip.size(), 6u);
	expect_pt(strip[0], {15, 0, 1});
	expect_pt(strip[1], {15, 0, -1});
	expect_pt(strip[2], {20, 0, 1});
	ASSERT_EQ(removed.size(), 6u);
	expect_pt(removed[4], {15, 0, 1});
	expect_pt(removed[5], {15, 0, -1});

	strip = base;
	RemoveFromQuadStripBack(strip, 5, removed, false);
	ASSERT_EQ(strip.size(), 8u);
	expect_pt(strip[6], {25, 0, 1});
	expect_pt(strip[7], {25, 0, -1});

	// Longer than the strip, or nothing to cut: unchanged.
	for (double d : {31.0, 0.0, -1.0}) {
		strip = base;
		RemoveFromQuadStripFront(strip, d, removed, false);
		EXPECT_EQ(strip.size(), base.size());
		EXPECT_TRUE(removed.empty());
	}

	// A slanted first quad: with square ends both sides are cut to one line
	// perpendicular to the strip.
	std::vector<Point3> slant{{0, 0, -1}, {2, 0, 1}, {10, 0, -1}, {10, 0, 1}, {20, 0, -1}, {20, 0, 1}};
	EXPECT_NEAR(LongerSideOfQuad(slant), 2.0, kTol);
	std::vector<Point3> sq = slant;
	RemoveFromQuadStripFront(sq, 3, removed, true);
	ASSERT_GE(sq.size(), 2u);
	EXPECT_NEAR(sq[0].x, sq[1].x, 1e-9);
	EXPECT_NEAR(sq[0].x, 5, 1e-9);
	std::vector<Point3> plain = slant;
	RemoveFromQuadStripFront(plain, 3, removed, false);
	EXPECT_NEAR(plain[0].x, 3, 1e-9);
	EXPECT_NEAR(plain[1].x, 5, 1e-9);
}

TEST(Geometry3, ClipToHalfPlane)
{
	const Polygon3 sq{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
	Polygon3 out;
	ClipToHalfPlane3(sq, {{1, 0, 0}, 5}, out);
	ASSERT_EQ(out.size(), 4u);
	ClipToHalfPlane3(sq, {{1, 0, 0}, -1}, out);
	EXPECT_TRUE(out.empty());
	ClipToHalfPlane3({}, {{1, 0, 0}, 0}, out);
	EXPECT_TRUE(out.empty());

	ClipToHalfPlane3(sq, {{1, 0, 0}, 1}, out);
	ASSERT_EQ(out.size(), 4u);
	expect_pt(out[0], {0, 0, 0});
	expect_pt(out[1], {1, 0, 0});
	expect_pt(out[2], {1, 2, 0});
	expect_pt(out[3], {0, 2, 0});

	// Vertices lying on the plane count as inside; edges that only touch it add
	// no crossing, so nothing is doubled or dropped.
	ClipToHalfPlane3({{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}}, {{1, 0, 0}, 1}, out);
	ASSERT_EQ(out.size(), 3u);
	expect_pt(out[0], {0, 0, 0});
	expect_pt(out[1], {1, 0, 0});
	expect_pt(out[2], {1, 2, 0});

	std::mt19937 rng(11);
	std::uniform_real_distribution<double> u(-10, 10);
	for (int round = 0; round < 200; ++round) {
		Polygon3 poly(3 + round % 6);
		for (Point3& p : poly) p = {u(rng), u(rng), u(rng)};
		Vector3 n{u(rng), u(rng), u(rng)};
		const Plane3 plane{n, u(rng)};
		ClipToHalfPlane3(poly, plane, out);
		for (const Point3& p : out) EXPECT_LE(n.dx * p.x + n.dy * p.y + n.dz * p.z, plane.ndist + 1e-9);
	}
}
