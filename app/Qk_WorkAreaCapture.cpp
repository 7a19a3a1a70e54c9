// The work area's capture: saving the view as an image drawn in tiles
// (larger than the window), and saving and restoring the camera in view
// files.
#include "Qk_WorkAreaCapture.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"
#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "Sv_GLRaster.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"

namespace {

// The first line of a view file; readers skip it (up to this many
// characters, its new-line included) without comparing it.
const char kViewFileVersion[] = "2.0\n";
const int kVersionLineMax = 24;

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
  if (!path || !camera || !viewMatrix) {
    Sv_Debug::Error("Could not write to view file '%s'.", path ? path : "");
    return 0;
  }
  // Binary, so that no line-end translation touches the records; the old
  // file is replaced only when everything was written.
  Sv_AtomicFile out;
  FILE* file = out.Open(path, 1);
  bool ok = file != nullptr;
  ok = ok && std::fputs(kViewFileVersion, file) >= 0;
  ok = ok && camera->Write(file) == 0;
  ok = ok && viewMatrix->Write(file) == 0;
  ok = ok && out.Commit() == 0;
  if (!ok) {
    out.Discard();
    Sv_Debug::Error("Could not write to view file '%s'.", path);
    return 0;
  }
  return 1;
}

int Qk_WorkAreaCapture::LoadViewFile(const char* path) {
  Sv_Perspective* current = m_area->GetCamera();
  FILE* file = (path && current && m_area->GetViewMatrix()) ? Sv_UtlOpenForReading(path, SV_LEVEL_DEBUG) : nullptr;
  bool ok = file != nullptr;
  // The version line: up to its new-line, which must come within the first
  // characters (a file without one is not a view file).
  if (ok) {
    int length = 0;
    int ch = 0;
    while (length < kVersionLineMax && (ch = std::fgetc(file)) != EOF && ch != '\n') ++length;
    ok = ch == '\n';
  }
  // Both records go into temporaries; the view changes only when both are
  // complete and valid.
  Sv_Perspective camera = current ? *current : Sv_Perspective(0.0f, 0.0f, 50.0f, 6.4f, 0.25f);
  Sv_Matrix4 matrix;
  ok = ok && camera.Read(file, 1) == 0;
  ok = ok && matrix.Read(file, 1) == 0;
  if (ok) {
    const float* m = matrix.GetMatrixPTR();
    for (int i = 0; i < 16; ++i) ok = ok && std::isfinite(m[i]);
  }
  if (file) std::fclose(file);
  if (!ok) {
    Sv_Debug::Error("Could not read view file '%s'.", path ? path : "");
    return 0;
  }
  m_area->MakeCurrent();
  *current = camera;
  if (m_area->IsInitialised()) glMatrixMode(GL_MODELVIEW);
  m_area->SetViewMatrix(&matrix);
  m_area->UpdateGL();
  return 1;
}
