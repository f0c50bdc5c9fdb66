#include "host/sim/SimulatedObservatory.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "base/Errors.h"
#include "base/FileSystem.h"
#include "host/ComputedUtil.h"
#include "host/ConfigPrefs.h"
#include "host/sim/AcquisitionRun.h"
#include "host/sim/WeatherModel.h"

namespace np {
namespace sim {


// One acquisition run, from RunScript to its END.
struct Run {
  double activeAt = 0.0;  // ScriptActive from here ...
  double endAt = 0.0;     // ... until here (never active when endAt <= activeAt)
  std::vector<AcquisitionEvent> events;  // in time order, the last one the END
  std::size_t written = 0;               // events already in the log
};

struct SimState {
  SimState(std::string folderPath, Clock& c) : folder(std::move(folderPath)), clock(c) {}

  std::string folder;
  Clock& clock;
  ObservatoryConfig config;
  WeatherModel weather;  // of `config`
  bool parked = false;
  std::string loadedScript;
  int runs = 0;
  std::optional<Run> run;

  double now() const { return clock.unixSeconds(); }
  std::string planDir() const { return joinPath(folder, kPlansFolderName); }
  std::string logDir() const { return joinPath(folder, kLogsFolderName); }
  std::string logPath() const { return joinPath(logDir(), acqlog::kFileName); }

  void appendToLog(const std::vector<const AcquisitionEvent*>& events, const char* member) {
    if (events.empty()) return;
    std::ofstream out(logPath(), std::ios::binary | std::ios::app);
    for (const AcquisitionEvent* e : events) out << formatAcquisitionEvent(*e) << "\r\n";
    out.close();
    if (!out) throw RunTimeError(std::string(member) + ": cannot write '" + logPath() + "'");
  }

  // Writes the run's events up to now to the log.
  void update(const char* member) {
    if (!run) return;
    const double t = now();
    std::vector<const AcquisitionEvent*> due;
    std::size_t next = run->written;
    while (next < run->events.size() && run->events[next].utc <= t) due.push_back(&run->events[next++]);
    appendToLog(due, member);
    run->written = next;
  }

  bool scriptActive(const char* member) {
    update(member);
    const double t = now();
    return run && run->activeAt <= t && t < run->endAt;
  }

  bool scriptRunning(const char* member) {
    update(member);
    return run && now() < run->endAt;
  }

  void loadScript(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
      throw RunTimeError("LoadScript: the script '" + path + "' does not exist");
    }
    loadedScript = path;
  }

  // A run that ends at once, before it ever becomes active.
  void failRun(const std::string& why) {
    const double t = now();
    Run failed;
    failed.activeAt = t;
    failed.endAt = t;
    AcquisitionEvent& e = failed.events.emplace_back();
    e.utc = t;
    e.kind = acqlog::kEnd;
    e.reason = acqlog::kEndError;
    e.detail = why;
    run = std::move(failed);
    update("RunScript");
  }

  void runScript() {
    if (scriptRunning("RunScript")) throw RunTimeError("RunScript: a script is already running");
    if (loadedScript.empty()) throw RunTimeError("RunScript: no script is loaded");
    ++runs;
    HandedOverPlan handed =
        readHandedOverPlan(planDir(), config.acquisition.count, config.acquisition.interval, "RunScript");
    if (!handed.error.empty()) return failRun(handed.error);
    const AcquisitionPlan& plan = handed.plan;
    const std::string& planPath = handed.planPath;
    const double activeAt = now() + config.acquisition.startDelay;
    RunTimeline timeline = computeRunTimeline(plan, planPath, config, weather, activeAt);
    Run started;
    started.activeAt = activeAt;
    started.endAt = timeline.end;
    started.events = std::move(timeline.events);
    run = std::move(started);
    update("RunScript");
  }

  void abortScript() {
    if (!scriptRunning("AbortScript")) return;
    const double t = now();
    run->events.resize(run->written);
    AcquisitionEvent& e = run->events.emplace_back();
    e.utc = t;
    e.kind = acqlog::kEnd;
    e.reason = acqlog::kEndAborted;
    run->endAt = t;
    update("AbortScript");
  }

  void setParked(bool park) {
    const char* member = park ? "Park" : "Unpark";
    update(member);
    if (park ? !config.mount.canPark : !config.mount.canUnpark) {
      throw RunTimeError(std::string(member) + ": the telescope cannot " + (park ? "park" : "unpark"));
    }
    parked = park;
    AcquisitionEvent e;
    e.utc = now();
    e.kind = park ? acqlog::kPark : acqlog::kUnpark;
    appendToLog({&e}, member);
  }
};

namespace {

class Weather : public IWeather {
 public:
  explicit Weather(std::shared_ptr<SimState> s) : s_(std::move(s)) {}
  bool Safe() override {
    s_->update("Weather.Safe");
    return !s_->weather.isUnsafeAt(s_->now());
  }

