// Sounding data sets: the cell grid (shape, lists, heights, normals,
// spreads), the record filters of both classes, the attribute data ranges,
// and binning as loading does it (after the attribute record, from the
// data's own bounds).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AllocationWatch.h"
#include "Sd_LoadBudget.h"
#include "SoundingTestSupport.h"
#include "Sv_Debug.h"
#include "TestSupport.h"

using orvanta_test::TempDir;
using sounding_test::Child;

namespace {

using sounding_test::Sounding;

std::unique_ptr<Sd_HTFSounding> Survey(const std::vector<HTFSndRecord>& r, float cellSize) {
  std::unique_ptr<Sd_HTFSounding> s(new Sd_HTFSounding());
  s->SetCellSize(cellSize);
  EXPECT_EQ(s->SetSoundings(r.data(), static_cast<int>(r.size())), 0);
  return s;
}

// Writes count copies of the set's record into one SD file and reads it.
std::unique_ptr<dtm_test::ReadResult> ReadCopies(const Sd_HTFSounding& set, int count, const std::string& path) {
  dtm_test::SDWriter w(path);
  for (int i = 0; i < count; ++i) EXPECT_EQ(set.WriteDataRecord(w.Manager(), 2), 0);
  EXPECT_TRUE(w.Close());
  return dtm_test::ReadSD(path);
}

// The record indices of a cell's chain, from its first sounding on.
template <class Set>
std::vector<int> Chain(const Set& s, int row, int col) {
  std::vector<int> chain;
  const Sd_SoundingCell* cell = s.GetCell(row, col);
  for (int i = cell ? cell->first : -1; i >= 0 && chain.size() <= 100000; i = s.GetRecords()[i].nextInCell) {
    chain.push_back(i);
  }
  return chain;
}

template <class Set>
std::vector<int> CellRun(const Set& s, int row, int col) {
  int count = 0;
  const int* run = s.GetCellSoundings(row, col, &count);
  return run ? std::vector<int>(run, run + count) : std::vector<int>();
}

// The grid's lists as inserting the records one by one in index order
// gives them: each walks its cell's list while its z is below the entry's,
// and goes in before the first entry whose z is not above its own.
template <class Set>
std::vector<std::vector<int>> InsertionLists(Set& s) {
  const int rows = s.GetRows(), cols = s.GetCols();
  const double x0 = s.GetBounds(0)[0], y0 = s.GetBounds(1)[0], size = s.GetCellSize();
  const auto* r = s.GetRecords();
  std::vector<int> first(static_cast<size_t>(rows) * cols, -1), next(static_cast<size_t>(s.GetSoundingCount()), -1);
  for (int i = 0; i < s.GetSoundingCount(); ++i) {
    if (!r[i].inGrid) continue;
    const int row = static_cast<int>(std::trunc((r[i].y - y0) / size));
    const int col = static_cast<int>(std::trunc((r[i].x - x0) / size));
    int* link = &first[static_cast<size_t>(row) * cols + col];
    while (*link != -1 && r[i].z < r[*link].z) link = &next[static_cast<size_t>(*link)];
    next[static_cast<size_t>(i)] = *link;
    *link = i;
  }
  std::vector<std::vector<int>> lists(first.size());
  for (size_t c = 0; c < first.size(); ++c) {
    for (int i = first[c]; i >= 0; i = next[static_cast<size_t>(i)]) lists[c].push_back(i);
  }
  return lists;
}

template <class Set>
void ExpectInsertionLists(Set& s) {
  const std::vector<std::vector<int>> lists = InsertionLists(s);
  int longest = 0;
  for (int row = 0; row < s.GetRows(); ++row) {
    for (int col = 0; col < s.GetCols(); ++col) {
      const std::vector<int>& expected = lists[static_cast<size_t>(row) * s.GetCols() + col];
      ASSERT_EQ(Chain(s, row, col), expected) << "cell " << row << ", " << col;
      ASSERT_EQ(CellRun(s, row, col), expected) << "cell " << row << ", " << col;
      ASSERT_EQ(s.GetCell(row, col)->count, static_cast<int>(expected.size()));
      longest = std::max(longest, static_cast<int>(expected.size()));
    }
  }
  EXPECT_EQ(s.GetMaxCellCount(), longest);
}

struct BusyLog {
  static std::vector<int> calls;
  static void Hear(int a, int b, void*) { calls.push_back(10 * a + b); }
};
std::vector<int> BusyLog::calls;

}  // namespace

