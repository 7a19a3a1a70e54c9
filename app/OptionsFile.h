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

  // Reads the file at path (a regular file only) field by field, as far as
  // it goes: the version word is read and ignored, a file cut short keeps
  // the fields it holds whole, bytes past the layout are not read. A value
  // that makes no sense is left out (its have flag stays false), and so is
  // everything after a directory length outside 0 ... 255: geometry words
  // beyond +-kMaxCoordinate or a size below 1 (the five words go together;
  // any non-zero maximized word means maximized, as any non-zero stereo
  // word means stereo; a maximized window keeps its flag and drops only a
  // rectangle out of range, which it does not use). Whatever was left out
  // is named in problem. False, with nothing taken, when the file is
  // missing, ends within its magic (not foreign: it holds nothing and is
  // replaced) or is not this program's (foreign: it exists but cannot be
  // read, or begins with neither magic).
  bool Read(const char* path);

  // One warning naming the file: that it is kept as it is (a foreign file,
  // said once per run), or what was left out of it (only when something
  // was).
  void Report(const char* path) const;

  // The file exists but is not this program's: it is never replaced.
  bool foreign = false;
  bool haveGeometry = false;
  int32_t geometry[5] = {0, 0, 0, 0, 0};  // x, y, width, height, maximized
  bool haveDirectory = false;
  std::string directory;
  bool haveStereo = false;
  int stereo = 0;
  std::string problem;  // empty when everything read was taken
};

#endif
