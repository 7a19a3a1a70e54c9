#include "Sv_Quaternion.h"

#include <cmath>

#include "Sv_Matrix4.h"

Sv_Quaternion::Sv_Quaternion() : m_w(1.0), m_x(0.0), m_y(0.0), m_z(0.0) {}

Sv_Quaternion::Sv_Quaternion(double w, double x, double y, double z)
    : m_w(w), m_x(x), m_y(y), m_z(z) {}

void Sv_Quaternion::Set(double w, double x, double y, double z) {
  m_w = w;
  m_x = x;
  m_y = y;
  m_z = z;
}

Sv_Quaternion& Sv_Quaternion::FromMatrix(const Sv_Matrix4& matrix) {
  const float* m = matrix.GetMatrixPTR();
  // r[row][col] of the upper 3x3 part; the GL array holds column after column.
  double r[3][3];
  for (int col = 0; col < 3; ++col) {
    double len = 0.0;
    for (int row = 0; row < 3; ++row) {
      r[row][col] = m[col * 4 + row];
      len += r[row][col] * r[row][col];
    }
    len = std::sqrt(len);
    if (!(len > 0.0) || !std::isfinite(len)) {
      Set(1.0, 0.0, 0.0, 0.0);
      return *this;
    }
    for (int row = 0; row < 3; ++row) r[row][col] /= len;
  }

  // Pick the largest of w, x, y, z from the diagonal for a stable square root.
  double trace = r[0][0] + r[1][1] + r[2][2];
  double w, x, y, z;
  if (trace > r[0][0] && trace > r[1][1] && trace > r[2][2]) {
    double s = 2.0 * std::sqrt(1.0 + trace);
    w = 0.25 * s;
    x = (r[2][1] - r[1][2]) / s;
    y = (r[0][2] - r[2][0]) / s;
    z = (r[1][0] - r[0][1]) / s;
  } else if (r[0][0] >= r[1][1] && r[0][0] >= r[2][2]) {
    double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[0][0] - r[1][1] - r[2][2]));
    if (s == 0.0) s = 1.0;
    w = (r[2][1] - r[1][2]) / s;
    x = 0.25 * s;
    y = (r[0][1] + r[1][0]) / s;
    z = (r[0][2] + r[2][0]) / s;
  } else if (r[1][1] >= r[2][2]) {
    double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[1][1] - r[0][0] - r[2][2]));
    if (s == 0.0) s = 1.0;
    w = (r[0][2] - r[2][0]) / s;
    x = (r[0][1] + r[1][0]) / s;
    y = 0.25 * s;
    z = (r[1][2] + r[2][1]) / s;
  } else {
    double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[2][2] - r[0][0] - r[1][1]));
    if (s == 0.0) s = 1.0;
    w = (r[1][0] - r[0][1]) / s;
    x = (r[0][2] + r[2][0]) / s;
    y = (r[1][2] + r[2][1]) / s;
    z = 0.25 * s;
  }
  double len = std::sqrt(w * w + x * x + y * y + z * z);
  if (!(len > 0.0) || !std::isfinite(len)) {
    Set(1.0, 0.0, 0.0, 0.0);
    return *this;
  }
  if (w < 0.0) len = -len;  // q and -q are the same rotation; keep w >= 0
  Set(w / len, x / len, y / len, z / len);
  return *this;
}

void Sv_Quaternion::ToMatrix(Sv_Matrix4& out) const {
  double w = m_w, x = m_x, y = m_y, z = m_z;
  double n = w * w + x * x + y * y + z * z;
  double s = n > 0.0 ? 2.0 / n : 0.0;
  double r[3][3] = {
      {1.0 - s * (y * y + z * z), s * (x * y - w * z), s * (x * z + w * y)},
      {s * (x * y + w * z), 1.0 - s * (x * x + z * z), s * (y * z - w * x)},
      {s * (x * z - w * y), s * (y * z + w * x), 1.0 - s * (x * x + y * y)}};
  float* m = out.GetMatrixPTR();
  for (int i = 0; i < 16; ++i) m[i] = 0.0f;
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) m[col * 4 + row] = static_cast<float>(r[row][col]);
  m[15] = 1.0f;
}
