// Drawing services of Sd_Node: the bounding box with its tick labels, the
// level-of-detail helpers and the visible-box computation.

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "DepthPicker.h"
#include "Sd_Node.h"
#include "Sv_HersheyFont.h"
#include "Sv_Matrix4.h"

namespace {

// The text whose width sizes the x and y labels.
const char* const kLabelTemplate = " 00000000.00 ";

// Ticks along an edge reach this far to either side of it.
const float kTickHalf = 0.005f;
// Diagonal z ticks reach kZTick along x and y to either side of the corner
// (sqrt(1.25e-5) along the diagonal).
const float kZTick = 0.0025f;
// Labels sit this far outside the box.
const float kLabelEdge = 0.51f;

// Tick intervals of the longer horizontal side: five per multiple of the
// shorter side, limited so that an elongated or flat box stays cheap to draw.
int LongSideCount(double longer, double shorter) {
  double ratio;
  if (shorter > 0.0) {
    ratio = longer / shorter;
  } else {
    ratio = longer > 0.0 ? static_cast<double>(Sd_Node::MAX_BOX_TICKS) : 1.0;
  }
  if (!(ratio >= 1.0)) ratio = 1.0;
  const double count = std::floor(ratio) * 5.0;
  return count >= Sd_Node::MAX_BOX_TICKS ? static_cast<int>(Sd_Node::MAX_BOX_TICKS) : static_cast<int>(count);
}

// (x, y, z, 1) through the column-major matrix m, in double precision.
void Transform(const float m[16], const double p[3], double out[4]) {
  for (int r = 0; r < 4; ++r) {
    out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
  }
}

// The point through m, divided by w (not divided when w is 0).
void Project(const float m[16], const double p[3], double out[3]) {
  double h[4];
  Transform(m, p, h);
  const double w = h[3] != 0.0 ? h[3] : 1.0;
  for (int i = 0; i < 3; ++i) out[i] = h[i] / w;
}

// Whether the point lies inside the view volume of m (-1 ... 1 on every
// axis after the division). A point at or behind the eye (w <= 0) has no
// projection and is not in view.
bool InView(const float m[16], const double p[3]) {
  double h[4];
  Transform(m, p, h);
  if (!(h[3] > 0.0)) return false;
  for (int i = 0; i < 3; ++i) {
    const double v = h[i] / h[3];
    if (!(v >= -1.0 && v <= 1.0)) return false;
  }
  return true;
}

struct Point3 {
  double v[3];
};

// Where the view cube's far face may stand, in normalised device z, without
// changing which part of the box lies in view: 1 (the far plane), or, for a
// perspective view whose far plane lies beyond the box, a plane a little
// beyond the box's farthest corner. Pulled in, the far face maps to finite
// points through the inverse even when the far plane is so far away that
// single precision puts it at infinity (where the inverse would give points
// of either sign, or none). -1 when the whole box lies behind the eye.
double FarFaceBeyondBox(const float m[16], const double box[6]) {
  // The eye depth of a point is its clip w; in a perspective view clip z is
  // alpha w + beta, so both rows give alpha and beta.
  int k = 0;
  for (int i = 1; i < 3; ++i) {
    if (std::fabs(m[4 * i + 3]) > std::fabs(m[4 * k + 3])) k = i;
  }
  if (!(std::fabs(m[4 * k + 3]) > 0.0f)) return 1.0;  // orthographic: w is constant
  const double alpha = static_cast<double>(m[4 * k + 2]) / m[4 * k + 3];
  const double beta = static_cast<double>(m[14]) - alpha * m[15];
  double deepest = -1.0;
  for (int c = 0; c < 8; ++c) {
    const double p[3] = {box[c & 1], box[2 + ((c >> 1) & 1)], box[4 + ((c >> 2) & 1)]};
    double h[4];
    Transform(m, p, h);
    deepest = std::max(deepest, h[3]);
  }
  if (!(deepest > 0.0)) return -1.0;
  const double depth = deepest * 1.01;
  const double z = alpha + beta / depth;
  return std::isfinite(z) && z > -1.0 && z < 1.0 ? z : 1.0;
}

void Widen(double lo[3], double hi[3], const double p[3]) {
  for (int a = 0; a < 3; ++a) {
    lo[a] = std::min(lo[a], p[a]);
    hi[a] = std::max(hi[a], p[a]);
  }
}

// Outcode of a point against the box: 1 x < xmin, 2 x > xmax, 4 y < ymin,
// 8 y > ymax, 16 z < zmin, 32 z > zmax.
int OutCode(const double p[3], const double box[6]) {
  int code = 0;
  for (int a = 0; a < 3; ++a) {
    if (p[a] < box[2 * a]) code |= 1 << (2 * a);
    if (p[a] > box[2 * a + 1]) code |= 2 << (2 * a);
  }
  return code;
}

// Keeps the part of the polygon on the inner side of the box plane named by
// bit (one of the outcode bits), adding the crossing points of its edges.
std::vector<Point3> ClipPolygon(const std::vector<Point3>& poly, int bit, const double box[6]) {
  int axis = 0;
  while (!((3 << (2 * axis)) & bit)) ++axis;
  const bool isMax = (bit & (2 << (2 * axis))) != 0;
  const double plane = box[2 * axis + (isMax ? 1 : 0)];
  auto inside = [&](const Point3& p) { return isMax ? p.v[axis] <= plane : p.v[axis] >= plane; };

  std::vector<Point3> out;
  const size_t n = poly.size();
  for (size_t i = 0; i < n; ++i) {
    const Point3& prev = poly[(i + n - 1) % n];
    const Point3& cur = poly[i];
    const bool curIn = inside(cur);
    if (curIn != inside(prev)) {
      const double t = (plane - prev.v[axis]) / (cur.v[axis] - prev.v[axis]);
      Point3 x;
      for (int a = 0; a < 3; ++a) x.v[a] = prev.v[a] + t * (cur.v[a] - prev.v[a]);
      x.v[axis] = plane;
      out.push_back(x);
    }
    if (curIn) out.push_back(cur);
  }
  return out;
}

int Alignment(int i, int count, bool mirrored) {
  if (i == 0) return mirrored ? 2 : 0;
  if (i == count) return mirrored ? 0 : 2;
  return 1;
}

// A glyph scale divisor: the range, or the fallback where the range is flat.
double Divisor(double range, double fallback) {
  if (range > 0.0) return range;
  if (fallback > 0.0) return fallback;
  return 1.0;
}

}  // namespace

