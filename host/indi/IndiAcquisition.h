#pragma once
// The acquisition of one plan over INDI, run in the program on a thread of its own while
// the observing loop polls ScriptActive: the acquisition's rules (AcquisitionRules.h)
// over the devices' steps. It opens the dome and unparks, and for each target slews,
// focuses when asked (once it is on the target with its first filter in), and takes each
// filter group's exposures, writing every image the camera sends as a FITS file. It
// meets the program at the run (AcquisitionRun): its events, its END, and the abort.
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/HostSkeleton.h"
#include "host/ObservatoryConfig.h"
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
  AcquisitionSite site;
  std::string autofocusCommand;
  double autofocusTimeout = 600;
  std::function<bool()> weatherSafe;  // called from the run's thread
};

// Runs the plan on a thread of its own, which ends once the run has its END.
std::thread startAcquisition(AcquisitionSetup setup, std::shared_ptr<AcquisitionRun> run, HandedOverPlan handed);

}  // namespace np::indi
