#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "GLTestFixture.h"
#include "Sv_2DData.h"
#include "Sv_TextureUpload.h"
#include "Sv_TexturedSurface.h"
#include "TestSupport.h"

using orvanta_test::GLTest;

namespace {

struct Rgb {
  int r, g, b;
};

// The test picture: four quadrants (red bottom left, green bottom right,
// blue top left, grey top right) and 8-pixel bands that mark its left
// (orange), right (magenta) and top (cyan) edges. Row 0 is the bottom row.
Rgb PictureColour(int x, int y, int width, int height) {
  if (x >= width - 8) return {255, 0, 255};
  if (x < 8) return {255, 128, 0};
  if (y >= height - 8) return {0, 255, 255};
  const bool right = x >= width / 2, top = y >= height / 2;
  if (!top) return right ? Rgb{0, 255, 0} : Rgb{255, 0, 0};
  return right ? Rgb{128, 128, 128} : Rgb{0, 0, 255};
}

void MakePicture(Sv_2DData* image, int width, int height) {
  ASSERT_EQ(image->Allocate(width, height, SV_2D_RGBA), 0);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = image->GetRow(y);
    for (int x = 0; x < width; ++x) {
      const Rgb c = PictureColour(x, y, width, height);
      row[4 * x] = static_cast<unsigned char>(c.r);
      row[4 * x + 1] = static_cast<unsigned char>(c.g);
      row[4 * x + 2] = static_cast<unsigned char>(c.b);
      row[4 * x + 3] = 255;
    }
  }
}

bool Near(const orvanta_test::GLPixel& p, const Rgb& c, int tolerance) {
  return std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance && std::abs(p.b - c.b) <= tolerance;
}

// The picture drawn over the whole framebuffer: every probed pixel shows
// the colour of the image point under it. Probes within margin image pixels
// of a colour boundary are skipped, since filtering blends there.
void ExpectPictureFillsFramebuffer(int width, int height, double margin) {
  GLTest::Finish();
  int probed = 0, bad = 0;
  for (int py = 1; py < GLTest::kHeight; py += 3) {
    for (int px = 1; px < GLTest::kWidth; px += 3) {
      const double ix = (px + 0.5) * width / GLTest::kWidth, iy = (py + 0.5) * height / GLTest::kHeight;
      const Rgb c = PictureColour(static_cast<int>(ix), static_cast<int>(iy), width, height);
      bool uniform = true;
      for (int k = 0; k < 4 && uniform; ++k) {
        const double x = ix + ((k & 1) ? margin : -margin), y = iy + ((k & 2) ? margin : -margin);
        const Rgb n = PictureColour(static_cast<int>(std::min(std::max(x, 0.0), width - 1.0)),
                                    static_cast<int>(std::min(std::max(y, 0.0), height - 1.0)), width, height);
        uniform = n.r == c.r && n.g == c.g && n.b == c.b;
      }
      if (!uniform) continue;
      ++probed;
      const orvanta_test::GLPixel p = GLTest::ReadPixel(px, py);
      if (!Near(p, c, 2) && ++bad <= 5) {
        ADD_FAILURE() << "pixel (" << px << ", " << py << ") is " << int(p.r) << "," << int(p.g) << "," << int(p.b)
                      << ", image point (" << ix << ", " << iy << ") is " << c.r << "," << c.g << "," << c.b;
      }
    }
  }
  EXPECT_GT(probed, 2500);
}

// Corners of the surface and the model-view that shows it face on, filling
// glOrtho(-0.5, 0.5, -0.5, 0.5): flat in x-y, upright in x-z, and upright
// along the x-y diagonal.
struct Orientation {
  const char* name;
  float a[3], b[3];
  std::function<void()> view;
};

const Orientation kOrientations[] = {
    {"flat", {-0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 0.0f}, [] {}},
    {"upright", {-0.5f, 0.0f, -0.5f}, {0.5f, 0.0f, 0.5f}, [] { glRotatef(-90.0f, 1.0f, 0.0f, 0.0f); }},
    {"diagonal",
     {-0.5f, -0.5f, -0.5f},
     {0.5f, 0.5f, 0.5f},
     [] {
       glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
       glScalef(static_cast<float>(M_SQRT1_2), 1.0f, 1.0f);
       glRotatef(-45.0f, 0.0f, 0.0f, 1.0f);
     }},
};

void SetUnitView(const Orientation& o) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-0.5, 0.5, -0.5, 0.5, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  o.view();
}

