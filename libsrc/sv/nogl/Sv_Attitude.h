#ifndef SV_ATTITUDE_H
#define SV_ATTITUDE_H

#include "Sv_Matrix4.h"

// The pose of a vehicle: three rotation angles, a position and a uniform
// scale combined into one 4x4 transform.
//
// Angles are in degrees, positive counter-clockwise about their axis (the
// right-hand rule, as glRotate turns):
//   angle 1: roll about the x axis (the vehicle's forward axis),
//   angle 2: pitch about the y axis,
//   angle 3: heading (yaw) about the z axis (up).
// A vertex v of the vehicle model is placed at
//   T(position) * Rz(angle 3) * Ry(angle 2) * Rx(angle 1) * S(scale) * v,
// i.e. scaled, rolled, pitched, turned to its heading, then moved. The
// matrix is built in Sv_Matrix4's row-major form (translation in elements
// 3, 7, 11); transpose it before handing it to OpenGL.
class Sv_Attitude {
 public:
  // The identity transform.
  Sv_Attitude();

  // Builds the transform, stores it in out and in this object.
  void GetTransform(Sv_Matrix4& out, double angle1, double angle2, double angle3, double x,
                    double y, double z, double scale);

  // The transform built last (the identity before the first build).
  const Sv_Matrix4& GetMatrix() const { return m_transform; }

 private:
  Sv_Matrix4 m_transform;
};

#endif
