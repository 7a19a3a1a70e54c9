// Terrain analysis of the non-contiguous DTM: the float height grid, the
// polygon query window, volumes, and derived models resampled against a
// plane or a second DTM.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Sd_Plane.h"
#include "Sd_PolygonWindow.h"
#include "Sd_SonarDTM.h"
#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "Sv_Types.h"
#include "Sv_Workers.h"

namespace {

constexpr double kNoneLow = 1e10;
constexpr double kNoneHigh = -1e10;
// Samples per cell side of a windowed volume are limited to this.
constexpr int kMaxSamples = 256;

const unsigned kBlack = PackColour(0, 0, 0, 255);

// Spacing of a DTM's nodes along x and y.
double SpacingX(const Sd_SonarDTM* d, const float* bounds) {
  return (static_cast<double>(bounds[1]) - bounds[0]) / (d->GetCols() - 1);
}
double SpacingY(const Sd_SonarDTM* d, const float* bounds) {
  return (static_cast<double>(bounds[3]) - bounds[2]) / (d->GetRows() - 1);
}

int Truncated(double v) {
  if (!(v > -1e9)) return -1000000000;
  if (v > 1e9) return 1000000000;
  return static_cast<int>(v);
}

}  // namespace

void Sd_SonarDTM::PolygonWindowDeleter::operator()(Sd_PolygonWindow* window) const { delete window; }

// --- float grid ---

float** Sd_SonarDTM::AllocFloatGrid(int rows, int cols) {
  if (rows < 1 || cols < 1 || rows > kMaxGridSide || cols > kMaxGridSide) return nullptr;
  float** grid = static_cast<float**>(calloc(static_cast<size_t>(rows), sizeof(float*)));
  if (!grid) return nullptr;
  for (int r = 0; r < rows; ++r) {
    grid[r] = static_cast<float*>(malloc(static_cast<size_t>(cols) * sizeof(float)));
    if (!grid[r]) {
      FreeFloatGrid(grid, r);
      return nullptr;
    }
  }
  return grid;
}

void Sd_SonarDTM::ReleaseFloatGrid() {
  FreeFloatGrid(m_floatGrid, m_floatRows);
  m_floatGrid = nullptr;
  m_floatRows = 0;
  m_floatCols = 0;
}

int Sd_SonarDTM::MakeFloatGrid() {
  ReleaseFloatGrid();
  const int rows = GetRows(), cols = GetCols();
  if (!ElevationRows() || rows < 1 || cols < 1) return -1;
  float** grid = AllocFloatGrid(rows, cols);
  if (!grid) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Out of memory for the float height grid", "Sd_SonarDTM::MakeFloatGrid");
    return -1;
  }
  // A single code (max = min) stands for zmin.
  const int span = static_cast<int>(m_maxCode) - m_minCode;
  const float s = span != 0 ? (m_bounds[5] - m_bounds[4]) / static_cast<float>(span) : 0.0f;
  const float zmin = m_bounds[4];
  const float minCode = m_minCode;
  const unsigned short empty = m_emptyCode;
  for (int r = 0; r < rows; ++r) {
    const unsigned short* codes = ElevationRows()[r];
    float* h = grid[r];
    for (int c = 0; c < cols; ++c) h[c] = codes[c] == empty ? m_floatNoValue : (codes[c] - minCode) * s + zmin;
  }
  m_floatGrid = grid;
  m_floatRows = rows;
  m_floatCols = cols;
  return 0;
}

int Sd_SonarDTM::QuantiseFloatGrid() {
  if (!FloatGridFits() || !ElevationRows()) return -1;
  const double zmin = m_bounds[4], zmax = m_bounds[5];
  const int span = std::max(0, static_cast<int>(m_maxCode) - m_minCode);
  const double t = zmax > zmin ? span / (zmax - zmin) : 0.0;
  const float limit = m_floatNoValue - 1.0f;
  for (int r = 0; r < GetRows(); ++r) {
    unsigned short* codes = ElevationRows()[r];
    const float* h = m_floatGrid[r];
    for (int c = 0; c < GetCols(); ++c) {
      if (!(h[c] <= limit)) {
        codes[c] = m_emptyCode;
        continue;
      }
      // Kept within the code range rather than wrapped.
      const double q = std::floor((h[c] - zmin) * t);
      int code = m_minCode + static_cast<int>(std::clamp(q, 0.0, static_cast<double>(span)));
      // A value must never read as empty: the neighbouring code stands in.
      if (code == m_emptyCode) code = code < m_maxCode ? code + 1 : (code > m_minCode ? code - 1 : code + 1);
      codes[c] = static_cast<unsigned short>(code);
    }
  }
  return 0;
}

int Sd_SonarDTM::ColourFromFloatGrid() {
  if (!FloatGridFits() || !ColourRows()) return -1;
  const float zmin = m_bounds[4], zmax = m_bounds[5];
  const float u = zmax > zmin ? 255.0f / (zmax - zmin) : 0.0f;
  const float limit = m_floatNoValue - 1.0f;
  for (int r = 0; r < GetRows(); ++r) {
    unsigned* colours = ColourRows()[r];
    const float* h = m_floatGrid[r];
    for (int c = 0; c < GetCols(); ++c) {
      if (!(h[c] <= limit)) {
        colours[c] = kBlack;
        continue;
      }
      const unsigned k = static_cast<unsigned>(std::clamp((h[c] - zmin) * u, 0.0f, 255.0f));
      colours[c] = m_colorMapLoaded ? m_defaultColorMap[k] : PackColour(k, k, k, 255);
    }
  }
  return 0;
}

