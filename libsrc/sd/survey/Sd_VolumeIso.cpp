// Scalar volume: extraction of the iso-surface (marching cubes with the
// generated case table) and the triangle lists.
//
// A pass walks the cells slice layer by slice layer. It keeps only what one
// layer needs: the edge-vertex slots of the layer's lower and upper lattice
// planes (edges along i and j) and of the edges between them (along k), and
// the above/below marks of the two planes' lattice points. Slots hold the
// vertex index + 1 above a base; a slot is valid only when it was written
// while its plane was in use (its value exceeds the base and the vertex
// count when the plane came into use), so planes are reused without
// clearing. Gradient strengths are computed only at the corners of cut
// edges. The triangles, vertices, normals and colour indices are those of a
// pass that keeps an edge-vertex table and a gradient table for the whole
// grid; only their order differs (cells are visited slice by slice, the
// grid's order in memory).
//
// A large pass runs on worker threads. The layers are split into runs of
// consecutive layers (a few per worker, taken in turn as workers finish,
// each worker with its own planes), each run extracted into a list of its
// own; the vertices of a run's lower plane belong to the run before, so a
// run refers to them by their edge and leaves their normals alone. Then the
// triangles of each run's first layer take those vertices' indices and add
// their face normals to them, in triangle order, and the runs are appended
// in layer order: the list, every sum and every index are those of one
// thread.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Sd_IsoCells.h"
#include "Sd_Volume.h"
#include "Sv_Debug.h"
#include "Sv_Workers.h"

namespace {

constexpr const char* kTableMemoryMessage = "Allocating memory chunk for pointlinks!";

// Cells along a lattice row tested at once for being all below or all
// above the iso-value.
constexpr int kSkipRun = 16;

// A triangle's reference to a vertex of the run before, by its edge in the
// shared plane: the flag, then lattice point x 2 + axis (0 i, 1 j).
constexpr uint32_t kBorrowed = 0x80000000u;

// Face normal e2 x e1 with e1 = q1 - q0, e2 = q2 - q0 and its length.
float FaceNormal(const Sd_IsoVertex* const q[3], float n[3]) {
  const float e1[3] = {q[1]->position[0] - q[0]->position[0], q[1]->position[1] - q[0]->position[1],
                       q[1]->position[2] - q[0]->position[2]};
  const float e2[3] = {q[2]->position[0] - q[0]->position[0], q[2]->position[1] - q[0]->position[1],
                       q[2]->position[2] - q[0]->position[2]};
  n[0] = e1[2] * e2[1] - e1[1] * e2[2];
  n[1] = e1[0] * e2[2] - e1[2] * e2[0];
  n[2] = e1[1] * e2[0] - e1[0] * e2[1];
  return std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

void AddNormal(Sd_IsoVertex* v, const float n[3], float length) {
  for (int a = 0; a < 3; ++a) v->normal[a] += n[a] / length;
}

void Normalise(Sd_IsoVertex* v) {
  float* n = v->normal;
  const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length > 0.0f) {
    n[0] /= length;
    n[1] /= length;
    n[2] /= length;
  }
}

// One run of layers and what it made.
struct IsoRun {
  int layerBegin = 0, layerEnd = 0;
  Sd_IsoSurface* out = nullptr;         // the caller's list for the first run
  std::unique_ptr<Sd_IsoSurface> own;   // the list of every other run
  size_t firstTriangles = 0;            // triangles of the run's first layer
  // The cut edges of the run's last plane: key (lattice point x 2 + axis)
  // << 32 | vertex index in out, by key.
  std::vector<uint64_t> lastPlane;
  size_t vertexBase = 0, triangleBase = 0;  // where the run lands in the list
  bool failed = false;
};

}  // namespace

