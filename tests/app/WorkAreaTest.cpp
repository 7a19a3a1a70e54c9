// The work area with a GL context: start-up, drawing loaded scenes in mono
// and split-screen stereo, progressive passes over the tree, loads while a
// pass runs, exploring and the per-frame work (signals, detail statics,
// profile requests, movie recording).

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "DepthPicker.h"
#include "Movie.h"
#include "Sv_Lighting.h"
#include "Sv_Perspective.h"
#include "TestSupport.h"
#include "WorkAreaTestSupport.h"

using orvanta_apptest::ReadPixel;
using orvanta_apptest::Rgb;
using orvanta_apptest::StackDepth;
using orvanta_apptest::WaitFor;
using workarea_test::Children;
using workarea_test::RecordingArea;
using workarea_test::TestOverlay;
using workarea_test::Tile;
using workarea_test::TileClasses;
using workarea_test::TileObject;
using workarea_test::WriteSD;

namespace {

bool Drawn(const Rgb& p) { return p.r != 0 || p.g != 0 || p.b != 0; }

// Columns of row y in [x0, x1) that hold something other than background.
int DrawnColumns(int x0, int x1, int y) {
  std::vector<unsigned char> row(static_cast<size_t>(x1 - x0) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x0, y, x1 - x0, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
  int n = 0;
  for (int i = 0; i < x1 - x0; ++i) {
    if (row[4 * i] || row[4 * i + 1] || row[4 * i + 2]) ++n;
  }
  return n;
}

// A work area with the test overlay, shown and settled (Make); the tile scene
// file (a red tile over the middle, a green one to the east and a blue one
// to the west) is written for the tests to load.
class WorkAreaGL : public workarea_test::ShownAreaFixture<RecordingArea, TileClasses> {};

TEST_F(WorkAreaGL, GLStartMakesTheSceneOnceAndThenEmitsInit) {
  Make();
  EXPECT_EQ(area->initSignals, 1);
  Sd_Node* root = area->GetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->GetName(), "Root Node");
  EXPECT_STREQ(root->className(), "Alignment Node");
  EXPECT_FLOAT_EQ(area->GetVertExag(), 1.0f);
  EXPECT_EQ(Sd_Node::GetAspectMode(), 1);
  ASSERT_NE(Sd_Node::GetGlobalScaleTarget(), nullptr);
  EXPECT_FLOAT_EQ(*Sd_Node::GetGlobalScaleTarget(), area->GetGlobalScale());
  EXPECT_FLOAT_EQ(Sd_Node::GetGlobalScaleBase(), 3500.0f);

  Sv_Lighting* lights = area->GetLights();
  ASSERT_NE(lights, nullptr);
  EXPECT_EQ(Sv_Lighting::GetGlobal(), lights);
  EXPECT_EQ(Sd_Node::GetLighting(), lights);
  EXPECT_TRUE(lights->IsLightDefined(1));
  EXPECT_FALSE(lights->IsLightDefined(2));

  Sv_Perspective* camera = area->GetCamera();
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->GetViewportWidth(), 200);
  EXPECT_EQ(camera->GetViewportHeight(), 150);
  float clip[2];
  camera->GetClipPlanes(clip);
  EXPECT_FLOAT_EQ(clip[0], 0.01f);
  EXPECT_FLOAT_EQ(clip[1], 250000.0f);
  ASSERT_NE(area->GetMovie(), nullptr);
  EXPECT_EQ(area->GetPicker()->GetWidth(), 200.0f);

  // The overlay installed before GL started holds the whole context.
  EXPECT_EQ(overlay->resets, 1);
  EXPECT_EQ(overlay->GetRoot(), root);
  EXPECT_EQ(overlay->GetCamera(), camera);
  EXPECT_EQ(overlay->GetLights(), lights);
  EXPECT_EQ(overlay->GetMovie(), area->GetMovie());
  EXPECT_EQ(overlay->GetViewMatrixPointer(), area->GetViewMatrix());
  EXPECT_GE(overlay->inits, 2);  // at install and when the root was made

  // A second start (a context made again) creates nothing new and emits
  // InitSG again, after it has returned.
  area->makeCurrent();
  area->InitGL();
  EXPECT_EQ(area->initSignals, 1);
  ASSERT_TRUE(orvanta_apptest::WaitFor([&] { return area->initSignals > 1; }));
  EXPECT_EQ(area->initSignals, 2);
  EXPECT_EQ(area->GetRoot(), root);
  EXPECT_EQ(area->GetLights(), lights);
  EXPECT_EQ(area->GetCamera(), camera);
}

