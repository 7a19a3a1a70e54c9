// Surface plot and spectrum: the kinds, records, texts, ranges, ticks and
// attributes.
#include "Sd_SurfacePlot.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Sd_TextScan.h"
#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// What a line of the object record's text header holds.
enum Field { kTitleLine, kXLabelLine, kYLabelLine, kZLabelLine, kXRange, kYRange, kZRange };

// The largest text header read; the lines of a header are far shorter, and
// whatever a record holds beyond this is not part of it.
constexpr long long kMaxHeaderBytes = 16384;

constexpr const char* kFontFile = "romancsfont.dat";

// Attribute record: u16 mode, f32 label plane z, i32 drawing, progressive
// and third step, i32 line width, u32 axis colour.
constexpr int kAttributeVersion = 1;

int ClampStep(int step) { return std::clamp(step, 1, Sd_BaseDTM::kMaxGridSide); }

// A number written the same whatever the process's locale, read back exactly.
std::string NumberText(double v) {
  char text[64];
  const std::to_chars_result r = std::to_chars(text, text + sizeof(text), v);
  return r.ec == std::errc() ? std::string(text, r.ptr) : std::string("0");
}

// Next line of text at p (up to end): without its "\n" or "\r\n"; false at
// the end of the text.
bool NextLine(const char*& p, const char* end, std::string* line) {
  if (p >= end) return false;
  const char* eol = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
  const char* stop = eol ? eol : end;
  const char* cut = stop > p && stop[-1] == '\r' ? stop - 1 : stop;
  line->assign(p, cut);
  p = eol ? eol + 1 : end;
  return true;
}

}  // namespace

// The differences between the two kinds of plot.
struct Sd_PlotDTM::Kind {
  int type;
  int objectTag;
  int attributeTag;
  const char* className;
  // The lines of the text header after its first (ignored) line.
  Field fields[7];
  int fieldCount;
  // Whole-number x range and logarithmic x axis.
  bool spectrum;
  // Font scales: title, tick labels, axis labels.
  float fontScales[3];
  int drawStep;
  int passStep;
  unsigned char axisColour[4];
  const char* noScalarMessage;
  // Level of the message of a missing colour record.
  int colourMessageLevel;
  const char* damagedObject;
  const char* damagedAttributes;
  const char* sizeMessage;
  const char* yTickFormat;
};

namespace {

constexpr Sd_PlotDTM::Kind kSurfacePlot = {
    Sd_SurfacePlot::kTypeId,
    TDR_TAG_SD_SURFACEPLOT,
    TDR_TAG_SD_SURFACEPLOT_ATB,
    "Sd_SurfacePlot",
    {kTitleLine, kXLabelLine, kXRange, kYLabelLine, kYRange, kZLabelLine, kZRange},
    7,
    false,
    {0.005f, 0.002f, 0.0035f},
    2,
    2,
    {255, 255, 255, 255},
    "ERROR:  Reading tag to load surface plot object  -  expected TDR_TAG_SCALAR!",
    SV_LEVEL_DEBUG,
    "ERROR:  Damaged surface plot object record",
    "ERROR:  Damaged surface plot attribute record; attributes kept",
    "ERROR:  A surface plot needs at least 2 x 2 nodes",
    "%.0f"};

constexpr Sd_PlotDTM::Kind kSpectrum = {
    Sd_SpectrumDTM::kTypeId,
    TDR_TAG_SD_SPECTRUMDTM,
    TDR_TAG_SD_SPECTRUMDTM_ATB,
    "Sd_SpectrumDTM",
    {kXLabelLine, kXRange, kYLabelLine, kYRange, kTitleLine},
    5,
    true,
    {0.005f, 0.002f, 0.005f},
    4,
    2,
    {160, 160, 160, 255},
    "ERROR:  Reading tag to load spectrum object  -  expected TDR_TAG_SCALAR!",
    SV_LEVEL_ERROR,
    "ERROR:  Damaged spectrum object record",
    "ERROR:  Damaged spectrum attribute record; attributes kept",
    "ERROR:  A spectrum needs at least 2 x 2 nodes",
    "%.1f"};

// Reads the next tag header: true when it is a SCALAR record; otherwise
// sends message at level and leaves that record for the caller.
bool ExpectScalar(TDR_Manager* manager, const char* message, int level) {
  const int read = manager->ReadTag(nullptr);
  if (read == TDR_TAG_SCALAR) return true;
  Sv_Debug::Message(level, message);
  if (read != TDR_TAG_ERROR) manager->UnreadTagHeader();
  return false;
}

}  // namespace

