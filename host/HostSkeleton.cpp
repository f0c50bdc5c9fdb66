#include "host/HostSkeleton.h"

#include <algorithm>
#include <chrono>

#include "base/Errors.h"
#include "base/FileSystem.h"
#include "host/ComputedUtil.h"
#include "host/ConfigPrefs.h"

namespace np {

// ---- the acquisition log and the run ----

void AcquisitionLogFile::append(const std::vector<const AcquisitionEvent*>& events, const char* member) {
  if (events.empty()) return;
  std::lock_guard lock(mutex_);
  try {
    std::unique_ptr<TextWriter> out = files_.OpenTextFileForAppending(path_);
    for (const AcquisitionEvent* e : events) out->WriteLine(formatAcquisitionEvent(*e));
    out->Close();
  } catch (const std::exception&) {
    const std::string prefix = member && *member ? std::string(member) + ": " : std::string();
    throw RunTimeError(prefix + "cannot write '" + path_ + "'");
  }
}

void AcquisitionRun::schedule(AcquisitionEvent e) {
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(e));
}

void AcquisitionRun::write(AcquisitionEvent e, const char* member) {
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(e));
  std::vector<const AcquisitionEvent*> due;
  for (std::size_t i = written_; i < events_.size(); ++i) due.push_back(&events_[i]);
  written_ = events_.size();
  log_->append(due, member);
}

namespace {

AcquisitionEvent endEvent(const AcquisitionOutcome& outcome, double utc) {
  AcquisitionEvent e;
  e.utc = utc;
  e.kind = acqlog::kEnd;
  e.reason = outcome.reason;
  e.detail = outcome.detail;
  return e;
}

bool aborted(const AcquisitionOutcome& outcome) { return std::string_view(outcome.reason) == acqlog::kEndAborted; }

}  // namespace

void AcquisitionRun::finish(const AcquisitionOutcome& outcome, double utc, bool shownAMoment) {
  schedule(endEvent(outcome, utc));
  over(outcome, aborted(outcome) || !shownAMoment ? utc : std::max(utc, activeAt_ + kMinimumActiveSeconds));
}

void AcquisitionRun::finishNow(AcquisitionOutcome outcome, double utc, double now) {
  try {
    write(endEvent(outcome, utc));
  } catch (const std::exception& error) {
    if (outcome.failure.empty()) outcome.failure = error.what();
  }
  over(outcome, aborted(outcome) ? now : std::max(now, activeAt_ + kMinimumActiveSeconds));
}

void AcquisitionRun::over(const AcquisitionOutcome& outcome, double endAt) {
  {
    std::lock_guard lock(mutex_);
    outcome_ = outcome;
    endAt_ = endAt;
    finished_ = true;
  }
  done_.notify_all();
}

void AcquisitionRun::cutAt(double utc, const char* reason) {
  {
    std::lock_guard lock(mutex_);
    events_.erase(std::remove_if(events_.begin() + static_cast<std::ptrdiff_t>(written_), events_.end(),
                                 [&](const AcquisitionEvent& e) { return e.utc > utc || e.kind == acqlog::kEnd; }),
                  events_.end());
  }
  AcquisitionOutcome outcome;
  outcome.reason = reason;
  finish(outcome, utc);
}

void AcquisitionRun::writeDue(double now, const char* member) {
  std::lock_guard lock(mutex_);
  std::vector<const AcquisitionEvent*> due;
  std::size_t next = written_;
  while (next < events_.size() && events_[next].utc <= now) due.push_back(&events_[next++]);
  log_->append(due, member);
  written_ = next;
}

bool AcquisitionRun::active(double now) const {
  std::lock_guard lock(mutex_);
  return activeAt_ <= now && now < endAt_;
}

bool AcquisitionRun::running(double now) const {
  std::lock_guard lock(mutex_);
  return now < endAt_;
}

bool AcquisitionRun::finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

bool AcquisitionRun::waitFinished(double seconds) {
  std::unique_lock lock(mutex_);
  return done_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return finished_; });
}

AcquisitionOutcome AcquisitionRun::outcome() const {
  std::lock_guard lock(mutex_);
  return outcome_;
}

void AcquisitionRun::requestAbort() {
  std::lock_guard lock(mutex_);
  abort_ = true;
}

bool AcquisitionRun::abortRequested() const {
  std::lock_guard lock(mutex_);
  return abort_;
}

// ---- the skeleton ----

