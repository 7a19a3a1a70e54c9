#ifndef SD_SPHEREDTM_H
#define SD_SPHEREDTM_H

#include <initializer_list>
#include <vector>

#include "Sd_BaseDTM.h"
#include "Sd_SphereTerrain.h"

// The "Spherical DTM" (object tag 10015, settings tag 10017, node type 14):
// a latitude/longitude grid wrapped onto a globe of diameter 1 centred on
// the node's origin. The x bounds are longitudes in degrees, the y bounds
// latitudes in degrees (row 0 at the southern bound), the z bounds the
// height range of the codes; heights are exaggerated relative to the
// Earth's radius of 6371000 m.
//
// Node (r, c) with code k lies at radius k * heightScale + baseRadius, in
// the direction of its longitude and latitude: x towards longitude 0 on the
// equator, z towards the north pole. Code 0 is drawn at the lowest height
// like any other code; it is not a hole on the globe. Rows are equally
// spaced in latitude, or in Mercator y (SetMercatorRows). Sines and cosines
// of every row's latitude and every column's longitude are kept in tables,
// so a vertex costs only products.
//
// Only the part of the globe inside the view is drawn (ComputeVisibleWindow:
// the longitude/latitude box of the sphere's visible part, which may run
// across the longitude seam), at a stride chosen from the globe's screen
// coverage. The window, stride, progressive cursors and pass state are the
// terrain toolkit's fields (m_colStart ... m_downRow, m_lodStep, m_autoLod,
// m_minStep, m_stepIncrement): a window whose start column is greater than
// its end column runs across the seam, columns [start, cols) then [0, end).
//
// A 360-degree grid (longitude range within 1 degree of 360) closes its
// ring at the seam; any other grid never joins its first and last columns.
//
// Records: the empty object record 10015, the elevation and colour SCALAR
// records, the common tags and the settings record 10017
// (docs/file-formats.md). Grids below 2 x 2 nodes and empty longitude or
// latitude ranges are refused.
class Sd_SphereDTM : public Sd_BaseDTM, public Sd_SphereTerrain {
 public:
  static constexpr int kTypeId = 14;
  // Radius of the Earth in metres, the unit of the exaggerated heights.
  static constexpr double kEarthRadius = 6371000.0;
  // Graticule: parallels every 10 degrees from -80 to 80, meridians every
  // 10 degrees.
  static constexpr int kParallels = 17;
  static constexpr int kMeridians = 36;

  Sd_SphereDTM();
  ~Sd_SphereDTM() override;

  // Releases the trigonometric tables and the grids.
  void FreeData() override;
  // Reads the object record's payload (the factory has read its header),
  // the two SCALAR records and the common tags with the settings, then
  // builds the tables and radii. 0 on success; -1 for a missing, damaged or
  // mismatched record, a grid below 2 x 2 or an empty longitude or latitude
  // range, with nothing kept.
  int LoadObject(TDR_Manager* manager) override;
  // Object record, SCALAR records and (withCommonTags) the common tags with
  // the settings record. 0, or -1 without grids or on a failed write.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small global sample with its settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);
  const char* className() const override;

  // --- drawing ---
  // The visible window at the chosen stride; the window fields are left as
  // they were, so a progressive pass in progress is not disturbed.
  void Render() override;
  // One step of a progressive pass (the toolkit's pass over the sphere's
  // window and strips): begin, up to five strips upwards and five downwards
  // from the row under the view centre per call, finish (returns 1); the
  // graticule is drawn when the pass finishes.
  int StepRender() override;

  // --- picking ---
  // Screen pick: 1 when the picked point lies on the globe's shell inside
  // the grid, on a cell with four non-zero corners; the output (unless the
  // request's mode asks for a hit test only) gets longitude, latitude, the
  // bilinear height and colour.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;
  // Value query at (longitude, latitude): 1 with the height handed to the
  // query callback, 0 where the point has no value.
  int ValueAt(double longitude, double latitude, int user) override;
  // Height at (longitude, latitude), interpolated in Mercator y; 0 where
  // the point has no value (also on the last row and column).
  double GetElevation(double longitude, double latitude) override;
  // Stores the exaggeration and recomputes radius and height scale.
  void SetExaggeration(float exaggeration) override;
  float GetExaggeration() const { return m_exaggeration; }

  // --- drawing settings ---
  void SetDrawMode(short mode) { m_drawMode = mode; }
  short GetDrawMode() const { return m_drawMode; }
  int GetAlpha() const { return m_alpha; }
  // Alpha 0 ... 255; below 255 the colours of every row but the last and
  // every column but the last get it and the globe is drawn blended.
  void SetAlpha(int alpha);
  void SetMercatorRows(int on);
  int GetMercatorRows() const { return m_mercatorRows; }
  void RebuildSinCosTables();
  void SetShowGraticule(int on) { m_showGraticule = on; }
  int GetShowGraticule() const { return m_showGraticule; }
  int GetDrawBackFaces() const { return m_drawBackFaces; }
  int GetWrapsAround() const { return m_wrapsAround; }
  double GetBaseRadius() const { return m_baseRadius; }
  double GetHeightScale() const { return m_heightScale; }
  // Radius of the highest code.
  double OuterRadius() const { return 65535.0 * m_heightScale + m_baseRadius; }
  // Last picked point on the globe (object coordinates).
  const float* GetPickPoint() const { return m_pickPoint; }
  int GetStepState() const { return m_stepState; }
  int GetPushCount() const { return m_pushCount; }

