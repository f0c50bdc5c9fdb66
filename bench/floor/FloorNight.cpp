// The floor of a night as a program, for scripts/bench-night.sh (see FloorNight.h).
//
// Usage: bench_floor_night LIST LOG PASSES [LATITUDE [MINIMUM_ELEVATION [LST_STEP_HOURS]]]
#include <cstdio>
#include <cstdlib>

#include "bench/floor/FloorNight.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s LIST LOG PASSES [LATITUDE [MINIMUM_ELEVATION [LST_STEP_HOURS]]]\n", argv[0]);
    return 2;
  }
  const double latitude = argc > 4 ? std::atof(argv[4]) : 31.96;
  const double minimumElevation = argc > 5 ? std::atof(argv[5]) : 10.0;
  const double lstStep = argc > 6 ? std::atof(argv[6]) : 0.25;
  return np::floor::floorNight(argv[1], argv[2], std::atol(argv[3]), latitude, minimumElevation, lstStep) ? 0 : 1;
}