struct SkeletonState {
  SkeletonState(std::string folderPath, const ObservatoryConfig& c, Clock& clk, FileSystem* fs)
      : folder(std::move(folderPath)),
        config(c),
        clock(clk),
        ownFiles(fs ? nullptr : std::make_unique<LocalFileSystem>()),
        files(fs ? *fs : *ownFiles),
        log(std::make_shared<AcquisitionLogFile>(files, joinPath(logDir(), acqlog::kFileName))) {}

  std::string folder;
  ObservatoryConfig config;
  Clock& clock;
  std::unique_ptr<FileSystem> ownFiles;
  FileSystem& files;
  std::shared_ptr<AcquisitionLogFile> log;
  std::unique_ptr<ObservatoryBackEnd> backEnd;
  std::string loadedScript;
  int runs = 0;
  std::shared_ptr<AcquisitionRun> run;
  bool settled = true;        // the last run's outcome has been taken
  std::string planError;      // why the last plan could not run as written
  std::string deviceFailure;  // the error that ended the last plan, until the run ends

  std::string planDir() const { return joinPath(folder, kPlansFolderName); }
  std::string logDir() const { return joinPath(folder, kLogsFolderName); }
  double now() const { return clock.unixSeconds(); }

  // Writes the run's events up to now; takes its outcome once it is over.
  void settle(const char* member) {
    if (!run) return;
    const double t = now();
    run->writeDue(t, member);
    if (settled || run->running(t)) return;
    settled = true;
    const AcquisitionOutcome outcome = run->outcome();
    planError = outcome.planError;
    if (deviceFailure.empty()) deviceFailure = outcome.failure;
  }

  bool running(const char* member) {
    settle(member);
    return run && run->running(now());
  }

  void checkHealth(const char* member) {
    backEnd->checkHealth(member);
    if (!deviceFailure.empty()) {
      throw RunTimeError(std::string(member) + ": the last plan ended because a device failed: " + deviceFailure);
    }
  }

  bool scriptActive() {
    settle("ScriptActive");
    if (run && run->active(now())) return true;
    if (run && run->running(now())) return false;  // still in its start delay
    checkHealth("ScriptActive");
    return false;
  }

  void loadScript(const std::string& path) {
    if (path.empty() || !files.FileExists(path)) {
      throw RunTimeError("LoadScript: the script '" + path + "' does not exist");
    }
    loadedScript = path;
  }

  // A run that ends at `t` with an error. A hand-over that could not be used never
  // becomes active; a plan the devices refuse shows as a run of a moment, so that the
  // caller sees it end and asks why.
  void endAtOnce(const std::string& why, bool shown) {
    const double t = now();
    auto ended = std::make_shared<AcquisitionRun>(log, t);
    AcquisitionOutcome outcome;
    outcome.reason = acqlog::kEndError;
    outcome.detail = why;
    if (shown) outcome.planError = why;
    ended->finish(outcome, shown ? backEnd->eventTime() : t, shown);
    run = std::move(ended);
    settled = false;
    settle("RunScript");
  }

  void runScript() {
    if (running("RunScript")) throw RunTimeError("RunScript: a script is already running");
    if (loadedScript.empty()) throw RunTimeError("RunScript: no script is loaded");
    checkHealth("RunScript");
    ++runs;
    planError.clear();
    HandedOverPlan handed =
        readHandedOverPlan(planDir(), config.acquisition.count, config.acquisition.interval, "RunScript");
    if (!handed.error.empty()) return endAtOnce(handed.error, false);
    if (std::string why = backEnd->refusal(handed); !why.empty()) return endAtOnce(why, true);
    run = std::make_shared<AcquisitionRun>(log, now() + backEnd->startDelay());
    settled = false;
    backEnd->startRun(run, std::move(handed));
    settle("RunScript");
  }

  void abortScript(const char* member) {
    if (!running(member)) return;
    backEnd->abortRun(*run, member);
    settle(member);
  }

  void setParked(bool park) {
    const char* member = park ? "Park" : "Unpark";
    settle(member);
    checkHealth(member);
    auto logged = [&] {
      AcquisitionEvent e;
      e.utc = backEnd->eventTime();
      e.kind = park ? acqlog::kPark : acqlog::kUnpark;
      log->append({&e}, member);
    };
    park ? backEnd->park(logged) : backEnd->unpark(logged);
  }
};

