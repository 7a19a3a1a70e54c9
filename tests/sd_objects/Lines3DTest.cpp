// 3-D lines without OpenGL: records in both byte orders and older versions,
// hostile records, polygon rings, labels in gaps, colours, what a drawing
// emits, line files, densifying and draping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Lines3DTestSupport.h"
#include "TDR_Payload.h"
#include "TestSupport.h"

using lines_test::Add;
using lines_test::AddLabelled;
using lines_test::BuiltInFont;
using lines_test::Loaded;
using lines_test::Points;
using lines_test::RecordingSink;
using lines_test::Vertices;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

// No configuration or colour maps from the machine's environment.
using NoEnvironment = orvanta_test::NoMachineSettings;

// A colour map whose entry i is (i, 0, 255 - i).
unsigned* RampMap() {
  unsigned* c = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
  for (unsigned i = 0; i < 256; ++i) c[i] = PackColour(i, 0, 255 - i, 255);
  return c;
}

std::vector<int> Colour(const Sd_Lines3D::Line& line) { return {line.colour[0], line.colour[1], line.colour[2]}; }

// The payload of a lines record of tag version 1 to 3 holding the given
// lines (vertex triples), without labels; fields as in docs/file-formats.md.
std::string LinesPayload(int version, int polygon, const std::vector<Points>& lines) {
  std::string b;
  auto i32 = [&](int v) { b.append(reinterpret_cast<const char*>(&v), 4); };
  auto f64 = [&](double v) { b.append(reinterpret_cast<const char*>(&v), 8); };
  i32(polygon);
  i32(static_cast<int>(lines.size()));
  i32(0);
  if (version >= 2) {
    i32(0);
    i32(0);
  }
  if (version >= 3) f64(1.0);
  i32(1);
  for (double v : {0.0, 10.0, 0.0, 10.0, 0.0, 1.0}) f64(v);
  for (double v : {0.0, 10.0, 0.0, 10.0, 0.0, 1.0}) f64(v);
  for (const Points& p : lines) {
    i32(static_cast<int>(p.size()));
    if (version >= 3) i32(0);
    for (const auto& v : p) {
      for (double c : v) f64(c);
    }
  }
  return b;
}

// A line set of two lines that reads back whole: the good object that
// follows each damaged record.
Sd_Lines3D* GoodLines() {
  Sd_Lines3D* lines = new Sd_Lines3D();
  Add(lines, {{0, 0, 0}, {5, 5, 1}});
  Add(lines, {{1, 0, 0}, {9, 3, 2}});
  return lines;
}

}  // namespace

TEST(Lines3DRecords, LabelsAttributesRingsAndSettingsReadBackInBothByteOrders) {
  NoEnvironment env;
  BuiltInFont font;
  TempDir dir;
  Sd_Lines3D out;
  out.SetLabelScale(1.5);
  out.SetAttributes(1, 10);
  AddLabelled(&out, {{0, 0, 5}, {50, 0, 5}, {100, 10, 5}}, {30.0}, {"5.0"});
  Add(&out, {{0, 20, 8}, {100, 30, 9}});
  out.SetLineAttribute(0, 7);
  out.SetLineAttribute(1, 3);
  out.SetColorMap(RampMap());
  out.SetColourMode(2);
  out.SetColour(PackColour(10, 20, 30, 40));
  out.SetZOffset(0.25);
  out.SetLineWidth(4);
  out.SetFillPolygons(false);
  out.SetDetailStep(3);
  out.SetLevelOfDetail(0);
  // A clockwise ring: it is filled, and keeps its order.
  Sd_Lines3D ring;
  ring.SetPolygonMode(1);
  const Points square = {{0, 0, 1}, {0, 4, 1}, {4, 4, 1}, {4, 0, 1}, {0, 0, 1}};
  Add(&ring, square);
  ASSERT_EQ(out.GetLines()[1].LabelCount(), 1);

  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("lines.sd");
    ASSERT_TRUE(lines_test::WriteSD(path, {&out, &ring}, order));
    Loaded in(path);
    Sd_Lines3D* lines = in.Lines(0);
    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(lines->GetLineCount(), 2);
    EXPECT_EQ(lines->GetSegmentCount(), out.GetSegmentCount());
    for (int i = 0; i < 2; ++i) {
      const Sd_Lines3D::Line& a = out.GetLines()[i];
      const Sd_Lines3D::Line& b = lines->GetLines()[i];
      EXPECT_EQ(Vertices(a), Vertices(b));
      EXPECT_EQ(a.labelPositions, b.labelPositions);
      EXPECT_EQ(a.labelTexts, b.labelTexts);
      EXPECT_EQ(a.attribute, b.attribute);
    }
    EXPECT_EQ(Colour(lines->GetLines()[0]), (std::vector<int>{178, 0, 77})) << "attribute 7 of 10";
    EXPECT_EQ(lines->GetLabelScale(), 1.5);
    EXPECT_EQ(lines->GetAttributeMaximum(), 10);
    EXPECT_EQ(lines->GetColour(), PackColour(10, 20, 30, 40));
    EXPECT_EQ(lines->GetColourMode(), 2);
    EXPECT_EQ(lines->GetZOffset(), 0.25);
    EXPECT_EQ(lines->GetLineWidth(), 4);
    EXPECT_EQ(lines->GetFillPolygons(), 0);
    EXPECT_EQ(lines->GetDetailStep(), 3);
    EXPECT_EQ(lines->GetLevelOfDetail(), 0);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(lines->GetDataBounds()[k], out.GetDataBounds()[k]);

    Sd_Lines3D* filled = in.Lines(1);
    ASSERT_NE(filled, nullptr);
    EXPECT_EQ(filled->GetPolygonMode(), 1);
    const Sd_Lines3D::Line& r = filled->GetLines()[0];
    EXPECT_EQ(Vertices(r), square);
    EXPECT_EQ(r.triangleValid, 1);
    EXPECT_EQ(r.triangleCount, 2);
  }
}

