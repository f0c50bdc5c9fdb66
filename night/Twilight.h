#pragma once
// Dawn, dusk and the Sun's position. Night is defined by the Sun's elevation alone: it
// is night while the Sun stands below the user's elevation `sunElev` (degrees).
#include "base/DateTime.h"
#include "base/Errors.h"
#include "host/HostInterfaces.h"
#include "targets/Services.h"

namespace np {

// The Sun never passes the requested elevation within a year from now (for example an
// elevation below -90 or above +90 degrees, or one the Sun cannot reach at the site).
// The observing loop ends the run on it.
class NoTwilightError : public RunTimeError {
 public:
  explicit NoTwilightError(double elevation);
  double elevation() const { return elevation_; }

 private:
  double elevation_;
};

// Arc cosine in radians (0..pi), built from the arc tangent; exactly 0 for 1 and
// 4 * atan(1) for -1. Outside [-1, 1] (or NaN) it is a RunTimeError.
double Arccos(double x);

// The Sun's geometric right ascension (hours) and declination (degrees).
struct SunPosition {
  double RA = 0, Dec = 0;
};

// The Sun's position at the Julian date JD, the opposite of the Earth's heliocentric
// position from `earthEphem`. The date goes to the ephemeris unchanged. A new position
// vector comes from `vectors` at every call.
SunPosition SunEphem(IEphemeris& earthEphem, IEphemerisFactory& vectors, double JD);

// The local date-time of the next moment, strictly after util.SysJulianDate, at which
// the Sun passes the elevation H0 (degrees): rising when DoDawn is true (dawn), setting
// when it is false (dusk).
//
// On a day when the Sun does not pass H0 at all (it stays above H0 all night, as in a
// summer far north, or below it all day, as in a polar night) the search moves on a day
// at a time and returns the first real crossing. The two answers asked at the same
// moment always order the way the observing loop reads them ("the dawn later than the
// dusk means day"):
//  - Sun above H0 all day today: the next dusk is the first evening the Sun gets down
//    to H0, and the next dawn is the dawn after that dusk, so the run waits through the
//    bright nights for the first dark one.
//  - Sun below H0 all day today (polar night): the next dawn is the first morning the
//    Sun gets up to H0, and the next dusk is the dusk after that dawn, so the whole
//    polar night is one long night, its plans ending at that first dawn.
//
// Within a degree of a pole the Sun's daily circle is nearly level, so its elevation
// changes mostly with the seasons and the crossing days can be fewer than one: there,
// and wherever the search by hour angle finds no crossing within the year, the passage
// is found from the Sun's elevation itself, followed forward in steps it cannot cross
// H0 and come back within. The answers order the same way: below H0 now, the next
// dawn comes first; above it, the next dusk.
// Throws NoTwilightError when H0 lies outside -90..90 or no crossing comes within a
// year; RunTimeError if the search does not settle (it never loops without bound).
// The host objects and the ephemeris factory come from `services`; `earthEphem` is the
// run's Earth ephemeris.
DateTime NextDawnDusk(const Services& services, IEphemeris& earthEphem, double H0, bool DoDawn);

// What the search reads beside the Sun: the present moment, the sidereal time and hour
// angle, and the site. NextDawnDusk asks them of the host's objects (IUtil, ITelescope)
// at every step; the reports of a run that is over answer them for a moment of their own.
class SunSearchSite {
 public:
  virtual ~SunSearchSite() = default;
  virtual double julianDateNow() = 0;                       // as IUtil::SysJulianDate
  virtual double greenwichSiderealHours(double julianDate) = 0;  // as IUtil::Julian_GMST
  virtual double hourAngle12(double rightAscension, double localSiderealTime) = 0;  // as IUtil::HourAngle12
  virtual double latitude() = 0;   // degrees, as ITelescope::SiteLatitude
  virtual double longitude() = 0;  // degrees east, as ITelescope::SiteLongitude
};

// NextDawnDusk's search itself, from site.julianDateNow(): the Julian date (UTC) of the
// passage. `vectors` gives the Sun's position vectors, as Services::ephemeris.
double NextDawnDuskJulian(SunSearchSite& site, IEphemeris& earthEphem, IEphemerisFactory& vectors, double H0,
                          bool DoDawn);

}  // namespace np
