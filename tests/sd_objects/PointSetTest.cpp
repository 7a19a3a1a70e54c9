// Point sets and active point sets without drawing: their records in both
// byte orders, the rules of loading, hostile records, settings records,
// colours, symbol sizes, the class configuration and the file helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "AllocationWatch.h"
#include "PointSetTestSupport.h"
#include "Sv_Debug.h"
#include "Sv_HersheyFont.h"
#include "TestSupport.h"

using orvanta_test::AllocationWatch;
using orvanta_test::MessageCapture;
using orvanta_test::ReadFileBytes;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using point_test::Bytes;
using point_test::Head;
using point_test::MakeSet;
using point_test::Scene;
using point_test::Spec;

namespace {

// Neither a configuration nor a font file is found: the built-in defaults.
using NoHome = orvanta_test::NoMachineSettings;

std::string Text(size_t n, char first) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i % 23);
  return s;
}

}  // namespace

TEST(PointSetRecords, BothClassesAndDimensionsReadBackUnchangedInBothByteOrders) {
  NoHome env;
  TempDir dir;
  const std::string longLabel = Text(65535, 'a');
  const std::string longCommand = "echo " + Text(65530, 'A');
  for (bool active : {false, true}) {
    for (int d : {2, 3}) {
      SCOPED_TRACE(std::string(active ? "active" : "plain") + " dimension " + std::to_string(d));
      auto set = MakeSet(active, d,
                         {{500010.5, 6000020.25, -12.5, 3.5, "first", "echo 'a b'; true"},
                          {500090.0, 6000075.0, -40.0, -1.25, longLabel.c_str(), ""},
                          {500040.0, 6000100.0, -2.0, 8.0, nullptr, longCommand.c_str()}},
                         true, true);
      const std::string original = dir.file("original.sd");
      ASSERT_TRUE(point_test::WriteSD(original, {set.get()}));
      for (int order : {1, 0}) {
        const std::string path = dir.file("order" + std::to_string(order) + ".sd");
        ASSERT_TRUE(point_test::WriteSD(path, {set.get()}, order));
        Scene scene;
        Sd_Point3D* read = dynamic_cast<Sd_Point3D*>(scene.Read(path));
        ASSERT_TRUE(read);
        EXPECT_STREQ(read->className(), set->className());
        ASSERT_EQ(read->GetCount(), 3);
        EXPECT_EQ(read->GetDimension(), d);
        for (int i = 0; i < 3; ++i) {
          const Sd_Point3D::Position& a = set->GetPositions()[i];
          const Sd_Point3D::Position& b = read->GetPositions()[i];
          EXPECT_EQ(b.x, a.x);
          EXPECT_EQ(b.y, a.y);
          EXPECT_EQ(b.z, d == 3 ? a.z : 0.0);
          EXPECT_EQ(b.value, a.value);
          EXPECT_STREQ(read->GetLabel(i), set->GetLabel(i));
        }
        EXPECT_EQ(std::string(read->GetLabel(1)), longLabel);
        if (active) {
          auto* act = static_cast<Sd_ActPoint3D*>(read);
          EXPECT_STREQ(act->GetCommand(0), "echo 'a b'; true");
          EXPECT_EQ(act->GetCommand(1), nullptr) << "an empty command is stored as none";
          EXPECT_EQ(std::string(act->GetCommand(2)), longCommand);
        }
        for (int a = 0; a < 6; ++a) EXPECT_EQ(read->GetPointBounds()[a], set->GetPointBounds()[a]) << a;
        EXPECT_EQ(read->GetValueRange()[0], -1.25);
        EXPECT_EQ(read->GetValueRange()[1], 8.0);
        const std::string again = dir.file("again.sd");
        ASSERT_TRUE(point_test::WriteSD(again, {read}));
        EXPECT_TRUE(ReadFileBytes(again) == ReadFileBytes(original)) << "saved again, the set differs";
      }
    }
  }
  // A 16-bit length field cannot hold a longer text: the active set refuses
  // to write rather than store a wrong length.
  const std::string tooLong = Text(65536, 'a');
  auto set = MakeSet(true, 3, {{0, 0, 0, 0, tooLong.c_str(), "true"}, {1, 1, 1, 0, nullptr, nullptr}}, false, true);
  EXPECT_FALSE(point_test::WriteSD(dir.file("long.sd"), {set.get()}));
}

