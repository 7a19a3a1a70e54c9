// Volume measures: both measures against a ball's volume and against
// grids wholly below or above the iso-value, the face interpolation table,
// the clip box against a brute-force inside test, cropping and restoring,
// and the marked-point list.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Sd_Volume.h"
#include "TestSupport.h"
#include "VolumeTestSupport.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A ball of value 120 at its centre falling by 2 a sample (the level 80.5
// at radius 19.75), on 64 x 64 x 64 samples (62 of the file's slices and
// the two zero slices), cells of 1 (index space).
struct Ball {
  Sd_Volume v;
  Ball() {
    const std::vector<signed char> s = volume_test::Ball(64, 64, 62, 31.5, 31.5, 30.5, 60.0, 2.0);
    EXPECT_EQ(v.SetSamples(64, 64, 62, s.data()), 0);
    v.SetIsoValue(8.05f);  // sample scale 80.5
  }
  static double Radius() { return 60.0 - 80.5 / 2.0; }
};

TEST(VolumeMeasure, BothMeasuresOfABallAndOfGridsWhollyBelowOrAbove) {
  orvanta_test::MessageCapture quiet;
  Ball ball;
  ASSERT_FLOAT_EQ(ball.v.GetSampleIsoValue(), 80.5f);
  const double exact = 4.0 / 3.0 * kPi * std::pow(Ball::Radius(), 3);
  float coarse = 0, coarseSum = 0, fine = 0, fineSum = 0, one = 0, oneSum = 0;
  ball.v.GetCoarseIsoVolume(&coarse, &coarseSum);
  ball.v.GetIsoVolume(&fine, &fineSum, 4);
  ball.v.GetIsoVolume(&one, &oneSum, 1);
  EXPECT_NEAR(coarse, exact, 0.02 * exact);
  EXPECT_NEAR(fine, exact, 0.01 * exact);
  EXPECT_NEAR(one, exact, 0.02 * exact);
  // Value sums: every counted value lies between the level and the top.
  EXPECT_GT(fineSum, fine * 8.05f);
  EXPECT_LT(fineSum, fine * 12.0f);

  // Samples of every value, counted and summed as one by one.
  Sd_Volume noise;
  const std::vector<signed char> mixed = volume_test::Noise(37 * 29 * 11, 7u, -128, 127);
  ASSERT_EQ(noise.SetSamples(37, 29, 11, mixed.data()), 0);
  noise.SetIsoValue(-3.0f);  // sample -29.5
  long long count = 0, total = 0;
  for (int k = 0; k < noise.GetSlices(); ++k) {
    for (int i = 0; i < 37; ++i) {
      for (int j = 0; j < 29; ++j) {
        const int v = noise.GetSample(k, i, j);
        if (v >= -29.5) ++count, total += v;
      }
    }
  }
  float nv = 0, ns = 0;
  noise.GetCoarseIsoVolume(&nv, &ns);
  EXPECT_FLOAT_EQ(nv, static_cast<float>(count));
  EXPECT_NEAR(ns, total / 10.0, 1e-3 * std::fabs(total / 10.0) + 1e-3);

  // Every sample below the iso-value: nothing.
  Sd_Volume low;
  const std::vector<signed char> small(4 * 5 * 3, 20);
  ASSERT_EQ(low.SetSamples(4, 5, 3, small.data()), 0);
  low.SetIsoValue(5.0f);  // sample 50.5
  float v = -1, s = -1;
  low.GetCoarseIsoVolume(&v, &s);
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(s, 0.0f);
  low.GetIsoVolume(&v, &s, 2);
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(s, 0.0f);
  // Every sample at or above (the zero slices too): every cell whole, each
  // value sum its count times the samples' value.
  low.SetIsoValue(-1.0f);  // sample -9.5
  low.GetCoarseIsoVolume(&v, &s);
  EXPECT_FLOAT_EQ(v, 4 * 5 * 5);
  EXPECT_FLOAT_EQ(s, 2.0f * 4 * 5 * 3);
  low.GetIsoVolume(&v, &s, 2);
  EXPECT_FLOAT_EQ(v, 3 * 4 * 4);
  // Cells next to a zero slice have the mean 10, the others 20 (sample
  // scale; data units are a tenth).
  EXPECT_NEAR(s, (24 * 10 + 24 * 20) / 10.0, 1e-4);
}

