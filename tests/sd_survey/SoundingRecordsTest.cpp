// Sounding data sets: the object record in both layouts, both byte orders
// and every tag version, bytes assembled from the format's offset table,
// depths, bounds, old formats and the record look-ups.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "SoundingTestSupport.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using dtm_test::Messages;
using dtm_test::ReadSD;
using dtm_test::SDWriter;
using orvanta_test::TempDir;
using sounding_test::Child;
using sounding_test::Stored;

namespace {

// Writes set at every tag version in both byte orders, reads each file back
// through the factory and checks the records, the header size (base plus
// the format version at tag version 0, plus the cell size from tag version
// 2 on) and the cell size; then reads the header alone.
template <class Set>
void CheckEveryVersion(Set* set, int baseHeader) {
  TempDir dir;
  set->SetCellSize(37.5f);
  for (int order : {1, 0}) {
    for (int version : {0, 1, 2}) {
      SCOPED_TRACE(std::string(order ? "little" : "big") + "-endian, tag version " + std::to_string(version));
      const std::string path = dir.file("v" + std::to_string(version) + ".sd");
      ASSERT_TRUE(sounding_test::WriteData(path, {set}, order, version));
      auto read = ReadSD(path);
      Set* loaded = Child<Set>(*read, 0);
      ASSERT_NE(loaded, nullptr);
      EXPECT_EQ(read->children.size(), 1u);
      EXPECT_STREQ(loaded->GetName(), ("v" + std::to_string(version) + ".sd").c_str());
      EXPECT_STREQ(loaded->GetDescription(), path.c_str());
      EXPECT_STREQ(loaded->GetDataPath(), path.c_str());
      EXPECT_EQ(loaded->GetPayloadHeaderSize(), baseHeader + (version == 0 ? 4 : 0) + (version >= 2 ? 4 : 0));
      EXPECT_EQ(loaded->GetCellSize(), version == 2 ? 37.5f : 100.0f);
      sounding_test::ExpectSameRecords(*set, *loaded);

      // The header alone: counts to the caller, never into the object.
      int tag = 0;
      auto m = dtm_test::OpenAtFirstTag(path, &tag);
      ASSERT_EQ(tag, set->GetClass().objectTag);
      Set fresh;
      Sd_SoundingHeader header;
      EXPECT_EQ(fresh.ReadPayloadHeader(m.get(), &header), 0);
      EXPECT_EQ(fresh.GetPayloadHeaderSize(), loaded->GetPayloadHeaderSize());
      EXPECT_EQ(header.sndCount, set->GetSoundingCount());
      EXPECT_EQ(header.runCount, set->GetRunCount());
      EXPECT_EQ(fresh.GetSoundingCount(), 0);
    }
  }
}

}  // namespace

TEST(SoundingRecords, BothClassesLoadAtEveryTagVersionInBothByteOrders) {
  {
    SCOPED_TRACE("HTF");
    auto htf = sounding_test::MakeHTF(7);
    CheckEveryVersion(htf.get(), 4);
  }
  {
    SCOPED_TRACE("FSD");
    auto fsd = sounding_test::MakeFSD(7, 2, 4);
    CheckEveryVersion(fsd.get(), 12);
  }
}

