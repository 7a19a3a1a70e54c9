// The look of sounding data sets: the class configuration file and the
// colour maps.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "Sd_SoundingStyle.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "TDR_Colormap.h"

namespace {

// Longest line kept; the rest of a longer line is skipped.
constexpr size_t kMaxLine = 65536;

// The lines of a configuration file after its version line, one at a time.
class LineReader {
 public:
  explicit LineReader(Sv_LineReader* lines) : m_lines(lines) {}
  // The next line (without its line break); false at the end of the file.
  bool Next(std::string* line) { return m_lines->ReadLine(line, kMaxLine); }
  // Skips a line; false at the end of the file.
  bool Skip() {
    std::string ignored;
    return Next(&ignored);
  }
  // A line holding a number ("%d" or "%f") into *v; *v is unchanged when
  // the line holds none.
  template <class T>
  bool Value(T* v) {
    std::string line;
    if (!Next(&line)) return false;
    T parsed{};
    int n = 0;
    if constexpr (std::is_same<T, int>::value) {
      n = sscanf(line.c_str(), "%d", &parsed);
    } else {
      n = sscanf(line.c_str(), "%f", &parsed);
    }
    if (n == 1) *v = parsed;
    return true;
  }

 private:
  Sv_LineReader* m_lines;
};

// The whitespace-separated words of text.
std::vector<std::string> Words(const char* text) {
  std::vector<std::string> words;
  std::string word;
  for (const char* p = text;; ++p) {
    if (*p && !isspace(static_cast<unsigned char>(*p))) {
      word.push_back(*p);
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
    if (!*p) break;
  }
  return words;
}

}  // namespace

// Layout (after the version line v), each line read whole:
//   v >= 3: a line skipped, an unused real, pre-shaded, progressive, stride;
//   a line skipped; two unused reals and the file names of colour maps 1
//   and 2 (under $WRUHOME/cmaps);
//   v >= 2: alpha of empty cells, symbol size;
//   a line skipped; grid lines, base, run lines (the spare switch of HTF
//   soundings), cell soundings; a line skipped;
//   23 range lines (22 when v <= 1) of "low high", 0 0 for none.
// A line that does not parse leaves its field as it was; the end of the
// file leaves every later field at its default.
void Sd_SoundingStyle::ReadConfiguration(const char* name, Switches* switches,
                                         const std::function<void(int map, const char* path)>& loadMap) {
  int version = 0;
  Sv_LineReader file;
  if (!Sv_UtlOpenConfigLines(name, &version, &file)) return;
  LineReader in(&file);
  std::string line;
  bool more = true;
  if (version >= 3) {
    float unused = 0.0f;
    more = in.Skip() && in.Value(&unused) && in.Value(&m_preShaded) && in.Value(&m_progressive) && in.Value(&m_lodStep);
    m_lodStep = std::max(m_lodStep, 1);
  }
  more = more && in.Skip() && in.Next(&line);
  if (more) {
    float reals[2];
    int used = 0;
    if (sscanf(line.c_str(), "%f%f%n", &reals[0], &reals[1], &used) == 2) {
      const std::vector<std::string> names = Words(line.c_str() + used);
      for (size_t i = 0; i < names.size() && i < 2; ++i) {
        // Without WRUHOME there is no map folder; that is reported once.
        char* path = Sv_UtlHomePath(("cmaps/" + names[i]).c_str());
        if (!path) break;
        loadMap(static_cast<int>(i), path);
        free(path);
      }
    }
  }
  if (more && version >= 2) {
    float symbolSize = m_symbolSize;
    more = in.Value(&m_emptyCellAlpha) && in.Value(&symbolSize);
    m_emptyCellAlpha = std::clamp(m_emptyCellAlpha, 0, 255);
    if (std::isfinite(symbolSize) && symbolSize > 0.0f) m_symbolSize = symbolSize;
  }
  more = more && in.Skip() && in.Value(&switches->showGridLines) && in.Value(&switches->showBase) &&
         in.Value(&switches->lastSwitch) && in.Value(&switches->showCellSoundings) && in.Skip();
  const int ranges = version > 1 ? kAttributeCount : kAttributeCount - 1;
  for (int i = 0; more && i < ranges; ++i) {
    more = in.Next(&line);
    float low = 0.0f, high = 0.0f;
    if (more && sscanf(line.c_str(), "%f%f", &low, &high) == 2) {
      m_attrRange[i][0] = low;
      m_attrRange[i][1] = high;
      m_attrRangeSet[i] = low == 0.0f && high == 0.0f ? 0 : 1;
    }
  }
}

// --- colour maps and ranges ---

Sd_SoundingStyle::Sd_SoundingStyle() {
  for (float* range : m_attrDataRange) {
    range[0] = 1.0e12f;
    range[1] = -1.0e12f;
  }
  SetDefaultColorMap(0);
  // Flag colouring reads map 2: it starts as the same ramp.
  memcpy(m_colorMap2, m_colorMap, sizeof m_colorMap2);
}

void Sd_SoundingStyle::SetDefaultColorMap(int kind) {
  if (kind != 0) return;
  for (unsigned i = 0; i < 256; ++i) m_colorMap[i] = (i << 24) | (i << 16) | (i << 8) | 255u;
}

void Sd_SoundingStyle::LoadMap(int map, const char* path) {
  // A missing map is reported once per process; a damaged one every time.
  if (!TDR_UtlReadColormapOnce(path, Map(map)) && Sv_UtlFileExists(path)) {
    Sv_Debug::Error("Error loading color map: %s", path);
  }
  (map == 0 ? m_colorMapName : m_colorMap2Name) = path;
}

void Sd_SoundingStyle::ForgetMapName(int map) {
  std::string& name = map == 0 ? m_colorMapName : m_colorMap2Name;
  name.clear();
  name.shrink_to_fit();
}

int Sd_SoundingStyle::GetAttributeRange(int i, float* low, float* high) const {
  const bool set = i >= 0 && i < kAttributeCount && m_attrRangeSet[i];
  if (low) *low = set ? m_attrRange[i][0] : 0.0f;
  if (high) *high = set ? m_attrRange[i][1] : 0.0f;
  return set ? 1 : 0;
}
