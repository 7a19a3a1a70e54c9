#include "Sv_Perspective.h"

#include "Sv_Matrix4.h"
#include <GL/gl.h>

#include <cmath>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "Sv_Types.h"

namespace {

// Bounds of the automatic stereo scale, so that odd depth readings cannot
// drive it to zero or infinity over many frames.
const float kMinStereoScale = 1e-6f;
const float kMaxStereoScale = 1e6f;

// View record: version, byte count of the fields that follow, fields.
const int kRecordVersion = 1;
const int kRecordFieldBytes = 52;
const int kRecordWords = 2 + kRecordFieldBytes / 4;

// Column-major 4x4 matrices in double precision, as glLoadMatrixd takes them.

void FrustumMatrix(double m[16], const double f[6], bool ortho) {
  const double l = f[0], r = f[1], b = f[2], t = f[3], n = f[4], fa = f[5];
  for (int i = 0; i < 16; ++i) m[i] = 0.0;
  if (ortho) {
    m[0] = 2.0 / (r - l);
    m[5] = 2.0 / (t - b);
    m[10] = -2.0 / (fa - n);
    m[12] = -(r + l) / (r - l);
    m[13] = -(t + b) / (t - b);
    m[14] = -(fa + n) / (fa - n);
    m[15] = 1.0;
  } else {
    m[0] = 2.0 * n / (r - l);
    m[5] = 2.0 * n / (t - b);
    m[8] = (r + l) / (r - l);
    m[9] = (t + b) / (t - b);
    m[10] = -(fa + n) / (fa - n);
    m[11] = -1.0;
    m[14] = -2.0 * fa * n / (fa - n);
  }
}

// m := m * translate(x, y, z).
void PostTranslate(double m[16], double x, double y, double z) {
  for (int row = 0; row < 4; ++row) m[12 + row] += m[row] * x + m[4 + row] * y + m[8 + row] * z;
}

// Split point i of n between a and b; the ends are exactly a and b, so
// neighbouring tiles share their edge bit for bit.
double Split(double a, double b, int i, int n) {
  if (i <= 0) return a;
  if (i >= n) return b;
  return a + (b - a) * i / n;
}

bool Finite(float v) { return std::isfinite(v); }

}  // namespace

Sv_Perspective::Sv_Perspective(float eyeX, float eyeY, float eyeZ, float eyeSeparation, float stereoNearScale)
    : m_eyeSeparation(eyeSeparation),
      m_nearScale(kDefaultNearScale),
      m_far(kDefaultFarCm),
      m_stereoNearScale(stereoNearScale),
      m_stereoFar(kDefaultStereoFarCm),
      m_baseScale(kDefaultBaseScale),
      m_stereoScale(1.0f),
      m_pendingScale(1.0f),
      m_ortho(0),
      m_fullFrustum(0),
      m_cyclopean(0),
      m_width(kDefaultViewportWidth),
      m_height(kDefaultViewportHeight),
      m_nearLimit(0.0),
      m_leftValid(0),
      m_leftNear(0.0),
      m_leftFar(0.0) {
  m_eye[0] = Finite(eyeX) ? eyeX : 0.0f;
  m_eye[1] = Finite(eyeY) ? eyeY : 0.0f;
  m_eye[2] = eyeZ;
  if (!Finite(eyeZ) || !(eyeZ > 0.0f)) {
    Sv_Debug::Message(SV_LEVEL_WARNING, "Invalid eye distance; using 50 cm", "Sv_Perspective::Sv_Perspective");
    m_eye[2] = kDefaultEyeDistanceCm;
  }
  if (!Finite(eyeSeparation) || eyeSeparation < 0.0f) {
    Sv_Debug::Message(SV_LEVEL_WARNING, "Invalid eye separation; using 6.4 cm", "Sv_Perspective::Sv_Perspective");
    m_eyeSeparation = kDefaultEyeSeparationCm;
  }
  if (!Finite(stereoNearScale) || !(stereoNearScale > 0.0f) ||
      !(m_stereoFar * kPixelsPerCm > stereoNearScale * ViewingDistance())) {
    Sv_Debug::Message(SV_LEVEL_WARNING, "Invalid stereo near scale; using 0.25", "Sv_Perspective::Sv_Perspective");
    m_stereoNearScale = kDefaultStereoNearScale;
  }
  for (int i = 0; i < 4; ++i) m_leftViewport[i] = 0;
  Recompute();
}

