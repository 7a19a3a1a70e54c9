// The work area's scene without a GL context: loading, releasing and
// replacing trees, scene bounds, coordinate type and exaggeration, saving
// objects. The process runs with leak detection on, so whatever a load,
// a clear or the work area's destruction fails to release is reported.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "../app/WorkAreaTestSupport.h"
#include "../sd_objects/BoreholeTestSupport.h"
#include "Sd_IOSupport.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "Sd_AlignmentNode.h"
#include "Sv_Debug.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;
using orvanta_test::TempDir;
using workarea_test::Children;
using workarea_test::RecordingArea;
using workarea_test::TestOverlay;
using workarea_test::Tile;
using workarea_test::TileClasses;
using workarea_test::TileObject;
using workarea_test::WriteSD;

namespace {

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class WorkAreaScene : public ::testing::Test {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    area = std::make_unique<RecordingArea>();
    overlay = new TestOverlay();
    area->InstallOverlay(overlay);
    projected = dir.file("projected.sd");
    geographic = dir.file("geographic.sd");
    ASSERT_TRUE(WriteSD(projected, {Tile(500000, 501000, 6000000, 6001000, -50, 0),
                                    Tile(500500, 501500, 6000200, 6000800, -80, -10, 0, 255, 0),
                                    Tile(500100, 500900, 6000100, 6000900, -20, 0, 0, 0, 255)}));
    ASSERT_TRUE(WriteSD(geographic, {Tile(-64.0f, -63.0f, 44.0f, 45.0f, -200, 0)}));
  }
  void TearDown() override { Sd_Node::SetCoordinateType(0); }

  TileClasses classes;
  TempDir dir;
  std::unique_ptr<RecordingArea> area;
  TestOverlay* overlay = nullptr;  // owned by the area
  std::string projected, geographic;
};

TEST_F(WorkAreaScene, LoadReplacesTheSceneAndFitsIt) {
  EXPECT_EQ(area->GetRoot(), nullptr);  // GL never started
  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 0), 0);
  Sd_Node* root = area->GetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(overlay->GetRoot(), root);
  const std::vector<Sd_Node*> objects = Children(root);
  ASSERT_EQ(objects.size(), 3u);
  // The factory names each object after its file.
  EXPECT_STREQ(objects[0]->GetName(), "projected.sd");
  // The union of the objects' bounds.
  EXPECT_FLOAT_EQ(root->GetBounds(0)[0], 500000.0f);
  EXPECT_FLOAT_EQ(root->GetBounds(0)[1], 501500.0f);
  EXPECT_FLOAT_EQ(root->GetBounds(2)[0], -80.0f);
  EXPECT_FLOAT_EQ(root->GetBounds(2)[1], 0.0f);
  // Every object is placed in the root's unit box.
  EXPECT_NEAR(*objects[0]->GetScale('x'), 1000.0 / 1500.0, 1e-5);
  EXPECT_NEAR(*objects[0]->GetPosition('x'), (500500.0 - 500750.0) / 1500.0, 1e-5);

  EXPECT_EQ(Sd_Node::GetCoordinateType(), 2);
  EXPECT_FLOAT_EQ(area->GetVertExag(), 6.0f);
  EXPECT_EQ(area->GetScene().GetExaggerationChosen(), 1);
  EXPECT_EQ(area->exaggerationSignals, 1);
  EXPECT_EQ(overlay->exaggerationChanges, 1);
  EXPECT_EQ(area->geoSignals, 1);
  EXPECT_TRUE(area->history.empty());
  // The last object read carries the bounding-box flag asked for.
  EXPECT_EQ(objects[2]->GetShowBoundingBox(), 0);
  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 1), 0);
  EXPECT_EQ(Children(area->GetRoot()).back()->GetShowBoundingBox(), 1);
}

