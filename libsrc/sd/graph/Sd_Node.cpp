#include "Sd_Node.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Sd_Iterator.h"
#include "Sv_Debug.h"
#include "Sv_HersheyFont.h"
#include "Sv_Stdlib.h"
#include "TDR_GeoRef.h"

short Sd_Node::s_coordinateType = SD_COORDS_UNDECIDED;
short Sd_Node::s_aspectMode = 0;
Sd_FrameState Sd_Node::s_frame;
Sv_Lighting* Sd_Node::s_lighting = nullptr;
SDN_PickOut Sd_Node::s_sharedPick = {0.0, 0.0, 0.0, SD_PICK_NO_VALUE, -1, nullptr, 0, 0};
double Sd_Node::s_queryPoint[3] = {0.0, 0.0, 0.0};
Sv_HersheyFont* Sd_Node::s_font = nullptr;
long Sd_Node::s_liveCount = 0;

namespace {

template <typename Fn>
struct Hook {
  Fn fn = nullptr;
  void* data = nullptr;
};

struct Hooks {
  Hook<Sd_Node::ProgressHook> progress, secondProgress;
  Hook<Sd_Node::PlainHook> childRemoved, firstChildRemoved, hierarchyChanged, treeChange, frame;
  Hook<Sd_Node::StateHook> state;
  Hook<Sd_Node::PointListHook> pointList;
  Hook<Sd_Node::QueryCallback> query;
  Hook<Sd_Node::CellSelectCallback> cellSelect;
  Hook<Sd_Node::BusyCallback> busy;
  Hook<Sd_Node::ColorRangeCallback> colorRange;
};

Hooks g_hooks;

void CopyText(char* dst, size_t size, const char* src) {
  if (!src) src = "";
  strncpy(dst, src, size - 1);
  dst[size - 1] = '\0';
}

float* AxisComponent(float* v, char axis) {
  switch (axis) {
    case 'x': case 'X': return &v[0];
    case 'y': case 'Y': return &v[1];
    case 'z': case 'Z': return &v[2];
    default: return nullptr;
  }
}

}  // namespace

Sd_Node::Sd_Node()
    : m_next(nullptr),
      m_parent(nullptr),
      m_clientWords{0, 0},
      m_rotation{0.0f, 0.0f, 0.0f},
      m_scale{1.0f, 1.0f, 1.0f},
      m_position{0.0f, 0.0f, 0.0f},
      m_type(1),
      m_isGroup(0),
      m_auxFlag(1),
      m_visible(1),
      m_parentFrame(0),
      m_geoRef(nullptr),
      m_bounds{0, 0, 0, 0, 0, 0},
      m_extents{0, 0, 0},
      m_centres{0, 0, 0},
      m_auxTriple{0.0f, 0.0f, 1.0f},
      m_auxRecords{0, 0, 0, 0, 0, 0},
      m_ranges{},
      m_showBoundingBox(0),
      m_redrawPending(0),
      m_drawn(1),
      m_boxTicks{5, 10, 5, 2, 2, 2, 1},
      m_data(nullptr),
      m_colorMap(nullptr),
      m_showProfile{0, 0},
      m_profile{{0.0, 0.0}, {0.0, 0.0}},
      m_shading{0.7853982f, 0.5f, 0.1f, 0.10622f, 0.5f, 0.35f},
      m_modelview{},
      m_projection{},
      m_selectedPoint{0.0f, 0.0f, 0.0f},
      m_storedLinks{0, 0} {
  CopyText(m_name, sizeof(m_name), "Unknown");
  CopyText(m_description, sizeof(m_description), "Unknown");
  ++s_liveCount;
  InitHersheyFont();
}

// The georeference, the colour map and the data buffer belong to the node and
// go with it; links to other nodes are left alone.
Sd_Node::~Sd_Node() {
  delete m_geoRef;
  free(m_colorMap);
  free(m_data);
  --s_liveCount;
}

void Sd_Node::FreeData() {
  free(m_data);
  m_data = nullptr;
}

void Sd_Node::PostLoadOperations(int) {}
Sd_Node* Sd_Node::GetNext() { return m_next; }
void Sd_Node::AddChild(Sd_Node*) {}
void Sd_Node::SetFirstChild(Sd_Node*) {}
Sd_Node* Sd_Node::GetFirstChild() { return nullptr; }

void Sd_Node::Detach() {
  m_next = nullptr;
  m_parent = nullptr;
}

