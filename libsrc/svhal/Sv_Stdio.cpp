#include "Sv_Stdio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Platform.h"
#include "Sv_Stdlib.h"

namespace {

constexpr bool kHostLittle = (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);

// Reverses n elements of type T in place with the given byte swap; the
// elements need not be aligned.
template <typename T, typename Swap>
void SwapEach(unsigned char* p, size_t n, Swap swap) {
  for (size_t i = 0; i < n; ++i) {
    T v;
    memcpy(&v, p + sizeof(T) * i, sizeof(T));
    v = swap(v);
    memcpy(p + sizeof(T) * i, &v, sizeof(T));
  }
}

}  // namespace

int Sv_UtlNeedsSwap(int byteOrder) {
  const bool fileLittle = byteOrder != 0;
  return fileLittle != kHostLittle ? 1 : 0;
}

void Sv_UtlSwapBytes(void* data, int size, int count) {
  if (size < 1) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Impossible element size for a byte swap", "Sv_UtlSwapBytes");
    Sv_UtlExitProcess(-1);
    return;
  }
  if (size == 1 || count <= 0 || !data) return;
  unsigned char* p = static_cast<unsigned char*>(data);
  const size_t n = static_cast<size_t>(count);
  switch (size) {
    case 2:
      SwapEach<unsigned short>(p, n, [](unsigned short v) { return __builtin_bswap16(v); });
      return;
    case 4:
      SwapEach<unsigned int>(p, n, [](unsigned int v) { return __builtin_bswap32(v); });
      return;
    case 8:
      SwapEach<unsigned long long>(p, n, [](unsigned long long v) { return __builtin_bswap64(v); });
      return;
    default: {
      const size_t s = static_cast<size_t>(size);
      for (size_t i = 0; i < n; ++i) {
        unsigned char* a = p + s * i;
        unsigned char* b = a + s - 1;
        while (a < b) {
          unsigned char t = *a;
          *a++ = *b;
          *b-- = t;
        }
      }
      return;
    }
  }
}

int Sv_UtlFread(void* buffer, int elementSize, int count, FILE* file, int byteOrder) {
  if (!buffer || !file || elementSize < 1 || count <= 0) return 0;
  size_t n = fread(buffer, static_cast<size_t>(elementSize), static_cast<size_t>(count), file);
  if (n > 0 && elementSize > 1 && Sv_UtlNeedsSwap(byteOrder)) {
    Sv_UtlSwapBytes(buffer, elementSize, static_cast<int>(n));
  }
  return static_cast<int>(n);
}

int Sv_UtlFwrite(void* buffer, int elementSize, int count, FILE* file, int byteOrder) {
  if (!buffer || !file || elementSize < 1 || count <= 0) return 0;
  if (elementSize > 1 && Sv_UtlNeedsSwap(byteOrder)) Sv_UtlSwapBytes(buffer, elementSize, count);
  return static_cast<int>(fwrite(buffer, static_cast<size_t>(elementSize), static_cast<size_t>(count), file));
}

int Sv_UtlFwriteCopy(const void* buffer, int elementSize, int count, FILE* file, int byteOrder) {
  if (!buffer || !file || elementSize < 1 || count <= 0) return 0;
  if (elementSize == 1 || !Sv_UtlNeedsSwap(byteOrder)) {
    return static_cast<int>(fwrite(buffer, static_cast<size_t>(elementSize), static_cast<size_t>(count), file));
  }
  // Swap and write in chunks so that a large block needs no large copy.
  const size_t s = static_cast<size_t>(elementSize);
  const size_t perChunk = s >= 65536 ? 1 : 65536 / s;
  std::vector<unsigned char> tmp(perChunk * s);
  const unsigned char* src = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  const size_t total = static_cast<size_t>(count);
  while (done < total) {
    size_t k = total - done < perChunk ? total - done : perChunk;
    memcpy(tmp.data(), src + done * s, k * s);
    Sv_UtlSwapBytes(tmp.data(), elementSize, static_cast<int>(k));
    size_t w = fwrite(tmp.data(), s, k, file);
    done += w;
    if (w < k) break;
  }
  return static_cast<int>(done);
}

namespace {

// Says why a name that exists could not be opened as a regular file.
void ReportNotRegular(const char* path, int level) {
  if (errno == EINVAL && path && *path) {
    const int e = errno;
    Sv_Debug::Message(level, "ERROR:  Not a regular file that can be read", path);
    errno = e;
  }
}

}  // namespace

FILE* Sv_UtlOpenForReading(const char* path, int level) {
  FILE* file = Sv_PlatformOpenRegularFile(path);
  if (!file) ReportNotRegular(path, level);
  return file;
}

