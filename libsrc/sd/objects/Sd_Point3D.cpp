// 3-D point sets: the point texts, construction, records, settings,
// colours, bounds and the file helpers. Drawing is in Sd_Point3DDraw.cpp.
#include "Sd_Point3D.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_Geo.h"
#include "Sv_HersheyFont.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"

namespace {

// Doubles read in one call from a block of fixed-size point records.
constexpr int kChunkDoubles = 1 << 19;
// The window through which point blocks with texts are read.
constexpr long long kCursorBytes = 1 << 18;
// Points written per call in a block of fixed-size records.
constexpr int kWriteChunkPoints = 4096;
// Longest text a 16-bit length field can give.
constexpr long long kMaxShortText = 65535;

const unsigned kWhite = 0xFFFFFFFFu;

// The key and text of the message of a label font that cannot be loaded.
constexpr const char* kFontKey = "font romancsfont.dat";
constexpr const char* kFontMessage = "ERROR: Could not initialize font!";

void MessageWithPath(int level, const char* text, const char* path) {
  std::string message(text);
  message += path ? path : "(null)";
  Sv_Debug::Message(level, message.c_str());
}

template <typename T>
T* AllocArray(long long count) {
  if (count <= 0) return nullptr;
  return static_cast<T*>(malloc(static_cast<size_t>(count) * sizeof(T)));
}

Sd_Point3D::Position* AllocPositions(long long count) { return AllocArray<Sd_Point3D::Position>(count); }

unsigned Opaque(unsigned colour) { return colour | 0xFF000000u; }

// Colour-map index of v over [low, low + range]; entry 0 for a range
// without extent (flat data, an empty value range) and for values that are
// not numbers.
int MapIndex(double v, double low, float range) {
  if (!(range > 0.0f)) return 0;
  const double t = (v - low) / range * 255.0;
  if (!(t > 0.0)) return 0;
  if (t >= 255.0) return 255;
  return static_cast<int>(t);
}

// Reads the texts of a point block through a window of the payload, which
// it fills in large pieces: numbers are taken from the window and swapped
// there, texts longer than the window are read straight to their place.
class BlockCursor {
 public:
  explicit BlockCursor(TDR_PayloadReader& in) : m_in(in), m_swap(Sv_UtlNeedsSwap(in.Manager()->GetByteOrder()) != 0) {
    const long long size = std::max<long long>(64, std::min(in.Left(), kCursorBytes));
    m_buffer = static_cast<unsigned char*>(malloc(static_cast<size_t>(size)));
    m_size = m_buffer ? static_cast<size_t>(size) : 0;
  }
  ~BlockCursor() { free(m_buffer); }
  BlockCursor(const BlockCursor&) = delete;
  BlockCursor& operator=(const BlockCursor&) = delete;

  bool Ok() const { return m_buffer != nullptr; }
  // Bytes of the block not taken yet.
  long long Left() const { return static_cast<long long>(m_end - m_pos) + m_in.Left(); }

  bool Doubles(double* out, int n) {
    const size_t bytes = 8 * static_cast<size_t>(n);
    if (!Need(bytes)) return false;
    memcpy(out, m_buffer + m_pos, bytes);
    m_pos += bytes;
    if (m_swap) Sv_UtlSwapBytes(out, 8, n);
    return true;
  }
  // A length field of 4 (int32) or 2 (uint16) bytes.
  bool Length(int bytes, long long* length) {
    if (!Need(static_cast<size_t>(bytes))) return false;
    if (bytes == 4) {
      int32_t v;
      memcpy(&v, m_buffer + m_pos, 4);
      if (m_swap) Sv_UtlSwapBytes(&v, 4, 1);
      *length = v;
    } else {
      uint16_t v;
      memcpy(&v, m_buffer + m_pos, 2);
      if (m_swap) Sv_UtlSwapBytes(&v, 2, 1);
      *length = v;
    }
    m_pos += static_cast<size_t>(bytes);
    return true;
  }
  bool Text(char* out, long long length) {
    if (length < 0 || length > Left()) return false;
    const size_t inWindow = std::min(static_cast<size_t>(length), m_end - m_pos);
    memcpy(out, m_buffer + m_pos, inWindow);
    m_pos += inWindow;
    const long long rest = length - static_cast<long long>(inWindow);
    return rest == 0 || m_in.Bytes(out + inWindow, static_cast<int>(rest));
  }

