#ifndef SD_VOLUME_H
#define SD_VOLUME_H

#include <cstddef>
#include <string>

#include "Sd_IsoSurface.h"
#include "Sd_Node.h"

class TDR_Manager;

// The scalar volume ("Sd_Volume", object tag 10200, settings tag 10202, node
// type 15): a grid of signed 8-bit samples, shown as the lit, colour-mapped
// iso-surface on which the samples cross the iso-value.
//
// The grid has slices x dim1 x dim2 samples, addressed (k, i, j): k the
// slice, i along dim1, j along dim2 (fastest in memory). Slices 0 and
// slices - 1 are all zero and frame the file's dim3 slices, so a surface
// always closes at the bottom and top of the block. The object keeps two
// copies: the working grid the surface is built from and the source grid as
// loaded (RestoreVolume copies it back).
//
// Two triangle lists: the full list (every cell) and the coarse list (cells
// of the current step along dim1 and dim2, every slice), which is the full
// list itself when the step is 1. Render draws the coarse list (the full one
// at step 1); a progressive pass draws the full list, 10000 triangles a call.
// Surface vertices lie in the unit cube (i / dim1, j / dim2, k / slices),
// drawn in the node's box -0.5 ... 0.5.
//
// Records (docs/file-formats.md): the object record 10200, a SCALAR record
// of type CHAR, then the common tags and the settings record 10202. A scene
// keeps the object as a 10200 file-pointer record naming the volume data
// file, which holds the 10200 record and the SCALAR; the common tags and the
// settings follow the pointer in the scene file.
//
// Sample values are signed (a stored byte 200 is -56) and compared with the
// iso-value, a float on the sample scale (default 150.0, which no signed
// sample reaches). The value mapping between the sample scale and data units
// is linear: sample range 0 ... 255 to data range 0 ... 25.5.
class Sd_Volume : public Sd_Node {
 public:
  // Triangles drawn by one call of a progressive pass.
  static constexpr int kTrianglesPerStep = 10000;

  // An empty volume with the default colour map: WRUHOME/cmaps/step16.cmap,
  // or the built-in grey ramp when that cannot be read.
  Sd_Volume();
  // Releases both grids and both triangle lists.
  ~Sd_Volume() override;

  // Does nothing: the grids and lists stay until the object is deleted.
  void FreeData() override;
  // Reads the object record's payload (the factory has read its header),
  // the SCALAR record of the samples, the common tags with the settings,
  // then builds both lists. 0 on success; -1 for a missing, damaged or
  // refused record (the record found instead of the SCALAR is left for the
  // caller), or when memory runs out; the object is then empty.
  int LoadObject(TDR_Manager* manager) override;
  // Writes the object and, when withAttributes is non-zero, the common tags
  // with the settings record. A volume read from a data file of its own
  // (through a file pointer, or written by WriteDataFile) is written as a
  // file-pointer record naming that file; any other volume is written with
  // its samples (the data file's records), as is one whose data file is
  // the file being written. 0, or -1 without samples or when a write fails.
  int SaveObject(TDR_Manager* manager, int withAttributes, int unused) override;
  // The node's common tags and the settings record, in any order; later
  // records win. A damaged settings record is skipped (defaults kept); a
  // step below 1 counts as 1. Bounds without extent on any axis become the
  // grid's index space: x 0 ... dim1 - 1, y 0 ... dim2 - 1, z 0 ... slices - 1.
  int ReadCommonTags(TDR_Manager* manager) override;
  int WriteCommonTags(TDR_Manager* manager) override;
  // Keep the step and the iso-value (sample scale) in the node's data
  // buffer / copy them back (nothing is rebuilt); full detail is step 1
  // (returns 1).
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;
  // The coarse list (the full list at step 1), lit, in the node's box.
  // Without the light set (Sv_Lighting::GetGlobal) nothing is drawn.
  void Render() override;
  // One call of a progressive pass over the full list: the first call
  // pushes the matrix, each further call draws up to kTrianglesPerStep
  // triangles, the call after the last pops and returns 1. The
  // redraw-pending flag abandons a pass (the matrix popped if pushed,
  // returns 0). Without the light set the pass ends at once (returns 1).
  int StepRender() override;

