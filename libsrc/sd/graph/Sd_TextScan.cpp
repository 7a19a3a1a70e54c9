#include "Sd_TextScan.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Skips blanks and an optional '+' (from_chars takes only '-').
const char* Start(const char* p, const char* end) {
  while (p < end && IsBlank(*p)) ++p;
  if (p < end && *p == '+') ++p;
  return p;
}

}  // namespace

namespace Sd_TextScan {

bool ReadLine(Sv_LineReader* lines, std::string* line) { return lines->ReadLine(line, kMaxLine); }

bool ReadValueLine(Sv_LineReader* lines, std::string* line) { return lines->ReadValueLine(line, kMaxLine); }

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
