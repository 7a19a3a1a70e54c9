// Sounding data sets: the candidate array, the marked, selected and edit
// lists, and the thinning and spike tools that fill the marked list, for
// both classes; the two reductions against a plain comparison of every
// pair; and what the tools leave alone (records, data file, other lists).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "SoundingTestSupport.h"
#include "TestSupport.h"

using orvanta_test::TempDir;

namespace {

// A sounding at (x, y, z) with its flags.
struct At {
  double x, y, z;
  unsigned char flags = 0;
};

template <class Set>
std::unique_ptr<Set> Make(const std::vector<At>& at, float cellSize = 10.0f, bool bin = true) {
  std::vector<typename Set::Record> r(at.size());
  for (size_t i = 0; i < at.size(); ++i) {
    r[i] = typename Set::Record{};
    r[i].x = at[i].x;
    r[i].y = at[i].y;
    r[i].z = at[i].z;
    r[i].flags = at[i].flags;
    // Depth as the records store it: HTF positive down, FSD as z.
    r[i].depth = static_cast<float>(std::is_same<Set, Sd_HTFSounding>::value ? -at[i].z : at[i].z);
    r[i].id = static_cast<int>(i);
  }
  std::unique_ptr<Set> s(new Set());
  s->SetCellSize(cellSize);
  EXPECT_EQ(s->SetSoundings(r.data(), static_cast<int>(r.size())), 0);
  if (bin) {
    EXPECT_EQ(s->UpdateCellStatistics(1), 0);
  }
  return s;
}

// The flag that keeps a sounding out of the tools.
template <class Set>
unsigned char Excluded() {
  return std::is_same<Set, Sd_HTFSounding>::value ? HTF_REJECTED_FLAG : FSD_DELETE_FLAG;
}

std::vector<int> Marked(const Sd_SoundingSet& s) {
  int n = 0;
  const int* list = s.GetMarkedList(&n);
  return std::vector<int>(list, list + n);
}

std::vector<int> Edits(const Sd_SoundingSet& s) {
  int n = 0;
  const int* list = s.GetEditList(&n);
  return std::vector<int>(list, list + n);
}

std::vector<int> Selected(const Sd_SoundingSet& s) {
  int n = 0;
  const int* list = s.GetSelectedList(&n);
  return std::vector<int>(list, list + n);
}

// 10 m cells from (0, 0); the corner soundings at (0, 0) and (25, 25) lay
// a 3 x 3 grid.
At InCell(int row, int col, double z, double dx = 5.0, unsigned char flags = 0) {
  return At{10.0 * col + dx, 10.0 * row + 5.0, z, flags};
}

template <class Set>
class SoundingLists : public ::testing::Test {};
using Classes = ::testing::Types<Sd_HTFSounding, Sd_Sounding>;
TYPED_TEST_SUITE(SoundingLists, Classes);

TYPED_TEST(SoundingLists, ListOperationsKeepMarksAndMembership) {
  auto s = Make<TypeParam>({{0, 0, -1}, {1, 0, -2}, {2, 0, -3}, {3, 0, -4}}, 1.0f);
  const auto* rec = s->GetRecords();

  // Marked list: once each, in order of marking; the drawing's setter keeps
  // membership too.
  s->AddMarked(2);
  s->AddMarked(0);
  s->AddMarked(2);
  s->AddMarked(4);
  s->AddMarked(-1);
  EXPECT_EQ(Marked(*s), (std::vector<int>{2, 0}));
  s->RemoveMarked(2);
  s->RemoveMarked(3);
  EXPECT_EQ(Marked(*s), (std::vector<int>{0}));
  EXPECT_EQ(s->IsMarked(2), 0);
  const int given[2] = {3, 1};
  s->SetMarkedList(given, 2);
  s->AddMarked(3);
  s->AddMarked(0);
  EXPECT_EQ(Marked(*s), (std::vector<int>{3, 1, 0}));
  s->AddThinCandidate(1);
  s->ClearMarkedList();
  EXPECT_TRUE(Marked(*s).empty());
  int candidates = -1;
  s->GetCandidates(&candidates);
  EXPECT_EQ(candidates, 0);
  EXPECT_EQ(s->IsMarked(3), 0);

  // Selected list: marks follow membership; removal moves the last entry.
  for (int i : {0, 1, 2, 3}) s->AddToSelectedList(i);
  s->AddToSelectedList(9);
  s->RemoveFromSelectedList(1);
  EXPECT_EQ(Selected(*s), (std::vector<int>{0, 3, 2}));
  EXPECT_EQ(rec[1].mark, 0);
  EXPECT_EQ(rec[3].mark, 1);
  s->ClearSelectedList();
  EXPECT_TRUE(Selected(*s).empty());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rec[i].mark, 0);

