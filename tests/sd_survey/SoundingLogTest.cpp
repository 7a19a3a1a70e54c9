// Change logs and printouts of sounding records: golden texts for each
// family of rows in the index and pair forms, the tolerance of near fields,
// the flag group, and the index and id checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SoundingTestSupport.h"
#include "TestSupport.h"

namespace {

// What write puts on a stream.
std::string Written(const std::function<void(FILE*)>& write) {
  FILE* f = tmpfile();
  if (!f) return "<no stream>";
  write(f);
  std::string text;
  rewind(f);
  for (int c; (c = fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
  fclose(f);
  return text;
}

// Debug messages sent by call.
std::string Said(const std::function<void()>& call) {
  orvanta_test::MessageCapture debugLevel(-1);
  testing::internal::CaptureStderr();
  call();
  return testing::internal::GetCapturedStderr();
}

template <class Rec>
struct Case {
  std::function<void(Rec&)> change;  // applied to the stored copy
  std::string index;                  // the index form's text
  std::string pair;                   // the pair form's text
};

TEST(SoundingLog, HTFRowFamiliesInBothForms) {
  std::vector<HTFSndRecord> loaded = sounding_test::HTFRecords(3);
  for (HTFSndRecord& r : loaded) r.lat = 60.5;
  auto set = std::make_unique<Sd_HTFSounding>();
  ASSERT_EQ(set->SetSoundings(loaded.data(), 3), 0);
  const HTFSndRecord given = set->GetRecords()[1];
  const int id = given.id;
  const std::string head = "Change in Sounding with ID " + std::to_string(id) + ":  ";
  const std::vector<Case<HTFSndRecord>> cases = {
      {[](HTFSndRecord& r) { r.lineName += 5; },
       "Change in Sounding with ID " + std::to_string(id) + ": Line Name changed from " +
           std::to_string(given.lineName) + " to " + std::to_string(given.lineName + 5) + ".\n",
       ""},
      {[](HTFSndRecord& r) { r.vbCorrection = 2.5f; },
       "Change in VB Correction with ID " + std::to_string(id) + ": VB Correction changed from " +
           std::to_string(given.vbCorrection) + " to 2.500000.\n",
       ""},
      {[](HTFSndRecord& r) { r.lat += 0.25; }, head + "lat changed from " + std::to_string(given.lat) + " to " +
                                                   std::to_string(given.lat + 0.25) + ".\n",
       "   " + head + "lat changed from " + std::to_string(given.lat) + " to " + std::to_string(given.lat + 0.25) +
           ".\n"},
      {[](HTFSndRecord& r) { r.time += 3; },
       head + "time changed from " + std::to_string(double(given.time)) + " to " +
           std::to_string(double(given.time + 3)) + ".\n",
       "   " + head + "time changed from " + std::to_string(double(given.time)) + " to " +
           std::to_string(double(given.time + 3)) + ".\n"},
      {[](HTFSndRecord& r) { r.flags = static_cast<unsigned char>(r.flags ^ (HTF_PLOTTED_FLAG | HTF_NBA_FLAG)); },
       head + "HTF_PLOTTED_FLAG changed from " + std::to_string(given.flags & 1) + " to " +
           std::to_string(1 - (given.flags & 1)) + ".\n" + head + "HTF_NBA_FLAG changed from " +
           std::to_string((given.flags >> 5) & 1) + " to " + std::to_string(1 - ((given.flags >> 5) & 1)) + ".\n",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    HTFSndRecord stored = given;
    c.change(stored);
    std::vector<HTFSndRecord> records(set->GetRecords(), set->GetRecords() + 3);
    records[1] = stored;
    ASSERT_EQ(set->SetSoundings(records.data(), 3), 0);
    EXPECT_EQ(Written([&](FILE* f) { set->SndRecordCmp(given, 1, f); }), c.index);
    std::string pair = c.pair;
    if (c.index.find("FLAG") != std::string::npos) {
      // The pair form compares the flags too, with its blanks.
      pair = "   " + c.index.substr(0, c.index.find('\n') + 1) + "   " + c.index.substr(c.index.find('\n') + 1);
    }
    EXPECT_EQ(Written([&](FILE* f) { Sd_HTFSounding::SndRecordPairCmp(given, stored, f); }), pair);
  }
}

TEST(SoundingLog, NearFieldsFlagGroupAndChecks) {
  HTFSndRecord a{};
  a.id = 9;
  a.depth = 10.0f;
  HTFSndRecord b = a;
  b.depth = 10.0f + 5e-8f;  // rounds to the same float: nothing
  EXPECT_EQ(Written([&](FILE* f) { Sd_HTFSounding::SndRecordPairCmp(a, b, f); }), "");
  a.lat = 1.0;
  b.lat = 1.0 + 5e-8;
  b.depth = a.depth;
  EXPECT_EQ(Written([&](FILE* f) { Sd_HTFSounding::SndRecordPairCmp(a, b, f); }), "");
  b.lat = 1.0 + 2e-7;
  EXPECT_EQ(Written([&](FILE* f) { Sd_HTFSounding::SndRecordPairCmp(a, b, f); }),
            "   Change in Sounding with ID 9:  lat changed from 1.000000 to 1.000000.\n");
  // Equal flag bytes print no flag line; 0x05 against 0x01 only the
  // rejected bit, with the given record's value first.
  b.lat = a.lat;
  a.flags = b.flags = 0x25;
  EXPECT_EQ(Written([&](FILE* f) { Sd_HTFSounding::SndRecordPairCmp(a, b, f); }), "");
  a.flags = 0x05;
  b.flags = 0x01;
  EXPECT_EQ(Written([&](FILE* f) { Sd_HTFSounding::SndRecordPairCmp(a, b, f); }),
            "   Change in Sounding with ID 9:  HTF_REJECTED_FLAG changed from 1 to 0.\n");
  // Another id: nothing.
  b.id = 10;
  EXPECT_EQ(Written([&](FILE* f) { Sd_HTFSounding::SndRecordPairCmp(a, b, f); }), "");

  auto htf = sounding_test::MakeHTF(2);
  std::string out;
  EXPECT_NE(Said([&] { out = Written([&](FILE* f) { htf->SndRecordCmp(a, -1, f); }); })
                .find("Sd_HTFSounding::SndRecordCmp: sounding position index out of bound!"),
            std::string::npos);
  EXPECT_EQ(out, "");
  auto fsd = sounding_test::MakeFSD(4);
  const FsdFrameRecord frame = fsd->GetFrames()[0];
  EXPECT_EQ(Written([&](FILE* f) { fsd->FrameRecordCmp(frame, fsd->GetFrameCount(), f); }), "");
  EXPECT_NE(Said([&] { fsd->FrameRecordCmp(frame, 1, stdout); }).find("FrameRecordCmp: position index is wrong!"),
            std::string::npos);
}

TEST(SoundingLog, FSDFramesAndRunsInBothForms) {
  FsdSndRecord a{};
  a.id = 4;
  a.distance = 12;
  a.flags = FSD_NBA_FLAG;
  a.nbaDepth = -5.0f;
  FsdSndRecord b = a;
  b.distance = 15;
  b.secondConf[2] = 7;
  b.flags = FSD_NBA_FLAG | FSD_MANSELECT_FLAG;
  b.nbaDepth = -6.0f;
  const std::string head = "Change in Sounding with ID 4:  ";
  EXPECT_EQ(Written([&](FILE* f) { Sd_Sounding::SndRecordPairCmp(a, b, f); }),
            "   " + head + "distance changed from 12 to 15.\n" + "   " + head + "secondConf[2] changed from 0 to 7.\n" +
                "    " + head + "FSD_MANSELECT_FLAG changed from 0 to 1.\n" + "   " + head +
                "nbaDepth changed from -5.000000 to -6.000000.\n");
  // Equal flags: nbaDepth is still compared.
  b = a;
  b.nbaDepth = -7.0f;
  EXPECT_EQ(Written([&](FILE* f) { Sd_Sounding::SndRecordPairCmp(a, b, f); }),
            "   " + head + "nbaDepth changed from -5.000000 to -7.000000.\n");

  auto fsd = sounding_test::MakeFSD(4);
  FsdSndRecord given = fsd->GetRecords()[2];
  given.distance += 2;
  EXPECT_EQ(Written([&](FILE* f) { fsd->SndRecordCmp(given, 2, f); }),
            "Change in Sounding with ID " + std::to_string(given.id) + ":  distance changed from " +
                std::to_string(double(given.distance)) + " to " + std::to_string(double(given.distance - 2)) + ".\n");

  FsdFrameRecord fa{};
  fa.id = 3;
  FsdFrameRecord fb = fa;
  fb.conf[0] = 1;
  fb.depthCorr = 0.5f;
  EXPECT_EQ(Written([&](FILE* f) { Sd_Sounding::FramePairCmp(fa, fb, f); }),
            "   Change in frame with ID: 3  depthCorr changed from 0.000000 to 0.500000.\n"
            "Change in frame with ID: 3  conf[0] changed from 0 to 1.\n");

  FsdRunRecord ra{};
  ra.id = 2;
  FsdRunRecord rb = ra;
  rb.latStart = 1.5;
  rb.suf_con = 4;
  rb.count = 9;
  EXPECT_EQ(Written([&](FILE* f) { Sd_Sounding::RunPairCmp(ra, rb, f); }),
            "    Change in run with ID: 2  latStart changed from 0.000000 to 1.500000.\n"
            "Change in run with ID: 2  suf_con changed from 0 to 4.\n"
            "   Change in run with ID: 2  count changed from 0 to 9.\n");
  const FsdRunRecord run = fsd->GetRuns()[1];
  FsdRunRecord moved = run;
  moved.day += 1;
  EXPECT_EQ(Written([&](FILE* f) { fsd->RunRecordCmp(moved, 1, f); }),
            "Change in run with ID: " + std::to_string(run.id) + "  day changed from " + std::to_string(run.day + 1) +
                " to " + std::to_string(run.day) + ".\n");
}

TEST(SoundingLog, PrintoutsOfBothClasses) {
  HTFSndRecord h{};
  h.id = 17;
  h.x = 1.5;
  h.y = 2.5;
  h.lonStart = 3.25;
  h.lat = 4.75;
  h.z = -20.0;
  EXPECT_EQ(Written([&](FILE* f) { Sd_HTFSounding::PrintSndRecord(h, f); }),
            "\nPrintout for Sounding ID 17.\nx=1.500000, y=2.500000, lon=3.250000, lat=4.750000, z=-20.000000\n");
  FsdSndRecord s{};
  s.id = 5;
  s.frameIdx = 1;
  s.frameHeadID = 2;
  s.primaryFrameID = 3;
  s.time = 40;
  s.distance = 50;
  s.sndCount = 6;
  EXPECT_EQ(Written([&](FILE* f) { Sd_Sounding::PrintSndRecord(s, f); }),
            "\nPrintout for Sounding ID 5.\nframeIdx=1, frameHeadID=2, primaryFrameID=3\n"
            "x=0.000000, y=0.000000, lon=0.000000, lat=0.000000, z=0.000000\n"
            "time=40, distance=50, sndCount=6.\n");
}

}  // namespace
