// Camera paths: frame stepping, the model-view matrix of each frame type,
// the flight-path file and refusal of damaged files.

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "GLTestFixture.h"
#include "Movie.h"
#include "Sv_Quaternion.h"
#include "TDR_Manager.h"
#include "TestSupport.h"

// GL tests of this folder, named apart from other folders' GL tests.
class MovieGL : public orvanta_test::GLTest {};

namespace {

// The rotation glRotated(degrees, x, y, z) makes, as a quaternion.
Sv_Quaternion Rotation(double degrees, double x, double y, double z) {
  const double len = std::sqrt(x * x + y * y + z * z);
  const double h = degrees * M_PI / 360.0;
  return Sv_Quaternion(std::cos(h), x / len * std::sin(h), y / len * std::sin(h), z / len * std::sin(h));
}

void ReadModelView(float m[16]) { glGetFloatv(GL_MODELVIEW_MATRIX, m); }

// Elements equal to within tol relative to the largest expected element
// (translations come from sums of terms of that size).
void ExpectMatrixNear(const float* a, const float* b, float tol) {
  float size = 1.0f;
  for (int i = 0; i < 16; ++i) size = std::fmax(size, std::fabs(b[i]));
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol * size) << "element " << i;
}

const float kPos[3] = {120.0f, -40.0f, 300.0f};
const float kMatrix[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 10, 20, -30, 1};

// Three frames, one of each type, in the order 2, 0, 1.
Movie MixedPath() {
  Movie m;
  m.SetType(MOVIE_FRAME_POSROTSCALE);
  m.AddFrame(kPos, Rotation(35, 1, 2, 3), 2.5);
  m.AddFrame(kPos, Rotation(-60, 0, 0, 1));
  m.AddFrame(kMatrix);
  return m;
}

void ExpectSamePath(const Movie& a, const Movie& b) {
  ASSERT_EQ(a.GetNumFrames(), b.GetNumFrames());
  EXPECT_EQ(a.GetType(), b.GetType());
  for (int i = 0; i < a.GetNumFrames(); ++i) {
    EXPECT_EQ(a.GetFrameType(i), b.GetFrameType(i));
    float ma[16], mb[16];
    ASSERT_EQ(a.GetFrameMatrix(i, ma), 0);
    ASSERT_EQ(b.GetFrameMatrix(i, mb), 0);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(ma[k], mb[k]) << "frame " << i << " element " << k;
  }
}

}  // namespace

TEST_F(MovieGL, MovieStepsThroughItsFrames) {
  Movie m;
  EXPECT_EQ(m.GetCurrentFrame(), -1);
  EXPECT_EQ(m.Rewind(), -1);
  EXPECT_EQ(m.NextFrame(), 1);
  EXPECT_EQ(m.GoToFrame(0), -1);
  EXPECT_EQ(m.ApplyFrame(), -1);

  for (int i = 0; i < 3; ++i) {
    const float p[3] = {float(i), 0, 0};
    EXPECT_EQ(m.AddFrame(p, Sv_Quaternion(), 1.0), i);
    EXPECT_EQ(m.GetCurrentFrame(), i) << "an appended frame becomes current";
  }
  EXPECT_EQ(m.Rewind(), 0);
  EXPECT_EQ(m.GetCurrentFrame(), 0);
  float mv[16], expect[16];
  ReadModelView(mv);
  EXPECT_EQ(mv[12], 0.0f) << "Rewind applies nothing";

  EXPECT_EQ(m.NextFrame(), 0);
  EXPECT_EQ(m.GetCurrentFrame(), 1);
  ReadModelView(mv);
  EXPECT_FLOAT_EQ(mv[12], -1.0f) << "NextFrame loads the frame";
  EXPECT_EQ(m.NextFrame(), 1) << "the last frame";
  EXPECT_EQ(m.GetCurrentFrame(), 2);
  glLoadIdentity();
  EXPECT_EQ(m.NextFrame(), 1);
  EXPECT_EQ(m.GetCurrentFrame(), 2) << "does not move past the end";
  ReadModelView(mv);
  EXPECT_EQ(mv[12], 0.0f) << "and applies nothing there";

  EXPECT_EQ(m.GoToFrame(3), -1);
  EXPECT_EQ(m.GoToFrame(-1), -1);
  EXPECT_EQ(m.GetCurrentFrame(), 2);
  EXPECT_EQ(m.GoToFrame(1), 1);
  ASSERT_EQ(m.ApplyFrame(), 0);
  ReadModelView(mv);
  ASSERT_EQ(m.GetFrameMatrix(1, expect), 0);
  ExpectMatrixNear(mv, expect, 0.0f);

  // Recording on from frame 1 keeps frames 0 and 1 and appends after them.
  m.DeleteAfterCurrent();
  EXPECT_EQ(m.GetNumFrames(), 2);
  const float p[3] = {9, 0, 0};
  EXPECT_EQ(m.AddFrame(p, Sv_Quaternion(), 1.0), 2);
  m.Clear();
  EXPECT_EQ(m.GetNumFrames(), 0);
  EXPECT_EQ(m.GetCurrentFrame(), -1);
  m.DeleteAfterCurrent();
  glLoadIdentity();

  // A one-frame path ends at once.
  m.AddFrame(p, Sv_Quaternion(), 1.0);
  m.Rewind();
  EXPECT_EQ(m.NextFrame(), 1);
  EXPECT_EQ(m.GetCurrentFrame(), 0);
}