 private:
  // Makes n bytes (at most the window's size) available at m_pos.
  bool Need(size_t n) {
    if (m_end - m_pos >= n) return true;
    if (n > m_size) return false;
    memmove(m_buffer, m_buffer + m_pos, m_end - m_pos);
    m_end -= m_pos;
    m_pos = 0;
    const long long more = std::min<long long>(static_cast<long long>(m_size - m_end), m_in.Left());
    if (static_cast<long long>(m_end) + more < static_cast<long long>(n)) return false;
    if (more > 0 && !m_in.Bytes(m_buffer + m_end, static_cast<int>(more))) return false;
    m_end += static_cast<size_t>(more);
    return true;
  }

  TDR_PayloadReader& m_in;
  bool m_swap;
  unsigned char* m_buffer = nullptr;
  size_t m_size = 0;
  size_t m_pos = 0;
  size_t m_end = 0;
};

// Writes a text with a length field of 4 or 2 bytes (a missing text as
// length 0).
void WriteText(TDR_PayloadWriter& out, int lengthBytes, const char* text) {
  const size_t n = text ? strlen(text) : 0;
  if (lengthBytes == 4) {
    out.Int32(static_cast<int>(n));
  } else {
    const uint16_t v = static_cast<uint16_t>(n);
    out.Write(&v, 2, 1);
  }
  if (n) out.Bytes(text, static_cast<int>(n));
}

// Whether a text fits a length field of that many bytes.
bool TextFits(const char* text, int lengthBytes) {
  if (!text) return true;
  const size_t n = strlen(text);
  return lengthBytes == 4 ? n <= 0x7FFFFFFFu : n <= static_cast<size_t>(kMaxShortText);
}

}  // namespace

// --- point texts ---

void Sd_PointTexts::Clear() {
  free(m_pool);
  free(m_offset);
  m_pool = nullptr;
  m_offset = nullptr;
  m_used = m_capacity = 0;
  m_count = 0;
}

bool Sd_PointTexts::Reset(int count) {
  Clear();
  if (count <= 0) return true;
  m_offset = static_cast<uint32_t*>(malloc(static_cast<size_t>(count) * sizeof(uint32_t)));
  if (!m_offset) return false;
  std::fill(m_offset, m_offset + count, kNone);
  m_count = count;
  return true;
}

const char* Sd_PointTexts::Get(int i) const {
  if (i < 0 || i >= m_count || m_offset[i] == kNone) return nullptr;
  return m_pool + m_offset[i];
}

char* Sd_PointTexts::Add(int i, size_t length, long long moreAtMost) {
  if (i < 0 || i >= m_count) return nullptr;
  // Offsets are 32-bit: the block stays below 4 GiB.
  if (length >= kNone - m_used) return nullptr;
  const size_t need = m_used + length + 1;
  if (need > m_capacity) {
    size_t grown = std::max<size_t>(2 * m_capacity, 256);
    if (moreAtMost >= 0) grown = std::min<size_t>(grown, need + static_cast<size_t>(moreAtMost));
    grown = std::min<size_t>(std::max(grown, need), kNone);
    char* pool = static_cast<char*>(realloc(m_pool, grown));
    if (!pool) return nullptr;
    m_pool = pool;
    m_capacity = grown;
  }
  char* text = m_pool + m_used;
  text[length] = '\0';
  m_offset[i] = static_cast<uint32_t>(m_used);
  m_used = need;
  return text;
}

bool Sd_PointTexts::Set(int i, const char* text) {
  if (i < 0 || i >= m_count) return false;
  if (!text) {
    m_offset[i] = kNone;
    return true;
  }
  const size_t n = strlen(text);
  char* to = Add(i, n);
  if (!to) return false;
  memcpy(to, text, n);
  return true;
}

void Sd_PointTexts::Swap(Sd_PointTexts& other) {
  std::swap(m_pool, other.m_pool);
  std::swap(m_used, other.m_used);
  std::swap(m_capacity, other.m_capacity);
  std::swap(m_offset, other.m_offset);
  std::swap(m_count, other.m_count);
}

Sd_Point3D::Block::~Block() { free(points); }

// --- construction ---