  // Edit list: grows past any room it was given; removal moves the last
  // entry; reserving empties it.
  for (int i = 0; i < 40; ++i) s->AddToEditList(i % 5);
  s->RemoveFromEditList(0);
  std::vector<int> edits = Edits(*s);
  ASSERT_EQ(edits.size(), 39u);
  EXPECT_EQ(edits[0], 4);
  EXPECT_EQ(s->IsInEditList(3), 1);
  s->ReserveEditList(0);
  EXPECT_EQ(Edits(*s).size(), 39u);
  s->ReserveEditList(5);
  EXPECT_TRUE(Edits(*s).empty());
  s->AddToEditList(7);
  s->ClearEditList();
  EXPECT_EQ(s->IsInEditList(7), 0);
}

TYPED_TEST(SoundingLists, ReductionsOfTheWorkedExamples) {
  // Three candidates 500 m apart at -10, -12 and -11; a spike pair 10 m
  // apart and one 100 m away.
  const double h = 500.0 * std::sqrt(3.0) / 2.0;
  auto s = Make<TypeParam>({{0, 0, -10}, {500, 0, -12}, {250, h, -11}, {0, 1000, -1}, {10, 1000, -1}, {100, 1000, -1}},
                           100.0f, false);
  const auto thin = [&](float radius) {
    s->SetThinRadius(radius);
    s->ClearMarkedList();
    for (int i : {0, 1, 2}) s->AddThinCandidate(i);
    s->ThinCandidatesByDistance();
    return Marked(*s);
  };
  EXPECT_EQ(thin(1000.0f), (std::vector<int>{0}));
  EXPECT_EQ(thin(400.0f), (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(thin(0.0f), (std::vector<int>{0, 2, 1}));
  EXPECT_NEAR(s->HorizontalDistance(0, 2), 500.0, 1e-9);

  s->ClearMarkedList();
  for (int i : {3, 4, 5}) s->AddSpikeCandidate(i);
  s->PruneCandidateClusters();
  EXPECT_EQ(Marked(*s), (std::vector<int>{5}));
}

TYPED_TEST(SoundingLists, NeighboursAndDepthWindow) {
  // 3 x 3 cells at -50, corner (0, 0) at -40 over an excluded -20; then
  // each neighbour and a non-neighbour raised in turn.
  const unsigned char x = Excluded<TypeParam>();
  const auto grid = [&](int raisedRow, int raisedCol) {
    std::vector<At> at;
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) at.push_back(InCell(r, c, r == raisedRow && c == raisedCol ? -30.0 : -50.0));
    }
    at[0].z = -40.0;
    at.push_back(InCell(0, 1, -20.0, 6.0, x));
    return Make<TypeParam>(at);
  };
  auto flat = grid(-1, -1);
  EXPECT_EQ(flat->FirstValidRecord(0, 1), 1);
  EXPECT_EQ(flat->FirstValidRecord(3, 0), -1);
  EXPECT_EQ(flat->HasHigherNeighbour(0, 0, 0), 0);
  for (auto rc : {std::pair<int, int>{0, 1}, {1, 1}, {1, 0}}) {
    EXPECT_EQ(grid(rc.first, rc.second)->HasHigherNeighbour(0, 0, 0), 1) << rc.first << "," << rc.second;
  }
  EXPECT_EQ(grid(2, 0)->HasHigherNeighbour(0, 0, 0), 0);
  EXPECT_EQ(grid(0, 2)->HasHigherNeighbour(0, 0, 0), 0);

  // The window: state by the limits set, inclusive.
  EXPECT_EQ(flat->GetDepthWindowState(), 0);
  EXPECT_EQ(flat->InDepthWindow(1e9), 1);
  flat->SetDepthWindowHigh(-5.0);
  EXPECT_EQ(flat->GetDepthWindowState(), 2);
  flat->SetDepthWindowLow(-20.0);
  EXPECT_EQ(flat->GetDepthWindowState(), 3);
  EXPECT_EQ(flat->InDepthWindow(-5.0), 1);
  EXPECT_EQ(flat->InDepthWindow(-4.99), 0);
  EXPECT_EQ(flat->InDepthWindow(-20.0), 1);
  EXPECT_EQ(flat->InDepthWindow(-20.01), 0);
}