bool Sv_UtlOpenConfigLines(const char* name, int* version, Sv_LineReader* lines) {
  if (version) *version = -1;
  if (!name || !*name || !lines) return false;
  std::string path;
  if (const char* conf = getenv("WRUCONFIGURATIONS")) {
    path = std::string(conf) + "/" + name;
  } else if (char* home = Sv_UtlHomePath((std::string("configurations/") + name).c_str())) {
    path = home;
    free(home);
  } else {
    return false;
  }
  if (!lines->Open(path.c_str(), Sv_LineReader::kConfigurationBytes)) {
    if (errno != EFBIG) {
      Sv_Debug::MessageOnce(("file " + path).c_str(), SV_LEVEL_DEBUG,
                            "Configuration file not found, built-in defaults are used", path.c_str());
    }
    return false;
  }
  std::string line;
  if (lines->ReadValueLine(&line, Sv_LineReader::kConfigurationLine)) {
    int v;
    if (version) *version = sscanf(line.c_str(), "%d", &v) == 1 ? v : -1;
  }
  return true;
}

FILE* Sv_UtlOpenConfigFile(const char* name, int* version) {
  Sv_LineReader lines;
  if (!Sv_UtlOpenConfigLines(name, version, &lines)) return nullptr;
  std::string rest, line;
  while (lines.ReadLine(&line, Sv_LineReader::kConfigurationLine)) rest += line + "\n";
  // A memory stream of at least one byte; it frees its buffer when closed.
  FILE* f = fmemopen(nullptr, rest.size() + 1, "w+");
  if (f && (fwrite(rest.data(), 1, rest.size(), f) != rest.size() || fseek(f, 0, SEEK_SET) != 0)) {
    fclose(f);
    f = nullptr;
  }
  return f;
}

bool Sv_UtlReadConfigInt(const char* name, int line, int* value) {
  Sv_LineReader lines;
  if (!Sv_UtlOpenConfigLines(name, nullptr, &lines)) return false;
  std::string text;
  bool have = line >= 1;
  for (int i = 0; i < line && have; ++i) have = lines.ReadLine(&text, Sv_LineReader::kConfigurationLine);
  int v = 0;
  if (!have || sscanf(text.c_str(), "%d", &v) != 1) return false;
  if (value) *value = v;
  return true;
}

char* Sv_UtlHomePath(const char* relative) {
  const char* home = getenv("WRUHOME");
  if (!home || !*home) {
    Sv_Debug::MessageOnce("WRUHOME", SV_LEVEL_DEBUG, "WRUHOME is not set: built-in defaults are used");
    return nullptr;
  }
  std::string path(home);
  if (path.back() != '/') path += '/';
  if (relative) path += relative[0] == '/' ? relative + 1 : relative;
  return Sv_UtlStrDup(path.c_str());
}

char* Sv_UtlPrefFileName(const char* name, int versioned) {
  const char* home = getenv("HOME");
  if (!home || !*home) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR: Please set the $HOME environment variable");
    Sv_UtlExitProcess(-1);
    return nullptr;
  }
  Sv_PlatformMakeDirectory(home);
  std::string path(home);
  if (path.back() != '/') path += '/';
  path += "pc_";
  path += name ? name : "";
  if (versioned) path += "6.1";
  return Sv_UtlStrDup(path.c_str());
}

void Sv_UtlToBackslashes(char* path) { (void)path; }

int Sv_UtlFileExists(const char* path) {
  if (!path || !*path) return 0;
  return access(path, F_OK) == 0 ? 1 : 0;
}

int Sv_UtlCanCreateIn(const char* folder) {
  if (!folder || !*folder) return 0;
  std::string probe(folder);
  if (probe.back() != '/' && probe.back() != '\\') probe += '/';
  probe += "probe";
  std::string temporary;
  FILE* file = Sv_PlatformCreateTemporary(probe.c_str(), 1, &temporary);
  if (!file) return 0;
  fclose(file);
  Sv_PlatformRemoveFile(temporary.c_str());
  return 1;
}

int Sv_UtlCanWrite(const char* path) {
  if (!path || !*path) return 0;
  if (access(path, F_OK) == 0) return access(path, W_OK) == 0 ? 1 : 0;
  char* dir = Sv_UtlGetDirectory(path, 0);
  int ok;
  if (dir && *dir) {
    ok = access(dir, W_OK) == 0 ? 1 : 0;
  } else if (dir) {
    ok = access("/", W_OK) == 0 ? 1 : 0;  // "/name": the root directory
  } else {
    ok = access(".", W_OK) == 0 ? 1 : 0;
  }
  free(dir);
  return ok;
}
