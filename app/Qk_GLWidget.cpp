#include "Qk_GLWidget.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QWheelEvent>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Qk_GUIUtils.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"

#ifndef GL_FRAMEBUFFER_BINDING
#define GL_FRAMEBUFFER_BINDING 0x8CA6
#endif

Qk_GLWidget* Qk_GLWidget::s_shareWidget = nullptr;

namespace {

// Configuration read for the surface format, once per process.
bool g_formatDefaultsRead = false;
int g_doubleBufferOverride = 0;
int g_formatStereoMode = 0;

void LoadFormatDefaults() {
  if (g_formatDefaultsRead) return;
  g_formatDefaultsRead = true;

  int version = 0;
  Sv_LineReader f;
  if (Sv_UtlOpenConfigLines("OpenGLDefaults", &version, &f) && version == 1) {
    int unused = 0;
    if (Qk_ReadValueLine(&f, &unused)) Qk_ReadValueLine(&f, &g_doubleBufferOverride);
  }

  g_formatStereoMode = 0;
  if (Sv_UtlOpenConfigLines("StereoOptions", &version, &f)) {
    int mode = 0;
    if (version == 2) {
      int unused = 0;
      if (Qk_ReadValueLine(&f, &unused) && Qk_ReadValueLine(&f, &unused)) Qk_ReadValueLine(&f, &mode);
    } else if (version == 3) {
      Qk_ReadValueLine(&f, &mode);
    }
    g_formatStereoMode = mode;
  }
  if (g_formatStereoMode == 0) g_formatStereoMode = 2;
}

}  // namespace

// ---------------------------------------------------------------------------
// Format

QSurfaceFormat Qk_GLWidget::MakeFormat(int doubleBuffer, int depth, int stereo) {
  LoadFormatDefaults();
  (void)stereo;  // stereo buffers are never requested: no stereo visual exists for this widget
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  // 2.1 compatibility: later versions may hand out a core context, in which
  // the fixed-function drawing of the scene does nothing.
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setVersion(2, 1);
  format.setDepthBufferSize(depth ? 24 : 0);
  // Multisampled framebuffers cannot be read back (depth picking, capture).
  format.setSamples(0);
  format.setStereo(false);
  const bool useDouble = doubleBuffer || g_doubleBufferOverride == -1;
  format.setSwapBehavior(useDouble ? QSurfaceFormat::DoubleBuffer : QSurfaceFormat::SingleBuffer);
  return format;
}

int Qk_GLWidget::GetFormatStereoMode() {
  LoadFormatDefaults();
  return g_formatStereoMode;
}

int Qk_GLWidget::GetDoubleBufferOverride() {
  LoadFormatDefaults();
  return g_doubleBufferOverride;
}

void Qk_GLWidget::ReloadFormatDefaults() {
  g_formatDefaultsRead = false;
  g_doubleBufferOverride = 0;
  g_formatStereoMode = 0;
}

void Qk_GLWidget::PrepareApplication() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat::setDefaultFormat(MakeFormat(1, 1, 0));
}

// ---------------------------------------------------------------------------
// Construction

Qk_GLWidget::Qk_GLWidget(QWidget* parent, const char* name, int options)
    : QOpenGLWidget(parent),
      m_options(options),
      m_width(0),
      m_height(0),
      m_viewportWidth(0),
      m_viewportHeight(0),
      m_initialised(0),
      m_rightAsMiddle(0),
      m_event(),
      m_drawBuffer(GL_BACK),
      m_viewport{0, 0, 0, 0},
      m_hidden(),
      m_hiddenBound(false),
      m_shownKept(false),
      m_readingShown(0),
      m_swapCount(0),
      m_presentRequests(0),
      m_presentCount(0) {
  const int stereo = (options & QK_GL_STEREO) && GetFormatStereoMode() == 2;
  setFormat(MakeFormat(options & QK_GL_DOUBLE, options & QK_GL_DEPTH, stereo));
  // Keep the picture and the depth buffer between frames: the progressive
  // passes draw over several idle steps, and picking reads the depth of the
  // last frame.
  setUpdateBehavior(QOpenGLWidget::PartialUpdate);
  if (name) setObjectName(QString::fromLatin1(name));

  if (parent) {
    const QSize s = parent->size() * parent->devicePixelRatio();
    m_width = s.width();
    m_height = s.height();
  }
  setMouseTracking(!(options & QK_GL_NO_TRACKING));
  if (!(options & QK_GL_NO_KEYS)) setFocusPolicy(Qt::StrongFocus);
  if ((options & QK_GL_SHARE) && !s_shareWidget) s_shareWidget = this;
}

