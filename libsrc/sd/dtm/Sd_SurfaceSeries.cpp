// Surface series: frames, records, settings, frame names and file-pointer
// saving.
#include "Sd_SurfaceSeries.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "Sd_BaseDTM.h"
#include "Sd_SeriesFrameView.h"
#include "Sv_Debug.h"
#include "Sv_Stdlib.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"

namespace {


const char* const kNoFrameMemory = "ERROR:  Allocating memory chunk to hold scalar!";
const char* const kColourMessage = "ERROR:  Loading surface series object  -  expected color data!";

// Columns, rows and frames of a SCALAR descriptor of two or three
// dimensions (further dimensions of size 1 allowed); false for any other.
bool SeriesDimensions(const TDR_Scalar& scalar, int* cols, int* rows, int* frames) {
  const int n = scalar.GetNumDimensions();
  bool ok = n >= 2;
  for (int i = 4; i <= n; ++i) ok = ok && scalar.GetDimension(i) == 1;
  *cols = scalar.GetDimension(1);
  *rows = scalar.GetDimension(2);
  *frames = n >= 3 ? scalar.GetDimension(3) : 1;
  return ok;
}

bool SizeOk(int frames, int rows, int cols) {
  return frames >= 1 && frames <= Sd_SurfaceSeries::kMaxFrames && rows >= 2 && cols >= 2 &&
         rows <= Sd_BaseDTM::kMaxGridSide && cols <= Sd_BaseDTM::kMaxGridSide;
}

}  // namespace

Sd_SurfaceSeries::Sd_SurfaceSeries()
    : m_rows(0),
      m_cols(0),
      m_frameCount(0),
      m_frames(nullptr),
      m_frameColors(nullptr),
      m_minCode(0),
      m_maxCode(0xFFFF),
      m_frame(0),
      m_viewFrame(-1),
      m_animate(1),
      m_hasFrameNames(0),
      m_frameDelay(0),
      m_frameCountdown(0),
      m_view(new Sd_SeriesFrameView()) {
  SetType(kTypeId);
  SetRedrawPending(0);
  SetDrawn(1);
  // Nodes are empty where their code is 0; the view draws at the node's
  // own scale.
  m_view->SetEmptyCode(0);
  m_view->SetCodeRange(m_minCode, m_maxCode);
}

Sd_SurfaceSeries::~Sd_SurfaceSeries() {
  ReleaseFrames();
  delete m_view;
}

const char* Sd_SurfaceSeries::className() const { return "Non-Cont. DTM"; }

// --- frames ---

void Sd_SurfaceSeries::ReleaseFrames() {
  // The view lets go of the rows before they go.
  m_view->FreeData();
  m_viewFrame = -1;
  const int tableRows = m_frameCount * m_rows;
  Sv_UtlFree2D(m_frames, tableRows);
  Sv_UtlFree2D(m_frameColors, tableRows);
  m_frames = nullptr;
  m_frameColors = nullptr;
  m_frameCount = m_rows = m_cols = 0;
  m_frame = 0;
  m_frameNames.clear();
  m_hasFrameNames = 0;
}

int Sd_SurfaceSeries::AllocateFrames(int frames, int rows, int cols) {
  ReleaseFrames();
  // frames x rows is a row count of the grids; its codes must stay
  // addressable with int counts.
  if (!SizeOk(frames, rows, cols) || 2LL * frames * rows * cols > 0x7FFFFFFFLL) return -1;
  const int tableRows = frames * rows;
  m_frames = Sv_UtlAlloc2DShort(tableRows, cols);
  m_frameColors = m_frames ? Sv_UtlAlloc2DInt(tableRows, cols) : nullptr;
  if (!m_frameColors) {
    Sv_UtlFree2D(m_frames, tableRows);
    m_frames = nullptr;
    Sv_Debug::Message(SV_LEVEL_DEBUG, kNoFrameMemory, "Sd_SurfaceSeries::AllocateFrames");
    return -1;
  }
  for (int r = 0; r < tableRows; ++r) {
    memset(m_frames[r], 0, static_cast<size_t>(cols) * sizeof(unsigned short));
    memset(m_frameColors[r], 0, static_cast<size_t>(cols) * sizeof(unsigned int));
  }
  m_frameCount = frames;
  m_rows = rows;
  m_cols = cols;
  return 0;
}

