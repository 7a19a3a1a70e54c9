#ifndef ORVANTA_TESTS_SD_DTM_DTMTESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_DTMTESTSUPPORT_H

// Synthetic terrain grids and file writers shared by the terrain tests (also
// included by the drawing tests in sd_dtm_gl).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Sd_BasicDTM.h"
#include "Sd_DTMClasses.h"
#include "TDR_Colormap.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
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

}  // namespace dtm_test

#endif