Qk_GLWidget::~Qk_GLWidget() {
  if (s_shareWidget == this) s_shareWidget = nullptr;
  if (m_hidden && context()) {
    makeCurrent();
    m_hidden.reset();
    doneCurrent();
  }
}

// ---------------------------------------------------------------------------
// Qt's GL entry points

void Qk_GLWidget::initializeGL() {
  // Runs once per context (Qt makes it current). A recreated context loses
  // all state, so the fixed state is set again and InitGL runs again; InitGL
  // implementations create their objects only once.
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  if (m_options & QK_GL_DEPTH) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glClearDepth(1.0);
  }
  glShadeModel(GL_SMOOTH);
  glEnable(GL_NORMALIZE);
  // The framebuffer object always carries a 24-bit depth buffer.
  m_options |= QK_GL_DEPTH;
  // A hidden framebuffer of an earlier context went with that context.
  m_hidden.reset();
  m_hiddenBound = false;
  m_shownKept = false;
  m_initialised = 1;
  InitGL();
}

void Qk_GLWidget::resizeGL(int w, int h) {
  // Qt gives the size in logical pixels; GL works in device pixels.
  const QSize s = QSize(w, h) * devicePixelRatio();
  m_width = m_viewportWidth = s.width();
  m_height = m_viewportHeight = s.height();
  ResizeGL(m_width, m_height);
  // The framebuffer object was recreated and is empty: redraw.
  PaintGL();
}

void Qk_GLWidget::paintGL() {
  // Only presents: the picture in the framebuffer object was drawn by the
  // widget's own drawing calls. Qt has set a full viewport; restore ours.
  ++m_presentCount;
  glViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
}

// ---------------------------------------------------------------------------
// Virtual operations

void Qk_GLWidget::InitGL() {}
void Qk_GLWidget::MousePress(Qk_GLEventRecord*) {}
void Qk_GLWidget::MouseDoubleClick(Qk_GLEventRecord*) {}
void Qk_GLWidget::MouseMove(Qk_GLEventRecord*) {}
void Qk_GLWidget::MouseRelease(Qk_GLEventRecord*) {}
void Qk_GLWidget::Wheel(Qk_GLEventRecord*) {}
void Qk_GLWidget::KeyPress(Qk_GLEventRecord*) {}
void Qk_GLWidget::KeyRelease(Qk_GLEventRecord*) {}
void Qk_GLWidget::Enter() {}
void Qk_GLWidget::Leave() {}

void Qk_GLWidget::PaintGL() {
  if (!m_initialised) return;
  MakeCurrent();
  DrawScene();
}

void Qk_GLWidget::ResizeGL(int w, int h) {
  MakeCurrent();
  SetViewport(0, 0, w, h);
}

void Qk_GLWidget::DrawScene() {}

void Qk_GLWidget::UpdateGL() { PaintGL(); }

// ---------------------------------------------------------------------------
// GL services

void Qk_GLWidget::MakeCurrent() {
  if (!m_initialised) return;
  makeCurrent();
  if (m_readingShown > 0) {
    // Qt's makeCurrent binds the shown framebuffer object; a kept copy
    // stands for it while a pass redraws it.
    if (m_shownKept) m_hidden->bind();
  } else if (m_hiddenBound) {
    m_hidden->bind();
  }
}

void Qk_GLWidget::BeginReadingShown() {
  ++m_readingShown;
  MakeCurrent();
}

void Qk_GLWidget::EndReadingShown() {
  if (m_readingShown > 0) --m_readingShown;
  // Drawing goes on where it was: into the hidden pass, if one runs, else
  // into the shown framebuffer object.
  if (m_readingShown == 0 && (m_hiddenBound || m_shownKept)) MakeCurrent();
}

bool Qk_GLWidget::MakeSpare() {
  const QSize size(m_width, m_height);
  if (m_hidden && m_hidden->size() != size) m_hidden.reset();
  if (m_hidden) return true;
  if (size.isEmpty() || !QOpenGLFramebufferObject::hasOpenGLFramebufferBlit()) return false;
  // Colour and depth as the shown framebuffer object has them, so that
  // both copy across unchanged.
  QOpenGLFramebufferObjectFormat format;
  format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
  format.setInternalTextureFormat(GL_RGBA8);
  m_hidden = std::make_unique<QOpenGLFramebufferObject>(size, format);
  if (!m_hidden->isValid()) {
    m_hidden.reset();
    makeCurrent();
    return false;
  }
  return true;
}

bool Qk_GLWidget::BeginHidden() {
  if (!m_initialised) return false;
  makeCurrent();
  // The spare framebuffer holds the hidden picture from now on.
  m_shownKept = false;
  if (!MakeSpare()) return false;
  m_hiddenBound = m_hidden->bind();
  return m_hiddenBound;
}