TEST(Lines3DRecords, OlderVersionsReadTheirOwnFields) {
  NoEnvironment env;
  TempDir dir;
  const std::string path = dir.file("old.sd");
  sd_io_test::FileWriter w(path);
  // Version 1: its polygon flag means nothing.
  const Points ring = {{0, 0, 0}, {10, 0, 0}, {10, 10, 1}, {0, 0, 0}};
  w.Raw(TDR_TAG_SD_LINES3D, LinesPayload(1, 1, {ring}), 1);
  // Settings of version 3: colour and detail only.
  const unsigned char colour[4] = {9, 8, 7, 6};
  int detail[2] = {5, 0};
  w.Raw(TDR_TAG_SD_LINES3D_ATB, std::string(reinterpret_cast<const char*>(colour), 4) +
                                     std::string(reinterpret_cast<const char*>(detail), 8), 3);
  // Version 2, polygons, and settings of tag version 0 opened by the version 6.0.
  w.Raw(TDR_TAG_SD_LINES3D, LinesPayload(2, 1, {ring}), 2);
  std::string settings;
  const float six = 6.0f;
  const int words[3] = {1, 1, 1};
  const double offset = 0.5;
  const int tail[2] = {0, 7};
  settings.append(reinterpret_cast<const char*>(&six), 4).append(reinterpret_cast<const char*>(colour), 4);
  settings.append(reinterpret_cast<const char*>(words), 12).append(reinterpret_cast<const char*>(&offset), 8);
  settings.append(reinterpret_cast<const char*>(tail), 8);
  w.Raw(TDR_TAG_SD_LINES3D_ATB, settings, 0);
  ASSERT_TRUE(w.Close());

  Loaded in(path);
  Sd_Lines3D* v1 = in.Lines(0);
  Sd_Lines3D* v2 = in.Lines(1);
  ASSERT_TRUE(v1 && v2);
  EXPECT_EQ(v1->GetPolygonMode(), 0);
  EXPECT_EQ(v1->GetLines()[0].triangleValid, 0);
  EXPECT_EQ(Vertices(v1->GetLines()[0]), ring);
  EXPECT_EQ(v1->GetColour(), PackColour(9, 8, 7, 6));
  EXPECT_EQ(v1->GetDetailStep(), 5);
  EXPECT_EQ(v1->GetLevelOfDetail(), 0);
  EXPECT_EQ(v1->GetColourMode(), 0);
  EXPECT_EQ(v1->GetZOffset(), 0.0);
  EXPECT_EQ(v1->GetFillPolygons(), 1);
  EXPECT_EQ(v1->GetLineWidth(), 2);

  EXPECT_EQ(v2->GetPolygonMode(), 1);
  EXPECT_EQ(v2->GetLines()[0].triangleValid, 1);
  EXPECT_EQ(v2->GetColourMode(), 1);
  EXPECT_EQ(v2->GetZOffset(), 0.5);
  EXPECT_EQ(v2->GetFillPolygons(), 0);
  EXPECT_EQ(v2->GetLineWidth(), 7);
}

