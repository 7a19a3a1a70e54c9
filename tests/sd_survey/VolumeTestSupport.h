#ifndef ORVANTA_TESTS_SD_SURVEY_VOLUMETESTSUPPORT_H
#define ORVANTA_TESTS_SD_SURVEY_VOLUMETESTSUPPORT_H

// Scalar volumes for the tests (also used by the drawing tests in
// sd_survey_gl and the viewer tests): sample grids, and scenes whose volume
// is a file-pointer record naming a volume data file, written with the
// project's writers in either byte order.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Sd_Volume.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace volume_test {

// dim3 slices of dim1 x dim2 samples (slice after slice, rows of dim2): a
// ball around sample (ci, cj, ck) of the file's slices, the value falling
// by slope per sample of distance and crossing 0 at radius, clamped to the
// signed byte range.
inline std::vector<signed char> Ball(int dim1, int dim2, int dim3, double ci, double cj, double ck, double radius,
                                     double slope) {
  std::vector<signed char> s;
  s.reserve(static_cast<size_t>(dim1) * dim2 * dim3);
  for (int k = 0; k < dim3; ++k) {
    for (int i = 0; i < dim1; ++i) {
      for (int j = 0; j < dim2; ++j) {
        const double d = std::sqrt((i - ci) * (i - ci) + (j - cj) * (j - cj) + (k - ck) * (k - ck));
        s.push_back(static_cast<signed char>(std::clamp(std::lround(slope * (radius - d)), -128L, 127L)));
      }
    }
  }
  return s;
}

// Samples drawn evenly from lo ... hi by a fixed generator.
inline std::vector<signed char> Noise(int count, uint32_t seed, int lo, int hi) {
  std::vector<signed char> s(static_cast<size_t>(count));
  for (signed char& v : s) {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<signed char>(lo + static_cast<int>((seed >> 8) % static_cast<uint32_t>(hi - lo + 1)));
  }
  return s;
}

// The volume data file of volume in the byte order: header, the object
// record with the samples, end tag.
inline bool WriteDataFile(Sd_Volume& volume, const std::string& path, int order = 1) {
  TDR_Manager m;
  m.SetByteOrder(order);
  return m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && volume.SaveDataRecords(&m) == 0 &&
         m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
}

// A scene file holding volume as a file-pointer record naming dataPath,
// then its common tags and settings (withGeoref) or its settings record
// alone, in the byte order.
inline bool WriteScene(Sd_Volume& volume, const std::string& path, const std::string& dataPath, int order = 1,
                       bool withGeoref = true) {
  TDR_Manager m;
  m.SetByteOrder(order);
  bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 &&
            m.WriteTag(TDR_TAG_SD_VOLUME, 1, 0, 1, 1) == 0 && m.WriteFilePointerString(dataPath.c_str()) == 0 &&
            m.EndTag() == 0;
  if (withGeoref) {
    ok = ok && volume.WriteCommonTags(&m) == 0;
  } else {
    ok = ok && m.WriteTag(TDR_TAG_SD_VOLUME_ATB, 1, 0, 0, 1) == 0;
    TDR_PayloadWriter out(&m);
    out.Int32(volume.GetStep());
    out.Float32(volume.GetSampleIsoValue());
    for (int i = 0; i < 4; ++i) out.Float32(volume.GetVectorParam(i));
    out.Int32(volume.GetModeFlag());
    ok = ok && out.Ok() && m.EndTag() == 0;
  }
  return ok && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
}

}  // namespace volume_test

#endif