struct Sd_Volume::IsoPass {
  const signed char* grid;
  int dim1, dim2, slices;
  int s1, s2, s3;
  float iso;
  int threshold;  // samples at or above it are at or above the iso-value
  int n1, n2;     // lattice points along i and j
  Sd_IsoSurface* out;
  // Slots of the lower (index lower) and upper plane, and of the k edges.
  uint32_t* slotI[2];
  uint32_t* slotJ[2];
  uint32_t* slotK;
  int lower;
  uint32_t base;                  // slot values of this run exceed it
  uint32_t lowerFrom, upperFrom;  // a slot is valid when its value exceeds these
  // Above (1) or below (0) marks of the lattice points of both planes, and
  // per lattice row of each plane whether its marks are all 0 (0), all 1
  // (1) or mixed (2).
  unsigned char* marks[2];
  unsigned char* rowState[2];
  bool borrowLower;  // the lower plane's vertices belong to the run before
  bool failed;
  uint32_t indexLimit;  // vertex indices of a run stay below it
  uint32_t* slotBlock;
  unsigned char* markBlock;

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
  size_t Points() const { return static_cast<size_t>(n1) * n2; }
  // The planes of one worker (slots cleared); false when memory runs out.
  bool Allocate() {
    const size_t points = Points();
    slotBlock = static_cast<uint32_t*>(calloc(5 * points, sizeof(uint32_t)));
    markBlock = static_cast<unsigned char*>(malloc(2 * points + 2 * static_cast<size_t>(n1)));
    if (!slotBlock || !markBlock) return false;
    slotI[0] = slotBlock;
    slotI[1] = slotBlock + points;
    slotJ[0] = slotBlock + 2 * points;
    slotJ[1] = slotBlock + 3 * points;
    slotK = slotBlock + 4 * points;
    marks[0] = markBlock;
    marks[1] = markBlock + points;
    rowState[0] = markBlock + 2 * points;
    rowState[1] = rowState[0] + n1;
    return true;
  }
  void Free() {
    free(slotBlock);
    free(markBlock);
    slotBlock = nullptr;
    markBlock = nullptr;
  }
  // Above/below marks of the lattice points of plane k into marks[m], with
  // the row states.
  void MarkPlane(int k, int m) {
    const int points = n2;
    const size_t step = static_cast<size_t>(s2);
    // Every sample is below a threshold above 127 and at or above one of
    // -128 or less; otherwise the comparison in bytes, in the vector unit.
    const bool none = threshold > 127, all = threshold <= -128;
    const signed char t = static_cast<signed char>(std::clamp(threshold, -128, 127));
    for (int li = 0; li < n1; ++li) {
      unsigned char* __restrict to = marks[m] + static_cast<size_t>(li) * points;
      const signed char* __restrict row = grid + (static_cast<size_t>(k) * dim1 + static_cast<size_t>(li) * s1) * dim2;
      int above = 0;
      if (none || all) {
        std::memset(to, all ? 1 : 0, static_cast<size_t>(points));
        above = all ? points : 0;
      } else if (step == 1) {
        for (int lj = 0; lj < points; ++lj) {
          const unsigned char b = row[lj] >= t;
          to[lj] = b;
          above += b;
        }
      } else {
        for (int lj = 0; lj < points; ++lj) {
          const unsigned char b = row[static_cast<size_t>(lj) * step] >= t;
          to[lj] = b;
          above += b;
        }
      }
      rowState[m][li] = above == 0 ? 0 : above == points ? 1 : 2;
    }
  }
  // The vertex on edge e of the cell at lattice point (li, lj) of the layer
  // at slice k (normal zero, no reference yet).
  void MakeVertex(const Sd_IsoEdge& edge, int li, int lj, int k, Sd_IsoVertex* v) const {
    // Sample positions of the edge's corners.
    const int i0 = li * s1, j0 = lj * s2;
    const int ia = i0 + s1 * (edge.from & 1), ja = j0 + s2 * ((edge.from >> 1) & 1), ka = k + s3 * ((edge.from >> 2) & 1);
    const int ib = i0 + s1 * (edge.to & 1), jb = j0 + s2 * ((edge.to >> 1) & 1), kb = k + s3 * ((edge.to >> 2) & 1);
    const float sa = static_cast<float>(Sample(ka, ia, ja));
    const float sb = static_cast<float>(Sample(kb, ib, jb));
    const float t = (iso - sa) / (sb - sa);
    const float step[3] = {static_cast<float>(s1), static_cast<float>(s2), static_cast<float>(s3)};
    float lattice[3] = {static_cast<float>(ia), static_cast<float>(ja), static_cast<float>(ka)};
    lattice[edge.axis] += t * step[edge.axis];
    v->position[0] = lattice[0] / static_cast<float>(dim1);
    v->position[1] = lattice[1] / static_cast<float>(dim2);
    v->position[2] = lattice[2] / static_cast<float>(slices);
    v->normal[0] = v->normal[1] = v->normal[2] = 0.0f;
    const float c = std::floor(t * Gradient(kb, ib, jb) + (1.0f - t) * Gradient(ka, ia, ja));
    v->colour = static_cast<unsigned char>(std::clamp(c, 0.0f, 255.0f));
    v->refs = 0;
  }
  // The vertex of a borrowed reference, made again from its edge (the same
  // numbers as the run before made), for the face normals of this run.
  void BorrowedVertex(uint32_t ref, int k, Sd_IsoVertex* v) const {
    const uint32_t key = ref & ~kBorrowed;
    const size_t point = key / 2;
    const int li = static_cast<int>(point / static_cast<size_t>(n2)), lj = static_cast<int>(point % n2);
    // Edge 0 (along i) or 3 (along j) of the cell whose first corner is
    // that lattice point; where no cell starts there (the last lattice row
    // or column) the point's coordinates still give the edge's samples.
    MakeVertex(kSdIsoEdges[key % 2 ? 3 : 0], li, lj, k, v);
  }
};

