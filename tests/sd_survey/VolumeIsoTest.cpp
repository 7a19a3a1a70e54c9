// Iso-surface extraction of the scalar volume: the generated case table
// against its rules, the surfaces of small grids, and the extraction against
// a plain implementation that keeps whole-grid tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "Sd_IsoCells.h"
#include "Sd_Volume.h"
#include "TestSupport.h"
#include "VolumeTestSupport.h"

namespace {

using Triple = std::array<int, 3>;

int Bit(int c, int axis) { return (c >> axis) & 1; }
bool Above(int caseIndex, int corner) { return Bit(caseIndex, corner) != 0; }
bool Cut(int caseIndex, int e) {
  return Above(caseIndex, kSdIsoEdges[e].from) != Above(caseIndex, kSdIsoEdges[e].to);
}

std::vector<Triple> Row(int c) {
  std::vector<Triple> out;
  const signed char* row = Sd_IsoCaseTable()[c];
  for (int t = 0; t < 4 && row[3 * t] != kSdIsoRowEnd; ++t) out.push_back({row[3 * t], row[3 * t + 1], row[3 * t + 2]});
  return out;
}

// The same triangle (same winding) whatever its first edge.
Triple Rotated(Triple t) {
  std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
  return t;
}
std::multiset<Triple> Triangles(const std::vector<Triple>& row, bool reversed = false) {
  std::multiset<Triple> out;
  for (Triple t : row) out.insert(Rotated(reversed ? Triple{t[0], t[2], t[1]} : t));
  return out;
}

void Midpoint(int e, double p[3]) {
  for (int a = 0; a < 3; ++a) p[a] = 0.5 * (Bit(kSdIsoEdges[e].from, a) + Bit(kSdIsoEdges[e].to, a));
}

// The face (axis * 2 + side) that holds both edges, or -1.
int SharedFace(int a, int b) {
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      bool all = true;
      for (int corner : {kSdIsoEdges[a].from, kSdIsoEdges[a].to, kSdIsoEdges[b].from, kSdIsoEdges[b].to}) {
        all = all && Bit(corner, axis) == side;
      }
      if (all) return axis * 2 + side;
    }
  }
  return -1;
}

// Whether segments p1-p2 and q1-q2 of the plane cross.
bool Cross(const double p1[2], const double p2[2], const double q1[2], const double q2[2]) {
  auto side = [](const double a[2], const double b[2], const double c[2]) {
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
  };
  return side(p1, p2, q1) * side(p1, p2, q2) < 0 && side(q1, q2, p1) * side(q1, q2, p2) < 0;
}

// Separation on one face: a path between two corners, just inside the face,
// crosses the surface's chords an odd number of times exactly when the
// corners lie on different sides of the iso-value.
void ExpectFaceSeparates(int c, int face, const std::vector<std::array<int, 2>>& chords) {
  const int axis = face / 2, u = (axis + 1) % 3, v = (axis + 2) % 3;
  auto flat = [&](const double p[3], double out[2]) {
    out[0] = p[u];
    out[1] = p[v];
  };
  std::vector<int> corners;
  for (int k = 0; k < 8; ++k) {
    if (Bit(k, axis) == face % 2) corners.push_back(k);
  }
  for (size_t x = 0; x < corners.size(); ++x) {
    for (size_t y = x + 1; y < corners.size(); ++y) {
      double p[2][2];
      for (int n = 0; n < 2; ++n) {
        const int k = n ? corners[y] : corners[x];
        p[n][0] = Bit(k, u) ? 0.99 : 0.01;
        p[n][1] = Bit(k, v) ? 0.99 : 0.01;
      }
      int crossings = 0;
      for (const auto& chord : chords) {
        double a[3], b[3], fa[2], fb[2];
        Midpoint(chord[0], a);
        Midpoint(chord[1], b);
        flat(a, fa);
        flat(b, fb);
        crossings += Cross(p[0], p[1], fa, fb);
      }
      EXPECT_EQ(crossings % 2 == 1, Above(c, corners[x]) != Above(c, corners[y]))
          << "case " << c << " face " << face << " corners " << corners[x] << ", " << corners[y];
    }
  }
}