int Sd_Node::RemoveChild(Sd_Node* node) {
  Sd_Node* first = GetFirstChild();
  if (!first) return -1;
  if (first == node) {
    SetFirstChild(node->GetNext());
    CallChildRemovedHooks(1);
    return 0;
  }
  for (Sd_Node* s = first; s; s = s->GetNext()) {
    if (s->GetNext() == node) {
      s->SetNext(node->GetNext());
      CallChildRemovedHooks(0);
      return 0;
    }
  }
  CallChildRemovedHooks(0);
  return -1;
}

void Sd_Node::CallChildRemovedHooks(int firstChild) {
  if (g_hooks.childRemoved.fn) g_hooks.childRemoved.fn(g_hooks.childRemoved.data);
  if (firstChild && g_hooks.firstChildRemoved.fn) g_hooks.firstChildRemoved.fn(g_hooks.firstChildRemoved.data);
}

int Sd_Node::MoveChild(Sd_Node*, Sd_Node*) { return 0; }
int Sd_Node::UnlinkChild(Sd_Node*) { return 0; }
int Sd_Node::InsertChild(Sd_Node*, Sd_Node*) { return 0; }
void Sd_Node::SaveSettings() {}
void Sd_Node::RestoreSettings() {}
void Sd_Node::Invalidate() { m_redrawPending = 1; }

void Sd_Node::ApplyDefaultColour() {
  const unsigned c = DefaultColour();
  glColor4ub(static_cast<GLubyte>((c >> 24) & 0xFF), static_cast<GLubyte>((c >> 16) & 0xFF),
             static_cast<GLubyte>((c >> 8) & 0xFF), static_cast<GLubyte>(c & 0xFF));
}

void Sd_Node::EnableBlending(int alpha) {
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  if (alpha < 255) MarkBlended();
}

void Sd_Node::DisableBlending() {
  glBlendFunc(GL_ONE, GL_ZERO);
  glDisable(GL_BLEND);
}

void Sd_Node::Render() {
  if (m_parentFrame) return;
  glPushMatrix();
  ApplyTransform();
  ApplyDefaultColour();
  glBegin(GL_LINES);
  glVertex3f(-0.5f, 0.0f, 0.0f);
  glVertex3f(0.5f, 0.0f, 0.0f);
  glVertex3f(0.0f, -0.5f, 0.0f);
  glVertex3f(0.0f, 0.5f, 0.0f);
  glVertex3f(0.0f, 0.0f, -0.5f);
  glVertex3f(0.0f, 0.0f, 0.5f);
  glEnd();
  glPopMatrix();
}

int Sd_Node::StepRender() {
  Render();
  return 1;
}

int Sd_Node::ResetSettings() { return 1; }
const char* Sd_Node::className() const { return "Node"; }

void Sd_Node::FitToScene(Sd_Node* scene, int) {
  m_rotation[0] = m_rotation[1] = m_rotation[2] = 0.0f;
  m_scale[0] = m_scale[1] = m_scale[2] = 1.0f;
  m_position[0] = m_position[1] = m_position[2] = 0.0f;
  if (s_coordinateType == SD_COORDS_SPHERE || !scene) return;
  // An object whose bounds were never set (stored without a georeference)
  // draws in the box 0 ... 1 of the scene's units on each axis, the box a
  // scene of such objects gets. Groups keep their own bounds as they are.
  bool unset = !m_isGroup;
  for (float b : m_bounds) unset = unset && b == 0.0f;
  for (int a = 0; a < 3; ++a) {
    const double sceneMin = scene->m_bounds[2 * a];
    const double sceneMax = scene->m_bounds[2 * a + 1];
    const double sceneRange = sceneMax - sceneMin;
    // A scene flat on an axis leaves that axis unscaled and unshifted rather
    // than dividing by zero.
    if (!(sceneRange > 0.0)) continue;
    const double ownRange = unset ? 1.0 : static_cast<double>(m_bounds[2 * a + 1]) - m_bounds[2 * a];
    const double ownCentre = unset ? 0.5 : (static_cast<double>(m_bounds[2 * a]) + m_bounds[2 * a + 1]) * 0.5;
    const double sceneCentre = (sceneMin + sceneMax) * 0.5;
    m_scale[a] = static_cast<float>(ownRange / sceneRange);
    m_position[a] = static_cast<float>((ownCentre - sceneCentre) / sceneRange);
  }
}

