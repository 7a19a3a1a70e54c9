// Test runner of the viewer's widget tests: one QApplication on the xcb
// platform for the whole process (run under xvfb-run).

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "Qk_GLWidget.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  setenv("QT_QPA_PLATFORM", "xcb", 0);
  // No configuration of the machine leaks into the tests.
  unsetenv("WRUHOME");
  unsetenv("WRUCONFIGURATIONS");
  Qk_GLWidget::PrepareApplication();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
