#include "Sv_HersheyParse.h"

#include <cstdio>

namespace {

// The record data may not exceed what three count columns can announce.
const int kMaxCount = 999;

void SetError(std::string* error, int line, const char* what) {
  if (!error) return;
  char buf[160];
  snprintf(buf, sizeof(buf), "line %d: %s", line, what);
  *error = buf;
}

bool IsBlank(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != ' ' && p[i] != '\t') return false;
  }
  return true;
}

// Reads one line starting at pos: sets begin and length (without "\n" or
// "\r\n") and moves pos past the line end. False at the end of the text.
bool NextLine(const char* text, size_t length, size_t* pos, const char** begin, size_t* lineLength) {
  if (*pos >= length) return false;
  const size_t start = *pos;
  size_t end = start;
  while (end < length && text[end] != '\n') ++end;
  *pos = end < length ? end + 1 : end;
  size_t n = end - start;
  if (n > 0 && text[start + n - 1] == '\r') --n;
  *begin = text + start;
  *lineLength = n;
  return true;
}

// The number in a fixed-width field that may be padded with spaces; -1
// when the field holds anything else or no digit.
int ParseField(const char* p, size_t n) {
  int value = 0;
  bool digit = false;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] == ' ') {
      if (digit) return -1;  // no spaces inside or after the digits
      continue;
    }
    if (p[i] < '0' || p[i] > '9') return -1;
    value = value * 10 + (p[i] - '0');
    digit = true;
  }
  return digit ? value : -1;
}

}  // namespace

int Sv_HersheyParseText(const char* text, size_t length, size_t maxGlyphs, std::vector<Sv_HersheyRawGlyph>* glyphs,
                        std::string* error) {
  if (!glyphs) return -1;
  glyphs->clear();
  if (!text || length == 0) {
    SetError(error, 0, "empty font file");
    return -1;
  }
  size_t pos = 0;
  int lineNo = 0;
  const char* line = nullptr;
  size_t n = 0;
  while (glyphs->size() < maxGlyphs && NextLine(text, length, &pos, &line, &n)) {
    ++lineNo;
    if (IsBlank(line, n)) continue;
    if (n < 8) {
      SetError(error, lineNo, "glyph record shorter than its header");
      return -1;
    }
    if (ParseField(line, 5) < 0) {
      SetError(error, lineNo, "glyph number is not a number");
      return -1;
    }
    const int count = ParseField(line + 5, 3);
    if (count < 1 || count > kMaxCount) {
      SetError(error, lineNo, "bad vertex count");
      return -1;
    }
    const size_t want = size_t(count) * 2;
    std::string data(line + 8, n - 8);
    // A record may go on in the following lines.
    while (data.size() < want) {
      if (!NextLine(text, length, &pos, &line, &n)) {
        SetError(error, lineNo, "glyph record ends early");
        return -1;
      }
      ++lineNo;
      data.append(line, n);
    }
    if (data.size() > want && !IsBlank(data.data() + want, data.size() - want)) {
      SetError(error, lineNo, "data after the end of a glyph record");
      return -1;
    }
    Sv_HersheyRawGlyph glyph(want);
    for (size_t i = 0; i < want; ++i) {
      const char c = data[i];
      if (c < ' ' || c > '~') {
        SetError(error, lineNo, "character outside the printable range");
        return -1;
      }
      glyph[i] = (signed char)(c - 'R');
    }
    glyphs->push_back(glyph);
  }
  if (glyphs->empty()) {
    SetError(error, lineNo, "no glyphs");
    return -1;
  }
  return 0;
}

bool Sv_HersheyReadFile(const char* path, std::string* out) {
  FILE* f = path ? fopen(path, "rb") : nullptr;
  if (!f) return false;
  const bool ok = Sv_HersheyReadStream(f, out);
  fclose(f);
  return ok;
}

bool Sv_HersheyReadStream(FILE* f, std::string* out) {
  if (!f || !out) return false;
  bool ok = fseek(f, 0, SEEK_END) == 0;
  const long size = ok ? ftell(f) : -1;
  ok = ok && size > 0 && size <= SV_HERSHEY_MAX_FILE_SIZE && fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    out->resize(size_t(size));
    ok = fread(&(*out)[0], 1, out->size(), f) == out->size();
  }
  return ok;
}
