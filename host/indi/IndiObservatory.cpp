#include "host/indi/IndiObservatory.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Errors.h"
#include "base/FileSystem.h"
#include "host/AcquisitionLog.h"
#include "host/AcquisitionPlan.h"
#include "host/UtcTime.h"
#include "host/indi/IndiAcquisition.h"
#include "host/indi/IndiLink.h"
#include "host/indi/IndiSettings.h"
#include "host/indi/LibraryOutput.h"

namespace np {
namespace indi {

// A weather station that has sent nothing for this long is taken as unsafe.
inline constexpr double kWeatherSilenceSeconds = 300.0;
// How long AbortScript and the closing window wait for an acquisition to end.
inline constexpr double kAbortWaitSeconds = 60.0;
// How often the weather watch looks while no plan runs, and how long it leaves a securing
// that failed before it tries again.
inline constexpr auto kWeatherWatchPeriod = std::chrono::seconds(5);
inline constexpr auto kWeatherRetry = std::chrono::seconds(60);

class IndiBackEnd : public ObservatoryBackEnd {
 public:
  IndiBackEnd(std::string folderPath, const ObservatoryConfig& c, Clock& clk, FileSystem& fs, const Bounds& b,
              IndiObservatory::RunLogAppender appender, std::shared_ptr<AcquisitionLogFile> log)
      : folder(std::move(folderPath)),
        config(c),
        settings(indiSettings(c)),
        clock(clk),
        files(fs),
        bounds(b),
        appendToRunLog(std::move(appender)),
        acquisitionLog(std::move(log)) {}
  ~IndiBackEnd() override {
    stopWeatherWatch();
    endThread();
  }

  // ---- the back end's steps ----

  double siteLatitude() override { return latitude; }
  double siteLongitude() override { return longitude; }
  bool canPark() override { return Devices(link, bounds).has(settings.mount, "TELESCOPE_PARK"); }
  bool canUnpark() override { return canPark(); }
  void park(const std::function<void()>& parked) override {
    std::lock_guard motion(motionMutex);
    Devices devices(link, bounds);
    devices.parkMount(settings.mount);
    parked();
    if (!settings.dome.empty()) devices.closeDome(settings.dome);
  }
  void unpark(const std::function<void()>& unparked) override {
    std::lock_guard motion(motionMutex);
    // Dusk in the rain: the observatory stays closed; a plan opens it once it is safe.
    if (!weatherSafe()) {
      say("The weather is unsafe: the mount stays parked and the dome closed", false);
      return;
    }
    Devices devices(link, bounds);
    // The roof opens before the telescope moves, so that it never moves over an unparked one.
    if (!settings.dome.empty()) devices.openDome(settings.dome);
    devices.unparkMount(settings.mount);
    unparked();
  }
  double eventTime() override { return std::round(clock.unixSeconds()); }
  SecuringOutcome secure(const std::string& why, const std::function<void()>& endRun) override {
    SecuringOutcome outcome;
    outcome.kept = true;
    if (leftAsTheyAre("The run ended (" + why + ")")) {
      outcome.text = "safety.on_stop = leave: the devices are left as they are";
      return outcome;
    }
    say("Securing the observatory: " + why, true);
    try {
      endRun();
    } catch (const std::exception& e) {
      say(std::string("The acquisition did not end: ") + e.what(), true);
      outcome.text = std::string("The acquisition did not end: ") + e.what() + "\n";
    }
    outcome.secured = secureDevices(true, &outcome.text);
    while (!outcome.text.empty() && outcome.text.back() == '\n') outcome.text.pop_back();
    return outcome;
  }

  std::string folder;
  ObservatoryConfig config;
  IndiSettings settings;
  Clock& clock;
  FileSystem& files;
  Bounds bounds;
  IndiObservatory::RunLogAppender appendToRunLog;
  std::shared_ptr<AcquisitionLogFile> acquisitionLog;
  Link link;
  double latitude = 0, longitude = 0;
  // The run under way and its thread. Set on the program's thread; the weather watch only
  // looks at it, under runMutex.
  std::shared_ptr<AcquisitionRun> run;
  std::thread runThread;
  std::mutex runMutex;
  // One securing, park or unpark at a time: the program's thread and the weather watch.
  std::mutex motionMutex;
  std::mutex sayMutex;
  std::thread weatherWatch;
  std::mutex watchMutex;
  std::condition_variable watchWake;
  bool watchStop = false;
  SteadyTime nextWeatherTry{};

