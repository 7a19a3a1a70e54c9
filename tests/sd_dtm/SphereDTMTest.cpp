// Spherical terrain model: settings records, refused input, heights at
// geographic points and rays meeting the sphere.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "SphereTestSupport.h"
#include "TestSupport.h"

using dtm_test::Messages;
using dtm_test::ReadSD;
using dtm_test::SDWriter;
using orvanta_test::TempDir;
using sphere_test::MakeSphere;

namespace {

constexpr double kPi = 3.14159265358979323846;

double HeightOfCode(double code) { return code / 65535.0 * (sphere_test::kZMax - sphere_test::kZMin); }

}  // namespace

TEST(SphereDTM, SettingsRecordsOfVersionOneAndOfVersionZeroWithFormatTwo) {
  TempDir dir;
  auto out = MakeSphere(5, 7, -180.0f, 180.0f, -60.0f, 60.0f);
  struct Case {
    short tagVersion;
    float formatWord;
    bool flags;
  };
  for (const Case& k : {Case{1, 0.0f, false}, Case{0, 2.0f, true}}) {
    SCOPED_TRACE(k.tagVersion);
    const std::string path = dir.file("settings.sd");
    SDWriter w(path);
    dtm_test::WriteGridRecords(w, TDR_TAG_SD_SPHEREDTM, out.get());
    ASSERT_EQ(out->Sd_Node::WriteCommonTags(w.Manager()), 0);
    // The later of two records wins.
    w.Raw(TDR_TAG_SD_SPHEREDTM_ATB, sphere_test::Settings(k.formatWord, 1, 1, 1, 1, 1.0f, k.flags, 0, 0, 0),
          k.tagVersion);
    w.Raw(TDR_TAG_SD_SPHEREDTM_ATB, sphere_test::Settings(k.formatWord, 0, 99, 4, 0, 30.0f, k.flags), k.tagVersion);
    ASSERT_TRUE(w.Close());
    auto in = ReadSD(path);
    Sd_SphereDTM* dtm = in->Terrain<Sd_SphereDTM>(0);
    ASSERT_NE(dtm, nullptr);
    EXPECT_EQ(dtm->GetDrawMode(), 0);
    EXPECT_EQ(dtm->GetAlpha(), 99);
    EXPECT_EQ(dtm->GetLODStep(), 4);
    EXPECT_EQ(dtm->GetAutoLOD(), 0);
    EXPECT_FLOAT_EQ(dtm->GetExaggeration(), 30.0f);
    EXPECT_DOUBLE_EQ(dtm->GetBaseRadius(), 0.5);
    EXPECT_NEAR(dtm->OuterRadius(), 0.5 + 10000.0 * 30.0 / 6371000.0, 1e-9);
    const int flag = k.flags ? 1 : 0;
    EXPECT_EQ(dtm->GetShowGraticule(), flag);
    EXPECT_EQ(dtm->GetDrawBackFaces(), flag);
    EXPECT_EQ(dtm->GetMercatorRows(), flag);
    EXPECT_EQ(dtm->GetWrapsAround(), 1);
  }
}