TEST(PointSetRecords, LoadingCompletesBoundsStepsAndColourModes) {
  NoHome env;
  TempDir dir;
  const std::string path = dir.file("rules.sd");
  auto load = [&](std::initializer_list<point_test::RawRecord> records, bool active) {
    EXPECT_TRUE(point_test::WriteRaw(path, records));
    int result = 0;
    std::unique_ptr<Sd_Point3D> set;
    if (active) {
      set = point_test::LoadFirst<Sd_ActPoint3D>(path, &result);
    } else {
      set = point_test::LoadFirst<Sd_Point3D>(path, &result);
    }
    EXPECT_EQ(result, 0);
    return set;
  };
  // 100 points start with detail step 10, 99 with step 1; records without
  // settings.
  for (int n : {99, 100}) {
    std::vector<Spec> pts;
    for (int i = 0; i < n; ++i) pts.push_back({double(i), double(i % 7), double(i % 3), 0, nullptr, nullptr});
    auto set = MakeSet(false, 3, pts);
    ASSERT_TRUE(point_test::WriteSD(path, {set.get()}, 1, 0));
    int result = 0;
    EXPECT_EQ(point_test::LoadFirst<Sd_Point3D>(path, &result)->GetDetailStep(), n >= 100 ? 10 : 1);
  }
  // The point block of a record without values or labels: the coordinates
  // of each point, then (active sets) an empty command.
  auto block = [](Bytes head, bool active, std::vector<std::vector<double>> points) {
    for (const auto& p : points) {
      for (double c : p) head.F64(c);
      if (active) head.U16(0);
    }
    return head.b;
  };
  auto tag = [](bool active) { return active ? TDR_TAG_SD_ACTPOINT3D : TDR_TAG_SD_POINT3D; };
  // Two dimensions: no z is read, every z is 0 and the z range 0 ... 1.
  for (bool active : {false, true}) {
    auto set = load({{tag(active), 1, block(Head(2, 2, 0, 0, {0, 10, 0, 20}), active, {{1, 2}, {9, 18}})}}, active);
    ASSERT_EQ(set->GetCount(), 2);
    EXPECT_EQ(set->GetPositions()[1].x, 9.0);
    EXPECT_EQ(set->GetPositions()[1].z, 0.0);
    EXPECT_EQ(set->GetPointBounds()[4], 0.0);
    EXPECT_EQ(set->GetPointBounds()[5], 1.0);
  }
  // Bounds stored as zero come from the points; an axis the points share
  // gets one unit. An active set keeps what its record stores, and a shared
  // x leaves it undrawable.
  const Bytes zeroHead = Head(2, 3, 0, 0, {0, 0, 0, 0, 0, 0});
  const std::vector<std::vector<double>> sharedX = {{5, 1, -3}, {5, 4, -1}};
  auto plain = load({{TDR_TAG_SD_POINT3D, 1, block(zeroHead, false, sharedX)}}, false);
  const double expected[6] = {5, 6, 1, 4, -3, -1};
  for (int a = 0; a < 6; ++a) EXPECT_EQ(plain->GetPointBounds()[a], expected[a]) << a;
  auto active = load({{TDR_TAG_SD_ACTPOINT3D, 1, block(zeroHead, true, sharedX)}}, true);
  for (int a = 0; a < 6; ++a) EXPECT_EQ(active->GetPointBounds()[a], 0.0) << a;
  EXPECT_EQ(active->StepRender(), 1) << "nothing to draw: the pass ends at once";
  // Colour mode 2 in the settings of a set without values falls back to 0;
  // a set with values starts in mode 2, and a settings record still chooses.
  auto settings = [](int step, int mode) {
    return Bytes().I32(step).I32(mode).I32(1).F32(0.03f).F32(0.5f).F32(0.0f).I32(1).I32(1).Raw("\xff\xff\xff", 3).b;
  };
  auto noValues = load(
      {{TDR_TAG_SD_POINT3D, 1, block(zeroHead, false, sharedX)}, {TDR_TAG_SD_POINT3D_ATB, 5, settings(3, 2)}}, false);
  EXPECT_EQ(noValues->GetColourMode(), 0);
  EXPECT_EQ(noValues->GetDetailStep(), 3);
  const std::string valued = Head(1, 3, 1, 0, {0, 1, 0, 1, 0, 1}, {4, 4}).F64(0.5).F64(0.5).F64(0.5).F64(4).b;
  EXPECT_EQ(load({{TDR_TAG_SD_POINT3D, 1, valued}}, false)->GetColourMode(), 2);
  EXPECT_EQ(
      load({{TDR_TAG_SD_POINT3D, 1, valued}, {TDR_TAG_SD_POINT3D_ATB, 5, settings(1, 0)}}, false)->GetColourMode(), 0);
}

