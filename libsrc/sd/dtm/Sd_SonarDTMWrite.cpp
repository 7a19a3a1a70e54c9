// Terrain files of the non-contiguous DTM: its float heights as a
// stand-alone scalar file ('.dtm' or '.scalar') and its bounds as a
// georeference file ('.geo').
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include "Sd_SonarDTM.h"
#include "Sv_Debug.h"
#include "Sv_Stdlib.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Turns heights into scalar-file codes for one pair of z bounds; the
// constants are worked out once per file, not per node.
class HeightCoder {
 public:
  HeightCoder(float zmin, float zmax) : m_zmin(zmin), m_zmax(zmax) {
    // The float grid's heights carry single-precision rounding: its top
    // code may come out a few units in the last place above zmax.
    const float tolerance = 4.0f * FLT_EPSILON * std::max(std::fabs(zmin), std::fabs(zmax));
    m_lo = zmin - tolerance;
    m_hi = zmax + tolerance;
    const float range = zmax - zmin;  // single precision, as the format defines it
    m_flat = !(range > 0.0f);
    m_scale = m_flat ? 0.0 : 65534.0 / static_cast<double>(range);
  }

  unsigned short operator()(float h) const {
    unsigned short code;
    Row(&h, 1, &code);
    return code;
  }

  // Written without branches, so that the compiler can do several nodes at
  // once: a file of millions of nodes is bound by this loop otherwise.
  void Row(const float* heights, int n, unsigned short* codes) const {
    const double zmin = m_zmin, scale = m_scale, top = m_flat ? 1.0 : 65535.0;
    const float zmax = m_zmax, lo = m_lo, hi = m_hi;
    for (int i = 0; i < n; ++i) {
      const float h = heights[i];
      double v = (static_cast<double>(h) - zmin) * scale + 1.0;
      v = v >= 1.0 ? v : 1.0;  // also takes NaN to 1
      v = v > 65535.0 ? 65535.0 : v;
      v = h >= zmax ? top : v;
      // Outside the bounds, the no-value marker and NaN fail the test.
      const int value = (h >= lo) & (h <= hi);
      codes[i] = static_cast<unsigned short>(static_cast<int>(v) & -value);
    }
  }

 private:
  float m_zmin, m_zmax, m_lo, m_hi;
  bool m_flat;
  double m_scale;
};

// Writes a file of the text header, one record of the given tag (its
// payload from payload()) and the end tag at path, atomically. -1 after
// openMessage when the file cannot be started, after writeMessage when a
// write or the commit fails (the old file stays, no temporary is left).
int WriteRecordFile(const char* path, int tag, short tagVersion, const std::function<bool(TDR_Manager&)>& payload,
                    const char* openMessage, const char* writeMessage) {
  TDR_Manager manager;
  if (manager.OpenFile(path, "wb") != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, openMessage, path);
    return -1;
  }
  const bool ok = manager.WriteHeader() == 0 && manager.WriteTag(tag, tagVersion, 0, 0, 1) == 0 && payload(manager) &&
                  manager.EndTag() == 0 && manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  if (!ok) manager.DiscardFile();
  if (!ok || manager.CloseFile() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, writeMessage, path);
    return -1;
  }
  return 0;
}

// A new name with the extension replaced; null for a null or empty name
// (which would otherwise become a hidden file named by the extension).
struct RenamedPath {
  char* path;
  RenamedPath(const char* name, const char* extension)
      : path(name && *name ? Sv_UtlReplaceExtension(name, extension) : nullptr) {}
  ~RenamedPath() { free(path); }
  RenamedPath(const RenamedPath&) = delete;
  RenamedPath& operator=(const RenamedPath&) = delete;
};

}  // namespace

unsigned short Sd_SonarDTM::HeightFileCode(float h, float zmin, float zmax) { return HeightCoder(zmin, zmax)(h); }

int Sd_SonarDTM::WriteDTMFile(const char* name) {
  RenamedPath file(name, ".dtm");
  return OutputDTM(file.path);
}

int Sd_SonarDTM::WriteScalarFile(const char* name) {
  RenamedPath file(name, ".scalar");
  return OutputDTM(file.path);
}

int Sd_SonarDTM::OutputDTM(const char* path) {
  static const char* const kOpenFailed = "ERROR: OutputDTM: Opening file";
  if (!path || !*path) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kOpenFailed);
    return -1;
  }
  // The heights come from the float grid; a terrain that has none yet
  // gets it from its codes.
  if (!FloatGridFits() && MakeFloatGrid() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: OutputDTM: No heights to write", path);
    return -1;
  }
  const int rows = GetRows(), cols = GetCols();
  // The payload length is a 32-bit field.
  if (2LL * rows * cols > INT_MAX - 4096LL) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: OutputDTM: Grid too large for one record", path);
    return -1;
  }
  const float zmin = m_bounds[4], zmax = m_bounds[5];
  const HeightCoder coder(zmin, zmax);
  // Rows go out in blocks of about 256 KiB, not one write per row.
  const int blockRows = std::max(1, std::min(rows, (1 << 17) / cols));
  std::vector<unsigned short> codes(static_cast<size_t>(blockRows) * cols);
  // Codes 1 ... 65535 span zmin ... zmax, whatever codes the terrain itself
  // uses, so the words name that span.
  const unsigned short words[2] = {1, 65535};
  auto payload = [&](TDR_Manager& manager) {
    if (WriteCodeGridHead(&manager, rows, cols, zmin, zmax, words) != 0) return false;
    TDR_PayloadWriter out(&manager);
    for (int r = 0; r < rows && out.Ok(); r += blockRows) {
      const int n = std::min(blockRows, rows - r);
      for (int k = 0; k < n; ++k) coder.Row(m_floatGrid[r + k], cols, codes.data() + static_cast<size_t>(k) * cols);
      out.Write(codes.data(), 2, n * cols);
    }
    return out.Ok();
  };
  return WriteRecordFile(path, TDR_TAG_SCALAR, 2, payload, kOpenFailed, "ERROR: OutputDTM: Writing file");
}

int Sd_SonarDTM::WriteGeoFile(const char* name) {
  RenamedPath file(name, ".geo");
  if (!file.path) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Opening geo file for writing  -  ");
    return -1;
  }
  TDR_GeoRef geo;
  geo.SetBounds(m_bounds);
  geo.SetColorResolution(0.0f);
  return WriteRecordFile(
      file.path, TDR_TAG_GEOREF, 1, [&geo](TDR_Manager& manager) { return geo.Write(&manager) == 0; },
      "ERROR:  Opening geo file for writing  -  ", "ERROR:  Writing geo file  -  ");
}