TYPED_TEST(SoundingLists, ThinningKeepsTheHighestOfEachBlockInTheWindow) {
  const unsigned char x = Excluded<TypeParam>();
  // 3 x 3 cells; cell (0, 0) holds an excluded -1 above -8 and -9; cell
  // (1, 1) holds -3 (above the window) and -12; cell (2, 2) -30 only.
  std::vector<At> at;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) at.push_back(InCell(r, c, -10.0 - r - c));
  }
  at[0].z = -8.0;
  at.push_back(InCell(0, 0, -9.0, 6.0));
  at.push_back(InCell(0, 0, -1.0, 7.0, x));
  at[4].z = -12.0;
  at.push_back(InCell(1, 1, -3.0, 6.0));
  at[8].z = -30.0;
  auto s = Make<TypeParam>(at);
  struct Seen {
    int calls = 0, phase = -1;
  } seen;
  s->SetSelectCallback(
      [](int phase, const int* list, int n, void* data) {
        auto* seen = static_cast<Seen*>(data);
        ++seen->calls;
        seen->phase = list == nullptr && n == 0 ? phase : -1;
      },
      &seen);
  s->SetThinRadius(0.0f);
  s->AddToSelectedList(8);
  s->AddToEditList(5);
  s->AddMarked(7);

  // Block 1, no window: every cell's highest not excluded, highest first.
  s->ThinSoundings();
  EXPECT_EQ(Marked(*s), (std::vector<int>{11, 0, 1, 3, 2, 6, 5, 7, 8}));
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.phase, 2);

  // A window from -25 to -5: (1, 1) keeps -12 and (2, 2) drops out; a
  // block below 1 counts as 1.
  s->SetDepthWindowLow(-25.0);
  s->SetDepthWindowHigh(-5.0);
  s->SetThinBlock(0);
  s->ThinSoundings();
  EXPECT_EQ(Marked(*s), (std::vector<int>{0, 1, 3, 2, 4, 6, 5, 7}));

  // Blocks of 2 x 2 cells: (0..1, 0..1), (0..1, 2), (2, 0..1), (2, 2).
  s->SetThinBlock(2);
  s->ThinSoundings();
  EXPECT_EQ(Marked(*s), (std::vector<int>{0, 2, 6}));
  // A radius over the whole survey leaves the highest.
  s->SetThinRadius(1000.0f);
  s->ThinSoundings();
  EXPECT_EQ(Marked(*s), (std::vector<int>{0}));
  EXPECT_EQ(Selected(*s), (std::vector<int>{8}));
  EXPECT_EQ(Edits(*s), (std::vector<int>{5}));
  EXPECT_EQ(s->GetDepthWindowState(), 3);
  EXPECT_EQ(s->GetRecords()[8].mark, 1);
  int n = -1;
  s->GetCandidates(&n);
  EXPECT_EQ(n, 0);
}

