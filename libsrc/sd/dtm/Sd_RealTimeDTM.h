#ifndef SD_REALTIMEDTM_H
#define SD_REALTIMEDTM_H

#include <memory>

#include "Sd_RealTimeLayout.h"
#include "Sd_SonarDTM.h"

class Sv_SharedMemory;

// The real-time terrain model (object tag 10550, node type 40, class name
// "Non-Cont. DTM"): a non-contiguous terrain whose grid another program
// keeps up to date in a named shared-memory block. Loading attaches to the
// block named by the record, reads the grid's size, code range and bounds
// from the block's header once, and lays the rows of the height and colour
// grids over the block's rows (nothing is copied), so every drawing shows
// the block's contents at that moment. Drawing, picks, queries and saving
// are the non-contiguous model's: saved, the terrain becomes an ordinary
// non-contiguous DTM (tag 10005) holding the block's contents of that
// moment. A terrain that is not attached saves its own record again, so a
// scene saved while the writer is away still names the block.
//
// Object record 10550: i32 name length n (0 ... 255), n bytes of name, i32
// block size. A block that cannot be attached, is smaller than the size
// its header implies or has an implausible header leaves an empty, usable
// object (0 rows: it draws nothing and misses every pick).
class Sd_RealTimeDTM : public Sd_SonarDTM {
 public:
  static constexpr int kTypeId = 40;
  Sd_RealTimeDTM();
  ~Sd_RealTimeDTM() override;

  // Lets go of the grids' row tables, then of the block (its view is
  // unmapped), then of everything of the non-contiguous model.
  void FreeData() override;
  // Reads the record and attaches. 0 when the record is whole (attached or
  // not); -1 for a damaged record.
  int LoadObject(TDR_Manager* manager) override;
  // Attached: the non-contiguous DTM with the block's current contents (tag
  // 10005). Not attached: the 10550 record again. 0, or -1 when a write
  // fails.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  // The record of a block name that no program provides (the factory's
  // sample: it loads as an empty, unattached terrain).
  static int WriteSample(TDR_Manager* manager);
  // Writes the 10550 record naming a block.
  static int WriteRecord(TDR_Manager* manager, const char* name, int size);

  bool IsAttached() const { return m_block != nullptr; }
  const char* GetMemoryName() const { return m_memoryName; }
  int GetMemorySize() const { return m_memorySize; }
  int GetHeaderWord() const { return m_headerWord; }
  const void* GetBlock() const { return m_block; }

 private:
  // Checks the header against the mapped size and lays the grids over the
  // block; false (after a message) when the block cannot be used.
  bool TakeBlock(const char* file);

  std::unique_ptr<Sv_SharedMemory> m_sharedMemory;
  unsigned char* m_block;
  char m_memoryName[256];
  int m_memorySize;
  int m_headerWord;
};

#endif
