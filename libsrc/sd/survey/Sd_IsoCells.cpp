// The cell edges and the generated case table of the iso-surface extraction.
#include "Sd_IsoCells.h"

#include <cstring>

const Sd_IsoEdge kSdIsoEdges[12] = {
    {0, 1, 0, 0, 0, 0}, {1, 3, 1, 1, 0, 0}, {2, 3, 0, 0, 1, 0}, {0, 2, 1, 0, 0, 0},
    {1, 5, 2, 1, 0, 0}, {3, 7, 2, 1, 1, 0}, {2, 6, 2, 0, 1, 0}, {0, 4, 2, 0, 0, 0},
    {4, 5, 0, 0, 0, 1}, {5, 7, 1, 1, 0, 1}, {6, 7, 0, 0, 1, 1}, {4, 6, 1, 0, 0, 1},
};

namespace {

// Position of corner c on axis a (0 i, 1 j, 2 k): bit a of c.
int CornerBit(int c, int a) { return (c >> a) & 1; }

int EdgeBetween(int a, int b) {
  for (int e = 0; e < 12; ++e) {
    if ((kSdIsoEdges[e].from == a && kSdIsoEdges[e].to == b) || (kSdIsoEdges[e].from == b && kSdIsoEdges[e].to == a)) {
      return e;
    }
  }
  return -1;
}

// The six cube faces, each as its four corners in order around the face and
// the edge from each corner to the next.
struct Face {
  int corners[4];
  int edges[4];
};

void MakeFaces(Face faces[6]) {
  // Around a face: the other two axes' bits (0,0), (1,0), (1,1), (0,1).
  static const int kAround[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  int f = 0;
  for (int axis = 0; axis < 3; ++axis) {
    const int a1 = axis == 0 ? 1 : 0;
    const int a2 = axis == 2 ? 1 : 2;
    for (int side = 0; side < 2; ++side, ++f) {
      for (int n = 0; n < 4; ++n) faces[f].corners[n] = (side << axis) | (kAround[n][0] << a1) | (kAround[n][1] << a2);
      for (int n = 0; n < 4; ++n) faces[f].edges[n] = EdgeBetween(faces[f].corners[n], faces[f].corners[(n + 1) % 4]);
    }
  }
}

// The polygons of one case: the cut edges joined into closed loops.
struct Loops {
  int count = 0;
  int length[12] = {};
  int edges[12][12] = {};
};

// The loops that the segments (pairs of cut edges) close; every cut edge
// lies in two segments.
Loops CloseLoops(const bool cut[12], const int segments[][2], int segmentCount) {
  int neighbours[12][2];
  int degree[12] = {};
  for (int s = 0; s < segmentCount; ++s) {
    const int a = segments[s][0], b = segments[s][1];
    neighbours[a][degree[a]++] = b;
    neighbours[b][degree[b]++] = a;
  }
  Loops loops;
  bool seen[12] = {};
  for (int start = 0; start < 12; ++start) {
    if (!cut[start] || seen[start]) continue;
    int* loop = loops.edges[loops.count];
    int n = 0, previous = -1, current = start;
    while (!seen[current]) {
      seen[current] = true;
      loop[n++] = current;
      const int next = neighbours[current][0] != previous ? neighbours[current][0] : neighbours[current][1];
      previous = current;
      current = next;
    }
    loops.length[loops.count++] = n;
  }
  return loops;
}

// Midpoint of an edge in corner units.
void EdgeMidpoint(int e, double p[3]) {
  for (int a = 0; a < 3; ++a) p[a] = 0.5 * (CornerBit(kSdIsoEdges[e].from, a) + CornerBit(kSdIsoEdges[e].to, a));
}

// Turns the loop so that the normal (q2 - q0) x (q1 - q0) of its triangles
// points away from the corners at or above the iso-value: the loop's
// right-handed (Newell) normal must point towards those corners.
void Orient(int* loop, int n, int caseIndex) {
  double normal[3] = {0, 0, 0}, centre[3] = {0, 0, 0}, inside[3] = {0, 0, 0};
  for (int v = 0; v < n; ++v) {
    double p[3], q[3];
    EdgeMidpoint(loop[v], p);
    EdgeMidpoint(loop[(v + 1) % n], q);
    normal[0] += p[1] * q[2] - p[2] * q[1];
    normal[1] += p[2] * q[0] - p[0] * q[2];
    normal[2] += p[0] * q[1] - p[1] * q[0];
    const Sd_IsoEdge& e = kSdIsoEdges[loop[v]];
    const int high = (caseIndex >> e.from) & 1 ? e.from : e.to;
    for (int a = 0; a < 3; ++a) {
      centre[a] += p[a];
      inside[a] += CornerBit(high, a);
    }
  }
  double towards = 0.0;
  for (int a = 0; a < 3; ++a) towards += normal[a] * (inside[a] - centre[a]);
  if (towards < 0.0) {
    for (int v = 0; v < n / 2; ++v) {
      const int t = loop[v];
      loop[v] = loop[n - 1 - v];
      loop[n - 1 - v] = t;
    }
  }
}

// Appends the fan of one oriented loop to the row; false when the row is full.
bool AddFan(const int* loop, int n, signed char* row, int* used) {
  int lowest = 0;
  for (int v = 1; v < n; ++v) {
    if (loop[v] < loop[lowest]) lowest = v;
  }
  const int before = (lowest + n - 1) % n, after = (lowest + 1) % n;
  const int apex = loop[before] < loop[after] ? before : after;
  for (int v = 1; v + 1 < n; ++v) {
    if (*used >= 4) return false;
    signed char* triple = row + 3 * (*used)++;
    triple[0] = static_cast<signed char>(loop[apex]);
    triple[1] = static_cast<signed char>(loop[(apex + v) % n]);
    triple[2] = static_cast<signed char>(loop[(apex + v + 1) % n]);
  }
  return true;
}

void MakeRow(int caseIndex, const Face faces[6], signed char* row) {
  std::memset(row, kSdIsoRowEnd, 12);
  bool cut[12];
  for (int e = 0; e < 12; ++e) {
    cut[e] = ((caseIndex >> kSdIsoEdges[e].from) & 1) != ((caseIndex >> kSdIsoEdges[e].to) & 1);
  }
  // Faces with two cut edges give one segment; faces with four give two
  // pairings: around the two corners above (choice 0) or below (choice 1).
  int fixed[6][2];
  int fixedCount = 0;
  int choices[6][2][2][2];
  int ambiguous = 0;
  for (int f = 0; f < 6; ++f) {
    int edges[4], n = 0;
    for (int k = 0; k < 4; ++k) {
      if (cut[faces[f].edges[k]]) edges[n++] = faces[f].edges[k];
    }
    if (n == 2) {
      fixed[fixedCount][0] = edges[0];
      fixed[fixedCount++][1] = edges[1];
    } else if (n == 4) {
      int above = 0, below = 0;
      for (int k = 0; k < 4; ++k) {
        // The pair of edges that meet at corner k.
        const int a = faces[f].edges[(k + 3) % 4], b = faces[f].edges[k];
        int* pair = (caseIndex >> faces[f].corners[k]) & 1 ? choices[ambiguous][0][above++] : choices[ambiguous][1][below++];
        pair[0] = a;
        pair[1] = b;
      }
      ++ambiguous;
    }
  }
  Loops best;
  int bestScore = -1;
  for (int mask = 0; mask < (1 << ambiguous); ++mask) {
    int segments[12][2];
    int count = 0;
    for (int s = 0; s < fixedCount; ++s, ++count) {
      segments[count][0] = fixed[s][0];
      segments[count][1] = fixed[s][1];
    }
    int aroundAbove = 0;
    for (int a = 0; a < ambiguous; ++a) {
      const int choice = (mask >> a) & 1;
      if (choice == 0) ++aroundAbove;
      for (int p = 0; p < 2; ++p, ++count) {
        segments[count][0] = choices[a][choice][p][0];
        segments[count][1] = choices[a][choice][p][1];
      }
    }
    const Loops loops = CloseLoops(cut, segments, count);
    const int score = loops.count * 8 + aroundAbove;
    if (score > bestScore) {
      bestScore = score;
      best = loops;
    }
  }
  int used = 0;
  for (int l = 0; l < best.count; ++l) {
    Orient(best.edges[l], best.length[l], caseIndex);
    if (!AddFan(best.edges[l], best.length[l], row, &used)) break;
  }
}

struct CaseTable {
  Sd_IsoCaseRow rows[256];
  CaseTable() {
    Face faces[6];
    MakeFaces(faces);
    for (int c = 0; c < 256; ++c) MakeRow(c, faces, rows[c]);
  }
};

}  // namespace

const Sd_IsoCaseRow* Sd_IsoCaseTable() {
  static const CaseTable table;
  return table.rows;
}

int Sd_IsoCaseTriangles(int c) {
  if (c < 0 || c > 255) return 0;
  const signed char* row = Sd_IsoCaseTable()[c];
  int n = 0;
  while (n < 4 && row[3 * n] != kSdIsoRowEnd) ++n;
  return n;
}
