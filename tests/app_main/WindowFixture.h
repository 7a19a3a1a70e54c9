#ifndef ORVANTA_WINDOWFIXTURE_H
#define ORVANTA_WINDOWFIXTURE_H

// A test fixture with a main window of its own in this process, in a
// temporary home directory.

#include <gtest/gtest.h>

#include <QSize>
#include <QStringList>

#include <string>

#include "../app/WorkAreaTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "orvanta.h"

namespace orvanta_mainwindow_test {

class WindowFixture : public ::testing::Test {
 protected:
  // Makes the window with the arguments (resized first when a size is
  // given), shows it and waits until it has started.
  bool StartWindow(const QStringList& arguments, const QSize& size = QSize()) {
    window = new orvanta();
    window->SetArguments(arguments);
    if (size.isValid()) window->resize(size);
    window->show();
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

  // Loads the file in the window, seen straight from above by the test
  // overlay (the scene fills 60 % of the view's width around its centre)
  // with the coordinate readout (interaction mode 0), and waits for the
  // finished picture.
  bool LoadSeenFromAbove(const std::string& file) {
    Qk_GLWorkArea* area = window->m_workarea;
    workarea_test::TestOverlay* overlay = new workarea_test::TestOverlay();
    overlay->distance = 0.0;
    area->InstallOverlay(overlay);
    area->SetInteractionMode(0);
    if (window->LoadDataFile(file.c_str()) != 0) return false;
    return WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); });
  }

  orvanta_test::TempDir dir;
  orvanta_test::ScopedEnv home{"HOME", dir.path().c_str()};
  orvanta* window = nullptr;
};

}  // namespace orvanta_mainwindow_test

#endif