TEST_F(MovieGL, ApplyFrameLoadsTheModelViewOfEachFrameType) {
  Movie m = MixedPath();
  float got[16], want[16];

  // Type 2: identity, translate (0, 0, -5000), scale, translate (0, 0, 5000),
  // rotation, translation by minus the position.
  m.GoToFrame(0);
  glTranslatef(5, 5, 5);  // replaced, not multiplied
  ASSERT_EQ(m.ApplyFrame(), 0);
  ReadModelView(got);
  glLoadIdentity();
  glTranslated(0, 0, -5000);
  glScaled(2.5, 2.5, 2.5);
  glTranslated(0, 0, 5000);
  glRotated(35, 1, 2, 3);
  glTranslated(-kPos[0], -kPos[1], -kPos[2]);
  ReadModelView(want);
  ExpectMatrixNear(got, want, 1e-5f);

  // Type 0: identity, rotation, translation by minus the position.
  m.GoToFrame(1);
  ASSERT_EQ(m.ApplyFrame(), 0);
  ReadModelView(got);
  glLoadIdentity();
  glRotated(-60, 0, 0, 1);
  glTranslated(-kPos[0], -kPos[1], -kPos[2]);
  ReadModelView(want);
  ExpectMatrixNear(got, want, 1e-5f);

  // Type 1: the matrix, into whichever matrix is current.
  m.GoToFrame(2);
  glMatrixMode(GL_PROJECTION);
  ASSERT_EQ(m.ApplyFrame(), 0);
  glGetFloatv(GL_PROJECTION_MATRIX, got);
  ExpectMatrixNear(got, kMatrix, 0.0f);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

TEST(MovieFile, PathsRoundTrip) {
  orvanta_test::TempDir dir;
  const Movie path = MixedPath();
  for (const char* name : {"p.fph", "p.mov"}) {
    ASSERT_EQ(path.Write(dir.file(name).c_str()), 0);
    Movie back;
    EXPECT_EQ(back.Read(dir.file(name).c_str()), 3);
    ExpectSamePath(path, back);
    EXPECT_EQ(back.GetCurrentFrame(), 0);
  }

  // An empty path is a valid file.
  Movie empty, readEmpty;
  ASSERT_EQ(empty.Write(dir.file("e.fph").c_str()), 0);
  EXPECT_EQ(readEmpty.Read(dir.file("e.fph").c_str()), 0);
  EXPECT_EQ(readEmpty.GetCurrentFrame(), -1);
}

TEST(MovieFile, FailedWriteKeepsTheOldFile) {
  orvanta_test::TempDir dir;
  const std::string name = dir.file("p.fph");
  ASSERT_EQ(MixedPath().Write(name.c_str()), 0);
  const std::string old = orvanta_test::ReadFileBytes(name);

  // A long path on a disk that fills up after 2 KiB.
  Movie longPath;
  for (int i = 0; i < 2000; ++i) longPath.AddFrame(kPos, Rotation(i % 360, 0, 0, 1), 1.0 + i);
  orvanta_test::MessageCapture capture;
  int written = 0;
  {
    orvanta_test::FileSizeLimit limit(2048);
    ASSERT_TRUE(limit.ok());
    written = longPath.Write(name.c_str());
  }
  EXPECT_EQ(written, -1);
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0].second, "ERROR: Writing the camera path " + name + " failed");
  EXPECT_EQ(orvanta_test::ReadFileBytes(name), old);
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), std::vector<std::string>{"p.fph"});
  Movie back;
  EXPECT_EQ(back.Read(name.c_str()), 3);
}