// --- query window ---

int Sd_SonarDTM::IsQueryWindowInside(const Sd_SonarDTM* dtm) {
  if (!dtm || dtm->m_polygonCount < 1 || !dtm->m_polygonX || !dtm->m_polygonY) return 0;
  const float* b = dtm->m_bounds;
  for (int i = 0; i < dtm->m_polygonCount; ++i) {
    const float x = dtm->m_polygonX[i], y = dtm->m_polygonY[i];
    if (!(b[0] <= x && x <= b[1] && b[2] <= y && y <= b[3])) return 0;
  }
  return 1;
}

int Sd_SonarDTM::GetQueryWindowExtent(const Sd_SonarDTM* dtm, double dx, double dy, int* rowMin, int* rowMax,
                                      int* colMin, int* colMax) {
  *rowMin = *rowMax = *colMin = *colMax = 0;
  if (!dtm || dtm->m_polygonCount < 1 || !dtm->m_polygonX || !dtm->m_polygonY || !(dx > 0.0) || !(dy > 0.0)) {
    return -1;
  }
  for (int i = 0; i < dtm->m_polygonCount; ++i) {
    const int row = Truncated((dtm->m_polygonY[i] - static_cast<double>(dtm->m_bounds[2])) / dy);
    const int col = Truncated((dtm->m_polygonX[i] - static_cast<double>(dtm->m_bounds[0])) / dx);
    if (i == 0 || row < *rowMin) *rowMin = row;
    if (i == 0 || row > *rowMax) *rowMax = row;
    if (i == 0 || col < *colMin) *colMin = col;
    if (i == 0 || col > *colMax) *colMax = col;
  }
  ++*rowMax;
  ++*colMax;
  return 0;
}

int Sd_SonarDTM::ApplyQueryWindow() {
  const char* where = "Sd_SonarDTM::ApplyQueryWindow";
  if (!IsQueryWindowInside(this)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Query window outside DTM ", GetName());
    Sv_Debug::Message(SV_LEVEL_DEBUG, ". Query fails.", where);
    return 0;
  }
  if (!HasDrawableGrids()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The DTM has no grid of 2 x 2 nodes or more", where);
    return 0;
  }
  if (m_polygonCount < 3) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A query window needs at least 3 vertices", where);
    return 0;
  }
  const int rows = GetRows(), cols = GetCols();
  std::unique_ptr<Sd_PolygonWindow, PolygonWindowDeleter> window(
      new (std::nothrow) Sd_PolygonWindow(m_polygonCount, rows, cols, m_bounds, m_polygonX, m_polygonY));
  // Without all of its runs the window would empty nodes inside it.
  if (!window || window->ExtractRuns() != 0) return 0;
  if (!FloatGridFits() && MakeFloatGrid() != 0) return 0;
  m_window = std::move(window);

  // Each row's runs in turn: the nodes before, between and after them go.
  const std::vector<Sd_PolygonWindow::Run>& runs = m_window->Runs();
  for (int r = 0; r < rows; ++r) {
    unsigned short* codes = ElevationRows()[r];
    unsigned* colours = ColourRows()[r];
    int first = 0, count = 0;
    m_window->RowRuns(r, &first, &count);
    int c = 0;
    for (int k = first; k <= first + count; ++k) {
      const int end = k < first + count ? runs[k].first : cols;
      for (; c < end; ++c) {
        codes[c] = m_emptyCode;
        colours[c] = kBlack;
      }
      if (k < first + count) c = std::max(c, runs[k].last + 1);
    }
  }
  return 1;
}

// --- interpolation ---

namespace {

// Height at the fractions fy, fx of a cell with corners z00 (lower left),
// z01, z10 and z11, from the corners whose bits are set in code (1, 2, 4,
// 8 in that order); marker when none is.
float InterpolateCorners(float z00, float z01, float z10, float z11, int code, float fy, float fx, float marker) {
  const float bottom = (z01 - z00) * fx + z00;
  const float left = (z10 - z00) * fy + z00;
  const float top = (z11 - z10) * fx + z10;
  const float right = (z11 - z01) * fy + z01;
  switch (code) {
    case 1: return z00;
    case 2: return z01;
    case 3: return bottom;
    case 4: return z10;
    case 5: return left;
    case 6: return (((z01 - z10) * fx + z10) + ((z10 - z01) * fy + z01)) / 2.0f;
    case 7: return (bottom + left) / 2.0f;
    case 8: return z11;
    case 9: return (((z11 - z00) * fx + z00) + ((z11 - z00) * fy + z00)) / 2.0f;
    case 10: return right;
    case 11: return (bottom + right) / 2.0f;
    case 12: return top;
    case 13: return (top + left) / 2.0f;
    case 14: return (top + right) / 2.0f;
    case 15: return (((top - bottom) * fy + bottom) + ((right - left) * fx + left)) / 2.0f;
    default: return marker;
  }
}

int ValidCorners(float z00, float z01, float z10, float z11, float limit) {
  return (z00 < limit) | (z01 < limit) << 1 | (z10 < limit) << 2 | (z11 < limit) << 3;
}

}  // namespace

