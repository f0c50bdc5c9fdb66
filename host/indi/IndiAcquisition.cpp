#include "host/indi/IndiAcquisition.h"

#include <chrono>
#include <cmath>

#include "base/DateTime.h"
#include "base/Process.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"

namespace np::indi {

Acquisition::Acquisition(AcquisitionSetup setup, AcquisitionPlan plan, std::string planPath)
    : setup_(std::move(setup)), plan_(std::move(plan)), planPath_(std::move(planPath)) {}

Acquisition::~Acquisition() {
  abort();
  if (thread_.joinable()) thread_.join();
}

void Acquisition::start() { thread_ = std::thread([this] { run(); }); }

void Acquisition::abort() {
  abort_ = true;
  if (setup_.link) setup_.link->inbox().wake();
}

bool Acquisition::waitFinished(double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!finished_) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (thread_.joinable()) thread_.join();
  return true;
}

std::string Acquisition::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

std::string Acquisition::planError() const {
  std::lock_guard lock(mutex_);
  return planError_;
}

void Acquisition::event(const char* kind, const std::function<void(AcquisitionEvent&)>& fill) {
  AcquisitionEvent e;
  e.utc = std::round(setup_.clock->unixSeconds());
  e.kind = kind;
  if (fill) fill(e);
  setup_.log(std::move(e));
}

bool Acquisition::stopCheck() {
  if (abort_) return true;
  if (!setup_.weatherSafe()) {
    unsafe_ = true;
    return true;
  }
  return false;
}

void Acquisition::autofocus(const PlanStep& step) {
  if (setup_.autofocusCommand.empty()) {
    event(acqlog::kIgnored, [](AcquisitionEvent& e) { e.text = "#AUTOFOCUS not done: no acquisition.autofocus_command"; });
    return;
  }
  const std::string filter = step.groups.empty() ? std::string() : step.groups.front().filter;
  const auto began = std::chrono::steady_clock::now();
  std::string why;
  const int status = runCommand({setup_.autofocusCommand, setup_.server, setup_.camera, setup_.focuser, filter},
                                setup_.autofocusTimeout, why);
  const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  if (status == 0) {
    event(acqlog::kAutofocus, [&](AcquisitionEvent& e) { e.seconds = std::round(spent); });
  } else {
    event(acqlog::kIgnored, [&](AcquisitionEvent& e) {
      e.text = "#AUTOFOCUS failed: " + (why.empty() ? "exit status " + std::to_string(status) : why);
    });
  }
}

void Acquisition::takeImages(const PlanStep& step, Devices& devices, bool& focusPending) {
  const double jd = julianDateFromUnix(setup_.clock->unixSeconds());
  const Horizontal at = horizontalAt(step.ra, step.dec, setup_.latitude, setup_.longitude, jd);
  const char* skip = nullptr;
  if (at.elevation < setup_.minimumElevation) {
    skip = acqlog::kSkippedBelowMinimum;
  } else if (at.elevation < horizonElevation(setup_.horizon, at.azimuth)) {
    skip = acqlog::kSkippedBelowHorizon;
  }
  if (skip) {
    event(acqlog::kSkipped, [&](AcquisitionEvent& e) {
      e.text = step.name;
      e.reason = skip;
      e.elevation = at.elevation;
      e.azimuth = at.azimuth;
    });
    return;
  }
  devices.slewTo(setup_.mount, step.ra, step.dec, jd);
  // The images carry the target's name (OBJECT in their FITS header).
  if (devices.has(setup_.camera, "FITS_HEADER"))
    setup_.link->sendText(setup_.camera, "FITS_HEADER", {{"FITS_OBJECT", step.name}});
  for (std::size_t g = 0; g < step.groups.size(); ++g) {
    const FilterGroup& group = step.groups[g];
    if (!group.filter.empty()) devices.selectFilter(setup_.filterWheel, group.filter);
    devices.setBinning(setup_.camera, group.binning);
    if (focusPending) {
      autofocus(step);
      focusPending = false;
    }
    for (int k = 0; k < group.count; ++k) {
      // No exposure starts at or after the quit time; the one under way is finished.
      if (setup_.clock->unixSeconds() >= step.quitAt) {
        quit_ = true;
        return;
      }
      if (stopCheck()) throw Interrupted();
      // What the image's header must say, whatever the camera's driver writes in it.
      const ImageHeader header{.object = step.name,
                               .exposure = group.interval,
                               .start = setup_.clock->unixSeconds(),
                               .filter = group.filter,
                               .binning = group.binning,
                               .raHours = step.ra,
                               .decDegrees = step.dec,
                               .latitude = setup_.latitude,
                               .longitude = setup_.longitude,
                               .telescope = setup_.mount,
                               .instrument = setup_.camera};
      ReceivedImage image = devices.expose(setup_.camera, group.interval);
      const DateTime local = setup_.clock->nowLocal();
      const std::string date = formatGeneralDate(local).substr(0, 10);
      const std::string path =
          writeImageFile(*setup_.files, setup_.imagesFolder, date, step.name, group.filter, image, header);
      const Horizontal now =
          horizontalAt(step.ra, step.dec, setup_.latitude, setup_.longitude, julianDateFromUnix(setup_.clock->unixSeconds()));
      event(acqlog::kExposure, [&](AcquisitionEvent& e) {
        e.text = step.name;
        e.seconds = group.interval;
        e.elevation = now.elevation;
        e.azimuth = now.azimuth;
        e.file = path;
      });
    }
  }
}