// Data from x 0 to 1000 and y 0 to 500 in cells of 100: three soundings of
// z -5, -7, -5 in one cell, three of z 10, 12, 14 in another, and a lone
// sounding that is not plotted, hidden in a second pass.
TEST(SoundingGrid, ShapeListsHeightsNormalsAndSpreadOfTheExamples) {
  std::vector<HTFSndRecord> r = {Sounding(0, 0, -20),    Sounding(1000, 500, -30), Sounding(450, 250, -5),
                                 Sounding(460, 260, -7), Sounding(470, 270, -5),   Sounding(150, 450, 10),
                                 Sounding(160, 440, 12), Sounding(170, 430, 14),   Sounding(850, 50, -1, 0)};
  auto s = Survey(r, 100.0f);
  BusyLog::calls.clear();
  Sd_Node::SetBusyCallback(BusyLog::Hear, nullptr);
  ASSERT_EQ(s->UpdateCellStatistics(1), 0);
  Sd_Node::SetBusyCallback(nullptr, nullptr);
  EXPECT_EQ(BusyLog::calls, std::vector<int>({11, 0}));

  EXPECT_EQ(s->GetRows(), 6);
  EXPECT_EQ(s->GetCols(), 11);
  EXPECT_EQ(s->GetBounds(0)[0], -10.0f);
  EXPECT_EQ(s->GetBounds(0)[1], 1090.0f);
  EXPECT_EQ(s->GetBounds(1)[0], -10.0f);
  EXPECT_EQ(s->GetBounds(1)[1], 590.0f);
  double ranges[3];
  s->GetDataRanges(ranges);
  EXPECT_EQ(ranges[0], 1100.0);
  EXPECT_EQ(ranges[1], 600.0);

  // The third, the first, the second: equal z puts the later record first.
  EXPECT_EQ(Chain(*s, 2, 4), std::vector<int>({4, 2, 3}));
  EXPECT_EQ(CellRun(*s, 2, 4), std::vector<int>({4, 2, 3}));
  EXPECT_EQ(s->GetMaxCellCount(), 3);
  const float expected[3] = {-7.0f, -5.0f, -17.0f / 3.0f};
  for (int mode : {0, 1, 2}) {
    s->SetSurfaceMode(mode);
    EXPECT_EQ(s->GetCellHeight(2, 4), expected[mode]) << "surface mode " << mode;
  }
  s->SetSurfaceMode(7);
  EXPECT_EQ(s->GetCellHeight(2, 4), expected[2]) << "another mode leaves the heights";
  s->SetSurfaceMode(1);

  // Spread of 10, 12 and 14: sqrt(8/3); of a single sounding 0.
  EXPECT_EQ(s->GetCell(4, 1)->stdDev, static_cast<float>(std::sqrt(8.0 / 3.0)));
  EXPECT_EQ(s->CellStdDev(4, 1), static_cast<float>(std::sqrt(8.0 / 3.0)));
  EXPECT_EQ(s->CellStdDev(0, 0), 0.0f);
  EXPECT_EQ(s->CellStdDev(-1, 0), 0.0f);
  float low, high;
  s->GetStdDevRange(&low, &high);
  EXPECT_EQ(low, 0.0f);
  EXPECT_EQ(high, static_cast<float>(std::sqrt(8.0 / 3.0)));

  // The lone sounding that is not plotted: hidden while only plotted ones
  // count, its cell keeps the count and has no height and no spread.
  s->SetFilter(1, 1);
  ASSERT_EQ(s->UpdateCellStatistics(1), 0);
  EXPECT_EQ(s->GetCell(0, 8)->count, 1);
  EXPECT_EQ(s->GetCellHeight(0, 8), Sd_SoundingSet::kNoHeight);
  EXPECT_EQ(s->GetCell(0, 8)->stdDev, 0.0f);

  // Normals: none without height, straight up for a cell alone.
  const float* none = s->GetCellNormal(0, 8);
  EXPECT_EQ(none[0], 0.0f);
  EXPECT_EQ(none[2], 0.0f);
  const float* alone = s->GetCellNormal(0, 0);
  EXPECT_EQ(alone[0], 0.0f);
  EXPECT_EQ(alone[1], 0.0f);
  EXPECT_EQ(alone[2], 1.0f);
}

