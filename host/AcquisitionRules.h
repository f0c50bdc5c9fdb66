#pragma once
// The rules of an acquisition, the same on every back end: what is done in which order,
// when a target is skipped, when a run quits, and what each event of AcquireImages.log
// carries. A back end brings only its device steps (AcquisitionDevices); the simulated
// observatory's steps advance a time of their own and the whole run is worked out at
// once, a real observatory's steps take as long as its devices do.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "host/AcquisitionLog.h"
#include "host/AcquisitionPlan.h"
#include "host/ObservatoryConfig.h"

namespace np {

// A device step cut short because the run is to stop (an abort, unsafe weather).
class Interrupted : public RunTimeError {
 public:
  Interrupted() : RunTimeError("interrupted") {}
};

// What the plan asks and the devices cannot do as written (a filter the wheel does not
// have, a binning the camera refuses): an error of the plan, not of a device.
class PlanError : public RunTimeError {
 public:
  using RunTimeError::RunTimeError;
};

// How an autofocus went.
struct FocusOutcome {
  bool cut = false;      // the quit time came first: the run quits
  bool done = false;     // it focused (AUTOFOCUS), or it did not (IGNORED `why`)
  double seconds = 0.0;  // how long it took
  std::string why;       // not done: the IGNORED line's text
};

// Why a run was interrupted.
enum class StopCause { Aborted, Weather };

// The device steps of one run. A step may throw Interrupted (the run is to stop),
// PlanError (the plan cannot be run as written) or any other std::exception (a device
// failed); the simulated observatory's never throw.
class AcquisitionDevices {
 public:
  virtual ~AcquisitionDevices() = default;
  // The run's present, UTC seconds since 1970; an event is stamped eventTime().
  virtual double now() = 0;
  virtual double eventTime() { return now(); }
  // Where an #AUTOFOCUS is done: false, at its place in the plan; true, once the next
  // target that is imaged has been slewed to and its first filter is in.
  virtual bool focusesOnTarget() const = 0;
  // Readies the observatory for the plan (opens the dome); true when it unparked the mount.
  virtual bool prepare() = 0;
  // Slews to the target and centres it; false when `quitAt` came first and cut it short.
  virtual bool slew(const PlanStep& target, double quitAt) = 0;
  // A German mount's meridian flip, between two exposures: slews to the target again so
  // that the mount changes sides. Returns the pier side the mount reports after it (empty
  // when it reports none); a mount that reports the same side as before has failed.
  virtual std::string flip(const PlanStep& target) = 0;
  virtual void selectFilter(const std::string& filter) = 0;
  virtual void setBinning(int binning) = 0;
  // `target`: the step the focus is for (its first group's filter).
  virtual FocusOutcome autofocus(const PlanStep& target, double quitAt) = 0;
  // Takes one image of the group; returns the path of its file, empty when none is kept.
  virtual std::string expose(const PlanStep& target, const FilterGroup& group) = 0;
  // Throws Interrupted when the run is to stop now.
  virtual void checkStop() = 0;
  // Why the last Interrupted came.
  virtual StopCause stopCause() = 0;
  // Unsafe weather ended the run: parks the mount, calling `parked` once it is (a PARK
  // event), and closes the roof.
  virtual void closeForWeather(const std::function<void()>& parked) = 0;
};

// Where the run's targets are judged.
struct AcquisitionSite {
  double latitude = 0.0, longitude = 0.0;  // degrees, north and east positive
  double minimumElevation = 0.0;           // degrees
  std::vector<HorizonPoint> horizon;
  std::optional<double> meridianFlip;      // German mount: the hour angle (degrees, west positive) to flip at
};

// How a run ended: the END event's reason and error text, and which kind of error it was.
struct AcquisitionOutcome {
  const char* reason = acqlog::kEndDone;
  std::string detail;     // reason error: its text
  std::string planError;  // the plan could not be run as written: "plan '<path>' line <n>: <cause>"
  std::string failure;    // a device failed
};

// Runs a plan: START, the IGNORED directives, then each step in order. A target below the
// minimum elevation or the horizon at its turn is SKIPPED (no time spent); otherwise it
// is slewed to and each filter group takes its images, an EXPOSURE each, stamped when the
// image is done with where the target stood then. No step starts at or after its quit
// time; an exposure under way is finished. With a meridian flip, a target that stood short
// of the flip's hour angle when it was slewed to is flipped once, before the first exposure
// that would begin past it (FLIP): never in the middle of an exposure. Every event goes to
// `log` as it happens; the END is the caller's, from the outcome.
AcquisitionOutcome runAcquisition(const AcquisitionPlan& plan, const std::string& planPath,
                                  const AcquisitionSite& site, AcquisitionDevices& devices,
                                  const std::function<void(AcquisitionEvent)>& log);

}  // namespace np
