// What a new user meets first in the viewer's window, started on the build's
// sample scene: the first start's window with the whole heading dial in view
// (a stored geometry ruling later starts), navigation that comes to rest
// when the buttons come up, failed loads that keep the scene on screen, and
// split-screen stereo that shows the whole scene in each half, for the sample
// and for large terrains.

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "../sd_dtm/DTMTestSupport.h"
#include "../sd_survey/SoundingPickSupport.h"
#include "../sd_survey/SoundingTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Qk_NavDial.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_Cube.h"
#include "Sd_DTMClasses.h"
#include "Sd_GridDTM.h"
#include "Sd_Node.h"
#include "Sd_SurveyClasses.h"
#include "Sv_Colour.h"
#include "Sv_Matrix4.h"
#include "TDR_Manager.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::DesktopRecorder;
using orvanta_mainwindow_test::WaitFor;

namespace {

class FirstView : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  bool Start(const QSize& size, bool asProgram, const char* file = ORVANTA_SAMPLE_SD) {
    if (!StartWindow({"orvanta", "-data", file}, size, asProgram)) return false;
    area = window->m_workarea;
    nav = dynamic_cast<Qk_NavigatorOverlay*>(area->GetOverlay());
    return nav && Settle();
  }

  QImage Grab() { return window->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QRect View(const QImage& grab) const {
    return QRect(area->mapTo(window, QPoint(0, 0)) * grab.devicePixelRatio(), area->size() * grab.devicePixelRatio());
  }

  // A work-area pixel (device pixels from the bottom left) near the dial
  // point where the navigator's pick finds the ring of the heading dial.
  bool FindHeadingRing(double x, double y, double z, int* px, int* py) {
    double wx, wy;
    if (!orvanta_apptest::ProjectDialPoint(area, nav, x, y, z, true, &wx, &wy)) return false;
    for (int r = 0; r <= 6; ++r) {
      for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
          double p[3];
          const int cx = static_cast<int>(wx) + dx, cy = static_cast<int>(wy) + dy;
          if (nav->PickWidget(cx, cy, &p[0], &p[1], &p[2]) &&
              nav->GetHeadingDial()->DialHitTest(p[0], p[1], p[2]) == Qk_NavDial::PART_RING) {
            *px = cx;
            *py = cy;
            return true;
          }
        }
      }
    }
    return false;
  }

  // Qt mouse input at a work-area pixel (device pixels from the bottom left).
  void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, int x, int y) {
    const double ratio = area->devicePixelRatioF();
    const QPointF at(x / ratio, (area->GetHeight() - 1 - y) / ratio);
    QMouseEvent event(type, at, area->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(area, &event);
  }

  // Whether the camera is the given one.
  bool CameraIs(const Sv_Matrix4& camera) {
    const Sv_Matrix4 now = nav->GetViewMatrix();
    return std::equal(now.GetData(), now.GetData() + 16, camera.GetData());
  }
  // The camera after n idle steps, compared with the one before.
  bool ViewStaysAfterIdleSteps(int n) {
    const Sv_Matrix4 before = nav->GetViewMatrix();
    for (int i = 0; i < n; ++i) area->OnIdle();
    return CameraIs(before);
  }

  // Writes an options file of the current layout: geometry (40, 30)
  // 800 x 600, no directory; returns its bytes.
  std::string WriteOptions(int32_t maximized, int32_t stereo) {
    const int32_t words[] = {0x5B3C2A8F, 1, 40, 30, 800, 600, maximized, 0, stereo};
    const std::string stored(reinterpret_cast<const char*>(words), sizeof(words));
    EXPECT_TRUE(orvanta_test::WriteFileBytes(dir.file("pc_orvantaOptions"), stored));
    return stored;
  }

  // The finished picture after a drag and Reset Camera, whose coarse frame
  // is drawn at the lowest detail, is the one shown now.
  void FinishedPictureDoesNotDependOnTheFrameBefore();
  // A redraw's passes run step by step: every frame shown while the best
  // pass runs holds at least the scene pixels of the coarse frame.
  void NoFrameOfThePassShowsLessThanTheCoarseFrame();
  // The finished picture is the one a best pass drawn over nothing (in the
  // back-buffer mode) shows.
  void FinishedPictureIsDrawnAfresh();

  Qk_GLWorkArea* area = nullptr;
  Qk_NavigatorOverlay* nav = nullptr;
};

