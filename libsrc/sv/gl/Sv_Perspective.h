#ifndef SV_PERSPECTIVE_H
#define SV_PERSPECTIVE_H

#include <cstdio>

// Views of Sv_Perspective::GetProjectionMatrix and GetFrustum.
enum {
  SV_VIEW_MONO = 0,
  SV_VIEW_LEFT = 1,
  SV_VIEW_RIGHT = 2
};

// The mono and stereo OpenGL camera.
//
// The camera models a viewer sitting in front of the window. Lengths the
// caller gives in centimetres are turned into display units (pixels) at
// 37.64706 pixels per centimetre. In display space the window's viewport is
// a rectangle centred on the origin in the plane z = 0, one unit per
// pixel; the viewer's (cyclopean) eye sits at E = (eye x, eye y, eye z) in
// front of it, so D = eye z is the viewing distance, and the camera looks
// down -z. The projection contains the translation by -E, so a model-view
// matrix that leaves a point at z = 0 shows it in the window plane, and a
// point at z = -5000 lies 5000 units behind the window.
//
// Mono: an off-axis frustum from E through the window rectangle, near plane
// at distance near scale x D from the eye, far plane at far (centimetres)
// from the eye. Orthographic: the window rectangle itself, extruded from
// the near to the far distance (one unit per pixel at every depth).
//
// Stereo: the eyes sit at E -/+ (separation / 2, 0, 0). Each eye's frustum
// passes through the same window rectangle, so the window plane is the
// zero-parallax plane; a point at infinity straight ahead is seen the
// separation apart by the two eyes. In split-screen stereo (full frustum 0)
// each eye's rectangle is half the viewport's width, as each eye is drawn
// into one half; with full frustum 1 each eye uses the whole viewport.
// Before the eye transform the scene is scaled by the stereo scale k about
// the cyclopean eye, which leaves the picture of the cyclopean eye unchanged
// and moves depth relative to the zero-parallax plane. With the automatic
// ("cyclopean") scale on, UpdateCyclopeanScale reads the depth under the
// centre of the left eye's picture and chooses k so that this point lies
// base scale centimetres from the eyes (with the default 50 cm, in the
// zero-parallax plane). The new k takes effect at the next left-eye
// projection, so both eyes of one frame always use the same scale.
//
// Every Set...Projection call loads the GL projection matrix and leaves GL
// in model-view matrix mode; the model-view matrix itself is not touched.
class Sv_Perspective {
 public:
  // Display units (pixels) per centimetre.
  static constexpr double kPixelsPerCm = 37.64706;
  static constexpr float kDefaultBaseScale = 50.0f;
  // The camera's defaults, which the viewer's camera is made with: the eye
  // 50 cm in front of the window, the eyes 6.4 cm apart, stereo near scale
  // 0.25; mono clip planes at 0.01 of the viewing distance and 250000 cm;
  // the stereo far plane at 1e9 cm.
  static constexpr float kDefaultEyeDistanceCm = 50.0f;
  static constexpr float kDefaultEyeSeparationCm = 6.4f;
  static constexpr float kDefaultStereoNearScale = 0.25f;
  static constexpr float kDefaultNearScale = 0.01f;
  static constexpr float kDefaultFarCm = 250000.0f;
  static constexpr float kDefaultStereoFarCm = 1e9f;
  // The default viewing distance in display units (pixels).
  static constexpr double kDefaultEyeDistance = kDefaultEyeDistanceCm * kPixelsPerCm;
  // Size assumed until UpdateViewport reads the real viewport.
  static constexpr int kDefaultViewportWidth = 640;
  static constexpr int kDefaultViewportHeight = 480;

  // Eye position and separation in centimetres; stereo near scale as for
  // SetStereoClipPlanes. Mono clip planes start at (0.01, 250000), the
  // stereo far plane at 1e9 cm, base scale 50, stereo scale 1, automatic
  // scale off, perspective, split-screen frusta. An eye z that is not
  // positive, a negative separation or a stereo near scale that is not
  // positive is replaced by its default (50, 6.4, 0.25) with a warning.
  Sv_Perspective(float eyeX, float eyeY, float eyeZ, float eyeSeparation, float stereoNearScale);

  // Load the projection of the mono view or of one stereo eye.
  void SetMonoProjection();
  void SetLeftEyeProjection();
  void SetRightEyeProjection();

  // Loads the projection of one tile of a tiles x tiles division of the
  // mono view; column 0 is the left, row 0 the bottom row of tiles (the
  // order of GL window coordinates). Drawn side by side, the tiles give the
  // mono picture at tiles times its size. Ends in model-view matrix mode.
  // Returns 0, or -1 (GL untouched) when tiles < 1 or a tile index is out
  // of range.
  int SetTileFrustum(int tiles, int column, int row);

  // Reads GL_VIEWPORT and recomputes the frustums. Call it while the
  // viewport covers the whole window (after a resize or a stereo switch);
  // in split-screen stereo each eye uses half of that width.
  void UpdateViewport();
  int GetViewportWidth() const { return m_width; }
  int GetViewportHeight() const { return m_height; }

