#include "Sv_ImageIO.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_ImageFormat.h"
#include "Sv_Platform.h"
#include "Sv_Stdio.h"
#include "Sv_WorldFile.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"

namespace {

long long g_maxPixels = Sv_ImageIO::kDefaultMaxPixels;

// Rows handed to the payload reader and writer per call: their row table
// stays small whatever the image's height, and rows that follow one another
// in memory (all of them here) still go in one read or write.
constexpr int kRowsPerCall = 1024;

}  // namespace

constexpr long long Sv_ImageIO::kDefaultMaxPixels;

Sv_ImageIO::Sv_ImageIO() {}

Sv_ImageIO::~Sv_ImageIO() {}

void Sv_ImageIO::SetMaxPixels(long long pixels) { g_maxPixels = pixels > 0 ? pixels : kDefaultMaxPixels; }

long long Sv_ImageIO::GetMaxPixels() { return g_maxPixels; }

long long Sv_ImageIO::GetMaxDecoderBytes() { return g_maxPixels * 4; }

int Sv_ImageIO::DetectType(const unsigned char* h, int length) {
  if (!h) return 0;
  // TIFF and BigTIFF, either byte order.
  if (length >= 4 && ((h[0] == 'I' && h[1] == 'I' && (h[2] == 42 || h[2] == 43) && h[3] == 0) ||
                      (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && (h[3] == 42 || h[3] == 43)))) {
    return SV_IMAGE_TIFF;
  }
  if (length >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) return SV_IMAGE_JPEG;
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (length >= 8 && std::memcmp(h, kPng, 8) == 0) return SV_IMAGE_PNG;
  return 0;
}

int Sv_ImageIO::CheckSize(long long width, long long height, const char* reporter) {
  if (width < 1 || height < 1) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, reporter, "Image without pixels (%lld x %lld)", width, height);
    return -1;
  }
  // Sides beyond kMaxSide are refused before their product is formed, so
  // it cannot overflow.
  if (width > kMaxSide || height > kMaxSide || width * height > g_maxPixels) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, reporter, "Image of %lld x %lld pixels is larger than the limit of %lld pixels",
                    width, height, g_maxPixels);
    return -1;
  }
  return 0;
}

int Sv_ImageIO::AllocatePixels(int width, int height, int format, const char* reporter) {
  const int channels = ChannelsOfFormat(format);
  if (channels == 0) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, reporter, "Unknown image format %d", format);
    return -1;
  }
  if (CheckSize(width, height, reporter) != 0) return -1;
  const long long bytes = static_cast<long long>(width) * height * channels * BytesPerChannelOfFormat(format);
  if (static_cast<unsigned long long>(bytes) > SIZE_MAX) return -1;
  // Large buffers are backed by huge pages where the system offers them:
  // filling a big image then takes a few hundred page faults, not tens of
  // thousands. Not cleared: every reader fills every byte.
  unsigned char* data = static_cast<unsigned char*>(Sv_PlatformAllocLarge(static_cast<size_t>(bytes)));
  if (!data) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, reporter, "Out of memory for an image of %d x %d pixels", width, height);
    return -1;
  }
  AdoptBuffer(data, width, height, format);
  return 0;
}

void Sv_ImageIO::TakeFrom(Sv_ImageIO& other) {
  if (&other == this) return;
  AdoptBuffer(other.m_data, other.m_width, other.m_height, other.m_format);
  m_hasGeoRef = other.m_hasGeoRef;
  std::memcpy(m_geoRef, other.m_geoRef, sizeof m_geoRef);
  m_valueScale = other.m_valueScale;
  m_valueOffset = other.m_valueOffset;
  other.m_data = nullptr;
  other.FreeData();
  other.ClearGeoRef();
  other.SetValueScale(1.0, 0.0);
}

int Sv_ImageIO::ReadImage(const char* file, int type, int format) {
  static const char* kWho = "Sv_ImageIO::ReadImage";
  if (!file || !*file) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "No image file name");
    return -1;
  }
  if (format != 0 && format != SV_2D_RGBA) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "Images are read as stored (0) or as RGBA (2), not as format %d", format);
    return -1;
  }
  // One open file for the detection and the reader: a regular file, and
  // nothing that could make the viewer wait.
  FILE* f = Sv_UtlOpenForReading(file, SV_LEVEL_DEBUG);
  struct stat st;
  if (!f || fstat(fileno(f), &st) != 0) {
    if (f) std::fclose(f);
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "Could not open image file %s", file);
    return -1;
  }
  if (type == SV_IMAGE_DETECT) {
    unsigned char head[8];
    const int n = static_cast<int>(std::fread(head, 1, sizeof head, f));
    type = DetectType(head, n);
  }
  const Sv_ImageFormat* reader = Sv_ImageFormat::ForType(type);
  if (!reader) {
    std::fclose(f);
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Unsupported file type.", file);
    return -1;
  }
  Sv_ImageIO read;
  const int result =
      std::fseek(f, 0, SEEK_SET) == 0 ? reader->Read(f, file, static_cast<long long>(st.st_size), format, &read) : -1;
  std::fclose(f);
  if (result != 0) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "Could not read image file %s", file);
    return -1;
  }
  TakeFrom(read);
  return 0;
}

