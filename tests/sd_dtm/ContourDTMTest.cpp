// Contour lines: the contoured terrain's records, contour making on small
// grids, colouring, the export as 3-D lines and the tracing into a line set.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "DTMTestSupport.h"
#include "Sd_ContourDTM.h"
#include "Sd_Lines3D.h"
#include "Sv_Workers.h"
#include "TestSupport.h"

using dtm_test::Bytes;
using dtm_test::Messages;
using dtm_test::ReadSD;
using dtm_test::SDWriter;
using orvanta_test::TempDir;

namespace {

using Segment = Sd_BaseDTM::ContourSegment;

// Bounds in which a height z has the level code z + 1.
void LevelBounds(Sd_BaseDTM* dtm) { dtm->SetBounds(2, 0.0f, 65534.0f); }

// A terrain of rows x cols nodes (test x and y bounds) with the given codes, row 0 first.
std::unique_ptr<Sd_BasicDTM> GridOf(int rows, int cols, const std::vector<unsigned short>& codes) {
  auto dtm = dtm_test::MakeDTM(rows, cols);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) dtm->GetElevationGrid()[r][c] = codes[static_cast<size_t>(r * cols + c)];
  }
  LevelBounds(dtm.get());
  return dtm;
}

// Grid position (column, row) of a map point of the test bounds.
double Column(double x, int cols) { return (x - dtm_test::kXMin) / (dtm_test::kXMax - dtm_test::kXMin) * (cols - 1); }
double Row(double y, int rows) { return (y - dtm_test::kYMin) / (dtm_test::kYMax - dtm_test::kYMin) * (rows - 1); }

Sd_ContourDTM::ContourRecord Record(float level, unsigned colour, std::vector<Segment> segments) {
  Sd_ContourDTM::ContourRecord r;
  r.level = level;
  r.colour = colour;
  r.segments = std::move(segments);
  return r;
}

// A contour set of two contours on a 5 x 6 grid.
void FillSet(Sd_ContourDTM* set) {
  ASSERT_TRUE(set->SetContourGrid(5, 6, 40000));
  set->SetBounds(0, dtm_test::kXMin, dtm_test::kXMax);
  set->SetBounds(1, dtm_test::kYMin, dtm_test::kYMax);
  set->SetBounds(2, dtm_test::kZMin, dtm_test::kZMax);
  set->SetColourMode(1);
  set->SetLineZOffset(0.25f);
  set->AppendContour(Record(1000.0f, 0x11223344u, {{0.5f, 1.0f, 1.0f, 1.5f}, {1.0f, 1.5f, 2.25f, 3.0f}}));
  set->AppendContour(Record(30000.0f, 0xFF0000FFu, {{4.0f, 0.0f, 5.0f, 4.0f}}));
}

void ExpectFilledSet(Sd_ContourDTM& set) {
  EXPECT_EQ(set.GetRows(), 5);
  EXPECT_EQ(set.GetCols(), 6);
  EXPECT_EQ(set.GetMaxCode(), 40000);
  EXPECT_EQ(set.GetColourMode(), 1);
  EXPECT_FLOAT_EQ(set.GetLineZOffset(), 0.25f);
  ASSERT_EQ(set.GetContours().size(), 2u);
  const auto& first = set.GetContours()[0];
  EXPECT_FLOAT_EQ(first.level, 1000.0f);
  EXPECT_EQ(first.colour, 0x11223344u);
  ASSERT_EQ(first.segments.size(), 2u);
  EXPECT_FLOAT_EQ(first.segments[1].x2, 2.25f);
  EXPECT_FLOAT_EQ(first.segments[1].y2, 3.0f);
  EXPECT_EQ(set.GetContours()[1].segments.size(), 1u);
  EXPECT_FLOAT_EQ(set.GetBounds(0)[1], dtm_test::kXMax);
}

// Payload of an object record: header, then per contour level, colour,
// segments.
std::string ContourPayload(int rows, int cols, unsigned short maxCode, int count, const std::string& contours) {
  return Bytes(rows) + Bytes(cols) + Bytes(maxCode) + Bytes(count) + contours;
}

std::string OneContour(int segments) {
  std::string p = Bytes(2000.0f) + Bytes(0xAABBCCDDu) + Bytes(segments);
  for (int i = 0; i < 4 * segments; ++i) p += Bytes(0.5f * i);
  return p;
}

