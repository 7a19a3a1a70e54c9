#ifndef SV_WORLDFILE_H
#define SV_WORLDFILE_H

// World files ('.tfw'): six numbers, one a line: the pixel's x size A, the
// rotation terms D and B, the pixel's y size E (negative for images stored
// top row first), and the x and y (C, F) of the centre of the top-left
// pixel. Pixel (column i, row j from the top) covers the point
// x = A i + B j + C, y = D i + E j + F at its centre.

// The world file's name for an image file: its extension replaced by
// ".tfw". A new string (free() it); null for a null path.
char* Sv_WorldFileName(const char* imagePath);

// Reads the world file beside the image file (".tfw", then ".TFW") and
// gives the extent that an image of width x height pixels covers: x min,
// x max, y min, y max (the outer edges of its pixels; with rotation terms
// the box around the rotated image). 0 on success; -1 when there is no
// such file, or after a debug message when it is damaged (not six finite
// numbers, a pixel size of 0, longer than 4 KiB).
int Sv_ReadWorldFile(const char* imagePath, int width, int height, double extent[4]);

// Writes the world file of an image of width x height pixels covering the
// extent (x min, x max, y min, y max), north up, through a temporary file.
// 0, or -1 after an error message.
int Sv_WriteWorldFile(const char* imagePath, int width, int height, const double extent[4]);

#endif
