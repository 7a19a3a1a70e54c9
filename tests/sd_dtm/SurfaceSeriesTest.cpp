// Surface series: records in both byte orders and behind a file pointer,
// saving as a file pointer, hostile records, the default colour map, and
// geographic picks of the current frame.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SeriesTestSupport.h"
#include "Sv_Debug.h"
#include "Sv_Platform.h"
#include "Sv_Stdlib.h"

using dtm_test::Bytes;
using dtm_test::kXMax;
using dtm_test::kXMin;
using dtm_test::kYMax;
using dtm_test::kYMin;
using dtm_test::Messages;
using dtm_test::ReadSD;
using orvanta_test::ReadFileBytes;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;

namespace {

// A node with an empty code in frame 1 only.
unsigned short RampWithGap(int f, int r, int c) { return f == 1 && r == 2 && c == 2 ? 0 : dtm_test::SeriesRamp(f, r, c); }

double Height(unsigned short code) { return code / 65535.0 * (dtm_test::kZMax - dtm_test::kZMin) + dtm_test::kZMin; }

// Every height and colour of every frame equal.
void ExpectSameFrames(const Sd_SurfaceSeries& a, const Sd_SurfaceSeries& b) {
  ASSERT_EQ(a.GetFrameCount(), b.GetFrameCount());
  ASSERT_EQ(a.GetRows(), b.GetRows());
  ASSERT_EQ(a.GetCols(), b.GetCols());
  const size_t cols = static_cast<size_t>(a.GetCols());
  for (int f = 0; f < a.GetFrameCount(); ++f) {
    for (int r = 0; r < a.GetRows(); ++r) {
      EXPECT_EQ(memcmp(a.FrameHeights(f, r), b.FrameHeights(f, r), cols * 2), 0) << f << " " << r;
      EXPECT_EQ(memcmp(a.FrameColours(f, r), b.FrameColours(f, r), cols * 4), 0) << f << " " << r;
    }
  }
}

Sd_SurfaceSeries* OnlySeries(const dtm_test::ReadResult& in) {
  return in.children.size() == 1 ? dynamic_cast<Sd_SurfaceSeries*>(in.children[0]) : nullptr;
}

// A series file made by hand: the object record (tag version 2: frame
// count, name flag, then the names payload as given), heights of the given
// type and dimensions, colours of the given type and dimensions; a record
// whose type is 0 is left out.
std::string WriteHandMade(const TempDir& dir, const std::string& names, int heightType, std::vector<int> hdims,
                          int colourType, std::vector<int> cdims) {
  const std::string path = dir.file("hand.sd");
  auto body = [](const std::vector<int>& d, int bytes) {
    long long n = 1;
    for (int v : d) n *= v;
    return std::string(static_cast<size_t>(n > 0 && n < (1 << 20) ? n * bytes : 0) + 2 * bytes, '\x01');
  };
  dtm_test::SDWriter w(path);
  w.Raw(TDR_TAG_SD_SURFACESERIES, names, 2);
  if (heightType) w.Scalar(heightType, {hdims[0], hdims[1], hdims[2]}, body(hdims, 2));
  if (colourType) w.Scalar(colourType, {cdims[0], cdims[1], cdims[2]}, body(cdims, 4));
  EXPECT_TRUE(w.Close());
  return path;
}

}  // namespace

