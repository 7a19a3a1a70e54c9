// 3-D lines: adding and removing lines, labels in gaps, bounds, colours,
// polygon rings, draping and densifying.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Sd_Lines3D.h"
#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "Sv_Triangulate.h"
#include "Sv_Types.h"
#include "TDR_Colormap.h"

namespace {

// Start of the bounds search: the single-precision value of 1e15.
constexpr double kBoundsStart = 999999986991104.0;
// An axis flatter than this is widened so that it can be drawn.
constexpr double kFlatAxis = 0.0001;
// Most vertices a line may reach through Densify.
constexpr long long kMaxDensifiedVertices = 1LL << 26;
// Most points taken from a picked point list.
constexpr int kMaxPickedPoints = 1 << 24;

double Distance(const double* a, const double* b) {
  const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// A new vertex block holding the n vertices of the three arrays; null
// when out of memory.
std::unique_ptr<double[]> VertexBlock(int n, const double* x, const double* y, const double* z) {
  std::unique_ptr<double[]> block(new (std::nothrow) double[3 * static_cast<size_t>(n)]);
  if (!block) return block;
  for (int i = 0; i < n; ++i) {
    block[3 * static_cast<size_t>(i)] = x[i];
    block[3 * static_cast<size_t>(i) + 1] = y[i];
    block[3 * static_cast<size_t>(i) + 2] = z[i];
  }
  return block;
}

// A line of the vertices in the flat array (x, y, z per vertex); false
// when out of memory.
bool LineFromFlat(const std::vector<double>& flat, Sd_Lines3D::Line* line) {
  const size_t count = flat.size() / 3;
  line->xyz.reset(new (std::nothrow) double[flat.size()]);
  if (!line->xyz) return false;
  memcpy(line->xyz.get(), flat.data(), flat.size() * sizeof(double));
  line->segments = static_cast<int>(count) - 1;
  return true;
}

void Push(std::vector<double>& flat, const double* v) { flat.insert(flat.end(), v, v + 3); }

// Where the gap of a label that starts at s and is w long ends on the
// segment from a to b, b being the first vertex at least w from s: the
// point p = b + t (a - b) with |p - s| = w, t the smaller root in 0 ... 1;
// b itself when there is no such root.
void GapEnd(const double* a, const double* b, const double* s, double w, double out[3]) {
  const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  const double e[3] = {b[0] - s[0], b[1] - s[1], b[2] - s[2]};
  const double qa = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  const double qb = 2.0 * (e[0] * d[0] + e[1] * d[1] + e[2] * d[2]);
  const double qc = e[0] * e[0] + e[1] * e[1] + e[2] * e[2] - w * w;
  const double disc = qb * qb - 4.0 * qa * qc;
  double t = 0.0;
  if (qa > 0.0 && disc >= 0.0) t = (-qb - std::sqrt(disc)) / (2.0 * qa);
  if (!(t >= 0.0 && t <= 1.0)) t = 0.0;
  for (int k = 0; k < 3; ++k) out[k] = b[k] + t * d[k];
}

// Index into a 256-entry colour map: truncated and kept within 0 ... 255.
int MapIndex(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<int>(v);
}

std::string LabelText(const char* text) {
  std::string s(text ? text : "");
  if (s.size() > static_cast<size_t>(Sd_Lines3D::kMaxLabelLength)) s.resize(Sd_Lines3D::kMaxLabelLength);
  return s;
}

}  // namespace

// --- the list ---

void Sd_Lines3D::PushLine(Line&& line) {
  m_segments += line.segments;
  m_lines.push_front(std::move(line));
  // A progressive pass in progress keeps its place in the list.
  if (m_stepStage == 1) ++m_stepCursor;
  ExtendBounds(m_lines.front());
}

void Sd_Lines3D::AddLine(int n, const double* x, const double* y, const double* z) {
  if (n < 2 || !x || !y || !z) return;
  Line line;
  line.xyz = VertexBlock(n, x, y, z);
  if (!line.xyz) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Out of memory for a line", "Sd_Lines3D::AddLine");
    return;
  }
  line.segments = n - 1;
  PushLine(std::move(line));
}

