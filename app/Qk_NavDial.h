#ifndef QK_NAVDIAL_H
#define QK_NAVDIAL_H

#include <cstddef>

#include "Qk_NavControl.h"

class Sv_HersheyFont;

// One of the navigator's two 3-D dials, drawn with OpenGL lighting in dial
// units: a shaft along the dial's local z axis from -0.912 to 0.912, a ring
// of radius 0.2 at its end (between 0.998 and 1.042 along the axis), a grip
// on the ring with an arrow tip on either side, turned about the axis by the
// drag offset (degrees), two markers on the ring turned by the value, and,
// when distances are on, tick marks and labels of a distance scale along
// the shaft (0.91 units on each side of the centre cover the distance). The
// heading dial also carries the exaggeration cone at the shaft's top end,
// inside the ring, whose length shows the vertical exaggeration.
//
// A horizontal dial is drawn along its local z axis (the heading dial); the
// other kind is first turned into the view's horizontal (the tilt dial: its
// axis points to the left of the view).
//
// The dial reports presses and releases to its owner through the callbacks
// of Qk_NavControl; the owner (the navigator) turns them into camera rates.
class Qk_NavDial : public Qk_NavControl {
 public:
  // Parts reported by DialHitTest.
  enum { PART_NONE = 0, PART_RING = 1, PART_CONE = 2, PART_OTHER = 3 };

  // Dial geometry, in dial units.
  static constexpr double kRingRadius = 0.2;
  static constexpr double kShaftRadius = 0.02;
  static constexpr double kShaftEnd = 0.912;
  static constexpr double kScaleLength = 0.91;
  static constexpr double kConeBase = 0.9119989;
  static constexpr double kConeRadius = 0.04;

  Qk_NavDial();

  // --- virtual operations, in slot order ---
  ~Qk_NavDial() override;
  void Draw() override;
  // Returns 0; the dial's own test is DialHitTest.
  int Hit(double x, double y, double z) override;
  // Calls the motion callback when one is set.
  void Motion(int button, int x, int y) override;
  // Lets go of the ring and the cone, then calls the release callback.
  void Release(int button, int x, int y) override;
  // A press at window pixel (x, y) that picked the dial point (px, py, pz):
  // on the ring or the cone the dial is taken (grabbed by the left button,
  // which also calls the press callback) and 1 is returned; elsewhere 0.
  virtual int Press(int button, int x, int y, double px, double py, double pz);

  // The part of the dial at a point of its frame (for a dial that is not
  // horizontal, the frame of the horizontal dial it stands beside):
  // PART_NONE, PART_RING, PART_CONE or PART_OTHER (shaft, seat, ticks,
  // labels).
  int DialHitTest(double x, double y, double z) const;

  // --- cone ---
  // Cone length for an exaggeration: (ln(e + 5) - 1.5) x 0.1125, and
  // 0.0001 below an exaggeration of 0.0001.
  static double ConeLength(double exaggeration);
  double GetConeLength() const { return ConeLength(m_exaggeration); }

  // --- distance scale ---
  // The label step for a distance: the 1-2-5 step just below distance / 1.2,
  // doubled while more than four steps fit into the distance. 0 for a
  // distance that is not finite and positive (no scale).
  static double ScaleStep(double distance);
  // Spacing of the labels in dial units (0.91 x step / distance), from the
  // current distance and step; 0 when there is no scale.
  double GetSpacing() const;
  // Recomputes the step from the distance (Draw does this first).
  void UpdateScale();
  // Label text of a value: "%g" when the step is below 1, else "%.1f".
  static void FormatLabel(char* out, size_t size, double value, double step);
  // The angle readout as drawn: the value turned into whole degrees in
  // 0..359; a dial that is not horizontal shows that angle, less 360 above
  // 270, minus 90 (the tilt below the horizon).
  int ReadoutAngle() const;

