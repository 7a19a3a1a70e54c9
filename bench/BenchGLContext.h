#ifndef ORVANTA_BENCHGLCONTEXT_H
#define ORVANTA_BENCHGLCONTEXT_H

// An OpenGL context for the benchmarks that draw frames: a compatibility
// 2.1 context on a Qt offscreen surface, drawing into a framebuffer object
// of the given size with a 24-bit depth buffer and the depth test on. It
// needs an X server (e.g. xvfb-run); without one ok stays false.

#include <GL/gl.h>
#include <GL/glu.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>
#include <cstdlib>
#include <memory>

namespace orvanta_bench {

struct GLContext {
  std::unique_ptr<QGuiApplication> app;
  std::unique_ptr<QOffscreenSurface> surface;
  std::unique_ptr<QOpenGLContext> context;
  std::unique_ptr<QOpenGLFramebufferObject> fbo;
  bool ok = false;

  GLContext(int width, int height) {
    static int argc = 1;
    static char name[] = "orvanta_bench";
    static char* argv[] = {name, nullptr};
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) return;
    app.reset(new QGuiApplication(argc, argv));
    QSurfaceFormat format;
    format.setVersion(2, 1);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    surface.reset(new QOffscreenSurface());
    surface->setFormat(format);
    surface->create();
    context.reset(new QOpenGLContext());
    context->setFormat(format);
    if (!context->create() || !context->makeCurrent(surface.get())) return;
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
    fbo.reset(new QOpenGLFramebufferObject(width, height, fboFormat));
    if (!fbo->isValid() || !fbo->bind()) return;
    glViewport(0, 0, width, height);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    ok = true;
  }
  ~GLContext() {
    fbo.reset();
    if (context) context->doneCurrent();
  }
  GLContext(const GLContext&) = delete;
  GLContext& operator=(const GLContext&) = delete;
};

// A cleared frame of the given size looking at the unit box from the south
// and above, as the viewer opens a file: 45 degree perspective, the eye at
// (0, -1.3, 1.1) in the box's units.
inline void BeginSouthAboveFrame(int width, int height) {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(width) / height, 0.1, 10.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0.0, -1.3, 1.1, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
}

}  // namespace orvanta_bench

#endif