TEST(MovieFile, MissingFileIsReported) {
  orvanta_test::TempDir dir;
  orvanta_test::MessageCapture capture;
  Movie m = MixedPath();
  const std::string name = dir.file("none.fph");
  EXPECT_LT(m.Read(name.c_str()), 0);
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0].first, -99);
  EXPECT_EQ(capture.messages()[0].second, "ERROR: Opening file " + name + " to read movie");
  EXPECT_EQ(m.GetNumFrames(), 3);
  EXPECT_LT(m.Read(nullptr), 0);
}

TEST(MovieFile, TruncatedOrCorruptFilesAreRefusedWhole) {
  orvanta_test::TempDir dir;
  orvanta_test::MessageCapture capture;
  ASSERT_EQ(MixedPath().Write(dir.file("good.fph").c_str()), 0);
  const std::string good = orvanta_test::ReadFileBytes(dir.file("good.fph"));
  Movie keep;
  const float p[3] = {1, 2, 3};
  keep.AddFrame(p, Sv_Quaternion(), 1.0);
  const Movie before = keep;
  const std::string t = dir.file("t.fph");

  for (size_t len = 0; len < good.size(); ++len) {
    ASSERT_TRUE(orvanta_test::WriteFileBytes(t, good.substr(0, len)));
    EXPECT_LT(keep.Read(t.c_str()), 0) << "length " << len;
  }
  ExpectSamePath(before, keep);

  // The record starts after the text header and its 32-byte tag header.
  const size_t payload = good.size() - 32 - (48 + 56 + 68 + 8);
  ASSERT_GE(good.size(), payload + 8);
  auto patched = [&](size_t offset, const std::string& value) {
    std::string s = good;
    s.replace(payload + offset, value.size(), value);
    return s;
  };
  const int hugeCount = 1 << 30;
  const int typeNine = 9;
  const float nanValue = NAN;
  const double zero = 0.0;
  const std::string bad[] = {
      patched(4, std::string(reinterpret_cast<const char*>(&hugeCount), 4)),   // frame count
      patched(4, std::string("\x02\0\0\0", 4)),                              // count too small: bytes left over
      patched(8, std::string(reinterpret_cast<const char*>(&typeNine), 4)),  // frame type
      patched(12, std::string(reinterpret_cast<const char*>(&nanValue), 4)), // position
      patched(8 + 48, std::string(reinterpret_cast<const char*>(&zero), 8)), // scale of frame 0 (type 2)
      good.substr(0, payload - 32 + 14) + std::string("\x07\0", 2) + good.substr(payload - 32 + 16),  // tag version
  };
  for (const std::string& s : bad) {
    ASSERT_TRUE(orvanta_test::WriteFileBytes(t, s));
    EXPECT_LT(keep.Read(t.c_str()), 0);
  }
  ExpectSamePath(before, keep);

  // A TDR file without a camera path, and a file that is not a TDR file.
  TDR_Manager w;
  ASSERT_EQ(w.OpenFile(dir.file("no.fph").c_str(), "wb"), 0);
  ASSERT_EQ(w.WriteHeader(), 0);
  ASSERT_EQ(w.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(w.EndTag(), 0);
  ASSERT_EQ(w.CloseFile(), 0);
  EXPECT_EQ(keep.Read(dir.file("no.fph").c_str()), -4);
  ASSERT_TRUE(orvanta_test::WriteFileBytes(t, "not a flight path\n"));
  EXPECT_EQ(keep.Read(t.c_str()), -2);
  ExpectSamePath(before, keep);
}

TEST(MovieFrames, InvalidFramesAreNotAppended) {
  Movie m;
  const float p[3] = {0, 0, 0};
  const float bad[3] = {0, NAN, 0};
  EXPECT_EQ(m.AddFrame(bad, Sv_Quaternion()), -1);
  EXPECT_EQ(m.AddFrame(p, Sv_Quaternion(), 0.0), -1);
  EXPECT_EQ(m.AddFrame(p, Sv_Quaternion(INFINITY, 0, 0, 0), 1.0), -1);
  float mat[16] = {};
  mat[5] = NAN;
  EXPECT_EQ(m.AddFrame(mat), -1);
  EXPECT_EQ(m.GetNumFrames(), 0);
  EXPECT_EQ(m.SetType(3), -1);
  EXPECT_EQ(m.GetType(), MOVIE_FRAME_POSROT);
}