  // --- settings ---
  void SetHorizontal(int on) { m_horizontal = on; }
  int GetHorizontal() const { return m_horizontal; }
  void SetFirstPartShown(int on) { m_firstPartShown = on; }
  void SetConeShown(int on) { m_coneShown = on; }
  int GetConeShown() const { return m_coneShown; }
  void SetSecondPartShown(int on) { m_secondPartShown = on; }
  int GetSecondPartShown() const { return m_secondPartShown; }
  void SetThirdPartShown(int on) { m_thirdPartShown = on; }
  int GetThirdPartShown() const { return m_thirdPartShown; }
  void SetValue(double degrees) { m_value = degrees; }
  double GetValue() const { return m_value; }
  void SetSinglePass(int on) { m_singlePass = on; }
  int GetSinglePass() const { return m_singlePass; }
  // Footprint drawing (0 by default): the parts otherwise drawn without
  // depth test (ticks, labels, readouts) keep it, so that a draw with
  // colour off and the depth test always passing puts every pixel of the
  // dial into the depth buffer.
  void SetFootprint(int on) { m_footprint = on; }
  void SetDisplayedExaggeration(double exaggeration) { m_exaggeration = exaggeration; }
  double GetDisplayedExaggeration() const { return m_exaggeration; }
  void SetDistancesOn(int on) { m_distancesOn = on; }
  int GetDistancesOn() const { return m_distancesOn; }
  void SetDistance(double distance) { m_distance = distance; }
  double GetDistance() const { return m_distance; }
  double GetStep() const { return m_step; }
  void SetTilt(double degrees) { m_tilt = degrees; }
  double GetTilt() const { return m_tilt; }
  void SetBodyShown(int on) { m_bodyShown = on; }
  int GetBodyShown() const { return m_bodyShown; }
  void SetAngleReadout(int on) { m_angleReadout = on; }
  int GetAngleReadout() const { return m_angleReadout; }
  void SetFont(Sv_HersheyFont* font) { m_font = font; }
  Sv_HersheyFont* GetFont() const { return m_font; }

  // --- state ---
  void SetDragOffset(double offset) { m_dragOffset = offset; }
  double GetDragOffset() const { return m_dragOffset; }
  void SetSpinning(int on) { m_spinning = on; }
  int GetSpinning() const { return m_spinning; }
  void SetGrabbed(int on) { m_grabbed = on; }
  int GetGrabbed() const { return m_grabbed; }
  int GetConeGrabbed() const { return m_coneGrabbed; }

 private:
  // Pieces of the picture, each in the dial's local frame.
  void DrawRingLine() const;
  // Half of the shaft and of the ring band: side -1 the half towards -y,
  // +1 the other half.
  void DrawBodyHalf(int side) const;
  void DrawCone() const;
  // The grip (part 0) and the arrow tips (parts 1 and 2), turned by the
  // drag offset.
  void DrawGripPart(int part) const;
  // Ring markers: 0 the one towards -y, 1 the one towards +y (with the
  // second decoration), turned by the value; 2 the third decoration.
  void DrawDecoration(int which) const;
  // The distance scale and the angle readout (when on), white strokes over
  // a dark outline.
  void DrawLabels() const;
  void DrawScale() const;
  void DrawReadout() const;
  // Draws what follows over everything: no depth test, or in footprint
  // drawing the caller's test, which always passes and writes the depth.
  void DrawOverEverything() const;
  // Material of the grip for the current state.
  void GripMaterial() const;

  double m_dragOffset;
  int m_horizontal;
  int m_grabbed;
  int m_coneGrabbed;
  int m_firstPartShown;
  int m_coneShown;
  int m_secondPartShown;
  int m_thirdPartShown;
  double m_value;
  int m_angleReadout;
  double m_exaggeration;
  int m_spinning;
  int m_singlePass;
  int m_footprint;
  int m_distancesOn;
  double m_distance;
  double m_step;
  Sv_HersheyFont* m_font;
  double m_tilt;
  int m_bodyShown;
};

#endif
