#ifndef ORVANTA_TESTS_SD_DTM_REALTIMETESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_REALTIMETESTSUPPORT_H

// A real-time terrain block kept by a writer process, and the files that
// name it.

#include <string>
#include <vector>

#include "../support/blocks/BlockWriter.h"
#include "DTMTestSupport.h"
#include "Sd_RealTimeDTM.h"

namespace realtime_test {

// A writer's block laid out for a terrain of rows x cols nodes (a larger
// block when bytes is given) over x 0 ... 10 (cols - 1), y 0 ... 10 (rows -
// 1), heights 0 ... 100 for codes 1 ... 65535, header word 7; every node
// holds code and colour of Node(r, c) until changed.
class TerrainBlock : public block_test::BlockWriter {
 public:
  TerrainBlock(int rows, int cols, long long bytes = 0)
      : BlockWriter("orvanta-dtm-test-",
                    bytes > 0 ? bytes : static_cast<long long>(Sd_RealTimeLayout::Of(rows, cols).bytes)),
        m_rows(rows),
        m_cols(cols),
        m_layout(Sd_RealTimeLayout::Of(rows, cols)) {
    m_ok = Ready() && Header(rows, cols) && Fill(0);
  }
  bool Ok() const { return m_ok; }

  static unsigned short Code(int r, int c, int shift) { return static_cast<unsigned short>(1000 + 100 * r + c + shift); }
  static unsigned int Colour(int r, int c, int shift) {
    return PackColour(static_cast<unsigned>(40 + 10 * r + shift) & 0xFF, static_cast<unsigned>(200 - 10 * c) & 0xFF,
                      static_cast<unsigned>(90 + shift) & 0xFF, 255);
  }

  // The header's words as the writer would put them (rows and cols may lie).
  bool Header(int rows, int cols) {
    return Put("i32", 0, {double(rows), double(cols)}) && Put("u16", 8, {1, 65535, 7}) &&
           Put("f32", 16, {0, 10.0 * (m_cols - 1), 0, 10.0 * (m_rows - 1), 0, 100});
  }
  // Every node: code and colour of (r, c) with the shift.
  bool Fill(int shift) {
    for (int r = 0; r < m_rows; ++r) {
      std::vector<double> codes, colours;
      for (int c = 0; c < m_cols; ++c) {
        codes.push_back(Code(r, c, shift));
        colours.push_back(Colour(r, c, shift));
      }
      if (!Put("u16", m_layout.ElevationRow(r), codes) || !Put("u32", m_layout.ColourRow(r), colours)) return false;
    }
    return true;
  }
  // Every node the same code and colour.
  bool Uniform(unsigned short code, unsigned int colour) {
    for (int r = 0; r < m_rows; ++r) {
      if (!Put("u16", m_layout.ElevationRow(r), std::vector<double>(m_cols, code)) ||
          !Put("u32", m_layout.ColourRow(r), std::vector<double>(m_cols, colour))) {
        return false;
      }
    }
    return true;
  }

 private:
  int m_rows, m_cols;
  Sd_RealTimeLayout m_layout;
  bool m_ok = false;
};

// A '.sd' file with the 10550 record naming the block (size given, else the
// layout's).
inline bool WriteRecordFile(const std::string& path, const std::string& name, int size, int order = 1) {
  dtm_test::SDWriter w(path, order);
  const bool ok = Sd_RealTimeDTM::WriteRecord(w.Manager(), name.c_str(), size) == 0;
  return w.Close() && ok;
}

}  // namespace realtime_test

#endif
