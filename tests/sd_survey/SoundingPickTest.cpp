// Sounding data sets: the selection window (placement at the grid's edges,
// the radius shrinking to the grid, marks, lists, callbacks), its keyboard
// commands and outline, value look-ups, and the order of the window's list
// by every kind of key of both classes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "SoundingPickSupport.h"

using sounding_pick::Grid;
using sounding_pick::Selection;
using sounding_pick::Tilted;
using sounding_pick::Window;
using sounding_pick::WindowOf;

namespace {

struct CallbackLog {
  std::vector<std::pair<int, int>> calls;  // phase, count
  static void Record(int phase, const int*, int count, void* data) {
    static_cast<CallbackLog*>(data)->calls.emplace_back(phase, count);
  }
};

struct CellSelectLog {
  int calls = 0;
  float point[3] = {0, 0, 0};
  static void Record(const float p[3], const double*, const double*, void* data) {
    auto* log = static_cast<CellSelectLog*>(data);
    ++log->calls;
    std::copy(p, p + 3, log->point);
  }
};

template <class Set>
int MarkedCells(const Set& s) {
  int n = 0;
  for (int r = 0; r < s.GetRows(); ++r) {
    for (int c = 0; c < s.GetCols(); ++c) n += s.GetCell(r, c)->mark;
  }
  return n;
}

TEST(SoundingWindow, SitsInsideTheGridAndListsItsSoundingsInOrder) {
  auto s = Grid<Sd_HTFSounding>(10, 10, Tilted, 2);
  CallbackLog log;
  s->SetSelectCallback(CallbackLog::Record, &log);
  CellSelectLog cells;
  Sd_Node::SetCellSelectCallback(CellSelectLog::Record, &cells);

  s->SelectWindow(0, 0, 0);
  EXPECT_EQ(WindowOf(*s), (Window{0, 2, 0, 2}));
  int row, col;
  s->GetSelectionCentre(&row, &col);
  EXPECT_EQ(row, 1);
  EXPECT_EQ(col, 1);
  EXPECT_EQ(MarkedCells(*s), 9);
  // Two soundings a cell, in ascending z (key 30, flag clear).
  const std::vector<int> list = Selection(*s);
  ASSERT_EQ(list.size(), 18u);
  for (size_t k = 1; k < list.size(); ++k) {
    EXPECT_LE(s->GetRecords()[list[k - 1]].z, s->GetRecords()[list[k]].z);
  }
  EXPECT_EQ(cells.calls, 0) << "not centred";

  s->SelectWindow(9, 9, 1);
  EXPECT_EQ(WindowOf(*s), (Window{7, 9, 7, 9}));
  EXPECT_EQ(MarkedCells(*s), 9) << "the old window's marks are cleared";
  EXPECT_EQ(s->GetCell(0, 0)->mark, 0);
  EXPECT_EQ(s->GetCell(8, 8)->mark, 1);
  // Told before with the old list and after with the new (sorted, then
  // listed).
  const std::vector<std::pair<int, int>> expected = {{0, 0}, {1, 18}, {1, 18}, {0, 18}, {1, 18}, {1, 18}};
  EXPECT_EQ(log.calls, expected);
  ASSERT_EQ(cells.calls, 1);
  EXPECT_FLOAT_EQ(cells.point[0], 8.5f);
  EXPECT_FLOAT_EQ(cells.point[1], 8.5f);
  EXPECT_FLOAT_EQ(cells.point[2], s->GetCellHeight(8, 8));
  Sd_Node::SetCellSelectCallback(nullptr, nullptr);

  // A radius of 3 does not fit 5 rows: it becomes 5 / 2 - 1.
  auto small = Grid<Sd_Sounding>(5, 8, Tilted);
  small->SelectWindow(2, 4, 0);
  small->HandleSelectionCommand(2);
  EXPECT_EQ(small->GetSelectionRadius(), 2);
  EXPECT_EQ(WindowOf(*small), (Window{0, 4, 2, 6}));
  small->HandleSelectionCommand(2);
  EXPECT_EQ(small->GetSelectionRadius(), 1);
  EXPECT_EQ(WindowOf(*small), (Window{1, 3, 3, 5}));

  // Binning again clears the marks and drops the window; a data set
  // without cells selects nothing.
  ASSERT_EQ(s->UpdateCellStatistics(1), 0);
  EXPECT_EQ(WindowOf(*s), (Window{-1, -1, -1, -1}));
  EXPECT_TRUE(Selection(*s).empty());
  Sd_HTFSounding empty;
  empty.SelectWindow(0, 0, 1);
  empty.HandleSelectionCommand(12);
  EXPECT_EQ(WindowOf(empty), (Window{-1, -1, -1, -1}));
}

TEST(SoundingWindow, KeyboardCommandsMoveAndResizeIt) {
  auto s = Grid<Sd_HTFSounding>(12, 12, Tilted);
  s->SelectWindow(5, 5, 0);
  struct Step {
    int code;
    Window window;
    int radius;
  };
  const Step steps[] = {
      {4, {7, 9, 4, 6}, 1},     // down a window: centre row 8
      {8, {7, 9, 5, 7}, 1},     // right a cell
      {12, {3, 11, 2, 10}, 4},  // r + 3, around (7, 6)
      {11, {5, 9, 4, 8}, 2},    // r / 2
      {13, {5, 9, 2, 6}, 2},    // left by r
      {1, {6, 8, 3, 5}, 1},     // r - 1
      {5, {6, 8, 0, 2}, 1},     // left a window, held at the edge
      {17, {6, 8, 0, 2}, 1},    // nothing
      {3, {3, 5, 0, 2}, 1},     // up a window
  };
  for (const Step& step : steps) {
    s->HandleSelectionCommand(step.code);
    EXPECT_EQ(WindowOf(*s), step.window) << "code " << step.code;
    EXPECT_EQ(s->GetSelectionRadius(), step.radius) << "code " << step.code;
  }
  const int shaded = s->GetPreShaded();
  s->HandleSelectionCommand(19);
  EXPECT_EQ(s->GetPreShaded(), 1 - shaded);
}

TEST(SoundingWindow, OutlineRunsRoundTheCellBordersAboveTheCorners) {
  // Cell (1, 1) has no height: its corners take the data's floor.
  auto s = Grid<Sd_Sounding>(6, 7, [](int r, int c) { return r == 1 && c == 1 ? NAN : Tilted(r, c); });
  s->SelectWindow(0, 0, 0);
  int n = 0;
  const float* v = s->GetWindowOutline(&n);
  ASSERT_EQ(n, 12) << "4 s vertices for s = 3";
  double floor[6];
  s->GetDataBounds(floor);
  const auto corner = [&](int i, int j) {
    double sum = 0.0;
    int k = 0;
    for (int r = i - 1; r <= i; ++r) {
      for (int c = j - 1; c <= j; ++c) {
        if (r < 0 || r >= 6 || c < 0 || c >= 7) continue;
        const float h = s->GetCellHeight(r, c);
        sum += h == Sd_SoundingSet::kNoHeight ? floor[4] : h;
        ++k;
      }
    }
    return sum / k + 0.25;
  };
  // Round the window rows 0..2, columns 0..2 from its first corner.
  const int loop[12][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3},
                           {3, 3}, {3, 2}, {3, 1}, {3, 0}, {2, 0}, {1, 0}};
  for (int k = 0; k < 12; ++k) {
    const int i = loop[k][0], j = loop[k][1];
    EXPECT_FLOAT_EQ(v[3 * k], j / 7.0f - 0.5f) << k;
    EXPECT_FLOAT_EQ(v[3 * k + 1], i / 6.0f - 0.5f) << k;
    EXPECT_NEAR(v[3 * k + 2], corner(i, j), 1e-4) << k;
    EXPECT_NEAR(s->CornerHeight(i, j), corner(i, j), 1e-9) << k;
  }
  EXPECT_NEAR(s->CornerHeight(0, 0), Tilted(0, 0) + 0.25, 1e-5) << "one cell at the grid's corner";
}

