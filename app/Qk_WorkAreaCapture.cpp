// The work area's capture: saving the view as an image drawn in tiles
// (larger than the window), and saving and restoring the camera in view
// files.
#include "Qk_WorkAreaCapture.h"

#include <GL/gl.h>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"
#include "Sv_Debug.h"
#include "Sv_GLRaster.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"
#include "ViewFile.h"

namespace {

// Saves what a tile loop changes and puts it back on every path out: the
// root's detail settings (full detail while tiles are drawn), the draw
// buffer and the viewport; the destructor asks for a redraw.
class CaptureScope {
 public:
  CaptureScope(Qk_GLWorkArea* area, GLenum drawBuffer) : m_area(area), m_drawBuffer(drawBuffer) {
    glGetIntegerv(GL_VIEWPORT, m_viewport);
    if (Sd_Node* root = m_area->GetRoot()) {
      root->SaveSettings();
      root->ResetSettings();
    }
  }
  ~CaptureScope() {
    if (Sd_Node* root = m_area->GetRoot()) root->RestoreSettings();
    glViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
    m_area->SelectDrawBuffer(m_drawBuffer);
    m_area->UpdateGL();
  }
  CaptureScope(const CaptureScope&) = delete;
  CaptureScope& operator=(const CaptureScope&) = delete;

 private:
  Qk_GLWorkArea* m_area;
  GLenum m_drawBuffer;
  GLint m_viewport[4];
};

}  // namespace

// ---------------------------------------------------------------------------
// Tiled drawing

int Qk_WorkAreaCapture::CheckTileGrid(int n, const char* who) {
  if (!m_area->IsInitialised() || !m_area->GetCamera()) {
    Sv_Debug::Error("%s: the view is not ready.", who);
    return -1;
  }
  const long long w = m_area->GetWidth();
  const long long h = m_area->GetHeight();
  if (n < 1) {
    Sv_Debug::Error("%s: the tile count %d must be at least 1.", who, n);
    return -1;
  }
  // In 64 bits: n times a window side must stay within the raster's side
  // limit, and the RGBA picture within its byte limit and the image cap.
  const long long width = w * n;
  const long long height = h * n;
  if (w < 1 || h < 1 || n > Sv_2DData::kMaxSide || width > Sv_2DData::kMaxSide ||
      height > Sv_2DData::kMaxSide ||
      static_cast<unsigned long long>(width * height * 4) > static_cast<unsigned long long>(Sv_2DData::kMaxBytes) ||
      width * height > Sv_ImageIO::GetMaxPixels()) {
    Sv_Debug::Error("%s: an image of %d x %d tiles of %lld x %lld pixels is too large.", who, n, n, w, h);
    return -1;
  }
  return 0;
}

void Qk_WorkAreaCapture::DrawTiles(int n, Sv_GLRaster* raster, bool infoAfterEveryTile) {
  const int w = m_area->GetWidth();
  const int h = m_area->GetHeight();
  glViewport(0, 0, w, h);
  // A frame buffer object has one colour buffer: it is read as it stands.
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      const float s = m_area->GetGlobalScale();
      glMatrixMode(GL_MODELVIEW);
      glPushMatrix();
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      m_area->GetCamera()->SetTileFrustum(n, c, r);
      if (Qk_GLOverlay* overlay = m_area->GetOverlay()) overlay->ApplyCamera();
      glMatrixMode(GL_MODELVIEW);
      m_area->ApplyLights();
      m_area->RenderTree(s);
      m_area->DrawOutline(1);
      glMatrixMode(GL_MODELVIEW);
      glPopMatrix();
      if (infoAfterEveryTile || (r == n - 1 && c == n - 1)) emit m_area->Render2DInfoSG();
      glFlush();
      if (raster) raster->LoadFromViewport(c * w, r * h);
    }
  }
}

int Qk_WorkAreaCapture::CaptureImage(const char* fileName, int fileType, int n) {
  if (CheckTileGrid(n, "CaptureImage") != 0) return -1;
  m_area->MakeCurrent();
  // A pass in progress would go on drawing into the tiles: abandon it (the
  // redraw at the end starts afresh).
  if (m_area->IsRunning()) m_area->RestartPasses();
  int result = -1;
  {
    CaptureScope scope(m_area, m_area->GetDrawBuffer());
    Sv_GLRaster raster(m_area->GetWidth() * n, m_area->GetHeight() * n, nullptr, 2);
    if (raster.GetData()) {
      m_area->SelectDrawBuffer(GL_FRONT);
      DrawTiles(n, &raster, false);
      result = raster.WriteImage(fileName, fileType, 0);
    }
  }
  return result;
}

int Qk_WorkAreaCapture::RenderTiles(int n) {
  if (CheckTileGrid(n, "RenderTiles") != 0) return -1;
  m_area->MakeCurrent();
  if (m_area->IsRunning()) m_area->RestartPasses();
  CaptureScope scope(m_area, m_area->GetDrawBuffer());
  m_area->SelectDrawBuffer(GL_FRONT);
  DrawTiles(n, nullptr, true);
  return 0;
}

// ---------------------------------------------------------------------------
// View files

int Qk_WorkAreaCapture::SaveViewFile(const char* path) {
  Sv_Perspective* camera = m_area->GetCamera();
  Sv_Matrix4* viewMatrix = m_area->GetViewMatrix();
  if (!path || !camera || !viewMatrix || !ViewFile::Write(path, *camera, *viewMatrix)) {
    Sv_Debug::Error("Could not write to view file '%s'.", path ? path : "");
    return 0;
  }
  return 1;
}

int Qk_WorkAreaCapture::LoadViewFile(const char* path) {
  Sv_Perspective* current = m_area->GetCamera();
  // The view changes only when both records are complete and valid.
  Sv_Matrix4 matrix;
  if (!current || !m_area->GetViewMatrix() || !ViewFile::Read(path, current, &matrix)) {
    Sv_Debug::Error("Could not read view file '%s'.", path ? path : "");
    return 0;
  }
  m_area->MakeCurrent();
  if (m_area->IsInitialised()) glMatrixMode(GL_MODELVIEW);
  m_area->SetViewMatrix(&matrix);
  m_area->UpdateGL();
  return 1;
}
