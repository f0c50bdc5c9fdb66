#pragma once
#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "host/HostInterfaces.h"

namespace np {

// The members of the host's utility object that are worked out here rather than asked
// of the observatory: coordinate transforms, angle texts, hour angles, Julian dates,
// sidereal time and FormatVar, for the site a back end names and on the shared clock.
// A back end derives its IUtil from this and implements the rest (scripts, preferences,
// weather) and the site.
//
// NewCTHereAndNow makes a transform fixed to the local sidereal time and the site's
// latitude at the moment it is made; its elevation and azimuth are topocentric, without
// refraction, and reading either before both coordinates are set is a RunTimeError.
// HMS_Hours and DMS_Degrees read texts as parseSexagesimal does. Date_Julian and
// Julian_Date convert with the clock's present utc offset. FormatVar knows "General
// Date" only ("YYYY-MM-DD HH:MM:SS").
class ComputedUtil : public IUtil {
 public:
  // The clock is not owned and must outlive the object.
  explicit ComputedUtil(Clock& clock);

  std::unique_ptr<ICoordinateTransform> NewCTHereAndNow() override;
  double HMS_Hours(const std::string& text) override;
  double DMS_Degrees(const std::string& text) override;
  double HourAngle12(double rightAscension) override;
  double HourAngle12(double rightAscension, double localSiderealTime) override;
  double SysJulianDate() override;
  double Julian_GMST(double julianDate) override;
  double Date_Julian(DateTime local) override;
  DateTime Julian_Date(double julianDate) override;
  std::string FormatVar(DateTime value, const std::string& format) override;

 protected:
  // The site: degrees, north and east positive.
  virtual double siteLatitude() = 0;
  virtual double siteLongitude() = 0;

  Clock& clock() { return clock_; }

 private:
  // The local sidereal time, worked out once for each instant of the clock: a pass over
  // a long list asks for it at every group, mostly at one and the same instant.
  double siderealNow();

  Clock& clock_;
  bool siderealKnown_ = false;
  double siderealJd_ = 0.0, siderealLongitude_ = 0.0, sidereal_ = 0.0;
};

}  // namespace np
