#include "Sv_ImageTiff.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <geotiff.h>
#include <geovalues.h>
#include <tiffio.h>
#include <xtiffio.h>

#include "Sv_Debug.h"
#include "Sv_Workers.h"
#include "Sv_WorldFile.h"

namespace {

const char* const kReader = "Sv_ImageTiff::Read";
const char* const kWriter = "Sv_ImageTiff::Write";

// A message of libtiff held back: those of a worker thread are sent by
// the calling thread once the workers have finished.
struct HeldMessage {
  int level;
  std::string text, module;
};

// The level libtiff's errors are reported at while one file is read (debug:
// the caller reports the failed read) or written (error: nobody else
// reports a failed write), and whether any came; with held set, the
// messages are kept there (at most kMostHeld) instead of being sent.
struct TiffMessages {
  int errorLevel;
  int errors;
  std::vector<HeldMessage>* held = nullptr;
};
constexpr size_t kMostHeld = 16;

void SendTiffMessage(TiffMessages* messages, int level, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  const char* from = module && *module ? module : "libtiff";
  if (!messages || !messages->held) {
    Sv_Debug::Message(level, text, from);
    return;
  }
  if (messages->held->size() >= kMostHeld) return;
  try {
    messages->held->push_back({level, text, from});
  } catch (const std::bad_alloc&) {
  }
}

int OnTiffError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  TiffMessages* messages = static_cast<TiffMessages*>(user);
  ++messages->errors;
  SendTiffMessage(messages, messages->errorLevel, module, format, args);
  return 1;  // handled: libtiff's own handlers stay silent
}

int OnTiffWarning(TIFF*, void* user, const char* module, const char* format, va_list args) {
  SendTiffMessage(static_cast<TiffMessages*>(user), SV_LEVEL_DEBUG, module, format, args);
  return 1;
}

// libtiff's messages that belong to no open file.
void OnGlobalTiffMessage(const char* module, const char* format, va_list args) {
  SendTiffMessage(nullptr, SV_LEVEL_DEBUG, module, format, args);
}

void OnGeoTiffMessage(GTIF*, int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  SendTiffMessage(nullptr, SV_LEVEL_DEBUG, "libgeotiff", format, args);
  va_end(args);
}

// Once per process: libtiff's process-wide messages to Sv_Debug instead of
// the error stream, and the GeoTIFF tags known to libtiff.
void InitLibraries() {
  static const bool done = [] {
    TIFFSetErrorHandler(OnGlobalTiffMessage);
    TIFFSetWarningHandler(OnGlobalTiffMessage);
    XTIFFInitialize();
    return true;
  }();
  (void)done;
}

TIFFOpenOptions* MakeOptions(TiffMessages* messages) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(Sv_ImageIO::GetMaxDecoderBytes()));
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, messages);
  return options;
}

// A second handle on a file being read, for a worker thread: it reads the
// main handle's descriptor with pread at a position of its own, so the
// handles never move each other's place, and sees the file as the main
// handle saw it when opened. Never mapped, never written.
struct SharedFile {
  int fd;
  toff_t size;
  toff_t at;
};