// The lines of a line set as vectors of (x, y, z) vertices.
std::vector<std::vector<std::array<double, 3>>> Polylines(const Sd_Lines3D& lines) {
  std::vector<std::vector<std::array<double, 3>>> out;
  for (const Sd_Lines3D::Line& line : lines.GetLines()) {
    out.emplace_back();
    for (int i = 0; i < line.VertexCount(); ++i) {
      out.back().push_back({line.Vertex(i)[0], line.Vertex(i)[1], line.Vertex(i)[2]});
    }
  }
  return out;
}

}  // namespace

TEST(ContourDTM, RecordsRoundTripInBothByteOrdersAndAtTagVersion0) {
  TempDir dir;
  Sd_ContourDTM out;
  FillSet(&out);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("contours.sd");
    ASSERT_TRUE(dtm_test::WriteSD(path, {&out}, order));
    auto in = ReadSD(path);
    ASSERT_EQ(in->children.size(), 1u);
    auto* set = in->Terrain<Sd_ContourDTM>(0);
    ASSERT_NE(set, nullptr);
    EXPECT_STREQ(set->className(), "Contoured DTM");
    EXPECT_EQ(set->GetType(), 26);
    ExpectFilledSet(*set);
  }
  // Tag version 0: a format word opens both records.
  const std::string path = dir.file("old.sd");
  SDWriter w(path);
  w.Raw(TDR_TAG_SD_CONTOURDTM, Bytes(1.0f) + ContourPayload(3, 4, 100, 1, OneContour(2)), 0);
  w.Raw(TDR_TAG_SD_CONTOURDTM_ATB, Bytes(1.0f) + Bytes(0.5f) + Bytes(3), 0);
  ASSERT_TRUE(w.Close());
  auto in = ReadSD(path);
  auto* set = in->Terrain<Sd_ContourDTM>(0);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->GetCols(), 4);
  EXPECT_EQ(set->GetMaxCode(), 100);
  ASSERT_EQ(set->GetContours().size(), 1u);
  EXPECT_EQ(set->GetContours()[0].colour, 0xAABBCCDDu);
  EXPECT_FLOAT_EQ(set->GetContours()[0].segments[1].y2, 3.5f);
  EXPECT_FLOAT_EQ(set->GetLineZOffset(), 0.5f);
  EXPECT_EQ(set->GetColourMode(), 3);
}

TEST(ContourDTM, RecordsWithoutAGridOrWithCountsBeyondThePayloadAreRefused) {
  TempDir dir;
  Sd_ContourDTM good;
  FillSet(&good);
  const struct {
    const char* name;
    std::string payload;
  } cases[] = {
      {"one row", ContourPayload(1, 4, 100, 0, "")},
      {"one column", ContourPayload(4, 1, 100, 0, "")},
      {"contours beyond the record", ContourPayload(4, 4, 100, 3, OneContour(1))},
      {"segments beyond the record", ContourPayload(4, 4, 100, 1, OneContour(2).substr(0, 40))},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = dir.file("bad.sd");
    SDWriter w(path);
    w.Raw(TDR_TAG_SD_CONTOURDTM, k.payload);
    w.Object(&good);
    ASSERT_TRUE(w.Close());
    Messages messages;
    auto in = ReadSD(path);
    ASSERT_EQ(in->children.size(), 1u) << messages.All();
    ExpectFilledSet(*in->Terrain<Sd_ContourDTM>(0));
    EXPECT_TRUE(messages.Contains("ERROR:  Contour")) << messages.All();
  }
}

