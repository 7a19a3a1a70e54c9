// The navigator overlay: the orbit camera, mouse navigation, the idle step
// that applies the armed rates, the dial callbacks and the scroll bars.
#include "Qk_NavigatorOverlay.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Movie.h"
#include "Qk_GLWorkArea.h"
#include "Qk_NavDial.h"
#include "Sd_Node.h"
#include "Sv_Matrix4.h"
#include "Sv_Quaternion.h"

namespace {

const double kRadiansToDegrees = 57.29577951308232;
const double kDegreesToRadians = 0.017453292519943295;
const double kInitialTilt = -60.0;
// The zoom of the reset view, and the most a fit to the scene gives.
const double kInitialZoom = 1.0;
// Zoom and exaggeration are kept in these ranges so that the camera and the
// scene's transforms stay finite however long a drag is held.
const double kMaxZoom = 1e7;
const double kMinExaggeration = 1e-7;
const double kMaxExaggeration = 1e6;
// Rates: degrees per pixel and second for heading and tilt, the bases and
// factors of the zoom, exaggeration and scroll-bar motions.
const double kAngleRate = 2.0;
const double kZoomBase = 1.00025;
const double kZoomDragRate = 40.0;
const double kZoomScrollRate = 20.0;
const double kExaggerationBase = 1.0005;
const double kExaggerationRate = 42.0;
const double kWheelBase = 1.1;
const double kWheelNotch = 120.0;
const double kRecentreSeconds = 0.25;
const double kScrollCentre = 500.0;
const double kScrollMoveRate = 10.0;
const double kArrowStep = 20.0;
const int kDragThreshold = 4;

double ClampZoom(double zoom) {
  if (!(zoom >= Qk_NavigatorOverlay::kMinZoom)) return Qk_NavigatorOverlay::kMinZoom;
  if (zoom > kMaxZoom) return kMaxZoom;
  return zoom;
}

void Normalise(double v[3]) {
  const double r = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (r == 0.0) return;
  for (int i = 0; i < 3; ++i) v[i] /= r;
}

// The two targets of the camera transform (ComposeCamera). GLCamera
// multiplies it onto GL's current matrix.
struct GLCamera {
  void Translate(double x, double y, double z) { glTranslated(x, y, z); }
  void Rotate(double degrees, double x, double y, double z) { glRotated(degrees, x, y, z); }
  void Scale(double s) { glScaled(s, s, s); }
  void LookAt(const double eye[3], const double centre[3], const double up[3]) {
    gluLookAt(eye[0], eye[1], eye[2], centre[0], centre[1], centre[2], up[0], up[1], up[2]);
  }
};

// MatrixCamera builds it without GL: a column-major double matrix, each
// operation multiplied on the right the way OpenGL multiplies.
struct MatrixCamera {
  double m[16];

  MatrixCamera() { IdentityMatrix4d(m); }

  void Multiply(const double b[16]) { MultMatrix4d(m, m, b); }

  void Translate(double x, double y, double z) {
    double t[16];
    IdentityMatrix4d(t);
    t[12] = x;
    t[13] = y;
    t[14] = z;
    Multiply(t);
  }

  void Scale(double s) {
    double t[16];
    IdentityMatrix4d(t);
    t[0] = t[5] = t[10] = s;
    Multiply(t);
  }

  // glRotated(degrees, x, y, z) for a unit axis.
  void Rotate(double degrees, double x, double y, double z) {
    const double a = degrees * kDegreesToRadians;
    const double c = std::cos(a), s = std::sin(a), t = 1.0 - c;
    double r[16];
    IdentityMatrix4d(r);
    r[0] = x * x * t + c;
    r[1] = y * x * t + z * s;
    r[2] = x * z * t - y * s;
    r[4] = x * y * t - z * s;
    r[5] = y * y * t + c;
    r[6] = y * z * t + x * s;
    r[8] = x * z * t + y * s;
    r[9] = y * z * t - x * s;
    r[10] = z * z * t + c;
    Multiply(r);
  }

  // gluLookAt(eye, centre, up).
  void LookAt(const double eye[3], const double centre[3], const double up[3]) {
    double f[3] = {centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]};
    Normalise(f);
    double s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2], f[0] * up[1] - f[1] * up[0]};
    Normalise(s);
    const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    double r[16];
    IdentityMatrix4d(r);
    for (int i = 0; i < 3; ++i) {
      r[4 * i + 0] = s[i];
      r[4 * i + 1] = u[i];
      r[4 * i + 2] = -f[i];
    }
    Multiply(r);
    Translate(-eye[0], -eye[1], -eye[2]);
  }
};

}  // namespace

