// 3-D lines: construction, the class configuration, records and settings.
#include "Sd_Lines3D.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Sv_Debug.h"
#include "Sv_HersheyFont.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

constexpr int kRecordVersion = 3;
constexpr int kSettingsVersion = 6;
constexpr const char* kWhere = "Sd_Lines3D::LoadObject";

// The header of the object record as read, applied only when the whole
// record was read.
struct RecordHeader {
  int polygon = 0;
  int lineCount = 0;
  int fileVertices = 0;
  int attributePresent = 0;
  int attributeMaximum = 0;
  double labelScale = 1.0;
  int boxFlag = 0;
  double box[6] = {0, 0, 0, 0, 0, 0};
  double bounds[6] = {0, 0, 0, 0, 0, 0};
};

bool AllFinite(const double* v, int n) {
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(v[i])) return false;
  }
  return true;
}

bool Refuse(const char* text) {
  Sv_Debug::Message(SV_LEVEL_DEBUG, text, kWhere);
  return false;
}

// The rest of a payload read a chunk at a time: the lines of a record are
// many small fields, and asking the stream for its position before each of
// them (as every TDR_PayloadReader read does) would cost more than reading
// them. Never reads past the payload; any failure fails every later read.
class PayloadChunks {
 public:
  explicit PayloadChunks(TDR_PayloadReader& in)
      : m_in(in), m_left(in.Ok() ? in.Left() : 0), m_swap(Sv_UtlNeedsSwap(in.Manager()->GetByteOrder()) != 0) {}

  long long Left() const { return m_left + static_cast<long long>(m_end - m_pos); }
  bool Int32(int* v) { return Elements(v, 4, 1); }
  bool Float64s(double* v, int count) { return Elements(v, 8, count); }
  bool Bytes(void* v, int count) { return Elements(v, 1, count); }

  // count elements of size bytes, each swapped as one unit when the
  // file's byte order differs from this machine's.
  bool Elements(void* out, int size, int count) {
    const long long bytes = static_cast<long long>(size) * count;
    if (!m_ok || count < 0 || bytes > Left()) return m_ok = false;
    unsigned char* to = static_cast<unsigned char*>(out);
    for (long long rest = bytes; rest > 0;) {
      if (m_pos == m_end && !Refill()) return m_ok = false;
      const size_t n = static_cast<size_t>(std::min<long long>(rest, static_cast<long long>(m_end - m_pos)));
      memcpy(to, &m_buffer[m_pos], n);
      to += n;
      m_pos += n;
      rest -= static_cast<long long>(n);
    }
    if (m_swap && size > 1 && count > 0) Sv_UtlSwapBytes(out, size, count);
    return true;
  }

 private:
  static constexpr long long kChunk = 1 << 20;

  bool Refill() {
    const size_t n = static_cast<size_t>(std::min(kChunk, m_left));
    if (n == 0) return false;
    if (m_buffer.size() < n) m_buffer.resize(n);
    if (!m_in.Bytes(m_buffer.data(), static_cast<int>(n))) return false;
    m_pos = 0;
    m_end = n;
    m_left -= static_cast<long long>(n);
    return true;
  }

  TDR_PayloadReader& m_in;
  long long m_left;  // payload bytes not yet in the buffer
  bool m_swap;
  bool m_ok = true;
  std::vector<unsigned char> m_buffer;
  size_t m_pos = 0, m_end = 0;
};

}  // namespace

Sd_Lines3D::Sd_Lines3D()
    : m_segments(0),
      m_dataBounds{0, 0, 0, 0, 0, 0},
      m_colour{255, 255, 255, 255},
      m_labelScale(1.0),
      m_polygonMode(0),
      m_colourMode(0),
      m_attributePresent(0),
      m_attributeMaximum(0),
      m_fileVertexCount(0),
      m_lineWidth(2),
      m_fill(1),
      m_effectiveFill(0),
      m_dataCentres{0, 0, 0},
      m_dataExtents{1.0, 1.0, 1.0},
      m_inverseExtents{1.0, 1.0, 1.0},
      m_zOffset(0.0),
      m_detailStep(1),
      m_levelOfDetail(1),
      m_screenBox{0, 0, 0, 0, 0, 0},
      m_stepCursor(0),
      m_stepStage(0),
      m_matrixPushed(0),
      m_vertexBox{0, 0, 0, 0, 0, 0},
      m_vertexBoxValid(false) {
  SetType(kTypeId);
  ReadLineClass();
}