bool Qk_GLWidget::KeepShownPicture() {
  m_shownKept = false;
  if (!m_initialised || m_hiddenBound) return false;
  makeCurrent();
  if (!MakeSpare()) return false;
  QOpenGLExtraFunctions* gl = context()->extraFunctions();
  const int w = m_hidden->width(), h = m_hidden->height();
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, defaultFramebufferObject());
  gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_hidden->handle());
  gl->glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT, GL_NEAREST);
  // Drawing goes on into the shown framebuffer object.
  makeCurrent();
  m_shownKept = true;
  return true;
}

void Qk_GLWidget::DropShownPicture() { m_shownKept = false; }

void Qk_GLWidget::ShowHidden() {
  if (!m_hiddenBound) return;
  makeCurrent();
  QOpenGLExtraFunctions* gl = context()->extraFunctions();
  const int w = m_hidden->width(), h = m_hidden->height();
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, m_hidden->handle());
  gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
  gl->glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT, GL_NEAREST);
  EndHidden();
}

void Qk_GLWidget::EndHidden() {
  if (!m_hiddenBound) return;
  m_hiddenBound = false;
  makeCurrent();
}

void Qk_GLWidget::Present() {
  ++m_presentRequests;
  update();
}

void Qk_GLWidget::SwapBuffers() {
  if (!m_initialised) return;
  ++m_swapCount;
  glFlush();
  Present();
}

void Qk_GLWidget::SwapOrFlush() {
  if (!m_initialised) return;
  // A single-buffered widget flushes instead of swapping; both are a
  // flush followed by presenting the framebuffer object here.
  ++m_swapCount;
  glFlush();
  Present();
}

void Qk_GLWidget::SetClearColor(float r, float g, float b) {
  if (!m_initialised) return;
  MakeCurrent();
  glClearColor(r, g, b, 1.0f);
}

bool Qk_GLWidget::DrawingToFront() const {
  return m_drawBuffer == GL_FRONT || m_drawBuffer == GL_FRONT_AND_BACK || m_drawBuffer == GL_FRONT_LEFT ||
         m_drawBuffer == GL_FRONT_RIGHT;
}

void Qk_GLWidget::SelectDrawBuffer(GLenum buffer) {
  const bool wasFront = DrawingToFront();
  m_drawBuffer = buffer;
  if (!m_initialised) return;
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
  if (bound == 0) glDrawBuffer(buffer);  // a window's own buffers (not this widget's case)
  if (wasFront && !DrawingToFront()) Present();
}

void Qk_GLWidget::SetViewport(int x, int y, int w, int h) {
  m_viewport[0] = x;
  m_viewport[1] = y;
  m_viewport[2] = w;
  m_viewport[3] = h;
  if (m_initialised) glViewport(x, y, w, h);
}

// ---------------------------------------------------------------------------
// Event record

int Qk_GLWidget::ModifierBits(Qt::KeyboardModifiers modifiers) {
  int bits = 0;
  if (modifiers & Qt::AltModifier) bits |= QK_MOD_ALT;
  if (modifiers & Qt::ControlModifier) bits |= QK_MOD_CTRL;
  if (modifiers & Qt::ShiftModifier) bits |= QK_MOD_SHIFT;
  if (modifiers & Qt::MetaModifier) bits |= QK_MOD_META;
  return bits;
}

int Qk_GLWidget::ButtonCode(Qt::MouseButton button, int modifiers, int rightAsMiddle) {
  switch (button) {
    case Qt::MiddleButton: return QK_BUTTON_MIDDLE;
    case Qt::RightButton: return rightAsMiddle > 0 ? QK_BUTTON_MIDDLE : QK_BUTTON_RIGHT;
    case Qt::LeftButton: return (modifiers & QK_MOD_META) ? QK_BUTTON_MIDDLE : QK_BUTTON_LEFT;
    default: return QK_BUTTON_NONE;
  }
}

int Qk_GLWidget::KeyCode(int qtKey, int character, int modifiers) {
  int code;
  switch (qtKey) {
    case Qt::Key_Left: code = QK_KEY_LEFT; break;
    case Qt::Key_Right: code = QK_KEY_RIGHT; break;
    case Qt::Key_Up: code = QK_KEY_UP; break;
    case Qt::Key_Down: code = QK_KEY_DOWN; break;
    case Qt::Key_Delete: code = QK_KEY_DELETE; break;
    default: code = character; break;
  }
  return code | modifiers;
}

