// The 2-D grid (class file, record versions, colour layout) and the
// borehole (its text, colour map and refusals).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "AllocationWatch.h"
#include "BoreholeTestSupport.h"
#include "IOTestSupport.h"
#include "Sd_Borehole.h"
#include "Sd_Grid2D.h"
#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "Sv_Stdlib.h"
#include "TDR_Colormap.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;
using orvanta_test::ReadFileBytes;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;
using Loaded = sd_io_test::LoadedFile;

namespace {

// A "Grid2DClass" whose fifth line after the version is fifth.
void WriteGridClass(const TempDir& dir, const char* fifth) {
  FILE* f = fopen(dir.file("Grid2DClass").c_str(), "w");
  ASSERT_TRUE(f);
  fprintf(f, "# grid settings\n1\nfirst\nsecond\nthird\nfourth\n%s\n", fifth);
  fclose(f);
}

std::string Words(std::initializer_list<int> ints, float format = 0.0f) {
  std::string s;
  if (format != 0.0f) s.append(reinterpret_cast<const char*>(&format), 4);
  for (int v : ints) s.append(reinterpret_cast<const char*>(&v), 4);
  return s;
}

void AddGrid(FileWriter& w) {
  Sd_Grid2D grid;
  grid.SetBounds(0, 0, 10);
  w.Object(&grid);
}

TEST(Grid2DClass, FifthLineGivesCountsColourAndPlacement) {
  {
    ScopedEnv config("WRUCONFIGURATIONS", nullptr);
    ScopedEnv home("WRUHOME", nullptr);
    Sd_Grid2D grid;
    EXPECT_EQ(grid.GetFirstLineCount(), 50);
    EXPECT_EQ(grid.GetSecondLineCount(), 50);
    EXPECT_EQ(grid.GetGridColour(), 0xFFFFFFFFu);
    EXPECT_EQ(grid.PlacementZ(), 0.0f);
  }
  TempDir dir;
  ScopedEnv config("WRUCONFIGURATIONS", dir.path().c_str());
  WriteGridClass(dir, "10 5 255 0 0 0");
  {
    Sd_Grid2D grid;
    EXPECT_EQ(grid.GetFirstLineCount(), 10);
    EXPECT_EQ(grid.GetSecondLineCount(), 5);
    EXPECT_EQ(grid.GetGridColour(), 0xFF0000FFu) << "red, opaque, red in the high byte";
    EXPECT_EQ(grid.PlacementZ(), 0.5f) << "at the top of the box";
    // The constructor with values takes a shared packed colour (red low)
    // and lies in the middle whatever the class file says.
    Sd_Grid2D green(3, 1, PackColour(0, 255, 0, 128));
    EXPECT_EQ(green.GetGridColour(), 0x00FF0080u);
    EXPECT_EQ(green.GetSecondLineCount(), 2);
    EXPECT_EQ(green.PlacementZ(), 0.0f);
  }
  // Counts are clamped, channels kept within a byte, other placements lie
  // at the bottom.
  WriteGridClass(dir, "1 20000 300 -5 7 9");
  Sd_Grid2D clamped;
  EXPECT_EQ(clamped.GetFirstLineCount(), Sd_Grid2D::kMinLines);
  EXPECT_EQ(clamped.GetSecondLineCount(), Sd_Grid2D::kMaxLines);
  EXPECT_EQ(clamped.GetGridColour(), 0xFF0007FFu);
  EXPECT_EQ(clamped.PlacementZ(), -0.5f);
  // A fifth line without all six numbers keeps the built-in values.
  WriteGridClass(dir, "10 5 255");
  EXPECT_EQ(Sd_Grid2D().GetFirstLineCount(), 50);
}

TEST(Grid2DRecord, FormatOneKeepsTheClassFilesPlacementAndSettingsRecordsAreTaken) {
  TempDir dir;
  ScopedEnv config("WRUCONFIGURATIONS", dir.path().c_str());
  WriteGridClass(dir, "10 5 255 0 0 0");
  const int colour = static_cast<int>(0x11223344u);
  const std::string path = dir.file("grids.sd");
  FileWriter w(path);
  w.Raw(TDR_TAG_SD_GRID2D, Words({7, 8, colour}, 1.0f), 0);
  w.Raw(TDR_TAG_SD_GRID2D_ATB, "settings are not read", 1);
  w.Raw(TDR_TAG_SD_GRID2D, Words({0, 99999, colour, 2}, 1.5f), 0);
  w.Raw(TDR_TAG_SD_GRID2D, Words({4, 6}), 1);  // cut short: refused
  AddGrid(w);
  ASSERT_TRUE(w.Close());
  Loaded file(path);
  const std::vector<Sd_Node*> kids = file.Kids();
  ASSERT_EQ(kids.size(), 3u);
  auto* old = dynamic_cast<Sd_Grid2D*>(kids[0]);
  auto* newer = dynamic_cast<Sd_Grid2D*>(kids[1]);
  ASSERT_TRUE(old && newer);
  EXPECT_EQ(old->GetFirstLineCount(), 7);
  EXPECT_EQ(old->GetSecondLineCount(), 8);
  EXPECT_EQ(old->GetGridColour(), 0x11223344u);
  EXPECT_EQ(old->GetZPlacement(), 0) << "format 1.0 holds no placement: the class file's stays";
  EXPECT_EQ(newer->GetFirstLineCount(), Sd_Grid2D::kMinLines);
  EXPECT_EQ(newer->GetSecondLineCount(), Sd_Grid2D::kMaxLines);
  EXPECT_EQ(newer->GetZPlacement(), 2);
  EXPECT_STREQ(kids[2]->className(), "2D Grid");
}

// --- boreholes ---

TEST(DrillHole, ColoursFollowTheSceneClassRangeAndPrintListsThePoints) {
  Sd_DrillHole hole;
  hole.SetSceneLowestClass(1);
  hole.SetSceneHighestClass(5);
  EXPECT_EQ(hole.ColourEntry(1), 0);
  EXPECT_EQ(hole.ColourEntry(2), 0);
  EXPECT_EQ(hole.ColourEntry(5), 255);
  // One class for all points: entry 0, no division by zero.
  hole.SetSceneLowestClass(3);
  hole.SetSceneHighestClass(3);
  EXPECT_EQ(hole.ColourEntry(3), 0);

  const std::string text = "1.5 2 3 4\n-1 0 0.25 7";
  Sd_TextLines lines(text.data(), text.size());
  hole.SetPointCount(2);
  ASSERT_EQ(hole.ReadPoints(&lines), 0);
  TempDir dir;
  FILE* out = fopen(dir.file("print.txt").c_str(), "w");
  ASSERT_TRUE(out);
  hole.Print(out);
  fclose(out);
  EXPECT_EQ(ReadFileBytes(dir.file("print.txt")),
            "1.500000  2.000000  3.000000\n4\n\n-1.000000  0.000000  0.250000\n7\n\n");
}

TEST(BoreholeRecords, HolesComeFromTheTextInBothByteOrdersAndTagVersions) {
  // The first line is an "elems" line; lines end in CRLF; a "define" line
  // other than "define vdata" ends the hole list; the payload goes on after
  // the text.
  const std::string text =
      "elems A 2\r\nremark\r\nelems B 0\r\ndefine other\r\nnot yet\r\ndefine vdata\r\n"
      "10 20 -5 1\r\n12 22 -15 2\r\n14 21 -25 5\r\n30 40 -2 2\r\n" +
      std::string(40, '\0') + "elems C 9\n";
  const std::vector<unsigned> colours = borehole_test::RedToBlue();
  TempDir dir;
  for (int order : {1, 0}) {
    for (short version : {0, 1}) {
      SCOPED_TRACE("byte order " + std::to_string(order) + ", tag version " + std::to_string(version));
      const std::string path = dir.file("holes.sd");
      FileWriter w(path);
      w.Manager()->SetByteOrder(order);
      ASSERT_TRUE(borehole_test::Write(w.Manager(), text, colours, version));
      AddGrid(w);
      ASSERT_TRUE(w.Close());
      Loaded file(path);
      const std::vector<Sd_Node*> kids = file.Kids();
      ASSERT_EQ(kids.size(), 2u) << "the grid after the colour map loads too";
      auto* bore = dynamic_cast<Sd_Borehole*>(kids[0]);
      ASSERT_TRUE(bore);
      EXPECT_STREQ(bore->className(), "Borehole");
      EXPECT_EQ(bore->GetType(), 33);
      ASSERT_EQ(bore->GetHoleCount(), 2);
      EXPECT_EQ(bore->GetHole(0)->GetPoints().size(), 3u);
      EXPECT_EQ(bore->GetHole(1)->GetPoints().size(), 1u);
      EXPECT_EQ(bore->GetPointCount(), 4);
      const double expected[6] = {10, 30, 20, 40, -25, -2};
      for (int i = 0; i < 6; ++i) EXPECT_EQ(bore->GetDataBounds()[i], expected[i]) << i;
      EXPECT_EQ(bore->GetBounds(2)[0], -25.0f);
      EXPECT_EQ(bore->GetLowestClass(), 1);
      EXPECT_EQ(bore->GetHighestClass(), 5);
      EXPECT_EQ(bore->GetHole(1)->ColourEntry(2), 0) << "the holes colour by the whole borehole's classes";
      EXPECT_EQ(bore->GetColours()[0], colours[0]);
      EXPECT_EQ(bore->GetColours()[128], colours[128]);
      EXPECT_EQ(bore->GetColours()[255], colours[255]);
      EXPECT_FLOAT_EQ(bore->GetTubeRadius(), 23.0f * 0.002f);
      EXPECT_EQ(bore->GetTubeSides(), 6);
      bore->SetTubeSides(2);
      EXPECT_EQ(bore->GetTubeSides(), 6) << "fewer than three sides are ignored";
    }
  }
  // Nothing in the viewer writes a borehole.
  Sd_Borehole bore;
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(dir.file("saved.sd").c_str(), "wb"), 0);
  ASSERT_EQ(m.WriteHeader(), 0);
  const long header = static_cast<long>(ftell(m.GetFilePtr()));
  EXPECT_EQ(bore.SaveObject(&m, 1, 0), 0);
  EXPECT_EQ(static_cast<long>(ftell(m.GetFilePtr())), header);
  m.DiscardFile();
}

