// The work area's scene: bounds, coordinate type and default exaggeration.
#include "Qk_WorkAreaScene.h"

#include <cmath>

#include "Qk_GLWorkArea.h"
#include "Sd_Iterator.h"
#include "Sd_Node.h"
#include "Sv_Debug.h"
#include "Sv_Geo.h"

namespace {

// Type ids of nodes that hold no data of their own: the alignment group and
// type 39.
const int kAlignmentType = 3;
const int kNoDataType = 39;
// A spherical terrain model.
const int kSphereType = 14;
// Narrowest scene extent in x and y that can be fitted.
const double kMinExtent = 1e-6;

}  // namespace

void Qk_WorkAreaScene::ComputeSceneBounds() {
  if (!m_root) return;

  bool hasData = false;
  {
    Sd_Iterator it(m_root);
    for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
      if (n->GetType() != kAlignmentType && n->GetType() != kNoDataType) {
        hasData = true;
        break;
      }
    }
  }

  const float exaggeration = GetVertExag();
  m_root->ComputeBounds();

  const float* x = m_root->GetBounds(0);
  const float* y = m_root->GetBounds(1);
  const double dx = static_cast<double>(x[1]) - x[0];
  const double dy = static_cast<double>(y[1]) - y[0];
  // Written so that a NaN extent counts as too narrow.
  if (!(dx >= kMinExtent) || !(dy >= kMinExtent)) {
    if (hasData) Sv_Debug::Message(SV_LEVEL_WARNING, "The current scene has invalid bounding coordinates.");
    return;
  }

  if (Sd_Node::GetCoordinateType() == SD_COORDS_UNDECIDED) {
    Sd_Node::SetCoordinateType(static_cast<short>(DetectCoordinateType()));
  }

  m_root->FitToScene(nullptr, 1);

  if (Sd_Node::GetCoordinateType() == SD_COORDS_SPHERE) {
    SetVertExag(1.0f);
    m_exaggerationChosen = 1;
  } else if (!m_exaggerationChosen) {
    SetVertExag(Qk_GLWorkArea::kDefaultExaggeration);
    m_exaggerationChosen = 1;
  } else {
    // The fit has reset the root's z scale; the exaggeration in force
    // stays, and the overlay and the main window hear of it again.
    SetVertExag(exaggeration);
  }
  emit m_area->GeoReferencedSG();
}

int Qk_WorkAreaScene::DetectCoordinateType() {
  if (!m_root) return SD_COORDS_PROJECTED;
  const float* x = m_root->GetBounds(0);
  const float* y = m_root->GetBounds(1);
  if (Sv_Geo::GetCoordinateKind(x[0], x[1], y[0], y[1]) != Sv_Geo::kGeographic) return SD_COORDS_PROJECTED;
  Sd_Iterator it(m_root);
  for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
    if (n->GetType() == kSphereType) return SD_COORDS_SPHERE;
  }
  return SD_COORDS_GEOGRAPHIC;
}

int Qk_WorkAreaScene::GetSceneBox(double corners[8][3]) const {
  if (!m_root) return 0;
  const double kDegreesToRadians = 0.017453292519943295;
  // The root draws its children in its unit box under its transform:
  // translate, rotate about x, y and z, scale; the frame scales it all by
  // the global scale.
  const float* position = m_root->GetPosition('x');
  const float* rotation = m_root->GetRotation('x');
  const float* scale = m_root->GetScale('x');
  for (int c = 0; c < 8; ++c) {
    double p[3];
    for (int a = 0; a < 3; ++a) p[a] = ((c >> a) & 1 ? 0.5 : -0.5) * scale[a];
    // Rotations applied to the point in the reverse order of the calls:
    // about z first, then y, then x.
    for (int axis = 2; axis >= 0; --axis) {
      const double angle = rotation[axis] * kDegreesToRadians;
      const double cs = std::cos(angle), sn = std::sin(angle);
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      const double pu = p[u] * cs - p[v] * sn;
      const double pv = p[u] * sn + p[v] * cs;
      p[u] = pu;
      p[v] = pv;
    }
    for (int a = 0; a < 3; ++a) {
      corners[c][a] = (p[a] + position[a]) * m_globalScale;
      if (!std::isfinite(corners[c][a])) return 0;
    }
  }
  return 1;
}
