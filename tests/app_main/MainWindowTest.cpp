// The main window in this process: its widgets, menus, actions and keys, the
// status fields and a grab of the whole window, the queued message boxes,
// the caption, loading from the File menu and from file-open requests, the
// exit paths, the help pages, the About box, stereo and the logo.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <GL/gl.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "AppMainSupport.h"
#include "Movie.h"
#include "Qk_AboutDL.h"
#include "Qk_Application.h"
#include "Qk_GLWorkArea.h"
#include "Qk_GUIUtils.h"
#include "Sd_Node.h"
#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_Stdlib.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::DesktopRecorder;
using orvanta_mainwindow_test::Spin;
using orvanta_mainwindow_test::WaitFor;
using orvanta_mainwindow_test::WriteGroupsFile;
using orvanta_mainwindow_test::WriteSampleFile;

namespace {

class MainWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(StartWindow({"orvanta"})); }

  // Runs check on the first modal widget that opens while action() runs;
  // check closes it. One that stays open is closed after a while, as a
  // failure, so that the test cannot hang.
  static void WithModal(const std::function<void()>& action, const std::function<void(QWidget*)>& check) {
    QPointer<QWidget> handled;
    bool seen = false;
    int pollsSince = 0;
    bool leftOpen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&]() {
      QWidget* modal = QApplication::activeModalWidget();
      if (seen) {
        if (handled && modal == handled && handled->isVisible() && ++pollsSince > 100) {
          leftOpen = true;
          handled->close();
        }
        return;
      }
      if (!modal || !modal->isVisible()) return;
      handled = modal;
      seen = true;
      check(modal);
    });
    poll.start(20);
    action();
    poll.stop();
    EXPECT_TRUE(seen) << "no modal window opened";
    EXPECT_FALSE(leftOpen) << "the modal window was left open";
  }

  static std::vector<std::string> Entries(QMenu* menu) {
    std::vector<std::string> out;
    for (QAction* a : menu->actions()) out.push_back(a->isSeparator() ? "--" : a->text().toStdString());
    return out;
  }

  // The caption that names a file: a name of more than forty characters
  // shows its last 36 after "... ", wherever the temporary folder is.
  static std::string Caption(const std::string& file) {
    return "Orvanta -- " + (file.size() > 40 ? "... " + file.substr(file.size() - 36) : file);
  }

  int ChildCount() {
    int n = 0;
    Sd_Node* root = window->m_workarea->GetRoot();
    for (Sd_Node* c = root ? root->GetFirstChild() : nullptr; c && n < 1000; c = c->GetNext()) ++n;
    return n;
  }
};

}  // namespace

TEST_F(MainWindow, IsBuiltAsTheFormSays) {
  EXPECT_EQ(window->objectName(), "orvanta");
  EXPECT_EQ(window->minimumSize(), QSize(202, 112));
  EXPECT_EQ(window->size(), QSize(781, 540));
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_EQ(Qk_GetMainWidget(), window);
  QWidget* central = window->centralWidget();
  EXPECT_EQ(central->objectName(), "qt_central_widget");
  EXPECT_EQ(window->orvantaLayout->contentsMargins(), QMargins(0, 0, 0, 0));
  // The work area fills the space between the menu bar and the status bar.
  EXPECT_EQ(window->m_workarea->objectName(), "m_workarea");
  EXPECT_EQ(window->m_workarea->geometry(), central->rect());
  EXPECT_EQ(window->m_workarea->GetRightButtonAsMiddle(), 1);
  EXPECT_EQ(window->m_workarea->GetStereoMode(), QK_STEREO_SPLIT_SCREEN);
}