// Counts, label places and texts that the record has no room or no place
// for refuse it before anything is allocated for them; the next object
// always loads.
TEST(Lines3DRecords, HostileCountsLabelsAndTextsAreRefused) {
  NoEnvironment env;
  TempDir dir;
  const int big = std::numeric_limits<int>::max();
  const Points two = {{0, 0, 0}, {1, 1, 1}};
  std::string good = LinesPayload(3, 0, {two});
  const size_t header = good.size() - 4 - 4 - 48;  // the line begins here
  // A record whose one line holds the words, the text bytes and the vertices.
  auto withLine = [&](const std::vector<int>& words, const std::string& texts, int vertices) {
    std::string b = good.substr(0, header);
    for (int wd : words) b.append(reinterpret_cast<const char*>(&wd), 4);
    return b + texts + std::string(24 * static_cast<size_t>(vertices), '\0');
  };
  struct Case {
    const char* name;
    std::string payload;
    short version;
    const char* message;
  };
  std::string lineCount = good;
  memcpy(&lineCount[4], &big, 4);
  std::string nan = good;
  const double notANumber = std::nan("");
  memcpy(&nan[80], &notANumber, 8);  // the first data bound
  const char* noRoom = "has a vertex count it has no room for";
  const char* outside = "lies outside its line";
  const Case cases[] = {
      {"no vertices", withLine({0, 0}, "", 2), 3, noRoom},
      {"more vertices than the record holds", withLine({1000, 0}, "", 2), 3, noRoom},
      {"more lines than the record holds", lineCount, 3, "more lines than it has room for"},
      {"label at the last vertex", withLine({3, 1, 2, 1}, "x", 3), 3, outside},
      {"labels going back", withLine({4, 2, 2, 1}, std::string("a\1\0\0\0\1\0\0\0b", 9), 4), 3, outside},
      {"label text over 255", withLine({2, 1, 0, 256}, std::string(256, 't'), 2), 3, "too long"},
      {"negative text length", withLine({2, 1, 0, -1}, "", 2), 3, "too long"},
      {"more labels than the record holds", withLine({2, big}, "", 2), 3, "label count it has no room for"},
      {"bounds that are not numbers", nan, 3, "not numbers"},
      {"tag version 0", std::string("\0\0\100\100", 4) + good, 0, "tag version 0"},
      {"tag version 4", good, 4, "Unsupported version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("bad.sd");
    {
      sd_io_test::FileWriter w(path);
      w.Raw(TDR_TAG_SD_LINES3D, c.payload, c.version);
      std::unique_ptr<Sd_Lines3D> next(GoodLines());
      w.Object(next.get());
      ASSERT_TRUE(w.Close());
    }
    sd_io_test::DebugOutput debug;
    Loaded in(path);
    const std::string messages = debug.Take();
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
    ASSERT_EQ(in.Kids().size(), 1u);
    ASSERT_NE(in.Lines(0), nullptr);
    EXPECT_EQ(in.Lines(0)->GetLineCount(), 2);
  }
  // The same record with room for its line loads.
  const std::string path = dir.file("good.sd");
  sd_io_test::FileWriter w(path);
  w.Raw(TDR_TAG_SD_LINES3D, withLine({3, 1, 1, 1}, "x", 3), 3);
  ASSERT_TRUE(w.Close());
  Loaded in(path);
  ASSERT_NE(in.Lines(0), nullptr);
  EXPECT_EQ(in.Lines(0)->GetLines()[0].labelTexts, std::vector<std::string>{"x"});
}

TEST(Lines3DPolygons, ClosedRingsAreFilledAndLoopsGoBeforeTriangulation) {
  NoEnvironment env;
  TempDir dir;
  Sd_Lines3D out;
  out.SetPolygonMode(1);
  // Lines go to the head of the list: the last added comes first.
  Add(&out, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {1e-5, 0, 3}});      // open by 1e-5
  Add(&out, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {5e-7, -5e-7, 3}});  // closed within 1e-6
  // A ring that comes back to (10, 0) loses the loop (10, 0) ... (20, 5).
  Add(&out, {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {20, 5, 0}, {10, 0, 0}, {10, 10, 0}, {0, 0, 0}});
  Add(&out, {{0, 0, 0}, {5, 5, 0}, {0, 0, 0}});  // too short for a triangle
  const std::string path = dir.file("rings.sd");
  ASSERT_TRUE(lines_test::WriteSD(path, {&out}));
  sd_io_test::DebugOutput debug;
  Loaded in(path);
  const std::string messages = debug.Take();
  Sd_Lines3D* lines = in.Lines(0);
  ASSERT_NE(lines, nullptr);
  const auto& l = lines->GetLines();
  EXPECT_EQ(l[0].triangleValid, 0);
  EXPECT_NE(messages.find("Bad number of vertices for triangle, skipping"), std::string::npos) << messages;
  EXPECT_EQ(Vertices(l[1]), (Points{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 0, 0}}));
  EXPECT_EQ(l[1].triangleValid, 1);
  EXPECT_EQ(l[1].triangleCount, 1);
  EXPECT_EQ(l[2].triangleValid, 1);
  EXPECT_EQ(l[2].triangleCount, 2);
  for (int t = 0; t < 6; ++t) {
    EXPECT_GE(l[2].triangles[t], 0);
    EXPECT_LE(l[2].triangles[t], 3);
  }
  EXPECT_EQ(l[3].triangleValid, 0);
  EXPECT_EQ(lines->GetSegmentCount(), 2 + 3 + 4 + 4);
}