  static constexpr int kTypeId = 15;
  const char* className() const override;

  // A small volume with its common tags and settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // --- samples ---
  // Replaces the volume with dim3 slices of dim1 x dim2 samples, given slice
  // after slice in rows of dim2 (the data file's order), framed by the two
  // zero slices, and builds both lists. Bounds without extent become index
  // space. -1 for dim1 or dim2 below 2, dim3 below 1, null samples or when
  // memory runs out (the volume is then empty).
  int SetSamples(int dim1, int dim2, int dim3, const signed char* samples);
  // Writes the volume data file: the text header, the object record with the
  // samples (SaveDataRecords), the end tag. On success later saves point at
  // it, and it becomes the description. 0 or -1 (the old file then stays).
  int WriteDataFile(const char* path);
  // The object record 10200 (not a pointer) and the SCALAR record of the
  // source grid: what a volume data file holds. 0, or -1 without samples or
  // when a write fails.
  int SaveDataRecords(TDR_Manager* manager);

  int GetDim1() const { return m_dim1; }
  int GetDim2() const { return m_dim2; }
  int GetSlices() const { return m_slices; }
  // Sample (k, i, j) of the working / source grid; 0 outside the grid.
  int GetSample(int k, int i, int j) const { return SampleOf(m_working, k, i, j); }
  int GetSourceSample(int k, int i, int j) const { return SampleOf(m_source, k, i, j); }
  // The working grid, slices x dim1 x dim2 (null when empty). Changes take
  // effect at the next RebuildSurface.
  signed char* GetWorkingGrid() { return m_working; }
  // Copies the source grid over the working grid (nothing is rebuilt).
  void RestoreVolume();

  // --- value mapping and settings ---
  // The data range pair (min, max) of the value mapping.
  float* GetValueRange() { return m_dataRange; }
  // The sample-scale value of a data value.
  float ToByteValue(float dataValue) const;
  // The iso-value in data units, recomputed from the sample scale.
  float GetIsoValue();
  // The iso-value on the sample scale, as the extraction uses it.
  float GetSampleIsoValue() const { return m_isoSample; }
  // Sets the iso-value in data units ("Incorrect iso-value. Try again." when
  // outside the data range, applied all the same); a whole sample value
  // gets 0.5 added, so the surface never passes exactly through a sample.
  // Nothing is rebuilt: RebuildSurface does that.
  void SetIsoValue(float dataValue);
  int GetStep() const { return m_step; }
  // Stores the step (below 1 counts as 1) and rebuilds the coarse list.
  void SetStep(int step);
  // Element i (0 ... 3) of the vector parameter, kept and saved only.
  float GetVectorParam(int i) const { return i >= 0 && i < 4 ? m_vector[i] : 0.0f; }
  void SetVectorParam(int i, float value) {
    if (i >= 0 && i < 4) m_vector[i] = value;
  }
  int GetModeFlag() const { return m_modeFlag; }
  void SetModeFlag(int flag) { m_modeFlag = flag; }
  float GetCellSize() const { return m_cellSize; }
  // The volume's colour map: 256 packed colours indexed by colour index.
  const unsigned int* GetColourMap() const { return m_colours; }

  // --- iso-surface ---
  // Builds the full list again at the current iso-value, then the coarse
  // list (BuildCoarseSurface).
  void RebuildSurface();
  // The full list (every cell) and the coarse list; null when none was built.
  const Sd_IsoSurface* GetFullSurface() const { return m_fullList; }
  const Sd_IsoSurface* GetCoarseSurface() const { return m_coarseList; }
  // Triangles made by the last extraction (the coarse one when the step is
  // not 1).
  int GetTriangleCount() const { return m_triangleCount; }
  int GetStepState() const { return m_stepState; }

