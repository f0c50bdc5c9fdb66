#include "host/indi/IndiObservatory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "base/Errors.h"
#include "base/FileSystem.h"
#include "host/AcquisitionLog.h"
#include "host/AcquisitionPlan.h"
#include "host/ComputedUtil.h"
#include "host/ConfigPrefs.h"
#include "host/UtcTime.h"
#include "host/indi/IndiAcquisition.h"
#include "host/indi/IndiLink.h"

namespace np {
namespace indi {

// A weather station that has sent nothing for this long is taken as unsafe.
inline constexpr double kWeatherSilenceSeconds = 300.0;
// How long AbortScript and the closing window wait for an acquisition to end.
inline constexpr double kAbortWaitSeconds = 60.0;

struct IndiState {
  IndiState(std::string folderPath, const ObservatoryConfig& c, Clock& clk, const Bounds& b)
      : folder(std::move(folderPath)), config(c), clock(clk), bounds(b) {}

  std::string folder;
  ObservatoryConfig config;
  Clock& clock;
  Bounds bounds;
  Link link;
  double latitude = 0, longitude = 0;
  std::string loadedScript;
  std::unique_ptr<Acquisition> acquisition;
  SteadyTime acquisitionStart{};
  std::string deviceFailure;  // the error that ended the last plan, until the run ends
  std::mutex logMutex;

  std::string planDir() const { return joinPath(folder, kPlansFolderName); }
  std::string logDir() const { return joinPath(folder, kLogsFolderName); }
  std::string logPath() const { return joinPath(logDir(), acqlog::kFileName); }
  std::string imagesFolder() const {
    const std::string& images = config.indi.images;
    return std::filesystem::path(images).is_absolute() ? images : joinPath(folder, images);
  }

  std::vector<std::string> namedDevices() const {
    std::vector<std::string> names;
    for (const std::string* name : {&config.indi.mount, &config.indi.camera, &config.indi.filterWheel,
                                    &config.indi.focuser, &config.indi.dome, &config.indi.weather}) {
      if (!name->empty()) names.push_back(*name);
    }
    return names;
  }

  void appendToLog(const AcquisitionEvent& e) {
    std::lock_guard lock(logMutex);
    std::ofstream out(logPath(), std::ios::binary | std::ios::app);
    out << formatAcquisitionEvent(e) << "\r\n";
    out.close();
    if (!out) throw RunTimeError("cannot write '" + logPath() + "'");
  }

  void logNow(const char* kind) {
    AcquisitionEvent e;
    e.utc = std::round(clock.unixSeconds());
    e.kind = kind;
    appendToLog(e);
  }

  // The server and every named device are there; a plan that ended in a device's
  // failure ends the run too.
  void checkHealth(const char* member) {
    if (std::optional<std::string> lost = link.inbox().lost()) {
      throw RunTimeError(std::string(member) + ": lost the INDI server at " + link.server() + ": " + *lost);
    }
    Devices devices(link, bounds);
    for (const std::string& name : namedDevices()) {
      if (!link.inbox().hasDevice(name) || !devices.connected(name)) {
        throw RunTimeError(std::string(member) + ": the INDI device '" + name + "' is not connected" +
                           devices.lastReport(name, "CONNECTION"));
      }
    }
    checkImagesFolder(member);
    if (!deviceFailure.empty()) {
      throw RunTimeError(std::string(member) + ": the last plan ended because a device failed: " + deviceFailure);
    }
  }

  // The images folder takes a file: a folder that cannot be made or written, or a full
  // disk, shows before a plan takes a count from the list, not at its first image.
  void checkImagesFolder(const char* member) {
    const std::string folder = imagesFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string probe = joinPath(folder, ".nightpick-write-check");
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = fd < 0 ? errno : 0;
    if (fd >= 0) {
      const std::vector<char> block(4096, 0);
      if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()) || ::fsync(fd) != 0)
        err = errno ? errno : ENOSPC;
      ::close(fd);
      ::unlink(probe.c_str());
    }
    if (err != 0) {
      throw RunTimeError(std::string(member) + ": the images folder '" + folder + "' cannot take an image: " +
                         std::strerror(err));
    }
  }

  // Ends the acquisition when it has finished; true while it runs.
  bool acquisitionRunning() {
    if (!acquisition) return false;
    if (!acquisition->finished()) return true;
    // A run shows as running for a second at least, so that a caller polling once a
    // second sees every run that started (a plan past its quit time ends at once).
    if (std::chrono::steady_clock::now() - acquisitionStart < std::chrono::seconds(1)) return true;
    acquisition->waitFinished(kAbortWaitSeconds);
    if (deviceFailure.empty()) deviceFailure = acquisition->failure();
    acquisition.reset();
    return false;
  }

  bool weatherConnected() {
    if (config.indi.weather.empty()) return false;
    Devices devices(link, bounds);
    return link.inbox().hasDevice(config.indi.weather) && devices.connected(config.indi.weather);
  }