int DifferentPixels(const QImage& a, const QImage& b, const QRect& r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) ++n;
    }
  }
  return n;
}

TEST_F(FirstView, TheFirstStartFillsTheScreenAndShowsTheWholeHeadingDial) {
  ASSERT_TRUE(Start(QSize(), true));
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(window->isMaximized());
  EXPECT_TRUE(WaitFor([&] { return window->frameGeometry() == available; }))
      << window->frameGeometry().width() << " x " << window->frameGeometry().height();
  ASSERT_TRUE(Settle());

  const QImage with = Grab();
  nav->SetShown(0);
  area->UpdateGL();
  ASSERT_TRUE(Settle());
  const QImage without = Grab();
  nav->SetShown(1);

  // The ring all round (its far side is the dial's highest point on
  // screen) and the exaggeration cone on the shaft lie inside the view,
  // and the dial is drawn there.
  const double kPi = 3.14159265358979323846;
  for (int k = 0; k < 12; ++k) {
    const double a = k * kPi / 6.0;
    SCOPED_TRACE("ring at " + std::to_string(k * 30) + " degrees");
    QPoint at;
    ASSERT_TRUE(DialPointInGrab(nav, 0.2 * std::cos(a), 0.2 * std::sin(a), 1.042, true, &at, 2));
    ASSERT_TRUE(DialPointInGrab(nav, 0.2 * std::cos(a), 0.2 * std::sin(a), 0.998, true, &at, 2));
    EXPECT_GT(DifferentPixels(with, without, QRect(at - QPoint(3, 3), QSize(7, 7))), 0);
  }
  QPoint cone;
  ASSERT_TRUE(DialPointInGrab(nav, 0.0, 0.0, 0.95, true, &cone, 2));
  EXPECT_GT(DifferentPixels(with, without, QRect(cone - QPoint(2, 2), QSize(5, 5))), 0);
}

TEST_F(FirstView, AStoredGeometryRulesLaterStarts) {
  WriteOptions(0, 0);
  ASSERT_TRUE(Start(QSize(), true));
  EXPECT_FALSE(window->isMaximized());
  EXPECT_TRUE(WaitFor([&] { return window->geometry() == QRect(40, 30, 800, 600); }))
      << window->geometry().x() << ", " << window->geometry().y() << " " << window->geometry().width() << " x "
      << window->geometry().height();
}

TEST_F(FirstView, AWindowClosedMaximizedOpensMaximizedAgain) {
  // Stored maximized with its normal rectangle (40, 30) 800 x 600. The test
  // display runs no window manager: the window maximizes itself.
  const std::string stored = WriteOptions(1, 0);
  ASSERT_TRUE(Start(QSize(), true));
  EXPECT_TRUE(window->isMaximized());
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(WaitFor([&] { return window->frameGeometry() == available; }))
      << window->frameGeometry().width() << " x " << window->frameGeometry().height();
  EXPECT_EQ(window->normalGeometry(), QRect(40, 30, 800, 600));
  // Saved again, the file is what it was: maximized, the same rectangle.
  window->SaveConfigurationFile();
  EXPECT_EQ(orvanta_test::ReadFileBytes(dir.file("pc_orvantaOptions")), stored);
}

