#ifndef ORVANTA_TESTS_ROVWRITER_H
#define ORVANTA_TESTS_ROVWRITER_H

// Tests' side of the pose publisher (the block writer of
// support/blocks/BlockWriter.h): a RovWriter runs it with a block of a name
// of its own, so that tests never meet each other's block or the real
// "ROVMEMDATA"; RovBlockScope makes the ROV nodes made while it lives attach
// to that block.

#include <sstream>
#include <string>
#include <vector>

#include "../blocks/BlockWriter.h"
#include "Sd_ROVParent.h"

namespace rov_test {

class RovWriter : public block_test::BlockWriter {
 public:
  explicit RovWriter(int bytes = Sd_ROVParent::kBlockBytes) : BlockWriter("orvanta-rov-test-", bytes) {}

  // The vehicle at (x, y, z) in coordinate mode mode, not turned, scales
  // 1, no offset.
  bool Pose(double x, double y, double z, double mode) { return Ask(Text("pose", {x, y, z, mode})) == "ok"; }
  // Doubles index, index + 1, ... of the block.
  bool Set(int index, const std::vector<double>& values) {
    return Ask(Text(("set " + std::to_string(index)).c_str(), values)) == "ok";
  }
  // Doubles index ... index + count - 1 of the block; empty on failure.
  std::vector<double> Get(int index, int count) {
    std::istringstream reply(Ask("get " + std::to_string(index) + " " + std::to_string(count)));
    std::string ok;
    std::vector<double> values;
    double v;
    if (!(reply >> ok) || ok != "ok") return values;
    while (reply >> v) values.push_back(v);
    if (static_cast<int>(values.size()) != count) values.clear();
    return values;
  }
  // The history name; FillName fills all its bytes with c, unterminated.
  bool HistoryName(const std::string& name) { return Ask("name " + name) == "ok"; }
  bool FillName(char c) { return Ask(std::string("fillname ") + c) == "ok"; }
};

// ROV nodes made while it lives attach to the block of that name; the name
// before it comes back afterwards.
class RovBlockScope {
 public:
  explicit RovBlockScope(const std::string& name) : m_before(Sd_ROVParent::GetBlockName()) {
    Sd_ROVParent::SetBlockName(name.c_str());
  }
  ~RovBlockScope() { Sd_ROVParent::SetBlockName(m_before.c_str()); }
  RovBlockScope(const RovBlockScope&) = delete;
  RovBlockScope& operator=(const RovBlockScope&) = delete;

 private:
  std::string m_before;
};

// A writer whose block the ROV nodes made meanwhile attach to.
struct PublishedBlock {
  explicit PublishedBlock(int bytes = Sd_ROVParent::kBlockBytes) : writer(bytes), scope(writer.Name()) {}
  RovWriter writer;
  RovBlockScope scope;
};

// A block name that no program publishes.
inline std::string MissingBlockName() { return "orvanta-rov-test-missing-" + std::to_string(getpid()); }

}  // namespace rov_test

#endif
