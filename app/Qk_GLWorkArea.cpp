// The work area: construction, GL start, the scene tree and its loading,
// overlays and input forwarding.
#include "Qk_GLWorkArea.h"

#include <QTimer>

#include <cstdio>

#include "DepthPicker.h"
#include "FileHistory.h"
#include "Movie.h"
#include "Qk_GLOverlay.h"
#include "Sd_AlignmentNode.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Iterator.h"
#include "Sv_Debug.h"
#include "Sv_Lighting.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace {

// The stereo clip planes' near scale of the viewer's camera (the camera's
// own default is 0.25).
const float kStereoClipNearScale = 0.1f;
// Picker size until the first resize.
const float kPickerWidth = 320.0f;
const float kPickerHeight = 200.0f;

}  // namespace

Qk_GLWorkArea::Qk_GLWorkArea(QWidget* parent, const char* name, int options)
    : Qk_GLStepWidget(parent, name, options),
      m_root(nullptr),
      m_lights(nullptr),
      m_camera(nullptr),
      m_viewMatrix(new Sv_Matrix4()),
      m_orthographic(0),
      m_movie(nullptr),
      m_recording(0),
      m_lastRecordedTime(0.0),
      m_movieState(0),
      m_fixedRecordingStep(0.0),
      m_recordingClock(0.0),
      m_overlay(new Qk_GLOverlay()),
      m_displacedOverlay(nullptr),
      m_overlayIdle(1),
      m_firstInstall(1),
      m_interactionMode(0),
      m_lastInteractionMode(0),
      m_picker(new DepthPicker(kPickerWidth, kPickerHeight)),
      m_globalScale(kBaseGlobalScale),
      m_profileRequest(0),
      m_profilePoint1{0.0, 0.0},
      m_profilePoint2{0.0, 0.0},
      m_exaggerationChosen(0),
      m_pickRequest(),
      m_dragStarted(0),
      m_pointSelected(0),
      m_selectedPoint{0.0, 0.0, 0.0},
      m_selectedNode(nullptr),
      m_polygonActive(0),
      m_movingPoint{0.0, 0.0, 0.0},
      m_movingNode(nullptr),
      m_polygon(nullptr),
      m_finishRequest(0),
      m_polygonClosed(0),
      m_dragNode(nullptr),
      m_dragPixelX(-1),
      m_dragPixelY(-1),
      m_profileActive(0),
      m_rectX0(0.0),
      m_rectX1(0.0),
      m_rectY0(0.0),
      m_rectY1(0.0),
      m_rectangleActive(0),
      m_pickText{} {
  m_overlay->SetWorkArea(this);
  m_viewMatrix->SetIdentity();
  m_pickRequest.picker = m_picker;
}

Qk_GLWorkArea::~Qk_GLWorkArea() {
  // A running pass holds matrices pushed by this class's steps and by the
  // tree: abandon it while the steps still exist.
  if (m_initialised && IsRunning()) RestartPasses();
  ReleaseTree();
  FreePolygon();

  Qk_GLOverlay* current = m_overlay;
  Qk_GLOverlay* displaced = m_displacedOverlay;
  m_overlay = nullptr;
  m_displacedOverlay = nullptr;
  if (displaced != current) delete displaced;
  delete current;

  if (Sd_Node::GetGlobalScaleTarget() == &m_globalScale) Sd_Node::SetGlobalScaleTarget(nullptr, kBaseGlobalScale);
  if (Sd_Node::GetLighting() == m_lights) Sd_Node::SetLighting(nullptr);
  delete m_lights;  // clears the global light set when it is this one
  m_lights = nullptr;
  delete m_camera;
  m_camera = nullptr;
  delete m_movie;
  m_movie = nullptr;
  delete m_picker;
  m_picker = nullptr;
  delete m_viewMatrix;
  m_viewMatrix = nullptr;
}

// ---------------------------------------------------------------------------
// GL start

