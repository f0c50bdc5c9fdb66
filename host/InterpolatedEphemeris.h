#pragma once
// An ephemeris that works the Earth out once a day and interpolates between: for a dry
// run that asks for the Sun thousands of times a night. Between two days' positions and
// velocities a cubic (Hermite) curve follows the orbit to about 1e-10 AU, far below what
// the program's Sun times (whole seconds) can show. Dates out of the table's reach and
// other bodies go to the ephemeris it is made over.
#include <array>
#include <memory>

#include "host/HostInterfaces.h"

namespace np {

class InterpolatedEphemerisFactory : public IEphemerisFactory {
 public:
  // `exact` outlives the factory and every ephemeris it makes.
  explicit InterpolatedEphemerisFactory(IEphemerisFactory& exact) : exact_(exact) {}
  std::unique_ptr<IEphemeris> createEphemeris() override;
  std::unique_ptr<IPositionVector> createPositionVector() override { return exact_.createPositionVector(); }

 private:
  IEphemerisFactory& exact_;
};

}  // namespace np
