#ifndef OPTIONSFILE_H
#define OPTIONSFILE_H

#include <cstdint>
#include <string>

// What the main window's options file holds, read without Qt (the fuzzer
// reads it too). Layout (little-endian int32 words, no gaps): magic
// 0x5B3C2A8F, version 1, x, y, width, height, maximized flag, directory
// length n (0 ... 255), the n directory bytes, stereo at start-up. The older
// magic 0x4B3C2A8F has no version and no stereo word.
struct OptionsFile {
  static constexpr int32_t kMagic = 0x5B3C2A8F;
  static constexpr int32_t kOldMagic = 0x4B3C2A8F;
  static constexpr int32_t kVersion = 1;
  static constexpr int kMaxDirectory = 255;

  // Reads the file at path (a regular file only) as far as it is whole:
  // the five geometry words, then the directory, then the stereo word, each
  // only when everything before it was there. False, with nothing read,
  // when the file is missing, not a regular file, of a foreign layout or
  // cut short before its geometry.
  bool Read(const char* path);

  int32_t geometry[5] = {0, 0, 0, 0, 0};  // x, y, width, height, maximized
  bool haveDirectory = false;
  std::string directory;
  bool haveStereo = false;
  int stereo = 0;
};

#endif