// Face normals: a row step first, a column step second, heights in data
// units. Cells of 10 from (14, 4): (1, 1) at height 0, its right
// neighbour at 1 and the one below at 2, (0, 0) at 5, and (3, 3) alone.
TEST(SoundingGrid, FaceNormalsFollowTheQuadrantTable) {
  auto s = Survey(
      {Sounding(29, 19, 0), Sounding(39, 19, 1), Sounding(29, 9, 2), Sounding(15, 5, 5), Sounding(45, 35, 0)}, 10.0f);
  ASSERT_EQ(s->UpdateCellStatistics(0), 0);
  ASSERT_EQ(s->GetRows(), 4);
  ASSERT_EQ(s->GetCols(), 4);
  ASSERT_EQ(s->GetCellHeight(0, 1), 2.0f);
  float n[3];
  ASSERT_EQ(s->ComputeFaceNormal(n, 1, 1, 0), 1);
  const float k = 1.0f / std::sqrt(6.0f);
  EXPECT_FLOAT_EQ(n[0], 2 * k);
  EXPECT_FLOAT_EQ(n[1], -k);
  EXPECT_FLOAT_EQ(n[2], k);
  for (int q : {1, 2, 3}) EXPECT_EQ(s->ComputeFaceNormal(n, 1, 1, q), 0) << "quadrant " << q;
  EXPECT_EQ(s->ComputeFaceNormal(n, 0, 1, 0), 0) << "a neighbour outside the grid";
  const float* one = s->GetCellNormal(1, 1);
  EXPECT_FLOAT_EQ(one[0], 2 * k);
  EXPECT_FLOAT_EQ(one[1], -k);
  EXPECT_FLOAT_EQ(one[2], k);
  // (0, 1) has the face of quadrant 2 only: (0, 0) at 5 and (1, 1) at 0.
  const float* two = s->GetCellNormal(0, 1);
  const float m = 1.0f / std::sqrt(14.0f);
  EXPECT_FLOAT_EQ(two[0], 2 * m);
  EXPECT_FLOAT_EQ(two[1], 3 * m);
  EXPECT_FLOAT_EQ(two[2], m);
  EXPECT_EQ(s->GetCellNormal(3, 3)[2], 1.0f);
}

// Random soundings with many equal depths (0 and -0 among them): the
// lists are those of the insertion walk, in both classes, for z that are
// floats (as loaded) and for z that differ below float precision.
TEST(SoundingGrid, ListsEqualTheInsertionWalkOnRandomData) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> place(0.0, 60.0);
  const double depths[] = {-1.0, -2.0, 2.5, -3.0, 0.0, -0.0, -2.0 - 1e-9};
  std::vector<HTFSndRecord> htf;
  std::vector<FsdSndRecord> fsd;
  for (int i = 0; i < 3000; ++i) {
    const double x = place(random), y = place(random) / 2.0;
    const int d = static_cast<int>(random() % 7);
    htf.push_back(Sounding(x, y, depths[d % 6]));
    FsdSndRecord f{};
    f.x = x;
    f.y = y;
    f.z = depths[d];
    fsd.push_back(f);
  }
  htf[17].x = std::numeric_limits<double>::quiet_NaN();
  auto h = Survey(htf, 7.0f);
  ASSERT_EQ(h->UpdateCellStatistics(1), 0);
  ASSERT_EQ(h->GetCols(), 9);
  ASSERT_EQ(h->GetRecords()[17].nextInCell, -1);
  ExpectInsertionLists(*h);

  Sd_Sounding s;
  s.SetCellSize(4.0f);
  ASSERT_EQ(s.SetSoundings(fsd.data(), static_cast<int>(fsd.size())), 0);
  ASSERT_EQ(s.UpdateCellStatistics(1), 0);
  ExpectInsertionLists(s);
  // A rebin in place (same size) gives the same lists again.
  ASSERT_EQ(s.UpdateCellStatistics(1), 0);
  ExpectInsertionLists(s);
}