// An FSD object record assembled byte by byte from the format's offset
// table (big-endian, tag version 1): one run, one frame, two soundings, the
// second with its NBA flag.
TEST(SoundingRecords, FsdBytesFromTheOffsetTableLoadIntoTheirFields) {
  Stored p(0);
  p.Put<int>(1).Put<int>(1).Put<int>(2);
  const size_t runAt = p.size();
  // Run: eleven int32 (id, day, year, status, statusType, offset, distance,
  // limit, suf_con, pos_con, count), then lonStart, latStart, xStart,
  // yStart, lonEnd, latEnd, xEnd, yEnd.
  for (int k = 0; k < 11; ++k) p.Put<int>(100 + k);
  for (int k = 0; k < 8; ++k) p.Put<double>(0.5 + k);
  const size_t frameAt = p.size();
  // Frame: runIdx, id, time, conf[3], depthCorr, method, pointCount.
  p.Put<int>(0).Put<int>(61).Put<int>(62).Put<int>(63).Put<int>(64).Put<int>(65).Put<float>(1.25f).Put<int>(66).Put<int>(67);
  const size_t soundingAt = p.size();
  for (int i = 0; i < 2; ++i) {
    // frameIdx, id, frameHeadID, primaryFrameID; lonStart, lat, x, y;
    // time, distance; depth; sndCount; primaryConf[4], secondConf[4];
    // flags at 72; nbaDepth at 73.
    p.Put<int>(0).Put<int>(700 + i).Put<int>(61).Put<int>(60);
    p.Put<double>(3.25).Put<double>(54.5).Put<double>(1000.0 + 10 * i).Put<double>(2000.0 - 10 * i);
    p.Put<int>(11 + i).Put<int>(22 + i).Put<float>(10.0f + 10 * i).Put<int>(2);
    for (int k = 0; k < 4; ++k) p.Byte(static_cast<unsigned char>(k - 2));
    for (int k = 0; k < 4; ++k) p.Byte(static_cast<unsigned char>(10 * k));
    p.Byte(i == 1 ? FSD_NBA_FLAG | FSD_DELETE_FLAG : 0);
    p.Put<float>(10.5f + 10.5f * i);
  }
  ASSERT_EQ(runAt, 12u);
  ASSERT_EQ(frameAt - runAt, 108u);
  ASSERT_EQ(soundingAt - frameAt, 36u);
  ASSERT_EQ(p.size() - soundingAt, 2 * 77u);

  TempDir dir;
  auto read = sounding_test::ReadRecord(dir.file("fsd.sd"), TDR_TAG_SD_SOUNDING, p.str(), 1, 0);
  Sd_Sounding* s = Child<Sd_Sounding>(*read, 0);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->GetRunCount(), 1);
  ASSERT_EQ(s->GetFrameCount(), 1);
  ASSERT_EQ(s->GetSoundingCount(), 2);
  EXPECT_EQ(s->GetStoredRun(0), static_cast<long long>(runAt));
  EXPECT_EQ(s->GetStoredFrame(0), static_cast<long long>(frameAt));
  EXPECT_EQ(s->GetStoredSounding(1), static_cast<long long>(soundingAt + 77));

  const FsdRunRecord& run = s->GetRuns()[0];
  EXPECT_EQ(run.id, 100);
  EXPECT_EQ(run.count, 110);
  EXPECT_EQ(run.lonStart, 0.5);
  EXPECT_EQ(run.yStart, 3.5);
  EXPECT_EQ(run.yEnd, 7.5);
  const FsdFrameRecord& frame = s->GetFrames()[0];
  EXPECT_EQ(frame.conf[2], 65);
  EXPECT_EQ(frame.depthCorr, 1.25f);
  EXPECT_EQ(frame.pointCount, 67);

  const FsdSndRecord& a = s->GetRecords()[0];
  const FsdSndRecord& b = s->GetRecords()[1];
  EXPECT_EQ(b.id, 701);
  EXPECT_EQ(b.primaryFrameID, 60);
  EXPECT_EQ(b.lonStart, 3.25);
  EXPECT_EQ(b.lat, 54.5);
  EXPECT_EQ(b.x, 1010.0);
  EXPECT_EQ(b.y, 1990.0);
  EXPECT_EQ(b.time, 12);
  EXPECT_EQ(b.distance, 23);
  EXPECT_EQ(b.sndCount, 2);
  EXPECT_EQ(b.primaryConf[0], -2);
  EXPECT_EQ(b.primaryConf[3], 1);
  EXPECT_EQ(b.secondConf[3], 30);
  EXPECT_EQ(b.flags, FSD_NBA_FLAG | FSD_DELETE_FLAG);
  // Both depths are negated; the NBA sounding's z is its NBA depth.
  EXPECT_EQ(a.depth, -10.0f);
  EXPECT_EQ(a.nbaDepth, -10.5f);
  EXPECT_EQ(a.z, -10.0);
  EXPECT_EQ(b.depth, -20.0f);
  EXPECT_EQ(b.nbaDepth, -21.0f);
  EXPECT_EQ(b.z, -21.0);
  EXPECT_EQ(b.inGrid, 1);
  EXPECT_EQ(b.mark, 0);
  // Both in one cell, the shallower first.
  EXPECT_EQ(a.nextInCell, 1);
  EXPECT_EQ(b.nextInCell, -1);
  // z from -21 to -10, the minimum lowered by 5 % of the range.
  double bounds[6], ranges[3];
  s->GetDataBounds(bounds);
  s->GetDataRanges(ranges);
  EXPECT_DOUBLE_EQ(bounds[4], -21.55);
  EXPECT_EQ(bounds[5], -10.0);
  EXPECT_FLOAT_EQ(static_cast<float>(ranges[2]), 11.55f);
  // x and y of the node are the edges of the grid of 100-unit cells laid
  // from a tenth of a cell below the data's minima.
  EXPECT_EQ(s->GetBounds(0)[0], 990.0f);
  EXPECT_EQ(s->GetBounds(1)[1], 2080.0f);
  EXPECT_FLOAT_EQ(s->GetBounds(2)[0], -21.55f);
}