Sd_Point3D::Sd_Point3D()
    : m_points(nullptr),
      m_pointColours(nullptr),
      m_coloursStale(0),
      m_count(0),
      m_dimension(0),
      m_pointBounds{0, 0, 0, 0, 0, 0},
      m_pointCentre{0, 0, 0},
      m_pointExtent{1.0, 1.0, 1.0},
      m_valueRange{0, 0},
      m_valueFlag(0),
      m_labelFlag(0),
      m_colour(kWhite),
      m_detailStep(10),
      m_lodOn(1),
      m_colourMode(0),
      m_userIndex(-1),
      m_symbolCode(kCube),
      m_symbolSize(0.02f),
      m_symbolScale{5.0f, 5.0f, 5.0f},
      m_symbolFactor(0.02f),
      m_zOffset(0.0f),
      m_font(nullptr),
      m_showLabels(1),
      m_labelSize(0.5f),
      m_stepCursor(0),
      m_stepStage(0),
      m_matrixPushed(0),
      m_stepStride(1),
      m_screenBox{-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f} {
  Init();
}

Sd_Point3D::Sd_Point3D(int count, int dimension, const double* const* xyz, const double* values,
                       const char* const* labels)
    : Sd_Point3D() {
  if (count <= 0 || (dimension != 2 && dimension != 3) || !xyz) return;
  Block block;
  block.points = AllocPositions(count);
  if (!block.points || (labels && !block.labels.Reset(count))) return;
  RecordHead head;
  head.count = count;
  head.dimension = dimension;
  head.valueFlag = values ? 1 : 0;
  head.labelFlag = labels ? 1 : 0;
  for (int i = 0; i < count; ++i) {
    const double* p = xyz[i];
    block.points[i] = {p ? p[0] : 0.0, p ? p[1] : 0.0, (p && dimension == 3) ? p[2] : 0.0, values ? values[i] : 0.0};
    if (labels && labels[i] && !block.labels.Set(i, labels[i])) return;
  }
  Measure(&head, block);
  Install(head, &block);
  PrepareDrawing();
  ApplyColoursAndFont();
}

void Sd_Point3D::Init() {
  SetType(kTypeId);
  ReadPointClass();
}

// "PointClass": after the version line, five lines taken by position:
// colour mode, symbol code, symbol size (factor), label size, z offset. When
// the file ends early, the remaining fields are parsed from the last line.
void Sd_Point3D::ReadPointClass() {
  int version = 0;
  Sv_LineReader f;
  if (!Sv_UtlOpenConfigLines("PointClass", &version, &f)) return;
  std::string line, read;
  auto next = [&]() -> const char* {
    // At the end of the file the last line read stays.
    if (f.ReadLine(&read, Sv_LineReader::kConfigurationLine)) line = read;
    return line.c_str();
  };
  sscanf(next(), "%d", &m_colourMode);
  sscanf(next(), "%d", &m_symbolCode);
  float size = m_symbolFactor;
  if (sscanf(next(), "%f", &size) == 1) m_symbolSize = m_symbolFactor = size;
  sscanf(next(), "%f", &m_labelSize);
  sscanf(next(), "%f", &m_zOffset);
}

Sd_Point3D::~Sd_Point3D() {
  ReleasePoints();
  delete m_font;
}

void Sd_Point3D::ReleasePoints() {
  free(m_points);
  free(m_pointColours);
  m_points = nullptr;
  m_pointColours = nullptr;
  m_coloursStale = 0;
  m_labels.Clear();
  m_count = 0;
}

void Sd_Point3D::FreeData() {
  ReleasePoints();
  Sd_Node::FreeData();
}

const char* Sd_Point3D::className() const { return "Sd_Point3D"; }

unsigned Sd_Point3D::GetPointColour(int i) {
  if (i < 0 || i >= m_count) return 0;
  if (m_coloursStale) UpdatePointColours();
  return m_pointColours ? m_pointColours[i] : Opaque(m_colour);
}

// --- records ---

bool Sd_Point3D::ReadHead(TDR_PayloadReader& in, const BlockLayout& layout, RecordHead* head, const char* file) {
  int words[4] = {0, 0, 0, 0};
  if (!in.Int32s(words, 4)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated point record", file);
    return false;
  }
  head->count = words[0];
  head->dimension = words[1];
  head->valueFlag = words[2] != 0;
  head->labelFlag = words[3] != 0;
  if (head->dimension != 2 && head->dimension != 3) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A point record's dimension must be 2 or 3", file);
    return false;
  }
  if (head->count < 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A point record's count is negative", file);
    return false;
  }
  in.Float64s(head->bounds, 4);
  if (head->dimension == 3) in.Float64s(head->bounds + 4, 2);
  if (head->valueFlag) in.Float64s(head->valueRange, 2);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated point record", file);
    return false;
  }
  // The fewest bytes a point takes; the payload must hold them all.
  const long long perPoint = 8LL * (head->dimension + head->valueFlag) + (head->labelFlag ? layout.lengthBytes : 0) +
                             (layout.commands ? layout.lengthBytes : 0);
  if (head->count > in.Left() / perPoint) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The point record is shorter than its points", file);
    return false;
  }
  return true;
}

