// Scalar volume: extraction of the iso-surface (marching cubes with the
// generated case table) and the triangle lists.
//
// A pass walks the cells slice layer by slice layer. It keeps only what one
// layer needs: the edge-vertex slots of the layer's lower and upper lattice
// planes (edges along i and j) and of the edges between them (along k), and
// the above/below marks of the two planes' lattice points. Slots hold the
// vertex index + 1; a slot is valid only when it was written while its plane
// was in use (its value exceeds the vertex count when the plane came into
// use), so planes are reused without clearing. Gradient strengths are
// computed only at the corners of cut edges. The triangles, vertices,
// normals and colour indices are those of a pass that keeps an edge-vertex
// table and a gradient table for the whole grid; only their order differs
// (cells are visited slice by slice, the grid's order in memory).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Sd_IsoCells.h"
#include "Sd_Volume.h"
#include "Sv_Debug.h"

namespace {

constexpr const char* kTableMemoryMessage = "Allocating memory chunk for pointlinks!";

}  // namespace

struct Sd_Volume::IsoPass {
  const signed char* grid;
  int dim1, dim2, slices;
  int s1, s2, s3;
  float iso;
  int n1, n2;  // lattice points along i and j
  Sd_IsoSurface* out;
  // Slots of the lower (index lower) and upper plane, and of the k edges.
  uint32_t* slotI[2];
  uint32_t* slotJ[2];
  uint32_t* slotK;
  int lower;
  uint32_t lowerFrom, upperFrom;  // a slot is valid when its value exceeds these
  // Above (1) or below (0) marks of the lattice points of both planes, and
  // per lattice row of each plane whether its marks are all 0 (0), all 1
  // (1) or mixed (2).
  unsigned char* marks[2];
  unsigned char* rowState[2];
  bool failed;

  int Sample(int k, int i, int j) const { return grid[(static_cast<size_t>(k) * dim1 + i) * dim2 + j]; }
  // Gradient strength at a sample: the plain central differences, the
  // neighbours clamped to the grid, at most 255.
  float Gradient(int k, int i, int j) const {
    const int di = Sample(k, std::min(i + 1, dim1 - 1), j) - Sample(k, std::max(i - 1, 0), j);
    const int dk = Sample(std::min(k + 1, slices - 1), i, j) - Sample(std::max(k - 1, 0), i, j);
    const int dj = Sample(k, i, std::min(j + 1, dim2 - 1)) - Sample(k, i, std::max(j - 1, 0));
    const float g = std::sqrt(static_cast<float>(di * di + dk * dk + dj * dj));
    return g > 255.0f ? 255.0f : g;
  }
};

// --- one pass ---

