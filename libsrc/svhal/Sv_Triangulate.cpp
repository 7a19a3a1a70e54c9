#include "Sv_Triangulate.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
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
//
// An ear may not hold another vertex of the ring. In a simple ring only a
// vertex that is not convex can lie in an ear, and a convex vertex stays
// convex as ears are cut, so only the vertices that are not (yet) convex
// are searched. The vertices are sorted by the z-order (Morton) code of
// their cell in a 32768 x 32768 grid over the ring's box; every aligned
// square of 2^k x 2^k cells is then one stretch of that order, so the
// search descends a quadtree of squares from the smallest one holding the
// ear's box, passing over squares outside the ear, and tests the vertices
// of the few small squares it reaches. Rings of a hundred thousand vertices
// are cut in a small fraction of the time a search of the whole ring for
// each ear would take.
class EarClipper {
 public:
  EarClipper(const std::vector<double>& u, const std::vector<double>& v, double scale)
      : m_u(u), m_v(v), m_n(static_cast<int>(u.size())), m_prev(m_n), m_next(m_n), m_order(m_n), m_codes(m_n),
        m_rank(m_n), m_candidates((static_cast<size_t>(m_n) + 63) / 64, 0) {
    for (int i = 0; i < m_n; ++i) {
      m_prev[i] = (i + m_n - 1) % m_n;
      m_next[i] = (i + 1) % m_n;
    }
    m_eps = 1e-14 * scale * scale;
    m_minU = *std::min_element(u.begin(), u.end());
    m_minV = *std::min_element(v.begin(), v.end());
    const double size = std::max(*std::max_element(u.begin(), u.end()) - m_minU,
                                 *std::max_element(v.begin(), v.end()) - m_minV);
    m_cellsPerUnit = size > 0.0 ? kCodeMax / size : 0.0;
    std::vector<uint32_t> code(static_cast<size_t>(m_n));
    for (int i = 0; i < m_n; ++i) {
      code[i] = ZOrder(u[i], v[i]);
      m_order[i] = i;
    }
    std::sort(m_order.begin(), m_order.end(), [&code](int a, int b) { return code[a] < code[b]; });
    m_su.resize(static_cast<size_t>(m_n));
    m_sv.resize(static_cast<size_t>(m_n));
    for (int k = 0; k < m_n; ++k) {
      m_codes[k] = code[m_order[k]];
      m_rank[m_order[k]] = k;
      m_su[k] = u[m_order[k]];
      m_sv[k] = v[m_order[k]];
    }
    for (int i = 0; i < m_n; ++i) UpdateCandidate(i);
  }

  // Writes m_n - 2 triangles of ring-local indices.
  //
  // The ring is searched in passes. The first pass tries every vertex in
  // ring order; cutting an ear changes only its two neighbours, which are
  // tried again in the next pass, not in this one (a neighbour tried at
  // once would make a fan of ever larger triangles round one vertex). A
  // vertex that is not an ear is not tried again until a neighbour changes.
  // When no vertex waits, every vertex is tried once more (an ear may have
  // been blocked by a vertex that is gone); a whole pass without an ear
  // ends in the fallback below.
  void Run(int (*out)[3]) {
    int remaining = m_n;
    int row = 0;
    int start = 0;  // a vertex still in the ring
    int pass = 0;
    bool everyVertex = true;  // the current pass tries every vertex
    bool cutInPass = false;
    std::vector<int> waiting;  // vertices of the current pass, in order
    std::vector<int> next;     // vertices of the next pass
    std::vector<int> passOf(static_cast<size_t>(m_n), -1);
    std::vector<char> removed(static_cast<size_t>(m_n), 0);
    auto cut = [&](int b) {
      const int a = m_prev[b];
      const int c = m_next[b];
      Clip(b, out[row++]);
      removed[b] = 1;
      --remaining;
      cutInPass = true;
      start = c;
      for (int x : {c, a}) {
        if (passOf[x] == pass + 1) continue;
        passOf[x] = pass + 1;
        next.push_back(x);
      }
    };
    int v = start;
    do {
      waiting.push_back(v);
      passOf[v] = 0;
      v = m_next[v];
    } while (v != start);
    size_t at = 0;
    while (remaining > 3) {
      if (at == waiting.size()) {
        // The pass is over.
        if (next.empty()) {
          if (everyVertex && !cutInPass) {
            // A whole pass without a proper ear: the ring has flat or
            // repeated vertices only where ears would be, or it is not
            // simple. Remove a vertex that adds no area, else any convex
            // one, else any.
            cut(FallbackVertex(start));
          } else {
            int w = start;
            do {
              passOf[w] = pass + 1;
              next.push_back(w);
              w = m_next[w];
            } while (w != start);
          }
        }
        everyVertex = static_cast<int>(next.size()) == remaining;
        waiting.swap(next);
        next.clear();
        at = 0;
        ++pass;
        cutInPass = false;
        continue;
      }
      const int b = waiting[at++];
      if (removed[b] || passOf[b] != pass) continue;
      if (IsEar(b)) cut(b);
    }
    out[row][0] = m_prev[start];
    out[row][1] = start;
    out[row][2] = m_next[start];
  }

