// Active points in the running viewer: one generated file, read by the main
// window in this process (seen from above: its symbols on screen, a click
// with the selecting tool asking first and then starting the clicked point's
// command once) and by
// the viewer executable given it with -data.

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <regex>
#include <string>

#include "../app/PickTestSupport.h"
#include "../sd_objects/PointSetTestSupport.h"
#include "AppMainSupport.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;
using orvanta_test::ReadFileBytes;

namespace {

// Red cubes 40 m wide on the corners and the centre of the rectangle x
// 500000 ... 501000, y 6000000 ... 6000500 (UTM metres) at the depth
// half-way between two more points at -40 and -10 m (the height the view's
// scale holds for); point i appends "i" to the log when clicked.
bool WriteActivePoints(const std::string& path, const std::string& log) {
  const double x0 = 500000.0, y0 = 6000000.0;
  const double p[7][3] = {{x0, y0, -25},
                          {x0 + 1000, y0, -25},
                          {x0, y0 + 500, -25},
                          {x0 + 1000, y0 + 500, -25},
                          {x0 + 500, y0 + 250, -25},
                          {x0 + 250, y0 + 375, -40},
                          {x0 + 750, y0 + 125, -10}};
  const double* xyz[7] = {p[0], p[1], p[2], p[3], p[4], p[5], p[6]};
  std::string commands[7];
  const char* c[7];
  for (int i = 0; i < 7; ++i) {
    commands[i] = "echo " + std::to_string(i) + " >> '" + log + "'";
    c[i] = commands[i].c_str();
  }
  Sd_ActPoint3D set(7, 3, xyz, nullptr, nullptr, c);
  set.SetSymbolSize(0.2f);
  set.SetSymbolCode(Sd_Point3D::kCube);
  set.SetColourMode(0);
  set.SetColour(PackColour(255, 0, 0, 0));
  return point_test::WriteSD(path, {&set});
}

// Whether a process runs whose command line names the file (the points'
// commands are found by their log's name).
bool CommandRunning(const std::string& file) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::string line = ReadFileBytes(std::string("/proc/") + entry->d_name + "/cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    if (line.find(file) != std::string::npos) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

using PointsInTheWindow = orvanta_mainwindow_test::WindowFixture;

TEST_F(PointsInTheWindow, ShowsTheSymbolsAndAClickAsksThenStartsThatPointsCommand) {
  struct FreshCoordinateType {
    FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
    ~FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
  } fresh;
  const std::string file = dir.file("active.sd");
  const std::string log = dir.file("log");
  ASSERT_TRUE(WriteActivePoints(file, log));
  ASSERT_TRUE(StartWindow({"orvanta"}));
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  auto px = [&](double east) { return view.X(east - 500.0); };
  auto py = [&](double north) { return view.Y(north - 250.0); };
  auto red = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; };
  for (double e : {0.0, 1000.0}) {
    for (double n : {0.0, 500.0}) EXPECT_TRUE(red(view.Pixel(px(e), py(n)))) << e << "," << n;
  }
  EXPECT_TRUE(red(view.Pixel(px(500), py(250))));
  EXPECT_FALSE(red(view.Pixel(px(250), py(250)))) << "nothing between the points";

  // A coordinate readout over a point runs nothing. A click with the
  // selecting tool on the centre point first asks, showing the command and
  // its file with No as the default; No runs nothing.
  Qk_GLWorkArea* area = window->m_workarea;
  pick_test::Move(area, px(500), py(250));
  area->SetInteractionMode(1);
  orvanta_mainwindow_test::DesktopRecorder desktop(QMessageBox::No);
  pick_test::Click(area, px(500), py(250));
  ASSERT_EQ(desktop.boxes.size(), 1u);
  const orvanta_mainwindow_test::RecordedBox asked = desktop.boxes[0];
  const QString fields = asked.fields.join("\n");
  EXPECT_TRUE(fields.contains(QString::fromStdString("echo 4 >> '" + log + "'"))) << fields.toStdString();
  EXPECT_TRUE(fields.contains(QString::fromStdString(file))) << fields.toStdString();
  EXPECT_EQ(asked.defaultButton, QMessageBox::No);
  // Yes runs the clicked point's command once and holds for that command:
  // it then runs again without a question. The log shows the refused
  // command never ran.
  desktop.answer = QMessageBox::Yes;
  pick_test::Click(area, px(0), py(0));
  EXPECT_EQ(desktop.boxes.size(), 2u);
  EXPECT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return ReadFileBytes(log) == "0\n"; })) << ReadFileBytes(log);
  pick_test::Click(area, px(0), py(0));
  EXPECT_EQ(desktop.boxes.size(), 2u) << "asked once per command";
  EXPECT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return ReadFileBytes(log) == "0\n0\n"; })) << ReadFileBytes(log);
  pick_test::Click(area, px(500), py(250));
  EXPECT_EQ(desktop.boxes.size(), 3u) << "another command asks again";
  EXPECT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return ReadFileBytes(log) == "0\n0\n4\n"; }))
      << ReadFileBytes(log);
  // The commands run detached, but each one has started before the click
  // returns: once none of them runs any more, the log holds all they wrote.
  EXPECT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return !CommandRunning(log); }));
  EXPECT_EQ(ReadFileBytes(log), "0\n0\n4\n");
}

// A scene file that arrives to be opened while the question is open waits
// until it is answered: opening it at once would delete the set whose click
// asked.
TEST_F(PointsInTheWindow, AFileArrivingDuringTheQuestionOpensAfterIt) {
  const std::string file = dir.file("active.sd");
  const std::string scene = dir.file("other.scene");
  ASSERT_TRUE(WriteActivePoints(file, dir.file("log")));
  ASSERT_TRUE(StartWindow({"orvanta"}));
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(1000.0);
  Qk_GLWorkArea* area = window->m_workarea;
  ASSERT_EQ(area->SaveScene(scene.c_str(), 0), 0);
  // The shown scene's objects are marked; the scene file's are not.
  auto marked = [&] {
    Sd_Node* first = area->GetRoot() ? area->GetRoot()->GetFirstChild() : nullptr;
    return first && first->GetName() && std::string(first->GetName()) == "asking";
  };
  ASSERT_NE(area->GetRoot()->GetFirstChild(), nullptr);
  area->GetRoot()->GetFirstChild()->SetName("asking");
  area->SetInteractionMode(1);
  orvanta_mainwindow_test::DesktopRecorder desktop(QMessageBox::No);
  desktop.onBox = [&] { window->LoadFileSL(QString::fromStdString(scene)); };
  pick_test::Click(area, view.X(0.0), view.Y(0.0));
  ASSERT_EQ(desktop.boxes.size(), 1u);
  EXPECT_TRUE(marked()) << "nothing opened while asking";
  EXPECT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return !marked(); })) << "the scene file opened after the answer";
}

// The viewer executable reads the file given with -data: the caption names
// it and no error is shown.
TEST(PointsInTheViewer, DataFileWithActivePointsOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteActivePoints(dir.file("active.sd"), dir.file("log")));
  const ViewerRun run = RunViewer({"-data", dir.file("active.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*active\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
  EXPECT_NE(access(dir.file("log").c_str(), F_OK), 0) << "nothing runs while loading or drawing";
}

}  // namespace
