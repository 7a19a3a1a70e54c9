#include "TDR_Scalar.h"

#include <cmath>

#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"

namespace {

const char kWhere[] = "TDR_Scalar::Read";
const int kBitWidths[TDR_TYPE_COUNT] = {0, 8, 16, 16, 32, 32, 32, 32, 64, 64, 32, 64};

int Refuse(const char* text) {
  Sv_Debug::Message(SV_LEVEL_DEBUG, text, kWhere);
  return -1;
}

}  // namespace

TDR_Scalar::TDR_Scalar()
    : m_numDimensions(0), m_dimensions{1, 1, 1, 1}, m_dataType(TDR_TYPE_NULL), m_bitWidth(0), m_range{0.0, 0.0} {}

int TDR_Scalar::BitWidth(int type) { return (type >= 0 && type < TDR_TYPE_COUNT) ? kBitWidths[type] : -1; }

void TDR_Scalar::SetDataType(int type) {
  m_dataType = BitWidth(type) < 0 ? TDR_TYPE_NULL : type;
  m_bitWidth = kBitWidths[m_dataType];
}

int TDR_Scalar::GetDimension(int i) const { return (i >= 1 && i <= m_numDimensions) ? m_dimensions[i - 1] : 0; }

void TDR_Scalar::SetNumDimensions(int n) {
  if (n < 0 || n > kMaxDimensions) return;
  for (int i = m_numDimensions; i < n; ++i) m_dimensions[i] = 1;
  m_numDimensions = n;
}

void TDR_Scalar::SetDimension(int i, int size) {
  if (i >= 1 && i <= m_numDimensions) m_dimensions[i - 1] = size;
}

void TDR_Scalar::SetRange(double min, double max) {
  m_range[0] = min;
  m_range[1] = max;
}

long long TDR_Scalar::GetElementCount() const {
  if (m_numDimensions == 0) return 0;
  long long n = 1;
  for (int i = 0; i < m_numDimensions; ++i) {
    if (m_dimensions[i] <= 0) return 0;
    // Sizes are 31-bit, so the product saturates rather than overflows.
    if (n > (1LL << 62) / m_dimensions[i]) return 1LL << 62;
    n *= m_dimensions[i];
  }
  return n;
}

long long TDR_Scalar::GetDataSize() const {
  const long long count = GetElementCount();
  const int size = GetElementSize();
  if (size > 0 && count > (1LL << 62) / size) return 1LL << 62;
  return count * size;
}

int TDR_Scalar::Read(TDR_Manager* manager) {
  if (!manager || !manager->GetFilePtr()) return -1;
  TDR_PayloadReader in(manager);
  return Read(in);
}

int TDR_Scalar::Read(TDR_PayloadReader& in) {
  if (in.TagVersion() == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  int n = 0;
  if (!in.Int32(&n)) return Refuse("ERROR:  Scalar record is too short");
  if (n < 1 || n > kMaxDimensions) return Refuse("ERROR:  Scalar record has a bad number of dimensions");
  int sizes[kMaxDimensions] = {1, 1, 1, 1};
  int typeAndWidth[2] = {0, 0};
  double range[2] = {0.0, 0.0};
  in.Int32s(sizes, n);
  in.Int32s(typeAndWidth, 2);
  in.Float64s(range, 2);
  if (!in.Ok()) return Refuse("ERROR:  Scalar record is too short");
  const int type = typeAndWidth[0];
  if (type <= TDR_TYPE_NULL || type >= TDR_TYPE_COUNT) return Refuse("ERROR:  Scalar record has an unknown data type");
  if (typeAndWidth[1] != kBitWidths[type]) return Refuse("ERROR:  Scalar record has a bad bit width");
  if (!std::isfinite(range[0]) || !std::isfinite(range[1])) {
    return Refuse("ERROR:  Scalar record holds a range that is not a number");
  }
  const long long elementSize = kBitWidths[type] / 8;
  for (int i = 0; i < n; ++i) {
    if (sizes[i] < 1) return Refuse("ERROR:  Scalar record has a bad dimension size");
  }
  const long long left = in.Left();
  long long count = 1;
  for (int i = 0; i < n; ++i) {
    count *= sizes[i];
    if (count > left / elementSize) return Refuse("ERROR:  Scalar array is larger than its record");
  }
  m_numDimensions = n;
  for (int i = 0; i < kMaxDimensions; ++i) m_dimensions[i] = i < n ? sizes[i] : 1;
  m_dataType = type;
  m_bitWidth = kBitWidths[type];
  m_range[0] = range[0];
  m_range[1] = range[1];
  return 0;
}

int TDR_Scalar::Write(TDR_Manager* manager) {
  if (!manager || !manager->GetFilePtr()) return -1;
  if (m_numDimensions < 1 || m_dataType == TDR_TYPE_NULL) return -1;
  for (int i = 0; i < m_numDimensions; ++i) {
    if (m_dimensions[i] < 1) return -1;
  }
  TDR_PayloadWriter out(manager);
  if (manager->GetTagVersion() == 0) out.Float32(2.0f);
  out.Int32(m_numDimensions);
  out.Int32s(m_dimensions, m_numDimensions);
  out.Int32(m_dataType);
  out.Int32(m_bitWidth);
  out.Float64s(m_range, 2);
  const bool ok = out.Ok();
  return ok ? 0 : -1;
}
