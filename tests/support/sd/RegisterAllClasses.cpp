// Linked into every test program that reads scene files: registers the
// object classes with the object factory before the first test, as the
// viewer does at start. Programs that test the scene graph and its object
// and vehicle wings (ORVANTA_SCENE_CLASSES_ONLY) register the classes of
// those wings only.
#include <gtest/gtest.h>

#ifdef ORVANTA_SCENE_CLASSES_ONLY
#include "Sd_GraphClasses.h"
#include "Sd_ObjectClasses.h"
#include "Sd_VehicleClasses.h"
#else
#include "Sd_AllClasses.h"
#endif

namespace {

class RegisterClasses : public testing::Environment {
 public:
#ifdef ORVANTA_SCENE_CLASSES_ONLY
  void SetUp() override {
    ASSERT_EQ(Sd_RegisterGraphClasses(), 0);
    ASSERT_EQ(Sd_RegisterObjectClasses(), 0);
    ASSERT_EQ(Sd_RegisterVehicleClasses(), 0);
  }
#else
  void SetUp() override { ASSERT_EQ(Sd_RegisterAllClasses(), 0); }
#endif
};

testing::Environment* const g_registered = testing::AddGlobalTestEnvironment(new RegisterClasses);

}  // namespace
