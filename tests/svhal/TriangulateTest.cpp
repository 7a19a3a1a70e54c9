#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "Sv_Triangulate.h"

namespace {

typedef std::array<double, 3> Pt;
typedef std::vector<Pt> Ring;

// Rings laid out as the caller hands them over: exactly sized heap arrays
// (so that a read past their end is caught), one heap block per vertex.
struct Polygons {
  explicit Polygons(const std::vector<Ring>& rings) : ncontours(static_cast<int>(rings.size())) {
    counts.reset(new int[rings.size()]);
    for (const Ring& r : rings) total += static_cast<int>(r.size());
    vertices.reset(new double*[total > 0 ? total : 1]);
    int i = 0;
    for (size_t c = 0; c < rings.size(); ++c) {
      counts[c] = static_cast<int>(rings[c].size());
      for (const Pt& p : rings[c]) {
        storage.emplace_back(new double[3]{p[0], p[1], p[2]});
        vertices[i++] = storage.back().get();
      }
    }
    for (const Ring& r : rings) rows += static_cast<int>(r.size()) - 2;
    table.reset(new int[rows > 0 ? rows : 1][3]);
    for (int t = 0; t < (rows > 0 ? rows : 1); ++t) table[t][0] = table[t][1] = table[t][2] = -7;
  }
  int Run() { return triangulate_polygon(ncontours, counts.get(), vertices.get(), table.get()); }

  int ncontours;
  int total = 0;
  int rows = 0;
  std::unique_ptr<int[]> counts;
  std::unique_ptr<double*[]> vertices;
  std::unique_ptr<int[][3]> table;
  std::vector<std::unique_ptr<double[]>> storage;
};

void Cross(const double* a, const double* b, const double* c, double n[3]) {
  double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  n[0] = u[1] * v[2] - u[2] * v[1];
  n[1] = u[2] * v[0] - u[0] * v[2];
  n[2] = u[0] * v[1] - u[1] * v[0];
}

// Twice the area vector of a ring (Newell).
void RingNormal(double* const* v, int n, double out[3]) {
  out[0] = out[1] = out[2] = 0.0;
  for (int i = 0; i < n; ++i) {
    const double* a = v[i];
    const double* b = v[(i + 1) % n];
    out[0] += (a[1] - b[1]) * (a[2] + b[2]);
    out[1] += (a[2] - b[2]) * (a[0] + b[0]);
    out[2] += (a[0] - b[0]) * (a[1] + b[1]);
  }
}

double Len(const double n[3]) { return std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]); }

bool InsideRing2D(const Ring& ring, double x, double y) {
  bool in = false;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    if ((ring[i][1] > y) != (ring[j][1] > y) &&
        x < (ring[j][0] - ring[i][0]) * (y - ring[i][1]) / (ring[j][1] - ring[i][1]) + ring[i][0])
      in = !in;
  }
  return in;
}

bool InsideTriangle2D(const double* a, const double* b, const double* c, double x, double y) {
  auto side = [](const double* p, const double* q, double x, double y) {
    return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0]);
  };
  double s1 = side(a, b, x, y), s2 = side(b, c, x, y), s3 = side(c, a, x, y);
  return (s1 > 0 && s2 > 0 && s3 > 0) || (s1 < 0 && s2 < 0 && s3 < 0);
}

