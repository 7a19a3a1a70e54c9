#include "DepthPicker.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <vector>

namespace {

const float kMissValue = -1e10f;
// Depth of a pixel where nothing was drawn (the cleared far value).
const float kFarDepth = 1.0f;
const int kMaxSearch = 64;
const float kMaxSize = 1048576.0f;

void SetIdentity(float m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

int Miss(float* wx, float* wy, float* wz) {
  *wx = kMissValue;
  *wy = kMissValue;
  *wz = kMissValue;
  return -1;
}

// v' = m v for a column-major m, in double precision.
void Transform(const float m[16], const double v[4], double out[4]) {
  for (int r = 0; r < 4; ++r) {
    out[r] = double(m[r]) * v[0] + double(m[4 + r]) * v[1] + double(m[8 + r]) * v[2] + double(m[12 + r]) * v[3];
  }
}

}  // namespace

DepthPicker::DepthPicker(float width, float height) : m_width(width), m_height(height), m_valid(1) {
  SetIdentity(m_invModel);
  SetIdentity(m_invProjection);
}

DepthPicker::~DepthPicker() {}

void DepthPicker::SetSize(float width, float height) {
  m_width = width;
  m_height = height;
}

int DepthPicker::SetModelMatrix(const Sv_Matrix4& modelView) {
  GLfloat projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  const int model = InvertMatrix4(m_invModel, modelView.GetMatrixPTR());
  const int proj = InvertMatrix4(m_invProjection, projection);
  m_valid = (model == 0 && proj == 0) ? 1 : 0;
  return m_valid ? 0 : -1;
}

int DepthPicker::Pick(int x, int y, float* wx, float* wy, float* wz) {
  float dummy[3];
  if (!wx) wx = &dummy[0];
  if (!wy) wy = &dummy[1];
  if (!wz) wz = &dummy[2];
  if (x < 0 || y < 0 || float(x) >= m_width || float(y) >= m_height) return Miss(wx, wy, wz);
  if (!m_valid) return Miss(wx, wy, wz);

  GLfloat depth = kFarDepth;
  glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  if (!(depth < kFarDepth)) return Miss(wx, wy, wz);

  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  GLdouble range[2] = {0.0, 1.0};
  glGetDoublev(GL_DEPTH_RANGE, range);
  if (viewport[2] <= 0 || viewport[3] <= 0 || range[1] == range[0]) return Miss(wx, wy, wz);

  // Window -> normalised device coordinates -> eye -> object.
  const double ndc[4] = {2.0 * (x + 0.5 - viewport[0]) / viewport[2] - 1.0,
                         2.0 * (y + 0.5 - viewport[1]) / viewport[3] - 1.0,
                         2.0 * (depth - range[0]) / (range[1] - range[0]) - 1.0, 1.0};
  double eye[4], obj[4];
  Transform(m_invProjection, ndc, eye);
  Transform(m_invModel, eye, obj);
  if (std::fabs(obj[3]) < 1e-300) return Miss(wx, wy, wz);
  *wx = float(obj[0] / obj[3]);
  *wy = float(obj[1] / obj[3]);
  *wz = float(obj[2] / obj[3]);
  return 0;
}

int DepthPicker::PickNear(int x, int y, double* wx, double* wy, double* wz, int n) {
  if (n < 0) n = 0;
  if (n > kMaxSearch) n = kMaxSearch;
  // Sizes beyond any framebuffer (or not numbers) find nothing.
  if (!(m_width >= 1.0f && m_width <= kMaxSize && m_height >= 1.0f && m_height <= kMaxSize)) return 1;
  const int width = int(m_width);
  const int height = int(m_height);
  if (x < -n || y < -n || x > width - 1 + n || y > height - 1 + n) return 1;
  const int x0 = x - n < 0 ? 0 : x - n;
  const int y0 = y - n < 0 ? 0 : y - n;
  const int x1 = x + n >= width ? width - 1 : x + n;
  const int y1 = y + n >= height ? height - 1 : y + n;
  if (x0 > x1 || y0 > y1) return 1;
  const int bw = x1 - x0 + 1;
  const int bh = y1 - y0 + 1;

  std::vector<GLfloat> depth(size_t(bw) * size_t(bh), kFarDepth);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
  glReadPixels(x0, y0, bw, bh, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
  glPopClientAttrib();

  int px = -1, py = -1;
  float d = kFarDepth;
  if (x >= x0 && x <= x1 && y >= y0 && y <= y1) {
    const float c = depth[size_t(y - y0) * bw + size_t(x - x0)];
    if (c < kFarDepth) {
      px = x;
      py = y;
      d = c;
    }
  }
  for (int j = 0; px < 0 && j < bh; ++j) {
    for (int i = 0; i < bw; ++i) {
      const float c = depth[size_t(j) * bw + size_t(i)];
      if (c < kFarDepth) {
        px = x0 + i;
        py = y0 + j;
        d = c;
        break;
      }
    }
  }
  if (px < 0) return 1;

  GLdouble modelView[16], projection[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  const GLint viewport[4] = {0, 0, width, height};
  GLdouble ox = 0.0, oy = 0.0, oz = 0.0;
  if (gluUnProject(px + 0.5, py + 0.5, d, modelView, projection, viewport, &ox, &oy, &oz) != GL_TRUE) return 1;
  if (wx) *wx = ox;
  if (wy) *wy = oy;
  if (wz) *wz = oz;
  return 0;
}
