#include "Sv_Matrix4.h"

#include <cmath>
#include <cstring>

#include "Sv_Stdio.h"

namespace {

const double kPi = 3.14159265358979323846;

// Inverse of a 4x4 matrix by cofactors, computed in double precision. The
// result is the same for row- and column-major storage, since the inverse of
// the transpose is the transpose of the inverse. A matrix whose determinant
// is zero, not finite, or negligible against the product of its row lengths
// or of its column lengths (Hadamard's bound, which no determinant exceeds)
// counts as singular; the bound keeps the test independent of the units of
// each row or column, e.g. of a large translation.
int InvertCofactors(float out[16], const float in[16]) {
  double m[16];
  for (int i = 0; i < 16; ++i) m[i] = in[i];
  double rows = 1.0;
  double cols = 1.0;
  for (int i = 0; i < 4; ++i) {
    double r = 0.0;
    double c = 0.0;
    for (int k = 0; k < 4; ++k) {
      r += m[i * 4 + k] * m[i * 4 + k];
      c += m[k * 4 + i] * m[k * 4 + i];
    }
    rows *= std::sqrt(r);
    cols *= std::sqrt(c);
  }
  double inv[16];
  inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
           m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
  inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
           m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
  inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
           m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
  inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
            m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
  inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
           m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
  inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
           m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
  inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
           m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
  inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
            m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
  inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] +
           m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
  inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
           m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
  inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
            m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
  inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
            m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
  inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
           m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
  inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] +
           m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
  inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] -
            m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
  inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] +
            m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];

  double det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
  double limit = 1e-12 * std::fmin(rows, cols);
  if (!std::isfinite(det) || det == 0.0 || std::fabs(det) <= limit) {
    std::memset(out, 0, 16 * sizeof(float));
    return -1;
  }
  double r = 1.0 / det;
  for (int i = 0; i < 16; ++i) out[i] = static_cast<float>(inv[i] * r);
  return 0;
}

}  // namespace

Sv_Matrix4::Sv_Matrix4() { std::memset(m_data, 0, sizeof(m_data)); }

Sv_Matrix4::Sv_Matrix4(const Sv_Matrix4& other) {
  std::memcpy(m_data, other.m_data, sizeof(m_data));
}

Sv_Matrix4& Sv_Matrix4::operator=(const Sv_Matrix4& other) {
  if (this != &other) std::memcpy(m_data, other.m_data, sizeof(m_data));
  return *this;
}

float Sv_Matrix4::Get(int row, int column) const {
  if (row < 0 || row > 3 || column < 0 || column > 3) return 0.0f;
  return m_data[row * 4 + column];
}

void Sv_Matrix4::Set(int row, int column, float value) {
  if (row < 0 || row > 3 || column < 0 || column > 3) return;
  m_data[row * 4 + column] = value;
}

void Sv_Matrix4::Assign(const Sv_Matrix4& other) { *this = other; }

void Sv_Matrix4::SetIdentity() {
  std::memset(m_data, 0, sizeof(m_data));
  m_data[0] = m_data[5] = m_data[10] = m_data[15] = 1.0f;
}

int Sv_Matrix4::Invert() { return InvertCofactors(m_data, m_data); }

void Sv_Matrix4::Transpose() {
  for (int r = 0; r < 4; ++r) {
    for (int c = r + 1; c < 4; ++c) {
      float t = m_data[r * 4 + c];
      m_data[r * 4 + c] = m_data[c * 4 + r];
      m_data[c * 4 + r] = t;
    }
  }
}

Sv_Matrix4 Sv_Matrix4::operator*(const Sv_Matrix4& rhs) const {
  Sv_Matrix4 result;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += m_data[i * 4 + k] * rhs.m_data[k * 4 + j];
      result.m_data[i * 4 + j] = sum;
    }
  }
  return result;
}

void Sv_Matrix4::SetRotation(int degrees, char axis) {
  SetIdentity();
  double a = degrees * kPi / 180.0;
  float c = static_cast<float>(std::cos(a));
  float s = static_cast<float>(std::sin(a));
  switch (axis) {
    case 'x':
    case 'X':
      m_data[5] = c;
      m_data[6] = -s;
      m_data[9] = s;
      m_data[10] = c;
      break;
    case 'y':
    case 'Y':
      m_data[0] = c;
      m_data[2] = s;
      m_data[8] = -s;
      m_data[10] = c;
      break;
    case 'z':
    case 'Z':
      m_data[0] = c;
      m_data[1] = -s;
      m_data[4] = s;
      m_data[5] = c;
      break;
    default:
      break;
  }
}

void Sv_Matrix4::SetScale(double sx, double sy, double sz) {
  SetIdentity();
  m_data[0] = static_cast<float>(sx);
  m_data[5] = static_cast<float>(sy);
  m_data[10] = static_cast<float>(sz);
}

void Sv_Matrix4::SetTranslation(double tx, double ty, double tz) {
  SetIdentity();
  m_data[3] = static_cast<float>(tx);
  m_data[7] = static_cast<float>(ty);
  m_data[11] = static_cast<float>(tz);
}

int Sv_Matrix4::Write(FILE* file) const {
  if (!file) return -1;
  return Sv_UtlFwriteCopy(m_data, 4, 16, file, 1) == 16 ? 0 : -1;
}

int Sv_Matrix4::Read(FILE* file, int byteOrder) {
  if (!file) return -1;
  float values[16];
  if (Sv_UtlFread(values, 4, 16, file, byteOrder) != 16) return -1;
  std::memcpy(m_data, values, sizeof(m_data));
  return 0;
}

void MultMatrix4(float out[16], const float a[16], const float b[16]) {
  float r[16];
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
      r[col * 4 + row] = sum;
    }
  }
  std::memcpy(out, r, sizeof(r));
}

int InvertMatrix4(float out[16], const float in[16]) { return InvertCofactors(out, in); }

void TransformPoint4(float out[3], const float m[16], float x, float y, float z) {
  float ox = m[0] * x + m[4] * y + m[8] * z + m[12];
  float oy = m[1] * x + m[5] * y + m[9] * z + m[13];
  float oz = m[2] * x + m[6] * y + m[10] * z + m[14];
  float ow = m[3] * x + m[7] * y + m[11] * z + m[15];
  if (ow != 0.0f) {
    ox /= ow;
    oy /= ow;
    oz /= ow;
  }
  out[0] = ox;
  out[1] = oy;
  out[2] = oz;
}

void IdentityMatrix4d(double m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

void MultMatrix4d(double out[16], const double a[16], const double b[16]) {
  double r[16];
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
      r[col * 4 + row] = sum;
    }
  }
  for (int i = 0; i < 16; ++i) out[i] = r[i];
}