Sd_Lines3D::~Sd_Lines3D() {}

const char* Sd_Lines3D::className() const { return "Sd_Lines3D"; }

// "LineClass": after the version line, the colour mode ("%d") and the z
// offset ("%lf"), each on its own line. A missing file or line keeps the
// built-in value.
void Sd_Lines3D::ReadLineClass() {
  int version = 0;
  Sv_LineReader f;
  if (!Sv_UtlOpenConfigLines("LineClass", &version, &f)) return;
  std::string line;
  const size_t width = Sv_LineReader::kConfigurationLine;
  int mode = 0;
  if (f.ReadLine(&line, width) && sscanf(line.c_str(), "%d", &mode) == 1) m_colourMode = mode;
  double offset = 0.0;
  if (f.ReadLine(&line, width) && sscanf(line.c_str(), "%lf", &offset) == 1 && std::isfinite(offset)) m_zOffset = offset;
}

Sv_HersheyFont* Sd_Lines3D::LabelFont() const {
  if (!m_font) {
    m_font.reset(new Sv_HersheyFont());
    // A font that cannot be loaded stays empty: labels then take no room
    // and draw nothing.
    m_font->LoadFont("romancsfont.dat", 0.067f);
  }
  return m_font.get();
}

double Sd_Lines3D::LabelWidth(const char* text) const {
  return static_cast<double>(LabelFont()->GetStringWidth(text, 1.0f)) * m_labelScale;
}

// --- records ---

int Sd_Lines3D::LoadObject(TDR_Manager* manager) {
  if (!manager) return 1;
  std::deque<Line> lines;
  if (!ReadLinesRecord(manager, &lines)) return 1;
  ClearLines();
  m_lines.swap(lines);
  for (const Line& line : m_lines) m_segments += line.segments;
  if (m_polygonMode) BuildPolygons();
  if (ReadCommonTags(manager) != 0) {
    // A damaged common tag makes the object unusable; it is left empty.
    ClearLines();
    return -1;
  }
  UpdateLineColours();
  UpdateDerived();
  return 0;
}

bool Sd_Lines3D::ReadLinesRecord(TDR_Manager* manager, std::deque<Line>* lines) {
  TDR_PayloadReader in(manager);
  const int version = in.TagVersion();
  if (version == 0) {
    float format = 0.0f;
    in.Float32(&format);
    return Refuse("ERROR:  A lines record of tag version 0 cannot be read");
  }
  if (version < 1 || version > kRecordVersion) return Refuse("ERROR:  Unsupported version of the lines record");

  RecordHeader h;
  h.labelScale = m_labelScale;
  in.Int32(&h.polygon);
  in.Int32(&h.lineCount);
  in.Int32(&h.fileVertices);
  if (version >= 2) {
    in.Int32(&h.attributePresent);
    in.Int32(&h.attributeMaximum);
  }
  if (version >= 3) in.Float64(&h.labelScale);
  in.Int32(&h.boxFlag);
  in.Float64s(h.box, 6);
  in.Float64s(h.bounds, 6);
  if (!in.Ok()) return Refuse("ERROR:  The lines record is shorter than its header");
  if (!AllFinite(h.box, 6) || !AllFinite(h.bounds, 6) || !std::isfinite(h.labelScale)) {
    return Refuse("ERROR:  The lines record holds bounds that are not numbers");
  }
  // Polygon rings arrived with version 2; an older record's flag means nothing.
  if (version == 1) h.polygon = 0;
  const bool attributes = h.attributePresent != 0;

  // Every line takes at least its vertex count and one vertex, its label
  // count and its attribute.
  const long long leastPerLine = 4 + 24 + (version >= 3 ? 4 : 0) + (attributes ? 4 : 0);
  PayloadChunks chunks(in);
  if (h.lineCount < 0 || h.lineCount > chunks.Left() / leastPerLine) {
    return Refuse("ERROR:  The lines record holds more lines than it has room for");
  }
  for (int i = 0; i < h.lineCount; ++i) {
    int count = 0;
    if (!chunks.Int32(&count) || count < 1 || count > chunks.Left() / 24) {
      return Refuse("ERROR:  A line of the lines record has a vertex count it has no room for");
    }
    Line line;
    line.segments = count - 1;
    if (version >= 3) {
      int labels = 0;
      if (!chunks.Int32(&labels) || labels < 0 || labels > chunks.Left() / 8) {
        return Refuse("ERROR:  A line of the lines record has a label count it has no room for");
      }
      line.labelPositions.reserve(static_cast<size_t>(labels));
      line.labelTexts.reserve(static_cast<size_t>(labels));
      int previous = 0;
      for (int l = 0; l < labels; ++l) {
        int position = 0, length = 0;
        const bool read = chunks.Int32(&position) && chunks.Int32(&length);
        // A label's gap runs from its vertex to the next one; labels come
        // in the order of the line.
        if (!read || position < 0 || position > line.segments - 1 || position < previous) {
          return Refuse("ERROR:  A label of the lines record lies outside its line");
        }
        if (length < 0 || length > kMaxLabelLength || length > chunks.Left()) {
          return Refuse("ERROR:  A label text of the lines record is too long");
        }
        std::string text(static_cast<size_t>(length), '\0');
        if (length > 0 && !chunks.Bytes(&text[0], length)) return Refuse("ERROR:  Reading a label of the lines record");
        line.labelPositions.push_back(position);
        line.labelTexts.push_back(std::move(text));
        previous = position;
      }
    }
    if (attributes && !chunks.Int32(&line.attribute)) return Refuse("ERROR:  Reading a line attribute");
    if (count > chunks.Left() / 24) return Refuse("ERROR:  A line of the lines record is shorter than its vertices");
    line.xyz.reset(new (std::nothrow) double[3 * static_cast<size_t>(count)]);
    if (!line.xyz) return Refuse("ERROR:  Out of memory for the vertices of a line");
    if (!chunks.Float64s(line.xyz.get(), 3 * count)) return Refuse("ERROR:  Reading the vertices of a line");
    lines->push_back(std::move(line));
  }

  m_polygonMode = h.polygon != 0 ? 1 : 0;
  m_fileVertexCount = h.fileVertices;
  m_attributePresent = attributes ? 1 : 0;
  m_attributeMaximum = h.attributeMaximum;
  m_labelScale = h.labelScale;
  const double* box = h.boxFlag ? h.box : h.bounds;
  for (int a = 0; a < 3; ++a) SetBounds(a, static_cast<float>(box[2 * a]), static_cast<float>(box[2 * a + 1]));
  memcpy(m_dataBounds, h.bounds, sizeof(m_dataBounds));
  m_vertexBoxValid = false;
  return true;
}

