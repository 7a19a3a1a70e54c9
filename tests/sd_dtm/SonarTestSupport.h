#ifndef ORVANTA_TESTS_SD_DTM_SONARTESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_SONARTESTSUPPORT_H

// Non-contiguous test terrains (also used by the drawing tests in
// sd_dtm_gl and by the corpus seeds).

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DTMTestSupport.h"
#include "Sd_SonarDTM.h"

namespace dtm_test {

// The empty code of the test terrains (not 0, so that code 0 is a height).
constexpr unsigned short kEmpty = 7;

// A non-contiguous DTM of rows x cols nodes with the test bounds, heights
// from fn (kEmpty bumped to kEmpty + 1), colour (10 c, 10 r, 200) at node
// (r, c), and the nodes of rows [r0, r1] x columns [c0, c1] empty (no gap
// when r1 < r0).
inline std::unique_ptr<Sd_SonarDTM> MakeSonar(int rows, int cols, int r0 = 0, int r1 = -1, int c0 = 0, int c1 = -1,
                                              unsigned short (*fn)(int, int, int, int) = HillCode) {
  std::unique_ptr<Sd_SonarDTM> dtm(new Sd_SonarDTM());
  if (dtm->CreateGrids(rows, cols) != 0) return nullptr;
  dtm->SetEmptyCode(kEmpty);
  unsigned short** h = dtm->GetElevationGrid();
  unsigned int** colours = dtm->GetColorGrid();
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      unsigned short code = fn(r, c, rows, cols);
      if (code == kEmpty) ++code;
      const bool gap = r >= r0 && r <= r1 && c >= c0 && c <= c1;
      h[r][c] = gap ? kEmpty : code;
      colours[r][c] = PackColour((10 * c) & 255, (10 * r) & 255, 200, 255);
    }
  }
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, kXMin, kXMax);
  dtm->SetBounds(1, kYMin, kYMax);
  dtm->SetBounds(2, kZMin, kZMax);
  return dtm;
}

// Alternate values of a test terrain: code 1000 (r + 1) + c, range
// [-50, 150].
inline bool AddAltValues(Sd_SonarDTM* dtm) {
  unsigned short** alt = dtm->AllocAltValues(dtm->GetRows(), dtm->GetCols());
  if (!alt) return false;
  for (int r = 0; r < dtm->GetRows(); ++r) {
    for (int c = 0; c < dtm->GetCols(); ++c) alt[r][c] = static_cast<unsigned short>(1000 * (r + 1) + c);
  }
  dtm->SetAltRange(-50.0, 150.0);
  return true;
}

// A block laid out as a live terrain block is: the rows of heights, then
// the rows of colours, each row starting at a multiple of 16 bytes, as one
// allocation that belongs to the test.
struct RowBlock {
  int rows, cols;
  size_t heightPitch, colourPitch;
  unsigned char* bytes;
  std::vector<unsigned short*> heights;
  std::vector<unsigned int*> colours;

  RowBlock(int r, int c) : rows(r), cols(c) {
    heightPitch = (static_cast<size_t>(cols) * 2 + 15) / 16 * 16;
    colourPitch = (static_cast<size_t>(cols) * 4 + 15) / 16 * 16;
    bytes = static_cast<unsigned char*>(calloc(1, Size()));
    for (int i = 0; i < rows; ++i) {
      heights.push_back(reinterpret_cast<unsigned short*>(bytes + i * heightPitch));
      colours.push_back(reinterpret_cast<unsigned int*>(bytes + rows * heightPitch + i * colourPitch));
    }
  }
  ~RowBlock() { free(bytes); }
  RowBlock(const RowBlock&) = delete;
  RowBlock& operator=(const RowBlock&) = delete;

  // Copies the grids of dtm into the block.
  void CopyFrom(Sd_BaseDTM* dtm) {
    for (int r = 0; r < rows; ++r) {
      memcpy(heights[r], dtm->GetElevationGrid()[r], static_cast<size_t>(cols) * 2);
      memcpy(colours[r], dtm->GetColorGrid()[r], static_cast<size_t>(cols) * 4);
    }
  }
  size_t Size() const { return static_cast<size_t>(rows) * (heightPitch + colourPitch); }
  std::string Contents() const { return std::string(reinterpret_cast<const char*>(bytes), Size()); }
};

// A non-contiguous terrain holding the rows of block, with the settings and
// bounds of the test terrains.
inline std::unique_ptr<Sd_SonarDTM> HoldingTerrain(RowBlock* block) {
  std::unique_ptr<Sd_SonarDTM> dtm(new Sd_SonarDTM());
  dtm->SetEmptyCode(kEmpty);
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, dtm_test::kXMin, dtm_test::kXMax);
  dtm->SetBounds(1, dtm_test::kYMin, dtm_test::kYMax);
  dtm->SetBounds(2, dtm_test::kZMin, dtm_test::kZMax);
  if (dtm->HoldRows(block->heights.data(), block->colours.data(), block->rows, block->cols) != 0) return nullptr;
  return dtm;
}

}  // namespace dtm_test

#endif
