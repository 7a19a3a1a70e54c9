#include "Sv_Vector.h"

#include <cmath>

Sv_Vector::Sv_Vector(double x, double y, double z, double w) {
  m_data[0] = x;
  m_data[1] = y;
  m_data[2] = z;
  m_data[3] = w;
}

double Sv_Vector::Get(int i) const {
  if (i < 0 || i >= MAX_VECTOR_SIZE) return 0.0;
  return m_data[i];
}

void Sv_Vector::Set(int i, double value) {
  if (i < 0 || i >= MAX_VECTOR_SIZE) return;
  m_data[i] = value;
}

void VecCopy3f(float out[3], const float v[3]) {
  out[0] = v[0];
  out[1] = v[1];
  out[2] = v[2];
}

void VecAdd3f(float out[3], const float a[3], const float b[3]) {
  out[0] = a[0] + b[0];
  out[1] = a[1] + b[1];
  out[2] = a[2] + b[2];
}

void VecSub3f(float out[3], const float a[3], const float b[3]) {
  out[0] = a[0] - b[0];
  out[1] = a[1] - b[1];
  out[2] = a[2] - b[2];
}

void VecScale3f(float out[3], const float v[3], float s) {
  out[0] = v[0] * s;
  out[1] = v[1] * s;
  out[2] = v[2] * s;
}

float VecDot3f(const float a[3], const float b[3]) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void VecCross3f(float out[3], const float a[3], const float b[3]) {
  float x = a[1] * b[2] - a[2] * b[1];
  float y = a[2] * b[0] - a[0] * b[2];
  float z = a[0] * b[1] - a[1] * b[0];
  out[0] = x;
  out[1] = y;
  out[2] = z;
}

float VecNormalize3f(float v[3]) {
  // Summed in double so that very small or large components do not
  // underflow or overflow on squaring.
  double len = std::sqrt(static_cast<double>(v[0]) * v[0] + static_cast<double>(v[1]) * v[1] +
                         static_cast<double>(v[2]) * v[2]);
  if (len == 0.0 || !std::isfinite(len)) {
    if (len == 0.0) v[0] = v[1] = v[2] = 0.0f;
    return static_cast<float>(len);
  }
  v[0] = static_cast<float>(v[0] / len);
  v[1] = static_cast<float>(v[1] / len);
  v[2] = static_cast<float>(v[2] / len);
  return static_cast<float>(len);
}

float PlaneDistance3f(const float plane[4], const float p[3]) {
  return p[0] * plane[0] + p[1] * plane[1] + p[2] * plane[2] + plane[3];
}

void PlaneFromPoints3f(float plane[4], const float p1[3], const float p2[3], const float p3[3]) {
  float e1[3];
  float e2[3];
  float n[3];
  VecSub3f(e1, p2, p1);
  VecSub3f(e2, p3, p1);
  VecCross3f(n, e1, e2);
  VecNormalize3f(n);
  plane[0] = n[0];
  plane[1] = n[1];
  plane[2] = n[2];
  plane[3] = -VecDot3f(n, p1);
}