int CountTextures() {
  int n = 0;
  for (GLuint name = 1; name < 2000; ++name) n += glIsTexture(name) ? 1 : 0;
  return n;
}

GLint BoundTextureWidth() {
  GLint width = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  return width;
}

struct SideCap {
  explicit SideCap(int side) { Sv_SetTextureSideCap(side); }
  ~SideCap() { Sv_SetTextureSideCap(0); }
};

void ExpectVertex(const Sv_TexturedSurface& s, int row, int column, float x, float y, float z) {
  const float* v = s.GetVertex(row, column);
  EXPECT_NEAR(v[0], x, 1e-6f) << "vertex (" << row << ", " << column << ")";
  EXPECT_NEAR(v[1], y, 1e-6f) << "vertex (" << row << ", " << column << ")";
  EXPECT_NEAR(v[2], z, 1e-6f) << "vertex (" << row << ", " << column << ")";
}

// Without OpenGL: tiles, limits, vertex grid and low-resolution copy follow
// the image's size; formats that are no pictures are refused.
TEST(TexturedSurfaceLayout, TilesLimitsAndVertexGridFollowTheImage) {
  Sv_2DData large;
  MakePicture(&large, 1000, 600);
  Sv_TexturedSurface s;
  ASSERT_EQ(s.SetImage(&large), 0);
  ASSERT_EQ(s.GetNumTilesX(), 4);
  ASSERT_EQ(s.GetNumTilesY(), 3);
  const float sMax[4] = {1.0f, 1.0f, 1.0f, 0.90625f}, tMax[3] = {1.0f, 1.0f, 0.34375f};
  for (int c = 0; c < 4; ++c) EXPECT_EQ(s.GetSMax(c), sMax[c]) << "column " << c;
  for (int r = 0; r < 3; ++r) EXPECT_EQ(s.GetTMax(r), tMax[r]) << "row " << r;
  EXPECT_EQ(s.GetFirstSMax(), 1.0f);
  EXPECT_EQ(s.GetFirstTMax(), 1.0f);
  const float xs[5] = {-0.5f, -0.244f, 0.012f, 0.268f, 0.5f};
  const float ys[4] = {-0.5f, static_cast<float>(256.0 / 600 - 0.5), static_cast<float>(512.0 / 600 - 0.5), 0.5f};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 5; ++c) ExpectVertex(s, r, c, xs[c], ys[r], 0.0f);
  // Upright: columns along x, rows along z; along the diagonal, columns
  // along x and y together.
  const float uprightA[3] = {-0.5f, 0.0f, -0.5f}, uprightB[3] = {0.5f, 0.0f, 0.5f};
  s.SetCorners3D(uprightA, uprightB);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 5; ++c) ExpectVertex(s, r, c, xs[c], 0.0f, ys[r]);
  const float diagonalA[3] = {-0.5f, -0.5f, -0.5f}, diagonalB[3] = {0.5f, 0.5f, 0.5f};
  s.SetCorners3D(diagonalA, diagonalB);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 5; ++c) ExpectVertex(s, r, c, xs[c], xs[c], ys[r]);
  ExpectVertex(s, 4, 0, 0.0f, 0.0f, 0.0f);  // outside the grid
  EXPECT_EQ(s.GetSMax(4), 0.0f);

  // The low-resolution copy: 256 x 256 area means, the quadrants in place.
  const Sv_2DData* low = s.GetLowRes();
  ASSERT_NE(low, nullptr);
  EXPECT_EQ(low->GetWidth(), 256);
  EXPECT_EQ(low->GetHeight(), 256);
  EXPECT_EQ(low->GetFormat(), SV_2D_RGBA);
  const unsigned char* redPixel = low->GetRow(40) + 4 * 40;
  const unsigned char* greyPixel = low->GetRow(200) + 4 * 200;
  EXPECT_EQ(redPixel[0] * 65536 + redPixel[1] * 256 + redPixel[2], 255 * 65536);
  EXPECT_EQ(greyPixel[0] * 65536 + greyPixel[1] * 256 + greyPixel[2], 128 * 65793);

  Sv_2DData small;
  MakePicture(&small, 200, 100);
  ASSERT_EQ(s.SetImage(&small), 0);
  EXPECT_EQ(s.GetNumTilesX(), 1);
  EXPECT_EQ(s.GetNumTilesY(), 1);
  EXPECT_EQ(s.GetLowRes(), nullptr);
  EXPECT_EQ(s.GetFirstSMax(), 200.0f / 256);
  EXPECT_EQ(s.GetFirstTMax(), 100.0f / 256);
  ExpectVertex(s, 0, 0, -0.5f, -0.5f, -0.5f);
  ExpectVertex(s, 1, 1, 0.5f, 0.5f, 0.5f);

  orvanta_test::MessageCapture messages;
  Sv_2DData heights(64, 64, nullptr, SV_2D_TERRAIN16);
  EXPECT_EQ(s.SetImage(&heights), -1);
  EXPECT_TRUE(messages.Contains("format 8")) << messages.All();
  EXPECT_EQ(s.GetNumTilesX(), 0);
  EXPECT_EQ(s.GetNumTilesY(), 0);
  EXPECT_EQ(s.GetFirstSMax(), 0.0f);
}

