// The file history: its file layout, the four lists through a sequence of
// recorded files, damaged files, the recent-files actions and the filter
// extensions of the save dialog.
#include <gtest/gtest.h>

#include <QAction>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "FileHistory.h"
#include "Qk_FileDialogs.h"
#include "Sv_Debug.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;
using orvanta_test::ReadFileBytes;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

typedef std::vector<std::string> Names;

Names List(FileHistory& h, int list) {
  Names out;
  for (int i = 0; i < h.GetCount(list); ++i) out.push_back(h.GetEntry(i, list));
  return out;
}

int Word(const std::string& bytes, size_t at) {
  int v;
  memcpy(&v, bytes.data() + at, 4);
  return v;
}

void PutWord(std::string* bytes, size_t at, int v) { memcpy(&(*bytes)[at], &v, 4); }

}  // namespace

TEST(FileHistory, NewFileLayoutAndTheListsThroughASequenceOfFiles) {
  TempDir home;
  ScopedEnv env("HOME", home.path().c_str());
  FileHistory* h = FileHistory::Instance();
  const std::string path = home.file("pc_filehistory");
  EXPECT_EQ(h->GetPath(), path);

  const std::string fresh = ReadFileBytes(path);
  ASSERT_EQ(fresh.size(), 10440u);
  EXPECT_EQ(Word(fresh, 0), 1);
  EXPECT_EQ(Word(fresh, 4), 10);
  EXPECT_EQ(fresh.find_first_not_of('\0', 8), std::string::npos);
  EXPECT_EQ(h->GetMaxEntries(), 10);
  const int offsets[4] = {8, 2612, 5216, 7820};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(h->GetListOffset(k), offsets[k]);

  const std::string name254 = "/x/" + std::string(248, 'n') + ".sd";  // 254 characters
  ASSERT_EQ(name254.size(), 254u);
  struct Step {
    const char* what;
    std::function<void()> act;
    Names dirs, data, scenes, others;
  };
  const std::vector<Step> steps = {
      {"capitals, no pattern: data and other list, folder in list 0",
       [&] { h->AddFile("/d1/A.SD", nullptr); },
       {"/d1/"}, {"/d1/A.SD"}, {}, {"/d1/A.SD"}},
      {"a scene file by its pattern",
       [&] { h->AddFile("/d2/view", "*.scene"); },
       {"/d2/", "/d1/"}, {"/d1/A.SD"}, {"/d2/view"}, {"/d1/A.SD"}},
      {"a repeated file is listed once, first",
       [&] {
         h->AddFile("/d1/b.sd", "*.sd");
         h->AddFile("/d1/A.SD", nullptr);
       },
       {"/d1/", "/d2/"}, {"/d1/A.SD", "/d1/b.sd"}, {"/d2/view"}, {"/d1/A.SD", "/d1/b.sd"}},
      {"an eleventh file evicts the oldest",
       [&] {
         for (int i = 0; i < 9; ++i) h->AddEntry(("/e/f" + std::to_string(i) + ".sd").c_str(), FileHistory::kDataFiles);
       },
       {"/d1/", "/d2/"},
       {"/e/f8.sd", "/e/f7.sd", "/e/f6.sd", "/e/f5.sd", "/e/f4.sd", "/e/f3.sd", "/e/f2.sd", "/e/f1.sd", "/e/f0.sd",
        "/d1/A.SD"},
       {"/d2/view"}, {"/d1/A.SD", "/d1/b.sd"}},
      {"254 characters are kept, 255 are not",
       [&] {
         h->AddEntry((name254 + "x").c_str(), FileHistory::kSceneFiles);
         h->AddEntry(name254.c_str(), FileHistory::kSceneFiles);
       },
       {"/d1/", "/d2/"},
       {"/e/f8.sd", "/e/f7.sd", "/e/f6.sd", "/e/f5.sd", "/e/f4.sd", "/e/f3.sd", "/e/f2.sd", "/e/f1.sd", "/e/f0.sd",
        "/d1/A.SD"},
       {name254, "/d2/view"}, {"/d1/A.SD", "/d1/b.sd"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(List(*h, 0), s.dirs);
    EXPECT_EQ(List(*h, 1), s.data);
    EXPECT_EQ(List(*h, 2), s.scenes);
    EXPECT_EQ(List(*h, 3), s.others);
  }
  // A slot never written reads as the empty text; other lists have none.
  EXPECT_STREQ(h->GetEntry(5, 2), "");
  EXPECT_EQ(h->GetEntry(0, 4), nullptr);
  EXPECT_EQ(h->GetCount(4), 0);
  EXPECT_EQ(ReadFileBytes(path).size(), 10440u);

  // The recent-files actions of a list, and of an empty one.
  std::vector<QAction*> owned;
  QList<QAction*> actions;
  for (int i = 0; i < 10; ++i) {
    owned.push_back(new QAction(nullptr));
    actions.append(owned.back());
  }
  Qk_UpdateRecentFileActions(actions, FileHistory::kSceneFiles);
  EXPECT_EQ(actions[1]->text(), "&2 /d2/view");
  EXPECT_TRUE(actions[1]->isVisible() && actions[1]->isEnabled());
  EXPECT_FALSE(actions[2]->isVisible());
  TempDir other;
  ScopedEnv otherHome("HOME", other.path().c_str());
  Qk_UpdateRecentFileActions(actions, FileHistory::kSceneFiles);
  EXPECT_EQ(actions[0]->text(), "(none)");
  EXPECT_TRUE(actions[0]->isVisible());
  EXPECT_FALSE(actions[0]->isEnabled());
  for (QAction* a : owned) delete a;
}

TEST(FileHistory, DamagedHistoriesReadEmptyAndAreNeverRewritten) {
  TempDir home;
  const std::string path = home.file("history");
  std::string fresh;
  {
    FileHistory h(path.c_str());
    h.AddFile("/d/a.sd", nullptr);
    fresh = ReadFileBytes(path);
  }
  const struct {
    const char* what;
    std::function<void(std::string*)> damage;
  } damages[] = {
      {"N out of range", [](std::string* b) { PutWord(b, 4, 5000); }},
      {"N negative", [](std::string* b) { PutWord(b, 4, -1); }},
      {"count above N", [](std::string* b) { PutWord(b, 2612 + 4, 11); }},
      {"length out of range", [](std::string* b) { PutWord(b, 8 + 8, 300); }},
      {"negative length", [](std::string* b) { PutWord(b, 2612 + 8, -4); }},
      {"shorter than its lists", [](std::string* b) { b->resize(9000); }},
  };
  for (const auto& d : damages) {
    SCOPED_TRACE(d.what);
    std::string bytes = fresh;
    d.damage(&bytes);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    Sv_Debug::ForgetReported();
    MessageCapture messages(-3);
    FileHistory h(path.c_str());
    for (int list = 0; list < 4; ++list) EXPECT_EQ(h.GetCount(list), 0);
    EXPECT_EQ(h.GetEntry(0, 1), nullptr);
    EXPECT_EQ(h.AddFile("/d/b.sd", "*.sd"), -1);
    EXPECT_EQ(h.AddDirectory("/d"), -1);
    EXPECT_EQ(ReadFileBytes(path), bytes);
    EXPECT_EQ(messages.messages().size(), 1u) << messages.All();
  }
}

TEST(FileHistory, ExtensionsFromFilters) {
  const struct {
    const char* filter;
    const char* ext;
  } rows[] = {
      {"Data Files (*.sd);;All Files (*)", ".sd"},
      {"Scene Files (*.scene *.sd)", ".scene"},
      {"All (*.*)", nullptr},
      {"All Files (*)", nullptr},
      {"Odd (*.s?d)", nullptr},
      {"No pattern", nullptr},
  };
  for (const auto& r : rows) {
    char* ext = Qk_ExtensionFromFilter(r.filter);
    EXPECT_STREQ(ext, r.ext) << r.filter;
    free(ext);
  }
  EXPECT_EQ(Qk_AddFilterExtension("view", "Scene Files (*.scene)"), "view.scene");
  EXPECT_EQ(Qk_AddFilterExtension("view.old", "Scene Files (*.scene)"), "view.old");
}
