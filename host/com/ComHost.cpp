#include "host/com/ComHost.h"

#include <optional>

namespace np::com {

namespace {

class ComTransform : public ICoordinateTransform {
 public:
  explicit ComTransform(DispatchObject ct) : ct_(std::move(ct)) {}
  void setRightAscension(double hours) override { ct_.put("RightAscension", Variant::fromDouble(hours)); }
  void setDeclination(double degrees) override { ct_.put("Declination", Variant::fromDouble(degrees)); }
  double Elevation() override { return number("Elevation"); }
  double Azimuth() override { return number("Azimuth"); }

 private:
  double number(const char* member) { return toDouble(ct_.get(member), ct_.memberName(member)); }
  DispatchObject ct_;
};

class ComLocalUser : public ILocalUser {
 public:
  explicit ComLocalUser(DispatchObject user) : user_(std::move(user)) {}
  std::string DefaultPlanDir() override { return text("DefaultPlanDir"); }
  std::string DefaultLogDir() override { return text("DefaultLogDir"); }

 private:
  std::string text(const char* member) { return toText(user_.get(member), user_.memberName(member)); }
  DispatchObject user_;
};

class ComPrefs : public IPrefs {
 public:
  explicit ComPrefs(DispatchObject prefs) : prefs_(std::move(prefs)) {}
  double TiltUpLimit() override { return number("TiltUpLimit"); }
  double MinimumElevation() override { return number("MinimumElevation"); }
  double GetHorizon(double azimuth) override {
    Variant v = prefs_.get("GetHorizon", args(Variant::fromDouble(azimuth)));
    return toDouble(v, prefs_.memberName("GetHorizon"));
  }
  ILocalUser& LocalUser() override {
    if (!user_) user_.emplace(prefs_.getObject("LocalUser"));
    return *user_;
  }

 private:
  double number(const char* member) { return toDouble(prefs_.get(member), prefs_.memberName(member)); }
  static std::vector<Variant> args(Variant a) {
    std::vector<Variant> v;
    v.push_back(std::move(a));
    return v;
  }
  DispatchObject prefs_;
  std::optional<ComLocalUser> user_;
};

// The weather object is asked for anew at every reading: it reports a device that the
// host may connect and disconnect while the program runs.
class ComWeather : public IWeather {
 public:
  explicit ComWeather(DispatchObject& util) : util_(util) {}
  bool Safe() override {
    DispatchObject weather = util_.getObject("Weather");
    return toBool(weather.get("Safe"), weather.memberName("Safe"));
  }

 private:
  DispatchObject& util_;
};

std::vector<Variant> list(Variant a) {
  std::vector<Variant> v;
  v.push_back(std::move(a));
  return v;
}

std::vector<Variant> list(Variant a, Variant b) {
  std::vector<Variant> v;
  v.push_back(std::move(a));
  v.push_back(std::move(b));
  return v;
}

class ComUtil : public IUtil {
 public:
  explicit ComUtil(ComPtr<IDispatch> util) : util_(std::move(util), "Util"), weather_(util_) {}

  bool ScriptActive() override { return boolean("ScriptActive"); }
  void LoadScript(const std::string& path) override {
    util_.call("LoadScript", list(Variant::fromText(path, util_.memberName("LoadScript"))));
  }
  void RunScript() override { util_.call("RunScript"); }
  void AbortScript() override { util_.call("AbortScript"); }
  IPrefs& Prefs() override {
    if (!prefs_) prefs_.emplace(util_.getObject("Prefs"));
    return *prefs_;
  }
  std::unique_ptr<ICoordinateTransform> NewCTHereAndNow() override {
    const std::string member = util_.memberName("NewCTHereAndNow");
    ComPtr<IDispatch> ct = toDispatch(util_.get("NewCTHereAndNow"), member);
    return std::make_unique<ComTransform>(DispatchObject(std::move(ct), "CoordinateTransform"));
  }
  double HMS_Hours(const std::string& text) override { return parse("HMS_Hours", text); }
  double DMS_Degrees(const std::string& text) override { return parse("DMS_Degrees", text); }
  double HourAngle12(double rightAscension) override {
    return number("HourAngle12", list(Variant::fromDouble(rightAscension)));
  }
  double HourAngle12(double rightAscension, double localSiderealTime) override {
    return number("HourAngle12", list(Variant::fromDouble(rightAscension), Variant::fromDouble(localSiderealTime)));
  }
  double SysJulianDate() override { return number("SysJulianDate", {}); }
  double Julian_GMST(double julianDate) override { return number("Julian_GMST", list(Variant::fromDouble(julianDate))); }
  double Date_Julian(DateTime local) override { return number("Date_Julian", list(Variant::fromDate(local))); }
  DateTime Julian_Date(double julianDate) override {
    Variant v = util_.get("Julian_Date", list(Variant::fromDouble(julianDate)));
    return toDateTime(v, util_.memberName("Julian_Date"));
  }
  std::string FormatVar(DateTime value, const std::string& format) override {
    const std::string member = util_.memberName("FormatVar");
    Variant v = util_.get("FormatVar", list(Variant::fromDate(value), Variant::fromText(format, member)));
    return toText(v, member);
  }
  bool WeatherConnected() override { return boolean("WeatherConnected"); }
  IWeather& Weather() override { return weather_; }