void Sd_Node::SetProfilePoint(int which, double x, double y) {
  if (which != 1 && which != 2) return;
  const double dx = static_cast<double>(m_bounds[1]) - m_bounds[0];
  const double dy = static_cast<double>(m_bounds[3]) - m_bounds[2];
  double* p = m_profile[which - 1];
  p[0] = dx != 0.0 ? (x - m_bounds[0]) / dx - 0.5 : 0.0;
  p[1] = dy != 0.0 ? (y - m_bounds[2]) / dy - 0.5 : 0.0;
}

void Sd_Node::ComputeBounds() {}
int Sd_Node::GetGeoUnitType() { return -1; }

void Sd_Node::GetCentre(double out[3]) {
  for (int a = 0; a < 3; ++a) out[a] = (static_cast<double>(m_bounds[2 * a]) + m_bounds[2 * a + 1]) * 0.5;
}

void Sd_Node::GetRotationAngles(double out[3]) {
  for (int a = 0; a < 3; ++a) out[a] = m_rotation[a];
}

int Sd_Node::QueryPoint(SDN_PickIn*, SDN_PickOut*) { return 0; }
int Sd_Node::ValueAt(double, double, int) { return 0; }
double Sd_Node::GeoPickPoint(double, double, unsigned*) { return SD_PICK_NO_SURFACE; }

int Sd_Node::Hook2(int, int, int, int, unsigned char* flag) {
  if (flag) *flag = 0;
  return 0;
}

void Sd_Node::Hook3() {}
void Sd_Node::Hook4(int) {}
void Sd_Node::ShadeWithColorMap(float, float, float, float, float, float, double, double, const char*) {}

// --- links ---

void Sd_Node::AppendSibling(Sd_Node* parent, Sd_Node* node) {
  if (!node) return;
  Sd_Node* last = this;
  while (last->GetNext()) last = last->GetNext();
  last->SetNext(node);
  node->SetParent(parent);
}

Sd_Node* Sd_Node::GetRootOf() {
  Sd_Node* n = this;
  while (n->m_parent) n = n->m_parent;
  return n;
}

// --- identity ---

void Sd_Node::SetName(const char* name) { CopyText(m_name, sizeof(m_name), name); }
void Sd_Node::SetDescription(const char* text) { CopyText(m_description, sizeof(m_description), text); }

// --- transform ---

float* Sd_Node::GetScale(char axis) { return AxisComponent(m_scale, axis); }
float* Sd_Node::GetPosition(char axis) { return AxisComponent(m_position, axis); }
float* Sd_Node::GetRotation(char axis) { return AxisComponent(m_rotation, axis); }

void Sd_Node::SetScale(float x, float y, float z) {
  m_scale[0] = x;
  m_scale[1] = y;
  m_scale[2] = z;
}

void Sd_Node::SetPosition(float x, float y, float z) {
  m_position[0] = x;
  m_position[1] = y;
  m_position[2] = z;
}

void Sd_Node::SetRotation(float x, float y, float z) {
  m_rotation[0] = x;
  m_rotation[1] = y;
  m_rotation[2] = z;
}

void Sd_Node::ApplyTransform() {
  glTranslatef(m_position[0], m_position[1], m_position[2]);
  glRotatef(m_rotation[0], 1.0f, 0.0f, 0.0f);
  glRotatef(m_rotation[1], 0.0f, 1.0f, 0.0f);
  glRotatef(m_rotation[2], 0.0f, 0.0f, 1.0f);
  glScalef(m_scale[0], m_scale[1], m_scale[2]);
}

// --- bounds ---

float* Sd_Node::GetBounds(int axis) {
  if (axis < 0 || axis > 2) return nullptr;
  return &m_bounds[2 * axis];
}

void Sd_Node::SetBounds(int axis, float min, float max) {
  if (axis < 0 || axis > 2) return;
  m_bounds[2 * axis] = min;
  m_bounds[2 * axis + 1] = max;
  m_extents[axis] = static_cast<double>(max) - min;
  m_centres[axis] = (static_cast<double>(min) + max) * 0.5;
}

void Sd_Node::UpdateExtentsFromBounds() {
  for (int a = 0; a < 3; ++a) {
    m_extents[a] = static_cast<double>(m_bounds[2 * a + 1]) - m_bounds[2 * a];
    m_centres[a] = (static_cast<double>(m_bounds[2 * a]) + m_bounds[2 * a + 1]) * 0.5;
  }
}

void Sd_Node::SetGeoRef(TDR_GeoRef* geoRef) {
  if (geoRef == m_geoRef) return;
  delete m_geoRef;
  m_geoRef = geoRef;
}

