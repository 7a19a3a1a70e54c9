// The work area: construction, GL start, replacing and releasing the scene
// tree, input forwarding, and the operations its parts carry out.
#include "Qk_GLWorkArea.h"

#include <QTimer>

#include "FileHistory.h"
#include "Qk_GLOverlay.h"
#include "Sd_AlignmentNode.h"
#include "Sd_GroupNode.h"
#include "Sv_Lighting.h"
#include "Sv_Perspective.h"

Qk_GLWorkArea::Qk_GLWorkArea(QWidget* parent, const char* name, int options)
    : Qk_GLStepWidget(parent, name, options),
      m_scene(this),
      m_overlays(this),
      m_picking(this),
      m_selection(this),
      m_tools(this),
      m_cameraPath(this),
      m_capture(this) {}

Qk_GLWorkArea::~Qk_GLWorkArea() {
  // A running pass holds matrices pushed by this class's steps and by the
  // tree: abandon it while the steps still exist.
  if (m_initialised && IsRunning()) RestartPasses();
  ReleaseTree();
  FreePolygon();
}

// ---------------------------------------------------------------------------
// GL start

void Qk_GLWorkArea::InitGL() {
  MakeCurrent();
  Qk_GLStepWidget::InitGL();
  m_scene.CreateMissing(m_stereoMode == QK_STEREO_QUAD_BUFFER);
  m_overlays.ShareSceneContext();

  // Start-up continues (command line, first files, message boxes) once
  // Qt's GL initialisation has returned.
  QTimer::singleShot(0, this, [this]() { emit InitSG(); });
}

// ---------------------------------------------------------------------------
// The scene tree

SDN_PickOut* Qk_GLWorkArea::GetPickRecord() const { return Sd_Node::GetSharedPick(); }

void Qk_GLWorkArea::ForgetSceneNodes() {
  m_overlays.ForgetSceneNodes();
  Qk_WorkAreaPicking::ForgetHit();
  m_selection.Forget();
  m_tools.Forget();
}

void Qk_GLWorkArea::ReleaseTree() {
  if (!GetRoot()) return;
  // A pass in progress works on the tree: abandon it first.
  if (IsRunning()) RestartPasses();
  ForgetSceneNodes();
  Sd_Node* old = m_scene.TakeRoot();
  // Deleting abandons passes still open in the tree, which pops matrices.
  MakeCurrent();
  Sd_GroupNode::DeleteTree(old);
}

void Qk_GLWorkArea::SetScene(Sd_Node* root, Movie* movie) {
  if (root != GetRoot() && GetRoot()) {
    if (IsRunning()) RestartPasses();
    // root may hang inside the tree that is released: take it out first.
    m_scene.Detach(root);
    ReleaseTree();
  }
  m_scene.Adopt(root, movie);
  m_overlays.ShareSceneContext();
}

void Qk_GLWorkArea::AdoptScene(Sd_Node* root) {
  const bool released = GetRoot() != nullptr && GetRoot() != root;
  SetScene(root, GetMovie());
  // The picture must not go on showing released objects.
  if (released) UpdateGL();
}

void Qk_GLWorkArea::ClearScene() {
  if (!GetRoot()) return;
  AdoptScene(m_scene.NewSceneRoot());
}

void Qk_GLWorkArea::AddToFileHistory(const char* name, const char* pattern) {
  FileHistory::Instance()->AddFile(name, pattern);
}

void Qk_GLWorkArea::ResetCamera() {
  if (Qk_GLOverlay* overlay = GetOverlay()) {
    overlay->Reset();
    overlay->FitView();
  }
  UpdateGL();
}

// ---------------------------------------------------------------------------
// Input (the mouse tools are Qk_WorkAreaMouseTools)

void Qk_GLWorkArea::MousePress(Qk_GLEventRecord* event) { m_tools.MousePress(event); }

void Qk_GLWorkArea::MouseDoubleClick(Qk_GLEventRecord* event) { m_tools.MouseDoubleClick(event); }

void Qk_GLWorkArea::MouseMove(Qk_GLEventRecord* event) { m_tools.MouseMove(event); }

void Qk_GLWorkArea::MouseRelease(Qk_GLEventRecord* event) { m_tools.MouseRelease(event); }

void Qk_GLWorkArea::Leave() { m_tools.Leave(); }

void Qk_GLWorkArea::Enter() {
  if (GetOverlay()) GetOverlay()->Enter();
}

void Qk_GLWorkArea::Wheel(Qk_GLEventRecord* event) {
  if (GetOverlay()) GetOverlay()->Wheel(event);
}

void Qk_GLWorkArea::KeyPress(Qk_GLEventRecord* event) {
  if (GetOverlay()) GetOverlay()->KeyPress(event);
}

