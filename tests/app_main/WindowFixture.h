#ifndef ORVANTA_WINDOWFIXTURE_H
#define ORVANTA_WINDOWFIXTURE_H

// A test fixture with a main window of its own in this process, in a
// temporary home directory.

#include <gtest/gtest.h>

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QStringList>

#include <string>

#include "../app/WorkAreaTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_DTMClasses.h"
#include "Sd_Node.h"
#include "TestSupport.h"
#include "orvanta.h"

namespace orvanta_mainwindow_test {

class WindowFixture : public ::testing::Test {
 protected:
  // Makes the window with the arguments (resized first when a size is
  // given), shows it and waits until it has started. asProgram: shown the
  // way the program shows it (ShowAtStart: maximized without a stored
  // geometry).
  bool StartWindow(const QStringList& arguments, const QSize& size = QSize(), bool asProgram = false) {
    window = new orvanta();
    // A program name without a folder would put the options file beside
    // the running executable: it goes into the test's own folder instead.
    QStringList args = arguments;
    if (!args.isEmpty() && !args.first().contains('/')) args.first() = QString::fromStdString(dir.file(args.first().toStdString()));
    window->SetArguments(args);
    if (size.isValid()) window->resize(size);
    if (asProgram) {
      window->ShowAtStart();
    } else {
      window->show();
    }
    return WaitFor([&] { return window->IsStarted(); });
  }

  // The messages the window still has queued go to a recorder instead of
  // the screen; then the window is deleted.
  void TearDown() override {
    {
      DesktopRecorder quiet;
      orvanta::ShowPendingMessages();
    }
    delete window;
    window = nullptr;
  }

  // Waits until the work area has a scene and a finished picture, with
  // nothing exploring.
  bool Settle() {
    Qk_GLWorkArea* area = window->m_workarea;
    return WaitFor([&] {
      return area->GetRoot() && !area->IsIdleTimerActive() && !area->IsRunning() && !area->GetRestartPending() &&
             area->GetExploreCount() == 0;
    });
  }

  // Where a point of the navigator's dial frame (the heading dial's with
  // headingFrame) lies in a grab of the window; false when it lies outside
  // the work area or within margin pixels of its edge.
  bool DialPointInGrab(Qk_NavigatorOverlay* nav, double x, double y, double z, bool headingFrame, QPoint* at,
                       int margin = 0) {
    Qk_GLWorkArea* area = window->m_workarea;
    double wx, wy;
    if (!orvanta_apptest::ProjectDialPoint(area, nav, x, y, z, headingFrame, &wx, &wy)) return false;
    // Device pixels from the bottom of the view to the window's grab.
    const double ratio = area->devicePixelRatioF();
    const QPoint local(static_cast<int>(wx / ratio), static_cast<int>((area->GetHeight() - 1 - wy) / ratio));
    if (!area->rect().adjusted(margin, margin, -margin, -margin).contains(local)) return false;
    *at = area->mapTo(window, local) * ratio;
    return true;
  }

  // Loads the file in the window, seen straight from above by the test
  // overlay (the scene fills 60 % of the view's width around its centre)
  // with the coordinate readout (interaction mode 0), and waits for the
  // finished picture.
  bool LoadSeenFromAbove(const std::string& file) {
    LookFromAbove();
    if (window->LoadDataFile(file.c_str()) != 0) return false;
    return WaitForPicture();
  }
  // The view of the scene already loaded (a window started with -data) seen
  // from above as LoadSeenFromAbove sees it, redrawn; waits for the picture.
  bool SeeFromAbove() {
    LookFromAbove();
    return Redraw();
  }
  // Redraws the view and waits for the finished picture.
  bool Redraw() {
    window->m_workarea->UpdateGL();
    return WaitForPicture();
  }
  // Waits until the progressive renderer has finished the picture.
  bool WaitForPicture() {
    Qk_GLWorkArea* area = window->m_workarea;
    return WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); });
  }
  // The test overlay (straight from above) with the coordinate readout
  // (interaction mode 0).
  void LookFromAbove() {
    Qk_GLWorkArea* area = window->m_workarea;
    workarea_test::TestOverlay* overlay = new workarea_test::TestOverlay();
    overlay->distance = 0.0;
    area->InstallOverlay(overlay);
    area->SetInteractionMode(0);
  }

  // The picture of a scene loaded with LoadSeenFromAbove, sceneWidth units
  // wide: X and Y give the view pixel of a point east and north of the
  // scene's centre, Pixel the colour there (view pixels count from the
  // bottom left, as the event record does).
  struct SeenFromAbove {
    int w = 0, h = 0;
    double unitsPerPixel = 1.0;
    double ratio = 1.0;  // picture pixels per view pixel
    QImage picture;
    int X(double east) const { return static_cast<int>(w / 2 + east / unitsPerPixel); }
    int Y(double north) const { return static_cast<int>(h / 2 + north / unitsPerPixel); }
    QRgb Pixel(int x, int y) const {
      return picture.pixel(static_cast<int>(x * ratio), static_cast<int>((h - 1 - y) * ratio));
    }
  };
  SeenFromAbove Picture(double sceneWidth) {
    Qk_GLWorkArea* area = window->m_workarea;
    SeenFromAbove view;
    view.w = area->GetViewportWidth();
    view.h = area->GetViewportHeight();
    view.unitsPerPixel = sceneWidth / (0.6 * view.w);
    view.picture = area->grabFramebuffer();
    view.ratio = view.picture.width() / static_cast<double>(view.w);
    return view;
  }

  orvanta_test::TempDir dir;
  orvanta_test::ScopedEnv home{"HOME", dir.path().c_str()};
  orvanta* window = nullptr;
};

// A window fixture for scenes of terrain models (whose classes the viewer's
// main registers), in plain coordinates before and after each test.
class TerrainWindowFixture : public WindowFixture {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    ASSERT_EQ(Sd_RegisterTerrainClasses(), 0);
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }
};

}  // namespace orvanta_mainwindow_test

#endif