// Two HTF soundings 10 and 20 deep, assembled by hand (tag version 2, cell
// size 25): z is minus the depth, which stays positive.
TEST(SoundingRecords, HtfBytesGiveTheDepthsAndBoundsOfTheFormat) {
  Stored p(1);
  p.Put<float>(25.0f).Put<int>(2);
  for (int i = 0; i < 2; ++i) {
    // id, lineName, fixNumber, date; lonStart, lat, x, y; time at 48,
    // depth at 52, field10, field11, five floats from 64, field17 at 84,
    // flags at 88.
    p.Put<int>(5 + i).Put<int>(6).Put<int>(7).Put<int>(20240229);
    p.Put<double>(3.5).Put<double>(54.25).Put<double>(100.0 * i).Put<double>(50.0 * i);
    p.Put<int>(99).Put<float>(10.0f * (i + 1)).Put<int>(-1).Put<int>(-2);
    for (int k = 0; k < 5; ++k) p.Put<float>(0.5f * k);
    p.Put<unsigned>(0xDEADBEEFu).Byte(HTF_REJECTED_FLAG | 0x40);
  }
  ASSERT_EQ(p.size(), 8u + 2 * 89u);
  TempDir dir;
  auto read = sounding_test::ReadRecord(dir.file("htf.sd"), TDR_TAG_SD_HTFSOUNDING, p.str(), 2, 1);
  Sd_HTFSounding* s = Child<Sd_HTFSounding>(*read, 0);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->GetSoundingCount(), 2);
  EXPECT_EQ(s->GetCellSize(), 25.0f);
  EXPECT_EQ(s->GetStoredRecord(1), 8 + 89);
  const HTFSndRecord& r = s->GetRecords()[1];
  EXPECT_EQ(r.id, 6);
  EXPECT_EQ(r.date, 20240229);
  EXPECT_EQ(r.lonStart, 3.5);
  EXPECT_EQ(r.x, 100.0);
  EXPECT_EQ(r.y, 50.0);
  EXPECT_EQ(r.time, 99);
  EXPECT_EQ(r.field11, -2);
  EXPECT_EQ(r.vbCorrection, 2.0f);
  EXPECT_EQ(r.field17, 0xDEADBEEFu);
  EXPECT_EQ(r.flags, HTF_REJECTED_FLAG | 0x40);
  EXPECT_EQ(s->GetRecords()[0].depth, 10.0f);
  EXPECT_EQ(s->GetRecords()[0].z, -10.0);
  EXPECT_EQ(r.depth, 20.0f);
  EXPECT_EQ(r.z, -20.0);
  double bounds[6], ranges[3];
  s->GetDataBounds(bounds);
  s->GetDataRanges(ranges);
  EXPECT_EQ(bounds[5], -10.0);
  EXPECT_EQ(bounds[4], -20.5);
  EXPECT_EQ(ranges[2], 10.5);
  // The grid of 25-unit cells from -2.5: five columns.
  EXPECT_EQ(ranges[0], 125.0);
  EXPECT_EQ(s->GetBounds(2)[0], -20.5f);
  EXPECT_EQ(s->GetMaxCellCount(), 1);
}

