#include "Sv_ImageJpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "Sv_Debug.h"

#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo (with its RGBA output) is needed"
#endif

namespace {

const char* const kReader = "Sv_ImageJpeg::Read";
const char* const kWriter = "Sv_ImageJpeg::Write";

// A file with more scans than this is refused: each scan of a progressive
// file makes the decoder go over the whole image again.
constexpr int kMaxScans = 1000;

// Everything one decode or encode keeps, plain data only. libjpeg's errors
// (and its warnings about corrupt data) jump back into the function that
// set `jump`; that function holds no C++ objects, and this record lives in
// its caller, so nothing in the functions the jump leaves needs
// destroying.
struct JpegJob {
  jpeg_error_mgr errorManager;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  jpeg_progress_mgr progress;
  jpeg_decompress_struct in;
  jpeg_compress_struct out;
};

JpegJob* JobOf(j_common_ptr c) {
  return reinterpret_cast<JpegJob*>(reinterpret_cast<char*>(c->err) - offsetof(JpegJob, errorManager));
}

[[noreturn]] void OnJpegError(j_common_ptr c) {
  JpegJob* job = JobOf(c);
  c->err->format_message(c, job->message);
  longjmp(job->jump, 1);
}

// Level -1 is a warning about corrupt data (a short file, bad Huffman
// codes, extraneous bytes): the image would be partly invented, so it fails
// the read. Trace messages (level 0 and up) are dropped.
void OnJpegMessage(j_common_ptr c, int level) {
  if (level < 0) OnJpegError(c);
}

void OnJpegProgress(j_common_ptr c) {
  if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans) {
    JpegJob* job = JobOf(c);
    std::snprintf(job->message, sizeof job->message, "More than %d scans", kMaxScans);
    longjmp(job->jump, 1);
  }
}

void InitJob(JpegJob* job) {
  std::memset(job, 0, sizeof *job);
  jpeg_std_error(&job->errorManager);
  job->errorManager.error_exit = OnJpegError;
  job->errorManager.emit_message = OnJpegMessage;
  job->progress.progress_monitor = OnJpegProgress;
}

// Decodes the stream into image; rows go straight to their place, the
// file's top row to the image's last row. No C++ objects here (see JpegJob).
int Decode(FILE* file, int format, Sv_ImageIO* image, JpegJob* job) {
  j_decompress_ptr in = &job->in;
  in->err = &job->errorManager;
  if (setjmp(job->jump)) {
    jpeg_destroy_decompress(in);
    return -1;
  }
  jpeg_create_decompress(in);
  in->progress = &job->progress;
  jpeg_stdio_src(in, file);
  jpeg_read_header(in, TRUE);
  if (Sv_ImageIO::CheckSize(in->image_width, in->image_height, kReader) != 0) {
    std::snprintf(job->message, sizeof job->message, "Image too large");
    jpeg_destroy_decompress(in);
    return -1;
  }
  // The decoder's working memory (a progressive file keeps the whole
  // image's coefficients) within the decoders' bound; a smaller bound from
  // JPEGMEM stays.
  const long limit = static_cast<long>(Sv_ImageIO::GetMaxDecoderBytes());
  if (in->mem->max_memory_to_use == 0 || in->mem->max_memory_to_use > limit) in->mem->max_memory_to_use = limit;

  const bool rgba = format == SV_2D_RGBA;
  int outFormat;
  if (in->jpeg_color_space == JCS_GRAYSCALE) {
    in->out_color_space = rgba ? JCS_EXT_RGBA : JCS_GRAYSCALE;
    outFormat = rgba ? SV_2D_RGBA : SV_2D_GREY;
  } else if (in->jpeg_color_space == JCS_YCbCr || in->jpeg_color_space == JCS_RGB) {
    in->out_color_space = rgba ? JCS_EXT_RGBA : JCS_RGB;
    outFormat = rgba ? SV_2D_RGBA : SV_2D_RGB;
  } else {
    std::snprintf(job->message, sizeof job->message, "JPEG colour space %d is not supported",
                  static_cast<int>(in->jpeg_color_space));
    jpeg_destroy_decompress(in);
    return -1;
  }
  if (image->AllocatePixels(static_cast<int>(in->image_width), static_cast<int>(in->image_height), outFormat,
                            kReader) != 0) {
    std::snprintf(job->message, sizeof job->message, "No memory for the image");
    jpeg_destroy_decompress(in);
    return -1;
  }
  jpeg_start_decompress(in);
  const int height = image->GetHeight();
  if (in->output_width != static_cast<JDIMENSION>(image->GetWidth()) ||
      in->output_height != static_cast<JDIMENSION>(height) || in->output_components != image->GetChannels()) {
    std::snprintf(job->message, sizeof job->message, "Unexpected decoded size");
    jpeg_destroy_decompress(in);
    return -1;
  }
  JSAMPROW rows[16];
  while (in->output_scanline < in->output_height) {
    const int first = static_cast<int>(in->output_scanline);
    int n = in->rec_outbuf_height < 16 ? in->rec_outbuf_height : 16;
    if (n > height - first) n = height - first;
    for (int i = 0; i < n; ++i) rows[i] = image->GetRow(height - 1 - (first + i));
    if (jpeg_read_scanlines(in, rows, static_cast<JDIMENSION>(n)) == 0) {
      std::snprintf(job->message, sizeof job->message, "Decoding stopped");
      jpeg_destroy_decompress(in);
      return -1;
    }
  }
  jpeg_finish_decompress(in);
  jpeg_destroy_decompress(in);
  return 0;
}

// Encodes the rows (top row first) into the stream. No C++ objects here
// (see JpegJob); the rows object belongs to the caller.
int Encode(FILE* file, Sv_ImageWriteRows* rows, int quality, JpegJob* job) {
  j_compress_ptr out = &job->out;
  out->err = &job->errorManager;
  if (setjmp(job->jump)) {
    jpeg_destroy_compress(out);
    return -1;
  }
  jpeg_create_compress(out);
  jpeg_stdio_dest(out, file);
  out->image_width = static_cast<JDIMENSION>(rows->Width());
  out->image_height = static_cast<JDIMENSION>(rows->Height());
  out->input_components = rows->Channels();
  out->in_color_space = rows->Channels() == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(out);
  jpeg_set_quality(out, quality, TRUE);
  jpeg_start_compress(out, TRUE);
  while (out->next_scanline < out->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rows->Row(static_cast<int>(out->next_scanline)));
    jpeg_write_scanlines(out, &row, 1);
  }
  jpeg_finish_compress(out);
  jpeg_destroy_compress(out);
  return 0;
}

}  // namespace

int Sv_ImageJpeg::Read(FILE* file, const char*, long long, int format, Sv_ImageIO* image) const {
  if (!file) return -1;
  JpegJob job;
  InitJob(&job);
  const int result = Decode(file, format, image, &job);
  if (result != 0) Sv_ImageMessage(SV_LEVEL_DEBUG, kReader, "JPEG: %s", job.message);
  return result;
}

int Sv_ImageJpeg::Write(FILE* file, const char* path, const Sv_ImageIO& image,
                        const Sv_ImageWriteSettings& settings) const {
  Sv_ImageWriteRows rows(image, true);
  if (!rows.Ok() || rows.BitsPerSample() != 8) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWriter, "Images of format %d cannot be written as JPEG", image.GetFormat());
    return -1;
  }
  JpegJob job;
  InitJob(&job);
  if (Encode(file, &rows, settings.jpegQuality, &job) != 0) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWriter, "Could not write the JPEG file %s: %s", path, job.message);
    return -1;
  }
  return 0;
}
