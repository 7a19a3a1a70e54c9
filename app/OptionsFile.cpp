#include "OptionsFile.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "Sv_Debug.h"
#include "Sv_Stdio.h"

namespace {

// The longest file of either layout: the current one with the longest
// directory.
constexpr size_t kMaxBytes = 36 + OptionsFile::kMaxDirectory;

int32_t Word(const std::vector<unsigned char>& b, size_t at) {
  uint32_t w = 0;
  for (int k = 3; k >= 0; --k) w = (w << 8) | b[at + static_cast<size_t>(k)];
  int32_t v;
  memcpy(&v, &w, 4);
  return v;
}

bool InRange(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }

}  // namespace

bool OptionsFile::Read(const char* path) {
  FILE* file = path ? Sv_UtlOpenForReading(path, SV_LEVEL_DEBUG) : nullptr;
  if (!file) return false;
  // One byte more than the longest layout tells an oversize file.
  std::vector<unsigned char> b(kMaxBytes + 1);
  const size_t got = fread(b.data(), 1, b.size(), file);
  fclose(file);
  b.resize(got);

  const int32_t magic = got >= 4 ? Word(b, 0) : 0;
  if (got >= 4 && magic != kMagic && magic != kOldMagic) {
    problem = "not an options file";
    return false;
  }
  const bool current = magic == kMagic;
  const size_t at = current ? 8 : 4;  // the geometry words
  const size_t lengthAt = at + 20;
  if (got < lengthAt + 4) {
    problem = "cut short";
    return false;
  }
  if (current && Word(b, 4) != kVersion) {
    problem = "unknown version";
    return false;
  }
  const int32_t n = Word(b, lengthAt);
  if (!InRange(n, 0, kMaxDirectory)) {
    problem = "directory length out of range";
    return false;
  }
  const size_t need = lengthAt + 4 + static_cast<size_t>(n) + (current ? 4 : 0);
  if (got != need) {
    problem = got < need ? "cut short" : "longer than its layout";
    return false;
  }

  int32_t g[5];
  for (int i = 0; i < 5; ++i) g[i] = Word(b, at + 4 * static_cast<size_t>(i));
  if (InRange(g[0], -kMaxCoordinate, kMaxCoordinate) && InRange(g[1], -kMaxCoordinate, kMaxCoordinate) &&
      InRange(g[2], 1, kMaxCoordinate) && InRange(g[3], 1, kMaxCoordinate) && InRange(g[4], 0, 1)) {
    memcpy(geometry, g, sizeof(geometry));
    haveGeometry = true;
  } else {
    problem = "window geometry out of range";
  }

  const std::string dir(reinterpret_cast<const char*>(&b[lengthAt + 4]), static_cast<size_t>(n));
  bool control = false;
  for (unsigned char c : dir) control = control || c < 0x20 || c == 0x7F;
  if (control) {
    if (problem.empty()) problem = "control bytes in the last directory";
  } else {
    directory = dir;
    haveDirectory = true;
  }

  if (current) {
    const int32_t word = Word(b, need - 4);
    if (InRange(word, 0, 1)) {
      stereo = word;
      haveStereo = true;
    } else if (problem.empty()) {
      problem = "stereo flag neither 0 nor 1";
    }
  }
  return true;
}

void OptionsFile::Report(const char* path) const {
  if (problem.empty()) return;
  std::string text = "The options file '";
  text += path ? path : "";
  text += "' is damaged (" + problem + "); the defaults are used for what it could not give.";
  Sv_Debug::Message(SV_LEVEL_WARNING, text.c_str());
}
