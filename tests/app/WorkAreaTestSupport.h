#ifndef ORVANTA_WORKAREATESTSUPPORT_H
#define ORVANTA_WORKAREATESTSUPPORT_H

// Scene objects, overlays and file writers for the work-area tests (with
// and without GL).

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_IOSupport.h"
#include "Sd_Node.h"
#include "Sv_HersheyFont.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

namespace workarea_test {

// A scene object for the tests: a flat rectangle of one colour filling its
// unit box at z = 0, with its bounds in its record (six float32 values, then
// the colour as three bytes and a pad byte). Registered with the factory for
// the object tags of the real classes that this build does not have yet.
class TileObject : public Sd_Node {
 public:
  explicit TileObject(int tag = TDR_TAG_SD_POINT3D) : m_tag(tag) {
    const Sd_IOSupport::ClassEntry* entry = Sd_IOSupport::FindClass(tag);
    SetType(entry ? entry->typeId : 999);
  }

  void Set(float xmin, float xmax, float ymin, float ymax, float zmin, float zmax, unsigned char r,
           unsigned char g, unsigned char b) {
    SetBounds(0, xmin, xmax);
    SetBounds(1, ymin, ymax);
    SetBounds(2, zmin, zmax);
    m_colour[0] = r;
    m_colour[1] = g;
    m_colour[2] = b;
  }

  int LoadObject(TDR_Manager* manager) override {
    TDR_PayloadReader in(manager);
    float b[6];
    if (!in.Float32s(b, 6) || !in.Bytes(m_colour, 4)) return -1;
    for (int a = 0; a < 3; ++a) SetBounds(a, b[2 * a], b[2 * a + 1]);
    return ReadCommonTags(manager);
  }

  int SaveObject(TDR_Manager* manager, int withCommonTags, int) override {
    if (manager->WriteTag(m_tag, 1, 0, 0, 1) != 0) return -1;
    TDR_PayloadWriter out(manager);
    // A damaged record stops after two bounds.
    out.Float32s(m_bounds, damaged ? 2 : 6);
    if (!damaged) out.Bytes(m_colour, 4);
    if (!out.Ok() || manager->EndTag() != 0) return -1;
    if (failWrite) return -1;
    return withCommonTags ? WriteCommonTags(manager) : 0;
  }

  void Render() override {
    ++renders;
    budgetSeen = Sd_Node::GetDetailBudget();
    bestPassSeen = Sd_Node::GetBestPass();
    Sd_Node::SetDetailFlags(Sd_Node::GetDetailFlags() | 1u);
    glPushMatrix();
    ApplyTransform();
    glDisable(GL_LIGHTING);
    glColor3ub(m_colour[0], m_colour[1], m_colour[2]);
    glBegin(GL_QUADS);
    glVertex3f(-0.5f, -0.5f, 0.0f);
    glVertex3f(0.5f, -0.5f, 0.0f);
    glVertex3f(0.5f, 0.5f, 0.0f);
    glVertex3f(-0.5f, 0.5f, 0.0f);
    glEnd();
    glPopMatrix();
  }

  const char* className() const override { return "Test Tile"; }

  bool damaged = false;
  bool failWrite = false;
  int renders = 0;
  float budgetSeen = -1.0f;
  int bestPassSeen = -1;

 private:
  int m_tag;
  unsigned char m_colour[4] = {255, 255, 255, 0};
};

template <int Tag>
Sd_Node* MakeTile() {
  return new TileObject(Tag);
}

// Tiles stand in for point sets (type id 34) and spherical terrain models
// (type id 14) while it lives.
class TileClasses {
 public:
  TileClasses() {
    Sd_IOSupport::SetTestClass(TDR_TAG_SD_POINT3D, MakeTile<TDR_TAG_SD_POINT3D>);
    Sd_IOSupport::SetTestClass(TDR_TAG_SD_SPHEREDTM, MakeTile<TDR_TAG_SD_SPHEREDTM>);
  }
  ~TileClasses() { Sd_IOSupport::ClearTestClasses(); }
  TileClasses(const TileClasses&) = delete;
  TileClasses& operator=(const TileClasses&) = delete;
};

struct TileRecord {
  float bounds[6];
  unsigned char rgb[3];
  int tag;
  bool damaged;
};

inline TileRecord Tile(float xmin, float xmax, float ymin, float ymax, float zmin, float zmax,
                     unsigned char r = 255, unsigned char g = 0, unsigned char b = 0,
                     int tag = TDR_TAG_SD_POINT3D) {
  return TileRecord{{xmin, xmax, ymin, ymax, zmin, zmax}, {r, g, b}, tag, false};
}

// Writes an '.sd' file with the tiles' records (and their common tags).
inline bool WriteSD(const std::string& path, const std::vector<TileRecord>& tiles) {
  TDR_Manager manager;
  if (manager.OpenFile(path.c_str(), "wb") != 0) return false;
  bool ok = manager.WriteHeader() == 0;
  for (const TileRecord& entry : tiles) {
    TileObject tile(entry.tag);
    const float* b = entry.bounds;
    tile.Set(b[0], b[1], b[2], b[3], b[4], b[5], entry.rgb[0], entry.rgb[1], entry.rgb[2]);
    tile.damaged = entry.damaged;
    ok = ok && tile.SaveObject(&manager, 1, 0) == 0;
  }
  ok = ok && manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  return manager.CloseFile() == 0 && ok;
}

// An overlay that counts what the work area asks of it. Its camera (when
// `look` is set) looks straight down at the fitted scene, placed `distance`
// units behind the window and zoomed so that the scene fills 60 % of the
// view's width.
class TestOverlay : public Qk_GLOverlay {
 public:
  explicit TestOverlay(int* deaths = nullptr) : m_deaths(deaths) {}
  ~TestOverlay() override {
    if (m_deaths) ++*m_deaths;
  }

