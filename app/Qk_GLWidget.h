#ifndef QK_GLWIDGET_H
#define QK_GLWIDGET_H

#include <QOpenGLWidget>
#include <QSurfaceFormat>

#include <GL/gl.h>

#include <memory>

class QEnterEvent;
class QOpenGLFramebufferObject;

// Widget options, the constructor's bit set.
enum {
  QK_GL_DEPTH = 1,        // depth buffer
  QK_GL_DOUBLE = 2,       // double buffer
  QK_GL_STEREO = 4,       // stereo wanted
  QK_GL_SHARE = 8,        // share the context with the first widget made with this bit
  QK_GL_NO_KEYS = 16,     // keys are ignored and no focus policy is set
  QK_GL_NO_TRACKING = 32  // no mouse tracking
};

// Button codes of the event record.
enum { QK_BUTTON_NONE = 0, QK_BUTTON_LEFT = 1, QK_BUTTON_MIDDLE = 2, QK_BUTTON_RIGHT = 3 };

// Modifier bits of the event record; key codes carry them too.
enum { QK_MOD_ALT = 0x1000, QK_MOD_CTRL = 0x2000, QK_MOD_SHIFT = 0x4000, QK_MOD_META = 0x8000 };

// Key codes of the keys that have no character; every other key is its
// character code.
enum { QK_KEY_LEFT = 256, QK_KEY_RIGHT = 257, QK_KEY_UP = 258, QK_KEY_DOWN = 259, QK_KEY_DELETE = 260 };

// The neutral event record: every Qt mouse, wheel and key event reaches the
// widget's handlers (and through them the work area and its overlays) in this
// form. Positions are in device pixels with y counted from the bottom row.
struct Qk_GLEventRecord {
  int x;           // pointer x from the left
  int y;           // height - Qt y - 1 (0 = bottom row)
  int button;      // QK_BUTTON_*; during a move the drag button
  int dragButton;  // button of the press that started the drag, 0 when none
  int wheelDelta;  // wheel delta (120 per notch)
  int key;         // key code with the modifier bits ORed in
  int modifiers;   // QK_MOD_* bits
  int pressX;      // position of the press that started the drag
  int pressY;
  int accepted;    // 1 before a wheel or key handler runs; cleared: the Qt event is ignored
};

// OpenGL widget of the viewer: chooses its format from the "OpenGLDefaults"
// and "StereoOptions" configuration files, sets the fixed GL state once per
// context and turns Qt input into the neutral event record.
//
// Drawing model. The widget draws into its framebuffer object, which keeps
// colour and depth between frames (partial update). Qt's paintGL() only
// presents what was drawn; the drawing itself is started explicitly:
// PaintGL()/UpdateGL() run on a redraw request, on every resize and on the
// first show (the resize that precedes it). "Swapping" presents the picture.
// Front and back buffers both name the framebuffer object; SelectDrawBuffer
// keeps the requested buffer so that front-buffer drawing can be presented.
// A picture that must not be seen before it is complete (a best pass drawn
// into the back buffer) is drawn into a hidden framebuffer object of the
// same size instead, while the shown one keeps the picture before it;
// ShowHidden copies the finished picture, colour and depth, into the shown
// one.
class Qk_GLWidget : public QOpenGLWidget {
  Q_OBJECT

 public:
  Qk_GLWidget(QWidget* parent, const char* name, int options);
  ~Qk_GLWidget() override;

  // --- virtual operations, in slot order ---
  // Runs once per GL context, after the fixed state is set; empty here.
  virtual void InitGL();
  // Input handlers; empty here. The record is the widget's live record.
  virtual void MousePress(Qk_GLEventRecord* event);
  virtual void MouseDoubleClick(Qk_GLEventRecord* event);
  virtual void MouseMove(Qk_GLEventRecord* event);
  virtual void MouseRelease(Qk_GLEventRecord* event);
  virtual void Wheel(Qk_GLEventRecord* event);
  virtual void KeyPress(Qk_GLEventRecord* event);
  virtual void KeyRelease(Qk_GLEventRecord* event);
  virtual void Enter();
  virtual void Leave();
  // Redraw: makes the context current and runs DrawScene. Does nothing
  // before the context exists.
  virtual void PaintGL();
  // Makes the context current and sets the viewport to (0, 0, w, h) in
  // device pixels.
  virtual void ResizeGL(int w, int h);
  // The draw operation: one complete frame; empty here.
  virtual void DrawScene();
  // Redraw request: PaintGL.
  virtual void UpdateGL();

