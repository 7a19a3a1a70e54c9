// Terrain analysis of the non-contiguous DTM over planes whose volumes and
// differences are known: the float grid and its codes, whole-grid and
// windowed volumes, derived models against a plane and against a second
// terrain, and the refusals of bad query windows.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <memory>
#include <vector>

#include "SonarTestSupport.h"
#include "Sd_Plane.h"
#include "Sd_PolygonWindow.h"
#include "Sd_SonarDTM.h"
#include "TestSupport.h"

namespace {

using dtm_test::Messages;

// rows x cols nodes 10 m apart from (0, 0), heights h(x, y) stored
// exactly: codes 1 ... 65535 over z -1000 ... 64534 make a code k the
// height k - 1001. Empty code 0.
std::unique_ptr<Sd_SonarDTM> Terrain(int rows, int cols, const std::function<double(double, double)>& h,
                                     double x0 = 0.0, double y0 = 0.0) {
  std::unique_ptr<Sd_SonarDTM> dtm(new Sd_SonarDTM());
  if (dtm->CreateGrids(rows, cols) != 0) return nullptr;
  dtm->SetEmptyCode(0);
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, static_cast<float>(x0), static_cast<float>(x0 + 10.0 * (cols - 1)));
  dtm->SetBounds(1, static_cast<float>(y0), static_cast<float>(y0 + 10.0 * (rows - 1)));
  dtm->SetBounds(2, -1000.0f, 64534.0f);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const double height = h(x0 + 10.0 * c, y0 + 10.0 * r);
      dtm->GetElevationGrid()[r][c] = static_cast<unsigned short>(std::lround(height + 1001.0));
      dtm->GetColorGrid()[r][c] = PackColour(90, 90, 90, 255);
    }
  }
  return dtm;
}

// The tilted plane of most cases: 10 ... 410 m over 200 x 100 m.
double Tilted(double x, double y) { return x + 2.0 * y + 10.0; }

void SetPolygon(Sd_SonarDTM* dtm, const std::vector<std::pair<float, float>>& v) {
  ASSERT_EQ(dtm->SetQueryPolygonSize(static_cast<int>(v.size())), 0);
  float *x = nullptr, *y = nullptr;
  dtm->GetQueryPolygon(&x, &y);
  for (size_t i = 0; i < v.size(); ++i) {
    x[i] = v[i].first;
    y[i] = v[i].second;
  }
}

TEST(SonarQuery, FloatGridAndCodesKeepValuesOffTheEmptyCodeAndWithinRange) {
  // Codes 0 ... 100 over z 0 ... 100, and 0 is also the empty code.
  Sd_SonarDTM dtm;
  ASSERT_EQ(dtm.CreateGrids(2, 3), 0);
  dtm.SetEmptyCode(0);
  dtm.SetCodeRange(0, 100);
  dtm.SetBounds(0, 0.0f, 20.0f);
  dtm.SetBounds(1, 0.0f, 10.0f);
  dtm.SetBounds(2, 0.0f, 100.0f);
  const unsigned short codes[2][3] = {{0, 40, 100}, {1, 2, 3}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) dtm.GetElevationGrid()[r][c] = codes[r][c];
  }
  ASSERT_EQ(dtm.MakeFloatGrid(), 0);
  ASSERT_EQ(dtm.MakeFloatGrid(), 0) << "a second grid replaces the first";
  float** h = dtm.GetFloatGrid();
  EXPECT_EQ(h[0][0], dtm.GetFloatNoValue());
  EXPECT_FLOAT_EQ(h[0][1], 40.0f);
  EXPECT_FLOAT_EQ(h[0][2], 100.0f);

  h[0][1] = 0.0f;    // zmin: code 0 would read as empty
  h[0][2] = 250.0f;  // above zmax: kept at the top code, not wrapped
  h[1][0] = 37.5f;
  ASSERT_EQ(dtm.QuantiseFloatGrid(), 0);
  ASSERT_EQ(dtm.ColourFromFloatGrid(), 0);
  unsigned short** k = dtm.GetElevationGrid();
  EXPECT_EQ(k[0][0], 0);
  EXPECT_EQ(k[0][1], 1);
  EXPECT_EQ(k[0][2], 100);
  EXPECT_EQ(k[1][0], 37);
  const unsigned grey = 95;  // trunc(37.5 x 255 / 100)
  const unsigned expected =
      dtm.IsColorMapLoaded() ? dtm.GetDefaultColorMap()[grey] : PackColour(grey, grey, grey, 255);
  EXPECT_EQ(dtm.GetColorGrid()[1][0], expected);
  EXPECT_EQ(dtm.GetColorGrid()[0][0], PackColour(0, 0, 0, 255)) << "an empty node is opaque black";
}