  // --- geometry ---
  // Latitude (radians) as a row coordinate: Mercator y (latitude clamped
  // to +-85 degrees) with Mercator rows, else its sine.
  double ProjectLatitude(double latitude) const;
  // Back to a latitude in radians; arcsine forces the sine form.
  double UnprojectLatitude(double v, bool arcsine) const;
  // Fractional row of a latitude in degrees (row 0 at the southern bound,
  // rows - 1 at the northern), in the rows' spacing.
  double FractionalRow(double latitude) const;
  // Fractional column of a longitude in degrees.
  double FractionalColumn(double longitude) const;
  // Row of a latitude in degrees: the fractional row floored, within
  // 0 ... rows.
  int LatitudeToRow(double latitude) const;
  // Longitude moved by 360 degrees into the grid's range where that helps.
  double WrapLongitude(double longitude) const;

  // Computes the visible window, the strides and the progressive cursors
  // from the view (Sd_FrameState::CurrentView, or the given one, in object
  // space). 1, or 0 (window unchanged) when no part of the globe is in view.
  int ComputeVisibleWindow();
  int ComputeVisibleWindow(const Sd_DTMView& view);
  // Distance along the ray origin + t direction to the sphere of the given
  // radius (leaving it when the origin is inside), or -1.
  static double IntersectRaySphere(const double origin[3], const double direction[3], double radius);
  // Fraction of the viewport the globe covers through pm (projection x
  // model-view), at most 1.
  float ScreenCoverage(const float pm[16]) const;
  // Row under the view centre (inverse: of projection x model-view), kept
  // within the window's rows.
  int GetViewCentreRow(const float inverse[16]) const;

  // Graticule vertex (parallel i, meridian j) and its colour.
  const float* GraticulePoint(int i, int j) const { return m_graticule[i][j]; }
  unsigned GraticuleColour(int i, int j) const { return m_graticuleColors[i][j]; }

 protected:
  // The settings record 10017; nothing else.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // A cell answers when its four corners hold non-zero codes.
  bool CellFilled(int row, int col) const override;

 private:
  struct LonLatBox {
    double lonMin, lonMax, latMin, latMax;
  };

  void BuildGraticule();
  void BuildSinCosTables();
  void UpdateRadiusScale();
  // Latitude of row r in radians.
  double RowLatitude(int r) const;
  // Longitude/latitude box of the part of the sphere of radius r inside the
  // view volume (the far plane ignored); inv is the inverse of projection x
  // model-view. False when no part is inside.
  bool VisibleBox(const float inv[16], double r, LonLatBox* box) const;
  // Bilinear height (and colour) at a longitude (moved by 360 degrees into
  // the grid's range where that helps) and latitude; false without a value.
  bool HeightAt(float longitude, float latitude, double* height, unsigned* colour) const;

  // The node transform, the visible window, the strips (back faces culled
  // unless they are drawn) and the graticule, for the drawing passes.
  PassHooks SpherePassHooks();
  // Drawing, inside the node transform.
  void DrawGraticule() const;
  // The strip between rows r and r2 (r < r2) with column stride s over the
  // window's columns, by the draw mode.
  void DrawStrip(int r, int r2, int s);
  void DrawPatchStrip(int r, int r2, int s);
  void DrawWireStrip(int r, int r2, int s);
  // Columns [start, end) of the grid.
  struct ColumnRun {
    int start, end;
  };
  // Fills the strip arrays with the nodes of rows r2 and r (upper first)
  // for the columns of runs at stride s, each run ending with its last
  // column, and column 0 once more when closeRing; returns the count.
  size_t FillStrip(int r, int r2, int s, std::initializer_list<ColumnRun> runs, bool closeRing);
  // Draws the window's columns between rows r and r2 as strips of the
  // given OpenGL primitive, split or joined at the seam.
  void DrawColumnRuns(unsigned mode, int r, int r2, int s);

  double m_heightScale;
  double m_baseRadius;
  int m_mercatorRows;
  int m_showGraticule;
  int m_drawBackFaces;
  float m_exaggeration;
  std::vector<float> m_latCos, m_lonCos, m_latSin, m_lonSin;
  float m_graticule[kParallels][kMeridians][3];
  unsigned m_graticuleColors[kParallels][kMeridians];
  float m_pickPoint[3];
  int m_wrapsAround;
};

#endif
