// A ship node beside a terrain and a cable-sphere node in the running
// viewer: the main window started with -data in this process, seen from
// above (the ship's markers, a few ten-thousandths of the scene, through a
// magnifying camera), and the viewer executable opening the same files.

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <QImage>

#include <cmath>
#include <regex>
#include <string>

#include "../sd_dtm/DTMTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_CableSphParent.h"
#include "Sd_ShipParent.h"
#include "Sv_Colour.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// The ship's scene: x 500000 ... 501000, y 6000000 ... 6001000 (UTM
// metres), z -40 ... 0: an orange terrain rising from west to east, and a
// ship of the same box with a track point at the centre (its marker 0.4 m
// wide, 0.1 of the box above the terrain) and a sonobuoy at the surface
// 1 m east of it (0.75 m by 2 m).
constexpr double kX0 = 500000.0, kY0 = 6000000.0;

bool WriteShipBesideTerrain(const std::string& path) {
  auto dtm = dtm_test::MakeDTM(17, 17, dtm_test::RampCode);
  if (!dtm) return false;
  for (int r = 0; r < 17; ++r) {
    for (int c = 0; c < 17; ++c) dtm->GetColorGrid()[r][c] = PackColour(230, 130, 40, 255);
  }
  Sd_ShipParent ship;
  for (Sd_Node* node : {static_cast<Sd_Node*>(dtm.get()), static_cast<Sd_Node*>(&ship)}) {
    node->SetBounds(0, static_cast<float>(kX0), static_cast<float>(kX0 + 1000));
    node->SetBounds(1, static_cast<float>(kY0), static_cast<float>(kY0 + 1000));
    node->SetBounds(2, -40.0f, 0.0f);
  }
  const float value = 1.0f;
  const float xy[] = {static_cast<float>(kX0 + 500), static_cast<float>(kY0 + 500)};
  const float buoy[] = {static_cast<float>(kX0 + 501), static_cast<float>(kY0 + 500), 0.0f};
  ship.SetTrack(&value, xy, 1);
  ship.SetSonobuoys(buoy, 1);
  ship.SetShowTrack(1.0f);
  ship.SetShowSonobuoys(1);
  return dtm_test::WriteSD(path, {dtm.get(), &ship});
}

// A globe in a cube of 2000 units with a magenta cable at height 0 from
// latitude -40, longitude 200 to latitude 40, longitude 240.
bool WriteGlobe(const std::string& path) {
  Sd_CableSphParent globe;
  for (int a = 0; a < 3; ++a) globe.SetBounds(a, -1000.0f, 1000.0f);
  double cable[27];
  for (int i = 0; i < 9; ++i) {
    cable[3 * i] = -40.0 + 10.0 * i;
    cable[3 * i + 1] = 200.0 + 5.0 * i;
    cable[3 * i + 2] = 0.0;
  }
  globe.SetCableRadius(0.01f);
  globe.SetCableColour(1.0f, 0.0f, 1.0f);
  return globe.SetPoints(cable, 9) == 0 && dtm_test::WriteSD(path, {&globe});
}

// The test camera, magnified across the view by a factor (heights are not
// magnified, so nothing comes near the eye).
class Magnifier : public workarea_test::TestOverlay {
 public:
  explicit Magnifier(double factor) : m_factor(factor) { distance = 0.0; }
  void ApplyCamera() override {
    const double z = Zoom();
    glScaled(z * m_factor, z * m_factor, z);
  }

 private:
  double m_factor;
};

class ShipAndGlobeInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override { Sd_Node::SetCoordinateType(0); }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  // Starts the window with -data file, seen from above through the camera
  // magnified by factor, at vertical exaggeration 1; waits for the picture.
  bool Open(const std::string& file, double factor) {
    if (!StartWindow({"orvanta", "-data", QString::fromStdString(file)})) return false;
    Qk_GLWorkArea* area = window->m_workarea;
    area->InstallOverlay(new Magnifier(factor));
    area->SetInteractionMode(0);
    area->SetVertExag(1.0f);
    area->UpdateGL();
    return orvanta_mainwindow_test::WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); });
  }
};