unsigned short* Sd_SurfaceSeries::FrameHeights(int frame, int row) const {
  if (!m_frames || frame < 0 || frame >= m_frameCount || row < 0 || row >= m_rows) return nullptr;
  return m_frames[frame * m_rows + row];
}

unsigned int* Sd_SurfaceSeries::FrameColours(int frame, int row) const {
  if (!m_frameColors || frame < 0 || frame >= m_frameCount || row < 0 || row >= m_rows) return nullptr;
  return m_frameColors[frame * m_rows + row];
}

void Sd_SurfaceSeries::SetFrame(int frame) {
  if (m_frameCount < 1) return;
  m_frame = ((frame % m_frameCount) + m_frameCount) % m_frameCount;
}

void Sd_SurfaceSeries::SetCodeRange(unsigned short minCode, unsigned short maxCode) {
  m_minCode = minCode;
  m_maxCode = maxCode;
  m_view->SetCodeRange(minCode, maxCode);
}

// --- frame stepping and names ---

void Sd_SurfaceSeries::SetFrameDelay(int n) {
  m_frameDelay = n;
  m_frameCountdown = n;
}

const char* Sd_SurfaceSeries::GetFrameName(int i) const {
  if (!m_hasFrameNames || m_frameNames.empty()) return nullptr;
  if (i < 0) i = m_frame;
  if (i >= static_cast<int>(m_frameNames.size())) return nullptr;
  return m_frameNames[static_cast<size_t>(i)].c_str();
}

bool Sd_SurfaceSeries::SetFrameNames(const std::vector<std::string>& names) {
  const bool fits = m_frameCount > 0 && names.size() == static_cast<size_t>(m_frameCount);
  m_frameNames = fits ? names : std::vector<std::string>();
  m_hasFrameNames = fits ? 1 : 0;
  return fits;
}

// --- drawing settings ---

void Sd_SurfaceSeries::SetAlpha(int alpha) {
  const int a = std::clamp(alpha, 0, 255);
  m_view->SetBlendAlpha(a);
  const int tableRows = m_frameCount * m_rows;
  for (int r = 0; m_frameColors && r < tableRows; ++r) {
    unsigned int* row = m_frameColors[r];
    for (int c = 0; c < m_cols; ++c) row[c] = ColourWithAlpha(row[c], static_cast<unsigned>(a));
  }
}

int Sd_SurfaceSeries::GetAlpha() const { return m_view->GetAlpha(); }
void Sd_SurfaceSeries::SetDrawMode(short mode) { m_view->SetDrawMode(mode); }
short Sd_SurfaceSeries::GetDrawMode() const { return m_view->GetDrawMode(); }
void Sd_SurfaceSeries::SetLODStep(int step) { m_view->SetLODStep(step); }
int Sd_SurfaceSeries::GetLODStep() const { return m_view->GetLODStep(); }
void Sd_SurfaceSeries::SetAutoLOD(int on) { m_view->SetAutoLOD(on); }
int Sd_SurfaceSeries::GetAutoLOD() const { return m_view->GetAutoLOD(); }
const unsigned* Sd_SurfaceSeries::GetColorTable() const { return m_view->GetDefaultColorMap(); }
int Sd_SurfaceSeries::IsColorTableLoaded() const { return m_view->IsColorMapLoaded(); }

void Sd_SurfaceSeries::SaveSettings() { m_view->SaveSettings(); }
void Sd_SurfaceSeries::RestoreSettings() { m_view->RestoreSettings(); }
int Sd_SurfaceSeries::ResetSettings() { return m_view->ResetSettings(); }

// --- records ---

int Sd_SurfaceSeries::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  ReleaseFrames();
  ReadNames(manager);
  std::vector<std::string> names;
  names.swap(m_frameNames);
  const bool named = m_hasFrameNames != 0;
  if (!ExpectTag(manager, TDR_TAG_SCALAR,
                 "ERROR:  Reading tag to load surface series object  -  expected TDR_TAG_SCALAR!") ||
      ReadHeights(manager) != 0 || ReadColours(manager) != 0) {
    ReleaseFrames();
    return -1;
  }
  // Names are kept only when there is one for every frame: reading a name
  // table shorter than the frames would run past its end.
  if (named && !SetFrameNames(names)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The surface series' frame names do not number its frames; dropped",
                      manager->GetFileName());
  }
  if (ReadCommonTags(manager) != 0) {
    ReleaseFrames();
    return -1;
  }
  m_frame = 0;
  m_frameCountdown = m_frameDelay;
  return 0;
}