Sd_Range* Sd_Node::GetAuxRecord(int i) {
  if (i < 0 || i > 3) return nullptr;
  return &m_ranges[i];
}

void Sd_Node::SetColorMap(unsigned* colours) {
  if (colours == m_colorMap) return;
  free(m_colorMap);
  m_colorMap = colours;
}

void Sd_Node::SetDataBuffer(unsigned char* data) {
  if (data == m_data) return;
  free(m_data);
  m_data = data;
}

void Sd_Node::KeepDetailSettings(int step, int levelOfDetail, int extra) {
  int* kept = static_cast<int*>(malloc(3 * sizeof(int)));
  if (!kept) return;
  kept[0] = step;
  kept[1] = levelOfDetail;
  kept[2] = extra;
  SetDataBuffer(reinterpret_cast<unsigned char*>(kept));
}

bool Sd_Node::KeptDetailSettings(int* step, int* levelOfDetail, int* extra) const {
  if (!m_data) return false;
  int kept[3];
  memcpy(kept, m_data, sizeof(kept));
  if (step) *step = UsableStep(kept[0]);
  if (levelOfDetail) *levelOfDetail = kept[1];
  if (extra) *extra = kept[2];
  return true;
}

// --- profile points ---

void Sd_Node::ShowProfilePoint(int which, int on) {
  if (which == 1 || which == 2) m_showProfile[which - 1] = on;
}

const double* Sd_Node::GetProfilePoint(int which) const {
  if (which != 1 && which != 2) return nullptr;
  return m_profile[which - 1];
}

void Sd_Node::DrawProfilePoints() {
  if (!m_showProfile[0] && !m_showProfile[1]) return;
  glLineWidth(2.0f);
  for (int i = 0; i < 2; ++i) {
    if (!m_showProfile[i]) continue;
    if (i == 0) {
      glColor3f(1.0f, 1.0f, 1.0f);
    } else {
      glColor3f(1.0f, 1.0f, 0.0f);
    }
    glBegin(GL_LINE_STRIP);
    glVertex3d(m_profile[i][0], m_profile[i][1], -0.5);
    glVertex3d(m_profile[i][0], m_profile[i][1], 0.5);
    glEnd();
  }
  glLineWidth(1.0f);
}

void Sd_Node::CopyFrom(const Sd_Node* other) {
  if (!other || other == this) return;
  m_type = other->m_type;
  m_isGroup = other->m_isGroup;
  m_auxFlag = other->m_auxFlag;
  m_visible = other->m_visible;
  m_showBoundingBox = other->m_showBoundingBox;
  memcpy(m_name, other->m_name, sizeof(m_name));
  memcpy(m_description, other->m_description, sizeof(m_description));
  m_next = other->m_next;
  m_parent = other->m_parent;
  memcpy(m_rotation, other->m_rotation, sizeof(m_rotation));
  memcpy(m_scale, other->m_scale, sizeof(m_scale));
  memcpy(m_position, other->m_position, sizeof(m_position));
  memcpy(m_auxRecords, other->m_auxRecords, sizeof(m_auxRecords));
  memcpy(m_auxTriple, other->m_auxTriple, sizeof(m_auxTriple));
  memcpy(m_ranges, other->m_ranges, sizeof(m_ranges));
  memcpy(m_bounds, other->m_bounds, sizeof(m_bounds));
  m_drawn = 1;
  m_redrawPending = 0;
}

// --- class-wide state ---

void Sd_Node::SetQueryPoint(double x, double y, double z) {
  s_queryPoint[0] = x;
  s_queryPoint[1] = y;
  s_queryPoint[2] = z;
}

void Sd_Node::GetQueryPoint(double* x, double* y, double* z) {
  if (x) *x = s_queryPoint[0];
  if (y) *y = s_queryPoint[1];
  if (z) *z = s_queryPoint[2];
}

void Sd_Node::InitHersheyFont() {
  if (s_font) return;
  s_font = new Sv_HersheyFont();
  if (s_font->LoadFont("romancsfont.dat", 0.001f) != 0) {
    fprintf(stderr, "ERROR: Could not initialize font!\n");
  }
}

void Sd_Node::ReleaseFont() {
  delete s_font;
  s_font = nullptr;
}

// --- hooks ---

