#include "Movie.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Tag version of the camera-path record.
const short kRecordVersion = 1;
// Bytes of the smallest frame in the record (type 0, type code included).
const int kSmallestFrameBytes = 4 + 12 + 32;

// Column-major double matrices.
void Translation(double m[16], double x, double y, double z) {
  IdentityMatrix4d(m);
  m[12] = x;
  m[13] = y;
  m[14] = z;
}

bool AllFinite(const float* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

bool AllFinite(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

}  // namespace

Movie::Movie() : m_current(-1), m_type(MOVIE_FRAME_POSROT) {}

Movie::~Movie() {}

int Movie::SetType(int type) {
  if (type < MOVIE_FRAME_POSROT || type > MOVIE_FRAME_POSROTSCALE) return -1;
  m_type = type;
  return 0;
}

int Movie::Append(const Frame& frame) {
  if (GetNumFrames() >= kMaxFrames) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "The camera path is full", "Movie::AddFrame");
    return -1;
  }
  m_frames.push_back(frame);
  m_current = GetNumFrames() - 1;
  return m_current;
}

int Movie::AddFrame(const float position[3], const Sv_Quaternion& rotation, double scale) {
  Frame f = {};
  f.type = MOVIE_FRAME_POSROTSCALE;
  std::memcpy(f.position, position, sizeof(f.position));
  f.rotation[0] = rotation.GetW();
  f.rotation[1] = rotation.GetX();
  f.rotation[2] = rotation.GetY();
  f.rotation[3] = rotation.GetZ();
  f.scale = scale;
  if (!AllFinite(f.position, 3) || !AllFinite(f.rotation, 4) || !std::isfinite(scale) || !(scale > 0.0)) return -1;
  return Append(f);
}

int Movie::AddFrame(const float position[3], const Sv_Quaternion& rotation) {
  Frame f = {};
  f.type = MOVIE_FRAME_POSROT;
  std::memcpy(f.position, position, sizeof(f.position));
  f.rotation[0] = rotation.GetW();
  f.rotation[1] = rotation.GetX();
  f.rotation[2] = rotation.GetY();
  f.rotation[3] = rotation.GetZ();
  f.scale = 1.0;
  if (!AllFinite(f.position, 3) || !AllFinite(f.rotation, 4)) return -1;
  return Append(f);
}

int Movie::AddFrame(const float matrix[16]) {
  Frame f = {};
  f.type = MOVIE_FRAME_MATRIX;
  std::memcpy(f.matrix, matrix, sizeof(f.matrix));
  f.scale = 1.0;
  if (!AllFinite(f.matrix, 16)) return -1;
  return Append(f);
}

int Movie::Rewind() {
  if (m_frames.empty()) return -1;
  m_current = 0;
  return 0;
}

int Movie::NextFrame() {
  if (m_current < 0 || m_current + 1 >= GetNumFrames()) return 1;
  ++m_current;
  ApplyFrame();
  return m_current == GetNumFrames() - 1 ? 1 : 0;
}

int Movie::GoToFrame(int n) {
  if (n < 0 || n >= GetNumFrames()) return -1;
  m_current = n;
  return m_current;
}

int Movie::ApplyFrame() const {
  float m[16];
  if (GetFrameMatrix(m_current, m) != 0) return -1;
  glLoadMatrixf(m);
  return 0;
}

void Movie::Clear() {
  m_frames.clear();
  m_current = -1;
}

void Movie::DeleteAfterCurrent() {
  if (m_current < 0) return;
  m_frames.resize(static_cast<size_t>(m_current) + 1);
}

int Movie::GetFrameType(int i) const {
  if (i < 0 || i >= GetNumFrames()) return -1;
  return m_frames[static_cast<size_t>(i)].type;
}

int Movie::GetFrameMatrix(int i, float out[16]) const {
  if (i < 0 || i >= GetNumFrames()) return -1;
  const Frame& f = m_frames[static_cast<size_t>(i)];
  if (f.type == MOVIE_FRAME_MATRIX) {
    std::memcpy(out, f.matrix, sizeof(f.matrix));
    return 0;
  }

  // R * T(-p)
  Sv_Matrix4 rf;
  Sv_Quaternion(f.rotation[0], f.rotation[1], f.rotation[2], f.rotation[3]).ToMatrix(rf);
  double m[16], t[16];
  for (int k = 0; k < 16; ++k) m[k] = rf.GetMatrixPTR()[k];
  Translation(t, -double(f.position[0]), -double(f.position[1]), -double(f.position[2]));
  MultMatrix4d(m, m, t);

  if (f.type == MOVIE_FRAME_POSROTSCALE) {
    // T(0, 0, -c) * S(s) * T(0, 0, c), c the scale centre's distance.
    double s[16];
    IdentityMatrix4d(s);
    s[0] = s[5] = s[10] = f.scale;
    s[14] = f.scale * kScaleCentre - kScaleCentre;
    MultMatrix4d(m, s, m);
  }
  for (int k = 0; k < 16; ++k) out[k] = static_cast<float>(m[k]);
  return 0;
}