TEST_F(FirstView, ButtonsReleasedInEitherOrderLeaveTheViewAtRest) {
  // Tall enough for the whole heading dial.
  ASSERT_TRUE(Start(QSize(1100, 1000), false));
  nav->SetFixedFrameTime(0.02);
  int ringX = 0, ringY = 0;
  ASSERT_TRUE(FindHeadingRing(0.0, -0.21, 1.02, &ringX, &ringY));

  // A left press (on the heading dial's ring, or on the scene) and a right
  // press, the buttons coming up in either order.
  const QPoint places[] = {QPoint(ringX, ringY), QPoint(60, 60)};
  for (const QPoint& p : places) {
    for (bool leftFirst : {true, false}) {
      SCOPED_TRACE(std::string(p.x() == ringX ? "on the ring, " : "on the scene, ") +
                   (leftFirst ? "left up first" : "right up first"));
      Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, p.x(), p.y());
      Mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::LeftButton | Qt::RightButton, p.x(), p.y());
      const Qt::MouseButton first = leftFirst ? Qt::LeftButton : Qt::RightButton;
      const Qt::MouseButton second = leftFirst ? Qt::RightButton : Qt::LeftButton;
      Mouse(QEvent::MouseButtonRelease, first, second, p.x(), p.y());
      Mouse(QEvent::MouseButtonRelease, second, Qt::NoButton, p.x(), p.y());
      EXPECT_EQ(area->GetExploreCount(), 0);
      EXPECT_TRUE(ViewStaysAfterIdleSteps(20));
      EXPECT_EQ(area->GetExploreCount(), 0);
    }
  }

  // A left drag locked to the heading, thrown by the right button: the
  // dial spins on after both buttons are up, until Reset Camera.
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 60, 60);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 72, 61);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 172, 61);
  area->OnIdle();
  Mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::LeftButton | Qt::RightButton, 172, 61);
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::RightButton, 172, 61);
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, 172, 61);
  EXPECT_EQ(nav->GetHeadingDial()->GetSpinning(), 1);
  EXPECT_FALSE(ViewStaysAfterIdleSteps(5));
  window->CameraResetCameraAction->trigger();
  EXPECT_EQ(nav->GetHeadingDial()->GetSpinning(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  EXPECT_DOUBLE_EQ(nav->GetHeading(), 0.0);
  EXPECT_TRUE(ViewStaysAfterIdleSteps(20));
  EXPECT_DOUBLE_EQ(nav->GetHeading(), 0.0);
  EXPECT_TRUE(Settle());
}

// Pixels of a framebuffer grab in the drill holes' colours: the red of the
// low classes and the blue of the highest.
int HolePixels(const QImage& picture) {
  int n = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb c = picture.pixel(x, y);
      n += qGreen(c) < 60 && std::min(qRed(c), qBlue(c)) < 60 && std::max(qRed(c), qBlue(c)) > 200;
    }
  }
  return n;
}

// An opaque orange cube standing in the sample's survey area.
bool WriteCubeFile(const std::string& path) {
  Sd_Cube cube;
  cube.SetColour(PackColour(255, 140, 0, 255));
  cube.SetBounds(0, 504000.0f, 508000.0f);
  cube.SetBounds(1, 4928000.0f, 4932000.0f);
  cube.SetBounds(2, -180.0f, 0.0f);
  TDR_Manager m;
  return cube.GetAlpha() == 255 && m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 &&
         cube.SaveObject(&m, 1, 0) == 0 && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
}

// Soundings on a tilted plane, opaque but for one empty cell, which is
// see-through and lies off the lattice of a drawing at stride 2; no base
// plate under them.
bool WriteSoundingFile(const std::string& path) {
  const auto s = sounding_pick::Grid<Sd_HTFSounding>(
      24, 32, [](int row, int col) { return row == 9 && col == 13 ? NAN : sounding_pick::Tilted(row, col); });
  sounding_test::Stored attributes(1);
  for (int i = 0; i < 3; ++i) attributes.Put<int>(s->GetFilter(i));
  attributes.Put<int>(s->GetSurfaceMode()).Put<float>(s->GetGridLineZ()).Put<int>(255).Put<int>(s->GetColorMode());
  // Grid lines, surface, cell soundings, base, the last switch; no map name.
  for (int v : {0, 1, 0, 0, s->GetLastSwitch(), 0}) attributes.Put<int>(v);
  dtm_test::SDWriter w(path);
  return s->WriteDataRecord(w.Manager(), 2) == 0 && w.Raw(TDR_TAG_SD_HTFSOUNDING_ATB, attributes.str()).Close();
}