void Sd_SurfaceSeries::ReadNames(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  const int version = manager->GetTagVersion();
  if (version == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  if (version < 2) return;
  int count = 0, flag = 0;
  in.Int32(&count);
  in.Int32(&flag);
  if (!in.Ok() || flag <= 0) return;
  m_hasFrameNames = 1;
  // Every name takes at least its length word.
  bool ok = count >= 0 && count <= in.Left() / 4;
  if (ok) m_frameNames.reserve(static_cast<size_t>(count));
  for (int i = 0; ok && i < count; ++i) {
    int n = 0;
    ok = in.Int32(&n) && n >= 0 && n <= in.Left();
    std::string name(ok ? static_cast<size_t>(n) : 0, '\0');
    ok = ok && (n == 0 || in.Bytes(&name[0], n));
    name.resize(strlen(name.c_str()));
    m_frameNames.push_back(name);
  }
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The surface series' frame names do not fit their record; dropped",
                      manager->GetFileName());
    m_frameNames.clear();
    m_hasFrameNames = 0;
  }
}

int Sd_SurfaceSeries::ReadHeights(TDR_Manager* manager) {
  const char* where = "Sd_SurfaceSeries::LoadObject";
  TDR_PayloadReader in(manager);
  TDR_Scalar scalar;
  if (!in.Scalar(&scalar)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the surface series' height record", manager->GetFileName());
    return -1;
  }
  if (scalar.GetDataType() != TDR_TYPE_USHORT) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Loading surface series object  -  expected type unsigned short!");
    return -1;
  }
  int cols = 0, rows = 0, frames = 0;
  if (!SeriesDimensions(scalar, &cols, &rows, &frames) || !SizeOk(frames, rows, cols)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The surface series' frames are not grids of at least 2 x 2 nodes",
                      where);
    return -1;
  }
  // The record must hold every code before the block is allocated (the
  // payload length bounds frames x rows x cols).
  if (in.Left() < 4 + 2LL * frames * rows * cols) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The surface series' height record is shorter than its frames", where);
    return -1;
  }
  static const Sd_SeriesFrameView::CodeGridMessages kMessages = {
      "ERROR:  The surface series' height record is shorter than its frames", kNoFrameMemory,
      "ERROR:  Reading the surface series' heights"};
  // The two words after the descriptor are not used.
  unsigned short words[2] = {0, 0};
  m_frames = Sd_SeriesFrameView::ReadCodeGrid(in, frames * rows, cols, words, kMessages, where);
  if (!m_frames) return -1;
  m_frameCount = frames;
  m_rows = rows;
  m_cols = cols;
  return 0;
}

int Sd_SurfaceSeries::ReadColours(TDR_Manager* manager) {
  // The colours must be 32-bit values of the heights' dimensions: anything
  // else would be read past its rows.
  if (!ExpectTag(manager, TDR_TAG_SCALAR, kColourMessage)) return -1;
  TDR_PayloadReader in(manager);
  TDR_Scalar scalar;
  int cols = 0, rows = 0, frames = 0;
  if (!in.Scalar(&scalar) || scalar.GetDataType() != TDR_TYPE_UINT ||
      !SeriesDimensions(scalar, &cols, &rows, &frames) || cols != m_cols || rows != m_rows ||
      frames != m_frameCount) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kColourMessage, manager->GetFileName());
    return -1;
  }
  const int tableRows = frames * rows;
  if (in.Left() < 8 + 4LL * tableRows * cols) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The surface series' colour record is shorter than its frames",
                      manager->GetFileName());
    return -1;
  }
  m_frameColors = Sv_UtlAlloc2DInt(tableRows, cols);
  if (!m_frameColors) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kNoFrameMemory, "Sd_SurfaceSeries::LoadObject");
    return -1;
  }
  // Two words not used, then the colours as stored, byte for byte: the
  // channels keep the order they have in the file.
  if (!in.Skip(8) || !in.Rows(reinterpret_cast<void* const*>(m_frameColors), 1, 4 * cols, tableRows)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the surface series' colours", manager->GetFileName());
    return -1;
  }
  return 0;
}

int Sd_SurfaceSeries::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_SURFACESERIES_ATB) return 0;
  ReadSettingsRecord(manager);
  return 1;
}