 private:
  std::shared_ptr<SimState> s_;
};

class Util : public ComputedUtil {
 public:
  explicit Util(std::shared_ptr<SimState> s)
      : ComputedUtil(s->clock), s_(s), prefs_(s->config, s->planDir(), s->logDir()), weather_(s) {}

  bool ScriptActive() override { return s_->scriptActive("ScriptActive"); }
  void LoadScript(const std::string& path) override { s_->loadScript(path); }
  void RunScript() override { s_->runScript(); }
  void AbortScript() override { s_->abortScript(); }
  IPrefs& Prefs() override { return prefs_; }
  bool WeatherConnected() override { return s_->config.weather.connected; }
  IWeather& Weather() override { return weather_; }

 protected:
  double siteLatitude() override { return s_->config.site.latitude; }
  double siteLongitude() override { return s_->config.site.longitude; }

 private:
  std::shared_ptr<SimState> s_;
  ConfigPrefs prefs_;
  sim::Weather weather_;
};

class Telescope : public ITelescope {
 public:
  explicit Telescope(std::shared_ptr<SimState> s) : s_(std::move(s)) {}
  int AlignmentMode() override { return s_->config.mount.alignmentMode; }
  double SiteLatitude() override { return s_->config.site.latitude; }
  double SiteLongitude() override { return s_->config.site.longitude; }
  bool CanPark() override { return s_->config.mount.canPark; }
  bool CanUnpark() override { return s_->config.mount.canUnpark; }
  void Park() override { s_->setParked(true); }
  void Unpark() override { s_->setParked(false); }

 private:
  std::shared_ptr<SimState> s_;
};

class Application : public IApplication {
 public:
  explicit Application(std::shared_ptr<SimState> s) : s_(std::move(s)) {}
  std::string Path() override { return s_->folder; }

 private:
  std::shared_ptr<SimState> s_;
};

std::string withoutTrailingSeparator(std::string folder) {
  return np::withoutSeparator(std::move(folder));
}

}  // namespace
}  // namespace sim

SimulatedObservatory::SimulatedObservatory(const std::string& folder, Clock& clock) {
  if (folder.empty()) throw RunTimeError("SimulatedObservatory: no folder given");
  state_ = std::make_shared<sim::SimState>(sim::withoutTrailingSeparator(folder), clock);
  state_->config = loadObservatoryConfig(state_->folder);
  if (state_->config.host.kind != HostKind::Simulated) {
    throw RunTimeError("SimulatedObservatory: '" + joinPath(state_->folder, kObservatoryIniName) +
                       "' is for an INDI observatory ([host] kind = indi), not the simulated one");
  }
  state_->weather = sim::WeatherModel(state_->config);
  clock.setUtcOffsetHours(state_->config.site.utcOffset);
}

SimulatedObservatory::~SimulatedObservatory() = default;

std::unique_ptr<IUtil> SimulatedObservatory::createUtil() { return std::make_unique<sim::Util>(state_); }
std::unique_ptr<ITelescope> SimulatedObservatory::createTelescope() { return std::make_unique<sim::Telescope>(state_); }
std::unique_ptr<IApplication> SimulatedObservatory::createApplication() {
  return std::make_unique<sim::Application>(state_);
}

const ObservatoryConfig& SimulatedObservatory::config() const { return state_->config; }
const std::string& SimulatedObservatory::folder() const { return state_->folder; }
std::string SimulatedObservatory::planDir() const { return state_->planDir(); }
std::string SimulatedObservatory::logDir() const { return state_->logDir(); }
std::string SimulatedObservatory::scriptPath() const {
  return joinPath(joinPath(state_->folder, kScriptsFolderName), kAcquireScriptName);
}
std::string SimulatedObservatory::acquisitionLogPath() const { return state_->logPath(); }
bool SimulatedObservatory::parked() const { return state_->parked; }
std::string SimulatedObservatory::loadedScript() const { return state_->loadedScript; }
int SimulatedObservatory::runCount() const { return state_->runs; }
bool SimulatedObservatory::scriptActive() { return state_->scriptActive("ScriptActive"); }
bool SimulatedObservatory::scriptRunning() { return state_->scriptRunning("ScriptActive"); }
void SimulatedObservatory::update() { state_->update("update"); }

}  // namespace np
