// The work area's scene files: a whole view (settings, camera, view matrix
// and tree) read into a detached tree and applied only when it was good.
#include <cmath>
#include <cstdio>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Qk_WorkAreaScene.h"
#include "Sd_Node.h"
#include "Sd_SceneFile.h"
#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"
#include "TDR_Manager.h"

namespace {

bool Positive(float v) { return std::isfinite(v) && v > 0.0f; }

bool FiniteMatrix(const float m[16]) {
  for (int i = 0; i < 16; ++i) {
    if (!std::isfinite(m[i])) return false;
  }
  return true;
}

}  // namespace

int Qk_WorkAreaScene::LoadScene(const char* name) {
  if (!name) return -1;
  if (!m_camera) {
    // Before GL has started there is no camera to give the view to.
    Sv_Debug::Message(SV_LEVEL_DEBUG, "No scene to load into", name);
    return -1;
  }
  // Objects may make GL resources of this view while they load.
  m_area->MakeCurrent();
  Sd_SceneSettings s;
  Sd_Node* top = Sd_SceneFile::Read(name, &s);
  if (!top) return -1;

  m_area->AdoptScene(top);
  // The scene brings its own exaggeration (the root's z scale). The overlay
  // hears of it before it takes the view: the view's orbit centre was
  // stored for that exaggeration and must not be rescaled from the one
  // before. The next bounds computation keeps it.
  m_exaggerationChosen = 1;
  SetVertExag(GetVertExag());
  // Values that would poison the camera or every transform are passed
  // over; the camera refuses bad clip planes and base scales itself.
  if (!s.oldLayout) {
    m_camera->SetClipPlanes(s.nearScale, s.farClip);
    if (Positive(s.globalScale)) SetGlobalScale(s.globalScale);
  }
  if (s.hasCameraBaseScale) m_camera->SetBaseScale(s.cameraBaseScale);
  if (FiniteMatrix(s.viewMatrix)) {
    Sv_Matrix4 view;
    float* data = view.GetData();
    for (int i = 0; i < 16; ++i) data[i] = s.viewMatrix[i];
    SetViewMatrix(&view);
  }
  Sd_Node::SetCoordinateType(s.coordinateType);
  if (Positive(s.baseScaleValue)) Sd_Node::SetGlobalScaleTarget(&m_globalScale, s.baseScaleValue);
  Sd_Node::SetAspectMode(s.aspectMode);

  m_area->ResetSelection();
  m_area->UpdateGL();
  return 0;
}

int Qk_WorkAreaScene::SaveScene(const char* name) {
  if (!name || !m_root || !m_camera || !m_viewMatrix) return -1;
  TDR_Manager manager;
  if (manager.OpenFile(name, "wb") != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Qk_GLWorkArea::SaveScene: Failed to open TDR file:", name);
    return -1;
  }
  Sd_SceneSettings s;
  s.aspectMode = Sd_Node::GetAspectMode();
  s.coordinateType = Sd_Node::GetCoordinateType();
  float clip[2];
  m_camera->GetClipPlanes(clip);
  s.nearScale = clip[0];
  s.farClip = clip[1];
  s.globalScale = m_globalScale;
  s.baseScaleValue = Sd_Node::GetGlobalScaleBase();
  // The view on screen: the overlay's camera may have moved since it last
  // handed its matrix over (that happens when exploring ends).
  if (Qk_GLOverlay* overlay = m_area->GetOverlay()) *m_viewMatrix = overlay->GetViewMatrix();
  const float* view = m_viewMatrix->GetData();
  for (int i = 0; i < 16; ++i) s.viewMatrix[i] = view[i];
  s.cameraBaseScale = m_camera->GetBaseScale();

  // A scene cut short would read as a damaged file: the old one stays.
  if (Sd_SceneFile::WriteTo(&manager, s, m_root) != 0) {
    manager.DiscardFile();
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Qk_GLWorkArea::SaveScene: Failed to write TDR file:", name);
    return -1;
  }
  if (manager.CloseFile() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Qk_GLWorkArea::SaveScene: Failed to write TDR file:", name);
    return -1;
  }
  return 0;
}