// One case per filter of each class: switched on alone, it hides the
// soundings with its bit set (or, "plotted only", clear).
TEST(SoundingGrid, FiltersOfBothClasses) {
  struct Case {
    int filter;
    unsigned char bit;
    bool hidesWhenSet;
  };
  const Case htf[] = {{0, HTF_REJECTED_FLAG, true}, {1, HTF_PLOTTED_FLAG, false}, {2, HTF_NBA_FLAG, true}};
  const Case fsd[] = {
      {0, FSD_NOACCEPT_FLAG, true}, {1, FSD_DELETE_FLAG, true}, {2, FSD_ANOMALY_FLAG, true}, {3, FSD_NBA_FLAG, true}};
  std::vector<HTFSndRecord> hr = {Sounding(0, 0, -1, 0), Sounding(1, 0, -1, 0)};
  std::vector<FsdSndRecord> fr(2, FsdSndRecord{});
  Sd_HTFSounding h;
  Sd_Sounding f;
  EXPECT_EQ(h.GetFilter(0), 1) << "hide rejected starts on";
  EXPECT_EQ(f.GetFilter(1), 1) << "hide deleted starts on";
  for (int i = 0; i < 4; ++i) {
    h.SetFilter(i, 0);
    f.SetFilter(i, 0);
  }
  const auto check = [](Sd_SoundingSet& set, auto& records, const Case& c, auto setRecords) {
    SCOPED_TRACE(std::string(set.className()) + " filter " + std::to_string(c.filter));
    records[0].flags = static_cast<unsigned char>(0xFF & ~c.bit);
    records[1].flags = c.bit;
    setRecords(records);
    set.SetFilter(c.filter, 0);
    EXPECT_EQ(set.IsSoundingShown(0), 1);
    EXPECT_EQ(set.IsSoundingShown(1), 1);
    set.SetFilter(c.filter, 1);
    EXPECT_EQ(set.IsSoundingShown(0), c.hidesWhenSet ? 1 : 0);
    EXPECT_EQ(set.IsSoundingShown(1), c.hidesWhenSet ? 0 : 1);
    EXPECT_EQ(set.IsSoundingShown(2), 0) << "beyond the records";
    set.SetFilter(c.filter, 0);
  };
  for (const Case& c : htf) check(h, hr, c, [&](auto& r) { h.SetSoundings(r.data(), 2); });
  for (const Case& c : fsd) check(f, fr, c, [&](auto& r) { f.SetSoundings(r.data(), 2); });
}