// Grids below 2 x 2 and missing grid records are refused with their
// messages; the object after them loads.
TEST(SphereDTM, BadGridsAreRefusedAndTheNextRecordLoads) {
  TempDir dir;
  auto good = MakeSphere(4, 5, 0.0f, 90.0f, 0.0f, 45.0f);
  struct Case {
    const char* name;
    std::function<void(SDWriter&)> write;
    const char* message;
  };
  const Case cases[] = {
      {"one row", [](SDWriter& w) { w.Object(MakeSphere(1, 5, 0.0f, 90.0f, 0.0f, 10.0f).get()); },
       "at least 2 x 2"},
      {"no grids", [](SDWriter& w) { w.Raw(TDR_TAG_SD_SPHEREDTM, ""); }, "expected TDR_TAG_SCALAR!"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = dir.file("bad.sd");
    SDWriter w(path);
    k.write(w);
    w.Object(good.get());
    ASSERT_TRUE(w.Close());
    Messages messages;
    auto in = ReadSD(path);
    EXPECT_TRUE(messages.Contains(k.message)) << messages.All();
    ASSERT_EQ(in->children.size(), 1u);
    ASSERT_NE(in->Terrain<Sd_SphereDTM>(0), nullptr);
    EXPECT_EQ(in->Terrain<Sd_SphereDTM>(0)->GetCols(), 5);
  }
}

// Heights between nodes are bilinear in the rows' spacing, western
// longitudes of a -180 ... 180 grid answer (also given as 180 ... 360), and
// the last row and column have no value; value queries hand the height to
// the query callback.
TEST(SphereDTM, HeightsAtGeographicPoints) {
  TempDir dir;
  // Columns every 30 degrees from -180, rows every 15 degrees from -60.
  auto out = MakeSphere(9, 13, -180.0f, 180.0f, -60.0f, 60.0f);
  auto in = sphere_test::Reload(out.get(), dir.file("globe.sd"));
  Sd_SphereDTM* dtm = in->Terrain<Sd_SphereDTM>(0);
  ASSERT_NE(dtm, nullptr);
  auto slope = [](double col, double row) {
    return HeightOfCode(1000.0 + sphere_test::kSlopeColumn * col + sphere_test::kSlopeRow * row);
  };

  EXPECT_NEAR(dtm->GetElevation(-100.0, 20.0), slope(80.0 / 30.0, 80.0 / 15.0), 0.01) << "west of 0";
  EXPECT_NEAR(dtm->GetElevation(260.0, 20.0), slope(80.0 / 30.0, 80.0 / 15.0), 0.01) << "the same point";
  EXPECT_NEAR(dtm->GetElevation(45.0, -52.5), slope(7.5, 0.5), 0.01);
  EXPECT_EQ(dtm->GetElevation(45.0, 60.0), 0.0) << "last row";
  EXPECT_EQ(dtm->GetElevation(180.0, 0.0), 0.0) << "last column";
  EXPECT_EQ(dtm->GetElevation(45.0, 61.0), 0.0) << "north of the grid";

  dtm_test::QueryLog log;
  Sd_Node::SetQueryCallback(dtm_test::QueryLog::Callback, &log);
  EXPECT_EQ(dtm->ValueAt(-100.0, 20.0, 42), 1);
  EXPECT_EQ(dtm->ValueAt(0.0, 70.0, 42), 0);
  Sd_Node::SetQueryCallback(nullptr, nullptr);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.user, 42);
  EXPECT_DOUBLE_EQ(log.x, -100.0);
  EXPECT_NEAR(log.value, slope(80.0 / 30.0, 80.0 / 15.0), 0.01);

  // With rows equally spaced in Mercator y, the equator is the middle row
  // and 30 degrees north lies where its Mercator y puts it.
  dtm->SetMercatorRows(1);
  auto mercator = [](double lat) { return std::log(std::tan(kPi / 4.0 + lat * kPi / 360.0)); };
  const double row30 = 4.0 + 4.0 * mercator(30.0) / mercator(60.0);
  EXPECT_NEAR(dtm->GetElevation(45.0, 0.0), slope(7.5, 4.0), 0.01);
  EXPECT_NEAR(dtm->GetElevation(45.0, 30.0), slope(7.5, row30), 0.01);
}

TEST(SphereDTM, RaysMeetTheSphereFromOutsideAndFromInside) {
  const double outside[3] = {2.0, 0.0, 0.0}, centre[3] = {0.0, 0.0, 0.0};
  const double towards[3] = {-1.0, 0.0, 0.0}, away[3] = {1.0, 0.0, 0.0}, past[3] = {0.0, 1.0, 0.0};
  EXPECT_DOUBLE_EQ(Sd_SphereDTM::IntersectRaySphere(outside, towards, 0.5), 1.5);
  EXPECT_EQ(Sd_SphereDTM::IntersectRaySphere(outside, away, 0.5), -1.0);
  EXPECT_EQ(Sd_SphereDTM::IntersectRaySphere(outside, past, 0.5), -1.0);
  EXPECT_DOUBLE_EQ(Sd_SphereDTM::IntersectRaySphere(centre, away, 0.5), 0.5);
}
