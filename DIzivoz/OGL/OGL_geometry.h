#pragma once
// Value types and free functions of the geometry library: offset outlines,
// simplified polygons, coordinate mapping, bounding spheres, curves, quad
// strips and clipping. Callers own every input and output; nothing keeps state.
#include <vector>

extern const double PI2;  // 2 pi

struct Point2 { double x{}, y{}; };
struct Vector2 { double dx{}, dy{}; };
struct Segment2 { Point2 p1, p2; };
using Polygon2 = std::vector<Point2>;

struct Point3 { double x{}, y{}, z{}; };
struct Vector3 { double dx{}, dy{}, dz{}; };
struct Segment3 { Point3 p1, p2; };
using Polygon3 = std::vector<Point3>;
struct Line3 { Point3 p; Vector3 v; };
struct Plane3 { Vector3 n; double ndist{}; };        // points q with n . q = ndist
struct Sphere3 { Point3 c; double radius_squared{}; };

inline bool operator==(const Point2& a, const Point2& b) { return a.x == b.x && a.y == b.y; }
inline bool operator==(const Point3& a, const Point3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

struct CoordTranslator {
	Point2 src_min, src_max, dst_min, dst_max;
	Point2 Forward(const Point2& p) const;
	Point2 Reverse(const Point2& p) const;
};

// By y, then x, then z, ascending.
struct lesser_y_then_x_then_z {
	bool operator()(const Point3& a, const Point3& b) const
	{
		if (a.y != b.y) return a.y < b.y;
		if (a.x != b.x) return a.x < b.x;
		return a.z < b.z;
	}
};

// 2-D
bool Is_CCW_Between(const Vector2& a, const Vector2& b, const Vector2& c);
void MoveSegLeft(const Segment2& s, double dist, Segment2& out);
double CalcMaxInset(const Polygon2& poly, const double* insets, bool is_ring);
void ReducePolygon(Polygon2& poly, double max_err_sq, double min_cos, double keep_len, double min_len);
void InsetPolygon(const Polygon2& poly, const double* insets, double ratio, bool is_ring, Polygon2& out,
                  void (*on_insert)(int, void*), void* ref);

// 3-D
void MoveSegLeft(const Segment3& s, double dist, Segment3& out, const Vector3& up);
void InsetPolygon(const Polygon3& poly, const double* insets, double ratio, bool is_ring, const Vector3& up,
                  Polygon3& out);
void ExtendBoundingSphereToPt(const Point3& p, Sphere3& s);
void ExtendBoundingSphereToPt1(const Point3& p, Sphere3& s);
void ExtendBoundingSphereToSphere(const Sphere3& add, Sphere3& s);
void FastBoundingSphere(const std::vector<Point3>& pts, Sphere3& s);
bool PointInPolygon3(const Polygon3& poly, const Point3& p);
bool IntersectLinesAroundJunction(const Line3& a, const Line3& b, const Point3& junction, Point3& out);
void BezierCurve(const Point3& p1, const Point3& p2, bool has_c1, bool has_c2, const Point3& c1, const Point3& c2,
                 int segments, double skip_start, double skip_end, std::vector<Point3>& out);
int ChainToQuadStrip(const std::vector<Point3>& pts, const std::vector<Vector3>& ups,
                     const std::vector<double>& widths, std::vector<Point3>& strip);
double LongerSideOfQuad(const std::vector<Point3>& strip);
void ReverseQuadStrip(std::vector<Point3>& strip);
void RemoveFromQuadStripFront(std::vector<Point3>& strip, double dist, std::vector<Point3>& removed, bool square_ends);
void RemoveFromQuadStripBack(std::vector<Point3>& strip, double dist, std::vector<Point3>& removed, bool square_ends);
void ClipToHalfPlane3(const Polygon3& poly, const Plane3& plane, Polygon3& out);