// The rules of the case table, row by row.
void ExpectRowFollowsTheRules(int c) {
  SCOPED_TRACE("case " + std::to_string(c));
  const std::vector<Triple> row = Row(c);
  // Exactly the cut edges, each triangle of three different edges.
  std::set<int> used, cut;
  for (const Triple& t : row) {
    EXPECT_TRUE(t[0] != t[1] && t[1] != t[2] && t[0] != t[2]);
    used.insert(t.begin(), t.end());
  }
  for (int e = 0; e < 12; ++e) {
    if (Cut(c, e)) cut.insert(e);
  }
  EXPECT_EQ(used, cut);

  // Sides inside the surface are shared by two triangles wound against each
  // other; the others lie on the cube's faces and join each cut edge to two
  // others, on its two faces.
  std::map<std::array<int, 2>, int> sides;
  for (const Triple& t : row) {
    for (int n = 0; n < 3; ++n) ++sides[{t[n], t[(n + 1) % 3]}];
  }
  std::map<int, std::vector<std::array<int, 2>>> chords;
  std::map<int, std::set<int>> facesOfEdge;
  for (const auto& [side, forward] : sides) {
    const int backward = sides.count({side[1], side[0]}) ? sides.at({side[1], side[0]}) : 0;
    ASSERT_LE(forward, 1) << "side " << side[0] << "-" << side[1] << " twice in one direction";
    if (backward) continue;
    const int face = SharedFace(side[0], side[1]);
    ASSERT_GE(face, 0) << "open side " << side[0] << "-" << side[1] << " inside the cube";
    chords[face].push_back(side);
    for (int e : side) EXPECT_TRUE(facesOfEdge[e].insert(face).second);
  }
  for (int e : cut) EXPECT_EQ(facesOfEdge[e].size(), 2u) << "edge " << e;
  for (const auto& [face, list] : chords) ExpectFaceSeparates(c, face, list);

  // Winding: the face normal (q2 - q0) x (q1 - q0) points away from the
  // corners at or above the iso-value.
  for (const Triple& t : row) {
    double q[3][3], centre[3] = {}, high[3] = {};
    for (int n = 0; n < 3; ++n) {
      Midpoint(t[n], q[n]);
      const int h = Above(c, kSdIsoEdges[t[n]].from) ? kSdIsoEdges[t[n]].from : kSdIsoEdges[t[n]].to;
      for (int a = 0; a < 3; ++a) {
        centre[a] += q[n][a] / 3;
        high[a] += Bit(h, a) / 3.0;
      }
    }
    const double e1[3] = {q[1][0] - q[0][0], q[1][1] - q[0][1], q[1][2] - q[0][2]};
    const double e2[3] = {q[2][0] - q[0][0], q[2][1] - q[0][1], q[2][2] - q[0][2]};
    const double nx = e2[1] * e1[2] - e2[2] * e1[1], ny = e2[2] * e1[0] - e2[0] * e1[2],
                 nz = e2[0] * e1[1] - e2[1] * e1[0];
    EXPECT_LT(nx * (high[0] - centre[0]) + ny * (high[1] - centre[1]) + nz * (high[2] - centre[2]), 0.0)
        << "triangle " << t[0] << ", " << t[1] << ", " << t[2];
  }
}

TEST(IsoCaseTable, EveryRowFollowsTheRulesWithTheStatedCountsAndTellingRows) {
  int rowsWith[5] = {};
  for (int c = 0; c < 256; ++c) {
    ExpectRowFollowsTheRules(c);
    ++rowsWith[Sd_IsoCaseTriangles(c)];
    EXPECT_EQ(Row(c).size(), static_cast<size_t>(Sd_IsoCaseTriangles(c)));
  }
  EXPECT_EQ(std::vector<int>(rowsWith, rowsWith + 5), (std::vector<int>{2, 16, 62, 112, 64}));

  const std::map<int, std::vector<Triple>> telling = {
      {0, {}},
      {255, {}},
      {1, {{3, 0, 7}}},
      {254, {{3, 7, 0}}},
      {2, {{0, 1, 4}}},
      {3, {{1, 4, 3}, {3, 4, 7}}},
      {4, {{2, 3, 6}}},
      {8, {{1, 2, 5}}},
      {15, {{6, 5, 7}, {7, 5, 4}}},
      {16, {{7, 8, 11}}},
      {128, {{5, 10, 9}}},
      {127, {{5, 9, 10}}},
      {105, {{3, 0, 7}, {1, 2, 5}, {4, 9, 8}, {6, 11, 10}}},
      {150, {{0, 1, 4}, {2, 3, 6}, {7, 8, 11}, {5, 10, 9}}},
  };
  for (const auto& [c, triangles] : telling) EXPECT_EQ(Triangles(Row(c)), Triangles(triangles)) << "case " << c;

  // A case and its complement: the same triangles wound the other way,
  // except in rows whose ambiguous faces are cut differently.
  int sameAsComplement = 0;
  for (int c = 0; c < 256; ++c) sameAsComplement += Triangles(Row(c)) == Triangles(Row(255 - c), true);
  EXPECT_EQ(sameAsComplement, 224);
}