int Sd_Volume::BuildIsoSurface(Sd_IsoSurface* list, float iso, int dim1, int dim2, int slices, int s1, int s2,
                               int s3) {
  m_triangleCount = 0;
  if (!list) return -1;
  s1 = std::max(s1, 1);
  s2 = std::max(s2, 1);
  s3 = std::max(s3, 1);
  // An empty volume has no surface; a pass runs over the whole grid.
  if (!m_working) return 0;
  if (dim1 != m_dim1 || dim2 != m_dim2 || slices != m_slices) return -1;
  // Samples are whole numbers: s >= iso exactly when s >= ceil(iso). No
  // sample reaches an iso-value above 127 (or one that is not a number).
  int threshold = 128;
  if (iso <= 127.0f) threshold = iso <= -128.0f ? -128 : static_cast<int>(std::ceil(iso));

  IsoPass pass = {};
  pass.grid = m_working;
  pass.dim1 = dim1;
  pass.dim2 = dim2;
  pass.slices = slices;
  pass.s1 = s1;
  pass.s2 = s2;
  pass.s3 = s3;
  pass.iso = iso;
  pass.n1 = (dim1 - 1) / s1 + 1;
  pass.n2 = (dim2 - 1) / s2 + 1;
  pass.out = list;
  const size_t points = static_cast<size_t>(pass.n1) * pass.n2;
  uint32_t* slots = static_cast<uint32_t*>(calloc(5 * points, sizeof(uint32_t)));
  unsigned char* marks = static_cast<unsigned char*>(malloc(2 * points + 2 * static_cast<size_t>(pass.n1)));
  if (!slots || !marks) {
    free(slots);
    free(marks);
    Sv_Debug::Message(SV_LEVEL_ERROR, kTableMemoryMessage);
    return -1;
  }
  pass.slotI[0] = slots;
  pass.slotI[1] = slots + points;
  pass.slotJ[0] = slots + 2 * points;
  pass.slotJ[1] = slots + 3 * points;
  pass.slotK = slots + 4 * points;
  pass.marks[0] = marks;
  pass.marks[1] = marks + points;
  pass.rowState[0] = marks + 2 * points;
  pass.rowState[1] = pass.rowState[0] + pass.n1;

  const size_t firstVertex = list->VertexCount();
  const size_t firstTriangle = list->TriangleCount();
  // Above/below marks of the lattice points of plane k into marks[m], with
  // the row states.
  auto markPlane = [&](int k, int m) {
    for (int li = 0; li < pass.n1; ++li) {
      unsigned char* out = pass.marks[m] + static_cast<size_t>(li) * pass.n2;
      const signed char* row = pass.grid + (static_cast<size_t>(k) * dim1 + static_cast<size_t>(li) * s1) * dim2;
      int above = 0;
      if (s2 == 1) {
        for (int lj = 0; lj < pass.n2; ++lj) above += out[lj] = row[lj] >= threshold;
      } else {
        for (int lj = 0; lj < pass.n2; ++lj) above += out[lj] = row[static_cast<size_t>(lj) * s2] >= threshold;
      }
      pass.rowState[m][li] = above == 0 ? 0 : above == pass.n2 ? 1 : 2;
    }
  };

  pass.lower = 0;
  pass.lowerFrom = pass.upperFrom = static_cast<uint32_t>(firstVertex);
  markPlane(0, 0);
  for (int k = 0; k < slices - s3 && !pass.failed; k += s3) {
    const int upper = 1 - pass.lower;
    // The vertices of the upper plane and the k edges are those made from
    // now on; the lower plane keeps those of the layer before.
    pass.upperFrom = static_cast<uint32_t>(list->VertexCount());
    if (k == 0) pass.lowerFrom = pass.upperFrom;
    markPlane(k + s3, upper);
    const unsigned char* lo = pass.marks[pass.lower];
    const unsigned char* hi = pass.marks[upper];
    const unsigned char* loRows = pass.rowState[pass.lower];
    const unsigned char* hiRows = pass.rowState[upper];
    for (int li = 0; li + 1 < pass.n1 && !pass.failed; ++li) {
      // Four rows of corners all below or all above: no cell is cut.
      const int state = loRows[li];
      if (state != 2 && loRows[li + 1] == state && hiRows[li] == state && hiRows[li + 1] == state) continue;
      const unsigned char* a0 = lo + static_cast<size_t>(li) * pass.n2;  // corner bit 0 clear, bit 2 clear
      const unsigned char* a1 = a0 + pass.n2;                            // bit 0 set
      const unsigned char* b0 = hi + static_cast<size_t>(li) * pass.n2;  // bit 2 set
      const unsigned char* b1 = b0 + pass.n2;
      // The four corners of column lj give bits 0, 1, 4 and 5 of the case
      // of the cell that starts there and bits 2, 3, 6 and 7 of the cell
      // before it.
      int column = Sd_IsoColumnBits(a0[0], a1[0], b0[0], b1[0]);
      for (int lj = 0; lj + 1 < pass.n2; ++lj) {
        const int next = Sd_IsoColumnBits(a0[lj + 1], a1[lj + 1], b0[lj + 1], b1[lj + 1]);
        const int caseIndex = Sd_IsoCellCase(column, next);
        column = next;
        if (caseIndex != 0 && caseIndex != 255) PolygoniseCell(caseIndex, li, lj, k, pass);
      }
    }
    pass.lowerFrom = pass.upperFrom;
    pass.lower = upper;
  }
  free(slots);
  free(marks);
  if (pass.failed) {
    // An incomplete surface is not drawn: the list is left empty.
    list->Clear();
    Sv_Debug::Message(SV_LEVEL_ERROR, kTableMemoryMessage);
    return -1;
  }
  for (size_t v = firstVertex; v < list->VertexCount(); ++v) {
    float* n = list->Vertex(v).normal;
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0f) {
      n[0] /= length;
      n[1] /= length;
      n[2] /= length;
    }
  }
  m_triangleCount = static_cast<int>(std::min<size_t>(list->TriangleCount() - firstTriangle, 0x7FFFFFFF));
  return 0;
}

unsigned int Sd_Volume::EdgeVertex(int e, int li, int lj, int k, IsoPass& pass) {
  const Sd_IsoEdge& edge = kSdIsoEdges[e];
  const size_t point = static_cast<size_t>(li + edge.di) * pass.n2 + (lj + edge.dj);
  const int plane = edge.dk ? 1 - pass.lower : pass.lower;
  uint32_t* slot;
  uint32_t from;
  if (edge.axis == 2) {
    slot = &pass.slotK[point];
    from = pass.upperFrom;
  } else {
    slot = &(edge.axis == 0 ? pass.slotI : pass.slotJ)[plane][point];
    from = plane == pass.lower ? pass.lowerFrom : pass.upperFrom;
  }
  if (*slot > from) return *slot - 1;

  // Sample positions of the edge's corners.
  const int i0 = li * pass.s1, j0 = lj * pass.s2;
  const int ia = i0 + pass.s1 * (edge.from & 1), ja = j0 + pass.s2 * ((edge.from >> 1) & 1),
            ka = k + pass.s3 * ((edge.from >> 2) & 1);
  const int ib = i0 + pass.s1 * (edge.to & 1), jb = j0 + pass.s2 * ((edge.to >> 1) & 1),
            kb = k + pass.s3 * ((edge.to >> 2) & 1);
  const float sa = static_cast<float>(pass.Sample(ka, ia, ja));
  const float sb = static_cast<float>(pass.Sample(kb, ib, jb));
  const float t = (pass.iso - sa) / (sb - sa);
  const size_t index = pass.out->VertexCount();
  Sd_IsoVertex* v = index < 0xFFFFFFFEu ? pass.out->AppendVertex() : nullptr;
  if (!v) {
    pass.failed = true;
    return 0;
  }
  const float step[3] = {static_cast<float>(pass.s1), static_cast<float>(pass.s2), static_cast<float>(pass.s3)};
  float lattice[3] = {static_cast<float>(ia), static_cast<float>(ja), static_cast<float>(ka)};
  lattice[edge.axis] += t * step[edge.axis];
  v->position[0] = lattice[0] / static_cast<float>(pass.dim1);
  v->position[1] = lattice[1] / static_cast<float>(pass.dim2);
  v->position[2] = lattice[2] / static_cast<float>(pass.slices);
  v->normal[0] = v->normal[1] = v->normal[2] = 0.0f;
  const float c = std::floor(t * pass.Gradient(kb, ib, jb) + (1.0f - t) * pass.Gradient(ka, ia, ja));
  v->colour = static_cast<unsigned char>(std::clamp(c, 0.0f, 255.0f));
  v->refs = 0;
  *slot = static_cast<uint32_t>(index) + 1;
  return static_cast<unsigned int>(index);
}

