#include "host/ErfaEphemeris.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>
#include <string>

namespace np {

std::array<double, 6> ErfaEphemeris::GetPositionAndVelocity(double julianDate) {
  if (bodyType_ != 0 || number_ != 3) {
    throw RunTimeError("Ephemeris.GetPositionAndVelocity: body type " + std::to_string(bodyType_) + ", number " +
                       std::to_string(number_) + " is not available (only the Earth: body type 0, number 3)");
  }
  if (!std::isfinite(julianDate)) {
    throw RunTimeError("Ephemeris.GetPositionAndVelocity: the Julian date is not a number");
  }
  double pvh[2][3];
  double pvb[2][3];
  // Status 1 only warns that the date lies outside 1900-2100, where the series still
  // gives a usable (if less accurate) position.
  eraEpv00(julianDate, 0.0, pvh, pvb);
  return {pvh[0][0], pvh[0][1], pvh[0][2], pvh[1][0], pvh[1][1], pvh[1][2]};
}

double ErfaPositionVector::RightAscension() {
  double theta = 0.0, phi = 0.0;
  eraC2s(p_, &theta, &phi);
  double hours = eraAnp(theta) * 12.0 / ERFA_DPI;
  // A tiny negative angle normalises to just under 2 pi, which can round up to 24.
  return hours >= 24.0 ? hours - 24.0 : hours;
}

double ErfaPositionVector::Declination() {
  double theta = 0.0, phi = 0.0;
  eraC2s(p_, &theta, &phi);
  return phi * ERFA_DR2D;
}

std::unique_ptr<IEphemeris> ErfaEphemerisFactory::createEphemeris() { return std::make_unique<ErfaEphemeris>(); }

std::unique_ptr<IPositionVector> ErfaEphemerisFactory::createPositionVector() {
  return std::make_unique<ErfaPositionVector>();
}

}  // namespace np
