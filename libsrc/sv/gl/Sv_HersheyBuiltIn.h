#ifndef SV_HERSHEYBUILTIN_H
#define SV_HERSHEYBUILTIN_H

// The roman simplex Hershey glyphs of the printable characters 32 to 127,
// as a table generated at build time from the font's '.jhf' file (see
// gen/Sv_HersheyGen.cpp). Each glyph holds 2 * count values as
// Sv_HersheyParseText produces them: left and right margin, then the vertex
// pairs, the pen-up pair being (SV_HERSHEY_PEN_UP_X, 0).
struct Sv_HersheyBuiltInGlyph {
  int count;
  const signed char* values;
};

extern const Sv_HersheyBuiltInGlyph kSvHersheyBuiltIn[];
extern const int kSvHersheyBuiltInCount;

#endif
