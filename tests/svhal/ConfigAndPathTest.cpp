#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

std::string Take(char* s) {
  std::string r = s ? s : "<null>";
  free(s);
  return r;
}

std::string NextLine(FILE* f) {
  char buf[256] = {};
  if (!fgets(buf, sizeof(buf), f)) return "<eof>";
  std::string s(buf);
  if (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

}  // namespace

TEST(ConfigFiles, LookupThroughEitherVariableSkipsCommentsAndParsesVersion) {
  TempDir home, conf;
  mkdir((home.path() + "/configurations").c_str(), 0755);
  WriteFileBytes(home.file("configurations/PointClass"), "# comment\n#another\n3\nnext line\n");
  WriteFileBytes(conf.file("PointClass"), "#c\n7 trailing\nfrom conf\n");
  WriteFileBytes(conf.file("Bad"), "# only\nv1.0\nrest\n");

  {
    ScopedEnv a("WRUHOME", home.path().c_str());
    ScopedEnv b("WRUCONFIGURATIONS", nullptr);
    int version = 0;
    FILE* f = Sv_UtlOpenConfigFile("PointClass", &version);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(version, 3);
    EXPECT_EQ(NextLine(f), "next line");
    fclose(f);
    EXPECT_EQ(Sv_UtlOpenConfigFile("Missing", &version), nullptr);
  }
  {
    // WRUCONFIGURATIONS wins, and is enough on its own.
    ScopedEnv a("WRUHOME", nullptr);
    ScopedEnv b("WRUCONFIGURATIONS", conf.path().c_str());
    int version = 0;
    FILE* f = Sv_UtlOpenConfigFile("PointClass", &version);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(NextLine(f), "from conf");
    fclose(f);
    f = Sv_UtlOpenConfigFile("Bad", &version);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(version, -1);
    EXPECT_EQ(NextLine(f), "rest");
    fclose(f);
    f = Sv_UtlOpenConfigFile("PointClass", nullptr);
    ASSERT_NE(f, nullptr);
    fclose(f);
  }
  {
    ScopedEnv a("WRUHOME", nullptr);
    ScopedEnv b("WRUCONFIGURATIONS", nullptr);
    int version = 5;
    EXPECT_EQ(Sv_UtlOpenConfigFile("PointClass", &version), nullptr);
    EXPECT_EQ(version, -1);
  }
  {
    ScopedEnv a("WRUHOME", (home.path() + "/nowhere").c_str());
    ScopedEnv b("WRUCONFIGURATIONS", nullptr);
    EXPECT_EQ(Sv_UtlOpenConfigFile("PointClass", nullptr), nullptr);
  }
}

TEST(ConfigFiles, MissingHomeAndFilesAreReportedOncePerProcess) {
  TempDir home;
  Sv_Debug::ForgetReported();
  MessageCapture cap(SV_LEVEL_DEBUG);
  testing::internal::CaptureStderr();
  {
    ScopedEnv a("WRUHOME", nullptr);
    ScopedEnv b("WRUCONFIGURATIONS", nullptr);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Sv_UtlOpenConfigFile("GUIDefaults", nullptr), nullptr);
      EXPECT_EQ(Sv_UtlHomePath("cmaps/step16.cmap"), nullptr);
    }
  }
  {
    ScopedEnv a("WRUHOME", home.path().c_str());
    ScopedEnv b("WRUCONFIGURATIONS", nullptr);
    EXPECT_EQ(Take(Sv_UtlHomePath("cmaps/step16.cmap")), home.path() + "/cmaps/step16.cmap");
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Sv_UtlOpenConfigFile("GUIDefaults", nullptr), nullptr);
      EXPECT_EQ(Sv_UtlOpenConfigFile("StereoOptions", nullptr), nullptr);
    }
  }
  const std::string err = testing::internal::GetCapturedStderr();
  auto count = [&err](const std::string& s) {
    int n = 0;
    for (size_t p = err.find(s); p != std::string::npos; p = err.find(s, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("WRUHOME is not set: built-in defaults are used"), 1) << err;
  EXPECT_EQ(count("Configuration file not found"), 2) << err;
  EXPECT_EQ(count(home.path() + "/configurations/GUIDefaults"), 1) << err;
  EXPECT_EQ(count(home.path() + "/configurations/StereoOptions"), 1) << err;

  // The key decides, not the text; forgetting starts again.
  EXPECT_EQ(Sv_Debug::MessageOnce("key", SV_LEVEL_WARNING, "first"), 1);
  EXPECT_EQ(Sv_Debug::MessageOnce("key", SV_LEVEL_WARNING, "second"), 0);
  EXPECT_EQ(Sv_Debug::MessageOnce("other", SV_LEVEL_WARNING, "second"), 1);
  Sv_Debug::ForgetReported();
  EXPECT_EQ(Sv_Debug::MessageOnce("key", SV_LEVEL_WARNING, "third"), 1);
  ASSERT_EQ(cap.messages().size(), 3u);
  EXPECT_EQ(cap.messages()[0].second, "first");
  EXPECT_EQ(cap.messages()[2].second, "third");
}

TEST(PathHelpers, BothSeparatorsGiveTheSameAnswers) {
  for (const char* p : {"a\\b\\c.sd", "a/b/c.sd", "a\\b/c.sd"}) {
    SCOPED_TRACE(p);
    EXPECT_EQ(Take(Sv_UtlGetDirectory(p, 1)), "a/b/");
    EXPECT_EQ(Take(Sv_UtlGetDirectory(p, 0)), "a/b");
    EXPECT_EQ(Take(Sv_UtlGetFileName(p)), "c.sd");
    ASSERT_NE(Sv_UtlGetExtension(p), nullptr);
    EXPECT_STREQ(Sv_UtlGetExtension(p), ".sd");
    EXPECT_TRUE(Sv_UtlHasExtension(p, ".SD"));
    EXPECT_TRUE(Sv_UtlHasExtension(p, "sd"));
    EXPECT_EQ(Take(Sv_UtlReplaceExtension(p, ".geo")).substr(4), "c.geo");
  }
  EXPECT_EQ(Sv_UtlGetExtension("dir.v2\\file"), nullptr);
  EXPECT_EQ(Sv_UtlGetExtension("dir.v2/file"), nullptr);
  EXPECT_EQ(Take(Sv_UtlGetDirectory("file.sd", 1)), "<null>");
  EXPECT_EQ(Take(Sv_UtlGetDirectory(".hidden", 1)), "./");
  EXPECT_EQ(Take(Sv_UtlGetDirectory(".hidden", 0)), ".");
  EXPECT_EQ(Take(Sv_UtlGetFileName("")), "<null>");
  EXPECT_EQ(Take(Sv_UtlGetFileName("plain")), "plain");
  EXPECT_FALSE(Sv_UtlHasExtension("file.usd", "sd"));
  EXPECT_EQ(Take(Sv_UtlReplaceExtension("noext", "dtm")), "noext.dtm");
}

TEST(StringHelpers, TruncateCaseCompareDayOfYear) {
  char s[32] = "abcdefghijklmnop";  // 16 characters
  Sv_UtlTruncateFront(s, 10);
  EXPECT_STREQ(s, "... klmnop");
  char t[8] = "abcd";
  Sv_UtlTruncateFront(t, 2);
  EXPECT_STREQ(t, "abcd");
  char u[16] = "abcdefgh";
  Sv_UtlTruncateFront(u, 8);
  EXPECT_STREQ(u, "abcdefgh");
  Sv_UtlTruncateFront(u, 3);  // cannot hold the "... " mark: left alone
  EXPECT_STREQ(u, "abcdefgh");

  EXPECT_EQ(Sv_UtlStrCaseCmp("Hello", "hELLO"), 0);
  EXPECT_LT(Sv_UtlStrCaseCmp("abc", "abd"), 0);
  EXPECT_EQ(Sv_UtlStrCaseCmp(nullptr, "x"), -1);
  EXPECT_EQ(Sv_UtlStrCaseCmp("x", nullptr), 1);

  EXPECT_EQ(Sv_UtlDayOfYear(2023, 1, 1), 1);
  EXPECT_EQ(Sv_UtlDayOfYear(2023, 12, 31), 365);
  EXPECT_EQ(Sv_UtlDayOfYear(2024, 3, 1), 61);
  EXPECT_EQ(Sv_UtlDayOfYear(2000, 12, 31), 366);
  EXPECT_EQ(Sv_UtlDayOfYear(1900, 3, 1), 60);
  EXPECT_EQ(Sv_UtlDayOfYear(2024, 13, 1), 0);
  EXPECT_EQ(Sv_UtlDayOfYear(2024, 2, 32), 0);

  ScopedEnv e("ORVANTA_TEST_VALUE", "v1");
  EXPECT_EQ(Take(Sv_UtlGetEnv("ORVANTA_TEST_VALUE")), "v1");
  EXPECT_EQ(Take(Sv_UtlGetEnv("ORVANTA_SURELY_UNSET_VARIABLE")), "<null>");
}

TEST(FileHelpers, ExistsAndCanWrite) {
  TempDir dir;
  WriteFileBytes(dir.file("f"), "x");
  EXPECT_EQ(Sv_UtlFileExists(dir.file("f").c_str()), 1);
  EXPECT_EQ(Sv_UtlFileExists(dir.path().c_str()), 1);
  EXPECT_EQ(Sv_UtlFileExists(dir.file("g").c_str()), 0);
  EXPECT_EQ(Sv_UtlCanWrite(dir.file("f").c_str()), 1);
  EXPECT_EQ(Sv_UtlCanWrite(dir.file("new").c_str()), 1);
  EXPECT_EQ(Sv_UtlCanWrite(dir.file("missing/new").c_str()), 0);
}

TEST(Grid2D, RowTablesAreSeparateRowsAndRefuseBadSizes) {
  unsigned short** g = Sv_UtlAlloc2DShort(3, 5);
  ASSERT_NE(g, nullptr);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 5; ++c) g[r][c] = static_cast<unsigned short>(r * 5 + c);
  EXPECT_EQ(g[2][4], 14);
  Sv_UtlFree2D(g, 3);
  unsigned int** h = Sv_UtlAlloc2DInt(2, 2);
  ASSERT_NE(h, nullptr);
  Sv_UtlFree2D(h, 2);
  EXPECT_EQ(Sv_UtlAlloc2DShort(0, 5), nullptr);
  EXPECT_EQ(Sv_UtlAlloc2DInt(5, -1), nullptr);
}

