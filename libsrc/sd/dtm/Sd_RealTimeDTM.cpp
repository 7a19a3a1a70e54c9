// Real-time terrain model: a non-contiguous terrain laid over the rows of a
// named shared-memory block that another program keeps up to date.
#include "Sd_RealTimeDTM.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Sd_LoadBudget.h"
#include "Sv_Debug.h"
#include "Sv_SharedMemory.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

Sd_RealTimeDTM::Sd_RealTimeDTM()
    : m_block(nullptr),
      m_copy(nullptr),
      m_copyBytes(0),
      m_shortBlock(false),
      m_memoryName{},
      m_memorySize(0),
      m_headerWord(0) {
  SetType(kTypeId);
}

Sd_RealTimeDTM::~Sd_RealTimeDTM() { FreeData(); }

void Sd_RealTimeDTM::ReleaseCopy() {
  free(m_copy);
  m_copy = nullptr;
  m_copyBytes = 0;
}

void Sd_RealTimeDTM::FreeData() {
  // The row tables point into the copy: they go before it.
  Sd_SonarDTM::FreeData();
  ReleaseCopy();
  if (m_sharedMemory) m_sharedMemory->DetachFromMemory();
  m_sharedMemory.reset();
  m_block = nullptr;
  m_shortBlock = false;
}

int Sd_RealTimeDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  FreeData();
  m_memoryName[0] = '\0';
  m_memorySize = 0;
  m_headerWord = 0;
  TDR_PayloadReader in(manager);
  int length = -1;
  int size = 0;
  in.Int32(&length);
  if (!in.Ok() || length < 0 || length > in.Left()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The real-time DTM record's block name is damaged",
                      manager->GetFileName());
    return -1;
  }
  if (length >= static_cast<int>(sizeof(m_memoryName))) {
    Sv_Debug::Message(SV_LEVEL_DEBUG,
                      "ERROR:  The real-time DTM record's block name is longer than the 255 characters a name may have",
                      manager->GetFileName());
    return -1;
  }
  char name[sizeof(m_memoryName)];
  if (!in.Text(name, sizeof(name), length) || !in.Int32(&size)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The real-time DTM record is cut short", manager->GetFileName());
    return -1;
  }
  memcpy(m_memoryName, name, sizeof(m_memoryName));
  m_memorySize = size;

  // A block that is not there (yet) or cannot be shown leaves a usable,
  // empty terrain, and the user is told why.
  m_sharedMemory.reset(new Sv_SharedMemory());
  if (m_sharedMemory->AttachForReading(m_memoryName, m_memorySize) != 1) {
    Sv_Debug::Message(SV_LEVEL_WARNING,
                      "The real-time terrain block is not shown: it is missing (or smaller than its record says)",
                      m_memoryName);
    FreeData();
  } else if (!TakeBlock(manager->GetFileName())) {
    FreeData();
  }
  return 0;
}

namespace {

// The grid size a block's header gives; false when the header cannot be
// read.
bool ReadGridSize(const Sv_SharedMemory& block, int* rows, int* cols) {
  int size[2] = {0, 0};
  if (!block.Read(0, size, sizeof(size))) return false;
  *rows = size[0];
  *cols = size[1];
  return true;
}

}  // namespace

// The largest block's copy fits every load's budget: a row of c nodes takes
// at most 6 c + 32 bytes with its padding, and a block has at least two
// columns, so at most 22 bytes a node past the header.
static_assert(22 * Sd_RealTimeDTM::kMaxBlockNodes + 48 <= Sd_LoadBudget::kObjectBoundBytes,
              "a real-time block at its bound must fit the smallest load budget");