TYPED_TEST(SoundingLists, SpikesArePeeledAgainstTheRestOfTheirCell) {
  const unsigned char x = Excluded<TypeParam>();
  // Cell (0, 0): -10, -30, -31, -32. Cell (0, 2): -10 alone. Cell (2, 0):
  // -10 over an excluded -40. Cell (2, 2): -10, -30, -31 but neighbour
  // (1, 2) holds -5. Cell (1, 0): -60 (neighbour of (0, 0), lower).
  std::vector<At> at = {InCell(0, 0, -10),    InCell(0, 0, -30, 6),    InCell(0, 0, -31, 7), InCell(0, 0, -32, 8),
                        InCell(0, 2, -10),    InCell(2, 0, -10),       InCell(2, 0, -40, 6, x), InCell(2, 2, -10),
                        InCell(2, 2, -30, 6), InCell(2, 2, -31, 7),    InCell(1, 2, -5),     InCell(1, 0, -60)};
  auto s = Make<TypeParam>(at);
  s->SetClusterRadius(0.0f);
  s->FindSpikes();
  EXPECT_EQ(Marked(*s), (std::vector<int>{0}));
  EXPECT_EQ(s->GetSpikeThreshold(), 15.0f);
  s->SetSpikeThreshold(1.0f);
  s->FindSpikes();
  EXPECT_EQ(Marked(*s), (std::vector<int>{0, 1, 2}));
}

// The reductions as plain comparisons of every pair, as the lists are
// defined.
std::vector<int> ThinLiteral(const Sd_SoundingSet& s, std::vector<int> c, double radius) {
  s.SortCandidatesByZ(c.data(), static_cast<int>(c.size()));
  std::vector<int> marked;
  for (size_t i = 0; i < c.size(); ++i) {
    bool near = false;
    for (int m : marked) near = near || (radius > 0.0 && s.HorizontalDistance(c[i], m) < radius);
    if (!near && std::find(marked.begin(), marked.end(), c[i]) == marked.end()) marked.push_back(c[i]);
  }
  return marked;
}

std::vector<int> PruneLiteral(const Sd_SoundingSet& s, std::vector<int> c, double radius) {
  for (size_t i = 0; i < c.size(); ++i) {
    if (c[i] < 0) continue;
    bool had = false;
    for (size_t j = i + 1; j < c.size(); ++j) {
      if (c[j] >= 0 && s.HorizontalDistance(c[i], c[j]) < radius) {
        c[j] = -1;
        had = true;
      }
    }
    if (had) c[i] = -1;
  }
  std::vector<int> marked;
  for (int i : c) {
    if (i >= 0 && std::find(marked.begin(), marked.end(), i) == marked.end()) marked.push_back(i);
  }
  return marked;
}