// Both layouts, each released after the default has changed; the one-block
// grid of more than 2 MiB goes through the huge-page placement.
TEST(Grid2D, BothLayoutsHoldEveryCellAndAreReleasedWhateverTheLayoutOfTheDay) {
  const int before = Sv_UtlGetGridLayout();
  const int rows = 1100, cols = 1000;
  unsigned short* grids[2] = {nullptr, nullptr};
  unsigned short** tables[2] = {nullptr, nullptr};
  for (int layout : {SV_GRID_SEPARATE_ROWS, SV_GRID_ONE_BLOCK}) {
    Sv_UtlSetGridLayout(layout);
    EXPECT_EQ(Sv_UtlGetGridLayout(), layout);
    unsigned short** g = Sv_UtlAlloc2DShort(rows, cols);
    ASSERT_NE(g, nullptr);
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) g[r][c] = static_cast<unsigned short>(r + 3 * c);
    }
    bool contiguous = true;
    for (int r = 0; r + 1 < rows; ++r) contiguous = contiguous && g[r + 1] == g[r] + cols;
    EXPECT_EQ(contiguous, layout == SV_GRID_ONE_BLOCK);
    tables[layout] = g;
    grids[layout] = g[rows - 1];
  }
  EXPECT_EQ(Sv_UtlSetGridLayout(77), SV_GRID_ONE_BLOCK) << "an unknown layout changes nothing";
  EXPECT_EQ(Sv_UtlGetGridLayout(), SV_GRID_ONE_BLOCK);
  for (int layout : {SV_GRID_SEPARATE_ROWS, SV_GRID_ONE_BLOCK}) {
    EXPECT_EQ(grids[layout][cols - 1], static_cast<unsigned short>(rows - 1 + 3 * (cols - 1)));
  }
  // Each released with the other layout in force.
  Sv_UtlSetGridLayout(SV_GRID_ONE_BLOCK);
  Sv_UtlFree2D(tables[SV_GRID_SEPARATE_ROWS], rows);
  Sv_UtlSetGridLayout(SV_GRID_SEPARATE_ROWS);
  Sv_UtlFree2D(tables[SV_GRID_ONE_BLOCK], rows);
  unsigned int** small = Sv_UtlAlloc2DInt(2, 3);
  Sv_UtlSetGridLayout(SV_GRID_ONE_BLOCK);
  ASSERT_NE(small, nullptr);
  small[1][2] = 5;
  Sv_UtlFree2D(small, 2);
  Sv_UtlSetGridLayout(before);
}