// The attribute data ranges: HTF from its record fields and the day of the
// year, FSD from its soundings and their frames (a sounding without a
// frame feeds only its own); 19, 20 and 21 from the grid; the rest empty.
TEST(SoundingGrid, AttributeRangesOfBothClasses) {
  std::vector<HTFSndRecord> hr = {Sounding(0, 0, -10), Sounding(50, 0, -20), Sounding(51, 1, -30)};
  const float tpe[3] = {0.5f, -1.5f, 2.0f};
  const int dates[3] = {20240229, 20230101, 0};
  for (int i = 0; i < 3; ++i) {
    hr[i].tpePosition = tpe[i];
    hr[i].tpeDepth = 10.0f * tpe[i];
    hr[i].dwCorrection = -tpe[i];
    hr[i].vbCorrection = tpe[i] + 1.0f;
    hr[i].field17 = 4000000000u - static_cast<unsigned>(i);
    hr[i].date = dates[i];
    hr[i].lineName = 7 - i;
    hr[i].field14 = std::numeric_limits<float>::quiet_NaN();
  }
  hr[1].field14 = 3.0f;
  auto h = Survey(hr, 10.0f);
  ASSERT_EQ(h->UpdateCellStatistics(1), 0);
  const float expected[8][2] = {{-1.5f, 2.0f}, {-15.0f, 20.0f}, {-2.0f, 1.5f}, {-0.5f, 3.0f},
                                {4e9f, 4e9f},  {0.0f, 60.0f},   {5.0f, 7.0f},  {3.0f, 3.0f}};
  float lo, hi;
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(h->GetAttributeDataRange(k, &lo, &hi), 1);
    EXPECT_EQ(lo, expected[k][0]) << "HTF attribute " << k;
    EXPECT_EQ(hi, expected[k][1]) << "HTF attribute " << k;
  }
  for (int k : {8, 15, 16, 18, 22}) {
    h->GetAttributeDataRange(k, &lo, &hi);
    EXPECT_EQ(lo, 1.0e12f) << k;
    EXPECT_EQ(hi, -1.0e12f) << k;
  }
  double bounds[6];
  h->GetDataBounds(bounds);
  h->GetAttributeDataRange(20, &lo, &hi);
  EXPECT_EQ(lo, static_cast<float>(bounds[4]));
  EXPECT_EQ(hi, -10.0f);
  h->GetAttributeDataRange(21, &lo, &hi);
  EXPECT_EQ(hi, 2.0f) << "two soundings share a cell";
  h->GetAttributeDataRange(19, &lo, &hi);
  EXPECT_EQ(lo, 0.0f);
  EXPECT_EQ(hi, 5.0f);
  EXPECT_EQ(h->GetAttributeDataRange(23, &lo, &hi), 0);
  EXPECT_EQ(h->GetAttributeDataRange(-1, &lo, &hi), 0);

  Sd_Sounding f;
  std::vector<FsdRunRecord> runs(1, FsdRunRecord{});
  std::vector<FsdFrameRecord> frames(2, FsdFrameRecord{});
  frames[0] = FsdFrameRecord{0, 1, 2, {3, -4, 5}, 0.25f, 2, 9};
  frames[1] = FsdFrameRecord{5, 1, 2, {-3, 4, 6}, -0.75f, 1, 9};
  std::vector<FsdSndRecord> fr(3, FsdSndRecord{});
  for (int i = 0; i < 3; ++i) {
    fr[i].x = 10.0 * i;
    fr[i].z = -i;
    fr[i].frameIdx = i;  // the third names no frame
    for (int k = 0; k < 4; ++k) {
      fr[i].primaryConf[k] = static_cast<signed char>(k + i);
      fr[i].secondConf[k] = static_cast<signed char>(-k - 3 * i);
    }
  }
  ASSERT_EQ(f.SetRuns(runs.data(), 1), 0);
  ASSERT_EQ(f.SetFrames(frames.data(), 2), 0);
  ASSERT_EQ(f.SetSoundings(fr.data(), 3), 0);
  f.SetCellSize(5.0f);
  ASSERT_EQ(f.UpdateCellStatistics(1), 0);
  const struct {
    int k;
    float lo, hi;
  } fsd[] = {{0, 0, 2},    {3, 3, 5},           {4, -3, 3}, {5, -4, 4},          {6, 5, 6},          {7, -6, 0},
             {10, -9, -3}, {15, -0.75f, 0.25f}, {16, 1, 2}, {17, 1e12f, -1e12f}, {22, 1e12f, -1e12f}};
  for (const auto& e : fsd) {
    f.GetAttributeDataRange(e.k, &lo, &hi);
    EXPECT_EQ(lo, e.lo) << "FSD attribute " << e.k;
    EXPECT_EQ(hi, e.hi) << "FSD attribute " << e.k;
  }

  // The frame and run look-ups the ranges go through.
  int index = 7;
  EXPECT_EQ(f.GetFrame(1, &index), &f.GetFrames()[1]);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(f.GetFrame(-1, &index), nullptr);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(f.GetFrame(2, &index), nullptr);
  EXPECT_EQ(f.GetRunOfFrame(0, &index), &f.GetRuns()[0]);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(f.GetRunOfFrame(1, &index), nullptr) << "frame 1 names run 5";
  EXPECT_EQ(index, -1);
}

// Loading bins once the attribute record has set the filters and the
// surface mode, and lays the grid from the data's own bounds, whatever a
// georeference record after the data says.
TEST(SoundingGrid, LoadingBinsWithTheStoredSettingsAndTheDataBounds) {
  // One cell: z -5 plotted, -7 not plotted, -6 plotted.
  auto set = Survey({Sounding(10, 10, -5), Sounding(20, 20, -7, 0), Sounding(30, 30, -6)}, 100.0f);
  set->SetFilter(0, 0);
  set->SetFilter(1, 1);
  set->SetSurfaceMode(0);
  // The georeference that the common tags write comes from these bounds.
  set->SetBounds(0, 5000.0f, 9000.0f);
  set->SetBounds(1, -3.0f, 1.0f);
  TempDir dir;
  ASSERT_TRUE(sounding_test::WriteData(dir.file("stored.sd"), {set.get()}));
  auto read = dtm_test::ReadSD(dir.file("stored.sd"));
  Sd_HTFSounding* s = Child<Sd_HTFSounding>(*read, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetSurfaceMode(), 0);
  EXPECT_EQ(s->GetCellHeight(0, 0), -6.0f) << "deepest of the plotted soundings";
  EXPECT_EQ(Chain(*s, 0, 0), std::vector<int>({0, 2, 1}));
  EXPECT_EQ(s->GetBounds(0)[0], 0.0f);
  EXPECT_EQ(s->GetBounds(0)[1], 100.0f);
  EXPECT_EQ(s->GetBounds(1)[1], 100.0f);
}