char* Qk_GLWidget::KeyName(int code) {
  std::string name;
  if (code & QK_MOD_CTRL) name += "Ctrl+";
  if (code & QK_MOD_SHIFT) name += "Shift+";
  const int key = code & ~(QK_MOD_CTRL | QK_MOD_SHIFT);
  switch (key) {
    case 32: name += "Space"; break;
    case QK_KEY_LEFT: name += "Left"; break;
    case QK_KEY_RIGHT: name += "Right"; break;
    case QK_KEY_UP: name += "Up"; break;
    case QK_KEY_DOWN: name += "Down"; break;
    case QK_KEY_DELETE: name += "Delete"; break;
    default: name += static_cast<char>(key & 0xFF); break;
  }
  char* out = static_cast<char*>(malloc(name.size() + 1));
  if (!out) return nullptr;
  memcpy(out, name.c_str(), name.size() + 1);
  return out;
}

void Qk_GLWidget::SetEventPosition(const QPointF& position) {
  const qreal ratio = devicePixelRatio();
  m_event.x = static_cast<int>(position.x() * ratio);
  m_event.y = m_height - static_cast<int>(position.y() * ratio) - 1;
}

int Qk_GLWidget::KeyFromEvent(QKeyEvent* event) const {
  // The character the key produced; keys without one (function keys,
  // modifiers alone) and characters outside Latin-1 give 0.
  int character = 0;
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).unicode() < 256) character = text.at(0).unicode();
  return KeyCode(event->key(), character, ModifierBits(event->modifiers()));
}

void Qk_GLWidget::mousePressEvent(QMouseEvent* event) {
  m_event.modifiers = ModifierBits(event->modifiers());
  m_event.button = ButtonCode(event->button(), m_event.modifiers, m_rightAsMiddle);
  SetEventPosition(event->position());
  if (m_event.dragButton == 0) {
    m_event.dragButton = m_event.button;
    m_event.pressX = m_event.x;
    m_event.pressY = m_event.y;
  }
  MousePress(&m_event);
}

void Qk_GLWidget::mouseReleaseEvent(QMouseEvent* event) {
  // The code uses the modifiers of the press, so a Meta+left drag ends with
  // its own release even when Meta was let go first.
  m_event.button = ButtonCode(event->button(), m_event.modifiers, m_rightAsMiddle);
  SetEventPosition(event->position());
  if (m_event.button == m_event.dragButton) {
    m_event.dragButton = 0;
    m_event.modifiers = 0;
  }
  MouseRelease(&m_event);
}

void Qk_GLWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  m_event.button = ButtonCode(event->button(), m_event.modifiers, m_rightAsMiddle);
  SetEventPosition(event->position());
  MouseDoubleClick(&m_event);
}

void Qk_GLWidget::mouseMoveEvent(QMouseEvent* event) {
  m_event.button = m_event.dragButton;
  SetEventPosition(event->position());
  MouseMove(&m_event);
}

void Qk_GLWidget::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  m_event.wheelDelta = delta.y() != 0 ? delta.y() : delta.x();
  Deliver(event, &Qk_GLWidget::Wheel);
}

void Qk_GLWidget::keyPressEvent(QKeyEvent* event) { DeliverKey(event, &Qk_GLWidget::KeyPress); }

void Qk_GLWidget::keyReleaseEvent(QKeyEvent* event) { DeliverKey(event, &Qk_GLWidget::KeyRelease); }

void Qk_GLWidget::DeliverKey(QKeyEvent* event, Handler handler) {
  if (m_options & QK_GL_NO_KEYS) {
    event->ignore();
    return;
  }
  m_event.key = KeyFromEvent(event);
  Deliver(event, handler);
}

void Qk_GLWidget::Deliver(QEvent* event, Handler handler) {
  m_event.accepted = 1;
  (this->*handler)(&m_event);
  if (m_event.accepted) {
    event->accept();
  } else {
    event->ignore();
  }
}

void Qk_GLWidget::enterEvent(QEnterEvent*) { Enter(); }

void Qk_GLWidget::leaveEvent(QEvent*) { Leave(); }

// ---------------------------------------------------------------------------
// Free functions

void BeginXorMode() {
  glEnable(GL_COLOR_LOGIC_OP);
  glLogicOp(GL_XOR);
}

void EndXorMode() {
  glDisable(GL_COLOR_LOGIC_OP);
  glLogicOp(GL_COPY);
}

int ReportGLErrors() {
  // Bounded: without a current context some drivers report an error forever.
  int count = 0;
  for (GLenum error = glGetError(); error != GL_NO_ERROR && count < 64; error = glGetError()) {
    char text[64];
    snprintf(text, sizeof(text), "OpenGL Error: %d", static_cast<int>(error));
    Sv_Debug::Message(SV_LEVEL_DEBUG, text);
    ++count;
  }
  return count;
}
