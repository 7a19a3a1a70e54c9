#include "Sv_Stdlib.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Sv_Debug.h"
#include "Sv_Platform.h"
#include "Sv_Types.h"

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

// Row-pointer grids come in two layouts. Separate rows: the table and every
// row are allocations of their own, so that a read or write past the end of
// a row is caught by AddressSanitizer. One block: the table and all rows in
// one allocation, so a grid costs one allocation instead of one per row and
// a large grid can sit on huge pages (Sv_PlatformAllocToFill), which cuts the
// page faults of filling it. New grids get the separate rows under
// AddressSanitizer and one block otherwise, unless Sv_UtlSetGridLayout says
// otherwise. Every grid carries its layout in a header just before its
// table, so Sv_UtlFree2D releases either, whatever the layout of the day.
#if defined(__SANITIZE_ADDRESS__)
#define SV_SEPARATE_ROWS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SV_SEPARATE_ROWS 1
#endif
#endif

#ifdef SV_SEPARATE_ROWS
int g_gridLayout = SV_GRID_SEPARATE_ROWS;
#else
int g_gridLayout = SV_GRID_ONE_BLOCK;
#endif

// The header before a grid's table; 16 bytes, so the table stays aligned.
struct GridHeader {
  uint32_t magic;
  uint32_t layout;
  uint64_t blockBytes;  // one block: its size; separate rows: 0
};
static_assert(sizeof(GridHeader) == 16, "grid header size");
constexpr uint32_t kGridMagic = 0x47524944u;  // "GRID"
// Rows of the one-block layout start at this alignment.
constexpr size_t kRowAlignment = 64;

void* TableOf(GridHeader* header) { return reinterpret_cast<unsigned char*>(header) + sizeof(GridHeader); }
GridHeader* HeaderOf(void* table) {
  return reinterpret_cast<GridHeader*>(static_cast<unsigned char*>(table) - sizeof(GridHeader));
}

template <typename T>
T** Alloc2D(int rows, int cols) {
  if (rows <= 0 || cols <= 0) return nullptr;
  const size_t n = static_cast<size_t>(rows);
  const size_t rowBytes = static_cast<size_t>(cols) * sizeof(T);
  if (n > (SIZE_MAX / 2) / sizeof(T*)) return nullptr;
  const size_t headBytes = sizeof(GridHeader) + n * sizeof(T*);
  if (g_gridLayout == SV_GRID_SEPARATE_ROWS) {
    GridHeader* header = static_cast<GridHeader*>(calloc(1, headBytes));
    if (!header) return nullptr;
    header->magic = kGridMagic;
    header->layout = SV_GRID_SEPARATE_ROWS;
    T** table = static_cast<T**>(TableOf(header));
    for (size_t r = 0; r < n; ++r) {
      table[r] = static_cast<T*>(malloc(rowBytes));
      if (!table[r]) {
        Sv_UtlFree2D(table, rows);
        return nullptr;
      }
    }
    return table;
  }
  const size_t rowsOffset = (headBytes + kRowAlignment - 1) & ~(kRowAlignment - 1);
  if (rowBytes > (SIZE_MAX - rowsOffset) / n) return nullptr;
  const size_t blockBytes = rowsOffset + rowBytes * n;
  unsigned char* block = static_cast<unsigned char*>(Sv_PlatformAllocToFill(blockBytes));
  if (!block) return nullptr;
  GridHeader* header = reinterpret_cast<GridHeader*>(block);
  header->magic = kGridMagic;
  header->layout = SV_GRID_ONE_BLOCK;
  header->blockBytes = blockBytes;
  T** table = static_cast<T**>(TableOf(header));
  for (size_t r = 0; r < n; ++r) table[r] = reinterpret_cast<T*>(block + rowsOffset + r * rowBytes);
  return table;
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
  GridHeader* header = HeaderOf(table);
  if (header->magic != kGridMagic) {
    // Not a grid of Sv_UtlAlloc2D*: releasing it would corrupt the heap.
    Sv_Debug::Message(SV_LEVEL_ERROR, "Sv_UtlFree2D: not a row-pointer grid; nothing released");
    return;
  }
  header->magic = 0;
  if (header->layout == SV_GRID_ONE_BLOCK) {
    Sv_PlatformFreeLarge(header, static_cast<size_t>(header->blockBytes));
    return;
  }
  void** t = static_cast<void**>(table);
  for (int r = 0; r < rows; ++r) free(t[r]);
  free(header);
}

int Sv_UtlSetGridLayout(int layout) {
  const int before = g_gridLayout;
  if (layout == SV_GRID_SEPARATE_ROWS || layout == SV_GRID_ONE_BLOCK) g_gridLayout = layout;
  return before;
}

int Sv_UtlGetGridLayout() { return g_gridLayout; }
