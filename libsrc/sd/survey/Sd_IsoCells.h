#ifndef SD_ISOCELLS_H
#define SD_ISOCELLS_H

// Cell geometry of the iso-surface extraction (Sd_Volume): the cube corners,
// the twelve cell edges and the case table that turns the corners at or above
// the iso-value into triangles.
//
// Corner c (0 ... 7) of the cell at sample (k, i, j) with steps (s1, s2, s3)
// is the sample (k + s3 bit2, i + s1 bit0, j + s2 bit1), bit n being bit n of
// c. The case index of a cell has bit c set when corner c is at or above the
// iso-value.

// The case bits of one column of a row of cells: the corners (k, i, j),
// (k, i + 1, j), (k + 1, i, j) and (k + 1, i + 1, j), each 1 when at or above
// the iso-value, are bits 0, 1, 4 and 5 of the cell that starts at column j
// and, shifted by two, bits 2, 3, 6 and 7 of the cell before it. Walking a
// row, the case of a cell is Sd_IsoCellCase(bits at j, bits at j + 1).
inline int Sd_IsoColumnBits(int a0, int a1, int b0, int b1) { return a0 | (a1 << 1) | (b0 << 4) | (b1 << 5); }
inline int Sd_IsoCellCase(int column, int nextColumn) { return column | (nextColumn << 2); }

// One cell edge: its corners (from the lower to the higher sample along the
// axis), its axis (0 along i, 1 along j, 2 along k), and the lattice point
// that owns it, as offsets in lattice units from the cell's first corner.
struct Sd_IsoEdge {
  int from, to;
  int axis;
  int di, dj, dk;
};

// The edges 0 ... 11.
extern const Sd_IsoEdge kSdIsoEdges[12];

// The marker that ends a row of the case table.
constexpr signed char kSdIsoRowEnd = 12;

// The case table: 256 rows of up to four triples of edge numbers, one
// triangle each; kSdIsoRowEnd in a triple's first byte ends the row. The
// table is made once, on first use, from these rules:
//  - the triangles of a case use exactly its cut edges (the edges whose two
//    corners lie on different sides of the iso-value);
//  - on each cube face the surface joins the cut edges in pairs around a
//    corner, so it separates the corners at or above the iso-value from the
//    others; where a face has four cut edges (two diagonal corners above,
//    two below) either pairing separates them, and the case takes the
//    pairings that close the most separate polygons, which is the fewest
//    triangles; of equal choices, the one that cuts off the corners at or
//    above the iso-value on most faces;
//  - each polygon is wound so that the face normal (q2 - q0) x (q1 - q0) of
//    its triangles points away from the corners at or above the iso-value,
//    and is cut into a fan from the lower-numbered neighbour of its lowest
//    edge, a rule that does not depend on the winding, so a case and its
//    complement have the same triangles wherever their polygons agree.
// The rows then hold 0 to 4 triangles (2, 16, 62, 112 and 64 rows).
typedef signed char Sd_IsoCaseRow[12];
const Sd_IsoCaseRow* Sd_IsoCaseTable();

// Number of triangles in row c of the case table.
int Sd_IsoCaseTriangles(int c);

#endif