// Checks the result for every ring: count - 2 triangles with valid global
// 1-based indices, each ring's vertices kept or exactly reversed, every
// vertex used, all triangles facing the ring's way, and the triangle areas
// summing to the ring's area. With noSlivers, no triangle may be without
// area (a ring without repeated vertices never needs one).
void CheckTriangulation(const Polygons& poly, const std::vector<Ring>& rings, bool noSlivers = true) {
  int first = 0;
  int row = 0;
  for (size_t c = 0; c < rings.size(); ++c) {
    int n = static_cast<int>(rings[c].size());
    double* const* v = poly.vertices.get() + first;
    // Same pointers, in the original or in reversed order.
    bool same = true, reversed = true;
    for (int i = 0; i < n; ++i) {
      same = same && v[i] == poly.storage[first + i].get();
      reversed = reversed && v[i] == poly.storage[first + n - 1 - i].get();
    }
    EXPECT_TRUE(same || reversed) << "ring " << c;

    double ringN[3];
    RingNormal(v, n, ringN);
    double ringArea = Len(ringN) / 2.0;
    double sum = 0.0;
    std::vector<int> used(n, 0);
    for (int t = row; t < row + n - 2; ++t) {
      for (int k = 0; k < 3; ++k) {
        int idx = poly.table[t][k];
        ASSERT_GE(idx, first + 1) << "ring " << c << " row " << t;
        ASSERT_LE(idx, first + n) << "ring " << c << " row " << t;
        used[idx - first - 1] = 1;
      }
      const double* a = poly.vertices[poly.table[t][0] - 1];
      const double* b = poly.vertices[poly.table[t][1] - 1];
      const double* cc = poly.vertices[poly.table[t][2] - 1];
      double tn[3];
      Cross(a, b, cc, tn);
      double dot = tn[0] * ringN[0] + tn[1] * ringN[1] + tn[2] * ringN[2];
      EXPECT_GE(dot, -1e-9 * Len(ringN) * Len(ringN)) << "triangle " << t << " faces backwards";
      if (noSlivers) {
        EXPECT_GT(dot, 1e-9 * Len(ringN) * Len(ringN)) << "triangle " << t << " has no area";
      }
      sum += dot / Len(ringN) / 2.0;
    }
    for (int i = 0; i < n; ++i) EXPECT_TRUE(used[i]) << "ring " << c << " vertex " << i << " unused";
    EXPECT_NEAR(sum, ringArea, 1e-9 * ringArea) << "ring " << c;
    first += n;
    row += n - 2;
  }
}

// For a ring in the x-y plane: every sample point inside the ring lies in
// exactly one triangle, every point outside in none.
void CheckCoverage2D(const Polygons& poly, const Ring& ring, int firstRow) {
  double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
  for (const Pt& p : ring)
    for (int k = 0; k < 2; ++k) {
      lo[k] = std::min(lo[k], p[k]);
      hi[k] = std::max(hi[k], p[k]);
    }
  int n = static_cast<int>(ring.size());
  // Irrational steps keep the samples off the edges.
  for (double x = lo[0] - 0.0113; x < hi[0] + 0.02; x += (hi[0] - lo[0]) / 37.3) {
    for (double y = lo[1] - 0.0171; y < hi[1] + 0.02; y += (hi[1] - lo[1]) / 41.7) {
      int covered = 0;
      for (int t = firstRow; t < firstRow + n - 2; ++t)
        covered += InsideTriangle2D(poly.vertices[poly.table[t][0] - 1], poly.vertices[poly.table[t][1] - 1],
                                    poly.vertices[poly.table[t][2] - 1], x, y);
      EXPECT_EQ(covered, InsideRing2D(ring, x, y) ? 1 : 0) << x << "," << y;
    }
  }
}

Ring Reversed(Ring r) {
  std::reverse(r.begin(), r.end());
  return r;
}

const Ring kLShape = {{0, 0, 0}, {4, 0, 0}, {4, 1, 0}, {1, 1, 0}, {1, 3, 0}, {0, 3, 0}};

}  // namespace

TEST(Triangulate, ConvexRing) {
  Ring hexagon;
  for (int i = 0; i < 6; ++i)
    hexagon.push_back({std::cos(i * M_PI / 3), std::sin(i * M_PI / 3), 2.0});
  std::vector<Ring> rings = {hexagon};
  Polygons poly(rings);
  ASSERT_EQ(0, poly.Run());
  CheckTriangulation(poly, rings);
  CheckCoverage2D(poly, hexagon, 0);

  Ring tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  Polygons one({tri});
  ASSERT_EQ(0, one.Run());
  EXPECT_EQ(one.table[0][0] + one.table[0][1] + one.table[0][2], 6);
}

TEST(Triangulate, ConcaveRings) {
  // L-shape, and a comb of four teeth (eight reflex corners, tooth tips on
  // one line).
  Ring comb = {{0, 0, 0}, {9, 0, 0}, {9, 4, 0}};
  for (int x = 8; x >= 2; x -= 2) {
    comb.push_back({double(x), 4, 0});
    comb.push_back({double(x), 1, 0});
    comb.push_back({double(x - 1), 1, 0});
    comb.push_back({double(x - 1), 4, 0});
  }
  comb.push_back({0, 4, 0});
  for (const Ring& ring : {kLShape, comb}) {
    std::vector<Ring> rings = {ring};
    Polygons poly(rings);
    ASSERT_EQ(0, poly.Run());
    CheckTriangulation(poly, rings);
    CheckCoverage2D(poly, ring, 0);
  }
}