// --- bounding box ---

int Sd_Node::LayoutBoxLabels(const float bounds[6], short coordinateType, float zScale, float labelWidth,
                             float labelHeight, Sd_BoxLabelLayout* layout) {
  if (!layout) return 0;
  *layout = Sd_BoxLabelLayout();
  layout->format = "%.2f";
  for (int a = 0; a < 3; ++a) layout->count[a] = 5;
  if (!bounds) return 0;

  const double zRange = static_cast<double>(bounds[5]) - bounds[4];
  if (!(zRange >= 0.0001) || coordinateType == SD_COORDS_UNDECIDED || coordinateType == SD_COORDS_SPHERE) return 0;

  layout->geographic = coordinateType == SD_COORDS_GEOGRAPHIC ? 1 : 0;
  layout->format = layout->geographic ? "%.6f" : "%.2f";

  double d[3];
  for (int a = 0; a < 3; ++a) {
    d[a] = static_cast<double>(bounds[2 * a + 1]) - bounds[2 * a];
    if (!std::isfinite(d[a]) || !std::isfinite(bounds[2 * a])) return 0;
    layout->start[a] = bounds[2 * a];
  }
  // The z range that sizes the z labels: in geographic boxes metres become
  // degrees, and the labels follow the vertical exaggeration.
  double dz = d[2];
  if (layout->geographic) dz /= 111000.0;
  dz *= zScale;
  const double dx = std::fabs(d[0]), dy = std::fabs(d[1]);
  dz = std::fabs(dz);
  layout->range[0] = dx;
  layout->range[1] = dy;
  layout->range[2] = dz;

  if (dy <= dx) {
    layout->count[0] = LongSideCount(dx, dy);
  } else {
    layout->count[1] = LongSideCount(dy, dx);
  }

  // Label values follow the data's own ranges; the z values are heights,
  // not the exaggerated range that sizes the glyphs.
  for (int a = 0; a < 3; ++a) {
    layout->step[a] = d[a] / layout->count[a];
    layout->labelAxis[a] = std::fabs(layout->step[a]) >= 1e-9 ? 1 : 0;
  }

  if (!(labelWidth > 0.0f) || !(labelHeight > 0.0f) || !std::isfinite(labelWidth) || !std::isfinite(labelHeight)) {
    return 0;
  }
  const float sx = static_cast<float>(dx / (layout->count[0] - 1) / labelWidth * 0.6);
  const float sy = static_cast<float>(dy / (layout->count[1] - 1) / labelWidth * 0.6);
  const float sz = static_cast<float>(dz / (layout->count[2] - 1) / labelHeight * 0.9);
  layout->scale[0] = sx;
  layout->scale[1] = sy;
  // Scales of flat axes are 0 and do not count for the z labels.
  float smallest = sz;
  if (sx > 0.0f) smallest = std::min(smallest, sx);
  if (sy > 0.0f) smallest = std::min(smallest, sy);
  layout->scale[2] = smallest;
  if (!std::isfinite(smallest)) return 0;
  layout->labelled = 1;
  return 1;
}