bool Sd_RealTimeDTM::TakeBlock(const char* file) {
  const char* why = nullptr;
  int rows = 0, cols = 0;
  unsigned char header[Sd_RealTimeLayout::kHeaderBytes];
  unsigned short codes[2] = {0, 0};
  short word = 0;
  float bounds[6] = {0, 0, 0, 0, 0, 0};
  const long long size = m_sharedMemory->CurrentSize();
  if (size < static_cast<long long>(sizeof(header)) || !m_sharedMemory->Read(0, header, sizeof(header))) {
    why = "The real-time terrain block is not shown: it is smaller than its header";
  } else {
    memcpy(&rows, header, 4);
    memcpy(&cols, header + 4, 4);
    memcpy(codes, header + 8, 4);
    memcpy(&word, header + 12, 2);
    memcpy(bounds, header + 16, sizeof(bounds));
    bool finite = true;
    for (float b : bounds) finite = finite && std::isfinite(b);
    if (rows < 2 || cols < 2 || rows > kMaxGridSide || cols > kMaxGridSide) {
      why = "The real-time terrain block is not shown: its grid size is out of range";
    } else if (!finite) {
      why = "The real-time terrain block is not shown: its bounds are not finite numbers";
    } else if (static_cast<long long>(rows) * cols > kMaxBlockNodes) {
      why = "The real-time terrain block is not shown: it is too large (more than 16777216 nodes)";
    } else if (Sd_RealTimeLayout::Of(rows, cols).bytes > static_cast<uint64_t>(size)) {
      why = "The real-time terrain block is not shown: it is smaller than its grid";
    }
  }
  const Sd_RealTimeLayout layout = Sd_RealTimeLayout::Of(rows, cols);
  if (!why && !Sd_LoadBudget::Charge(static_cast<long long>(layout.bytes), "real-time terrain block's copy")) {
    why = "The real-time terrain block is not shown: its copy does not fit the file's memory budget";
  }
  if (!why) {
    // The copy starts on a 16-byte boundary, as a mapped block does, so the
    // rows lie at the block's own offsets. It is filled by the first draw
    // (every draw takes the block anew); until then every node is empty.
    m_copyBytes = static_cast<size_t>(layout.bytes);
    m_copy = static_cast<unsigned char*>(calloc(m_copyBytes, 1));
    if (!m_copy) {
      m_copyBytes = 0;
      why = "The real-time terrain block is not shown: no memory for its copy";
    }
  }
  if (why) {
    Sv_Debug::Message(SV_LEVEL_WARNING, why, m_memoryName);
    ReleaseCopy();
    return false;
  }
  std::vector<unsigned short*> elevation(static_cast<size_t>(rows));
  std::vector<unsigned int*> colour(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    elevation[static_cast<size_t>(r)] = reinterpret_cast<unsigned short*>(m_copy + layout.ElevationRow(r));
    colour[static_cast<size_t>(r)] = reinterpret_cast<unsigned int*>(m_copy + layout.ColourRow(r));
  }
  if (HoldRows(elevation.data(), colour.data(), rows, cols) != 0) {
    ReleaseCopy();
    return false;
  }
  m_block = static_cast<unsigned char*>(m_sharedMemory->GetMemory());
  m_headerWord = word;
  SetCodeRange(codes[0], codes[1]);
  SetBounds(0, bounds[0], bounds[1]);
  SetBounds(1, bounds[2], bounds[3]);
  SetBounds(2, bounds[4], bounds[5]);
  return RangesUsable(file);
}

void Sd_RealTimeDTM::FollowNewBlock() {
  if (!m_sharedMemory->WasRemoved()) return;
  std::unique_ptr<Sv_SharedMemory> fresh(new Sv_SharedMemory());
  int rows = 0, cols = 0;
  if (fresh->AttachForReading(m_memoryName, m_memorySize) == 1 && ReadGridSize(*fresh, &rows, &cols) &&
      rows == GetRows() && cols == GetCols()) {
    m_sharedMemory->DetachFromMemory();
    m_sharedMemory = std::move(fresh);
    m_block = static_cast<unsigned char*>(m_sharedMemory->GetMemory());
    return;
  }
  fresh->DetachFromMemory();
}

int Sd_RealTimeDTM::Refresh() {
  if (!m_block || !m_copy || !m_sharedMemory) return 0;
  FollowNewBlock();
  // A block that shrinks while it is read gives a short read: the rows
  // then hold what the block held up to its end at that moment.
  const long long size = m_sharedMemory->CurrentSize();
  if (size >= static_cast<long long>(m_copyBytes) && m_sharedMemory->Read(0, m_copy, m_copyBytes)) {
    m_shortBlock = false;
    return 1;
  }
  if (!m_shortBlock) {
    m_shortBlock = true;
    Sv_Debug::Message(SV_LEVEL_DEBUG,
                      "ERROR:  The real-time DTM block is shorter than its grid; the last rows are kept", m_memoryName);
  }
  return 0;
}

void Sd_RealTimeDTM::Render() {
  Refresh();
  Sd_SonarDTM::Render();
}

int Sd_RealTimeDTM::StepRender() {
  if (m_stepState == 0 && !GetRedrawPending()) Refresh();
  return Sd_SonarDTM::StepRender();
}

int Sd_RealTimeDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int unused) {
  if (!manager) return -1;
  if (IsAttached()) {
    Refresh();
    return Sd_SonarDTM::SaveObject(manager, withCommonTags, unused);
  }
  return WriteRecord(manager, m_memoryName, m_memorySize);
}

int Sd_RealTimeDTM::WriteRecord(TDR_Manager* manager, const char* name, int size) {
  const size_t length = name ? strlen(name) : 0;
  if (!manager || length >= 256) return -1;
  if (manager->WriteTag(TDR_TAG_SD_REALTIMEDTM, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(static_cast<int>(length));
  out.Bytes(name, static_cast<int>(length));
  out.Int32(size);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return 0;
}

int Sd_RealTimeDTM::WriteSample(TDR_Manager* manager) {
  return WriteRecord(manager, "orvanta-sample-block-that-no-program-provides", 4096);
}
