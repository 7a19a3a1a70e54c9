#include "Sv_Geo.h"

#include <cmath>

const double Sv_Geo::kEarthRadius = 6371000.0;

namespace {

const double kDegToRad = 3.14159265358979323846 / 180.0;

// 1-2-5 steps over nine decades.
const double kNiceSteps[] = {0.005, 0.01,  0.02,  0.05,  0.1,    0.2,    0.5,
                             1.0,   2.0,   5.0,   10.0,  20.0,   50.0,   100.0,
                             200.0, 500.0, 1e3,   2e3,   5e3,    1e4,    2e4,
                             5e4,   1e5,   2e5,   5e5,   1e6,    2e6,    5e6};
const int kNiceStepCount = sizeof(kNiceSteps) / sizeof(kNiceSteps[0]);
static_assert(sizeof(kNiceSteps) / sizeof(kNiceSteps[0]) == 28, "28 nice steps");

}  // namespace

int Sv_Geo::GetCoordinateKind(double x1, double x2, double y1, double y2) {
  if (x1 >= -361.0 && x2 < 361.0 && y1 >= -91.0 && y2 < 91.0) return kGeographic;
  return kProjected;
}

double Sv_Geo::ApproxDistance(double x1, double y1, double x2, double y2, int kind) {
  switch (kind) {
    case kPlanar:
    case kProjected:
    case kLocal: {
      double dx = x2 - x1;
      double dy = y2 - y1;
      return std::sqrt(dx * dx + dy * dy);
    }
    case kGeographic: {
      double meanLat = 0.5 * (y1 + y2) * kDegToRad;
      double dx = (x2 - x1) * kDegToRad * std::cos(meanLat);
      double dy = (y2 - y1) * kDegToRad;
      return kEarthRadius * std::sqrt(dx * dx + dy * dy);
    }
    default:
      return 0.0;
  }
}

double Sv_Geo::NiceStepBelow(double value) {
  double step = kNiceSteps[0];
  for (int i = 1; i < kNiceStepCount; ++i) {
    if (kNiceSteps[i] <= value) step = kNiceSteps[i];
    else break;
  }
  return step;
}
