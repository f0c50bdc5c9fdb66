#pragma once
// The fake host's utility and telescope objects (support/FakeHost.h) answering just the
// members the twilight computation reads, on a manual clock, with ERFA's mean sidereal time.
#include <erfa.h>
#include <erfam.h>

#include <cmath>
#include <stdexcept>

#include "base/Clock.h"
#include "support/FakeHost.h"

namespace np::test {

inline double julianDateOf(int year, int month, int day, double hourUtc = 0.0) {
  double d1 = 0.0, d2 = 0.0;
  if (eraCal2jd(year, month, day, &d1, &d2) != 0) throw std::invalid_argument("bad calendar date");
  return d1 + d2 + hourUtc / 24.0;
}

inline double unixSecondsOf(double julianDate) { return (julianDate - kUnixEpochJD) * 86400.0; }

// A telescope at a site: a German polar mount that can park and unpark.
inline void placeAt(FakeTelescope& telescope, double latitude, double longitude) {
  telescope.members.AlignmentMode.answer = [] { return 2; };
  telescope.members.SiteLatitude.answer = [latitude] { return latitude; };
  telescope.members.SiteLongitude.answer = [longitude] { return longitude; };
  telescope.members.CanPark.answer = [] { return true; };
  telescope.members.CanUnpark.answer = [] { return true; };
  telescope.members.Park.answer = [] {};
  telescope.members.Unpark.answer = [] {};
}

// The members of the utility object that the twilight computation reads, on `clock`
// (which must outlive `util`) with ERFA's mean sidereal time; the others have no answer.
// The hour angle at now's sidereal time is asked of `util` itself, so that a test that
// answers Julian_GMST otherwise moves it too.
inline void answerFromClock(FakeUtil& util, const Clock& clock) {
  util.members.SysJulianDate.answer = [&clock] { return clock.julianDateUtc(); };
  util.members.Julian_GMST.answer = [](double jd) { return eraGmst06(jd, 0.0, jd, 0.0) * 12.0 / ERFA_DPI; };
  util.members.HourAngle12AtLst.answer = [](double ra, double lst) {
    double h = std::fmod(lst - ra, 24.0);
    if (h > 12.0) h -= 24.0;
    if (h < -12.0) h += 24.0;
    return h;
  };
  util.members.HourAngle12.answer = [&util, &clock](double ra) {
    return util.HourAngle12(ra, util.Julian_GMST(clock.julianDateUtc()));
  };
  // Local date-times in UTC: the serial date of the Julian date.
  util.members.Julian_Date.answer = [](double jd) { return DateTime{jd - kSerialEpochJD}; };
  util.members.Date_Julian.answer = [](DateTime local) { return local.serial + kSerialEpochJD; };
}

}  // namespace np::test
