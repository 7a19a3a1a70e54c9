#ifndef SV_GLYPHS_H
#define SV_GLYPHS_H

// Marker glyphs: unit shapes of edge 1 centred on the origin of the current
// frame, drawn in the colour given as three bytes (red, green, blue). A null
// colour draws in the current colour. The flat glyphs lie in the x-y plane;
// the shaded solids draw each face in the colour times a fixed grey factor,
// so they read as solids without lighting, and carry normals for lit
// drawing. Each call is one or more complete glBegin/glEnd blocks and
// changes no GL state but the current colour and normal.

// One GL_POINTS vertex at the origin.
void DrawPointGlyph(const unsigned char* colour);
// A GL_QUADS square from -0.5 to 0.5 in x and y.
void DrawSquareGlyph(const unsigned char* colour);
// A GL_LINE_STRIP circle of diameter 1 through a 9-point ring (8 segments).
void DrawCircleGlyph(const unsigned char* colour);
// Two GL_LINES from -0.5 to 0.5, one along x and one along y.
void DrawCrossGlyph(const unsigned char* colour);

// A cube from -0.5 to 0.5 on every axis.
void DrawShadedCubeGlyph(const unsigned char* colour);
// An octahedron with its corners at +-0.5 on the three axes.
void DrawShadedDiamondGlyph(const unsigned char* colour);
// An eight-sided cylinder of diameter 1 along z, from -0.5 to 0.5, with caps.
void DrawShadedCylinderGlyph(const unsigned char* colour);
// A sphere of diameter 1 in six bands of eight facets, darker towards -z.
void DrawShadedSphereGlyph(const unsigned char* colour);

#endif