TEST_F(MainWindow, MenusHoldTheirActionsInOrder) {
  ASSERT_EQ(window->menuBar(), window->menubar);
  EXPECT_EQ(window->menubar->objectName(), "menubar");
  std::vector<std::string> titles;
  for (QAction* a : window->menubar->actions()) titles.push_back(a->text().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Camera", "&View", "&Help"}));

  EXPECT_EQ(Entries(window->FileMenu),
            (std::vector<std::string>{"&Open SD File...", "Open &Scene File...", "--", "&Play Flightpath...", "--",
                                      "Preferences...", "--", "E&xit"}));
  EXPECT_EQ(Entries(window->CameraMenu), (std::vector<std::string>{"Reset &Camera", "--", "&Split Screen Stereo"}));
  EXPECT_EQ(Entries(window->HelpMenu),
            (std::vector<std::string>{"&Navigating the Scene...", "--", "&WRU Home Page", "&Brannovick Home Page",
                                      "&Orvanta Home Page", "--", "&About..."}));
  ASSERT_EQ(window->ViewMenu->actions().size(), 1);
  QAction* none = window->ViewMenu->actions()[0];
  EXPECT_EQ(none->text(), "(none)");
  EXPECT_EQ(none->data().toInt(), 9999);
  EXPECT_FALSE(none->isEnabled());

  struct Expect {
    QAction* action;
    const char* name;
    const char* text;
    const char* shortcut;
  };
  const Expect expected[] = {
      {window->FileOpenAction, "FileOpenAction", "Open SD File...", "Ctrl+O"},
      {window->FileExitAction, "FileExitAction", "Exit", "Ctrl+X"},
      {window->FileLoadSceneAction, "FileLoadSceneAction", "Open Scene File...", "Ctrl+Shift+O"},
      {window->CameraResetCameraAction, "CameraResetCameraAction", "Reset Camera", "Esc"},
      {window->HelpNavigateSceneAction, "HelpNavigateSceneAction", "Navigating the Scene", "F1"},
      {window->CameraStereoAction, "CameraStereoAction", "Split Screen Stereo", "Ctrl+T"},
      {window->ToogleData1Action, "ToogleData1Action", "Toggle on/off dataset 1", "1"},
  };
  for (const Expect& e : expected) {
    EXPECT_EQ(e.action->objectName(), e.name);
    EXPECT_EQ(e.action->iconText(), e.text) << e.name;
    EXPECT_EQ(e.action->shortcut().toString(), e.shortcut) << e.name;
  }
  EXPECT_TRUE(window->CameraStereoAction->isCheckable());
  EXPECT_FALSE(window->CameraStereoAction->isChecked());
  // "Contents" is made but shown nowhere.
  for (QMenu* m : {window->FileMenu, window->CameraMenu, window->ViewMenu, window->HelpMenu}) {
    EXPECT_FALSE(m->actions().contains(window->HelpContentsAction));
  }
}

TEST_F(MainWindow, DatasetKeysBelongToTheWindow) {
  QAction* const toggles[10] = {window->ToogleData1Action, window->ToogleData2Action, window->ToogleData3Action,
                                window->ToogleData4Action, window->ToogleData5Actionn, window->ToogleData6Action,
                                window->ToogleData7Action, window->ToogleData8Action, window->ToogleData9Action,
                                window->ToogleData10Action};
  for (int i = 0; i < 10; ++i) {
    EXPECT_TRUE(window->actions().contains(toggles[i])) << i;
    EXPECT_EQ(toggles[i]->shortcut().toString(), QString::number((i + 1) % 10));
    for (QMenu* m : {window->FileMenu, window->CameraMenu, window->ViewMenu, window->HelpMenu}) {
      EXPECT_FALSE(m->actions().contains(toggles[i]));
    }
  }
  // Shortcuts act in the active window. Other test processes on the same
  // display may take the focus away, so a key that found the window
  // inactive is pressed again.
  QSignalSpy tenth(window->ToogleData10Action, &QAction::triggered);
  QSignalSpy fifth(window->ToogleData5Actionn, &QAction::triggered);
  auto press = [&](Qt::Key key, QSignalSpy& spy) {
    EXPECT_TRUE(orvanta_mainwindow_test::PressUntilSignalled(window, window->m_workarea, key, spy));
  };
  press(Qt::Key_0, tenth);
  press(Qt::Key_5, fifth);
  press(Qt::Key_5, fifth);
  EXPECT_EQ(tenth.count(), 1);
  EXPECT_EQ(fifth.count(), 2);
}

TEST_F(MainWindow, StatusFieldsSitInTheStatusBar) {
  QStatusBar* bar = window->statusBar();
  EXPECT_EQ(window->GeorefEdit->parentWidget(), bar);
  EXPECT_EQ(window->ExagEdit->parentWidget(), bar);
  EXPECT_LT(window->GeorefEdit->x(), window->ExagEdit->x());
  EXPECT_GT(window->GeorefEdit->width(), window->ExagEdit->width());
  EXPECT_GE(window->ExagEdit->width(), 200);
  EXPECT_EQ(window->GeorefEdit->objectName(), "GeorefEdit");
  EXPECT_EQ(window->ExagEdit->objectName(), "ExagEdit");
  for (QLineEdit* e : {window->GeorefEdit, window->ExagEdit}) {
    EXPECT_TRUE(e->isReadOnly());
    EXPECT_TRUE(e->hasFrame());
    EXPECT_EQ(e->palette().color(QPalette::Base), e->palette().color(QPalette::Window));
  }
  char pick[] = "Geo Coords (x,y,z) -> (1.00, 2.00, 3.00)";
  window->SetPickInfoSL(pick);
  EXPECT_EQ(window->GeorefEdit->text(), pick);
  window->SetPickInfoSL(nullptr);
  EXPECT_EQ(window->GeorefEdit->text(), pick);

  window->m_workarea->SetVertExag(2.5f);
  EXPECT_EQ(window->ExagEdit->text(), "Vertical Exaggeration: 2.50000");
}

// The texts the fields start with (a window that is not shown: the pointer
// cannot reach its work area, whose pick texts would replace them).
TEST(MainWindowFields, StartWithTheirTexts) {
  orvanta_test::TempDir dir;
  orvanta_test::ScopedEnv home("HOME", dir.path().c_str());
  orvanta window;
  EXPECT_EQ(window.GeorefEdit->text(), "Geographic Location (x,y,z) -> ");
  EXPECT_EQ(window.ExagEdit->text(), "Vertical Exaggeration:  1.0000");
  EXPECT_EQ(window.windowTitle(), " Orvanta");
  EXPECT_FALSE(window.IsStarted());
}

TEST_F(MainWindow, AGrabShowsTheMenuBarAndTheStatusFields) {
  Spin();
  const QImage shot = window->grab().toImage();
  ASSERT_EQ(shot.size(), window->size() * shot.devicePixelRatio());
  if (const char* out = getenv("ORVANTA_TEST_OUT")) {
    std::string cmd = std::string("mkdir -p '") + out + "'";
    if (system(cmd.c_str()) == 0) shot.save(QString::fromLocal8Bit(out) + "/main_window.png");
  }
  // Each part appears in the window's grab just as it looks on its own.
  for (QWidget* part : std::vector<QWidget*>{window->menubar, window->GeorefEdit, window->ExagEdit}) {
    SCOPED_TRACE(part->objectName().toStdString());
    const QRect r(part->mapTo(window, QPoint(0, 0)), part->size());
    ASSERT_TRUE(window->rect().contains(r));
    const QImage alone = part->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage within = shot.copy(r).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(within, alone);
    // and holds drawn text, not just a flat background
    int distinct = 0;
    const QRgb first = within.pixel(0, within.height() / 2);
    for (int x = 0; x < within.width(); ++x) {
      if (within.pixel(x, within.height() / 2) != first) ++distinct;
    }
    EXPECT_GT(distinct, 10);
  }
  const QRect bar(window->statusBar()->mapTo(window, QPoint(0, 0)), window->statusBar()->size());
  EXPECT_GE(bar.bottom(), window->height() - 2);
  EXPECT_LE(window->menubar->geometry().top(), 0);
}

TEST_F(MainWindow, MessagesAreShownLaterInBoxesCaptionedByLevel) {
  DesktopRecorder recorder;
  Sv_Debug::Error("Could not read %s", "a.sd");
  Sv_Debug::Warning("Low on memory");
  Sv_Debug::Message(SV_LEVEL_INFO, "Loaded", "Qk_Test::Load");
  Sv_Debug::Debug("not for a box");
  // Nothing opens inside the code that sent them.
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(orvanta::PendingMessageCount(), 3);
  ASSERT_TRUE(WaitFor([&] { return recorder.boxes.size() == 3; }));
  EXPECT_EQ(orvanta::PendingMessageCount(), 0);

  EXPECT_EQ(recorder.boxes[0].caption, "Orvanta - Error");
  EXPECT_EQ(recorder.boxes[0].text, "Could not read a.sd");
  EXPECT_EQ(recorder.boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(recorder.boxes[1].caption, "Orvanta - Warning");
  EXPECT_EQ(recorder.boxes[1].icon, QMessageBox::Warning);
  EXPECT_EQ(recorder.boxes[2].caption, "Orvanta - Info");
  EXPECT_EQ(recorder.boxes[2].text, "Loaded: Qk_Test::Load");
  EXPECT_EQ(recorder.boxes[2].icon, QMessageBox::Information);
  for (const auto& b : recorder.boxes) {
    EXPECT_EQ(b.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(b.defaultButton, QMessageBox::Ok);
  }

  // A message sent while a box is up waits for that box to close.
  recorder.boxes.clear();
  bool sent = false;
  recorder.onBox = [&]() {
    if (!sent) Sv_Debug::Warning("second");
    sent = true;
  };
  Sv_Debug::Error("first");
  ASSERT_TRUE(WaitFor([&] { return recorder.boxes.size() == 2; }));
  EXPECT_EQ(recorder.boxes[0].text, "first");
  EXPECT_EQ(recorder.boxes[1].text, "second");
  EXPECT_EQ(recorder.boxes[1].depth, 1);
}

TEST_F(MainWindow, ARealBoxLiftsTheBusyCursor) {
  Qk_BusyCursorOn();
  Sv_Debug::Warning("Disk nearly full");
  bool cursorLifted = false;
  WithModal([&]() { WaitFor([&] { return orvanta::PendingMessageCount() == 0 && !QApplication::activeModalWidget(); }); },
            [&](QWidget* modal) {
              auto* box = qobject_cast<QMessageBox*>(modal);
              ASSERT_NE(box, nullptr);
              EXPECT_EQ(box->windowTitle(), "Orvanta - Warning");
              EXPECT_EQ(box->text(), "Disk nearly full");
              EXPECT_EQ(box->icon(), QMessageBox::Warning);
              EXPECT_EQ(box->parentWidget(), window);
              cursorLifted = QApplication::overrideCursor() == nullptr;
              box->button(QMessageBox::Ok)->click();
            });
  EXPECT_TRUE(cursorLifted);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Qk_BusyCursorOff();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindow, CaptionNamesTheFileShortenedToFortyCharacters) {
  window->SetTitle("f.sd");
  EXPECT_EQ(window->windowTitle(), "Orvanta -- f.sd");
  window->SetTitle(nullptr);
  EXPECT_EQ(window->windowTitle(), "Orvanta");
  const std::string forty(40, 'x');
  window->SetTitle(forty.c_str());
  EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta -- " + forty);
  const std::string name = "/data/surveys/" + std::string(24, 'a') + "/end.sd";  // 45 characters
  ASSERT_EQ(name.size(), 45u);
  window->SetTitle(name.c_str());
  EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta -- ... " + name.substr(9));
  // Names far longer than any buffer are fine.
  const std::string huge(5000, 'b');
  window->SetTitle(huge.c_str());
  EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta -- ... " + std::string(36, 'b'));
}

TEST_F(MainWindow, LoadingADataFileSetsCaptionDirectoryAndExaggeration) {
  DesktopRecorder recorder;
  const std::string path = dir.file("f.sd");
  ASSERT_TRUE(WriteSampleFile(path));
  EXPECT_EQ(window->LoadDataFile(path.c_str()), 0);
  EXPECT_EQ(window->windowTitle().toStdString(), Caption(path));
  EXPECT_EQ(window->GetLastDirectory(), dir.path() + "/");
  EXPECT_EQ(window->ExagEdit->text(), "Vertical Exaggeration: 6.00000");
  ASSERT_NE(window->m_workarea->GetRoot(), nullptr);
  EXPECT_EQ(ChildCount(), 1);
  EXPECT_EQ(window->m_workarea->GetRoot()->GetShowBoundingBox(), 1);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ASSERT_TRUE(WaitFor([] { return orvanta::PendingMessageCount() == 0; }));
  EXPECT_TRUE(recorder.boxes.empty());

  // A file that cannot be read: the scene of f.sd stays and the caption
  // still names it, the new file's directory is remembered, the reader's
  // reason is in a box.
  orvanta_test::TempDir other;
  EXPECT_EQ(window->LoadDataFile(other.file("missing.sd").c_str()), -1);
  EXPECT_EQ(window->windowTitle().toStdString(), Caption(path));
  EXPECT_EQ(window->GetLastDirectory(), other.path() + "/");
  ASSERT_TRUE(WaitFor([&] { return !recorder.boxes.empty(); }));
  EXPECT_EQ(recorder.boxes[0].caption, "Orvanta - Error");
}

TEST_F(MainWindow, FileOpenRequestsAddToTheScene) {
  const std::string first = dir.file("first.sd");
  const std::string second = dir.file("second.sd");
  const std::string upper = dir.file("upper.SD");
  ASSERT_TRUE(WriteSampleFile(first));
  ASSERT_TRUE(WriteGroupsFile(second, {{0, 1, 0, 1, 0, 1}, {1, 2, 1, 2, 0, 1}}));
  ASSERT_TRUE(WriteSampleFile(upper));
  ASSERT_EQ(window->LoadDataFile(first.c_str()), 0);
  const QString caption = window->windowTitle();

  Qk_Application* app = Qk_Application::Instance();
  ASSERT_NE(app, nullptr);
  QObject::connect(app, &Qk_Application::LoadFileSG, window, &orvanta::LoadFileSL);
  QSignalSpy relayed(app, &Qk_Application::LoadFileSG);

  QCoreApplication::postEvent(app, new Qk_FileOpenEvent(QString::fromStdString(second)));
  QCoreApplication::postEvent(app, new QEvent(static_cast<QEvent::Type>(QEvent::User + 1)));
  Spin();
  ASSERT_EQ(relayed.count(), 1);
  EXPECT_EQ(relayed[0][0].toString().toStdString(), second);
  EXPECT_EQ(ChildCount(), 3);  // added to the scene, not replacing it
  EXPECT_EQ(window->windowTitle(), caption);

  // Extensions are compared as written.
  window->LoadFileSL(QString::fromStdString(upper));
  window->LoadFileSL(QString::fromStdString(dir.file("notes.txt")));
  window->LoadFileSL("no_extension");
  EXPECT_EQ(ChildCount(), 3);
  QObject::disconnect(app, &Qk_Application::LoadFileSG, window, &orvanta::LoadFileSL);
}

TEST_F(MainWindow, FileOpenUsesTheDialogAndCancelChangesNothing) {
  const std::string path = dir.file("picked.sd");
  ASSERT_TRUE(WriteSampleFile(path));
  ASSERT_EQ(window->LoadDataFile(path.c_str()), 0);
  window->setWindowTitle("before");
  WithModal([&]() { window->FileOpenAction->trigger(); },
            [&](QWidget* modal) {
              auto* dialog = qobject_cast<QFileDialog*>(modal);
              ASSERT_NE(dialog, nullptr);
              EXPECT_EQ(dialog->windowTitle(), "Open an SD File");
              EXPECT_EQ(dialog->nameFilters(), (QStringList{"Data Files (*.sd)", "All Files (*)"}));
              EXPECT_EQ(dialog->directory().absolutePath().toStdString(), dir.path());
              dialog->reject();
            });
  EXPECT_EQ(window->windowTitle(), "before");
  EXPECT_EQ(window->GetLastDirectory(), dir.path() + "/");

  WithModal([&]() { window->FileOpenAction->trigger(); },
            [&](QWidget* modal) {
              auto* dialog = qobject_cast<QFileDialog*>(modal);
              ASSERT_NE(dialog, nullptr);
              // Typed into the name field, as a user would.
              QLineEdit* name = dialog->findChild<QLineEdit*>("fileNameEdit");
              ASSERT_NE(name, nullptr);
              name->setText(QString::fromStdString(path));
              QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
            });
  EXPECT_EQ(window->windowTitle().toStdString(), Caption(path));
}

TEST_F(MainWindow, TheFileMenusDialogsAreOpenFileDialogsAndCancelChangesNothing) {
  const std::string path = dir.file("picked.sd");
  ASSERT_TRUE(WriteSampleFile(path));
  ASSERT_EQ(window->LoadDataFile(path.c_str()), 0);
  Qk_GLWorkArea* area = window->m_workarea;
  const QString title = window->windowTitle();
  Sd_Node* object = area->GetRoot()->GetFirstChild();
  Qk_GLOverlay* overlay = area->GetOverlay();
  const int frames = area->GetMovie()->GetNumFrames();
  const std::pair<QAction*, QString> items[] = {{window->FileOpenAction, "Open an SD File"},
                                                {window->FileLoadSceneAction, "Open a Scene File"},
                                                {window->FilePlayFlightpathAction, "Play a Flightpath"}};
  for (const auto& item : items) {
    SCOPED_TRACE(item.second.toStdString());
    WithModal([&]() { item.first->trigger(); },
              [&](QWidget* modal) {
                auto* dialog = window->findChild<QFileDialog*>("open file dialog");
                ASSERT_NE(dialog, nullptr);
                EXPECT_EQ(dialog, modal);
                EXPECT_EQ(dialog->windowTitle(), item.second);
                EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
                dialog->reject();
              });
    EXPECT_EQ(window->findChild<QFileDialog*>("open file dialog"), nullptr);
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_EQ(window->GetLastDirectory(), dir.path() + "/");
    EXPECT_EQ(area->GetRoot()->GetFirstChild(), object);
    EXPECT_EQ(ChildCount(), 1);
    EXPECT_EQ(area->GetOverlay(), overlay);
    EXPECT_EQ(area->GetMovie()->GetNumFrames(), frames);
  }
}

TEST_F(MainWindow, FlightPathsAreReadIntoTheWorkAreasMovie) {
  DesktopRecorder recorder;
  const std::string path = dir.file("tour.fph");
  {
    Movie tour;
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1};
    ASSERT_GE(tour.AddFrame(identity), 0);
    ASSERT_GE(tour.AddFrame(identity), 0);
    ASSERT_EQ(tour.Write(path.c_str()), 0);
  }
  EXPECT_EQ(window->PlayFlightpath(path.c_str()), 0);
  ASSERT_NE(window->m_workarea->GetMovie(), nullptr);
  EXPECT_EQ(window->m_workarea->GetMovie()->GetNumFrames(), 2);
  EXPECT_EQ(window->GetLastDirectory(), dir.path() + "/");
  ASSERT_TRUE(WaitFor([] { return orvanta::PendingMessageCount() == 0; }));
  EXPECT_TRUE(recorder.boxes.empty());

  orvanta_test::TempDir other;
  const std::string bad = other.file("notes.fph");
  ASSERT_TRUE(orvanta_test::WriteFileBytes(bad, "not a flight path"));
  EXPECT_EQ(window->PlayFlightpath(bad.c_str()), -1);
  EXPECT_EQ(window->m_workarea->GetMovie()->GetNumFrames(), 2);  // the old path stays
  EXPECT_EQ(window->GetLastDirectory(), other.path() + "/");
  ASSERT_TRUE(WaitFor([&] { return !recorder.boxes.empty() && orvanta::PendingMessageCount() == 0; }));
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes.back().caption, "Orvanta - Error");
  EXPECT_EQ(recorder.boxes.back().text.toStdString(),
            "ERROR: " + bad + " is not a flight-path file\n\nAn error occured loading the flightpath '" + bad + "'.");
}

TEST_F(MainWindow, ExitAsksFirst) {
  DesktopRecorder recorder(QMessageBox::No);
  window->FileExitAction->trigger();
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].caption, "Exit Orvanta?");
  EXPECT_EQ(recorder.boxes[0].text, "Do you really want to exit?");
  EXPECT_EQ(recorder.boxes[0].icon, QMessageBox::Warning);
  EXPECT_EQ(recorder.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, ExitYesEndsTheProcess) {
  EXPECT_EXIT(
      {
        DesktopRecorder recorder(QMessageBox::Yes);
        window->FileExitSL();
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(MainWindow, ClosingEndsTheProcess) { EXPECT_EXIT(window->close(), ::testing::ExitedWithCode(0), ""); }

TEST_F(MainWindow, HelpPagesOpenThroughTheDesktop) {
  DesktopRecorder recorder;
  window->HelpWRUHomePageAction->trigger();
  window->HelpBrannovickHomePageAction->trigger();
  window->HelpOrvantaHomePageAction->trigger();
  ASSERT_EQ(recorder.urls.size(), 3u);
  for (const QUrl& url : recorder.urls) EXPECT_EQ(url.scheme(), "https") << url.toString().toStdString();
  EXPECT_NE(recorder.urls[0], recorder.urls[1]);
  EXPECT_NE(recorder.urls[1], recorder.urls[2]);
  ASSERT_TRUE(WaitFor([] { return orvanta::PendingMessageCount() == 0; }));
  EXPECT_TRUE(recorder.boxes.empty());
}

// Whatever starts it (a command, a help page through the desktop, a process
// Qt starts), a program the viewer starts once its file writer has set
// itself up meets a file-size limit with the usual action, not with the
// failed writes the viewer chose for itself; commands get that action even
// where the viewer was started with the signal ignored.
TEST_F(MainWindow, ProgramsItStartsGetTheFileSizeLimitsUsualAction) {
  // Each program's shell reports its ignored signals, as the browser does.
  const std::string report = dir.file("ignored"), bin = dir.file("bin");
  const std::string tell = "grep SigIgn /proc/self/status > '" + report + ".part' && mv '" + report + ".part' '" +
                           report + "'";
  ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
  ASSERT_TRUE(orvanta_test::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\n" + tell + "\n"));
  ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
  orvanta_test::ScopedEnv path("PATH", (bin + ":" + getenv("PATH")).c_str());
  struct Row {
    const char* how;
    bool startedIgnored;
    std::function<bool()> start;
  } const rows[] = {
      {"waited command", false, [&] { return Sv_UtlRunProcess(tell.c_str(), 1) == 0; }},
      {"detached command", false, [&] { return Sv_UtlRunProcess(tell.c_str(), 0) == 0; }},
      {"help page", false, [&] { return window->HelpOrvantaHomePageAction->trigger(), true; }},
      {"Qt process", false, [&] { return QProcess::startDetached("/bin/sh", {"-c", QString::fromStdString(tell)}); }},
      {"waited command, viewer started ignoring", true, [&] { return Sv_UtlRunProcess(tell.c_str(), 1) == 0; }},
      {"detached command, viewer started ignoring", true, [&] { return Sv_UtlRunProcess(tell.c_str(), 0) == 0; }}};
  struct sigaction before;
  ASSERT_EQ(sigaction(SIGXFSZ, nullptr, &before), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.how);
    unlink(report.c_str());
    signal(SIGXFSZ, row.startedIgnored ? SIG_IGN : SIG_DFL);
    Sv_AtomicFile writer;
    ASSERT_NE(writer.Open(dir.file("written").c_str()), nullptr);
    ASSERT_TRUE(row.start());
    ASSERT_TRUE(WaitFor([&] { return access(report.c_str(), F_OK) == 0; }));
    const std::string line = orvanta_test::ReadFileBytes(report);
    ASSERT_EQ(line.rfind("SigIgn:", 0), 0u) << line;
    EXPECT_EQ((std::stoull(line.substr(7), nullptr, 16) >> (SIGXFSZ - 1)) & 1, 0u) << line;
  }
  sigaction(SIGXFSZ, &before, nullptr);
}

TEST_F(MainWindow, AboutShowsTheProgramsBox) {
  WithModal([&]() { window->HelpAboutAction->trigger(); },
            [&](QWidget* modal) {
              auto* about = qobject_cast<Qk_AboutDL*>(modal);
              ASSERT_NE(about, nullptr);
              EXPECT_EQ(about->windowTitle(), "About - Orvanta");
              EXPECT_EQ(about->captionLabel->text(), "Orvanta - The Brannovick Viewer");
              EXPECT_EQ(about->versionLabel->text(), "Version 6.1.2b");
              EXPECT_TRUE(about->copyrightLabel->text().contains("1998-2004"));
              EXPECT_EQ(about->parentWidget(), window);
              about->okButton->click();
            });
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindow, StereoActionSwitchesSplitScreen) {
  window->CameraStereoAction->trigger();
  EXPECT_TRUE(window->CameraStereoAction->isChecked());
  EXPECT_EQ(window->m_workarea->GetStereo(), 1);
  window->CameraStereoAction->trigger();
  EXPECT_FALSE(window->CameraStereoAction->isChecked());
  EXPECT_EQ(window->m_workarea->GetStereo(), 0);
}

TEST_F(MainWindow, LogoSitsInTheTopRightCorner) {
  Qk_GLWorkArea* area = window->m_workarea;
  window->CameraResetCameraAction->trigger();
  ASSERT_TRUE(WaitFor([&] { return window->GetLogoTexture() != -1 && !area->IsIdleTimerActive(); }));
  const QImage logo = QImage(":/orvanta/logo.png").convertToFormat(QImage::Format_RGB888);
  ASSERT_EQ(logo.size(), QSize(256, 32));
  area->MakeCurrent();
  const int W = area->GetViewportWidth();
  const int H = area->GetViewportHeight();
  ASSERT_GT(W, 300);
  // A few points of the logo, given in its own pixels from its top left.
  const QPoint points[] = {{5, 5}, {40, 16}, {128, 20}, {250, 28}};
  for (const QPoint& p : points) {
    unsigned char rgb[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(W - 266 + p.x(), H - 10 - 1 - p.y(), 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgb);
    const QColor want = logo.pixelColor(p);
    EXPECT_NEAR(rgb[0], want.red(), 8) << p.x() << "," << p.y();
    EXPECT_NEAR(rgb[1], want.green(), 8) << p.x() << "," << p.y();
    EXPECT_NEAR(rgb[2], want.blue(), 8) << p.x() << "," << p.y();
  }
}
