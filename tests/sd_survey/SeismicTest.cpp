// The seismic curtain's records, geometry and track tree: a generated
// curtain read through the object factory in both byte orders and saved
// back, refused records, tile boundaries, the tree and its edge leaves, the
// settings and masks.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "SeismicTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sv_Debug.h"
#include "Sv_TexturedSurface.h"
#include "TDR_Payload.h"
#include "TestSupport.h"

namespace {

using orvanta_test::MessageCapture;
using orvanta_test::TempDir;

struct Scene {
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  ~Scene() { Sd_GroupNode::DeleteTree(root); }
  std::vector<Sd_Seismic*> Curtains() {
    std::vector<Sd_Seismic*> out;
    for (Sd_Node* c = root->GetFirstChild(); c; c = c->GetNext()) out.push_back(dynamic_cast<Sd_Seismic*>(c));
    return out;
  }
};

void ExpectSameTrack(const Sd_Seismic& a, const std::vector<double>& xy) {
  ASSERT_EQ(a.GetTrackCount() * 2, static_cast<int>(xy.size()));
  for (int i = 0; i < a.GetTrackCount(); ++i) {
    double x, y;
    a.GetTrackPoint(i, &x, &y);
    ASSERT_EQ(x, xy[2 * i]) << i;
    ASSERT_EQ(y, xy[2 * i + 1]) << i;
  }
}

TEST(SeismicRecords, CurtainLoadsInBothByteOrdersAndSavesItsAbsoluteTrack) {
  TempDir dir;
  Sd_Seismic written;
  ASSERT_EQ(seismic_test::MakeCurtain(written), 0);
  written.SetLodStep(3);
  written.SetTextureMode(1);
  written.SetAutoLod(0);
  const std::vector<double> track = seismic_test::CurvedTrack(1000);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file(order ? "curtain.sd" : "curtain-be.sd");
    ASSERT_TRUE(seismic_test::WriteFile(written, path, order));
    Scene scene;
    ASSERT_TRUE(Sd_IOSupport(scene.root).ReadSDFile(path.c_str()));
    ASSERT_EQ(scene.Curtains().size(), 1u);
    Sd_Seismic* c = scene.Curtains()[0];
    ASSERT_TRUE(c);
    EXPECT_EQ(c->GetType(), 20);
    EXPECT_STREQ(c->className(), "Sd_Seismic");
    ASSERT_EQ(c->GetImage()->GetWidth(), 1000);
    ASSERT_EQ(c->GetImage()->GetHeight(), 600);
    EXPECT_EQ(c->GetTileColumns(), 4);
    EXPECT_EQ(c->GetTileRows(), 3);
    // The marked stripe is white, the bottom band red.
    EXPECT_EQ(c->GetImage()->GetRow(300)[0] + c->GetImage()->GetRow(300)[1] + c->GetImage()->GetRow(300)[2], 765);
    EXPECT_EQ(c->GetImage()->GetRow(10)[3 * 500 + 1], 0);
    EXPECT_EQ(c->GetImage()->GetRow(10)[3 * 500], 255);
    EXPECT_EQ(c->GetLodStep(), 3);
    EXPECT_EQ(c->GetTextureMode(), 1);
    EXPECT_EQ(c->GetAutoLod(), 0);
    // Kept relative to the first point, given back absolute.
    EXPECT_EQ(c->GetOrigin()[0], 500000.0);
    ExpectSameTrack(*c, track);
    EXPECT_FLOAT_EQ(c->GetBounds(0)[1], 500000.0f + 9990.0f);
    EXPECT_FLOAT_EQ(c->GetBounds(2)[0], -3000.0f);

    const std::string again = dir.file("again.sd");
    ASSERT_TRUE(seismic_test::WriteFile(*c, again, order));
    Scene reread;
    ASSERT_TRUE(Sd_IOSupport(reread.root).ReadSDFile(again.c_str()));
    ASSERT_EQ(reread.Curtains().size(), 1u);
    ExpectSameTrack(*reread.Curtains()[0], track);
  }
}

