#include "Sv_Attitude.h"

#include <cmath>

namespace {
const double kDegToRad = 3.14159265358979323846 / 180.0;
}

Sv_Attitude::Sv_Attitude() { m_transform.SetIdentity(); }

void Sv_Attitude::GetTransform(Sv_Matrix4& out, double angle1, double angle2, double angle3,
                               double x, double y, double z, double scale) {
  // Rz(heading) * Ry(pitch) * Rx(roll), written out in double precision.
  double cr = std::cos(angle1 * kDegToRad), sr = std::sin(angle1 * kDegToRad);
  double cp = std::cos(angle2 * kDegToRad), sp = std::sin(angle2 * kDegToRad);
  double ch = std::cos(angle3 * kDegToRad), sh = std::sin(angle3 * kDegToRad);
  double r[3][3] = {{ch * cp, ch * sp * sr - sh * cr, ch * sp * cr + sh * sr},
                    {sh * cp, sh * sp * sr + ch * cr, sh * sp * cr - ch * sr},
                    {-sp, cp * sr, cp * cr}};
  m_transform.SetIdentity();
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) m_transform.Set(row, col, static_cast<float>(r[row][col] * scale));
  m_transform.Set(0, 3, static_cast<float>(x));
  m_transform.Set(1, 3, static_cast<float>(y));
  m_transform.Set(2, 3, static_cast<float>(z));
  out = m_transform;
}
