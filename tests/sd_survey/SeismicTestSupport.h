#ifndef ORVANTA_TESTS_SD_SURVEY_SEISMICTESTSUPPORT_H
#define ORVANTA_TESTS_SD_SURVEY_SEISMICTESTSUPPORT_H

// Seismic curtains for the tests (also used by the drawing tests in
// sd_survey_gl and the viewer tests): a curved track under an image of
// horizontal colour bands with a marked stripe at the track's start,
// written with the project's writers in either byte order.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Sd_Seismic.h"
#include "Sv_ImageIO.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace seismic_test {

// Bands from the bottom: red, green, blue (each a third of the height).
// The first kMarkColumns image columns are white over the whole height.
constexpr int kMarkColumns = 16;
constexpr double kStep = 10.0;  // track spacing along x (map units)
constexpr double kBottom = -3000.0;
constexpr double kTop = 0.0;

inline std::vector<double> CurvedTrack(int count) {
  std::vector<double> xy;
  for (int k = 0; k < count; ++k) {
    const double t = count > 1 ? static_cast<double>(k) / (count - 1) : 0.0;
    xy.push_back(500000.0 + kStep * k);
    xy.push_back(6000000.0 + 800.0 * std::sin(3.14159265358979 * t));
  }
  return xy;
}

inline std::unique_ptr<Sv_ImageIO> BandImage(int width, int height) {
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (int r = 0; r < height; ++r) {
    const int band = r * 3 / height;
    for (int c = 0; c < width; ++c) {
      unsigned char* p = &rgb[(static_cast<size_t>(r) * width + c) * 3];
      const bool mark = c < kMarkColumns;
      p[0] = mark || band == 0 ? 255 : 0;
      p[1] = mark || band == 1 ? 255 : 0;
      p[2] = mark || band == 2 ? 255 : 0;
    }
  }
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  image->SetData(width, height, rgb.data(), 1);
  return image;
}

// A curtain of width track points over a width x height band image.
inline int MakeCurtain(Sd_Seismic& curtain, int width = 1000, int height = 600) {
  const std::vector<double> xy = CurvedTrack(width);
  return curtain.SetCurtain(xy.data(), width, kBottom, kTop, BandImage(width, height));
}

// An SD file holding the curtain (and whatever extra writes after it).
template <typename Extra>
bool WriteFile(Sd_Seismic& curtain, const std::string& path, int order, Extra extra) {
  TDR_Manager m;
  m.SetByteOrder(order);
  bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && curtain.SaveObject(&m, 1, 0) == 0 &&
            extra(m) && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  return m.CloseFile() == 0 && ok;
}

inline bool WriteFile(Sd_Seismic& curtain, const std::string& path, int order = 1) {
  return WriteFile(curtain, path, order, [](TDR_Manager&) { return true; });
}

}  // namespace seismic_test

#endif
