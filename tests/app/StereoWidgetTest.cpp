// The stereo layer: stereo kinds, "StereoOptions" of the stereo widget, and
// split-screen drawing into the two halves of the view.

#include <gtest/gtest.h>

#include <QOpenGLContext>

#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "Qk_GLStereoWidget.h"
#include "Sv_Types.h"
#include "TestSupport.h"

using orvanta_apptest::ReadPixel;
using orvanta_apptest::WaitFor;

namespace {

const int kStereoWanted = QK_GL_DEPTH | QK_GL_DOUBLE | QK_GL_STEREO;

// Draws the left eye red and the right eye green in stereo, blue in mono.
class EyeWidget : public Qk_GLStereoWidget {
 public:
  explicit EyeWidget(int options) : Qk_GLStereoWidget(nullptr, "eyes", options) {}
  void DrawScene() override {
    ++draws;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (GetStereo()) {
      SelectLeft(0);
      leftEye = GetCurrentEye();
      orvanta_apptest::FillViewport(1.0f, 0.0f, 0.0f);
      SelectRight(0);
      rightEye = GetCurrentEye();
      glGetIntegerv(GL_VIEWPORT, rightViewport);
      orvanta_apptest::FillViewport(0.0f, 1.0f, 0.0f);
    } else {
      orvanta_apptest::FillViewport(0.0f, 0.0f, 1.0f);
    }
    SwapBuffers();
  }
  int draws = 0;
  int leftEye = -1, rightEye = -1;
  GLint rightViewport[4] = {0, 0, 0, 0};
};

class StereoWidgetTest : public ::testing::Test {
 protected:
  // A private, empty configuration directory unless a test writes files.
  StereoWidgetTest() : m_env("WRUCONFIGURATIONS", m_dir.path().c_str()) { Qk_GLWidget::ReloadFormatDefaults(); }
  ~StereoWidgetTest() override { Qk_GLWidget::ReloadFormatDefaults(); }

  void Open(int options, int mode, int width = 161, int height = 100) {
    widget = std::make_unique<EyeWidget>(options);
    if (mode) widget->SetStereoMode(mode);
    widget->resize(width, height);
    widget->show();
    ASSERT_TRUE(WaitFor([&] { return widget->IsInitialised() && widget->GetHeight() == height; }));
  }

  orvanta_test::TempDir m_dir;
  orvanta_test::ScopedEnv m_env;
  std::unique_ptr<EyeWidget> widget;
};

TEST_F(StereoWidgetTest, SplitScreenDrawsEachEyeIntoItsHalf) {
  Open(kStereoWanted, QK_STEREO_SPLIT_SCREEN);
  EXPECT_EQ(widget->GetStereoMode(), QK_STEREO_SPLIT_SCREEN);
  widget->SetStereo(1);
  EXPECT_EQ(widget->GetStereo(), 1);
  widget->UpdateGL();
  EXPECT_EQ(widget->leftEye, 0);
  EXPECT_EQ(widget->rightEye, 1);
  // Width 161: each half is 80 pixels wide.
  EXPECT_EQ(widget->rightViewport[0], 80);
  EXPECT_EQ(widget->rightViewport[2], 80);
  EXPECT_EQ(widget->rightViewport[3], 100);
  EXPECT_EQ(widget->GetViewportWidth(), 80);

  widget->makeCurrent();
  EXPECT_EQ(ReadPixel(1, 50).r, 255);
  EXPECT_EQ(ReadPixel(79, 50).r, 255);
  EXPECT_EQ(ReadPixel(80, 50).g, 255);
  EXPECT_EQ(ReadPixel(159, 99).g, 255);
  EXPECT_EQ(ReadPixel(79, 50).g, 0);

  // Qt's presenting paint leaves the eye's viewport in place.
  const long presents = widget->GetPresentCount();
  widget->update();
  ASSERT_TRUE(WaitFor([&] { return widget->GetPresentCount() > presents; }));
  widget->makeCurrent();
  GLint vp[4];
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[0], 80);
  EXPECT_EQ(vp[2], 80);

