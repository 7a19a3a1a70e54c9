// Polygon query window: runs of inside nodes by edge crossings or by a
// traced outline, and the inside test.
#include "Sd_PolygonWindow.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_Types.h"

namespace {

constexpr double kNodeTolerance = 1e-7;
// Grid positions are clamped to this before they become ints: a vertex far
// outside the grid must not overflow the conversion.
constexpr double kPositionLimit = 1e9;

int ClampedIndex(double v) {
  if (!(v > -kPositionLimit)) return static_cast<int>(-kPositionLimit);
  if (v > kPositionLimit) return static_cast<int>(kPositionLimit);
  return static_cast<int>(v);
}

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

Sd_PolygonWindow::Sd_PolygonWindow(int n, int rows, int cols, const float bounds[6], const float* x, const float* y)
    : m_valid(false),
      m_outlineCapacity(0),
      m_runCapacity(0),
      m_count(0),
      m_rows(rows),
      m_cols(cols),
      m_bounds{},
      m_dx(0.0),
      m_dy(0.0) {
  if (!bounds || !x || !y || n < 3 || rows < 2 || cols < 2) return;
  for (int i = 0; i < 6; ++i) m_bounds[i] = bounds[i];
  m_dx = (m_bounds[1] - m_bounds[0]) / (cols - 1);
  m_dy = (m_bounds[3] - m_bounds[2]) / (rows - 1);
  if (!(m_dx > 0.0) || !(m_dy > 0.0)) return;
  m_count = n;
  const int side = std::max(rows, cols);
  m_outlineCapacity = 15 * side;
  m_runCapacity = 3 * side;
  m_x.assign(x, x + n);
  m_y.assign(y, y + n);
  m_gridVertices.resize(2 * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    m_gridVertices[2 * i] = ClampedIndex((m_x[i] - m_bounds[0]) / m_dx);
    m_gridVertices[2 * i + 1] = ClampedIndex((m_y[i] - m_bounds[2]) / m_dy);
  }
  m_valid = true;
}

void Sd_PolygonWindow::Release() {
  std::vector<Pixel>().swap(m_outline);
  std::vector<Pixel>().swap(m_turns);
  std::vector<int>().swap(m_gridVertices);
  std::vector<Run>().swap(m_runs);
  std::vector<Edge>().swap(m_edges);
  std::vector<double>().swap(m_x);
  std::vector<double>().swap(m_y);
  m_valid = false;
}

void Sd_PolygonWindow::BuildEdges() {
  m_edges.resize(static_cast<size_t>(m_count));
  for (int i = 0; i < m_count; ++i) {
    const int j = (i + 1) % m_count;
    Edge& e = m_edges[i];
    e.x0 = m_x[i] - m_bounds[0];
    e.y0 = m_y[i] - m_bounds[2];
    e.x1 = m_x[j] - m_bounds[0];
    e.y1 = m_y[j] - m_bounds[2];
    e.a = e.y0 - e.y1;
    e.b = e.x1 - e.x0;
    e.c = e.x0 * e.y1 - e.x1 * e.y0;
    e.length = std::sqrt(e.b * e.b + e.a * e.a);
    const double divisor = std::fabs(e.b) > std::fabs(e.a) ? e.b : e.a;
    if (divisor != 0.0) {
      e.a /= divisor;
      e.b /= divisor;
      e.c /= divisor;
    }
  }
}

bool Sd_PolygonWindow::AddRun(int row, int first, int last, int level, const char* message) {
  // Only nodes of the grid can be asked about.
  first = std::max(first, 0);
  last = std::min(last, m_cols - 1);
  if (first > last) return true;
  // Runs of a row come in order of their first node; one that overlaps or
  // touches the one before joins it, so the runs of a row stay apart.
  if (!m_runs.empty() && m_runs.back().row == row && first <= m_runs.back().last + 1) {
    m_runs.back().last = std::max(m_runs.back().last, last);
    return true;
  }
  if (static_cast<int>(m_runs.size()) >= m_runCapacity) {
    Sv_Debug::Message(level, message, "Sd_PolygonWindow");
    m_runs.clear();
    return false;
  }
  m_runs.push_back({row, last, first});
  return true;
}

int Sd_PolygonWindow::ExtractRuns() {
  m_runs.clear();
  if (!m_valid) return -1;
  BuildEdges();
  double lowest = m_y[0], highest = m_y[0];
  for (int i = 1; i < m_count; ++i) {
    lowest = std::min(lowest, m_y[i]);
    highest = std::max(highest, m_y[i]);
  }
  // Rows outside the grid hold no nodes to ask about.
  const int rowLo = std::max(0, ClampedIndex((lowest - m_bounds[2]) / m_dy));
  const int rowHi = std::min(m_rows - 1, ClampedIndex((highest - m_bounds[2]) / m_dy) + 1);
  std::vector<double> crossings;
  crossings.reserve(static_cast<size_t>(m_count));
  for (int r = rowLo; r <= rowHi; ++r) {
    const double yr = r * m_dy;
    crossings.clear();
    for (const Edge& e : m_edges) {
      const double s0 = e.y0 / m_dy, s1 = e.y1 / m_dy;
      if (s0 == s1) continue;
      // One half-open rule for both directions: a vertex on the row is
      // counted once where the outline passes it, twice or not at all where
      // it turns.
      if (std::min(s0, s1) <= r && r < std::max(s0, s1)) crossings.push_back(-(e.b * yr + e.c) / e.a);
    }
    if (crossings.size() % 2 != 0) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Error in extracting crossing points. Function returned abnormally.",
                        "Sd_PolygonWindow::ExtractRuns");
      m_runs.clear();
      return -1;
    }
    std::sort(crossings.begin(), crossings.end());
    for (size_t k = 0; k + 1 < crossings.size(); k += 2) {
      // A crossing within the tolerance of a node counts that node inside.
      const double q0 = crossings[k] / m_dx, q1 = crossings[k + 1] / m_dx;
      const int first = ClampedIndex(std::ceil(q0 - kNodeTolerance));
      const int last = ClampedIndex(std::floor(q1 + kNodeTolerance));
      if (!AddRun(r, first, last, SV_LEVEL_DEBUG, "Error: buffer Rlc overflows. Function returned abnormally.")) {
        return -1;
      }
    }
  }
  return 0;
}

