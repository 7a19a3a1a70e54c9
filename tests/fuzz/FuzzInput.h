#ifndef ORVANTA_FUZZINPUT_H
#define ORVANTA_FUZZINPUT_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The readers open files by path: every fuzz input is written to one file of
// this process, in memory-backed /dev/shm where there is one, removed at
// exit.
namespace orvanta_fuzz {

// The input file's path, ending in suffix; the first call also runs setup.
inline const std::string& InputPath(const char* suffix, void (*setup)()) {
  static std::string path;
  if (path.empty()) {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    path = std::string(dir) + "/orvanta-fuzz-" + std::to_string(getpid()) + suffix;
    atexit([] { unlink(path.c_str()); });
    if (setup) setup();
  }
  return path;
}

inline bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = (size == 0 || fwrite(data, 1, size, f) == size);
  return fclose(f) == 0 && ok;
}

}  // namespace orvanta_fuzz

#endif
