#pragma once
// Small stand-ins for the host's utility and telescope objects: just the members the
// twilight computation reads, on a manual clock, with ERFA's mean sidereal time.
#include <erfa.h>
#include <erfam.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "base/Clock.h"
#include "host/HostInterfaces.h"

namespace np::test {

inline double julianDateOf(int year, int month, int day, double hourUtc = 0.0) {
  double d1 = 0.0, d2 = 0.0;
  if (eraCal2jd(year, month, day, &d1, &d2) != 0) throw std::invalid_argument("bad calendar date");
  return d1 + d2 + hourUtc / 24.0;
}

inline double unixSecondsOf(double julianDate) { return (julianDate - kUnixEpochJD) * 86400.0; }

class SiteTelescope : public ITelescope {
 public:
  SiteTelescope(double latitude, double longitude) : latitude_(latitude), longitude_(longitude) {}
  int AlignmentMode() override { return 2; }
  double SiteLatitude() override { return latitude_; }
  double SiteLongitude() override { return longitude_; }
  bool CanPark() override { return true; }
  bool CanUnpark() override { return true; }
  void Park() override {}
  void Unpark() override {}

 private:
  double latitude_, longitude_;
};

// The members of the utility object the twilight computation does not use fail.
class ClockUtil : public IUtil {
 public:
  explicit ClockUtil(const Clock& clock) : clock_(clock) {}

  double SysJulianDate() override {
    ++clockReads;
    return clock_.julianDateUtc();
  }
  double Julian_GMST(double jd) override { return eraGmst06(jd, 0.0, jd, 0.0) * 12.0 / ERFA_DPI; }
  double HourAngle12(double ra, double lst) override {
    double h = std::fmod(lst - ra, 24.0);
    if (h > 12.0) h -= 24.0;
    if (h < -12.0) h += 24.0;
    return h;
  }
  double HourAngle12(double ra) override { return HourAngle12(ra, Julian_GMST(clock_.julianDateUtc())); }
  // Local date-times in UTC: the serial date of the Julian date.
  DateTime Julian_Date(double jd) override { return DateTime{jd - kSerialEpochJD}; }
  double Date_Julian(DateTime local) override { return local.serial + kSerialEpochJD; }

  bool ScriptActive() override { return unused("ScriptActive"); }
  void LoadScript(const std::string&) override { unused("LoadScript"); }
  void RunScript() override { unused("RunScript"); }
  void AbortScript() override { unused("AbortScript"); }
  IPrefs& Prefs() override { unused("Prefs"); throw; }
  std::unique_ptr<ICoordinateTransform> NewCTHereAndNow() override { unused("NewCTHereAndNow"); return nullptr; }
  double HMS_Hours(const std::string&) override { return unused("HMS_Hours"); }
  double DMS_Degrees(const std::string&) override { return unused("DMS_Degrees"); }
  std::string FormatVar(DateTime, const std::string&) override { unused("FormatVar"); return {}; }
  bool WeatherConnected() override { return unused("WeatherConnected"); }
  IWeather& Weather() override { unused("Weather"); throw; }

  int clockReads = 0;

 private:
  [[noreturn]] static bool unused(const char* member) {
    throw std::logic_error(std::string("ClockUtil.") + member + " is not expected here");
  }
  const Clock& clock_;
};

}  // namespace np::test