void Sd_PolygonWindow::RowRuns(int row, int* first, int* count) const {
  auto lo = std::lower_bound(m_runs.begin(), m_runs.end(), row, [](const Run& r, int v) { return r.row < v; });
  auto hi = lo;
  while (hi != m_runs.end() && hi->row == row) ++hi;
  *first = static_cast<int>(lo - m_runs.begin());
  *count = static_cast<int>(hi - lo);
}

int Sd_PolygonWindow::IsInside(int column, int row) const {
  int first = 0, count = 0;
  RowRuns(row, &first, &count);
  for (int k = first; k < first + count; ++k) {
    if (m_runs[k].first <= column && column <= m_runs[k].last) return 1;
  }
  return 0;
}

void Sd_PolygonWindow::FillRowMask(int row, unsigned char* mask) const {
  if (m_cols < 1) return;
  memset(mask, 0, static_cast<size_t>(m_cols));
  int first = 0, count = 0;
  RowRuns(row, &first, &count);
  for (int k = first; k < first + count; ++k) {
    memset(mask + m_runs[k].first, 1, static_cast<size_t>(m_runs[k].last - m_runs[k].first + 1));
  }
}

// --- outline method ---

int Sd_PolygonWindow::TraceOutline() {
  m_outline.clear();
  if (!m_valid) return -1;
  for (int i = 0; i < m_count; ++i) {
    const int j = (i + 1) % m_count;
    int x = m_gridVertices[2 * i], y = m_gridVertices[2 * i + 1];
    const int dcol = m_gridVertices[2 * j] - x, drow = m_gridVertices[2 * j + 1] - y;
    const int sx = Sign(dcol), sy = Sign(drow);
    int major = std::abs(dcol), minor = std::abs(drow);
    const bool steep = minor > major;
    if (steep) std::swap(major, minor);
    long long e = 2LL * minor - major;
    // The end point is the next edge's start.
    for (int k = 0; k < major; ++k) {
      if (static_cast<int>(m_outline.size()) >= m_outlineCapacity) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: buffer ob overflowed.", "Sd_PolygonWindow::TraceOutline");
        m_outline.clear();
        return -1;
      }
      m_outline.push_back({x, y});
      while (e >= 0) {
        if (steep) {
          x += sx;
        } else {
          y += sy;
        }
        e -= 2LL * major;
      }
      if (steep) {
        y += sy;
      } else {
        x += sx;
      }
      e += 2LL * minor;
    }
  }
  return 0;
}