void Qk_GLWorkArea::InitGL() {
  MakeCurrent();
  Qk_GLStepWidget::InitGL();

  if (!m_root) {
    Sd_AlignmentNode* root = new Sd_AlignmentNode();
    Sd_Node::SetGlobalScaleTarget(&m_globalScale, kBaseGlobalScale);
    root->SetName("Root Node");
    root->SetScale(1.0f, 1.0f, 1.0f);
    root->SetPosition(0.0f, 0.0f, 0.0f);
    root->SetRotation(0.0f, 0.0f, 0.0f);
    Sd_Node::SetAspectMode(1);
    root->ComputeBounds();
    m_root = root;
    Sd_Node::InitHersheyFont();
    if (m_overlay) m_overlay->Init(Sd_Node::GetFont());
  }

  if (!m_lights) {
    m_lights = new Sv_Lighting();
    m_lights->SetLightModelAmbient(0.3f, 0.3f, 0.3f, 1.0f);
    m_lights->SetLightParam(1, SV_LIGHT_AMBIENT, 0.2f, 0.2f, 0.2f, 1.0f);
    m_lights->SetLightParam(1, SV_LIGHT_DIFFUSE, 0.8f, 0.8f, 0.8f, 1.0f);
    // Directional light from the upper left, towards the viewer.
    m_lights->SetLightParam(1, SV_LIGHT_POSITION, -0.5f, 0.5f, 0.7071f, 0.0f);
    Sv_Lighting::SetGlobal(m_lights);
    Sd_Node::SetLighting(m_lights);
  }

  if (!m_camera) {
    m_camera = new Sv_Perspective(0.0f, 0.0f, Sv_Perspective::kDefaultEyeDistanceCm,
                                  Sv_Perspective::kDefaultEyeSeparationCm, Sv_Perspective::kDefaultStereoNearScale);
    m_camera->SetFullFrustum(m_stereoMode == QK_STEREO_QUAD_BUFFER);
    m_camera->SetClipPlanes(Sv_Perspective::kDefaultNearScale, Sv_Perspective::kDefaultFarCm);
    m_camera->SetStereoClipPlanes(kStereoClipNearScale, Sv_Perspective::kDefaultStereoFarCm);
    m_camera->UpdateViewport();
    m_camera->SetOrtho(m_orthographic);
    m_camera->SetMonoProjection();
  }

  if (!m_movie) m_movie = new Movie();

  ShareSceneContext();

  // Start-up continues (command line, first files, message boxes) once
  // Qt's GL initialisation has returned.
  QTimer::singleShot(0, this, [this]() { emit InitSG(); });
}

// ---------------------------------------------------------------------------
// Scene

SDN_PickOut* Qk_GLWorkArea::GetPickRecord() const { return Sd_Node::GetSharedPick(); }

void Qk_GLWorkArea::ShareSceneContext() {
  if (m_overlay) m_overlay->SetSceneContext(m_root, m_movie, m_viewMatrix, m_camera, m_lights);
  if (m_displacedOverlay && m_displacedOverlay != m_overlay) {
    m_displacedOverlay->SetSceneContext(m_root, m_movie, m_viewMatrix, m_camera, m_lights);
  }
}

void Qk_GLWorkArea::ForgetSceneNodes() {
  if (m_overlay) m_overlay->ForgetSceneNodes();
  if (m_displacedOverlay) m_displacedOverlay->ForgetSceneNodes();
  SDN_PickOut* pick = Sd_Node::GetSharedPick();
  pick->node = nullptr;
  pick->found = 0;
  ForgetSelections();
}

void Qk_GLWorkArea::ReleaseTree() {
  if (!m_root) return;
  // A pass in progress works on the tree: abandon it first.
  if (IsRunning()) RestartPasses();
  ForgetSceneNodes();
  Sd_Node* old = m_root;
  m_root = nullptr;
  // Deleting abandons passes still open in the tree, which pops matrices.
  MakeCurrent();
  Sd_GroupNode::DeleteTree(old);
}

