#include "Sv_Lighting.h"

#include <GL/gl.h>

namespace {

Sv_Lighting* g_lighting = nullptr;

void Set4(float* out, float r, float g, float b, float a) {
  out[0] = r;
  out[1] = g;
  out[2] = b;
  out[3] = a;
}

}  // namespace

Sv_Lighting::Sv_Lighting() : m_lighting(0), m_colorMaterial(0) {
  Set4(m_modelAmbient, 0.2f, 0.2f, 0.2f, 1.0f);
  for (int i = 0; i < kMaxLights; ++i) {
    Light& l = m_lights[i];
    l.defined = 0;
    // OpenGL's initial values: light 0 is white, the others black; all
    // shine along -z from a direction at +z.
    const float d = i == 0 ? 1.0f : 0.0f;
    Set4(l.ambient, 0.0f, 0.0f, 0.0f, 1.0f);
    Set4(l.diffuse, d, d, d, 1.0f);
    Set4(l.position, 0.0f, 0.0f, 1.0f, 0.0f);
  }
}

Sv_Lighting::~Sv_Lighting() {
  if (g_lighting == this) g_lighting = nullptr;
}

void Sv_Lighting::SetLightModelAmbient(float r, float g, float b, float a) { Set4(m_modelAmbient, r, g, b, a); }

int Sv_Lighting::SetLightParam(int light, int param, float r, float g, float b, float a) {
  if (light < 1 || light > kMaxLights) return -1;
  Light& l = m_lights[light - 1];
  switch (param) {
    case SV_LIGHT_AMBIENT: Set4(l.ambient, r, g, b, a); break;
    case SV_LIGHT_DIFFUSE: Set4(l.diffuse, r, g, b, a); break;
    case SV_LIGHT_POSITION: Set4(l.position, r, g, b, a); break;
    default: return -1;
  }
  l.defined = 1;
  return 0;
}

void Sv_Lighting::Apply() {
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, m_modelAmbient);
  for (int i = 0; i < kMaxLights; ++i) {
    const Light& l = m_lights[i];
    if (!l.defined) continue;
    const GLenum id = GLenum(GL_LIGHT0 + i);
    glLightfv(id, GL_AMBIENT, l.ambient);
    glLightfv(id, GL_DIFFUSE, l.diffuse);
    glLightfv(id, GL_POSITION, l.position);
    glEnable(id);
  }
}

int Sv_Lighting::ApplyLightPosition(int light, int param) {
  if (light < 1 || light > kMaxLights) return -1;
  const Light& l = m_lights[light - 1];
  if (!l.defined) return -1;
  const GLenum id = GLenum(GL_LIGHT0 + light - 1);
  switch (param) {
    case SV_LIGHT_AMBIENT: glLightfv(id, GL_AMBIENT, l.ambient); break;
    case SV_LIGHT_DIFFUSE: glLightfv(id, GL_DIFFUSE, l.diffuse); break;
    case SV_LIGHT_POSITION: glLightfv(id, GL_POSITION, l.position); break;
    default: return -1;
  }
  return 0;
}

void Sv_Lighting::SetLighting(int on) {
  m_lighting = on;
  if (on == 1) {
    glEnable(GL_LIGHTING);
  } else {
    glDisable(GL_LIGHTING);
  }
}

void Sv_Lighting::SetColorMaterial(int on) {
  m_colorMaterial = on;
  if (on == 1) {
    glEnable(GL_COLOR_MATERIAL);
  } else {
    glDisable(GL_COLOR_MATERIAL);
  }
}

int Sv_Lighting::IsLightDefined(int light) const {
  if (light < 1 || light > kMaxLights) return 0;
  return m_lights[light - 1].defined;
}

Sv_Lighting* Sv_Lighting::GetGlobal() { return g_lighting; }

void Sv_Lighting::SetGlobal(Sv_Lighting* lighting) { g_lighting = lighting; }