Sd_PlotDTM::Sd_PlotDTM(const Kind& kind)
    : m_kind(kind),
      m_drawStep(kind.drawStep),
      m_passStep(kind.passStep),
      m_thirdStep(1),
      m_labelZ(-0.5f),
      m_stepInUse(10),
      m_currentRow(0),
      m_texts{},
      m_ranges{{0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0}},
      m_lineWidth(1),
      m_axisColour{kind.axisColour[0], kind.axisColour[1], kind.axisColour[2], kind.axisColour[3]} {
  SetType(kind.type);
  SetRedrawPending(0);
  SetDrawn(1);
  m_drawMode = 1;
  m_pickPos[0] = -1.0f;
  if (kind.spectrum) m_ranges[0][0] = 1.0, m_ranges[0][1] = 10.0;
  // A plot without its fonts still draws its axes and surface. Every plot
  // and label of a scene would say the same: reported once.
  Sv_HersheyFont* fonts[3] = {&m_titleFont, &m_tickFont, &m_axisFont};
  for (int i = 0; i < 3; ++i) {
    if (fonts[i]->LoadFont(kFontFile, kind.fontScales[i]) != 0) {
      Sv_Debug::MessageOnce("font romancsfont.dat", SV_LEVEL_DEBUG, "ERROR: Could not initialize font!", kFontFile);
    }
  }
}

Sd_PlotDTM::~Sd_PlotDTM() {}

void Sd_PlotDTM::FreeData() {}

const char* Sd_PlotDTM::className() const { return m_kind.className; }

bool Sd_PlotDTM::IsSpectrum() const { return m_kind.spectrum; }

// --- texts, ranges and attributes ---

const char* Sd_PlotDTM::GetText(Text which) const {
  return which >= 0 && which < kTextCount ? m_texts[which] : "";
}

void Sd_PlotDTM::SetText(Text which, const char* text) {
  if (which < 0 || which >= kTextCount) return;
  char* out = m_texts[which];
  out[0] = '\0';
  if (!text) return;
  // One line: the record keeps each text on a line of its own.
  const size_t n = std::min(strcspn(text, "\r\n"), static_cast<size_t>(kMaxText));
  memcpy(out, text, n);
  out[n] = '\0';
}

const double* Sd_PlotDTM::GetRange(int axis) const { return axis >= 0 && axis < 3 ? m_ranges[axis] : nullptr; }

void Sd_PlotDTM::SetRange(int axis, double min, double max) {
  if (axis < 0 || axis > 2) return;
  if (axis == 0 && m_kind.spectrum) {
    auto whole = [](double v) {
      return std::isfinite(v) ? std::trunc(std::clamp(v, double(INT_MIN), double(INT_MAX))) : 0.0;
    };
    min = whole(min);
    max = whole(max);
  }
  m_ranges[axis][0] = min;
  m_ranges[axis][1] = max;
}

void Sd_PlotDTM::SetSteps(int drawStep, int passStep, int thirdStep) {
  m_drawStep = ClampStep(drawStep);
  m_passStep = ClampStep(passStep);
  m_thirdStep = thirdStep;
}

void Sd_PlotDTM::SetAxisColour(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  m_axisColour[0] = r;
  m_axisColour[1] = g;
  m_axisColour[2] = b;
  m_axisColour[3] = a;
}

// --- detail settings ---

void Sd_PlotDTM::SaveSettings() { KeepDetailSettings(m_drawStep, 0); }

void Sd_PlotDTM::RestoreSettings() {
  int step = m_drawStep, unused = 0;
  if (KeptDetailSettings(&step, &unused)) m_drawStep = ClampStep(step);
}

int Sd_PlotDTM::ResetSettings() {
  m_drawStep = 1;
  return 1;
}

// --- axes ---

double Sd_PlotDTM::ColumnPosition(int c) const {
  if (!m_kind.spectrum) return c;
  const double cols = GetCols();
  return std::log(c + 1.0) / std::log(cols + 1.0) * cols;
}