  // The eye's distance from the window (display units).
  double ViewingDistance() const;

  // Orthographic projection instead of perspective (non-zero = on).
  void SetOrtho(int on);
  int GetOrtho() const { return m_ortho; }
  // 1: each stereo eye uses the whole viewport (quad-buffered stereo);
  // 0: half its width (split screen).
  void SetFullFrustum(int on);
  int GetFullFrustum() const { return m_fullFrustum; }

  // Mono and stereo clip planes: the near plane at near scale times the
  // viewing distance from the eye, the far plane far centimetres from the
  // eye. Returns 0, or -1 with a warning and nothing changed when a value
  // is not finite, the near scale is not positive or the far plane does
  // not lie beyond the near plane.
  int SetClipPlanes(float nearScale, float farCm);
  int SetStereoClipPlanes(float nearScale, float farCm);
  // out[0] near scale, out[1] far plane (centimetres).
  void GetClipPlanes(float out[2]) const;

  // Depth precision for the scene in view: the caller tells the camera how
  // far from the eye (display units) nothing it draws lies nearer, and the
  // near plane of every perspective view moves out to that distance (never
  // nearer than the clip-plane settings put it). The depth buffer resolves
  // depth in proportion to the near distance, so surfaces a hair apart far
  // behind the window stay apart. 0 (or a value that is not finite and
  // positive, or not well short of the far plane) keeps the settings'
  // planes. Not part of the view record.
  void SetNearLimit(double distance);
  double GetNearLimit() const { return m_nearLimit; }
  void GetStereoClipPlanes(float out[2]) const;

  // Reads the depth under the centre of the viewport that the last
  // SetLeftEyeProjection drew into and chooses the stereo scale that puts
  // that point base scale centimetres from the eyes; it takes effect at
  // the next SetLeftEyeProjection. Returns 0 when a new scale was chosen,
  // -1 when the automatic scale is off, no left eye has been projected
  // since it was switched on, the view is orthographic or only background
  // lies there (the scale stays as it is).
  int UpdateCyclopeanScale();
  void EnableCyclopeanScale();
  // Also returns the stereo scale to 1.
  void DisableCyclopeanScale();
  int IsCyclopeanScale() const { return m_cyclopean; }
  // The stereo scale k in use for the eye projections (1 when unscaled),
  // and the one the next left-eye projection will use.
  float GetStereoScale() const { return m_stereoScale; }
  float GetPendingStereoScale() const { return m_pendingScale; }
  // The scale the automatic one chooses when the point under the centre
  // lies distance display units from the eyes in the unscaled scene
  // (clamped to the scales a view record may hold).
  float ScaleForDistance(double distance) const;
  // Uses the stereo scale k from now on, in the eye projections and at the
  // next left-eye projection; -1 (unchanged) for a k out of that range.
  int SetStereoScale(float k);

  // Distance in centimetres from the eyes at which the automatic stereo
  // scale places the point under the centre of the view. Returns 0, or -1
  // (unchanged) for a value that is not finite and positive.
  int SetBaseScale(float scale);
  float GetBaseScale() const { return m_baseScale; }

  // The camera's binary view record (docs/file-formats.md, "Camera view
  // record"): 60 bytes, little-endian. Write returns 0, or -1 when the file
  // is null or the write fails. Read takes the record in the given byte
  // order (1 as Write writes it, 0 big-endian) and returns 0; a null file,
  // a short or unknown record or an invalid value gives -1 with a message,
  // and the camera is left unchanged.
  int Write(FILE* file) const;
  int Read(FILE* file, int byteOrder = 1);

  // The projection the Set...Projection call of a view would load
  // (SV_VIEW_MONO, SV_VIEW_LEFT, SV_VIEW_RIGHT), column-major as OpenGL
  // takes it, computed without GL. The eye views use the scale in use now.
  // An unknown view gives the mono projection.
  void GetProjectionMatrix(int view, double out[16]) const;
  // Frustum of a view in eye coordinates: left, right, bottom, top at the
  // near plane, near and far distance (display units); for an orthographic
  // view the box's sides. An unknown view gives the mono frustum.
  void GetFrustum(int view, double out[6]) const;

 private:
  void Recompute();
  void EyeMatrix(int view, double scale, double out[16]) const;
  void LoadProjection(const double m[16]) const;

  float m_eye[3];            // cm
  float m_eyeSeparation;     // cm
  float m_nearScale;         // mono
  float m_far;               // mono, cm
  float m_stereoNearScale;
  float m_stereoFar;         // cm
  float m_baseScale;         // cm
  float m_stereoScale;       // k used by the eye projections
  float m_pendingScale;      // k for the next left-eye projection
  int m_ortho;
  int m_fullFrustum;
  int m_cyclopean;
  int m_width;
  int m_height;
  double m_nearLimit;        // display units from the eye, 0 for none
  double m_frustum[3][6];    // mono, left, right
  int m_leftViewport[4];     // where the last left eye was drawn
  int m_leftValid;
  double m_leftNear;         // frustum depth range used for that eye
  double m_leftFar;
};

#endif
