// The View menu and dataset keys, the options file and the Preferences
// dialog, in the real main window.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Sd_AlignmentNode.h"
#include "Sd_Parent.h"
#include "Sv_Debug.h"
#include "WindowFixture.h"

namespace {

using orvanta_mainwindow_test::WaitFor;

std::string Bytes(const std::vector<int>& words, const std::string& dir = "", bool stereoWord = true,
                  int stereo = 0) {
  std::string s;
  auto put = [&](int v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((static_cast<unsigned>(v) >> (8 * i)) & 0xFF));
  };
  for (int w : words) put(w);
  s += dir;
  if (stereoWord) put(stereo);
  return s;
}

class ViewMenuWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    file = dir.file("tiles.sd");
    ASSERT_TRUE(workarea_test::WriteSD(file, {workarea_test::Tile(0, 100, 0, 100, 0, 1, 255, 0, 0),
                                              workarea_test::Tile(100, 200, 0, 100, 0, 1, 0, 255, 0),
                                              workarea_test::Tile(200, 300, 0, 100, 0, 1, 0, 0, 255)}));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  // Waits for the finished picture; the colour at the middle of tile i.
  QRgb TileColour(int i) {
    Qk_GLWorkArea* area = window->m_workarea;
    EXPECT_TRUE(WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); }));
    const SeenFromAbove view = Picture(300.0);
    return view.Pixel(view.X(-100.0 + 100.0 * i), view.Y(0.0));
  }
  // Presses the key in the active window (pressed again when another
  // process on the display had the focus).
  void Press(Qt::Key key, QAction* action) {
    QSignalSpy spy(action, &QAction::triggered);
    ASSERT_TRUE(orvanta_mainwindow_test::PressUntilSignalled(window, window->m_workarea, key, spy));
    ASSERT_EQ(spy.count(), 1);
  }
  std::vector<std::string> Items() {
    std::vector<std::string> out;
    for (QAction* a : window->ViewMenu->actions()) {
      out.push_back(a->text().toStdString() + (a->isChecked() ? "+" : "-") + std::to_string(a->data().toInt()));
    }
    return out;
  }

  workarea_test::TileClasses classes;
  std::string file;
};

}  // namespace

TEST_F(ViewMenuWindow, ItemsAndKeysHideAndShowTheNodesOfTheTree) {
  ASSERT_TRUE(LoadSeenFromAbove(file));
  Sd_AlignmentNode* root = dynamic_cast<Sd_AlignmentNode*>(window->m_workarea->GetRoot());
  ASSERT_NE(root, nullptr);
  // The first two tiles go into a group in front of the third.
  Sd_Node* a = root->GetFirstChild();
  Sd_Node* b = a->GetNext();
  Sd_Parent* group = new Sd_Parent();
  group->SetName("Survey");
  root->UnlinkChild(a);
  root->UnlinkChild(b);
  group->AddChild(a);
  group->AddChild(b);
  root->AddChild(group);
  a->SetName("A");
  b->SetName("B");
  b->GetNext();
  root->GetFirstChild()->SetName("C");
  b->SetVisible(0);
  window->UpdateViewMenu();
  window->m_workarea->UpdateGL();
  EXPECT_EQ(Items(), (std::vector<std::string>{"C+10001", "Survey+10002", "A+10003", "B-10004"}));

  const QRgb background = TileColour(1);  // B is hidden
  EXPECT_EQ(qRed(TileColour(0)), 255);
  // Choosing the item hides A; choosing it again shows it.
  QAction* itemA = window->ViewMenu->actions()[2];
  itemA->trigger();
  EXPECT_EQ(a->GetVisible(), 0);
  EXPECT_FALSE(itemA->isChecked());
  EXPECT_EQ(TileColour(0), background);
  itemA->trigger();
  EXPECT_EQ(a->GetVisible(), 1);
  EXPECT_TRUE(itemA->isChecked());
  EXPECT_EQ(qRed(TileColour(0)), 255);

  // Key 3 twice: A hidden, then back with its check.
  Press(Qt::Key_3, window->ToogleData3Action);
  EXPECT_EQ(TileColour(0), background);
  EXPECT_FALSE(itemA->isChecked());
  Press(Qt::Key_3, window->ToogleData3Action);
  EXPECT_EQ(qRed(TileColour(0)), 255);
  EXPECT_TRUE(itemA->isChecked());
  // Key 4 shows B; key 0 has no tenth node.
  Press(Qt::Key_4, window->ToogleData4Action);
  EXPECT_EQ(qGreen(TileColour(1)), 255);
  Press(Qt::Key_0, window->ToogleData10Action);
  EXPECT_EQ(Items(), (std::vector<std::string>{"C+10001", "Survey+10002", "A+10003", "B+10004"}));

  // A file added with LoadFileSL: the keys use the current tree, the menu
  // stays as built.
  const std::string more = dir.file("more.sd");
  ASSERT_TRUE(workarea_test::WriteSD(more, {workarea_test::Tile(0, 10, 0, 10, 0, 1)}));
  window->LoadFileSL(QString::fromStdString(more));
  Press(Qt::Key_5, window->ToogleData5Actionn);
  EXPECT_EQ(root->GetFirstChild()->GetNext()->GetNext()->GetVisible(), 0);
  EXPECT_EQ(window->ViewMenu->actions().size(), 4);
}