// Long rings with bays, a zigzag edge and spikes: the vertices that could
// lie inside an ear are looked up through a spatial index, which must find
// every one of them.
TEST(Triangulate, LongRingsWithBaysAndSpikes) {
  for (int shape : {0, 1}) {
    SCOPED_TRACE(shape);
    const int n = 2000;
    Ring ring;
    for (int i = 0; i < n; ++i) {
      const double a = 2 * M_PI * i / n;
      const double r = shape == 0 ? 1.0 + 0.3 * std::sin(7 * a) + (i % 2 ? 0.01 : 0.0)
                                  : 1.0 + (i % 40 == 0 ? 0.5 : 0.0) + 0.02 * std::sin(37 * a);
      ring.push_back({r * std::cos(a) + 3.0, r * std::sin(a) - 2.0, 0.0});
    }
    std::vector<Ring> rings = {ring};
    Polygons poly(rings);
    ASSERT_EQ(0, poly.Run());
    // Triangles of three neighbours on a finely divided arc are tiny
    // without being slivers: the area sum and the coverage decide.
    CheckTriangulation(poly, rings, false);
    CheckCoverage2D(poly, ring, 0);
  }
}

TEST(Triangulate, ClockwiseRingIsReversedInPlace) {
  Ring cw = Reversed(kLShape);
  std::vector<Ring> rings = {cw};
  Polygons poly(rings);
  ASSERT_EQ(0, poly.Run());
  // The vertex array now runs counter-clockwise: the original order reversed.
  for (int i = 0; i < 6; ++i) EXPECT_EQ(poly.vertices[i], poly.storage[5 - i].get());
  CheckTriangulation(poly, rings);
  CheckCoverage2D(poly, cw, 0);
  // Every triangle runs counter-clockwise seen from above.
  for (int t = 0; t < 4; ++t) {
    double n[3];
    Cross(poly.vertices[poly.table[t][0] - 1], poly.vertices[poly.table[t][1] - 1],
          poly.vertices[poly.table[t][2] - 1], n);
    EXPECT_GT(n[2], 0.0);
  }

  // A counter-clockwise ring stays as it is.
  Polygons ccw({kLShape});
  ASSERT_EQ(0, ccw.Run());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ccw.vertices[i], ccw.storage[i].get());
}

TEST(Triangulate, CollinearAndRepeatedVertices) {
  // Square with several points along two edges.
  Ring square = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {4, 2, 0},
                 {4, 4, 0}, {2, 4, 0}, {0, 4, 0}};
  // Triangle with the midpoint of every edge.
  Ring midpoints = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1.5, 1, 0}, {1, 2, 0}, {0.5, 1, 0}};
  // A reflex corner on the diagonal of the ring's first convex corner: that
  // ear would leave a triangle without area.
  Ring onDiagonal = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {2, 2, 0}, {0, 4, 0}};
  for (const Ring& ring : {square, midpoints, onDiagonal}) {
    std::vector<Ring> rings = {ring};
    Polygons poly(rings);
    ASSERT_EQ(0, poly.Run());
    CheckTriangulation(poly, rings);
    CheckCoverage2D(poly, ring, 0);
  }

  // A repeated vertex: its zero-length edge necessarily lies in a triangle
  // without area, but the count and the coverage hold.
  Ring repeated = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {2, 4, 0}, {2, 2, 0}, {2, 2, 0}, {0, 2, 0}};
  std::vector<Ring> rings = {repeated};
  Polygons poly(rings);
  ASSERT_EQ(0, poly.Run());
  CheckTriangulation(poly, rings, false);
  CheckCoverage2D(poly, repeated, 0);
}

