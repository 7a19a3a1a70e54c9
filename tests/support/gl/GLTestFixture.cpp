#include "GLTestFixture.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace orvanta_test {

namespace {

// The one context of the process, created by the environment below.
struct GLState {
  int argc = 0;
  char** argv = nullptr;
  QGuiApplication* app = nullptr;
  bool ownApp = false;
  QOffscreenSurface* surface = nullptr;
  QOpenGLContext* context = nullptr;
  QOpenGLFramebufferObject* fbo = nullptr;
  // Why the context could not be created.
  std::string error;
};

GLState& State() {
  static GLState state;
  return state;
}

const char* ErrorName(GLenum e) {
  switch (e) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    default: return "unknown GL error";
  }
}

// Parses "major.minor" at the start of GL_VERSION.
void ParseVersion(const char* text, int* major, int* minor) {
  *major = 0;
  *minor = 0;
  if (text) sscanf(text, "%d.%d", major, minor);
}

// Creates the application object, the context and the framebuffer object;
// false with a reason when any of them cannot be had.
bool CreateContext(std::string* error) {
  GLState& s = State();
  // An X server is needed for GL (Xvfb in the test suite); xcb is the
  // platform that gives a full compatibility context there.
  setenv("QT_QPA_PLATFORM", "xcb", 0);
  const char* platform = getenv("QT_QPA_PLATFORM");
  if (platform && strcmp(platform, "xcb") == 0 && !getenv("DISPLAY")) {
    *error = "No X display for the OpenGL tests: run them under xvfb-run.";
    return false;
  }
  if (QGuiApplication::instance()) {
    s.app = qobject_cast<QGuiApplication*>(QGuiApplication::instance());
    if (!s.app) {
      *error = "The running application object is not a QGuiApplication.";
      return false;
    }
  } else {
    s.app = new QGuiApplication(s.argc, s.argv);
    s.ownApp = true;
  }

  // Compatibility 2.1: a request for 3.0 or later without deprecated
  // functions gives a core context in which immediate mode does nothing.
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setVersion(2, 1);
  format.setDepthBufferSize(24);
  format.setSamples(0);

  s.surface = new QOffscreenSurface();
  s.surface->setFormat(format);
  s.surface->create();
  if (!s.surface->isValid()) {
    *error = "Cannot create an offscreen surface.";
    return false;
  }
  s.context = new QOpenGLContext();
  s.context->setFormat(format);
  if (!s.context->create() || !s.context->makeCurrent(s.surface)) {
    *error = "Cannot create an OpenGL context.";
    return false;
  }

  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  int major = 0, minor = 0;
  ParseVersion(version, &major, &minor);
  const bool compatibility = (version && strstr(version, "Compatibility") != nullptr) ||
                             s.context->format().profile() == QSurfaceFormat::CompatibilityProfile;
  if (!version || (!compatibility && major * 10 + minor >= 32)) {
    *error = std::string("Not a compatibility-profile context: ") + (version ? version : "no GL_VERSION");
    return false;
  }

  QOpenGLFramebufferObjectFormat fboFormat;
  fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
  fboFormat.setInternalTextureFormat(GL_RGBA8);
  fboFormat.setSamples(0);
  s.fbo = new QOpenGLFramebufferObject(GLTest::kWidth, GLTest::kHeight, fboFormat);
  if (!s.fbo->isValid() || !s.fbo->bind()) {
    *error = "Cannot create the framebuffer object.";
    return false;
  }
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  if (depthBits < 24) {
    *error = "The framebuffer has no 24-bit depth buffer.";
    return false;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  return true;
}

// Sets up the context before the first test and releases it after the last.
// A failure here is not reported as a failure of the environment, which
// ctest would count as skipped tests: the reason is kept and every GL test
// fails with it in its own set-up.
class GLEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string error;
    if (!CreateContext(&error)) {
      State().error = error;
      TearDown();
    }
  }

  void TearDown() override {
    GLState& s = State();
    if (s.context && s.surface) s.context->makeCurrent(s.surface);
    delete s.fbo;
    s.fbo = nullptr;
    if (s.context) s.context->doneCurrent();
    delete s.context;
    s.context = nullptr;
    delete s.surface;
    s.surface = nullptr;
    if (s.ownApp) delete s.app;
    s.app = nullptr;
    s.ownApp = false;
  }
};