TEST(Lines3DEditing, LabelledLinesGetGapsOfTheirTextsWidth) {
  BuiltInFont font;
  Sd_Lines3D lines;
  lines.SetLabelScale(2.0);
  const double w = lines.LabelWidth("25");
  ASSERT_GT(w, 1.0);
  ASSERT_LT(w, 9.0);
  Points along;
  for (int i = 0; i <= 10; ++i) along.push_back({10.0 * i, 0.0, -3.0});

  // A label at the start: its gap runs from the first vertex to the point
  // one label width on, and the line goes on from the next vertex.
  AddLabelled(&lines, along, {0.0}, {"25"});
  {
    const Sd_Lines3D::Line& l = lines.GetLines()[0];
    ASSERT_EQ(l.LabelCount(), 1);
    EXPECT_EQ(l.labelPositions[0], 1);
    EXPECT_EQ(l.labelTexts[0], "25");
    ASSERT_EQ(l.VertexCount(), 13);
    EXPECT_EQ(Vertices(l)[1], (std::vector<double>{0, 0, -3}));
    EXPECT_NEAR(l.Vertex(2)[0], w, 1e-9);
    EXPECT_EQ(Vertices(l)[3], (std::vector<double>{10, 0, -3}));
  }
  // Labels further on: the second starts 50 along the line.
  AddLabelled(&lines, along, {0.0, 50.0}, {"25", "25"});
  {
    const Sd_Lines3D::Line& l = lines.GetLines()[0];
    ASSERT_EQ(l.LabelCount(), 2);
    const int p = l.labelPositions[1];
    EXPECT_EQ(l.Vertex(p)[0], 50.0);
    EXPECT_NEAR(l.Vertex(p + 1)[0], 50.0 + w, 1e-9);
    EXPECT_EQ(l.Vertex(p + 2)[0], 60.0);
    EXPECT_EQ(l.VertexCount(), 14) << "the vertex at 50 is the second label's start";
  }
  // A line shorter than its label is a plain line.
  AddLabelled(&lines, {{0, 0, 0}, {0.5 * w, 0, 0}}, {0.0}, {"25"});
  EXPECT_EQ(lines.GetLines()[0].LabelCount(), 0);
  EXPECT_EQ(lines.GetLines()[0].VertexCount(), 2);
  EXPECT_EQ(lines.GetSegmentCount(), 12 + 13 + 1);
}

