#pragma once
// The host's utility object counting the calls the stop buttons may make, and the
// factory that hands it out: shared by the tests of the Qt and the Windows main window.
#include <memory>
#include <string>

#include "base/Errors.h"
#include "host/HostInterfaces.h"

namespace np::test {

// The host's utility object, counting the calls the stop buttons may make and able to
// fail on demand; everything else passes to the simulated observatory.
class CountingUtil : public IUtil {
 public:
  explicit CountingUtil(std::unique_ptr<IUtil> inner) : inner_(std::move(inner)) {}
  int scriptActiveCalls = 0;
  int abortScriptCalls = 0;
  bool failScriptActive = false;

  bool ScriptActive() override {
    ++scriptActiveCalls;
    if (failScriptActive) throw RunTimeError("ScriptActive: the host does not answer");
    return inner_->ScriptActive();
  }
  void LoadScript(const std::string& path) override { inner_->LoadScript(path); }
  void RunScript() override { inner_->RunScript(); }
  void AbortScript() override {
    ++abortScriptCalls;
    inner_->AbortScript();
  }
  IPrefs& Prefs() override { return inner_->Prefs(); }
  std::unique_ptr<ICoordinateTransform> NewCTHereAndNow() override { return inner_->NewCTHereAndNow(); }
  double HMS_Hours(const std::string& text) override { return inner_->HMS_Hours(text); }
  double DMS_Degrees(const std::string& text) override { return inner_->DMS_Degrees(text); }
  double HourAngle12(double ra) override { return inner_->HourAngle12(ra); }
  double HourAngle12(double ra, double lst) override { return inner_->HourAngle12(ra, lst); }
  double SysJulianDate() override { return inner_->SysJulianDate(); }
  double Julian_GMST(double jd) override { return inner_->Julian_GMST(jd); }
  double Date_Julian(DateTime local) override { return inner_->Date_Julian(local); }
  DateTime Julian_Date(double jd) override { return inner_->Julian_Date(jd); }
  std::string FormatVar(DateTime value, const std::string& format) override { return inner_->FormatVar(value, format); }
  bool WeatherConnected() override { return inner_->WeatherConnected(); }
  IWeather& Weather() override { return inner_->Weather(); }

 private:
  std::unique_ptr<IUtil> inner_;
};

// The simulated observatory behind a factory whose utility object counts calls.
class CountingHost : public IHostFactory {
 public:
  explicit CountingHost(IHostFactory& inner) : inner_(inner) {}
  std::unique_ptr<IUtil> createUtil() override {
    auto util = std::make_unique<CountingUtil>(inner_.createUtil());
    last = util.get();
    return util;
  }
  std::unique_ptr<ITelescope> createTelescope() override { return inner_.createTelescope(); }
  std::unique_ptr<IApplication> createApplication() override { return inner_.createApplication(); }
  CountingUtil* last = nullptr;  // the utility object frmMain holds

 private:
  IHostFactory& inner_;
};

}  // namespace np::test
