#ifndef IMAGE_TEST_UTIL_H
#define IMAGE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "Sv_ImageIO.h"

namespace image_test {

// A width x height image of the format whose samples all differ from their
// neighbours, with the bottom-left pixel (row 0, column 0) marked 250 in
// every channel.
inline void MakePattern(Sv_ImageIO* image, int width, int height, int format) {
  ASSERT_EQ(image->Allocate(width, height, format), 0);
  const int channels = image->GetChannels();
  for (int r = 0; r < height; ++r) {
    unsigned char* row = image->GetRow(r);
    for (int c = 0; c < width; ++c) {
      for (int k = 0; k < channels; ++k) {
        const int v = (r * 37 + c * 11 + k * 71) % 200;
        if (format == SV_2D_TERRAIN16) {
          const unsigned short s = static_cast<unsigned short>(v * 300 + k);
          std::memcpy(row + 2 * c, &s, 2);
        } else {
          row[c * channels + k] = static_cast<unsigned char>(v);
        }
      }
    }
  }
  std::memset(image->GetRow(0), 250, image->GetBytesPerPixel());
}

// A smooth image (JPEG keeps it well) with an 8 x 8 white block in the
// bottom-left corner.
inline void MakeSmooth(Sv_ImageIO* image, int width, int height, int format) {
  ASSERT_EQ(image->Allocate(width, height, format), 0);
  const int channels = image->GetChannels();
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      for (int k = 0; k < channels; ++k) {
        const bool corner = r < 8 && c < 8;
        image->GetRow(r)[c * channels + k] = static_cast<unsigned char>(corner ? 255 : 40 + r + c + 20 * k);
      }
    }
  }
}

// Same size, format and pixels; with tolerance > 0, samples may differ by
// that much (lossy formats).
inline ::testing::AssertionResult SamePixels(const Sv_2DData& a, const Sv_2DData& b, int tolerance = 0) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetFormat() != b.GetFormat()) {
    return ::testing::AssertionFailure() << a.GetWidth() << "x" << a.GetHeight() << " format " << a.GetFormat()
                                         << " against " << b.GetWidth() << "x" << b.GetHeight() << " format "
                                         << b.GetFormat();
  }
  const size_t n = a.GetByteSize();
  for (size_t i = 0; i < n; ++i) {
    if (std::abs(a.GetData()[i] - b.GetData()[i]) > tolerance) {
      return ::testing::AssertionFailure() << "byte " << i << ": " << int(a.GetData()[i]) << " against "
                                           << int(b.GetData()[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace image_test

#endif
