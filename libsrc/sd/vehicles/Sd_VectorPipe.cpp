// Tube geometry along a cable: point lists, rings, their alignment and
// normals, and the drawing of a built tube.
#include "Sd_VectorPipe.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <new>

#include "Sv_Debug.h"
#include "Sv_Matrix4.h"

namespace {

// Below this length a direction or an edge counts as having none.
const double kNoLength = 1e-7;
// Largest position or radius a tube is built with.
const double kLargest = 1e30;

double Length3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

// --- point list ---

CablePointList::CablePointList(int count)
    : m_count(0), m_extra(0), m_points(nullptr), m_rings(nullptr), m_segments(0) {
  if (count < 1) return;
  m_points = new (std::nothrow) CablePoint[count]();
  if (m_points) m_count = count;
}

CablePointList::~CablePointList() {
  FreeRings();
  delete[] m_points;
}

void CablePointList::FreeRings() {
  for (int i = 0; i < m_count; ++i) m_points[i].ring = m_points[i].normals = nullptr;
  delete[] m_rings;
  m_rings = nullptr;
  m_segments = 0;
}

bool CablePointList::AllocateRings(int segments) {
  FreeRings();
  if (segments < 1 || m_count < 1) return false;
  const long long vertices = static_cast<long long>(m_count) * segments;
  if (vertices > kMaxRingVertices) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Cable too long for a tube of this many segments; no tube",
                      "CablePointList::AllocateRings");
    return false;
  }
  const size_t perRing = 3 * static_cast<size_t>(segments);
  m_rings = new (std::nothrow) float[2 * perRing * static_cast<size_t>(m_count)]();
  if (!m_rings) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No memory for the cable's tube", "CablePointList::AllocateRings");
    return false;
  }
  for (int i = 0; i < m_count; ++i) {
    m_points[i].ring = m_rings + 2 * perRing * i;
    m_points[i].normals = m_points[i].ring + perRing;
  }
  m_segments = segments;
  return true;
}

// --- pipe ---

Sd_VectorPipe::Sd_VectorPipe(float radius, int segments) : m_radius(radius), m_segments(segments > 0 ? segments : 0) {
  m_along.assign(3 * static_cast<size_t>(m_segments), 0.0f);
  m_around.assign(3 * static_cast<size_t>(m_segments), 0.0f);
  m_circle.assign(3 * static_cast<size_t>(m_segments), 0.0f);
  m_weighted.assign(4 * static_cast<size_t>(m_segments), 0.0f);
}

Sd_VectorPipe::~Sd_VectorPipe() {}

void Sd_VectorPipe::Normalize(float v[3]) {
  const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (!(l >= 1e-20f)) return;
  v[0] /= l;
  v[1] /= l;
  v[2] /= l;
}

void Sd_VectorPipe::Multiply(float* out, const float* points, int count, const Sv_Matrix4& m) {
  if (count > m_segments) count = m_segments;
  for (int k = 0; k < count; ++k) {
    const float* p = points + 3 * k;
    float* h = &m_weighted[4 * k];
    for (int j = 0; j < 4; ++j) h[j] = p[0] * m.Get(0, j) + p[1] * m.Get(1, j) + p[2] * m.Get(2, j) + m.Get(3, j);
  }
  for (int k = 0; k < count; ++k) {
    float* h = &m_weighted[4 * k];
    if (std::fabs(h[3]) <= 1e-6f) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Warning: Sd_VectorPipe::Multiply: Divided by zero!");
    }
    // A w of exactly 0 would make every component infinite: left undivided.
    const float w = h[3] != 0.0f ? h[3] : 1.0f;
    out[3 * k] = h[0] / w;
    out[3 * k + 1] = h[1] / w;
    out[3 * k + 2] = h[2] / w;
  }
}

