#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "Sv_ImageScale.h"

namespace {

struct Picture {
  int width, height, channels;
  std::vector<unsigned char> bytes;
  unsigned char At(int x, int y, int c) const { return bytes[(static_cast<size_t>(y) * width + x) * channels + c]; }
};

Picture Noise(int width, int height, int channels) {
  Picture p{width, height, channels, std::vector<unsigned char>(static_cast<size_t>(width) * height * channels)};
  unsigned state = 12345u;
  for (unsigned char& b : p.bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<unsigned char>(state >> 23);
  }
  return p;
}

// The mean of the source over the rectangle a destination pixel covers,
// integrated in real numbers: each source pixel weighted by the area of it
// inside the rectangle.
double AreaMean(const Picture& src, int dstWidth, int dstHeight, int dx, int dy, int c) {
  const double sx = static_cast<double>(src.width) / dstWidth, sy = static_cast<double>(src.height) / dstHeight;
  const double x0 = dx * sx, x1 = (dx + 1) * sx, y0 = dy * sy, y1 = (dy + 1) * sy;
  double sum = 0.0;
  for (int y = static_cast<int>(std::floor(y0)); y < y1 && y < src.height; ++y) {
    const double wy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
    for (int x = static_cast<int>(std::floor(x0)); x < x1 && x < src.width; ++x) {
      const double wx = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
      sum += wx * wy * src.At(x, y, c);
    }
  }
  return sum / (sx * sy);
}

void ExpectAreaMeans(const Picture& src, int dstWidth, int dstHeight) {
  SCOPED_TRACE(::testing::Message() << src.width << "x" << src.height << "x" << src.channels << " -> " << dstWidth
                                    << "x" << dstHeight);
  const size_t rowBytes = static_cast<size_t>(dstWidth) * src.channels;
  std::vector<unsigned char> dst(rowBytes * dstHeight, 0);
  ASSERT_EQ(Sv_AreaAverage(src.bytes.data(), src.width, src.height, static_cast<size_t>(src.width) * src.channels,
                           src.channels, dst.data(), dstWidth, dstHeight, rowBytes),
            0);
  int bad = 0;
  for (int y = 0; y < dstHeight; ++y)
    for (int x = 0; x < dstWidth; ++x)
      for (int c = 0; c < src.channels; ++c) {
        const double mean = AreaMean(src, dstWidth, dstHeight, x, y, c);
        const int got = dst[y * rowBytes + x * src.channels + c];
        if (std::fabs(got - mean) > 0.5 + 1e-9 && ++bad <= 5)
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": " << got << ", mean " << mean;
      }
}

// Every destination pixel is the rounded mean of the area it covers:
// shrinking by whole and by fractional factors, enlarging, and an image
// wider than the scaler's accumulators take in one pass.
TEST(AreaAverage, DestinationPixelsAreTheMeansOfTheAreasTheyCover) {
  ExpectAreaMeans(Noise(512, 512, 4), 256, 256);
  ExpectAreaMeans(Noise(37, 23, 3), 8, 5);
  ExpectAreaMeans(Noise(300, 200, 1), 256, 256);
  ExpectAreaMeans(Noise(5, 3, 2), 13, 7);
  ExpectAreaMeans(Noise(20000, 3, 4), 301, 2);
  // Three values into two: (2 * 30 + 90) / 3 and (90 + 2 * 150) / 3.
  const unsigned char row[3] = {30, 90, 150};
  unsigned char out[2] = {0, 0};
  ASSERT_EQ(Sv_AreaAverage(row, 3, 1, 3, 1, out, 2, 1, 2), 0);
  EXPECT_EQ(out[0], 50);
  EXPECT_EQ(out[1], 130);
}

}  // namespace
