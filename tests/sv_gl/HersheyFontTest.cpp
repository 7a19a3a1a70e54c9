#include <gtest/gtest.h>

#include <GL/gl.h>

#include <sys/stat.h>

#include <limits>
#include <string>

#include "GLTestFixture.h"
#include "Sv_HersheyFont.h"
#include "TestSupport.h"

using orvanta_test::GLPixelBox;
using orvanta_test::GLTest;
using orvanta_test::MessageCapture;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

// Roman simplex metrics: 'H' has margins -11 and 11 and stems at -7 and 7;
// 'I' margins -4 and 4; the caps stand 21 units above the baseline, and
// '(' reaches from 7 units below it to 25 above.
const float kWidthH = 22.0f;
const float kWidthI = 8.0f;
const float kCapHeight = 21.0f;
const float kBearingH = 4.0f;

// Switches the built-in font on for one test and off again.
class BuiltIn {
 public:
  explicit BuiltIn(int on) { Sv_HersheySetBuiltIn(on); }
  ~BuiltIn() { Sv_HersheySetBuiltIn(0); }
};

// Pixel projection shifted by half a pixel, so integer coordinates fall on
// pixel centres and strokes on whole pixels.
void SetCentredPixelProjection() {
  GLTest::SetPixelProjection();
  glTranslatef(0.5f, 0.5f, 0.0f);
}

GLPixelBox DrawAndMeasure(Sv_HersheyFont& font, const char* text, float x, float y, int hAlign, int vAlign,
                          float xScale = 1.0f, float yScale = 1.0f) {
  GLTest::Clear();
  font.DrawString(xScale, yScale, text, x, y, 0.0f, hAlign, vAlign, 0);
  return GLTest::InkBox();
}

// A glyph file of two glyphs: ' ' (margins -8, 8) and '!' (margins -10, 10,
// a square from -5 to 5), the way the format writes them.
const char kTwoGlyphs[] = "    1  1JZ\n    2  6H\\MMWMWWMWMM\n";

}  // namespace

TEST_F(GLTest, BuiltInFontHasAllGlyphsWithoutReadingAFile) {
  BuiltIn on(1);
  Sv_HersheyFont font;
  EXPECT_EQ(font.GetNumGlyphs(), 0);
  ASSERT_EQ(font.LoadFont("no-such-font.dat", 1.0f), 0);
  EXPECT_EQ(font.GetNumGlyphs(), 97);
  EXPECT_FLOAT_EQ(font.GetStringWidth("H", 1.0f), kWidthH);
  EXPECT_FLOAT_EQ(font.GetStringWidth("HIH", 1.0f), 2 * kWidthH + kWidthI);
  EXPECT_FLOAT_EQ(font.GetMinY(), -7.0f);
  EXPECT_FLOAT_EQ(font.GetMaxY(), 25.0f);
  EXPECT_FLOAT_EQ(font.GetHeight(1.0f), 32.0f);
  EXPECT_FLOAT_EQ(font.GetStringWidth(nullptr, 1.0f), 0.0f);
  EXPECT_FLOAT_EQ(font.GetStringWidth("", 1.0f), 0.0f);
}

TEST_F(GLTest, StringWidthAndHeightGrowLinearlyWithScale) {
  BuiltIn on(1);
  Sv_HersheyFont font;
  ASSERT_EQ(font.LoadFont("romancsfont.dat", 0.001f), 0);
  const char* text = " 00000000.00 ";
  const float w1 = font.GetStringWidth(text, 1.0f);
  ASSERT_GT(w1, 0.0f);
  for (float s : {0.5f, 2.0f, 3.0f, 10.0f}) {
    EXPECT_NEAR(font.GetStringWidth(text, s), s * w1, 1e-6f * s);
    EXPECT_NEAR(font.GetHeight(s), s * font.GetHeight(1.0f), 1e-6f * s);
  }
  // The load scale multiplies the same way.
  Sv_HersheyFont big;
  ASSERT_EQ(big.LoadFont("romancsfont.dat", 0.004f), 0);
  EXPECT_NEAR(big.GetStringWidth(text, 1.0f), 4.0f * w1, 1e-5f);
  EXPECT_NEAR(big.GetHeight(1.0f), 4.0f * font.GetHeight(1.0f), 1e-5f);
  // Widths add up character by character.
  EXPECT_NEAR(font.GetStringWidth("AB", 1.0f), font.GetStringWidth("A", 1.0f) + font.GetStringWidth("B", 1.0f),
              1e-7f);
}