tmsize_t SharedRead(thandle_t h, void* buffer, tmsize_t n) {
  SharedFile* f = static_cast<SharedFile*>(h);
  if (n <= 0) return 0;
  size_t done = 0;
  while (done < static_cast<size_t>(n) && f->at < f->size) {
    const ssize_t got = pread(f->fd, static_cast<char*>(buffer) + done, static_cast<size_t>(n) - done,
                              static_cast<off_t>(f->at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
    f->at += static_cast<toff_t>(got);
  }
  return static_cast<tmsize_t>(done);
}
tmsize_t SharedWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t SharedSeek(thandle_t h, toff_t offset, int whence) {
  SharedFile* f = static_cast<SharedFile*>(h);
  toff_t to = offset;
  if (whence == SEEK_CUR) {
    to = f->at + offset;
  } else if (whence == SEEK_END) {
    to = f->size + offset;
  } else if (whence != SEEK_SET) {
    return static_cast<toff_t>(-1);
  }
  f->at = to;
  return to;
}
int SharedClose(thandle_t) { return 0; }  // the descriptor is the main handle's
toff_t SharedSize(thandle_t h) { return static_cast<SharedFile*>(h)->size; }
int SharedMap(thandle_t, void**, toff_t*) { return 0; }
void SharedUnmap(thandle_t, void*, toff_t) {}

// ---------------------------------------------------------------- reading

// Pixel layouts decoded row by row; everything else goes through libtiff's
// RGBA interface.
enum Layout { kViaRGBA, kGrey, kGreyAlpha, kRGB, kRGBA, kPalette, kGrey16 };

int NativeFormat(Layout layout) {
  switch (layout) {
    case kGrey:
      return SV_2D_GREY;
    case kGreyAlpha:
      return SV_2D_GREY_ALPHA;
    case kRGB:
    case kPalette:
      return SV_2D_RGB;
    case kGrey16:
      return SV_2D_TERRAIN16;
    default:
      return SV_2D_RGBA;
  }
}

size_t FileBytesPerPixel(Layout layout) {
  switch (layout) {
    case kGrey:
    case kPalette:
      return 1;
    case kGreyAlpha:
    case kGrey16:
      return 2;
    case kRGB:
      return 3;
    default:
      return 4;
  }
}

struct TiffImage {
  uint32_t width = 0, height = 0;
  uint16_t samples = 1, bits = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
  uint16_t sampleFormat = SAMPLEFORMAT_UINT, orientation = ORIENTATION_TOPLEFT, compression = COMPRESSION_NONE;
  Layout layout = kViaRGBA;
  int outFormat = SV_2D_RGBA;
  bool bottomUp = false;  // rows stored bottom row first
  bool jpegRgb = false;   // the JPEG codec was asked for RGB rows
  unsigned char palette[256][3];
};

// Reads the palette; colour maps whose entries all fit in 8 bits (written
// by some old programs) are taken as they stand, others by their high byte.
bool ReadPalette(TIFF* tif, TiffImage* t) {
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) return false;
  bool eightBit = true;
  for (int i = 0; i < 256; ++i) eightBit = eightBit && r[i] < 256 && g[i] < 256 && b[i] < 256;
  const int shift = eightBit ? 0 : 8;
  for (int i = 0; i < 256; ++i) {
    t->palette[i][0] = static_cast<unsigned char>(r[i] >> shift);
    t->palette[i][1] = static_cast<unsigned char>(g[i] >> shift);
    t->palette[i][2] = static_cast<unsigned char>(b[i] >> shift);
  }
  return true;
}

Layout Classify(TIFF* tif, TiffImage* t) {
  if (t->planar != PLANARCONFIG_CONTIG || t->sampleFormat != SAMPLEFORMAT_UINT ||
      (t->orientation != ORIENTATION_TOPLEFT && t->orientation != ORIENTATION_BOTLEFT)) {
    return kViaRGBA;
  }
  uint16_t photometric = t->photometric;
  if (photometric == PHOTOMETRIC_YCBCR && t->compression == COMPRESSION_JPEG && t->samples == 3 &&
      TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) {
    photometric = PHOTOMETRIC_RGB;  // the JPEG codec hands out RGB rows
    t->jpegRgb = true;
  }
  if (photometric == PHOTOMETRIC_MINISBLACK && t->bits == 16 && t->samples == 1) return kGrey16;
  if (t->bits != 8) return kViaRGBA;
  if (photometric == PHOTOMETRIC_MINISBLACK && t->samples == 1) return kGrey;
  if (photometric == PHOTOMETRIC_MINISBLACK && t->samples == 2) return kGreyAlpha;
  if (photometric == PHOTOMETRIC_RGB && t->samples == 3) return kRGB;
  if (photometric == PHOTOMETRIC_RGB && t->samples == 4) return kRGBA;
  if (photometric == PHOTOMETRIC_PALETTE && t->samples == 1 && ReadPalette(tif, t)) return kPalette;
  return kViaRGBA;
}

// n pixels of a decoded row into the image's layout.
void ConvertRow(const TiffImage& t, const unsigned char* s, size_t n, unsigned char* d) {
  if (t.layout != kPalette && t.outFormat == NativeFormat(t.layout)) {
    std::memcpy(d, s, n * FileBytesPerPixel(t.layout));
    return;
  }
  const bool rgba = t.outFormat == SV_2D_RGBA;
  for (size_t i = 0; i < n; ++i) {
    unsigned char r, g, b, a = 255;
    switch (t.layout) {
      case kPalette:
        r = t.palette[s[i]][0];
        g = t.palette[s[i]][1];
        b = t.palette[s[i]][2];
        break;
      case kGrey:
        r = g = b = s[i];
        break;
      case kGreyAlpha:
        r = g = b = s[2 * i];
        a = s[2 * i + 1];
        break;
      case kGrey16: {
        uint16_t v;
        std::memcpy(&v, s + 2 * i, 2);
        r = g = b = static_cast<unsigned char>(v >> 8);
        break;
      }
      default:  // RGB
        r = s[3 * i];
        g = s[3 * i + 1];
        b = s[3 * i + 2];
        break;
    }
    *d++ = r;
    *d++ = g;
    *d++ = b;
    if (rgba) *d++ = a;
  }
}

unsigned char* TargetRow(const TiffImage& t, Sv_ImageIO* image, uint32_t y) {
  return image->GetRow(static_cast<int>(t.bottomUp ? y : t.height - 1 - y));
}

bool DirectDecode(const TiffImage& t) { return t.layout != kPalette && t.outFormat == NativeFormat(t.layout); }

// Rows [first, end) of a stripped image, decoded row by row; rows that
// need no conversion straight into their place.
bool ReadStripRows(TIFF* tif, const TiffImage& t, Sv_ImageIO* image, uint32_t first, uint32_t end) {
  const uint64_t rowBytes = static_cast<uint64_t>(t.width) * FileBytesPerPixel(t.layout);
  if (TIFFScanlineSize64(tif) != rowBytes) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kReader, "Unexpected TIFF row size");
    return false;
  }
  std::vector<unsigned char> scratch(DirectDecode(t) ? 0 : rowBytes);
  for (uint32_t y = first; y < end; ++y) {
    unsigned char* target = TargetRow(t, image, y);
    unsigned char* row = scratch.empty() ? target : scratch.data();
    if (TIFFReadScanline(tif, row, y, 0) < 0) return false;
    if (!scratch.empty()) ConvertRow(t, row, t.width, target);
  }
  return true;
}

