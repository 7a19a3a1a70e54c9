// The work area's overlays: installing, replacing and handing them the
// scene.
#include "Qk_WorkAreaOverlays.h"

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"

Qk_WorkAreaOverlays::Qk_WorkAreaOverlays(Qk_GLWorkArea* area)
    : Qk_WorkAreaPart(area), m_overlay(new Qk_GLOverlay()), m_displacedOverlay(nullptr), m_overlayIdle(1), m_firstInstall(1) {
  m_overlay->SetWorkArea(area);
}

Qk_WorkAreaOverlays::~Qk_WorkAreaOverlays() {
  Qk_GLOverlay* current = m_overlay;
  Qk_GLOverlay* displaced = m_displacedOverlay;
  m_overlay = nullptr;
  m_displacedOverlay = nullptr;
  if (displaced != current) delete displaced;
  delete current;
}

int Qk_WorkAreaOverlays::InstallOverlay(Qk_GLOverlay* overlay) {
  if (!overlay) return -1;
  // Displacing the current overlay by itself would make it both current and
  // displaced, and the next install would delete it while in use.
  if (overlay == m_overlay) return 0;
  if (m_displacedOverlay && m_displacedOverlay != overlay) delete m_displacedOverlay;
  m_displacedOverlay = m_overlay;
  if (m_displacedOverlay) m_displacedOverlay->Stop();

  m_overlay = overlay;
  ActivateOverlay(overlay);
  return 0;
}

int Qk_WorkAreaOverlays::ReplaceOverlay(Qk_GLOverlay* overlay) {
  if (!overlay) return -1;
  if (overlay == m_overlay || overlay == m_displacedOverlay || !m_overlay) return InstallOverlay(overlay);
  Qk_GLOverlay* old = m_overlay;
  old->Stop();
  m_overlay = overlay;
  delete old;
  ActivateOverlay(overlay);
  return 0;
}

void Qk_WorkAreaOverlays::ActivateOverlay(Qk_GLOverlay* overlay) {
  overlay->SetWorkArea(m_area);
  GiveSceneContext(overlay);
  overlay->Start();
  Sd_Node::InitHersheyFont();
  overlay->Init(Sd_Node::GetFont());
  if (m_firstInstall) {
    overlay->Reset();
  } else {
    overlay->SetViewMatrix(m_area->GetViewMatrix());
  }
  m_firstInstall = 0;
  m_area->UpdateGL();
}

void Qk_WorkAreaOverlays::GiveSceneContext(Qk_GLOverlay* overlay) {
  overlay->SetSceneContext(m_area->GetRoot(), m_area->GetMovie(), m_area->GetViewMatrix(), m_area->GetCamera(),
                           m_area->GetLights());
}

void Qk_WorkAreaOverlays::ShareSceneContext() {
  if (m_overlay) GiveSceneContext(m_overlay);
  if (m_displacedOverlay && m_displacedOverlay != m_overlay) GiveSceneContext(m_displacedOverlay);
}

void Qk_WorkAreaOverlays::ForgetSceneNodes() {
  if (m_overlay) m_overlay->ForgetSceneNodes();
  if (m_displacedOverlay) m_displacedOverlay->ForgetSceneNodes();
}