Qk_NavigatorOverlay::Qk_NavigatorOverlay()
    : m_rotationLock(1),
      m_tiltLimit(1),
      m_minTilt(-180.0),
      m_maxTilt(0.0),
      m_tilt(kInitialTilt),
      m_heading(0.0),
      m_zoom(1.0),
      m_lockedAxis(AXIS_NONE),
      m_zoomDrag(0),
      m_pressExaggeration(1.0),
      m_heldButton(0),
      m_buttonsDown(0),
      m_centre{0.0, 0.0, 0.0},
      m_animationStart{0.0, 0.0, 0.0},
      m_animationTarget{0.0, 0.0, 0.0},
      m_animationTime(0.0),
      m_animating(0),
      m_eyePoint{0.0, 0.0, 0.0},
      m_scrollBarMode(SCROLL_NONE),
      m_scrollBar(),
      m_headingDial(new Qk_NavDial()),
      m_tiltDial(new Qk_NavDial()),
      m_activeDial(nullptr),
      m_shown(1),
      m_bodyShown(1),
      m_showDistances(1),
      m_angleReadout(0),
      m_twoDigitExaggeration(1),
      m_eyePointMode(0),
      m_lookAtMode(0),
      m_geoEyePoint{0.0, 0.0, 0.0},
      m_geoLookAtPoint{0.0, 0.0, 0.0},
      m_settingExaggeration(0) {
  m_headingDial->SetHorizontal(1);
  m_headingDial->SetConeShown(1);
  m_headingDial->SetSecondPartShown(1);
  m_headingDial->SetValue(m_heading);
  AttachDial(m_headingDial);

  m_tiltDial->SetHorizontal(0);
  m_tiltDial->SetThirdPartShown(0);
  m_tiltDial->SetValue(-m_tilt);
  AttachDial(m_tiltDial);
}

void Qk_NavigatorOverlay::AttachDial(Qk_NavDial* dial) {
  // Both dials draw in two passes (ordered by depth) and report presses
  // and releases to this overlay.
  dial->SetSinglePass(0);
  dial->SetPressCallback(&Qk_NavigatorOverlay::DialPressed);
  dial->SetReleaseCallback(&Qk_NavigatorOverlay::DialReleased);
  dial->SetOwner(this);
  dial->SetSpinning(0);
}

Qk_NavigatorOverlay::~Qk_NavigatorOverlay() {
  delete m_headingDial;
  delete m_tiltDial;
  m_headingDial = nullptr;
  m_tiltDial = nullptr;
  m_activeDial = nullptr;
}

// ---------------------------------------------------------------------------
// Camera

int Qk_NavigatorOverlay::Reset() {
  // Back to the initial view means at rest: a spin or drag left running
  // would turn it away again at once.
  EndMotions(false);
  SetTilt(kInitialTilt);
  SetHeading(0.0);
  m_zoom = kInitialZoom;
  for (int i = 0; i < 3; ++i) m_centre[i] = 0.0;
  if (m_viewMatrix) *m_viewMatrix = GetViewMatrix();
  return 1;
}