TEST_F(WorkAreaScene, CoordinateTypeAndDefaultExaggeration) {
  ASSERT_EQ(area->LoadSD(geographic.c_str(), 1, 0, 0), 0);
  EXPECT_EQ(Sd_Node::GetCoordinateType(), 1);
  EXPECT_FLOAT_EQ(area->GetVertExag(), 6.0f);

  // A spherical terrain model in a geographic scene: type 4, exaggeration 1,
  // and no object is scaled into the scene frame.
  const std::string sphere = dir.file("sphere.sd");
  ASSERT_TRUE(WriteSD(sphere, {Tile(-180, 180, -90, 90, -10000, 10000, 0, 0, 255, TDR_TAG_SD_SPHEREDTM),
                               Tile(-64.0f, -63.0f, 44.0f, 45.0f, -200, 0)}));
  ASSERT_EQ(area->LoadSD(sphere.c_str(), 1, 0, 0), 0);
  EXPECT_EQ(Children(area->GetRoot())[0]->GetType(), 14);
  EXPECT_EQ(Sd_Node::GetCoordinateType(), 4);
  EXPECT_FLOAT_EQ(area->GetVertExag(), 1.0f);
  EXPECT_FLOAT_EQ(*Children(area->GetRoot())[1]->GetScale('x'), 1.0f);

  // Longitudes from 361 on are not geographic.
  const std::string wide = dir.file("wide.sd");
  ASSERT_TRUE(WriteSD(wide, {Tile(0, 361, 0, 10, 0, 1)}));
  ASSERT_EQ(area->LoadSD(wide.c_str(), 1, 0, 0), 0);
  EXPECT_EQ(Sd_Node::GetCoordinateType(), 2);
}

TEST_F(WorkAreaScene, LaterLoadsKeepTheExaggerationInForce) {
  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 0), 0);
  area->SetVertExag(2.5f);
  // A new scene (clear) and an added file both keep it.
  ASSERT_EQ(area->LoadSD(geographic.c_str(), 1, 0, 0), 0);
  EXPECT_FLOAT_EQ(area->GetVertExag(), 2.5f);
  ASSERT_EQ(area->LoadSD(geographic.c_str(), 0, 0, 0), 0);
  EXPECT_FLOAT_EQ(area->GetVertExag(), 2.5f);
  EXPECT_EQ(Children(area->GetRoot()).size(), 2u);

  // A scene that brings its own exaggeration sets the flag: no default then.
  RecordingArea fresh;
  fresh.GetScene().SetExaggerationChosen(1);
  ASSERT_EQ(fresh.LoadSD(projected.c_str(), 1, 0, 0), 0);
  EXPECT_FLOAT_EQ(fresh.GetVertExag(), 1.0f);
}

TEST_F(WorkAreaScene, AddedFilesShareOneRootAndOneFit) {
  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 0), 0);
  const std::string east = dir.file("east.sd");
  ASSERT_TRUE(WriteSD(east, {Tile(502000, 503000, 6000000, 6001000, -50, 0)}));
  ASSERT_EQ(area->LoadSD(east.c_str(), 0, 1, 0), 0);
  EXPECT_EQ(Children(area->GetRoot()).size(), 4u);
  EXPECT_FLOAT_EQ(area->GetRoot()->GetBounds(0)[1], 503000.0f);
  EXPECT_NEAR(*Children(area->GetRoot())[0]->GetScale('x'), 1000.0 / 3000.0, 1e-5);
  ASSERT_EQ(area->history.size(), 1u);
  EXPECT_EQ(area->history[0], east + " *.sd");
  // A preset coordinate type is not decided again by the bounds.
  Sd_Node::SetCoordinateType(3);
  area->ComputeSceneBounds();
  EXPECT_EQ(Sd_Node::GetCoordinateType(), 3);
}

