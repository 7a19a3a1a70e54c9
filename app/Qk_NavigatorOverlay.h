#ifndef QK_NAVIGATOROVERLAY_H
#define QK_NAVIGATOROVERLAY_H

#include <QPointer>

#include "Qk_GLOverlay.h"
#include "Sv_Perspective.h"

class Qk_NavControl;
class Qk_NavDial;

// The overlay the main window installs at start-up: it owns the viewer's
// orbit camera (a centre point, a tilt about x, a heading about z and a zoom
// factor), turns the mouse into camera motion, draws the heading and tilt
// dials over the scene and records camera-path frames.
//
// Navigation is rate-based. A press only arms a mode (an axis-locked left
// drag turns the heading or the tilt, a middle drag zooms, a dial held by
// the left button drives its angle or, for the cone, the vertical
// exaggeration, a middle click re-centres, a thrown dial spins); every
// armed mode holds one exploring period of the work area, so its idle
// steps run and redraw at full rate, and IdleStep then moves the camera by
// rate x (pointer offset from the press point) x frame time. The frame time
// is the work area's (seconds since the previous frame, at most 0.5 s)
// unless a fixed one is set (SetFixedFrameTime), which makes a drag
// reproducible.
//
// The camera (ApplyCamera) is, from the eye: 5000 units behind the window,
// the tilt about x, the heading about z, the zoom, and the centre moved to
// the origin. GetViewMatrix computes the same matrix without GL, so Reset
// works before the work area's context exists (the first install).
//
// The dials are drawn after the scene in a frame of their own (5000 units
// behind the window, scaled by 2.23 x the smaller window side, at most 700,
// and less where the dials would not fit into the view whole; see
// DialFrameScale): the tilt dial lies across the view, the heading dial
// stands on the scene's vertical axis and leans with the tilt. No part of
// the scene hides them, and their labels carry a dark outline. For georeferenced scenes
// they carry the ground (tilt dial) and height (heading dial) distances that
// 0.91 dial units cover at the current zoom and exaggeration.
class Qk_NavigatorOverlay : public Qk_GLOverlay {
 public:
  // Camera constants.
  static constexpr double kOrbitDistance = 5000.0;
  static constexpr double kEyeDistance = Sv_Perspective::kDefaultEyeDistance;  // the camera's, in pixels
  static constexpr double kMinZoom = 1e-7;
  // Locked axes.
  enum { AXIS_NONE = 0, AXIS_HEADING = 1, AXIS_TILT = 2 };
  // Scroll-bar modes, by the widget's object name.
  enum { SCROLL_NONE = 0, SCROLL_LEFT = 1, SCROLL_BOTTOM = 2, SCROLL_RIGHT = 3 };

  Qk_NavigatorOverlay();

  // --- virtual operations of the overlay ---
  ~Qk_NavigatorOverlay() override;
  // Tilt -60, heading 0, zoom 1, centre at the origin; the dials follow and
  // the work area's view matrix becomes the camera's. Every motion stops
  // first: drags, spinning dials, a re-centring and a held scroll bar end
  // with their exploring periods. Touches no GL.
  int Reset() override;
  // In the orbit camera, sets the largest zoom up to the reset view's (1)
  // at which the scene's box as drawn lies inside the view, in mono or in
  // each eye's view in stereo, with a margin all round; tilt, heading and
  // centre stay. With the automatic stereo scale on, the camera's scale
  // becomes the one for the view's turning point first, so that the stereo
  // switch and Reset Camera in stereo fit alike. Touches no GL.
  void FitView() override;
  // Takes tilt, heading, zoom and centre from an orbit camera's matrix (as
  // GetViewMatrix returns it).
  void SetViewMatrix(Sv_Matrix4* viewMatrix) override;
  // The model-view matrix ApplyCamera loads, computed without GL, in the
  // layout Sv_Matrix4::LoadFromGL reads.
  Sv_Matrix4 GetViewMatrix() override;
  // Appends the current camera to the movie (position, rotation, zoom).
  void RecordFrame() override;
  // Gives both dials the stroke font for their labels.
  void Init(Sv_HersheyFont* font) override;
  // The exaggeration the heading dial's cone shows.
  void SetExagDisplay(float exaggeration) override;
  // Draws the dials (nothing while not shown).
  void Draw() override;
  // Draws the dials, then gives their footprint the nearest depth, so that
  // no step of the pass draws the scene over them.
  void DrawBeforePass() override;
  void ApplyCamera() override;
  // Loads the dial frame onto the current matrix; returns its scale.
  double ApplyWidgetFrame() override;
  // Depth pick on the dials; 1 with the point in the heading dial's frame.
  int PickWidget(int x, int y, double* px, double* py, double* pz) override;
  int MousePress(Qk_GLEventRecord* event) override;
  int MouseDoubleClick(Qk_GLEventRecord* event) override;
  int MouseMove(Qk_GLEventRecord* event) override;
  int MouseRelease(Qk_GLEventRecord* event) override;
  void Wheel(Qk_GLEventRecord* event) override;
  void IdleStep() override;
  void ScrollBarMouseDown(QWidget* widget, int button, int x, int y) override;
  void ScrollBarMouseMotion(QWidget* widget, int button, int x, int y) override;
  void ScrollBarMouseUp(QWidget* widget, int button, int x, int y) override;
  void ScrollBarArrowPress(QWidget* widget, int direction, int x, int y) override;
  void UpdatePlacement() override;
  // Keeps the centre on the same feature when the exaggeration changes.
  void VertExagChanged() override;
  // --- virtual operation of its own ---
  // The heading dial's stroke font.
  virtual Sv_HersheyFont* GetLabelFont();

