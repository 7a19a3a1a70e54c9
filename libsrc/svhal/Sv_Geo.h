#ifndef SV_GEO_H
#define SV_GEO_H

// Geodesy helpers.
class Sv_Geo {
 public:
  // Coordinate kinds.
  enum { kPlanar = 0, kGeographic = 1, kProjected = 2, kLocal = 3 };

  // 1 (geographic, degrees) when x1 >= -361, x2 < 361, y1 >= -91 and
  // y2 < 91, else 2 (projected).
  static int GetCoordinateKind(double x1, double x2, double y1, double y2);

  // Distance between (x1, y1) and (x2, y2). Kinds 0, 2 and 3: planar, in
  // the units of the coordinates. Kind 1: x longitude and y latitude in
  // degrees, the result in metres, equirectangular on a sphere of radius
  // 6371000 m. 0 for other kinds.
  static double ApproxDistance(double x1, double y1, double x2, double y2, int kind);

  // The largest entry of the series 0.005, 0.01, 0.02, 0.05, ..., 2000000,
  // 5000000 that is not greater than value; 0.005 below 0.005 (and for a
  // value that is not a number).
  static double NiceStepBelow(double value);

  static const double kEarthRadius;
};

#endif
