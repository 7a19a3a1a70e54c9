#ifndef ORVANTA_APPTESTSUPPORT_H
#define ORVANTA_APPTESTSUPPORT_H

// Helpers for the viewer's widget tests. The test binary's main() creates
// the QApplication on the xcb platform (run under xvfb-run).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <GL/gl.h>

#include <functional>

namespace orvanta_apptest {

// Processes events until done() holds or the limit passes (a safety limit
// against hangs, not a measurement); returns done().
inline bool WaitFor(const std::function<bool()>& done, int limitMs = 10000) {
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

}  // namespace orvanta_apptest

#endif
