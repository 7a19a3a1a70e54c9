// The flight-path player: plays the work area's camera path frame by frame
// from the idle step.
#include "Qk_FlightpathOverlay.h"

#include "Movie.h"
#include "Qk_GLWorkArea.h"
#include "Sv_Matrix4.h"

Qk_FlightpathOverlay::Qk_FlightpathOverlay()
    : m_paused(0), m_loop(0), m_elapsed(0.0), m_stopOnInput(1), m_exploring(0) {}

Qk_FlightpathOverlay::~Qk_FlightpathOverlay() {}

Sv_Matrix4 Qk_FlightpathOverlay::GetViewMatrix() {
  if (m_viewMatrix) return *m_viewMatrix;
  Sv_Matrix4 identity;
  identity.SetIdentity();
  return identity;
}

void Qk_FlightpathOverlay::ApplyCamera() {
  if (m_viewMatrix) m_viewMatrix->GLLoadMatrix();
}

void Qk_FlightpathOverlay::Start() {
  m_elapsed = 0.0;
  if (m_workArea && !m_exploring) {
    m_exploring = 1;
    m_workArea->BeginExploring();
  }
  if (m_movie && m_movie->Rewind() == 0) ShowFrame();
}

void Qk_FlightpathOverlay::Stop() {
  if (m_workArea && m_exploring) {
    m_exploring = 0;
    m_workArea->EndExploring();
  }
}

int Qk_FlightpathOverlay::MousePress(Qk_GLEventRecord*) {
  if (m_stopOnInput) StopPlaying();
  return 1;
}

void Qk_FlightpathOverlay::KeyPress(Qk_GLEventRecord*) {
  if (m_stopOnInput) StopPlaying();
}

void Qk_FlightpathOverlay::IdleStep() {
  if (!m_workArea || !m_movie) return;
  m_elapsed += FrameTime();
  if (m_paused) return;  // the time still accumulates
  if (!(m_elapsed > kFrameInterval)) return;
  m_elapsed = 0.0;

  const int current = m_movie->GetCurrentFrame();
  if (current >= 0 && m_movie->GoToFrame(current + 1) >= 0) {
    ShowFrame();
    m_workArea->MovieFrameNumChanged(m_movie->GetCurrentFrame());
    return;
  }
  // The last frame has had its time on screen (or the path was emptied).
  if (m_loop && m_movie->GetNumFrames() > 0) {
    RewindMovie();
  } else {
    StopPlaying();
  }
}

void Qk_FlightpathOverlay::StopPlaying() {
  Qk_GLWorkArea* area = m_workArea;
  if (!area) return;
  if (area->GetOverlay() == this) {
    // The overlay this player displaced (the navigator) goes on from the
    // view on screen; this player stays alive as the displaced overlay.
    if (Qk_GLOverlay* previous = area->GetDisplacedOverlay()) {
      area->InstallOverlay(previous);
    } else {
      Pause();
    }
  }
  area->MovieStopped();
}

void Qk_FlightpathOverlay::RewindMovie() {
  if (m_movie) m_movie->Rewind();
  ShowAndReport();
}

void Qk_FlightpathOverlay::GoToLastFrame() {
  if (m_movie) m_movie->GoToFrame(m_movie->GetNumFrames() - 1);
  ShowAndReport();
}

void Qk_FlightpathOverlay::SetFrame(int n) {
  if (m_movie) m_movie->GoToFrame(n);
  ShowAndReport();
}

void Qk_FlightpathOverlay::ShowFrame() {
  if (!m_movie || !m_viewMatrix) return;
  // The matrix Movie::ApplyFrame would load, in the layout LoadFromGL reads.
  float frame[16];
  if (m_movie->GetFrameMatrix(m_movie->GetCurrentFrame(), frame) != 0) return;
  float* view = m_viewMatrix->GetData();
  for (int i = 0; i < 16; ++i) view[i] = frame[i];
}

void Qk_FlightpathOverlay::ShowAndReport() {
  if (!m_movie) return;
  ShowFrame();
  if (!m_workArea) return;
  if (m_paused) m_workArea->UpdateGL();
  m_workArea->MovieFrameNumChanged(m_movie->GetCurrentFrame());
}