int Sd_PolygonWindow::DoubleTurns() {
  m_turns.clear();
  const std::vector<Pixel>& pts = m_outline;
  const int n = static_cast<int>(pts.size());
  if (n == 0) return 0;
  bool full = false;
  auto write = [&](const Pixel& p) {
    if (static_cast<int>(m_turns.size()) >= m_outlineCapacity) {
      full = true;
      return;
    }
    m_turns.push_back(p);
  };

  // Rows: going up means towards larger rows. The stretch of the outline's
  // end that lies in point 0's row belongs to the stretch starting at
  // point 0.
  const int y0 = pts[0].y;
  int m = 0;
  for (int k = n - 1; k >= 1; --k) {
    if (pts[k].y != y0) {
      m = k;
      break;
    }
  }
  int d = (m == 0 || pts[m].y > y0) ? 2 : 1;
  int state = 0, p = 0;
  if (m == n - 1) {
    state = d;
  } else {
    p = (n - 1 - m) % 2;
  }
  for (int k = m + 1; k < n; ++k) write(pts[k]);
  write(pts[0]);

  // A turn in the row direction writes the turning point twice; a flat
  // stretch counts as one crossing when the outline passes it and two when
  // it turns back there (its parity p and arrival direction d decide).
  auto step = [&](int y, int yPrev, const Pixel& turning) {
    switch (state) {
      case 1:
        if (y < yPrev) {
          write(turning);
          state = 2;
        } else if (y == yPrev) {
          d = 1;
          p = 1;
          state = 0;
        }
        break;
      case 2:
        if (y > yPrev) {
          write(turning);
          state = 1;
        } else if (y == yPrev) {
          d = 2;
          p = 1;
          state = 0;
        }
        break;
      default:
        if (y == yPrev) {
          p ^= 1;
        } else if (y > yPrev) {
          if ((p == 1 && d == 1) || (p == 0 && d == 2)) {
            write(turning);
            state = 1;
          }
        } else if ((p == 1 && d == 2) || (p == 0 && d == 1)) {
          write(turning);
          state = 2;
        }
        break;
    }
  };
  for (int i = 1; i <= m && !full; ++i) {
    step(pts[i].y, pts[i - 1].y, pts[i - 1]);
    write(pts[i]);
  }
  if (!full) step(y0, pts[m].y, pts[m]);
  if (full) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Error: buffer ab overflows. Program aborted.", "Sd_PolygonWindow::DoubleTurns");
    m_turns.clear();
    return -1;
  }
  return 0;
}

int Sd_PolygonWindow::BuildRunsFromOutline() {
  m_runs.clear();
  std::vector<Pixel> pts = m_turns;
  std::sort(pts.begin(), pts.end(), [](const Pixel& a, const Pixel& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  const size_t n = pts.size();
  size_t i = 0;
  while (i < n) {
    const int row = pts[i].y;
    const int first = pts[i].x;
    int last = first;
    bool open = true;
    ++i;
    // The second point of a pair always joins; after a closed pair only a
    // neighbouring pixel (a flat stretch going on) does, and opens a pair.
    while (i < n && pts[i].y == row && (open || pts[i].x <= last + 1)) {
      last = std::max(last, pts[i].x);
      open = !open;
      ++i;
    }
    if (row < 0 || row >= m_rows) continue;
    if (!AddRun(row, first, last, SV_LEVEL_ERROR, "Error: buffer Rlc overflows. Program aborted.")) return -1;
  }
  return 0;
}
