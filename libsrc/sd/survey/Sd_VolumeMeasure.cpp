// Scalar volume: the volume and value sum of the region at or above the
// iso-value (by samples, or cell by cell with sub-sampled cut cells), the
// clip box and its crop, and the marked points.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "Sd_IsoCells.h"
#include "Sd_Volume.h"
#include "Sv_Debug.h"
#include "Sv_Vector.h"
#include "Sv_Workers.h"

namespace {

// Cells along a row tested at once for having no corner at or above the
// iso-value.
constexpr int kRun = 16;

// Below this a face value counts as no value.
constexpr double kNoValue = 1e-7;

// The three corners each box face is taken through (two faces per width).
constexpr int kFaceCorners[6][3] = {{0, 3, 4}, {1, 2, 5}, {0, 1, 4}, {2, 6, 7}, {0, 1, 2}, {4, 6, 7}};

// Counts the samples of p[0 ... n) at or above t and adds them up.
void CountAtOrAbove(const signed char* p, size_t n, signed char t, int64_t* count, int64_t* sum) {
  int64_t c = 0, total = 0;
  size_t s = 0;
#ifdef __SSE2__
  // Sixteen samples at a time: the mask of those at or above t, its bytes
  // counted in byte lanes for up to 255 rounds; the samples offset by 128
  // (so unsigned) where the mask holds, summed eight bytes at a time.
  const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
  const __m128i ones = _mm_set1_epi8(static_cast<char>(-1));
  const __m128i bias = _mm_set1_epi8(static_cast<char>(-128));
  const __m128i zero = _mm_setzero_si128();
  __m128i counts = zero, offsetSums = zero;
  while (n - s >= 16) {
    const size_t rounds = std::min((n - s) / 16, size_t(255));
    __m128i bytes = zero;
    for (size_t r = 0; r < rounds; ++r, s += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + s));
      const __m128i mask = _mm_andnot_si128(_mm_cmpgt_epi8(tv, v), ones);
      bytes = _mm_sub_epi8(bytes, mask);
      offsetSums = _mm_add_epi64(offsetSums, _mm_sad_epu8(_mm_and_si128(_mm_xor_si128(v, bias), mask), zero));
    }
    counts = _mm_add_epi64(counts, _mm_sad_epu8(bytes, zero));
  }
  int64_t lanes[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), counts);
  c = lanes[0] + lanes[1];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), offsetSums);
  total = lanes[0] + lanes[1] - 128 * c;
#endif
  for (; s < n; ++s) {
    if (p[s] >= t) {
      ++c;
      total += p[s];
    }
  }
  *count += c;
  *sum += total;
}

}  // namespace

// --- measures ---

double Sd_Volume::CellVolume() const {
  if (m_dim1 < 2 || m_dim2 < 2 || m_slices < 2) return 0.0;
  const float* x = const_cast<Sd_Volume*>(this)->GetBounds(0);
  const float* y = const_cast<Sd_Volume*>(this)->GetBounds(1);
  const float* z = const_cast<Sd_Volume*>(this)->GetBounds(2);
  return (double(x[1]) - x[0]) / (m_dim1 - 1) * ((double(y[1]) - y[0]) / (m_dim2 - 1)) *
         ((double(z[1]) - z[0]) / (m_slices - 1));
}

double Sd_Volume::DataSum(double sampleSum, double count) const {
  const double sampleSpan = double(m_sampleRange[1]) - m_sampleRange[0];
  const double r = sampleSpan != 0.0 ? (double(m_dataRange[1]) - m_dataRange[0]) / sampleSpan : 0.0;
  return sampleSum * r - count * (m_sampleRange[0] * r) + count * m_dataRange[0];
}

void Sd_Volume::SamplePosition(int k, int i, int j, double p[3]) const {
  const int n[3] = {m_dim1, m_dim2, m_slices};
  const int index[3] = {i, j, k};
  for (int axis = 0; axis < 3; ++axis) {
    const float* b = const_cast<Sd_Volume*>(this)->GetBounds(axis);
    const double spacing = n[axis] > 1 ? (double(b[1]) - b[0]) / (n[axis] - 1) : 0.0;
    p[axis] = b[0] + index[axis] * spacing;
  }
}