TEST(Lines3DEditing, AddedLinesKeepBoundsAndColoursCurrent) {
  NoEnvironment env;
  Sd_Lines3D lines;
  lines.SetColorMap(RampMap());
  Add(&lines, {{0, 0, 0}, {10, 0, 0}});
  Add(&lines, {{0, 5, 100}, {10, 5, 100}});
  const unsigned own = PackColour(1, 2, 3, 255);
  const double x[2] = {0, 10}, y[2] = {8, 8}, z[2] = {50, 50}, start = 0.0;
  lines.AddColouredLine(2, x, y, z, 1, &start, &own);
  // Bounds added line by line are those of a whole recomputation.
  const std::vector<double> added(lines.GetDataBounds(), lines.GetDataBounds() + 6);
  lines.RecomputeBounds();
  EXPECT_EQ(added, std::vector<double>(lines.GetDataBounds(), lines.GetDataBounds() + 6));
  EXPECT_EQ(added, (std::vector<double>{0, 10, 0, 8, 0, 100}));

  lines.SetColourMode(1);
  const auto& l = lines.GetLines();
  EXPECT_EQ(Colour(l[0]), (std::vector<int>{1, 2, 3})) << "its own colour";
  EXPECT_EQ(Colour(l[1]), (std::vector<int>{255, 0, 0})) << "at the top";
  EXPECT_EQ(Colour(l[2]), (std::vector<int>{0, 0, 255})) << "at the bottom";

  lines.SetAttributes(1, 4);
  lines.SetLineAttribute(1, 2);
  lines.SetLineAttribute(2, -1);
  lines.SetColourMode(2);
  EXPECT_EQ(Colour(l[1]), (std::vector<int>{127, 0, 128}));
  EXPECT_EQ(Colour(l[2]), (std::vector<int>{255, 0, 0})) << "beyond the maximum: the map's last entry";
  EXPECT_EQ(Colour(l[0]), (std::vector<int>{1, 2, 3}));

  lines.SetColourMode(0);
  EXPECT_EQ(Colour(l[1]), (std::vector<int>{255, 255, 255}));

  // Without a colour map anywhere the built-in grey ramp colours; it does
  // not become the node's map.
  Sd_Lines3D grey;
  Add(&grey, {{0, 0, 0}, {10, 0, 0}});
  Add(&grey, {{0, 5, 50}, {10, 5, 100}});
  grey.SetColourMode(1);
  EXPECT_EQ(Colour(grey.GetLines()[0]), (std::vector<int>{127, 127, 127}));
  EXPECT_EQ(grey.GetColorMap(), nullptr);
}

// Lines from point lists: a list handed in (at most count points), and the
// list the point-list hook yields, closed when the hook says so; removing
// the head line brings the bounds back to the others.
TEST(Lines3DEditing, PointListsAddLinesAndRemovalRebounds) {
  Sd_LinePoint p[3] = {{0, 0, 0, &p[1]}, {10, 0, 1, &p[2]}, {10, 20, 2, nullptr}};
  Sd_Lines3D lines;
  lines.AddLineFromPointList(p, 2);
  EXPECT_EQ(Vertices(lines.GetLines()[0]), (Points{{0, 0, 0}, {10, 0, 1}}));
  struct Hook {
    static void* List(int* closed, void* data) {
      *closed = 1;
      return data;
    }
  };
  Sd_Node::SetPointListHook(Hook::List, p);
  lines.AddLineFromPickedPoints();
  Sd_Node::ClearHooks();
  EXPECT_EQ(Vertices(lines.GetLines()[0]), (Points{{0, 0, 0}, {10, 0, 1}, {10, 20, 2}, {0, 0, 0}}));
  EXPECT_EQ(lines.GetDataBounds()[3], 20.0);
  lines.RemoveFirstLineAndRebound();
  EXPECT_EQ(lines.GetLineCount(), 1);
  EXPECT_EQ(lines.GetSegmentCount(), 1);
  EXPECT_EQ(lines.GetDataBounds()[3], 1.0) << "a flat y range widened by 1";
  lines.RemoveAllLines();
  EXPECT_EQ(lines.GetLineCount(), 0);
  EXPECT_EQ(lines.GetSegmentCount(), 0);
}

