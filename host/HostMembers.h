#pragma once
// The members of the host's objects (HostInterfaces.h) in one table, for the code that
// treats them all alike: the automation client calls each by the name the host's
// automation server gives it, the tests' stand-in serves each under that name, and the
// tests' fake host answers each. Every list below is an X-macro: X(object, key, member,
// "automation name", kind, result, (parameters), (arguments)), where
//   object      the interface without its I (Util is IUtil),
//   key         how code that keeps something per member names it: the member's own name
//               but for a second overload,
//   member      the interface's member function,
//   kind        Get: a property get or a method with a result (automation callers ask
//               for either); Call: a method whose result is not used; Put: a property
//               put, its one argument the value; Object: a property get whose result is
//               another of the host's objects.
//
// A class that overrides the members of a list (`NP_HOST_UTIL(X)` in the class) is
// concrete only when the list names every member of the interface, and compiles only
// when every row is a member of it: tests/host checks the table so.
#include "host/HostInterfaces.h"

namespace np {

enum class HostMemberKind { Get, Call, Put, Object };

// clang-format off
#define NP_HOST_UTIL(X) \
  X(Util, ScriptActive, ScriptActive, "ScriptActive", Get, bool, (), ()) \
  X(Util, LoadScript, LoadScript, "LoadScript", Call, void, (const std::string& path), (path)) \
  X(Util, RunScript, RunScript, "RunScript", Call, void, (), ()) \
  X(Util, AbortScript, AbortScript, "AbortScript", Call, void, (), ()) \
  X(Util, Prefs, Prefs, "Prefs", Object, IPrefs&, (), ()) \
  X(Util, NewCTHereAndNow, NewCTHereAndNow, "NewCTHereAndNow", Object, std::unique_ptr<ICoordinateTransform>, (), ()) \
  X(Util, HMS_Hours, HMS_Hours, "HMS_Hours", Get, double, (const std::string& text), (text)) \
  X(Util, DMS_Degrees, DMS_Degrees, "DMS_Degrees", Get, double, (const std::string& text), (text)) \
  X(Util, HourAngle12, HourAngle12, "HourAngle12", Get, double, (double rightAscension), (rightAscension)) \
  X(Util, HourAngle12AtLst, HourAngle12, "HourAngle12", Get, double, \
    (double rightAscension, double localSiderealTime), (rightAscension, localSiderealTime)) \
  X(Util, SysJulianDate, SysJulianDate, "SysJulianDate", Get, double, (), ()) \
  X(Util, Julian_GMST, Julian_GMST, "Julian_GMST", Get, double, (double julianDate), (julianDate)) \
  X(Util, Date_Julian, Date_Julian, "Date_Julian", Get, double, (DateTime local), (local)) \
  X(Util, Julian_Date, Julian_Date, "Julian_Date", Get, DateTime, (double julianDate), (julianDate)) \
  X(Util, FormatVar, FormatVar, "FormatVar", Get, std::string, (DateTime value, const std::string& format), \
    (value, format)) \
  X(Util, WeatherConnected, WeatherConnected, "WeatherConnected", Get, bool, (), ()) \
  X(Util, Weather, Weather, "Weather", Object, IWeather&, (), ())

#define NP_HOST_PREFS(X) \
  X(Prefs, TiltUpLimit, TiltUpLimit, "TiltUpLimit", Get, double, (), ()) \
  X(Prefs, MinimumElevation, MinimumElevation, "MinimumElevation", Get, double, (), ()) \
  X(Prefs, GetHorizon, GetHorizon, "GetHorizon", Get, double, (double azimuth), (azimuth)) \
  X(Prefs, LocalUser, LocalUser, "LocalUser", Object, ILocalUser&, (), ())

#define NP_HOST_LOCALUSER(X) \
  X(LocalUser, DefaultPlanDir, DefaultPlanDir, "DefaultPlanDir", Get, std::string, (), ()) \
  X(LocalUser, DefaultLogDir, DefaultLogDir, "DefaultLogDir", Get, std::string, (), ())

#define NP_HOST_WEATHER(X) \
  X(Weather, Safe, Safe, "Safe", Get, bool, (), ())

#define NP_HOST_TELESCOPE(X) \
  X(Telescope, AlignmentMode, AlignmentMode, "AlignmentMode", Get, int, (), ()) \
  X(Telescope, SiteLatitude, SiteLatitude, "SiteLatitude", Get, double, (), ()) \
  X(Telescope, SiteLongitude, SiteLongitude, "SiteLongitude", Get, double, (), ()) \
  X(Telescope, CanPark, CanPark, "CanPark", Get, bool, (), ()) \
  X(Telescope, CanUnpark, CanUnpark, "CanUnpark", Get, bool, (), ()) \
  X(Telescope, Park, Park, "Park", Call, void, (), ()) \
  X(Telescope, Unpark, Unpark, "Unpark", Call, void, (), ())

#define NP_HOST_APPLICATION(X) \
  X(Application, Path, Path, "Path", Get, std::string, (), ())

#define NP_HOST_COORDINATETRANSFORM(X) \
  X(CoordinateTransform, setRightAscension, setRightAscension, "RightAscension", Put, void, (double hours), (hours)) \
  X(CoordinateTransform, setDeclination, setDeclination, "Declination", Put, void, (double degrees), (degrees)) \
  X(CoordinateTransform, Elevation, Elevation, "Elevation", Get, double, (), ()) \
  X(CoordinateTransform, Azimuth, Azimuth, "Azimuth", Get, double, (), ())

// Every member of every object.
#define NP_HOST_MEMBERS(X) \
  NP_HOST_UTIL(X) NP_HOST_PREFS(X) NP_HOST_LOCALUSER(X) NP_HOST_WEATHER(X) NP_HOST_TELESCOPE(X) \
  NP_HOST_APPLICATION(X) NP_HOST_COORDINATETRANSFORM(X)
// clang-format on

// A member's function as a pointer to member (the row's parameters pick an overload).
#define NP_HOST_MEMBER_POINTER(object, member, result, parameters) \
  static_cast<result(I##object::*) parameters>(&I##object::member)

}  // namespace np