void Qk_GLWorkArea::KeyRelease(Qk_GLEventRecord* event) {
  if (GetOverlay()) GetOverlay()->KeyRelease(event);
}

void Qk_GLWorkArea::ScrollBarMouseDownSL(QWidget* widget, SVint button, SVint x, SVint y) {
  if (GetOverlay()) GetOverlay()->ScrollBarMouseDown(widget, button, x, y);
}

void Qk_GLWorkArea::ScrollBarMouseMotionSL(QWidget* widget, SVint button, SVint x, SVint y) {
  if (GetOverlay()) GetOverlay()->ScrollBarMouseMotion(widget, button, x, y);
}

void Qk_GLWorkArea::ScrollBarMouseUpSL(QWidget* widget, SVint button, SVint x, SVint y) {
  if (GetOverlay()) GetOverlay()->ScrollBarMouseUp(widget, button, x, y);
}

void Qk_GLWorkArea::ScrollBarArrowPressSL(QWidget* widget, SVint button, SVint x, SVint y) {
  if (GetOverlay()) GetOverlay()->ScrollBarArrowPress(widget, button, x, y);
}

void Qk_GLWorkArea::ResizeGL(int w, int h) {
  Qk_GLStepWidget::ResizeGL(w, h);
  MakeCurrent();
  if (GetCamera()) GetCamera()->UpdateViewport();
  m_picking.SetSize(w, h);
}

// ---------------------------------------------------------------------------
// The scene's operations

int Qk_GLWorkArea::LoadSD(const char* name, int clear, int addToHistory, int showBoundingBox) {
  if (m_scene.LoadSD(name, clear, showBoundingBox) != 0) return -1;
  if (addToHistory) AddToFileHistory(name, "*.sd");
  return 0;
}

int Qk_GLWorkArea::SaveObject(Sd_Node* node, const char* name, int addToHistory) {
  if (m_scene.SaveObject(node, name) != 0) return -1;
  if (addToHistory) AddToFileHistory(name, "*.sd");
  return 0;
}

int Qk_GLWorkArea::LoadScene(const char* name, int addToHistory) {
  if (m_scene.LoadScene(name) != 0) return -1;
  if (addToHistory) AddToFileHistory(name, "*.scene");
  return 0;
}

int Qk_GLWorkArea::SaveScene(const char* name, int addToHistory) {
  if (m_scene.SaveScene(name) != 0) return -1;
  if (addToHistory) AddToFileHistory(name, "*.scene");
  return 0;
}

void Qk_GLWorkArea::ComputeSceneBounds() { m_scene.ComputeSceneBounds(); }

int Qk_GLWorkArea::DetectCoordinateType() { return m_scene.DetectCoordinateType(); }

float Qk_GLWorkArea::GetVertExag() { return m_scene.GetVertExag(); }

void Qk_GLWorkArea::SetVertExag(float exaggeration) { m_scene.SetVertExag(exaggeration); }

void Qk_GLWorkArea::SetObjectVertExagSL(SVfloat exaggeration) { SetVertExag(exaggeration); }

void Qk_GLWorkArea::SetGlobalScale(float scale) { m_scene.SetGlobalScale(scale); }

void Qk_GLWorkArea::SetOrthographic(int on) { m_scene.SetOrthographic(on); }

void Qk_GLWorkArea::SetViewMatrix(const Sv_Matrix4* matrix) { m_scene.SetViewMatrix(matrix); }

void Qk_GLWorkArea::ApplyLights() {
  if (GetLights()) GetLights()->Apply();
}

// ---------------------------------------------------------------------------
// Overlays

int Qk_GLWorkArea::InstallOverlay(Qk_GLOverlay* overlay) { return m_overlays.InstallOverlay(overlay); }

void Qk_GLWorkArea::SetPlacement(const Qk_OverlayPlacement* placement) {
  if (GetOverlay()) GetOverlay()->SetPlacement(placement);
}

void Qk_GLWorkArea::NotifyExaggeration() {
  if (GetRoot() && GetOverlay()) GetOverlay()->VertExagChanged();
}

int Qk_GLWorkArea::PickOverlayWidget(int x, int y, double* px, double* py, double* pz) {
  return GetOverlay() ? GetOverlay()->PickWidget(x, y, px, py, pz) : 0;
}

// ---------------------------------------------------------------------------
// Picking

int Qk_GLWorkArea::PickScene(SDN_PickIn* request, SDN_PickOut* out) { return m_picking.PickScene(request, out); }

int Qk_GLWorkArea::PickOrthographic(SDN_PickIn* request, SDN_PickOut* out) {
  return m_picking.PickOrthographic(request, out);
}