// The tile layout of a tiled image, checked.
struct TileShape {
  uint32_t width = 0, height = 0;
  uint64_t rowBytes = 0, bytes = 0;
  uint64_t across = 0, down = 0;
};

bool GetTileShape(TIFF* tif, const TiffImage& t, TileShape* shape) {
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &shape->width);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &shape->height);
  shape->rowBytes = static_cast<uint64_t>(shape->width) * FileBytesPerPixel(t.layout);
  shape->bytes = TIFFTileSize64(tif);
  // A tile may be larger than a small image, but not larger than the image
  // and 64 K pixels together: the tile buffer stays within what the image
  // itself may take.
  const uint64_t maxTilePixels = static_cast<uint64_t>(t.width) * t.height + (1u << 16);
  if (shape->width == 0 || shape->height == 0 ||
      static_cast<uint64_t>(shape->width) * shape->height > maxTilePixels ||
      TIFFTileRowSize64(tif) != shape->rowBytes || shape->bytes != shape->rowBytes * shape->height) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kReader, "Unusable TIFF tile size %u x %u", shape->width, shape->height);
    return false;
  }
  shape->across = (t.width + static_cast<uint64_t>(shape->width) - 1) / shape->width;
  shape->down = (t.height + static_cast<uint64_t>(shape->height) - 1) / shape->height;
  return true;
}

