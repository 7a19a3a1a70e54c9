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
  if (!file) {
    foreign = path && Sv_UtlFileExists(path);
    if (foreign) problem = "it cannot be read";
    return false;
  }
  // No field lies beyond the longest layout.
  std::vector<unsigned char> b(kMaxBytes);
  const size_t got = fread(b.data(), 1, b.size(), file);
  fclose(file);
  b.resize(got);

  // An empty file, or one cut short within its magic, holds nothing of
  // the user's: nothing is taken, and it is replaced as a missing file is.
  if (got < 4) {
    if (got > 0) problem = "cut short";
    return false;
  }
  const int32_t magic = Word(b, 0);
  if (magic != kMagic && magic != kOldMagic) {
    foreign = true;
    problem = "it is not an options file";
    return false;
  }
  const bool current = magic == kMagic;
  size_t at = 4;
  // The next word, false when the file ends before it.
  auto next = [&](int32_t* v) {
    if (got < at + 4) return false;
    *v = Word(b, at);
    at += 4;
    return true;
  };
  int32_t version = 0;
  int32_t g[5];
  bool whole = !current || next(&version);
  for (int i = 0; whole && i < 5; ++i) whole = next(&g[i]);
  if (whole) {
    const bool rectangle = InRange(g[0], -kMaxCoordinate, kMaxCoordinate) &&
                           InRange(g[1], -kMaxCoordinate, kMaxCoordinate) && InRange(g[2], 1, kMaxCoordinate) &&
                           InRange(g[3], 1, kMaxCoordinate);
    if (rectangle || g[4] != 0) {
      // A maximized window does not use its rectangle: one out of range is
      // dropped (a size of 0 is never applied) and the window maximizes.
      if (rectangle) memcpy(geometry, g, sizeof(geometry));
      geometry[4] = g[4] != 0 ? 1 : 0;
      haveGeometry = true;
    } else {
      problem = "window geometry out of range";
    }
  }
  int32_t n = 0;
  whole = whole && next(&n);
  if (whole && !InRange(n, 0, kMaxDirectory)) {
    // Where the stereo word lies is not known either.
    if (problem.empty()) problem = "directory length out of range";
    return true;
  }
  whole = whole && got >= at + static_cast<size_t>(n);
  if (whole) {
    directory.assign(reinterpret_cast<const char*>(b.data() + at), static_cast<size_t>(n));
    at += static_cast<size_t>(n);
    haveDirectory = true;
  }
  int32_t word = 0;
  whole = whole && (!current || next(&word));
  if (whole && current) {
    // Any word but 0 starts in stereo.
    stereo = word != 0 ? 1 : 0;
    haveStereo = true;
  }
  if (!whole && problem.empty()) problem = "cut short";
  return true;
}

void OptionsFile::Report(const char* path) const {
  const std::string name = path ? path : "";
  if (foreign) {
    const std::string text = "The file '" + name + "' is kept as it is (" + problem +
                             "); the options of this run are not stored.";
    Sv_Debug::MessageOnce(("options kept " + name).c_str(), SV_LEVEL_WARNING, text.c_str());
    return;
  }
  if (problem.empty()) return;
  const std::string text =
      "The options file '" + name + "' is damaged (" + problem + "); the defaults are used for what it could not give.";
  Sv_Debug::Message(SV_LEVEL_WARNING, text.c_str());
}