struct QueryLog {
  int calls = 0;
  double x = 0, y = 0, value = 0;
  static void Record(double x, double y, double value, int, SDN_PickOut*, void* data) {
    auto* log = static_cast<QueryLog*>(data);
    ++log->calls;
    log->x = x;
    log->y = y;
    log->value = value;
  }
};

TEST(SoundingLookUp, ValueAtBlendsFourCellsAndTellsTheQueryCallback) {
  auto s = Grid<Sd_HTFSounding>(6, 8, [](int r, int c) { return r == 4 && c == 6 ? NAN : Tilted(r, c); });
  QueryLog log;
  Sd_Node::SetQueryCallback(QueryLog::Record, &log);
  const float* bx = s->GetBounds(0);
  const float* by = s->GetBounds(1);
  // Row position 2.25, column position 3.5: the plane's value there.
  const double x = bx[0] + 3.5 / 8 * (bx[1] - bx[0]);
  const double y = by[0] + 2.25 / 6 * (by[1] - by[0]);
  EXPECT_EQ(s->ValueAt(x, y, 7), 1);
  ASSERT_EQ(log.calls, 1);
  EXPECT_EQ(log.x, x);
  EXPECT_EQ(log.y, y);
  EXPECT_NEAR(log.value, -50.0 + 2.0 * 2.25 + 3.0 * 3.5, 1e-3);
  double qx, qy, qz;
  Sd_Node::GetQueryPoint(&qx, &qy, &qz);
  EXPECT_EQ(qz, log.value);
  EXPECT_EQ(Sd_Node::GetSharedPick()->colour, s->GetCellColor(2, 3));

  // The upper x bound lies in the bounds but past the last cell that has
  // a neighbour towards +x.
  EXPECT_EQ(s->ValueAt(bx[1], y, 7), 0);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(s->ValueAt(bx[0] - 1.0, y, 7), 0);
  // A missing neighbour: no value, though the callback is told.
  EXPECT_EQ(s->ValueAt(bx[0] + 5.5 / 8 * (bx[1] - bx[0]), by[0] + 3.5 / 6 * (by[1] - by[0]), 7), 0);
  EXPECT_EQ(log.calls, 2);
  Sd_Node::SetQueryCallback(nullptr, nullptr);

  // In the cell: the highest of the three heights that are there.
  float z = 0.0f;
  EXPECT_EQ(s->InterpolateCell(3, 5, 3.5f, 5.5f, &z), 1);
  EXPECT_FLOAT_EQ(z, static_cast<float>(Tilted(3, 6)));
  EXPECT_EQ(s->InterpolateCell(2, 2, 2.5f, 2.25f, &z), 1);
  EXPECT_NEAR(z, -50.0 + 2.0 * 2.5 + 3.0 * 2.25, 1e-4);
}