TEST(SeismicRecords, RefusedRecordsCostOnlyTheirObject) {
  TempDir dir;
  const std::string path = dir.file("mixed.sd");
  Sd_Seismic good;
  ASSERT_EQ(seismic_test::MakeCurtain(good, 40, 8), 0);
  // A record whose track is one point short of the image, one whose count
  // runs past its payload, one with a point that is not a number; a good
  // curtain after each.
  auto bad = [&](int count, int written, double value) {
    return [=, &good](TDR_Manager& m) {
      if (m.WriteTag(TDR_TAG_SD_SEISMIC, 1, 0, 0, 1) != 0) return false;
      TDR_PayloadWriter out(&m);
      out.Float64(-10.0);
      out.Float64(0.0);
      out.Int32(count);
      for (int i = 0; i < 2 * written; ++i) out.Float64(i == 3 ? value : i);
      return out.Ok() && m.EndTag() == 0 && seismic_test::BandImage(40, 8)->SaveToTDR(&m) == 0 &&
             good.SaveObject(&m, 1, 0) == 0;
    };
  };
  ASSERT_TRUE(seismic_test::WriteFile(good, path, 1, [&](TDR_Manager& m) {
    return bad(39, 39, 1.0)(m) && bad(1 << 28, 3, 1.0)(m) && bad(40, 40, NAN)(m);
  }));
  // Debug-level messages go to the error stream.
  const int level = Sv_Debug::GetLevel();
  Sv_Debug::SetLevel(-1);
  testing::internal::CaptureStderr();
  Scene scene;
  Sd_IOSupport(scene.root).ReadSDFile(path.c_str());
  const std::string messages = testing::internal::GetCapturedStderr();
  Sv_Debug::SetLevel(level);
  EXPECT_NE(messages.find("ERROR: Sd_Seismic::LoadObject - length does not match image width"), std::string::npos);
  EXPECT_NE(messages.find("damaged curtain record"), std::string::npos);
  EXPECT_NE(messages.find("track point not finite"), std::string::npos);
  ASSERT_EQ(scene.Curtains().size(), 4u);
  for (Sd_Seismic* c : scene.Curtains()) EXPECT_EQ(c->GetTrackCount(), 40);
}

// The object record closed at once (recorded length 0) with its fields
// after the header reads as well as the record whose length covers them;
// the object after it loads too.
TEST(SeismicRecords, ObjectRecordWithItsFieldsAfterAZeroLengthHeaderLoads) {
  TempDir dir;
  Sd_Seismic first, second;
  ASSERT_EQ(seismic_test::MakeCurtain(first, 40, 8), 0);
  ASSERT_EQ(seismic_test::MakeCurtain(second, 20, 4), 0);
  first.SetLodStep(5);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("after-header.sd");
    {
      TDR_Manager m;
      m.SetByteOrder(order);
      ASSERT_TRUE(m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0);
      ASSERT_TRUE(m.WriteTag(TDR_TAG_SD_SEISMIC, 1, 0, 0, 1) == 0 && m.EndTag() == 0);
      TDR_PayloadWriter out(&m);
      out.Float64(seismic_test::kBottom);
      out.Float64(seismic_test::kTop);
      out.Int32(first.GetTrackCount());
      const std::vector<double> xy = seismic_test::CurvedTrack(40);
      for (double v : xy) out.Float64(v);
      ASSERT_TRUE(out.Ok());
      ASSERT_EQ(seismic_test::BandImage(40, 8)->SaveToTDR(&m), 0);
      ASSERT_EQ(first.WriteCommonTags(&m), 0);
      ASSERT_EQ(second.SaveObject(&m, 1, 0), 0);
      ASSERT_TRUE(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0);
    }
    Scene scene;
    Sd_IOSupport(scene.root).ReadSDFile(path.c_str());
    const std::vector<Sd_Seismic*> curtains = scene.Curtains();
    ASSERT_EQ(curtains.size(), 2u);
    ASSERT_TRUE(curtains[0] && curtains[1]);
    ExpectSameTrack(*curtains[0], seismic_test::CurvedTrack(40));
    EXPECT_EQ(curtains[0]->GetLodStep(), 5) << "the settings after the fields are the curtain's";
    EXPECT_FLOAT_EQ(curtains[0]->GetBounds(2)[0], -3000.0f);
    ExpectSameTrack(*curtains[1], seismic_test::CurvedTrack(20));
  }
}

