// The OpenGL widget: format from the configuration files, context and
// framebuffer, the neutral event record, key names, XOR helpers, GL error
// reports. Runs under xvfb-run on the xcb platform.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QWheelEvent>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "Qk_GLWidget.h"
#include "TestSupport.h"

using orvanta_apptest::ReadPixel;
using orvanta_apptest::WaitFor;

namespace {

// Records what reaches the virtual handlers, and draws a red picture.
class RecordingWidget : public Qk_GLWidget {
 public:
  RecordingWidget(QWidget* parent, int options) : Qk_GLWidget(parent, "recorder", options) {}

  void DrawScene() override {
    ++draws;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    orvanta_apptest::FillViewport(fill[0], fill[1], fill[2]);
    SwapBuffers();
  }
  void MousePress(Qk_GLEventRecord* e) override { presses.push_back(*e); }
  void MouseRelease(Qk_GLEventRecord* e) override { releases.push_back(*e); }
  void MouseMove(Qk_GLEventRecord* e) override { moves.push_back(*e); }
  void MouseDoubleClick(Qk_GLEventRecord* e) override { doubles.push_back(*e); }
  void Wheel(Qk_GLEventRecord* e) override {
    wheels.push_back(*e);
    e->accepted = accept;
  }
  void KeyPress(Qk_GLEventRecord* e) override {
    keys.push_back(*e);
    e->accepted = accept;
  }
  void KeyRelease(Qk_GLEventRecord* e) override { keyReleases.push_back(*e); }
  void Enter() override { ++enters; }
  void Leave() override { ++leaves; }

  int draws = 0;
  float fill[3] = {1.0f, 0.0f, 0.0f};
  int accept = 1;
  int enters = 0, leaves = 0;
  std::vector<Qk_GLEventRecord> presses, releases, moves, doubles, wheels, keys, keyReleases;
};

// Counts the key events that the GL widget passes on.
class ParentProbe : public QWidget {
 public:
  int keys = 0;

 protected:
  void keyPressEvent(QKeyEvent*) override { ++keys; }
};

class GLWidgetTest : public ::testing::Test {
 protected:
  static constexpr int kW = 160;
  static constexpr int kH = 120;

  void Open(int options = QK_GL_DEPTH | QK_GL_DOUBLE) {
    parent = std::make_unique<ParentProbe>();
    parent->resize(kW, kH);
    widget = new RecordingWidget(parent.get(), options);
    widget->setGeometry(0, 0, kW, kH);
    parent->show();
    ASSERT_TRUE(WaitFor([&] { return widget->IsInitialised() && widget->GetHeight() == kH && widget->draws > 0; }));
  }

  void Mouse(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    Qt::MouseButtons held = (type == QEvent::MouseButtonRelease) ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, pos, widget->mapToGlobal(pos), button, held, mods);
    QCoreApplication::sendEvent(widget, &e);
  }

  void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods, const QString& text) {
    QKeyEvent e(type, key, mods, text);
    QCoreApplication::sendEvent(widget, &e);
  }

  // Returns whether the widget accepted the event (Qt passes a synthetic
  // wheel event on to no parent, so the flag is what tells).
  bool WheelBy(int delta) {
    const QPointF pos(10, 10);
    QWheelEvent e(pos, widget->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(widget, &e);
    return e.isAccepted();
  }

  std::unique_ptr<ParentProbe> parent;
  RecordingWidget* widget = nullptr;
};

// Writes a configuration file into a private configuration directory.
class ConfigDir {
 public:
  ConfigDir() : m_env("WRUCONFIGURATIONS", m_dir.path().c_str()) { Qk_GLWidget::ReloadFormatDefaults(); }
  ~ConfigDir() { Qk_GLWidget::ReloadFormatDefaults(); }
  void Write(const char* name, const std::string& text) {
    ASSERT_TRUE(orvanta_test::WriteFileBytes(m_dir.file(name), text));
  }

 private:
  orvanta_test::TempDir m_dir;
  orvanta_test::ScopedEnv m_env;
};

TEST(GLWidgetFormat, DefaultsWithoutConfigurationFiles) {
  ConfigDir config;
  EXPECT_EQ(Qk_GLWidget::GetDoubleBufferOverride(), 0);
  EXPECT_EQ(Qk_GLWidget::GetFormatStereoMode(), 2);

  const QSurfaceFormat f = Qk_GLWidget::MakeFormat(1, 1, 1);
  EXPECT_EQ(f.profile(), QSurfaceFormat::CompatibilityProfile);
  EXPECT_EQ(f.majorVersion(), 2);
  EXPECT_EQ(f.minorVersion(), 1);
  EXPECT_EQ(f.depthBufferSize(), 24);
  EXPECT_EQ(f.samples(), 0);
  EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
  // Stereo buffers are never requested, even when stereo is wanted.
  EXPECT_FALSE(f.stereo());

  const QSurfaceFormat single = Qk_GLWidget::MakeFormat(0, 0, 0);
  EXPECT_EQ(single.swapBehavior(), QSurfaceFormat::SingleBuffer);
  EXPECT_EQ(single.depthBufferSize(), 0);
}