  // --- GL services ---
  // Makes the context current (binds the framebuffer object); nothing before
  // the context exists.
  void MakeCurrent();
  // Ends a frame: flushes and presents the framebuffer object.
  void SwapBuffers();
  // Swaps when option 1 is set, else flushes; both present the picture.
  void SwapOrFlush();
  // Clear colour with alpha 1.
  void SetClearColor(float r, float g, float b);
  // glDrawBuffer for GL_FRONT, GL_BACK, GL_FRONT_AND_BACK and the left and
  // right buffers. With a framebuffer object bound (always, for this widget)
  // every buffer is the object's colour attachment, so only the choice is
  // kept; leaving a front buffer presents what was drawn there.
  void SelectDrawBuffer(GLenum buffer);
  GLenum GetDrawBuffer() const { return m_drawBuffer; }
  // True while the chosen draw buffer is a front buffer (drawing is visible
  // as it happens).
  bool DrawingToFront() const;
  // Hidden drawing: from BeginHidden until EndHidden, MakeCurrent binds a
  // hidden framebuffer object of the widget's size (made, or remade at a new
  // size, by BeginHidden), so that drawing there leaves the shown picture
  // as it is. ShowHidden copies the hidden colour and depth into the shown
  // framebuffer object and ends hidden drawing; EndHidden ends it without
  // showing anything. False when no hidden framebuffer can be made (the
  // drawing then goes to the shown one).
  bool BeginHidden();
  void ShowHidden();
  void EndHidden();
  bool DrawingHidden() const { return m_hiddenBound; }
  // Reading the picture on show (picks, readouts): from BeginReadingShown
  // to the matching EndReadingShown, MakeCurrent binds the shown
  // framebuffer object even while a pass is drawn hidden, so that colour
  // and depth are read from the picture the user sees, not from the
  // unfinished one. The pairs nest; Qk_ShownPictureScope keeps one.
  void BeginReadingShown();
  void EndReadingShown();
  // Keeping the picture on show for its readers: KeepShownPicture copies the
  // shown colour and depth into the spare framebuffer object that hidden
  // drawing uses (made as BeginHidden makes it), and until DropShownPicture
  // the reads of the picture on show read that copy, while drawing goes on
  // into the shown framebuffer object. For a pass that clears the depth on
  // show and redraws the picture piece by piece over the colour it keeps.
  // False when no copy can be made (the reads then read the drawing).
  bool KeepShownPicture();
  void DropShownPicture();
  // True while the reads of the picture on show see a whole frame although a
  // pass may be drawing: the pass is drawn hidden, or the picture it redraws
  // in place is kept.
  bool ReadingWholeFrame() const { return m_hiddenBound || m_shownKept; }
  // glViewport that the widget restores whenever Qt presents the picture
  // (Qt resets the viewport for its own paint).
  void SetViewport(int x, int y, int w, int h);

  // --- state ---
  int GetOptions() const { return m_options; }
  int GetWidth() const { return m_width; }    // device pixels
  int GetHeight() const { return m_height; }  // device pixels
  int GetViewportWidth() const { return m_viewportWidth; }
  int GetViewportHeight() const { return m_viewportHeight; }
  int IsInitialised() const { return m_initialised; }
  // Positive: the right button is reported as the middle one (code 2).
  void SetRightButtonAsMiddle(int on) { m_rightAsMiddle = on; }
  int GetRightButtonAsMiddle() const { return m_rightAsMiddle; }
  // The live event record (the navigator reads it in its idle step).
  Qk_GLEventRecord* GetEventRecord() { return &m_event; }
  // Number of SwapBuffers/SwapOrFlush calls, of presents requested (swaps
  // and front-buffer drawing), and of times Qt presented (paintGL).
  long GetSwapCount() const { return m_swapCount; }
  long GetPresentRequestCount() const { return m_presentRequests; }
  long GetPresentCount() const { return m_presentCount; }
  // The widget whose context the others share (first made with option 8).
  static Qk_GLWidget* GetShareWidget() { return s_shareWidget; }