double Sv_Perspective::ViewingDistance() const { return m_eye[2] * kPixelsPerCm; }

void Sv_Perspective::Recompute() {
  const double d = ViewingDistance();
  const double ex = m_eye[0] * kPixelsPerCm;
  const double ey = m_eye[1] * kPixelsPerCm;
  const double sep = m_eyeSeparation * kPixelsPerCm;
  const double halfH = 0.5 * m_height;
  for (int view = 0; view < 3; ++view) {
    double halfW, xe, n, f;
    if (view == SV_VIEW_MONO) {
      halfW = 0.5 * m_width;
      xe = ex;
      n = m_nearScale * d;
      f = m_far * kPixelsPerCm;
    } else {
      const int eyeWidth = m_fullFrustum ? m_width : (m_width / 2 > 0 ? m_width / 2 : 1);
      halfW = 0.5 * eyeWidth;
      xe = view == SV_VIEW_LEFT ? ex - 0.5 * sep : ex + 0.5 * sep;
      n = m_stereoNearScale * d;
      f = m_stereoFar * kPixelsPerCm;
    }
    if (!m_ortho && m_nearLimit > n && m_nearLimit < 0.5 * f) n = m_nearLimit;
    // Eye coordinates: the window rectangle lies at distance d in front of
    // the eye; perspective bounds are that rectangle seen at the near plane.
    const double s = m_ortho ? 1.0 : n / d;
    double* fr = m_frustum[view];
    fr[0] = (-halfW - xe) * s;
    fr[1] = (halfW - xe) * s;
    fr[2] = (-halfH - ey) * s;
    fr[3] = (halfH - ey) * s;
    fr[4] = n;
    fr[5] = f;
  }
}

void Sv_Perspective::GetFrustum(int view, double out[6]) const {
  if (view != SV_VIEW_LEFT && view != SV_VIEW_RIGHT) view = SV_VIEW_MONO;
  std::memcpy(out, m_frustum[view], sizeof(m_frustum[view]));
}

void Sv_Perspective::EyeMatrix(int view, double scale, double out[16]) const {
  if (view != SV_VIEW_LEFT && view != SV_VIEW_RIGHT) view = SV_VIEW_MONO;
  const double d = ViewingDistance();
  const double ex = m_eye[0] * kPixelsPerCm;
  const double ey = m_eye[1] * kPixelsPerCm;
  const double sep = m_eyeSeparation * kPixelsPerCm;
  double xe = ex;
  if (view == SV_VIEW_LEFT) xe = ex - 0.5 * sep;
  if (view == SV_VIEW_RIGHT) xe = ex + 0.5 * sep;

  FrustumMatrix(out, m_frustum[view], m_ortho != 0);
  PostTranslate(out, -xe, -ey, -d);
  if (view != SV_VIEW_MONO && !m_ortho && scale != 1.0) {
    // Scale about the cyclopean eye E: x' = E + k (x - E).
    double c[16];
    IdentityMatrix4d(c);
    c[0] = c[5] = c[10] = scale;
    c[12] = ex * (1.0 - scale);
    c[13] = ey * (1.0 - scale);
    c[14] = d * (1.0 - scale);
    MultMatrix4d(out, out, c);
  }
}

void Sv_Perspective::GetProjectionMatrix(int view, double out[16]) const {
  EyeMatrix(view, m_stereoScale, out);
}

void Sv_Perspective::LoadProjection(const double m[16]) const {
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixd(m);
  glMatrixMode(GL_MODELVIEW);
}

void Sv_Perspective::SetMonoProjection() {
  double m[16];
  EyeMatrix(SV_VIEW_MONO, 1.0, m);
  LoadProjection(m);
}

void Sv_Perspective::SetLeftEyeProjection() {
  // A scale chosen after the previous left eye starts with this frame, so
  // that both eyes of a frame share it.
  m_stereoScale = m_pendingScale;
  glGetIntegerv(GL_VIEWPORT, m_leftViewport);
  m_leftValid = 1;
  m_leftNear = m_frustum[SV_VIEW_LEFT][4];
  m_leftFar = m_frustum[SV_VIEW_LEFT][5];
  double m[16];
  EyeMatrix(SV_VIEW_LEFT, m_stereoScale, m);
  LoadProjection(m);
}