// --- extraction ---

// A pass written as plainly as possible: cells in the order i, j, k, a
// gradient for every sample and a vertex table for every lattice point.
struct PlainSurface {
  struct Vertex {
    float p[3];
    float n[3];
    int colour;
  };
  std::vector<Vertex> vertices;
  std::vector<Triple> triangles;
};

PlainSurface PlainExtraction(const Sd_Volume& v, float iso, int s1, int s2, int s3) {
  const int d1 = v.GetDim1(), d2 = v.GetDim2(), ns = v.GetSlices();
  auto s = [&](int k, int i, int j) { return v.GetSample(k, i, j); };
  std::vector<float> g(static_cast<size_t>(d1) * d2 * ns);
  auto at = [&](int k, int i, int j) -> float& { return g[(static_cast<size_t>(k) * d1 + i) * d2 + j]; };
  for (int k = 0; k < ns; ++k) {
    for (int i = 0; i < d1; ++i) {
      for (int j = 0; j < d2; ++j) {
        const int a = s(k, std::min(i + 1, d1 - 1), j) - s(k, std::max(i - 1, 0), j);
        const int b = s(std::min(k + 1, ns - 1), i, j) - s(std::max(k - 1, 0), i, j);
        const int c = s(k, i, std::min(j + 1, d2 - 1)) - s(k, i, std::max(j - 1, 0));
        at(k, i, j) = std::min(255.0f, std::sqrt(static_cast<float>(a * a + b * b + c * c)));
      }
    }
  }
  PlainSurface out;
  std::map<std::array<int, 4>, int> table;
  const int steps[3] = {s1, s2, s3};
  for (int i = 0; i < d1 - s1; i += s1) {
    for (int j = 0; j < d2 - s2; j += s2) {
      for (int k = 0; k < ns - s3; k += s3) {
        int corner[8][3], caseIndex = 0;
        for (int c = 0; c < 8; ++c) {
          corner[c][0] = i + s1 * Bit(c, 0);
          corner[c][1] = j + s2 * Bit(c, 1);
          corner[c][2] = k + s3 * Bit(c, 2);
          if (s(corner[c][2], corner[c][0], corner[c][1]) >= iso) caseIndex |= 1 << c;
        }
        for (const Triple& t : Row(caseIndex)) {
          Triple tri;
          for (int n = 0; n < 3; ++n) {
            const Sd_IsoEdge& e = kSdIsoEdges[t[n]];
            const std::array<int, 4> key = {i / s1 + e.di, j / s2 + e.dj, k / s3 + e.dk, e.axis};
            auto found = table.find(key);
            if (found == table.end()) {
              const int* a = corner[e.from];
              const int* b = corner[e.to];
              const float sa = static_cast<float>(s(a[2], a[0], a[1])), sb = static_cast<float>(s(b[2], b[0], b[1]));
              const float f = (iso - sa) / (sb - sa);
              float p[3] = {static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2])};
              p[e.axis] += f * static_cast<float>(steps[e.axis]);
              PlainSurface::Vertex vx = {{p[0] / d1, p[1] / d2, p[2] / ns}, {0, 0, 0}, 0};
              vx.colour = static_cast<int>(std::floor(f * at(b[2], b[0], b[1]) + (1.0f - f) * at(a[2], a[0], a[1])));
              found = table.emplace(key, static_cast<int>(out.vertices.size())).first;
              out.vertices.push_back(vx);
            }
            tri[n] = found->second;
          }
          const float* q0 = out.vertices[tri[0]].p;
          const float* q1 = out.vertices[tri[1]].p;
          const float* q2 = out.vertices[tri[2]].p;
          const float e1[3] = {q1[0] - q0[0], q1[1] - q0[1], q1[2] - q0[2]};
          const float e2[3] = {q2[0] - q0[0], q2[1] - q0[1], q2[2] - q0[2]};
          const float n[3] = {e1[2] * e2[1] - e1[1] * e2[2], e1[0] * e2[2] - e1[2] * e2[0],
                              e1[1] * e2[0] - e1[0] * e2[1]};
          const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
          for (int m = 0; m < 3 && len > 0; ++m) {
            for (int a = 0; a < 3; ++a) out.vertices[tri[m]].n[a] += n[a] / len;
          }
          out.triangles.push_back(tri);
        }
      }
    }
  }
  for (auto& vx : out.vertices) {
    const float len = std::sqrt(vx.n[0] * vx.n[0] + vx.n[1] * vx.n[1] + vx.n[2] * vx.n[2]);
    for (float& c : vx.n) c = len > 0 ? c / len : c;
  }
  return out;
}