// The cell measure on workers (rounds of slices in uneven shares) gives the
// very numbers of one thread, with and without the clip box, whole rows of
// cells and cut cells alike.
TEST(VolumeMeasure, CellMeasureOnWorkersGivesTheNumbersOfOneThread) {
  orvanta_test::MessageCapture quiet;
  Sd_Volume v;
  std::vector<signed char> s = volume_test::Ball(23, 40, 29, 11.0, 20.0, 14.0, 30.0, 6.0);
  const std::vector<signed char> noise = volume_test::Noise(23 * 40 * 29, 5u, -20, 127);
  for (size_t i = 0; i < s.size(); i += 7) s[i] = noise[i];
  ASSERT_EQ(v.SetSamples(23, 40, 29, s.data()), 0);
  v.SetIsoValue(2.0f);
  const float corners[8][3] = {{2, 3, 2}, {18, 3, 2}, {18, 30, 2}, {2, 30, 2},
                               {2, 3, 25}, {18, 3, 25}, {18, 30, 25}, {2, 30, 25}};
  for (int clip : {0, 1}) {
    v.SetClipBox(corners, 16.0f, 27.0f, 23.0f);
    v.SetBoxClip(clip);
    for (int n : {1, 3}) {
      SCOPED_TRACE("clip " + std::to_string(clip) + " n " + std::to_string(n));
      float one[2], many[2];
      {
        orvanta_test::WorkerLimit limit(1, 0);
        v.GetIsoVolume(&one[0], &one[1], n);
      }
      {
        orvanta_test::WorkerLimit limit(3, 200);
        v.GetIsoVolume(&many[0], &many[1], n);
      }
      EXPECT_GT(one[0], 0.0f);
      EXPECT_EQ(std::memcmp(one, many, sizeof one), 0) << one[0] << " " << many[0] << " " << one[1] << " " << many[1];
    }
  }
}

TEST(VolumeMeasure, FaceInterpolationTable) {
  const double u = 0.25, v = 0.75;
  const int c0 = 10, c1 = 20, c2 = 40, c3 = 30;
  const double e1 = 12.5, e2 = 32.5, e3 = 25.0, e4 = 35.0;
  struct Row {
    int c[4];
    double expected;
  };
  const Row rows[] = {
      {{c0, c1, c2, c3}, ((e1 + (e2 - e1) * v) + (e3 + (e4 - e3) * u)) / 2},
      {{0, c1, c2, c3}, (e2 + e4) / 2},
      {{c0, 0, c2, c3}, (e2 + e3) / 2},
      {{c0, c1, 0, c3}, (10 + 10 * u + (10 + 20 * v)) / 2},  // (E1 + E3) / 2 with c2 = 0
      {{c0, c1, c2, 0}, (e1 + e4) / 2},
      {{0, 0, c2, c3}, e2},
      {{0, c1, c2, 0}, e4},
      {{c0, c1, 0, 0}, e1},
      {{c0, 0, 0, c3}, e3},
      {{0, c1, 0, c3}, ((c3 + (c1 - c3) * u) + (c1 + (c3 - c1) * v)) / 2},
      {{c0, 0, c2, 0}, ((c0 + (c2 - c0) * u) + (c0 + (c2 - c0) * v)) / 2},
      {{0, 0, c2, 0}, c2},
      {{0, 0, 0, 0}, 0.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.c[0] << " " << r.c[1] << " " << r.c[2] << " " << r.c[3]);
    EXPECT_DOUBLE_EQ(Sd_Volume::InterpolateFace(u, v, r.c[0], r.c[1], r.c[2], r.c[3]), r.expected);
  }
}

// The box through corner c = origin + (c bit 0) a + (c bit 1) b + (c bit 2)
// d, numbered so that the faces (0, 3, 4) ... (4, 6, 7) are its six faces.
struct Box {
  float corners[8][3];
  float widths[3];
  Box(const double o[3], const double a[3], const double b[3], const double d[3]) {
    // Corners 0, 1, 2, 3 go round the bottom face, 4 ... 7 the top.
    const int round[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int c = 0; c < 8; ++c) {
      const int ia = round[c % 4][0], ib = round[c % 4][1], id = c / 4;
      for (int k = 0; k < 3; ++k) corners[c][k] = static_cast<float>(o[k] + ia * a[k] + ib * b[k] + id * d[k]);
    }
    auto length = [](const double* w) { return static_cast<float>(std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2])); };
    widths[0] = length(a);
    widths[1] = length(b);
    widths[2] = length(d);
  }
};