// Tiles [first, end) in row order (left to right, top to bottom).
bool ReadTileRange(TIFF* tif, const TiffImage& t, const TileShape& shape, Sv_ImageIO* image, uint64_t first,
                   uint64_t end) {
  // Not cleared: every tile read fills it.
  std::unique_ptr<unsigned char[]> tile(new (std::nothrow) unsigned char[static_cast<size_t>(shape.bytes)]);
  if (!tile) return false;
  const size_t pixelBytes = static_cast<size_t>(image->GetBytesPerPixel());
  for (uint64_t n = first; n < end; ++n) {
    const uint64_t y0 = n / shape.across * shape.height, x0 = n % shape.across * shape.width;
    if (TIFFReadTile(tif, tile.get(), static_cast<uint32_t>(x0), static_cast<uint32_t>(y0), 0, 0) < 0) return false;
    const uint64_t rows = t.height - y0 < shape.height ? t.height - y0 : shape.height;
    const uint64_t columns = t.width - x0 < shape.width ? t.width - x0 : shape.width;
    for (uint64_t r = 0; r < rows; ++r) {
      ConvertRow(t, tile.get() + r * shape.rowBytes, static_cast<size_t>(columns),
                 TargetRow(t, image, static_cast<uint32_t>(y0 + r)) + x0 * pixelBytes);
    }
  }
  return true;
}

// Compressed strips and tiles are decoded on worker threads, each with a
// handle of its own on the same open file (a libtiff handle is used by one
// thread at a time), each taking a contiguous share of the strips or tiles
// and writing only its own rows or tiles of the image; the calling thread
// takes the first share with the main handle. Every handle has the same
// allocation cap. A worker's handle holds its decoder's tables and one
// strip's compressed bytes (kHandleBytes at most for the usual strips),
// and for tiles one tile buffer: only as many workers start as keep all
// that within 1/128 of the image's bytes (or 1 MiB for a smaller image).
constexpr uint64_t kHandleBytes = 256 * 1024;
constexpr uint64_t kLeastWorkerBytes = 1024 * 1024;

