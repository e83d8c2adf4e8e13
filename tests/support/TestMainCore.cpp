// Test entry for logic tests: a QCoreApplication so that main-thread hand-offs,
// timers and socket notifiers work as in the program.
#include "support/PinLoadedLibraries.h"
#include "support/SkipPolicy.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ostrel::test::installSkipPolicy();
  const int result = ostrel::test::applySkipPolicy(RUN_ALL_TESTS());
  ostrel::test::pinLoadedLibraries();
  return result;
}
