// Linked into every test program that reads scene files: registers the
// object classes with the object factory before the first test, as the
// viewer does at start. Programs that test the scene-graph library alone
// (ORVANTA_SCENE_CLASSES_ONLY) register that library's classes only.
#include <gtest/gtest.h>

#ifdef ORVANTA_SCENE_CLASSES_ONLY
#include "Sd_SceneClasses.h"
#else
#include "Sd_AllClasses.h"
#endif

namespace {

class RegisterClasses : public testing::Environment {
 public:
#ifdef ORVANTA_SCENE_CLASSES_ONLY
  void SetUp() override { ASSERT_EQ(Sd_RegisterSceneClasses(), 0); }
#else
  void SetUp() override { ASSERT_EQ(Sd_RegisterAllClasses(), 0); }
#endif
};

testing::Environment* const g_registered = testing::AddGlobalTestEnvironment(new RegisterClasses);

}  // namespace
