#ifndef SV_IMAGESCALE_H
#define SV_IMAGESCALE_H

#include <cstddef>

// Scales an image of 8-bit channels by area averaging: each destination
// pixel is the mean of the source area it covers, every source pixel
// weighted by the part of it that lies inside (exact integer weights, the
// mean rounded to the nearest value). Works in both directions: enlarging
// repeats a source pixel over the destination pixels inside it.
//
// src: srcWidth x srcHeight pixels of channels bytes, rows srcRowBytes
// apart (row 0 first; the direction of the rows does not matter). dst:
// dstWidth x dstHeight pixels, rows dstRowBytes apart. Sides up to 2^20,
// channels 1 to 4. Each source row is read once (twice where it straddles
// two destination rows); the working memory is 256 KiB at most, unless one
// destination pixel covers more than 65536 / channels source columns (then
// 4 bytes per channel of those). 0, or -1 for bad arguments or when the
// working memory cannot be had (dst is then unchanged).
int Sv_AreaAverage(const unsigned char* src, int srcWidth, int srcHeight, size_t srcRowBytes, int channels,
                   unsigned char* dst, int dstWidth, int dstHeight, size_t dstRowBytes);

#endif