void Sv_Perspective::SetRightEyeProjection() {
  double m[16];
  EyeMatrix(SV_VIEW_RIGHT, m_stereoScale, m);
  LoadProjection(m);
}

int Sv_Perspective::SetTileFrustum(int tiles, int column, int row) {
  if (tiles < 1 || column < 0 || column >= tiles || row < 0 || row >= tiles) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Tile out of range", "Sv_Perspective::SetTileFrustum");
    return -1;
  }
  const double* fr = m_frustum[SV_VIEW_MONO];
  double tile[6];
  tile[0] = Split(fr[0], fr[1], column, tiles);
  tile[1] = Split(fr[0], fr[1], column + 1, tiles);
  tile[2] = Split(fr[2], fr[3], row, tiles);
  tile[3] = Split(fr[2], fr[3], row + 1, tiles);
  tile[4] = fr[4];
  tile[5] = fr[5];
  double m[16];
  FrustumMatrix(m, tile, m_ortho != 0);
  PostTranslate(m, -m_eye[0] * kPixelsPerCm, -m_eye[1] * kPixelsPerCm, -ViewingDistance());
  LoadProjection(m);
  return 0;
}

void Sv_Perspective::UpdateViewport() {
  GLint v[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, v);
  m_width = v[2] > 0 ? v[2] : 1;
  m_height = v[3] > 0 ? v[3] : 1;
  Recompute();
}

void Sv_Perspective::SetOrtho(int on) {
  m_ortho = on ? 1 : 0;
  Recompute();
}

void Sv_Perspective::SetFullFrustum(int on) {
  m_fullFrustum = on ? 1 : 0;
  Recompute();
}

int Sv_Perspective::SetClipPlanes(float nearScale, float farCm) {
  if (!Finite(nearScale) || !Finite(farCm) || !(nearScale > 0.0f) ||
      !(farCm * kPixelsPerCm > nearScale * ViewingDistance())) {
    Sv_Debug::Message(SV_LEVEL_WARNING, "Invalid clip planes ignored", "Sv_Perspective::SetClipPlanes");
    return -1;
  }
  m_nearScale = nearScale;
  m_far = farCm;
  Recompute();
  return 0;
}

int Sv_Perspective::SetStereoClipPlanes(float nearScale, float farCm) {
  if (!Finite(nearScale) || !Finite(farCm) || !(nearScale > 0.0f) ||
      !(farCm * kPixelsPerCm > nearScale * ViewingDistance())) {
    Sv_Debug::Message(SV_LEVEL_WARNING, "Invalid stereo clip planes ignored", "Sv_Perspective::SetStereoClipPlanes");
    return -1;
  }
  m_stereoNearScale = nearScale;
  m_stereoFar = farCm;
  Recompute();
  return 0;
}

void Sv_Perspective::SetNearLimit(double distance) {
  if (!std::isfinite(distance) || !(distance > 0.0)) distance = 0.0;
  if (distance == m_nearLimit) return;
  m_nearLimit = distance;
  Recompute();
}

void Sv_Perspective::GetClipPlanes(float out[2]) const {
  out[0] = m_nearScale;
  out[1] = m_far;
}

void Sv_Perspective::GetStereoClipPlanes(float out[2]) const {
  out[0] = m_stereoNearScale;
  out[1] = m_stereoFar;
}

int Sv_Perspective::UpdateCyclopeanScale() {
  if (!m_cyclopean || !m_leftValid || m_ortho) return -1;
  const int x = m_leftViewport[0] + m_leftViewport[2] / 2;
  const int y = m_leftViewport[1] + m_leftViewport[3] / 2;
  GLfloat depth = 1.0f;
  glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  if (!(depth < 1.0f) || !(depth >= 0.0f)) return -1;

  // Distance from the eye of the point under the centre, in the scaled
  // space that the left eye was drawn in.
  const double n = m_leftNear, f = m_leftFar;
  const double zNdc = 2.0 * depth - 1.0;
  const double dist = 2.0 * f * n / ((f + n) - zNdc * (f - n));
  if (!std::isfinite(dist) || !(dist > 0.0)) return -1;

  // Unscaled, the point lies dist / k from the eye plane; scale it to the
  // base distance.
  m_pendingScale = ScaleForDistance(dist / m_stereoScale);
  return 0;
}

