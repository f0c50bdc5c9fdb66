#include "base/Clock.h"

namespace np {

double systemUnixSeconds() {
  const std::chrono::duration<double> sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return sinceEpoch.count();
}

}  // namespace np
