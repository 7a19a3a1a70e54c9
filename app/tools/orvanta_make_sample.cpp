// Writes the sample scene that ./run.sh opens when no file is given: a small
// SD file made with the terrain library's own writers. It holds two terrain
// models side by side in UTM metres with depths in metres: a uniform terrain
// (every node holds a depth) of a survey area with a channel and a shoal,
// and a non-contiguous terrain of an inspection site whose grid has gaps: an
// island without data, missed survey lines and a ragged outer edge.
//
//   orvanta_make_sample <out.sd>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Sd_BasicDTM.h"
#include "Sd_SonarDTM.h"
#include "Sv_HersheyFont.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace {

constexpr int kSide = 161;
constexpr float kZMin = -180.0f, kZMax = 0.0f;
constexpr double kPi = 3.14159265358979323846;

// Depth in metres of the sea floor at (x, y) in kilometres from the survey
// area's south-west corner: a slope to the east, a winding channel and a
// round shoal.
double Depth(double x, double y) {
  const double slope = -40.0 - 4.0 * x;
  const double channelX = 9.0 + 3.0 * std::sin(y * 0.35);
  const double channel = -45.0 * std::exp(-(x - channelX) * (x - channelX) / 3.0);
  const double shoal = 70.0 * std::exp(-((x - 15.0) * (x - 15.0) + (y - 6.0) * (y - 6.0)) / 8.0);
  const double ripples = 2.0 * std::sin(x * 2.1) * std::cos(y * 1.7);
  return std::clamp(slope + channel + shoal + ripples, -179.0, -1.0);
}

unsigned short Code(double depth) {
  return static_cast<unsigned short>((depth - kZMin) / (kZMax - kZMin) * 65534.0 + 1.0);
}

// A depth colour (deep blue over turquoise to sandy yellow), lit from the
// north-east by the slope of the surface.
unsigned Colour(double depth, double dzdx, double dzdy) {
  const double t = std::clamp((depth - kZMin) / (kZMax - kZMin), 0.0, 1.0);
  const double r = t < 0.6 ? 20 + 60 * t / 0.6 : 80 + 150 * (t - 0.6) / 0.4;
  const double g = t < 0.6 ? 40 + 150 * t / 0.6 : 190 + 20 * (t - 0.6) / 0.4;
  const double b = t < 0.6 ? 140 + 80 * t / 0.6 : 220 - 100 * (t - 0.6) / 0.4;
  // Normal of the surface with heights exaggerated 20 times.
  const double nx = -dzdx * 0.02, ny = -dzdy * 0.02, nz = 1.0;
  const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
  const double lx = std::sin(kPi / 4) * 0.6, ly = std::cos(kPi / 4) * 0.6, lz = 0.8;
  const double light = 0.55 + 0.45 * std::max(0.0, (nx * lx + ny * ly + nz * lz) / len);
  auto channel = [light](double v) { return static_cast<unsigned>(std::clamp(v * light, 0.0, 255.0)); };
  return PackColour(channel(r), channel(g), channel(b), 255);
}

// Fills the grids of dtm (kSide x kSide nodes over width x height km, whose
// south-west corner lies x0 km east of the survey area's) with depths and
// colours, and sets its bounds.
bool Fill(Sd_BaseDTM* dtm, double x0, double width, double height, float east, float north) {
  if (dtm->CreateGrids(kSide, kSide) != 0) return false;
  unsigned short** codes = dtm->GetElevationGrid();
  unsigned** colours = dtm->GetColorGrid();
  const double dx = width / (kSide - 1), dy = height / (kSide - 1);
  for (int r = 0; r < kSide; ++r) {
    for (int c = 0; c < kSide; ++c) {
      const double x = x0 + c * dx, y = r * dy;
      const double d = Depth(x, y);
      const double gx = (Depth(x + 0.05, y) - Depth(x - 0.05, y)) / 100.0;
      const double gy = (Depth(x, y + 0.05) - Depth(x, y - 0.05)) / 100.0;
      codes[r][c] = Code(d);
      colours[r][c] = Colour(d, gx, gy);
    }
  }
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, east, east + static_cast<float>(width * 1000.0));
  dtm->SetBounds(1, north, north + static_cast<float>(height * 1000.0));
  dtm->SetBounds(2, kZMin, kZMax);
  dtm->UpdateExtentsFromBounds();
  return true;
}

// Empties the nodes of the inspection site that hold no data: an island in
// the middle, two survey lines that were missed, and a ragged outer edge.
void MakeGaps(Sd_SonarDTM* dtm) {
  unsigned short** codes = dtm->GetElevationGrid();
  const unsigned short empty = dtm->GetEmptyCode();
  for (int r = 0; r < kSide; ++r) {
    for (int c = 0; c < kSide; ++c) {
      const double u = (c - 80.0) / 80.0, v = (r - 80.0) / 80.0;
      const double angle = std::atan2(v, u);
      const bool island = (u - 0.1) * (u - 0.1) + (v + 0.15) * (v + 0.15) < 0.06 + 0.02 * std::sin(5 * angle);
      const bool missedLine = (r >= 118 && r <= 121 && c > 20) || (r >= 40 && r <= 41 && c < 120);
      const bool outside = std::sqrt(u * u + v * v) > 1.25 + 0.08 * std::sin(7 * angle) || std::fabs(u) > 0.97;
      if (island || missedLine || outside) codes[r][c] = empty;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <out.sd>\n", argc > 0 ? argv[0] : "orvanta_make_sample");
    return 2;
  }
  // Every scene node makes the scene-wide label font when the first one is
  // built. Like the viewer, the writer takes the built-in glyphs: no font
  // file is looked for (there is none without WRUHOME or SVHFONTPATH, and
  // the search would only report that).
  Sv_HersheySetBuiltIn(1);
  TDR_Manager manager;
  if (manager.OpenFile(argv[1], "wb") != 0) {
    fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  manager.AddComment("Orvanta sample scene");
  int status = manager.WriteHeader();

  // The survey area, 16 km x 20 km, and east of it the inspection site,
  // 8 km x 20 km.
  Sd_BasicDTM survey;
  Sd_SonarDTM inspection;
  inspection.SetEmptyCode(0);
  if (!Fill(&survey, 0.0, 16.0, 20.0, 500000.0f, 4920000.0f) ||
      !Fill(&inspection, 16.5, 8.0, 20.0, 516500.0f, 4920000.0f)) {
    status = -1;
  } else {
    MakeGaps(&inspection);
  }

  if (status == 0) status = survey.SaveObject(&manager, 1, 0);
  if (status == 0) status = inspection.SaveObject(&manager, 1, 0);
  if (status == 0) status = manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1);
  if (status != 0) {
    manager.DiscardFile();
  } else if (manager.CloseFile() != 0) {
    status = -1;
  }
  if (status != 0) {
    fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
