#include "OptionsFile.h"

#include <cstdio>

#include "Sv_Debug.h"
#include "Sv_Stdio.h"

namespace {

bool ReadWord(FILE* file, int32_t* v) { return Sv_UtlFread(v, 4, 1, file, 1) == 1; }

}  // namespace

bool OptionsFile::Read(const char* path) {
  FILE* file = path ? Sv_UtlOpenForReading(path, SV_LEVEL_DEBUG) : nullptr;
  if (!file) return false;
  int32_t magic = 0, version = 0;
  bool ok = ReadWord(file, &magic) && (magic == kOldMagic || (magic == kMagic && ReadWord(file, &version)));
  int32_t words[5];
  for (int i = 0; i < 5 && ok; ++i) ok = ReadWord(file, &words[i]);
  if (ok) {
    for (int i = 0; i < 5; ++i) geometry[i] = words[i];
    // A length outside 0 ... 255 ends the read: the stereo word behind it
    // cannot be found.
    int32_t n = -1;
    if (ReadWord(file, &n) && n >= 0 && n <= kMaxDirectory) {
      std::string dir(static_cast<size_t>(n), '\0');
      if (n == 0 || fread(&dir[0], 1, dir.size(), file) == dir.size()) {
        directory = dir;
        haveDirectory = true;
        int32_t word = 0;
        if (magic == kMagic && ReadWord(file, &word)) {
          stereo = word ? 1 : 0;
          haveStereo = true;
        }
      }
    }
  }
  fclose(file);
  return ok;
}
