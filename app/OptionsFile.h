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
  // The largest coordinate or size a stored window may have: Qt's largest
  // widget size. Anything beyond is no geometry this program wrote.
  static constexpr int32_t kMaxCoordinate = (1 << 24) - 1;

  // Reads the file at path (a regular file only). False, with nothing
  // taken, when it is missing, or when its layout is not whole: a foreign
  // magic or version, a directory length outside 0 ... 255, a file cut short
  // or longer than its layout. In a whole file each value that makes no
  // sense is left out (its have flag stays false): geometry words beyond
  // +-kMaxCoordinate, a size below 1, a maximized flag other than 0 or 1, a
  // directory holding control bytes, a stereo word other than 0 or 1.
  // Whatever was refused is named in problem.
  bool Read(const char* path);

  // One warning naming the file and the problem (only when there is one).
  void Report(const char* path) const;

  bool haveGeometry = false;
  int32_t geometry[5] = {0, 0, 0, 0, 0};  // x, y, width, height, maximized
  bool haveDirectory = false;
  std::string directory;
  bool haveStereo = false;
  int stereo = 0;
  std::string problem;  // empty when everything read was taken
};

#endif
