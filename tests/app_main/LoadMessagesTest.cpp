// What one load of a file tells the user: every message it raises, in one
// box, each text once, with the file's name where a text does not give it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "../sd_dtm/DTMTestSupport.h"
#include "../sd_survey/SeismicTestSupport.h"
#include "AppMainSupport.h"
#include "IOTestSupport.h"
#include "Sd_IOSupport.h"
#include "Sd_Node.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"
#include "WindowFixture.h"

using orvanta_mainwindow_test::DesktopRecorder;
using orvanta_mainwindow_test::WaitFor;

namespace {

// A stand-in object whose record is one int32: 0 loads it with bounds no
// view can be fitted to, 3 refuses it with a debug message only, anything
// else refuses it with an error of its own.
class ProbeObject : public Sd_Node {
 public:
  int LoadObject(TDR_Manager* manager) override {
    TDR_PayloadReader in(manager);
    int value = -1;
    if (in.Int32(&value) && value == 3) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "The probe record is damaged");
      return -1;
    }
    if (value != 0) {
      Sv_Debug::Error("The probe record says no.");
      return -1;
    }
    for (int axis = 0; axis < 3; ++axis) SetBounds(axis, NAN, NAN);
    return 0;
  }
};

Sd_Node* MakeProbe() { return new ProbeObject(); }

class LoadMessages : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override { ASSERT_EQ(Sd_IOSupport::SetTestClass(TDR_TAG_SD_LABEL, MakeProbe), 0); }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_IOSupport::ClearTestClasses();
  }
};

int Count(const QString& text, const char* part) { return text.count(QString::fromStdString(part)); }

// An SD file of file pointers to the targets, then probe records of the values.
void WriteProbes(const std::string& path, const std::vector<std::string>& targets, const std::vector<int>& values) {
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  ASSERT_EQ(m.WriteHeader(), 0);
  for (const std::string& target : targets) {
    ASSERT_EQ(m.WriteTag(TDR_TAG_SD_LABEL, 1, 0, 1, 1), 0);
    ASSERT_EQ(m.WriteFilePointerString(target.c_str()), 0);
    ASSERT_EQ(m.EndTag(), 0);
  }
  for (int value : values) {
    ASSERT_EQ(m.WriteTag(TDR_TAG_SD_LABEL, 1, 0, 0, 1), 0);
    ASSERT_TRUE(TDR_PayloadWriter(&m).Int32(value));
    ASSERT_EQ(m.EndTag(), 0);
  }
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.CloseFile(), 0);
}

TEST_F(LoadMessages, OneLoadShowsEveryMessageOnceInOneBoxNamingTheFile) {
  ASSERT_TRUE(StartWindow({"orvanta"}));
  // Two file pointers to files that are not there, a refused record and an
  // object without usable bounds.
  const std::string file = dir.file("several.sd"), gone1 = dir.file("gone-1.sd"), gone2 = dir.file("gone-2.sd");
  ASSERT_NO_FATAL_FAILURE(WriteProbes(file, {gone1, gone2}, {1, 0}));
  DesktopRecorder recorder;
  const auto oneBox = [&] {
    return WaitFor([&] { return !recorder.boxes.empty() && orvanta::PendingMessageCount() == 0; }) &&
           recorder.boxes.size() == 1u;
  };
  ASSERT_EQ(window->LoadDataFile(file.c_str()), 0);
  ASSERT_TRUE(oneBox());
  const QString text = recorder.boxes[0].text;
  EXPECT_EQ(recorder.boxes[0].caption, "Orvanta - Error");
  EXPECT_TRUE(text.startsWith(QString::fromStdString("While loading \"" + file + "\":\n\n"))) << text.toStdString();
  for (const std::string& target : {gone1, gone2}) {
    EXPECT_EQ(Count(text, ("Opening the file named by a TDR file pointer: " + target).c_str()), 1);
  }
  EXPECT_EQ(Count(text, "The probe record says no."), 1) << text.toStdString();
  EXPECT_EQ(Count(text, "The current scene has invalid bounding coordinates."), 1) << text.toStdString();
  // Every refusal has said why: nothing repeats it.
  EXPECT_EQ(Count(text, "could not be read") + Count(text, "holds nothing"), 0) << text.toStdString();

  // Refused records alone: the class's own error is not repeated; the
  // reader says why for the record refused without a word to the user.
  const std::string refused = dir.file("refused.sd");
  ASSERT_NO_FATAL_FAILURE(WriteProbes(refused, {}, {2, 3}));
  recorder.boxes.clear();
  EXPECT_EQ(window->LoadDataFile(refused.c_str()), -1);
  ASSERT_TRUE(oneBox());
  EXPECT_EQ(recorder.boxes[0].text.toStdString(),
            "While loading \"" + refused + "\":\n\nThe probe record says no.\n\nFile \"" + refused +
                "\" holds nothing that can be shown: the SD_LABEL record was refused: The probe record is damaged.");
}

}  // namespace

