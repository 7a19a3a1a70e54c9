#ifndef ORVANTA_TESTS_SD_SOLIDTESTSUPPORT_H
#define ORVANTA_TESTS_SD_SOLIDTESTSUPPORT_H

// Solid models made in code and record payloads written byte by byte,
// shared by the solids tests (also the drawing, main-window and benchmark
// programs).

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Sd_SolidModel.h"

namespace solid_test {

using Face = Sd_SolidModel::Face;
constexpr unsigned short kNone = Sd_SolidModel::kNoTexture;

// A triangle whose corners share one normal, without texture coordinates.
inline Face Triangle(int a, int b, int c, int normal, int material = 0) {
  const unsigned short n = static_cast<unsigned short>(normal);
  return {a, b, c, {n, n, n}, {kNone, kNone, kNone}, static_cast<unsigned short>(material)};
}

// A model with one material of the given diffuse colour (ambient a third
// of it, no specular), opaque.
inline std::unique_ptr<Sd_SolidModel> Model(const std::vector<double>& xyz, const std::vector<float>& normals,
                                            const std::vector<Face>& faces, unsigned char r = 220,
                                            unsigned char g = 220, unsigned char b = 220) {
  auto model = std::make_unique<Sd_SolidModel>();
  const unsigned char ambient[4] = {static_cast<unsigned char>(r / 3), static_cast<unsigned char>(g / 3),
                                    static_cast<unsigned char>(b / 3), 255};
  const unsigned char diffuse[4] = {r, g, b, 255};
  const unsigned char specular[4] = {0, 0, 0, 255};
  model->AddMaterial("Test", ambient, diffuse, specular, 0, 0);
  model->SetGeometry(static_cast<int>(xyz.size() / 3), xyz.data(), static_cast<int>(normals.size() / 3),
                     normals.data(), 0, nullptr, static_cast<int>(faces.size()), faces.data());
  return model;
}

// An axis-aligned box between lo and hi: 12 triangles with outward normals.
inline std::unique_ptr<Sd_SolidModel> Box(const double lo[3], const double hi[3], unsigned char r = 220,
                                          unsigned char g = 220, unsigned char b = 220) {
  std::vector<double> v;
  for (int i = 0; i < 8; ++i) {
    v.push_back(i & 1 ? hi[0] : lo[0]);
    v.push_back(i & 2 ? hi[1] : lo[1]);
    v.push_back(i & 4 ? hi[2] : lo[2]);
  }
  const std::vector<float> n = {-1, 0, 0, 1, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, -1, 0, 0, 1};
  // Each side: its four corners (bit 0 x, bit 1 y, bit 2 z) and its normal.
  const int sides[6][4] = {{0, 2, 6, 4}, {1, 3, 7, 5}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 5, 7, 6}};
  std::vector<Face> f;
  for (int s = 0; s < 6; ++s) {
    f.push_back(Triangle(sides[s][0], sides[s][1], sides[s][2], s));
    f.push_back(Triangle(sides[s][0], sides[s][2], sides[s][3], s));
  }
  return Model(v, n, f, r, g, b);
}

// Payload bytes in this machine's (little-endian) order, as a file of
// byte order 1 stores them.
struct Bytes {
  std::string s;
  template <typename T>
  Bytes& Put(T v) {
    s.append(reinterpret_cast<const char*>(&v), sizeof(v));
    return *this;
  }
  Bytes& I32(int v) { return Put(v); }
  Bytes& I16(int v) { return Put(static_cast<short>(v)); }
  Bytes& F32(float v) { return Put(v); }
  Bytes& F64(double v) { return Put(v); }
  Bytes& Raw(const std::string& text) {
    s += text;
    return *this;
  }
};

// The fields of a current-layout model record, written as they stand (so
// a test can make them hostile).
struct ModelRecord {
  std::vector<double> vertices;  // x, y, z each
  std::vector<float> normals;    // x, y, z each
  std::vector<float> texCoords;  // u, v each
  struct Material {
    int nameLength;    // as written
    std::string name;  // the bytes written
  };
  std::vector<Material> materials;
  std::vector<Face> faces;
  // Counts written in place of the arrays' sizes when not -1.
  int vertexCount = -1, faceCount = -1;

  std::string Payload() const {
    Bytes b;
    b.I32(vertexCount >= 0 ? vertexCount : static_cast<int>(vertices.size() / 3));
    for (double d : vertices) b.F64(d);
    b.I32(static_cast<int>(normals.size() / 3));
    for (float f : normals) b.F32(f);
    b.I32(static_cast<int>(texCoords.size() / 2));
    for (float f : texCoords) b.F32(f);
    b.I32(static_cast<int>(materials.size()));
    for (const Material& m : materials) {
      b.I32(m.nameLength).Raw(m.name);
      b.I32(0x40404040).I32(0x80C0C0C0).I32(0x20202020).F32(1.0f).I16(10).I16(0);
    }
    b.I32(faceCount >= 0 ? faceCount : static_cast<int>(faces.size()));
    for (const Face& f : faces) b.Raw(std::string(reinterpret_cast<const char*>(&f), sizeof(f)));
    b.I32(0);
    return b.s;
  }
};

// A current-layout record of one triangle: three vertices, one normal, one
// texture coordinate, one material named "A".
inline ModelRecord OneTriangle() {
  ModelRecord r;
  r.vertices = {0, 0, 0, 1, 0, 0, 0, 1, 1};
  r.normals = {0, 0, 1};
  r.texCoords = {0.5f, 0.5f};
  r.materials = {{2, std::string("A\0", 2)}};
  r.faces = {{0, 1, 2, {0, 0, 0}, {0, kNone, 0}, 0}};
  return r;
}

// An old-layout (format 2.0) payload after its version: vertices (x, y, z
// each, with a dropped word), then faces of n corners (the indices given)
// each with the face normal.
inline std::string OldModelPayload(const std::vector<float>& xyz, const std::vector<std::vector<int>>& faces,
                                   const std::vector<float>& normals, int faceCount = -1) {
  Bytes b;
  b.F32(2.0f).I32(static_cast<int>(xyz.size() / 3));
  for (size_t i = 0; i < xyz.size(); i += 3) b.F32(xyz[i]).F32(xyz[i + 1]).F32(xyz[i + 2]).I32(-7);
  b.I32(faceCount >= 0 ? faceCount : static_cast<int>(faces.size()));
  for (size_t i = 0; i < faces.size(); ++i) {
    b.I32(static_cast<int>(faces[i].size()));
    for (int v : faces[i]) b.I32(v);
    b.F32(normals[3 * i]).F32(normals[3 * i + 1]).F32(normals[3 * i + 2]);
  }
  return b.s;
}

}  // namespace solid_test

#endif