Sd_AlignmentNode* Qk_GLWorkArea::NewSceneRoot() {
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  // The exaggeration is a setting of the view, not of the data: a new
  // scene keeps the one in force.
  root->SetScale(1.0f, 1.0f, GetVertExag());
  return root;
}

void Qk_GLWorkArea::AdoptScene(Sd_Node* root) {
  const bool released = m_root != nullptr && m_root != root;
  SetScene(root, m_movie);
  // The picture must not go on showing released objects.
  if (released) UpdateGL();
}

void Qk_GLWorkArea::DiscardDetachedTree(Sd_Node* root) {
  if (!root || root == m_root) return;
  // Objects may hold GL resources of this view.
  MakeCurrent();
  Sd_GroupNode::DeleteTree(root);
}

void Qk_GLWorkArea::StartEmptyRoot() { AdoptScene(NewSceneRoot()); }

void Qk_GLWorkArea::ClearScene() {
  if (!m_root) return;
  StartEmptyRoot();
}

void Qk_GLWorkArea::SetScene(Sd_Node* root, Movie* movie) {
  if (root != m_root && m_root) {
    if (IsRunning()) RestartPasses();
    // root may hang inside the tree that is released: take it out first.
    if (root) {
      Sd_Iterator it(m_root);
      for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
        if (n != root) continue;
        if (Sd_Node* parent = root->GetParent()) parent->RemoveChild(root);
        root->SetParent(nullptr);
        root->SetNext(nullptr);
        break;
      }
    }
    ReleaseTree();
  }
  m_root = root;
  if (movie != m_movie) {
    delete m_movie;
    m_movie = movie;
  }
  ShareSceneContext();
}

int Qk_GLWorkArea::LoadSD(const char* name, int clear, int addToHistory, int showBoundingBox) {
  // A new scene is read into a root of its own while the old one stays on
  // screen; only a file that gave objects replaces it, so a failed load
  // leaves scene, camera and exaggeration as they were.
  Sd_Node* target = clear ? NewSceneRoot() : m_root;
  if (!target) {
    // Only before GL has started: without a root the objects would belong
    // to nobody.
    Sv_Debug::Message(SV_LEVEL_DEBUG, "No scene to load into", name);
    return -1;
  }

  if (clear) MakeCurrent();
  Sd_IOSupport reader(target);
  Sd_Node* last = reader.ReadSDFile(name);
  if (!last) {
    DiscardDetachedTree(target);
    return -1;
  }

  AdoptScene(target);
  Sd_Node::SetCoordinateType(SD_COORDS_UNDECIDED);
  last->SetShowBoundingBox(showBoundingBox);
  ComputeSceneBounds();
  UpdateGL();
  if (addToHistory) AddToFileHistory(name, "*.sd");
  return 0;
}

int Qk_GLWorkArea::SaveObject(Sd_Node* node, const char* name, int addToHistory) {
  if (!node) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Save Object", "no object to save!");
    return -1;
  }
  printf("Writing object...\n");
  fflush(stdout);

  TDR_Manager manager;
  if (!name || manager.OpenFile(name, "wb") != 0) return -1;
  bool ok = manager.WriteHeader() == 0;
  ok = ok && node->SaveObject(&manager, 1, -1) == 0;
  ok = ok && manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  // A file cut short would read as a different, damaged object: a failed
  // write is dropped and the old file stays as it was.
  if (!ok) {
    manager.DiscardFile();
  } else {
    ok = manager.CloseFile() == 0;
  }
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Save Object: could not write the file", name);
    return -1;
  }
  if (addToHistory) AddToFileHistory(name, "*.sd");
  return 0;
}

void Qk_GLWorkArea::AddToFileHistory(const char* name, const char* pattern) {
  FileHistory::Instance()->AddFile(name, pattern);
}

void Qk_GLWorkArea::ResetCamera() {
  if (m_overlay) m_overlay->Reset();
  UpdateGL();
}

