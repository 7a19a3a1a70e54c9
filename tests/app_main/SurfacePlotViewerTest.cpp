// A surface plot in the running viewer: opened with -data by the main
// window, it shows its coloured surface with its tick lines and labels.

#include <gtest/gtest.h>

#include <QImage>

#include <string>

#include "../sd_dtm/PlotTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

namespace {

using PlotInTheWindow = orvanta_mainwindow_test::WindowFixture;

// A 17 x 33 plot, red on the left half of its columns and blue on the
// right, drawn solid, seen from its default camera: both colours show, and
// the axes' white tick lines and labels beside them.
TEST_F(PlotInTheWindow, PlotFromTheDataFileShowsItsSurfaceAndLabels) {
  const std::string file = dir.file("plot.sd");
  auto plot = plot_test::MakePlot<Sd_SurfacePlot>(17, 33);
  ASSERT_TRUE(plot && dtm_test::WriteSD(file, {plot.get()}));
  ASSERT_TRUE(StartWindow({"orvanta", "-data", QString::fromStdString(file)}));
  Qk_GLWorkArea* area = window->m_workarea;
  area->InstallOverlay(new workarea_test::TestOverlay());
  area->SetInteractionMode(0);
  area->UpdateGL();
  ASSERT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); }));

  const QImage picture = area->grabFramebuffer();
  int reds = 0, blues = 0, whites = 0;
  for (int y = 0; y < picture.height(); y += 2) {
    for (int x = 0; x < picture.width(); x += 2) {
      const QRgb c = picture.pixel(x, y);
      reds += qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80;
      blues += qBlue(c) > 180 && qRed(c) < 80 && qGreen(c) < 80;
      // The lower half: clear of the window's logo in the top right.
      whites += y > picture.height() / 2 && qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200;
    }
  }
  EXPECT_GT(reds, 100);
  EXPECT_GT(blues, 100);
  EXPECT_GT(whites, 20) << "tick lines and labels";
}

}  // namespace
