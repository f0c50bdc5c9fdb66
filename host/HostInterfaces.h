#pragma once
// What the program requires of the observatory-control host and of the ephemeris
// components. The windowed program and the headless runner put the simulated
// observatory (host/sim) behind these; a build for the observatory computer puts the
// real host behind the same interfaces. Every failing member throws RunTimeError with
// a text naming the member and the cause.
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "base/DateTime.h"
#include "base/Errors.h"

namespace np {

// The hand-over file in the host's default plan folder: one line, the path of the plan
// that the acquisition script is to run.
inline constexpr std::string_view kRunPlanOnceName = "runplanonce.txt";

// A coordinate transform fixed to the site and the moment it was made.
class ICoordinateTransform {
 public:
  virtual ~ICoordinateTransform() = default;
  virtual void setRightAscension(double hours) = 0;
  virtual void setDeclination(double degrees) = 0;
  virtual double Elevation() = 0;  // degrees
  virtual double Azimuth() = 0;    // degrees from north through east
};

class ILocalUser {
 public:
  virtual ~ILocalUser() = default;
  virtual std::string DefaultPlanDir() = 0;  // folder, no trailing separator
  virtual std::string DefaultLogDir() = 0;   // folder, no trailing separator
};

class IPrefs {
 public:
  virtual ~IPrefs() = default;
  virtual double TiltUpLimit() = 0;                // degrees
  virtual double MinimumElevation() = 0;           // degrees
  virtual double GetHorizon(double azimuth) = 0;   // horizon elevation there, degrees
  virtual ILocalUser& LocalUser() = 0;
};

class IWeather {
 public:
  virtual ~IWeather() = default;
  virtual bool Safe() = 0;
};

// The host's utility object.
class IUtil {
 public:
  virtual ~IUtil() = default;
  virtual bool ScriptActive() = 0;
  virtual void LoadScript(const std::string& path) = 0;
  virtual void RunScript() = 0;
  virtual void AbortScript() = 0;
  virtual IPrefs& Prefs() = 0;
  virtual std::unique_ptr<ICoordinateTransform> NewCTHereAndNow() = 0;
  virtual double HMS_Hours(const std::string& text) = 0;
  virtual double DMS_Degrees(const std::string& text) = 0;
  virtual double HourAngle12(double rightAscension) = 0;  // at now's local sidereal time
  virtual double HourAngle12(double rightAscension, double localSiderealTime) = 0;
  virtual double SysJulianDate() = 0;
  virtual double Julian_GMST(double julianDate) = 0;  // hours
  virtual double Date_Julian(DateTime local) = 0;     // Julian date (UTC) of a local date-time
  virtual DateTime Julian_Date(double julianDate) = 0; // local date-time of a Julian date
  virtual std::string FormatVar(DateTime value, const std::string& format) = 0;
  virtual bool WeatherConnected() = 0;
  virtual IWeather& Weather() = 0;
  // Why the last plan handed over could not be run as written (a filter the wheel does
  // not have, a binning the camera refuses): "plan '<path>' line <n>: <cause>". Empty when
  // it could, or when the host does not tell. Asked once the plan's script has ended.
  virtual std::string LastPlanError() { return {}; }
};

class ITelescope {
 public:
  virtual ~ITelescope() = default;
  virtual int AlignmentMode() = 0;  // 0 alt-azimuth, 1 polar, 2 German polar
  virtual double SiteLatitude() = 0;   // degrees, north positive
  virtual double SiteLongitude() = 0;  // degrees, east positive
  virtual bool CanPark() = 0;
  virtual bool CanUnpark() = 0;
  virtual void Park() = 0;
  virtual void Unpark() = 0;
};

// The host application object.
class IApplication {
 public:
  virtual ~IApplication() = default;
  virtual std::string Path() = 0;  // the host's program folder, no trailing separator
};

// What securing the observatory at the end of a run came to.
struct SecuringOutcome {
  bool kept = false;     // the host keeps the observatory and did what its settings say
  bool secured = false;  // all it keeps is safe: exposure ended, mount parked, roof closed
  std::string text;      // what was done, a step a line
};

// Creates the three host objects at window load.
class IHostFactory {
 public:
  virtual ~IHostFactory() = default;
  virtual std::unique_ptr<IUtil> createUtil() = 0;
  virtual std::unique_ptr<ITelescope> createTelescope() = 0;
  virtual std::unique_ptr<IApplication> createApplication() = 0;
  // Called at every end of a run, whatever ended it (`why`, for the reports). A host that
  // is the observatory's keeper leaves it safe: the exposure under way aborted, the mount
  // parked, then the dome or roof closed, each outcome reported by the host. A host that
  // keeps its observatory itself does nothing (and says it keeps none). Never throws.
  virtual SecuringOutcome secureObservatory(const std::string& why) {
    (void)why;
    return {};
  }
};

// A body's ephemeris (the Earth: body type 0, number 3).
class IEphemeris {
 public:
  virtual ~IEphemeris() = default;
  virtual void setBodyType(int bodyType) = 0;
  virtual void setNumber(int number) = 0;
  // Heliocentric position (x, y, z, AU, equatorial) and velocity for a Julian date.
  virtual std::array<double, 6> GetPositionAndVelocity(double julianDate) = 0;
};

// A position vector: set x, y, z; read right ascension (hours) and declination (degrees).
class IPositionVector {
 public:
  virtual ~IPositionVector() = default;
  virtual void setX(double x) = 0;
  virtual void setY(double y) = 0;
  virtual void setZ(double z) = 0;
  virtual double RightAscension() = 0;
  virtual double Declination() = 0;
};

class IEphemerisFactory {
 public:
  virtual ~IEphemerisFactory() = default;
  virtual std::unique_ptr<IEphemeris> createEphemeris() = 0;
  virtual std::unique_ptr<IPositionVector> createPositionVector() = 0;
};

}  // namespace np