// --- one pass ---

bool Sd_Volume::ExtractLayers(IsoPass& pass, int layerBegin, int layerEnd, size_t* firstTriangles) {
  Sd_IsoSurface* list = pass.out;
  const size_t firstTriangle = list->TriangleCount();
  const int s3 = pass.s3;
  pass.lower = 0;
  pass.lowerFrom = pass.upperFrom = pass.base + static_cast<uint32_t>(list->VertexCount());
  pass.MarkPlane(layerBegin * s3, 0);
  for (int layer = layerBegin; layer < layerEnd && !pass.failed; ++layer) {
    const int k = layer * s3;
    const int upper = 1 - pass.lower;
    // The vertices of the upper plane and the k edges are those made from
    // now on; the lower plane keeps those of the layer before.
    pass.upperFrom = pass.base + static_cast<uint32_t>(list->VertexCount());
    if (layer == layerBegin) pass.lowerFrom = pass.upperFrom;
    pass.MarkPlane(k + s3, upper);
    const int n2 = pass.n2;
    const unsigned char* lo = pass.marks[pass.lower];
    const unsigned char* hi = pass.marks[upper];
    const unsigned char* loRows = pass.rowState[pass.lower];
    const unsigned char* hiRows = pass.rowState[upper];
    for (int li = 0; li + 1 < pass.n1 && !pass.failed; ++li) {
      // Four rows of corners all below or all above: no cell is cut.
      const int state = loRows[li];
      if (state != 2 && loRows[li + 1] == state && hiRows[li] == state && hiRows[li + 1] == state) continue;
      const unsigned char* a0 = lo + static_cast<size_t>(li) * n2;  // corner bit 0 clear, bit 2 clear
      const unsigned char* a1 = a0 + n2;                            // bit 0 set
      const unsigned char* b0 = hi + static_cast<size_t>(li) * n2;  // bit 2 set
      const unsigned char* b1 = b0 + n2;
      // The four corners of column lj give bits 0, 1, 4 and 5 of the case
      // of the cell that starts there and bits 2, 3, 6 and 7 of the cell
      // before it.
      int column = Sd_IsoColumnBits(a0[0], a1[0], b0[0], b1[0]);
      for (int lj = 0; lj + 1 < n2; ++lj) {
        // Sixteen cells whose corners are all below or all above at once.
        if (lj % kSkipRun == 0 && lj + kSkipRun < n2) {
          int any = 0, all = 1;
          for (int t = 0; t <= kSkipRun; ++t) {
            const int m = a0[lj + t] & a1[lj + t] & b0[lj + t] & b1[lj + t];
            any |= a0[lj + t] | a1[lj + t] | b0[lj + t] | b1[lj + t];
            all &= m;
          }
          if (!any || all) {
            lj += kSkipRun - 1;
            column = all ? Sd_IsoColumnBits(1, 1, 1, 1) : 0;
            continue;
          }
        }
        const int next = Sd_IsoColumnBits(a0[lj + 1], a1[lj + 1], b0[lj + 1], b1[lj + 1]);
        const int caseIndex = Sd_IsoCellCase(column, next);
        column = next;
        if (caseIndex != 0 && caseIndex != 255) PolygoniseCell(caseIndex, li, lj, k, pass);
      }
    }
    if (layer == layerBegin && firstTriangles) *firstTriangles = list->TriangleCount() - firstTriangle;
    pass.borrowLower = false;
    pass.lowerFrom = pass.upperFrom;
    pass.lower = upper;
  }
  return !pass.failed;
}

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

  IsoPass shape = {};
  shape.grid = m_working;
  shape.dim1 = dim1;
  shape.dim2 = dim2;
  shape.slices = slices;
  shape.s1 = s1;
  shape.s2 = s2;
  shape.s3 = s3;
  shape.iso = iso;
  shape.threshold = threshold;
  shape.n1 = (dim1 - 1) / s1 + 1;
  shape.n2 = (dim2 - 1) / s2 + 1;
  const int layers = slices > s3 ? (slices - s3 - 1) / s3 + 1 : 0;
  const size_t firstVertex = list->VertexCount();
  const size_t firstTriangle = list->TriangleCount();

  // Runs of layers: one on one worker, else a few per worker, so that
  // workers finishing early take more. A borrowed reference numbers the
  // plane's edges in 31 bits.
  int workers = sv_workers::WorkerCount(shape.Points() * static_cast<size_t>(std::max(layers, 1)));
  if (layers < 2 || shape.Points() >= (size_t(1) << 30)) workers = 1;
  const int runCount = workers > 1 ? std::min(layers, 4 * workers) : 1;
  // Indices with the borrowed flag's bit are for runs of one worker only.
  shape.indexLimit = runCount > 1 ? kBorrowed - 1 : 0xFFFFFFFEu;
  std::vector<IsoRun> runs;
  try {
    runs.resize(static_cast<size_t>(runCount));
    for (int r = 0; r < runCount; ++r) {
      runs[r].layerBegin = static_cast<int>(sv_workers::ShareBegin(static_cast<size_t>(layers), runCount, r));
      runs[r].layerEnd = static_cast<int>(sv_workers::ShareBegin(static_cast<size_t>(layers), runCount, r + 1));
      if (r == 0) {
        runs[r].out = list;
      } else {
        runs[r].own.reset(new Sd_IsoSurface());
        runs[r].out = runs[r].own.get();
      }
    }
  } catch (const std::bad_alloc&) {
    Sv_Debug::Message(SV_LEVEL_ERROR, kTableMemoryMessage);
    return -1;
  }
  Sd_IsoCaseTable();  // made once, before any worker asks for it

  // Runs are taken in turn; after a failure no further run is started.
  std::atomic<int> nextRun{0};
  std::atomic<bool> stop{false};
  const bool ran = sv_workers::RunWorkers(workers, [&](int) {
    IsoPass pass = shape;
    if (!pass.Allocate()) {
      pass.Free();
      const int r = nextRun.fetch_add(1);
      if (r < runCount) runs[r].failed = true;
      stop = true;
      return;
    }
    for (int r; !stop && (r = nextRun.fetch_add(1)) < runCount;) {
      IsoRun& run = runs[r];
      pass.out = run.out;
      pass.borrowLower = r > 0;
      pass.failed = false;
      try {
        run.failed = !ExtractLayers(pass, run.layerBegin, run.layerEnd, &run.firstTriangles);
        // The next run of this worker starts its slot values above this
        // run's (its planes are not cleared).
        const uint64_t base = static_cast<uint64_t>(pass.base) + run.out->VertexCount();
        if (base >= pass.indexLimit) run.failed = true;
        if (!run.failed && runCount > 1) {
          // The cut edges of the last plane, for the run after.
          const uint32_t* slots[2] = {pass.slotI[pass.lower], pass.slotJ[pass.lower]};
          const unsigned char* rows = pass.rowState[pass.lower];
          for (int li = 0; li < pass.n1; ++li) {
            const bool iCut = li + 1 < pass.n1 && (rows[li] == 2 || rows[li + 1] != rows[li]);
            if (!iCut && rows[li] != 2) continue;
            for (int lj = 0; lj < pass.n2; ++lj) {
              const size_t point = static_cast<size_t>(li) * pass.n2 + lj;
              for (int axis = 0; axis < 2; ++axis) {
                const uint32_t slot = slots[axis][point];
                if (slot > pass.lowerFrom) {
                  run.lastPlane.push_back(static_cast<uint64_t>(point * 2 + axis) << 32 | (slot - 1 - pass.base));
                }
              }
            }
          }
        }
        pass.base = static_cast<uint32_t>(base);
      } catch (const std::bad_alloc&) {
        run.failed = true;
      }
      if (run.failed) stop = true;
    }
    pass.Free();
  });

  bool failed = !ran;
  size_t vertices = list->VertexCount(), triangles = list->TriangleCount();
  for (int r = 0; r < runCount; ++r) {
    failed = failed || runs[r].failed;
    if (r == 0) continue;
    runs[r].vertexBase = vertices;
    runs[r].triangleBase = triangles;
    vertices += runs[r].out->VertexCount();
    triangles += runs[r].out->TriangleCount();
  }
  failed = failed || vertices >= 0xFFFFFFFEu;

  if (!failed && runCount > 1) {
    // The first layer of each run: the borrowed vertices take their index
    // in the list and the face normals of this run's triangles, after those
    // of the run before, in triangle order; every index becomes the list's.
    std::atomic<bool> unresolved{false};
    const bool joined = sv_workers::RunShares(static_cast<size_t>(runCount - 1), std::min(workers, runCount - 1),
                                              [&](int, size_t from, size_t to) {
      for (size_t r = from + 1; r < to + 1; ++r) {
        IsoRun& run = runs[r];
        const IsoRun& before = runs[r - 1];
        for (size_t t = 0; t < run.firstTriangles; ++t) {
          Sd_IsoTriangle& triangle = run.out->Triangle(t);
          Sd_IsoVertex* q[3];
          bool borrowed[3];
          for (int n = 0; n < 3; ++n) {
            const uint32_t v = triangle.v[n];
            borrowed[n] = (v & kBorrowed) != 0;
            if (!borrowed[n]) {
              q[n] = &run.out->Vertex(v);
              triangle.v[n] = static_cast<unsigned int>(run.vertexBase + v);
              continue;
            }
            const uint64_t key = static_cast<uint64_t>(v & ~kBorrowed) << 32;
            const auto at = std::lower_bound(before.lastPlane.begin(), before.lastPlane.end(), key);
            if (at == before.lastPlane.end() || (*at >> 32) != (key >> 32)) {
              unresolved = true;
              return;
            }
            const size_t index = static_cast<size_t>(*at & 0xFFFFFFFFu);
            q[n] = &before.out->Vertex(index);
            triangle.v[n] = static_cast<unsigned int>(before.vertexBase + index);
          }
          if (!borrowed[0] && !borrowed[1] && !borrowed[2]) continue;
          float normal[3];
          const float length = FaceNormal(q, normal);
          for (int n = 0; n < 3; ++n) {
            if (!borrowed[n]) continue;
            ++q[n]->refs;
            if (length > 0.0f) AddNormal(q[n], normal, length);
          }
        }
      }
    });
    failed = unresolved || !joined;
  }

  if (!failed && runCount > 1) {
    // Room for every run in the list, then each run moved into place (its
    // blocks released as they are emptied) with its normals normalised.
    const size_t firstRunEnd = runs[1].vertexBase;
    std::vector<size_t> vertexParts, triangleParts;
    for (int r = 1; r < runCount; ++r) {
      vertexParts.push_back(runs[r].vertexBase);
      triangleParts.push_back(runs[r].triangleBase);
    }
    std::atomic<bool> noMemory{false};
    if (!list->Vertices().Grow(vertices, vertexParts) || !list->Triangles().Grow(triangles, triangleParts)) {
      noMemory = true;
    } else {
      const bool moved = sv_workers::RunShares(static_cast<size_t>(runCount), std::min(workers, runCount),
                                               [&](int, size_t from, size_t to) {
        for (size_t r = from; r < to; ++r) {
          IsoRun& run = runs[r];
          if (r == 0) {
            for (size_t v = firstVertex; v < firstRunEnd; ++v) Normalise(&list->Vertex(v));
            continue;
          }
          Sd_IsoBlocks<Sd_IsoVertex>& fromV = run.out->Vertices();
          for (size_t v = 0; v < fromV.Size(); ++v) {
            Sd_IsoVertex* to = list->Vertices().Slot(run.vertexBase + v);
            if (!to) {
              noMemory = true;
              return;
            }
            *to = fromV[v];
            Normalise(to);
            if ((v + 1) % fromV.kBlock == 0) fromV.ReleaseBlock(v >> fromV.kShift);
          }
          fromV.Clear();
          Sd_IsoBlocks<Sd_IsoTriangle>& fromT = run.out->Triangles();
          const unsigned int shift = static_cast<unsigned int>(run.vertexBase);
          for (size_t t = 0; t < fromT.Size(); ++t) {
            Sd_IsoTriangle* to = list->Triangles().Slot(run.triangleBase + t);
            if (!to) {
              noMemory = true;
              return;
            }
            *to = fromT[t];
            if (t >= run.firstTriangles) {
              for (unsigned int& v : to->v) v += shift;
            }
            if ((t + 1) % fromT.kBlock == 0) fromT.ReleaseBlock(t >> fromT.kShift);
          }
          fromT.Clear();
        }
      });
      if (!moved) noMemory = true;
    }
    failed = noMemory;
  } else if (!failed) {
    for (size_t v = firstVertex; v < list->VertexCount(); ++v) Normalise(&list->Vertex(v));
  }

  if (failed) {
    // An incomplete surface is not drawn: the list is left empty.
    list->Clear();
    Sv_Debug::Message(SV_LEVEL_ERROR, kTableMemoryMessage);
    return -1;
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
    if (plane == pass.lower && pass.borrowLower) return kBorrowed | static_cast<uint32_t>(point * 2 + edge.axis);
    slot = &(edge.axis == 0 ? pass.slotI : pass.slotJ)[plane][point];
    from = plane == pass.lower ? pass.lowerFrom : pass.upperFrom;
  }
  if (*slot > from) return *slot - 1 - pass.base;

  const size_t index = pass.out->VertexCount();
  Sd_IsoVertex* v = index < pass.indexLimit - pass.base ? pass.out->AppendVertex() : nullptr;
  if (!v) {
    pass.failed = true;
    return 0;
  }
  pass.MakeVertex(edge, li, lj, k, v);
  *slot = pass.base + static_cast<uint32_t>(index) + 1;
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
    // A vertex of the run before is made again here for its position; its
    // reference and normal are added when the runs are joined.
    Sd_IsoVertex borrowed[3];
    Sd_IsoVertex* q[3];
    for (int n = 0; n < 3; ++n) {
      triangle->v[n] = v[n];
      if (v[n] & kBorrowed) {
        pass.BorrowedVertex(v[n], k, &borrowed[n]);
        q[n] = &borrowed[n];
      } else {
        q[n] = &pass.out->Vertex(v[n]);
        ++q[n]->refs;
      }
    }
    // Face normal e2 x e1 with e1 = q1 - q0, e2 = q2 - q0; it points away
    // from the corners at or above the iso-value. A triangle without area
    // has no direction and adds nothing.
    float n[3];
    const float length = FaceNormal(q, n);
    if (length > 0.0f) {
      for (int c = 0; c < 3; ++c) {
        if (!(v[c] & kBorrowed)) AddNormal(q[c], n, length);
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