  // --- camera ---
  void SetTilt(double degrees);
  void SetHeading(double degrees);
  double GetTilt() const { return m_tilt; }
  double GetHeading() const { return m_heading; }
  // Zoom, never below 1e-7.
  void SetZoom(double zoom);
  double GetZoom() const { return m_zoom; }
  void SetCentre(double x, double y, double z);
  const double* GetCentre() const { return m_centre; }
  // The two look-at camera modes: eye-point mode puts the eye at the
  // geographic eye point, look-at mode also aims it at the geographic
  // look-at point (both in the root's data units, placed in the scene by
  // UpdatePlacement). Both off: the orbit camera.
  void SetCameraMode(int eyePointMode, int lookAtMode);
  void SetGeoEyePoint(double x, double y, double z);
  void SetGeoLookAtPoint(double x, double y, double z);
  int GetEyePointMode() const { return m_eyePointMode; }
  int GetLookAtMode() const { return m_lookAtMode; }
  const double* GetEyePoint() const { return m_eyePoint; }

  // --- navigation settings ---
  void SetRotationLock(int on) { m_rotationLock = on; }
  int GetRotationLock() const { return m_rotationLock; }
  void SetTiltLimit(int on) { m_tiltLimit = on; }
  int GetTiltLimit() const { return m_tiltLimit; }
  void SetTiltRange(double minimum, double maximum) {
    m_minTilt = minimum;
    m_maxTilt = maximum;
  }
  double GetMinTilt() const { return m_minTilt; }
  double GetMaxTilt() const { return m_maxTilt; }
  void SetTwoDigitExaggeration(int on) { m_twoDigitExaggeration = on; }
  int GetTwoDigitExaggeration() const { return m_twoDigitExaggeration; }

  // --- dial settings ---
  void SetShown(int on) { m_shown = on; }
  int GetShown() const { return m_shown; }
  void SetBodyShown(int on) { m_bodyShown = on; }
  int GetBodyShown() const { return m_bodyShown; }
  void SetShowDistances(int on) { m_showDistances = on; }
  int GetShowDistances() const { return m_showDistances; }
  void SetAngleReadout(int on) { m_angleReadout = on; }
  int GetAngleReadout() const { return m_angleReadout; }
  Qk_NavDial* GetHeadingDial() const { return m_headingDial; }
  Qk_NavDial* GetTiltDial() const { return m_tiltDial; }
  Qk_NavDial* GetActiveDial() const { return m_activeDial; }
  // Whether the dials carry distances now: show distances on and the scene
  // georeferenced (coordinate type neither 0 nor 4).
  int DistancesOn() const;
  // The ground distance (tilt dial) and height distance (heading dial) that
  // 0.91 dial units cover in a dial frame of the given scale, at the
  // current zoom and exaggeration; metres for a geographic scene. 0 when
  // there is no work area or root.
  int DialDistances(double frameScale, double* ground, double* height) const;

  // --- state of the mouse ---
  int GetLockedAxis() const { return m_lockedAxis; }
  int GetZoomDrag() const { return m_zoomDrag; }
  int GetHeldButton() const { return m_heldButton; }
  double GetPressExaggeration() const { return m_pressExaggeration; }
  int GetAnimating() const { return m_animating; }
  double GetAnimationTime() const { return m_animationTime; }
  const double* GetAnimationTarget() const { return m_animationTarget; }
  int GetScrollBarMode() const { return m_scrollBarMode; }

