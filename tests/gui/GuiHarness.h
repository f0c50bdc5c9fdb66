#pragma once
// What the GUI tests share: the main window (app/qt) built on the test world as the
// start-up routine builds it, with the host's utility object counting the calls the stop
// buttons may make, and the program's exits recorded.
#include <QCoreApplication>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/MainWindow.h"
#include "base/Errors.h"
#include "host/HostInterfaces.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np::test {

// 2024-06-01 19:00 UTC: noon at the default site (UTC-7), so a run starts by day.
inline constexpr double kGuiStartUnix = 1717268400.0;

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

// The program in a test world, its window loaded (Form_Load) but not shown; `configText`,
// when given, is written to config.ini before the load. The world's user processes the
// pending Qt events and then runs `duringRun` once, if it is set: what the user does
// while a run is in progress, at the loop's next event processing.
class GuiWorld : public TestWorld {
 public:
  explicit GuiWorld(NumberLocale locale = {}, const std::string* configText = nullptr)
      : TestWorld("", kGuiStartUnix, locale), countingHost(*host) {
    if (configText) writeFileBytes(configPath(), *configText);
    wireMain(countingHost, files);
    main->Form_Load();
    window = std::make_unique<MainWindow>(*main);
    window->setExitHandler([this](int code) {
      exitCodes.push_back(code);
      runningAtExit.push_back(main->running());
    });
    user = [this] {
      QCoreApplication::processEvents();
      if (duringRun) {
        auto action = std::move(duringRun);
        duringRun = nullptr;
        action();
      }
    };
  }
  ~GuiWorld() {
    user = nullptr;
    window.reset();
    main.reset();
    platform.reset();
  }

  CountingUtil& countingUtil() { return *countingHost.last; }

  CountingHost countingHost;
  std::unique_ptr<MainWindow> window;
  std::function<void()> duringRun;
  std::vector<int> exitCodes;       // every program exit the window asked for
  std::vector<bool> runningAtExit;  // whether a run was still in progress at each
};

}  // namespace np::test