void Sd_SurfaceSeries::ReadSettingsRecord(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  if (manager->GetTagVersion() == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  short shorts[2] = {0, 0};
  int words[2] = {0, 0};
  in.Read(shorts, 2, 2);
  in.Int32s(words, 2);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged surface series settings record; defaults kept",
                      manager->GetFileName());
    return;
  }
  m_view->SetDrawMode(shorts[0]);
  m_animate = shorts[1];
  m_view->SetBlendAlpha(std::clamp(words[0], 0, 255));
  m_view->SetLODStep(words[1]);
}

int Sd_SurfaceSeries::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SURFACESERIES_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  const short shorts[2] = {m_view->GetDrawMode(), m_animate};
  out.Write(shorts, 2, 2);
  out.Int32(m_view->GetAlpha());
  out.Int32(m_view->GetLODStep());
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_SurfaceSeries::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager) return -1;
  // The frames stay in the file they came from. A pointer to the file
  // being written would name itself once the write is done, and one to no
  // file would lose the frames: the records are written instead.
  if (!manager->IsOtherExistingFile(m_description)) return SaveDataRecords(manager, withCommonTags);
  if (manager->WriteTag(TDR_TAG_SD_SURFACESERIES, 1, 0, 1, 1) != 0 ||
      manager->WriteFilePointerString(m_description) != 0 || manager->EndTag() != 0) {
    return -1;
  }
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_SurfaceSeries::SaveDataRecords(TDR_Manager* manager, int withCommonTags) {
  if (!manager || !m_frames || !m_frameColors) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SURFACESERIES, 2, 0, 0, 1) != 0) return -1;
  {
    TDR_PayloadWriter out(manager);
    out.Int32(m_frameCount);
    out.Int32(m_hasFrameNames);
    for (size_t i = 0; m_hasFrameNames && i < m_frameNames.size(); ++i) out.CountedText(m_frameNames[i].c_str());
    if (!out.Ok() || manager->EndTag() != 0) return -1;
  }
  const int tableRows = m_frameCount * m_rows;
  // A SCALAR record's header and descriptor of the frames' shape.
  auto beginScalar = [&](int type, double rangeMax) {
    TDR_Scalar scalar;
    scalar.SetNumDimensions(3);
    scalar.SetDimension(1, m_cols);
    scalar.SetDimension(2, m_rows);
    scalar.SetDimension(3, m_frameCount);
    scalar.SetDataType(type);
    scalar.SetRange(0.0, rangeMax);
    return manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && scalar.Write(manager) == 0;
  };
  if (!beginScalar(TDR_TYPE_USHORT, 65535.0)) return -1;
  {
    TDR_PayloadWriter out(manager);
    const unsigned short codes[2] = {m_minCode, m_maxCode};
    out.Write(codes, 2, 2);
    out.Rows(reinterpret_cast<const void* const*>(m_frames), 2, m_cols, tableRows);
    if (!out.Ok() || manager->EndTag() != 0) return -1;
  }
  if (!beginScalar(TDR_TYPE_UINT, 0.0)) return -1;
  {
    TDR_PayloadWriter out(manager);
    const unsigned int words[2] = {0, 0xFFFFFFFFu};
    out.Write(words, 4, 2);
    // Byte for byte, as they are read.
    out.Rows(reinterpret_cast<const void* const*>(m_frameColors), 1, 4 * m_cols, tableRows);
    if (!out.Ok() || manager->EndTag() != 0) return -1;
  }
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_SurfaceSeries::WriteSample(TDR_Manager* manager) {
  Sd_SurfaceSeries series;
  constexpr int kFrames = 3, kRows = 4, kCols = 5;
  if (series.AllocateFrames(kFrames, kRows, kCols) != 0) return -1;
  for (int f = 0; f < kFrames; ++f) {
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kCols; ++c) {
        // A plane that rises from frame to frame, with one empty node.
        series.FrameHeights(f, r)[c] = static_cast<unsigned short>(1000 + 4000 * (r + c) + 10000 * f);
        series.FrameColours(f, r)[c] = PackColour(60 * f, 40 * r, 30 * c, 255);
      }
    }
  }
  series.FrameHeights(1, 2)[2] = 0;
  series.SetFrameNames({"tide 00:00", "tide 01:00", "tide 02:00"});
  series.SetBounds(0, 500000.0f, 500100.0f);
  series.SetBounds(1, 6200000.0f, 6200075.0f);
  series.SetBounds(2, -30.0f, 10.0f);
  series.SetDrawMode(1);
  series.SetLODStep(2);
  return series.SaveDataRecords(manager, 1);
}