void Qk_NavigatorOverlay::FitView() {
  if (m_eyePointMode || !m_workArea || !m_camera) return;
  double box[8][3];
  if (!m_workArea->GetSceneBox(box)) return;

  // A corner p of the box lands in eye space at (0, 0, -d) + zoom R (p - c)
  // (R the view rotation, c the centre), so its clip coordinates are
  // affine in the zoom: base + zoom t. Every bound of the view volume
  // (|x| and |y| within kFitMargin of w, z between the clip planes) is then
  // a + zoom b <= 0, which holds at zoom 0 (the centre, in view) and keeps
  // holding up to -a / b when b > 0.
  const double kFitMargin = 0.9;
  MatrixCamera turn;
  turn.Rotate(m_tilt, 1.0, 0.0, 0.0);
  turn.Rotate(m_heading, 0.0, 0.0, 1.0);
  const bool stereo = m_workArea->GetStereo() != 0;
  const int views[2] = {stereo ? SV_VIEW_LEFT : SV_VIEW_MONO, SV_VIEW_RIGHT};
  // With the automatic stereo scale the eyes are fitted, and then drawn, at
  // the scale that puts the point the view turns about at the base distance
  // from the eyes, as the frames' automatic scale does for the scene under
  // the centre (that point lies kOrbitDistance behind the window, the
  // window the viewing distance in front of the eyes). The scale the last
  // frame measured belongs to the view before and would make the fit depend
  // on what was shown before it.
  if (stereo && m_camera->IsCyclopeanScale()) {
    m_camera->SetStereoScale(m_camera->ScaleForDistance(kOrbitDistance + m_camera->ViewingDistance()));
  }
  // The near plane that the last frame moved out for depth precision was
  // fitted to what that frame showed, in its own view (the mono one, before
  // a switch to stereo): the fit takes the planes of the settings, and the
  // next frame fits the near plane to the new view.
  const double nearLimit = m_camera->GetNearLimit();
  m_camera->SetNearLimit(0.0);
  // From the reset view's zoom, whatever the zoom is now: a view that has
  // grown (stereo switched off) gets the zoom back that a narrower one took.
  double zoom = kInitialZoom;
  for (int v = 0; v < (stereo ? 2 : 1); ++v) {
    double p[16];
    m_camera->GetProjectionMatrix(views[v], p);
    double base[4];
    for (int r = 0; r < 4; ++r) base[r] = p[12 + r] - kOrbitDistance * p[8 + r];
    for (const auto& corner : box) {
      double d[3], e[3], t[4];
      for (int a = 0; a < 3; ++a) d[a] = corner[a] - m_centre[a];
      for (int a = 0; a < 3; ++a) e[a] = turn.m[a] * d[0] + turn.m[4 + a] * d[1] + turn.m[8 + a] * d[2];
      for (int r = 0; r < 4; ++r) t[r] = p[r] * e[0] + p[4 + r] * e[1] + p[8 + r] * e[2];
      const double bounds[6][2] = {{base[0] - kFitMargin * base[3], t[0] - kFitMargin * t[3]},
                                   {-base[0] - kFitMargin * base[3], -t[0] - kFitMargin * t[3]},
                                   {base[1] - kFitMargin * base[3], t[1] - kFitMargin * t[3]},
                                   {-base[1] - kFitMargin * base[3], -t[1] - kFitMargin * t[3]},
                                   {-base[2] - base[3], -t[2] - t[3]},
                                   {base[2] - base[3], t[2] - t[3]}};
      for (const auto& bound : bounds) {
        // A bound the centre itself breaks (a view too small for it) or
        // that no zoom reaches gives no limit.
        if (bound[0] < 0.0 && bound[1] > 0.0) zoom = std::min(zoom, -bound[0] / bound[1]);
      }
    }
  }
  m_camera->SetNearLimit(nearLimit);
  m_zoom = ClampZoom(zoom);
  if (m_viewMatrix) *m_viewMatrix = GetViewMatrix();
}

void Qk_NavigatorOverlay::SetTilt(double degrees) {
  m_tilt = degrees;
  m_tiltDial->SetValue(-degrees);
}

void Qk_NavigatorOverlay::SetHeading(double degrees) {
  m_heading = degrees;
  m_headingDial->SetValue(degrees);
}

void Qk_NavigatorOverlay::SetZoom(double zoom) { m_zoom = ClampZoom(zoom); }

void Qk_NavigatorOverlay::SetCentre(double x, double y, double z) {
  m_centre[0] = x;
  m_centre[1] = y;
  m_centre[2] = z;
}

void Qk_NavigatorOverlay::SetCameraMode(int eyePointMode, int lookAtMode) {
  m_eyePointMode = eyePointMode;
  m_lookAtMode = lookAtMode;
}

void Qk_NavigatorOverlay::SetGeoEyePoint(double x, double y, double z) {
  m_geoEyePoint[0] = x;
  m_geoEyePoint[1] = y;
  m_geoEyePoint[2] = z;
}

void Qk_NavigatorOverlay::SetGeoLookAtPoint(double x, double y, double z) {
  m_geoLookAtPoint[0] = x;
  m_geoLookAtPoint[1] = y;
  m_geoLookAtPoint[2] = z;
}

