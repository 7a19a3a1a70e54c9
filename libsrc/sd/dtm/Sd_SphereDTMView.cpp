// Spherical terrain model: the visible part of the globe, the drawing stride
// and the row under the view centre.
#include <algorithm>
#include <climits>
#include <cmath>

#include "Sd_SphereDTM.h"
#include "Sv_Matrix4.h"
#include "Sv_Vector.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
// A view whose longitude range is wider than this sees every longitude.
constexpr float kFullWidth = 359.999f;
// Depth (normalised device coordinates) of the point that gives the view
// direction from the view volume's centre.
constexpr float kViewAxisDepth = 0.9855f;
// Points within this of a plane count as inside it.
constexpr double kPlaneTolerance = 1e-6;

struct Vec3 {
  double v[3];
  double operator[](int i) const { return v[i]; }
};

Vec3 Through(const float m[16], double x, double y, double z) {
  float out[3];
  TransformPoint4(out, m, static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
  return {{out[0], out[1], out[2]}};
}

Vec3 Sub(const Vec3& a, const Vec3& b) { return {{a[0] - b[0], a[1] - b[1], a[2] - b[2]}}; }

double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec3 Normalised(const Vec3& a) {
  const double n = std::sqrt(Dot(a, a));
  return n > 0.0 ? Vec3{{a[0] / n, a[1] / n, a[2] / n}} : a;
}

// A plane: unit normal and offset; distance of p is n . p + offset.
struct Plane {
  Vec3 n;
  double offset;
  double Distance(const Vec3& p) const { return Dot(n, p) + offset; }
};

Plane PlaneThrough(const Vec3& a, const Vec3& b, const Vec3& c) {
  float p1[3] = {static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2])};
  float p2[3] = {static_cast<float>(b[0]), static_cast<float>(b[1]), static_cast<float>(b[2])};
  float p3[3] = {static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2])};
  float plane[4];
  PlaneFromPoints3f(plane, p1, p2, p3);
  return {{{plane[0], plane[1], plane[2]}}, plane[3]};
}

// An index from a fractional grid position, within 0 ... limit.
int ClampIndex(double v, int limit) {
  if (!(v > 0.0)) return 0;
  return v >= limit ? limit : static_cast<int>(v);
}

}  // namespace

double Sd_SphereDTM::IntersectRaySphere(const double origin[3], const double direction[3], double radius) {
  const double oo = origin[0] * origin[0] + origin[1] * origin[1] + origin[2] * origin[2];
  const bool inside = oo < radius * radius;
  double d[3] = {direction[0], direction[1], direction[2]};
  if (inside) {
    for (double& x : d) x = -x;
  }
  double b = -(origin[0] * d[0] + origin[1] * d[1] + origin[2] * d[2]);
  if (!inside && b < 1e-15) return -1.0;
  const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  double s;
  if (dd != 1.0 && dd != 0.0) {
    s = 1.0 / std::sqrt(dd);
    b *= s;
  } else {
    s = dd;
  }
  const double disc = radius * radius - oo + b * b;
  if (disc < 1e-15) return -1.0;
  return inside ? (std::sqrt(disc) + b) * s : (b - std::sqrt(disc)) * s;
}

