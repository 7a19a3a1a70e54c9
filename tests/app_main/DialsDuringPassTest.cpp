// The navigator's dials stay whole at every step of the passes that refine a
// terrain under them, mono and split-screen stereo.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "../sd_dtm/SonarTestSupport.h"
#include "Qk_NavigatorOverlay.h"
#include "WindowFixture.h"

namespace {

class DialsDuringPass : public orvanta_mainwindow_test::TerrainWindowFixture {};

TEST_F(DialsDuringPass, EveryStepOfEveryPassShowsTheWholeDials) {
  // 240 x 240 nodes: the best pass draws them in some 25 steps per view.
  const std::string file = dir.file("terrain.sd");
  auto dtm = dtm_test::MakeSonar(240, 240);
  ASSERT_TRUE(dtm_test::WriteSD(file, {dtm.get()}));
  ASSERT_TRUE(StartWindow({"orvanta"}, QSize(1000, 420)));
  Qk_GLWorkArea* area = window->m_workarea;
  auto* nav = dynamic_cast<Qk_NavigatorOverlay*>(area->GetOverlay());
  ASSERT_NE(nav, nullptr);
  ASSERT_EQ(window->LoadDataFile(file.c_str()), 0);
  // The finished picture refined in the back buffer: nothing is left of the
  // coarse frame, whose detail follows the machine's speed.
  auto finished = [&](int dials) {
    nav->SetShown(dials);
    area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_BACK);
    area->UpdateGL();
    EXPECT_TRUE(Settle());
    area->SetDrawBufferMode(Qk_GLStepWidget::BEST_TO_FRONT);
    return orvanta_apptest::ReadView(area);
  };

  for (int stereo : {0, 1}) {
    SCOPED_TRACE(stereo ? "split-screen stereo" : "mono");
    area->SetStereoView(stereo);
    // A fixed stereo scale: the automatic one follows the depth under the
    // view's centre, which the dials change.
    area->GetCamera()->DisableCyclopeanScale();
    ASSERT_TRUE(Settle());
    // The dials' pixels: where the finished pictures with and without differ.
    const std::vector<unsigned char> without = finished(0), with = finished(1);
    auto same = [&](const std::vector<unsigned char>& a, size_t i) { return !std::memcmp(&a[i], &with[i], 3); };
    std::vector<size_t> dial;
    for (size_t i = 0; i < with.size(); i += 4) {
      if (!same(without, i)) dial.push_back(i);
    }
    ASSERT_GT(dial.size(), 1500u);

    // The passes step by step, the picture read after each step.
    area->UpdateGL();
    int steps = 0, damaged = 0;
    for (; steps < 2000 && (area->GetRestartPending() || area->IsRunning()); ++steps) {
      area->OnIdle();
      const std::vector<unsigned char> now = orvanta_apptest::ReadView(area);
      damaged += !std::all_of(dial.begin(), dial.end(), [&](size_t i) { return same(now, i); });
    }
    EXPECT_GT(steps, 20);
    EXPECT_EQ(damaged, 0) << "of " << steps << " steps";
  }
}

}  // namespace
