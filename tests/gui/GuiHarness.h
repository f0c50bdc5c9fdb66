#pragma once
// What the GUI tests share: the program's core and main window wired to the simulated
// observatory in a temporary program folder, with recorded message boxes, a manual
// clock and a recorded program exit.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/FrmMain.h"
#include "support/RecordingMessageSink.h"
#include "support/TestText.h"
#include "base/Ui.h"
#include "app/qt/MainWindow.h"
#include "base/Clock.h"
#include "host/ErfaEphemeris.h"
#include "base/FileSystem.h"
#include "host/HostInterfaces.h"
#include "host/sim/SimulatedObservatory.h"

namespace np::guitest {

// 2024-06-01 19:00 UTC: noon at the default site (UTC-7), so a run starts by day.
inline constexpr double kStartUnix = 1717268400.0;

// The settings file as written with every default.
inline const std::string& kDefaultConfig = np::test::kDefaultConfigText;

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

// Event processing for the observing loop: pending Qt events are processed, waits move
// the manual clock. `duringRun` is called once at the loop's next event processing,
// standing for what the user does while a run is in progress.
class TestEventPump : public EventPump {
 public:
  explicit TestEventPump(ManualClock& clock) : clock_(clock) {}
  std::function<void()> duringRun;
  int doEventsCalls = 0;

  void DoEvents() override {
    ++doEventsCalls;
    QCoreApplication::processEvents();
    if (duringRun) {
      auto action = std::move(duringRun);
      duringRun = nullptr;
      action();
    }
  }
  void WaitSeconds(int seconds) override {
    clock_.advance(seconds);
    QCoreApplication::processEvents();
  }

 private:
  ManualClock& clock_;
};

inline std::string readBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
  return file.readAll().toStdString();
}

inline void writeBytes(const QString& path, const std::string& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write " + path.toStdString());
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// The program as the start-up routine builds it, in a fresh temporary program folder.
// The window is loaded (Form_Load) but not shown; `configText`, when given, is written
// to config.ini before the load.
class Program {
 public:
  explicit Program(NumberLocale locale = {}, const std::string* configText = nullptr)
      : observatory_(checkedFolder(dir_) + "/observatory", clock),
        host(observatory_),
        platform{host, ephemeris, files, clock, messages, events, locale, checkedFolder(dir_) + "/nightpick"} {
    if (configText) writeBytes(configPath(), *configText);
    form = std::make_unique<frmMain>(platform);
    form->Form_Load();
    window = std::make_unique<MainWindow>(*form);
    window->setExitHandler([this](int code) {
      exitCodes.push_back(code);
      runningAtExit.push_back(form->running());
    });
  }
  ~Program() {
    window.reset();
    form.reset();
  }

  QString folder() const { return dir_.path(); }
  QString configPath() const { return dir_.path() + QStringLiteral("/config.ini"); }
  CountingUtil& util() { return *host.last; }

 private:
  static std::string checkedFolder(const QTemporaryDir& dir) {
    if (!dir.isValid()) throw std::runtime_error("no temporary folder");
    return dir.path().toStdString();
  }
  QTemporaryDir dir_;

 public:
  ManualClock clock{kStartUnix};

 private:
  SimulatedObservatory observatory_;

 public:
  CountingHost host;
  ErfaEphemerisFactory ephemeris;
  LocalFileSystem files;
  RecordingMessageSink messages;
  TestEventPump events{clock};
  Platform platform;
  std::unique_ptr<frmMain> form;
  std::unique_ptr<MainWindow> window;
  std::vector<int> exitCodes;       // every program exit the window asked for
  std::vector<bool> runningAtExit;  // whether a run was still in progress at each
};

}  // namespace np::guitest
