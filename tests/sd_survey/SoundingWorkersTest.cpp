// Sounding data sets decoded, binned and summed up by several workers (in
// uneven shares) come out exactly as one thread makes them: records, bounds,
// chains, runs, cells, heights, normals, spreads and attribute ranges.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "SoundingTestSupport.h"
#include "Sd_SoundingWorkers.h"
#include "TestSupport.h"

using orvanta_test::TempDir;
using sounding_test::Child;

namespace {

// The worker passes split from a few dozen items on, among workers
// workers, for as long as it lives.
class Workers {
 public:
  explicit Workers(int workers)
      : m_share(sd_sounding::SetMinShare(workers > 1 ? 37 : 0)), m_limit(sd_sounding::SetWorkerLimit(workers)) {}
  ~Workers() {
    sd_sounding::SetMinShare(m_share);
    sd_sounding::SetWorkerLimit(m_limit);
  }

 private:
  size_t m_share;
  int m_limit;
};

// Random positions in a 300 x 150 box (a dense spot of over 400 soundings,
// so that its list is sorted by the radix sort), depths with many equal
// values, -0 among them, a few soundings without a position, flags of
// every filter and, for HTF, dates over several days.
template <class Rec>
void Scatter(std::vector<Rec>* records) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> place(0.0, 300.0);
  const float depths[] = {5.0f, 7.5f, 0.0f, -0.0f, 12.25f, 7.5f};
  for (size_t i = 0; i < records->size(); ++i) {
    Rec& r = (*records)[i];
    const bool dense = i % 9 == 0;
    r.x = 500000.0 + (dense ? 151.0 + 0.001 * static_cast<double>(i % 400) : place(random));
    r.y = 6000000.0 + (dense ? 75.0 : place(random) / 2.0);
    r.depth = depths[random() % 6];
    r.flags = static_cast<unsigned char>(random() % 64);
  }
  (*records)[13].x = std::numeric_limits<double>::quiet_NaN();
  (*records)[200].y = std::numeric_limits<double>::infinity();
}

template <class Set>
void ExpectSameState(Set& a, Set& b) {
  sounding_test::ExpectSameRecords(a, b);
  for (int i = 0; i < a.GetSoundingCount(); ++i) {
    ASSERT_EQ(a.GetRecords()[i].nextInCell, b.GetRecords()[i].nextInCell) << "sounding " << i;
  }
  double da[6], db[6];
  a.GetDataBounds(da);
  b.GetDataBounds(db);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(da[k], db[k]) << k;
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(a.GetBounds(axis)[0], b.GetBounds(axis)[0]);
    EXPECT_EQ(a.GetBounds(axis)[1], b.GetBounds(axis)[1]);
  }
  ASSERT_GT(a.GetRows(), 1);
  ASSERT_EQ(a.GetRows(), b.GetRows());
  ASSERT_EQ(a.GetCols(), b.GetCols());
  EXPECT_EQ(a.GetMaxCellCount(), b.GetMaxCellCount());
  EXPECT_GT(a.GetMaxCellCount(), 32);
  float la, ha, lb, hb;
  a.GetStdDevRange(&la, &ha);
  b.GetStdDevRange(&lb, &hb);
  EXPECT_EQ(la, lb);
  EXPECT_EQ(ha, hb);
  for (int row = 0; row < a.GetRows(); ++row) {
    for (int col = 0; col < a.GetCols(); ++col) {
      SCOPED_TRACE("cell " + std::to_string(row) + ", " + std::to_string(col));
      const Sd_SoundingCell* ca = a.GetCell(row, col);
      const Sd_SoundingCell* cb = b.GetCell(row, col);
      ASSERT_EQ(ca->count, cb->count);
      ASSERT_EQ(ca->first, cb->first);
      EXPECT_EQ(ca->run, cb->run);
      EXPECT_EQ(ca->stdDev, cb->stdDev);
      EXPECT_EQ(a.GetCellHeight(row, col), b.GetCellHeight(row, col));
      for (int k = 0; k < 3; ++k) EXPECT_EQ(a.GetCellNormal(row, col)[k], b.GetCellNormal(row, col)[k]);
      int na = 0, nb = 0;
      const int* ra = a.GetCellSoundings(row, col, &na);
      const int* rb = b.GetCellSoundings(row, col, &nb);
      ASSERT_EQ(std::vector<int>(ra, ra + na), std::vector<int>(rb, rb + nb));
    }
  }
  for (int k = 0; k < Sd_SoundingSet::kAttributeCount; ++k) {
    float a0, a1, b0, b1;
    a.GetAttributeDataRange(k, &a0, &a1);
    b.GetAttributeDataRange(k, &b0, &b1);
    EXPECT_EQ(a0, b0) << "attribute " << k;
    EXPECT_EQ(a1, b1) << "attribute " << k;
  }
}