float Sd_SonarDTM::InterpolateInCell(const Sd_SonarDTM* source, float fy, float fx, int row, int col) {
  if (!source) return 1000000.0f;
  const float marker = source->m_floatNoValue;
  if (!source->m_floatGrid || row < 0 || col < 0 || row + 1 >= source->m_floatRows || col + 1 >= source->m_floatCols) {
    return marker;
  }
  const float z00 = source->m_floatGrid[row][col], z01 = source->m_floatGrid[row][col + 1];
  const float z10 = source->m_floatGrid[row + 1][col], z11 = source->m_floatGrid[row + 1][col + 1];
  return InterpolateCorners(z00, z01, z10, z11, ValidCorners(z00, z01, z10, z11, marker - 1.0f), fy, fx, marker);
}

// --- volumes ---

namespace {

// The double sums of a volume, handed out as floats (where asked for).
void StoreVolumes(double up, double down, double upA, double downA, float* upVolume, float* downVolume, float* upArea,
                  float* downArea) {
  if (upVolume) *upVolume = static_cast<float>(up);
  if (downVolume) *downVolume = static_cast<float>(down);
  if (upArea) *upArea = static_cast<float>(upA);
  if (downArea) *downArea = static_cast<float>(downA);
}

}  // namespace

void Sd_SonarDTM::GetGridVolume(float* upVolume, float* downVolume, float* upArea, float* downArea) {
  // Sums in double: single precision loses digits over millions of cells.
  double up = 0.0, down = 0.0, upA = 0.0, downA = 0.0;
  const int rows = GetRows(), cols = GetCols();
  if (HasDrawableGrids() && (FloatGridFits() || MakeFloatGrid() == 0)) {
    const double area = SpacingX(this, m_bounds) * SpacingY(this, m_bounds);
    const unsigned short e = m_emptyCode;
    for (int r = 0; r + 1 < rows; ++r) {
      const unsigned short *c0 = ElevationRows()[r], *c1 = ElevationRows()[r + 1];
      const float *h0 = m_floatGrid[r], *h1 = m_floatGrid[r + 1];
      for (int c = 0; c + 1 < cols; ++c) {
        double s = 0.0;
        int n = 0;
        if (c0[c] != e) s += h0[c], ++n;
        if (c0[c + 1] != e) s += h0[c + 1], ++n;
        if (c1[c] != e) s += h1[c], ++n;
        if (c1[c + 1] != e) s += h1[c + 1], ++n;
        if (s >= 0.0) {
          up += s / 4.0;
          if (n == 4) upA += area;
        } else {
          down += s / 4.0;
          if (n == 4) downA += area;
        }
      }
    }
    up *= area;
    down *= area;
  }
  StoreVolumes(up, down, upA, downA, upVolume, downVolume, upArea, downArea);
}

void Sd_SonarDTM::GetNodeVolume(float* upVolume, float* downVolume, float* upArea, float* downArea) {
  double up = 0.0, down = 0.0, upA = 0.0, downA = 0.0;
  if (HasDrawableGrids() && (FloatGridFits() || MakeFloatGrid() == 0)) {
    const double area = SpacingX(this, m_bounds) * SpacingY(this, m_bounds);
    for (int r = 0; r < GetRows(); ++r) {
      const unsigned short* codes = ElevationRows()[r];
      const float* h = m_floatGrid[r];
      for (int c = 0; c < GetCols(); ++c) {
        if (codes[c] == m_emptyCode) continue;
        if (h[c] > 0.0f) {
          up += h[c];
          upA += area;
        } else {
          down += h[c];
          downA += area;
        }
      }
    }
    up *= area;
    down *= area;
  }
  StoreVolumes(up, down, upA, downA, upVolume, downVolume, upArea, downArea);
}

