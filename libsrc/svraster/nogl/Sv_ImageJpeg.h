#ifndef SV_IMAGEJPEG_H
#define SV_IMAGEJPEG_H

#include "Sv_ImageFormat.h"

// JPEG images (libjpeg-turbo). Grey images read as grey, colour images as
// RGB, or both as RGBA. libjpeg's error exit is replaced by a jump back into
// the reading or writing function, and its warnings about corrupt data fail
// the read as well; the functions that set the jump point hold no C++
// objects. The working memory is bounded by
// Sv_ImageIO::GetMaxDecoderBytes() and a file may have at most 1000 scans.
class Sv_ImageJpeg : public Sv_ImageFormat {
 public:
  int Read(FILE* file, const char* path, long long fileBytes, int format, Sv_ImageIO* image) const override;
  int Write(FILE* file, const char* path, const Sv_ImageIO& image,
            const Sv_ImageWriteSettings& settings) const override;
};

#endif