  std::string imagesFolder() const {
    const std::string& images = settings.images;
    return std::filesystem::path(images).is_absolute() ? images : joinPath(folder, images);
  }

  std::vector<std::string> namedDevices() const {
    std::vector<std::string> names;
    for (const std::string* name : {&settings.mount, &settings.camera, &settings.filterWheel,
                                    &settings.focuser, &settings.dome, &settings.weather}) {
      if (!name->empty()) names.push_back(*name);
    }
    return names;
  }

  // A safety outcome: to standard error and, when asked and possible, to the run log.
  void say(const std::string& text, bool toRunLog) {
    {
      std::lock_guard lock(sayMutex);
      std::cerr << "safety: " << text << std::endl;
    }
    if (!toRunLog || !appendToRunLog) return;
    try {
      appendToRunLog(formatGeneralDate(clock.nowLocal()) + " " + text);
    } catch (const std::exception& e) {
      std::lock_guard lock(sayMutex);
      std::cerr << "safety: the run log could not take this: " << e.what() << std::endl;
    }
  }

  // The run under way, if any.
  std::shared_ptr<AcquisitionRun> currentRun() {
    std::lock_guard lock(runMutex);
    return run;
  }

  // Waits for the last run's thread, which has ended or been asked to.
  void endThread() {
    if (runThread.joinable()) runThread.join();
  }

  void logNow(const char* kind) {
    AcquisitionEvent e;
    e.utc = std::round(clock.unixSeconds());
    e.kind = kind;
    acquisitionLog->append({&e}, "");
  }

  // The server and every named device are there; a plan that ended in a device's
  // failure ends the run too.
  void checkHealth(const char* member) override {
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
  }

  // The images folder takes a file: a folder that cannot be made or written, or a full
  // disk, shows before a plan takes a count from the list, not at its first image.
  void checkImagesFolder(const char* member) {
    const std::string folder = imagesFolder();
    if (const std::string problem = folderBlockWriteProblem(files, folder); !problem.empty())
      throw RunTimeError(std::string(member) + ": the images folder '" + folder + "' cannot take an image: " + problem);
  }

  bool weatherConnected() override {
    if (settings.weather.empty()) return false;
    Devices devices(link, bounds);
    return link.inbox().hasDevice(settings.weather) && devices.connected(settings.weather);
  }

  // Fail-safe: Alert, a lost or disconnected station, or one that has been silent too
  // long is unsafe. Ok and Busy (the warning zone) are safe.
  bool weatherSafe() override {
    if (settings.weather.empty()) return true;
    if (link.inbox().lost() || !weatherConnected()) return false;
    std::optional<PropertySnapshot> status = link.inbox().property(settings.weather, "WEATHER_STATUS");
    if (!status || status->state == PropertyState::Alert) return false;
    SteadyTime last = status->updatedAt;
    if (std::optional<PropertySnapshot> p = link.inbox().property(settings.weather, "WEATHER_PARAMETERS"))
      last = std::max(last, p->updatedAt);
    const double silent = std::chrono::duration<double>(std::chrono::steady_clock::now() - last).count();
    return silent <= kWeatherSilenceSeconds;
  }

  // A filter with no wheel to turn, or one the wheel does not have, is an error of the
  // plan, found before anything moves.
  std::string refusal(const HandedOverPlan& handed) override {
    Devices devices(link, bounds);
    for (const PlanStep& step : handed.plan.steps) {
      for (const FilterGroup& group : step.groups) {
        if (group.filter.empty()) continue;
        const std::string where = "plan '" + handed.planPath + "' line " + std::to_string(step.line) + ": ";
        if (settings.filterWheel.empty()) {
          return where + "the plan asks for the filter '" + group.filter +
                 "' but observatory.ini names no indi.filter_wheel";
        }
        if (devices.filterSlot(settings.filterWheel, group.filter) == 0) {
          return where + settings.filterWheel + " has no filter named '" + group.filter + "'";
        }
      }
    }
    return {};
  }