[[noreturn]] void ExitCalled(int) { throw 1; }

TEST(BoreholeRecords, RefusedTextsCostOnlyTheirObjectAndNeverEndTheProcess) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"elems A 3\ndefine vdata\n1 2 3 1\n2 3 4 1\n", "ERROR:  Reached premature EOF!"},
      {"elems A\ndefine vdata\n1 2 3 1\n", "ERROR:  No number of points specified for drill hole!"},
      {"elems A 1\nelems B 0\ndefine other\n1 2 3 1\n2 2 2 1\n3 3 3 1\n", "ERROR:  Reached premature EOF!"},
      {"elems A 99999999999\nelems B 2147483647\ndefine vdata\n1 2 3 1\n", "ERROR:  Reached premature EOF!"},
      {"elems A 1\ndefine vdata\n1 2 nan 1\n1 2 3 1\n", "ERROR:  A drill hole point is not x, y, z and class"},
  };
  TempDir dir;
  Sv_UtlSetExitHook(ExitCalled);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = dir.file("refused.sd");
    FileWriter w(path);
    ASSERT_TRUE(borehole_test::Write(w.Manager(), c.text, borehole_test::RedToBlue()));
    AddGrid(w);
    ASSERT_TRUE(w.Close());
    MessageCapture capture;
    orvanta_test::AllocationWatch watch;
    try {
      Loaded file(path);
      watch.Stop();
      ASSERT_EQ(file.Kids().size(), 1u);
      EXPECT_STREQ(file.Kids()[0]->className(), "2D Grid") << "the next record loads";
    } catch (int) {
      ADD_FAILURE() << "the process would have ended";
    }
    EXPECT_TRUE(capture.Contains(c.message)) << capture.All();
    EXPECT_EQ(capture.messages().empty() ? 0 : capture.messages()[0].first, SV_LEVEL_ERROR);
    EXPECT_LT(watch.Largest(), ReadFileBytes(path).size() + orvanta_test::AllocationWatch::kFixedAllocations)
        << "counts are checked against the text before anything is allocated";
  }
  Sv_UtlSetExitHook(nullptr);
}

TEST(BoreholeRecords, AForeignTagIsLeftForTheNextObjectAndAStrayDataRecordIsSteppedOver) {
  TempDir dir;
  const std::string path = dir.file("foreign.sd");
  FileWriter w(path);
  w.Raw(TDR_TAG_SD_BOREHOLE, Words({}, 1.0f), 0);
  AddGrid(w);
  // BORE_DATA without its borehole: its colour map goes with it.
  w.Raw(TDR_TAG_BORE_DATA, Words({0}) + "elems A 0\n", 0);
  ASSERT_EQ(TDR_UtlWriteColormapTag(w.Manager(), borehole_test::RedToBlue().data()), 0);
  AddGrid(w);
  ASSERT_TRUE(w.Close());
  DebugOutput out;
  Loaded file(path);
  const std::vector<Sd_Node*> kids = file.Kids();
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_STREQ(kids[0]->className(), "2D Grid");
  EXPECT_STREQ(kids[1]->className(), "2D Grid");
  EXPECT_NE(out.Take().find("ERROR:  Expected TDR_TAG_BORE_DATA tag!"), std::string::npos);
}

}  // namespace