template <typename Camera>
void Qk_NavigatorOverlay::ComposeCamera(Camera& camera) const {
  if (!m_eyePointMode) {
    camera.Translate(0.0, 0.0, -kOrbitDistance);
    camera.Rotate(m_tilt, 1.0, 0.0, 0.0);
    camera.Rotate(m_heading, 0.0, 0.0, 1.0);
    camera.Scale(m_zoom);
    camera.Translate(-m_centre[0], -m_centre[1], -m_centre[2]);
  } else if (!m_lookAtMode) {
    camera.Translate(0.0, 0.0, static_cast<float>(kEyeDistance));
    camera.Rotate(m_tilt, 1.0, 0.0, 0.0);
    camera.Rotate(m_heading, 0.0, 0.0, 1.0);
    camera.Scale(m_zoom);
    camera.Translate(-m_eyePoint[0], -m_eyePoint[1], -m_eyePoint[2]);
  } else {
    const double up[3] = {0.0, 0.0, 1.0};
    camera.Translate(0.0, 0.0, static_cast<float>(kEyeDistance));
    camera.Scale(m_zoom);
    camera.LookAt(m_eyePoint, m_centre, up);
  }
}

void Qk_NavigatorOverlay::ApplyCamera() {
  GLCamera camera;
  ComposeCamera(camera);
}

Sv_Matrix4 Qk_NavigatorOverlay::GetViewMatrix() {
  MatrixCamera camera;
  ComposeCamera(camera);
  // The layout LoadFromGL reads: OpenGL's column-major order as it stands.
  Sv_Matrix4 out;
  float* data = out.GetData();
  for (int i = 0; i < 16; ++i) data[i] = static_cast<float>(camera.m[i]);
  return out;
}

void Qk_NavigatorOverlay::SetViewMatrix(Sv_Matrix4* viewMatrix) {
  if (!viewMatrix) return;
  const Sv_Matrix4& m = *viewMatrix;
  const double heading = -std::atan2(m.Get(1, 0), m.Get(0, 0)) * kRadiansToDegrees;
  const double tilt = -std::atan2(m.Get(2, 1), m.Get(2, 2)) * kRadiansToDegrees;
  const double zoom = std::sqrt(static_cast<double>(m.Get(2, 0)) * m.Get(2, 0) +
                                static_cast<double>(m.Get(2, 1)) * m.Get(2, 1) +
                                static_cast<double>(m.Get(2, 2)) * m.Get(2, 2));
  // The centre: the matrix without its translation, moved back by the
  // orbit distance, inverted and applied to the matrix leaves only the
  // translation by the centre.
  Sv_Matrix4 base(m);
  base.Set(3, 0, 0.0f);
  base.Set(3, 1, 0.0f);
  base.Set(3, 2, static_cast<float>(-kOrbitDistance));
  const bool invertible = std::isfinite(zoom) && zoom > 0.0 && base.Invert() == 0;
  SetHeading(std::isfinite(heading) ? heading : 0.0);
  SetTilt(std::isfinite(tilt) ? tilt : kInitialTilt);
  // A matrix that is not an orbit camera's (no scale, not finite) leaves
  // zoom and centre as they were.
  if (invertible) {
    m_zoom = ClampZoom(zoom);
    const Sv_Matrix4 p = m * base;
    for (int i = 0; i < 3; ++i) {
      const double c = -static_cast<double>(p.Get(3, i));
      if (std::isfinite(c)) m_centre[i] = c;
    }
  }
  if (m_viewMatrix) *m_viewMatrix = GetViewMatrix();
}

void Qk_NavigatorOverlay::RecordFrame() {
  if (!m_movie) return;
  // A stored frame holds the rotation of the model-view matrix (the view
  // rotation, tilt about x after heading about z, as ApplyCamera turns;
  // the conjugate of the camera's orientation), so that it plays back
  // through Movie::ApplyFrame as this view.
  MatrixCamera view;
  view.Rotate(m_tilt, 1.0, 0.0, 0.0);
  view.Rotate(m_heading, 0.0, 0.0, 1.0);
  Sv_Matrix4 rotation;
  for (int i = 0; i < 16; ++i) rotation.GetData()[i] = static_cast<float>(view.m[i]);
  Sv_Quaternion q;
  q.FromMatrix(rotation);

  // The eye: kOrbitDistance from the centre, back along the view axis. The
  // radius keeps its sign, so a tilt outside -180 .. 0 (a spinning tilt
  // dial is not clamped) still puts the eye on the side it looks from.
  const double d = kOrbitDistance;
  const double a = std::cos(-m_tilt * kDegreesToRadians) * d;
  const double r = -std::sin(m_tilt * kDegreesToRadians) * d;
  const double h = -m_heading * kDegreesToRadians;
  const float position[3] = {static_cast<float>(m_centre[0] + std::sin(h) * r),
                             static_cast<float>(m_centre[1] - std::cos(h) * r),
                             static_cast<float>(m_centre[2] + a)};
  m_movie->SetType(MOVIE_FRAME_POSROTSCALE);
  m_movie->AddFrame(position, q, m_zoom);
}

