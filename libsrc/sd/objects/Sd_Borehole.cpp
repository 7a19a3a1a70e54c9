// The borehole object: its records and the text of its drill holes.
#include "Sd_Borehole.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "TDR_Colormap.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

constexpr int kDefaultSides = 6;
// Tube radius per unit of the holes' depth range.
constexpr float kRadiusPerDepth = 0.002f;

}  // namespace

struct Sd_Borehole::Holes {
  std::vector<std::unique_ptr<Sd_DrillHole>> holes;
  int points = 0;
};

Sd_Borehole::Sd_Borehole()
    : m_pointCount(0),
      m_dataBounds{0, 0, 0, 0, 0, 0},
      m_lowestClass(0),
      m_highestClass(0),
      m_tubeRadius(0.0f),
      m_tubeSides(kDefaultSides) {
  SetType(kTypeId);
  TDR_UtlBuiltInColormap(m_colours);
}

Sd_Borehole::~Sd_Borehole() {}

const char* Sd_Borehole::className() const { return "Borehole"; }

const Sd_DrillHole* Sd_Borehole::GetHole(int i) const {
  return i >= 0 && i < GetHoleCount() ? m_holes[static_cast<size_t>(i)].get() : nullptr;
}

void Sd_Borehole::SetTubeRadius(float radius) {
  m_tubeRadius = radius;
  for (auto& hole : m_holes) hole->SetRadius(radius);
}

void Sd_Borehole::SetTubeSides(int sides) {
  if (sides < 3) return;
  m_tubeSides = sides;
  for (auto& hole : m_holes) hole->SetSides(sides);
}

// --- records ---

int Sd_Borehole::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  {
    TDR_PayloadReader in(manager);
    float format = 0.0f;
    if (in.TagVersion() == 0) in.Float32(&format);
    if (!in.Ok()) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated borehole record", manager->GetFileName());
      return -1;
    }
  }
  // Any other record is left for the caller: it may be the next object.
  if (!ExpectTag(manager, TDR_TAG_BORE_DATA, "ERROR:  Expected TDR_TAG_BORE_DATA tag!")) return -1;

  // The whole text into memory; the passes never look beyond it. The
  // colour map after the payload is read before the text is judged, so
  // that a refused text still leaves reading at the next record.
  TDR_PayloadReader in(manager);
  int unused = 0;
  in.Int32(&unused);
  const long long textSize = static_cast<long long>(manager->GetTagLength()) - 4;
  std::string text;
  if (in.Ok() && textSize >= 0 && textSize <= in.Left()) {
    text.resize(static_cast<size_t>(textSize));
    in.Bytes(&text[0], static_cast<int>(textSize));
  } else {
    in.Fail();
  }
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated borehole data record", manager->GetFileName());
    return -1;
  }
  unsigned colours[256];
  if (!TDR_UtlReadColormapTag(manager, colours)) return -1;

  Holes read;
  if (ParseText(text.data(), text.size(), m_colours, &read) != 0) return -1;

  m_holes.swap(read.holes);
  m_pointCount = read.points;
  memcpy(m_colours, colours, sizeof(m_colours));
  for (size_t h = 0; h < m_holes.size(); ++h) {
    const Sd_DrillHole& hole = *m_holes[h];
    const double bounds[6] = {hole.GetMinX(), hole.GetMaxX(), hole.GetMinY(),
                              hole.GetMaxY(), hole.GetMinZ(), hole.GetMaxZ()};
    for (int a = 0; a < 6; a += 2) {
      m_dataBounds[a] = h == 0 ? bounds[a] : std::fmin(m_dataBounds[a], bounds[a]);
      m_dataBounds[a + 1] = h == 0 ? bounds[a + 1] : std::fmax(m_dataBounds[a + 1], bounds[a + 1]);
    }
    m_lowestClass = h == 0 ? hole.GetLowestClass() : std::min(m_lowestClass, hole.GetLowestClass());
    m_highestClass = h == 0 ? hole.GetHighestClass() : std::max(m_highestClass, hole.GetHighestClass());
  }
  if (m_holes.empty()) {
    for (double& b : m_dataBounds) b = 0.0;
    m_lowestClass = m_highestClass = 0;
  }
  m_tubeSides = kDefaultSides;
  m_tubeRadius = static_cast<float>(std::fabs(m_dataBounds[5] - m_dataBounds[4])) * kRadiusPerDepth;
  for (auto& hole : m_holes) {
    hole->SetRadius(m_tubeRadius);
    hole->SetSides(m_tubeSides);
    hole->SetSceneLowestClass(m_lowestClass);
    hole->SetSceneHighestClass(m_highestClass);
  }
  for (int a = 0; a < 3; ++a) {
    SetBounds(a, static_cast<float>(m_dataBounds[2 * a]), static_cast<float>(m_dataBounds[2 * a + 1]));
  }
  return 0;
}

