// The work area's scene: its objects, the tree under the root and its
// loading and saving as '.sd' files, and the vertical exaggeration.
#include "Qk_WorkAreaScene.h"

#include <cmath>
#include <cstdio>

#include "Movie.h"
#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
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

}  // namespace

Qk_WorkAreaScene::Qk_WorkAreaScene(Qk_GLWorkArea* area)
    : Qk_WorkAreaPart(area),
      m_root(nullptr),
      m_lights(nullptr),
      m_camera(nullptr),
      m_viewMatrix(new Sv_Matrix4()),
      m_movie(nullptr),
      m_globalScale(Qk_GLWorkArea::kBaseGlobalScale),
      m_orthographic(0),
      m_exaggerationChosen(0) {
  m_viewMatrix->SetIdentity();
}

Qk_WorkAreaScene::~Qk_WorkAreaScene() {
  if (Sd_Node::GetGlobalScaleTarget() == &m_globalScale) {
    Sd_Node::SetGlobalScaleTarget(nullptr, Qk_GLWorkArea::kBaseGlobalScale);
  }
  if (Sd_Node::GetLighting() == m_lights) Sd_Node::SetLighting(nullptr);
  delete m_lights;  // clears the global light set when it is this one
  m_lights = nullptr;
  delete m_camera;
  m_camera = nullptr;
  delete m_movie;
  m_movie = nullptr;
  delete m_viewMatrix;
  m_viewMatrix = nullptr;
}

void Qk_WorkAreaScene::CreateMissing(bool quadBuffer) {
  if (!m_root) {
    Sd_AlignmentNode* root = new Sd_AlignmentNode();
    Sd_Node::SetGlobalScaleTarget(&m_globalScale, Qk_GLWorkArea::kBaseGlobalScale);
    root->SetName("Root Node");
    root->SetScale(1.0f, 1.0f, 1.0f);
    root->SetPosition(0.0f, 0.0f, 0.0f);
    root->SetRotation(0.0f, 0.0f, 0.0f);
    Sd_Node::SetAspectMode(1);
    root->ComputeBounds();
    m_root = root;
    Sd_Node::InitHersheyFont();
    if (Qk_GLOverlay* overlay = m_area->GetOverlay()) overlay->Init(Sd_Node::GetFont());
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
    m_camera->SetFullFrustum(quadBuffer);
    m_camera->SetClipPlanes(Sv_Perspective::kDefaultNearScale, Sv_Perspective::kDefaultFarCm);
    m_camera->SetStereoClipPlanes(kStereoClipNearScale, Sv_Perspective::kDefaultStereoFarCm);
    m_camera->UpdateViewport();
    m_camera->SetOrtho(m_orthographic);
    m_camera->SetMonoProjection();
  }

  if (!m_movie) m_movie = new Movie();
}

void Qk_WorkAreaScene::SetGlobalScale(float scale) {
  m_globalScale = scale;
  emit m_area->GlobalScaleChangedSG();
}

void Qk_WorkAreaScene::SetOrthographic(int on) {
  m_orthographic = on;
  if (m_camera) m_camera->SetOrtho(on);
}

// ---------------------------------------------------------------------------
// The tree

Sd_Node* Qk_WorkAreaScene::TakeRoot() {
  Sd_Node* root = m_root;
  m_root = nullptr;
  return root;
}

void Qk_WorkAreaScene::Detach(Sd_Node* node) {
  if (!node || !m_root) return;
  Sd_Iterator it(m_root);
  for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
    if (n != node) continue;
    if (Sd_Node* parent = node->GetParent()) parent->RemoveChild(node);
    node->SetParent(nullptr);
    node->SetNext(nullptr);
    return;
  }
}

void Qk_WorkAreaScene::Adopt(Sd_Node* root, Movie* movie) {
  m_root = root;
  if (movie != m_movie) {
    delete m_movie;
    m_movie = movie;
  }
}

Sd_AlignmentNode* Qk_WorkAreaScene::NewSceneRoot() {
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  // The exaggeration is a setting of the view, not of the data: a new
  // scene keeps the one in force.
  root->SetScale(1.0f, 1.0f, GetVertExag());
  return root;
}

void Qk_WorkAreaScene::DiscardDetachedTree(Sd_Node* root) {
  if (!root || root == m_root) return;
  // Objects may hold GL resources of this view.
  m_area->MakeCurrent();
  Sd_GroupNode::DeleteTree(root);
}

// ---------------------------------------------------------------------------
// '.sd' files

int Qk_WorkAreaScene::LoadSD(const char* name, int clear, int showBoundingBox) {
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

  if (clear) m_area->MakeCurrent();
  Sd_IOSupport reader(target);
  Sd_Node* last = reader.ReadSDFile(name);
  if (!last) {
    DiscardDetachedTree(target);
    return -1;
  }

  m_area->AdoptScene(target);
  Sd_Node::SetCoordinateType(SD_COORDS_UNDECIDED);
  last->SetShowBoundingBox(showBoundingBox);
  ComputeSceneBounds();
  m_area->UpdateGL();
  return 0;
}

int Qk_WorkAreaScene::SaveObject(Sd_Node* node, const char* name) {
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
  return 0;
}

// ---------------------------------------------------------------------------
// Vertical exaggeration and view matrix

float Qk_WorkAreaScene::GetVertExag() {
  if (!m_root) return 1.0f;
  return *m_root->GetScale('z');
}

void Qk_WorkAreaScene::SetVertExag(float exaggeration) {
  if (!m_root) return;
  // Zero, negative or non-finite values would flatten, mirror or poison
  // every transform of the scene.
  if (!std::isfinite(exaggeration) || !(exaggeration > 0.0f)) return;
  *m_root->GetScale('z') = exaggeration;
  if (Qk_GLOverlay* overlay = m_area->GetOverlay()) overlay->VertExagChanged();
  emit m_area->VertExagChangedSG();
}

void Qk_WorkAreaScene::SetViewMatrix(const Sv_Matrix4* matrix) {
  if (!matrix || !m_viewMatrix) return;
  *m_viewMatrix = *matrix;
  if (Qk_GLOverlay* overlay = m_area->GetOverlay()) overlay->SetViewMatrix(m_viewMatrix);
}
