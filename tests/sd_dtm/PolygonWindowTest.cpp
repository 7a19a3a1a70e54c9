// The polygon query window: the runs of a polygon over a node grid against a
// plain point-in-polygon test, the outline method against the crossings,
// and a window too folded for its run buffer.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Sd_PolygonWindow.h"
#include "Sv_Debug.h"

namespace {

// 51 rows x 41 columns over x 1000 ... 2000 (25 a column), y 5000 ... 6000
// (20 a row).
constexpr int kRows = 51, kCols = 41;
const float kBounds[6] = {1000.0f, 2000.0f, 5000.0f, 6000.0f, 0.0f, 100.0f};

struct Polygon {
  std::vector<float> x, y;
  // Vertices given in grid units (column, row).
  static Polygon InGrid(const std::vector<std::pair<double, double>>& v) {
    Polygon p;
    for (const auto& q : v) {
      p.x.push_back(static_cast<float>(1000.0 + 25.0 * q.first));
      p.y.push_back(static_cast<float>(5000.0 + 20.0 * q.second));
    }
    return p;
  }
  Sd_PolygonWindow Window() const {
    return Sd_PolygonWindow(static_cast<int>(x.size()), kRows, kCols, kBounds, x.data(), y.data());
  }
};

// Even-odd test of a grid point against the polygon (in grid units), and
// its distance from the outline.
bool Inside(const std::vector<std::pair<double, double>>& v, double c, double r) {
  bool in = false;
  for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
    const double xi = v[i].first, yi = v[i].second, xj = v[j].first, yj = v[j].second;
    if ((yi > r) != (yj > r) && c < (xj - xi) * (r - yi) / (yj - yi) + xi) in = !in;
  }
  return in;
}
double Distance(const std::vector<std::pair<double, double>>& v, double c, double r) {
  double best = 1e30;
  for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
    const double ax = v[j].first, ay = v[j].second, bx = v[i].first, by = v[i].second;
    const double lx = bx - ax, ly = by - ay;
    const double t = std::max(0.0, std::min(1.0, ((c - ax) * lx + (r - ay) * ly) / (lx * lx + ly * ly)));
    best = std::min(best, std::hypot(c - ax - t * lx, r - ay - t * ly));
  }
  return best;
}

const std::vector<std::pair<double, double>> kRectangle = {{3.3, 4.5}, {30.7, 4.5}, {30.7, 40.2}, {3.3, 40.2}};
const std::vector<std::pair<double, double>> kTriangle = {{2.2, 3.1}, {38.6, 12.4}, {15.5, 47.9}};
// Concave, with vertices on scan rows where the outline turns (rows 10, 30,
// 44, 25 and 20) and where it passes (row 27).
const std::vector<std::pair<double, double>> kConcave = {{5.0, 10.0},   {20.4, 30.0}, {35.0, 10.0},
                                                         {35.55, 27.0}, {36.1, 44.0}, {27.3, 25.0},
                                                         {20.0, 44.0},  {11.0, 20.0}, {4.2, 44.0}};

TEST(PolygonWindow, RunsMatchAPointInPolygonTestAwayFromTheOutline) {
  for (const auto* v : {&kRectangle, &kTriangle, &kConcave}) {
    const Polygon p = Polygon::InGrid(*v);
    Sd_PolygonWindow w = p.Window();
    ASSERT_EQ(w.ExtractRuns(), 0);
    EXPECT_EQ(static_cast<int>(w.Edges().size()), static_cast<int>(v->size())) << "the closing edge counts";
    int inside = 0;
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kCols; ++c) {
        if (Distance(*v, c, r) < 1e-6) continue;
        const bool expected = Inside(*v, c, r);
        inside += expected;
        ASSERT_EQ(w.IsInside(c, r), expected ? 1 : 0) << "node (" << r << ", " << c << ") of polygon " << v->size();
      }
    }
    EXPECT_GT(inside, 100);
  }
  // Rows without runs and rows off the grid answer 0.
  Sd_PolygonWindow w = Polygon::InGrid(kTriangle).Window();
  ASSERT_EQ(w.ExtractRuns(), 0);
  EXPECT_EQ(w.IsInside(10, 1), 0);
  EXPECT_EQ(w.IsInside(10, -3), 0);
  EXPECT_EQ(w.IsInside(10, kRows + 5), 0);
}

TEST(PolygonWindow, TheOutlineMethodAgreesWithTheCrossingsOnConvexPolygons) {
  const std::vector<std::pair<double, double>> hexagon = {{10.0, 5.0}, {30.0, 5.0}, {38.0, 25.0},
                                                          {30.0, 45.0}, {10.0, 45.0}, {2.0, 25.0}};
  for (const auto* v : {&hexagon, &kTriangle, &kRectangle}) {
    const Polygon p = Polygon::InGrid(*v);
    Sd_PolygonWindow crossings = p.Window();
    Sd_PolygonWindow outline = p.Window();
    ASSERT_EQ(crossings.ExtractRuns(), 0);
    ASSERT_EQ(outline.TraceOutline(), 0);
    ASSERT_EQ(outline.DoubleTurns(), 0);
    ASSERT_EQ(outline.BuildRunsFromOutline(), 0);
    EXPECT_GE(outline.GetTurnCount(), outline.GetOutlineCount());
    // The outline method works on vertices rounded down to nodes and takes
    // in every node it touches, so the two differ only along the outline.
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kCols; ++c) {
        if (Distance(*v, c, r) < 1.5) continue;
        ASSERT_EQ(outline.IsInside(c, r), crossings.IsInside(c, r)) << "node (" << r << ", " << c << ")";
      }
    }
  }
}

TEST(PolygonWindow, AWindowBeyondItsRunBufferFailsWithNoRuns) {
  // A comb of 30 teeth over 11 rows x 61 columns: about 270 runs, more than
  // the 183 the buffer holds.
  std::vector<float> x = {0.5f, 59.5f, 59.5f}, y = {0.5f, 0.5f, 1.5f};
  for (int k = 29; k >= 0; --k) {
    const float left = 2.0f * k + 0.8f, right = 2.0f * k + 1.2f;
    for (const auto& q : {std::make_pair(right, 1.5f), std::make_pair(right, 9.5f), std::make_pair(left, 9.5f),
                          std::make_pair(left, 1.5f)}) {
      x.push_back(q.first);
      y.push_back(q.second);
    }
  }
  x.push_back(0.5f);
  y.push_back(1.5f);
  const float bounds[6] = {0.0f, 60.0f, 0.0f, 10.0f, 0.0f, 1.0f};
  Sd_PolygonWindow w(static_cast<int>(x.size()), 11, 61, bounds, x.data(), y.data());
  ASSERT_EQ(w.GetRunCapacity(), 183);
  EXPECT_EQ(w.ExtractRuns(), -1);
  EXPECT_EQ(std::string(Sv_Debug::LastMessage()).find("Error: buffer Rlc overflows."), 0u) << Sv_Debug::LastMessage();
  EXPECT_EQ(w.GetRunCount(), 0);
  EXPECT_EQ(w.IsInside(1, 1), 0);
}

}  // namespace