namespace {

// Sides of a cell that an edge can cross.
enum Side : unsigned { kBottom = 1, kTop = 2, kLeft = 4, kRight = 8 };

// How a cell of each corner code is cut: the two sides its edge crosses,
// whether the kept samples are found by x against X(y) (else by y against
// Y(x)), whether they lie on the low side, and whether a cell no edge
// crosses is reported.
struct CutCase {
  unsigned sides;
  bool byX;
  bool keepLow;
  bool report;
};

const CutCase kCutCases[16] = {
    {0, true, true, false},                 {kBottom | kLeft, true, true, false},   // 0, 1
    {kBottom | kRight, true, false, false}, {kLeft | kRight, false, true, true},    // 2, 3
    {kTop | kLeft, true, true, false},      {kBottom | kTop, true, true, true},     // 4, 5
    {0, true, true, false},                 {kTop | kRight, true, true, true},      // 6, 7
    {kTop | kRight, true, false, true},     {0, true, true, false},                 // 8, 9
    {kBottom | kTop, true, false, true},    {kTop | kLeft, true, false, true},      // 10, 11
    {kLeft | kRight, false, false, true},   {kBottom | kRight, true, true, false},  // 12, 13
    {kBottom | kLeft, true, false, false},  {0, true, true, false},                 // 14, 15
};

const char* const kCutMessages[16] = {
    nullptr, nullptr, nullptr, "Error in GetPartialVolume: case 3 ", nullptr, "Error in GetPartialVolume: case 5 ",
    nullptr, "Error in GetPartialVolume: case 7 ", "Error in GetPartialVolume: case 8 ", nullptr,
    "Error in GetPartialVolume: case 10 ", "Error in GetPartialVolume: case 11 ",
    "Error in GetPartialVolume: case 12 ", nullptr, nullptr, nullptr,
};

constexpr double kSideTolerance = 1e-7;

using Edge = Sd_PolygonWindow::Edge;

bool Within(double v, double s, double e) {
  return (std::fabs(v - s) < kSideTolerance || v > s) && (std::fabs(v - e) < kSideTolerance || v < e);
}

// True when the edge's line crosses every side of the cell named in sides.
bool CrossesSides(const Edge& g, unsigned sides, double x0, double y0, double dx, double dy) {
  auto X = [&](double y) { return -(g.b * y + g.c) / g.a; };
  auto Y = [&](double x) { return -(g.a * x + g.c) / g.b; };
  if ((sides & (kBottom | kTop)) && g.a == 0.0) return false;
  if ((sides & (kLeft | kRight)) && g.b == 0.0) return false;
  if ((sides & kBottom) && !Within(X(y0), x0, x0 + dx)) return false;
  if ((sides & kTop) && !Within(X(y0 + dy), x0, x0 + dx)) return false;
  if ((sides & kLeft) && !Within(Y(x0), y0, y0 + dy)) return false;
  if ((sides & kRight) && !Within(Y(x0 + dx), y0, y0 + dy)) return false;
  return true;
}

// True when the edge's segment (not only its line) meets the cell: the
// segment clipped to the cell (with the side tolerance) is not empty.
bool SegmentMeetsCell(const Edge& g, double x0, double y0, double dx, double dy) {
  double t0 = 0.0, t1 = 1.0;
  const double ddx = g.x1 - g.x0, ddy = g.y1 - g.y0;
  const double p[4] = {-ddx, ddx, -ddy, ddy};
  const double q[4] = {g.x0 - (x0 - kSideTolerance), (x0 + dx + kSideTolerance) - g.x0,
                       g.y0 - (y0 - kSideTolerance), (y0 + dy + kSideTolerance) - g.y0};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0.0) {
      if (q[k] < 0.0) return false;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0.0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  return true;
}

// The edge that cuts a cell: the first (in vertex order) that crosses the
// case's two sides, preferring one whose segment reaches the cell to one
// whose line merely passes it (a concave polygon has both). candidates,
// when given, lists (in vertex order) every edge whose segment can reach
// the cell, so the search can start there.
const Edge* CuttingEdge(const std::vector<Edge>& edges, unsigned sides, double x0, double y0, double dx, double dy,
                        const std::vector<int>* candidates) {
  if (candidates) {
    for (int k : *candidates) {
      const Edge& g = edges[k];
      if (CrossesSides(g, sides, x0, y0, dx, dy) && SegmentMeetsCell(g, x0, y0, dx, dy)) return &g;
    }
  }
  const Edge* first = nullptr;
  for (const Edge& g : edges) {
    if (!CrossesSides(g, sides, x0, y0, dx, dy)) continue;
    if (!candidates && SegmentMeetsCell(g, x0, y0, dx, dy)) return &g;
    if (!first) first = &g;
  }
  return first;
}

const char* const kPartialVolumeWhere = "Sd_SonarDTM::GetPartialVolume";

// The partial volume of a cell (see GetPartialVolume); the message the cell
// calls for, if any, into *note (sent by the caller).
double PartialVolume(const Sd_PolygonWindow& window, int code, int row, int col, int n, double dx, double dy,
                     const float* samples, const std::vector<int>* candidates, const char** note) {
  *note = nullptr;
  if (code == 6 || code == 9) {
    *note = code == 6 ? "Case 6 found, exciting!" : "Case 9 found, exciting!";
    return 0.0;
  }
  const CutCase& cut = kCutCases[code];
  const double x0 = col * dx, y0 = row * dy;
  const Edge* chosen = CuttingEdge(window.Edges(), cut.sides, x0, y0, dx, dy, candidates);
  if (!chosen) {
    if (cut.report) *note = kCutMessages[code];
    return 0.0;
  }
  const Edge& g = *chosen;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const double yi = y0 + (i + 0.5) * dy / n;
    const float* row = samples + static_cast<size_t>(i) * n;
    if (cut.byX) {
      // The samples of this row left (or right) of the edge.
      const double cx = -(g.b * yi + g.c) / g.a;
      for (int j = 0; j < n; ++j) {
        const double xj = x0 + (j + 0.5) * dx / n;
        if (cut.keepLow ? xj <= cx : xj >= cx) sum += row[j];
      }
    } else {
      for (int j = 0; j < n; ++j) {
        const double cy = -(g.a * (x0 + (j + 0.5) * dx / n) + g.c) / g.b;
        if (cut.keepLow ? yi <= cy : yi >= cy) sum += row[j];
      }
    }
  }
  return sum / (static_cast<double>(n) * n);
}