std::vector<unsigned char> ReadAllPixels() {
  std::vector<unsigned char> pixels(size_t(GLTest::kWidth) * GLTest::kHeight * 4, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, GLTest::kWidth, GLTest::kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

void ResetLightsAndMaterial() {
  const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  const GLfloat towardsZ[4] = {0.0f, 0.0f, 1.0f, 0.0f};
  for (int i = 0; i < 8; ++i) {
    const GLenum light = GLenum(GL_LIGHT0 + i);
    glDisable(light);
    glLightfv(light, GL_AMBIENT, black);
    glLightfv(light, GL_DIFFUSE, i == 0 ? white : black);
    glLightfv(light, GL_SPECULAR, i == 0 ? white : black);
    glLightfv(light, GL_POSITION, towardsZ);
  }
  const GLfloat modelAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, modelAmbient);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
  const GLfloat matAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
  const GLfloat matDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, matAmbient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, matDiffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.0f);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
}

// Pops whatever a failed test left on the stacks, so the next test of the
// same process starts clean.
void UnwindStacks() {
  GLint depth = 0;
  glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
  for (; depth > 0; --depth) glPopAttrib();
  glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &depth);
  for (; depth > 0; --depth) glPopClientAttrib();
  const GLenum modes[3] = {GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE};
  const GLenum queries[3] = {GL_MODELVIEW_STACK_DEPTH, GL_PROJECTION_STACK_DEPTH, GL_TEXTURE_STACK_DEPTH};
  for (int k = 0; k < 3; ++k) {
    glMatrixMode(modes[k]);
    glGetIntegerv(queries[k], &depth);
    for (; depth > 1; --depth) glPopMatrix();
    glLoadIdentity();
  }
  glMatrixMode(GL_MODELVIEW);
}

}  // namespace

void GLTest::SetUp() {
  GLState& s = State();
  ASSERT_TRUE(s.context && s.fbo) << (s.error.empty() ? "No GL context: the test binary must run through RunGLTests."
                                                        : s.error);
  ASSERT_TRUE(s.context->makeCurrent(s.surface));
  ASSERT_TRUE(s.fbo->bind());
  while (glGetError() != GL_NO_ERROR) {
  }
  UnwindStacks();
  glViewport(0, 0, kWidth, kHeight);
  glDisable(GL_SCISSOR_TEST);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDepthMask(GL_TRUE);
  glDepthRange(0.0, 1.0);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  const GLenum off[] = {GL_LIGHTING,     GL_COLOR_MATERIAL, GL_BLEND,         GL_TEXTURE_1D,   GL_TEXTURE_2D,
                        GL_CULL_FACE,    GL_NORMALIZE,      GL_LINE_SMOOTH,   GL_POINT_SMOOTH, GL_POLYGON_SMOOTH,
                        GL_ALPHA_TEST,   GL_FOG,            GL_LINE_STIPPLE,  GL_POLYGON_OFFSET_FILL,
                        GL_STENCIL_TEST, GL_DITHER};
  for (GLenum cap : off) glDisable(cap);
  ResetLightsAndMaterial();
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glShadeModel(GL_SMOOTH);
  glLineWidth(1.0f);
  glPointSize(1.0f);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClearDepth(1.0);
  Clear();
  ExpectNoGLError("fixture set-up");
}

void GLTest::TearDown() {
  GLState& s = State();
  if (!s.context || !s.fbo) return;
  ExpectNoGLError("end of test");
  EXPECT_EQ(ModelViewStackDepth(), 1) << "unbalanced model-view stack";
  EXPECT_EQ(ProjectionStackDepth(), 1) << "unbalanced projection stack";
  GLint attrib = 0;
  glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attrib);
  EXPECT_EQ(attrib, 0) << "unbalanced attribute stack";
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info) DumpPNG(std::string(info->test_suite_name()) + "." + info->name());
  while (glGetError() != GL_NO_ERROR) {
  }
}

