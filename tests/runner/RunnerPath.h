#pragma once
// Where the build put nightpick-sim and nightpick-headless (empty in a build without them),
// for the tests that start them.
#include <string>

namespace np::test {

inline std::string runnerPath() {
#ifdef NIGHTPICK_SIM_EXE
  return NIGHTPICK_SIM_EXE;
#else
  return {};
#endif
}

inline std::string headlessPath() {
#ifdef NIGHTPICK_HEADLESS_EXE
  return NIGHTPICK_HEADLESS_EXE;
#else
  return {};
#endif
}

}  // namespace np::test
