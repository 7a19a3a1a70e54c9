// Sounding data sets: the gridded surface as a terrain object of the scene,
// as a terrain file pair ('.dtm' heights and '.geo' georeference) and as a
// text list of grid points; and the HTF reader of a sounding file.
#include <cmath>
#include <functional>
#include <string>

#include "Sd_SoundingExport.h"

#include "Sd_HTFSounding.h"
#include "Sd_SonarDTM.h"
#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace {

// Geographic unit code of the georeference file: UTM.
constexpr int kGeoUnitUTM = 2;

const char* SurfaceName(int mode) {
  static const char* const kNames[3] = {"Deep Surface", "Shallow Surface", "Average Surface"};
  return mode >= 0 && mode <= 2 ? kNames[mode] : "Unknown Surface";
}

// The surface terrain as the export writes it: its height grid goes out as
// the scalar record of a terrain file, over its z bounds.
class ExportTerrain : public Sd_SonarDTM {
 public:
  int WriteHeights(TDR_Manager* manager) const {
    const unsigned short words[2] = {GetMinCode(), GetMaxCode()};
    return WriteCodeGrid(manager, ElevationRows(), GetRows(), GetCols(), m_bounds[4], m_bounds[5], words);
  }
};

// Results of WriteTerrainFile.
enum FileResult { kWritten = 0, kNotOpened = -1, kNotWritten = -2 };

// A terrain file at path: the text header, one record (tag, tag version,
// payload from payload()) and the end tag, written atomically: a failure
// leaves any old file as it was and no temporary file behind.
FileResult WriteTerrainFile(const std::string& path, int tag, short tagVersion,
                            const std::function<bool(TDR_Manager*)>& payload) {
  TDR_Manager manager;
  if (manager.OpenFile(path.c_str(), "wb") != 0) return kNotOpened;
  if (manager.WriteHeader() == 0 && manager.WriteTag(tag, tagVersion, 0, 0, 1) == 0 && payload(&manager) &&
      manager.EndTag() == 0 && manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0) {
    return manager.CloseFile() == 0 ? kWritten : kNotWritten;
  }
  manager.DiscardFile();
  return kNotWritten;
}

}  // namespace

namespace Sd_SoundingExport {

void HeightRange(const Sd_SoundingStyle& style, double zMin, double zMax, float* low, float* high) {
  float range[2] = {0.0f, 0.0f};
  style.GetAttributeRange(20, &range[0], &range[1]);
  // A range given by its two ends; a range that is not one (inverted, not
  // finite) would map every height to no code.
  const bool configured =
      range[0] != 0.0f && range[1] != 0.0f && std::isfinite(range[0]) && std::isfinite(range[1]) && range[0] < range[1];
  *low = configured ? range[0] : static_cast<float>(zMin);
  *high = configured ? range[1] : static_cast<float>(zMax);
}

int FillTerrain(const Surface& surface, Sd_SonarDTM* terrain, int mode) {
  Sd_SoundingGrid& grid = surface.grid;
  const int rows = grid.Rows(), cols = grid.Cols();
  if (!grid.HasCells() || terrain->CreateGrids(rows, cols) != 0) return -1;
  terrain->SetEmptyCode(0);
  // Codes 1 ... 65535 span the height range.
  terrain->SetCodeRange(1, 65535);
  terrain->SetName(SurfaceName(mode));
  terrain->SetDescription("Internal");
  const float low = surface.low, high = surface.high;
  // Node (r, c) stands at the centre of cell (r, c).
  const float half = 0.5f * grid.CellSize();
  const float* bounds = surface.bounds;
  terrain->SetBounds(0, bounds[0] + half, bounds[1] - half);
  terrain->SetBounds(1, bounds[2] + half, bounds[3] - half);
  terrain->SetBounds(2, low, high);

  const int kept = grid.SurfaceMode();
  grid.SetSurfaceMode(mode);
  if (!grid.ComputeHeights(surface.shown)) {
    grid.SetSurfaceMode(kept);
    (void)grid.ComputeHeights(surface.shown);
    return -1;
  }
  unsigned short** codes = terrain->GetElevationGrid();
  unsigned int** colours = terrain->GetColorGrid();
  const float* heights = grid.Heights();
  const unsigned* cellColours = grid.Colours();
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const size_t i = grid.CellIndex(r, c);
      // A cell without a height (kNoHeight) lies above the range: code 0.
      codes[r][c] = Sd_SonarDTM::HeightFileCode(heights[i], low, high);
      colours[r][c] = cellColours[i];
    }
  }
  grid.SetSurfaceMode(kept);
  return grid.ComputeHeights(surface.shown) ? 0 : -1;
}

