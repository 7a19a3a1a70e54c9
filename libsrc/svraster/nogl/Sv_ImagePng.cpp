#include "Sv_ImagePng.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "Sv_Debug.h"

namespace {

const char* const kReader = "Sv_ImagePng::Read";
const char* const kWriter = "Sv_ImagePng::Write";

// What libpng's handlers report back, plain data only: libpng's errors jump
// back into the function that called setjmp on its jump buffer, which holds
// no C++ objects.
struct PngJob {
  char message[256];
  int strict;  // 1: warnings fail (the pixels are being read, or a file written)
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp text) {
  PngJob* job = static_cast<PngJob*>(png_get_error_ptr(png));
  std::snprintf(job->message, sizeof job->message, "%s", text ? text : "");
  png_longjmp(png, 1);
}

// Warnings about the pixels (too much or too little image data, bad filter
// types) mean a damaged image and fail the read; those about ancillary
// chunks before the pixels (colour profiles, text) are only reported.
void OnPngWarning(png_structp png, png_const_charp text) {
  PngJob* job = static_cast<PngJob*>(png_get_error_ptr(png));
  if (job->strict) OnPngError(png, text);
  Sv_Debug::Message(SV_LEVEL_DEBUG, text ? text : "", "libpng");
}

bool HostIsLittleEndian() {
  const unsigned short probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

// Decodes the stream into image; rows go straight to their place, the
// file's top row to the image's last row. No C++ objects here (see PngJob).
int Decode(FILE* file, int format, Sv_ImageIO* image, PngJob* job) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, OnPngError, OnPngWarning);
  if (!png) return -1;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return -1;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return -1;
  }
  png_init_io(png, file);
  png_set_user_limits(png, Sv_2DData::kMaxSide, Sv_2DData::kMaxSide);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
  // Before libpng sets up its row buffers for the image.
  if (Sv_ImageIO::CheckSize(width, height, kReader) != 0) {
    std::snprintf(job->message, sizeof job->message, "Image too large");
    png_destroy_read_struct(&png, &info, nullptr);
    return -1;
  }

  const bool rgba = format == SV_2D_RGBA;
  const bool grey = (colour & PNG_COLOR_MASK_COLOR) == 0;
  const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  int outFormat = grey ? (alpha ? SV_2D_GREY_ALPHA : SV_2D_GREY) : (alpha ? SV_2D_RGBA : SV_2D_RGB);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (grey && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16) {
    if (grey && !alpha && !rgba) {
      outFormat = SV_2D_TERRAIN16;  // values in this machine's byte order
      if (HostIsLittleEndian()) png_set_swap(png);
    } else {
      png_set_strip_16(png);
    }
  }
  if (rgba) {
    if (grey) png_set_gray_to_rgb(png);
    if (!alpha) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    outFormat = SV_2D_RGBA;
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (image->AllocatePixels(static_cast<int>(width), static_cast<int>(height), outFormat, kReader) != 0 ||
      png_get_rowbytes(png, info) != image->GetRowBytes()) {
    std::snprintf(job->message, sizeof job->message, "Unusable image size");
    png_destroy_read_struct(&png, &info, nullptr);
    return -1;
  }
  job->strict = 1;
  const int h = image->GetHeight();
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < h; ++y) png_read_row(png, image->GetRow(h - 1 - y), nullptr);
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return 0;
}

// Encodes the rows (top row first) into the stream. No C++ objects here
// (see PngJob); the rows object belongs to the caller.
int Encode(FILE* file, Sv_ImageWriteRows* rows, PngJob* job) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, OnPngError, OnPngWarning);
  if (!png) return -1;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return -1;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return -1;
  }
  job->strict = 1;
  int colour;
  switch (rows->Layout()) {
    case SV_2D_RGB:
      colour = PNG_COLOR_TYPE_RGB;
      break;
    case SV_2D_RGBA:
      colour = PNG_COLOR_TYPE_RGB_ALPHA;
      break;
    case SV_2D_GREY_ALPHA:
      colour = PNG_COLOR_TYPE_GRAY_ALPHA;
      break;
    default:
      colour = PNG_COLOR_TYPE_GRAY;
      break;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(rows->Width()), static_cast<png_uint_32>(rows->Height()),
               rows->BitsPerSample(), colour, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  if (rows->BitsPerSample() == 16 && HostIsLittleEndian()) png_set_swap(png);
  const int h = rows->Height();
  for (int y = 0; y < h; ++y) png_write_row(png, rows->Row(y));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return 0;
}

}  // namespace

int Sv_ImagePng::Read(FILE* file, const char*, long long, int format, Sv_ImageIO* image) const {
  if (!file) return -1;
  PngJob job = {"", 0};
  const int result = Decode(file, format, image, &job);
  if (result != 0) Sv_ImageMessage(SV_LEVEL_DEBUG, kReader, "PNG: %s", job.message);
  return result;
}

int Sv_ImagePng::Write(FILE* file, const char* path, const Sv_ImageIO& image, const Sv_ImageWriteSettings&) const {
  Sv_ImageWriteRows rows(image, false);
  if (!rows.Ok()) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWriter, "Images of format %d cannot be written as PNG", image.GetFormat());
    return -1;
  }
  PngJob job = {"", 0};
  if (Encode(file, &rows, &job) != 0) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWriter, "Could not write the PNG file %s: %s", path, job.message);
    return -1;
  }
  return 0;
}
