#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Sv_Matrix4.h"
#include "Sv_Quaternion.h"
#include "TestSupport.h"

namespace {

const double kPi = 3.14159265358979323846;

Sv_Matrix4 FromRows(const float rows[16]) {
  Sv_Matrix4 m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m.Set(r, c, rows[r * 4 + c]);
  return m;
}

void ExpectIdentity(const Sv_Matrix4& m, float tol) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(m.Get(r, c), r == c ? 1.0f : 0.0f, tol) << r << "," << c;
}

// Applies a row-major matrix to the column vector (x, y, z, 1).
void Apply(const Sv_Matrix4& m, const float p[3], float out[3]) {
  for (int r = 0; r < 3; ++r)
    out[r] = m.Get(r, 0) * p[0] + m.Get(r, 1) * p[1] + m.Get(r, 2) * p[2] + m.Get(r, 3);
}

const float kGeneral[16] = {2, 0, 1, 3,  1, 3, 0, -2, 0, 1, 4, 5, 0.5f, 0, 0, 1};

}  // namespace

TEST(Matrix4, DefaultIsZeroAndElementsAreRowMajor) {
  Sv_Matrix4 m;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.GetData()[i], 0.0f);
  m.Set(1, 2, 7.0f);
  EXPECT_EQ(m.GetMatrixPTR()[1 * 4 + 2], 7.0f);
  EXPECT_EQ(m.Get(1, 2), 7.0f);
  // Out-of-range indices neither read nor write outside the matrix.
  m.Set(4, 0, 1.0f);
  m.Set(0, -1, 1.0f);
  EXPECT_EQ(m.Get(4, 0), 0.0f);
  EXPECT_EQ(m.Get(-1, 3), 0.0f);

  Sv_Matrix4 copy(m);
  Sv_Matrix4 assigned;
  assigned.Assign(m);
  EXPECT_EQ(0, std::memcmp(copy.GetData(), m.GetData(), 64));
  EXPECT_EQ(0, std::memcmp(assigned.GetData(), m.GetData(), 64));
}

TEST(Matrix4, InverseTimesMatrixIsIdentity) {
  Sv_Matrix4 m = FromRows(kGeneral);
  Sv_Matrix4 inv = m;
  ASSERT_EQ(0, inv.Invert());
  ExpectIdentity(m * inv, 1e-5f);
  ExpectIdentity(inv * m, 1e-5f);

  // A rigid transform with a large map offset.
  Sv_Matrix4 rot;
  rot.SetRotation(37, 'z');
  Sv_Matrix4 tr;
  tr.SetTranslation(500000.0, 6000000.0, -20.0);
  Sv_Matrix4 rigid = tr * rot;
  Sv_Matrix4 rigidInv = rigid;
  ASSERT_EQ(0, rigidInv.Invert());
  float p[3] = {500100.0f, 6000050.0f, -10.0f};
  float q[3];
  float back[3];
  Apply(rigidInv, p, q);
  Apply(rigid, q, back);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], p[k], 1.0f);
}

TEST(Matrix4, SingularMatrixInvertsToZeros) {
  const float rows[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 3, 0, 1, 2};
  Sv_Matrix4 m = FromRows(rows);
  EXPECT_EQ(-1, m.Invert());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.GetData()[i], 0.0f);

  Sv_Matrix4 zero;
  EXPECT_EQ(-1, zero.Invert());
  Sv_Matrix4 flat;
  flat.SetScale(1.0, 1.0, 0.0);
  EXPECT_EQ(-1, flat.Invert());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(flat.GetData()[i], 0.0f);
}

TEST(Matrix4, ProductAndTranspose) {
  Sv_Matrix4 a = FromRows(kGeneral);
  Sv_Matrix4 b;
  b.SetTranslation(1.0, 2.0, 3.0);
  Sv_Matrix4 ab = a * b;
  // Column 3 of a * T(t) is a * (t, 1).
  EXPECT_FLOAT_EQ(ab.Get(0, 3), 2 * 1 + 0 * 2 + 1 * 3 + 3);
  EXPECT_FLOAT_EQ(ab.Get(1, 3), 1 * 1 + 3 * 2 + 0 * 3 - 2);
  EXPECT_FLOAT_EQ(ab.Get(3, 3), 0.5f * 1 + 1);
  EXPECT_FLOAT_EQ(ab.Get(0, 0), 2.0f);

  Sv_Matrix4 t = a;
  t.Transpose();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(t.Get(r, c), a.Get(c, r));
}