// Each failure says what happened: the reader's own text first, then why.
TEST_F(LoadMessages, EachFailureSaysWhy) {
  ASSERT_TRUE(StartWindow({"orvanta"}));
  const std::string folder = dir.file("folder.sd"), curtain = dir.file("curtain.sd"), grid = dir.file("grid.sd");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  // A curtain record with its fields, then the common tags where its image record belongs.
  Sd_Seismic shape;
  ASSERT_EQ(seismic_test::MakeCurtain(shape, 20, 4), 0);
  TDR_Manager m;
  ASSERT_TRUE(m.OpenFile(curtain.c_str(), "wb") == 0 && m.WriteHeader() == 0);
  ASSERT_TRUE(m.WriteTag(TDR_TAG_SD_SEISMIC, 1, 0, 0, 1) == 0 && m.EndTag() == 0);
  TDR_PayloadWriter out(&m);
  out.Float64(seismic_test::kBottom);
  out.Float64(seismic_test::kTop);
  out.Int32(20);
  for (double v : seismic_test::CurvedTrack(20)) out.Float64(v);
  ASSERT_TRUE(out.Ok() && shape.WriteCommonTags(&m) == 0);
  ASSERT_TRUE(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0);
  // A terrain whose height grid claims 1000 rows (its first size word, in its
  // second record after an empty first one).
  auto terrain = dtm_test::MakeDTM(9, 9);
  ASSERT_TRUE(terrain && dtm_test::WriteSD(grid, {terrain.get()}));
  std::string bytes = orvanta_test::ReadFileBytes(grid);
  const size_t at = bytes.find("END_HEADER\n") + 11 + 2 * TDR_Manager::kTagHeaderSize + 8;
  const int rows = 9, claimed = 1000;
  ASSERT_TRUE(bytes.size() > at + 4 && memcmp(&bytes[at], &rows, 4) == 0);
  memcpy(&bytes[at], &claimed, 4);
  ASSERT_TRUE(orvanta_test::WriteFileBytes(grid, bytes));

  const std::pair<std::string, std::string> cases[] = {
      {folder, "Could not open the file \"" + folder + "\". It is a directory."},
      {curtain, "Error loading seismic object. Its image record is missing"},
      {grid, "Could not load data: possible data format problem: Scalar array is larger than its record"},
  };
  for (const auto& [file, text] : cases) {
    DesktopRecorder recorder;
    window->LoadDataFile(file.c_str());
    ASSERT_TRUE(WaitFor([&] { return !recorder.boxes.empty() && orvanta::PendingMessageCount() == 0; })) << file;
    EXPECT_TRUE(recorder.boxes.back().text.contains(QString::fromStdString(text)))
        << recorder.boxes.back().text.toStdString();
  }
}

