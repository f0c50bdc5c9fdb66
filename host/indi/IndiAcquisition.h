#pragma once
// The acquisition of one plan over INDI, run in the program on a thread of its own while
// the observing loop polls ScriptActive: open the dome, unpark, and for each target
// slew, focus when asked, and take each filter group's exposures, writing every image
// the camera sends as a FITS file and every step to AcquireImages.log.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/AcquisitionLog.h"
#include "host/AcquisitionPlan.h"
#include "host/ObservatoryConfig.h"
#include "host/indi/ImageFiles.h"
#include "host/indi/IndiDevices.h"
#include "host/indi/IndiLink.h"

namespace np::indi {

// What a run is given; fixed when the plan is handed over.
struct AcquisitionSetup {
  Link* link = nullptr;
  Bounds bounds;
  const Clock* clock = nullptr;
  FileSystem* files = nullptr;  // the images go through it
  std::string server, mount, camera, filterWheel, focuser, dome;
  std::string imagesFolder;
  double latitude = 0, longitude = 0;
  double minimumElevation = 0;
  std::vector<HorizonPoint> horizon;
  std::string autofocusCommand;
  double autofocusTimeout = 600;
  std::function<bool()> weatherSafe;                      // may be called from the run's thread
  std::function<void(AcquisitionEvent)> log;              // appends a line to AcquireImages.log
};

class Acquisition {
 public:
  Acquisition(AcquisitionSetup setup, AcquisitionPlan plan, std::string planPath);
  ~Acquisition();  // aborts and joins a run still under way
  Acquisition(const Acquisition&) = delete;
  Acquisition& operator=(const Acquisition&) = delete;

  void start();
  bool finished() const { return finished_.load(); }
  // Asks the run to end: the exposure under way is aborted. Returns at once.
  void abort();
  // Waits at most `seconds` for the run to end; true when it has (and it is joined).
  bool waitFinished(double seconds);
  // The error of a device that ended the run, empty when it did not end so.
  std::string failure() const;
  // Why the plan could not be run as written ("plan '<path>' line <n>: <cause>"), empty
  // when it could.
  std::string planError() const;

 private:
  void run();
  void event(const char* kind, const std::function<void(AcquisitionEvent&)>& fill = {});
  bool stopCheck();
  void takeImages(const PlanStep& step, Devices& devices, bool& focusPending);
  void autofocus(const PlanStep& step);

  AcquisitionSetup setup_;
  AcquisitionPlan plan_;
  std::string planPath_;
  std::atomic<bool> abort_{false};
  std::atomic<bool> unsafe_{false};
  std::atomic<bool> quit_{false};
  std::atomic<bool> finished_{false};
  mutable std::mutex mutex_;
  std::string failure_;
  std::string planError_;
  int line_ = 0;  // the plan line of the step under way
  std::thread thread_;
};

}  // namespace np::indi