TEST(Matrix4, BuildersResetAndFillTheirElements) {
  Sv_Matrix4 m = FromRows(kGeneral);
  m.SetTranslation(4.0, 5.0, 6.0);
  const float* d = m.GetData();
  EXPECT_EQ(d[3], 4.0f);
  EXPECT_EQ(d[7], 5.0f);
  EXPECT_EQ(d[11], 6.0f);
  for (int i : {0, 5, 10, 15}) EXPECT_EQ(d[i], 1.0f);
  for (int i : {1, 2, 4, 6, 8, 9, 12, 13, 14}) EXPECT_EQ(d[i], 0.0f);

  m.SetScale(2.0, 3.0, 4.0);
  EXPECT_EQ(d[0], 2.0f);
  EXPECT_EQ(d[5], 3.0f);
  EXPECT_EQ(d[10], 4.0f);
  EXPECT_EQ(d[15], 1.0f);
  EXPECT_EQ(d[3], 0.0f);
}

TEST(Matrix4, SetRotationMatchesHandComputedRotations) {
  const double a = 30.0 * kPi / 180.0;
  const float c = static_cast<float>(std::cos(a));
  const float s = static_cast<float>(std::sin(a));
  const float rx[16] = {1, 0, 0, 0, 0, c, -s, 0, 0, s, c, 0, 0, 0, 0, 1};
  const float ry[16] = {c, 0, s, 0, 0, 1, 0, 0, -s, 0, c, 0, 0, 0, 0, 1};
  const float rz[16] = {c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  struct Case {
    char axis;
    const float* expected;
  } cases[] = {{'x', rx}, {'y', ry}, {'z', rz}, {'X', rx}, {'Z', rz}};
  for (const Case& k : cases) {
    Sv_Matrix4 m;
    m.SetRotation(30, k.axis);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.GetData()[i], k.expected[i], 1e-6f) << k.axis << i;
  }

  // Counter-clockwise quarter turns, as glRotatef turns: x takes y to z,
  // y takes z to x, z takes x to y.
  const float ex[3] = {1, 0, 0}, ey[3] = {0, 1, 0}, ez[3] = {0, 0, 1};
  float out[3];
  Sv_Matrix4 m;
  m.SetRotation(90, 'x');
  Apply(m, ey, out);
  EXPECT_NEAR(out[2], 1.0f, 1e-6f);
  m.SetRotation(90, 'y');
  Apply(m, ez, out);
  EXPECT_NEAR(out[0], 1.0f, 1e-6f);
  m.SetRotation(90, 'z');
  Apply(m, ex, out);
  EXPECT_NEAR(out[1], 1.0f, 1e-6f);

  // An unknown axis leaves the identity.
  m.SetRotation(45, 'q');
  ExpectIdentity(m, 0.0f);
}

TEST(Matrix4, ReadAfterWriteGivesTheSameMatrix) {
  orvanta_test::TempDir dir;
  std::string path = dir.file("m.bin");
  Sv_Matrix4 m = FromRows(kGeneral);
  m.Set(2, 1, -1.0e-7f);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(0, m.Write(f));
  std::fclose(f);

  std::string bytes = orvanta_test::ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 64u);
  float first;
  std::memcpy(&first, bytes.data(), 4);  // little-endian host, order 1
  EXPECT_EQ(first, 2.0f);

  Sv_Matrix4 back;
  f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(0, back.Read(f));
  std::fclose(f);
  EXPECT_EQ(0, std::memcmp(back.GetData(), m.GetData(), 64));

  // The same matrix stored big-endian reads back with order 0.
  std::string swapped = bytes;
  for (size_t i = 0; i < 64; i += 4) std::reverse(swapped.begin() + i, swapped.begin() + i + 4);
  ASSERT_TRUE(orvanta_test::WriteFileBytes(path, swapped));
  Sv_Matrix4 big;
  f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(0, big.Read(f, 0));
  std::fclose(f);
  EXPECT_EQ(0, std::memcmp(big.GetData(), m.GetData(), 64));
}

TEST(Matrix4, TruncatedOrMissingFileLeavesMatrixUnchanged) {
  orvanta_test::TempDir dir;
  std::string path = dir.file("short.bin");
  ASSERT_TRUE(orvanta_test::WriteFileBytes(path, std::string(60, '\x01')));
  Sv_Matrix4 m;
  m.SetTranslation(1.0, 2.0, 3.0);
  Sv_Matrix4 before = m;
  FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(-1, m.Read(f));
  std::fclose(f);
  EXPECT_EQ(0, std::memcmp(before.GetData(), m.GetData(), 64));
  EXPECT_EQ(-1, m.Read(nullptr));
  EXPECT_EQ(-1, m.Write(nullptr));
}

