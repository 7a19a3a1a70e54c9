// 3-D lines: ASCII line files (one "x y z" vertex per text line).
//
// Numbers are read and written independently of the process's locale (a
// Qt program takes the user's, which may write decimal commas).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "Sd_Lines3D.h"
#include "Sd_TextScan.h"
#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "Sv_Types.h"

namespace {

// Characters a number keeps in a line file: its "%.10f" text is cut to
// ten characters, but never within the digits before the decimal point.
constexpr size_t kNumberWidth = 10;

// Reads a number as "%lf" would (leading blanks, an optional sign) at p;
// false when there is none or it is not finite.
bool ParseNumber(const char*& p, const char* end, double* value) {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f')) ++p;
  if (p < end && *p == '+') ++p;
  const std::from_chars_result r = std::from_chars(p, end, *value, std::chars_format::general);
  if (r.ec != std::errc() || !std::isfinite(*value)) return false;
  p = r.ptr;
  return true;
}

// The text WriteLineFile writes for a number.
std::string FormatNumber(double v) {
  char text[400];
  const std::to_chars_result r = std::to_chars(text, text + sizeof(text), v, std::chars_format::fixed, 10);
  std::string s(text, r.ec == std::errc() ? r.ptr : text);
  const size_t point = s.find('.');
  const size_t keep = point == std::string::npos ? s.size() : std::max(kNumberWidth, point);
  if (s.size() > keep) s.resize(keep);
  return s;
}

}  // namespace

int Sd_Lines3D::ReadLineFile(const char* path) {
  if (!path) return -1;
  Sv_LineReader f;
  if (!f.Open(path, kMaxLineFileBytes)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, (std::string("ERROR: Opening line file: ") + path).c_str());
    return -1;
  }
  const std::string file(path);
  SetDescription(file.c_str());
  std::vector<double> xyz;
  std::string text;
  int skipped = 0;
  // A line without three numbers is skipped; reading ends at the vertex
  // bound.
  while (Sd_TextScan::ReadLine(&f, &text)) {
    if (xyz.size() >= 3 * static_cast<size_t>(kMaxLineFileVertices)) {
      Sv_Debug::Message(SV_LEVEL_WARNING, "ERROR: Line file holds too many vertices, the rest is not read",
                        file.c_str());
      break;
    }
    const char* p = text.data();
    const char* end = p + text.size();
    double v[3];
    if (ParseNumber(p, end, &v[0]) && ParseNumber(p, end, &v[1]) && ParseNumber(p, end, &v[2])) {
      xyz.insert(xyz.end(), v, v + 3);
    } else {
      ++skipped;
    }
  }
  // A file given up at an over-long line is refused as a whole.
  const bool stopped = f.Stopped();
  f.Close();
  if (stopped) xyz.clear();
  if (skipped > 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Lines without three numbers skipped in line file", file.c_str());
  }

  ClearLines();
  m_attributePresent = 0;
  m_colourMode = 0;
  m_fileVertexCount = static_cast<int>(xyz.size() / 3);
  if (m_fileVertexCount < 2) {
    if (stopped) return -1;
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: A line file needs two vertices at least", file.c_str());
    return -1;
  }
  Line line;
  line.xyz.reset(new (std::nothrow) double[xyz.size()]);
  if (!line.xyz) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: Out of memory for the line file", file.c_str());
    return -1;
  }
  memcpy(line.xyz.get(), xyz.data(), xyz.size() * sizeof(double));
  line.segments = m_fileVertexCount - 1;
  m_segments = line.segments;
  m_lines.push_back(std::move(line));
  // Bounds, extents and centres all follow the new vertices.
  RecomputeBounds();
  return 0;
}

int Sd_Lines3D::WriteLineFile(const char* path) const {
  Sv_AtomicFile out;
  FILE* f = out.Open(path, 0);
  bool ok = f != nullptr;
  for (size_t li = 0; ok && li < m_lines.size(); ++li) {
    const Line& line = m_lines[li];
    if (li > 0) ok = fputs("9999 9999 9999\n", f) >= 0;
    for (int i = 0; ok && i < line.VertexCount(); ++i) {
      const double* v = line.Vertex(i);
      const std::string text = FormatNumber(v[0]) + " " + FormatNumber(v[1]) + " " + FormatNumber(v[2]) + "\n";
      ok = fputs(text.c_str(), f) >= 0;
    }
  }
  if (ok) {
    ok = out.Commit() == 0;
  } else {
    out.Discard();
  }
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR: Writing line file", path ? path : "");
    return -1;
  }
  return 0;
}

int Sd_Lines3D::ReloadFromDescription() {
  const std::string path(GetDescription());
  if (path.empty()) return -1;
  return ReadLineFile(path.c_str());
}
