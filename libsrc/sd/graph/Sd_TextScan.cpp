#include "Sd_TextScan.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

// Characters of a line kept; the rest of a longer line is read and dropped,
// so that a file without line ends cannot take the memory.
constexpr size_t kMaxLine = 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Skips blanks and an optional '+' (from_chars takes only '-').
const char* Start(const char* p, const char* end) {
  while (p < end && IsBlank(*p)) ++p;
  if (p < end && *p == '+') ++p;
  return p;
}

}  // namespace

namespace Sd_TextScan {

bool ReadLine(FILE* f, std::string* line) {
  line->clear();
  if (!f) return false;
  int c = 0;
  bool any = false;
  while ((c = fgetc(f)) != EOF && c != '\n') {
    any = true;
    if (line->size() < kMaxLine) line->push_back(static_cast<char>(c));
  }
  if (c == EOF && !any) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

bool ReadValueLine(FILE* f, std::string* line) {
  while (ReadLine(f, line)) {
    if (line->empty() || (*line)[0] != '#') return true;
  }
  return false;
}

bool Number(const char*& p, const char* end, double* value) {
  const char* s = Start(p, end);
  double v = 0.0;
  const std::from_chars_result r = std::from_chars(s, end, v, std::chars_format::general);
  if (r.ec != std::errc() || !std::isfinite(v) || (r.ptr < end && !IsBlank(*r.ptr))) return false;
  *value = v;
  p = r.ptr;
  return true;
}

bool Integer(const char*& p, const char* end, int* value) {
  const char* s = Start(p, end);
  int v = 0;
  const std::from_chars_result r = std::from_chars(s, end, v);
  if (r.ec != std::errc() || (r.ptr < end && !IsBlank(*r.ptr))) return false;
  *value = v;
  p = r.ptr;
  return true;
}

bool Scan(const std::string& line, const char* pattern, int* ints, double* reals) {
  const char* p = line.data();
  const char* end = p + line.size();
  for (; *pattern; ++pattern) {
    if (*pattern == 'i') {
      if (!Integer(p, end, ints++)) return false;
    } else if (!Number(p, end, reals++)) {
      return false;
    }
  }
  return true;
}

}  // namespace Sd_TextScan