void Sd_Volume::GetCoarseIsoVolume(float* volume, float* valueSum) const {
  int64_t count = 0, sum = 0;
  if (m_working) {
    const size_t n = static_cast<size_t>(m_dim1) * m_dim2 * m_slices;
    // Samples are whole numbers: at or above the iso-value means at or
    // above its ceiling.
    const int threshold = static_cast<int>(std::ceil(std::fmin(std::fmax(m_isoSample, -1000.0f), 1000.0f)));
    if (threshold <= 127) {
      CountAtOrAbove(m_working, n, static_cast<signed char>(std::max(-128, threshold)), &count, &sum);
    }
  }
  if (volume) *volume = static_cast<float>(count * CellVolume());
  if (valueSum) *valueSum = static_cast<float>(DataSum(static_cast<double>(sum), static_cast<double>(count)));
}

void Sd_Volume::GetIsoVolume(float* volume, float* valueSum, int n) const {
  Sv_Debug::Message(SV_LEVEL_DEBUG, "In progress: ");
  if (n < 1) n = 1;
  double count = 0.0, sum = 0.0;
  int64_t wholeCells = 0, wholeSum8 = 0;  // whole cells and the sums of their eight corners
  if (m_source && m_dim1 >= 2 && m_dim2 >= 2 && m_slices >= 2) {
    const float iso = m_isoSample;
    const size_t row = static_cast<size_t>(m_dim2);
    const size_t plane = static_cast<size_t>(m_dim1) * row;
    auto at = [&](const signed char* p, int j) { return static_cast<int>(p[j] >= iso); };
    // Each sample row all below the iso-value (0), all at or above it (1)
    // or mixed (2): four rows of one kind make a row of cells that are all
    // empty or all whole, taken without looking at each cell (not with the
    // clip box, which decides per corner). Samples are whole numbers: at or
    // above the iso-value is at or above its ceiling.
    int threshold = 128;
    if (iso <= 127.0f) threshold = iso <= -128.0f ? -128 : static_cast<int>(std::ceil(iso));
    const size_t rows = static_cast<size_t>(m_slices) * m_dim1;
    std::vector<unsigned char> rowKind;
    if (!m_boxClip) {
      try {
        rowKind.resize(rows);
      } catch (const std::bad_alloc&) {
        rowKind.clear();
      }
    }
    if (!rowKind.empty()) {
      const bool kinds = sv_workers::RunShares(rows, sv_workers::WorkerCount(rows * row), [&](int, size_t from, size_t to) {
        for (size_t r = from; r < to; ++r) {
          const signed char* p = m_source + r * row;
          size_t above = 0;
          for (size_t j0 = 0; j0 < row; j0 += 4096) {
            int part = 0;  // in int for the vector unit
            for (size_t j = j0; j < std::min(row, j0 + 4096); ++j) part += p[j] >= threshold;
            above += static_cast<size_t>(part);
          }
          rowKind[r] = above == 0 ? 0 : above == row ? 1 : 2;
        }
      });
      if (!kinds) rowKind.clear();  // every cell looked at instead
    }

    // The cells of slice k: whole cells into whole and whole8, each cut
    // cell's share and value sum to partial(v, s) in cell order; the sub-
    // samples without a value are counted into alerts.
    auto slice = [&](int k, int64_t* whole, int64_t* whole8, int* alerts, auto&& partial) {
      for (int i = 0; i + 1 < m_dim1; ++i) {
        const signed char* a0 = m_source + static_cast<size_t>(k) * plane + static_cast<size_t>(i) * row;
        const signed char* a1 = a0 + row;
        const signed char* b0 = a0 + plane;
        const signed char* b1 = b0 + row;
        if (!rowKind.empty()) {
          const unsigned char* kinds = &rowKind[static_cast<size_t>(k) * m_dim1 + i];
          const int kind = kinds[0];
          if (kind != 2 && kinds[1] == kind && kinds[m_dim1] == kind && kinds[m_dim1 + 1] == kind) {
            if (kind == 1) {
              // Every corner counts twice but the rows' first and last.
              int64_t corners = 0;
              for (const signed char* p : {a0, a1, b0, b1}) {
                int64_t rowSum = 0;
                for (size_t j = 0; j < row; ++j) rowSum += p[j];
                corners += 2 * rowSum - p[0] - p[row - 1];
              }
              *whole += m_dim2 - 1;
              *whole8 += corners;
            }
            continue;
          }
        }
        int column = Sd_IsoColumnBits(at(a0, 0), at(a1, 0), at(b0, 0), at(b1, 0));
        for (int j = 0; j + 1 < m_dim2; ++j) {
          // Sixteen cells whose corners are all below the iso-value at once.
          if (j % kRun == 0 && j + kRun < m_dim2) {
            int above = 0;
            for (int t = 0; t <= kRun; ++t) {
              above |= (a0[j + t] >= threshold) | (a1[j + t] >= threshold) | (b0[j + t] >= threshold) |
                       (b1[j + t] >= threshold);
            }
            if (!above) {
              j += kRun - 1;
              column = 0;
              continue;
            }
          }
          const int next = Sd_IsoColumnBits(at(a0, j + 1), at(a1, j + 1), at(b0, j + 1), at(b1, j + 1));
          const int caseIndex = Sd_IsoCellCase(column, next);
          column = next;
          if (caseIndex == 0) continue;
          bool isWhole = caseIndex == 255;
          if (m_boxClip) {
            int mask = 0;
            for (int c = 0; c < 8; ++c) {
              mask |= IsVoxelInBox(k + ((c >> 2) & 1), i + (c & 1), j + ((c >> 1) & 1)) << c;
            }
            if (mask == 0) continue;
            isWhole = isWhole && mask == 255;
          }
          if (isWhole) {
            ++*whole;
            *whole8 += a0[j] + a0[j + 1] + a1[j] + a1[j + 1] + b0[j] + b0[j + 1] + b1[j] + b1[j + 1];
          } else {
            double v = 0.0, s = 0.0;
            *alerts += PartialCell(i, j, k, &v, &s, n);
            partial(v, s);
          }
        }
      }
    };
    auto alert = [](int times) {
      for (int a = 0; a < times; ++a) Sv_Debug::Message(SV_LEVEL_DEBUG, "Alert! GetPartialVolume: cnt = 0");
    };
    auto add = [&](double v, double s) {
      count += v;
      sum += s;
    };

    // On workers: rounds of a few slices per worker, each worker keeping
    // its cut cells' terms in cell order; they are added up in slice order
    // after each round, so the sums are those of one loop. A round that
    // runs out of memory is done again on this thread.
    const int cells = m_slices - 1;
    const int workers = std::min(sv_workers::WorkerCount(static_cast<size_t>(cells) * plane), cells);
    const int round = 4 * workers;
    struct Share {
      std::vector<std::pair<double, double>> terms;
      int64_t whole = 0, whole8 = 0;
      int alerts = 0;
      bool failed = false;
    };
    std::vector<Share> shares(static_cast<size_t>(workers > 1 ? workers : 0));
    for (int k0 = 0; k0 < cells; k0 += workers > 1 ? round : cells) {
      const int k1 = std::min(cells, k0 + (workers > 1 ? round : cells));
      if (workers > 1) {
        const bool ran = sv_workers::RunShares(static_cast<size_t>(k1 - k0), workers, [&](int w, size_t from, size_t to) {
          Share& share = shares[static_cast<size_t>(w)];
          share = Share();
          try {
            for (size_t k = from; k < to; ++k) {
              slice(k0 + static_cast<int>(k), &share.whole, &share.whole8, &share.alerts,
                    [&](double v, double s) { share.terms.emplace_back(v, s); });
            }
          } catch (const std::bad_alloc&) {
            share.failed = true;
          }
        });
        bool failed = !ran;
        for (const Share& share : shares) failed = failed || share.failed;
        if (!failed) {
          for (Share& share : shares) {
            wholeCells += share.whole;
            wholeSum8 += share.whole8;
            alert(share.alerts);
            for (const auto& term : share.terms) add(term.first, term.second);
            std::vector<std::pair<double, double>>().swap(share.terms);
          }
          continue;
        }
        for (Share& share : shares) std::vector<std::pair<double, double>>().swap(share.terms);
      }
      for (int k = k0; k < k1; ++k) {
        int alerts = 0;
        slice(k, &wholeCells, &wholeSum8, &alerts, add);
        alert(alerts);
      }
    }
  }
  count += static_cast<double>(wholeCells);
  sum += static_cast<double>(wholeSum8) / 8.0;
  Sv_Debug::Message(SV_LEVEL_DEBUG, "...completed.");
  if (volume) *volume = static_cast<float>(count * CellVolume());
  if (valueSum) *valueSum = static_cast<float>(DataSum(sum, count));
}