TEST(SeismicGeometry, TileBoundariesFollowTheTextureGrid) {
  Sd_Seismic c;
  ASSERT_EQ(seismic_test::MakeCurtain(c), 0);
  // Tile column 0 is 256 of 1000 pixels: b(c) = trunc(c x 999 x 0.256).
  const int bounds[5] = {0, 255, 511, 767, 999};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c.GetColumnBound(i), bounds[i]) << i;
  // Tile row 0 is 256 of 600 rows of the height 3000.
  EXPECT_NEAR(c.GetRowHeight(1), -3000.0 + 3000.0 * 256.0 / 600.0, 0.01);
  EXPECT_NEAR(c.GetRowHeight(2), -3000.0 + 2 * 3000.0 * 256.0 / 600.0, 0.01);
  EXPECT_EQ(c.GetRowHeight(3), 0.0f);
  EXPECT_FLOAT_EQ(c.GetTexture()->GetSMax(3), (1000 - 768) / 256.0f);

  // Degenerate curtains stay finite: one point, equal heights.
  Sd_Seismic one;
  const double xy[2] = {10.0, 20.0};
  ASSERT_EQ(one.SetCurtain(xy, 1, 5.0, 5.0, seismic_test::BandImage(1, 3)), 0);
  EXPECT_EQ(one.GetColumnBound(0), 0);
  EXPECT_EQ(one.GetColumnBound(1), 0);
  EXPECT_EQ(one.GetTreeNodeCount(), 2);
  EXPECT_FLOAT_EQ(one.GetBounds(0)[0], 10.0f);

  // More than 16 tiles in mode 2 is drawn in mode 0; a mismatched image is
  // refused.
  Sd_Seismic wide;
  ASSERT_EQ(wide.GetTextureMode(), 2);
  ASSERT_EQ(seismic_test::MakeCurtain(wide, 17 * 256, 2), 0);
  EXPECT_EQ(wide.GetTextureMode(), 0);
  Sd_Seismic refused;
  EXPECT_EQ(refused.SetCurtain(xy, 1, 0.0, 1.0, seismic_test::BandImage(2, 2)), -1);
  EXPECT_EQ(refused.GetTrackCount(), 0);
}

TEST(SeismicGeometry, TrackTreeAndEdgeLeaves) {
  // 17 points: two leaves (16 and 1 points) below 3 inner slots.
  Sd_Seismic small;
  std::vector<double> xy;
  for (int k = 0; k < 100; ++k) {
    xy.push_back(1000.0 + 10.0 * k);
    xy.push_back(2000.0 + (k % 2));
  }
  ASSERT_EQ(small.SetCurtain(xy.data(), 17, 0.0, 1.0, seismic_test::BandImage(17, 3)), 0);
  ASSERT_EQ(small.GetInnerCount(), 3);
  ASSERT_EQ(small.GetLeafCount(), 2);
  ASSERT_EQ(small.GetTreeNodeCount(), 5);
  EXPECT_EQ(small.GetTreeNode(3)->first, 0);
  EXPECT_EQ(small.GetTreeNode(3)->end, 16);
  EXPECT_EQ(small.GetTreeNode(4)->first, 16);
  EXPECT_EQ(small.GetTreeNode(4)->end, 17);
  EXPECT_EQ(small.GetTreeNode(0)->end, 17);
  EXPECT_DOUBLE_EQ(small.GetTreeNode(0)->xmax, 160.0);  // relative to the first point
  EXPECT_EQ(small.GetTreeNode(2)->end, -1);             // an unused slot

  // 100 points, 7 leaves: windows over the relative track x = 10 k.
  Sd_Seismic c;
  ASSERT_EQ(c.SetCurtain(xy.data(), 100, 0.0, 1.0, seismic_test::BandImage(100, 3)), 0);
  ASSERT_EQ(c.GetInnerCount(), 7);
  ASSERT_EQ(c.GetLeafCount(), 7);
  struct Window {
    float x0, x1;
    int first, last;
  } windows[] = {{200.0f, 400.0f, 16, 48}, {160.0f, 160.0f, 16, 32}, {985.0f, 2000.0f, 96, 100},
                 {-50.0f, 5000.0f, 0, 100}, {2000.0f, 3000.0f, -1, -1}};
  for (const Window& w : windows) {
    const float box[6] = {w.x0, w.x1, -1.0f, 2.0f, 0.0f, 1.0f};
    c.SetVisibleBox(box);
    EXPECT_EQ(c.UpdateVisibleRange(), w.first >= 0);
    EXPECT_EQ(c.GetFirst(), w.first) << w.x0;
    EXPECT_EQ(c.GetLast(), w.last) << w.x0;
  }
  // A window beside the track in y sees nothing.
  const float off[6] = {0.0f, 1000.0f, 5.0f, 6.0f, 0.0f, 1.0f};
  c.SetVisibleBox(off);
  EXPECT_EQ(c.FindEdgeLeaf(0, true), -1);
}