int Sd_Lines3D::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager) return -1;
  if (manager->WriteTag(TDR_TAG_SD_LINES3D, kRecordVersion, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_polygonMode);
  out.Int32(GetLineCount());
  out.Int32(m_fileVertexCount);
  out.Int32(m_attributePresent);
  out.Int32(m_attributeMaximum);
  out.Float64(m_labelScale);
  out.Int32(1);  // the node's box follows
  for (float b : m_bounds) out.Float64(b);
  out.Float64s(m_dataBounds, 6);
  for (const Line& line : m_lines) {
    out.Int32(line.VertexCount());
    out.Int32(line.LabelCount());
    for (int l = 0; l < line.LabelCount(); ++l) {
      out.Int32(line.labelPositions[l]);
      out.Int32(static_cast<int>(line.labelTexts[l].size()));
      out.Bytes(line.labelTexts[l].data(), static_cast<int>(line.labelTexts[l].size()));
    }
    if (m_attributePresent) out.Int32(line.attribute);
    out.Float64s(line.xyz.get(), 3 * line.VertexCount());
  }
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_Lines3D::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_LINES3D_ATB, kSettingsVersion, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Write(m_colour, 4, 1);  // R, G, B, A as one unit
  out.Int32(m_detailStep);
  out.Int32(m_levelOfDetail);
  out.Int32(m_colourMode);
  out.Float64(m_zOffset);
  out.Int32(m_fill);
  out.Int32(m_lineWidth);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return 0;
}

int Sd_Lines3D::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_LINES3D_ATB) return 0;
  ReadSettingsRecord(manager);
  return 1;
}