void Sd_VectorPipe::ComputePipePos(float* ring, const double position[3], const float direction[3]) {
  if (m_segments < 1 || !ring) return;
  Sv_Matrix4 t;
  t.SetIdentity();
  for (int j = 0; j < 3; ++j) t.Set(3, j, static_cast<float>(position[j]));

  double a = direction[0], b = direction[1], c = direction[2];
  const double len = std::sqrt(a * a + b * b + c * c);
  if (std::fabs(len) <= kNoLength) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Warning: Sd_VectorPipe::ComputePipePos! Divided by zero!");
    a = 0.0;
    b = 0.0;
    c = 1.0;
  } else {
    a /= len;
    b /= len;
    c /= len;
  }
  const double d = std::sqrt(b * b + c * c);

  // Rx turns about x, then Ry about y: together they carry the z axis onto
  // (a, b, c).
  Sv_Matrix4 rx;
  rx.SetIdentity();
  if (d >= 1e-6) {
    rx.Set(1, 1, static_cast<float>(c / d));
    rx.Set(1, 2, static_cast<float>(-b / d));
    rx.Set(2, 1, static_cast<float>(b / d));
    rx.Set(2, 2, static_cast<float>(c / d));
  }
  Sv_Matrix4 ry;
  ry.SetIdentity();
  ry.Set(0, 0, static_cast<float>(d));
  ry.Set(0, 2, static_cast<float>(-a));
  ry.Set(2, 0, static_cast<float>(a));
  ry.Set(2, 2, static_cast<float>(d));
  const Sv_Matrix4 m = (ry * rx) * t;

  const float pi = 3.1415927f;
  for (int k = 0; k < m_segments; ++k) {
    const float angle = 2.0f * pi * static_cast<float>(k) / static_cast<float>(m_segments);
    m_circle[3 * k] = -m_radius * std::cos(angle);
    m_circle[3 * k + 1] = m_radius * std::sin(angle);
    m_circle[3 * k + 2] = 0.0f;
  }
  Multiply(ring, m_circle.data(), m_segments, m);
}

void Sd_VectorPipe::ComputePipePos(float* ring, const double start[3], const double end[3], int flag) {
  if (m_segments < 1 || !ring) return;
  const float direction[3] = {static_cast<float>(end[0] - start[0]), static_cast<float>(end[1] - start[1]),
                              static_cast<float>(end[2] - start[2])};
  if (flag != 1) {
    ComputePipePos(ring, start, direction);
    return;
  }
  // The circle moved along the direction by the segment's length: the ring
  // around end, perpendicular to the segment.
  const double d[3] = {end[0] - start[0], end[1] - start[1], end[2] - start[2]};
  const double length = Length3(d);
  ComputePipePos(ring, start, direction);
  if (length <= kNoLength) return;
  for (int k = 0; k < m_segments; ++k) {
    for (int j = 0; j < 3; ++j) ring[3 * k + j] += static_cast<float>(d[j]);
  }
}

void Sd_VectorPipe::AlignRings(const CablePoint* a, CablePoint* b) {
  if (m_segments < 1 || !a || !b || !a->ring || !b->ring) return;
  float ref[3];
  for (int j = 0; j < 3; ++j) ref[j] = static_cast<float>(a->ring[j] - a->scene[j]);
  Normalize(ref);
  int best = 0;
  float bestSum = 0.0f;
  for (int k = 0; k < m_segments; ++k) {
    float dir[3];
    for (int j = 0; j < 3; ++j) dir[j] = static_cast<float>(b->ring[3 * k + j] - b->scene[j]);
    Normalize(dir);
    const float sum = std::fabs(ref[0] - dir[0]) + std::fabs(ref[1] - dir[1]) + std::fabs(ref[2] - dir[2]);
    if (k == 0 || sum < bestSum) {
      best = k;
      bestSum = sum;
    }
  }
  if (best == 0) return;
  float* copy = m_around.data();
  std::memcpy(copy, b->ring, sizeof(float) * 3 * m_segments);
  for (int j = 0; j < m_segments; ++j) {
    std::memcpy(b->ring + 3 * j, copy + 3 * ((best + j) % m_segments), sizeof(float) * 3);
  }
}

void Sd_VectorPipe::ComputeNormals(float* normals, const float* ringA, const float* ringB) {
  if (m_segments < 1 || !normals || !ringA || !ringB) return;
  const int n = m_segments;
  for (int k = 0; k < n; ++k) {
    const int next = k + 1 < n ? k + 1 : 0;
    for (int j = 0; j < 3; ++j) {
      m_along[3 * k + j] = ringB[3 * k + j] - ringA[3 * k + j];
      m_around[3 * k + j] = ringA[3 * next + j] - ringA[3 * k + j];
    }
  }
  for (int k = 0; k < n; ++k) {
    const float* u = &m_along[3 * k];
    const float* v = &m_around[3 * k];
    float* out = normals + 3 * k;
    out[0] = u[1] * v[2] - u[2] * v[1];
    out[1] = u[2] * v[0] - u[0] * v[2];
    out[2] = u[0] * v[1] - u[1] * v[0];
    Normalize(out);
  }
}

// --- the pipe build ---