TEST_F(WorkAreaGL, LoadedSceneIsFittedDrawnAndReachesNormal) {
  Make();
  area->infos.clear();
  ASSERT_EQ(area->LoadSD(scene.c_str(), 1, 0, 0), 0);
  EXPECT_EQ(Sd_Node::GetCoordinateType(), 2);
  EXPECT_FLOAT_EQ(area->GetVertExag(), 6.0f);
  EXPECT_EQ(area->geoSignals, 1);
  EXPECT_EQ(overlay->GetRoot(), area->GetRoot());
  // The fit rewrote the global scale through its registered address.
  EXPECT_NE(area->GetGlobalScale(), 3500.0f);

  ASSERT_TRUE(area->WaitForNormal());
  ASSERT_FALSE(area->infos.empty());
  EXPECT_EQ(area->infos.front(), "Medium Resolution");
  EXPECT_EQ(area->infos.back(), "Normal");
  EXPECT_NE(std::find(area->infos.begin(), area->infos.end(), "Rendering Best..."), area->infos.end());
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 0);

  area->makeCurrent();
  // Red in the middle, green east of it, blue west of it, background at the
  // corners.
  const Rgb centre = ReadPixel(100, 75);
  EXPECT_EQ(centre.r, 255);
  EXPECT_EQ(centre.g, 0);
  EXPECT_EQ(ReadPixel(100 + 50, 75).g, 255);
  EXPECT_EQ(ReadPixel(100 - 50, 75).b, 255);
  EXPECT_FALSE(Drawn(ReadPixel(2, 2)));
  ExpectBalanced();
  for (Sd_Node* tile : Children(area->GetRoot())) EXPECT_GT(static_cast<TileObject*>(tile)->renders, 0);
}

TEST_F(WorkAreaGL, AFailedLoadKeepsTheSceneOnScreen) {
  Make();
  ASSERT_EQ(area->LoadSD(scene.c_str(), 1, 0, 0), 0);
  ASSERT_TRUE(area->WaitForNormal());
  Sd_Node* root = area->GetRoot();
  Sd_Node* tile = Children(root)[0];
  overlay->SetTargetNode(tile);
  Sd_Node::GetSharedPick()->node = tile;
  area->makeCurrent();
  const Rgb middle = ReadPixel(100, 75);
  ASSERT_TRUE(Drawn(middle));

  orvanta_test::MessageCapture messages;
  EXPECT_EQ(area->LoadSD(dir.file("missing.sd").c_str(), 1, 0, 0), -1);
  EXPECT_EQ(area->GetRoot(), root);
  EXPECT_EQ(overlay->GetRoot(), root);
  EXPECT_EQ(overlay->GetTargetNode(), tile);
  EXPECT_EQ(Sd_Node::GetSharedPick()->node, tile);
  // The scene is still drawn, also after a redraw.
  area->UpdateGL();
  ASSERT_TRUE(area->WaitForNormal());
  area->makeCurrent();
  const Rgb after = ReadPixel(100, 75);
  EXPECT_EQ(after.r, middle.r);
  EXPECT_EQ(after.g, middle.g);
  EXPECT_EQ(after.b, middle.b);
  ExpectBalanced();
}

TEST_F(WorkAreaGL, HundredLoadsEvenInMidPassLeaveNoEarlierNode) {
  Make();
  const long outside = Sd_Node::LiveCount() - 1;  // the root
  for (int i = 0; i < 100; ++i) {
    if (i % 10 == 5) {
      // Into the best pass: the root and the step hold pushed matrices.
      area->UpdateGL();
      for (int k = 0; k < 4; ++k) area->OnIdle();
      ASSERT_EQ(area->GetPass(), 1);
      ASSERT_EQ(area->GetStepCounter(), 1);
    }
    ASSERT_EQ(area->LoadSD(scene.c_str(), 1, 0, 0), 0);
    ASSERT_EQ(Sd_Node::LiveCount(), outside + 4) << "load " << i;
    area->makeCurrent();
    ASSERT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), restModelview) << "load " << i;
  }
  ASSERT_TRUE(area->RunToNormal());
  area->makeCurrent();
  EXPECT_EQ(ReadPixel(100, 75).r, 255);
  ExpectBalanced();
}