bool Sd_SphereDTM::VisibleBox(const float inv[16], double radius, LonLatBox* box) const {
  // The view volume's corners: 0-3 on the near plane, 4-7 on the far one.
  static const double kCorner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  Vec3 p[16];
  for (int i = 0; i < 8; ++i) p[i] = Through(inv, kCorner[i % 4][0], kCorner[i % 4][1], i < 4 ? -1.0 : 1.0);
  const Vec3 inner = Through(inv, 0.0, 0.0, 0.0);

  // Near plane, the four sides, and the plane through the globe's centre
  // facing the viewer; every normal points into the view volume.
  static const int kPlaneCorners[5][3] = {{0, 1, 2}, {0, 4, 5}, {1, 5, 6}, {2, 6, 7}, {3, 7, 4}};
  Plane planes[6];
  for (int i = 0; i < 5; ++i) {
    const int* k = kPlaneCorners[i];
    planes[i] = PlaneThrough(p[k[0]], p[k[1]], p[k[2]]);
    if (planes[i].Distance(inner) < 0.0) {
      for (double& x : planes[i].n.v) x = -x;
      planes[i].offset = -planes[i].offset;
    }
  }
  planes[5] = {{{-planes[0].n[0], -planes[0].n[1], -planes[0].n[2]}}, 0.0};

  bool cutting[6];
  for (int i = 0; i < 6; ++i) {
    const double d = planes[i].offset;  // distance of the centre
    if (d < -radius) return false;
    cutting[i] = d < radius;
  }
  auto inView = [&planes](const Vec3& q) {
    for (const Plane& plane : planes) {
      if (plane.Distance(q) < -kPlaneTolerance) return false;
    }
    return true;
  };

  const Vec3& n0 = planes[0].n;
  const double centreLon = std::atan2(-n0[1], -n0[0]) / kDegree;
  double lonMin = centreLon, lonMax = centreLon;
  double zMin = 1e15, zMax = -1e15;
  bool everyLongitude = false;
  auto widenZ = [&](double z) {
    zMin = std::min(zMin, z);
    zMax = std::max(zMax, z);
  };

  for (double pole : {radius, -radius}) {
    if (inView(Vec3{{0.0, 0.0, pole}})) {
      widenZ(pole);
      everyLongitude = true;
    }
  }

  // Highest and lowest points of each plane's circle on the sphere.
  for (int i = 0; i < 6; ++i) {
    if (!cutting[i]) continue;
    const Vec3& m = planes[i].n;
    const double d = planes[i].offset;
    const double rc = std::sqrt(std::max(0.0, radius * radius - d * d));
    const double theta = std::acos(std::clamp(-m[2], -1.0, 1.0));
    const double psi = std::atan2(-m[1], -m[0]);
    const double st = std::sin(theta), ct = std::cos(theta);
    for (int sign : {1, -1}) {
      const double h = st * d + sign * ct * rc;
      const double z = ct * d - sign * st * rc;
      if (inView(Vec3{{std::cos(psi) * h, std::sin(psi) * h, z}})) widenZ(z);
    }
  }

  // The side edges of the view volume, then the edges of its cross-section
  // through the centre plane, both ways round.
  static const int kEdges[8][2] = {{12, 13}, {13, 14}, {14, 15}, {15, 12},
                                   {13, 12}, {14, 13}, {15, 14}, {12, 15}};
  const Plane& centrePlane = planes[5];
  int sideHits = 0;
  for (int ray = 0; ray < 12; ++ray) {
    if (ray == 4 && sideHits == 4) break;
    Vec3 start, dir;
    if (ray < 4) {
      start = p[ray];
      dir = Normalised(Sub(p[ray + 4], p[ray]));
      const double denom = Dot(centrePlane.n, dir);
      const double t = denom != 0.0 ? -centrePlane.Distance(start) / denom : 0.0;
      p[12 + ray] = {{start[0] + t * dir[0], start[1] + t * dir[1], start[2] + t * dir[2]}};
    } else {
      start = p[kEdges[ray - 4][0]];
      dir = Normalised(Sub(p[kEdges[ray - 4][1]], start));
    }
    const double t = IntersectRaySphere(start.v, dir.v, radius);
    if (t == -1.0) continue;
    const Vec3 hit{{start[0] + t * dir[0], start[1] + t * dir[1], start[2] + t * dir[2]}};
    if (ray < 4) {
      ++sideHits;
    } else if (!inView(hit)) {
      continue;
    }
    double lon = std::atan2(hit[1], hit[0]) / kDegree;
    if (lon - centreLon > 180.0) lon -= 360.0;
    if (centreLon - lon > 180.0) lon += 360.0;
    if (centreLon - lon < 180.0) lonMin = std::min(lonMin, lon);
    if (lon - centreLon < 180.0) lonMax = std::max(lonMax, lon);
    widenZ(hit[2]);
  }

  if (zMin > zMax) {
    // No point of the sphere was met: every latitude may be in view.
    zMin = -radius;
    zMax = radius;
  }
  box->latMin = std::max(UnprojectLatitude(zMin / radius, true) / kDegree, -90.0);
  box->latMax = std::min(UnprojectLatitude(zMax / radius, true) / kDegree, 90.0);
  if (everyLongitude || sideHits < 4) {
    lonMin = 0.0;
    lonMax = 360.0;
  }
  box->lonMin = lonMin;
  box->lonMax = lonMax;
  return true;
}

float Sd_SphereDTM::ScreenCoverage(const float pm[16]) const {
  const double r = OuterRadius();
  float centre[3];
  TransformPoint4(centre, pm, 0.0f, 0.0f, 0.0f);
  double m = 0.0;
  for (int axis = 0; axis < 3; ++axis) {
    float q[3] = {0.0f, 0.0f, 0.0f};
    q[axis] = static_cast<float>(r);
    float s[3];
    TransformPoint4(s, pm, q[0], q[1], q[2]);
    m = std::max(m, std::hypot(static_cast<double>(s[0]) - centre[0], static_cast<double>(s[1]) - centre[1]));
  }
  const double coverage = 3.1415927 * m * m / 4.0;
  return coverage >= 1.0 || !std::isfinite(coverage) ? 1.0f : static_cast<float>(coverage);
}

