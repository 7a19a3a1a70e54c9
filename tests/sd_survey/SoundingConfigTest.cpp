// Sounding data sets: the class configuration files of both classes in
// their three layouts, their colour maps under WRUHOME, and files that end
// early or hold values out of range.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "SoundingTestSupport.h"
#include "Sv_Debug.h"
#include "TestSupport.h"

using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

// A configuration file of the given version: pre-shaded, progressive,
// stride 8 (version 3); maps step16.cmap and grey.cmap; empty-cell alpha
// 40 and symbol size 0.002 (version 2 and later); grid lines, base and
// cell soundings off, run lines (or the spare switch) on; ranges: 0 0 for
// attribute 0, 0 9 for attribute 1, -1 i for the others, and a 23rd line
// in every version. The file ends after lines lines when lines >= 0.
std::string ConfigText(int version, int lines = -1, const std::string& stride = "8", const std::string& alpha = "40") {
  std::vector<std::string> l;
  if (version >= 3) l.insert(l.end(), {"# shading", "0.7", "1", "1", stride});
  l.insert(l.end(), {"# colour maps", "1.0 2.0 step16.cmap grey.cmap"});
  if (version >= 2) l.insert(l.end(), {alpha, "0.002"});
  l.insert(l.end(), {"# switches", "0", "0", "1", "0", "# ranges"});
  for (int i = 0; i < 23; ++i) l.push_back(i == 0 ? "0 0" : i == 1 ? "0 9" : "-1 " + std::to_string(i));
  std::string text = "# sounding class\n" + std::to_string(version) + "\n";
  for (size_t i = 0; i < l.size() && (lines < 0 || static_cast<int>(i) < lines); ++i) text += l[i] + "\n";
  return text;
}

// A home folder with the two maps and a configuration folder.
struct Home {
  TempDir dir;
  std::string home = dir.file("home");
  std::string config = dir.file("config");
  Home() {
    EXPECT_EQ(mkdir(home.c_str(), 0755), 0);
    EXPECT_EQ(mkdir((home + "/cmaps").c_str(), 0755), 0);
    EXPECT_EQ(mkdir(config.c_str(), 0755), 0);
    EXPECT_TRUE(dtm_test::WriteFlatColormap(home + "/cmaps/step16.cmap", 200, 0, 0));
    EXPECT_TRUE(dtm_test::WriteFlatColormap(home + "/cmaps/grey.cmap", 90, 90, 90));
  }
  void Write(const std::string& name, const std::string& text) const {
    EXPECT_TRUE(WriteFileBytes(config + "/" + name, text));
  }
};

}  // namespace

TEST(SoundingConfig, EveryVersionSetsItsFieldsAndMaps) {
  Home h;
  ScopedEnv home("WRUHOME", h.home.c_str());
  ScopedEnv config("WRUCONFIGURATIONS", h.config.c_str());
  const unsigned red = PackColour(200, 0, 0, 255);
  const unsigned grey = PackColour(90, 90, 90, 255);
  for (int version : {1, 2, 3}) {
    SCOPED_TRACE("version " + std::to_string(version));
    h.Write("SoundingClass", ConfigText(version));
    Sd_Sounding s;
    EXPECT_EQ(s.GetPreShaded(), version >= 3 ? 1 : 0);
    EXPECT_EQ(s.GetProgressive(), version >= 3 ? 1 : 0);
    EXPECT_EQ(s.GetLodStep(), version >= 3 ? 8 : 4);
    EXPECT_EQ(s.GetColorMap1()[17], red);
    EXPECT_EQ(s.GetColorMap2()[200], grey);
    EXPECT_STREQ(s.GetColorMapName(), (h.home + "/cmaps/step16.cmap").c_str());
    EXPECT_STREQ(s.GetColorMap2Name(), (h.home + "/cmaps/grey.cmap").c_str());
    EXPECT_EQ(s.GetEmptyCellAlpha(), version >= 2 ? 40 : 0);
    EXPECT_EQ(s.GetSymbolSize(), version >= 2 ? 0.002f : 0.00075f);
    EXPECT_EQ(s.GetShowGridLines(), 0);
    EXPECT_EQ(s.GetShowBase(), 0);
    EXPECT_EQ(s.GetLastSwitch(), 1);
    EXPECT_EQ(s.GetShowCellSoundings(), 0);
    float lo = 5, hi = 5;
    EXPECT_EQ(s.GetAttributeRange(0, &lo, &hi), 0);
    EXPECT_EQ(hi, 0.0f);
    EXPECT_EQ(s.GetAttributeRange(1, &lo, &hi), 1);
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 9.0f);
    EXPECT_EQ(s.GetAttributeRange(21, &lo, &hi), 1);
    EXPECT_EQ(hi, 21.0f);
    // Versions up to 1 have 22 range lines.
    EXPECT_EQ(s.GetAttributeRange(22, &lo, &hi), version > 1 ? 1 : 0);
    // Settings that only the attribute record sets keep their defaults.
    EXPECT_EQ(s.GetShowSurface(), 1);
    EXPECT_EQ(s.GetCellAlpha(), 230);
  }
  // HTF soundings read their own file, in the same layout.
  h.Write("HTFSoundingClass", ConfigText(2));
  Sd_HTFSounding htf;
  EXPECT_EQ(htf.GetEmptyCellAlpha(), 40);
  EXPECT_EQ(htf.GetLastSwitch(), 1);
  EXPECT_EQ(htf.GetColorMap1()[0], red);
  EXPECT_EQ(htf.GetAttributeRange(22, nullptr, nullptr), 1);
}