TEST_F(ViewMenuWindow, AnEmptySceneShowsADisabledNone) {
  window->UpdateViewMenu();
  ASSERT_EQ(Items(), (std::vector<std::string>{"none-9999"}));
  EXPECT_FALSE(window->ViewMenu->actions()[0]->isEnabled());
  window->ViewItemActivateSL(9999);
  Press(Qt::Key_1, window->ToogleData1Action);
  EXPECT_EQ(Items(), (std::vector<std::string>{"none-9999"}));
}

class OptionsWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  // The program path the window is given: the options file is looked for
  // in its folder.
  std::string Program() { return dir.file("bin/orvanta"); }
  std::string Options() { return dir.file("bin/pc_orvantaOptions"); }
  void SetUp() override { ASSERT_EQ(mkdir(dir.file("bin").c_str(), 0700), 0); }
  void TearDown() override {
    unsetenv("ORVANTA_TEST_PROGRAM");
    WindowFixture::TearDown();
  }
  // A new window with the program path, as a program starts: the number of
  // boxes whose text holds named, -1 when the window did not start.
  int Restart(const std::string& named) {
    delete window;
    window = nullptr;
    orvanta_mainwindow_test::DesktopRecorder boxes;
    if (!StartWindow({QString::fromStdString(Program())}, QSize(), true)) return -1;
    orvanta::ShowPendingMessages();
    int n = 0;
    for (const auto& box : boxes.boxes) n += box.text.contains(QString::fromStdString(named)) ? 1 : 0;
    return n;
  }
  // Closes the window (or chooses File > Exit) in a death test's child,
  // which must end with 0. The child runs the test anew in a folder of its
  // own: it is told the parent's program path, which it keeps.
  void EndInChild(bool fileExit = false) {
    setenv("ORVANTA_TEST_PROGRAM", Program().c_str(), 0);
    const QString program = QString::fromLocal8Bit(getenv("ORVANTA_TEST_PROGRAM"));
    EXPECT_EXIT(
        {
          window->SetArguments({program});
          if (fileExit) {
            window->FileExitSL();
          } else {
            window->close();
          }
        },
        ::testing::ExitedWithCode(0), "");
  }
};