void Acquisition::run() {
  const char* reason = acqlog::kEndDone;
  std::string detail;
  try {
    event(acqlog::kStart, [&](AcquisitionEvent& e) { e.text = planPath_; });
    for (const std::string& directive : plan_.ignored)
      event(acqlog::kIgnored, [&](AcquisitionEvent& e) { e.text = directive; });
    Devices devices(*setup_.link, setup_.bounds, [this] { return stopCheck(); });
    try {
      if (stopCheck()) throw Interrupted();
      if (!setup_.dome.empty()) devices.openDome(setup_.dome);
      if (devices.mountParked(setup_.mount)) {
        devices.unparkMount(setup_.mount);
        event(acqlog::kUnpark);
      }
      bool focusPending = false;
      for (const PlanStep& step : plan_.steps) {
        if (setup_.clock->unixSeconds() >= step.quitAt) {
          quit_ = true;
          break;
        }
        line_ = step.line;
        if (step.kind == PlanStep::Kind::Autofocus) {
          focusPending = true;
          continue;
        }
        takeImages(step, devices, focusPending);
        if (quit_) break;
      }
      if (quit_) reason = acqlog::kEndQuit;
    } catch (const Interrupted&) {
      if (unsafe_ && !abort_) {
        reason = acqlog::kEndWeather;
        // Unsafe: the telescope is parked and the roof closed before the run ends. A new
        // helper without the stop check, so that these steps are not cut short in turn.
        Devices closing(*setup_.link, setup_.bounds, [this] { return abort_.load(); });
        if (closing.has(setup_.mount, "TELESCOPE_PARK") && !closing.mountParked(setup_.mount)) {
          closing.parkMount(setup_.mount);
          event(acqlog::kPark);
        }
        if (!setup_.dome.empty()) closing.closeDome(setup_.dome);
      } else {
        reason = acqlog::kEndAborted;
      }
    }
  } catch (const Interrupted&) {
    reason = acqlog::kEndAborted;
  } catch (const PlanError& error) {
    // The devices are sound: the run goes on with other plans.
    reason = acqlog::kEndError;
    detail = "plan '" + planPath_ + "' line " + std::to_string(line_) + ": " + error.what();
    std::lock_guard lock(mutex_);
    planError_ = detail;
  } catch (const std::exception& error) {
    reason = acqlog::kEndError;
    detail = error.what();
    std::lock_guard lock(mutex_);
    failure_ = detail;
  }
  try {
    event(acqlog::kEnd, [&](AcquisitionEvent& e) {
      e.reason = reason;
      e.detail = detail;
    });
  } catch (const std::exception& error) {
    std::lock_guard lock(mutex_);
    if (failure_.empty()) failure_ = error.what();
  }
  finished_ = true;
}

}  // namespace np::indi
