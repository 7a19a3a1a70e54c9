// A class that exists only in this file, to show that a class joins the
// factory and the class contract suite through its own code and one
// registration line: a few points under a tag that has a name but no class
// in the format (SD_GRID3D). Its record: int32 count, then count x, y, z
// float32 triples; the common tags follow.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ContractSupport.h"
#include "Sd_IOSupport.h"
#include "Sd_Node.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

class Sd_TestPoints : public Sd_Node {
 public:
  static constexpr int kTypeId = 9001;

  Sd_TestPoints() { SetType(kTypeId); }
  ~Sd_TestPoints() override { FreeData(); }
  void FreeData() override {
    free(m_points);
    m_points = nullptr;
    m_count = 0;
  }
  const char* className() const override { return "Test Points"; }

  int LoadObject(TDR_Manager* manager) override {
    FreeData();
    TDR_PayloadReader in(manager);
    int count = 0;
    if (!in.Int32(&count) || count < 0 || count > in.Left() / 12) return -1;
    float* points = static_cast<float*>(malloc(12 * static_cast<size_t>(count) + 1));
    if (!points || !in.Float32s(points, 3 * count)) {
      free(points);
      return -1;
    }
    m_points = points;
    m_count = count;
    if (ReadCommonTags(manager) == 0) return 0;
    FreeData();
    return -1;
  }

  int SaveObject(TDR_Manager* manager, int withCommonTags, int) override {
    if (manager->WriteTag(TDR_TAG_SD_GRID3D, 1, 0, 0, 1) != 0) return -1;
    TDR_PayloadWriter out(manager);
    out.Int32(m_count);
    out.Float32s(m_points, 3 * m_count);
    if (!out.Ok() || manager->EndTag() != 0) return -1;
    return withCommonTags ? WriteCommonTags(manager) : 0;
  }

  static int WriteSample(TDR_Manager* manager) {
    Sd_TestPoints sample;
    sample.m_count = 4;
    sample.m_points = static_cast<float*>(malloc(12 * 4));
    for (int i = 0; i < 12; ++i) sample.m_points[i] = 0.25f * static_cast<float>(i % 5) - 0.5f;
    sample.SetBounds(0, 10.0f, 20.0f);
    sample.SetBounds(1, 30.0f, 40.0f);
    sample.SetBounds(2, -5.0f, 0.0f);
    return sample.SaveObject(manager, 1, 0);
  }

 private:
  float* m_points = nullptr;
  int m_count = 0;
};

const int g_registered = sd_contract::AddTestClass(
    {TDR_TAG_SD_GRID3D, "Sd_TestPoints", Sd_TestPoints::kTypeId, 0, 0, 0, nullptr, SV_LEVEL_WARNING,
     "Could not load the test points", nullptr, Sd_IOSupport::Make<Sd_TestPoints>, Sd_TestPoints::WriteSample});

}  // namespace

// The suite was instantiated for the class with every contract test.
TEST(ClassContractCoverage, ClassOfATestFileIsCheckedLikeEveryOther) {
  ASSERT_EQ(g_registered, 0);
  const testing::UnitTest* unit = testing::UnitTest::GetInstance();
  int contracts = 0, covering = 0;
  for (int s = 0; s < unit->total_test_suite_count(); ++s) {
    const testing::TestSuite* suite = unit->GetTestSuite(s);
    if (std::string(suite->name()) != "Classes/ClassContract") continue;
    for (int t = 0; t < suite->total_test_count(); ++t) {
      const std::string name = suite->GetTestInfo(t)->name();
      if (name.find("/Sd_Parent_9950") != std::string::npos) ++contracts;
      if (name.find("/Sd_TestPoints_10540") != std::string::npos) ++covering;
    }
  }
  EXPECT_GT(contracts, 0);
  EXPECT_EQ(covering, contracts);
}
