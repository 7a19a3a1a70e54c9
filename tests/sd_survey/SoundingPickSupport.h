#ifndef ORVANTA_TESTS_SD_SURVEY_SOUNDINGPICKSUPPORT_H
#define ORVANTA_TESTS_SD_SURVEY_SOUNDINGPICKSUPPORT_H

// Sounding data sets laid on a known cell grid for the picking, selection
// and sorting tests: cells of 10 m from (1000, 2000), one or more soundings
// per cell at heights the test chooses.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "Sd_HTFSounding.h"
#include "Sd_Sounding.h"

namespace sounding_pick {

constexpr double kX0 = 1000.0;
constexpr double kY0 = 2000.0;
constexpr float kCell = 10.0f;

// Height of the soundings of cell (row, col); NaN leaves the cell empty.
using HeightFn = std::function<double(int row, int col)>;

// Soundings of a rows x cols grid: perCell soundings in each cell that
// has a height, the k-th half a metre east of the (k-1)-th and k metres
// below the first. The grid's corner cells must hold soundings (they set
// its extent).
template <class Rec>
std::vector<Rec> GridRecords(int rows, int cols, int perCell, const HeightFn& height) {
  std::vector<Rec> r;
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < cols; ++col) {
      const double h = height(row, col);
      if (h != h) continue;
      for (int k = 0; k < perCell; ++k) {
        Rec s{};
        s.x = kX0 + kCell * col + 0.5 * k;
        s.y = kY0 + kCell * row;
        s.z = h - k;
        s.depth = static_cast<float>(-s.z);
        s.id = static_cast<int>(r.size());
        r.push_back(s);
      }
    }
  }
  return r;
}

template <class Set>
std::unique_ptr<Set> Binned(const std::vector<typename Set::Record>& r) {
  std::unique_ptr<Set> s(new Set());
  s->SetCellSize(kCell);
  EXPECT_EQ(s->SetSoundings(r.data(), static_cast<int>(r.size())), 0);
  EXPECT_EQ(s->UpdateCellStatistics(1), 0);
  return s;
}

template <class Set>
std::unique_ptr<Set> Grid(int rows, int cols, const HeightFn& height, int perCell = 1) {
  std::unique_ptr<Set> s = Binned<Set>(GridRecords<typename Set::Record>(rows, cols, perCell, height));
  EXPECT_EQ(s->GetRows(), rows);
  EXPECT_EQ(s->GetCols(), cols);
  return s;
}

// A tilted plane: 2 m a row and 3 m a column from 50 m below zero.
inline double Tilted(int row, int col) { return -50.0 + 2.0 * row + 3.0 * col; }

struct Window {
  int r0, r1, c0, c1;
  bool operator==(const Window& o) const { return r0 == o.r0 && r1 == o.r1 && c0 == o.c0 && c1 == o.c1; }
};

inline Window WindowOf(const Sd_SoundingSet& s) {
  Window w;
  s.GetWindow(&w.r0, &w.r1, &w.c0, &w.c1);
  return w;
}

inline std::ostream& operator<<(std::ostream& o, const Window& w) {
  return o << "rows " << w.r0 << ".." << w.r1 << ", columns " << w.c0 << ".." << w.c1;
}

inline std::vector<int> Selection(const Sd_SoundingSet& s) {
  int n = 0;
  const int* list = s.GetSelection(&n);
  return std::vector<int>(list, list + n);
}

}  // namespace sounding_pick

#endif