TEST(PointSetRecords, HostileCountsDimensionsAndLengthsAreRefusedBeforeAllocating) {
  NoHome env;
  TempDir dir;
  const std::string path = dir.file("hostile.sd");
  auto good = MakeSet(false, 3, {{1, 2, 3, 0, nullptr, nullptr}, {4, 5, 6, 0, nullptr, nullptr}});
  const std::vector<double> b3 = {0, 1, 0, 1, 0, 1};
  struct Case {
    const char* what;
    int tag;
    std::string payload;
  };
  const Case cases[] = {
      {"dimension 4", TDR_TAG_SD_POINT3D, Head(1, 4, 0, 0, b3).F64(1).F64(1).F64(1).F64(1).b},
      {"dimension 0", TDR_TAG_SD_POINT3D, Head(0, 0, 0, 0, {0, 1, 0, 1}).b},
      {"dimension -1", TDR_TAG_SD_ACTPOINT3D, Head(0, -1, 0, 0, {0, 1, 0, 1}).b},
      {"negative count", TDR_TAG_SD_POINT3D, Head(-1, 3, 0, 0, b3).b},
      {"huge count", TDR_TAG_SD_POINT3D, Head(0x7FFFFFFF, 3, 1, 1, b3, {0, 1}).b},
      {"count beyond the payload", TDR_TAG_SD_POINT3D, Head(3, 3, 0, 0, b3).F64(1).F64(1).F64(1).b},
      {"negative label length", TDR_TAG_SD_POINT3D, Head(1, 3, 0, 1, b3).F64(1).F64(1).F64(1).I32(-5).Text("abcde").b},
      {"label beyond the payload", TDR_TAG_SD_POINT3D, Head(1, 3, 0, 1, b3).F64(1).F64(1).F64(1).I32(1000000).b},
      {"command beyond the payload", TDR_TAG_SD_ACTPOINT3D,
       Head(1, 3, 0, 0, b3).F64(1).F64(1).F64(1).U16(60000).Text("rm").b},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(point_test::WriteRaw(path, {{c.tag, 1, c.payload}}, {good.get()}));
    // The factory drops the record and reads the next object whole.
    {
      Scene scene;
      scene.Read(path);
      const auto kids = scene.Children();
      ASSERT_EQ(kids.size(), 1u);
      EXPECT_EQ(static_cast<Sd_Point3D*>(kids[0])->GetCount(), 2);
    }
    std::unique_ptr<Sd_Point3D> set(c.tag == TDR_TAG_SD_POINT3D ? new Sd_Point3D() : new Sd_ActPoint3D());
    TDR_Manager m;
    ASSERT_TRUE(m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0 && m.ReadTag() == c.tag);
    AllocationWatch watch;
    EXPECT_EQ(set->LoadObject(&m), -1);
    watch.Stop();
    EXPECT_EQ(set->GetCount(), 0);
    // Nothing beyond the points the payload really holds is allocated.
    EXPECT_LE(watch.Largest(), c.payload.size() + 1024);
  }
}

