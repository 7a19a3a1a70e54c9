#ifndef SV_IMAGEFORMAT_H
#define SV_IMAGEFORMAT_H

#include <cstdio>
#include <vector>

#include "Sv_ImageIO.h"

// The reader and writer of one image file format.
class Sv_ImageFormat {
 public:
  virtual ~Sv_ImageFormat() {}

  // Decodes the open file (a regular file, read from its start; path names
  // it for messages and side files such as a world file) into image, which
  // is empty on entry. format 0 keeps the file's pixel layout, 2 gives
  // RGBA; fileBytes is the file's size. Rows go straight to their place
  // (row 0 is the bottom row). 0, or -1 after a debug message; image may
  // then hold part of the pixels (the caller drops it). The caller closes
  // the file.
  virtual int Read(FILE* file, const char* path, long long fileBytes, int format, Sv_ImageIO* image) const = 0;
  // Writes image (not empty) to the open stream, top row first. path names
  // the file being written, for messages and side files. 0, or -1 after an
  // error message.
  virtual int Write(FILE* file, const char* path, const Sv_ImageIO& image,
                    const Sv_ImageWriteSettings& settings) const = 0;

  // The reader and writer of a file type; null for types not handled.
  static const Sv_ImageFormat* ForType(int type);
};

// The rows of an image in the order and layout file writers take them: the
// top row first; BGR and ABGR turned into RGB and RGBA, 8-bit terrain values
// written as grey, alpha dropped when the format cannot hold it. Layouts:
// 1 RGB, 2 RGBA, 5 grey, 6 grey with alpha, 8 16-bit grey (host order).
class Sv_ImageWriteRows {
 public:
  // dropAlpha: RGBA becomes RGB and grey with alpha grey.
  Sv_ImageWriteRows(const Sv_2DData& image, bool dropAlpha);

  // False for formats no writer takes (32-bit terrain values).
  bool Ok() const { return m_layout != 0; }
  int Layout() const { return m_layout; }
  int Channels() const { return m_channels; }
  int BitsPerSample() const { return m_bits; }
  int Width() const { return m_image.GetWidth(); }
  int Height() const { return m_image.GetHeight(); }
  // Row y counted from the top; valid until the next call.
  const unsigned char* Row(int y);

 private:
  const Sv_2DData& m_image;
  int m_layout;
  int m_channels;
  int m_bits;
  bool m_convert;
  std::vector<unsigned char> m_scratch;
};

// Formats a message and sends it to Sv_Debug with the reporter as detail.
void Sv_ImageMessage(int level, const char* who, const char* format, ...) __attribute__((format(printf, 3, 4)));

#endif