// Tiles one by one, all tiles and the low-resolution copy, flat, upright
// and upright along a diagonal: each colour where it belongs.
TEST_F(GLTest, TiledPictureShowsEveryColourInPlace) {
  Sv_2DData image;
  MakePicture(&image, 1000, 600);
  Sv_TexturedSurface s;
  ASSERT_EQ(s.SetImage(&image), 0);
  for (const Orientation& o : kOrientations) {
    s.SetCorners3D(o.a, o.b);
    const std::pair<const char*, std::function<void()>> draws[] = {
        {"DrawTiles", [&] { s.DrawTiles(); }},
        {"DrawTile", [&] {
           for (int r = 0; r < s.GetNumTilesY(); ++r)
             for (int c = 0; c < s.GetNumTilesX(); ++c) s.DrawTile(r, c);
         }},
        {"Draw", [&] { s.Draw(); }},
    };
    for (const auto& d : draws) {
      SCOPED_TRACE(std::string(o.name) + " " + d.first);
      Clear();
      SetUnitView(o);
      d.second();
      // The low-resolution copy blurs over a few of its texels (4 x 2.3
      // image pixels each).
      ExpectPictureFillsFramebuffer(1000, 600, d.first == std::string("Draw") ? 12.0 : 4.0);
    }
  }
}

// Magnified: the partial last tile column and row end on the image's own
// edge pixels (no padding shows), and two tiles meet without a gap and
// without either borrowing from its other edge.
TEST_F(GLTest, PartialTilesAndSeamsShowOnlyImagePixels) {
  Sv_2DData image;
  MakePicture(&image, 1000, 600);
  Sv_TexturedSurface s;
  ASSERT_EQ(s.SetImage(&image), 0);
  // A window of 0.04 x 0.04 around a point of the surface (flat, unit
  // square): 40 x 24 image pixels on 256 x 256.
  auto drawAround = [&](double qx, double qy) {
    Clear();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(qx - 0.02, qx + 0.02, qy - 0.02, qy + 0.02, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    s.DrawTiles();
    Finish();
  };
  auto imagePoint = [](double q0, int p, int size) { return (q0 - 0.02 + 0.04 * (p + 0.5) / 256 + 0.5) * size; };

  // The top-right corner: inside the image the band colours up to the edge,
  // outside black.
  drawAround(0.5, 0.5);
  int bad = 0;
  for (int py = 0; py < kHeight; ++py) {
    for (int px = 0; px < kWidth; ++px) {
      const double ix = imagePoint(0.5, px, 1000), iy = imagePoint(0.5, py, 600);
      if (std::fabs(ix - 992) < 1.0 || std::fabs(iy - 592) < 1.0 || std::fabs(ix - 1000) < 0.2 ||
          std::fabs(iy - 600) < 0.2) {
        continue;  // blends between two colours, or the edge itself
      }
      const Rgb c = ix < 1000 && iy < 600 ? PictureColour(static_cast<int>(ix), static_cast<int>(iy), 1000, 600)
                                          : Rgb{0, 0, 0};
      const orvanta_test::GLPixel p = ReadPixel(px, py);
      if (!Near(p, c, 1) && ++bad <= 5) {
        ADD_FAILURE() << "corner pixel (" << px << ", " << py << ") is " << int(p.r) << "," << int(p.g) << ","
                      << int(p.b) << ", expected " << c.r << "," << c.g << "," << c.b;
      }
    }
  }
  // The meeting point of tile columns 0 and 1 and tile rows 0 and 1, inside
  // the red quadrant: red everywhere (a gap would show black, a wrapping
  // edge the orange of the image's left band).
  drawAround(256.0 / 1000 - 0.5, 256.0 / 600 - 0.5);
  EXPECT_EQ(CountInk(0), kWidth * kHeight);
  for (int py = 0; py < kHeight; py += 5)
    for (int px = 0; px < kWidth; px += 5)
      if (!Near(ReadPixel(px, py), {255, 0, 0}, 0) && ++bad <= 5) ADD_FAILURE() << "seam pixel " << px << ", " << py;
}

// Every 8-bit format shows its colour with its channels in their order.
TEST_F(GLTest, EightBitFormatsShowInTheirChannelOrder) {
  const struct {
    int format;
    unsigned char bytes[4];
    Rgb shown;
  } cases[] = {
      {SV_2D_RGB, {200, 100, 50, 0}, {200, 100, 50}},      {SV_2D_RGBA, {200, 100, 50, 255}, {200, 100, 50}},
      {SV_2D_BGR, {50, 100, 200, 0}, {200, 100, 50}},      {SV_2D_ABGR, {255, 50, 100, 200}, {200, 100, 50}},
      {SV_2D_GREY, {120, 0, 0, 0}, {120, 120, 120}},       {SV_2D_GREY_ALPHA, {120, 255, 0, 0}, {120, 120, 120}},
  };
  SetUnitView(kOrientations[0]);
  for (const auto& k : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << k.format);
    Sv_2DData image(300, 20, nullptr, k.format);
    const int channels = image.GetChannels();
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 300; ++x)
        for (int c = 0; c < channels; ++c) image.GetRow(y)[x * channels + c] = k.bytes[c];
    Sv_TexturedSurface s;
    ASSERT_EQ(s.SetImage(&image), 0);
    Clear();
    s.DrawTiles();
    EXPECT_TRUE(Near(ReadPixel(200, 128), k.shown, 1));
    Clear();
    s.Draw();
    EXPECT_TRUE(Near(ReadPixel(60, 30), k.shown, 1));
  }
}