TEST_F(FirstView, TheFinishedPictureOfACameraDoesNotDependOnTheFrameBefore) {
  // The sample's terrain has empty bands and a hole, where the best pass
  // draws nothing over the coarse frame; see-through, it blends with what
  // lies under it. Drill holes are lines in the coarse frame and tubes,
  // here thinner than a pixel, in the best pass. An opaque cube draws with
  // blending on and blends nothing.
  // Soundings drawn progressively, every second row and column in the
  // coarse frame, leave their see-through cell out of it.
  const std::string holes = dir.file("holes.sd"), cube = dir.file("cube.sd"), soundings = dir.file("soundings.sd");
  ASSERT_TRUE(orvanta_mainwindow_test::WriteGridAndHolesFile(holes));
  ASSERT_TRUE(WriteCubeFile(cube));
  ASSERT_EQ(Sd_RegisterSurveyClasses(), 0);
  ASSERT_TRUE(WriteSoundingFile(soundings));
  ASSERT_TRUE(orvanta_test::WriteFileBytes(dir.file("HTFSoundingClass"),
                                           "# sounding class\n3\n# shading\n0\n0\n1\n2\n# colour maps\n0 0\n0\n"
                                           "0.00075\n# switches\n0\n0\n0\n0\n# ranges\n"));
  orvanta_test::ScopedEnv config("WRUCONFIGURATIONS", dir.path().c_str());
  const struct {
    const char* file;
    int alpha;
    bool cube;
  } cases[] = {{ORVANTA_SAMPLE_SD, 255, false},
               {ORVANTA_SAMPLE_SD, 128, false},
               {holes.c_str(), 255, false},
               {ORVANTA_SAMPLE_SD, 255, true},
               {soundings.c_str(), 255, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " alpha " + std::to_string(c.alpha) + (c.cube ? " with a cube" : ""));
    ASSERT_TRUE(Start(QSize(1100, 800), false, c.file));
    if (c.cube) {
      ASSERT_EQ(area->LoadSD(cube.c_str(), 0, 0, 0), 0);
    }
    ASSERT_EQ(area->GetDrawBufferMode(), Qk_GLStepWidget::BEST_TO_FRONT);
    int terrains = 0;
    for (Sd_Node* node = area->GetRoot()->GetFirstChild(); node; node = node->GetNext()) {
      if (auto* terrain = dynamic_cast<Sd_GridDTM*>(node)) {
        terrain->SetAlpha(c.alpha);
        ++terrains;
      }
    }
    EXPECT_TRUE(c.alpha == 255 || terrains > 0);
    // Every pixel of the holes' lines in a coarse frame is one of theirs in
    // the finished picture.
    area->DrawScene();
    const int coarse = HolePixels(area->grabFramebuffer());
    area->UpdateGL();
    ASSERT_TRUE(Settle());
    EXPECT_GE(HolePixels(area->grabFramebuffer()), coarse);
    NoFrameOfThePassShowsLessThanTheCoarseFrame();
    FinishedPictureIsDrawnAfresh();
    FinishedPictureDoesNotDependOnTheFrameBefore();
    TearDown();
  }
}

void FirstView::NoFrameOfThePassShowsLessThanTheCoarseFrame() {
  area->MakeCurrent();
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  const QRgb background = qRgb(qRound(clear[0] * 255), qRound(clear[1] * 255), qRound(clear[2] * 255));
  const auto scenePixels = [&] {
    const QImage shown = area->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < shown.height(); ++y) {
      const QRgb* row = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
      for (int x = 0; x < shown.width(); ++x) n += row[x] != background;
    }
    return n;
  };
  area->UpdateGL();
  area->OnIdle();
  ASSERT_TRUE(area->IsRunning() && area->GetPass() == 1) << "the coarse frame is shown";
  const int coarse = scenePixels();
  int least = coarse, frames = 0;
  while (area->IsRunning()) {
    area->OnIdle();
    if (area->IsRunning()) {
      least = std::min(least, scenePixels());
      ++frames;
    }
  }
  EXPECT_GT(frames, 0);
  EXPECT_GE(least, coarse) << "of " << frames << " frames shown during the pass";
}

void FirstView::FinishedPictureIsDrawnAfresh() {
  area->UpdateGL();
  ASSERT_TRUE(Settle());
  const QImage refined = area->grabFramebuffer();
  area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_BACK);
  area->UpdateGL();
  ASSERT_TRUE(Settle());
  const QImage fresh = area->grabFramebuffer();
  area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_FRONT);
  EXPECT_EQ(DifferentPixels(refined, fresh, fresh.rect()), 0);
}