class TiffWorkers {
 public:
  TiffWorkers(TIFF* tif, const TiffImage& t, const char* path, uint64_t units, uint64_t unitBytes,
              uint64_t imageBytes)
      : m_tif(tif) {
    if (t.compression == COMPRESSION_NONE || units < 2) return;
    int workers = sv_workers::WorkerCount(static_cast<size_t>(t.width) * t.height);
    workers = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(workers), units));
    const uint64_t budget = std::max(imageBytes / 128, kLeastWorkerBytes);
    workers = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(workers), 1 + budget / (kHandleBytes + unitBytes)));
    struct stat st;
    const int fd = TIFFFileno(tif);
    if (workers < 2 || fd < 0 || fstat(fd, &st) != 0) return;
    m_files.resize(static_cast<size_t>(workers - 1));
    m_messages.resize(static_cast<size_t>(workers - 1));
    m_held.resize(static_cast<size_t>(workers - 1));
    for (int w = 1; w < workers; ++w) {
      SharedFile& file = m_files[static_cast<size_t>(w - 1)];
      file = {fd, static_cast<toff_t>(st.st_size), 0};
      TiffMessages& messages = m_messages[static_cast<size_t>(w - 1)];
      messages = {SV_LEVEL_DEBUG, 0, &m_held[static_cast<size_t>(w - 1)]};
      TIFFOpenOptions* options = MakeOptions(&messages);
      TIFF* handle = options ? TIFFClientOpenExt(path, "rmO", static_cast<thandle_t>(&file), SharedRead,
                                                 SharedWrite, SharedSeek, SharedClose, SharedSize, SharedMap,
                                                 SharedUnmap, options)
                             : nullptr;
      TIFFOpenOptionsFree(options);
      if (handle && t.jpegRgb && !TIFFSetField(handle, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) {
        TIFFClose(handle);
        handle = nullptr;
      }
      if (!handle) break;
      m_handles.push_back(handle);
    }
    Release();  // messages of the handles' opening
  }
  ~TiffWorkers() {
    for (TIFF* handle : m_handles) TIFFClose(handle);
    Release();
  }
  TiffWorkers(const TiffWorkers&) = delete;
  TiffWorkers& operator=(const TiffWorkers&) = delete;

  int Count() const { return static_cast<int>(m_handles.size()) + 1; }

  // Runs read(handle, first, end) over the shares of units; true when every
  // share read.
  template <class Read>
  bool Run(uint64_t units, Read read) {
    const int workers = Count();
    std::vector<char> ok(static_cast<size_t>(workers), 0);
    const bool ran = sv_workers::RunShares(static_cast<size_t>(units), workers, [&](int w, size_t first, size_t end) {
      try {
        ok[static_cast<size_t>(w)] = read(w == 0 ? m_tif : m_handles[static_cast<size_t>(w - 1)], first, end) ? 1 : 0;
      } catch (const std::bad_alloc&) {
        ok[static_cast<size_t>(w)] = 0;  // out of memory: the share, and so the read, fails
      }
    });
    Release();
    return ran && std::find(ok.begin(), ok.end(), 0) == ok.end();
  }

 private:
  // Sends the held messages, worker by worker.
  void Release() {
    for (std::vector<HeldMessage>& held : m_held) {
      for (const HeldMessage& m : held) Sv_Debug::Message(m.level, m.text.c_str(), m.module.c_str());
      held.clear();
    }
  }

  TIFF* m_tif;
  std::vector<SharedFile> m_files;  // sized once: the handles keep pointers into it
  std::vector<TiffMessages> m_messages;
  std::vector<std::vector<HeldMessage>> m_held;
  std::vector<TIFF*> m_handles;
};

bool ReadStrips(TIFF* tif, const TiffImage& t, const char* path, Sv_ImageIO* image) {
  // Shares of whole strips: a row is decoded from the start of its strip.
  // A strip the file lacks fails in the share that reads its rows.
  uint32_t rowsPerStrip = t.height;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, t.height);
  const uint64_t strips = (static_cast<uint64_t>(t.height) + rowsPerStrip - 1) / rowsPerStrip;
  TiffWorkers workers(tif, t, path, strips, 0, static_cast<uint64_t>(image->GetByteSize()));
  if (workers.Count() < 2) return ReadStripRows(tif, t, image, 0, t.height);
  return workers.Run(strips, [&](TIFF* handle, uint64_t first, uint64_t end) {
    const uint64_t y0 = first * rowsPerStrip, y1 = std::min<uint64_t>(end * rowsPerStrip, t.height);
    return ReadStripRows(handle, t, image, static_cast<uint32_t>(y0), static_cast<uint32_t>(y1));
  });
}

bool ReadTiles(TIFF* tif, const TiffImage& t, const char* path, Sv_ImageIO* image) {
  TileShape shape;
  if (!GetTileShape(tif, t, &shape)) return false;
  const uint64_t tiles = shape.across * shape.down;
  TiffWorkers workers(tif, t, path, tiles, shape.bytes, static_cast<uint64_t>(image->GetByteSize()));
  if (workers.Count() < 2) return ReadTileRange(tif, t, shape, image, 0, tiles);
  return workers.Run(tiles, [&](TIFF* handle, uint64_t first, uint64_t end) {
    return ReadTileRange(handle, t, shape, image, first, end);
  });
}