TEST(SeismicSettings, DetailSettingsRecordVersionsAndMasks) {
  Sd_Seismic c;
  c.SetLodStep(6);
  c.SetTextureMode(2);
  c.SetAutoLod(1);
  c.SaveSettings();
  EXPECT_EQ(c.ResetSettings(), 1);
  EXPECT_EQ(c.GetLodStep(), 1);
  EXPECT_EQ(c.GetTextureMode(), 1);
  EXPECT_EQ(c.GetAutoLod(), 0);
  c.RestoreSettings();
  EXPECT_EQ(c.GetLodStep(), 6);
  EXPECT_EQ(c.GetTextureMode(), 2);
  EXPECT_EQ(c.GetAutoLod(), 1);

  // A version-1 settings record holds step and mode only; a step of 0 is 1.
  TempDir dir;
  const std::string path = dir.file("v1.sd");
  ASSERT_EQ(seismic_test::MakeCurtain(c, 20, 4), 0);
  c.SetAlphaTest(0);
  ASSERT_TRUE(seismic_test::WriteFile(c, path, 1, [](TDR_Manager& m) {
    if (m.WriteTag(TDR_TAG_SD_SEISMIC_ATB, 1, 0, 0, 1) != 0) return false;
    TDR_PayloadWriter out(&m);
    out.Int32(0);
    out.Int32(3);
    return out.Ok() && m.EndTag() == 0;
  }));
  Scene scene;
  ASSERT_TRUE(Sd_IOSupport(scene.root).ReadSDFile(path.c_str()));
  ASSERT_EQ(scene.Curtains().size(), 1u);
  EXPECT_EQ(scene.Curtains()[0]->GetLodStep(), 1);
  EXPECT_EQ(scene.Curtains()[0]->GetTextureMode(), 3);
  EXPECT_EQ(scene.Curtains()[0]->GetAlphaTest(), 0);  // from the version-2 record before it

  // Masks: black RGBA pixels lose their alpha; RGB images are left alone.
  const unsigned char rgba[8] = {0, 0, 0, 255, 9, 0, 0, 255};
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  ASSERT_EQ(image->SetData(2, 1, rgba, 2), 0);
  const double xy[4] = {0.0, 0.0, 1.0, 0.0};
  Sd_Seismic masked;
  ASSERT_EQ(masked.SetCurtain(xy, 2, 0.0, 1.0, std::move(image)), 0);
  masked.MakeMask();
  EXPECT_EQ(masked.GetImage()->GetData()[3], 0);
  EXPECT_EQ(masked.GetImage()->GetData()[7], 255);
  MessageCapture messages(-1);
  c.MakeMask();
  EXPECT_TRUE(messages.Contains("Creating masks only supported for RGBA and grey-alpha images."));
}

}  // namespace
