// Test runner of the main-window tests: one Qk_Application on the xcb
// platform for the whole process (run under xvfb-run). Tests that end the
// process run in a re-started copy of this binary (threadsafe death tests).

#include <gtest/gtest.h>

#include <cstdlib>

#include "Qk_Application.h"
#include "Qk_GLWidget.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  GTEST_FLAG_SET(death_test_style, "threadsafe");

  setenv("QT_QPA_PLATFORM", "xcb", 0);
  // No configuration of the machine leaks into the tests or the viewer
  // processes they start.
  unsetenv("WRUHOME");
  unsetenv("WRUCONFIGURATIONS");
  unsetenv("ORVANTA_TEST_LOG");
  Qk_GLWidget::PrepareApplication();
  Qk_Application app(argc, argv);
  return RUN_ALL_TESTS();
}