// The settings record: the fields its version holds, all or none.
void Sd_Lines3D::ReadSettingsRecord(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  double version = in.TagVersion();
  if (version == 0) {
    float format = 0.0f;
    in.Float32(&format);
    version = format;
  }
  unsigned char colour[4];
  memcpy(colour, m_colour, sizeof(colour));
  int step = m_detailStep, lod = m_levelOfDetail, mode = m_colourMode, fill = m_fill, width = m_lineWidth;
  double offset = m_zOffset;
  if (version >= 2) in.Read(colour, 4, 1);
  if (version >= 3) {
    in.Int32(&step);
    in.Int32(&lod);
  }
  if (version >= 4) {
    in.Int32(&mode);
    in.Float64(&offset);
  }
  if (version >= 5) in.Int32(&fill);
  if (version >= 6) in.Int32(&width);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged lines settings record; defaults kept", manager->GetFileName());
    return;
  }
  memcpy(m_colour, colour, sizeof(colour));
  m_detailStep = UsableStep(step);
  m_levelOfDetail = lod;
  m_colourMode = mode;
  m_zOffset = std::isfinite(offset) ? offset : 0.0;
  m_fill = fill;
  m_effectiveFill = fill;
  // A width below 1 is an OpenGL error.
  m_lineWidth = width < 1 ? 1 : width;
}

int Sd_Lines3D::WriteSample(TDR_Manager* manager) {
  Sd_Lines3D sample;
  sample.SetPolygonMode(1);
  sample.SetAttributes(1, 3);
  sample.m_colourMode = 2;
  sample.SetColour(PackColour(200, 180, 40, 255));
  sample.SetLabelScale(2.0);
  sample.SetZOffset(0.125);
  sample.SetLineWidth(3);
  // A closed ring, counter-clockwise.
  const double rx[5] = {0.0, 40.0, 40.0, 0.0, 0.0}, ry[5] = {0.0, 0.0, 30.0, 30.0, 0.0};
  const double rz[5] = {-6.0, -6.0, -6.0, -6.0, -6.0};
  sample.AddLine(5, rx, ry, rz);
  // A labelled line, built directly so that the sample does not depend on
  // the font: label "12.5" in the gap from vertex 1 to vertex 2. It comes
  // first, so that a coarse step (which passes over the lines after the
  // first) still draws its labelled parts.
  const double x[4] = {0.0, 10.0, 14.0, 40.0}, y[4] = {35.0, 38.0, 39.0, 45.0}, z[4] = {-5.0, -5.0, -5.0, -4.0};
  sample.AddLine(4, x, y, z);
  sample.m_lines.front().labelPositions.push_back(1);
  sample.m_lines.front().labelTexts.push_back("12.5");
  sample.SetLineAttribute(0, 3);
  sample.SetLineAttribute(1, 1);
  unsigned* colours = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
  if (!colours) return -1;
  for (unsigned i = 0; i < 256; ++i) colours[i] = PackColour(i, 128, 255 - i, 255);
  sample.SetColorMap(colours);
  return sample.SaveObject(manager, 1, 0);
}

// --- settings kept across passes ---

void Sd_Lines3D::SaveSettings() { KeepDetailSettings(m_detailStep, m_levelOfDetail); }

void Sd_Lines3D::RestoreSettings() { KeptDetailSettings(&m_detailStep, &m_levelOfDetail); }

int Sd_Lines3D::ResetSettings() {
  m_detailStep = 1;
  m_levelOfDetail = 0;
  return 1;
}

// --- simple settings ---

void Sd_Lines3D::SetFillPolygons(bool on) {
  m_fill = on ? 1 : 0;
  m_effectiveFill = m_fill;
}

unsigned Sd_Lines3D::GetColour() const { return PackColour(m_colour[0], m_colour[1], m_colour[2], m_colour[3]); }

void Sd_Lines3D::SetColour(unsigned packed) {
  m_colour[0] = static_cast<unsigned char>(ColourRed(packed));
  m_colour[1] = static_cast<unsigned char>(ColourGreen(packed));
  m_colour[2] = static_cast<unsigned char>(ColourBlue(packed));
  m_colour[3] = static_cast<unsigned char>(ColourAlpha(packed));
}

void Sd_Lines3D::SetColourMode(int mode) {
  m_colourMode = mode;
  UpdateLineColours();
}

void Sd_Lines3D::SetPolygonMode(int on) {
  m_polygonMode = on ? 1 : 0;
  if (m_polygonMode) return;
  for (Line& line : m_lines) {
    line.triangles.reset();
    line.triangleCount = 0;
    line.triangleValid = 0;
  }
}

void Sd_Lines3D::SetAttributes(int present, int maximum) {
  m_attributePresent = present ? 1 : 0;
  m_attributeMaximum = maximum;
}

void Sd_Lines3D::SetLineAttribute(int i, int value) {
  if (i >= 0 && i < GetLineCount()) m_lines[static_cast<size_t>(i)].attribute = value;
}