  void startRun(const std::shared_ptr<AcquisitionRun>& started, HandedOverPlan handed) override {
    AcquisitionSetup setup;
    setup.link = &link;
    setup.bounds = bounds;
    setup.clock = &clock;
    setup.files = &files;
    setup.server = link.server();
    setup.mount = settings.mount;
    setup.camera = settings.camera;
    setup.filterWheel = settings.filterWheel;
    setup.focuser = settings.focuser;
    setup.dome = settings.dome;
    setup.imagesFolder = imagesFolder();
    setup.site = {latitude, longitude, config.limits.minimumElevation, config.limits.horizon, config.mount.meridianFlip};
    setup.autofocusCommand = config.acquisition.autofocusCommand;
    setup.autofocusTimeout = config.acquisition.autofocusTimeout;
    setup.weatherSafe = [this] { return weatherSafe(); };
    // Not while the weather watch is securing the observatory.
    std::lock_guard motion(motionMutex);
    endThread();
    {
      std::lock_guard lock(runMutex);
      run = started;
    }
    runThread = startAcquisition(std::move(setup), started, std::move(handed));
  }

  void abortRun(AcquisitionRun& aborted, const char* member) override {
    aborted.requestAbort();
    link.inbox().wake();
    if (!aborted.waitFinished(kAbortWaitSeconds)) {
      throw RunTimeError(std::string(member) + ": the acquisition did not end within " +
                         std::to_string(static_cast<int>(kAbortWaitSeconds)) + " s of its abort");
    }
    endThread();
  }

  // ---- keeping the observatory safe ----

  bool deviceThere(const std::string& name) {
    return link.inbox().hasDevice(name) && Devices(link, bounds).connected(name);
  }

  // The mount reports itself parked, and no park under way.
  bool mountAtPark() {
    std::optional<PropertySnapshot> park = link.inbox().property(settings.mount, "TELESCOPE_PARK");
    return park && park->switchOn("PARK") && park->state == PropertyState::Ok;
  }

  // The mount is unparked or the dome open, as far as the devices say.
  bool observatoryOpen() {
    Devices devices(link, bounds);
    const std::string& mount = settings.mount;
    if (deviceThere(mount) && devices.has(mount, "TELESCOPE_PARK") && !mountAtPark()) return true;
    const std::string& dome = settings.dome;
    return !dome.empty() && deviceThere(dome) && !devices.domeClosed(dome);
  }

  // With safety.on_stop = leave, says so and leaves the devices as they are.
  bool leftAsTheyAre(const std::string& what) {
    if (settings.secureOnStop) return false;
    say(what + "; safety.on_stop = leave: the devices are left as they are", true);
    return true;
  }

