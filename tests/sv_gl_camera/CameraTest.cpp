// The camera model: off-axis mono and stereo frusta through the window
// rectangle, tiles, clip planes, the automatic stereo scale and the view
// record.

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "GLTestFixture.h"
#include "Sv_Perspective.h"
#include "TestSupport.h"

// GL tests of this folder, named apart from other folders' GL tests.
class CameraGL : public orvanta_test::GLTest {};

namespace {

const double kPpcm = 37.64706;

// (x, y, z, 1) through a column-major matrix, divided by w.
void Ndc(const double m[16], double x, double y, double z, double out[3]) {
  double c[4];
  for (int r = 0; r < 4; ++r) c[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
  for (int r = 0; r < 3; ++r) out[r] = c[r] / c[3];
}

// Centre of projection: the point whose clip x, y and w are all 0.
void EyeOf(const double m[16], double eye[3]) {
  const int rows[3] = {0, 1, 3};
  double a[3][3], b[3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) a[i][j] = m[j * 4 + rows[i]];
    b[i] = -m[12 + rows[i]];
  }
  auto det = [](double q[3][3]) {
    return q[0][0] * (q[1][1] * q[2][2] - q[1][2] * q[2][1]) - q[0][1] * (q[1][0] * q[2][2] - q[1][2] * q[2][0]) +
           q[0][2] * (q[1][0] * q[2][1] - q[1][1] * q[2][0]);
  };
  const double d = det(a);
  for (int k = 0; k < 3; ++k) {
    double t[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) t[i][j] = j == k ? b[i] : a[i][j];
    eye[k] = det(t) / d;
  }
}

void ReadProjection(double m[16]) { glGetDoublev(GL_PROJECTION_MATRIX, m); }

GLint MatrixMode() {
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  return mode;
}

// Expects the window rectangle of width w (centred, display units) to fill
// NDC -1..1 in x and y.
void ExpectWindowFills(const double m[16], double w, double h, double tol = 1e-5) {
  double p[3];
  Ndc(m, -w / 2, -h / 2, 0.0, p);
  EXPECT_NEAR(p[0], -1.0, tol);
  EXPECT_NEAR(p[1], -1.0, tol);
  Ndc(m, w / 2, h / 2, 0.0, p);
  EXPECT_NEAR(p[0], 1.0, tol);
  EXPECT_NEAR(p[1], 1.0, tol);
}

std::string RecordBytes(const Sv_Perspective& cam, const std::string& path) {
  FILE* f = fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  EXPECT_EQ(cam.Write(f), 0);
  fclose(f);
  return orvanta_test::ReadFileBytes(path);
}

int ReadRecord(Sv_Perspective& cam, const std::string& path, int byteOrder = 1) {
  FILE* f = fopen(path.c_str(), "rb");
  EXPECT_NE(f, nullptr);
  int r = cam.Read(f, byteOrder);
  fclose(f);
  return r;
}

}  // namespace

TEST_F(CameraGL, MonoFrustumFromGLMatchesTheModel) {
  const float eyes[2][3] = {{0, 0, 50}, {10, -4, 60}};
  for (const auto& e : eyes) {
    Sv_Perspective cam(e[0], e[1], e[2], 6.4f, 0.25f);
    ASSERT_EQ(cam.SetClipPlanes(0.01f, 250000.0f), 0);
    cam.UpdateViewport();
    glTranslatef(1, 2, 3);
    cam.SetMonoProjection();
    EXPECT_EQ(MatrixMode(), GL_MODELVIEW);
    double m[16], p[3], eye[3];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[12], 1.0) << "the model-view matrix is the caller's";
    glLoadIdentity();
    ReadProjection(m);
    // The window rectangle fills the view from wherever the eye is.
    ExpectWindowFills(m, kWidth, kHeight);
    EyeOf(m, eye);
    const double d = e[2] * kPpcm;
    EXPECT_NEAR(eye[0], e[0] * kPpcm, 1e-2);
    EXPECT_NEAR(eye[1], e[1] * kPpcm, 1e-2);
    EXPECT_NEAR(eye[2], d, 1e-2);
    // Near plane at 0.01 D from the eye, far plane 250000 cm from it.
    Ndc(m, eye[0], eye[1], d - 0.01 * d, p);
    EXPECT_NEAR(p[2], -1.0, 1e-4);
    double f[6];
    cam.GetFrustum(SV_VIEW_MONO, f);
    EXPECT_NEAR(f[5], 250000.0 * kPpcm, 1e-3);
  }
}

