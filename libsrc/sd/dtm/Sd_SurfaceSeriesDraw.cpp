// Surface series: drawing the current frame through the frame view, frame
// stepping and picks.
#include <cstring>

#include "Sd_SeriesFrameView.h"
#include "Sd_SurfaceSeries.h"

void Sd_SurfaceSeries::PrepareView() {
  Sd_SeriesFrameView& view = *m_view;
  view.SetPosition(m_position[0], m_position[1], m_position[2]);
  view.SetRotation(m_rotation[0], m_rotation[1], m_rotation[2]);
  view.SetScale(m_scale[0], m_scale[1], m_scale[2]);
  for (int axis = 0; axis < 3; ++axis) view.SetBounds(axis, m_bounds[2 * axis], m_bounds[2 * axis + 1]);
  view.SetShowBoundingBox(m_showBoundingBox);
  memcpy(view.GetBoxTickSettings(), m_boxTicks, sizeof(m_boxTicks));
  if (m_viewFrame == m_frame || !m_frames || !m_frameColors) return;
  // The next frame of the same size: the view's row tables are re-pointed,
  // nothing is allocated.
  const size_t first = static_cast<size_t>(m_frame) * static_cast<size_t>(m_rows);
  m_viewFrame = view.HoldRows(m_frames + first, m_frameColors + first, m_rows, m_cols) == 0 ? m_frame : -1;
}

void Sd_SurfaceSeries::StepFrame() {
  if (!m_animate || m_frameCount < 1) return;
  if (m_frameDelay < 1 || m_frameCountdown < 1) {
    m_frame = m_frame + 1 >= m_frameCount ? 0 : m_frame + 1;
    if (m_frameCountdown < 1) m_frameCountdown = m_frameDelay;
  } else {
    --m_frameCountdown;
  }
}

void Sd_SurfaceSeries::Render() {
  PrepareView();
  m_view->Render();
  CallFrame();
  StepFrame();
}

int Sd_SurfaceSeries::StepRender() {
  PrepareView();
  // A pass abandoned on the series is abandoned in the view, which holds
  // the pass's matrix.
  if (GetRedrawPending()) {
    m_view->SetRedrawPending(1);
    SetRedrawPending(0);
  }
  const int finished = m_view->StepRender();
  SetDrawn(m_view->GetDrawn());
  return finished;
}

int Sd_SurfaceSeries::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  PrepareView();
  const int hit = m_view->QueryPoint(request, out);
  // The series answered, not its view.
  if (out && out->node == m_view) out->node = this;
  return hit;
}

int Sd_SurfaceSeries::ValueAt(double x, double y, int user) {
  PrepareView();
  return m_view->ValueAt(x, y, user);
}

double Sd_SurfaceSeries::GeoPickPoint(double x, double y, unsigned* colour) {
  PrepareView();
  return m_view->GeoPickPoint(x, y, colour);
}

int Sd_SurfaceSeries::Optimize() {
  PrepareView();
  return m_view->Optimize();
}

void Sd_SurfaceSeries::GetWindow(int* colStart, int* colEnd, int* rowStart, int* rowEnd) const {
  m_view->GetWindow(colStart, colEnd, rowStart, rowEnd);
}

void Sd_SurfaceSeries::GetViewCentre(const float projection[16], const float inverse[16], float* row,
                                     float* col) const {
  m_view->GetViewCentre(projection, inverse, row, col);
}

const float* Sd_SurfaceSeries::GetPickPosition() const { return m_view->GetPickPosition(); }
int Sd_SurfaceSeries::GetStepState() const { return m_view->GetStepState(); }
int Sd_SurfaceSeries::GetPushCount() const { return m_view->GetPushCount(); }
