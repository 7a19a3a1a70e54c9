// The navigator overlay's dials: their frame, lighting, distance scales,
// drawing and picking.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "DepthPicker.h"
#include "Qk_GLWorkArea.h"
#include "Qk_NavDial.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_Node.h"
#include "Sv_Geo.h"
#include "Sv_Perspective.h"

namespace {

// The dial frame: 2.23 x the smaller window side, at most 700 pixels.
const double kFrameFactor = 2.23;
const int kFrameLargest = 700;
// Every point the dials draw, rings, grips, labels and angle readouts
// included, lies within this many dial units of the frame's origin, at any
// tilt; the exaggeration cone's tip only reaches farther above an
// exaggeration of about 30.
const double kDialReach = 1.14;
const double kConeTipMargin = 0.01;
// Pixels kept free between the dials and the edges of the view.
const double kEdgeMargin = 6.0;
// Dial units the distance scales cover on each side of the centre.
const double kScaleUnits = 0.91;
// Search radius of the dial pick, pixels.
const int kPickRadius = 4;

}  // namespace

double Qk_NavigatorOverlay::DialFrameScale(int width, int height, int orthographic, double sideShift,
                                           double exaggeration) {
  int size = width < height ? width : height;
  if (size > kFrameLargest) size = kFrameLargest;
  if (size < 0) size = 0;
  const double scale = size * kFrameFactor;

  // The dials turn with the tilt inside a ball of radius reach x scale
  // around the frame's origin, which lies kOrbitDistance behind the window
  // and kEyeDistance + kOrbitDistance from the eye. The ball's picture is a
  // disk of radius eye x r / sqrt(depth^2 - r^2) for a ball of radius r:
  // the largest ball whose disk keeps the margin from every edge sets the
  // largest scale. Orthographic views show one unit per pixel at any depth.
  double room = std::min(0.5 * width - sideShift, 0.5 * height) - kEdgeMargin;
  if (!(room > 1.0)) room = 1.0;
  const double depth = kEyeDistance + kOrbitDistance;
  const double ball = orthographic ? room : room * depth / std::sqrt(kEyeDistance * kEyeDistance + room * room);
  const double coneTip = Qk_NavDial::kConeBase + Qk_NavDial::ConeLength(exaggeration) + kConeTipMargin;
  return std::min(scale, ball / std::max(kDialReach, coneTip));
}

double Qk_NavigatorOverlay::ApplyWidgetFrame() {
  double s = 0.0;
  if (m_workArea) {
    // The picture of one eye in split-screen stereo; each stereo eye sees
    // the frame's origin up to half the eye separation aside.
    const Sv_Perspective* camera = m_workArea->GetCamera();
    const double shift = m_workArea->GetStereo() ? 0.5 * Sv_Perspective::kDefaultEyeSeparationCm *
                                                       Sv_Perspective::kPixelsPerCm
                                                 : 0.0;
    s = DialFrameScale(m_workArea->GetViewportWidth(), m_workArea->GetViewportHeight(),
                       camera ? camera->GetOrtho() : 0, shift, m_workArea->GetVertExag());
  }
  glTranslated(0.0, 0.0, -kOrbitDistance);
  glScaled(s, s, s);
  return s;
}

void Qk_NavigatorOverlay::SetDialLighting() {
  const GLfloat position[4] = {1.0f, -1.0f, -1.0f, 0.0f};
  const GLfloat ambient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
  glEnable(GL_LIGHT0);
}

int Qk_NavigatorOverlay::DistancesOn() const {
  const int type = Sd_Node::GetCoordinateType();
  return m_showDistances && type != SD_COORDS_UNDECIDED && type != SD_COORDS_SPHERE ? 1 : 0;
}

int Qk_NavigatorOverlay::DialDistances(double frameScale, double* ground, double* height) const {
  if (ground) *ground = 0.0;
  if (height) *height = 0.0;
  if (!m_workArea || !m_root) return 0;
  const double g = m_workArea->GetGlobalScale();
  const double rootX = *m_root->GetScale('x');
  const double e = m_workArea->GetVertExag();
  if (!(g * m_zoom != 0.0)) return 0;
  // Scene units (before the global scale) that 0.91 dial units cover at
  // the orbit distance, where the dial frame and the centre lie.
  const double u = (kScaleUnits * frameScale) / (g * m_zoom);
  const float* x = m_root->GetBounds(0);
  const float* z = m_root->GetBounds(2);
  double d = rootX != 0.0 ? (static_cast<double>(x[1]) - x[0]) * (u / rootX) : 0.0;
  // Degrees of longitude become metres.
  if (Sd_Node::GetCoordinateType() == SD_COORDS_GEOGRAPHIC) d = Sv_Geo::ApproxDistance(0.0, 0.0, d, 0.0, 1);
  if (ground) *ground = d;
  if (height) *height = e != 0.0 ? (static_cast<double>(z[1]) - z[0]) * (u / e) : 0.0;
  return 1;
}

void Qk_NavigatorOverlay::Draw() { DrawLayers(LAYER_DIALS); }

void Qk_NavigatorOverlay::DrawBeforePass() { DrawLayers(LAYER_DIALS | LAYER_SHIELD); }

