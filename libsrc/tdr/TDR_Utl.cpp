#include "TDR_Utl.h"

#include "Sv_Debug.h"
#include "Sv_Stdlib.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"

unsigned int** TDR_UtlReadScalar32Tag(TDR_Manager* manager, int* rows, int* cols) {
  const char* where = "TDR_UtlReadScalar32Tag";
  if (rows) *rows = 0;
  if (cols) *cols = 0;
  if (!manager || !manager->GetFilePtr()) return nullptr;
  TDR_PayloadReader in(manager);
  TDR_Scalar scalar;
  if (!in.Scalar(&scalar)) return nullptr;
  if (scalar.GetNumDimensions() != 2 || scalar.GetBitWidth() != 32) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Expected a two-dimensional scalar of 32-bit values", where);
    return nullptr;
  }
  const int c = scalar.GetDimension(1);
  const int r = scalar.GetDimension(2);
  if (in.Left() < 8 + 4LL * r * c) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Scalar array is larger than its record", where);
    return nullptr;
  }
  unsigned int words[2];
  if (!in.Int32s(reinterpret_cast<int*>(words), 2)) return nullptr;
  unsigned int** grid = Sv_UtlAlloc2DInt(r, c);
  if (!grid) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Out of memory for a scalar grid", where);
    return nullptr;
  }
  if (!in.Rows(reinterpret_cast<void* const*>(grid), 4, c, r)) {
    Sv_UtlFree2D(grid, r);
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading scalar grid rows", where);
    return nullptr;
  }
  if (rows) *rows = r;
  if (cols) *cols = c;
  return grid;
}

int TDR_UtlWriteScalar32Tag(TDR_Manager* manager, const unsigned int* const* grid, int rows, int cols) {
  if (!manager || !manager->GetFilePtr() || !grid || rows < 1 || cols < 1) return -1;
  for (int i = 0; i < rows; ++i) {
    if (!grid[i]) return -1;
  }
  if (manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0) return -1;
  TDR_Scalar scalar;
  scalar.SetNumDimensions(2);
  scalar.SetDimension(1, cols);
  scalar.SetDimension(2, rows);
  scalar.SetDataType(TDR_TYPE_ULONG);
  if (scalar.Write(manager) != 0) return -1;
  TDR_PayloadWriter out(manager);
  const int words[2] = {0, -1};
  out.Int32s(words, 2);
  out.Rows(reinterpret_cast<const void* const*>(grid), 4, cols, rows);
  if (!out.Ok()) return -1;
  return manager->EndTag();
}
