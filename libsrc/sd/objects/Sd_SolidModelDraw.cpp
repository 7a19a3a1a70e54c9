// Solid models: the whole and progressive drawing passes and picking.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "Sd_SolidModel.h"
#include "Sv_Debug.h"
#include "Sv_Lighting.h"
#include "Sv_Matrix4.h"

namespace {

const float kUnitBox[6] = {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f};
// Smallest bounds range the progressive pass draws.
constexpr double kMinStepRange = 1e-7;
// Largest shininess OpenGL takes.
constexpr int kMaxShininess = 128;
// How far outside the unit box an un-projected pick may land and still
// count: the model's outermost faces lie on the box, and depth read back
// from the buffer is not exact.
constexpr float kPickTolerance = 0.01f;

// Whether every bounds range is positive (any range at all).
constexpr double kAnyRange = std::numeric_limits<double>::denorm_min();

}  // namespace

void Sd_SolidModel::ApplyModelTransform() {
  if (m_compensate && m_parent) {
    const float* s = m_parent->GetScale('z');
    if (s && *s != 0.0f && std::isfinite(1.0f / *s)) glScalef(1.0f, 1.0f, 1.0f / *s);
  }
  ApplyTransform();
}

bool Sd_SolidModel::VisibleInView(bool chooseStep) {
  const Sd_DTMView view = FrameState().CurrentView();
  float pm[16], inverse[16], visible[6];
  MultMatrix4(pm, view.projection, view.modelview);
  InvertMatrix4(inverse, pm);
  if (!ComputeVisibleBox(pm, inverse, kUnitBox, visible)) return false;
  if (!chooseStep) return true;
  const float budget = GetDetailBudget();
  if (m_levelOfDetail && budget != 0.0f && m_mesh.faceCount > 0) {
    unsigned flags = GetDetailFlags();
    ChooseDetailLevel(&m_detailStep, nullptr, EstimateScreenSize(pm, visible), m_mesh.faceCount, view.viewport[2],
                      view.viewport[3], budget, &flags, 1);
    SetDetailFlags(flags);
    if (m_detailStep < 1) m_detailStep = 1;
  } else {
    m_detailStep = 1;
  }
  return true;
}

void Sd_SolidModel::BeginSurfaces() {
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
  if (m_alpha != 255) EnableBlending(m_alpha);
}

void Sd_SolidModel::EndSurfaces() {
  // Unconditional: the alpha may have changed since blending went on.
  DisableBlending();
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
  if (Sv_Lighting* lights = GetLighting()) {
    lights->SetLighting(0);
  } else {
    glDisable(GL_LIGHTING);
  }
}

void Sd_SolidModel::ApplyMaterial(int m) {
  const Material& mat = m_mesh.materials[m];
  float ambient[4], diffuse[4], specular[4];
  for (int k = 0; k < 4; ++k) {
    ambient[k] = mat.ambient[k] / 255.0f;
    diffuse[k] = mat.diffuse[k] / 255.0f;
    specular[k] = mat.specular[k] / 255.0f;
  }
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
  glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp<int>(mat.shininess, 0, kMaxShininess));
  m_currentMaterial = m;
}

void Sd_SolidModel::EmitFaces(int first, int end, int step) {
  if (!m_mesh.faces || !m_normalised || step < 1) return;
  m_currentMaterial = -1;
  glBegin(GL_TRIANGLES);
  for (int i = first; i < end; i += step) {
    const Face& f = m_mesh.faces[i];
    if (f.material != m_currentMaterial) ApplyMaterial(f.material);
    const bool textured = (m_mesh.materials[f.material].flags & 1) != 0;
    const int corners[3] = {f.a, f.b, f.c};
    for (int k = 0; k < 3; ++k) {
      glNormal3fv(&m_mesh.normals[f.normal[k]].x);
      const unsigned short t = f.texture[k];
      if (textured && t != kNoTexture) glTexCoord2fv(&m_mesh.texCoords[t].u);
      glVertex3fv(&m_normalised[corners[k]].x);
    }
  }
  glEnd();
}

void Sd_SolidModel::Render() {
  if (!HasVolume(kAnyRange)) return;
  glPushMatrix();
  ApplyModelTransform();
  DrawBoundingBox();
  Sv_Lighting* lights = GetLighting();
  if (!lights) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR:  Required light manager for rendering not defined!");
    glPopMatrix();
    return;
  }
  lights->SetLighting(1);
  BeginSurfaces();
  if (VisibleInView(true)) EmitFaces(0, m_mesh.faceCount, m_detailStep);
  EndSurfaces();
  glPopMatrix();
}

void Sd_SolidModel::CloseStepPass() {
  if (!m_matrixPushed) return;
  glPopMatrix();
  m_matrixPushed = 0;
  EndSurfaces();
}

int Sd_SolidModel::StepRender() {
  if (GetRedrawPending()) {
    CloseStepPass();
    SetDrawn(0);
    m_stage = 0;
    SetRedrawPending(0);
    return 0;
  }
  if (m_stage == 0) {
    if (m_mesh.faceCount <= 0 || !HasVolume(kMinStepRange)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Returning because no GEO_REF Information!");
      SetDrawn(1);
      return 1;
    }
    if (!GetLighting()) {
      SetDrawn(1);
      return 1;
    }
    glPushMatrix();
    m_matrixPushed = 1;
    ApplyModelTransform();
    DrawBoundingBox();
    SetDrawn(0);
    BeginSurfaces();
    if (VisibleInView(false)) {
      m_stepCursor = 0;
      m_stage = 1;
    } else {
      m_stage = 2;
    }
    return 0;
  }
  if (m_stage == 1) {
    // The mesh may have been released since the pass began.
    const int end = std::min(m_mesh.faceCount, m_stepCursor + kFacesPerStep);
    glEnable(GL_LIGHTING);
    EmitFaces(m_stepCursor, end, 1);
    glDisable(GL_LIGHTING);
    m_stepCursor = end;
    if (m_stepCursor >= m_mesh.faceCount) m_stage = 2;
    return 0;
  }
  CloseStepPass();
  SetDrawn(1);
  m_stage = 0;
  return 1;
}

int Sd_SolidModel::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  if (!request || !request->picker || m_mesh.faceCount <= 0 || !HasVolume(kAnyRange)) return 0;
  glPushMatrix();
  ApplyModelTransform();
  float p[3] = {0, 0, 0};
  const bool picked = PickInFrame(request, p);
  glPopMatrix();
  if (!picked) return 0;
  for (float& v : p) {
    if (!(std::fabs(v) <= 0.5f + kPickTolerance)) return 0;
    v = std::clamp(v, -0.5f, 0.5f);
  }
  if (out) {
    out->x = (p[0] + 0.5) * (static_cast<double>(m_bounds[1]) - m_bounds[0]) + m_bounds[0];
    out->y = (p[1] + 0.5) * (static_cast<double>(m_bounds[3]) - m_bounds[2]) + m_bounds[2];
    out->z = (p[2] + 0.5) * (static_cast<double>(m_bounds[5]) - m_bounds[4]) + m_bounds[4];
    out->pointIndex = -1;
    out->node = this;
    out->found = 1;
  }
  return 1;
}