// Twice the sum of v over nodes a ... b less the two ends: the sum over
// cells a ... b - 1 of their two nodes in this row.
double CellPairSum(const float* v, int a, int b) {
  // Four sums side by side, so the additions need not wait for each other.
  double s[4] = {0.0, 0.0, 0.0, 0.0};
  int c = a;
  for (; c + 3 <= b; c += 4) {
    s[0] += v[c];
    s[1] += v[c + 1];
    s[2] += v[c + 2];
    s[3] += v[c + 3];
  }
  for (; c <= b; ++c) s[0] += v[c];
  return 2.0 * ((s[0] + s[1]) + (s[2] + s[3])) - v[a] - v[b];
}

struct Span {
  int first, last;
};

}  // namespace

double Sd_SonarDTM::GetPartialVolume(int code, int row, int col, int n, double dx, double dy,
                                     const float* samples) const {
  if (!m_window || !samples || n < 1 || code <= 0 || code >= 15) return 0.0;
  const char* note = nullptr;
  const double v = PartialVolume(*m_window, code, row, col, n, dx, dy, samples, nullptr, &note);
  if (note) Sv_Debug::Message(SV_LEVEL_DEBUG, note, kPartialVolumeWhere);
  return v;
}

double Sd_SonarDTM::GetGridVolumeWithWindow(int n) {
  memset(m_cornerCounts, 0, sizeof(m_cornerCounts));
  const int rows = GetRows(), cols = GetCols();
  if (!m_window || !HasDrawableGrids() || m_window->GetRows() != rows || m_window->GetCols() != cols) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error in GetGridVolumeWithWindow.", "Sd_SonarDTM::GetGridVolumeWithWindow");
    return 0.0;
  }
  n = std::clamp(n, 1, kMaxSamples);
  const double dx = SpacingX(this, m_bounds), dy = SpacingY(this, m_bounds);
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  if (GetQueryWindowExtent(this, dx, dy, &r0, &r1, &c0, &c1) != 0) return 0.0;
  if (!FloatGridFits() && MakeFloatGrid() != 0) return 0.0;
  // Only cells whose four corners lie on the grid.
  r0 = std::max(r0, 0);
  c0 = std::max(c0, 0);
  r1 = std::min(r1, rows - 1);
  c1 = std::min(c1, cols - 1);
  if (r0 >= r1 || c0 >= c1) return 0.0;

  const Sd_PolygonWindow& window = *m_window;
  const std::vector<Edge>& edges = window.Edges();
  // The edges whose segments reach each band of cells between two rows.
  std::vector<std::vector<int>> bands(static_cast<size_t>(r1 - r0));
  for (int k = 0; k < static_cast<int>(edges.size()); ++k) {
    const double lo = std::min(edges[k].y0, edges[k].y1), hi = std::max(edges[k].y0, edges[k].y1);
    const int b0 = std::max(r0, Truncated(std::floor((lo - kSideTolerance) / dy)));
    const int b1 = std::min(r1 - 1, Truncated(std::floor((hi + kSideTolerance) / dy)));
    for (int b = b0; b <= b1; ++b) bands[b - r0].push_back(k);
  }

  // Rows of cells in shares on workers. Each share keeps its row's terms
  // (the stretches of whole cells, then the cut cells, row by row) and the
  // messages its cells call for, in order; the terms are added up and the
  // messages sent in share order afterwards, so the total is that of one
  // loop.
  struct Share {
    std::vector<double> terms;
    std::vector<const char*> notes;
    int counts[16] = {};
    bool failed = false;
  };
  const std::vector<Sd_PolygonWindow::Run>& runs = window.Runs();
  const float marker = m_floatNoValue, limit = marker - 1.0f;
  const unsigned short empty = m_emptyCode;
  auto rowsOf = [&](int from, int to, Share* share) {
    // Per row: which nodes are inside and the heights that hold values (0
    // for empty nodes), for the extent's columns.
    std::vector<unsigned char> lower(static_cast<size_t>(cols)), upper(static_cast<size_t>(cols));
    std::vector<float> lowValues(static_cast<size_t>(cols)), upValues(static_cast<size_t>(cols));
    auto takeRow = [&](int r, unsigned char* mask, float* __restrict v) {
      window.FillRowMask(r, mask);
      const unsigned short* __restrict codes = ElevationRows()[r];
      const float* __restrict h = m_floatGrid[r];
      for (int c = c0; c <= c1; ++c) {
        const float height = h[c];
        v[c] = codes[c] != empty ? height : 0.0f;
      }
    };
    std::vector<float> samples(static_cast<size_t>(n) * n);
    std::vector<Span> whole, touched;
    takeRow(from, upper.data(), upValues.data());
    for (int r = from; r < to; ++r) {
      lower.swap(upper);
      lowValues.swap(upValues);
      takeRow(r + 1, upper.data(), upValues.data());
      int f0 = 0, n0 = 0, f1 = 0, n1 = 0;
      window.RowRuns(r, &f0, &n0);
      window.RowRuns(r + 1, &f1, &n1);

      // Cells with all four corners inside: where a run of each row overlaps
      // (both rows' runs are sorted and apart), summed a stretch at a time.
      whole.clear();
      for (int i = f0, j = f1; i < f0 + n0 && j < f1 + n1;) {
        const int a = std::max({runs[i].first, runs[j].first, c0});
        const int b = std::min({runs[i].last, runs[j].last, c1});
        if (b > a) {
          whole.push_back({a, b});
          share->counts[15] += b - a;
          share->terms.push_back((CellPairSum(lowValues.data(), a, b) + CellPairSum(upValues.data(), a, b)) / 4.0);
        }
        if (runs[i].last < runs[j].last) {
          ++i;
        } else {
          ++j;
        }
      }

      // The other cells with a corner inside lie within one cell left of a
      // run and its last node; each is sampled.
      touched.clear();
      for (const Span& rowRuns : {Span{f0, f0 + n0 - 1}, Span{f1, f1 + n1 - 1}}) {
        for (int q = rowRuns.first; q <= rowRuns.last; ++q) {
          const int a = std::max(runs[q].first - 1, c0), b = std::min(runs[q].last, c1 - 1);
          if (a <= b) touched.push_back({a, b});
        }
      }
      std::sort(touched.begin(), touched.end(), [](const Span& p, const Span& q) { return p.first < q.first; });
      int cellsWithCorner = 0;
      int next = c0;  // first cell not yet visited
      size_t w = 0;
      const float *h0 = m_floatGrid[r], *h1 = m_floatGrid[r + 1];
      for (const Span& t : touched) {
        for (int c = std::max(t.first, next); c <= t.last; ++c) {
          while (w < whole.size() && whole[w].last <= c) ++w;
          if (w < whole.size() && c >= whole[w].first) {
            c = whole[w].last - 1;  // the whole cells are summed already
            continue;
          }
          const int code = lower[c] | lower[c + 1] << 1 | upper[c] << 2 | upper[c + 1] << 3;
          if (code == 0 || code == 15) continue;
          ++share->counts[code];
          ++cellsWithCorner;
          const int valid = ValidCorners(h0[c], h0[c + 1], h1[c], h1[c + 1], limit);
          for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
              const float v = InterpolateCorners(h0[c], h0[c + 1], h1[c], h1[c + 1], valid, (i + 0.5f) / n,
                                                 (j + 0.5f) / n, marker);
              samples[static_cast<size_t>(i) * n + j] = v < limit ? v : 0.0f;
            }
          }
          const char* note = nullptr;
          share->terms.push_back(PartialVolume(window, code, r, c, n, dx, dy, samples.data(), &bands[r - r0], &note));
          if (note) share->notes.push_back(note);
        }
        next = std::max(next, t.last + 1);
      }
      int wholeCells = 0;
      for (const Span& s : whole) wholeCells += s.last - s.first;
      share->counts[0] += (c1 - c0) - wholeCells - cellsWithCorner;
    }
  };

  const int rowCount = r1 - r0;
  const int workers =
      std::min(sv_workers::WorkerCount(static_cast<size_t>(rowCount) * static_cast<size_t>(c1 - c0)), rowCount);
  std::vector<Share> shares(static_cast<size_t>(workers));
  const bool ran = sv_workers::RunShares(static_cast<size_t>(rowCount), workers, [&](int w, size_t from, size_t to) {
    Share& share = shares[static_cast<size_t>(w)];
    try {
      if (from < to) rowsOf(r0 + static_cast<int>(from), r0 + static_cast<int>(to), &share);
    } catch (const std::bad_alloc&) {
      share.failed = true;
    }
  });
  double total = 0.0;
  for (const Share& share : shares) {
    if (share.failed || !ran) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No memory for the windowed volume",
                        "Sd_SonarDTM::GetGridVolumeWithWindow");
      memset(m_cornerCounts, 0, sizeof(m_cornerCounts));
      return 0.0;
    }
  }
  for (const Share& share : shares) {
    for (int code = 0; code < 16; ++code) m_cornerCounts[code] += share.counts[code];
    for (const char* note : share.notes) Sv_Debug::Message(SV_LEVEL_DEBUG, note, kPartialVolumeWhere);
    for (double term : share.terms) total += term;
  }
  return total * dx * dy;
}

