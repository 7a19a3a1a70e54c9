// Point sets and active point sets on screen: symbols and their colours,
// labels, the progressive pass, GL points, and the depth picks that start an
// active point's command.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../sd_objects/PointSetTestSupport.h"
#include "DepthPicker.h"
#include "GLTestFixture.h"
#include "Sv_HersheyFont.h"
#include "TestSupport.h"

using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using point_test::MakeSet;
using point_test::Spec;

namespace {

class PointSetDraw : public orvanta_test::GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    Sv_HersheySetBuiltIn(1);  // as the viewer does at start
    Sd_Node::SetDetailBudget(0.0f);
    Sd_Node::SetBestPass(0);
  }
  void TearDown() override {
    Sv_HersheySetBuiltIn(0);
    GLTest::TearDown();
  }
  // The unit box seen from above, -0.75 ... 0.75 across the framebuffer.
  static void TopDown() {
    glMatrixMode(GL_PROJECTION);
    glOrtho(-0.75, 0.75, -0.75, 0.75, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
  }
  // The pixel of a normalised coordinate in that view.
  static int Px(double n) { return static_cast<int>((n + 0.75) / 1.5 * kWidth); }

  orvanta_test::NoMachineSettings env;
};

// Four corners of a 10 x 10 square at heights 0, 4, 8 and 10; cubes of a
// tenth of the box.
std::unique_ptr<Sd_Point3D> Corners(bool labels = false) {
  auto set = MakeSet(false, 3,
                     {{0, 0, 0, 0, "W", nullptr},
                      {10, 0, 4, 0, nullptr, nullptr},
                      {0, 10, 8, 0, "W", nullptr},
                      {10, 10, 10, 0, nullptr, nullptr}},
                     false, labels);
  set->SetSymbolSize(0.5f);
  set->SetColour(PackColour(255, 0, 0, 0));
  return set;
}

bool SameColour(orvanta_test::GLPixel p, unsigned c) {
  return p.r == ColourRed(c) && p.g == ColourGreen(c) && p.b == ColourBlue(c);
}

// Waits (with a safety limit) until the file holds the text.
bool WaitForText(const std::string& path, const std::string& text) {
  for (int i = 0; i < 1000; ++i) {
    if (ReadFileBytes(path) == text) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ReadFileBytes(path) == text;
}

}  // namespace

TEST_F(PointSetDraw, SymbolsLandOnTheirPointsInTheObjectColourOrByHeight) {
  TopDown();
  auto set = Corners();
  const int lo = Px(-0.5), hi = Px(0.5);
  set->Render();
  for (int x : {lo, hi}) {
    for (int y : {lo, hi}) EXPECT_TRUE(SameColour(ReadPixel(x, y), PackColour(255, 0, 0, 255))) << x << "," << y;
  }
  EXPECT_EQ(Brightness(Px(0.0), Px(0.0)), 0) << "nothing between the points";
  EXPECT_LT(InkBox().xMax - InkBox().xMin, Px(0.62) - Px(-0.62)) << "symbols of a tenth of the box";

  Clear();
  set->SetColorMap(point_test::RampColourMap());
  set->SetColourMode(1);
  set->Render();
  EXPECT_TRUE(SameColour(ReadPixel(lo, lo), PackColour(0, 0, 255, 0)));
  EXPECT_TRUE(SameColour(ReadPixel(hi, lo), PackColour(102, 0, 153, 0)));
  EXPECT_TRUE(SameColour(ReadPixel(lo, hi), PackColour(204, 0, 51, 0)));
  EXPECT_TRUE(SameColour(ReadPixel(hi, hi), PackColour(255, 0, 0, 0)));
}

TEST_F(PointSetDraw, LabelsStartRightOfTheirSymbols) {
  TopDown();
  auto set = Corners(true);
  ASSERT_TRUE(set->GetFont());
  set->SetShowLabels(0);
  set->Render();
  std::vector<int> plain(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) plain[y * kWidth + x] = Brightness(x, y);
  }
  Clear();
  set->SetShowLabels(1);
  set->Render();
  // Every pixel the labels add lies right of a labelled symbol (points 0 and
  // 2, on the left), within two symbols' height above its bottom.
  const int symbolHalf = (Px(0.05) - Px(-0.05)) / 2;
  int added = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      if (Brightness(x, y) == 0 || plain[y * kWidth + x] != 0) continue;
      ++added;
      EXPECT_GT(x, Px(-0.5) + symbolHalf) << x << "," << y;
      const bool nearRow = (y >= Px(-0.5) - symbolHalf && y <= Px(-0.5) + 4 * symbolHalf) ||
                           (y >= Px(0.5) - symbolHalf && y <= Px(0.5) + 4 * symbolHalf);
      EXPECT_TRUE(nearRow) << x << "," << y;
    }
  }
  EXPECT_GT(added, 20);
}