// Kinds the row decoder does not take, as RGBA through libtiff.
bool ReadViaRGBA(TIFF* tif, const TiffImage& t, Sv_ImageIO* image) {
  char reason[1024] = "";
  if (!TIFFRGBAImageOK(tif, reason)) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kReader, "TIFF image not readable: %s", reason);
    return false;
  }
  uint32_t* pixels = reinterpret_cast<uint32_t*>(image->GetData());
  if (!TIFFReadRGBAImageOriented(tif, t.width, t.height, pixels, ORIENTATION_BOTLEFT, 0)) return false;
  // libtiff packs red into the low byte of each word: bytes R, G, B, A on
  // this machine only when it is little-endian.
  const uint32_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  if (first == 0) {
    const size_t n = static_cast<size_t>(t.width) * t.height;
    for (size_t i = 0; i < n; ++i) pixels[i] = __builtin_bswap32(pixels[i]);
  }
  return true;
}

// The extent from the GeoTIFF tags: the outer edges of the corner pixels,
// through whatever transformation the file gives.
bool ReadGeoTiffExtent(TIFF* tif, const TiffImage& t, double extent[4]) {
  GTIF* gt = GTIFNewEx(tif, OnGeoTiffMessage, nullptr);
  if (!gt) return false;
  // With "pixel is point" the raster coordinates name pixel centres.
  unsigned short rasterType = RasterPixelIsArea;
  const double shift =
      (GTIFKeyGetSHORT(gt, GTRasterTypeGeoKey, &rasterType, 0, 1) == 1 && rasterType == RasterPixelIsPoint) ? -0.5
                                                                                                              : 0.0;
  const double w = t.width, h = t.height;
  const double corners[4][2] = {{0, 0}, {w, 0}, {0, h}, {w, h}};
  double box[4] = {HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
  bool ok = true;
  for (const auto& corner : corners) {
    double x = corner[0] + shift, y = corner[1] + shift;
    if (!GTIFImageToPCS(gt, &x, &y) || !std::isfinite(x) || !std::isfinite(y)) {
      ok = false;
      break;
    }
    box[0] = std::fmin(box[0], x);
    box[1] = std::fmax(box[1], x);
    box[2] = std::fmin(box[2], y);
    box[3] = std::fmax(box[3], y);
  }
  GTIFFree(gt);
  if (!ok || !(box[1] > box[0]) || !(box[3] > box[2])) return false;
  std::memcpy(extent, box, sizeof box);
  return true;
}

bool ReadOpenFile(TIFF* tif, const char* path, long long fileBytes, int format, Sv_ImageIO* image) {
  TiffImage t;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &t.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &t.height) ||
      t.width == 0 || t.height == 0) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kReader, "TIFF image without size");
    return false;
  }
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &t.samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &t.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &t.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &t.sampleFormat);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &t.orientation);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &t.compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric);
  if (t.samples < 1 || t.samples > 64 || t.bits < 1 || t.bits > 64) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kReader, "TIFF image with %u samples of %u bits", t.samples, t.bits);
    return false;
  }
  // Sizes in 64 bits before anything is allocated; uncompressed pixels must
  // also be in the file.
  if (Sv_ImageIO::CheckSize(t.width, t.height, kReader) != 0) return false;
  const uint64_t rowBytes = (static_cast<uint64_t>(t.width) * t.samples * t.bits + 7) / 8;
  if (t.compression == COMPRESSION_NONE && rowBytes > static_cast<uint64_t>(fileBytes) / t.height) {
    Sv_ImageMessage(SV_LEVEL_DEBUG, kReader, "TIFF image of %u x %u pixels is larger than its file", t.width,
                    t.height);
    return false;
  }
  t.layout = Classify(tif, &t);
  t.outFormat = format == SV_2D_RGBA ? SV_2D_RGBA : NativeFormat(t.layout);
  t.bottomUp = t.orientation == ORIENTATION_BOTLEFT;
  if (image->AllocatePixels(static_cast<int>(t.width), static_cast<int>(t.height), t.outFormat, kReader) != 0) {
    return false;
  }
  bool ok;
  if (t.layout == kViaRGBA) {
    ok = ReadViaRGBA(tif, t, image);
  } else if (TIFFIsTiled(tif)) {
    ok = ReadTiles(tif, t, path, image);
  } else {
    ok = ReadStrips(tif, t, path, image);
  }
  if (!ok) return false;

  double extent[4];
  if (ReadGeoTiffExtent(tif, t, extent) ||
      Sv_ReadWorldFile(path, static_cast<int>(t.width), static_cast<int>(t.height), extent) == 0) {
    image->SetGeoRef(extent[0], extent[1], extent[2], extent[3], 0.0, 0.0);
  }
  return true;
}

