// Surface plot and spectrum: records of both kinds in both byte orders,
// saving as a pointer to the file they came from, text headers with either
// line end and hostile ones, the axes' ticks and a font that cannot load.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "PlotTestSupport.h"
#include "Sv_Debug.h"
#include "Sv_HersheyFont.h"

using dtm_test::Bytes;
using dtm_test::ReadSD;
using dtm_test::SDWriter;
using dtm_test::WriteSD;
using orvanta_test::TempDir;
using plot_test::MakePlot;

namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ExpectSamePlot(Sd_PlotDTM* a, Sd_PlotDTM* b, bool texts) {
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->GetRows(), b->GetRows());
  ASSERT_EQ(a->GetCols(), b->GetCols());
  for (int r = 0; r < a->GetRows(); ++r) {
    for (int c = 0; c < a->GetCols(); ++c) {
      ASSERT_EQ(a->GetElevationGrid()[r][c], b->GetElevationGrid()[r][c]);
      ASSERT_EQ(a->GetColorGrid()[r][c], b->GetColorGrid()[r][c]);
    }
  }
  for (int t = 0; texts && t < Sd_PlotDTM::kTextCount; ++t) {
    // The spectrum has no z label.
    if (t == Sd_PlotDTM::kZLabel && a->IsSpectrum()) continue;
    EXPECT_STREQ(a->GetText(Sd_PlotDTM::Text(t)), b->GetText(Sd_PlotDTM::Text(t)));
  }
  for (int axis = 0; axis < (a->IsSpectrum() ? 2 : 3); ++axis) {
    EXPECT_EQ(a->GetRange(axis)[0], b->GetRange(axis)[0]);
    EXPECT_EQ(a->GetRange(axis)[1], b->GetRange(axis)[1]);
  }
  EXPECT_TRUE(a->GetDrawMode() == b->GetDrawMode() && a->GetLabelZ() == b->GetLabelZ() &&
              a->GetLineWidth() == b->GetLineWidth() && memcmp(a->GetAxisColour(), b->GetAxisColour(), 4) == 0);
}

// Both kinds: written in either byte order they read back whole (a surface
// plot with its three steps at 1 and its scale (cols / rows, 1, 0.2), a
// spectrum with its recorded steps); a loaded plot saves a file-pointer
// record to its file, which reads back as the same plot with the saved
// attributes; saved into its own file it writes its grids instead.
template <class T>
void RoundTrip(int type, const char* name) {
  TempDir dir;
  auto made = MakePlot<T>(6, 9);
  made->SetSteps(3, 2, 7);
  made->SetDrawMode(0);
  made->SetLabelZ(-0.75f);
  made->SetLineWidth(3);
  made->SetAxisColour(1, 2, 3, 4);
  made->SetRange(1, 0.1f, 1e7f);
  const bool spectrum = made->IsSpectrum();
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string source = dir.file("plot" + std::to_string(order) + ".sd");
    ASSERT_TRUE(WriteSD(source, {made.get()}, order));
    auto in = ReadSD(source);
    T* loaded = in->Terrain<T>(0);
    ExpectSamePlot(made.get(), loaded, true);
    EXPECT_STREQ(loaded->className(), name);
    EXPECT_EQ(loaded->GetType(), type);
    if (spectrum) {
      EXPECT_EQ(loaded->GetDrawStep(), 3);
      EXPECT_EQ(loaded->GetPassStep(), 2);
      EXPECT_EQ(loaded->GetThirdStep(), 7);
      EXPECT_FLOAT_EQ(*loaded->GetScale('x'), 1.0f);
    } else {
      EXPECT_EQ(loaded->GetDrawStep(), 1);
      EXPECT_EQ(loaded->GetPassStep(), 1);
      EXPECT_EQ(loaded->GetThirdStep(), 1);
      EXPECT_FLOAT_EQ(*loaded->GetScale('x'), 9.0f / 6.0f);
      EXPECT_FLOAT_EQ(*loaded->GetScale('y'), 1.0f);
      EXPECT_FLOAT_EQ(*loaded->GetScale('z'), 0.2f);
    }

    loaded->SetLineWidth(5);
    const std::string saved = dir.file("saved.sd");
    ASSERT_TRUE(WriteSD(saved, {loaded}));
    const std::string bytes = FileBytes(saved);
    EXPECT_NE(bytes.find(source), std::string::npos) << "the pointer names the source";
    EXPECT_LT(bytes.size(), 500u) << "no grids";
    auto again = ReadSD(saved);
    ExpectSamePlot(loaded, again->Terrain<T>(0), true);
    EXPECT_EQ(again->Terrain<T>(0)->GetLineWidth(), 5);

    ASSERT_TRUE(WriteSD(source, {loaded}));
    EXPECT_GT(FileBytes(source).size(), 6u * 9u * 6u);
    auto same = ReadSD(source);
    ExpectSamePlot(loaded, same->Terrain<T>(0), true);
  }
}

}  // namespace