  // Fail-safe: Alert, a lost or disconnected station, or one that has been silent too
  // long is unsafe. Ok and Busy (the warning zone) are safe.
  bool weatherSafe() {
    if (config.indi.weather.empty()) return true;
    if (link.inbox().lost() || !weatherConnected()) return false;
    std::optional<PropertySnapshot> status = link.inbox().property(config.indi.weather, "WEATHER_STATUS");
    if (!status || status->state == PropertyState::Alert) return false;
    SteadyTime last = status->updatedAt;
    if (std::optional<PropertySnapshot> p = link.inbox().property(config.indi.weather, "WEATHER_PARAMETERS"))
      last = std::max(last, p->updatedAt);
    const double silent = std::chrono::duration<double>(std::chrono::steady_clock::now() - last).count();
    return silent <= kWeatherSilenceSeconds;
  }

  void failRun(const std::string& why) {
    AcquisitionEvent e;
    e.utc = std::round(clock.unixSeconds());
    e.kind = acqlog::kEnd;
    e.reason = acqlog::kEndError;
    e.detail = why;
    appendToLog(e);
  }

  void runScript() {
    if (acquisitionRunning()) throw RunTimeError("RunScript: a script is already running");
    if (loadedScript.empty()) throw RunTimeError("RunScript: no script is loaded");
    checkHealth("RunScript");
    HandedOverPlan handed =
        readHandedOverPlan(planDir(), config.acquisition.count, config.acquisition.interval, "RunScript");
    if (!handed.error.empty()) return failRun(handed.error);
    // A filter with no wheel to turn is an error of the plan, found before it starts.
    for (const PlanStep& step : handed.plan.steps) {
      for (const FilterGroup& group : step.groups) {
        if (!group.filter.empty() && config.indi.filterWheel.empty()) {
          return failRun("plan '" + handed.planPath + "' line " + std::to_string(step.line) +
                         ": the plan asks for the filter '" + group.filter +
                         "' but observatory.ini names no indi.filter_wheel");
        }
      }
    }

    AcquisitionSetup setup;
    setup.link = &link;
    setup.bounds = bounds;
    setup.clock = &clock;
    setup.server = link.server();
    setup.mount = config.indi.mount;
    setup.camera = config.indi.camera;
    setup.filterWheel = config.indi.filterWheel;
    setup.focuser = config.indi.focuser;
    setup.dome = config.indi.dome;
    setup.imagesFolder = imagesFolder();
    setup.latitude = latitude;
    setup.longitude = longitude;
    setup.minimumElevation = config.limits.minimumElevation;
    setup.horizon = config.limits.horizon;
    setup.autofocusCommand = config.acquisition.autofocusCommand;
    setup.autofocusTimeout = config.acquisition.autofocusTimeout;
    setup.weatherSafe = [this] { return weatherSafe(); };
    setup.log = [this](AcquisitionEvent e) { appendToLog(e); };
    acquisition = std::make_unique<Acquisition>(std::move(setup), std::move(handed.plan), handed.planPath);
    acquisitionStart = std::chrono::steady_clock::now();
    acquisition->start();
  }

  void abortScript(const char* member) {
    if (!acquisition) return;
    acquisition->abort();
    if (!acquisition->waitFinished(kAbortWaitSeconds)) {
      throw RunTimeError(std::string(member) + ": the acquisition did not end within " +
                         std::to_string(static_cast<int>(kAbortWaitSeconds)) + " s of its abort");
    }
    acquisitionRunning();
  }

  void park() {
    checkHealth("Park");
    Devices devices(link, bounds);
    devices.parkMount(config.indi.mount);
    logNow(acqlog::kPark);
    if (!config.indi.dome.empty()) devices.closeDome(config.indi.dome);
  }

  void unpark() {
    checkHealth("Unpark");
    Devices devices(link, bounds);
    // The roof opens before the telescope moves, so that it never moves over an unparked one.
    if (!config.indi.dome.empty()) devices.openDome(config.indi.dome);
    devices.unparkMount(config.indi.mount);
    logNow(acqlog::kUnpark);
  }
};

namespace {

class Weather : public IWeather {
 public:
  explicit Weather(std::shared_ptr<IndiState> s) : s_(std::move(s)) {}
  bool Safe() override { return s_->weatherSafe(); }

 private:
  std::shared_ptr<IndiState> s_;
};

class Util : public ComputedUtil {
 public:
  explicit Util(std::shared_ptr<IndiState> s)
      : ComputedUtil(s->clock), s_(s), prefs_(s->config, s->planDir(), s->logDir()), weather_(s) {}