void Sd_Node::SetProgressHook(ProgressHook fn, void* data) { g_hooks.progress = {fn, data}; }
void Sd_Node::SetSecondProgressHook(ProgressHook fn, void* data) { g_hooks.secondProgress = {fn, data}; }
void Sd_Node::SetChildRemovedHook(PlainHook fn, void* data) { g_hooks.childRemoved = {fn, data}; }
void Sd_Node::SetFirstChildRemovedHook(PlainHook fn, void* data) { g_hooks.firstChildRemoved = {fn, data}; }
void Sd_Node::SetStateHook(StateHook fn, void* data) { g_hooks.state = {fn, data}; }
void Sd_Node::SetHierarchyChangedHook(PlainHook fn, void* data) { g_hooks.hierarchyChanged = {fn, data}; }
void Sd_Node::SetPointListHook(PointListHook fn, void* data) { g_hooks.pointList = {fn, data}; }
void Sd_Node::SetQueryCallback(QueryCallback fn, void* data) { g_hooks.query = {fn, data}; }
void Sd_Node::SetCellSelectCallback(CellSelectCallback fn, void* data) { g_hooks.cellSelect = {fn, data}; }
void Sd_Node::SetBusyCallback(BusyCallback fn, void* data) { g_hooks.busy = {fn, data}; }
void Sd_Node::SetColorRangeCallback(ColorRangeCallback fn, void* data) { g_hooks.colorRange = {fn, data}; }
void Sd_Node::SetTreeChangeCallback(PlainHook fn, void* data) { g_hooks.treeChange = {fn, data}; }
void Sd_Node::SetFrameCallback(PlainHook fn, void* data) { g_hooks.frame = {fn, data}; }
void Sd_Node::ClearHooks() { g_hooks = Hooks(); }

void Sd_Node::ReportProgress(int a, int b) {
  if (g_hooks.progress.fn) g_hooks.progress.fn(a, b, g_hooks.progress.data);
}
void Sd_Node::ReportSecondProgress(int a, int b) {
  if (g_hooks.secondProgress.fn) g_hooks.secondProgress.fn(a, b, g_hooks.secondProgress.data);
}
void Sd_Node::ReportStateOn(int value) { ReportState(1, value); }
void Sd_Node::ReportStateOff(int value) { ReportState(0, value); }
void Sd_Node::ReportState(int state, int value) {
  if (g_hooks.state.fn) g_hooks.state.fn(state, value, g_hooks.state.data);
}
void Sd_Node::NotifyHierarchyChanged() {
  if (g_hooks.hierarchyChanged.fn) g_hooks.hierarchyChanged.fn(g_hooks.hierarchyChanged.data);
}
void* Sd_Node::RequestPointList(int* closed) {
  if (!g_hooks.pointList.fn) return nullptr;
  return g_hooks.pointList.fn(closed, g_hooks.pointList.data);
}
void Sd_Node::CallQueryCallback(double x, double y, double value, int user) {
  if (g_hooks.query.fn) g_hooks.query.fn(x, y, value, user, &s_sharedPick, g_hooks.query.data);
}
void Sd_Node::CallCellSelect(const float point[3], const double projection[16], const double modelview[16]) {
  if (g_hooks.cellSelect.fn) g_hooks.cellSelect.fn(point, projection, modelview, g_hooks.cellSelect.data);
}
void Sd_Node::CallBusy(int a, int b) {
  if (g_hooks.busy.fn) g_hooks.busy.fn(a, b, g_hooks.busy.data);
}
void Sd_Node::CallColorRange(Sd_Node* node, float low, float high) {
  if (g_hooks.colorRange.fn) g_hooks.colorRange.fn(node, low, high, g_hooks.colorRange.data);
}
void Sd_Node::CallTreeChange() {
  if (g_hooks.treeChange.fn) g_hooks.treeChange.fn(g_hooks.treeChange.data);
}
void Sd_Node::CallFrame() {
  if (g_hooks.frame.fn) g_hooks.frame.fn(g_hooks.frame.data);
}

// --- names ---

Sd_Node* Sd_Node::FindByName(Sd_Node* root, const char* name) {
  if (!root || !name) return nullptr;
  Sd_Iterator it(root);
  for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
    if (strcmp(n->GetName(), name) == 0) return n;
  }
  return nullptr;
}

char* Sd_Node::MakeUniqueName(Sd_Node* root, const char* base, int first) {
  if (!base) base = "";
  for (int i = first; i < 10000; ++i) {
    char text[NAME_SIZE + 16];
    snprintf(text, sizeof(text), "%s%d", base, i);
    if (!FindByName(root, text)) return Sv_UtlStrDup(text);
  }
  return nullptr;
}
