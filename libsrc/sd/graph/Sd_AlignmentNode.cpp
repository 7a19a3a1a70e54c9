#include "Sd_AlignmentNode.h"

#include <GL/gl.h>

#include <cfloat>
#include <cmath>

#include "TDR_GeoRef.h"
#include "TDR_Tags.h"

namespace {

// Metres per degree of latitude, to compare heights with geographic extents.
const double kMetresPerDegree = 111000.0;

// a / b when both are positive and the quotient is usable; 1 otherwise, so
// that an axis on which the scene is flat keeps its scale.
double SafeRatio(double a, double b) {
  if (!(a > 0.0) || !(b > 0.0)) return 1.0;
  const double r = a / b;
  if (!std::isfinite(r) || !(r > 0.0) || r > 1e30 || r < 1e-30) return 1.0;
  return r;
}

}  // namespace

Sd_AlignmentNode::Sd_AlignmentNode() : Sd_GroupNode(kTypeId) { m_parentFrame = 0; }
Sd_AlignmentNode::~Sd_AlignmentNode() {}

// --- child editing ---

int Sd_AlignmentNode::MoveChild(Sd_Node* node, Sd_Node* target) {
  if (!node) return -1;
  UnlinkChild(node);
  return InsertChild(node, target);
}

int Sd_AlignmentNode::UnlinkChild(Sd_Node* node) {
  if (!node) return -1;
  Sd_Node* p = node->GetParent();
  if (!p) return -1;
  if (Sd_GroupNode* group = dynamic_cast<Sd_GroupNode*>(p)) group->ForgetLastChild();
  Sd_Node* first = p->GetFirstChild();
  if (first == node) {
    p->SetFirstChild(node->GetNext());
  } else {
    Sd_Node* s = first;
    while (s && s->GetNext() != node) s = s->GetNext();
    if (!s) return -1;
    s->SetNext(node->GetNext());
  }
  node->SetNext(nullptr);
  return 0;
}

int Sd_AlignmentNode::InsertChild(Sd_Node* node, Sd_Node* target) {
  if (!node || !target || node == target) return -1;
  Sd_Node* parent = node->GetParent();
  Sd_Node* chainOwner = nullptr;
  if (parent == target) {
    chainOwner = target;
  } else if (parent && parent == target->GetParent()) {
    chainOwner = parent;
  } else {
    return -1;
  }
  // A node still in the chain would link it into a loop.
  for (Sd_Node* c = chainOwner->GetFirstChild(); c; c = c->GetNext()) {
    if (c == node) return -1;
  }
  if (chainOwner == target) {
    node->SetNext(target->GetFirstChild());
    target->SetFirstChild(node);
  } else {
    node->SetNext(target->GetNext());
    target->SetNext(node);
  }
  return 0;
}

// --- record ---

int Sd_AlignmentNode::LoadObject(TDR_Manager* manager) {
  if (ReadGroupRecord(manager) != 0) return -1;
  return ReadCommonTags(manager);
}

int Sd_AlignmentNode::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  return WriteGroupRecord(manager, TDR_TAG_SD_ALIGNPARENT, withCommonTags);
}

int Sd_AlignmentNode::WriteSample(TDR_Manager* manager) {
  Sd_AlignmentNode group;
  group.SetName("Sample Alignment");
  group.SetScale(1.0f, 1.0f, 2.0f);
  group.SetBounds(0, 1000.0f, 2000.0f);
  group.SetBounds(1, 500.0f, 900.0f);
  group.SetBounds(2, -40.0f, 0.0f);
  return group.SaveObject(manager, 1, 0);
}

// --- settings ---

void Sd_AlignmentNode::SaveSettings() {
  if (m_visible != 1) return;
  for (Sd_Node* c = m_children; c; c = c->GetNext()) {
    if (c->GetVisible() == 1) c->SaveSettings();
  }
  DrawBoundingBox();
}

void Sd_AlignmentNode::RestoreSettings() {
  if (m_visible != 1) return;
  for (Sd_Node* c = m_children; c; c = c->GetNext()) {
    if (c->GetVisible() == 1) c->RestoreSettings();
  }
  DrawBoundingBox();
}

int Sd_AlignmentNode::ResetSettings() {
  if (m_visible != 1) return 1;
  for (Sd_Node* c = m_children; c; c = c->GetNext()) {
    if (c->GetVisible() == 1) c->ResetSettings();
  }
  DrawBoundingBox();
  return 1;
}

// --- drawing ---

void Sd_AlignmentNode::Render() { RenderGroup(true); }
int Sd_AlignmentNode::StepRender() { return StepRenderGroup(true, true); }
const char* Sd_AlignmentNode::className() const { return "Alignment Node"; }

// --- fitting and bounds ---

void Sd_AlignmentNode::FitToScene(Sd_Node*, int flag) { FitGroup(flag, true); }