TEST_F(CameraGL, StereoEyesAreOffsetBySeparationAndMeetAtTheWindow) {
  for (int full = 0; full <= 1; ++full) {
    Sv_Perspective cam(0, 0, 50.0f, 6.4f, 0.25f);
    cam.SetFullFrustum(full);
    cam.UpdateViewport();
    const double eyeWidth = full ? kWidth : kWidth / 2;
    double left[16], right[16], el[3], er[3];
    cam.SetLeftEyeProjection();
    EXPECT_EQ(MatrixMode(), GL_MODELVIEW);
    ReadProjection(left);
    cam.SetRightEyeProjection();
    ReadProjection(right);
    EyeOf(left, el);
    EyeOf(right, er);
    EXPECT_NEAR(er[0] - el[0], 6.4 * kPpcm, 1e-2);
    EXPECT_NEAR(er[1] - el[1], 0.0, 1e-4);
    EXPECT_NEAR(er[2] - el[2], 0.0, 1e-2);
    EXPECT_NEAR(0.5 * (er[0] + el[0]), 0.0, 1e-2);
    // Zero parallax in the window plane: both eyes frame the same rectangle
    // and see any point of it at the same place.
    ExpectWindowFills(left, eyeWidth, kHeight);
    ExpectWindowFills(right, eyeWidth, kHeight);
    double pl[3], pr[3];
    Ndc(left, 17.0, -9.0, 0.0, pl);
    Ndc(right, 17.0, -9.0, 0.0, pr);
    EXPECT_NEAR(pl[0], pr[0], 1e-6);
    EXPECT_NEAR(pl[1], pr[1], 1e-6);
    // Far behind the window the disparity approaches the separation.
    Ndc(left, 0, 0, -1e9, pl);
    Ndc(right, 0, 0, -1e9, pr);
    EXPECT_NEAR((pr[0] - pl[0]) * eyeWidth / 2, 6.4 * kPpcm, 1e-2);
  }
}

TEST_F(CameraGL, TilesPartitionTheMonoView) {
  Sv_Perspective cam(3.0f, 2.0f, 50.0f, 6.4f, 0.25f);
  cam.UpdateViewport();
  for (int ortho = 0; ortho <= 1; ++ortho) {
    cam.SetOrtho(ortho);
    double mono[16];
    cam.GetProjectionMatrix(SV_VIEW_MONO, mono);
    for (int n = 1; n <= 3; ++n) {
      for (int row = 0; row < n; ++row) {
        for (int col = 0; col < n; ++col) {
          glMatrixMode(GL_PROJECTION);
          ASSERT_EQ(cam.SetTileFrustum(n, col, row), 0);
          EXPECT_EQ(MatrixMode(), GL_MODELVIEW);
          double tile[16];
          ReadProjection(tile);
          // The tile's NDC is the mono NDC stretched about the tile.
          const double pts[3][3] = {{-40, 30, -100}, {100, -120, 0}, {5, 5, -3000}};
          for (const auto& q : pts) {
            double a[3], b[3];
            Ndc(mono, q[0], q[1], q[2], a);
            Ndc(tile, q[0], q[1], q[2], b);
            EXPECT_NEAR(b[0], n * (a[0] + 1.0) - 2 * col - 1, 1e-4);
            EXPECT_NEAR(b[1], n * (a[1] + 1.0) - 2 * row - 1, 1e-4);
            EXPECT_NEAR(b[2], a[2], 1e-5);
          }
        }
      }
    }
  }
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  for (int bad : {0, -1}) EXPECT_EQ(cam.SetTileFrustum(bad, 0, 0), -1);
  EXPECT_EQ(cam.SetTileFrustum(2, 2, 0), -1);
  EXPECT_EQ(cam.SetTileFrustum(2, 0, -1), -1);
  double m[16];
  ReadProjection(m);
  EXPECT_EQ(m[0], 1.0) << "a refused tile leaves GL alone";
  EXPECT_EQ(MatrixMode(), GL_PROJECTION);
  glMatrixMode(GL_MODELVIEW);
}