bool Sd_Point3D::ReadBlock(TDR_PayloadReader& in, const RecordHead& head, const BlockLayout& layout, Block* block,
                           const char* file) {
  const int n = head.count;
  const int d = head.dimension;
  const int k = d + (head.valueFlag ? 1 : 0);
  if (n == 0) return true;
  block->points = AllocPositions(n);
  if (!block->points || (head.labelFlag && !block->labels.Reset(n)) || (layout.commands && !block->commands.Reset(n))) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Out of memory for the points", file);
    return false;
  }

  if (!head.labelFlag && !layout.commands) {
    // Records of k doubles: read straight into the upper part of the point
    // array, in large pieces, then spread to four doubles a point from the
    // front (point i's four never reach the records of the points after it).
    double* all = reinterpret_cast<double*>(block->points);
    double* raw = all + static_cast<size_t>(4 - k) * n;
    const size_t total = static_cast<size_t>(k) * n;
    for (size_t done = 0; done < total;) {
      const int piece = static_cast<int>(std::min<size_t>(total - done, kChunkDoubles));
      if (!in.Float64s(raw + done, piece)) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the points of a point record", file);
        return false;
      }
      done += static_cast<size_t>(piece);
    }
    if (k < 4) {
      for (int i = 0; i < n; ++i) {
        const double* r = raw + static_cast<size_t>(k) * i;
        const Position p = {r[0], r[1], d == 3 ? r[2] : 0.0, head.valueFlag ? r[d] : 0.0};
        block->points[i] = p;
      }
    }
    return true;
  }

  BlockCursor cursor(in);
  if (!cursor.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Out of memory for the points", file);
    return false;
  }
  for (int i = 0; i < n; ++i) {
    double c[4];
    if (!cursor.Doubles(c, k)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the points of a point record", file);
      return false;
    }
    block->points[i] = {c[0], c[1], d == 3 ? c[2] : 0.0, head.valueFlag ? c[d] : 0.0};
    for (int t = 0; t < 2; ++t) {
      if (t == 0 ? !head.labelFlag : !layout.commands) continue;
      long long length = 0;
      if (!cursor.Length(layout.lengthBytes, &length) || length < 0 || length > cursor.Left()) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A text of a point record is negative or longer than the record",
                          file);
        return false;
      }
      if (length == 0) continue;
      Sd_PointTexts& texts = t == 0 ? block->labels : block->commands;
      char* to = texts.Add(i, static_cast<size_t>(length), cursor.Left() - length);
      if (!to || !cursor.Text(to, length)) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading a text of a point record", file);
        return false;
      }
    }
  }
  return true;
}

bool Sd_Point3D::WriteRecord(TDR_PayloadWriter& out, const BlockLayout& layout, const Sd_PointTexts* commands) const {
  for (int i = 0; i < m_count; ++i) {
    if (!TextFits(m_labels.Get(i), layout.lengthBytes) ||
        (commands && !TextFits(commands->Get(i), layout.lengthBytes))) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A label or command is too long for its length field", className());
      return false;
    }
  }
  // An empty set has no dimension yet; it is stored as three-dimensional.
  const int d = m_dimension == 2 ? 2 : 3;
  const int valueFlag = m_valueFlag ? 1 : 0;
  const int labelFlag = m_labelFlag ? 1 : 0;
  const int count = m_points ? m_count : 0;
  out.Int32(count);
  out.Int32(d);
  out.Int32(valueFlag);
  out.Int32(labelFlag);
  out.Float64s(m_pointBounds, 4);
  if (d == 3) out.Float64s(m_pointBounds + 4, 2);
  if (valueFlag) out.Float64s(m_valueRange, 2);

  const int k = d + valueFlag;
  if (!labelFlag && !commands) {
    double chunk[4 * kWriteChunkPoints];
    for (int first = 0; first < count && out.Ok(); first += kWriteChunkPoints) {
      const int n = std::min(kWriteChunkPoints, count - first);
      double* q = chunk;
      for (int i = first; i < first + n; ++i) {
        const Position& p = m_points[i];
        *q++ = p.x;
        *q++ = p.y;
        if (d == 3) *q++ = p.z;
        if (valueFlag) *q++ = p.value;
      }
      out.Float64s(chunk, k * n);
    }
    return out.Ok();
  }
  for (int i = 0; i < count && out.Ok(); ++i) {
    const Position& p = m_points[i];
    const double c[4] = {p.x, p.y, d == 3 ? p.z : p.value, p.value};
    out.Float64s(c, k);
    if (labelFlag) WriteText(out, layout.lengthBytes, m_labels.Get(i));
    if (commands) WriteText(out, layout.lengthBytes, commands->Get(i));
  }
  return out.Ok();
}