void Sd_Lines3D::AddColouredLine(int n, const double* x, const double* y, const double* z, int mode, const double*,
                                 const unsigned* colour) {
  const int before = GetLineCount();
  AddLine(n, x, y, z);
  if (GetLineCount() == before || mode != 1 || !colour) return;
  Line& line = m_lines.front();
  line.colour[0] = static_cast<unsigned char>(ColourRed(*colour));
  line.colour[1] = static_cast<unsigned char>(ColourGreen(*colour));
  line.colour[2] = static_cast<unsigned char>(ColourBlue(*colour));
  line.ownColour = 1;
}

// Labels are placed in order along the line. A label's position is the
// distance along the line from the first vertex at which its gap starts
// (a position inside an earlier label's gap starts at that gap's end); the
// gap ends at the straight-line distance of the label's width from its
// start. A label that no longer fits before the line's end is dropped with
// every later one.
void Sd_Lines3D::AddLabelledLine(int n, const double* x, const double* y, const double* z, int k,
                                 const double* positions, const char* const* texts) {
  if (n < 2 || !x || !y || !z) return;
  if (k < 1 || !positions || !texts) {
    AddLine(n, x, y, z);
    return;
  }
  std::vector<double> v(3 * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    v[3 * i] = x[i];
    v[3 * i + 1] = y[i];
    v[3 * i + 2] = z[i];
  }
  auto at = [&](int i) { return &v[3 * static_cast<size_t>(i)]; };

  // A line shorter than its first label goes in without labels.
  const double firstWidth = LabelWidth(texts[0]);
  bool fits = false;
  for (int i = 1; i < n && !fits; ++i) fits = Distance(at(i), at(0)) >= firstWidth;
  if (!fits) {
    AddLine(n, x, y, z);
    return;
  }

  std::vector<double> along(static_cast<size_t>(n), 0.0);
  for (int i = 1; i < n; ++i) along[i] = along[i - 1] + Distance(at(i - 1), at(i));

  Line line;
  std::vector<double> out;
  out.reserve(3 * (static_cast<size_t>(n) + 2 * static_cast<size_t>(k)));
  Push(out, at(0));
  int current = 0;  // the last vertex of the line copied
  for (int j = 0; j < k; ++j) {
    const double width = LabelWidth(texts[j]);
    const double position = positions[j] > along[current] ? positions[j] : along[current];
    int i = current;
    while (i < n - 1 && along[i + 1] < position) ++i;
    if (i >= n - 1) break;
    const double length = along[i + 1] - along[i];
    const double t = length > 0.0 ? (position - along[i]) / length : 0.0;
    double start[3];
    for (int c = 0; c < 3; ++c) start[c] = at(i)[c] + t * (at(i + 1)[c] - at(i)[c]);
    int m = i + 1;
    while (m < n && Distance(at(m), start) < width) ++m;
    if (m >= n) break;
    for (int c = current + 1; c <= i; ++c) Push(out, at(c));
    line.labelPositions.push_back(static_cast<int>(out.size() / 3));
    line.labelTexts.push_back(LabelText(texts[j]));
    Push(out, start);
    double end[3];
    GapEnd(at(m - 1), at(m), start, width, end);
    Push(out, end);
    Push(out, at(m));
    current = m;
  }
  for (int c = current + 1; c < n; ++c) Push(out, at(c));
  if (!LineFromFlat(out, &line)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Out of memory for a line", "Sd_Lines3D::AddLabelledLine");
    return;
  }
  PushLine(std::move(line));
}

void Sd_Lines3D::AddLineFromPointList(const Sd_LinePoint* list, int count) {
  std::vector<double> x, y, z;
  for (const Sd_LinePoint* p = list; p && static_cast<int>(x.size()) < count; p = p->next) {
    x.push_back(p->x);
    y.push_back(p->y);
    z.push_back(p->z);
  }
  AddLine(static_cast<int>(x.size()), x.data(), y.data(), z.data());
}