int Movie::Read(const char* fileName) {
  TDR_Manager tdr;
  if (!fileName || tdr.OpenFile(fileName, "rb") != 0) {
    Sv_Debug::Error("ERROR: Opening file %s to read movie", fileName ? fileName : "");
    return -1;
  }
  if (tdr.ReadHeader() != 0) {
    Sv_Debug::Error("ERROR: %s is not a flight-path file", fileName);
    tdr.CloseFile();
    return -2;
  }

  std::vector<Frame> frames;
  int type = MOVIE_FRAME_POSROT;
  bool found = false;
  for (;;) {
    int length = 0;
    const int tag = tdr.ReadTag(&length);
    if (tag == TDR_TAG_EOF) break;
    if (tag == TDR_TAG_ERROR) {
      Sv_Debug::Error("ERROR: The flight-path file %s is damaged", fileName);
      tdr.CloseFile();
      return -3;
    }
    if (tag != TDR_TAG_BK_MOVIE || found) continue;  // ReadTag steps over the payload
    found = true;

    TDR_PayloadReader in(&tdr);
    int count = 0;
    in.Int32(&type);
    in.Int32(&count);
    bool ok = in.Ok() && tdr.GetTagVersion() == kRecordVersion && type >= MOVIE_FRAME_POSROT &&
              type <= MOVIE_FRAME_POSROTSCALE && count >= 0 && count <= kMaxFrames &&
              static_cast<long long>(count) * kSmallestFrameBytes <= in.Left();
    if (ok) frames.reserve(static_cast<size_t>(count));
    for (int i = 0; ok && i < count; ++i) {
      Frame f = {};
      f.scale = 1.0;
      ok = in.Int32(&f.type) && f.type >= MOVIE_FRAME_POSROT && f.type <= MOVIE_FRAME_POSROTSCALE;
      if (!ok) break;
      if (f.type == MOVIE_FRAME_MATRIX) {
        ok = in.Float32s(f.matrix, 16) && AllFinite(f.matrix, 16);
      } else {
        ok = in.Float32s(f.position, 3) && in.Float64s(f.rotation, 4) && AllFinite(f.position, 3) &&
             AllFinite(f.rotation, 4);
        if (ok && f.type == MOVIE_FRAME_POSROTSCALE)
          ok = in.Float64(&f.scale) && std::isfinite(f.scale) && f.scale > 0.0;
      }
      if (ok) frames.push_back(f);
    }
    // The record must end with its last frame.
    if (!ok || !in.Ok() || in.Left() != 0) {
      Sv_Debug::Error("ERROR: The camera path in %s is damaged", fileName);
      tdr.CloseFile();
      return -3;
    }
  }
  tdr.CloseFile();
  if (!found) {
    Sv_Debug::Error("ERROR: %s holds no camera path", fileName);
    return -4;
  }

  m_frames.swap(frames);
  m_type = type;
  m_current = m_frames.empty() ? -1 : 0;
  return GetNumFrames();
}

int Movie::Write(const char* fileName) const {
  TDR_Manager tdr;
  if (!fileName || tdr.OpenFile(fileName, "wb") != 0) {
    Sv_Debug::Error("ERROR: Opening file %s to write movie", fileName ? fileName : "");
    return -1;
  }
  tdr.AddComment("Camera path");
  bool ok = tdr.WriteHeader() == 0 && tdr.WriteTag(TDR_TAG_BK_MOVIE, kRecordVersion, 0, 0, 1) == 0;
  if (ok) {
    TDR_PayloadWriter out(&tdr);
    out.Int32(m_type);
    out.Int32(GetNumFrames());
    for (const Frame& f : m_frames) {
      out.Int32(f.type);
      if (f.type == MOVIE_FRAME_MATRIX) {
        out.Float32s(f.matrix, 16);
      } else {
        out.Float32s(f.position, 3);
        out.Float64s(f.rotation, 4);
        if (f.type == MOVIE_FRAME_POSROTSCALE) out.Float64(f.scale);
      }
    }
    ok = out.Ok() && tdr.EndTag() == 0 && tdr.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && tdr.EndTag() == 0;
  }
  // A failed write leaves the old file as it was.
  if (!ok) {
    tdr.DiscardFile();
  } else {
    ok = tdr.CloseFile() == 0;
  }
  if (!ok) {
    Sv_Debug::Error("ERROR: Writing the camera path %s failed", fileName);
    return -1;
  }
  return 0;
}