void Sd_Volume::PolygoniseCell(int caseIndex, int li, int lj, int k, IsoPass& pass) {
  const signed char* row = Sd_IsoCaseTable()[caseIndex];
  for (int t = 0; t < 4 && row[3 * t] != kSdIsoRowEnd; ++t) {
    unsigned int v[3];
    for (int n = 0; n < 3; ++n) {
      v[n] = EdgeVertex(row[3 * t + n], li, lj, k, pass);
      if (pass.failed) return;
    }
    Sd_IsoTriangle* triangle = pass.out->AppendTriangle();
    if (!triangle) {
      pass.failed = true;
      return;
    }
    Sd_IsoVertex* q[3];
    for (int n = 0; n < 3; ++n) {
      triangle->v[n] = v[n];
      q[n] = &pass.out->Vertex(v[n]);
      ++q[n]->refs;
    }
    // Face normal e2 x e1 with e1 = q1 - q0, e2 = q2 - q0; it points away
    // from the corners at or above the iso-value. A triangle without area
    // has no direction and adds nothing.
    const float e1[3] = {q[1]->position[0] - q[0]->position[0], q[1]->position[1] - q[0]->position[1],
                         q[1]->position[2] - q[0]->position[2]};
    const float e2[3] = {q[2]->position[0] - q[0]->position[0], q[2]->position[1] - q[0]->position[1],
                         q[2]->position[2] - q[0]->position[2]};
    const float n[3] = {e1[2] * e2[1] - e1[1] * e2[2], e1[0] * e2[2] - e1[2] * e2[0], e1[1] * e2[0] - e1[0] * e2[1]};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0f) {
      for (Sd_IsoVertex* p : q) {
        for (int a = 0; a < 3; ++a) p->normal[a] += n[a] / length;
      }
    }
  }
}

// --- the lists ---

int Sd_Volume::ReleaseVertex(Sd_IsoSurface* list, unsigned int v) {
  if (!list || v >= list->VertexCount()) return 0;
  Sd_IsoVertex& vertex = list->Vertex(v);
  if (vertex.refs == 0) return 0;
  return --vertex.refs == 0 ? 1 : 0;
}

void Sd_Volume::ReleaseList(Sd_IsoSurface* list) {
  if (!list) return;
  size_t released = 0;
  for (size_t t = 0; t < list->TriangleCount(); ++t) {
    for (unsigned int v : list->Triangle(t).v) released += ReleaseVertex(list, v);
  }
  if (released != list->VertexCount()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Iso-surface list with vertices not shared as counted");
  }
  delete list;
}

void Sd_Volume::ReleaseSurfaces() {
  DropCoarseList();
  ReleaseList(m_fullList);
  m_fullList = nullptr;
  m_cursor = 0;
}

void Sd_Volume::DropCoarseList() {
  // Whether the coarse list is the full list is known from the lists
  // themselves, not from the step: the detail settings change the step
  // without a rebuild.
  if (m_coarseList != m_fullList) ReleaseList(m_coarseList);
  m_coarseList = nullptr;
}

Sd_IsoSurface* Sd_Volume::NewList(int step) {
  Sd_IsoSurface* list = new (std::nothrow) Sd_IsoSurface();
  if (list) BuildIsoSurface(list, m_isoSample, m_dim1, m_dim2, m_slices, step, step, 1);
  return list;
}

void Sd_Volume::BuildSurfaces() {
  ReleaseSurfaces();
  m_fullList = NewList(1);
  m_coarseList = m_step != 1 ? NewList(m_step) : m_fullList;
}

void Sd_Volume::BuildCoarseSurface(int) {
  SetRedrawPending(1);
  DropCoarseList();
  m_coarseList = m_step != 1 ? NewList(m_step) : m_fullList;
}

void Sd_Volume::RebuildSurface() {
  ReleaseSurfaces();
  m_fullList = NewList(1);
  BuildCoarseSurface(m_step);
}
