// Scene files in the main window: a saved view comes back whole, from the
// File menu's loader and from the command line (where it wins over a data
// file); damaged scene files and failed saves change nothing. The file
// history records what is loaded, survives damaged and unwritable history
// files, and the save dialog asks before it replaces a file.

#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>

#include <functional>
#include <string>

#include "AppMainSupport.h"
#include "FileHistory.h"
#include "Qk_FileDialogs.h"
#include "Qk_GLWorkArea.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_AlignmentNode.h"
#include "Sd_DTMClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Node.h"
#include "Sd_Parent.h"
#include "Sd_SceneFile.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"
#include "TDR_Manager.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::DesktopRecorder;
using orvanta_mainwindow_test::WaitFor;
using orvanta_test::ReadFileBytes;
using orvanta_test::WriteFileBytes;

namespace {

class SceneWindow : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  void TearDown() override {
    Qk_SetFileDialogHook(nullptr);
    TerrainWindowFixture::TearDown();
  }

  // The pictures compared are best passes alone. In the window's own mode
  // the best pass refines over the coarse frame, which stays wherever the
  // best pass draws nothing (around the terrain's edges); the coarse frame's
  // level of detail follows the measured frame time, so those pixels would
  // depend on how busy the machine is.
  bool Start(const QStringList& args) {
    if (!StartWindow(args, QSize(640, 480))) return false;
    area = window->m_workarea;
    nav = dynamic_cast<Qk_NavigatorOverlay*>(area->GetOverlay());
    if (!nav || !Settle()) return false;
    area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_BACK);
    area->UpdateGL();
    return Settle();
  }
  // Closes the window as the fixture does and starts another one.
  bool Restart(const QStringList& args) {
    WindowFixture::TearDown();
    return Start(args);
  }

  QImage Grab() { return window->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  int DifferentViewPixels(const QImage& a, const QImage& b) {
    const QRect r(area->mapTo(window, QPoint(0, 0)) * a.devicePixelRatio(), area->size() * a.devicePixelRatio());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
      for (int x = r.left(); x <= r.right(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    }
    return n;
  }
  bool SameCamera(const Sv_Matrix4& m) {
    const Sv_Matrix4 now = nav->GetViewMatrix();
    for (int i = 0; i < 16; ++i) {
      if (now.GetData()[i] != m.GetData()[i]) return false;
    }
    return true;
  }
  static bool SawError(const DesktopRecorder& recorder, const QString& text) {
    for (const auto& box : recorder.boxes) {
      if (box.caption == "Orvanta - Error" && box.text.contains(text)) return true;
    }
    return false;
  }

  Qk_GLWorkArea* area = nullptr;
  Qk_NavigatorOverlay* nav = nullptr;
};

// A small scene of two groups (no drawing needed) with a settings record of
// the given tag version.
bool WriteGroupScene(const std::string& path, int tagVersion, float cameraBaseScale) {
  Sd_AlignmentNode root;
  Sd_Parent group;
  root.SetName("Root Node");
  group.SetName("Group");
  group.SetBounds(0, 0.0f, 100.0f);
  group.SetBounds(1, 0.0f, 100.0f);
  root.AddChild(&group);
  Sd_SceneSettings s;
  s.cameraBaseScale = cameraBaseScale;
  TDR_Manager m;
  bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0;
  ok = ok && Sd_SceneFile::WriteRecord(&m, s, tagVersion) == 0;
  ok = ok && Sd_IOSupport(&root).WriteHierarchy(&m) == 0 && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  root.RemoveChild(&group);
  return m.CloseFile() == 0 && ok;
}

TEST_F(SceneWindow, ASavedViewComesBackWholeAndBadFilesChangeNothing) {
  ASSERT_TRUE(Start({"orvanta", "-data", ORVANTA_SAMPLE_SD}));
  // A turned view, so that a camera reset would show.
  nav->SetHeading(30.0);
  area->UpdateGL();
  ASSERT_TRUE(Settle());
  const QImage saved = Grab();
  const Sv_Matrix4 camera = nav->GetViewMatrix();
  const QString exaggeration = window->ExagEdit->text();
  const long nodes = Sd_Node::LiveCount();

  const std::string scene = dir.file("view.scene");
  ASSERT_EQ(area->SaveScene(scene.c_str(), 1), 0);
  EXPECT_STREQ(FileHistory::Instance()->GetSceneFile(0), scene.c_str());
  const std::string bytes = ReadFileBytes(scene);
  {
    // A save that fails part-way leaves the file as it was.
    orvanta_test::FileSizeLimit limit(static_cast<long long>(bytes.size()) / 2);
    ASSERT_TRUE(limit.ok());
    EXPECT_EQ(area->SaveScene(scene.c_str(), 0), -1);
  }
  EXPECT_EQ(ReadFileBytes(scene), bytes);

  // Damaged scene files: cut at a spread of places, a data file, a scene
  // record without a tree, a tree that does not start with a group.
  std::vector<std::string> bad;
  for (size_t n = 0; n < bytes.size(); n += bytes.size() / 13 + 1) {
    bad.push_back(dir.file("cut" + std::to_string(n) + ".scene"));
    ASSERT_TRUE(WriteFileBytes(bad.back(), bytes.substr(0, n)));
  }
  bad.push_back(ORVANTA_SAMPLE_SD);
  bad.push_back(dir.file("no-tree.scene"));
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(bad.back().c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    ASSERT_EQ(Sd_SceneFile::WriteRecord(&m, Sd_SceneSettings()), 0);
    ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
    ASSERT_EQ(m.CloseFile(), 0);
  }
  bad.push_back(dir.file("leaf-first.scene"));
  {
    Sd_Node leaf;
    ASSERT_EQ(Sd_SceneFile::Write(bad.back().c_str(), Sd_SceneSettings(), &leaf), 0);
  }
  const QString caption = window->windowTitle();
  for (const std::string& file : bad) {
    SCOPED_TRACE(file);
    DesktopRecorder recorder;
    EXPECT_EQ(window->LoadSceneFile(file.c_str()), -1);
    EXPECT_EQ(window->windowTitle(), caption) << "the caption names the scene still shown";
    const QString message = QString::fromStdString("File \"" + file + "\" is not a valid scene file.");
    EXPECT_TRUE(WaitFor([&] { return SawError(recorder, message); }));
    EXPECT_EQ(Sd_Node::LiveCount(), nodes);
    EXPECT_TRUE(SameCamera(camera));
    EXPECT_EQ(window->ExagEdit->text(), exaggeration);
  }
  area->UpdateGL();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(DifferentViewPixels(saved, Grab()), 0);

  // Another scene in between, then the saved one: the same picture again.
  const std::string groups = dir.file("groups.scene");
  ASSERT_TRUE(WriteGroupScene(groups, 3, 50.0f));
  ASSERT_EQ(window->LoadSceneFile(groups.c_str()), 0);
  ASSERT_TRUE(Settle());
  EXPECT_GT(DifferentViewPixels(saved, Grab()), 1000);
  ASSERT_EQ(window->LoadSceneFile(scene.c_str()), 0);
  EXPECT_TRUE(window->windowTitle().endsWith("view.scene"));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(window->ExagEdit->text(), exaggeration);
  EXPECT_LT(DifferentViewPixels(saved, Grab()), 200);

  // A record of tag version 2 leaves the camera's base scale alone.
  area->GetCamera()->SetBaseScale(77.0f);
  const std::string v2 = dir.file("v2.scene");
  ASSERT_TRUE(WriteGroupScene(v2, 2, 20.0f));
  ASSERT_EQ(area->LoadScene(v2.c_str(), 0), 0);
  EXPECT_EQ(area->GetCamera()->GetBaseScale(), 77.0f);

  // From the command line the scene wins over a data file.
  ASSERT_TRUE(Restart({"orvanta", "-data", QString::fromStdString(groups), "-scene", QString::fromStdString(scene)}));
  const std::string shown = scene.size() > 40 ? "... " + scene.substr(scene.size() - 36) : scene;
  EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta -- " + shown);
  EXPECT_EQ(window->ExagEdit->text(), exaggeration);
  EXPECT_LT(DifferentViewPixels(saved, Grab()), 200);
}

TEST_F(SceneWindow, ASavedViewKeepsItsCentreWhateverTheExaggerationBefore) {
  ASSERT_TRUE(Start({"orvanta", "-data", ORVANTA_SAMPLE_SD}));
  // Saved at exaggeration 12 with the orbit centre at z 100.
  area->SetVertExag(12.0f);
  nav->SetCentre(10.0, -20.0, 100.0);
  const std::string scene = dir.file("centre.scene");
  ASSERT_EQ(area->SaveScene(scene.c_str(), 0), 0);
  const auto centreComesBack = [&] {
    EXPECT_FLOAT_EQ(area->GetVertExag(), 12.0f);
    EXPECT_NEAR(nav->GetCentre()[0], 10.0, 1e-3);
    EXPECT_NEAR(nav->GetCentre()[1], -20.0, 1e-3);
    EXPECT_NEAR(nav->GetCentre()[2], 100.0, 1e-3);
  };

  // Reloaded after switching to 3.
  area->SetVertExag(3.0f);
  ASSERT_EQ(window->LoadSceneFile(scene.c_str()), 0);
  centreComesBack();
  // On a fresh start (exaggeration 1 until the scene brings its own).
  ASSERT_TRUE(Restart({"orvanta", "-scene", QString::fromStdString(scene)}));
  centreComesBack();
  EXPECT_EQ(window->ExagEdit->text(), "Vertical Exaggeration: 12.00000");
}

TEST_F(SceneWindow, FilesWithoutAWholeSceneRecordSayWhatIsMissing) {
  ASSERT_TRUE(Start({"orvanta"}));
  // Corpus files the object reader takes: a bare hierarchy, and a scene
  // record of four bytes. A scene needs the record's camera and view.
  const std::string corpus = std::string(ORVANTA_CORPUS_DIR) + "/graph/";
  const std::pair<std::string, std::string> cases[] = {
      {"old-start-record.scene", "It does not begin with the scene record (tag 20002, BK_SCENE) that holds its camera "
                                 "and view; its first record is tag 9900, SD_HIERARCHY."},
      {"nested.scene", "Its scene record (tag 20002, BK_SCENE) is cut short: it holds 4 bytes, fewer than its camera "
                       "and view settings need."}};
  for (const auto& k : cases) {
    DesktopRecorder recorder;
    EXPECT_EQ(window->LoadSceneFile((corpus + k.first).c_str()), -1);
    ASSERT_TRUE(WaitFor([&] { return !recorder.boxes.empty(); }));
    EXPECT_EQ(recorder.boxes.front().text.toStdString(),
              "File \"" + corpus + k.first + "\" is not a valid scene file.\n" + k.second);
  }
}

// The file dialog hook's state: how often the dialog was shown and what the
// user chose there.
int g_dialogs = 0;
QString g_choice;
int ChooseName(QFileDialog*, QStringList* chosen) {
  ++g_dialogs;
  *chosen = QStringList{g_choice};
  return QDialog::Accepted;
}

TEST_F(SceneWindow, HistoryRecordsLoadsSurvivesBadHistoryFilesAndTheSaveDialogAsks) {
  ASSERT_TRUE(Start({"orvanta"}));
  const std::string scene = dir.file("groups.scene");
  ASSERT_TRUE(WriteGroupScene(scene, 3, 50.0f));
  const std::string history = dir.file("pc_filehistory");

  // The load-file slot records a scene file and its folder.
  window->LoadFileSL(QString::fromStdString(scene));
  EXPECT_STREQ(area->GetRoot()->GetFirstChild()->GetName(), "Group");
  FileHistory* h = FileHistory::Instance();
  EXPECT_EQ(h->GetSceneFileCount(), 1);
  EXPECT_STREQ(h->GetSceneFile(0), scene.c_str());
  EXPECT_STREQ(h->GetDirectory(0), (dir.path() + "/").c_str());

  // A damaged history and one that cannot be written: loading works, the
  // history's bytes stay as they were.
  std::string damaged = ReadFileBytes(history);
  damaged[4] = 99;  // N: 99 lists entries the file is too short for
  ASSERT_TRUE(WriteFileBytes(history, damaged));
  {
    DesktopRecorder quiet;
    window->LoadFileSL(QString::fromStdString(scene));
    EXPECT_STREQ(area->GetRoot()->GetFirstChild()->GetName(), "Group");
    EXPECT_EQ(ReadFileBytes(history), damaged);
    orvanta::ShowPendingMessages();
  }
  std::string good = damaged;
  good[4] = 10;
  ASSERT_TRUE(WriteFileBytes(history, good));
  {
    DesktopRecorder quiet;
    orvanta_test::FileSizeLimit limit(1000);
    ASSERT_TRUE(limit.ok());
    const long before = Sd_Node::LiveCount();
    window->LoadFileSL(QString::fromStdString(scene));
    EXPECT_EQ(Sd_Node::LiveCount(), before);  // the new tree took the old one's place
    EXPECT_EQ(ReadFileBytes(history), good);
    orvanta::ShowPendingMessages();
  }

  // The save dialog onto an existing name (the extension comes from the
  // filter): the question, No shows the dialog again, Yes takes the name
  // and records it.
  Qk_SetFileDialogHook(ChooseName);
  g_dialogs = 0;
  g_choice = QString::fromStdString(dir.file("groups"));
  DesktopRecorder recorder(QMessageBox::No);
  recorder.onBox = [&] { recorder.answer = recorder.boxes.size() < 2 ? QMessageBox::No : QMessageBox::Yes; };
  const QString name = Qk_GetSaveFileName(QString(), "Scene Files (*.scene);;All Files (*)", window, "save dialog",
                                          "Save a Scene", nullptr, true, true, true, true);
  EXPECT_EQ(name.toStdString(), scene);
  EXPECT_EQ(g_dialogs, 2);
  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(recorder.boxes[0].caption, "Save file");
  EXPECT_EQ(recorder.boxes[0].text, QString::fromStdString("File '" + scene + "' already exists. Do you want to replace it?"));
  EXPECT_EQ(recorder.boxes[0].defaultButton, QMessageBox::Yes);
  EXPECT_EQ(recorder.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_STREQ(FileHistory::Instance()->GetSceneFile(0), scene.c_str());
  EXPECT_EQ(FileHistory::Instance()->GetSceneFileCount(), 1);
}

}  // namespace
