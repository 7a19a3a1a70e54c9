// What one load of a file tells the user: every message it raises, in one
// box, each text once, with the file's name where a text does not give it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../sd_dtm/DTMTestSupport.h"
#include "../sd_survey/SeismicTestSupport.h"
#include "AppMainSupport.h"
#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Iterator.h"
#include "Sd_Node.h"
#include "Sd_Parent.h"
#include "Sd_SceneFile.h"
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

namespace {

// A scene entry whose object record is a file pointer to a terrain file.
class PointerEntry : public Sd_Node {
 public:
  PointerEntry(const Sd_Node& like, const std::string& target) : m_target(target) { CopyFrom(&like); }
  int SaveObject(TDR_Manager* manager, int, int) override {
    return manager->WriteTag(TDR_TAG_SD_BASICDTM, 1, 0, 1, 1) == 0 &&
                   manager->WriteFilePointerString(m_target.c_str()) == 0 && manager->EndTag() == 0
               ? 0
               : -1;
  }

 private:
  std::string m_target;
};

// The objects of a scene that are not groups.
int Leaves(Sd_Node* root) {
  int n = 0;
  Sd_Iterator it(root);
  for (Sd_Node* node = it.GetRoot(); node; node = it.Next()) n += node->IsGroup() ? 0 : 1;
  return n;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

// A bad length in any record of a terrain, or a file cut inside one, costs
// that terrain and the rest of its file: the class's text comes first, then
// why, then what was lost. A bad end tag costs nothing but is said. The same
// damage in a file that a file pointer names ends that file only: the
// terrains before and after the pointer load, and the box names the
// followed file with what it gave. Inside a followed file a record that
// cannot be used costs that record only. A scene whose entry points to the
// file says the same and shows the same objects, read as data or as a
// scene, with the entry at the top or inside a group.
TEST_F(LoadMessages, ADamagedTerrainRecordGivesTheClassTextThenWhy) {
  ASSERT_TRUE(StartWindow({"orvanta"}));
  auto first = dtm_test::MakeDTM(9, 9), second = dtm_test::MakeDTM(9, 9), after = dtm_test::MakeDTM(9, 9),
       lead = dtm_test::MakeDTM(9, 9);
  second->SetColorMap(static_cast<unsigned*>(calloc(256, sizeof(unsigned))));
  const std::string file = dir.file("two.sd"), pointer = dir.file("pointer.sd"), third = dir.file("third.sd");
  const std::string flat = dir.file("flat.scene"), nested = dir.file("nested.scene");
  ASSERT_TRUE(dtm_test::WriteSD(file, {first.get(), second.get()}));
  ASSERT_TRUE(dtm_test::WriteSD(third, {after.get()}));
  const std::string bytes = orvanta_test::ReadFileBytes(file);
  // The outer files: pointer.sd (a terrain, the pointer, a terrain) and the
  // same as scene entries, flat and with the first two inside a group.
  const auto writeOuter = [&] {
    PointerEntry entry(*first, file);
    Sd_AlignmentNode root;
    Sd_Parent group;
    bool ok = sd_io_test::FileWriter(pointer).Object(lead.get()).Pointer(TDR_TAG_SD_BASICDTM, file).Object(
        after.get()).Close();
    for (const bool inGroup : {false, true}) {
      Sd_Node* into = inGroup ? static_cast<Sd_Node*>(&group) : &root;
      into->AddChild(lead.get());
      into->AddChild(&entry);
      if (inGroup) root.AddChild(&group);
      root.AddChild(after.get());
      ok = ok && Sd_SceneFile::Write((inGroup ? nested : flat).c_str(), Sd_SceneSettings(), &root) == 0;
      // Each taken off as the last of its chain, so that it keeps no sibling.
      for (Sd_Node* n : std::vector<Sd_Node*>{after.get(), &group, &entry, lead.get()}) {
        if (n->GetParent()) n->GetParent()->RemoveChild(n);
      }
    }
    return ok;
  };
  // Each damage of two.sd, with the box of two.sd read itself and of
  // pointer.sd, which loads two objects more. outerEnd: the outer files'
  // end tags are damaged too (a scene file's own damage refuses the scene).
  struct Row {
    std::string bytes;
    int objects;
    std::string text, followedText;
    bool outerEnd = false;
    int followedObjects = -1;  // what two.sd gives through a pointer, when not objects
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
       "File \"" + file + "\": the rest of the file is damaged (" + negative + "); " + before[2] + ".",
       "File \"" + pointer + "\": the rest of the file \"" + file +
           "\" that a file pointer names is damaged (" + negative + "); " + before[2] + "."});
  const std::string cut = bytes.substr(0, colours + 100);  // inside the second terrain's colour grid
  rows.push_back({cut, 1,
                  named(file) + classText.substr(0, classText.size() - 2) + "\n\nFile \"" + file +
                      "\" ends early at byte " + std::to_string(cut.size()) + " after 1 object loaded.",
                  named(pointer) + classText + "TDR tag length exceeds the file" + rest + "could not be read; " +
                      before[1] + "."});
  // The first header damaged: a bad byte-order byte; an unknown id with a
  // length of -5.
  const std::string header = bytes.substr(0, bytes.find("END_HEADER\n") + 11);
  const size_t firstAt = header.size();
  const std::string byteOrder = "TDR tag header has a bad byte-order byte";
  std::string badOrder = bytes;
  badOrder[firstAt] = 7;
  const std::string nothing = "File \"" + file + "\" holds nothing that can be shown: ";
  const std::string none = "no object before it was loaded.", restLine = rest.substr(2);
  rows.push_back({badOrder, 0, nothing + byteOrder + ".", restLine + "is damaged (" + byteOrder + "); " + none});
  const int unknownId = 4242;
  ASSERT_EQ(TDR_Manager::TagName(unknownId, nullptr), TDR_TAG_ERROR);
  std::string badId = bytes;
  memcpy(&badId[firstAt + 4], &unknownId, 4);
  memcpy(&badId[firstAt + 8], &minusFive, 4);
  rows.push_back({badId, 0, nothing + negative + ".", restLine + "is damaged (" + negative + "); " + none});
  // After the first terrain: a record of an unknown id, stepped over alone;
  // a file pointer, followed in two.sd read itself and refused alone inside
  // a followed file.
  size_t terrainEnd = firstAt;
  for (int i = 0, len = 0; i < 5; ++i, terrainEnd += TDR_Manager::kTagHeaderSize + static_cast<size_t>(len)) {
    memcpy(&len, &bytes[terrainEnd + 8], 4);
  }
  std::string unknownRecord(TDR_Manager::kTagHeaderSize, '\0');
  unknownRecord[0] = 1;
  unknownRecord[1] = 1;
  memcpy(&unknownRecord[4], &unknownId, 4);
  const std::string skipped = "1 record could not be read (Unknown TDR tag id 4242); the others were loaded.";
  rows.push_back({bytes.substr(0, terrainEnd) + unknownRecord + bytes.substr(terrainEnd), 2,
                  "File \"" + file + "\": " + skipped, "File \"" + pointer + "\": " + skipped});
  {
    const std::string named3 = dir.file("pointer-to-third.sd");
    ASSERT_TRUE(sd_io_test::FileWriter(named3).Pointer(TDR_TAG_SD_BASICDTM, third).Close());
    const std::string p = orvanta_test::ReadFileBytes(named3);
    const std::string record = p.substr(header.size(), p.size() - header.size() - TDR_Manager::kTagHeaderSize);
    // Read itself, two.sd follows the pointer and gives three terrains.
    rows.push_back({bytes.substr(0, terrainEnd) + record + bytes.substr(terrainEnd), 3, "",
                    named(pointer) + "A file pointer inside a followed TDR file is not supported: " + file});
    rows.back().followedObjects = 2;
  }
  // Damage in the followed file and at the outer files' end.
  rows.push_back({badOrder, 0, nothing + byteOrder + ".",
                  restLine + "is damaged (" + byteOrder + "); " + none + "\n\nFile \"" + pointer +
                      "\": 1 record could not be read and the rest of the file is damaged (" + byteOrder +
                      "); the {N} objects before it were loaded.",
                  true});
  const std::string refusedScene =
      "\" is not a valid scene file.\nIts scene hierarchy (tag 9900, SD_HIERARCHY) is missing, damaged or does not "
      "start with a group.";
  ASSERT_TRUE(writeOuter());
  std::map<std::string, std::string> outerBytes;
  for (const std::string& outer : {pointer, flat, nested}) outerBytes[outer] = orvanta_test::ReadFileBytes(outer);
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_TRUE(orvanta_test::WriteFileBytes(file, rows[i].bytes));
    for (auto [outer, written] : outerBytes) {
      if (rows[i].outerEnd) written[written.size() - TDR_Manager::kTagHeaderSize] = 7;
      ASSERT_TRUE(orvanta_test::WriteFileBytes(outer, written));
    }
    // What file gives: the file itself, pointer.sd, and each scene as data
    // and as a scene. Groups read as data are objects of the file too.
    const std::pair<std::string, bool> loads[] = {{file, false},  {pointer, false}, {flat, false},
                                                  {flat, true},   {nested, false},  {nested, true}};
    for (const auto& [outer, asScene] : loads) {
      const std::string where = "row " + std::to_string(i) + ": " + outer + (asScene ? " as a scene" : "");
      const bool followed = outer != file;
      const int groups = outer == flat ? 1 : outer == nested ? 2 : 0;
      std::string text = Replaced(followed ? rows[i].followedText : rows[i].text, pointer, outer);
      text = Replaced(text, "{N}", std::to_string(2 + (asScene ? 0 : groups)));
      int objects = followed ? (rows[i].followedObjects < 0 ? rows[i].objects : rows[i].followedObjects) + 2
                             : rows[i].objects;
      if (asScene && rows[i].outerEnd) {
        text = text.substr(0, text.find("\n\n")) + "\n\nFile \"" + outer + refusedScene;
        objects = 0;
      }
      DesktopRecorder recorder;
      const int result = asScene ? window->LoadSceneFile(outer.c_str()) : window->LoadDataFile(outer.c_str());
      EXPECT_EQ(result == 0 ? Leaves(window->m_workarea->GetRoot()) : 0, objects) << where;
      ASSERT_TRUE(WaitFor([&] { return orvanta::PendingMessageCount() == 0; }));
      EXPECT_EQ(recorder.boxes.empty() ? "" : recorder.boxes[0].text.toStdString(), text) << where;
    }
  }
}