TEST_F(CameraGL, OrthographicViewIsOnePixelPerUnitAtEveryDepth) {
  Sv_Perspective cam(5.0f, 0, 50.0f, 6.4f, 0.25f);
  cam.UpdateViewport();
  cam.SetOrtho(1);
  cam.SetMonoProjection();
  double m[16];
  ReadProjection(m);
  ExpectWindowFills(m, kWidth, kHeight);
  double a[3], b[3];
  Ndc(m, 64, 0, -3000, a);
  EXPECT_NEAR(a[0], 0.5, 1e-6);
  double l[16], r[16];
  cam.GetProjectionMatrix(SV_VIEW_LEFT, l);
  cam.GetProjectionMatrix(SV_VIEW_RIGHT, r);
  Ndc(l, 30, 0, -3000, a);
  Ndc(r, 30, 0, -3000, b);
  EXPECT_NEAR(a[0], b[0], 1e-9) << "no disparity without perspective";
}

TEST(CameraClipPlanes, InvalidValuesAreRefused) {
  orvanta_test::MessageCapture capture;
  Sv_Perspective cam(0, 0, 50.0f, 6.4f, 0.25f);
  ASSERT_EQ(cam.SetClipPlanes(0.5f, 1000.0f), 0);
  EXPECT_EQ(cam.SetClipPlanes(0.0f, 1000.0f), -1);
  EXPECT_EQ(cam.SetClipPlanes(NAN, 1000.0f), -1);
  EXPECT_EQ(cam.SetClipPlanes(0.5f, INFINITY), -1);
  EXPECT_EQ(cam.SetClipPlanes(0.5f, 20.0f), -1) << "far plane in front of the near plane";
  EXPECT_EQ(cam.SetStereoClipPlanes(-1.0f, 1000.0f), -1);
  float clip[2];
  cam.GetClipPlanes(clip);
  EXPECT_EQ(clip[0], 0.5f);
  EXPECT_EQ(clip[1], 1000.0f);
  EXPECT_EQ(cam.GetBaseScale(), 50.0f);
  EXPECT_EQ(cam.SetBaseScale(0.0f), -1);
  EXPECT_EQ(cam.SetBaseScale(80.0f), 0);
  EXPECT_EQ(cam.GetBaseScale(), 80.0f);
  EXPECT_TRUE(capture.Contains("Invalid clip planes"));
}

TEST_F(CameraGL, CyclopeanScalePutsTheCentreAtTheBaseDistance) {
  Sv_Perspective cam(0, 0, 50.0f, 6.4f, 0.25f);
  ASSERT_EQ(cam.SetStereoClipPlanes(0.1f, 1e9f), 0);
  cam.UpdateViewport();
  EXPECT_EQ(cam.UpdateCyclopeanScale(), -1) << "off";
  cam.EnableCyclopeanScale();
  EXPECT_EQ(cam.IsCyclopeanScale(), 1);
  ASSERT_EQ(cam.SetBaseScale(100.0f), 0);

  const double d = 50.0 * kPpcm;
  const double depthBehind = 5000.0;
  glViewport(0, 0, kWidth / 2, kHeight);  // the left half, as in split screen
  cam.SetLeftEyeProjection();
  EXPECT_EQ(cam.UpdateCyclopeanScale(), -1) << "nothing drawn: background";
  glLoadIdentity();
  glBegin(GL_QUADS);  // a wall filling the view 5000 units behind the window
  glVertex3d(-1e5, -1e5, -depthBehind);
  glVertex3d(1e5, -1e5, -depthBehind);
  glVertex3d(1e5, 1e5, -depthBehind);
  glVertex3d(-1e5, 1e5, -depthBehind);
  glEnd();
  glViewport(kWidth / 2, 0, kWidth / 2, kHeight);  // the right half is selected next
  ASSERT_EQ(cam.UpdateCyclopeanScale(), 0);
  EXPECT_EQ(cam.GetStereoScale(), 1.0f) << "the running frame keeps its scale";
  const double k = cam.GetPendingStereoScale();
  EXPECT_NEAR(k, 100.0 * kPpcm / (d + depthBehind), 1e-3 * k);

  cam.SetLeftEyeProjection();
  EXPECT_FLOAT_EQ(cam.GetStereoScale(), float(k));
  double l[16], r[16];
  ReadProjection(l);
  cam.SetRightEyeProjection();
  ReadProjection(r);
  // The wall now lies 100 cm from the eyes: on the window its two pictures
  // are half the separation apart; the cyclopean picture is unchanged.
  double a[3], b[3], mono[3], monoM[16];
  Ndc(l, 0, 0, -depthBehind, a);
  Ndc(r, 0, 0, -depthBehind, b);
  EXPECT_NEAR((b[0] - a[0]) * (kWidth / 2) / 2, 3.2 * kPpcm, 0.05);
  cam.GetProjectionMatrix(SV_VIEW_MONO, monoM);
  Ndc(l, 200, 100, -depthBehind, a);
  Ndc(r, 200, 100, -depthBehind, b);
  Ndc(monoM, 200, 100, -depthBehind, mono);
  EXPECT_NEAR(0.5 * (a[1] + b[1]), mono[1], 1e-4);

  cam.DisableCyclopeanScale();
  EXPECT_EQ(cam.GetStereoScale(), 1.0f);
  glViewport(0, 0, kWidth, kHeight);
}