TEST(SurfacePlot, BothKindsLoadInBothByteOrdersAndSaveAPointerToTheirFile) {
  RoundTrip<Sd_SurfacePlot>(30, "Sd_SurfacePlot");
  RoundTrip<Sd_SpectrumDTM>(13, "Sd_SpectrumDTM");
}

// Text headers as other writers make them: an old record with its format
// word and "\r\n" line ends, over-long texts and ranges that are no
// numbers; and headers that are refused (lines missing, a grid of one row)
// with the next object still loading.
TEST(SurfacePlot, TextHeadersWithEitherLineEndAndHostileOnes) {
  TempDir dir;
  auto grid = MakePlot<Sd_SurfacePlot>(4, 5);
  auto thin = MakePlot<Sd_SurfacePlot>(2, 5);
  const std::string path = dir.file("headers.sd");
  const std::string longTitle(3000, 't');
  SDWriter w(path);
  dtm_test::WriteGridRecords(w, TDR_TAG_SD_SURFACEPLOT, grid.get(), 0,
                             "plot\r\n" + longTitle + "\r\nkHz\r\n0.5 8.5\r\nmin\r\nabc\r\nm\r\n-1 2e3");
  dtm_test::WriteGridRecords(w, TDR_TAG_SD_SPECTRUMDTM, grid.get(), 1, "spec\nHz\n1 100000 rest\ns\n2 4\nLevels\n");
  // Lines missing: refused.
  dtm_test::WriteGridRecords(w, TDR_TAG_SD_SPECTRUMDTM, grid.get(), 1, "spec\nHz\n1 10\n");
  // A grid of one row: refused (the unit box divides by rows - 1).
  thin->CreateGrids(1, 5);
  thin->SetCodeRange(1, 65535);
  dtm_test::WriteGridRecords(w, TDR_TAG_SD_SURFACEPLOT, thin.get(), 1, "p\nt\nx\n0 1\ny\n0 1\nz\n0 1\n");
  w.Object(grid.get());
  ASSERT_TRUE(w.Close());

  dtm_test::Messages messages;
  auto in = ReadSD(path);
  ASSERT_EQ(in->children.size(), 3u);
  Sd_SurfacePlot* old = in->Terrain<Sd_SurfacePlot>(0);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(std::string(old->GetText(Sd_PlotDTM::kTitle)), std::string(255, 't'));
  EXPECT_STREQ(old->GetText(Sd_PlotDTM::kXLabel), "kHz");
  EXPECT_STREQ(old->GetText(Sd_PlotDTM::kYLabel), "min");
  EXPECT_STREQ(old->GetText(Sd_PlotDTM::kZLabel), "m");
  EXPECT_EQ(old->GetRange(0)[0], 0.5);
  EXPECT_EQ(old->GetRange(0)[1], 8.5);
  EXPECT_EQ(old->GetRange(1)[0], 0.0) << "a range that is no numbers keeps its default";
  EXPECT_EQ(old->GetRange(1)[1], 1.0);
  EXPECT_EQ(old->GetRange(2)[1], 2000.0);

  Sd_SpectrumDTM* spectrum = in->Terrain<Sd_SpectrumDTM>(1);
  ASSERT_NE(spectrum, nullptr);
  EXPECT_STREQ(spectrum->GetText(Sd_PlotDTM::kXLabel), "Hz");
  EXPECT_STREQ(spectrum->GetText(Sd_PlotDTM::kTitle), "Levels");
  EXPECT_EQ(spectrum->GetRange(0)[1], 100000.0);
  EXPECT_EQ(spectrum->GetRange(1)[0], 2.0);
  ASSERT_NE(in->Terrain<Sd_SurfacePlot>(2), nullptr);
  EXPECT_TRUE(messages.Contains("ERROR:  Damaged spectrum object record"));
  EXPECT_TRUE(messages.Contains("ERROR:  A surface plot needs at least 2 x 2 nodes"));
}

