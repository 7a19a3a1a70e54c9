#include "Sv_2DData.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"

const int Sv_2DData::kMaxSide;
const size_t Sv_2DData::kMaxBytes;

Sv_2DData::Sv_2DData()
    : m_data(nullptr),
      m_width(0),
      m_height(0),
      m_format(0),
      m_channels(0),
      m_bytesPerChannel(0),
      m_hasGeoRef(false),
      m_geoRef{0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
      m_valueScale(1.0),
      m_valueOffset(0.0) {}

Sv_2DData::Sv_2DData(int width, int height, const void* data, int format) : Sv_2DData() {
  SetData(width, height, data, format);
}

Sv_2DData::~Sv_2DData() { std::free(m_data); }

int Sv_2DData::ChannelsOfFormat(int format) {
  switch (format) {
    case SV_2D_RGB:
    case SV_2D_BGR:
      return 3;
    case SV_2D_RGBA:
    case SV_2D_ABGR:
      return 4;
    case SV_2D_GREY_ALPHA:
      return 2;
    case SV_2D_GREY:
    case SV_2D_TERRAIN8:
    case SV_2D_TERRAIN16:
    case SV_2D_TERRAIN32:
      return 1;
    default:
      return 0;
  }
}

int Sv_2DData::BytesPerChannelOfFormat(int format) {
  if (format == SV_2D_TERRAIN16) return 2;
  if (format == SV_2D_TERRAIN32) return 4;
  return ChannelsOfFormat(format) > 0 ? 1 : 0;
}

void Sv_2DData::FreeData() {
  std::free(m_data);
  m_data = nullptr;
  m_width = m_height = 0;
  m_format = m_channels = m_bytesPerChannel = 0;
}

int Sv_2DData::Allocate(int width, int height, int format) {
  FreeData();
  int channels = ChannelsOfFormat(format);
  if (channels == 0) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Unknown raster format", "Sv_2DData::Allocate");
    return -1;
  }
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Bad raster size", "Sv_2DData::Allocate");
    return -1;
  }
  // Both sides are at most 2^20 and a pixel at most 4 bytes, so the product
  // fits in 64 bits.
  uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                   static_cast<uint64_t>(channels) *
                   static_cast<uint64_t>(BytesPerChannelOfFormat(format));
  if (bytes > kMaxBytes || bytes > SIZE_MAX) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Raster too large", "Sv_2DData::Allocate");
    return -1;
  }
  unsigned char* data = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(bytes), 1));
  if (!data) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Out of memory for raster", "Sv_2DData::Allocate");
    return -1;
  }
  AdoptBuffer(data, width, height, format);
  return 0;
}

void Sv_2DData::AdoptBuffer(unsigned char* data, int width, int height, int format) {
  FreeData();
  m_data = data;
  m_width = width;
  m_height = height;
  m_format = format;
  m_channels = ChannelsOfFormat(format);
  m_bytesPerChannel = BytesPerChannelOfFormat(format);
}

int Sv_2DData::SetData(int width, int height, const void* data, int format) {
  if (Allocate(width, height, format) != 0) return -1;
  if (data) std::memcpy(m_data, data, GetByteSize());
  return 0;
}

unsigned char* Sv_2DData::GetRow(int r) {
  if (!m_data || r < 0 || r >= m_height) return nullptr;
  return m_data + GetRowBytes() * static_cast<size_t>(r);
}

const unsigned char* Sv_2DData::GetRow(int r) const {
  if (!m_data || r < 0 || r >= m_height) return nullptr;
  return m_data + GetRowBytes() * static_cast<size_t>(r);
}

void Sv_2DData::FlipRows() {
  if (!m_data || m_height < 2) return;
  size_t rowBytes = GetRowBytes();
  unsigned char* tmp = static_cast<unsigned char*>(std::malloc(rowBytes));
  if (!tmp) {
    // Byte-wise swap needs no buffer; only slower.
    for (int lo = 0, hi = m_height - 1; lo < hi; ++lo, --hi) {
      unsigned char* a = GetRow(lo);
      unsigned char* b = GetRow(hi);
      for (size_t i = 0; i < rowBytes; ++i) {
        unsigned char t = a[i];
        a[i] = b[i];
        b[i] = t;
      }
    }
    return;
  }
  for (int lo = 0, hi = m_height - 1; lo < hi; ++lo, --hi) {
    std::memcpy(tmp, GetRow(lo), rowBytes);
    std::memcpy(GetRow(lo), GetRow(hi), rowBytes);
    std::memcpy(GetRow(hi), tmp, rowBytes);
  }
  std::free(tmp);
}

void Sv_2DData::SetGeoRef(double xmin, double xmax, double ymin, double ymax, double zmin,
                          double zmax) {
  m_geoRef[0] = xmin;
  m_geoRef[1] = xmax;
  m_geoRef[2] = ymin;
  m_geoRef[3] = ymax;
  m_geoRef[4] = zmin;
  m_geoRef[5] = zmax;
  m_hasGeoRef = true;
}

void Sv_2DData::ClearGeoRef() {
  for (double& v : m_geoRef) v = 0.0;
  m_hasGeoRef = false;
}

void Sv_2DData::GetGeoRef(double out[6]) const {
  for (int i = 0; i < 6; ++i) out[i] = m_geoRef[i];
}

void Sv_2DData::GetGeoRefF(float out[6]) const {
  for (int i = 0; i < 6; ++i) out[i] = static_cast<float>(m_geoRef[i]);
}

void Sv_2DData::SetValueScale(double scale, double offset) {
  m_valueScale = scale;
  m_valueOffset = offset;
}

double Sv_2DData::GetValue(int column, int row) const {
  const unsigned char* p = GetRow(row);
  if (!p || column < 0 || column >= m_width) return 0.0;
  p += static_cast<size_t>(column) * static_cast<size_t>(m_bytesPerChannel);
  double raw;
  switch (m_format) {
    case SV_2D_TERRAIN8:
      raw = *p;
      break;
    case SV_2D_TERRAIN16: {
      uint16_t v;
      std::memcpy(&v, p, sizeof(v));
      raw = v;
      break;
    }
    case SV_2D_TERRAIN32: {
      uint32_t v;
      std::memcpy(&v, p, sizeof(v));
      raw = v;
      break;
    }
    default:
      return 0.0;
  }
  return m_valueOffset + m_valueScale * raw;
}