TEST(ContourTracing, CellCasesLevelsOnNodesAndSaddles) {
  // A level equal to a node's code counts the node as at or above it.
  auto ramp = GridOf(2, 3, {500, 1000, 1500, 500, 1000, 1500});
  EXPECT_EQ(ramp->ContourCellCase(0, 0, 1000.0f), 2 | 8);
  EXPECT_EQ(ramp->ContourCellCase(0, 1, 1000.0f), 15);
  EXPECT_EQ(ramp->ContourCellCase(0, 2, 1000.0f), 0) << "outside the cells";
  float x = 0, y = 0;
  EXPECT_TRUE(ramp->ContourEdgePoint(1, 0, 1, 2, 750.0f, &x, &y));
  EXPECT_FLOAT_EQ(x, 0.25f);
  {
    Messages messages;
    EXPECT_FALSE(ramp->ContourEdgePoint(0, 0, 1, 1, 750.0f, &x, &y));
    EXPECT_TRUE(messages.Contains("Error in interpolation.")) << messages.All();
  }
  // A saddle without neighbours' votes cuts off its lower-left and upper-right corners.
  auto saddle = GridOf(2, 2, {900, 100, 100, 900});
  Sd_BaseDTM::ContourSegmentList list;
  saddle->ContourCell(saddle->ContourCellCase(0, 0, 500.0f), 0, 0, 500.0f, &list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_FLOAT_EQ(list[0].x1, 0.0f);  // left ...
  EXPECT_FLOAT_EQ(list[0].y1, 0.5f);
  EXPECT_FLOAT_EQ(list[0].x2, 0.5f);  // ... to top (row 0)
  EXPECT_FLOAT_EQ(list[0].y2, 0.0f);
  EXPECT_FLOAT_EQ(list[1].y1, 1.0f);  // bottom (row 1) to right
  EXPECT_FLOAT_EQ(list[1].x2, 1.0f);
}

TEST(ContourTracing, ARaisedNodeGivesOneClosedRingAndAGapEndsALine) {
  std::vector<unsigned short> codes(25, 100);
  codes[2 * 5 + 2] = 300;
  auto peak = GridOf(5, 5, codes);
  Sd_Lines3D lines;
  peak->Contour(199.0f, &lines, 0);  // level 200
  auto rings = Polylines(lines);
  ASSERT_EQ(rings.size(), 1u);
  ASSERT_EQ(rings[0].size(), 5u) << "four segments, the first point repeated";
  EXPECT_EQ(rings[0].front(), rings[0].back());
  for (const auto& v : rings[0]) {
    const double c = Column(v[0], 5), r = Row(v[1], 5);
    EXPECT_NEAR(std::fabs(c - 2.0) + std::fabs(r - 2.0), 0.5, 1e-4) << "half-way to the peak";
    EXPECT_DOUBLE_EQ(v[2], 199.0);
  }
  EXPECT_EQ(lines.GetLines().front().ownColour, 0);

  // A column ramp crossed at column 0.5, with one node of no value: the
  // two cells that touch it give nothing, and the line breaks there.
  std::vector<unsigned short> ramp;
  for (int r = 0; r < 6; ++r) ramp.insert(ramp.end(), {100, 200, 300});
  ramp[3 * 3] = 0;
  auto gap = GridOf(6, 3, ramp);
  Sd_Lines3D pieces;
  gap->Contour(149.0f, &pieces, static_cast<int>(PackColour(10, 20, 30, 255)));
  auto parts = Polylines(pieces);
  ASSERT_EQ(parts.size(), 2u);
  size_t vertices = 0;
  for (const auto& p : parts) {
    vertices += p.size();
    for (const auto& v : p) EXPECT_NEAR(Column(v[0], 3), 0.5, 1e-5);
  }
  EXPECT_EQ(vertices, 3u + 2u) << "rows 0 ... 2 and rows 4 ... 5";
  for (const Sd_Lines3D::Line& line : pieces.GetLines()) {
    EXPECT_EQ(line.ownColour, 1) << "the contour colour";
    EXPECT_EQ(line.colour[0], 10);
    EXPECT_EQ(line.colour[2], 30);
  }
  Messages messages;
  gap->Contour(-1.0f, &pieces, 0);
  EXPECT_TRUE(messages.Contains("Elevation for contouring out of range.")) << messages.All();
  EXPECT_EQ(pieces.GetLineCount(), 2);
}

// Over a random grid with gaps, at several levels at once: every vertex
// lies on a cell edge where the interpolated code is the level, and the
// lines use every segment of the cells' cases exactly once.
TEST(ContourTracing, EveryVertexOfARandomGridLiesOnTheLevel) {
  const int rows = 24, cols = 31;
  std::mt19937 random(7);
  std::vector<unsigned short> codes(static_cast<size_t>(rows * cols));
  for (auto& c : codes) c = random() % 23 == 0 ? 0 : static_cast<unsigned short>(1 + random() % 65535);
  auto dtm = GridOf(rows, cols, codes);
  const float heights[3] = {9999.0f, 32767.0f, 51234.5f};
  Sd_Lines3D all;
  dtm->ContourLevels(heights, 3, &all, 0);
  size_t segments = 0;
  for (const auto& line : Polylines(all)) {
    segments += line.size() - 1;
    for (const auto& v : line) {
      const double level = v[2] + 1.0;
      const double c = Column(v[0], cols), r = Row(v[1], rows);
      const double offColumn = std::fabs(c - std::round(c)), offRow = std::fabs(r - std::round(r));
      ASSERT_LT(std::min(offColumn, offRow), 1e-4) << c << " " << r;
      const bool onRow = offRow < offColumn;
      double a, b, t;
      if (onRow) {
        const int rr = static_cast<int>(std::round(r)), c0 = std::min(static_cast<int>(c), cols - 2);
        a = codes[rr * cols + c0], b = codes[rr * cols + c0 + 1], t = c - c0;
      } else {
        const int cc = static_cast<int>(std::round(c)), r0 = std::min(static_cast<int>(r), rows - 2);
        a = codes[r0 * cols + cc], b = codes[(r0 + 1) * cols + cc], t = r - r0;
      }
      EXPECT_NEAR(a + t * (b - a), level, 2.0);
      EXPECT_TRUE((a >= level) != (b >= level));
    }
  }
  EXPECT_GT(segments, 200u);
  size_t expected = 0;
  for (float h : heights) {
    for (int r = 0; r + 1 < rows; ++r) {
      for (int c = 0; c + 1 < cols; ++c) {
        const unsigned short* g = &codes[r * cols + c];
        if (!g[0] || !g[1] || !g[cols] || !g[cols + 1]) continue;
        const int k = dtm->ContourCellCase(r, c, h + 1.0f);
        expected += (k == 6 || k == 9) ? 2 : (k != 0 && k != 15);
      }
    }
  }
  EXPECT_EQ(segments, expected);
  Sd_Lines3D one;
  for (float h : heights) dtm->Contour(h, &one, 0);
  EXPECT_EQ(one.GetLineCount(), all.GetLineCount()) << "one sweep or one per level: the same lines";
}

// Contouring on workers (rows of cells in uneven shares, heights joined on
// several threads) adds the very lines of one thread, in the same order,
// coloured alike.
TEST(ContourTracing, WorkersAddTheLinesOfOneThread) {
  const int rows = 57, cols = 43;
  std::mt19937 random(3);
  std::vector<unsigned short> codes(static_cast<size_t>(rows * cols));
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const double v = 30000.0 + 20000.0 * std::sin(r / 6.0) * std::cos(c / 5.0) + static_cast<double>(random() % 3000);
      codes[static_cast<size_t>(r * cols + c)] = random() % 41 == 0 ? 0 : static_cast<unsigned short>(v);
    }
  }
  auto dtm = GridOf(rows, cols, codes);
  const float heights[5] = {41234.5f, 12000.0f, 29999.0f, 35000.0f, 20500.25f};
  Sd_Lines3D one, many;
  {
    orvanta_test::WorkerLimit limit(1, 0);
    dtm->ContourLevels(heights, 5, &one, static_cast<int>(PackColour(10, 20, 30, 255)));
  }
  {
    orvanta_test::WorkerLimit limit(4, 50);
    dtm->ContourLevels(heights, 5, &many, static_cast<int>(PackColour(10, 20, 30, 255)));
  }
  ASSERT_GT(one.GetLineCount(), 20);
  ASSERT_EQ(many.GetLineCount(), one.GetLineCount());
  for (int l = 0; l < one.GetLineCount(); ++l) {
    const Sd_Lines3D::Line &a = one.GetLines()[static_cast<size_t>(l)], &b = many.GetLines()[static_cast<size_t>(l)];
    ASSERT_EQ(a.segments, b.segments) << l;
    EXPECT_EQ(std::memcmp(a.colour, b.colour, 3), 0);
    ASSERT_EQ(std::memcmp(a.xyz.get(), b.xyz.get(), 3 * sizeof(double) * static_cast<size_t>(a.VertexCount())), 0) << l;
  }
}