TEST_F(ShipAndGlobeInTheWindow, ShipMarkersStandOverTheTerrain) {
  const std::string file = dir.file("ship.sd");
  ASSERT_TRUE(WriteShipBesideTerrain(file));
  ASSERT_TRUE(Open(file, 250.0));
  // 1000 m across the scene, magnified 250 times.
  const SeenFromAbove view = Picture(1000.0 / 250.0);
  ASSERT_GT(view.w, 100);
  // Metres east and north of the scene's centre.
  auto at = [&](double east, double north) { return view.Pixel(view.X(east), view.Y(north)); };
  auto near = [](QRgb c, int r, int g, int b) {
    return std::abs(qRed(c) - r) < 40 && std::abs(qGreen(c) - g) < 40 && std::abs(qBlue(c) - b) < 40;
  };
  // The track marker's faces: blue west, green north, red east, yellow south.
  EXPECT_TRUE(near(at(-0.1, 0.0), 0, 0, 204)) << "blue face";
  EXPECT_TRUE(near(at(0.0, 0.1), 0, 204, 0)) << "green face";
  EXPECT_TRUE(near(at(0.1, 0.0), 204, 0, 0)) << "red face";
  EXPECT_TRUE(near(at(0.0, -0.1), 204, 204, 0)) << "yellow face";
  // The sonobuoy marker, long from south to north.
  EXPECT_TRUE(near(at(1.0, 0.5), 0, 204, 0)) << "its green face";
  EXPECT_TRUE(near(at(1.0, -0.5), 204, 204, 0)) << "its yellow face";
  // The terrain between and around them.
  auto orange = [](QRgb c) { return qRed(c) > qBlue(c) + 60; };
  EXPECT_TRUE(orange(at(0.5, 0.0)));
  EXPECT_TRUE(orange(at(-1.0, 1.0)));
}

TEST_F(ShipAndGlobeInTheWindow, GlobeShowsItsRingsAxesAndCable) {
  const std::string file = dir.file("globe.sd");
  ASSERT_TRUE(WriteGlobe(file));
  ASSERT_TRUE(Open(file, 1.0));
  const SeenFromAbove view = Picture(2000.0);
  ASSERT_GT(view.w, 100);
  auto at = [&](double east, double north) { return view.Pixel(view.X(east), view.Y(north)); };
  auto grey = [](QRgb c) { return qRed(c) > 150 && std::abs(qRed(c) - qBlue(c)) < 12 && std::abs(qRed(c) - qGreen(c)) < 12; };
  // The axes reach beyond the globe: green along x, blue along y.
  EXPECT_TRUE(qGreen(at(1050, 0)) > 200 && qRed(at(1050, 0)) < 60) << "green axis";
  EXPECT_TRUE(qBlue(at(0, 1050)) > 200 && qRed(at(0, 1050)) < 60) << "blue axis";
  EXPECT_EQ(qRed(at(800, 800)) + qGreen(at(800, 800)), 0) << "outside the globe";
  // From the centre outwards at 30 degrees: the grey globe and the red
  // rings of the northern latitudes (seen from above, in perspective, the
  // globe's outline hides the equator).
  int globe = 0, red = 0;
  for (double d = 0.0; d < 1000.0; d += 1.0) {
    const QRgb c = at(d * std::cos(M_PI / 6), d * std::sin(M_PI / 6));
    globe += grey(c) && qRed(c) < 240;
    red += qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
  }
  EXPECT_GT(globe, 50);
  EXPECT_GT(red, 0);
  // The cable crosses longitude 230 at latitude 20 in the north, lit
  // magenta over the globe.
  int magenta = 0;
  for (double d = 0.0; d < 1100.0; d += 1.0) {
    const QRgb p = at(d * std::cos(230.0 * M_PI / 180), d * std::sin(230.0 * M_PI / 180));
    magenta += qRed(p) > 120 && qBlue(p) > 120 && qGreen(p) < 80;
  }
  EXPECT_GT(magenta, 0) << "the cable";
}

// The viewer executable reads the files given with -data: the caption names
// them and no error is shown.
TEST(ShipAndGlobeInTheViewer, DataFilesWithAShipAndAGlobeOpen) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteShipBesideTerrain(dir.file("ship.sd")));
  ASSERT_TRUE(WriteGlobe(dir.file("globe.sd")));
  for (const char* name : {"ship", "globe"}) {
    SCOPED_TRACE(name);
    const ViewerRun run = RunViewer({"-data", dir.file(std::string(name) + ".sd")}, dir.path(), true);
    ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
    EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex(std::string("Orvanta -- .*") + name + "\\.sd")))
        << run.Last("title");
    EXPECT_TRUE(run.Lines("box").empty()) << run.log;
  }
}

}  // namespace