TEST(SurfaceSeries, NamedFramesRoundTripInBothByteOrdersAndBehindAFilePointer) {
  TempDir dir;
  // The frames in one block, as outside the sanitizer build: each record is
  // read into it in one piece.
  struct OneBlock {
    int before = Sv_UtlSetGridLayout(SV_GRID_ONE_BLOCK);
    ~OneBlock() { Sv_UtlSetGridLayout(before); }
  } oneBlock;
  auto out = dtm_test::MakeSeries(3, 4, 5, RampWithGap);
  ASSERT_TRUE(out);
  out->SetDrawMode(0);
  out->SetLODStep(3);
  out->SetAnimate(0);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("series" + std::to_string(order) + ".sd");
    ASSERT_TRUE(dtm_test::WriteSeries(path, out.get(), order));
    auto in = ReadSD(path);
    Sd_SurfaceSeries* series = OnlySeries(*in);
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->GetType(), 28);
    EXPECT_STREQ(series->className(), "Non-Cont. DTM");
    // Colours of the other byte order are kept byte for byte.
    ExpectSameFrames(*series, *out);
    ASSERT_EQ(series->HasFrameNames(), 1);
    EXPECT_STREQ(series->GetFrameName(2), "frame 2");
    EXPECT_STREQ(series->GetFrameName(-1), "frame 0") << "the current frame's";
    EXPECT_EQ(series->GetFrameName(3), nullptr);
    EXPECT_EQ(series->GetDrawMode(), 0);
    EXPECT_EQ(series->GetLODStep(), 3);
    EXPECT_EQ(series->GetAnimate(), 0);
    EXPECT_FLOAT_EQ(series->GetBounds(0)[1], kXMax);

    // Saved, the series points at its file and keeps its settings; the
    // ones saved with the pointer (written later) win.
    series->SetLODStep(5);
    const std::string pointer = dir.file("pointer.sd");
    ASSERT_TRUE(dtm_test::WriteSD(pointer, {series}));
    const std::string bytes = ReadFileBytes(pointer);
    EXPECT_LT(bytes.size(), 1024u) << "no frames in the pointer file";
    EXPECT_NE(bytes.find(path), std::string::npos);
    auto again = ReadSD(pointer);
    Sd_SurfaceSeries* followed = OnlySeries(*again);
    ASSERT_NE(followed, nullptr);
    ExpectSameFrames(*followed, *out);
    EXPECT_EQ(followed->GetLODStep(), 5);
    EXPECT_STREQ(followed->GetFrameName(1), "frame 1");

    // Saved over its own file, it writes its records: a pointer would name
    // itself and the frames would be lost.
    ASSERT_TRUE(dtm_test::WriteSD(path, {series}));
    auto self = ReadSD(path);
    ASSERT_NE(OnlySeries(*self), nullptr);
    ExpectSameFrames(*OnlySeries(*self), *out);
  }
}