 private:
  int FallbackVertex(int from) const {
    int v = from;
    do {
      if (std::fabs(Cross(v)) <= m_eps) return v;
      v = m_next[v];
    } while (v != from);
    do {
      if (Cross(v) > 0.0) return v;
      v = m_next[v];
    } while (v != from);
    return from;
  }

  double Orient(int a, int b, int c) const {
    return (m_u[b] - m_u[a]) * (m_v[c] - m_v[a]) - (m_v[b] - m_v[a]) * (m_u[c] - m_u[a]);
  }
  double Cross(int b) const { return Orient(m_prev[b], b, m_next[b]); }
  // Orientation of the point (u, v) against the line from vertex a to b.
  double OrientTo(int a, int b, double u, double v) const {
    return (m_u[b] - m_u[a]) * (v - m_v[a]) - (m_v[b] - m_v[a]) * (u - m_u[a]);
  }

  // A convex vertex whose triangle holds no other vertex of the ring, not
  // even on its border (a vertex on the new diagonal would leave a sliver).
  bool IsEar(int b) const {
    int a = m_prev[b];
    int c = m_next[b];
    if (Orient(a, b, c) <= m_eps) return false;
    const double box[4] = {std::min(m_u[a], std::min(m_u[b], m_u[c])), std::max(m_u[a], std::max(m_u[b], m_u[c])),
                           std::min(m_v[a], std::min(m_v[b], m_v[c])), std::max(m_v[a], std::max(m_v[b], m_v[c]))};
    // The search starts at the smallest square of the code order that
    // holds the whole box.
    const uint32_t x0 = Cell(box[0] - m_minU), y0 = Cell(box[2] - m_minV);
    const uint32_t spread = Interleave(x0, y0) ^ Interleave(Cell(box[1] - m_minU), Cell(box[3] - m_minV));
    int bits = 0;  // cells per side of the square: 2^bits
    while (bits < 15 && (spread >> (2 * bits)) != 0) ++bits;
    const uint32_t mask = ~((uint32_t(1) << bits) - 1);
    const uint32_t low = Interleave(x0 & mask, y0 & mask);
    const uint32_t high = low + ((uint32_t(1) << (2 * bits)) - 1);
    const size_t first = std::lower_bound(m_codes.begin(), m_codes.end(), low) - m_codes.begin();
    const size_t end = std::upper_bound(m_codes.begin() + first, m_codes.end(), high) - m_codes.begin();
    return !AnyInside(a, b, c, box, x0 & mask, y0 & mask, uint32_t(1) << bits, first, end);
  }

  // Whether a searched vertex of the square of cells (x0, y0) ... (x0 +
  // size, y0 + size) lies in the triangle a, b, c; the square's vertices
  // are those at places first ... end - 1 of the code order. Squares wholly
  // outside the triangle's box or outside one of its sides are passed over,
  // the others split in four down to a few vertices.
  bool AnyInside(int a, int b, int c, const double box[4], uint32_t x0, uint32_t y0, uint32_t size, size_t first,
                 size_t end) const {
    if (first >= end) return false;
    // The square in ring coordinates, half a cell wider on each side for
    // the rounding of the cells.
    const double u0 = m_minU + (x0 - 0.5) / m_cellsPerUnit, u1 = m_minU + (x0 + size + 0.5) / m_cellsPerUnit;
    const double v0 = m_minV + (y0 - 0.5) / m_cellsPerUnit, v1 = m_minV + (y0 + size + 0.5) / m_cellsPerUnit;
    if (u1 < box[0] || u0 > box[1] || v1 < box[2] || v0 > box[3]) return false;
    const double corners[4][2] = {{u0, v0}, {u1, v0}, {u0, v1}, {u1, v1}};
    const int sides[3][2] = {{a, b}, {b, c}, {c, a}};
    for (const int* side : sides) {
      bool outside = true;
      for (const auto& q : corners) outside = outside && OrientTo(side[0], side[1], q[0], q[1]) < -m_eps;
      if (outside) return false;
    }
    if (end - first <= 64 || size == 1) {
      for (size_t k = first; k < end; ++k) {
        if (((m_candidates[k / 64] >> (k % 64)) & 1u) && Inside(k, a, b, c, box)) return true;
      }
      return false;
    }
    const uint32_t half = size / 2;
    size_t from = first;
    for (uint32_t q = 0; q < 4; ++q) {
      const uint32_t cx = x0 + (q & 1u) * half, cy = y0 + (q >> 1) * half;
      const uint32_t last = Interleave(cx + half - 1, cy + half - 1);
      const size_t to = std::upper_bound(m_codes.begin() + from, m_codes.begin() + end, last) - m_codes.begin();
      if (AnyInside(a, b, c, box, cx, cy, half, from, to)) return true;
      from = to;
    }
    return false;
  }

