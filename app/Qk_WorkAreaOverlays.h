#ifndef QK_WORKAREAOVERLAYS_H
#define QK_WORKAREAOVERLAYS_H

#include "Qk_WorkAreaPart.h"

class Qk_GLOverlay;
class Qk_GLWorkArea;

// The screen overlays of the work area: the current one (input, camera,
// idle steps) and the one it displaced, which a later install can bring
// back. Both are owned; both get the scene context of the work area.
class Qk_WorkAreaOverlays : private Qk_WorkAreaPart {
 public:
  // A plain overlay, its owning widget set to the work area.
  explicit Qk_WorkAreaOverlays(Qk_GLWorkArea* area);
  // Deletes the current and the displaced overlay.
  ~Qk_WorkAreaOverlays();

  // The work area's InstallOverlay and ReplaceOverlay.
  int InstallOverlay(Qk_GLOverlay* overlay);
  int ReplaceOverlay(Qk_GLOverlay* overlay);
  Qk_GLOverlay* GetOverlay() const { return m_overlay; }
  Qk_GLOverlay* GetDisplacedOverlay() const { return m_displacedOverlay; }
  // 0: the idle steps do nothing at all (neither the overlay's nor the
  // renderer's).
  void SetOverlayIdle(int on) { m_overlayIdle = on; }
  int GetOverlayIdle() const { return m_overlayIdle; }

  // Hands the work area's scene context to both overlays.
  void ShareSceneContext();
  // Both overlays drop their pointers into the scene tree.
  void ForgetSceneNodes();

 private:
  // The last steps of an install: overlay (already current) gets the work
  // area, the scene context, Start, the font and the camera (Reset on the
  // first install, else the view matrix); then a redraw.
  void ActivateOverlay(Qk_GLOverlay* overlay);
  void GiveSceneContext(Qk_GLOverlay* overlay);

  Qk_GLOverlay* m_overlay;
  Qk_GLOverlay* m_displacedOverlay;
  int m_overlayIdle;
  int m_firstInstall;
};

#endif