TEST(SurfaceSeries, HostileRecordsAreRefusedOrLoseOnlyTheirNames) {
  TempDir dir;
  const std::vector<int> dims = {3, 2, 2};
  const std::string twoNames = Bytes(2) + Bytes(1) + Bytes(1) + "a" + Bytes(1) + "b";
  struct Case {
    const char* what;
    std::string names;
    int heightType;
    std::vector<int> hdims;
    int colourType;
    std::vector<int> cdims;
    size_t objects;
    const char* message;
  };
  const Case cases[] = {
      {"names for fewer frames than the heights", Bytes(1) + Bytes(1) + Bytes(1) + "a", TDR_TYPE_USHORT, dims,
       TDR_TYPE_UINT, dims, 1, "do not number its frames"},
      {"a name longer than its record", Bytes(2) + Bytes(1) + Bytes(0x7FFFFFFF) + "a", TDR_TYPE_USHORT, dims,
       TDR_TYPE_UINT, dims, 1, "do not fit their record"},
      {"a name count beyond the record", Bytes(0x40000000) + Bytes(1), TDR_TYPE_USHORT, dims, TDR_TYPE_UINT, dims, 1,
       "do not fit their record"},
      {"frames whose size overflows 32 bits", twoNames, TDR_TYPE_USHORT, {65536, 65536, 2}, TDR_TYPE_UINT, dims, 0,
       "height record"},
      {"signed heights", twoNames, TDR_TYPE_SHORT, dims, TDR_TYPE_UINT, dims, 0, "expected type unsigned short!"},
      {"no height record", twoNames, 0, dims, 0, dims, 0, "expected TDR_TAG_SCALAR!"},
      {"colours of another type", twoNames, TDR_TYPE_USHORT, dims, TDR_TYPE_ULONG, dims, 0, "expected color data!"},
      {"colours of other frames", twoNames, TDR_TYPE_USHORT, dims, TDR_TYPE_UINT, {3, 2, 1}, 0,
       "expected color data!"},
      {"no colour record", twoNames, TDR_TYPE_USHORT, dims, 0, dims, 0, "expected color data!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteHandMade(dir, c.names, c.heightType, c.hdims, c.colourType, c.cdims);
    Messages heard;
    auto in = ReadSD(path);
    ASSERT_EQ(in->children.size(), c.objects);
    EXPECT_TRUE(heard.Contains(c.message)) << heard.All();
    if (c.objects == 1) {
      Sd_SurfaceSeries* series = OnlySeries(*in);
      ASSERT_NE(series, nullptr);
      EXPECT_EQ(series->GetFrameCount(), 2);
      EXPECT_EQ(series->HasFrameNames(), 0);
      EXPECT_EQ(series->GetFrameName(0), nullptr);
    }
  }
}

TEST(SurfaceSeries, MissingDefaultColourMapIsReportedAndTheLoadGoesOn) {
  TempDir dir;
  const std::string path = dir.file("series.sd");
  auto out = dtm_test::MakeSeries(2, 3, 3);
  ASSERT_TRUE(dtm_test::WriteSeries(path, out.get()));
  ScopedEnv home("WRUHOME", dir.path().c_str());
  {
    Sv_Debug::ForgetReported();
    Messages heard;
    auto in = ReadSD(path);
    ASSERT_NE(OnlySeries(*in), nullptr);
    EXPECT_EQ(OnlySeries(*in)->IsColorTableLoaded(), 0);
    EXPECT_TRUE(heard.Contains("Opening colormap file")) << heard.All();
    unsigned ramp[256];
    TDR_UtlBuiltInColormap(ramp);
    EXPECT_EQ(OnlySeries(*in)->GetColorTable()[77], ramp[77]);
  }
  ASSERT_EQ(Sv_PlatformMakeDirectory(dir.file("cmaps").c_str()), 0);
  ASSERT_TRUE(dtm_test::WriteRampColormap(dir.file("cmaps/step16.cmap")));
  auto in = ReadSD(path);
  ASSERT_NE(OnlySeries(*in), nullptr);
  EXPECT_EQ(OnlySeries(*in)->IsColorTableLoaded(), 1);
  EXPECT_EQ(OnlySeries(*in)->GetColorTable()[10], PackColour(10, 245, 0, 255));
}

TEST(SurfaceSeries, GeographicPicksAndQueriesAnswerFromTheCurrentFrame) {
  auto series = dtm_test::MakeSeries(3, 5, 5, RampWithGap);
  ASSERT_TRUE(series);
  // Column 0.5, row 1: half-way between codes 1000 and 1500 of frame 0.
  const double x = kXMin + 0.5 * (kXMax - kXMin) / 4.0;
  const double y = kYMin + 1.0 * (kYMax - kYMin) / 4.0;
  unsigned colour = 0;
  EXPECT_NEAR(series->GeoPickPoint(x, y, &colour), Height(1250), 1e-3);
  EXPECT_EQ(ColourRed(colour), 230u) << "frame 0 is red";
  series->SetFrame(1);
  EXPECT_NEAR(series->GeoPickPoint(x, y, &colour), Height(11250), 1e-3);
  EXPECT_EQ(ColourGreen(colour), 230u);

  // A cell with one empty corner (node (2, 2) of frame 1) answers nothing;
  // in frame 2 it does.
  const double xGap = kXMin + 2.5 * (kXMax - kXMin) / 4.0;
  const double yGap = kYMin + 1.5 * (kYMax - kYMin) / 4.0;
  EXPECT_EQ(series->GeoPickPoint(xGap, yGap, nullptr), 1e12);
  dtm_test::QueryLog log;
  Sd_Node::SetQueryCallback(dtm_test::QueryLog::Callback, &log);
  EXPECT_EQ(series->ValueAt(xGap, yGap, 7), 0);
  series->SetFrame(2);
  EXPECT_EQ(series->ValueAt(xGap, yGap, 7), 1);
  Sd_Node::SetQueryCallback(nullptr, nullptr);
  EXPECT_EQ(log.calls, 1);
  EXPECT_NEAR(log.value, Height(21000 + 1250), 1e-3);

  // The top right corner: the edge node's own height.
  EXPECT_NEAR(series->GeoPickPoint(kXMax, kYMax, nullptr), Height(dtm_test::SeriesRamp(2, 4, 4)), 1e-3);
}
