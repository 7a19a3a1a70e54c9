// Records of the 2-D lines and the text label: what their files give, in
// both byte orders and tag versions, what they refuse, and the file pointer
// that the lines save in place of their points.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_Label.h"
#include "Sd_Lines2D.h"
#include "TDR_Tags.h"

using sd_io_test::FileWriter;
using orvanta_test::TempDir;

namespace {

constexpr float M = Sd_Lines2D::kPenUp;

// A 2-D lines record as the package writes it, in the manager's byte order;
// tag version 0 opens with a format version. The count is that of the
// pairs unless given.
constexpr int kPairs = INT_MIN;
void WriteLines(FileWriter& w, const std::vector<float>& xy, const std::vector<float>& range, short version = 1,
                int count = kPairs) {
  TDR_Manager* m = w.Manager();
  ASSERT_EQ(m->WriteTag(TDR_TAG_SD_LINES2D, version, 0, 0, 1), 0);
  TDR_PayloadWriter out(m);
  if (version == 0) out.Float32(1.0f);
  out.Int32(77);
  out.Int32(count == kPairs ? static_cast<int>(xy.size() / 2) : count);
  out.Float32s(range.data(), 4);
  out.Float32s(xy.data(), static_cast<int>(xy.size()));
  ASSERT_TRUE(out.Ok());
  ASSERT_EQ(m->EndTag(), 0);
}

// A label record: int32 length, then the bytes given.
std::string LabelPayload(int length, const std::string& text) {
  return std::string(reinterpret_cast<const char*>(&length), 4) + text;
}

using Loaded = sd_io_test::LoadedFile;

std::vector<float> Points(const Sd_Lines2D* lines) {
  return std::vector<float>(lines->GetPoints(), lines->GetPoints() + 2 * lines->GetPointCount());
}

}  // namespace

TEST(Lines2DRecord, LoadsInBothByteOrdersAndTagVersionsIntoTheUnitSquare) {
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    TempDir dir;
    {
      FileWriter w(dir.file("l.sd"));
      w.Manager()->SetByteOrder(order);
      WriteLines(w, {0, 0, 50, 20, M, 7, 100, 40}, {0, 40, 0, 100}, order ? 1 : 0);
      w.Raw(TDR_TAG_SD_LINES2D_ATB, std::string(4, '\0'), 0);  // a format version, then nothing
      WriteLines(w, {1, 1, 2, 2}, {0, 2, 0, 2});
      ASSERT_TRUE(w.Close());
    }
    Loaded file(dir.file("l.sd"));
    const std::vector<Sd_Node*> kids = file.Kids();
    ASSERT_EQ(kids.size(), 2u) << "the next object follows the settings record";
    Sd_Lines2D* lines = dynamic_cast<Sd_Lines2D*>(kids[0]);
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->GetType(), 25);
    EXPECT_EQ(lines->GetHeaderValue(), 77);
    EXPECT_EQ(Points(lines), (std::vector<float>{-0.5f, -0.5f, 0.0f, 0.0f, M, 7.0f, 0.5f, 0.5f}));
    const float want[6] = {0, 100, 0, 40, -5128, 5128};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(lines->GetBounds(i / 2)[i % 2], want[i]) << i;
    EXPECT_EQ(lines->GetLineWidth(), 2);
    EXPECT_EQ(dynamic_cast<Sd_Lines2D*>(kids[1])->GetPointCount(), 2);
  }
}

// A set of points on one north-south line is real data: its empty x range
// puts x at the middle instead of dividing by zero.
TEST(Lines2DRecord, EmptyRangePutsThatAxisInTheMiddle) {
  TempDir dir;
  {
    FileWriter w(dir.file("l.sd"));
    WriteLines(w, {5, 0, 5, 100}, {0, 100, 5, 5});
    ASSERT_TRUE(w.Close());
  }
  Loaded file(dir.file("l.sd"));
  ASSERT_EQ(file.Kids().size(), 1u);
  EXPECT_EQ(Points(dynamic_cast<Sd_Lines2D*>(file.Kids()[0])), (std::vector<float>{0.0f, -0.5f, 0.0f, 0.5f}));
}