TEST(CameraViewRecord, RoundTripsEveryField) {
  orvanta_test::TempDir dir;
  Sv_Perspective a(1.5f, -2.0f, 55.0f, 7.0f, 0.3f);
  a.SetClipPlanes(0.02f, 90000.0f);
  a.SetStereoClipPlanes(0.2f, 5e8f);
  a.SetBaseScale(70.0f);
  a.SetOrtho(1);
  a.SetFullFrustum(1);
  a.EnableCyclopeanScale();
  const std::string bytes = RecordBytes(a, dir.file("a.view"));
  ASSERT_EQ(bytes.size(), 60u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x01\0\0\0\x34\0\0\0", 8));

  Sv_Perspective b(0, 0, 50.0f, 6.4f, 0.25f);
  ASSERT_EQ(ReadRecord(b, dir.file("a.view")), 0);
  EXPECT_EQ(RecordBytes(b, dir.file("b.view")), bytes);
  EXPECT_EQ(b.GetOrtho(), 1);
  EXPECT_EQ(b.GetFullFrustum(), 1);
  EXPECT_EQ(b.IsCyclopeanScale(), 1);
  EXPECT_EQ(b.GetBaseScale(), 70.0f);
  double ma[16], mb[16];
  for (int view : {SV_VIEW_MONO, SV_VIEW_LEFT, SV_VIEW_RIGHT}) {
    a.GetProjectionMatrix(view, ma);
    b.GetProjectionMatrix(view, mb);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ma[i], mb[i]);
  }

  // The same record in big-endian order.
  std::string swapped = bytes;
  for (size_t i = 0; i < swapped.size(); i += 4) {
    std::swap(swapped[i], swapped[i + 3]);
    std::swap(swapped[i + 1], swapped[i + 2]);
  }
  ASSERT_TRUE(orvanta_test::WriteFileBytes(dir.file("be.view"), swapped));
  Sv_Perspective c(0, 0, 50.0f, 6.4f, 0.25f);
  ASSERT_EQ(ReadRecord(c, dir.file("be.view"), 0), 0);
  EXPECT_EQ(RecordBytes(c, dir.file("c.view")), bytes);
}

TEST(CameraViewRecord, DamagedRecordsLeaveTheCameraUnchanged) {
  orvanta_test::TempDir dir;
  orvanta_test::MessageCapture capture;
  Sv_Perspective source(1.0f, 1.0f, 40.0f, 6.0f, 0.3f);
  const std::string good = RecordBytes(source, dir.file("good.view"));
  Sv_Perspective cam(0, 0, 50.0f, 6.4f, 0.25f);
  const std::string before = RecordBytes(cam, dir.file("before.view"));

  for (size_t len = 0; len < good.size(); ++len) {
    ASSERT_TRUE(orvanta_test::WriteFileBytes(dir.file("t.view"), good.substr(0, len)));
    EXPECT_EQ(ReadRecord(cam, dir.file("t.view")), -1) << "length " << len;
  }
  auto patched = [&](size_t offset, const void* value) {
    std::string s = good;
    s.replace(offset, 4, static_cast<const char*>(value), 4);
    return s;
  };
  const int version2 = 2, flag7 = 7;
  const float nanValue = NAN, negative = -50.0f, zero = 0.0f;
  const std::string bad[] = {patched(0, &version2), patched(16, &negative), patched(24, &nanValue),
                             patched(40, &zero), patched(52, &flag7)};
  for (const std::string& s : bad) {
    ASSERT_TRUE(orvanta_test::WriteFileBytes(dir.file("b.view"), s));
    EXPECT_EQ(ReadRecord(cam, dir.file("b.view")), -1);
  }
  EXPECT_EQ(cam.Read(nullptr), -1);
  EXPECT_EQ(RecordBytes(cam, dir.file("after.view")), before);
  EXPECT_TRUE(capture.Contains("truncated"));
}