// Data sets that give no grid or a doubtful one: none crashes or allocates
// beyond its file; those that cannot be laid on a grid are refused with a
// message that says why, and the object after them loads.
TEST(SoundingGrid, DegenerateDataAndCellSizesNeitherCrashNorOverAllocate) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::vector<HTFSndRecord> records;
    float cellSize;
    int rows, cols;       // of the grid when loaded (0 x 0: none)
    const char* refusal;  // the message of a refusal, null when it loads
  };
  const std::vector<HTFSndRecord> line = {Sounding(0, 5, -1), Sounding(40, 5, -2), Sounding(90, 5, -3)};
  const std::vector<HTFSndRecord> spread = {Sounding(0, 0, -1), Sounding(40, 40, -2), Sounding(90, 60, -3)};
  const Case cases[] = {
      {"no soundings", {}, 100.0f, 0, 0, nullptr},
      {"one sounding", {Sounding(3, 4, -1)}, 100.0f, 1, 1, nullptr},
      {"one sounding, no cell size", {Sounding(3, 4, -1)}, 0.0f, 0, 0, "none can be derived"},
      {"soundings on a line", line, 100.0f, 1, 2, nullptr},
      {"soundings on a line, no cell size", line, 0.0f, 0, 0, "none can be derived"},
      {"coordinates not a number", {Sounding(nan, 4, -1), Sounding(3, nan, -1)}, 100.0f, 0, 0, nullptr},
      {"cell size 0: derived", spread, 0.0f, 1, 1, nullptr},
      {"cell size -1: derived", spread, -1.0f, 1, 1, nullptr},
      {"cell size not a number: derived", spread, static_cast<float>(nan), 1, 1, nullptr},
      {"cell size 1e-30", spread, 1e-30f, 0, 0, "more than the"},
      {"cell size giving 33 x 22 cells to 3 soundings", spread, 90.0f / 32.0f, 22, 33, nullptr},
  };
  TempDir dir;
  auto next = sounding_test::MakeHTF(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto set = Survey(c.records, c.cellSize);
    const std::string path = dir.file("degenerate.sd");
    ASSERT_TRUE(sounding_test::WriteData(path, {set.get(), next.get()}));
    const size_t fileSize = orvanta_test::ReadFileBytes(path).size();
    dtm_test::Messages messages;
    orvanta_test::AllocationWatch watch;
    auto read = dtm_test::ReadSD(path);
    watch.Stop();
    // Beyond the file, only the grid's own arrays.
    const size_t gridBytes =
        static_cast<size_t>(c.rows) * c.cols * std::max(sizeof(Sd_SoundingCell), 3 * sizeof(float));
    EXPECT_LE(watch.Largest(), fileSize + orvanta_test::AllocationWatch::kFixedAllocations + gridBytes);
    ASSERT_EQ(read->children.size(), c.refusal ? 1u : 2u);
    if (c.refusal) {
      EXPECT_TRUE(messages.Contains(c.refusal)) << messages.All();
    } else {
      Sd_HTFSounding* s = Child<Sd_HTFSounding>(*read, 0);
      EXPECT_EQ(s->GetRows(), c.rows);
      EXPECT_EQ(s->GetCols(), c.cols);
      if (c.rows == 0) {
        EXPECT_EQ(s->GetCell(0, 0), nullptr);
        EXPECT_EQ(s->GetCellHeight(0, 0), Sd_SoundingSet::kNoHeight);
        s->SetSurfaceMode(2);
        EXPECT_EQ(s->CellStdDev(0, 0), 0.0f);
      }
      if (!(c.cellSize > 0.0f)) {
        // sqrt(90 x 60 / 3 x 10) for the three soundings spread over the box.
        EXPECT_FLOAT_EQ(s->GetCellSize(), static_cast<float>(std::sqrt(90.0 * 60.0 / 3 * 10.0)));
      }
    }
    Sd_HTFSounding* after = Child<Sd_HTFSounding>(*read, read->children.size() - 1);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->GetSoundingCount(), 3);
  }
}