void Sd_Point3D::Install(const RecordHead& head, Block* block) {
  ReleasePoints();
  const int n = block->points ? head.count : 0;
  m_points = block->points;
  block->points = nullptr;
  m_labels.Swap(block->labels);
  m_count = n;
  m_dimension = head.dimension;
  m_valueFlag = head.valueFlag ? 1 : 0;
  m_labelFlag = head.labelFlag ? 1 : 0;
  for (int a = 0; a < (head.dimension == 3 ? 6 : 4); ++a) m_pointBounds[a] = head.bounds[a];
  if (head.dimension == 2) FlatZRange();
  m_valueRange[0] = head.valueRange[0];
  m_valueRange[1] = head.valueRange[1];
}

void Sd_Point3D::Measure(RecordHead* head, const Block& block) {
  const int n = block.points ? head->count : 0;
  for (int a = 0; a < 3; ++a) {
    head->bounds[2 * a] = n > 0 ? 1e20 : 0.0;
    head->bounds[2 * a + 1] = n > 0 ? -1e20 : 0.0;
  }
  head->valueRange[0] = n > 0 && head->valueFlag ? 1e20 : 0.0;
  head->valueRange[1] = n > 0 && head->valueFlag ? -1e20 : 0.0;
  for (int i = 0; i < n; ++i) {
    const Position& p = block.points[i];
    const double c[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      head->bounds[2 * a] = std::min(head->bounds[2 * a], c[a]);
      head->bounds[2 * a + 1] = std::max(head->bounds[2 * a + 1], c[a]);
    }
    if (head->valueFlag) {
      head->valueRange[0] = std::min(head->valueRange[0], p.value);
      head->valueRange[1] = std::max(head->valueRange[1], p.value);
    }
  }
}

void Sd_Point3D::WidenFlatAxes() {
  for (int a = 0; a < 3; ++a) {
    if (m_pointBounds[2 * a] == m_pointBounds[2 * a + 1]) m_pointBounds[2 * a + 1] += 1.0;
  }
}

void Sd_Point3D::FlatZRange() {
  m_pointBounds[4] = 0.0;
  m_pointBounds[5] = 1.0;
}

bool Sd_Point3D::ReadRecord(TDR_Manager* manager, const BlockLayout& layout, RecordHead* head, Block* block) {
  TDR_PayloadReader in(manager);
  if (ReadHead(in, layout, head, manager->GetFileName()) &&
      ReadBlock(in, *head, layout, block, manager->GetFileName())) {
    Install(*head, block);
    return true;
  }
  ReleasePoints();
  return false;
}

int Sd_Point3D::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  static const BlockLayout kLayout = {4, false};
  RecordHead head;
  Block block;
  if (!ReadRecord(manager, kLayout, &head, &block)) return -1;
  // Bounds the record left at zero come from the points; an axis without
  // extent gets one unit.
  bool allZero = true;
  for (double b : head.bounds) allZero = allZero && b == 0.0;
  if (allZero) ComputeBounds();
  WidenFlatAxes();
  return FinishLoad(manager);
}

int Sd_Point3D::FinishLoad(TDR_Manager* manager) {
  if (m_valueFlag) m_colourMode = 2;
  PrepareDrawing();
  if (ReadCommonTags(manager) != 0) {
    ReleasePoints();
    return -1;
  }
  ApplyColoursAndFont();
  // The symbol size follows the node's box, which the common tags may have
  // given.
  SetSymbolSize(m_symbolFactor);
  return 0;
}

void Sd_Point3D::PrepareDrawing() {
  for (int a = 0; a < 3; ++a) {
    m_pointExtent[a] = m_pointBounds[2 * a + 1] - m_pointBounds[2 * a];
    m_pointCentre[a] = (m_pointBounds[2 * a] + m_pointBounds[2 * a + 1]) * 0.5;
  }
  m_detailStep = m_count >= 100 ? 10 : 1;
  SetSymbolSize(m_symbolFactor);
  bool zeroBox = true;
  for (float b : m_bounds) zeroBox = zeroBox && b == 0.0f;
  if (zeroBox) {
    for (int a = 0; a < 3; ++a) {
      SetBounds(a, static_cast<float>(m_pointBounds[2 * a]), static_cast<float>(m_pointBounds[2 * a + 1]));
    }
  }
}