TEST(ContourDTM, ContoursOfALentTerrainColouredAndExportedAsLines) {
  TempDir dir;
  std::vector<unsigned short> codes(25, 100);
  codes[12] = 300;
  auto peak = GridOf(5, 5, codes);
  peak->GetColorGrid()[2][2] = PackColour(9, 8, 7, 255);
  Sd_ContourDTM set;
  {
    Messages messages;
    set.AddContour(199.0f);
    EXPECT_TRUE(messages.Contains("No terrain grid lent")) << messages.All();
  }
  EXPECT_TRUE(set.GetContours().empty());
  ASSERT_EQ(set.LendGrids(peak.get()), 0);
  set.AddContour(199.0f);
  set.AddContour(249.0f);
  ASSERT_EQ(set.GetContours().size(), 2u);
  EXPECT_FLOAT_EQ(set.GetContours()[0].level, 250.0f) << "new contours go to the front";
  EXPECT_EQ(set.GetContours()[1].segments.size(), 4u);

  // Colours from the lent colour grid at the first point of the first
  // segment (traced last, in the cell above and right of the peak), in the
  // contour layout, red in the top byte.
  set.ColourContours();
  EXPECT_EQ(set.GetContours()[1].colour, 0x090807FFu);
  auto other = GridOf(4, 4, std::vector<unsigned short>(16, 5));
  EXPECT_EQ(set.LendGrids(other.get()), -1) << "another grid size under the contours";
  set.ReturnGrids();
  set.ClearContours();
  set.AppendContour(Record(100.0f, 0x01020304u, {{0.0f, 0.0f, 1.0f, 1.0f}}));
  set.ColourContours();
  EXPECT_EQ(set.GetContours()[0].colour, 0x01020304u) << "neither map nor grid: kept";
  unsigned* map = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
  for (unsigned i = 0; i < 256; ++i) map[i] = PackColour(i, 1, 2, 255);
  set.SetColorMap(map);
  set.SetCodeRange(0, 400);
  set.ColourContours();
  EXPECT_EQ(set.GetContours()[0].colour >> 24, 63u) << "level 100 of 0 ... 400";
  EXPECT_EQ(set.GetContours()[0].colour & 0xFFFFFFu, 0x0102FFu);

  // The export: one two-point line per segment at its map place and height.
  set.ClearContours();
  ASSERT_EQ(set.LendGrids(peak.get()), 0);
  set.AddContour(199.0f);
  const std::string path = dir.file("export.sd");
  ASSERT_EQ(set.ExportContours(path.c_str()), 0);
  auto in = ReadSD(path);
  ASSERT_EQ(in->children.size(), 1u);
  auto* lines = dynamic_cast<Sd_Lines3D*>(in->children[0]);
  ASSERT_NE(lines, nullptr);
  ASSERT_EQ(lines->GetLineCount(), 4);
  const auto& segments = set.GetContours()[0].segments;
  auto exported = Polylines(*lines);
  for (size_t i = 0; i < 4; ++i) {
    ASSERT_EQ(exported[i].size(), 2u);
    const Segment& s = segments[i];
    EXPECT_NEAR(Column(exported[i][0][0], 5), s.x1, 1e-5);
    EXPECT_NEAR(Row(exported[i][1][1], 5), s.y2, 1e-5);
    EXPECT_NEAR(exported[i][0][2], 199.0, 1e-3);
  }
  Messages messages;
  EXPECT_EQ(set.ExportContours(dir.file("no/such/folder.sd").c_str()), -1);
  EXPECT_TRUE(messages.Contains("Error: Creating contour export file!")) << messages.All();
}