// The list holds the plain pass's vertices (same position, colour index and,
// up to rounding, normal) and triangles, in any order.
void ExpectSameSurface(const Sd_IsoSurface& list, const PlainSurface& plain) {
  ASSERT_EQ(list.VertexCount(), plain.vertices.size());
  ASSERT_EQ(list.TriangleCount(), plain.triangles.size());
  std::map<std::array<long long, 3>, int> byPosition;
  auto key = [](const float p[3]) {
    return std::array<long long, 3>{std::llround(p[0] * 1e7), std::llround(p[1] * 1e7), std::llround(p[2] * 1e7)};
  };
  for (size_t v = 0; v < plain.vertices.size(); ++v) byPosition[key(plain.vertices[v].p)] = static_cast<int>(v);
  ASSERT_EQ(byPosition.size(), plain.vertices.size());
  std::vector<int> same(list.VertexCount());
  for (size_t v = 0; v < list.VertexCount(); ++v) {
    const Sd_IsoVertex& mine = list.Vertex(v);
    auto found = byPosition.find(key(mine.position));
    ASSERT_NE(found, byPosition.end()) << "vertex " << v << " is not the plain pass's";
    const PlainSurface::Vertex& theirs = plain.vertices[found->second];
    for (int a = 0; a < 3; ++a) {
      EXPECT_EQ(mine.position[a], theirs.p[a]);
      EXPECT_NEAR(mine.normal[a], theirs.n[a], 2e-6);
    }
    EXPECT_EQ(mine.colour, theirs.colour);
    same[v] = found->second;
  }
  std::multiset<Triple> a, b;
  for (size_t t = 0; t < list.TriangleCount(); ++t) {
    const unsigned* v = list.Triangle(t).v;
    a.insert(Rotated({same[v[0]], same[v[1]], same[v[2]]}));
  }
  for (const Triple& t : plain.triangles) b.insert(Rotated(t));
  EXPECT_TRUE(a == b);
}

std::unique_ptr<Sd_Volume> MakeVolume(int d1, int d2, int d3, const std::vector<signed char>& samples,
                                      float dataIso = 0.0f, int step = 1) {
  auto v = std::make_unique<Sd_Volume>();
  v->SetIsoValue(dataIso);  // 0.0 is the sample value 0.5
  v->SetStep(step);
  EXPECT_EQ(v->SetSamples(d1, d2, d3, samples.data()), 0);
  return v;
}

