// The ship node's class file, records, text files and animated track.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Sd_ShipParent.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;
using sd_io_test::LoadedFile;

namespace {

// Payload bytes, field by field in this machine's order.
struct Payload {
  template <class T>
  Payload& operator<<(T v) {
    bytes.append(reinterpret_cast<const char*>(&v), sizeof(T));
    return *this;
  }
  std::string bytes;
};

// A ship of three track points and two sonobuoys in the box x 0 ... 1000,
// y 0 ... 500, z -100 ... 0, with the track shown and animated.
void FillShip(Sd_ShipParent* ship) {
  ship->SetBounds(0, 0, 1000);
  ship->SetBounds(1, 0, 500);
  ship->SetBounds(2, -100, 0);
  const float values[] = {1.5f, 2.5f, 3.5f};
  const float xy[] = {100, 50, 500, 250, 900, 450};
  const float buoys[] = {200, 300, -20, 800, 100, -60};
  ship->SetTrack(values, xy, 3);
  ship->SetSonobuoys(buoys, 2);
  ship->SetShowTrack(2.0f);
  ship->SetShowSonobuoys(0);
  ship->SetAnimate(1);
}

void ExpectShip(Sd_ShipParent* ship) {
  EXPECT_STREQ(ship->className(), "Ship Node");
  EXPECT_EQ(ship->GetType(), 5);
  EXPECT_TRUE(ship->IsGroup());
  EXPECT_EQ(ship->GetBounds(1)[1], 500.0f);
  EXPECT_EQ(ship->GetBounds(2)[0], -100.0f);
  ASSERT_EQ(ship->GetTrackCount(), 3);
  ASSERT_EQ(ship->GetSonobuoyCount(), 2);
  EXPECT_EQ(ship->GetTrackValue(1), 2.5f);
  EXPECT_EQ(ship->GetTrackPoint(2)[0], 900.0f);
  EXPECT_EQ(ship->GetTrackPoint(2)[1], 450.0f);
  EXPECT_EQ(ship->GetSonobuoy(1)[1], 100.0f);
  EXPECT_EQ(ship->GetSonobuoy(1)[2], -60.0f);
  EXPECT_EQ(ship->GetShowTrack(), 2.0f);
  EXPECT_EQ(ship->GetShowSonobuoys(), 0);
  EXPECT_EQ(ship->GetAnimate(), 1);
}

// count track points of value i at (i, 2 i), as the object record stores them.
Payload ShipRecord(int count, int sonobuoys) {
  Payload p;
  p << 0 << 0.0f << 1000.0f << 0.0f << 2000.0f << -10.0f << 0.0f << count;
  for (int i = 0; i < count; ++i) p << float(i) << float(i) << float(2 * i);
  p << sonobuoys;
  for (int i = 0; i < sonobuoys; ++i) p << 1.0f << 2.0f << -3.0f;
  return p;
}

}  // namespace

TEST(ShipClassFile, CommentLinesBeforeEveryValueGiveTheSixSettingsInOrder) {
  TempDir dir;
  ScopedEnv config("WRUCONFIGURATIONS", dir.path().c_str());
  {
    // No class file: the built-in settings.
    Sd_ShipParent ship;
    EXPECT_EQ(ship.GetShowTrack(), 0.0f);
    EXPECT_EQ(ship.GetShowSonobuoys(), 1);
    EXPECT_EQ(ship.GetAnimate(), 0);
    EXPECT_EQ(ship.GetAnimationWindow(), 10);
    EXPECT_EQ(ship.GetBounds(2)[0], -5000.0f);
  }
  ASSERT_TRUE(WriteFileBytes(dir.file("ShipParentClass"),
                             "# ship class\n1\n# track\n2.5\n# buoys\n#\n0\n# animate\n1\n# window\n7\n"
                             "# sonobuoys (more than held)\n25\n# track points\n800\n"));
  Sd_ShipParent ship;
  EXPECT_EQ(ship.GetShowTrack(), 2.5f);
  EXPECT_EQ(ship.GetShowSonobuoys(), 0);
  EXPECT_EQ(ship.GetAnimate(), 1);
  EXPECT_EQ(ship.GetAnimationWindow(), 7);
  EXPECT_EQ(ship.GetSonobuoyCount(), Sd_ShipParent::kMaxSonobuoys);
  EXPECT_EQ(ship.GetTrackCount(), Sd_ShipParent::kMaxTrackPoints);
  // The file gives counts without positions: they start at zero.
  EXPECT_EQ(ship.GetTrackPoint(749)[0], 0.0f);
  EXPECT_EQ(ship.GetSonobuoy(19)[2], 0.0f);

  // Reading stops at the first value that is not a number.
  ASSERT_TRUE(WriteFileBytes(dir.file("ShipParentClass"), "1\n3\n0\nmany\n5\n"));
  Sd_ShipParent partial;
  EXPECT_EQ(partial.GetShowTrack(), 3.0f);
  EXPECT_EQ(partial.GetShowSonobuoys(), 0);
  EXPECT_EQ(partial.GetAnimate(), 0);
  EXPECT_EQ(partial.GetAnimationWindow(), 10);
}

