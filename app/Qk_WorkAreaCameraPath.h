#ifndef QK_WORKAREACAMERAPATH_H
#define QK_WORKAREACAMERAPATH_H

#include "Qk_WorkAreaPart.h"

class Qk_FlightpathOverlay;
class Qk_GLWorkArea;

// The camera path (movie) of the work area played and recorded. A
// flight-path player (Qk_FlightpathOverlay) takes the current overlay's
// place while it plays; the movie state is 0 stopped, 1 playing, 2 paused.
// A new player replaces a running one, so the overlay the first one
// displaced (the navigator) is never lost. Recording appends the current
// overlay's camera (RecordFrame) to the movie at most 30 times a second of
// drawn frames. The movie itself belongs to the scene.
class Qk_WorkAreaCameraPath : private Qk_WorkAreaPart {
 public:
  explicit Qk_WorkAreaCameraPath(Qk_GLWorkArea* area);

  // The work area's PlayMovie and its movie slots (PlayMovieSL is Play,
  // MovieStopped is PlayerStopped).
  int PlayMovie(int loop);
  void Play();
  void Pause();
  void Stop();
  void Rewind();
  void Clear();
  void PlayerStopped();
  void StartRecording();
  void StopRecording() { m_recording = 0; }

  // The recording step of a frame drawn at now (the renderer's clock):
  // records a movie frame when recording and due.
  void RecordingStep(double now);
  // Forgets when the last movie frame was recorded.
  void ResetRecordingClock();

  // 0 stopped, 1 playing, 2 paused.
  int GetMovieState() const { return m_movieState; }
  int GetRecording() const { return m_recording; }
  void SetRecording(int on) { m_recording = on; }
  // The player of a playing or paused movie; null when stopped.
  Qk_FlightpathOverlay* GetPlayer();
  // seconds > 0: the recording clock advances by that much with every
  // drawn frame instead of following the renderer's clock (tests: which
  // frames are recorded does not depend on the machine's speed); 0 or less:
  // the renderer's clock.
  void SetFixedRecordingStep(double seconds) { m_fixedRecordingStep = seconds; }

 private:
  int m_movieState;
  int m_recording;
  double m_lastRecordedTime;
  double m_fixedRecordingStep;
  double m_recordingClock;
};

#endif
