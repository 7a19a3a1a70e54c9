// Spherical terrain model on screen: the visible window of given views,
// colours where longitudes and latitudes project, the ring at the seam,
// progressive passes and screen picks.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <string>

#include "../sd_dtm/SphereTestSupport.h"
#include "DTMDrawSupport.h"
#include "DepthPicker.h"

using dtm_test::Budget;
using orvanta_test::GLPixel;
using orvanta_test::GLTest;
using orvanta_test::TempDir;
using sphere_test::MakeSphere;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The eye at distance d from the centre in the direction of (lon, lat),
// looking at the centre with the north pole up, fov degrees wide.
void LookFrom(double lon, double lat, double d, double fov = 40.0) {
  const double la = lat * kPi / 180.0, lo = lon * kPi / 180.0;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(fov, 1.0, 0.1, 20.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(d * std::cos(lo) * std::cos(la), d * std::sin(lo) * std::cos(la), d * std::sin(la), 0.0, 0.0, 0.0, 0.0,
            0.0, 1.0);
}

// Looking sideways past the globe: it lies wholly outside a side plane.
void LookPast() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(30.0, 1.0, 0.1, 10.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0.0, -3.0, 0.0, 10.0, -3.0, 0.0, 0.0, 0.0, 1.0);
}

// Window position of the point at (lon, lat) on the sphere of the given
// radius, through the current matrices.
bool Project(double lon, double lat, double radius, double* wx, double* wy) {
  const double la = lat * kPi / 180.0, lo = lon * kPi / 180.0;
  GLdouble mv[16], pr[16], wz;
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  return gluProject(radius * std::cos(lo) * std::cos(la), radius * std::sin(lo) * std::cos(la),
                    radius * std::sin(la), mv, pr, vp, wx, wy, &wz) == GL_TRUE;
}

GLPixel PixelAt(double lon, double lat, double radius) {
  double wx = -1, wy = -1;
  EXPECT_TRUE(Project(lon, lat, radius, &wx, &wy));
  return GLTest::ReadPixel(static_cast<int>(wx), static_cast<int>(wy));
}

bool Is(const GLPixel& p, int r, int g, int b) {
  return std::abs(p.r - r) < 8 && std::abs(p.g - g) < 8 && std::abs(p.b - b) < 8;
}

unsigned short Flat(int, int, int, int) { return 1; }

// A globe read back through the factory, drawn at stride 1.
struct Globe {
  TempDir dir;
  std::unique_ptr<dtm_test::ReadResult> in;
  Sd_SphereDTM* dtm = nullptr;
  explicit Globe(std::unique_ptr<Sd_SphereDTM> made) {
    in = sphere_test::Reload(made.get(), dir.file("globe.sd"));
    dtm = in ? in->Terrain<Sd_SphereDTM>(0) : nullptr;
    if (dtm) dtm->ResetSettings();
  }
};

}  // namespace

// The visible window of views handed in: nothing when the globe lies
// outside a side plane, the whole grid when the view volume's centre is
// inside the globe, a window around the longitudes in view otherwise, and
// the whole width when a window across the seam leaves a gap of less than
// four strides.
TEST_F(GLTest, VisibleWindowOfGivenViews) {
  Budget budget(0.0f);
  // Columns and rows every 5 degrees.
  Globe g(MakeSphere(37, 73, -180.0f, 180.0f, -90.0f, 90.0f));
  ASSERT_NE(g.dtm, nullptr);
  Sd_SphereDTM& dtm = *g.dtm;
  dtm.SetAutoLOD(0);
  dtm.SetLODStep(2);
  int c0, c1, r0, r1;

  LookPast();
  EXPECT_EQ(dtm.ComputeVisibleWindow(Sd_DTMView::FromGL()), 0);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  ASSERT_EQ(dtm.ComputeVisibleWindow(Sd_DTMView::FromGL()), 1);
  dtm.GetWindow(&c0, &c1, &r0, &r1);
  EXPECT_TRUE(c0 == 0 && c1 == 73 && r0 == 0 && r1 == 37) << c0 << " " << c1 << " " << r0 << " " << r1;

  // Half a radius above longitude 20 on the equator, 30 degrees wide: about
  // 18 degrees of longitude and latitude each way (columns 36 ... 44, rows
  // 14 ... 22), with a margin of one or two strides.
  LookFrom(20.0, 0.0, 1.0, 30.0);
  ASSERT_EQ(dtm.ComputeVisibleWindow(Sd_DTMView::FromGL()), 1);
  dtm.GetWindow(&c0, &c1, &r0, &r1);
  EXPECT_TRUE(c0 >= 30 && c0 <= 36) << c0;
  EXPECT_TRUE(c1 >= 45 && c1 <= 51) << c1;
  EXPECT_TRUE(r0 >= 8 && r0 <= 14) << r0;
  EXPECT_TRUE(r1 >= 23 && r1 <= 29) << r1;
  EXPECT_EQ(dtm.GetUpRow(), 18) << "the equator's row, under the view centre";

  // Over longitude 180, 40 degrees wide: longitudes 150 ... 210 run across
  // the seam (columns 66 ... 72, then 0 ... 6), leaving a gap of about 60
  // columns: kept at stride 2, the whole width at stride 16.
  LookFrom(180.0, 0.0, 1.0, 40.0);
  ASSERT_EQ(dtm.ComputeVisibleWindow(Sd_DTMView::FromGL()), 1);
  dtm.GetWindow(&c0, &c1, &r0, &r1);
  EXPECT_GT(c0, c1) << "across the seam";
  EXPECT_TRUE(c0 >= 60 && c0 <= 66 && c1 >= 7 && c1 <= 13) << c0 << " " << c1;
  dtm.SetLODStep(16);
  ASSERT_EQ(dtm.ComputeVisibleWindow(Sd_DTMView::FromGL()), 1);
  dtm.GetWindow(&c0, &c1, &r0, &r1);
  EXPECT_EQ(c0, 0);
  EXPECT_EQ(c1, 73);
}