TEST_F(WorkAreaGL, RedrawInMidBestPassAbandonsItBalanced) {
  Make();
  ASSERT_EQ(area->LoadSD(scene.c_str(), 1, 0, 0), 0);
  area->infos.clear();
  TileObject* first = static_cast<TileObject*>(Children(area->GetRoot())[0]);
  area->OnIdle();  // the coarse pass: one whole frame, without the best-pass flag
  EXPECT_EQ(area->infos, std::vector<std::string>({"Medium Resolution"}));
  EXPECT_EQ(first->bestPassSeen, 0);
  area->OnIdle();  // the best pass begins: two matrices pushed
  EXPECT_EQ(Sd_Node::GetBestPass(), 1);
  area->OnIdle();  // the root pushes its own
  area->OnIdle();  // and draws its first child
  EXPECT_EQ(first->bestPassSeen, 1);
  area->makeCurrent();
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), restModelview + 3);
  EXPECT_EQ(area->GetPushedMatrices(), 2);

  area->UpdateGL();
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);
  EXPECT_EQ(area->GetPass(), 0);
  EXPECT_EQ(area->IsRunning(), 0);
  ExpectBalanced();
  ASSERT_TRUE(area->RunToNormal());
  EXPECT_EQ(area->infos.back(), "Normal");
  area->makeCurrent();
  EXPECT_EQ(ReadPixel(100, 75).r, 255);
  ExpectBalanced();
}

TEST_F(WorkAreaGL, DestroyingTheAreaInMidPassReleasesEverything) {
  Make();
  const long outside = Sd_Node::LiveCount() - 1;
  ASSERT_EQ(area->LoadSD(scene.c_str(), 1, 0, 0), 0);
  for (int k = 0; k < 4; ++k) area->OnIdle();
  ASSERT_EQ(area->GetStepCounter(), 1);
  ASSERT_EQ(Qk_GLStepWidget::GetBusy(), 1);
  area.reset();
  EXPECT_EQ(Sd_Node::LiveCount(), outside);
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 0);
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);
  EXPECT_EQ(Sv_Lighting::GetGlobal(), nullptr);
  EXPECT_EQ(Sd_Node::GetLighting(), nullptr);
  EXPECT_EQ(Sd_Node::GetGlobalScaleTarget(), nullptr);
}

TEST_F(WorkAreaGL, SplitScreenStereoDrawsBothHalves) {
  Make(240, 120, QK_STEREO_SPLIT_SCREEN);
  // The scene in the window plane: without parallax both eyes see it
  // whole in their narrow halves.
  overlay->distance = 0.0;
  ASSERT_EQ(area->LoadSD(scene.c_str(), 1, 0, 0), 0);
  ASSERT_TRUE(area->WaitForNormal());
  area->infos.clear();
  area->SetStereoView(1);
  ASSERT_EQ(area->GetStereo(), 1);
  EXPECT_TRUE(area->GetCamera()->IsCyclopeanScale());
  ASSERT_TRUE(area->WaitForNormal());
  EXPECT_EQ(area->infos.front(), "Medium Resolution");
  EXPECT_EQ(area->infos.back(), "Normal");
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);

  // Both eyes see the scene, the same size: each eye applies the camera
  // once.
  area->makeCurrent();
  EXPECT_EQ(ReadPixel(60, 60).r, 255);
  EXPECT_EQ(ReadPixel(180, 60).r, 255);
  const int left = DrawnColumns(0, 120, 60);
  const int right = DrawnColumns(120, 240, 60);
  EXPECT_GT(left, 40);
  EXPECT_NEAR(left, right, 3);
  ExpectBalanced();

  // A whole stereo frame (exploring) draws both halves as well.
  const int frames = area->render2DSignals;
  area->DrawStereoScene();
  EXPECT_EQ(area->render2DSignals, frames + 2);
  EXPECT_EQ(ReadPixel(60, 60).r, 255);
  EXPECT_EQ(ReadPixel(180, 60).r, 255);
  EXPECT_NEAR(DrawnColumns(0, 120, 60), DrawnColumns(120, 240, 60), 3);
  ExpectBalanced();

  // A redraw in the middle of the right eye's pass.
  area->UpdateGL();
  for (int k = 0; k < 12 && area->GetStepCounter() < 4; ++k) area->OnIdle();
  ASSERT_EQ(area->GetStepCounter(), 4);
  area->UpdateGL();
  ExpectBalanced();
  EXPECT_EQ(area->GetViewportWidth(), 120);

  // Back to mono: the whole window again.
  area->SetStereoView(0);
  EXPECT_EQ(area->GetStereo(), 0);
  EXPECT_FALSE(area->GetCamera()->IsCyclopeanScale());
  ASSERT_TRUE(area->WaitForNormal());
  area->makeCurrent();
  EXPECT_EQ(ReadPixel(120, 60).r, 255);
  EXPECT_GT(DrawnColumns(0, 240, 60), left + 40);
  ExpectBalanced();
}

