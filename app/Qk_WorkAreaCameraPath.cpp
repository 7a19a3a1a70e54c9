// The work area's camera path: the movie slots, their state machine and
// recording.
#include "Qk_WorkAreaCameraPath.h"

#include "Movie.h"
#include "Qk_FlightpathOverlay.h"
#include "Qk_GLWorkArea.h"

namespace {

enum { MOVIE_STOPPED = 0, MOVIE_PLAYING = 1, MOVIE_PAUSED = 2 };
// Movie frames are recorded at most this often.
const double kRecordInterval = 1.0 / 30.0;

}  // namespace

Qk_WorkAreaCameraPath::Qk_WorkAreaCameraPath(Qk_GLWorkArea* area)
    : Qk_WorkAreaPart(area),
      m_movieState(MOVIE_STOPPED),
      m_recording(0),
      m_lastRecordedTime(0.0),
      m_fixedRecordingStep(0.0),
      m_recordingClock(0.0) {}

Qk_FlightpathOverlay* Qk_WorkAreaCameraPath::GetPlayer() {
  if (m_movieState == MOVIE_STOPPED) return nullptr;
  Qk_FlightpathOverlay* player = dynamic_cast<Qk_FlightpathOverlay*>(m_area->GetOverlay());
  // A player that another overlay displaced plays no more.
  if (!player) m_movieState = MOVIE_STOPPED;
  return player;
}

int Qk_WorkAreaCameraPath::PlayMovie(int loop) {
  Movie* movie = m_area->GetMovie();
  if (!movie || movie->GetNumFrames() == 0) return -1;
  Qk_FlightpathOverlay* player = new Qk_FlightpathOverlay();
  player->SetLoop(loop);
  // A second player takes the first one's place: installed over it, it
  // would make the first the displaced overlay and delete the navigator.
  if (dynamic_cast<Qk_FlightpathOverlay*>(m_area->GetOverlay())) {
    m_area->GetOverlays().ReplaceOverlay(player);
  } else {
    m_area->InstallOverlay(player);
  }
  player->Resume();
  m_movieState = MOVIE_PLAYING;
  emit m_area->MovieStartedSG();
  return 0;
}

void Qk_WorkAreaCameraPath::Play() {
  Movie* movie = m_area->GetMovie();
  if (!movie || movie->GetNumFrames() == 0) return;
  Qk_FlightpathOverlay* player = GetPlayer();
  if (m_movieState == MOVIE_PAUSED) {
    player->Resume();
    m_movieState = MOVIE_PLAYING;
    emit m_area->MovieStartedSG();
  } else if (m_movieState == MOVIE_STOPPED) {
    PlayMovie(0);
  }
}

void Qk_WorkAreaCameraPath::Pause() {
  Qk_FlightpathOverlay* player = GetPlayer();
  if (m_movieState != MOVIE_PLAYING) return;
  player->Pause();
  m_movieState = MOVIE_PAUSED;
  emit m_area->MoviePausedSG();
}

void Qk_WorkAreaCameraPath::Stop() {
  Qk_FlightpathOverlay* player = GetPlayer();
  if (!player) return;
  player->StopPlaying();
  m_movieState = MOVIE_STOPPED;
  emit m_area->MovieStoppedSG();
}

void Qk_WorkAreaCameraPath::Rewind() {
  if (Qk_FlightpathOverlay* player = GetPlayer()) player->RewindMovie();
}

void Qk_WorkAreaCameraPath::Clear() {
  if (Movie* movie = m_area->GetMovie()) movie->Clear();
}

void Qk_WorkAreaCameraPath::PlayerStopped() {
  m_movieState = MOVIE_STOPPED;
  emit m_area->MovieStoppedSG();
}

void Qk_WorkAreaCameraPath::StartRecording() {
  if (m_recording) return;
  Movie* movie = m_area->GetMovie();
  if (Qk_FlightpathOverlay* player = GetPlayer()) {
    // Recording goes on from the frame on screen: the overlay the player
    // displaced (the navigator) takes over the view matrix as it stands.
    m_movieState = MOVIE_STOPPED;
    if (Qk_GLOverlay* displaced = m_area->GetDisplacedOverlay()) {
      m_area->InstallOverlay(displaced);
    } else {
      player->Pause();
    }
    if (movie) movie->DeleteAfterCurrent();
  } else if (movie && movie->GetNumFrames() > 0) {
    // New frames follow the last one.
    emit m_area->MovieFrameChangedSG(movie->GoToFrame(movie->GetNumFrames() - 1));
  }
  m_recording = 1;
}

// ---------------------------------------------------------------------------
// Recording clock

void Qk_WorkAreaCameraPath::RecordingStep(double now) {
  Qk_GLOverlay* overlay = m_area->GetOverlay();
  if (!m_recording || !overlay) return;
  if (m_fixedRecordingStep > 0.0) {
    m_recordingClock += m_fixedRecordingStep;
    now = m_recordingClock;
  }
  if (now - m_lastRecordedTime <= kRecordInterval) return;
  overlay->RecordFrame();
  m_lastRecordedTime = now;
  Movie* movie = m_area->GetMovie();
  emit m_area->MovieFrameChangedSG(movie ? movie->GetCurrentFrame() : -1);
}

void Qk_WorkAreaCameraPath::ResetRecordingClock() {
  m_lastRecordedTime = 0.0;
  m_recordingClock = 0.0;
}