// --- derived models ---

bool Sd_SonarDTM::PrepareDerived(int rows, int cols, double xmin, double xmax, double ymin, double ymax) {
  ReleaseFloatGrid();
  if (rows < 2 || cols < 2 || CreateGrids(rows, cols) != 0) return false;
  m_floatGrid = AllocFloatGrid(rows, cols);
  if (!m_floatGrid) {
    FreeData();
    return false;
  }
  m_floatRows = rows;
  m_floatCols = cols;
  SetBounds(0, static_cast<float>(xmin), static_cast<float>(xmax));
  SetBounds(1, static_cast<float>(ymin), static_cast<float>(ymax));
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) SetEmptyNode(r, c);
  }
  return true;
}

void Sd_SonarDTM::SetEmptyNode(int r, int c) {
  m_floatGrid[r][c] = m_floatNoValue;
  ElevationRows()[r][c] = m_emptyCode;
  ColourRows()[r][c] = kBlack;
}

void Sd_SonarDTM::FinishResample() {
  double lo = kNoneLow, hi = kNoneHigh;
  const float limit = m_floatNoValue - 1.0f;
  for (int r = 0; r < m_floatRows; ++r) {
    for (int c = 0; c < GetCols(); ++c) {
      const float h = m_floatGrid[r][c];
      if (h < limit) {
        lo = std::min(lo, static_cast<double>(h));
        hi = std::max(hi, static_cast<double>(h));
      }
    }
  }
  SetBounds(2, static_cast<float>(lo), static_cast<float>(hi));
  // Codes and colours follow, so the model is whole even when the caller
  // goes no further than the resample.
  QuantiseFloatGrid();
  ColourFromFloatGrid();
}