  // Aborts the exposure under way, parks the mount, then closes the dome, each within its
  // bound, saying each outcome. The dome closes even when the mount could not be parked:
  // rain on a telescope is the greater harm, and a roof's own driver guards the telescope
  // it would strike.
  // True when all of it is safe; each step's text is also added to `notes`, when given.
  bool secureDevices(bool toRunLog, std::string* notes = nullptr) {
    std::lock_guard motion(motionMutex);
    bool safe = true;
    auto tell = [&](const std::string& text) {
      say(text, toRunLog);
      if (notes) *notes += text + "\n";
      if (text.starts_with("The observatory may be open")) safe = false;
    };
    if (std::optional<std::string> lost = link.inbox().lost()) {
      tell("The observatory may be open: the INDI server at " + link.server() + " is lost (" + *lost +
           "), so nothing could be parked or closed through it");
      return safe;
    }
    Devices devices(link, bounds);
    const std::string& camera = settings.camera;
    if (deviceThere(camera) && devices.exposing(camera)) {
      devices.abortExposure(camera);
      tell("Exposure aborted: " + camera);
    }
    const std::string& mount = settings.mount;
    if (!deviceThere(mount)) {
      tell("The observatory may be open: the mount " + mount + " is not connected, so it could not be parked");
    } else if (!devices.has(mount, "TELESCOPE_PARK")) {
      tell("The mount " + mount + " cannot park (it has no TELESCOPE_PARK): it is left as it is");
    } else {
      const bool already = mountAtPark();
      bool parked = false;
      try {
        devices.parkMount(mount);
        parked = true;
      } catch (const std::exception& e) {
        tell("The observatory may be open: the mount " + mount + " could not be parked: " + e.what());
      }
      if (parked) {
        tell((already ? "Mount already parked: " : "Mount parked: ") + mount);
        try {
          if (!already) logNow(acqlog::kPark);
        } catch (const std::exception& e) {
          tell(std::string("The park could not be logged: ") + e.what());
        }
      }
    }
    const std::string& dome = settings.dome;
    if (dome.empty()) return safe;
    if (!deviceThere(dome)) {
      tell("The observatory may be open: the dome " + dome + " is not connected, so it could not be closed");
      return safe;
    }
    const bool already = devices.domeClosed(dome);
    try {
      devices.closeDome(dome);
      tell((already ? "Dome already closed: " : "Dome closed: ") + dome);
    } catch (const std::exception& e) {
      tell("The observatory may be open: the dome " + dome + " could not be closed: " + e.what());
    }
    return safe;
  }

  // A start that cannot run: what can be reached of the mount, the dome and the weather
  // station is connected, and the observatory secured, before the start fails.
  void secureAfterFailedStart(const std::string& why) {
    if (leftAsTheyAre("The start failed (" + why + ")")) return;
    say("Securing the observatory: the start failed: " + why, true);
    if (!link.inbox().reached()) {
      say("The observatory may be open: the INDI server at " + settings.server +
              " could not be reached, so nothing could be parked or closed through it",
          true);
      return;
    }
    Devices devices(link, bounds);
    for (const std::string* name : {&settings.mount, &settings.dome, &settings.weather}) {
      // A device the start waited for in vain is not waited for again.
      if (name->empty() || !link.inbox().hasDevice(*name) || devices.connected(*name)) continue;
      try {
        devices.connectDevice(*name);
      } catch (const std::exception&) {
        // Said below, as the device that could not be parked or closed.
      }
    }
    secureDevices(true);
  }

  // While no plan runs, unsafe weather secures the observatory; it stays secured (a
  // plan opens it again only once the weather is safe).
  void watchWeatherOnce() {
    try {
      if (weatherSafe()) return;
      if (std::shared_ptr<AcquisitionRun> r = currentRun(); r && !r->finished()) return;  // it ends itself
      if (link.inbox().lost() || !observatoryOpen()) return;
      const SteadyTime now = std::chrono::steady_clock::now();
      if (now < nextWeatherTry) return;
      nextWeatherTry = now + kWeatherRetry;
      say("The weather is unsafe: securing the observatory", false);
      secureDevices(false);
    } catch (const std::exception& e) {
      say(std::string("The weather watch failed: ") + e.what(), false);
    }
  }

  void startWeatherWatch() {
    if (settings.weather.empty()) return;
    weatherWatch = std::thread([this] {
      std::unique_lock lock(watchMutex);
      while (!watchStop) {
        watchWake.wait_for(lock, kWeatherWatchPeriod, [this] { return watchStop; });
        if (watchStop) break;
        lock.unlock();
        watchWeatherOnce();
        lock.lock();
      }
    });
  }

  void stopWeatherWatch() {
    {
      std::lock_guard lock(watchMutex);
      watchStop = true;
    }
    watchWake.notify_all();
    if (weatherWatch.joinable()) weatherWatch.join();
  }