// Loads the file once on one thread and once on five workers, compares,
// then moves some z below float precision (the binning's other entry
// kind) and rebins both.
template <class Set>
void LoadBothWays(const std::string& path) {
  std::unique_ptr<dtm_test::ReadResult> one, many;
  {
    Workers w(1);
    one = dtm_test::ReadSD(path);
  }
  {
    Workers w(5);
    many = dtm_test::ReadSD(path);
  }
  Set* a = Child<Set>(*one, 0);
  Set* b = Child<Set>(*many, 0);
  ASSERT_TRUE(a && b);
  ExpectSameState(*a, *b);

  std::vector<typename Set::Record> moved(a->GetRecords(), a->GetRecords() + a->GetSoundingCount());
  for (size_t i = 0; i < moved.size(); i += 3) moved[i].z -= 1e-9;
  {
    Workers w(1);
    ASSERT_EQ(a->SetSoundings(moved.data(), static_cast<int>(moved.size())), 0);
    ASSERT_EQ(a->UpdateCellStatistics(1), 0);
  }
  {
    Workers w(5);
    ASSERT_EQ(b->SetSoundings(moved.data(), static_cast<int>(moved.size())), 0);
    ASSERT_EQ(b->UpdateCellStatistics(1), 0);
  }
  ExpectSameState(*a, *b);

  // The window round the dense spot, ordered by a sounding's, a frame's and
  // a run's key in turn (keys a class lacks leave the order).
  for (int key : {30, 32, 17, 5}) {
    for (auto [set, workers] : {std::pair<Set*, int>{a, 1}, std::pair<Set*, int>{b, 5}}) {
      Workers w(workers);
      set->SelectWindow(set->GetRows() / 2, set->GetCols() / 2, 0);
      set->SortRecords(key, 1);
    }
    int na = 0, nb = 0;
    const int* la = a->GetSelection(&na);
    const int* lb = b->GetSelection(&nb);
    ASSERT_GT(na, 400);
    EXPECT_EQ(std::vector<int>(la, la + na), std::vector<int>(lb, lb + nb)) << "key " << key;
  }
}

}  // namespace

TEST(SoundingWorkers, SharesGiveTheSingleThreadsResultInBothClassesAndByteOrders) {
  TempDir dir;
  std::vector<HTFSndRecord> htf = sounding_test::HTFRecords(4000);
  Scatter(&htf);
  for (size_t i = 0; i < htf.size(); ++i) {
    htf[i].z = -htf[i].depth;
    htf[i].date = 20240227 + static_cast<int>(i / 700);
  }
  std::vector<FsdSndRecord> fsd = sounding_test::FsdRecords(4000);
  Scatter(&fsd);
  for (FsdSndRecord& r : fsd) r.z = r.flags & FSD_NBA_FLAG ? r.nbaDepth : r.depth;
  Sd_HTFSounding h;
  h.SetCellSize(9.0f);
  ASSERT_EQ(h.SetSoundings(htf.data(), static_cast<int>(htf.size())), 0);
  Sd_Sounding f;
  f.SetCellSize(7.0f);
  const std::vector<FsdRunRecord> runs = sounding_test::FsdRuns(3);
  const std::vector<FsdFrameRecord> frames = sounding_test::FsdFrames(2100);
  ASSERT_EQ(f.SetRuns(runs.data(), 3), 0);
  ASSERT_EQ(f.SetFrames(frames.data(), 2100), 0);
  ASSERT_EQ(f.SetSoundings(fsd.data(), static_cast<int>(fsd.size())), 0);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order ? "little-endian" : "big-endian");
    const std::string htfPath = dir.file("htf" + std::to_string(order) + ".sd");
    const std::string fsdPath = dir.file("fsd" + std::to_string(order) + ".sd");
    ASSERT_TRUE(sounding_test::WriteData(htfPath, {&h}, order));
    ASSERT_TRUE(sounding_test::WriteData(fsdPath, {&f}, order));
    LoadBothWays<Sd_HTFSounding>(htfPath);
    LoadBothWays<Sd_Sounding>(fsdPath);
  }
}

// A share that throws, on a worker thread or on the calling one, ends only
// that share: every thread is joined, the pass reports failure, and a load
// whose pass fails is a failed load, not the end of the process.
TEST(SoundingWorkers, AShareThatThrowsJoinsEveryThreadAndFailsTheLoad) {
  Workers four(4);
  std::atomic<int> ran{0};
  EXPECT_FALSE(sd_sounding::RunWorkers(4, [&](int w) {
    if (w == 0 || w == 3) throw std::runtime_error("share failed");
    ++ran;
  }));
  EXPECT_EQ(ran.load(), 2);
  EXPECT_TRUE(sd_sounding::RunWorkers(4, [&](int) { ++ran; }));
  EXPECT_EQ(ran.load(), 6);

  TempDir dir;
  std::vector<HTFSndRecord> htf = sounding_test::HTFRecords(4000);
  Scatter(&htf);
  Sd_HTFSounding h;
  ASSERT_EQ(h.SetSoundings(htf.data(), static_cast<int>(htf.size())), 0);
  ASSERT_TRUE(sounding_test::WriteData(dir.file("htf.sd"), {&h}));
  struct FailingShare {
    FailingShare() : before(sd_sounding::SetFailingShare(2)) {}
    ~FailingShare() { sd_sounding::SetFailingShare(before); }
    int before;
  };
  {
    FailingShare fail;
    Sd_HTFSounding loaded;
    TDR_Manager manager;
    ASSERT_EQ(manager.OpenFile(dir.file("htf.sd").c_str(), "rb"), 0);
    ASSERT_EQ(manager.ReadHeader(), 0);
    ASSERT_EQ(manager.ReadTag(), TDR_TAG_SD_HTFSOUNDING);
    EXPECT_NE(loaded.LoadObject(&manager), 0);
    manager.CloseFile();
  }
  std::unique_ptr<dtm_test::ReadResult> read = dtm_test::ReadSD(dir.file("htf.sd"));
  Sd_HTFSounding* again = Child<Sd_HTFSounding>(*read, 0);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->GetSoundingCount(), 4000);
}