  // Appends to list the triangles of one pass over the working grid at
  // steps (s1, s2, s3) and sets the triangle count. Vertices are shared
  // through the cut edges; their normals are the normalised sums of the
  // adjacent face normals, their colour indices the interpolated gradient
  // strength. The sizes are the grid's (-1 otherwise; an empty volume gives
  // no triangle). 0, or -1 after "Allocating memory chunk for pointlinks!"
  // when memory runs out (list is then left empty).
  int BuildIsoSurface(Sd_IsoSurface* list, float iso, int dim1, int dim2, int slices, int s1, int s2, int s3);
  // Drops one triangle's reference to vertex v of list: 1 when it was the
  // last reference (the vertex goes with its list), 0 otherwise.
  static int ReleaseVertex(Sd_IsoSurface* list, unsigned int v);

  // --- measures ---
  // The region at or above the iso-value, counted by samples over the
  // working grid: volume = count x cell volume, valueSum = the data values
  // of the counted samples.
  void GetCoarseIsoVolume(float* volume, float* valueSum) const;
  // The same cell by cell over the source grid: cells with every corner at
  // or above count whole (value: the mean of their corners), cells the
  // surface cuts by n x n x n sub-samples (n below 1 counts as 1). While
  // the box clips, only what lies in the box counts.
  void GetIsoVolume(float* volume, float* valueSum, int n) const;
  // The fraction of cell (i, j, k) (its first corner: i along dim1, j along
  // dim2, k the slice) at or above the iso-value (and in the box while it
  // clips), and the sum of the sub-sample values there, both divided by
  // n^3. A sub-sample that no pair of opposite faces gives a value counts as
  // below, after an alert.
  void GetPartialVolume(int i, int j, int k, double* volume, double* sum, int n) const;
  // The value at (u, v) of a cell face from its corner samples c0 (0, 0),
  // c1 (1, 0), c2 (1, 1), c3 (0, 1); a sample of 0 has no value.
  static double InterpolateFace(double u, double v, int c0, int c1, int c2, int c3);

  // --- clip box ---
  // The box given by its eight corners (node coordinates): faces through
  // corners (0, 3, 4) and (1, 2, 5) at most w0 from a point inside, (0, 1, 4)
  // and (2, 6, 7) at most w1, (0, 1, 2) and (4, 6, 7) at most w2. The
  // corners are kept normalised to the node's bounds for the box's outline.
  void SetClipBox(const float corners[8][3], float w0, float w1, float w2);
  // The plane through three points (unit normal); a point's distance from
  // a plane, which for a plane without a normal (three points on a line)
  // is infinite: such a face contains nothing.
  static void PlaneFromPoints(const float p1[3], const float p2[3], const float p3[3], float plane[4]);
  static double PlaneDistance(double x, double y, double z, const float plane[4]);
  // 1 when the point (node coordinates) lies in the box, else 0.
  int IsPointInBox(double x, double y, double z) const;
  // IsPointInBox of the position of sample (k, i, j).
  int IsVoxelInBox(int k, int i, int j) const;
  // While the box clips: every working sample at or above the iso-value
  // outside the box becomes 0, and the surface is built again.
  // RestoreVolume undoes it.
  void CropToBox();
  // The box outline is drawn / the box limits the measures and the crop.
  void SetBoxDisplay(int on) { m_boxDisplay = on; }
  int GetBoxDisplay() const { return m_boxDisplay; }
  void SetBoxClip(int on) { m_boxClip = on; }
  int GetBoxClip() const { return m_boxClip; }
  // Node position of sample (k, i, j): each axis at its own spacing.
  void SamplePosition(int k, int i, int j, double p[3]) const;

  // --- marked points ---
  struct MarkPoint {
    float value[3];
    MarkPoint* next;
    MarkPoint* previous;
  };
  // A new point at the front of the list (the first point added stays the
  // last). 0.
  int AddMarkPoint(float a, float b, float c);
  // -1 removes every point; p >= 1 the p-th from the front (nothing when
  // there is none). Either way no point is current afterwards.
  void RemoveMarkPoint(int position);
  // The p-th point from the front becomes current when there is one.
  void SelectMarkPoint(int position);
  MarkPoint* GetLastMarkPoint() const { return m_markLast; }
  MarkPoint* GetFirstMarkPoint() const { return m_markFirst; }
  MarkPoint* GetCurrentMarkPoint() const { return m_markCurrent; }