TEST_F(WorkAreaScene, UnreadableFilesLeaveTheSceneAsItWas) {
  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 0), 0);
  Sd_Node* root = area->GetRoot();
  const long loaded = Sd_Node::LiveCount();
  Sd_Node* first = Children(root)[0];
  area->SetVertExag(2.5f);
  // Every kind of holder of a node pointer.
  overlay->SetEyeMode(2);
  overlay->SetEyeNode(first);
  overlay->SetTargetNode(first);
  overlay->SetChaseNode(first);
  Sd_Node::GetSharedPick()->node = first;
  Sd_Node::GetSharedPick()->found = 1;

  // A missing file, one that is no tagged-data-record file, one without
  // objects and one whose only record is damaged, each loaded to replace
  // the scene and to join it: the reader's reason, -1, and nothing of the
  // scene, its holders or its exaggeration changes; nothing read is kept.
  const std::string garbage = dir.file("garbage.sd");
  ASSERT_TRUE(orvanta_test::WriteFileBytes(garbage, "this is not a tagged-data-record file\n"));
  const std::string empty = dir.file("empty.sd");
  ASSERT_TRUE(WriteSD(empty, {}));
  const std::string damaged = dir.file("damaged.sd");
  workarea_test::TileRecord bad = Tile(0, 1, 0, 1, 0, 1);
  bad.damaged = true;
  ASSERT_TRUE(WriteSD(damaged, {bad}));
  const std::pair<std::string, const char*> cases[] = {{dir.file("missing.sd"), "Could not open the file"},
                                                        {garbage, "is not a valid SD file"},
                                                        {empty, "holds nothing that can be shown"},
                                                        {damaged, "holds nothing that can be shown"}};
  for (const auto& c : cases) {
    for (int clear : {1, 0}) {
      SCOPED_TRACE(c.first + (clear ? " replacing" : " joining"));
      MessageCapture messages;
      EXPECT_EQ(area->LoadSD(c.first.c_str(), clear, 1, 0), -1);
      EXPECT_TRUE(messages.Contains(c.second));
      EXPECT_EQ(Sd_Node::LiveCount(), loaded);
      EXPECT_EQ(area->GetRoot(), root);
      EXPECT_EQ(Children(root).size(), 3u);
      EXPECT_EQ(overlay->GetRoot(), root);
      EXPECT_EQ(overlay->GetEyeNode(), first);
      EXPECT_EQ(overlay->GetTargetNode(), first);
      EXPECT_EQ(overlay->GetChaseNode(), first);
      EXPECT_EQ(Sd_Node::GetSharedPick()->node, first);
      EXPECT_FLOAT_EQ(area->GetVertExag(), 2.5f);
    }
  }
  EXPECT_TRUE(area->history.empty());
  // The scene goes on taking what follows.
  EXPECT_EQ(area->LoadSD(projected.c_str(), 0, 0, 0), 0);
  EXPECT_EQ(Children(area->GetRoot()).size(), 6u);
}

TEST_F(WorkAreaScene, HundredLoadsLeaveNothingOfEarlierLoads) {
  const long outside = Sd_Node::LiveCount();
  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 0), 0);
  const long scene = Sd_Node::LiveCount();
  EXPECT_EQ(scene, outside + 4);  // the root and three objects
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(area->LoadSD(i % 2 ? projected.c_str() : geographic.c_str(), 1, 0, 0), 0);
    ASSERT_EQ(Sd_Node::LiveCount(), outside + (i % 2 ? 4 : 2)) << "load " << i;
  }
  // Clearing keeps only an empty root; the work area releases everything.
  area->ClearScene();
  EXPECT_EQ(Sd_Node::LiveCount(), outside + 1);
  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 0), 0);
  area.reset();
  EXPECT_EQ(Sd_Node::LiveCount(), outside);
}

TEST_F(WorkAreaScene, SetSceneTakesOverTheRootAndReleasesTheOldOne) {
  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 0), 0);
  const long outside = Sd_Node::LiveCount() - 4;

  // A root from outside replaces the tree.
  Sd_AlignmentNode* other = new Sd_AlignmentNode();
  area->SetScene(other, area->GetMovie());
  EXPECT_EQ(area->GetRoot(), other);
  EXPECT_EQ(overlay->GetRoot(), other);
  EXPECT_EQ(Sd_Node::LiveCount(), outside + 1);

  // A node from inside the current tree is taken out before the rest goes.
  ASSERT_EQ(area->LoadSD(projected.c_str(), 0, 0, 0), 0);
  Sd_Node* inner = Children(area->GetRoot())[1];
  area->SetScene(inner, nullptr);
  EXPECT_EQ(area->GetRoot(), inner);
  EXPECT_EQ(inner->GetParent(), nullptr);
  EXPECT_EQ(inner->GetNext(), nullptr);
  EXPECT_EQ(Sd_Node::LiveCount(), outside + 1);

  // The same root again only refreshes the overlays.
  area->SetScene(inner, nullptr);
  EXPECT_EQ(Sd_Node::LiveCount(), outside + 1);
}

TEST_F(WorkAreaScene, SceneBoundsEdgeCases) {
  area->SetScene(new Sd_AlignmentNode(), nullptr);
  {
    // Only the root group: nothing to fit, and nothing to warn about.
    MessageCapture messages;
    area->ComputeSceneBounds();
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(area->geoSignals, 0);
  }
  {
    // A NaN bound counts as too narrow (no reader lets one in; a scene
    // built in memory may hold one).
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Sd_AlignmentNode* root = new Sd_AlignmentNode();
    TileObject* tile = new TileObject();
    tile->Set(0, 10, nan, 10, 0, 1, 0, 0, 0);
    root->AddChild(tile);
    area->SetScene(root, nullptr);
    MessageCapture messages;
    area->ComputeSceneBounds();
    EXPECT_TRUE(messages.Contains("The current scene has invalid bounding coordinates."));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].first, SV_LEVEL_WARNING);
    EXPECT_EQ(area->geoSignals, 0);
    EXPECT_EQ(Sd_Node::GetCoordinateType(), 0);
    EXPECT_EQ(area->GetScene().GetExaggerationChosen(), 0);
  }
  EXPECT_EQ(area->DetectCoordinateType(), 1);  // bounds all 0 here
}