 private:
  bool boolean(const char* member) { return toBool(util_.get(member), util_.memberName(member)); }
  double number(const char* member, std::vector<Variant> args) {
    Variant v = util_.get(member, std::move(args));
    return toDouble(v, util_.memberName(member));
  }
  double parse(const char* member, const std::string& text) {
    return number(member, list(Variant::fromText(text, util_.memberName(member))));
  }

  DispatchObject util_;
  ComWeather weather_;
  std::optional<ComPrefs> prefs_;
};

class ComTelescope : public ITelescope {
 public:
  explicit ComTelescope(ComPtr<IDispatch> telescope) : t_(std::move(telescope), "Telescope") {}
  int AlignmentMode() override { return static_cast<int>(toLong(t_.get("AlignmentMode"), t_.memberName("AlignmentMode"))); }
  double SiteLatitude() override { return number("SiteLatitude"); }
  double SiteLongitude() override { return number("SiteLongitude"); }
  bool CanPark() override { return boolean("CanPark"); }
  bool CanUnpark() override { return boolean("CanUnpark"); }
  void Park() override { t_.call("Park"); }
  void Unpark() override { t_.call("Unpark"); }

 private:
  double number(const char* member) { return toDouble(t_.get(member), t_.memberName(member)); }
  bool boolean(const char* member) { return toBool(t_.get(member), t_.memberName(member)); }
  DispatchObject t_;
};

class ComApplication : public IApplication {
 public:
  explicit ComApplication(ComPtr<IDispatch> app) : app_(std::move(app), "Application") {}
  std::string Path() override { return toText(app_.get("Path"), app_.memberName("Path")); }

 private:
  DispatchObject app_;
};

}  // namespace

ComPtr<IDispatch> createByProgId(const std::string& progId) {
  const std::wstring wide = wideFromNarrow(progId, progId);
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
  if (FAILED(hr)) fail("CreateObject(\"" + progId + "\")", hr);
  ComPtr<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(object.put()));
  if (FAILED(hr)) fail("CreateObject(\"" + progId + "\")", hr);
  if (!object) throw RunTimeError("CreateObject(\"" + progId + "\"): no object");
  return object;
}

std::unique_ptr<IUtil> utilOver(ComPtr<IDispatch> util) { return std::make_unique<ComUtil>(std::move(util)); }
std::unique_ptr<ITelescope> telescopeOver(ComPtr<IDispatch> telescope) {
  return std::make_unique<ComTelescope>(std::move(telescope));
}
std::unique_ptr<IApplication> applicationOver(ComPtr<IDispatch> application) {
  return std::make_unique<ComApplication>(std::move(application));
}

std::unique_ptr<IUtil> ComHostFactory::createUtil() { return utilOver(createByProgId(kUtilProgId)); }
std::unique_ptr<ITelescope> ComHostFactory::createTelescope() { return telescopeOver(createByProgId(kTelescopeProgId)); }
std::unique_ptr<IApplication> ComHostFactory::createApplication() {
  return applicationOver(createByProgId(kApplicationProgId));
}

}  // namespace np::com
