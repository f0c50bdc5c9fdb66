#pragma once
// The ephemeris components, computed with ERFA: the Earth's heliocentric position for
// a Julian date, and a position vector that turns x, y, z into right ascension and
// declination.
#include <array>
#include <memory>

#include "host/HostInterfaces.h"

namespace np {

// A body's ephemeris. Only the Earth (body type 0, number 3) is provided; asking for
// the position of any other body, or before the body is set, is a RunTimeError.
class ErfaEphemeris : public IEphemeris {
 public:
  void setBodyType(int bodyType) override { bodyType_ = bodyType; }
  void setNumber(int number) override { number_ = number; }
  // Heliocentric position (AU) and velocity (AU/day) of the Earth, axes of the ICRS
  // (equatorial, J2000). The Julian date is taken as given, with no change of scale.
  std::array<double, 6> GetPositionAndVelocity(double julianDate) override;

 private:
  int bodyType_ = -1;
  int number_ = -1;
};

// A direction from x, y, z. The zero vector gives right ascension 0 and declination 0.
class ErfaPositionVector : public IPositionVector {
 public:
  void setX(double x) override { p_[0] = x; }
  void setY(double y) override { p_[1] = y; }
  void setZ(double z) override { p_[2] = z; }
  double RightAscension() override;  // hours, 0 <= RA < 24
  double Declination() override;     // degrees, -90..+90

 private:
  double p_[3] = {0.0, 0.0, 0.0};
};

class ErfaEphemerisFactory : public IEphemerisFactory {
 public:
  std::unique_ptr<IEphemeris> createEphemeris() override;
  std::unique_ptr<IPositionVector> createPositionVector() override;
};

}  // namespace np