  int Reset() override {
    ++resets;
    return 1;
  }
  void SetViewMatrix(Sv_Matrix4* m) override {
    ++viewMatrixSets;
    lastViewMatrix = m;
  }
  void Init(Sv_HersheyFont* f) override {
    ++inits;
    font = f;
  }
  void Start() override { ++starts; }
  void Stop() override { ++stops; }
  void Draw() override { ++draws; }
  void IdleStep() override { ++idleSteps; }
  void VertExagChanged() override { ++exaggerationChanges; }
  void RecordFrame() override { ++recordedFrames; }
  int MousePress(Qk_GLEventRecord*) override {
    ++presses;
    return consume;
  }
  void Wheel(Qk_GLEventRecord*) override { ++wheels; }
  void KeyPress(Qk_GLEventRecord*) override { ++keys; }

  void ApplyCamera() override {
    ++cameras;
    if (!look) return;
    glTranslated(0.0, 0.0, -distance);
    const double z = Zoom();
    glScaled(z, z, z);
  }

  double Zoom() const {
    const Qk_GLWorkArea* area = GetWorkArea();
    const double width = area && area->GetViewportWidth() > 0 ? area->GetViewportWidth() : 100.0;
    // Visible width at that distance behind the window, 50 cm (1882.353
    // units) in front of which the eye sits.
    const double visible = width * (1882.353 + distance) / 1882.353;
    double extent = area ? area->GetGlobalScale() : 3500.0;
    if (Sd_Node* root = GetRoot()) extent *= std::max(*root->GetScale('x'), *root->GetScale('y'));
    if (!(extent > 0.0)) extent = 3500.0;
    return 0.6 * visible / extent;
  }

  bool look = true;
  double distance = 5000.0;
  int consume = 0;
  int resets = 0, viewMatrixSets = 0, inits = 0, starts = 0, stops = 0, draws = 0, idleSteps = 0;
  int exaggerationChanges = 0, recordedFrames = 0, presses = 0, wheels = 0, keys = 0, cameras = 0;
  Sv_Matrix4* lastViewMatrix = nullptr;
  Sv_HersheyFont* font = nullptr;

 private:
  int* m_deaths;
};

// A work area that records what it puts into the file history and what
// it reports through its signals.
class RecordingArea : public Qk_GLWorkArea {
 public:
  explicit RecordingArea(int options = 15) : Qk_GLWorkArea(nullptr, "m_workarea", options) {
    QObject::connect(this, &Qk_GLStepWidget::SetInfoSG, [this](char* text) { infos.emplace_back(text); });
    QObject::connect(this, &Qk_GLWorkArea::InitSG, [this]() { ++initSignals; });
    QObject::connect(this, &Qk_GLWorkArea::VertExagChangedSG, [this]() { ++exaggerationSignals; });
    QObject::connect(this, &Qk_GLWorkArea::GeoReferencedSG, [this]() { ++geoSignals; });
    QObject::connect(this, &Qk_GLStepWidget::Render2DInfoSG, [this]() { ++render2DSignals; });
    QObject::connect(this, &Qk_GLWorkArea::ContinuousUpdateSG, [this]() { ++continuousSignals; });
  }

  // Idle steps, driven by hand, until the picture is complete; false when
  // it never is.
  bool RunToNormal(int limit = 500) { return orvanta_apptest::RunToNormal(this, limit); }

  // Processes events until the renderer has stopped its timer.
  bool WaitForNormal(int limitMs = 60000) { return orvanta_apptest::WaitForNormal(this, limitMs); }

  // Test access to the fields that later tools fill.
  void RequestProfile(double x1, double y1, double x2, double y2) {
    const double first[2] = {x1, y1};
    const double second[2] = {x2, y2};
    GetMouseTools().RequestProfile(first, second);
  }
  void SetRecording(int on) { GetCameraPath().SetRecording(on); }

  std::vector<std::string> history;
  std::vector<std::string> infos;
  int initSignals = 0, exaggerationSignals = 0, geoSignals = 0, render2DSignals = 0, continuousSignals = 0;
  double now = -1.0;  // a clock the test sets; negative: the real clock

