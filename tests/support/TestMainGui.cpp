// Test entry for widget tests: a real QApplication on the test's own X server.
#include "support/PinLoadedLibraries.h"
#include "support/SkipPolicy.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ostrel::test::installSkipPolicy();
  const int result = ostrel::test::applySkipPolicy(RUN_ALL_TESTS());
  ostrel::test::pinLoadedLibraries();
  return result;
}
