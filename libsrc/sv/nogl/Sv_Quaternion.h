#ifndef SV_QUATERNION_H
#define SV_QUATERNION_H

class Sv_Matrix4;

// A rotation as a unit quaternion (w, x, y, z). A rotation by angle a about
// the unit axis (ux, uy, uz), counter-clockwise when looking down the axis
// towards the origin (as glRotate turns), is
// (cos(a/2), ux sin(a/2), uy sin(a/2), uz sin(a/2)).
class Sv_Quaternion {
 public:
  // The identity rotation (1, 0, 0, 0).
  Sv_Quaternion();
  Sv_Quaternion(double w, double x, double y, double z);

  // Sets this quaternion to the rotation part of a matrix read from GL
  // (column-major: element (row, column) at column * 4 + row). A uniform or
  // per-axis scale in the upper 3x3 part is divided out first; a matrix
  // without a usable rotation part gives the identity. The result is a unit
  // quaternion with w >= 0. Returns this quaternion.
  Sv_Quaternion& FromMatrix(const Sv_Matrix4& matrix);

  // The rotation as a GL (column-major) matrix, no translation.
  void ToMatrix(Sv_Matrix4& out) const;

  double GetW() const { return m_w; }
  double GetX() const { return m_x; }
  double GetY() const { return m_y; }
  double GetZ() const { return m_z; }
  void Set(double w, double x, double y, double z);

 private:
  double m_w;
  double m_x;
  double m_y;
  double m_z;
};

#endif
