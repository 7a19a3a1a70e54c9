#include "Sv_Triangulate.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

struct RingInfo {
  int first;     // index of the ring's first vertex in the vertex array
  int count;     // vertices in the ring
  int axis;      // dropped axis of the projection: 0 x, 1 y, 2 z
  bool reverse;  // clockwise in the projection: reverse before clipping
  double scale;  // size of the ring's bounding box, for tolerances
};

// Projected coordinates (u, v) of a point for the dropped axis, chosen so
// that the projected signed area has the sign of the normal's component.
inline void Project(const double* p, const double* origin, int axis, double* u, double* v) {
  double d[3] = {p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]};
  switch (axis) {
    case 0:
      *u = d[1];
      *v = d[2];
      break;
    case 1:
      *u = d[2];
      *v = d[0];
      break;
    default:
      *u = d[0];
      *v = d[1];
      break;
  }
}

// Checks one ring and finds its projection. Returns false for a ring that
// cannot be triangulated.
bool AnalyseRing(double* const* vertices, RingInfo* ring) {
  const double* origin = vertices[ring->first];
  double normal[3] = {0.0, 0.0, 0.0};
  double lo[3], hi[3];
  for (int k = 0; k < 3; ++k) lo[k] = hi[k] = 0.0;
  for (int i = 0; i < ring->count; ++i) {
    const double* p = vertices[ring->first + i];
    const double* q = vertices[ring->first + (i + 1) % ring->count];
    // Relative to the first vertex, so that large map coordinates do not
    // swamp the area sums.
    double a[3] = {p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]};
    double b[3] = {q[0] - origin[0], q[1] - origin[1], q[2] - origin[2]};
    normal[0] += (a[1] - b[1]) * (a[2] + b[2]);
    normal[1] += (a[2] - b[2]) * (a[0] + b[0]);
    normal[2] += (a[0] - b[0]) * (a[1] + b[1]);
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], a[k]);
      hi[k] = std::max(hi[k], a[k]);
    }
  }
  double size = std::max(hi[0] - lo[0], std::max(hi[1] - lo[1], hi[2] - lo[2]));
  double len = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  if (!(size > 0.0) || !std::isfinite(size) || !std::isfinite(len)) return false;
  if (len <= 1e-10 * size * size) return false;
  int axis = 2;
  if (std::fabs(normal[0]) > std::fabs(normal[axis])) axis = 0;
  if (std::fabs(normal[1]) > std::fabs(normal[axis])) axis = 1;
  ring->axis = axis;
  ring->reverse = normal[axis] < 0.0;
  ring->scale = size;
  return true;
}

// Ear clipping of one counter-clockwise ring in the plane.
class EarClipper {
 public:
  EarClipper(const std::vector<double>& u, const std::vector<double>& v, double scale)
      : m_u(u), m_v(v), m_n(static_cast<int>(u.size())), m_prev(m_n), m_next(m_n) {
    for (int i = 0; i < m_n; ++i) {
      m_prev[i] = (i + m_n - 1) % m_n;
      m_next[i] = (i + 1) % m_n;
    }
    m_eps = 1e-14 * scale * scale;
  }

  // Writes m_n - 2 triangles of ring-local indices.
  void Run(int (*out)[3]) {
    int remaining = m_n;
    int row = 0;
    int ear = 0;
    int stop = ear;
    while (remaining > 3) {
      if (IsEar(ear)) {
        int next = m_next[ear];
        Clip(ear, out[row++]);
        --remaining;
        ear = m_next[next];
        stop = ear;
        continue;
      }
      ear = m_next[ear];
      if (ear != stop) continue;
      // A whole round without a proper ear: the ring has flat or repeated
      // vertices only where ears would be, or it is not simple. Remove a
      // vertex that adds no area, else any convex one, else the current one.
      int pick = -1;
      int v = ear;
      do {
        if (std::fabs(Cross(v)) <= m_eps) {
          pick = v;
          break;
        }
        v = m_next[v];
      } while (v != ear);
      if (pick < 0) {
        v = ear;
        do {
          if (Cross(v) > 0.0) {
            pick = v;
            break;
          }
          v = m_next[v];
        } while (v != ear);
      }
      if (pick < 0) pick = ear;
      int next = m_next[pick];
      Clip(pick, out[row++]);
      --remaining;
      ear = next;
      stop = ear;
    }
    out[row][0] = m_prev[ear];
    out[row][1] = ear;
    out[row][2] = m_next[ear];
  }