TEST_F(WorkAreaGL, StereoRefusedWhenNotAvailable) {
  Make();
  ASSERT_EQ(area->GetStereoMode(), QK_STEREO_NOT_AVAILABLE);
  orvanta_test::MessageCapture messages;
  area->SetStereoView(1);
  EXPECT_TRUE(messages.Contains("Stereo not available."));
  EXPECT_EQ(area->GetStereo(), 0);
  EXPECT_FALSE(area->GetCamera()->IsCyclopeanScale());
  EXPECT_FALSE(area->IsIdleTimerActive());  // no redraw for nothing
}

TEST_F(WorkAreaGL, FrameSignalsDetailStaticsAndProfile) {
  Make();
  ASSERT_EQ(area->LoadSD(scene.c_str(), 1, 0, 0), 0);
  ASSERT_TRUE(area->WaitForNormal());
  std::vector<std::pair<double, double>> profiles;
  QObject::connect(area.get(), &Qk_GLWorkArea::ProfileSG, [&](SVdouble* a, SVdouble* b) {
    profiles.emplace_back(a[0] + a[1], b[0] + b[1]);
  });

  const int r2d = area->render2DSignals, cont = area->continuousSignals;
  const int cameras = overlay->cameras, draws = overlay->draws;
  area->SetDetailBudget(1234.0f);
  area->RequestProfile(1, 2, 3, 4);
  area->DrawScene();
  EXPECT_EQ(area->render2DSignals, r2d + 1);
  EXPECT_EQ(area->continuousSignals, cont + 1);
  EXPECT_EQ(overlay->cameras, cameras + 1);
  EXPECT_EQ(overlay->draws, draws + 1);
  TileObject* tile = static_cast<TileObject*>(Children(area->GetRoot())[0]);
  EXPECT_FLOAT_EQ(tile->budgetSeen, 1234.0f);
  EXPECT_EQ(area->GetDetailRequest(), 1);  // the tiles asked for more detail
  ASSERT_EQ(profiles.size(), 1u);
  EXPECT_DOUBLE_EQ(profiles[0].first, 3.0);
  EXPECT_DOUBLE_EQ(profiles[0].second, 7.0);
  area->DrawScene();
  EXPECT_EQ(profiles.size(), 1u);  // emitted once
  ExpectBalanced();
}

TEST_F(WorkAreaGL, MovieFramesAreRecordedAtMostThirtyTimesASecond) {
  Make();
  std::vector<int> frames;
  QObject::connect(area.get(), &Qk_GLWorkArea::MovieFrameChangedSG, [&](SVint f) { frames.push_back(f); });
  area->now = 100.0;
  area->ResetFrameTimer();
  area->SetRecording(1);
  area->DrawScene();  // first frame after a reset: recorded
  EXPECT_EQ(overlay->recordedFrames, 1);
  area->now = 100.01;
  area->DrawScene();
  area->now = 100.03;
  area->DrawScene();
  EXPECT_EQ(overlay->recordedFrames, 1);
  area->now = 100.05;
  area->DrawScene();  // the last frame began 0.03 s after the recorded one
  EXPECT_EQ(overlay->recordedFrames, 1);
  area->DrawScene();  // 0.05 s
  EXPECT_EQ(overlay->recordedFrames, 2);
  EXPECT_EQ(frames, std::vector<int>({-1, -1}));  // the test overlay adds no frame
  area->SetRecording(0);
  area->now = 200.0;
  area->DrawScene();
  EXPECT_EQ(overlay->recordedFrames, 2);
}

TEST_F(WorkAreaGL, EndOfExploringKeepsTheOverlaysView) {
  Make();
  area->BeginExploring();
  area->BeginExploring();
  area->EndExploring();
  EXPECT_FLOAT_EQ(area->GetViewMatrix()->GetData()[14], 0.0f);  // still the identity
  area->EndExploring();
  const Sv_Matrix4 expected = overlay->GetViewMatrix();
  EXPECT_FLOAT_EQ(expected.GetData()[14], -5000.0f);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(area->GetViewMatrix()->GetData()[i], expected.GetData()[i]);
  ASSERT_TRUE(area->WaitForNormal());
  ExpectBalanced();

  // The plain overlay's view is the identity, whatever matrix was current.
  Qk_GLOverlay plain;
  plain.SetWorkArea(area.get());
  area->makeCurrent();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glTranslatef(1, 2, 3);
  const Sv_Matrix4 identity = plain.GetViewMatrix();
  glPopMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(identity.GetData()[i], i % 5 == 0 ? 1.0f : 0.0f);
}

}  // namespace
