#ifndef SV_IMAGEIO_H
#define SV_IMAGEIO_H

#include "Sv_2DData.h"

class TDR_Manager;

// File types of ReadImage and WriteImage. Types 1 to 4 are read and written;
// 5 to 13 name the other formats of the image family, which this system
// neither reads nor writes ("Unsupported file type."); 14 and 15 are not
// assigned.
enum {
  SV_IMAGE_DETECT = 0,    // ReadImage: the type is taken from the file's leading bytes
  SV_IMAGE_TIFF = 1,
  SV_IMAGE_GEOTIFF = 2,   // TIFF with GeoTIFF keys, and a '.tfw' world file beside it
  SV_IMAGE_JPEG = 3,
  SV_IMAGE_PNG = 4,
  SV_IMAGE_GIF = 5,
  SV_IMAGE_PPM = 6,
  SV_IMAGE_BMP = 7,
  SV_IMAGE_PCX = 8,
  SV_IMAGE_IRIS_RGB = 9,
  SV_IMAGE_EPS = 10,
  SV_IMAGE_UNISIPS = 11,
  SV_IMAGE_RAW = 12,
  SV_IMAGE_C_CODE = 13,
  SV_IMAGE_LAST_TYPE = 15
};

// How images are written: read from the "ImageFormats" configuration file
// (lines after the version line: TIFF compression, TIFF tile size, JPEG
// quality); a missing file or line keeps the defaults.
struct Sv_ImageWriteSettings {
  int tiffCompression;  // libtiff compression code: 1 none, 5 LZW, 8 deflate, 7 JPEG, 32773 PackBits
  int tiffTileSize;     // 0: strips; else square tiles of this side, a multiple of 16
  int jpegQuality;      // 1 to 100

  Sv_ImageWriteSettings();  // LZW, strips, quality 90
  static Sv_ImageWriteSettings FromConfiguration();
  // A compression name ("none", "lzw", "deflate", "jpeg", "packbits", any
  // case) or a code number; -1 for a word that is neither.
  static int ParseCompression(const char* word);
};

// An image with its readers and writers: an Sv_2DData raster (row 0 is the
// bottom row, channels interleaved) that reads and writes image files and
// the image record of tagged-data-record files.
//
// Every read decodes into a new buffer and replaces the image only when the
// whole read succeeded: a failed read leaves the image as it was. Images are
// limited to GetMaxPixels() pixels; sizes are checked in 64 bits before
// anything is allocated, and uncompressed pixels also against the bytes the
// file holds.
class Sv_ImageIO : public Sv_2DData {
 public:
  // The pixel cap: 2^28 pixels (16384 x 16384), 1 GiB as RGBA.
  static constexpr long long kDefaultMaxPixels = 1LL << 28;

  Sv_ImageIO();
  ~Sv_ImageIO() override;

  // Reads an image file. type 0 detects the format from the leading bytes;
  // 1 and 2 read TIFF, 3 JPEG, 4 PNG. format 0 keeps the file's layout
  // (grey 5, grey with alpha 6, RGB 1, RGBA 2, palette as RGB 1, 16-bit
  // grey 8); format 2 converts to RGBA. The georeference comes from the
  // GeoTIFF keys, else from a '.tfw' world file beside a TIFF file. 0, or
  // -1 after a debug message (the image is unchanged).
  int ReadImage(const char* file, int type = SV_IMAGE_DETECT, int format = 0);
  // Writes the image, top row first, through a temporary file that replaces
  // the target only when everything was written. type 1 TIFF, 2 GeoTIFF
  // (GeoTIFF keys and a '.tfw' world file when the image is georeferenced),
  // 3 JPEG, 4 PNG. option: for TIFF a libtiff compression code that
  // overrides "ImageFormats", for JPEG the quality 1 to 100; 0 takes
  // "ImageFormats". 0, or -1 after an error message ("No image to save!",
  // "Unsupported file type." and others).
  int WriteImage(const char* file, int type, int option = 0);

  // Reads one whole image record (a SCALAR record, tag header included) at
  // the manager's position. Another tag is pushed back for the next reader
  // and gives -1; so does a damaged record (reading goes on after it). 0 on
  // success.
  int LoadFromTDR(TDR_Manager* manager);
  // Writes the image as one image record. 0, or -1 for an empty image or a
  // failed write.
  int SaveToTDR(TDR_Manager* manager);

  // The pixel cap. Tests and fuzzers lower it; 0 or less restores the default.
  static void SetMaxPixels(long long pixels);
  static long long GetMaxPixels();
  // Bytes of an RGBA image at the pixel cap: the most any one allocation of
  // the decoders may take (libtiff's single-allocation limit, libjpeg's
  // working memory).
  static long long GetMaxDecoderBytes();

  // The type a file's leading bytes show (1 TIFF, 3 JPEG, 4 PNG), or 0.
  static int DetectType(const unsigned char* head, int length);

  // For the format readers: 0 when an image of width x height pixels is
  // within the pixel cap and the raster's side limit, else -1 after a debug
  // message. Sides are taken in 64 bits.
  static int CheckSize(long long width, long long height, const char* reporter);
  // For the format readers: replaces the buffer by a new one of width x
  // height pixels in the format, left uninitialised (the reader fills every
  // byte). 0, or -1 after a debug message for sizes beyond the pixel cap or
  // the raster's limits.
  int AllocatePixels(int width, int height, int format, const char* reporter);
  // Moves pixels, format, georeference and value scale of other into this
  // image; other becomes empty.
  void TakeFrom(Sv_ImageIO& other);
};

#endif