// The text: leading lines up to the first "elems" line; one "elems" line
// per hole ("elems <name> <n>": n + 1 points), other lines between them
// ignored, up to the first "define" line; from there up to and including
// the "define vdata" line; then the points of the holes in order, one a
// line.
int Sd_Borehole::ParseText(const char* text, size_t size, const unsigned* colours, Holes* out) {
  Sd_TextLines lines(text, size);
  char line[Sd_TextLines::kLineSize];

  // The first "elems" line (which may be the text's first line).
  Sd_TextLines::Mark firstElems = lines.Tell();
  bool found = false;
  for (Sd_TextLines::Mark at = lines.Tell(); lines.Next(line); at = lines.Tell()) {
    if (Sd_TextLines::FirstWordIs(line, "elems")) {
      firstElems = at;
      found = true;
      break;
    }
  }
  // The point counts, one per "elems" line up to the first "define" line.
  std::vector<long long> counts;
  lines.Seek(firstElems);
  for (Sd_TextLines::Mark at = lines.Tell(); found && lines.Next(line); at = lines.Tell()) {
    if (Sd_TextLines::FirstWordIs(line, "define")) {
      lines.Seek(at);
      break;
    }
    if (!Sd_TextLines::FirstWordIs(line, "elems")) continue;
    char keyword[Sd_TextLines::kLineSize], name[Sd_TextLines::kLineSize];
    long long n = -1;
    // A line without its number announces no points; a number beyond any
    // text's lines stays beyond them.
    if (sscanf(line, "%255s%255s%lli", keyword, name, &n) != 3 || n < 0) n = -1;
    counts.push_back(n < INT_MAX ? n + 1 : INT_MAX);
  }
  // Up to and including the "define vdata" line, then the points.
  while (found && lines.Next(line) && !Sd_TextLines::FirstWordsAre(line, "define", "vdata")) {
  }
  // Every count is checked against the lines left before a hole is made.
  long long left = lines.CountLeft();
  for (long long count : counts) {
    if (Sd_DrillHole::CheckPointCount(count, left) != 0) return -1;
    left -= count;
  }
  out->holes.reserve(counts.size());
  for (long long count : counts) {
    std::unique_ptr<Sd_DrillHole> hole(new Sd_DrillHole());
    hole->SetColourMap(colours);
    hole->SetPointCount(static_cast<int>(count));
    if (hole->ReadPoints(&lines) != 0) return -1;
    out->points += hole->GetPointCount();
    out->holes.push_back(std::move(hole));
  }
  return 0;
}

int Sd_Borehole::SaveObject(TDR_Manager*, int, int) { return 0; }

int Sd_Borehole::WriteRecords(TDR_Manager* manager, const char* text, int size, const unsigned* colours,
                              short tagVersion) {
  if (!manager || size < 0 || (size > 0 && !text) || !colours) return -1;
  if (manager->WriteTag(TDR_TAG_SD_BOREHOLE, tagVersion, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter record(manager);
  if (tagVersion == 0) record.Float32(1.0f);
  if (!record.Ok() || manager->EndTag() != 0) return -1;
  if (manager->WriteTag(TDR_TAG_BORE_DATA, tagVersion, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter data(manager);
  data.Int32(0);
  if (size > 0) data.Bytes(text, size);
  if (!data.Ok() || manager->EndTag() != 0) return -1;
  // The colour map follows the payload, outside its length.
  return TDR_UtlWriteColormapTag(manager, colours);
}

int Sd_Borehole::WriteSample(TDR_Manager* manager) {
  static const char kText[] =
      "Sample boreholes\n"
      "elems HOLE-A 2\n"
      "elems HOLE-B 1\n"
      "define vdata\n"
      "100 200 -10 1\n"
      "110 205 -30 2\n"
      "120 210 -60 5\n"
      "150 250 -5 1\n"
      "160 240 -40 5\n";
  unsigned colours[256];
  for (unsigned i = 0; i < 256; ++i) colours[i] = PackColour(i, i, i, 255);
  colours[0] = PackColour(200, 60, 40, 255);
  colours[255] = PackColour(40, 90, 220, 255);
  return WriteRecords(manager, kText, static_cast<int>(sizeof(kText) - 1), colours, 0);
}
