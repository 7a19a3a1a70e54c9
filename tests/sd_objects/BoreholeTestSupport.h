#ifndef ORVANTA_TESTS_SD_BOREHOLETESTSUPPORT_H
#define ORVANTA_TESTS_SD_BOREHOLETESTSUPPORT_H

// Borehole texts and colour maps made in code, shared by the borehole tests
// (also the drawing and main-window tests).

#include <cstdio>
#include <string>
#include <vector>

#include "Sd_Borehole.h"
#include "Sv_Colour.h"
#include "TDR_Manager.h"

namespace borehole_test {

struct Point {
  double x, y, z;
  int pointClass;
};
using Hole = std::vector<Point>;

// The text of a BORE_DATA record: a title line, one "elems" line per hole
// (n = points - 1), "define vdata", then the points, with eol after each line.
inline std::string Text(const std::vector<Hole>& holes, const std::string& eol = "\n") {
  std::string text = "Drill holes" + eol;
  char line[160];
  for (size_t h = 0; h < holes.size(); ++h) {
    snprintf(line, sizeof line, "elems HOLE-%zu %d", h + 1, static_cast<int>(holes[h].size()) - 1);
    text += line + eol;
  }
  text += "define vdata" + eol;
  for (const Hole& hole : holes) {
    for (const Point& p : hole) {
      snprintf(line, sizeof line, "%.3f %.3f %.3f %d", p.x, p.y, p.z, p.pointClass);
      text += line + eol;
    }
  }
  return text;
}

// A grey ramp whose first entry is red and whose last is blue.
inline std::vector<unsigned> RedToBlue() {
  std::vector<unsigned> colours(256);
  for (unsigned i = 0; i < 256; ++i) colours[i] = PackColour(i, i, i, 255);
  colours[0] = PackColour(255, 0, 0, 255);
  colours[255] = PackColour(0, 0, 255, 255);
  return colours;
}

// The borehole's records with the text and colours.
inline bool Write(TDR_Manager* manager, const std::string& text, const std::vector<unsigned>& colours,
                  short tagVersion = 0) {
  return Sd_Borehole::WriteRecords(manager, text.data(), static_cast<int>(text.size()), colours.data(),
                                   tagVersion) == 0;
}

}  // namespace borehole_test

#endif