TEST(Lines2DRecord, CountsAndRangesTheRecordCannotHoldAreRefusedAndTheNextObjectLoads) {
  const float nan = std::nanf("");
  struct Case {
    const char* what;
    std::vector<float> range;
    int count;
  } cases[] = {{"a count beyond the payload", {0, 1, 0, 1}, 0x7FFFFFFF},
               {"one point more than the payload", {0, 1, 0, 1}, 3},
               {"a negative count", {0, 1, 0, 1}, -3},
               {"a range that is not a number", {0, nan, 0, 1}, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    {
      FileWriter w(dir.file("l.sd"));
      WriteLines(w, {0, 0, 1, 1}, c.range, 1, c.count);
      WriteLines(w, {0, 0, nan, 1, 1, 1}, {0, 1, 0, 1});
      ASSERT_TRUE(w.Close());
    }
    Loaded file(dir.file("l.sd"));
    ASSERT_EQ(file.Kids().size(), 1u);
    // A point that is not a number breaks the line rather than drawing to it.
    EXPECT_EQ(Points(dynamic_cast<Sd_Lines2D*>(file.Kids()[0])), (std::vector<float>{-0.5f, -0.5f, M, 0.5f, 0.5f, 0.5f}));
  }
}

TEST(Lines2DRecord, SaveWritesAPointerToItsFileWhichLoadsTheLinesButNeverToTheFileBeingWritten) {
  TempDir dir;
  const std::string data = dir.file("coast.sd");
  {
    FileWriter w(data);
    WriteLines(w, {0, 0, 50, 20, M, 0, 100, 40}, {0, 40, 0, 100});
    w.Raw(TDR_TAG_SD_LINES2D_ATB, "");
    ASSERT_TRUE(w.Close());
  }
  const std::string dataBytes = orvanta_test::ReadFileBytes(data);
  Loaded original(data);
  ASSERT_EQ(original.Kids().size(), 1u);
  Sd_Lines2D* lines = dynamic_cast<Sd_Lines2D*>(original.Kids()[0]);
  EXPECT_EQ(lines->GetDescription(), data);

  const std::string scene = dir.file("scene.sd");
  {
    FileWriter w(scene);
    w.Object(lines);
    ASSERT_TRUE(w.Close());
  }
  const std::string sceneBytes = orvanta_test::ReadFileBytes(scene);
  EXPECT_NE(sceneBytes.find(data), std::string::npos) << "the pointer names the data file";
  Loaded again(scene);
  ASSERT_EQ(again.Kids().size(), 1u);
  const Sd_Lines2D* followed = dynamic_cast<Sd_Lines2D*>(again.Kids()[0]);
  ASSERT_TRUE(followed);
  EXPECT_EQ(Points(followed), Points(lines));
  EXPECT_STREQ(followed->GetName(), "coast.sd");

  // Saved over the file its pointer would name: refused, and the file stays.
  orvanta_test::MessageCapture messages;
  {
    FileWriter w(data);
    EXPECT_EQ(lines->SaveObject(w.Manager(), 1, 0), -1);
  }
  EXPECT_TRUE(messages.Contains("file being written"));
  EXPECT_EQ(orvanta_test::ReadFileBytes(data), dataBytes);
}

TEST(LabelRecord, TextWidthAndColourRoundTripInBothByteOrders) {
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    TempDir dir;
    {
      Sd_Label label;
      label.SetText("Depth 25 m");
      label.SetLineWidth(3);
      label.SetColour(10, 20, 30, 40);
      FileWriter w(dir.file("t.sd"));
      w.Manager()->SetByteOrder(order);
      w.Object(&label);
      ASSERT_TRUE(w.Close());
    }
    // The colour is one 4-byte unit, reversed as a whole in a big-endian file.
    const std::string settings = order ? std::string("\3\0\0\0\x0a\x14\x1e\x28", 8) : std::string("\0\0\0\3\x28\x1e\x14\x0a", 8);
    EXPECT_NE(orvanta_test::ReadFileBytes(dir.file("t.sd")).find(settings), std::string::npos);
    Loaded file(dir.file("t.sd"));
    ASSERT_EQ(file.Kids().size(), 1u);
    const Sd_Label* label = dynamic_cast<Sd_Label*>(file.Kids()[0]);
    ASSERT_TRUE(label);
    EXPECT_EQ(label->GetType(), 21);
    EXPECT_EQ(std::string(label->GetText()), "Depth 25 m") << "no trailing character";
    EXPECT_EQ(label->GetLineWidth(), 3);
    EXPECT_EQ(std::vector<int>(label->GetColour(), label->GetColour() + 4), (std::vector<int>{10, 20, 30, 40}));
  }
}

TEST(LabelRecord, LongTextsKeep255CharactersAndBadLengthsCostOnlyTheirLabel) {
  std::string longText;
  for (int i = 0; i < 300; ++i) longText += static_cast<char>('a' + i % 26);
  const float version = 1.0f;
  const std::string v0(reinterpret_cast<const char*>(&version), 4);
  const int width = 5;
  TempDir dir;
  {
    FileWriter w(dir.file("t.sd"));
    w.Raw(TDR_TAG_SD_LABEL, LabelPayload(300, longText));
    w.Raw(TDR_TAG_SD_LABEL, v0 + LabelPayload(4, "next"), 0);
    w.Raw(TDR_TAG_SD_LABEL_ATB, v0 + std::string(reinterpret_cast<const char*>(&width), 4) + "\x01\x02\x03\x04", 0);
    w.Raw(TDR_TAG_SD_LABEL, LabelPayload(-1, ""));
    w.Raw(TDR_TAG_SD_LABEL, LabelPayload(9, "short"));
    w.Raw(TDR_TAG_SD_LABEL, LabelPayload(0, ""));
    ASSERT_TRUE(w.Close());
  }
  Loaded file(dir.file("t.sd"));
  const std::vector<Sd_Node*> kids = file.Kids();
  ASSERT_EQ(kids.size(), 3u);
  EXPECT_EQ(std::string(dynamic_cast<Sd_Label*>(kids[0])->GetText()), longText.substr(0, 255));
  const Sd_Label* next = dynamic_cast<Sd_Label*>(kids[1]);
  EXPECT_STREQ(next->GetText(), "next");
  EXPECT_EQ(next->GetLineWidth(), 5);
  EXPECT_EQ(std::vector<int>(next->GetColour(), next->GetColour() + 4), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_STREQ(dynamic_cast<Sd_Label*>(kids[2])->GetText(), "");
}
