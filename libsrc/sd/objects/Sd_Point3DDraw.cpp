// 3-D point sets: the whole and progressive drawing passes.
#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "Sd_Point3D.h"
#include "Sv_Debug.h"
#include "Sv_Glyphs.h"
#include "Sv_HersheyFont.h"
#include "Sv_Matrix4.h"

namespace {

const float kUnitBox[6] = {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f};

// Labels start just right of the unit symbol.
constexpr float kLabelX = 0.61f;

bool Shaded(int code) { return code >= Sd_Point3D::kCube && code <= Sd_Point3D::kSphere; }

}  // namespace

bool Sd_Point3D::Drawable() const {
  if (m_count <= 0 || !m_points) return false;
  for (int a = 0; a < 3; ++a) {
    if (!(m_pointBounds[2 * a + 1] - m_pointBounds[2 * a] >= 1e-7)) return false;
  }
  return true;
}

void Sd_Point3D::Normalise(int i, float out[3]) const {
  const Position& p = m_points[i];
  out[0] = static_cast<float>((p.x - m_pointCentre[0]) / m_pointExtent[0]);
  out[1] = static_cast<float>((p.y - m_pointCentre[1]) / m_pointExtent[1]);
  out[2] = static_cast<float>((p.z - m_pointCentre[2]) / m_pointExtent[2] + m_zOffset);
}

bool Sd_Point3D::VisibilityTest() {
  const Sd_DTMView view = FrameState().CurrentView();
  float combined[16], inverse[16];
  MultMatrix4(combined, view.projection, view.modelview);
  InvertMatrix4(inverse, combined);
  if (!ComputeVisibleBox(combined, inverse, kUnitBox, m_screenBox)) return false;
  const float budget = GetDetailBudget();
  if (m_lodOn && budget != 0.0f && m_count > 0) {
    const float size = EstimateScreenSize(combined, m_screenBox);
    unsigned flags = GetDetailFlags();
    ChooseDetailLevel(&m_detailStep, nullptr, size, m_count, 0, 0, budget, &flags, 1);
    SetDetailFlags(flags);
  }
  return true;
}

void Sd_Point3D::DrawPoint(int i) {
  if (i < 0 || i >= m_count || !m_points) return;
  if (m_coloursStale) UpdatePointColours();
  float p[3];
  Normalise(i, p);
  const float* s = m_symbolScale;
  // Unlabelled symbols more than a symbol size outside the visible box are
  // left out (a point that is not a number is never inside).
  if (!m_labelFlag) {
    for (int a = 0; a < 3; ++a) {
      if (!(p[a] >= m_screenBox[2 * a] - s[a] && p[a] <= m_screenBox[2 * a + 1] + s[a])) return;
    }
  }
  const unsigned c = ((m_colourMode == 1 || m_colourMode == 2) && m_pointColours) ? m_pointColours[i] : m_colour;
  const unsigned char rgb[3] = {static_cast<unsigned char>(ColourRed(c)), static_cast<unsigned char>(ColourGreen(c)),
                                static_cast<unsigned char>(ColourBlue(c))};
  glPushMatrix();
  glTranslatef(p[0], p[1], p[2]);
  glScalef(s[0], s[1], s[2]);
  const char* label = m_labelFlag ? m_labels.Get(i) : nullptr;
  if (label && m_font && m_showLabels && m_symbolFactor > 0.0f) {
    glColor3ubv(rgb);
    const float scale = m_labelSize * 100.0f / m_symbolFactor;
    m_font->DrawString(scale, scale, label, kLabelX, 0.0f, 0.0f, 0, 0, 0);
  }
  switch (m_symbolCode) {
    case kCircle:
      DrawCircleGlyph(rgb);
      break;
    case kSquare:
      DrawSquareGlyph(rgb);
      break;
    case kCross:
      DrawCrossGlyph(rgb);
      break;
    case kCube:
      DrawShadedCubeGlyph(rgb);
      break;
    case kDiamond:
      DrawShadedDiamondGlyph(rgb);
      break;
    case kCylinder:
      DrawShadedCylinderGlyph(rgb);
      break;
    case kSphere:
      DrawShadedSphereGlyph(rgb);
      break;
    case kGLPoint:
      DrawPointGlyph(rgb);
      break;
    default:
      break;  // labels only
  }
  glPopMatrix();
}

int Sd_Point3D::DrawPoints(int first, int end, int stride, int maxCount) {
  if (stride < 1) stride = 1;
  end = std::min(end, m_count);
  if (m_coloursStale) UpdatePointColours();
  const bool shaded = Shaded(m_symbolCode);
  const bool glPoints = m_symbolCode == kGLPoint;
  GLfloat oldSize = 1.0f;
  if (glPoints) {
    // Points never thinner than a pixel; the size is put back afterwards,
    // so that other objects drawn between two steps keep theirs.
    glGetFloatv(GL_POINT_SIZE, &oldSize);
    const float size = m_symbolFactor / 0.02f;
    glPointSize(size >= 1.0f ? size : 1.0f);
  }
  if (shaded) glEnable(GL_CULL_FACE);
  long long i = first;
  for (int drawn = 0; i < end && drawn < maxCount; i += stride, ++drawn) DrawPoint(static_cast<int>(i));
  if (shaded) glDisable(GL_CULL_FACE);
  if (glPoints) glPointSize(oldSize);
  return i < end ? static_cast<int>(i) : end;
}

void Sd_Point3D::Render() {
  if (!Drawable()) return;
  // The exaggeration may have changed since the last frame.
  SetSymbolSize(m_symbolFactor);
  glPushMatrix();
  ApplyTransform();
  DrawBoundingBox();
  if (VisibilityTest()) DrawPoints(0, m_count, m_detailStep, INT_MAX);
  glPopMatrix();
}

void Sd_Point3D::CloseStepPass() {
  if (m_matrixPushed) glPopMatrix();
  m_matrixPushed = 0;
  m_stepStage = 0;
}

int Sd_Point3D::StepRender() {
  if (GetRedrawPending()) {
    CloseStepPass();
    SetDrawn(0);
    SetRedrawPending(0);
    return 0;
  }
  if (m_stepStage == 0) {
    if (!Drawable()) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Returning because no GEO_REF Information!");
      return 1;
    }
    SetSymbolSize(m_symbolFactor);
    SetDrawn(0);
    glPushMatrix();
    m_matrixPushed = 1;
    ApplyTransform();
    DrawBoundingBox();
    if (!VisibilityTest()) {
      m_stepStage = 2;
      return 0;
    }
    m_stepCursor = 0;
    m_stepStride = GetBestPass() ? 1 : std::max(1, m_detailStep / 2);
    m_stepStage = 1;
    return 0;
  }
  if (m_stepStage == 1) {
    // The points may have been released since the pass began.
    m_stepCursor = DrawPoints(m_stepCursor, m_count, m_stepStride, kPointsPerStep);
    if (m_stepCursor >= m_count) m_stepStage = 2;
    return GetDrawn();
  }
  CloseStepPass();
  SetDrawn(1);
  return 1;
}
