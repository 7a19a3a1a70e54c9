#ifndef TDR_UTL_H
#define TDR_UTL_H

#include "TDR_Colormap.h"

class TDR_Manager;

// Reads a two-dimensional SCALAR payload of 32-bit values from the stream
// position: the descriptor (dimension 1 columns, dimension 2 rows), two
// 32-bit words (skipped), then the rows, row 0 first. Returns a new grid
// from Sv_UtlAlloc2DInt (release with Sv_UtlFree2D) and sets rows and cols;
// null after a debug message when the payload is not such an array.
unsigned int** TDR_UtlReadScalar32Tag(TDR_Manager* manager, int* rows, int* cols);
// Writes a whole SCALAR record (tag version 2) of 32-bit values (type
// ULONG): descriptor, the words 0 and 0xFFFFFFFF, the rows; ends the tag.
// 0 on success, -1 on failure.
int TDR_UtlWriteScalar32Tag(TDR_Manager* manager, const unsigned int* const* grid, int rows, int cols);

#endif