TEST_F(PointSetDraw, ProgressivePassDrawsFiveHundredPointsAStepAndAbandonsCleanly) {
  TopDown();
  std::vector<Spec> grid;
  for (int i = 0; i < 1200; ++i) grid.push_back({double(i % 40), double(i / 40), double(i % 7), 0, nullptr, nullptr});
  auto set = MakeSet(false, 3, grid);
  set->SetSymbolCode(Sd_Point3D::kSquare);
  set->ResetSettings();
  set->Render();
  std::vector<int> whole;
  for (int y = 0; y < kHeight; y += 3) {
    for (int x = 0; x < kWidth; x += 3) whole.push_back(Brightness(x, y));
  }
  Clear();
  EXPECT_EQ(set->StepRender(), 0);
  EXPECT_EQ(set->GetStepStride(), 1);
  for (int cursor : {500, 1000, 1200}) {
    EXPECT_EQ(set->StepRender(), 0);
    EXPECT_EQ(set->GetStepCursor(), cursor);
    EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass keeps its matrix between steps";
  }
  EXPECT_EQ(set->StepRender(), 1) << "three drawing steps, then the finishing step";
  EXPECT_EQ(set->GetDrawn(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  std::vector<int> stepped;
  for (int y = 0; y < kHeight; y += 3) {
    for (int x = 0; x < kWidth; x += 3) stepped.push_back(Brightness(x, y));
  }
  EXPECT_TRUE(stepped == whole) << "the pass drew other pixels than Render";

  // Abandoned after each stage: the next call ends the pass, stacks balanced.
  for (int steps : {1, 2}) {
    for (int i = 0; i < steps; ++i) EXPECT_EQ(set->StepRender(), 0);
    set->Invalidate();
    EXPECT_EQ(set->StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 1);
    EXPECT_EQ(set->GetStepStage(), 0);
    EXPECT_EQ(set->GetMatrixPushed(), 0);
    EXPECT_EQ(set->GetRedrawPending(), 0);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  }
}

TEST_F(PointSetDraw, GLPointsAreNeverThinnerThanAPixelAndKeepTheSizeOfOthers) {
  TopDown();
  auto set = Corners();
  set->SetSymbolCode(Sd_Point3D::kGLPoint);
  set->SetSymbolSize(0.001f);
  glPointSize(3.0f);
  set->Render();
  EXPECT_TRUE(SameColour(ReadPixel(Px(-0.5), Px(-0.5)), PackColour(255, 0, 0, 0)));
  GLfloat size = 0.0f;
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_EQ(size, 3.0f);
  glPointSize(1.0f);
}

// Two active points 3 units apart with symbol size 2, read from their file,
// drawn over a flat quad at their height. The view puts pixel centres on
// quarter units: pixel (i, j) is at normalised ((i - 128) / 64, (j - 128) / 64).
TEST_F(PointSetDraw, OnlyAnApprovedClickReleaseNearAnActivePointStartsItsCommandAsStored) {
  TempDir dir;
  const std::string log = dir.file("log");
  const std::string commands[2] = {"echo 0 >> '" + log + "'",
                                   "printf '%s|' \"a b\" 'c;d' >> '" + log + "'; echo >> '" + log + "'"};
  const std::string label = "touch '" + dir.file("label") + "'";
  Sd_PointListRecord r[2] = {{10, 20, 5, 0, label.c_str(), &r[1]}, {13, 20, 5, 0, label.c_str(), nullptr}};
  Sd_ActPoint3D written;
  written.SetPoints(r, 2, 0, 1);
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(written.SetCommand(i, commands[i].c_str()));
  written.SetShowLabels(0);
  written.SetSymbolSize(10.0f / 3.0f);
  ASSERT_TRUE(point_test::WriteSD(dir.file("active.sd"), {&written}));
  point_test::Scene scene;
  auto* set = dynamic_cast<Sd_ActPoint3D*>(scene.Read(dir.file("active.sd")));
  ASSERT_TRUE(set);
  ASSERT_NEAR(set->GetSymbolSize(), 2.0f, 1e-5);

  glMatrixMode(GL_PROJECTION);
  glOrtho(-2.0078125, 1.9921875, -2.0078125, 1.9921875, -10.0, 10.0);
  glMatrixMode(GL_MODELVIEW);
  glColor3ub(60, 60, 60);
  glBegin(GL_QUADS);
  glVertex3f(-1.5f, -1.5f, -0.5f);
  glVertex3f(1.5f, -1.5f, -0.5f);
  glVertex3f(1.5f, 1.5f, -0.5f);
  glVertex3f(-1.5f, 1.5f, -0.5f);
  glEnd();
  set->Render();
  Finish();

  // Data (x, y) -> pixel: x = 11.5 + 3 n, y = 20.5 + n.
  auto pixelX = [](double x) { return static_cast<int>((x - 11.5) / 3.0 * 64.0 + 128.0); };
  auto pixelY = [](double y) { return static_cast<int>((y - 20.5) * 64.0 + 128.0); };
  DepthPicker picker(kWidth, kHeight);
  auto click = [&](double x, double y, int kind, int action) {
    SDN_PickIn in = {&picker, pixelX(x), pixelY(y), kind, action};
    SDN_PickOut out = {1, 2, 3, 4, 5, nullptr, 0, 0};
    const int result = set->QueryPoint(&in, &out);
    EXPECT_EQ(out.x, 1.0) << "the pick record is not touched";
    EXPECT_EQ(out.found, 0);
    EXPECT_EQ(ModelViewStackDepth(), 1);
    return result;
  };
  // Without an approver a stored command is refused, with a warning.
  ASSERT_EQ(Sd_ActPoint3D::GetCommandApprover(), nullptr);
  {
    orvanta_test::MessageCapture messages;
    EXPECT_EQ(click(10, 19, 1, 1), 1);
    EXPECT_TRUE(messages.Contains("commands from files need the user's approval")) << messages.All();
    EXPECT_TRUE(messages.Contains(commands[0])) << messages.All();
  }
  // An approver is asked once for each command of the set, with the command
  // and its file.
  struct Approver : Sd_CommandApprover {
    std::vector<std::pair<std::string, std::string>> asked;
    bool ApproveCommand(const char* command, const char* file) override {
      asked.emplace_back(command, file);
      return true;
    }
  } approver;
  Sd_ActPoint3D::SetCommandApprover(&approver);
  struct Uninstall {
    ~Uninstall() { Sd_ActPoint3D::SetCommandApprover(nullptr); }
  } uninstall;
  // No coordinate readout, no drag, no background pixel and no click 2.5
  // units from both points starts anything.
  EXPECT_EQ(click(10, 19, 0, 0), 0);
  EXPECT_EQ(click(10, 19, 1, 3), 0);
  EXPECT_EQ(click(10, 19, 1, 2), 0);
  EXPECT_EQ(click(10, 19, 1, 4), 0);
  EXPECT_EQ(click(6.1, 18.7, 1, 1), 0) << "background";
  EXPECT_EQ(click(11.5, 22, 1, 1), 0);
  // One unit from a point: its command, as stored, through the shell.
  EXPECT_EQ(click(10, 19, 1, 1), 1);
  ASSERT_TRUE(WaitForText(log, "0\n")) << ReadFileBytes(log);
  EXPECT_EQ(click(14, 20, 1, 1), 1);
  ASSERT_TRUE(WaitForText(log, "0\na b|c;d|\n")) << ReadFileBytes(log);
  // Half-way between them: the lower index acts.
  EXPECT_EQ(click(11.5, 20, 1, 1), 1);
  ASSERT_TRUE(WaitForText(log, "0\na b|c;d|\n0\n")) << ReadFileBytes(log);
  EXPECT_EQ(set->NearestPoint(11.5, 20, 5, nullptr), 0);
  ASSERT_EQ(approver.asked.size(), 2u);
  EXPECT_EQ(approver.asked[0].first, commands[0]);
  EXPECT_EQ(approver.asked[0].second, dir.file("active.sd"));
  EXPECT_EQ(approver.asked[1].first, commands[1]);
  EXPECT_NE(access(dir.file("label").c_str(), F_OK), 0) << "label text never runs";
}
