#ifndef ORVANTA_TESTS_SD_DTM_SERIESTESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_SERIESTESTSUPPORT_H

// Surface series made and written for the tests (terrain, drawing and
// main-window tests).

#include <memory>
#include <string>
#include <vector>

#include "DTMTestSupport.h"
#include "Sd_SurfaceSeries.h"

namespace dtm_test {

// The dominant colour of frame f: red, green, blue, red, ...
inline unsigned FrameColour(int f, int r, int c) {
  const unsigned hi = 230, lo0 = static_cast<unsigned>(2 * r) & 63u, lo1 = static_cast<unsigned>(2 * c) & 63u;
  switch (f % 3) {
    case 0:
      return PackColour(hi, lo0, lo1, 255);
    case 1:
      return PackColour(lo0, hi, lo1, 255);
    default:
      return PackColour(lo0, lo1, hi, 255);
  }
}

// Height code of frame f at node (r, c): a plane rising along +x, lifted by
// 10000 per frame.
inline unsigned short SeriesRamp(int f, int, int c) { return static_cast<unsigned short>(1000 + 500 * c + 10000 * f); }

// A series of frames of rows x cols nodes with the test bounds, heights
// from fn (0: empty), colours FrameColour, frames named "frame <f>".
inline std::unique_ptr<Sd_SurfaceSeries> MakeSeries(int frames, int rows, int cols,
                                                    unsigned short (*fn)(int, int, int) = SeriesRamp) {
  std::unique_ptr<Sd_SurfaceSeries> series(new Sd_SurfaceSeries());
  if (series->AllocateFrames(frames, rows, cols) != 0) return nullptr;
  std::vector<std::string> names;
  for (int f = 0; f < frames; ++f) {
    names.push_back("frame " + std::to_string(f));
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        series->FrameHeights(f, r)[c] = fn(f, r, c);
        series->FrameColours(f, r)[c] = FrameColour(f, r, c);
      }
    }
  }
  series->SetFrameNames(names);
  series->SetBounds(0, kXMin, kXMax);
  series->SetBounds(1, kYMin, kYMax);
  series->SetBounds(2, kZMin, kZMax);
  return series;
}

// A file holding the series' records (in the given byte order), with its
// common tags and settings.
inline bool WriteSeries(const std::string& path, Sd_SurfaceSeries* series, int byteOrder = 1) {
  TDR_Manager m;
  m.SetByteOrder(byteOrder);
  const bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 &&
                  series->SaveDataRecords(&m, 1) == 0 && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  return m.CloseFile() == 0 && ok;
}

}  // namespace dtm_test

#endif