// --- sorting ---

// A key's value as the key tables define it, or none when the sounding
// lacks the frame, the run or the number the key needs.
using KeyValue = std::optional<std::pair<double, double>>;

KeyValue Value(double v) { return v == v ? KeyValue({v, 0.0}) : std::nullopt; }

// A key of a class's table, its direction (0: no such key) and its value as
// the table defines it.
template <class Set>
struct Key {
  int key, direction;
  std::function<KeyValue(const Set&, const typename Set::Record&)> value;
};

// Each key chosen twice: the list is ordered as a plain stable sort orders
// it (soundings with a value first, ascending, descending the second time
// or for a reversed key; then those without), or left for no such key.
template <class Set>
void CheckKeys(Set* s, const std::vector<Key<Set>>& keys) {
  for (const Key<Set>& k : keys) {
    SCOPED_TRACE("key " + std::to_string(k.key));
    for (int round = 0; round < 2; ++round) {
      std::vector<int> expected = Selection(*s);
      s->SortRecords(k.key, 0);
      EXPECT_EQ(s->GetSortDescending(), round) << "a new key clears the flag, the same key toggles it";
      if (k.direction != 0) {
        const auto of = [&](int i) { return k.value(*s, s->GetRecords()[i]); };
        const bool descending = (k.direction < 0) != (round == 1);
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
          if (!of(a) || !of(b)) return of(a) && !of(b);
          return descending ? *of(b) < *of(a) : *of(a) < *of(b);
        });
      }
      const std::vector<int> after = Selection(*s);
      EXPECT_EQ(after, expected);
      for (size_t i = 1; i < after.size(); ++i) {
        ASSERT_EQ(s->CompareRecords(static_cast<int>(i) - 1, static_cast<int>(i)), 0) << i;
      }
    }
  }
}

// Values drawn from few choices, so that ties abound.
template <class T>
T Few(std::mt19937& g, std::initializer_list<T> choices) {
  return choices.begin()[g() % choices.size()];
}

