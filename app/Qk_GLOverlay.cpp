#include "Qk_GLOverlay.h"

#include <GL/gl.h>

#include <cmath>

#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"

namespace {

const double kDegreesToRadians = 3.141592653589793 / 180.0;
// Distance along the chase direction at which the chase target is placed.
const double kChaseTargetDistance = 100.0;

}  // namespace

Qk_GLOverlay::Qk_GLOverlay()
    : m_workArea(nullptr),
      m_root(nullptr),
      m_movie(nullptr),
      m_viewMatrix(nullptr),
      m_camera(nullptr),
      m_lights(nullptr),
      m_eyeMode(PLACE_NONE),
      m_eyePoint{0.0, 0.0, 0.0},
      m_eyeNode(nullptr),
      m_targetMode(PLACE_NONE),
      m_targetPoint{0.0, 0.0, 0.0},
      m_targetNode(nullptr),
      m_chaseNode(nullptr),
      m_chaseBack(0.0),
      m_chaseUp(0.0),
      m_eyePosition{0.0, 0.0, 0.0},
      m_targetPosition{0.0, 0.0, 0.0},
      m_fixedFrameTime(0.0) {}

Qk_GLOverlay::~Qk_GLOverlay() {}

int Qk_GLOverlay::Reset() { return 1; }
void Qk_GLOverlay::SetViewMatrix(Sv_Matrix4*) {}

Sv_Matrix4 Qk_GLOverlay::GetViewMatrix() {
  Sv_Matrix4 m;
  m.SetIdentity();
  // Before the context exists nothing can be read; the camera is only
  // applied inside frames then anyway.
  if (!m_workArea || !m_workArea->IsInitialised()) return m;
  m_workArea->MakeCurrent();
  GLint mode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  ApplyCamera();
  glMatrixMode(GL_MODELVIEW);
  m.LoadFromGL();
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(mode));
  return m;
}

double Qk_GLOverlay::FrameTime() const {
  if (m_fixedFrameTime > 0.0) return m_fixedFrameTime;
  return m_workArea ? m_workArea->GetFrameTime() : 0.0;
}

void Qk_GLOverlay::RecordFrame() {}
void Qk_GLOverlay::Init(Sv_HersheyFont*) {}
void Qk_GLOverlay::SetExagDisplay(float) {}
void Qk_GLOverlay::Draw() {}
void Qk_GLOverlay::ApplyCamera() {}
double Qk_GLOverlay::ApplyWidgetFrame() { return 1.0; }
int Qk_GLOverlay::PickWidget(int, int, double*, double*, double*) { return 0; }
void Qk_GLOverlay::Start() {}
void Qk_GLOverlay::Stop() {}
int Qk_GLOverlay::MousePress(Qk_GLEventRecord*) { return 0; }
int Qk_GLOverlay::MouseDoubleClick(Qk_GLEventRecord*) { return 0; }
int Qk_GLOverlay::MouseMove(Qk_GLEventRecord*) { return 0; }
int Qk_GLOverlay::MouseRelease(Qk_GLEventRecord*) { return 0; }
void Qk_GLOverlay::Wheel(Qk_GLEventRecord*) {}
void Qk_GLOverlay::KeyPress(Qk_GLEventRecord*) {}
void Qk_GLOverlay::KeyRelease(Qk_GLEventRecord*) {}
void Qk_GLOverlay::Enter() {}
void Qk_GLOverlay::Leave() {}
void Qk_GLOverlay::IdleStep() {}
void Qk_GLOverlay::ScrollBarMouseDown(QWidget*, int, int, int) {}
void Qk_GLOverlay::ScrollBarMouseMotion(QWidget*, int, int, int) {}
void Qk_GLOverlay::ScrollBarMouseUp(QWidget*, int, int, int) {}
void Qk_GLOverlay::ScrollBarArrowPress(QWidget*, int, int, int) {}
void Qk_GLOverlay::VertExagChanged() {}

void Qk_GLOverlay::FitView() {}

void Qk_GLOverlay::DrawBeforePass() {}

void Qk_GLOverlay::UpdatePlacement() {
  if (m_eyeMode == PLACE_POINT) {
    for (int i = 0; i < 3; ++i) m_eyePosition[i] = m_eyePoint[i];
  } else if (m_eyeMode == PLACE_NODE && m_eyeNode) {
    m_eyeNode->GetCentre(m_eyePosition);
  }

  if (m_targetMode == PLACE_POINT) {
    for (int i = 0; i < 3; ++i) m_targetPosition[i] = m_targetPoint[i];
  } else if (m_targetMode == PLACE_NODE && m_targetNode) {
    m_targetNode->GetCentre(m_targetPosition);
  } else if (m_targetMode == PLACE_CHASE && m_chaseNode) {
    // Behind and above the chase node, looking along its heading.
    double angles[3] = {0.0, 0.0, 0.0};
    m_chaseNode->GetRotationAngles(angles);
    const double a = angles[0] * kDegreesToRadians;
    const double b = angles[1] * kDegreesToRadians;
    const double c = angles[2] * kDegreesToRadians;
    const double forward[3] = {-std::sin(b), std::sin(a) * std::cos(b), std::cos(a) * std::cos(b)};
    const double up[3] = {std::cos(b) * std::sin(c), std::cos(a) * std::cos(c) + std::sin(a) * std::sin(b) * std::sin(c),
                          -std::sin(a) * std::cos(c) + std::cos(a) * std::sin(b) * std::sin(c)};
    for (int i = 0; i < 3; ++i) {
      m_eyePosition[i] = m_eyePosition[i] - m_chaseBack * forward[i] + m_chaseUp * up[i];
      m_targetPosition[i] = m_eyePosition[i] + kChaseTargetDistance * forward[i];
    }
  }
}

void Qk_GLOverlay::SetSceneContext(Sd_Node* root, Movie* movie, Sv_Matrix4* viewMatrix, Sv_Perspective* camera,
                                   Sv_Lighting* lights) {
  m_root = root;
  m_movie = movie;
  m_viewMatrix = viewMatrix;
  m_camera = camera;
  m_lights = lights;
}

void Qk_GLOverlay::ForgetSceneNodes() {
  m_root = nullptr;
  m_eyeNode = nullptr;
  m_targetNode = nullptr;
  m_chaseNode = nullptr;
}

void Qk_GLOverlay::SetPlacement(const Qk_OverlayPlacement* placement) {
  if (!placement) return;
  if (placement->selector == 0) {
    m_eyeMode = placement->mode;
    if (placement->mode == PLACE_POINT) SetEyePoint(placement->x, placement->y, placement->z);
    if (placement->mode == PLACE_NODE) m_eyeNode = placement->node;
    return;
  }
  m_targetMode = placement->mode;
  if (placement->mode == PLACE_POINT) SetTargetPoint(placement->x, placement->y, placement->z);
  if (placement->mode == PLACE_NODE) m_targetNode = placement->node;
  if (placement->mode == PLACE_CHASE) m_chaseNode = placement->node;
}

void Qk_GLOverlay::SetEyePoint(double x, double y, double z) {
  m_eyePoint[0] = x;
  m_eyePoint[1] = y;
  m_eyePoint[2] = z;
}

void Qk_GLOverlay::SetTargetPoint(double x, double y, double z) {
  m_targetPoint[0] = x;
  m_targetPoint[1] = y;
  m_targetPoint[2] = z;
}