void Sd_Lines3D::AddLineFromPickedPoints() {
  int closed = 0;
  const Sd_LinePoint* list = static_cast<const Sd_LinePoint*>(RequestPointList(&closed));
  if (!list) return;
  std::vector<double> x, y, z;
  for (const Sd_LinePoint* p = list; p && static_cast<int>(x.size()) < kMaxPickedPoints; p = p->next) {
    x.push_back(p->x);
    y.push_back(p->y);
    z.push_back(p->z);
  }
  if (closed) {
    x.push_back(list->x);
    y.push_back(list->y);
    z.push_back(list->z);
  }
  AddLine(static_cast<int>(x.size()), x.data(), y.data(), z.data());
}

int Sd_Lines3D::RemoveFirstLine() {
  if (m_lines.empty()) return 0;
  m_segments -= m_lines.front().segments;
  m_lines.pop_front();
  if (m_stepCursor > 0) --m_stepCursor;
  m_vertexBoxValid = false;
  return m_lines.empty() ? 0 : 1;
}

void Sd_Lines3D::RemoveFirstLineAndRebound() {
  RemoveFirstLine();
  RecomputeBounds();
}

void Sd_Lines3D::RemoveAllLines() {
  while (RemoveFirstLine()) {
  }
}

void Sd_Lines3D::ClearLines() {
  m_lines.clear();
  m_segments = 0;
  m_stepCursor = 0;
  m_vertexBoxValid = false;
}

// --- bounds ---

void Sd_Lines3D::RecomputeBounds() {
  if (m_lines.empty()) return;
  for (int a = 0; a < 3; ++a) {
    m_vertexBox[a] = kBoundsStart;
    m_vertexBox[a + 3] = -kBoundsStart;
  }
  for (const Line& line : m_lines) FoldIntoVertexBox(line);
  m_vertexBoxValid = true;
  BoundsFromVertexBox();
}

// Contouring adds thousands of lines one by one: each costs only its own
// vertices while the vertex box is known.
void Sd_Lines3D::ExtendBounds(const Line& line) {
  if (!m_vertexBoxValid) {
    RecomputeBounds();
    return;
  }
  FoldIntoVertexBox(line);
  BoundsFromVertexBox();
}

void Sd_Lines3D::FoldIntoVertexBox(const Line& line) {
  for (int i = 0; i < line.VertexCount(); ++i) {
    const double* v = line.Vertex(i);
    for (int a = 0; a < 3; ++a) {
      m_vertexBox[a] = std::min(m_vertexBox[a], v[a]);
      m_vertexBox[a + 3] = std::max(m_vertexBox[a + 3], v[a]);
    }
  }
}

void Sd_Lines3D::BoundsFromVertexBox() {
  for (int a = 0; a < 3; ++a) {
    m_dataBounds[2 * a] = m_vertexBox[a];
    m_dataBounds[2 * a + 1] = m_vertexBox[a + 3];
    if (m_dataBounds[2 * a + 1] - m_dataBounds[2 * a] < kFlatAxis) m_dataBounds[2 * a + 1] += 1.0;
  }
  ApplyDataBounds();
}

void Sd_Lines3D::ApplyDataBounds() {
  for (int a = 0; a < 3; ++a) {
    SetBounds(a, static_cast<float>(m_dataBounds[2 * a]), static_cast<float>(m_dataBounds[2 * a + 1]));
  }
  UpdateDerived();
}

void Sd_Lines3D::UpdateDerived() {
  for (int a = 0; a < 3; ++a) {
    const double lo = m_dataBounds[2 * a], hi = m_dataBounds[2 * a + 1];
    m_dataExtents[a] = hi - lo;
    m_dataCentres[a] = 0.5 * (lo + hi);
    // A flat axis (not drawn at all) must not make the scale infinite.
    m_inverseExtents[a] = m_dataExtents[a] >= 1e-7 && std::isfinite(m_dataExtents[a]) ? 1.0 / m_dataExtents[a] : 1.0;
  }
}

void Sd_Lines3D::SetZRangeFromParent() {
  Sd_Node* parent = GetParent();
  if (!parent) return;
  const float* z = parent->GetBounds(2);
  m_dataBounds[4] = z[0];
  m_dataBounds[5] = z[1];
  SetBounds(2, z[0], z[1]);
  UpdateDerived();
}

// --- colours ---