std::vector<Sd_PlotDTM::Tick> Sd_PlotDTM::XTicks() const {
  std::vector<Tick> ticks;
  char text[64];
  const double lo = m_ranges[0][0], hi = m_ranges[0][1];
  if (!m_kind.spectrum) {
    for (int i = 0; i <= 4; ++i) {
      snprintf(text, sizeof text, "%.1f", lo + i * (hi - lo) / 4.0);
      ticks.push_back({i * 0.25f - 0.5f, text});
    }
    return ticks;
  }
  // Decades d = min, 10 min, ... below max, ticks at d, 2d and 4d. A range
  // from 0 or below has no decades to step through; the stepping stops
  // before a decade would leave the range of the recorded whole numbers.
  if (lo < 1.0) return ticks;
  // An empty plot places its ticks as one of a single column would.
  const double cols = std::max(GetCols(), 1);
  for (long long d = static_cast<long long>(lo); d < hi && d <= INT_MAX; d *= 10) {
    for (long long v = d; v < 5 * d && v <= INT_MAX; v *= 2) {
      snprintf(text, sizeof text, "%.1lld", v);
      const double x = std::log(10.0 * cols / static_cast<double>(v) + 1.0) / std::log(cols + 1.0) - 0.5;
      ticks.push_back({static_cast<float>(x), text});
    }
  }
  return ticks;
}

std::vector<Sd_PlotDTM::Tick> Sd_PlotDTM::YTicks() const {
  std::vector<Tick> ticks;
  char text[64];
  const double lo = m_ranges[1][0], hi = m_ranges[1][1];
  for (int i = 0; i <= 4; ++i) {
    snprintf(text, sizeof text, m_kind.yTickFormat, lo + i * (hi - lo) / 4.0);
    ticks.push_back({i * 0.25f - 0.5f, text});
  }
  return ticks;
}

// --- records ---

bool Sd_PlotDTM::ReadTextHeader(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  float format = 0.0f;
  if (manager->GetTagVersion() == 0) in.Float32(&format);
  std::string text(static_cast<size_t>(std::clamp(in.Left(), 0LL, kMaxHeaderBytes)), '\0');
  if (!text.empty()) in.Bytes(&text[0], static_cast<int>(text.size()));

  const char* p = text.data();
  const char* end = p + text.size();
  std::string line;
  bool ok = in.Ok() && NextLine(p, end, &line);  // the first line is not used
  char texts[kTextCount][kMaxText + 1] = {};
  double ranges[3][2];
  memcpy(ranges, m_ranges, sizeof ranges);
  for (int i = 0; ok && i < m_kind.fieldCount; ++i) {
    ok = NextLine(p, end, &line);
    if (!ok) break;
    const Field f = m_kind.fields[i];
    if (f <= kZLabelLine) {
      const size_t n = std::min(line.size(), static_cast<size_t>(kMaxText));
      memcpy(texts[f - kTitleLine], line.data(), n);
      continue;
    }
    // A range line that does not hold its two numbers leaves the range as
    // it was.
    const int axis = f - kXRange;
    int ints[2] = {0, 0};
    double reals[2] = {0.0, 0.0};
    if (axis == 0 && m_kind.spectrum) {
      if (Sd_TextScan::Scan(line, "ii", ints, nullptr)) ranges[0][0] = ints[0], ranges[0][1] = ints[1];
    } else if (Sd_TextScan::Scan(line, "ff", nullptr, reals)) {
      ranges[axis][0] = reals[0];
      ranges[axis][1] = reals[1];
    }
  }
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, m_kind.damagedObject, manager->GetFileName());
    return false;
  }
  memcpy(m_texts, texts, sizeof texts);
  memcpy(m_ranges, ranges, sizeof ranges);
  return true;
}

std::string Sd_PlotDTM::TextHeader() const {
  std::string text = std::string(m_kind.className) + "\n";
  for (int i = 0; i < m_kind.fieldCount; ++i) {
    const Field f = m_kind.fields[i];
    if (f <= kZLabelLine) {
      text += m_texts[f - kTitleLine];
    } else {
      const double* r = m_ranges[f - kXRange];
      text += NumberText(r[0]) + " " + NumberText(r[1]);
    }
    text += "\n";
  }
  return text;
}

int Sd_PlotDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  ReleaseGrids();
  m_pickPos[0] = -1.0f;
  if (!ReadTextHeader(manager)) return -1;
  bool ok = ExpectScalar(manager, m_kind.noScalarMessage, SV_LEVEL_DEBUG) && LoadElevations(manager) == 0 &&
            ExpectScalar(manager, m_kind.noScalarMessage, m_kind.colourMessageLevel) && LoadColors(manager) == 0;
  // The unit box divides by rows - 1 and cols - 1.
  if (ok && !HasDrawableGrids()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, m_kind.sizeMessage, manager->GetFileName());
    ok = false;
  }
  if (!ok || ReadCommonTags(manager) != 0 || !RangesUsable(manager->GetFileName())) {
    ReleaseGrids();
    return -1;
  }
  if (!m_kind.spectrum) {
    SetSteps(1, 1, 1);
    SetScale(static_cast<float>(GetCols()) / static_cast<float>(GetRows()), *GetScale('y'), 0.2f);
  }
  return 0;
}