void Sd_Node::FormatBoxLabel(const Sd_BoxLabelLayout* layout, int axis, int i, char* text, size_t size) {
  if (!text || size == 0) return;
  text[0] = '\0';
  if (!layout || axis < 0 || axis > 2) return;
  const double value = layout->start[axis] + i * layout->step[axis];
  snprintf(text, size, axis == 2 ? "%.2f" : layout->format, value);
}

void Sd_Node::DrawBoundingBox() {
  if (!m_showBoundingBox) return;
  ApplyDefaultColour();

  glBegin(GL_LINE_LOOP);
  glVertex3f(-0.5f, -0.5f, -0.5f);
  glVertex3f(0.5f, -0.5f, -0.5f);
  glVertex3f(0.5f, 0.5f, -0.5f);
  glVertex3f(-0.5f, 0.5f, -0.5f);
  glEnd();
  glBegin(GL_LINE_LOOP);
  glVertex3f(-0.5f, -0.5f, 0.5f);
  glVertex3f(0.5f, -0.5f, 0.5f);
  glVertex3f(0.5f, 0.5f, 0.5f);
  glVertex3f(-0.5f, 0.5f, 0.5f);
  glEnd();
  glBegin(GL_LINES);
  for (int c = 0; c < 4; ++c) {
    const float x = (c == 1 || c == 2) ? 0.5f : -0.5f;
    const float y = c >= 2 ? 0.5f : -0.5f;
    glVertex3f(x, y, -0.5f);
    glVertex3f(x, y, 0.5f);
  }
  glEnd();

  Sv_HersheyFont* font = GetFont();
  float width = 0.0f, height = 0.0f;
  if (font && font->GetNumGlyphs() > 0) {
    width = font->GetStringWidth(kLabelTemplate, 1.0f);
    height = font->GetHeight(1.0f);
  }
  const float zScale = m_parent ? m_parent->m_scale[2] : m_scale[2];
  Sd_BoxLabelLayout layout;
  LayoutBoxLabels(m_bounds, s_coordinateType, zScale, width, height, &layout);
  if (!layout.labelled) return;
  m_boxTicks[6] = layout.geographic;
  for (int a = 0; a < 3; ++a) m_boxTicks[a] = layout.count[a];

  char text[64];

  // X and y labels: each set is laid out along the front edge of a frame
  // turned about z so that the front edge becomes the edge to label. sign
  // tells whether the frame's x runs with (+1) or against (-1) the labelled
  // axis; against it the alignments are mirrored.
  struct Side {
    int axis;
    float angle;
    int sign;
    bool second;
  };
  const Side sides[4] = {{0, 0.0f, 1, false}, {0, 180.0f, -1, true}, {1, -90.0f, -1, false}, {1, 90.0f, 1, true}};
  for (const Side& side : sides) {
    const int a = side.axis;
    if (side.second && m_boxTicks[3 + a] != 2) continue;
    const int n = layout.count[a];
    // Glyphs keep the data's proportions: along the text by the labelled
    // axis' range, across it by the other horizontal axis' range.
    const double along = Divisor(layout.range[a], layout.range[1 - a]);
    const double across = Divisor(layout.range[1 - a], layout.range[a]);
    const float hScale = static_cast<float>(layout.scale[a] / along);
    const float vScale = static_cast<float>(layout.scale[a] / across);
    glPushMatrix();
    if (side.angle != 0.0f) glRotatef(side.angle, 0.0f, 0.0f, 1.0f);
    glBegin(GL_LINES);
    for (int i = 0; i <= n; ++i) {
      const float p = side.sign * (static_cast<float>(i) / n - 0.5f);
      glVertex3f(p, -0.5f + kTickHalf, -0.5f);
      glVertex3f(p, -0.5f - kTickHalf, -0.5f);
    }
    glEnd();
    if (layout.labelAxis[a]) {
      for (int i = 0; i <= n; ++i) {
        const float p = side.sign * (static_cast<float>(i) / n - 0.5f);
        FormatBoxLabel(&layout, a, i, text, sizeof(text));
        font->DrawString(hScale, vScale, text, p, -kLabelEdge, -0.5f, Alignment(i, n, side.sign < 0), 2, 0);
      }
    }
    glPopMatrix();
  }

  // Z labels stand upright at the front-left corner (and the back-right one
  // in mode 2), turned to face away from the box diagonal.
  const int nz = layout.count[2];
  const bool bothCorners = m_boxTicks[5] == 2;
  const double diagonal = std::sqrt((layout.range[0] * layout.range[0] + layout.range[1] * layout.range[1]) * 0.5);
  const float zh = static_cast<float>(layout.scale[2] / Divisor(diagonal, layout.range[2]));
  const float zv = static_cast<float>(layout.scale[2] / Divisor(layout.range[2], diagonal));
  glBegin(GL_LINES);
  for (int i = 0; i <= nz; ++i) {
    const float z = static_cast<float>(i) / nz - 0.5f;
    glVertex3f(-0.5f - kZTick, -0.5f - kZTick, z);
    glVertex3f(-0.5f + kZTick, -0.5f + kZTick, z);
    if (bothCorners) {
      glVertex3f(0.5f - kZTick, 0.5f - kZTick, z);
      glVertex3f(0.5f + kZTick, 0.5f + kZTick, z);
    }
  }
  glEnd();
  if (layout.labelAxis[2]) {
    for (int corner = 0; corner < (bothCorners ? 2 : 1); ++corner) {
      glPushMatrix();
      if (corner == 0) {
        glTranslatef(-kLabelEdge, -kLabelEdge, 0.0f);
        glRotatef(45.0f, 0.0f, 0.0f, 1.0f);
        glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
      } else {
        glTranslatef(kLabelEdge, kLabelEdge, 0.0f);
        glRotatef(45.0f, 0.0f, 0.0f, 1.0f);
        glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
        glRotatef(180.0f, 0.0f, 0.0f, 1.0f);
      }
      // In both frames the text runs towards the box and up is +z; ending
      // the text at the corner keeps it outside the box.
      for (int i = 0; i <= nz; ++i) {
        const float z = static_cast<float>(i) / nz - 0.5f;
        FormatBoxLabel(&layout, 2, i, text, sizeof(text));
        font->DrawString(zh, zv, text, 0.0f, z, 0.0f, 2, 0, 0);
      }
      glPopMatrix();
    }
  }
}