  // --- format ---
  // The surface format: OpenGL compatibility profile 2.1, 24-bit depth when
  // asked for, no multisampling, double buffering when asked for or when
  // "OpenGLDefaults" forces it. Stereo buffers are never requested; the
  // stereo argument is accepted for the callers' sake.
  static QSurfaceFormat MakeFormat(int doubleBuffer, int depth, int stereo);
  // The stereo mode of "StereoOptions" as read for the format (2 when the
  // file is missing or gives 0).
  static int GetFormatStereoMode();
  // The double-buffer override of "OpenGLDefaults" (0 when not read).
  static int GetDoubleBufferOverride();
  // Forgets the configuration read for the format, so that the next format
  // reads it again (the files are otherwise read once per process).
  static void ReloadFormatDefaults();
  // To be called before the QApplication exists: the default surface format
  // and shared contexts across top-level windows.
  static void PrepareApplication();

  // --- event record helpers ---
  static int ModifierBits(Qt::KeyboardModifiers modifiers);
  // Button code from a Qt button and the record's modifier bits.
  static int ButtonCode(Qt::MouseButton button, int modifiers, int rightAsMiddle);
  // Key code from a Qt key, its character (0 when none) and modifier bits.
  static int KeyCode(int qtKey, int character, int modifiers);
  // "Ctrl+", "Shift+" and the key's name; a new string the caller frees
  // with free().
  static char* KeyName(int code);

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

  // Presents the framebuffer object (Qt composites it at its next paint).
  void Present();

  int m_options;
  int m_width;
  int m_height;
  int m_viewportWidth;
  int m_viewportHeight;
  int m_initialised;
  int m_rightAsMiddle;
  Qk_GLEventRecord m_event;

 private:
  typedef void (Qk_GLWidget::*Handler)(Qk_GLEventRecord* event);

  void SetEventPosition(const QPointF& position);
  int KeyFromEvent(QKeyEvent* event) const;
  // Hands the live record, marked accepted, to the (virtual) handler; the
  // Qt event is accepted when the handler left the record accepted.
  void Deliver(QEvent* event, Handler handler);
  // Deliver for a key event with its key code; ignored when keys are off.
  void DeliverKey(QKeyEvent* event, Handler handler);
  // The spare framebuffer object at the widget's size, made or remade when
  // needed (the context is current); false when none can be made.
  bool MakeSpare();

  GLenum m_drawBuffer;
  int m_viewport[4];
  std::unique_ptr<QOpenGLFramebufferObject> m_hidden;
  bool m_hiddenBound;
  bool m_shownKept;
  int m_readingShown;
  long m_swapCount;
  long m_presentRequests;
  long m_presentCount;

  static Qk_GLWidget* s_shareWidget;
};

// Keeps a widget reading the picture on show while it lives (see
// Qk_GLWidget::BeginReadingShown).
class Qk_ShownPictureScope {
 public:
  explicit Qk_ShownPictureScope(Qk_GLWidget* widget) : m_widget(widget) { m_widget->BeginReadingShown(); }
  ~Qk_ShownPictureScope() { m_widget->EndReadingShown(); }
  Qk_ShownPictureScope(const Qk_ShownPictureScope&) = delete;
  Qk_ShownPictureScope& operator=(const Qk_ShownPictureScope&) = delete;

 private:
  Qk_GLWidget* m_widget;
};

// Logic-op XOR drawing for rubber bands and outlines.
void BeginXorMode();
void EndXorMode();
// Reports every pending OpenGL error as the debug message "OpenGL Error: %d";
// returns the number reported.
int ReportGLErrors();

#endif
