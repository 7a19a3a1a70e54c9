#ifndef SV_IMAGETIFF_H
#define SV_IMAGETIFF_H

#include "Sv_ImageFormat.h"

// TIFF and GeoTIFF images (libtiff, libgeotiff).
//
// Reading: 8-bit grey, grey with alpha, RGB, RGBA and palette images and
// 16-bit grey, stripped or tiled, in any compression libtiff decodes, are
// decoded row by row straight into place; every other kind libtiff can turn
// into RGBA (bilevel, CMYK, YCbCr, separate planes, other orientations) is
// read as RGBA. The georeference comes from the GeoTIFF tags, else from a
// '.tfw' world file beside the file. libtiff's and libgeotiff's messages go
// to Sv_Debug, and no single allocation of libtiff may exceed
// Sv_ImageIO::GetMaxDecoderBytes().
//
// Writing: strips or tiles and the compression of the settings; the GeoTIFF
// writer adds the GeoTIFF tags of a georeferenced image (Sv_ImageIO then
// writes its world file).
class Sv_ImageTiff : public Sv_ImageFormat {
 public:
  explicit Sv_ImageTiff(bool geoTiff) : m_geoTiff(geoTiff) {}

  int Read(FILE* file, const char* path, long long fileBytes, int format, Sv_ImageIO* image) const override;
  int Write(FILE* file, const char* path, const Sv_ImageIO& image,
            const Sv_ImageWriteSettings& settings) const override;

 private:
  bool m_geoTiff;
};

#endif