TEST(ShipTrack, AnimatedWindowMovesOnByOnePointAndStartsAgain) {
  Sd_ShipParent ship;
  const float values[5] = {};
  const float xy[10] = {};
  ship.SetTrack(values, xy, 5);
  ASSERT_EQ(ship.GetAnimationWindow(), 10);
  const int expected[6][2] = {{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {0, 4}};
  for (const auto& window : expected) {
    int first = -1, last = -1;
    ship.NextAnimationWindow(&first, &last);
    EXPECT_EQ(first, window[0]);
    EXPECT_EQ(last, window[1]);
  }
  // A window that would run past the last index does not overflow.
  ship.SetAnimationWindow(0x7FFFFFFF);
  int first = 0, last = 0;
  ship.NextAnimationWindow(&first, &last);
  EXPECT_EQ(last, 4);
}

TEST(ShipRecords, SavedShipReadsBackInBothByteOrders) {
  TempDir dir;
  Sd_ShipParent ship;
  FillShip(&ship);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("ship" + std::to_string(order) + ".sd");
    ASSERT_TRUE(FileWriter(path, order).Object(&ship).Close());
    LoadedFile file(path);
    ASSERT_EQ(file.Kids().size(), 1u);
    Sd_ShipParent* read = dynamic_cast<Sd_ShipParent*>(file.Kids()[0]);
    ASSERT_TRUE(read);
    ExpectShip(read);
  }
}

TEST(ShipRecords, OldSettingsRecordsAndLongListsAreReadInStep) {
  TempDir dir;
  const std::string path = dir.file("ships.sd");
  Sd_ShipParent ship;
  FillShip(&ship);
  FileWriter w(path);
  // A settings record of format 1.0 gives the three settings only; what
  // follows them is not read as positions.
  w.Object(&ship).Raw(TDR_TAG_SD_SHIPPARENT_ATB, (Payload() << 1.0f << 0.0f << 1 << 0 << 99 << 99).bytes, 0);
  // 800 track points (750 kept) and 25 sonobuoys (20 kept), then a ship.
  w.Raw(TDR_TAG_SD_SHIPPARENT, ShipRecord(800, 25).bytes);
  // Negative or oversized counts refuse the record; the next ship loads.
  w.Raw(TDR_TAG_SD_SHIPPARENT, ShipRecord(-1, 0).bytes);
  w.Raw(TDR_TAG_SD_SHIPPARENT, ShipRecord(2, 0).bytes.substr(0, 40));
  // A damaged settings record keeps the settings the object record left.
  w.Object(&ship).Raw(TDR_TAG_SD_SHIPPARENT_ATB, (Payload() << 0.0f << 1 << 0 << 5 << 0).bytes);
  ASSERT_TRUE(w.Close());

  DebugOutput quiet;
  LoadedFile file(path);
  const std::vector<Sd_Node*> kids = file.Kids();
  ASSERT_EQ(kids.size(), 3u);
  auto* old = static_cast<Sd_ShipParent*>(kids[0]);
  EXPECT_EQ(old->GetShowTrack(), 0.0f);
  EXPECT_EQ(old->GetShowSonobuoys(), 1);
  EXPECT_EQ(old->GetAnimate(), 0);
  EXPECT_EQ(old->GetTrackCount(), 3) << "the positions are those of the object record";
  EXPECT_EQ(old->GetTrackPoint(1)[1], 250.0f);

  auto* longer = static_cast<Sd_ShipParent*>(kids[1]);
  ASSERT_EQ(longer->GetTrackCount(), Sd_ShipParent::kMaxTrackPoints);
  EXPECT_EQ(longer->GetTrackPoint(749)[1], 1498.0f);
  EXPECT_EQ(longer->GetSonobuoyCount(), Sd_ShipParent::kMaxSonobuoys);
  EXPECT_EQ(longer->GetSonobuoy(19)[2], -3.0f);
  EXPECT_EQ(longer->GetBounds(1)[1], 2000.0f);

  ExpectShip(static_cast<Sd_ShipParent*>(kids[2]));
}