TEST_F(OptionsWindow, ClosingWritesTheLayoutAndTheNextStartRestoresIt) {
  ASSERT_TRUE(StartWindow({QString::fromStdString(Program())}, QSize(700, 500)));
  window->setGeometry(40, 50, 640, 480);
  const std::string folder = dir.file("data/");
  // The folder of the last file opened (the file need not load).
  {
    orvanta_mainwindow_test::DesktopRecorder quiet;
    window->LoadDataFile((folder + "x.sd").c_str());
    orvanta::ShowPendingMessages();
  }
  EndInChild();
  const std::string bytes = orvanta_test::ReadFileBytes(Options());
  // The child's folder has a name of its own, of the same length.
  const QRect g = window->geometry();
  ASSERT_EQ(bytes.size(), 36 + folder.size());
  EXPECT_EQ(bytes.substr(0, 32),
            Bytes({0x5B3C2A8F, 1, g.x(), g.y(), g.width(), g.height(), 0, static_cast<int>(folder.size())}, "", false));
  EXPECT_EQ(bytes.substr(32 + folder.size() - 6), "/data/" + Bytes({0}, "", false));
  // A second window with that program path comes back where the first was,
  // in the stored folder, in stereo.
  ASSERT_TRUE(orvanta_test::WriteFileBytes(
      Options(), Bytes({0x5B3C2A8F, 1, 60, 70, 800, 600, 0, static_cast<int>(folder.size())}, folder, true, 1)));
  delete window;
  window = nullptr;
  ASSERT_TRUE(StartWindow({QString::fromStdString(Program())}));
  EXPECT_EQ(window->geometry(), QRect(60, 70, 800, 600));
  EXPECT_EQ(window->GetLastDirectory(), folder);
  EXPECT_EQ(window->GetStereoAtStartup(), 1);
  EXPECT_TRUE(window->CameraStereoAction->isChecked());
  // A window closed maximized comes back maximized.
  ASSERT_TRUE(orvanta_test::WriteFileBytes(Options(), Bytes({0x5B3C2A8F, 1, 60, 70, 800, 600, 1, 0})));
  window->LoadConfigurationFile();
  EXPECT_TRUE(WaitFor([&] { return window->isMaximized(); }));
}

TEST_F(OptionsWindow, FileExitWritesNothing) {
  ASSERT_TRUE(StartWindow({QString::fromStdString(Program())}, QSize(700, 500)));
  ASSERT_TRUE(orvanta_test::WriteFileBytes(Options(), "old"));
  orvanta_mainwindow_test::DesktopRecorder yes(QMessageBox::Yes);
  EndInChild(true);
  EXPECT_EQ(orvanta_test::ReadFileBytes(Options()), "old");
}

TEST_F(OptionsWindow, OlderFilesApplyWhatTheyHoldForeignOnesNothing) {
  ASSERT_TRUE(StartWindow({QString::fromStdString(Program())}, QSize(700, 500)));
  const QRect start = window->geometry();
  struct Case {
    std::string bytes;
    bool geometry;
    std::string folder;
    int stereo;
  };
  const Case cases[] = {
      // The older magic: geometry and folder, stereo stays off.
      {Bytes({0x4B3C2A8F, 30, 40, 800, 600, 0, 3}, "/a/", false), true, "/a/", 0},
      // A length word beyond 255: what comes before it is applied. A cut in
      // the geometry, a foreign magic: nothing is applied.
      {Bytes({0x5B3C2A8F, 1, 30, 40, 800, 600, 0, 300}, "", true, 1), true, "/a/", 0},
      {Bytes({0x5B3C2A8F, 1, 30, 40, 800}, "", false), false, "/a/", 0},
      {Bytes({0x12345678, 1, 30, 40, 800, 600, 0, 0}, "", true, 1), false, "/a/", 0},
  };
  // What a file does not give keeps the value the one before gave.
  orvanta_mainwindow_test::DesktopRecorder boxes;
  for (const Case& k : cases) {
    window->setGeometry(start);
    ASSERT_TRUE(WaitFor([&] { return window->geometry() == start; }));
    ASSERT_TRUE(orvanta_test::WriteFileBytes(Options(), k.bytes));
    window->LoadConfigurationFile();
    EXPECT_EQ(window->geometry(), k.geometry ? QRect(30, 40, 800, 600) : start) << k.bytes.size();
    EXPECT_EQ(window->GetLastDirectory(), k.folder);
    EXPECT_EQ(window->GetStereoAtStartup(), k.stereo);
  }
}

