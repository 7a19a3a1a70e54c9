#ifndef SD_REALTIMELAYOUT_H
#define SD_REALTIMELAYOUT_H

#include <cstddef>
#include <cstdint>

// Where the rows of a real-time terrain block lie, as byte offsets from the
// start of the block (a mapped view starts on a page, so on a 16-byte
// boundary). The block, written in place by another program in the
// machine's own byte order:
//   0  i32 rows        4  i32 columns
//   8  u16 min code   10  u16 max code   12  i16 header word   14  2 bytes unused
//  16  f32 xmin, xmax, ymin, ymax, zmin, zmax (to byte 40)
// then the elevation rows (u16 codes) and the colour rows (packed colours),
// each row starting at the first 16-byte boundary strictly after the end of
// what precedes it: elevation row 0 at 48, and after each row 1 to 16 bytes
// of gap. The real-time terrain model and the programs that write blocks
// use this one description.
struct Sd_RealTimeLayout {
  static constexpr size_t kHeaderBytes = 40;
  static constexpr uint64_t kFirstRow = 48;

  uint64_t elevationPitch = 0;  // from one elevation row to the next
  uint64_t colourPitch = 0;     // from one colour row to the next
  uint64_t firstColour = 0;     // offset of colour row 0
  uint64_t bytes = 0;           // the block's least size: through the last colour row

  // The first multiple of 16 strictly greater than p.
  static uint64_t NextBoundary(uint64_t p) { return (p / 16 + 1) * 16; }

  // The layout of a block of rows x cols nodes (all zero unless both are at
  // least 1). Every row starts on a boundary, so the distance from one row
  // to the next is the same for all rows of a kind.
  static Sd_RealTimeLayout Of(int rows, int cols) {
    Sd_RealTimeLayout l;
    if (rows < 1 || cols < 1) return l;
    const uint64_t c = static_cast<uint64_t>(cols);
    l.elevationPitch = NextBoundary(2 * c);
    l.colourPitch = NextBoundary(4 * c);
    l.firstColour = kFirstRow + l.elevationPitch * static_cast<uint64_t>(rows);
    l.bytes = l.ColourRow(rows - 1) + 4 * c;
    return l;
  }
  uint64_t ElevationRow(int r) const { return kFirstRow + elevationPitch * static_cast<uint64_t>(r); }
  uint64_t ColourRow(int r) const { return firstColour + colourPitch * static_cast<uint64_t>(r); }
};

#endif