TEST(ShipTextFiles, PositionsAreReadSafelyAndSetOrWidenTheBounds) {
  TempDir dir;
  DebugOutput debug;
  const std::string track = dir.file("track.txt");
  ASSERT_TRUE(WriteFileBytes(track,
                             "5\n"
                             "1 2 3 4 10.5 200 100\n"      // value 10.5, y 200, x 100
                             "garbage\n"                   // skipped
                             "1 2 3 4 11 300 400\r\n"      // a Windows line end
                             "1 2 3 4 1e999 1 1\n" +       // no finite value
                                 std::string(5000, '7') +  // far too long for a number
                             "\n1 2 3 4 12 50 50\n"));     // beyond the count
  Sd_ShipParent ship;
  ASSERT_EQ(ship.ReadTrackFile(track.c_str()), 0);
  ASSERT_EQ(ship.GetTrackCount(), 2);
  EXPECT_EQ(ship.GetTrackValue(0), 10.5f);
  EXPECT_EQ(ship.GetTrackPoint(1)[0], 400.0f);
  EXPECT_EQ(ship.GetTrackPoint(1)[1], 300.0f);
  // A new ship's box 0 ... 1 is widened to hold the track.
  EXPECT_EQ(ship.GetBounds(0)[0], 0.0f);
  EXPECT_EQ(ship.GetBounds(0)[1], 400.0f);
  EXPECT_EQ(ship.GetBounds(1)[1], 300.0f);
  EXPECT_NE(debug.Take().find("skipped"), std::string::npos);

  // Sonobuoys "y x z": x and y set bounds that have none; depths inside
  // -5000 ... 5000 leave a new ship's z bounds, deeper ones widen them.
  const std::string buoys = dir.file("buoys.txt");
  ASSERT_TRUE(WriteFileBytes(buoys, "2\n10 20 -30\n40 50 -4000\n"));
  Sd_ShipParent fresh;
  for (int a = 0; a < 2; ++a) fresh.SetBounds(a, 0, 0);
  ASSERT_EQ(fresh.ReadSonobuoyFile(buoys.c_str()), 0);
  ASSERT_EQ(fresh.GetSonobuoyCount(), 2);
  EXPECT_EQ(fresh.GetSonobuoy(1)[0], 50.0f);
  EXPECT_EQ(fresh.GetBounds(0)[0], 20.0f);
  EXPECT_EQ(fresh.GetBounds(1)[1], 40.0f);
  EXPECT_EQ(fresh.GetBounds(2)[0], -5000.0f);
  EXPECT_EQ(fresh.GetBounds(2)[1], 5000.0f);
  ASSERT_TRUE(WriteFileBytes(buoys, "1\n0 0 -7000\n"));
  ASSERT_EQ(fresh.ReadSonobuoyFile(buoys.c_str()), 0);
  EXPECT_EQ(fresh.GetBounds(2)[0], -7000.0f);

  // More lines than held: the first 20 are kept.
  std::string many = "30\n";
  for (int i = 0; i < 30; ++i) many += std::to_string(i) + " 1 2\n";
  ASSERT_TRUE(WriteFileBytes(buoys, many));
  ASSERT_EQ(fresh.ReadSonobuoyFile(buoys.c_str()), 0);
  EXPECT_EQ(fresh.GetSonobuoyCount(), Sd_ShipParent::kMaxSonobuoys);
  EXPECT_EQ(fresh.GetSonobuoy(19)[1], 19.0f);

  // A file that cannot be opened or has no count changes nothing.
  DebugOutput errors;
  EXPECT_EQ(fresh.ReadSonobuoyFile(dir.file("none.txt").c_str()), -1);
  EXPECT_NE(errors.Take().find("ERROR:  Opening file for sonobuoy positions."), std::string::npos);
  ASSERT_TRUE(WriteFileBytes(buoys, "-3\n1 2 3\n"));
  EXPECT_EQ(fresh.ReadSonobuoyFile(buoys.c_str()), -1);
  ASSERT_TRUE(WriteFileBytes(track, ""));
  EXPECT_EQ(fresh.ReadTrackFile(track.c_str()), -1);
  EXPECT_EQ(fresh.GetSonobuoyCount(), Sd_ShipParent::kMaxSonobuoys);
}