// --- level of detail ---

float Sd_Node::EstimateScreenSize(const float matrix[16], const float box[6]) {
  if (!matrix || !box) return 1.0f;
  double centre[3], half[3];
  for (int a = 0; a < 3; ++a) {
    centre[a] = (static_cast<double>(box[2 * a]) + box[2 * a + 1]) * 0.5;
    half[a] = (static_cast<double>(box[2 * a + 1]) - box[2 * a]) * 0.5;
  }
  double length[3];
  for (int a = 0; a < 3; ++a) {
    double p0[3] = {centre[0], centre[1], centre[2]};
    double p1[3] = {centre[0], centre[1], centre[2]};
    p0[a] -= half[a];
    p1[a] += half[a];
    double q0[3], q1[3];
    Project(matrix, p0, q0);
    Project(matrix, p1, q1);
    length[a] = std::hypot(q1[0] - q0[0], q1[1] - q0[1]);
  }
  std::sort(length, length + 3);
  const double size = length[2] * length[1] / 4.0;
  // A box the projection cannot size (not finite) counts as filling the view.
  if (!(size <= 1.0)) return 1.0f;
  return static_cast<float>(size);
}

void Sd_Node::ChooseDetailLevel(int* step, int* minStep, float size, int cells, int viewportWidth,
                                int viewportHeight, float factor, unsigned* flags, int mode) {
  const int maxStep = mode == 1 ? 1024 : 128;
  // The coarsest minimum step, reached when the box covers almost nothing.
  const int maxMinStep = 64;
  auto power = [mode](double q) {
    const double l = mode == 1 ? std::log2(1.0 / q) : std::log2(1.0 / std::sqrt(q));
    return l;
  };

  int s;
  // Without cells there is nothing to thin.
  const double q = cells > 0 ? static_cast<double>(factor) * size / cells : 1.0;
  if (q >= 1.0) {
    s = 1;
  } else if (!(q >= 0.0001)) {
    s = maxStep;
  } else {
    const double l = power(q);
    double p = std::exp2(std::floor(l));
    // Half a step between two powers of two; the stride is an integer, so
    // 1.5 is truncated to 1.
    if (std::log2(1.5 * p) < l) p = std::floor(1.5 * p);
    // The largest step bounds every result, so that a smaller box never
    // gets a coarser step than the smallest ones.
    s = p >= maxStep ? maxStep : static_cast<int>(p);
  }

  int least = 1;
  if (minStep) {
    const double q2 =
        cells > 0 ? static_cast<double>(viewportWidth) * size * viewportHeight * 8.0 / cells : 1.0;
    if (q2 >= 1.0) {
      least = 1;
    } else if (!(q2 >= 0.0001)) {
      least = maxMinStep;
    } else {
      const double p = std::exp2(std::floor(power(q2)));
      least = p >= maxMinStep ? maxMinStep : static_cast<int>(p);
    }
    if (s < least) s = least;
    *minStep = least;
  }
  if (step) *step = s;
  if (flags) {
    if (s < maxStep) *flags |= 2u;
    if (s > least) *flags |= 1u;
  }
}