int Sd_SonarDTM::ResampleToPlane(Sd_SonarDTM* source, const Sd_Plane* plane) {
  const char* where = "Sd_SonarDTM::ResampleToPlane";
  if (!source || !plane || source == this) return 0;
  if (!plane->GetUseGeoHeight()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Please set the plane to use Geo-height before query!", where);
    return 0;
  }
  if (!source->HasDrawableGrids() || (!source->FloatGridFits() && source->MakeFloatGrid() != 0)) return 0;
  const float h0 = plane->GetGeoHeight();
  const float* b = source->m_bounds;
  if (!PrepareDerived(source->GetRows(), source->GetCols(), b[0], b[1], b[2], b[3])) return 0;
  for (int r = 0; r < GetRows(); ++r) {
    const unsigned short* codes = source->ElevationRows()[r];
    const float* h = source->m_floatGrid[r];
    for (int c = 0; c < GetCols(); ++c) {
      if (codes[c] == source->m_emptyCode) continue;
      // Types 1 and 2 keep only the nodes on their side of the plane.
      switch (m_queryType) {
        case 0: m_floatGrid[r][c] = std::fabs(h[c] - h0); break;
        case 1: if (h[c] > h0) m_floatGrid[r][c] = h[c] - h0; break;
        case 2: if (h[c] < h0) m_floatGrid[r][c] = h0 - h[c]; break;
        case 3: m_floatGrid[r][c] = h[c] - h0; break;
        case 4: m_floatGrid[r][c] = h0 - h[c]; break;
        default: Sv_Debug::Message(SV_LEVEL_DEBUG, "Error in resample: query type.", where); break;
      }
    }
  }
  FinishResample();
  return 1;
}

namespace {

// The two grids of a difference: the base it is built on (the finer; a's on
// equal column spacing) and the one sampled in its cells, with their bounds
// and spacings.
struct DifferencePair {
  Sd_SonarDTM* base = nullptr;
  Sd_SonarDTM* sampled = nullptr;
  bool baseIsA = true;
  const float* bb = nullptr;
  const float* sb = nullptr;
  double bdx = 0.0, bdy = 0.0, sdx = 0.0, sdy = 0.0;

  // false unless both have float grids of 2 x 2 or more (made when missing)
  // and spacings above 0.
  bool Choose(Sd_SonarDTM* a, Sd_SonarDTM* b) {
    for (Sd_SonarDTM* d : {a, b}) {
      if (!d->GetElevationGrid() || d->GetRows() < 2 || d->GetCols() < 2) return false;
      if (!d->FloatGridFits() && d->MakeFloatGrid() != 0) return false;
    }
    baseIsA = !(SpacingX(a, a->GetBounds(0)) > SpacingX(b, b->GetBounds(0)));
    base = baseIsA ? a : b;
    sampled = baseIsA ? b : a;
    bb = base->GetBounds(0);
    sb = sampled->GetBounds(0);
    bdx = SpacingX(base, bb);
    bdy = SpacingY(base, bb);
    sdx = SpacingX(sampled, sb);
    sdy = SpacingY(sampled, sb);
    return bdx > 0.0 && bdy > 0.0 && sdx > 0.0 && sdy > 0.0;
  }

  // The result of query type for the base node's height own and the
  // sampled height s; false (after its message) for another type.
  bool Result(int type, float own, float s, float* v, const char* where) const {
    const float va = baseIsA ? own : s, vb = baseIsA ? s : own;
    switch (type) {
      case 0: *v = va - vb; return true;
      case 1: *v = va < vb ? vb - va : 0.0f; return true;
      case 2: *v = va > vb ? va - vb : 0.0f; return true;
      default: Sv_Debug::Message(SV_LEVEL_DEBUG, "Error in resample: query type.", where); return false;
    }
  }
};

}  // namespace

int Sd_SonarDTM::ResampleDifference(Sd_SonarDTM* a, Sd_SonarDTM* b) {
  const char* where = "Sd_SonarDTM::ResampleDifference";
  DifferencePair p;
  if (!a || !b || a == this || b == this || !p.Choose(a, b)) return 0;
  if (!PrepareDerived(p.base->GetRows(), p.base->GetCols(), p.bb[0], p.bb[1], p.bb[2], p.bb[3])) return 0;
  const float* sb = p.sb;
  const float sampledLimit = p.sampled->m_floatNoValue - 1.0f;
  for (int r = 0; r < GetRows(); ++r) {
    for (int c = 0; c < GetCols(); ++c) {
      if (p.base->ElevationRows()[r][c] == p.base->m_emptyCode) continue;
      const double px = p.bb[0] + c * p.bdx, py = p.bb[2] + r * p.bdy;
      if (px < sb[0] || px > sb[1] || py < sb[2] || py > sb[3]) continue;
      const double qx = (px - sb[0]) / p.sdx, qy = (py - sb[2]) / p.sdy;
      const int i = static_cast<int>(qx), j = static_cast<int>(qy);
      float s;
      if (i + 1 < p.sampled->GetCols() && j + 1 < p.sampled->GetRows()) {
        s = InterpolateInCell(p.sampled, static_cast<float>(qy - j), static_cast<float>(qx - i), j, i);
      } else {
        s = p.sampled->m_floatGrid[std::min(j, p.sampled->GetRows() - 1)][std::min(i, p.sampled->GetCols() - 1)];
      }
      if (!(s < sampledLimit)) continue;
      float v = 0.0f;
      if (p.Result(m_queryType, p.base->m_floatGrid[r][c], s, &v, where)) m_floatGrid[r][c] = v;
    }
  }
  FinishResample();
  return 1;
}