TEST(GLWidgetFormat, OpenGLDefaultsForcesDoubleBuffering) {
  ConfigDir config;
  config.Write("OpenGLDefaults", "# format settings\n1\n7\n-1\n0\n");
  EXPECT_EQ(Qk_GLWidget::GetDoubleBufferOverride(), -1);
  EXPECT_EQ(Qk_GLWidget::MakeFormat(0, 1, 0).swapBehavior(), QSurfaceFormat::DoubleBuffer);

  // Read once per process: a changed file is not seen.
  config.Write("OpenGLDefaults", "1\n0\n0\n");
  EXPECT_EQ(Qk_GLWidget::GetDoubleBufferOverride(), -1);

  // Only version 1 is read.
  Qk_GLWidget::ReloadFormatDefaults();
  config.Write("OpenGLDefaults", "2\n7\n-1\n0\n");
  EXPECT_EQ(Qk_GLWidget::GetDoubleBufferOverride(), 0);
  EXPECT_EQ(Qk_GLWidget::MakeFormat(0, 1, 0).swapBehavior(), QSurfaceFormat::SingleBuffer);
}

TEST(GLWidgetFormat, StereoModeOfStereoOptionsVersions) {
  {
    ConfigDir config;
    config.Write("StereoOptions", "# stereo\n2\n9\n8\n3\n");
    EXPECT_EQ(Qk_GLWidget::GetFormatStereoMode(), 3);  // version 2: third value line
  }
  {
    ConfigDir config;
    config.Write("StereoOptions", "3\n1\n1024\n768\n96\n");
    EXPECT_EQ(Qk_GLWidget::GetFormatStereoMode(), 1);  // version 3: first value line
  }
  {
    ConfigDir config;
    config.Write("StereoOptions", "3\n0\n");
    EXPECT_EQ(Qk_GLWidget::GetFormatStereoMode(), 2);  // 0 means the default
  }
  {
    ConfigDir config;
    config.Write("StereoOptions", "2\n5\n");  // too short: no mode line
    EXPECT_EQ(Qk_GLWidget::GetFormatStereoMode(), 2);
  }
}

TEST(GLWidgetKeys, CodesAndNames) {
  const int ctrlShiftLeft = Qk_GLWidget::KeyCode(Qt::Key_Left, 0, QK_MOD_CTRL | QK_MOD_SHIFT);
  EXPECT_EQ(ctrlShiftLeft, 0x6100);
  const int altA = Qk_GLWidget::KeyCode(Qt::Key_A, 'a', QK_MOD_ALT);
  EXPECT_EQ(altA, 0x1061);
  EXPECT_EQ(Qk_GLWidget::KeyCode(Qt::Key_Delete, 127, 0), 260);
  EXPECT_EQ(Qk_GLWidget::KeyCode(Qt::Key_Down, 0, 0), 259);

  struct Case {
    int code;
    const char* name;
  } cases[] = {{0x6100, "Ctrl+Shift+Left"}, {0x1061, "a"},           {32, "Space"},
               {QK_MOD_CTRL | 260, "Ctrl+Delete"}, {QK_MOD_SHIFT | 258, "Shift+Up"},
               {QK_MOD_META | 'x', "x"},           {257, "Right"},        {259, "Down"}};
  for (const Case& c : cases) {
    char* name = Qk_GLWidget::KeyName(c.code);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, c.name) << std::hex << c.code;
    free(name);
  }
}

TEST_F(GLWidgetTest, OpensOnCompatibilityContextAndReadsBack) {
  Open();
  widget->makeCurrent();
  ASSERT_NE(widget->context(), nullptr);
  EXPECT_EQ(widget->context()->format().profile(), QSurfaceFormat::CompatibilityProfile);
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(std::string(version).find("Core"), std::string::npos) << version;
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 24);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
  EXPECT_EQ(widget->GetOptions() & QK_GL_DEPTH, QK_GL_DEPTH);

  // The first show drew a frame into the framebuffer object.
  orvanta_apptest::Rgb p = ReadPixel(kW / 2, kH / 2);
  EXPECT_EQ(p.r, 255);
  EXPECT_EQ(p.g, 0);

  // A redraw request draws at once; Qt's own paints only present.
  widget->fill[0] = 0.0f;
  widget->fill[1] = 1.0f;
  const int before = widget->draws;
  widget->UpdateGL();
  EXPECT_EQ(widget->draws, before + 1);
  widget->makeCurrent();
  p = ReadPixel(3, 3);
  EXPECT_EQ(p.r, 0);
  EXPECT_EQ(p.g, 255);
  const QImage grabbed = widget->grabFramebuffer();
  EXPECT_EQ(widget->draws, before + 1);
  ASSERT_FALSE(grabbed.isNull());
  EXPECT_EQ(qGreen(grabbed.pixel(kW / 2, kH / 2)), 255);
  EXPECT_EQ(ReportGLErrors(), 0);
}