// Well-formed files that are flat on an axis, or whose objects carry no
// georeference, are fitted without a warning: a flat axis gets one unit of
// extent, and an object without bounds fills the box 0 ... 1.
TEST_F(WorkAreaScene, FlatAndMissingBoundsAreFittedWithoutAWarning) {
  using borehole_test::Hole;
  auto holes = [](const std::vector<Hole>& set) {
    return [set](TDR_Manager* m) { return borehole_test::Write(m, borehole_test::Text(set), borehole_test::RedToBlue()); };
  };
  // The sample of a class read back and saved again by its own writer,
  // changed by edit first; its file is gone by then, so that objects that
  // would point to it save their records.
  auto resaved = [this](int tag, bool commonTags, std::function<void(Sd_Node*)> edit) {
    return [=](TDR_Manager* m) {
      int count = 0;
      const Sd_IOSupport::ClassEntry* table = Sd_IOSupport::ClassTable(&count);
      const Sd_IOSupport::ClassEntry* e = std::find_if(table, table + count, [tag](const auto& c) { return c.tag == tag; });
      const std::string sample = dir.file("sample.sd");
      TDR_Manager out;
      if (e == table + count || !e->writeSample || out.OpenFile(sample.c_str(), "wb") != 0 || out.WriteHeader() != 0 ||
          e->writeSample(&out) != 0 || out.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0 || out.CloseFile() != 0) {
        return false;
      }
      Sd_AlignmentNode* root = new Sd_AlignmentNode();
      Sd_Node* object = Sd_IOSupport(root).ReadSDFile(sample.c_str());
      unlink(sample.c_str());
      bool ok = object != nullptr;
      if (ok) edit(object);
      ok = ok && object->SaveObject(m, commonTags ? 1 : 0, 0) == 0;
      Sd_GroupNode::DeleteTree(root);
      return ok;
    };
  };
  auto noGeoref = [&](int tag) { return resaved(tag, false, [](Sd_Node*) {}); };
  const struct {
    const char* name;
    std::function<bool(TDR_Manager*)> write;
  } files[] = {
      {"single point",
       [](TDR_Manager* m) {
         TileObject point(TDR_TAG_SD_POINT3D);
         point.Set(10, 10, 20, 20, 0, 5, 255, 0, 0);
         return point.SaveObject(m, 1, 0) == 0;
       }},
      {"vertical hole", holes({{{500000, 6000000, -10, 1}, {500000, 6000000, -90, 2}}})},
      {"no holes", holes({})},
      {"hole of one point", holes({{{500000, 6000000, -10, 1}}})},
      {"plane", noGeoref(TDR_TAG_SD_PLANE)},
      {"cube", noGeoref(TDR_TAG_SD_CUBE)},
      {"quadric", noGeoref(TDR_TAG_SD_QUADRATIC)},
      {"label", noGeoref(TDR_TAG_SD_LABEL)},
      {"2-D grid", noGeoref(TDR_TAG_SD_GRID2D)},
      {"cable", noGeoref(TDR_TAG_SD_CABLEPARENT)},
      {"cable sphere", noGeoref(TDR_TAG_SD_CABLESPHPARENT)},
      {"ROV", noGeoref(TDR_TAG_SD_ROVPARENT)},
      {"virtual-reality terrain", noGeoref(TDR_TAG_SD_VRDTM)},
      {"image with x bounds max first", resaved(TDR_TAG_SD_GEOIMAGE, true,
                                                [](Sd_Node* n) {
                                                  const float x0 = n->GetBounds(0)[0], x1 = n->GetBounds(0)[1];
                                                  n->SetBounds(0, x1, x0);
                                                })},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = dir.file("flat.sd");
    {
      TDR_Manager m;
      ASSERT_TRUE(m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && f.write(&m) &&
                  m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0);
    }
    Sd_Node::SetCoordinateType(0);
    const int fits = area->geoSignals;
    MessageCapture messages;
    ASSERT_EQ(area->LoadSD(path.c_str(), 1, 0, 0), 0);
    EXPECT_FALSE(messages.Contains("invalid bounding coordinates"));
    EXPECT_EQ(area->geoSignals, fits + 1);
    Sd_Node* root = area->GetRoot();
    const std::vector<Sd_Node*> objects = Children(root);
    ASSERT_EQ(objects.size(), 1u);
    for (int a = 0; a < 2; ++a) EXPECT_GE(root->GetBounds(a)[1] - root->GetBounds(a)[0], 1.0f) << "axis " << a;
    for (int a = 0; a < 3; ++a) {
      const float* b = objects[0]->GetBounds(a);
      // An object without bounds fills the scene's box (groups are not
      // scaled into their parent).
      if (b[0] == 0.0f && b[1] == 0.0f && !objects[0]->IsGroup()) {
        EXPECT_FLOAT_EQ(*objects[0]->GetScale("xyz"[a]), 1.0f);
      }
    }
  }
}