  bool ScriptActive() override {
    if (s_->acquisitionRunning()) return true;
    s_->checkHealth("ScriptActive");
    return false;
  }
  void LoadScript(const std::string& path) override {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
      throw RunTimeError("LoadScript: the script '" + path + "' does not exist");
    }
    s_->loadedScript = path;
  }
  void RunScript() override { s_->runScript(); }
  void AbortScript() override { s_->abortScript("AbortScript"); }
  IPrefs& Prefs() override { return prefs_; }
  bool WeatherConnected() override { return s_->weatherConnected(); }
  IWeather& Weather() override { return weather_; }

 protected:
  double siteLatitude() override { return s_->latitude; }
  double siteLongitude() override { return s_->longitude; }

 private:
  std::shared_ptr<IndiState> s_;
  ConfigPrefs prefs_;
  indi::Weather weather_;
};

class Telescope : public ITelescope {
 public:
  explicit Telescope(std::shared_ptr<IndiState> s) : s_(std::move(s)) {}
  int AlignmentMode() override { return s_->config.mount.alignmentMode; }
  double SiteLatitude() override { return s_->latitude; }
  double SiteLongitude() override { return s_->longitude; }
  bool CanPark() override { return Devices(s_->link, s_->bounds).has(s_->config.indi.mount, "TELESCOPE_PARK"); }
  bool CanUnpark() override { return CanPark(); }
  void Park() override { s_->park(); }
  void Unpark() override { s_->unpark(); }

 private:
  std::shared_ptr<IndiState> s_;
};

class Application : public IApplication {
 public:
  explicit Application(std::shared_ptr<IndiState> s) : s_(std::move(s)) {}
  std::string Path() override { return s_->folder; }

 private:
  std::shared_ptr<IndiState> s_;
};

}  // namespace
}  // namespace indi

IndiObservatory::IndiObservatory(const std::string& folder, const ObservatoryConfig& config, Clock& clock,
                                 const indi::Bounds& bounds) {
  indi::Bounds b = bounds;
  b.connect = config.indi.connectTimeout;
  state_ = std::make_shared<indi::IndiState>(withoutSeparator(folder), config, clock, b);
  indi::IndiState& s = *state_;
  s.link.connect(config.indi.server, b.connect);
  indi::Devices devices(s.link, b);
  for (const std::string& name : s.namedDevices()) devices.connectDevice(name);
  // A station reports its state a moment after it connects; until then it counts as unsafe.
  if (!config.indi.weather.empty()) devices.awaitProperty(config.indi.weather, "WEATHER_STATUS", b.connect);
  s.link.receiveImagesOf(config.indi.camera);
  if (devices.has(config.indi.camera, "ACTIVE_DEVICES"))
    devices.pointCameraAt(config.indi.camera, config.indi.mount, config.indi.filterWheel, config.indi.focuser);
  // Images come to the program, not to the camera computer's disk.
  if (devices.has(config.indi.camera, "UPLOAD_MODE")) {
    std::optional<indi::PropertySnapshot> upload = s.link.inbox().property(config.indi.camera, "UPLOAD_MODE");
    if (upload && !upload->switchOn("UPLOAD_CLIENT")) s.link.sendSwitch(config.indi.camera, "UPLOAD_MODE", "UPLOAD_CLIENT");
  }
  if (config.site.latitudeGiven && config.site.longitudeGiven) {
    s.latitude = config.site.latitude;
    s.longitude = config.site.longitude;
    devices.setSite(config.indi.mount, s.latitude, s.longitude);
  } else {
    double lat = 0, lon = 0;
    if (!devices.readSite(config.indi.mount, lat, lon)) {
      throw RunTimeError(config.indi.mount + " gives no site (GEOGRAPHIC_COORD): set site.latitude and "
                         "site.longitude in observatory.ini");
    }
    s.latitude = config.site.latitudeGiven ? config.site.latitude : lat;
    s.longitude = config.site.longitudeGiven ? config.site.longitude : lon;
    if (config.site.latitudeGiven || config.site.longitudeGiven) devices.setSite(config.indi.mount, s.latitude, s.longitude);
  }
}

IndiObservatory::~IndiObservatory() {
  if (state_) {
    try {
      state_->abortScript("closing");
    } catch (...) {
    }
    state_->acquisition.reset();
    state_->link.disconnect();
  }
}

std::unique_ptr<IUtil> IndiObservatory::createUtil() { return std::make_unique<indi::Util>(state_); }
std::unique_ptr<ITelescope> IndiObservatory::createTelescope() { return std::make_unique<indi::Telescope>(state_); }
std::unique_ptr<IApplication> IndiObservatory::createApplication() {
  return std::make_unique<indi::Application>(state_);
}
const std::string& IndiObservatory::folder() const { return state_->folder; }
std::string IndiObservatory::acquisitionLogPath() const { return state_->logPath(); }
std::string IndiObservatory::imagesFolder() const { return state_->imagesFolder(); }
double IndiObservatory::siteLatitude() const { return state_->latitude; }
double IndiObservatory::siteLongitude() const { return state_->longitude; }
void IndiObservatory::abortAcquisition() { state_->abortScript("closing"); }

}  // namespace np
