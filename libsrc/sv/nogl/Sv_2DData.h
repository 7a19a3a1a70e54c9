#ifndef SV_2DDATA_H
#define SV_2DDATA_H

#include <cstddef>

// Format codes of Sv_2DData: pixel layout and channel count.
enum {
  SV_2D_RGB = 1,        // 3 channels, 8 bits each
  SV_2D_RGBA = 2,       // 4 channels
  SV_2D_BGR = 3,        // 3 channels
  SV_2D_ABGR = 4,       // 4 channels
  SV_2D_GREY = 5,       // 1 channel
  SV_2D_GREY_ALPHA = 6, // 2 channels
  SV_2D_TERRAIN8 = 7,   // 1 channel, 8-bit terrain value
  SV_2D_TERRAIN16 = 8,  // 1 channel, 16-bit terrain value
  SV_2D_TERRAIN32 = 9   // 1 channel, 32-bit terrain value
};

// A two-dimensional raster or grid buffer.
//
// Pixels are stored row after row without padding, channels interleaved;
// row 0 is the bottom row of the image. Terrain values of formats 8 and 9
// are 16- and 32-bit unsigned integers in this machine's byte order; a
// terrain value stands for the height offset + scale * value (scale 1,
// offset 0 unless set). An optional georeference gives the x, y and z
// extent the raster covers. The buffer is owned by the object.
class Sv_2DData {
 public:
  // Largest accepted side and total byte size of a buffer.
  static const int kMaxSide = 1 << 20;
  static const size_t kMaxBytes = static_cast<size_t>(1) << 32;

  // An empty raster (no data, size 0, format 0).
  Sv_2DData();
  // A raster of width x height in the format; the pixels are copied from
  // data, or cleared to 0 when data is null. On a refused size or format
  // the raster stays empty (see Allocate).
  Sv_2DData(int width, int height, const void* data, int format);
  virtual ~Sv_2DData();
  Sv_2DData(const Sv_2DData&) = delete;
  Sv_2DData& operator=(const Sv_2DData&) = delete;

  // Replaces the buffer with a new one of width x height in the format,
  // cleared to 0. Returns 0, or -1 after an error message (the raster is
  // then empty) for a side below 1 or above kMaxSide, an unknown format, a
  // byte size above kMaxBytes or a failed allocation. The georeference and
  // the value scale are kept.
  int Allocate(int width, int height, int format);
  // Allocate, then copy the pixels from data (null: leave them 0).
  int SetData(int width, int height, const void* data, int format);
  // Releases the buffer; the raster becomes empty. The georeference and the
  // value scale are kept.
  void FreeData();

  unsigned char* GetData() { return m_data; }
  const unsigned char* GetData() const { return m_data; }
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  int GetFormat() const { return m_format; }
  // Channels per pixel.
  int GetChannels() const { return m_channels; }
  // Bytes per channel: 1, or 2 and 4 for formats 8 and 9.
  int GetBytesPerChannel() const { return m_bytesPerChannel; }
  size_t GetBytesPerPixel() const { return static_cast<size_t>(m_channels) * m_bytesPerChannel; }
  size_t GetRowBytes() const { return GetBytesPerPixel() * static_cast<size_t>(m_width); }
  size_t GetByteSize() const { return GetRowBytes() * static_cast<size_t>(m_height); }
  // Start of row r (0 = bottom); null outside the raster or without data.
  unsigned char* GetRow(int r);
  const unsigned char* GetRow(int r) const;

  // Reverses the order of the rows, for sources stored top row first.
  void FlipRows();

  // Channel count of a format code; 0 for an unknown code.
  static int ChannelsOfFormat(int format);
  // Bytes per channel of a format code; 0 for an unknown code.
  static int BytesPerChannelOfFormat(int format);

  // Georeference: the extent the raster covers.
  void SetGeoRef(double xmin, double xmax, double ymin, double ymax, double zmin, double zmax);
  void ClearGeoRef();
  bool HasGeoRef() const { return m_hasGeoRef; }
  // x min, x max, y min, y max, z min, z max; all 0 without a georeference.
  void GetGeoRef(double out[6]) const;
  void GetGeoRefF(float out[6]) const;

  // Value scale of terrain formats: height = offset + scale * value.
  void SetValueScale(double scale, double offset);
  double GetValueScale() const { return m_valueScale; }
  double GetValueOffset() const { return m_valueOffset; }
  // The scaled height at (column, row) of a terrain raster (formats 7 to 9);
  // 0 outside the raster or for other formats.
  double GetValue(int column, int row) const;

 protected:
  // Makes data (from malloc or a compatible allocator, owned from now on)
  // the buffer of a width x height raster in the format, releasing the old
  // one. The caller has checked sizes and format.
  void AdoptBuffer(unsigned char* data, int width, int height, int format);

  unsigned char* m_data;
  int m_width;
  int m_height;
  int m_format;
  int m_channels;
  int m_bytesPerChannel;
  bool m_hasGeoRef;
  double m_geoRef[6];
  double m_valueScale;
  double m_valueOffset;
};

#endif
