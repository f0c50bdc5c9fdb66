#include "host/AcquisitionRules.h"

#include "host/SkyMath.h"
#include "host/UtcTime.h"

namespace np {
namespace {

// The quit time has come: the run ends as quit.
struct Quit {};

class Acquirer {
 public:
  Acquirer(const AcquisitionSite& site, AcquisitionDevices& devices, const std::function<void(AcquisitionEvent)>& log)
      : site_(site), devices_(devices), log_(log) {}

  void run(const AcquisitionPlan& plan, const std::string& planPath) {
    emit(acqlog::kStart, [&](AcquisitionEvent& e) { e.text = planPath; });
    for (const std::string& directive : plan.ignored) emit(acqlog::kIgnored, [&](AcquisitionEvent& e) { e.text = directive; });
    try {
      devices_.checkStop();
      if (devices_.prepare()) emit(acqlog::kUnpark);
      for (const PlanStep& step : plan.steps) {
        if (devices_.now() >= step.quitAt) throw Quit{};
        line_ = step.line;
        if (step.kind == PlanStep::Kind::Autofocus) {
          if (devices_.focusesOnTarget()) {
            focusPending_ = true;
          } else {
            focus(step);
          }
          continue;
        }
        target(step);
      }
    } catch (const Interrupted&) {
      if (devices_.stopCause() != StopCause::Weather) throw;
      // Unsafe: the telescope is parked and the roof closed before the run ends.
      devices_.closeForWeather([&] { emit(acqlog::kPark); });
      throw Weather{};
    }
  }

  struct Weather {};
  int line() const { return line_; }

 private:
  void emit(const char* kind, const std::function<void(AcquisitionEvent&)>& fill = {}) {
    AcquisitionEvent e;
    e.utc = devices_.eventTime();
    e.kind = kind;
    if (fill) fill(e);
    log_(std::move(e));
  }

  // The target's hour angle now, degrees, west of the meridian positive.
  double hourAngle(const PlanStep& step) {
    const double jd = julianDateFromUnix(devices_.now());
    return hourAngle12(step.ra, localSiderealHours(jd, site_.longitude)) * 15.0;
  }

  // Flips the mount when the target has passed the flip's hour angle since it was slewed to.
  void flipWhenDue(const PlanStep& step, bool& due) {
    if (!due) return;
    const double at = hourAngle(step);
    if (at < *site_.meridianFlip) return;
    due = false;
    const double when = devices_.eventTime();  // the line tells when the flip began
    const std::string side = devices_.flip(step);
    emit(acqlog::kFlip, [&](AcquisitionEvent& e) {
      e.utc = when;
      e.text = step.name;
      e.hourAngle = at;
      e.pierSide = side;
    });
  }

  Horizontal position(const PlanStep& step) {
    return horizontalAt(step.ra, step.dec, site_.latitude, site_.longitude, julianDateFromUnix(devices_.now()));
  }

  void focus(const PlanStep& step) {
    const FocusOutcome f = devices_.autofocus(step, step.quitAt);
    if (f.cut) throw Quit{};
    if (f.done) {
      emit(acqlog::kAutofocus, [&](AcquisitionEvent& e) { e.seconds = f.seconds; });
    } else {
      emit(acqlog::kIgnored, [&](AcquisitionEvent& e) { e.text = f.why; });
    }
  }

  // A target below the limits at its turn is skipped; true when it was.
  bool skipped(const PlanStep& step) {
    const Horizontal at = position(step);
    const char* why = nullptr;
    if (at.elevation < site_.minimumElevation) {
      why = acqlog::kSkippedBelowMinimum;
    } else if (at.elevation < horizonElevation(site_.horizon, at.azimuth)) {
      why = acqlog::kSkippedBelowHorizon;
    }
    if (!why) return false;
    emit(acqlog::kSkipped, [&](AcquisitionEvent& e) {
      e.text = step.name;
      e.reason = why;
      e.elevation = at.elevation;
      e.azimuth = at.azimuth;
    });
    return true;
  }

  void target(const PlanStep& step) {
    if (skipped(step)) return;
    if (!devices_.slew(step, step.quitAt)) throw Quit{};
    // A target slewed to past the flip's hour angle is on its side already.
    bool flipDue = site_.meridianFlip && hourAngle(step) < *site_.meridianFlip;
    for (const FilterGroup& group : step.groups) {
      if (!group.filter.empty()) devices_.selectFilter(group.filter);
      devices_.setBinning(group.binning);
      if (focusPending_) {
        focus(step);
        focusPending_ = false;
      }
      for (int k = 0; k < group.count; ++k) {
        // No exposure starts at or after the quit time; the one under way is finished.
        if (devices_.now() >= step.quitAt) throw Quit{};
        devices_.checkStop();
        flipWhenDue(step, flipDue);
        if (devices_.now() >= step.quitAt) throw Quit{};
        const std::string file = devices_.expose(step, group);
        const Horizontal at = position(step);
        emit(acqlog::kExposure, [&](AcquisitionEvent& e) {
          e.text = step.name;
          e.seconds = group.interval;
          e.elevation = at.elevation;
          e.azimuth = at.azimuth;
          e.file = file;
        });
      }
    }
  }

  const AcquisitionSite& site_;
  AcquisitionDevices& devices_;
  const std::function<void(AcquisitionEvent)>& log_;
  int line_ = 0;  // the plan line of the step under way
  bool focusPending_ = false;
};

}  // namespace

AcquisitionOutcome runAcquisition(const AcquisitionPlan& plan, const std::string& planPath,
                                  const AcquisitionSite& site, AcquisitionDevices& devices,
                                  const std::function<void(AcquisitionEvent)>& log) {
  AcquisitionOutcome outcome;
  Acquirer acquirer(site, devices, log);
  try {
    acquirer.run(plan, planPath);
  } catch (const Quit&) {
    outcome.reason = acqlog::kEndQuit;
  } catch (const Acquirer::Weather&) {
    outcome.reason = acqlog::kEndWeather;
  } catch (const Interrupted&) {
    outcome.reason = acqlog::kEndAborted;
  } catch (const PlanError& error) {
    // The devices are sound: the run goes on with other plans.
    outcome.reason = acqlog::kEndError;
    outcome.detail = "plan '" + planPath + "' line " + std::to_string(acquirer.line()) + ": " + error.what();
    outcome.planError = outcome.detail;
  } catch (const std::exception& error) {
    outcome.reason = acqlog::kEndError;
    outcome.detail = error.what();
    outcome.failure = outcome.detail;
  }
  return outcome;
}

}  // namespace np