namespace {

class Weather : public IWeather {
 public:
  explicit Weather(std::shared_ptr<SkeletonState> s) : s_(std::move(s)) {}
  bool Safe() override {
    s_->settle("Weather.Safe");
    return s_->backEnd->weatherSafe();
  }

 private:
  std::shared_ptr<SkeletonState> s_;
};

class Util : public ComputedUtil {
 public:
  explicit Util(std::shared_ptr<SkeletonState> s)
      : ComputedUtil(s->clock), s_(s), prefs_(s->config, s->planDir(), s->logDir()), weather_(s) {}

  bool ScriptActive() override { return s_->scriptActive(); }
  void LoadScript(const std::string& path) override { s_->loadScript(path); }
  void RunScript() override { s_->runScript(); }
  void AbortScript() override { s_->abortScript("AbortScript"); }
  IPrefs& Prefs() override { return prefs_; }
  bool WeatherConnected() override { return s_->backEnd->weatherConnected(); }
  IWeather& Weather() override { return weather_; }
  std::string LastPlanError() override { return s_->planError; }

 protected:
  double siteLatitude() override { return s_->backEnd->siteLatitude(); }
  double siteLongitude() override { return s_->backEnd->siteLongitude(); }

 private:
  std::shared_ptr<SkeletonState> s_;
  ConfigPrefs prefs_;
  np::Weather weather_;
};

class Telescope : public ITelescope {
 public:
  explicit Telescope(std::shared_ptr<SkeletonState> s) : s_(std::move(s)) {}
  int AlignmentMode() override { return s_->config.mount.alignmentMode; }
  double SiteLatitude() override { return s_->backEnd->siteLatitude(); }
  double SiteLongitude() override { return s_->backEnd->siteLongitude(); }
  bool CanPark() override { return s_->backEnd->canPark(); }
  bool CanUnpark() override { return s_->backEnd->canUnpark(); }
  void Park() override { s_->setParked(true); }
  void Unpark() override { s_->setParked(false); }

 private:
  std::shared_ptr<SkeletonState> s_;
};

class Application : public IApplication {
 public:
  explicit Application(std::shared_ptr<SkeletonState> s) : s_(std::move(s)) {}
  std::string Path() override { return s_->folder; }

 private:
  std::shared_ptr<SkeletonState> s_;
};

}  // namespace

HostSkeleton::HostSkeleton(const std::string& folder, const ObservatoryConfig& config, Clock& clock,
                           FileSystem* files)
    : state_(std::make_shared<SkeletonState>(folder, config, clock, files)) {}

HostSkeleton::~HostSkeleton() = default;

void HostSkeleton::setBackEnd(std::unique_ptr<ObservatoryBackEnd> backEnd) { state_->backEnd = std::move(backEnd); }
std::shared_ptr<AcquisitionLogFile> HostSkeleton::acquisitionLog() const { return state_->log; }

void HostSkeleton::abortQuietly() {
  try {
    state_->abortScript("closing");
  } catch (...) {
  }
}

std::unique_ptr<IUtil> HostSkeleton::createUtil() { return std::make_unique<Util>(state_); }
std::unique_ptr<ITelescope> HostSkeleton::createTelescope() { return std::make_unique<Telescope>(state_); }
std::unique_ptr<IApplication> HostSkeleton::createApplication() { return std::make_unique<Application>(state_); }
SecuringOutcome HostSkeleton::secureObservatory(const std::string& why) {
  return state_->backEnd->secure(why, [this] { state_->abortScript("Securing the observatory"); });
}

const ObservatoryConfig& HostSkeleton::config() const { return state_->config; }
const std::string& HostSkeleton::folder() const { return state_->folder; }
std::string HostSkeleton::planDir() const { return state_->planDir(); }
std::string HostSkeleton::logDir() const { return state_->logDir(); }
std::string HostSkeleton::acquisitionLogPath() const { return state_->log->path(); }
std::string HostSkeleton::loadedScript() const { return state_->loadedScript; }
int HostSkeleton::runCount() const { return state_->runs; }
bool HostSkeleton::scriptActive() { return state_->scriptActive(); }
bool HostSkeleton::scriptRunning() { return state_->running("ScriptActive"); }
void HostSkeleton::update() { state_->settle("update"); }

OpenedHost openedHost(OpenedHost opened, std::unique_ptr<HostSkeleton> host) {
  opened.skeleton = host.get();
  opened.hostFolder = host->folder();
  opened.host = std::move(host);
  return opened;
}

}  // namespace np
