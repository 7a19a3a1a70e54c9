#ifndef SV_HERSHEYPARSE_H
#define SV_HERSHEYPARSE_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Reader of the text format of Hershey stroke fonts ('.jhf').
//
// Each glyph is a record of: a 5-column glyph number (not used), a
// 3-column vertex count n (the margin pair included), then n pairs of
// characters. A pair's coordinates are its characters minus 'R'; the first
// pair holds the left and right margins, the others the stroke vertices,
// with y growing downwards; the pair " R" lifts the pen. A record longer
// than one line goes on in the next line. Free of OpenGL and of the message
// log, so the build-time table generator uses it too.

// Value of the pen-up pair " R" after subtracting 'R'.
static const signed char SV_HERSHEY_PEN_UP_X = ' ' - 'R';

// One parsed glyph: 2 * n values, left and right margin first, then the
// vertex pairs (pen up as SV_HERSHEY_PEN_UP_X, 0).
typedef std::vector<signed char> Sv_HersheyRawGlyph;

// Parses the text into at most maxGlyphs glyphs (later records are
// ignored). Returns 0 with at least one glyph, or -1 with a reason in
// *error (when error is not null) for an empty or malformed text: a count
// field that is not a number or is below 1, a record that ends early, a
// character outside the printable range, data left after a record.
int Sv_HersheyParseText(const char* text, size_t length, size_t maxGlyphs, std::vector<Sv_HersheyRawGlyph>* glyphs,
                        std::string* error);

// Largest font file read.
static const long SV_HERSHEY_MAX_FILE_SIZE = 4L * 1024 * 1024;

// Reads a whole font file of 1 to SV_HERSHEY_MAX_FILE_SIZE bytes; false when
// it cannot be read or has another size.
bool Sv_HersheyReadFile(const char* path, std::string* out);
// The same from an open stream, read from its start (the caller closes it).
bool Sv_HersheyReadStream(FILE* file, std::string* out);

#endif