TEST(SoundingConfig, ShortFilesBadValuesAndMissingFilesKeepTheDefaults) {
  Home h;
  ScopedEnv config("WRUCONFIGURATIONS", h.config.c_str());
  const unsigned ramp = 0x000000FFu;
  {
    ScopedEnv home("WRUHOME", h.home.c_str());
    // Ends after the stride line.
    h.Write("SoundingClass", ConfigText(3, 5));
    Sd_Sounding s;
    EXPECT_EQ(s.GetPreShaded(), 1);
    EXPECT_EQ(s.GetLodStep(), 8);
    EXPECT_EQ(s.GetColorMap1()[0], ramp);
    EXPECT_EQ(s.GetColorMapName(), nullptr);
    EXPECT_EQ(s.GetShowBase(), 1);
    EXPECT_EQ(s.GetLastSwitch(), 0);
    EXPECT_EQ(s.GetAttributeRange(1, nullptr, nullptr), 0);
  }
  {
    ScopedEnv home("WRUHOME", h.home.c_str());
    // A stride below 1 and an alpha beyond 255 are brought into range; a
    // line that is not a number leaves its field.
    std::string text = ConfigText(3, -1, "0", "300");
    text.replace(text.find("# switches\n0\n0\n"), 15, "# switches\n0\nx\n");
    h.Write("SoundingClass", text);
    Sd_Sounding s;
    EXPECT_EQ(s.GetLodStep(), 1);
    EXPECT_EQ(s.GetEmptyCellAlpha(), 255);
    EXPECT_EQ(s.GetShowGridLines(), 0);
    EXPECT_EQ(s.GetShowBase(), 1);
    EXPECT_EQ(s.GetLastSwitch(), 1);
  }
  {
    // No WRUHOME: no map folder; the rest of the file applies.
    ScopedEnv home("WRUHOME", nullptr);
    h.Write("SoundingClass", ConfigText(2));
    Sd_Sounding s;
    EXPECT_EQ(s.GetColorMap1()[0], ramp);
    EXPECT_EQ(s.GetColorMapName(), nullptr);
    EXPECT_EQ(s.GetColorMap2Name(), nullptr);
    EXPECT_EQ(s.GetEmptyCellAlpha(), 40);
  }
  {
    // No file: every default.
    ScopedEnv home("WRUHOME", h.home.c_str());
    Sd_HTFSounding s;
    EXPECT_EQ(s.GetLodStep(), 4);
    EXPECT_EQ(s.GetSymbolSize(), 0.00075f);
    EXPECT_EQ(s.GetShowGridLines(), 1);
    EXPECT_EQ(s.GetLastSwitch(), 0);
    EXPECT_EQ(s.GetFilter(0), 1);
    EXPECT_EQ(s.GetColorMap1()[255], 0xFFFFFFFFu);
    // Map 2 starts as the ramp of map 1.
    EXPECT_EQ(s.GetColorMap2()[255], 0xFFFFFFFFu);
  }
}