void FirstView::FinishedPictureDoesNotDependOnTheFrameBefore() {
  const QImage atStart = Grab();
  const Sv_Matrix4 camera = nav->GetViewMatrix();
  // A small drag adapts the detail budget to the machine's speed; at the
  // lowest budget the reset's coarse frame is certainly unlike the first.
  nav->SetFixedFrameTime(0.02);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 200, 200);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 212, 201);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 240, 201);
  area->OnIdle();
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 240, 201);
  EXPECT_FALSE(CameraIs(camera));
  area->SetDetailBudget(100.0f);
  window->CameraResetCameraAction->trigger();
  ASSERT_TRUE(Settle());
  ASSERT_TRUE(CameraIs(camera));
  EXPECT_EQ(DifferentPixels(atStart, Grab(), View(atStart)), 0);
}

TEST_F(FirstView, FailedLoadsKeepTheSceneOnScreen) {
  ASSERT_TRUE(Start(QSize(640, 480), false));
  // Best passes alone are compared: the coarse frame's level of detail
  // follows the measured frame time, which depends on how busy the
  // machine is.
  area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_BACK);
  // A turned view, so that a camera reset would show.
  nav->SetHeading(30.0);
  area->UpdateGL();
  ASSERT_TRUE(Settle());
  const QImage before = Grab();
  const long nodes = Sd_Node::LiveCount();
  const Sv_Matrix4 camera = nav->GetViewMatrix();
  const QString exaggeration = window->ExagEdit->text();

  // A missing file, one without objects, and the sample cut inside its
  // first object.
  const std::string missing = dir.file("missing.sd");
  const std::string empty = dir.file("empty.sd");
  ASSERT_TRUE(orvanta_mainwindow_test::WriteGroupsFile(empty, {}));
  const std::string damaged = dir.file("damaged.sd");
  const std::string sample = orvanta_test::ReadFileBytes(ORVANTA_SAMPLE_SD);
  ASSERT_GT(sample.size(), 8000u);
  ASSERT_TRUE(orvanta_test::WriteFileBytes(damaged, sample.substr(0, sample.size() / 8)));

  const QString caption = window->windowTitle();
  ASSERT_TRUE(caption.endsWith("sample.sd")) << caption.toStdString();
  for (const std::string& file : {missing, empty, damaged}) {
    SCOPED_TRACE(file);
    DesktopRecorder recorder;
    EXPECT_EQ(window->LoadDataFile(file.c_str()), -1);
    EXPECT_EQ(window->windowTitle(), caption) << "the caption names the scene still shown";
    // The reader's error names the file (a refused record may have said
    // why before it).
    const QString name = QString::fromStdString(file);
    EXPECT_TRUE(WaitFor([&] {
      for (const auto& box : recorder.boxes) {
        if (box.caption == "Orvanta - Error" && box.text.contains(name)) return true;
      }
      return false;
    }));
    EXPECT_EQ(Sd_Node::LiveCount(), nodes);
    EXPECT_EQ(window->ExagEdit->text(), exaggeration);
    const Sv_Matrix4 now = nav->GetViewMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(now.GetData()[i], camera.GetData()[i]);
    // Also after a redraw the sample is what is shown.
    area->UpdateGL();
    ASSERT_TRUE(Settle());
    const QImage after = Grab();
    EXPECT_EQ(DifferentPixels(before, after, View(before)), 0);
  }
}

// Non-background pixels in the columns of a view grab.
int DrawnInColumns(const QImage& view, std::initializer_list<int> columns) {
  int n = 0;
  for (int x : columns) {
    for (int y = 0; y < view.height(); ++y) n += (view.pixel(x, y) & 0xFFFFFF) != 0;
  }
  return n;
}

// Scene pixels (not the background) in the left and the right half of a
// view grab.
std::array<int, 2> DrawnInHalves(const QImage& view) {
  std::array<int, 2> n{0, 0};
  for (int y = 0; y < view.height(); ++y) {
    for (int x = 0; x < view.width(); ++x) n[2 * x >= view.width()] += (view.pixel(x, y) & 0xFFFFFF) != 0;
  }
  return n;
}

