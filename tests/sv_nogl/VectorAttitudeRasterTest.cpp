#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Sv_2DData.h"
#include "Sv_Attitude.h"
#include "Sv_Types.h"
#include "Sv_Vector.h"
#include "TestSupport.h"

namespace {

void Apply(const Sv_Matrix4& m, const double p[3], double out[3]) {
  for (int r = 0; r < 3; ++r)
    out[r] = m.Get(r, 0) * p[0] + m.Get(r, 1) * p[1] + m.Get(r, 2) * p[2] + m.Get(r, 3);
}

}  // namespace

TEST(Vector, ComponentsAndBounds) {
  Sv_Vector v(1.0, 2.0, 3.0, 4.0);
  EXPECT_EQ(v.Get(0), 1.0);
  EXPECT_EQ(v.Get(3), 4.0);
  EXPECT_EQ(v.Get(MAX_VECTOR_SIZE), 0.0);
  v.Set(-1, 9.0);
  v.Set(4, 9.0);
  v.Set(2, -3.0);
  EXPECT_EQ(v.GetData()[2], -3.0);
  Sv_Vector zero;
  for (int i = 0; i < MAX_VECTOR_SIZE; ++i) EXPECT_EQ(zero.Get(i), 0.0);
}

TEST(Vector, ThreeFloatHelpers) {
  const float a[3] = {1, 2, 3};
  const float b[3] = {4, -5, 6};
  float out[3];
  VecAdd3f(out, a, b);
  EXPECT_EQ(out[1], -3.0f);
  VecSub3f(out, a, b);
  EXPECT_EQ(out[0], -3.0f);
  EXPECT_EQ(out[1], 7.0f);
  VecScale3f(out, a, 2.0f);
  EXPECT_EQ(out[2], 6.0f);
  VecCopy3f(out, b);
  EXPECT_EQ(out[1], -5.0f);
  EXPECT_EQ(VecDot3f(a, b), 4.0f - 10.0f + 18.0f);
  VecCross3f(out, a, b);
  EXPECT_EQ(out[0], 2 * 6 - 3 * -5);
  EXPECT_EQ(out[1], 3 * 4 - 1 * 6);
  EXPECT_EQ(out[2], 1 * -5 - 2 * 4);

  float v[3] = {3, 0, 4};
  EXPECT_FLOAT_EQ(VecNormalize3f(v), 5.0f);
  EXPECT_FLOAT_EQ(v[0], 0.6f);
  EXPECT_FLOAT_EQ(v[2], 0.8f);
  float z[3] = {0, 0, 0};
  EXPECT_EQ(VecNormalize3f(z), 0.0f);
  EXPECT_EQ(z[0], 0.0f);
  EXPECT_FALSE(std::isnan(z[1]));
}

TEST(Vector, PlaneFromPointsAndDistance) {
  const float p1[3] = {0, 0, 2}, p2[3] = {1, 0, 2}, p3[3] = {0, 1, 2};
  float plane[4];
  PlaneFromPoints3f(plane, p1, p2, p3);
  EXPECT_FLOAT_EQ(plane[2], 1.0f);  // counter-clockwise seen from +z: normal +z
  EXPECT_FLOAT_EQ(plane[3], -2.0f);
  const float above[3] = {5, -7, 5};
  EXPECT_FLOAT_EQ(PlaneDistance3f(plane, above), 3.0f);

  // Reversed order flips the normal; a tilted plane is at unit scale.
  const float q1[3] = {0, 0, 0}, q2[3] = {0, 2, 2}, q3[3] = {2, 0, 0};
  PlaneFromPoints3f(plane, q1, q2, q3);
  EXPECT_NEAR(std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]), 1.0, 1e-6);
  const float onPlane[3] = {1, 1, 1};
  EXPECT_NEAR(PlaneDistance3f(plane, onPlane), 0.0f, 1e-6f);

  const float c1[3] = {0, 0, 0}, c2[3] = {1, 1, 1}, c3[3] = {2, 2, 2};
  PlaneFromPoints3f(plane, c1, c2, c3);
  for (float v : plane) EXPECT_EQ(v, 0.0f);
}

