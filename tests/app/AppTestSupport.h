#ifndef ORVANTA_APPTESTSUPPORT_H
#define ORVANTA_APPTESTSUPPORT_H

// Helpers for the viewer's widget tests. The test binary's main() creates
// the QApplication on the xcb platform (run under xvfb-run).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "Qk_GLStepWidget.h"
#include "Qk_GLWorkArea.h"
#include "Qk_NavigatorOverlay.h"
#include "Sv_Perspective.h"

namespace orvanta_apptest {

// Processes events until done() holds or the limit passes (a safety limit
// against hangs, not a measurement: generous, so that a busy machine only
// makes the wait longer); returns done().
inline bool WaitFor(const std::function<bool()>& done, int limitMs = 60000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limitMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Processes the events that are pending now, n rounds.
inline void Spin(int rounds = 5) {
  for (int i = 0; i < rounds; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Idle steps of the step widget, driven by hand, until its picture is
// complete ("Normal"); false when it never is.
inline bool RunToNormal(Qk_GLStepWidget* w, int limit) {
  for (int i = 0; i < limit; ++i) {
    if (!w->IsRunning() && !w->GetRestartPending() && w->GetIdleSuspended()) return true;
    w->OnIdle();
  }
  return false;
}

// Processes events until the step widget has stopped its timer with no pass
// running or pending ("Normal").
inline bool WaitForNormal(Qk_GLStepWidget* w, int limitMs) {
  return WaitFor([w] { return !w->IsIdleTimerActive() && !w->IsRunning() && !w->GetRestartPending(); }, limitMs);
}

struct Rgb {
  int r, g, b;
};

// Pixel of the widget's framebuffer (device pixels, origin bottom left); the
// caller has made the widget's context current.
inline Rgb ReadPixel(int x, int y) {
  unsigned char p[4] = {0, 0, 0, 0};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return Rgb{p[0], p[1], p[2]};
}

// The work area's whole picture as it stands (RGBA, rows from the bottom).
inline std::vector<unsigned char> ReadView(Qk_GLWorkArea* area) {
  area->makeCurrent();
  std::vector<unsigned char> rgba(static_cast<size_t>(area->GetWidth()) * area->GetHeight() * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, area->GetWidth(), area->GetHeight(), GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  return rgba;
}

inline int StackDepth(GLenum which) {
  GLint depth = -1;
  glGetIntegerv(which, &depth);
  return depth;
}

// Draws a flat rectangle in viewport pixel units, leaving both matrix
// stacks as they were.
inline void FillViewport(float r, float g, float b) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glColor3f(r, g, b);
  glBegin(GL_QUADS);
  glVertex2f(0, 0);
  glVertex2f(1, 0);
  glVertex2f(1, 1);
  glVertex2f(0, 1);
  glEnd();
  glEnable(GL_DEPTH_TEST);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

// Where a point appears in the work area's view (device pixels from the
// bottom left, unrounded) under the mono projection of its camera and the
// model-view matrix that applyFrame builds on an identity matrix. Makes the
// view's context current; false when the point does not project.
inline bool ProjectInView(Qk_GLWorkArea* area, const std::function<void()>& applyFrame, double x, double y,
                          double z, double* wx, double* wy) {
  area->makeCurrent();
  double projection[16], modelview[16];
  area->GetCamera()->GetProjectionMatrix(SV_VIEW_MONO, projection);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  applyFrame();
  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  glPopMatrix();
  const GLint viewport[4] = {0, 0, area->GetWidth(), area->GetHeight()};
  double wz = 0.0;
  return gluProject(x, y, z, modelview, projection, viewport, wx, wy, &wz) == GL_TRUE;
}

// ProjectInView for a point of the navigator's dial frame: the tilt dial's
// frame, or with headingFrame the heading dial's (turned by the tilt).
inline bool ProjectDialPoint(Qk_GLWorkArea* area, Qk_NavigatorOverlay* nav, double x, double y, double z,
                             bool headingFrame, double* wx, double* wy) {
  auto frame = [&] {
    nav->ApplyWidgetFrame();
    if (headingFrame) glRotated(nav->GetTilt(), 1.0, 0.0, 0.0);
  };
  return ProjectInView(area, frame, x, y, z, wx, wy);
}

// How far apart two model-view matrices (16 floats, column-major) are,
// relative to their size: the largest difference in the 3 x 3 rotation and
// scale block over that block's largest element, or the largest difference
// in the translation over the translation's largest element, whichever is
// larger.
inline double ViewDifference(const float* a, const float* b) {
  double blockDiff = 0.0, blockSize = 0.0, moveDiff = 0.0, moveSize = 0.0;
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 3; ++row) {
      const int i = column * 4 + row;
      const double d = std::fabs(static_cast<double>(a[i]) - b[i]);
      const double size = std::max(std::fabs(a[i]), std::fabs(b[i]));
      if (column < 3) {
        blockDiff = std::max(blockDiff, d);
        blockSize = std::max(blockSize, size);
      } else {
        moveDiff = std::max(moveDiff, d);
        moveSize = std::max(moveSize, size);
      }
    }
  }
  const double block = blockSize > 0.0 ? blockDiff / blockSize : blockDiff;
  const double move = moveSize > 0.0 ? moveDiff / moveSize : moveDiff;
  return std::max(block, move);
}

}  // namespace orvanta_apptest

#endif
