#ifndef ORVANTA_TESTS_SD_DTM_DTMTESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_DTMTESTSUPPORT_H

// Synthetic terrain grids and file writers shared by the terrain tests (also
// included by the drawing tests in sd_dtm_gl).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Sd_BasicDTM.h"
#include "Sd_DTMClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TDR_Colormap.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TestSupport.h"

namespace dtm_test {

// Bounds of the test terrains: x 1000 ... 2000, y 5000 ... 6000, z 0 ... 100.
constexpr float kXMin = 1000.0f, kXMax = 2000.0f, kYMin = 5000.0f, kYMax = 6000.0f;
constexpr float kZMin = 0.0f, kZMax = 100.0f;

// A round hill in the middle of the grid: code 1 at the rim, 65535 on top.
inline unsigned short HillCode(int r, int c, int rows, int cols) {
  const double x = static_cast<double>(c) / (cols - 1) - 0.5;
  const double y = static_cast<double>(r) / (rows - 1) - 0.5;
  const double h = std::exp(-(x * x + y * y) / (2.0 * 0.18 * 0.18));
  return static_cast<unsigned short>(1.0 + 65534.0 * h);
}

// A plane rising along +x: code 1 at column 0, 65535 at the last column.
inline unsigned short RampCode(int, int c, int, int cols) {
  return static_cast<unsigned short>(1.0 + 65534.0 * c / (cols - 1));
}

// A uniform DTM of rows x cols nodes with the test bounds, its heights from
// fn and every colour grey 200.
inline std::unique_ptr<Sd_BasicDTM> MakeDTM(int rows, int cols,
                                            unsigned short (*fn)(int, int, int, int) = HillCode) {
  std::unique_ptr<Sd_BasicDTM> dtm(new Sd_BasicDTM());
  if (dtm->CreateGrids(rows, cols) != 0) return nullptr;
  unsigned short** h = dtm->GetElevationGrid();
  unsigned int** col = dtm->GetColorGrid();
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      h[r][c] = fn(r, c, rows, cols);
      col[r][c] = PackColour(200, 200, 200, 255);
    }
  }
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, kXMin, kXMax);
  dtm->SetBounds(1, kYMin, kYMax);
  dtm->SetBounds(2, kZMin, kZMax);
  return dtm;
}

// A colour-map file in which every entry is the same colour.
inline bool WriteFlatColormap(const std::string& path, unsigned r, unsigned g, unsigned b) {
  std::vector<unsigned> colours(256, PackColour(r, g, b, 255));
  return TDR_UtlWriteColormap(path.c_str(), colours.data()) == 0;
}

// A colour-map file whose entry i is (i, 255 - i, 0).
inline bool WriteRampColormap(const std::string& path) {
  std::vector<unsigned> colours(256);
  for (unsigned i = 0; i < 256; ++i) colours[i] = PackColour(i, 255 - i, 0, 255);
  return TDR_UtlWriteColormap(path.c_str(), colours.data()) == 0;
}

// Collects every message sent while it lives: warnings and errors through
// the message callback, debug messages (which always go to the error
// stream) from that stream.
class Messages {
 public:
  Messages() : m_capture(-1) { testing::internal::CaptureStderr(); }
  ~Messages() { Take(); }
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;
  std::string All() {
    Take();
    return m_stderr + m_capture.All();
  }
  bool Contains(const std::string& fragment) { return All().find(fragment) != std::string::npos; }
  // The debug messages only.
  const std::string& Debug() {
    Take();
    return m_stderr;
  }
  // How many callback messages of the given level had exactly this text.
  int Count(int level, const std::string& text) const {
    int n = 0;
    for (const auto& m : m_capture.messages()) n += m.first == level && m.second == text;
    return n;
  }
  // The same for texts that start with text.
  int CountStarting(int level, const std::string& text) const {
    int n = 0;
    for (const auto& m : m_capture.messages()) n += m.first == level && m.second.compare(0, text.size(), text) == 0;
    return n;
  }