TEST_F(GLWidgetTest, ResizeRedrawsAndSetsTheViewport) {
  Open();
  const int before = widget->draws;
  widget->setGeometry(0, 0, 100, 80);
  ASSERT_TRUE(WaitFor([&] { return widget->GetHeight() == 80; }));
  EXPECT_GT(widget->draws, before);
  EXPECT_EQ(widget->GetWidth(), 100);
  EXPECT_EQ(widget->GetViewportWidth(), 100);
  widget->makeCurrent();
  GLint vp[4];
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[2], 100);
  EXPECT_EQ(vp[3], 80);
}

TEST_F(GLWidgetTest, MousePositionsCountFromTheBottomRow) {
  Open();
  Mouse(QEvent::MouseButtonPress, QPointF(10, 0), Qt::LeftButton);
  ASSERT_EQ(widget->presses.size(), 1u);
  EXPECT_EQ(widget->presses[0].x, 10);
  EXPECT_EQ(widget->presses[0].y, kH - 1);
  EXPECT_EQ(widget->presses[0].button, QK_BUTTON_LEFT);
  EXPECT_EQ(widget->presses[0].pressY, kH - 1);
  Mouse(QEvent::MouseButtonRelease, QPointF(kW - 1, kH - 1), Qt::LeftButton);
  ASSERT_EQ(widget->releases.size(), 1u);
  EXPECT_EQ(widget->releases[0].x, kW - 1);
  EXPECT_EQ(widget->releases[0].y, 0);
  EXPECT_EQ(widget->releases[0].dragButton, 0);
}