 protected:
  void AddToFileHistory(const char* name, const char* pattern) override {
    history.push_back(std::string(name) + " " + pattern);
  }
  double CurrentSeconds() override { return now >= 0.0 ? now : Qk_GLWorkArea::CurrentSeconds(); }
};

// The children of a group in chain order.
inline std::vector<Sd_Node*> Children(Sd_Node* group) {
  std::vector<Sd_Node*> out;
  for (Sd_Node* c = group ? group->GetFirstChild() : nullptr; c && out.size() < 1000; c = c->GetNext()) {
    out.push_back(c);
  }
  return out;
}

// The scene of the shown work-area tests, a projected survey of 500000 ...
// 501000 east and 6000000 ... 6001000 north: a red tile over the middle
// (heights -20 ... 0), a green one to the east (-40 ... 0) and a blue one to
// the west (-10 ... 0), in this order.
inline bool WriteTileScene(const std::string& path) {
  return WriteSD(path, {Tile(500250, 500750, 6000000, 6001000, -20, 0, 255, 0, 0),
                        Tile(500750, 501000, 6000000, 6001000, -40, 0, 0, 255, 0),
                        Tile(500000, 500250, 6000000, 6001000, -10, 0, 0, 0, 255)});
}

// Installs the overlay, shows the area at width x height, waits for its GL
// start (InitSG), loads the file when one is given (replacing the scene) and
// waits for the finished picture.
inline void ShowWithScene(RecordingArea* area, Qk_GLOverlay* overlay, int width, int height,
                          const std::string& file) {
  area->InstallOverlay(overlay);
  area->resize(width, height);
  area->show();
  ASSERT_TRUE(orvanta_apptest::WaitFor([&] { return area->IsInitialised() && area->GetHeight() == height; }));
  ASSERT_TRUE(orvanta_apptest::WaitFor([&] { return area->initSignals > 0; }));
  if (!file.empty()) {
    ASSERT_EQ(area->LoadSD(file.c_str(), 1, 0, 0), 0);
  }
  ASSERT_TRUE(area->WaitForNormal());
}

// A shown work area of type Area (a RecordingArea) for the tile scene
// (WriteTileScene, written to `scene`), with the scene classes Classes
// registered and the test overlay placed `distance` units behind the window.
// Make shows it settled and notes the matrix-stack depths at rest;
// ExpectBalanced checks that the test left them so.
template <typename Area, typename Classes>
class ShownAreaFixture : public ::testing::Test {
 protected:
  explicit ShownAreaFixture(double distance = 5000.0) : m_distance(distance) {}

  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    scene = dir.file("scene.sd");
    ASSERT_TRUE(WriteTileScene(scene));
  }
  void TearDown() override {
    area.reset();
    Sd_Node::SetCoordinateType(0);
  }

  // The area (stereo kind given for split-screen tests) shown, with the
  // scene file loaded when one is given, and the picture finished.
  void Make(int width = 200, int height = 150, int stereoMode = 0, const std::string& file = "") {
    area = std::make_unique<Area>();
    if (stereoMode) area->SetStereoMode(stereoMode);
    overlay = new TestOverlay();
    overlay->distance = m_distance;
    ASSERT_NO_FATAL_FAILURE(ShowWithScene(area.get(), overlay, width, height, file));
    area->makeCurrent();
    restModelview = orvanta_apptest::StackDepth(GL_MODELVIEW_STACK_DEPTH);
    restProjection = orvanta_apptest::StackDepth(GL_PROJECTION_STACK_DEPTH);
  }

  void ExpectBalanced() {
    area->makeCurrent();
    EXPECT_EQ(orvanta_apptest::StackDepth(GL_MODELVIEW_STACK_DEPTH), restModelview);
    EXPECT_EQ(orvanta_apptest::StackDepth(GL_PROJECTION_STACK_DEPTH), restProjection);
    EXPECT_EQ(area->GetPushedMatrices(), 0);
    EXPECT_EQ(ReportGLErrors(), 0);
  }

  Classes classes;
  orvanta_test::TempDir dir;
  std::string scene;
  std::unique_ptr<Area> area;
  TestOverlay* overlay = nullptr;  // owned by the area
  int restModelview = 0, restProjection = 0;

 private:
  double m_distance;
};

// A shown work area (a RecordingArea) with the navigator over the tile
// scene (WriteTileScene): ShowNavigator makes it at the size given and
// waits for the finished picture. The dials' labels use the viewer's
// built-in font; nothing may still be exploring when the test ends.
class NavigatorAreaFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    Sv_HersheySetBuiltIn(1);
    Sd_Node::ReleaseFont();
    scene = dir.file("scene.sd");
    ASSERT_TRUE(WriteTileScene(scene));
  }
  void TearDown() override {
    if (area) {
      EXPECT_EQ(area->GetExploreCount(), 0);
      area.reset();
    }
    Sv_HersheySetBuiltIn(0);
    Sd_Node::SetCoordinateType(0);
  }

  void ShowNavigator(int width, int height) {
    area = std::make_unique<RecordingArea>();
    nav = new Qk_NavigatorOverlay();
    ShowWithScene(area.get(), nav, width, height, scene);
  }

  TileClasses classes;
  orvanta_test::TempDir dir;
  std::string scene;
  std::unique_ptr<RecordingArea> area;
  Qk_NavigatorOverlay* nav = nullptr;  // owned by the area
};

}  // namespace workarea_test

#endif