TEST_F(OptionsWindow, HostileFilesStillStartWithAWindowThatFitsTheScreen) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const int m = 0x5B3C2A8F;
  struct Case {
    std::string bytes;
    int messages;  // boxes naming the options file
    QRect window;  // null: only that it fits the screen
    bool maximized;
    std::string folder;
    int stereo;
  };
  const QRect stored(10, 20, 800, 600);
  const Case cases[] = {
      {Bytes({m, 1, 0, 0, 100000, 100000, 0, 0}), 0, screen, false, "", 0},
      // Off every screen: the window opens as on a first start.
      {Bytes({m, 1, -90000, -90000, 800, 600, 0, 0}), 0, screen, true, "", 0},
      {Bytes({m, 1, 10, 20, 20, 10, 0, 0}), 0, QRect(10, 20, orvanta::kBaseWidth, orvanta::kBaseHeight), false, "", 0},
      {Bytes({m, 1, 0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff, 0, 0}), 1, QRect(), true, "", 0},
      // What is sound is taken from a file with refused fields.
      {Bytes({m, 1, 10, 20, -800, -600, 0, 3}, "/\n/", true, 1), 1, QRect(), true, "/\n/", 1},
      // Any stereo word but 0 starts in stereo.
      {Bytes({m, 1, 10, 20, 800, 600, 0, 0}, "", true, 7), 0, stored, false, "", 1},
      // Any version is read; bytes past the layout are not.
      {Bytes({m, 9, 10, 20, 800, 600, 0, 3}, "/a/", true, 1) + std::string(4000, 'x'), 0, stored, false, "/a/", 1},
      // A file cut short keeps the fields it holds whole.
      {Bytes({m, 1, 10, 20, 800, 600, 0, 3}, "/a/", false), 1, stored, false, "/a/", 0},
      {Bytes({m, 1, 10, 20, 800, 600, 0, 4}, "/a/", false), 1, stored, false, "", 0},
      // Any maximized word but 0 maximizes; a rectangle it does not use
      // may be anything.
      {Bytes({m, 1, 10, 20, 800, 600, 7, 0}), 0, QRect(), true, "", 0},
      {Bytes({m, 1, 0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff, 1, 3}, "/a/"), 0, QRect(), true, "/a/", 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(&k - cases);
    ASSERT_TRUE(orvanta_test::WriteFileBytes(Options(), k.bytes));
    const int named = Restart(Options());
    ASSERT_GE(named, 0);
    EXPECT_EQ(named, k.messages);
    EXPECT_TRUE(WaitFor([&] { return k.window.isNull() || window->geometry() == k.window; }));
    EXPECT_TRUE(WaitFor([&] { return window->isMaximized() == k.maximized; }));
    EXPECT_TRUE(screen.contains(window->geometry()));
    EXPECT_EQ(window->GetLastDirectory(), k.folder);
    EXPECT_EQ(window->GetStereoAtStartup(), k.stereo);
  }
}

