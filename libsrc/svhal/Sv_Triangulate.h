#ifndef SV_TRIANGULATE_H
#define SV_TRIANGULATE_H

// Triangulates polygons given as rings of 3-D vertices.
//
// ncontours rings are given; ring c has counts[c] vertices, which follow
// those of ring c - 1 in the vertex array: vertices[i] points to the
// {x, y, z} doubles of vertex i. A ring is not closed by repeating its first
// vertex. Each ring is triangulated as a polygon of its own (later rings are
// not holes of the first) into counts[c] - 2 triangles; the table receives
// the triangles of ring 0 first, then those of ring 1 and so on, each as
// three 1-based indices into the whole vertex array.
//
// Each ring is projected onto the coordinate plane across which it has the
// largest extent (the dominant component of its area normal). A ring whose
// vertices run clockwise in that projection (seen from the positive side of
// the dropped axis) is reversed in place in the vertex array, and the
// indices refer to the order it leaves; every triangle then runs
// counter-clockwise in the projection, i.e. all triangle normals point to
// the positive side of that axis (upwards for a ring in the x-y plane).
// Collinear and repeated vertices are allowed.
//
// Returns 0, or -1 when no triangulation is made: no ring, a null argument,
// a ring of fewer than 3 vertices, a null vertex pointer, a coordinate that
// is not finite, or a ring without area (all vertices collinear or
// coincident). On -1 neither the vertex array nor the table is changed, and
// nothing beyond counts[ncontours - 1], the vertices of the given counts
// and their three coordinates is read.
int triangulate_polygon(int ncontours, const int counts[], double* vertices[], int (*triangles)[3]);

#endif