TEST(SoundingSort, HtfKeysOrderAsABruteForceStableSort) {
  auto s = Grid<Sd_HTFSounding>(3, 3, Tilted, 9);
  std::mt19937 g(7);
  std::vector<HTFSndRecord> r(s->GetRecords(), s->GetRecords() + s->GetSoundingCount());
  for (HTFSndRecord& x : r) {
    x.tpePosition = Few(g, {1.5f, -2.0f, NAN, 0.0f, -0.0f});
    x.field17 = Few(g, {0u, 7u, 0xFFFFFFF0u});
    x.date = Few(g, {20200101, 19991231, -5});
    x.field14 = Few(g, {3.0f, -1.0f, NAN});
    x.flags = Few<unsigned char>(g, {0, HTF_PLOTTED_FLAG, HTF_PLOTTED_FLAG | HTF_NBA_FLAG});
    x.fixNumber = Few(g, {-3, 4, 1 << 30});
    x.lat = Few<double>(g, {59.12345678901234, -0.1, 1e-300, 3.0, NAN});
  }
  s = sounding_pick::Binned<Sd_HTFSounding>(r);
  s->SelectWindow(1, 1, 0);
  ASSERT_EQ(Selection(*s).size(), 81u);
  // Numbers (narrow and wide), reversed, flags, unknown keys.
  using K = Key<Sd_HTFSounding>;
  const auto flag = [](auto&, const HTFSndRecord& r) { return Value((r.flags & HTF_PLOTTED_FLAG) != 0); };
  CheckKeys(s.get(), {K{0, 1, [](auto&, auto& r) { return Value(r.tpePosition); }},
                      K{4, 1, [](auto&, auto& r) { return Value(r.field17); }},
                      K{5, -1, [](auto&, auto& r) { return Value(r.date); }},
                      K{7, -1, [](auto&, auto& r) { return Value(r.field14); }}, K{12, 1, flag},
                      K{42, 1, [](auto&, auto& r) { return Value(r.fixNumber); }}, K{9, 0, nullptr},
                      K{30, 1, [](auto&, auto& r) { return Value(r.z); }},
                      K{38, 1, [](auto&, auto& r) { return Value(r.lat); }}, K{-1, 0, nullptr}});
}

TEST(SoundingSort, FsdKeysOrderAsABruteForceStableSort) {
  auto grid = Grid<Sd_Sounding>(3, 3, Tilted, 9);
  std::mt19937 g(11);
  std::vector<FsdSndRecord> r(grid->GetRecords(), grid->GetRecords() + grid->GetSoundingCount());
  for (FsdSndRecord& x : r) {
    x.primaryConf[2] = Few<signed char>(g, {-128, 0, 5, 127});
    x.flags = Few<unsigned char>(g, {0, FSD_NOACCEPT_FLAG, FSD_NOACCEPT_FLAG | FSD_DELETE_FLAG});
    x.sndCount = Few(g, {0, 24, 25, 48, -1, 71});
    x.frameIdx = Few(g, {0, 1, 2, 3, 9, -1});  // 3 names a frame whose run is missing; 9, -1 none
  }
  std::vector<FsdFrameRecord> frames(4, FsdFrameRecord{});
  std::vector<FsdRunRecord> runs(2, FsdRunRecord{});
  for (int i = 0; i < 4; ++i) {
    frames[i].runIdx = i == 3 ? 5 : i % 2;
    frames[i].conf[1] = i % 2 ? 4 : -4;
    frames[i].depthCorr = i == 2 ? NAN : 0.25f * (i % 2);
  }
  runs[0] = FsdRunRecord{};
  runs[0].id = 9;
  runs[0].year = 2001;
  runs[0].day = 40;
  runs[1].id = -9;
  runs[1].year = 2001;
  runs[1].day = 3;
  std::unique_ptr<Sd_Sounding> s(new Sd_Sounding());
  s->SetCellSize(sounding_pick::kCell);
  ASSERT_EQ(s->SetRuns(runs.data(), 2), 0);
  ASSERT_EQ(s->SetFrames(frames.data(), 4), 0);
  ASSERT_EQ(s->SetSoundings(r.data(), static_cast<int>(r.size())), 0);
  ASSERT_EQ(s->UpdateCellStatistics(1), 0);
  s->SelectWindow(1, 1, 0);
  ASSERT_EQ(Selection(*s).size(), 81u);
  // Numbers, frame and run keys, a reversed flag, keys through SplitHours,
  // z (reversed), unknown keys.
  using K = Key<Sd_Sounding>;
  const auto frame = [](const Sd_Sounding& f, const FsdSndRecord& r) { return f.GetFrame(r.frameIdx, nullptr); };
  const auto run = [](const Sd_Sounding& f, const FsdSndRecord& r) { return f.GetRunOfFrame(r.frameIdx, nullptr); };
  const auto split = [](const FsdSndRecord& r, bool day) {
    int d = 0, h = 0;
    Sd_SoundingSet::SplitHours(r.sndCount, &d, &h);
    return Value(day ? d : h);
  };
  CheckKeys(s.get(),
            {K{2, 1, [](auto&, auto& r) { return Value(r.primaryConf[2]); }},
             K{5, 1, [&](auto& f, auto& r) { return frame(f, r) ? Value(frame(f, r)->conf[1]) : std::nullopt; }},
             K{15, 1, [&](auto& f, auto& r) { return frame(f, r) ? Value(frame(f, r)->depthCorr) : std::nullopt; }},
             K{17, 1,
               [&](auto& f, auto& r) {
                 return run(f, r) ? KeyValue({run(f, r)->year, run(f, r)->day}) : std::nullopt;
               }},
             K{33, 1, [&](auto& f, auto& r) { return run(f, r) ? Value(run(f, r)->id) : std::nullopt; }},
             K{14, -1, [](auto&, auto& r) { return Value((r.flags & FSD_NOACCEPT_FLAG) != 0); }},
             K{42, 1, [&](auto&, auto& r) { return split(r, true); }},
             K{43, 1, [&](auto&, auto& r) { return split(r, false); }},
             K{30, -1, [](auto&, auto& r) { return Value(r.z); }}, K{25, 0, nullptr}, K{44, 0, nullptr}});
}