void Qk_NavigatorOverlay::UpdatePlacement() {
  Qk_GLOverlay::UpdatePlacement();
  if (!m_eyePointMode || !m_root || !m_workArea) return;
  const double g = m_workArea->GetGlobalScale();
  const double scale[3] = {*m_root->GetScale('x'), *m_root->GetScale('y'), *m_root->GetScale('z')};
  double n[3];
  Qk_GLWorkArea::NormalizePoint(m_geoEyePoint, m_root, n);
  for (int i = 0; i < 3; ++i) m_eyePoint[i] = scale[i] * n[i] * g;
  if (m_lookAtMode) {
    Qk_GLWorkArea::NormalizePoint(m_geoLookAtPoint, m_root, n);
    for (int i = 0; i < 3; ++i) m_centre[i] = scale[i] * n[i] * g;
  }
}

void Qk_NavigatorOverlay::Init(Sv_HersheyFont* font) {
  m_headingDial->SetFont(font);
  m_tiltDial->SetFont(font);
}

void Qk_NavigatorOverlay::SetExagDisplay(float exaggeration) { m_headingDial->SetDisplayedExaggeration(exaggeration); }

Sv_HersheyFont* Qk_NavigatorOverlay::GetLabelFont() { return m_headingDial->GetFont(); }

void Qk_NavigatorOverlay::VertExagChanged() {
  // The cone drag has already moved the centre for the value it set.
  if (m_settingExaggeration || !m_workArea) return;
  const double e = m_workArea->GetVertExag();
  if (e == m_pressExaggeration) return;
  if (m_pressExaggeration != 0.0) m_centre[2] /= m_pressExaggeration;
  if (e != 0.0) m_centre[2] *= e;
  m_pressExaggeration = e;
}

// ---------------------------------------------------------------------------
// Rules

int Qk_NavigatorOverlay::LockAxis(int dx, int dy) {
  const int ax = std::abs(dx), ay = std::abs(dy);
  if (ax < kDragThreshold && ay < kDragThreshold) return AXIS_NONE;
  if (2 * ay < ax) return AXIS_HEADING;
  if (2 * ax < ay) return AXIS_TILT;
  return AXIS_NONE;
}

int Qk_NavigatorOverlay::PastThreshold(int dx, int dy) {
  return (std::abs(dx) > kDragThreshold || std::abs(dy) > kDragThreshold) ? 1 : 0;
}

double Qk_NavigatorOverlay::ClampTilt(double t) const {
  if (!m_tiltLimit) return t;
  if (t > 360.0 || t < 0.0) t = std::fmod(t, 360.0);
  if (t < m_minTilt) t = m_minTilt;
  if (t > m_maxTilt) t = m_maxTilt;
  return t;
}

double Qk_NavigatorOverlay::TwoSignificantDigits(double x) {
  // The logarithm needs a finite, positive value.
  if (!std::isfinite(x) || !(x > 0.0)) return 1e-5;
  const double e = std::floor(std::log(x) / std::log(10.0)) - 1.0;
  const double p = std::pow(0.1, e);
  const double r = std::floor(x * p) / p;
  return r < 1e-5 ? 1e-5 : r;
}

// ---------------------------------------------------------------------------
// Exploring and picking through the work area

void Qk_NavigatorOverlay::BeginExploring() {
  if (m_workArea) m_workArea->BeginExploring();
}

void Qk_NavigatorOverlay::EndExploring() {
  if (m_workArea) m_workArea->EndExploring();
}

int Qk_NavigatorOverlay::EndHeldModes() {
  int ended = 0;
  if (m_lockedAxis != AXIS_NONE) {
    DialReleased(m_lockedAxis == AXIS_HEADING ? m_headingDial : m_tiltDial, m_heldButton, 0, 0, this);
    m_lockedAxis = AXIS_NONE;
    EndExploring();
    ended = 1;
  }
  m_heldButton = 0;
  if (m_zoomDrag) {
    m_zoomDrag = 0;
    EndExploring();
  }
  if (m_activeDial) {
    m_activeDial = nullptr;
    EndExploring();
    ended = 1;
  }
  return ended;
}