TEST_F(WorkAreaScene, VertExagEmitsOrRefuses) {
  // Before there is a root nothing happens.
  area->SetVertExag(3.0f);
  EXPECT_FLOAT_EQ(area->GetVertExag(), 1.0f);
  EXPECT_EQ(area->exaggerationSignals, 0);
  EXPECT_EQ(overlay->exaggerationChanges, 0);

  ASSERT_EQ(area->LoadSD(projected.c_str(), 1, 0, 0), 0);
  const int emitted = area->exaggerationSignals;
  area->SetVertExag(2.0f);
  EXPECT_FLOAT_EQ(*area->GetRoot()->GetScale('z'), 2.0f);
  EXPECT_EQ(area->exaggerationSignals, emitted + 1);
  area->SetObjectVertExagSL(3.5f);
  EXPECT_FLOAT_EQ(area->GetVertExag(), 3.5f);
  EXPECT_EQ(area->exaggerationSignals, emitted + 2);
  EXPECT_EQ(overlay->exaggerationChanges, emitted + 2);

  for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    area->SetVertExag(bad);
  }
  EXPECT_FLOAT_EQ(area->GetVertExag(), 3.5f);
  EXPECT_EQ(area->exaggerationSignals, emitted + 2);
}

TEST_F(WorkAreaScene, SaveObjectWritesWhatLoadReads) {
  const std::string out = dir.file("saved.sd");
  {
    MessageCapture debug(SV_LEVEL_DEBUG);  // debug messages go to the error stream
    testing::internal::CaptureStderr();
    EXPECT_EQ(area->SaveObject(nullptr, out.c_str(), 1), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Save Object: no object to save!"), std::string::npos);
  }
  EXPECT_FALSE(Exists(out));

  TileObject tile;
  tile.Set(100, 300, 1000, 1200, -5, 5, 10, 20, 30);
  testing::internal::CaptureStdout();
  EXPECT_EQ(area->SaveObject(&tile, out.c_str(), 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing object...\n");
  ASSERT_EQ(area->history.size(), 1u);
  EXPECT_EQ(area->history[0], out + " *.sd");

  ASSERT_EQ(area->LoadSD(out.c_str(), 1, 0, 1), 0);
  Sd_Node* loaded = Children(area->GetRoot())[0];
  EXPECT_FLOAT_EQ(loaded->GetBounds(0)[0], 100.0f);
  EXPECT_FLOAT_EQ(loaded->GetBounds(1)[1], 1200.0f);
  EXPECT_FLOAT_EQ(loaded->GetBounds(2)[0], -5.0f);
  EXPECT_EQ(loaded->GetShowBoundingBox(), 1);

  // Failures report failure, record nothing and leave the old file byte for
  // byte, with no partial file beside it.
  const std::string saved = orvanta_test::ReadFileBytes(out);
  const std::vector<std::string> files = orvanta_test::ListDirectory(dir.path());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(area->SaveObject(&tile, dir.file("no/such/dir.sd").c_str(), 1), -1);
  tile.failWrite = true;
  tile.Set(0, 1, 0, 1, 0, 1, 1, 2, 3);
  EXPECT_EQ(area->SaveObject(&tile, out.c_str(), 1), -1);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(orvanta_test::ReadFileBytes(out), saved);
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), files);
  EXPECT_EQ(area->history.size(), 1u);
}

}  // namespace