int Sd_SphereDTM::GetViewCentreRow(const float inverse[16]) const {
  const Vec3 origin = Through(inverse, 0.0, 0.0, 0.0);
  const Vec3 dir = Normalised(Sub(Through(inverse, 0.0, 0.0, kViewAxisDepth), origin));
  const double t = IntersectRaySphere(origin.v, dir.v, 0.5);
  int row;
  if (t == -1.0) {
    row = (m_rowStart + m_rowEnd) / 2;
  } else {
    const Vec3 hit = Normalised(Vec3{{origin[0] + t * dir[0], origin[1] + t * dir[1], origin[2] + t * dir[2]}});
    row = LatitudeToRow(UnprojectLatitude(hit[2], true) / kDegree);
  }
  if (row >= m_rowEnd) row = m_rowEnd - 1;
  if (row < m_rowStart) row = m_rowStart;
  return row;
}

int Sd_SphereDTM::ComputeVisibleWindow() { return ComputeVisibleWindow(FrameState().CurrentView()); }

int Sd_SphereDTM::ComputeVisibleWindow(const Sd_DTMView& view) {
  if (!HasDrawableGrids() || m_lonCos.empty()) return 0;
  const int rows = GetRows(), cols = GetCols();
  float pm[16], inv[16];
  MultMatrix4(pm, view.projection, view.modelview);
  if (InvertMatrix4(inv, pm) != 0) return 0;

  // The box of the globe's outer shell and of its base, where that is a
  // sphere in view: a base wholly out of view still leaves the heights
  // above it.
  LonLatBox box, base;
  if (!VisibleBox(inv, OuterRadius(), &box)) return 0;
  if (m_baseRadius > 0.0 && VisibleBox(inv, m_baseRadius, &base)) {
    box.lonMin = std::min(box.lonMin, base.lonMin);
    box.lonMax = std::max(box.lonMax, base.lonMax);
    box.latMin = std::min(box.latMin, base.latMin);
    box.latMax = std::max(box.latMax, base.latMax);
  }

  const double xmin = m_bounds[0], xmax = m_bounds[1];
  double lon[2] = {box.lonMin, box.lonMax};
  if (static_cast<float>(lon[1] - lon[0]) > kFullWidth) {
    lon[0] = xmin;
    lon[1] = xmax;
  }
  for (double& l : lon) {
    if (l < xmin && l + 360.0 < xmax) l += 360.0;
    if (l > xmax && l - 360.0 > xmin) l -= 360.0;
  }
  const double latMin = std::clamp(box.latMin, static_cast<double>(m_bounds[2]), static_cast<double>(m_bounds[3]));
  const double latMax = std::clamp(box.latMax, static_cast<double>(m_bounds[2]), static_cast<double>(m_bounds[3]));

  // Columns and rows [start, end).
  int colStart = ClampIndex(std::floor(FractionalColumn(lon[0])), cols);
  int colEnd = ClampIndex(std::ceil(FractionalColumn(lon[1])) + 1.0, cols);
  int rowStart = LatitudeToRow(latMin);
  int rowEnd = ClampIndex(std::ceil(FractionalRow(latMax)) + 1.0, rows);

  // Seen from inside the outer shell, every node may be in view.
  const Vec3 centre = Through(inv, 0.0, 0.0, 0.0);
  const double outer = OuterRadius();
  if (Dot(centre, centre) < outer * outer) {
    colStart = 0;
    colEnd = cols;
    rowStart = 0;
    rowEnd = rows;
  }

  const bool seam = colStart > colEnd;
  const float budget = GetDetailBudget();
  if (m_autoLod && budget != 0.0f) {
    const long long width = seam ? static_cast<long long>(cols) - colStart + colEnd : colEnd - colStart;
    const long long cells = width * (rowEnd - rowStart);
    unsigned flags = GetDetailFlags();
    ChooseDetailLevel(&m_lodStep, &m_minStep, ScreenCoverage(pm), cells > INT_MAX ? INT_MAX : static_cast<int>(cells),
                      view.viewport[2], view.viewport[3], budget, &flags, 0);
    SetDetailFlags(flags);
  } else {
    m_minStep = 1;
  }
  if (m_lodStep < 1) m_lodStep = 1;
  if (m_minStep < 1) m_minStep = 1;
  const int step = m_lodStep;

  // A window across the seam whose gap is narrower than four strides takes
  // the whole width; otherwise the window gets a stride's margin each side.
  if (seam && colStart - colEnd < 4 * step) {
    colStart = 0;
    colEnd = cols;
  } else {
    colStart -= colStart % step + step;
    colEnd += 2 * step;
  }
  rowStart -= rowStart % step + step;
  rowEnd += 2 * step;
  m_colStart = std::clamp(colStart, 0, cols);
  m_colEnd = std::clamp(colEnd, 0, cols);
  m_rowStart = std::clamp(rowStart, 0, rows);
  m_rowEnd = std::clamp(rowEnd, 0, rows);

  m_upRow = m_downRow = GetViewCentreRow(inv);
  return 1;
}