void Qk_NavigatorOverlay::EndMotions(bool keepThrown) {
  if (m_activeDial) m_activeDial->Release(m_heldButton, 0, 0);
  EndHeldModes();
  for (Qk_NavDial* dial : {m_headingDial, m_tiltDial}) {
    // A dial thrown before it turned would spin at rate 0: an exploring
    // period that moves nothing and keeps the picture from ever refining.
    if (dial->GetSpinning() && !(keepThrown && dial->GetDragOffset() != 0.0)) {
      dial->SetSpinning(0);
      EndExploring();
    }
    if (!dial->GetSpinning()) dial->SetDragOffset(0.0);
    dial->SetGrabbed(0);
  }
  if (keepThrown) return;
  if (m_animating) {
    m_animating = 0;
    EndExploring();
  }
  ScrollBarMouseUp(nullptr, 0, 0, 0);
}

int Qk_NavigatorOverlay::PickScene(int x, int y, double* px, double* py, double* pz) {
  if (!m_workArea) return 0;
  return m_workArea->PickDepth(static_cast<short>(x), static_cast<short>(y), px, py, pz);
}

int Qk_NavigatorOverlay::PickDials(int x, int y, double* px, double* py, double* pz) {
  if (!m_workArea) return 0;
  return m_workArea->PickOverlayWidget(x, y, px, py, pz);
}

// ---------------------------------------------------------------------------
// Dial callbacks

void Qk_NavigatorOverlay::DialPressed(Qk_NavControl* control, int button, int, int, void* owner) {
  Qk_NavDial* dial = dynamic_cast<Qk_NavDial*>(control);
  Qk_NavigatorOverlay* navigator = static_cast<Qk_NavigatorOverlay*>(owner);
  if (!dial || !navigator) return;
  if (button == 1 && dial->GetSpinning()) {
    // A left press stops a spinning dial and takes hold of it.
    dial->SetSpinning(0);
    dial->SetDragOffset(0.0);
    dial->SetGrabbed(1);
    navigator->EndExploring();
  } else if (button == 2 && !dial->GetSpinning()) {
    // The middle button during a drag throws the dial: it keeps turning at
    // the rate of the drag.
    dial->SetSpinning(1);
    navigator->BeginExploring();
  } else if (!dial->GetConeGrabbed()) {
    dial->SetGrabbed(1);
  }
}

void Qk_NavigatorOverlay::DialReleased(Qk_NavControl* control, int, int, int, void*) {
  if (Qk_NavDial* dial = dynamic_cast<Qk_NavDial*>(control)) dial->SetGrabbed(0);
}

// ---------------------------------------------------------------------------
// Mouse

int Qk_NavigatorOverlay::MousePress(Qk_GLEventRecord* event) {
  if (!event) return 0;
  if (event->button > 0 && event->button < 16) m_buttonsDown |= 1 << event->button;
  if (m_activeDial) {
    if (Qk_NavCallback press = m_activeDial->GetPressCallback()) {
      press(m_activeDial, event->button, event->x, event->y, m_activeDial->GetOwner());
    }
    return 1;
  }
  if (m_lockedAxis == AXIS_HEADING) {
    DialPressed(m_headingDial, event->button, event->x, event->y, this);
    return 1;
  }
  if (m_lockedAxis == AXIS_TILT) {
    DialPressed(m_tiltDial, event->button, event->x, event->y, this);
    return 1;
  }
  if (m_heldButton != 0) return 0;

  m_heldButton = event->button;
  if (m_workArea) m_pressExaggeration = m_workArea->GetVertExag();

  double p[3] = {0.0, 0.0, 0.0};
  if (event->button == 1) {
    if (PickDials(event->x, event->y, &p[0], &p[1], &p[2])) {
      if (m_headingDial->Press(event->button, event->x, event->y, p[0], p[1], p[2])) {
        m_activeDial = m_headingDial;
      } else if (m_tiltDial->Press(event->button, event->x, event->y, p[0], p[1], p[2])) {
        m_activeDial = m_tiltDial;
      }
      if (m_activeDial) {
        BeginExploring();
        return 1;
      }
    }
    return 0;
  }
  if (event->button == 2) {
    if (PickDials(event->x, event->y, &p[0], &p[1], &p[2]) &&
        (m_headingDial->DialHitTest(p[0], p[1], p[2]) || m_tiltDial->DialHitTest(p[0], p[1], p[2]))) {
      return 1;
    }
    if (PickScene(event->x, event->y, &p[0], &p[1], &p[2])) {
      for (int i = 0; i < 3; ++i) {
        m_animationStart[i] = m_centre[i];
        m_animationTarget[i] = p[i];
      }
      m_animationTime = 0.0;
      if (!m_animating) {
        m_animating = 1;
        BeginExploring();
      }
      return 1;
    }
    return 0;
  }
  return 0;
}