TEST_F(GLWidgetTest, ButtonsAndModifiers) {
  Open();
  Mouse(QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(widget->presses.back().modifiers, QK_MOD_CTRL | QK_MOD_SHIFT);
  Mouse(QEvent::MouseButtonRelease, QPointF(5, 5), Qt::LeftButton);
  EXPECT_EQ(widget->releases.back().modifiers, 0);  // the drag ended

  Mouse(QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton);
  EXPECT_EQ(widget->presses.back().button, QK_BUTTON_RIGHT);
  Mouse(QEvent::MouseButtonRelease, QPointF(5, 5), Qt::RightButton);

  widget->SetRightButtonAsMiddle(1);
  Mouse(QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton);
  EXPECT_EQ(widget->presses.back().button, QK_BUTTON_MIDDLE);
  Mouse(QEvent::MouseButtonRelease, QPointF(5, 5), Qt::RightButton);
  EXPECT_EQ(widget->releases.back().dragButton, 0);

  Mouse(QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton, Qt::MetaModifier | Qt::AltModifier);
  EXPECT_EQ(widget->presses.back().button, QK_BUTTON_MIDDLE);
  EXPECT_EQ(widget->presses.back().modifiers, QK_MOD_META | QK_MOD_ALT);
  // Released after Meta was let go: still the end of the Meta+left drag.
  Mouse(QEvent::MouseButtonRelease, QPointF(5, 5), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(widget->releases.back().button, QK_BUTTON_MIDDLE);
  EXPECT_EQ(widget->releases.back().dragButton, 0);

  Mouse(QEvent::MouseButtonPress, QPointF(5, 5), Qt::MiddleButton);
  EXPECT_EQ(widget->presses.back().button, QK_BUTTON_MIDDLE);
}

TEST_F(GLWidgetTest, DragKeepsItsButtonAndPressPoint) {
  Open();
  Mouse(QEvent::MouseButtonPress, QPointF(20, 30), Qt::LeftButton, Qt::ShiftModifier);
  Mouse(QEvent::MouseMove, QPointF(25, 40), Qt::NoButton);
  ASSERT_FALSE(widget->moves.empty());
  EXPECT_EQ(widget->moves.back().button, QK_BUTTON_LEFT);
  EXPECT_EQ(widget->moves.back().x, 25);
  EXPECT_EQ(widget->moves.back().y, kH - 41);

  // A second button during the drag changes neither the drag nor its origin.
  Mouse(QEvent::MouseButtonPress, QPointF(50, 50), Qt::RightButton);
  EXPECT_EQ(widget->presses.back().button, QK_BUTTON_RIGHT);
  EXPECT_EQ(widget->presses.back().dragButton, QK_BUTTON_LEFT);
  EXPECT_EQ(widget->presses.back().pressX, 20);
  EXPECT_EQ(widget->presses.back().pressY, kH - 31);
  Mouse(QEvent::MouseButtonRelease, QPointF(50, 50), Qt::RightButton);
  EXPECT_EQ(widget->releases.back().dragButton, QK_BUTTON_LEFT);

  Mouse(QEvent::MouseMove, QPointF(60, 60), Qt::NoButton);
  EXPECT_EQ(widget->moves.back().button, QK_BUTTON_LEFT);
  Mouse(QEvent::MouseButtonRelease, QPointF(60, 60), Qt::LeftButton);
  EXPECT_EQ(widget->releases.back().dragButton, 0);
  Mouse(QEvent::MouseMove, QPointF(61, 60), Qt::NoButton);
  EXPECT_EQ(widget->moves.back().button, QK_BUTTON_NONE);

  // A double click reports its button with the modifiers of the last press.
  Mouse(QEvent::MouseButtonPress, QPointF(7, 7), Qt::LeftButton, Qt::MetaModifier);
  Mouse(QEvent::MouseButtonDblClick, QPointF(7, 7), Qt::LeftButton);
  ASSERT_EQ(widget->doubles.size(), 1u);
  EXPECT_EQ(widget->doubles[0].button, QK_BUTTON_MIDDLE);
}

TEST_F(GLWidgetTest, WheelAndKeysPassOnWhenNotAccepted) {
  Open();
  EXPECT_TRUE(WheelBy(-120));
  ASSERT_EQ(widget->wheels.size(), 1u);
  EXPECT_EQ(widget->wheels[0].wheelDelta, -120);
  EXPECT_EQ(widget->wheels[0].accepted, 1);

  Key(QEvent::KeyPress, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier, QString());
  ASSERT_EQ(widget->keys.size(), 1u);
  EXPECT_EQ(widget->keys[0].key, 0x6100);
  Key(QEvent::KeyPress, Qt::Key_A, Qt::AltModifier, QStringLiteral("a"));
  EXPECT_EQ(widget->keys.back().key, 0x1061);
  Key(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  ASSERT_EQ(widget->keyReleases.size(), 1u);
  EXPECT_EQ(widget->keyReleases[0].key, 'a');
  EXPECT_EQ(parent->keys, 0);

  widget->accept = 0;
  EXPECT_FALSE(WheelBy(240));
  EXPECT_EQ(widget->wheels.back().wheelDelta, 240);
  Key(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
  EXPECT_EQ(parent->keys, 1);
  EXPECT_EQ(widget->keys.back().key, 'b');
}

TEST_F(GLWidgetTest, OptionsForKeysAndTracking) {
  Open(QK_GL_DEPTH | QK_GL_NO_KEYS | QK_GL_NO_TRACKING);
  EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
  EXPECT_FALSE(widget->hasMouseTracking());
  Key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  EXPECT_TRUE(widget->keys.empty());
  EXPECT_EQ(parent->keys, 1);
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), widget->mapToGlobal(QPointF(1, 1)));
  QCoreApplication::sendEvent(widget, &enter);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(widget, &leave);
  EXPECT_EQ(widget->enters, 1);
  EXPECT_EQ(widget->leaves, 1);
}

TEST_F(GLWidgetTest, XorModeErasesWhatItDrawsTwice) {
  Open();
  widget->makeCurrent();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  orvanta_apptest::FillViewport(0.0f, 0.0f, 1.0f);
  BeginXorMode();
  orvanta_apptest::FillViewport(1.0f, 1.0f, 0.0f);
  EXPECT_EQ(ReadPixel(4, 4).r, 255);
  EXPECT_EQ(ReadPixel(4, 4).b, 255);
  orvanta_apptest::FillViewport(1.0f, 1.0f, 0.0f);
  EndXorMode();
  EXPECT_FALSE(glIsEnabled(GL_COLOR_LOGIC_OP));
  GLint op = 0;
  glGetIntegerv(GL_LOGIC_OP_MODE, &op);
  EXPECT_EQ(op, GL_COPY);
  const orvanta_apptest::Rgb p = ReadPixel(4, 4);
  EXPECT_EQ(p.r, 0);
  EXPECT_EQ(p.b, 255);
}

TEST_F(GLWidgetTest, GLErrorsAreReportedOnce) {
  Open();
  widget->makeCurrent();
  glMatrixMode(0x7FFF);  // not a matrix mode
  glPopMatrix();
  glPopMatrix();  // the model-view stack has no entry to pop
  EXPECT_GE(ReportGLErrors(), 1);
  EXPECT_EQ(ReportGLErrors(), 0);
}

}  // namespace
