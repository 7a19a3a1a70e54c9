// The coordinate readout in the main window: moving the pointer over a
// drawn scene of known geometry shows the geographic point in the window's
// status field; over the background and after leaving the view the field
// is empty. Readouts and picks read the picture on show, also while a best
// pass is drawn, hidden or in place.

#include <gtest/gtest.h>

#include <QLineEdit>

#include <algorithm>
#include <string>
#include <vector>

#include "../app/PickTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_GridDTM.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

namespace {

class WindowReadout : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    file = dir.file("tiles.sd");
    ASSERT_TRUE(workarea_test::WriteSD(file, {workarea_test::Tile(500250, 500750, 6000000, 6001000, -20, 0),
                                              workarea_test::Tile(500750, 501000, 6000000, 6001000, -40, 0)}));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  pick_test::PickTileClasses classes;
  std::string file;
};

TEST_F(WindowReadout, PointerPositionShowsInTheStatusField) {
  Qk_GLWorkArea* area = window->m_workarea;
  // A camera that looks straight down at the scene, which fills 60 % of the
  // view's width around its centre.
  ASSERT_TRUE(LoadSeenFromAbove(file));

  const int w = area->GetViewportWidth();
  const int h = area->GetViewportHeight();
  ASSERT_GT(w, 50);
  // Half a pixel right of the scene's centre line (500625 east: the scene
  // spans 500250 ... 501000).
  const double metresPerPixel = 750.0 / (0.6 * w);
  pick_test::Move(area, w / 2, h / 2);
  double x = 0, y = 0, z = 0;
  const std::string text = window->GeorefEdit->text().toStdString();
  ASSERT_TRUE(pick_test::ParseCoords(text, &x, &y, &z)) << text;
  EXPECT_NEAR(x, 500625.0 + (w / 2 + 0.5 - w / 2.0) * metresPerPixel, 1.5 * metresPerPixel);
  EXPECT_NEAR(y, 6000500.0 + (h / 2 + 0.5 - h / 2.0) * metresPerPixel, 1.5 * metresPerPixel);
  EXPECT_NEAR(z, -10.0, 0.5);  // the western tile, at the middle of its heights

  // The background left of the scene.
  pick_test::Move(area, 2, h / 2);
  EXPECT_EQ(window->GeorefEdit->text(), "");
  pick_test::Move(area, w / 2, h / 2);
  EXPECT_EQ(window->GeorefEdit->text().toStdString(), text);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(area, &leave);
  EXPECT_EQ(window->GeorefEdit->text(), "");
}

class PassReadout : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  // The readouts at a lattice of view pixels, as the pointer moves over them.
  std::vector<std::string> Readouts() {
    std::vector<std::string> texts;
    for (int k = 0; k < 63; ++k) {
      pick_test::Move(area, area->GetViewportWidth() * (k % 9 + 1) / 10, area->GetViewportHeight() * (k / 9 + 1) / 8);
      texts.push_back(window->GeorefEdit->text().toStdString());
    }
    return texts;
  }
  // The depth pick at the view's centre.
  std::vector<double> CentrePoint() {
    std::vector<double> p(3, 0.0);
    EXPECT_EQ(area->PickDepth(area->GetViewportWidth() / 2, area->GetViewportHeight() / 2, &p[0], &p[1], &p[2]), 1);
    return p;
  }
  Qk_GLWorkArea* area = nullptr;
};

TEST_F(PassReadout, ReadoutsAndPicksReadThePictureOnShowWhileAPassIsDrawn) {
  ASSERT_TRUE(StartWindow({"orvanta", "-data", ORVANTA_SAMPLE_SD}, QSize(1100, 800)));
  ASSERT_TRUE(Settle());
  area = window->m_workarea;
  // The finished picture of a pass drawn in place.
  const std::vector<std::string> finished = Readouts();
  const std::vector<double> finishedPoint = CentrePoint();
  ASSERT_GT(std::count_if(finished.begin(), finished.end(), [](const std::string& t) { return !t.empty(); }), 20);

  // Passes after a coarse frame at the lowest detail: drawn hidden over a
  // see-through terrain and in the back-buffer mode; drawn in place over an
  // opaque terrain, into the picture on show.
  const struct {
    int alpha, mode;
    bool hidden;
  } rows[] = {{128, Qk_GLStepWidget::BEST_TO_FRONT, true},
              {255, Qk_GLStepWidget::BEST_TO_BACK, true},
              {255, Qk_GLStepWidget::BEST_TO_FRONT, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE("alpha " + std::to_string(row.alpha) + ", draw-buffer mode " + std::to_string(row.mode));
    for (Sd_Node* node = area->GetRoot()->GetFirstChild(); node; node = node->GetNext()) {
      if (auto* terrain = dynamic_cast<Sd_GridDTM*>(node)) terrain->SetAlpha(row.alpha);
    }
    area->SetDrawBufferMode(row.mode);
    // The steps of one pass, then the coarse frame of the next.
    int steps = 0;
    for (int run = 0; run < 2; ++run) {
      area->SetDetailBudget(100.0f);
      area->UpdateGL();
      area->OnIdle();
      ASSERT_TRUE(area->IsRunning() && area->GetPass() == 1);
      for (; run == 0 && area->IsRunning(); ++steps) area->OnIdle();
    }
    ASSERT_GT(steps, 4);
    const std::vector<std::string> coarse = Readouts();
    const std::vector<double> coarsePoint = CentrePoint();
    EXPECT_NE(coarse, finished);
    // Half way through the pass the coarse frame is read, as it is on show.
    for (int i = 0; i < steps / 2; ++i) area->OnIdle();
    ASSERT_TRUE(area->IsRunning() && area->GetPass() == 1);
    EXPECT_EQ(area->DrawingHidden(), row.hidden);
    EXPECT_EQ(Readouts(), coarse);
    EXPECT_EQ(CentrePoint(), coarsePoint);
    EXPECT_TRUE(area->IsRunning() && area->GetPass() == 1) << "the pass goes on";
    // The finished picture, colour and depth, replaces it; the pass ends
    // after the steps it had left.
    int rest = 0;
    for (; area->IsRunning(); ++rest) area->OnIdle();
    EXPECT_EQ(rest, steps - steps / 2);
    EXPECT_EQ(Readouts(), finished);
    EXPECT_EQ(CentrePoint(), finishedPoint);
  }
}

}  // namespace
