#ifndef ORVANTA_TESTS_SD_DTM_SPHERETESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_SPHERETESTSUPPORT_H

// Globes for the spherical terrain tests (also included by the drawing and
// main-window tests).

#include <memory>
#include <string>

#include "DTMTestSupport.h"
#include "Sd_SphereDTM.h"

namespace sphere_test {

// Heights of the test globes: 0 ... 10000 m.
constexpr float kZMin = 0.0f, kZMax = 10000.0f;

typedef unsigned short (*CodeFunction)(int r, int c, int rows, int cols);
typedef unsigned (*ColourFunction)(double lon, double lat);

// Codes rising with the column and the row: 1000 + 100 c + 3000 r (up to
// 19 rows and 73 columns).
constexpr int kSlopeColumn = 100, kSlopeRow = 3000;
inline unsigned short Slope(int r, int c, int, int) {
  return static_cast<unsigned short>(1000 + kSlopeColumn * c + kSlopeRow * r);
}

// Quadrants by colour: north-east red, north-west green, south-east blue,
// south-west yellow (east: 0 ... 180 degrees of longitude).
inline unsigned Quadrant(double lon, double lat) {
  const double l = lon < 0.0 ? lon + 360.0 : lon;
  const bool east = l < 180.0;
  if (lat >= 0.0) return east ? PackColour(255, 0, 0, 255) : PackColour(0, 255, 0, 255);
  return east ? PackColour(0, 0, 255, 255) : PackColour(255, 255, 0, 255);
}

inline unsigned Grey(double, double) { return PackColour(200, 200, 200, 255); }

// A globe of rows x cols nodes over the given longitudes and latitudes (in
// degrees), codes from code, each node coloured by its longitude and
// latitude (rows equally spaced in latitude).
inline std::unique_ptr<Sd_SphereDTM> MakeSphere(int rows, int cols, float lon0, float lon1, float lat0, float lat1,
                                                CodeFunction code = Slope, ColourFunction colour = Grey) {
  std::unique_ptr<Sd_SphereDTM> dtm(new Sd_SphereDTM());
  if (dtm->CreateGrids(rows, cols) != 0) return nullptr;
  for (int r = 0; r < rows; ++r) {
    const double lat = rows > 1 ? lat0 + (lat1 - lat0) * r / (rows - 1) : lat0;
    for (int c = 0; c < cols; ++c) {
      const double lon = cols > 1 ? lon0 + (lon1 - lon0) * c / (cols - 1) : lon0;
      dtm->GetElevationGrid()[r][c] = code(r, c, rows, cols);
      dtm->GetColorGrid()[r][c] = colour(lon, lat);
    }
  }
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, lon0, lon1);
  dtm->SetBounds(1, lat0, lat1);
  dtm->SetBounds(2, kZMin, kZMax);
  return dtm;
}

// The globe written to path and read back through the object factory.
inline std::unique_ptr<dtm_test::ReadResult> Reload(Sd_SphereDTM* dtm, const std::string& path) {
  if (!dtm_test::WriteSD(path, {dtm})) return nullptr;
  return dtm_test::ReadSD(path);
}

// Payload of a settings record of the given tag version: draw mode, alpha,
// stride, automatic stride, reserved, exaggeration and, when withFlags, the
// graticule, back-face and Mercator flags; formatWord, when not 0, first.
inline std::string Settings(float formatWord, short mode, int alpha, int step, int autoStep, float exaggeration,
                            bool withFlags, int graticule = 1, int backFaces = 1, int mercator = 1) {
  using dtm_test::Bytes;
  std::string p;
  if (formatWord != 0.0f) p += Bytes(formatWord);
  p += Bytes(mode) + Bytes(alpha) + Bytes(step) + Bytes(autoStep) + Bytes(0) + Bytes(exaggeration);
  if (withFlags) p += Bytes(graticule) + Bytes(backFaces) + Bytes(mercator);
  return p;
}

}  // namespace sphere_test

#endif
