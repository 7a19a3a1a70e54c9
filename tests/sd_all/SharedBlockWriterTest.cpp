// Blocks of shared memory whose writer truncates them, shrinks them and
// makes them anew while the ROV node and the real-time terrain draw them:
// no draw ends in a signal, and each node keeps showing the last whole
// state its block held.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "LitUnitView.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "Sd_ROVParent.h"
#include "Sd_RealTimeDTM.h"
#include "Sd_RealTimeLayout.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

namespace {

constexpr int kRows = 4, kCols = 5;

// One writer's block: its whole contents as the writer means them, and the
// ways a writer takes it away.
struct Block {
  std::string name;
  std::vector<unsigned char> bytes;

  void Publish(bool create) const {
    const int fd = shm_open(("/" + name).c_str(), O_RDWR | (create ? O_CREAT | O_TRUNC : 0), 0600);
    if (fd < 0) return;
    if (ftruncate(fd, static_cast<off_t>(bytes.size())) == 0) {
      ssize_t ignored = pwrite(fd, bytes.data(), bytes.size(), 0);
      (void)ignored;
    }
    close(fd);
  }
  void Resize(size_t size) const {
    const int fd = shm_open(("/" + name).c_str(), O_RDWR, 0);
    if (fd < 0) return;
    (void)ftruncate(fd, static_cast<off_t>(size));
    close(fd);
  }
  void Remove() const { shm_unlink(("/" + name).c_str()); }
};

Block RovBlock(const std::string& name, double x) {
  Block b{name, std::vector<unsigned char>(Sd_ROVParent::kBlockBytes, 0)};
  double pose[Sd_ROVParent::kBlockDoubles] = {};
  pose[0] = x;  // position x; y and z 0, coordinate mode 0: scene coordinates
  pose[Sd_ROVParent::kVehicleScale] = 1.0;
  for (int a = 0; a < 3; ++a) pose[Sd_ROVParent::kScaleXYZ + a] = 1.0;
  memcpy(b.bytes.data(), pose, sizeof(pose));
  return b;
}

Block TerrainBlock(const std::string& name, unsigned short code) {
  const Sd_RealTimeLayout layout = Sd_RealTimeLayout::Of(kRows, kCols);
  Block b{name, std::vector<unsigned char>(layout.bytes, 0)};
  const int size[2] = {kRows, kCols};
  const unsigned short codes[3] = {1, 65535, 7};
  const float bounds[6] = {0, 40, 0, 30, 0, 100};
  memcpy(b.bytes.data(), size, sizeof(size));
  memcpy(b.bytes.data() + 8, codes, sizeof(codes));
  memcpy(b.bytes.data() + 16, bounds, sizeof(bounds));
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) {
      memcpy(b.bytes.data() + layout.ElevationRow(r) + 2 * c, &code, 2);
      const unsigned colour = 0xFF000000u | code;
      memcpy(b.bytes.data() + layout.ColourRow(r) + 4 * c, &colour, 4);
    }
  }
  return b;
}

class SharedBlockWriterTest : public orvanta_test::LitUnitViewTest {};

TEST_F(SharedBlockWriterTest, TruncatedShrunkAndRemadeBlocksNeverStopADrawAndTheLastWholeStateStays) {
  const std::string stem = "orvanta-writer-test-" + std::to_string(getpid());
  const Block rovFirst = RovBlock(stem + "-rov", 0.0), rovLast = RovBlock(stem + "-rov", 0.25);
  const Block dtmFirst = TerrainBlock(stem + "-dtm", 1000), dtmLast = TerrainBlock(stem + "-dtm", 2000);
  rovFirst.Publish(true);
  dtmFirst.Publish(true);

  Sd_ROVParent::SetBlockName(rovFirst.name.c_str());
  Sd_ROVParent rov;
  Sd_ROVParent::SetBlockName(nullptr);
  ASSERT_TRUE(rov.IsAttached());
  orvanta_test::TempDir dir;
  const std::string file = dir.file("rt.sd");
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(file.c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    ASSERT_EQ(Sd_RealTimeDTM::WriteRecord(&m, dtmFirst.name.c_str(), 0), 0);
    ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
    ASSERT_EQ(m.CloseFile(), 0);
  }
  Sd_Parent* root = new Sd_Parent();
  Sd_IOSupport(root).ReadSDFile(file.c_str());
  Sd_RealTimeDTM* dtm = dynamic_cast<Sd_RealTimeDTM*>(root->GetFirstChild());
  ASSERT_TRUE(dtm && dtm->IsAttached());

  // The writer: 1 000 rounds, each taking both blocks away in one of four
  // ways and putting them back whole; it goes on once a draw has begun
  // since its last change, so draws and changes overlap.
  std::atomic<int> draws{0};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int round = 0; round < 1000; ++round) {
      const int seen = draws.load();
      for (const Block* b : {&rovFirst, &dtmFirst}) {
        switch (round % 4) {
          case 0:  // truncated to nothing
            b->Resize(0);
            break;
          case 1:  // shrunk to half
            b->Resize(b->bytes.size() / 2);
            break;
          case 2:  // made anew in place, as a restarting writer does
            b->Publish(true);
            break;
          default:  // removed and made anew under the same name
            b->Remove();
            b->Publish(true);
            break;
        }
      }
      while (draws.load() == seen) std::this_thread::yield();
      rovFirst.Publish(false);
      dtmFirst.Publish(false);
    }
    done = true;
  });
  while (!done.load()) {
    rov.Render();
    dtm->Render();
    ++draws;
  }
  writer.join();

  // The last whole state is drawn, then the blocks are cut short: both
  // nodes keep it.
  rovLast.Publish(false);
  dtmLast.Publish(false);
  rov.Render();
  dtm->Render();
  rovLast.Resize(8);
  dtmLast.Resize(8);
  dtm->Render();
  Clear();
  glPushMatrix();
  glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);  // from the south: screen x is the node's x
  rov.Render();
  glPopMatrix();
  // The marker line runs from z -0.5 to 0.5; this row lies above the
  // vehicle.
  int yellowMin = kWidth, yellowMax = -1;
  for (int x = 0; x < kWidth; ++x) {
    const orvanta_test::GLPixel p = ReadPixel(x, 180);
    if (p.r > 200 && p.g > 200 && p.b < 60) {
      yellowMin = std::min(yellowMin, x);
      yellowMax = std::max(yellowMax, x);
    }
  }
  EXPECT_NEAR(yellowMin, 160, 1) << "the marker stands at the last whole pose's x, 0.25";
  EXPECT_NEAR(yellowMax, 160, 1);
  for (int r = 0; r < kRows; ++r) {
    unsigned short code = 0;
    unsigned colour = 0;
    ASSERT_EQ(dtm->GetCell(r, kCols - 1, &code, &colour), 0);
    EXPECT_EQ(code, 2000);
  }
  Sd_GroupNode::DeleteTree(root);
  rovFirst.Remove();
  dtmFirst.Remove();
}

}  // namespace