namespace {

// Unit directions of the segments from point i to i + 1. A segment of no
// length (a repeated point) takes the direction of the nearest segment
// before it that has one, else of the nearest after it. False when no
// segment has a length.
bool SegmentDirections(const CablePointList& list, std::vector<double>* out) {
  const int segments = list.Count() - 1;
  out->assign(3 * static_cast<size_t>(segments), 0.0);
  std::vector<char> has(segments, 0);
  int any = -1;
  for (int i = 0; i < segments; ++i) {
    double d[3];
    for (int j = 0; j < 3; ++j) d[j] = list[i + 1].scene[j] - list[i].scene[j];
    const double len = Length3(d);
    if (!(len > kNoLength) || !std::isfinite(len)) continue;
    for (int j = 0; j < 3; ++j) (*out)[3 * i + j] = d[j] / len;
    has[i] = 1;
    if (any < 0) any = i;
  }
  if (any < 0) return false;
  int last = any;
  for (int i = 0; i < segments; ++i) {
    if (has[i]) {
      last = i;
    } else {
      for (int j = 0; j < 3; ++j) (*out)[3 * i + j] = (*out)[3 * last + j];
    }
  }
  return true;
}

}  // namespace

int Sd_VectorPipe::BuildPipe(CablePointList* list, float radius, int segments) {
  if (!list) return -1;
  list->FreeRings();
  const int n = list->Count();
  if (n < 2 || segments < kMinSegments || segments > kMaxSegments) return -1;
  // The rings are floats: positions and radii beyond their range would
  // give infinite vertices.
  bool drawable = std::fabs(radius) <= kLargest;
  for (int i = 0; i < n && drawable; ++i) {
    for (int j = 0; j < 3; ++j) drawable = drawable && std::fabs((*list)[i].scene[j]) <= kLargest;
  }
  if (!drawable) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "A cable beyond the range of its box has no tube", "Sd_VectorPipe::BuildPipe");
    return -1;
  }
  std::vector<double> seg;
  if (!SegmentDirections(*list, &seg)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "A cable whose points all coincide has no tube", "Sd_VectorPipe::BuildPipe");
    return -1;
  }
  if (!list->AllocateRings(segments)) return -1;

  // Directions: the first and last segment's at the ends; inside, the mean
  // of the incoming and outgoing segments, or the outgoing one where the
  // cable turns straight back and the mean has no length (a point's ring
  // and the segment leaving it give its normals, which then point out).
  for (int i = 0; i < n; ++i) {
    const double* in = &seg[3 * static_cast<size_t>(i > 0 ? i - 1 : 0)];
    const double* outgoing = &seg[3 * static_cast<size_t>(i < n - 1 ? i : n - 2)];
    double d[3] = {in[0] + outgoing[0], in[1] + outgoing[1], in[2] + outgoing[2]};
    double len = Length3(d);
    if (!(len > kNoLength)) {
      for (int j = 0; j < 3; ++j) d[j] = outgoing[j];
      len = 1.0;
    }
    for (int j = 0; j < 3; ++j) (*list)[i].direction[j] = static_cast<float>(d[j] / len);
  }

  Sd_VectorPipe pipe(radius, segments);
  for (int i = 0; i < n; ++i) pipe.ComputePipePos((*list)[i].ring, (*list)[i].scene, (*list)[i].direction);
  for (int i = 0; i + 1 < n; ++i) pipe.AlignRings(&(*list)[i], &(*list)[i + 1]);
  for (int i = 0; i + 1 < n; ++i) {
    CablePoint& p = (*list)[i];
    pipe.ComputeNormals(p.normals, p.ring, (*list)[i + 1].ring);
    // Between two rings that coincide (a repeated point) the tube has no
    // surface: its normals point straight out from the point.
    for (int k = 0; k < segments; ++k) {
      float* normal = p.normals + 3 * k;
      if (normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2] > 0.5f) continue;
      for (int j = 0; j < 3; ++j) normal[j] = static_cast<float>(p.ring[3 * k + j] - p.scene[j]);
      Normalize(normal);
    }
  }
  std::memcpy((*list)[n - 1].normals, (*list)[n - 2].normals, sizeof(float) * 3 * segments);
  return 0;
}

void Sd_VectorPipe::DrawPipe(const CablePointList* list, const float* colour) {
  if (!list || !list->HasRings() || list->Count() < 2) return;
  const int segments = list->GetSegments();
  for (int i = 0; i + 1 < list->Count(); ++i) {
    const CablePoint& a = (*list)[i];
    const CablePoint& b = (*list)[i + 1];
    if (colour) glColor3fv(colour);
    glBegin(GL_QUAD_STRIP);
    for (int k = 0; k <= segments; ++k) {
      const int v = 3 * (k < segments ? k : 0);
      glNormal3fv(a.normals + v);
      glVertex3fv(a.ring + v);
      glNormal3fv(b.normals + v);
      glVertex3fv(b.ring + v);
    }
    glEnd();
  }
}