TEST(Attitude, IdentityAtConstructionAndAngleConvention) {
  Sv_Attitude att;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(att.GetMatrix().Get(r, c), r == c ? 1.0f : 0.0f);

  Sv_Matrix4 out;
  const double forward[3] = {1, 0, 0};
  const double up[3] = {0, 0, 1};
  const double left[3] = {0, 1, 0};
  double p[3];

  // Heading (angle 3) 90: the nose turns from +x to +y.
  att.GetTransform(out, 0, 0, 90, 0, 0, 0, 1);
  Apply(out, forward, p);
  EXPECT_NEAR(p[1], 1.0, 1e-6);
  // Pitch (angle 2) 90 about y: the nose turns from +x to -z.
  att.GetTransform(out, 0, 90, 0, 0, 0, 0, 1);
  Apply(out, forward, p);
  EXPECT_NEAR(p[2], -1.0, 1e-6);
  // Roll (angle 1) 90 about x: the top turns from +z to -y.
  att.GetTransform(out, 90, 0, 0, 0, 0, 0, 1);
  Apply(out, up, p);
  EXPECT_NEAR(p[1], -1.0, 1e-6);

  // Roll acts in the vehicle frame and heading last: with roll 90 and
  // heading 90 the vehicle's left side (+y) points up and its nose along +y.
  att.GetTransform(out, 90, 0, 90, 0, 0, 0, 1);
  Apply(out, left, p);
  EXPECT_NEAR(p[2], 1.0, 1e-6);
  Apply(out, forward, p);
  EXPECT_NEAR(p[1], 1.0, 1e-6);
}

TEST(Attitude, ScaleAndPositionAndStoredResult) {
  Sv_Attitude att;
  Sv_Matrix4 out;
  att.GetTransform(out, 10, -20, 135, 5.0, -6.0, 7.0, 2.5);
  const float* d = out.GetData();
  EXPECT_FLOAT_EQ(d[3], 5.0f);
  EXPECT_FLOAT_EQ(d[7], -6.0f);
  EXPECT_FLOAT_EQ(d[11], 7.0f);
  EXPECT_EQ(d[12], 0.0f);
  EXPECT_EQ(d[15], 1.0f);
  // Every column of the 3x3 part has the length of the scale.
  for (int c = 0; c < 3; ++c) {
    double len = 0.0;
    for (int r = 0; r < 3; ++r) len += out.Get(r, c) * out.Get(r, c);
    EXPECT_NEAR(std::sqrt(len), 2.5, 1e-5);
  }
  EXPECT_EQ(0, std::memcmp(att.GetMatrix().GetData(), d, 64));
}

TEST(Raster, FormatsChannelsAndSizes) {
  const int channels[10] = {0, 3, 4, 3, 4, 1, 2, 1, 1, 1};
  const int bytes[10] = {0, 1, 1, 1, 1, 1, 1, 1, 2, 4};
  for (int f = 1; f <= 9; ++f) {
    Sv_2DData img;
    ASSERT_EQ(0, img.Allocate(5, 3, f)) << f;
    EXPECT_EQ(img.GetChannels(), channels[f]);
    EXPECT_EQ(img.GetBytesPerChannel(), bytes[f]);
    EXPECT_EQ(img.GetByteSize(), static_cast<size_t>(5 * 3 * channels[f] * bytes[f]));
    EXPECT_EQ(img.GetFormat(), f);
    const unsigned char* data = img.GetData();
    for (size_t i = 0; i < img.GetByteSize(); ++i) ASSERT_EQ(data[i], 0);
  }
  EXPECT_EQ(Sv_2DData::ChannelsOfFormat(0), 0);
  EXPECT_EQ(Sv_2DData::ChannelsOfFormat(10), 0);
}

