#ifndef SD_SOUNDINGEXPORT_H
#define SD_SOUNDINGEXPORT_H

#include "Sd_SoundingGrid.h"
#include "Sd_SoundingPoint.h"
#include "Sd_SoundingStyle.h"

class Sd_SonarDTM;

// The export of a sounding data set (Sd_SoundingExport.cpp), over what the
// data set hands it: the gridded surface as a terrain, as a terrain file
// pair ('.dtm' heights and '.geo' georeference), and the grid points as
// text. None of it runs in the viewer; problems are reported at error
// level.
namespace Sd_SoundingExport {

// The surface of a grid: node (r, c) at the centre of cell (r, c) within
// the node's bounds, its code Sd_SonarDTM::HeightFileCode of the cell's
// height over low ... high (0 for a cell without a height), its colour the
// cell's lit colour. shown is the table of shown flag bytes the heights
// of a surface mode are computed with.
struct Surface {
  Sd_SoundingGrid& grid;
  const float* bounds;
  const unsigned char* shown;
  float low, high;
};

// The height range of the surface's codes: attribute 20's configured
// range when both its ends are non-zero (and it is a finite, increasing
// range), else zMin ... zMax.
void HeightRange(const Sd_SoundingStyle& style, double zMin, double zMax, float* low, float* high);
// Gives terrain grids of the cell grid's size filled with the surface of
// mode (0 deep, 1 shallow, 2 average; any other keeps the heights as they
// are), its bounds and names; the grid's surface mode and heights are
// restored. -1 (terrain without grids) without a cell grid or when out of
// memory.
int FillTerrain(const Surface& surface, Sd_SonarDTM* terrain, int mode);
// Writes baseName + ".dtm" and baseName + ".geo" of the surface of mode,
// each atomically. 0, or -1.
int WriteDTM(const Surface& surface, const char* baseName, int mode);
// Writes one text line "%lf %lf %f\n" (x, y, z) per cell that has a shown
// sounding: its list entry at position (shown count) / 2. Atomically; 0 or
// -1.
int WriteGridPoints(const char* path, const Sd_SoundingGrid& grid, const Sd_SoundingPoints& points);

}  // namespace Sd_SoundingExport

#endif