void Qk_NavigatorOverlay::DrawLayers(int layers) {
  if (!m_shown || !m_workArea) return;
  const int distances = DistancesOn();
  const double e = m_workArea->GetVertExag();

  glMatrixMode(GL_MODELVIEW);
  // The dials' lights, materials and depth settings stay with the dials.
  glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_POLYGON_BIT |
               GL_LINE_BIT | GL_COLOR_BUFFER_BIT | GL_VIEWPORT_BIT);
  glPushMatrix();
  glLoadIdentity();
  const double w = ApplyWidgetFrame();
  SetDialLighting();
  // The frame's large scale would otherwise shrink the normals.
  glEnable(GL_NORMALIZE);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glLineWidth(1.0f);

  double ground = 0.0, height = 0.0;
  if (distances) DialDistances(w, &ground, &height);

  m_tiltDial->SetBodyShown(m_bodyShown);
  m_tiltDial->SetDistancesOn(distances);
  m_tiltDial->SetAngleReadout(m_angleReadout);
  if (distances) m_tiltDial->SetDistance(ground);
  m_headingDial->SetDisplayedExaggeration(e);
  m_headingDial->SetBodyShown(m_bodyShown);
  m_headingDial->SetDistancesOn(distances);
  m_headingDial->SetAngleReadout(m_angleReadout);
  m_headingDial->SetTilt(m_tilt);
  if (distances) m_headingDial->SetDistance(height);

  if (layers & LAYER_DIALS) {
    // The dials cut through the scene's depth: first their footprint gets
    // the depth of the far plane, so that no part of the scene, behind or
    // in front of them, hides a dial, while the scene's depth everywhere
    // else stays for its picks. The dials then order their own parts by
    // depth as over an empty background.
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_VIEWPORT_BIT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthRange(1.0, 1.0);
    glDepthFunc(GL_ALWAYS);
    DrawDials();
    glPopAttrib();
    glDepthFunc(GL_LEQUAL);
    DrawDials();
  }
  if (layers & LAYER_SHIELD) {
    // The footprint at the nearest depth: the scene that a pass draws
    // piece by piece after this fails the depth test there, so the dials
    // stay whole in every step. The overlay's Draw at the end of the pass
    // puts the dials' own depth back.
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthRange(0.0, 0.0);
    glDepthFunc(GL_ALWAYS);
    m_tiltDial->SetFootprint(1);
    m_headingDial->SetFootprint(1);
    DrawDials();
    m_tiltDial->SetFootprint(0);
    m_headingDial->SetFootprint(0);
  }

  glPopMatrix();
  glPopAttrib();
  glFlush();
}

void Qk_NavigatorOverlay::DrawDials() {
  m_tiltDial->Draw();
  glPushMatrix();
  glRotated(m_tilt, 1.0, 0.0, 0.0);
  m_headingDial->Draw();
  glPopMatrix();
}

bool Qk_NavigatorOverlay::DialsMissingFromDepth() const {
  // A best pass clears the depth buffer when it begins and shields the
  // dials there until the overlay is drawn at the end of its first view
  // (mono, or the left eye, whose picture the picks read): step counter 1
  // or 2. A pass drawn hidden leaves its coarse frame, dials and all, on
  // show, and one drawn in place keeps a copy of it: the picks read that.
  if (!m_workArea || !m_workArea->IsRunning() || m_workArea->ReadingWholeFrame()) return false;
  const int counter = m_workArea->GetStepCounter();
  return counter == 1 || counter == 2;
}

int Qk_NavigatorOverlay::PickWidget(int x, int y, double* px, double* py, double* pz) {
  if (!m_workArea || !m_workArea->IsInitialised()) return 0;
  DepthPicker* picker = m_workArea->GetPicker();
  if (!picker) return 0;
  Qk_ShownPictureScope shown(m_workArea);

  // The projection of the frames (the left eye in stereo): the matrices
  // left in GL may belong to the other eye or to other drawing.
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  if (m_camera) {
    double projection[16];
    m_camera->GetProjectionMatrix(m_workArea->GetStereo() ? SV_VIEW_LEFT : SV_VIEW_MONO, projection);
    glLoadMatrixd(projection);
  }
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();

  const bool missing = DialsMissingFromDepth();
  if (missing) {
    // Put the dials into the depth buffer only; the picture shows them
    // already.
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    Draw();
    glPopAttrib();
  }

  glLoadIdentity();
  ApplyWidgetFrame();
  glRotated(m_tilt, 1.0, 0.0, 0.0);
  picker->SetSize(static_cast<float>(m_workArea->GetViewportWidth()),
                  static_cast<float>(m_workArea->GetViewportHeight()));
  double p[3] = {0.0, 0.0, 0.0};
  const int found = picker->PickNear(x, y, &p[0], &p[1], &p[2], kPickRadius) == 0;
  if (missing) {
    // The pass goes on: the footprint shields the dials again.
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    DrawLayers(LAYER_SHIELD);
    glPopAttrib();
  }

  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  if (!found) return 0;
  if (px) *px = p[0];
  if (py) *py = p[1];
  if (pz) *pz = p[2];
  return 1;
}