const unsigned* Sd_Lines3D::ColoursForLines(unsigned fallback[256]) {
  if (GetColorMap()) return GetColorMap();
  // step32.cmap becomes the node's colour map; without it (or without
  // WRUHOME, reported once) the built-in ramp colours the lines.
  if (char* path = Sv_UtlHomePath("cmaps/step32.cmap")) {
    unsigned* colours = TDR_UtlReadColormapOnce(path, nullptr);
    free(path);
    if (colours) {
      SetColorMap(colours);
      return colours;
    }
  }
  TDR_UtlBuiltInColormap(fallback);
  return fallback;
}

void Sd_Lines3D::UpdateLineColours() {
  const bool byDepth = m_colourMode == 1;
  const bool byAttribute = m_colourMode == 2 && m_attributePresent && m_attributeMaximum >= 1;
  unsigned fallback[256];
  const unsigned* map = (byDepth || byAttribute) && !m_lines.empty() ? ColoursForLines(fallback) : nullptr;
  const double zMin = m_bounds[4];
  const double zRange = static_cast<double>(m_bounds[5]) - m_bounds[4];
  for (Line& line : m_lines) {
    if (line.ownColour) continue;
    unsigned colour = PackColour(255, 255, 255, 255);
    if (map && byDepth) {
      colour = map[MapIndex(zRange > 0.0 ? (line.Vertex(0)[2] - zMin) / zRange * 255.0 : 0.0)];
    } else if (map && byAttribute) {
      colour = map[MapIndex(static_cast<double>(static_cast<unsigned>(line.attribute)) / m_attributeMaximum * 255.0)];
    }
    line.colour[0] = static_cast<unsigned char>(ColourRed(colour));
    line.colour[1] = static_cast<unsigned char>(ColourGreen(colour));
    line.colour[2] = static_cast<unsigned char>(ColourBlue(colour));
  }
}

// --- polygon rings ---

void Sd_Lines3D::BuildPolygons() {
  for (Line& line : m_lines) {
    int removed = 0;
    RemoveLoops(&line, &removed);
    m_segments -= removed;
    BuildTriangles(&line);
  }
}

// A vertex that comes back within 100 vertices closes a loop, which goes:
// the vertices from the first visit up to the second are removed. The last
// vertex is never taken as a return, so a ring closed by repeating its
// first vertex stays closed. Labels keep their places on the vertices that
// remain.
void Sd_Lines3D::RemoveLoops(Line* line, int* removed) {
  int i = 0;
  while (i < line->segments - 1) {
    int found = -1;
    const double* v = line->Vertex(i);
    for (int j = i + 1; j < line->segments && j < i + 100; ++j) {
      const double* w = line->Vertex(j);
      if (w[0] == v[0] && w[1] == v[1] && w[2] == v[2]) {
        found = j;
        break;
      }
    }
    if (found < 0) {
      ++i;
      continue;
    }
    const int gone = found - i;
    memmove(line->Vertex(i), line->Vertex(found),
            3 * static_cast<size_t>(line->segments + 1 - found) * sizeof(double));
    line->segments -= gone;
    *removed += gone;
    for (int& p : line->labelPositions) p = p >= found ? p - gone : (p >= i ? i : p);
  }
}

// The ring's triangles when its last vertex repeats its first (within
// 1e-6 in x and y). The triangulation may reverse its copy of the ring; the
// indices are mapped back, so the line keeps its own vertex order.
void Sd_Lines3D::BuildTriangles(Line* line) {
  line->triangles.reset();
  line->triangleCount = 0;
  line->triangleValid = 0;
  const int n = line->segments;
  if (n < 3) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Bad number of vertices for triangle, skipping", "Sd_Lines3D::LoadObject");
    return;
  }
  const double* first = line->Vertex(0);
  const double* last = line->Vertex(n);
  if (!(std::fabs(first[0] - last[0]) < 1e-6 && std::fabs(first[1] - last[1]) < 1e-6)) return;
  std::unique_ptr<int[]> table(new (std::nothrow) int[3 * static_cast<size_t>(n - 2)]);
  std::vector<double*> ring;
  if (!table) return;
  ring.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) ring.push_back(line->Vertex(i));
  if (triangulate_polygon(1, &n, ring.data(), reinterpret_cast<int(*)[3]>(table.get())) == -1) return;
  for (int t = 0; t < 3 * (n - 2); ++t) {
    table[t] = static_cast<int>((ring[static_cast<size_t>(table[t] - 1)] - line->Vertex(0)) / 3);
  }
  line->triangles = std::move(table);
  line->triangleCount = n - 2;
  line->triangleValid = 1;
}

