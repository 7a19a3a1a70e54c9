// Flight paths in the main window, on the build's sample scene: File > Play
// Flightpath plays a generated path in a loop until a click or key press,
// then the navigator goes on from where the path left the view; playing it
// again restarts it without losing the navigator; "-flightpath" plays at
// start; missing or damaged paths are reported and play nothing.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

#include <string>
#include <vector>

#include "AppMainSupport.h"
#include "Movie.h"
#include "Qk_FlightpathOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_DTMClasses.h"
#include "Sd_Node.h"
#include "Sv_Matrix4.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_apptest::ViewDifference;
using orvanta_mainwindow_test::DesktopRecorder;
using orvanta_mainwindow_test::WaitFor;

namespace {

class FlightpathWindow : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TerrainWindowFixture::SetUp());
    path = dir.file("tour.fph");
    ASSERT_TRUE(WriteTour(path));
  }

  // Starts the window on the sample with the extra arguments and notes its
  // navigator; frame reports and status texts are recorded.
  void Start(const QStringList& extra) {
    QStringList args = {"orvanta", "-data", ORVANTA_SAMPLE_SD};
    args += extra;
    ASSERT_TRUE(StartWindow(args));
    area = window->m_workarea;
    nav = dynamic_cast<Qk_NavigatorOverlay*>(area->GetDisplacedOverlay());
    if (!nav) nav = dynamic_cast<Qk_NavigatorOverlay*>(area->GetOverlay());
    ASSERT_NE(nav, nullptr);
    QObject::connect(area, &Qk_GLWorkArea::MovieFrameChangedSG, [this](SVint n) { frames.push_back(n); });
    QObject::connect(area, &Qk_GLStepWidget::SetInfoSG, [this](char* text) { info = text; });
  }

  // A path of eight frames turning once around the scene, recorded by a
  // navigator of its own.
  static bool WriteTour(const std::string& file) {
    Movie tour;
    Qk_NavigatorOverlay recorder;
    recorder.SetSceneContext(nullptr, &tour, nullptr, nullptr, nullptr);
    for (int i = 0; i < 8; ++i) {
      recorder.SetHeading(45.0 * i);
      recorder.SetTilt(-50.0);
      recorder.SetZoom(0.8);
      recorder.RecordFrame();
    }
    return tour.GetNumFrames() == 8 && tour.Write(file.c_str()) == 0;
  }

  // File > Play Flightpath with the name typed into the dialog.
  void PlayFromMenu(const std::string& name) {
    QTimer poll;
    int polls = 0;
    QObject::connect(&poll, &QTimer::timeout, [&]() {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      if (++polls > 250) {  // a dialog that would not take the name
        dialog->reject();
        return;
      }
      EXPECT_EQ(dialog->windowTitle(), "Play a Flightpath");
      EXPECT_EQ(dialog->nameFilters(), (QStringList{"Flightpaths (*.fph *.mov)", "All Files (*)"}));
      QLineEdit* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(edit, nullptr);
      edit->setText(QString::fromStdString(name));
      QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    poll.start(20);
    window->FilePlayFlightpathAction->trigger();
    poll.stop();
    EXPECT_LE(polls, 250) << "the dialog did not take the name";
  }

  // A path that failed to load plays nothing and is reported in one error
  // box: the reader's reason, then the loader's sentence last.
  void ExpectRefused(const DesktopRecorder& recorder, const std::string& file, const char* reason) {
    ASSERT_TRUE(WaitFor([&] { return !recorder.boxes.empty() && orvanta::PendingMessageCount() == 0; }));
    const QString text = recorder.boxes[0].text;
    EXPECT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].caption, "Orvanta - Error");
    EXPECT_TRUE(text.contains(reason)) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QString::fromStdString("An error occured loading the flightpath '" + file + "'.")))
        << text.toStdString();
    EXPECT_EQ(area->GetOverlay(), nav);
    EXPECT_EQ(area->GetCameraPath().GetMovieState(), 0);
    EXPECT_EQ(area->GetExploreCount(), 0);
    EXPECT_EQ(area->GetMovie()->GetNumFrames(), 0);
  }

  Qk_FlightpathOverlay* Player() { return dynamic_cast<Qk_FlightpathOverlay*>(area->GetOverlay()); }

  // Waits until the path has gone round its end (frame 7, then frame 0).
  bool WaitForLoop() {
    frames.clear();
    return WaitFor([&] {
      for (size_t i = 1; i < frames.size(); ++i)
        if (frames[i - 1] == 7 && frames[i] == 0) return true;
      return false;
    });
  }

  void Click() {
    const QPointF at(area->width() / 3, area->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, area->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(area, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, area->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(area, &release);
  }

  // The navigator is current again with the view the path left, nothing
  // explores, and the renderer finishes its picture.
  void ExpectNavigatorGoesOnFrom(const Sv_Matrix4& left) {
    EXPECT_EQ(area->GetOverlay(), nav);
    EXPECT_EQ(area->GetCameraPath().GetMovieState(), 0);
    EXPECT_EQ(area->GetExploreCount(), 0);
    EXPECT_LT(ViewDifference(nav->GetViewMatrix().GetData(), left.GetData()), 1e-4);
    EXPECT_TRUE(WaitFor([&] { return info == "Normal" && !area->IsIdleTimerActive(); })) << info;
    EXPECT_LT(ViewDifference(area->GetViewMatrix()->GetData(), left.GetData()), 1e-4);
  }

  std::string path;
  Qk_GLWorkArea* area = nullptr;
  Qk_NavigatorOverlay* nav = nullptr;
  std::vector<int> frames;
  std::string info;
};

TEST_F(FlightpathWindow, PlaysInALoopUntilAClickOrAKey) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  ASSERT_TRUE(WaitFor([&] { return info == "Normal"; }));
  PlayFromMenu(path);
  Qk_FlightpathOverlay* player = Player();
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->GetLoop(), 1);
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 1);
  EXPECT_EQ(area->GetDisplacedOverlay(), nav);
  EXPECT_EQ(window->GetLastDirectory(), dir.path() + "/");

  // It moves, and goes round.
  ASSERT_TRUE(WaitFor([&] { return !frames.empty() && frames.back() == 2; }));
  const QImage early = area->grabFramebuffer();
  ASSERT_TRUE(WaitFor([&] { return !frames.empty() && frames.back() == 5; }));
  const QImage later = area->grabFramebuffer();
  EXPECT_NE(early, later);
  ASSERT_TRUE(WaitForLoop());
  EXPECT_EQ(Player(), player);

  Sv_Matrix4 left = *area->GetViewMatrix();
  Click();
  ExpectNavigatorGoesOnFrom(left);

  // A key press stops it too.
  ASSERT_EQ(window->PlayFlightpath(path.c_str()), 0);
  ASSERT_NE(Player(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return !frames.empty() && frames.back() == 3; }));
  left = *area->GetViewMatrix();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QCoreApplication::sendEvent(area, &key);
  ExpectNavigatorGoesOnFrom(left);
}

