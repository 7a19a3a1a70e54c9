#ifndef SV_IMAGEPNG_H
#define SV_IMAGEPNG_H

#include "Sv_ImageFormat.h"

// PNG images (libpng): every colour type and bit depth; palettes and
// transparency become RGB or RGBA, 16-bit grey stays 16-bit (format 8),
// other 16-bit images are cut to 8 bits. libpng's errors jump back into the
// reading or writing function (which holds no C++ objects); warnings while
// the pixels are read fail the read.
class Sv_ImagePng : public Sv_ImageFormat {
 public:
  int Read(FILE* file, const char* path, long long fileBytes, int format, Sv_ImageIO* image) const override;
  int Write(FILE* file, const char* path, const Sv_ImageIO& image,
            const Sv_ImageWriteSettings& settings) const override;
};

#endif
