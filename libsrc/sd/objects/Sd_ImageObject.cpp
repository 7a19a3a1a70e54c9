// Shared by the image objects: image and texture, class file, the detail
// test, drawing whole or one tile per step, and picking.
#include "Sd_ImageObject.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "Sv_Matrix4.h"
#include "Sv_Stdio.h"
#include "Sv_TexturedSurface.h"
#include "Sv_Types.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace {

// Pixels at which the alpha test starts to let a pixel through.
constexpr float kAlphaThreshold = 0.95f;
// Below this many pixels on both sides the full tiles always draw.
constexpr int kSmallSide = 256;

}  // namespace

Sd_ImageObject::Sd_ImageObject()
    : m_width(0),
      m_height(0),
      m_mode(0),
      m_alphaTest(0),
      m_stage(0),
      m_tileRow(0),
      m_tileColumn(0),
      m_tileCounter(0),
      m_matrixPushed(0),
      m_detail(0),
      m_alphaInPass(0),
      m_screenBox{-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f} {}

Sd_ImageObject::~Sd_ImageObject() { Sd_ImageObject::FreeData(); }

void Sd_ImageObject::FreeData() {
  m_width = 0;
  m_height = 0;
  // The texture shows the image: it goes first.
  m_texture.reset();
  m_image.reset();
}

void Sd_ImageObject::ReadClassFile(const char* name) { Sv_UtlReadConfigInt(name, 3, &m_mode); }

void Sd_ImageObject::NewImage() {
  FreeData();
  m_image.reset(new Sv_ImageIO());
  m_texture.reset(new Sv_TexturedSurface());
}

void Sd_ImageObject::ShowImage() {
  if (!m_image || !m_texture) return;
  m_width = m_image->GetWidth();
  m_height = m_image->GetHeight();
  m_texture->SetImage(m_image.get());
  if (m_mode == 0 && m_texture->GetNumTilesX() * m_texture->GetNumTilesY() > kMaxAutoTiles) m_mode = 1;
}

bool Sd_ImageObject::ReadImageFile(const char* path, const char* errorText, bool withPath) {
  const char* file = path ? path : "";
  if (file[0]) Sv_Debug::Message(SV_LEVEL_DEBUG, "Image File = ", file);
  SetDescription(file);
  if (m_image->ReadImage(file, SV_IMAGE_DETECT, 0) == -1) {
    Sv_Debug::Message(SV_LEVEL_ERROR, errorText, withPath ? file : nullptr);
    FreeData();
    return false;
  }
  return true;
}

int Sd_ImageObject::WriteImageAndBox(TDR_Manager* manager) {
  if (!m_image || m_image->SaveToTDR(manager) != 0) return -1;
  return TDR_GeoRef::WriteBoundsRecord(manager, m_bounds);
}

int Sd_ImageObject::ResetSettings() {
  m_mode = 2;
  return 1;
}

// --- drawing ---

void Sd_ImageObject::SetUp() {
  ApplyTransform();
  DrawBoundingBox();
  glEnable(GL_DEPTH_TEST);
  if (m_alphaTest) {
    glAlphaFunc(GL_GEQUAL, kAlphaThreshold);
    glEnable(GL_ALPHA_TEST);
  }
  PlaceImage();
}

void Sd_ImageObject::EndAlphaTest(int on) {
  if (on) glDisable(GL_ALPHA_TEST);
}

int Sd_ImageObject::DetailTest() {
  const Sd_DTMView view = FrameState().CurrentView();
  float combined[16];
  float inverse[16];
  MultMatrix4(combined, view.projection, view.modelview);
  // A singular view gives an all-zero inverse: the whole box counts.
  InvertMatrix4(inverse, combined);
  const float unit[6] = {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f};
  if (ComputeVisibleBox(combined, inverse, unit, m_screenBox) == 0) return 0;
  if (m_mode != 0) {
    m_detail = 0;
    return 1;
  }
  if (m_width < kSmallSide && m_height < kSmallSide) {
    m_detail = 1;
    return 1;
  }
  const float size = EstimateScreenSize(combined, m_screenBox);
  int a = 0;
  int b = 0;
  ScreenMeasures(m_screenBox, &a, &b);
  unsigned flags = GetDetailFlags();
  m_detail = NeedsReduction(size, a, b, view.viewport[2], view.viewport[3], GetDetailBudget(), &flags);
  SetDetailFlags(flags);
  return 1;
}

void Sd_ImageObject::DrawChosen() {
  if (m_mode == 2 || (m_mode == 0 && m_detail == 1)) {
    m_texture->DrawTiles();
  } else {
    m_texture->Draw();
  }
}

void Sd_ImageObject::Render() {
  if (!m_texture) return;
  glPushMatrix();
  SetUp();
  if (DetailTest()) {
    glColor3f(1.0f, 1.0f, 1.0f);
    DrawChosen();
  }
  EndAlphaTest(m_alphaTest);
  glPopMatrix();
}

int Sd_ImageObject::StepRender() {
  if (!m_texture) {
    SetDrawn(1);
    return 1;
  }
  if (GetRedrawPending()) {
    // The pass was abandoned: give back what it held.
    if (m_matrixPushed) glPopMatrix();
    EndAlphaTest(m_alphaInPass);
    m_matrixPushed = 0;
    m_tileCounter = 0;
    m_stage = 0;
    SetDrawn(0);
    SetRedrawPending(0);
    return 0;
  }
  if (!GetBestPass()) {
    Render();
    SetDrawn(1);
    m_stage = 0;
    return 1;
  }
  switch (m_stage) {
    case 0:
      SetDrawn(0);
      glPushMatrix();
      ++m_matrixPushed;
      m_tileRow = m_tileColumn = m_tileCounter = 0;
      m_alphaInPass = m_alphaTest;
      SetUp();
      glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
      if (!DetailTest()) {
        m_stage = 2;
      } else if (m_detail == 2) {
        m_texture->Draw();
        m_stage = 2;
      } else {
        m_stage = 1;
      }
      return 0;
    case 1: {
      const int across = m_texture->GetNumTilesX();
      const int down = m_texture->GetNumTilesY();
      if (m_tileRow < down && m_tileColumn < across) {
        m_texture->DrawTile(m_tileRow, m_tileColumn);
        ++m_tileCounter;
        m_tileRow = m_tileCounter / across;
        m_tileColumn = m_tileCounter % across;
        return 0;
      }
      m_stage = 2;
      return 0;
    }
    default:
      EndAlphaTest(m_alphaInPass);
      m_alphaInPass = m_alphaTest;
      if (m_matrixPushed) glPopMatrix();
      SetDrawn(1);
      m_matrixPushed = 0;
      m_stage = 0;
      return 1;
  }
}

// --- picking ---

int Sd_ImageObject::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  float w[3] = {0.0f, 0.0f, 0.0f};
  glPushMatrix();
  ApplyTransform();
  const bool hit = PickInFrame(request, w);
  glPopMatrix();
  if (!hit || !out) return 0;
  for (float v : w) {
    if (!(std::fabs(v) <= 0.5f)) return 0;
  }
  float p[3];
  for (int axis = 0; axis < 3; ++axis) {
    const float lo = m_bounds[2 * axis];
    const float hi = m_bounds[2 * axis + 1];
    p[axis] = (w[axis] + 0.5f) * (hi - lo) + lo;
  }
  out->x = p[0];
  out->y = p[1];
  out->z = p[2];
  out->pointIndex = -1;
  out->node = this;
  out->found = 1;
  return 1;
}