GLPixel GLTest::ReadPixel(int x, int y) {
  GLPixel p = {0, 0, 0, 0};
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) {
    ADD_FAILURE() << "ReadPixel outside the framebuffer: " << x << ", " << y;
    return p;
  }
  unsigned char rgba[4] = {0, 0, 0, 0};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  p.r = rgba[0];
  p.g = rgba[1];
  p.b = rgba[2];
  p.a = rgba[3];
  return p;
}

float GLTest::ReadDepth(int x, int y) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) {
    ADD_FAILURE() << "ReadDepth outside the framebuffer: " << x << ", " << y;
    return 1.0f;
  }
  GLfloat d = 1.0f;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &d);
  return d;
}

int GLTest::Brightness(int x, int y) {
  const GLPixel p = ReadPixel(x, y);
  return int(p.r) + int(p.g) + int(p.b);
}

GLPixelBox GLTest::InkBox(int threshold) {
  const std::vector<unsigned char> pixels = ReadAllPixels();
  GLPixelBox box;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const unsigned char* p = &pixels[(size_t(y) * kWidth + x) * 4];
      if (int(p[0]) + int(p[1]) + int(p[2]) <= threshold) continue;
      if (box.empty) {
        box.empty = false;
        box.xMin = box.xMax = x;
        box.yMin = box.yMax = y;
      } else {
        if (x < box.xMin) box.xMin = x;
        if (x > box.xMax) box.xMax = x;
        if (y < box.yMin) box.yMin = y;
        if (y > box.yMax) box.yMax = y;
      }
    }
  }
  return box;
}

int GLTest::CountInk(int threshold) {
  const std::vector<unsigned char> pixels = ReadAllPixels();
  int n = 0;
  for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
    if (int(pixels[i]) + int(pixels[i + 1]) + int(pixels[i + 2]) > threshold) ++n;
  }
  return n;
}

bool GLTest::ExpectNoGLError(const char* where) {
  bool clean = true;
  for (int guard = 0; guard < 32; ++guard) {
    const GLenum e = glGetError();
    if (e == GL_NO_ERROR) break;
    clean = false;
    ADD_FAILURE() << "GL error " << ErrorName(e) << " (0x" << std::hex << e << std::dec << ") " << where;
  }
  return clean;
}

int GLTest::ModelViewStackDepth() {
  GLint depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  return depth;
}

int GLTest::ProjectionStackDepth() {
  GLint depth = 0;
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
  return depth;
}

void GLTest::SetPixelProjection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, kWidth, 0.0, kHeight, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void GLTest::Clear() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void GLTest::Finish() { glFinish(); }

std::string GLTest::DumpPNG(const std::string& name) {
  const char* dump = getenv("ORVANTA_TEST_DUMP");
  GLState& s = State();
  if (!dump || !*dump || !s.fbo) return std::string();
  const char* out = getenv("ORVANTA_TEST_OUT");
  const QString dir = QString::fromLocal8Bit(out && *out ? out : ".");
  if (!QDir().mkpath(dir)) return std::string();
  std::string file = name;
  for (char& c : file) {
    if (c == '/' || c == '\\' || c == ' ') c = '_';
  }
  const QString path = dir + "/" + QString::fromStdString(file) + ".png";
  const QImage image = s.fbo->toImage();
  s.fbo->bind();
  if (image.isNull() || !image.save(path, "PNG")) return std::string();
  return path.toStdString();
}

std::string GLTest::GLVersion() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  return version ? version : "";
}

int RunGLTests(int argc, char** argv) {
  GLState& s = State();
  ::testing::InitGoogleTest(&argc, argv);
  s.argc = argc;
  s.argv = argv;
  ::testing::AddGlobalTestEnvironment(new GLEnvironment);
  return RUN_ALL_TESTS();
}

}  // namespace orvanta_test
