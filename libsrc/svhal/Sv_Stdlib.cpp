#include "Sv_Stdlib.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Sv_Platform.h"

namespace {

Sv_ExitHook g_exitHook = nullptr;

inline bool IsSeparator(char c) { return c == '/' || c == '\\'; }

const char* LastSeparator(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p; ++p) {
    if (IsSeparator(*p)) last = p;
  }
  return last;
}

char* DupRange(const char* begin, size_t length) {
  char* s = static_cast<char*>(malloc(length + 1));
  if (!s) return nullptr;
  memcpy(s, begin, length);
  s[length] = '\0';
  return s;
}

// Under AddressSanitizer every row is an allocation of its own, so that a
// read or write past the end of a row is caught. Otherwise the table and all
// rows share one block: one allocation instead of one per row, and a large
// grid can be backed by huge pages, which cuts the page faults of filling it
// by a factor of 512. Callers see the same row-pointer table either way and
// release it with Sv_UtlFree2D.
#if defined(__SANITIZE_ADDRESS__)
#define SV_SEPARATE_ROWS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SV_SEPARATE_ROWS 1
#endif
#endif

template <typename T>
T** Alloc2D(int rows, int cols) {
  if (rows <= 0 || cols <= 0) return nullptr;
  const size_t rowBytes = static_cast<size_t>(cols) * sizeof(T);
#ifdef SV_SEPARATE_ROWS
  T** table = static_cast<T**>(calloc(static_cast<size_t>(rows), sizeof(T*)));
  if (!table) return nullptr;
  for (int r = 0; r < rows; ++r) {
    table[r] = static_cast<T*>(malloc(rowBytes));
    if (!table[r]) {
      Sv_UtlFree2D(table, r);
      return nullptr;
    }
  }
  return table;
#else
  const size_t tableBytes = (static_cast<size_t>(rows) * sizeof(T*) + 63) & ~static_cast<size_t>(63);
  const size_t n = static_cast<size_t>(rows);
  if (rowBytes > (SIZE_MAX - tableBytes) / n) return nullptr;
  unsigned char* block = static_cast<unsigned char*>(Sv_PlatformAllocLarge(tableBytes + rowBytes * n));
  if (!block) return nullptr;
  T** table = reinterpret_cast<T**>(block);
  for (size_t r = 0; r < n; ++r) table[r] = reinterpret_cast<T*>(block + tableBytes + r * rowBytes);
  return table;
#endif
}

}  // namespace

char* Sv_UtlGetDirectory(const char* path, int keepSeparator) {
  if (!path) return nullptr;
  const char* sep = LastSeparator(path);
  if (!sep) {
    if (path[0] == '.') return Sv_UtlStrDup(keepSeparator ? "./" : ".");
    return nullptr;
  }
  size_t len = static_cast<size_t>(sep - path) + (keepSeparator ? 1 : 0);
  char* dir = DupRange(path, len);
  if (!dir) return nullptr;
  for (char* p = dir; *p; ++p) {
    if (*p == '\\') *p = '/';
  }
  return dir;
}

char* Sv_UtlGetFileName(const char* path) {
  if (!path || !*path) return nullptr;
  const char* sep = LastSeparator(path);
  return Sv_UtlStrDup(sep ? sep + 1 : path);
}

const char* Sv_UtlGetExtension(const char* path) {
  if (!path) return nullptr;
  const char* sep = LastSeparator(path);
  const char* dot = strrchr(sep ? sep + 1 : path, '.');
  return dot;
}

int Sv_UtlHasExtension(const char* name, const char* extension) {
  if (!name || !extension || !*extension) return 0;
  size_t n = strlen(name);
  size_t e = strlen(extension);
  if (e > n) return 0;
  const char* tail = name + (n - e);
  if (Sv_UtlStrCaseCmp(tail, extension) != 0) return 0;
  if (extension[0] != '.') return (n > e && tail[-1] == '.') ? 1 : 0;
  return 1;
}

char* Sv_UtlReplaceExtension(const char* path, const char* extension) {
  if (!path) return nullptr;
  const char* ext = Sv_UtlGetExtension(path);
  size_t stem = ext ? static_cast<size_t>(ext - path) : strlen(path);
  std::string out(path, stem);
  if (extension && *extension) {
    if (extension[0] != '.') out += '.';
    out += extension;
  }
  return Sv_UtlStrDup(out.c_str());
}

char* Sv_UtlStrDup(const char* text) {
  if (!text) return nullptr;
  return DupRange(text, strlen(text));
}

int Sv_UtlStrCaseCmp(const char* a, const char* b) {
  if (!a) return -1;
  if (!b) return 1;
  for (;; ++a, ++b) {
    int ca = tolower(static_cast<unsigned char>(*a));
    int cb = tolower(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) return 0;
  }
}

void Sv_UtlTruncateFront(char* text, int n) {
  if (!text || n < 4) return;
  size_t len = strlen(text);
  if (len < 5 || len <= static_cast<size_t>(n)) return;
  size_t keep = static_cast<size_t>(n) - 4;
  memmove(text + 4, text + (len - keep), keep);
  memcpy(text, "... ", 4);
  text[n] = '\0';
}

char* Sv_UtlGetEnv(const char* variable) {
  if (!variable) return nullptr;
  const char* v = getenv(variable);
  return v ? Sv_UtlStrDup(v) : nullptr;
}

int Sv_UtlRunProcess(const char* commandLine, int wait) {
  return Sv_PlatformRunProcess(commandLine, wait);
}

void Sv_UtlSetExitHook(Sv_ExitHook hook) { g_exitHook = hook; }

void Sv_UtlExitProcess(int code) {
  if (g_exitHook) g_exitHook(code);
  Sv_PlatformExit(code);
}

int Sv_UtlDayOfYear(int year, int month, int day) {
  static const int cumulative[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
  int doy = cumulative[month - 1] + day;
  const bool leap = (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0);
  if (leap && month >= 3) ++doy;
  return doy;
}

unsigned short** Sv_UtlAlloc2DShort(int rows, int cols) { return Alloc2D<unsigned short>(rows, cols); }
unsigned int** Sv_UtlAlloc2DInt(int rows, int cols) { return Alloc2D<unsigned int>(rows, cols); }

void Sv_UtlFree2D(void* table, int rows) {
  if (!table) return;
#ifdef SV_SEPARATE_ROWS
  void** t = static_cast<void**>(table);
  for (int r = 0; r < rows; ++r) free(t[r]);
#else
  (void)rows;
#endif
  free(table);
}