// A whole globe coloured by quadrant shows each quadrant's colour where its
// longitudes and latitudes project, from two sides; the far side is culled
// and the background stays around the globe.
TEST_F(GLTest, QuadrantGlobeShowsItsColoursWhereTheyProject) {
  Budget budget(0.0f);
  Globe g(MakeSphere(37, 73, -180.0f, 180.0f, -90.0f, 90.0f, Flat, sphere_test::Quadrant));
  ASSERT_NE(g.dtm, nullptr);
  const double r = g.dtm->GetBaseRadius();
  for (double side : {90.0, 180.0}) {
    SCOPED_TRACE(side);
    Clear();
    LookFrom(side, 20.0, 2.5);
    g.dtm->Render();
    const double probes[][2] = {{side - 40.0, 35.0}, {side - 40.0, -25.0}, {side + 40.0, 35.0},
                                {side + 40.0, -25.0}, {side - 10.0, 60.0}};
    for (const auto& p : probes) {
      SCOPED_TRACE(testing::Message() << p[0] << " " << p[1]);
      const unsigned c = sphere_test::Quadrant(p[0] > 180.0 ? p[0] - 360.0 : p[0], p[1]);
      EXPECT_TRUE(Is(PixelAt(p[0], p[1], r), ColourRed(c), ColourGreen(c), ColourBlue(c)));
    }
    EXPECT_TRUE(Is(ReadPixel(2, 2), 0, 0, 0)) << "background around the globe";

    // The graticule just above the surface: the equator white, northern
    // parallels yellow east of longitude 80.
    g.dtm->SetShowGraticule(1);
    g.dtm->Render();
    g.dtm->SetShowGraticule(0);
    EXPECT_TRUE(Is(PixelAt(side, 0.0, 0.51), 255, 255, 255)) << "equator";
    EXPECT_TRUE(Is(PixelAt(side + 5.0, 40.0, 0.51), 255, 255, 0)) << "parallel 40 north";
  }
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

// Seen over the seam, a grid of 359.5 degrees closes its ring there, while
// a regional grid of 340 degrees leaves the 20 degrees it does not cover
// open.
TEST_F(GLTest, FullCircleClosesItsRingAtTheSeamAndARegionalGridDoesNot) {
  Budget budget(0.0f);
  struct Case {
    float lon1;
    bool closed;
  };
  for (const Case& k : {Case{359.5f, true}, Case{340.0f, false}}) {
    SCOPED_TRACE(k.lon1);
    Globe g(MakeSphere(19, 73, 0.0f, k.lon1, -60.0f, 60.0f));
    ASSERT_NE(g.dtm, nullptr);
    EXPECT_EQ(g.dtm->GetWrapsAround(), k.closed ? 1 : 0);
    // The whole globe in view, and a close view whose window runs across
    // the seam.
    for (double distance : {2.0, 1.0}) {
      SCOPED_TRACE(distance);
      Clear();
      LookFrom(355.0, 0.0, distance);
      g.dtm->Render();
      const double r = g.dtm->GetBaseRadius();
      EXPECT_TRUE(Is(PixelAt(335.0, 0.0, r), 200, 200, 200)) << "covered by both";
      EXPECT_TRUE(Is(PixelAt(10.0, 10.0, r), 200, 200, 200)) << "east of the seam";
      EXPECT_EQ(Is(PixelAt(k.closed ? 359.75 : 350.0, 0.0, r), 200, 200, 200), k.closed) << "at the seam";
    }
  }
}

// A progressive pass over a globe outside the view ends on its second call;
// a pass run to its end draws what Render draws; passes abandoned after one
// or more steps leave the stacks balanced.
TEST_F(GLTest, ProgressivePassesFinishOrAreAbandonedWithTheStacksBalanced) {
  Budget budget(0.0f);
  Globe g(MakeSphere(37, 73, -180.0f, 180.0f, -90.0f, 90.0f, sphere_test::Slope, sphere_test::Quadrant));
  ASSERT_NE(g.dtm, nullptr);
  Sd_SphereDTM& dtm = *g.dtm;

  LookPast();
  EXPECT_EQ(dtm.StepRender(), 0);
  EXPECT_EQ(dtm.StepRender(), 1) << "nothing in view";
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(CountInk(), 0);

  LookFrom(30.0, 30.0, 1.3);
  dtm.SetShowGraticule(1);
  dtm.Render();
  const auto whole = dtm_test::Picture();
  Clear();
  const int calls = dtm_test::FinishPass(dtm);
  EXPECT_GT(calls, 3);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_TRUE(dtm_test::Picture() == whole) << "the pass drew other pixels than Render";
  EXPECT_GT(CountInk(), 20000);

  for (int steps : {1, 2}) {
    SCOPED_TRACE(steps);
    for (int i = 0; i < steps; ++i) EXPECT_EQ(dtm.StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass keeps its matrix between calls";
    dtm.Invalidate();
    EXPECT_EQ(dtm.StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 1);
    EXPECT_EQ(dtm.GetPushCount(), 0);
    EXPECT_EQ(dtm.GetStepState(), 0);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  }
}

// A pick at a known longitude and latitude returns them and the bilinear
// height there; a hit test only writes nothing; the background misses.
TEST_F(GLTest, PickAtAKnownPlaceReturnsItAndItsHeight) {
  Budget budget(0.0f);
  // Columns every 10 degrees from -180, rows every 10 degrees from -80.
  Globe g(MakeSphere(17, 37, -180.0f, 180.0f, -80.0f, 80.0f, sphere_test::Slope));
  ASSERT_NE(g.dtm, nullptr);
  Sd_SphereDTM& dtm = *g.dtm;
  dtm.SetExaggeration(100.0f);
  LookFrom(-60.0, 20.0, 1.5);
  dtm.Render();

  auto height = [](double lon, double lat) {
    const double code =
        1000.0 + sphere_test::kSlopeColumn * (lon + 180.0) / 10.0 + sphere_test::kSlopeRow * (lat + 80.0) / 10.0;
    return code / 65535.0 * sphere_test::kZMax;
  };
  const double lon = -63.0, lat = 14.0;
  const double radius = dtm.GetBaseRadius() + height(lon, lat) / sphere_test::kZMax * 65535.0 * dtm.GetHeightScale();
  double wx, wy;
  ASSERT_TRUE(Project(lon, lat, radius, &wx, &wy));
  DepthPicker picker(kWidth, kHeight);
  SDN_PickIn in = {&picker, static_cast<int>(wx), static_cast<int>(wy), 0, 0};
  SDN_PickOut out = dtm_test::NoPick();
  ASSERT_EQ(dtm.QueryPoint(&in, &out), 1);
  EXPECT_NEAR(out.x, lon, 0.5);
  EXPECT_NEAR(out.y, lat, 0.5);
  EXPECT_NEAR(out.z, height(out.x, out.y), 0.01) << "bilinear at the picked point";
  EXPECT_EQ(out.node, &dtm);
  EXPECT_EQ(out.colour, PackColour(200, 200, 200, 255));
  EXPECT_EQ(ModelViewStackDepth(), 1);

  SDN_PickOut untouched = dtm_test::NoPick();
  in.mode = 1;
  EXPECT_EQ(dtm.QueryPoint(&in, &untouched), 1);
  EXPECT_EQ(untouched.found, 0);
  in = {&picker, 2, 2, 0, 0};
  EXPECT_EQ(dtm.QueryPoint(&in, &untouched), 0);
}