TEST(SonarQuery, WholeGridVolumesOverTiltedPlanesAreExact) {
  // The integral of the plane over 200 x 100 m: 20000 m² x 210 m.
  auto dtm = Terrain(11, 21, Tilted);
  float up = 0, down = 0, upArea = 0, downArea = 0;
  dtm->GetGridVolume(&up, &down, &upArea, &downArea);
  EXPECT_FLOAT_EQ(up, 4.2e6f);
  EXPECT_FLOAT_EQ(upArea, 20000.0f);
  EXPECT_EQ(down, 0.0f);
  EXPECT_EQ(downArea, 0.0f);

  // An empty node (height 210 m) adds 0 to its four cells' sums and takes
  // their areas away.
  dtm->GetElevationGrid()[5][10] = 0;
  dtm->MakeFloatGrid();
  dtm->GetGridVolume(&up, &down, &upArea, &downArea);
  EXPECT_FLOAT_EQ(up, 4.2e6f - 210.0f * 100.0f);
  EXPECT_FLOAT_EQ(upArea, 20000.0f - 400.0f);

  // By nodes, over a plane through 0 at x = 100 m: the nodes at 0 count
  // below.
  auto slope = Terrain(11, 21, [](double x, double) { return x - 100.0; });
  slope->GetNodeVolume(&up, &down, &upArea, &downArea);
  EXPECT_FLOAT_EQ(up, 11 * 550.0f * 100.0f);
  EXPECT_FLOAT_EQ(down, -11 * 550.0f * 100.0f);
  EXPECT_FLOAT_EQ(upArea, 11 * 10 * 100.0f);
  EXPECT_FLOAT_EQ(downArea, 11 * 11 * 100.0f);
}