// ---------------------------------------------------------------- writing

// libtiff writes through the stream of the temporary file; closing it is
// left to that file's commit.
tmsize_t ReadStream(thandle_t h, void* buffer, tmsize_t n) {
  return static_cast<tmsize_t>(std::fread(buffer, 1, static_cast<size_t>(n), static_cast<FILE*>(h)));
}
tmsize_t WriteStream(thandle_t h, void* buffer, tmsize_t n) {
  return static_cast<tmsize_t>(std::fwrite(buffer, 1, static_cast<size_t>(n), static_cast<FILE*>(h)));
}
toff_t SeekStream(thandle_t h, toff_t offset, int whence) {
  FILE* f = static_cast<FILE*>(h);
  if (fseeko(f, static_cast<off_t>(offset), whence) != 0) return static_cast<toff_t>(-1);
  return static_cast<toff_t>(ftello(f));
}
int CloseStream(thandle_t) { return 0; }
toff_t StreamSize(thandle_t h) {
  FILE* f = static_cast<FILE*>(h);
  struct stat st;
  if (std::fflush(f) != 0 || fstat(fileno(f), &st) != 0) return 0;
  return static_cast<toff_t>(st.st_size);
}
int MapStream(thandle_t, void**, toff_t*) { return 0; }
void UnmapStream(thandle_t, void*, toff_t) {}

// The GeoTIFF tags of a north-up image: one tie point at the top-left
// corner, the pixel size, and the raster type "pixel is area".
bool WriteGeoKeys(TIFF* tif, const Sv_ImageIO& image) {
  double g[6];
  image.GetGeoRef(g);
  double scale[3] = {(g[1] - g[0]) / image.GetWidth(), (g[3] - g[2]) / image.GetHeight(), 0.0};
  double tie[6] = {0.0, 0.0, 0.0, g[0], g[3], 0.0};
  if (!TIFFSetField(tif, TIFFTAG_GEOPIXELSCALE, 3, scale) || !TIFFSetField(tif, TIFFTAG_GEOTIEPOINTS, 6, tie)) {
    return false;
  }
  GTIF* gt = GTIFNewEx(tif, OnGeoTiffMessage, nullptr);
  if (!gt) return false;
  const bool ok = GTIFKeySet(gt, GTModelTypeGeoKey, TYPE_SHORT, 1, KvUserDefined) &&
                  GTIFKeySet(gt, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea) && GTIFWriteKeys(gt);
  GTIFFree(gt);
  return ok;
}

