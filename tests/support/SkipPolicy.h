#pragma once
// In CI every test must run: OSTREL_REQUIRE_ALL_TESTS=1 turns a skipped test
// (a desktop, a tool or a namespace this machine lacks) into a failed run, so
// that a check that could not run never passes as if it had. A test written
// for another release of a desktop than the one installed (GNOME 43's custom
// shortcuts on GNOME 48) is no such check: it skips with notForThisSystem().
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace ostrel::test {

inline constexpr char kNotForThisSystem[] = "not for this system: ";

// The reason to give GTEST_SKIP() for a test that does not apply here.
inline std::string notForThisSystem(const std::string& why) {
  return kNotForThisSystem + why;
}

namespace internal {

// Counts the skips that are checks unable to run.
class SkipCounter : public ::testing::EmptyTestEventListener {
 public:
  int unableToRun = 0;
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (result.skipped() && std::string(result.message()).rfind(kNotForThisSystem, 0) != 0) ++unableToRun;
  }
};

inline SkipCounter* skipCounter() {
  static SkipCounter* counter = [] {
    auto* c = new SkipCounter;
    ::testing::UnitTest::GetInstance()->listeners().Append(c);  // gtest owns it
    return c;
  }();
  return counter;
}

}  // namespace internal

// Before RUN_ALL_TESTS().
inline void installSkipPolicy() {
  (void)internal::skipCounter();
}

inline int applySkipPolicy(int result) {
  const int skipped = internal::skipCounter()->unableToRun;
  if (result != 0 || skipped == 0 || qEnvironmentVariable("OSTREL_REQUIRE_ALL_TESTS") != QLatin1String("1")) {
    return result;
  }
  std::fprintf(stderr, "%d test(s) skipped, and OSTREL_REQUIRE_ALL_TESTS=1 requires every test to run\n", skipped);
  return 1;
}

}  // namespace ostrel::test