void Sd_AlignmentNode::FitGroup(int flag, bool globeBranch) {
  m_rotation[0] = m_rotation[1] = m_rotation[2] = 0.0f;
  m_scale[0] = m_scale[1] = m_scale[2] = 1.0f;
  m_position[0] = m_position[1] = m_position[2] = 0.0f;
  for (Sd_Node* c = m_children; c; c = c->GetNext()) c->FitToScene(this, 0);
  if (flag == 0) {
    Sd_Node::FitToScene(this, 0);
    return;
  }
  if (GetAspectMode() != 1) return;

  float* target = GetGlobalScaleTarget();
  const float base = GetGlobalScaleBase();
  if (globeBranch && GetCoordinateType() == 4) {
    if (target) *target = base;
    return;
  }

  // The x scale keeps the proportion of x to y; the z proportion goes into
  // the global scale, so the group's own z scale stays 1. An axis on which
  // the scene is flat takes no part in the proportions.
  const double dx = static_cast<double>(m_bounds[1]) - m_bounds[0];
  const double dy = static_cast<double>(m_bounds[3]) - m_bounds[2];
  const double dz = static_cast<double>(m_bounds[5]) - m_bounds[4];
  const double sx = SafeRatio(dx, dy);
  double sz = 1.0;
  if (GetCoordinateType() == 1) {
    const double t = dy * kMetresPerDegree;
    if (t > 1e-9) sz = SafeRatio(dz, t);
  } else {
    sz = SafeRatio(dz, dy);
  }
  const double k = 1.0 / sz;
  const double newX = sx * k;
  const double newY = k;
  const double scale = base / k;
  if (!(newX < FLT_MAX) || !(newY < FLT_MAX) || !(std::fabs(scale) < FLT_MAX)) {
    if (target) *target = base;
    return;
  }
  m_scale[0] = static_cast<float>(newX);
  m_scale[1] = static_cast<float>(newY);
  m_scale[2] = 1.0f;
  if (target) *target = static_cast<float>(scale);
}

void Sd_AlignmentNode::ComputeBounds() {
  // Per axis: the union of the children that have a range there (a pair
  // stored max before min counts in its order), and apart from it the
  // union of the children that are flat there (a single point, a vertical
  // line, an object without a georeference at 0 ... 0).
  const float start = 9e27f;
  float lo[3] = {start, start, start}, hi[3] = {-start, -start, -start};
  float flatLo[3] = {start, start, start}, flatHi[3] = {-start, -start, -start};
  for (Sd_Node* c = m_children; c; c = c->GetNext()) {
    if (c->IsGroup()) c->ComputeBounds();
    for (int a = 0; a < 3; ++a) {
      const float* b = c->GetBounds(a);
      if (!std::isfinite(b[0]) || !std::isfinite(b[1])) continue;
      const float b0 = std::fmin(b[0], b[1]), b1 = std::fmax(b[0], b[1]);
      const bool ranged = static_cast<double>(b1) - b0 > 1e-7;
      float* l = ranged ? lo : flatLo;
      float* h = ranged ? hi : flatHi;
      l[a] = std::fmin(l[a], b0);
      h[a] = std::fmax(h[a], b1);
    }
  }
  const bool keepOwn = KeepsOwnBounds() != 0;
  for (int a = 0; a < 3; ++a) {
    if (lo[a] < 9e26f) {
      SetBounds(a, lo[a], hi[a]);
    } else if (keepOwn) {
      // An axis no child covers keeps the node's own bounds.
    } else if (flatLo[a] < 9e26f) {
      // Only flat children on this axis: their box gets the extent a flat
      // box of points or lines gets, one unit above its maximum.
      float top = flatHi[a];
      if (static_cast<double>(top) - flatLo[a] < 0.0001) {
        top = flatHi[a] + 1.0f;
        if (!(top > flatHi[a])) top = std::nextafter(flatHi[a], FLT_MAX);
      }
      SetBounds(a, flatLo[a], top);
    } else {
      SetBounds(a, 0.0f, 0.0f);
    }
  }
}

int Sd_AlignmentNode::GetGeoUnitType() {
  for (Sd_Node* c = m_children; c; c = c->GetNext()) {
    if (TDR_GeoRef* geo = c->GetGeoRef()) return geo->GetGeoUnitType();
  }
  return -1;
}

// --- picking ---

int Sd_AlignmentNode::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  glPushMatrix();
  if (!m_parentFrame) ApplyTransform();
  int result = 0;
  if (m_visible == 1) {
    for (Sd_Node* c = m_children; c && result != 1; c = c->GetNext()) {
      if (c->GetVisible() == 1) result = c->QueryPoint(request, out);
    }
  }
  glPopMatrix();
  return result;
}

int Sd_AlignmentNode::ValueAt(double x, double y, int user) {
  glPushMatrix();
  if (!m_parentFrame) ApplyTransform();
  int result = 0;
  if (m_visible == 1) {
    for (Sd_Node* c = m_children; c && result != 1; c = c->GetNext()) {
      if (c->GetVisible() == 1) result = c->ValueAt(x, y, user);
    }
  }
  glPopMatrix();
  return result;
}

double Sd_AlignmentNode::GeoPickPoint(double x, double y, unsigned* colour) {
  double result = SD_PICK_NO_SURFACE;
  if (m_visible != 1) return result;
  for (Sd_Node* c = m_children; c && result == SD_PICK_NO_SURFACE; c = c->GetNext()) {
    if (c->GetVisible() == 1) result = c->GeoPickPoint(x, y, colour);
  }
  return result;
}