int Sd_Node::NeedsReduction(float size, int gridWidth, int gridHeight, int width, int height, float factor,
                            unsigned* flags) {
  if (static_cast<double>(width) * size * height < 65536.0) return 2;
  const double q = static_cast<double>(factor) * size / (static_cast<double>(gridWidth) * gridHeight / 64.0);
  const int result = q >= 2.0 ? 1 : 0;
  if (flags) *flags |= result ? 2u : 1u;
  return result;
}

void Sd_Node::AlignRangeToStep(int* start, int* end, int step, int maximum) {
  if (!start || !end || step <= 1) return;
  *start -= *start % step;
  const long long raised = static_cast<long long>(*end) + step;
  *end = static_cast<int>(std::min<long long>(raised, maximum));
}

// --- visible box ---

int Sd_Node::ComputeVisibleBox(const float forward[16], const float inverse[16], const float box[6], float out[6]) {
  if (!forward || !inverse || !box || !out) return 0;
  double b[6];
  for (int i = 0; i < 6; ++i) b[i] = box[i];
  double lo[3] = {1e15, 1e15, 1e15};
  double hi[3] = {-1e15, -1e15, -1e15};

  // Box corners in view.
  int inView = 0;
  for (int c = 0; c < 8; ++c) {
    const double p[3] = {b[c & 1], b[2 + ((c >> 1) & 1)], b[4 + ((c >> 2) & 1)]};
    if (InView(forward, p)) {
      Widen(lo, hi, p);
      ++inView;
    }
  }
  auto store = [out](const double l[3], const double h[3]) {
    for (int a = 0; a < 3; ++a) {
      out[2 * a] = static_cast<float>(l[a]);
      out[2 * a + 1] = static_cast<float>(h[a]);
    }
  };
  if (inView == 8) {
    for (int i = 0; i < 6; ++i) out[i] = box[i];
    return 1;
  }

  bool singular = true;
  for (int i = 0; i < 16; ++i) singular = singular && inverse[i] == 0.0f;
  if (singular) {
    for (int i = 0; i < 6; ++i) out[i] = box[i];
    return 1;
  }

  // A box wholly behind the eye has no part in view.
  const double farZ = FarFaceBeyondBox(forward, b);
  if (!(farZ > -1.0)) return 0;

  // Corners of the view cube in data space, with their outcodes; corner c
  // has x = +1 when bit 0 is set, y = +1 for bit 1, z = farZ (the far face)
  // for bit 2.
  Point3 cube[8];
  int code[8];
  for (int c = 0; c < 8; ++c) {
    const double ndc[3] = {(c & 1) ? 1.0 : -1.0, (c & 2) ? 1.0 : -1.0, (c & 4) ? farZ : -1.0};
    Project(inverse, ndc, cube[c].v);
    code[c] = OutCode(cube[c].v, b);
  }
  // The six faces of the view cube, each as a loop of four corners.
  static const int kFaces[6][4] = {{0, 2, 6, 4}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                   {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 5, 7, 6}};
  for (const auto& face : kFaces) {
    int all = 0x3F, any = 0;
    for (int k = 0; k < 4; ++k) {
      all &= code[face[k]];
      any |= code[face[k]];
    }
    if (all) continue;
    std::vector<Point3> poly;
    for (int k = 0; k < 4; ++k) poly.push_back(cube[face[k]]);
    for (int bit = 1; bit <= 32 && !poly.empty(); bit <<= 1) {
      if (any & bit) poly = ClipPolygon(poly, bit, b);
    }
    for (const Point3& p : poly) Widen(lo, hi, p.v);
  }

  for (int a = 0; a < 3; ++a) {
    if (!(lo[a] <= b[2 * a + 1]) || !(hi[a] >= b[2 * a])) return 0;
  }
  for (int a = 0; a < 3; ++a) {
    lo[a] = std::max(lo[a], b[2 * a]);
    hi[a] = std::min(hi[a], b[2 * a + 1]);
  }
  store(lo, hi);
  return 1;
}

// --- the frame's view ---

Sd_DTMView Sd_DTMView::FromGL() {
  Sd_DTMView view;
  glGetFloatv(GL_PROJECTION_MATRIX, view.projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, view.modelview);
  glGetIntegerv(GL_VIEWPORT, view.viewport);
  return view;
}

// --- picking ---

bool Sd_Node::PickInFrame(const SDN_PickIn* request, float point[3]) {
  if (!request || !request->picker) return false;
  Sv_Matrix4 modelView;
  modelView.LoadFromGL();
  return request->picker->SetModelMatrix(modelView) == 0 &&
         request->picker->Pick(static_cast<short>(request->x), static_cast<short>(request->y), &point[0], &point[1],
                               &point[2]) == 0;
}
