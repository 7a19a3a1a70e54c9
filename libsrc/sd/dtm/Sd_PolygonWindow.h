#ifndef SD_POLYGONWINDOW_H
#define SD_POLYGONWINDOW_H

#include <vector>

// A closed polygon in map coordinates turned into runs of nodes, row by row,
// over the node grid of a terrain model, so that "does node (row, column) lie
// inside the polygon?" is a search over a few runs.
//
// Node (r, c) lies at (xmin + c dx, ymin + r dy) with dx = (xmax - xmin) /
// (cols - 1), dy = (ymax - ymin) / (rows - 1). The polygon is closed from
// its last vertex back to the first.
//
// The runs come from one of two extractions:
// - ExtractRuns: every scan row r (y = ymin + r dy) crosses the polygon's
//   edges at some x; consecutive pairs of crossings span the nodes inside.
//   An edge from height s0 to s1 (in rows) crosses row r when min(s0, s1)
//   <= r < max(s0, s1), whichever way it runs, so a vertex on a scan row is
//   counted once where the outline passes through it and twice or never
//   where it turns, and every row has an even number of crossings.
//   Horizontal edges cross nothing.
// - The outline method: TraceOutline draws the edges between the vertices
//   (rounded down to nodes) as pixels, DoubleTurns writes the pixels where
//   the outline turns back in the row direction twice, and
//   BuildRunsFromOutline pairs the pixels of each row. It includes every
//   node the outline touches.
//
// The buffers have fixed capacities: 15 max(rows, cols) outline points and
// 3 max(rows, cols) runs. An extraction that would exceed one, or that meets
// an odd number of crossings in a row, fails (-1) after a message and leaves
// no runs: a window with some rows missing would silently drop data.
class Sd_PolygonWindow {
 public:
  // One polygon edge from (x0, y0) to (x1, y1), relative to (xmin, ymin),
  // with its line a x + b y + c = 0 (scaled so that the larger of |a| and
  // |b| is 1) and its length.
  struct Edge {
    double x0, y0, x1, y1;
    double a, b, c;
    double length;
  };
  // The nodes first ... last of row row lie inside. The runs are sorted by
  // row, those of a row by column, and lie apart (at least one node
  // between them).
  struct Run {
    int row, last, first;
  };

  // n vertices (x[i], y[i]) over a grid of rows x cols nodes with the given
  // bounds (xmin, xmax, ymin, ymax, zmin, zmax). The vertices are copied.
  // A window of fewer than 3 vertices, a null array, or a grid below 2 x 2
  // or with empty x or y bounds is invalid: it extracts nothing (-1).
  Sd_PolygonWindow(int n, int rows, int cols, const float bounds[6], const float* x, const float* y);

  bool IsValid() const { return m_valid; }

  // Edge table and runs by crossings. 0 on success; -1 after its message
  // (no runs then).
  int ExtractRuns();
  // 1 when a run of that row covers the column, else 0.
  int IsInside(int column, int row) const;
  // The runs of one row (sorted by first column): index of the first in
  // Runs() and their number; 0 runs for a row without any.
  void RowRuns(int row, int* first, int* count) const;
  // Marks the nodes of one row that lie inside: mask[c] = 1 for every
  // column c of the grid a run covers, else 0 (mask holds cols entries).
  void FillRowMask(int row, unsigned char* mask) const;

  // The outline method, called in this order; each 0 or -1 after its
  // message (nothing usable then).
  int TraceOutline();
  int DoubleTurns();
  int BuildRunsFromOutline();

  // Frees every buffer; the window then has no runs.
  void Release();

  int GetVertexCount() const { return m_count; }
  int GetRows() const { return m_rows; }
  int GetCols() const { return m_cols; }
  double GetDX() const { return m_dx; }
  double GetDY() const { return m_dy; }
  const std::vector<Edge>& Edges() const { return m_edges; }
  const std::vector<Run>& Runs() const { return m_runs; }
  int GetRunCount() const { return static_cast<int>(m_runs.size()); }
  int GetOutlineCount() const { return static_cast<int>(m_outline.size()); }
  int GetTurnCount() const { return static_cast<int>(m_turns.size()); }
  int GetOutlineCapacity() const { return m_outlineCapacity; }
  int GetRunCapacity() const { return m_runCapacity; }
  // Vertex i in grid units (column, row, both rounded down).
  int GetVertexColumn(int i) const { return m_gridVertices[2 * i]; }
  int GetVertexRow(int i) const { return m_gridVertices[2 * i + 1]; }

 private:
  struct Pixel {
    int x, y;
  };
  void BuildEdges();
  // Stores a run; false (after the message) when the run buffer is full.
  bool AddRun(int row, int first, int last, int level, const char* message);

  bool m_valid;
  int m_outlineCapacity;
  int m_runCapacity;
  int m_count;
  int m_rows;
  int m_cols;
  std::vector<Pixel> m_outline;
  std::vector<Pixel> m_turns;
  std::vector<int> m_gridVertices;
  std::vector<Run> m_runs;
  std::vector<Edge> m_edges;
  double m_bounds[6];
  double m_dx;
  double m_dy;
  std::vector<double> m_x;
  std::vector<double> m_y;
};

#endif
