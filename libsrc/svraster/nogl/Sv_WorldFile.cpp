#include "Sv_WorldFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_ImageFormat.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"

namespace {

constexpr size_t kMaxWorldFileBytes = 4096;

// The world file beside the image; null when there is none or it is not a
// regular file (a named pipe or a device is refused at once, with its
// message).
FILE* OpenWorldFile(const char* imagePath) {
  static const char* const kExtensions[] = {".tfw", ".TFW"};
  for (const char* extension : kExtensions) {
    char* name = Sv_UtlReplaceExtension(imagePath, extension);
    errno = 0;
    FILE* f = name ? Sv_UtlOpenForReading(name, SV_LEVEL_DEBUG) : nullptr;
    const bool refused = !f && errno == EINVAL;
    std::free(name);
    if (f || refused) return f;
  }
  return nullptr;
}

}  // namespace

char* Sv_WorldFileName(const char* imagePath) {
  return imagePath ? Sv_UtlReplaceExtension(imagePath, ".tfw") : nullptr;
}

int Sv_ReadWorldFile(const char* imagePath, int width, int height, double extent[4]) {
  static const char* kWho = "Sv_ReadWorldFile";
  if (!imagePath || width < 1 || height < 1) return -1;
  FILE* f = OpenWorldFile(imagePath);
  if (!f) return -1;
  char text[kMaxWorldFileBytes + 1];
  const size_t n = std::fread(text, 1, sizeof text, f);
  std::fclose(f);
  if (n > kMaxWorldFileBytes) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "World file of %s is longer than 4 KiB", imagePath);
    return -1;
  }
  text[n] = '\0';
  // A, D, B, E, C, F
  double v[6];
  const char* p = text;
  for (double& value : v) {
    char* end = nullptr;
    value = std::strtod(p, &end);
    if (end == p || !std::isfinite(value)) {
      Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "World file of %s does not hold six numbers", imagePath);
      return -1;
    }
    p = end;
  }
  const double a = v[0], d = v[1], b = v[2], e = v[3], c = v[4], f0 = v[5];
  if (a * e - b * d == 0.0) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "World file of %s gives pixels without area", imagePath);
    return -1;
  }
  // The outer corners of the image lie half a pixel beyond the centres of
  // the corner pixels.
  const double corners[4][2] = {{-0.5, -0.5}, {width - 0.5, -0.5}, {-0.5, height - 0.5}, {width - 0.5, height - 0.5}};
  double box[4] = {HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
  for (const auto& corner : corners) {
    const double x = a * corner[0] + b * corner[1] + c;
    const double y = d * corner[0] + e * corner[1] + f0;
    box[0] = std::fmin(box[0], x);
    box[1] = std::fmax(box[1], x);
    box[2] = std::fmin(box[2], y);
    box[3] = std::fmax(box[3], y);
  }
  for (int i = 0; i < 4; ++i) {
    if (!std::isfinite(box[i])) return -1;
    extent[i] = box[i];
  }
  return 0;
}

int Sv_WriteWorldFile(const char* imagePath, int width, int height, const double extent[4]) {
  static const char* kWho = "Sv_WriteWorldFile";
  char* name = Sv_WorldFileName(imagePath);
  if (!name || width < 1 || height < 1) {
    std::free(name);
    return -1;
  }
  const double a = (extent[1] - extent[0]) / width;
  const double e = -(extent[3] - extent[2]) / height;
  Sv_AtomicFile out;
  FILE* f = out.Open(name, 0);
  const int ok = f && std::fprintf(f, "%.17g\n0\n0\n%.17g\n%.17g\n%.17g\n", a, e, extent[0] + a / 2,
                                   extent[3] + e / 2) > 0 &&
                 out.Commit() == 0;
  if (!ok) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWho, "Could not write world file %s", name);
    std::free(name);
    return -1;
  }
  std::free(name);
  return 0;
}