// The grid is bounded by the memory it takes, not by its density: a line
// survey with a fine cell (10 lines 200 m apart, a sounding every 5 m, 5 m
// cells: 361 x 201 cells for 2010 soundings) loads. A cell size asking for
// more cells than the bound is refused, and the box the user sees names the
// file, the bound and, beside the factory's text for the class, the reason.
TEST(SoundingGrid, FineGridsLoadAndOnlyGridsBeyondTheMemoryBoundAreRefused) {
  TempDir dir;
  std::vector<HTFSndRecord> lines;
  for (int line = 0; line < 10; ++line) {
    for (int k = 0; k <= 200; ++k) lines.push_back(Sounding(5.0 * k, 200.0 * line, -10.0 - line));
  }
  auto survey = Survey(lines, 5.0f);
  const std::string path = dir.file("lines.sd");
  ASSERT_TRUE(sounding_test::WriteData(path, {survey.get()}));
  {
    auto read = dtm_test::ReadSD(path);
    Sd_HTFSounding* s = Child<Sd_HTFSounding>(*read, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetRows(), 361);
    EXPECT_EQ(s->GetCols(), 201);
    EXPECT_EQ(s->GetSoundingCount(), 2010);
  }

  // 80 m x 50 m of soundings in 1 mm cells: 4e9 cells.
  auto fine = sounding_test::MakeFSD(3);
  fine->SetCellSize(0.001f);
  auto next = sounding_test::MakeFSD(3);
  const std::string refused = dir.file("fine.sd");
  ASSERT_TRUE(sounding_test::WriteData(refused, {fine.get(), next.get()}));
  orvanta_test::MessageCapture messages(SV_LEVEL_WARNING);
  auto read = dtm_test::ReadSD(refused);
  ASSERT_EQ(read->children.size(), 1u);
  const std::string box = messages.All();
  EXPECT_NE(box.find(refused), std::string::npos) << box;
  EXPECT_NE(box.find("****** OLD SOUNDING CLASS *******"), std::string::npos) << box;
  EXPECT_NE(box.find("more than the 16777216 cells a sounding grid may take in memory"), std::string::npos) << box;
}

TEST(SoundingGrid, TheGridBinsAndMeasuresRecordsOfItsOwn) {
  // The cell grid alone, without a data set: records binned into a planned
  // shape give the lists, heights and spreads that the data set reads.
  std::vector<HTFSndRecord> r = {Sounding(10, 10, -5), Sounding(20, 15, -3), Sounding(60, 10, -8),
                                 Sounding(15, 12, -3, HTF_REJECTED_FLAG)};
  for (HTFSndRecord& s : r) s.inGrid = 1;
  Sd_SoundingExtent box;
  const double min[3] = {10, 10, -8}, max[3] = {60, 15, -3};
  box.SetBox(min, max);
  Sd_SoundingGrid grid;
  grid.SetCellSize(25.0f);
  Sd_SoundingGrid::Shape shape;
  ASSERT_EQ(grid.Plan(box, 4, "test", &shape), 0);
  ASSERT_EQ(grid.Alloc(shape.rows, shape.cols), 0);
  ASSERT_TRUE(grid.Bin(r.data(), 4, shape));
  EXPECT_EQ(grid.MaxCellCount(), 3);
  int n = 0;
  const int* list = grid.CellSoundings(0, 0, &n);
  ASSERT_EQ(n, 3);
  // z falling, of equal z the later record first.
  EXPECT_EQ(list[0], 3);
  EXPECT_EQ(list[1], 1);
  EXPECT_EQ(list[2], 0);
  EXPECT_EQ(r[3].nextInCell, 1);
  unsigned char shown[256];
  for (int f = 0; f < 256; ++f) shown[f] = (f & HTF_REJECTED_FLAG) ? 0 : 1;
  grid.SetSurfaceMode(2);
  grid.UpdateStatistics(shown);
  EXPECT_FLOAT_EQ(grid.Height(0, 0), -4.0f);
  EXPECT_FLOAT_EQ(grid.Cell(0, 0)->stdDev, 1.0f);
  EXPECT_FLOAT_EQ(grid.Height(0, 2), -8.0f);
  EXPECT_EQ(grid.Height(0, 1), Sd_SoundingGrid::kNoHeight);
}