TEST(VolumeMeasure, ClipBoxCropAndRestore) {
  orvanta_test::MessageCapture quiet;
  Ball ball;
  // A rotated box (45 degrees about z) against a brute-force test in the
  // box's own axes.
  const double s = std::sqrt(0.5);
  const double o[3] = {32, 10, 12}, a[3] = {10 * s, 10 * s, 0}, b[3] = {-8 * s, 8 * s, 0}, d[3] = {0, 0, 20};
  const Box box(o, a, b, d);
  ball.v.SetClipBox(box.corners, box.widths[0], box.widths[1], box.widths[2]);
  int inside = 0;
  for (double x = 20; x < 45; x += 0.7) {
    for (double y = 5; y < 30; y += 0.7) {
      for (double z = 8; z < 36; z += 1.3) {
        const double p[3] = {x - o[0], y - o[1], z - o[2]};
        const double pa = (p[0] * a[0] + p[1] * a[1]) / 100.0, pb = (p[0] * b[0] + p[1] * b[1]) / 64.0,
                     pd = p[2] / 20.0;
        const bool expected = pa >= 0 && pa <= 1 && pb >= 0 && pb <= 1 && pd >= 0 && pd <= 1;
        const bool near = std::fabs(pa) < 1e-4 || std::fabs(pa - 1) < 1e-4 || std::fabs(pb) < 1e-4 ||
                          std::fabs(pb - 1) < 1e-4 || std::fabs(pd) < 1e-4 || std::fabs(pd - 1) < 1e-4;
        if (near) continue;
        ASSERT_EQ(ball.v.IsPointInBox(x, y, z), expected ? 1 : 0) << x << " " << y << " " << z;
        inside += expected;
      }
    }
  }
  EXPECT_GT(inside, 100);

  // An axis-aligned box over the half x >= 31.5 of the ball halves both
  // measures; clipping is off until asked for.
  const double o2[3] = {31.5, -1, -1}, a2[3] = {40, 0, 0}, b2[3] = {0, 70, 0}, d2[3] = {0, 0, 70};
  const Box half(o2, a2, b2, d2);
  ball.v.SetClipBox(half.corners, half.widths[0], half.widths[1], half.widths[2]);
  float whole = 0, clipped = 0, sum = 0;
  ball.v.GetIsoVolume(&whole, &sum, 2);
  ball.v.SetBoxClip(1);
  ball.v.GetIsoVolume(&clipped, &sum, 2);
  EXPECT_NEAR(clipped, whole / 2, 0.01 * whole);
  float before = 0, after = 0;
  ball.v.GetCoarseIsoVolume(&before, &sum);
  ball.v.CropToBox();
  ball.v.GetCoarseIsoVolume(&after, &sum);
  EXPECT_NEAR(after, before / 2, 0.01 * before);
  // Outside the box the working grid lost the sample, the source kept it.
  EXPECT_EQ(ball.v.GetSample(31, 20, 31), 0);
  EXPECT_GT(ball.v.GetSourceSample(31, 20, 31), 81);
  ball.v.RestoreVolume();
  for (int k = 0; k < 64; k += 7) {
    for (int i = 0; i < 64; i += 5) {
      for (int j = 0; j < 64; j += 3) ASSERT_EQ(ball.v.GetSample(k, i, j), ball.v.GetSourceSample(k, i, j));
    }
  }

  // A face through three corners on one line contains nothing.
  Box flat = half;
  for (int k = 0; k < 3; ++k) flat.corners[3][k] = 2 * flat.corners[0][k] - flat.corners[4][k];
  ball.v.SetClipBox(flat.corners, flat.widths[0], flat.widths[1], flat.widths[2]);
  EXPECT_EQ(ball.v.IsPointInBox(40, 30, 30), 0);
}

TEST(VolumeMeasure, MarkedPointList) {
  Sd_Volume v;
  EXPECT_EQ(v.GetLastMarkPoint(), nullptr);
  ASSERT_EQ(v.AddMarkPoint(1, 1, 1), 0);
  v.SelectMarkPoint(1);
  EXPECT_EQ(v.GetCurrentMarkPoint(), v.GetFirstMarkPoint());
  v.RemoveMarkPoint(1);
  EXPECT_EQ(v.GetFirstMarkPoint(), nullptr);
  EXPECT_EQ(v.GetLastMarkPoint(), nullptr);
  EXPECT_EQ(v.GetCurrentMarkPoint(), nullptr);
  // New points go to the front; the first added stays last.
  for (int p = 1; p <= 4; ++p) v.AddMarkPoint(float(p), 0, 0);
  EXPECT_EQ(v.GetFirstMarkPoint()->value[0], 4.0f);
  EXPECT_EQ(v.GetLastMarkPoint()->value[0], 1.0f);
  v.SelectMarkPoint(2);
  EXPECT_EQ(v.GetCurrentMarkPoint()->value[0], 3.0f);
  v.SelectMarkPoint(9);
  EXPECT_EQ(v.GetCurrentMarkPoint()->value[0], 3.0f);
  v.RemoveMarkPoint(4);  // the last
  EXPECT_EQ(v.GetLastMarkPoint()->value[0], 2.0f);
  EXPECT_EQ(v.GetCurrentMarkPoint(), nullptr);
  v.RemoveMarkPoint(2);  // from the middle
  EXPECT_EQ(v.GetFirstMarkPoint()->next, v.GetLastMarkPoint());
  EXPECT_EQ(v.GetLastMarkPoint()->previous, v.GetFirstMarkPoint());
  v.RemoveMarkPoint(-1);
  EXPECT_EQ(v.GetFirstMarkPoint(), nullptr);
  EXPECT_EQ(v.GetLastMarkPoint(), nullptr);
}

}  // namespace
