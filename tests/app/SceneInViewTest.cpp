// What the navigator shows of a loaded scene: after a load and a camera
// reset the whole scene box of every class's sample lies in the window;
// both halves of split-screen stereo show every object; flat solids draw
// their faces without depth fighting.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AppTestSupport.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_IOSupport.h"
#include "Sv_Perspective.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"
#include "WorkAreaTestSupport.h"

using workarea_test::RecordingArea;

namespace {

class SceneInView : public ::testing::Test {
 protected:
  void SetUp() override { Sd_Node::SetCoordinateType(0); }
  void TearDown() override {
    area.reset();
    Sd_Node::SetCoordinateType(0);
  }

  void Show(int width, int height, int stereoMode = 0, const std::string& file = "") {
    area = std::make_unique<RecordingArea>();
    if (stereoMode) area->SetStereoMode(stereoMode);
    nav = new Qk_NavigatorOverlay();
    workarea_test::ShowWithScene(area.get(), nav, width, height, file);
  }

  // The file of a class's sample object, or "" when it cannot be written.
  std::string Sample(const Sd_IOSupport::ClassEntry& e) {
    const std::string path = dir.file("class-" + std::to_string(e.tag) + ".sd");
    TDR_Manager m;
    const bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && e.writeSample(&m) == 0 &&
                    m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
    return ok ? path : "";
  }

  // Whether every corner of the scene box lies inside the mono view.
  bool BoxInView() {
    double box[8][3], p[16];
    if (!area->GetSceneBox(box)) return false;
    area->GetCamera()->GetProjectionMatrix(SV_VIEW_MONO, p);
    const Sv_Matrix4 view = nav->GetViewMatrix();
    const float* m = view.GetData();
    for (const auto& c : box) {
      double e[4], h[4];
      for (int r = 0; r < 4; ++r) e[r] = m[r] * c[0] + m[4 + r] * c[1] + m[8 + r] * c[2] + m[12 + r];
      for (int r = 0; r < 4; ++r) h[r] = p[r] * e[0] + p[4 + r] * e[1] + p[8 + r] * e[2] + p[12 + r] * e[3];
      for (int k = 0; k < 3; ++k) {
        if (!(h[3] > 0.0) || !(h[k] >= -h[3] && h[k] <= h[3])) return false;
      }
    }
    return true;
  }

  // Pixels of the finished picture (rows from the bottom, RGBA).
  std::vector<unsigned char> Picture() {
    EXPECT_TRUE(area->WaitForNormal());
    return orvanta_apptest::ReadView(area.get());
  }

  // Pixels other than the black background in columns [x0, x1).
  int Drawn(const std::vector<unsigned char>& pixels, int x0, int x1) {
    int n = 0;
    for (int y = 0; y < area->GetHeight(); ++y) {
      for (int x = x0; x < x1; ++x) {
        const unsigned char* q = &pixels[(static_cast<size_t>(y) * area->GetWidth() + x) * 4];
        if (q[0] || q[1] || q[2]) ++n;
      }
    }
    return n;
  }

  orvanta_test::TempDir dir;
  std::unique_ptr<RecordingArea> area;
  Qk_NavigatorOverlay* nav = nullptr;  // owned by the area
};

TEST_F(SceneInView, EveryClassSampleLiesInTheWindowAfterLoadAndReset) {
  Show(781, 540);
  // Every class's sample, then the viewer's own sample scene.
  std::vector<std::pair<std::string, std::string>> files;
  int count = 0;
  const Sd_IOSupport::ClassEntry* table = Sd_IOSupport::ClassTable(&count);
  for (int i = 0; i < count; ++i) {
    if (table[i].create && table[i].writeSample) files.emplace_back(table[i].className, Sample(table[i]));
  }
  files.emplace_back("sample scene", ORVANTA_SAMPLE_SD);
  int fitted = 0;
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    ASSERT_FALSE(file.empty());
    const int placed = area->geoSignals;
    // The window's load: the file, then a camera reset.
    if (area->LoadSD(file.c_str(), 1, 0, 0) != 0) continue;
    area->ResetCamera();
    // A sample without extent in x or y places nothing.
    if (area->geoSignals == placed) continue;
    ++fitted;
    EXPECT_TRUE(BoxInView());
    // Turned and zoomed in far, then reset.
    nav->SetHeading(40.0);
    nav->SetZoom(25.0);
    area->ResetCamera();
    EXPECT_TRUE(BoxInView());
    EXPECT_LE(nav->GetZoom(), 1.0);
  }
  EXPECT_GT(fitted, 20);
}

TEST_F(SceneInView, BothStereoHalvesShowEachObjectOfTheSample) {
  // The sample at the reset view, zoom 1, where the second terrain reaches
  // past the right eye's view.
  Show(1920, 1080, QK_STEREO_SPLIT_SCREEN, ORVANTA_SAMPLE_SD);
  std::vector<Sd_Node*> objects = workarea_test::Children(area->GetRoot());
  ASSERT_EQ(objects.size(), 2u);
  nav->SetShown(0);
  area->SetStereoView(1);
  ASSERT_EQ(area->GetStereo(), 1);
  for (Sd_Node* shown : objects) {
    SCOPED_TRACE(shown->className());
    for (Sd_Node* o : objects) o->SetVisible(o == shown);
    for (int redraw = 0; redraw < 2; ++redraw) {
      area->UpdateGL();
      const std::vector<unsigned char> pixels = Picture();
      const int half = area->GetWidth() / 2;
      const int left = Drawn(pixels, 0, half), right = Drawn(pixels, half, 2 * half);
      EXPECT_GT(left, 20000);
      EXPECT_GT(right, left / 2);
    }
  }
}

TEST_F(SceneInView, FlatSolidsDrawCleanFaces) {
  // The samples of the cube and the quadric lie in geographic coordinates
  // and are drawn ten metres high over a thousand kilometres: the faces of
  // either side stand a hair apart in depth.
  Show(781, 540);
  nav->SetShown(0);
  for (int tag : {TDR_TAG_SD_CUBE, TDR_TAG_SD_QUADRATIC}) {
    const Sd_IOSupport::ClassEntry* e = Sd_IOSupport::FindClass(tag);
    ASSERT_NE(e, nullptr);
    SCOPED_TRACE(e->className);
    ASSERT_EQ(area->LoadSD(Sample(*e).c_str(), 1, 0, 0), 0);
    area->ResetCamera();
    const std::vector<unsigned char> pixels = Picture();
    // Down every column: a clean face changes colour sharply only at its
    // outline; faces fighting in depth break into stripes.
    int jumps = 0, columns = 0;
    const int w = area->GetWidth();
    for (int x = 0; x < w; x += 4) {
      const unsigned char* last = nullptr;
      for (int y = 0; y < area->GetHeight(); ++y) {
        const unsigned char* q = &pixels[(static_cast<size_t>(y) * w + x) * 4];
        if (!(q[0] || q[1] || q[2])) continue;
        if (last && std::abs(q[0] - last[0]) + std::abs(q[1] - last[1]) + std::abs(q[2] - last[2]) > 90) ++jumps;
        last = q;
      }
      if (last) ++columns;
    }
    EXPECT_GT(columns, 40);
    EXPECT_LE(jumps, columns);
  }
}

}  // namespace