TEST_F(GLTest, DrawnStringWidthGrowsLinearlyWithXScale) {
  BuiltIn on(1);
  Sv_HersheyFont font;
  ASSERT_EQ(font.LoadFont("", 1.0f), 0);
  SetCentredPixelProjection();
  // The stems of "HIH" lie 44 units apart; the caps are 21 units high (a
  // line's end pixels may be left out).
  for (float s : {1.0f, 2.0f, 4.0f}) {
    const GLPixelBox box = DrawAndMeasure(font, "HIH", 10.0f, 100.0f, 0, 1, s, 1.0f);
    ASSERT_FALSE(box.empty);
    EXPECT_NEAR(box.xMax - box.xMin, 44.0f * s, 1.0f) << "x scale " << s;
    EXPECT_NEAR(box.yMax - box.yMin, kCapHeight, 2.0f) << "x scale " << s;
  }
  const GLPixelBox tall = DrawAndMeasure(font, "HIH", 10.0f, 50.0f, 0, 1, 1.0f, 3.0f);
  EXPECT_NEAR(tall.yMax - tall.yMin, 3.0f * kCapHeight, 2.0f);
  EXPECT_NEAR(tall.xMax - tall.xMin, 44.0f, 1.0f);
  glLoadIdentity();
}

TEST_F(GLTest, HorizontalAlignmentStartsCentresOrEndsTheTextAtX) {
  BuiltIn on(1);
  Sv_HersheyFont font;
  ASSERT_EQ(font.LoadFont("romancsfont.dat", 2.0f), 0);
  SetCentredPixelProjection();
  const float x = 128.0f;
  const float bearing = kBearingH * 2.0f;  // from the text's ends to the outer stems

  const GLPixelBox left = DrawAndMeasure(font, "HIH", x, 100.0f, 0, 1);
  ASSERT_FALSE(left.empty);
  EXPECT_NEAR(left.xMin, x + bearing, 1.0);
  const GLPixelBox centre = DrawAndMeasure(font, "HIH", x, 100.0f, 1, 1);
  ASSERT_FALSE(centre.empty);
  EXPECT_NEAR(centre.CentreX(), x, 1.0);
  const GLPixelBox right = DrawAndMeasure(font, "HIH", x, 100.0f, 2, 1);
  ASSERT_FALSE(right.empty);
  EXPECT_NEAR(right.xMax, x - bearing, 1.0);
  // The same ink, shifted by half and by the whole string width.
  const float width = font.GetStringWidth("HIH", 1.0f);
  EXPECT_NEAR(left.xMin - centre.xMin, width / 2, 1.0);
  EXPECT_NEAR(left.xMin - right.xMin, width, 1.0);
  // Unknown alignment codes start at x like 0.
  const GLPixelBox other = DrawAndMeasure(font, "HIH", x, 100.0f, 7, 1);
  EXPECT_EQ(other.xMin, left.xMin);
  glLoadIdentity();
}

TEST_F(GLTest, VerticalAlignmentPutsLowestOrHighestStrokeOnY) {
  BuiltIn on(1);
  Sv_HersheyFont font;
  ASSERT_EQ(font.LoadFont("romancsfont.dat", 2.0f), 0);
  SetCentredPixelProjection();
  const float y = 100.0f;
  // Baseline: the caps stand on y.
  const GLPixelBox base = DrawAndMeasure(font, "H", 50.0f, y, 0, 1);
  EXPECT_NEAR(base.yMin, y, 1.0);
  EXPECT_NEAR(base.yMax, y + 2.0f * kCapHeight, 1.0);
  // '(' holds the font's lowest and highest strokes.
  const GLPixelBox low = DrawAndMeasure(font, "(", 50.0f, y, 0, 0);
  EXPECT_NEAR(low.yMin, y, 1.0);
  const GLPixelBox high = DrawAndMeasure(font, "(", 50.0f, y, 0, 2);
  EXPECT_NEAR(high.yMax, y, 1.0);
  // 0 raises the baseline by |min y|, 2 lowers it by max y.
  const GLPixelBox raised = DrawAndMeasure(font, "H", 50.0f, y, 0, 0);
  EXPECT_NEAR(raised.yMin, y - font.GetMinY(), 1.0);
  const GLPixelBox lowered = DrawAndMeasure(font, "H", 50.0f, y, 0, 2);
  EXPECT_NEAR(lowered.yMin, y - font.GetMaxY(), 1.0);
  glLoadIdentity();
}

