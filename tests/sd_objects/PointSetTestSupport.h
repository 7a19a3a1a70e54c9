#ifndef ORVANTA_TESTS_SD_POINTSETTESTSUPPORT_H
#define ORVANTA_TESTS_SD_POINTSETTESTSUPPORT_H

// Point sets and active point sets, their files and raw records, shared by
// the point-set tests (also included by the drawing and main-window tests).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Sd_ActPoint3D.h"
#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Point3D.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace point_test {

// One point: position, value, and label and command (null: none).
struct Spec {
  double x, y, z, value;
  const char* label;
  const char* command;
};

// A set made by the array constructor: an active set when active, with
// values and labels when asked (commands always on an active set).
inline std::unique_ptr<Sd_Point3D> MakeSet(bool active, int dimension, const std::vector<Spec>& points,
                                           bool values = false, bool labels = false) {
  std::vector<std::vector<double>> xyz;
  std::vector<const double*> rows;
  std::vector<double> v;
  std::vector<const char*> l, c;
  for (const Spec& p : points) xyz.push_back({p.x, p.y, p.z});
  for (size_t i = 0; i < points.size(); ++i) {
    rows.push_back(xyz[i].data());
    v.push_back(points[i].value);
    l.push_back(points[i].label);
    c.push_back(points[i].command);
  }
  const int n = static_cast<int>(points.size());
  if (active) {
    return std::unique_ptr<Sd_Point3D>(new Sd_ActPoint3D(n, dimension, rows.data(), values ? v.data() : nullptr,
                                                         labels ? l.data() : nullptr, c.data()));
  }
  return std::unique_ptr<Sd_Point3D>(
      new Sd_Point3D(n, dimension, rows.data(), values ? v.data() : nullptr, labels ? l.data() : nullptr));
}

// Writes the objects (with their common tags, or without) into an SD file in
// the given byte order; true on success.
inline bool WriteSD(const std::string& path, std::initializer_list<Sd_Node*> objects, int order = 1,
                    int withCommonTags = 1) {
  TDR_Manager m;
  bool ok = m.OpenFile(path.c_str(), "wb") == 0;
  m.SetByteOrder(order);
  ok = ok && m.WriteHeader() == 0;
  for (Sd_Node* o : objects) ok = ok && o->SaveObject(&m, withCommonTags, 0) == 0;
  ok = ok && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  return m.CloseFile() == 0 && ok;
}

// Raw payload bytes, little-endian, for records the writers never make.
struct Bytes {
  std::string b;
  Bytes& I32(int32_t v) { return Raw(&v, 4); }
  Bytes& U16(uint16_t v) { return Raw(&v, 2); }
  Bytes& F32(float v) { return Raw(&v, 4); }
  Bytes& F64(double v) { return Raw(&v, 8); }
  Bytes& Text(const std::string& s) {
    b += s;
    return *this;
  }
  Bytes& Raw(const void* p, size_t n) {
    b.append(static_cast<const char*>(p), n);
    return *this;
  }
};

// The head of a point record: count, dimension, flags, bounds (x and y, then
// z for dimension 3) and the value range when there are values.
inline Bytes Head(int count, int dimension, int values, int labels, std::vector<double> bounds,
                  std::vector<double> range = {}) {
  Bytes p;
  p.I32(count).I32(dimension).I32(values).I32(labels);
  for (double b : bounds) p.F64(b);
  for (double r : range) p.F64(r);
  return p;
}

// A file of raw records (tag, version, payload) then the end tag.
struct RawRecord {
  int tag;
  short version;
  std::string payload;
};
inline bool WriteRaw(const std::string& path, std::initializer_list<RawRecord> records,
                     std::initializer_list<Sd_Node*> after = {}) {
  TDR_Manager m;
  bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0;
  for (const RawRecord& r : records) {
    ok = ok && m.WriteTag(r.tag, r.version, 0, 0, 1) == 0;
    if (!r.payload.empty())
      ok = ok && TDR_PayloadWriter(&m).Bytes(r.payload.data(), static_cast<int>(r.payload.size()));
    ok = ok && m.EndTag() == 0;
  }
  for (Sd_Node* o : after) ok = ok && o->SaveObject(&m, 1, 0) == 0;
  ok = ok && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  return m.CloseFile() == 0 && ok;
}

// A scene root whose tree goes with it; Read reads an SD file into it.
struct Scene {
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  ~Scene() { Sd_GroupNode::DeleteTree(root); }
  Sd_Node* Read(const std::string& path) { return Sd_IOSupport(root).ReadSDFile(path.c_str()); }
  std::vector<Sd_Node*> Children() const {
    std::vector<Sd_Node*> out;
    for (Sd_Node* c = root->GetFirstChild(); c && out.size() < 100; c = c->GetNext()) out.push_back(c);
    return out;
  }
};

// A fresh object of the class that read the first record of path with
// LoadObject alone; *result is what LoadObject returned (-2: no record).
template <class T>
std::unique_ptr<T> LoadFirst(const std::string& path, int* result) {
  std::unique_ptr<T> object(new T());
  *result = -2;
  TDR_Manager m;
  const int tag = object->className() == std::string("Sd_ActPoint3D") ? TDR_TAG_SD_ACTPOINT3D : TDR_TAG_SD_POINT3D;
  if (m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0 && m.ReadTag() == tag)
    *result = object->LoadObject(&m);
  return object;
}

// A 256-entry colour map, entry i = (i, 0, 255 - i), malloc'ed for SetColorMap.
inline unsigned* RampColourMap() {
  unsigned* map = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
  for (unsigned i = 0; i < 256; ++i) map[i] = PackColour(i, 0, 255 - i, 255);
  return map;
}

}  // namespace point_test

#endif