TEST_F(FirstView, SplitScreenStereoShowsTheWholeSceneInEachHalf) {
  // The sample in the stored 800 x 600 window; square terrains of 256 and
  // 1024 nodes (5 and 20 km across, a tenth as deep) in a wide and a
  // near-square window larger than the test screen (the view draws into a
  // framebuffer of its own), and maximized. Switched from the first view or
  // from one seen closer.
  struct Row {
    int nodes;  // 0: the sample
    QSize window;
    int atStart;
    double closer;
  };
  const Row rows[] = {{0, QSize(), 0, 1.0},
                      {0, QSize(), 1, 1.0},
                      {256, QSize(1920, 1080), 0, 2.0},
                      {1024, QSize(1920, 1080), 0, 2.0},
                      {256, QSize(1800, 1700), 0, 1.0},
                      {1024, QSize(1800, 1700), 0, 1.0},
                      {1024, QSize(), 1, 1.0}};
  for (const Row& row : rows) {
    const int atStart = row.atStart;
    SCOPED_TRACE(std::to_string(row.nodes) + " nodes, " + std::to_string(row.window.width()) + " wide, " +
                 (atStart ? "stereo at start" : "stereo from the menu"));
    std::string file = ORVANTA_SAMPLE_SD;
    if (row.nodes) {
      const float across = 20.0f * (row.nodes - 1);
      auto dtm = dtm_test::MakeDTM(row.nodes, row.nodes);
      ASSERT_TRUE(dtm);
      dtm->SetBounds(0, 500000.0f, 500000.0f + across);
      dtm->SetBounds(1, 6000000.0f, 6000000.0f + across);
      dtm->SetBounds(2, -0.1f * across, 0.0f);
      file = dir.file("terrain.sd");
      ASSERT_TRUE(dtm_test::WriteSD(file, {dtm.get()}));
    }
    // A window of a given size has no stored geometry.
    WriteOptions(row.nodes && atStart, atStart);
    if (row.window.isValid()) std::remove(dir.file("pc_orvantaOptions").c_str());
    ASSERT_TRUE(Start(row.window, !row.window.isValid(), file.c_str()));
    // The scene alone, refined in the back buffer (the coarse frame's detail
    // follows the machine's speed).
    nav->SetShown(0);
    area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_BACK);
    QImage mono;
    if (!atStart) {
      area->UpdateGL();
      ASSERT_TRUE(Settle());
      mono = area->grabFramebuffer();
      // The switch fits the zoom anew.
      nav->SetZoom(row.closer * nav->GetZoom());
      area->UpdateGL();
      ASSERT_TRUE(Settle());
      window->CameraStereoAction->trigger();
    }
    ASSERT_EQ(area->GetStereo(), 1);
    const double switchFit = nav->GetZoom();
    // Both halves of the best pass are shown together, over the coarse ones
    // (checked on the sample: a large terrain's pass has many steps).
    if (!row.nodes) NoFrameOfThePassShowsLessThanTheCoarseFrame();
    area->UpdateGL();
    ASSERT_TRUE(Settle());
    const QImage stereo = area->grabFramebuffer();
    const int w = stereo.width(), half = w / 2;
    // Background along both edges of each half, the scene inside each.
    EXPECT_EQ(DrawnInColumns(stereo, {0, 1, half - 2, half - 1, half, half + 1, w - 2, w - 1}), 0);
    EXPECT_GT(DrawnInColumns(stereo, {half / 2}), 20);
    EXPECT_GT(DrawnInColumns(stereo, {half + half / 2}), 20);

    // Reset Camera in stereo fits as the switch did, and each eye shows the
    // same (the automatic stereo scale follows the frames before, to a few
    // pixels); then stereo off: the mono fit (and picture).
    window->CameraResetCameraAction->trigger();
    EXPECT_DOUBLE_EQ(nav->GetZoom(), switchFit);
    ASSERT_TRUE(Settle());
    const std::array<int, 2> switched = DrawnInHalves(stereo), reset = DrawnInHalves(area->grabFramebuffer());
    for (int eye : {0, 1}) EXPECT_NEAR(switched[eye], reset[eye], 0.005 * reset[eye]) << "eye " << eye;
    window->CameraStereoAction->trigger();
    ASSERT_EQ(area->GetStereo(), 0);
    ASSERT_TRUE(Settle());
    if (!atStart) {
      EXPECT_EQ(DifferentPixels(mono, area->grabFramebuffer(), mono.rect()), 0);
    }
    const double zoom = nav->GetZoom();
    area->ResetCamera();
    EXPECT_DOUBLE_EQ(zoom, nav->GetZoom());
    TearDown();
  }
}

}  // namespace