TEST_F(GLTest, DrawStringUsesCurrentColourAndPlane) {
  BuiltIn on(1);
  Sv_HersheyFont font;
  ASSERT_EQ(font.LoadFont("romancsfont.dat", 2.0f), 0);
  SetCentredPixelProjection();
  glColor3ub(255, 0, 0);
  font.DrawString("I", 100.0f, 100.0f, 0.5f, 0, 1, 0);  // one stem at x = 108
  const orvanta_test::GLPixel p = ReadPixel(108, 120);
  EXPECT_EQ(p.r, 255);
  EXPECT_EQ(p.g, 0);
  EXPECT_EQ(p.b, 0);
  // z = 0.5 in glOrtho(.., -1, 1) lies at depth 0.25.
  EXPECT_NEAR(ReadDepth(108, 120), 0.25f, 1e-4f);
  EXPECT_NEAR(CountInk(), 2 * kCapHeight, 1.0);
  glLoadIdentity();
}

TEST_F(GLTest, CharactersWithoutGlyphDrawTheReplacementBox) {
  BuiltIn on(1);
  Sv_HersheyFont font;
  ASSERT_EQ(font.LoadFont("romancsfont.dat", 2.0f), 0);
  const float box = font.GetStringWidth("\x01", 1.0f);
  EXPECT_FLOAT_EQ(box, 32.0f);
  EXPECT_FLOAT_EQ(font.GetStringWidth("\xc3\xa9", 1.0f), 2 * box);  // two bytes of UTF-8
  EXPECT_FLOAT_EQ(font.GetStringWidth("\x7f", 1.0f), 14.0f * 2.0f);  // the font's own glyph 127
  SetCentredPixelProjection();
  const GLPixelBox ink = DrawAndMeasure(font, "\x80", 100.0f, 100.0f, 0, 1);
  ASSERT_FALSE(ink.empty);
  EXPECT_NEAR(ink.xMin, 100 + 6, 1.0);
  EXPECT_NEAR(ink.xMax, 100 + 26, 1.0);
  EXPECT_NEAR(ink.yMin, 100, 1.0);
  EXPECT_NEAR(ink.yMax, 100 + 42, 1.0);
  glLoadIdentity();
}

TEST_F(GLTest, EmptyFontDrawsNothing) {
  Sv_HersheyFont font;
  SetCentredPixelProjection();
  font.DrawString("HIH", 100.0f, 100.0f, 0.0f, 0, 1, 0);
  font.DrawString(2.0f, 2.0f, "HIH", 100.0f, 100.0f, 0.0f, 1, 0, 0);
  font.DrawString(nullptr, 100.0f, 100.0f, 0.0f, 0, 1, 0);
  EXPECT_EQ(CountInk(), 0);
  EXPECT_FLOAT_EQ(font.GetStringWidth("HIH", 1.0f), 0.0f);
  EXPECT_FLOAT_EQ(font.GetHeight(1.0f), 0.0f);
  glLoadIdentity();
}

TEST(HersheyFontFile, LoadsFromWruHomeThenSvhFontPath) {
  Sv_HersheySetBuiltIn(0);
  TempDir home, fontPath;
  ASSERT_TRUE(orvanta_test::WriteFileBytes(fontPath.file("two.jhf"), kTwoGlyphs));
  ScopedEnv unsetHome("WRUHOME", nullptr);
  ScopedEnv unsetPath("SVHFONTPATH", nullptr);
  Sv_HersheyFont font;
  EXPECT_EQ(font.LoadFont("two.jhf", 1.0f), -1);
  {
    ScopedEnv path("SVHFONTPATH", fontPath.path().c_str());
    ASSERT_EQ(font.LoadFont("two.jhf", 1.0f), 0);
    EXPECT_EQ(font.GetNumGlyphs(), 3);
    EXPECT_FLOAT_EQ(font.GetStringWidth(" ", 1.0f), 16.0f);
    EXPECT_FLOAT_EQ(font.GetStringWidth("!", 1.0f), 20.0f);
    EXPECT_FLOAT_EQ(font.GetStringWidth("A", 1.0f), 16.0f);  // no glyph: the box
    // The square spans y -5..5 downwards from the baseline at 9.
    EXPECT_FLOAT_EQ(font.GetMinY(), 4.0f);
    EXPECT_FLOAT_EQ(font.GetMaxY(), 14.0f);

    // WRUHOME without the file: SVHFONTPATH still serves.
    ScopedEnv emptyHome("WRUHOME", home.path().c_str());
    Sv_HersheyFont second;
    EXPECT_EQ(second.LoadFont("two.jhf", 1.0f), 0);

    // WRUHOME/fonts comes first.
    ASSERT_EQ(mkdir(home.file("fonts").c_str(), 0700), 0);
    ASSERT_TRUE(WriteFileBytes(home.file("fonts/two.jhf"), "    1  1NV\n"));
    Sv_HersheyFont third;
    ASSERT_EQ(third.LoadFont("two.jhf", 1.0f), 0);
    EXPECT_EQ(third.GetNumGlyphs(), 2);
    EXPECT_FLOAT_EQ(third.GetStringWidth(" ", 1.0f), 8.0f);
  }
  // A full path is used as given.
  Sv_HersheyFont direct;
  EXPECT_EQ(direct.LoadFont(fontPath.file("two.jhf").c_str(), 0.5f), 0);
  EXPECT_FLOAT_EQ(direct.GetStringWidth("!", 1.0f), 10.0f);
  EXPECT_EQ(direct.LoadFont(fontPath.file("missing.jhf").c_str(), 0.5f), -1);
  EXPECT_EQ(direct.LoadFont(nullptr, 1.0f), -1);
}