int WriteDTM(const Surface& surface, const char* baseName, int mode) {
  if (!baseName || !*baseName) {
    Sv_Debug::Error("ERROR:  Opening DTM file for writing  -  %s\n", "(no name)");
    return -1;
  }
  ExportTerrain terrain;
  if (FillTerrain(surface, &terrain, mode) != 0) {
    Sv_Debug::Error("ERROR:  No surface to export (no cell grid, or out of memory)  -  %s\n", baseName);
    return -1;
  }
  const std::string dtmPath = std::string(baseName) + ".dtm";
  const FileResult heights = WriteTerrainFile(
      dtmPath, TDR_TAG_SCALAR, 2, [&terrain](TDR_Manager* manager) { return terrain.WriteHeights(manager) == 0; });
  if (heights != kWritten) {
    Sv_Debug::Error(
        heights == kNotOpened ? "ERROR:  Opening DTM file for writing  -  %s\n" : "ERROR:  Writing DTM file  -  %s\n",
        dtmPath.c_str());
    return -1;
  }
  // The georeference: a regular box in UTM spanning the nodes (the outer
  // cell centres) and the height range.
  TDR_GeoRef geo;
  geo.SetReferenceType(0);
  geo.SetGeoUnitType(kGeoUnitUTM);
  geo.SetSubUnitType(0);
  geo.SetXBounds(terrain.GetBounds(0)[0], terrain.GetBounds(0)[1]);
  geo.SetYBounds(terrain.GetBounds(1)[0], terrain.GetBounds(1)[1]);
  geo.SetZBounds(terrain.GetBounds(2)[0], terrain.GetBounds(2)[1]);
  geo.SetColorResolution(0.0f);
  const std::string geoPath = std::string(baseName) + ".geo";
  const FileResult georef =
      WriteTerrainFile(geoPath, TDR_TAG_GEOREF, 1, [&geo](TDR_Manager* manager) { return geo.Write(manager) == 0; });
  if (georef != kWritten) {
    Sv_Debug::Error(
        georef == kNotOpened ? "ERROR:  Opening geo file for writing  -  %s\n" : "ERROR:  Writing geo file  -  %s\n",
        geoPath.c_str());
    return -1;
  }
  return 0;
}

int WriteGridPoints(const char* path, const Sd_SoundingGrid& grid, const Sd_SoundingPoints& points) {
  Sv_AtomicFile file;
  FILE* out = path && *path ? file.Open(path, 0) : nullptr;
  if (!out) {
    Sv_Debug::Error("ERRROR: Opening fileName: %s\n", path ? path : "");
    return -1;
  }
  for (int r = 0; r < grid.Rows(); ++r) {
    for (int c = 0; c < grid.Cols(); ++c) {
      int count = 0;
      const int* list = grid.CellSoundings(r, c, &count);
      int shown = 0;
      for (int k = 0; k < count; ++k) shown += points.IsSoundingShown(list[k]) ? 1 : 0;
      if (shown == 0) continue;
      // The middle of the shown count, as a position in the whole list.
      const Sd_SoundingPoint p = points.GetSoundingPoint(list[shown / 2]);
      fprintf(out, "%lf %lf %f\n", p.x, p.y, p.z);
    }
  }
  if (file.Commit() != 0) {
    Sv_Debug::Error("ERROR:  Writing grid points  -  %s\n", path);
    return -1;
  }
  return 0;
}

}  // namespace Sd_SoundingExport

// --- the data set's export ---

void Sd_SoundingSet::GetSurfaceHeightRange(float* low, float* high) const {
  Sd_SoundingExport::HeightRange(m_style, m_extent.zMin, m_extent.zMax, low, high);
}

Sd_SoundingExport::Surface Sd_SoundingSet::ExportSurface(unsigned char shown[256]) {
  ShownTable(shown);
  float low, high;
  GetSurfaceHeightRange(&low, &high);
  return Sd_SoundingExport::Surface{m_grid, m_bounds, shown, low, high};
}

Sd_SonarDTM* Sd_SoundingSet::CreateSurfaceDTM(int mode) {
  Sd_Node* parent = GetParent();
  if (!parent) {
    Sv_Debug::Error("ERROR:  The soundings have no parent node to add their surface to  -  %s\n", GetName());
    return nullptr;
  }
  Sd_SonarDTM* terrain = new Sd_SonarDTM();
  unsigned char shown[256];
  if (Sd_SoundingExport::FillTerrain(ExportSurface(shown), terrain, mode) != 0) {
    delete terrain;
    Sv_Debug::Error("ERROR:  No surface to make a terrain of (no cell grid, or out of memory)  -  %s\n", GetName());
    return nullptr;
  }
  parent->AddChild(terrain);
  CallTreeChange();
  return terrain;
}

int Sd_SoundingSet::ExportDTM(const char* baseName, int mode) {
  unsigned char shown[256];
  return Sd_SoundingExport::WriteDTM(ExportSurface(shown), baseName, mode);
}

int Sd_SoundingSet::WriteGridPoints(const char* path) { return Sd_SoundingExport::WriteGridPoints(path, m_grid, *this); }

int Sd_HTFSounding::ReadSoundingFile(const char* path) {
  TDR_Manager manager;
  if (!path || manager.OpenFile(path, "rb") != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Opening TDR file  -  ", path);
    return -1;
  }
  if (manager.ReadHeader() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading header of TDR file  -  ", path);
    return -1;
  }
  int loaded = 0;
  for (;;) {
    const int tag = manager.ReadTag();
    if (tag == TDR_TAG_EOF) break;
    // A record refused on its own (an unknown tag) is stepped over; after
    // a damaged header nothing further can be found.
    if (tag == TDR_TAG_ERROR) {
      if (manager.CanReadOn()) continue;
      break;
    }
    // Other records are stepped over by the next ReadTag. The sounding
    // record takes the records that follow it (LoadObject), and replaces
    // the records, cell grid and data file the object held.
    if (tag == m_class.objectTag && LoadObject(&manager) == 0) loaded = 1;
  }
  manager.CloseFile();
  if (!loaded) Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No sounding record loaded from TDR file  -  ", path);
  return loaded ? 0 : -1;
}