// A record of format 1.5 is refused (FSD with the old-class message at
// debug level, HTF silently) and the record after it loads.
TEST(SoundingRecords, OldFormatIsRefusedAndTheNextRecordLoads) {
  TempDir dir;
  auto fsd = sounding_test::MakeFSD(3, 1, 2);
  auto htf = sounding_test::MakeHTF(3);
  for (Sd_SoundingSet* set : {static_cast<Sd_SoundingSet*>(fsd.get()), static_cast<Sd_SoundingSet*>(htf.get())}) {
    SCOPED_TRACE(set->className());
    const std::string path = dir.file("old.sd");
    {
      SDWriter w(path);
      ASSERT_EQ(set->WriteDataRecord(w.Manager(), 0, 1.5f), 0);
      ASSERT_EQ(set->WriteDataRecord(w.Manager(), 0, 2.0f), 0);
      ASSERT_TRUE(w.Close());
    }
    Messages messages;
    auto read = ReadSD(path);
    ASSERT_EQ(read->children.size(), 1u);
    EXPECT_EQ(read->children[0]->GetType(), set->GetType());
    EXPECT_EQ(static_cast<Sd_SoundingSet*>(read->children[0])->GetPayloadHeaderSize(), set == fsd.get() ? 16 : 8);
    EXPECT_EQ(messages.Contains("          ****** OLD SOUNDING CLASS *******"), set == fsd.get());
  }
}

// No soundings leave the bounds at their starting values; soundings that
// are not finite, or beyond float range, stay out of the grid and out of
// the bounds.
TEST(SoundingRecords, EmptyAndNonFiniteSoundingsKeepTheBoundsSound) {
  TempDir dir;
  auto empty = sounding_test::MakeHTF(0);
  ASSERT_TRUE(sounding_test::WriteData(dir.file("empty.sd"), {empty.get()}));
  auto read = ReadSD(dir.file("empty.sd"));
  Sd_HTFSounding* s = Child<Sd_HTFSounding>(*read, 0);
  ASSERT_NE(s, nullptr);
  double b[6];
  s->GetDataBounds(b);
  EXPECT_EQ(b[0], 1e15);
  EXPECT_EQ(b[1], -1e15);
  EXPECT_EQ(b[4], 1.1e15);
  EXPECT_EQ(s->GetBounds(0)[0], 1e15f);

  std::vector<FsdSndRecord> r = sounding_test::FsdRecords(5);
  r[1].x = std::numeric_limits<double>::quiet_NaN();
  r[2].depth = -std::numeric_limits<float>::infinity();
  r[2].flags = 0;
  r[3].y = 1e300;
  r[4].depth = -80.0f;
  Sd_Sounding fsd;
  ASSERT_EQ(fsd.SetSoundings(r.data(), 5), 0);
  ASSERT_TRUE(sounding_test::WriteData(dir.file("odd.sd"), {&fsd}, 0));
  auto odd = ReadSD(dir.file("odd.sd"));
  Sd_Sounding* f = Child<Sd_Sounding>(*odd, 0);
  ASSERT_NE(f, nullptr);
  const int expected[5] = {1, 0, 0, 0, 1};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(f->GetRecords()[i].inGrid, expected[i]) << i;
  f->GetDataBounds(b);
  EXPECT_EQ(b[0], r[0].x);
  EXPECT_EQ(b[1], r[4].x);
  EXPECT_EQ(b[3], r[4].y);
  EXPECT_EQ(b[5], -20.0);
  EXPECT_EQ(b[4], -80.0 - 0.05 * 60.0);
  EXPECT_TRUE(std::isnan(f->GetRecords()[1].x));
}

TEST(SoundingRecords, LookUpsGoByIdAndPosition) {
  std::vector<HTFSndRecord> r = sounding_test::HTFRecords(5);
  r[3].id = r[1].id;
  Sd_HTFSounding s;
  ASSERT_EQ(s.SetSoundings(r.data(), 5), 0);
  EXPECT_EQ(s.FindRecordByID(r[1].id), 1);
  EXPECT_EQ(s.FindRecordByID(r[4].id), 4);
  EXPECT_EQ(s.FindRecordByID(-5), -1);
  const float x = static_cast<float>(r[2].x);
  const float y = static_cast<float>(r[2].y);
  EXPECT_EQ(s.MatchRecord(r[2].id, 2, x + 0.75f, y - 0.5f), 1);
  EXPECT_EQ(s.MatchRecord(r[2].id, 2, x + 1.0f, y), 0);
  EXPECT_EQ(s.MatchRecord(r[2].id, 2, x, y - 1.0f), 0);
  EXPECT_EQ(s.MatchRecord(r[2].id + 1, 2, x, y), 0);
  EXPECT_EQ(s.MatchRecord(r[2].id, 5, x, y), 0);
  EXPECT_EQ(s.MatchRecord(r[2].id, -1, x, y), 0);
}