  // --- rules of the navigation ---
  // Axis locked by a left drag of (dx, dy) pixels: none within 4 pixels,
  // heading when clearly horizontal, tilt when clearly vertical, none for a
  // diagonal.
  static int LockAxis(int dx, int dy);
  // 1 once a drag leaves the 4-pixel square around the press.
  static int PastThreshold(int dx, int dy);
  // With the tilt limit on: wrapped into (-360, 360) and clamped to the
  // tilt range; unchanged with the limit off.
  double ClampTilt(double tilt) const;
  // x cut to two significant digits (3.4567 -> 3.4), at least 1e-5.
  static double TwoSignificantDigits(double x);
  // Scale of the dial frame for a view of width x height pixels: 2.23 x
  // the smaller side, a side of 701 or more counting as 700, but never so
  // large that a dial, at any tilt, would come within a few pixels of an
  // edge of the view (with orthographic set, of an orthographic view; with
  // sideShift, when the frame's origin may be seen that many pixels to
  // either side of the centre, as by a stereo eye), the exaggeration cone
  // at the length it has for the exaggeration given included.
  static double DialFrameScale(int width, int height, int orthographic = 0, double sideShift = 0.0,
                               double exaggeration = 1.0);

  // Press and release callbacks of both dials; owner is the navigator.
  static void DialPressed(Qk_NavControl* control, int button, int x, int y, void* owner);
  static void DialReleased(Qk_NavControl* control, int button, int x, int y, void* owner);

 protected:
  // The scene point under the pixel (the work area's depth pick), in the
  // camera's frame; 1 on a hit.
  virtual int PickScene(int x, int y, double* px, double* py, double* pz);
  // The dial point under the pixel (the work area's overlay-widget pick,
  // which comes back to PickWidget); 1 on a hit.
  virtual int PickDials(int x, int y, double* px, double* py, double* pz);

 private:
  void BeginExploring();
  void EndExploring();
  // Ends the modes of the held button (the locked axis, whose dial is let
  // go, the zoom drag and the held dial), each with its exploring period,
  // and forgets the button; 1 when an axis or a dial was held.
  int EndHeldModes();
  // Ends what presses have armed, each armed mode with its own exploring
  // period: the locked axis, the zoom drag, the held dial and the held
  // button, and every spinning dial, except, with keepThrown, one that was
  // thrown while turning (a non-zero rate); without keepThrown also the
  // re-centring and a held scroll bar.
  void EndMotions(bool keepThrown);
  // Light 0 and the light model of the dials.
  void SetDialLighting();
  // The tilt dial, then the heading dial turned by the tilt, on the dial
  // frame.
  void DrawDials();
  // What Draw and DrawBeforePass draw (nothing while not shown), a set of
  // the layers below.
  enum { LAYER_DIALS = 1, LAYER_SHIELD = 2 };
  void DrawLayers(int layers);
  // True while the depth buffer lacks the dials of the picture that picks
  // read (a best pass has cleared it and holds the dials' footprint at the
  // nearest depth until it draws the overlay over its first view).
  bool DialsMissingFromDepth() const;
  // The pan and move of the bottom and right scroll bars by amount.
  void PanAcross(double amount);
  void MoveAlongView(double amount);
  // The scroll-bar mode of a widget, by its object name.
  static int ScrollBarModeOf(QWidget* widget);
  // The camera transform, composed once for its two users: ApplyCamera
  // hands it to GL, GetViewMatrix builds the matrix without GL.
  template <typename Camera>
  void ComposeCamera(Camera& camera) const;
  // What both dials share: two-pass drawing, presses and releases reported
  // to this overlay, not spinning.
  void AttachDial(Qk_NavDial* dial);

  int m_rotationLock;
  int m_tiltLimit;
  double m_minTilt;
  double m_maxTilt;
  double m_tilt;
  double m_heading;
  double m_zoom;
  int m_lockedAxis;
  int m_zoomDrag;
  double m_pressExaggeration;
  int m_heldButton;
  // Bits (1 << button) of the buttons pressed and not yet released, the
  // ones the navigator did not take included.
  int m_buttonsDown;
  double m_centre[3];
  double m_animationStart[3];
  double m_animationTarget[3];
  double m_animationTime;
  int m_animating;
  double m_eyePoint[3];
  int m_scrollBarMode;
  QPointer<QWidget> m_scrollBar;
  Qk_NavDial* m_headingDial;
  Qk_NavDial* m_tiltDial;
  Qk_NavDial* m_activeDial;
  int m_shown;
  int m_bodyShown;
  int m_showDistances;
  int m_angleReadout;
  int m_twoDigitExaggeration;

  // Look-at camera modes (off unless SetCameraMode turns them on).
  int m_eyePointMode;
  int m_lookAtMode;
  double m_geoEyePoint[3];
  double m_geoLookAtPoint[3];

  // Set while the cone drag sets the exaggeration itself, so that the
  // work area's call back does not redo what the drag did.
  int m_settingExaggeration;
};

#endif