TEST(Raster, RefusesBadOrAbsurdSizes) {
  orvanta_test::MessageCapture capture;
  Sv_2DData img;
  ASSERT_EQ(0, img.Allocate(2, 2, SV_2D_RGB));
  EXPECT_EQ(-1, img.Allocate(0, 10, SV_2D_RGB));
  EXPECT_EQ(img.GetData(), nullptr);
  EXPECT_EQ(img.GetWidth(), 0);
  EXPECT_EQ(-1, img.Allocate(10, -1, SV_2D_RGB));
  EXPECT_EQ(-1, img.Allocate(10, 10, 12));
  EXPECT_EQ(-1, img.Allocate(Sv_2DData::kMaxSide + 1, 1, SV_2D_GREY));
  // Each side allowed, but 2^20 x 2^20 x 4 bytes is far beyond the limit:
  // refused before any allocation, with no 32-bit wrap-around.
  EXPECT_EQ(-1, img.Allocate(Sv_2DData::kMaxSide, Sv_2DData::kMaxSide, SV_2D_RGBA));
  EXPECT_EQ(-1, img.Allocate(65536, 65536, SV_2D_TERRAIN32));
  EXPECT_EQ(img.GetByteSize(), 0u);
  EXPECT_GE(capture.messages().size(), 6u);
  EXPECT_EQ(capture.messages().front().first, SV_LEVEL_ERROR);

  Sv_2DData refused(0, 0, nullptr, SV_2D_RGBA);
  EXPECT_EQ(refused.GetData(), nullptr);
}

TEST(Raster, RowsCopyFlipAndGeoReference) {
  // 2 x 3 grey image, bottom row first.
  const unsigned char pixels[6] = {1, 2, 3, 4, 5, 6};
  Sv_2DData img(2, 3, pixels, SV_2D_GREY);
  ASSERT_NE(img.GetData(), nullptr);
  EXPECT_EQ(img.GetRow(0)[0], 1);
  EXPECT_EQ(img.GetRow(2)[1], 6);
  EXPECT_EQ(img.GetRow(3), nullptr);
  EXPECT_EQ(img.GetRow(-1), nullptr);
  img.FlipRows();
  EXPECT_EQ(img.GetRow(0)[0], 5);
  EXPECT_EQ(img.GetRow(1)[0], 3);
  EXPECT_EQ(img.GetRow(2)[1], 2);

  EXPECT_FALSE(img.HasGeoRef());
  float geo[6];
  img.GetGeoRefF(geo);
  for (float v : geo) EXPECT_EQ(v, 0.0f);
  img.SetGeoRef(1000.0, 2000.0, 500.0, 700.0, -10.0, 5.0);
  EXPECT_TRUE(img.HasGeoRef());
  img.GetGeoRefF(geo);
  const float expected[6] = {1000, 2000, 500, 700, -10, 5};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(geo[i], expected[i]);
  // The georeference outlives a change of pixels.
  img.FreeData();
  EXPECT_EQ(img.GetData(), nullptr);
  EXPECT_TRUE(img.HasGeoRef());
  img.ClearGeoRef();
  EXPECT_FALSE(img.HasGeoRef());
}

TEST(Raster, TerrainValuesWithScale) {
  const uint16_t values[4] = {0, 1, 1000, 65535};
  Sv_2DData grid(2, 2, values, SV_2D_TERRAIN16);
  EXPECT_EQ(grid.GetValue(1, 1), 65535.0);
  grid.SetValueScale(0.5, -100.0);
  EXPECT_EQ(grid.GetValue(0, 1), 400.0);
  EXPECT_EQ(grid.GetValue(1, 0), -99.5);
  EXPECT_EQ(grid.GetValue(2, 0), 0.0);

  const uint32_t big[1] = {4000000000u};
  Sv_2DData g32(1, 1, big, SV_2D_TERRAIN32);
  EXPECT_EQ(g32.GetValue(0, 0), 4000000000.0);

  const unsigned char rgb[3] = {9, 9, 9};
  Sv_2DData colour(1, 1, rgb, SV_2D_RGB);
  EXPECT_EQ(colour.GetValue(0, 0), 0.0);
}