// Ten sounding sets with large grids in one file claim no more than one
// load's budget: four load, the rest are refused naming the file.
TEST(SoundingGrid, OneFileClaimsNoMoreThanTheLoadBudget) {
  auto set = Survey({Sounding(0, 0, -1), Sounding(1000, 1000, -2)}, 2.0f);  // 501 x 501 cells
  const long long before = Sd_LoadBudget::SetBytes(Sd_SoundingGrid::Bytes(501, 501) * 9 / 2);
  TempDir dir;
  orvanta_test::MessageCapture warnings(SV_LEVEL_WARNING);
  auto read = ReadCopies(*set, 10, dir.file("ten.sd"));
  Sd_LoadBudget::SetBytes(before);
  ASSERT_EQ(read->children.size(), 4u) << warnings.All();
  EXPECT_EQ(Child<Sd_HTFSounding>(*read, 3)->GetRows(), 501);
  EXPECT_TRUE(warnings.Contains(dir.file("ten.sd")) && warnings.Contains("that one file may take in memory"))
      << warnings.All();
  // Outside a load nothing is charged: the set still bins alone.
  EXPECT_EQ(set->UpdateCellStatistics(1), 0);
  EXPECT_EQ(set->GetRows(), 501);
}

// The budget follows the machine but never falls below one object at its
// own bound: on a small machine a set whose grid has the most cells allowed
// still loads, and a second one is refused.
TEST(SoundingGrid, ASetAtItsCellBoundLoadsOnASmallMachine) {
  const long long machine = Sd_LoadBudget::SetMachineBytes(1LL << 30);
  const long long before = Sd_LoadBudget::SetBytes(0);
  EXPECT_EQ(Sd_LoadBudget::ForMachine(16LL << 30), 8LL << 30);
  EXPECT_EQ(Sd_LoadBudget::Bytes(), Sd_LoadBudget::kObjectBoundBytes);
  // 4096 x 4096 cells of 1: a span of 4095 cells and a tenth of a cell before it.
  auto set = Survey({Sounding(0, 0, -1), Sounding(4095, 4095, -2)}, 1.0f);
  TempDir dir;
  orvanta_test::MessageCapture warnings(SV_LEVEL_WARNING);
  auto read = ReadCopies(*set, 2, dir.file("bound.sd"));
  Sd_LoadBudget::SetMachineBytes(machine);
  Sd_LoadBudget::SetBytes(before);
  ASSERT_EQ(read->children.size(), 1u) << warnings.All();
  const auto* loaded = Child<Sd_HTFSounding>(*read, 0);
  EXPECT_EQ(static_cast<long long>(loaded->GetRows()) * loaded->GetCols(), Sd_SoundingGrid::kMaxCells);
  EXPECT_TRUE(warnings.Contains("the sounding cell grid needs 705 MB, more than the 191 MB left of the 896 MB"))
      << warnings.All();
}

// The budget is half of what the process may really use, not of the host:
// in a container capped at 2 GiB it is 1 GiB; in a child that lowers its
// data limit, then its address-space limit, it follows them down to the
// bound of one object.
TEST(SoundingGrid, TheLoadBudgetKeepsToTheLimitsOfTheProcess) {
  const long long before = Sd_LoadBudget::SetBytes(0);
  const long long machine = Sd_LoadBudget::SetMachineBytes(0);
  orvanta_test::FakeSystemRoot container("0::/box\n", "30 23 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n");
  ASSERT_TRUE(container.Write("/sys/fs/cgroup/box/memory.max", "2147483648\n"));
  // Read here: the child allocates nothing once its limits are low.
  const long long inContainer = Sd_LoadBudget::Bytes();
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long long budgets[2] = {0, 0};
    struct rlimit limit;
    for (int i = 0; i < 2; ++i) {
      const auto resource = i == 0 ? RLIMIT_DATA : RLIMIT_AS;
      getrlimit(resource, &limit);
      limit.rlim_cur = i == 0 ? 15LL << 27 : 1LL << 30;
      budgets[i] = setrlimit(resource, &limit) == 0 ? Sd_LoadBudget::Bytes() : -1;
    }
    _exit(write(out[1], budgets, sizeof budgets) == sizeof budgets ? 0 : 1);
  }
  close(out[1]);
  long long budgets[2] = {0, 0};
  const bool read = ::read(out[0], budgets, sizeof budgets) == sizeof budgets;
  close(out[0]);
  int status = -1;
  waitpid(child, &status, 0);
  Sd_LoadBudget::SetMachineBytes(machine);
  Sd_LoadBudget::SetBytes(before);
  EXPECT_EQ(inContainer, 1LL << 30);
  ASSERT_TRUE(read && status == 0);
  EXPECT_EQ(budgets[0], 15LL << 26);
  EXPECT_EQ(budgets[1], Sd_LoadBudget::kObjectBoundBytes);
}
