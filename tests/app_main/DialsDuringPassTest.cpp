// The navigator's dials stay whole while the progressive renderer refines a
// terrain under them: the picture between any two steps of the passes, mono
// and split-screen stereo, shows the dials as the finished picture does.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "../sd_dtm/SonarTestSupport.h"
#include "Qk_GLWorkArea.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_DTMClasses.h"
#include "Sd_Node.h"
#include "Sv_Perspective.h"
#include "WindowFixture.h"
#include "orvanta.h"

namespace {

class DialsDuringPass : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    ASSERT_EQ(Sd_RegisterTerrainClasses(), 0);
    // 240 x 240 nodes: the best pass draws them in some 25 steps per view.
    const std::string file = dir.file("terrain.sd");
    auto dtm = dtm_test::MakeSonar(240, 240);
    dtm_test::SDWriter w(file);
    w.Object(dtm.get());
    ASSERT_TRUE(w.Close());
    ASSERT_TRUE(StartWindow({"orvanta"}, QSize(1000, 420)));
    area = window->m_workarea;
    nav = dynamic_cast<Qk_NavigatorOverlay*>(area->GetOverlay());
    ASSERT_NE(nav, nullptr);
    ASSERT_EQ(window->LoadDataFile(file.c_str()), 0);
    ASSERT_TRUE(Settle());
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  // The work area's picture as it stands (RGB, rows from the bottom).
  std::vector<unsigned char> Read() {
    area->MakeCurrent();
    std::vector<unsigned char> px(static_cast<size_t>(area->GetWidth()) * area->GetHeight() * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, area->GetWidth(), area->GetHeight(), GL_RGB, GL_UNSIGNED_BYTE, px.data());
    return px;
  }

  // The finished picture, with or without the dials, refined in the back
  // buffer (nothing of the coarse frame, whose detail follows the
  // machine's speed, is left in it).
  std::vector<unsigned char> Finished(int dials) {
    nav->SetShown(dials);
    area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_BACK);
    area->UpdateGL();
    EXPECT_TRUE(Settle());
    area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_FRONT);
    return Read();
  }

  Qk_GLWorkArea* area = nullptr;
  Qk_NavigatorOverlay* nav = nullptr;
};

TEST_F(DialsDuringPass, EveryStepOfEveryPassShowsTheWholeDials) {
  for (int stereo : {0, 1}) {
    SCOPED_TRACE(stereo ? "split-screen stereo" : "mono");
    area->SetStereoView(stereo);
    // A fixed stereo scale: the automatic one follows the depth under the
    // view's centre, which the dials change.
    area->GetCamera()->DisableCyclopeanScale();
    ASSERT_TRUE(Settle());
    // The dials' pixels: where the finished pictures with and without them
    // differ.
    const std::vector<unsigned char> without = Finished(0);
    const std::vector<unsigned char> with = Finished(1);
    auto same = [&](const std::vector<unsigned char>& a, size_t i) { return !std::memcmp(&a[i], &with[i], 3); };
    std::vector<size_t> dial;
    for (size_t i = 0; i < with.size(); i += 3) {
      if (!same(without, i)) dial.push_back(i);
    }
    ASSERT_GT(dial.size(), 1500u);

    // The passes step by step (the best one over the coarse frame), the
    // picture read after each step.
    area->UpdateGL();
    int steps = 0, damaged = 0;
    while (steps < 2000 && (area->GetRestartPending() || area->IsRunning())) {
      area->OnIdle();
      ++steps;
      const std::vector<unsigned char> now = Read();
      if (!std::all_of(dial.begin(), dial.end(), [&](size_t i) { return same(now, i); })) ++damaged;
    }
    EXPECT_GT(steps, 20);
    EXPECT_EQ(damaged, 0) << "of " << steps << " steps; dial pixels " << dial.size();
  }
}

}  // namespace
