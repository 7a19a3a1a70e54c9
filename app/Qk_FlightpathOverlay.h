#ifndef QK_FLIGHTPATHOVERLAY_H
#define QK_FLIGHTPATHOVERLAY_H

#include "Qk_GLOverlay.h"

// The flight-path player: the overlay that takes the navigator's place while
// the work area's camera path (its Movie) plays, and drives the view matrix
// frame by frame from the idle step.
//
// While it is the current overlay it holds one exploring period of the work
// area, so every idle step draws a whole frame; its camera is the work
// area's view matrix as it stands (ApplyCamera loads it). The frame step
// advances at most one movie frame per idle step and at most 30 frames per
// second of frame time (the work area's, or a fixed one set with
// SetFixedFrameTime), so a slow frame never skips movie frames. The first
// frame is shown when playing starts and every frame, the last one
// included, is shown for at least 1/30 s; after the last one the path
// starts again (loop) or the player stops.
//
// Stopping (the end of a path, a mouse or key press, the work area's stop
// slot) reinstalls the overlay the player displaced, normally the
// navigator, which goes on from the view the path left, and tells the work
// area (MovieStopped). The stopped player stays alive as the displaced
// overlay until the next install deletes it.
//
// Every frame comes from Movie::GetFrameMatrix, the matrix Movie::ApplyFrame
// loads into GL, so the player needs no GL context of its own.
class Qk_FlightpathOverlay : public Qk_GLOverlay {
 public:
  // Shortest time a movie frame stays on screen.
  static constexpr double kFrameInterval = 1.0 / 30.0;

  Qk_FlightpathOverlay();

  // --- virtual operations of the overlay ---
  ~Qk_FlightpathOverlay() override;
  // A copy of the work area's view matrix.
  Sv_Matrix4 GetViewMatrix() override;
  // Loads the work area's view matrix into the current GL matrix.
  void ApplyCamera() override;
  // Becoming current: elapsed time 0, one exploring period of the work area,
  // the movie rewound and its first frame shown.
  void Start() override;
  // Displaced: ends the exploring period.
  void Stop() override;
  // With stop on input, a press stops the playback; every press is
  // consumed (returns 1).
  int MousePress(Qk_GLEventRecord* event) override;
  // With stop on input, a key press stops the playback.
  void KeyPress(Qk_GLEventRecord* event) override;
  // The frame step (see the class comment).
  void IdleStep() override;

  // --- playback ---
  void Resume() { m_paused = 0; }
  void Pause() { m_paused = 1; }
  int GetPaused() const { return m_paused; }
  // At the end of the path start again instead of stopping.
  void SetLoop(int on) { m_loop = on; }
  int GetLoop() const { return m_loop; }
  void SetStopOnInput(int on) { m_stopOnInput = on; }
  int GetStopOnInput() const { return m_stopOnInput; }
  double GetElapsed() const { return m_elapsed; }
  // Reinstalls the overlay this player displaced (nothing to reinstall: the
  // player stays, paused), then the work area's MovieStopped.
  void StopPlaying();
  // The first frame, the last frame or frame n becomes current and is shown
  // at once (a redraw is requested while paused); the work area reports the
  // frame index (MovieFrameNumChanged). An index out of range keeps the
  // current frame.
  void RewindMovie();
  void GoToLastFrame();
  void SetFrame(int n);

 private:
  // The movie's current frame becomes the work area's view matrix.
  void ShowFrame();
  // ShowFrame, a redraw while paused, and the frame index reported.
  void ShowAndReport();

  int m_paused;
  int m_loop;
  double m_elapsed;
  int m_stopOnInput;
  // The exploring period this player holds (one at most).
  int m_exploring;
};

#endif