TEST(SonarQuery, WindowedVolumesMatchTheCellsInsideAndTheIntegralOfATriangle) {
  // A rectangle on nodes (x 50 ... 150, y 20 ... 80) against a terrain of
  // just those cells.
  auto dtm = Terrain(11, 21, Tilted);
  {
    Messages messages;
    EXPECT_EQ(dtm->GetGridVolumeWithWindow(8), 0.0);
    EXPECT_TRUE(messages.Contains("Error in GetGridVolumeWithWindow.")) << messages.All();
  }
  SetPolygon(dtm.get(), {{50, 20}, {150, 20}, {150, 80}, {50, 80}});
  ASSERT_EQ(dtm->ApplyQueryWindow(), 1);
  EXPECT_EQ(dtm->GetElevationGrid()[5][4], 0) << "outside the window";
  EXPECT_NE(dtm->GetElevationGrid()[5][5], 0);
  auto cells = Terrain(7, 11, Tilted, 50.0, 20.0);
  float plain = 0;
  cells->GetGridVolume(&plain, nullptr, nullptr, nullptr);
  EXPECT_NEAR(dtm->GetGridVolumeWithWindow(8), plain, 1e-6 * plain);
  EXPECT_GE(dtm->GetCornerCount(15), 50);

  // A large triangle, and a concave polygon with a notch from the top
  // whose vertices lie on rows: the area times the height at the centroid.
  const std::vector<std::vector<std::pair<float, float>>> shapes = {
      {{15, 12}, {190, 25}, {80, 95}},
      {{10, 10}, {190, 10}, {190, 90}, {130, 90}, {100, 30}, {70, 90}, {10, 90}}};
  for (const auto& shape : shapes) {
    auto big = Terrain(11, 21, Tilted);
    SetPolygon(big.get(), shape);
    ASSERT_EQ(big->ApplyQueryWindow(), 1);
    double area = 0.0, cx = 0.0, cy = 0.0;
    for (size_t i = 0; i < shape.size(); ++i) {
      const auto& p = shape[i];
      const auto& q = shape[(i + 1) % shape.size()];
      const double cross = static_cast<double>(p.first) * q.second - static_cast<double>(q.first) * p.second;
      area += cross / 2.0;
      cx += (p.first + q.first) * cross;
      cy += (p.second + q.second) * cross;
    }
    const double exact = std::fabs(area) * Tilted(cx / (6.0 * area), cy / (6.0 * area));
    EXPECT_NEAR(big->GetGridVolumeWithWindow(8), exact, 0.01 * exact) << shape.size() << " vertices";
  }

  // A band along a diagonal through nodes leaves cells with only two
  // opposite corners inside: each is counted, logged and adds 0.
  auto band = Terrain(11, 21, Tilted);
  SetPolygon(band.get(), {{49, 20}, {51, 20}, {101, 70}, {99, 70}});
  ASSERT_EQ(band->ApplyQueryWindow(), 1);
  Messages messages;
  band->GetGridVolumeWithWindow(4);
  EXPECT_GE(band->GetCornerCount(9), 4);
  EXPECT_TRUE(messages.Contains("Case 9 found, exciting!"));
  std::vector<float> samples(16, 500.0f);
  EXPECT_EQ(band->GetPartialVolume(9, 3, 6, 4, 10.0, 10.0, samples.data()), 0.0);
}

// The windowed volume on workers, in uneven shares of rows, gives the total
// of one thread to the last bit, the same corner counts and the same
// messages in the same order.
TEST(SonarQuery, WindowedVolumeOnWorkersGivesTheTotalOfOneThread) {
  const std::vector<std::vector<std::pair<float, float>>> shapes = {
      {{12, 14}, {610, 31}, {590, 380}, {330, 150}, {60, 395}},
      {{49, 20}, {51, 20}, {301, 270}, {299, 270}}};
  for (const auto& shape : shapes) {
    double totals[2];
    std::string messages[2];
    int counts[2][16];
    for (int run = 0; run < 2; ++run) {
      auto dtm =
          Terrain(41, 63, [](double x, double y) { return 300.0 + 90.0 * std::sin(x / 70.0) * std::cos(y / 45.0); });
      for (int r = 3; r < 41; r += 7) dtm->GetElevationGrid()[r][(r * 5) % 63] = 0;  // empty nodes
      SetPolygon(dtm.get(), shape);
      ASSERT_EQ(dtm->ApplyQueryWindow(), 1);
      orvanta_test::WorkerLimit limit(run == 0 ? 1 : 3, 100);
      Messages captured;
      totals[run] = dtm->GetGridVolumeWithWindow(5);
      messages[run] = captured.All();
      for (int code = 0; code < 16; ++code) counts[run][code] = dtm->GetCornerCount(code);
    }
    if (&shape == &shapes[0]) {
      EXPECT_GT(totals[0], 0.0);
    } else {
      EXPECT_NE(messages[0].find("Case 9 found, exciting!"), std::string::npos);
    }
    EXPECT_EQ(std::memcmp(&totals[0], &totals[1], sizeof(double)), 0) << totals[0] << " " << totals[1];
    EXPECT_EQ(std::memcmp(counts[0], counts[1], sizeof counts[0]), 0);
    EXPECT_EQ(messages[0], messages[1]);
  }
}