// The pure emission shared by both drawing paths, with the examples of the
// drawing rules.
TEST(Lines3DDrawing, LinesAndVerticesEmittedPerStep) {
  Sd_Lines3D lines;
  for (int i = 0; i < 6; ++i) Add(&lines, {{double(i), 0, 0}, {double(i), 1, 0}, {double(i), 2, 1}});
  Sd_Lines3D::EmitPlan plan;
  plan.step = 4;
  plan.thin = Sd_Lines3D::ThinsLines(4, lines.GetSegmentCount(), lines.GetLineCount());
  ASSERT_TRUE(plan.thin);
  RecordingSink thinned;
  EXPECT_EQ(Sd_Lines3D::EmitLines(lines.GetLines(), 0, SIZE_MAX, plan, thinned), 6u);
  EXPECT_EQ(thinned.text, " L5 S(0 2) L3 S(0 2) L1 S(0 2)") << "every drawn line is followed by a skipped one";
  EXPECT_FALSE(Sd_Lines3D::ThinsLines(2, lines.GetSegmentCount(), lines.GetLineCount()));

  // A progressive step draws at most its share of lines.
  RecordingSink some;
  EXPECT_EQ(Sd_Lines3D::EmitLines(lines.GetLines(), 2, 3, Sd_Lines3D::EmitPlan(), some), 5u);
  EXPECT_EQ(some.lines, 3);

  // Outlines leave out the last vertex; a step over the whole ring emits
  // the middle vertex.
  Sd_Lines3D ring;
  Add(&ring, {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 0, 0}});
  plan = Sd_Lines3D::EmitPlan();
  plan.polygon = true;
  plan.step = 3;
  RecordingSink outline;
  Sd_Lines3D::EmitLines(ring.GetLines(), 0, 1, plan, outline);
  EXPECT_EQ(outline.text, " L0 S(0 1)");
  plan.step = 2;
  RecordingSink two;
  Sd_Lines3D::EmitLines(ring.GetLines(), 0, 1, plan, two);
  EXPECT_EQ(two.text, " L0 S(0 2)");

  // A labelled line: the parts around the label's gap, then the label.
  BuiltInFont font;
  Sd_Lines3D labelled;
  AddLabelled(&labelled, {{0, 0, 0}, {50, 0, 0}, {100, 0, 0}}, {10.0}, {"7"});
  RecordingSink parts;
  Sd_Lines3D::EmitLines(labelled.GetLines(), 0, 1, Sd_Lines3D::EmitPlan(), parts);
  EXPECT_EQ(parts.text, " L0 S(0 1) #0 S(2 3 4)");
}

TEST(Lines3DDrawing, FilledRingsEmitEveryStepthTriangle) {
  NoEnvironment env;
  TempDir dir;
  Sd_Lines3D out;
  out.SetPolygonMode(1);
  Add(&out, {{0, 0, 0}, {4, 0, 0}, {6, 3, 0}, {4, 6, 0}, {0, 6, 0}, {0, 0, 0}});
  ASSERT_TRUE(lines_test::WriteSD(dir.file("ring.sd"), {&out}));
  Loaded in(dir.file("ring.sd"));
  ASSERT_NE(in.Lines(0), nullptr);
  Sd_Lines3D::EmitPlan plan;
  plan.polygon = true;
  plan.fill = true;
  RecordingSink all, every2nd, unfilled;
  Sd_Lines3D::EmitLines(in.Lines(0)->GetLines(), 0, 1, plan, all);
  plan.step = 2;
  Sd_Lines3D::EmitLines(in.Lines(0)->GetLines(), 0, 1, plan, every2nd);
  plan.fill = false;
  Sd_Lines3D::EmitLines(in.Lines(0)->GetLines(), 0, 1, plan, unfilled);
  EXPECT_EQ(all.text.substr(0, 6), " L0 T(");
  EXPECT_EQ(std::count(all.text.begin(), all.text.end(), ' '), 2 + 9 - 1);
  EXPECT_EQ(std::count(every2nd.text.begin(), every2nd.text.end(), ' '), 2 + 6 - 1);
  EXPECT_EQ(unfilled.text, " L0 S(0 2 4)");
}