 private:
  void Take() {
    if (m_taken) return;
    m_taken = true;
    m_stderr = testing::internal::GetCapturedStderr();
  }
  orvanta_test::MessageCapture m_capture;
  bool m_taken = false;
  std::string m_stderr;
};

inline int Brightness(unsigned colour) {
  return static_cast<int>(ColourRed(colour) + ColourGreen(colour) + ColourBlue(colour));
}

// Writes a TDR file record by record; Close writes the end tag.
class SDWriter {
 public:
  explicit SDWriter(const std::string& path, int byteOrder = 1) {
    m_manager.SetByteOrder(byteOrder);
    m_ok = m_manager.OpenFile(path.c_str(), "wb") == 0 && m_manager.WriteHeader() == 0;
  }
  TDR_Manager* Manager() { return &m_manager; }
  SDWriter& Object(Sd_Node* node) {
    m_ok = m_ok && node->SaveObject(&m_manager, 1, 0) == 0;
    return *this;
  }
  // A record with the given payload bytes.
  SDWriter& Raw(int tag, const std::string& payload, short version = 1) {
    m_ok = m_ok && m_manager.WriteTag(tag, version, 0, 0, 1) == 0;
    if (!payload.empty()) {
      m_ok = m_ok && TDR_PayloadWriter(&m_manager).Bytes(payload.data(), static_cast<int>(payload.size()));
    }
    m_ok = m_ok && m_manager.EndTag() == 0;
    return *this;
  }
  // The elevation record of dtm.
  SDWriter& Elevations(Sd_BaseDTM* dtm) {
    m_ok = m_ok && m_manager.WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && dtm->SaveElevations(&m_manager) == 0 &&
           m_manager.EndTag() == 0;
    return *this;
  }
  // The colour record of dtm.
  SDWriter& Colors(Sd_BaseDTM* dtm) {
    m_ok = m_ok && dtm->SaveColors(&m_manager) == 0;
    return *this;
  }
  // A hand-made scalar record: a descriptor of the given element type and
  // dimensions (fastest-varying first), with the value range lo ... hi when
  // lo < hi, then the given bytes.
  SDWriter& Scalar(int type, std::initializer_list<int> dims, const std::string& body, double lo = 0.0,
                   double hi = 0.0) {
    TDR_Scalar scalar;
    scalar.SetNumDimensions(static_cast<int>(dims.size()));
    int axis = 0;
    for (int n : dims) scalar.SetDimension(++axis, n);
    scalar.SetDataType(type);
    if (lo < hi) scalar.SetRange(lo, hi);
    m_ok = m_ok && m_manager.WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && scalar.Write(&m_manager) == 0 &&
           TDR_PayloadWriter(&m_manager).Bytes(body.data(), static_cast<int>(body.size())) &&
           m_manager.EndTag() == 0;
    return *this;
  }
  bool Close() {
    m_ok = m_ok && m_manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
    return m_manager.CloseFile() == 0 && m_ok;
  }

 private:
  TDR_Manager m_manager;
  bool m_ok = false;
};

// Bytes of a value, for hand-made payloads.
template <class T>
std::string Bytes(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
}

// An SD file holding the objects of the given nodes.
inline bool WriteSD(const std::string& path, std::initializer_list<Sd_Node*> nodes, int byteOrder = 1) {
  SDWriter w(path, byteOrder);
  for (Sd_Node* node : nodes) w.Object(node);
  return w.Close();
}

// A terrain object record of the given tag version (version 0 starts with
// its format word 1.0) holding payload, then the two grid records of dtm,
// without common tags.
inline SDWriter& WriteGridRecords(SDWriter& w, int objectTag, Sd_BaseDTM* dtm, short objectVersion = 1,
                                  const std::string& payload = "") {
  return w.Raw(objectTag, (objectVersion == 0 ? Bytes(1.0f) : std::string()) + payload, objectVersion)
      .Elevations(dtm)
      .Colors(dtm);
}