  // Keeps vertex i among the searched vertices while it is in the ring and
  // not convex.
  void UpdateCandidate(int i) {
    const size_t k = static_cast<size_t>(m_rank[i]);
    const uint64_t bit = uint64_t(1) << (k % 64);
    if (Cross(i) > m_eps) {
      m_candidates[k / 64] &= ~bit;
    } else {
      m_candidates[k / 64] |= bit;
    }
  }

  // Whether the vertex at place k of the code order (not a corner) lies in
  // the triangle a, b, c or on its border.
  bool Inside(size_t k, int a, int b, int c, const double box[4]) const {
    const int p = m_order[k];
    if (p == a || p == c) return false;
    const double u = m_su[k], v = m_sv[k];
    if (u < box[0] || u > box[1] || v < box[2] || v > box[3]) return false;
    for (int corner : {a, b, c}) {
      if (u == m_u[corner] && v == m_v[corner]) return false;
    }
    return OrientTo(a, b, u, v) >= -m_eps && OrientTo(b, c, u, v) >= -m_eps && OrientTo(c, a, u, v) >= -m_eps;
  }

  // Morton code of a position: its cell coordinates (15 bits each within
  // the ring's box) interleaved. It grows with either coordinate.
  uint32_t ZOrder(double u, double v) const { return Interleave(Cell(u - m_minU), Cell(v - m_minV)); }
  // The cell of a distance from the box's low corner.
  uint32_t Cell(double d) const {
    const double c = d * m_cellsPerUnit;
    return static_cast<uint32_t>(c > 0.0 ? (c < kCodeMax ? c : kCodeMax) : 0.0);
  }
  static uint32_t Interleave(uint32_t x, uint32_t y) {
    auto spread = [](uint32_t w) {
      w = (w | (w << 8)) & 0x00FF00FFu;
      w = (w | (w << 4)) & 0x0F0F0F0Fu;
      w = (w | (w << 2)) & 0x33333333u;
      return (w | (w << 1)) & 0x55555555u;
    };
    return spread(x) | (spread(y) << 1);
  }

  void Clip(int b, int* tri) {
    int a = m_prev[b];
    int c = m_next[b];
    tri[0] = a;
    tri[1] = b;
    tri[2] = c;
    m_next[a] = c;
    m_prev[c] = a;
    m_candidates[static_cast<size_t>(m_rank[b]) / 64] &= ~(uint64_t(1) << (m_rank[b] % 64));
    UpdateCandidate(a);
    UpdateCandidate(c);
  }

  // Cells per side of the ring's box: codes of 15 bits per coordinate.
  static constexpr uint32_t kCells = 32768;
  static constexpr double kCodeMax = kCells - 1;

  const std::vector<double>& m_u;
  const std::vector<double>& m_v;
  int m_n;
  std::vector<int> m_prev;
  std::vector<int> m_next;
  std::vector<int> m_order;             // the vertices sorted by z-order code
  std::vector<uint32_t> m_codes;        // their codes, in that order
  std::vector<int> m_rank;              // each vertex's place in m_order
  std::vector<uint64_t> m_candidates;   // by place: in the ring and not convex
  std::vector<double> m_su, m_sv;       // the positions, in that order
  double m_eps;
  double m_minU = 0.0, m_minV = 0.0;
  double m_cellsPerUnit = 0.0;
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
