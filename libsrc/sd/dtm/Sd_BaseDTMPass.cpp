// Terrain base class: the whole and progressive drawing passes over a
// model's visible window; the model enters its space and draws the strips.
#include <GL/gl.h>

#include <algorithm>

#include "Sd_BaseDTM.h"

namespace {

// Strips drawn upwards and downwards per progressive step.
constexpr int kStripsPerStep = 5;

}  // namespace

void Sd_BaseDTM::RestoreWindow(const WindowFields& w) {
  m_colStart = w.colStart;
  m_colEnd = w.colEnd;
  m_rowStart = w.rowStart;
  m_rowEnd = w.rowEnd;
  m_upRow = w.upRow;
  m_downRow = w.downRow;
}

int Sd_BaseDTM::AbandonStepPass() {
  CloseStepPass();
  SetDrawn(0);
  m_stepState = 0;
  SetRedrawPending(0);
  return 0;
}

void Sd_BaseDTM::DrawWholePass(const PassHooks& hooks) {
  const WindowFields window = KeepWindow();
  glPushMatrix();
  if (hooks.enter()) {
    BeginBlending();
    {
      Sd_StripArrays::ClientState arrays;
      const int s = m_lodStep;
      const int lastRow = m_rowEnd - 1;
      // Strips of the stride, then one up to the window's last row.
      for (int r = m_rowStart; r < lastRow; r += s) hooks.strip(r, std::min(r + s, lastRow), s);
    }
    if (hooks.finish) hooks.finish();
  }
  RestoreWindow(window);
  glPopMatrix();
  EndBlending();
}

int Sd_BaseDTM::StepPass(const PassHooks& hooks) {
  if (GetRedrawPending()) return AbandonStepPass();

  if (m_stepState == 0) {
    SetDrawn(0);
    glPushMatrix();
    ++m_pushCount;
    if (hooks.enter()) {
      BeginBlending();
      m_stepIncrement = GetBestPass() ? m_minStep : m_lodStep / 2;
      if (m_stepIncrement < 1) m_stepIncrement = 1;
      m_stepState = 1;
      m_downRow -= m_stepIncrement;
    } else {
      m_stepState = 2;
    }
    return GetDrawn();
  }

  if (m_stepState == 1) {
    // The grids may have been released since the pass began.
    if (HasDrawableGrids()) {
      const int s = m_stepIncrement;
      const int lastRow = m_rowEnd - 1;
      Sd_StripArrays::ClientState arrays;
      // Upwards from the centre row; the last strip ends at the window's
      // last row.
      for (int k = 0; k < kStripsPerStep && m_upRow < lastRow; ++k) {
        hooks.strip(m_upRow, std::min(m_upRow + s, lastRow), s);
        m_upRow += s;
      }
      // Downwards; the last strip begins at the window's first row.
      for (int k = 0; k < kStripsPerStep && m_downRow + s > m_rowStart; ++k) {
        hooks.strip(std::max(m_downRow, m_rowStart), m_downRow + s, s);
        m_downRow -= s;
      }
    }
    if (!HasDrawableGrids() || (m_upRow >= m_rowEnd - 1 && m_downRow + m_stepIncrement <= m_rowStart)) {
      m_stepState = 2;
    }
    return GetDrawn();
  }

  // State 2: the pass is finished.
  if (hooks.finish) hooks.finish();
  CloseStepPass();
  SetDrawn(1);
  m_stepState = 0;
  return GetDrawn();
}