double Sd_Volume::InterpolateFace(double u, double v, int c0, int c1, int c2, int c3) {
  const double e1 = c0 + (c1 - c0) * u, e2 = c3 + (c2 - c3) * u;
  const double e3 = c0 + (c3 - c0) * v, e4 = c1 + (c2 - c1) * v;
  const int has = (c0 != 0) | ((c1 != 0) << 1) | ((c2 != 0) << 2) | ((c3 != 0) << 3);
  switch (has) {
    case 15: return ((e1 + (e2 - e1) * v) + (e3 + (e4 - e3) * u)) / 2.0;
    case 14: return (e2 + e4) / 2.0;  // all but c0
    case 13: return (e2 + e3) / 2.0;  // all but c1
    case 11: return (e1 + e3) / 2.0;  // all but c2
    case 7: return (e1 + e4) / 2.0;   // all but c3
    case 12: return e2;               // c2, c3
    case 6: return e4;                // c1, c2
    case 3: return e1;                // c0, c1
    case 9: return e3;                // c0, c3
    case 10: return ((c3 + (c1 - c3) * u) + (c1 + (c3 - c1) * v)) / 2.0;  // c1, c3
    case 5: return ((c0 + (c2 - c0) * u) + (c0 + (c2 - c0) * v)) / 2.0;   // c0, c2
    case 1: return c0;
    case 2: return c1;
    case 4: return c2;
    case 8: return c3;
    default: return 0.0;
  }
}