void Sd_Point3D::ApplyColoursAndFont() {
  if (m_colourMode == 2 && !m_valueFlag) m_colourMode = 0;
  SetColourMode(m_colourMode);
  LoadFont();
}

void Sd_Point3D::LoadFont() {
  delete m_font;
  m_font = nullptr;
  if (!m_labelFlag) return;
  m_font = new (std::nothrow) Sv_HersheyFont();
  if (!m_font || m_font->LoadFont("romancsfont.dat", 0.0005f) != 0) {
    // The points stay usable; their labels are not drawn.
    delete m_font;
    m_font = nullptr;
    Sv_Debug::MessageOnce(kFontKey, SV_LEVEL_DEBUG, kFontMessage);
  }
}

int Sd_Point3D::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager) return -1;
  static const BlockLayout kLayout = {4, false};
  if (manager->WriteTag(TDR_TAG_SD_POINT3D, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  if (!WriteRecord(out, kLayout, nullptr) || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_Point3D::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_POINT3D_ATB, 5, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_detailStep);
  out.Int32(m_colourMode);
  out.Int32(m_symbolCode);
  out.Float32(m_symbolFactor);
  out.Float32(m_labelSize);
  out.Float32(m_zOffset);
  out.Int32(m_showLabels);
  out.Int32(m_lodOn);
  const unsigned char rgb[3] = {static_cast<unsigned char>(ColourRed(m_colour)),
                                static_cast<unsigned char>(ColourGreen(m_colour)),
                                static_cast<unsigned char>(ColourBlue(m_colour))};
  out.Bytes(rgb, 3);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_Point3D::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_POINT3D_ATB) return 0;
  ReadSettingsRecord(manager);
  return 1;
}

// Versions 2 to 5 (the tag version; at tag versions 0 and 1 an int32 version
// opens the payload); any other version is not read. A record shorter than
// its fields, or with sizes that are not numbers, is skipped whole.
void Sd_Point3D::ReadSettingsRecord(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  int version = manager->GetTagVersion();
  if ((version == 0 || version == 1) && !in.Int32(&version)) version = -1;
  if (version < 2 || version > 5) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Point settings record of an unknown version not read", manager->GetFileName());
    return;
  }
  int step = 0, mode = 0, code = 0, show = 0, lod = m_lodOn;
  float factor = 0.0f, labelSize = 0.0f, zOffset = 0.0f;
  unsigned char rgb[3] = {0, 0, 0};
  in.Int32(&step);
  in.Int32(&mode);
  in.Int32(&code);
  in.Float32(&factor);
  in.Float32(&labelSize);
  in.Float32(&zOffset);
  in.Int32(&show);
  if (version >= 3) in.Int32(&lod);
  if (version >= 5) in.Bytes(rgb, 3);
  if (!in.Ok() || !std::isfinite(factor) || !std::isfinite(labelSize) || !std::isfinite(zOffset)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged point settings record; settings kept", manager->GetFileName());
    return;
  }
  // A step below 1 would never end a drawing, one near the int limit would
  // overflow the point index.
  m_detailStep = UsableStep(step);
  m_colourMode = mode;
  m_symbolCode = code;
  SetSymbolSize(factor);
  m_labelSize = labelSize;
  m_zOffset = zOffset;
  m_showLabels = show;
  if (version >= 3) m_lodOn = lod;
  if (version >= 5) m_colour = PackColour(rgb[0], rgb[1], rgb[2], 255);
}

int Sd_Point3D::WriteSample(TDR_Manager* manager) {
  Sd_PointListRecord r[4] = {
      {500120.0, 6000340.0, -18.5, 2.5, "Station A", nullptr},
      {500480.0, 6000910.0, -22.0, 7.25, "Station B", nullptr},
      {500760.0, 6000150.0, -9.75, 4.0, nullptr, nullptr},
      {500930.0, 6000620.0, -31.0, 11.5, "Station D", nullptr},
  };
  for (int i = 0; i < 3; ++i) r[i].next = &r[i + 1];
  Sd_Point3D set;
  if (set.SetPoints(r, 4, 1, 1) != 0) return -1;
  // Every setting the record holds is set here, so that the sample does not
  // depend on a "PointClass" file.
  set.SetDetailStep(2);
  set.SetLevelOfDetail(1);
  set.SetSymbolCode(kDiamond);
  set.SetSymbolSize(0.05f);
  set.SetLabelSize(0.4f);
  set.SetZOffset(0.0f);
  set.SetShowLabels(1);
  set.SetColour(PackColour(255, 200, 40, 0));
  set.SetColourMode(2);
  return set.SaveObject(manager, 1, 0);
}

