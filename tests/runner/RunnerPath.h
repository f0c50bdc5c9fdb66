#pragma once
// Where the build put nightpick-sim (empty in a build without it), for the tests that start it.
#include <string>

namespace np::test {

inline std::string runnerPath() {
#ifdef NIGHTPICK_SIM_EXE
  return NIGHTPICK_SIM_EXE;
#else
  return {};
#endif
}

}  // namespace np::test
