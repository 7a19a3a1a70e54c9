#include "Sv_ImageScale.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "Sv_2DData.h"

namespace {

int64_t Gcd(int64_t a, int64_t b) {
  while (b != 0) {
    const int64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// Source columns the accumulators of one pass hold, at most (over all
// channels 64 Ki accumulators, 256 KiB).
const int64_t kPassElements = 65536;

// acc[i] += weight * row[i].
void AddRow(uint32_t* acc, const unsigned char* row, size_t n, uint32_t weight) {
  for (size_t i = 0; i < n; ++i) acc[i] += weight * row[i];
}

// acc[i] += weight * (the sum of element i over count rows, stride bytes
// apart). The rows are summed a block of columns at a time in 16-bit sums
// that stay in the first-level cache (at most 257 rows of 255 fit), so
// each source byte is loaded once and the accumulators are touched once
// per 257 rows instead of once per row.
void AddRows(uint32_t* acc, const unsigned char* first, size_t stride, int64_t count, size_t n, uint32_t weight) {
  const size_t kBlock = 1024;
  const int64_t kMaxRows = 257;
  uint16_t sums[kBlock];
  for (int64_t r0 = 0; r0 < count; r0 += kMaxRows) {
    const int64_t rows = std::min(kMaxRows, count - r0);
    for (size_t i0 = 0; i0 < n; i0 += kBlock) {
      const size_t m = std::min(kBlock, n - i0);
      std::memset(sums, 0, m * sizeof(uint16_t));
      for (int64_t r = 0; r < rows; ++r) {
        const unsigned char* row = first + static_cast<size_t>(r0 + r) * stride + i0;
        for (size_t i = 0; i < m; ++i) sums[i] = static_cast<uint16_t>(sums[i] + row[i]);
      }
      uint32_t* a = acc + i0;
      for (size_t i = 0; i < m; ++i) a[i] += weight * sums[i];
    }
  }
}

// The geometry of one scaling along both axes, in units chosen so that
// every weight is an integer: along x a source column is srcUnitX units
// wide and a destination column dstUnitX, likewise along y.
struct Scaling {
  int channels;
  int64_t srcUnitX, dstUnitX, srcUnitY, dstUnitY;
  uint64_t total;  // weight of one destination pixel: dstUnitX * dstUnitY

  // Writes destination columns [d0, d1) of one destination row from the
  // vertical sums in acc, which start at source column x0.
  void EmitRow(const uint32_t* acc, int64_t x0, int64_t d0, int64_t d1, unsigned char* out) const {
    for (int64_t d = d0; d < d1; ++d) {
      const int64_t start = d * dstUnitX, end = start + dstUnitX;
      uint64_t sum[4] = {0, 0, 0, 0};
      for (int64_t x = start / srcUnitX; x * srcUnitX < end; ++x) {
        const uint64_t w = static_cast<uint64_t>(std::min((x + 1) * srcUnitX, end) - std::max(x * srcUnitX, start));
        const uint32_t* a = acc + (x - x0) * channels;
        for (int c = 0; c < channels; ++c) sum[c] += w * a[c];
      }
      for (int c = 0; c < channels; ++c) out[d * channels + c] = static_cast<unsigned char>((sum[c] + total / 2) / total);
    }
  }
};

}  // namespace

int Sv_AreaAverage(const unsigned char* src, int srcWidth, int srcHeight, size_t srcRowBytes, int channels,
                   unsigned char* dst, int dstWidth, int dstHeight, size_t dstRowBytes) {
  const int maxSide = Sv_2DData::kMaxSide;
  if (!src || !dst || channels < 1 || channels > 4 || srcWidth < 1 || srcHeight < 1 || dstWidth < 1 ||
      dstHeight < 1 || srcWidth > maxSide || srcHeight > maxSide || dstWidth > maxSide || dstHeight > maxSide ||
      srcRowBytes < static_cast<size_t>(srcWidth) * channels ||
      dstRowBytes < static_cast<size_t>(dstWidth) * channels) {
    return -1;
  }
  Scaling s;
  s.channels = channels;
  const int64_t gx = Gcd(srcWidth, dstWidth), gy = Gcd(srcHeight, dstHeight);
  s.srcUnitX = dstWidth / gx;
  s.dstUnitX = srcWidth / gx;
  s.srcUnitY = dstHeight / gy;
  s.dstUnitY = srcHeight / gy;
  // A vertical sum is at most dstUnitY * 255 < 2^28 and a pixel's sum at
  // most dstUnitX * dstUnitY * 255 < 2^48: 32 and 64 bits suffice.
  s.total = static_cast<uint64_t>(s.dstUnitX) * static_cast<uint64_t>(s.dstUnitY);

  // Destination columns are done in passes over the source columns they
  // cover, as many as the accumulators hold (one destination column at
  // least, however many source columns it covers).
  const int64_t passColumns = std::max<int64_t>(1, kPassElements / channels);
  const int64_t oneColumn = s.dstUnitX / s.srcUnitX + 2;
  const int64_t accColumns = std::min<int64_t>(srcWidth, std::max(passColumns, oneColumn));
  const size_t accElements = static_cast<size_t>(accColumns) * channels;
  std::unique_ptr<uint32_t[]> acc(new (std::nothrow) uint32_t[accElements]);
  if (!acc) return -1;

  for (int64_t d0 = 0; d0 < dstWidth;) {
    const int64_t x0 = d0 * s.dstUnitX / s.srcUnitX;
    int64_t d1 = std::min<int64_t>(dstWidth, (x0 + accColumns) * s.srcUnitX / s.dstUnitX);
    d1 = std::max(d1, d0 + 1);
    const int64_t x1 = std::min<int64_t>(srcWidth, (d1 * s.dstUnitX + s.srcUnitX - 1) / s.srcUnitX);
    const size_t n = static_cast<size_t>(x1 - x0) * channels;

    // Each destination row is the weighted sum of the source rows it
    // overlaps: the rows wholly inside it (weight srcUnitY each) and at most
    // one partial row at either end, read again by the neighbouring
    // destination row.
    for (int64_t dy = 0; dy < dstHeight; ++dy) {
      const int64_t start = dy * s.dstUnitY, end = start + s.dstUnitY;
      const int64_t yFirst = start / s.srcUnitY, yLast = (end - 1) / s.srcUnitY;
      const unsigned char* column0 = src + static_cast<size_t>(x0) * channels;
      auto row = [&](int64_t y) { return column0 + static_cast<size_t>(y) * srcRowBytes; };
      std::memset(acc.get(), 0, n * sizeof(uint32_t));
      int64_t fullFirst = yFirst, fullLast = yLast;
      if (yFirst * s.srcUnitY < start || (yFirst + 1) * s.srcUnitY > end) {
        const int64_t w = std::min((yFirst + 1) * s.srcUnitY, end) - start;
        AddRow(acc.get(), row(yFirst), n, static_cast<uint32_t>(w));
        ++fullFirst;
      }
      if (yLast >= fullFirst && (yLast + 1) * s.srcUnitY > end) {
        AddRow(acc.get(), row(yLast), n, static_cast<uint32_t>(end - yLast * s.srcUnitY));
        --fullLast;
      }
      if (fullLast >= fullFirst) {
        AddRows(acc.get(), row(fullFirst), srcRowBytes, fullLast - fullFirst + 1, n,
                static_cast<uint32_t>(s.srcUnitY));
      }
      s.EmitRow(acc.get(), x0, d0, d1, dst + static_cast<size_t>(dy) * dstRowBytes);
    }
    d0 = d1;
  }
  return 0;
}