// --- settings ---

void Sd_Point3D::SaveSettings() { KeepDetailSettings(m_detailStep, m_lodOn); }

void Sd_Point3D::RestoreSettings() { KeptDetailSettings(&m_detailStep, &m_lodOn); }

int Sd_Point3D::ResetSettings() {
  m_detailStep = 1;
  m_lodOn = 0;
  return 1;
}

// --- content ---

int Sd_Point3D::SetPoints(const Sd_PointListRecord* list, int count, int valueFlag, int labelFlag) {
  ReleasePoints();
  // At most count records, fewer when the list ends first.
  int n = 0;
  for (const Sd_PointListRecord* r = list; r && n < count; r = r->next) ++n;
  RecordHead head;
  head.count = n;
  head.dimension = 3;
  head.valueFlag = valueFlag != 0;
  head.labelFlag = labelFlag != 0;
  Block block;
  int result = 0;
  if (n > 0) {
    block.points = AllocPositions(n);
    if (!block.points || (head.labelFlag && !block.labels.Reset(n))) {
      n = head.count = 0;
      result = -1;
    }
  }
  int i = 0;
  for (const Sd_PointListRecord* r = list; r && i < n; r = r->next, ++i) {
    block.points[i] = {r->x, r->y, r->z, head.valueFlag ? r->value : 0.0};
    if (head.labelFlag && r->label && !block.labels.Set(i, r->label)) result = -1;
  }
  Measure(&head, block);
  if (result == 0) {
    Install(head, &block);
  } else {
    ReleasePoints();
  }
  if (m_count > 0) WidenFlatAxes();
  if (m_valueFlag) m_colourMode = 2;
  PrepareDrawing();
  ApplyColoursAndFont();
  return result;
}

void Sd_Point3D::ComputeBounds() {
  if (m_count <= 0 || !m_points) return;
  const double start = 999999986991104.0;
  double lo[3] = {start, start, start};
  double hi[3] = {-start, -start, -start};
  for (int i = 0; i < m_count; ++i) {
    const double c[3] = {m_points[i].x, m_points[i].y, m_points[i].z};
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], c[a]);
      hi[a] = std::max(hi[a], c[a]);
    }
  }
  for (int a = 0; a < 3; ++a) {
    if (hi[a] - lo[a] < 0.0001) hi[a] += 1.0;
    m_pointBounds[2 * a] = lo[a];
    m_pointBounds[2 * a + 1] = hi[a];
  }
}

void Sd_Point3D::SetSymbolSize(float factor) {
  m_symbolFactor = factor;
  double zScale = 1.0;
  if (m_parent) {
    const float* s = m_parent->GetScale('z');
    if (s) zScale = *s;
  }
  // A z scale of 0 (or not a number) would make the symbol infinitely tall.
  if (!(std::fabs(zScale) > 0.0) || !std::isfinite(zScale)) zScale = 1.0;
  double dx = static_cast<double>(m_bounds[1]) - m_bounds[0];
  double dy = static_cast<double>(m_bounds[3]) - m_bounds[2];
  double dz = static_cast<double>(m_bounds[5]) - m_bounds[4];
  if (dx == 0.0 || dy == 0.0 || dz == 0.0) dx = dy = dz = 1.0;
  const double size = (dx > dy ? dx : dy) / 5.0 * factor;
  m_symbolSize = static_cast<float>(size);
  m_symbolScale[0] = static_cast<float>(size / dx);
  m_symbolScale[1] = static_cast<float>(size / dy);
  double sz = size / dz;
  if (GetCoordinateType() == SD_COORDS_GEOGRAPHIC) {
    // Degrees across, metres up.
    sz = sz * 110000.0 / zScale;
  } else {
    sz = sz / zScale;
  }
  m_symbolScale[2] = static_cast<float>(sz);
}

void Sd_Point3D::SetColourMode(int mode) {
  m_colourMode = mode;
  if (mode != 1 && mode != 2) return;
  if (mode == 1) {
    CallColorRange(this, m_bounds[4], m_bounds[5]);
  } else {
    CallColorRange(this, static_cast<float>(m_valueRange[0]), static_cast<float>(m_valueRange[1]));
  }
  m_coloursStale = 1;
}