  // Connects to the server and every named device and readies them.
  void connectAll() {
    link.connect(settings.server, bounds.connect);
    Devices devices(link, bounds);
    for (const std::string& name : namedDevices()) devices.connectDevice(name);
    // A station reports its state a moment after it connects; until then it counts as unsafe.
    if (!settings.weather.empty()) devices.awaitProperty(settings.weather, "WEATHER_STATUS", bounds.connect);
    link.receiveImagesOf(settings.camera);
    if (devices.has(settings.camera, "ACTIVE_DEVICES"))
      devices.pointCameraAt(settings.camera, settings.mount, settings.filterWheel, settings.focuser);
    // Images come to the program, not to the camera computer's disk.
    if (devices.has(settings.camera, "UPLOAD_MODE")) {
      std::optional<PropertySnapshot> upload = link.inbox().property(settings.camera, "UPLOAD_MODE");
      if (upload && !upload->switchOn("UPLOAD_CLIENT")) link.sendSwitch(settings.camera, "UPLOAD_MODE", "UPLOAD_CLIENT");
    }
    if (config.site.latitudeGiven && config.site.longitudeGiven) {
      latitude = config.site.latitude;
      longitude = config.site.longitude;
      devices.setSite(settings.mount, latitude, longitude);
    } else {
      double lat = 0, lon = 0;
      if (!devices.readSite(settings.mount, lat, lon)) {
        throw RunTimeError(settings.mount + " gives no site (GEOGRAPHIC_COORD): set site.latitude and "
                           "site.longitude in observatory.ini");
      }
      latitude = config.site.latitudeGiven ? config.site.latitude : lat;
      longitude = config.site.longitudeGiven ? config.site.longitude : lon;
      if (config.site.latitudeGiven || config.site.longitudeGiven) devices.setSite(settings.mount, latitude, longitude);
    }
  }
};

}  // namespace indi

IndiObservatory::IndiObservatory(const std::string& folder, const ObservatoryConfig& config, Clock& clock,
                                 FileSystem& files, const indi::Bounds& bounds, RunLogAppender appendToRunLog)
    : HostSkeleton(withoutSeparator(folder), config, clock, &files) {
  indi::Bounds b = bounds;
  b.connect = indi::indiSettings(config).connectTimeout;
  auto backEnd = std::make_unique<indi::IndiBackEnd>(this->folder(), config, clock, files, b, std::move(appendToRunLog),
                                                     acquisitionLog());
  backEnd_ = backEnd.get();
  setBackEnd(std::move(backEnd));
  indi::IndiBackEnd& s = *backEnd_;
  try {
    s.connectAll();
  } catch (const std::exception& e) {
    s.secureAfterFailedStart(e.what());
    s.link.disconnect();
    throw;
  }
  s.say("Connected to the INDI server at " + s.link.server() + "; " + indi::kSlewCoordinates, true);
  s.startWeatherWatch();
}

IndiObservatory::~IndiObservatory() {
  backEnd_->stopWeatherWatch();
  abortQuietly();
  backEnd_->endThread();
  backEnd_->link.disconnect();
}

std::string IndiObservatory::imagesFolder() const { return backEnd_->imagesFolder(); }
double IndiObservatory::siteLatitude() const { return backEnd_->latitude; }
double IndiObservatory::siteLongitude() const { return backEnd_->longitude; }

OpenedHost openIndiObservatory(const std::string& folder, const HostRequest& request) {
  const std::string hostFolder = withoutSeparator(folder);
  if (request.manualStart) {
    throw RunTimeError("SimulatedObservatory: '" + joinPath(hostFolder, kObservatoryIniName) +
                       "' is for an INDI observatory ([host] kind = indi), not the simulated one");
  }
  indi::registerIndiConfig();
  const ObservatoryConfig config = loadObservatoryConfig(hostFolder);
  OpenedHost opened;
  // A real observatory runs on the computer's clock, in the computer's own zone.
  opened.clock = std::make_unique<SystemClock>();
  // The client library's chatter goes beside the run log, not among the status lines.
  indi::divertLibraryOutput(joinPath(joinPath(hostFolder, kLogsFolderName), indi::kLibraryLogName));
  if (!request.files) throw RunTimeError("the INDI observatory needs the program's file system");
  auto observatory = std::make_unique<IndiObservatory>(hostFolder, config, *opened.clock, *request.files,
                                                       indi::Bounds{}, request.appendToRunLog);
  return openedHost(std::move(opened), std::move(observatory));
}

}  // namespace np