float Sv_Perspective::ScaleForDistance(double distance) const {
  const double k = m_baseScale * kPixelsPerCm / distance;
  if (!(k >= kMinStereoScale)) return kMinStereoScale;
  if (!(k <= kMaxStereoScale)) return kMaxStereoScale;
  return static_cast<float>(k);
}

int Sv_Perspective::SetStereoScale(float k) {
  if (!(k >= kMinStereoScale && k <= kMaxStereoScale)) return -1;
  m_stereoScale = k;
  m_pendingScale = k;
  return 0;
}

void Sv_Perspective::EnableCyclopeanScale() {
  if (!m_cyclopean) m_leftValid = 0;
  m_cyclopean = 1;
}

void Sv_Perspective::DisableCyclopeanScale() {
  m_cyclopean = 0;
  m_leftValid = 0;
  m_stereoScale = 1.0f;
  m_pendingScale = 1.0f;
}

int Sv_Perspective::SetBaseScale(float scale) {
  if (!Finite(scale) || !(scale > 0.0f)) {
    Sv_Debug::Message(SV_LEVEL_WARNING, "Invalid base scale ignored", "Sv_Perspective::SetBaseScale");
    return -1;
  }
  m_baseScale = scale;
  return 0;
}

int Sv_Perspective::Write(FILE* file) const {
  if (!file) return -1;
  unsigned char buf[kRecordWords * 4];
  const int ints[2] = {kRecordVersion, kRecordFieldBytes};
  const float floats[10] = {m_eye[0],          m_eye[1],         m_eye[2],         m_eyeSeparation,
                            m_nearScale,       m_far,            m_stereoNearScale, m_stereoFar,
                            m_baseScale,       m_stereoScale};
  const int flags[3] = {m_ortho, m_fullFrustum, m_cyclopean};
  std::memcpy(buf, ints, 8);
  std::memcpy(buf + 8, floats, 40);
  std::memcpy(buf + 48, flags, 12);
  return Sv_UtlFwriteCopy(buf, 4, kRecordWords, file, 1) == kRecordWords ? 0 : -1;
}

int Sv_Perspective::Read(FILE* file, int byteOrder) {
  const char* where = "Sv_Perspective::Read";
  if (!file) return -1;
  int head[2] = {0, 0};
  if (Sv_UtlFread(head, 4, 2, file, byteOrder) != 2) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "The camera record is truncated.", where);
    return -1;
  }
  if (head[0] != kRecordVersion || head[1] != kRecordFieldBytes) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Unknown camera record.", where);
    return -1;
  }
  unsigned char buf[kRecordFieldBytes];
  if (Sv_UtlFread(buf, 4, kRecordFieldBytes / 4, file, byteOrder) != kRecordFieldBytes / 4) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "The camera record is truncated.", where);
    return -1;
  }
  float v[10];
  int flags[3];
  std::memcpy(v, buf, 40);
  std::memcpy(flags, buf + 40, 12);

  bool ok = true;
  for (float x : v) ok = ok && Finite(x);
  for (int fl : flags) ok = ok && (fl == 0 || fl == 1);
  const double d = v[2] * kPixelsPerCm;
  ok = ok && v[2] > 0.0f && v[3] >= 0.0f;
  ok = ok && v[4] > 0.0f && v[5] * kPixelsPerCm > v[4] * d;
  ok = ok && v[6] > 0.0f && v[7] * kPixelsPerCm > v[6] * d;
  ok = ok && v[8] > 0.0f && v[9] >= kMinStereoScale && v[9] <= kMaxStereoScale;
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "The camera record holds invalid values.", where);
    return -1;
  }

  m_eye[0] = v[0];
  m_eye[1] = v[1];
  m_eye[2] = v[2];
  m_eyeSeparation = v[3];
  m_nearScale = v[4];
  m_far = v[5];
  m_stereoNearScale = v[6];
  m_stereoFar = v[7];
  m_baseScale = v[8];
  m_stereoScale = v[9];
  m_pendingScale = v[9];
  m_ortho = flags[0];
  m_fullFrustum = flags[1];
  m_cyclopean = flags[2];
  m_leftValid = 0;
  Recompute();
  return 0;
}