TEST(Triangulate, MultipleContoursEachOnItsOwn) {
  // Two rings in the x-y plane (the second clockwise and overlapping the
  // first: it is no hole), and an upright ring in the x-z plane.
  Ring square = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
  Ring cwL = Reversed(kLShape);
  Ring upright = {{0, 5, 0}, {3, 5, 0}, {3, 5, 1}, {1, 5, 1}, {1, 5, 3}, {0, 5, 3}};
  std::vector<Ring> rings = {square, cwL, upright};
  Polygons poly(rings);
  ASSERT_EQ(0, poly.Run());
  EXPECT_EQ(poly.rows, 2 + 4 + 4);
  CheckTriangulation(poly, rings);
  CheckCoverage2D(poly, square, 0);
  CheckCoverage2D(poly, cwL, 2);
  // Rows of ring 1 index vertices 5..10 only, those of ring 2 11..16.
  for (int t = 2; t < 6; ++t)
    for (int k = 0; k < 3; ++k) EXPECT_GE(poly.table[t][k], 5);
  for (int t = 6; t < 10; ++t)
    for (int k = 0; k < 3; ++k) EXPECT_GE(poly.table[t][k], 11);
}

TEST(Triangulate, TiltedLargeAndFarFromOrigin) {
  // The L-shape tilted out of every coordinate plane.
  Ring tilted;
  for (const Pt& p : kLShape) tilted.push_back({p[0] + 0.3 * p[1], 0.8 * p[1], 0.6 * p[1] + 0.2 * p[0]});
  // The L-shape at map coordinates, in metres.
  Ring map;
  for (const Pt& p : kLShape) map.push_back({512345.25 + 10 * p[0], 6712345.75 + 10 * p[1], -35.0});
  // A star of 2000 points.
  Ring star;
  for (int i = 0; i < 2000; ++i) {
    double r = (i % 2) ? 1.0 : 2.5;
    double a = -2 * M_PI * i / 2000;  // clockwise
    star.push_back({r * std::cos(a), r * std::sin(a), 0.0});
  }
  for (const Ring& ring : {tilted, map, star}) {
    std::vector<Ring> rings = {ring};
    Polygons poly(rings);
    ASSERT_EQ(0, poly.Run());
    CheckTriangulation(poly, rings);
  }
  Polygons mapPoly({map});
  ASSERT_EQ(0, mapPoly.Run());
  CheckCoverage2D(mapPoly, map, 0);
}

TEST(Triangulate, DegenerateInputIsRefusedUntouched) {
  const Ring two = {{0, 0, 0}, {1, 1, 0}};
  const Ring collinear = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
  const Ring backAndForth = {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}};
  const Ring coincident = {{5, 5, 5}, {5, 5, 5}, {5, 5, 5}};
  const Ring nan = {{0, 0, 0}, {1, 0, 0}, {0, std::nan(""), 0}};
  const Ring square = {{0, 0, 0}, {0, 2, 0}, {2, 2, 0}, {2, 0, 0}};  // clockwise
  for (const Ring& bad : {two, collinear, backAndForth, coincident, nan}) {
    // Alone, and after a good ring that must then stay as it was.
    for (bool withGood : {false, true}) {
      std::vector<Ring> rings;
      if (withGood) rings.push_back(square);
      rings.push_back(bad);
      Polygons poly(rings);
      EXPECT_EQ(-1, poly.Run()) << bad.size() << " " << withGood;
      for (int i = 0; i < poly.total; ++i) EXPECT_EQ(poly.vertices[i], poly.storage[i].get());
      for (int t = 0; t < std::max(poly.rows, 1); ++t) EXPECT_EQ(poly.table[t][0], -7);
    }
  }

  // Counts of 0 or below, no rings, null arguments, a null vertex pointer.
  Polygons square1({square});
  int zero = 0;
  int negative = -4;
  EXPECT_EQ(-1, triangulate_polygon(1, &zero, square1.vertices.get(), square1.table.get()));
  EXPECT_EQ(-1, triangulate_polygon(1, &negative, square1.vertices.get(), square1.table.get()));
  EXPECT_EQ(-1, triangulate_polygon(0, square1.counts.get(), square1.vertices.get(), square1.table.get()));
  EXPECT_EQ(-1, triangulate_polygon(1, nullptr, square1.vertices.get(), square1.table.get()));
  EXPECT_EQ(-1, triangulate_polygon(1, square1.counts.get(), nullptr, square1.table.get()));
  EXPECT_EQ(-1, triangulate_polygon(1, square1.counts.get(), square1.vertices.get(), nullptr));
  double* saved = square1.vertices[2];
  square1.vertices[2] = nullptr;
  EXPECT_EQ(-1, square1.Run());
  square1.vertices[2] = saved;
  EXPECT_EQ(0, square1.Run());
}