void Sd_Volume::GetPartialVolume(int i, int j, int k, double* volume, double* sum, int n) const {
  const int alerts = PartialCell(i, j, k, volume, sum, n);
  for (int a = 0; a < alerts; ++a) Sv_Debug::Message(SV_LEVEL_DEBUG, "Alert! GetPartialVolume: cnt = 0");
}

int Sd_Volume::PartialCell(int i, int j, int k, double* volume, double* sum, int n) const {
  *volume = 0.0;
  *sum = 0.0;
  int alerts = 0;
  if (!m_source || i < 0 || j < 0 || k < 0 || i + 1 >= m_dim1 || j + 1 >= m_dim2 || k + 1 >= m_slices) return 0;
  if (n < 1) n = 1;
  // Corner samples s[dk][di][dj].
  int s[2][2][2];
  for (int dk = 0; dk < 2; ++dk) {
    for (int di = 0; di < 2; ++di) {
      for (int dj = 0; dj < 2; ++dj) s[dk][di][dj] = GetSourceSample(k + dk, i + di, j + dj);
    }
  }
  double corner[3], far[3];
  SamplePosition(k, i, j, corner);
  SamplePosition(k + 1, i + 1, j + 1, far);
  const double iso = m_isoSample;
  double count = 0.0, total = 0.0;
  for (int p = 0; p < n; ++p) {
    const double fk = (p + 0.5) / n;
    for (int q = 0; q < n; ++q) {
      const double fi = (q + 0.5) / n;
      for (int r = 0; r < n; ++r) {
        const double fj = (r + 0.5) / n;
        // Each pair of opposite faces, interpolated across the cell.
        double values = 0.0;
        int pairs = 0;
        auto pair = [&](double a, double b, double t) {
          if (std::fabs(a) > kNoValue && std::fabs(b) > kNoValue) {
            values += a + (b - a) * t;
            ++pairs;
          }
        };
        // Faces across dim2 (in-face u along i, v along k).
        pair(InterpolateFace(fi, fk, s[0][0][0], s[0][1][0], s[1][1][0], s[1][0][0]),
             InterpolateFace(fi, fk, s[0][0][1], s[0][1][1], s[1][1][1], s[1][0][1]), fj);
        // Faces across dim1 (u along j, v along k).
        pair(InterpolateFace(fj, fk, s[0][0][0], s[0][0][1], s[1][0][1], s[1][0][0]),
             InterpolateFace(fj, fk, s[0][1][0], s[0][1][1], s[1][1][1], s[1][1][0]), fi);
        // Faces across the slices (u along i, v along j).
        pair(InterpolateFace(fi, fj, s[0][0][0], s[0][1][0], s[0][1][1], s[0][0][1]),
             InterpolateFace(fi, fj, s[1][0][0], s[1][1][0], s[1][1][1], s[1][0][1]), fk);
        if (pairs == 0) {
          // No value here: counted as below the iso-value.
          ++alerts;
          continue;
        }
        const double value = values / pairs;
        if (value < iso) continue;
        if (m_boxClip && !IsPointInBox(corner[0] + fi * (far[0] - corner[0]), corner[1] + fj * (far[1] - corner[1]),
                                       corner[2] + fk * (far[2] - corner[2]))) {
          continue;
        }
        count += 1.0;
        total += value;
      }
    }
  }
  const double share = 1.0 / (double(n) * n * n);
  *volume = count * share;
  *sum = total * share;
  return alerts;
}