bool WriteOpenFile(TIFF* tif, Sv_ImageWriteRows& rows, const Sv_ImageIO& image, const Sv_ImageWriteSettings& s,
                   bool geoTiff) {
  const int channels = rows.Channels();
  const uint32_t width = static_cast<uint32_t>(rows.Width());
  const uint32_t height = static_cast<uint32_t>(rows.Height());
  const size_t rowBytes = static_cast<size_t>(width) * channels * (rows.BitsPerSample() / 8);
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, rows.BitsPerSample()) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, s.tiffCompression);
  if (ok && (channels == 2 || channels == 4)) {
    uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    ok = TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  if (ok && s.tiffCompression == COMPRESSION_JPEG) ok = TIFFSetField(tif, TIFFTAG_JPEGQUALITY, s.jpegQuality);
  if (ok && geoTiff && image.HasGeoRef()) ok = WriteGeoKeys(tif, image);
  if (!ok) return false;

  // Codecs may work on the rows they are given in place: hand them copies.
  if (s.tiffTileSize <= 0) {
    if (!TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0))) return false;
    std::vector<unsigned char> row(rowBytes);
    for (uint32_t y = 0; y < height; ++y) {
      std::memcpy(row.data(), rows.Row(static_cast<int>(y)), rowBytes);
      if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return false;
    }
    return true;
  }
  const uint32_t side = static_cast<uint32_t>(s.tiffTileSize);
  if (!TIFFSetField(tif, TIFFTAG_TILEWIDTH, side) || !TIFFSetField(tif, TIFFTAG_TILELENGTH, side)) return false;
  const size_t pixelBytes = rowBytes / width;
  const size_t tileRowBytes = side * pixelBytes;
  std::vector<unsigned char> tile(tileRowBytes * side);
  for (uint32_t y0 = 0; y0 < height; y0 += side) {
    for (uint32_t x0 = 0; x0 < width; x0 += side) {
      // Edge tiles are padded with zeros.
      std::fill(tile.begin(), tile.end(), 0);
      const uint32_t columns = width - x0 < side ? width - x0 : side;
      for (uint32_t r = 0; r < side && y0 + r < height; ++r) {
        std::memcpy(tile.data() + r * tileRowBytes, rows.Row(static_cast<int>(y0 + r)) + x0 * pixelBytes,
                    columns * pixelBytes);
      }
      if (TIFFWriteTile(tif, tile.data(), x0, y0, 0, 0) < 0) return false;
    }
  }
  return true;
}

}  // namespace

int Sv_ImageTiff::Read(FILE* file, const char* path, long long fileBytes, int format, Sv_ImageIO* image) const {
  InitLibraries();
  // libtiff reads (and maps) through a descriptor of its own, which it
  // closes; the caller's stream stays open.
  const int fd = file ? dup(fileno(file)) : -1;
  if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  TiffMessages messages = {SV_LEVEL_DEBUG, 0};
  TIFFOpenOptions* options = MakeOptions(&messages);
  TIFF* tif = options ? TIFFFdOpenExt(fd, path, "r", options) : nullptr;
  TIFFOpenOptionsFree(options);
  if (!tif) {
    close(fd);
    return -1;
  }
  const bool ok = ReadOpenFile(tif, path, fileBytes, format, image);
  TIFFClose(tif);
  return ok ? 0 : -1;
}

int Sv_ImageTiff::Write(FILE* file, const char* path, const Sv_ImageIO& image,
                        const Sv_ImageWriteSettings& settings) const {
  InitLibraries();
  Sv_ImageWriteRows rows(image, false);
  if (!rows.Ok()) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWriter, "Images of format %d cannot be written as TIFF", image.GetFormat());
    return -1;
  }
  if (settings.tiffCompression <= 0 || settings.tiffCompression > 0xFFFF ||
      !TIFFIsCODECConfigured(static_cast<uint16_t>(settings.tiffCompression))) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWriter, "TIFF compression %d is not available", settings.tiffCompression);
    return -1;
  }
  TiffMessages messages = {SV_LEVEL_ERROR, 0};
  TIFFOpenOptions* options = MakeOptions(&messages);
  TIFF* tif = options ? TIFFClientOpenExt(path, "w", static_cast<thandle_t>(file), ReadStream, WriteStream,
                                          SeekStream, CloseStream, StreamSize, MapStream, UnmapStream, options)
                      : nullptr;
  TIFFOpenOptionsFree(options);
  if (!tif) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWriter, "Could not start the TIFF file %s", path);
    return -1;
  }
  bool ok = WriteOpenFile(tif, rows, image, settings, m_geoTiff);
  ok = TIFFFlush(tif) && ok;
  TIFFClose(tif);
  if (!ok || messages.errors != 0) {
    Sv_ImageMessage(SV_LEVEL_ERROR, kWriter, "Could not write the TIFF file %s", path);
    return -1;
  }
  return 0;
}