int Sd_PlotDTM::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != m_kind.attributeTag) return 0;
  TDR_PayloadReader in(manager);
  float format = 0.0f;
  if (manager->GetTagVersion() == 0) in.Float32(&format);
  short mode = 0;
  float labelZ = 0.0f;
  int words[4] = {0, 0, 0, 0};
  unsigned colour = 0;
  in.Read(&mode, 2, 1);
  in.Float32(&labelZ);
  in.Int32s(words, 4);
  in.Read(&colour, 4, 1);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, m_kind.damagedAttributes, manager->GetFileName());
    return 1;
  }
  m_drawMode = mode;
  m_labelZ = std::isfinite(labelZ) ? labelZ : -0.5f;
  SetSteps(words[0], words[1], words[2]);
  m_lineWidth = words[3];
  SetAxisColour(ColourRed(colour), ColourGreen(colour), ColourBlue(colour), ColourAlpha(colour));
  return 1;
}

int Sd_PlotDTM::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(m_kind.attributeTag, kAttributeVersion, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Write(&m_drawMode, 2, 1);
  out.Float32(m_labelZ);
  const int words[4] = {m_drawStep, m_passStep, m_thirdStep, m_lineWidth};
  out.Int32s(words, 4);
  const unsigned colour = PackColour(m_axisColour[0], m_axisColour[1], m_axisColour[2], m_axisColour[3]);
  out.Write(&colour, 4, 1);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_PlotDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager) return -1;
  // The grids stay in the file they came from. A pointer to the file being
  // written would name itself once the write is done, and one to no file
  // would lose the grids: the records are written instead.
  if (!manager->IsOtherExistingFile(GetDescription())) return SaveDataRecords(manager, withCommonTags);
  if (manager->WriteTag(m_kind.objectTag, 1, 0, 1, 1) != 0 || manager->WriteFilePointerString(GetDescription()) != 0 ||
      manager->EndTag() != 0) {
    return -1;
  }
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_PlotDTM::SaveDataRecords(TDR_Manager* manager, int withCommonTags) {
  if (!manager || !HasDrawableGrids()) return -1;
  if (manager->WriteTag(m_kind.objectTag, 1, 0, 0, 1) != 0) return -1;
  const std::string header = TextHeader();
  TDR_PayloadWriter out(manager);
  out.Bytes(header.data(), static_cast<int>(header.size()));
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return SaveGridRecords(manager, withCommonTags);
}

int Sd_PlotDTM::WritePlotSample(Sd_PlotDTM* plot, TDR_Manager* manager) {
  if (plot->FillSample(4, 5) != 0) return -1;
  plot->SetText(kTitle, "Sample plot");
  plot->SetText(kXLabel, "Frequency");
  plot->SetText(kYLabel, "Time");
  plot->SetText(kZLabel, "Level");
  plot->SetRange(0, 1.0, 1000.0);
  plot->SetRange(1, -2.5, 7.5);
  plot->SetRange(2, 0.0, 60.0);
  plot->m_drawMode = 0;
  plot->m_labelZ = -0.25f;
  plot->m_lineWidth = 2;
  plot->SetAxisColour(200, 210, 220, 255);
  // A loaded surface plot draws at step 1: its sample says so, so that the
  // sample saves back as it was written.
  if (plot->m_kind.spectrum) plot->SetSteps(3, 2, 5);
  else plot->SetSteps(1, 1, 1);
  return plot->SaveDataRecords(manager, 1);
}

// --- the two kinds ---

Sd_SurfacePlot::Sd_SurfacePlot() : Sd_PlotDTM(kSurfacePlot) {}

int Sd_SurfacePlot::WriteSample(TDR_Manager* manager) {
  Sd_SurfacePlot plot;
  return WritePlotSample(&plot, manager);
}

Sd_SpectrumDTM::Sd_SpectrumDTM() : Sd_PlotDTM(kSpectrum) {}

int Sd_SpectrumDTM::WriteSample(TDR_Manager* manager) {
  Sd_SpectrumDTM plot;
  return WritePlotSample(&plot, manager);
}