TEST(Lines3DFiles, WrittenLineFilesReadBackAsOnePolyline) {
  TempDir dir;
  Sd_Lines3D out;
  Add(&out, {{512345.123456789, 6100000.12345, -12.5}, {12345678901.5, 1.0, 0.0}});
  Add(&out, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  const std::string path = dir.file("track.txt");
  ASSERT_EQ(out.WriteLineFile(path.c_str()), 0);
  EXPECT_EQ(ReadFileBytes(path),
            "1.00000000 2.00000000 3.00000000\n"
            "4.00000000 5.00000000 6.00000000\n"
            "7.00000000 8.00000000 9.00000000\n"
            "9999 9999 9999\n"
            "512345.123 6100000.12 -12.500000\n"
            "12345678901 1.00000000 0.00000000\n");

  Sd_Lines3D in;
  ASSERT_EQ(in.ReadLineFile(path.c_str()), 0);
  EXPECT_STREQ(in.GetDescription(), path.c_str());
  ASSERT_EQ(in.GetLineCount(), 1);
  EXPECT_EQ(in.GetFileVertexCount(), 6);
  EXPECT_EQ(Vertices(in.GetLines()[0])[3], (std::vector<double>{9999, 9999, 9999}));
  EXPECT_EQ(Vertices(in.GetLines()[0])[4], (std::vector<double>{512345.123, 6100000.12, -12.5}));

  // Lines without three numbers are skipped; extents and centres follow
  // the vertices read; a flat z is widened so that the track can be drawn.
  ASSERT_TRUE(WriteFileBytes(path, "10 20 -5\n\nnot a vertex\n+30 40 -5 extra\n50 60\n"));
  sd_io_test::DebugOutput quiet;
  ASSERT_EQ(in.ReadLineFile(path.c_str()), 0);
  EXPECT_EQ(Vertices(in.GetLines()[0]), (Points{{10, 20, -5}, {30, 40, -5}}));
  EXPECT_EQ(in.GetDataCentres()[0], 20.0);
  EXPECT_EQ(in.GetDataExtents()[1], 20.0);
  EXPECT_EQ(in.GetDataExtents()[2], 1.0);

  // Fewer than two vertices, or no file: nothing is left.
  ASSERT_TRUE(WriteFileBytes(path, "1 2 3\n"));
  EXPECT_EQ(in.ReadLineFile(path.c_str()), -1);
  EXPECT_EQ(in.GetLineCount(), 0);
  EXPECT_EQ(in.ReadLineFile(dir.file("none.txt").c_str()), -1);
  // A file that cannot be written is reported; the old one stays.
  EXPECT_EQ(out.WriteLineFile(dir.file("no/such/dir.txt").c_str()), -1);
}

TEST(Lines3DEditing, DensifyAndDrapeOnASurface) {
  BuiltInFont font;
  Sd_Lines3D lines;
  Add(&lines, {{0, 0, 0}, {10, 0, 10}, {14, 0, 10}, {23, 0, 10}});
  lines.Densify(3.0);
  // 10 long: 3 vertices; 4 long (under 4.5): none; 9 long: 2, the third
  // would be the end vertex again.
  EXPECT_EQ(Vertices(lines.GetLines()[0]),
            (Points{{0, 0, 0}, {3, 0, 3}, {6, 0, 6}, {9, 0, 9}, {10, 0, 10}, {14, 0, 10}, {17, 0, 10}, {20, 0, 10},
                    {23, 0, 10}}));
  EXPECT_EQ(lines.GetSegmentCount(), 8);

  // A label's gap stays as it is; the label keeps its vertex.
  Sd_Lines3D labelled;
  AddLabelled(&labelled, {{0, 0, 0}, {40, 0, 0}}, {0.0}, {"1"});
  labelled.Densify(3.0);
  const Sd_Lines3D::Line& l = labelled.GetLines()[0];
  EXPECT_EQ(l.labelPositions[0], 1);
  EXPECT_NEAR(l.Vertex(2)[0] - l.Vertex(1)[0], labelled.LabelWidth("1"), 1e-9);

  // Draped: the surface's height where it has one, else the lower of the
  // scene's and the object's z minimum.
  struct Surface : Sd_Node {
    double GeoPickPoint(double x, double y, unsigned*) override { return x < 12 ? x + y : 1e12; }
  } surface;
  surface.SetBounds(2, -50.0f, 0.0f);
  lines.SetParent(&surface);
  lines.DrapeOnSurface(Sd_Lines3D::kDrapeOnSurface);
  EXPECT_EQ(lines.GetLines()[0].Vertex(1)[2], 3.0);
  EXPECT_EQ(lines.GetLines()[0].Vertex(8)[2], -50.0);
  EXPECT_EQ(lines.GetDataBounds()[4], -50.0);
  EXPECT_EQ(lines.GetDataBounds()[5], 10.0);
  lines.DrapeOnSurface(7.0);
  EXPECT_EQ(lines.GetDataBounds()[4], 6.5);
  EXPECT_EQ(lines.GetDataCentres()[2], 7.0);
  lines.SetParent(nullptr);
}