TEST(SonarQuery, AWindowThatCannotBeBuiltChangesNothing) {
  auto dtm = Terrain(11, 21, Tilted);
  SetPolygon(dtm.get(), {{50, 20}, {250, 20}, {150, 80}});
  {
    Messages messages;
    EXPECT_EQ(dtm->ApplyQueryWindow(), 0);
    EXPECT_TRUE(messages.Contains("Query window outside DTM ")) << messages.All();
  }
  // A comb of 9 teeth, each around a column of nodes over rows 1 ... 9:
  // 81 runs, more than the 63 the run buffer holds.
  std::vector<std::pair<float, float>> comb = {{1, 1}, {199, 1}, {199, 9}};
  for (int k = 9; k >= 1; --k) {
    const float x = 20.0f * k;
    for (const auto& q : {std::make_pair(x + 1.0f, 9.0f), std::make_pair(x + 1.0f, 99.0f),
                          std::make_pair(x - 1.0f, 99.0f), std::make_pair(x - 1.0f, 9.0f)}) {
      comb.push_back(q);
    }
  }
  comb.push_back({1, 9});
  SetPolygon(dtm.get(), comb);
  const unsigned short before = dtm->GetElevationGrid()[0][0];
  EXPECT_EQ(dtm->ApplyQueryWindow(), 0);
  EXPECT_EQ(dtm->GetElevationGrid()[0][0], before);
  EXPECT_EQ(dtm->GetPolygonWindow(), nullptr);
}

TEST(SonarQuery, PlaneQueriesMeasureAgainstTheGeoHeight) {
  // Heights -100 ... 300 m against a plane at 50 m; node (0, 15) lies on it.
  auto dtm = Terrain(11, 21, [](double x, double y) { return x + 2.0 * y - 100.0; });
  Sd_Plane plane;
  plane.SetGeoHeight(50.0f);
  plane.SetUseGeoHeight(0);
  {
    Sd_SonarDTM derived;
    Messages messages;
    EXPECT_EQ(derived.QueryPlaneAbove(dtm.get(), &plane), 0);
    EXPECT_TRUE(messages.Contains("Please set the plane to use Geo-height before query!"));
    EXPECT_TRUE(messages.Contains("Error: Query failed."));
  }
  plane.SetUseGeoHeight(1);
  struct Case {
    int type;
    float zmin, zmax;
    float atNode0_0, atPlane;  // value at node (0, 0) (-100 m) and on the plane
    bool emptyBelow, emptyOnPlane, emptyAbove;
  };
  const Case cases[] = {{0, 0, 250, 150, 0, false, false, false},
                        {1, 10, 250, 0, 0, true, true, false},
                        {2, 10, 150, 150, 0, false, true, true},
                        {3, -150, 250, -150, 0, false, false, false},
                        {4, -250, 150, 150, 0, false, false, false}};
  for (const Case& k : cases) {
    Sd_SonarDTM d;
    int ok = 0;
    switch (k.type) {
      case 0: ok = d.QueryPlaneAbsolute(dtm.get(), &plane); break;
      case 1: ok = d.QueryPlaneAbove(dtm.get(), &plane); break;
      case 2: ok = d.QueryPlaneBelow(dtm.get(), &plane); break;
      case 3: ok = d.QueryPlaneDifference(dtm.get(), &plane); break;
      default: ok = d.QueryPlaneInverse(&plane, dtm.get()); break;
    }
    ASSERT_EQ(ok, 1) << "type " << k.type;
    ASSERT_EQ(d.GetRows(), 11);
    ASSERT_EQ(d.GetCols(), 21);
    EXPECT_EQ(d.GetQueryType(), k.type);
    EXPECT_FLOAT_EQ(d.GetBounds(2)[0], k.zmin) << "type " << k.type;
    EXPECT_FLOAT_EQ(d.GetBounds(2)[1], k.zmax) << "type " << k.type;
    EXPECT_EQ(d.IsEmpty(0, 0), k.emptyBelow) << "type " << k.type;
    EXPECT_EQ(d.IsEmpty(0, 15), k.emptyOnPlane) << "type " << k.type;
    EXPECT_EQ(d.IsEmpty(10, 20), k.emptyAbove) << "type " << k.type;
    if (!k.emptyBelow) {
      EXPECT_FLOAT_EQ(d.GetFloatGrid()[0][0], k.atNode0_0) << "type " << k.type;
    }
    if (!k.emptyOnPlane) {
      EXPECT_FLOAT_EQ(d.GetFloatGrid()[0][15], k.atPlane) << "type " << k.type;
    }
    // The codes hold the values over the derived z range.
    if (!k.emptyBelow) {
      const double z = d.CodeToHeight(d.GetElevationGrid()[0][0]);
      EXPECT_NEAR(z, k.atNode0_0, (k.zmax - k.zmin) / 1000.0) << "type " << k.type;
    }
  }
}