// Memory running out on the contour sweep (share 0 of every pass fails as an
// allocation there would) refuses the contour and keeps what the set had.
TEST(ContourDTM, RunningOutOfMemoryRefusesTheContour) {
  std::vector<unsigned short> codes(25, 100);
  codes[12] = 300;
  auto peak = GridOf(5, 5, codes);
  Sd_ContourDTM set;
  ASSERT_EQ(set.LendGrids(peak.get()), 0);
  ASSERT_EQ(set.AddContour(199.0f), 0);
  Sd_Lines3D lines;
  const float heights[2] = {149.0f, 199.0f};
  Messages messages;
  const int failing = sv_workers::SetFailingShare(0);
  EXPECT_EQ(set.AddContour(249.0f), -1);
  EXPECT_EQ(peak->ContourLevels(heights, 2, &lines, 0), -1);
  sv_workers::SetFailingShare(failing);
  EXPECT_TRUE(messages.Contains("No memory to trace the contour")) << messages.All();
  EXPECT_EQ(set.GetContours().size(), 1u);
  EXPECT_EQ(lines.GetLineCount(), 0);
  EXPECT_EQ(set.AddContour(249.0f), 0) << "with memory back";
  EXPECT_EQ(peak->ContourLevels(heights, 2, &lines, 0), 0);
  EXPECT_GT(lines.GetLineCount(), 0);
}