TEST(SoundingSort, CurrentKeyTogglesAndAnEmptyListOnlyChangesTheKey) {
  // The current key is 30: choosing it first sets the flag.
  auto htf = Grid<Sd_HTFSounding>(3, 3, Tilted, 3);
  htf->SelectWindow(1, 1, 0);
  htf->SortRecords(30, 0);
  EXPECT_EQ(htf->GetSortDescending(), 1);
  std::vector<int> list = Selection(*htf);
  for (size_t k = 1; k < list.size(); ++k) EXPECT_GE(htf->GetRecords()[list[k - 1]].z, htf->GetRecords()[list[k]].z);
  auto fsd = Grid<Sd_Sounding>(3, 3, Tilted, 3);
  fsd->SelectWindow(1, 1, 0);
  fsd->SortRecords(30, 0);
  list = Selection(*fsd);
  for (size_t k = 1; k < list.size(); ++k) EXPECT_LE(fsd->GetRecords()[list[k - 1]].z, fsd->GetRecords()[list[k]].z);
  // Out of order: the pair is to be exchanged.
  htf->SortRecords(30, 0);
  EXPECT_EQ(htf->CompareRecords(0, 1), 0);
  EXPECT_EQ(htf->CompareRecords(1, 0), 1);

  Sd_Sounding empty;
  CallbackLog log;
  empty.SetSelectCallback(CallbackLog::Record, &log);
  empty.SortRecords(5, 0);
  EXPECT_EQ(empty.GetSortKey(), 5);
  EXPECT_EQ(empty.GetSortDescending(), 0);
  empty.SortRecords(5, 0);
  EXPECT_EQ(empty.GetSortDescending(), 1);
  empty.SortRecords(5, 1);
  EXPECT_EQ(empty.GetSortDescending(), 1);
  EXPECT_TRUE(log.calls.empty());
}

TEST(SoundingSort, SplitHoursCountsDaysFromOne) {
  const int cases[][3] = {{0, 0, 24},
                          {24, 1, 24},
                          {25, 2, 1},
                          {48, 2, 24},
                          {-1, 0, 23},
                          {-24, -1, 24},
                          {std::numeric_limits<int>::max(), 89478486, 7}};
  for (const auto& c : cases) {
    int day = -99, hour = -99;
    Sd_SoundingSet::SplitHours(c[0], &day, &hour);
    EXPECT_EQ(day, c[1]) << c[0];
    EXPECT_EQ(hour, c[2]) << c[0];
  }
}

}  // namespace