TEST(MatrixHelpers, ColumnMajorProductInverseAndTransform) {
  // T(1, 2, 3) in column-major order: translation in elements 12, 13, 14.
  float t[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
  float s[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
  float ts[16];
  MultMatrix4(ts, t, s);  // scale first, then translate
  float p[3];
  TransformPoint4(p, ts, 1.0f, 1.0f, 1.0f);
  EXPECT_FLOAT_EQ(p[0], 3.0f);
  EXPECT_FLOAT_EQ(p[1], 4.0f);
  EXPECT_FLOAT_EQ(p[2], 5.0f);
  float st[16];
  MultMatrix4(st, s, t);  // translate first, then scale
  TransformPoint4(p, st, 1.0f, 1.0f, 1.0f);
  EXPECT_FLOAT_EQ(p[0], 4.0f);
  EXPECT_FLOAT_EQ(p[2], 8.0f);

  // Output may alias an input.
  float alias[16];
  std::memcpy(alias, t, sizeof(t));
  MultMatrix4(alias, alias, s);
  EXPECT_EQ(0, std::memcmp(alias, ts, sizeof(ts)));

  float inv[16];
  ASSERT_EQ(0, InvertMatrix4(inv, kGeneral));
  float prod[16];
  MultMatrix4(prod, kGeneral, inv);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(prod[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-5f);

  float singular[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 3, 0, 1, 2};
  EXPECT_EQ(-1, InvertMatrix4(inv, singular));
  for (float v : inv) EXPECT_EQ(v, 0.0f);
}

TEST(MatrixHelpers, TransformPointDividesByW) {
  // A projective matrix: w = z.
  float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0};
  float p[3];
  TransformPoint4(p, m, 2.0f, 4.0f, 2.0f);
  EXPECT_FLOAT_EQ(p[0], 1.0f);
  EXPECT_FLOAT_EQ(p[1], 2.0f);
  EXPECT_FLOAT_EQ(p[2], 1.0f);
  // w = 0: no division (no infinities).
  TransformPoint4(p, m, 2.0f, 4.0f, 0.0f);
  EXPECT_FLOAT_EQ(p[0], 2.0f);
  EXPECT_FLOAT_EQ(p[1], 4.0f);
}

TEST(Quaternion, FromGLMatrixOfKnownRotations) {
  // A row-major rotation transposed is the column-major array GL holds.
  struct Case {
    int degrees;
    char axis;
    double ax, ay, az;
  } cases[] = {{90, 'z', 0, 0, 1}, {-60, 'x', 1, 0, 0}, {170, 'y', 0, 1, 0}, {0, 'z', 0, 0, 1}};
  for (const Case& k : cases) {
    Sv_Matrix4 m;
    m.SetRotation(k.degrees, k.axis);
    m.Transpose();
    Sv_Quaternion q;
    q.FromMatrix(m);
    double half = k.degrees * kPi / 360.0;
    EXPECT_NEAR(q.GetW(), std::cos(half), 1e-6) << k.axis << k.degrees;
    EXPECT_NEAR(q.GetX(), k.ax * std::sin(half), 1e-6);
    EXPECT_NEAR(q.GetY(), k.ay * std::sin(half), 1e-6);
    EXPECT_NEAR(q.GetZ(), k.az * std::sin(half), 1e-6);
  }
}

TEST(Quaternion, HalfTurnScaleAndRoundTrip) {
  // 180 degrees about z: w = 0, the x/y/z branch of the conversion.
  Sv_Matrix4 m;
  m.SetRotation(180, 'z');
  m.Transpose();
  Sv_Quaternion q;
  q.FromMatrix(m);
  EXPECT_NEAR(std::fabs(q.GetZ()), 1.0, 1e-6);
  EXPECT_NEAR(q.GetW(), 0.0, 1e-6);

  // A composed rotation with a uniform zoom and a translation: the rotation
  // part comes back through ToMatrix.
  Sv_Matrix4 rz, rx, sc, tr;
  rz.SetRotation(-35, 'z');
  rx.SetRotation(60, 'x');
  sc.SetScale(3.0, 3.0, 3.0);
  tr.SetTranslation(10.0, 20.0, 30.0);
  Sv_Matrix4 rot = rz * rx;
  Sv_Matrix4 full = tr * rot * sc;
  full.Transpose();
  q.FromMatrix(full);
  double norm = q.GetW() * q.GetW() + q.GetX() * q.GetX() + q.GetY() * q.GetY() + q.GetZ() * q.GetZ();
  EXPECT_NEAR(norm, 1.0, 1e-9);
  EXPECT_GE(q.GetW(), 0.0);
  Sv_Matrix4 back;
  q.ToMatrix(back);
  rot.Transpose();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(back.Get(r, c), rot.Get(r, c), 1e-5f);
  EXPECT_EQ(back.Get(3, 3), 1.0f);

  // No rotation part at all: the identity.
  Sv_Matrix4 zero;
  q.FromMatrix(zero);
  EXPECT_EQ(q.GetW(), 1.0);
  EXPECT_EQ(q.GetX(), 0.0);
}