 protected:
  // Takes the settings record 10202.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  struct IsoPass;

  // The full list (steps 1, 1, 1), then the coarse list (BuildCoarseSurface
  // without releasing).
  void BuildSurfaces();
  // Sets the redraw-pending flag, releases the coarse list unless it is the
  // full list, and builds it: at steps (step, step, 1), or the full list
  // itself at step 1. oldStep is the step the coarse list was built with.
  void BuildCoarseSurface(int oldStep);
  // Extracts the layers [layerBegin, layerEnd) (slices layer x s3) into the
  // pass's list; the triangles of the first layer are counted into
  // firstTriangles. false when memory runs out.
  bool ExtractLayers(IsoPass& pass, int layerBegin, int layerEnd, size_t* firstTriangles);
  // The triangles of one cell, whose first corner is lattice point (li, lj)
  // of the pass's lower plane at slice k.
  void PolygoniseCell(int caseIndex, int li, int lj, int k, IsoPass& pass);
  // The vertex on edge e of that cell, made when the edge is met first.
  unsigned int EdgeVertex(int e, int li, int lj, int k, IsoPass& pass);
  // Releases a list through its vertices' references.
  static void ReleaseList(Sd_IsoSurface* list);
  // Releases both lists (once when they are one).
  void ReleaseSurfaces();
  // Releases the coarse list unless it is the full list.
  void DropCoarseList();
  // A new list built at steps (step, step, 1), or null.
  Sd_IsoSurface* NewList(int step);
  // Releases both grids and lists; the volume is empty.
  void ReleaseVolume();
  // The p-th marked point from the front, or null.
  MarkPoint* MarkPointAt(int position) const;
  // GetPartialVolume without its messages: the sub-samples that no face
  // pair gave a value, for the caller to report.
  int PartialCell(int i, int j, int k, double* volume, double* sum, int n) const;
  // Data units of a sum of count sample values (sample scale).
  double DataSum(double sampleSum, double count) const;
  // Volume of one cell.
  double CellVolume() const;
  // Allocates both grids for the sizes (zeroed); false after the message
  // when memory runs out.
  bool AllocateGrids(int dim1, int dim2, int slices);
  // Reads the SCALAR payload into new grids. 0 or -1.
  int ReadSamples(TDR_Manager* manager);
  // Index-space bounds when an axis has no extent; the cell size.
  void UpdateBoundsAndCellSize();
  // Reads one settings record; a damaged one is skipped with a message.
  void ReadSettingsRecord(TDR_Manager* manager);
  int SampleOf(const signed char* grid, int k, int i, int j) const;
  // The list Render draws.
  const Sd_IsoSurface* RenderList() const { return m_step == 1 ? m_fullList : m_coarseList; }
  // Triangles [first, first + count) of list, lit and coloured.
  void DrawTriangles(const Sd_IsoSurface* list, size_t first, size_t count) const;
  // The clip box outline when its display flag is set.
  void DrawClipBox() const;
  // Ends an open progressive pass: lighting off, its matrix popped.
  void ClosePass();

  signed char* m_working;
  signed char* m_source;
  int m_step;
  float m_isoSample;
  float m_isoData;
  float m_vector[4];
  int m_modeFlag;
  int m_dim1, m_dim2, m_slices;
  int m_triangleCount;
  float m_sampleRange[2];
  float m_dataRange[2];
  float m_cellSize;
  int m_boxDisplay;
  int m_boxClip;
  float m_boxCorners[8][3];  // normalised to the node's bounds, for the outline
  float m_boxRaw[8][3];      // node coordinates
  float m_boxPlanes[6][4];
  float m_boxWidths[3];
  MarkPoint* m_markFirst;
  MarkPoint* m_markLast;
  MarkPoint* m_markCurrent;
  int m_stepState;
  size_t m_cursor;
  Sd_IsoSurface* m_fullList;
  Sd_IsoSurface* m_coarseList;
  int m_pushed;
  unsigned int m_colours[256];
  // The volume data file the samples came from (or were written to): saves
  // point at it. Empty: the samples are saved with the object.
  std::string m_dataFile;
};

#endif
