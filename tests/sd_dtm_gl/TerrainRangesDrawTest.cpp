// Terrains whose heights span nothing or run downwards, whose codes span
// nothing, or whose nodes are all empty load, draw whole and progressively,
// and answer picks and queries without a sanitizer report.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../sd_dtm/PlotTestSupport.h"
#include "../sd_dtm/SphereTestSupport.h"
#include "../sd_dtm/TextureTestSupport.h"
#include "../sd_dtm/VRTestSupport.h"
#include "DTMDrawSupport.h"
#include "DepthPicker.h"

using dtm_test::Budget;
using dtm_test::FinishPass;
using orvanta_test::TempDir;

namespace {

struct Range {
  const char* name;
  unsigned short minCode, maxCode;
  float zmin, zmax;
};

struct Maker {
  const char* name;
  std::function<std::unique_ptr<Sd_BaseDTM>()> make;
  bool picksMiss;  // every node empty: nothing can answer
};

template <class T>
std::function<std::unique_ptr<Sd_BaseDTM>()> Wrap(std::function<std::unique_ptr<T>()> f) {
  return [f]() { return std::unique_ptr<Sd_BaseDTM>(f().release()); };
}

}  // namespace

class TerrainRanges : public orvanta_test::GLTest {};

TEST_F(TerrainRanges, FlatInvertedAndEmptyRangesLoadDrawAndPick) {
  TempDir dir;
  const Range ranges[] = {
      {"flat heights", 1, 65535, -7.0f, -7.0f},
      {"inverted heights", 1, 65535, 0.0f, -50.0f},
      {"derived model without a node", 1, 65535, 1e10f, -1e10f},
      {"largest code 0", 0, 0, -50.0f, 0.0f},
      {"codes inverted", 900, 800, -50.0f, 0.0f},
  };
  const Maker makers[] = {
      {"uniform", Wrap<Sd_BasicDTM>([] { return dtm_test::MakeDTM(9, 9); }), false},
      {"non-contiguous", Wrap<Sd_SonarDTM>([] { return dtm_test::MakeSonar(9, 9); }), false},
      {"non-contiguous, every node empty", Wrap<Sd_SonarDTM>([] { return dtm_test::MakeSonar(9, 9, 0, 8, 0, 8); }),
       true},
      {"textured", Wrap<Sd_TextureDTM>([] { return dtm_test::MakeTextured(9, 32, 32, 0, -1, 0, -1); }), false},
      {"spherical", Wrap<Sd_SphereDTM>([] { return sphere_test::MakeSphere(9, 9, -180.0f, 180.0f, -80.0f, 80.0f); }),
       false},
      {"spherical, one meridian, latitudes inverted",
       Wrap<Sd_SphereDTM>([] { return sphere_test::MakeSphere(9, 9, 20.0f, 20.0f, 60.0f, -60.0f); }), false},
      {"virtual-reality", Wrap<Sd_VRDTM>([] { return vr_test::MakeVR(9, 9); }), false},
      {"surface plot", Wrap<Sd_SurfacePlot>([] { return plot_test::MakePlot<Sd_SurfacePlot>(9, 9); }), false},
      {"spectrum", Wrap<Sd_SpectrumDTM>([] { return plot_test::MakePlot<Sd_SpectrumDTM>(9, 9); }), false},
  };
  Budget budget(1.0f);
  DepthPicker picker(kWidth, kHeight);
  for (const Maker& m : makers) {
    float topDepth = -1.0f;
    for (const Range& k : ranges) {
      SCOPED_TRACE(std::string(m.name) + ", " + k.name);
      std::unique_ptr<Sd_BaseDTM> dtm = m.make();
      ASSERT_TRUE(dtm);
      dtm->SetCodeRange(k.minCode, k.maxCode);
      dtm->SetBounds(2, k.zmin, k.zmax);
      const std::string path = dir.file("range.sd");
      ASSERT_TRUE(dtm_test::WriteSD(path, {dtm.get()}));
      dtm_test::Messages messages;
      auto in = dtm_test::ReadSD(path);
      ASSERT_EQ(in->children.size(), 1u) << messages.All();
      Sd_BaseDTM* loaded = in->Terrain<Sd_BaseDTM>(0);
      ASSERT_NE(loaded, nullptr);
      EXPECT_EQ(loaded->GetType(), dtm->GetType());
      EXPECT_EQ(loaded->GetMaxCode(), k.maxCode);
      EXPECT_EQ(loaded->GetBounds(2)[1], k.zmax);

      for (int best : {0, 1}) {
        dtm_test::ObliqueView();
        Clear();
        Sd_Node::SetBestPass(best);
        loaded->Render();
        EXPECT_GT(FinishPass(*loaded), 0);
      }
      Sd_Node::SetBestPass(0);
      dtm_test::TopDownView();
      Clear();
      loaded->Render();
      // A largest code of 0 divides by 65535: the hill's top stands as high
      // as with a largest code of 65535 (the first range), not 65535 boxes.
      const float depth = ReadDepth(kWidth / 2, kHeight / 2);
      if (&k == ranges) topDepth = depth;
      if (k.maxCode == 0) {
        EXPECT_EQ(depth, topDepth);
      }
      SDN_PickIn request = {&picker, kWidth / 2, kHeight / 2, 0, 0};
      SDN_PickOut out = dtm_test::NoPick();
      const int hit = loaded->QueryPoint(&request, &out);
      if (m.picksMiss) {
        EXPECT_EQ(hit, 0);
        EXPECT_EQ(out.found, 0);
      }
      const double x = 0.5 * (loaded->GetBounds(0)[0] + loaded->GetBounds(0)[1]);
      const double y = 0.5 * (loaded->GetBounds(1)[0] + loaded->GetBounds(1)[1]);
      unsigned colour = 0;
      const double height = loaded->GeoPickPoint(x, y, &colour);
      if (m.picksMiss) {
        EXPECT_EQ(height, 1e12);
      }
      loaded->ValueAt(x, y, 0);
      EXPECT_EQ(ModelViewStackDepth(), 1);
      ExpectNoGLError(k.name);
    }
  }
}