// --- draping and densifying ---

void Sd_Lines3D::DrapeOnSurface(double height) {
  Sd_Node* parent = GetParent();
  if (!parent) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Draping needs the lines in a scene", "Sd_Lines3D::DrapeOnSurface");
    return;
  }
  Sd_Node* root = parent->GetRootOf();
  const bool onSurface = height == kDrapeOnSurface;
  const double below = std::min<double>(root->GetBounds(2)[0], m_bounds[4]);
  double lo = 1e12, hi = -1e12;
  for (Line& line : m_lines) {
    for (int i = 0; i < line.VertexCount(); ++i) {
      double* v = line.Vertex(i);
      if (onSurface) {
        unsigned colour = 0;
        const double h = root->GeoPickPoint(v[0], v[1], &colour);
        v[2] = h == SD_PICK_NO_SURFACE ? below : h;
      } else {
        v[2] = height;
      }
      lo = std::min(lo, v[2]);
      hi = std::max(hi, v[2]);
    }
  }
  if (lo > hi) return;
  if (hi - lo < kFlatAxis) {
    lo -= 0.5;
    hi += 0.5;
  }
  m_dataBounds[4] = lo;
  m_dataBounds[5] = hi;
  SetBounds(2, static_cast<float>(lo), static_cast<float>(hi));
  UpdateDerived();
  m_vertexBoxValid = false;
}

// Inserted vertices lie at step, 2 x step, ... from a segment's start,
// short of its end (a vertex on the end would repeat it).
void Sd_Lines3D::Densify(double step) {
  if (!(step > 0.0) || !std::isfinite(step)) return;
  ReportState(1, 0);
  // Vertices each segment gets, counted first, so that nothing changes
  // when a line would grow beyond reason.
  auto inserted = [step](const double* a, const double* b) -> long long {
    const double length = std::hypot(b[0] - a[0], b[1] - a[1]);
    if (!(length > 1.5 * step)) return 0;
    const double k = std::floor(length / step);
    if (k > static_cast<double>(kMaxDensifiedVertices)) return kMaxDensifiedVertices + 1;
    const long long n = static_cast<long long>(k);
    return n * step < length ? n : n - 1;
  };
  auto isGap = [](const Line& line, int s) {
    return std::binary_search(line.labelPositions.begin(), line.labelPositions.end(), s);
  };
  for (const Line& line : m_lines) {
    long long total = line.VertexCount();
    for (int s = 0; s < line.segments && total <= kMaxDensifiedVertices; ++s) {
      if (!isGap(line, s)) total += inserted(line.Vertex(s), line.Vertex(s + 1));
    }
    if (total > kMaxDensifiedVertices) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The step would give a line too many vertices", "Sd_Lines3D::Densify");
      ReportState(0, 0);
      return;
    }
  }
  m_segments = 0;
  for (Line& line : m_lines) {
    std::vector<double> out;
    std::vector<int> newIndex(static_cast<size_t>(line.VertexCount()));
    for (int s = 0; s <= line.segments; ++s) {
      newIndex[s] = static_cast<int>(out.size() / 3);
      const double* a = line.Vertex(s);
      Push(out, a);
      if (s == line.segments || isGap(line, s)) continue;
      const double* b = line.Vertex(s + 1);
      const long long extra = inserted(a, b);
      const double length = std::hypot(b[0] - a[0], b[1] - a[1]);
      for (long long j = 1; j <= extra; ++j) {
        const double t = static_cast<double>(j) * step / length;
        const double p[3] = {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])};
        Push(out, p);
      }
    }
    if (static_cast<int>(out.size() / 3) != line.VertexCount()) {
      Line grown;
      if (LineFromFlat(out, &grown)) {
        line.xyz = std::move(grown.xyz);
        line.segments = grown.segments;
        for (int& p : line.labelPositions) p = newIndex[p];
        if (m_polygonMode) BuildTriangles(&line);
      }
    }
    m_segments += line.segments;
  }
  ReportState(0, 0);
}