namespace {

struct ExitCalled : std::runtime_error {
  int code;
  explicit ExitCalled(int c) : std::runtime_error("exit"), code(c) {}
};
void ThrowingExitHook(int code) { throw ExitCalled(code); }

}  // namespace

TEST(PreferenceFile, NameUnderHomeAndFatalWithoutHome) {
  TempDir dir;
  const std::string home = dir.file("home");
  {
    ScopedEnv h("HOME", home.c_str());
    EXPECT_EQ(Take(Sv_UtlPrefFileName("filehistory", 0)), home + "/pc_filehistory");
    EXPECT_EQ(Take(Sv_UtlPrefFileName("orvantaOptions", 1)), home + "/pc_orvantaOptions6.1");
    EXPECT_EQ(Sv_UtlFileExists(home.c_str()), 1) << "the preference directory is created";
  }
  {
    ScopedEnv h("HOME", nullptr);
    MessageCapture cap;
    Sv_UtlSetExitHook(ThrowingExitHook);
    int code = 0;
    try {
      free(Sv_UtlPrefFileName("filehistory", 0));
    } catch (const ExitCalled& e) {
      code = e.code;
    }
    Sv_UtlSetExitHook(nullptr);
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(cap.Contains("ERROR: Please set the $HOME environment variable"));
  }
}

TEST(PreferenceFileDeathTest, MissingHomeEndsTheProcessWithMinusOne) {
  EXPECT_EXIT(
      {
        unsetenv("HOME");
        free(Sv_UtlPrefFileName("filehistory", 0));
      },
      testing::ExitedWithCode(255), "Please set the \\$HOME environment variable");
}

TEST(SwapDeathTest, ImpossibleElementSizeIsFatal) {
  int v = 0;
  EXPECT_EXIT(Sv_UtlSwapBytes(&v, 0, 1), testing::ExitedWithCode(255), "");
}