TEST(HersheyFontFile, ReadsWrappedRecordsAndCrLfLines) {
  Sv_HersheySetBuiltIn(0);
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.file("wrapped.jhf"), "    1  1JZ\r\n\r\n    2  6H\\MMWM\r\nWWMWMM\r\n"));
  Sv_HersheyFont font;
  ASSERT_EQ(font.LoadFont(dir.file("wrapped.jhf").c_str(), 1.0f), 0);
  EXPECT_EQ(font.GetNumGlyphs(), 3);
  EXPECT_FLOAT_EQ(font.GetStringWidth("!", 1.0f), 20.0f);
  EXPECT_FLOAT_EQ(font.GetMinY(), 4.0f);
  EXPECT_FLOAT_EQ(font.GetMaxY(), 14.0f);
}

TEST(HersheyFontFile, RefusesMalformedFilesAndKeepsItsGlyphs) {
  Sv_HersheySetBuiltIn(0);
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.file("good.jhf"), kTwoGlyphs));
  const struct {
    const char* name;
    std::string text;
  } bad[] = {
      {"empty", ""},
      {"blank lines only", "\n\n   \n"},
      {"short header", "    1  1\n"},
      {"count not a number", "    1  XJZ\n"},
      {"count zero", "    1  0JZ\n"},
      {"glyph number not a number", "abcde  1JZ\n"},
      {"record ends early", "    1  5JZMMWW\n"},
      {"huge count at the end", "    1999JZMM\n"},
      {"control character", "    1  2JZM\x01\n"},
      {"high byte", "    1  2JZM\xe9\n"},
      {"data after the record", "    1  1JZMM\n"},
      {"binary junk", std::string("\x00\xff\x10garbage\x00\x01\x02", 14)},
  };
  for (const auto& b : bad) {
    Sv_HersheyFont font;
    ASSERT_EQ(font.LoadFont(dir.file("good.jhf").c_str(), 1.0f), 0);
    const std::string path = dir.file("bad.jhf");
    ASSERT_TRUE(WriteFileBytes(path, b.text));
    MessageCapture messages(-3);
    EXPECT_EQ(font.LoadFont(path.c_str(), 1.0f), -1) << b.name;
    EXPECT_EQ(font.GetNumGlyphs(), 3) << b.name << ": the old glyphs stay";
    EXPECT_FLOAT_EQ(font.GetStringWidth("!", 1.0f), 20.0f) << b.name;
    if (!b.text.empty()) {
      EXPECT_TRUE(messages.Contains("Bad font file")) << b.name << ": " << messages.All();
    }
  }
}

TEST(HersheyFontFile, BuiltInSwitchAndScaleChecks) {
  Sv_HersheyFont font;
  Sv_HersheySetBuiltIn(0);
  EXPECT_EQ(font.LoadFont("no-such-font.dat", 1.0f), -1);
  EXPECT_EQ(font.GetNumGlyphs(), 0);
  Sv_HersheySetBuiltIn(1);
  EXPECT_EQ(font.LoadFont("no-such-font.dat", 1.0f), 0);
  EXPECT_EQ(font.GetNumGlyphs(), 97);
  EXPECT_EQ(font.LoadFont(nullptr, std::numeric_limits<float>::infinity()), -1);
  EXPECT_EQ(font.LoadFont(nullptr, std::numeric_limits<float>::quiet_NaN()), -1);
  EXPECT_EQ(font.GetNumGlyphs(), 97);
  Sv_HersheySetBuiltIn(0);
}