TEST(SoundingListReductions, EqualThePairwiseResultAndScale) {
  // Clustered candidates with repeated heights, positions and indices.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<At> at;
  for (int i = 0; i < 1500; ++i) {
    const double cx = 100.0 * std::floor(u(rng) * 8), cy = 100.0 * std::floor(u(rng) * 8);
    at.push_back({cx + 60.0 * u(rng), cy + 60.0 * u(rng), -std::floor(u(rng) * 20)});
  }
  at.push_back(at[3]);
  // Far from the origin, where rounding spreads a radius over many buckets.
  at.push_back({1e18, 0.0, -3.0});
  at.push_back({1e18, 0.0, -4.0});
  at.push_back({1e18 + 256.0, 0.0, -4.0});
  auto s = Make<Sd_HTFSounding>(at, 10.0f, false);
  std::vector<int> c;
  for (int i = 0; i < static_cast<int>(at.size()); ++i) c.push_back(i % 5 == 4 ? i / 2 : i);
  for (float radius : {7.5f, 25.0f, 90.0f}) {
    SCOPED_TRACE(radius);
    s->SetThinRadius(radius);
    s->SetClusterRadius(radius);
    s->ClearMarkedList();
    for (int i : c) s->AddThinCandidate(i);
    s->ThinCandidatesByDistance();
    EXPECT_EQ(Marked(*s), ThinLiteral(*s, c, radius));
    s->ClearMarkedList();
    for (int i : c) s->AddSpikeCandidate(i);
    s->PruneCandidateClusters();
    EXPECT_EQ(Marked(*s), PruneLiteral(*s, c, radius));
  }

  // A million candidates in a dense square and far out, a quarter of them
  // pruned, and cells full of spikes: the lists grow as needed.
  std::vector<HTFSndRecord> many(1000000, HTFSndRecord{});
  for (size_t i = 0; i < many.size(); ++i) {
    many[i].x = i < 10 ? 1e300 * static_cast<double>(i) : static_cast<double>(i % 1000);
    many[i].y = static_cast<double>(i / 1000);
    many[i].z = -static_cast<double>(i % 7);
  }
  Sd_HTFSounding big;
  ASSERT_EQ(big.SetSoundings(many.data(), static_cast<int>(many.size())), 0);
  big.SetThinRadius(10.0f);
  for (int i = 0; i < 1000000; ++i) big.AddThinCandidate(i);
  big.ThinCandidatesByDistance();
  EXPECT_GT(Marked(big).size(), 5000u);
  big.SetClusterRadius(0.5f);
  big.ClearMarkedList();
  for (int i = 0; i < 250000; ++i) big.AddSpikeCandidate(i);
  big.PruneCandidateClusters();
  EXPECT_EQ(Marked(big).size(), 250000u);

  // Four cells of 200 soundings 100 m apart in height, between cells of one
  // deep sounding: 199 spikes a cell, in blocks of 4 cells.
  std::vector<At> tall;
  for (int r = 0; r < 4; ++r) {
    for (int col = 0; col < 4; ++col) {
      const bool spikes = r % 2 == 0 && col % 2 == 0;
      for (int k = 0; k < (spikes ? 200 : 1); ++k) tall.push_back(InCell(r, col, spikes ? -100.0 * k : -1e6, 0.01 * k));
    }
  }
  auto spiky = Make<Sd_Sounding>(tall);
  spiky->SetThinBlock(4);
  spiky->SetClusterRadius(0.0f);
  spiky->FindSpikes();
  EXPECT_EQ(Marked(*spiky).size(), 4u * 199u);
  spiky->SetClusterRadius(20.0f);
  spiky->FindSpikes();
  EXPECT_TRUE(Marked(*spiky).empty());
}

TEST(SoundingListTools, LeaveTheRecordsAndTheDataFileAlone) {
  TempDir dir;
  const std::string data = dir.file("survey.sd");
  {
    std::vector<At> at;
    for (int r = 0; r < 6; ++r) {
      for (int c = 0; c < 6; ++c) {
        at.push_back(InCell(r, c, -20.0 - r));
        at.push_back(InCell(r, c, -40.0 - c, 7.0, c == 2 ? FSD_DELETE_FLAG : 0));
      }
    }
    at[7].z = 5.0;
    auto source = Make<Sd_Sounding>(at);
    ASSERT_TRUE(sounding_test::WriteData(data, {source.get()}));
  }
  const std::string before = orvanta_test::ReadFileBytes(data);
  auto read = dtm_test::ReadSD(data);
  auto* s = sounding_test::Child<Sd_Sounding>(*read, 0);
  ASSERT_NE(s, nullptr);
  const int n = s->GetSoundingCount();
  const std::vector<FsdSndRecord> records(s->GetRecords(), s->GetRecords() + n);
  s->SetThinRadius(15.0f);
  s->ThinSoundings();
  EXPECT_FALSE(Marked(*s).empty());
  s->SetClusterRadius(5.0f);
  s->FindSpikes();
  EXPECT_EQ(Marked(*s), (std::vector<int>{0, 2, 7, 10}));
  EXPECT_EQ(memcmp(records.data(), s->GetRecords(), records.size() * sizeof(FsdSndRecord)), 0);

  // Saving points at the unchanged data file.
  const std::string saved = dir.file("scene.sd");
  {
    dtm_test::SDWriter w(saved, 1);
    EXPECT_EQ(s->SaveObject(w.Manager(), 1, 0), 0);
    EXPECT_TRUE(w.Close());
  }
  EXPECT_EQ(orvanta_test::ReadFileBytes(data), before);
  auto again = dtm_test::ReadSD(saved);
  auto* reloaded = sounding_test::Child<Sd_Sounding>(*again, 0);
  ASSERT_NE(reloaded, nullptr);
  EXPECT_STREQ(reloaded->GetDataPath(), data.c_str());
  sounding_test::ExpectSameRecords(*s, *reloaded);
}

}  // namespace
