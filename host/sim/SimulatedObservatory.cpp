#include "host/sim/SimulatedObservatory.h"

#include <algorithm>

#include "base/Errors.h"
#include "base/FileSystem.h"
#include "host/sim/WeatherModel.h"

namespace np {
namespace {

// One run's simulated devices: each step advances the run's own time.
class SimulatedSteps : public AcquisitionDevices {
 public:
  SimulatedSteps(const ObservatoryConfig& config, double start) : config_(config), t_(start) {}

  double now() override { return t_; }
  bool focusesOnTarget() const override { return false; }
  bool prepare() override { return false; }
  bool slew(const PlanStep&, double quitAt) override { return spend(config_.acquisition.overhead, quitAt); }
  // A flip is a slew: it takes the time of one. The simulated mount reports no pier side.
  std::string flip(const PlanStep&) override {
    t_ += config_.acquisition.overhead;
    return {};
  }
  // Changing the filter or the binning takes no time.
  void selectFilter(const std::string&) override {}
  void setBinning(int) override {}
  FocusOutcome autofocus(const PlanStep&, double quitAt) override {
    FocusOutcome focus;
    focus.cut = !spend(config_.acquisition.autofocus, quitAt);
    focus.done = true;
    focus.seconds = config_.acquisition.autofocus;
    return focus;
  }
  std::string expose(const PlanStep&, const FilterGroup& group) override {
    t_ += group.interval;
    return {};
  }
  void checkStop() override {}
  StopCause stopCause() override { return StopCause::Aborted; }
  void closeForWeather(const std::function<void()>&) override {}

 private:
  // Slewing and focusing stop at the quit time.
  bool spend(double seconds, double quitAt) {
    if (t_ + seconds > quitAt) {
      t_ = quitAt;
      return false;
    }
    t_ += seconds;
    return true;
  }

  const ObservatoryConfig& config_;
  double t_;
};

}  // namespace

class SimulatedObservatory::Devices : public ObservatoryBackEnd {
 public:
  Devices(const ObservatoryConfig& config, Clock& clock) : config_(config), clock_(clock), weather_(config) {}

  double siteLatitude() override { return config_.site.latitude; }
  double siteLongitude() override { return config_.site.longitude; }
  bool canPark() override { return config_.mount.canPark; }
  bool canUnpark() override { return config_.mount.canUnpark; }
  void park(const std::function<void()>& parked) override {
    setParked(true);
    parked();
  }
  void unpark(const std::function<void()>& unparked) override {
    setParked(false);
    unparked();
  }
  bool weatherConnected() override { return config_.weather.connected; }
  bool weatherSafe() override { return !weather_.isUnsafeAt(clock_.unixSeconds()); }
  double eventTime() override { return clock_.unixSeconds(); }
  double startDelay() override { return config_.acquisition.startDelay; }

  // The whole run at once; a connected weather source that turns unsafe aborts it.
  void startRun(const std::shared_ptr<AcquisitionRun>& run, HandedOverPlan handed) override {
    const double activeAt = run->activeAt();
    SimulatedSteps steps(config_, activeAt);
    const AcquisitionSite site{config_.site.latitude, config_.site.longitude, config_.limits.minimumElevation,
                               config_.limits.horizon, config_.mount.meridianFlip};
    std::vector<AcquisitionEvent> events;
    AcquisitionOutcome outcome = runAcquisition(handed.plan, handed.planPath, site, steps,
                                                [&](AcquisitionEvent e) { events.push_back(std::move(e)); });
    double end = std::max(steps.now(), activeAt + kMinimumActiveSeconds);
    double unsafeAt = 0.0;
    if (config_.weather.connected && weather_.firstUnsafeInstant(activeAt, unsafeAt) && unsafeAt < end) {
      unsafeAt = std::max(unsafeAt, activeAt + kMinimumActiveSeconds);
      if (unsafeAt < end) {
        std::erase_if(events, [&](const AcquisitionEvent& e) { return e.utc > unsafeAt; });
        end = unsafeAt;
        outcome = AcquisitionOutcome{};
        outcome.reason = acqlog::kEndWeather;
      }
    }
    for (AcquisitionEvent& e : events) run->schedule(std::move(e));
    run->finish(outcome, end);
  }

  void abortRun(AcquisitionRun& run, const char*) override { run.cutAt(clock_.unixSeconds(), acqlog::kEndAborted); }

  bool parked() const { return parked_; }

 private:
  void setParked(bool park) {
    if (park ? !config_.mount.canPark : !config_.mount.canUnpark) {
      throw RunTimeError(std::string(park ? "Park" : "Unpark") + ": the telescope cannot " +
                         (park ? "park" : "unpark"));
    }
    parked_ = park;
  }

  const ObservatoryConfig& config_;
  Clock& clock_;
  sim::WeatherModel weather_;
  bool parked_ = false;
};

namespace {

// The folder's configuration, for the simulated observatory only.
ObservatoryConfig simulatedConfig(const std::string& folder) {
  if (folder.empty()) throw RunTimeError("SimulatedObservatory: no folder given");
  ObservatoryConfig config = loadObservatoryConfig(folder);
  if (config.host.kind != kSimulatedKind) {
    throw RunTimeError("SimulatedObservatory: '" + joinPath(withoutSeparator(folder), kObservatoryIniName) +
                       "' is for another host ([host] kind = " + config.host.kind + "), not the simulated one");
  }
  return config;
}

}  // namespace

SimulatedObservatory::SimulatedObservatory(const std::string& folder, Clock& clock, FileSystem* files)
    : HostSkeleton(withoutSeparator(folder), simulatedConfig(folder), clock, files) {
  auto devices = std::make_unique<Devices>(config(), clock);
  devices_ = devices.get();
  setBackEnd(std::move(devices));
  clock.setUtcOffsetHours(config().site.utcOffset);
}

SimulatedObservatory::~SimulatedObservatory() = default;

std::string SimulatedObservatory::scriptPath() const {
  return joinPath(joinPath(folder(), kScriptsFolderName), kAcquireScriptName);
}
bool SimulatedObservatory::parked() const { return devices_->parked(); }

OpenedHost openSimulatedObservatory(const std::string& folder, const HostRequest& request) {
  OpenedHost opened;
  if (request.manualStart) {
    auto clock = std::make_unique<ManualClock>(*request.manualStart);
    opened.manualClock = clock.get();
    opened.clock = std::move(clock);
  } else {
    const ObservatoryConfig config = loadObservatoryConfig(folder);
    opened.clock = std::make_unique<RealTimeClock>(clockStartUnixSeconds(config, systemUnixSeconds()), config.clock.speed);
  }
  // It also sets the clock's zone.
  auto observatory = std::make_unique<SimulatedObservatory>(folder, *opened.clock, request.files);
  return openedHost(std::move(opened), std::move(observatory));
}

}  // namespace np