// A spectrum's x ticks fall on 1, 2 and 4 times each power of ten below the
// range's end; a range from 0 or below has none, and one reaching the end
// of the whole numbers ends. The surface plot has five ticks on each axis.
TEST(SurfacePlot, TicksOfBothKinds) {
  auto labels = [](const std::vector<Sd_PlotDTM::Tick>& ticks) {
    std::string all;
    for (const auto& t : ticks) all += t.label + " ";
    return all;
  };
  Sd_SpectrumDTM spectrum;
  spectrum.CreateGrids(2, 100);
  spectrum.SetRange(0, 1, 1000);
  spectrum.SetRange(1, 0, 2);
  const auto x = spectrum.XTicks();
  EXPECT_EQ(labels(x), "1 2 4 10 20 40 100 200 400 ");
  // log(10 cols / v + 1) / log(cols + 1) - 0.5: v = 10 lands on 0.5.
  EXPECT_FLOAT_EQ(x[3].position, 0.5f);
  EXPECT_LT(x[8].position, x[3].position);
  EXPECT_EQ(labels(spectrum.YTicks()), "0.0 0.5 1.0 1.5 2.0 ");
  for (double lo : {0.0, -5.0}) {
    spectrum.SetRange(0, lo, 1000);
    EXPECT_TRUE(spectrum.XTicks().empty());
  }
  spectrum.SetRange(0, 7, INT_MAX);
  EXPECT_EQ(spectrum.XTicks().size(), 3u * 9u - 1u) << "7 ... 1400000000, where 2800000000 leaves the range";

  Sd_SurfacePlot plot;
  plot.SetRange(0, -1, 1);
  plot.SetRange(1, 0, 1000);
  const auto px = plot.XTicks();
  EXPECT_EQ(labels(px), "-1.0 -0.5 0.0 0.5 1.0 ");
  EXPECT_FLOAT_EQ(px[1].position, -0.25f);
  EXPECT_EQ(labels(plot.YTicks()), "0 250 500 750 1000 ");
}

// A missing colour record is refused with the kind's message: at debug
// level for the surface plot, as an error for the spectrum; a plot whose
// font cannot be loaded says so and still loads.
TEST(SurfacePlot, MissingRecordsAndMissingFont) {
  TempDir dir;
  orvanta_test::ScopedEnv home("WRUHOME", nullptr);
  orvanta_test::ScopedEnv fonts("SVHFONTPATH", nullptr);
  Sv_HersheySetBuiltIn(0);
  auto grid = MakePlot<Sd_SurfacePlot>(3, 3);
  const std::string path = dir.file("missing.sd");
  SDWriter w(path);
  w.Raw(TDR_TAG_SD_SURFACEPLOT, "p\nt\nx\n0 1\ny\n0 1\nz\n0 1\n").Elevations(grid.get());
  w.Raw(TDR_TAG_SD_SPECTRUMDTM, "s\nx\n1 10\ny\n0 1\nt\n").Elevations(grid.get());
  w.Object(grid.get());
  ASSERT_TRUE(w.Close());

  Sv_Debug::ForgetReported();
  dtm_test::Messages messages;
  auto in = ReadSD(path);
  ASSERT_EQ(in->children.size(), 1u);
  EXPECT_NE(in->Terrain<Sd_SurfacePlot>(0), nullptr);
  EXPECT_EQ(messages.Count(SV_LEVEL_ERROR,
                           "ERROR:  Reading tag to load spectrum object  -  expected TDR_TAG_SCALAR!"),
            1);
  EXPECT_NE(messages.Debug().find("ERROR:  Reading tag to load surface plot object  -  expected TDR_TAG_SCALAR!"),
            std::string::npos);
  EXPECT_NE(messages.Debug().find("ERROR: Could not initialize font!"), std::string::npos);
}