TEST(SonarQuery, DifferencesOfTwoTerrains) {
  auto a = Terrain(11, 21, Tilted);
  Sd_SonarDTM b;
  ASSERT_EQ(b.CopyFrom(a.get()), 0);
  {
    Sd_SonarDTM zero;
    ASSERT_EQ(zero.QueryDifference(a.get(), &b, 1), 1);
    for (int r = 0; r < 11; ++r) {
      for (int c = 0; c < 21; ++c) ASSERT_NEAR(zero.GetFloatGrid()[r][c], 0.0f, 1e-3f) << r << ", " << c;
    }
  }
  // Equal column spacing: A's grid, whichever is larger; a finer B wins.
  auto tall = Terrain(21, 21, [](double x, double y) { return Tilted(x, y) + 5.0; });
  Sd_SonarDTM below;
  ASSERT_EQ(below.QueryBelow(a.get(), tall.get(), 1), 1);
  EXPECT_EQ(below.GetRows(), 11);
  EXPECT_FLOAT_EQ(below.GetFloatGrid()[3][3], 5.0f) << "B lies 5 m above A";
  Sd_SonarDTM above;
  ASSERT_EQ(above.QueryAbove(tall.get(), a.get(), 1), 1);
  EXPECT_EQ(above.GetRows(), 21);
  EXPECT_FLOAT_EQ(above.GetFloatGrid()[3][3], 5.0f);

  // Inside a window: the grid of its extent.
  SetPolygon(a.get(), {{30, 20}, {120, 20}, {75, 70}});
  SetPolygon(tall.get(), {{30, 20}, {120, 20}, {75, 70}});
  Sd_SonarDTM window;
  ASSERT_EQ(window.QueryDifference(a.get(), tall.get(), 0), 1);
  EXPECT_EQ(window.GetRows(), 8 - 2 + 1);
  EXPECT_EQ(window.GetCols(), 13 - 3 + 1);
  EXPECT_FLOAT_EQ(window.GetBounds(0)[0], 30.0f);
  EXPECT_FLOAT_EQ(window.GetFloatGrid()[2][4], -5.0f);

  // A window reaching A's top border leaves no room for its extent; one
  // outside B is refused before that.
  SetPolygon(a.get(), {{30, 20}, {120, 20}, {75, 100}});
  SetPolygon(tall.get(), {{30, 20}, {120, 20}, {75, 100}});
  {
    Messages messages;
    Sd_SonarDTM d;
    EXPECT_EQ(d.QueryDifference(a.get(), tall.get(), 0), 0);
    EXPECT_TRUE(messages.Contains("Error in resample due to incorrect query window. Abort.")) << messages.All();
    EXPECT_TRUE(messages.Contains("Error: Query failed."));
  }
  SetPolygon(tall.get(), {{30, 20}, {120, 20}, {75, 250}});
  {
    Messages messages;
    Sd_SonarDTM d;
    EXPECT_EQ(d.QueryDifference(a.get(), tall.get(), 0), 0);
    EXPECT_TRUE(messages.Contains("Error: Query window is out of the range of at least one DTM. Resample failed."));
  }
}

}  // namespace