// Payload of a terrain settings record: draw mode, alpha, stride, automatic
// detail and a spare word; version 0 starts with its format word 2.0.
inline std::string Settings(int version, short mode, int alpha, int step, int autoLod) {
  std::string p;
  if (version == 0) p += Bytes(2.0f);
  p += Bytes(mode) + Bytes(alpha) + Bytes(step) + Bytes(autoLod) + Bytes(0);
  return p;
}

// Opens a file and reads its header and first tag.
inline std::unique_ptr<TDR_Manager> OpenAtFirstTag(const std::string& path, int* tag) {
  std::unique_ptr<TDR_Manager> m(new TDR_Manager());
  if (m->OpenFile(path.c_str(), "rb") != 0 || m->ReadHeader() != 0) return nullptr;
  *tag = m->ReadTag(nullptr);
  return m;
}

// An n x n hill (HillCode) shaded at the default sun through a colour map
// of one grey (written to cmap), stored in an SD file at path.
inline bool WriteShadedHill(const std::string& path, const std::string& cmap, unsigned grey, int n) {
  if (!WriteFlatColormap(cmap, grey, grey, grey)) return false;
  auto hill = MakeDTM(n, n);
  const float* d = hill->GetShadingParameters();
  hill->ShadeWithColorMap(d[0], d[1], d[2], d[3], d[4], d[5], 0.0, 1.0, cmap.c_str());
  return WriteSD(path, {hill.get()});
}

// An SD file read through the object factory into a fresh root (which may
// be given the parent-frame flag first); the result owns what was read.
struct ReadResult {
  Sd_Parent* root = new Sd_Parent();
  std::vector<Sd_Node*> children;
  ReadResult() = default;
  ReadResult(const ReadResult&) = delete;
  ReadResult& operator=(const ReadResult&) = delete;
  ~ReadResult() { Sd_GroupNode::DeleteTree(root); }
  // Top-level object i as a terrain of the given class; null when it is none.
  template <class DTM = Sd_BasicDTM>
  DTM* Terrain(size_t i) const {
    return i < children.size() ? dynamic_cast<DTM*>(children[i]) : nullptr;
  }
};

inline std::unique_ptr<ReadResult> ReadSD(const std::string& path, int parentFrame = 0) {
  EXPECT_EQ(Sd_RegisterTerrainClasses(), 0);
  std::unique_ptr<ReadResult> result(new ReadResult());
  result->root->SetParentFrame(parentFrame);
  Sd_IOSupport(result->root).ReadSDFile(path.c_str());
  for (Sd_Node* c = result->root->GetFirstChild(); c && result->children.size() < 100; c = c->GetNext()) {
    result->children.push_back(c);
  }
  return result;
}

// Settings unlike the defaults, for round trips through a file.
template <class DTM>
void SetRoundTripSettings(DTM* dtm) {
  dtm->SetDrawMode(0);
  dtm->SetAlpha(77);
  dtm->SetLODStep(6);
  dtm->SetAutoLOD(0);
}

// The settings of SetRoundTripSettings and the test bounds.
inline void ExpectRoundTripSettings(Sd_GridDTM* dtm) {
  EXPECT_EQ(dtm->GetDrawMode(), 0);
  EXPECT_EQ(dtm->GetAlpha(), 77);
  EXPECT_EQ(dtm->GetLODStep(), 6);
  EXPECT_EQ(dtm->GetAutoLOD(), 0);
  EXPECT_FLOAT_EQ(dtm->GetBounds(0)[1], kXMax);
  EXPECT_FLOAT_EQ(dtm->GetBounds(1)[0], kYMin);
  EXPECT_FLOAT_EQ(dtm->GetBounds(2)[1], kZMax);
}

// Records the calls of the query callback.
struct QueryLog {
  int calls = 0;
  double x = 0, y = 0, value = 0;
  int user = 0;
  unsigned colour = 0;
  static void Callback(double x, double y, double value, int user, SDN_PickOut* out, void* data) {
    QueryLog* log = static_cast<QueryLog*>(data);
    ++log->calls;
    log->x = x;
    log->y = y;
    log->value = value;
    log->user = user;
    log->colour = out ? out->colour : 0;
  }
};

}  // namespace dtm_test

#endif