int Qk_NavigatorOverlay::MouseDoubleClick(Qk_GLEventRecord*) { return 0; }

int Qk_NavigatorOverlay::MouseMove(Qk_GLEventRecord* event) {
  if (!event) return 0;
  if (m_activeDial) {
    m_activeDial->Motion(event->button, event->x, event->y);
    return 1;
  }
  if (event->button == 0 || event->button != m_heldButton) return 0;
  const int dx = event->x - event->pressX;
  const int dy = event->y - event->pressY;
  const int mode = m_workArea ? m_workArea->GetInteractionMode() : 0;

  if (event->button == 1 && m_rotationLock && m_lockedAxis == AXIS_NONE && mode == 0) {
    m_lockedAxis = LockAxis(dx, dy);
    if (m_lockedAxis == AXIS_HEADING) DialPressed(m_headingDial, event->button, event->x, event->y, this);
    if (m_lockedAxis == AXIS_TILT) DialPressed(m_tiltDial, event->button, event->x, event->y, this);
    if (m_lockedAxis != AXIS_NONE) {
      // Rates count from where the axis locked.
      event->pressX = event->x;
      event->pressY = event->y;
      BeginExploring();
    }
  } else if (event->button == 2 && !m_zoomDrag) {
    m_zoomDrag = PastThreshold(dx, dy);
    if (m_zoomDrag) BeginExploring();
  }
  return (m_lockedAxis != AXIS_NONE || m_zoomDrag) ? 1 : 0;
}

int Qk_NavigatorOverlay::MouseRelease(Qk_GLEventRecord* event) {
  if (!event) return 0;
  int result = 0;
  if (m_activeDial) m_activeDial->Release(event->button, event->x, event->y);
  if (event->button == m_heldButton) {
    if (!m_headingDial->GetSpinning()) m_headingDial->SetDragOffset(0.0);
    if (!m_tiltDial->GetSpinning()) m_tiltDial->SetDragOffset(0.0);
    result = EndHeldModes();
  }
  // With the last button up nothing a press armed goes on (whichever
  // button came up last), except a dial thrown while it turned.
  if (event->button > 0 && event->button < 16) m_buttonsDown &= ~(1 << event->button);
  if (m_buttonsDown == 0) EndMotions(true);
  return result;
}

void Qk_NavigatorOverlay::Wheel(Qk_GLEventRecord* event) {
  if (!event || m_zoomDrag) return;
  SetZoom(m_zoom * std::pow(kWheelBase, event->wheelDelta / kWheelNotch));
  event->accepted = 1;
  if (m_workArea) m_workArea->UpdateGL();
}

// ---------------------------------------------------------------------------
// Idle step

void Qk_NavigatorOverlay::IdleStep() {
  if (!m_workArea || m_workArea->GetExploreCount() == 0) return;
  const Qk_GLEventRecord* live = m_workArea->GetEventRecord();
  const double x = live->x, y = live->y, pressX = live->pressX, pressY = live->pressY;
  const double dt = FrameTime();

  if (m_headingDial->GetConeGrabbed()) {
    // The exaggeration follows the vertical drag; the centre keeps its
    // place on the scene's features.
    const double dy = y - pressY;
    const double before = m_pressExaggeration;
    double after = before * std::pow(kExaggerationBase, dy * kExaggerationRate * dt);
    if (!(after >= kMinExaggeration)) after = kMinExaggeration;
    if (after > kMaxExaggeration) after = kMaxExaggeration;
    if (before != 0.0) m_centre[2] /= before;
    m_pressExaggeration = after;
    const double shown = m_twoDigitExaggeration ? TwoSignificantDigits(after) : after;
    m_centre[2] *= after;
    m_settingExaggeration = 1;
    m_workArea->SetVertExag(static_cast<float>(shown));
    m_settingExaggeration = 0;
    m_headingDial->SetDisplayedExaggeration(static_cast<float>(shown));
  } else if (m_lockedAxis == AXIS_HEADING || m_activeDial == m_headingDial) {
    const double dx = x - pressX;
    SetHeading(m_heading + dx * kAngleRate * dt);
    m_headingDial->SetDragOffset(dx);
  } else if (m_lockedAxis == AXIS_TILT || m_activeDial == m_tiltDial) {
    const double d = pressY - y;
    SetTilt(ClampTilt(m_tilt + d * kAngleRate * dt));
    m_tiltDial->SetDragOffset(-d);
  } else if (m_zoomDrag) {
    const double d = (y - pressY) + (x - pressX);
    SetZoom(m_zoom * std::pow(kZoomBase, dt * d * kZoomDragRate));
  }

  if (m_animating) {
    m_animationTime += dt / kRecentreSeconds;
    if (m_animationTime >= 1.0) {
      for (int i = 0; i < 3; ++i) m_centre[i] = m_animationTarget[i];
      m_animating = 0;
      EndExploring();
    } else {
      for (int i = 0; i < 3; ++i) {
        m_centre[i] = m_animationStart[i] + (m_animationTarget[i] - m_animationStart[i]) * m_animationTime;
      }
    }
  }

  if (m_headingDial->GetSpinning() && m_lockedAxis != AXIS_HEADING && m_activeDial != m_headingDial) {
    SetHeading(m_heading + m_headingDial->GetDragOffset() * kAngleRate * dt);
  }
  if (m_tiltDial->GetSpinning() && m_lockedAxis != AXIS_TILT && m_activeDial != m_tiltDial) {
    SetTilt(m_tilt - m_tiltDial->GetDragOffset() * kAngleRate * dt);
  }

  if (m_scrollBarMode != SCROLL_NONE && m_scrollBar) {
    const double v = m_scrollBar->property("value").toDouble() - kScrollCentre;
    if (m_scrollBarMode == SCROLL_LEFT) {
      SetZoom(m_zoom * std::pow(kZoomBase, dt * v * kZoomScrollRate));
    } else if (m_scrollBarMode == SCROLL_BOTTOM) {
      PanAcross(dt * v);
    } else {
      MoveAlongView(dt * v);
    }
  }
}

