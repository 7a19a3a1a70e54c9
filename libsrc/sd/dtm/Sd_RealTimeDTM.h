#ifndef SD_REALTIMEDTM_H
#define SD_REALTIMEDTM_H

#include <memory>

#include "Sd_RealTimeLayout.h"
#include "Sd_SonarDTM.h"

class Sv_SharedMemory;

// The real-time terrain model (object tag 10550, node type 40, class name
// "Non-Cont. DTM"): a non-contiguous terrain whose grid another program
// keeps up to date in a named shared-memory block. Loading attaches to the
// block named by the record (read-only: the terrain never writes into it),
// reads the grid's size, code range and bounds from the block's header
// once, and makes room for a copy of the block, laid out as the block is,
// whose rows the height and colour grids use. Every draw first takes the
// block's current rows into that copy (Refresh), so every drawing shows the
// block's contents at that moment; picks and queries answer for what was
// drawn last (before the first draw every node is empty). The copy goes through the block's handle, never through a mapping:
// the writer may shrink the block or make it anew at any moment, which
// gives a short read here instead of a bus error. While the block is
// shorter than the grid the last rows stay (said once per such spell); a
// block that its writer removed and made anew with the same grid size is
// attached again. Drawing, picks, queries and saving are the non-contiguous
// model's: saved, the terrain becomes an ordinary non-contiguous DTM (tag
// 10005) holding the block's contents of that moment. A terrain that is
// not attached saves its own record again, so a scene saved while the
// writer is away still names the block.
//
// Object record 10550: i32 name length n (0 ... 255), n bytes of name, i32
// block size. A block that cannot be attached, is smaller than the size
// its header implies, has an implausible header, holds more than
// kMaxBlockNodes nodes or whose copy does not fit the load's memory budget
// (Sd_LoadBudget) leaves an empty, usable object (0 rows: it draws nothing
// and misses every pick), after one warning naming the block and why.
class Sd_RealTimeDTM : public Sd_SonarDTM {
 public:
  static constexpr int kTypeId = 40;
  // Largest grid a block may hold (rows x columns): every draw copies the
  // whole block, so a larger one is not shown (said once, at load).
  static constexpr long long kMaxBlockNodes = 1LL << 24;
  Sd_RealTimeDTM();
  ~Sd_RealTimeDTM() override;

  // Lets go of the grids' row tables and the copy, then of the block (its
  // view is unmapped), then of everything of the non-contiguous model.
  void FreeData() override;
  // Takes the block's current rows into the grids, then draws.
  void Render() override;
  // As Render, the rows taken when a pass begins.
  int StepRender() override;
  // Takes the block's current rows into the grids. 1 when taken; 0 when
  // nothing is attached or the block is shorter than the grid now (the
  // last rows stay; said once until the block is whole again).
  int Refresh();
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
  // The terrain's copy of the block, laid out as the block (the grids' rows
  // lie in it); null when not attached.
  const void* GetBlock() const { return m_block ? m_copy : nullptr; }

 private:
  // Checks the header against the block's size, makes room for the copy
  // and lays the grids over it; false (after a message) when the block
  // cannot be used.
  bool TakeBlock(const char* file);
  // Attaches again when the writer removed the block and made a new one
  // with the same grid size under its name.
  void FollowNewBlock();
  void ReleaseCopy();

  std::unique_ptr<Sv_SharedMemory> m_sharedMemory;
  unsigned char* m_block;  // the read-only view; only tells that a block is attached
  unsigned char* m_copy;   // the copy the grids' rows lie in
  size_t m_copyBytes;
  bool m_shortBlock;       // the block was found short; said once per spell
  char m_memoryName[256];
  int m_memorySize;
  int m_headerWord;
};

#endif