int Qk_GLWorkArea::Pick(int x, int y, int kind, int action, SDN_PickOut* out) {
  return m_picking.Pick(x, y, kind, action, out);
}

int Qk_GLWorkArea::PickRefreshed(int x, int y, int kind, int action, SDN_PickOut* out) {
  return m_picking.PickRefreshed(x, y, kind, action, out);
}

int Qk_GLWorkArea::PickDepth(short x, short y, double* wx, double* wy, double* wz) {
  return m_picking.PickDepth(x, y, wx, wy, wz);
}

void Qk_GLWorkArea::NormalizePoint(const double in[3], Sd_Node* node, double out[3]) {
  Qk_WorkAreaPicking::NormalizePoint(in, node, out);
}

void Qk_GLWorkArea::ShowPickText(SDN_PickOut* pick) { m_picking.ShowPickText(pick); }

void Qk_GLWorkArea::GeoPickPointSL(SVdouble x, SVdouble y, SVdouble* z, SVuint* color) {
  m_picking.GeoPickPoint(x, y, z, color);
}

void Qk_GLWorkArea::TransformPointSL(SVdouble* in, SVdouble* out) {
  if (!in || !out) return;
  NormalizePoint(in, GetRoot(), out);
}

// ---------------------------------------------------------------------------
// Selection and mouse tools

void Qk_GLWorkArea::AddPolygonVertex(const double point[3], Sd_Node* node) {
  m_selection.AddPolygonVertex(point, node);
}

void Qk_GLWorkArea::FreePolygon() { m_selection.FreePolygon(); }

void Qk_GLWorkArea::ResetSelection() { m_selection.ResetSelection(); }

int Qk_GLWorkArea::GetPolygon(Qk_PolygonVertex** head, int* closed) {
  m_tools.EndDrag();
  return m_selection.GetPolygon(head, closed, GetInteractionMode());
}

const double* Qk_GLWorkArea::GetSelectedPoints(int* count) const { return m_selection.GetSelectedPoints(count); }

void Qk_GLWorkArea::SelectPointSL(SVdouble* pt) { m_selection.SelectPoint(pt); }

void Qk_GLWorkArea::ClearPolygonSelectionSL() {
  FreePolygon();
  UpdateGL();
}

void Qk_GLWorkArea::RedrawSelectionSL() { AfterPass(); }

void Qk_GLWorkArea::AfterPass() {
  if (!m_initialised) return;
  m_selection.DrawOverPicture();
  Present();
}

void Qk_GLWorkArea::DrawOutline(int xorMode) { m_selection.DrawOutline(xorMode); }

int Qk_GLWorkArea::GetProfileLine(double* point1, double* point2) { return m_tools.GetProfileLine(point1, point2); }

int Qk_GLWorkArea::Profile(Qk_GLEventRecord* event) { return m_tools.Profile(event); }

void Qk_GLWorkArea::SetInteractionMode(int mode) { m_tools.SetInteractionMode(mode); }

void Qk_GLWorkArea::SetLastInteractionMode(int mode) { m_tools.SetLastInteractionMode(mode); }

// ---------------------------------------------------------------------------
// Camera path

int Qk_GLWorkArea::PlayMovie(int loop) { return m_cameraPath.PlayMovie(loop); }

void Qk_GLWorkArea::PlayMovieSL() { m_cameraPath.Play(); }

void Qk_GLWorkArea::PauseMovieSL() { m_cameraPath.Pause(); }

void Qk_GLWorkArea::StopMovieSL() { m_cameraPath.Stop(); }

void Qk_GLWorkArea::RewindMovieSL() { m_cameraPath.Rewind(); }

void Qk_GLWorkArea::ClearMovieSL() { m_cameraPath.Clear(); }

void Qk_GLWorkArea::MovieFrameNumChanged(SVint n) { emit MovieFrameChangedSG(n); }

void Qk_GLWorkArea::MovieStopped() { m_cameraPath.PlayerStopped(); }

void Qk_GLWorkArea::StartRecordingMovieSL() { m_cameraPath.StartRecording(); }

void Qk_GLWorkArea::StopRecordingMovieSL() { m_cameraPath.StopRecording(); }

// ---------------------------------------------------------------------------
// Capture

int Qk_GLWorkArea::CaptureImage(const char* fileName, int fileType, int n) {
  return m_capture.CaptureImage(fileName, fileType, n);
}

int Qk_GLWorkArea::RenderTiles(int n) { return m_capture.RenderTiles(n); }

int Qk_GLWorkArea::SaveViewFile(const char* path) { return m_capture.SaveViewFile(path); }

int Qk_GLWorkArea::LoadViewFile(const char* path) { return m_capture.LoadViewFile(path); }