TEST(IsoSurface, SmallGridsGiveTheSurfacesTheirSamplesDescribe) {
  // One sample above the iso-value in a zero grid: a closed octahedron of
  // 8 triangles around it, 6 vertices, normals pointing away from it, each
  // vertex used by 4 triangles.
  auto v = MakeVolume(3, 3, 1, std::vector<signed char>{0, 0, 0, 0, 100, 0, 0, 0, 0}, 0.0f, 4);
  const Sd_IsoSurface* full = v->GetFullSurface();
  ASSERT_TRUE(full);
  EXPECT_EQ(full->TriangleCount(), 8u);
  EXPECT_EQ(full->VertexCount(), 6u);
  EXPECT_EQ(v->GetSlices(), 3);
  for (size_t i = 0; i < full->VertexCount(); ++i) {
    const Sd_IsoVertex& vx = full->Vertex(i);
    // The high sample sits at (1/3, 1/3, 1/3) of the unit cube.
    float out[3], length = 0.0f;
    for (int a = 0; a < 3; ++a) {
      out[a] = vx.position[a] - 1.0f / 3.0f;
      length += out[a] * out[a];
    }
    length = std::sqrt(length);
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(vx.normal[a], out[a] / length, 1e-6);
  }
  for (size_t t = 0; t < full->TriangleCount(); ++t) {
    for (unsigned idx : full->Triangle(t).v) EXPECT_EQ(full->Vertex(idx).refs, 4);
  }
  // The coarse list at the default step 4 has no cell along i or j.
  EXPECT_EQ(v->GetCoarseSurface()->TriangleCount(), 0u);
  EXPECT_EQ(v->GetTriangleCount(), 0);

  // All below (or all at or above) the iso-value: no triangle.
  auto low = MakeVolume(3, 3, 2, std::vector<signed char>(18, -5), 0.0f, 1);
  EXPECT_EQ(low->GetFullSurface()->TriangleCount(), 0u);
  EXPECT_EQ(low->GetTriangleCount(), 0);

  // Between two samples of gradient strength 255 the colour index is 255.
  std::vector<signed char> ramp;
  for (int i = 0; i < 4; ++i) ramp.insert(ramp.end(), 2, static_cast<signed char>(i < 2 ? -128 : 127));
  auto steep = MakeVolume(4, 2, 1, ramp, 0.0f, 1);
  bool seen = false;
  for (size_t i = 0; i < steep->GetFullSurface()->VertexCount(); ++i) {
    const Sd_IsoVertex& vx = steep->GetFullSurface()->Vertex(i);
    if (std::fabs(vx.position[0] - (1.0f + 128.5f / 255.0f) / 4.0f) < 1e-6f && vx.position[2] > 0.0f) {
      EXPECT_EQ(vx.colour, 255);
      seen = true;
    }
  }
  EXPECT_TRUE(seen);

  // Step 4 with dim1 = 10: cells start at i = 0 and 4 only, so vertices
  // on edges along j and k lie on the lattice columns 0, 4 and 8.
  auto coarse = MakeVolume(10, 5, 3, volume_test::Noise(150, 7, -20, 20), 0.0f, 4);
  std::set<float> columns;
  const Sd_IsoSurface* list = coarse->GetCoarseSurface();
  ASSERT_GT(list->TriangleCount(), 0u);
  for (size_t i = 0; i < list->VertexCount(); ++i) {
    const float x = list->Vertex(i).position[0] * 10.0f;
    if (std::fabs(x - std::round(x)) < 1e-5f) columns.insert(std::round(x));
  }
  EXPECT_EQ(columns, (std::set<float>{0.0f, 4.0f, 8.0f}));
  EXPECT_EQ(coarse->GetTriangleCount(), static_cast<int>(list->TriangleCount()));
}

TEST(IsoSurface, MatchesAPlainPassOnRandomVolumesAtEveryStep) {
  const int steps[][3] = {{1, 1, 1}, {2, 2, 1}, {3, 2, 1}, {4, 4, 1}, {2, 3, 2}};
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const int d1 = 4 + seed % 5, d2 = 3 + seed % 4, d3 = 2 + seed % 3;
    auto v = MakeVolume(d1, d2, d3, volume_test::Noise(d1 * d2 * d3, seed, -30, 30 + static_cast<int>(seed)), 0.0f);
    for (const auto& s : steps) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " steps " + std::to_string(s[0]) + std::to_string(s[1]) +
                   std::to_string(s[2]));
      Sd_IsoSurface list;
      ASSERT_EQ(v->BuildIsoSurface(&list, v->GetSampleIsoValue(), d1, d2, v->GetSlices(), s[0], s[1], s[2]), 0);
      ExpectSameSurface(list, PlainExtraction(*v, v->GetSampleIsoValue(), s[0], s[1], s[2]));
      EXPECT_EQ(v->GetTriangleCount(), static_cast<int>(list.TriangleCount()));
    }
  }
  // Long rows with stretches all below, all above and cut (taken a stretch
  // at a time where nothing is cut).
  auto ball = MakeVolume(9, 70, 7, volume_test::Ball(9, 70, 7, 4.0, 40.0, 3.0, 14.0, 9.0), 0.0f);
  for (const auto& s : steps) {
    Sd_IsoSurface list;
    ASSERT_EQ(ball->BuildIsoSurface(&list, ball->GetSampleIsoValue(), 9, 70, ball->GetSlices(), s[0], s[1], s[2]), 0);
    ASSERT_GT(list.TriangleCount(), 0u);
    ExpectSameSurface(list, PlainExtraction(*ball, ball->GetSampleIsoValue(), s[0], s[1], s[2]));
  }
}