// Texture names exist from the first bind (every tile at once; the
// low-resolution copy at its own first bind) until the surface releases
// them; a new image drops the old ones at the next upload.
TEST_F(GLTest, TextureNamesLiveFromFirstBindToRelease) {
  const int before = CountTextures();
  Sv_2DData first, second;
  MakePicture(&first, 1000, 600);
  MakePicture(&second, 200, 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) second.GetRow(y)[4 * x + 1] = 77;
  {
    Sv_TexturedSurface s;
    ASSERT_EQ(s.SetImage(&first), 0);
    s.SetCorners3D(kOrientations[2].a, kOrientations[2].b);
    EXPECT_EQ(CountTextures(), before);
    ASSERT_EQ(s.BindTile(2, 3), 0);
    EXPECT_EQ(CountTextures(), before + 12);
    EXPECT_EQ(BoundTextureWidth(), 256);
    ASSERT_EQ(s.BindLowRes(), 0);
    EXPECT_EQ(CountTextures(), before + 13);
    EXPECT_EQ(s.BindTile(3, 0), -1);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);

    ASSERT_EQ(s.SetImage(&second), 0);
    EXPECT_EQ(CountTextures(), before + 13);
    s.SetCorners3D(kOrientations[1].a, kOrientations[1].b);
    SetUnitView(kOrientations[1]);
    Clear();
    s.Draw();  // no low-resolution copy: the one tile
    EXPECT_EQ(CountTextures(), before + 1);
    EXPECT_TRUE(Near(ReadPixel(40, 40), {255, 77, 0}, 1));
    s.ReleaseTextures();
    EXPECT_EQ(CountTextures(), before);
    ASSERT_EQ(s.BindTile(0, 0), 0);
    EXPECT_EQ(CountTextures(), before + 1);
    s.Unbind();
  }
  EXPECT_EQ(CountTextures(), before);
}

// A context that takes only small textures gets smaller tiles and a
// smaller low-resolution copy, with the picture still in place.
TEST_F(GLTest, LoweredTextureLimitScalesTilesDown) {
  SideCap cap(64);
  Sv_2DData image;
  MakePicture(&image, 1000, 600);
  Sv_TexturedSurface s;
  ASSERT_EQ(s.SetImage(&image), 0);
  ASSERT_EQ(s.BindTile(2, 3), 0);
  EXPECT_EQ(BoundTextureWidth(), 64);
  ASSERT_EQ(s.BindLowRes(), 0);
  EXPECT_EQ(BoundTextureWidth(), 64);
  s.Unbind();
  SetUnitView(kOrientations[0]);
  s.DrawTiles();
  // One texel now holds 4 x 4 image pixels.
  ExpectPictureFillsFramebuffer(1000, 600, 10.0);
  Clear();
  s.Draw();
  ExpectPictureFillsFramebuffer(1000, 600, 40.0);
}

}  // namespace