 private:
  double Orient(int a, int b, int c) const {
    return (m_u[b] - m_u[a]) * (m_v[c] - m_v[a]) - (m_v[b] - m_v[a]) * (m_u[c] - m_u[a]);
  }
  double Cross(int b) const { return Orient(m_prev[b], b, m_next[b]); }
  bool Same(int a, int b) const { return m_u[a] == m_u[b] && m_v[a] == m_v[b]; }

  // A convex vertex whose triangle holds no other vertex of the ring, not
  // even on its border (a vertex on the new diagonal would leave a sliver).
  bool IsEar(int b) const {
    int a = m_prev[b];
    int c = m_next[b];
    if (Orient(a, b, c) <= m_eps) return false;
    double minU = std::min(m_u[a], std::min(m_u[b], m_u[c]));
    double maxU = std::max(m_u[a], std::max(m_u[b], m_u[c]));
    double minV = std::min(m_v[a], std::min(m_v[b], m_v[c]));
    double maxV = std::max(m_v[a], std::max(m_v[b], m_v[c]));
    for (int p = m_next[c]; p != a; p = m_next[p]) {
      if (m_u[p] < minU || m_u[p] > maxU || m_v[p] < minV || m_v[p] > maxV) continue;
      if (Same(p, a) || Same(p, b) || Same(p, c)) continue;
      if (Orient(a, b, p) >= -m_eps && Orient(b, c, p) >= -m_eps && Orient(c, a, p) >= -m_eps)
        return false;
    }
    return true;
  }

  void Clip(int b, int* tri) {
    int a = m_prev[b];
    int c = m_next[b];
    tri[0] = a;
    tri[1] = b;
    tri[2] = c;
    m_next[a] = c;
    m_prev[c] = a;
  }

  const std::vector<double>& m_u;
  const std::vector<double>& m_v;
  int m_n;
  std::vector<int> m_prev;
  std::vector<int> m_next;
  double m_eps;
};

}  // namespace

int triangulate_polygon(int ncontours, const int counts[], double* vertices[], int (*triangles)[3]) {
  if (ncontours < 1 || !counts || !vertices || !triangles) return -1;

  // Check everything before changing anything.
  std::vector<RingInfo> rings(static_cast<size_t>(ncontours));
  long long total = 0;
  for (int c = 0; c < ncontours; ++c) {
    if (counts[c] < 3) return -1;
    rings[c].first = static_cast<int>(total);
    rings[c].count = counts[c];
    total += counts[c];
    if (total > INT_MAX) return -1;
  }
  for (long long i = 0; i < total; ++i) {
    const double* p = vertices[i];
    if (!p || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return -1;
  }
  for (RingInfo& ring : rings) {
    if (!AnalyseRing(vertices, &ring)) return -1;
  }

  int row = 0;
  std::vector<double> u, v;
  for (const RingInfo& ring : rings) {
    double** first = vertices + ring.first;
    if (ring.reverse) std::reverse(first, first + ring.count);
    u.resize(static_cast<size_t>(ring.count));
    v.resize(static_cast<size_t>(ring.count));
    for (int i = 0; i < ring.count; ++i) Project(first[i], first[0], ring.axis, &u[i], &v[i]);
    EarClipper clipper(u, v, ring.scale);
    int (*out)[3] = triangles + row;
    clipper.Run(out);
    for (int t = 0; t < ring.count - 2; ++t)
      for (int k = 0; k < 3; ++k) out[t][k] += ring.first + 1;
    row += ring.count - 2;
  }
  return 0;
}
