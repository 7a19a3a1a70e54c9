#ifndef SD_SOUNDINGPAINTER_H
#define SD_SOUNDINGPAINTER_H

#include <cstddef>
#include <memory>

#include "Sd_SoundingEditor.h"
#include "Sd_SoundingGrid.h"
#include "Sd_SoundingPoint.h"
#include "Sd_SoundingSelection.h"
#include "Sd_SoundingStyle.h"
#include "Sd_StripArrays.h"

class GLUquadric;
class Sv_Lighting;

// The drawing of a sounding data set in OpenGL (Sd_SoundingDraw.cpp): the
// switches of what is shown, the cell surface (lit with the cells'
// normals, or pre-shaded) whole or a strip per progressive step with the
// state of a progressive pass, and the overlays: base plate, grid lines,
// the selection window's outline and the symbols of the selected cells'
// and the marked soundings. It reads the other parts through a Scene; the
// node's transform, matrices and pass protocol stay with the data set.
class Sd_SoundingPainter {
 public:
  // What a drawing reads: the parts, the node's bounds and the soundings.
  struct Scene {
    const Sd_SoundingGrid& grid;
    const Sd_SoundingExtent& extent;
    const float* bounds;  // the node's {x min, x max, y min, y max, z min, z max}
    const Sd_SoundingStyle& style;
    const Sd_SoundingSelection& selection;
    const Sd_SoundingEditor& editor;
    const Sd_SoundingPoints& points;
  };

  // --- switches ---
  int ShowGridLines() const { return m_showGridLines; }
  int ShowSurface() const { return m_showSurface; }
  int ShowCellSoundings() const { return m_showCellSoundings; }
  int ShowBase() const { return m_showBase; }
  void SetShowGridLines(int on) { m_showGridLines = on; }
  void SetShowSurface(int on) { m_showSurface = on; }
  void SetShowCellSoundings(int on) { m_showCellSoundings = on; }
  void SetShowBase(int on) { m_showBase = on; }
  void SetShowMarked(int on) { m_showMarked = on; }
  float GridLineZ() const { return m_gridLineZ; }
  void SetGridLineZ(float z) { m_gridLineZ = z; }

  // false when the surface is to be drawn lit and there is no light set:
  // then nothing is drawn, and it is said once (text at error level, else
  // where at debug level).
  bool HasLightsToDraw(const Scene& scene, const char* text, const char* where);

  // --- overlays ---
  // The grey base plate while it is switched on.
  void DrawBase() const;
  // Grid lines (every stride-th and the outer ones), window outline,
  // soundings, and the grid frame entered (the centre of cell (row r,
  // column c) with height h is (c, r, h)). false, with nothing drawn,
  // without cells.
  bool DrawGridOverlays(const Scene& scene, int stride);
  // The soundings of cell (row, col): a stem from the floor and a symbol
  // for each (a flagged symbol for highlighted ones).
  void DrawCellSoundings(const Scene& scene, int row, int col);
  // The soundings of the marked list, each with a stem from above and an
  // upside-down symbol.
  void DrawMarkedSoundings(const Scene& scene);
  // The pyramid of a sounding (onMarkedList: the marked list's colours);
  // the cylinder of a flagged one.
  void DrawSoundingSymbol(const Scene& scene, int index, int onMarkedList) const;
  void DrawFlaggedSymbol(const Scene& scene, int index);

  // --- the surface ---
  // The whole surface at stride, in batches, while it is switched on.
  void DrawSurface(const Scene& scene, int stride);
  // Opens a progressive pass at step (its matrix pushed by the caller).
  void OpenPass(int step);
  bool InPass() const { return m_stepState != 0; }
  // Draws the pass's next strip: false when none is left (surface false:
  // none is drawn).
  bool DrawPassStrip(const Scene& scene, bool surface);
  // Ends a pass: pops its matrix, switches the surface state off and
  // resets the pass.
  void ClosePass(const Scene& scene, bool surface);
  // Switches blending and, for the lit surface, lighting on (false when
  // the light set is missing) and off again.
  bool BeginSurface(const Scene& scene) const;
  void EndSurface(const Scene& scene) const;

 private:
  // Puts the surface strip between rows r and r2 over the columns 0, s,
  // 2s, ... below cols into the strip arrays after their first n vertices
  // (joined to those by two repeated vertices); the vertex count after it.
  size_t AppendSurfaceStrip(const Scene& scene, int r, int r2, int s, size_t n);
  // Draws the first n vertices of the strip arrays as one triangle strip
  // (their client state enabled).
  void DrawSurfaceArrays(const Scene& scene, size_t n);

  int m_showGridLines = 1;
  int m_showSurface = 1;
  int m_showCellSoundings = 1;
  int m_showBase = 1;
  int m_showMarked = 1;
  float m_gridLineZ = -0.5f;
  // Progressive pass: state (0 set-up, 1 strips, 2 finish), pushed
  // matrices, its stride and the next strip's first row.
  int m_stepState = 0;
  int m_pushCount = 0;
  int m_passStep = 1;
  int m_stepRow = 0;
  int m_lightsReported = 0;  // the missing light set was reported
  struct QuadricDeleter {
    void operator()(GLUquadric* q) const;
  };
  std::unique_ptr<GLUquadric, QuadricDeleter> m_quadric;  // made on first use
  Sd_StripArrays m_strips;
};

#endif