// A bad length in any record of a terrain, or a file cut inside one, costs
// that terrain and the rest of its file: the class's text comes first, then
// why, then what was lost. A bad end tag costs nothing but is said. The same
// damage in a file that a file pointer names ends that file only: the
// terrain after the pointer loads, and the box names the followed file.
TEST_F(LoadMessages, ADamagedTerrainRecordGivesTheClassTextThenWhy) {
  ASSERT_TRUE(StartWindow({"orvanta"}));
  auto first = dtm_test::MakeDTM(9, 9), second = dtm_test::MakeDTM(9, 9), after = dtm_test::MakeDTM(9, 9);
  second->SetColorMap(static_cast<unsigned*>(calloc(256, sizeof(unsigned))));
  const std::string file = dir.file("two.sd"), pointer = dir.file("pointer.sd");
  ASSERT_TRUE(dtm_test::WriteSD(file, {first.get(), second.get()}));
  ASSERT_TRUE(sd_io_test::FileWriter(pointer).Pointer(TDR_TAG_SD_BASICDTM, file).Object(after.get()).Close());
  const std::string bytes = orvanta_test::ReadFileBytes(file);
  // Each damage of two.sd, with the box of two.sd read itself and of
  // pointer.sd, which loads one object more.
  struct Row {
    std::string bytes;
    int objects;
    std::string text, followedText;
  };
  // The box names the file before messages that do not.
  const auto named = [](const std::string& loaded) { return "While loading \"" + loaded + "\":\n\n"; };
  const std::string classText = "Could not load data: possible data format problem: ",
                    negative = "TDR tag length is negative (-5)";
  const std::string before[] = {"no object before it was loaded", "the 1 object before it was loaded",
                                "the 2 objects before it were loaded"};
  const std::string rest =
      "\n\nFile \"" + pointer + "\": the rest of the file \"" + file + "\" that a file pointer names ";
  std::vector<Row> rows;
  // Each record of the two terrains (object, elevations, colours,
  // georeference, settings; the second's colour map before its settings)
  // with a length of -5.
  size_t at = bytes.find("END_HEADER\n") + 11, colours = 0;
  const int minusFive = -5;
  int length = 0, end = 0;
  for (int i = 0; i < 11; ++i, at += TDR_Manager::kTagHeaderSize + static_cast<size_t>(length)) {
    memcpy(&length, &bytes[at + 8], 4);
    if (i == 7) colours = at;
    std::string mutant = bytes;
    memcpy(&mutant[at + 8], &minusFive, 4);
    const int k = i < 5 ? 0 : 1;
    rows.push_back({mutant, k,
                    named(file) + classText + negative + "\n\nFile \"" + file +
                        "\": the rest of the file could not be read; " + before[k] + ".",
                    named(pointer) + classText + negative + rest + "could not be read; " + before[k] + "."});
  }
  memcpy(&end, &bytes[at + 4], 4);
  ASSERT_EQ(end, TDR_TAG_EOF) << "the end tag follows the second terrain's six records";
  std::string badEnd = bytes;
  memcpy(&badEnd[at + 8], &minusFive, 4);
  rows.push_back(
      {badEnd, 2,
       "File \"" + file + "\": the rest of the file is damaged (ERROR:  " + negative + "); " + before[2] + ".",
       "File \"" + pointer + "\": the rest of the file \"" + file +
           "\" that a file pointer names is damaged (ERROR:  " + negative + "); " + before[2] + "."});
  const std::string cut = bytes.substr(0, colours + 100);  // inside the second terrain's colour grid
  rows.push_back({cut, 1,
                  named(file) + classText.substr(0, classText.size() - 2) + "\n\nFile \"" + file +
                      "\" ends early at byte " + std::to_string(cut.size()) + " after 1 object loaded.",
                  named(pointer) + classText + "TDR tag length exceeds the file" + rest + "could not be read; " +
                      before[1] + "."});
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_TRUE(orvanta_test::WriteFileBytes(file, rows[i].bytes));
    for (const bool followed : {false, true}) {
      DesktopRecorder recorder;
      const int result = window->LoadDataFile((followed ? pointer : file).c_str());
      int loaded = 0;
      for (Sd_Node* n = window->m_workarea->GetRoot()->GetFirstChild(); result == 0 && n; n = n->GetNext()) ++loaded;
      EXPECT_EQ(loaded, rows[i].objects + (followed ? 1 : 0))
          << "row " << i << (followed ? " through the pointer" : "");
      ASSERT_TRUE(WaitFor([&] { return orvanta::PendingMessageCount() == 0; }));
      EXPECT_EQ(recorder.boxes.empty() ? "" : recorder.boxes[0].text.toStdString(),
                followed ? rows[i].followedText : rows[i].text)
          << "row " << i << (followed ? " through the pointer" : "");
    }
  }
}