// Only a file this program wrote is replaced at close: a file of the options
// file's name that is not one, also behind a link, survives a start and a
// close byte for byte; the user's files beside it survive; a set-id bit is
// not carried over, an access ACL is. An empty file, or one that ends within
// the magic, holds nothing and is replaced.
TEST_F(OptionsWindow, ACloseReplacesOnlyAnOptionsFile) {
  const std::string notes = dir.file("notes.txt"), text = "my notes\n" + std::string(64881, 'n');
  struct Row {
    bool link;
    std::string bytes;
    unsigned mode, after;  // the mode after the close, 0 where the file is kept
    std::string acl;
  } const rows[] = {{true, text, 0644, 0, ""},
                    {false, text, 0644, 0, ""},
                    {false, Bytes({0x5B3C2A8F, 1, 60, 70, 800, 600, 0, 0}), 06755, 0755, ""},
                    {false, Bytes({0x4B3C2A8F, 60, 70}, "", false), 0600, 0600, ""},
                    {false, "", 0640, 0640, ""},
                    {false, "\x8f\x2a", 0600, 0600, ""},
                    {false, "", 0660, 0660, orvanta_test::NamedUserAcl()}};
  const std::string beside[] = {dir.file("bin/.pc_orvantaOptions.backup"), dir.file("bin/.pc_orvantaOptions.old123")};
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    const std::string file = row.link ? notes : Options();
    unlink(Options().c_str());
    ASSERT_TRUE(orvanta_test::WriteFileBytes(file, row.bytes));
    ASSERT_EQ(chmod(file.c_str(), row.mode), 0);
    if (!row.acl.empty() && !orvanta_test::SetAcl(file, row.acl)) continue;  // a file system without ACLs
    ASSERT_TRUE(!row.link || symlink(notes.c_str(), Options().c_str()) == 0);
    for (const std::string& b : beside) ASSERT_TRUE(orvanta_test::WriteFileBytes(b, "the user's"));
    Sv_Debug::ForgetReported();
    const int kept = Restart(Options() + "' is kept");
    ASSERT_GE(kept, 0);
    EXPECT_EQ(kept, row.after ? 0 : 1);
    EndInChild();
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    const std::string bytes = orvanta_test::ReadFileBytes(file);
    if (row.after) {
      EXPECT_EQ(bytes.substr(0, 8), Bytes({0x5B3C2A8F, 1}, "", false));
      EXPECT_EQ(st.st_mode & 07777, row.after);
      EXPECT_EQ(orvanta_test::GetAcl(file), row.acl);
    } else {
      EXPECT_EQ(bytes, row.bytes);
    }
    for (const std::string& b : beside) EXPECT_EQ(orvanta_test::ReadFileBytes(b), "the user's");
  }
}

TEST_F(OptionsWindow, AProgramFolderThatTakesNoFilesPutsTheOptionsInHome) {
  ASSERT_TRUE(StartWindow({"/proc/orvanta"}));
  char* name = window->GetOptionsFileName();
  EXPECT_EQ(std::string(name), dir.file("pc_orvantaOptions"));
  free(name);
  window->SetArguments({QString::fromStdString(Program())});
  name = window->GetOptionsFileName();
  EXPECT_EQ(std::string(name), Options());
  free(name);
}

TEST_F(OptionsWindow, PreferencesWriteAtOnceOnlyAChangedChoice) {
  ASSERT_TRUE(StartWindow({QString::fromStdString(Program())}));
  // Answers the dialog once it is open: optionally ticks the box, then
  // presses the button.
  auto answer = [&](bool tick, const char* button) {
    QTimer::singleShot(0, [=] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      if (tick) dialog->findChild<QCheckBox*>("stereoStartupCheck")->click();
      dialog->findChild<QPushButton*>(button)->click();
    });
    window->FilePreferencesSL();
  };
  answer(false, "buttonOk");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Options()))) << "OK without a change writes nothing";
  answer(true, "buttonCancel");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Options())));
  EXPECT_EQ(window->GetStereoAtStartup(), 0);
  answer(true, "buttonOk");
  EXPECT_EQ(window->GetStereoAtStartup(), 1);
  const std::string bytes = orvanta_test::ReadFileBytes(Options());
  ASSERT_GE(bytes.size(), 36u);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x01\0\0\0", 4));
  EXPECT_FALSE(window->CameraStereoAction->isChecked()) << "stereo starts with the next start";
  struct stat before, after;
  ASSERT_EQ(stat(Options().c_str(), &before), 0);
  answer(false, "buttonOk");
  ASSERT_EQ(stat(Options().c_str(), &after), 0);
  // Every write replaces the file (a new inode): the same one was not touched.
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(orvanta_test::ReadFileBytes(Options()), bytes);
}
