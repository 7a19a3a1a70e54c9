#ifndef SD_VECTORPIPE_H
#define SD_VECTORPIPE_H

#include <vector>

class Sv_Matrix4;

// One point of a cable: the three values its record gives, its position in
// the owning node's frame, the tube's direction there and, once the pipe is
// built, the ring of tube vertices around it with one normal per vertex.
struct CablePoint {
  // As read: the cable node's y, x, z in data coordinates (in this order),
  // the cable sphere's latitude, longitude (degrees) and height.
  double source[3];
  // Position in the owner's frame, set by the owner before the pipe is built.
  double scene[3];
  // Unit direction of the tube at the point.
  float direction[3];
  // Segment-count float triples each, owned by the list; null until built.
  float* ring;
  float* normals;
};

// The points of a cable, owned by the node that read them. The rings and
// normals of all points live in one block of the list.
class CablePointList {
 public:
  // count points, all values 0 and no rings. A count below 1, or one whose
  // points cannot be allocated, gives an empty list (Count() 0).
  explicit CablePointList(int count);
  ~CablePointList();
  CablePointList(const CablePointList&) = delete;
  CablePointList& operator=(const CablePointList&) = delete;

  int Count() const { return m_count; }
  CablePoint* Points() { return m_points; }
  const CablePoint* Points() const { return m_points; }
  CablePoint& operator[](int i) { return m_points[i]; }
  const CablePoint& operator[](int i) const { return m_points[i]; }

  // A second integer kept and saved with the list by the cable sphere; no
  // computation uses it.
  int GetExtra() const { return m_extra; }
  void SetExtra(int value) { m_extra = value; }

  // Gives every point fresh ring and normal arrays of segments triples
  // (the old ones are released). False, leaving no rings, when segments is
  // below 1, the rings would exceed kMaxRingVertices or the allocation fails.
  bool AllocateRings(int segments);
  void FreeRings();
  // Segments per ring of the rings held, 0 when there are none.
  int GetSegments() const { return m_segments; }
  bool HasRings() const { return m_segments > 0; }

  // Most ring vertices (points times segments) a list holds: a long cable
  // with many segments per ring is refused rather than taking gigabytes.
  static constexpr long long kMaxRingVertices = 1LL << 23;

 private:
  int m_count;
  int m_extra;
  CablePoint* m_points;
  float* m_rings;  // rings then normals of every point
  int m_segments;
};

// The surface of a tube of fixed radius along a cable: a ring of vertices
// around each point, perpendicular to the local direction, consecutive rings
// turned so that the tube does not twist, and one normal per ring vertex.
//
// Matrices are Sv_Matrix4 used with row vectors: a point p becomes p * M,
// with the translation in row 3.
class Sd_VectorPipe {
 public:
  // Segment counts a stored cable may give.
  static constexpr int kMinSegments = 3;
  static constexpr int kMaxSegments = 256;

  // A pipe of the given radius with segments vertices per ring; a segment
  // count below 1 gives a pipe that computes nothing.
  Sd_VectorPipe(float radius, int segments);
  ~Sd_VectorPipe();
  Sd_VectorPipe(const Sd_VectorPipe&) = delete;
  Sd_VectorPipe& operator=(const Sd_VectorPipe&) = delete;

  int GetSegments() const { return m_segments; }
  float GetRadius() const { return m_radius; }

  // Fills ring (segments float triples) with the circle of the pipe's
  // radius around position, perpendicular to direction. A direction of no
  // length is reported at debug level and taken as the z axis.
  void ComputePipePos(float* ring, const double position[3], const float direction[3]);
  // The two-point form: the direction runs from start to end; with flag 1
  // the circle is moved along it by the segment's length.
  void ComputePipePos(float* ring, const double start[3], const double end[3], int flag);
  // Turns b's ring so that it starts at the vertex best lined up with a's
  // first vertex (ties keep the lower index).
  void AlignRings(const CablePoint* a, CablePoint* b);
  // One unit normal per vertex of ringA, from ringA and the next ring ringB:
  // the edge along the tube crossed with the edge around the ring.
  void ComputeNormals(float* normals, const float* ringA, const float* ringB);
  // count float triples through m as homogeneous row vectors, divided by w.
  void Multiply(float* out, const float* points, int count, const Sv_Matrix4& m);
  // Scales v to unit length; a vector shorter than 1e-20 stays as it is.
  static void Normalize(float v[3]);

  // The pipe build for a list whose scene positions are set: directions,
  // rings, alignment and normals of every point. A list of fewer than two
  // points, a segment count outside kMinSegments ... kMaxSegments, points
  // that all coincide, positions or a radius beyond 1e30 (or not numbers)
  // or rings that cannot be held leave the list without rings: -1. 0 when
  // built.
  static int BuildPipe(CablePointList* list, float radius, int segments);
  // Draws a built pipe as one quad strip per segment, normals before
  // vertices; with colour (r, g, b), that colour before each strip. Draws
  // nothing for a list without rings.
  static void DrawPipe(const CablePointList* list, const float* colour = nullptr);

 private:
  float m_radius;
  int m_segments;
  // Scratch of segments entries each: float triples of the edges along the
  // tube, the edges around a ring and the template circle; homogeneous
  // quadruples of a transformed ring.
  std::vector<float> m_along;
  std::vector<float> m_around;
  std::vector<float> m_circle;
  std::vector<float> m_weighted;
};

#endif
