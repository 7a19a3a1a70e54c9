// The work area's camera paths: the movie slots, their state machine and
// recording.
#include "Movie.h"
#include "Qk_FlightpathOverlay.h"
#include "Qk_GLWorkArea.h"

namespace {

enum { MOVIE_STOPPED = 0, MOVIE_PLAYING = 1, MOVIE_PAUSED = 2 };

}  // namespace

Qk_FlightpathOverlay* Qk_GLWorkArea::GetPlayer() {
  if (m_movieState == MOVIE_STOPPED) return nullptr;
  Qk_FlightpathOverlay* player = dynamic_cast<Qk_FlightpathOverlay*>(m_overlay);
  // A player that another overlay displaced plays no more.
  if (!player) m_movieState = MOVIE_STOPPED;
  return player;
}

int Qk_GLWorkArea::PlayMovie(int loop) {
  if (!m_movie || m_movie->GetNumFrames() == 0) return -1;
  Qk_FlightpathOverlay* player = new Qk_FlightpathOverlay();
  player->SetLoop(loop);
  // A second player takes the first one's place: installed over it, it
  // would make the first the displaced overlay and delete the navigator.
  if (dynamic_cast<Qk_FlightpathOverlay*>(m_overlay)) {
    ReplaceOverlay(player);
  } else {
    InstallOverlay(player);
  }
  player->Resume();
  m_movieState = MOVIE_PLAYING;
  emit MovieStartedSG();
  return 0;
}

void Qk_GLWorkArea::PlayMovieSL() {
  if (!m_movie || m_movie->GetNumFrames() == 0) return;
  Qk_FlightpathOverlay* player = GetPlayer();
  if (m_movieState == MOVIE_PAUSED) {
    player->Resume();
    m_movieState = MOVIE_PLAYING;
    emit MovieStartedSG();
  } else if (m_movieState == MOVIE_STOPPED) {
    PlayMovie(0);
  }
}

void Qk_GLWorkArea::PauseMovieSL() {
  Qk_FlightpathOverlay* player = GetPlayer();
  if (m_movieState != MOVIE_PLAYING) return;
  player->Pause();
  m_movieState = MOVIE_PAUSED;
  emit MoviePausedSG();
}

void Qk_GLWorkArea::StopMovieSL() {
  Qk_FlightpathOverlay* player = GetPlayer();
  if (!player) return;
  player->StopPlaying();
  m_movieState = MOVIE_STOPPED;
  emit MovieStoppedSG();
}

void Qk_GLWorkArea::RewindMovieSL() {
  if (Qk_FlightpathOverlay* player = GetPlayer()) player->RewindMovie();
}

void Qk_GLWorkArea::ClearMovieSL() {
  if (m_movie) m_movie->Clear();
}

void Qk_GLWorkArea::MovieFrameNumChanged(SVint n) { emit MovieFrameChangedSG(n); }

void Qk_GLWorkArea::MovieStopped() {
  m_movieState = MOVIE_STOPPED;
  emit MovieStoppedSG();
}

void Qk_GLWorkArea::StartRecordingMovieSL() {
  if (m_recording) return;
  if (Qk_FlightpathOverlay* player = GetPlayer()) {
    // Recording goes on from the frame on screen: the overlay the player
    // displaced (the navigator) takes over the view matrix as it stands.
    m_movieState = MOVIE_STOPPED;
    if (m_displacedOverlay) {
      InstallOverlay(m_displacedOverlay);
    } else {
      player->Pause();
    }
    if (m_movie) m_movie->DeleteAfterCurrent();
  } else if (m_movie && m_movie->GetNumFrames() > 0) {
    // New frames follow the last one.
    emit MovieFrameChangedSG(m_movie->GoToFrame(m_movie->GetNumFrames() - 1));
  }
  m_recording = 1;
}

void Qk_GLWorkArea::StopRecordingMovieSL() { m_recording = 0; }
