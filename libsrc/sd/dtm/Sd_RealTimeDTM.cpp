// Real-time terrain model: a non-contiguous terrain laid over the rows of a
// named shared-memory block that another program keeps up to date.
#include "Sd_RealTimeDTM.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "Sv_Debug.h"
#include "Sv_SharedMemory.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Node type of the real-time terrain model.

}  // namespace

Sd_RealTimeDTM::Sd_RealTimeDTM() : m_block(nullptr), m_memoryName{}, m_memorySize(0), m_headerWord(0) {
  SetType(kTypeId);
}

Sd_RealTimeDTM::~Sd_RealTimeDTM() { FreeData(); }

void Sd_RealTimeDTM::FreeData() {
  // The row tables point into the view: they go before it is unmapped.
  Sd_SonarDTM::FreeData();
  if (m_sharedMemory) m_sharedMemory->DetachFromMemory();
  m_sharedMemory.reset();
  m_block = nullptr;
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

  // A block that is not there (yet) leaves a usable, empty terrain.
  m_sharedMemory.reset(new Sv_SharedMemory());
  if (m_sharedMemory->AttachToMemory(m_memoryName, m_memorySize) != 1 || !TakeBlock(manager->GetFileName())) {
    FreeData();
  }
  return 0;
}

bool Sd_RealTimeDTM::TakeBlock(const char* file) {
  unsigned char* block = static_cast<unsigned char*>(m_sharedMemory->GetMemory());
  const uint64_t mapped = m_sharedMemory->GetSize();
  const char* why = nullptr;
  int rows = 0, cols = 0;
  unsigned short codes[2] = {0, 0};
  short word = 0;
  float bounds[6] = {0, 0, 0, 0, 0, 0};
  if (!block || mapped < Sd_RealTimeLayout::kHeaderBytes) {
    why = "ERROR:  The real-time DTM block is smaller than its header";
  } else {
    memcpy(&rows, block, 4);
    memcpy(&cols, block + 4, 4);
    memcpy(codes, block + 8, 4);
    memcpy(&word, block + 12, 2);
    memcpy(bounds, block + 16, sizeof(bounds));
    bool finite = true;
    for (float b : bounds) finite = finite && std::isfinite(b);
    if (rows < 2 || cols < 2 || rows > kMaxGridSide || cols > kMaxGridSide) {
      why = "ERROR:  The real-time DTM block's grid size is out of range";
    } else if (!finite) {
      why = "ERROR:  The real-time DTM block's bounds are not numbers";
    } else if (Sd_RealTimeLayout::Of(rows, cols).bytes > mapped) {
      why = "ERROR:  The real-time DTM block is smaller than its grid";
    }
  }
  if (why) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, why, m_memoryName);
    return false;
  }
  const Sd_RealTimeLayout layout = Sd_RealTimeLayout::Of(rows, cols);
  std::vector<unsigned short*> elevation(static_cast<size_t>(rows));
  std::vector<unsigned int*> colour(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    elevation[static_cast<size_t>(r)] = reinterpret_cast<unsigned short*>(block + layout.ElevationRow(r));
    colour[static_cast<size_t>(r)] = reinterpret_cast<unsigned int*>(block + layout.ColourRow(r));
  }
  if (HoldRows(elevation.data(), colour.data(), rows, cols) != 0) return false;
  m_block = block;
  m_headerWord = word;
  SetCodeRange(codes[0], codes[1]);
  SetBounds(0, bounds[0], bounds[1]);
  SetBounds(1, bounds[2], bounds[3]);
  SetBounds(2, bounds[4], bounds[5]);
  return RangesUsable(file);
}

int Sd_RealTimeDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int unused) {
  if (!manager) return -1;
  if (IsAttached()) return Sd_SonarDTM::SaveObject(manager, withCommonTags, unused);
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
