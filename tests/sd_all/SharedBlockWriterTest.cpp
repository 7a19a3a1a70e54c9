// Shared-memory blocks that their writer truncates, shrinks and makes anew
// while the ROV node and the real-time terrain draw them: no draw ends in a
// signal, and each node keeps showing the last whole state of its block.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "LitUnitView.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "Sd_ROVParent.h"
#include "Sd_RealTimeDTM.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

namespace {

// A block as its writer means it, and the ways a writer takes it away.
struct Block {
  std::string name;
  std::vector<unsigned char> bytes;
  // Whole again; create: made anew in place (O_TRUNC), as a restarting writer does.
  void Publish(bool create) const {
    const int fd = shm_open(name.c_str(), O_RDWR | (create ? O_CREAT | O_TRUNC : 0), 0600);
    if (fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0) {
      (void)!pwrite(fd, bytes.data(), bytes.size(), 0);
    }
    if (fd >= 0) close(fd);
  }
  void Resize(size_t size) const {
    const int fd = shm_open(name.c_str(), O_RDWR, 0);
    if (fd >= 0) (void)!ftruncate(fd, static_cast<off_t>(size));
    if (fd >= 0) close(fd);
  }
  template <typename T>
  void Put(uint64_t offset, T value) { memcpy(bytes.data() + offset, &value, sizeof(T)); }
};

// The vehicle at x (scene coordinates), or every node of a 4 x 5 terrain
// holding code.
Block Rov(const std::string& name, double x) {
  Block b{name, std::vector<unsigned char>(Sd_ROVParent::kBlockBytes, 0)};
  b.Put(0, x);
  for (int i : {int(Sd_ROVParent::kVehicleScale), 9, 10, 11}) b.Put(8 * i, 1.0);
  return b;
}
Block Terrain(const std::string& name, unsigned short code) {
  const Sd_RealTimeLayout layout = Sd_RealTimeLayout::Of(4, 5);
  Block b{name, std::vector<unsigned char>(layout.bytes, 0)};
  b.Put(0, int32_t{4});
  b.Put(4, int32_t{5});
  b.Put(10, uint16_t{65535});
  for (int i = 0; i < 6; ++i) b.Put(16 + 4 * i, float(i % 2 ? 40 : 0));
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 5; ++c) b.Put(layout.ElevationRow(r) + 2 * c, code);
  }
  return b;
}

class SharedBlockWriterTest : public orvanta_test::LitUnitViewTest {};

TEST_F(SharedBlockWriterTest, TruncatedShrunkAndRemadeBlocksNeverStopADrawAndTheLastWholeStateStays) {
  const std::string stem = "/orvanta-writer-test-" + std::to_string(getpid());
  const Block rov = Rov(stem + "-rov", 0.0), terrain = Terrain(stem + "-dtm", 1000);
  rov.Publish(true);
  terrain.Publish(true);
  Sd_ROVParent::SetBlockName(rov.name.c_str() + 1);
  Sd_ROVParent vehicle;
  Sd_ROVParent::SetBlockName(nullptr);
  orvanta_test::TempDir dir;
  TDR_Manager m;
  ASSERT_TRUE(m.OpenFile(dir.file("rt.sd").c_str(), "wb") == 0 && m.WriteHeader() == 0 &&
              Sd_RealTimeDTM::WriteRecord(&m, terrain.name.c_str() + 1, 0) == 0 &&
              m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0);
  Sd_Parent* root = new Sd_Parent();
  Sd_IOSupport(root).ReadSDFile(dir.file("rt.sd").c_str());
  Sd_RealTimeDTM* dtm = dynamic_cast<Sd_RealTimeDTM*>(root->GetFirstChild());
  ASSERT_TRUE(vehicle.IsAttached() && dtm && dtm->IsAttached());

  // 1 000 rounds, each taking both blocks away in one of four ways and
  // making them whole again once a draw has begun meanwhile.
  std::atomic<int> draws{0};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int round = 0; round < 1000; ++round) {
      const int seen = draws.load();
      for (const Block* b : {&rov, &terrain}) {
        if (round % 4 == 0) b->Resize(0);
        if (round % 4 == 1) b->Resize(b->bytes.size() / 2);
        if (round % 4 == 3) shm_unlink(b->name.c_str());  // removed, then made anew
        if (round % 4 >= 2) b->Publish(true);
      }
      while (draws.load() == seen) std::this_thread::yield();
      rov.Publish(false);
      terrain.Publish(false);
    }
    done = true;
  });
  while (!done.load()) {
    vehicle.Render();
    dtm->Render();
    ++draws;
  }
  writer.join();

  // A last whole state is drawn; then the blocks are cut short and both
  // nodes keep that state.
  Rov(rov.name, 0.25).Publish(false);
  Terrain(terrain.name, 2000).Publish(false);
  vehicle.Render();
  dtm->Render();
  rov.Resize(8);
  terrain.Resize(8);
  dtm->Render();
  Clear();
  glPushMatrix();
  glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);  // from the south: screen x is the node's x
  vehicle.Render();
  glPopMatrix();
  // The yellow marker runs from z -0.5 to 0.5; row 180 lies above the vehicle.
  std::vector<int> yellow;
  for (int x = 0; x < kWidth; ++x) {
    const orvanta_test::GLPixel p = ReadPixel(x, 180);
    if (p.r > 200 && p.g > 200 && p.b < 60) yellow.push_back(x);
  }
  ASSERT_FALSE(yellow.empty());
  EXPECT_NEAR(yellow.front(), 160, 1) << "x 0.25 of the last whole pose";
  EXPECT_NEAR(yellow.back(), 160, 1);
  unsigned short code = 0;
  ASSERT_EQ(dtm->GetCell(3, 4, &code, nullptr), 0);
  EXPECT_EQ(code, 2000);
  Sd_GroupNode::DeleteTree(root);
  shm_unlink(rov.name.c_str());
  shm_unlink(terrain.name.c_str());
}

}  // namespace