// Workers in uneven shares (runs of one or a few layers, the last plane of
// one run the first of the next, a list that already holds a surface) give
// the very list of one thread: the same vertices in the same order, bit for
// bit, the same references and the same triangles.
TEST(IsoSurface, SeveralWorkersGiveTheListOfOneThread) {
  const int d1 = 13, d2 = 11, d3 = 17;
  std::vector<signed char> samples = volume_test::Noise(d1 * d2 * d3, 7, -40, 60);
  const std::vector<signed char> ball = volume_test::Ball(d1, d2, d3, 6, 5, 8, 5.5, 12.0);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<signed char>(i % 3 ? ball[i] : samples[i]);
  auto v = MakeVolume(d1, d2, d3, samples, 0.0f);
  for (int step : {1, 2}) {
    SCOPED_TRACE("step " + std::to_string(step));
    Sd_IsoSurface one, many;
    {
      orvanta_test::WorkerLimit limit(1, 0);
      ASSERT_EQ(v->BuildIsoSurface(&one, v->GetSampleIsoValue(), d1, d2, v->GetSlices(), 1, 1, 1), 0);
      ASSERT_EQ(v->BuildIsoSurface(&one, v->GetSampleIsoValue(), d1, d2, v->GetSlices(), step, step, 1), 0);
    }
    const int triangles = v->GetTriangleCount();
    {
      orvanta_test::WorkerLimit limit(3, 16);
      ASSERT_EQ(v->BuildIsoSurface(&many, v->GetSampleIsoValue(), d1, d2, v->GetSlices(), 1, 1, 1), 0);
      ASSERT_EQ(v->BuildIsoSurface(&many, v->GetSampleIsoValue(), d1, d2, v->GetSlices(), step, step, 1), 0);
    }
    EXPECT_EQ(v->GetTriangleCount(), triangles);
    ASSERT_GT(one.TriangleCount(), 100u);
    ASSERT_EQ(many.VertexCount(), one.VertexCount());
    ASSERT_EQ(many.TriangleCount(), one.TriangleCount());
    for (size_t i = 0; i < one.VertexCount(); ++i) {
      const Sd_IsoVertex &a = one.Vertex(i), &b = many.Vertex(i);
      ASSERT_EQ(std::memcmp(a.position, b.position, sizeof a.position), 0) << i;
      ASSERT_EQ(std::memcmp(a.normal, b.normal, sizeof a.normal), 0) << i;
      ASSERT_EQ(a.colour, b.colour) << i;
      ASSERT_EQ(a.refs, b.refs) << i;
    }
    for (size_t t = 0; t < one.TriangleCount(); ++t) {
      for (int n = 0; n < 3; ++n) ASSERT_EQ(many.Triangle(t).v[n], one.Triangle(t).v[n]) << t;
    }
  }
  // A worker that throws (memory running out there) fails the extraction:
  // the list is left empty.
  orvanta_test::WorkerLimit limit(3, 16);
  orvanta_test::MessageCapture messages;
  const int before = sv_workers::SetFailingShare(1);
  Sd_IsoSurface failed;
  EXPECT_EQ(v->BuildIsoSurface(&failed, v->GetSampleIsoValue(), d1, d2, v->GetSlices(), 1, 1, 1), -1);
  sv_workers::SetFailingShare(before);
  EXPECT_EQ(failed.TriangleCount(), 0u);
  EXPECT_EQ(failed.VertexCount(), 0u);
  EXPECT_TRUE(messages.Contains("Allocating memory chunk for pointlinks!"));
}

}  // namespace