int Sv_ImageIO::WriteImage(const char* file, int type, int option) {
  static const char* kWho = "Sv_ImageIO::WriteImage";
  if (!GetData()) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "No image to save!", kWho);
    return -1;
  }
  const Sv_ImageFormat* writer = Sv_ImageFormat::ForType(type);
  if (!writer) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Unsupported file type.", kWho);
    return -1;
  }
  if (!file || !*file) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWho, "No image file name");
    return -1;
  }
  Sv_ImageWriteSettings settings = Sv_ImageWriteSettings::FromConfiguration();
  if (option != 0) {
    if (type == SV_IMAGE_JPEG) {
      if (option < 1 || option > 100) {
        Sv_ImageMessage(SV_LEVEL_ERROR, kWho, "JPEG quality %d is not within 1 to 100", option);
        return -1;
      }
      settings.jpegQuality = option;
    } else if (type == SV_IMAGE_TIFF || type == SV_IMAGE_GEOTIFF) {
      settings.tiffCompression = option;
    }
  }

  Sv_AtomicFile out;
  FILE* f = out.Open(file, 1);
  if (!f) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWho, "Could not create image file %s", file);
    return -1;
  }
  if (writer->Write(f, file, *this, settings) != 0) {
    out.Discard();
    return -1;
  }
  if (out.Commit() != 0) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWho, "Could not write image file %s", file);
    return -1;
  }
  if (type == SV_IMAGE_GEOTIFF && HasGeoRef()) {
    const double extent[4] = {m_geoRef[0], m_geoRef[1], m_geoRef[2], m_geoRef[3]};
    return Sv_WriteWorldFile(file, m_width, m_height, extent);
  }
  return 0;
}

int Sv_ImageIO::LoadFromTDR(TDR_Manager* manager) {
  static const char* kWho = "Sv_ImageIO::LoadFromTDR";
  if (!manager) return -1;
  const int tag = manager->ReadTag(nullptr);
  if (tag != TDR_TAG_SCALAR) {
    // Not ours: the next reader meets the same record.
    if (tag != TDR_TAG_ERROR) manager->UnreadTagHeader();
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "Expected an image record, found tag %d", tag);
    return -1;
  }
  TDR_PayloadReader in(manager);
  TDR_Scalar scalar;
  int format = 0;
  in.Scalar(&scalar);
  in.Int32(&format);
  const int channels = scalar.GetDimension(1);
  const int width = scalar.GetDimension(2);
  const int height = scalar.GetDimension(3);
  const int type = scalar.GetDataType();
  if (!in.Ok() || scalar.GetNumDimensions() != 3 || ChannelsOfFormat(format) != channels ||
      scalar.GetElementSize() != BytesPerChannelOfFormat(format) || type == TDR_TYPE_FLOAT ||
      type == TDR_TYPE_DOUBLE) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "Damaged image record");
    return -1;
  }
  if (scalar.GetDataSize() > in.Left()) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "Image record shorter than its %d x %d pixels", width, height);
    return -1;
  }
  Sv_ImageIO read;
  if (read.AllocatePixels(width, height, format, kWho) != 0) return -1;
  void* rows[kRowsPerCall];
  for (int r = 0; r < height && in.Ok(); r += kRowsPerCall) {
    const int n = height - r < kRowsPerCall ? height - r : kRowsPerCall;
    for (int i = 0; i < n; ++i) rows[i] = read.GetRow(r + i);
    in.Rows(rows, scalar.GetElementSize(), width * channels, n);
  }
  if (!in.Ok()) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "Could not read the image record's pixels");
    return -1;
  }
  TakeFrom(read);
  return 0;
}

int Sv_ImageIO::SaveToTDR(TDR_Manager* manager) {
  static const char* kWho = "Sv_ImageIO::SaveToTDR";
  if (!manager) return -1;
  if (!GetData()) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "No image to save!");
    return -1;
  }
  TDR_Scalar scalar;
  scalar.SetNumDimensions(3);
  scalar.SetDimension(1, m_channels);
  scalar.SetDimension(2, m_width);
  scalar.SetDimension(3, m_height);
  scalar.SetDataType(m_bytesPerChannel == 1 ? TDR_TYPE_CHAR
                                            : m_bytesPerChannel == 2 ? TDR_TYPE_USHORT : TDR_TYPE_ULONG);
  scalar.SetRange(0.0, m_bytesPerChannel == 1 ? 255.0 : m_bytesPerChannel == 2 ? 65535.0 : 4294967295.0);
  if (manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0 || scalar.Write(manager) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_format);
  const void* rows[kRowsPerCall];
  for (int r = 0; r < m_height && out.Ok(); r += kRowsPerCall) {
    const int n = m_height - r < kRowsPerCall ? m_height - r : kRowsPerCall;
    for (int i = 0; i < n; ++i) rows[i] = GetRow(r + i);
    out.Rows(rows, m_bytesPerChannel, m_width * m_channels, n);
  }
  if (!out.Ok() || manager->EndTag() != 0) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWho, "Could not write the image record");
    return -1;
  }
  return 0;
}