int Sd_SonarDTM::ResampleDifferenceInWindow(Sd_SonarDTM* a, Sd_SonarDTM* b) {
  const char* where = "Sd_SonarDTM::ResampleDifferenceInWindow";
  if (!a || !b || a == this || b == this) return 0;
  if (!IsQueryWindowInside(a) || !IsQueryWindowInside(b)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG,
                      "Error: Query window is out of the range of at least one DTM. Resample failed.", where);
    return 0;
  }
  DifferencePair p;
  if (!p.Choose(a, b)) return 0;
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  const bool extent = GetQueryWindowExtent(p.base, p.bdx, p.bdy, &r0, &r1, &c0, &c1) == 0;
  if (!extent || r0 >= r1 || c0 >= c1 || r0 < 0 || c0 < 0 || r1 >= p.base->GetRows() ||
      c1 >= p.base->GetCols()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error in resample due to incorrect query window. Abort.", where);
    return 0;
  }
  if (!PrepareDerived(r1 - r0 + 1, c1 - c0 + 1, p.bb[0] + c0 * p.bdx, p.bb[0] + c1 * p.bdx, p.bb[2] + r0 * p.bdy,
                      p.bb[2] + r1 * p.bdy)) {
    return 0;
  }
  const float sampledLimit = p.sampled->m_floatNoValue - 1.0f;
  for (int r = 0; r < GetRows(); ++r) {
    for (int c = 0; c < GetCols(); ++c) {
      if (p.base->ElevationRows()[r + r0][c + c0] == p.base->m_emptyCode) continue;
      const double px = m_bounds[0] + c * p.bdx, py = m_bounds[2] + r * p.bdy;
      const double qx = (px - p.sb[0]) / p.sdx, qy = (py - p.sb[2]) / p.sdy;
      const int i = Truncated(qx), j = Truncated(qy);
      if (qx < 0.0 || qy < 0.0 || i + 1 >= p.sampled->GetCols() || j + 1 >= p.sampled->GetRows()) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Resample failed.", where);
        FinishResample();
        return 0;
      }
      const float s = InterpolateInCell(p.sampled, static_cast<float>(qy - j), static_cast<float>(qx - i), j, i);
      if (!(s < sampledLimit)) continue;
      float v = 0.0f;
      if (p.Result(m_queryType, p.base->m_floatGrid[r + r0][c + c0], s, &v, where)) m_floatGrid[r][c] = v;
    }
  }
  FinishResample();
  return 1;
}

// --- query operations ---

int Sd_SonarDTM::FinishQuery(int ok, const Sd_SonarDTM* first) {
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Query failed.", "Sd_SonarDTM::Query");
    return 0;
  }
  SetupFrom(first);
  QuantiseFloatGrid();
  ColourFromFloatGrid();
  return 1;
}

int Sd_SonarDTM::PairQuery(int type, Sd_SonarDTM* a, Sd_SonarDTM* b, int mode) {
  int ok = a && b && a != this && b != this && a->MakeFloatGrid() == 0 && b->MakeFloatGrid() == 0;
  m_queryType = type;
  if (ok) ok = mode == 0 ? ResampleDifferenceInWindow(a, b) : ResampleDifference(a, b);
  return FinishQuery(ok, a);
}

int Sd_SonarDTM::PlaneQuery(int type, Sd_SonarDTM* dtm, const Sd_Plane* plane) {
  int ok = dtm && dtm != this && dtm->MakeFloatGrid() == 0;
  m_queryType = type;
  if (ok) ok = ResampleToPlane(dtm, plane);
  return FinishQuery(ok, dtm);
}

int Sd_SonarDTM::QueryDifference(Sd_SonarDTM* a, Sd_SonarDTM* b, int mode) { return PairQuery(0, a, b, mode); }
int Sd_SonarDTM::QueryBelow(Sd_SonarDTM* a, Sd_SonarDTM* b, int mode) { return PairQuery(1, a, b, mode); }
int Sd_SonarDTM::QueryAbove(Sd_SonarDTM* a, Sd_SonarDTM* b, int mode) { return PairQuery(2, a, b, mode); }
int Sd_SonarDTM::QueryPlaneAbsolute(Sd_SonarDTM* dtm, const Sd_Plane* plane) { return PlaneQuery(0, dtm, plane); }
int Sd_SonarDTM::QueryPlaneAbove(Sd_SonarDTM* dtm, const Sd_Plane* plane) { return PlaneQuery(1, dtm, plane); }
int Sd_SonarDTM::QueryPlaneBelow(Sd_SonarDTM* dtm, const Sd_Plane* plane) { return PlaneQuery(2, dtm, plane); }
int Sd_SonarDTM::QueryPlaneDifference(Sd_SonarDTM* dtm, const Sd_Plane* plane) { return PlaneQuery(3, dtm, plane); }
int Sd_SonarDTM::QueryPlaneInverse(const Sd_Plane* plane, Sd_SonarDTM* dtm) { return PlaneQuery(4, dtm, plane); }