TEST_F(FlightpathWindow, PlayingAgainRestartsItAndTheNavigatorSurvives) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  ASSERT_EQ(window->PlayFlightpath(path.c_str()), 0);
  ASSERT_TRUE(WaitFor([&] { return !frames.empty() && frames.back() == 4; }));
  frames.clear();
  ASSERT_EQ(window->PlayFlightpath(path.c_str()), 0);
  ASSERT_NE(Player(), nullptr);
  EXPECT_EQ(area->GetMovie()->GetCurrentFrame(), 0);
  EXPECT_EQ(area->GetDisplacedOverlay(), nav);
  EXPECT_EQ(area->GetExploreCount(), 1);
  ASSERT_TRUE(WaitFor([&] { return !frames.empty() && frames.back() == 2; }));
  EXPECT_EQ(frames.front(), 1);  // from the start again
  const Sv_Matrix4 left = *area->GetViewMatrix();
  Click();
  ExpectNavigatorGoesOnFrom(left);
}

TEST_F(FlightpathWindow, TheCommandLinePlaysAtStart) {
  ASSERT_NO_FATAL_FAILURE(Start({"-flightpath", QString::fromStdString(path)}));
  Qk_FlightpathOverlay* player = Player();
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->GetLoop(), 1);
  EXPECT_EQ(area->GetDisplacedOverlay(), nav);
  ASSERT_TRUE(WaitForLoop());
  const Sv_Matrix4 left = *area->GetViewMatrix();
  Click();
  ExpectNavigatorGoesOnFrom(left);
}

TEST_F(FlightpathWindow, MissingOrDamagedPathsPlayNothing) {
  DesktopRecorder recorder;
  const std::string missing = dir.file("missing.fph");
  ASSERT_NO_FATAL_FAILURE(Start({"-flightpath", QString::fromStdString(missing)}));
  ExpectRefused(recorder, missing, "Opening file");

  // Cut short: the camera-path record ends inside its frames.
  const std::string damaged = dir.file("damaged.fph");
  std::string bytes = orvanta_test::ReadFileBytes(path);
  ASSERT_GT(bytes.size(), 200u);
  ASSERT_TRUE(orvanta_test::WriteFileBytes(damaged, bytes.substr(0, bytes.size() - 100)));
  recorder.boxes.clear();
  PlayFromMenu(damaged);
  ExpectRefused(recorder, damaged, "damaged");
}

}  // namespace