// ---------------------------------------------------------------------------
// Scroll bars

int Qk_NavigatorOverlay::ScrollBarModeOf(QWidget* widget) {
  if (!widget) return SCROLL_NONE;
  const QString name = widget->objectName();
  if (name == QLatin1String("ScrollBarLeft")) return SCROLL_LEFT;
  if (name == QLatin1String("ScrollBarBottom")) return SCROLL_BOTTOM;
  if (name == QLatin1String("ScrollBarRight")) return SCROLL_RIGHT;
  return SCROLL_NONE;
}

void Qk_NavigatorOverlay::PanAcross(double amount) {
  const double h = m_heading * kDegreesToRadians;
  m_centre[0] += amount * std::cos(h) * kScrollMoveRate / m_zoom;
  m_centre[1] -= amount * std::sin(h) * kScrollMoveRate / m_zoom;
}

void Qk_NavigatorOverlay::MoveAlongView(double amount) {
  const double h = m_heading * kDegreesToRadians;
  const double t = m_tilt * kDegreesToRadians;
  m_centre[0] += amount * std::sin(h) * std::cos(t) * kScrollMoveRate / m_zoom;
  m_centre[1] += amount * std::cos(h) * std::cos(t) * kScrollMoveRate / m_zoom;
  m_centre[2] += amount * (-std::sin(t)) * kScrollMoveRate / m_zoom;
}

void Qk_NavigatorOverlay::ScrollBarMouseDown(QWidget* widget, int, int, int) {
  const int mode = ScrollBarModeOf(widget);
  if (mode == SCROLL_NONE) return;
  // A second bar taken while one is held replaces it within the same
  // exploring period.
  if (m_scrollBarMode == SCROLL_NONE) BeginExploring();
  m_scrollBarMode = mode;
  m_scrollBar = widget;
}

void Qk_NavigatorOverlay::ScrollBarMouseMotion(QWidget*, int, int, int) {}

void Qk_NavigatorOverlay::ScrollBarMouseUp(QWidget*, int, int, int) {
  if (m_scrollBarMode == SCROLL_NONE) return;
  if (m_scrollBar) {
    m_scrollBar->setProperty("value", kScrollCentre);
    m_scrollBar->update();
  }
  m_scrollBarMode = SCROLL_NONE;
  m_scrollBar = nullptr;
  EndExploring();
}

void Qk_NavigatorOverlay::ScrollBarArrowPress(QWidget* widget, int direction, int, int) {
  const double step = direction == 1 ? kArrowStep : -kArrowStep;
  switch (ScrollBarModeOf(widget)) {
    case SCROLL_LEFT:
      SetZoom(m_zoom * std::pow(kZoomBase, step * kZoomScrollRate));
      break;
    case SCROLL_BOTTOM:
      PanAcross(step);
      break;
    case SCROLL_RIGHT:
      MoveAlongView(step);
      break;
    default:
      break;
  }
  if (m_workArea) m_workArea->UpdateGL();
}