TEST(PointSetRecords, SettingsRecordsOfEachVersionSetTheirFieldsOnly) {
  NoHome env;
  TempDir dir;
  const std::string path = dir.file("settings.sd");
  Bytes record = Head(1, 3, 0, 0, {0, 1, 0, 1, 0, 1});
  record.F64(0.5).F64(0.5).F64(0.5);
  auto fields = [](int version) {
    Bytes b;
    b.I32(4).I32(1).I32(6).F32(0.08f).F32(0.9f).F32(0.125f).I32(0);
    if (version >= 3) b.I32(0);
    if (version >= 5) b.Raw("\x10\x20\x30", 3);
    return b.b;
  };
  struct Case {
    short tagVersion;
    std::string payload;
    bool read, lod, colour;
  };
  const Case cases[] = {
      {2, fields(2), true, false, false},
      {4, fields(4), true, true, false},
      {5, fields(5), true, true, true},
      {1, Bytes().I32(5).Text(fields(5)).b, true, true, true},  // the version opens the payload
      {7, fields(5), false, false, false},                      // unknown: not read
      {5, fields(5).substr(0, 20), false, false, false},        // short: skipped whole
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tagVersion);
    ASSERT_TRUE(point_test::WriteRaw(
        path, {{TDR_TAG_SD_POINT3D, 1, record.b}, {TDR_TAG_SD_POINT3D_ATB, c.tagVersion, c.payload}}));
    int result = 0;
    auto set = point_test::LoadFirst<Sd_Point3D>(path, &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(set->GetDetailStep(), c.read ? 4 : 1);
    EXPECT_EQ(set->GetSymbolCode(), c.read ? 6 : int(Sd_Point3D::kCube));
    EXPECT_FLOAT_EQ(set->GetSymbolSizeFactor(), c.read ? 0.08f : 0.02f);
    EXPECT_FLOAT_EQ(set->GetZOffset(), c.read ? 0.125f : 0.0f);
    EXPECT_EQ(set->GetLevelOfDetail(), c.lod ? 0 : 1);
    EXPECT_EQ(set->GetColour(), c.colour ? PackColour(0x10, 0x20, 0x30, 255) : 0xFFFFFFFFu);
  }
}