void Qk_GLWorkArea::SetGlobalScale(float scale) {
  m_globalScale = scale;
  emit GlobalScaleChangedSG();
}

void Qk_GLWorkArea::SetOrthographic(int on) {
  m_orthographic = on;
  if (m_camera) m_camera->SetOrtho(on);
}

// ---------------------------------------------------------------------------
// Overlays

int Qk_GLWorkArea::InstallOverlay(Qk_GLOverlay* overlay) {
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

int Qk_GLWorkArea::ReplaceOverlay(Qk_GLOverlay* overlay) {
  if (!overlay) return -1;
  if (overlay == m_overlay || overlay == m_displacedOverlay || !m_overlay) return InstallOverlay(overlay);
  Qk_GLOverlay* old = m_overlay;
  old->Stop();
  m_overlay = overlay;
  delete old;
  ActivateOverlay(overlay);
  return 0;
}

void Qk_GLWorkArea::ActivateOverlay(Qk_GLOverlay* overlay) {
  overlay->SetWorkArea(this);
  overlay->SetSceneContext(m_root, m_movie, m_viewMatrix, m_camera, m_lights);
  overlay->Start();
  Sd_Node::InitHersheyFont();
  overlay->Init(Sd_Node::GetFont());
  if (m_firstInstall) {
    overlay->Reset();
  } else {
    overlay->SetViewMatrix(m_viewMatrix);
  }
  m_firstInstall = 0;
  UpdateGL();
}

void Qk_GLWorkArea::SetPlacement(const Qk_OverlayPlacement* placement) {
  if (m_overlay) m_overlay->SetPlacement(placement);
}

void Qk_GLWorkArea::SetInteractionMode(int mode) {
  // The outline is drawn with XOR: drawn once on a finished picture it
  // erases the old outline, drawn again it shows the new one.
  ToggleOutline();
  m_interactionMode = mode;
  if (mode != 0) m_lastInteractionMode = mode;
  // The press pixel of an object drag belongs to the tool that took it.
  m_dragPixelX = -1;
  m_dragPixelY = -1;
  ToggleOutline();
}

// ---------------------------------------------------------------------------
// Input (the mouse tools are in Qk_GLWorkAreaMouse.cpp)

void Qk_GLWorkArea::Wheel(Qk_GLEventRecord* event) {
  if (m_overlay) m_overlay->Wheel(event);
}

void Qk_GLWorkArea::KeyPress(Qk_GLEventRecord* event) {
  if (m_overlay) m_overlay->KeyPress(event);
}

void Qk_GLWorkArea::KeyRelease(Qk_GLEventRecord* event) {
  if (m_overlay) m_overlay->KeyRelease(event);
}

void Qk_GLWorkArea::ScrollBarMouseDownSL(QWidget* widget, SVint button, SVint x, SVint y) {
  if (m_overlay) m_overlay->ScrollBarMouseDown(widget, button, x, y);
}

void Qk_GLWorkArea::ScrollBarMouseMotionSL(QWidget* widget, SVint button, SVint x, SVint y) {
  if (m_overlay) m_overlay->ScrollBarMouseMotion(widget, button, x, y);
}

void Qk_GLWorkArea::ScrollBarMouseUpSL(QWidget* widget, SVint button, SVint x, SVint y) {
  if (m_overlay) m_overlay->ScrollBarMouseUp(widget, button, x, y);
}

void Qk_GLWorkArea::ScrollBarArrowPressSL(QWidget* widget, SVint button, SVint x, SVint y) {
  if (m_overlay) m_overlay->ScrollBarArrowPress(widget, button, x, y);
}

void Qk_GLWorkArea::ResizeGL(int w, int h) {
  Qk_GLStepWidget::ResizeGL(w, h);
  MakeCurrent();
  if (m_camera) m_camera->UpdateViewport();
  if (m_picker) m_picker->SetSize(static_cast<float>(w), static_cast<float>(h));
}