// --- clip box ---

void Sd_Volume::PlaneFromPoints(const float p1[3], const float p2[3], const float p3[3], float plane[4]) {
  PlaneFromPoints3f(plane, p1, p2, p3);
}

double Sd_Volume::PlaneDistance(double x, double y, double z, const float plane[4]) {
  const double norm = std::sqrt(double(plane[0]) * plane[0] + double(plane[1]) * plane[1] + double(plane[2]) * plane[2]);
  if (norm == 0.0) return std::numeric_limits<double>::infinity();
  return std::fabs(plane[0] * x + plane[1] * y + plane[2] * z + plane[3]) / norm;
}

void Sd_Volume::SetClipBox(const float corners[8][3], float w0, float w1, float w2) {
  for (int c = 0; c < 8; ++c) {
    for (int axis = 0; axis < 3; ++axis) {
      m_boxRaw[c][axis] = corners[c][axis];
      const float* b = GetBounds(axis);
      const float extent = b[1] - b[0];
      m_boxCorners[c][axis] = extent != 0.0f ? (corners[c][axis] - b[0]) / extent : 0.0f;
    }
  }
  for (int f = 0; f < 6; ++f) {
    PlaneFromPoints(m_boxRaw[kFaceCorners[f][0]], m_boxRaw[kFaceCorners[f][1]], m_boxRaw[kFaceCorners[f][2]],
                    m_boxPlanes[f]);
  }
  m_boxWidths[0] = w0;
  m_boxWidths[1] = w1;
  m_boxWidths[2] = w2;
}

int Sd_Volume::IsPointInBox(double x, double y, double z) const {
  for (int f = 0; f < 6; ++f) {
    if (!(PlaneDistance(x, y, z, m_boxPlanes[f]) <= m_boxWidths[f / 2])) return 0;
  }
  return 1;
}

int Sd_Volume::IsVoxelInBox(int k, int i, int j) const {
  double p[3];
  SamplePosition(k, i, j, p);
  return IsPointInBox(p[0], p[1], p[2]);
}

void Sd_Volume::CropToBox() {
  if (m_boxClip && m_working) {
    const float iso = m_isoSample;
    for (int k = 0; k < m_slices; ++k) {
      for (int i = 0; i < m_dim1; ++i) {
        signed char* row = m_working + (static_cast<size_t>(k) * m_dim1 + i) * m_dim2;
        for (int j = 0; j < m_dim2; ++j) {
          if (row[j] >= iso && !IsVoxelInBox(k, i, j)) row[j] = 0;
        }
      }
    }
  }
  RebuildSurface();
}

// --- marked points ---

int Sd_Volume::AddMarkPoint(float a, float b, float c) {
  MarkPoint* point = new MarkPoint{{a, b, c}, m_markFirst, nullptr};
  if (m_markFirst) m_markFirst->previous = point;
  m_markFirst = point;
  if (!m_markLast) m_markLast = point;
  return 0;
}

Sd_Volume::MarkPoint* Sd_Volume::MarkPointAt(int position) const {
  MarkPoint* point = m_markFirst;
  for (int p = 1; point && p < position; ++p) point = point->next;
  return position >= 1 ? point : nullptr;
}

void Sd_Volume::RemoveMarkPoint(int position) {
  if (position == -1) {
    while (m_markFirst) {
      MarkPoint* next = m_markFirst->next;
      delete m_markFirst;
      m_markFirst = next;
    }
    m_markLast = m_markCurrent = nullptr;
    return;
  }
  MarkPoint* point = MarkPointAt(position);
  if (position >= 1) m_markCurrent = nullptr;
  if (!point) return;
  (point->previous ? point->previous->next : m_markFirst) = point->next;
  (point->next ? point->next->previous : m_markLast) = point->previous;
  delete point;
}

void Sd_Volume::SelectMarkPoint(int position) {
  if (MarkPoint* point = MarkPointAt(position)) m_markCurrent = point;
}