void Sd_Point3D::UpdatePointColours() {
  m_coloursStale = 0;
  const unsigned* map = GetColorMap();
  if (!map || !m_points || m_count <= 0 || (m_colourMode != 1 && m_colourMode != 2)) return;
  if (!m_pointColours) m_pointColours = AllocArray<unsigned>(m_count);
  if (!m_pointColours) return;
  if (m_colourMode == 1) {
    // Heights in single precision, against the node's box.
    const float range = m_bounds[5] - m_bounds[4];
    for (int i = 0; i < m_count; ++i) {
      m_pointColours[i] = Opaque(map[MapIndex(static_cast<float>(m_points[i].z), m_bounds[4], range)]);
    }
  } else if (m_colourMode == 2) {
    const float range = static_cast<float>(m_valueRange[1] - m_valueRange[0]);
    for (int i = 0; i < m_count; ++i) {
      m_pointColours[i] = Opaque(map[MapIndex(m_points[i].value, m_valueRange[0], range)]);
    }
  }
}

void Sd_Point3D::DrapeOnSurface() {
  if (!m_parent || !m_points || m_count <= 0) return;
  Sd_Node* root = m_parent->GetRootOf();
  for (int i = 0; i < m_count; ++i) {
    unsigned colour = 0;
    const double z = root->GeoPickPoint(m_points[i].x, m_points[i].y, &colour);
    if (z != SD_PICK_NO_SURFACE) m_points[i].z = z;
  }
  ComputeBounds();
  for (int a = 0; a < 3; ++a) {
    SetBounds(a, static_cast<float>(m_pointBounds[2 * a]), static_cast<float>(m_pointBounds[2 * a + 1]));
    m_pointExtent[a] = m_pointBounds[2 * a + 1] - m_pointBounds[2 * a];
    m_pointCentre[a] = (m_pointBounds[2 * a] + m_pointBounds[2 * a + 1]) * 0.5;
  }
  m_dimension = 3;
}

// --- files ---

int Sd_Point3D::WriteASCII(const char* path) {
  Sv_AtomicFile file;
  FILE* f = path ? file.Open(path, 0) : nullptr;
  if (!f) {
    char message[1200];
    snprintf(message, sizeof(message), "ERROR::Opening File %.1024s\n", path ? path : "(null)");
    Sv_Debug::Message(SV_LEVEL_ERROR, message);
    return -1;
  }
  const bool geographic = m_count > 0 && m_points &&
                          Sv_Geo::GetCoordinateKind(m_points[0].x, m_points[m_count - 1].x, m_points[0].y,
                                                    m_points[m_count - 1].y) == Sv_Geo::kGeographic;
  const char* format = geographic ? "%.8lf %.8lf %.2lf\n" : "%.2lf %.2lf %.2lf\n";
  for (int i = 0; i < m_count && m_points; ++i) fprintf(f, format, m_points[i].x, m_points[i].y, m_points[i].z);
  return file.Commit();
}

int Sd_Point3D::ReadTrackFile(const char* path) {
  ReleasePoints();
  Sv_LineReader f;
  if (!path || !f.Open(path, kMaxTrackFileBytes)) {
    MessageWithPath(SV_LEVEL_DEBUG, "ERROR:  Opening track data for track file  -  ", path);
    return -1;
  }
  // Only the usable lines (of more than one character besides the line
  // end) are counted; the set gets no points from them, so its count stays
  // 0 until points are given (SetPoints).
  std::string line;
  int usable = 0;
  while (f.ReadLine(&line, 254)) {
    if (line.size() > 1) ++usable;
  }
  Sv_Debug::Debug("Track file %s: %d usable lines", path, usable);
  return f.Stopped() ? -1 : 0;
}

void Sd_Point3D::ReadTDRFile(const char* path) {
  TDR_Manager manager;
  if (!path || manager.OpenFile(path, "rb") != 0) {
    MessageWithPath(SV_LEVEL_DEBUG, "ERROR:  Opening TDR file  -  ", path);
    return;
  }
  if (manager.ReadHeader() != 0) {
    MessageWithPath(SV_LEVEL_DEBUG, "ERROR:  Reading header of TDR file  -  ", path);
    manager.CloseFile();
    return;
  }
  for (;;) {
    const int tag = manager.ReadTag(nullptr);
    if (tag == TDR_TAG_EOF || tag == TDR_TAG_ERROR) break;
    if (tag == ObjectTag()) LoadObject(&manager);
  }
  manager.CloseFile();
}