TEST(PointSetColours, HeightAndValueIndexTheColourMapWithFlatDataAtEntryZero) {
  NoHome env;
  struct Range {
    float low = 0, high = 0;
    int calls = 0;
  } range;
  Sd_Node::SetColorRangeCallback(
      [](Sd_Node*, float low, float high, void* data) {
        Range* r = static_cast<Range*>(data);
        r->low = low;
        r->high = high;
        ++r->calls;
      },
      &range);
  auto set = MakeSet(false, 3,
                     {{0, 0, -20, 5, nullptr, nullptr},
                      {1, 1, -10, 7.5, nullptr, nullptr},
                      {2, 2, 0, 10, nullptr, nullptr},
                      {3, 3, -30, 6, nullptr, nullptr}},
                     true);
  set->SetColorMap(point_test::RampColourMap());
  // The node's box spans z -20 ... 0: the point at its top takes entry 255,
  // the one below it entry 0.
  set->SetBounds(2, -20.0f, 0.0f);
  set->SetColourMode(1);
  EXPECT_EQ(range.calls, 1);
  EXPECT_EQ(range.low, -20.0f);
  EXPECT_EQ(range.high, 0.0f);
  EXPECT_EQ(ColourRed(set->GetPointColour(0)), 0u);
  EXPECT_EQ(ColourRed(set->GetPointColour(1)), 127u);
  EXPECT_EQ(ColourRed(set->GetPointColour(2)), 255u);
  EXPECT_EQ(ColourRed(set->GetPointColour(3)), 0u);
  set->SetColourMode(2);
  EXPECT_EQ(range.low, 5.0f);
  EXPECT_EQ(range.high, 10.0f);
  EXPECT_EQ(ColourRed(set->GetPointColour(1)), 127u);
  EXPECT_EQ(ColourAlpha(set->GetPointColour(1)), 255u);
  // Flat heights and an empty value range: entry 0, not a number cast.
  set->SetBounds(2, -5.0f, -5.0f);
  set->SetColourMode(1);
  auto same = MakeSet(false, 3, {{0, 0, 0, 4, nullptr, nullptr}, {1, 1, 1, 4, nullptr, nullptr}}, true);
  same->SetColorMap(point_test::RampColourMap());
  same->SetColourMode(2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(set->GetPointColour(i), PackColour(0, 0, 255, 255)) << i;
  EXPECT_EQ(same->GetPointColour(1), PackColour(0, 0, 255, 255));
  Sd_Node::ClearHooks();
}

TEST(PointSetSymbols, SizeFollowsTheBoxAndNotTheExaggeration) {
  NoHome env;
  auto set = MakeSet(false, 3, {{0, 0, 0, 0, nullptr, nullptr}, {100, 50, 10, 0, nullptr, nullptr}});
  set->SetSymbolSize(0.02f);
  EXPECT_FLOAT_EQ(set->GetSymbolSize(), 0.4f);
  EXPECT_FLOAT_EQ(set->GetSymbolScales()[0], 0.004f);
  EXPECT_FLOAT_EQ(set->GetSymbolScales()[1], 0.008f);
  const float projected = set->GetSymbolScales()[2];
  EXPECT_FLOAT_EQ(projected, 0.04f);
  Sd_Node::SetCoordinateType(1);
  set->SetSymbolSize(0.02f);
  EXPECT_FLOAT_EQ(set->GetSymbolScales()[2], projected * 110000.0f);
  Sd_AlignmentNode parent;
  parent.SetScale(1.0f, 1.0f, 2.0f);
  set->SetParent(&parent);
  set->SetSymbolSize(0.02f);
  EXPECT_FLOAT_EQ(set->GetSymbolScales()[2], projected * 55000.0f);
  Sd_Node::SetCoordinateType(0);
  set->SetSymbolSize(0.02f);
  EXPECT_FLOAT_EQ(set->GetSymbolScales()[2], projected / 2.0f);
  set->SetParent(nullptr);
}

TEST(PointSetConfiguration, PointClassLinesAreTakenByPositionAndTheLastOneRepeats) {
  TempDir dir;
  FILE* f = fopen(dir.file("PointClass").c_str(), "w");
  ASSERT_TRUE(f);
  fputs("# point settings\n1\n2\n6\n0.07\n", f);
  fclose(f);
  ScopedEnv config("WRUCONFIGURATIONS", dir.path().c_str());
  Sd_Point3D set;
  EXPECT_EQ(set.GetColourMode(), 2);
  EXPECT_EQ(set.GetSymbolCode(), 6);
  EXPECT_FLOAT_EQ(set.GetSymbolSizeFactor(), 0.07f);
  EXPECT_FLOAT_EQ(set.GetLabelSize(), 0.07f);
  EXPECT_FLOAT_EQ(set.GetZOffset(), 0.07f);
}

TEST(PointSetFiles, AsciiExportTrackFileAndTDRFile) {
  NoHome env;
  TempDir dir;
  // Geographic sets get eight decimals, others two.
  auto geo = MakeSet(false, 3, {{10.5, 50.1, -3, 0, nullptr, nullptr}, {11.2, 50.3, -4.256, 0, nullptr, nullptr}});
  ASSERT_EQ(geo->WriteASCII(dir.file("geo.txt").c_str()), 0);
  EXPECT_EQ(ReadFileBytes(dir.file("geo.txt")), "10.50000000 50.10000000 -3.00\n11.20000000 50.30000000 -4.26\n");
  auto metres =
      MakeSet(false, 3, {{500000, 6000000, 1, 0, nullptr, nullptr}, {500001.125, 6000002, 2, 0, nullptr, nullptr}});
  ASSERT_EQ(metres->WriteASCII(dir.file("m.txt").c_str()), 0);
  EXPECT_EQ(ReadFileBytes(dir.file("m.txt")), "500000.00 6000000.00 1.00\n500001.12 6000002.00 2.00\n");
  {
    MessageCapture capture;
    EXPECT_NE(metres->WriteASCII(dir.file("missing/m.txt").c_str()), 0);
    EXPECT_TRUE(capture.Contains("ERROR::Opening File")) << capture.All();
  }
  // A track file: the lines are counted, no count is left without points.
  FILE* f = fopen(dir.file("track.txt").c_str(), "w");
  fputs("1 2 3\n\n4 5 6\n", f);
  fclose(f);
  EXPECT_EQ(metres->ReadTrackFile(dir.file("track.txt").c_str()), 0);
  EXPECT_EQ(metres->GetCount(), 0);
  EXPECT_EQ(metres->GetPositions(), nullptr);
  EXPECT_EQ(metres->ReadTrackFile(dir.file("none.txt").c_str()), -1);
  // A TDR file: each point record is loaded, the last one stays.
  auto first = MakeSet(false, 3, {{1, 1, 1, 0, nullptr, nullptr}, {2, 2, 2, 0, nullptr, nullptr}});
  auto second = MakeSet(
      false, 3, {{7, 7, 7, 0, nullptr, nullptr}, {8, 9, 9, 0, nullptr, nullptr}, {9, 8, 8, 0, nullptr, nullptr}});
  Sd_AlignmentNode group;
  ASSERT_TRUE(point_test::WriteSD(dir.file("points.tdr"), {first.get(), &group, second.get()}));
  Sd_Point3D set;
  set.ReadTDRFile(dir.file("points.tdr").c_str());
  ASSERT_EQ(set.GetCount(), 3);
  EXPECT_EQ(set.GetPositions()[2].x, 9.0);
}

TEST(PointSetContent, SetPointsCopiesAtMostCountAndFontFailureLeavesUsablePoints) {
  NoHome env;
  Sd_PointListRecord r[5];
  for (int i = 0; i < 5; ++i)
    r[i] = {double(i), double(2 * i), double(-i), double(10 * i), "p", i < 4 ? &r[i + 1] : nullptr};
  Sd_Point3D set;
  EXPECT_EQ(set.SetPoints(r, 3, 1, 0), 0);
  EXPECT_EQ(set.GetCount(), 3);
  EXPECT_EQ(set.GetValueRange()[1], 20.0);
  EXPECT_EQ(set.SetPoints(r, 7, 0, 0), 0);
  EXPECT_EQ(set.GetCount(), 5) << "the list ends first";
  EXPECT_EQ(set.GetDimension(), 3);
  set.FreeData();
  EXPECT_EQ(set.GetCount(), 0);
  // The detail settings kept and taken back; nothing kept, nothing changes.
  set.RestoreSettings();
  EXPECT_EQ(set.GetDetailStep(), 1);
  set.SetDetailStep(7);
  set.SaveSettings();
  EXPECT_EQ(set.ResetSettings(), 1);
  EXPECT_EQ(set.GetLevelOfDetail(), 0);
  set.RestoreSettings();
  EXPECT_EQ(set.GetDetailStep(), 7);
  EXPECT_EQ(set.GetLevelOfDetail(), 1);

  // Without the built-in font and without font files the labels cannot be
  // drawn; the points load all the same.
  Sv_HersheySetBuiltIn(0);
  TempDir dir;
  auto labelled = MakeSet(true, 3, {{0, 0, 0, 0, "A", "true"}, {1, 1, 1, 0, "B", "true"}}, false, true);
  ASSERT_TRUE(point_test::WriteSD(dir.file("l.sd"), {labelled.get()}));
  Sv_Debug::ForgetReported();
  MessageCapture capture(SV_LEVEL_DEBUG);
  testing::internal::CaptureStderr();
  int result = -2;
  auto loaded = point_test::LoadFirst<Sd_ActPoint3D>(dir.file("l.sd"), &result);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(loaded->GetCount(), 2);
  EXPECT_STREQ(loaded->GetLabel(1), "B");
  EXPECT_EQ(loaded->GetFont(), nullptr);
  EXPECT_NE((capture.All() + err).find("ERROR: Could not initialize font!"), std::string::npos);
}