  widget->SetStereo(0);
  EXPECT_EQ(widget->GetCurrentEye(), 0);
  EXPECT_EQ(widget->GetViewportWidth(), 161);
  widget->makeCurrent();
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[0], 0);
  EXPECT_EQ(vp[2], 161);
  widget->UpdateGL();
  widget->makeCurrent();
  EXPECT_EQ(ReadPixel(150, 50).b, 255);
  EXPECT_EQ(ReadPixel(10, 50).b, 255);
}

TEST_F(StereoWidgetTest, QuadBufferedStereoIsNotAvailable) {
  // No "StereoOptions": a widget that wants stereo asks for quad buffers.
  orvanta_test::MessageCapture messages;
  Open(kStereoWanted, 0);
  EXPECT_EQ(widget->GetStereoMode(), QK_STEREO_NOT_AVAILABLE);
  EXPECT_EQ(widget->GetOptions() & QK_GL_STEREO, 0);
  EXPECT_FALSE(widget->context()->format().stereo());
  widget->SetStereo(1);
  EXPECT_EQ(widget->GetStereo(), 0);
  ASSERT_EQ(messages.messages().size(), 1u) << messages.All();
  EXPECT_EQ(messages.messages()[0].first, SV_LEVEL_ERROR);
  EXPECT_EQ(messages.messages()[0].second, "Stereo not available.");
  // Switching off what is off reports nothing.
  widget->SetStereo(0);
  EXPECT_EQ(messages.messages().size(), 1u);
}

TEST_F(StereoWidgetTest, NoStereoWithoutTheStereoOption) {
  orvanta_test::MessageCapture messages;
  Open(QK_GL_DEPTH | QK_GL_DOUBLE, QK_STEREO_SPLIT_SCREEN);
  EXPECT_EQ(widget->GetStereoMode(), QK_STEREO_NOT_AVAILABLE);
  widget->SetStereo(1);
  EXPECT_TRUE(messages.Contains("Stereo not available."));
}

TEST_F(StereoWidgetTest, UnsupportedKindFromStereoOptions) {
  ASSERT_TRUE(orvanta_test::WriteFileBytes(m_dir.file("StereoOptions"), "3\n1\n1280\n1024\n72\n"));
  orvanta_test::MessageCapture messages;
  Open(kStereoWanted, 0);
  EXPECT_EQ(widget->GetStereoMode(), QK_STEREO_NOT_AVAILABLE);
  widget->SetStereo(1);
  EXPECT_TRUE(messages.Contains("Stereo not available."));
}

TEST_F(StereoWidgetTest, StereoOptionsValuesAndScripts) {
  ASSERT_TRUE(orvanta_test::WriteFileBytes(m_dir.file("StereoOptions"),
                                           "# stereo set-up\n3\n3\n1280\n1024\n72\n"
                                           "(leftEye.sh) # starts the left projector\n"
                                           "rightEye.sh # no closing bracket\n"
                                           "# (commented)\n"));
  EyeWidget w(kStereoWanted);
  EXPECT_EQ(w.GetStereoMode(), QK_STEREO_SPLIT_SCREEN);
  EXPECT_EQ(w.GetStereoValue(0), 1280);
  EXPECT_EQ(w.GetStereoValue(1), 1024);
  EXPECT_EQ(w.GetStereoValue(2), 72);
  EXPECT_STREQ(w.GetStereoScript(0), "leftEye.sh");
  EXPECT_STREQ(w.GetStereoScript(1), "default");
  EXPECT_STREQ(w.GetStereoScript(2), "default");
  EXPECT_GT(w.GetScreenWidth(), 0);
  EXPECT_GT(w.GetScreenHeight(), 0);

  // The widget reads version 3 only.
  ASSERT_TRUE(orvanta_test::WriteFileBytes(m_dir.file("StereoOptions"), "2\n3\n640\n480\n"));
  EyeWidget other(kStereoWanted);
  EXPECT_EQ(other.GetStereoMode(), QK_STEREO_UNREAD);
  EXPECT_EQ(other.GetStereoValue(0), 1024);
  EXPECT_STREQ(other.GetStereoScript(0), "default");
}


}  // namespace
