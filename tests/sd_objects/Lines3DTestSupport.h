#ifndef ORVANTA_TESTS_SD_LINES3DTESTSUPPORT_H
#define ORVANTA_TESTS_SD_LINES3DTESTSUPPORT_H

// Line sets, their files and a record of what a drawing emits, shared by the
// 3-D lines tests (also included by the drawing and main-window tests).

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Sd_Lines3D.h"
#include "Sv_HersheyFont.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace lines_test {

// Vertices as {x, y, z} triples.
using Points = std::vector<std::vector<double>>;

inline void Add(Sd_Lines3D* lines, const Points& p) {
  std::vector<double> x, y, z;
  for (const auto& v : p) {
    x.push_back(v[0]);
    y.push_back(v[1]);
    z.push_back(v[2]);
  }
  lines->AddLine(static_cast<int>(p.size()), x.data(), y.data(), z.data());
}

inline void AddLabelled(Sd_Lines3D* lines, const Points& p, std::initializer_list<double> positions,
                        std::initializer_list<const char*> texts) {
  std::vector<double> x, y, z, at(positions);
  std::vector<const char*> t(texts);
  for (const auto& v : p) {
    x.push_back(v[0]);
    y.push_back(v[1]);
    z.push_back(v[2]);
  }
  lines->AddLabelledLine(static_cast<int>(p.size()), x.data(), y.data(), z.data(), static_cast<int>(at.size()),
                         at.data(), t.data());
}

// The vertices of a line as {x, y, z} triples.
inline Points Vertices(const Sd_Lines3D::Line& line) {
  Points out;
  for (int i = 0; i < line.VertexCount(); ++i) {
    out.push_back({line.Vertex(i)[0], line.Vertex(i)[1], line.Vertex(i)[2]});
  }
  return out;
}

// Writes the objects into an SD file in the given byte order; true on success.
inline bool WriteSD(const std::string& path, std::initializer_list<Sd_Node*> objects, int order = 1) {
  TDR_Manager m;
  bool ok = m.OpenFile(path.c_str(), "wb") == 0;
  m.SetByteOrder(order);
  ok = ok && m.WriteHeader() == 0;
  for (Sd_Node* o : objects) ok = ok && o->SaveObject(&m, 1, 0) == 0;
  ok = ok && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  return m.CloseFile() == 0 && ok;
}

// The objects an SD file gives, in a tree that goes with this.
struct Loaded : sd_io_test::LoadedFile {
  using LoadedFile::LoadedFile;
  // Child i as a line set, or null.
  Sd_Lines3D* Lines(size_t i) const {
    const std::vector<Sd_Node*> kids = Kids();
    return i < kids.size() ? dynamic_cast<Sd_Lines3D*>(kids[i]) : nullptr;
  }
};

// Stroke font of the labels built in, while it lives.
struct BuiltInFont {
  BuiltInFont() { Sv_HersheySetBuiltIn(1); }
  ~BuiltInFont() { Sv_HersheySetBuiltIn(0); }
  BuiltInFont(const BuiltInFont&) = delete;
  BuiltInFont& operator=(const BuiltInFont&) = delete;
};

// What a drawing emits, as text: per line "L<first vertex x>", strips as
// "S(v v v)", triangles as "T(v v v ...)" and labels as "#<label>".
class RecordingSink : public Sd_LinesSink {
 public:
  void BeginLine(const Sd_Lines3D::Line& line) override {
    text += " L" + std::to_string(static_cast<int>(line.Vertex(0)[0]));
    ++lines;
  }
  void BeginStrip() override { text += " S("; }
  void BeginTriangles() override { text += " T("; }
  void Vertex(int index) override { text += (text.back() == '(' ? "" : " ") + std::to_string(index); }
  void End() override { text += ")"; }
  void Label(int l) override { text += " #" + std::to_string(l); }
  std::string text;
  int lines = 0;
};

}  // namespace lines_test

#endif
