// Test runner of the work-area tests that need no GL context: one
// QApplication on the offscreen platform for the whole process, so no GL
// driver is loaded and leak detection covers the viewer's own code.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // No configuration of the machine leaks into the tests.
  unsetenv("WRUHOME");
  unsetenv("WRUCONFIGURATIONS");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
